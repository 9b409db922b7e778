#include "SimBridge.h"

namespace velmora::sim {

SimBridge::SimBridge(Clock& clock) : m_clock(clock)
{
    m_devices.push_back({"VK2A0001"});
    m_unit.SetChannelCount(2);
}

bool SimBridge::Open(const std::string& description)
{
    if (m_bUnplugged)
        return false;
    for (const SimBridgeEntry& d : m_devices)
        if (d.description == description) {
            m_bOpen = true;
            return true;
        }
    return false;
}

void SimBridge::SetBitMode(std::uint8_t mask, std::uint8_t mode)
{
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
        } else if (first == 0x31 && second == 0x30) {
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
    if (!m_bOpen || m_bUnplugged)
        return;
    if (m_mcu.Running())
        m_unit.Receive(m_clock.Now(), bytes);
    else
        m_mcu.Receive(bytes);
}

std::vector<std::uint8_t> SimBridge::Read(std::size_t most)
{
    std::vector<std::uint8_t> out;
    if (!m_bOpen || m_bUnplugged)
        return out;
    if (m_mcu.Running()) {
        const std::string due = m_unit.TakeDue(m_clock.Now());
        m_inbox.insert(m_inbox.end(), due.begin(), due.end());
    } else {
        while (m_mcu.HasReply())
            m_inbox.push_back(m_mcu.TakeReply());
    }
    const std::size_t n = std::min(most, m_inbox.size());
    out.assign(m_inbox.begin(), m_inbox.begin() + static_cast<std::ptrdiff_t>(n));
    m_inbox.erase(m_inbox.begin(), m_inbox.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

void SimBridge::Purge()
{
    m_inbox.clear();
    m_unit.DropPending();
}

} // namespace velmora::sim
