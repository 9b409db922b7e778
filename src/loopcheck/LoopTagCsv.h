#pragma once
// Tags as CSV (RFC 4180, UTF-8, CR LF line ends, a header row): one row per
// tag, the columns named as velmoractl's options name the fields. Written by
// `loopcheck tag export`, read by `tag import` and by the window's import.
//
//   name,description,location,channel,range,lrv,urv,unit,transfer,points,
//   tolerance,adjust_limit,settle,decimals
//
// transfer is "linear" or "sqrt"; points is "0,25,50,75,100" inside quotes;
// an empty adjust_limit is none. On reading, the header names the columns
// (in any order; name, channel, range, lrv, urv and unit are required, the
// others take the tag defaults when absent or empty), a UTF-8 byte order
// mark is skipped, and a file that breaks the format, a row that is not a
// valid tag, or a name given twice refuses the whole file: nothing of it is
// imported, and the message names the row (numbered from 1, the header
// being row 1).
//
// Thread contract: plain functions; any thread.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "loopcheck/LoopTag.h"

namespace velmora {

// The whole file: the header row and a row per tag, in the order given.
std::string LoopTagsToCsv(const std::vector<LoopTag>& tags);

struct LoopTagCsvError {
    int row = 0;         // 1 is the header; 0 for a fault of the whole file
    std::string message; // in the current language, the row named
};
// The tags of a CSV file's bytes, or why none are taken.
std::variant<std::vector<LoopTag>, LoopTagCsvError> LoopTagsFromCsv(std::string_view bytes);

// One CSV field, quoted when it must be (a comma, a quote, a line end, or
// space at either end).
std::string CsvField(std::string_view text);

} // namespace velmora
