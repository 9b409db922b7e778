#pragma once
// The command tree's headers, written the way SCPI documents them, and the
// test whether a parsed unit names one of them.
//
// A pattern is "*IDN" or a compound header such as
// "[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]":
// - A mnemonic's upper-case letters (and digits) come first and are its
//   short form, the whole word is its long form. A typed node matches when
//   it is one or the other in any case, nothing in between: CURR and current
//   match CURRent, CURRE does not.
// - "[...]" holds one node that may be left out; the colons around nodes are
//   optional in the pattern.
// - "#" after a mnemonic takes a numeric suffix. One node per pattern may
//   have it. A typed suffix on a node without "#" does not match; the tree
//   then answers -113, as for any header it does not hold.
// - No "?" in a pattern: whether a unit is a query is the caller's test.
//
// Matching costs at most patterns' nodes x typed nodes steps, without
// allocating, so a linear scan over a hundred patterns keeps up with any
// client.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/ScpiParser.h"

namespace velmora::scpi {

// True when `typed` is the short or the long form of `form` ("MINimum": MIN
// or MINIMUM, any case). For character data as well as headers.
bool MnemonicMatches(std::string_view typed, std::string_view form);

class HeaderPattern {
public:
    static constexpr std::size_t kMaxNodes = 16;

    // Nothing when the text breaks the rules above (empty node, unbalanced
    // "[", a "#" not at a mnemonic's end or on two nodes, a short form that
    // is not a prefix, a mnemonic ending in a digit, more than kMaxNodes
    // nodes, a "?"): the table's own test catches a typo at once.
    static std::optional<HeaderPattern> Compile(std::string_view pattern);

    // The numeric suffix when the unit's header is this pattern: the typed
    // suffix of the "#" node, 1 when it was typed without one, left out, or
    // the pattern has none. Range checks (-114) are the caller's.
    std::optional<int> Match(const MessageUnit& unit) const;

    bool Common() const { return common_; }

private:
    struct PatternNode {
        std::string shortForm; // upper case
        std::string longForm;  // upper case
        bool optional = false;
        bool numbered = false;
    };

    // failed[p] bit t: pattern nodes from p on cannot take typed nodes from t on.
    using Failures = std::array<std::uint32_t, kMaxNodes + 1>;
    bool Walk(std::size_t p, std::size_t t, const std::vector<Node>& typed, Failures& failed, int& suffix) const;

    bool common_ = false;
    std::vector<PatternNode> nodes_;
};

} // namespace velmora::scpi
