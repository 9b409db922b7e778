#include "link/FtdiChannel.h"

#include <array>

namespace velmora {

bool NoFtdiDevice::WaitForData(Clock& clock, Nanos deadline)
{
    clock.WaitUntil(m_never, deadline);
    return false;
}

FtdiChannel::FtdiChannel(std::unique_ptr<FtdiDevice> device) : m_device(std::move(device)) {}

bool FtdiChannel::Open()
{
    if (m_device->IsOpen())
        return true;
    m_ring.Reset();
    return m_device->Open();
}

void FtdiChannel::Close()
{
    m_device->Close();
}

void FtdiChannel::Write(std::span<const std::uint8_t> bytes)
{
    if (m_device->IsOpen() && !bytes.empty())
        m_device->Write(bytes);
}

void FtdiChannel::ReadDevice()
{
    if (!m_device->IsOpen())
        return;
    std::array<std::uint8_t, kReadChunk> chunk;
    const int n = m_device->Read(chunk);
    // Bytes beyond a full ring are dropped; the callers read continuously,
    // so only a stalled caller loses anything, and then only a broken line.
    for (int i = 0; i < n && i < static_cast<int>(chunk.size()); ++i)
        m_ring.Push(chunk[static_cast<std::size_t>(i)]);
}

LineResult FtdiChannel::ReadLine(LineBuffer& line)
{
    ReadDevice();
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

bool FtdiChannel::WaitForInput(Clock& clock, Nanos deadline)
{
    if (!m_ring.Empty())
        return true;
    return m_device->WaitForData(clock, deadline);
}

} // namespace velmora
