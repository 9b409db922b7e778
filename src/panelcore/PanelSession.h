#pragma once
// The panel's behaviour without its widgets: the connection (the connect
// sequence, the disconnect with every output written off, the tear-down),
// the work of each 50 ms tick in its fixed order, the automatic outputs, and
// the two switches that keep ticks dispatched inside modal dialogs and
// synchronous exchanges from interfering: status polling and the tick work,
// each paused by a scoped guard that puts back what it found. The window's
// panel and velmoractl run the same session; each front end shows what the
// session reports through PanelSessionObserver.
//
// The session is held by a shared_ptr: a call that lets the front end's
// events run (the connect sequence, a message box) keeps the session alive
// even when the front end goes meanwhile, and the front end clears the
// observer when it goes.
//
// Thread contract: UI thread only. The tick thread (PanelTicker) never
// touches the session; it only hands ticks to the UI thread, which calls
// OnTick.

#include <memory>
#include <string>
#include <string_view>

#include "autoout/AutoOutput.h"
#include "panelcore/ChannelOperations.h"
#include "panelcore/ScopedFlag.h"
#include "protocol/GeneratorLink.h"
#include "protocol/OutputCommands.h"
#include "protocol/StatusPoller.h"
#include "record/RunRecorder.h"

namespace velmora {

class Clock;
class CVelmoraDoc;
class GeneratorLink;
class Prompter;

class PanelSessionObserver {
public:
    virtual ~PanelSessionObserver() = default;
    // The connect sequence lets the front end's queued events run (ticks, a
    // click on quit). False when the sequence must stop where it is.
    virtual bool LetEventsRun() { return true; }
    // A connect changed the document's channel count: lay out again.
    virtual void ChannelCountChanged() { }
    // The connection came or went: the connect button's face.
    virtual void ConnectionShown(bool /*connected*/) { }
    // The tick took a line from the unit that the reply handlers accepted.
    virtual void ReplyTaken(std::string_view /*line*/) { }
    // An operation changed channel c's output or settings (ChannelOperations),
    // whoever asked for it: show it.
    virtual void ChannelChanged(int /*c*/) { }
    // Every fifth tick: what is shown follows the model.
    virtual void RefreshDue() { }
    // At the end of every tick: the press-and-hold repeat.
    virtual void HoldScanDue() { }
    // A running automatic output put out a value, or ended by itself.
    virtual void AutoOutputStepped(const AutoStepEvent& /*event*/) { }
};

class PanelSession : public std::enable_shared_from_this<PanelSession> {
public:
    // The periodic ticks; other tick parameters only drive the hold scan.
    static constexpr int kTimerParam = 10;
    // Ticks between two refreshes: 250 ms.
    static constexpr int kRefreshEvery = 5;
    // How far ahead of a tick's reading of the clock a step counts as due:
    // half the 50 ms tick.
    static constexpr std::int64_t kStepLeadMs = 25;

    static std::shared_ptr<PanelSession> Create(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter);
    ~PanelSession();
    PanelSession(const PanelSession&) = delete;
    PanelSession& operator=(const PanelSession&) = delete;

    // Null for none; the front end clears it when it goes.
    void SetObserver(PanelSessionObserver* observer) { m_pObserver = observer; }

    // --- The connection ---

    enum class ConnectOutcome {
        Connected,
        NothingSelected, // no port named: "選択されていません。" was shown
        PortUnusable,    // the channel has said "<port>は使えません"
        Failed,          // "接続できません。" was shown; disconnected
        Abandoned,       // a quit or the front end going stopped the sequence
        Busy,            // a connect sequence is already running
    };
    // The connect sequence on `portName`: open the port, identify the unit
    // ("VER", "CH"), switch the document to the unit's channel count, send
    // every channel's settings and start polling.
    ConnectOutcome Connect(const std::string& portName);
    bool IsConnecting() const { return m_bConnecting; }
    // The port is open and the caller knows the unit: poll it as the panel
    // does, but send no channel's settings, also not the outputs off when it
    // is lost or goes (a monitor only watches; the outputs are not its).
    void WatchOpenPort();
    // Every output written off (all four channels, whatever the count), then
    // the port closed.
    void Disconnect();
    // The front end goes: the same while connected, and a connect sequence
    // still running stops.
    void ShutdownForClose();
    bool IsConnected() const;
    // The last connection ended because the unit stopped answering (not by
    // a disconnect); until the next connect.
    bool UnitLost() const { return m_bUnitLost; }

    // --- The tick ---

    // The main loop body, for every tick the front end receives.
    void OnTick(int param = kTimerParam);

    // --- The two switches ---

    // Polling off until the guard goes, then as it was.
    ScopedFlag PausePolling() { return ScopedFlag(m_poller.m_bPolling, false); }
    // The tick does nothing until the guard goes (a dialog owns the link).
    ScopedFlag PauseTimerWork() { return ScopedFlag(m_bTimerWork, false); }
    bool TimerWork() const { return m_bTimerWork; }
    void SetTimerWork(bool on) { m_bTimerWork = on; }
    StatusPoller& Poller() { return m_poller; }
    const StatusPoller& Poller() const { return m_poller; }

    // --- The automatic outputs ---

    // Start, pause and stop need the connection; without it they show
    // "接続されていません" and change nothing.
    AutoControlResult StartAutoOutput(int c);
    AutoControlResult PauseAutoOutput(int c);
    AutoControlResult StopAutoOutput(int c);
    // The range, the conversion mode, the formula and the automatic-output
    // settings of channel c may change only while its output is stopped.
    bool IsAutoOutputStopped(int c) const;
    AutoOutputView AutoOutputDisplay(int c) const;
    // Milliseconds on the link's clock: the time of the automatic outputs
    // (their events' due times count in it).
    std::int64_t Now() const;

    // --- The operations on the channels, for every front end ---

    ChannelOperations& Operations() { return m_operations; }
    AutoOutputRunner& AutoRunner() { return m_autoOutput; }
    void NotifyChannelChanged(int c)
    {
        if (m_pObserver != nullptr)
            m_pObserver->ChannelChanged(c);
    }

    CVelmoraDoc& Document() { return m_doc; }
    GeneratorLink& Link() { return m_link; }

    // --- The run record ---

    // Where the session's events go; null keeps none. The recorder outlives
    // the session or is cleared first.
    void SetRecorder(RunRecorder* recorder);
    RunRecorder* Recorder() const { return m_pRecorder; }
    // Until the guard goes, frames and events are put down to `source` (an
    // automatic output, a remote client).
    class AskedBy {
    public:
        AskedBy(PanelSession& session, const std::string& source);
        ~AskedBy() = default;
        AskedBy(const AskedBy&) = delete;
        AskedBy& operator=(const AskedBy&) = delete;

    private:
        ScopedOrigin m_link;
        ScopedRecordOrigin m_record;
    };
    // An automatic output's run state went from `before` to what it is now.
    void NoteAutoRunState(int c, std::int32_t before);

private:
    PanelSession(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter);

    bool EventsRan();
    void StartPolling();
    void ConnectFailed();
    void SwitchEveryOutputOff();
    // Every output off, the port closed; the record says whether the unit
    // was lost.
    void CloseConnection(bool lost);
    void ShowConnection(bool connected);
    bool NotConnectedRefused();
    // An automatic-output button: the operation, and the operator told when
    // the unit is not connected.
    AutoControlResult ShownAutoControl(int c, OpResult (ChannelOperations::*operation)(int, AutoControlResult*));

    CVelmoraDoc& m_doc;
    GeneratorLink& m_link;
    Prompter& m_prompter;
    LinkModelAdapter m_modelLink;
    StatusPoller m_poller;
    AutoOutputRunner m_autoOutput;
    ChannelOperations m_operations{*this};
    PanelSessionObserver* m_pObserver = nullptr;
    RunRecorder* m_pRecorder = nullptr;

    bool m_bTimerWork = true;
    bool m_bWatchOnly = false;
    bool m_bConnecting = false;
    bool m_bClosing = false;
    bool m_bUnitLost = false;
    int m_nRefreshDivider = 0;
};

} // namespace velmora
