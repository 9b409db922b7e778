// The automatic outputs of one or more channels without a window: the
// settings document is opened, the unit connected as the window connects it,
// an arbitrary table read from a CSV file through the settings dialog's own
// load, check and store, and the outputs started in the order named and
// stepped on the panel session's ticks, one line per value put out, until
// every one has stopped by its repeat count or the time is up. At the end
// every output is written off, as when the window closes.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlNumbers.h"
#include "CtlLink.h"
#include "CtlTicks.h"
#include "autoout/ArbitraryTable.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "platform/Translate.h"
#include "protocol/LinkFactory.h"

namespace velmora::ctl {

namespace {

struct AutoArgs {
    std::vector<int> channels; // indexes 0-3, in the order named, each once
    std::string settings;
    std::optional<std::string> csv;
    bool on = false;
    std::optional<long long> seconds;
};

// "CH" or "CH,CH,...": the channels in the order named; nothing when one is
// not a channel or is named twice.
// The error's text when the arguments do not make a command.
std::optional<std::string> ParseAutoArgs(const std::vector<std::string>& args, AutoArgs& out)
{
    std::optional<std::vector<int>> channels;
    std::optional<std::string> settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (auto v = OptionValue(args, i, "--settings")) {
            if (!*v || (*v)->empty())
                return Tr(N_("--settings needs a settings file"));
            settings = **v;
        } else if (auto csv = OptionValue(args, i, "--csv")) {
            if (!*csv || (*csv)->empty())
                return Tr(N_("--csv needs a CSV file"));
            out.csv = **csv;
        } else if (auto secs = OptionValue(args, i, "--seconds")) {
            out.seconds = *secs ? ParseSeconds(**secs) : std::nullopt;
            if (!out.seconds)
                return Tr(N_("--seconds wants a whole number of seconds, at least 1"));
        } else if (args[i] == "--on") {
            out.on = true;
        } else if (!channels && !args[i].starts_with("-")) {
            channels = ParseChannelList(args[i]);
            if (!channels)
                return TrFormat(N_("CH is a channel 1-%1 or a list of different ones like 1,2, not '%2'"),
                                {std::to_string(kMaxChannels), args[i]});
        } else {
            return TrFormat(N_("unexpected argument '%1'"), {args[i]});
        }
    }
    if (!channels)
        return Tr(N_("which channel? (CH)"));
    if (!settings)
        return Tr(N_("--settings FILE is needed"));
    out.channels = *channels;
    out.settings = *settings;
    return std::nullopt;
}

// The time since the start and the value with the channel's decimals, as
// one line per value put out; with several channels each line begins with
// the channel's number, so that one channel's lines read as before.
class StepLines final : public PanelSessionObserver {
public:
    StepLines(const GeneratorModel& model, const std::vector<int>& channels, std::int64_t start)
        : m_model(model),
          m_bNumbered(channels.size() > 1),
          m_nStart(start)
    {
        for (int c : channels)
            m_running[static_cast<std::size_t>(c)] = true;
    }

    void Print(const AutoOutputEvent& e) const
    {
        std::string value = FormatFixed(e.value, m_model.ChannelLimits(e.channel).decimals);
        value.erase(0, value.find_first_not_of(' '));
        if (m_bNumbered)
            std::printf("%d ", e.channel + 1);
        // Due times are whole intervals, that is whole tenths, after the start.
        const long long tenths = (e.dueTime - m_nStart) / kMillisPerTenth;
        std::printf("t=%lld.%lld value=%s cycle=%d", tenths / 10, tenths % 10, value.c_str(), e.cycle);
        if (e.row >= 0)
            std::printf(" row=%d", e.row + 1); // numbered from 1, as the dialog's list and table check
        std::printf("\n");
        std::fflush(stdout);
    }

    void AutoOutputStepped(const AutoStepEvent& event) override
    {
        if (event.channel < 0 || event.channel >= kMaxChannels || !m_running[static_cast<std::size_t>(event.channel)])
            return;
        if (event.output)
            Print(*event.output);
        if (event.stopped)
            m_running[static_cast<std::size_t>(event.channel)] = false;
    }

    // Every channel named has stopped by itself.
    bool AllStopped() const
    {
        return std::none_of(m_running.begin(), m_running.end(), [](bool r) { return r; });
    }

private:
    const GeneratorModel& m_model;
    bool m_bNumbered;
    std::int64_t m_nStart;
    std::array<bool, kMaxChannels> m_running{};
};

// Reads the CSV into the channel's table as the settings dialog does: the
// rows it holds, the file over them, the check against the limits of the
// slot in use, and the rows stored. The check's message otherwise.
std::optional<std::string> LoadTable(const RangeInfo& limits, AutoOutputState& state, const std::string& path)
{
    ArbitraryTable table{};
    FillTableFromPoints(table, state.points, limits.decimals);
    std::string reason;
    if (!LoadCsvFileIntoTable(table, path, reason))
        return std::string(Tr(kCsvCannotOpenText)) + ": " + path + ": " + reason;
    const TableCheck check = CheckTable(table, limits.lower, limits.upper);
    if (check.error != TableError::None)
        return TrFormat(N_("%1 (row %2)"), {Tr(TableErrorText(check.error)), std::to_string(check.row + 1)});
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
        std::fprintf(stderr, "velmoractl: %s\n", TrFormat(kMsgCannotOpen, {args.settings}).c_str());
        return kExitFileRefused;
    }
    if (opened == OpenResult::EmptySkipped)
        std::fprintf(stderr, "velmoractl: %s\n", TrFormat(N_("%1 is empty"), {args.settings}).c_str());
    // A refused or cut file has said so through the prompter.
    if (opened != OpenResult::Read)
        return kExitFileRefused;

    // A table steps only an arbitrary output: read into a channel whose slot
    // is a ramp, it would be checked and stored, and then the ramp would run
    // as if no table had been named.
    if (args.csv) {
        for (int c : args.channels) {
            const AutoOutputSlot* slot = SlotInUse(doc.m_model, doc.m_autoOutput[static_cast<std::size_t>(c)], c);
            if (slot != nullptr && (slot->mode == kAutoSawtooth || slot->mode == kAutoTriangle))
                return UsageError(cmd,
                                  TrFormat(N_("--csv reads an arbitrary table, but channel %1 is set to %2"),
                                           {std::to_string(c + 1), Tr(AutoModeName(slot->mode))}));
        }
    }

    // A table that will be refused is refused before the unit is touched: the
    // connect would already have sent every channel's settings. Checked on a
    // copy, as the connect may still change the document (another channel
    // count brings the defaults), and read again into the document after it.
    if (args.csv) {
        for (int c : args.channels) {
            AutoOutputState scratch = doc.m_autoOutput[static_cast<std::size_t>(c)];
            if (const auto refused = LoadTable(doc.m_model.ChannelLimits(c), scratch, *args.csv)) {
                std::fprintf(stderr, "%s\n", refused->c_str());
                return kExitFileRefused;
            }
        }
    }

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

    for (int c : args.channels) {
        if (c >= doc.m_model.ChannelsInUse()) {
            std::fprintf(stderr, "velmoractl: %s\n",
                         TrFormat(N_("the unit has %1 channel(s); channel %2 is not one of them"),
                                  {std::to_string(doc.m_model.ChannelsInUse()), std::to_string(c + 1)})
                             .c_str());
            return kExitUsage;
        }
    }
    // Every table is read and checked before any output moves.
    if (args.csv) {
        for (int c : args.channels) {
            if (const auto refused =
                    LoadTable(doc.m_model.ChannelLimits(c), doc.m_autoOutput[static_cast<std::size_t>(c)], *args.csv)) {
                std::fprintf(stderr, "%s\n", refused->c_str());
                return kExitFileRefused;
            }
        }
    }
    if (args.on)
        for (int c : args.channels)
            if (!doc.m_model.IsOutputOn(c))
                doc.m_model.SwitchOutputOn(c);

    StepLines lines(doc.m_model, args.channels, session->Now());
    session->SetObserver(&lines);
    for (int c : args.channels) {
        const AutoControlResult started = session->StartAutoOutput(c);
        if (started.output)
            lines.Print(*started.output);
        if (session->IsAutoOutputStopped(c)) {
            std::fprintf(
                stderr, "velmoractl: %s\n",
                TrFormat(N_("channel %1: %2"), {std::to_string(c + 1), AutoStartRefusalText(started)}).c_str());
            session->SetObserver(nullptr);
            return kExitFileRefused;
        }
    }

    Clock& clock = link->GetClock();
    TickLoop ticks(clock);
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
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
        if (lines.AllStopped() || (end && clock.Now() >= *end) || OutputGone())
            break;
    }
    session->SetObserver(nullptr);
    return status;
}

} // namespace velmora::ctl
