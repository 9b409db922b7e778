#pragma once
// The simulated bridge as the program's FtdiDevice, in process: what the
// simulated D2XX library does behind its C functions, without them, so that
// tests run the FTDI channel and the firmware update on a fake clock.
//
// Thread contract: UI thread only, like every FtdiDevice.

#include <chrono>
#include <memory>

#include "SimBridge.h"
#include "link/FtdiDevice.h"

namespace velmora::sim {

class SimFtdiDevice final : public FtdiDevice {
public:
    SimFtdiDevice(SimBridge& bridge, Clock& clock) : m_bridge(bridge), m_clock(clock) { }

    bool Loaded() const override { return true; }
    std::string LibraryName() const override { return "simulated bridge"; }
    FtdiStatus ListDevice(int index, std::string& serial, std::string& description) override
    {
        if (index < 0 || index >= static_cast<int>(m_bridge.Devices().size()))
            return FtdiStatus::NoDevice;
        serial = m_bridge.Devices()[static_cast<std::size_t>(index)].serial;
        description = m_bridge.Devices()[static_cast<std::size_t>(index)].description;
        return FtdiStatus::Ok;
    }
    FtdiStatus OpenBySerial(const std::string& serial) override
    {
        return m_bridge.OpenBySerial(serial) ? FtdiStatus::Ok : FtdiStatus::NoDevice;
    }
    bool IsOpen() const override { return m_bridge.IsOpen(); }
    void Close() override { m_bridge.Close(); }
    void ResetDevice() override { }
    void SetTimeouts(std::uint32_t readMs, std::uint32_t) override
    {
        m_readTimeout = std::chrono::milliseconds(readMs);
    }
    void PurgeRx() override { m_bridge.Purge(); }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode) override { m_bridge.SetBitMode(mask, mode); }
    void SetLatencyTimer(std::uint8_t ms) override { m_bridge.SetLatencyTimer(ms); }
    void SetBaudRate(std::uint32_t rate) override { m_bridge.SetRate(rate); }
    // The FT230X's divisor 3 is 1 Mbit/s.
    void SetDivisor(std::uint16_t divisor) override
    {
        if (divisor != 0)
            m_bridge.SetRate(divisor == 3 ? 1'000'000 : 3'000'000u / divisor);
    }
    void SetDataCharacteristics() override { }
    FtdiStatus Read(std::span<std::uint8_t> buffer, std::size_t& got) override
    {
        got = 0;
        if (m_bridge.Unplugged())
            return FtdiStatus::IoError;
        const std::vector<std::uint8_t> bytes = m_bridge.ReadWithin(buffer.size(), m_readTimeout);
        got = bytes.size();
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        return FtdiStatus::Ok;
    }
    FtdiStatus Write(std::span<const std::uint8_t> bytes) override
    {
        if (m_bridge.Unplugged())
            return FtdiStatus::IoError;
        m_bridge.Write(bytes);
        return FtdiStatus::Ok;
    }
    bool WaitForData(Clock& clock, Nanos deadline) override
    {
        // Sleeps until the bridge would hand something over, as far as the
        // simulation knows; otherwise a short look, as the real library.
        if (m_bridge.Available() > 0)
            return true;
        Nanos next = std::min(deadline, clock.Now() + std::chrono::milliseconds(2));
        if (const std::optional<Nanos> due = m_bridge.NextHandover(); due && *due < next)
            next = *due;
        if (next > clock.Now())
            clock.SleepFor(next - clock.Now());
        return IsOpen();
    }

private:
    SimBridge& m_bridge;
    Clock& m_clock;
    Nanos m_readTimeout = std::chrono::milliseconds(5);
};

} // namespace velmora::sim
