// The tick's deadlines on the clock: whole periods from the start whatever
// the time spent between ticks, and a fresh start after a long stall.
#include <gtest/gtest.h>

#include "FakeClock.h"
#include "panelcore/PanelTicker.h"

namespace velmora {
namespace {

using std::chrono::milliseconds;

TEST(PanelTicker, DeadlinesKeepToWholePeriodsFromTheStart)
{
    test::FakeClock clock;
    const Nanos start = clock.Now();
    PanelTicker ticker(clock);
    auto at = [&](long long ms) { return start + Nanos(milliseconds(ms)); };
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(ticker.NextTick());
        EXPECT_EQ(clock.Now(), at(50 * i));
        // Work done between ticks does not push the next one back.
        clock.AdvanceMs(20);
    }
    // A tick that comes late is not lost, and the one after it keeps the
    // cadence: two due at once are handed over one after the other.
    clock.AdvanceMs(80); // now 350: the ticks of 300 and 350 are both due
    ASSERT_TRUE(ticker.NextTick());
    EXPECT_EQ(clock.Now(), at(350));
    ASSERT_TRUE(ticker.NextTick());
    EXPECT_EQ(clock.Now(), at(350));
    EXPECT_EQ(ticker.NextDeadline(), at(400));
}

TEST(PanelTicker, ALongStallStartsCountingAfresh)
{
    test::FakeClock clock;
    PanelTicker ticker(clock);
    ASSERT_TRUE(ticker.NextTick()); // 50
    clock.AdvanceMs(60'000);        // a suspended machine
    ASSERT_TRUE(ticker.NextTick()); // one tick for the whole stall
    EXPECT_EQ(ticker.NextDeadline(), clock.Now() + Nanos(milliseconds(50)));
}

TEST(PanelTicker, AStoppedTickerEndsItsWait)
{
    test::FakeClock clock;
    PanelTicker ticker(clock);
    ticker.Stop();
    EXPECT_FALSE(ticker.NextTick());
}

} // namespace
} // namespace velmora
