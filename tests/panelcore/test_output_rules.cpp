#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "model/RangeTable.h"
#include "panelcore/OutputRules.h"

namespace velmora {
namespace {

RangeInfo Limits(double lower, double upper, int decimals)
{
    return RangeInfo{lower, upper, decimals};
}

// A value whose six rightmost characters at `decimals` decimals are digits 2-7
// (or the point), so that a single step changes one character without a
// carry, and no leading digit drops to 0: 234567, 23456.7, ..., 0.234567.
double DigitsValue(int decimals)
{
    std::string text = "234567";
    if (decimals > 0) {
        text.insert(text.size() - static_cast<std::size_t>(decimals), ".");
        if (text.front() == '.')
            text.insert(0, "0");
    }
    return std::strtod(text.c_str(), nullptr);
}

TEST(StepTable, EachDigitButtonChangesExactlyItsOwnCharacter)
{
    const RangeInfo wide = Limits(-999999, 999999, 0);
    for (int d = 0; d <= 6; ++d) {
        RangeInfo limits = wide;
        limits.decimals = d;
        const double v = DigitsValue(d);
        const std::string before = FormatFixed(v, d);
        for (int p = 0; p < 6; ++p) {
            SCOPED_TRACE("decimals " + std::to_string(d) + " position " + std::to_string(p));
            const bool point = d > 0 && p == d;
            for (int dir : {kStepUp, kStepDown}) {
                const std::string after = FormatFixed(SteppedValue(v, p, dir, limits), d);
                ASSERT_EQ(after.size(), before.size());
                for (std::size_t i = 0; i < before.size(); ++i) {
                    const int fromRight = static_cast<int>(before.size() - 1 - i);
                    if (fromRight == p && !point)
                        EXPECT_EQ(after[i], before[i] + (dir == kStepUp ? 1 : -1)) << after;
                    else
                        EXPECT_EQ(after[i], before[i]) << after;
                }
            }
            if (point) {
                EXPECT_EQ(StepSize(d, p), 0.0);
            }
        }
    }
}

TEST(StepTable, SignPositionAndForeignDecimalsDoNotStep)
{
    for (int d = 0; d <= 6; ++d)
        EXPECT_EQ(StepSize(d, 6), 0.0);
    EXPECT_EQ(StepSize(-1, 0), 0.0);
    EXPECT_EQ(StepSize(7, 0), 0.0);
    EXPECT_EQ(StepSize(3, -1), 0.0);
}

TEST(StepTable, FourToTwentyMilliampereRange)
{
    const RangeInfo ma = GetRangeInfo(5); // 4-20 mA, 3 decimals
    EXPECT_DOUBLE_EQ(SteppedValue(12.0, 0, kStepUp, ma), 12.001);
    EXPECT_DOUBLE_EQ(SteppedValue(12.0, 2, kStepUp, ma), 12.1);
    EXPECT_DOUBLE_EQ(SteppedValue(12.0, 3, kStepUp, ma), 12.0);
    EXPECT_DOUBLE_EQ(SteppedValue(12.0, 4, kStepUp, ma), 13.0);
    EXPECT_DOUBLE_EQ(SteppedValue(12.0, 5, kStepUp, ma), 20.0); // 22 clamped
    EXPECT_DOUBLE_EQ(SteppedValue(5.0, 4, kStepDown, ma), 4.0);
    EXPECT_DOUBLE_EQ(SteppedValue(8.0, 4, kStepDown, ma), 7.0);
}

TEST(StepTable, SignButtonsTurnTheSignOnly)
{
    const RangeInfo volts = GetRangeInfo(3); // -10..10 V
    EXPECT_DOUBLE_EQ(SteppedValue(5.0, 6, kStepDown, volts), -5.0);
    EXPECT_DOUBLE_EQ(SteppedValue(-5.0, 6, kStepUp, volts), 5.0);
    EXPECT_DOUBLE_EQ(SteppedValue(5.0, 6, kStepUp, volts), 5.0);
    EXPECT_DOUBLE_EQ(SteppedValue(-5.0, 6, kStepDown, volts), -5.0);
    EXPECT_EQ(SteppedValue(0.0, 6, kStepDown, volts), 0.0);
    // A sign change on a range without negative values is held by the clamp.
    EXPECT_DOUBLE_EQ(SteppedValue(3.0, 6, kStepDown, GetRangeInfo(0)), 0.0);
}

TEST(StepTable, ClampWorksForReversedConversion)
{
    const RangeInfo reversed = Limits(100, 0, 0);
    EXPECT_EQ(ClampToLimits(150, reversed), 100);
    EXPECT_EQ(ClampToLimits(-5, reversed), 0);
    EXPECT_EQ(ClampToLimits(42, reversed), 42);
    EXPECT_EQ(SteppedValue(99, 1, kStepUp, reversed), 100);
    EXPECT_EQ(SteppedValue(5, 1, kStepDown, reversed), 0);
}

TEST(StepIds, DecodeAndEncodeEveryStepButton)
{
    for (int c = 0; c < 4; ++c) {
        for (int p = 0; p <= 6; ++p) {
            for (int dir : {kStepUp, kStepDown}) {
                const int id = StepButtonId(c, p, dir);
                const auto t = DecodeStepId(id);
                ASSERT_TRUE(t) << id;
                EXPECT_EQ(t->channel, c);
                EXPECT_EQ(t->position, p);
                EXPECT_EQ(t->direction, dir);
            }
        }
    }
    EXPECT_EQ(StepButtonId(0, 0, kStepUp), 322);
    EXPECT_EQ(StepButtonId(0, 6, kStepDown), 335);
    EXPECT_EQ(StepButtonId(1, 0, kStepUp), 372);
    EXPECT_EQ(StepButtonId(3, 6, kStepDown), 485);
    // The ON/OFF button, the value field and what lies beyond column 3.
    for (int id : {320, 321, 336, 370, 386, 486, 522, 0, -5})
        EXPECT_FALSE(DecodeStepId(id)) << id;
}

TEST(StepVisibilityTest, DigitPairsFollowTheFormattedLimits)
{
    // 4-20 mA: "  4.000" and " 20.000"; the point (position 3) has no pair.
    StepVisibility ma = VisibleSteps(GetRangeInfo(5));
    EXPECT_TRUE(ma.digit[0] && ma.digit[1] && ma.digit[2] && ma.digit[4] && ma.digit[5]);
    EXPECT_FALSE(ma.digit[3]);
    EXPECT_FALSE(ma.sign);

    // -5..5 V: no tens digit, but negative.
    StepVisibility v5 = VisibleSteps(GetRangeInfo(2));
    EXPECT_FALSE(v5.digit[5]);
    EXPECT_TRUE(v5.digit[4]);
    EXPECT_TRUE(v5.sign);

    // A conversion 0..100 with no decimals: no point column at all.
    StepVisibility conv = VisibleSteps(Limits(0, 100, 0));
    EXPECT_TRUE(conv.digit[0] && conv.digit[1] && conv.digit[2]);
    EXPECT_FALSE(conv.digit[3] || conv.digit[4] || conv.digit[5]);
    EXPECT_FALSE(conv.sign);

    // A reversed, negative conversion is looked at through both limits.
    StepVisibility rev = VisibleSteps(Limits(5, -1500, 1));
    EXPECT_TRUE(rev.digit[0] && rev.digit[2] && rev.digit[3] && rev.digit[4] && rev.digit[5]);
    EXPECT_FALSE(rev.digit[1]);
    EXPECT_TRUE(rev.sign);

    // Decimals no format knows: nothing to step.
    StepVisibility bad = VisibleSteps(Limits(0, 10, 9));
    for (bool b : bad.digit)
        EXPECT_FALSE(b);
}

TEST(TypedValue, EnterIsAnyLineBreak)
{
    EXPECT_EQ(StripLineBreaks("12.3").text, "12.3");
    EXPECT_FALSE(StripLineBreaks("12.3").enter);
    const TypedText t = StripLineBreaks("1\r2.3\r\n");
    EXPECT_EQ(t.text, "12.3");
    EXPECT_TRUE(t.enter);
    EXPECT_TRUE(StripLineBreaks("\n").enter);
    EXPECT_EQ(StripLineBreaks("\n").text, "");
}

TEST(TypedValue, WholeTextMustBeOneNumber)
{
    EXPECT_EQ(ParseTypedValue("12.345"), 12.345);
    EXPECT_EQ(ParseTypedValue("  4.000"), 4.0); // the field's own text with its sign column
    EXPECT_EQ(ParseTypedValue("-5"), -5.0);
    EXPECT_EQ(ParseTypedValue("1e2"), 100.0);
    EXPECT_EQ(ParseTypedValue(""), 0.0);
    EXPECT_FALSE(ParseTypedValue("abc"));
    EXPECT_FALSE(ParseTypedValue("4.0 "));
    EXPECT_FALSE(ParseTypedValue("1,5"));
    EXPECT_FALSE(ParseTypedValue("12V"));
    EXPECT_FALSE(ParseTypedValue("nan"));
    EXPECT_FALSE(ParseTypedValue("-inf"));
    EXPECT_FALSE(ParseTypedValue("1e999"));
}

TEST(TypedValue, CommitClampsThenCutsTheDecimals)
{
    EXPECT_EQ(CommitTypedValue(12.345, Limits(-1000, 1000, 1)), 12.3);
    EXPECT_EQ(CommitTypedValue(-12.39, Limits(-1000, 1000, 1)), -12.3);
    // Cutting the binary product would make this 12.344.
    EXPECT_EQ(CommitTypedValue(12.345, GetRangeInfo(5)), 12.345);
    EXPECT_EQ(CommitTypedValue(0.0, GetRangeInfo(5)), 4.0);
    EXPECT_EQ(CommitTypedValue(25.0, GetRangeInfo(5)), 20.0);
    EXPECT_EQ(CommitTypedValue(150, Limits(100, 0, 0)), 100);
    EXPECT_EQ(CommitTypedValue(-5, Limits(100, 0, 0)), 0);
}

} // namespace
} // namespace velmora
