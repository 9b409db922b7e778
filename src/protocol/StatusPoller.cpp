#include "protocol/StatusPoller.h"

#include "model/GeneratorModel.h"
#include "protocol/GeneratorLink.h"
#include "protocol/OutputCommands.h"

namespace velmora {

bool StatusPoller::ReadReply()
{
    if (m_link.ReceiveLine(LinkSerial) != LineResult::LineComplete)
        return false;
    if (!HandleUnitLine(m_model, m_link.LastLine()))
        return false;
    m_nNoReplyCount = 0;
    return true;
}

bool StatusPoller::PollNext()
{
    if (!m_bPolling)
        return false;
    // A count from a file may be anything; never poll past the four channels.
    int count = m_model.channelCount;
    if (count < 1 || count > kMaxChannels)
        count = count < 1 ? 1 : kMaxChannels;
    if (m_nPollChannel < 0 || m_nPollChannel >= count)
        m_nPollChannel = 0;
    RequestStatus(m_link, m_nPollChannel);
    if (++m_nPollChannel >= count)
        m_nPollChannel = 0;
    if (++m_nNoReplyCount >= kLostLimit) {
        m_nNoReplyCount = 0;
        return true;
    }
    return false;
}

} // namespace velmora
