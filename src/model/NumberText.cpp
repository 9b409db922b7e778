#include "model/NumberText.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80"; // U+3000 in UTF-8

bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The QApplication sets the process locale from the environment, where a
// German or French locale would make strtod stop at the ".". The dialogs read
// numbers with the C rules whatever the operator's locale is.
locale_t CLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

std::string TrimSpaces(std::string_view text)
{
    for (;;) {
        if (!text.empty() && IsAsciiSpace(text.front()))
            text.remove_prefix(1);
        else if (text.starts_with(kIdeographicSpace))
            text.remove_prefix(kIdeographicSpace.size());
        else
            break;
    }
    for (;;) {
        if (!text.empty() && IsAsciiSpace(text.back()))
            text.remove_suffix(1);
        else if (text.ends_with(kIdeographicSpace))
            text.remove_suffix(kIdeographicSpace.size());
        else
            break;
    }
    return std::string(text);
}

NumberScan ScanNumber(std::string_view text)
{
    // strtod needs a terminated string; the view may be a slice, and an
    // embedded NUL must count as a character left over, not as the end.
    std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    NumberScan scan;
    locale_t c = CLocale();
    scan.value = c != static_cast<locale_t>(nullptr) ? strtod_l(begin, &end, c) : std::strtod(begin, &end);
    scan.consumed = static_cast<std::size_t>(end - begin);
    return scan;
}

std::optional<double> ParseWholeNumber(std::string_view text)
{
    NumberScan scan = ScanNumber(text);
    if (scan.consumed != text.size())
        return std::nullopt;
    return scan.value;
}

std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi)
{
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 10);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || v < lo || v > hi)
        return std::nullopt;
    return v;
}

int DecimalsTyped(std::string_view text)
{
    std::size_t dot = text.find('.');
    if (dot == std::string_view::npos)
        return 0;
    return static_cast<int>(text.size() - dot - 1);
}

std::string FormatEditValue(double value, int decimals)
{
    if (decimals < 0 || decimals > 6)
        return {};
    // Printed under the C rules for the same reason as they are read: the
    // edit's text must come back through ScanNumber.
    locale_t c = CLocale();
    locale_t previous = c != static_cast<locale_t>(nullptr) ? uselocale(c) : static_cast<locale_t>(nullptr);
    // Sized by a first pass: a value from a settings file may be as large as a
    // double gets and print as hundreds of digits.
    std::string text;
    int length = std::snprintf(nullptr, 0, "%5.*f", decimals, value);
    if (length > 0) {
        text.assign(static_cast<std::size_t>(length) + 1, '\0');
        std::snprintf(text.data(), text.size(), "%5.*f", decimals, value);
        text.resize(static_cast<std::size_t>(length));
    }
    if (previous != static_cast<locale_t>(nullptr))
        uselocale(previous);
    return text;
}

std::optional<std::string> ChannelNumberLabel(int channel)
{
    static constexpr const char* kDigits[] = {N_("１"), N_("２"), N_("３"), N_("４")};
    if (channel < 0 || channel > 3)
        return std::nullopt;
    return std::string(kDigits[channel]);
}

} // namespace velmora
