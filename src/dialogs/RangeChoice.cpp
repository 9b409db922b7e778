#include "dialogs/RangeChoice.h"
#include "platform/Translate.h"

namespace velmora {

const std::array<RangeButtonInfo, kRangeButtonCount> kRangeButtons = {{
    {1000, N_("4～20mA"), RangeColumn::InternalSupply, 30, 60, 88, 84, 5},
    {1001, N_("0～20mA"), RangeColumn::InternalSupply, 30, 90, 88, 114, 6},
    {1002, N_("0～24mA"), RangeColumn::InternalSupply, 30, 120, 88, 144, 7},
    // The external loop supply has no 0-20 mA range.
    {1003, N_("4～20mA"), RangeColumn::ExternalSupply, 110, 60, 168, 84, 11},
    {1004, N_("0～24mA"), RangeColumn::ExternalSupply, 110, 90, 168, 114, 12},
    {1006, N_("1～5V"), RangeColumn::Voltage, 226, 60, 284, 84, 10},
    {1005, N_("0～5V"), RangeColumn::Voltage, 226, 30, 284, 54, 0},
    {1007, N_("0～10V"), RangeColumn::Voltage, 226, 90, 284, 114, 1},
    {1008, N_("-5～5V"), RangeColumn::Voltage, 226, 120, 284, 144, 2},
    {1009, N_("-10～10V"), RangeColumn::Voltage, 226, 150, 284, 174, 3},
}};

const RangeButtonInfo* FindRangeButton(int rangeCode)
{
    for (const RangeButtonInfo& entry : kRangeButtons) {
        if (entry.rangeCode == rangeCode)
            return &entry;
    }
    return nullptr;
}

std::optional<FaceColor> RangeButtonFace(int buttonCode, int presentCode)
{
    if (FindRangeButton(presentCode) == nullptr)
        return std::nullopt;
    return buttonCode == presentCode ? kHighlightFace : kPlainFace;
}

} // namespace velmora
