// One channel's automatic output without a window: the settings document is
// opened, the unit connected as the window connects it, an arbitrary table
// read from a CSV file through the settings dialog's own load, check and
// store, and the output started and stepped on the panel session's ticks,
// one line per value put out. At the end every output is written off, as
// when the window closes.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "CtlTicks.h"
#include "autoout/ArbitraryTable.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "protocol/LinkFactory.h"

namespace velmora::ctl {

namespace {

struct AutoArgs {
    int channel = 0; // index 0-3
    std::string settings;
    std::optional<std::string> csv;
    bool on = false;
    std::optional<long long> seconds;
};

// "--name VALUE" or "--name=VALUE" at args[i]; advances i past the value.
std::optional<std::optional<std::string>> Option(const std::vector<std::string>& args, std::size_t& i,
                                                 const std::string& name)
{
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size())
            return std::optional<std::string>();
        return std::optional<std::string>(args[++i]);
    }
    if (a.starts_with(name + "="))
        return std::optional<std::string>(a.substr(name.size() + 1));
    return std::nullopt;
}

std::optional<int> ParseChannel(const std::string& text)
{
    int v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || v < 1 || v > kMaxChannels)
        return std::nullopt;
    return v - 1;
}

// The error's text when the arguments do not make a command.
std::optional<std::string> ParseAutoArgs(const std::vector<std::string>& args, AutoArgs& out)
{
    std::optional<int> channel;
    std::optional<std::string> settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (auto v = Option(args, i, "--settings")) {
            if (!*v || (*v)->empty())
                return "--settings needs a settings file";
            settings = **v;
        } else if (auto csv = Option(args, i, "--csv")) {
            if (!*csv || (*csv)->empty())
                return "--csv needs a CSV file";
            out.csv = **csv;
        } else if (auto secs = Option(args, i, "--seconds")) {
            out.seconds = *secs ? ParseSeconds(**secs) : std::nullopt;
            if (!out.seconds)
                return "--seconds wants a whole number of seconds, at least 1";
        } else if (args[i] == "--on") {
            out.on = true;
        } else if (!channel && !args[i].starts_with("-")) {
            channel = ParseChannel(args[i]);
            if (!channel)
                return "CH is a channel 1-" + std::to_string(kMaxChannels) + ", not '" + args[i] + "'";
        } else {
            return "unexpected argument '" + args[i] + "'";
        }
    }
    if (!channel)
        return "which channel? (CH)";
    if (!settings)
        return "--settings FILE is needed";
    out.channel = *channel;
    out.settings = *settings;
    return std::nullopt;
}

// The time since the start and the value with the channel's decimals, as
// one line per value put out.
class StepLines final : public PanelSessionObserver {
public:
    StepLines(const GeneratorModel& model, int channel, std::int64_t start)
        : m_model(model), m_nChannel(channel), m_nStart(start)
    {
    }

    void Print(const AutoOutputEvent& e) const
    {
        std::string value = FormatFixed(e.value, m_model.ChannelLimits(e.channel).decimals);
        value.erase(0, value.find_first_not_of(' '));
        std::printf("t=%lld.%lld value=%s cycle=%d", static_cast<long long>((e.dueTime - m_nStart) / 10),
                    static_cast<long long>((e.dueTime - m_nStart) % 10), value.c_str(), e.cycle);
        if (e.row >= 0)
            std::printf(" row=%d", e.row);
        std::printf("\n");
        std::fflush(stdout);
    }

    void AutoOutputStepped(const AutoStepEvent& event) override
    {
        if (event.channel != m_nChannel)
            return;
        if (event.output)
            Print(*event.output);
        if (event.stopped)
            m_bStopped = true;
    }

    bool Stopped() const { return m_bStopped; }

private:
    const GeneratorModel& m_model;
    int m_nChannel;
    std::int64_t m_nStart;
    bool m_bStopped = false;
};

// Reads the CSV into the channel's table as the settings dialog does: the
// rows it holds, the file over them, the check against the limits of the
// slot in use, and the rows stored. The check's message otherwise.
std::optional<std::string> LoadTable(CVelmoraDoc& doc, int c, const std::string& path)
{
    const RangeInfo limits = doc.m_model.ChannelLimits(c);
    AutoOutputState& state = doc.m_autoOutput[static_cast<std::size_t>(c)];
    ArbitraryTable table{};
    FillTableFromPoints(table, state.points, limits.decimals);
    std::string reason;
    if (!LoadCsvFileIntoTable(table, path, reason))
        return std::string("ファイルが開けません: ") + path + ": " + reason;
    const TableCheck check = CheckTable(table, limits.lower, limits.upper);
    if (check.error != TableError::None)
        return std::string(TableErrorText(check.error)) + " (row " + std::to_string(check.row + 1) + ")";
    StoreTable(table, state.points);
    return std::nullopt;
}

} // namespace

int RunAuto(const Invocation& inv)
{
    const Command& cmd = FindCommand("auto");
    AutoArgs args;
    if (const auto error = ParseAutoArgs(inv.args, args))
        return UsageError(cmd, *error);

    StderrPrompter prompter;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    const OpenResult opened = doc.OpenDocument(args.settings);
    if (opened == OpenResult::CannotOpen) {
        std::fprintf(stderr, "velmoractl: %s を開けません。\n", args.settings.c_str());
        return kExitFileRefused;
    }
    if (opened == OpenResult::EmptySkipped)
        std::fprintf(stderr, "velmoractl: %s is empty\n", args.settings.c_str());
    // A refused or cut file has said so through the prompter.
    if (opened != OpenResult::Read)
        return kExitFileRefused;

    // Before the link starts its reader thread, which inherits the mask.
    BlockStopSignals();
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    const auto session = PanelSession::Create(doc, *link, prompter);
    const PanelSession::ConnectOutcome outcome = session->Connect(inv.port);
    if (outcome != PanelSession::ConnectOutcome::Connected)
        return kExitNoAnswer;

    // From here every way out writes the outputs off and disconnects.
    struct Shutdown {
        PanelSession& session;
        ~Shutdown() { session.ShutdownForClose(); }
    } const shutdown{*session};

    const int c = args.channel;
    if (c >= doc.m_model.ChannelsInUse()) {
        std::fprintf(stderr, "velmoractl: the unit has %d channel(s); channel %d is not one of them\n",
                     doc.m_model.ChannelsInUse(), c + 1);
        return kExitUsage;
    }
    if (args.csv) {
        if (const auto refused = LoadTable(doc, c, *args.csv)) {
            std::fprintf(stderr, "%s\n", refused->c_str());
            return kExitFileRefused;
        }
    }
    if (args.on && !doc.m_model.IsOutputOn(c))
        doc.m_model.SwitchOutputOn(c);

    StepLines lines(doc.m_model, c, session->Now());
    session->SetObserver(&lines);
    const AutoControlResult started = session->StartAutoOutput(c);
    if (started.output)
        lines.Print(*started.output);
    if (session->IsAutoOutputStopped(c)) {
        std::fprintf(stderr, "velmoractl: channel %d's automatic output does not start (an empty table, or "
                             "settings that name no wave)\n", c + 1);
        session->SetObserver(nullptr);
        return kExitFileRefused;
    }

    Clock& clock = link->GetClock();
    TickLoop ticks(clock);
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: the tick cannot be started\n");
        session->SetObserver(nullptr);
        return kExitNoAnswer;
    }
    const std::optional<Nanos> end =
        args.seconds ? std::optional<Nanos>(clock.Now() + std::chrono::seconds(*args.seconds)) : std::nullopt;
    int status = kExitOk;
    while (ticks.Wait() == TickLoop::Wake::Tick) {
        session->OnTick();
        if (!session->IsConnected()) {
            status = kExitNoAnswer;
            break;
        }
        if (lines.Stopped() || (end && clock.Now() >= *end))
            break;
    }
    session->SetObserver(nullptr);
    return status;
}

} // namespace velmora::ctl
