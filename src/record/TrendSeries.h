#pragma once
// The trend of the run record: each channel's output over a period as a step
// series in its display unit (the engineering value while the conversion
// formula was in use, else the range's mA or V), the spans its output was
// off, its alarms from raised to cleared with their text, its automatic
// output's runs and pauses, and the spans with no unit connected.
//
// Built from events in time order. A period of a day holds millions of
// settings events and a plot has a thousand pixel columns, so the steps are
// thinned as they come in, a column (bucket) at a time: a column keeps its
// first and last level change and those at its lowest and highest level,
// so that the plot still shows where the level entered and left the column
// and how far it went (every other edge would be drawn within that pixel
// column anyway), and a level unknown from some time on is always kept.
// Spans closer together than a column are joined.
//
// Thread contract: plain values, and a builder that one thread at a time
// uses (the trend's reader thread); the window gets copies of the result.

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "record/RecordEvent.h"

namespace velmora {

inline constexpr int kTrendChannels = 4;

// A level from timeUs on, until the next point. NaN: not known from here on
// (the unit went away).
struct TrendPoint {
    std::int64_t timeUs = 0;
    double value = 0.0;
    friend bool operator==(const TrendPoint&, const TrendPoint&) = default;
};

struct TrendSpan {
    std::int64_t beginUs = 0;
    std::int64_t endUs = 0; // the end of what was read while still open
    std::string text;       // an alarm's text, an automatic output's mode
    bool open = false;      // still going at the end of what was read
    friend bool operator==(const TrendSpan&, const TrendSpan&) = default;
};

struct TrendChannel {
    std::vector<TrendPoint> steps;
    std::vector<TrendSpan> off;
    std::vector<TrendSpan> alarms;
    std::vector<TrendSpan> autoRuns;
    std::vector<TrendSpan> autoPaused;
    // The display unit of the levels: "mA", "V", or empty for engineering
    // values; `mixedUnits` when the period holds more than one (a range or
    // the formula changed).
    std::string unit;
    bool mixedUnits = false;
    // The range key of the levels when all were in one range and unit (the
    // value axis then spans the range), else empty.
    std::string range;
    // The lowest and highest level among the steps; NaN without any.
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();

    // Anything to draw: a level or a span.
    bool HasData() const;
};

struct TrendData {
    std::int64_t beginUs = 0;
    std::int64_t endUs = 0;
    std::array<TrendChannel, kTrendChannels> channels{};
    std::vector<TrendSpan> disconnected;
    // The newest event taken in (0: none).
    std::int64_t lastSeq = 0;
    // Events of the period taken in (those before it only set its state),
    // before thinning.
    std::int64_t events = 0;
};

// The fields of an event the trend reads. The texts point into the event or
// the database row they were read from and live as long as it.
struct TrendInput {
    enum class Kind { Other, Settings, Alarm, Auto, Connect, Disconnect, Lost };
    std::int64_t seq = 0;
    std::int64_t timeUs = 0;
    Kind kind = Kind::Other;
    int channel = 0; // 1-4, 0 without one
    bool fromAuto = false;
    bool hasValue = false;
    double value = 0.0;
    bool hasEng = false;
    double eng = 0.0;
    bool on = true;
    bool raised = false;
    std::string_view unit;
    std::string_view range;
    std::string_view text;
    std::string_view action;
    std::string_view mode;

    static Kind KindOf(std::string_view kind);
    // The fields of `event`; its texts must outlive the input.
    static TrendInput From(const RecordEvent& event);
};

class TrendBuilder {
public:
    // The period [beginUs, endUs); steps thinned to buckets of bucketUs
    // (0 keeps every step). Buckets are counted from the epoch, so a period
    // that moves on (live) keeps its columns.
    TrendBuilder(std::int64_t beginUs, std::int64_t endUs, std::int64_t bucketUs);

    // The columns a period of `spanUs` gets on a plot `pixels` wide: a
    // bucket of at least a microsecond.
    static std::int64_t BucketFor(std::int64_t spanUs, int pixels);

    // Takes an event in. Events before the period set the state it starts
    // in (they count as at its begin); events must come in time order, an
    // event older than the last one taken counts as at the last one's time
    // (a program that committed late).
    void Add(const TrendInput& input);
    void Add(const RecordEvent& event) { Add(TrendInput::From(event)); }

    // The period's end moves on to `endUs` (live): open spans reach it.
    void ExtendTo(std::int64_t endUs);
    // Forgets what lies before `beginUs`: the level at it stays as the first
    // point; spans that ended before it go, the others begin at it.
    void MoveBeginTo(std::int64_t beginUs);

    std::int64_t BeginUs() const { return m_beginUs; }
    std::int64_t EndUs() const { return m_endUs; }
    std::int64_t BucketUs() const { return m_bucketUs; }
    std::int64_t LastSeq() const { return m_lastSeq; }
    // Notes the newest seq read (also when nothing of it was taken in).
    void NoteSeq(std::int64_t seq);
    // Counts events of the period that were summed up rather than read.
    void CountUnread(std::int64_t events) { m_events += events; }

    // What was built, open spans ending at the period's end.
    TrendData Result() const;

private:
    struct Channel {
        std::vector<TrendPoint> steps;
        // The changes of the bucket being filled: at most four, the first,
        // the last, the lowest and the highest, in time order.
        std::vector<TrendPoint> pending;
        std::int64_t pendingBucket = 0;
        bool levelKnown = false;
        double level = 0.0;
        std::string unit;
        std::string range;
        bool unitSeen = false;
        bool mixedUnits = false;
        bool mixedRanges = false;
        bool offOpen = false;
        std::vector<TrendSpan> off, alarms, autoRuns, autoPaused;
        bool autoSeen = false; // an auto event in the period
        // Whether the alarm's state is known from what was taken in: an
        // alarm event, or a connection's start or end.
        bool alarmKnown = false;
    };

    std::int64_t TimeOf(const TrendInput& input);
    Channel* ChannelOf(const TrendInput& input);
    void AddSettings(Channel& ch, const TrendInput& input, std::int64_t t);
    void AddAlarm(Channel& ch, const TrendInput& input, std::int64_t t);
    void AddAuto(Channel& ch, const TrendInput& input, std::int64_t t);
    void AddConnection(const TrendInput& input, std::int64_t t);
    void SetLevel(Channel& ch, std::int64_t t, double value);
    void FlushPending(Channel& ch);
    static void Thin(std::vector<TrendPoint>& points);
    void Open(std::vector<TrendSpan>& spans, std::int64_t t, std::string_view text);
    static void Close(std::vector<TrendSpan>& spans, std::int64_t t);
    static bool IsOpen(const std::vector<TrendSpan>& spans) { return !spans.empty() && spans.back().open; }

    std::int64_t m_beginUs;
    std::int64_t m_endUs;
    std::int64_t m_bucketUs;
    std::int64_t m_lastTime;
    std::int64_t m_lastSeq = 0;
    std::int64_t m_events = 0;
    std::array<Channel, kTrendChannels> m_channels{};
    std::vector<TrendSpan> m_disconnected;
};

// The value axis of a channel: the range's limits when every level was in
// one range, else the levels' own extent with a margin (a flat line gets a
// unit either side).
struct TrendAxisRange {
    double low = 0.0;
    double high = 1.0;
};
TrendAxisRange AxisRangeFor(const TrendChannel& channel);
// The step between value-axis ticks: 1, 2 or 5 times a power of ten, the
// smallest that gives at most `maxTicks` steps over `span`.
double NiceStep(double span, int maxTicks);

// Ticks of the time axis: round times (in the local time `utcOffsetSeconds`
// from UTC) about `maxTicks` of them or fewer across [beginUs, endUs), and
// how a tick's label is written.
struct TrendTimeTicks {
    std::int64_t stepUs = 0;
    std::vector<std::int64_t> ticksUs;
    enum class Label { Millis, Seconds, Minutes, Days } label = Label::Seconds;
};
TrendTimeTicks TimeTicksFor(std::int64_t beginUs, std::int64_t endUs, int maxTicks, int utcOffsetSeconds);

} // namespace velmora
