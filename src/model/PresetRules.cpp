#include "model/PresetRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "model/CheckMessage.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"

namespace velmora {

bool InPresetRange(double value, double lower, double upper)
{
    if (upper > lower)
        return lower <= value && value <= upper;
    return upper <= value && value <= lower;
}

double TruncateTypedValue(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    // The shortest decimal text that reads back as the same double is what
    // the operator typed (or what the edit showed); cutting its digits keeps
    // every decimal the operator sees. The largest double prints as 309 digits
    // and the smallest as 0. and 324 places.
    char buffer[400];
    auto printed = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed);
    if (printed.ec != std::errc())
        return TruncateToDecimals(value, decimals);
    std::string_view text(buffer, static_cast<std::size_t>(printed.ptr - buffer));
    std::size_t dot = text.find('.');
    if (dot != std::string_view::npos) {
        std::size_t keep = decimals == 0 ? dot : dot + 1 + static_cast<std::size_t>(decimals);
        text = text.substr(0, std::min(keep, text.size()));
    }
    double cut = 0.0;
    auto parsed = std::from_chars(text.data(), text.data() + text.size(), cut, std::chars_format::fixed);
    if (parsed.ec != std::errc())
        return TruncateToDecimals(value, decimals);
    // -0.05 cut to one decimal is -0.0, which would print as "-0.0".
    return cut == 0.0 ? 0.0 : cut;
}

std::string PresetEditText(double value, int decimals)
{
    return FormatEditValue(value, std::clamp(decimals, 0, kMaxDecimals));
}

PresetCheck CheckPresetTexts(const PresetTexts& texts, const PresetLimits& limits)
{
    PresetCheck check;
    for (int k = 0; k < kPresetCount; ++k) {
        std::optional<double> value = ParseWholeNumber(TrimSpaces(texts[static_cast<std::size_t>(k)]));
        if (!value) {
            check.error = PresetError::InputWrong;
            check.index = k;
            return check;
        }
        if (!InPresetRange(*value, limits.lower, limits.upper)) {
            check.error = PresetError::OutOfRange;
            check.index = k;
            return check;
        }
        check.values[static_cast<std::size_t>(k)] = TruncateTypedValue(*value, limits.decimals);
    }
    return check;
}

const char* PresetErrorText(PresetError error)
{
    switch (error) {
    case PresetError::InputWrong:
        return kInputWrongText;
    case PresetError::OutOfRange:
        return kOutOfRangeText;
    case PresetError::None:
        break;
    }
    return "";
}

std::optional<PresetValues> AcceptPresets(const PresetTexts& texts, const PresetLimits& limits, Prompter& prompter)
{
    PresetCheck check = CheckPresetTexts(texts, limits);
    if (check.error != PresetError::None) {
        ShowCheckMessage(prompter, PresetErrorText(check.error));
        return std::nullopt;
    }
    return check.values;
}

} // namespace velmora
