#pragma once
// The exchanges that read, try out, transfer, store and reset the unit's
// output corrections (maker and user sets, one slot per channel and range
// code). Each runs to its end on the calling thread through the link's
// shared exchange loop.
//
// Thread contract: UI thread only, like every exchange.

#include <cstdint>
#include <string_view>

#include "protocol/GeneratorLink.h"

namespace velmora {

class GeneratorModel;

// Which correction set an exchange is about.
inline constexpr int kAdjustMaker = 1; // "M"
inline constexpr int kAdjustUser = 2;  // "U"

// How an adjustment exchange ended. The unit not answering and the unit
// answering with replies that never pass their checks call for different
// looks at the cable and the unit, so they are kept apart.
enum class AdjustOutcome {
    Answered,   // the reply (the read's frame, the others' "OK") came
    TimedOut,   // the fourth time-out passed without it
    BadReplies, // replies came, but the fourth try still failed its checks
    NotSent,    // the channel or range code cannot travel: nothing went out
};

inline bool Answered(AdjustOutcome outcome)
{
    return outcome == AdjustOutcome::Answered;
}

// "answered", "timed out", "damaged replies", "not sent": for command-line
// messages.
const char* AdjustOutcomeText(AdjustOutcome outcome);

// Test points of the test output.
inline constexpr int kTestOff = 0;   // no test output
inline constexpr int kTestLower = 1; // drive the range's lower end
inline constexpr int kTestUpper = 2; // drive the range's upper end

// Reads one correction set of channel ch (0-3) for a range code and stores
// the reply in the model. Ends after the fourth failure: a reply that does
// not come within the time-out, or one that fails its checks (each of those
// is asked again after a quiet wait). A channel or range code that cannot
// travel (ch outside 0-3, range outside 0-255) sends nothing.
AdjustOutcome ReadAdjustment(GeneratorLink& link, GeneratorModel& model, LinkMode mode, int ch, int kind,
                             int rangeCode);

// Stores a verified 24-byte adjustment reply in the record of the channel
// the reply names (not necessarily the one that was asked). A range code
// above 15 is accepted and stores nothing. False, nothing stored, when the
// reply fails its checks.
bool ApplyAdjustmentReply(GeneratorModel& model, std::string_view line);

// The remaining exchanges end after the unit's "OK" or after the fourth
// time-out alike; callers go on either way, but may tell the operator.

// Test output over the serial channel, with the corrections to try.
AdjustOutcome TestAdjustment(GeneratorLink& link, int testPoint, int ch, int rangeCode, std::uint16_t minCorrection,
                             std::uint16_t maxCorrection);
// Sends the model's words of one slot: the slot's select word, then the
// kind's correction pair. Nothing is sent for a slot the model does not have.
AdjustOutcome TransferAdjustment(GeneratorLink& link, const GeneratorModel& model, LinkMode mode, int ch, int rangeCode,
                                 int kind);
// Makes the unit keep the transferred set.
AdjustOutcome StoreAdjustment(GeneratorLink& link, LinkMode mode, int kind);
// Resets the unit's user corrections, over the serial channel.
AdjustOutcome InitUserAdjustment(GeneratorLink& link);

} // namespace velmora
