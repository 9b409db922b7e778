#pragma once
// The rules of the automatic-output settings dialog: what it shows for the
// channel and for each mode, how each of its five fields is normalised, and
// what OK checks and writes. The dialog only shows and forwards; it writes
// nothing to the unit.
//
// Texts are UTF-8. Thread contract: UI thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "autoout/ArbitraryTable.h"
#include "model/AutoOutputData.h"
#include "model/GeneratorModel.h"
#include "platform/Translate.h"

namespace velmora {

class Prompter;

inline constexpr const char* kAutoOutDialogCaption = N_("自動出力設定");

inline constexpr const char* kStartNotNumberText = N_("開始値が数値以外です");
inline constexpr const char* kAutoOutOfRangeText = kTableOutOfRangeText; // "範囲外データがあります"
inline constexpr const char* kEndNotNumberText = N_("終了値・折返値が数値以外です");
inline constexpr const char* kIntervalNotNumberText = N_("更新間隔が数値以外です");
inline constexpr const char* kIntervalNotPositiveText = N_("更新間隔は０より大きい必要があります");
inline constexpr const char* kIntervalTooLongText = N_("更新間隔は9999秒以下です");
inline constexpr const char* kRepeatNotNumberText = N_("繰返しが数値以外です");
inline constexpr const char* kStepNotNumberText = N_("変化量が数値以外です");
inline constexpr const char* kStepZeroText = N_("変化量は０以外です");
inline constexpr const char* kStepOutOfRangeText = N_("変化量が範囲外です");

// What the dialog is opened on, from the channel as it is.
struct AutoOutDialogInputs {
    int channel = 0;
    int slot = 0;            // the slot in use, 0-15
    RangeInfo limits;        // the channel's limits (the conversion span under the formula)
    std::string channelText; // "1" .. "4"
    std::string rangeText;   // the slot's range name, "換算式" for the formula
    std::string lowerText;
    std::string upperText;
};

// Nothing when the channel has no slot in use (a range code from a file that
// names none): there are no settings to edit.
std::optional<AutoOutDialogInputs> AutoOutDialogInputsFor(const GeneratorModel& model, int channel);

// The mode the mode list opens on. A stored mode outside 0-2 (a foreign
// file) is offered as the sawtooth, the list's first entry.
std::int32_t DialogModeFor(const AutoOutputSlot& slot);

enum class WavePicture { None, Sawtooth, Triangle };

// How the dialog looks in a mode.
struct AutoOutModeView {
    // The start, end, step and interval labels and edits, the unit "秒" and
    // the picture; the table is shown instead when they are not.
    bool waveFields = true;
    std::string startLabel;
    std::string endLabel;
    std::string stepLabel;
    std::string intervalLabel;
    std::string hint;
    WavePicture picture = WavePicture::None;
    bool tableShown = false;
    bool readEnabled = false; // "任意読込"
};

AutoOutModeView AutoOutModeViewFor(std::int32_t mode);

// The five edits' texts.
struct AutoOutFieldTexts {
    std::string start;
    std::string end;
    std::string step;
    std::string interval; // seconds
    std::string repeat;
};

// The edits as a slot fills them whenever a mode is shown: start, end and
// step with the limits' decimals, the interval in seconds with one decimal,
// the repeat count in decimal. Decimals outside 0-6 are held to them, so
// that no edit is left empty (OK would read an empty field as 0).
AutoOutFieldTexts AutoOutFieldTextsFor(const AutoOutputSlot& slot, int decimals);

enum class AutoOutField { Start, End, Step, Interval, Repeat };

// A change notification normalises the field only after Enter, that is when
// the text holds a carriage return or a line feed; losing the focus always
// does.
bool NormalisesOnChange(std::string_view text);

struct FieldNormalisation {
    // False: the field's last change is to be undone.
    bool rewrite = false;
    std::string text; // the field's new text when rewritten
};

// The line ends removed, the text parsed as one number (leading blanks
// allowed): start, end and step are rewritten with `decimals` decimals (held
// to 0-6), the interval with one, the repeat as its whole part when that is
// 0 or more. Anything else is undone.
FieldNormalisation NormaliseAutoOutField(AutoOutField field, std::string_view text, int decimals);

// The text as C's strtol with base 0 reads it, using the whole text: leading
// blanks, a sign, then decimal digits, or hexadecimal after 0x, or octal
// after a leading 0. An empty text reads as 0, a text of blanks not at all.
// Values beyond 64 bits saturate.
std::optional<std::int64_t> ParseWholeInteger(std::string_view text);

enum class AutoOutError {
    None,
    StartNotNumber,
    StartOutOfRange,
    EndNotNumber,
    EndOutOfRange,
    IntervalNotNumber,
    IntervalNotPositive,
    IntervalTooLong,
    RepeatNotNumber,
    RepeatOutOfRange, // refused without a message
    StepNotNumber,
    StepZero,
    StepOutOfRange,
    UnknownMode, // refused without a message; the mode list offers none
};

struct AutoOutCheck {
    AutoOutError error = AutoOutError::None;
    AutoOutputSlot slot; // the values to store, when the check passed
};

// OK's checks in order, the first failure ending them. The arbitrary mode
// checks only the repeat and takes start = end = step = 0, interval 1 s.
AutoOutCheck CheckAutoOutFields(std::int32_t mode, const AutoOutFieldTexts& texts, const RangeInfo& limits);

// The operator's message; empty for None and for the refusals without one.
const char* AutoOutErrorText(AutoOutError error);

// The dialog's OK over the channel's record: the checks, then the slot
// written and the 100 table rows cleared (for every mode), and for the
// arbitrary mode the table checked and stored. A failure shows its message,
// if it has one, with the "確認" caption. True when the dialog closes with
// OK; the output is then marked stopped. A failed table check leaves the
// slot and the cleared rows written, as the dialog always has.
bool AcceptAutoOutSettings(AutoOutputState& state, int slot, const RangeInfo& limits, std::int32_t mode,
                           const AutoOutFieldTexts& texts, const ArbitraryTable& table, Prompter& prompter);
// The same without a word to anyone: whether the settings were stored, and
// the message of a refusal (empty for the refusals that have none),
// untranslated, to pass through Tr().
struct AutoOutApplied {
    bool accepted = false;
    std::string message;
};
AutoOutApplied ApplyAutoOutSettings(AutoOutputState& state, int slot, const RangeInfo& limits, std::int32_t mode,
                                    const AutoOutFieldTexts& texts, const ArbitraryTable& table);

} // namespace velmora
