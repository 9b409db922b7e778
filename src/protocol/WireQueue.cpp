#include "protocol/WireQueue.h"

#include <algorithm>
#include <utility>

namespace velmora {

WireQueue::WireQueue(const Clock& clock, Writer writer) : m_clock(clock), m_writer(std::move(writer))
{
}

Nanos WireQueue::TransmitTime(std::size_t bytes)
{
    // Rounded up, so that the estimate never runs ahead of the line.
    const std::int64_t bits = static_cast<std::int64_t>(bytes) * kBitsPerByte;
    return Nanos((bits * 1'000'000'000LL + kLineBitsPerSecond - 1) / kLineBitsPerSecond);
}

void WireQueue::QueueSettings(int ch, std::string frame)
{
    if (ch < 0 || ch >= kMaxChannels)
        return;
    Queue(ch, std::move(frame));
}

void WireQueue::QueueStatusRequest(std::string frame)
{
    Queue(kStatusSlot, std::move(frame));
}

void WireQueue::Queue(int id, std::string frame)
{
    ++m_counters.framesQueued;
    const auto it = std::find_if(m_slots.begin(), m_slots.end(), [id](const Slot& s) { return s.id == id; });
    if (it != m_slots.end()) {
        it->frame = std::move(frame);
        ++m_counters.framesReplaced;
    } else {
        m_slots.push_back({id, std::move(frame)});
    }
    Pump();
}

void WireQueue::Pump()
{
    while (!m_slots.empty() && Backlog() < kBacklogLimit)
        WriteFront();
}

void WireQueue::Flush()
{
    while (!m_slots.empty())
        WriteFront();
}

void WireQueue::WriteFront()
{
    // Off the queue before the write: a writer that comes back here finds
    // the frame gone rather than sending it twice.
    const std::string frame = std::move(m_slots.front().frame);
    const int id = m_slots.front().id;
    const bool settings = id != kStatusSlot;
    m_slots.pop_front();
    m_writer(frame);
    ++m_counters.framesWritten;
    Account(frame.size());
    if (settings) {
        m_settingsFree = m_lineFree;
        if (m_settingsWritten)
            m_settingsWritten(id);
    }
}

void WireQueue::NoteWritten(std::size_t bytes)
{
    ++m_counters.otherWrites;
    Account(bytes);
}

void WireQueue::Account(std::size_t bytes)
{
    const Nanos took = TransmitTime(bytes);
    m_lineFree = std::max(m_lineFree, m_clock.Now()) + took;
    m_counters.bytesWritten += bytes;
    m_counters.lineBusy += took;
    m_counters.longestBacklog = std::max(m_counters.longestBacklog, Backlog());
}

Nanos WireQueue::Backlog() const
{
    return std::max(m_lineFree - m_clock.Now(), Nanos(0));
}

bool WireQueue::IsDrained() const
{
    return m_slots.empty() && m_clock.Now() >= m_lineFree;
}

bool WireQueue::SettingsOnWire() const
{
    for (const Slot& slot : m_slots)
        if (slot.id != kStatusSlot)
            return false;
    return m_clock.Now() >= m_settingsFree;
}

Nanos WireQueue::DrainTime() const
{
    std::size_t queued = 0;
    for (const Slot& s : m_slots)
        queued += s.frame.size();
    return std::max(m_lineFree, m_clock.Now()) + TransmitTime(queued);
}

} // namespace velmora
