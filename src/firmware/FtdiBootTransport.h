#pragma once
// Boot-mode programming's bridge: the link's FTDI channel, and the unit's
// own "VER" over it.
//
// Thread contract: UI thread only.

#include "firmware/BootProgrammer.h"

namespace velmora {

class FtdiChannel;
class GeneratorLink;

class FtdiBootTransport final : public BootTransport {
public:
    FtdiBootTransport(GeneratorLink& link, FtdiChannel& channel) : m_link(link), m_channel(channel) { }

    bool IsOpen() const override;
    bool OpenUnit() override;
    void CloseUnit() override;
    void SetUnitBaudRate(std::uint32_t rate) override;
    void Write(std::span<const std::uint8_t> bytes) override;
    BootByte ReadByte(std::uint8_t& byte) override;
    void Drain() override;
    void ResetIntoBootMode() override;
    void ResetIntoRunMode() override;
    std::optional<std::string> QueryVersion() override;

private:
    GeneratorLink& m_link;
    FtdiChannel& m_channel;
};

} // namespace velmora
