#pragma once
// The arithmetic of the panel's output operations: the step of each digit
// button, what a step or a typed text makes of the set value, and which step
// buttons a channel's limits call for.
//
// Limits are a RangeInfo (lower, upper, decimals) as GeneratorModel's
// ChannelLimits gives them; the upper limit may be the smaller one (a reversed
// conversion formula), and every clamp here works in either order.
//
// Thread contract: none needed; plain functions over values.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/ChannelSettings.h"

namespace velmora {

enum StepDirection : int {
    kStepUp = 0,   // "△" or "＋"
    kStepDown = 1, // "▽" or "－"
};

// The step of digit position p (0 = rightmost character, 0-5) for a value
// shown with `decimals` decimals. The decimal point's position, the sign
// position (6) and decimals outside 0-6 step by 0.
double StepSize(int decimals, int position);

// What a step button's identifier stands for.
struct StepTarget {
    int channel = 0;  // 0-3
    int position = 0; // 0-5 digits, 6 the sign pair
    int direction = kStepUp;
};
// Nothing for an identifier that is no step button of columns 0-3.
std::optional<StepTarget> DecodeStepId(int id);
int StepButtonId(int channel, int position, int direction);

// The value held to the limits, in either order.
double ClampToLimits(double value, const RangeInfo& limits);

// The set value after one press of a step button: the digit's step added (or
// subtracted), the sign buttons turning the value's sign ("＋" makes a
// negative value positive, "－" a positive value negative), then clamped.
// Not truncated to the decimals.
double SteppedValue(double setValue, int position, int direction, const RangeInfo& limits);

// Which step pairs a channel shows: a digit pair wherever either formatted
// limit has a digit in that column, the sign pair when either limit is
// negative.
struct StepVisibility {
    std::array<bool, 6> digit{};
    bool sign = false;
};
StepVisibility VisibleSteps(const RangeInfo& limits);

// The value field's text with every carriage return and line feed removed;
// `enter` tells whether there was one, which is how Enter shows in a
// multi-line field.
struct TypedText {
    std::string text;
    bool enter = false;
};
TypedText StripLineBreaks(std::string_view text);

// The typed text as a number when the whole of it is one (C strtod rules,
// "." as decimal point; an empty text reads as 0). Nothing for text left
// over, and for "inf" and "nan", which no output can take.
std::optional<double> ParseTypedValue(std::string_view text);

// The value a committed entry stores: clamped to the limits, then cut toward
// zero after the limits' decimals.
double CommitTypedValue(double value, const RangeInfo& limits);

} // namespace velmora
