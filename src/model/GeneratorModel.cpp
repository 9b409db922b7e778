#include "model/GeneratorModel.h"

#include <algorithm>
#include <cmath>

#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr std::uint16_t kOutputEnableBit = 0x1000; // controlWord bit 12
constexpr std::uint16_t kExtOutputOnBit = 0x0001;  // extOutputWord bit 0
constexpr std::uint16_t kRangeSelectMask = 0x0007; // controlWord bits 0-2

bool IsChannelIndex(int ch)
{
    return ch >= 0 && ch < kMaxChannels;
}

// The external-supply ranges switch their output and report their alarms
// through words of their own.
bool IsExternalSupply(int code)
{
    return code == 11 || code == 12;
}

// x is the code before truncation toward zero. A set value outside its range
// would otherwise make an out-of-range double-to-integer conversion; the unit
// can only go as far as its ends, so the code stops there. NaN fails both
// comparisons and lands on 0.
std::uint16_t SaturateCode(double x)
{
    if (!(x >= 0.0))
        return 0;
    if (x >= 65535.0)
        return 65535;
    return static_cast<std::uint16_t>(x);
}

// Nearest multiple of 1/scale, halves away from zero. Past 2^52 the product is
// already whole; std::trunc keeps even those defined.
double RoundToScale(double x, double scale)
{
    double scaled = x * scale;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0)
        return x;
    return std::trunc(scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5) / scale;
}

RangeInfo ConversionLimits(const ChannelSettings& s)
{
    return RangeInfo{s.convMin, s.convMax, s.convDecimals};
}

// Limits of preset slot k: the table's for a range, the channel's conversion
// span for the conversion slot.
RangeInfo SlotLimits(const ChannelSettings& s, int k)
{
    return k == kConversionSlot ? ConversionLimits(s) : GetRangeInfo(k);
}

} // namespace

int GeneratorModel::ChannelsInUse() const
{
    return std::clamp<int>(channelCount, 0, kMaxChannels);
}

int GeneratorModel::ActiveSlot(int ch) const
{
    if (!IsChannelIndex(ch))
        return kNoSlot;
    const ChannelSettings& s = channels[ch];
    if (s.useConversion)
        return kConversionSlot;
    if (s.rangeCode < 0 || s.rangeCode >= kSlotCount)
        return kNoSlot;
    return s.rangeCode;
}

RangeInfo GeneratorModel::ChannelLimits(int ch) const
{
    if (!IsChannelIndex(ch))
        return RangeInfo{};
    const ChannelSettings& s = channels[ch];
    return s.useConversion ? ConversionLimits(s) : GetRangeInfo(s.rangeCode);
}

void GeneratorModel::ValueToCode(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    const double v = s.setValue;
    if (s.useConversion) {
        if (s.convMin == s.convMax)
            s.dacCode = 0;
        else
            s.dacCode = SaturateCode((v - s.convMin) * 65535.0 / (s.convMax - s.convMin) + 0.5);
        return;
    }
    // Each factor maps the range's span exactly onto 0-65535.
    switch (s.rangeCode) {
    case 0:
        s.dacCode = SaturateCode(v * 13107.0 + 0.5);
        break;
    case 1:
        s.dacCode = SaturateCode(v * 6553.5 + 0.5);
        break;
    case 2:
        s.dacCode = SaturateCode((v + 5.0) * 6553.5 + 0.5);
        break;
    case 3:
        s.dacCode = SaturateCode((v + 10.0) * 3276.75 + 0.5);
        break;
    case 5:
    case 11:
        s.dacCode = SaturateCode((v - 4.0) * 4095.9375 + 0.5);
        break;
    case 6:
        s.dacCode = SaturateCode(v * 3276.75 + 0.5);
        break;
    case 7:
    case 12:
        s.dacCode = SaturateCode(v * 2730.625 + 0.5);
        break;
    case 10:
        s.dacCode = SaturateCode(v * 16383.75 - 16383.75 + 0.5);
        break;
    default:
        break; // no range: the unit keeps what it was last sent
    }
}

void GeneratorModel::CodeToValue(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    const double c = s.dacCode;
    double x = 0.0;
    double scale = 1000.0;
    if (s.useConversion) {
        x = s.convMin == s.convMax ? s.convMin : s.convMin + c * (s.convMax - s.convMin) / 65535.0;
        scale = DecimalScale(s.convDecimals);
    } else {
        switch (s.rangeCode) {
        case 0:
            x = c / 13107.0;
            break;
        case 1:
            x = c / 6553.5;
            break;
        case 2:
            x = c / 6553.5 - 5.0;
            break;
        case 3:
            x = c / 3276.75 - 10.0;
            break;
        case 5:
        case 11:
            x = c / 4095.9375 + 4.0;
            break;
        case 6:
            x = c / 3276.75;
            break;
        case 7:
        case 12:
            x = c / 2730.625;
            break;
        case 10:
            x = (c + 16383.75) / 16383.75;
            break;
        default:
            return; // no range: the set value stays
        }
    }
    double value = RoundToScale(x, scale);
    s.setValue = std::isfinite(value) ? value : 0.0;
}

void GeneratorModel::UpdateRangeBits(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    if (auto bits = RangeSelectBits(s.rangeCode))
        s.controlWord = static_cast<std::uint16_t>((s.controlWord & ~kRangeSelectMask) | *bits);
}

void GeneratorModel::SetRange(int ch, int code)
{
    if (!IsChannelIndex(ch))
        return;
    channels[ch].rangeCode = code;
    UpdateRangeBits(ch);
    ResetSetValue(ch);
    // ResetSetValue has sent the frames already; the unit has always been
    // sent them a second time on a range change.
    SendAllInUse();
}

void GeneratorModel::ResetSetValue(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    if (s.useConversion)
        s.setValue = s.convMin;
    else if (auto start = RangeStartingValue(s.rangeCode))
        s.setValue = *start;
    ValueToCode(ch);
    SendAllInUse();
}

void GeneratorModel::SetSetValue(int ch, double value)
{
    if (!IsChannelIndex(ch))
        return;
    channels[ch].setValue = value;
    ValueToCode(ch);
    SendAllInUse();
}

void GeneratorModel::SetConversionEnabled(int ch, bool on)
{
    if (!IsChannelIndex(ch) || channels[ch].useConversion == on)
        return;
    // The output stays where it is; only the units of the set value change.
    ValueToCode(ch);
    channels[ch].useConversion = on;
    CodeToValue(ch);
    SendChannel(ch);
}

std::string AlarmText(int alarmCode)
{
    switch (alarmCode) {
    case 0x001:
        return N_("出力部高温");
    case 0x002:
        return "Slewing";
    case 0x004:
        return N_("出力不足");
    case 0x008:
        return "WDOG";
    case 0x010:
        return "CRC1";
    case 0x100:
        return N_("出力不足");
    case 0x200:
        return N_("出力異常");
    case 0x400:
        return "SPI2";
    case 0x800:
        return "CRC2";
    default:
        return {};
    }
}

bool OutputIsOn(const ChannelSettings& s)
{
    if (IsExternalSupply(s.rangeCode))
        return (s.extOutputWord & kExtOutputOnBit) != 0;
    return (s.controlWord & kOutputEnableBit) != 0;
}

SettingsSnapshot Snapshot(const ChannelSettings& s)
{
    return {s.rangeCode, s.useConversion, s.convMin, s.convMax, s.setValue, OutputIsOn(s), s.dacCode};
}

bool GeneratorModel::IsOutputOn(int ch) const
{
    if (!IsChannelIndex(ch))
        return false;
    return OutputIsOn(channels[ch]);
}

void GeneratorModel::SwitchOutputOn(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    if (IsExternalSupply(s.rangeCode)) {
        s.controlWord = static_cast<std::uint16_t>(s.controlWord & ~kOutputEnableBit);
        s.extOutputWord = static_cast<std::uint16_t>(s.extOutputWord | kExtOutputOnBit);
    } else {
        s.controlWord = static_cast<std::uint16_t>(s.controlWord | kOutputEnableBit);
        s.extOutputWord = static_cast<std::uint16_t>(s.extOutputWord & ~kExtOutputOnBit);
    }
    SendChannel(ch);
}

void GeneratorModel::SwitchOutputOff(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    s.controlWord = static_cast<std::uint16_t>(s.controlWord & ~kOutputEnableBit);
    s.extOutputWord = static_cast<std::uint16_t>(s.extOutputWord & ~kExtOutputOnBit);
    SendChannel(ch);
}

int GeneratorModel::AlarmCode(int ch) const
{
    if (!IsChannelIndex(ch))
        return 0;
    const ChannelSettings& s = channels[ch];
    // Only the lowest set bit is shown; the rest wait until it clears.
    if (IsExternalSupply(s.rangeCode)) {
        for (int bit = 0; bit < 4; ++bit) {
            if (s.extStatusWord & (1u << bit))
                return 0x100 << bit;
        }
        return 0;
    }
    for (int bit = 0; bit < 5; ++bit) {
        if (s.statusWord & (1u << bit))
            return 1 << bit;
    }
    return 0;
}

void GeneratorModel::ResendAll()
{
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        UpdateRangeBits(ch);
        ValueToCode(ch);
    }
    SendAllInUse();
}

void GeneratorModel::ResetPresets(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    for (int k = 0; k < kSlotCount; ++k) {
        if (!IsValidRangeCode(k))
            continue;
        RangeInfo limits = SlotLimits(s, k);
        auto& slot = s.presets[static_cast<std::size_t>(k)];
        slot.fill(limits.lower);
        slot[1] = limits.upper;
    }
}

void GeneratorModel::ClampPresets(int ch)
{
    if (!IsChannelIndex(ch))
        return;
    ChannelSettings& s = channels[ch];
    for (int k = 0; k < kSlotCount; ++k) {
        if (!IsValidRangeCode(k))
            continue;
        RangeInfo limits = SlotLimits(s, k);
        // A reversed conversion span (convMin above convMax) is still a span.
        double lo = std::min(limits.lower, limits.upper);
        double hi = std::max(limits.lower, limits.upper);
        for (double& preset : s.presets[static_cast<std::size_t>(k)]) {
            double v = std::isnan(preset) ? lo : std::clamp(preset, lo, hi);
            preset = TruncateToDecimals(v, limits.decimals);
        }
    }
}

std::string GeneratorModel::FormatSetValue(int ch) const
{
    if (!IsChannelIndex(ch))
        return {};
    // Adding 0.0 turns a negative zero (what rounding -0.0004 leaves) into
    // a plain zero, which would otherwise print as " -0.000".
    const double v = channels[ch].setValue + 0.0;
    const int decimals = ChannelLimits(ch).decimals;
    // The sign has a column of its own so that the digits stay in place.
    if (v >= 0.0)
        return " " + FormatFixed(v, decimals);
    return "-" + FormatFixed(-v, decimals);
}

std::string GeneratorModel::FormatMin(int ch) const
{
    if (!IsChannelIndex(ch))
        return {};
    RangeInfo limits = ChannelLimits(ch);
    return FormatFixed(limits.lower, limits.decimals);
}

std::string GeneratorModel::FormatMax(int ch) const
{
    if (!IsChannelIndex(ch))
        return {};
    RangeInfo limits = ChannelLimits(ch);
    return FormatFixed(limits.upper, limits.decimals);
}

std::string GeneratorModel::FormatPreset(int ch, int k) const
{
    const int slot = ActiveSlot(ch);
    if (slot == kNoSlot || k < 0 || k >= kPresetCount)
        return {};
    const double preset = channels[ch].presets[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)];
    return FormatFixed(preset, ChannelLimits(ch).decimals);
}

void GeneratorModel::SendChannel(int ch)
{
    if (!IsChannelIndex(ch) || !IsConnected())
        return;
    m_pLink->SendChannelSettings(ch, channels[ch]);
}

void GeneratorModel::SendAllInUse()
{
    if (!IsConnected())
        return;
    const int count = ChannelsInUse();
    for (int ch = 0; ch < count; ++ch)
        m_pLink->SendChannelSettings(ch, channels[ch]);
}

} // namespace velmora
