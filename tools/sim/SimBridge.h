#pragma once
// The unit's USB bridge as the FTDI library shows it: one or more attached
// bridges with their serial numbers and descriptions, and behind the one
// that is opened the unit itself: its own protocol (the same simulated unit
// as velmora-sim's) while its microcontroller runs, and the boot-mode
// microcontroller once the CBUS pins have restarted it into boot mode.
//
// Time comes from the Clock it is given, so that the same bridge serves
// tests on a fake clock and the simulated D2XX library on the steady one.
//
// Thread contract: one thread at a time.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SimBootMcu.h"
#include "SimUnit.h"
#include "platform/Clock.h"

namespace velmora::sim {

struct SimBridgeEntry {
    std::string serial;
    std::string description = "Hovelt VKX FT230X";
};

class SimBridge {
public:
    explicit SimBridge(Clock& clock);

    std::vector<SimBridgeEntry>& Devices() { return m_devices; }
    SimUnit& Unit() { return m_unit; }
    SimBootMcu& Mcu() { return m_mcu; }
    bool Unplugged() const { return m_bUnplugged; }
    // The bridge goes away: every later call fails with an I/O error.
    void Unplug() { m_bUnplugged = true; }

    bool Open(const std::string& description);
    void Close() { m_bOpen = false; }
    bool IsOpen() const { return m_bOpen; }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode);
    void SetRate(std::uint32_t rate);
    std::uint32_t Rate() const { return m_rate; }
    void Write(std::span<const std::uint8_t> bytes);
    // What has arrived by now, at most `most` bytes.
    std::vector<std::uint8_t> Read(std::size_t most);
    void Purge();
    // The CBUS levels as they were set, for a log: "33 32 00".
    const std::vector<std::uint8_t>& PinLog() const { return m_pins; }

private:
    Clock& m_clock;
    std::vector<SimBridgeEntry> m_devices;
    SimUnit m_unit;
    SimBootMcu m_mcu;
    std::vector<std::uint8_t> m_pins;
    std::vector<std::uint8_t> m_inbox; // unit replies taken from its schedule
    std::uint32_t m_rate = 19'200;
    bool m_bOpen = false;
    bool m_bUnplugged = false;
};

} // namespace velmora::sim
