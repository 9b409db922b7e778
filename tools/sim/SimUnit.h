#pragma once
// The simulated unit: plays the unit's side of every message the program
// sends, keeps per-channel state (range, output words, alarm words and the
// maker/user correction tables) and can misbehave on purpose.
//
// Bytes from the host go in through Receive(); the unit's answers wait in an
// output schedule until their time has come and are taken out with TakeDue().
// The unit never reads a clock itself: every call says what time it is, so
// the same object serves the in-process channel on a fake clock and the
// pseudo-terminal server on the steady clock.
//
// Thread contract: one thread at a time. Neither the channel nor the server
// shares a unit between threads.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/ChannelSettings.h"
#include "platform/Clock.h"
#include "protocol/FrameCodec.h"

namespace velmora::sim {

// The wire runs at 19200 bit/s, and a byte with start and stop bit is 10 bits.
inline constexpr std::int64_t kWireBitsPerSecond = 19200;
inline constexpr std::int64_t kBitsPerByte = 10;

// Time the n-th byte (1-based) of a paced transmission has fully left the
// wire, counted from the start of the transmission.
inline Nanos WireTime(std::int64_t bytes)
{
    return Nanos(bytes * kBitsPerByte * 1'000'000'000LL / kWireBitsPerSecond);
}

inline constexpr std::string_view kDefaultVersion = "01.00A";
inline constexpr int kMaxVersionLength = 32;
// A host line that reaches this many bytes without ending is thrown away.
inline constexpr std::size_t kMaxHostLine = 512;

enum class LengthFault { None, Short, Long };

// Misbehaviour, each switchable while the unit runs. Every field may be
// changed directly; SetSilentAfter is the one that needs a call because it
// restarts its count.
struct SimFaults {
    bool silent = false;                    // no output at all
    bool garbage = false;                   // every output line replaced by a junk line
    bool badChecksum = false;               // framed replies carry a wrong checksum
    LengthFault length = LengthFault::None; // fixed-length replies lose or gain a byte (checksum still right)
    bool lowercaseChecksum = false;         // checksum hex letters sent in lower case
    bool strayCrLf = false;                 // CR LF sent before every output line
    int delayMs = 0;                        // answers leave this much later
    bool pace = false;                      // output leaves at wire speed, byte by byte
};

// The unit's view of one output channel.
struct SimChannelState {
    int rangeCode = 0;
    SettingsWords words = DefaultWords();
    std::uint16_t statusWord = 0;
    std::uint16_t extStatusWord = 0;
    // adjustSelect lives in the user slot, as on the host; a maker transfer
    // writes it too.
    std::array<UserAdjustment, kSlotCount> user{};
    std::array<MakerCorrection, kSlotCount> maker{};
    // The last test output asked for ("CTU"). The unit drives it until a
    // test output with test point 0 or a transfer to the channel ends it.
    struct TestOutput {
        int rangeCode = -1; // -1: none asked for yet
        std::uint16_t code = 0;
        std::uint16_t flag = 0;
        std::uint16_t minCorrection = 0;
        std::uint16_t maxCorrection = 0x8000;
        bool driving = false;
    } test;
    // Settings writes applied so far.
    int settingsWrites = 0;

    static SettingsWords DefaultWords()
    {
        SettingsWords w;
        w.controlWord = 0x0008;
        w.auxControlWord = 0x0008;
        return w;
    }
};

// Snapshot of the correction tables taken by a store command.
struct SimStoredTables {
    int stores = 0;
    std::array<std::array<UserAdjustment, kSlotCount>, kMaxChannels> user{};
    std::array<std::array<MakerCorrection, kSlotCount>, kMaxChannels> maker{};
};

class SimUnit {
public:
    SimUnit();

    // Bytes written by the host, arriving at `now`. Complete lines are
    // answered; anything malformed is ignored.
    void Receive(Nanos now, std::span<const std::uint8_t> bytes);
    void Receive(Nanos now, std::string_view bytes);

    // Sends the unsolicited announcement (STX "A" ETX checksum CR LF).
    void Announce(Nanos now);
    // Sends `count` bytes of noise with no line end among them, then CR LF:
    // more than a line holds and, from 512 on, more than the host's ring.
    void Flood(Nanos now, std::size_t count);

    // Output schedule.
    bool HasPending() const { return !m_pending.empty(); }
    // When the next output byte is due, if any is waiting.
    std::optional<Nanos> NextDue() const;
    // Every output byte due at or before `now`, in order.
    std::string TakeDue(Nanos now);
    void DropPending();

    // The unit's own answer to one complete host line (CR LF included),
    // before faults and timing. Applies the line's effect on the state.
    // Nothing when the unit does not answer that line.
    std::optional<std::string> Answer(std::string_view line);

    // The replies as the unit builds them, from its current state.
    std::string StatusReply(int ch) const;
    std::string AdjustmentReply(char kind, int ch, int rangeCode) const;
    static std::string AnnouncementLine();

    // Identity.
    const std::string& Version() const { return m_strVersion; }
    // 1 to kMaxVersionLength printable ASCII characters; false otherwise.
    bool SetVersion(std::string_view text);
    int ChannelCount() const { return m_nChannels; }
    // 1, 2 or 4; false otherwise.
    bool SetChannelCount(int n);

    // ch is the index 0-3.
    SimChannelState& Channel(int ch) { return m_channels.at(static_cast<std::size_t>(ch)); }
    const SimChannelState& Channel(int ch) const { return m_channels.at(static_cast<std::size_t>(ch)); }
    // A store command's snapshot: the maker tables after "CWM", the user
    // tables (select words included) after "CWU".
    const SimStoredTables& Stored(char kind) const { return kind == 'M' ? m_storedMaker : m_storedUser; }

    // Correction tables from text, one line per channel and range in the
    // form velmoractl's "adjust show" prints ("1 4_20mA maker=3,5
    // user=-2,-2 select=2"; blank lines and '#' comments allowed). Each line
    // sets the working tables and the stored ones alike, as if the unit had
    // been calibrated and switched on again. False, with `error` naming the
    // line, when a line is not of that form; the lines before it are kept.
    bool LoadTables(std::string_view text, std::string& error);
    // The working (or stored) tables of channel ch for every range a report
    // lists, one line each in the same form.
    std::string TablesText(int ch, bool stored) const;
    // What channel ch drives for a test output: "1 lower 4_20mA min=-5
    // max=3" (the corrections signed as velmoractl prints them), or "1 off".
    std::string TestOutputText(int ch) const;

    SimFaults& Faults() { return m_faults; }
    const SimFaults& Faults() const { return m_faults; }
    // The unit goes silent after `n` more output lines; nothing = no limit.
    void SetSilentAfter(std::optional<int> n);
    std::optional<int> SilentAfter() const { return m_silentAfter; }
    // Every fault off, the silent-after limit included.
    void ClearFaults();

    // Channels and tables back to their power-on state. Identity, faults and
    // pending output stay.
    void ResetState();

    // Host lines received and output lines scheduled, for a log. `sent` is
    // false for a received line, true for a line put on the schedule (after
    // the faults have shaped it).
    using LineObserver = std::function<void(bool sent, std::string_view line)>;
    void SetObserver(LineObserver observer) { m_observer = std::move(observer); }

    // On a paced unit: when the last byte the host has written so far has
    // fully arrived. Read from the observer, the arrival of the line it is
    // told of. Zero while the unit has never been paced.
    Nanos HostBytesArrived() const { return m_rxFree; }

    // Output lines put on the schedule so far (a garbage line counts; a
    // line kept back by silence does not).
    int LinesSent() const { return m_nLinesOut; }

private:
    enum class OutKind { Plain, Frame, StatusFrame, FixedFrame };

    void HandleLine(Nanos now, std::string_view line);
    void Emit(Nanos ready, std::string text, OutKind kind);
    std::optional<std::string> ApplyFaults(std::string text, OutKind kind);
    std::string NextGarbage();
    void Schedule(Nanos ready, const std::string& bytes);

    bool ApplySettingsWrite(std::string_view line);
    std::optional<std::string> AnswerAdjustmentRead(std::string_view line);
    std::optional<std::string> AnswerTestOutput(std::string_view line);
    std::optional<std::string> AnswerTransfer(std::string_view line);
    std::optional<std::string> AnswerStore(std::string_view line);
    void InitUserTables();

    std::string m_strVersion{kDefaultVersion};
    int m_nChannels = 1;
    std::array<SimChannelState, kMaxChannels> m_channels{};
    SimStoredTables m_storedMaker;
    SimStoredTables m_storedUser;
    SimFaults m_faults;
    std::optional<int> m_silentAfter;
    int m_nSinceLimit = 0;
    int m_nLinesOut = 0;
    unsigned m_nGarbage = 0;

    std::string m_strRx; // host line being assembled

    struct Pending {
        Nanos due;
        std::string bytes;
    };
    std::deque<Pending> m_pending;
    Nanos m_lastDue{0};  // keeps output in order when the delay shrinks
    Nanos m_wireFree{0}; // end of the last paced transmission
    Nanos m_rxFree{0};   // when the host's last byte has fully arrived, paced
    Nanos m_rxStart{0};  // start of the host's present burst
    std::int64_t m_nRxBurst = 0;

    LineObserver m_observer;
};

} // namespace velmora::sim
