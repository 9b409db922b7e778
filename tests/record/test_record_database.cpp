// The run record's file: schema, filters, pruning, and the files it must
// never write into.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FileSizeLimit.h"
#include "ThreadClock.h"
#include "record/RecordDatabase.h"
#include "record/RecordFormat.h"
#include "record/RecordPlace.h"
#include "record/RecordWriter.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class RecordFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
            ("velmora-record-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / "state" / "record.sqlite3").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static RecordEvent Settings(std::int64_t timeUs, int channel, double value, bool on = true)
    {
        RecordEvent e;
        e.timeUs = timeUs;
        e.source = "panel";
        e.kind = "settings";
        e.Set(RecordField::Channel, channel)
            .Set(RecordField::Range, "4_20mA")
            .Set(RecordField::Value, RecordValue(value))
            .Set(RecordField::Unit, "mA")
            .Set(RecordField::On, RecordValue(on));
        return e;
    }

    std::vector<RecordEvent> ReadAll(const RecordFilter& filter = {})
    {
        RecordDatabase db;
        EXPECT_EQ(db.OpenForReading(m_path), RecordOpenResult::Ok) << db.LastError();
        std::vector<RecordEvent> out;
        EXPECT_TRUE(db.Query(filter, [&](const RecordEvent& e) {
            out.push_back(e);
            return true;
        }));
        return out;
    }

    static std::string Sql(const std::string& path, const std::string& sql)
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        std::string result;
        sqlite3_exec(
            db, sql.c_str(),
            [](void* r, int n, char** v, char**) {
                for (int i = 0; i < n; ++i)
                    *static_cast<std::string*>(r) += std::string(v[i] ? v[i] : "NULL") + (i + 1 < n ? "|" : "\n");
                return 0;
            },
            &result, nullptr);
        sqlite3_close(db);
        return result;
    }

    fs::path m_dir;
    std::string m_path;
};

TEST_F(RecordFile, EventsComeBackByEveryFilterInTheirOrder)
{
    {
        RecordDatabase db;
        ASSERT_EQ(db.OpenForWriting(m_path), RecordOpenResult::Ok) << db.LastError();
        std::vector<RecordEvent> events;
        for (int i = 0; i < 10; ++i)
            events.push_back(Settings(1'000'000LL * i, 1 + i % 2, 4.0 + i));
        RecordEvent alarm;
        alarm.timeUs = 5'500'000;
        alarm.source = "panel";
        alarm.kind = "alarm";
        alarm.Set(RecordField::Channel, 2)
            .Set(RecordField::Raised, RecordValue(true))
            .Set(RecordField::Text, "出力不足, \"short\"");
        events.push_back(alarm);
        ASSERT_TRUE(db.Append(events)) << db.LastError();
        EXPECT_EQ(events.front().seq, 1);
        EXPECT_EQ(events.back().seq, 11);
    }
    EXPECT_EQ(Sql(m_path, "PRAGMA user_version"), "2\n");
    EXPECT_EQ(Sql(m_path, "PRAGMA journal_mode"), "wal\n");

    const auto all = ReadAll();
    ASSERT_EQ(all.size(), 11u);
    EXPECT_EQ(std::get<double>(all[3].Get(RecordField::Value)), 7.0);
    EXPECT_EQ(std::get<bool>(all[3].Get(RecordField::On)), true);
    EXPECT_FALSE(all[3].Has(RecordField::Raised));

    RecordFilter f;
    f.sinceUs = 2'000'000;
    f.untilUs = 6'000'000;
    f.channel = 2;
    auto some = ReadAll(f);
    ASSERT_EQ(some.size(), 3u); // seconds 3 and 5, and the alarm
    EXPECT_EQ(some[2].kind, "alarm");
    f.kinds = {"alarm", "connect"};
    EXPECT_EQ(ReadAll(f).size(), 1u);

    RecordFilter after;
    after.afterSeq = 9;
    EXPECT_EQ(ReadAll(after).size(), 2u);
    RecordFilter last;
    last.order = RecordFilter::Order::TimeDescending;
    last.limit = 1;
    last.channel = 1;
    ASSERT_EQ(ReadAll(last).size(), 1u);
    EXPECT_EQ(ReadAll(last)[0].timeUs, 8'000'000);

    // The view for people with sqlite3 shows times as the export does.
    EXPECT_EQ(Sql(m_path, "SELECT time FROM event_utc WHERE seq = 2"), "1970-01-01T00:00:01.000000Z\n");
}

TEST_F(RecordFile, ARecordOnAMediumThatCannotBeWrittenIsStillRead)
{
    {
        RecordWriter writer({.path = m_path});
        writer.Append(Settings(1, 1, 4.0));
        writer.Append(Settings(2, 1, 12.0));
    }
    // The writer's checkpoint took the -wal and -shm files with it; the
    // folder and the file can then no longer be written (a copy on a
    // read-only mount). Root writes anywhere: the reading is done by a
    // child that gives root up.
    ASSERT_FALSE(fs::exists(m_path + "-shm"));
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_dir.c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(10);
        RecordDatabase db;
        if (db.OpenForReading(m_path) != RecordOpenResult::Ok)
            ::_exit(11);
        int n = 0;
        double last = 0.0;
        db.Query({}, [&](const RecordEvent& e) {
            ++n;
            last = std::get<double>(e.Get(RecordField::Value));
            return true;
        });
        ::_exit(n == 2 && last == 12.0 ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(m_dir.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(RecordFile, FilesItDoesNotKnowAreLeftAlone)
{
    fs::create_directories(fs::path(m_path).parent_path());
    // A newer program's record.
    Sql(m_path, "CREATE TABLE event(x); PRAGMA user_version = 7;");
    const auto before = fs::file_size(m_path);
    RecordDatabase db;
    EXPECT_EQ(db.OpenForWriting(m_path), RecordOpenResult::NewerSchema);
    EXPECT_EQ(db.FoundSchemaVersion(), 7);
    EXPECT_EQ(db.OpenForReading(m_path), RecordOpenResult::NewerSchema);
    EXPECT_EQ(Sql(m_path, "PRAGMA user_version"), "7\n");
    EXPECT_EQ(fs::file_size(m_path), before);

    // Someone else's database, and a file that is not SQLite at all.
    const std::string other = (m_dir / "other.db").string();
    Sql(other, "CREATE TABLE accounts(name TEXT); INSERT INTO accounts VALUES ('kept');");
    EXPECT_EQ(db.OpenForWriting(other), RecordOpenResult::NotARecord);
    EXPECT_EQ(Sql(other, "SELECT name FROM accounts"), "kept\n");
    const std::string text = (m_dir / "notes.txt").string();
    std::ofstream(text) << "an operator's notes, not a database\n";
    EXPECT_EQ(db.OpenForWriting(text), RecordOpenResult::NotARecord);
    std::ifstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "an operator's notes, not a database");

    // The writer runs without a record and says so once.
    std::vector<std::string> reports;
    {
        RecordWriter writer({.path = m_path, .report = [&](const std::string& r) { reports.push_back(r); }});
        writer.Append(Settings(1, 1, 4.0));
        writer.Flush();
        writer.Append(Settings(2, 1, 5.0));
        writer.Flush();
        EXPECT_EQ(writer.State(), RecordState::Off);
        EXPECT_EQ(writer.Written(), 0u);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("7"), std::string::npos) << reports[0];
    EXPECT_EQ(Sql(m_path, "PRAGMA user_version"), "7\n");
}

TEST_F(RecordFile, WritersOnSeveralThreadsAndProgramsShareTheFile)
{
    RecordWriter a({.path = m_path, .source = "panel"});
    RecordWriter b({.path = m_path, .source = "ctl"});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 250; ++i)
                (t % 2 == 0 ? a : b).Append(Settings(0, 1 + t, i));
        });
    }
    for (auto& t : threads)
        t.join();
    a.Flush();
    b.Flush();
    EXPECT_EQ(a.Written() + b.Written(), 1000u);
    EXPECT_EQ(a.Lost() + b.Lost(), 0u);
    const auto all = ReadAll();
    ASSERT_EQ(all.size(), 1000u);
    // Each thread's events keep their order, and every one got a time.
    std::array<double, 4> next{};
    for (const auto& e : all) {
        const auto ch = std::get<std::int64_t>(e.Get(RecordField::Channel)) - 1;
        EXPECT_EQ(std::get<double>(e.Get(RecordField::Value)), next[static_cast<std::size_t>(ch)]++);
        EXPECT_GT(e.timeUs, 1'600'000'000'000'000LL);
    }
}

TEST_F(RecordFile, AFullDiskCostsAGapEventNotTheProgram)
{
    std::vector<std::string> reports;
    RecordWriter writer({.path = m_path,
                         .source = "serve",
                         .report = [&](const std::string& r) { reports.push_back(r); },
                         .reopenEvery = Nanos(0)});
    writer.Append(Settings(1, 1, 4.0));
    writer.Flush();
    ASSERT_EQ(writer.Written(), 1u);
    {
        // Nothing more may be written to any file: the disk is full.
        const FileSizeLimit full(0);
        for (int i = 0; i < 300; ++i)
            writer.Append(Settings(2 + i, 1, 5.0));
        writer.Flush();
        EXPECT_EQ(writer.State(), RecordState::Failing);
        EXPECT_EQ(writer.Lost(), 300u);
    }
    writer.Append(Settings(1000, 1, 6.0));
    writer.Flush();
    EXPECT_EQ(writer.State(), RecordState::Recording);
    ASSERT_EQ(reports.size(), 2u); // it failed; it works again
    EXPECT_NE(reports[1].find("300"), std::string::npos) << reports[1];

    const auto all = ReadAll();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].kind, "gap");
    EXPECT_EQ(all[1].source, "serve");
    EXPECT_EQ(std::get<std::int64_t>(all[1].Get(RecordField::Count)), 300);
    EXPECT_FALSE(std::get<std::string>(all[1].Get(RecordField::Text)).empty());
    EXPECT_EQ(std::get<double>(all[2].Get(RecordField::Value)), 6.0);
    EXPECT_EQ(Sql(m_path, "PRAGMA integrity_check"), "ok\n");
}

TEST_F(RecordFile, AFileLockedByAnotherProgramCostsAGapEventAndNoWait)
{
    ThreadClock clock;
    RecordWriter writer(
        {.path = m_path, .source = "panel", .clock = &clock, .reopenEvery = Nanos(0), .busyTimeoutMs = 0});
    writer.Append(Settings(1, 1, 4.0));
    writer.Flush();
    ASSERT_EQ(writer.Written(), 1u);

    // Another program holds the write lock for as long as it likes.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (int i = 0; i < 5; ++i)
        writer.Append(Settings(2 + i, 1, 5.0));
    writer.Flush();
    EXPECT_EQ(writer.State(), RecordState::Failing);
    EXPECT_EQ(writer.Lost(), 5u);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // Nothing new comes, yet the gap is written once the writer's next try
    // is due (its clock moved on to it), not left for the next event.
    const auto due = clock.AwaitWaiter(std::chrono::seconds(10));
    ASSERT_TRUE(due);
    EXPECT_EQ(*due - clock.Now(), RecordWriter::kReopenEvery);
    clock.AdvanceTo(*due);
    for (int look = 0; look < 1000 && ReadAll().size() < 2; ++look)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ReadAll().size(), 2u);
    EXPECT_EQ(writer.State(), RecordState::Recording);

    writer.Append(Settings(100, 1, 6.0));
    writer.Flush();
    const auto all = ReadAll();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].kind, "gap");
    EXPECT_EQ(all[1].timeUs, 2) << "the gap stands where the loss began";
    EXPECT_EQ(std::get<std::int64_t>(all[1].Get(RecordField::Count)), 5);
    EXPECT_NE(std::get<std::string>(all[1].Get(RecordField::Text)).find("locked"), std::string::npos)
        << std::get<std::string>(all[1].Get(RecordField::Text));
}

TEST_F(RecordFile, TheOldestEventsGoOnceTheFilePassesItsSize)
{
    constexpr std::int64_t kLimit = 256 * 1024;
    {
        RecordWriter writer({.path = m_path, .limitBytes = kLimit});
        // Batches of a few hundred, as a busy program writes them.
        for (int batch = 0; batch < 60; ++batch) {
            for (int i = 0; i < 500; ++i)
                writer.Append(Settings(1 + batch * 500 + i, 1, batch * 500 + i));
            writer.Flush();
        }
    }
    RecordDatabase db;
    ASSERT_EQ(db.OpenForReading(m_path), RecordOpenResult::Ok);
    EXPECT_LE(db.UsedBytes(), kLimit + 64 * 1024);
    const auto all = ReadAll();
    ASSERT_FALSE(all.empty());
    EXPECT_LT(all.size(), 30'000u);
    // The newest are all there, without a hole.
    EXPECT_EQ(std::get<double>(all.back().Get(RecordField::Value)), 29'999.0);
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_EQ(all[i].seq, all[i - 1].seq + 1);
    // The minutes' summary goes with the events it summed up.
    EXPECT_EQ(Sql(m_path, "SELECT min(minute) FROM settings_minute"),
              std::to_string(all.front().timeUs / kSummaryMinuteUs) + "\n");
}

TEST(RecordText, CsvJsonAndTimesSayTheSameAsTheDatabase)
{
    RecordEvent e;
    e.seq = 42;
    e.timeUs = 1'796'880'108'123'456LL; // 2026-12-10T05:21:48.123456Z
    e.source = "remote 10.0.0.7:5025";
    e.kind = "alarm";
    e.Set(RecordField::Channel, 2)
        .Set(RecordField::Raised, RecordValue(false))
        .Set(RecordField::Code, 4)
        .Set(RecordField::Text, "出力不足, \"x\"");
    EXPECT_EQ(IsoTimeText(e.timeUs), "2026-12-10T05:21:48.123456Z");
    EXPECT_EQ(IsoTimeText(-1), "1969-12-31T23:59:59.999999Z");
    const std::string header = RecordCsvHeader();
    EXPECT_EQ(header.substr(0, 47), "seq,time,source,kind,channel,range,value,unit,e");
    EXPECT_EQ(RecordCsvRow(e),
              "42,2026-12-10T05:21:48.123456Z,remote 10.0.0.7:5025,alarm,2,,,,,,4,false,"
              "\"出力不足, \"\"x\"\"\",,,,,,,,,,,\r\n");
    EXPECT_EQ(RecordJson(e),
              R"({"seq": 42, "time": "2026-12-10T05:21:48.123456Z", "source": "remote 10.0.0.7:5025", )"
              R"("kind": "alarm", "channel": 2, "code": 4, "raised": false, "text": "出力不足, \"x\""})");
    EXPECT_EQ(RecordLine(e),
              "42 2026-12-10T05:21:48.123456Z \"remote 10.0.0.7:5025\" alarm channel=2 code=4 "
              "raised=false text=\"出力不足, \\\"x\\\"\"");

    const std::int64_t now = e.timeUs;
    EXPECT_EQ(ParseTimeArgument("-10m", now), now - 600'000'000LL);
    EXPECT_EQ(ParseTimeArgument("-1d", now), now - 86'400'000'000LL);
    EXPECT_EQ(ParseTimeArgument("2026-12-10T05:21:48.123456Z", now), e.timeUs);
    EXPECT_EQ(ParseTimeArgument("2026-12-10T14:21:48.123456+09:00", now), e.timeUs);
    EXPECT_EQ(ParseTimeArgument("2026-12-10 05:21Z", now), e.timeUs - 48'123'456);
    setenv("TZ", "JST-9", 1); // no zone files needed
    tzset();
    EXPECT_EQ(ParseTimeArgument("2026-12-10T14:21:48.123456", now), e.timeUs);
    EXPECT_EQ(ParseTimeArgument("2026-12-10", now), 1'796'828'400'000'000LL); // midnight in Tokyo
    // Where the clocks change: a summer time is an hour ahead, and the half
    // hours the change skipped or passed twice are refused.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    EXPECT_EQ(ParseTimeArgument("2026-07-01T12:00", now), ParseTimeArgument("2026-07-01T10:00Z", now));
    EXPECT_EQ(ParseTimeArgument("2026-12-01T12:00", now), ParseTimeArgument("2026-12-01T11:00Z", now));
    EXPECT_EQ(ParseTimeArgument("2026-03-29T02:30", now), std::nullopt);
    EXPECT_EQ(ParseTimeArgument("2026-10-25T02:30", now), std::nullopt);
    EXPECT_EQ(ParseTimeArgument("2026-10-25T02:30+01:00", now), ParseTimeArgument("2026-10-25T01:30Z", now));
    unsetenv("TZ");
    tzset();
    for (const char* bad : {"", "-", "-10", "-10x", "--5m", "10m", "2026-13-01", "2026-02-30", "2026-12-10T25:00",
                            "2026-12-10T05:21:48.", "2026-12-10Tx", "2026-12-10T05:21Zjunk", "-99999999999999d"})
        EXPECT_FALSE(ParseTimeArgument(bad, now).has_value()) << bad;
}

} // namespace
} // namespace velmora::test

namespace velmora::test {
namespace {

TEST(RecordPlaceTest, ThePathAndTheLimitFollowTheUsersWords)
{
    setenv("VELMORA_RECORD", "/srv/rec.sqlite3", 1);
    EXPECT_EQ(DefaultRecordPath(), "/srv/rec.sqlite3");
    unsetenv("VELMORA_RECORD");
    setenv("XDG_STATE_HOME", "/home/op/.state", 1);
    EXPECT_EQ(DefaultRecordPath(), "/home/op/.state/velmora/record.sqlite3");
    setenv("XDG_STATE_HOME", "relative/ignored", 1);
    const char* home = std::getenv("HOME");
    const std::string oldHome = home != nullptr ? home : "";
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(DefaultRecordPath(), "/home/op/.local/state/velmora/record.sqlite3");
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_STATE_HOME");

    EXPECT_EQ(ParseRecordLimit("1G"), 1LL << 30);
    EXPECT_EQ(ParseRecordLimit("500M"), 500LL << 20);
    EXPECT_EQ(ParseRecordLimit("2097152"), 2LL << 20);
    for (const char* bad : {"", "G", "-1G", "0", "1000", "12Q", "1.5G", "99999999999999999G"})
        EXPECT_FALSE(ParseRecordLimit(bad).has_value()) << bad;
}

} // namespace
} // namespace velmora::test
