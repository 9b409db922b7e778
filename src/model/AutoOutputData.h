#pragma once
// Per-channel data of the automatic outputs: the sixteen slots of settings
// (one per range code, as the presets), the arbitrary table, and the run
// state of the stepping. Plain data held by the document; the stepping
// itself lives with the panel.
//
// Thread contract: UI thread only.

#include <array>
#include <cstdint>

#include "model/ChannelSettings.h"

namespace velmora {

inline constexpr int kArbitraryPointCount = 100;

enum AutoOutputMode : std::int32_t {
    kAutoSawtooth = 0,
    kAutoTriangle = 1,
    kAutoArbitrary = 2,
};

inline constexpr std::int32_t kMaxAutoRepeat = 1000000;
// Times are tenths of a second.
inline constexpr std::int32_t kDefaultAutoInterval = 10;

struct AutoOutputSlot {
    std::int32_t mode = kAutoSawtooth;
    std::int32_t repeat = 0; // 0 = continuous
    double start = 0.0;
    double end = 0.0;  // end value (sawtooth) or turn-back value (triangle)
    double step = 0.0; // stored as entered; the sign is ignored when stepping
    std::int32_t interval = kDefaultAutoInterval;
};

struct ArbitraryPoint {
    bool used = false;
    double value = 0.0;
    std::int32_t interval = kDefaultAutoInterval;
};

struct AutoOutputState {
    // --- Run state: never stored in a file. ---
    // (The fields the stepping needs belong here.)

    // --- Stored in the settings file, in this order. ---
    std::array<AutoOutputSlot, kSlotCount> slots{};
    std::array<ArbitraryPoint, kArbitraryPointCount> points{};
};

} // namespace velmora
