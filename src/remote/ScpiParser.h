#pragma once
// SCPI program messages as a client sends them: one line, split into message
// units, each a header and typed parameters. Plain functions, no state; the
// command tree decides what the units mean.
//
// The grammar, and what the parser refuses (with the SCPI error number):
// - The line's terminator is gone already; one CR left before it is dropped.
//   An empty or all-blank line holds no unit and is no error.
// - Units are separated by ";". One ";" after the last unit is allowed (many
//   clients end every message with one); an empty unit anywhere else
//   (";;", a leading ";") is -102.
// - White space is space and tab. Any other control character, DEL or byte
//   above 0x7F outside a quoted string is -101.
// - A common header is "*" and one mnemonic ("*IDN?", "*ESE 32"); its
//   mnemonic keeps any digits it ends with. A compound header is
//   [:]NODE[:NODE]...; a node is a letter followed by letters, digits and
//   "_". Its trailing digits are its numeric suffix ("SOUR2" is SOUR with
//   suffix 2). A suffix with a leading zero or beyond int is -114; a
//   mnemonic longer than 12 characters is -112; a header of more than
//   kMaxHeaderNodes nodes after the path rule is -110. An empty node
//   ("SOUR::VOLT", "SOUR:") is -102.
// - A header ends with an optional "?", then white space before the
//   parameters, ";" or the end. Anything else right after it is -111.
// - The path rule: a compound header without a leading ":" is relative to
//   the previous compound unit's header without its last node
//   ("SOUR1:CURR 0.004;VOLT?" holds SOUR1:CURR and SOUR1:VOLT?). A leading
//   ":" starts again from the root; common units leave the path alone. The
//   rule works on the nodes as typed, before any matching, so Node lists in
//   the result are always absolute.
// - Parameters are separated by ","; an empty one ("1,,2", "1,") is -102,
//   and two without a "," between them is -103.
// - Decimal numbers: [+|-] digits [. digits] [E [+|-] digits], with ".5" and
//   "5." allowed. More than 255 mantissa digits is -124; an exponent beyond
//   +-32000 or a value too large for a double is -123; a malformed number
//   ("1.5.3", "1e+") is -121. Values too small for a normal double are 0.
// - "#H", "#Q", "#B" numbers (hex, octal, binary) up to 2^53; a wrong digit
//   is -121, a larger value -120. They take no unit.
// - A decimal number may carry a unit, with or without a blank before it:
//   A, V, S with the prefixes N, U, M (milli: "MA" is milliampere, never
//   mega) and K, and PCT. The value is kept in the base unit. An unknown unit
//   is -131, one longer than 12 characters -134.
// - Character data (MIN, DEFault, ON, SAWT...): a letter followed by letters,
//   digits and "_", at most 12 characters (-144), kept as typed.
// - Strings in "..." or '...', the quote doubled inside for itself. An
//   unterminated string or a control character in one is -151; bytes above
//   0x7F are kept (UTF-8 texts).
// - Arbitrary blocks ("#0", "#3...") and expressions ("(@1,2)") are not
//   taken apart: -104.
// - Nothing else may start a parameter: -102 (-101 for the characters
//   above).
//
// Time is linear in the length of the line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::scpi {

inline constexpr std::size_t kMaxMnemonicLength = 12;
inline constexpr std::size_t kMaxHeaderNodes = 12;

enum class Unit { None, Ampere, Volt, Second, Percent };

struct Param {
    enum class Kind { Number, Mnemonic, String };
    Kind kind = Kind::Number;
    double number = 0.0;    // a Number's value in the base unit; always finite
    Unit unit = Unit::None; // the unit typed after a Number, None without one
    std::string text;       // a Mnemonic as typed; a String's contents without its quotes
    bool operator==(const Param&) const = default;
};

struct Node {
    std::string mnemonic; // as typed, without the suffix
    int suffix = -1;      // -1 when none was typed
    bool operator==(const Node&) const = default;
};

struct MessageUnit {
    bool common = false;     // "*..." headers; nodes then holds the one mnemonic
    bool query = false;      // the header ended with "?"
    std::vector<Node> nodes; // absolute, after the path rule
    std::vector<Param> params;
    bool operator==(const MessageUnit&) const = default;
};

struct ParseError {
    int code = 0;
    std::string text; // the standard text of the code
};

// The units before a faulty one are kept (a client's earlier units still
// run); the faulty unit and every unit after it are dropped.
struct ParsedMessage {
    std::vector<MessageUnit> units;
    std::optional<ParseError> error;
};

ParsedMessage ParseProgramMessage(std::string_view line);

// A unit in a canonical form that parses back to the same unit: an absolute
// header (":SOUR1:VOLT?"), numbers in the base unit with the shortest digits,
// strings in double quotes.
std::string FormatMessageUnit(const MessageUnit& unit);

} // namespace velmora::scpi
