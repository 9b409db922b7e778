#pragma once
// Received bytes as the terminal driver marks them when it is told to report
// line faults in band (PARMRK with INPCK, IGNPAR and ISTRIP off):
//   FF FF     a received FF byte
//   FF 00 00  a break (a framing error on a zero byte looks the same)
//   FF 00 c   the byte c arrived with a framing or parity error
// A sequence may be split across reads; the decoder keeps its place.
//
// Thread contract: a decoder belongs to the one thread that reads the port.

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

class ParmrkDecoder {
public:
    struct Result {
        std::size_t consumed = 0;    // bytes of the input used
        std::size_t produced = 0;    // data bytes written to the output
        std::uint8_t lineErrors = 0; // SerialLineError bits, after the produced bytes
    };

    // Decodes `in` into `out` until the input is used up, the output is full
    // or a fault was decoded. Stopping at a fault lets the caller place it
    // between the bytes that came before it and those after it.
    Result Decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

    // True while a marker has begun but not ended.
    bool MidSequence() const { return m_state != State::Data; }
    void Reset() { m_state = State::Data; }

private:
    enum class State { Data, Marker, Fault };
    State m_state = State::Data;
};

// The driver's running counts of line faults, where it keeps them.
struct LineFaultCounts {
    std::uint64_t frame = 0;
    std::uint64_t parity = 0;
    std::uint64_t brk = 0;
};

// A marker cannot tell a framing error from a parity error, nor a break from
// a framing error on a zero byte. When the driver's counters moved, they name
// the faults; otherwise the decoder's guess stands.
std::uint8_t ClassifyLineFault(std::uint8_t decoded, const LineFaultCounts& before, const LineFaultCounts& after);

} // namespace velmora
