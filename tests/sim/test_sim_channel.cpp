// The in-process channel to the simulated unit on the fake clock: answers
// arrive when they are due, waits jump to them or to their deadline, and
// lines are built as the serial channel builds them.
#include <gtest/gtest.h>

#include "SimChannel.h"
#include "support/FakeClock.h"

using namespace velmora;
using namespace velmora::sim;
using velmora::test::FakeClock;
using namespace std::chrono_literals;

namespace {

struct Rig {
    FakeClock clock;
    SimUnit unit;
    SimChannel chan{unit, clock};

    Rig() { EXPECT_TRUE(chan.Open()); }

    void Send(std::string_view text)
    {
        chan.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    LineBuffer line;
};

TEST(SimChannel, AnswerArrivesWithoutTimePassing)
{
    Rig rig;
    const Nanos start = rig.clock.Now();
    rig.Send("VER\r\n");
    EXPECT_TRUE(rig.chan.WaitForInput(rig.clock, start + 500ms));
    EXPECT_EQ(rig.clock.Now(), start);
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineComplete);
    EXPECT_EQ(rig.line.Line(), "VER01.00A\r\n");
    ASSERT_EQ(rig.chan.Writes().size(), 1u);
    EXPECT_EQ(rig.chan.Writes()[0].bytes, "VER\r\n");
    EXPECT_EQ(rig.chan.Writes()[0].at, start);
}

TEST(SimChannel, DelayedAnswerIsWaitedForOnTheClock)
{
    Rig rig;
    rig.unit.Faults().delayMs = 200;
    const Nanos start = rig.clock.Now();
    rig.Send("CH\r\n");

    // A wait that ends before the answer is due sleeps to its deadline.
    EXPECT_FALSE(rig.chan.WaitForInput(rig.clock, start + 100ms));
    EXPECT_EQ(rig.clock.Now(), start + 100ms);
    EXPECT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineNone);

    // The next one wakes exactly when the answer is due.
    EXPECT_TRUE(rig.chan.WaitForInput(rig.clock, start + 500ms));
    EXPECT_EQ(rig.clock.Now(), start + 200ms);
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineComplete);
    EXPECT_EQ(rig.line.Line(), "CH1\r\n");
}

TEST(SimChannel, PacedAnswerArrivesByteByByte)
{
    Rig rig;
    rig.unit.Faults().pace = true;
    rig.unit.Faults().delayMs = 100;
    const Nanos start = rig.clock.Now();
    rig.Send("\x02R1\r\n");

    // The five bytes of the request cross the wire first.
    const Nanos heard = start + WireTime(5);
    EXPECT_TRUE(rig.chan.WaitForInput(rig.clock, start + 500ms));
    EXPECT_EQ(rig.clock.Now(), heard + 100ms + WireTime(1));
    EXPECT_EQ(rig.chan.ReadLine(rig.line), LineResult::LinePartial);

    int waits = 1;
    LineResult r = LineResult::LinePartial;
    while (r != LineResult::LineComplete && waits < 200) {
        ASSERT_TRUE(rig.chan.WaitForInput(rig.clock, start + 500ms));
        ++waits;
        r = rig.chan.ReadLine(rig.line);
    }
    ASSERT_EQ(r, LineResult::LineComplete);
    EXPECT_EQ(waits, 58);
    EXPECT_EQ(rig.clock.Now(), heard + 100ms + WireTime(58));
    EXPECT_EQ(VerifyFrame(rig.line.Line(), kStatusReplyLength), 53);
}

TEST(SimChannel, SilentUnitCostsTheWholeWait)
{
    Rig rig;
    rig.unit.Faults().silent = true;
    const Nanos start = rig.clock.Now();
    rig.Send("VER\r\n");
    EXPECT_FALSE(rig.chan.WaitForInput(rig.clock, start + 500ms));
    EXPECT_EQ(rig.clock.Now(), start + 500ms);
    EXPECT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineNone);
}

TEST(SimChannel, StrayCrLfBecomesPartOfTheNextLine)
{
    // The serial line rules do not end a line at a CR LF with nothing
    // before it, so the reply's line begins with CR LF.
    Rig rig;
    rig.unit.Faults().strayCrLf = true;
    rig.Send("VER\r\n");
    ASSERT_TRUE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineComplete);
    EXPECT_EQ(rig.line.Line(), "\r\nVER01.00A\r\n");
}

TEST(SimChannel, OutputWhileClosedIsLost)
{
    Rig rig;
    rig.unit.Faults().delayMs = 100;
    rig.Send("VER\r\n");
    rig.chan.Close();
    rig.clock.AdvanceMs(150);
    // Writes to a closed channel go nowhere.
    rig.Send("CH\r\n");
    EXPECT_EQ(rig.chan.Writes().size(), 1u);

    ASSERT_TRUE(rig.chan.Open());
    EXPECT_EQ(rig.chan.Opens(), 2);
    EXPECT_FALSE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    EXPECT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineNone);

    // Once open again the unit is heard as before.
    rig.unit.Faults().delayMs = 0;
    rig.Send("CH\r\n");
    ASSERT_TRUE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineComplete);
    EXPECT_EQ(rig.line.Line(), "CH1\r\n");
}

TEST(SimChannel, RefusedOpenLeavesTheChannelClosed)
{
    FakeClock clock;
    SimUnit unit;
    SimChannel chan(unit, clock);
    chan.SetOpenable(false);
    EXPECT_FALSE(chan.Open());
    EXPECT_FALSE(chan.IsOpen());
    chan.SetOpenable(true);
    EXPECT_TRUE(chan.Open());
    EXPECT_TRUE(chan.IsOpen());
}

TEST(SimChannel, ReceiveErrorDropsTheLineInProgress)
{
    Rig rig;
    rig.unit.Faults().pace = true;
    rig.Send("VER\r\n");
    ASSERT_TRUE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LinePartial);
    rig.chan.RaiseReceiveError(kRxFramingError);
    EXPECT_TRUE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    EXPECT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineDiscarded);

    // The rest of that reply still arrives as a line of its own; the next
    // reply is whole.
    rig.clock.AdvanceMs(50);
    rig.Send("CH\r\n");
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms); ++i)
        if (rig.chan.ReadLine(rig.line) == LineResult::LineComplete)
            lines.emplace_back(rig.line.Line());
    EXPECT_EQ(lines, (std::vector<std::string>{"ER01.00A\r\n", "CH1\r\n"}));
}

TEST(SimChannel, AnnouncementReachesAnIdleHost)
{
    Rig rig;
    rig.unit.Announce(rig.clock.Now() + 30ms);
    EXPECT_TRUE(rig.chan.WaitForInput(rig.clock, rig.clock.Now() + 500ms));
    ASSERT_EQ(rig.chan.ReadLine(rig.line), LineResult::LineComplete);
    EXPECT_EQ(rig.line.Line(),
              "\x02"
              "A\x03"
              "44\r\n");
}

} // namespace
