#include "platform/Cp932.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace velmora {

namespace {

// How many input bytes a rejected sequence spans, so that one replacement
// stands for one character rather than for each of its bytes.
using SkipFn = std::size_t (*)(const unsigned char* p, std::size_t left);

std::size_t SkipUtf8(const unsigned char* p, std::size_t left)
{
    const unsigned char b = p[0];
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 1;
    }
    if (left < n)
        return 1;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 1;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters:
    // take them a byte at a time.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 1;
    return n;
}

std::size_t SkipCp932(const unsigned char* p, std::size_t left)
{
    const unsigned char b = p[0];
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (lead && left >= 2) {
        const unsigned char t = p[1];
        if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC))
            return 2;
    }
    return 1;
}

std::size_t SkipUtf16Le(const unsigned char* p, std::size_t left)
{
    if (left < 2)
        return left;
    const unsigned unit = p[0] | (p[1] << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
        const unsigned next = p[2] | (p[3] << 8);
        if (next >= 0xDC00 && next <= 0xDFFF)
            return 4;
    }
    return 2;
}

TextConversion Convert(const char* to, const char* from, std::string_view input, std::string_view replacement,
                       SkipFn skip)
{
    TextConversion result;
    if (input.empty())
        return result;

    iconv_t cd = iconv_open(to, from);
    // iconv_open's documented failure value.
    if (cd == reinterpret_cast<iconv_t>(-1)) { // NOLINT(performance-no-int-to-ptr)
        // Without the converter nothing can be said about the text; keep the
        // ASCII part, which is the same in every encoding involved here.
        result.exact = false;
        for (unsigned char c : input)
            result.text += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string(replacement);
        return result;
    }

    std::string out;
    out.resize(input.size() * 2 + 16);
    std::size_t used = 0;
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();

    while (inLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ: a sequence that is invalid or has no counterpart; EINVAL:
        // the input ends inside a sequence.
        const auto* p = reinterpret_cast<const unsigned char*>(in);
        std::size_t n = errno == EINVAL ? inLeft : skip(p, inLeft);
        if (n == 0 || n > inLeft)
            n = inLeft;
        in += n;
        inLeft -= n;
        result.exact = false;
        if (out.size() - used < replacement.size())
            out.resize(out.size() * 2 + replacement.size());
        out.replace(used, replacement.size(), replacement);
        used += replacement.size();
        // A stateful converter is put back into its initial state.
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    out.resize(used);
    result.text = std::move(out);
    return result;
}

constexpr std::string_view kCp932Replacement = "?";
constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

TextConversion Utf8ToCp932Checked(std::string_view utf8)
{
    return Convert("CP932", "UTF-8", utf8, kCp932Replacement, SkipUtf8);
}

TextConversion Cp932ToUtf8Checked(std::string_view cp932)
{
    return Convert("UTF-8", "CP932", cp932, kUtf8Replacement, SkipCp932);
}

std::string Utf8ToCp932(std::string_view utf8)
{
    return Utf8ToCp932Checked(utf8).text;
}

std::string Cp932ToUtf8(std::string_view cp932)
{
    return Cp932ToUtf8Checked(cp932).text;
}

std::string Utf16LeToCp932(std::string_view utf16le)
{
    return Convert("CP932", "UTF-16LE", utf16le, kCp932Replacement, SkipUtf16Le).text;
}

std::size_t Cp932Length(std::string_view utf8)
{
    return Utf8ToCp932(utf8).size();
}

} // namespace velmora
