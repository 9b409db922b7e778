// libftd2xx-sim.so: the D2XX functions Velmora calls, with the Linux ABI,
// over the simulated bridge on the steady clock. Point VELMORA_FTD2XX at it
// to run the firmware update without a unit; SimLibrary.h lists the
// environment variables that configure it.
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

#include "SimLibrary.h"

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

velmora::sim::SimLibrary& S()
{
    return velmora::sim::SimLibrary::Get();
}

// The one handle there is.
FT_HANDLE Handle()
{
    return &S();
}

bool Valid(FT_HANDLE h)
{
    return h == Handle() && S().Bridge().IsOpen();
}

} // namespace

FT_EXPORT FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags)
{
    velmora::sim::SimLibrary& s = S();
    if ((flags & FT_LIST_BY_INDEX) == 0 || arg2 == nullptr)
        return FT_DEVICE_NOT_FOUND;
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (index >= s.Bridge().Devices().size())
        return FT_DEVICE_NOT_FOUND;
    const auto& d = s.Bridge().Devices()[index];
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
    velmora::sim::SimLibrary& s = S();
    if (handle == nullptr || arg == nullptr || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return FT_DEVICE_NOT_FOUND;
    const char* name = static_cast<const char*>(arg);
    // As the library does: the first listed bridge that carries the name.
    const bool bySerial = flags == FT_OPEN_BY_SERIAL_NUMBER;
    const bool ok = bySerial ? s.Bridge().OpenBySerial(name) : s.Bridge().OpenByDescription(name);
    s.Log("open %s %s %s", bySerial ? "serial" : "description", name, ok ? "ok" : "not found");
    if (!ok)
        return FT_DEVICE_NOT_FOUND;
    *handle = Handle();
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Close(FT_HANDLE h)
{
    if (h != Handle())
        return FT_INVALID_HANDLE;
    S().Closed();
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE h)
{
    return Valid(h) ? FT_OK : FT_INVALID_HANDLE;
}

FT_EXPORT FT_STATUS FT_Purge(FT_HANDLE h, ULONG)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().Bridge().Purge();
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

FT_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR ms)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().Bridge().SetLatencyTimer(ms);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG rate)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().Bridge().SetRate(rate);
    S().Log("baud %u", rate);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetDivisor(FT_HANDLE h, USHORT divisor)
{
    if (!Valid(h) || divisor == 0)
        return FT_INVALID_HANDLE;
    S().Bridge().SetRate(divisor == 3 ? 1'000'000 : 3'000'000u / divisor);
    S().Log("divisor %u", divisor);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR, UCHAR, UCHAR)
{
    return Valid(h) ? FT_OK : FT_INVALID_HANDLE;
}

FT_EXPORT FT_STATUS FT_SetUSBParameters(FT_HANDLE, ULONG, ULONG)
{
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_SetBitMode(FT_HANDLE h, UCHAR mask, UCHAR mode)
{
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    S().SetBitMode(mask, mode);
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Write(FT_HANDLE h, void* buffer, DWORD length, DWORD* written)
{
    velmora::sim::SimLibrary& s = S();
    if (written != nullptr)
        *written = 0;
    if (s.Bridge().Unplugged())
        return FT_IO_ERROR;
    if (!Valid(h) || buffer == nullptr)
        return FT_INVALID_HANDLE;
    if (!s.Write(std::span(static_cast<const std::uint8_t*>(buffer), length)))
        return FT_IO_ERROR;
    if (written != nullptr)
        *written = length;
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_Read(FT_HANDLE h, void* buffer, DWORD length, DWORD* got)
{
    velmora::sim::SimLibrary& s = S();
    if (got != nullptr)
        *got = 0;
    if (s.Bridge().Unplugged())
        return FT_IO_ERROR;
    if (!Valid(h) || buffer == nullptr)
        return FT_INVALID_HANDLE;
    const std::vector<std::uint8_t> bytes = s.Bridge().ReadWithin(length, s.readTimeout);
    if (!bytes.empty())
        std::memcpy(buffer, bytes.data(), bytes.size());
    if (got != nullptr)
        *got = static_cast<DWORD>(bytes.size());
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD* n)
{
    if (n != nullptr)
        *n = static_cast<DWORD>(S().Bridge().Devices().size());
    return FT_OK;
}

FT_EXPORT FT_STATUS FT_GetDeviceInfoList(void*, DWORD* n)
{
    if (n != nullptr)
        *n = 0;
    return FT_OK;
}
