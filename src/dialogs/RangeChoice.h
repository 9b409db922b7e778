#pragma once
// The output ranges the range selection offers, one button each, and which
// of them is highlighted. Codes 4, 8, 9, 13 and 14 name no range and 15 is
// the conversion formula's slot, so none of them has a button.

#include <array>
#include <cstdint>
#include <optional>

namespace velmora {

enum class RangeColumn { InternalSupply, ExternalSupply, Voltage };

struct RangeButtonInfo {
    int id;              // control id
    const char* caption; // UTF-8
    RangeColumn column;
    // Rectangle in pixels of the dialog's client area.
    int left, top, right, bottom;
    int rangeCode;
};

inline constexpr int kRangeButtonCount = 10;

// In the order the buttons are created (and reached with Tab). The voltage
// column reads 0-5, 1-5, 0-10, -5-5, -10-10 V from the top, although 1-5 V
// is created before 0-5 V.
extern const std::array<RangeButtonInfo, kRangeButtonCount> kRangeButtons;

// The button of a range code, if it has one.
const RangeButtonInfo* FindRangeButton(int rangeCode);

// A button face colour, 0xRRGGBB.
using FaceColor = std::uint32_t;
inline constexpr FaceColor kHighlightFace = 0x80FF80; // the present range, light green
inline constexpr FaceColor kPlainFace = 0xF0F0F0;     // every other range, light grey

// The face colour of the button of `buttonCode` while the dialog holds
// `presentCode`. When the present code has no button of its own, no button is
// coloured at all (nothing).
std::optional<FaceColor> RangeButtonFace(int buttonCode, int presentCode);

} // namespace velmora
