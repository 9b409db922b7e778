#pragma once
// A clock for tests against a real peer (velmora-sim on a pseudo-terminal):
// input that arrives is waited for in real time, but a wait that sees nothing
// within a short grace period jumps to its deadline, so a 500 ms time-out
// costs only the grace period.

#include <chrono>

#include "platform/Clock.h"

namespace velmora::test {

class GraceClock final : public Clock {
public:
    explicit GraceClock(std::chrono::milliseconds grace = std::chrono::milliseconds(50)) : m_grace(grace)
    {
        m_offset = Nanos(0);
    }

    Nanos Now() const override { return SteadyClock().Now() + m_offset; }

    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        const Nanos start = Now();
        if (deadline <= start)
            return wake.TryTake();
        const Nanos realLimit = std::min<Nanos>(deadline - start, m_grace);
        const auto tp = std::chrono::steady_clock::now() +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(realLimit);
        if (wake.WaitUntilSteady(tp))
            return true;
        // Nothing came: pretend the whole wait went by.
        const Nanos now = Now();
        if (deadline > now)
            m_offset += deadline - now;
        ++m_jumps;
        return false;
    }

    void SleepFor(Nanos duration) override { m_offset += duration; }

    int Jumps() const { return m_jumps; }

private:
    Nanos m_grace;
    Nanos m_offset{};
    int m_jumps = 0;
};

} // namespace velmora::test
