#pragma once
// Press-and-hold repeat of the step buttons. The panel scans once per tick:
// a held step button fires from the sixth consecutive tick on, then on every
// tick; its own click on release adds the last step. Moving the cursor off
// the button pauses the repeat without resetting the count. The space bar
// (with the left mouse button up) holds the focused button like the mouse.
//
// The widget side reports what it sees; this decides what fires.
//
// Thread contract: UI thread only.

#include <vector>

namespace velmora {

struct HeldButton {
    int id = 0;
    bool captured = false;     // the button holds the mouse, or the space bar pressed it
    bool cursorInside = false; // the cursor lies inside the button
};

struct HoldScanInput {
    bool anyCapture = false; // some window of the panel holds the mouse or a pressed key
    bool leftDown = false;   // the left mouse button is down now
    bool spaceDown = false;  // the space bar is down now
    // The step buttons to test, one group per channel in channel order, each
    // in increasing identifier order.
    std::vector<std::vector<HeldButton>> groups;
};

class HoldRepeat {
public:
    // The tick on which a held button fires for the first time.
    static constexpr int kFirstRepeatTick = 6;

    // One tick's scan: the identifiers that fire now, at most one per group.
    std::vector<int> Scan(const HoldScanInput& input);

    int m_nHoldCount = 0;
};

// The channels whose step buttons the scan tests: channel 0, channel 1 from
// two channels on, channels 2 and 3 from three on.
int ScannedChannels(int channelCount);

} // namespace velmora
