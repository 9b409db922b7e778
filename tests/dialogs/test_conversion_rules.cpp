#include <gtest/gtest.h>

#include "dialogs/ConversionRules.h"
#include "support/ScriptedPrompter.h"

namespace velmora {
namespace {

ConversionError ErrorOf(const std::string& minText, const std::string& maxText)
{
    return CheckConversionTexts(minText, maxText).error;
}

TEST(ConversionRules, AcceptedPairsGiveTheirValuesAndTheLargerDecimals)
{
    struct Case {
        const char* minText;
        const char* maxText;
        double convMin, convMax;
        int decimals;
    };
    const Case cases[] = {
        {"0", "100.5", 0.0, 100.5, 1},
        {"-99999", "99999", -99999.0, 99999.0, 0},
        {"1.2345", "1", 1.2345, 1.0, 4},
        {"1.5", "10000", 1.5, 10000.0, 1},
        // No order between the ends is required, equal ends included.
        {"100", "0", 100.0, 0.0, 0},
        {"7", "7", 7.0, 7.0, 0},
        // The edits' own format, with its leading blanks.
        {"  0.0", "100.5", 0.0, 100.5, 1},
        {"\xE3\x80\x80-2.5 ", " 2.50", -2.5, 2.5, 2},
        // Values are kept as parsed, not cut to the decimals.
        {"0.1", "1e3", 0.1, 1000.0, 1},
    };
    for (const Case& c : cases) {
        ConversionCheck check = CheckConversionTexts(c.minText, c.maxText);
        EXPECT_EQ(check.error, ConversionError::None) << c.minText << " / " << c.maxText;
        EXPECT_EQ(check.convMin, c.convMin) << c.minText;
        EXPECT_EQ(check.convMax, c.convMax) << c.maxText;
        EXPECT_EQ(check.decimals, c.decimals) << c.minText << " / " << c.maxText;
    }
}

TEST(ConversionRules, SignificantDigitRules)
{
    // Rule a: the value with fewer decimals, padded to the other's, must fit
    // six places (0.001 and 9999: 4 - 0 + 3 = 7).
    EXPECT_EQ(ErrorOf("0.001", "9999"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("9999", "0.001"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("0.01", "9999"), ConversionError::None); // 4 - 0 + 2 = 6
    // Minus signs are no digits.
    EXPECT_EQ(ErrorOf("-0.01", "-9999"), ConversionError::None);
    // Rules b and c: five digits at most, minus signs and the point not counted.
    EXPECT_EQ(ErrorOf("123456", "1"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("1", "123456"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("1.23456", "1.2"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("-1.2345", "-1.2345"), ConversionError::None);
    // Everything else a number is written with counts: a plus sign, exponent
    // letters and leading zeros.
    EXPECT_EQ(ErrorOf("+1234", "1"), ConversionError::None);
    EXPECT_EQ(ErrorOf("+12345", "1"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("1e5", "1"), ConversionError::None);
    EXPECT_EQ(ErrorOf("12345e1", "1"), ConversionError::TooManyDigits);
    EXPECT_EQ(ErrorOf("000001", "1"), ConversionError::TooManyDigits);

    EXPECT_TRUE(WithinSignificantDigits("1.5", "10000"));
    EXPECT_FALSE(WithinSignificantDigits("1.55", "10000"));
}

TEST(ConversionRules, UnreadableValuesNameTheirEndAndTheMinimumComesFirst)
{
    EXPECT_EQ(ErrorOf("", "100"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("   ", "100"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("0", "12abc"), ConversionError::MaximumWrong);
    EXPECT_EQ(ErrorOf("0", ""), ConversionError::MaximumWrong);
    EXPECT_EQ(ErrorOf("1,5", "10"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("1 5", "10"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("abc", "xyz"), ConversionError::MinimumWrong);
    // The maximum is only read once the minimum passed, and the digit rule
    // only once both did.
    EXPECT_EQ(ErrorOf("123456", "x"), ConversionError::MaximumWrong);
}

TEST(ConversionRules, InfinityAndNanAreNoConvertedValues)
{
    // strtod reads these, and they pass the digit rule, but a conversion
    // span without numbers cannot map the output code.
    EXPECT_EQ(ErrorOf("inf", "100"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("-inf", "100"), ConversionError::MinimumWrong);
    EXPECT_EQ(ErrorOf("0", "nan"), ConversionError::MaximumWrong);
    EXPECT_EQ(ErrorOf("0", "1e999"), ConversionError::MaximumWrong);
}

TEST(ConversionRules, EachRefusalShowsItsTextUnderConfirmWithTheInformationIcon)
{
    struct Case {
        const char* minText;
        const char* maxText;
        const char* message;
    };
    const Case cases[] = {
        {"", "1", "最小値に誤りがあります"},
        {"0", "12abc", "最大値に誤りがあります"},
        {"123456", "1", "有効桁数を超えています"},
    };
    for (const Case& c : cases) {
        test::ScriptedPrompter prompter;
        EXPECT_FALSE(AcceptConversion(c.minText, c.maxText, prompter));
        ASSERT_EQ(prompter.shown.size(), 1u) << c.message;
        EXPECT_EQ(prompter.shown[0].text, c.message);
        EXPECT_EQ(prompter.shown[0].caption, "確認");
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
        EXPECT_EQ(prompter.shown[0].buttons, PromptButtons::Ok);
    }

    test::ScriptedPrompter prompter;
    std::optional<ConversionCheck> accepted = AcceptConversion("0", "100.5", prompter);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->convMax, 100.5);
    EXPECT_EQ(accepted->decimals, 1);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(ConversionRules, AnalogEndLabelsByRange)
{
    struct Case {
        int code;
        const char* lower;
        const char* upper;
    };
    const Case cases[] = {{0, "0 V", "5 V"},     {1, "0 V", "10 V"},    {2, "-5 V", "5 V"},   {3, "-10 V", "10 V"},
                          {5, "4 mA", "20 mA"},  {11, "4 mA", "20 mA"}, {6, "0 mA", "20 mA"}, {7, "0 mA", "24 mA"},
                          {12, "0 mA", "24 mA"}, {10, "1 V", "5 V"}};
    for (const Case& c : cases) {
        std::optional<AnalogEndLabels> labels = AnalogEndLabelsFor(c.code);
        ASSERT_TRUE(labels) << c.code;
        EXPECT_EQ(labels->lower, c.lower) << c.code;
        EXPECT_EQ(labels->upper, c.upper) << c.code;
    }
    for (int code : {4, 8, 9, 13, 14, 15, -1, 16})
        EXPECT_FALSE(AnalogEndLabelsFor(code)) << code;
}

} // namespace
} // namespace velmora
