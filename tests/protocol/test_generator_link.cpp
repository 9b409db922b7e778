#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeLinkTest.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"
#include "link/ReceiveRing.h"
#include "protocol/GeneratorLink.h"

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

const Replies kSilence{};

class LinkTest : public FakeLinkTest {
protected:
    static std::int64_t MsBetween(Nanos a, Nanos b) { return ElapsedMs(a, b); }
};

Replies Line(std::string text, long long delayMs = 30)
{
    return {Chunk{std::move(text), delayMs}};
}

} // namespace

// --- identification exchanges -------------------------------------------

TEST_F(LinkTest, VersionSurvivesTwoGarbledAnswersButNotFour)
{
    Script(*serial, {Line("VXR01.00A\r\n"), Line("\x02R1\r\n"), Line("VER01.00A\r\n")});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000A");
    ASSERT_EQ(serial->writes.size(), 3u);
    for (const auto& w : serial->writes)
        EXPECT_EQ(w.bytes, "VER\r\n");

    serial->writes.clear();
    AnswerAlways(*serial, Line("garbled\r\n"));
    version = "kept";
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "kept");
    EXPECT_EQ(serial->writes.size(), 4u);
}

TEST_F(LinkTest, SilentUnitCostsFourSendsJustOverHalfASecondApart)
{
    const Nanos start = clock.Now();
    std::string version;
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    ASSERT_EQ(serial->writes.size(), 4u);
    EXPECT_EQ(serial->writes[0].at, start);
    for (size_t k = 1; k < serial->writes.size(); ++k) {
        const auto gap = MsBetween(serial->writes[k - 1].at, serial->writes[k].at);
        EXPECT_GE(gap, 501) << "send " << k;
        EXPECT_LE(gap, 510) << "send " << k;
    }
    // The last send also gets its full time-out before the query gives up.
    EXPECT_GE(MsBetween(serial->writes.back().at, clock.Now()), 501);
}

TEST_F(LinkTest, ReplyAtExactlyHalfASecondIsStillInTime)
{
    Script(*serial, {Line("VER02.10 \r\n", 500)});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "020100");
    EXPECT_EQ(serial->writes.size(), 1u);
}

TEST_F(LinkTest, ReplyArrivingInPiecesIsAssembled)
{
    Script(*serial, {{Chunk{"VE", 40}, Chunk{"R01.0", 200}, Chunk{"0A\r\n", 450}}});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000A");
    EXPECT_EQ(serial->writes.size(), 1u);
}

TEST_F(LinkTest, ChannelCountAcceptsOnlyOneTwoOrFour)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"CH1\r\n", 1},  {"CH2\r\n", 2}, {"CH4\r\n", 4},  {"CH3\r\n", -1},
        {"CH0\r\n", -1}, {"CH\r\n", -1}, {"CH22\r\n", 2},
    };
    for (const auto& [reply, expected] : cases) {
        serial->writes.clear();
        AnswerAlways(*serial, Line(reply));
        EXPECT_EQ(link->QueryChannelCount(), expected) << reply;
        // An invalid digit is still an answer: nothing is sent again.
        ASSERT_EQ(serial->writes.size(), 1u) << reply;
        EXPECT_EQ(serial->writes[0].bytes, "CH\r\n");
    }
}

TEST_F(LinkTest, ChannelCountFailsOnSilenceAndOnWrongAnswers)
{
    EXPECT_EQ(link->QueryChannelCount(), -1);
    EXPECT_EQ(serial->writes.size(), 4u);

    serial->writes.clear();
    AnswerAlways(*serial, Line("VER01.00A\r\n"));
    EXPECT_EQ(link->QueryChannelCount(), -1);
    EXPECT_EQ(serial->writes.size(), 4u);
}

TEST_F(LinkTest, VersionTextTakesSixBytesWithSpacesAndPointsAsZeros)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("VER01.00A\r\n"), "01000A"},
        {std::string("VER 1.2 x-trailing\r\n"), "01020x"},
        // A short reply keeps its CR LF, and nothing of what the buffer held
        // before.
        {std::string("VER1\r\n"), "1\r\n"},
        {std::string("VER\r\n"), "\r\n"},
        // A NUL from the wire ends the text.
        {std::string("VER1\0"
                     "2345\r\n",
                     11),
         "1"},
    };
    for (const auto& [reply, expected] : cases) {
        link->lineBuffer().bytes.fill('Z');
        AnswerAlways(*serial, Line(reply));
        std::string version;
        ASSERT_TRUE(link->QueryVersion(LinkSerial, version)) << reply;
        EXPECT_EQ(version, expected);
    }
}

TEST_F(LinkTest, StaleInputIsDroppedBeforeTheCommandGoesOut)
{
    link->Connect();
    AnswerAlways(*serial, Line("VER01.00A\r\n"));

    // A complete line left over from before is not taken as a wrong answer.
    serial->Inject("CH4\r\n");
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000A");
    EXPECT_EQ(serial->writes.size(), 1u);

    // Half a line already in the buffer does not prefix the reply.
    serial->Inject("VERzz");
    EXPECT_EQ(link->ReceiveLine(LinkSerial), LineResult::LinePartial);
    EXPECT_EQ(link->linePos(), 5);
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000A");
    EXPECT_EQ(serial->writes.size(), 2u);
}

TEST_F(LinkTest, HalfReplyBeforeATimeOutIsDropped)
{
    Script(*serial, {Line("VERzz", 100), Line("VER01.00A\r\n")});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000A");
    EXPECT_EQ(serial->writes.size(), 2u);
}

TEST_F(LinkTest, ReceiveErrorDropsTheReplyInProgressAndTheQueryRecovers)
{
    // The fault lies inside the reply: what comes after it is only the
    // reply's tail, which no query takes.
    Script(*serial, {{Chunk{"VER01.0", 10, kRxFramingError}, Chunk{"0A\r\n", 20}}, Line("VER01.00B\r\n")});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(version, "01000B");
    EXPECT_EQ(serial->writes.size(), 2u);
}

TEST_F(LinkTest, WrongAnswersAndTimeOutsAreCountedApart)
{
    // Three wrong answers and three silences still leave one more try.
    Script(*serial, {Line("x\r\n"), kSilence, Line("y\r\n"), kSilence, Line("z\r\n"), kSilence, Line("CH2\r\n")});
    EXPECT_EQ(link->QueryChannelCount(), 2);
    EXPECT_EQ(serial->writes.size(), 7u);

    serial->writes.clear();
    Script(*serial, {kSilence, kSilence, kSilence, Line("x\r\n"), Line("y\r\n"), Line("z\r\n"), Line("w\r\n")});
    std::string version;
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(serial->writes.size(), 7u);

    serial->writes.clear();
    Script(*serial, {Line("x\r\n"), Line("y\r\n"), Line("z\r\n"), kSilence, kSilence, kSilence, kSilence});
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(serial->writes.size(), 7u);
}

// --- channels -------------------------------------------------------------

TEST_F(LinkTest, FtdiModeTalksOnlyToTheFtdiChannel)
{
    AnswerAlways(*ftdi, Line("VER03.00 \r\n"));
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkFtdi, version));
    EXPECT_EQ(version, "030000");
    EXPECT_EQ(ftdi->opens, 1);
    EXPECT_EQ(ftdi->writes.size(), 1u);
    EXPECT_EQ(serial->opens, 0);
    EXPECT_TRUE(serial->writes.empty());

    // An open device is not opened again.
    ASSERT_TRUE(link->QueryVersion(LinkFtdi, version));
    EXPECT_EQ(ftdi->opens, 1);
}

TEST_F(LinkTest, AnyOtherModeSelectsNoChannel)
{
    const auto none = static_cast<LinkMode>(2);
    serial->Inject("VER01.00A\r\n");
    ftdi->Inject("VER01.00A\r\n");
    EXPECT_EQ(link->ReceiveLine(none), LineResult::LineNone);
    link->SendText(none, "VER\r\n");
    EXPECT_EQ(link->Channel(none), nullptr);

    const Nanos start = clock.Now();
    std::string version;
    EXPECT_FALSE(link->QueryVersion(none, version));
    EXPECT_TRUE(serial->writes.empty());
    EXPECT_TRUE(ftdi->writes.empty());
    EXPECT_EQ(serial->opens + ftdi->opens, 0);
    // It ends by its four time-outs, in time rather than by spinning.
    EXPECT_GE(MsBetween(start, clock.Now()), 4 * 501);
    EXPECT_EQ(prompter.busyDepth, 0);
}

TEST_F(LinkTest, MissingFtdiChannelEndsByTimeOuts)
{
    GeneratorLink serialOnly(clock, prompter, std::make_unique<FakeChannel>(clock), nullptr);
    std::string version;
    EXPECT_FALSE(serialOnly.QueryVersion(LinkFtdi, version));
    EXPECT_EQ(serialOnly.ReceiveLine(LinkFtdi), LineResult::LineNone);
}

TEST_F(LinkTest, SerialPortThatFailsToOpenEndsByTimeOuts)
{
    serial->SetOpenResult(false);
    AnswerAlways(*serial, Line("VER01.00A\r\n"));
    const Nanos start = clock.Now();
    std::string version;
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    EXPECT_GE(MsBetween(start, clock.Now()), 4 * 501);
    EXPECT_EQ(serial->opens, 1);
    EXPECT_FALSE(link->IsConnected());
    EXPECT_EQ(link->QueryChannelCount(), -1);
}

TEST_F(LinkTest, ConnectOpensTheSerialPortOnce)
{
    link->SetPortName("ttyUSB3");
    EXPECT_EQ(link->PortName(), "ttyUSB3");
    EXPECT_EQ(serial->PortName(), "ttyUSB3");
    EXPECT_FALSE(link->IsConnected());
    link->Disconnect();
    EXPECT_TRUE(link->Connect());
    EXPECT_TRUE(link->Connect());
    EXPECT_EQ(serial->opens, 1);
    EXPECT_TRUE(link->IsConnected());
    link->Disconnect();
    EXPECT_FALSE(link->IsConnected());
}

TEST_F(LinkTest, BusyIndicationCoversEveryIdentificationPath)
{
    std::vector<int> depthAtSend;
    auto recordDepth = [this, &depthAtSend](const Replies& replies) {
        serial->SetResponder([this, &depthAtSend, replies](const std::string&) {
            depthAtSend.push_back(prompter.busyDepth);
            return replies;
        });
    };
    std::string version;

    recordDepth(Line("VER01.00A\r\n"));
    EXPECT_TRUE(link->QueryVersion(LinkSerial, version));
    recordDepth(Line("nonsense\r\n"));
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    recordDepth(kSilence);
    EXPECT_FALSE(link->QueryVersion(LinkSerial, version));
    recordDepth(Line("CH4\r\n"));
    EXPECT_EQ(link->QueryChannelCount(), 4);
    recordDepth(Line("CH7\r\n"));
    EXPECT_EQ(link->QueryChannelCount(), -1);
    recordDepth(kSilence);
    EXPECT_EQ(link->QueryChannelCount(), -1);

    EXPECT_EQ(prompter.busyCount, 6);
    EXPECT_EQ(prompter.busyDepth, 0);
    ASSERT_FALSE(depthAtSend.empty());
    for (int d : depthAtSend)
        EXPECT_EQ(d, 1);
}

// --- the shared exchange shape ----------------------------------------------

TEST_F(LinkTest, IgnoredLinesKeepTheWaitGoing)
{
    ExchangePlan plan;
    plan.frame = "PING\r\n";
    plan.busy = false;
    Script(*serial,
           {{Chunk{"\x02"
                   "A\r\n",
                   10},
             Chunk{"noise\r\n", 20}, Chunk{"OK\r\n", 300}}});
    const auto outcome = link->RunExchange(plan, [](std::string_view line) {
        return line.substr(0, 2) == "OK" ? ReplyVerdict::Accept : ReplyVerdict::Ignore;
    });
    EXPECT_EQ(outcome, ExchangeOutcome::Accepted);
    EXPECT_EQ(serial->writes.size(), 1u);
    EXPECT_EQ(prompter.busyCount, 0);

    // Ignored lines never count, so only time-outs end the exchange.
    serial->writes.clear();
    AnswerAlways(*serial, {Chunk{"noise\r\n", 10}, Chunk{"more\r\n", 400}});
    EXPECT_EQ(link->RunExchange(plan,
                                [](std::string_view line) {
                                    return line.substr(0, 2) == "OK" ? ReplyVerdict::Accept : ReplyVerdict::Ignore;
                                }),
              ExchangeOutcome::TimedOut);
    EXPECT_EQ(serial->writes.size(), 4u);
}

TEST_F(LinkTest, RepeatedRepliesResendAfterAQuietWaitWithoutCounting)
{
    ExchangePlan plan;
    plan.frame = "READ\r\n";
    plan.openingReceives = 1;
    plan.quietWaitFirst = true;
    std::vector<Replies> script(6, Line("BAD\r\n", 2));
    script.push_back(Line("GOOD\r\n", 2));
    Script(*serial, script);
    // Left-overs that arrive during the first quiet wait are discarded.
    serial->Inject("GOOD\r\n", 5);
    const Nanos start = clock.Now();

    const auto outcome = link->RunExchange(plan, [](std::string_view line) {
        if (line.substr(0, 4) == "GOOD")
            return ReplyVerdict::Accept;
        return line.substr(0, 3) == "BAD" ? ReplyVerdict::Repeat : ReplyVerdict::Ignore;
    });
    EXPECT_EQ(outcome, ExchangeOutcome::Accepted);
    ASSERT_EQ(serial->writes.size(), 7u);
    EXPECT_GE(MsBetween(start, serial->writes[0].at), 11);
    for (size_t k = 1; k < serial->writes.size(); ++k)
        EXPECT_GE(MsBetween(serial->writes[k - 1].at, serial->writes[k].at), 11) << "send " << k;
    EXPECT_EQ(prompter.busyDepth, 0);
    EXPECT_EQ(prompter.busyCount, 1);
}
