#include "record/RecordFormat.h"

#include <charconv>

#include "platform/JsonText.h"

namespace velmora {

namespace {

bool NeedsQuotes(const std::string& s)
{
    return s.find_first_of(",\"\r\n") != std::string::npos || (!s.empty() && (s.front() == ' ' || s.back() == ' '));
}

void AppendCsvCell(std::string& out, const std::string& s)
{
    if (!NeedsQuotes(s)) {
        out += s;
        return;
    }
    out += '"';
    for (const char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string RecordValueText(const RecordValue& value)
{
    char buf[32];
    if (const auto* n = std::get_if<std::int64_t>(&value)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, *n);
        return std::string(buf, r.ptr);
    }
    if (const auto* d = std::get_if<double>(&value)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, r.ptr);
    }
    if (const auto* s = std::get_if<std::string>(&value))
        return *s;
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    return {};
}

std::string RecordCsvHeader()
{
    std::string h = "seq,time,source,kind";
    for (int i = 0; i < kRecordFieldCount; ++i) {
        h += ',';
        h += FieldInfo(static_cast<RecordField>(i)).name;
    }
    return h + "\r\n";
}

std::string RecordCsvRow(const RecordEvent& e)
{
    std::string row;
    row.reserve(128);
    row += std::to_string(e.seq);
    row += ',';
    row += IsoTimeText(e.timeUs);
    row += ',';
    AppendCsvCell(row, e.source);
    row += ',';
    AppendCsvCell(row, e.kind);
    for (const auto& v : e.fields) {
        row += ',';
        if (std::holds_alternative<std::string>(v))
            AppendCsvCell(row, std::get<std::string>(v));
        else
            row += RecordValueText(v);
    }
    row += "\r\n";
    return row;
}

std::string RecordJson(const RecordEvent& e)
{
    JsonObject o;
    o.Add("seq", e.seq).Add("time", IsoTimeText(e.timeUs)).Add("source", e.source).Add("kind", e.kind);
    for (int i = 0; i < kRecordFieldCount; ++i) {
        const auto& v = e.fields[static_cast<std::size_t>(i)];
        const auto name = FieldInfo(static_cast<RecordField>(i)).name;
        if (const auto* n = std::get_if<std::int64_t>(&v))
            o.Add(name, *n);
        else if (const auto* d = std::get_if<double>(&v))
            o.Add(name, *d);
        else if (const auto* s = std::get_if<std::string>(&v))
            o.Add(name, *s);
        else if (const auto* b = std::get_if<bool>(&v))
            o.Add(name, *b);
    }
    return o.Text();
}

std::string RecordLine(const RecordEvent& e)
{
    // Texts with spaces (a remote client's source, an alarm's name) are
    // quoted, so that every word of the line splits as a shell would split
    // it (Python's shlex): seq, time, source, kind, then name=value.
    const auto word = [](std::string text, bool quotable) {
        if (quotable && text.find_first_of(" \t\"") != std::string::npos) {
            std::string quoted = "\"";
            for (const char c : text) {
                if (c == '"' || c == '\\')
                    quoted += '\\';
                quoted += c;
            }
            text = quoted + "\"";
        }
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20)
                c = ' ';
        }
        return text;
    };
    std::string line = std::to_string(e.seq) + ' ' + IsoTimeText(e.timeUs) + ' ' + word(e.source, true) + ' ' + e.kind;
    for (int i = 0; i < kRecordFieldCount; ++i) {
        const auto& v = e.fields[static_cast<std::size_t>(i)];
        if (std::holds_alternative<std::monostate>(v))
            continue;
        line += ' ';
        line += FieldInfo(static_cast<RecordField>(i)).name;
        line += '=';
        line += word(RecordValueText(v), std::holds_alternative<std::string>(v));
    }
    return line;
}

} // namespace velmora
