// A D2XX library that lacks FT_ListDevices and everything after it, and
// never has FT_GetComPortNumber: what the binding says about such a library.
#include <cstdint>

#define FT_EXPORT extern "C" __attribute__((visibility("default")))

FT_EXPORT std::uint32_t FT_Write(void*, void*, std::uint32_t, std::uint32_t*)
{
    return 0;
}
FT_EXPORT std::uint32_t FT_Read(void*, void*, std::uint32_t, std::uint32_t*)
{
    return 0;
}
FT_EXPORT std::uint32_t FT_OpenEx(void*, std::uint32_t, void** handle)
{
    static int device;
    *handle = &device;
    return 0;
}
