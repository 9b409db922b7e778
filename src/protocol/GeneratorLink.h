#pragma once
// The process-wide link to the unit: the serial channel used for all normal
// work, the FTDI channel used while the firmware update has the unit, the one
// line buffer every exchange and the panel's polling share, and the
// request/reply exchanges with their retries and time-outs, and the queue
// that paces normal operation's frames onto the serial line (WireQueue.h).
//
// Thread contract: UI thread only. The channels may fill their receive side
// from their own threads (see ByteChannel.h); the line buffer is touched only
// here and by whoever holds this object on the UI thread, so it needs no lock.
//
// Exchanges block the calling thread until they end, but never spin: between
// receive attempts they sleep on the channel until input arrives or the
// current time-out passes.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/ByteChannel.h"
#include "link/LineBuffer.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "protocol/WireQueue.h"
#include "record/RunRecorder.h"

namespace velmora {

// Which channel an operation goes through. Any other value selects no channel:
// sending does nothing and receiving reports LineNone.
enum LinkMode : int {
    LinkSerial = 0,
    LinkFtdi = 1,
};

// How an exchange judges one complete received line.
enum class ReplyVerdict {
    Accept, // the expected reply: the exchange succeeds
    Wrong,  // counted; the fourth ends the exchange, earlier ones resend
    Ignore, // not for this exchange: keep waiting
    Repeat, // a reply that failed its checks: quiet wait, then send again (not counted)
};

enum class ExchangeOutcome {
    Accepted,
    TimedOut,     // the fourth time-out
    WrongReplies, // the fourth wrong reply
    Rejected,     // a repeated reply was the failure that passed the limit (countRepeats)
};

// The knobs in which the exchanges differ; the wait/time-out loop is shared.
struct ExchangePlan {
    LinkMode mode = LinkSerial;
    std::string frame;                // sent unchanged on every attempt
    bool busy = true;                 // show the busy indication throughout
    int openingReceives = 0;          // ReceiveLine calls once, right after opening
    bool quietWaitFirst = false;      // drain until the line has been quiet before the first send
    bool resetLineBeforeSend = false; // drop a half-received line before each send
    bool resetLineAfterTimeout = false;
    // Time-outs allowed before the exchange gives up (GeneratorLink::kMaxRetries;
    // a single request: 0).
    int timeoutRetries = 3;
    // Replies judged Repeat count together with the time-outs, so that a
    // unit that keeps answering garbage cannot hold the exchange forever.
    bool countRepeats = false;
};

class GeneratorLink {
public:
    // A reply is late once more than this many milliseconds have passed
    // since its command went out.
    static constexpr int kReplyTimeoutMs = 500;
    // Attempts beyond the first that a time-out or a wrong reply may cost.
    static constexpr int kMaxRetries = 3;
    // The quiet time before an adjustment read.
    static constexpr int kQuietMs = 10;

    using Judge = std::function<ReplyVerdict(std::string_view line)>;

    GeneratorLink(Clock& clock, Prompter& prompter, std::unique_ptr<ByteChannel> serial,
                  std::unique_ptr<ByteChannel> ftdi);
    ~GeneratorLink();
    GeneratorLink(const GeneratorLink&) = delete;
    GeneratorLink& operator=(const GeneratorLink&) = delete;

    // The serial channel's port.
    void SetPortName(const std::string& name);
    const std::string& PortName() const;

    // The serial channel's connection. Connect when connected does nothing
    // and returns true; a port that cannot be opened is reported by the
    // channel. Disconnect writes every queued frame before the port closes.
    bool Connect();
    void Disconnect();
    bool IsConnected() const;

    // Null when the mode selects no channel (or none was supplied).
    ByteChannel* Channel(LinkMode mode) const;
    Clock& GetClock() const { return m_clock; }
    Prompter& GetPrompter() const { return m_prompter; }

    // Writes at once. On the serial channel every queued frame goes first,
    // so that nothing overtakes what was queued before it.
    void SendText(LinkMode mode, std::string_view bytes);
    LineResult ReceiveLine(LinkMode mode);

    // The shared line buffer. After ReceiveLine reported LineComplete the
    // line (CR LF included) is LastLine().
    LineBuffer& lineBuffer() { return m_line; }
    const LineBuffer& lineBuffer() const { return m_line; }
    int linePos() const { return m_line.pos; }
    void ResetLinePos() { m_line.pos = 0; }
    std::string_view LastLine() const { return m_line.Line(); }

    // "VER": the unit's version text (six characters as received, spaces
    // and points turned into "0"). False when the unit did not answer.
    bool QueryVersion(LinkMode mode, std::string& version);
    // "CH" over the serial channel: 1, 2 or 4; -1 on failure or for any
    // other digit.
    int QueryChannelCount();

    // Opens the mode's channel if it is not open. Failure is not an error
    // here: an exchange on a closed channel ends by time-outs.
    void OpenChannel(LinkMode mode);

    // One request/reply exchange: sends plan.frame, waits for lines and asks
    // `judge` about each complete one, resending after time-outs and wrong
    // replies until one is accepted or a counter passes kMaxRetries.
    ExchangeOutcome RunExchange(const ExchangePlan& plan, const Judge& judge);

    // Receives and discards until more than kQuietMs have passed since
    // `since`.
    void QuietWait(LinkMode mode, Nanos since);

    // --- Normal operation's frames, paced (see WireQueue.h) ---

    // Channel ch's settings frame, replacing the channel's unsent one. While
    // the serial channel is not connected the frame is handed to it at once,
    // as any other write. `carried` is what the frame says, for the hook
    // below once the frame has gone onto the line.
    void QueueSettingsFrame(int ch, std::string frame, const SettingsSnapshot& carried = {});
    // The status request, replacing an unsent one; the same rule.
    void QueueStatusRequest(std::string frame);
    // Hands over what the line's budget allows; the session's tick calls it.
    void PumpWire() { m_wire.Pump(); }
    // Hands over every queued frame now (a program about to end).
    void FlushWire() { m_wire.Flush(); }
    // The line's estimate and the queue's counters: whether everything
    // queued has left (IsDrained, DrainTime) and what went out.
    const WireQueue& Wire() const { return m_wire; }

    // --- Who asked for the frames ---

    // The run record, or null for none. Each queued settings frame is
    // recorded once it has been handed to the line (not when a newer one
    // replaced it), with what it carried and the origin that was current
    // when it was queued; the adjustment exchanges record themselves.
    void SetRecorder(RunRecorder* recorder) { m_pRecorder = recorder; }
    RunRecorder* Recorder() const { return m_pRecorder; }
    // An opaque number naming who is asking now (the panel, an automatic
    // output, a remote client); frames queued meanwhile carry it.
    int Origin() const { return m_origin; }
    void SetOrigin(int origin) { m_origin = origin; }

private:
    enum class WaitEnd { Verdict, TimedOut };
    // Waits for a complete line that the judge does not ignore, or for the
    // reply time-out counted from `sent`.
    WaitEnd AwaitReply(LinkMode mode, const Deadline& sent, const Judge& judge, ReplyVerdict& verdict);
    // Sleeps until the mode's channel may have input, or until `deadline`.
    void WaitForInput(LinkMode mode, Nanos deadline);
    // Hands bytes to the mode's channel, past the queue and the estimate.
    void WriteChannel(LinkMode mode, std::string_view bytes);

    Clock& m_clock;
    Prompter& m_prompter;
    std::unique_ptr<ByteChannel> m_pSerial;
    std::unique_ptr<ByteChannel> m_pFtdi;
    LineBuffer m_line;
    WireQueue m_wire;
    RunRecorder* m_pRecorder = nullptr;
    int m_origin = 0;
    // The newest queued frame's contents per channel: the queue holds at
    // most one unsent frame a channel, so this is the one it writes.
    struct Carried {
        SettingsSnapshot settings;
        int origin = 0;
    };
    std::array<Carried, kMaxChannels> m_carried{};
};

// Makes `origin` the link's current origin until the guard goes.
class ScopedOrigin {
public:
    ScopedOrigin(GeneratorLink& link, int origin) : m_link(link), m_previous(link.Origin()) { link.SetOrigin(origin); }
    ~ScopedOrigin() { m_link.SetOrigin(m_previous); }
    ScopedOrigin(const ScopedOrigin&) = delete;
    ScopedOrigin& operator=(const ScopedOrigin&) = delete;

private:
    GeneratorLink& m_link;
    int m_previous;
};

} // namespace velmora
