#include "panelcore/OutputRules.h"

#include <algorithm>
#include <cmath>

#include "model/NumberText.h"
#include "model/PresetRules.h"
#include "model/RangeTable.h"
#include "panelcore/PanelLayout.h"

namespace velmora {

namespace {

// Rows: decimals 0-6; columns: positions 0-5. With decimals d > 0 the
// character at position d is the decimal point.
constexpr double kStepTable[7][6] = {
    {1, 10, 100, 1000, 10000, 100000},
    {0.1, 0, 1, 10, 100, 1000},
    {0.01, 0.1, 0, 1, 10, 100},
    {0.001, 0.01, 0.1, 0, 1, 10},
    {0.0001, 0.001, 0.01, 0.1, 0, 1},
    {0.00001, 0.0001, 0.001, 0.01, 0.1, 0},
    {0.000001, 0.00001, 0.0001, 0.001, 0.01, 0.1},
};

constexpr int kFirstStepId = 322; // channel 0, position 0, up

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The p-th character from the right, if the text has one.
std::optional<char> FromRight(const std::string& text, int p)
{
    if (p < 0 || static_cast<std::size_t>(p) >= text.size())
        return std::nullopt;
    return text[text.size() - 1 - static_cast<std::size_t>(p)];
}

} // namespace

double StepSize(int decimals, int position)
{
    if (decimals < 0 || decimals > 6 || position < 0 || position >= kDigitPositions)
        return 0.0;
    return kStepTable[decimals][position];
}

std::optional<StepTarget> DecodeStepId(int id)
{
    const int rel = id - kFirstStepId;
    if (rel < 0)
        return std::nullopt;
    const int channel = rel / 50;
    const int within = rel % 50;
    if (channel >= kColumnCount || within > kSignDownOffset - kFirstStepOffset)
        return std::nullopt;
    return StepTarget{channel, within / 2, within % 2};
}

int StepButtonId(int channel, int position, int direction)
{
    return ChannelBase(channel) + kFirstStepOffset + 2 * position + (direction == kStepDown ? 1 : 0);
}

double ClampToLimits(double value, const RangeInfo& limits)
{
    if (limits.upper > limits.lower)
        return std::min(limits.upper, std::max(limits.lower, value));
    return std::max(limits.upper, std::min(limits.lower, value));
}

double SteppedValue(double setValue, int position, int direction, const RangeInfo& limits)
{
    double step = StepSize(limits.decimals, position);
    if (direction == kStepDown)
        step = -step;
    double v = setValue + step;
    if (position == kSignPosition) {
        if (direction == kStepUp && v < 0.0)
            v = -v;
        else if (direction == kStepDown && v > 0.0)
            v = -v;
    }
    return ClampToLimits(v, limits);
}

StepVisibility VisibleSteps(const RangeInfo& limits)
{
    // The columns are read from the right, so the width of the field the
    // limits are printed in (only blanks on the left) changes nothing.
    const std::string lower = FormatFixed(limits.lower, limits.decimals);
    const std::string upper = FormatFixed(limits.upper, limits.decimals);
    StepVisibility vis;
    for (int p = 0; p < kDigitPositions; ++p) {
        const auto a = FromRight(lower, p);
        const auto b = FromRight(upper, p);
        vis.digit[static_cast<std::size_t>(p)] = (a && IsAsciiDigit(*a)) || (b && IsAsciiDigit(*b));
    }
    vis.sign = limits.lower < 0.0 || limits.upper < 0.0;
    return vis;
}

TypedText StripLineBreaks(std::string_view text)
{
    TypedText out;
    out.text.reserve(text.size());
    for (char c : text) {
        if (c == '\r' || c == '\n')
            out.enter = true;
        else
            out.text += c;
    }
    return out;
}

std::optional<double> ParseTypedValue(std::string_view text)
{
    const auto value = ParseWholeNumber(text);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

double CommitTypedValue(double value, const RangeInfo& limits)
{
    return TruncateTypedValue(ClampToLimits(value, limits), limits.decimals);
}

} // namespace velmora
