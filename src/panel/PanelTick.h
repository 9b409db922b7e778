#pragma once
// The panel's 50 ms tick. A source thread does nothing but post one tick
// event to the panel per period; everything the tick does runs on the UI
// thread when the event is dispatched. Posted ticks are never merged: ticks
// that pile up while the UI thread is busy (a synchronous exchange, a message
// box) are all handled afterwards, each doing the full work.
//
// Thread contract: Start and Stop are called on the UI thread. The source's
// own thread touches nothing but QCoreApplication::postEvent, and Stop
// returns only after that thread has posted its last event, so the target
// may be destroyed right after Stop.

#include <QEvent>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QObject;

namespace velmora {

// The tick event; `Param()` is 10 for the ticks of the periodic source.
class PanelTickEvent : public QEvent {
public:
    static constexpr int kTimerParam = 10;

    explicit PanelTickEvent(int param = kTimerParam) : QEvent(EventType()), m_nParam(param) {}
    int Param() const { return m_nParam; }
    static QEvent::Type EventType();

private:
    int m_nParam;
};

class PanelTickSource {
public:
    virtual ~PanelTickSource() = default;
    // Starts posting ticks to `target`. False when the source cannot run.
    virtual bool Start(QObject* target) = 0;
    // Stops posting; idempotent.
    virtual void Stop() = 0;
};

// Posts a tick every period from a thread of its own. The deadlines advance
// by whole periods from the start, so the ticks do not drift however long
// posting takes.
class ThreadTickSource final : public PanelTickSource {
public:
    static constexpr std::chrono::milliseconds kPeriod{50};
    // After a stall longer than this many periods (a suspended machine) the
    // source starts counting afresh instead of posting every missed tick.
    static constexpr int kMaxCatchUp = 20;

    explicit ThreadTickSource(std::chrono::steady_clock::duration period = kPeriod) : m_period(period) {}
    ~ThreadTickSource() override { Stop(); }
    ThreadTickSource(const ThreadTickSource&) = delete;
    ThreadTickSource& operator=(const ThreadTickSource&) = delete;

    bool Start(QObject* target) override;
    void Stop() override;

private:
    void Run(QObject* target);

    std::chrono::steady_clock::duration m_period;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    std::thread m_thread;
};

// Posts nothing: the owner (a test) calls the tick handler itself.
class ManualTickSource final : public PanelTickSource {
public:
    bool Start(QObject*) override { return true; }
    void Stop() override {}
};

} // namespace velmora
