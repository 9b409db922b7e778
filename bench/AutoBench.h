#pragma once
// The automatic output the benchmarks run, the same for the window and for
// velmoractl: on both channels of a two-channel unit, 0-10 V, a sawtooth in
// steps of 0.1 V every 0.1 s without end. It falls from 10 V to 0 V rather
// than rising, so that its first value (10 V) differs from the 0 V that
// connecting sends for the range; the unit's log then shows when each value
// arrived by the code changing.

#include "model/CVelmoraDoc.h"

namespace velmora::bench {

inline constexpr int kAutoBenchRange = 1; // 0-10 V
inline constexpr int kAutoBenchChannels = 2;
inline constexpr std::int32_t kAutoBenchIntervalTenths = 1;

inline AutoOutputSlot AutoBenchSlot()
{
    return AutoOutputSlot{kAutoSawtooth, 0, 10.0, 0.0, 0.1, kAutoBenchIntervalTenths};
}

// Both channels on the range, their output on and the slot of the range set.
// Before connecting: nothing is sent.
inline void ConfigureAutoBench(CVelmoraDoc& doc)
{
    for (int c = 0; c < kAutoBenchChannels; ++c) {
        doc.m_model.SetRange(c, kAutoBenchRange);
        doc.m_model.SwitchOutputOn(c);
        doc.m_autoOutput[static_cast<std::size_t>(c)].slots[kAutoBenchRange] = AutoBenchSlot();
    }
}

} // namespace velmora::bench
