// The loop-check record as an auditor reads it: which results a tag's
// latest check is, what the record says of a chain that does not verify, a
// result changed behind the program's back and a corrected result, hostile
// text kept as text in the HTML, local times with their offset, and the
// record made from a real database (unknown results and tags named).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopReport.h"
#include "platform/Language.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

LoopTag Tag()
{
    LoopTag t;
    t.name = "FT-101";
    t.description = "Feed flow";
    t.location = "Hall 2";
    t.range = "4_20mA";
    t.urv = 150;
    t.unit = "m³/h";
    t.adjustLimit = 0.25;
    return t;
}

// A completed test of Tag() with the readings' errors in the tag's unit.
LoopResult Result(std::int64_t id, LoopTestKind kind, const std::vector<double>& errors)
{
    LoopResult r;
    r.id = id;
    r.tag = Tag();
    r.technician = "Aoki";
    r.kind = kind;
    r.startUs = 1'765'343'708'000'000 + id * 600'000'000; // 2025-12-10 05:15:08 UTC + 10 min per id
    r.endUs = r.startUs + 90'000'000;
    r.unitVersion = "01.00A";
    r.unitSerial = "VM123456";
    r.port = "/dev/ttyUSB0";
    r.velmoraVersion = "1.4.0";
    std::vector<PointVerdict> verdicts;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        LoopPointResult p;
        p.index = static_cast<int>(i) + 1;
        p.percent = r.tag.points[i];
        p.output = 4 + 0.16 * p.percent;
        p.signalUnit = "mA";
        p.expected = ExpectedReading(r.tag, p.percent);
        p.reading = p.expected + errors[i];
        p.errorPercent = ErrorPercentOfSpan(r.tag, p.expected, p.reading);
        p.verdict = JudgeError(r.tag, p.errorPercent);
        verdicts.push_back(p.verdict);
        r.points.push_back(p);
    }
    r.verdict = OverallVerdict(verdicts);
    r.hash = ResultHash(r);
    return r;
}

class LoopRecord : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }
    void TearDown() override { SetLanguage(Language::Japanese); }
};

TEST_F(LoopRecord, TheLatestCheckIsTheNewestAsLeftWithTheAsFoundItFollows)
{
    const auto found = Result(1, LoopTestKind::AsFound, {0, 0.9, 0, 0, 0});
    const auto leftFailed = Result(2, LoopTestKind::AsLeft, {0, 0.8, 0, 0, 0});
    auto leftAborted = Result(3, LoopTestKind::AsLeft, {0});
    leftAborted.ending = LoopTestEnding::Aborted;
    const auto left = Result(4, LoopTestKind::AsLeft, {0, 0, 0, 0, 0});
    const auto ids = [](const std::vector<LoopResult>& rs) {
        std::vector<std::int64_t> out;
        for (const auto& r : rs)
            out.push_back(r.id);
        return out;
    };
    EXPECT_TRUE(LatestCheck({}).empty());
    // A second adjustment and a broken-off attempt between them are passed over.
    EXPECT_EQ(ids(LatestCheck({found, leftFailed, leftAborted, left})), (std::vector<std::int64_t>{1, 4}));
    // A new as-found test begins a new check, whatever came before.
    const auto next = Result(5, LoopTestKind::AsFound, {0, 0, 0, 0.5, 0});
    EXPECT_EQ(ids(LatestCheck({found, left, next})), (std::vector<std::int64_t>{5}));
    // An as-left test after a check that closed itself (nothing to adjust)
    // has no as-found test of its own.
    const auto clean = Result(6, LoopTestKind::AsFoundAndLeft, {0, 0, 0, 0, 0});
    EXPECT_EQ(ids(LatestCheck({found, clean, left})), (std::vector<std::int64_t>{4}));
    // An aborted as-found test does not stand for the check's as-found.
    auto foundAborted = Result(7, LoopTestKind::AsFound, {0});
    foundAborted.ending = LoopTestEnding::UnitLost;
    EXPECT_EQ(ids(LatestCheck({found, foundAborted, left})), (std::vector<std::int64_t>{1, 4}));
}

TEST_F(LoopRecord, TheRecordShowsEveryPointAsMeasuredAndTheProcedure)
{
    LoopReportContext context;
    context.chain.checked = 2;
    context.madeUs = 1'765'350'000'000'000;
    context.velmoraVersion = "1.4.1";
    const auto found = Result(1, LoopTestKind::AsFound, {0.2, 0.4, 0, 1.4, -0.1});
    const auto left = Result(2, LoopTestKind::AsLeft, {0.1, 0, 0, -0.1, 0});
    const LoopReport report = BuildLoopReport({found, left}, context);

    EXPECT_EQ(report.languageCode, "en");
    EXPECT_TRUE(report.alerts.empty());
    ASSERT_EQ(report.tests.size(), 2U);
    const LoopReportTest& t = report.tests[0];
    EXPECT_EQ(t.heading, "As found: result 1");
    EXPECT_EQ(t.verdictText, "FAIL");
    EXPECT_EQ(report.tests[1].verdictText, "PASS");
    ASSERT_EQ(t.rows.size(), 5U);
    // 75 %: 16 mA put out, 112.5 expected, 113.9 read: +0.93 % of span, beyond 0.5.
    EXPECT_EQ(t.rows[3].output, "16.000 mA");
    EXPECT_EQ(t.rows[3].expected, "112.50");
    EXPECT_EQ(t.rows[3].reading, "113.90");
    EXPECT_EQ(t.rows[3].error, "+0.93");
    EXPECT_EQ(t.rows[3].verdictText, "fail");
    EXPECT_EQ(t.rows[1].verdictText, "adjust"); // 0.27 %: within 0.5, beyond the adjust limit 0.25
    EXPECT_EQ(t.rows[4].error, "-0.07");

    const auto value = [](const std::vector<LoopReportField>& fields, const std::string& label) {
        for (const auto& f : fields)
            if (f.label == label)
                return f.value;
        return std::string("(missing)");
    };
    EXPECT_EQ(value(report.loop, "Input span"), "0 to 150 m³/h (LRV to URV)");
    EXPECT_EQ(value(report.loop, "Output range"), "int. 4-20 mA (4_20mA)");
    EXPECT_EQ(value(report.procedure, "Tolerance"), "±0.5 % of span (±0.750 m³/h)");
    EXPECT_EQ(value(report.procedure, "Test points"), "0, 25, 50, 75, 100 (% of the signal)");
    EXPECT_EQ(value(t.fields, "Hash (SHA-256)"), found.hash);
    EXPECT_EQ(value(t.fields, "Source"), "output unit version 01.00A, USB serial VM123456, on /dev/ttyUSB0");
    EXPECT_EQ(value(t.fields, "Integrity"), "the result's rows match its hash");
    EXPECT_EQ(report.columns[static_cast<int>(LoopReportColumn::Expected)], "Expected (m³/h)");
    EXPECT_EQ(report.signatures[0].name, "Aoki");
    EXPECT_TRUE(report.signatures[1].name.empty());
    EXPECT_EQ(report.footerText, "FT-101, results 1, 2");
    EXPECT_NE(report.chainText.find("the 2 result(s) kept form an unbroken chain"), std::string::npos);
}

TEST_F(LoopRecord, WhatAnAuditorMustNotMissStandsAtTheTop)
{
    LoopReportContext context;
    context.chain.ok = false;
    context.chain.badId = 1;
    context.chain.reason = "result 1 was changed after it was kept: its rows do not match its hash";
    context.supersededBy[1] = {9};
    auto changed = Result(1, LoopTestKind::AsFound, {0, 0, 0, 0, 0});
    changed.points[2].reading += 1; // behind the program's back: the hash no longer matches
    auto retuned = Result(2, LoopTestKind::AsLeft, {0, 0, 0, 0, 0});
    retuned.tag.tolerance = 1.0; // the tag was set otherwise meanwhile
    retuned.hash = ResultHash(retuned);
    const LoopReport report = BuildLoopReport({changed, retuned}, context);

    ASSERT_EQ(report.alerts.size(), 4U);
    EXPECT_NE(report.alerts[0].find("THE CHAIN OF RESULTS DOES NOT VERIFY: result 1 was changed"), std::string::npos);
    EXPECT_EQ(report.alerts[1], "Result 1 was changed after it was kept: its rows do not match its hash.");
    EXPECT_EQ(report.alerts[2], "Result 1 was corrected later by result 9.");
    EXPECT_EQ(report.alerts[3], "The tag was set otherwise for result 1: its settings are shown with it.");
    EXPECT_FALSE(report.tests[0].hashMatches);
    EXPECT_TRUE(report.tests[1].hashMatches);
    // The newest test's settings head the record; the older test shows its own.
    EXPECT_TRUE(report.tests[1].tagFields.empty());
    EXPECT_FALSE(report.tests[0].tagFields.empty());
    EXPECT_NE(report.chainText.find("NOT VERIFIED"), std::string::npos);

    const std::string html = LoopReportHtml(report);
    EXPECT_NE(html.find("class=\"alert\""), std::string::npos);
    // The alerts come before the first section.
    EXPECT_LT(html.find("THE CHAIN OF RESULTS DOES NOT VERIFY"), html.find("<h2>"));
    const std::string csv = LoopReportCsv(report);
    EXPECT_NE(csv.find(",false,false\r\n"), std::string::npos); // hash_matches, chain_verified
}

TEST_F(LoopRecord, ATestBrokenOffBeforeItsFirstReadingIsStillARowOfTheCsv)
{
    auto r = Result(3, LoopTestKind::AsFound, {});
    r.verdict = TestVerdict::Aborted;
    r.ending = LoopTestEnding::UnitLost;
    r.endingDetail = "no answer for 3 s";
    r.hash = ResultHash(r);
    const LoopReport report = BuildLoopReport({r}, {});
    ASSERT_EQ(report.tests.size(), 1U);
    EXPECT_TRUE(report.tests[0].rows.empty());
    EXPECT_EQ(report.tests[0].verdictText, "ABORTED");
    bool shown = false;
    for (const auto& f : report.tests[0].fields)
        if (f.label == "Ending")
            shown = f.alert && f.value == "the unit stopped answering (no answer for 3 s)";
    EXPECT_TRUE(shown);
    const std::string csv = LoopReportCsv(report);
    const auto lines = std::count(csv.begin(), csv.end(), '\n');
    EXPECT_EQ(lines, 2); // the header and the result's one row
    EXPECT_NE(csv.find(",as_found,aborted,unit_lost,Aoki,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",,,,,,,,,," + r.hash + ",true,true\r\n"), std::string::npos) << csv;
}

TEST_F(LoopRecord, HostileTextStaysTextInTheHtml)
{
    auto r = Result(1, LoopTestKind::AsFoundAndLeft, {0, 0, 0, 0, 0});
    r.tag.description = "<script>alert(\"x\")</script> & 'quoted' </td></tr></table>";
    r.tag.unit = "<b>m³/h</b>";
    r.technician = "O'Brien & \"Sons\"";
    r.remark = "line one\nline two <img src=x onerror=alert(1)>";
    r.tag.location = std::string("bell\x07") + "ed";
    const std::string html = LoopReportHtml(BuildLoopReport({r}, {}));
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("<b>m"), std::string::npos);
    EXPECT_NE(html.find("&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;quoted&#39;"), std::string::npos);
    EXPECT_NE(html.find("O&#39;Brien &amp; &quot;Sons&quot;"), std::string::npos);
    EXPECT_NE(html.find("line one<br>line two &lt;img"), std::string::npos);
    EXPECT_NE(html.find("belled"), std::string::npos);
    // The title is escaped as well.
    EXPECT_NE(html.find("<title>Loop check record FT-101, result 1</title>"), std::string::npos);
}

TEST_F(LoopRecord, TimesAreUtcAndLocalWithTheOffset)
{
    const char* const saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    const std::int64_t us = 1'765'343'708'500'000; // 2025-12-10 05:15:08.5 UTC
    EXPECT_EQ(ReportUtcTime(us), "2025-12-10 05:15:08 UTC");
    setenv("TZ", "JST-9", 1);
    tzset();
    EXPECT_EQ(ReportLocalTime(us), "2025-12-10 14:15:08 UTC+09:00");
    setenv("TZ", "NST+3:30", 1);
    tzset();
    EXPECT_EQ(ReportLocalTime(us), "2025-12-10 01:45:08 UTC-03:30");
    // Before 1970: the second is the one before, not after.
    EXPECT_EQ(ReportUtcTime(-500'000), "1969-12-31 23:59:59 UTC");
    if (saved)
        setenv("TZ", before.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(LoopRecord, TheFormatIsTheExtensions)
{
    EXPECT_EQ(LoopReportFormatOfPath("out/FT-101.PDF"), LoopReportFormat::Pdf);
    EXPECT_EQ(LoopReportFormatOfPath("r.htm"), LoopReportFormat::Html);
    EXPECT_EQ(LoopReportFormatOfPath("r.html"), LoopReportFormat::Html);
    EXPECT_EQ(LoopReportFormatOfPath("r.csv"), LoopReportFormat::Csv);
    EXPECT_FALSE(LoopReportFormatOfPath("r.txt"));
    EXPECT_FALSE(LoopReportFormatOfPath("pdf"));
    EXPECT_FALSE(LoopReportFormatOfPath("reports.pdf/record"));
}

class LoopRecordDatabase : public LoopRecord {
protected:
    void SetUp() override
    {
        LoopRecord::SetUp();
        m_dir = fs::temp_directory_path() /
            ("velmora-loopreport-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / "loopcheck.sqlite3").string();
        ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    }
    void TearDown() override
    {
        db.Close();
        fs::remove_all(m_dir);
        LoopRecord::TearDown();
    }
    LoopResult Append(LoopResult r)
    {
        EXPECT_TRUE(db.AppendResult(r)) << db.LastError();
        return r;
    }

    fs::path m_dir;
    std::string m_path;
    LoopCheckDatabase db;
};

TEST_F(LoopRecordDatabase, AResultOrATagsLatestCheckIsReadAndVerified)
{
    LoopTag tag = Tag();
    ASSERT_EQ(db.AddTag(tag), TagWrite::Done);
    LoopTag numbered = Tag();
    numbered.name = "7";
    ASSERT_EQ(db.AddTag(numbered), TagWrite::Done);
    LoopTag untested = Tag();
    untested.name = "PT-9";
    ASSERT_EQ(db.AddTag(untested), TagWrite::Done);

    const LoopResult found = Append(Result(0, LoopTestKind::AsFound, {0, 0.9, 0, 1.4, 0}));
    const LoopResult left = Append(Result(0, LoopTestKind::AsLeft, {0, 0, 0, 0, 0}));
    auto correction = Result(0, LoopTestKind::AsLeft, {0, 0, 0, 0.1, 0});
    correction.supersedes = left.id;
    correction.supersedeReason = "reading 4 misread";
    const LoopResult corrected = Append(correction);

    // The tag: its latest check, the correction standing as its as-left.
    LoopReportMade made = MakeLoopReport(db, ParseLoopReportSubject("FT-101", false, db), 1'765'400'000'000'000);
    ASSERT_EQ(made.problem, LoopReportProblem::None) << made.message;
    ASSERT_EQ(made.report.tests.size(), 2U);
    EXPECT_EQ(made.report.tests[0].result.id, found.id);
    EXPECT_EQ(made.report.tests[1].result.id, corrected.id);
    EXPECT_EQ(made.report.tests[1].result.hash, corrected.hash);
    EXPECT_TRUE(made.report.chain.ok);
    EXPECT_EQ(made.report.chain.checked, 3);

    // A result by its number: the corrected one says by which.
    made = MakeLoopReport(db, ParseLoopReportSubject(std::to_string(left.id), false, db), 0);
    ASSERT_EQ(made.problem, LoopReportProblem::None);
    ASSERT_EQ(made.report.tests.size(), 1U);
    EXPECT_EQ(made.report.tests[0].supersededBy, (std::vector<std::int64_t>{corrected.id}));
    ASSERT_EQ(made.report.alerts.size(), 1U);

    // A number no result has names the tag of that name; --tag forces it.
    EXPECT_FALSE(ParseLoopReportSubject("7", false, db).resultId);
    EXPECT_EQ(ParseLoopReportSubject("3", false, db).resultId, 3);
    EXPECT_FALSE(ParseLoopReportSubject("3", true, db).resultId);
    EXPECT_EQ(ParseLoopReportSubject("12", false, db).resultId, 12);

    made = MakeLoopReport(db, ParseLoopReportSubject("12", false, db), 0);
    EXPECT_EQ(made.problem, LoopReportProblem::NoSuchResult);
    EXPECT_EQ(made.message, "there is no result 12");
    made = MakeLoopReport(db, ParseLoopReportSubject("TT-404", false, db), 0);
    EXPECT_EQ(made.problem, LoopReportProblem::NoSuchTag);
    EXPECT_EQ(made.message, "there is no tag or result 'TT-404'");
    made = MakeLoopReport(db, ParseLoopReportSubject("PT-9", false, db), 0);
    EXPECT_EQ(made.problem, LoopReportProblem::NoResults);

    // A reading changed with sqlite3: the record is still made, and says so.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                           "DROP TRIGGER point_no_update; UPDATE point SET reading = 112.5 WHERE result = 1 "
                           "AND \"index\" = 4;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    made = MakeLoopReport(db, ParseLoopReportSubject("FT-101", false, db), 0);
    ASSERT_EQ(made.problem, LoopReportProblem::None);
    EXPECT_FALSE(made.report.chain.ok);
    EXPECT_EQ(made.report.chain.badId, 1);
    EXPECT_FALSE(made.report.tests[0].hashMatches);
    EXPECT_GE(made.report.alerts.size(), 2U);
}

TEST_F(LoopRecordDatabase, AFileIsWrittenWholeOrNotAtAll)
{
    const LoopReport report = BuildLoopReport({Result(1, LoopTestKind::AsFound, {0, 0, 0, 0, 0})}, {});
    const std::string csvPath = (m_dir / "r.csv").string();
    const LoopReportWrite w = WriteLoopReportText(report, csvPath, LoopReportFormat::Csv);
    ASSERT_TRUE(w.ok) << w.message;
    std::ifstream in(csvPath, std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    const std::string text = read.str();
    EXPECT_EQ(text, LoopReportCsv(report));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6); // the header and five points

    const std::string missing = (m_dir / "no-such-folder" / "r.html").string();
    const LoopReportWrite failed = WriteLoopReportText(report, missing, LoopReportFormat::Html);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message.rfind(missing + ": ", 0), 0U) << failed.message;
    EXPECT_FALSE(fs::exists(missing));
}

} // namespace
} // namespace velmora::test
