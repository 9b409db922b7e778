#pragma once
// The arbitrary table as the settings dialog edits it: 100 rows of two cell
// texts, a value and a hold time in seconds. The texts are whatever was
// typed, read from a CSV file or filled from the document; nothing is parsed
// until the check. The list widget only shows and edits these texts.
//
// Texts are UTF-8. Thread contract: UI thread only.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/AutoOutputData.h"
#include "platform/Translate.h"

namespace velmora {

class CsvReader;
class Prompter;

struct ArbitraryRowText {
    std::string value;
    std::string interval; // seconds
};

using ArbitraryTable = std::array<ArbitraryRowText, kArbitraryPointCount>;
using ArbitraryPoints = std::array<ArbitraryPoint, kArbitraryPointCount>;

inline constexpr const char* kTableMissingText = N_("未入力データがあります");
inline constexpr const char* kTableNotNumberText = N_("数値以外のデータがあります");
inline constexpr const char* kTableOutOfRangeText = N_("範囲外データがあります");
inline constexpr const char* kTableIntervalText = N_("値範囲を超えています");
inline constexpr const char* kCsvCannotOpenText = N_("ファイルが開けません");

// Seconds as stored tenths, truncated toward zero (0.05 s gives 0). A number
// outside int32 saturates and NaN gives 0, so that no conversion is ever
// undefined; the checks refuse such numbers before they get here.
std::int32_t SecondsToTenths(double seconds);

// The texts of the document's rows: for every row in use the value with
// `decimals` decimals and the hold time in seconds with one; the other rows
// empty. Decimals outside 0-6 (a foreign file's conversion) are held to
// them: an empty value text next to a filled time would fail the check.
void FillTableFromPoints(ArbitraryTable& table, const ArbitraryPoints& points, int decimals);

// Fields 0 and 1 of each line, trimmed (the ASCII blanks and the full-width
// space), into the value and time texts of the next row, for the first 100
// lines. The table is not emptied first: rows the lines do not reach, and a
// time the line has no field for, keep their text. The count of rows
// written comes back.
int LoadCsvIntoTable(ArbitraryTable& table, CsvReader& reader);
int LoadCsvIntoTable(ArbitraryTable& table, std::string_view csvBytes);
// False, with the table untouched, when the file cannot be opened.
bool LoadCsvFileIntoTable(ArbitraryTable& table, const std::string& path);
// The same, and on failure `reason` says why (CsvOpenErrorText).
bool LoadCsvFileIntoTable(ArbitraryTable& table, const std::string& path, std::string& reason);

enum class TableError {
    None,
    Missing,         // a row half filled, or a filled row after an empty one
    NotNumber,       // a value or time that is no number
    OutOfRange,      // a value outside the limits
    IntervalOutside, // a time of 0 s or less, or 10000 s or more
};

struct TableCheck {
    TableError error = TableError::None;
    int row = -1; // the first row that failed, 0-99
};

// The table read as a run of filled rows from row 1 with only empty rows
// after it; an empty table passes. The limits are taken in either order (a
// reversed conversion formula).
TableCheck CheckTable(const ArbitraryTable& table, double lower, double upper);
// The operator's message of a failure; empty for None.
const char* TableErrorText(TableError error);
// The check with its message, if any, shown with the "確認" caption.
bool CheckTableAndShow(const ArbitraryTable& table, double lower, double upper, Prompter& prompter);

// The rows of the document from the texts: filled rows of the run are in
// use, the rest are not; an empty text stores 0. Stops at the first text that
// is no number, leaving the rows from there on as they were; false then.
// After a passed check it always runs through.
bool StoreTable(const ArbitraryTable& table, ArbitraryPoints& points);

// "任意読込": asks for a CSV file, reads it into the table (a file that
// cannot be opened is reported), and then checks the table, showing the
// check's message. The check runs also when the operator cancels the file
// choice, and the table keeps its content whatever the result.
void ReadCsvIntoTable(ArbitraryTable& table, double lower, double upper, Prompter& prompter);

} // namespace velmora
