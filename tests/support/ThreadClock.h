#pragma once
// A clock for code that waits on a thread of its own (the record's writer):
// it moves only when the test says, and a wait on it ends when the test has
// moved it past the wait's deadline or the wait's event is signalled. The
// test can wait, in real time and with a bound, for the other thread to be
// waiting on it, then move time on to that wait's deadline.
//
// Thread contract: Now and WaitUntil from any thread; AdvanceTo and
// AwaitWaiter from the test's thread.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/Clock.h"

namespace velmora::test {

class ThreadClock final : public Clock {
public:
    Nanos Now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void AdvanceTo(Nanos t)
    {
        std::lock_guard lock(m_mutex);
        if (t > m_now)
            m_now = t;
    }
    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_waiter = deadline;
        }
        m_changed.notify_all();
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_now >= deadline) {
                    m_waiter.reset();
                    return false;
                }
            }
            // The time moves only at the test's word: look again shortly.
            if (wake.WaitUntilSteady(std::chrono::steady_clock::now() + std::chrono::milliseconds(2))) {
                std::lock_guard lock(m_mutex);
                m_waiter.reset();
                return true;
            }
        }
    }
    void SleepFor(Nanos duration) override
    {
        std::lock_guard lock(m_mutex);
        m_now += duration;
    }
    // The deadline of the wait another thread is in, once it is in one
    // (within `limit` of real time).
    std::optional<Nanos> AwaitWaiter(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [this] { return m_waiter.has_value(); });
        return m_waiter;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Nanos m_now{std::chrono::seconds(1000)};
    std::optional<Nanos> m_waiter;
};

} // namespace velmora::test
