// The loop-check database as an auditor relies on it: tags kept and
// changed, results only appended and chained by hash, and a row changed,
// removed or slipped in behind the program's back named by Verify; a file
// of a newer schema or of another program left alone.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "loopcheck/LoopCheckDatabase.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class LoopCheckDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
            ("velmora-loopdb-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        m_path = (m_dir / "sub" / "loopcheck.sqlite3").string();
    }
    void TearDown() override
    {
        db.Close();
        fs::remove_all(m_dir);
    }

    static LoopTag Tag(const std::string& name)
    {
        LoopTag t;
        t.name = name;
        t.range = "4_20mA";
        t.urv = 150;
        t.unit = "m³/h";
        return t;
    }
    static LoopResult Result(const std::string& tag, double reading)
    {
        LoopResult r;
        r.tag = Tag(tag);
        r.technician = "Aoki";
        r.startUs = 1'700'000'000'000'000;
        r.endUs = r.startUs + 60'000'000;
        r.unitVersion = "01.00A";
        r.velmoraVersion = "1.0";
        r.verdict = TestVerdict::Pass;
        for (double p : r.tag.points) {
            LoopPointResult pt;
            pt.percent = p;
            pt.output = 4 + 0.16 * p;
            pt.signalUnit = "mA";
            pt.code = static_cast<std::uint16_t>(p * 100);
            pt.expected = 1.5 * p;
            pt.reading = 1.5 * p + reading;
            pt.errorPercent = reading / 150 * 100;
            r.points.push_back(pt);
        }
        return r;
    }
    // SQL as a user with sqlite3 would run it, beside the program.
    int Raw(const std::string& sql)
    {
        sqlite3* raw = nullptr;
        EXPECT_EQ(sqlite3_open(m_path.c_str(), &raw), SQLITE_OK);
        const int rc = sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        return rc;
    }

    fs::path m_dir;
    std::string m_path;
    LoopCheckDatabase db;
};

TEST_F(LoopCheckDatabaseTest, TagsAreAddedChangedImportedAndRemoved)
{
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok) << db.LastError();
    EXPECT_EQ(db.AddTag(Tag("FT-101")), TagWrite::Done);
    EXPECT_EQ(db.AddTag(Tag("FT-101")), TagWrite::Exists);
    LoopTag bad = Tag("FT-102");
    bad.tolerance = 0;
    EXPECT_EQ(db.AddTag(bad), TagWrite::Invalid);
    EXPECT_FALSE(db.LastError().empty());

    LoopTag changed = Tag("FT-101");
    changed.adjustLimit = 0.2;
    changed.points = {0, 100, 0};
    changed.description = "説明";
    EXPECT_EQ(db.UpdateTag(changed), TagWrite::Done);
    EXPECT_EQ(db.UpdateTag(Tag("nope")), TagWrite::Missing);
    const auto read = db.FindTag("FT-101");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->adjustLimit, 0.2);
    EXPECT_EQ(read->points, (std::vector<double>{0, 100, 0}));
    EXPECT_EQ(read->description, "説明");

    // An import replaces what it names and adds the rest, all or nothing.
    LoopTag replaced = Tag("FT-101");
    replaced.urv = 300;
    EXPECT_FALSE(db.ImportTags({Tag("A-1"), bad}));
    EXPECT_FALSE(db.FindTag("A-1"));
    EXPECT_TRUE(db.ImportTags({Tag("A-1"), replaced}));
    EXPECT_EQ(db.FindTag("FT-101")->urv, 300);
    ASSERT_EQ(db.Tags().size(), 2u);
    EXPECT_EQ(db.Tags()[0].name, "A-1");

    EXPECT_EQ(db.RemoveTag("A-1"), TagWrite::Done);
    EXPECT_EQ(db.RemoveTag("A-1"), TagWrite::Missing);
}

TEST_F(LoopCheckDatabaseTest, ResultsChainAndReadBackAsKept)
{
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    LoopResult first = Result("FT-101", 0.3);
    ASSERT_TRUE(db.AppendResult(first)) << db.LastError();
    EXPECT_EQ(first.id, 1);
    EXPECT_EQ(first.previousHash, "");
    EXPECT_EQ(first.hash.size(), 64u);
    LoopResult second = Result("FT-101", -0.1);
    second.kind = LoopTestKind::AsLeft;
    second.supersedes = 1;
    second.supersedeReason = "wrong technician";
    ASSERT_TRUE(db.AppendResult(second));
    EXPECT_EQ(second.previousHash, first.hash);

    LoopResult wrong = Result("FT-101", 0);
    wrong.supersedes = 99;
    EXPECT_FALSE(db.AppendResult(wrong));

    const auto back = db.Result(2);
    ASSERT_TRUE(back);
    // Read back, the result hashes as it did when kept: every field and
    // every point survives the database exactly.
    EXPECT_EQ(ResultHash(*back), second.hash);
    EXPECT_EQ(back->kind, LoopTestKind::AsLeft);
    EXPECT_EQ(back->supersedes, 1);
    EXPECT_EQ(back->points.size(), 5u);
    EXPECT_EQ(db.SupersededBy(1), std::vector<std::int64_t>{2});
    EXPECT_EQ(db.History("FT-101").size(), 2u);
    EXPECT_TRUE(db.History("FT-999").empty());

    // The hash covers the points: another reading is another hash.
    LoopResult other = *back;
    other.points[2].reading += 0.001;
    EXPECT_NE(ResultHash(other), second.hash);

    const ChainCheck check = db.Verify();
    EXPECT_TRUE(check.ok) << check.reason;
    EXPECT_EQ(check.checked, 2);
}

TEST_F(LoopCheckDatabaseTest, VerifyNamesTheFirstResultChangedBehindItsBack)
{
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    for (double e : {0.1, 0.2, 0.3, 0.4}) {
        LoopResult r = Result("FT-101", e);
        ASSERT_TRUE(db.AppendResult(r));
    }
    db.Close();

    // The triggers refuse an edit made by mistake.
    EXPECT_NE(Raw("UPDATE point SET reading = 75.0 WHERE result = 2 AND \"index\" = 3"), SQLITE_OK);
    EXPECT_NE(Raw("DELETE FROM result WHERE id = 4"), SQLITE_OK);
    // One who drops them gets the edit, and Verify finds it.
    ASSERT_EQ(Raw("DROP TRIGGER point_no_update; UPDATE point SET reading = 75.0 WHERE result = 3 AND \"index\" = 3"),
              SQLITE_OK);
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    ChainCheck check = db.Verify();
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.badId, 3);
    EXPECT_EQ(check.checked, 2);
    EXPECT_NE(check.reason.find("3"), std::string::npos);
    db.Close();

    // A result field, the tag's settings as they were, a verdict...
    ASSERT_EQ(Raw("DROP TRIGGER result_no_update; UPDATE point SET reading = 75.3 WHERE result = 3 AND \"index\" = 3;"
                  "UPDATE result SET tolerance = 1.0 WHERE id = 2"),
              SQLITE_OK);
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    check = db.Verify();
    EXPECT_EQ(check.badId, 2);
    db.Close();

    // ...and a result removed whole, its hash no longer before the next.
    ASSERT_EQ(Raw("UPDATE result SET tolerance = 0.5 WHERE id = 2; DROP TRIGGER result_no_delete;"
                  "DROP TRIGGER point_no_delete; DELETE FROM point WHERE result = 3; DELETE FROM result WHERE id = 3"),
              SQLITE_OK);
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    check = db.Verify();
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.badId, 4);
    EXPECT_NE(check.reason.find("removed"), std::string::npos) << check.reason;
}

TEST_F(LoopCheckDatabaseTest, EditsThatReadBackAsTheOldValuesAreCaughtAndMinusZeroIsNone)
{
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    // An indicator that shows -0.00: the reading and its error are -0,
    // which the database keeps as 0; the result still verifies.
    LoopResult r = Result("FT-101", 0.0);
    r.points[0].reading = -0.0;
    r.points[0].errorPercent = -0.0;
    ASSERT_TRUE(db.AppendResult(r));
    ChainCheck check = db.Verify();
    EXPECT_TRUE(check.ok) << check.reason;
    db.Close();
    ASSERT_EQ(Raw("DROP TRIGGER result_no_update; DROP TRIGGER point_no_update"), SQLITE_OK);

    // Each edit reads back, parsed, as the value it replaced: the row is no
    // longer as the program wrote it, which Verify reports.
    const std::string kept = m_path + ".kept";
    fs::copy_file(m_path, kept);
    for (const char* edit : {
             "UPDATE result SET points = replace(points, ',', ', ')",
             "UPDATE result SET \"channel\" = \"channel\" + 0.25",
             "UPDATE result SET lrv = CAST(lrv AS TEXT) || 'abc'",
             "UPDATE result SET transfer = 'cubic'",
             "UPDATE result SET kind = 'as_found '",
             "UPDATE point SET code = code + 65536 WHERE \"index\" = 2",
             "UPDATE point SET reading = CAST(reading AS TEXT) || ' mm' WHERE \"index\" = 2",
         }) {
        SCOPED_TRACE(edit);
        fs::copy_file(kept, m_path, fs::copy_options::overwrite_existing);
        ASSERT_EQ(Raw(edit), SQLITE_OK);
        ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
        check = db.Verify();
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.badId, 1);
        db.Close();
    }
}

TEST_F(LoopCheckDatabaseTest, ANewerSchemaOrAForeignFileIsLeftAlone)
{
    ASSERT_EQ(db.Open(m_path), LoopDbOpenResult::Ok);
    db.Close();
    ASSERT_EQ(Raw("PRAGMA user_version = 7"), SQLITE_OK);
    EXPECT_EQ(db.Open(m_path), LoopDbOpenResult::NewerSchema);
    EXPECT_EQ(db.Open(m_path, false), LoopDbOpenResult::NewerSchema);
    EXPECT_NE(db.OpenFailureText(LoopDbOpenResult::NewerSchema, m_path).find("7"), std::string::npos);

    const std::string foreign = (m_dir / "other.sqlite3").string();
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.c_str(), &raw), SQLITE_OK);
        sqlite3_exec(raw, "CREATE TABLE mine(x)", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }
    EXPECT_EQ(db.Open(foreign), LoopDbOpenResult::NotLoopCheck);
    const std::string text = (m_dir / "text.sqlite3").string();
    std::ofstream(text) << "not a database at all, but long enough to be read as a header........................";
    EXPECT_EQ(db.Open(text), LoopDbOpenResult::NotLoopCheck);
    // Neither was touched.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

TEST(LoopCheckPlace, EnvironmentChoosesTheFile)
{
    const char* keep = std::getenv("VELMORA_LOOPCHECK_DB");
    const std::string kept = keep != nullptr ? keep : "";
    setenv("VELMORA_LOOPCHECK_DB", "/tmp/x.sqlite3", 1);
    EXPECT_EQ(DefaultLoopCheckPath(), "/tmp/x.sqlite3");
    unsetenv("VELMORA_LOOPCHECK_DB");
    setenv("XDG_DATA_HOME", "relative", 1);
    setenv("HOME", "/home/tech", 1);
    EXPECT_EQ(DefaultLoopCheckPath(), "/home/tech/.local/share/velmora/loopcheck.sqlite3");
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(DefaultLoopCheckPath(), "/data/velmora/loopcheck.sqlite3");
    if (keep != nullptr)
        setenv("VELMORA_LOOPCHECK_DB", kept.c_str(), 1);
}

} // namespace
} // namespace velmora::test
