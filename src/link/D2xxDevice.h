#pragma once
// The bridge through FTDI's D2XX library, loaded at run time: libftd2xx.so,
// or the file VELMORA_FTD2XX names (the simulated bridge in tests and
// demos). Linux ABI: FT_STATUS, DWORD and ULONG are 32-bit unsigned,
// FT_HANDLE a pointer.
//
// The entry points are looked up once, in the library's documented order;
// the first one that the program calls and the library lacks is named in a
// message and ends the lookup, and a later call of an entry point that was
// not found names itself instead of running. Entry points the program never
// calls may be missing (the Linux library has no FT_GetComPortNumber).
//
// Thread contract: UI thread only.

#include <memory>
#include <string>

#include "link/FtdiDevice.h"

namespace velmora {

class Prompter;

// The library file to load: VELMORA_FTD2XX when set, else libftd2xx.so.
std::string D2xxLibraryPath();

// Null when the library at `path` cannot be loaded.
std::unique_ptr<FtdiDevice> LoadD2xxDevice(const std::string& path, Prompter& prompter);

} // namespace velmora
