#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "remote/ScpiParser.h"
#include "remote/ScpiPattern.h"

namespace velmora::scpi {
namespace {

HeaderPattern Compiled(std::string_view text)
{
    auto pattern = HeaderPattern::Compile(text);
    EXPECT_TRUE(pattern) << text;
    return pattern ? *pattern : *HeaderPattern::Compile("UNUSED");
}

// The suffix when the first unit of `line` matches `pattern`.
std::optional<int> MatchLine(const HeaderPattern& pattern, std::string_view line, std::size_t unit = 0)
{
    const ParsedMessage parsed = ParseProgramMessage(line);
    EXPECT_FALSE(parsed.error) << line;
    if (parsed.units.size() <= unit) {
        ADD_FAILURE() << line << " has no unit " << unit;
        return std::nullopt;
    }
    return pattern.Match(parsed.units[unit]);
}

TEST(ScpiPattern, ShortOrLongFormInAnyCaseWithOptionalNodes)
{
    const HeaderPattern current = Compiled("[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]");
    for (const char* line : {"CURR 1", "current 1", "Curr?", ":CURRENT:LEVEL", "SOUR:CURR:LEV:IMM:AMPL 1",
                             "source:curr:ampl 1", "CURR:IMM", "SOURCE:CURRENT:LEVEL:IMMEDIATE:AMPLITUDE"})
        EXPECT_EQ(MatchLine(current, line), 1) << line;
    // Neither form, required node missing, wrong order, a node twice, too many.
    for (const char* line : {"CURRE 1", "CUR 1", "SOUR:LEV 1", "CURR:IMM:LEV 1", "CURR:LEV:LEV 1",
                             "SOUR:CURR:LEV:IMM:AMPL:AMPL 1", "VOLT 1", "SOURC:CURR 1"})
        EXPECT_FALSE(MatchLine(current, line)) << line;

    // Character data uses the same rule.
    EXPECT_TRUE(MnemonicMatches("min", "MINimum"));
    EXPECT_TRUE(MnemonicMatches("MINIMUM", "MINimum"));
    EXPECT_FALSE(MnemonicMatches("MINI", "MINimum"));
    EXPECT_FALSE(MnemonicMatches("MINIMUMS", "MINimum"));
    EXPECT_TRUE(MnemonicMatches("on", "ON"));
    EXPECT_FALSE(MnemonicMatches("O", "ON"));
    EXPECT_FALSE(MnemonicMatches("", "ON"));
}

TEST(ScpiPattern, NumericSuffixesDefaultToOne)
{
    const HeaderPattern current = Compiled("[SOURce#]:CURRent[:LEVel]");
    EXPECT_EQ(MatchLine(current, "SOUR2:CURR 1"), 2);
    EXPECT_EQ(MatchLine(current, "SOUR:CURR 1"), 1);
    EXPECT_EQ(MatchLine(current, "CURR 1"), 1);
    // Out of the instrument's range is the caller's -114; the match reports it.
    EXPECT_EQ(MatchLine(current, "SOUR0:CURR 1"), 0);
    EXPECT_EQ(MatchLine(current, "SOUR99:CURR 1"), 99);
    // A suffix where the pattern takes none.
    EXPECT_FALSE(MatchLine(current, "SOUR2:CURR2 1"));
    EXPECT_FALSE(MatchLine(current, "CURR:LEV3 1"));

    const HeaderPattern output = Compiled("OUTPut#[:STATe]");
    EXPECT_EQ(MatchLine(output, "OUTP4:STAT ON"), 4);
    EXPECT_EQ(MatchLine(output, "output3 ON"), 3);
    EXPECT_EQ(MatchLine(output, "OUTP?"), 1);

    // The suffix comes through the path rule with its node.
    const HeaderPattern voltage = Compiled("[SOURce#]:VOLTage");
    EXPECT_EQ(MatchLine(voltage, "SOUR3:CURR 1;VOLT?", 1), 3);
    EXPECT_FALSE(MatchLine(voltage, "SOUR3:CURR:LEV 1;VOLT?", 1));
}

TEST(ScpiPattern, CommonAndCompoundHeadersNeverMix)
{
    const HeaderPattern idn = Compiled("*IDN");
    EXPECT_TRUE(idn.Common());
    EXPECT_EQ(MatchLine(idn, "*idn?"), 1);
    EXPECT_FALSE(MatchLine(idn, "IDN?"));
    EXPECT_FALSE(MatchLine(idn, "*IDNX?"));
    EXPECT_FALSE(MatchLine(Compiled("IDN"), "*IDN?"));

    // Sibling patterns split a family without overlap.
    const HeaderPattern event = Compiled("STATus:QUEStionable[:EVENt]");
    const HeaderPattern enable = Compiled("STATus:QUEStionable:ENABle");
    EXPECT_TRUE(MatchLine(event, "STAT:QUES?"));
    EXPECT_TRUE(MatchLine(event, "status:questionable:event?"));
    EXPECT_FALSE(MatchLine(enable, "STAT:QUES?"));
    EXPECT_TRUE(MatchLine(enable, "STAT:QUES:ENAB 512"));
    EXPECT_FALSE(MatchLine(event, "STAT:QUES:ENAB 512"));
}

TEST(ScpiPattern, MalformedPatternsAreRefused)
{
    for (const char* text : {"",
                             ":",
                             "*",
                             "[SOURce",
                             "SOURce]",
                             "[[SOURce]]",
                             "SOURce##",
                             "SO#URce",
                             "[SOURce#]:CURRent#",
                             "CURRenT",
                             "cURRent",
                             "current",
                             "LEV1",
                             "STAT?",
                             "*IDN?",
                             "*IDN#",
                             "*IDN:X",
                             "[:LEVel:IMMediate]",
                             "[]",
                             "CURR ent",
                             "1CURR",
                             "A:B:C:D:E:F:G:H:I:J:K:L:M:N:O:P:Q"})
        EXPECT_FALSE(HeaderPattern::Compile(text)) << text;
    EXPECT_TRUE(HeaderPattern::Compile("A:B:C:D:E:F:G:H:I:J:K:L:M:N:O:P"));
    EXPECT_TRUE(HeaderPattern::Compile(":SYSTem:ERRor[:NEXT]"));
    EXPECT_TRUE(HeaderPattern::Compile("INITiate#[:IMMediate]"));
}

TEST(ScpiPattern, OptionalNodesThatLookAlikeStillMatch)
{
    // The first optional node could take the typed ABC; only leaving it out
    // lets the required one match, so the walk must try both.
    const HeaderPattern twice = Compiled("[ABC#]:ABC[:ABC]");
    EXPECT_EQ(MatchLine(twice, "ABC"), 1);
    EXPECT_EQ(MatchLine(twice, "ABC5:ABC"), 5);
    EXPECT_EQ(MatchLine(twice, "ABC5:ABC:ABC"), 5);
    EXPECT_FALSE(MatchLine(twice, "ABC:ABC:ABC:ABC"));
    // Fifteen optional nodes and a required one: the remembered failures
    // keep this from trying every subset.
    const HeaderPattern many = Compiled("[A][A][A][A][A][A][A][A][A][A][A][A][A][A][A]:B");
    EXPECT_TRUE(MatchLine(many, "A:A:A:A:A:A:A:B"));
    EXPECT_FALSE(MatchLine(many, "A:A:A:A:A:A:A:A:A:A:A:A"));
}

} // namespace
} // namespace velmora::scpi
