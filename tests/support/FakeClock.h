#pragma once
// A clock that moves only when told to, or when code under test waits on it.
// A wait with nothing pending jumps straight to its deadline, so a 500 ms
// time-out costs no real time. Before jumping, the wait hook runs: a fake
// peer uses it to deliver input that is due before the deadline.

#include <functional>
#include <optional>

#include "platform/Clock.h"

namespace velmora::test {

class FakeClock final : public Clock {
public:
    // Called by WaitUntil with the deadline; returns the time at which input
    // became available (it must signal the event), or nothing.
    using WaitHook = std::function<std::optional<Nanos>(Nanos deadline)>;

    Nanos Now() const override { return m_now; }
    void Advance(Nanos d) { m_now += d; }
    void AdvanceMs(long long ms) { m_now += std::chrono::milliseconds(ms); }
    void SetWaitHook(WaitHook hook) { m_hook = std::move(hook); }

    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        ++m_waits;
        if (wake.TryTake())
            return true;
        if (m_hook) {
            if (auto when = m_hook(deadline)) {
                if (*when > m_now)
                    m_now = *when;
                wake.TryTake();
                return true;
            }
        }
        if (deadline > m_now)
            m_now = deadline;
        return false;
    }
    void SleepFor(Nanos duration) override { m_now += duration; }

    int Waits() const { return m_waits; }

private:
    Nanos m_now{std::chrono::seconds(1000)};
    WaitHook m_hook;
    int m_waits = 0;
};

} // namespace velmora::test
