#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "dialogs/RangeChoice.h"
#include "model/RangeTable.h"

namespace velmora {
namespace {

TEST(RangeChoice, EveryOutputRangeHasExactlyOneButton)
{
    std::set<int> codes;
    std::set<int> ids;
    for (const RangeButtonInfo& entry : kRangeButtons) {
        codes.insert(entry.rangeCode);
        ids.insert(entry.id);
        EXPECT_TRUE(IsValidRangeCode(entry.rangeCode)) << entry.id;
        EXPECT_EQ(FindRangeButton(entry.rangeCode), &entry);
        EXPECT_LT(entry.left, entry.right);
        EXPECT_LT(entry.top, entry.bottom);
    }
    EXPECT_EQ(codes, (std::set<int>{0, 1, 2, 3, 5, 6, 7, 10, 11, 12}));
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kRangeButtonCount));
    for (int code : {4, 8, 9, 13, 14, 15, -1, 16})
        EXPECT_EQ(FindRangeButton(code), nullptr) << code;
}

TEST(RangeChoice, ColumnsHoldTheirRangesTopToBottom)
{
    auto column = [](RangeColumn which) {
        std::map<int, int> byTop; // top -> code
        for (const RangeButtonInfo& entry : kRangeButtons) {
            if (entry.column == which)
                byTop[entry.top] = entry.rangeCode;
        }
        std::vector<int> codes;
        codes.reserve(byTop.size());
        for (auto& [top, code] : byTop)
            codes.push_back(code);
        return codes;
    };
    EXPECT_EQ(column(RangeColumn::InternalSupply), (std::vector<int>{5, 6, 7}));
    // No 0-20 mA on the external loop supply.
    EXPECT_EQ(column(RangeColumn::ExternalSupply), (std::vector<int>{11, 12}));
    EXPECT_EQ(column(RangeColumn::Voltage), (std::vector<int>{0, 10, 1, 2, 3}));
}

TEST(RangeChoice, ThePresentRangeIsLightGreenAndTheRestGrey)
{
    for (const RangeButtonInfo& present : kRangeButtons) {
        for (const RangeButtonInfo& button : kRangeButtons) {
            std::optional<FaceColor> face = RangeButtonFace(button.rangeCode, present.rangeCode);
            ASSERT_TRUE(face);
            EXPECT_EQ(*face, button.rangeCode == present.rangeCode ? 0x80FF80u : 0xF0F0F0u);
        }
    }
}

TEST(RangeChoice, ARangeWithoutButtonColoursNothing)
{
    for (int present : {15, 4, 13, -1, 99}) {
        for (const RangeButtonInfo& button : kRangeButtons)
            EXPECT_FALSE(RangeButtonFace(button.rangeCode, present)) << present;
    }
}

} // namespace
} // namespace velmora
