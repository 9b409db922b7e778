// The panel session without a window, over the in-process simulated unit on
// a fake clock: the connect sequence, the tick's work in its order, the two
// pauses, the lost unit, and the automatic outputs stepping on the ticks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"

namespace velmora::test {
namespace {

// What the session told its front end.
struct Recorder final : PanelSessionObserver {
    int layouts = 0;
    int refreshes = 0;
    int holdScans = 0;
    std::vector<bool> shown;
    std::vector<AutoStepEvent> steps;

    void ChannelCountChanged() override { ++layouts; }
    void ConnectionShown(bool connected) override { shown.push_back(connected); }
    void RefreshDue() override { ++refreshes; }
    void HoldScanDue() override { ++holdScans; }
    void AutoOutputStepped(const AutoStepEvent& e) override { steps.push_back(e); }
};

class PanelSessionTest : public ::testing::Test {
protected:
    explicit PanelSessionTest(int unitChannels = 2)
    {
        unit.SetChannelCount(unitChannels);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        channel = serial.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        doc.SetChannelCount(2);
        session = PanelSession::Create(doc, *link, prompter);
        session->SetObserver(&seen);
    }

    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            session->OnTick();
        }
    }
    // The frames written from `from` on, by their first two bytes ("\x02W",
    // "\x02R").
    std::vector<std::string> Frames(std::size_t from) const
    {
        std::vector<std::string> out;
        for (std::size_t i = from; i < channel->Writes().size(); ++i)
            out.push_back(channel->Writes()[i].bytes.substr(0, 3));
        return out;
    }
    std::size_t Written() const { return channel->Writes().size(); }
    bool LastMessageIs(const std::string& text) const
    {
        return !prompter.shown.empty() && prompter.shown.back().text == text;
    }
    AutoOutputState& Auto(int c) { return doc.m_autoOutput[static_cast<std::size_t>(c)]; }
    // Channel c on 0-10 V with a sawtooth 0 to 10 by `step` every `tenths`.
    void Sawtooth(int c, double step, std::int32_t tenths, std::int32_t repeat = 0)
    {
        doc.m_model.SetRange(c, 1);
        Auto(c).slots[1] = AutoOutputSlot{kAutoSawtooth, repeat, 0.0, 10.0, step, tenths};
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    sim::SimChannel* channel = nullptr;
    std::unique_ptr<GeneratorLink> link;
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    Recorder seen;
    std::shared_ptr<PanelSession> session;
};

TEST_F(PanelSessionTest, ConnectIdentifiesTheUnitSendsEveryChannelAndPolls)
{
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(doc.m_strLastPort, "ttyUSB0");
    EXPECT_EQ(seen.shown, std::vector<bool>{true});
    const std::vector<std::string> frames = Frames(0);
    // VER, CH, then one settings frame per channel in use.
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], "\x02W1");
    EXPECT_EQ(frames[3], "\x02W2");
    EXPECT_TRUE(session->Poller().m_bPolling);

    // Each tick: at most one reply, one request to the next channel in turn,
    // a refresh every fifth tick, the hold scan every tick.
    const std::size_t before = Written();
    Tick(10);
    EXPECT_EQ(Frames(before),
              (std::vector<std::string>{"\x02R1", "\x02R2", "\x02R1", "\x02R2", "\x02R1", "\x02R2", "\x02R1", "\x02R2",
                                        "\x02R1", "\x02R2"}));
    EXPECT_EQ(seen.refreshes, 2);
    EXPECT_EQ(seen.holdScans, 10);
    EXPECT_EQ(session->Poller().m_nNoReplyCount, 1);
}

TEST_F(PanelSessionTest, ConnectRefusalsAndTheChannelCountSwitch)
{
    EXPECT_EQ(session->Connect(""), PanelSession::ConnectOutcome::NothingSelected);
    EXPECT_TRUE(LastMessageIs("選択されていません。"));

    unit.Faults().silent = true;
    EXPECT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Failed);
    EXPECT_TRUE(LastMessageIs("接続できません。"));
    EXPECT_FALSE(session->IsConnected());

    unit.Faults().silent = false;
    ASSERT_TRUE(unit.SetChannelCount(4));
    EXPECT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    EXPECT_TRUE(LastMessageIs("表示回路数を切替ます。"));
    EXPECT_EQ(doc.m_model.channelCount, 4);
    EXPECT_EQ(doc.m_nFrameWidth, kFrameWidthFour);
    EXPECT_EQ(seen.layouts, 1);
}

TEST_F(PanelSessionTest, PausesPutBackWhatTheyFound)
{
    // Disconnected, polling is off, and a pause leaves it off.
    {
        const ScopedFlag paused = session->PausePolling();
        EXPECT_FALSE(session->Poller().m_bPolling);
    }
    EXPECT_FALSE(session->Poller().m_bPolling);

    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    {
        const ScopedFlag outer = session->PausePolling();
        {
            const ScopedFlag inner = session->PausePolling();
        }
        // The inner pause ended inside the outer one: still paused.
        EXPECT_FALSE(session->Poller().m_bPolling);
        const std::size_t before = Written();
        Tick(3);
        EXPECT_TRUE(Frames(before).empty()); // no request while paused
    }
    EXPECT_TRUE(session->Poller().m_bPolling);

    // With the tick work handed over, a tick does nothing at all.
    {
        const ScopedFlag handedOver = session->PauseTimerWork();
        const std::size_t before = Written();
        const int scans = seen.holdScans;
        Tick(5);
        EXPECT_TRUE(Frames(before).empty());
        EXPECT_EQ(seen.holdScans, scans);
    }
    EXPECT_TRUE(session->TimerWork());
}

TEST_F(PanelSessionTest, ASilentUnitIsGivenUpWithEveryOutputOff)
{
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    doc.m_model.SwitchOutputOn(0);
    Tick(2);
    unit.Faults().silent = true;
    Tick(100);
    EXPECT_FALSE(session->IsConnected());
    EXPECT_TRUE(LastMessageIs("接続が解除されました。"));
    EXPECT_FALSE(doc.m_model.IsOutputOn(0));
    EXPECT_FALSE(session->Poller().m_bPolling);
    EXPECT_EQ(seen.shown.back(), false);
}

TEST_F(PanelSessionTest, AWatchingSessionWritesNothingWhenTheUnitIsLost)
{
    ASSERT_TRUE(link->Connect());
    session->WatchOpenPort();
    unit.Faults().silent = true;
    Tick(100);
    EXPECT_FALSE(session->IsConnected());
    for (const std::string& f : Frames(0))
        EXPECT_EQ(f.substr(0, 2), "\x02R") << "a watcher sent " << f;
}

TEST_F(PanelSessionTest, AutomaticOutputsStepOnTheTicksBeforeThePoll)
{
    // Not connected: only the message, no state changes.
    Sawtooth(0, 1.0, 2); // every 0.2 s
    EXPECT_TRUE(session->StartAutoOutput(0).settingsEnabled);
    EXPECT_TRUE(LastMessageIs("接続されていません"));
    EXPECT_TRUE(session->IsAutoOutputStopped(0));

    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    const AutoControlResult started = session->StartAutoOutput(0);
    EXPECT_FALSE(started.settingsEnabled);
    ASSERT_TRUE(started.output.has_value());
    EXPECT_FALSE(session->IsAutoOutputStopped(0));

    // 0.2 s: one step, on the fourth tick. The start's own frames, queued
    // right behind the connect's, have left by then.
    Tick(3);
    EXPECT_TRUE(seen.steps.empty());
    const std::size_t before = Written();
    Tick(1);
    ASSERT_EQ(seen.steps.size(), 1u);
    EXPECT_EQ(seen.steps[0].output->value, 1.0);
    // The step's settings frames (both channels) go out before that tick's
    // status request.
    EXPECT_EQ(Frames(before), (std::vector<std::string>{"\x02W1", "\x02W2", "\x02R2"}));
    EXPECT_EQ(unit.Channel(0).words.dacCode, doc.m_model.channels[0].dacCode);
}

TEST_F(PanelSessionTest, TheFirstIntervalIsWholeWhereverInATenthTheStartFalls)
{
    Sawtooth(0, 1.0, 1); // every 0.1 s
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    // The start falls 80 ms into a tenth of the clock.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now()).count();
    clock.AdvanceMs((180 - ms % 100) % 100);
    session->StartAutoOutput(0);
    Tick(1); // 50 ms later: the tenth has turned, but the interval is not over
    EXPECT_TRUE(seen.steps.empty());
    Tick(1);
    EXPECT_EQ(seen.steps.size(), 1u);
    Tick(2);
    EXPECT_EQ(seen.steps.size(), 2u);
}

TEST_F(PanelSessionTest, RunStatesSurviveADisconnectAndJumpToTheStepDueNow)
{
    Sawtooth(0, 0.5, 10); // every second
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    session->StartAutoOutput(0);
    session->Disconnect();
    EXPECT_FALSE(session->IsAutoOutputStopped(0));
    // Ten seconds without the unit: nothing steps.
    Tick(200);
    EXPECT_TRUE(seen.steps.empty());
    EXPECT_EQ(doc.m_model.channels[0].setValue, 0.0);

    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    // The first tick puts out the step due now, the missed ones counted but
    // not replayed; then the normal cadence again.
    Tick(1);
    ASSERT_EQ(seen.steps.size(), 1u);
    ASSERT_TRUE(seen.steps[0].output);
    EXPECT_GE(seen.steps[0].output->skipped, 9);
    EXPECT_EQ(doc.m_model.channels[0].setValue, seen.steps[0].output->value);
    Tick(20);
    EXPECT_EQ(seen.steps.size(), 2u);
    Tick(20);
    EXPECT_EQ(seen.steps.size(), 3u);

    // Paused and stopped while connected; the value stays where it is.
    const double value = doc.m_model.channels[0].setValue;
    session->PauseAutoOutput(0);
    Tick(40);
    EXPECT_EQ(seen.steps.size(), 3u);
    session->StopAutoOutput(0);
    EXPECT_TRUE(session->IsAutoOutputStopped(0));
    EXPECT_EQ(doc.m_model.channels[0].setValue, value);
}

TEST_F(PanelSessionTest, ARepeatCountEndsTheRunAndSaysSo)
{
    Sawtooth(1, 5.0, 1, 1); // 0, 5, 10, 0: one cycle every 0.3 s
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    session->StartAutoOutput(1);
    Tick(8);
    ASSERT_EQ(seen.steps.size(), 3u);
    EXPECT_TRUE(seen.steps.back().stopped);
    EXPECT_EQ(seen.steps.back().output->value, 0.0);
    EXPECT_TRUE(session->IsAutoOutputStopped(1));
}

} // namespace
} // namespace velmora::test
