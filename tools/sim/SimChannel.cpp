#include "SimChannel.h"

namespace velmora::sim {

bool SimChannel::Open()
{
    if (m_bOpen)
        return true;
    ++m_nOpens;
    if (!m_bOpenable)
        return false;
    // Whatever the unit sent while the port was closed never reached it.
    DeliverDue(m_clock.Now());
    m_bOpen = true;
    return true;
}

void SimChannel::Close()
{
    if (!m_bOpen)
        return;
    DeliverDue(m_clock.Now());
    m_bOpen = false;
}

void SimChannel::Write(std::span<const std::uint8_t> bytes)
{
    if (!m_bOpen)
        return;
    const Nanos now = m_clock.Now();
    DeliverDue(now);
    m_writes.push_back({now, std::string(bytes.begin(), bytes.end())});
    m_unit.Receive(now, bytes);
}

LineResult SimChannel::ReadLine(LineBuffer& line)
{
    DeliverDue(m_clock.Now());
    return AssembleSerialLine(m_ring, line);
}

bool SimChannel::WaitForInput(Clock& clock, Nanos deadline)
{
    DeliverDue(clock.Now());
    if (!m_ring.Empty() || m_ring.HasErrors())
        return true;
    const Nanos now = clock.Now();
    if (m_bOpen) {
        if (const auto due = m_unit.NextDue(); due && *due <= deadline) {
            if (*due > now)
                clock.SleepFor(*due - now);
            DeliverDue(clock.Now());
            return true;
        }
    }
    if (deadline > now)
        clock.SleepFor(deadline - now);
    return false;
}

void SimChannel::DeliverDue(Nanos now)
{
    const std::string bytes = m_unit.TakeDue(now);
    if (!m_bOpen)
        return;
    // A full ring drops bytes, as the serial reader does.
    for (char c : bytes)
        m_ring.Push(static_cast<std::uint8_t>(c));
}

} // namespace velmora::sim
