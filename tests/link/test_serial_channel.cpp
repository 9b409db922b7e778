// The serial channel over a fake port: the reader thread, the 512-byte ring
// and the line building, as the UI thread sees them.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeClock.h"
#include "FakeSerialPort.h"
#include "support/ScriptedPrompter.h"
#include "link/SerialChannel.h"

namespace velmora::test {
namespace {

class SerialChannelTest : public ::testing::Test {
protected:
    SerialChannelTest() : channel(prompter, [this] { return std::make_unique<FakeSerialPort>(line); })
    {
        channel.SetPortName("ttyUSB0");
    }

    void Connect() { ASSERT_TRUE(channel.Connect()); }
    // Feeds bytes and waits until the reader has stored them in the ring.
    void Receive(const std::string& bytes, std::uint8_t lineErrors = 0)
    {
        line.Feed(bytes, lineErrors);
        ASSERT_TRUE(line.WaitIdle());
    }

    ScriptedPrompter prompter;
    FakeSerialLine line;
    SerialChannel channel;
    LineBuffer buf;
};

// --- the ring ---

TEST_F(SerialChannelTest, RingKeepsTheFirst511BytesInOrderAndDropsTheRest)
{
    Connect();
    // 100 numbered lines of 6 bytes: 511 bytes are 85 whole lines and the
    // first digit of the 86th.
    std::string all;
    for (int i = 0; i < 100; ++i) {
        char l[16];
        std::snprintf(l, sizeof l, "%04d\r\n", i);
        all += l;
    }
    ASSERT_EQ(all.size(), 600u);
    Receive(all.substr(0, 300));
    Receive(all.substr(300));

    for (int i = 0; i < 85; ++i) {
        ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete) << i;
        ASSERT_EQ(buf.Line(), all.substr(static_cast<size_t>(i) * 6, 6));
    }
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    EXPECT_EQ(buf.pos, 1);

    // Had anything after byte 511 stayed, it would join this line.
    Receive("Z\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "0Z\r\n");
}

TEST_F(SerialChannelTest, RingSurvivesDisconnectAndConnect)
{
    Connect();
    Receive("VER 1");
    channel.Disconnect();
    Connect();
    Receive(".00\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "VER 1.00\r\n");
}

// --- line building ---

TEST_F(SerialChannelTest, A510ByteLineIsTheLongestThatCompletes)
{
    Connect();
    Receive(std::string(300, 'x'));
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    Receive(std::string(210, 'x') + "\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.length, 512);
}

TEST_F(SerialChannelTest, A511ByteLineIsDiscardedAtItsCR)
{
    Connect();
    Receive(std::string(300, 'x'));
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    Receive(std::string(211, 'x') + "\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineDiscarded);
    EXPECT_EQ(buf.pos, 0);
    // The LF left behind starts the next line.
    Receive("OK\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "\nOK\r\n");
}

TEST_F(SerialChannelTest, StrayCRLFBeforeAReplyStaysAtTheLineStart)
{
    Connect();
    Receive("\r\nCH 2\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "\r\nCH 2\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
}

TEST_F(SerialChannelTest, AFramingErrorDropsTheLineInProgressOnce)
{
    Connect();
    Receive("\x02R1");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    Receive("", kLineFraming);
    Receive("\x02R2\x03\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineDiscarded);
    EXPECT_EQ(buf.pos, 0);
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "\x02R2\x03\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
}

// The damaged line's first bytes may still sit in the ring when the fault is
// raised. They go with the line, so what follows the fault can never complete
// an unchecked reply such as "VER"; lines finished before the fault stay.
TEST_F(SerialChannelTest, AFaultDropsTheDamagedLineAtItsPlaceInTheStream)
{
    Connect();
    Receive("CH 2\r\nVER 1", kLineFraming);
    Receive(".23\r\n");
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "CH 2\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineDiscarded);
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), ".23\r\n");

    // Two faults raised before anyone reads each drop their own line.
    Receive("VER", kLineParity);
    Receive(" 2\r\nCH", kLineFraming);
    Receive(" 4\r\nOK\r\n");
    std::vector<std::string> seen;
    for (LineResult r; (r = channel.ReadLine(buf)) != LineResult::LineNone;)
        seen.push_back(r == LineResult::LineComplete ? std::string(buf.Line()) : "(dropped)");
    EXPECT_EQ(seen, (std::vector<std::string>{"(dropped)", " 2\r\n", "(dropped)", " 4\r\n", "OK\r\n"}));
}

TEST_F(SerialChannelTest, BreaksAndParityErrorsDropTheLineToo)
{
    Connect();
    for (std::uint8_t fault : {std::uint8_t(kLineParity), std::uint8_t(kLineBreak)}) {
        Receive("abc");
        EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
        Receive("", fault);
        EXPECT_EQ(channel.ReadLine(buf), LineResult::LineDiscarded) << int(fault);
        EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
    }
}

// --- connecting ---

TEST_F(SerialChannelTest, ConnectOpensTheDeviceOfThePortName)
{
    Connect();
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_EQ(line.lastPath, "/dev/ttyUSB0");
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(channel.LastDiagnostic(), "");
}

TEST_F(SerialChannelTest, ConnectWhenConnectedDoesNotReopen)
{
    Connect();
    EXPECT_TRUE(channel.Connect());
    EXPECT_TRUE(channel.Open());
    EXPECT_EQ(line.opens, 1);
    EXPECT_EQ(line.closes, 0);
}

TEST_F(SerialChannelTest, DisconnectWhenNotConnectedDoesNothing)
{
    channel.Disconnect();
    EXPECT_EQ(line.closes, 0);
    Connect();
    channel.Disconnect();
    channel.Disconnect();
    EXPECT_EQ(line.closes, 1);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SerialChannelTest, AFailedOpenIsShownWithThePortName)
{
    line.openResult = false;
    line.openError = SerialError::InUse;
    line.openErrorText = "/dev/ttyUSB0: in use by another program";
    EXPECT_FALSE(channel.Connect());
    EXPECT_FALSE(channel.IsOpen());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "ttyUSB0は使えません");
    EXPECT_EQ(prompter.shown[0].caption, "警告");
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Exclamation);
    EXPECT_EQ(prompter.shown[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(channel.LastDiagnostic(), line.openErrorText);
    // Nothing was started that a disconnect would have to stop.
    channel.Disconnect();
    EXPECT_EQ(line.closes, 0);
}

TEST_F(SerialChannelTest, RefusedLineSettingsAreADiagnosticNotAFailure)
{
    line.openError = SerialError::SettingsRejected;
    Connect();
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(channel.LastDiagnostic(), "RS232C SetCommState Error\n");
    Receive("VER 1.00\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
}

// --- writing and waiting ---

TEST_F(SerialChannelTest, WritesReachThePortOnlyWhileConnected)
{
    const std::string ver = "VER\r\n";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size());
    channel.Write(bytes);
    EXPECT_EQ(line.Written(), "");
    Connect();
    channel.Write(bytes);
    channel.WriteBytes(bytes);
    EXPECT_EQ(line.Written(), "VER\r\nVER\r\n");
}

TEST_F(SerialChannelTest, WaitForInputReturnsAtOnceWhenBytesOrAFaultAreWaiting)
{
    Connect();
    FakeClock clock;
    const Nanos start = clock.Now();
    Receive("V");
    EXPECT_TRUE(channel.WaitForInput(clock, start + std::chrono::milliseconds(500)));
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    Receive("", kLineFraming);
    EXPECT_TRUE(channel.WaitForInput(clock, start + std::chrono::milliseconds(500)));
    EXPECT_EQ(clock.Now(), start);
}

TEST_F(SerialChannelTest, WaitForInputRunsToTheDeadlineWhenNothingCame)
{
    Connect();
    FakeClock clock;
    const Nanos deadline = clock.Now() + std::chrono::milliseconds(500);
    EXPECT_FALSE(channel.WaitForInput(clock, deadline));
    EXPECT_EQ(clock.Now(), deadline);
}

TEST_F(SerialChannelTest, WaitForInputWakesWhenTheReaderStoresBytes)
{
    Connect();
    Clock& clock = SteadyClock();
    const Nanos start = clock.Now();
    std::thread feeder([this] { line.Feed("CH 1\r\n"); });
    EXPECT_TRUE(channel.WaitForInput(clock, start + std::chrono::seconds(20)));
    feeder.join();
    EXPECT_LT(clock.Now() - start, std::chrono::seconds(10));
    ASSERT_TRUE(line.WaitIdle());
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
}

// --- the device going away ---

TEST_F(SerialChannelTest, AVanishedDeviceIsNotReadAgainAndDisconnectStillWorks)
{
    Connect();
    Receive("VER");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    line.PullCable();
    // The reader wakes the UI thread when it finds the device gone; a wake-up
    // left from the bytes before may come first.
    const Nanos giveUp = SteadyClock().Now() + std::chrono::seconds(20);
    while (!channel.DeviceGone() && channel.WaitForInput(SteadyClock(), giveUp)) { }
    EXPECT_TRUE(channel.DeviceGone());
    // The line in progress is kept; nothing new comes.
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    EXPECT_EQ(buf.pos, 3);
    EXPECT_TRUE(channel.IsOpen());
    channel.Disconnect();
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(line.readsAfterGone, 0);
}

} // namespace
} // namespace velmora::test
