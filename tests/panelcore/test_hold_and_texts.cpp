#include <gtest/gtest.h>

#include "panelcore/HoldRepeat.h"
#include "panelcore/PanelTexts.h"

namespace velmora {
namespace {

// One channel's step buttons, 322-335, with `held` holding the mouse.
HoldScanInput MouseOn(int held, bool inside, bool leftDown = true)
{
    HoldScanInput in;
    in.leftDown = leftDown;
    in.anyCapture = true;
    std::vector<HeldButton> group;
    for (int id = 322; id <= 335; ++id)
        group.push_back({id, id == held, id == held && inside});
    in.groups.push_back(group);
    return in;
}

HoldScanInput Idle()
{
    HoldScanInput in;
    in.groups.push_back({});
    return in;
}

TEST(HoldRepeatTest, OneSecondHoldRepeatsFifteenTimes)
{
    HoldRepeat hold;
    int fired = 0;
    for (int tick = 1; tick <= 20; ++tick) {
        const auto ids = hold.Scan(MouseOn(326, true));
        if (tick < HoldRepeat::kFirstRepeatTick)
            EXPECT_TRUE(ids.empty()) << tick;
        else
            EXPECT_EQ(ids, std::vector<int>{326}) << tick;
        fired += static_cast<int>(ids.size());
    }
    EXPECT_EQ(fired, 15);
    EXPECT_TRUE(hold.Scan(Idle()).empty());
    EXPECT_EQ(hold.m_nHoldCount, 0);
}

TEST(HoldRepeatTest, ShortPressNeverRepeats)
{
    HoldRepeat hold;
    for (int tick = 1; tick <= 5; ++tick)
        EXPECT_TRUE(hold.Scan(MouseOn(322, true)).empty());
    hold.Scan(Idle());
    // A new press counts from the start again.
    for (int tick = 1; tick <= 5; ++tick)
        EXPECT_TRUE(hold.Scan(MouseOn(322, true)).empty());
    EXPECT_EQ(hold.Scan(MouseOn(322, true)).size(), 1u);
}

TEST(HoldRepeatTest, CursorOffTheButtonPausesWithoutReset)
{
    HoldRepeat hold;
    for (int tick = 1; tick <= 7; ++tick)
        hold.Scan(MouseOn(323, true));
    EXPECT_EQ(hold.m_nHoldCount, 7);
    for (int tick = 1; tick <= 10; ++tick)
        EXPECT_TRUE(hold.Scan(MouseOn(323, false)).empty());
    EXPECT_EQ(hold.m_nHoldCount, 7);
    EXPECT_EQ(hold.Scan(MouseOn(323, true)), std::vector<int>{323});
}

TEST(HoldRepeatTest, SpaceBarHoldsWithoutTheMouse)
{
    HoldRepeat hold;
    HoldScanInput in = MouseOn(330, false, false);
    in.spaceDown = true;
    int fired = 0;
    for (int tick = 1; tick <= 10; ++tick)
        fired += static_cast<int>(hold.Scan(in).size());
    EXPECT_EQ(fired, 5);

    // The space bar while the mouse is down does not count.
    HoldRepeat other;
    in.leftDown = true;
    for (int tick = 1; tick <= 10; ++tick)
        EXPECT_TRUE(other.Scan(in).empty());
}

TEST(HoldRepeatTest, CaptureElsewhereNeitherCountsNorResets)
{
    HoldRepeat hold;
    for (int tick = 1; tick <= 3; ++tick)
        hold.Scan(MouseOn(322, true));
    HoldScanInput elsewhere = MouseOn(0, false); // another control holds the mouse
    EXPECT_TRUE(hold.Scan(elsewhere).empty());
    EXPECT_EQ(hold.m_nHoldCount, 3);
}

TEST(HoldRepeatTest, OneFiringPerChannelGroup)
{
    HoldRepeat hold;
    hold.m_nHoldCount = 10;
    HoldScanInput in;
    in.anyCapture = true;
    in.leftDown = true;
    in.groups.push_back({{322, true, true}, {324, true, true}});
    in.groups.push_back({{372, true, true}});
    EXPECT_EQ(hold.Scan(in), (std::vector<int>{322, 372}));
}

TEST(HoldRepeatTest, ScannedChannelsByCount)
{
    EXPECT_EQ(ScannedChannels(1), 1);
    EXPECT_EQ(ScannedChannels(2), 2);
    EXPECT_EQ(ScannedChannels(3), 4);
    EXPECT_EQ(ScannedChannels(4), 4);
    EXPECT_EQ(ScannedChannels(0), 1);
}

TEST(PanelTextsTest, AlarmTextPerSingleBit)
{
    EXPECT_EQ(AlarmText(0), "");
    EXPECT_EQ(AlarmText(1), "出力部高温");
    EXPECT_EQ(AlarmText(2), "Slewing");
    EXPECT_EQ(AlarmText(4), "出力不足");
    EXPECT_EQ(AlarmText(8), "WDOG");
    EXPECT_EQ(AlarmText(16), "CRC1");
    EXPECT_EQ(AlarmText(256), "出力不足");
    EXPECT_EQ(AlarmText(512), "出力異常");
    EXPECT_EQ(AlarmText(1024), "SPI2");
    EXPECT_EQ(AlarmText(2048), "CRC2");
    for (int other : {3, 5, 32, 0x300, 4096, -1})
        EXPECT_EQ(AlarmText(other), "") << other;
}

TEST(PanelTextsTest, AdjustMarkFromTheSelectBits)
{
    EXPECT_EQ(AdjustMarkText(0), "");
    EXPECT_EQ(AdjustMarkText(1), " M ");
    EXPECT_EQ(AdjustMarkText(2), " U ");
    EXPECT_FALSE(AdjustMarkText(3));
    // Only bits 0-1 select; the others are carried for the unit.
    EXPECT_EQ(AdjustMarkText(0xFF01), " M ");
    EXPECT_EQ(AdjustMarkText(0x0004), "");
}

} // namespace
} // namespace velmora
