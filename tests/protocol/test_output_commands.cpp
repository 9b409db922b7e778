#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FakeLinkTest.h"
#include "model/GeneratorModel.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"
#include "protocol/OutputCommands.h"
#include "protocol/StatusPoller.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// A status reply as the unit sends it: 58 bytes with a correct checksum.
std::string StatusReply(char channel, unsigned range, unsigned status, unsigned ext, unsigned adjust)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%cR%c%02X%s%04X%s%04X%04X%c", kStx, channel, range, "00000000000000000000", status,
                  "0000000000000000", ext, adjust, kEtx);
    std::string frame(buf);
    AppendChecksum(frame);
    return frame;
}

class OutputCommandsTest : public FakeLinkTest {
protected:
    OutputCommandsTest() { model.SetLink(&adapter); }

    std::vector<std::string> Written() const { return Sent(*serial); }

    GeneratorModel model;
    LinkModelAdapter adapter{*link};
};

} // namespace

TEST_F(OutputCommandsTest, SettingsWriteCarriesTheRecordsWordsInWireOrder)
{
    ChannelSettings s;
    s.rangeCode = 5;
    s.dacCode = 0x8000;
    s.controlWord = 0x1005;
    s.auxControlWord = 0x0008;
    SendChannelSettings(*link, 0, s);
    ASSERT_EQ(serial->writes.size(), 1u);
    EXPECT_EQ(serial->writes[0].bytes,
              std::string("\x02W105800010050008000000000000000000000000\x03"
                          "C6\r\n"));

    s.reservedWord = 0x1234;
    s.extOutputWord = 0x0001;
    s.spareWords = {0xA, 0xB, 0xC};
    SendChannelSettings(*link, 3, s);
    const std::string& f = serial->writes[1].bytes;
    ASSERT_EQ(f.size(), 46u);
    EXPECT_EQ(f.substr(1, 2), "W4");
    EXPECT_EQ(f.substr(17, 8), "12341234"); // the reserved word goes out twice
    EXPECT_EQ(f.substr(25, 16), "0001000A000B000C");
    EXPECT_TRUE(VerifyFrame(f, 46));
}

TEST_F(OutputCommandsTest, StatusRequestConnectsFirstAndHasNoChecksum)
{
    ASSERT_FALSE(link->IsConnected());
    RequestStatus(*link, 2);
    EXPECT_TRUE(link->IsConnected());
    ASSERT_EQ(Written(), std::vector<std::string>{"\x02R3\r\n"});
}

TEST_F(OutputCommandsTest, StatusReplyStoresWordsOfTheChannelItNames)
{
    model.channels[1].rangeCode = 1;
    ASSERT_TRUE(ApplyStatusReply(model, StatusReply('2', 0x01, 0x0003, 0x0000, 0x0000)));
    EXPECT_EQ(model.channels[1].statusWord, 0x0003);
    EXPECT_EQ(model.AlarmCode(1), kAlarmOverTemperature);
    EXPECT_EQ(model.channels[0].statusWord, 0);

    // External-supply range: the alarm comes from the external status word.
    model.channels[0].rangeCode = 11;
    ASSERT_TRUE(ApplyStatusReply(model, StatusReply('1', 0x0B, 0x0000, 0x0002, 0x0000)));
    EXPECT_EQ(model.AlarmCode(0), kAlarmExtAbnormal);
}

TEST_F(OutputCommandsTest, AdjustSelectGoesToTheSlotOfTheRepliedRange)
{
    model.channels[0].rangeCode = 1;
    ASSERT_TRUE(ApplyStatusReply(model, StatusReply('1', 0x05, 0, 0, 0x0002)));
    EXPECT_EQ(model.channels[0].userAdjustment[5].adjustSelect, 2);
    EXPECT_EQ(model.channels[0].userAdjustment[1].adjustSelect, 0);

    // A range code past the sixteen slots stores the alarm words only.
    ASSERT_TRUE(ApplyStatusReply(model, StatusReply('1', 0x1F, 0x0004, 0, 0x0001)));
    EXPECT_EQ(model.channels[0].statusWord, 0x0004);
    for (const auto& slot : model.channels[0].userAdjustment)
        EXPECT_NE(slot.adjustSelect, 1);
}

TEST_F(OutputCommandsTest, RejectedStatusRepliesStoreNothing)
{
    std::string bad = StatusReply('5', 0x01, 0x0001, 0, 0);
    EXPECT_FALSE(ApplyStatusReply(model, bad));

    std::string shortReply = StatusReply('1', 0x01, 0x0001, 0, 0);
    shortReply.erase(10, 1);
    EXPECT_FALSE(ApplyStatusReply(model, shortReply));

    // Find a reply whose checksum has a letter digit, then lower-case it.
    std::string lower;
    for (unsigned status = 1; lower.empty(); ++status) {
        std::string r = StatusReply('1', 0x01, status, 0, 0);
        if (std::isalpha(static_cast<unsigned char>(r[54])) || std::isalpha(static_cast<unsigned char>(r[55])))
            lower = r;
    }
    for (size_t i = 54; i < 56; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    EXPECT_FALSE(ApplyStatusReply(model, lower));

    for (const auto& ch : model.channels)
        EXPECT_EQ(ch.statusWord, 0);
}

TEST_F(OutputCommandsTest, DispatcherAcceptsAnnouncementsAndAnyStatusLine)
{
    model.channelCount = 2;
    link->Connect();
    model.channels[0].rangeCode = 5;
    model.channels[0].setValue = 12.0;

    EXPECT_TRUE(HandleUnitLine(model,
                               "\x02"
                               "A\r\n"));
    // Every channel in use, in order, with the code recomputed first.
    auto w = Written();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].substr(1, 2), "W1");
    EXPECT_EQ(w[0].substr(3, 6), "058000");
    EXPECT_EQ(w[1].substr(1, 2), "W2");

    // A broken status line still counts as an answer, but stores nothing.
    EXPECT_TRUE(HandleUnitLine(model, "\x02R1garbage\r\n"));
    EXPECT_EQ(model.channels[0].statusWord, 0);

    EXPECT_FALSE(HandleUnitLine(model, "OK\r\n"));
    EXPECT_FALSE(HandleUnitLine(model, "\x02"));
    EXPECT_FALSE(HandleUnitLine(model, ""));
    EXPECT_EQ(Written().size(), 2u);
}

TEST_F(OutputCommandsTest, PollerCyclesThroughTheChannelsInUse)
{
    StatusPoller poller(*link, model);
    link->Connect();
    model.channelCount = 2;

    EXPECT_FALSE(poller.PollNext()); // polling is off
    EXPECT_TRUE(serial->writes.empty());

    poller.m_bPolling = true;
    for (int i = 0; i < 5; ++i)
        poller.PollNext();
    EXPECT_EQ(Written(),
              (std::vector<std::string>{"\x02R1\r\n", "\x02R2\r\n", "\x02R1\r\n", "\x02R2\r\n", "\x02R1\r\n"}));

    // A count that came from a file never sends past the fourth channel.
    serial->writes.clear();
    model.channelCount = 7;
    poller.Restart();
    for (int i = 0; i < 6; ++i)
        poller.PollNext();
    EXPECT_EQ(Written().back(), "\x02R2\r\n");
    for (const auto& w : Written())
        EXPECT_LE(w[2], '4');
}

TEST_F(OutputCommandsTest, PollerDeclaresTheUnitLostAfterAHundredUnansweredPolls)
{
    StatusPoller poller(*link, model);
    link->Connect();
    poller.m_bPolling = true;

    for (int i = 0; i < 99; ++i)
        ASSERT_FALSE(poller.PollNext()) << i;
    // One reply line at any time starts the count again.
    serial->Inject(StatusReply('1', 0, 0, 0, 0));
    EXPECT_TRUE(poller.ReadReply());
    EXPECT_EQ(poller.m_nNoReplyCount, 0);
    for (int i = 0; i < 99; ++i)
        ASSERT_FALSE(poller.PollNext()) << i;
    EXPECT_TRUE(poller.PollNext());
    EXPECT_EQ(poller.m_nNoReplyCount, 0);

    // Lines the handlers do not take do not count as answers.
    serial->Inject("OK\r\n");
    EXPECT_FALSE(poller.ReadReply());
}

TEST_F(OutputCommandsTest, PollerTakesAtMostOneLinePerCall)
{
    StatusPoller poller(*link, model);
    link->Connect();
    serial->Inject(StatusReply('1', 0, 0x0008, 0, 0) + StatusReply('1', 0, 0x0010, 0, 0));
    EXPECT_TRUE(poller.ReadReply());
    EXPECT_EQ(model.channels[0].statusWord, 0x0008);
    EXPECT_TRUE(poller.ReadReply());
    EXPECT_EQ(model.channels[0].statusWord, 0x0010);
    EXPECT_FALSE(poller.ReadReply());
}
