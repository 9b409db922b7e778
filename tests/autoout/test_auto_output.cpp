#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "RecordingLink.h"
#include "FakeClock.h"
#include "FakeLinkTest.h"
#include "autoout/AutoOutput.h"
#include "protocol/OutputCommands.h"

namespace velmora {
namespace {

using test::RecordingLink;

constexpr int kVolts10 = 1; // 0-10 V, three decimals

class AutoOutputTest : public ::testing::Test {
protected:
    GeneratorModel model;
    std::array<AutoOutputState, kMaxChannels> states{};
    RecordingLink link;
    AutoOutputRunner runner{model, states};
    std::int64_t now = 5000;

    void SetUp() override
    {
        model.channelCount = 2;
        model.channels[0].rangeCode = kVolts10;
        model.channels[1].rangeCode = kVolts10;
        model.SetLink(&link);
    }

    AutoOutputState& A(int c = 0) { return states[static_cast<std::size_t>(c)]; }
    AutoOutputSlot& Slot(int c = 0) { return A(c).slots[kVolts10]; }
    double Value(int c = 0) const { return model.channels[static_cast<std::size_t>(c)].setValue; }

    void Wave(std::int32_t mode, double start, double end, double step, std::int32_t repeat = 0,
              std::int32_t interval = 10, int c = 0)
    {
        Slot(c) = AutoOutputSlot{mode, repeat, start, end, step, interval};
    }

    void Rows(const std::vector<std::pair<double, std::int32_t>>& rows, std::int32_t repeat = 0)
    {
        Slot().mode = kAutoArbitrary;
        Slot().repeat = repeat;
        for (std::size_t r = 0; r < rows.size(); ++r)
            A().points[r] = ArbitraryPoint{true, rows[r].first, rows[r].second};
    }

    // Starts channel 0 and then waits for each due time in turn, collecting
    // the values until the output stops or `steps` steps were made.
    std::vector<double> Run(int steps)
    {
        std::vector<double> values;
        runner.Stop(0);
        AutoControlResult started = runner.Start(0, now);
        if (started.output)
            values.push_back(started.output->value);
        for (int i = 0; i < steps && A().runState == kAutoRunning; ++i) {
            now = A().nextStepTime;
            for (const AutoStepEvent& e : runner.Step(now))
                if (e.channel == 0 && e.output)
                    values.push_back(e.output->value);
        }
        return values;
    }
};

using Values = std::vector<double>;

TEST_F(AutoOutputTest, SawtoothRisesAndReturnsToStartCountingCycles)
{
    Wave(kAutoSawtooth, 0, 10, 3, 2);
    EXPECT_EQ(Run(20), (Values{0, 3, 6, 9, 0, 3, 6, 9, 0}));
    EXPECT_EQ(A().runState, kAutoStopped);
    EXPECT_EQ(A().cycleCount, 2);

    // A step that lands exactly on the end is put out; the next one returns.
    Wave(kAutoSawtooth, 0, 9, 3, 1);
    EXPECT_EQ(Run(20), (Values{0, 3, 6, 9, 0}));
}

TEST_F(AutoOutputTest, SawtoothFallsWhenTheEndIsBelowTheStart)
{
    Wave(kAutoSawtooth, 10, 0, 3, 1);
    EXPECT_EQ(Run(20), (Values{10, 7, 4, 1, 10}));
}

TEST_F(AutoOutputTest, ANegativeStepStepsByItsMagnitude)
{
    // The dialog keeps the sign typed; start and end give the direction.
    Wave(kAutoSawtooth, 0, 10, -3, 1);
    EXPECT_EQ(Run(20), (Values{0, 3, 6, 9, 0}));
    Wave(kAutoTriangle, 10, 0, -3, 1);
    EXPECT_EQ(Run(20), (Values{10, 7, 4, 1, 4, 7, 10, 10}));
}

TEST_F(AutoOutputTest, TriangleTurnsAtTheEndAndCountsACycleBelowTheStart)
{
    Wave(kAutoTriangle, 0, 10, 3);
    EXPECT_EQ(Run(8), (Values{0, 3, 6, 9, 6, 3, 0, 3, 6}));
    EXPECT_EQ(A().cycleCount, 1);
    EXPECT_FALSE(A().falling);

    // The last step of the last cycle is held to the start.
    Wave(kAutoTriangle, 0, 10, 3, 1);
    EXPECT_EQ(Run(20), (Values{0, 3, 6, 9, 6, 3, 0, 0}));
    EXPECT_EQ(A().runState, kAutoStopped);

    Wave(kAutoTriangle, 10, 0, 3);
    EXPECT_EQ(Run(7), (Values{10, 7, 4, 1, 4, 7, 10, 7}));
}

TEST_F(AutoOutputTest, ArbitraryHoldsEachRowForItsOwnIntervalAndStopsBackAtRowZero)
{
    Rows({{1.0, 5}, {2.0, 20}, {3.0, 7}}, 1);
    std::vector<std::pair<double, std::int64_t>> seen;
    const std::int64_t t0 = now;
    AutoControlResult started = runner.Start(0, now);
    ASSERT_TRUE(started.output);
    EXPECT_EQ(started.output->row, 0);
    EXPECT_FALSE(started.settingsEnabled);
    seen.push_back({started.output->value, now - t0});
    std::vector<AutoStepEvent> events;
    while (A().runState == kAutoRunning) {
        now = A().nextStepTime;
        events = runner.Step(now);
        ASSERT_EQ(events.size(), 1u);
        seen.push_back({events[0].output->value, now - t0});
    }
    const std::vector<std::pair<double, std::int64_t>> expected = {{1.0, 0}, {2.0, 5}, {3.0, 25}, {1.0, 32}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(events[0].stopped);
    EXPECT_EQ(events[0].output->cycle, 1);
    EXPECT_EQ(events[0].output->row, 0);
}

TEST_F(AutoOutputTest, ToleranceDecidesWhetherAStepHasPassedTheEnd)
{
    // Ten steps of 0.1 fall just short of 1 and are put out as they are.
    Wave(kAutoSawtooth, 0, 1, 0.1);
    Values values = Run(11);
    ASSERT_EQ(values.size(), 12u);
    EXPECT_LT(values[10], 1.0);
    EXPECT_NEAR(values[10], 1.0, 1e-12);
    EXPECT_EQ(values[11], 0.0);
    EXPECT_EQ(A().cycleCount, 1);

    // Three steps overshoot 0.3 by a few ulps: the end itself goes out.
    Wave(kAutoSawtooth, 0, 0.3, 0.1);
    values = Run(4);
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[3], 0.3);
    EXPECT_EQ(values[4], 0.0);
}

TEST_F(AutoOutputTest, DueTimesAdvanceByWholeIntervalsAndALateStepIsStillMade)
{
    Wave(kAutoSawtooth, 0, 10, 1, 0, 10);
    runner.Start(0, now);
    EXPECT_TRUE(runner.Step(now + 9).empty());
    // Due within the lead the caller gives: made now, at its own due time.
    std::vector<AutoStepEvent> events = runner.Step(now + 8, 2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].output->dueTime, now + 10);
    EXPECT_EQ(Value(), 1.0);

    // A tick 9 tenths late, less than an interval: the step is made as it
    // was due, and the cadence does not shift.
    events = runner.Step(now + 29);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].output->dueTime, now + 20);
    EXPECT_EQ(events[0].output->skipped, 0);
    EXPECT_EQ(A().nextStepTime, now + 30);
    EXPECT_EQ(Value(), 2.0);
    EXPECT_EQ(runner.Step(now + 30).size(), 1u);
    EXPECT_EQ(Value(), 3.0);
}

// What the output would have done had every tick come: one call at each due
// time, from a copy of the run.
struct Replay {
    double value = 0.0;
    AutoOutputState state;
    int steps = 0;
};

Replay ReplayUntil(const GeneratorModel& model, const std::array<AutoOutputState, kMaxChannels>& states,
                   std::int64_t until)
{
    GeneratorModel m = model;
    m.SetLink(nullptr);
    std::array<AutoOutputState, kMaxChannels> s = states;
    AutoOutputRunner r(m, s);
    Replay replay;
    while (s[0].runState == kAutoRunning && s[0].nextStepTime <= until) {
        r.Step(s[0].nextStepTime);
        ++replay.steps;
    }
    replay.value = m.channels[0].setValue;
    replay.state = s[0];
    return replay;
}

TEST_F(AutoOutputTest, AfterAnOutageTheOutputGoesStraightToTheStepDueNow)
{
    struct Case {
        const char* name;
        std::function<void()> set;
        std::int64_t outage; // tenths without a call
    };
    const std::vector<Case> cases = {
        {"rising sawtooth, 10 minutes at 0.1 s", [&] { Wave(kAutoSawtooth, 0, 10, 0.7, 0, 1); }, 6000},
        {"falling sawtooth", [&] { Wave(kAutoSawtooth, 10, 0, 3, 0, 2); }, 777},
        {"triangle", [&] { Wave(kAutoTriangle, 0, 10, 0.25, 0, 1); }, 6001},
        {"falling triangle", [&] { Wave(kAutoTriangle, 10, 2, 1.5, 0, 3); }, 100},
        {"table of three",
         [&] {
             Rows({{1.0, 5}, {2.0, 20}, {3.0, 7}});
         },
         6000},
        {"a day at 0.1 s", [&] { Wave(kAutoSawtooth, 0, 10, 0.1, 0, 1); }, 24 * 36000},
        {"finite run that ends meanwhile", [&] { Wave(kAutoTriangle, 0, 10, 1, 25, 1); }, 6000},
        {"finite table that ends meanwhile",
         [&] {
             Rows({{1.0, 5}, {2.0, 20}, {3.0, 7}}, 40);
         },
         6000},
        {"finite run still going", [&] { Wave(kAutoSawtooth, 0, 10, 1, 1000, 1); }, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        A() = AutoOutputState{};
        c.set();
        runner.Start(0, now);
        runner.Step(A().nextStepTime); // one step made in time
        const std::int64_t later = now + c.outage;
        const Replay expected = ReplayUntil(model, states, later);
        ASSERT_GT(expected.steps, 2);

        link.frames.clear();
        const std::vector<AutoStepEvent> events = runner.Step(later);
        ASSERT_EQ(events.size(), 1u);
        ASSERT_TRUE(events[0].output);
        // One value put out, sent once with every channel in use.
        EXPECT_EQ(link.frames.size(), 2u);
        EXPECT_EQ(events[0].output->skipped, expected.steps - 1);
        EXPECT_DOUBLE_EQ(Value(), expected.value);
        EXPECT_EQ(A().runState, expected.state.runState);
        EXPECT_EQ(events[0].stopped, expected.state.runState == kAutoStopped);
        EXPECT_EQ(A().cycleCount, expected.state.cycleCount);
        EXPECT_EQ(A().pointIndex, expected.state.pointIndex);
        EXPECT_EQ(A().falling, expected.state.falling);
        EXPECT_EQ(A().nextStepTime, expected.state.nextStepTime);
        if (A().runState == kAutoRunning) {
            // Back on the original grid, never faster than the interval.
            EXPECT_GT(A().nextStepTime, later);
            EXPECT_TRUE(runner.Step(later).empty());
        }
    }
}

TEST_F(AutoOutputTest, CatchingUpEndsForSettingsThatNeverCompleteACycle)
{
    // A step of 0 from a file never reaches the end: the catch-up gives up
    // counting and puts the output on the present grid point.
    Wave(kAutoSawtooth, 0, 10, 0, 0, 1);
    runner.Start(0, now);
    const std::int64_t later = now + 10 * AutoOutputRunner::kMaxCatchUpSteps + 5;
    const std::vector<AutoStepEvent> events = runner.Step(later);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Value(), 0.0);
    EXPECT_GT(A().nextStepTime, later);
    EXPECT_LE(A().nextStepTime, later + 1);

    // An interval of 0 catches nothing up: one step per call, as before.
    Wave(kAutoSawtooth, 0, 10, 1, 0, 0);
    runner.Stop(0);
    runner.Start(0, now);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(runner.Step(now + 1000).size(), 1u);
        EXPECT_EQ(Value(), i);
    }
}

TEST_F(AutoOutputTest, APauseAfterAFinishedRunStartsAFreshCount)
{
    Wave(kAutoSawtooth, 0, 10, 5, 1);
    EXPECT_EQ(Run(10), (Values{0, 5, 10, 0}));
    ASSERT_EQ(A().cycleCount, 1);
    // Paused from stopped, then started: from the present value, with the
    // whole repeat count still to go.
    runner.Pause(0);
    model.SetSetValue(0, 5.0);
    runner.Start(0, now);
    std::vector<double> values;
    for (int i = 0; i < 10 && A().runState == kAutoRunning; ++i) {
        now = A().nextStepTime;
        for (const AutoStepEvent& e : runner.Step(now))
            values.push_back(e.output->value);
    }
    EXPECT_EQ(values, (Values{10, 0}));
}

TEST_F(AutoOutputTest, PauseFromStoppedThenStartContinuesFromThePresentValue)
{
    Wave(kAutoSawtooth, 0, 10, 3);
    EXPECT_FALSE(runner.Pause(0).settingsEnabled);
    EXPECT_EQ(A().runState, kAutoPaused);
    model.SetSetValue(0, 5.0);
    link.frames.clear();

    AutoControlResult resumed = runner.Start(0, now);
    EXPECT_FALSE(resumed.output);
    EXPECT_FALSE(resumed.settingsEnabled);
    EXPECT_TRUE(link.frames.empty());
    EXPECT_EQ(A().nextStepTime, now + 10);
    runner.Step(now + 10);
    EXPECT_EQ(Value(), 8.0);

    // Starting a running output changes nothing.
    const std::int64_t due = A().nextStepTime;
    EXPECT_FALSE(runner.Start(0, now + 15).output);
    EXPECT_EQ(A().nextStepTime, due);

    // Stop keeps the value and sends nothing.
    link.frames.clear();
    EXPECT_TRUE(runner.Stop(0).settingsEnabled);
    EXPECT_EQ(Value(), 8.0);
    EXPECT_TRUE(link.frames.empty());
    EXPECT_TRUE(runner.Step(now + 1000).empty());
}

TEST_F(AutoOutputTest, ArbitraryStartNeedsItsPresentRowInUse)
{
    Slot().mode = kAutoArbitrary;
    AutoControlResult result = runner.Start(0, now);
    EXPECT_TRUE(result.settingsEnabled);
    EXPECT_FALSE(result.output);
    EXPECT_EQ(A().runState, kAutoStopped);
    EXPECT_TRUE(link.frames.empty());

    // Paused on row 1, a start re-applies row 1 and restarts its interval.
    Rows({{1.0, 5}, {2.0, 8}});
    runner.Start(0, now);
    runner.Step(now + 5);
    runner.Pause(0);
    model.SetSetValue(0, 9.0);
    result = runner.Start(0, now + 100);
    ASSERT_TRUE(result.output);
    EXPECT_EQ(result.output->row, 1);
    EXPECT_EQ(Value(), 2.0);
    EXPECT_EQ(A().nextStepTime, now + 108);
}

TEST_F(AutoOutputTest, AFullTableWrapsFromRowNinetyNineToRowZero)
{
    std::vector<std::pair<double, std::int32_t>> rows;
    rows.reserve(kArbitraryPointCount);
    for (int r = 0; r < kArbitraryPointCount; ++r)
        rows.push_back({r * 0.1, 1});
    Rows(rows);
    Values values = Run(100);
    ASSERT_EQ(values.size(), 101u);
    EXPECT_EQ(values[99], 99 * 0.1);
    EXPECT_EQ(values[100], 0.0);
    EXPECT_EQ(A().pointIndex, 0);
    EXPECT_EQ(A().cycleCount, 1);
}

TEST_F(AutoOutputTest, SettingsThatCannotBeSteppedLeaveTheOutputStoppedAndTheValueAlone)
{
    model.SetSetValue(0, 4.0);
    link.frames.clear();

    Slot().mode = 7; // only a foreign file has this
    EXPECT_TRUE(runner.Start(0, now).settingsEnabled);
    EXPECT_EQ(A().runState, kAutoStopped);
    runner.Pause(0);
    runner.Start(0, now);
    EXPECT_EQ(A().runState, kAutoStopped);

    // A document opened while the output ran brings the mode along.
    Wave(kAutoSawtooth, 0, 10, 3);
    runner.Start(0, now);
    link.frames.clear();
    Slot().mode = -1;
    std::vector<AutoStepEvent> events = runner.Step(now + 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].output);
    EXPECT_TRUE(events[0].stopped);
    EXPECT_EQ(Value(), 0.0);
    EXPECT_TRUE(link.frames.empty());
    EXPECT_EQ(AutoOutputDisplay(model, A(), 0).modeText, "");

    // A range code from a file that names no slot: nothing starts or steps.
    model.channels[1].rangeCode = 40;
    Wave(kAutoSawtooth, 0, 10, 3, 0, 10, 1);
    EXPECT_TRUE(runner.Start(1, now).settingsEnabled);
    EXPECT_EQ(A(1).runState, kAutoStopped);
    EXPECT_TRUE(link.frames.empty());
    EXPECT_EQ(AutoOutputDisplay(model, A(1), 1).startText, "");
}

TEST_F(AutoOutputTest, EveryStepSendsEveryChannelInUseOnlyWhileConnected)
{
    model.channelCount = 2;
    Wave(kAutoSawtooth, 0, 10, 3, 0, 10, 0);
    Wave(kAutoSawtooth, 10, 0, 2, 0, 10, 1);
    runner.Start(0, now);
    runner.Start(1, now);
    link.frames.clear();

    // Both due at once: channel 0 first, each step sending both channels.
    runner.Step(now + 10);
    ASSERT_EQ(link.frames.size(), 4u);
    EXPECT_EQ(link.frames[0].ch, 0);
    EXPECT_EQ(link.frames[0].settings.setValue, 3.0);
    EXPECT_EQ(link.frames[0].settings.dacCode, 19661); // 3 V of 10 V
    EXPECT_EQ(link.frames[1].ch, 1);
    EXPECT_EQ(link.frames[3].settings.setValue, 8.0);

    // A channel beyond the count is never stepped.
    model.channelCount = 1;
    link.frames.clear();
    EXPECT_EQ(runner.Step(now + 100).size(), 1u);

    // Disconnected, the value and code are still kept for the next connect.
    link.connected = false;
    link.frames.clear();
    runner.Step(A().nextStepTime);
    EXPECT_TRUE(link.frames.empty());
    EXPECT_EQ(Value(), 9.0);
    EXPECT_EQ(model.channels[0].dacCode, 58982);
}

TEST_F(AutoOutputTest, DueTimesKeepTheirCadencePastWhereA32BitTickCountWraps)
{
    test::FakeClock clock;
    const std::int64_t before = TenthsNow(clock);
    clock.Advance(std::chrono::hours(24 * 50));
    EXPECT_EQ(TenthsNow(clock) - before, 50LL * 24 * 3600 * 10);

    now = (std::int64_t{1} << 32) - 15;
    Wave(kAutoSawtooth, 0, 10, 1, 0, 10);
    Run(3);
    EXPECT_EQ(A().nextStepTime, (std::int64_t{1} << 32) + 25);
    EXPECT_EQ(Value(), 3.0);
}

TEST_F(AutoOutputTest, DisplayShowsTheSlotAndTheButtonsByRunState)
{
    Wave(kAutoTriangle, 0, 10, 2.5, 3, 15);
    AutoOutputView view = AutoOutputDisplay(model, A(), 0);
    EXPECT_EQ(view.modeText, "三角波");
    EXPECT_EQ(view.startText, " 0.000");
    EXPECT_EQ(view.endText, "10.000");
    EXPECT_EQ(view.stepText, " 2.500");
    EXPECT_EQ(view.intervalText, "   1.5");
    EXPECT_EQ(view.repeatText, "3");
    ASSERT_TRUE(view.images);
    EXPECT_EQ(view.images->start, AutoButtonImage::PlayGreen);
    EXPECT_EQ(view.images->stop, AutoButtonImage::StopGrey);
    EXPECT_TRUE(view.controlsActive);

    runner.Start(0, now);
    view = AutoOutputDisplay(model, A(), 0);
    EXPECT_EQ(view.images->start, AutoButtonImage::PlayGrey);
    EXPECT_EQ(view.images->pause, AutoButtonImage::PauseBlue);
    EXPECT_EQ(view.images->stop, AutoButtonImage::StopRed);
    EXPECT_FALSE(view.controlsActive);
    runner.Pause(0);
    view = AutoOutputDisplay(model, A(), 0);
    EXPECT_EQ(view.images->start, AutoButtonImage::PlayGreen);
    EXPECT_EQ(view.images->pause, AutoButtonImage::PauseGrey);
    EXPECT_FALSE(view.controlsActive);
    EXPECT_FALSE(AutoButtonImagesFor(3));

    // Under the conversion formula: its own slot and decimals.
    model.channels[0].useConversion = true;
    model.channels[0].convDecimals = 1;
    A().slots[kConversionSlot] = AutoOutputSlot{kAutoSawtooth, 0, 12.34, 50, 1, 10};
    view = AutoOutputDisplay(model, A(), 0);
    EXPECT_EQ(view.modeText, "のこぎり波");
    EXPECT_EQ(view.startText, "  12.3");
    EXPECT_EQ(view.repeatText, "0");

    A().slots[kConversionSlot].mode = kAutoArbitrary;
    view = AutoOutputDisplay(model, A(), 0);
    EXPECT_EQ(view.modeText, "任意波");
    EXPECT_EQ(view.startText, "---");
    EXPECT_EQ(view.intervalText, "---");
}

// The same steps through the protocol layer: what reaches the serial port.
class AutoOutputWireTest : public test::FakeLinkTest { };

TEST_F(AutoOutputWireTest, AStepWritesTheSettingsFrameOfEachChannelInUse)
{
    GeneratorModel model;
    model.channelCount = 2;
    model.channels[0].rangeCode = 0; // 0-5 V
    LinkModelAdapter adapter(*link);
    model.SetLink(&adapter);
    std::array<AutoOutputState, kMaxChannels> states{};
    states[0].slots[0] = AutoOutputSlot{kAutoSawtooth, 0, 0.0, 5.0, 2.5, 10};
    AutoOutputRunner runner(model, states);

    runner.Start(0, 0);
    EXPECT_TRUE(serial->writes.empty()); // not connected: nothing goes out
    ASSERT_TRUE(link->Connect());
    runner.Step(10);
    const std::vector<std::string> sent = Sent(*serial);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].substr(1, 4), "W100");
    EXPECT_EQ(sent[0].substr(5, 4), "8000"); // 2.5 V of 5 V
    EXPECT_EQ(sent[1].substr(1, 2), "W2");
}

} // namespace
} // namespace velmora
