#pragma once
// A byte channel to an in-process simulated unit. What the host writes goes
// straight to the unit; the unit's output reaches a receive ring when it is
// due on the channel's clock, and lines are built from the ring exactly as
// the serial channel builds them.
//
// With the steady clock the channel waits in real time; with a test's fake
// clock WaitForInput jumps straight to the next due byte (or the deadline),
// so an exchange with delays and time-outs runs in no real time.
//
// Thread contract: one thread (the UI thread) calls every member, and the
// unit is not touched by any other thread meanwhile.

#include <vector>

#include "SimUnit.h"
#include "link/ByteChannel.h"
#include "link/ReceiveRing.h"

namespace velmora::sim {

class SimChannel final : public ByteChannel {
public:
    SimChannel(SimUnit& unit, Clock& clock) : m_unit(unit), m_clock(clock) { }

    // Lets a test see the open fail (an absent or busy port).
    void SetOpenable(bool openable) { m_bOpenable = openable; }

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_bOpen; }
    void Write(std::span<const std::uint8_t> bytes) override;
    LineResult ReadLine(LineBuffer& line) override;
    bool WaitForInput(Clock& clock, Nanos deadline) override;

    // A receive error (kRxFramingError, ...) as the driver would report it,
    // after the bytes received so far: the line it falls in is dropped when
    // reading reaches it.
    void RaiseReceiveError(std::uint8_t bits) { m_ring.RaiseErrors(bits); }

    // Every write the host made, with the time it was made.
    struct Written {
        Nanos at;
        std::string bytes;
    };
    const std::vector<Written>& Writes() const { return m_writes; }
    int Opens() const { return m_nOpens; }

    SimUnit& Unit() { return m_unit; }

private:
    // Moves the unit's output due by `now` into the ring; while the channel
    // is closed nobody listens, so the output is lost.
    void DeliverDue(Nanos now);

    SimUnit& m_unit;
    Clock& m_clock;
    ReceiveRing<512> m_ring;
    std::vector<Written> m_writes;
    bool m_bOpen = false;
    bool m_bOpenable = true;
    int m_nOpens = 0;
};

} // namespace velmora::sim
