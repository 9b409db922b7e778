#include "autoout/AutoOutSettingsRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/CheckMessage.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

// The longest interval a slot takes, in seconds.
constexpr double kMaxIntervalSeconds = 9999.0;

bool IsKnownMode(std::int32_t mode)
{
    return mode == kAutoSawtooth || mode == kAutoTriangle || mode == kAutoArbitrary;
}

int ShownDecimals(int decimals)
{
    return std::clamp(decimals, 0, kMaxDecimals);
}

bool InLimits(double value, const RangeInfo& limits)
{
    // Either order: a conversion formula may run from 100 down to 0. NaN is
    // never inside.
    return std::min(limits.lower, limits.upper) <= value && value <= std::max(limits.lower, limits.upper);
}

// C's isspace in the C locale, which strtol skips.
bool IsCBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// A whole number of any size in decimal, without a fraction.
std::string WholeText(double whole)
{
    const int length = std::snprintf(nullptr, 0, "%.0f", whole);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.0f", whole);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace

std::optional<AutoOutDialogInputs> AutoOutDialogInputsFor(const GeneratorModel& model, int channel)
{
    const int slot = model.ActiveSlot(channel);
    if (slot == kNoSlot)
        return std::nullopt;
    AutoOutDialogInputs inputs;
    inputs.channel = channel;
    inputs.slot = slot;
    inputs.limits = model.ChannelLimits(channel);
    inputs.channelText = std::to_string(channel + 1);
    inputs.rangeText = RangeDisplayName(slot);
    inputs.lowerText = model.FormatMin(channel);
    inputs.upperText = model.FormatMax(channel);
    return inputs;
}

std::int32_t DialogModeFor(const AutoOutputSlot& slot)
{
    return IsKnownMode(slot.mode) ? slot.mode : kAutoSawtooth;
}

AutoOutModeView AutoOutModeViewFor(std::int32_t mode)
{
    AutoOutModeView view;
    if (mode == kAutoArbitrary) {
        view.waveFields = false;
        view.hint = N_("繰返しは「0」にて連続動作");
        view.tableShown = true;
        view.readEnabled = true;
        return view;
    }
    const bool triangle = mode == kAutoTriangle;
    view.startLabel = N_("開始値");
    view.endLabel = triangle ? N_("折返値") : N_("終了値");
    view.stepLabel = N_("変化量");
    view.intervalLabel = N_("更新間隔");
    view.hint = N_("変化量は絶対値にて入力、繰返しは「0」にて連続動作");
    view.picture = triangle ? WavePicture::Triangle : WavePicture::Sawtooth;
    return view;
}

AutoOutFieldTexts AutoOutFieldTextsFor(const AutoOutputSlot& slot, int decimals)
{
    const int d = ShownDecimals(decimals);
    return AutoOutFieldTexts{FormatFixed(slot.start, d), FormatFixed(slot.end, d), FormatFixed(std::fabs(slot.step), d),
                             FormatFixed(slot.interval / 10.0, 1), std::to_string(slot.repeat)};
}

bool NormalisesOnChange(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

FieldNormalisation NormaliseAutoOutField(AutoOutField field, std::string_view text, int decimals)
{
    std::string plain(text);
    std::erase_if(plain, [](char c) { return c == '\r' || c == '\n'; });
    const std::optional<double> number = ParseWholeNumber(plain);
    if (!number)
        return {};
    switch (field) {
    case AutoOutField::Start:
    case AutoOutField::End:
    case AutoOutField::Step:
        return {true, FormatFixed(*number, ShownDecimals(decimals))};
    case AutoOutField::Interval:
        return {true, FormatFixed(*number, 1)};
    case AutoOutField::Repeat: {
        // Adding 0.0 makes the -0 of -0.5 a plain 0.
        const double whole = std::trunc(*number) + 0.0;
        if (!std::isfinite(whole) || whole < 0.0)
            return {};
        return {true, WholeText(whole)};
    }
    }
    return {};
}

std::optional<std::int64_t> ParseWholeInteger(std::string_view text)
{
    // strtol's rule: a text with no digits converts nothing, which uses the
    // whole text only when there is none.
    if (text.empty())
        return 0;
    std::size_t i = 0;
    while (i < text.size() && IsCBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '0') {
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    // Accumulated up to 2^63, the magnitude of INT64_MIN; beyond it the
    // value saturates as strtol's does.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    std::uint64_t magnitude = 0;
    std::size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        const int d = DigitValue(text[i]);
        if (d >= base)
            break;
        if (magnitude > (kLimit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
            magnitude = kLimit;
        else
            magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    if (digits == 0 || i != text.size())
        return std::nullopt;
    if (negative)
        return magnitude >= kLimit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    return magnitude >= kLimit ? INT64_MAX : static_cast<std::int64_t>(magnitude);
}

AutoOutCheck CheckAutoOutFields(std::int32_t mode, const AutoOutFieldTexts& texts, const RangeInfo& limits)
{
    AutoOutCheck check;
    auto fail = [&check](AutoOutError error) {
        check.error = error;
        return check;
    };
    if (!IsKnownMode(mode))
        return fail(AutoOutError::UnknownMode);
    const bool wave = mode != kAutoArbitrary;
    AutoOutputSlot& slot = check.slot;
    slot.mode = mode;
    slot.start = slot.end = slot.step = 0.0;
    slot.interval = kDefaultAutoInterval;

    if (wave) {
        const std::optional<double> start = ParseWholeNumber(texts.start);
        if (!start)
            return fail(AutoOutError::StartNotNumber);
        if (!InLimits(*start, limits))
            return fail(AutoOutError::StartOutOfRange);
        const std::optional<double> end = ParseWholeNumber(texts.end);
        if (!end)
            return fail(AutoOutError::EndNotNumber);
        if (!InLimits(*end, limits))
            return fail(AutoOutError::EndOutOfRange);
        const std::optional<double> seconds = ParseWholeNumber(texts.interval);
        if (!seconds)
            return fail(AutoOutError::IntervalNotNumber);
        // "Not above 0" so that NaN is refused here rather than stored; an
        // interval below 0.1 s would be stored as 0 tenths, which the next
        // OK refuses, so it is refused now.
        if (!(*seconds > 0.0) || SecondsToTenths(*seconds) < 1)
            return fail(AutoOutError::IntervalNotPositive);
        if (*seconds > kMaxIntervalSeconds)
            return fail(AutoOutError::IntervalTooLong);
        slot.start = *start;
        slot.end = *end;
        slot.interval = SecondsToTenths(*seconds);
    }

    const std::optional<std::int64_t> repeat = ParseWholeInteger(texts.repeat);
    if (!repeat)
        return fail(AutoOutError::RepeatNotNumber);
    if (*repeat < 0 || *repeat > kMaxAutoRepeat)
        return fail(AutoOutError::RepeatOutOfRange);
    slot.repeat = static_cast<std::int32_t>(*repeat);

    if (wave) {
        const std::optional<double> step = ParseWholeNumber(texts.step);
        if (!step)
            return fail(AutoOutError::StepNotNumber);
        if (*step == 0.0)
            return fail(AutoOutError::StepZero);
        // Against the upper limit itself, not the span; NaN is refused too.
        if (!(std::fabs(*step) <= limits.upper))
            return fail(AutoOutError::StepOutOfRange);
        // The direction comes from start and end; a sign typed with the step
        // would only show as a step the output never makes.
        slot.step = std::fabs(*step);
    }
    return check;
}

const char* AutoOutErrorText(AutoOutError error)
{
    switch (error) {
    case AutoOutError::StartNotNumber:
        return kStartNotNumberText;
    case AutoOutError::StartOutOfRange:
    case AutoOutError::EndOutOfRange:
        return kAutoOutOfRangeText;
    case AutoOutError::EndNotNumber:
        return kEndNotNumberText;
    case AutoOutError::IntervalNotNumber:
        return kIntervalNotNumberText;
    case AutoOutError::IntervalNotPositive:
        return kIntervalNotPositiveText;
    case AutoOutError::IntervalTooLong:
        return kIntervalTooLongText;
    case AutoOutError::RepeatNotNumber:
        return kRepeatNotNumberText;
    case AutoOutError::StepNotNumber:
        return kStepNotNumberText;
    case AutoOutError::StepZero:
        return kStepZeroText;
    case AutoOutError::StepOutOfRange:
        return kStepOutOfRangeText;
    case AutoOutError::None:
    case AutoOutError::RepeatOutOfRange:
    case AutoOutError::UnknownMode:
        break;
    }
    return "";
}

AutoOutApplied ApplyAutoOutSettings(AutoOutputState& state, int slot, const RangeInfo& limits, std::int32_t mode,
                                    const AutoOutFieldTexts& texts, const ArbitraryTable& table)
{
    if (slot < 0 || slot >= kSlotCount)
        return {};
    const AutoOutCheck check = CheckAutoOutFields(mode, texts, limits);
    if (check.error != AutoOutError::None)
        return {false, AutoOutErrorText(check.error)};
    // The table is checked before anything is written: a refused table
    // leaves the dialog open, and 戻る must then still find the channel's
    // settings and rows as they were, not a slot switched to the arbitrary
    // mode over an emptied table.
    if (mode == kAutoArbitrary) {
        const TableCheck tableCheck = CheckTable(table, limits.lower, limits.upper);
        if (tableCheck.error != TableError::None)
            return {false, TableErrorText(tableCheck.error)};
    }
    state.slots[static_cast<std::size_t>(slot)] = check.slot;
    for (ArbitraryPoint& p : state.points)
        p = ArbitraryPoint{false, 0.0, 0};
    if (mode == kAutoArbitrary)
        StoreTable(table, state.points);
    state.runState = kAutoStopped;
    return {true, {}};
}

bool AcceptAutoOutSettings(AutoOutputState& state, int slot, const RangeInfo& limits, std::int32_t mode,
                           const AutoOutFieldTexts& texts, const ArbitraryTable& table, Prompter& prompter)
{
    const AutoOutApplied applied = ApplyAutoOutSettings(state, slot, limits, mode, texts, table);
    if (!applied.accepted && !applied.message.empty())
        ShowCheckMessage(prompter, applied.message);
    return applied.accepted;
}

} // namespace velmora
