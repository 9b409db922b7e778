// The unit's output corrections from a script: show both sets, change the
// user set of one channel and range, drive one test output, initialise every
// user adjustment. The bounds and the truncation are the adjustment
// dialog's; a correction must be a finite number (the dialog would take
// "inf" as its bound, a script more likely means a mistake).
//
// A test output is held while the operator reads the meter and then
// switched off, as the dialog switches it off when it closes: a unit left
// driving the end of its range after the command has gone is a hazard
// nobody is looking at. --leave-on is the deliberate exception.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlNumbers.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "CtlTicks.h"
#include "adjust/AdjustSession.h"
#include "adjust/AdjustText.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/NumberText.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "protocol/AdjustmentCommands.h"
#include "platform/Translate.h"

namespace velmora::ctl {

namespace {

// The usage row of one sub-command, for its errors.
const Command& Row(const std::string& sub)
{
    for (const Command& c : CommandTable())
        if (std::string(c.usage).starts_with("adjust " + sub))
            return c;
    return FindCommand("adjust");
}

// What was asked and how the unit answered, as the report says it.
int Unanswered(const Invocation& inv, const char* what, int ch, int rangeCode, AdjustOutcome outcome)
{
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(N_("%1: %2 (channel %3, %4, %5 %6)"),
                          {inv.port, Tr(kReportCommErrorText), std::to_string(ch + 1), Tr(RangeDisplayName(rangeCode)),
                           Tr(what), Tr(AdjustOutcomeText(outcome))})
                     .c_str());
    return kExitNoAnswer;
}

// "0_5V (0), 0_10V (1), ...": what a RANGE may be.
std::string RangeNames()
{
    std::string s;
    for (int code = 0; code < kSlotCount; ++code) {
        if (!IsReportedRange(code))
            continue;
        if (!s.empty())
            s += ", ";
        s += RangeKey(code) + " (" + std::to_string(code) + ")";
    }
    return s;
}

struct Target {
    int ch = 0;
    int rangeCode = 0;
};

// CH RANGE at args[1], args[2]: an output range of a channel.
std::optional<Target> ParseTarget(const Invocation& inv, const std::string& sub, int& rc)
{
    const Command& row = Row(sub);
    if (inv.args.size() < 3) {
        rc = UsageError(row, TrFormat(N_("adjust %1 needs a channel and a range"), {sub}));
        return std::nullopt;
    }
    const auto ch = ParseChannel(inv.args[1]);
    if (!ch) {
        rc = UsageError(row, TrFormat(N_("'%1' is no channel (1-4)"), {inv.args[1]}));
        return std::nullopt;
    }
    const auto code = ParseRange(inv.args[2]);
    if (!code || !IsReportedRange(*code)) {
        rc = UsageError(row, TrFormat(N_("'%1' is no output range: %2"), {inv.args[2], RangeNames()}));
        return std::nullopt;
    }
    return Target{*ch, *code};
}

// --min Z or --max G: a number held to the dialog's bounds and truncated
// toward zero as the dialog does; what changed in that is said.
std::optional<std::int16_t> ParseCorrection(const std::string& option, const std::string& text, AdjustSide side,
                                            int rangeCode, const Command& row, int& rc)
{
    const std::optional<double> typed = ParseWholeNumber(text);
    if (text.empty() || !typed || !std::isfinite(*typed)) {
        rc = UsageError(row, TrFormat(N_("%1 needs a number, not '%2'"), {option, text}));
        return std::nullopt;
    }
    const int lo = CorrectionFloor(side, rangeCode);
    const std::int16_t held = *TypedCorrection(text, lo, kCorrectionLimit);
    if (*typed < lo || *typed > kCorrectionLimit)
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1 %2 held at %3 (%4 to %5 on %6)"),
                              {option, text, std::to_string(held), std::to_string(lo), std::to_string(kCorrectionLimit),
                               RangeKey(rangeCode)})
                         .c_str());
    else if (*typed != held)
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1 %2 taken as %3"), {option, text, std::to_string(held)}).c_str());
    return held;
}

struct Options {
    std::optional<int> select;
    std::optional<std::string> min;
    std::optional<std::string> max;
    std::optional<int> point;
    std::optional<long long> seconds;
    bool store = false;
    bool yes = false;
    bool leaveOn = false;
};

// 0 to `hi`, one digit.
std::optional<int> Digit(const std::string& text, int hi)
{
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '0' + hi)
        return text[0] - '0';
    return std::nullopt;
}

// The options after the positional arguments that `sub` allows.
std::optional<Options> ParseOptions(const Invocation& inv, std::size_t from, const std::string& sub, int& rc)
{
    const Command& row = Row(sub);
    const std::vector<std::string>& args = inv.args;
    const bool correction = sub == "set" || sub == "test";
    const auto refuse = [&](const std::string& text) {
        rc = UsageError(row, text);
        return std::nullopt;
    };
    Options o;
    for (std::size_t i = from; i < args.size(); ++i) {
        if (args[i] == "--store" && sub == "set") {
            o.store = true;
        } else if (args[i] == "--yes" && sub == "init") {
            o.yes = true;
        } else if (args[i] == "--leave-on" && sub == "test") {
            o.leaveOn = true;
        } else if (auto seconds = sub == "test" ? OptionValue(args, i, "--seconds") : std::nullopt) {
            if (!*seconds || !(o.seconds = ParseSeconds(**seconds)))
                return refuse(Tr(N_("--seconds wants a whole number of seconds, at least 1")));
        } else if (auto select = sub == "set" ? OptionValue(args, i, "--select") : std::nullopt) {
            if (!*select || !(o.select = Digit(**select, 2)))
                return refuse(Tr(N_("--select takes 0 (none), 1 (maker) or 2 (user)")));
        } else if (auto point = sub == "test" ? OptionValue(args, i, "--point") : std::nullopt) {
            if (!*point || !(o.point = Digit(**point, 2)))
                return refuse(Tr(N_("--point takes 0 (off), 1 (the lower end) or 2 (the upper end)")));
        } else if (auto minText = correction ? OptionValue(args, i, "--min") : std::nullopt) {
            if (!*minText)
                return refuse(Tr(N_("--min needs a number")));
            o.min = **minText;
        } else if (auto maxText = correction ? OptionValue(args, i, "--max") : std::nullopt) {
            if (!*maxText)
                return refuse(Tr(N_("--max needs a number")));
            o.max = **maxText;
        } else {
            return refuse(TrFormat(N_("unexpected argument '%1'"), {args[i]}));
        }
    }
    if (o.leaveOn && o.seconds)
        return refuse(Tr(N_("--leave-on keeps the test output on; --seconds switches it off: give one of them")));
    return o;
}

// The link and the unit's channel count; `only`, when given, must be one of
// its channels.
std::unique_ptr<GeneratorLink> Open(const Invocation& inv, Prompter& prompter, GeneratorModel& model,
                                    std::optional<int> only, int& rc)
{
    auto link = ConnectUnit(inv, prompter);
    if (!link) {
        rc = kExitNoAnswer;
        return nullptr;
    }
    RecordThrough(*link, inv);
    const int count = link->QueryChannelCount();
    if (count < 0) {
        rc = NoAnswer(inv);
        return nullptr;
    }
    model.channelCount = count;
    if (only && *only >= count) {
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1: channel %2 is not in use; the unit has %3"),
                              {inv.port, std::to_string(*only + 1), std::to_string(count)})
                         .c_str());
        rc = kExitUsage;
        return nullptr;
    }
    return link;
}

// What set and test are given: CH RANGE, their options, the corrections
// held to the range's bounds.
struct Request {
    Target target;
    Options options;
    std::optional<std::int16_t> minC;
    std::optional<std::int16_t> maxC;
};

std::optional<Request> ParseRequest(const Invocation& inv, const std::string& sub, int& rc)
{
    Request q;
    const auto target = ParseTarget(inv, sub, rc);
    if (!target)
        return std::nullopt;
    q.target = *target;
    const auto options = ParseOptions(inv, 3, sub, rc);
    if (!options)
        return std::nullopt;
    q.options = *options;
    const int code = q.target.rangeCode;
    if (q.options.min && !(q.minC = ParseCorrection("--min", *q.options.min, AdjustSide::Min, code, Row(sub), rc)))
        return std::nullopt;
    if (q.options.max && !(q.maxC = ParseCorrection("--max", *q.options.max, AdjustSide::Max, code, Row(sub), rc)))
        return std::nullopt;
    return q;
}

int Show(const Invocation& inv)
{
    std::optional<int> only;
    if (inv.args.size() > 2)
        return UsageError(Row("show"), TrFormat(N_("unexpected argument '%1'"), {inv.args[2]}));
    if (inv.args.size() == 2 && !(only = ParseChannel(inv.args[1])))
        return UsageError(Row("show"), TrFormat(N_("'%1' is no channel (1-4)"), {inv.args[1]}));
    StderrPrompter prompter;
    GeneratorModel model;
    int rc = kExitOk;
    auto link = Open(inv, prompter, model, only, rc);
    if (!link)
        return rc;
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        if (only && ch != *only)
            continue;
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
        for (int code = 0; code < kSlotCount; ++code) {
            if (!IsReportedRange(code))
                continue;
            // The report's order: the maker set first; the select word comes
            // with either read and is taken from the user read.
            if (const AdjustOutcome o = ReadAdjustment(*link, model, LinkSerial, ch, kAdjustMaker, code); !Answered(o))
                return Unanswered(inv, N_("maker read"), ch, code, o);
            if (const AdjustOutcome o = ReadAdjustment(*link, model, LinkSerial, ch, kAdjustUser, code); !Answered(o))
                return Unanswered(inv, N_("user read"), ch, code, o);
            const auto r = static_cast<std::size_t>(code);
            if (inv.json) {
                PrintJsonLine(AdjustmentJson(ch, code, s.makerCorrection[r], s.userAdjustment[r]));
                continue;
            }
            std::printf("%s\n", FormatAdjustLine(ch, code, s.makerCorrection[r], s.userAdjustment[r]).c_str());
            std::fflush(stdout);
        }
    }
    return kExitOk;
}

int Set(const Invocation& inv)
{
    int rc = kExitOk;
    const auto q = ParseRequest(inv, "set", rc);
    if (!q)
        return rc;
    const Options* options = &q->options;
    const auto& minC = q->minC;
    const auto& maxC = q->maxC;
    if (!options->select && !minC && !maxC && !options->store)
        return UsageError(Row("set"), Tr(N_("nothing to set: give --select, --min, --max or --store")));

    StderrPrompter prompter;
    GeneratorModel model;
    auto link = Open(inv, prompter, model, q->target.ch, rc);
    if (!link)
        return rc;
    const int ch = q->target.ch;
    const int code = q->target.rangeCode;
    if (const AdjustOutcome o = ReadAdjustment(*link, model, LinkSerial, ch, kAdjustUser, code); !Answered(o))
        return Unanswered(inv, N_("user read"), ch, code, o);

    UserAdjustment& u = model.channels[static_cast<std::size_t>(ch)].userAdjustment[static_cast<std::size_t>(code)];
    if (options->select)
        u.adjustSelect = WithSelectBits(u.adjustSelect, *options->select);
    if (minC)
        u.minCorrection = static_cast<std::uint16_t>(*minC);
    if (maxC)
        u.maxCorrection = MaxCorrectionWord(*maxC);
    if (const AdjustOutcome o = TransferAdjustment(*link, model, LinkSerial, ch, code, kAdjustUser); !Answered(o))
        return Unanswered(inv, N_("transfer"), ch, code, o);
    if (options->store) {
        if (const AdjustOutcome o = StoreAdjustment(*link, LinkSerial, kAdjustUser); !Answered(o))
            return Unanswered(inv, N_("store"), ch, code, o);
    }
    std::printf("%d %s user=%d,%d select=%u%s\n", ch + 1, RangeKey(code).c_str(),
                static_cast<std::int16_t>(u.minCorrection), SignedMaxCorrection(u.maxCorrection),
                u.adjustSelect & kSelectBits, options->store ? " stored" : "");
    return kExitOk;
}

// Where the operator ends a held test output from.
struct HoldInput {
    bool present = false;  // standard input is open at all
    bool terminal = false; // and is a terminal
};

// Holds until a line (Enter) or the end of input on a terminal, SIGINT or
// SIGTERM, or `seconds` on the link's clock. Without a terminal, lines on
// standard input are a script's own business and only its end counts; with
// --seconds as well it is not watched at all, so that a script run with
// /dev/null as its input still holds for the time asked. What ends the hold
// is said on standard error before it starts. False when the wait cannot be
// set up (the output is switched off all the same).
bool HoldTestOutput(Clock& clock, HoldInput input, std::optional<long long> seconds)
{
    const bool watch = input.terminal || !seconds;
    TickLoop ticks(clock);
    if (watch && input.present)
        ticks.WatchInput(STDIN_FILENO);
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return false;
    }
    const std::string n = seconds ? std::to_string(*seconds) : std::string();
    std::string said;
    if (input.terminal)
        said = seconds
            ? TrFormat(N_("holding the test output for %1 s; Enter, SIGINT or SIGTERM switches it off sooner"), {n})
            : Tr(N_("holding the test output; Enter, SIGINT or SIGTERM switches it off"));
    else
        said = seconds ? TrFormat(N_("holding the test output for %1 s; SIGINT or SIGTERM switches it off sooner"), {n})
                       : Tr(N_("holding the test output until standard input ends, SIGINT or SIGTERM"));
    std::fprintf(stderr, "velmoractl: %s\n", said.c_str());
    // No standard input at all has ended already.
    if (watch && !input.present)
        return true;
    const std::optional<Nanos> end =
        seconds ? std::optional<Nanos>(clock.Now() + std::chrono::seconds(*seconds)) : std::nullopt;
    for (;;) {
        switch (ticks.Wait()) {
        case TickLoop::Wake::Stop:
            return true;
        case TickLoop::Wake::Tick:
            if (end && clock.Now() >= *end)
                return true;
            break;
        case TickLoop::Wake::Input: {
            char buf[256];
            const ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                break;
            // Ended, or gone (a terminal hung up): nobody is left to end it.
            if (got <= 0)
                return true;
            if (input.terminal && std::memchr(buf, '\n', static_cast<std::size_t>(got)) != nullptr)
                return true;
            break;
        }
        }
    }
}

int Test(const Invocation& inv)
{
    int rc = kExitOk;
    const auto q = ParseRequest(inv, "test", rc);
    if (!q)
        return rc;
    const Options* options = &q->options;
    if (!options->point)
        return UsageError(Row("test"), Tr(N_("--point is required: 0 off, 1 the lower end, 2 the upper end")));
    std::optional<std::int16_t> minC = q->minC;
    std::optional<std::int16_t> maxC = q->maxC;
    const bool hold = *options->point != kTestOff && !options->leaveOn;
    // Before anything opens a descriptor that could take the place of a
    // closed standard input.
    HoldInput input;
    input.present = fcntl(STDIN_FILENO, F_GETFD) != -1;
    input.terminal = input.present && isatty(STDIN_FILENO) != 0;
    // Before the link starts its reader thread, which inherits the mask: a
    // stop that comes while the output is being set still switches it off.
    if (hold)
        BlockStopSignals();

    StderrPrompter prompter;
    GeneratorModel model;
    auto link = Open(inv, prompter, model, q->target.ch, rc);
    if (!link)
        return rc;
    const int ch = q->target.ch;
    const int code = q->target.rangeCode;
    // A correction not given is tried as the unit holds it.
    if (!minC || !maxC) {
        if (const AdjustOutcome o = ReadAdjustment(*link, model, LinkSerial, ch, kAdjustUser, code); !Answered(o))
            return Unanswered(inv, N_("user read"), ch, code, o);
        const UserAdjustment& u =
            model.channels[static_cast<std::size_t>(ch)].userAdjustment[static_cast<std::size_t>(code)];
        minC = minC ? minC : std::optional<std::int16_t>(static_cast<std::int16_t>(u.minCorrection));
        maxC = maxC ? maxC : std::optional<std::int16_t>(SignedMaxCorrection(u.maxCorrection));
    }
    const auto send = [&](int point) {
        return TestAdjustment(*link, point, ch, code, static_cast<std::uint16_t>(*minC), MaxCorrectionWord(*maxC));
    };
    // A test output the unit did not confirm may still have been taken:
    // switched off all the same before saying so.
    if (const AdjustOutcome o = send(*options->point); !Answered(o)) {
        if (*options->point != kTestOff)
            (void)send(kTestOff);
        return Unanswered(inv, N_("test output"), ch, code, o);
    }
    std::printf("%s\n", FormatTestOutputLine(ch, *options->point, code, *minC, *maxC).c_str());
    std::fflush(stdout);
    if (*options->point == kTestOff)
        return kExitOk;
    if (options->leaveOn) {
        std::fprintf(
            stderr, "velmoractl: %s\n",
            TrFormat(N_("the test output stays on; end it with: velmoractl --port %1 adjust test %2 %3 --point 0"),
                     {inv.port, std::to_string(ch + 1), RangeKey(code)})
                .c_str());
        return kExitOk;
    }
    const bool held = HoldTestOutput(link->GetClock(), input, options->seconds);
    if (const AdjustOutcome o = send(kTestOff); !Answered(o))
        return Unanswered(inv, N_("test output off"), ch, code, o);
    std::printf("%s\n", FormatTestOutputLine(ch, kTestOff, code, *minC, *maxC).c_str());
    return held ? kExitOk : kExitNoAnswer;
}

int Init(const Invocation& inv)
{
    int rc = kExitOk;
    const auto options = ParseOptions(inv, 1, "init", rc);
    if (!options)
        return rc;
    if (!options->yes)
        return UsageError(Row("init"), Tr(N_("this resets every user adjustment of the unit; give --yes to go ahead")));
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    RecordThrough(*link, inv);
    if (const AdjustOutcome o = InitUserAdjustment(*link); !Answered(o)) {
        std::fprintf(
            stderr, "velmoractl: %s\n",
            TrFormat(N_("%1: %2 (initialisation %3)"), {inv.port, Tr(kReportCommErrorText), Tr(AdjustOutcomeText(o))})
                .c_str());
        return kExitNoAnswer;
    }
    std::printf("user adjustments initialised\n");
    return kExitOk;
}

} // namespace

int RunAdjust(const Invocation& inv)
{
    // Corrections are read, written and tested in exchanges of their own,
    // which a program that polls the unit meanwhile would break into.
    if (int rc = RefuseWhileHeld(inv); rc != kExitOk)
        return rc;
    const std::string sub = inv.args.empty() ? std::string() : inv.args[0];
    if (sub == "show")
        return Show(inv);
    if (sub == "set")
        return Set(inv);
    if (sub == "test")
        return Test(inv);
    if (sub == "init")
        return Init(inv);
    std::fprintf(stderr, "velmoractl: %s\n",
                 sub.empty() ? Tr(N_("adjust needs show, set, test or init"))
                             : TrFormat(N_("unknown adjust command '%1'"), {sub}).c_str());
    for (const Command& c : CommandTable())
        if (std::string_view(c.name) == "adjust")
            std::fprintf(stderr, "usage: velmoractl --port PATH %s\n", c.usage);
    return kExitUsage;
}

} // namespace velmora::ctl
