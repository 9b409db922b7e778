#include "platform/Clock.h"

#include <thread>

namespace velmora {

void WakeEvent::Signal()
{
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_cv.notify_one();
}

bool WakeEvent::TryTake()
{
    std::lock_guard lock(m_mutex);
    bool was = m_bSignalled;
    m_bSignalled = false;
    return was;
}

bool WakeEvent::WaitUntilSteady(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_until(lock, deadline, [this] { return m_bSignalled; }))
        return false;
    m_bSignalled = false;
    return true;
}

namespace {

class SteadyClockImpl final : public Clock {
public:
    Nanos Now() const override
    {
        return std::chrono::duration_cast<Nanos>(std::chrono::steady_clock::now().time_since_epoch());
    }
    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        auto tp = std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline));
        return wake.WaitUntilSteady(tp);
    }
    void SleepFor(Nanos duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

Clock& SteadyClock()
{
    static SteadyClockImpl clock;
    return clock;
}

} // namespace velmora
