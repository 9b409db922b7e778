#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/PresetRules.h"
#include "support/ScriptedPrompter.h"

namespace velmora {
namespace {

PresetTexts AllTexts(const char* text)
{
    PresetTexts texts;
    texts.fill(text);
    return texts;
}

const PresetLimits kVolts5{0.0, 5.0, 3};
const PresetLimits kMilliamps4to20{4.0, 20.0, 3};

TEST(PresetRules, RangeIsInclusiveInEitherOrder)
{
    EXPECT_TRUE(InPresetRange(4.0, 4.0, 20.0));
    EXPECT_TRUE(InPresetRange(20.0, 4.0, 20.0));
    EXPECT_FALSE(InPresetRange(3.999, 4.0, 20.0));
    EXPECT_FALSE(InPresetRange(20.001, 4.0, 20.0));
    // A reversed conversion (100 at the lower end, 0 at the upper).
    EXPECT_TRUE(InPresetRange(0.0, 100.0, 0.0));
    EXPECT_TRUE(InPresetRange(100.0, 100.0, 0.0));
    EXPECT_TRUE(InPresetRange(50.0, 100.0, 0.0));
    EXPECT_FALSE(InPresetRange(150.0, 100.0, 0.0));
    EXPECT_FALSE(InPresetRange(-5.0, 100.0, 0.0));
    // Equal ends leave one value.
    EXPECT_TRUE(InPresetRange(7.0, 7.0, 7.0));
    EXPECT_FALSE(InPresetRange(7.5, 7.0, 7.0));
    EXPECT_FALSE(InPresetRange(std::numeric_limits<double>::quiet_NaN(), 0.0, 5.0));
    EXPECT_FALSE(InPresetRange(std::numeric_limits<double>::infinity(), 0.0, 5.0));
}

TEST(PresetRules, TruncationCutsTowardZeroAtTheDecimals)
{
    EXPECT_EQ(TruncateTypedValue(12.39, 1), 12.3);
    EXPECT_EQ(TruncateTypedValue(-12.39, 1), -12.3);
    EXPECT_EQ(TruncateTypedValue(12.99, 0), 12.0);
    EXPECT_EQ(TruncateTypedValue(1.2345678, 6), 1.234567);
    EXPECT_EQ(TruncateTypedValue(5.0, 3), 5.0);
    EXPECT_EQ(TruncateTypedValue(123456.0, 0), 123456.0);
    // A typed value with no more decimals than allowed is kept as typed,
    // although its binary product with 10^d falls just short of a whole
    // number (0.29 x 100 = 28.999999999999996).
    EXPECT_EQ(TruncateTypedValue(0.29, 2), 0.29);
    EXPECT_EQ(TruncateTypedValue(4.35, 2), 4.35);
    EXPECT_EQ(TruncateTypedValue(-4.35, 2), -4.35);
    EXPECT_EQ(TruncateTypedValue(1.1, 1), 1.1);
    // No negative zero to print as "-0.0".
    EXPECT_FALSE(std::signbit(TruncateTypedValue(-0.05, 1)));
    // Decimals outside 0-6 are held to them.
    EXPECT_EQ(TruncateTypedValue(1.23456789, 9), 1.234567);
    EXPECT_EQ(TruncateTypedValue(1.9, -3), 1.0);
    // Extremes come back whole and defined.
    EXPECT_EQ(TruncateTypedValue(std::numeric_limits<double>::max(), 3), std::numeric_limits<double>::max());
    EXPECT_EQ(TruncateTypedValue(std::numeric_limits<double>::denorm_min(), 6), 0.0);
    EXPECT_TRUE(std::isinf(TruncateTypedValue(std::numeric_limits<double>::infinity(), 2)));
}

TEST(PresetRules, EmptyFieldsReadAsZeroAndMustStillBeInRange)
{
    PresetCheck onVolts = CheckPresetTexts(AllTexts(""), kVolts5);
    EXPECT_EQ(onVolts.error, PresetError::None);
    for (double v : onVolts.values)
        EXPECT_EQ(v, 0.0);

    PresetCheck onCurrent = CheckPresetTexts(AllTexts("  "), kMilliamps4to20);
    EXPECT_EQ(onCurrent.error, PresetError::OutOfRange);
    EXPECT_EQ(onCurrent.index, 0);
}

TEST(PresetRules, AcceptedTextsAreStoredTruncatedInOrder)
{
    PresetTexts texts = {"4",
                         "20",
                         " 12.3456",
                         "\xE3\x80\x80"
                         "5",
                         "19.9999",
                         "4.0009",
                         "+8",
                         "1.2e1"};
    PresetCheck check = CheckPresetTexts(texts, kMilliamps4to20);
    ASSERT_EQ(check.error, PresetError::None);
    const PresetValues expected = {4.0, 20.0, 12.345, 5.0, 19.999, 4.0, 8.0, 12.0};
    EXPECT_EQ(check.values, expected);

    PresetCheck oneDecimal = CheckPresetTexts({"12.39", "-12.39", "0", "0", "0", "0", "0", "0"}, {-20.0, 20.0, 1});
    ASSERT_EQ(oneDecimal.error, PresetError::None);
    EXPECT_EQ(oneDecimal.values[0], 12.3);
    EXPECT_EQ(oneDecimal.values[1], -12.3);
}

TEST(PresetRules, ALimitTypedAsItIsShownStaysInside)
{
    // A conversion span of 4.35 to 10 with two decimals: the lower limit
    // typed back must not be stored as 4.34, below the span.
    PresetCheck check = CheckPresetTexts(AllTexts("4.35"), {4.35, 10.0, 2});
    ASSERT_EQ(check.error, PresetError::None);
    for (double v : check.values) {
        EXPECT_EQ(v, 4.35);
        EXPECT_TRUE(InPresetRange(v, 4.35, 10.0));
    }
}

TEST(PresetRules, FirstBadFieldStopsTheCheck)
{
    PresetTexts texts = AllTexts("1");
    texts[2] = "1,5"; // preset 3: not a number
    texts[4] = "99";  // preset 5: out of range
    PresetCheck check = CheckPresetTexts(texts, kVolts5);
    EXPECT_EQ(check.error, PresetError::InputWrong);
    EXPECT_EQ(check.index, 2);

    texts[2] = "1.5";
    check = CheckPresetTexts(texts, kVolts5);
    EXPECT_EQ(check.error, PresetError::OutOfRange);
    EXPECT_EQ(check.index, 4);

    texts[4] = "5";
    EXPECT_EQ(CheckPresetTexts(texts, kVolts5).error, PresetError::None);
}

TEST(PresetRules, GarbageAndNonNumbersAreRefused)
{
    for (const char* bad : {"abc", "12abc", "1 2", "-", "１"}) {
        PresetTexts texts = AllTexts("1");
        texts[7] = bad;
        PresetCheck check = CheckPresetTexts(texts, kVolts5);
        EXPECT_EQ(check.error, PresetError::InputWrong) << bad;
        EXPECT_EQ(check.index, 7) << bad;
    }
    for (const char* outside : {"nan", "inf", "-inf", "1e999", "-0.001"}) {
        PresetTexts texts = AllTexts("1");
        texts[7] = outside;
        EXPECT_EQ(CheckPresetTexts(texts, kVolts5).error, PresetError::OutOfRange) << outside;
    }
}

TEST(PresetRules, EachRefusalShowsItsTextUnderConfirmWithTheInformationIcon)
{
    struct Case {
        PresetTexts texts;
        PresetLimits limits;
        const char* message = nullptr;
    };
    const Case cases[] = {
        {AllTexts("1,5"), kVolts5, "入力データに誤りがあります"},
        {AllTexts(""), kMilliamps4to20, "範囲外データがあります"},
    };
    for (const Case& c : cases) {
        test::ScriptedPrompter prompter;
        EXPECT_FALSE(AcceptPresets(c.texts, c.limits, prompter));
        ASSERT_EQ(prompter.shown.size(), 1u) << c.message;
        EXPECT_EQ(prompter.shown[0].text, c.message);
        EXPECT_EQ(prompter.shown[0].caption, "確認");
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
    }

    test::ScriptedPrompter prompter;
    std::optional<PresetValues> accepted = AcceptPresets(AllTexts("2.5"), kVolts5, prompter);
    ASSERT_TRUE(accepted);
    EXPECT_EQ((*accepted)[7], 2.5);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(PresetRules, EditTextsHoldTheDecimalsToSix)
{
    EXPECT_EQ(PresetEditText(4.0, 3), "4.000");
    EXPECT_EQ(PresetEditText(12.3, 1), " 12.3");
    EXPECT_EQ(PresetEditText(-1.0, 0), "   -1");
    // A decimals count no dialog offers still shows the value.
    EXPECT_EQ(PresetEditText(2.5, 9), "2.500000");
    EXPECT_EQ(PresetEditText(2.5, -2), "    2");
}

} // namespace
} // namespace velmora
