#include "record/SchemaFile.h"

#include <sqlite3.h>

#include <optional>

namespace velmora {

namespace {

std::optional<int> UserVersion(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) != SQLITE_OK)
        return std::nullopt;
    std::optional<int> v;
    if (sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return v;
}

bool Exec(sqlite3* db, const char* sql, std::string& error)
{
    return ExecSql(db, sql, error);
}

} // namespace

bool ExecSql(sqlite3* db, const char* sql, std::string& error)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

SchemaPrepared PrepareSchema(sqlite3* db, const SchemaSteps& steps, int& found, std::string& error)
{
    const int target = static_cast<int>(steps.migrations.size());
    const auto failed = [&] {
        const int rc = sqlite3_errcode(db) & 0xFF;
        error = std::string("open: ") + sqlite3_errmsg(db);
        return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT ? SchemaPrepared::NotSqlite : SchemaPrepared::CannotOpen;
    };
    // Undoes the transaction and keeps the first failure's words.
    const auto rollBack = [&] {
        std::string ignored;
        Exec(db, "ROLLBACK", ignored);
    };

    auto version = UserVersion(db);
    if (!version)
        return failed();
    found = *version;
    if (*version > target)
        return SchemaPrepared::Newer;
    // WAL lets readers and several writers share the file; NORMAL syncs at
    // checkpoints only, and a transaction committed survives the program
    // being killed (not a power cut, which costs at most the last commits).
    if (!Exec(db, "PRAGMA journal_mode=WAL", error) || !Exec(db, "PRAGMA synchronous=NORMAL", error))
        return failed();
    if (*version == target)
        return SchemaPrepared::Ok;

    // Another program may be creating or migrating the same file: take the
    // write lock first, then look again.
    if (!Exec(db, "BEGIN IMMEDIATE", error))
        return failed();
    version = UserVersion(db);
    if (!version) {
        const SchemaPrepared why = failed();
        rollBack();
        return why;
    }
    found = *version;
    if (*version == 0) {
        // A file with tables but no version is someone else's database.
        sqlite3_stmt* st = nullptr;
        int tables = 0;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            tables = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        if (tables != 0) {
            rollBack();
            return SchemaPrepared::OtherTables;
        }
    }
    for (int v = *version; v < target; ++v) {
        if (!Exec(db, steps.migrations[static_cast<std::size_t>(v)], error) || (steps.after && !steps.after(v))) {
            rollBack();
            return SchemaPrepared::CannotOpen;
        }
    }
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(target);
    if (!Exec(db, setVersion.c_str(), error) || !Exec(db, "COMMIT", error)) {
        rollBack();
        return SchemaPrepared::CannotOpen;
    }
    return SchemaPrepared::Ok;
}

} // namespace velmora
