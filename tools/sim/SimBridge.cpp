#include "SimBridge.h"

#include <algorithm>

namespace velmora::sim {

namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint32_t kUnitRate = 19'200;

} // namespace

Nanos SimFloor::Total() const
{
    return wire + replies * latency + pinSettings * milliseconds(200) + bootEntries * milliseconds(50) +
        bootExits * milliseconds(100) + quietRequests * milliseconds(10);
}

Nanos SimFloor::TotalWithQuietReads() const
{
    return Total() - quietRequests * milliseconds(10) + quietReads;
}

SimBridge::SimBridge(Clock& clock) : m_clock(clock)
{
    m_devices.push_back({"VK2A0001"});
    m_unit.SetChannelCount(2);
    m_floor.latency = m_latency;
}

void SimBridge::SetTiming(bool on)
{
    m_bTiming = on;
    m_unit.Faults().pace = on;
}

void SimBridge::SetLatencyTimer(std::uint8_t ms)
{
    // The chip takes 1 ms at the least.
    m_latency = milliseconds(std::max<std::uint8_t>(ms, 1));
    m_floor.latency = m_latency;
}

Nanos SimBridge::ByteTime(std::uint32_t rate) const
{
    // A start bit, eight data bits and a stop bit.
    return Nanos(10'000'000'000LL / std::max<std::uint32_t>(rate, 1));
}

bool SimBridge::OpenAt(std::size_t index)
{
    if (m_bUnplugged || index >= m_devices.size())
        return false;
    m_nOpened = index;
    m_bOpen = true;
    return true;
}

bool SimBridge::OpenBySerial(const std::string& serial)
{
    for (std::size_t k = 0; k < m_devices.size(); ++k)
        if (m_devices[k].serial == serial)
            return OpenAt(k);
    return false;
}

bool SimBridge::OpenByDescription(const std::string& description)
{
    for (std::size_t k = 0; k < m_devices.size(); ++k)
        if (m_devices[k].description == description)
            return OpenAt(k);
    return false;
}

void SimBridge::SetBitMode(std::uint8_t mask, std::uint8_t mode)
{
    // The pins of an empty bridge restart nothing.
    if (!UnitBehind())
        return;
    ++m_floor.pinSettings;
    m_pins.push_back(mode == 0x20 ? mask : 0x00);
    // The restarts: CBUS0 pulses high then low with CBUS1 held, then both
    // released. CBUS1 high selects boot mode, low normal operation.
    const std::size_t n = m_pins.size();
    if (n >= 3 && m_pins[n - 1] == 0x00) {
        const std::uint8_t first = m_pins[n - 3];
        const std::uint8_t second = m_pins[n - 2];
        if (first == 0x33 && second == 0x32) {
            m_mcu.EnterBootMode();
            m_mcu.SetHostRate(m_rate);
            m_unit.DropPending();
            m_chip.clear();
            ++m_floor.bootEntries;
        } else if (first == 0x31 && second == 0x30) {
            if (!m_mcu.Running())
                ++m_floor.bootExits;
            m_mcu.Restart();
        }
    }
}

void SimBridge::SetRate(std::uint32_t rate)
{
    m_rate = rate;
    m_mcu.SetHostRate(rate);
}

void SimBridge::Write(std::span<const std::uint8_t> bytes)
{
    if (!UnitBehind() || m_bUnplugged || bytes.empty())
        return;
    const Nanos now = m_clock.Now();
    if (m_mcu.Running()) {
        // The unit hears at its own speed (it paces itself when timed).
        m_unit.Receive(now, bytes);
        if (m_bTiming) {
            m_floor.wire += static_cast<std::int64_t>(bytes.size()) * ByteTime(kUnitRate);
            m_bAwaitingReply = true;
            if (bytes.size() >= 3 && bytes[0] == kStx && bytes[1] == 'C' && bytes[2] == 'R')
                ++m_floor.quietRequests;
        }
        return;
    }
    m_mcu.Receive(bytes);
    if (!m_bTiming)
        return;
    const Nanos byteTime = ByteTime(m_rate);
    const Nanos start = std::max(now, m_txFree);
    m_txFree = start + static_cast<std::int64_t>(bytes.size()) * byteTime;
    m_floor.wire += m_txFree - start;
    if (!m_mcu.HasReply())
        return;
    // The reply leaves once the command's last byte is in.
    ++m_floor.replies;
    const Nanos replyStart = std::max(m_txFree, m_rxFree);
    std::int64_t k = 0;
    while (m_mcu.HasReply())
        m_chip.push_back({replyStart + (++k) * byteTime, m_mcu.TakeReply()});
    m_rxFree = replyStart + k * byteTime;
    m_floor.wire += m_rxFree - replyStart;
}

void SimBridge::Collect()
{
    if (m_mcu.Running()) {
        if (!m_bTiming) {
            const std::string due = m_unit.TakeDue(m_clock.Now());
            m_inbox.insert(m_inbox.end(), due.begin(), due.end());
            return;
        }
        // Everything the unit has scheduled goes on its way now, each byte
        // arriving when its wire time says.
        while (const std::optional<Nanos> due = m_unit.NextDue()) {
            const std::string bytes = m_unit.TakeDue(*due);
            if (bytes.empty())
                break;
            if (m_bAwaitingReply) {
                ++m_floor.replies;
                m_bAwaitingReply = false;
            }
            m_floor.wire += static_cast<std::int64_t>(bytes.size()) * ByteTime(kUnitRate);
            for (char c : bytes)
                m_chip.push_back({*due, static_cast<std::uint8_t>(c)});
        }
        return;
    }
    if (!m_bTiming)
        while (m_mcu.HasReply())
            m_inbox.push_back(m_mcu.TakeReply());
}

std::optional<Nanos> SimBridge::PacketDue() const
{
    if (m_chip.empty())
        return std::nullopt;
    Nanos due = m_chip.front().at + m_latency;
    if (m_chip.size() >= kPacketData)
        due = std::min(due, std::max(m_chip.front().at, m_chip[kPacketData - 1].at));
    return due;
}

void SimBridge::HandOver(Nanos now)
{
    while (const std::optional<Nanos> due = PacketDue()) {
        if (*due > now)
            return;
        for (std::size_t n = 0; n < kPacketData && !m_chip.empty() && m_chip.front().at <= *due; ++n) {
            m_inbox.push_back(m_chip.front().byte);
            m_chip.pop_front();
        }
    }
}

std::size_t SimBridge::Available()
{
    if (!UnitBehind() || m_bUnplugged)
        return 0;
    Collect();
    HandOver(m_clock.Now());
    return m_inbox.size();
}

std::optional<Nanos> SimBridge::NextHandover()
{
    Available();
    if (!UnitBehind() || m_bUnplugged)
        return std::nullopt;
    if (!m_bTiming)
        return m_mcu.Running() ? m_unit.NextDue() : std::nullopt;
    return PacketDue();
}

std::vector<std::uint8_t> SimBridge::Read(std::size_t most)
{
    std::vector<std::uint8_t> out;
    const std::size_t n = std::min(most, Available());
    out.assign(m_inbox.begin(), m_inbox.begin() + static_cast<std::ptrdiff_t>(n));
    m_inbox.erase(m_inbox.begin(), m_inbox.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

bool SimBridge::LineQuiet()
{
    Available();
    return m_bTiming && m_mcu.Running() && !m_bAwaitingReply && m_inbox.empty() && m_chip.empty() && !m_unit.NextDue();
}

void SimBridge::CountQuietRead(bool quiet, Nanos since, std::size_t got)
{
    if (quiet && got == 0)
        m_floor.quietReads += m_clock.Now() - since;
}

std::vector<std::uint8_t> SimBridge::ReadWithin(std::size_t most, Nanos timeout)
{
    if (!m_bTiming) {
        if (Available() == 0)
            m_clock.SleepFor(timeout);
        return Read(most);
    }
    const bool quiet = LineQuiet();
    const Nanos since = m_clock.Now();
    const Nanos deadline = since + timeout;
    while (Available() < most) {
        const std::optional<Nanos> next = NextHandover();
        const Nanos until = next && *next < deadline ? *next : deadline;
        if (until > m_clock.Now())
            m_clock.SleepFor(until - m_clock.Now());
        if (m_clock.Now() >= deadline || m_bUnplugged)
            break;
    }
    std::vector<std::uint8_t> bytes = Read(most);
    CountQuietRead(quiet, since, bytes.size());
    return bytes;
}

std::vector<std::uint8_t> SimBridge::ReadPacket(std::size_t most)
{
    const bool quiet = LineQuiet();
    const Nanos since = m_clock.Now();
    if (Available() == 0) {
        const Nanos latest = m_clock.Now() + m_latency;
        const std::optional<Nanos> next = NextHandover();
        const Nanos until = next && *next < latest ? *next : latest;
        if (until > m_clock.Now())
            m_clock.SleepFor(until - m_clock.Now());
    }
    std::vector<std::uint8_t> bytes = Read(most);
    CountQuietRead(quiet, since, bytes.size());
    return bytes;
}

void SimBridge::Purge()
{
    m_inbox.clear();
    m_chip.clear();
    m_unit.DropPending();
}

} // namespace velmora::sim
