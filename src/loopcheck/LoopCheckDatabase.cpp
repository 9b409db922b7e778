#include "loopcheck/LoopCheckDatabase.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/Translate.h"
#include "record/SchemaFile.h"

namespace velmora {

namespace {

// Each step takes the schema from the version before it to its own; a later
// change adds a step and never edits an earlier one. Quoted names are words
// of SQL. The triggers keep results append-only against a slip in sqlite3;
// one who drops them to edit a row is caught by the hash chain.
constexpr const char* kMigrations[] = {
    // 0 -> 1
    R"(CREATE TABLE tag (
         name TEXT PRIMARY KEY NOT NULL, description TEXT NOT NULL, location TEXT NOT NULL,
         "channel" INTEGER NOT NULL, "range" TEXT NOT NULL, lrv REAL NOT NULL, urv REAL NOT NULL,
         unit TEXT NOT NULL, transfer TEXT NOT NULL, points TEXT NOT NULL, tolerance REAL NOT NULL,
         adjust_limit REAL, settle REAL NOT NULL, decimals INTEGER NOT NULL);
       CREATE TABLE result (
         id INTEGER PRIMARY KEY, tag TEXT NOT NULL, description TEXT NOT NULL, location TEXT NOT NULL,
         "channel" INTEGER NOT NULL, "range" TEXT NOT NULL, lrv REAL NOT NULL, urv REAL NOT NULL,
         unit TEXT NOT NULL, transfer TEXT NOT NULL, points TEXT NOT NULL, tolerance REAL NOT NULL,
         adjust_limit REAL, settle REAL NOT NULL, decimals INTEGER NOT NULL,
         technician TEXT NOT NULL, kind TEXT NOT NULL, start_us INTEGER NOT NULL, end_us INTEGER NOT NULL,
         unit_version TEXT NOT NULL, unit_serial TEXT NOT NULL, port TEXT NOT NULL,
         velmora_version TEXT NOT NULL, verdict TEXT NOT NULL, ending TEXT NOT NULL,
         ending_detail TEXT NOT NULL, remark TEXT NOT NULL, supersedes INTEGER REFERENCES result(id),
         supersede_reason TEXT NOT NULL, previous_hash TEXT NOT NULL, hash TEXT NOT NULL);
       CREATE INDEX result_tag ON result(tag, id);
       CREATE TABLE point (
         result INTEGER NOT NULL REFERENCES result(id), "index" INTEGER NOT NULL, percent REAL NOT NULL,
         output REAL NOT NULL, signal_unit TEXT NOT NULL, code INTEGER NOT NULL, expected REAL NOT NULL,
         reading REAL NOT NULL, error_percent REAL NOT NULL, verdict TEXT NOT NULL,
         PRIMARY KEY (result, "index"));
       CREATE TRIGGER result_no_update BEFORE UPDATE ON result
         BEGIN SELECT RAISE(ABORT, 'loop-check results are append-only'); END;
       CREATE TRIGGER result_no_delete BEFORE DELETE ON result
         BEGIN SELECT RAISE(ABORT, 'loop-check results are append-only'); END;
       CREATE TRIGGER point_no_update BEFORE UPDATE ON point
         BEGIN SELECT RAISE(ABORT, 'loop-check results are append-only'); END;
       CREATE TRIGGER point_no_delete BEFORE DELETE ON point
         BEGIN SELECT RAISE(ABORT, 'loop-check results are append-only'); END;
       CREATE VIEW result_utc AS
         SELECT strftime('%Y-%m-%dT%H:%M:%SZ', start_us / 1000000, 'unixepoch') AS start,
                strftime('%Y-%m-%dT%H:%M:%SZ', end_us / 1000000, 'unixepoch') AS "end", *
         FROM result;)",
};
static_assert(std::size(kMigrations) == LoopCheckDatabase::kSchemaVersion);

constexpr const char* kTagColumns = R"(name, description, location, "channel", "range", lrv, urv, unit, transfer,
    points, tolerance, adjust_limit, settle, decimals)";
constexpr const char* kResultColumns = R"(id, tag, description, location, "channel", "range", lrv, urv, unit,
    transfer, points, tolerance, adjust_limit, settle, decimals, technician, kind, start_us, end_us,
    unit_version, unit_serial, port, velmora_version, verdict, ending, ending_detail, remark, supersedes,
    supersede_reason, previous_hash, hash)";

bool IsNotADatabase(int rc)
{
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
            m_st = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_st; }
    explicit operator bool() const { return m_st != nullptr; }

private:
    sqlite3_stmt* m_st = nullptr;
};

void BindText(sqlite3_stmt* st, int at, const std::string& text)
{
    sqlite3_bind_text(st, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string Text(sqlite3_stmt* st, int col)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st, col))) : std::string();
}

// The tag's fields bound from `at` on, in kTagColumns' order after the name.
int BindTagFields(sqlite3_stmt* st, int at, const LoopTag& t)
{
    BindText(st, at++, t.description);
    BindText(st, at++, t.location);
    sqlite3_bind_int(st, at++, t.channel);
    BindText(st, at++, t.range);
    sqlite3_bind_double(st, at++, t.lrv);
    sqlite3_bind_double(st, at++, t.urv);
    BindText(st, at++, t.unit);
    BindText(st, at++, LoopTransferKey(t.transfer));
    BindText(st, at++, PointListText(t.points));
    sqlite3_bind_double(st, at++, t.tolerance);
    if (t.adjustLimit)
        sqlite3_bind_double(st, at++, *t.adjustLimit);
    else
        sqlite3_bind_null(st, at++);
    sqlite3_bind_double(st, at++, t.settleSeconds);
    sqlite3_bind_int(st, at++, t.decimals);
    return at;
}

// Reads a row's columns and notes each that is not as this program writes
// it: another storage class (text in a REAL column, a fraction in an
// INTEGER one), a number out of its range, a key or a list no program
// writes. Parsed, such a column could read as the value it had, so a row
// edited that way would hash as the original: Verify counts it as changed.
class RowReader {
public:
    explicit RowReader(sqlite3_stmt* st) : m_st(st) { }
    bool AsWritten() const { return m_bOk; }
    void Refuse() { m_bOk = false; }

    std::string Text(int col)
    {
        Expect(col, SQLITE_TEXT);
        return velmora::Text(m_st, col);
    }
    double Real(int col)
    {
        Expect(col, SQLITE_FLOAT);
        return sqlite3_column_double(m_st, col);
    }
    std::optional<double> OptionalReal(int col)
    {
        if (sqlite3_column_type(m_st, col) == SQLITE_NULL)
            return std::nullopt;
        return Real(col);
    }
    std::int64_t Int(int col, std::int64_t low, std::int64_t high)
    {
        Expect(col, SQLITE_INTEGER);
        const std::int64_t v = sqlite3_column_int64(m_st, col);
        if (v < low || v > high) {
            m_bOk = false;
            return low;
        }
        return v;
    }
    template <typename T, typename Parse> T Key(int col, Parse parse, T otherwise)
    {
        const auto v = parse(Text(col));
        if (!v)
            m_bOk = false;
        return v.value_or(otherwise);
    }

private:
    void Expect(int col, int type)
    {
        if (sqlite3_column_type(m_st, col) != type)
            m_bOk = false;
    }

    sqlite3_stmt* m_st;
    bool m_bOk = true;
};

constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();

// The tag's fields read from column `col` on (the name before them).
void ReadTagFields(RowReader& row, int col, LoopTag& t)
{
    t.description = row.Text(col++);
    t.location = row.Text(col++);
    t.channel = static_cast<int>(row.Int(col++, 0, kIntMax));
    t.range = row.Text(col++);
    t.lrv = row.Real(col++);
    t.urv = row.Real(col++);
    t.unit = row.Text(col++);
    t.transfer = row.Key(col++, LoopTransferFromKey, LoopTransfer::Linear);
    const std::string points = row.Text(col++);
    t.points = ParsePointList(points).value_or(std::vector<double>{});
    if (PointListText(t.points) != points)
        row.Refuse();
    t.tolerance = row.Real(col++);
    t.adjustLimit = row.OptionalReal(col++);
    t.settleSeconds = row.Real(col++);
    t.decimals = static_cast<int>(row.Int(col++, 0, kIntMax));
}

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

} // namespace

std::string DefaultLoopCheckPath()
{
    if (std::string path = Env("VELMORA_LOOPCHECK_DB"); !path.empty())
        return path;
    // A relative XDG_DATA_HOME is to be ignored, as the XDG base directories say.
    if (std::string data = Env("XDG_DATA_HOME"); !data.empty() && data.front() == '/')
        return data + "/velmora/loopcheck.sqlite3";
    if (std::string home = Env("HOME"); !home.empty())
        return home + "/.local/share/velmora/loopcheck.sqlite3";
    return {};
}

LoopCheckDatabase::~LoopCheckDatabase()
{
    Close();
}

void LoopCheckDatabase::Close()
{
    if (m_db != nullptr) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool LoopCheckDatabase::Fail(const std::string& what)
{
    m_error = what + ": " + (m_db != nullptr ? sqlite3_errmsg(m_db) : "no database");
    return false;
}

bool LoopCheckDatabase::Exec(const char* sql)
{
    return ExecSql(m_db, sql, m_error);
}

std::string LoopCheckDatabase::OpenFailureText(LoopDbOpenResult result, const std::string& path) const
{
    switch (result) {
    case LoopDbOpenResult::Ok:
        return {};
    case LoopDbOpenResult::NewerSchema:
        return TrFormat(N_("%1: the loop-check database was written by a newer Velmora (schema %2); this one "
                           "knows %3 and leaves it alone"),
                        {path, std::to_string(m_foundVersion), std::to_string(kSchemaVersion)});
    case LoopDbOpenResult::NotLoopCheck:
        return TrFormat(N_("%1: not a loop-check database (%2); it is left alone"), {path, m_error});
    case LoopDbOpenResult::CannotOpen:
        return TrFormat(N_("%1: the loop-check database cannot be opened (%2)"), {path, m_error});
    }
    return {};
}

LoopDbOpenResult LoopCheckDatabase::Open(const std::string& path, bool forWriting)
{
    Close();
    m_foundVersion = 0;
    m_error.clear();
    if (forWriting) {
        const auto folder = std::filesystem::path(path).parent_path();
        if (!folder.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
        }
    }
    const int flags =
        (forWriting ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        Fail(path);
        Close();
        return LoopDbOpenResult::CannotOpen;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    LoopDbOpenResult result = LoopDbOpenResult::Ok;
    if (forWriting) {
        result = PrepareSchema();
    } else {
        Statement st(m_db, "PRAGMA user_version");
        const int rc = st ? sqlite3_step(st.get()) : sqlite3_errcode(m_db);
        if (rc != SQLITE_ROW) {
            Fail(path);
            result = IsNotADatabase(rc & 0xFF) ? LoopDbOpenResult::NotLoopCheck : LoopDbOpenResult::CannotOpen;
        } else {
            m_foundVersion = sqlite3_column_int(st.get(), 0);
            if (m_foundVersion > kSchemaVersion)
                result = LoopDbOpenResult::NewerSchema;
            else if (m_foundVersion == 0) {
                m_error = Tr(N_("no loop-check tables"));
                result = LoopDbOpenResult::NotLoopCheck;
            }
        }
    }
    if (result != LoopDbOpenResult::Ok)
        Close();
    return result;
}

LoopDbOpenResult LoopCheckDatabase::PrepareSchema()
{
    int found = 0;
    const SchemaPrepared prepared = velmora::PrepareSchema(m_db, {kMigrations, {}}, found, m_error);
    m_foundVersion = prepared == SchemaPrepared::Ok ? kSchemaVersion : found;
    switch (prepared) {
    case SchemaPrepared::Ok:
        return LoopDbOpenResult::Ok;
    case SchemaPrepared::Newer:
        return LoopDbOpenResult::NewerSchema;
    case SchemaPrepared::OtherTables:
        m_error = Tr(N_("the file holds other tables"));
        return LoopDbOpenResult::NotLoopCheck;
    case SchemaPrepared::NotSqlite:
        return LoopDbOpenResult::NotLoopCheck;
    case SchemaPrepared::CannotOpen:
        break;
    }
    return LoopDbOpenResult::CannotOpen;
}

// ---------------------------------------------------------------------------
// Tags

std::optional<LoopTag> LoopCheckDatabase::ReadTagRow(void* statement)
{
    auto* st = static_cast<sqlite3_stmt*>(statement);
    LoopTag t;
    t.name = Text(st, 0);
    // A tag is no record: a hand-edited one meets the tag's rules when used.
    RowReader row(st);
    ReadTagFields(row, 1, t);
    return t;
}

std::vector<LoopTag> LoopCheckDatabase::Tags()
{
    std::vector<LoopTag> tags;
    const std::string sql = std::string("SELECT ") + kTagColumns + " FROM tag ORDER BY name";
    Statement st(m_db, sql.c_str());
    if (!st) {
        Fail("tags");
        return tags;
    }
    while (sqlite3_step(st.get()) == SQLITE_ROW)
        tags.push_back(*ReadTagRow(st.get()));
    return tags;
}

std::optional<LoopTag> LoopCheckDatabase::FindTag(const std::string& name)
{
    const std::string sql = std::string("SELECT ") + kTagColumns + " FROM tag WHERE name = ?";
    Statement st(m_db, sql.c_str());
    if (!st) {
        Fail("tag");
        return std::nullopt;
    }
    BindText(st.get(), 1, name);
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        return std::nullopt;
    return ReadTagRow(st.get());
}

bool LoopCheckDatabase::WriteTag(const LoopTag& tag, bool replace)
{
    const std::string sql = std::string(replace ? "INSERT OR REPLACE" : "INSERT") + " INTO tag(" + kTagColumns +
        ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    Statement st(m_db, sql.c_str());
    if (!st)
        return Fail("tag");
    BindText(st.get(), 1, tag.name);
    BindTagFields(st.get(), 2, tag);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        return Fail(tag.name);
    return true;
}

TagWrite LoopCheckDatabase::AddTag(const LoopTag& tag)
{
    if (const auto problem = ValidateTag(tag)) {
        m_error = problem->message;
        return TagWrite::Invalid;
    }
    if (m_db == nullptr) {
        Fail("tag");
        return TagWrite::Failed;
    }
    if (FindTag(tag.name))
        return TagWrite::Exists;
    return WriteTag(tag, false) ? TagWrite::Done : TagWrite::Failed;
}

TagWrite LoopCheckDatabase::UpdateTag(const LoopTag& tag)
{
    if (const auto problem = ValidateTag(tag)) {
        m_error = problem->message;
        return TagWrite::Invalid;
    }
    if (m_db == nullptr) {
        Fail("tag");
        return TagWrite::Failed;
    }
    if (!FindTag(tag.name))
        return TagWrite::Missing;
    return WriteTag(tag, true) ? TagWrite::Done : TagWrite::Failed;
}

TagWrite LoopCheckDatabase::RemoveTag(const std::string& name)
{
    Statement st(m_db, "DELETE FROM tag WHERE name = ?");
    if (!st) {
        Fail("tag");
        return TagWrite::Failed;
    }
    BindText(st.get(), 1, name);
    if (sqlite3_step(st.get()) != SQLITE_DONE) {
        Fail(name);
        return TagWrite::Failed;
    }
    return sqlite3_changes(m_db) > 0 ? TagWrite::Done : TagWrite::Missing;
}

bool LoopCheckDatabase::ImportTags(const std::vector<LoopTag>& tags)
{
    for (const LoopTag& t : tags) {
        if (const auto problem = ValidateTag(t)) {
            m_error = t.name + ": " + problem->message;
            return false;
        }
    }
    if (m_db == nullptr || !Exec("BEGIN IMMEDIATE"))
        return m_db == nullptr ? Fail("import") : false;
    for (const LoopTag& t : tags) {
        if (!WriteTag(t, true)) {
            const std::string why = m_error;
            Exec("ROLLBACK");
            m_error = why;
            return false;
        }
    }
    if (!Exec("COMMIT")) {
        const std::string why = m_error;
        Exec("ROLLBACK");
        m_error = why;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Results

bool LoopCheckDatabase::AppendResult(LoopResult& r)
{
    if (m_db == nullptr)
        return Fail("append");
    // The write lock first: the last hash read and the new row written in
    // one transaction, so that no other program's result comes between.
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    const auto rollback = [&] {
        const std::string why = m_error;
        Exec("ROLLBACK");
        m_error = why;
        return false;
    };
    {
        Statement last(m_db, "SELECT id, hash FROM result ORDER BY id DESC LIMIT 1");
        if (!last)
            return Fail("append"), rollback();
        const int rc = sqlite3_step(last.get());
        if (rc == SQLITE_ROW) {
            r.id = sqlite3_column_int64(last.get(), 0) + 1;
            r.previousHash = Text(last.get(), 1);
        } else if (rc == SQLITE_DONE) {
            r.id = 1;
            r.previousHash.clear();
        } else {
            return Fail("append"), rollback();
        }
    }
    if (r.supersedes) {
        Statement st(m_db, "SELECT 1 FROM result WHERE id = ?");
        sqlite3_bind_int64(st.get(), 1, *r.supersedes);
        if (!st || sqlite3_step(st.get()) != SQLITE_ROW) {
            m_error = TrFormat(N_("there is no result %1 to correct"), {std::to_string(*r.supersedes)});
            return rollback();
        }
    }
    for (std::size_t k = 0; k < r.points.size(); ++k)
        r.points[k].index = static_cast<int>(k + 1);
    r.hash = ResultHash(r);

    const std::string sql = std::string("INSERT INTO result(") + kResultColumns +
        ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    Statement st(m_db, sql.c_str());
    if (!st)
        return Fail("append"), rollback();
    sqlite3_stmt* s = st.get();
    int at = 1;
    sqlite3_bind_int64(s, at++, r.id);
    BindText(s, at++, r.tag.name);
    at = BindTagFields(s, at, r.tag);
    BindText(s, at++, r.technician);
    BindText(s, at++, LoopTestKindKey(r.kind));
    sqlite3_bind_int64(s, at++, r.startUs);
    sqlite3_bind_int64(s, at++, r.endUs);
    BindText(s, at++, r.unitVersion);
    BindText(s, at++, r.unitSerial);
    BindText(s, at++, r.port);
    BindText(s, at++, r.velmoraVersion);
    BindText(s, at++, TestVerdictKey(r.verdict));
    BindText(s, at++, LoopTestEndingKey(r.ending));
    BindText(s, at++, r.endingDetail);
    BindText(s, at++, r.remark);
    if (r.supersedes)
        sqlite3_bind_int64(s, at++, *r.supersedes);
    else
        sqlite3_bind_null(s, at++);
    BindText(s, at++, r.supersedeReason);
    BindText(s, at++, r.previousHash);
    BindText(s, at++, r.hash);
    if (sqlite3_step(s) != SQLITE_DONE)
        return Fail("append"), rollback();

    Statement pt(m_db, R"(INSERT INTO point(result, "index", percent, output, signal_unit, code, expected, reading,
                          error_percent, verdict) VALUES (?,?,?,?,?,?,?,?,?,?))");
    if (!pt)
        return Fail("append"), rollback();
    for (const LoopPointResult& p : r.points) {
        sqlite3_stmt* q = pt.get();
        sqlite3_reset(q);
        sqlite3_bind_int64(q, 1, r.id);
        sqlite3_bind_int(q, 2, p.index);
        sqlite3_bind_double(q, 3, p.percent);
        sqlite3_bind_double(q, 4, p.output);
        BindText(q, 5, p.signalUnit);
        sqlite3_bind_int(q, 6, p.code);
        sqlite3_bind_double(q, 7, p.expected);
        sqlite3_bind_double(q, 8, p.reading);
        sqlite3_bind_double(q, 9, p.errorPercent);
        BindText(q, 10, PointVerdictKey(p.verdict));
        if (sqlite3_step(q) != SQLITE_DONE)
            return Fail("append"), rollback();
    }
    if (!Exec("COMMIT"))
        return rollback();
    return true;
}

bool LoopCheckDatabase::ReadPoints(LoopResult& r)
{
    Statement st(m_db, R"(SELECT "index", percent, output, signal_unit, code, expected, reading, error_percent,
                          verdict FROM point WHERE result = ? ORDER BY "index")");
    if (!st)
        return Fail("points");
    sqlite3_bind_int64(st.get(), 1, r.id);
    r.points.clear();
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        RowReader row(st.get());
        LoopPointResult p;
        p.index = static_cast<int>(row.Int(0, 0, kIntMax));
        p.percent = row.Real(1);
        p.output = row.Real(2);
        p.signalUnit = row.Text(3);
        p.code = static_cast<std::uint16_t>(row.Int(4, 0, 0xFFFF));
        p.expected = row.Real(5);
        p.reading = row.Real(6);
        p.errorPercent = row.Real(7);
        p.verdict = row.Key(8, PointVerdictFromKey, PointVerdict::Fail);
        r.asWritten = r.asWritten && row.AsWritten();
        r.points.push_back(std::move(p));
    }
    return rc == SQLITE_DONE || Fail("points");
}

bool LoopCheckDatabase::ReadResults(const std::string& where, const std::function<void(void*)>& bind,
                                    const std::function<bool(LoopResult&&)>& each)
{
    const std::string sql = std::string("SELECT ") + kResultColumns + " FROM result " + where;
    Statement st(m_db, sql.c_str());
    if (!st)
        return Fail("results");
    if (bind)
        bind(st.get());
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = st.get();
        LoopResult r;
        RowReader row(s);
        r.id = row.Int(0, 0, std::numeric_limits<std::int64_t>::max());
        r.tag.name = row.Text(1);
        ReadTagFields(row, 2, r.tag);
        int col = 15;
        r.technician = row.Text(col++);
        // A kind, verdict or ending no program wrote reads as the nearest
        // other, and marks the row as not as written.
        r.kind = row.Key(col++, LoopTestKindFromKey, LoopTestKind::AsFound);
        r.startUs = row.Int(col++, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
        r.endUs = row.Int(col++, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
        r.unitVersion = row.Text(col++);
        r.unitSerial = row.Text(col++);
        r.port = row.Text(col++);
        r.velmoraVersion = row.Text(col++);
        r.verdict = row.Key(col++, TestVerdictFromKey, TestVerdict::Aborted);
        r.ending = row.Key(col++, LoopTestEndingFromKey, LoopTestEnding::Aborted);
        r.endingDetail = row.Text(col++);
        r.remark = row.Text(col++);
        if (sqlite3_column_type(s, col) != SQLITE_NULL)
            r.supersedes = row.Int(col, 1, std::numeric_limits<std::int64_t>::max());
        ++col;
        r.supersedeReason = row.Text(col++);
        r.previousHash = row.Text(col++);
        r.hash = row.Text(col++);
        r.asWritten = row.AsWritten();
        if (!ReadPoints(r))
            return false;
        if (!each(std::move(r)))
            break;
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail("results");
}

std::optional<LoopResult> LoopCheckDatabase::Result(std::int64_t id)
{
    std::optional<LoopResult> found;
    ReadResults(
        "WHERE id = ?", [id](void* st) { sqlite3_bind_int64(static_cast<sqlite3_stmt*>(st), 1, id); },
        [&found](LoopResult&& r) {
            found = std::move(r);
            return false;
        });
    return found;
}

std::vector<LoopResult> LoopCheckDatabase::History(const std::string& tagName)
{
    std::vector<LoopResult> results;
    ReadResults(
        "WHERE tag = ? ORDER BY id", [&tagName](void* st) { BindText(static_cast<sqlite3_stmt*>(st), 1, tagName); },
        [&results](LoopResult&& r) {
            results.push_back(std::move(r));
            return true;
        });
    return results;
}

std::vector<std::int64_t> LoopCheckDatabase::SupersededBy(std::int64_t id)
{
    std::vector<std::int64_t> ids;
    Statement st(m_db, "SELECT id FROM result WHERE supersedes = ? ORDER BY id");
    if (!st)
        return ids;
    sqlite3_bind_int64(st.get(), 1, id);
    while (sqlite3_step(st.get()) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(st.get(), 0));
    return ids;
}

ChainCheck LoopCheckDatabase::Verify(const std::function<void(std::int64_t)>& progress)
{
    ChainCheck check;
    std::string previous;
    std::int64_t previousId = 0;
    const bool read = ReadResults("ORDER BY id", {}, [&](LoopResult&& r) {
        if (progress)
            progress(r.id);
        if (r.previousHash != previous) {
            check.ok = false;
            check.badId = r.id;
            check.reason = previousId == 0
                ? TrFormat(N_("result %1 is the first kept, but names a result before it: one was removed"),
                           {std::to_string(r.id)})
                : TrFormat(N_("result %1 does not follow result %2: a result between them was removed or "
                              "changed"),
                           {std::to_string(r.id), std::to_string(previousId)});
            return false;
        }
        if (!r.asWritten || ResultHash(r) != r.hash) {
            check.ok = false;
            check.badId = r.id;
            check.reason = TrFormat(N_("result %1 was changed after it was kept: its rows do not match its hash"),
                                    {std::to_string(r.id)});
            return false;
        }
        ++check.checked;
        previous = r.hash;
        previousId = r.id;
        return true;
    });
    if (!read && check.ok) {
        check.ok = false;
        check.reason = TrFormat(N_("the results cannot be read (%1)"), {m_error});
    }
    return check;
}

} // namespace velmora
