#include "CtlStatus.h"

#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"

namespace velmora::ctl {

std::optional<StatusOrigin> StatusReplyOrigin(std::string_view line)
{
    if (line.size() < 2 || line[0] != kStx || line[1] != 'R' || !VerifyFrame(line, kStatusReplyLength))
        return std::nullopt;
    return StatusOrigin{line[2] - '1', static_cast<int>(HexField(line, 3, 2))};
}

std::optional<StatusOrigin> TakeStatusReply(GeneratorModel& model, std::string_view line)
{
    const auto origin = StatusReplyOrigin(line);
    if (!origin || !ApplyStatusReply(model, line))
        return std::nullopt;
    model.channels[static_cast<std::size_t>(origin->channel)].rangeCode = origin->rangeCode;
    return origin;
}

std::optional<std::string> ChannelMark(const GeneratorModel& model, int ch)
{
    if (ch < 0 || ch >= kMaxChannels)
        return std::nullopt;
    const int r = model.channels[static_cast<std::size_t>(ch)].rangeCode;
    if (r < 0 || r >= kSlotCount)
        return std::nullopt;
    auto mark = AdjustMarkText(
        model.channels[static_cast<std::size_t>(ch)].userAdjustment[static_cast<std::size_t>(r)].adjustSelect);
    if (!mark)
        return std::nullopt;
    // " M " is padded for the panel's label; a terminal line wants the letter.
    std::string letter;
    for (char c : *mark)
        if (c != ' ')
            letter += c;
    return letter;
}

bool AskOnce(GeneratorLink& link, std::string frame, const std::function<bool(std::string_view)>& accept)
{
    ExchangePlan plan;
    plan.mode = LinkSerial;
    plan.frame = std::move(frame);
    plan.busy = false;
    plan.resetLineBeforeSend = true;
    plan.timeoutRetries = 0;
    const auto judge = [&accept](std::string_view line) {
        return accept(line) ? ReplyVerdict::Accept : ReplyVerdict::Ignore;
    };
    return link.RunExchange(plan, judge) == ExchangeOutcome::Accepted;
}

} // namespace velmora::ctl
