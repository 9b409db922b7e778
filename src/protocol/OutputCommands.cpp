#include "protocol/OutputCommands.h"

#include "model/GeneratorModel.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

void SendChannelSettings(GeneratorLink& link, int ch, const ChannelSettings& s)
{
    if (ch < 0 || ch >= kMaxChannels)
        return;
    SettingsWords words;
    words.dacCode = s.dacCode;
    words.controlWord = s.controlWord;
    words.auxControlWord = s.auxControlWord;
    words.reservedWord = s.reservedWord;
    words.extOutputWord = s.extOutputWord;
    words.spareWords = s.spareWords;
    link.QueueSettingsFrame(ch, BuildSettingsWrite(ch, s.rangeCode, words), Snapshot(s));
}

void RequestStatus(GeneratorLink& link, int ch)
{
    if (ch < 0 || ch >= kMaxChannels)
        return;
    if (!link.IsConnected())
        link.Connect();
    link.QueueStatusRequest(BuildStatusRequest(ch));
}

bool HandleUnitLine(GeneratorModel& model, std::string_view line)
{
    if (line.size() < 2 || line[0] != kStx)
        return false;
    if (line[1] == 'A') {
        model.ResendAll();
        return true;
    }
    if (line[1] == 'R') {
        ApplyStatusReply(model, line);
        return true;
    }
    return false;
}

bool ApplyStatusReply(GeneratorModel& model, std::string_view line)
{
    if (!VerifyFrame(line, kStatusReplyLength))
        return false;
    const int ch = line[2] - '1';
    ChannelSettings& s = model.channels[static_cast<size_t>(ch)];
    // The reply's range code is the unit's own; it only chooses which
    // adjustment slot the select word belongs to.
    const unsigned range = HexField(line, 3, 2);
    s.statusWord = static_cast<std::uint16_t>(HexField(line, 25, 4));
    s.extStatusWord = static_cast<std::uint16_t>(HexField(line, 45, 4));
    if (range < kSlotCount)
        s.userAdjustment[range].adjustSelect = static_cast<std::uint16_t>(HexField(line, 49, 4));
    return true;
}

bool LinkModelAdapter::IsConnected() const
{
    return m_link.IsConnected();
}

void LinkModelAdapter::SendChannelSettings(int ch, const ChannelSettings& settings)
{
    velmora::SendChannelSettings(m_link, ch, settings);
}

} // namespace velmora
