#pragma once
// Lock-free single-producer/single-consumer byte ring.
//
// Thread contract:
//  - the producer (the serial reader thread) alone calls Push and RaiseErrors,
//    and alone writes m_head;
//  - the consumer (the UI thread) alone calls Pop, Empty, TakeErrors and
//    Reset, and alone writes m_tail (Reset only while no producer runs).
// The producer stores a byte before it publishes the new head (release); the
// consumer takes the byte before it publishes the new tail (release). One slot
// always stays free, so a ring of N slots holds N - 1 bytes.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "link/LineBuffer.h"

namespace velmora {

// Receive error flags, as the driver reports them.
enum RxErrorBits : std::uint8_t {
    kRxFramingError = 1u << 1,
    kRxParityError = 1u << 2,
    kRxBreak = 1u << 3,
};

template <std::size_t N>
class ReceiveRing {
    static_assert(N >= 2);

public:
    // False when the ring is full and the byte was dropped.
    bool Push(std::uint8_t byte)
    {
        const std::uint32_t head = m_head.load(std::memory_order_relaxed);
        const std::uint32_t next = (head + 1) % N;
        if (next == m_tail.load(std::memory_order_acquire))
            return false;
        m_slots[head] = byte;
        m_head.store(next, std::memory_order_release);
        return true;
    }

    bool Pop(std::uint8_t& byte)
    {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return false;
        byte = m_slots[tail];
        m_tail.store((tail + 1) % N, std::memory_order_release);
        return true;
    }

    bool Empty() const
    {
        return m_tail.load(std::memory_order_relaxed) == m_head.load(std::memory_order_acquire);
    }

    std::size_t Size() const
    {
        const std::uint32_t head = m_head.load(std::memory_order_acquire);
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        return (head + N - tail) % N;
    }

    void RaiseErrors(std::uint8_t bits) { m_errors.fetch_or(bits, std::memory_order_acq_rel); }
    std::uint8_t TakeErrors() { return m_errors.exchange(0, std::memory_order_acq_rel); }
    bool HasErrors() const { return m_errors.load(std::memory_order_acquire) != 0; }

    // Empties the ring. Only while no producer runs.
    void Reset()
    {
        m_tail.store(m_head.load(std::memory_order_acquire), std::memory_order_release);
        m_errors.store(0, std::memory_order_release);
    }

    static constexpr std::size_t kUsable = N - 1;

private:
    std::array<std::uint8_t, N> m_slots{};
    std::atomic<std::uint32_t> m_head{0};
    std::atomic<std::uint32_t> m_tail{0};
    std::atomic<std::uint8_t> m_errors{0};
};

// Serial line building: one call moves bytes from the ring into `line` until a
// line completes, the ring runs empty or the line overflows. A pending receive
// error drops the line in progress (once) before any byte is taken.
template <std::size_t N>
LineResult AssembleSerialLine(ReceiveRing<N>& ring, LineBuffer& line)
{
    for (;;) {
        if (ring.TakeErrors() != 0) {
            line.pos = 0;
            return LineResult::LineDiscarded;
        }
        std::uint8_t byte = 0;
        if (!ring.Pop(byte))
            return line.pos > 0 ? LineResult::LinePartial : LineResult::LineNone;
        const LineResult r = PutLineByte(line, byte);
        if (r != LineResult::LinePartial)
            return r;
    }
}

} // namespace velmora
