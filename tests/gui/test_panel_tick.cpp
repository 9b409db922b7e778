// The tick thread: it posts tick events at its period, none are merged, and
// none arrive after it stopped.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <chrono>

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

TEST(PanelTickSourceTest, PostsEveryPeriodAndStopsForGood)
{
    TickCounter counter;
    ThreadTickSource source(std::chrono::milliseconds(5));
    ASSERT_TRUE(source.Start(&counter));
    QElapsedTimer elapsed;
    elapsed.start();
    while (counter.ticks < 10 && elapsed.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_GE(counter.ticks, 10);
    EXPECT_EQ(counter.lastParam, PanelTickEvent::kTimerParam);
    source.Stop();
    QCoreApplication::sendPostedEvents(&counter);
    const int stopped = counter.ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QCoreApplication::sendPostedEvents(&counter);
    EXPECT_EQ(counter.ticks, stopped);
    // Restartable after a stop.
    ASSERT_TRUE(source.Start(&counter));
    source.Stop();
}

TEST(PanelTickSourceTest, TicksPostedWhileBusyAreAllHandled)
{
    TickCounter counter;
    const auto period = std::chrono::milliseconds(5);
    ThreadTickSource source(period);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(source.Start(&counter));
    // The UI thread is busy: nothing is dispatched meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    source.Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QCoreApplication::sendPostedEvents(&counter);
    // Each period that passed is an event of its own, and none comes early.
    EXPECT_GE(counter.ticks, 5);
    EXPECT_LE(counter.ticks, elapsed / period);
}

} // namespace
} // namespace velmora
