#include "adjust/AdjustText.h"

#include <vector>

#include "adjust/AdjustSession.h"
#include "model/NumberText.h"
#include "model/RangeTable.h"

namespace velmora {

namespace {

// "MIN,MAX" as the two words of a set.
bool Pair(std::string_view text, std::uint16_t& minWord, std::uint16_t& maxWord)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return false;
    const auto lo = ParseInteger(text.substr(0, comma), -32768, 32767);
    const auto hi = ParseInteger(text.substr(comma + 1), -32768, 32767);
    if (!lo || !hi)
        return false;
    minWord = static_cast<std::uint16_t>(static_cast<std::int16_t>(*lo));
    maxWord = MaxCorrectionWord(static_cast<std::int16_t>(*hi));
    return true;
}

// The words of a line up to a '#', which starts a comment.
std::vector<std::string_view> Words(std::string_view line)
{
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

} // namespace

std::string FormatAdjustLine(int ch, int rangeCode, const MakerCorrection& maker, const UserAdjustment& user)
{
    const auto pair = [](std::uint16_t minWord, std::uint16_t maxWord) {
        return std::to_string(static_cast<std::int16_t>(minWord)) + "," + std::to_string(SignedMaxCorrection(maxWord));
    };
    return std::to_string(ch + 1) + " " + RangeKey(rangeCode) +
        " maker=" + pair(maker.minCorrection, maker.maxCorrection) +
        " user=" + pair(user.minCorrection, user.maxCorrection) +
        " select=" + std::to_string(user.adjustSelect & kSelectBits);
}

std::string FormatTestOutputLine(int ch, int testPoint, int rangeCode, std::int16_t minCorrection,
                                 std::int16_t maxCorrection)
{
    const std::string prefix = std::to_string(ch + 1) + " ";
    if (testPoint != kTestLower && testPoint != kTestUpper)
        return prefix + "off";
    const std::string range = IsValidRangeCode(rangeCode) ? RangeKey(rangeCode) : "range" + std::to_string(rangeCode);
    return prefix + (testPoint == kTestUpper ? "upper " : "lower ") + range + " min=" + std::to_string(minCorrection) +
        " max=" + std::to_string(maxCorrection);
}

std::optional<AdjustLine> ParseAdjustLine(std::string_view line, std::string& error)
{
    const std::vector<std::string_view> words = Words(line);
    if (words.size() < 2) {
        error = "expected CH RANGE [maker=MIN,MAX] [user=MIN,MAX] [select=N]";
        return std::nullopt;
    }
    AdjustLine out;
    const auto ch = ParseInteger(words[0], 1, kMaxChannels);
    if (!ch) {
        error.assign("the channel is 1 to 4, not '").append(words[0]).append("'");
        return std::nullopt;
    }
    out.channel = static_cast<int>(*ch) - 1;
    if (const auto code = ParseInteger(words[1], 0, kSlotCount - 1);
        code && IsValidRangeCode(static_cast<int>(*code))) {
        out.rangeCode = static_cast<int>(*code);
    } else if (const auto keyed = RangeCodeFromKey(std::string(words[1]))) {
        out.rangeCode = *keyed;
    } else {
        // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on a
        // concatenation that starts with a one-character literal.
        error.assign(1, '\'').append(words[1]).append("' is no output range: a name (4_20mA, 0_10V, ...) or its code");
        return std::nullopt;
    }
    for (std::size_t k = 2; k < words.size(); ++k) {
        const std::string_view w = words[k];
        if (w.starts_with("maker=")) {
            MakerCorrection m;
            if (!Pair(w.substr(6), m.minCorrection, m.maxCorrection)) {
                error = "maker=MIN,MAX takes two numbers from -32768 to 32767";
                return std::nullopt;
            }
            out.maker = m;
        } else if (w.starts_with("user=")) {
            UserAdjustment u;
            if (!Pair(w.substr(5), u.minCorrection, u.maxCorrection)) {
                error = "user=MIN,MAX takes two numbers from -32768 to 32767";
                return std::nullopt;
            }
            out.user = u;
        } else if (w.starts_with("select=")) {
            const auto n = ParseInteger(w.substr(7), 0, 3);
            if (!n) {
                error = "select=N takes 0 (none), 1 (maker) or 2 (user)";
                return std::nullopt;
            }
            out.select = static_cast<int>(*n);
        } else {
            error.assign("unexpected '").append(w).append("'");
            return std::nullopt;
        }
    }
    return out;
}

} // namespace velmora
