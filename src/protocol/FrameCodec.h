#pragma once
// The unit's framed text protocol: building every command, checking and
// taking apart every reply. Pure functions, no state.
//
// A frame is STX, payload, ETX, two upper-case hex checksum digits, CR LF.
// The checksum is the byte sum, modulo 256, of everything after STX up to and
// including ETX.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';

inline constexpr int kStatusReplyLength = 58;
inline constexpr int kAdjustReplyLength = 24;
inline constexpr int kSettingsFrameLength = 46;

// Appends the checksum of `message` (from its second byte up to and including
// the first ETX) and CR LF. A message without ETX is a programming error.
void AppendChecksum(std::string& message);

// Checks a received line (CR LF included) against the frame rules: an ETX
// before the last byte, the expected total length, a matching upper-case
// checksum and a channel digit "1"-"4" at `channelOffset`. Returns the index
// of the ETX, or nothing when the line is rejected.
std::optional<int> VerifyFrame(std::string_view line, int expectedLength, int channelOffset = 2);

// Hex digits of `text`, in order; any other character is skipped.
unsigned ParseHex(std::string_view text);

// A 2- or 4-character hex field of a verified reply, read like strtoul in
// base 16: stops at the first character that is not a hex digit.
unsigned HexField(std::string_view line, int offset, int width);

// Settings words of one channel, in the order they travel.
struct SettingsWords {
    std::uint16_t dacCode = 0;
    std::uint16_t controlWord = 0;
    std::uint16_t auxControlWord = 0;
    std::uint16_t reservedWord = 0; // sent twice
    std::uint16_t extOutputWord = 0;
    std::array<std::uint16_t, 3> spareWords{};
};

// Commands. `ch` is the channel index 0-3; it travels as "1"-"4".
std::string BuildVersionQuery();                                                   // "VER" CR LF
std::string BuildChannelCountQuery();                                              // "CH" CR LF
std::string BuildStatusRequest(int ch);                                            // STX "R" ch CR LF
std::string BuildSettingsWrite(int ch, int rangeCode, const SettingsWords& words); // 46 bytes
std::string BuildInitUserAdjustment();                                             // STX "CINIU" ETX CR LF, no checksum
// kind 1 = maker ("M"), 2 = user ("U").
std::string BuildAdjustmentRead(int kind, int ch, int rangeCode);
// testPoint 0 none, 1 lower end, 2 upper end.
std::string BuildAdjustmentTest(int testPoint, int ch, int rangeCode, std::uint16_t minCorrection,
                                std::uint16_t maxCorrection);
std::string BuildAdjustmentTransfer(int kind, int ch, int rangeCode, std::uint16_t select, std::uint16_t minCorrection,
                                    std::uint16_t maxCorrection);
std::string BuildAdjustmentStore(int kind);

} // namespace velmora
