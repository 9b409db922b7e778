#pragma once
// The rules of the preset dialog: how the eight presets are shown, and when
// the typed texts are accepted as the slot's new presets.

#include <array>
#include <optional>
#include <string>

#include "model/ChannelSettings.h"
#include "platform/Translate.h"

namespace velmora {

class Prompter;

inline constexpr const char* kInputWrongText = N_("入力データに誤りがあります");
inline constexpr const char* kOutOfRangeText = N_("範囲外データがあります");

using PresetValues = std::array<double, kPresetCount>;
using PresetTexts = std::array<std::string, kPresetCount>;

// The limits a preset must keep; upper may be the smaller one (a reversed
// conversion formula).
struct PresetLimits {
    double lower = 0.0;
    double upper = 1.0;
    int decimals = 0;
};

// Inclusive at both ends, whichever end is larger. NaN is never in range.
bool InPresetRange(double value, double lower, double upper);

// The value cut toward zero after `decimals` decimals (held to 0-6), as the
// operator reads it: 12.39 gives 12.3, -12.39 gives -12.3, and 0.29 stays 0.29
// with two decimals, where multiplying by 100 and cutting the binary product
// (28.999999999999996) would store 0.28.
double TruncateTypedValue(double value, int decimals);

// A preset's edit text: "%5.Nf" with the decimals held to 0-6, so that a
// decimals count outside them (a foreign settings file) still shows the
// presets instead of empty edits that OK would turn into zeros.
std::string PresetEditText(double value, int decimals);

enum class PresetError { None, InputWrong, OutOfRange };

struct PresetCheck {
    PresetError error = PresetError::None;
    int index = -1;        // the first preset that failed, 0-7
    PresetValues values{}; // the truncated values, when all passed
};

// Checks presets 1 to 8 in order and stops at the first failure. An empty
// text reads as 0.
PresetCheck CheckPresetTexts(const PresetTexts& texts, const PresetLimits& limits);

const char* PresetErrorText(PresetError error);

// The dialog's OK: checks the texts, shows the first failure through the
// prompter and answers nothing, or answers the eight values to store.
std::optional<PresetValues> AcceptPresets(const PresetTexts& texts, const PresetLimits& limits, Prompter& prompter);

} // namespace velmora
