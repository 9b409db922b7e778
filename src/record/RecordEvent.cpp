#include "record/RecordEvent.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace velmora {

namespace {

constexpr std::array<RecordFieldInfo, kRecordFieldCount> kFields = {{
    {"channel", RecordFieldType::Integer}, {"range", RecordFieldType::Text},     {"value", RecordFieldType::Real},
    {"unit", RecordFieldType::Text},       {"eng", RecordFieldType::Real},       {"on", RecordFieldType::Boolean},
    {"code", RecordFieldType::Integer},    {"raised", RecordFieldType::Boolean}, {"text", RecordFieldType::Text},
    {"peer", RecordFieldType::Text},       {"action", RecordFieldType::Text},    {"status", RecordFieldType::Text},
    {"port", RecordFieldType::Text},       {"version", RecordFieldType::Text},   {"channels", RecordFieldType::Integer},
    {"serial", RecordFieldType::Text},     {"mode", RecordFieldType::Text},      {"slot", RecordFieldType::Integer},
    {"count", RecordFieldType::Integer},   {"detail", RecordFieldType::Text},
}};

constexpr std::int64_t kMicrosPerSecond = 1'000'000;

// Reads exactly `n` digits at text[pos]; advances pos.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t n)
{
    if (pos + n > text.size())
        return std::nullopt;
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    pos += n;
    return v;
}

std::optional<std::int64_t> ParseRelative(std::string_view text, std::int64_t nowUs)
{
    if (text.size() < 3 || text[0] != '-')
        return std::nullopt;
    std::int64_t unit = 0;
    switch (text.back()) {
    case 's':
        unit = kMicrosPerSecond;
        break;
    case 'm':
        unit = 60 * kMicrosPerSecond;
        break;
    case 'h':
        unit = 3600 * kMicrosPerSecond;
        break;
    case 'd':
        unit = 86400 * kMicrosPerSecond;
        break;
    default:
        return std::nullopt;
    }
    std::int64_t n = 0;
    const auto body = text.substr(1, text.size() - 2);
    const auto r = std::from_chars(body.data(), body.data() + body.size(), n);
    // Ten thousand days back is before any record; more would overflow.
    if (r.ec != std::errc() || r.ptr != body.data() + body.size() || n < 0 || n > 10'000 * 86400LL)
        return std::nullopt;
    return nowUs - n * unit;
}

} // namespace

const std::array<std::string_view, 10>& RecordKinds()
{
    using namespace record_kind;
    static const std::array<std::string_view, 10> kinds = {kConnect, kDisconnect, kLost,   kSettings, kAlarm,
                                                           kAuto,    kRemote,     kAdjust, kFirmware, kGap};
    return kinds;
}

bool IsRecordKind(std::string_view kind)
{
    const auto& k = RecordKinds();
    return std::find(k.begin(), k.end(), kind) != k.end();
}

const RecordFieldInfo& FieldInfo(RecordField field)
{
    return kFields.at(static_cast<std::size_t>(field));
}

std::int64_t WallClockMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::string IsoTimeText(std::int64_t timeUs)
{
    using namespace std::chrono;
    std::int64_t secs = timeUs / kMicrosPerSecond;
    std::int64_t micros = timeUs % kMicrosPerSecond;
    if (micros < 0) {
        micros += kMicrosPerSecond;
        --secs;
    }
    const sys_seconds t{seconds{secs}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()), static_cast<long long>(micros));
    return buf;
}

std::optional<std::int64_t> ParseTimeArgument(std::string_view text, std::int64_t nowUs)
{
    if (!text.empty() && text[0] == '-')
        return ParseRelative(text, nowUs);

    std::size_t pos = 0;
    const auto y = Digits(text, pos, 4);
    if (!y || pos >= text.size() || text[pos++] != '-')
        return std::nullopt;
    const auto mo = Digits(text, pos, 2);
    if (!mo || pos >= text.size() || text[pos++] != '-')
        return std::nullopt;
    const auto d = Digits(text, pos, 2);
    if (!d)
        return std::nullopt;
    int hh = 0;
    int mm = 0;
    int ss = 0;
    std::int64_t fraction = 0;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        const auto h = Digits(text, pos, 2);
        if (!h || pos >= text.size() || text[pos++] != ':')
            return std::nullopt;
        const auto m = Digits(text, pos, 2);
        if (!m)
            return std::nullopt;
        hh = *h;
        mm = *m;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            const auto s = Digits(text, pos, 2);
            if (!s)
                return std::nullopt;
            ss = *s;
            if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
                ++pos;
                std::int64_t scale = kMicrosPerSecond;
                const std::size_t start = pos;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    if (scale > 1) {
                        scale /= 10;
                        fraction += (text[pos] - '0') * scale;
                    }
                    ++pos;
                }
                if (pos == start)
                    return std::nullopt;
            }
        }
    }
    using namespace std::chrono;
    const year_month_day ymd{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!ymd.ok() || hh > 23 || mm > 59 || ss > 60)
        return std::nullopt;

    std::optional<std::int64_t> offsetSeconds;
    if (pos < text.size()) {
        const char z = text[pos++];
        if (z == 'Z' || z == 'z') {
            offsetSeconds = 0;
        } else if (z == '+' || z == '-') {
            const auto oh = Digits(text, pos, 2);
            if (!oh)
                return std::nullopt;
            if (pos < text.size() && text[pos] == ':')
                ++pos;
            const auto om = Digits(text, pos, 2);
            if (!om || *oh > 23 || *om > 59)
                return std::nullopt;
            offsetSeconds = (z == '+' ? 1 : -1) * (*oh * 3600LL + *om * 60LL);
        } else {
            return std::nullopt;
        }
        if (pos != text.size())
            return std::nullopt;
    }

    std::int64_t epochSeconds = 0;
    if (offsetSeconds) {
        const auto daysSinceEpoch = sys_days(ymd).time_since_epoch().count();
        epochSeconds = daysSinceEpoch * 86400LL + hh * 3600LL + mm * 60LL + ss - *offsetSeconds;
    } else {
        // No zone: the operator's own local time, as the terminal shows it.
        // A time the clocks skipped, or passed twice, at a daylight-saving
        // change names no one moment: it takes an offset.
        std::optional<std::time_t> found;
        for (int isDst : {0, 1}) {
            std::tm tm{};
            tm.tm_year = *y - 1900;
            tm.tm_mon = *mo - 1;
            tm.tm_mday = *d;
            tm.tm_hour = hh;
            tm.tm_min = mm;
            tm.tm_sec = ss;
            tm.tm_isdst = isDst;
            const std::time_t t = std::mktime(&tm);
            std::tm back{};
            if (t == static_cast<std::time_t>(-1) || ::localtime_r(&t, &back) == nullptr)
                continue;
            const bool same = back.tm_year == *y - 1900 && back.tm_mon == *mo - 1 && back.tm_mday == *d &&
                back.tm_hour == hh && back.tm_min == mm && back.tm_sec == ss;
            if (!same || (found && *found == t))
                continue;
            if (found)
                return std::nullopt;
            found = t;
        }
        if (!found)
            return std::nullopt;
        epochSeconds = *found;
    }
    return epochSeconds * kMicrosPerSecond + fraction;
}

} // namespace velmora
