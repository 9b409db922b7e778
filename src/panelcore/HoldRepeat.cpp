#include "panelcore/HoldRepeat.h"

namespace velmora {

std::vector<int> HoldRepeat::Scan(const HoldScanInput& in)
{
    const bool keyOnly = in.spaceDown && !in.leftDown;
    if (!in.anyCapture && !keyOnly) {
        m_nHoldCount = 0;
        return {};
    }
    std::vector<int> fired;
    for (const auto& group : in.groups) {
        for (const HeldButton& b : group) {
            if (!b.captured)
                continue;
            const bool held = (b.cursorInside && in.leftDown) || keyOnly;
            if (!held)
                continue;
            ++m_nHoldCount;
            if (m_nHoldCount >= kFirstRepeatTick) {
                fired.push_back(b.id);
                break; // the rest of this channel's group is skipped
            }
        }
    }
    return fired;
}

int ScannedChannels(int channelCount)
{
    if (channelCount >= 3)
        return 4;
    return channelCount >= 2 ? 2 : 1;
}

} // namespace velmora
