#pragma once
// The frames of normal operation on their way to the serial line: at most one
// unsent settings frame per channel and one status request, handed to the
// channel no faster than the line carries them.
//
// Thread contract: UI thread only. GeneratorLink owns the queue and is the
// only caller of its writing members; others read the estimate and the
// counters through GeneratorLink::Wire().
//
// Why a queue: the line carries 1,920 bytes a second (19200 bit/s, ten bits
// a byte), a settings frame takes 24 ms, and every change of one channel
// writes the frames of every channel in use. A caller that changes faster
// than that would pile bytes up in the driver until a write fails, and the
// unit would follow seconds behind. Only the newest frame of a channel
// matters to the unit, so a newer frame replaces an unsent one where it
// stands, and a frame is handed over only while the line's estimated backlog
// is short. The estimate is kept here on the link's clock from every write
// on the serial channel, since the driver does not say what it still holds.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "model/ChannelSettings.h"
#include "platform/Clock.h"

namespace velmora {

// What went through the queue and onto the line since the link was made.
// A frame queued is, at any moment, written, replaced or still pending.
struct WireCounters {
    std::uint64_t framesQueued = 0;   // frames handed to the queue
    std::uint64_t framesReplaced = 0; // unsent frames a newer one of their slot replaced
    std::uint64_t framesWritten = 0;  // queued frames handed to the channel
    std::uint64_t otherWrites = 0;    // writes past the queue: the exchanges' frames
    std::uint64_t bytesWritten = 0;   // every byte of both kinds of write
    Nanos lineBusy{0};                // the line's time those bytes take
    Nanos longestBacklog{0};          // the longest estimated backlog right after a write
};

class WireQueue {
public:
    static constexpr std::int64_t kLineBitsPerSecond = 19200;
    // Start bit, eight data bits, stop bit.
    static constexpr std::int64_t kBitsPerByte = 10;
    // A queued frame is handed over while less than this is still to be
    // sent before it: one tick's worth, so that the line never runs dry
    // between two ticks' pumps and a new value waits behind at most this
    // plus the frames queued ahead of it.
    static constexpr Nanos kBacklogLimit = std::chrono::milliseconds(50);

    // Hands bytes to the serial channel, without any waiting.
    using Writer = std::function<void(std::string_view bytes)>;

    WireQueue(const Clock& clock, Writer writer);

    // Called right after a settings frame of channel ch was handed over.
    void SetSettingsWritten(std::function<void(int ch)> hook) { m_settingsWritten = std::move(hook); }

    // Channel ch's (0-3) settings frame: it replaces the channel's unsent
    // frame where that stands, or joins the end of the queue; then pumps.
    // Any other ch is ignored.
    void QueueSettings(int ch, std::string frame);
    // The same for the one status request slot.
    void QueueStatusRequest(std::string frame);

    // Hands over queued frames, oldest slot first, while the backlog before
    // each is under kBacklogLimit.
    void Pump();
    // Hands over every queued frame now, whatever the backlog: before a
    // write that must not overtake them, and before the port closes.
    void Flush();

    // Counts a write made past the queue into the estimate.
    void NoteWritten(std::size_t bytes);

    bool IsEmpty() const { return m_slots.empty(); }
    std::size_t PendingFrames() const { return m_slots.size(); }
    // What the line still has to send of the bytes handed over (zero when
    // it is idle).
    Nanos Backlog() const;
    // True once nothing is queued and the last byte handed over has left.
    bool IsDrained() const;
    // True once no settings frame waits and the last one handed over has
    // left: every value given is on the wire, whatever polls follow (for
    // *OPC? and *WAI, which the status requests of every tick would
    // otherwise keep waiting for ever).
    bool SettingsOnWire() const;
    // The earliest time at which IsDrained() can be true: the line's backlog
    // and then every queued frame back to back. Later pumps keep to it while
    // the ticks come; a frame queued meanwhile moves it on.
    Nanos DrainTime() const;

    const WireCounters& Counters() const { return m_counters; }

    // The time `bytes` take on the line.
    static Nanos TransmitTime(std::size_t bytes);

private:
    // Slots 0 to kMaxChannels-1 are the channels' settings frames.
    static constexpr int kStatusSlot = kMaxChannels;

    struct Slot {
        int id;
        std::string frame;
    };

    void Queue(int id, std::string frame);
    void WriteFront();
    void Account(std::size_t bytes);

    const Clock& m_clock;
    Writer m_writer;
    std::function<void(int ch)> m_settingsWritten;
    std::deque<Slot> m_slots;
    // When the last byte handed to the channel will have left the line.
    Nanos m_lineFree{0};
    // When the last settings frame handed over will have left the line.
    Nanos m_settingsFree{0};
    WireCounters m_counters;
};

} // namespace velmora
