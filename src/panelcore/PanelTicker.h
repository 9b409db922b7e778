#pragma once
// The panel's 50 ms tick, on the injectable clock. A thread of its own does
// nothing but wait for the next deadline and call `post`, which hands the
// tick to the UI thread (a posted event in the window, a byte on a pipe in
// velmoractl); everything a tick does runs there. The deadlines advance by
// whole periods from the start, so the ticks do not drift however long
// posting takes; after a stall of more than kMaxCatchUp periods (a suspended
// machine) counting starts afresh instead of posting every missed tick.
//
// Thread contract: Start and Stop are called on the owner's thread. `post`
// runs on the ticker's thread and must only hand the tick over. Stop returns
// after the last `post` has returned. NextTick is the ticker thread's wait;
// a test calls it directly, without Start, to see the deadlines on a fake
// clock.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/Clock.h"

namespace velmora {

class PanelTicker {
public:
    static constexpr Nanos kPeriod = std::chrono::milliseconds(50);
    static constexpr int kMaxCatchUp = 20;
    using Post = std::function<void()>;

    explicit PanelTicker(Clock& clock, Nanos period = kPeriod);
    ~PanelTicker();
    PanelTicker(const PanelTicker&) = delete;
    PanelTicker& operator=(const PanelTicker&) = delete;

    // Starts the thread. False when it cannot be started.
    bool Start(Post post);
    // Stops posting; idempotent.
    void Stop();

    // Counting starts now: the first tick is due one period later.
    void Restart();
    // Waits until the next tick is due and moves the deadline on. False when
    // Stop asked the wait to end.
    bool NextTick();
    // When the next tick is due.
    Nanos NextDeadline() const { return m_next; }

private:
    Clock& m_clock;
    Nanos m_period;
    Nanos m_next{};
    WakeEvent m_stopEvent;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

} // namespace velmora
