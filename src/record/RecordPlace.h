#pragma once
// Where the run record is kept and how large it may grow, as the programs'
// options and environment say.
//
// Thread contract: plain functions; they read the environment.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// $VELMORA_RECORD, else $XDG_STATE_HOME/velmora/record.sqlite3, else
// ~/.local/state/velmora/record.sqlite3. Empty when none of these can be
// named (no HOME).
std::string DefaultRecordPath();

// A size for --record-limit: bytes, or with K, M or G (powers of 1024), as
// 500M or 2G. Nothing for any other text and for less than a mebibyte: a
// record pruned to nothing would keep nothing.
std::optional<std::int64_t> ParseRecordLimit(std::string_view text);

} // namespace velmora
