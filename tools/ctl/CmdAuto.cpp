// The automatic outputs of one or more channels without a window: the
// settings document is opened, the unit connected as the window connects it,
// an arbitrary table read from a CSV file through the settings dialog's own
// load, check and store, and the outputs started in the order named and
// stepped on the panel session's ticks, one line per value put out, until
// every one has stopped by its repeat count or the time is up. At the end
// every output is written off, as when the window closes. While a running
// Velmora holds the port, the settings go to it and it steps the outputs;
// the command prints its steps and switches off the channels it named.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlNumbers.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "CtlTicks.h"
#include "autoout/ArbitraryTable.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelTexts.h"
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
// the channel's number, so that one channel's lines read as before. As JSON
// every step names its channel, and its value is the number the line shows.
class StepLines final : public PanelSessionObserver {
public:
    StepLines(const GeneratorModel& model, const std::vector<int>& channels, std::int64_t start, bool json)
        : m_model(model),
          m_bNumbered(channels.size() > 1),
          m_bJson(json),
          m_nStart(start)
    {
        for (int c : channels)
            m_running[static_cast<std::size_t>(c)] = true;
    }

    void Print(const AutoOutputEvent& e) const
    {
        std::string value = FormatFixed(e.value, m_model.ChannelLimits(e.channel).decimals);
        value.erase(0, value.find_first_not_of(' '));
        // Due times are whole intervals, that is whole tenths, after the start.
        const long long tenths = (e.dueTime - m_nStart) / kMillisPerTenth;
        if (m_bJson) {
            PrintJson(e, value, tenths);
            return;
        }
        if (m_bNumbered)
            std::printf("%d ", e.channel + 1);
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
    void PrintJson(const AutoOutputEvent& e, const std::string& shown, long long tenths) const
    {
        const ChannelSettings& s = m_model.channels[static_cast<std::size_t>(e.channel)];
        // The value as shown, so that both routes give the same number: the
        // one through a running Velmora comes back from a text in amperes.
        const double value = ParseValue(shown).value_or(e.value);
        JsonObject o;
        o.Add("time", IsoTimeOfSteadyMs(e.dueTime))
            .Add("elapsed", static_cast<double>(tenths) / 10.0)
            .Add("channel", e.channel + 1)
            .Add("value", value);
        if (s.useConversion)
            o.AddNull("unit");
        else
            o.Add("unit", IsCurrentRange(s.rangeCode) ? "mA" : "V");
        o.Add("cycle", e.cycle);
        if (e.row >= 0)
            o.Add("row", e.row + 1);
        else
            o.AddNull("row");
        PrintJsonLine(o);
    }

    const GeneratorModel& m_model;
    bool m_bNumbered;
    bool m_bJson;
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

// kExitOk when the unit has every channel named; otherwise the refusal is
// printed and its exit status returned.
int CheckChannelsInUse(const GeneratorModel& model, const std::vector<int>& channels)
{
    for (int c : channels) {
        if (c >= model.ChannelsInUse()) {
            std::fprintf(stderr, "velmoractl: %s\n",
                         TrFormat(N_("the unit has %1 channel(s); channel %2 is not one of them"),
                                  {std::to_string(model.ChannelsInUse()), std::to_string(c + 1)})
                             .c_str());
            return kExitUsage;
        }
    }
    return kExitOk;
}

// Every table read and checked into the document before any output moves.
int LoadTables(CVelmoraDoc& doc, const AutoArgs& args)
{
    if (!args.csv)
        return kExitOk;
    for (int c : args.channels) {
        if (const auto refused =
                LoadTable(doc.m_model.ChannelLimits(c), doc.m_autoOutput[static_cast<std::size_t>(c)], *args.csv)) {
            std::fprintf(stderr, "%s\n", refused->c_str());
            return kExitFileRefused;
        }
    }
    return kExitOk;
}

int StartRefused(int c, const std::string& why)
{
    std::fprintf(stderr, "velmoractl: %s\n", TrFormat(N_("channel %1: %2"), {std::to_string(c + 1), why}).c_str());
    return kExitFileRefused;
}

// --- Through a running Velmora ---

// The message that gives the program channel c's range, formula and the
// settings of the slot in use, as the document holds them; `range` is the
// key of the program's range now. Values go in the units the command tree
// takes: amperes or volts, the formula's units under the formula.
std::string ChannelSetup(const CVelmoraDoc& doc, int c, const std::string& range)
{
    const GeneratorModel& model = doc.m_model;
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    const AutoOutputState& state = doc.m_autoOutput[static_cast<std::size_t>(c)];
    const std::string n = std::to_string(c + 1);
    const std::string source = ":SOURce" + n;
    std::string m;
    // A range changes only while the output is off.
    if (range != RangeKey(s.rangeCode))
        m += ":OUTPut" + n + " OFF;" + source + ":RANGe " + std::to_string(s.rangeCode) + ";";
    if (s.useConversion)
        // The decimals first: the ends are taken as texts with them.
        m += source + ":CONVersion:DECimals " + std::to_string(s.convDecimals) + ";" + source + ":CONVersion:LOWer " +
            NumberText(s.convMin) + ";" + source + ":CONVersion:UPPer " + NumberText(s.convMax) + ";" + source +
            ":CONVersion ON;";
    else
        m += source + ":CONVersion OFF;";
    const auto value = [&s](double v) { return NumberText(s.useConversion ? v : ToBaseUnit(s.rangeCode, v)); };
    const AutoOutputSlot* slot = SlotInUse(model, state, c);
    if (slot == nullptr)
        return m;
    if (slot->mode == kAutoArbitrary) {
        std::string values;
        std::string dwells;
        for (const ArbitraryPoint& p : state.points) {
            if (!p.used)
                break;
            values += (values.empty() ? "" : ",") + value(p.value);
            dwells += (dwells.empty() ? "" : ",") + NumberText(p.interval / 10.0);
        }
        // Values and dwells wait for each other, and for the mode.
        m += source + ":LIST:VALues " + values + ";" + source + ":LIST:DWELl " + dwells + ";" + source +
            ":AUTO:MODE LIST;" + source + ":LIST:COUNt " + std::to_string(slot->repeat);
        return m;
    }
    // The fields before the mode: a slot that is a list holds them for it.
    m += source + ":RAMP:BEGin " + value(slot->start) + ";" + source + ":RAMP:END " + value(slot->end) + ";" + source +
        ":RAMP:STEP " + value(std::fabs(slot->step)) + ";" + source + ":RAMP:INTerval " +
        NumberText(slot->interval / 10.0) + ";" + source + ":AUTO:MODE " +
        (slot->mode == kAutoTriangle ? "TRIangle" : "SAWTooth") + ";" + source + ":RAMP:COUNt " +
        std::to_string(slot->repeat);
    return m;
}

// One channel's answer to [SOURce<n>]:AUTO:LAST?, as the stepping's event.
struct LastStep {
    bool running = false;
    std::int64_t due = 0;
    AutoOutputEvent event;
};
std::optional<LastStep> ParseLastStep(const GeneratorModel& model, int c, std::string_view answer)
{
    const std::vector<std::string> parts = Elements(answer);
    if (parts.size() != 5)
        return std::nullopt;
    const auto value = ParseValue(parts[1]);
    const auto cycle = IntegerAnswer(parts[2]);
    const auto row = IntegerAnswer(parts[3]);
    const auto due = IntegerAnswer(parts[4]);
    if (!value || !cycle || !row || !due)
        return std::nullopt;
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    LastStep last;
    last.running = parts[0] != "STOP";
    last.due = *due;
    last.event.channel = c;
    last.event.value = s.useConversion ? *value : FromBaseUnit(s.rangeCode, *value);
    last.event.cycle = static_cast<std::int32_t>(*cycle);
    last.event.row = static_cast<std::int32_t>(*row) - 1; // 0 for a ramp: none
    last.event.dueTime = *due;
    return last;
}

// The text of an error entry, without its number.
std::string ErrorText(const std::string& entry)
{
    const std::vector<std::string> parts = Elements(entry);
    return parts.size() == 2 ? StringText(parts[1]).value_or(entry) : entry;
}

using LastSteps = std::array<std::optional<LastStep>, kMaxChannels>;

// Each channel's range, formula and slot in use to the program; kExitOk, or
// the exit status of the failure, which has been printed.
int SendAutoSettings(const Invocation& inv, ScpiConnection& program, const CVelmoraDoc& doc, const AutoArgs& args)
{
    for (int c : args.channels) {
        int rc = kExitOk;
        const auto range = AskAnswer(inv, program, ":SOURce" + std::to_string(c + 1) + ":RANGe?", rc);
        if (!range)
            return rc;
        const auto reply = Ask(program, ChannelSetup(doc, c, StringText(*range).value_or("")));
        if (!reply)
            return ProgramGone(inv);
        if (!reply->Ok())
            return ProgramRefused(program, reply->error);
    }
    return kExitOk;
}

// Every output switched on when asked and started, in one message, so that
// the starts fall in one turn of the program as the direct command's fall
// between two ticks; `steps` gets each start's value.
int StartThrough(const Invocation& inv, ScpiConnection& program, const CVelmoraDoc& doc, const AutoArgs& args,
                 LastSteps& steps)
{
    std::string start;
    std::string last;
    for (int c : args.channels) {
        const std::string n = std::to_string(c + 1);
        if (args.on)
            start += ":OUTPut" + n + " ON;";
        last += ";:SOURce" + n + ":AUTO:LAST?";
    }
    for (int c : args.channels)
        start += ":INITiate" + std::to_string(c + 1) + ";";
    const auto started = Ask(program, start + last.substr(1));
    if (!started)
        return ProgramGone(inv);
    if (started->answers.size() == args.channels.size()) {
        for (std::size_t k = 0; k < args.channels.size(); ++k) {
            const int c = args.channels[k];
            steps[static_cast<std::size_t>(c)] = ParseLastStep(doc.m_model, c, started->answers[k]);
        }
    }
    if (!started->Ok()) {
        // The first channel in order that did not start is the refused one.
        for (int c : args.channels) {
            const auto& step = steps[static_cast<std::size_t>(c)];
            if (!step || !step->running)
                return StartRefused(c, ErrorText(started->error));
        }
        return ProgramRefused(program, started->error);
    }
    for (int c : args.channels)
        if (!steps[static_cast<std::size_t>(c)])
            return ProgramGone(inv);
    return kExitOk;
}

// Every tick asks for the last value of every channel, and a value with a
// due time of its own is a step: printed, in channel order as the direct
// command's within a tick. A step shorter than the time between two answers
// goes unprinted (see the man page). Until every channel has stopped, the
// time is up, a stop signal, or the program goes.
int FollowSteps(ScpiConnection& program, const CVelmoraDoc& doc, const AutoArgs& args, StepLines& lines,
                LastSteps& steps, Prompter& prompter)
{
    std::vector<int> order = args.channels;
    std::sort(order.begin(), order.end());
    std::string message = ":SYSTem:CONNected?";
    for (int c : order)
        message += ";:SOURce" + std::to_string(c + 1) + ":AUTO:LAST?";
    ProgramPoll poll(program, message);

    Clock& clock = SteadyClock();
    TickLoop ticks(clock);
    ticks.WatchInput(program.Fd());
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return kExitNoAnswer;
    }
    const auto lost = [&prompter] {
        prompter.Message(kMsgConnectionReleased, kCaptionWarning, PromptIcon::Exclamation);
        return kExitNoAnswer;
    };
    const std::optional<Nanos> end =
        args.seconds ? std::optional<Nanos>(clock.Now() + std::chrono::seconds(*args.seconds)) : std::nullopt;
    while (!lines.AllStopped()) {
        const TickLoop::Wake wake = ticks.Wait();
        if (wake == TickLoop::Wake::Stop)
            break;
        if (wake == TickLoop::Wake::Input) {
            const auto reply = poll.Answer();
            if (poll.Ended())
                return lost();
            if (!reply || reply->answers.size() != order.size() + 1)
                continue;
            if (reply->answers[0] != "1")
                return lost();
            for (std::size_t k = 0; k < order.size(); ++k) {
                const int c = order[k];
                auto& before = steps[static_cast<std::size_t>(c)];
                const auto now = ParseLastStep(doc.m_model, c, reply->answers[k + 1]);
                if (!now)
                    continue;
                AutoStepEvent event;
                event.channel = c;
                if (now->due != before->due)
                    event.output = now->event;
                event.stopped = !now->running;
                lines.AutoOutputStepped(event);
                before = now;
            }
            continue;
        }
        if ((end && clock.Now() >= *end) || OutputGone())
            break;
        if (!poll.Ask())
            return lost();
    }
    return kExitOk;
}

// The same run through the program that holds the port: what the connect
// would do to the document, the same checks and refusals before anything is
// sent, then the document's settings of each channel named sent to it, the
// outputs started there, and every step printed as its answers show it.
int AutoThrough(const Invocation& inv, ScpiConnection& program, CVelmoraDoc& doc, const AutoArgs& args,
                Prompter& prompter)
{
    int rc = kExitOk;
    const auto countAnswer = AskAnswer(inv, program, "SYSTem:CHANnel?", rc);
    if (!countAnswer)
        return rc;
    const auto count = IntegerAnswer(*countAnswer);
    if (!count)
        return ProgramGone(inv);
    // Another channel count brings the defaults, as the connect does.
    if (*count != doc.m_model.channelCount) {
        prompter.Message(kMsgChannelCountSwitched, kCaptionWarning, PromptIcon::Exclamation);
        doc.SetChannelCount(static_cast<int>(*count));
    }
    if ((rc = CheckChannelsInUse(doc.m_model, args.channels)) != kExitOk)
        return rc;
    if ((rc = LoadTables(doc, args)) != kExitOk)
        return rc;
    // A start the stepping would refuse is refused before anything is sent,
    // with its own words: tried on a copy of the document.
    for (int c : args.channels) {
        GeneratorModel model = doc.m_model;
        auto states = doc.m_autoOutput;
        AutoOutputRunner trial(model, states);
        const AutoControlResult started = trial.Start(c, 0);
        if (started.refused != AutoStartRefusal::None)
            return StartRefused(c, AutoStartRefusalText(started));
    }

    // From here every way out stops the runs and writes the outputs off, as
    // the direct command writes them off; the program's other channels are
    // its operator's.
    std::string off;
    for (int c : args.channels) {
        const std::string n = std::to_string(c + 1);
        off += ":ABORt";
        off += n;
        off += ";:OUTPut";
        off += n;
        off += " OFF;";
    }
    struct Shutdown {
        ScpiConnection& program;
        std::string message;
        ~Shutdown() { Ask(program, message + "*OPC?"); }
    } const shutdown{program, off};

    if ((rc = SendAutoSettings(inv, program, doc, args)) != kExitOk)
        return rc;
    LastSteps steps{};
    if ((rc = StartThrough(inv, program, doc, args, steps)) != kExitOk)
        return rc;
    StepLines lines(doc.m_model, args.channels, steps[static_cast<std::size_t>(args.channels[0])]->due, inv.json);
    for (int c : args.channels)
        lines.Print(steps[static_cast<std::size_t>(c)]->event);
    return FollowSteps(program, doc, args, lines, steps, prompter);
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
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return AutoThrough(inv, *program, doc, args, prompter);
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    const auto session = PanelSession::Create(doc, *link, prompter);
    RecordThrough(*session, inv);
    const PanelSession::ConnectOutcome outcome = session->Connect(inv.port);
    if (outcome != PanelSession::ConnectOutcome::Connected)
        return kExitNoAnswer;

    // From here every way out writes the outputs off and disconnects.
    struct Shutdown {
        PanelSession& session;
        ~Shutdown() { session.ShutdownForClose(); }
    } const shutdown{*session};

    if (int rc = CheckChannelsInUse(doc.m_model, args.channels); rc != kExitOk)
        return rc;
    if (int rc = LoadTables(doc, args); rc != kExitOk)
        return rc;
    if (args.on)
        for (int c : args.channels)
            if (!doc.m_model.IsOutputOn(c))
                doc.m_model.SwitchOutputOn(c);

    StepLines lines(doc.m_model, args.channels, session->Now(), inv.json);
    session->SetObserver(&lines);
    for (int c : args.channels) {
        const AutoControlResult started = session->StartAutoOutput(c);
        if (started.output)
            lines.Print(*started.output);
        if (session->IsAutoOutputStopped(c)) {
            session->SetObserver(nullptr);
            return StartRefused(c, AutoStartRefusalText(started));
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
    // The runs still going end here, as the operator's stop would end them:
    // the record says so before the outputs are written off.
    for (int c = 0; c < kMaxChannels; ++c) {
        if (session->IsConnected() && !session->IsAutoOutputStopped(c))
            session->Operations().StopAutoOutput(c, nullptr);
    }
    session->SetObserver(nullptr);
    return status;
}

} // namespace velmora::ctl
