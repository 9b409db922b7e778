// The panel's polling without a window: every 50 ms one line from the unit is
// taken and one status request goes to the next channel; a line is printed
// whenever a channel's alarm or adjustment mark changes, and the unit counts
// as lost after 100 requests without any answer.
//
// The ticks keep to deadlines counted from the start on the steady clock, so
// they do not drift; between ticks the thread sleeps in sigtimedwait, which
// also takes SIGINT and SIGTERM (blocked for the whole process, the serial
// reader included) as the request to stop.
#include <signal.h>
#include <time.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "CtlStatus.h"
#include "model/GeneratorModel.h"
#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "protocol/StatusPoller.h"

namespace velmora::ctl {

namespace {

constexpr auto kTick = std::chrono::milliseconds(50);
// A tick later than this is not caught up with: the ticks start again from
// now rather than firing a burst of requests at the unit.
constexpr auto kMaxLag = std::chrono::milliseconds(500);
constexpr long long kMaxSeconds = 100LL * 365 * 24 * 3600;

std::optional<long long> ParseSeconds(const std::string& text)
{
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || v < 1 || v > kMaxSeconds)
        return std::nullopt;
    return v;
}

// Sleeps until `deadline` on the clock. True when SIGINT or SIGTERM came.
bool SleepUntil(const Clock& clock, Nanos deadline, const sigset_t& stopSignals)
{
    for (;;) {
        const Nanos left = deadline - clock.Now();
        if (left <= Nanos(0))
            return false;
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
        ts.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
        if (sigtimedwait(&stopSignals, nullptr, &ts) > 0)
            return true;
        // EAGAIN: the time is up; EINTR: some other signal — look again.
    }
}

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

struct Shown {
    std::string alarm;
    std::string mark;
};

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
                return UsageError(cmd, "--seconds needs a number of seconds");
            value = inv.args[++i];
        } else if (a.starts_with("--seconds=")) {
            value = a.substr(10);
        } else {
            return UsageError(cmd, "unexpected argument '" + a + "'");
        }
        seconds = ParseSeconds(*value);
        if (!seconds)
            return UsageError(cmd, "--seconds wants a whole number of seconds, at least 1, not '" + *value + "'");
    }

    // Blocked before the link starts its reader thread, which inherits the
    // mask: the signals then wait for sigtimedwait instead of killing us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;

    GeneratorModel model;
    if (const auto count = AskChannelCount(*link))
        model.channelCount = *count;
    else
        std::fprintf(stderr, "velmoractl: %s: no answer to \"CH\"; polling channel 1\n", inv.port.c_str());

    StatusPoller poller(*link, model);
    poller.m_bPolling = true;
    std::array<Shown, kMaxChannels> shown{};

    const Clock& clock = link->GetClock();
    Nanos next = clock.Now();
    const std::optional<Nanos> end =
        seconds ? std::optional<Nanos>(next + std::chrono::seconds(*seconds)) : std::nullopt;
    for (;;) {
        if (poller.ReadReply()) {
            // The line the poller accepted is still in the line buffer.
            if (const auto origin = TakeStatusReply(model, link->LastLine())) {
                const int ch = origin->channel;
                Shown now{AlarmText(model.AlarmCode(ch)), shown[static_cast<std::size_t>(ch)].mark};
                if (const auto mark = ChannelMark(model, ch))
                    now.mark = *mark;
                Shown& before = shown[static_cast<std::size_t>(ch)];
                if (now.alarm != before.alarm || now.mark != before.mark) {
                    std::printf("%d alarm=%s mark=%s\n", ch + 1, now.alarm.c_str(), now.mark.c_str());
                    std::fflush(stdout);
                    before = now;
                }
            }
        }
        if (poller.PollNext()) {
            link->Disconnect();
            std::printf("%s\n", kMsgConnectionReleased);
            std::fflush(stdout);
            return kExitNoAnswer;
        }

        next += kTick;
        if (end && next >= *end)
            return kExitOk;
        if (clock.Now() - next > kMaxLag)
            next = clock.Now();
        if (SleepUntil(clock, next, stopSignals))
            return kExitOk;
    }
}

} // namespace velmora::ctl
