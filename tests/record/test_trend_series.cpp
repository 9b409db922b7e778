// The trend's series: steps in the display unit from the level before the
// period, off spans, alarms, automatic-output runs and disconnections from
// the record's events; the thinning of a long period to pixel columns; the
// period moving on while live; the axes; and the reader over a record file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "record/RecordDatabase.h"
#include "record/RecordFormat.h"
#include "record/TrendReader.h"
#include "record/TrendSeries.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t Sec(double s)
{
    return static_cast<std::int64_t>(s * 1'000'000.0 + (s >= 0 ? 0.5 : -0.5));
}

struct SettingsArgs {
    bool on = true;
    const char* source = "panel";
    const char* range = "4_20mA";
    const char* unit = "mA";
    std::optional<double> eng;
    const char* port = nullptr;
};

RecordEvent Settings(double t, int channel, double value, SettingsArgs a = {})
{
    RecordEvent e;
    e.timeUs = Sec(t);
    e.source = a.source;
    e.kind = "settings";
    e.Set(RecordField::Channel, channel)
        .Set(RecordField::Range, a.range)
        .Set(RecordField::Value, RecordValue(value))
        .Set(RecordField::Unit, a.unit)
        .Set(RecordField::On, RecordValue(a.on));
    if (a.eng)
        e.Set(RecordField::Eng, RecordValue(*a.eng));
    if (a.port != nullptr)
        e.Set(RecordField::Port, a.port);
    return e;
}

RecordEvent Alarm(double t, int channel, bool raised, const char* text = nullptr)
{
    RecordEvent e;
    e.timeUs = Sec(t);
    e.source = "panel";
    e.kind = "alarm";
    e.Set(RecordField::Channel, channel).Set(RecordField::Raised, RecordValue(raised));
    if (text != nullptr)
        e.Set(RecordField::Text, text);
    return e;
}

RecordEvent Auto(double t, int channel, const char* action, const char* mode = "sawtooth")
{
    RecordEvent e;
    e.timeUs = Sec(t);
    e.source = "panel";
    e.kind = "auto";
    e.Set(RecordField::Channel, channel).Set(RecordField::Action, action).Set(RecordField::Mode, mode);
    return e;
}

RecordEvent Connection(double t, const char* kind)
{
    RecordEvent e;
    e.timeUs = Sec(t);
    e.source = "panel";
    e.kind = kind;
    return e;
}

TrendSpan Span(double b, double e, std::string text = {}, bool open = false)
{
    return TrendSpan{Sec(b), Sec(e), std::move(text), open};
}

// Points compare with NaN equal to NaN (an unknown level).
void ExpectSteps(const std::vector<TrendPoint>& got, const std::vector<std::pair<double, double>>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].timeUs, Sec(want[i].first)) << i;
        if (std::isnan(want[i].second))
            EXPECT_TRUE(std::isnan(got[i].value)) << i;
        else
            EXPECT_EQ(got[i].value, want[i].second) << i;
    }
}

} // namespace
} // namespace velmora::test

namespace velmora {
// Readable failures: times in seconds.
void PrintTo(const TrendSpan& s, std::ostream* os)
{
    *os << "{" << s.beginUs / 1e6 << " s, " << s.endUs / 1e6 << " s, \"" << s.text << "\"" << (s.open ? ", open" : "")
        << "}";
}
void PrintTo(const TrendPoint& p, std::ostream* os)
{
    *os << "{" << p.timeUs / 1e6 << " s, " << p.value << "}";
}
} // namespace velmora

namespace velmora::test {
namespace {

const TrendChannel& Ch(const TrendData& d, int channel)
{
    return d.channels[static_cast<std::size_t>(channel - 1)];
}

TEST(TrendSeries, StepsFollowTheLevelInItsDisplayUnitFromTheLevelBeforeThePeriod)
{
    TrendBuilder b(Sec(10), Sec(60), 0);
    // Before the period: the last level is the one it starts at.
    b.Add(Settings(2, 1, 5.0));
    b.Add(Settings(2, 2, 0.0, {.range = "0_10V", .unit = "V"}));
    b.Add(Settings(5, 1, 6.0));
    // A frame the other channel's automatic output carried: same level.
    b.Add(Settings(12, 1, 8.0));
    b.Add(Settings(12, 2, 0.0, {.source = "auto", .range = "0_10V", .unit = "V"}));
    // Switched off and on: the level stays; on again at a new level.
    b.Add(Settings(20, 1, 8.0, {.on = false}));
    b.Add(Settings(30, 1, 12.0));
    // The formula: the engineering value is the level.
    b.Add(Settings(40, 1, 4.0, {.eng = 100.0}));
    const TrendData d = b.Result();

    EXPECT_EQ(d.beginUs, Sec(10));
    EXPECT_EQ(d.endUs, Sec(60));
    ExpectSteps(Ch(d, 1).steps, {{10, 6.0}, {12, 8.0}, {30, 12.0}, {40, 100.0}});
    EXPECT_EQ(Ch(d, 1).off, std::vector<TrendSpan>{Span(20, 30)});
    EXPECT_TRUE(Ch(d, 1).mixedUnits);
    EXPECT_EQ(Ch(d, 1).range, "");
    EXPECT_EQ(Ch(d, 1).low, 6.0);
    EXPECT_EQ(Ch(d, 1).high, 100.0);

    ExpectSteps(Ch(d, 2).steps, {{10, 0.0}});
    EXPECT_EQ(Ch(d, 2).unit, "V");
    EXPECT_FALSE(Ch(d, 2).mixedUnits);
    EXPECT_EQ(Ch(d, 2).range, "0_10V");
    EXPECT_TRUE(Ch(d, 2).autoRuns.empty());
    EXPECT_FALSE(Ch(d, 3).HasData());

    // The value axis spans the range, or the levels with a margin.
    const TrendAxisRange volts = AxisRangeFor(Ch(d, 2));
    EXPECT_EQ(volts.low, 0.0);
    EXPECT_EQ(volts.high, 10.0);
    const TrendAxisRange mixed = AxisRangeFor(Ch(d, 1));
    EXPECT_DOUBLE_EQ(mixed.low, 6.0 - 4.7);
    EXPECT_DOUBLE_EQ(mixed.high, 100.0 + 4.7);
    TrendChannel flat;
    flat.low = flat.high = 50.0;
    EXPECT_EQ(AxisRangeFor(flat).low, 49.0);
    EXPECT_EQ(AxisRangeFor(flat).high, 51.0);
    // A level outside the range (another unit's record) stays in view.
    TrendChannel beyond;
    beyond.range = "4_20mA";
    beyond.low = 2.0;
    beyond.high = 12.0;
    EXPECT_EQ(AxisRangeFor(beyond).low, 2.0);
    EXPECT_EQ(AxisRangeFor(beyond).high, 20.0);

    // Value ticks: 4-20 mA in twos, 0-10 V in ones, a few units in tenths.
    EXPECT_EQ(NiceStep(16.0, 8), 2.0);
    EXPECT_EQ(NiceStep(10.0, 10), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(0.9, 6), 0.2);
    EXPECT_EQ(NiceStep(24.0, 5), 5.0);
    EXPECT_EQ(NiceStep(1234.0, 6), 500.0);
}

TEST(TrendSeries, OffSpansEndAtADisconnectionAndTheLevelIsUnknownUntilTheUnitIsBack)
{
    TrendBuilder b(0, Sec(100), 0);
    b.Add(Settings(1, 1, 4.0, {.on = false}));
    b.Add(Settings(10, 1, 4.0));
    b.Add(Alarm(15, 1, true, "出力異常"));
    b.Add(Connection(20, "lost"));
    b.Add(Connection(30, "connect"));
    b.Add(Settings(30.5, 1, 4.0, {.on = false}));
    b.Add(Connection(60, "disconnect"));
    const TrendData d = b.Result();

    const double unknown = std::nan("");
    ExpectSteps(Ch(d, 1).steps, {{1, 4.0}, {20, unknown}, {30.5, 4.0}, {60, unknown}});
    EXPECT_EQ(Ch(d, 1).off, (std::vector<TrendSpan>{Span(1, 10), Span(30.5, 60)}));
    EXPECT_EQ(Ch(d, 1).alarms, std::vector<TrendSpan>{Span(15, 20, "出力異常")});
    // Still away at the end of what was read: open, up to the period's end.
    EXPECT_EQ(d.disconnected, (std::vector<TrendSpan>{Span(20, 30, "lost"), Span(60, 100, "disconnect", true)}));
}

TEST(TrendSeries, AlarmsLastFromRaisedToClearedWithTheirText)
{
    TrendBuilder b(Sec(100), Sec(200), 0);
    b.Add(Alarm(50, 2, true, "温度異常")); // before the period, still raised
    b.Add(Alarm(120, 2, true, "温度異常"));
    b.Add(Alarm(130, 2, true, "出力異常")); // another alarm replaces it
    b.Add(Alarm(140, 2, false));
    b.Add(Alarm(150, 1, false)); // cleared, raised before anything read
    b.Add(Alarm(160, 1, true, "温度異常"));
    b.Add(Alarm(70, 3, true, "出力異常")); // raised and cleared before the period
    b.Add(Alarm(80, 3, false));
    const TrendData d = b.Result();

    EXPECT_EQ(Ch(d, 2).alarms, (std::vector<TrendSpan>{Span(100, 130, "温度異常"), Span(130, 140, "出力異常")}));
    EXPECT_EQ(Ch(d, 1).alarms, (std::vector<TrendSpan>{Span(100, 150), Span(160, 200, "温度異常", true)}));
    EXPECT_TRUE(Ch(d, 3).alarms.empty());

    // A connection's first status is recorded whatever it says: "none" then
    // is a state, not an alarm going.
    TrendBuilder reconnected(Sec(100), Sec(200), 0);
    reconnected.Add(Connection(110, "connect"));
    reconnected.Add(Alarm(110.05, 1, false));
    reconnected.Add(Alarm(110.05, 2, true, "出力異常"));
    reconnected.Add(Alarm(150, 2, false));
    const TrendData r = reconnected.Result();
    EXPECT_TRUE(Ch(r, 1).alarms.empty());
    EXPECT_EQ(Ch(r, 2).alarms, std::vector<TrendSpan>{Span(110.05, 150, "出力異常")});
    // So is a program's first status, marked as what it found.
    TrendBuilder started(Sec(100), Sec(200), 0);
    started.Add(Alarm(170, 3, false).Set(RecordField::Action, "state"));
    EXPECT_TRUE(Ch(started.Result(), 3).alarms.empty());
}

TEST(TrendSeries, AutomaticOutputRunsFromStartToStopWithTheirPauses)
{
    TrendBuilder b(Sec(100), Sec(300), 0);
    b.Add(Auto(50, 1, "start")); // before the period
    // The automatic output changing the level shows a run started before.
    b.Add(Settings(110, 3, 1.0));
    // Stopped, paused in the period: started before it.
    b.Add(Auto(120, 2, "stop"));
    b.Add(Settings(130, 3, 2.0, {.source = "auto"}));
    b.Add(Auto(140, 4, "pause", "arbitrary"));
    b.Add(Auto(150, 1, "pause"));
    b.Add(Auto(160, 1, "resume"));
    b.Add(Auto(170, 1, "end"));
    b.Add(Auto(200, 1, "start", "triangle"));
    const TrendData d = b.Result();

    EXPECT_EQ(Ch(d, 1).autoRuns,
              (std::vector<TrendSpan>{Span(100, 170, "sawtooth"), Span(200, 300, "triangle", true)}));
    EXPECT_EQ(Ch(d, 1).autoPaused, std::vector<TrendSpan>{Span(150, 160)});
    EXPECT_EQ(Ch(d, 2).autoRuns, std::vector<TrendSpan>{Span(100, 120, "sawtooth")});
    EXPECT_EQ(Ch(d, 4).autoRuns, std::vector<TrendSpan>{Span(100, 300, "arbitrary", true)});
    EXPECT_EQ(Ch(d, 4).autoPaused, std::vector<TrendSpan>{Span(140, 300, "", true)});
    EXPECT_EQ(Ch(d, 3).autoRuns, std::vector<TrendSpan>{Span(100, 300, "", true)});
}

TEST(TrendSeries, ALongPeriodKeepsEachColumnsFirstLastLowestAndHighestLevel)
{
    // A sawtooth of 0..49 every 10 ms for 100 s, with the unit lost for a
    // moment in the middle, thinned to columns of a second.
    std::vector<RecordEvent> events;
    for (int i = 0; i < 10'000; ++i) {
        const double t = i * 0.01;
        if (i == 5050)
            events.push_back(Connection(t - 0.005, "lost"));
        events.push_back(Settings(t, 1, i % 50));
    }
    TrendBuilder thin(0, Sec(100), Sec(1));
    TrendBuilder full(0, Sec(100), 0);
    for (const RecordEvent& e : events) {
        thin.Add(e);
        full.Add(e);
    }
    const TrendData fullData = full.Result();
    const TrendData thinData = thin.Result();
    const auto& all = Ch(fullData, 1).steps;
    const auto& kept = Ch(thinData, 1).steps;
    EXPECT_EQ(all.size(), 10'001u);
    ASSERT_LT(kept.size(), 400u);

    for (int column = 0; column < 100; ++column) {
        const auto in = [column](const TrendPoint& p) { return p.timeUs / Sec(1) == column; };
        std::vector<TrendPoint> a, k;
        std::copy_if(all.begin(), all.end(), std::back_inserter(a), in);
        std::copy_if(kept.begin(), kept.end(), std::back_inserter(k), in);
        ASSERT_FALSE(k.empty()) << column;
        EXPECT_EQ(k.front(), a.front()) << column;
        EXPECT_EQ(k.back().value, a.back().value) << column;
        const auto value = [](const TrendPoint& p) { return std::isnan(p.value) ? -1.0 : p.value; };
        const auto lowHigh = [&](const std::vector<TrendPoint>& v) {
            double lo = 1e9, hi = -1e9;
            for (const TrendPoint& p : v) {
                lo = std::min(lo, value(p));
                hi = std::max(hi, value(p));
            }
            return std::pair(lo, hi);
        };
        EXPECT_EQ(lowHigh(k), lowHigh(a)) << column;
        EXPECT_LE(k.size(), column == 50 ? 9u : 4u) << column;
    }
    // The moment without a unit is not thinned away.
    EXPECT_EQ(std::count_if(kept.begin(), kept.end(), [](const TrendPoint& p) { return std::isnan(p.value); }), 1);

    // An output switched off and on every 0.1 s within a column is one span.
    TrendBuilder flicker(0, Sec(10), Sec(1));
    for (int i = 0; i < 10; ++i)
        flicker.Add(Settings(2 + i * 0.05, 1, 4.0, {.on = i % 2 == 1}));
    EXPECT_EQ(Ch(flicker.Result(), 1).off, std::vector<TrendSpan>{Span(2, 2.45)});
    EXPECT_EQ(TrendBuilder::BucketFor(Sec(600), 1000), Sec(0.6));
    EXPECT_EQ(TrendBuilder::BucketFor(10, 1000), 1);
}

TEST(TrendSeries, ALivePeriodMovesOnAndForgetsWhatLeftIt)
{
    TrendBuilder b(0, Sec(10), 0);
    b.Add(Settings(1, 1, 5.0));
    b.Add(Alarm(2, 1, true, "温度異常"));
    b.Add(Alarm(3, 1, false));
    b.Add(Settings(8, 1, 7.0));
    b.Add(Settings(9, 1, 7.0, {.on = false}));
    b.ExtendTo(Sec(20));
    EXPECT_EQ(Ch(b.Result(), 1).off, std::vector<TrendSpan>{Span(9, 20, "", true)});

    b.MoveBeginTo(Sec(8.5));
    TrendData d = b.Result();
    EXPECT_EQ(d.beginUs, Sec(8.5));
    ExpectSteps(Ch(d, 1).steps, {{8.5, 7.0}});
    EXPECT_TRUE(Ch(d, 1).alarms.empty());
    EXPECT_EQ(Ch(d, 1).off, std::vector<TrendSpan>{Span(9, 20, "", true)});

    b.MoveBeginTo(Sec(15));
    b.Add(Settings(16, 1, 9.0));
    d = b.Result();
    ExpectSteps(Ch(d, 1).steps, {{15, 7.0}, {16, 9.0}});
    EXPECT_EQ(Ch(d, 1).off, std::vector<TrendSpan>{Span(15, 16)});
    // An event stamped before the last one (committed late by another
    // program) counts at the last one's time.
    b.Add(Settings(12, 1, 3.0));
    ExpectSteps(Ch(b.Result(), 1).steps, {{15, 7.0}, {16, 3.0}});
}

TEST(TrendSeries, TimeTicksFallOnRoundLocalTimes)
{
    // 10 minutes from 10:03:17 UTC: a tick each whole minute.
    const std::int64_t t0 = Sec(1'795'996'800 + 10 * 3600 + 3 * 60 + 17);
    TrendTimeTicks ticks = TimeTicksFor(t0, t0 + Sec(600), 10, 9 * 3600);
    EXPECT_EQ(ticks.stepUs, Sec(60));
    EXPECT_EQ(ticks.label, TrendTimeTicks::Label::Minutes);
    ASSERT_EQ(ticks.ticksUs.size(), 10u);
    EXPECT_EQ(ticks.ticksUs.front(), t0 + Sec(43));
    for (const std::int64_t t : ticks.ticksUs)
        EXPECT_EQ(t % Sec(60), 0);

    // Hours on a half-hour time zone fall on its own hours.
    ticks = TimeTicksFor(Sec(86400 + 600), Sec(86400 + 600 + 6 * 3600), 6, 5 * 3600 + 1800);
    EXPECT_EQ(ticks.stepUs, Sec(3600));
    ASSERT_EQ(ticks.ticksUs.size(), 6u);
    EXPECT_EQ(ticks.ticksUs.front(), Sec(86400 + 1800));

    // Two seconds: fifths of a second.
    ticks = TimeTicksFor(Sec(5), Sec(7), 10, 0);
    EXPECT_EQ(ticks.stepUs, Sec(0.2));
    EXPECT_EQ(ticks.label, TrendTimeTicks::Label::Millis);
    EXPECT_EQ(ticks.ticksUs.size(), 10u);

    // Three days at UTC+9: local midnight and noon.
    ticks = TimeTicksFor(Sec(86400 * 3), Sec(86400 * 6), 10, 9 * 3600);
    EXPECT_EQ(ticks.stepUs, Sec(43200));
    EXPECT_EQ((ticks.ticksUs.front() + Sec(9 * 3600)) % Sec(43200), 0);
    EXPECT_TRUE(TimeTicksFor(Sec(5), Sec(5), 10, 0).ticksUs.empty());
}

class TrendRecordFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
            ("velmora-trend-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / "record.sqlite3").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Write(std::vector<RecordEvent> events)
    {
        RecordDatabase db;
        ASSERT_EQ(db.OpenForWriting(m_path), RecordOpenResult::Ok) << db.LastError();
        ASSERT_TRUE(db.Append(events)) << db.LastError();
        m_written.insert(m_written.end(), events.begin(), events.end());
    }

    // A bench's run: channel 1 steps up every second from 1000 s, its
    // temperature alarm raised at 1020 s and cleared at 1045 s; channel 2's
    // sawtooth runs from 1010 s; the unit is lost at 1050 s and back at
    // 1055 s.
    void WriteRun()
    {
        std::vector<RecordEvent> events;
        for (int i = 0; i < 100; ++i) {
            const double t = 1000 + i;
            if (t == 1010)
                events.push_back(Auto(t, 2, "start"));
            if (t == 1020)
                events.push_back(Alarm(t, 1, true, "温度異常"));
            if (t == 1045)
                events.push_back(Alarm(t, 1, false));
            if (t == 1050)
                events.push_back(Connection(t, "lost"));
            if (t >= 1050 && t < 1055)
                continue;
            if (t == 1055)
                events.push_back(Connection(t, "connect"));
            events.push_back(Settings(t, 1, 4.0 + i * 0.1));
            events.push_back(Settings(t, 2, i % 10, {.source = "auto", .range = "0_10V", .unit = "V"}));
        }
        Write(std::move(events));
    }

    static std::string Sql(const std::string& path, const char* sql)
    {
        sqlite3* db = nullptr;
        std::string result;
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
            return "cannot open";
        char* error = nullptr;
        sqlite3_exec(
            db, sql,
            [](void* r, int n, char** v, char**) {
                for (int i = 0; i < n; ++i)
                    *static_cast<std::string*>(r) += std::string(v[i] ? v[i] : "NULL") + (i + 1 < n ? "|" : "\n");
                return 0;
            },
            &result, &error);
        if (error != nullptr)
            result += std::string("error: ") + error;
        sqlite3_free(error);
        sqlite3_close(db);
        return result;
    }

    // The record as an older program left it: no minutes' summary, no
    // index of the events other than settings.
    std::string OlderCopy()
    {
        const std::string older = (m_dir / "older.sqlite3").string();
        fs::copy_file(m_path, older, fs::copy_options::overwrite_existing);
        EXPECT_EQ(Sql(older, "DROP TABLE settings_minute; DROP INDEX event_channel_notable; PRAGMA user_version=1;"),
                  "");
        return older;
    }

    fs::path m_dir;
    std::string m_path;
    std::vector<RecordEvent> m_written;
};

TEST_F(TrendRecordFile, APeriodStartsFromTheStateTheRecordHadBeforeIt)
{
    WriteRun();
    TrendReader reader;
    ASSERT_EQ(reader.Open(m_path), RecordOpenResult::Ok) << reader.LastError();
    const auto extent = reader.ReadExtent();
    ASSERT_TRUE(extent);
    EXPECT_EQ(extent->firstUs, Sec(1000));
    EXPECT_EQ(extent->lastUs, Sec(1099));

    TrendBuilder b(Sec(1040.5), Sec(1080), 0);
    ASSERT_TRUE(reader.Load(b)) << reader.LastError();
    TrendData d = b.Result();
    // The level of 1040 s holds at the period's start.
    ASSERT_FALSE(Ch(d, 1).steps.empty());
    EXPECT_EQ(Ch(d, 1).steps.front(), (TrendPoint{Sec(1040.5), 4.0 + 40 * 0.1}));
    EXPECT_EQ(Ch(d, 1).steps[1], (TrendPoint{Sec(1041), 4.0 + 41 * 0.1}));
    EXPECT_EQ(Ch(d, 1).alarms, std::vector<TrendSpan>{Span(1040.5, 1045, "温度異常")});
    EXPECT_EQ(Ch(d, 2).autoRuns, std::vector<TrendSpan>{Span(1040.5, 1080, "sawtooth", true)});
    EXPECT_EQ(d.disconnected, std::vector<TrendSpan>{Span(1050, 1055, "lost")});
    // Every step of the period, before 1080 s.
    EXPECT_EQ(Ch(d, 1).steps.back().timeUs, Sec(1079));
    EXPECT_EQ(Ch(d, 1).steps.size(), 1 + 9 + 1 + 25u);

    // One channel: its own rows and the connection events.
    TrendBuilder one(Sec(1040.5), Sec(1080), 0);
    ASSERT_TRUE(reader.Load(one, 2));
    d = one.Result();
    EXPECT_FALSE(Ch(d, 1).HasData());
    EXPECT_EQ(Ch(d, 2).autoRuns.size(), 1u);
    EXPECT_EQ(d.disconnected, std::vector<TrendSpan>{Span(1050, 1055, "lost")});

    // The record finds the last alarm before the period through its own
    // index, however far back.
    TrendReader near(2);
    ASSERT_EQ(near.Open(m_path), RecordOpenResult::Ok);
    TrendBuilder indexed(Sec(1040.5), Sec(1080), 0);
    ASSERT_TRUE(near.Load(indexed));
    EXPECT_TRUE(near.StateComplete());
    EXPECT_EQ(Ch(indexed.Result(), 1).alarms, std::vector<TrendSpan>{Span(1040.5, 1045, "温度異常")});

    // An older program's record looks back; only two rows, the alarm's
    // raise is not found; its clear in the period still shows it, without
    // its text.
    ASSERT_EQ(near.Open(OlderCopy()), RecordOpenResult::Ok);
    TrendBuilder shortSight(Sec(1040.5), Sec(1080), 0);
    ASSERT_TRUE(near.Load(shortSight));
    EXPECT_EQ(Ch(shortSight.Result(), 1).alarms, std::vector<TrendSpan>{Span(1040.5, 1045)});
    EXPECT_TRUE(reader.StateComplete());
    // It says so, and going back further finds the alarm raised and the
    // run going on at the period's begin; an exact load shows them whole.
    EXPECT_FALSE(near.StateComplete());
    EXPECT_TRUE(near.StateBeforeMatters());
    TrendBuilder exact(Sec(1040.5), Sec(1080), 0);
    ASSERT_TRUE(near.Load(exact, std::nullopt, false, nullptr, true));
    EXPECT_TRUE(near.StateComplete());
    EXPECT_EQ(Ch(exact.Result(), 1).alarms, std::vector<TrendSpan>{Span(1040.5, 1045, "温度異常")});
    // Later, with nothing raised or running beyond the horizon, going back
    // further changes nothing.
    TrendBuilder later(Sec(1070), Sec(1080), 0);
    ASSERT_TRUE(near.Load(later, 1));
    EXPECT_FALSE(near.StateComplete());
    EXPECT_FALSE(near.StateBeforeMatters());

    // A cancelled load says so.
    std::atomic<bool> cancel{true};
    TrendBuilder cancelled(0, Sec(2000), 0);
    std::vector<RecordEvent> many;
    many.reserve(5000);
    for (int i = 0; i < 5000; ++i)
        many.push_back(Settings(1100 + i * 0.01, 1, i));
    Write(std::move(many));
    EXPECT_FALSE(reader.Load(cancelled, std::nullopt, false, &cancel));
}

// The line the steps draw: a point at the level already held draws
// nothing (a column's last change may come back to the level of its
// highest).
std::vector<TrendPoint> DrawnSteps(const std::vector<TrendPoint>& steps)
{
    std::vector<TrendPoint> drawn;
    for (const TrendPoint& p : steps) {
        const bool same = !drawn.empty() &&
            (drawn.back().value == p.value || (std::isnan(drawn.back().value) && std::isnan(p.value)));
        if (!same)
            drawn.push_back(p);
    }
    return drawn;
}

// Compares what two loads built, an unknown level equal to another.
void ExpectSameTrend(const TrendData& got, const TrendData& want)
{
    for (int c = 1; c <= kTrendChannels; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const TrendChannel& g = Ch(got, c);
        const TrendChannel& w = Ch(want, c);
        const auto gs = DrawnSteps(g.steps);
        const auto ws = DrawnSteps(w.steps);
        ASSERT_EQ(gs.size(), ws.size());
        for (std::size_t i = 0; i < gs.size(); ++i) {
            EXPECT_EQ(gs[i].timeUs, ws[i].timeUs) << i;
            if (std::isnan(ws[i].value))
                EXPECT_TRUE(std::isnan(gs[i].value)) << i;
            else
                EXPECT_EQ(gs[i].value, ws[i].value) << i;
        }
        EXPECT_EQ(g.off, w.off);
        EXPECT_EQ(g.alarms, w.alarms);
        EXPECT_EQ(g.autoRuns, w.autoRuns);
        EXPECT_EQ(g.autoPaused, w.autoPaused);
        EXPECT_EQ(g.unit, w.unit);
        EXPECT_EQ(g.mixedUnits, w.mixedUnits);
        EXPECT_EQ(g.range, w.range);
    }
    EXPECT_EQ(got.disconnected, want.disconnected);
    EXPECT_EQ(got.events, want.events);
}

TEST_F(TrendRecordFile, ALongPeriodDrawsFromEachMinutesSummaryWhatEveryEventWouldShow)
{
    // Ten minutes from a whole minute: channel 1 steps every 0.5 s, its
    // output off from 200 s to 230 s and on 0-10 V from 400 s; channel 2's
    // automatic output steps every second, an alarm up from 250 s to 320 s;
    // the unit lost from 450 s to 470 s.
    constexpr double kT0 = 60'000;
    std::vector<RecordEvent> events;
    for (int i = 0; i < 1200; ++i) {
        const double s = i * 0.5;
        const double t = kT0 + s;
        if (s == 5)
            events.push_back(Auto(t, 2, "start"));
        if (s == 250)
            events.push_back(Alarm(t, 2, true, "出力異常"));
        if (s == 320)
            events.push_back(Alarm(t, 2, false));
        if (s == 450)
            events.push_back(Connection(t, "lost"));
        if (s >= 450 && s < 470)
            continue;
        if (s == 470)
            events.push_back(Connection(t, "connect"));
        const bool volts = s >= 400;
        events.push_back(
            Settings(t, 1, (volts ? 0.0 : 4.0) + (i * 7 % 23) * 0.25,
                     {.on = s < 200 || s >= 230, .range = volts ? "0_10V" : "4_20mA", .unit = volts ? "V" : "mA"}));
        if (i % 2 == 0 && s > 5)
            events.push_back(Settings(t, 2, i / 2 % 10, {.source = "auto", .range = "0_10V", .unit = "V"}));
    }
    Write(std::move(events));
    const std::string older = OlderCopy();

    // Columns of a minute, the period's ends inside minutes.
    const auto load = [](const std::string& path, std::optional<int> channel = std::nullopt) {
        TrendReader reader;
        EXPECT_EQ(reader.Open(path), RecordOpenResult::Ok);
        TrendBuilder b(Sec(kT0 + 30.25), Sec(kT0 + 590.75), kSummaryMinuteUs);
        EXPECT_TRUE(reader.Load(b, channel)) << reader.LastError();
        return b.Result();
    };
    const TrendData summed = load(m_path);
    const TrendData every = load(older);
    ExpectSameTrend(summed, every);
    ExpectSameTrend(load(m_path, 1), load(older, 1));
    // What the trend shows is all there.
    EXPECT_EQ(Ch(summed, 1).off, std::vector<TrendSpan>{Span(kT0 + 200, kT0 + 230)});
    EXPECT_TRUE(Ch(summed, 1).mixedUnits);
    EXPECT_EQ(Ch(summed, 2).alarms, std::vector<TrendSpan>{Span(kT0 + 250, kT0 + 320, "出力異常")});
    EXPECT_EQ(summed.disconnected, std::vector<TrendSpan>{Span(kT0 + 450, kT0 + 470, "lost")});
    EXPECT_GT(Ch(summed, 1).steps.size(), 30u);

    // An older record gets the same summary when this program first writes
    // to it as the one kept while recording.
    const char* summary = "SELECT * FROM settings_minute ORDER BY 1, 2";
    const std::string kept = Sql(m_path, summary);
    ASSERT_NE(kept.find("|"), std::string::npos);
    {
        RecordDatabase db;
        ASSERT_EQ(db.OpenForWriting(older), RecordOpenResult::Ok) << db.LastError();
        EXPECT_EQ(db.FoundSchemaVersion(), RecordDatabase::kSchemaVersion);
    }
    EXPECT_EQ(Sql(older, summary), kept);

    // The minutes in the middle are read from the summary, not row by row:
    // the events it counts are the ones the period says it holds.
    EXPECT_EQ(Sql(m_path, "UPDATE settings_minute SET events = events + 1000 WHERE \"channel\" = 1 AND minute = 1002"),
              "");
    EXPECT_EQ(load(m_path).events, every.events + 1000);
}

TEST_F(TrendRecordFile, TwoUnitsRecordingIntoOneFileAreDrawnApart)
{
    // Two benches, each a unit on its own port, channel 1 stepping every
    // second for ten minutes: one between 4 and 5 mA, the other between
    // 15 and 16 mA, which lost its unit for a minute and had an alarm.
    constexpr double kT0 = 120'000;
    const char* const a = "/dev/ttyUSB0";
    const char* const b = "/dev/ttyUSB1";
    std::vector<RecordEvent> events;
    for (int i = 0; i < 600; ++i) {
        const double t = kT0 + i;
        if (i == 100) {
            RecordEvent alarm = Alarm(t, 1, true, "出力異常");
            alarm.Set(RecordField::Port, b);
            events.push_back(alarm);
        }
        if (i == 300) {
            RecordEvent lost = Connection(t, "lost");
            lost.Set(RecordField::Port, b);
            events.push_back(lost);
        }
        events.push_back(Settings(t, 1, 4.0 + (i % 10) * 0.1, {.port = a}));
        if (i < 300 || i >= 360)
            events.push_back(Settings(t + 0.5, 1, 15.0 + (i % 10) * 0.1, {.port = b}));
    }
    Write(std::move(events));

    for (const std::int64_t bucket : {std::int64_t{0}, kSummaryMinuteUs}) {
        SCOPED_TRACE(bucket);
        TrendReader reader;
        ASSERT_EQ(reader.Open(m_path), RecordOpenResult::Ok);
        reader.SetPort(a);
        TrendBuilder first(Sec(kT0 + 30.25), Sec(kT0 + 590), bucket);
        ASSERT_TRUE(reader.Load(first)) << reader.LastError();
        const TrendData d = first.Result();
        EXPECT_GE(Ch(d, 1).low, 4.0);
        EXPECT_LE(Ch(d, 1).high, 5.0);
        EXPECT_TRUE(Ch(d, 1).alarms.empty());
        EXPECT_TRUE(d.disconnected.empty());
        // Its level before the period is its own.
        EXPECT_EQ(Ch(d, 1).steps.front(), (TrendPoint{Sec(kT0 + 30.25), 4.0}));

        reader.SetPort(b);
        TrendBuilder second(Sec(kT0 + 30.25), Sec(kT0 + 590), bucket);
        ASSERT_TRUE(reader.Load(second));
        const TrendData e = second.Result();
        EXPECT_GE(Ch(e, 1).low, 15.0);
        EXPECT_EQ(Ch(e, 1).alarms.size(), 1u);
        EXPECT_EQ(e.disconnected, std::vector<TrendSpan>{Span(kT0 + 300, kT0 + 360.5, "lost")});

        // Live, what comes later for the other unit is left out too.
        reader.SetPort(a);
        TrendBuilder live(Sec(kT0 + 580), Sec(kT0 + 600), bucket);
        ASSERT_TRUE(reader.Load(live, std::nullopt, true));
        Write({Settings(kT0 + 700, 1, 19.0, {.port = b}), Settings(kT0 + 701, 1, 4.5, {.port = a})});
        ASSERT_TRUE(reader.ReadNewer(live));
        live.ExtendTo(Sec(kT0 + 702));
        EXPECT_EQ(Ch(live.Result(), 1).steps.back(), (TrendPoint{Sec(kT0 + 701), 4.5}));
        EXPECT_LE(Ch(live.Result(), 1).high, 5.0);
    }
}

TEST_F(TrendRecordFile, LiveReadsEveryEventCommittedAfterTheLoad)
{
    WriteRun();
    TrendReader reader;
    ASSERT_EQ(reader.Open(m_path), RecordOpenResult::Ok);
    TrendBuilder b(Sec(1090), Sec(1095), 0);
    ASSERT_TRUE(reader.Load(b, std::nullopt, true));
    // Live, the period has no end: what came after its end is read too.
    EXPECT_EQ(Ch(b.Result(), 1).steps.back().timeUs, Sec(1099));
    EXPECT_EQ(b.LastSeq(), static_cast<std::int64_t>(m_written.size()));

    Write({Settings(1100, 1, 20.0), Alarm(1100.5, 2, true, "出力異常")});
    ASSERT_TRUE(reader.ReadNewer(b));
    b.ExtendTo(Sec(1101));
    const TrendData d = b.Result();
    EXPECT_EQ(Ch(d, 1).steps.back(), (TrendPoint{Sec(1100), 20.0}));
    EXPECT_EQ(Ch(d, 2).alarms, std::vector<TrendSpan>{Span(1100.5, 1101, "出力異常", true)});
    EXPECT_EQ(b.LastSeq(), static_cast<std::int64_t>(m_written.size()));
    const std::int64_t events = d.events;
    ASSERT_TRUE(reader.ReadNewer(b));
    EXPECT_EQ(b.Result().events, events);
}

TEST_F(TrendRecordFile, CsvExportHoldsThePeriodsEventsOrNoFileAtAll)
{
    WriteRun();
    RecordDatabase db;
    ASSERT_EQ(db.OpenForReading(m_path), RecordOpenResult::Ok);
    const std::string csv = (m_dir / "period.csv").string();
    std::string error;
    const auto rows = ExportRecordCsv(db, Sec(1049), Sec(1056), csv, error);
    ASSERT_TRUE(rows) << error;

    std::vector<const RecordEvent*> inPeriod;
    for (const RecordEvent& e : m_written) {
        if (e.timeUs >= Sec(1049) && e.timeUs < Sec(1056))
            inPeriod.push_back(&e);
    }
    EXPECT_EQ(*rows, static_cast<std::int64_t>(inPeriod.size()));
    std::ifstream in(csv, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.rfind(RecordCsvHeader(), 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + *rows);
    // The lost unit and its return are among them, with their times.
    EXPECT_NE(text.find(IsoTimeText(Sec(1050)) + ",panel,lost,"), std::string::npos);
    EXPECT_NE(text.find(IsoTimeText(Sec(1055)) + ",panel,connect,"), std::string::npos);
    EXPECT_EQ(text.find(IsoTimeText(Sec(1048))), std::string::npos);
    EXPECT_EQ(text.find(IsoTimeText(Sec(1056))), std::string::npos);

    // A folder that is not there: no file, no leftover, and a reason.
    const std::string nowhere = (m_dir / "missing" / "period.csv").string();
    EXPECT_FALSE(ExportRecordCsv(db, Sec(1049), Sec(1056), nowhere, error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    // Cancelled: the file it would have replaced stays as it was.
    std::atomic<bool> cancel{true};
    std::vector<RecordEvent> many;
    many.reserve(20'000);
    for (int i = 0; i < 20'000; ++i)
        many.push_back(Settings(2000 + i * 0.001, 1, i));
    Write(std::move(many));
    EXPECT_FALSE(ExportRecordCsv(db, Sec(1000), Sec(3000), csv, error, &cancel));
    std::ifstream again(csv, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), text);
    EXPECT_FALSE(fs::exists(csv + ".part-" + std::to_string(::getpid())));
}

} // namespace
} // namespace velmora::test
