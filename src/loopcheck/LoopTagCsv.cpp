#include "loopcheck/LoopTagCsv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <set>

#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr std::array<const char*, 14> kColumns = {"name",      "description",  "location", "channel",  "range",
                                                  "lrv",       "urv",          "unit",     "transfer", "points",
                                                  "tolerance", "adjust_limit", "settle",   "decimals"};
constexpr std::array<const char*, 6> kRequired = {"name", "channel", "range", "lrv", "urv", "unit"};
// Far more than any plant has loops; a file larger than this is not a tag list.
constexpr std::size_t kMaxRows = 100000;

// RFC 4180 records. A quote opens a field only at its start; inside quotes
// "" is one quote and line ends are text; CR LF and LF both end a record.
class CsvRecords {
public:
    explicit CsvRecords(std::string_view bytes) : m_bytes(bytes) { }

    // The next record's fields; false at the end. `error` is set (and false
    // returned) for a quote that does not close or text after a closing
    // quote.
    bool Next(std::vector<std::string>& fields, std::string& error)
    {
        fields.clear();
        if (m_at >= m_bytes.size())
            return false;
        std::string field;
        for (;;) {
            if (m_at < m_bytes.size() && m_bytes[m_at] == '"') {
                ++m_at;
                for (;;) {
                    if (m_at >= m_bytes.size()) {
                        error = Tr(N_("a quoted field does not end"));
                        return false;
                    }
                    const char c = m_bytes[m_at++];
                    if (c == '"') {
                        if (m_at < m_bytes.size() && m_bytes[m_at] == '"') {
                            field += '"';
                            ++m_at;
                            continue;
                        }
                        break;
                    }
                    field += c;
                }
                if (m_at < m_bytes.size() && m_bytes[m_at] != ',' && m_bytes[m_at] != '\r' && m_bytes[m_at] != '\n') {
                    error = Tr(N_("text follows a closing quote"));
                    return false;
                }
            }
            while (m_at < m_bytes.size() && m_bytes[m_at] != ',' && m_bytes[m_at] != '\r' && m_bytes[m_at] != '\n') {
                if (m_bytes[m_at] == '"') {
                    error = Tr(N_("a quote inside a field that is not quoted"));
                    return false;
                }
                field += m_bytes[m_at++];
            }
            fields.push_back(std::move(field));
            field.clear();
            if (m_at >= m_bytes.size())
                return true;
            const char c = m_bytes[m_at++];
            if (c == ',')
                continue;
            if (c == '\r') {
                if (m_at < m_bytes.size() && m_bytes[m_at] == '\n')
                    ++m_at;
                else {
                    error = Tr(N_("a CR without LF"));
                    return false;
                }
            }
            return true;
        }
    }
    bool AtEnd() const { return m_at >= m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

std::optional<double> Number(const std::string& text)
{
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    double v = 0.0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> Whole(const std::string& text)
{
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

LoopTagCsvError RowError(int row, const std::string& message)
{
    return LoopTagCsvError{row, TrFormat(N_("row %1: %2"), {std::to_string(row), message})};
}

} // namespace

std::string CsvField(std::string_view text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
        (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string LoopTagsToCsv(const std::vector<LoopTag>& tags)
{
    std::string out;
    for (std::size_t k = 0; k < kColumns.size(); ++k)
        out += (k == 0 ? "" : ",") + std::string(kColumns[k]);
    out += "\r\n";
    for (const LoopTag& t : tags) {
        const std::array<std::string, kColumns.size()> fields = {
            t.name,
            t.description,
            t.location,
            std::to_string(t.channel),
            t.range,
            ShortNumber(t.lrv),
            ShortNumber(t.urv),
            t.unit,
            LoopTransferKey(t.transfer),
            PointListText(t.points),
            ShortNumber(t.tolerance),
            t.adjustLimit ? ShortNumber(*t.adjustLimit) : std::string(),
            ShortNumber(t.settleSeconds),
            std::to_string(t.decimals),
        };
        for (std::size_t k = 0; k < fields.size(); ++k)
            out += (k == 0 ? "" : ",") + CsvField(fields[k]);
        out += "\r\n";
    }
    return out;
}

std::variant<std::vector<LoopTag>, LoopTagCsvError> LoopTagsFromCsv(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    CsvRecords records(bytes);
    std::vector<std::string> fields;
    std::string error;
    if (!records.Next(fields, error))
        return error.empty() ? LoopTagCsvError{0, Tr(N_("the file is empty: it needs a header row"))}
                             : RowError(1, error);

    // The header: each column once, each known.
    std::array<int, kColumns.size()> at{};
    at.fill(-1);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        std::string name = fields[f];
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        while (!name.empty() && name.front() == ' ')
            name.erase(0, 1);
        std::size_t k = 0;
        while (k < kColumns.size() && name != kColumns[k])
            ++k;
        if (k == kColumns.size())
            return RowError(1, TrFormat(N_("there is no column '%1'"), {name}));
        if (at[k] >= 0)
            return RowError(1, TrFormat(N_("the column '%1' is there twice"), {name}));
        at[k] = static_cast<int>(f);
    }
    for (const char* required : kRequired) {
        std::size_t k = 0;
        while (kColumns[k] != std::string_view(required))
            ++k;
        if (at[k] < 0)
            return RowError(1, TrFormat(N_("the header lacks the column '%1'"), {required}));
    }

    const auto columns = static_cast<std::size_t>(std::count_if(at.begin(), at.end(), [](int a) { return a >= 0; }));
    std::vector<LoopTag> tags;
    std::set<std::string> names;
    int row = 1;
    while (!records.AtEnd()) {
        ++row;
        if (!records.Next(fields, error)) {
            if (!error.empty())
                return RowError(row, error);
            break;
        }
        // A blank line (the end of a file written by hand) is no tag.
        if (fields.size() == 1 && fields[0].empty())
            continue;
        if (tags.size() >= kMaxRows)
            return RowError(row, TrFormat(N_("more than %1 tags"), {std::to_string(kMaxRows)}));
        if (fields.size() != columns)
            return RowError(row,
                            TrFormat(N_("%1 fields where the header names %2"),
                                     {std::to_string(fields.size()), std::to_string(columns)}));
        const auto get = [&](std::size_t k) -> const std::string* {
            return at[k] >= 0 ? &fields[static_cast<std::size_t>(at[k])] : nullptr;
        };
        LoopTag tag;
        tag.name = *get(0);
        if (const auto* v = get(1))
            tag.description = *v;
        if (const auto* v = get(2))
            tag.location = *v;
        const auto channel = Whole(*get(3));
        if (!channel)
            return RowError(row, TrFormat(N_("the channel '%1' is not a whole number"), {*get(3)}));
        tag.channel = *channel;
        tag.range = *get(4);
        const auto lrv = Number(*get(5));
        if (!lrv)
            return RowError(row, TrFormat(N_("the LRV '%1' is not a number"), {*get(5)}));
        const auto urv = Number(*get(6));
        if (!urv)
            return RowError(row, TrFormat(N_("the URV '%1' is not a number"), {*get(6)}));
        tag.lrv = *lrv;
        tag.urv = *urv;
        tag.unit = *get(7);
        if (const auto* v = get(8); v != nullptr && !v->empty()) {
            const auto transfer = LoopTransferFromKey(*v);
            if (!transfer)
                return RowError(row, TrFormat(N_("the transfer is linear or sqrt, not '%1'"), {*v}));
            tag.transfer = *transfer;
        }
        if (const auto* v = get(9); v != nullptr && !v->empty()) {
            const auto points = ParsePointList(*v);
            if (!points)
                return RowError(row, TrFormat(N_("the points '%1' are not numbers separated by commas"), {*v}));
            tag.points = *points;
        }
        const struct {
            std::size_t column;
            double* target;
            const char* what;
        } numbers[] = {{10, &tag.tolerance, N_("the tolerance '%1' is not a number")},
                       {12, &tag.settleSeconds, N_("the settle time '%1' is not a number")}};
        for (const auto& n : numbers) {
            if (const auto* v = get(n.column); v != nullptr && !v->empty()) {
                const auto value = Number(*v);
                if (!value)
                    return RowError(row, TrFormat(n.what, {*v}));
                *n.target = *value;
            }
        }
        if (const auto* v = get(11); v != nullptr && !v->empty()) {
            const auto value = Number(*v);
            if (!value)
                return RowError(row, TrFormat(N_("the adjust limit '%1' is not a number"), {*v}));
            tag.adjustLimit = *value;
        }
        if (const auto* v = get(13); v != nullptr && !v->empty()) {
            const auto value = Whole(*v);
            if (!value)
                return RowError(row, TrFormat(N_("the decimals '%1' are not a whole number"), {*v}));
            tag.decimals = *value;
        }
        if (const auto problem = ValidateTag(tag))
            return RowError(row, problem->field + ": " + problem->message);
        if (!names.insert(tag.name).second)
            return RowError(row, TrFormat(N_("the tag '%1' is named twice in the file"), {tag.name}));
        tags.push_back(std::move(tag));
    }
    return tags;
}

} // namespace velmora
