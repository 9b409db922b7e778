#pragma once
// The unit's USB bridge as the FTDI library shows it: one or more attached
// bridges with their serial numbers and descriptions, and behind the one
// that is opened (unless it is listed as empty) the unit itself: its own protocol (the same simulated unit
// as velmora-sim's) while its microcontroller runs, and the boot-mode
// microcontroller once the CBUS pins have restarted it into boot mode.
//
// Time comes from the Clock it is given, so that the same bridge serves
// tests on a fake clock and the simulated libraries on the steady one.
//
// With timing on, bytes take their wire time at the rate set (the unit's
// own protocol at 19,200 bit/s), and what arrives at the bridge is handed
// to the host the way the chip does it: a packet once 62 bytes wait, or
// when the latency timer has run out since the first of them arrived.
// Without it everything is there at once.
//
// Thread contract: one thread at a time.

#include <cstdint>
#include <deque>
#include <optional>
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
    // A bridge with nothing behind it (another device's, or one whose cable
    // to the unit is off): opened, it takes every byte and answers none.
    bool empty = false;
};

// What the host could not have done faster, counted as it happens: every
// byte at its line rate, one latency-timer turnaround per reply, and the
// waits the program is held to (200 ms after each pin setting and in each
// opening, 50 ms after the restart into boot mode, 100 ms before the one
// out of it, and the 10 ms of quiet before each correction request).
struct SimFloor {
    Nanos wire{0};
    int replies = 0;
    int pinSettings = 0;
    int bootEntries = 0;
    int bootExits = 0;
    int quietRequests = 0;
    Nanos latency{0}; // the latency timer each reply is counted with
    // Time the host's reads of the unit's quiet line spent waiting out their
    // time-out (the reads an exchange makes before its request).
    Nanos quietReads{0};

    Nanos Total() const;
    // The same with the quiet reads in place of the 10 ms quiet waits they
    // hold: what the reads as the bridge library makes them cost at least.
    Nanos TotalWithQuietReads() const;
};

class SimBridge {
public:
    // A USB packet from the chip carries two status bytes and 62 of data.
    static constexpr std::size_t kPacketData = 62;

    explicit SimBridge(Clock& clock);

    std::vector<SimBridgeEntry>& Devices() { return m_devices; }
    SimUnit& Unit() { return m_unit; }
    SimBootMcu& Mcu() { return m_mcu; }
    bool Unplugged() const { return m_bUnplugged; }
    // The bridge goes away: every later call fails with an I/O error.
    void Unplug() { m_bUnplugged = true; }

    void SetTiming(bool on);
    bool Timing() const { return m_bTiming; }
    void SetLatencyTimer(std::uint8_t ms);

    // The listed bridge at `index`, or the first one with that serial
    // number or description, as the libraries open them. False when there is
    // none (or the bridge has gone).
    bool OpenAt(std::size_t index);
    bool OpenBySerial(const std::string& serial);
    bool OpenByDescription(const std::string& description);
    void Close() { m_bOpen = false; }
    bool IsOpen() const { return m_bOpen; }
    // The entry opened last.
    const SimBridgeEntry* Opened() const { return m_bOpen ? &m_devices[m_nOpened] : nullptr; }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode);
    void SetRate(std::uint32_t rate);
    std::uint32_t Rate() const { return m_rate; }
    void Write(std::span<const std::uint8_t> bytes);
    // What has been handed over by now, at most `most` bytes.
    std::vector<std::uint8_t> Read(std::size_t most);
    // A D2XX read: waits until `most` bytes are there or `timeout` has run
    // out, and gives what there is. Without timing it waits only when
    // nothing is there.
    std::vector<std::uint8_t> ReadWithin(std::size_t most, Nanos timeout);
    // A libftdi read: what is there, or else what the next packet brings,
    // waiting no longer than the latency timer (the chip then sends a
    // packet with no data).
    std::vector<std::uint8_t> ReadPacket(std::size_t most);
    // How many bytes Read would give now.
    std::size_t Available();
    // When more bytes will be handed over (beyond those already there), if
    // any are on their way.
    std::optional<Nanos> NextHandover();
    void Purge();
    // The CBUS levels as they were set, for a log: "33 32 00".
    const std::vector<std::uint8_t>& PinLog() const { return m_pins; }
    const SimFloor& Floor() const { return m_floor; }

private:
    struct Held {
        Nanos at;
        std::uint8_t byte;
    };
    Nanos ByteTime(std::uint32_t rate) const;
    void Collect();
    void HandOver(Nanos now);
    std::optional<Nanos> PacketDue() const;
    bool LineQuiet();
    // Open, and the unit behind what is open.
    bool UnitBehind() const { return m_bOpen && !m_devices[m_nOpened].empty; }
    void CountQuietRead(bool quiet, Nanos since, std::size_t got);

    Clock& m_clock;
    std::vector<SimBridgeEntry> m_devices;
    SimUnit m_unit;
    SimBootMcu m_mcu;
    std::vector<std::uint8_t> m_pins;
    std::deque<Held> m_chip;           // arrived at the bridge, not yet handed over
    std::vector<std::uint8_t> m_inbox; // handed over to the host
    std::uint32_t m_rate = 19'200;
    Nanos m_latency{std::chrono::milliseconds(16)};
    Nanos m_txFree{0}; // host to microcontroller: the line is busy until then
    Nanos m_rxFree{0}; // and back
    SimFloor m_floor;
    bool m_bAwaitingReply = false;
    bool m_bTiming = false;
    std::size_t m_nOpened = 0;
    bool m_bOpen = false;
    bool m_bUnplugged = false;
};

} // namespace velmora::sim
