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

// Test points of the test output.
inline constexpr int kTestOff = 0;   // no test output
inline constexpr int kTestLower = 1; // drive the range's lower end
inline constexpr int kTestUpper = 2; // drive the range's upper end

// Reads one correction set of channel ch (0-3) for a range code and stores
// the reply in the model. False after the fourth failure: a reply that does
// not come within the time-out, or one that fails its checks (each of those
// is asked again after a quiet wait). A channel or range code that cannot
// travel (ch outside 0-3, range outside 0-255) sends nothing and fails.
bool ReadAdjustment(GeneratorLink& link, GeneratorModel& model, LinkMode mode, int ch, int kind, int rangeCode);

// Stores a verified 24-byte adjustment reply in the record of the channel
// the reply names (not necessarily the one that was asked). A range code
// above 15 is accepted and stores nothing. False, nothing stored, when the
// reply fails its checks.
bool ApplyAdjustmentReply(GeneratorModel& model, std::string_view line);

// The remaining exchanges end after the unit's "OK" or after the fourth
// time-out alike; callers go on either way. The result only says whether
// the "OK" came.

// Test output over the serial channel, with the corrections to try.
bool TestAdjustment(GeneratorLink& link, int testPoint, int ch, int rangeCode, std::uint16_t minCorrection,
                    std::uint16_t maxCorrection);
// Sends the model's words of one slot: the slot's select word, then the
// kind's correction pair. Nothing is sent for a slot the model does not have.
bool TransferAdjustment(GeneratorLink& link, const GeneratorModel& model, LinkMode mode, int ch, int rangeCode,
                        int kind);
// Makes the unit keep the transferred set.
bool StoreAdjustment(GeneratorLink& link, LinkMode mode, int kind);
// Resets the unit's user corrections, over the serial channel.
bool InitUserAdjustment(GeneratorLink& link);

} // namespace velmora
