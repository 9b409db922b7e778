#pragma once
// The per-channel record of everything the program knows about one output:
// what the operator chose, the words sent to the unit and the words the unit
// reports. Plain data; the operations live in GeneratorModel.
//
// Thread contract: UI thread only.

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

inline constexpr int kMaxChannels = 4;
inline constexpr int kSlotCount = 16; // one slot per range code
inline constexpr int kPresetCount = 8;
inline constexpr int kConversionSlot = 15; // the slot in use while the conversion formula is on
inline constexpr int kNoSlot = -1;         // a range code outside 0-15 has no slot

struct MakerCorrection {
    std::uint16_t minCorrection = 0x0000; // two's complement
    std::uint16_t maxCorrection = 0x8000; // offset binary, 0x8000 = zero
};

struct UserAdjustment {
    std::uint16_t adjustSelect = 0x0000; // bits 0-1: 0 none, 1 maker, 2 user in effect
    std::uint16_t minCorrection = 0x0000;
    std::uint16_t maxCorrection = 0x8000;
};

struct RangeInfo {
    double lower = 0.0;
    double upper = 1.0;
    int decimals = 0;
};

struct ChannelSettings {
    std::int32_t rangeCode = 0;
    bool useConversion = false;
    double convMin = 0.0;
    double convMax = 1.0;
    std::int32_t convDecimals = 0;
    double setValue = 0.0;
    std::array<std::array<double, kPresetCount>, kSlotCount> presets{};
    std::array<MakerCorrection, kSlotCount> makerCorrection{};
    std::array<UserAdjustment, kSlotCount> userAdjustment{};
    std::uint16_t controlWord = 0x0008;
    std::uint16_t auxControlWord = 0x0008;
    std::uint16_t dacCode = 0;
    std::uint16_t statusWord = 0;
    std::uint16_t reservedWord = 0;
    std::uint16_t extOutputWord = 0;
    std::array<std::uint16_t, 3> spareWords{};
    std::uint16_t extStatusWord = 0;
};

// What one settings frame carried, for those who keep track of what went
// out: the run record. Small enough to travel with the frame.
struct SettingsSnapshot {
    std::int32_t rangeCode = 0;
    bool useConversion = false;
    double convMin = 0.0;
    double convMax = 1.0;
    double setValue = 0.0;
    bool outputOn = false;
    std::uint16_t dacCode = 0;
};

// What the model needs of the link: whether the unit is connected, and a way
// to send one channel's settings frame. The protocol layer implements it over
// the serial channel; tests record the calls.
class ModelLink {
public:
    virtual ~ModelLink() = default;
    virtual bool IsConnected() const = 0;
    virtual void SendChannelSettings(int ch, const ChannelSettings& settings) = 0;
};

} // namespace velmora
