#pragma once
// A loop check's record as it is filed for an auditor: the tag and the loop,
// the procedure, each test (as found, as left) with its points and verdict,
// who ran it with which source, the result's hash, the state of the chain of
// results when the record was made, and signature lines.
//
// The record is built once (BuildLoopReport, or MakeLoopReport from the
// database) into texts in the current language, and written from that one
// model as HTML and CSV here and as PDF by src/report/ (Qt's PDF writer,
// which lays out the same HTML): the three say the same. A chain that does
// not verify, a result whose rows no longer match its hash and a result that
// a later one corrects are not refused: the record says so at its top.
//
// Thread contract: plain values and functions; any thread. MakeLoopReport
// uses the database on the caller's thread, as LoopCheckDatabase requires.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopResult.h"

namespace velmora {

// The results of a tag's latest check, from its history (oldest first): the
// newest result, and when that is an as-left test, the as-found test of the
// same check put first: the newest completed test before it that is not an
// as-left one, when that is an as-found test (an as-found-and-left test
// closed the check before). Earlier as-left attempts and tests broken off
// stay in the history, not in the record. Empty for an empty history.
std::vector<LoopResult> LatestCheck(const std::vector<LoopResult>& history);

// One labelled line of a block ("Technician: Aoki").
struct LoopReportField {
    std::string label;
    std::string value;
    bool alert = false; // shown so that it is not missed (a changed result, a correction)
};

// One row of a test's table, as shown.
struct LoopReportRow {
    PointVerdict verdict = PointVerdict::Pass;
    std::string index;    // "1"
    std::string percent;  // "25"
    std::string output;   // "8.000 mA"
    std::string expected; // "37.50", with the tag's decimals
    std::string reading;  // "37.90"
    std::string error;    // "+0.27"
    std::string verdictText;
};

struct LoopReportTest {
    LoopResult result;                      // as kept
    bool hashMatches = true;                // its rows still give its hash
    std::vector<std::int64_t> supersededBy; // later results that correct it
    std::string heading;                    // "As found: result 12"
    std::string verdictText;                // "FAIL"
    std::vector<LoopReportField> fields;    // times, technician, source, remark, hash, ...
    std::vector<LoopReportField> tagFields; // the tag as set for this test, where it differs from the report's
    std::vector<LoopReportRow> rows;
};

enum class LoopReportColumn { Index, Percent, Output, Expected, Reading, Error, Verdict, Count };

struct LoopReport {
    std::string languageCode;        // "ja" or "en", for the HTML's lang and the PDF
    std::string title;               // "Loop check record"
    std::string tagLine;             // "FT-101: Feed flow"
    std::vector<std::string> alerts; // at the top, prominently: what an auditor must not miss

    std::string loopHeading;
    std::vector<LoopReportField> loop; // tag, description, location, channel, range, span, transfer
    std::string procedureHeading;
    std::vector<LoopReportField> procedure; // points, tolerance, adjust limit, settle, resolution

    std::vector<LoopReportTest> tests; // in the order tested
    std::vector<std::string> columns;  // the table's headings, by LoopReportColumn

    std::string chainHeading;
    ChainCheck chain;      // as verified when the record was made
    std::string chainText; // what it means, in words

    std::string signatureHeading;
    std::vector<std::string> signatureColumns; // role, name, date, signature
    struct Signature {
        std::string role; // "Performed by"
        std::string name; // the technician, or empty to be written by hand
    };
    std::vector<Signature> signatures;

    std::string madeText;    // when and by what the record was made
    std::string footerText;  // on every page: tag and results
    std::string pagePattern; // "page %1 of %2"
    std::int64_t madeUs = 0;
};

// What a record needs beside its results.
struct LoopReportContext {
    ChainCheck chain;                                               // the chain verified when the record is made
    std::int64_t madeUs = 0;                                        // when it is made, microseconds since 1970 (UTC)
    std::string velmoraVersion;                                     // the version that made it
    std::map<std::int64_t, std::vector<std::int64_t>> supersededBy; // result -> later results correcting it
};

// The record of `tests` (one or more results of one tag, in the order
// tested), its texts in the current language. Local times are in the zone
// of the process (TZ) and carry their offset.
LoopReport BuildLoopReport(const std::vector<LoopResult>& tests, const LoopReportContext& context);

// What a record is made of: a result, or a tag's latest check.
struct LoopReportSubject {
    std::optional<std::int64_t> resultId;
    std::string tagName; // when resultId is not given
};

enum class LoopReportProblem {
    None,
    NoSuchResult,
    NoSuchTag,  // no tag and no result of that name
    NoResults,  // the tag has not been tested yet
    ReadFailed, // SQLite failed
};

struct LoopReportMade {
    LoopReportProblem problem = LoopReportProblem::None;
    std::string message; // why, in the current language
    LoopReport report;
};

// Reads the subject's results from an open database, verifies the chain now
// and builds the record.
LoopReportMade MakeLoopReport(LoopCheckDatabase& db, const LoopReportSubject& subject, std::int64_t nowUs);

// A command line's RESULT|TAG: a whole number names a result, when there is
// one of that number; anything else, and a number that names no result,
// names a tag. `asTag` takes the text as a tag's name whatever it is.
LoopReportSubject ParseLoopReportSubject(const std::string& text, bool asTag, LoopCheckDatabase& db);

enum class LoopReportFormat { Pdf, Html, Csv };
// By the file name's extension, in any case: .pdf, .html or .htm, .csv.
std::optional<LoopReportFormat> LoopReportFormatOfPath(std::string_view path);

// The record as one self-contained, printable HTML page (UTF-8), every text
// escaped. The PDF writer lays out the same page, so it keeps to what Qt's
// rich text draws as well as a browser: tables, simple classes, no scripts.
std::string LoopReportHtml(const LoopReport& report);
// The points as CSV (RFC 4180, UTF-8, CR LF, a header row of fixed English
// keys): one row per point with its result's fields, numbers unrounded; a
// result without points has one row with the point's columns empty.
std::string LoopReportCsv(const LoopReport& report);

struct LoopReportWrite {
    bool ok = false;
    std::string message; // why not, in the current language: "PATH: why"
};
// Writes the record as HTML or CSV to `path`, replacing any file there only
// once the whole record is written (AtomicFile.h). A PDF is src/report/'s:
// asked of this function it is refused as not built in.
LoopReportWrite WriteLoopReportText(const LoopReport& report, const std::string& path, LoopReportFormat format);

// & < > " ' as entities; control characters other than line ends dropped.
std::string HtmlEscape(std::string_view text);

// "2026-12-10 05:21:48 UTC" for microseconds since 1970.
std::string ReportUtcTime(std::int64_t us);
// "2026-12-10 14:21:48 UTC+09:00": the process's local time with its offset.
std::string ReportLocalTime(std::int64_t us);

} // namespace velmora
