// The serial channel with its real port, on a pseudo-terminal playing the
// unit: opening, the reader thread's blocking and waking, and the device
// going away.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>

#include "link/SerialChannel.h"
#include "support/PseudoTerminal.h"
#include "support/ScriptedPrompter.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

std::span<const std::uint8_t> AsBytes(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Nanos ProcessCpuTime()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + Nanos(ts.tv_nsec);
}

class SerialChannelPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal";
        channel.SetPortName(pty.SlavePath());
    }

    // Builds lines as the exchanges do, sleeping in WaitForInput between
    // tries, until one completes; gives up after a generous real limit.
    LineResult ReadLineWaiting(LineBuffer& buf)
    {
        Clock& clock = SteadyClock();
        const Nanos giveUp = clock.Now() + 10s;
        for (;;) {
            const LineResult r = channel.ReadLine(buf);
            if (r == LineResult::LineComplete || r == LineResult::LineDiscarded || clock.Now() >= giveUp)
                return r;
            channel.WaitForInput(clock, giveUp);
        }
    }

    PseudoTerminal pty;
    ScriptedPrompter prompter;
    SerialChannel channel{prompter};
    LineBuffer buf;
};

TEST_F(SerialChannelPtyTest, RequestsGoOutAndRepliesComeBackAsLines)
{
    ASSERT_TRUE(channel.Connect()) << channel.LastDiagnostic();
    EXPECT_EQ(channel.LastDiagnostic(), "");
    channel.Write(AsBytes("VER\r\n"));
    EXPECT_EQ(pty.Receive(5), "VER\r\n");

    // A frame may carry any byte; XON, XOFF, NUL and FF among them.
    const std::string reply = std::string("\x02W1\x11\x13\x00\xFF", 7) + "\x03" + "4F\r\n";
    ASSERT_TRUE(pty.Send(reply));
    ASSERT_EQ(ReadLineWaiting(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), reply);
}

TEST_F(SerialChannelPtyTest, WaitForInputWakesWhenBytesArrive)
{
    ASSERT_TRUE(channel.Connect());
    Clock& clock = SteadyClock();
    const Nanos start = clock.Now();
    std::thread unit([this] { pty.Send("CH 2\r\n"); });
    EXPECT_TRUE(channel.WaitForInput(clock, start + 20s));
    unit.join();
    EXPECT_LT(clock.Now() - start, 10s);
    ASSERT_EQ(ReadLineWaiting(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "CH 2\r\n");
}

TEST_F(SerialChannelPtyTest, AMissingDeviceIsShownAsUnusable)
{
    channel.SetPortName("ttyVELMORA-none");
    EXPECT_FALSE(channel.Connect());
    EXPECT_FALSE(channel.IsOpen());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "ttyVELMORA-noneは使えません");
    EXPECT_EQ(prompter.shown[0].caption, "警告");
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Exclamation);
    EXPECT_NE(channel.LastDiagnostic().find("/dev/ttyVELMORA-none"), std::string::npos);
}

TEST_F(SerialChannelPtyTest, ASecondChannelOnTheSameDeviceIsRefused)
{
    ASSERT_TRUE(channel.Connect());
    ScriptedPrompter otherPrompter;
    SerialChannel other(otherPrompter);
    other.SetPortName(pty.SlavePath());
    EXPECT_FALSE(other.Connect());
    ASSERT_EQ(otherPrompter.shown.size(), 1u);
    EXPECT_EQ(otherPrompter.shown[0].text, pty.SlavePath() + "は使えません");
    // The first keeps working.
    ASSERT_TRUE(pty.Send("OK\r\n"));
    EXPECT_EQ(ReadLineWaiting(buf), LineResult::LineComplete);
}

TEST_F(SerialChannelPtyTest, DisconnectReturnsPromptlyWhileTheReaderIsBlocked)
{
    // The least of a few tries, so that one unlucky scheduling does not
    // count; a fixed settling wait of 50 ms would show in every try.
    Nanos fastest = 1h;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(channel.Connect());
        // Let the reader reach its blocking wait.
        ASSERT_TRUE(pty.Send("x"));
        channel.WaitForInput(SteadyClock(), SteadyClock().Now() + 10s);
        const Nanos start = SteadyClock().Now();
        channel.Disconnect();
        fastest = std::min(fastest, SteadyClock().Now() - start);
        EXPECT_FALSE(channel.IsOpen());
    }
    EXPECT_LT(fastest, 40ms);
}

TEST_F(SerialChannelPtyTest, AVanishedDeviceNeitherCrashesNorSpins)
{
    ASSERT_TRUE(channel.Connect());
    ASSERT_TRUE(pty.Send("VER"));
    pty.CloseMaster();
    Clock& clock = SteadyClock();
    const Nanos giveUp = clock.Now() + 10s;
    while (!channel.DeviceGone() && clock.Now() < giveUp)
        channel.WaitForInput(clock, giveUp);
    ASSERT_TRUE(channel.DeviceGone());

    // A reader that kept asking the vanished device would burn a core.
    const Nanos cpuBefore = ProcessCpuTime();
    const Nanos wallBefore = clock.Now();
    std::this_thread::sleep_for(200ms);
    const Nanos cpu = ProcessCpuTime() - cpuBefore;
    const Nanos wall = clock.Now() - wallBefore;
    EXPECT_LT(cpu, wall / 10) << "cpu " << cpu.count() << " ns over " << wall.count() << " ns";

    EXPECT_TRUE(channel.IsOpen());
    channel.Write(AsBytes("VER\r\n"));
    const Nanos start = clock.Now();
    channel.Disconnect();
    EXPECT_LT(clock.Now() - start, 5s);
    EXPECT_FALSE(channel.IsOpen());
    // The device is gone for good.
    EXPECT_FALSE(channel.Connect());
    EXPECT_EQ(prompter.shown.size(), 1u);
}

} // namespace
} // namespace velmora::test
