#include "link/FtdiChannel.h"

#include <array>
#include <chrono>

#include "platform/Prompter.h"

namespace velmora {

namespace {

constexpr std::chrono::milliseconds kPinStep{200};
constexpr std::uint8_t kCbusBitBang = 0x20;

} // namespace

FtdiChannel::FtdiChannel(std::unique_ptr<FtdiDevice> device, Clock& clock, Prompter& prompter)
    : m_device(std::move(device)),
      m_clock(clock),
      m_prompter(prompter)
{
}

int FtdiChannel::CountUnits()
{
    const BusyScope busy(m_prompter);
    m_last = FtdiMatch{};
    m_device->Close();
    int count = 0;
    for (int index = 0; index < kMaxDevices; ++index) {
        std::string serial, description;
        if (m_device->ListDevice(index, serial, description) != FtdiStatus::Ok)
            break;
        if (description == kUnitDescription && serial.starts_with("VK")) {
            ++count;
            m_last = FtdiMatch{true, index, serial, description};
        }
    }
    return count;
}

bool FtdiChannel::OpenUnit()
{
    m_ring.Reset();
    // The unit counted, not the first bridge that carries its description.
    if (!m_last.found || m_device->OpenBySerial(m_last.serial) != FtdiStatus::Ok)
        return false;
    m_device->ResetDevice();
    m_device->SetTimeouts(5, 5);
    m_device->PurgeRx();
    m_device->SetBitMode(0, 0);
    // The bridge settles after its reset before the line is set up.
    m_clock.SleepFor(kPinStep);
    m_device->SetTimeouts(5, 5);
    m_device->SetLatencyTimer(5);
    m_device->SetBaudRate(19'200);
    m_device->SetDataCharacteristics();
    return true;
}

void FtdiChannel::CloseUnit()
{
    m_device->Close();
}

void FtdiChannel::SetUnitBaudRate(std::uint32_t rate)
{
    // The bridge reaches 1 Mbit/s exactly only by its divisor.
    if (rate == 1'000'000)
        m_device->SetDivisor(3);
    else
        m_device->SetBaudRate(rate);
    m_device->SetDataCharacteristics();
}

void FtdiChannel::Write(std::span<const std::uint8_t> bytes)
{
    if (m_device->IsOpen() && !bytes.empty())
        m_device->Write(bytes);
}

void FtdiChannel::ReadDevice(std::size_t most)
{
    m_bIoError = false;
    if (!m_device->IsOpen())
        return;
    std::array<std::uint8_t, kReadChunk> chunk{};
    std::size_t got = 0;
    const FtdiStatus status = m_device->Read(std::span(chunk).first(std::min(most, chunk.size())), got);
    if (status == FtdiStatus::IoError) {
        m_bIoError = true;
        return;
    }
    if (status != FtdiStatus::Ok)
        return;
    // Bytes beyond a full ring are dropped; the callers read continuously,
    // so only a stalled caller loses anything, and then only a broken line.
    for (std::size_t i = 0; i < got && i < chunk.size(); ++i)
        m_ring.Push(chunk[i]);
}

LineResult FtdiChannel::ReadLine(LineBuffer& line)
{
    ReadDevice(kReadChunk);
    std::uint8_t byte = 0;
    if (!m_ring.Pop(byte))
        return line.pos > 0 ? LineResult::LinePartial : LineResult::LineNone;
    for (;;) {
        const LineResult r = PutLineByte(line, byte);
        if (r != LineResult::LinePartial)
            return r;
        if (!m_ring.Pop(byte))
            return LineResult::LineNone;
    }
}

FtdiByte FtdiChannel::ReadByte(std::uint8_t& byte)
{
    // No device, no byte ever: a reply waited for on a closed bridge would
    // otherwise spin through its windows without the clock moving.
    if (!m_device->IsOpen())
        return FtdiByte::IoError;
    ReadDevice(1);
    if (m_bIoError) {
        m_ring.Reset();
        return FtdiByte::IoError;
    }
    return m_ring.Pop(byte) ? FtdiByte::Byte : FtdiByte::None;
}

void FtdiChannel::Drain()
{
    ReadDevice(kReadChunk);
    m_ring.Reset();
}

void FtdiChannel::PinSequence(std::uint8_t first, std::uint8_t second)
{
    const BusyScope busy(m_prompter);
    m_device->SetBitMode(first, kCbusBitBang);
    m_clock.SleepFor(kPinStep);
    m_device->SetBitMode(second, kCbusBitBang);
    m_clock.SleepFor(kPinStep);
    m_device->SetBitMode(0, 0);
    m_clock.SleepFor(kPinStep);
}

void FtdiChannel::ResetIntoBootMode()
{
    // CBUS1 high (boot mode) while CBUS0 goes high, then low.
    PinSequence(0x33, 0x32);
}

void FtdiChannel::ResetIntoRunMode()
{
    // CBUS1 low (normal operation) while CBUS0 goes high, then low.
    PinSequence(0x31, 0x30);
}

bool FtdiChannel::WaitForInput(Clock& clock, Nanos deadline)
{
    if (!m_ring.Empty())
        return true;
    return m_device->WaitForData(clock, deadline);
}

} // namespace velmora
