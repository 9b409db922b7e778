#pragma once
// The output ranges the unit knows, by range code 0-15: limits, decimals,
// names and the range-select bits of the control word.

#include <optional>
#include <string>

#include "model/ChannelSettings.h"

namespace velmora {

// Codes 0, 1, 2, 3, 5, 6, 7, 10, 11, 12 and 15 name a range.
bool IsValidRangeCode(int code);

RangeInfo GetRangeInfo(int code);
// "0～5 V", "内 4～20 mA", ... (UTF-8); empty for a code that names no range.
std::string RangeDisplayName(int code);
// "0_5V", "4_20mA", ...; empty for a code that names no range.
std::string RangeKey(int code);
// The code whose key is `key`, if any.
std::optional<int> RangeCodeFromKey(const std::string& key);
// Bits 0-2 of the control word for the code, or nothing when the code leaves
// them unchanged.
std::optional<unsigned> RangeSelectBits(int code);
// The value a channel starts at on this range, or nothing when unchanged.
std::optional<double> RangeStartingValue(int code);
// The range drives a current (its values are mA, amperes on the SCPI wire).
bool IsCurrentRange(int code);

// The most decimals a value is ever shown or kept with.
inline constexpr int kMaxDecimals = 6;

// 10^decimals, with decimals held to 0-6: a decimals count read from a file
// may be any int32, and 10^400 would turn every rounding into inf/NaN.
double DecimalScale(int decimals);

// "%6.Nf" for N = decimals 0-6; empty for any other decimals. Any double,
// however large, prints in full.
std::string FormatFixed(double value, int decimals);
// value x 10^decimals truncated toward zero, divided again. Decimals outside
// 0-6 are held to 0-6 (see DecimalScale); a value too large to carry a
// fraction, NaN and infinity come back unchanged.
double TruncateToDecimals(double value, int decimals);

} // namespace velmora
