#include "link/PortDiscovery.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A sysfs tree in a temporary folder, laid out as the kernel lays it out:
// class/tty/<name> links into devices/, each tty's `device` link points at
// the port device, which links to its driver when one is bound.
class FakeSysfs {
public:
    FakeSysfs()
    {
        std::random_device rd;
        m_root = fs::temp_directory_path() / ("velmora-sysfs-" + std::to_string(rd()));
        fs::create_directories(m_root / "class" / "tty");
        fs::create_directories(m_root / "bus" / "drivers" / "serial");
    }
    ~FakeSysfs()
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::string Root() const { return m_root.string(); }

    // A USB device with one interface; returns the interface folder.
    fs::path AddUsbDevice(const std::string& bus, const std::string& product, const std::string& manufacturer)
    {
        fs::path dev = m_root / "devices" / "pci0000:00" / "usb1" / bus;
        fs::create_directories(dev / (bus + ":1.0"));
        Write(dev / "idVendor", "0403\n");
        if (!product.empty())
            Write(dev / "product", product + "\n");
        if (!manufacturer.empty())
            Write(dev / "manufacturer", manufacturer + "\n");
        return dev / (bus + ":1.0");
    }

    // A usb-serial port (ttyUSB): interface/ttyUSBn/tty/ttyUSBn.
    void AddUsbSerial(const std::string& name, const fs::path& usbInterface)
    {
        fs::path port = usbInterface / name;
        AddTty(name, port, true);
    }

    // A CDC-ACM port: the interface itself is the tty's device.
    void AddAcm(const std::string& name, const fs::path& usbInterface) { AddTty(name, usbInterface, true); }

    // An on-board serial-core port with its port type.
    void AddSerialCore(const std::string& name, int type, bool driver = true)
    {
        fs::path port = m_root / "devices" / "platform" / "serial8250" / (name + ".0");
        AddTty(name, port, driver);
        Write(m_root / "class" / "tty" / name / "type", std::to_string(type) + "\n");
    }

    // A virtual terminal: no device at all.
    void AddVirtual(const std::string& name)
    {
        fs::path ttyDir = m_root / "devices" / "virtual" / "tty" / name;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink(ttyDir, m_root / "class" / "tty" / name);
    }

private:
    static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

    void AddTty(const std::string& name, const fs::path& device, bool driver)
    {
        fs::create_directories(device);
        if (driver && !fs::exists(fs::symlink_status(device / "driver")))
            fs::create_directory_symlink(m_root / "bus" / "drivers" / "serial", device / "driver");
        fs::path ttyDir = device / "tty" / name;
        fs::create_directories(ttyDir);
        // Relative links, as sysfs has them, so that resolving must follow them.
        fs::create_directory_symlink(fs::relative(device, ttyDir), ttyDir / "device");
        fs::create_directory_symlink(fs::relative(ttyDir, m_root / "class" / "tty"), m_root / "class" / "tty" / name);
    }

    fs::path m_root;
};

std::vector<std::string> Names(const std::vector<PortEntry>& ports)
{
    std::vector<std::string> names;
    names.reserve(ports.size());
    for (const PortEntry& p : ports)
        names.push_back(p.portName);
    return names;
}

TEST(PortDiscovery, ListsRealPortsInNumericOrderAndSkipsTheAbsent)
{
    FakeSysfs sys;
    sys.AddUsbSerial("ttyUSB10", sys.AddUsbDevice("1-1", "FT230X Basic UART", "FTDI"));
    sys.AddUsbSerial("ttyUSB2", sys.AddUsbDevice("1-2", "FT230X Basic UART", "FTDI"));
    sys.AddAcm("ttyACM0", sys.AddUsbDevice("1-3", "Pico", "Raspberry Pi"));
    sys.AddSerialCore("ttyS0", 4);
    sys.AddSerialCore("ttyS1", 0);        // no hardware behind it
    sys.AddSerialCore("ttyS2", 4, false); // no driver bound
    sys.AddSerialCore("ttyS10", 4);
    sys.AddVirtual("tty0");
    sys.AddVirtual("console");

    std::vector<PortEntry> ports = DiscoverPorts({}, sys.Root());

    EXPECT_EQ(Names(ports), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS10", "ttyUSB2", "ttyUSB10"}));
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[3].number, 2);
    EXPECT_EQ(ports[4].number, 10);
    EXPECT_EQ(PortListText(ports[4]), "(ttyUSB10)  FT230X Basic UART");
    EXPECT_EQ(ports[0].prefix, "Pico");
    EXPECT_EQ(ports[1].prefix, "Communications Port");
}

TEST(PortDiscovery, NamesComeFromWhatTheDeviceReports)
{
    FakeSysfs sys;
    sys.AddUsbSerial("ttyUSB0", sys.AddUsbDevice("1-1", "", "Prolific"));
    sys.AddUsbSerial("ttyUSB1", sys.AddUsbDevice("1-2", "", ""));
    sys.AddAcm("ttyACM0", sys.AddUsbDevice("1-3", "", ""));
    sys.AddUsbSerial("ttyUSB2", sys.AddUsbDevice("1-4", "  Odd\tName\x01 ", ""));

    std::vector<PortEntry> ports = DiscoverPorts({}, sys.Root());

    ASSERT_EQ(Names(ports), (std::vector<std::string>{"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyUSB2"}));
    EXPECT_EQ(ports[0].prefix, "USB Serial Device");
    EXPECT_EQ(ports[1].prefix, "Prolific USB Serial Port");
    EXPECT_EQ(ports[2].prefix, "USB Serial Port");
    // Control characters in a device's strings never reach the list.
    EXPECT_EQ(ports[3].prefix, "Odd Name");
}

TEST(PortDiscovery, NoPortsGiveAnEmptyList)
{
    FakeSysfs sys;
    sys.AddVirtual("tty1");
    sys.AddSerialCore("ttyS0", 0);
    EXPECT_TRUE(DiscoverPorts({}, sys.Root()).empty());
    // A machine without the tty class at all (or an unreadable sysfs).
    EXPECT_TRUE(DiscoverPorts({}, sys.Root() + "/nonexistent").empty());
}

TEST(PortDiscovery, ExplicitPortsJoinTheListOnceAndInOrder)
{
    FakeSysfs sys;
    sys.AddUsbSerial("ttyUSB0", sys.AddUsbDevice("1-1", "FT230X Basic UART", "FTDI"));

    std::vector<PortEntry> ports =
        DiscoverPorts({"/dev/pts/12", "/dev/ttyUSB0", "ttyUSB0", "/dev/pts/3", "", "/dev/pts/3"}, sys.Root());

    // ttyUSB0 is already listed, however the operator spells it; empty and
    // repeated paths add nothing.
    EXPECT_EQ(Names(ports), (std::vector<std::string>{"/dev/pts/3", "/dev/pts/12", "ttyUSB0"}));
    EXPECT_EQ(PortListText(ports[0]), "(/dev/pts/3)  Pseudo Terminal");
    EXPECT_TRUE(IsSamePort("ttyUSB0", "/dev/ttyUSB0"));
    EXPECT_TRUE(IsSamePort("/dev/pts/3", "/dev/pts/../pts/3"));
    EXPECT_FALSE(IsSamePort("ttyUSB0", "ttyUSB1"));
    EXPECT_FALSE(IsSamePort("", ""));
    EXPECT_EQ(MakeExplicitPortEntry("/tmp/unit").prefix, "Serial Port");
    EXPECT_EQ(MakeExplicitPortEntry("/tmp/unit").number, -1);
}

TEST(PortDiscovery, SortsByStemThenNumberThenPrefix)
{
    std::vector<PortEntry> ports = {
        {"B", "ttyUSB3", 3}, {"A", "ttyUSB3", 3}, {"Z", "ttyACM7", 7}, {"M", "ttyUSB", -1}, {"C", "ttyUSB20", 20},
    };
    SortPorts(ports);
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[0].portName, "ttyACM7");
    EXPECT_EQ(ports[1].portName, "ttyUSB");
    EXPECT_EQ(ports[2].prefix, "A");
    EXPECT_EQ(ports[3].prefix, "B");
    EXPECT_EQ(ports[4].portName, "ttyUSB20");
}

TEST(PortDiscovery, PortNameNumbers)
{
    EXPECT_EQ(PortNameStem("ttyUSB10"), "ttyUSB");
    EXPECT_EQ(PortNameNumber("ttyUSB10"), 10);
    EXPECT_EQ(PortNameNumber("ttyS007"), 7);
    EXPECT_EQ(PortNameNumber("ttyUSB"), -1);
    EXPECT_EQ(PortNameNumber(""), -1);
    EXPECT_EQ(PortNameStem("123"), "");
    EXPECT_EQ(PortNameNumber("/dev/x99999999999999999999"), std::numeric_limits<std::int32_t>::max());
}

} // namespace
} // namespace velmora
