#pragma once
// The one place where text changes encoding. Inside the program text is
// UTF-8; the unit's lines and every file the program reads or writes carry
// 8-bit Japanese text (CP932, Microsoft's Shift-JIS).
//
// No conversion fails outright: a character CP932 cannot hold, and a byte
// sequence that is not valid in the source encoding, each become one
// replacement character ('?' in CP932, U+FFFD in UTF-8). The *Checked forms
// also tell whether anything had to be replaced.
//
// Thread contract: every function is reentrant; any thread may call them.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

struct TextConversion {
    std::string text;
    bool exact = true; // false when at least one replacement was made
};

TextConversion Utf8ToCp932Checked(std::string_view utf8);
TextConversion Cp932ToUtf8Checked(std::string_view cp932);

std::string Utf8ToCp932(std::string_view utf8);
std::string Cp932ToUtf8(std::string_view cp932);

// `utf16le` holds 16-bit code units, low byte first (as Windows stores wide
// text in files). Unpaired surrogates are replaced.
std::string Utf16LeToCp932(std::string_view utf16le);

// How many bytes `utf8` takes once written as CP932 (replacements count one
// byte each). Column layouts of the 8-bit reports are counted in these bytes.
std::size_t Cp932Length(std::string_view utf8);

} // namespace velmora
