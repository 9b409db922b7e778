#pragma once
// One loop check run on a channel of the unit: a state machine driven by
// the panel session's ticks on the UI thread (the window's tick, velmoractl's
// tick loop), through the same channel operations the panel and SCPI use.
//
//   Start ──> Settling ──(settle time on the Clock)──> AwaitingReading
//      ^                                                   │ TakeReading
//      └──────────── next point <──────────────────────────┘
//   ... last point read ──> Done        Abort / lost unit / disturbed ──> Aborted
//
// Before anything moves Start refuses a test that cannot run: the unit not
// connected, no such channel, another test on the channel (the window's and
// a remote client's procedures share the session), the channel on another
// range than the tag's, an automatic output not stopped on it, a tag that
// breaks a rule. Then for
// each point the signal is put out and the output switched on; after the
// settle time the technician's reading is taken, and expected reading, error
// and verdict follow. The end of the last point, Abort, a lost unit, a
// channel changed by someone else meanwhile, and the destruction of the
// procedure all put back what the channel put out before the test (range,
// conversion formula, value, output on or off) through a scoped guard; a
// lost unit's output stays off, as the session leaves every output of a lost
// unit, so that a reconnect does not switch it on unasked.
//
// Every frame the test causes is put down to its own source in the run
// record, "loopcheck TAG" (PanelSession::AskedBy).
//
// A result is appended to the database when the test ends, however it ends
// (an aborted one marked so, with the points read until then). As found is
// kept as as-found-and-left when every point passed without "adjust".
//
// Thread contract: UI thread only, like the session. The procedure holds
// the session; it must be destroyed before the session's document and link.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopResult.h"
#include "loopcheck/LoopTag.h"
#include "model/ChannelSettings.h"
#include "platform/Clock.h"

namespace velmora {

class PanelSession;

// The run record's source of a test's frames: "loopcheck FT-101".
std::string LoopCheckRecordSource(const std::string& tagName);

enum class LoopStartRefusal {
    None,
    Busy,          // a test is running already, by this procedure or by another on the channel
    InvalidTag,    // the tag breaks a rule
    NoTechnician,  // the technician's name is empty or holds control characters
    NotConnected,  // the unit is not connected
    NoSuchChannel, // the unit has no such channel
    WrongRange,    // the channel is on another range than the tag's
    AutoOutputRunning,
};

struct LoopStart {
    LoopStartRefusal refusal = LoopStartRefusal::None;
    std::string message; // why, in the current language
    bool Started() const { return refusal == LoopStartRefusal::None; }
};

// What the technician asked for.
struct LoopTestRequest {
    LoopTag tag;
    std::string technician;
    bool asLeft = false; // else as found
    std::string remark;
    std::optional<std::int64_t> supersedes; // a correction of this result
    std::string supersedeReason;
};

enum class ReadingRefusal {
    None,
    NotAwaiting, // no point waits for a reading (still settling, or no test)
    NotANumber,  // NaN or infinite
};

class LoopCheckProcedure {
public:
    enum class State {
        Idle,            // not started
        Settling,        // a point is put out; the settle time runs
        AwaitingReading, // the technician's reading is due
        Done,            // every point read; the result is kept
        Aborted,         // ended early; what was read is kept, marked so
    };

    // `database` keeps the result; it must outlive the procedure.
    LoopCheckProcedure(std::shared_ptr<PanelSession> session, Clock& clock, LoopCheckDatabase& database);
    // A test still running is aborted: the channel is put back.
    ~LoopCheckProcedure();
    LoopCheckProcedure(const LoopCheckProcedure&) = delete;
    LoopCheckProcedure& operator=(const LoopCheckProcedure&) = delete;

    // The checks above, then the first point put out. Nothing moves when it
    // is refused.
    LoopStart Start(const LoopTestRequest& request);

    // After each session tick: a lost unit or a disturbed channel ends the
    // test; a settle time that has run out makes the reading due.
    void Tick();

    // The technician's reading of the current point, in the tag's unit.
    // The next point is put out, or the test ends after the last.
    ReadingRefusal TakeReading(double reading);

    // Ends a running test here (the technician's abort, a closing window,
    // SIGINT); `why` goes into the result. Nothing when no test runs.
    void Abort(const std::string& why = {});

    State GetState() const { return m_state; }
    bool Running() const { return m_state == State::Settling || m_state == State::AwaitingReading; }
    bool Ended() const { return m_state == State::Done || m_state == State::Aborted; }

    // --- What a front end shows while it runs ---
    const LoopTag& Tag() const { return m_request.tag; }
    // The point being put out: its number (0 based) and nominal %.
    std::size_t PointIndex() const { return m_point; }
    std::size_t PointCount() const { return m_request.tag.points.size(); }
    double PointPercent() const;
    // The signal put out for it (in SignalUnit()) and the expected reading.
    double PointSignal() const;
    double PointExpected() const;
    std::string SignalUnit() const;
    // Whole seconds of the settle time left, rounded up (5, 4, ... 1, then 0
    // when the reading is due), for a countdown.
    int SettleSecondsLeft() const;
    // The points read so far (and after the end, all of them).
    const std::vector<LoopPointResult>& Points() const { return m_result.points; }

    // --- After the end ---
    // The result as kept (its id and hash set), or as it would have been
    // kept when the database refused it (StoreError then says why).
    const LoopResult& Result() const { return m_result; }
    const std::string& StoreError() const { return m_storeError; }
    bool Stored() const { return m_result.id != 0; }

private:
    // What the channel put out before the test.
    struct ChannelBefore {
        int rangeCode = 0;
        bool useConversion = false;
        double setValue = 0.0;
        bool outputOn = false;
    };
    void PutPoint();
    void Finish(LoopTestEnding ending, const std::string& detail);
    void Restore();
    // Why the channel is no longer as the test left it, if it is not.
    std::optional<std::string> Disturbance() const;

    std::shared_ptr<PanelSession> m_session;
    Clock& m_clock;
    LoopCheckDatabase& m_database;
    LoopTestRequest m_request;
    State m_state = State::Idle;
    std::size_t m_point = 0;
    Nanos m_settleEnd{};
    double m_signal = 0.0;
    std::optional<ChannelBefore> m_before; // set while the channel must be put back
    LoopResult m_result;
    std::string m_storeError;
};

// The refusal in the current language (also in LoopStart::message).
const char* LoopStartRefusalText(LoopStartRefusal refusal);

} // namespace velmora
