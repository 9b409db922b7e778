#include "link/LibftdiDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/DynamicLibrary.h"

namespace velmora {

namespace {

// The library's own types, as far as the program touches them: the context
// and the USB device stay opaque, the device list is walked.
struct ftdi_context;
struct libusb_device;
struct ftdi_device_list {
    ftdi_device_list* next;
    libusb_device* dev;
};

// ftdi_set_line_property's enums: BITS_8, STOP_BIT_1, NONE.
constexpr int kBits8 = 8;
constexpr int kStopBit1 = 0;
constexpr int kParityNone = 0;
// Vendor and product 0 list every FTDI bridge the library knows, the
// FT230X's 0403:6015 among them.
constexpr int kAnyFtdi = 0;
constexpr int kStringBytes = 128;
constexpr std::chrono::milliseconds kQuickAnswer{1};

struct Api {
    ftdi_context* (*newContext)();
    void (*freeContext)(ftdi_context*);
    int (*findAll)(ftdi_context*, ftdi_device_list**, int, int);
    void (*listFree)(ftdi_device_list**);
    int (*getStrings)(ftdi_context*, libusb_device*, char*, int, char*, int, char*, int);
    int (*openDev)(ftdi_context*, libusb_device*);
    int (*close)(ftdi_context*);
    int (*reset)(ftdi_context*);
    int (*purgeRx)(ftdi_context*);
    int (*setBaudrate)(ftdi_context*, int);
    int (*setLineProperty)(ftdi_context*, int, int, int);
    int (*setBitmode)(ftdi_context*, unsigned char, unsigned char);
    int (*setLatencyTimer)(ftdi_context*, unsigned char);
    int (*readData)(ftdi_context*, unsigned char*, int);
    int (*writeData)(ftdi_context*, const unsigned char*, int);
};

template <typename F> bool Resolve(const DynamicLibrary& library, F& f, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (void* p = library.Symbol(name)) {
            f = reinterpret_cast<F>(p);
            return true;
        }
    return false;
}

bool ResolveAll(const DynamicLibrary& library, Api& a)
{
    return Resolve(library, a.newContext, {"ftdi_new"}) && Resolve(library, a.freeContext, {"ftdi_free"}) &&
        Resolve(library, a.findAll, {"ftdi_usb_find_all"}) && Resolve(library, a.listFree, {"ftdi_list_free"}) &&
        Resolve(library, a.getStrings, {"ftdi_usb_get_strings"}) &&
        Resolve(library, a.openDev, {"ftdi_usb_open_dev"}) && Resolve(library, a.close, {"ftdi_usb_close"}) &&
        Resolve(library, a.reset, {"ftdi_usb_reset"}) &&
        // 1.5 renamed the purge; older releases have only the first name.
        Resolve(library, a.purgeRx, {"ftdi_tciflush", "ftdi_usb_purge_rx_buffer"}) &&
        Resolve(library, a.setBaudrate, {"ftdi_set_baudrate"}) &&
        Resolve(library, a.setLineProperty, {"ftdi_set_line_property"}) &&
        Resolve(library, a.setBitmode, {"ftdi_set_bitmode"}) &&
        Resolve(library, a.setLatencyTimer, {"ftdi_set_latency_timer"}) &&
        Resolve(library, a.readData, {"ftdi_read_data"}) && Resolve(library, a.writeData, {"ftdi_write_data"});
}

struct Listed {
    std::string serial;
    std::string description;
};

class LibftdiDevice final : public FtdiDevice {
public:
    LibftdiDevice(std::unique_ptr<DynamicLibrary> library, const Api& api, ftdi_context* context, Clock& clock)
        : m_library(std::move(library)),
          m_api(api),
          m_pContext(context),
          m_clock(clock)
    {
    }
    ~LibftdiDevice() override
    {
        Close();
        m_api.freeContext(m_pContext);
    }

    bool Loaded() const override { return true; }
    std::string LibraryName() const override { return m_library->File(); }

    FtdiStatus ListDevice(int index, std::string& serial, std::string& description) override
    {
        // The scan asks from index 0 up; each scan sees the bridges anew.
        if (index == 0 || m_listed.empty())
            m_listed = Scan();
        if (index < 0 || static_cast<std::size_t>(index) >= m_listed.size())
            return FtdiStatus::NoDevice;
        serial = m_listed[static_cast<std::size_t>(index)].serial;
        description = m_listed[static_cast<std::size_t>(index)].description;
        return FtdiStatus::Ok;
    }

    // The listed bridge whose serial string is `serial`: the library's own
    // open by strings would need the bridge's product id as well, and the
    // list is walked for ListDevice anyway.
    FtdiStatus OpenBySerial(const std::string& serial) override
    {
        Close();
        FtdiStatus status = FtdiStatus::NoDevice;
        ForEachDevice([&](ftdi_context* scan, libusb_device* dev) {
            Listed l;
            if (!Strings(scan, dev, l) || l.serial != serial)
                return false;
            status = m_api.openDev(m_pContext, dev) == 0 ? FtdiStatus::Ok : FtdiStatus::IoError;
            return true;
        });
        m_bOpen = status == FtdiStatus::Ok;
        return status;
    }

    bool IsOpen() const override { return m_bOpen; }

    void Close() override
    {
        if (!m_bOpen)
            return;
        m_api.close(m_pContext);
        m_bOpen = false;
    }

    void ResetDevice() override { Call(m_api.reset); }
    void SetTimeouts(std::uint32_t readMs, std::uint32_t) override
    {
        m_readTimeout = std::chrono::milliseconds(readMs);
    }
    void PurgeRx() override { Call(m_api.purgeRx); }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode) override { Call(m_api.setBitmode, mask, mode); }
    void SetLatencyTimer(std::uint8_t ms) override { Call(m_api.setLatencyTimer, ms); }
    void SetBaudRate(std::uint32_t rate) override
    {
        Call(m_api.setBaudrate, static_cast<int>(std::min<std::uint32_t>(rate, 12'000'000)));
    }
    // The library takes no divisor; it finds the FT230X's own for the rate
    // (3 MHz over the divisor, exactly 1 Mbit/s for 3).
    void SetDivisor(std::uint16_t divisor) override
    {
        if (divisor != 0)
            SetBaudRate(3'000'000u / divisor);
    }
    void SetDataCharacteristics() override { Call(m_api.setLineProperty, kBits8, kStopBit1, kParityNone); }

    FtdiStatus Read(std::span<std::uint8_t> buffer, std::size_t& got) override
    {
        got = 0;
        if (!m_bOpen)
            return FtdiStatus::NoDevice;
        const Nanos deadline = m_clock.Now() + m_readTimeout;
        while (got < buffer.size()) {
            const int want = static_cast<int>(std::min<std::size_t>(buffer.size() - got, 1 << 16));
            const Nanos asked = m_clock.Now();
            const int n = m_api.readData(m_pContext, buffer.data() + got, want);
            if (n < 0)
                return FtdiStatus::IoError;
            got += static_cast<std::size_t>(std::min(n, want));
            const Nanos now = m_clock.Now();
            if (got == buffer.size() || now >= deadline)
                break;
            // An empty answer normally took the chip's latency period; one
            // that came back at once must not turn this into a spin.
            if (n == 0 && now - asked < kQuickAnswer)
                m_clock.SleepFor(std::min<Nanos>(kQuickAnswer, deadline - now));
        }
        return FtdiStatus::Ok;
    }

    FtdiStatus Write(std::span<const std::uint8_t> bytes) override
    {
        if (!m_bOpen)
            return FtdiStatus::NoDevice;
        const int n = m_api.writeData(m_pContext, bytes.data(), static_cast<int>(bytes.size()));
        return n < 0 ? FtdiStatus::IoError : FtdiStatus::Ok;
    }

    // Reads wait their own 5 ms time-out, and the latency timer hands bytes
    // over at most every 5 ms: a short look between two reads is enough.
    bool WaitForData(Clock& clock, Nanos deadline) override { return ShortLook(*this, clock, deadline); }

private:
    template <typename F, typename... Args> void Call(F f, Args... args)
    {
        if (m_bOpen)
            (void)f(m_pContext, args...);
    }

    bool Strings(ftdi_context* scan, libusb_device* dev, Listed& out)
    {
        std::array<char, kStringBytes> description{}, serial{};
        if (m_api.getStrings(scan, dev, nullptr, 0, description.data(), kStringBytes, serial.data(), kStringBytes) < 0)
            return false;
        out.description.assign(description.data(), ::strnlen(description.data(), kStringBytes));
        out.serial.assign(serial.data(), ::strnlen(serial.data(), kStringBytes));
        return true;
    }

    // Walks the attached bridges with a context of its own (reading a
    // bridge's strings opens and closes it there) until `f` says enough.
    template <typename F> void ForEachDevice(F f)
    {
        ftdi_context* scan = m_api.newContext();
        if (scan == nullptr)
            return;
        ftdi_device_list* list = nullptr;
        if (m_api.findAll(scan, &list, kAnyFtdi, kAnyFtdi) > 0)
            for (ftdi_device_list* d = list; d != nullptr; d = d->next)
                if (f(scan, d->dev))
                    break;
        if (list != nullptr)
            m_api.listFree(&list);
        m_api.freeContext(scan);
    }

    std::vector<Listed> Scan()
    {
        std::vector<Listed> out;
        ForEachDevice([&](ftdi_context* scan, libusb_device* dev) {
            Listed l;
            // A bridge whose strings cannot be read (another user holds it)
            // keeps its place with empty strings, so matches keep theirs.
            Strings(scan, dev, l);
            out.push_back(std::move(l));
            return false;
        });
        return out;
    }

    std::unique_ptr<DynamicLibrary> m_library;
    Api m_api;
    ftdi_context* m_pContext;
    Clock& m_clock;
    std::vector<Listed> m_listed;
    Nanos m_readTimeout{std::chrono::milliseconds(5)};
    bool m_bOpen = false;
};

} // namespace

std::string LibftdiLibraryPath()
{
    return LibraryPathFromEnvironment("VELMORA_LIBFTDI", "libftdi1.so.2");
}

std::unique_ptr<FtdiDevice> LoadLibftdiDevice(const std::string& path, Clock& clock)
{
    std::unique_ptr<DynamicLibrary> library = DynamicLibrary::Open(path);
    if (!library)
        return nullptr;
    Api api{};
    ftdi_context* context = ResolveAll(*library, api) ? api.newContext() : nullptr;
    if (context == nullptr)
        return nullptr;
    return std::make_unique<LibftdiDevice>(std::move(library), api, context, clock);
}

} // namespace velmora
