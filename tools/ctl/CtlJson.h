#pragma once
// velmoractl's --json output: what a command prints, as one JSON object a
// line on standard output, for scripts that would otherwise pick the
// key=value lines apart. Keys are English snake_case whatever --lang says;
// channels are numbered from 1 as on the command line; numbers are JSON
// numbers and times ISO 8601 in UTC. The objects that two commands share
// (a range's corrections in `adjust show` and `report`) are built here, so
// that they cannot drift apart, and so is every object a command prints both
// from the unit and through a running Velmora.
//
// Thread contract: the command's thread only.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ChannelSettings.h"
#include "platform/JsonText.h"

namespace velmora {
class GeneratorModel;
}

namespace velmora::ctl {

inline constexpr const char* kJsonFlag = "--json";

// Takes every --json out of `args`; true when there was one.
bool TakeJsonFlag(std::vector<std::string>& args);

// The object as one line on standard output, flushed at once: a reader of
// monitor or auto sees each event when it happens, not when a buffer fills.
void PrintJsonLine(const JsonObject& object);

// A JSON array of items that are JSON text already.
std::string JsonArray(const std::vector<std::string>& items);

// "2026-12-10T05:21:48.123456Z".
std::string IsoTimeUtc(std::chrono::system_clock::time_point time);
// The wall-clock time of an instant read off the steady clock in whole
// milliseconds, as the panel session stamps its steps (PanelSession::Now);
// a running Velmora on this machine reads the same clock.
std::string IsoTimeOfSteadyMs(std::int64_t ms);

// "range": the range table's key ("4_20mA"), null for a code that names no
// range; "range_code": the code.
void AddRange(JsonObject& object, int rangeCode);

// One range's two correction sets and which one is in effect, as `adjust
// show` prints a line and `report` a row of its table.
JsonObject AdjustmentJson(int ch, int rangeCode, const MakerCorrection& maker, const UserAdjustment& user);

// One channel's status as the model holds it after its reply (or, through a
// running Velmora, its status words): `status` prints it.
JsonObject StatusJson(const GeneratorModel& model, int ch, int rangeCode, unsigned select);

} // namespace velmora::ctl
