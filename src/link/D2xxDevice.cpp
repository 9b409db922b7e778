#include "link/D2xxDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/Prompter.h"

namespace velmora {

namespace {

using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = unsigned char;
using USHORT = std::uint16_t;
using FT_HANDLE = void*;

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr ULONG FT_PURGE_RX = 1;
constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_PARITY_NONE = 0;

// The entry points, in the order they are looked up.
enum Entry : std::size_t {
    kWrite,
    kRead,
    kOpen,
    kOpenEx,
    kListDevices,
    kClose,
    kResetDevice,
    kPurge,
    kSetTimeouts,
    kGetQueueStatus,
    kSetLatencyTimer,
    kSetBaudRate,
    kSetDivisor,
    kSetDataCharacteristics,
    kSetUSBParameters,
    kSetBitMode,
    kGetComPortNumber,
    kCreateDeviceInfoList,
    kGetDeviceInfoList,
    kEntryCount
};

struct EntryInfo {
    const char* name;
    bool called;             // the program calls it; a missing one that is not called says nothing
    const char* invalidName; // as the "is not valid!" message names it
};

constexpr std::array<EntryInfo, kEntryCount> kEntries = {{
    {"FT_Write", true, "FT_Write"},
    {"FT_Read", true, "FT_Read"},
    {"FT_Open", false, "FT_Open"},
    {"FT_OpenEx", true, "FT_OpenEx"},
    {"FT_ListDevices", true, "FT_ListDevices"},
    {"FT_Close", true, "FT_Close"},
    {"FT_ResetDevice", true, "FT_ResetDevice"},
    {"FT_Purge", true, "FT_Purge"},
    {"FT_SetTimeouts", true, "FT_SetTimeouts"},
    {"FT_GetQueueStatus", false, "FT_GetQueueStatus"},
    {"FT_SetLatencyTimer", true, "FT_SetLatencyTimer"},
    {"FT_SetBaudRate", true, "FT_SetBaudRate"},
    {"FT_SetDivisor", true, "FT_SetDivisor"},
    {"FT_SetDataCharacteristics", true, "FT_SetDataCharacteristics"},
    {"FT_SetUSBParameters", false, "FT_SetUSBParameters"},
    // The message has always named it so.
    {"FT_SetBitMode", true, "FT_SetSetBitMode"},
    {"FT_GetComPortNumber", false, "FT_GetComPortNumber"},
    {"FT_CreateDeviceInfoList", false, "FT_CreateDeviceInfoList"},
    {"FT_GetDeviceInfoList", false, "FT_GetDeviceInfoList"},
}};

FtdiStatus FromStatus(FT_STATUS s)
{
    switch (s) {
    case FT_OK:
        return FtdiStatus::Ok;
    case FT_DEVICE_NOT_FOUND:
        return FtdiStatus::NoDevice;
    case FT_IO_ERROR:
        return FtdiStatus::IoError;
    default:
        return FtdiStatus::IoError;
    }
}

class D2xxDevice final : public FtdiDevice {
public:
    D2xxDevice(std::unique_ptr<DynamicLibrary> library, Prompter& prompter)
        : m_library(std::move(library)),
          m_prompter(prompter)
    {
        for (std::size_t e = 0; e < kEntryCount; ++e) {
            void* p = m_library->Symbol(kEntries[e].name);
            if (p == nullptr && kEntries[e].called) {
                m_prompter.Message(std::string("Error: Can't Find ") + kEntries[e].name, kAppTitle,
                                   PromptIcon::Exclamation);
                break;
            }
            m_entries[e] = p;
        }
    }
    ~D2xxDevice() override { Close(); }

    bool Loaded() const override { return true; }
    std::string LibraryName() const override { return m_library->File(); }

    FtdiStatus ListDevice(int index, std::string& serial, std::string& description) override
    {
        auto* list = Fn<FT_STATUS (*)(void*, void*, DWORD)>(kListDevices);
        if (list == nullptr)
            return FtdiStatus::NoDevice;
        std::array<char, 64> buf{};
        // The index travels in the first pointer argument.
        void* arg = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)); // NOLINT(performance-no-int-to-ptr)
        FT_STATUS s = list(arg, buf.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
        if (s != FT_OK)
            return FromStatus(s);
        serial.assign(buf.data(), ::strnlen(buf.data(), buf.size()));
        buf.fill(0);
        s = list(arg, buf.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        if (s != FT_OK)
            return FromStatus(s);
        description.assign(buf.data(), ::strnlen(buf.data(), buf.size()));
        return FtdiStatus::Ok;
    }

    FtdiStatus OpenBySerial(const std::string& serial) override
    {
        auto* open = Fn<FT_STATUS (*)(void*, DWORD, FT_HANDLE*)>(kOpenEx);
        if (open == nullptr)
            return FtdiStatus::NoDevice;
        Close();
        std::string arg = serial;
        FT_HANDLE h = nullptr;
        const FT_STATUS s = open(arg.data(), FT_OPEN_BY_SERIAL_NUMBER, &h);
        if (s != FT_OK || h == nullptr)
            return s == FT_OK ? FtdiStatus::NoDevice : FromStatus(s);
        m_handle = h;
        return FtdiStatus::Ok;
    }

    bool IsOpen() const override { return m_handle != nullptr; }

    void Close() override
    {
        if (m_handle == nullptr)
            return;
        if (auto* close = Fn<FT_STATUS (*)(FT_HANDLE)>(kClose))
            close(m_handle);
        m_handle = nullptr;
    }

    void ResetDevice() override { Call<FT_STATUS (*)(FT_HANDLE)>(kResetDevice); }
    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override
    {
        Call<FT_STATUS (*)(FT_HANDLE, ULONG, ULONG)>(kSetTimeouts, readMs, writeMs);
    }
    void PurgeRx() override { Call<FT_STATUS (*)(FT_HANDLE, ULONG)>(kPurge, FT_PURGE_RX); }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode) override
    {
        Call<FT_STATUS (*)(FT_HANDLE, UCHAR, UCHAR)>(kSetBitMode, mask, mode);
    }
    void SetLatencyTimer(std::uint8_t ms) override { Call<FT_STATUS (*)(FT_HANDLE, UCHAR)>(kSetLatencyTimer, ms); }
    void SetBaudRate(std::uint32_t rate) override { Call<FT_STATUS (*)(FT_HANDLE, ULONG)>(kSetBaudRate, rate); }
    void SetDivisor(std::uint16_t divisor) override { Call<FT_STATUS (*)(FT_HANDLE, USHORT)>(kSetDivisor, divisor); }
    void SetDataCharacteristics() override
    {
        Call<FT_STATUS (*)(FT_HANDLE, UCHAR, UCHAR, UCHAR)>(kSetDataCharacteristics, FT_BITS_8, FT_STOP_BITS_1,
                                                            FT_PARITY_NONE);
    }

    FtdiStatus Read(std::span<std::uint8_t> buffer, std::size_t& got) override
    {
        got = 0;
        DWORD n = 0;
        const auto s = Call<FT_STATUS (*)(FT_HANDLE, void*, DWORD, DWORD*)>(kRead, buffer.data(),
                                                                            static_cast<DWORD>(buffer.size()), &n);
        if (!s)
            return FtdiStatus::NoDevice;
        got = std::min<std::size_t>(n, buffer.size());
        return FromStatus(*s);
    }

    FtdiStatus Write(std::span<const std::uint8_t> bytes) override
    {
        // The library takes a pointer to non-const bytes.
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
        DWORD written = 0;
        const auto s = Call<FT_STATUS (*)(FT_HANDLE, void*, DWORD, DWORD*)>(kWrite, copy.data(),
                                                                            static_cast<DWORD>(copy.size()), &written);
        return s ? FromStatus(*s) : FtdiStatus::NoDevice;
    }

    // Reads wait their own 5 ms time-out, and the latency timer hands bytes
    // over at most every 5 ms: a short look between two reads is enough.
    bool WaitForData(Clock& clock, Nanos deadline) override { return ShortLook(*this, clock, deadline); }

private:
    template <typename F> F Fn(Entry e) const
    {
        if (m_entries[e] == nullptr) {
            m_prompter.Message(std::string(kEntries[e].invalidName) + " is not valid!", kAppTitle,
                               PromptIcon::Exclamation);
            return nullptr;
        }
        return reinterpret_cast<F>(m_entries[e]);
    }

    // Calls the entry point on the open handle; nothing when it was not
    // found (after its message) or no handle is open.
    template <typename F, typename... Args> std::optional<FT_STATUS> Call(Entry e, Args... args)
    {
        F f = Fn<F>(e);
        if (f == nullptr || m_handle == nullptr)
            return std::nullopt;
        return f(m_handle, args...);
    }

    std::unique_ptr<DynamicLibrary> m_library;
    Prompter& m_prompter;
    std::array<void*, kEntryCount> m_entries{};
    FT_HANDLE m_handle = nullptr;
};

} // namespace

std::string D2xxLibraryPath()
{
    return LibraryPathFromEnvironment("VELMORA_FTD2XX", "libftd2xx.so");
}

std::unique_ptr<FtdiDevice> LoadD2xxDevice(const std::string& path, Prompter& prompter)
{
    std::unique_ptr<DynamicLibrary> library = DynamicLibrary::Open(path);
    if (!library)
        return nullptr;
    return std::make_unique<D2xxDevice>(std::move(library), prompter);
}

} // namespace velmora
