#include "autoout/ArbitraryTable.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

#include "autoout/CsvFile.h"
#include "model/CheckMessage.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

// A hold time must stay below 10000 s.
constexpr double kIntervalLimitSeconds = 10000.0;

bool InLimits(double value, double lower, double upper)
{
    // Written so that NaN is never inside.
    return std::min(lower, upper) <= value && value <= std::max(lower, upper);
}

std::vector<FileFilter> CsvFilters()
{
    return {{N_("CSVﾌｧｲﾙ(*.csv)"), "*.csv"}, {N_("全てのﾌｧｲﾙ(*.*)"), "*.*"}};
}

// Over a CsvReader or a CCsvFile. The trimming takes the full-width space
// (CP932 81 40, U+3000) as well as the ASCII blanks: a Japanese input method
// types it for the space bar, and a number padded with it would be refused as
// no number by the check although it looks right in the file and in the list.
template <typename Lines> int FillFromLines(ArbitraryTable& table, Lines& lines)
{
    // The lines after the hundredth would be read only to be ignored.
    int rows = 0;
    std::string text;
    while (rows < kArbitraryPointCount && lines.ReadRow()) {
        ArbitraryRowText& row = table[static_cast<std::size_t>(rows)];
        if (lines.GetField(0, text))
            row.value = TrimSpaces(text);
        if (lines.GetField(1, text))
            row.interval = TrimSpaces(text);
        ++rows;
    }
    return rows;
}

} // namespace

std::int32_t SecondsToTenths(double seconds)
{
    const double tenths = std::trunc(seconds * 10.0);
    if (std::isnan(tenths))
        return 0;
    if (tenths >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    if (tenths <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<std::int32_t>(tenths);
}

void FillTableFromPoints(ArbitraryTable& table, const ArbitraryPoints& points, int decimals)
{
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    for (std::size_t r = 0; r < table.size(); ++r) {
        const ArbitraryPoint& p = points[r];
        if (p.used)
            table[r] = {FormatFixed(p.value, decimals), FormatFixed(p.interval / 10.0, 1)};
        else
            table[r] = {};
    }
}

int LoadCsvIntoTable(ArbitraryTable& table, CsvReader& reader)
{
    return FillFromLines(table, reader);
}

int LoadCsvIntoTable(ArbitraryTable& table, std::string_view csvBytes)
{
    CsvReader reader(csvBytes);
    return FillFromLines(table, reader);
}

bool LoadCsvFileIntoTable(ArbitraryTable& table, const std::string& path)
{
    std::string reason;
    return LoadCsvFileIntoTable(table, path, reason);
}

bool LoadCsvFileIntoTable(ArbitraryTable& table, const std::string& path, std::string& reason)
{
    CCsvFile file;
    if (!file.Open(path)) {
        reason = CsvOpenErrorText(file.LastError(), file.LastSystemError());
        return false;
    }
    FillFromLines(table, file);
    file.Close();
    return true;
}

TableCheck CheckTable(const ArbitraryTable& table, double lower, double upper)
{
    bool ended = false;
    for (int r = 0; r < kArbitraryPointCount; ++r) {
        const ArbitraryRowText& row = table[static_cast<std::size_t>(r)];
        const bool noValue = row.value.empty();
        const bool noInterval = row.interval.empty();
        auto fail = [r](TableError error) { return TableCheck{error, r}; };
        if (noValue != noInterval)
            return fail(TableError::Missing);
        if (noValue) {
            ended = true;
            continue;
        }
        if (ended)
            return fail(TableError::Missing);
        const std::optional<double> value = ParseWholeNumber(row.value);
        if (!value)
            return fail(TableError::NotNumber);
        if (!InLimits(*value, lower, upper))
            return fail(TableError::OutOfRange);
        const std::optional<double> seconds = ParseWholeNumber(row.interval);
        if (!seconds)
            return fail(TableError::NotNumber);
        // Written as "not inside" so that NaN is refused as well. A time
        // below 0.1 s would be stored as 0 tenths: stepped on every tick,
        // shown as 0.0 and refused by the next OK, so it is refused now.
        if (!(*seconds > 0.0 && *seconds < kIntervalLimitSeconds) || SecondsToTenths(*seconds) < 1)
            return fail(TableError::IntervalOutside);
    }
    return {};
}

const char* TableErrorText(TableError error)
{
    switch (error) {
    case TableError::Missing:
        return kTableMissingText;
    case TableError::NotNumber:
        return kTableNotNumberText;
    case TableError::OutOfRange:
        return kTableOutOfRangeText;
    case TableError::IntervalOutside:
        return kTableIntervalText;
    case TableError::None:
        break;
    }
    return "";
}

bool CheckTableAndShow(const ArbitraryTable& table, double lower, double upper, Prompter& prompter)
{
    const TableCheck check = CheckTable(table, lower, upper);
    if (check.error == TableError::None)
        return true;
    ShowCheckMessage(prompter, TableErrorText(check.error));
    return false;
}

bool StoreTable(const ArbitraryTable& table, ArbitraryPoints& points)
{
    bool ended = false;
    for (std::size_t r = 0; r < table.size(); ++r) {
        const ArbitraryRowText& row = table[r];
        const std::optional<double> value = ParseWholeNumber(row.value);
        const std::optional<double> seconds = ParseWholeNumber(row.interval);
        if (!value || !seconds)
            return false;
        ArbitraryPoint& p = points[r];
        if (row.value.empty() && row.interval.empty()) {
            ended = true;
            p.used = false;
        } else {
            p.used = !ended;
        }
        p.value = *value;
        p.interval = SecondsToTenths(*seconds);
    }
    return true;
}

void ReadCsvIntoTable(ArbitraryTable& table, double lower, double upper, Prompter& prompter)
{
    if (const std::optional<std::string> path = prompter.ChooseOpenFile(N_("開く"), CsvFilters())) {
        // The short text first, then which file and why on the next line:
        // a file refused for its size opens fine in any editor, and the
        // operator would otherwise look for the fault elsewhere.
        std::string reason;
        if (!LoadCsvFileIntoTable(table, *path, reason))
            ShowCheckMessage(prompter,
                             std::string(Tr(kCsvCannotOpenText)) + "\n" +
                                 std::filesystem::path(*path).filename().string() + ": " + reason);
    }
    CheckTableAndShow(table, lower, upper, prompter);
}

} // namespace velmora
