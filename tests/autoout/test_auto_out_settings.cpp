#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ScriptedPrompter.h"
#include "autoout/AutoOutSettingsRules.h"

namespace velmora {
namespace {

const RangeInfo kMilliamps4to20{4.0, 20.0, 3};
const RangeInfo kReversed{100.0, 0.0, 1}; // a conversion from 100 down to 0

AutoOutFieldTexts Fields(const std::string& start = "4", const std::string& end = "20", const std::string& step = "1",
                         const std::string& interval = "1", const std::string& repeat = "0")
{
    return {start, end, step, interval, repeat};
}

AutoOutError ErrorOf(const AutoOutFieldTexts& texts, const RangeInfo& limits = kMilliamps4to20,
                     std::int32_t mode = kAutoSawtooth)
{
    return CheckAutoOutFields(mode, texts, limits).error;
}

TEST(AutoOutSettings, RepeatReadsAsStrtolWithBaseZeroOverTheWholeText)
{
    EXPECT_EQ(ParseWholeInteger(""), 0);
    EXPECT_EQ(ParseWholeInteger("12"), 12);
    EXPECT_EQ(ParseWholeInteger(" \t+7"), 7);
    EXPECT_EQ(ParseWholeInteger("-3"), -3);
    EXPECT_EQ(ParseWholeInteger("0x1F"), 31);
    EXPECT_EQ(ParseWholeInteger("-0X1f"), -31);
    EXPECT_EQ(ParseWholeInteger("017"), 15);
    EXPECT_EQ(ParseWholeInteger("0"), 0);
    EXPECT_EQ(ParseWholeInteger("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(ParseWholeInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"08", "0x", "0xg", "12 ", "1.5", "1e3", "   ", "-", "+", "abc", "１"})
        EXPECT_FALSE(ParseWholeInteger(bad)) << bad;
}

TEST(AutoOutSettings, NormalisingRewritesANumberOrUndoesTheChange)
{
    EXPECT_TRUE(NormalisesOnChange("3\r\n"));
    EXPECT_TRUE(NormalisesOnChange("\n"));
    EXPECT_FALSE(NormalisesOnChange("3"));

    struct Case {
        AutoOutField field;
        const char* text;
        bool rewrite;
        const char* result;
    };
    const Case cases[] = {
        {AutoOutField::Start, "3\r\n", true, " 3.000"},
        {AutoOutField::End, "  -2.5", true, "-2.500"},
        {AutoOutField::Step, "12abc", false, ""},
        {AutoOutField::Step, "1\r\n2", true, "12.000"},
        {AutoOutField::Interval, "2\r\n", true, "   2.0"},
        {AutoOutField::Interval, "x", false, ""},
        {AutoOutField::Repeat, "12.7", true, "12"},
        {AutoOutField::Repeat, "-0.5", true, "0"},
        {AutoOutField::Repeat, "1e3", true, "1000"},
        {AutoOutField::Repeat, "1e20", true, "100000000000000000000"},
        {AutoOutField::Repeat, "-1", false, ""},
        {AutoOutField::Repeat, "inf", false, ""},
        {AutoOutField::Repeat, "nan", false, ""},
    };
    for (const Case& c : cases) {
        const FieldNormalisation n = NormaliseAutoOutField(c.field, c.text, 3);
        EXPECT_EQ(n.rewrite, c.rewrite) << c.text;
        if (c.rewrite) {
            EXPECT_EQ(n.text, c.result) << c.text;
        }
    }
    // Decimals of a foreign file are held to 0-6 rather than emptying the field.
    EXPECT_EQ(NormaliseAutoOutField(AutoOutField::Start, "1", -4).text, "     1");
}

TEST(AutoOutSettings, EachModeShowsItsOwnLabelsHintAndPicture)
{
    const AutoOutModeView saw = AutoOutModeViewFor(kAutoSawtooth);
    EXPECT_TRUE(saw.waveFields);
    EXPECT_EQ(saw.startLabel, "開始値");
    EXPECT_EQ(saw.endLabel, "終了値");
    EXPECT_EQ(saw.stepLabel, "変化量");
    EXPECT_EQ(saw.intervalLabel, "更新間隔");
    EXPECT_EQ(saw.hint, "変化量は絶対値にて入力、繰返しは「0」にて連続動作");
    EXPECT_EQ(saw.picture, WavePicture::Sawtooth);
    EXPECT_FALSE(saw.tableShown || saw.readEnabled);

    const AutoOutModeView tri = AutoOutModeViewFor(kAutoTriangle);
    EXPECT_EQ(tri.endLabel, "折返値");
    EXPECT_EQ(tri.picture, WavePicture::Triangle);

    const AutoOutModeView arb = AutoOutModeViewFor(kAutoArbitrary);
    EXPECT_FALSE(arb.waveFields);
    EXPECT_EQ(arb.hint, "繰返しは「0」にて連続動作");
    EXPECT_EQ(arb.picture, WavePicture::None);
    EXPECT_TRUE(arb.tableShown && arb.readEnabled);

    AutoOutputSlot slot{kAutoTriangle, 3, 4.0, 20.0, -2.0, 15};
    const AutoOutFieldTexts texts = AutoOutFieldTextsFor(slot, 3);
    EXPECT_EQ(texts.start, " 4.000");
    EXPECT_EQ(texts.step, " 2.000"); // an older file's sign is not shown

    EXPECT_EQ(texts.interval, "   1.5");
    EXPECT_EQ(texts.repeat, "3");
    EXPECT_EQ(DialogModeFor(slot), kAutoTriangle);
    slot.mode = 9;
    EXPECT_EQ(DialogModeFor(slot), kAutoSawtooth);
}

TEST(AutoOutSettings, InputsComeFromTheSlotInUse)
{
    GeneratorModel model;
    model.channels[1].rangeCode = 5;
    std::optional<AutoOutDialogInputs> in = AutoOutDialogInputsFor(model, 1);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->slot, 5);
    EXPECT_EQ(in->channelText, "2");
    EXPECT_EQ(in->rangeText, "内 4～20 mA");
    EXPECT_EQ(in->lowerText, " 4.000");
    EXPECT_EQ(in->upperText, "20.000");

    model.channels[1].useConversion = true;
    model.channels[1].convMin = 100.0;
    model.channels[1].convMax = 0.0;
    model.channels[1].convDecimals = 1;
    in = AutoOutDialogInputsFor(model, 1);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->slot, kConversionSlot);
    EXPECT_EQ(in->rangeText, "換算式");
    EXPECT_EQ(in->limits.lower, 100.0);
    EXPECT_EQ(in->upperText, "   0.0");

    model.channels[0].rangeCode = 99;
    EXPECT_FALSE(AutoOutDialogInputsFor(model, 0));
}

TEST(AutoOutSettings, OkChecksTheFieldsInOrderWithTheirEdgeValues)
{
    EXPECT_EQ(ErrorOf(Fields()), AutoOutError::None);
    EXPECT_EQ(ErrorOf(Fields("abc")), AutoOutError::StartNotNumber);
    EXPECT_EQ(ErrorOf(Fields("3")), AutoOutError::StartOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("")), AutoOutError::StartOutOfRange); // empty reads as 0
    EXPECT_EQ(ErrorOf(Fields("4", "20x")), AutoOutError::EndNotNumber);
    EXPECT_EQ(ErrorOf(Fields("4", "20.001")), AutoOutError::EndOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "1s")), AutoOutError::IntervalNotNumber);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "0")), AutoOutError::IntervalNotPositive);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "-1")), AutoOutError::IntervalNotPositive);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "nan")), AutoOutError::IntervalNotPositive);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "9999.5")), AutoOutError::IntervalTooLong);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "1", "1.5")), AutoOutError::RepeatNotNumber);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "1", "1000001")), AutoOutError::RepeatOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "1", "1", "-1")), AutoOutError::RepeatOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "x")), AutoOutError::StepNotNumber);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "0")), AutoOutError::StepZero);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "")), AutoOutError::StepZero);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "25")), AutoOutError::StepOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("4", "20", "nan")), AutoOutError::StepOutOfRange);
    // The first failure wins: the step is checked after the repeat.
    EXPECT_EQ(ErrorOf(Fields("4", "20", "25", "1", "x")), AutoOutError::RepeatNotNumber);
    EXPECT_EQ(ErrorOf(Fields("3", "x")), AutoOutError::StartOutOfRange);

    // A reversed conversion: the limits in either order for the values, but
    // every step is larger than the upper limit 0.
    EXPECT_EQ(ErrorOf(Fields("50", "0", "1"), kReversed), AutoOutError::StepOutOfRange);
    EXPECT_EQ(ErrorOf(Fields("101", "0", "1"), kReversed), AutoOutError::StartOutOfRange);

    // The arbitrary mode reads the repeat only.
    EXPECT_EQ(ErrorOf(Fields("abc", "x", "x", "x", "2"), kMilliamps4to20, kAutoArbitrary), AutoOutError::None);
    EXPECT_EQ(ErrorOf(Fields("abc", "x", "x", "x", "x"), kMilliamps4to20, kAutoArbitrary),
              AutoOutError::RepeatNotNumber);
    EXPECT_EQ(ErrorOf(Fields(), kMilliamps4to20, 3), AutoOutError::UnknownMode);
}

TEST(AutoOutSettings, AcceptedValuesAreTakenAsParsedWithTheIntervalInTenths)
{
    AutoOutCheck check = CheckAutoOutFields(kAutoTriangle, Fields("4.5", "19", "-2", "0.5", "0x10"), kMilliamps4to20);
    ASSERT_EQ(check.error, AutoOutError::None);
    EXPECT_EQ(check.slot.mode, kAutoTriangle);
    EXPECT_EQ(check.slot.start, 4.5);
    EXPECT_EQ(check.slot.end, 19.0);
    // A sign typed with the step is dropped: start and end give the
    // direction, and "-2.000" would show a step the output never makes.
    EXPECT_EQ(check.slot.step, 2.0);
    EXPECT_EQ(AutoOutFieldTextsFor(check.slot, 3).step, " 2.000");
    EXPECT_EQ(check.slot.interval, 5);
    EXPECT_EQ(check.slot.repeat, 16);

    EXPECT_EQ(
        CheckAutoOutFields(kAutoSawtooth, Fields("4", "20", "1", "9999", "1000000"), kMilliamps4to20).slot.interval,
        99990);
    // An interval that would be stored as 0 tenths is refused: it would
    // step on every tick, and the next OK would refuse the 0.0 shown.
    EXPECT_EQ(CheckAutoOutFields(kAutoSawtooth, Fields("4", "20", "1", "0.05"), kMilliamps4to20).error,
              AutoOutError::IntervalNotPositive);
    EXPECT_EQ(CheckAutoOutFields(kAutoSawtooth, Fields("4", "20", "1", "0.1"), kMilliamps4to20).slot.interval, 1);

    check = CheckAutoOutFields(kAutoArbitrary, Fields("9", "9", "9", "9", "3"), kMilliamps4to20);
    EXPECT_EQ(check.slot.start, 0.0);
    EXPECT_EQ(check.slot.step, 0.0);
    EXPECT_EQ(check.slot.interval, 10);
    EXPECT_EQ(check.slot.repeat, 3);
}

class AcceptTest : public ::testing::Test {
protected:
    AutoOutputState state;
    ArbitraryTable table;
    test::ScriptedPrompter prompter;
    static constexpr int kSlot = 5;

    void SetUp() override
    {
        state.runState = kAutoPaused;
        for (ArbitraryPoint& p : state.points)
            p = {true, 8.0, 30};
        state.slots[kSlot] = AutoOutputSlot{kAutoSawtooth, 7, 5.0, 6.0, 1.0, 20};
    }

    bool Accept(std::int32_t mode, const AutoOutFieldTexts& texts)
    {
        return AcceptAutoOutSettings(state, kSlot, kMilliamps4to20, mode, texts, table, prompter);
    }
};

TEST_F(AcceptTest, AWaveSettingIsStoredAndEmptiesTheTable)
{
    ASSERT_TRUE(Accept(kAutoTriangle, Fields("4", "20", "2", "1.5", "3")));
    const AutoOutputSlot& s = state.slots[kSlot];
    EXPECT_EQ(s.mode, kAutoTriangle);
    EXPECT_EQ(s.interval, 15);
    EXPECT_EQ(s.repeat, 3);
    for (const ArbitraryPoint& p : state.points) {
        EXPECT_FALSE(p.used);
        EXPECT_EQ(p.value, 0.0);
        EXPECT_EQ(p.interval, 0);
    }
    EXPECT_EQ(state.runState, kAutoStopped);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(AcceptTest, ARefusalWritesNothingAndShowsItsMessageIfItHasOne)
{
    EXPECT_FALSE(Accept(kAutoSawtooth, Fields("4", "20", "25")));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "変化量が範囲外です");
    EXPECT_EQ(prompter.shown[0].caption, "確認");
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
    EXPECT_EQ(state.slots[kSlot].repeat, 7);
    EXPECT_TRUE(state.points[0].used);
    EXPECT_EQ(state.runState, kAutoPaused);

    EXPECT_FALSE(Accept(kAutoSawtooth, Fields("4", "20", "1", "1", "1000001")));
    EXPECT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(state.slots[kSlot].repeat, 7);

    EXPECT_FALSE(AcceptAutoOutSettings(state, kNoSlot, kMilliamps4to20, kAutoSawtooth, Fields(), table, prompter));
}

TEST_F(AcceptTest, TheArbitraryModeStoresACheckedTable)
{
    // A failing table writes nothing: cancelling the dialog afterwards
    // finds the slot and the rows as they were.
    table[0] = {"4", "1"};
    table[1] = {"30", "1"};
    EXPECT_FALSE(Accept(kAutoArbitrary, Fields("", "", "", "", "2")));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "範囲外データがあります");
    EXPECT_EQ(state.slots[kSlot].mode, kAutoSawtooth);
    EXPECT_EQ(state.slots[kSlot].repeat, 7);
    EXPECT_TRUE(state.points[0].used);
    EXPECT_EQ(state.points[0].value, 8.0);

    table[1] = {"12", "0.5"};
    ASSERT_TRUE(Accept(kAutoArbitrary, Fields("", "", "", "", "2")));
    EXPECT_TRUE(state.points[1].used);
    EXPECT_EQ(state.points[1].value, 12.0);
    EXPECT_EQ(state.points[1].interval, 5);
    EXPECT_FALSE(state.points[2].used);

    // An empty table passes and leaves no row in use.
    table = {};
    ASSERT_TRUE(Accept(kAutoArbitrary, Fields()));
    for (const ArbitraryPoint& p : state.points)
        EXPECT_FALSE(p.used);
}

} // namespace
} // namespace velmora
