#include "model/RangeTable.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>
#include <cstdio>
#include "platform/Translate.h"

namespace velmora {

namespace {

struct RangeRow {
    bool valid = false;
    const char* key = "";
    const char* displayName = "";
    RangeInfo info;
    int selectBits = -1; // -1: the control word's range bits stay as they are
    bool hasStart = false;
    double startingValue = 0.0;
};

// Indexed by range code. The external-supply ranges (11, 12) are switched by
// their own word, so they leave the range-select bits of the previous range in
// place; the conversion slot (15) is no output range at all.
constexpr std::array<RangeRow, kSlotCount> kRanges = {{
    /* 0 */ {true, "0_5V", N_("0～5 V"), {0.0, 5.0, 3}, 0, true, 0.0},
    /* 1 */ {true, "0_10V", N_("0～10 V"), {0.0, 10.0, 3}, 1, true, 0.0},
    /* 2 */ {true, "-5_5V", N_("-5～5 V"), {-5.0, 5.0, 3}, 2, true, 0.0},
    /* 3 */ {true, "-10_10V", N_("-10～10 V"), {-10.0, 10.0, 3}, 3, true, 0.0},
    /* 4 */ {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0},
    /* 5 */ {true, "4_20mA", N_("内 4～20 mA"), {4.0, 20.0, 3}, 5, true, 4.0},
    /* 6 */ {true, "0_20mA", N_("内 0～20 mA"), {0.0, 20.0, 3}, 6, true, 0.0},
    /* 7 */ {true, "0_24mA", N_("内 0～24 mA"), {0.0, 24.0, 3}, 7, true, 0.0},
    /* 8 */ {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0},
    /* 9 */ {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0},
    /* 10 */ {true, "1_5V", N_("1～5 V"), {1.0, 5.0, 3}, 0, true, 1.0},
    /* 11 */ {true, "E4_20mA", N_("外 4～20 mA"), {4.0, 20.0, 3}, -1, true, 4.0},
    /* 12 */ {true, "E0_24mA", N_("外 0～24 mA"), {0.0, 24.0, 3}, -1, true, 0.0},
    /* 13 */ {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0},
    /* 14 */ {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0},
    /* 15 */ {true, "USER", N_("換算式"), {0.0, 1.0, 0}, -1, false, 0.0},
}};

// Range codes come from files as any int32; everything outside the table
// reads as the row of a code that names no range.
const RangeRow& Row(int code)
{
    static constexpr RangeRow kNone = {false, "", "", {0.0, 1.0, 0}, -1, false, 0.0};
    if (code < 0 || code >= kSlotCount)
        return kNone;
    return kRanges[static_cast<std::size_t>(code)];
}

constexpr std::array<double, kMaxDecimals + 1> kPowersOfTen = {1.0, 10.0, 100.0, 1e3, 1e4, 1e5, 1e6};

} // namespace

bool IsValidRangeCode(int code)
{
    return Row(code).valid;
}

RangeInfo GetRangeInfo(int code)
{
    return Row(code).info;
}

std::string RangeDisplayName(int code)
{
    return Row(code).displayName;
}

std::string RangeKey(int code)
{
    return Row(code).key;
}

bool IsCurrentRange(int code)
{
    const std::string_view key = Row(code).key;
    return key.size() > 2 && key.ends_with("mA");
}

std::optional<int> RangeCodeFromKey(const std::string& key)
{
    if (key.empty())
        return std::nullopt;
    for (int code = 0; code < kSlotCount; ++code) {
        if (key == kRanges[static_cast<std::size_t>(code)].key)
            return code;
    }
    return std::nullopt;
}

std::optional<unsigned> RangeSelectBits(int code)
{
    int bits = Row(code).selectBits;
    if (bits < 0)
        return std::nullopt;
    return static_cast<unsigned>(bits);
}

std::optional<double> RangeStartingValue(int code)
{
    const RangeRow& row = Row(code);
    if (!row.hasStart)
        return std::nullopt;
    return row.startingValue;
}

double DecimalScale(int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > kMaxDecimals)
        decimals = kMaxDecimals;
    return kPowersOfTen[static_cast<std::size_t>(decimals)];
}

std::string FormatFixed(double value, int decimals)
{
    if (decimals < 0 || decimals > kMaxDecimals)
        return {};
    // Sized by a first pass: a value read from a file may be as large as a
    // double gets, which prints as over 300 digits.
    int length = std::snprintf(nullptr, 0, "%6.*f", decimals, value);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%6.*f", decimals, value);
    text.resize(static_cast<std::size_t>(length));
    // A negative zero, or a small negative value that rounds to zero, is no
    // value below zero: "-0.00" would read as one on a limit or a preset.
    if (text.find('-') != std::string::npos && text.find('0') != std::string::npos &&
        text.find_first_of("123456789") == std::string::npos)
        return FormatFixed(0.0, decimals);
    return text;
}

double TruncateToDecimals(double value, int decimals)
{
    double scale = DecimalScale(decimals);
    double scaled = value * scale;
    // Beyond 2^52 every double is already whole, and an overflow to infinity
    // would lose the value; neither needs truncating. std::trunc instead of an
    // integer cast keeps huge values defined.
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0)
        return value;
    // 0.29 x 100 is 28.999999999999996 in binary; truncating that would turn
    // a value the operator typed into the next lower step. A few units in the
    // last place absorb the representation error without reaching the next
    // real digit.
    scaled += std::copysign(std::fabs(scaled) * 8.0 * std::numeric_limits<double>::epsilon(), scaled);
    return std::trunc(scaled) / scale;
}

} // namespace velmora
