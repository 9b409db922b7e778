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

class GeneratorModel {
public:
    std::int32_t channelCount = 1;
    std::array<ChannelSettings, kMaxChannels> channels{};
    std::string versionText;

    // Where frames go; null means never connected.
    void SetLink(ModelLink* link) { m_pLink = link; }
    ModelLink* Link() const { return m_pLink; }
    bool IsConnected() const { return m_pLink != nullptr && m_pLink->IsConnected(); }

    // The slot in use: the range code, or the conversion slot while the
    // conversion formula is on.
    int ActiveSlot(int ch) const;

    RangeInfo ChannelLimits(int ch) const;
    void ValueToCode(int ch);
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
    std::string FormatPreset(int ch, int k) const;

    // Sends the settings frame of channel ch / of every channel in use, while
    // connected.
    void SendChannel(int ch);
    void SendAllInUse();

private:
    ModelLink* m_pLink = nullptr;
};

} // namespace velmora
