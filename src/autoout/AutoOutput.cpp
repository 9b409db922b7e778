#include "autoout/AutoOutput.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <climits>

#include "model/RangeTable.h"
#include "platform/Clock.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr std::int64_t kNanosPerTenth = 100'000'000;

bool IsChannelIndex(int c)
{
    return c >= 0 && c < kMaxChannels;
}

bool IsKnownMode(std::int32_t mode)
{
    return mode == kAutoSawtooth || mode == kAutoTriangle || mode == kAutoArbitrary;
}

// With repeat 0 the count goes on for as long as the program runs; one step
// per tick at 20 ticks a second would pass the int32 limit after 3.4 years.
void CountCycle(AutoOutputState& a)
{
    if (a.cycleCount < INT32_MAX)
        ++a.cycleCount;
}

bool IsUsedRow(const AutoOutputState& a, std::int64_t row)
{
    return row >= 0 && row < kArbitraryPointCount && a.points[static_cast<std::size_t>(row)].used;
}

// The step's magnitude: the direction comes from start and end. A negative
// step from an older file, taken as it stands, would carry a rising ramp
// away below its start without end.
double StepSize(const AutoOutputSlot& s)
{
    return std::fabs(s.step);
}

double NextSawtooth(const AutoOutputSlot& s, AutoOutputState& a, double cur)
{
    const double step = StepSize(s);
    double v = 0.0;
    if (s.end >= s.start) {
        v = cur + step;
        if (v - s.end > kAutoTolerance) {
            CountCycle(a);
            v = s.start;
        }
        return std::min(s.end, v);
    }
    v = cur - step;
    if (s.end - v > kAutoTolerance) {
        CountCycle(a);
        v = s.start;
    }
    return std::max(s.end, v);
}

double NextTriangle(const AutoOutputSlot& s, AutoOutputState& a, double cur)
{
    const double step = StepSize(s);
    // A further cycle follows the one just completed.
    auto more = [&] { return s.repeat == 0 || s.repeat > a.cycleCount; };
    double v = 0.0;
    if (s.end >= s.start) {
        if (!a.falling) {
            v = cur + step;
            if (v - s.end > kAutoTolerance) {
                a.falling = true;
                v = cur - step;
            }
        } else {
            v = cur - step;
            if (s.start - v > kAutoTolerance) {
                CountCycle(a);
                a.falling = false;
                if (more())
                    v = s.start + step;
            }
        }
        return std::min(s.end, std::max(s.start, v));
    }
    if (!a.falling) {
        v = cur - step;
        if (s.end - v > kAutoTolerance) {
            a.falling = true;
            v = cur + step;
        }
    } else {
        v = cur + step;
        if (v - s.start > kAutoTolerance) {
            CountCycle(a);
            a.falling = false;
            if (more())
                v = s.start - step;
        }
    }
    return std::max(s.end, std::min(s.start, v));
}

} // namespace

std::int64_t TenthsNow(const Clock& clock)
{
    return clock.Now().count() / kNanosPerTenth;
}

std::int64_t MillisNow(const Clock& clock)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now()).count();
}

const AutoOutputSlot* SlotInUse(const GeneratorModel& model, const AutoOutputState& state, int c)
{
    const int slot = model.ActiveSlot(c);
    if (slot == kNoSlot)
        return nullptr;
    return &state.slots[static_cast<std::size_t>(slot)];
}

AutoControlResult AutoOutputRunner::Start(int c, std::int64_t now)
{
    AutoControlResult result;
    if (!IsChannelIndex(c))
        return result;
    AutoOutputState& a = m_states[static_cast<std::size_t>(c)];
    const AutoOutputSlot* s = SlotInUse(m_model, a, c);
    if (s == nullptr || !IsKnownMode(s->mode)) {
        a.runState = kAutoStopped;
        result.refused = AutoStartRefusal::NoWave;
        return result;
    }

    auto putOut = [&](double value, std::int32_t row) {
        m_model.SetSetValue(c, value);
        result.output = AutoOutputEvent{c, value, a.cycleCount, row, now};
    };

    if (s->mode == kAutoArbitrary) {
        if (a.runState == kAutoStopped) {
            a.pointIndex = 0;
            a.cycleCount = 0;
        }
        if (IsUsedRow(a, a.pointIndex)) {
            const ArbitraryPoint& p = a.points[static_cast<std::size_t>(a.pointIndex)];
            putOut(p.value, a.pointIndex);
            a.nextStepTime = now + p.interval * m_nUnitsPerTenth;
            a.runState = kAutoRunning;
        } else {
            a.runState = kAutoStopped;
            result.refused = AutoStartRefusal::RowNotInUse;
            result.refusedRow = a.pointIndex;
        }
    } else if (a.runState == kAutoPaused) {
        a.nextStepTime = now + s->interval * m_nUnitsPerTenth;
        a.runState = kAutoRunning;
    } else if (a.runState != kAutoRunning) {
        a.falling = false;
        a.cycleCount = 0;
        putOut(s->start, -1);
        a.nextStepTime = now + s->interval * m_nUnitsPerTenth;
        a.runState = kAutoRunning;
    }
    result.settingsEnabled = a.runState == kAutoStopped;
    return result;
}

AutoControlResult AutoOutputRunner::Pause(int c)
{
    AutoControlResult result;
    if (!IsChannelIndex(c))
        return result;
    AutoOutputState& a = m_states[static_cast<std::size_t>(c)];
    // A pause from stopped has no run to keep: the start that follows
    // continues from the present set value, but counts its cycles afresh
    // rather than with those of a run that ended long ago (which would end
    // it after its first step).
    if (a.runState == kAutoStopped) {
        a.cycleCount = 0;
        a.falling = false;
        a.pointIndex = 0;
    }
    a.runState = kAutoPaused;
    result.settingsEnabled = false;
    return result;
}

AutoControlResult AutoOutputRunner::Stop(int c)
{
    AutoControlResult result;
    if (IsChannelIndex(c))
        m_states[static_cast<std::size_t>(c)].runState = kAutoStopped;
    return result;
}

std::vector<AutoStepEvent> AutoOutputRunner::Step(std::int64_t now, std::int64_t lead)
{
    std::vector<AutoStepEvent> events;
    const int count = m_model.ChannelsInUse();
    for (int c = 0; c < count; ++c) {
        const AutoOutputState& a = m_states[static_cast<std::size_t>(c)];
        if (a.runState == kAutoRunning && a.nextStepTime <= now + lead)
            events.push_back(StepChannel(c, now, lead));
    }
    return events;
}

namespace {

// The value of one step, the time it holds, and its table row (-1 for the
// ramps); the cycle, the row and the direction advance in `a`.
struct NextValue {
    double value = 0.0;
    std::int32_t interval = 0;
    std::int32_t row = -1;
};

NextValue Advance(const AutoOutputSlot& s, AutoOutputState& a, double cur)
{
    if (s.mode == kAutoArbitrary) {
        std::int64_t k = static_cast<std::int64_t>(a.pointIndex) + 1;
        if (!IsUsedRow(a, k)) {
            k = 0;
            CountCycle(a);
        }
        a.pointIndex = static_cast<std::int32_t>(k);
        const ArbitraryPoint& p = a.points[static_cast<std::size_t>(k)];
        return {p.value, p.interval, a.pointIndex};
    }
    if (s.mode == kAutoSawtooth)
        return {NextSawtooth(s, a, cur), s.interval, -1};
    return {NextTriangle(s, a, cur), s.interval, -1};
}

bool RunEnded(const AutoOutputSlot& s, const AutoOutputState& a)
{
    return s.repeat != 0 && a.cycleCount >= s.repeat;
}

// Where a cycle of the catch-up ended: every cycle of a run ends in the same
// state (the start value, rising, row 0), so two such ends that agree give
// the cycle's length in time and steps.
struct CycleMark {
    bool set = false;
    double value = 0.0;
    bool falling = false;
    std::int32_t row = 0;
    std::int32_t cycles = 0;
    std::int64_t next = 0;
    std::int64_t steps = 0;
};

} // namespace

AutoStepEvent AutoOutputRunner::StepChannel(int c, std::int64_t now, std::int64_t lead)
{
    AutoStepEvent event;
    event.channel = c;
    AutoOutputState& a = m_states[static_cast<std::size_t>(c)];
    const AutoOutputSlot* slot = SlotInUse(m_model, a, c);
    // Only a document opened while the output ran can bring these; a run
    // with nothing to step by ends rather than hold the controls locked.
    if (slot == nullptr || !IsKnownMode(slot->mode)) {
        a.runState = kAutoStopped;
        event.stopped = true;
        return event;
    }
    const AutoOutputSlot& s = *slot;

    NextValue next = Advance(s, a, m_model.channels[static_cast<std::size_t>(c)].setValue);
    std::int64_t due = a.nextStepTime;
    a.nextStepTime += std::int64_t{next.interval} * m_nUnitsPerTenth;
    bool ended = RunEnded(s, a);

    // The step after this one was due a whole interval ago or more: work
    // through the missed steps without putting them out, whole cycles at a
    // time once their length is known. An interval of 0 (only a file brings
    // it) never catches up; it steps once per call as before.
    std::int64_t skipped = 0;
    const std::int64_t until = now + lead;
    if (!ended && next.interval > 0 && a.nextStepTime <= now) {
        CycleMark mark;
        while (!ended && a.nextStepTime <= until) {
            if (skipped >= kMaxCatchUpSteps) {
                const std::int64_t period = std::int64_t{next.interval} * m_nUnitsPerTenth;
                a.nextStepTime += ((until - a.nextStepTime) / period + 1) * period;
                break;
            }
            const std::int32_t cyclesBefore = a.cycleCount;
            next = Advance(s, a, next.value);
            due = a.nextStepTime;
            a.nextStepTime += std::int64_t{next.interval} * m_nUnitsPerTenth;
            ++skipped;
            ended = RunEnded(s, a);
            if (next.interval <= 0)
                break;
            if (ended || a.cycleCount == cyclesBefore)
                continue;
            if (mark.set && mark.value == next.value && mark.falling == a.falling && mark.row == a.pointIndex) {
                const std::int64_t period = a.nextStepTime - mark.next;
                const std::int64_t cycles = std::int64_t{a.cycleCount} - mark.cycles;
                if (period > 0 && cycles > 0) {
                    std::int64_t whole = (until - a.nextStepTime) / period;
                    // A finite run keeps its last cycle to be stepped, so
                    // that it ends where and as it would have.
                    if (s.repeat != 0)
                        whole = std::min<std::int64_t>(whole, (s.repeat - 1 - std::int64_t{a.cycleCount}) / cycles);
                    if (whole > 0) {
                        a.nextStepTime += whole * period;
                        a.cycleCount =
                            static_cast<std::int32_t>(std::min<std::int64_t>(INT32_MAX, a.cycleCount + whole * cycles));
                        skipped += whole * (skipped - mark.steps);
                    }
                }
            }
            mark = CycleMark{true, next.value, a.falling, a.pointIndex, a.cycleCount, a.nextStepTime, skipped};
        }
    }

    // Neither clamped nor truncated: the settings were checked when entered.
    m_model.SetSetValue(c, next.value);
    event.output = AutoOutputEvent{c, next.value, a.cycleCount, next.row, due, skipped};
    if (ended) {
        a.runState = kAutoStopped;
        event.stopped = true;
    }
    return event;
}

std::string AutoStartRefusalText(const AutoControlResult& result)
{
    switch (result.refused) {
    case AutoStartRefusal::RowNotInUse:
        return TrFormat(N_("任意波の%1行目が使われていないため、開始できません。"),
                        {std::to_string(result.refusedRow + 1)});
    case AutoStartRefusal::NoWave:
        return Tr(N_("波形が設定されていないため、開始できません。"));
    case AutoStartRefusal::None:
        break;
    }
    return {};
}

std::string AutoModeName(std::int32_t mode)
{
    switch (mode) {
    case kAutoSawtooth:
        return N_("のこぎり波");
    case kAutoTriangle:
        return N_("三角波");
    case kAutoArbitrary:
        return N_("任意波");
    default:
        return {};
    }
}

std::optional<AutoButtonImages> AutoButtonImagesFor(std::int32_t runState)
{
    // A coloured image marks a button whose action would change the state.
    switch (runState) {
    case kAutoStopped:
        return AutoButtonImages{AutoButtonImage::PlayGreen, AutoButtonImage::PauseBlue, AutoButtonImage::StopGrey};
    case kAutoRunning:
        return AutoButtonImages{AutoButtonImage::PlayGrey, AutoButtonImage::PauseBlue, AutoButtonImage::StopRed};
    case kAutoPaused:
        return AutoButtonImages{AutoButtonImage::PlayGreen, AutoButtonImage::PauseGrey, AutoButtonImage::StopRed};
    default:
        return std::nullopt;
    }
}

AutoOutputView AutoOutputDisplay(const GeneratorModel& model, const AutoOutputState& state, int c)
{
    AutoOutputView view;
    view.images = AutoButtonImagesFor(state.runState);
    view.controlsActive = state.runState == kAutoStopped;
    const AutoOutputSlot* s = SlotInUse(model, state, c);
    if (s == nullptr)
        return view;
    view.modeText = AutoModeName(s->mode);
    if (s->mode == kAutoArbitrary) {
        view.startText = view.endText = view.stepText = view.intervalText = "---";
    } else {
        const int d = model.ChannelLimits(c).decimals;
        view.startText = FormatFixed(s->start, d);
        view.endText = FormatFixed(s->end, d);
        view.stepText = FormatFixed(StepSize(*s), d);
        view.intervalText = FormatFixed(s->interval / 10.0, 1);
    }
    view.repeatText = std::to_string(s->repeat);
    return view;
}

} // namespace velmora
