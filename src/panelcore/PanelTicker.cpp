#include "panelcore/PanelTicker.h"

#include <system_error>

namespace velmora {

PanelTicker::PanelTicker(Clock& clock, Nanos period) : m_clock(clock), m_period(period)
{
    Restart();
}

PanelTicker::~PanelTicker()
{
    Stop();
}

bool PanelTicker::Start(Post post)
{
    Stop();
    m_bStop.store(false, std::memory_order_release);
    // A stop signalled after the last wait must not end the next one at once.
    m_stopEvent.TryTake();
    Restart();
    try {
        m_thread = std::thread([this, post = std::move(post)] {
            while (NextTick())
                post();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PanelTicker::Stop()
{
    m_bStop.store(true, std::memory_order_release);
    m_stopEvent.Signal();
    if (m_thread.joinable())
        m_thread.join();
}

void PanelTicker::Restart()
{
    m_next = m_clock.Now() + m_period;
}

bool PanelTicker::NextTick()
{
    while (!m_bStop.load(std::memory_order_acquire) && m_clock.Now() < m_next)
        m_clock.WaitUntil(m_stopEvent, m_next);
    if (m_bStop.load(std::memory_order_acquire))
        return false;
    m_next += m_period;
    const Nanos now = m_clock.Now();
    if (now - m_next > m_period * kMaxCatchUp)
        m_next = now + m_period;
    return true;
}

} // namespace velmora
