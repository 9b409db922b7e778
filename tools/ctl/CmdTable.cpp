// velmoractl table check: an arbitrary table's CSV file read into an empty
// table the way the automatic-output dialog reads one, then checked as the
// dialog checks it against a channel's limits: a range's, or a conversion
// formula's. No unit is needed, so a table can be tried before a run.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "CtlJson.h"
#include "CtlNumbers.h"
#include "autoout/ArbitraryTable.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora::ctl {

int RunTable(const Invocation& inv);

namespace {

const Command& TableRow()
{
    for (const auto& c : CommandTable())
        if (std::string_view(c.name) == "table")
            return c;
    return CommandTable().front();
}

// A new channel starts on range 0 (0-5 V), so its limits are the ones a
// table meets when nothing else was chosen.
constexpr int kDefaultRange = 0;

struct Limits {
    double lower = 0.0;
    double upper = 0.0;
    int decimals = 0;
};

std::optional<int> ParseOutputRange(const std::string& text)
{
    const std::optional<double> v = text.empty() ? std::nullopt : ParseWholeNumber(text);
    // Written so that NaN is refused too, before anything is cast.
    if (!v || !(*v >= 0.0 && *v < kSlotCount) || *v != std::trunc(*v))
        return std::nullopt;
    const int code = static_cast<int>(*v);
    // The conversion slot has a table row but is no range a channel outputs.
    if (!IsValidRangeCode(code) || code == kConversionSlot)
        return std::nullopt;
    return code;
}

// A limit as the program reads numbers elsewhere, but finite: a table
// cannot be held against infinity or NaN.
// A cell's text as one word of the output: as it is when it has no blank,
// quote, backslash or control character, otherwise in double quotes with
// those escaped. An empty cell (half a row) is therefore "" and a row always
// has three words.
std::string Word(const std::string& text)
{
    bool plain = !text.empty();
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F || c == '"' || c == '\\')
            plain = false;
    if (plain)
        return text;
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string LimitText(double value, int decimals)
{
    std::string s = FormatFixed(value, decimals);
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

// A cell's number as the check reads it; null for a text that is none.
std::string CellNumber(const std::string& text)
{
    const std::optional<double> v = text.empty() ? std::nullopt : ParseWholeNumber(text);
    return v ? JsonNumber(*v) : "null";
}

// The filled rows and the verdict as one object: each row's texts as read,
// and their numbers where the texts are numbers; the limits checked against;
// on a failure which check failed ("missing", "not_number", "out_of_range",
// "interval_outside"), at which row, and the message the plain verdict line
// shows.
void PrintCheckJson(const ArbitraryTable& table, const TableCheck& check, const Limits& limits)
{
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < table.size(); ++r) {
        const ArbitraryRowText& cells = table[r];
        if (cells.value.empty() && cells.interval.empty())
            continue;
        rows.push_back(JsonObject()
                           .Add("row", static_cast<std::int64_t>(r + 1))
                           .AddRaw("value", CellNumber(cells.value))
                           .AddRaw("seconds", CellNumber(cells.interval))
                           .Add("value_text", cells.value)
                           .Add("seconds_text", cells.interval)
                           .Text());
    }
    JsonObject o;
    o.AddRaw("rows", JsonArray(rows))
        .Add("lower", limits.lower)
        .Add("upper", limits.upper)
        .Add("decimals", limits.decimals)
        .Add("ok", check.error == TableError::None);
    switch (check.error) {
    case TableError::None:
        o.AddNull("error").AddNull("error_row").AddNull("message");
        PrintJsonLine(o);
        return;
    case TableError::Missing:
        o.Add("error", "missing");
        break;
    case TableError::NotNumber:
        o.Add("error", "not_number");
        break;
    case TableError::OutOfRange:
        o.Add("error", "out_of_range");
        break;
    case TableError::IntervalOutside:
        o.Add("error", "interval_outside");
        break;
    }
    o.Add("error_row", check.row + 1).Add("message", Tr(TableErrorText(check.error)));
    PrintJsonLine(o);
}

int Check(const Invocation& inv)
{
    const Command& row = TableRow();
    std::string path;
    std::optional<Limits> limits;
    for (std::size_t i = 1; i < inv.args.size(); ++i) {
        const std::string& a = inv.args[i];
        if (a == "--range" || a.rfind("--range=", 0) == 0) {
            if (limits)
                return UsageError(row, Tr(N_("give --range or --conv, and only once")));
            std::string text;
            if (a == "--range") {
                if (i + 1 >= inv.args.size())
                    return UsageError(row, Tr(N_("--range needs a range code")));
                text = inv.args[++i];
            } else {
                text = a.substr(8);
            }
            const std::optional<int> code = ParseOutputRange(text);
            if (!code)
                return UsageError(row,
                                  TrFormat(N_("R must be an output range code (0-3, 5-7, 10-12), not '%1'; a "
                                              "conversion formula's limits are given with --conv"),
                                           {text}));
            const RangeInfo info = GetRangeInfo(*code);
            limits = Limits{info.lower, info.upper, info.decimals};
        } else if (a == "--conv") {
            if (limits)
                return UsageError(row, Tr(N_("give --range or --conv, and only once")));
            if (i + 3 >= inv.args.size())
                return UsageError(row, Tr(N_("--conv needs MIN MAX DECIMALS")));
            const std::string& minText = inv.args[i + 1];
            const std::string& maxText = inv.args[i + 2];
            const std::string& decText = inv.args[i + 3];
            i += 3;
            const std::optional<double> lo = ParseLimit(minText);
            const std::optional<double> hi = ParseLimit(maxText);
            const std::optional<int> decimals = ParseDecimals(decText);
            if (!lo)
                return UsageError(row, TrFormat(N_("MIN must be a number, not '%1'"), {minText}));
            if (!hi)
                return UsageError(row, TrFormat(N_("MAX must be a number, not '%1'"), {maxText}));
            if (!decimals)
                return UsageError(row, TrFormat(N_("DECIMALS must be 0 to 6, not '%1'"), {decText}));
            limits = Limits{*lo, *hi, *decimals};
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError(row, TrFormat(N_("unknown option '%1'"), {a}));
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError(row, Tr(N_("only one CSV")));
        }
    }
    if (path.empty())
        return UsageError(row, Tr(N_("CSV is missing")));
    if (!limits) {
        const RangeInfo info = GetRangeInfo(kDefaultRange);
        limits = Limits{info.lower, info.upper, info.decimals};
    }

    ArbitraryTable table;
    std::string reason;
    if (!LoadCsvFileIntoTable(table, path, reason)) {
        std::fprintf(stderr, "velmoractl: %s: %s: %s\n", Tr(kCsvCannotOpenText), path.c_str(), reason.c_str());
        return kExitFileRefused;
    }
    const TableCheck check = CheckTable(table, limits->lower, limits->upper);
    if (inv.json) {
        PrintCheckJson(table, check, *limits);
    } else {
        for (std::size_t r = 0; r < table.size(); ++r) {
            const ArbitraryRowText& cells = table[r];
            if (cells.value.empty() && cells.interval.empty())
                continue;
            std::printf("%zu %s %s\n", r + 1, Word(cells.value).c_str(), Word(cells.interval).c_str());
        }
        std::printf("%s\n", check.error == TableError::None ? "ok" : Tr(TableErrorText(check.error)));
        std::fflush(stdout);
    }
    if (check.error == TableError::None)
        return kExitOk;
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(N_("the check stopped at row %1; the limits are %2 to %3"),
                          {std::to_string(check.row + 1), LimitText(limits->lower, limits->decimals),
                           LimitText(limits->upper, limits->decimals)})
                     .c_str());
    return kExitFileRefused;
}

} // namespace

int RunTable(const Invocation& inv)
{
    const std::string sub = inv.args.empty() ? "" : inv.args[0];
    if (sub == "check")
        return Check(inv);
    return UsageError(TableRow(),
                      sub.empty() ? std::string(Tr(N_("table needs check")))
                                  : TrFormat(N_("unknown table command '%1'"), {sub}));
}

} // namespace velmora::ctl
