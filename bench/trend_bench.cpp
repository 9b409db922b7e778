// Measures the trend window and its queries on records written straight
// into the file with RecordDatabase::Append, in the shape the window's run
// recorder gives them: both channels of a two-channel unit stepping a
// sawtooth every 0.1 s, each step a settings frame of every channel (40
// settings events a second).
//   velmora-bench-trend sawtooth PATH MINUTES   a record of the last MINUTES up to now
//   velmora-bench-trend open PATH               opening the trend, live over the last 10 minutes
//   velmora-bench-trend live PATH SECONDS       the window's CPU with and without the trend following
//                                               a record written at 40 events a second
//   velmora-bench-trend day PATH                a day (3.46 million events): one channel's day and
//                                               both channels' queried, the day exported as CSV
// Each prints "name: value" lines.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchPrompter.h"
#include "BenchUtil.h"
#include "app/AppSetup.h"
#include "record/RecordDatabase.h"
#include "record/RecordWriter.h"
#include "record/TrendReader.h"
#include "record/ui/CTrendChart.h"
#include "record/ui/CTrendDlg.h"
#include "record/ui/TrendLoader.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr std::int64_t kTickUs = 100'000;
constexpr std::int64_t kSecondUs = 1'000'000;

// Channel c's sawtooth value at step k: 10 V down to 0 V by 0.1 V.
double Sawtooth(std::int64_t k, int c)
{
    return static_cast<double>(100 - (k + 37 * c) % 101) / 10.0;
}

RecordEvent SettingsEvent(std::int64_t timeUs, int channel, double value)
{
    RecordEvent e;
    e.timeUs = timeUs;
    e.source = "auto";
    e.kind = "settings";
    e.Set(RecordField::Channel, channel)
        .Set(RecordField::Range, "0_10V")
        .Set(RecordField::Value, RecordValue(value))
        .Set(RecordField::Unit, "V")
        .Set(RecordField::On, RecordValue(true))
        .Set(RecordField::Code, static_cast<int>(std::lround(value * 6553.5)));
    return e;
}

// The events of tick k (both channels' steps, each carrying both frames).
void TickEvents(std::int64_t k, std::int64_t timeUs, std::vector<RecordEvent>& out)
{
    const double a = Sawtooth(k, 1);
    const double b = Sawtooth(k, 2);
    out.push_back(SettingsEvent(timeUs, 1, a));
    out.push_back(SettingsEvent(timeUs, 2, Sawtooth(k - 1, 2)));
    out.push_back(SettingsEvent(timeUs + 150, 1, a));
    out.push_back(SettingsEvent(timeUs + 150, 2, b));
}

RecordEvent Marker(std::int64_t timeUs, const char* kind, int channel = 0)
{
    RecordEvent e;
    e.timeUs = timeUs;
    e.source = "panel";
    e.kind = kind;
    if (channel > 0)
        e.Set(RecordField::Channel, channel);
    return e;
}

// Writes [beginUs, endUs) of the sawtooth, with the runs' starts, an alarm
// of channel 1 every hour for 30 s and the unit lost for 5 s every six
// hours. The events written.
std::int64_t WriteSawtooth(const std::string& path, std::int64_t beginUs, std::int64_t endUs)
{
    RecordDatabase db;
    if (db.OpenForWriting(path) != RecordOpenResult::Ok) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), db.LastError().c_str());
        std::exit(1);
    }
    std::vector<RecordEvent> batch;
    batch.reserve(110'000);
    std::int64_t written = 0;
    const auto flush = [&] {
        if (!db.Append(batch)) {
            std::fprintf(stderr, "append: %s\n", db.LastError().c_str());
            std::exit(1);
        }
        written += static_cast<std::int64_t>(batch.size());
        batch.clear();
    };
    for (int c = 1; c <= 2; ++c) {
        RecordEvent start = Marker(beginUs, "auto", c);
        start.Set(RecordField::Action, "start").Set(RecordField::Mode, "sawtooth").Set(RecordField::Slot, 1);
        batch.push_back(start);
    }
    const std::int64_t ticks = (endUs - beginUs) / kTickUs;
    for (std::int64_t k = 0; k < ticks; ++k) {
        const std::int64_t t = beginUs + k * kTickUs;
        const std::int64_t inHour = (t - beginUs) % (3600 * kSecondUs);
        if (inHour == 1800 * kSecondUs || inHour == 1830 * kSecondUs) {
            RecordEvent alarm = Marker(t, "alarm", 1);
            const bool raised = inHour == 1800 * kSecondUs;
            alarm.Set(RecordField::Raised, RecordValue(raised)).Set(RecordField::Code, raised ? 2 : 0);
            if (raised)
                alarm.Set(RecordField::Text, "温度異常");
            batch.push_back(alarm);
        }
        const std::int64_t inSix = (t - beginUs) % (6 * 3600 * kSecondUs);
        if (inSix == 5 * 3600 * kSecondUs)
            batch.push_back(Marker(t, "lost"));
        if (inSix > 5 * 3600 * kSecondUs && inSix < 5 * 3600 * kSecondUs + 5 * kSecondUs)
            continue;
        if (inSix == 5 * 3600 * kSecondUs + 5 * kSecondUs)
            batch.push_back(Marker(t, "connect"));
        TickEvents(k, t, batch);
        if (batch.size() >= 100'000)
            flush();
    }
    flush();
    return written;
}

void PrintPlan(const std::string& path, const char* name, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW)
            std::printf("# plan %s: %s\n", name, reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

double Median(std::vector<double> v)
{
    return Percentile(v, 50);
}

int Day(const std::string& path)
{
    // A whole UTC day, ending before now.
    const std::int64_t dayUs = 86'400 * kSecondUs;
    const std::int64_t end = WallClockMicros() / dayUs * dayUs;
    const std::int64_t begin = end - dayUs;
    if (!std::filesystem::exists(path)) {
        const double t0 = WallSeconds();
        const std::int64_t n = WriteSawtooth(path, begin, end);
        std::printf("trend_day_generate_s: %.1f\n", WallSeconds() - t0);
        std::printf("trend_day_events: %lld\n", static_cast<long long>(n));
    }
    std::printf("trend_day_file_mb: %.0f\n", static_cast<double>(std::filesystem::file_size(path)) / 1048576.0);

    TrendReader reader;
    if (reader.Open(path) != RecordOpenResult::Ok) {
        std::fprintf(stderr, "%s\n", reader.LastError().c_str());
        return 1;
    }
    constexpr int kColumns = 1200;
    const auto load = [&](std::int64_t b, std::int64_t e, std::optional<int> channel, std::size_t* points,
                          std::int64_t* events) {
        TrendBuilder builder(b, e, TrendBuilder::BucketFor(e - b, kColumns));
        const double t0 = WallSeconds();
        if (!reader.Load(builder, channel)) {
            std::fprintf(stderr, "load: %s\n", reader.LastError().c_str());
            std::exit(1);
        }
        const TrendData data = builder.Result();
        const double ms = (WallSeconds() - t0) * 1000.0;
        if (points != nullptr)
            *points = data.channels[0].steps.size();
        if (events != nullptr)
            *events = data.events;
        return ms;
    };
    std::vector<double> one, both, tail;
    std::size_t points = 0;
    std::int64_t events = 0;
    for (int i = 0; i < 5; ++i)
        one.push_back(load(begin, end, 1, &points, &events));
    std::printf("trend_day_one_channel_events: %lld\n", static_cast<long long>(events));
    std::printf("trend_day_one_channel_points_kept: %zu\n", points);
    std::printf("trend_day_one_channel_query_ms_first: %.0f\n", one.front());
    std::printf("trend_day_one_channel_query_ms_median: %.0f\n", Median(one));
    for (int i = 0; i < 3; ++i)
        both.push_back(load(begin, end, std::nullopt, nullptr, &events));
    std::printf("trend_day_both_channels_events: %lld\n", static_cast<long long>(events));
    std::printf("trend_day_both_channels_query_ms_median: %.0f\n", Median(both));
    // The state before a period late in the day: the alarm and automatic
    // output look-back over a day of settings events.
    for (int i = 0; i < 5; ++i)
        tail.push_back(load(end - 600 * kSecondUs, end, std::nullopt, nullptr, nullptr));
    std::printf("trend_day_last_10min_query_ms_median: %.1f\n", Median(tail));

    // What SQLite itself takes for one channel's day through its index,
    // walking the index alone and reading each row's value too: what a
    // day would cost without the minutes' summary.
    const auto sqlMs = [&](const char* sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_exec(db, "PRAGMA mmap_size=4294967296", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, begin);
        sqlite3_bind_int64(st, 2, end);
        const double t0 = WallSeconds();
        while (sqlite3_step(st) == SQLITE_ROW) { }
        const double ms = (WallSeconds() - t0) * 1000.0;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return ms;
    };
    std::printf("trend_day_sqlite_index_walk_ms: %.0f\n",
                sqlMs("SELECT count(*) FROM event WHERE \"channel\" = 1 AND time_us >= ?1 AND time_us < ?2"));
    std::printf("trend_day_sqlite_rows_time_value_ms: %.0f\n",
                sqlMs("SELECT time_us, \"value\" FROM event WHERE \"channel\" = 1 AND time_us >= ?1 AND time_us < ?2"));

    // The day as CSV, as the window's export writes it.
    const std::string csv = path + ".csv";
    RecordDatabase db;
    db.OpenForReading(path);
    std::string error;
    const double t0 = WallSeconds();
    const auto rows = ExportRecordCsv(db, begin, end, csv, error);
    const double seconds = WallSeconds() - t0;
    if (!rows) {
        std::fprintf(stderr, "export: %s\n", error.c_str());
        return 1;
    }
    std::printf("trend_day_csv_events: %lld\n", static_cast<long long>(*rows));
    std::printf("trend_day_csv_s: %.2f\n", seconds);
    std::printf("trend_day_csv_events_per_s: %.0f\n", static_cast<double>(*rows) / seconds);
    std::printf("trend_day_csv_mb: %.0f\n", static_cast<double>(std::filesystem::file_size(csv)) / 1048576.0);
    std::filesystem::remove(csv);

    const std::string cols = "seq, time_us, source, kind, \"channel\", \"value\"";
    PrintPlan(path, "period_one_channel",
              "SELECT " + cols +
                  " FROM event WHERE time_us >= 0 AND time_us < 1 AND \"channel\" = 1 ORDER BY time_us, seq");
    PrintPlan(path, "period_all",
              "SELECT " + cols + " FROM event WHERE time_us >= 0 AND time_us < 1 ORDER BY time_us, seq");
    PrintPlan(path, "last_settings_before",
              "SELECT " + cols +
                  " FROM event WHERE \"channel\" = 1 AND time_us < 1 AND kind = 'settings' ORDER BY time_us DESC, "
                  "seq DESC LIMIT 1");
    PrintPlan(path, "last_alarm_before",
              "SELECT " + cols +
                  " FROM event WHERE \"channel\" = 1 AND time_us < 1 AND kind <> 'settings' AND kind = 'alarm'"
                  " ORDER BY time_us DESC, seq DESC LIMIT 1");
    PrintPlan(path, "period_minutes",
              "SELECT minute, events, first_seq, low_seq, high_seq, last_seq, mixed FROM settings_minute"
              " WHERE \"channel\" = 1 AND minute >= 0 AND minute < 1");
    PrintPlan(path, "period_not_settings",
              "SELECT " + cols +
                  " FROM event WHERE \"channel\" = 1 AND time_us >= 0 AND time_us < 1 AND kind <> 'settings'"
                  " AND kind IN ('alarm','auto')");
    PrintPlan(path, "csv_export", "SELECT * FROM event WHERE time_us >= 0 AND time_us < 1 ORDER BY time_us, seq");
    return 0;
}

// Runs the event loop until `done` or `seconds` passed, looking every
// millisecond; the loop sleeps in between, as the window's does.
bool Await(const std::function<bool()>& done, double seconds)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(1);
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

// Runs the event loop for `seconds`, nothing else.
void Idle(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int Open(QApplication& app, const std::string& path)
{
    (void)app;
    BenchPrompter prompter(true);
    std::vector<double> times;
    std::int64_t events = 0;
    for (int i = 0; i < 5; ++i) {
        const double t0 = WallSeconds();
        auto* trend = new CTrendDlg(path, prompter);
        bool shown = false;
        QObject::connect(trend, &CTrendDlg::DataShown, [&] { shown = true; });
        trend->show();
        if (!Await([&] { return shown; }, 30)) {
            std::fprintf(stderr, "no data shown\n");
            return 1;
        }
        // Until the strips have painted what came.
        for (CTrendChart* chart : trend->Charts())
            chart->repaint();
        times.push_back((WallSeconds() - t0) * 1000.0);
        events = trend->Data()->events;
        delete trend;
    }
    std::printf("trend_open_events: %lld\n", static_cast<long long>(events));
    std::printf("trend_open_ms_first: %.0f\n", times.front());
    std::printf("trend_open_ms_median: %.0f\n", Median(times));
    return 0;
}

// Counts the paints of the widgets it watches.
class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

int Live(QApplication& app, const std::string& path, double seconds)
{
    (void)app;
    // A quarter of an hour of the sawtooth already recorded, so that the
    // trend's ten minutes are full from the start; then the window's own
    // writer, fed as the automatic outputs feed it.
    std::filesystem::remove(path);
    WriteSawtooth(path, WallClockMicros() - 900 * kSecondUs, WallClockMicros());
    RecordWriter writer({.path = path, .source = "panel"});
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        auto next = std::chrono::steady_clock::now();
        for (std::int64_t k = 0; !stop; ++k) {
            std::vector<RecordEvent> events;
            TickEvents(k, WallClockMicros(), events);
            for (RecordEvent& e : events)
                writer.Append(std::move(e));
            next += std::chrono::microseconds(kTickUs);
            std::this_thread::sleep_until(next);
        }
    });
    const auto measure = [&](const char* name) {
        const double c0 = ProcessCpuSeconds();
        const double w0 = WallSeconds();
        Idle(seconds);
        const double cpu = ProcessCpuSeconds() - c0;
        const double wall = WallSeconds() - w0;
        std::printf("trend_live_%s_cpu_percent_of_core: %.3f\n", name, 100.0 * cpu / wall);
        return 100.0 * cpu / wall;
    };
    // Settle, then the window without the trend: the writer and its feeder.
    Idle(2);
    const double without = measure("without_trend");

    BenchPrompter prompter(true);
    auto* trend = new CTrendDlg(path, prompter);
    int shows = 0;
    QObject::connect(trend, &CTrendDlg::DataShown, [&] { ++shows; });
    trend->show();
    Await([&] { return shows > 0; }, 30);
    Idle(2);
    shows = 0;
    PaintCounter paints;
    for (CTrendChart* chart : trend->Charts())
        chart->installEventFilter(&paints);
    const double with = measure("with_trend");
    std::printf("trend_live_updates: %d\n", shows);
    std::printf("trend_live_strip_paints: %d\n", paints.count);
    std::printf("trend_live_added_cpu_percent_of_core: %.3f\n", with - without);
    std::printf("trend_live_events_shown: %lld\n", static_cast<long long>(trend->Data()->events));
    delete trend;
    stop = true;
    feeder.join();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: velmora-bench-trend sawtooth PATH MINUTES | open PATH | live PATH SECONDS | "
                     "day PATH\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string path = argv[2];
    if (mode == "day")
        return Day(path);
    if (mode == "sawtooth" && argc == 4) {
        const std::int64_t now = WallClockMicros();
        const std::int64_t minutes = std::atoll(argv[3]);
        std::filesystem::remove(path);
        const std::int64_t n = WriteSawtooth(path, now - minutes * 60 * kSecondUs, now);
        std::printf("trend_sawtooth_events: %lld\n", static_cast<long long>(n));
        return 0;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    InstallTranslations(app);
    if (mode == "open")
        return Open(app, path);
    if (mode == "live" && argc == 4)
        return Live(app, path, std::atof(argv[3]));
    std::fprintf(stderr, "velmora-bench-trend: unknown mode %s\n", mode.c_str());
    return 2;
}
