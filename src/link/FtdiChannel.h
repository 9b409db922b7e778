#pragma once
// The FTDI side of the link: the unit's USB bridge reached directly rather
// than through its serial port, for the firmware update. Besides carrying
// the unit's own protocol (a ByteChannel of the GeneratorLink), it finds the
// unit among the attached bridges, switches the line speed and drives the
// CBUS pins that restart the unit's microcontroller into its boot mode or
// back into normal operation.
//
// Thread contract: UI thread only; the device is read synchronously inside
// ReadLine and ReadByte, so the ring has a single user.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/ByteChannel.h"
#include "link/FtdiDevice.h"
#include "link/ReceiveRing.h"

namespace velmora {

class Prompter;

// The description every unit's bridge carries.
inline constexpr const char* kUnitDescription = "Hovelt VKX FT230X";

struct FtdiMatch {
    bool found = false;
    int index = 0;
    std::string serial;
    std::string description;
};

// FtdiReadByte's answers.
enum class FtdiByte { None = 0, IoError = 1, Byte = 3 };

class FtdiChannel final : public ByteChannel {
public:
    static constexpr std::size_t kRingSize = 4096;
    // One device read takes at most this many bytes.
    static constexpr std::size_t kReadChunk = 100;
    static constexpr int kMaxDevices = 256;

    // Sleeps go through `clock`, the busy indication through `prompter`.
    FtdiChannel(std::unique_ptr<FtdiDevice> device, Clock& clock, Prompter& prompter);

    FtdiDevice& Device() { return *m_device; }

    // --- The unit ---

    // The attached bridges whose description is the unit's and whose serial
    // number begins with "VK"; the last one is remembered.
    int CountUnits();
    const FtdiMatch& LastMatch() const { return m_last; }
    const std::string& LastMatchSerial() const { return m_last.serial; }
    // Opens the bridge CountUnits matched last, by its serial number, at
    // 19,200 bit/s 8N1 with an empty receive ring; false when none matched.
    // No message on failure: the caller reports it.
    bool OpenUnit();
    void CloseUnit();
    // 1,000,000 bit/s by its divisor, any other rate as it stands.
    void SetUnitBaudRate(std::uint32_t rate);
    FtdiByte ReadByte(std::uint8_t& byte);
    // The last read of the device failed: the bridge has gone (unplugged).
    bool ReadFailed() const { return m_bIoError; }
    // One read of up to 100 bytes thrown away, and the ring emptied.
    void Drain();
    // Through the CBUS pins, 200 ms a step.
    void ResetIntoBootMode();
    void ResetIntoRunMode();

    // --- ByteChannel ---

    bool Open() override { return IsOpen() || OpenUnit(); }
    void Close() override { CloseUnit(); }
    bool IsOpen() const override { return m_device->IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override;
    // Reads the device once, then builds the line. Unlike the serial rule, a
    // call that empties the ring mid-line gives LineNone; LinePartial comes
    // only when the ring was already empty and part of a line is held.
    LineResult ReadLine(LineBuffer& line) override;
    bool WaitForInput(Clock& clock, Nanos deadline) override;

private:
    void ReadDevice(std::size_t most);
    void PinSequence(std::uint8_t first, std::uint8_t second);

    std::unique_ptr<FtdiDevice> m_device;
    Clock& m_clock;
    Prompter& m_prompter;
    ReceiveRing<kRingSize> m_ring;
    FtdiMatch m_last;
    bool m_bIoError = false;
};

} // namespace velmora
