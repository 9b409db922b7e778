#include "autoout/WavePreview.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "autoout/AutoOutput.h"

namespace velmora {

namespace {

// A sixtieth of the span keeps a coarsened ramp well inside kPreviewMaxSteps
// for two triangle cycles (about 240 values) and still looks smooth.
constexpr double kCoarseStepsPerSpan = 60.0;

// The values of `cycles` cycles of the setting, or nothing when they take
// more than kPreviewMaxSteps steps.
std::optional<std::vector<double>> RunSteps(const AutoOutputSlot& slot, int cycles)
{
    // Channel 0 on range code 0 uses slot 0; the scratch model has no link,
    // so nothing is ever sent.
    GeneratorModel model;
    model.channelCount = 1;
    model.channels[0].rangeCode = 0;
    model.channels[0].useConversion = false;
    std::array<AutoOutputState, kMaxChannels> states{};
    states[0].slots[0] = slot;
    AutoOutputRunner runner(model, states);

    const AutoControlResult started = runner.Start(0, 0);
    if (!started.output)
        return std::nullopt;
    std::vector<double> values{started.output->value};
    while (static_cast<int>(values.size()) <= kPreviewMaxSteps) {
        const std::vector<AutoStepEvent> events = runner.Step(states[0].nextStepTime);
        if (events.empty() || !events.front().output)
            return std::nullopt;
        const AutoStepEvent& e = events.front();
        // The step that begins the cycle after the last one shown is left
        // out; the last value of a run that ends is where the output stays.
        if (e.output->cycle >= cycles && !e.stopped)
            return values;
        values.push_back(e.output->value);
        if (e.stopped)
            return values;
    }
    return std::nullopt;
}

} // namespace

WavePreview WavePreviewFor(std::int32_t mode, const AutoOutFieldTexts& texts, const RangeInfo& limits)
{
    WavePreview preview;
    if (mode != kAutoSawtooth && mode != kAutoTriangle)
        return preview;
    preview.shape = mode == kAutoTriangle ? WavePicture::Triangle : WavePicture::Sawtooth;
    preview.low = std::min(limits.lower, limits.upper);
    preview.high = std::max(limits.lower, limits.upper);

    const AutoOutCheck check = CheckAutoOutFields(mode, texts, limits);
    if (check.error != AutoOutError::None)
        return preview;
    AutoOutputSlot slot = check.slot;
    // One cycle where the run ends after it, two to show the repetition.
    const int cycles = slot.repeat == 1 ? 1 : 2;

    if (std::optional<std::vector<double>> values = RunSteps(slot, cycles)) {
        preview.values = std::move(*values);
        preview.stairs = static_cast<int>(preview.values.size()) <= kPreviewMaxStairs;
        return preview;
    }
    // Only a span can take that many steps; a coarser step draws the same
    // ramp. The sign stays, as the stepping uses the magnitude anyway.
    const double span = std::fabs(slot.end - slot.start);
    slot.step = std::copysign(span / kCoarseStepsPerSpan, slot.step);
    if (slot.step == 0.0)
        return preview;
    if (std::optional<std::vector<double>> values = RunSteps(slot, cycles)) {
        preview.values = std::move(*values);
        preview.stairs = false;
    }
    return preview;
}

} // namespace velmora
