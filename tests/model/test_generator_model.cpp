#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "RecordingLink.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"

namespace velmora {
namespace {

using test::RecordingLink;

using Chs = std::vector<int>;

class ModelTest : public ::testing::Test {
protected:
    GeneratorModel model;
    RecordingLink link;

    void SetUp() override { model.SetLink(&link); }

    ChannelSettings& Ch(int ch) { return model.channels[static_cast<std::size_t>(ch)]; }

    std::uint16_t CodeFor(int range, double value)
    {
        Ch(0).rangeCode = range;
        Ch(0).setValue = value;
        model.ValueToCode(0);
        return Ch(0).dacCode;
    }

    double ValueFor(int range, std::uint16_t code)
    {
        Ch(0).rangeCode = range;
        Ch(0).dacCode = code;
        model.CodeToValue(0);
        return Ch(0).setValue;
    }

    void UseConversion(int ch, double lo, double hi, int decimals)
    {
        Ch(ch).useConversion = true;
        Ch(ch).convMin = lo;
        Ch(ch).convMax = hi;
        Ch(ch).convDecimals = decimals;
    }
};

TEST(GeneratorModelDefaults, NewModelStartsOnZeroToFiveVoltsOff)
{
    GeneratorModel model;
    EXPECT_EQ(model.channelCount, 1);
    EXPECT_FALSE(model.IsConnected());
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
        EXPECT_EQ(s.rangeCode, 0);
        EXPECT_EQ(s.setValue, 0.0);
        EXPECT_EQ(s.controlWord, 0x0008);
        EXPECT_FALSE(model.IsOutputOn(ch));
        EXPECT_FALSE(s.useConversion);
        EXPECT_EQ(s.convMin, 0.0);
        EXPECT_EQ(s.convMax, 1.0);
        EXPECT_EQ(s.convDecimals, 0);
        for (const auto& slot : s.presets)
            for (double p : slot)
                EXPECT_EQ(p, 0.0);
        EXPECT_EQ(model.ActiveSlot(ch), 0);
    }
}

// --- value <-> output code --------------------------------------------------

TEST_F(ModelTest, RangeEndsMapOntoTheWholeCode)
{
    for (int range : {0, 1, 2, 3, 5, 6, 7, 10, 11, 12}) {
        RangeInfo info = GetRangeInfo(range);
        EXPECT_EQ(CodeFor(range, info.lower), 0) << "range " << range;
        EXPECT_EQ(CodeFor(range, info.upper), 65535) << "range " << range;
        EXPECT_DOUBLE_EQ(ValueFor(range, 0), info.lower) << "range " << range;
        EXPECT_DOUBLE_EQ(ValueFor(range, 65535), info.upper) << "range " << range;
    }
}

TEST_F(ModelTest, MidScaleCodesRoundHalfUp)
{
    EXPECT_EQ(CodeFor(5, 12.0), 32768); // 32767.5 + 0.5
    EXPECT_EQ(CodeFor(0, 2.5), 32768);
    EXPECT_EQ(CodeFor(10, 3.0), 32768);
    EXPECT_EQ(CodeFor(3, 0.0), 32768);
    EXPECT_DOUBLE_EQ(ValueFor(5, 32768), 12.0);
    EXPECT_DOUBLE_EQ(ValueFor(2, 32768), 0.0);
    EXPECT_DOUBLE_EQ(ValueFor(2, 0), -5.0);
    EXPECT_DOUBLE_EQ(ValueFor(1, 1), 0.0);        // 0.00015 V rounds to 0.000
    EXPECT_DOUBLE_EQ(ValueFor(1, 4), 0.001);      // 0.00061 V rounds to 0.001
    EXPECT_DOUBLE_EQ(ValueFor(3, 32765), -0.001); // -0.00076 V, away from zero
    EXPECT_DOUBLE_EQ(ValueFor(3, 32766), 0.0);    // -0.00046 V
}

TEST_F(ModelTest, ConversionFormulaCodes)
{
    UseConversion(0, -50.0, 50.0, 1);
    Ch(0).dacCode = 0;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, -50.0);
    Ch(0).dacCode = 65535;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 50.0);

    // Reversed span: the top of the converted scale is the bottom output.
    UseConversion(0, 100.0, 0.0, 0);
    Ch(0).setValue = 100.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 0);
    Ch(0).setValue = 0.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 65535);
    Ch(0).dacCode = 65535;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 0.0);
    Ch(0).dacCode = 0;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 100.0);

    // An empty span has nowhere to go.
    UseConversion(0, 7.0, 7.0, 0);
    Ch(0).setValue = 9.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 0);
    Ch(0).dacCode = 40000;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 7.0);
}

TEST_F(ModelTest, OutOfRangeValuesSaturateTheCode)
{
    EXPECT_EQ(CodeFor(0, 5.5), 65535);
    EXPECT_EQ(CodeFor(0, -0.1), 0);
    EXPECT_EQ(CodeFor(5, 0.0), 0);
    EXPECT_EQ(CodeFor(12, 1e300), 65535);
    EXPECT_EQ(CodeFor(3, -DBL_MAX), 0);
    EXPECT_EQ(CodeFor(1, INFINITY), 65535);
    EXPECT_EQ(CodeFor(1, -INFINITY), 0);
    EXPECT_EQ(CodeFor(1, NAN), 0);

    // A preset outside a reversed span, and a span so tiny that any step
    // overshoots by far more than 16 bits.
    UseConversion(0, 100.0, 0.0, 0);
    Ch(0).setValue = 150.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 0);
    Ch(0).setValue = -50.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 65535);
    UseConversion(0, 0.0, 1e-300, 0);
    Ch(0).setValue = 1.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 65535);
    Ch(0).setValue = NAN;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 0);
    UseConversion(0, NAN, 10.0, 0);
    Ch(0).setValue = 5.0;
    model.ValueToCode(0);
    EXPECT_EQ(Ch(0).dacCode, 0);
}

TEST_F(ModelTest, CodeToValueWithUnusableConversionSettings)
{
    // Decimals from a file may be anything; rounding holds them to 0-6.
    UseConversion(0, 0.0, 100.0, 400);
    Ch(0).dacCode = 32768;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 50.000763);
    UseConversion(0, 0.0, 100.0, -3);
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 50.0);
    UseConversion(0, 0.0, 100.0, std::numeric_limits<std::int32_t>::min());
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 50.0);

    // Huge limits still give a finite value.
    UseConversion(0, -1e300, 1e300, 2);
    Ch(0).dacCode = 65535;
    model.CodeToValue(0);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 1e300);

    // Limits that give no number leave the set value at 0.
    UseConversion(0, NAN, 1.0, 2);
    Ch(0).setValue = 3.0;
    model.CodeToValue(0);
    EXPECT_EQ(Ch(0).setValue, 0.0);
    UseConversion(0, -DBL_MAX, DBL_MAX, 2); // the span itself overflows
    Ch(0).dacCode = 0;
    Ch(0).setValue = 3.0;
    model.CodeToValue(0);
    EXPECT_TRUE(std::isfinite(Ch(0).setValue));
}

TEST_F(ModelTest, CodesThatNameNoRangeLeaveCodeAndValue)
{
    for (int range : {4, 8, 15, 99, -1, std::numeric_limits<int>::min()}) {
        Ch(0).rangeCode = range;
        Ch(0).setValue = 2.0;
        Ch(0).dacCode = 1234;
        model.ValueToCode(0);
        EXPECT_EQ(Ch(0).dacCode, 1234) << "range " << range;
        model.CodeToValue(0);
        EXPECT_EQ(Ch(0).setValue, 2.0) << "range " << range;
    }
}

TEST_F(ModelTest, ConversionSwitchReexpressesTheValue)
{
    model.SetRange(0, 1);
    model.SetSetValue(0, 5.0);
    Ch(0).convMin = 0.0;
    Ch(0).convMax = 100.0;
    Ch(0).convDecimals = 0;

    model.SetConversionEnabled(0, true);
    EXPECT_EQ(Ch(0).setValue, 50.0); // code 32768 -> 50.000763 -> 50
    EXPECT_EQ(Ch(0).dacCode, 32768);
    EXPECT_EQ(model.ActiveSlot(0), kConversionSlot);
    model.SetConversionEnabled(0, false);
    EXPECT_EQ(Ch(0).setValue, 5.0);
    EXPECT_EQ(model.ActiveSlot(0), 1);

    Ch(0).convDecimals = 2;
    model.SetConversionEnabled(0, true);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 50.0); // 5000.08 + 0.5 truncated -> 50.00
    model.SetConversionEnabled(0, false);
    EXPECT_DOUBLE_EQ(Ch(0).setValue, 5.0);
}

// --- control words -----------------------------------------------------------

TEST_F(ModelTest, RangeSelectBitsFollowInternalRangesOnly)
{
    Ch(0).controlWord = 0xA0F8; // bits outside 0-2 belong to others
    model.SetRange(0, 7);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FF);
    model.SetRange(0, 10);
    EXPECT_EQ(Ch(0).controlWord, 0xA0F8);
    model.SetRange(0, 6);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FE);
    // External-supply ranges keep what the previous range selected.
    model.SetRange(0, 11);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FE);
    model.SetRange(0, 12);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FE);
    model.SetRange(0, 99);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FE);
    model.SetRange(0, 3);
    EXPECT_EQ(Ch(0).controlWord, 0xA0FB);
}

TEST_F(ModelTest, ExternalSupplyRangesSwitchTheirOwnOutputBit)
{
    model.SetRange(0, 12);
    model.SwitchOutputOn(0);
    EXPECT_EQ(Ch(0).controlWord & 0x1000, 0);
    EXPECT_EQ(Ch(0).extOutputWord, 0x0001);
    EXPECT_TRUE(model.IsOutputOn(0));
    // The other bit is not what counts on these ranges.
    Ch(0).controlWord |= 0x1000;
    Ch(0).extOutputWord = 0;
    EXPECT_FALSE(model.IsOutputOn(0));

    model.SetRange(0, 5);
    Ch(0).extOutputWord = 0x0001;
    Ch(0).controlWord = 0x000D;
    model.SwitchOutputOn(0);
    EXPECT_EQ(Ch(0).controlWord, 0x100D);
    EXPECT_EQ(Ch(0).extOutputWord, 0);
    EXPECT_TRUE(model.IsOutputOn(0));

    Ch(0).extOutputWord = 0x0003;
    model.SwitchOutputOff(0);
    EXPECT_EQ(Ch(0).controlWord, 0x000D);
    EXPECT_EQ(Ch(0).extOutputWord, 0x0002);
    EXPECT_FALSE(model.IsOutputOn(0));
}

TEST_F(ModelTest, AlarmCodeReportsTheLowestBitOfTheRightWord)
{
    Ch(0).rangeCode = 1;
    Ch(0).statusWord = 0x0006;
    EXPECT_EQ(model.AlarmCode(0), kAlarmSlewing);
    Ch(0).statusWord = 0x0020;
    EXPECT_EQ(model.AlarmCode(0), 0);
    Ch(0).statusWord = 0xFFF0;
    EXPECT_EQ(model.AlarmCode(0), kAlarmCrc1);
    Ch(0).extStatusWord = 0x0001; // not this range's word
    Ch(0).statusWord = 0;
    EXPECT_EQ(model.AlarmCode(0), 0);

    Ch(0).rangeCode = 11;
    Ch(0).statusWord = 0x0001;
    Ch(0).extStatusWord = 0x000C;
    EXPECT_EQ(model.AlarmCode(0), kAlarmSpi2);
    Ch(0).extStatusWord = 0x0010;
    EXPECT_EQ(model.AlarmCode(0), 0);
    Ch(0).rangeCode = 12;
    Ch(0).extStatusWord = 0x0002;
    EXPECT_EQ(model.AlarmCode(0), kAlarmExtAbnormal);
}

// --- set value resets ----------------------------------------------------------

TEST_F(ModelTest, RangeChangeStartsAtTheRangesStartingValue)
{
    model.SetRange(0, 5);
    EXPECT_EQ(Ch(0).setValue, 4.0);
    EXPECT_EQ(Ch(0).dacCode, 0);
    model.SetRange(0, 10);
    EXPECT_EQ(Ch(0).setValue, 1.0);
    model.SetSetValue(0, 3.0);
    model.SetRange(0, 15); // no starting value: the set value stays
    EXPECT_EQ(Ch(0).setValue, 3.0);
    model.SetRange(0, -1);
    EXPECT_EQ(Ch(0).setValue, 3.0);

    UseConversion(0, -20.0, 80.0, 1);
    model.SetRange(0, 5);
    EXPECT_EQ(Ch(0).setValue, -20.0);
    EXPECT_EQ(Ch(0).dacCode, 0);
}

// --- presets -----------------------------------------------------------------

TEST_F(ModelTest, ResetPresetsFillsEveryNamedSlot)
{
    Ch(0).convMin = -100.0;
    Ch(0).convMax = 100.0;
    Ch(0).presets[4].fill(9.0);
    Ch(0).presets[13].fill(9.0);
    model.ResetPresets(0);

    using P = std::array<double, kPresetCount>;
    EXPECT_EQ(Ch(0).presets[5], (P{4, 20, 4, 4, 4, 4, 4, 4}));
    EXPECT_EQ(Ch(0).presets[3], (P{-10, 10, -10, -10, -10, -10, -10, -10}));
    EXPECT_EQ(Ch(0).presets[15], (P{-100, 100, -100, -100, -100, -100, -100, -100}));
    EXPECT_EQ(Ch(0).presets[4], (P{9, 9, 9, 9, 9, 9, 9, 9}));
    EXPECT_EQ(Ch(0).presets[13], (P{9, 9, 9, 9, 9, 9, 9, 9}));
}

TEST_F(ModelTest, ClampPresetsIntoEachSlotsSpan)
{
    Ch(0).convMin = 100.0; // reversed span
    Ch(0).convMax = 0.0;
    Ch(0).convDecimals = 1;
    Ch(0).presets[15] = {-5.0, 150.0, 42.37, -42.37, 100.0, NAN, INFINITY, -INFINITY};
    Ch(0).presets[0] = {-1.0, 6.0, 2.34567, 5.0, 0.0, 1e300, -DBL_MAX, NAN};
    Ch(0).presets[9] = {-1.0, 6.0, 2.34567, 5.0, 0.0, 1e300, -DBL_MAX, NAN};
    model.ClampPresets(0);

    const auto& conv = Ch(0).presets[15];
    EXPECT_EQ(conv[0], 0.0);
    EXPECT_EQ(conv[1], 100.0);
    EXPECT_DOUBLE_EQ(conv[2], 42.3);
    EXPECT_EQ(conv[3], 0.0);
    EXPECT_EQ(conv[4], 100.0);
    EXPECT_EQ(conv[5], 0.0); // NaN takes the lower end
    EXPECT_EQ(conv[6], 100.0);
    EXPECT_EQ(conv[7], 0.0);

    const auto& volts = Ch(0).presets[0];
    EXPECT_EQ(volts[0], 0.0);
    EXPECT_EQ(volts[1], 5.0);
    EXPECT_DOUBLE_EQ(volts[2], 2.345);
    EXPECT_EQ(volts[5], 5.0);
    EXPECT_EQ(volts[6], 0.0);
    EXPECT_EQ(volts[7], 0.0);

    // Slots that name no range are not touched.
    EXPECT_EQ(Ch(0).presets[9][1], 6.0);
    EXPECT_TRUE(std::isnan(Ch(0).presets[9][7]));
}

// --- formatting --------------------------------------------------------------

TEST_F(ModelTest, SetValueTextKeepsAColumnForTheSign)
{
    Ch(0).rangeCode = 2;
    Ch(0).setValue = -5.0;
    EXPECT_EQ(model.FormatSetValue(0), "- 5.000");
    EXPECT_EQ(model.FormatSetValue(0).size(), 7u);
    Ch(0).rangeCode = 6;
    Ch(0).setValue = 12.5;
    EXPECT_EQ(model.FormatSetValue(0), " 12.500");
    Ch(0).setValue = -0.0;
    EXPECT_EQ(model.FormatSetValue(0), "  0.000");

    UseConversion(0, -50.0, 50.0, 1);
    Ch(0).setValue = -12.5;
    EXPECT_EQ(model.FormatSetValue(0), "-  12.5");
    EXPECT_EQ(model.FormatMin(0), " -50.0");
    EXPECT_EQ(model.FormatMax(0), "  50.0");
    Ch(0).convDecimals = 9; // nothing to print with
    EXPECT_EQ(model.FormatSetValue(0), "-");
    EXPECT_EQ(model.FormatMin(0), "");
}

TEST_F(ModelTest, PresetTextComesFromTheSlotInUse)
{
    Ch(0).rangeCode = 5;
    Ch(0).presets[5][2] = 12.25;
    Ch(0).presets[15][2] = 75.0;
    EXPECT_EQ(model.FormatPreset(0, 2), "12.250");
    UseConversion(0, 0.0, 100.0, 0);
    EXPECT_EQ(model.FormatPreset(0, 2), "    75");
    EXPECT_EQ(model.FormatPreset(0, 8), "");
    EXPECT_EQ(model.FormatPreset(0, -1), "");
}

// --- range codes outside the table ---------------------------------------------

TEST_F(ModelTest, RangeCodeOutsideTheSlotsHasNoSlot)
{
    for (int range : {99, 16, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        Ch(0).useConversion = false;
        Ch(0).rangeCode = range;
        EXPECT_EQ(model.ActiveSlot(0), kNoSlot) << "range " << range;
        EXPECT_EQ(model.FormatPreset(0, 0), "") << "range " << range;
        RangeInfo limits = model.ChannelLimits(0);
        EXPECT_EQ(limits.lower, 0.0);
        EXPECT_EQ(limits.upper, 1.0);
        EXPECT_EQ(model.AlarmCode(0), 0);
        model.SwitchOutputOn(0);
        EXPECT_TRUE(model.IsOutputOn(0));
        model.SwitchOutputOff(0);
        model.ResendAll();
        // Under the conversion formula the conversion slot is in use whatever
        // the range code.
        Ch(0).useConversion = true;
        EXPECT_EQ(model.ActiveSlot(0), kConversionSlot);
    }
    // Codes 4, 8, 9, 13 and 14 name no range but do have a slot.
    Ch(0).useConversion = false;
    Ch(0).rangeCode = 13;
    EXPECT_EQ(model.ActiveSlot(0), 13);
}

TEST_F(ModelTest, ChannelIndexOutsideZeroToThreeIsIgnored)
{
    for (int ch : {-1, 4, 1000}) {
        model.SetRange(ch, 5);
        model.SetSetValue(ch, 3.0);
        model.SetConversionEnabled(ch, true);
        model.SwitchOutputOn(ch);
        model.ResetPresets(ch);
        model.ClampPresets(ch);
        model.SendChannel(ch);
        EXPECT_EQ(model.ActiveSlot(ch), kNoSlot);
        EXPECT_FALSE(model.IsOutputOn(ch));
        EXPECT_EQ(model.AlarmCode(ch), 0);
        EXPECT_EQ(model.FormatSetValue(ch), "");
        EXPECT_EQ(model.FormatPreset(ch, 0), "");
    }
    EXPECT_TRUE(link.frames.empty());
    EXPECT_EQ(Ch(0).rangeCode, 0);
}

// --- frames sent -------------------------------------------------------------

TEST_F(ModelTest, RangeChangeSendsEveryChannelInUseTwice)
{
    model.channelCount = 2;
    model.SetRange(1, 5);
    EXPECT_EQ(link.Channels(), (Chs{0, 1, 0, 1}));
    // Each frame carries the record as it stands after the change.
    EXPECT_EQ(link.frames[1].settings.rangeCode, 5);
    EXPECT_EQ(link.frames[1].settings.setValue, 4.0);
    EXPECT_EQ(link.frames[1].settings.controlWord & 7, 5);
}

TEST_F(ModelTest, SetValueSendsEveryChannelInUseOnce)
{
    model.channelCount = 4;
    model.SetSetValue(2, 2.5);
    EXPECT_EQ(link.Channels(), (Chs{0, 1, 2, 3}));
    EXPECT_EQ(link.frames[2].settings.dacCode, 32768);

    link.frames.clear();
    model.ResetSetValue(3);
    EXPECT_EQ(link.Channels(), (Chs{0, 1, 2, 3}));
}

TEST_F(ModelTest, OwnChannelOperationsSendOnlyThatChannel)
{
    model.channelCount = 1;
    model.SwitchOutputOn(3);
    model.SwitchOutputOff(2);
    model.SetConversionEnabled(1, true);
    model.SetConversionEnabled(1, true); // no change, nothing sent
    EXPECT_EQ(link.Channels(), (Chs{3, 2, 1}));
    EXPECT_TRUE(link.frames[0].settings.controlWord & 0x1000);
    EXPECT_TRUE(link.frames[2].settings.useConversion);
}

TEST_F(ModelTest, NothingIsSentWhileDisconnected)
{
    link.connected = false;
    model.channelCount = 4;
    model.SetRange(0, 3);
    model.SetSetValue(0, 1.0);
    model.SwitchOutputOn(0);
    model.SwitchOutputOff(0);
    model.SetConversionEnabled(0, true);
    model.ResendAll();
    EXPECT_TRUE(link.frames.empty());
    // The model still changed.
    EXPECT_EQ(Ch(0).rangeCode, 3);

    GeneratorModel unlinked;
    unlinked.SetSetValue(0, 1.0);
    EXPECT_EQ(unlinked.channels[0].dacCode, 13107);
}

TEST_F(ModelTest, ChannelCountFromAFileNeverReachesPastFourChannels)
{
    model.channelCount = 7;
    EXPECT_EQ(model.ChannelsInUse(), 4);
    model.SetSetValue(0, 1.0);
    EXPECT_EQ(link.Channels(), (Chs{0, 1, 2, 3}));

    link.frames.clear();
    model.channelCount = -1;
    EXPECT_EQ(model.ChannelsInUse(), 0);
    model.SetRange(0, 1);
    model.ResendAll();
    EXPECT_TRUE(link.frames.empty());

    model.channelCount = std::numeric_limits<std::int32_t>::max();
    model.ResendAll();
    EXPECT_EQ(link.Channels(), (Chs{0, 1, 2, 3}));
}

TEST_F(ModelTest, ResendAllRecomputesAllFourThenSendsThoseInUse)
{
    model.channelCount = 2;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        Ch(ch).rangeCode = 7;
        Ch(ch).setValue = 12.0;
        Ch(ch).controlWord = 0x0008;
        Ch(ch).dacCode = 0;
    }
    model.ResendAll();
    EXPECT_EQ(link.Channels(), (Chs{0, 1}));
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        EXPECT_EQ(Ch(ch).controlWord, 0x000F) << "channel " << ch;
        EXPECT_EQ(Ch(ch).dacCode, 32768) << "channel " << ch; // 32767.5 + 0.5
    }
    EXPECT_EQ(link.frames[1].settings.dacCode, 32768);
}

} // namespace
} // namespace velmora
