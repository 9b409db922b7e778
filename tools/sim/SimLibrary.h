#pragma once
// What the simulated bridge libraries (the D2XX one and the libftdi one)
// share behind their C functions: one simulated bridge on the steady clock,
// configured from the environment when first used, with its log, its flash
// file, its floor account and the unplug fault.
//
//   VELMORA_SIM_FTDI_SERIALS   serial numbers of the attached bridges, comma
//                              separated (default VK2A0001; empty for none);
//                              SERIAL:empty is a bridge with nothing behind
//                              it, the unit is behind every other one
//   VELMORA_SIM_FTDI_CAL       correction tables as velmora-sim's --cal takes
//   VELMORA_SIM_FTDI_FAULTS    comma separated: nosync, transition=16|56,
//                              refuseid, corrupt=BLOCK, silent, unplug=BLOCK
//   VELMORA_SIM_FTDI_TIMING    0 for bytes that take no time (default: wire
//                              time at the rate set, latency-timer handover)
//   VELMORA_SIM_FTDI_FLASH     file the flash is written to at each normal
//                              restart (for comparing with the image)
//   VELMORA_SIM_FTDI_STATS     file the floor account is written to at each
//                              close: key=value lines, floor_ns among them
//   VELMORA_SIM_FTDI_LOG       file every call is appended to
//
// Thread contract: the program calls the libraries from its UI thread only.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "SimBridge.h"

namespace velmora::sim {

class SimLibrary {
public:
    static SimLibrary& Get();

    SimBridge& Bridge() { return m_bridge; }
    std::chrono::milliseconds readTimeout{5};

    void Log(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // A write as the cable carries it: false once it has been pulled (the
    // unplug fault pulls it in the middle of programming).
    bool Write(std::span<const std::uint8_t> bytes);
    void SetBitMode(std::uint8_t mask, std::uint8_t mode);
    void Closed();

private:
    SimLibrary();
    void SaveFlash();
    void SaveStats();

    SimBridge m_bridge;
    std::string m_strFlash;
    std::string m_strStats;
    std::string m_strLog;
    int m_nUnplugAtBlock = -1;
    int m_nProgrammedBlocks = 0;
};

} // namespace velmora::sim
