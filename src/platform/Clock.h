#pragma once
// Monotonic time for every wait and time-out in the program.
//
// Thread contract: Now() may be called from any thread. A WakeEvent is
// signalled by a producer thread (the serial reader) and waited on by exactly
// one consumer thread (the UI thread) through Clock::WaitUntil.
//
// Tests substitute FakeClock (tests/support) so that a 500 ms time-out costs
// no real time; code under test must therefore never read std::chrono clocks
// directly for anything that decides behaviour.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velmora {

using Nanos = std::chrono::nanoseconds;

// An auto-reset event: Signal() wakes the one waiter, or the next one to wait.
class WakeEvent {
public:
    void Signal();
    // Consumes a pending signal. True when one was pending.
    bool TryTake();
    // Real-time wait used by the steady clock. True when signalled.
    bool WaitUntilSteady(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bSignalled = false;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Time since an arbitrary fixed origin; never goes backwards.
    virtual Nanos Now() const = 0;
    // Blocks until `wake` is signalled or Now() reaches `deadline`.
    // True when woken by the event (the signal is consumed).
    virtual bool WaitUntil(WakeEvent& wake, Nanos deadline) = 0;
    // Plain sleep on this clock (hardware settling times).
    virtual void SleepFor(Nanos duration) = 0;
};

// The process-wide steady clock.
Clock& SteadyClock();

// Whole milliseconds elapsed between two readings, truncated, as the unit's
// protocol counts them.
inline std::int64_t ElapsedMs(Nanos from, Nanos to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// A time-out that has passed once *more than* `limitMs` whole milliseconds
// have elapsed since Start(): with limit 500, 500 ms is still in time and
// 501 ms is late.
class Deadline {
public:
    Deadline(const Clock& clock, std::int64_t limitMs) : m_clock(clock), m_limitMs(limitMs) { Restart(); }
    void Restart() { m_start = m_clock.Now(); }
    bool Expired() const { return ElapsedMs(m_start, m_clock.Now()) > m_limitMs; }
    // The first instant at which Expired() becomes true.
    Nanos At() const { return m_start + std::chrono::milliseconds(m_limitMs + 1); }
    Nanos Start() const { return m_start; }

private:
    const Clock& m_clock;
    std::int64_t m_limitMs;
    Nanos m_start{};
};

} // namespace velmora
