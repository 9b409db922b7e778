// The application over an in-process simulated unit: --connect presses
// 接続 once the window is up, and the program's end leaves no output on.
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "app/CMainFrame.h"
#include "app/CRemoteControl.h"
#include "app/CVelmoraApp.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"
#include "panel/PanelWidgets.h"
#include "panelcore/PanelLayout.h"

#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <functional>
#include <chrono>

namespace velmora {
namespace {

constexpr std::uint16_t kOutputOnBit = 0x1000;

// The tick thread's clock: a deadline passes every 0.2 ms of real time, so
// the thread posts ticks far faster than the window takes them.
class HurriedClock final : public Clock {
public:
    Nanos Now() const override { return Nanos(m_now.load()); }
    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        if (wake.WaitUntilSteady(std::chrono::steady_clock::now() + std::chrono::microseconds(200)))
            return true;
        std::int64_t now = m_now.load();
        while (now < deadline.count() && !m_now.compare_exchange_weak(now, deadline.count())) { }
        return false;
    }
    void SleepFor(Nanos) override { }

private:
    std::atomic<std::int64_t> m_now{0};
};

class AppConnect : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("config"));
        // The window's local socket in a folder of this test's own (0700,
        // as QTemporaryDir makes it): tests running side by side connect
        // to the same simulated port name.
        m_runtime.reset(new QTemporaryDir);
        setenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

    std::unique_ptr<CVelmoraApp> MakeApp(int unitChannels)
    {
        unit.SetChannelCount(unitChannels);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        m_pChannel = serial.get();
        auto link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        const std::string wd = m_dir.path().toStdString();
        auto app = std::make_unique<CVelmoraApp>(
            prompter, clock, [wd] { return std::optional<std::string>(wd); }, std::move(link));
        // The fake clock is this thread's: the test drives the ticks.
        app->SetTickSourceFactory([] { return std::make_unique<ManualTickSource>(); });
        return app;
    }

    // The simulated unit's port named, and connected once the window is up.
    static AppOptions ConnectOptions()
    {
        AppOptions options;
        options.ports = {"/dev/velmora-test-unit"};
        options.connect = true;
        return options;
    }

    // Until the connect queued at start-up has run.
    static void RunQueued()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    // Periodic ticks, each 50 ms after the last.
    void Tick(CVelmoraApp& app, int count)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            app.View()->OnPanelTick(PanelTickEvent::kTimerParam);
        }
    }

    // Settings frames the unit received from write `from` on.
    int SettingsFramesFrom(std::size_t from) const
    {
        int n = 0;
        const auto& writes = m_pChannel->Writes();
        for (std::size_t i = from; i < writes.size(); ++i)
            n += writes[i].bytes.rfind("\x02W", 0) == 0 ? 1 : 0;
        return n;
    }
    std::size_t WriteCount() const { return m_pChannel->Writes().size(); }

    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_runtime;
    sim::SimChannel* m_pChannel = nullptr; // owned by the app's link
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    sim::SimUnit unit;
};

TEST_F(AppConnect, ConnectOptionConnectsAndTheEndSwitchesOutputsOff)
{
    prompter.circuitAnswers = {2};
    auto app = MakeApp(2);
    ASSERT_TRUE(app->InitInstance(ConnectOptions()));
    // Not before the window is up and the event loop runs.
    EXPECT_FALSE(app->View()->IsConnected());
    RunQueued();
    ASSERT_TRUE(app->View()->IsConnected());
    EXPECT_EQ(app->Document()->m_strLastPort, "/dev/velmora-test-unit");
    app->MainFrame()->UpdateCommandStates();
    EXPECT_TRUE(app->MainFrame()->AdjustAction()->isEnabled());

    app->View()->ToggleOutput(1);
    Tick(*app, 2); // the line's time: the connect's frames went first
    ASSERT_NE(unit.Channel(1).words.controlWord & kOutputOnBit, 0);

    app.reset();
    EXPECT_EQ(unit.Channel(0).words.controlWord & kOutputOnBit, 0);
    EXPECT_EQ(unit.Channel(1).words.controlWord & kOutputOnBit, 0);
}

TEST_F(AppConnect, FourChannelUnitWidensTheFrameToReachEveryColumn)
{
    prompter.circuitAnswers = {2};
    auto app = MakeApp(4);
    ASSERT_TRUE(app->InitInstance(ConnectOptions()));
    RunQueued();
    ASSERT_TRUE(app->View()->IsConnected());
    EXPECT_EQ(app->Document()->m_model.channelCount, 4);
    EXPECT_EQ(app->MainFrame()->size(), app->MainFrame()->FixedSize(CMainFrame::kWidthFourChannels));
    // The last column's rightmost control lies inside the window.
    const QWidget* panel = app->MainFrame()->centralWidget();
    int right = 0;
    for (const QWidget* child : panel->findChildren<QWidget*>()) {
        if (child->isVisibleTo(panel))
            right = std::max(right, child->geometry().right());
    }
    EXPECT_GT(right, 700);
    EXPECT_LT(right, panel->width());
}

// A running automatic output does not survive a new or opened document, by
// any of the ways one comes: the new settings would otherwise be stepped
// from the old run's due time at the next connect, a burst of steps of a
// ramp nobody started.
TEST_F(AppConnect, EveryNewOrOpenedDocumentStopsTheAutomaticOutputs)
{
    // A document whose every slot is a sawtooth at 0.1 s, so that any run
    // carried into it would show at once.
    const QString file = m_dir.filePath("ramp.ini");
    {
        test::ScriptedPrompter quiet;
        CVelmoraDoc doc(quiet, CVelmoraDoc::NoStateFile{});
        doc.SetChannelCount(1);
        for (AutoOutputSlot& slot : doc.m_autoOutput[0].slots)
            slot.interval = 1;
        ASSERT_TRUE(static_cast<bool>(doc.SaveDocument(file.toStdString())));
    }
    prompter.circuitAnswers = {1};
    auto app = MakeApp(1);
    ASSERT_TRUE(app->InitInstance(ConnectOptions()));
    RunQueued();
    ASSERT_TRUE(app->OpenDocumentFile(file)); // now on the recent list

    const auto button = [&](int offset) {
        return qobject_cast<QPushButton*>(app->View()->Control(ChannelBase(0) + offset));
    };
    const QImage playGreen = MakePanelImage(PanelImage::StartAvailable).toImage();
    const QImage stopGrey = MakePanelImage(PanelImage::StopUnavailable).toImage();
    const auto icon = [&](int offset) { return button(offset)->icon().pixmap(14, 14).toImage(); };

    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"File > Open",
         [&] {
             prompter.files = {file.toStdString()};
             app->OnFileOpen();
         }},
        {"a drop",
         [&] {
             QMimeData mime;
             mime.setUrls({QUrl::fromLocalFile(file)});
             QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(app->MainFrame(), &enter);
             QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(app->MainFrame(), &drop);
             RunQueued();
         }},
        {"a recent file", [&] { app->OnOpenRecentFile(0); }},
        {"File > New",
         [&] {
             prompter.circuitAnswers = {1};
             app->OnFileNew();
         }},
    };
    for (const auto& [name, open] : ways) {
        SCOPED_TRACE(name);
        if (!app->View()->IsConnected())
            app->View()->ConnectUnit();
        ASSERT_TRUE(app->View()->IsConnected());
        AutoOutputState& run = app->Document()->m_autoOutput[0];
        app->Document()
            ->m_autoOutput[0]
            .slots[static_cast<std::size_t>(app->Document()->m_model.ActiveSlot(0))]
            .interval = 1;
        button(kAutoStartOffset)->click();
        const double started = app->Document()->m_model.channels[0].setValue;
        Tick(*app, 7);
        ASSERT_EQ(run.runState, kAutoRunning);
        ASSERT_NE(app->Document()->m_model.channels[0].setValue, started);

        open();
        for (const AutoOutputState& a : app->Document()->m_autoOutput) {
            EXPECT_EQ(a.runState, kAutoStopped);
            EXPECT_EQ(a.cycleCount, 0);
            EXPECT_EQ(a.pointIndex, 0);
            EXPECT_FALSE(a.falling);
        }
        EXPECT_FALSE(app->View()->IsConnected());
        EXPECT_TRUE(button(kAutoSettingsOffset)->isEnabled());
        EXPECT_EQ(icon(kAutoStartOffset), playGreen);
        EXPECT_EQ(icon(kAutoStopOffset), stopGrey);

        // Connected again, the unit gets the connect's settings (one channel)
        // and then no step at all.
        const std::size_t from = WriteCount();
        app->View()->ConnectUnit();
        ASSERT_TRUE(app->View()->IsConnected());
        Tick(*app, 40);
        EXPECT_EQ(SettingsFramesFrom(from), 1);
    }
}

// The unit away for ten minutes (here a blocked event loop: no tick) while a
// sawtooth runs at 0.1 s: on the first tick after, the output goes straight
// to the step due now and the unit receives one settings frame, not six
// thousand steps at the tick rate.
TEST_F(AppConnect, AfterAnOutageTheAutomaticOutputJumpsToTheStepDueNow)
{
    prompter.circuitAnswers = {1};
    auto app = MakeApp(1);
    ASSERT_TRUE(app->InitInstance(ConnectOptions()));
    RunQueued();
    ASSERT_TRUE(app->View()->IsConnected());
    CVelmoraDoc& doc = *app->Document();
    doc.m_model.SetRange(0, 1); // 0-10 V
    doc.m_autoOutput[0].slots[1] = AutoOutputSlot{kAutoSawtooth, 0, 0.0, 10.0, 1.0, 1};
    app->View()->StartAutoOutput(0);
    Tick(*app, 4); // 0.2 s: two steps
    EXPECT_EQ(doc.m_model.channels[0].setValue, 2.0);

    clock.AdvanceMs(10 * 60 * 1000);
    const std::size_t from = WriteCount();
    Tick(*app, 1);
    EXPECT_EQ(SettingsFramesFrom(from), 1);
    // 6,000 more steps of 1 V on an 11-step cycle (0 to 10 V and back).
    const int steps = 2 + (10 * 60 * 1000 + 50) / 100;
    EXPECT_EQ(doc.m_model.channels[0].setValue, steps % 11);
    EXPECT_EQ(doc.m_autoOutput[0].cycleCount, steps / 11);
    EXPECT_EQ(unit.Channel(0).words.dacCode, doc.m_model.channels[0].dacCode);

    // Then the cadence goes on: one step per 0.1 s.
    const std::size_t after = WriteCount();
    Tick(*app, 10);
    EXPECT_EQ(SettingsFramesFrom(after), 5);
}

// The window closes while its tick thread is posting: the thread is stopped
// before anything it posts to goes, and the ticks still queued reach nothing
// that went (the sanitizers watch the hand-over).
TEST_F(AppConnect, TheWindowClosesWhileTheTickThreadPosts)
{
    HurriedClock tickClock;
    int polls = 0;
    unit.SetObserver([&](bool sent, std::string_view) { polls += sent ? 0 : 1; });
    for (int round = 0; round < 3; ++round) {
        prompter.circuitAnswers = {2};
        auto app = MakeApp(2);
        app->SetTickSourceFactory([&] { return std::make_unique<ThreadTickSource>(tickClock); });
        ASSERT_TRUE(app->InitInstance(ConnectOptions()));
        RunQueued();
        ASSERT_TRUE(app->View()->IsConnected());
        app->View()->ToggleOutput(0);
        const int before = polls;
        // The line empties on the link's clock, which the tick thread's
        // clock does not move: each round of events is a tick's time on it.
        for (int i = 0; i < 5000 && polls - before < 30; ++i) {
            clock.AdvanceMs(50);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        EXPECT_GE(polls - before, 30) << "the ticks reached the panel";

        app.reset();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(unit.Channel(0).words.controlWord & kOutputOnBit, 0) << round;
    }
}

TEST_F(AppConnect, WhatARemoteClientChangesShowsInTheWindowAndItsLockHoldsThePanel)
{
    prompter.circuitAnswers = {2};
    auto app = MakeApp(2);
    ASSERT_TRUE(app->InitInstance(ConnectOptions()));
    RunQueued();
    ASSERT_TRUE(app->View()->IsConnected());
    CRemoteControl* remote = app->RemoteControl();
    ASSERT_NE(remote, nullptr);
    // The program that holds the port answers for it on its local socket.
    EXPECT_FALSE(remote->LocalSocket().empty());

    remote::ScpiInstrument& instrument = remote->Instrument();
    instrument.ClientCame(7, "bench");
    std::string response;
    instrument.Execute(7, "SOUR2:RANG 1;VOLT 7.5;:OUTP2 ON;:SYST:ERR?", response);
    EXPECT_EQ(response, "0,\"No error\"\n");

    // Within one refresh the window shows the range, the value and the switch.
    Tick(*app, PanelSession::kRefreshEvery);
    RunQueued();
    CVelmoraView& view = *app->View();
    const auto* range = qobject_cast<QPushButton*>(view.Control(ChannelBase(1) + kRangeButtonOffset));
    const auto* value = qobject_cast<CValueField*>(view.Control(ChannelBase(1) + kValueFieldOffset));
    const auto* onOff = qobject_cast<QPushButton*>(view.Control(ChannelBase(1) + kOnOffOffset));
    ASSERT_TRUE(range && value && onOff);
    EXPECT_EQ(range->text(), QStringLiteral("0～10 V"));
    EXPECT_EQ(value->Text(), "  7.500"); // "%6.3f"
    EXPECT_EQ(onOff->text(), QStringLiteral("ＯＮ"));

    // Under the lock the panel's output controls are disabled and say why;
    // the corner of the menu bar says it too. The client going gives them back.
    instrument.Execute(7, "SYST:RWL", response);
    EXPECT_FALSE(onOff->isEnabled());
    EXPECT_FALSE(value->isEnabled());
    EXPECT_FALSE(onOff->toolTip().isEmpty());
    const auto* corner = app->MainFrame()->menuBar()->findChild<QLabel*>(QStringLiteral("remoteState"));
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->text(), QStringLiteral("リモート操作中"));
    instrument.ClientWent(7);
    EXPECT_TRUE(onOff->isEnabled());
    EXPECT_TRUE(value->isEnabled());
    EXPECT_TRUE(corner->text().isEmpty());
}

} // namespace
} // namespace velmora
