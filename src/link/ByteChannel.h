#pragma once
// A byte transport to the unit, as the exchanges see it: the serial port, the
// FTDI device, or (in tests and the simulator) an in-process unit.
//
// Thread contract: every member is called on the UI thread. An implementation
// may fill its receive side from its own thread; WaitForInput is how the UI
// thread sleeps until that thread has something.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/LineBuffer.h"
#include "platform/Clock.h"

namespace velmora {

class ByteChannel {
public:
    virtual ~ByteChannel() = default;

    // Where the channel opens. The serial channel takes a port name
    // ("ttyUSB0" or an absolute device path); the FTDI channel ignores it.
    virtual void SetPortName(const std::string& name) { m_strPortName = name; }
    const std::string& PortName() const { return m_strPortName; }

    // Opens the channel if it is not open. A failure has already been shown
    // to the operator where the channel's rules say so.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Hands the bytes to the transport without waiting for transmission.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;

    // Moves received bytes into `line` (see LineBuffer.h for the rules).
    virtual LineResult ReadLine(LineBuffer& line) = 0;

    // Sleeps until received bytes may be waiting for ReadLine, or until
    // `clock` reaches `deadline`. True when input arrived. May return early.
    virtual bool WaitForInput(Clock& clock, Nanos deadline) = 0;

protected:
    std::string m_strPortName;
};

} // namespace velmora
