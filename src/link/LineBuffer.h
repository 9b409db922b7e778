#pragma once
// Received bytes become lines here. The same rules serve the serial channel
// and the FTDI channel: a line ends at CR LF with at least one byte before the
// CR, and a line that reaches 512 bytes without ending is thrown away.
//
// Thread contract: a LineBuffer belongs to the UI thread.

#include <array>
#include <cstdint>
#include <string_view>

namespace velmora {

enum class LineResult : int {
    LineNone = 0,      // nothing received, no partial line
    LineDiscarded = 1, // the partial line was thrown away (overflow or receive error)
    LinePartial = 2,   // bytes of an unfinished line are held
    LineComplete = 3,  // a complete line ending in CR LF is in the buffer
};

struct LineBuffer {
    static constexpr int kCapacity = 512;
    // One more byte for the NUL written after an LF at position 511.
    std::array<char, kCapacity + 1> bytes{};
    // Bytes of the current line already held.
    int pos = 0;
    // Length (CR LF included) of the last complete line; the line may hold
    // NUL bytes from the wire, so its end is this count, not a terminator.
    int length = 0;

    std::string_view Line() const { return {bytes.data(), static_cast<size_t>(length)}; }
};

// Stores one received byte into `line`. Returns LineComplete when it finished
// a line, LineDiscarded when the line overflowed, LinePartial otherwise.
inline LineResult PutLineByte(LineBuffer& line, std::uint8_t byte)
{
    const int p = line.pos;
    line.bytes[static_cast<size_t>(p)] = static_cast<char>(byte);
    if (p >= 2 && line.bytes[static_cast<size_t>(p) - 1] == '\r' && byte == '\n') {
        line.bytes[static_cast<size_t>(p) + 1] = '\0';
        line.length = p + 1;
        line.pos = 0;
        return LineResult::LineComplete;
    }
    line.pos = p + 1;
    if (line.pos >= LineBuffer::kCapacity) {
        line.pos = 0;
        return LineResult::LineDiscarded;
    }
    return LineResult::LinePartial;
}

} // namespace velmora
