#include "protocol/GeneratorLink.h"

#include <optional>
#include <span>

#include "protocol/FrameCodec.h"

namespace velmora {

GeneratorLink::GeneratorLink(Clock& clock, Prompter& prompter, std::unique_ptr<ByteChannel> serial,
                             std::unique_ptr<ByteChannel> ftdi)
    : m_clock(clock),
      m_prompter(prompter),
      m_pSerial(std::move(serial)),
      m_pFtdi(std::move(ftdi)),
      m_wire(clock, [this](std::string_view bytes) { WriteChannel(LinkSerial, bytes); })
{
    m_wire.SetSettingsWritten([this](int ch) {
        if (m_pRecorder != nullptr && ch >= 0 && ch < kMaxChannels) {
            const Carried& c = m_carried[static_cast<std::size_t>(ch)];
            m_pRecorder->SettingsSent(ch, c.settings, c.origin);
        }
    });
}

GeneratorLink::~GeneratorLink()
{
    // A program that ends right after its last change still gets it out.
    if (IsConnected())
        m_wire.Flush();
    // Stop the serial reader before anything it might touch goes away.
    for (ByteChannel* channel : {m_pSerial.get(), m_pFtdi.get()})
        if (channel != nullptr && channel->IsOpen())
            channel->Close();
}

void GeneratorLink::SetPortName(const std::string& name)
{
    if (m_pSerial)
        m_pSerial->SetPortName(name);
}

const std::string& GeneratorLink::PortName() const
{
    static const std::string none;
    return m_pSerial ? m_pSerial->PortName() : none;
}

bool GeneratorLink::Connect()
{
    if (!m_pSerial)
        return false;
    if (m_pSerial->IsOpen())
        return true;
    return m_pSerial->Open();
}

void GeneratorLink::Disconnect()
{
    // The outputs written off on the way out are among them. On a channel
    // that closed by itself the frames are dropped rather than kept for
    // the next connection, which sends every channel anew.
    m_wire.Flush();
    if (m_pSerial && m_pSerial->IsOpen())
        m_pSerial->Close();
}

bool GeneratorLink::IsConnected() const
{
    return m_pSerial && m_pSerial->IsOpen();
}

ByteChannel* GeneratorLink::Channel(LinkMode mode) const
{
    switch (mode) {
    case LinkSerial:
        return m_pSerial.get();
    case LinkFtdi:
        return m_pFtdi.get();
    }
    return nullptr;
}

void GeneratorLink::SendText(LinkMode mode, std::string_view bytes)
{
    if (mode != LinkSerial) {
        WriteChannel(mode, bytes);
        return;
    }
    // An exchange's request must reach the unit after the settings queued
    // before it, or its reply would describe an older state.
    m_wire.Flush();
    WriteChannel(mode, bytes);
    // A closed channel drops the bytes: they take no time on the line.
    if (IsConnected())
        m_wire.NoteWritten(bytes.size());
}

void GeneratorLink::WriteChannel(LinkMode mode, std::string_view bytes)
{
    if (ByteChannel* channel = Channel(mode))
        channel->Write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void GeneratorLink::QueueSettingsFrame(int ch, std::string frame, const SettingsSnapshot& carried)
{
    if (!IsConnected()) {
        SendText(LinkSerial, frame);
        return;
    }
    if (ch >= 0 && ch < kMaxChannels)
        m_carried[static_cast<std::size_t>(ch)] = {carried, m_origin};
    m_wire.QueueSettings(ch, std::move(frame));
}

void GeneratorLink::QueueStatusRequest(std::string frame)
{
    if (!IsConnected()) {
        SendText(LinkSerial, frame);
        return;
    }
    m_wire.QueueStatusRequest(std::move(frame));
}

LineResult GeneratorLink::ReceiveLine(LinkMode mode)
{
    ByteChannel* channel = Channel(mode);
    return channel != nullptr ? channel->ReadLine(m_line) : LineResult::LineNone;
}

void GeneratorLink::OpenChannel(LinkMode mode)
{
    if (mode == LinkSerial) {
        Connect();
        return;
    }
    if (ByteChannel* channel = Channel(mode); channel != nullptr && !channel->IsOpen())
        channel->Open();
}

void GeneratorLink::WaitForInput(LinkMode mode, Nanos deadline)
{
    if (ByteChannel* channel = Channel(mode)) {
        channel->WaitForInput(m_clock, deadline);
        return;
    }
    // No channel: nothing can arrive, so sleep the time-out out.
    WakeEvent never;
    m_clock.WaitUntil(never, deadline);
}

GeneratorLink::WaitEnd GeneratorLink::AwaitReply(LinkMode mode, const Deadline& sent, const Judge& judge,
                                                 ReplyVerdict& verdict)
{
    for (;;) {
        const LineResult r = ReceiveLine(mode);
        if (r == LineResult::LineComplete) {
            verdict = judge(m_line.Line());
            if (verdict != ReplyVerdict::Ignore)
                return WaitEnd::Verdict;
        }
        if (sent.Expired())
            return WaitEnd::TimedOut;
        // After a partial or empty read the channel has nothing more for
        // now; after a finished or dropped line more bytes may already wait.
        if (r == LineResult::LineNone || r == LineResult::LinePartial)
            WaitForInput(mode, sent.At());
    }
}

void GeneratorLink::QuietWait(LinkMode mode, Nanos since)
{
    const Nanos until = since + std::chrono::milliseconds(kQuietMs + 1);
    for (;;) {
        const LineResult r = ReceiveLine(mode);
        if (ElapsedMs(since, m_clock.Now()) > kQuietMs)
            return;
        if (r == LineResult::LineNone || r == LineResult::LinePartial)
            WaitForInput(mode, until);
    }
}

ExchangeOutcome GeneratorLink::RunExchange(const ExchangePlan& plan, const Judge& judge)
{
    std::optional<BusyScope> busy;
    if (plan.busy)
        busy.emplace(m_prompter);

    OpenChannel(plan.mode);
    int timeouts = 0;
    int wrongReplies = 0;
    Deadline sent(m_clock, kReplyTimeoutMs);

    for (int k = 0; k < plan.openingReceives; ++k)
        ReceiveLine(plan.mode);
    if (plan.quietWaitFirst)
        QuietWait(plan.mode, m_clock.Now());

    for (;;) {
        // Whatever is still waiting belongs to an earlier exchange.
        ReceiveLine(plan.mode);
        if (plan.resetLineBeforeSend)
            m_line.pos = 0;
        SendText(plan.mode, plan.frame);
        sent.Restart();

        ReplyVerdict verdict = ReplyVerdict::Ignore;
        if (AwaitReply(plan.mode, sent, judge, verdict) == WaitEnd::TimedOut) {
            sent.Restart();
            ReceiveLine(plan.mode);
            if (plan.resetLineAfterTimeout)
                m_line.pos = 0;
            if (++timeouts > plan.timeoutRetries)
                return ExchangeOutcome::TimedOut;
            continue;
        }
        switch (verdict) {
        case ReplyVerdict::Accept:
            return ExchangeOutcome::Accepted;
        case ReplyVerdict::Wrong:
            if (++wrongReplies > kMaxRetries)
                return ExchangeOutcome::WrongReplies;
            break;
        case ReplyVerdict::Repeat:
            if (plan.countRepeats && ++timeouts > plan.timeoutRetries)
                return ExchangeOutcome::Rejected;
            QuietWait(plan.mode, sent.Start());
            break;
        case ReplyVerdict::Ignore:
            break;
        }
    }
}

bool GeneratorLink::QueryVersion(LinkMode mode, std::string& version)
{
    ExchangePlan plan;
    plan.mode = mode;
    plan.frame = BuildVersionQuery();
    plan.resetLineBeforeSend = true;
    plan.resetLineAfterTimeout = true;

    std::string text;
    const auto judge = [&text](std::string_view line) {
        if (line.substr(0, 3) != "VER")
            return ReplyVerdict::Wrong;
        // Six bytes as they come, even the CR LF of a short reply, but
        // never past the line; a NUL from the wire ends the text.
        text = line.substr(3, 6);
        text = text.substr(0, text.find('\0'));
        return ReplyVerdict::Accept;
    };
    if (RunExchange(plan, judge) != ExchangeOutcome::Accepted)
        return false;
    for (char& c : text)
        if (c == ' ' || c == '.')
            c = '0';
    version = text;
    return true;
}

int GeneratorLink::QueryChannelCount()
{
    ExchangePlan plan;
    plan.mode = LinkSerial;
    plan.frame = BuildChannelCountQuery();
    plan.resetLineBeforeSend = true;
    plan.resetLineAfterTimeout = true;

    char digit = 0;
    const auto judge = [&digit](std::string_view line) {
        if (line.substr(0, 2) != "CH")
            return ReplyVerdict::Wrong;
        digit = line.size() > 2 ? line[2] : 0;
        return ReplyVerdict::Accept;
    };
    if (RunExchange(plan, judge) != ExchangeOutcome::Accepted)
        return -1;
    switch (digit) {
    case '1':
        return 1;
    case '2':
        return 2;
    case '4':
        return 4;
    default:
        return -1;
    }
}

} // namespace velmora
