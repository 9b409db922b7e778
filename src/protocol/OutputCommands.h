#pragma once
// The messages of normal operation: the settings write of one channel, the
// status request, and the handling of lines the unit sends outside an
// exchange (status replies and its announcement).
//
// Thread contract: UI thread only.

#include <string_view>

#include "model/ChannelSettings.h"

namespace velmora {

class GeneratorLink;
class GeneratorModel;

// Builds channel ch's settings write from its record and queues it on the
// link, where it replaces the channel's unsent frame and leaves as the line
// allows. Does not look at the connection: callers send only while
// connected.
void SendChannelSettings(GeneratorLink& link, int ch, const ChannelSettings& settings);

// Queues the status request of channel ch, connecting the serial channel
// first when it is not.
void RequestStatus(GeneratorLink& link, int ch);

// Dispatches a line received outside an exchange: an announcement makes the
// model resend every channel, a status reply is applied. True for both
// (whatever the reply held); false for any other line, which changes nothing.
bool HandleUnitLine(GeneratorModel& model, std::string_view line);

// Stores a verified 58-byte status reply in the channel it names. False, and
// nothing stored, when the reply fails verification.
bool ApplyStatusReply(GeneratorModel& model, std::string_view line);

// Lets the model send its frames over the link.
class LinkModelAdapter final : public ModelLink {
public:
    explicit LinkModelAdapter(GeneratorLink& link) : m_link(link) { }
    bool IsConnected() const override;
    void SendChannelSettings(int ch, const ChannelSettings& settings) override;

private:
    GeneratorLink& m_link;
};

} // namespace velmora
