#include "remote/ScpiPattern.h"

namespace velmora::scpi {

namespace {

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool IsAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || IsLower(c);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// `upper` is already in upper case.
bool EqualsUpper(std::string_view typed, std::string_view upper)
{
    if (typed.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < typed.size(); ++i)
        if (Upper(typed[i]) != upper[i])
            return false;
    return true;
}

} // namespace

bool MnemonicMatches(std::string_view typed, std::string_view form)
{
    std::size_t shortLength = 0;
    while (shortLength < form.size() && !IsLower(form[shortLength]))
        ++shortLength;
    if (typed.size() != shortLength && typed.size() != form.size())
        return false;
    for (std::size_t i = 0; i < typed.size(); ++i)
        if (Upper(typed[i]) != Upper(form[i]))
            return false;
    return true;
}

std::optional<HeaderPattern> HeaderPattern::Compile(std::string_view pattern)
{
    HeaderPattern compiled;
    std::size_t pos = 0;
    if (pattern.starts_with('*')) {
        compiled.common_ = true;
        pos = 1;
    }
    bool numbered = false;
    while (pos < pattern.size()) {
        if (pattern[pos] == ':' && !compiled.common_) {
            ++pos;
            continue;
        }
        PatternNode node;
        std::size_t end = pos;
        if (pattern[pos] == '[' && !compiled.common_) {
            end = pattern.find(']', pos);
            if (end == std::string_view::npos)
                return std::nullopt;
            node.optional = true;
            ++pos;
            if (pos < end && pattern[pos] == ':')
                ++pos;
        } else {
            while (end < pattern.size() && pattern[end] != ':' && pattern[end] != '[')
                ++end;
        }
        std::string_view word = pattern.substr(pos, end - pos);
        pos = node.optional ? end + 1 : end;
        if (word.ends_with('#')) {
            if (numbered || compiled.common_)
                return std::nullopt;
            numbered = node.numbered = true;
            word.remove_suffix(1);
        }
        if (word.empty() || !IsAlpha(word.front()) || IsDigit(word.back()))
            return std::nullopt;
        bool inLong = false;
        for (const char c : word) {
            if (!IsAlpha(c) && !IsDigit(c) && c != '_')
                return std::nullopt;
            // Upper case after lower case: not a short form SCPI knows.
            if (inLong && !IsLower(c))
                return std::nullopt;
            inLong = inLong || IsLower(c);
            if (!inLong)
                node.shortForm += c;
            node.longForm += Upper(c);
        }
        if (node.shortForm.empty())
            return std::nullopt;
        compiled.nodes_.push_back(std::move(node));
        if (compiled.nodes_.size() > kMaxNodes || (compiled.common_ && compiled.nodes_.size() > 1))
            return std::nullopt;
    }
    if (compiled.nodes_.empty())
        return std::nullopt;
    return compiled;
}

std::optional<int> HeaderPattern::Match(const MessageUnit& unit) const
{
    if (unit.common != common_ || unit.nodes.size() > nodes_.size())
        return std::nullopt;
    Failures failed{};
    int suffix = 1;
    if (!Walk(0, 0, unit.nodes, failed, suffix))
        return std::nullopt;
    return suffix;
}

bool HeaderPattern::Walk(std::size_t p, std::size_t t, const std::vector<Node>& typed, Failures& failed,
                         int& suffix) const
{
    if (p == nodes_.size())
        return t == typed.size();
    const std::uint32_t bit = std::uint32_t{1} << t;
    if ((failed[p] & bit) != 0)
        return false;
    const PatternNode& node = nodes_[p];
    if (t < typed.size()) {
        const Node& word = typed[t];
        const bool suffixFits = node.numbered || word.suffix < 0;
        const bool named = EqualsUpper(word.mnemonic, node.shortForm) || EqualsUpper(word.mnemonic, node.longForm);
        if (suffixFits && named && Walk(p + 1, t + 1, typed, failed, suffix)) {
            if (node.numbered && word.suffix >= 0)
                suffix = word.suffix;
            return true;
        }
    }
    // An omitted "#" node leaves the suffix at its default of 1.
    if (node.optional && Walk(p + 1, t, typed, failed, suffix))
        return true;
    failed[p] |= bit;
    return false;
}

} // namespace velmora::scpi
