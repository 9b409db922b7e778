#include "SimConsole.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "model/NumberText.h"
#include "model/GeneratorModel.h"
#include "platform/AtomicFile.h"
#include "model/RangeTable.h"

namespace velmora::sim {

namespace {

using Args = std::vector<std::string>;

SimCommandResult Ok(std::string text)
{
    return {true, "ok: " + std::move(text), false};
}

SimCommandResult Error(std::string text)
{
    return {false, "error: " + std::move(text), false};
}

std::string Hex4(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFFu);
    return buf;
}

// A 16-bit word in hex, with or without 0x: "0003", "3", "0x8000".
std::optional<std::uint16_t> ParseWord(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 16);
    if (r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

std::optional<bool> ParseSwitch(std::string_view text)
{
    if (text == "on" || text == "1" || text == "yes")
        return true;
    if (text == "off" || text == "0" || text == "no")
        return false;
    return std::nullopt;
}

// Channel as the operator counts it, 1-4, to an index.
std::optional<int> ParseChannel(std::string_view text)
{
    auto v = ParseInteger(text, 1, kMaxChannels);
    if (!v)
        return std::nullopt;
    return static_cast<int>(*v) - 1;
}

// A slot 0-15 or the key name of a range ("4_20mA"), as `cal` prints it.
std::optional<int> ParseRange(std::string_view text)
{
    if (auto v = ParseInteger(text, 0, kSlotCount - 1))
        return static_cast<int>(*v);
    return RangeCodeFromKey(std::string(text));
}

std::string FaultSummary(const SimUnit& unit)
{
    const SimFaults& f = unit.Faults();
    std::string s;
    auto add = [&s](const std::string& t) { s += (s.empty() ? "" : ", ") + t; };
    if (f.silent)
        add("silent");
    if (unit.SilentAfter())
        add("silent after " + std::to_string(*unit.SilentAfter()) + " lines");
    if (f.garbage)
        add("garbage");
    if (f.badChecksum)
        add("bad checksum");
    if (f.length == LengthFault::Short)
        add("one byte short");
    if (f.length == LengthFault::Long)
        add("one byte long");
    if (f.lowercaseChecksum)
        add("lower-case checksum");
    if (f.strayCrLf)
        add("stray CR LF");
    if (f.delayMs > 0)
        add("delay " + std::to_string(f.delayMs) + " ms");
    if (f.pace)
        add("paced at 19200 bit/s");
    return s.empty() ? "none" : s;
}

SimCommandResult Show(SimUnit& unit)
{
    std::string s = "version " + unit.Version() + ", channels " + std::to_string(unit.ChannelCount()) +
        "\nfaults: " + FaultSummary(unit);
    for (int ch = 0; ch < unit.ChannelCount(); ++ch) {
        const SimChannelState& c = unit.Channel(ch);
        const SettingsWords& w = c.words;
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "\nch%d: range %02X dac %04X control %04X aux %04X ext-output %04X status %04X "
                      "ext-status %04X writes %d",
                      ch + 1, static_cast<unsigned>(c.rangeCode) & 0xFFu, w.dacCode, w.controlWord, w.auxControlWord,
                      w.extOutputWord, c.statusWord, c.extStatusWord, c.settingsWrites);
        s += buf;
        const UserAdjustment defUser;
        const MakerCorrection defMaker;
        for (int r = 0; r < kSlotCount; ++r) {
            const auto& u = c.user[static_cast<std::size_t>(r)];
            const auto& m = c.maker[static_cast<std::size_t>(r)];
            if (u.adjustSelect == defUser.adjustSelect && u.minCorrection == defUser.minCorrection &&
                u.maxCorrection == defUser.maxCorrection && m.minCorrection == defMaker.minCorrection &&
                m.maxCorrection == defMaker.maxCorrection)
                continue;
            std::snprintf(buf, sizeof buf, "\nch%d slot %d: select %04X maker %04X/%04X user %04X/%04X", ch + 1, r,
                          u.adjustSelect, m.minCorrection, m.maxCorrection, u.minCorrection, u.maxCorrection);
            s += buf;
        }
        if (c.test.rangeCode >= 0) {
            std::snprintf(buf, sizeof buf, "\nch%d last test output: range %02X code %04X flag %04X min %04X max %04X",
                          ch + 1, static_cast<unsigned>(c.test.rangeCode) & 0xFFu, c.test.code, c.test.flag,
                          c.test.minCorrection, c.test.maxCorrection);
            s += buf;
        }
    }
    s += "\nstores: maker " + std::to_string(unit.Stored('M').stores) + ", user " +
        std::to_string(unit.Stored('U').stores);
    return {true, s, false};
}

// One channel's last settings frame as the host meant it: the code and, for a
// range the unit can output, the code's value in that range. The value comes
// from the host's own model, so a demo watching a ramp sees the numbers the
// panel showed, rounded the same way.
std::string OutputLine(const SimUnit& unit, int ch)
{
    const SimChannelState& c = unit.Channel(ch);
    const std::string prefix = std::to_string(ch + 1) + " ";
    if (c.settingsWrites == 0)
        return prefix + "none";

    // A scratch model without a link: it computes, and sends nothing.
    GeneratorModel model;
    ChannelSettings& s = model.channels[0];
    s.rangeCode = c.rangeCode;
    s.dacCode = c.words.dacCode;
    s.controlWord = c.words.controlWord;
    s.extOutputWord = c.words.extOutputWord;

    // The frame's range field is two hex digits, so it may carry a code that
    // names no range, or the conversion slot, which is no output range:
    // neither has a value to show.
    std::string value = "n/a";
    if (IsValidRangeCode(c.rangeCode) && c.rangeCode != kConversionSlot) {
        model.CodeToValue(0);
        value = FormatFixed(s.setValue, GetRangeInfo(c.rangeCode).decimals);
        value.erase(0, value.find_first_not_of(' '));
    }
    return prefix + "range=" + std::to_string(c.rangeCode) + " code=" + Hex4(c.words.dacCode) + " value=" + value +
        (model.IsOutputOn(0) ? " on" : " off");
}

// "outputs", "cal", "stored" and "test": per channel in use, or of one
// channel.
template <typename Text> SimCommandResult PerChannel(const SimUnit& unit, const Args& a, Text text)
{
    if (!a.empty()) {
        auto ch = ParseChannel(a[0]);
        if (!ch)
            return Error("the channel is 1 to 4");
        return {true, text(*ch), false};
    }
    std::string s;
    for (int ch = 0; ch < unit.ChannelCount(); ++ch) {
        if (ch > 0)
            s += '\n';
        s += text(ch);
    }
    return {true, s, false};
}

SimCommandResult Outputs(const SimUnit& unit, const Args& a)
{
    return PerChannel(unit, a, [&unit](int ch) { return OutputLine(unit, ch); });
}

// A fault that is switched on or off.
SimCommandResult Switch(const Args& a, bool& field, const char* what)
{
    auto on = ParseSwitch(a[0]);
    if (!on)
        return Error(std::string("expected on or off, got '") + a[0] + "'");
    field = *on;
    return Ok(std::string(what) + (*on ? " on" : " off"));
}

// "maker" and "user": a correction pair for one channel and range; `store`
// puts it into the table.
template <typename Store> SimCommandResult SetCorrection(SimUnit& u, const Args& a, const char* table, Store store)
{
    auto ch = ParseChannel(a[0]);
    auto r = ParseRange(a[1]);
    auto lo = ParseWord(a[2]);
    auto hi = ParseWord(a[3]);
    if (!ch || !r)
        return Error("the channel is 1 to 4 and the range a code 0 to 15 or a name (4_20mA)");
    if (!lo || !hi)
        return Error("corrections are hex words");
    store(u, *ch, *r, *lo, *hi);
    return Ok("ch" + a[0] + " slot " + a[1] + " " + table + " " + Hex4(*lo) + "/" + Hex4(*hi));
}

struct CommandDef {
    const char* name;
    const char* args; // argument usage; empty for none
    const char* help;
    int minArgs;
    int maxArgs;
    // How the command serves as an option: 0 not at all, 1 "--name" means
    // "name on", 2 "--name VALUE" with VALUE's ':' separating arguments.
    int option;
    SimCommandResult (*run)(SimUnit&, const Args&, std::string_view rest, Nanos now);
};

const std::vector<CommandDef>& Commands();

SimCommandResult Help()
{
    std::string s = "commands:";
    for (const auto& c : Commands()) {
        std::string usage = c.name;
        if (*c.args)
            usage += std::string(" ") + c.args;
        char buf[160];
        std::snprintf(buf, sizeof buf, "\n  %-28s %s", usage.c_str(), c.help);
        s += buf;
    }
    return {true, s, false};
}

const std::vector<CommandDef>& Commands()
{
    static const std::vector<CommandDef> table = {
        {"help", "", "list these commands", 0, 0, 0,
         [](SimUnit&, const Args&, std::string_view, Nanos) { return Help(); }},
        {"show", "", "show the unit's state and faults", 0, 0, 0,
         [](SimUnit& u, const Args&, std::string_view, Nanos) { return Show(u); }},
        {"outputs", "[CH]", "last settings frame per channel: CH range=R code=XXXX value=V on|off, or CH none", 0, 1, 0,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) { return Outputs(u, a); }},
        {"cal", "[CH]", "working correction tables: CH RANGE maker=MIN,MAX user=MIN,MAX select=N", 0, 1, 0,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return PerChannel(u, a, [&u](int ch) { return u.TablesText(ch, false); });
         }},
        {"stored", "[CH]", "the tables the last stores kept (and --cal gave), in the same form", 0, 1, 0,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return PerChannel(u, a, [&u](int ch) { return u.TablesText(ch, true); });
         }},
        {"test", "[CH]", "the test output driven: CH lower|upper RANGE min=MIN max=MAX, or CH off", 0, 1, 0,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return PerChannel(u, a, [&u](int ch) { return u.TestOutputText(ch); });
         }},
        {"version", "TEXT", "version text sent after \"VER\" (normally six characters)", 1, 99, 2,
         [](SimUnit& u, const Args&, std::string_view rest, Nanos) {
             if (!u.SetVersion(rest))
                 return Error("the version is 1 to 32 printable ASCII characters");
             return Ok("version " + u.Version());
         }},
        {"channels", "N", "channel count reported by \"CH\": 1, 2 or 4", 1, 1, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             auto n = ParseInteger(a[0], 0, 9);
             if (!n || !u.SetChannelCount(static_cast<int>(*n)))
                 return Error("the channel count is 1, 2 or 4");
             return Ok("channels " + std::to_string(u.ChannelCount()));
         }},
        {"announce", "", "send the announcement (STX A) now", 0, 0, 0,
         [](SimUnit& u, const Args&, std::string_view, Nanos now) {
             u.Announce(now);
             return Ok("announced");
         }},
        {"flood", "N", "send N bytes (1-100000) of noise without a line end, then CR LF", 1, 1, 0,
         [](SimUnit& u, const Args& a, std::string_view, Nanos now) {
             auto n = ParseInteger(a[0], 1, 100'000);
             if (!n)
                 return Error("the flood is 1 to 100000 bytes");
             u.Flood(now, static_cast<std::size_t>(*n));
             return Ok("flooded " + a[0] + " bytes");
         }},
        {"alarm", "CH STATUS [EXT]", "set channel CH's status word (and external status word), hex", 2, 3, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             auto ch = ParseChannel(a[0]);
             if (!ch)
                 return Error("the channel is 1 to 4");
             auto st = ParseWord(a[1]);
             auto ext = a.size() > 2 ? ParseWord(a[2]) : std::optional<std::uint16_t>(u.Channel(*ch).extStatusWord);
             if (!st || !ext)
                 return Error("status words are hex, up to four digits");
             u.Channel(*ch).statusWord = *st;
             u.Channel(*ch).extStatusWord = *ext;
             return Ok("ch" + a[0] + " status " + Hex4(*st) + " ext-status " + Hex4(*ext));
         }},
        {"silent", "on|off", "answer nothing at all", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) { return Switch(a, u.Faults().silent, "silent"); }},
        {"silent-after", "N|off", "go silent after N more output lines", 1, 1, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             if (a[0] == "off") {
                 u.SetSilentAfter(std::nullopt);
                 return Ok("silent-after off");
             }
             auto n = ParseInteger(a[0], 0, 1'000'000'000);
             if (!n)
                 return Error("expected a count of lines or off");
             u.SetSilentAfter(static_cast<int>(*n));
             return Ok("silent after " + a[0] + " more lines");
         }},
        {"garbage", "on|off", "replace every output line by a junk line", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) { return Switch(a, u.Faults().garbage, "garbage"); }},
        {"bad-checksum", "on|off", "send framed replies with a wrong checksum", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return Switch(a, u.Faults().badChecksum, "bad-checksum");
         }},
        {"length", "short|long|off", "drop or add one byte in status and adjustment replies", 1, 1, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             if (a[0] == "short")
                 u.Faults().length = LengthFault::Short;
             else if (a[0] == "long")
                 u.Faults().length = LengthFault::Long;
             else if (a[0] == "off")
                 u.Faults().length = LengthFault::None;
             else
                 return Error("expected short, long or off");
             return Ok("length " + a[0]);
         }},
        {"lowercase", "on|off", "send checksum digits in lower case", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return Switch(a, u.Faults().lowercaseChecksum, "lowercase");
         }},
        {"stray-crlf", "on|off", "send CR LF before every output line", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return Switch(a, u.Faults().strayCrLf, "stray-crlf");
         }},
        {"delay", "MS", "answer MS milliseconds late (0 = at once)", 1, 1, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             auto ms = ParseInteger(a[0], 0, 600'000);
             if (!ms)
                 return Error("the delay is 0 to 600000 ms");
             u.Faults().delayMs = static_cast<int>(*ms);
             return Ok("delay " + a[0] + " ms");
         }},
        {"pace", "on|off", "send output at 19200 bit/s (10 bits a byte)", 1, 1, 1,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) { return Switch(a, u.Faults().pace, "pace"); }},
        {"faults-off", "", "switch every fault and the pacing off", 0, 0, 0,
         [](SimUnit& u, const Args&, std::string_view, Nanos) {
             u.ClearFaults();
             return Ok("no faults");
         }},
        {"maker", "CH RANGE MIN MAX", "set a maker correction pair, hex words as sent (MAX offset by 8000)", 4, 4, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return SetCorrection(u, a, "maker", [](SimUnit& unit, int ch, int r, std::uint16_t lo, std::uint16_t hi) {
                 unit.Channel(ch).maker[static_cast<std::size_t>(r)] = {lo, hi};
             });
         }},
        {"user", "CH RANGE MIN MAX", "set a user correction pair, hex words as sent (MAX offset by 8000)", 4, 4, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             return SetCorrection(u, a, "user", [](SimUnit& unit, int ch, int r, std::uint16_t lo, std::uint16_t hi) {
                 auto& slot = unit.Channel(ch).user[static_cast<std::size_t>(r)];
                 slot.minCorrection = lo;
                 slot.maxCorrection = hi;
             });
         }},
        {"select", "CH RANGE WORD", "set the adjustment select word (0 none, 1 maker, 2 user)", 3, 3, 2,
         [](SimUnit& u, const Args& a, std::string_view, Nanos) {
             auto ch = ParseChannel(a[0]);
             auto r = ParseRange(a[1]);
             auto w = ParseWord(a[2]);
             if (!ch || !r)
                 return Error("the channel is 1 to 4 and the range code 0 to 15");
             if (!w)
                 return Error("the select word is hex");
             u.Channel(*ch).user[static_cast<std::size_t>(*r)].adjustSelect = *w;
             return Ok("ch" + a[0] + " slot " + a[1] + " select " + Hex4(*w));
         }},
        {"reset", "", "channels and correction tables back to power-on values", 0, 0, 0,
         [](SimUnit& u, const Args&, std::string_view, Nanos) {
             u.ResetState();
             return Ok("state reset");
         }},
        {"quit", "", "stop the simulator", 0, 0, 0,
         [](SimUnit&, const Args&, std::string_view, Nanos) {
             SimCommandResult r = Ok("bye");
             r.quit = true;
             return r;
         }},
    };
    return table;
}

const CommandDef* FindCommand(std::string_view name)
{
    for (const auto& c : Commands())
        if (name == c.name)
            return &c;
    return nullptr;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

SimCommandResult RunWithArgs(SimUnit& unit, const CommandDef& cmd, const Args& args, std::string_view rest, Nanos now)
{
    const int n = static_cast<int>(args.size());
    if (n < cmd.minArgs || n > cmd.maxArgs) {
        std::string usage = cmd.name;
        if (*cmd.args)
            usage += std::string(" ") + cmd.args;
        return Error("usage: " + usage);
    }
    return cmd.run(unit, args, rest, now);
}

} // namespace

SimCommandResult RunSimCommand(SimUnit& unit, std::string_view line, Nanos now)
{
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return {true, "", false};

    Args words;
    std::string_view restAfterName;
    {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && IsBlank(line[i]))
                ++i;
            const std::size_t start = i;
            while (i < line.size() && !IsBlank(line[i]))
                ++i;
            if (i > start) {
                if (words.size() == 1)
                    restAfterName = line.substr(start);
                words.emplace_back(line.substr(start, i - start));
            }
        }
    }
    const CommandDef* cmd = FindCommand(words[0]);
    if (!cmd)
        return Error("unknown command '" + words[0] + "' (try help)");
    words.erase(words.begin());
    return RunWithArgs(unit, *cmd, words, restAfterName, now);
}

std::string ApplySimArguments(const std::vector<std::string>& args, SimUnit& unit, SimLaunch& launch, Nanos now)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            launch.help = true;
            continue;
        }
        if (a.size() < 3 || !a.starts_with("--"))
            return "unexpected argument '" + a + "'";
        std::string name = a.substr(2);
        std::optional<std::string> value;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto needValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };

        if (name == "cal") {
            auto v = needValue();
            if (!v || v->empty())
                return "--cal needs a file";
            // Ten ranges of four channels take a few kilobytes; anything
            // near a megabyte is not a table.
            constexpr std::size_t kMaxTableFile = 1 << 20;
            std::string text;
            if (!ReadRegularFile(*v, text, kMaxTableFile))
                return "--cal: cannot read '" + *v + "' (a regular file is needed)";
            if (text.size() > kMaxTableFile)
                return "--cal: '" + *v + "' is too large for a correction table";
            std::string error;
            if (!unit.LoadTables(text, error))
                return "--cal " + *v + ": " + error;
            continue;
        }
        if (name == "link" || name == "log") {
            auto v = needValue();
            if (!v || v->empty())
                return "--" + name + " needs a path";
            (name == "link" ? launch.linkPath : launch.logPath) = *v;
            continue;
        }
        const CommandDef* cmd = FindCommand(name);
        if (!cmd || cmd->option == 0)
            return "unknown option '--" + name + "' (see --help)";

        Args cmdArgs;
        std::string rest;
        if (cmd->option == 1) {
            cmdArgs.push_back(value ? *value : "on");
        } else {
            auto v = needValue();
            if (!v)
                return "--" + name + " needs a value";
            rest = *v;
            // The version text is taken whole; other values separate their
            // arguments with ':' ("--alarm 1:0003").
            if (name == "version") {
                cmdArgs.push_back(*v);
            } else {
                std::size_t start = 0;
                for (;;) {
                    const std::size_t colon = v->find(':', start);
                    cmdArgs.push_back(v->substr(start, colon - start));
                    if (colon == std::string::npos)
                        break;
                    start = colon + 1;
                }
            }
        }
        SimCommandResult r = RunWithArgs(unit, *cmd, cmdArgs, rest, now);
        if (!r.ok)
            return "--" + name + ": " + r.text.substr(std::string_view("error: ").size());
    }
    return {};
}

std::string SimHelpText()
{
    std::string s =
        "usage: velmora-sim [OPTIONS]\n"
        "\n"
        "Plays the Velmora unit on a pseudo-terminal. The first line of standard output is\n"
        "the device path to open; the simulator serves until SIGINT/SIGTERM or 'quit'.\n"
        "\n"
        "options:\n"
        "  --link PATH                  make PATH a symlink to the device (removed on exit)\n"
        "  --log FILE                   append every received and sent line to FILE, stamped in microseconds\n"
        "  --cal FILE                   start from the correction tables in FILE, as 'cal' prints them\n"
        "  --help                       this text\n";
    for (const auto& c : Commands()) {
        if (c.option == 0)
            continue;
        std::string usage = std::string("--") + c.name;
        if (c.option == 2) {
            std::string args = c.args;
            if (std::string_view(c.name) != "version") {
                for (std::size_t at; (at = args.find(" [")) != std::string::npos;)
                    args.replace(at, 2, "[:");
                for (char& ch : args)
                    if (ch == ' ')
                        ch = ':';
            }
            usage += " " + args;
        }
        char buf[200];
        std::snprintf(buf, sizeof buf, "  %-28s %s\n", usage.c_str(), c.help);
        s += buf;
    }
    s += "\nstandard input, one command a line (the reply is printed on standard output):\n";
    s += Help().text.substr(std::string_view("commands:\n").size());
    s += "\n\nCH is 1-4, RANGE a range code 0-15, words are hex (0x optional).\n"
         "End of standard input does not stop the simulator.\n";
    return s;
}

std::string ReadableBytes(std::string_view bytes)
{
    static constexpr const char* kNames[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT", "LF",  "VT",  "FF", "CR", "SO", "SI",
        "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US"};
    std::string out;
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20) {
            out += '<';
            out += kNames[b];
            out += '>';
        } else if (b >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<x%02X>", b);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace velmora::sim
