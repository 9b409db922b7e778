// The tick thread: it posts a tick event for every period of the clock, none
// are merged, and none arrive after it stopped.
#include <QCoreApplication>
#include <QObject>

#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "panel/PanelTick.h"

namespace velmora {
namespace {

class TickCounter : public QObject {
public:
    int ticks = 0;
    int lastParam = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != PanelTickEvent::EventType())
            return QObject::event(e);
        ++ticks;
        lastParam = static_cast<PanelTickEvent*>(e)->Param();
        return true;
    }
};

// A clock whose waits reach their deadline only as often as the test lets
// them: the ticker's thread then posts exactly that many ticks, at no real
// cost in time.
class GatedClock final : public Clock {
public:
    Nanos Now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        std::unique_lock lock(m_mutex);
        ++m_nWaits;
        m_waited.notify_all();
        for (;;) {
            if (wake.TryTake())
                return true;
            if (m_nAllowed > 0) {
                --m_nAllowed;
                m_now = std::max(m_now, deadline);
                return false;
            }
            // The stop signal comes through `wake`, which this wait cannot
            // sleep on while it also waits for the test: look again shortly.
            m_allowed.wait_for(lock, std::chrono::milliseconds(1));
        }
    }
    void SleepFor(Nanos) override { }

    void Allow(int deadlines)
    {
        std::lock_guard lock(m_mutex);
        m_nAllowed += deadlines;
        m_allowed.notify_all();
    }
    // Blocks until the ticker has posted `ticks` ticks since the last
    // call: it posts each one before it waits for the next deadline.
    void AwaitPosted(int ticks)
    {
        std::unique_lock lock(m_mutex);
        m_waited.wait(lock, [&] { return m_nWaits >= ticks + 1; });
        m_nWaits = 0;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_allowed;
    std::condition_variable m_waited;
    Nanos m_now{};
    int m_nAllowed = 0;
    int m_nWaits = 0;
};

TEST(PanelTickSourceTest, PostsOneTickPerPeriodAndNoneAfterItStopped)
{
    GatedClock clock;
    TickCounter counter;
    ThreadTickSource source(clock);
    ASSERT_TRUE(source.Start(&counter));
    clock.Allow(10);
    clock.AwaitPosted(10);
    // The UI thread was busy meanwhile: every tick is still an event of its
    // own, none merged.
    source.Stop();
    QCoreApplication::sendPostedEvents(&counter);
    EXPECT_EQ(counter.ticks, 10);
    EXPECT_EQ(counter.lastParam, PanelTickEvent::kTimerParam);
    EXPECT_EQ(clock.Now(), Nanos(std::chrono::milliseconds(500)));

    // Restartable after a stop, counting from the restart.
    ASSERT_TRUE(source.Start(&counter));
    clock.Allow(3);
    clock.AwaitPosted(3);
    source.Stop();
    QCoreApplication::sendPostedEvents(&counter);
    EXPECT_EQ(counter.ticks, 13);
}

} // namespace
} // namespace velmora
