#pragma once
// The bridge through libftdi1 (Debian's libftdi1-2), loaded at run time:
// libftdi1.so.2, or the file VELMORA_LIBFTDI names (the simulated one in
// tests). It stands in when no D2XX library loads, so that a Debian machine
// needs nothing proprietary to update a unit.
//
// libftdi reads give what the chip has handed over, waiting at most for its
// next packet (one latency-timer period); the read time-out the program
// sets is kept here, on the Clock, so that a read behaves as a D2XX one.
//
// Thread contract: UI thread only.

#include <memory>
#include <string>

#include "link/FtdiDevice.h"

namespace velmora {

// The library file to load: VELMORA_LIBFTDI when set, else libftdi1.so.2.
std::string LibftdiLibraryPath();

// Null when the library at `path` cannot be loaded or lacks an entry point
// the program calls (it then says nothing: the caller falls back).
std::unique_ptr<FtdiDevice> LoadLibftdiDevice(const std::string& path, Clock& clock);

} // namespace velmora
