#pragma once
// The loop-check database: the tags and the results, in SQLite, at
// $XDG_DATA_HOME/velmora/loopcheck.sqlite3 (~/.local/share/velmora/...), or
// the file VELMORA_LOOPCHECK_DB names. User data: never pruned.
//
// The schema is a public interface (the README documents it; an auditor may
// read the file with sqlite3). Its version is PRAGMA user_version, migrated
// forward step by step; a file of a newer version, or an SQLite file with
// other tables, is refused and left alone.
//
// Results are only ever appended. Append chains each result to the one
// before it by hash (LoopResult.h); Verify walks the chain.
//
// Thread contract: one LoopCheckDatabase is used by one thread (the UI
// thread, velmoractl's command thread). Several processes may open the same
// file: WAL and a busy time-out keep them apart, and Append takes the write
// lock before it reads the last hash, so two programs cannot fork the chain.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "loopcheck/LoopResult.h"
#include "loopcheck/LoopTag.h"

struct sqlite3;

namespace velmora {

// $VELMORA_LOOPCHECK_DB, else $XDG_DATA_HOME/velmora/loopcheck.sqlite3 (an
// absolute XDG_DATA_HOME only), else ~/.local/share/velmora/loopcheck.sqlite3;
// empty when none can be named (no HOME).
std::string DefaultLoopCheckPath();

enum class LoopDbOpenResult {
    Ok,
    NewerSchema,  // written by a newer program: left alone
    NotLoopCheck, // an SQLite file with other tables, or not SQLite at all
    CannotOpen,   // no permission, no room, no such file (reading)
};

enum class TagWrite {
    Done,
    Exists,  // add: a tag of that name is there already
    Missing, // set, remove: no tag of that name
    Invalid, // the tag breaks a rule (ValidateTag); LastError says which
    Failed,  // SQLite failed; LastError says why
};

// What Verify found.
struct ChainCheck {
    bool ok = true;
    std::int64_t checked = 0;          // results whose hash matched
    std::optional<std::int64_t> badId; // the first result that does not match
    std::string reason;                // in the current language
};

class LoopCheckDatabase {
public:
    static constexpr int kSchemaVersion = 1;
    static constexpr int kBusyTimeoutMs = 5000;

    LoopCheckDatabase() = default;
    ~LoopCheckDatabase();
    LoopCheckDatabase(const LoopCheckDatabase&) = delete;
    LoopCheckDatabase& operator=(const LoopCheckDatabase&) = delete;

    // Opens `path`, creating its folder, the file and the schema when they
    // are missing (forWriting), or an existing file read-only.
    LoopDbOpenResult Open(const std::string& path, bool forWriting = true);
    bool IsOpen() const { return m_db != nullptr; }
    void Close();
    int FoundSchemaVersion() const { return m_foundVersion; }
    // What went wrong last, in the current language or SQLite's words.
    const std::string& LastError() const { return m_error; }
    // The same failures, as one message for a front end ("PATH: why").
    std::string OpenFailureText(LoopDbOpenResult result, const std::string& path) const;

    // --- Tags ---
    std::vector<LoopTag> Tags(); // by name
    std::optional<LoopTag> FindTag(const std::string& name);
    TagWrite AddTag(const LoopTag& tag);
    TagWrite UpdateTag(const LoopTag& tag); // the tag of tag.name
    TagWrite RemoveTag(const std::string& name);
    // Every tag in one transaction: new names added, known names replaced.
    // All or nothing; false (LastError says why) when one is refused.
    bool ImportTags(const std::vector<LoopTag>& tags);

    // --- Results ---
    // Appends the result: its id, previousHash and hash are filled in. The
    // tag's settings, the points and the rest are kept as given. False,
    // nothing kept, when SQLite failed or a superseded id does not exist.
    bool AppendResult(LoopResult& result);
    std::optional<LoopResult> Result(std::int64_t id);
    // The results of a tag (by the name it had when tested), oldest first.
    std::vector<LoopResult> History(const std::string& tagName);
    // The results that correct `id`.
    std::vector<std::int64_t> SupersededBy(std::int64_t id);

    // Walks every result in id order: each one's hash must be the hash of
    // its rows, and its previous hash the hash of the result before it.
    // `progress`, when given, is called with each id checked.
    ChainCheck Verify(const std::function<void(std::int64_t)>& progress = {});

private:
    LoopDbOpenResult PrepareSchema();
    bool Exec(const char* sql);
    bool Fail(const std::string& what);
    bool WriteTag(const LoopTag& tag, bool replace);
    std::optional<LoopTag> ReadTagRow(void* statement);
    bool ReadResults(const std::string& where, const std::function<void(void*)>& bind,
                     const std::function<bool(LoopResult&&)>& each);
    bool ReadPoints(LoopResult& result);

    sqlite3* m_db = nullptr;
    int m_foundVersion = 0;
    std::string m_error;
};

} // namespace velmora
