// One channel's output and every channel's state: `set` writes a channel's
// settings as the panel builds them, `status` asks the unit for its status
// words once per channel; or both ask the running Velmora that holds the
// port.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlNumbers.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "CtlStatus.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"
#include "platform/Translate.h"

namespace velmora::ctl {

namespace {

struct SetArgs {
    int ch = 0;
    int range = 0;
    std::optional<double> value;
    std::optional<bool> on;
};

// kExitOk with `out` filled, or the usage error's exit status.
int ParseSetArgs(const Invocation& inv, SetArgs& out)
{
    const Command& cmd = FindCommand("set");
    std::optional<int> ch;
    std::optional<int> range;
    const auto& args = inv.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (auto v = OptionValue(args, i, "--range")) {
            if (!*v)
                return UsageError(cmd, Tr(N_("--range needs a range code (0-15) or a range name")));
            range = ParseRange(**v);
            if (!range)
                return UsageError(
                    cmd, TrFormat(N_("'%1' is no range code (0-15) or range name (4_20mA, 0_10V, ...)"), {**v}));
            continue;
        }
        if (auto v = OptionValue(args, i, "--value")) {
            if (!*v)
                return UsageError(cmd, Tr(N_("--value needs a number")));
            out.value = ParseValue(**v);
            if (!out.value)
                return UsageError(cmd, TrFormat(N_("'%1' is not a number"), {**v}));
            continue;
        }
        if (a == "--on" || a == "--off") {
            const bool want = a == "--on";
            if (out.on && *out.on != want)
                return UsageError(cmd, Tr(N_("--on and --off exclude each other")));
            out.on = want;
            continue;
        }
        if (a.starts_with("--"))
            return UsageError(cmd, TrFormat(N_("unknown option '%1'"), {a}));
        if (ch)
            return UsageError(cmd, TrFormat(N_("unexpected argument '%1'"), {a}));
        ch = ParseChannel(a);
        if (!ch)
            return UsageError(cmd, TrFormat(N_("the channel is 1 to 4, not '%1'"), {a}));
    }
    if (!ch)
        return UsageError(cmd, Tr(N_("which channel (1-4)?")));
    if (!range)
        return UsageError(cmd, Tr(N_("--range is required")));
    out.ch = *ch;
    out.range = *range;
    return kExitOk;
}

// The record as the panel would leave it: the range with its starting
// value, then the value the operator typed held to the range's limits and
// decimals, then the output switch.
GeneratorModel PlannedChannel(const SetArgs& args)
{
    GeneratorModel model;
    model.SetRange(args.ch, args.range);
    if (args.value) {
        const RangeInfo limits = model.ChannelLimits(args.ch);
        const double lo = std::min(limits.lower, limits.upper);
        const double hi = std::max(limits.lower, limits.upper);
        model.SetSetValue(args.ch, TruncateToDecimals(std::clamp(*args.value, lo, hi), limits.decimals));
    }
    if (args.on.value_or(false))
        model.SwitchOutputOn(args.ch);
    else
        model.SwitchOutputOff(args.ch);
    return model;
}

// The same record through the program that holds the port, as its panel
// would be set: a range changes only while the output is off, so the output
// goes off first when it does. *OPC? answers once the values are on the
// wire, as the direct command flushes its frame before it ends.
int SetThrough(const Invocation& inv, ScpiConnection& program, const SetArgs& args, const GeneratorModel& model)
{
    const std::string n = std::to_string(args.ch + 1);
    int rc = kExitOk;
    const auto range = AskAnswer(inv, program, ":SOURce" + n + ":RANGe?", rc);
    if (!range)
        return rc;
    std::string message;
    if (StringText(*range) != RangeKey(args.range))
        message += ":OUTPut" + n + " OFF;:SOURce" + n + ":RANGe " + std::to_string(args.range) + ";";
    const double value = model.channels[static_cast<std::size_t>(args.ch)].setValue;
    message += ":SOURce" + n + (IsCurrentRange(args.range) ? ":CURRent " : ":VOLTage ") +
        NumberText(ToBaseUnit(args.range, value)) + ";:OUTPut" + n + (model.IsOutputOn(args.ch) ? " ON" : " OFF") +
        ";*OPC?";
    const auto reply = Ask(program, message);
    if (!reply)
        return ProgramGone(inv);
    return reply->Ok() ? kExitOk : ProgramRefused(program, reply->error);
}

int ChannelDidNotAnswer(const Invocation& inv, int ch)
{
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(N_("%1: channel %2 did not answer"), {inv.port, std::to_string(ch + 1)}).c_str());
    return kExitNoAnswer;
}

// Each channel's words as the program holding the port last had them from
// the unit.
int StatusThrough(const Invocation& inv, ScpiConnection& program, std::optional<int> only)
{
    std::vector<int> channels;
    if (only) {
        channels.push_back(*only);
    } else {
        int rc = kExitOk;
        const auto answer = AskAnswer(inv, program, "SYSTem:CHANnel?", rc);
        if (!answer)
            return rc;
        for (int ch = 0; ch < IntegerAnswer(*answer).value_or(0); ++ch)
            channels.push_back(ch);
    }
    GeneratorModel model;
    int rc = kExitOk;
    for (int ch : channels) {
        const auto reply = Ask(program, ":SOURce" + std::to_string(ch + 1) + ":STATus:WORDs?");
        if (!reply)
            return ProgramGone(inv);
        // A channel the unit does not have is refused by the program.
        const auto origin =
            reply->Ok() && reply->answers.size() == 1 ? TakeStatusWords(model, ch, reply->answers[0]) : std::nullopt;
        if (!origin) {
            rc = ChannelDidNotAnswer(inv, ch);
            continue;
        }
        PrintStatusLine(model, *origin, inv.json);
    }
    return rc;
}

} // namespace

int RunSet(const Invocation& inv)
{
    SetArgs args;
    if (int rc = ParseSetArgs(inv, args); rc != kExitOk)
        return rc;
    const GeneratorModel model = PlannedChannel(args);
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return SetThrough(inv, *program, args, model);

    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    RecordThrough(*link, inv);
    SendChannelSettings(*link, args.ch, model.channels[static_cast<std::size_t>(args.ch)]);
    // The program ends here: the frame must be with the port before it closes.
    link->FlushWire();
    return kExitOk;
}

int RunStatus(const Invocation& inv)
{
    if (int rc = CheckArgCount("status", inv, 1); rc != kExitOk)
        return rc;
    std::optional<int> only;
    if (!inv.args.empty()) {
        only = ParseChannel(inv.args[0]);
        if (!only)
            return UsageError(FindCommand("status"), TrFormat(N_("the channel is 1 to 4, not '%1'"), {inv.args[0]}));
    }

    if (const auto program = ConnectThroughRunningVelmora(inv))
        return StatusThrough(inv, *program, only);

    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    std::vector<int> channels;
    if (only) {
        channels.push_back(*only);
    } else {
        const int count = link->QueryChannelCount();
        if (count < 0)
            return NoAnswer(inv);
        for (int ch = 0; ch < count; ++ch)
            channels.push_back(ch);
    }

    GeneratorModel model;
    int rc = kExitOk;
    for (int ch : channels) {
        std::optional<StatusOrigin> origin;
        const bool answered = AskOnce(*link, BuildStatusRequest(ch), [&](std::string_view line) {
            const auto o = StatusReplyOrigin(line);
            // A late reply for another channel is not this one's answer.
            if (!o || o->channel != ch)
                return false;
            origin = TakeStatusReply(model, line);
            return origin.has_value();
        });
        if (!answered) {
            rc = ChannelDidNotAnswer(inv, ch);
            continue;
        }
        PrintStatusLine(model, *origin, inv.json);
    }
    return rc;
}

} // namespace velmora::ctl
