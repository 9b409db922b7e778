#include "adjust/AdjustSession.h"

#include <algorithm>
#include <cmath>

#include "model/NumberText.h"
#include "model/GeneratorModel.h"

namespace velmora {

namespace {

bool HasSlot(int rangeCode)
{
    return rangeCode >= 0 && rangeCode < kSlotCount;
}

} // namespace

int MinCorrectionFloor(int rangeCode)
{
    switch (rangeCode) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 6:
    case 7:
    case 11:
    case 12:
        return 0;
    default:
        return -kCorrectionLimit;
    }
}

int CorrectionFloor(AdjustSide side, int rangeCode)
{
    return side == AdjustSide::Min ? MinCorrectionFloor(rangeCode) : -kCorrectionLimit;
}

std::int16_t SignedMaxCorrection(std::uint16_t word)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(word - 0x8000u));
}

std::uint16_t MaxCorrectionWord(std::int16_t value)
{
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) + 0x8000u);
}

std::optional<std::int16_t> TypedCorrection(std::string_view text, int lo, int hi)
{
    const std::optional<double> v = ParseWholeNumber(text);
    // strtod reads "nan" as a number; there is no correction to take from it,
    // and no integer it could be truncated to.
    if (!v || std::isnan(*v))
        return std::nullopt;
    if (*v <= lo)
        return static_cast<std::int16_t>(lo);
    if (*v >= hi)
        return static_cast<std::int16_t>(hi);
    return static_cast<std::int16_t>(std::trunc(*v));
}

AdjustChannel AdjustChannelFromModel(const GeneratorModel& model, int ch)
{
    AdjustChannel a;
    const ChannelSettings& s = model.channels.at(static_cast<std::size_t>(ch));
    a.rangeCode = s.rangeCode;
    a.lowerText = model.FormatMin(ch);
    a.upperText = model.FormatMax(ch);
    const UserAdjustment u =
        HasSlot(s.rangeCode) ? s.userAdjustment[static_cast<std::size_t>(s.rangeCode)] : UserAdjustment{};
    a.select = u.adjustSelect & kSelectBits;
    a.minCorrection = static_cast<std::int16_t>(u.minCorrection);
    a.maxCorrection = SignedMaxCorrection(u.maxCorrection);
    a.savedSelect = a.select;
    a.savedMin = a.minCorrection;
    a.savedMax = a.maxCorrection;
    return a;
}

AdjustSession::AdjustSession(GeneratorLink& link, std::vector<AdjustChannel> channels)
    : m_link(link),
      m_channels(std::move(channels))
{
}

bool AdjustSession::SideEnabled(AdjustSide side) const
{
    return m_nTestPoint == (side == AdjustSide::Min ? kTestLower : kTestUpper);
}

std::int16_t AdjustSession::Correction(AdjustSide side) const
{
    return side == AdjustSide::Min ? Current().minCorrection : Current().maxCorrection;
}

void AdjustSession::SendTestOutput(int index)
{
    const AdjustChannel& c = Channel(index);
    TestAdjustment(m_link, m_nTestPoint, index, c.rangeCode, static_cast<std::uint16_t>(c.minCorrection),
                   MaxCorrectionWord(c.maxCorrection));
}

void AdjustSession::SetTestOutput(AdjustSide side, bool on)
{
    m_nTestPoint = on ? (side == AdjustSide::Min ? kTestLower : kTestUpper) : kTestOff;
    SendTestOutput(m_nSelected);
}

bool AdjustSession::Step(AdjustSide side, int delta)
{
    if (!SideEnabled(side))
        return false;
    AdjustChannel& c = Mutable();
    std::int16_t& value = side == AdjustSide::Min ? c.minCorrection : c.maxCorrection;
    // Each button has the one bound it moves toward: a value the unit sent
    // from beyond the other bound comes back one step at a time.
    const int moved = value + (delta > 0 ? 1 : -1);
    value = static_cast<std::int16_t>(delta > 0 ? std::min(moved, kCorrectionLimit)
                                                : std::max(moved, CorrectionFloor(side, c.rangeCode)));
    SendTestOutput(m_nSelected);
    return true;
}

AdjustSession::TypeResult AdjustSession::Type(AdjustSide side, std::string_view text)
{
    if (!SideEnabled(side))
        return TypeResult::Ignored;
    AdjustChannel& c = Mutable();
    const std::optional<std::int16_t> v = TypedCorrection(text, CorrectionFloor(side, c.rangeCode), kCorrectionLimit);
    if (!v)
        return TypeResult::Undone;
    (side == AdjustSide::Min ? c.minCorrection : c.maxCorrection) = *v;
    SendTestOutput(m_nSelected);
    return TypeResult::Stored;
}

void AdjustSession::SetSelection(int select)
{
    Mutable().select = select & kSelectBits;
}

void AdjustSession::SwitchAllOff()
{
    m_nTestPoint = kTestOff;
    for (int i = 0; i < ChannelCount(); ++i)
        SendTestOutput(i);
}

bool AdjustSession::SelectChannel(int index)
{
    if (index == m_nSelected || index < 0 || index >= ChannelCount())
        return false;
    m_nSelected = index;
    SwitchAllOff();
    return true;
}

AdjustOutcome AdjustSession::InitialiseAll()
{
    return InitUserAdjustment(m_link);
}

bool AdjustSession::SwitchOffForCancel()
{
    SwitchAllOff();
    return Changed();
}

bool AdjustSession::Changed() const
{
    for (const AdjustChannel& c : m_channels)
        if (c.Changed())
            return true;
    return false;
}

void AdjustSession::ApplyTo(GeneratorModel& model) const
{
    for (int i = 0; i < ChannelCount() && i < kMaxChannels; ++i) {
        const AdjustChannel& c = Channel(i);
        if (!HasSlot(c.rangeCode))
            continue;
        UserAdjustment& u =
            model.channels[static_cast<std::size_t>(i)].userAdjustment[static_cast<std::size_t>(c.rangeCode)];
        u.adjustSelect = WithSelectBits(u.adjustSelect, c.select);
        u.minCorrection = static_cast<std::uint16_t>(c.minCorrection);
        u.maxCorrection = MaxCorrectionWord(c.maxCorrection);
    }
}

void AdjustSession::RestoreSelection(GeneratorModel& model) const
{
    for (int i = 0; i < ChannelCount() && i < kMaxChannels; ++i) {
        const AdjustChannel& c = Channel(i);
        if (!HasSlot(c.rangeCode))
            continue;
        UserAdjustment& u =
            model.channels[static_cast<std::size_t>(i)].userAdjustment[static_cast<std::size_t>(c.rangeCode)];
        u.adjustSelect = WithSelectBits(u.adjustSelect, c.savedSelect);
    }
}

} // namespace velmora
