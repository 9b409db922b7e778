#include "CtlNumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/NumberText.h"
#include "model/ChannelSettings.h"
#include "model/RangeTable.h"

namespace velmora::ctl {

namespace {

constexpr long long kMaxSeconds = 100LL * 365 * 24 * 3600;

} // namespace

std::optional<int> ParseChannel(const std::string& text)
{
    const auto n = ParseInteger(text, 1, kMaxChannels);
    if (!n)
        return std::nullopt;
    return static_cast<int>(*n) - 1;
}

std::optional<int> ParseRange(const std::string& text)
{
    if (auto code = ParseInteger(text, 0, kSlotCount - 1))
        return static_cast<int>(*code);
    return RangeCodeFromKey(text);
}

std::optional<double> ParseValue(const std::string& text)
{
    double v = 0.0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<double> ParseLimit(const std::string& text)
{
    const std::optional<double> v = text.empty() ? std::nullopt : ParseWholeNumber(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    return v;
}

std::optional<int> ParseDecimals(const std::string& text)
{
    if (text.size() != 1 || text[0] < '0' || text[0] - '0' > kMaxDecimals)
        return std::nullopt;
    return text[0] - '0';
}

std::optional<std::vector<int>> ParseChannelList(const std::string& text)
{
    std::vector<int> channels;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const auto c = ParseChannel(text.substr(from, comma - from));
        if (!c || std::find(channels.begin(), channels.end(), *c) != channels.end())
            return std::nullopt;
        channels.push_back(*c);
        if (comma == std::string::npos)
            return channels;
        from = comma + 1;
    }
}

std::optional<long long> ParseSeconds(const std::string& text)
{
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || v < 1 || v > kMaxSeconds)
        return std::nullopt;
    return v;
}

} // namespace velmora::ctl
