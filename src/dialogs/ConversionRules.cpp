#include "dialogs/ConversionRules.h"

#include <algorithm>
#include <cmath>

#include "model/CheckMessage.h"
#include "model/NumberText.h"

namespace velmora {

namespace {

std::string Without(std::string text, const char* characters)
{
    std::erase_if(text,
                  [characters](char c) { return std::string_view(characters).find(c) != std::string_view::npos; });
    return text;
}

int Length(const std::string& text)
{
    return static_cast<int>(text.size());
}

// One edit's text: trimmed, parsed in full, with the count of its decimals.
struct TypedValue {
    std::string text;
    double value = 0.0;
    int decimals = 0;
};

std::optional<TypedValue> ReadTyped(const std::string& raw)
{
    TypedValue typed;
    typed.text = TrimSpaces(raw);
    if (typed.text.empty())
        return std::nullopt;
    std::optional<double> value = ParseWholeNumber(typed.text);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    typed.value = *value;
    typed.decimals = DecimalsTyped(typed.text);
    return typed;
}

} // namespace

std::optional<AnalogEndLabels> AnalogEndLabelsFor(int rangeCode)
{
    switch (rangeCode) {
    case 0:
        return AnalogEndLabels{"0 V", "5 V"};
    case 1:
        return AnalogEndLabels{"0 V", "10 V"};
    case 2:
        return AnalogEndLabels{"-5 V", "5 V"};
    case 3:
        return AnalogEndLabels{"-10 V", "10 V"};
    case 5:
    case 11:
        return AnalogEndLabels{"4 mA", "20 mA"};
    case 6:
        return AnalogEndLabels{"0 mA", "20 mA"};
    case 7:
    case 12:
        return AnalogEndLabels{"0 mA", "24 mA"};
    case 10:
        return AnalogEndLabels{"1 V", "5 V"};
    default:
        return std::nullopt;
    }
}

bool WithinSignificantDigits(const std::string& minText, const std::string& maxText)
{
    int m = DecimalsTyped(minText);
    int n = DecimalsTyped(maxText);
    // The value with fewer decimals, padded in thought to the other's, must
    // still fit the six places of the panel's value field. Signs are not
    // digits; everything else a number may be written with counts.
    if (m < n) {
        if (Length(Without(minText, "-")) - m + n > 6)
            return false;
    } else {
        if (Length(Without(maxText, "-")) - n + m > 6)
            return false;
    }
    return Length(Without(minText, "-.")) <= 5 && Length(Without(maxText, "-.")) <= 5;
}

ConversionCheck CheckConversionTexts(const std::string& minText, const std::string& maxText)
{
    ConversionCheck check;
    std::optional<TypedValue> lower = ReadTyped(minText);
    if (!lower) {
        check.error = ConversionError::MinimumWrong;
        return check;
    }
    std::optional<TypedValue> upper = ReadTyped(maxText);
    if (!upper) {
        check.error = ConversionError::MaximumWrong;
        return check;
    }
    if (!WithinSignificantDigits(lower->text, upper->text)) {
        check.error = ConversionError::TooManyDigits;
        return check;
    }
    check.convMin = lower->value;
    check.convMax = upper->value;
    check.decimals = std::max(lower->decimals, upper->decimals);
    return check;
}

const char* ConversionErrorText(ConversionError error)
{
    switch (error) {
    case ConversionError::MinimumWrong:
        return kMinimumWrongText;
    case ConversionError::MaximumWrong:
        return kMaximumWrongText;
    case ConversionError::TooManyDigits:
        return kTooManyDigitsText;
    case ConversionError::None:
        break;
    }
    return "";
}

std::optional<ConversionCheck> AcceptConversion(const std::string& minText, const std::string& maxText,
                                                Prompter& prompter)
{
    ConversionCheck check = CheckConversionTexts(minText, maxText);
    if (check.error != ConversionError::None) {
        ShowCheckMessage(prompter, ConversionErrorText(check.error));
        return std::nullopt;
    }
    return check;
}

} // namespace velmora
