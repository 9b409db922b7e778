#pragma once
// The serial port on a POSIX terminal device (a USB-serial bridge such as
// /dev/ttyUSB0, or a pseudo-terminal in tests).
//
// Thread contract: as SerialPort. Besides, the thread blocked in Read is the
// one that finishes handing over bytes the driver could not take when Write
// was called (it watches the port for room while such bytes wait), so a write
// never blocks the UI thread and the caller's buffer is free on return.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ParmrkDecoder.h"
#include "platform/SerialPort.h"

namespace velmora {

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool Open(const std::string& devicePath) override;
    void Close() override;
    bool IsOpen() const override { return m_fd >= 0; }
    SerialRead Read(std::span<std::uint8_t> buffer) override;
    void Interrupt() override;
    bool Write(std::span<const std::uint8_t> bytes) override;
    SerialError LastError() const override;
    std::string LastErrorText() const override;

    // Bytes still waiting for the driver to take them.
    std::size_t PendingWriteBytes() const;

    // More than this many bytes waiting means the device has stopped taking
    // them; further writes are refused rather than held without limit.
    static constexpr std::size_t kMaxPendingWrite = 1u << 20;

private:
    void SetError(SerialError error, std::string text);
    void SetErrno(int err, const std::string& what);
    // Hands waiting bytes to the driver as far as it takes them. False when
    // the device refused them (they are dropped). Call with m_writeMutex held.
    bool FlushPendingLocked();
    void DrainWakePipe();
    std::uint8_t NameFaults(std::uint8_t decoded);

    int m_fd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::string m_strPath;
    std::atomic<bool> m_bInterrupt{false};

    // Touched only by the thread in Read.
    ParmrkDecoder m_decoder;
    std::array<std::uint8_t, 512> m_raw{};
    std::size_t m_rawPos = 0;
    std::size_t m_rawLen = 0;
    bool m_bHaveCounts = false;
    LineFaultCounts m_counts;

    mutable std::mutex m_writeMutex;
    std::vector<std::uint8_t> m_pending;

    mutable std::mutex m_errorMutex;
    SerialError m_error = SerialError::None;
    std::string m_strError;
};

} // namespace velmora
