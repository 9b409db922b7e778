#pragma once
// The serial port as the serial channel sees it: open a device exclusively at
// the unit's fixed line settings, block for received bytes until woken, hand
// bytes over for sending without waiting for them to go out.
//
// Thread contract: one thread (the channel's reader) calls Read; the UI
// thread calls everything else. Interrupt and Write may be called while the
// reader is blocked in Read; Open and Close only while no Read runs.
//
// Errors: calls return a result; the cause of the last failure is kept as a
// small SerialError plus a text for the caller, mapped once from errno.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

enum class SerialError {
    None,
    NotFound,         // no such device
    InUse,            // another opener holds the device
    NoPermission,     // the device exists but may not be opened
    NotSerial,        // the path is not a terminal device
    SettingsRejected, // opened, but the driver refused the line settings
    Gone,             // the device went away (cable pulled, other side closed)
    NotOpen,
    Other,
};

// Line faults the driver reported with the received bytes.
enum SerialLineError : std::uint8_t {
    kLineFraming = 1u << 0,
    kLineParity = 1u << 1,
    kLineBreak = 1u << 2,
};

struct SerialRead {
    enum class Status {
        Data,        // `count` bytes and/or `lineErrors`
        Interrupted, // Interrupt() was called
        Gone,        // the device went away; further reads would fail at once
    };
    Status status = Status::Data;
    std::size_t count = 0;
    // Faults that came after the `count` bytes of this read and before any
    // byte of the next one.
    std::uint8_t lineErrors = 0;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens `devicePath` at 19200 bit/s, 8 data bits, no parity, 1 stop bit,
    // raw. True when the port is open; it may still report SettingsRejected
    // through LastError() when the driver refused the line settings.
    virtual bool Open(const std::string& devicePath) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Blocks until received bytes or line faults are there, Interrupt() is
    // called, or the device goes away. `buffer` should hold at least a few
    // hundred bytes; a read never returns Data with nothing in it.
    virtual SerialRead Read(std::span<std::uint8_t> buffer) = 0;

    // Makes the Read in progress (or the next one) return Interrupted.
    virtual void Interrupt() = 0;

    // Hands every byte over for sending and returns without waiting for them
    // to be transmitted. False when the port is not open or failed.
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

    virtual SerialError LastError() const = 0;
    virtual std::string LastErrorText() const = 0;
};

// The device path of a port name: an absolute path is used as it is, any
// other name is a device under /dev ("ttyUSB0" -> "/dev/ttyUSB0"). An empty
// name gives an empty path, which no device has.
std::string DevicePathForPort(const std::string& portName);

} // namespace velmora
