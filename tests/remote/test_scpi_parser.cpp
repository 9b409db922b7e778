#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "remote/ScpiErrors.h"
#include "remote/ScpiParser.h"

namespace velmora::scpi {
namespace {

// The units of a message that must parse without error.
std::vector<MessageUnit> Units(std::string_view line)
{
    ParsedMessage parsed = ParseProgramMessage(line);
    EXPECT_FALSE(parsed.error) << line << ": " << parsed.error->code;
    return parsed.units;
}

// The one parameter of a one-unit message.
Param OnlyParam(std::string_view line)
{
    const auto units = Units(line);
    if (units.size() != 1 || units[0].params.size() != 1) {
        ADD_FAILURE() << line << " has no single parameter";
        return {};
    }
    return units[0].params[0];
}

// The header as "MNEMONIC[suffix]" nodes joined by ":", for short checks.
std::string Header(const MessageUnit& unit)
{
    std::string out = unit.common ? "*" : "";
    for (const Node& node : unit.nodes) {
        if (!out.empty() && out != "*")
            out += ':';
        out += node.mnemonic;
        if (node.suffix >= 0)
            out += "[" + std::to_string(node.suffix) + "]";
    }
    return out + (unit.query ? "?" : "");
}

TEST(ScpiParser, HeadersKeepTheirCaseAndSplitTheSuffixOff)
{
    auto units = Units("sour2:Curr:LEV?");
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(Header(units[0]), "sour[2]:Curr:LEV?");
    EXPECT_FALSE(units[0].common);

    units = Units("*idn?;*RST;*ESE 32");
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(Header(units[0]), "*idn?");
    EXPECT_EQ(Header(units[1]), "*RST");
    EXPECT_EQ(Header(units[2]), "*ESE");
    EXPECT_TRUE(units[2].common);
    ASSERT_EQ(units[2].params.size(), 1u);
    EXPECT_EQ(units[2].params[0].number, 32.0);

    // A common mnemonic keeps its digits: there is no *ESE with a suffix.
    units = Units("*ESE32");
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(Header(units[0]), "*ESE32");

    // Only the trailing digits are the suffix; 0 is a suffix like any other.
    EXPECT_EQ(Header(Units("A1B2:SOUR0:OUT_4")[0]), "A1B[2]:SOUR[0]:OUT_[4]");
    EXPECT_EQ(Header(Units(":OUTP4 ON")[0]), "OUTP[4]");
}

TEST(ScpiParser, RelativeHeadersContinueThePreviousUnitsPath)
{
    auto units = Units("SOUR1:CURR 0.004;VOLT?");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(Header(units[1]), "SOUR[1]:VOLT?");

    // Only the last node is dropped, however deep the header went.
    units = Units("SOUR1:CURR:LEV 1;IMM 2;AMPL 3");
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(Header(units[1]), "SOUR[1]:CURR:IMM");
    EXPECT_EQ(Header(units[2]), "SOUR[1]:CURR:AMPL");

    // Common units leave the path alone; a leading colon goes to the root.
    units = Units("SOUR2:CURR 1;*CLS;VOLT 2;:OUTP ON;STAT?");
    ASSERT_EQ(units.size(), 5u);
    EXPECT_EQ(Header(units[2]), "SOUR[2]:VOLT");
    EXPECT_EQ(Header(units[3]), "OUTP");
    EXPECT_EQ(Header(units[4]), "STAT?");

    // A one-node header leaves the root as the path.
    EXPECT_EQ(Header(Units("OUTP ON;VOLT 1")[1]), "VOLT");
    // Each message starts at the root.
    EXPECT_EQ(Header(Units("VOLT?")[0]), "VOLT?");
}

TEST(ScpiParser, BlanksCrAndSeparatorsAroundUnits)
{
    auto units = Units("  SOUR1:CURR \t 4 mA  ;  VOLT? ;*IDN?\r");
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].params[0].number, 0.004);
    EXPECT_TRUE(units[1].params.empty());
    EXPECT_EQ(Header(units[2]), "*IDN?");

    EXPECT_TRUE(Units("").empty());
    EXPECT_TRUE(Units(" \t ").empty());
    EXPECT_TRUE(Units("\r").empty());
    // One ";" after the last unit is what many clients send.
    EXPECT_EQ(Units("*RST;").size(), 1u);
    EXPECT_EQ(Units("*RST ; ").size(), 1u);
    // Blanks after a header without parameters.
    EXPECT_EQ(Units("*IDN?   ").size(), 1u);
}

TEST(ScpiParser, NumbersInEveryFormAndUnit)
{
    struct Case {
        const char* text;
        double value;
        Unit unit;
    };
    const Case cases[] = {
        {"1.5", 1.5, Unit::None},
        {"-2e-3", -0.002, Unit::None},
        {".5", 0.5, Unit::None},
        {"5.", 5.0, Unit::None},
        {"+3", 3.0, Unit::None},
        {"4E-3", 0.004, Unit::None},
        {"1e+2", 100.0, Unit::None},
        {"#H1F", 31.0, Unit::None},
        {"#hff", 255.0, Unit::None},
        {"#B101", 5.0, Unit::None},
        {"#Q17", 15.0, Unit::None},
        // Scaled to the base unit exactly as the decimal text would parse.
        {"4mA", 0.004, Unit::Ampere},
        {"9mA", 0.009, Unit::Ampere}, // 9 * 1e-3 would be one bit off
        {"4 MA", 0.004, Unit::Ampere},
        {"4000UA", 0.004, Unit::Ampere},
        {"0.004A", 0.004, Unit::Ampere},
        {"2.5V", 2.5, Unit::Volt},
        {"500mV", 0.5, Unit::Volt},
        {"1.5kv", 1500.0, Unit::Volt},
        {"10 ms", 0.01, Unit::Second},
        {"20NS", 2e-8, Unit::Second},
        {"50PCT", 50.0, Unit::Percent},
        // Too small for a normal double is 0, not an error.
        {"1e-400", 0.0, Unit::None},
        {"1e-310", 0.0, Unit::None},
    };
    for (const Case& c : cases) {
        const Param p = OnlyParam(std::string("CURR ") + c.text);
        EXPECT_EQ(p.kind, Param::Kind::Number) << c.text;
        EXPECT_EQ(p.number, c.value) << c.text;
        EXPECT_EQ(p.unit, c.unit) << c.text;
    }
}

TEST(ScpiParser, MnemonicsStringsAndLists)
{
    for (const char* word : {"MIN", "MINimum", "MAX", "DEF", "ON", "OFF", "SAWT", "TRIangle", "LIST", "CURR"}) {
        const Param p = OnlyParam(std::string("FUNC ") + word);
        EXPECT_EQ(p.kind, Param::Kind::Mnemonic);
        EXPECT_EQ(p.text, word);
    }

    auto units = Units("LIST:VAL 0.004,0.008, 0.012 ,MAX");
    ASSERT_EQ(units.size(), 1u);
    ASSERT_EQ(units[0].params.size(), 4u);
    EXPECT_EQ(units[0].params[1].number, 0.008);
    EXPECT_EQ(units[0].params[2].number, 0.012);
    EXPECT_EQ(units[0].params[3].text, "MAX");

    // Separators inside strings are text; a doubled quote is one quote.
    units = Units("DISP:TEXT \"a;b,c\"\"d\";:DISP:TEXT 'it''s \"x\"',\"\"");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].params[0].kind, Param::Kind::String);
    EXPECT_EQ(units[0].params[0].text, "a;b,c\"d");
    ASSERT_EQ(units[1].params.size(), 2u);
    EXPECT_EQ(units[1].params[0].text, "it's \"x\"");
    EXPECT_EQ(units[1].params[1].text, "");
    // UTF-8 is kept in strings.
    EXPECT_EQ(OnlyParam("DISP:TEXT \"\xE6\x97\xA5\"").text, "\xE6\x97\xA5");
}

TEST(ScpiParser, EveryErrorKeepsTheUnitsBeforeIt)
{
    struct Case {
        std::string text;
        int code;
        std::size_t kept;
    };
    const std::string tooManyDigits = "CURR " + std::string(256, '1');
    const Case cases[] = {
        {"SOUR::CURR 1", error::kSyntax, 0},
        {"SOUR: 1", error::kSyntax, 0},
        {"SOUR:", error::kSyntax, 0},
        {";*RST", error::kSyntax, 0},
        {"*RST;;*CLS", error::kSyntax, 1},
        {":*RST", error::kSyntax, 0},
        {"1VOLT", error::kSyntax, 0},
        {"CURR @", error::kSyntax, 0},
        {"CURR 1,,2", error::kSyntax, 0},
        {"CURR 1,", error::kSyntax, 0},
        {"CURR ,1", error::kSyntax, 0},
        {"CURR :1", error::kSyntax, 0},
        {"VOLT ?", error::kSyntax, 0},
        {"\x01", error::kInvalidCharacter, 0},
        {"*RST;CURR\x7F", error::kInvalidCharacter, 1},
        {"CURR 1\xC3\xA9", error::kInvalidCharacter, 0},
        {"CURR\r 1", error::kInvalidCharacter, 0},
        {std::string("CURR 1\0", 7), error::kInvalidCharacter, 0},
        {"CURR 1 2", error::kInvalidSeparator, 0},
        {"CURR 1;VOLT ON OFF", error::kInvalidSeparator, 1},
        {"CURR 'a'b", error::kInvalidSeparator, 0},
        {"CURR #210abcdefghij", error::kDataType, 0},
        {"CURR (@1,2)", error::kDataType, 0},
        {"CURR,1", error::kHeaderSeparator, 0},
        {"*IDN?x", error::kHeaderSeparator, 0},
        {"VO-LT 1", error::kHeaderSeparator, 0},
        {"ABCDEFGHIJKLM 1", error::kMnemonicTooLong, 0},
        {"*ABCDEFGHIJKLM", error::kMnemonicTooLong, 0},
        {"SOUR01:CURR 1", error::kHeaderSuffixOutOfRange, 0},
        {"SOUR2147483648:CURR 1", error::kHeaderSuffixOutOfRange, 0},
        {":A:B:C:D:E:F:G:H:I:J:K:L:M", error::kCommandHeader, 0},
        {":A:B:C:D:E:F:G:H:I:J:K:L;M:N", error::kCommandHeader, 1},
        {"CURR #HG", error::kInvalidCharacterInNumber, 0},
        {"CURR #H", error::kInvalidCharacterInNumber, 0},
        {"CURR #B102", error::kInvalidCharacterInNumber, 0},
        {"CURR 1.5.3", error::kInvalidCharacterInNumber, 0},
        {"CURR 1e+", error::kInvalidCharacterInNumber, 0},
        {"CURR -", error::kInvalidCharacterInNumber, 0},
        {"CURR 1-2", error::kInvalidCharacterInNumber, 0},
        {"CURR #H20000000000001", error::kNumericData, 0},
        {"CURR 1e99999", error::kExponentTooLarge, 0},
        {"CURR 1e400", error::kExponentTooLarge, 0},
        {"CURR 1e308KV", error::kExponentTooLarge, 0},
        {tooManyDigits, error::kTooManyDigits, 0},
        {"CURR 4 MX", error::kInvalidSuffix, 0},
        {"CURR 4 MAX", error::kInvalidSuffix, 0},
        {"CURR 4 e", error::kInvalidSuffix, 0},
        {"CURR 4 ABCDEFGHIJKLM", error::kSuffixTooLong, 0},
        {"FUNC ABCDEFGHIJKLM", error::kCharacterDataTooLong, 0},
        {"TEXT \"abc", error::kInvalidStringData, 0},
        {"TEXT 'abc\"", error::kInvalidStringData, 0},
        {"TEXT \"a\x01"
         "b\"",
         error::kInvalidStringData, 0},
        {std::string("TEXT \"a\0b\"", 10), error::kInvalidStringData, 0},
    };
    for (const Case& c : cases) {
        const ParsedMessage parsed = ParseProgramMessage(c.text);
        ASSERT_TRUE(parsed.error) << c.text;
        EXPECT_EQ(parsed.error->code, c.code) << c.text;
        EXPECT_EQ(parsed.error->text, ErrorText(c.code)) << c.text;
        EXPECT_EQ(parsed.units.size(), c.kept) << c.text;
    }

    // The longest names still pass: 12 characters, the suffix not counted.
    EXPECT_EQ(Header(Units("ABCDEFGHIJKL2 ABCDEFGHIJKL")[0]), "ABCDEFGHIJKL[2]");
    EXPECT_EQ(Units("SOUR2147483647:CURR 1")[0].nodes[0].suffix, 2147483647);
    EXPECT_EQ(Units(":A:B:C:D:E:F:G:H:I:J:K:L")[0].nodes.size(), kMaxHeaderNodes);
}

TEST(ScpiParser, PathsStayShortOnLongInput)
{
    // A deep path followed by many relative units: each unit holds at most
    // kMaxHeaderNodes nodes, so the work grows with the line, not faster.
    std::string line = ":A:B:C:D:E:F:G:H:I:J:K:L";
    for (int i = 0; i < 20000; ++i)
        line += ";L";
    const auto units = Units(line);
    ASSERT_EQ(units.size(), 20001u);
    EXPECT_EQ(Header(units.back()), "A:B:C:D:E:F:G:H:I:J:K:L");
}

TEST(ScpiParser, CanonicalTextParsesBackToTheSameUnits)
{
    const auto units = Units("SOUR1:CURR 4mA;VOLT? MAX;*ESE 32;:DISP:TEXT 'say \"hi\"',#H10,-0,1e300,50PCT");
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(FormatMessageUnit(units[0]), ":SOUR1:CURR 0.004A");
    EXPECT_EQ(FormatMessageUnit(units[1]), ":SOUR1:VOLT? MAX");
    EXPECT_EQ(FormatMessageUnit(units[2]), "*ESE 32");
    EXPECT_EQ(FormatMessageUnit(units[3]), ":DISP:TEXT \"say \"\"hi\"\"\",16,-0,1e+300,50PCT");
    for (const MessageUnit& unit : units) {
        const auto again = Units(FormatMessageUnit(unit));
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0], unit) << FormatMessageUnit(unit);
    }
}

} // namespace
} // namespace velmora::scpi
