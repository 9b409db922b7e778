#include "link/SerialChannel.h"

#include "platform/Translate.h"

#include <array>

#include "platform/PosixSerialPort.h"

namespace velmora {

namespace {

std::uint8_t RxErrorsFromLineErrors(std::uint8_t lineErrors)
{
    std::uint8_t bits = 0;
    if (lineErrors & kLineFraming)
        bits |= kRxFramingError;
    if (lineErrors & kLineParity)
        bits |= kRxParityError;
    if (lineErrors & kLineBreak)
        bits |= kRxBreak;
    return bits;
}

} // namespace

SerialChannel::SerialChannel(Prompter& prompter, const PortFactory& factory)
    : m_prompter(prompter),
      m_port(factory ? factory() : std::make_unique<PosixSerialPort>())
{
}

SerialChannel::~SerialChannel()
{
    Disconnect();
}

bool SerialChannel::Connect()
{
    if (IsOpen())
        return true;
    if (!m_port->Open(DevicePathForPort(m_strPortName))) {
        m_strLastDiagnostic = m_port->LastErrorText();
        m_prompter.Message(TrFormat(N_("%1は使えません"), {m_strPortName}), kWarningCaption, PromptIcon::Exclamation,
                           PromptButtons::Ok);
        return false;
    }
    m_strLastDiagnostic = m_port->LastError() == SerialError::SettingsRejected ? kSettingsRejectedText : "";
    {
        std::lock_guard lock(m_stopMutex);
        m_bStop = false;
    }
    m_bDeviceGone.store(false, std::memory_order_release);
    m_bConnected.store(true, std::memory_order_release);
    m_reader = std::thread([this] { ReaderLoop(); });
    return true;
}

void SerialChannel::Disconnect()
{
    if (!IsOpen())
        return;
    m_bConnected.store(false, std::memory_order_release);
    {
        std::lock_guard lock(m_stopMutex);
        m_bStop = true;
    }
    m_stopCv.notify_all();
    m_port->Interrupt();
    m_reader.join();
    m_port->Close();
}

void SerialChannel::ReaderLoop()
{
    std::array<std::uint8_t, kRingSize> buffer{};
    while (m_bConnected.load(std::memory_order_acquire)) {
        const SerialRead r = m_port->Read(buffer);
        if (r.status == SerialRead::Status::Interrupted)
            continue;
        if (r.status == SerialRead::Status::Gone) {
            m_bDeviceGone.store(true, std::memory_order_release);
            m_wake.Signal();
            // Reading a vanished device fails at once, every time: sleep
            // until Disconnect instead of asking again.
            std::unique_lock lock(m_stopMutex);
            m_stopCv.wait(lock, [this] { return m_bStop; });
            return;
        }
        // A full ring drops what does not fit; the broken line then fails
        // its checksum or its match.
        for (std::size_t i = 0; i < r.count; ++i)
            m_ring.Push(buffer[i]);
        if (r.lineErrors != 0)
            m_ring.RaiseErrors(RxErrorsFromLineErrors(r.lineErrors));
        m_wake.Signal();
    }
}

void SerialChannel::WriteBytes(std::span<const std::uint8_t> bytes)
{
    if (!IsOpen() || bytes.empty())
        return;
    m_port->Write(bytes);
}

LineResult SerialChannel::ReadLine(LineBuffer& line)
{
    return AssembleSerialLine(m_ring, line);
}

bool SerialChannel::WaitForInput(Clock& clock, Nanos deadline)
{
    if (!m_ring.Empty() || m_ring.HasErrors())
        return true;
    return clock.WaitUntil(m_wake, deadline);
}

} // namespace velmora
