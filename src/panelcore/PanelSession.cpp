#include "panelcore/PanelSession.h"

#include "link/PortDiscovery.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

std::shared_ptr<PanelSession> PanelSession::Create(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter)
{
    return std::shared_ptr<PanelSession>(new PanelSession(doc, link, prompter));
}

PanelSession::PanelSession(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter)
    : m_doc(doc),
      m_link(link),
      m_prompter(prompter),
      m_modelLink(link),
      m_poller(link, doc.m_model),
      m_autoOutput(doc.m_model, doc.m_autoOutput, kMillisPerTenth)
{
    m_doc.m_model.SetLink(&m_modelLink);
}

PanelSession::~PanelSession()
{
    if (m_doc.m_model.Link() == &m_modelLink)
        m_doc.m_model.SetLink(nullptr);
}

bool PanelSession::IsConnected() const
{
    return m_link.IsConnected();
}

// ---------------------------------------------------------------------------
// The connection

bool PanelSession::EventsRan()
{
    if (m_pObserver != nullptr && !m_pObserver->LetEventsRun())
        return false;
    // The front end went, or began to close, while its events ran.
    return !m_bClosing;
}

PanelSession::ConnectOutcome PanelSession::Connect(const std::string& portName)
{
    // The sequence lets the front end's events run; a second connect then
    // must not start another sequence or pull the port from under this one.
    if (m_bConnecting)
        return ConnectOutcome::Busy;
    const auto self = shared_from_this();
    const ScopedFlag connecting(m_bConnecting, true);

    m_poller.m_nPollChannel = 0;
    m_bUnitLost = false;
    if (m_link.IsConnected())
        m_link.Disconnect();
    if (portName.empty()) {
        m_prompter.Message(kMsgNothingSelected, kCaptionConfirm, PromptIcon::Information);
        return ConnectOutcome::NothingSelected;
    }
    m_bWatchOnly = false;
    m_link.SetPortName(portName);
    // A port that cannot be opened has been reported by the channel.
    if (!m_link.Connect())
        return ConnectOutcome::PortUnusable;
    if (!EventsRan())
        return ConnectOutcome::Abandoned;

    std::string version;
    if (!m_link.QueryVersion(LinkSerial, version)) {
        ConnectFailed();
        return ConnectOutcome::Failed;
    }
    m_doc.m_model.versionText = version;
    if (!EventsRan())
        return ConnectOutcome::Abandoned;

    const int count = m_link.QueryChannelCount();
    if (count == -1) {
        ConnectFailed();
        return ConnectOutcome::Failed;
    }
    if (count != m_doc.m_model.channelCount) {
        m_prompter.Message(kMsgChannelCountSwitched, kCaptionWarning, PromptIcon::Exclamation);
        if (m_bClosing)
            return ConnectOutcome::Abandoned;
        m_doc.SetChannelCount(count);
        if (m_pObserver != nullptr)
            m_pObserver->ChannelCountChanged();
    }

    if (m_pRecorder != nullptr)
        m_pRecorder->Connected(portName, version, count, UsbSerialOfPort(portName));
    StartPolling();
    ShowConnection(true);
    m_poller.m_nNoReplyCount = 0;
    return ConnectOutcome::Connected;
}

void PanelSession::ConnectFailed()
{
    if (m_link.IsConnected())
        m_link.Disconnect();
    // A refresh while the sequence let the events run may have shown the
    // port as connected.
    ShowConnection(false);
    m_prompter.Message(kMsgCannotConnect, kCaptionWarning, PromptIcon::Exclamation);
}

void PanelSession::StartPolling()
{
    m_doc.SetLastPort(m_link.PortName());
    m_link.Connect();
    GeneratorModel& model = m_doc.m_model;
    for (int c = 0; c < kMaxChannels; ++c) {
        model.UpdateRangeBits(c);
        model.ValueToCode(c);
    }
    if (m_link.IsConnected()) {
        for (int c = 0; c < model.ChannelsInUse(); ++c)
            SendChannelSettings(m_link, c, model.channels[static_cast<std::size_t>(c)]);
    }
    m_poller.m_bPolling = true;
}

void PanelSession::WatchOpenPort()
{
    m_bWatchOnly = true;
    m_poller.Restart();
    m_poller.m_bPolling = true;
    ShowConnection(IsConnected());
}

void PanelSession::SwitchEveryOutputOff()
{
    if (m_bWatchOnly)
        return;
    // Whatever the channel count: a unit must never be left driving an
    // output nobody sees.
    for (int c = 0; c < kMaxChannels; ++c)
        m_doc.m_model.SwitchOutputOff(c);
}

void PanelSession::Disconnect()
{
    CloseConnection(false);
}

void PanelSession::CloseConnection(bool lost)
{
    const bool wasConnected = m_link.IsConnected();
    m_poller.m_bPolling = false;
    SwitchEveryOutputOff();
    ShowConnection(false);
    if (m_link.IsConnected())
        m_link.Disconnect();
    m_poller.m_bPolling = false;
    if (wasConnected && m_pRecorder != nullptr)
        m_pRecorder->Disconnected(lost);
}

void PanelSession::SetRecorder(RunRecorder* recorder)
{
    m_pRecorder = recorder;
    m_link.SetRecorder(recorder);
}

PanelSession::AskedBy::AskedBy(PanelSession& session, const std::string& source)
    : m_link(session.m_link, session.m_pRecorder != nullptr ? session.m_pRecorder->OriginFor(source) : 0),
      m_record(session.m_pRecorder, session.m_link.Origin())
{
}

void PanelSession::NoteAutoRunState(int c, std::int32_t before)
{
    if (m_pRecorder == nullptr || c < 0 || c >= kMaxChannels)
        return;
    const AutoOutputState& state = m_doc.m_autoOutput[static_cast<std::size_t>(c)];
    const std::int32_t after = state.runState;
    if (after == before)
        return;
    const char* action = after == kAutoPaused ? "pause"
        : after == kAutoStopped               ? "stop"
        : before == kAutoPaused               ? "resume"
                                              : "start";
    const int slot = m_doc.m_model.ActiveSlot(c);
    const AutoOutputSlot* settings = SlotInUse(m_doc.m_model, state, c);
    m_pRecorder->AutoOutput(c, action, settings != nullptr ? settings->mode : -1, slot);
}

void PanelSession::ShutdownForClose()
{
    m_bClosing = true;
    if (!IsConnected())
        return;
    CloseConnection(false);
}

void PanelSession::ShowConnection(bool connected)
{
    if (m_pObserver != nullptr)
        m_pObserver->ConnectionShown(connected);
}

// ---------------------------------------------------------------------------
// The tick

void PanelSession::OnTick(int param)
{
    // Frames queued before keep leaving at the line's pace, also while a
    // dialog holds the tick work: its first exchange would flush them
    // anyway, and a paused session must not hold back the newest value.
    if (m_link.IsConnected())
        m_link.PumpWire();
    if (!m_bTimerWork)
        return;
    // The lost-unit box runs an event loop in which the front end may go.
    const auto self = shared_from_this();
    if (param == kTimerParam) {
        if (m_poller.ReadReply()) {
            if (m_pRecorder != nullptr)
                m_pRecorder->TrackAlarms(m_doc.m_model);
            if (m_pObserver != nullptr)
                m_pObserver->ReplyTaken(m_link.LastLine());
        }
        if (m_link.IsConnected()) {
            // A step due within half a tick is made now. The ticks and the
            // due times both advance by whole periods, and a start made
            // right after a tick puts every due time just behind a tick:
            // compared with the tick's own reading of the clock, the
            // wake-up jitter alone would then decide between this tick and
            // the next, and a step would come a whole tick late as often as
            // not. Half a tick ahead, every step is made at the tick nearest
            // its due time.
            const auto steps = [&] {
                const AskedBy automatic(*this, record_source::kAuto);
                return m_autoOutput.Step(Now(), kStepLeadMs);
            }();
            for (const AutoStepEvent& event : steps) {
                if (event.stopped && m_pRecorder != nullptr) {
                    const AskedBy automatic(*this, record_source::kAuto);
                    const AutoOutputSlot* slot = SlotInUse(
                        m_doc.m_model, m_doc.m_autoOutput[static_cast<std::size_t>(event.channel)], event.channel);
                    m_pRecorder->AutoOutput(event.channel, "end", slot != nullptr ? slot->mode : -1,
                                            m_doc.m_model.ActiveSlot(event.channel));
                }
                if (m_pObserver != nullptr)
                    m_pObserver->AutoOutputStepped(event);
            }
            if (m_poller.PollNext()) {
                CloseConnection(true);
                m_bUnitLost = true;
                m_prompter.Message(kMsgConnectionReleased, kCaptionWarning, PromptIcon::Exclamation);
            }
        }
        if (++m_nRefreshDivider >= kRefreshEvery) {
            m_nRefreshDivider = 0;
            if (m_pObserver != nullptr)
                m_pObserver->RefreshDue();
        }
    }
    if (m_pObserver != nullptr)
        m_pObserver->HoldScanDue();
}

// ---------------------------------------------------------------------------
// The automatic outputs

std::int64_t PanelSession::Now() const
{
    return MillisNow(m_link.GetClock());
}

bool PanelSession::NotConnectedRefused()
{
    if (IsConnected())
        return false;
    m_prompter.Message(kMsgNotConnected, kCaptionConfirm, PromptIcon::Information);
    return true;
}

namespace {

AutoControlResult Unchanged(const AutoOutputState& state)
{
    AutoControlResult r;
    r.settingsEnabled = state.runState == kAutoStopped;
    return r;
}

} // namespace

AutoControlResult PanelSession::ShownAutoControl(int c,
                                                 OpResult (ChannelOperations::*operation)(int, AutoControlResult*))
{
    if (c < 0 || c >= kMaxChannels)
        return {};
    AutoControlResult result = Unchanged(m_doc.m_autoOutput[static_cast<std::size_t>(c)]);
    const OpResult done = (m_operations.*operation)(c, &result);
    if (done.refusal == OpRefusal::NotConnected)
        NotConnectedRefused();
    return result;
}

AutoControlResult PanelSession::StartAutoOutput(int c)
{
    return ShownAutoControl(c, &ChannelOperations::StartAutoOutput);
}

AutoControlResult PanelSession::PauseAutoOutput(int c)
{
    return ShownAutoControl(c, &ChannelOperations::PauseAutoOutput);
}

AutoControlResult PanelSession::StopAutoOutput(int c)
{
    return ShownAutoControl(c, &ChannelOperations::StopAutoOutput);
}

bool PanelSession::IsAutoOutputStopped(int c) const
{
    return c >= 0 && c < kMaxChannels && m_doc.m_autoOutput[static_cast<std::size_t>(c)].runState == kAutoStopped;
}

AutoOutputView PanelSession::AutoOutputDisplay(int c) const
{
    if (c < 0 || c >= kMaxChannels)
        return {};
    return velmora::AutoOutputDisplay(m_doc.m_model, m_doc.m_autoOutput[static_cast<std::size_t>(c)], c);
}

} // namespace velmora
