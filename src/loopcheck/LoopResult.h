#pragma once
// One loop check's result as it is kept: the tag as it was set when the
// test ran, who ran it and how, on which unit, every point and the verdict.
// Results are append-only: a correction is a new result that names the one
// it supersedes and why.
//
// Each result carries a SHA-256 over its canonical text and the previous
// result's hash (a chain, see CanonicalResultText): a row changed, inserted
// or removed behind the program's back breaks it, and
// LoopCheckDatabase::Verify names the first result that no longer matches.
//
// Thread contract: plain values and functions; any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loopcheck/LoopTag.h"

namespace velmora {

enum class LoopTestKind {
    AsFound,        // before any adjustment
    AsLeft,         // after the receiver was adjusted
    AsFoundAndLeft, // an as-found test in which every point passed without "adjust": nothing to adjust
};
// "as_found", "as_left", "as_found_and_left".
const char* LoopTestKindKey(LoopTestKind kind);
std::optional<LoopTestKind> LoopTestKindFromKey(std::string_view key);

enum class TestVerdict {
    Pass,    // every point passed
    Adjust,  // every point passed, one or more beyond the adjust limit
    Fail,    // a point failed
    Aborted, // the test did not reach its end (see LoopResult::ending)
};
// "pass", "adjust", "fail", "aborted".
const char* TestVerdictKey(TestVerdict verdict);
std::optional<TestVerdict> TestVerdictFromKey(std::string_view key);
// The verdict of a whole test from its points: the worst point's.
TestVerdict OverallVerdict(const std::vector<PointVerdict>& points);

enum class LoopTestEnding {
    Completed, // every point was read
    Aborted,   // the technician stopped it (abort, a closed window, SIGINT)
    UnitLost,  // the unit stopped answering
    Disturbed, // the channel was changed by someone else meanwhile
};
// "completed", "aborted", "unit_lost", "disturbed".
const char* LoopTestEndingKey(LoopTestEnding ending);
std::optional<LoopTestEnding> LoopTestEndingFromKey(std::string_view key);

struct LoopPointResult {
    int index = 0;             // 1, 2, ... in the order checked
    double percent = 0.0;      // nominal % of the signal
    double output = 0.0;       // the value put out, in signalUnit
    std::string signalUnit;    // "mA" or "V"
    std::uint16_t code = 0;    // the output code sent with it
    double expected = 0.0;     // in the tag's unit
    double reading = 0.0;      // what the technician read, in the tag's unit
    double errorPercent = 0.0; // % of span, unrounded
    PointVerdict verdict = PointVerdict::Pass;
};

struct LoopResult {
    std::int64_t id = 0; // given by the database
    LoopTag tag;         // as it was set when the test ran
    std::string technician;
    LoopTestKind kind = LoopTestKind::AsFound;
    std::int64_t startUs = 0; // UTC, microseconds since 1970
    std::int64_t endUs = 0;
    std::string unitVersion; // the unit's version text
    std::string unitSerial;  // the USB serial number, empty where unknown
    std::string port;
    std::string velmoraVersion;
    std::vector<LoopPointResult> points;
    TestVerdict verdict = TestVerdict::Aborted;
    LoopTestEnding ending = LoopTestEnding::Completed;
    std::string endingDetail; // why it ended early, in words
    std::string remark;
    std::optional<std::int64_t> supersedes; // the result this one corrects
    std::string supersedeReason;
    std::string previousHash; // the hash of the result before it; empty for the first
    std::string hash;         // 64 lower-case hexadecimal digits
    // Not hashed: false when a column of its rows did not read back as this
    // program writes it (another storage class, a key no program writes),
    // which Verify counts as a change.
    bool asWritten = true;
};

// The text the hash is taken over: one "key=value" line per field in a
// fixed order, strings as JSON strings, numbers in their shortest exact
// form, then one line per point, and last "previous=" with the previous
// result's hash. The id is part of it, so that a result cannot be moved.
std::string CanonicalResultText(const LoopResult& result);
// SHA-256 of CanonicalResultText, as 64 hexadecimal digits.
std::string ResultHash(const LoopResult& result);

// "2026-12-10T05:21:48Z" for microseconds since 1970 (UTC).
std::string IsoUtcSeconds(std::int64_t us);
// The wall clock now, microseconds since 1970.
std::int64_t WallClockNowUs();

} // namespace velmora
