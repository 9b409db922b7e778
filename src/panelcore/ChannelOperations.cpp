#include "panelcore/ChannelOperations.h"

#include <cmath>
#include <functional>

#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/OutputRules.h"
#include "panelcore/PanelSession.h"
#include "panelcore/PanelTexts.h"

namespace velmora {

namespace {

inline constexpr const char* kMsgNoSuchChannel = N_("その回路はありません");
inline constexpr const char* kMsgAutoOutputRunning = N_("自動出力中は変更できません");
inline constexpr const char* kMsgNoRange = N_("レンジが選択されていません");

bool WithinLimits(double value, const RangeInfo& limits)
{
    const double lo = std::fmin(limits.lower, limits.upper);
    const double hi = std::fmax(limits.lower, limits.upper);
    return value >= lo && value <= hi;
}

} // namespace

const char* OpRefusalText(OpRefusal refusal)
{
    switch (refusal) {
    case OpRefusal::None:
        return "";
    case OpRefusal::NoSuchChannel:
        return kMsgNoSuchChannel;
    case OpRefusal::NotConnected:
        return kMsgNotConnected;
    case OpRefusal::OutputOn:
        return kMsgCannotSwitchWhileOn;
    case OpRefusal::AutoOutputRunning:
        return kMsgAutoOutputRunning;
    case OpRefusal::OutOfLimits:
        return kOutOfRangeText;
    case OpRefusal::NoRange:
        return kMsgNoRange;
    case OpRefusal::BadValue:
    case OpRefusal::Refused:
        return kInputWrongText;
    }
    return "";
}

bool ChannelOperations::IsChannelInUse(int c) const
{
    return c >= 0 && c < m_session.Document().m_model.ChannelsInUse();
}

std::optional<OpRefusal> ChannelOperations::ChannelRefusal(int c) const
{
    if (!IsChannelInUse(c))
        return OpRefusal::NoSuchChannel;
    return std::nullopt;
}

std::optional<OpRefusal> ChannelOperations::SettingsRefusal(int c) const
{
    if (const auto refusal = ChannelRefusal(c))
        return refusal;
    if (!m_session.IsAutoOutputStopped(c))
        return OpRefusal::AutoOutputRunning;
    return std::nullopt;
}

OpResult ChannelOperations::Changed(int c)
{
    m_session.NotifyChannelChanged(c);
    return {};
}

OpResult ChannelOperations::SetOutput(int c, bool on)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    if (!m_session.IsConnected())
        return {OpRefusal::NotConnected, {}};
    GeneratorModel& model = m_session.Document().m_model;
    if (model.IsOutputOn(c) == on)
        return {};
    const ScopedFlag paused = m_session.PausePolling();
    if (on)
        model.SwitchOutputOn(c);
    else
        model.SwitchOutputOff(c);
    return Changed(c);
}

OpResult ChannelOperations::ToggleOutput(int c)
{
    return SetOutput(c, !m_session.Document().m_model.IsOutputOn(c));
}

OpResult ChannelOperations::StepSetValue(int c, int position, int direction)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    GeneratorModel& model = m_session.Document().m_model;
    const double v =
        SteppedValue(model.channels[static_cast<std::size_t>(c)].setValue, position, direction, model.ChannelLimits(c));
    const ScopedFlag paused = m_session.PausePolling();
    model.SetSetValue(c, v);
    return Changed(c);
}

OpResult ChannelOperations::SetSetValue(int c, double value, LimitPolicy policy)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    if (!std::isfinite(value))
        return {OpRefusal::BadValue, {}};
    GeneratorModel& model = m_session.Document().m_model;
    const RangeInfo limits = model.ChannelLimits(c);
    double stored = value;
    if (policy == LimitPolicy::Clamp) {
        stored = CommitTypedValue(value, limits);
    } else {
        if (model.ActiveSlot(c) == kNoSlot)
            return {OpRefusal::NoRange, {}};
        if (!WithinLimits(value, limits))
            return {OpRefusal::OutOfLimits, {}};
    }
    const ScopedFlag paused = m_session.PausePolling();
    model.SetSetValue(c, stored);
    return Changed(c);
}

OpResult ChannelOperations::ApplyPreset(int c, int k)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    GeneratorModel& model = m_session.Document().m_model;
    const int slot = model.ActiveSlot(c);
    if (slot == kNoSlot)
        return {OpRefusal::NoRange, {}};
    if (k < 0 || k >= kPresetCount)
        return {OpRefusal::BadValue, {}};
    const ScopedFlag paused = m_session.PausePolling();
    model.SetSetValue(c,
                      model.channels[static_cast<std::size_t>(c)]
                          .presets[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)]);
    return Changed(c);
}

OpResult ChannelOperations::SetPresets(int c, const PresetValues& values)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    GeneratorModel& model = m_session.Document().m_model;
    const int slot = model.ActiveSlot(c);
    if (slot == kNoSlot)
        return {OpRefusal::NoRange, {}};
    model.channels[static_cast<std::size_t>(c)].presets[static_cast<std::size_t>(slot)] = values;
    return Changed(c);
}

OpResult ChannelOperations::SelectRange(int c, int code)
{
    if (const auto refusal = SettingsRefusal(c))
        return {*refusal, {}};
    GeneratorModel& model = m_session.Document().m_model;
    if (model.IsOutputOn(c))
        return {OpRefusal::OutputOn, {}};
    if (!IsValidRangeCode(code) || code == kConversionSlot)
        return {OpRefusal::NoRange, {}};
    const ScopedFlag paused = m_session.PausePolling();
    model.SetRange(c, code);
    model.ResetSetValue(c);
    return Changed(c);
}

OpResult ChannelOperations::SetConversionMode(int c, bool on)
{
    if (const auto refusal = SettingsRefusal(c))
        return {*refusal, {}};
    GeneratorModel& model = m_session.Document().m_model;
    if (model.channels[static_cast<std::size_t>(c)].useConversion == on)
        return {};
    const ScopedFlag paused = m_session.PausePolling();
    model.SetConversionEnabled(c, on);
    return Changed(c);
}

OpResult ChannelOperations::SetConversion(int c, double convMin, double convMax, int decimals)
{
    if (const auto refusal = SettingsRefusal(c))
        return {*refusal, {}};
    if (!std::isfinite(convMin) || !std::isfinite(convMax) || decimals < 0 || decimals > kMaxDecimals)
        return {OpRefusal::BadValue, {}};
    GeneratorModel& model = m_session.Document().m_model;
    ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    const ScopedFlag paused = m_session.PausePolling();
    s.convMin = convMin;
    s.convMax = convMax;
    s.convDecimals = decimals;
    model.ClampPresets(c);
    if (s.useConversion)
        model.ResetSetValue(c);
    return Changed(c);
}

OpResult ChannelOperations::AutoControl(int c, AutoControlResult* control,
                                        const std::function<AutoControlResult()>& operation)
{
    if (const auto refusal = ChannelRefusal(c))
        return {*refusal, {}};
    if (!m_session.IsConnected())
        return {OpRefusal::NotConnected, {}};
    const std::int32_t before = m_session.Document().m_autoOutput[static_cast<std::size_t>(c)].runState;
    const AutoControlResult result = operation();
    m_session.NoteAutoRunState(c, before);
    if (control != nullptr)
        *control = result;
    Changed(c);
    if (result.refused != AutoStartRefusal::None)
        return {OpRefusal::Refused, AutoStartRefusalText(result)};
    return {};
}

OpResult ChannelOperations::StartAutoOutput(int c, AutoControlResult* control)
{
    return AutoControl(c, control, [this, c] { return m_session.AutoRunner().Start(c, m_session.Now()); });
}

OpResult ChannelOperations::PauseAutoOutput(int c, AutoControlResult* control)
{
    return AutoControl(c, control, [this, c] { return m_session.AutoRunner().Pause(c); });
}

OpResult ChannelOperations::StopAutoOutput(int c, AutoControlResult* control)
{
    return AutoControl(c, control, [this, c] { return m_session.AutoRunner().Stop(c); });
}

OpResult ChannelOperations::SetAutoOutputSettings(int c, std::int32_t mode, const AutoOutFieldTexts& texts,
                                                  const ArbitraryTable& table)
{
    if (const auto refusal = SettingsRefusal(c))
        return {*refusal, {}};
    CVelmoraDoc& doc = m_session.Document();
    const int slot = doc.m_model.ActiveSlot(c);
    if (slot == kNoSlot)
        return {OpRefusal::NoRange, {}};
    const AutoOutApplied applied = ApplyAutoOutSettings(doc.m_autoOutput[static_cast<std::size_t>(c)], slot,
                                                        doc.m_model.ChannelLimits(c), mode, texts, table);
    if (!applied.accepted)
        return {OpRefusal::Refused, applied.message};
    return Changed(c);
}

OpResult ChannelOperations::ResetOutputs()
{
    CVelmoraDoc& doc = m_session.Document();
    GeneratorModel& model = doc.m_model;
    const ScopedFlag paused = m_session.PausePolling();
    for (int c = 0; c < model.ChannelsInUse(); ++c) {
        m_session.AutoRunner().Stop(c);
        model.SwitchOutputOff(c);
        model.ResetSetValue(c);
        m_session.NotifyChannelChanged(c);
    }
    return {};
}

} // namespace velmora
