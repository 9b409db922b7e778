#pragma once
// What the operator is shown for a channel's state: the alarm text for an
// alarm code (GeneratorModel::AlarmCode) and the adjustment mark for the
// select word of the channel's range. Shared by the panel and velmoractl.

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// The text for an alarm code (UTF-8); empty for 0 and for any code that is
// not one of the alarm bits.
std::string AlarmText(int alarmCode);

// The mark for an adjustment select word: " M " when the maker's corrections
// are in effect, " U " for the user's, empty for none. Nothing for the
// fourth combination of bits 0-1, which names no set: the mark shown stays
// as it was.
std::optional<std::string> AdjustmentMark(std::uint16_t adjustSelect);

} // namespace velmora
