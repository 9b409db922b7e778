#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "model/RangeTable.h"

namespace velmora {
namespace {

TEST(RangeTable, ValidCodesAreExactlyTheNamedRanges)
{
    for (int code = -2; code < 20; ++code) {
        bool expected = code == 0 || code == 1 || code == 2 || code == 3 || code == 5 || code == 6 || code == 7 ||
            code == 10 || code == 11 || code == 12 || code == 15;
        EXPECT_EQ(IsValidRangeCode(code), expected) << "code " << code;
        EXPECT_EQ(RangeKey(code).empty(), !expected) << "code " << code;
        EXPECT_EQ(RangeDisplayName(code).empty(), !expected) << "code " << code;
        // Internal and external supplies alike; never a code without a range.
        const bool current = code == 5 || code == 6 || code == 7 || code == 11 || code == 12;
        EXPECT_EQ(IsCurrentRange(code), current) << "code " << code;
    }
}

TEST(RangeTable, CodesOutsideTheTableReadAsNoRange)
{
    for (int code : {4, 13, 16, 99, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        RangeInfo info = GetRangeInfo(code);
        EXPECT_EQ(info.lower, 0.0) << "code " << code;
        EXPECT_EQ(info.upper, 1.0) << "code " << code;
        EXPECT_EQ(info.decimals, 0) << "code " << code;
    }
    RangeInfo mA = GetRangeInfo(5);
    EXPECT_EQ(mA.lower, 4.0);
    EXPECT_EQ(mA.upper, 20.0);
    EXPECT_EQ(mA.decimals, 3);
}

TEST(RangeTable, NamesUseFullWidthTildeAndSupplyMarks)
{
    EXPECT_EQ(RangeDisplayName(0), "0～5 V");
    EXPECT_EQ(RangeDisplayName(2), "-5～5 V");
    EXPECT_EQ(RangeDisplayName(3), "-10～10 V");
    EXPECT_EQ(RangeDisplayName(5), "内 4～20 mA");
    EXPECT_EQ(RangeDisplayName(7), "内 0～24 mA");
    EXPECT_EQ(RangeDisplayName(10), "1～5 V");
    EXPECT_EQ(RangeDisplayName(11), "外 4～20 mA");
    EXPECT_EQ(RangeDisplayName(12), "外 0～24 mA");
    EXPECT_EQ(RangeDisplayName(15), "換算式");

    EXPECT_EQ(RangeKey(0), "0_5V");
    EXPECT_EQ(RangeKey(3), "-10_10V");
    EXPECT_EQ(RangeKey(6), "0_20mA");
    EXPECT_EQ(RangeKey(11), "E4_20mA");
    EXPECT_EQ(RangeKey(12), "E0_24mA");
    EXPECT_EQ(RangeKey(15), "USER");
}

TEST(RangeTable, KeyLookupRoundTripsAndRejectsUnknown)
{
    for (int code = 0; code < kSlotCount; ++code) {
        if (IsValidRangeCode(code)) {
            EXPECT_EQ(RangeCodeFromKey(RangeKey(code)), code);
        }
    }
    EXPECT_FALSE(RangeCodeFromKey(""));
    EXPECT_FALSE(RangeCodeFromKey("0_5v"));
    EXPECT_FALSE(RangeCodeFromKey("E4_20mA "));
}

TEST(RangeTable, SelectBitsAndStartingValues)
{
    EXPECT_EQ(RangeSelectBits(0), 0u);
    EXPECT_EQ(RangeSelectBits(10), 0u);
    EXPECT_EQ(RangeSelectBits(3), 3u);
    EXPECT_EQ(RangeSelectBits(5), 5u);
    EXPECT_EQ(RangeSelectBits(7), 7u);
    EXPECT_FALSE(RangeSelectBits(11));
    EXPECT_FALSE(RangeSelectBits(12));
    EXPECT_FALSE(RangeSelectBits(15));
    EXPECT_FALSE(RangeSelectBits(4));
    EXPECT_FALSE(RangeSelectBits(-1));

    EXPECT_EQ(RangeStartingValue(5), 4.0);
    EXPECT_EQ(RangeStartingValue(10), 1.0);
    EXPECT_EQ(RangeStartingValue(11), 4.0);
    EXPECT_EQ(RangeStartingValue(2), 0.0);
    EXPECT_FALSE(RangeStartingValue(15));
    EXPECT_FALSE(RangeStartingValue(9));
    EXPECT_FALSE(RangeStartingValue(99));
}

TEST(FormatFixed, FieldWidthSixRightAligned)
{
    EXPECT_EQ(FormatFixed(5.0, 3), " 5.000");
    EXPECT_EQ(FormatFixed(12.5, 3), "12.500");
    EXPECT_EQ(FormatFixed(123.456, 3), "123.456");
    EXPECT_EQ(FormatFixed(50.0, 0), "    50");
    EXPECT_EQ(FormatFixed(1.5, 6), "1.500000");
    EXPECT_EQ(FormatFixed(-2.5, 1), "  -2.5");
    // Zero carries no sign, however it came to be negative.
    EXPECT_EQ(FormatFixed(-0.0, 2), "  0.00");
    EXPECT_EQ(FormatFixed(-0.004, 2), "  0.00");
    EXPECT_EQ(FormatFixed(-0.0, 0), "     0");
}

TEST(FormatFixed, DecimalsOutsideZeroToSixGiveEmpty)
{
    EXPECT_EQ(FormatFixed(1.0, -1), "");
    EXPECT_EQ(FormatFixed(1.0, 7), "");
    EXPECT_EQ(FormatFixed(1.0, std::numeric_limits<int>::max()), "");
}

TEST(FormatFixed, HugeValuesPrintInFull)
{
    std::string text = FormatFixed(DBL_MAX, 6);
    // 309 integer digits, the point and six decimals.
    EXPECT_EQ(text.size(), 309u + 1u + 6u);
    EXPECT_EQ(text.substr(0, 5), "17976");
    EXPECT_EQ(text.substr(text.size() - 7), ".000000");
    EXPECT_EQ(FormatFixed(-DBL_MAX, 0).size(), 310u);
}

TEST(TruncateToDecimals, TowardZero)
{
    EXPECT_DOUBLE_EQ(TruncateToDecimals(12.39, 1), 12.3);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(-12.39, 1), -12.3);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(4.9999, 3), 4.999);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(99.9, 0), 99.0);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(-0.5, 0), 0.0);
}

TEST(TruncateToDecimals, HugeAndNonFiniteValuesSurvive)
{
    // Past 2^31 an integer cast would be undefined; these must come back whole.
    EXPECT_EQ(TruncateToDecimals(1e12 + 0.75, 0), 1e12);
    EXPECT_EQ(TruncateToDecimals(1e300, 6), 1e300);
    EXPECT_EQ(TruncateToDecimals(DBL_MAX, 6), DBL_MAX);
    EXPECT_EQ(TruncateToDecimals(-DBL_MAX, 3), -DBL_MAX);
    EXPECT_EQ(TruncateToDecimals(INFINITY, 3), INFINITY);
    EXPECT_TRUE(std::isnan(TruncateToDecimals(NAN, 3)));
}

TEST(TruncateToDecimals, DecimalsHeldToZeroToSix)
{
    EXPECT_DOUBLE_EQ(TruncateToDecimals(1.23456789, 400), 1.234567);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(1.23456789, -3), 1.0);
    EXPECT_EQ(DecimalScale(-1), 1.0);
    EXPECT_EQ(DecimalScale(6), 1e6);
    EXPECT_EQ(DecimalScale(1000), 1e6);
}

TEST(TruncateToDecimals, ValuesThatAreExactInDecimalKeepTheirLastDigit)
{
    // Binary doubles sit a hair below these; truncation must not step down.
    EXPECT_DOUBLE_EQ(TruncateToDecimals(0.29, 2), 0.29);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(4.35, 2), 4.35);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(-0.29, 2), -0.29);
    EXPECT_DOUBLE_EQ(TruncateToDecimals(1.005, 3), 1.005);
    for (int i = 0; i < 100000; ++i) {
        const double v = i / 1000.0;
        ASSERT_DOUBLE_EQ(TruncateToDecimals(v, 3), v) << v;
    }
    // A value really below the next step still truncates.
    EXPECT_DOUBLE_EQ(TruncateToDecimals(0.2899999, 2), 0.28);
}

} // namespace
} // namespace velmora
