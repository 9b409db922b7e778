#pragma once
// Every operation that changes what a channel puts out or how it is set up:
// the output switch, the set value (stepped, typed, from a preset or given
// by a remote client), the range, the conversion mode and formula, the
// presets and the automatic outputs. The panel's buttons, the SCPI commands
// and velmoractl all call these, so that one rule holds whoever asks; each
// front end shows a refusal in its own way (a box, an error queue entry, a
// line on standard error).
//
// A change the operations made is announced through the session's observer
// (PanelSessionObserver::ChannelChanged), so that a window shows what a
// remote client did.
//
// Thread contract: UI thread only, like the session they belong to.

#include <functional>
#include <optional>

#include "autoout/AutoOutSettingsRules.h"
#include "autoout/AutoOutput.h"
#include "model/PresetRules.h"

namespace velmora {

class PanelSession;

// Why an operation changed nothing.
enum class OpRefusal {
    None,
    NoSuchChannel,     // outside the channels in use
    NotConnected,      // the operation needs the unit
    OutputOn,          // a range change while the output is on
    AutoOutputRunning, // the automatic output is not stopped
    OutOfLimits,       // a value beyond the channel's limits (strict callers)
    NoRange,           // the channel has no range in use, or a code names none
    BadValue,          // not a number, or a count or index outside its bounds
    Refused,           // the automatic-output rules said no (see the detail)
};

struct OpResult {
    OpRefusal refusal = OpRefusal::None;
    // The rules' own words where they have them (the automatic-output
    // dialog's messages, a refused start); Japanese, through Tr() to show.
    std::string detail;
    bool Done() const { return refusal == OpRefusal::None; }
};

// The refusal in the program's words (Japanese, to pass through Tr()).
const char* OpRefusalText(OpRefusal refusal);

// How a set value beyond the channel's limits is taken.
enum class LimitPolicy {
    Clamp,  // held to the limits without a word, as the panel has always done
    Refuse, // refused with OutOfLimits: a remote client must know
};

class ChannelOperations {
public:
    explicit ChannelOperations(PanelSession& session) : m_session(session) { }

    OpResult SetOutput(int c, bool on);
    OpResult ToggleOutput(int c);

    // One press of a step button (see OutputRules.h): clamped, not cut.
    OpResult StepSetValue(int c, int position, int direction);
    // A value typed or sent: with Clamp held to the limits and cut after
    // their decimals, as the panel's Enter commits it; with Refuse a value
    // beyond the limits is refused and a value within them kept as given.
    // In the channel's display unit (mA, V, or the formula's units).
    OpResult SetSetValue(int c, double value, LimitPolicy policy);
    // Preset k (0-7) of the slot in use.
    OpResult ApplyPreset(int c, int k);
    // Presets of the slot in use, already checked against its limits.
    OpResult SetPresets(int c, const PresetValues& values);

    // A range by code; refused while the output is on or the automatic
    // output is not stopped. The set value goes to the range's start.
    OpResult SelectRange(int c, int code);
    OpResult SetConversionMode(int c, bool on);
    // The conversion formula's span and decimals; under the formula the set
    // value goes to its lower end.
    OpResult SetConversion(int c, double convMin, double convMax, int decimals);

    // The automatic outputs. Start, pause and stop need the unit; `control`,
    // when given, receives what the stepping reported (for the panel's
    // buttons and its value display).
    OpResult StartAutoOutput(int c, AutoControlResult* control = nullptr);
    OpResult PauseAutoOutput(int c, AutoControlResult* control = nullptr);
    OpResult StopAutoOutput(int c, AutoControlResult* control = nullptr);
    // The slot in use's settings, through the settings dialog's checks; the
    // output must be stopped. Mode, texts and table as the dialog has them.
    OpResult SetAutoOutputSettings(int c, std::int32_t mode, const AutoOutFieldTexts& texts,
                                   const ArbitraryTable& table);

    // Every automatic output stopped, every output off, every set value at
    // its range's start (the formula's lower end under the formula); ranges,
    // formulas and presets stay.
    OpResult ResetOutputs();

    bool IsChannelInUse(int c) const;

private:
    OpResult Changed(int c);
    std::optional<OpRefusal> ChannelRefusal(int c) const;
    // The channel's settings change only while its automatic output is stopped.
    std::optional<OpRefusal> SettingsRefusal(int c) const;
    OpResult AutoControl(int c, AutoControlResult* control, const std::function<AutoControlResult()>& operation);

    PanelSession& m_session;
};

} // namespace velmora
