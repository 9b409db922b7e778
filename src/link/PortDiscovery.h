#pragma once
// The serial ports of this machine, for the operator to pick the unit's port
// from a list: USB serial adapters (ttyUSB), USB modems such as CDC-ACM
// devices (ttyACM) and the on-board ports that really exist.
//
// Discovery reads sysfs only; it opens no device. Each run builds the list
// from scratch.
//
// Thread contract: none needed; everything works on the caller's data.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kSysfsRoot = "/sys";

struct PortEntry {
    // What the system knows about the device ("FT230X Basic UART").
    std::string prefix;
    // What the serial channel opens: a name below /dev ("ttyUSB0") or an
    // absolute device path given by the operator ("/dev/pts/3").
    std::string portName;
    // The number at the end of portName; -1 when it ends in no digit.
    std::int32_t number = -1;
};

// The serial ports found below `sysfsRoot`, followed by one entry for each
// of `extraPaths` that discovery did not already list (ports it cannot see,
// such as a pseudo-terminal), all sorted by SortPorts. An empty list means
// no port was found.
std::vector<PortEntry> DiscoverPorts(const std::vector<std::string>& extraPaths = {},
                                     const std::string& sysfsRoot = kSysfsRoot);

// Orders by the port name's stem (the name without its trailing digits),
// then its number numerically (ttyUSB2 before ttyUSB10), then the prefix.
void SortPorts(std::vector<PortEntry>& ports);

// The entry for a device path the operator named.
PortEntry MakeExplicitPortEntry(const std::string& path);

// True when the two port names (a name below /dev or a path) open the same
// device: "ttyUSB0", "/dev/ttyUSB0" and a link to it are one port.
bool IsSamePort(const std::string& a, const std::string& b);

// The text of the entry in the port list: "(ttyUSB0)  FT230X Basic UART".
std::string PortListText(const PortEntry& entry);

// The stem and number of a port name: "ttyUSB10" -> "ttyUSB", 10. A number
// too large for int32 counts as INT32_MAX.
std::string PortNameStem(const std::string& portName);
std::int32_t PortNameNumber(const std::string& portName);

// The USB serial number of the bridge behind a port, as sysfs tells it;
// empty for a port with none (an on-board port, a pseudo-terminal).
std::string UsbSerialOfPort(const std::string& portName, const std::string& sysfsRoot = kSysfsRoot);

} // namespace velmora
