#pragma once
// The numbers velmoractl takes on its command line, each read whole: a text
// with anything after the number, or outside its bounds, is no number.

#include <optional>
#include <string>
#include <vector>

namespace velmora::ctl {

// The channel as the operator counts it, 1-4, as an index.
std::optional<int> ParseChannel(const std::string& text);
// Different channels, comma separated ("1,2"), as indexes in their order.
std::optional<std::vector<int>> ParseChannelList(const std::string& text);
// A range code 0-15 or a range's key name ("4_20mA").
std::optional<int> ParseRange(const std::string& text);
// An output value: a finite decimal number.
std::optional<double> ParseValue(const std::string& text);
// A conversion limit, read as the conversion dialog reads its edits.
std::optional<double> ParseLimit(const std::string& text);
// Decimals 0-6.
std::optional<int> ParseDecimals(const std::string& text);
// "--seconds N": a whole number of seconds, at least 1 (and at most a
// century, so that deadlines stay far from overflow).
std::optional<long long> ParseSeconds(const std::string& text);

} // namespace velmora::ctl
