#pragma once
// The run record's SQLite database: opening it (creating the file and its
// schema, or migrating an older schema forward), appending events, pruning
// the oldest ones, and reading events back by filter.
//
// The schema is a public interface: users query the file with sqlite3, and
// the README describes it. Its version is PRAGMA user_version. A file whose
// version is newer than this program knows is never written to.
//
// Thread contract: one RecordDatabase is used by one thread at a time (the
// record's writer thread, or a reader's own thread). Several processes may
// open the same file at once: WAL and a busy time-out keep them apart.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "record/RecordEvent.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

// The settings_minute table sums up each channel's settings events a
// minute of the wall clock at a time, for reading a long period quickly.
inline constexpr std::int64_t kSummaryMinuteUs = 60'000'000;

enum class RecordOpenResult {
    Ok,
    NewerSchema, // written by a newer program: left alone
    NotARecord,  // an SQLite file with other tables, or not SQLite at all
    CannotOpen,  // no such file (reading), no permission, no room
};

// Which events to read. Unset limits do not filter.
struct RecordFilter {
    std::optional<std::int64_t> sinceUs; // time >= since
    std::optional<std::int64_t> untilUs; // time < until
    std::optional<int> channel;          // 1-4
    std::vector<std::string> kinds;      // any of these; empty: every kind
    std::optional<std::int64_t> afterSeq;
    enum class Order { Seq, Time, TimeDescending } order = Order::Seq;
    std::optional<std::int64_t> limit;
};

class RecordDatabase {
public:
    static constexpr int kSchemaVersion = 2;
    // The writer thread waits, never the UI thread.
    static constexpr int kDefaultBusyTimeoutMs = 2000;

    RecordDatabase() = default;
    ~RecordDatabase();
    RecordDatabase(const RecordDatabase&) = delete;
    RecordDatabase& operator=(const RecordDatabase&) = delete;

    // How long a write waits for another program's transaction on the same
    // file before it fails; for the files opened after the call.
    void SetBusyTimeout(int ms) { m_busyTimeoutMs = ms; }

    // Opens `path` for appending, creating its folder, the file and the
    // schema when they are missing.
    RecordOpenResult OpenForWriting(const std::string& path);
    // Opens an existing record read-only.
    RecordOpenResult OpenForReading(const std::string& path);
    // The SQLite handle of an existing record, read-only, also on a medium
    // that cannot be written (then as far as its last checkpoint). An
    // SQLite result code.
    static int OpenReadOnly(const std::string& path, sqlite3** db);
    bool IsOpen() const { return m_db != nullptr; }
    void Close();
    // The version found in the file when it was opened.
    int FoundSchemaVersion() const { return m_foundVersion; }

    // Appends the events in one transaction, giving each its seq. False,
    // and nothing kept, when the transaction failed (LastError says why).
    bool Append(std::span<RecordEvent> events);

    // The bytes the events take in the file (free pages not counted).
    std::int64_t UsedBytes();
    // Deletes up to `maxRows` of the oldest events when UsedBytes() is past
    // `limitBytes`. The number deleted; -1 on failure.
    std::int64_t PruneStep(std::int64_t limitBytes, int maxRows);

    // Calls `each` for every event the filter lets through, in its order,
    // until `each` returns false. False when the query failed.
    bool Query(const RecordFilter& filter, const std::function<bool(const RecordEvent&)>& each);
    // The highest seq in the record, 0 when it is empty.
    std::int64_t LastSeq();

    // SQLite's words for the last failure.
    const std::string& LastError() const { return m_error; }

private:
    RecordOpenResult Open(const std::string& path, bool write);
    RecordOpenResult PrepareSchema();
    bool Exec(const char* sql);
    bool Fail(const char* what);
    // Sums up the settings events a record of an older schema holds.
    bool FillMinutes();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_pageCount = nullptr;
    sqlite3_stmt* m_minute = nullptr;
    std::int64_t m_pageSize = 4096;
    int m_busyTimeoutMs = kDefaultBusyTimeoutMs;
    int m_foundVersion = 0;
    std::string m_error;
};

} // namespace velmora
