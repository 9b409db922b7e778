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
    // Steps passed over to catch up after an outage: their values were never
    // put out, only their cycles and rows counted.
    std::int64_t skipped = 0;
};

// Why a start left the output stopped.
enum class AutoStartRefusal {
    None,
    RowNotInUse, // an arbitrary output's present row is empty
    NoWave,      // no slot in use, or a mode outside 0-2 from a file
};

// The outcome of the start, pause and stop buttons.
struct AutoControlResult {
    // The output is stopped and its settings button is to be enabled.
    bool settingsEnabled = true;
    // The value a start put out; nothing when the start only resumed, found
    // the output running already, or could not start.
    std::optional<AutoOutputEvent> output;
    // A start that could not start says why.
    AutoStartRefusal refused = AutoStartRefusal::None;
    std::int32_t refusedRow = 0; // with RowNotInUse: the row, 0-99
};

// The operator's words for a refused start ("確認"); empty for None.
std::string AutoStartRefusalText(const AutoControlResult& result);

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
        : m_model(model),
          m_states(states),
          m_nUnitsPerTenth(unitsPerTenth > 0 ? unitsPerTenth : 1)
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
    // whose due time has come by `now + lead` puts out one value. The due
    // time advances by whole intervals and does not drift. A step late by
    // less than its interval is simply made now. When the unit was away
    // longer (a lost unit, a long modal box), replaying the missed steps
    // would sweep the output through minutes of ramp at the tick rate;
    // instead the output goes straight to the step due now on its original
    // grid, its cycles and rows counted as if it had run and a finite run
    // that ended meanwhile ended, and puts out that one value. The panel
    // calls it on every tick while connected; nothing here checks the
    // connection.
    std::vector<AutoStepEvent> Step(std::int64_t now, std::int64_t lead = 0);

    // The most steps one pass works through to catch up before it puts the
    // output on the present grid point as it stands (only settings a file
    // brought, such as a step of 0, never complete a cycle).
    static constexpr std::int64_t kMaxCatchUpSteps = 4'000'000;

private:
    AutoStepEvent StepChannel(int c, std::int64_t now, std::int64_t lead);

    GeneratorModel& m_model;
    std::array<AutoOutputState, kMaxChannels>& m_states;
    std::int64_t m_nUnitsPerTenth;
};

// The mode list's and the panel label's name of a mode: "のこぎり波",
// "三角波", "任意波"; empty for any other mode.
std::string AutoModeName(std::int32_t mode);

enum class AutoButtonImage {
    PlayGreen, // start, available
    PlayGrey,  // start, not available
    PauseBlue, // pause, available
    PauseGrey, // pause, not available
    StopRed,   // stop, available
    StopGrey,  // stop, not available
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
