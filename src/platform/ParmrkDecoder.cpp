#include "platform/ParmrkDecoder.h"

#include "platform/SerialPort.h"

namespace velmora {

ParmrkDecoder::Result ParmrkDecoder::Decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    Result r;
    while (r.consumed < in.size() && r.produced < out.size()) {
        const std::uint8_t b = in[r.consumed];
        switch (m_state) {
        case State::Data:
            ++r.consumed;
            if (b == 0xFF)
                m_state = State::Marker;
            else
                out[r.produced++] = b;
            break;
        case State::Marker:
            if (b == 0xFF) {
                ++r.consumed;
                out[r.produced++] = 0xFF;
                m_state = State::Data;
            } else if (b == 0x00) {
                ++r.consumed;
                m_state = State::Fault;
            } else {
                // The driver never sends this; take the FF as data and read
                // the byte again as ordinary input rather than lose it.
                out[r.produced++] = 0xFF;
                m_state = State::Data;
            }
            break;
        case State::Fault:
            // The byte received in error is worthless; only the fault counts.
            ++r.consumed;
            m_state = State::Data;
            r.lineErrors = b == 0x00 ? kLineBreak : kLineFraming;
            return r;
        }
    }
    return r;
}

std::uint8_t ClassifyLineFault(std::uint8_t decoded, const LineFaultCounts& before, const LineFaultCounts& after)
{
    std::uint8_t bits = 0;
    if (after.frame != before.frame)
        bits |= kLineFraming;
    if (after.parity != before.parity)
        bits |= kLineParity;
    if (after.brk != before.brk)
        bits |= kLineBreak;
    return bits != 0 ? bits : decoded;
}

} // namespace velmora
