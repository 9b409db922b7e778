#pragma once
// The picture of a sawtooth or triangle setting in the settings dialog: the
// values the output would step through, found by running the very stepping
// the panel runs (AutoOutputRunner) over a scratch copy of the setting, so the
// picture cannot tell a different story from the output.
//
// Thread contract: none needed; plain functions over values.

#include <cstdint>
#include <vector>

#include "autoout/AutoOutSettingsRules.h"

namespace velmora {

// Up to this many values the picture draws each step as a stair; more would
// be narrower than two pixels and are drawn as a line through the values.
inline constexpr int kPreviewMaxStairs = 120;
// The most steps run for one picture. A step far finer than the span (or so
// fine that adding it leaves the value unchanged) is coarsened to a
// sixtieth of the span instead, which the picture could not tell apart.
inline constexpr int kPreviewMaxSteps = 2000;

struct WavePreview {
    WavePicture shape = WavePicture::None;
    // The values in output order, each held for one interval: the start, then
    // every step of one cycle (repeat 1, where the run ends) or of two.
    // Empty when the fields are not a setting OK would take: the plain
    // picture of the shape is drawn then.
    std::vector<double> values;
    // The value axis: the channel's limits, low <= high.
    double low = 0.0;
    double high = 1.0;
    bool stairs = true; // false: drawn as a line through the values
};

// For the arbitrary mode (and a mode outside 0-2) the shape is None and
// there is nothing to draw.
WavePreview WavePreviewFor(std::int32_t mode, const AutoOutFieldTexts& texts, const RangeInfo& limits);

} // namespace velmora
