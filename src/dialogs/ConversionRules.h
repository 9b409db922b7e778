#pragma once
// The rules of the conversion formula dialog: what the analog ends of a range
// are called, and when the two typed converted values are accepted. The
// dialog only shows and forwards.

#include <optional>
#include <string>
#include "platform/Translate.h"

namespace velmora {

class Prompter;

inline constexpr const char* kMinimumWrongText = N_("最小値に誤りがあります");
inline constexpr const char* kMaximumWrongText = N_("最大値に誤りがあります");
inline constexpr const char* kTooManyDigitsText = N_("有効桁数を超えています");

struct AnalogEndLabels {
    std::string lower; // "4 mA"
    std::string upper; // "20 mA"
};

// The labels of the analog range's ends, nothing for a code that is no
// output range (the dialog then keeps its own texts).
std::optional<AnalogEndLabels> AnalogEndLabelsFor(int rangeCode);

// Whether the two typed values (trimmed, both already parsed as whole
// numbers) keep within five significant digits and six digit places once the
// one with fewer decimals is padded to the other's.
bool WithinSignificantDigits(const std::string& minText, const std::string& maxText);

enum class ConversionError { None, MinimumWrong, MaximumWrong, TooManyDigits };

struct ConversionCheck {
    ConversionError error = ConversionError::None;
    double convMin = 0.0;
    double convMax = 0.0;
    int decimals = 0; // the larger count of decimals typed
};

// Checks the two edit texts as typed, stopping at the first failure. The
// values are taken as parsed, not rounded to the decimals. Infinity and NaN,
// which strtod also reads, are refused as wrong values: they would leave the
// channel's conversion without a number to work with.
ConversionCheck CheckConversionTexts(const std::string& minText, const std::string& maxText);

// The operator's text of an error.
const char* ConversionErrorText(ConversionError error);

// The dialog's OK: checks the texts, shows the first failure through the
// prompter and answers nothing, or answers the accepted values.
std::optional<ConversionCheck> AcceptConversion(const std::string& minText, const std::string& maxText,
                                                Prompter& prompter);

} // namespace velmora
