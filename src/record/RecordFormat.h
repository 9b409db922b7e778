#pragma once
// The run record's events as text: CSV (RFC 4180, UTF-8, a header row), JSON
// Lines, and the one-line form `velmoractl record show` prints.
//
// Thread contract: plain functions.

#include <string>

#include "record/RecordEvent.h"

namespace velmora {

// seq,time,source,kind,channel,range,... with CR LF.
std::string RecordCsvHeader();
// One event as a CSV row with CR LF: a cell empty where the event has no
// such field.
std::string RecordCsvRow(const RecordEvent& event);
// One event as a JSON object with only the fields it has, without a line end.
std::string RecordJson(const RecordEvent& event);
// "   42 2026-12-10T05:21:48.123456Z panel settings channel=1 range=4_20mA ..."
std::string RecordLine(const RecordEvent& event);

// A value as the CSV and the line show it: integers in full, reals as the
// shortest text that reads back the same, true/false.
std::string RecordValueText(const RecordValue& value);

} // namespace velmora
