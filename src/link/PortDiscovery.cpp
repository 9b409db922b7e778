#include "link/PortDiscovery.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <tuple>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// sysfs attributes are short; anything longer is not a name worth showing.
constexpr std::size_t kMaxAttributeBytes = 256;

// One sysfs attribute as a single trimmed line; empty when absent. Control
// characters (a device may report anything in its strings) become blanks.
std::string ReadAttribute(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(kMaxAttributeBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    for (char& ch : text) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7F)
            ch = ' ';
    }
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

bool StartsWith(const std::string& text, const char* head)
{
    return text.rfind(head, 0) == 0;
}

// Serial-core ports (ttyS and the like) exist in sysfs whether or not the
// hardware is there; the kernel marks the absent ones with port type 0.
bool IsUnknownPortType(const fs::path& ttyDir)
{
    fs::path typeFile = ttyDir / "type";
    if (!Exists(typeFile))
        return false;
    std::string type = ReadAttribute(typeFile);
    int value = 0;
    auto [end, err] = std::from_chars(type.data(), type.data() + type.size(), value);
    return err != std::errc{} || end != type.data() + type.size() || value == 0;
}

struct UsbStrings {
    bool found = false;
    std::string product;
    std::string manufacturer;
    std::string serial;
};

// The USB device a tty hangs off: the nearest ancestor of its device that
// carries a vendor id. Never leaves the sysfs tree.
UsbStrings FindUsbDevice(const fs::path& device, const fs::path& root)
{
    UsbStrings usb;
    std::string rootText = root.string();
    for (fs::path dir = device; !dir.empty(); dir = dir.parent_path()) {
        std::string dirText = dir.string();
        if (dirText.size() <= rootText.size() || dirText.compare(0, rootText.size(), rootText) != 0)
            break;
        if (Exists(dir / "idVendor")) {
            usb.found = true;
            usb.product = ReadAttribute(dir / "product");
            usb.manufacturer = ReadAttribute(dir / "manufacturer");
            usb.serial = ReadAttribute(dir / "serial");
            break;
        }
        if (dir == dir.parent_path())
            break;
    }
    return usb;
}

std::string DescribePort(const std::string& name, const UsbStrings& usb)
{
    if (!usb.product.empty())
        return usb.product;
    if (!usb.manufacturer.empty())
        return usb.manufacturer + " USB Serial Port";
    if (StartsWith(name, "ttyACM"))
        return "USB Serial Device";
    if (usb.found || StartsWith(name, "ttyUSB"))
        return "USB Serial Port";
    return "Communications Port";
}

// Two spellings of one device compare equal when both resolve to the same
// file; a path that does not resolve is compared as written.
std::string DeviceKey(const std::string& path)
{
    std::error_code ec;
    fs::path canonical = fs::canonical(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : canonical.string();
}

std::string DevicePathOf(const std::string& portName)
{
    return !portName.empty() && portName.front() == '/' ? portName : "/dev/" + portName;
}

} // namespace

std::string PortNameStem(const std::string& portName)
{
    std::size_t end = portName.find_last_not_of("0123456789");
    return end == std::string::npos ? std::string() : portName.substr(0, end + 1);
}

std::int32_t PortNameNumber(const std::string& portName)
{
    std::size_t digits = portName.size() - PortNameStem(portName).size();
    if (digits == 0)
        return -1;
    const char* first = portName.data() + portName.size() - digits;
    std::int32_t value = 0;
    auto [end, err] = std::from_chars(first, portName.data() + portName.size(), value);
    (void)end;
    if (err == std::errc::result_out_of_range)
        return std::numeric_limits<std::int32_t>::max();
    return value;
}

void SortPorts(std::vector<PortEntry>& ports)
{
    std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
        // UTF-8 keeps code point order under a byte comparison, which is
        // what std::string's comparison does.
        return std::forward_as_tuple(PortNameStem(a.portName), a.number, a.prefix, a.portName) <
            std::forward_as_tuple(PortNameStem(b.portName), b.number, b.prefix, b.portName);
    });
}

PortEntry MakeExplicitPortEntry(const std::string& path)
{
    PortEntry entry;
    entry.portName = path;
    entry.number = PortNameNumber(path);
    entry.prefix = StartsWith(path, "/dev/pts/") ? "Pseudo Terminal" : "Serial Port";
    return entry;
}

bool IsSamePort(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    return a == b || DeviceKey(DevicePathOf(a)) == DeviceKey(DevicePathOf(b));
}

std::string PortListText(const PortEntry& entry)
{
    return "(" + entry.portName + ")  " + entry.prefix;
}

std::vector<PortEntry> DiscoverPorts(const std::vector<std::string>& extraPaths, const std::string& sysfsRoot)
{
    std::vector<PortEntry> ports;
    std::error_code ec;
    fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec)
        root = fs::path(sysfsRoot);

    fs::directory_iterator it(root / "class" / "tty", ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        fs::path ttyDir = it->path();
        // Virtual terminals, the console and pseudo-terminals have no device.
        std::error_code devEc;
        fs::path device = fs::canonical(ttyDir / "device", devEc);
        if (devEc)
            continue;
        // A port whose driver is gone cannot be opened.
        if (!Exists(device / "driver"))
            continue;
        if (IsUnknownPortType(ttyDir))
            continue;
        PortEntry entry;
        entry.portName = name;
        entry.number = PortNameNumber(name);
        entry.prefix = DescribePort(name, FindUsbDevice(device, root));
        ports.push_back(std::move(entry));
    }

    std::set<std::string> listed;
    for (const PortEntry& entry : ports)
        listed.insert(DeviceKey(DevicePathOf(entry.portName)));
    for (const std::string& path : extraPaths) {
        if (path.empty() || !listed.insert(DeviceKey(DevicePathOf(path))).second)
            continue;
        ports.push_back(MakeExplicitPortEntry(path));
    }

    SortPorts(ports);
    return ports;
}

std::string UsbSerialOfPort(const std::string& portName, const std::string& sysfsRoot)
{
    std::error_code ec;
    fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec)
        return {};
    // A path given by the operator may be a link to the device.
    const fs::path device = fs::canonical(portName.find('/') == std::string::npos ? "/dev/" + portName : portName, ec);
    if (ec)
        return {};
    const fs::path tty = root / "class" / "tty" / device.filename() / "device";
    const fs::path resolved = fs::canonical(tty, ec);
    if (ec)
        return {};
    return FindUsbDevice(resolved, root).serial;
}

} // namespace velmora
