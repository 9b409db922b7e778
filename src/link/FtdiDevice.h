#pragma once
// The USB bridge as a library reaches it: list the attached bridges, open
// one by its serial number, set its line and its CBUS pins, read and write.
// The D2XX binding, the libftdi1 binding and the simulated bridge implement
// it; FtdiChannel builds the unit's operations on it once.
//
// Thread contract: UI thread only; every call is synchronous, a read waits
// no longer than the read time-out set last.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/Clock.h"

namespace velmora {

enum class FtdiStatus {
    Ok,
    NoDevice, // nothing at that index, or nothing to open
    TimedOut,
    IoError, // the bridge went (unplugged) or the call failed
};

class FtdiDevice {
public:
    virtual ~FtdiDevice() = default;

    // Whether a library stands behind the device at all, and its name (for
    // the message of an update that finds none).
    virtual bool Loaded() const = 0;
    virtual std::string LibraryName() const = 0;

    // The bridge at `index` of the attached ones; NoDevice past the last.
    virtual FtdiStatus ListDevice(int index, std::string& serial, std::string& description) = 0;
    // The bridge with this serial number. Not by description: every unit's
    // bridge carries the same one, and so may a bridge with no unit behind.
    virtual FtdiStatus OpenBySerial(const std::string& serial) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    virtual void ResetDevice() = 0;
    virtual void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    virtual void PurgeRx() = 0;
    // mode 0x20 drives the CBUS pins (mask: high nibble directions, low
    // nibble levels); mode 0 is the normal serial mode.
    virtual void SetBitMode(std::uint8_t mask, std::uint8_t mode) = 0;
    virtual void SetLatencyTimer(std::uint8_t ms) = 0;
    virtual void SetBaudRate(std::uint32_t rate) = 0;
    virtual void SetDivisor(std::uint16_t divisor) = 0;
    // 8 data bits, 1 stop bit, no parity.
    virtual void SetDataCharacteristics() = 0;

    // What has arrived, at most buffer.size() bytes, waiting no longer than
    // the read time-out.
    virtual FtdiStatus Read(std::span<std::uint8_t> buffer, std::size_t& got) = 0;
    virtual FtdiStatus Write(std::span<const std::uint8_t> bytes) = 0;
    // Sleeps on `clock` until bytes may have arrived or `deadline`; true
    // when they may be waiting.
    virtual bool WaitForData(Clock& clock, Nanos deadline) = 0;
};

class Prompter;

// What WaitForData does for a library whose reads wait their own time-out:
// a short sleep (2 ms, or to the deadline) between two of them, so that a
// caller's wait loop does not spin; true while the device is open.
bool ShortLook(const FtdiDevice& device, Clock& clock, Nanos deadline);

// The D2XX binding when its library loads, else the libftdi1 one, else the
// device with no library behind it (whose LibraryName says what was looked
// for). Nothing is said when neither loads: most machines have none.
std::unique_ptr<FtdiDevice> MakeFtdiDevice(Prompter& prompter, Clock& clock);

// No library: no bridge is ever there.
class NoFtdiDevice final : public FtdiDevice {
public:
    explicit NoFtdiDevice(std::string libraryName = "libftd2xx.so") : m_strLibrary(std::move(libraryName)) { }
    bool Loaded() const override { return false; }
    std::string LibraryName() const override { return m_strLibrary; }
    FtdiStatus ListDevice(int, std::string&, std::string&) override { return FtdiStatus::NoDevice; }
    FtdiStatus OpenBySerial(const std::string&) override { return FtdiStatus::NoDevice; }
    bool IsOpen() const override { return false; }
    void Close() override { }
    void ResetDevice() override { }
    void SetTimeouts(std::uint32_t, std::uint32_t) override { }
    void PurgeRx() override { }
    void SetBitMode(std::uint8_t, std::uint8_t) override { }
    void SetLatencyTimer(std::uint8_t) override { }
    void SetBaudRate(std::uint32_t) override { }
    void SetDivisor(std::uint16_t) override { }
    void SetDataCharacteristics() override { }
    FtdiStatus Read(std::span<std::uint8_t>, std::size_t& got) override
    {
        got = 0;
        return FtdiStatus::NoDevice;
    }
    FtdiStatus Write(std::span<const std::uint8_t>) override { return FtdiStatus::NoDevice; }
    bool WaitForData(Clock& clock, Nanos deadline) override;

private:
    std::string m_strLibrary;
    // Never signalled: with no device nothing can arrive.
    WakeEvent m_never;
};

} // namespace velmora
