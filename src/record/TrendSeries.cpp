#include "record/TrendSeries.h"

#include <algorithm>
#include <cmath>

#include "model/RangeTable.h"

namespace velmora {

namespace {

constexpr std::int64_t kSecondUs = 1'000'000;

const std::string* TextOf(const RecordEvent& e, RecordField f)
{
    return std::get_if<std::string>(&e.Get(f));
}

// Floor division: buckets of times before the epoch count down as well.
std::int64_t BucketIndex(std::int64_t t, std::int64_t bucket)
{
    if (bucket <= 0)
        return t;
    return t >= 0 ? t / bucket : -((-t + bucket - 1) / bucket);
}

} // namespace

bool TrendChannel::HasData() const
{
    return !steps.empty() || !off.empty() || !alarms.empty() || !autoRuns.empty();
}

TrendInput::Kind TrendInput::KindOf(std::string_view kind)
{
    if (kind == record_kind::kSettings)
        return Kind::Settings;
    if (kind == record_kind::kAlarm)
        return Kind::Alarm;
    if (kind == record_kind::kAuto)
        return Kind::Auto;
    if (kind == record_kind::kConnect)
        return Kind::Connect;
    if (kind == record_kind::kDisconnect)
        return Kind::Disconnect;
    if (kind == record_kind::kLost)
        return Kind::Lost;
    return Kind::Other;
}

TrendInput TrendInput::From(const RecordEvent& e)
{
    TrendInput in;
    in.seq = e.seq;
    in.timeUs = e.timeUs;
    in.kind = KindOf(e.kind);
    if (const auto* c = std::get_if<std::int64_t>(&e.Get(RecordField::Channel)))
        in.channel = static_cast<int>(*c);
    in.fromAuto = e.source == "auto";
    if (const auto* v = std::get_if<double>(&e.Get(RecordField::Value))) {
        in.hasValue = true;
        in.value = *v;
    }
    if (const auto* v = std::get_if<double>(&e.Get(RecordField::Eng))) {
        in.hasEng = true;
        in.eng = *v;
    }
    if (const auto* b = std::get_if<bool>(&e.Get(RecordField::On)))
        in.on = *b;
    if (const auto* b = std::get_if<bool>(&e.Get(RecordField::Raised)))
        in.raised = *b;
    if (const auto* s = TextOf(e, RecordField::Unit))
        in.unit = *s;
    if (const auto* s = TextOf(e, RecordField::Range))
        in.range = *s;
    if (const auto* s = TextOf(e, RecordField::Text))
        in.text = *s;
    if (const auto* s = TextOf(e, RecordField::Action))
        in.action = *s;
    if (const auto* s = TextOf(e, RecordField::Mode))
        in.mode = *s;
    return in;
}

TrendBuilder::TrendBuilder(std::int64_t beginUs, std::int64_t endUs, std::int64_t bucketUs)
    : m_beginUs(beginUs),
      m_endUs(std::max(beginUs, endUs)),
      m_bucketUs(std::max<std::int64_t>(bucketUs, 0)),
      m_lastTime(beginUs)
{
}

std::int64_t TrendBuilder::BucketFor(std::int64_t spanUs, int pixels)
{
    if (pixels <= 0)
        return 0;
    return std::max<std::int64_t>(1, spanUs / pixels);
}

void TrendBuilder::NoteSeq(std::int64_t seq)
{
    m_lastSeq = std::max(m_lastSeq, seq);
}

std::int64_t TrendBuilder::TimeOf(const TrendInput& input)
{
    m_lastTime = std::max(m_lastTime, input.timeUs);
    m_endUs = std::max(m_endUs, m_lastTime);
    return m_lastTime;
}

TrendBuilder::Channel* TrendBuilder::ChannelOf(const TrendInput& input)
{
    if (input.channel < 1 || input.channel > kTrendChannels)
        return nullptr;
    return &m_channels[static_cast<std::size_t>(input.channel - 1)];
}

void TrendBuilder::Add(const TrendInput& input)
{
    NoteSeq(input.seq);
    if (input.kind == TrendInput::Kind::Other)
        return;
    if (input.timeUs >= m_beginUs)
        ++m_events;
    const std::int64_t t = TimeOf(input);
    switch (input.kind) {
    case TrendInput::Kind::Settings:
        if (Channel* ch = ChannelOf(input))
            AddSettings(*ch, input, t);
        break;
    case TrendInput::Kind::Alarm:
        if (Channel* ch = ChannelOf(input))
            AddAlarm(*ch, input, t);
        break;
    case TrendInput::Kind::Auto:
        if (Channel* ch = ChannelOf(input))
            AddAuto(*ch, input, t);
        break;
    case TrendInput::Kind::Connect:
    case TrendInput::Kind::Disconnect:
    case TrendInput::Kind::Lost:
        AddConnection(input, t);
        break;
    case TrendInput::Kind::Other:
        break;
    }
}

void TrendBuilder::AddSettings(Channel& ch, const TrendInput& input, std::int64_t t)
{
    if (!input.hasValue && !input.hasEng)
        return;
    // A settings frame after the unit went means it is back, whether or not
    // a connect event was seen (the record may have lost it).
    if (IsOpen(m_disconnected))
        Close(m_disconnected, t);
    const double value = input.hasEng ? input.eng : input.value;
    const std::string_view unit = input.hasEng ? std::string_view() : input.unit;
    const std::string_view range = input.hasEng ? std::string_view() : input.range;
    if (!ch.unitSeen) {
        ch.unitSeen = true;
        ch.unit = std::string(unit);
        ch.range = std::string(range);
    } else {
        ch.mixedUnits = ch.mixedUnits || unit != ch.unit;
        ch.mixedRanges = ch.mixedRanges || range != ch.range;
    }
    // The automatic output steps by itself: a level it changed shows that it
    // runs, also when its start lies before what was read. A frame it sent
    // for another channel carries that channel's level unchanged.
    const bool changed = !ch.levelKnown || value != ch.level;
    if (changed && input.fromAuto && !IsOpen(ch.autoRuns) && !ch.autoSeen && ch.levelKnown)
        Open(ch.autoRuns, m_beginUs, {});
    if (changed)
        SetLevel(ch, t, value);
    if (!input.on && !IsOpen(ch.off))
        Open(ch.off, t, {});
    else if (input.on && IsOpen(ch.off))
        Close(ch.off, t);
}

void TrendBuilder::AddAlarm(Channel& ch, const TrendInput& input, std::int64_t t)
{
    const bool inPeriod = input.timeUs >= m_beginUs;
    if (input.raised) {
        if (IsOpen(ch.alarms) && ch.alarms.back().text == input.text)
            return;
        Close(ch.alarms, t);
        Open(ch.alarms, t, input.text);
    } else if (IsOpen(ch.alarms)) {
        Close(ch.alarms, t);
    } else if (inPeriod && !ch.alarmKnown && input.action != "state") {
        // Cleared in the period, raised before it: what was raised is not
        // known, only that it lasted until now. A program's first status
        // (marked "state") and the first after a connect tell what was
        // found, not an alarm going.
        Open(ch.alarms, m_beginUs, {});
        Close(ch.alarms, t);
    }
    ch.alarmKnown = true;
}

void TrendBuilder::AddAuto(Channel& ch, const TrendInput& input, std::int64_t t)
{
    const bool inPeriod = input.timeUs >= m_beginUs;
    const std::string_view action = input.action;
    // A run's pause, resume or stop in the period with its start before it.
    const bool startedBefore = inPeriod && !ch.autoSeen && !IsOpen(ch.autoRuns);
    ch.autoSeen = ch.autoSeen || inPeriod;
    if (action == "start") {
        Close(ch.autoPaused, t);
        Close(ch.autoRuns, t);
        Open(ch.autoRuns, t, input.mode);
        return;
    }
    if (startedBefore && (action == "pause" || action == "resume" || action == "stop" || action == "end")) {
        Open(ch.autoRuns, m_beginUs, input.mode);
        if (action == "resume")
            Open(ch.autoPaused, m_beginUs, {});
    }
    if (action == "pause") {
        if (!IsOpen(ch.autoRuns))
            Open(ch.autoRuns, t, input.mode);
        Open(ch.autoPaused, t, {});
    } else if (action == "resume") {
        if (!IsOpen(ch.autoRuns))
            Open(ch.autoRuns, t, input.mode);
        Close(ch.autoPaused, t);
    } else if (action == "stop" || action == "end") {
        Close(ch.autoPaused, t);
        Close(ch.autoRuns, t);
    }
}

void TrendBuilder::AddConnection(const TrendInput& input, std::int64_t t)
{
    if (input.kind == TrendInput::Kind::Connect) {
        Close(m_disconnected, t);
        // A new connection starts from no alarm: its first status reply is
        // recorded whatever it says, so that a "none" then is a state, not
        // an alarm going.
        for (Channel& ch : m_channels) {
            Close(ch.alarms, t);
            ch.alarmKnown = true;
        }
        return;
    }
    Open(m_disconnected, t, input.kind == TrendInput::Kind::Lost ? "lost" : "disconnect");
    // Without a unit nothing is known of its outputs or its alarms. An
    // automatic output only rests: it goes on when the unit is back.
    for (Channel& ch : m_channels) {
        if (ch.levelKnown) {
            SetLevel(ch, t, std::numeric_limits<double>::quiet_NaN());
            ch.levelKnown = false;
        }
        Close(ch.off, t);
        Close(ch.alarms, t);
        ch.alarmKnown = true;
    }
}

void TrendBuilder::SetLevel(Channel& ch, std::int64_t t, double value)
{
    const TrendPoint p{t, value};
    ch.levelKnown = !std::isnan(value);
    ch.level = value;
    const std::int64_t bucket = BucketIndex(t, m_bucketUs);
    if (!ch.pending.empty() && (bucket != ch.pendingBucket || m_bucketUs == 0))
        FlushPending(ch);
    // A change at the time of the last one replaces it: only the level that
    // held on is drawn.
    if (!ch.pending.empty() && ch.pending.back().timeUs == t) {
        ch.pending.back() = p;
    } else if (ch.pending.empty() && !ch.steps.empty() && ch.steps.back().timeUs == t) {
        ch.steps.back() = p;
        return;
    } else {
        ch.pending.push_back(p);
    }
    ch.pendingBucket = bucket;
    // A gap is never thinned away.
    if (std::isnan(value)) {
        FlushPending(ch);
        return;
    }
    if (ch.pending.size() > 4)
        Thin(ch.pending);
}

void TrendBuilder::Thin(std::vector<TrendPoint>& points)
{
    // Keeps the first, the lowest, the highest and the last, in time order;
    // the first of equal levels.
    std::size_t lo = 0;
    std::size_t hi = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].value < points[lo].value)
            lo = i;
        if (points[i].value > points[hi].value)
            hi = i;
    }
    std::array<std::size_t, 4> keep{0, lo, hi, points.size() - 1};
    std::sort(keep.begin(), keep.end());
    std::size_t n = 0;
    for (std::size_t k = 0; k < keep.size(); ++k) {
        if (k == 0 || keep[k] != keep[k - 1])
            points[n++] = points[keep[k]];
    }
    points.resize(n);
}

void TrendBuilder::FlushPending(Channel& ch)
{
    if (ch.pending.size() > 2 && !std::isnan(ch.pending.back().value))
        Thin(ch.pending);
    ch.steps.insert(ch.steps.end(), ch.pending.begin(), ch.pending.end());
    ch.pending.clear();
}

void TrendBuilder::Open(std::vector<TrendSpan>& spans, std::int64_t t, std::string_view text)
{
    if (IsOpen(spans))
        return;
    // Spans closer than a column apart would be drawn as one; a thousand
    // flickers a day stay one span each on the screen, not in memory.
    if (!spans.empty() && m_bucketUs > 0 && t - spans.back().endUs < m_bucketUs && spans.back().text == text) {
        spans.back().open = true;
        return;
    }
    spans.push_back(TrendSpan{t, t, std::string(text), true});
}

void TrendBuilder::Close(std::vector<TrendSpan>& spans, std::int64_t t)
{
    if (!IsOpen(spans))
        return;
    TrendSpan& s = spans.back();
    s.open = false;
    s.endUs = std::max(s.beginUs, t);
    // Opened and closed before the period (or at one instant): nothing to show.
    if (s.endUs == s.beginUs)
        spans.pop_back();
}

void TrendBuilder::ExtendTo(std::int64_t endUs)
{
    m_endUs = std::max(m_endUs, endUs);
}

void TrendBuilder::MoveBeginTo(std::int64_t beginUs)
{
    if (beginUs <= m_beginUs)
        return;
    m_beginUs = beginUs;
    m_lastTime = std::max(m_lastTime, beginUs);
    m_endUs = std::max(m_endUs, beginUs);
    const auto trimSpans = [beginUs](std::vector<TrendSpan>& spans) {
        std::erase_if(spans, [beginUs](const TrendSpan& s) { return !s.open && s.endUs <= beginUs; });
        for (TrendSpan& s : spans)
            s.beginUs = std::max(s.beginUs, beginUs);
    };
    trimSpans(m_disconnected);
    for (Channel& ch : m_channels) {
        trimSpans(ch.off);
        trimSpans(ch.alarms);
        trimSpans(ch.autoRuns);
        trimSpans(ch.autoPaused);
        if (!ch.pending.empty() && ch.pending.front().timeUs <= beginUs)
            FlushPending(ch);
        // The last point at or before the new begin holds at it.
        const auto after = std::upper_bound(ch.steps.begin(), ch.steps.end(), beginUs,
                                            [](std::int64_t t, const TrendPoint& p) { return t < p.timeUs; });
        if (after == ch.steps.begin())
            continue;
        const TrendPoint atBegin{beginUs, std::prev(after)->value};
        const auto keepFrom = std::prev(after);
        ch.steps.erase(ch.steps.begin(), keepFrom);
        ch.steps.front() = atBegin;
    }
}

TrendData TrendBuilder::Result() const
{
    TrendData out;
    out.beginUs = m_beginUs;
    out.endUs = m_endUs;
    out.lastSeq = m_lastSeq;
    out.events = m_events;
    const auto closeOpen = [this](std::vector<TrendSpan> spans) {
        for (TrendSpan& s : spans) {
            if (s.open)
                s.endUs = std::max(s.beginUs, m_endUs);
        }
        return spans;
    };
    out.disconnected = closeOpen(m_disconnected);
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        const Channel& ch = m_channels[i];
        TrendChannel& to = out.channels[i];
        to.steps.reserve(ch.steps.size() + ch.pending.size());
        to.steps.assign(ch.steps.begin(), ch.steps.end());
        to.steps.insert(to.steps.end(), ch.pending.begin(), ch.pending.end());
        for (const TrendPoint& p : to.steps) {
            if (std::isnan(p.value))
                continue;
            if (!(p.value >= to.low))
                to.low = p.value;
            if (!(p.value <= to.high))
                to.high = p.value;
        }
        to.off = closeOpen(ch.off);
        to.alarms = closeOpen(ch.alarms);
        to.autoRuns = closeOpen(ch.autoRuns);
        to.autoPaused = closeOpen(ch.autoPaused);
        to.unit = ch.unit;
        to.mixedUnits = ch.mixedUnits;
        to.range = ch.mixedUnits || ch.mixedRanges ? std::string() : ch.range;
    }
    return out;
}

TrendAxisRange AxisRangeFor(const TrendChannel& channel)
{
    if (!channel.range.empty()) {
        if (const auto code = RangeCodeFromKey(channel.range)) {
            const RangeInfo info = GetRangeInfo(*code);
            if (info.upper > info.lower) {
                TrendAxisRange r{info.lower, info.upper};
                // Levels beyond the range (a record of another unit) stay in view.
                if (!std::isnan(channel.low))
                    r.low = std::min(r.low, channel.low);
                if (!std::isnan(channel.high))
                    r.high = std::max(r.high, channel.high);
                return r;
            }
        }
    }
    if (std::isnan(channel.low) || std::isnan(channel.high))
        return {};
    if (channel.high == channel.low)
        return {channel.low - 1.0, channel.high + 1.0};
    const double margin = (channel.high - channel.low) * 0.05;
    return {channel.low - margin, channel.high + margin};
}

double NiceStep(double span, int maxTicks)
{
    if (!(span > 0.0) || maxTicks <= 0)
        return 1.0;
    const double raw = span / maxTicks;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (const double m : {1.0, 2.0, 5.0}) {
            if (m * power >= raw * (1.0 - 1e-9))
                return m * power;
        }
        power *= 10.0;
    }
}

TrendTimeTicks TimeTicksFor(std::int64_t beginUs, std::int64_t endUs, int maxTicks, int utcOffsetSeconds)
{
    static constexpr std::int64_t kSteps[] = {100'000,           200'000,
                                              500'000,           kSecondUs,
                                              2 * kSecondUs,     5 * kSecondUs,
                                              10 * kSecondUs,    15 * kSecondUs,
                                              30 * kSecondUs,    60 * kSecondUs,
                                              120 * kSecondUs,   300 * kSecondUs,
                                              600 * kSecondUs,   900 * kSecondUs,
                                              1800 * kSecondUs,  3600 * kSecondUs,
                                              7200 * kSecondUs,  10800 * kSecondUs,
                                              21600 * kSecondUs, 43200 * kSecondUs,
                                              86400 * kSecondUs, 172800 * kSecondUs,
                                              604800 * kSecondUs};
    TrendTimeTicks out;
    const std::int64_t span = endUs - beginUs;
    if (span <= 0 || maxTicks <= 0)
        return out;
    out.stepUs = kSteps[std::size(kSteps) - 1];
    for (const std::int64_t step : kSteps) {
        if (span / step <= maxTicks) {
            out.stepUs = step;
            break;
        }
    }
    const std::int64_t step = out.stepUs;
    out.label = step < kSecondUs   ? TrendTimeTicks::Label::Millis
        : step < 60 * kSecondUs    ? TrendTimeTicks::Label::Seconds
        : step < 86400 * kSecondUs ? TrendTimeTicks::Label::Minutes
                                   : TrendTimeTicks::Label::Days;
    // Round in local time: a tick every hour falls on the local hour, every
    // day at local midnight.
    const std::int64_t offset = static_cast<std::int64_t>(utcOffsetSeconds) * kSecondUs;
    const std::int64_t localBegin = beginUs + offset;
    std::int64_t first = BucketIndex(localBegin, step) * step;
    if (first < localBegin)
        first += step;
    for (std::int64_t t = first; t - offset < endUs; t += step)
        out.ticksUs.push_back(t - offset);
    return out;
}

} // namespace velmora
