#include "firmware/FtdiBootTransport.h"

#include "link/FtdiChannel.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

bool FtdiBootTransport::IsOpen() const
{
    return m_channel.IsOpen();
}
bool FtdiBootTransport::OpenUnit()
{
    return m_channel.OpenUnit();
}
void FtdiBootTransport::CloseUnit()
{
    m_channel.CloseUnit();
}
void FtdiBootTransport::SetUnitBaudRate(std::uint32_t rate)
{
    m_channel.SetUnitBaudRate(rate);
}
void FtdiBootTransport::Write(std::span<const std::uint8_t> bytes)
{
    m_channel.Write(bytes);
}

BootByte FtdiBootTransport::ReadByte(std::uint8_t& byte)
{
    switch (m_channel.ReadByte(byte)) {
    case FtdiByte::Byte:
        return BootByte::Byte;
    case FtdiByte::IoError:
        return BootByte::IoError;
    case FtdiByte::None:
        break;
    }
    return BootByte::None;
}

void FtdiBootTransport::Drain()
{
    m_channel.Drain();
}
void FtdiBootTransport::ResetIntoBootMode()
{
    m_channel.ResetIntoBootMode();
}
void FtdiBootTransport::ResetIntoRunMode()
{
    m_channel.ResetIntoRunMode();
}

std::optional<std::string> FtdiBootTransport::QueryVersion()
{
    std::string version;
    if (!m_link.QueryVersion(LinkFtdi, version))
        return std::nullopt;
    return version;
}

} // namespace velmora
