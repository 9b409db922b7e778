// The panel's polling without a window: the panel session's ticks, every
// 50 ms one line from the unit taken and one status request sent to the next
// channel. A line is printed whenever a channel's alarm or adjustment mark
// changes, and the unit counts as lost after 100 requests without any answer.
// The monitor only watches: it sends no channel's settings. While a running
// Velmora holds the port, the monitor asks it for every channel's status
// words four times a second instead, and prints the same lines.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlNumbers.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "CtlStatus.h"
#include "CtlTicks.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "platform/Translate.h"

namespace velmora::ctl {

namespace {

// The channel count the unit reports, asked once: a unit that does not answer
// is left to the lost-unit watch rather than refused at once.
std::optional<int> AskChannelCount(GeneratorLink& link)
{
    int count = 0;
    const bool answered = AskOnce(link, BuildChannelCountQuery(), [&count](std::string_view line) {
        if (line.substr(0, 2) != "CH")
            return false;
        const char d = line.size() > 2 ? line[2] : 0;
        count = d == '1' ? 1 : d == '2' ? 2 : d == '4' ? 4 : 0;
        return true;
    });
    if (!answered || count == 0)
        return std::nullopt;
    return count;
}

// What the monitor prints: a line per change of a channel's alarm or mark,
// as the replies come in; each reply's range is the channel's (the monitor
// has no settings of its own to know it from).
class MonitorLines final : public PanelSessionObserver {
public:
    MonitorLines(GeneratorModel& model, bool json) : m_model(model), m_bJson(json) { }

    void ReplyTaken(std::string_view line) override
    {
        if (const auto origin = TakeStatusReply(m_model, line))
            Show(origin->channel);
    }

    // Channel ch as the model now has it: a line when its alarm or mark
    // changed.
    void Show(int ch)
    {
        Shown& before = m_shown[static_cast<std::size_t>(ch)];
        Shown now{AlarmText(m_model.AlarmCode(ch)), before.mark};
        if (const auto mark = ChannelMark(m_model, ch))
            now.mark = *mark;
        if (now.alarm == before.alarm && now.mark == before.mark)
            return;
        before = now;
        if (m_bJson) {
            PrintJsonLine(JsonObject()
                              .Add("time", IsoTimeUtc(std::chrono::system_clock::now()))
                              .Add("channel", ch + 1)
                              .Add("alarm", m_model.AlarmCode(ch))
                              .Add("alarm_text", now.alarm)
                              .Add("mark", now.mark));
            return;
        }
        std::printf("%d alarm=%s mark=%s\n", ch + 1, now.alarm.c_str(), now.mark.c_str());
        std::fflush(stdout);
    }

private:
    struct Shown {
        std::string alarm;
        std::string mark;
    };
    GeneratorModel& m_model;
    bool m_bJson;
    std::array<Shown, kMaxChannels> m_shown{};
};

// Every channel's words from the program that holds the port, four times a
// second, as its panel polls them; the same lines. The program going, or
// losing the unit, ends the monitor as a lost unit does.
int MonitorThrough(ScpiConnection& program, std::optional<long long> seconds, bool json)
{
    // The program gone ends the lines as a lost unit ends the direct
    // monitor's: on standard output, or with --json on standard error.
    StreamPrompter stream(json ? stderr : stdout);
    Prompter& lines = stream;
    const auto lost = [&lines] {
        lines.Message(kMsgConnectionReleased, kCaptionWarning, PromptIcon::Exclamation);
        return kExitNoAnswer;
    };
    const auto count = Ask(program, "SYSTem:CHANnel?");
    if (!count)
        return lost();
    const int channels = count->Ok() && count->answers.size() == 1
        ? static_cast<int>(std::clamp<long long>(IntegerAnswer(count->answers[0]).value_or(1), 1, kMaxChannels))
        : 1;
    std::string message = ":SYSTem:CONNected?";
    for (int ch = 0; ch < channels; ++ch)
        message += ";:SOURce" + std::to_string(ch + 1) + ":STATus:WORDs?";
    ProgramPoll poll(program, message);

    GeneratorModel model;
    MonitorLines shown(model, json);
    Clock& clock = SteadyClock();
    TickLoop ticks(clock);
    ticks.WatchInput(program.Fd());
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return kExitNoAnswer;
    }
    const std::optional<Nanos> end =
        seconds ? std::optional<Nanos>(clock.Now() + std::chrono::seconds(*seconds)) : std::nullopt;
    for (int tick = 0;;) {
        const TickLoop::Wake wake = ticks.Wait();
        if (wake == TickLoop::Wake::Stop)
            break;
        if (wake == TickLoop::Wake::Input) {
            const auto reply = poll.Answer();
            if (poll.Ended())
                return lost();
            if (!reply || reply->answers.size() != static_cast<std::size_t>(channels) + 1)
                continue;
            if (reply->answers[0] != "1")
                return lost();
            for (int ch = 0; ch < channels; ++ch)
                if (TakeStatusWords(model, ch, reply->answers[static_cast<std::size_t>(ch) + 1]))
                    shown.Show(ch);
            continue;
        }
        if ((end && clock.Now() >= *end) || OutputGone())
            break;
        if (tick++ % PanelSession::kRefreshEvery == 0 && !poll.Ask())
            return lost();
    }
    return kExitOk;
}

} // namespace

int RunMonitor(const Invocation& inv)
{
    const Command& cmd = FindCommand("monitor");
    std::optional<long long> seconds;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const std::string& a = inv.args[i];
        std::optional<std::string> value;
        if (a == "--seconds") {
            if (i + 1 >= inv.args.size())
                return UsageError(cmd, Tr(N_("--seconds needs a number of seconds")));
            value = inv.args[++i];
        } else if (a.starts_with("--seconds=")) {
            value = a.substr(10);
        } else {
            return UsageError(cmd, TrFormat(N_("unexpected argument '%1'"), {a}));
        }
        seconds = ParseSeconds(*value);
        if (!seconds)
            return UsageError(
                cmd, TrFormat(N_("--seconds wants a whole number of seconds, at least 1, not '%1'"), {*value}));
    }

    // Before the link starts its reader thread, which inherits the mask.
    BlockStopSignals();
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return MonitorThrough(*program, seconds, inv.json);
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;

    // The lost unit is the monitor's last line on standard output; among
    // JSON lines it is a message, on standard error.
    StreamPrompter lines(inv.json ? stderr : stdout);
    CVelmoraDoc doc(lines, CVelmoraDoc::NoStateFile{});
    if (const auto count = AskChannelCount(*link))
        doc.m_model.channelCount = *count;
    else
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1: no answer to \"CH\"; polling channel 1"), {inv.port}).c_str());

    const auto session = PanelSession::Create(doc, *link, lines);
    // A monitor only watches: its record is the alarms it saw.
    RecordThrough(*session, inv, record_source::kCtl, true);
    MonitorLines shown(doc.m_model, inv.json);
    session->SetObserver(&shown);
    session->WatchOpenPort();

    Clock& clock = link->GetClock();
    TickLoop ticks(clock);
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return kExitNoAnswer;
    }
    const std::optional<Nanos> end =
        seconds ? std::optional<Nanos>(clock.Now() + std::chrono::seconds(*seconds)) : std::nullopt;
    while (ticks.Wait() == TickLoop::Wake::Tick) {
        session->OnTick();
        if (!session->IsConnected())
            return kExitNoAnswer;
        if ((end && clock.Now() >= *end) || OutputGone())
            break;
    }
    session->SetObserver(nullptr);
    return kExitOk;
}

} // namespace velmora::ctl
