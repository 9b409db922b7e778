#pragma once
// JSON text for the program's machine-readable output: velmoractl's --json
// lines and the run record's JSON Lines export. Writing only; nothing in the
// program reads JSON back.
//
// Thread contract: none (plain functions and a value type).

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// A JSON string literal, quotes included. Control characters are escaped;
// bytes that are not valid UTF-8 (a name from a file of unknown origin)
// become U+FFFD, so that every reader accepts the line.
std::string JsonString(std::string_view utf8);
// The shortest text that reads back as the same double; null for NaN and
// the infinities, which JSON cannot carry.
std::string JsonNumber(double value);

// One JSON object built key by key in the order given, on one line.
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view text);
    JsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    JsonObject& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
    JsonObject& Add(std::string_view key, double value);
    JsonObject& Add(std::string_view key, std::int64_t value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(std::string_view key, std::uint64_t value);
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& AddNull(std::string_view key);
    // `json` must already be JSON text (an array, a nested object).
    JsonObject& AddRaw(std::string_view key, std::string_view json);

    // The object, braces included.
    std::string Text() const { return m_text + "}"; }

private:
    void Key(std::string_view key);

    std::string m_text = "{";
};

} // namespace velmora
