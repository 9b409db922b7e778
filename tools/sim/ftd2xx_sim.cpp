// libftd2xx-sim.so: the D2XX functions Velmora calls, with the Linux ABI,
// over the simulated bridge on the steady clock. Point VELMORA_FTD2XX at it
// to run the firmware update without a unit.
//
// Configured by the environment when first used:
//   VELMORA_SIM_FTDI_SERIALS   serial numbers of the attached bridges, comma
//                              separated (default VK2A0001; empty for none)
//   VELMORA_SIM_FTDI_CAL       correction tables as velmora-sim's --cal takes
//   VELMORA_SIM_FTDI_FAULTS    comma separated: nosync, transition=16|56,
//                              refuseid, corrupt=BLOCK, silent, unplug=BLOCK
//   VELMORA_SIM_FTDI_FLASH     file the flash is written to at each normal
//                              restart (for comparing with the image)
//   VELMORA_SIM_FTDI_LOG       file every call is appended to
//
// Thread contract: the program calls it from its UI thread only.
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "SimBridge.h"
#include "platform/AtomicFile.h"

#define FT_EXPORT extern "C" __attribute__((visibility("default")))

using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = unsigned char;
using USHORT = std::uint16_t;
using FT_HANDLE = void*;

namespace {

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

struct Sim {
    velmora::sim::SimBridge bridge{velmora::SteadyClock()};
    std::string flashPath;
    std::string logPath;
    int unplugAtBlock = -1;
    int programmedBlocks = 0;
    std::chrono::milliseconds readTimeout{5};

    Sim()
    {
        const char* serials = std::getenv("VELMORA_SIM_FTDI_SERIALS");
        if (serials != nullptr) {
            bridge.Devices().clear();
            std::string list = serials;
            for (std::size_t start = 0; start < list.size();) {
                const std::size_t comma = std::min(list.find(',', start), list.size());
                if (comma > start)
                    bridge.Devices().push_back({list.substr(start, comma - start)});
                start = comma + 1;
            }
        }
        // The unit's circuits follow its serial number's third character.
        if (!bridge.Devices().empty() && bridge.Devices()[0].serial.size() > 2)
            bridge.Unit().SetChannelCount(bridge.Devices()[0].serial[2] == '1' ? 1 : 2);
        if (const std::string cal = Env("VELMORA_SIM_FTDI_CAL"); !cal.empty()) {
            std::string text, error;
            if (velmora::ReadRegularFile(cal, text, 1 << 20) && !bridge.Unit().LoadTables(text, error))
                std::fprintf(stderr, "libftd2xx-sim: %s: %s\n", cal.c_str(), error.c_str());
        }
        const std::string faults = Env("VELMORA_SIM_FTDI_FAULTS");
        for (std::size_t start = 0; start < faults.size();) {
            const std::size_t comma = std::min(faults.find(',', start), faults.size());
            const std::string f = faults.substr(start, comma - start);
            auto& mf = bridge.Mcu().Faults();
            if (f == "nosync")
                mf.noSync = true;
            else if (f == "refuseid")
                mf.refuseId = true;
            else if (f == "silent")
                bridge.Unit().Faults().silent = true;
            else if (f.starts_with("transition="))
                mf.transition = static_cast<std::uint8_t>(std::strtoul(f.c_str() + 11, nullptr, 16));
            else if (f.starts_with("corrupt="))
                mf.corruptBlock = std::atoi(f.c_str() + 8);
            else if (f.starts_with("unplug="))
                unplugAtBlock = std::atoi(f.c_str() + 7);
            start = comma + 1;
        }
        flashPath = Env("VELMORA_SIM_FTDI_FLASH");
        logPath = Env("VELMORA_SIM_FTDI_LOG");
    }

    void Log(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (logPath.empty())
            return;
        std::FILE* f = std::fopen(logPath.c_str(), "a");
        if (f == nullptr)
            return;
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(f, fmt, ap);
        va_end(ap);
        std::fputc('\n', f);
        std::fclose(f);
    }

    void SaveFlash()
    {
        if (flashPath.empty())
            return;
        const auto& flash = bridge.Mcu().Flash();
        (void)velmora::WriteFileAtomically(flashPath,
                                           std::string_view(reinterpret_cast<const char*>(flash.data()), flash.size()));
    }
};

Sim& S()
{
    static Sim sim;
    return sim;
}

// The one handle there is.
FT_HANDLE Handle()
{
    return &S();
}

bool Valid(FT_HANDLE h)
{
    return h == Handle() && S().bridge.IsOpen();
}

} // namespace

FT_EXPORT FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags)
{
    Sim& s = S();
    if ((flags & FT_LIST_BY_INDEX) == 0 || arg2 == nullptr)
        return FT_DEVICE_NOT_FOUND;
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= s.bridge.Devices().size())
        return FT_DEVICE_NOT_FOUND;
    const auto& d = s.bridge.Devices()[index];
    const std::string& text = (flags & FT_OPEN_BY_DESCRIPTION) != 0 ? d.description : d.serial;
    std::snprintf(static_cast<char*>(arg2), 64, "%s", text.c_str());
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Open(int, FT_HANDLE*)
{
    return FT_DEVICE_NOT_FOUND;
}

FT_EXPORT FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle)
{
    Sim& s = S();
    if (handle == nullptr || arg == nullptr || flags != FT_OPEN_BY_DESCRIPTION)
        return FT_DEVICE_NOT_FOUND;
    const bool ok = s.bridge.Open(static_cast<const char*>(arg));
    s.Log("open %s %s", static_cast<const char*>(arg), ok ? "ok" : "not found");
    if (!ok)
        return FT_DEVICE_NOT_FOUND;
    *handle = Handle();
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Close(FT_HANDLE h)
{
    if (h != Handle())
        return FT_INVALID_HANDLE;
    S().bridge.Close();
    S().Log("close");
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE h) { return Valid(h) ? FT_OK : FT_INVALID_HANDLE; }

FT_EXPORT FT_STATUS FT_Purge(FT_HANDLE h, ULONG)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().bridge.Purge();
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().readTimeout = std::chrono::milliseconds(readMs);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD* n)
{
    if (n != nullptr)
        *n = 0;
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR) { return Valid(h) ? FT_OK : FT_INVALID_HANDLE; }

FT_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG rate)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().bridge.SetRate(rate);
    S().Log("baud %u", rate);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetDivisor(FT_HANDLE h, USHORT divisor)
{
    if (!Valid(h) || divisor == 0)
        return FT_INVALID_HANDLE;
    S().bridge.SetRate(divisor == 3 ? 1'000'000 : 3'000'000u / divisor);
    S().Log("divisor %u", divisor);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR, UCHAR, UCHAR)
{
    return Valid(h) ? FT_OK : FT_INVALID_HANDLE;
}

FT_EXPORT FT_STATUS FT_SetUSBParameters(FT_HANDLE, ULONG, ULONG) { return FT_OK; }

FT_EXPORT FT_STATUS FT_SetBitMode(FT_HANDLE h, UCHAR mask, UCHAR mode)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    Sim& s = S();
    const bool wasRunning = s.bridge.Mcu().Running();
    s.bridge.SetBitMode(mask, mode);
    s.Log("bits %02X %02X", mask, mode);
    if (!wasRunning && s.bridge.Mcu().Running())
        s.SaveFlash();
    if (wasRunning && !s.bridge.Mcu().Running())
        s.programmedBlocks = 0;
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Write(FT_HANDLE h, void* buffer, DWORD length, DWORD* written)
{
    Sim& s = S();
    if (written != nullptr)
        *written = 0;
    if (s.bridge.Unplugged())
        return FT_IO_ERROR;
    if (!Valid(h) || buffer == nullptr)
        return FT_INVALID_HANDLE;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    // A program block is 262 bytes starting 0x50: the unplug fault pulls
    // the cable in the middle of programming.
    if (length == 262 && bytes[0] == 0x50 && s.unplugAtBlock >= 0 && s.programmedBlocks++ == s.unplugAtBlock) {
        s.bridge.Unplug();
        s.Log("unplugged");
        return FT_IO_ERROR;
    }
    s.bridge.Write(std::span(bytes, length));
    if (written != nullptr)
        *written = length;
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Read(FT_HANDLE h, void* buffer, DWORD length, DWORD* got)
{
    Sim& s = S();
    if (got != nullptr)
        *got = 0;
    if (s.bridge.Unplugged())
        return FT_IO_ERROR;
    if (!Valid(h) || buffer == nullptr)
        return FT_INVALID_HANDLE;
    std::vector<std::uint8_t> bytes = s.bridge.Read(length);
    if (bytes.empty()) {
        // Nothing there: the read waits out its time-out, as the library's.
        velmora::SteadyClock().SleepFor(s.readTimeout);
        bytes = s.bridge.Read(length);
    }
    if (!bytes.empty())
        std::memcpy(buffer, bytes.data(), bytes.size());
    if (got != nullptr)
        *got = static_cast<DWORD>(bytes.size());
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD* n)
{
    if (n != nullptr)
        *n = static_cast<DWORD>(S().bridge.Devices().size());
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_GetDeviceInfoList(void*, DWORD* n)
{
    if (n != nullptr)
        *n = 0;
    return FT_OK;
}
