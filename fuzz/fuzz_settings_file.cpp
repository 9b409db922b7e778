// A settings document of any bytes: reading it must end in a result, and the
// model it leaves behind must survive every operation the panel runs on it.
#include <cmath>
#include <string_view>

#include "FuzzTarget.h"
#include "model/CVelmoraDoc.h"
#include "model/SettingsArchive.h"

using namespace velmora;

namespace {

// Records frames instead of sending them, always "connected" so that every
// sending path runs.
class CountingLink final : public ModelLink {
public:
    bool IsConnected() const override { return true; }
    void SendChannelSettings(int ch, const ChannelSettings&) override
    {
        if (ch < 0 || ch >= kMaxChannels)
            __builtin_trap();
        ++frames;
    }
    long frames = 0;
};

void Exercise(CVelmoraDoc& doc)
{
    GeneratorModel& m = doc.m_model;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        (void)m.FormatSetValue(ch);
        (void)m.FormatMin(ch);
        (void)m.FormatMax(ch);
        for (int k = 0; k < kPresetCount; ++k)
            (void)m.FormatPreset(ch, k);
        (void)m.AlarmCode(ch);
        m.SetConversionEnabled(ch, !m.channels[ch].useConversion);
        m.SwitchOutputOn(ch);
        m.ClampPresets(ch);
    }
    m.ResendAll();
    ArchiveWriter out;
    doc.WriteSettings(out);
    doc.RepairChannelSettings();
    doc.RepairAutoOutputSettings();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::QuietPrompter prompter;
    CountingLink link;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    doc.m_model.SetLink(&link);
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ArchiveReader ar(bytes);
    (void)doc.ReadSettings(ar);
    Exercise(doc);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    fuzz::QuietPrompter prompter;
    std::vector<std::string> seeds;
    for (int count : {1, 2, 4}) {
        CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
        doc.SetChannelCount(count);
        doc.m_model.channels[0].useConversion = true;
        doc.m_model.channels[0].convMin = -50.0;
        doc.m_model.channels[0].convMax = 50.0;
        doc.m_model.channels[1].rangeCode = 5;
        ArchiveWriter out;
        doc.WriteSettings(out);
        seeds.push_back(out.Bytes());
    }
    return seeds;
}
