#pragma once
// Numbers as the configuration dialogs show them in their edits and read them
// back from the operator's text. Plain functions, no state; texts are UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The text with white space removed at both ends: the ASCII blanks and the
// full-width space U+3000, which a Japanese input method types for the space
// bar.
std::string TrimSpaces(std::string_view text);

// How far the text parses as a number by the C strtod rules (sign, decimal or
// hexadecimal digits, exponent, "inf", "nan"), always with "." as decimal
// point whatever locale the process runs in.
struct NumberScan {
    double value = 0.0;
    std::size_t consumed = 0; // characters taken; 0 when nothing parsed
};
NumberScan ScanNumber(std::string_view text);

// The value when the whole text is one number, nothing when characters remain
// after it. An empty text parses as 0, as strtod reads it.
std::optional<double> ParseWholeNumber(std::string_view text);

// A whole decimal number within [lo, hi] and nothing else (no sign but "-",
// no blanks): the form of channel numbers, range codes and counts on a
// command line.
std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi);

// The count of characters after the first "." of the text; 0 without one.
int DecimalsTyped(std::string_view text);

// "%5.Nf" for N = decimals 0-6 (the edits' format); empty for any other
// decimals. Any double prints in full.
std::string FormatEditValue(double value, int decimals);

// The channel as the dialogs show it: "１" … "４" for index 0-3, nothing for
// any other index (the label then keeps its own text).
std::optional<std::string> ChannelNumberLabel(int channel);

} // namespace velmora
