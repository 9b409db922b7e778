#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/NumberText.h"

namespace velmora {
namespace {

TEST(NumberText, TrimRemovesAsciiAndFullWidthSpacesAtBothEndsOnly)
{
    EXPECT_EQ(TrimSpaces("  12.5\t"), "12.5");
    EXPECT_EQ(TrimSpaces("\xE3\x80\x80 12.5\xE3\x80\x80"), "12.5");
    EXPECT_EQ(TrimSpaces("1 2"), "1 2");
    EXPECT_EQ(TrimSpaces("1\xE3\x80\x80"
                         "2"),
              "1\xE3\x80\x80"
              "2");
    EXPECT_EQ(TrimSpaces(" \xE3\x80\x80 "), "");
    EXPECT_EQ(TrimSpaces(""), "");
    // A lone lead byte of a three-byte character is not a space.
    EXPECT_EQ(TrimSpaces("\xE3\x80"), "\xE3\x80");
}

TEST(NumberText, WholeNumberFollowsStrtodAndRefusesLeftovers)
{
    EXPECT_EQ(ParseWholeNumber("12.5"), 12.5);
    EXPECT_EQ(ParseWholeNumber("-0.25"), -0.25);
    EXPECT_EQ(ParseWholeNumber("+3"), 3.0);
    EXPECT_EQ(ParseWholeNumber("1e3"), 1000.0);
    EXPECT_EQ(ParseWholeNumber("0x10"), 16.0);
    EXPECT_EQ(ParseWholeNumber("5."), 5.0);
    EXPECT_EQ(ParseWholeNumber(".5"), 0.5);
    // An empty text is strtod's 0 with nothing left over.
    EXPECT_EQ(ParseWholeNumber(""), 0.0);

    EXPECT_FALSE(ParseWholeNumber("12abc"));
    EXPECT_FALSE(ParseWholeNumber("1,5"));
    EXPECT_FALSE(ParseWholeNumber("1 2"));
    EXPECT_FALSE(ParseWholeNumber("-"));
    EXPECT_FALSE(ParseWholeNumber("abc"));
    EXPECT_FALSE(ParseWholeNumber("１２")); // full-width digits are no number
    EXPECT_FALSE(ParseWholeNumber(std::string("1\0"
                                              "2",
                                              3)));

    NumberScan scan = ScanNumber("12abc");
    EXPECT_EQ(scan.value, 12.0);
    EXPECT_EQ(scan.consumed, 2u);

    std::optional<double> nan = ParseWholeNumber("nan");
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(*nan));
}

TEST(NumberText, DecimalsAreTheCharactersAfterTheFirstDot)
{
    EXPECT_EQ(DecimalsTyped("100"), 0);
    EXPECT_EQ(DecimalsTyped("100."), 0);
    EXPECT_EQ(DecimalsTyped("100.5"), 1);
    EXPECT_EQ(DecimalsTyped("-0.001"), 3);
    EXPECT_EQ(DecimalsTyped("1.5e3"), 3);
}

TEST(NumberText, EditValuesPrintInAFieldOfFive)
{
    EXPECT_EQ(FormatEditValue(0.0, 1), "  0.0");
    EXPECT_EQ(FormatEditValue(100.5, 1), "100.5");
    EXPECT_EQ(FormatEditValue(1.0, 0), "    1");
    EXPECT_EQ(FormatEditValue(-99999.0, 0), "-99999");
    EXPECT_EQ(FormatEditValue(1.2345, 4), "1.2345");
    EXPECT_EQ(FormatEditValue(0.5, 6), "0.500000");
    EXPECT_EQ(FormatEditValue(1.0, -1), "");
    EXPECT_EQ(FormatEditValue(1.0, 7), "");
    EXPECT_EQ(FormatEditValue(1e300, 0).size(), 301u);
}

TEST(NumberText, ChannelNumbersAreFullWidthDigits)
{
    EXPECT_EQ(ChannelNumberLabel(0), "１");
    EXPECT_EQ(ChannelNumberLabel(1), "２");
    EXPECT_EQ(ChannelNumberLabel(2), "３");
    EXPECT_EQ(ChannelNumberLabel(3), "４");
    EXPECT_FALSE(ChannelNumberLabel(-1));
    EXPECT_FALSE(ChannelNumberLabel(4));
}

} // namespace
} // namespace velmora
