// libftdi1-sim.so: the libftdi1 functions Velmora calls, over the simulated
// bridge on the steady clock. Point VELMORA_LIBFTDI at it (and
// VELMORA_FTD2XX at nothing that loads) to run the firmware update through
// the libftdi1 binding without a unit; SimLibrary.h lists the environment
// variables that configure it.
//
// Thread contract: the program calls it from its UI thread only.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "SimLibrary.h"

#define FTDI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// libftdi's error for a device that went away.
constexpr int kDeviceUnavailable = -666;

velmora::sim::SimLibrary& S()
{
    return velmora::sim::SimLibrary::Get();
}

} // namespace

// As the library declares them; the context is the simulation's own.
struct ftdi_context {
    bool open = false;
};
struct libusb_device;
struct ftdi_device_list {
    ftdi_device_list* next;
    libusb_device* dev;
};

namespace {

// A listed device is its index, plus one so that none is null.
libusb_device* DeviceAt(std::size_t index)
{
    // An opaque handle the library's callers never dereference.
    return reinterpret_cast<libusb_device*>(index + 1); // NOLINT(performance-no-int-to-ptr)
}

const velmora::sim::SimBridgeEntry* Entry(libusb_device* dev)
{
    const auto index = reinterpret_cast<std::uintptr_t>(dev);
    auto& devices = S().Bridge().Devices();
    if (index == 0 || index > devices.size())
        return nullptr;
    return &devices[index - 1];
}

bool Usable(const ftdi_context* ftdi)
{
    return ftdi != nullptr && ftdi->open && S().Bridge().IsOpen() && !S().Bridge().Unplugged();
}

void Copy(char* to, int length, const std::string& text)
{
    if (to != nullptr && length > 0)
        std::snprintf(to, static_cast<std::size_t>(length), "%s", text.c_str());
}

} // namespace

FTDI_EXPORT ftdi_context* ftdi_new()
{
    return new ftdi_context;
}

FTDI_EXPORT void ftdi_free(ftdi_context* ftdi)
{
    delete ftdi;
}

FTDI_EXPORT int ftdi_usb_find_all(ftdi_context* ftdi, ftdi_device_list** list, int, int)
{
    if (ftdi == nullptr || list == nullptr)
        return -1;
    *list = nullptr;
    if (S().Bridge().Unplugged())
        return 0;
    const std::size_t n = S().Bridge().Devices().size();
    for (std::size_t i = n; i-- > 0;)
        *list = new ftdi_device_list{*list, DeviceAt(i)};
    return static_cast<int>(n);
}

FTDI_EXPORT void ftdi_list_free(ftdi_device_list** list)
{
    if (list == nullptr)
        return;
    while (*list != nullptr) {
        ftdi_device_list* next = (*list)->next;
        delete *list;
        *list = next;
    }
}

FTDI_EXPORT int ftdi_usb_get_strings(ftdi_context* ftdi, libusb_device* dev, char* manufacturer, int mnf_len,
                                     char* description, int desc_len, char* serial, int serial_len)
{
    const velmora::sim::SimBridgeEntry* e = Entry(dev);
    if (ftdi == nullptr || e == nullptr)
        return -1;
    Copy(manufacturer, mnf_len, "Hovelt");
    Copy(description, desc_len, e->description);
    Copy(serial, serial_len, e->serial);
    return 0;
}

FTDI_EXPORT int ftdi_usb_open_dev(ftdi_context* ftdi, libusb_device* dev)
{
    const velmora::sim::SimBridgeEntry* e = Entry(dev);
    if (ftdi == nullptr || e == nullptr)
        return -3;
    const bool ok = S().Bridge().OpenAt(reinterpret_cast<std::uintptr_t>(dev) - 1);
    S().Log("open serial %s %s", e->serial.c_str(), ok ? "ok" : "not found");
    if (!ok)
        return -3;
    ftdi->open = true;
    return 0;
}

FTDI_EXPORT int ftdi_usb_close(ftdi_context* ftdi)
{
    if (ftdi == nullptr)
        return -3;
    if (ftdi->open)
        S().Closed();
    ftdi->open = false;
    return 0;
}

FTDI_EXPORT int ftdi_usb_reset(ftdi_context* ftdi)
{
    return Usable(ftdi) ? 0 : kDeviceUnavailable;
}

FTDI_EXPORT int ftdi_tciflush(ftdi_context* ftdi)
{
    if (!Usable(ftdi))
        return kDeviceUnavailable;
    S().Bridge().Purge();
    return 0;
}

FTDI_EXPORT int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate)
{
    if (!Usable(ftdi) || baudrate <= 0)
        return -1;
    S().Bridge().SetRate(static_cast<std::uint32_t>(baudrate));
    S().Log("baud %d", baudrate);
    return 0;
}

FTDI_EXPORT int ftdi_set_line_property(ftdi_context* ftdi, int, int, int)
{
    return Usable(ftdi) ? 0 : kDeviceUnavailable;
}

FTDI_EXPORT int ftdi_set_bitmode(ftdi_context* ftdi, unsigned char bitmask, unsigned char mode)
{
    if (!Usable(ftdi))
        return kDeviceUnavailable;
    S().SetBitMode(bitmask, mode);
    return 0;
}

FTDI_EXPORT int ftdi_set_latency_timer(ftdi_context* ftdi, unsigned char latency)
{
    if (!Usable(ftdi) || latency == 0)
        return -1;
    S().Bridge().SetLatencyTimer(latency);
    return 0;
}

FTDI_EXPORT int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size)
{
    if (!Usable(ftdi) || buf == nullptr || size < 0)
        return kDeviceUnavailable;
    const std::vector<std::uint8_t> bytes = S().Bridge().ReadPacket(static_cast<std::size_t>(size));
    if (S().Bridge().Unplugged())
        return kDeviceUnavailable;
    std::copy(bytes.begin(), bytes.end(), buf);
    return static_cast<int>(bytes.size());
}

FTDI_EXPORT int ftdi_write_data(ftdi_context* ftdi, const unsigned char* buf, int size)
{
    if (!Usable(ftdi) || buf == nullptr || size < 0)
        return kDeviceUnavailable;
    if (!S().Write(std::span(buf, static_cast<std::size_t>(size))))
        return kDeviceUnavailable;
    return size;
}
