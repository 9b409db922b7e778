// SCPI program messages from arbitrary bytes: the parser, the header
// patterns and the status model a client's errors go into. What parses must
// be well formed, and print back into a message that parses to the same
// units.
#include <cmath>
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"
#include "remote/ScpiParser.h"
#include "remote/ScpiPattern.h"
#include "remote/ScpiStatus.h"

using namespace velmora::scpi;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool IsMnemonic(const std::string& text)
{
    if (text.empty() || text.size() > kMaxMnemonicLength)
        return false;
    for (const char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return (text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z');
}

const char* const kPatterns[] = {
    "*IDN",
    "*ESE",
    "[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]",
    "[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]",
    "OUTPut#[:STATe]",
    "SYSTem:ERRor[:NEXT]",
    "STATus:QUEStionable[:EVENt]",
    "INITiate#[:IMMediate]",
    "[SOURce#]:LIST:VALues",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const ParsedMessage parsed = ParseProgramMessage(line);
    Check(!parsed.error || (parsed.error->code <= -100 && parsed.error->code > -200 && !parsed.error->text.empty()));

    std::string canonical;
    for (const MessageUnit& unit : parsed.units) {
        Check(!unit.nodes.empty() && unit.nodes.size() <= kMaxHeaderNodes);
        Check(!unit.common || unit.nodes.size() == 1);
        for (const Node& node : unit.nodes) {
            Check(IsMnemonic(node.mnemonic) && node.suffix >= -1);
            // A compound node's digits are its suffix, never its mnemonic's end.
            Check(unit.common || !(node.mnemonic.back() >= '0' && node.mnemonic.back() <= '9'));
        }
        for (const Param& param : unit.params) {
            if (param.kind == Param::Kind::Number)
                Check(std::isfinite(param.number));
            if (param.kind == Param::Kind::Mnemonic)
                Check(IsMnemonic(param.text));
        }
        if (!canonical.empty())
            canonical += ';';
        canonical += FormatMessageUnit(unit);
    }
    const ParsedMessage again = ParseProgramMessage(canonical);
    Check(!again.error && again.units == parsed.units);

    static const std::vector<HeaderPattern> patterns = [] {
        std::vector<HeaderPattern> compiled;
        for (const char* text : kPatterns) {
            auto pattern = HeaderPattern::Compile(text);
            Check(pattern.has_value());
            compiled.push_back(std::move(*pattern));
        }
        return compiled;
    }();
    // The same bytes as a pattern: either refused or a usable one.
    if (const auto own = HeaderPattern::Compile(line))
        for (const MessageUnit& unit : parsed.units)
            own->Match(unit);

    StatusModel status;
    for (const MessageUnit& unit : parsed.units) {
        bool known = false;
        for (const HeaderPattern& pattern : patterns) {
            if (const auto suffix = pattern.Match(unit)) {
                Check(*suffix >= 0);
                known = true;
                break;
            }
        }
        status.AddError(known ? -222 : -113, FormatMessageUnit(unit));
        Check(status.ErrorCount() <= ErrorQueue::kCapacity);
    }
    if (parsed.error)
        status.AddError(parsed.error->code, line);
    Check(status.ErrorCount() <= ErrorQueue::kCapacity);
    Check(((status.StatusByte() & 0x04) != 0) == (status.ErrorCount() > 0));
    for (ErrorEntry entry = status.NextError(); entry.code != 0; entry = status.NextError())
        Check(entry.text.size() <= ErrorQueue::kMaxTextLength && FormatErrorEntry(entry).front() == '-');
    Check(status.ErrorCount() == 0);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "*IDN?",
        "*RST;*CLS;*ESE 32;*SRE 32",
        "SOUR1:CURR 0.004;VOLT?",
        ":SOURce2:CURRent:LEVel:IMMediate:AMPLitude 4mA\r",
        "SOUR:CURR 4 MA;:OUTP1 ON;:OUTP2:STAT OFF",
        "CURR 4000UA;CURR 0.004A;VOLT 2.5V;VOLT 500mV",
        "CURR MIN;CURR? MAX;CURR DEF",
        "SOUR1:LIST:VAL 0.004,0.008,0.012;:INIT1",
        "SYST:ERR?;:SYST:ERR:NEXT?;:STAT:QUES?;:STAT:OPER:ENAB 512",
        "DISP:TEXT \"a;b,c\"\"d\";:DISP:TEXT 'it''s'",
        "CURR #H1F;CURR #Q17;CURR #B101;CURR -2e-3;CURR .5;CURR 4E-3",
        "SOUR01:CURR 1;SOUR99999999999:CURR 1",
        "CURR 1e99999;CURR 1.5.3;CURR 1e+;CURR 4 MX",
        "SOUR::CURR;;:",
        "ABCDEFGHIJKLMNOPQ:CURR 1",
        "CURR #210abcdefghij",
        "CURR (@1,2)",
        "\x01\x7f\xff\xc3\xa9 \"\xc3\xa9\"",
        ":A:B:C:D:E:F:G:H:I:J:K:L;M;N",
        "SYST:ERR?;",
    };
}
