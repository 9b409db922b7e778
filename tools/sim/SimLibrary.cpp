#include "SimLibrary.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/AtomicFile.h"

namespace velmora::sim {

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

std::vector<std::string> SplitCommas(const std::string& list)
{
    std::vector<std::string> out;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start)
            out.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

} // namespace

SimLibrary& SimLibrary::Get()
{
    static SimLibrary library;
    return library;
}

SimLibrary::SimLibrary() : m_bridge(SteadyClock())
{
    if (const char* serials = std::getenv("VELMORA_SIM_FTDI_SERIALS")) {
        m_bridge.Devices().clear();
        for (const std::string& entry : SplitCommas(serials)) {
            constexpr std::string_view kEmpty = ":empty";
            const bool empty = entry.ends_with(kEmpty);
            m_bridge.Devices().push_back({empty ? entry.substr(0, entry.size() - kEmpty.size()) : entry});
            m_bridge.Devices().back().empty = empty;
        }
    }
    // The unit's circuits follow its serial number's third character.
    for (const SimBridgeEntry& d : m_bridge.Devices())
        if (!d.empty) {
            if (d.serial.size() > 2)
                m_bridge.Unit().SetChannelCount(d.serial[2] == '1' ? 1 : 2);
            break;
        }
    if (const std::string cal = Env("VELMORA_SIM_FTDI_CAL"); !cal.empty()) {
        std::string text, error;
        if (!ReadRegularFile(cal, text, 1 << 20))
            std::fprintf(stderr, "libftdi-sim: %s: cannot be read\n", cal.c_str());
        else if (!m_bridge.Unit().LoadTables(text, error))
            std::fprintf(stderr, "libftdi-sim: %s: %s\n", cal.c_str(), error.c_str());
    }
    for (const std::string& f : SplitCommas(Env("VELMORA_SIM_FTDI_FAULTS"))) {
        auto& mf = m_bridge.Mcu().Faults();
        if (f == "nosync")
            mf.noSync = true;
        else if (f == "refuseid")
            mf.refuseId = true;
        else if (f == "silent")
            m_bridge.Unit().Faults().silent = true;
        else if (f.starts_with("transition="))
            mf.transition = static_cast<std::uint8_t>(std::strtoul(f.c_str() + 11, nullptr, 16));
        else if (f.starts_with("corrupt="))
            mf.corruptBlock = std::atoi(f.c_str() + 8);
        else if (f.starts_with("unplug="))
            m_nUnplugAtBlock = std::atoi(f.c_str() + 7);
        else
            std::fprintf(stderr, "libftdi-sim: unknown fault %s\n", f.c_str());
    }
    m_bridge.SetTiming(Env("VELMORA_SIM_FTDI_TIMING") != "0");
    m_strFlash = Env("VELMORA_SIM_FTDI_FLASH");
    m_strStats = Env("VELMORA_SIM_FTDI_STATS");
    m_strLog = Env("VELMORA_SIM_FTDI_LOG");
}

void SimLibrary::Log(const char* fmt, ...)
{
    if (m_strLog.empty())
        return;
    std::FILE* f = std::fopen(m_strLog.c_str(), "a");
    if (f == nullptr)
        return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(f, fmt, ap);
    va_end(ap);
    std::fputc('\n', f);
    std::fclose(f);
}

bool SimLibrary::Write(std::span<const std::uint8_t> bytes)
{
    if (m_bridge.Unplugged())
        return false;
    // A program block is 262 bytes starting 0x50.
    if (bytes.size() == 262 && bytes[0] == 0x50 && m_nUnplugAtBlock >= 0 && m_nProgrammedBlocks++ == m_nUnplugAtBlock) {
        m_bridge.Unplug();
        Log("unplugged");
        return false;
    }
    m_bridge.Write(bytes);
    return true;
}

void SimLibrary::SetBitMode(std::uint8_t mask, std::uint8_t mode)
{
    const bool wasRunning = m_bridge.Mcu().Running();
    m_bridge.SetBitMode(mask, mode);
    Log("bits %02X %02X", mask, mode);
    if (!wasRunning && m_bridge.Mcu().Running())
        SaveFlash();
    if (wasRunning && !m_bridge.Mcu().Running())
        m_nProgrammedBlocks = 0;
}

void SimLibrary::Closed()
{
    m_bridge.Close();
    Log("close");
    SaveStats();
}

void SimLibrary::SaveFlash()
{
    if (m_strFlash.empty())
        return;
    const auto& flash = m_bridge.Mcu().Flash();
    (void)WriteFileAtomically(m_strFlash, std::string_view(reinterpret_cast<const char*>(flash.data()), flash.size()));
}

void SimLibrary::SaveStats()
{
    if (m_strStats.empty())
        return;
    const SimFloor& f = m_bridge.Floor();
    std::string text;
    const auto put = [&text](const char* key, long long value) {
        text += key;
        text += '=';
        text += std::to_string(value);
        text += '\n';
    };
    put("wire_ns", f.wire.count());
    put("replies", f.replies);
    put("latency_ns", f.latency.count());
    put("pin_settings", f.pinSettings);
    put("boot_entries", f.bootEntries);
    put("boot_exits", f.bootExits);
    put("quiet_requests", f.quietRequests);
    put("quiet_reads_ns", f.quietReads.count());
    put("floor_ns", f.Total().count());
    put("floor_with_quiet_reads_ns", f.TotalWithQuietReads().count());
    (void)WriteFileAtomically(m_strStats, text);
}

} // namespace velmora::sim
