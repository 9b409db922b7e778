// Settings documents without a unit: print every stored field of a file, or
// write the document a new start would make for a given circuit count.
//
// Neither command touches the state file: the document is made without one,
// so no Hovelt/Velmora folder appears in the working directory.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "Commands.h"
#include "CtlJson.h"
#include "autoout/AutoOutput.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora::ctl {

int RunSettings(const Invocation& inv);

namespace {

constexpr const char* kShowUsage = "settings show FILE [--json]";
constexpr const char* kNewUsage = "settings new OUT --channels N";

const Command& RowFor(const char* usage)
{
    for (const auto& c : CommandTable())
        if (std::strcmp(c.usage, usage) == 0)
            return c;
    return CommandTable().front();
}

// Shortest text that reads back as the same double.
std::string Number(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Every stored field, under the document's own names in snake_case; a
// number JSON cannot carry (NaN, infinity: possible only in a file the
// program did not write) is null.
void PrintJson(const CVelmoraDoc& doc)
{
    std::vector<std::string> channels;
    channels.reserve(kMaxChannels);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelSettings& s = doc.m_model.channels[ch];
        const AutoOutputState& a = doc.m_autoOutput[ch];
        std::vector<std::string> presets;
        presets.reserve(kSlotCount);
        for (int k = 0; k < kSlotCount; ++k) {
            std::vector<std::string> values;
            values.reserve(kPresetCount);
            for (int i = 0; i < kPresetCount; ++i)
                values.push_back(JsonNumber(s.presets[k][i]));
            presets.push_back(JsonArray(values));
        }
        std::vector<std::string> slots;
        slots.reserve(kSlotCount);
        for (int k = 0; k < kSlotCount; ++k) {
            const AutoOutputSlot& o = a.slots[k];
            slots.push_back(JsonObject()
                                .Add("mode", o.mode)
                                .Add("repeat", o.repeat)
                                .Add("start", o.start)
                                .Add("end", o.end)
                                .Add("step", o.step)
                                .Add("interval", o.interval)
                                .Text());
        }
        std::vector<std::string> points;
        points.reserve(kArbitraryPointCount);
        for (int r = 0; r < kArbitraryPointCount; ++r) {
            const ArbitraryPoint& p = a.points[r];
            points.push_back(JsonObject().Add("used", p.used).Add("value", p.value).Add("interval", p.interval).Text());
        }
        JsonObject c;
        c.Add("channel", ch + 1).Add("use_conversion", s.useConversion);
        AddRange(c, s.rangeCode);
        c.Add("conv_min", s.convMin)
            .Add("conv_max", s.convMax)
            .Add("conv_decimals", s.convDecimals)
            .AddRaw("presets", JsonArray(presets))
            .AddRaw("slots", JsonArray(slots))
            .AddRaw("points", JsonArray(points));
        channels.push_back(c.Text());
    }
    PrintJsonLine(JsonObject()
                      .Add("channel_count", doc.m_model.channelCount)
                      .Add("port_name", doc.LastPortName())
                      .AddRaw("channels", JsonArray(channels)));
}

std::string ModeName(std::int32_t mode)
{
    const std::string name = AutoModeName(mode);
    return name.empty() ? "?" : name;
}

std::string RangeName(std::int32_t code)
{
    const std::string name = RangeDisplayName(code);
    return name.empty() ? "names no range" : name;
}

void PrintText(const CVelmoraDoc& doc)
{
    std::printf("channel count: %d\n", doc.m_model.channelCount);
    std::printf("port name: %s\n", doc.m_strLastPort.empty() ? "(none)" : doc.LastPortName().c_str());
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelSettings& s = doc.m_model.channels[ch];
        const AutoOutputState& a = doc.m_autoOutput[ch];
        std::printf("\nchannel %d\n", ch + 1);
        std::printf("  range: %d (%s)\n", s.rangeCode, RangeName(s.rangeCode).c_str());
        std::printf("  conversion: %s, %s to %s, %d decimals\n", s.useConversion ? "in use" : "not in use",
                    Number(s.convMin).c_str(), Number(s.convMax).c_str(), s.convDecimals);
        std::printf("  presets (slot: 1-8):\n");
        for (int k = 0; k < kSlotCount; ++k) {
            std::printf("    %2d:", k);
            for (int i = 0; i < kPresetCount; ++i)
                std::printf(" %s", Number(s.presets[k][i]).c_str());
            std::printf("\n");
        }
        std::printf("  automatic output (slot: mode, repeat, start, end, step, interval in 0.1 s):\n");
        for (int k = 0; k < kSlotCount; ++k) {
            const AutoOutputSlot& o = a.slots[k];
            std::printf("    %2d: %d %s, repeat %d, start %s, end %s, step %s, interval %d\n", k, o.mode,
                        ModeName(o.mode).c_str(), o.repeat, Number(o.start).c_str(), Number(o.end).c_str(),
                        Number(o.step).c_str(), o.interval);
        }
        std::printf("  arbitrary table (row: used, value, interval in 0.1 s):\n");
        for (int r = 0; r < kArbitraryPointCount; ++r) {
            const ArbitraryPoint& p = a.points[r];
            std::printf("    %3d: %s %s %d\n", r + 1, p.used ? "used  " : "unused", Number(p.value).c_str(),
                        p.interval);
        }
    }
}

std::string WhyNotOpened(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return Tr(N_("not a regular file"));
    return Tr(N_("cannot be read"));
}

int Show(const Invocation& inv)
{
    const Command& row = RowFor(kShowUsage);
    std::string path;
    for (std::size_t i = 1; i < inv.args.size(); ++i) {
        const std::string& a = inv.args[i];
        if (!a.empty() && a[0] == '-' && a != "-")
            return UsageError(row, TrFormat(N_("unknown option '%1'"), {a}));
        if (!path.empty())
            return UsageError(row, Tr(N_("only one FILE")));
        path = a;
    }
    if (path.empty())
        return UsageError(row, Tr(N_("FILE is missing")));

    // The document's own messages (wrong format, wrong version, read error)
    // go to standard error.
    StderrPrompter prompter;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    switch (doc.ReadSettingsFile(path)) {
    case OpenResult::Read:
        break;
    case OpenResult::CannotOpen:
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("cannot open %1: %2"), {path, WhyNotOpened(path)}).c_str());
        return kExitFileRefused;
    case OpenResult::EmptySkipped:
    case OpenResult::Refused:
    case OpenResult::Truncated:
        return kExitFileRefused;
    }
    if (inv.json)
        PrintJson(doc);
    else
        PrintText(doc);
    return kExitOk;
}

int New(const Invocation& inv)
{
    const Command& row = RowFor(kNewUsage);
    std::string out;
    std::string channels;
    for (std::size_t i = 1; i < inv.args.size(); ++i) {
        const std::string& a = inv.args[i];
        if (a == "--channels") {
            if (i + 1 >= inv.args.size())
                return UsageError(row, Tr(N_("--channels needs a number")));
            channels = inv.args[++i];
        } else if (a.rfind("--channels=", 0) == 0) {
            channels = a.substr(11);
        } else if (!a.empty() && a[0] == '-') {
            return UsageError(row, TrFormat(N_("unknown option '%1'"), {a}));
        } else if (out.empty()) {
            out = a;
        } else {
            return UsageError(row, Tr(N_("only one OUT")));
        }
    }
    if (out.empty())
        return UsageError(row, Tr(N_("OUT is missing")));
    if (channels.empty())
        return UsageError(row, Tr(N_("--channels N is missing")));
    if (channels != "1" && channels != "2" && channels != "4")
        return UsageError(row, TrFormat(N_("N must be 1, 2 or 4, not '%1'"), {channels}));

    StderrPrompter prompter;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    doc.SetChannelCount(channels[0] - '0');
    const AtomicWriteResult r = doc.SaveDocument(out);
    if (!r) {
        std::fprintf(stderr, "velmoractl: %s\n", TrFormat(N_("cannot write %1: %2"), {out, r.Describe()}).c_str());
        return kExitFileRefused;
    }
    return kExitOk;
}

} // namespace

// Both rows of the command table lead here; the first argument chooses.
int RunSettings(const Invocation& inv)
{
    const std::string sub = inv.args.empty() ? "" : inv.args[0];
    if (sub == "show")
        return Show(inv);
    if (sub == "new")
        return New(inv);
    return UsageError(RowFor(kShowUsage),
                      sub.empty() ? std::string(Tr(N_("settings needs show or new")))
                                  : TrFormat(N_("unknown settings command '%1'"), {sub}));
}

} // namespace velmora::ctl
