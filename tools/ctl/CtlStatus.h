#pragma once
// What velmoractl's status and monitor commands share: reading the unit's
// range out of a status reply, so that a channel's alarm and adjustment mark
// are judged for the range the unit is really on (the command has no
// settings of its own to know it from), and the one-line answers.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/GeneratorModel.h"
#include "protocol/GeneratorLink.h"

namespace velmora::ctl {

// The channel index (0-3), range code and adjustment select word of a
// status reply that passes its checks; nothing for any other line.
struct StatusOrigin {
    int channel = 0;
    int rangeCode = 0;
    unsigned select = 0;
};
std::optional<StatusOrigin> StatusReplyOrigin(std::string_view line);

// Applies a status reply to the model and makes the reply's range the
// channel's range. Nothing for a line that is not a sound status reply.
std::optional<StatusOrigin> TakeStatusReply(GeneratorModel& model, std::string_view line);

// The same for channel ch's answer to [SOURce<n>]:STATus:WORDs? from a
// running Velmora ("range,status,ext,select" in decimal, from the unit's
// last reply). Nothing for an answer that is not four such numbers.
std::optional<StatusOrigin> TakeStatusWords(GeneratorModel& model, int ch, std::string_view words);

// The line `status` prints for a channel whose reply or words the model
// has taken; with `json` its JSON object.
void PrintStatusLine(const GeneratorModel& model, const StatusOrigin& origin, bool json);

// The adjustment mark of channel ch on its range, without the panel's
// padding: "M", "U" or "". Nothing when the select bits name no set or the
// range has no slot.
std::optional<std::string> ChannelMark(const GeneratorModel& model, int ch);

// Sends `frame` once over the serial channel and waits up to the reply
// time-out for a line `accept` takes. True when one came.
bool AskOnce(GeneratorLink& link, std::string frame, const std::function<bool(std::string_view)>& accept);

} // namespace velmora::ctl
