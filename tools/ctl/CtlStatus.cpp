#include "CtlStatus.h"

#include <array>
#include <cstdio>
#include <vector>

#include "CtlForward.h"
#include "CtlJson.h"

#include "panelcore/PanelTexts.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"

namespace velmora::ctl {

std::optional<StatusOrigin> StatusReplyOrigin(std::string_view line)
{
    if (line.size() < 2 || line[0] != kStx || line[1] != 'R' || !VerifyFrame(line, kStatusReplyLength))
        return std::nullopt;
    return StatusOrigin{line[2] - '1', static_cast<int>(HexField(line, 3, 2)), HexField(line, 49, 4)};
}

std::optional<StatusOrigin> TakeStatusReply(GeneratorModel& model, std::string_view line)
{
    const auto origin = StatusReplyOrigin(line);
    if (!origin || !ApplyStatusReply(model, line))
        return std::nullopt;
    model.channels[static_cast<std::size_t>(origin->channel)].rangeCode = origin->rangeCode;
    return origin;
}

std::optional<StatusOrigin> TakeStatusWords(GeneratorModel& model, int ch, std::string_view words)
{
    const std::vector<std::string> parts = Elements(words);
    if (ch < 0 || ch >= kMaxChannels || parts.size() != 4)
        return std::nullopt;
    std::array<long long, 4> v{};
    for (std::size_t k = 0; k < v.size(); ++k) {
        const auto n = IntegerAnswer(parts[k]);
        // The range a reply names is two hex digits; the others are words.
        if (!n || *n < 0 || *n > (k == 0 ? 0xFF : 0xFFFF))
            return std::nullopt;
        v[k] = *n;
    }
    ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
    s.rangeCode = static_cast<int>(v[0]);
    s.statusWord = static_cast<std::uint16_t>(v[1]);
    s.extStatusWord = static_cast<std::uint16_t>(v[2]);
    if (v[0] < kSlotCount)
        s.userAdjustment[static_cast<std::size_t>(v[0])].adjustSelect = static_cast<std::uint16_t>(v[3]);
    return StatusOrigin{ch, s.rangeCode, static_cast<unsigned>(v[3])};
}

void PrintStatusLine(const GeneratorModel& model, const StatusOrigin& origin, bool json)
{
    if (json) {
        PrintJsonLine(StatusJson(model, origin.channel, origin.rangeCode, origin.select));
        return;
    }
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(origin.channel)];
    std::printf("%d range=%d status=%04X ext=%04X adjust=%u alarm=%s\n", origin.channel + 1, origin.rangeCode,
                static_cast<unsigned>(s.statusWord), static_cast<unsigned>(s.extStatusWord), origin.select & 0x3u,
                AlarmText(model.AlarmCode(origin.channel)).c_str());
    std::fflush(stdout);
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
