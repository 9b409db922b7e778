#pragma once
// A model link that records every frame the model sends, with the channel's
// record as it was at that moment, and says it is connected while told so.

#include <vector>

#include "model/ChannelSettings.h"

namespace velmora::test {

class RecordingLink final : public ModelLink {
public:
    struct Frame {
        int ch;
        ChannelSettings settings;
    };

    bool connected = true;
    std::vector<Frame> frames;

    bool IsConnected() const override { return connected; }
    void SendChannelSettings(int ch, const ChannelSettings& settings) override { frames.push_back({ch, settings}); }

    std::vector<int> Channels() const
    {
        std::vector<int> out;
        for (const Frame& f : frames)
            out.push_back(f.ch);
        return out;
    }
};

} // namespace velmora::test
