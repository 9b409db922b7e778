#include "record/RecordDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "record/SchemaFile.h"

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
    // 1 -> 2: a day of a channel is read for the trend without reading
    // every settings event of it (a minute's summary), and the events that
    // are not settings are found without walking past the settings.
    R"(CREATE TABLE settings_minute (
         "channel" INTEGER NOT NULL,
         minute    INTEGER NOT NULL,
         "port"    TEXT NOT NULL,
         events    INTEGER NOT NULL,
         first_seq INTEGER NOT NULL, low_seq INTEGER NOT NULL, high_seq INTEGER NOT NULL, last_seq INTEGER NOT NULL,
         low REAL NOT NULL, high REAL NOT NULL,
         first_state TEXT NOT NULL, last_state TEXT NOT NULL,
         mixed INTEGER NOT NULL,
         PRIMARY KEY ("channel", minute, "port")) WITHOUT ROWID;
       CREATE INDEX event_channel_notable ON event("channel", time_us) WHERE kind <> 'settings';)",
};
static_assert(std::size(kMigrations) == RecordDatabase::kSchemaVersion);

std::string ColumnList()
{
    std::string s = "seq, time_us, source, kind";
    for (int i = 0; i < kRecordFieldCount; ++i)
        s += ", \"" + std::string(FieldInfo(static_cast<RecordField>(i)).name) + "\"";
    return s;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// What a settings event says besides its level. A minute whose events all
// say the same is drawn from four of them; one where the output went off,
// the range or unit changed, or the automatic output took over or left off,
// is read whole.
std::string SettingsState(bool fromAuto, std::optional<bool> on, bool eng, std::string_view unit,
                          std::string_view range)
{
    std::string s;
    s += fromAuto ? 'a' : '-';
    s += on ? (*on ? '1' : '0') : '-';
    s += eng ? 'e' : 'v';
    s += unit;
    s += '\x1f';
    s += range;
    return s;
}

// Each channel's settings events gathered a minute at a time, in the order
// they were written, into settings_minute.
class MinuteSummary {
public:
    void Take(std::int64_t channel, std::string_view port, std::int64_t timeUs, std::int64_t seq,
              std::optional<double> level, std::string state)
    {
        const std::int64_t minute = FloorDiv(timeUs, kSummaryMinuteUs);
        auto it = std::find_if(m_open.begin(), m_open.end(),
                               [&](const Group& g) { return g.channel == channel && g.port == port; });
        if (it != m_open.end() && it->minute != minute) {
            m_done.push_back(std::move(*it));
            m_open.erase(it);
            it = m_open.end();
        }
        if (it == m_open.end()) {
            m_open.push_back(Group{});
            it = std::prev(m_open.end());
            it->channel = channel;
            it->port = std::string(port);
            it->minute = minute;
        }
        it->Take(seq, level, std::move(state));
    }
    std::size_t Done() const { return m_done.size(); }
    // Writes the finished minutes, and with `all` the open ones too.
    bool Write(sqlite3_stmt* upsert, bool all)
    {
        if (all) {
            std::move(m_open.begin(), m_open.end(), std::back_inserter(m_done));
            m_open.clear();
        }
        for (const Group& g : m_done) {
            sqlite3_reset(upsert);
            sqlite3_bind_int64(upsert, 1, g.channel);
            sqlite3_bind_int64(upsert, 2, g.minute);
            sqlite3_bind_int64(upsert, 3, g.events);
            sqlite3_bind_int64(upsert, 4, g.firstSeq);
            sqlite3_bind_int64(upsert, 5, g.lowSeq);
            sqlite3_bind_int64(upsert, 6, g.highSeq);
            sqlite3_bind_int64(upsert, 7, g.lastSeq);
            sqlite3_bind_double(upsert, 8, g.low);
            sqlite3_bind_double(upsert, 9, g.high);
            sqlite3_bind_text(upsert, 10, g.firstState.data(), static_cast<int>(g.firstState.size()), SQLITE_STATIC);
            sqlite3_bind_text(upsert, 11, g.lastState.data(), static_cast<int>(g.lastState.size()), SQLITE_STATIC);
            sqlite3_bind_int(upsert, 12, g.mixed ? 1 : 0);
            sqlite3_bind_text(upsert, 13, g.port.data(), static_cast<int>(g.port.size()), SQLITE_STATIC);
            const int rc = sqlite3_step(upsert);
            sqlite3_reset(upsert);
            if (rc != SQLITE_DONE)
                return false;
        }
        m_done.clear();
        return true;
    }

private:
    struct Group {
        std::int64_t channel = 0;
        std::string port; // empty for events that name none
        std::int64_t minute = 0;
        std::int64_t events = 0;
        std::int64_t firstSeq = 0, lowSeq = 0, highSeq = 0, lastSeq = 0;
        double low = 0.0, high = 0.0;
        std::string firstState, lastState;
        bool hasLevel = false;
        bool mixed = false;

        void Take(std::int64_t seq, std::optional<double> level, std::string state)
        {
            if (events == 0)
                firstState = state;
            else if (state != lastState)
                mixed = true;
            if (events == 0)
                firstSeq = seq;
            ++events;
            lastSeq = seq;
            lastState = std::move(state);
            // A level unknown is drawn as such: the minute is read whole.
            if (!level || !std::isfinite(*level)) {
                mixed = true;
                return;
            }
            if (!hasLevel || *level < low) {
                low = *level;
                lowSeq = seq;
            }
            if (!hasLevel || *level > high) {
                high = *level;
                highSeq = seq;
            }
            hasLevel = true;
        }
    };
    std::vector<Group> m_open; // a few: one a channel of each unit
    std::vector<Group> m_done;
};

// The level a settings event draws: the engineering value while the
// formula was in use, else the range's.
std::optional<double> SettingsLevel(const RecordEvent& e)
{
    if (const auto* eng = std::get_if<double>(&e.Get(RecordField::Eng)))
        return *eng;
    if (const auto* value = std::get_if<double>(&e.Get(RecordField::Value)))
        return *value;
    return std::nullopt;
}

std::string_view PortOf(const RecordEvent& e)
{
    const auto* port = std::get_if<std::string>(&e.Get(RecordField::Port));
    return port != nullptr ? std::string_view(*port) : std::string_view();
}

std::string SettingsState(const RecordEvent& e)
{
    const auto* on = std::get_if<bool>(&e.Get(RecordField::On));
    const auto* unit = std::get_if<std::string>(&e.Get(RecordField::Unit));
    const auto* range = std::get_if<std::string>(&e.Get(RecordField::Range));
    return SettingsState(e.source == "auto", on != nullptr ? std::optional<bool>(*on) : std::nullopt,
                         e.Has(RecordField::Eng), unit != nullptr ? std::string_view(*unit) : std::string_view(),
                         range != nullptr ? std::string_view(*range) : std::string_view());
}

// A later part of a minute (another batch, another program) joins what is
// there; the seqs of its lowest and highest level stay those of the first
// event that reached them.
constexpr const char* kUpsertMinute =
    R"(INSERT INTO settings_minute("channel", minute, events, first_seq, low_seq, high_seq, last_seq, low, high,
                                   first_state, last_state, mixed, "port")
       VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
       ON CONFLICT("channel", minute, "port") DO UPDATE SET
         events = events + excluded.events,
         low_seq = CASE WHEN excluded.low < low THEN excluded.low_seq ELSE low_seq END,
         low = min(low, excluded.low),
         high_seq = CASE WHEN excluded.high > high THEN excluded.high_seq ELSE high_seq END,
         high = max(high, excluded.high),
         last_seq = excluded.last_seq,
         last_state = excluded.last_state,
         mixed = mixed OR excluded.mixed OR last_state <> excluded.first_state)";

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
    if (m_minute != nullptr) {
        sqlite3_finalize(m_minute);
        m_minute = nullptr;
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
    return ExecSql(m_db, sql, m_error);
}

int RecordDatabase::OpenReadOnly(const std::string& path, sqlite3** db)
{
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), db, flags, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    // Reading a record in WAL mode needs its -shm file, which a read-only
    // medium (a copy on a CD, a mount of an archive) may not hold and
    // cannot take: such a record is read as a file that does not change,
    // as far as its last checkpoint.
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(*db, "PRAGMA user_version", -1, &st, nullptr);
    const int step = rc == SQLITE_OK ? sqlite3_step(st) : rc;
    sqlite3_finalize(st);
    const int primary = step & 0xFF;
    if (primary != SQLITE_CANTOPEN && primary != SQLITE_READONLY)
        return SQLITE_OK;
    sqlite3_close(*db);
    *db = nullptr;
    std::string uri = "file:";
    for (const char ch : path) {
        if (ch == '?' || ch == '#' || ch == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(ch));
            uri += escaped;
        } else {
            uri += ch;
        }
    }
    uri += "?immutable=1";
    return sqlite3_open_v2(uri.c_str(), db, flags | SQLITE_OPEN_URI, nullptr);
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
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if ((write ? sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) : OpenReadOnly(path, &m_db)) != SQLITE_OK) {
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
        sqlite3_stmt* page = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA page_size", -1, &page, nullptr) == SQLITE_OK &&
            sqlite3_step(page) == SQLITE_ROW)
            m_pageSize = sqlite3_column_int64(page, 0);
        sqlite3_finalize(page);
    }
    if (sqlite3_prepare_v3(m_db, insert.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &m_insert, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(m_db, kUpsertMinute, -1, SQLITE_PREPARE_PERSISTENT, &m_minute, nullptr) != SQLITE_OK) {
        Fail("prepare");
        Close();
        return RecordOpenResult::NotARecord;
    }
    return RecordOpenResult::Ok;
}

RecordOpenResult RecordDatabase::PrepareSchema()
{
    int found = 0;
    switch (velmora::PrepareSchema(m_db, {kMigrations, [this](int v) { return v != 1 || FillMinutes(); }}, found,
                                   m_error)) {
    case SchemaPrepared::Ok:
        return RecordOpenResult::Ok;
    case SchemaPrepared::Newer:
        m_foundVersion = found;
        m_error = "schema version " + std::to_string(found);
        return RecordOpenResult::NewerSchema;
    case SchemaPrepared::OtherTables:
        m_error = "the file holds other tables";
        return RecordOpenResult::NotARecord;
    case SchemaPrepared::NotSqlite:
        return RecordOpenResult::NotARecord;
    case SchemaPrepared::CannotOpen:
        break;
    }
    return RecordOpenResult::CannotOpen;
}

bool RecordDatabase::FillMinutes()
{
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* st = nullptr;
    const auto done = [&](bool ok) {
        sqlite3_finalize(st);
        sqlite3_finalize(upsert);
        return ok || Fail("summary");
    };
    if (sqlite3_prepare_v2(m_db, kUpsertMinute, -1, &upsert, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(
            m_db,
            R"(SELECT seq, time_us, "channel", "value", "eng", "on", "unit", "range", source, "port" FROM event)"
            R"( WHERE kind = 'settings' AND "channel" IS NOT NULL ORDER BY seq)",
            -1, &st, nullptr) != SQLITE_OK)
        return done(false);
    const auto text = [&](int col) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        return p != nullptr ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st, col)))
                            : std::string_view();
    };
    const auto isNull = [&](int col) { return sqlite3_column_type(st, col) == SQLITE_NULL; };
    MinuteSummary minutes;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::optional<double> level;
        if (!isNull(4))
            level = sqlite3_column_double(st, 4);
        else if (!isNull(3))
            level = sqlite3_column_double(st, 3);
        const std::optional<bool> on = isNull(5) ? std::nullopt : std::optional<bool>(sqlite3_column_int64(st, 5) != 0);
        minutes.Take(sqlite3_column_int64(st, 2), text(9), sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 0),
                     level, SettingsState(text(8) == "auto", on, !isNull(4), text(6), text(7)));
        if (minutes.Done() >= 4096 && !minutes.Write(upsert, false))
            return done(false);
    }
    return done(rc == SQLITE_DONE && minutes.Write(upsert, true));
}

bool RecordDatabase::Append(std::span<RecordEvent> events)
{
    if (m_insert == nullptr)
        return Fail("append");
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    MinuteSummary minutes;
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
        if (e.kind == record_kind::kSettings) {
            if (const auto* channel = std::get_if<std::int64_t>(&e.Get(RecordField::Channel)))
                minutes.Take(*channel, PortOf(e), e.timeUs, e.seq, SettingsLevel(e), SettingsState(e));
        }
    }
    sqlite3_reset(m_insert);
    if (!minutes.Write(m_minute, true)) {
        Fail("summary");
        Exec("ROLLBACK");
        return false;
    }
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
    const std::int64_t deleted = sqlite3_changes(m_db);
    // The minutes wholly before the oldest event left go with it.
    if (!Exec("DELETE FROM settings_minute WHERE minute < (SELECT min(time_us) FROM event) / 60000000"))
        return -1;
    return deleted;
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
