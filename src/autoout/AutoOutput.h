#pragma once
// The automatic outputs at run time: starting, pausing, stopping and stepping
// the sawtooth, triangle and arbitrary outputs of the document's records, and
// what the panel shows of them. The panel and velmoractl share it; each
// front end owns its timer, decides when the unit counts as connected, and
// shows the results.
//
// Time is a 64-bit count on the injected Clock, so a due time never wraps
// however long the program runs. Intervals are stored in tenths of a second;
// the runner counts in any unit that divides them (unitsPerTenth). The panel
// counts milliseconds (MillisNow), so that the first interval after a start
// is as long as the others wherever within a tenth the start falls; tests
// pass "now" as a plain number of tenths.
//
// Thread contract: UI thread only, like the model and the records it changes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/AutoOutputData.h"
#include "model/GeneratorModel.h"

namespace velmora {

class Clock;

// Tenths of a second since the clock's origin, truncated.
std::int64_t TenthsNow(const Clock& clock);
// Milliseconds since the clock's origin, truncated.
std::int64_t MillisNow(const Clock& clock);
inline constexpr std::int64_t kMillisPerTenth = 100;

// Values closer than this count as equal when a step decides whether it has
// passed the end or the start: steps of 0.1 add up to 0.9999999999999999,
// not 1.
inline constexpr double kAutoTolerance = 1e-6;

// One value an automatic output put out (stored, coded and, while connected,
// sent with every channel in use).
struct AutoOutputEvent {
    int channel = 0;
    double value = 0.0;
    std::int32_t cycle = 0;   // completed cycles, this step's included
    std::int32_t row = -1;    // arbitrary-table row 0-99; -1 for sawtooth and triangle
    std::int64_t dueTime = 0; // in the runner's unit: when the value was due (a start's: now)
};

// The outcome of the start, pause and stop buttons.
struct AutoControlResult {
    // The output is stopped and its settings button is to be enabled.
    bool settingsEnabled = true;
    // The value a start put out; nothing when the start only resumed, found
    // the output running already, or could not start.
    std::optional<AutoOutputEvent> output;
};

// What one pass of the stepping did to one channel that was due.
struct AutoStepEvent {
    int channel = 0;
    // Nothing when the channel had no settings to step by (no slot in use, a
    // mode outside 0-2): it is then stopped without a value.
    std::optional<AutoOutputEvent> output;
    // The run ended in this pass: the caller enables the settings button and
    // refreshes the channel's display.
    bool stopped = false;
};

// The settings of the slot in use, or null when the channel has none (a
// channel index outside 0-3, a range code outside 0-15 from a file).
const AutoOutputSlot* SlotInUse(const GeneratorModel& model, const AutoOutputState& state, int c);

class AutoOutputRunner {
public:
    AutoOutputRunner(GeneratorModel& model, std::array<AutoOutputState, kMaxChannels>& states,
                     std::int64_t unitsPerTenth = 1)
        : m_model(model), m_states(states), m_nUnitsPerTenth(unitsPerTenth > 0 ? unitsPerTenth : 1)
    {
    }

    // The start button. A stopped sawtooth or triangle starts at its start
    // value, a paused one continues from the present set value; an arbitrary
    // output (re)applies its present row, from row 0 when it was stopped, and
    // does not start when that row is not in use. Without a slot in use, or
    // with a mode outside 0-2, the output is left stopped.
    AutoControlResult Start(int c, std::int64_t now);
    // Paused from any state, also from stopped; the set value stays.
    AutoControlResult Pause(int c);
    // Stopped; the set value stays and nothing is sent.
    AutoControlResult Stop(int c);

    // One pass over the channels in use, in order: every running channel
    // whose due time has come makes one step. One step at most, so that after
    // a pause in the ticks (a reconnect) the missed steps come one per call
    // until the due time has caught up; the due time advances by whole
    // intervals and does not drift. The panel calls it on every tick while
    // connected; nothing here checks the connection.
    std::vector<AutoStepEvent> Step(std::int64_t now);

private:
    AutoStepEvent StepChannel(int c);

    GeneratorModel& m_model;
    std::array<AutoOutputState, kMaxChannels>& m_states;
    std::int64_t m_nUnitsPerTenth;
};

// The mode list's and the panel label's name of a mode: "のこぎり波",
// "三角波", "任意波"; empty for any other mode.
std::string AutoModeName(std::int32_t mode);

enum class AutoButtonImage {
    PlayGreen,  // start, available
    PlayGrey,   // start, not available
    PauseBlue,  // pause, available
    PauseGrey,  // pause, not available
    StopRed,    // stop, available
    StopGrey,   // stop, not available
};

struct AutoButtonImages {
    AutoButtonImage start;
    AutoButtonImage pause;
    AutoButtonImage stop;
};

// The images of the three buttons for a run state; nothing for a value
// outside 0-2 (the buttons then keep what they show).
std::optional<AutoButtonImages> AutoButtonImagesFor(std::int32_t runState);

// Everything the panel shows of one channel's automatic output.
struct AutoOutputView {
    std::string modeText;
    std::string startText;
    std::string endText;
    std::string stepText;
    std::string intervalText; // seconds with one decimal
    std::string repeatText;
    std::optional<AutoButtonImages> images;
    // The settings button, the range button, the conversion radios and the
    // conversion-formula button react only while the output is stopped.
    bool controlsActive = true;
};

// The display of channel c. Without a slot in use every text is empty.
AutoOutputView AutoOutputDisplay(const GeneratorModel& model, const AutoOutputState& state, int c);

} // namespace velmora
