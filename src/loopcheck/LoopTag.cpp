#include "loopcheck/LoopTag.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "model/RangeTable.h"
#include "platform/JsonText.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

// A margin for the last bits of the arithmetic: (75.75 - 75) / 150 x 100 is
// 0.5000000000000047 in binary, and a reading the technician read as exactly
// the tolerance must pass.
constexpr double kJudgeMargin = 1e-9;

// Control characters (C0, DEL) and bytes that are not UTF-8 make a text that
// no report, CSV or terminal shows as typed.
bool HasControlOrBadUtf8(std::string_view text, bool allowLineBreaks)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            if (!(allowLineBreaks && c == '\n'))
                return true;
            ++i;
            continue;
        }
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int more = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c <= 0xDF ? 1 : -1;
        if (more < 0 || i + static_cast<std::size_t>(more) >= text.size())
            return true;
        for (int k = 1; k <= more; ++k) {
            const auto n = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((n & 0xC0) != 0x80)
                return true;
        }
        // Overlong three-byte forms and surrogates.
        if (more == 2) {
            const auto n = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xE0 && n < 0xA0) || (c == 0xED && n >= 0xA0))
                return true;
        }
        if (more == 3) {
            const auto n = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xF0 && n < 0x90) || (c == 0xF4 && n >= 0x90))
                return true;
        }
        // C1 controls, U+0080-U+009F.
        if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return true;
        i += static_cast<std::size_t>(more) + 1;
    }
    return false;
}

TagProblem Problem(const char* field, std::string message)
{
    return TagProblem{field, std::move(message)};
}

} // namespace

bool IsCleanText(std::string_view text, bool allowLineBreaks)
{
    return !HasControlOrBadUtf8(text, allowLineBreaks);
}

const char* LoopTransferKey(LoopTransfer transfer)
{
    return transfer == LoopTransfer::SquareRoot ? "sqrt" : "linear";
}

std::optional<LoopTransfer> LoopTransferFromKey(std::string_view key)
{
    if (key == "linear")
        return LoopTransfer::Linear;
    if (key == "sqrt")
        return LoopTransfer::SquareRoot;
    return std::nullopt;
}

std::vector<double> LoopTag::DefaultPoints()
{
    return {0.0, 25.0, 50.0, 75.0, 100.0};
}

std::vector<double> WithWayDown(const std::vector<double>& points)
{
    std::vector<double> all = points;
    if (points.size() < 2)
        return all;
    for (auto it = points.rbegin() + 1; it != points.rend(); ++it)
        all.push_back(*it);
    return all;
}

std::optional<std::vector<double>> ParsePointList(std::string_view text)
{
    std::vector<double> points;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string_view part =
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        double v = 0.0;
        const auto r = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() || !std::isfinite(v))
            return std::nullopt;
        points.push_back(v);
        if (comma == std::string_view::npos)
            return points;
        start = comma + 1;
    }
}

std::string ShortNumber(double value)
{
    if (value == 0.0)
        return "0"; // also for -0
    return JsonNumber(value);
}

std::string PointListText(const std::vector<double>& points)
{
    std::string text;
    for (double p : points) {
        if (!text.empty())
            text += ',';
        text += ShortNumber(p);
    }
    return text;
}

std::optional<TagProblem> ValidateTag(const LoopTag& tag)
{
    if (tag.name.empty())
        return Problem("name", Tr(N_("the tag needs a name")));
    if (tag.name.size() > LoopTag::kMaxNameBytes)
        return Problem("name",
                       TrFormat(N_("the tag name is longer than %1 bytes"), {std::to_string(LoopTag::kMaxNameBytes)}));
    if (HasControlOrBadUtf8(tag.name, false) || tag.name.front() == ' ' || tag.name.back() == ' ')
        return Problem("name",
                       Tr(N_("the tag name holds control characters, bytes that are not UTF-8, or "
                             "spaces at an end")));
    const struct {
        const char* field;
        const std::string& text;
        bool lines;
    } texts[] = {{"description", tag.description, true}, {"location", tag.location, true}, {"unit", tag.unit, false}};
    for (const auto& t : texts) {
        if (t.text.size() > LoopTag::kMaxTextBytes || HasControlOrBadUtf8(t.text, t.lines))
            return Problem(t.field,
                           TrFormat(N_("the %1 is longer than %2 bytes, holds control characters or "
                                       "bytes that are not UTF-8"),
                                    {t.field, std::to_string(LoopTag::kMaxTextBytes)}));
    }
    if (tag.channel < 1 || tag.channel > 4)
        return Problem("channel", TrFormat(N_("the channel is 1 to 4, not %1"), {std::to_string(tag.channel)}));
    const auto code = RangeCodeFromKey(tag.range);
    if (!code || *code == kConversionSlot)
        return Problem("range",
                       TrFormat(N_("there is no output range '%1' (4_20mA, 0_20mA, 0_24mA, E4_20mA, "
                                   "E0_24mA, 0_5V, 1_5V, 0_10V, -5_5V, -10_10V)"),
                                {tag.range}));
    if (!std::isfinite(tag.lrv) || !std::isfinite(tag.urv))
        return Problem("lrv", Tr(N_("LRV and URV must be numbers")));
    if (tag.lrv == tag.urv)
        return Problem("urv", TrFormat(N_("LRV and URV are both %1: the span is zero"), {ShortNumber(tag.lrv)}));
    if (!std::isfinite(tag.urv - tag.lrv))
        return Problem("urv", Tr(N_("the span from LRV to URV is too large")));
    if (!std::isfinite(tag.tolerance) || tag.tolerance <= 0.0)
        return Problem("tolerance",
                       TrFormat(N_("the tolerance must be above 0 % of span, not %1"), {ShortNumber(tag.tolerance)}));
    if (tag.adjustLimit) {
        if (!std::isfinite(*tag.adjustLimit) || *tag.adjustLimit <= 0.0)
            return Problem(
                "adjust_limit",
                TrFormat(N_("the adjust limit must be above 0 % of span, not %1"), {ShortNumber(*tag.adjustLimit)}));
        if (*tag.adjustLimit >= tag.tolerance)
            return Problem("adjust_limit",
                           TrFormat(N_("the adjust limit (%1 %) must be tighter than the tolerance (%2 %)"),
                                    {ShortNumber(*tag.adjustLimit), ShortNumber(tag.tolerance)}));
    }
    if (tag.points.empty())
        return Problem("points", Tr(N_("the test needs at least one point")));
    if (tag.points.size() > LoopTag::kMaxPoints)
        return Problem("points", TrFormat(N_("a test has at most %1 points"), {std::to_string(LoopTag::kMaxPoints)}));
    for (double p : tag.points) {
        if (!std::isfinite(p) || p < 0.0 || p > 100.0)
            return Problem("points", TrFormat(N_("the point %1 is outside 0-100 %"), {ShortNumber(p)}));
    }
    if (!std::isfinite(tag.settleSeconds) || tag.settleSeconds < 0.0 || tag.settleSeconds > LoopTag::kMaxSettleSeconds)
        return Problem("settle",
                       TrFormat(N_("the settle time is 0 to %1 seconds, not %2"),
                                {ShortNumber(LoopTag::kMaxSettleSeconds), ShortNumber(tag.settleSeconds)}));
    if (tag.decimals < 0 || tag.decimals > LoopTag::kMaxDecimals)
        return Problem("decimals",
                       TrFormat(N_("the decimals are 0 to %1, not %2"),
                                {std::to_string(LoopTag::kMaxDecimals), std::to_string(tag.decimals)}));
    return std::nullopt;
}

const char* PointVerdictKey(PointVerdict verdict)
{
    switch (verdict) {
    case PointVerdict::Pass:
        return "pass";
    case PointVerdict::Adjust:
        return "adjust";
    case PointVerdict::Fail:
        return "fail";
    }
    return "fail";
}

std::optional<PointVerdict> PointVerdictFromKey(std::string_view key)
{
    for (PointVerdict v : {PointVerdict::Pass, PointVerdict::Adjust, PointVerdict::Fail})
        if (key == PointVerdictKey(v))
            return v;
    return std::nullopt;
}

double TransferFraction(LoopTransfer transfer, double percent)
{
    const double f = percent / 100.0;
    return transfer == LoopTransfer::SquareRoot ? std::sqrt(std::fmax(f, 0.0)) : f;
}

std::optional<double> SignalForPercent(const std::string& rangeKey, double percent)
{
    const auto code = RangeCodeFromKey(rangeKey);
    if (!code || *code == kConversionSlot)
        return std::nullopt;
    const RangeInfo info = GetRangeInfo(*code);
    return info.lower + percent / 100.0 * (info.upper - info.lower);
}

std::string SignalUnit(const std::string& rangeKey)
{
    const auto code = RangeCodeFromKey(rangeKey);
    if (!code || *code == kConversionSlot)
        return {};
    return IsCurrentRange(*code) ? "mA" : "V";
}

double ExpectedReading(const LoopTag& tag, double percent)
{
    return tag.lrv + TransferFraction(tag.transfer, percent) * (tag.urv - tag.lrv);
}

double ErrorPercentOfSpan(const LoopTag& tag, double expected, double reading)
{
    return (reading - expected) / (tag.urv - tag.lrv) * 100.0;
}

PointVerdict JudgeError(const LoopTag& tag, double errorPercent)
{
    const double e = std::fabs(errorPercent);
    if (!(e <= tag.tolerance + kJudgeMargin))
        return PointVerdict::Fail;
    if (tag.adjustLimit && e > *tag.adjustLimit + kJudgeMargin)
        return PointVerdict::Adjust;
    return PointVerdict::Pass;
}

std::string FormatReading(const LoopTag& tag, double value)
{
    std::string text = FormatFixed(value, tag.decimals < 0 || tag.decimals > 6 ? 6 : tag.decimals);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

std::string FormatErrorPercent(double errorPercent)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+.2f", errorPercent);
    std::string text = buf;
    // A tiny negative error rounds to "-0.00", which reads as a direction.
    if (text == "-0.00")
        text = "+0.00";
    return text;
}

} // namespace velmora
