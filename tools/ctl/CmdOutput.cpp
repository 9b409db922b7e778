// One channel's output and every channel's state: `set` writes a channel's
// settings as the panel builds them, `status` asks the unit for its status
// words once per channel.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlNumbers.h"
#include "CtlLink.h"
#include "CtlStatus.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"
#include "platform/Translate.h"

namespace velmora::ctl {

namespace {

} // namespace

int RunSet(const Invocation& inv)
{
    const Command& cmd = FindCommand("set");
    std::optional<int> ch;
    std::optional<int> range;
    std::optional<double> value;
    std::optional<bool> on;
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
            value = ParseValue(**v);
            if (!value)
                return UsageError(cmd, TrFormat(N_("'%1' is not a number"), {**v}));
            continue;
        }
        if (a == "--on" || a == "--off") {
            const bool want = a == "--on";
            if (on && *on != want)
                return UsageError(cmd, Tr(N_("--on and --off exclude each other")));
            on = want;
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

    // The record as the panel would leave it: the range with its starting
    // value, then the value the operator typed held to the range's limits
    // and decimals, then the output switch.
    GeneratorModel model;
    model.SetRange(*ch, *range);
    if (value) {
        const RangeInfo limits = model.ChannelLimits(*ch);
        const double lo = std::min(limits.lower, limits.upper);
        const double hi = std::max(limits.lower, limits.upper);
        model.SetSetValue(*ch, TruncateToDecimals(std::clamp(*value, lo, hi), limits.decimals));
    }
    if (on.value_or(false))
        model.SwitchOutputOn(*ch);
    else
        model.SwitchOutputOff(*ch);

    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    SendChannelSettings(*link, *ch, model.channels[static_cast<std::size_t>(*ch)]);
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
        unsigned select = 0;
        const bool answered = AskOnce(*link, BuildStatusRequest(ch), [&](std::string_view line) {
            const auto o = StatusReplyOrigin(line);
            // A late reply for another channel is not this one's answer.
            if (!o || o->channel != ch)
                return false;
            origin = TakeStatusReply(model, line);
            select = HexField(line, 49, 4);
            return origin.has_value();
        });
        if (!answered) {
            std::fprintf(stderr, "velmoractl: %s\n",
                         TrFormat(N_("%1: channel %2 did not answer"), {inv.port, std::to_string(ch + 1)}).c_str());
            rc = kExitNoAnswer;
            continue;
        }
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
        std::printf("%d range=%d status=%04X ext=%04X adjust=%u alarm=%s\n", ch + 1, origin->rangeCode,
                    static_cast<unsigned>(s.statusWord), static_cast<unsigned>(s.extStatusWord), select & 0x3u,
                    AlarmText(model.AlarmCode(ch)).c_str());
        std::fflush(stdout);
    }
    return rc;
}

} // namespace velmora::ctl
