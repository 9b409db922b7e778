#pragma once
// Per-channel data of the automatic outputs: the sixteen slots of settings
// (one per range code, as the presets), the arbitrary table, and the run
// state of the stepping. Plain data held by the document; the stepping
// itself is in autoout/AutoOutput.h.
//
// Thread contract: UI thread only.

#include <array>
#include <cstdint>

#include "model/ChannelSettings.h"

namespace velmora {

inline constexpr int kArbitraryPointCount = 100;

enum AutoRunState : std::int32_t {
    kAutoStopped = 0,
    kAutoRunning = 1,
    kAutoPaused = 2,
};

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
    double end = 0.0; // end value (sawtooth) or turn-back value (triangle)
    // The dialog stores its magnitude; a file from an older version may
    // still carry a sign. The stepping and the panel use the magnitude, the
    // direction coming from start and end.
    double step = 0.0;
    std::int32_t interval = kDefaultAutoInterval;
};

struct ArbitraryPoint {
    bool used = false;
    double value = 0.0;
    std::int32_t interval = kDefaultAutoInterval;
};

struct AutoOutputState {
    // --- Run state: never stored in a file. ---
    std::int32_t runState = kAutoStopped;
    // When the next step is due, on the injected Clock in the stepping's
    // unit (milliseconds in the panel). Sixty-four bits so that the count
    // never wraps: tenths taken
    // from a 32-bit millisecond tick counter come back to zero after 49.7
    // days, and a due time set just before the wrap would then lie ahead of
    // every reading for another 49.7 days while the output stood still. Only
    // read while running, and every start sets it, so its initial value does
    // not matter.
    std::int64_t nextStepTime = 0;
    std::int32_t cycleCount = 0; // completed cycles of the present run
    std::int32_t pointIndex = 0; // arbitrary-table row being output, 0-99
    bool falling = false;        // triangle: on the way back from end to start

    // --- Stored in the settings file, in this order. ---
    std::array<AutoOutputSlot, kSlotCount> slots{};
    std::array<ArbitraryPoint, kArbitraryPointCount> points{};
};

} // namespace velmora
