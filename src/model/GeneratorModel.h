#pragma once
// The generator model: the channel count, the four channel records, the
// unit's version text, and every operation that changes what a channel
// outputs. Operations that change an output send the affected settings frames
// at once while the link reports itself connected.
//
// Thread contract: UI thread only.

#include <array>
#include <string>

#include "model/ChannelSettings.h"

namespace velmora {

// AlarmCode values.
enum AlarmBits : int {
    kAlarmOverTemperature = 0x001,
    kAlarmSlewing = 0x002,
    kAlarmOutputShort = 0x004,
    kAlarmWatchdog = 0x008,
    kAlarmCrc1 = 0x010,
    kAlarmExtInsufficient = 0x100,
    kAlarmExtAbnormal = 0x200,
    kAlarmSpi2 = 0x400,
    kAlarmCrc2 = 0x800,
};

// The alarm label's text for an AlarmCode, untranslated: empty (label
// hidden) for 0 and for any code that is not one alarm bit.
std::string AlarmText(int alarmCode);

// Whether the settings switch the output on (the bit depends on the range).
bool OutputIsOn(const ChannelSettings& s);
// What a settings frame made from `s` carries.
SettingsSnapshot Snapshot(const ChannelSettings& s);

// Every channel operation takes a channel index 0-3; any other index is
// ignored (queries answer as for a default channel, operations do nothing).
class GeneratorModel {
public:
    std::int32_t channelCount = 1;
    std::array<ChannelSettings, kMaxChannels> channels{};
    std::string versionText;

    // Where frames go; null means never connected.
    void SetLink(ModelLink* link) { m_pLink = link; }
    ModelLink* Link() const { return m_pLink; }
    bool IsConnected() const { return m_pLink != nullptr && m_pLink->IsConnected(); }

    // channelCount held to the four records: a count read from a file may be
    // any int32 (7, -1), and the channels in use are 0 .. ChannelsInUse()-1.
    int ChannelsInUse() const;

    // The slot in use: the range code, or the conversion slot while the
    // conversion formula is on. A range code outside 0-15 (possible only from
    // a file) has no slot: the answer is then kNoSlot, and callers must not
    // index with it. Also kNoSlot for a channel index outside 0-3.
    int ActiveSlot(int ch) const;

    RangeInfo ChannelLimits(int ch) const;
    // The output code saturates at 0 and 65535 for a set value outside the
    // limits (a preset from a file, a reversed or tiny conversion span); a
    // set value that is not a number gives code 0.
    void ValueToCode(int ch);
    // Rounds to convDecimals held to 0-6 under the conversion formula. A
    // result that is not a finite number (NaN or infinite conversion limits
    // from a file) stores 0.0.
    void CodeToValue(int ch);
    void UpdateRangeBits(int ch);
    void SetRange(int ch, int code);
    void ResetSetValue(int ch);
    void SetSetValue(int ch, double value);
    void SetConversionEnabled(int ch, bool on);
    bool IsOutputOn(int ch) const;
    void SwitchOutputOn(int ch);
    void SwitchOutputOff(int ch);
    int AlarmCode(int ch) const;
    void ResendAll();
    void ResetPresets(int ch);
    void ClampPresets(int ch);
    std::string FormatSetValue(int ch) const;
    std::string FormatMin(int ch) const;
    std::string FormatMax(int ch) const;
    // Empty when k is outside 0-7 or the channel has no slot in use.
    std::string FormatPreset(int ch, int k) const;

    // Sends the settings frame of channel ch / of every channel in use, while
    // connected.
    void SendChannel(int ch);
    void SendAllInUse();

private:
    ModelLink* m_pLink = nullptr;
};

} // namespace velmora
