#include "record/RecordPlace.h"

#include <charconv>
#include <cstdlib>

namespace velmora {

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

} // namespace

std::string DefaultRecordPath()
{
    if (std::string path = Env("VELMORA_RECORD"); !path.empty())
        return path;
    // A relative XDG_STATE_HOME is to be ignored, as the XDG base directories say.
    if (std::string state = Env("XDG_STATE_HOME"); !state.empty() && state.front() == '/')
        return state + "/velmora/record.sqlite3";
    if (std::string home = Env("HOME"); !home.empty())
        return home + "/.local/state/velmora/record.sqlite3";
    return {};
}

std::optional<std::int64_t> ParseRecordLimit(std::string_view text)
{
    constexpr std::int64_t kMinimum = 1LL << 20;
    std::int64_t scale = 1;
    if (!text.empty()) {
        switch (text.back()) {
        case 'K':
        case 'k':
            scale = 1LL << 10;
            break;
        case 'M':
        case 'm':
            scale = 1LL << 20;
            break;
        case 'G':
        case 'g':
            scale = 1LL << 30;
            break;
        default:
            break;
        }
        if (scale != 1)
            text.remove_suffix(1);
    }
    std::int64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n <= 0 || n > (INT64_MAX / scale))
        return std::nullopt;
    if (n * scale < kMinimum)
        return std::nullopt;
    return n * scale;
}

} // namespace velmora
