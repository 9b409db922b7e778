#pragma once
// Lock-free single-producer/single-consumer byte ring that also carries the
// receive faults at the place in the byte stream where they happened.
//
// Thread contract:
//  - the producer (the serial reader thread) alone calls Push and RaiseErrors,
//    and alone writes m_head;
//  - the consumer (the UI thread) alone calls Pop, Empty, Size, TakeErrors,
//    HasErrors and Reset, and alone writes m_tail (Reset only while no
//    producer runs).
// The producer stores a byte before it publishes the new head (release); the
// consumer takes the byte before it publishes the new tail (release). One slot
// always stays free, so a ring of N slots holds N - 1 bytes.
// A fault is recorded on the slot at the head, the one the next byte will
// take, so it lies between the bytes received before it and those after. The
// fault marks are atomics: the producer ORs into the head's mark while the
// consumer may be clearing the same mark of an empty ring.
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

template <std::size_t N> class ReceiveRing {
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

    // Takes the next byte. A fault that lies before it is left for
    // TakeErrors: Pop returns false while one is pending at the tail.
    bool Pop(std::uint8_t& byte)
    {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return false;
        if (m_faults[tail].load(std::memory_order_acquire) != 0)
            return false;
        byte = m_slots[tail];
        m_tail.store((tail + 1) % N, std::memory_order_release);
        return true;
    }

    bool Empty() const { return m_tail.load(std::memory_order_relaxed) == m_head.load(std::memory_order_acquire); }

    std::size_t Size() const
    {
        const std::uint32_t head = m_head.load(std::memory_order_acquire);
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        return (head + N - tail) % N;
    }

    void RaiseErrors(std::uint8_t bits)
    {
        const std::uint32_t head = m_head.load(std::memory_order_relaxed);
        m_faults[head].fetch_or(bits, std::memory_order_release);
    }

    // The faults that lie before the next byte (0 when none do), cleared.
    std::uint8_t TakeErrors()
    {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        return m_faults[tail].exchange(0, std::memory_order_acq_rel);
    }

    // A fault waits before the next byte; faults further on are reached by
    // reading the bytes before them.
    bool HasErrors() const
    {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        return m_faults[tail].load(std::memory_order_acquire) != 0;
    }

    // Empties the ring. Only while no producer runs.
    void Reset()
    {
        m_tail.store(m_head.load(std::memory_order_acquire), std::memory_order_release);
        for (auto& mark : m_faults)
            mark.store(0, std::memory_order_relaxed);
    }

    static constexpr std::size_t kUsable = N - 1;

private:
    std::array<std::uint8_t, N> m_slots{};
    std::atomic<std::uint32_t> m_head{0};
    std::atomic<std::uint32_t> m_tail{0};
    std::array<std::atomic<std::uint8_t>, N> m_faults{};
};

// Serial line building: one call moves bytes from the ring into `line` until a
// line completes, the ring runs empty or the line overflows. A receive fault
// drops the line in progress (once) when reading reaches the fault's place:
// the bytes received before it, still in the ring when the fault was raised,
// belong to the damaged line and go with it, while the lines completed before
// it are whole and still delivered. What follows the fault starts a new line;
// it lacks the damaged line's beginning, so it cannot pass for a reply that
// is matched at the start of its line.
template <std::size_t N> LineResult AssembleSerialLine(ReceiveRing<N>& ring, LineBuffer& line)
{
    for (;;) {
        if (ring.TakeErrors() != 0) {
            line.pos = 0;
            return LineResult::LineDiscarded;
        }
        std::uint8_t byte = 0;
        if (!ring.Pop(byte)) {
            if (ring.HasErrors())
                continue; // raised just now, before the byte that follows it
            return line.pos > 0 ? LineResult::LinePartial : LineResult::LineNone;
        }
        const LineResult r = PutLineByte(line, byte);
        if (r != LineResult::LinePartial)
            return r;
    }
}

} // namespace velmora
