#pragma once
// One channel's corrections for one range as a line of text, the form
// velmoractl prints and the simulated unit reads its tables from:
//
//     1 4_20mA maker=3,5 user=-2,-2 select=2
//
// The channel as the operator counts it (1-4), the range's key name, the
// signed minimum correction and the maximum correction less 0x8000 of each
// set, and bits 0-1 of the select word.
//
// Thread contract: none needed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/ChannelSettings.h"

namespace velmora {

std::string FormatAdjustLine(int ch, int rangeCode, const MakerCorrection& maker, const UserAdjustment& user);

// A test output as velmoractl reports it and the simulated unit shows it:
// "1 lower 4_20mA min=-5 max=3" (test point 1; "upper" for 2), or "1 off"
// for test point 0. `maxCorrection` is the signed value.
std::string FormatTestOutputLine(int ch, int testPoint, int rangeCode, std::int16_t minCorrection,
                                 std::int16_t maxCorrection);

// A line read back. Any of the three fields may be left out; each that is
// given is whole.
struct AdjustLine {
    int channel = 0; // index 0-3
    int rangeCode = 0;
    std::optional<MakerCorrection> maker;
    std::optional<UserAdjustment> user; // its adjustSelect is not used
    std::optional<int> select;          // 0-3
};

// Nothing, with `error` saying why, for a line that is not of that form.
// The range may be its key name or its code; a '#' and what follows it is
// a comment.
std::optional<AdjustLine> ParseAdjustLine(std::string_view line, std::string& error);

} // namespace velmora
