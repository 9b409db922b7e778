#include "panel/PanelTick.h"

#include <QCoreApplication>

#include <system_error>

namespace velmora {

QEvent::Type PanelTickEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool ThreadTickSource::Start(QObject* target)
{
    Stop();
    {
        std::lock_guard lock(m_mutex);
        m_bStop = false;
    }
    try {
        m_thread = std::thread([this, target] { Run(target); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ThreadTickSource::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ThreadTickSource::Run(QObject* target)
{
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now() + m_period;
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The wait ends at the deadline or when Stop asks; Stop holds the
        // mutex to ask, so no tick is posted once it has returned.
        if (m_wake.wait_until(lock, next, [this] { return m_bStop; }))
            return;
        QCoreApplication::postEvent(target, new PanelTickEvent(PanelTickEvent::kTimerParam));
        next += m_period;
        const auto now = Clock::now();
        if (now - next > m_period * kMaxCatchUp)
            next = now + m_period;
    }
}

} // namespace velmora
