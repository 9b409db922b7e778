#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/GeneratorModel.h"
#include "protocol/AlarmText.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"

using namespace velmora;

namespace {

std::string StatusReply(char channel, unsigned range, unsigned status, unsigned ext, unsigned adjust)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%cR%c%02X%s%04X%s%04X%04X%c", kStx, channel, range,
                  "00000000000000000000", status, "0000000000000000", ext, adjust, kEtx);
    std::string frame(buf);
    AppendChecksum(frame);
    return frame;
}

// What the panel would show for channel ch after the unit's reply.
std::string Shown(GeneratorModel& model, int ch, int range, const std::string& reply)
{
    model.channels[static_cast<size_t>(ch)].rangeCode = range;
    EXPECT_TRUE(ApplyStatusReply(model, reply));
    return AlarmText(model.AlarmCode(ch));
}

} // namespace

TEST(AlarmText, StatusRepliesShowTheLowestAlarmOfTheRightWord)
{
    GeneratorModel model;
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0003, 0x0000, 0)), "出力部高温");
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0014, 0x0000, 0)), "出力不足");
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0018, 0x000F, 0)), "WDOG");
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0010, 0x0000, 0)), "CRC1");
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0002, 0x0000, 0)), "Slewing");
    // Bits the panel never shows.
    EXPECT_EQ(Shown(model, 1, 1, StatusReply('2', 1, 0x0020, 0x0000, 0)), "");
    // The external-supply ranges look at the external status word only.
    EXPECT_EQ(Shown(model, 0, 11, StatusReply('1', 11, 0x0001, 0x0002, 0)), "出力異常");
    EXPECT_EQ(Shown(model, 0, 12, StatusReply('1', 12, 0x0000, 0x0001, 0)), "出力不足");
    EXPECT_EQ(Shown(model, 0, 12, StatusReply('1', 12, 0x0000, 0x000C, 0)), "SPI2");
    EXPECT_EQ(Shown(model, 0, 11, StatusReply('1', 11, 0x0000, 0x0008, 0)), "CRC2");
    EXPECT_EQ(Shown(model, 0, 11, StatusReply('1', 11, 0x001F, 0x0010, 0)), "");
}

TEST(AlarmText, CodesThatAreNotOneAlarmBitShowNothing)
{
    for (int code : {0, 3, 0x20, 0x300, 0x1000, -1})
        EXPECT_EQ(AlarmText(code), "") << code;
}

TEST(AlarmText, AdjustmentMarkLooksAtBitsZeroAndOne)
{
    EXPECT_EQ(AdjustmentMark(0x0000), "");
    EXPECT_EQ(AdjustmentMark(0x0001), " M ");
    EXPECT_EQ(AdjustmentMark(0x0002), " U ");
    EXPECT_EQ(AdjustmentMark(0x8006), " U ");
    // Both bits name no set: the caller keeps what it showed.
    EXPECT_FALSE(AdjustmentMark(0x0003).has_value());
    EXPECT_FALSE(AdjustmentMark(0x0007).has_value());
}
