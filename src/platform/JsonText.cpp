#include "platform/JsonText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

// The length of the valid UTF-8 sequence starting at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    if (b(i + 1) < lo || b(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < n; ++k) {
        if (b(i + k) < 0x80 || b(i + k) > 0xBF)
            return 0;
    }
    return n;
}

} // namespace

std::string JsonString(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8Length(utf8, i);
            if (n == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(utf8.substr(i, n));
                i += n;
            }
            continue;
        }
        ++i;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

void JsonObject::Key(std::string_view key)
{
    if (m_text.size() > 1)
        m_text += ", ";
    m_text += JsonString(key);
    m_text += ": ";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text)
{
    Key(key);
    m_text += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value)
{
    Key(key);
    m_text += JsonNumber(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value)
{
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::uint64_t value)
{
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value)
{
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    Key(key);
    m_text += "null";
    return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json)
{
    Key(key);
    m_text += json;
    return *this;
}

} // namespace velmora
