#include "record/RecordDatabase.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

namespace velmora {

namespace {

// Each step takes the schema from the version before it to its own. The
// first creates it; a later change of the schema adds a step and never
// edits an earlier one, so a file of any older version is carried forward.
// Columns are quoted: "range" and "on" are words of SQL.
constexpr const char* kMigrations[] = {
    // 0 -> 1
    R"(CREATE TABLE event (
         seq      INTEGER PRIMARY KEY,
         time_us  INTEGER NOT NULL,
         source   TEXT NOT NULL,
         kind     TEXT NOT NULL,
         "channel" INTEGER, "range" TEXT, "value" REAL, "unit" TEXT, "eng" REAL, "on" INTEGER,
         "code" INTEGER, "raised" INTEGER, "text" TEXT, "peer" TEXT, "action" TEXT, "status" TEXT,
         "port" TEXT, "version" TEXT, "channels" INTEGER, "serial" TEXT, "mode" TEXT, "slot" INTEGER,
         "count" INTEGER, "detail" TEXT);
       CREATE INDEX event_time ON event(time_us);
       CREATE INDEX event_channel_time ON event("channel", time_us);
       CREATE VIEW event_utc AS
         SELECT strftime('%Y-%m-%dT%H:%M:%S', time_us / 1000000, 'unixepoch') ||
                printf('.%06dZ', time_us % 1000000) AS time, *
         FROM event;)",
};
static_assert(std::size(kMigrations) == RecordDatabase::kSchemaVersion);

std::string ColumnList()
{
    std::string s = "seq, time_us, source, kind";
    for (int i = 0; i < kRecordFieldCount; ++i)
        s += ", \"" + std::string(FieldInfo(static_cast<RecordField>(i)).name) + "\"";
    return s;
}

bool IsNotADatabase(int rc)
{
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

} // namespace

RecordDatabase::~RecordDatabase()
{
    Close();
}

void RecordDatabase::Close()
{
    if (m_insert != nullptr) {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
    }
    if (m_pageCount != nullptr) {
        sqlite3_finalize(m_pageCount);
        m_pageCount = nullptr;
    }
    if (m_db != nullptr) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool RecordDatabase::Fail(const char* what)
{
    m_error = std::string(what) + ": " + (m_db != nullptr ? sqlite3_errmsg(m_db) : "no database");
    return false;
}

bool RecordDatabase::Exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = message != nullptr ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

RecordOpenResult RecordDatabase::OpenForWriting(const std::string& path)
{
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    return Open(path, true);
}

RecordOpenResult RecordDatabase::OpenForReading(const std::string& path)
{
    return Open(path, false);
}

RecordOpenResult RecordDatabase::Open(const std::string& path, bool write)
{
    Close();
    m_foundVersion = 0;
    const int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        Fail(path.c_str());
        Close();
        return RecordOpenResult::CannotOpen;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);

    const auto result = write ? PrepareSchema() : RecordOpenResult::Ok;
    if (result != RecordOpenResult::Ok) {
        Close();
        return result;
    }
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &st, nullptr);
    const int step = rc == SQLITE_OK ? sqlite3_step(st) : rc;
    if (step == SQLITE_ROW)
        m_foundVersion = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (step != SQLITE_ROW) {
        const bool notDb = IsNotADatabase(step & 0xFF);
        Fail(path.c_str());
        Close();
        return notDb ? RecordOpenResult::NotARecord : RecordOpenResult::CannotOpen;
    }
    if (!write) {
        if (m_foundVersion > kSchemaVersion) {
            m_error = path + ": schema version " + std::to_string(m_foundVersion);
            Close();
            return RecordOpenResult::NewerSchema;
        }
        if (m_foundVersion == 0) {
            m_error = path + ": not a run record";
            Close();
            return RecordOpenResult::NotARecord;
        }
        return RecordOpenResult::Ok;
    }
    std::string values = "?";
    for (int i = 0; i < kRecordFieldCount + 2; ++i)
        values += ",?";
    const std::string insert = "INSERT INTO event(" + ColumnList().substr(5) + ") VALUES (" + values + ")";
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA page_size", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            m_pageSize = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    if (sqlite3_prepare_v3(m_db, insert.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &m_insert, nullptr) != SQLITE_OK) {
        Fail("prepare");
        Close();
        return RecordOpenResult::NotARecord;
    }
    return RecordOpenResult::Ok;
}

RecordOpenResult RecordDatabase::PrepareSchema()
{
    const auto version = [&]() -> std::optional<int> {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &st, nullptr) != SQLITE_OK)
            return std::nullopt;
        std::optional<int> v;
        if (sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    const auto notRecordOr = [&](RecordOpenResult other) {
        const int rc = sqlite3_errcode(m_db) & 0xFF;
        Fail("open");
        return IsNotADatabase(rc) ? RecordOpenResult::NotARecord : other;
    };

    auto found = version();
    if (!found)
        return notRecordOr(RecordOpenResult::CannotOpen);
    if (*found > kSchemaVersion) {
        m_foundVersion = *found;
        m_error = "schema version " + std::to_string(*found);
        return RecordOpenResult::NewerSchema;
    }
    // WAL lets readers and several writers share the file; NORMAL syncs at
    // checkpoints only, and a transaction committed survives the program
    // being killed (not a power cut, which costs at most the last commits).
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL"))
        return notRecordOr(RecordOpenResult::CannotOpen);
    if (*found == kSchemaVersion)
        return RecordOpenResult::Ok;

    // Another program may be creating or migrating the same file: take the
    // write lock first, then look again.
    if (!Exec("BEGIN IMMEDIATE"))
        return notRecordOr(RecordOpenResult::CannotOpen);
    found = version();
    if (!found) {
        Exec("ROLLBACK");
        return notRecordOr(RecordOpenResult::CannotOpen);
    }
    if (*found == 0) {
        // A file with tables but no version is someone else's database.
        sqlite3_stmt* st = nullptr;
        int tables = 0;
        if (sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            tables = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        if (tables != 0) {
            Exec("ROLLBACK");
            m_error = "the file holds other tables";
            return RecordOpenResult::NotARecord;
        }
    }
    for (int v = *found; v < kSchemaVersion; ++v) {
        if (!Exec(kMigrations[v])) {
            const std::string why = m_error;
            Exec("ROLLBACK");
            m_error = why;
            return RecordOpenResult::CannotOpen;
        }
    }
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (!Exec(setVersion.c_str()) || !Exec("COMMIT")) {
        const std::string why = m_error;
        Exec("ROLLBACK");
        m_error = why;
        return RecordOpenResult::CannotOpen;
    }
    return RecordOpenResult::Ok;
}

bool RecordDatabase::Append(std::span<RecordEvent> events)
{
    if (m_insert == nullptr)
        return Fail("append");
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    for (auto& e : events) {
        sqlite3_reset(m_insert);
        sqlite3_clear_bindings(m_insert);
        sqlite3_bind_int64(m_insert, 1, e.timeUs);
        sqlite3_bind_text(m_insert, 2, e.source.data(), static_cast<int>(e.source.size()), SQLITE_STATIC);
        sqlite3_bind_text(m_insert, 3, e.kind.data(), static_cast<int>(e.kind.size()), SQLITE_STATIC);
        for (int i = 0; i < kRecordFieldCount; ++i) {
            const int at = i + 4;
            const auto& v = e.fields[static_cast<std::size_t>(i)];
            if (const auto* n = std::get_if<std::int64_t>(&v))
                sqlite3_bind_int64(m_insert, at, *n);
            else if (const auto* d = std::get_if<double>(&v))
                sqlite3_bind_double(m_insert, at, *d);
            else if (const auto* s = std::get_if<std::string>(&v))
                sqlite3_bind_text(m_insert, at, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
            else if (const auto* b = std::get_if<bool>(&v))
                sqlite3_bind_int(m_insert, at, *b ? 1 : 0);
        }
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            Fail("insert");
            sqlite3_reset(m_insert);
            Exec("ROLLBACK");
            return false;
        }
        e.seq = sqlite3_last_insert_rowid(m_db);
    }
    sqlite3_reset(m_insert);
    if (!Exec("COMMIT")) {
        const std::string why = m_error;
        Exec("ROLLBACK");
        m_error = why;
        return false;
    }
    return true;
}

std::int64_t RecordDatabase::UsedBytes()
{
    const auto pragma = [&](const char* sql) -> std::int64_t {
        sqlite3_stmt* st = nullptr;
        std::int64_t v = 0;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    if (m_db == nullptr)
        return 0;
    return (pragma("PRAGMA page_count") - pragma("PRAGMA freelist_count")) * pragma("PRAGMA page_size");
}

std::int64_t RecordDatabase::PruneStep(std::int64_t limitBytes, int maxRows)
{
    if (m_db == nullptr)
        return -1;
    // A file no larger than the limit holds no more than it: one cheap look
    // a commit while the record is small, the free pages counted only once
    // the file has grown to its size.
    if (m_pageCount == nullptr &&
        sqlite3_prepare_v3(m_db, "PRAGMA page_count", -1, SQLITE_PREPARE_PERSISTENT, &m_pageCount, nullptr) !=
            SQLITE_OK) {
        Fail("prune");
        return -1;
    }
    std::int64_t pages = 0;
    if (sqlite3_step(m_pageCount) == SQLITE_ROW)
        pages = sqlite3_column_int64(m_pageCount, 0);
    sqlite3_reset(m_pageCount);
    if (pages * m_pageSize <= limitBytes || UsedBytes() <= limitBytes)
        return 0;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "DELETE FROM event WHERE seq IN (SELECT seq FROM event ORDER BY seq LIMIT ?)", -1, &st,
                           nullptr) != SQLITE_OK) {
        Fail("prune");
        return -1;
    }
    sqlite3_bind_int(st, 1, maxRows);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        Fail("prune");
        return -1;
    }
    return sqlite3_changes(m_db);
}

std::int64_t RecordDatabase::LastSeq()
{
    sqlite3_stmt* st = nullptr;
    std::int64_t v = 0;
    if (m_db != nullptr && sqlite3_prepare_v2(m_db, "SELECT max(seq) FROM event", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

bool RecordDatabase::Query(const RecordFilter& filter, const std::function<bool(const RecordEvent&)>& each)
{
    if (m_db == nullptr)
        return Fail("query");
    std::string sql = "SELECT " + ColumnList() + " FROM event WHERE 1";
    if (filter.sinceUs)
        sql += " AND time_us >= ?";
    if (filter.untilUs)
        sql += " AND time_us < ?";
    if (filter.channel)
        sql += " AND \"channel\" = ?";
    if (filter.afterSeq)
        sql += " AND seq > ?";
    if (!filter.kinds.empty()) {
        sql += " AND kind IN (?";
        for (std::size_t i = 1; i < filter.kinds.size(); ++i)
            sql += ",?";
        sql += ")";
    }
    switch (filter.order) {
    case RecordFilter::Order::Seq:
        sql += " ORDER BY seq";
        break;
    case RecordFilter::Order::Time:
        sql += " ORDER BY time_us, seq";
        break;
    case RecordFilter::Order::TimeDescending:
        sql += " ORDER BY time_us DESC, seq DESC";
        break;
    }
    if (filter.limit)
        sql += " LIMIT ?";

    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return Fail("query");
    int at = 1;
    if (filter.sinceUs)
        sqlite3_bind_int64(st, at++, *filter.sinceUs);
    if (filter.untilUs)
        sqlite3_bind_int64(st, at++, *filter.untilUs);
    if (filter.channel)
        sqlite3_bind_int(st, at++, *filter.channel);
    if (filter.afterSeq)
        sqlite3_bind_int64(st, at++, *filter.afterSeq);
    for (const auto& k : filter.kinds)
        sqlite3_bind_text(st, at++, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
    if (filter.limit)
        sqlite3_bind_int64(st, at++, *filter.limit);

    RecordEvent e;
    const auto text = [&](int col) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st, col))) : std::string();
    };
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        e.seq = sqlite3_column_int64(st, 0);
        e.timeUs = sqlite3_column_int64(st, 1);
        e.source = text(2);
        e.kind = text(3);
        for (int i = 0; i < kRecordFieldCount; ++i) {
            const int col = i + 4;
            auto& v = e.fields[static_cast<std::size_t>(i)];
            // A row written by another tool may hold any type in any
            // column: read what the column should hold, as SQLite converts.
            if (sqlite3_column_type(st, col) == SQLITE_NULL) {
                v = std::monostate{};
                continue;
            }
            switch (FieldInfo(static_cast<RecordField>(i)).type) {
            case RecordFieldType::Integer:
                v = static_cast<std::int64_t>(sqlite3_column_int64(st, col));
                break;
            case RecordFieldType::Real:
                v = sqlite3_column_double(st, col);
                break;
            case RecordFieldType::Text:
                v = text(col);
                break;
            case RecordFieldType::Boolean:
                v = sqlite3_column_int64(st, col) != 0;
                break;
            }
        }
        if (!each(e))
            break;
    }
    const bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (!ok)
        Fail("query");
    sqlite3_finalize(st);
    return ok;
}

} // namespace velmora
