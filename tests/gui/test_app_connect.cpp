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
#include "app/CVelmoraApp.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"

#include <atomic>
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
        while (now < deadline.count() && !m_now.compare_exchange_weak(now, deadline.count())) {
        }
        return false;
    }
    void SleepFor(Nanos) override {}

private:
    std::atomic<std::int64_t> m_now{0};
};

class AppConnect : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("config"));
    }

    std::unique_ptr<CVelmoraApp> MakeApp(int unitChannels)
    {
        unit.SetChannelCount(unitChannels);
        auto link = std::make_unique<GeneratorLink>(clock, prompter, std::make_unique<sim::SimChannel>(unit, clock),
                                                    nullptr);
        const std::string wd = m_dir.path().toStdString();
        auto app = std::make_unique<CVelmoraApp>(prompter, clock, [wd] { return std::optional<std::string>(wd); },
                                                 std::move(link));
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

    QTemporaryDir m_dir;
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
        for (int i = 0; i < 5000 && polls - before < 30; ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EXPECT_GE(polls - before, 30) << "the ticks reached the panel";

        app.reset();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(unit.Channel(0).words.controlWord & kOutputOnBit, 0) << round;
    }
}

} // namespace
} // namespace velmora
