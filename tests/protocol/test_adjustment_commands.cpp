#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SimChannel.h"
#include "support/FakeLinkTest.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"
#include "model/GeneratorModel.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// An adjustment reply as the unit sends it: 24 bytes, correct checksum.
std::string AdjustReply(char kind, char channel, unsigned range, unsigned w1, unsigned w2, unsigned w3)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%cCR%c%c%02X%04X%04X%04X%c", kStx, kind, channel, range, w1, w2, w3, kEtx);
    std::string frame(buf);
    AppendChecksum(frame);
    return frame;
}

Replies Line(std::string text, long long delayMs = 20)
{
    return {Chunk{std::move(text), delayMs}};
}

bool SlotIsInitial(const ChannelSettings& s, int r)
{
    const auto& u = s.userAdjustment[static_cast<size_t>(r)];
    const auto& m = s.makerCorrection[static_cast<size_t>(r)];
    return u.adjustSelect == 0 && u.minCorrection == 0 && u.maxCorrection == 0x8000 && m.minCorrection == 0 &&
        m.maxCorrection == 0x8000;
}

bool ModelIsInitial(const GeneratorModel& model)
{
    for (const auto& s : model.channels)
        for (int r = 0; r < kSlotCount; ++r)
            if (!SlotIsInitial(s, r))
                return false;
    return true;
}

class AdjustmentTest : public FakeLinkTest {
protected:
    GeneratorModel model;
};

} // namespace

// --- adjustment read -------------------------------------------------------

TEST_F(AdjustmentTest, UserReadOfChannelOneRangeFiveStoresTheThreeWords)
{
    Script(*serial, {Line(AdjustReply('U', '1', 0x05, 0x0002, 0xFFFB, 0x8003))});
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::Answered);

    // "CRU" 1 05 ETX: 0x43+0x52+0x55+0x31+0x30+0x35+0x03 = 0x183.
    EXPECT_EQ(Sent(*serial),
              std::vector<std::string>{std::string("\x02"
                                                   "CRU105\x03"
                                                   "83\r\n")});
    const ChannelSettings& s = model.channels[0];
    EXPECT_EQ(s.userAdjustment[5].adjustSelect, 0x0002);
    EXPECT_EQ(s.userAdjustment[5].minCorrection, 0xFFFB);
    EXPECT_EQ(s.userAdjustment[5].maxCorrection, 0x8003);
    // The maker pair of that slot and every other slot are untouched.
    EXPECT_EQ(s.makerCorrection[5].minCorrection, 0x0000);
    EXPECT_EQ(s.makerCorrection[5].maxCorrection, 0x8000);
    for (int r = 0; r < kSlotCount; ++r) {
        if (r != 5) {
            EXPECT_TRUE(SlotIsInitial(s, r)) << "slot " << r;
        }
    }
    EXPECT_EQ(prompter.busyCount, 1);
    EXPECT_EQ(prompter.busyDepth, 0);
}

TEST_F(AdjustmentTest, MakerReplyKeepsTheSelectWordInTheUserSlotAndAnyOtherKindIsUser)
{
    Script(*serial,
           {Line(AdjustReply('M', '2', 0x0B, 0x0001, 0x0003, 0x8005)),
            Line(AdjustReply('X', '2', 0x0B, 0x0002, 0xFFFE, 0x7FFE))});
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 1, kAdjustMaker, 11), AdjustOutcome::Answered);
    const ChannelSettings& s = model.channels[1];
    EXPECT_EQ(s.makerCorrection[11].minCorrection, 0x0003);
    EXPECT_EQ(s.makerCorrection[11].maxCorrection, 0x8005);
    EXPECT_EQ(s.userAdjustment[11].adjustSelect, 0x0001);
    EXPECT_EQ(s.userAdjustment[11].minCorrection, 0x0000);
    EXPECT_EQ(serial->writes.back().bytes.substr(0, 7),
              std::string("\x02"
                          "CRM20B"));

    // A kind byte other than "M" is read as the user set.
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 1, kAdjustMaker, 11), AdjustOutcome::Answered);
    EXPECT_EQ(s.makerCorrection[11].minCorrection, 0x0003);
    EXPECT_EQ(s.userAdjustment[11].adjustSelect, 0x0002);
    EXPECT_EQ(s.userAdjustment[11].minCorrection, 0xFFFE);
    EXPECT_EQ(s.userAdjustment[11].maxCorrection, 0x7FFE);
}

TEST_F(AdjustmentTest, ReplyForARangeWithoutSlotIsAcceptedAndChangesNothing)
{
    Script(*serial, {Line(AdjustReply('M', '1', 0x1F, 0x0002, 0x1234, 0x5678))});
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustMaker, 0x1F), AdjustOutcome::Answered);
    EXPECT_EQ(serial->writes.size(), 1u);
    EXPECT_TRUE(ModelIsInitial(model));
}

TEST_F(AdjustmentTest, TheRepliesChannelChoosesTheRecord)
{
    Script(*serial, {Line(AdjustReply('U', '3', 0x02, 0x0002, 0x0010, 0x8010))});
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 2), AdjustOutcome::Answered);
    EXPECT_TRUE(SlotIsInitial(model.channels[0], 2));
    EXPECT_EQ(model.channels[2].userAdjustment[2].minCorrection, 0x0010);
    EXPECT_EQ(model.channels[2].userAdjustment[2].maxCorrection, 0x8010);
}

TEST_F(AdjustmentTest, RejectedReplyIsAskedForAgainAfterTheQuietWait)
{
    // 23 bytes with a checksum that is right for them: only the length is wrong.
    std::string shortReply = std::string("\x02"
                                         "CRU105"
                                         "0002FFFB800") +
        kEtx;
    AppendChecksum(shortReply);
    ASSERT_EQ(shortReply.size(), 23u);
    Script(*serial, {Line(shortReply, 2), Line(AdjustReply('U', '1', 0x05, 0x0002, 0xFFFB, 0x8003), 2)});
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::Answered);
    ASSERT_EQ(serial->writes.size(), 2u);
    EXPECT_EQ(serial->writes[0].bytes, serial->writes[1].bytes);
    EXPECT_GE(ElapsedMs(serial->writes[0].at, serial->writes[1].at), 11);
    EXPECT_EQ(model.channels[0].userAdjustment[5].minCorrection, 0xFFFB);
}

TEST_F(AdjustmentTest, DamagedRepliesAreRejectedWhateverTheirFault)
{
    const std::string good = AdjustReply('U', '1', 0x05, 0x0002, 0xFFFB, 0x8003);
    std::string badSum = good;
    badSum[20] = badSum[20] == '0' ? '1' : '0';
    // A reply whose checksum has a letter, sent with that letter in lower case.
    std::string lowerSum;
    for (unsigned w = 0; lowerSum.empty() && w < 16; ++w) {
        std::string r = AdjustReply('U', '1', 0x05, 0x0002, 0xFFFB, 0x8000 + w);
        for (size_t at : {size_t{20}, size_t{21}})
            if (r[at] >= 'A' && r[at] <= 'F') {
                r[at] = static_cast<char>(r[at] - 'A' + 'a');
                lowerSum = r;
                break;
            }
    }
    ASSERT_FALSE(lowerSum.empty());
    const std::string channelFive = AdjustReply('U', '5', 0x05, 0x0002, 0xFFFB, 0x8003);
    // One byte too many, with a checksum that is right for it.
    std::string longer = std::string("\x02"
                                     "CRU105"
                                     "0002FFFB80030") +
        kEtx;
    AppendChecksum(longer);
    ASSERT_EQ(longer.size(), 25u);

    for (const std::string& bad : {badSum, lowerSum, channelFive, longer}) {
        EXPECT_FALSE(ApplyAdjustmentReply(model, bad)) << bad;
        EXPECT_TRUE(ModelIsInitial(model)) << bad;
    }
    EXPECT_TRUE(ApplyAdjustmentReply(model, good));
}

TEST_F(AdjustmentTest, EndlessDamagedRepliesEndTheReadAtTheFourthFailure)
{
    // Damaged replies alone.
    std::string bad = AdjustReply('U', '1', 0x05, 0x0002, 0xFFFB, 0x8003);
    bad[20] = bad[20] == '0' ? '1' : '0';
    AnswerAlways(*serial, Line(bad, 2));
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::BadReplies);
    EXPECT_EQ(serial->writes.size(), 4u);
    EXPECT_TRUE(ModelIsInitial(model));
    EXPECT_EQ(prompter.busyDepth, 0);

    // Damaged replies and time-outs count together.
    serial->writes.clear();
    Script(*serial, {Line(bad, 2), Replies{}, Line(bad, 2), Replies{}, Line(AdjustReply('U', '1', 5, 2, 1, 1), 2)});
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::TimedOut);
    EXPECT_EQ(serial->writes.size(), 4u);

    // Three failures still leave room for the answer.
    serial->writes.clear();
    Script(*serial, {Line(bad, 2), Replies{}, Line(bad, 2), Line(AdjustReply('U', '1', 5, 2, 1, 1), 2)});
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::Answered);
    EXPECT_EQ(serial->writes.size(), 4u);
    EXPECT_EQ(model.channels[0].userAdjustment[5].minCorrection, 1);
}

TEST_F(AdjustmentTest, FourTimeOutsCostFourSendsForEveryExchange)
{
    const Nanos start = clock.Now();
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::TimedOut);
    ASSERT_EQ(serial->writes.size(), 4u);
    for (size_t k = 1; k < 4; ++k) {
        const auto gap = ElapsedMs(serial->writes[k - 1].at, serial->writes[k].at);
        EXPECT_GT(gap, 500) << k;
        // A resend after a time-out skips the quiet wait.
        EXPECT_LT(gap, 511) << k;
    }
    EXPECT_GT(ElapsedMs(start, clock.Now()), 2000);

    const std::vector<std::function<AdjustOutcome()>> others = {
        [&] { return TestAdjustment(*link, kTestUpper, 0, 5, 0, 0x8000); },
        [&] { return TransferAdjustment(*link, model, LinkSerial, 0, 5, kAdjustUser); },
        [&] { return StoreAdjustment(*link, LinkSerial, kAdjustUser); },
        [&] { return InitUserAdjustment(*link); },
    };
    for (size_t k = 0; k < others.size(); ++k) {
        serial->writes.clear();
        EXPECT_EQ(others[k](), AdjustOutcome::TimedOut) << k;
        EXPECT_EQ(serial->writes.size(), 4u) << k;
    }
    EXPECT_EQ(prompter.busyDepth, 0);
}

TEST_F(AdjustmentTest, ReadWaitsForQuietBeforeItsFirstRequestAndIgnoresOtherLines)
{
    // Left-overs of an earlier exchange arrive while the line settles.
    serial->Inject("OK\r\n", 4);
    Script(*serial,
           {{Chunk{"\x02"
                   "A\r\n",
                   5},
             Chunk{"OK\r\n", 8}, Chunk{AdjustReply('U', '1', 5, 2, 0xFFFB, 0x8003), 30}}});
    const Nanos start = clock.Now();
    ASSERT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, 5), AdjustOutcome::Answered);
    ASSERT_EQ(serial->writes.size(), 1u);
    EXPECT_GE(ElapsedMs(start, serial->writes[0].at), 11);
    EXPECT_EQ(model.channels[0].userAdjustment[5].adjustSelect, 2);
}

TEST_F(AdjustmentTest, NoRequestForAChannelThatCannotTravel)
{
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 4, kAdjustUser, 5), AdjustOutcome::NotSent);
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, -1, kAdjustUser, 5), AdjustOutcome::NotSent);
    EXPECT_EQ(ReadAdjustment(*link, model, LinkSerial, 0, kAdjustUser, -1), AdjustOutcome::NotSent);
    EXPECT_EQ(TransferAdjustment(*link, model, LinkSerial, 0, 16, kAdjustUser), AdjustOutcome::NotSent);
    EXPECT_TRUE(serial->writes.empty());
}

// --- test output, transfer, store, initialisation ------------------------

TEST_F(AdjustmentTest, TransferSendsTheSelectWordFirstForEitherKind)
{
    ChannelSettings& s = model.channels[2];
    s.userAdjustment[6] = {0x0001, 0xFFFE, 0x7FFE};
    s.makerCorrection[6] = {0x0003, 0x8005};
    AnswerAlways(*serial, Line("OK\r\n"));

    EXPECT_EQ(TransferAdjustment(*link, model, LinkSerial, 2, 6, kAdjustMaker), AdjustOutcome::Answered);
    EXPECT_EQ(TransferAdjustment(*link, model, LinkSerial, 2, 6, kAdjustUser), AdjustOutcome::Answered);
    const auto sent = Sent(*serial);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].substr(0, 19),
              std::string("\x02"
                          "CMM306"
                          "0001"
                          "0003"
                          "8005"));
    EXPECT_EQ(sent[1].substr(0, 19),
              std::string("\x02"
                          "CMU306"
                          "0001"
                          "FFFE"
                          "7FFE"));
    for (const auto& f : sent) {
        EXPECT_EQ(f.size(), 24u);
        EXPECT_TRUE(VerifyFrame(f, 24, 4).has_value()) << f;
    }
    EXPECT_EQ(prompter.busyCount, 2);
}

TEST_F(AdjustmentTest, TestOutputDrivesTheChosenEndBeforeTheCorrections)
{
    AnswerAlways(*serial, Line("OK\r\n"));
    EXPECT_EQ(TestAdjustment(*link, kTestUpper, 0, 5, 0xFFFB, 0x8003), AdjustOutcome::Answered);
    EXPECT_EQ(TestAdjustment(*link, kTestLower, 3, 12, 0x0001, 0x7FFF), AdjustOutcome::Answered);
    EXPECT_EQ(TestAdjustment(*link, kTestOff, 1, 0, 0x0000, 0x8000), AdjustOutcome::Answered);
    const auto sent = Sent(*serial);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].substr(0, 24),
              std::string("\x02"
                          "CTU105"
                          "FFFF0002"
                          "FFFB8003"
                          "\x03"));
    EXPECT_EQ(sent[1].substr(0, 24),
              std::string("\x02"
                          "CTU40C"
                          "00000002"
                          "00017FFF"
                          "\x03"));
    EXPECT_EQ(sent[2].substr(0, 24),
              std::string("\x02"
                          "CTU200"
                          "00000000"
                          "00008000"
                          "\x03"));
    // No busy indication: the adjustment dialog sends these while it runs.
    EXPECT_EQ(prompter.busyCount, 0);
}

TEST_F(AdjustmentTest, InitialisationGoesOutWithoutChecksumAndItsOkEndsIt)
{
    Script(*serial, {{Chunk{"NG\r\n", 10}, Chunk{"OK\r\n", 40}}});
    EXPECT_EQ(InitUserAdjustment(*link), AdjustOutcome::Answered);
    EXPECT_EQ(Sent(*serial),
              std::vector<std::string>{std::string("\x02"
                                                   "CINIU\x03\r\n")});
    EXPECT_EQ(prompter.busyCount, 0);
}

TEST_F(AdjustmentTest, StoreOverFtdiTalksOnlyToTheFtdiChannel)
{
    AnswerAlways(*ftdi, Line("OK\r\n"));
    EXPECT_EQ(StoreAdjustment(*link, LinkFtdi, kAdjustMaker), AdjustOutcome::Answered);
    EXPECT_EQ(StoreAdjustment(*link, LinkFtdi, kAdjustUser), AdjustOutcome::Answered);
    EXPECT_EQ(Sent(*ftdi),
              (std::vector<std::string>{std::string("\x02"
                                                    "CWM\x03"
                                                    "EA\r\n"),
                                        std::string("\x02"
                                                    "CWU\x03"
                                                    "F2\r\n")}));
    EXPECT_TRUE(serial->writes.empty());
    EXPECT_EQ(ftdi->opens, 1);
    EXPECT_EQ(serial->opens, 0);
}

// --- against the simulated unit ----------------------------------------------

TEST(AdjustmentWithSimulatedUnit, ReadBothSetsThenTransferAndStoreThemBack)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    ASSERT_TRUE(unit.SetChannelCount(2));
    unit.Channel(1).maker[7] = {0x0004, 0x8006};
    unit.Channel(1).user[7] = {0x0002, 0xFFF0, 0x8010};
    auto chan = std::make_unique<sim::SimChannel>(unit, clock);
    GeneratorLink link(clock, prompter, nullptr, std::move(chan));
    GeneratorModel model;

    ASSERT_EQ(ReadAdjustment(link, model, LinkFtdi, 1, kAdjustMaker, 7), AdjustOutcome::Answered);
    ASSERT_EQ(ReadAdjustment(link, model, LinkFtdi, 1, kAdjustUser, 7), AdjustOutcome::Answered);
    const ChannelSettings& s = model.channels[1];
    EXPECT_EQ(s.makerCorrection[7].minCorrection, 0x0004);
    EXPECT_EQ(s.makerCorrection[7].maxCorrection, 0x8006);
    EXPECT_EQ(s.userAdjustment[7].adjustSelect, 0x0002);
    EXPECT_EQ(s.userAdjustment[7].minCorrection, 0xFFF0);
    EXPECT_EQ(s.userAdjustment[7].maxCorrection, 0x8010);

    // The unit forgets; the saved values go back and are stored.
    unit.ResetState();
    ASSERT_TRUE(unit.SetChannelCount(2));
    EXPECT_EQ(TransferAdjustment(link, model, LinkFtdi, 1, 7, kAdjustMaker), AdjustOutcome::Answered);
    EXPECT_EQ(TransferAdjustment(link, model, LinkFtdi, 1, 7, kAdjustUser), AdjustOutcome::Answered);
    EXPECT_EQ(StoreAdjustment(link, LinkFtdi, kAdjustUser), AdjustOutcome::Answered);
    const auto& stored = unit.Stored('U');
    EXPECT_EQ(stored.stores, 1);
    EXPECT_EQ(stored.maker[1][7].minCorrection, 0x0004);
    EXPECT_EQ(stored.maker[1][7].maxCorrection, 0x8006);
    EXPECT_EQ(stored.user[1][7].adjustSelect, 0x0002);
    EXPECT_EQ(stored.user[1][7].minCorrection, 0xFFF0);
    EXPECT_EQ(stored.user[1][7].maxCorrection, 0x8010);

    // A unit sending damaged replies without end no longer holds the read.
    unit.Faults().badChecksum = true;
    EXPECT_EQ(ReadAdjustment(link, model, LinkFtdi, 1, kAdjustUser, 7), AdjustOutcome::BadReplies);
}

// --- the exchange knobs these commands added ---------------------------------

TEST_F(AdjustmentTest, ASingleRequestPlanGivesUpAtItsFirstTimeOut)
{
    ExchangePlan plan;
    plan.frame = "\x02R1\r\n";
    plan.busy = false;
    plan.timeoutRetries = 0;
    const auto judge = [](std::string_view line) {
        return line.substr(0, 2) == "\x02R" ? ReplyVerdict::Accept : ReplyVerdict::Ignore;
    };
    const Nanos start = clock.Now();
    EXPECT_EQ(link->RunExchange(plan, judge), ExchangeOutcome::TimedOut);
    EXPECT_EQ(serial->writes.size(), 1u);
    EXPECT_EQ(ElapsedMs(start, clock.Now()), 501);

    // Repeat verdicts count only when asked to.
    serial->writes.clear();
    AnswerAlways(*serial, Line("\x02R?\r\n", 2));
    plan.countRepeats = true;
    plan.timeoutRetries = 2;
    EXPECT_EQ(link->RunExchange(plan, [](std::string_view) { return ReplyVerdict::Repeat; }),
              ExchangeOutcome::Rejected);
    EXPECT_EQ(serial->writes.size(), 3u);
}
