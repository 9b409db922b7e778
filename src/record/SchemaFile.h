#pragma once
// A file of the program's own in SQLite, versioned with PRAGMA user_version
// and opened for writing: it gets WAL, and its schema is created or brought
// forward under the write lock, one step a version, so that two programs
// starting at once do not both migrate it. A file of a newer version than
// the program knows, an SQLite file with tables but no version (another
// program's) and a file that is not SQLite are left as they were. The run
// record and the loop check's file both open so.
//
// Thread contract: the thread that uses `db`.

#include <functional>
#include <span>
#include <string>

struct sqlite3;

namespace velmora {

enum class SchemaPrepared {
    Ok,
    Newer,       // a newer program's file
    OtherTables, // tables, but no version
    NotSqlite,   // not an SQLite file, or a damaged one
    CannotOpen,  // no permission, no room, locked
};

struct SchemaSteps {
    // Step v takes the file from version v to v + 1.
    std::span<const char* const> migrations;
    // Work after step v's SQL, in the same transaction; false fails the
    // migration (the callback says why where it keeps its errors).
    std::function<bool(int)> after;
};

// Runs `sql`; false with SQLite's words in `error` when it failed.
bool ExecSql(sqlite3* db, const char* sql, std::string& error);

// `found`: the version the file had when opened. `error`: SQLite's words
// for a failure of its own.
SchemaPrepared PrepareSchema(sqlite3* db, const SchemaSteps& steps, int& found, std::string& error);

} // namespace velmora
