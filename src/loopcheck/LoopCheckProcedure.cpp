#include "loopcheck/LoopCheckProcedure.h"

#include <chrono>
#include <cmath>
#include <set>
#include <utility>

#include "link/PortDiscovery.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "platform/Translate.h"
#include "protocol/GeneratorLink.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace velmora {

namespace {

constexpr std::size_t kMaxTechnicianBytes = 200;
constexpr std::size_t kMaxRemarkBytes = 4000;

// The channels under test, whichever procedure runs the test (the window's,
// a SCPI client's): UI thread only, like the procedures. Two tests on one
// channel would each take the other's points for a disturbance, and each
// would put back what the other had put out.
std::set<std::pair<const PanelSession*, int>>& ChannelsUnderTest()
{
    static std::set<std::pair<const PanelSession*, int>> channels;
    return channels;
}

} // namespace

std::string LoopCheckRecordSource(const std::string& tagName)
{
    return "loopcheck " + tagName;
}

const char* LoopStartRefusalText(LoopStartRefusal refusal)
{
    switch (refusal) {
    case LoopStartRefusal::None:
        return "";
    case LoopStartRefusal::Busy:
        return N_("a loop check is running already");
    case LoopStartRefusal::InvalidTag:
        return N_("the tag cannot be used");
    case LoopStartRefusal::NoTechnician:
        return N_("the technician's name is missing, too long, or holds control characters");
    case LoopStartRefusal::NotConnected:
        return N_("the unit is not connected");
    case LoopStartRefusal::NoSuchChannel:
        return N_("the unit has no such channel");
    case LoopStartRefusal::WrongRange:
        return N_("the channel is on another range than the tag's");
    case LoopStartRefusal::AutoOutputRunning:
        return N_("an automatic output runs on the channel");
    }
    return "";
}

LoopCheckProcedure::LoopCheckProcedure(std::shared_ptr<PanelSession> session, Clock& clock, LoopCheckDatabase& database)
    : m_session(std::move(session)),
      m_clock(clock),
      m_database(database)
{
}

LoopCheckProcedure::~LoopCheckProcedure()
{
    Abort(Tr(N_("the loop check was closed")));
}

LoopStart LoopCheckProcedure::Start(const LoopTestRequest& request)
{
    const auto refuse = [](LoopStartRefusal why, const std::string& detail = {}) {
        LoopStart r;
        r.refusal = why;
        r.message = Tr(LoopStartRefusalText(why));
        if (!detail.empty())
            r.message += ": " + detail;
        return r;
    };
    if (Running())
        return refuse(LoopStartRefusal::Busy);
    if (const auto problem = ValidateTag(request.tag))
        return refuse(LoopStartRefusal::InvalidTag, problem->field + ": " + problem->message);
    if (request.technician.empty() || request.technician.size() > kMaxTechnicianBytes ||
        !IsCleanText(request.technician, false))
        return refuse(LoopStartRefusal::NoTechnician);
    if (request.remark.size() > kMaxRemarkBytes || !IsCleanText(request.remark, true) ||
        !IsCleanText(request.supersedeReason, true))
        return refuse(LoopStartRefusal::InvalidTag, Tr(N_("the remark holds control characters or is too long")));
    PanelSession& session = *m_session;
    if (!session.IsConnected())
        return refuse(LoopStartRefusal::NotConnected);
    const int c = request.tag.ChannelIndex();
    if (!session.Operations().IsChannelInUse(c))
        return refuse(LoopStartRefusal::NoSuchChannel,
                      TrFormat(N_("channel %1 of %2"),
                               {std::to_string(request.tag.channel),
                                std::to_string(session.Document().m_model.ChannelsInUse())}));
    if (ChannelsUnderTest().contains({&session, c}))
        return refuse(LoopStartRefusal::Busy,
                      TrFormat(N_("channel %1 is under another test; abort that one first"),
                               {std::to_string(request.tag.channel)}));
    const ChannelSettings& s = session.Document().m_model.channels[static_cast<std::size_t>(c)];
    const int tagRange = *RangeCodeFromKey(request.tag.range);
    if (s.rangeCode != tagRange)
        return refuse(LoopStartRefusal::WrongRange,
                      TrFormat(N_("channel %1 is on %2, the tag %3 wants %4; choose the range first"),
                               {std::to_string(request.tag.channel), RangeKey(s.rangeCode), request.tag.name,
                                request.tag.range}));
    if (!session.IsAutoOutputStopped(c))
        return refuse(LoopStartRefusal::AutoOutputRunning,
                      TrFormat(N_("channel %1; stop it first"), {std::to_string(request.tag.channel)}));

    m_request = request;
    m_result = LoopResult{};
    m_storeError.clear();
    m_result.tag = request.tag;
    m_result.technician = request.technician;
    m_result.kind = request.asLeft ? LoopTestKind::AsLeft : LoopTestKind::AsFound;
    m_result.remark = request.remark;
    m_result.supersedes = request.supersedes;
    m_result.supersedeReason = request.supersedeReason;
    m_result.startUs = WallClockNowUs();
    m_result.unitVersion = session.Document().m_model.versionText;
    m_result.port = session.Link().PortName();
    m_result.unitSerial = UsbSerialOfPort(m_result.port);
    m_result.velmoraVersion = VELMORA_VERSION;

    m_before = ChannelBefore{s.rangeCode, s.useConversion, s.setValue, session.Document().m_model.IsOutputOn(c)};
    ChannelsUnderTest().insert({&session, c});
    m_point = 0;
    // The signal is put out in the range's own unit: the formula, when the
    // channel shows one, is off for the test and back after it.
    if (s.useConversion) {
        const PanelSession::AskedBy asked(session, LoopCheckRecordSource(request.tag.name));
        session.Operations().SetConversionMode(c, false);
    }
    PutPoint();
    return {};
}

void LoopCheckProcedure::PutPoint()
{
    PanelSession& session = *m_session;
    const int c = m_request.tag.ChannelIndex();
    const double percent = m_request.tag.points[m_point];
    m_signal = *SignalForPercent(m_request.tag.range, percent);
    {
        const PanelSession::AskedBy asked(session, LoopCheckRecordSource(m_request.tag.name));
        const OpResult set = session.Operations().SetSetValue(c, m_signal, LimitPolicy::Refuse);
        const OpResult on = set.Done() ? session.Operations().SetOutput(c, true) : set;
        if (!on.Done()) {
            Finish(LoopTestEnding::Disturbed, Tr(OpRefusalText(on.refusal)));
            return;
        }
    }
    m_settleEnd =
        m_clock.Now() + std::chrono::duration_cast<Nanos>(std::chrono::duration<double>(m_request.tag.settleSeconds));
    m_state = State::Settling;
    Tick();
}

std::optional<std::string> LoopCheckProcedure::Disturbance() const
{
    const int c = m_request.tag.ChannelIndex();
    const GeneratorModel& model = m_session->Document().m_model;
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    if (s.rangeCode != *RangeCodeFromKey(m_request.tag.range) || s.useConversion)
        return Tr(N_("the channel's range or formula was changed during the test"));
    if (!m_session->IsAutoOutputStopped(c))
        return Tr(N_("an automatic output was started on the channel during the test"));
    if (!model.IsOutputOn(c))
        return Tr(N_("the channel's output was switched off during the test"));
    if (s.setValue != m_signal)
        return Tr(N_("the channel's value was changed during the test"));
    return std::nullopt;
}

void LoopCheckProcedure::Tick()
{
    if (!Running())
        return;
    if (!m_session->IsConnected()) {
        if (m_session->UnitLost())
            Finish(LoopTestEnding::UnitLost, Tr(N_("the unit stopped answering")));
        else
            Finish(LoopTestEnding::Aborted, Tr(N_("the unit was disconnected")));
        return;
    }
    if (const auto why = Disturbance()) {
        Finish(LoopTestEnding::Disturbed, *why);
        return;
    }
    if (m_state == State::Settling && m_clock.Now() >= m_settleEnd)
        m_state = State::AwaitingReading;
}

ReadingRefusal LoopCheckProcedure::TakeReading(double reading)
{
    // A unit lost since the last tick must not have a point read against
    // an output that is no longer there.
    Tick();
    if (m_state != State::AwaitingReading)
        return ReadingRefusal::NotAwaiting;
    if (!std::isfinite(reading))
        return ReadingRefusal::NotANumber;
    const LoopTag& tag = m_request.tag;
    const ChannelSettings& s = m_session->Document().m_model.channels[static_cast<std::size_t>(tag.ChannelIndex())];
    LoopPointResult p;
    p.index = static_cast<int>(m_point + 1);
    p.percent = tag.points[m_point];
    p.output = s.setValue;
    p.signalUnit = velmora::SignalUnit(tag.range);
    p.code = s.dacCode;
    p.expected = ExpectedReading(tag, p.percent);
    p.reading = reading;
    p.errorPercent = ErrorPercentOfSpan(tag, p.expected, reading);
    p.verdict = JudgeError(tag, p.errorPercent);
    m_result.points.push_back(p);
    if (++m_point >= tag.points.size()) {
        Finish(LoopTestEnding::Completed, {});
        return ReadingRefusal::None;
    }
    PutPoint();
    return ReadingRefusal::None;
}

void LoopCheckProcedure::Abort(const std::string& why)
{
    if (!Running())
        return;
    Finish(LoopTestEnding::Aborted, why.empty() ? Tr(N_("aborted by the technician")) : why);
}

void LoopCheckProcedure::Restore()
{
    if (!m_before)
        return;
    const ChannelBefore before = *m_before;
    m_before.reset();
    PanelSession& session = *m_session;
    const int c = m_request.tag.ChannelIndex();
    ChannelOperations& ops = session.Operations();
    const PanelSession::AskedBy asked(session, LoopCheckRecordSource(m_request.tag.name));
    const ChannelSettings& s = session.Document().m_model.channels[static_cast<std::size_t>(c)];
    // Each step is tried whatever the one before it did: a lost unit takes
    // no output switch, but its range and value still go back. An output
    // that was off goes off first, so that the loop never gets the old
    // value as a signal on the way back.
    if (!before.outputOn && session.IsConnected())
        ops.SetOutput(c, false);
    if (s.rangeCode != before.rangeCode) {
        ops.SetOutput(c, false);
        ops.SelectRange(c, before.rangeCode);
    }
    if (s.useConversion != before.useConversion)
        ops.SetConversionMode(c, before.useConversion);
    if (!ops.SetSetValue(c, before.setValue, LimitPolicy::Refuse).Done())
        ops.SetSetValue(c, before.setValue, LimitPolicy::Clamp);
    if (before.outputOn && session.IsConnected())
        ops.SetOutput(c, true);
}

void LoopCheckProcedure::Finish(LoopTestEnding ending, const std::string& detail)
{
    Restore();
    ChannelsUnderTest().erase({m_session.get(), m_request.tag.ChannelIndex()});
    m_result.endUs = WallClockNowUs();
    m_result.ending = ending;
    m_result.endingDetail = detail;
    std::vector<PointVerdict> verdicts;
    for (const LoopPointResult& p : m_result.points)
        verdicts.push_back(p.verdict);
    if (ending == LoopTestEnding::Completed) {
        m_result.verdict = OverallVerdict(verdicts);
        if (m_result.kind == LoopTestKind::AsFound && m_result.verdict == TestVerdict::Pass)
            m_result.kind = LoopTestKind::AsFoundAndLeft;
        m_state = State::Done;
    } else {
        m_result.verdict = TestVerdict::Aborted;
        m_state = State::Aborted;
    }
    if (!m_database.AppendResult(m_result)) {
        m_storeError = m_database.LastError();
        m_result.id = 0;
    }
}

double LoopCheckProcedure::PointPercent() const
{
    return m_point < m_request.tag.points.size() ? m_request.tag.points[m_point] : 0.0;
}

double LoopCheckProcedure::PointSignal() const
{
    return SignalForPercent(m_request.tag.range, PointPercent()).value_or(0.0);
}

double LoopCheckProcedure::PointExpected() const
{
    return ExpectedReading(m_request.tag, PointPercent());
}

std::string LoopCheckProcedure::SignalUnit() const
{
    return velmora::SignalUnit(m_request.tag.range);
}

int LoopCheckProcedure::SettleSecondsLeft() const
{
    if (m_state != State::Settling)
        return 0;
    const Nanos left = m_settleEnd - m_clock.Now();
    if (left <= Nanos::zero())
        return 0;
    return static_cast<int>((left.count() + 999'999'999) / 1'000'000'000);
}

} // namespace velmora
