#pragma once
// The FTDI side of the link: the same USB-serial bridge reached directly
// rather than through its serial port, used by the firmware update.
//
// Until a binding to the FTDI library exists, the channel runs on
// NoFtdiDevice, which never opens: Open fails without a word (the firmware
// update reports a missing unit itself), writes go nowhere and waits end at
// their deadline. The line building already follows the FTDI rules so that
// the binding only has to supply an FtdiDevice.
//
// Thread contract: UI thread only; the device is read synchronously inside
// ReadLine, so the ring has a single user.

#include <cstdint>
#include <memory>
#include <span>

#include "link/ByteChannel.h"
#include "link/ReceiveRing.h"

namespace velmora {

// A device behind the FTDI library, as the channel needs it.
class FtdiDevice {
public:
    virtual ~FtdiDevice() = default;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Takes what has arrived, at most buffer.size() bytes, waiting no longer
    // than the device's short read time-out. Bytes read, or -1 on an I/O error.
    virtual int Read(std::span<std::uint8_t> buffer) = 0;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Sleeps until bytes may have arrived or `clock` reaches `deadline`.
    // True when bytes may be waiting.
    virtual bool WaitForData(Clock& clock, Nanos deadline) = 0;
};

// The binding with no library behind it: there is never a device.
class NoFtdiDevice final : public FtdiDevice {
public:
    bool Open() override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    int Read(std::span<std::uint8_t>) override { return 0; }
    void Write(std::span<const std::uint8_t>) override {}
    bool WaitForData(Clock& clock, Nanos deadline) override;

private:
    // Never signalled: with no device nothing can arrive.
    WakeEvent m_never;
};

class FtdiChannel final : public ByteChannel {
public:
    static constexpr std::size_t kRingSize = 4096;
    // One device read takes at most this many bytes.
    static constexpr std::size_t kReadChunk = 100;

    explicit FtdiChannel(std::unique_ptr<FtdiDevice> device = std::make_unique<NoFtdiDevice>());

    // Opens the device with an empty receive ring. No message on failure:
    // the caller reports it.
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_device->IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override;
    // Reads the device once, then builds the line. Unlike the serial rule, a
    // call that empties the ring mid-line gives LineNone; LinePartial comes
    // only when the ring was already empty and part of a line is held.
    LineResult ReadLine(LineBuffer& line) override;
    bool WaitForInput(Clock& clock, Nanos deadline) override;

private:
    void ReadDevice();

    std::unique_ptr<FtdiDevice> m_device;
    ReceiveRing<kRingSize> m_ring;
};

} // namespace velmora
