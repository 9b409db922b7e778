#include "remote/ScpiParser.h"

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "remote/ScpiErrors.h"

namespace velmora::scpi {

namespace {

// 488.2's limits on decimal numbers: they keep a client's typo from turning
// into a value nobody meant, and bound the work per number.
constexpr std::size_t kMaxMantissaDigits = 255;
constexpr long kMaxExponent = 32000;
// Non-decimal numbers beyond this would not be exact as a double.
constexpr std::uint64_t kMaxNonDecimal = std::uint64_t{1} << 53;

bool IsAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsMnemonicChar(char c)
{
    return IsAlpha(c) || IsDigit(c) || c == '_';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Bytes that may stand only inside a string.
bool IsInvalid(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u >= 0x7F;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

struct UnitSuffix {
    std::string_view text;
    Unit unit;
    int decade; // the prefix: value * 10^decade is the base unit
};

constexpr std::array<UnitSuffix, 13> kUnitSuffixes{{
    {"A", Unit::Ampere, 0},
    {"MA", Unit::Ampere, -3},
    {"UA", Unit::Ampere, -6},
    {"NA", Unit::Ampere, -9},
    {"V", Unit::Volt, 0},
    {"MV", Unit::Volt, -3},
    {"UV", Unit::Volt, -6},
    {"KV", Unit::Volt, 3},
    {"S", Unit::Second, 0},
    {"MS", Unit::Second, -3},
    {"US", Unit::Second, -6},
    {"NS", Unit::Second, -9},
    {"PCT", Unit::Percent, 0},
}};

const UnitSuffix* FindUnitSuffix(std::string_view typed)
{
    for (const auto& suffix : kUnitSuffixes) {
        if (suffix.text.size() != typed.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < typed.size() && same; ++i)
            same = Upper(typed[i]) == suffix.text[i];
        if (same)
            return &suffix;
    }
    return nullptr;
}

// Divides rather than multiplies by 10^-n: 4 / 1000 is the double nearest to
// 0.004, the same value "0.004" parses to, where 4 * 1e-3 need not be.
double Scale(double value, int decade)
{
    double factor = 1.0;
    for (int i = 0; i < (decade < 0 ? -decade : decade); ++i)
        factor *= 10.0;
    return decade < 0 ? value / factor : value * factor;
}

// Walks one line. Every Parse* function returns 0 or the SCPI error number,
// and leaves the scanner after what it took.
class Scanner {
public:
    explicit Scanner(std::string_view line) : s_(line) { }

    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
    bool PeekIs(char c) const { return !AtEnd() && s_[pos_] == c; }
    void Take(char c)
    {
        if (PeekIs(c))
            ++pos_;
    }

    void SkipBlanks()
    {
        while (!AtEnd() && IsBlank(s_[pos_]))
            ++pos_;
    }

    // What is wrong with a character found where `expected` was due:
    // characters that may stand nowhere outside strings are -101.
    int Unexpected(int expected) const { return !AtEnd() && IsInvalid(s_[pos_]) ? error::kInvalidCharacter : expected; }

    int ParseUnit(std::vector<Node>& path, MessageUnit& unit)
    {
        const bool absolute = PeekIs(':');
        if (absolute)
            ++pos_;
        if (PeekIs('*')) {
            if (absolute)
                return error::kSyntax;
            ++pos_;
            unit.common = true;
            std::string_view word;
            if (const int code = ParseWord(word); code != 0)
                return code;
            if (word.size() > kMaxMnemonicLength)
                return error::kMnemonicTooLong;
            unit.nodes.push_back(Node{std::string(word), -1});
        } else {
            std::vector<Node> typed;
            for (;;) {
                Node node;
                if (const int code = ParseNode(node); code != 0)
                    return code;
                typed.push_back(std::move(node));
                if (typed.size() > kMaxHeaderNodes)
                    return error::kCommandHeader;
                if (!PeekIs(':'))
                    break;
                ++pos_;
            }
            if (!absolute)
                unit.nodes = path;
            if (unit.nodes.size() + typed.size() > kMaxHeaderNodes)
                return error::kCommandHeader;
            for (auto& node : typed)
                unit.nodes.push_back(std::move(node));
            path.assign(unit.nodes.begin(), unit.nodes.end() - 1);
        }
        if (PeekIs('?')) {
            unit.query = true;
            ++pos_;
        }
        if (AtEnd() || PeekIs(';'))
            return 0;
        if (!IsBlank(Peek()))
            return Unexpected(error::kHeaderSeparator);
        SkipBlanks();
        if (AtEnd() || PeekIs(';'))
            return 0;
        return ParseParams(unit.params);
    }

private:
    // A mnemonic: a letter, then letters, digits and "_".
    int ParseWord(std::string_view& word)
    {
        if (!IsAlpha(Peek()))
            return Unexpected(error::kSyntax);
        const std::size_t start = pos_;
        while (!AtEnd() && IsMnemonicChar(s_[pos_]))
            ++pos_;
        word = s_.substr(start, pos_ - start);
        return 0;
    }

    int ParseNode(Node& node)
    {
        std::string_view word;
        if (const int code = ParseWord(word); code != 0)
            return code;
        std::size_t digits = 0;
        while (digits < word.size() && IsDigit(word[word.size() - 1 - digits]))
            ++digits;
        const std::string_view mnemonic = word.substr(0, word.size() - digits);
        if (mnemonic.size() > kMaxMnemonicLength)
            return error::kMnemonicTooLong;
        node.mnemonic = std::string(mnemonic);
        if (digits == 0)
            return 0;
        // "SOUR01" could be SOUR0 with suffix 1 or SOUR with suffix 1; it
        // is neither.
        const std::string_view suffix = word.substr(mnemonic.size());
        if (suffix.size() > 1 && suffix.front() == '0')
            return error::kHeaderSuffixOutOfRange;
        const auto [end, ec] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), node.suffix);
        if (ec != std::errc() || end != suffix.data() + suffix.size())
            return error::kHeaderSuffixOutOfRange;
        return 0;
    }

    int ParseParams(std::vector<Param>& params)
    {
        for (;;) {
            Param param;
            if (const int code = ParseParam(param); code != 0)
                return code;
            params.push_back(std::move(param));
            SkipBlanks();
            if (AtEnd() || PeekIs(';'))
                return 0;
            if (!PeekIs(','))
                return Unexpected(error::kInvalidSeparator);
            ++pos_;
            SkipBlanks();
            if (AtEnd() || PeekIs(';') || PeekIs(','))
                return error::kSyntax;
        }
    }

    int ParseParam(Param& param)
    {
        const char c = Peek();
        if (c == '"' || c == '\'')
            return ParseString(param);
        if (IsDigit(c) || c == '+' || c == '-' || c == '.')
            return ParseDecimal(param);
        if (c == '#')
            return ParseNonDecimal(param);
        if (c == '(')
            return error::kDataType;
        if (IsAlpha(c)) {
            std::string_view word;
            if (const int code = ParseWord(word); code != 0)
                return code;
            if (word.size() > kMaxMnemonicLength)
                return error::kCharacterDataTooLong;
            param.kind = Param::Kind::Mnemonic;
            param.text = std::string(word);
            return 0;
        }
        return Unexpected(error::kSyntax);
    }

    int ParseString(Param& param)
    {
        const char quote = s_[pos_++];
        param.kind = Param::Kind::String;
        for (;;) {
            const std::size_t close = s_.find(quote, pos_);
            if (close == std::string_view::npos)
                return error::kInvalidStringData;
            for (std::size_t i = pos_; i < close; ++i) {
                const auto u = static_cast<unsigned char>(s_[i]);
                if ((u < 0x20 && s_[i] != '\t') || u == 0x7F)
                    return error::kInvalidStringData;
            }
            param.text.append(s_.substr(pos_, close - pos_));
            pos_ = close + 1;
            if (!PeekIs(quote))
                return 0;
            param.text += quote;
            ++pos_;
        }
    }

    std::size_t SkipDigits()
    {
        const std::size_t start = pos_;
        while (!AtEnd() && IsDigit(s_[pos_]))
            ++pos_;
        return pos_ - start;
    }

    int ParseDecimal(Param& param)
    {
        const std::size_t start = pos_;
        if (PeekIs('+') || PeekIs('-'))
            ++pos_;
        const std::size_t mantissaStart = pos_;
        const std::size_t intDigits = SkipDigits();
        std::size_t fracDigits = 0;
        if (PeekIs('.')) {
            ++pos_;
            fracDigits = SkipDigits();
        }
        if (intDigits + fracDigits == 0)
            return error::kInvalidCharacterInNumber;
        if (intDigits + fracDigits > kMaxMantissaDigits)
            return error::kTooManyDigits;
        const std::size_t mantissaEnd = pos_;

        long exponent = 0;
        if (PeekIs('e') || PeekIs('E')) {
            // An "E" followed by neither digit nor sign starts a unit; no
            // unit begins with E, so it is refused there.
            std::size_t q = pos_ + 1;
            const bool sign = q < s_.size() && (s_[q] == '+' || s_[q] == '-');
            if (sign)
                ++q;
            if (q < s_.size() && IsDigit(s_[q])) {
                const bool negative = sign && s_[q - 1] == '-';
                pos_ = q;
                while (!AtEnd() && IsDigit(s_[pos_])) {
                    if (exponent <= kMaxExponent)
                        exponent = exponent * 10 + (s_[pos_] - '0');
                    ++pos_;
                }
                if (exponent > kMaxExponent)
                    return error::kExponentTooLarge;
                if (negative)
                    exponent = -exponent;
            } else if (sign) {
                return error::kInvalidCharacterInNumber;
            }
        }
        const char next = Peek();
        if (next == '.' || next == '+' || next == '-' || next == '#' || next == '_')
            return error::kInvalidCharacterInNumber;

        // from_chars takes no "+"; a "-" it reads itself.
        const std::size_t from = s_[start] == '+' ? mantissaStart : start;
        const char* first = s_.data() + from;
        const char* last = s_.data() + pos_;
        double value = 0.0;
        const auto [end, ec] = std::from_chars(first, last, value);
        if (ec == std::errc::result_out_of_range) {
            // Too large or too small: which one follows from where the
            // first significant digit stands.
            long lead = -1;
            for (std::size_t i = mantissaStart, place = 0; i < mantissaEnd; ++i) {
                if (s_[i] == '.')
                    continue;
                if (s_[i] != '0') {
                    lead = static_cast<long>(intDigits) - 1 - static_cast<long>(place);
                    break;
                }
                ++place;
            }
            if (lead + exponent > 0)
                return error::kExponentTooLarge;
            value = s_[start] == '-' ? -0.0 : 0.0;
        } else if (ec != std::errc() || end != last) {
            return error::kInvalidCharacterInNumber;
        }

        param.kind = Param::Kind::Number;
        SkipBlanks();
        if (IsAlpha(Peek())) {
            const std::size_t unitStart = pos_;
            while (!AtEnd() && (IsMnemonicChar(s_[pos_]) || s_[pos_] == '/'))
                ++pos_;
            const std::string_view typed = s_.substr(unitStart, pos_ - unitStart);
            if (typed.size() > kMaxMnemonicLength)
                return error::kSuffixTooLong;
            const UnitSuffix* suffix = FindUnitSuffix(typed);
            if (suffix == nullptr)
                return error::kInvalidSuffix;
            value = Scale(value, suffix->decade);
            param.unit = suffix->unit;
        }
        if (!std::isfinite(value))
            return error::kExponentTooLarge;
        // Subnormal values print and read back unevenly; nobody sets 1e-310 A.
        if (std::fabs(value) < DBL_MIN)
            value = std::signbit(value) ? -0.0 : 0.0;
        param.number = value;
        return 0;
    }

    int ParseNonDecimal(Param& param)
    {
        ++pos_;
        int base = 0;
        switch (Upper(Peek())) {
        case 'H':
            base = 16;
            break;
        case 'Q':
            base = 8;
            break;
        case 'B':
            base = 2;
            break;
        default:
            // "#" and a digit starts an arbitrary block.
            return IsDigit(Peek()) ? error::kDataType : Unexpected(error::kSyntax);
        }
        ++pos_;
        std::uint64_t value = 0;
        bool tooLarge = false;
        const std::size_t start = pos_;
        for (; !AtEnd() && IsMnemonicChar(s_[pos_]); ++pos_) {
            const char c = Upper(s_[pos_]);
            const int digit = IsDigit(c) ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : base);
            if (digit >= base)
                return error::kInvalidCharacterInNumber;
            if (!tooLarge)
                value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            tooLarge = tooLarge || value > kMaxNonDecimal;
        }
        if (pos_ == start)
            return error::kInvalidCharacterInNumber;
        if (tooLarge)
            return error::kNumericData;
        param.kind = Param::Kind::Number;
        param.number = static_cast<double>(value);
        return 0;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

void AppendNumber(std::string& out, double value)
{
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    out.append(buf.data(), ec == std::errc() ? static_cast<std::size_t>(end - buf.data()) : 0);
}

} // namespace

ParsedMessage ParseProgramMessage(std::string_view line)
{
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    ParsedMessage out;
    Scanner scanner(line);
    std::vector<Node> path;
    scanner.SkipBlanks();
    // A unit ends at ";" or the end; after the ";" the next unit starts,
    // unless the line ends there. A ";" where a header is due is refused by
    // ParseUnit, so ";;" is -102.
    while (!scanner.AtEnd()) {
        MessageUnit unit;
        if (const int code = scanner.ParseUnit(path, unit); code != 0) {
            out.error = ParseError{code, std::string(ErrorText(code))};
            break;
        }
        out.units.push_back(std::move(unit));
        scanner.Take(';');
        scanner.SkipBlanks();
    }
    return out;
}

std::string FormatMessageUnit(const MessageUnit& unit)
{
    std::string out;
    for (const Node& node : unit.nodes) {
        out += unit.common ? '*' : ':';
        out += node.mnemonic;
        if (node.suffix >= 0)
            out += std::to_string(node.suffix);
    }
    if (unit.query)
        out += '?';
    for (std::size_t i = 0; i < unit.params.size(); ++i) {
        const Param& param = unit.params[i];
        out += i == 0 ? ' ' : ',';
        switch (param.kind) {
        case Param::Kind::Number:
            AppendNumber(out, param.number);
            switch (param.unit) {
            case Unit::None:
                break;
            case Unit::Ampere:
                out += 'A';
                break;
            case Unit::Volt:
                out += 'V';
                break;
            case Unit::Second:
                out += 'S';
                break;
            case Unit::Percent:
                out += "PCT";
                break;
            }
            break;
        case Param::Kind::Mnemonic:
            out += param.text;
            break;
        case Param::Kind::String:
            out += '"';
            for (const char c : param.text) {
                out += c;
                if (c == '"')
                    out += '"';
            }
            out += '"';
            break;
        }
    }
    return out;
}

} // namespace velmora::scpi
