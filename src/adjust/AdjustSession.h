#pragma once
// The output adjustment as plain logic: the user corrections of every
// channel's present range being tuned, the test output the unit drives while
// the operator reads a meter, and what Cancel has to find out. The dialog
// only shows this state and forwards the operator's actions; velmoractl uses
// the same bounds and value rules.
//
// Corrections are held as signed numbers: the minimum correction as the
// two's complement word it is, the maximum correction as its offset-binary
// word less 0x8000.
//
// Thread contract: UI thread only; every change that drives the unit blocks
// in the link's exchange until the unit said "OK" or the fourth time-out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/AdjustmentCommands.h"

namespace velmora {

class GeneratorLink;
class GeneratorModel;

enum class AdjustSide { Min, Max };

// Both corrections go at most this far either way.
inline constexpr int kCorrectionLimit = 200;

// The lowest minimum correction of a range: 0 for 0-5 V, 0-10 V, -5-5 V,
// -10-10 V, 0-20 mA, 0-24 mA and the two external-supply ranges, whose zero
// the unit corrects upward only; -200 for 4-20 mA and 1-5 V on the internal
// supply, whose lower end is above the output's zero, and for any other code.
int MinCorrectionFloor(int rangeCode);
// The bounds of a side's correction for a range.
int CorrectionFloor(AdjustSide side, int rangeCode);

// Bits 0-1 of a range's adjustSelect word: which set the unit uses.
inline constexpr std::uint16_t kSelectBits = 0x0003;
// `word` with bits 0-1 replaced by those of `select`; the other bits stay.
inline std::uint16_t WithSelectBits(std::uint16_t word, int select)
{
    return static_cast<std::uint16_t>((word & ~kSelectBits) | (static_cast<unsigned>(select) & kSelectBits));
}

// word - 0x8000 and back, in 16-bit arithmetic.
std::int16_t SignedMaxCorrection(std::uint16_t word);
std::uint16_t MaxCorrectionWord(std::int16_t value);

// A correction as the operator typed it: read by the strtod rules (white
// space, sign, decimals, exponent, hexadecimal), held to [lo, hi] and
// truncated toward zero. Nothing when characters remain after the number or
// it is not a number at all (NaN). An empty text reads as 0.
std::optional<std::int16_t> TypedCorrection(std::string_view text, int lo, int hi);

// What the session holds of one channel.
struct AdjustChannel {
    std::string lowerText; // the channel's lower limit as the panel shows it
    std::string upperText;
    int rangeCode = 0;
    int select = 0; // adjustSelect bits 0-1
    std::int16_t minCorrection = 0;
    std::int16_t maxCorrection = 0;
    // Taken when the dialog opens.
    int savedSelect = 0;
    std::int16_t savedMin = 0;
    std::int16_t savedMax = 0;

    bool Changed() const { return select != savedSelect || minCorrection != savedMin || maxCorrection != savedMax; }
};

// The channel's user set for its present range as the model holds it (a
// range code without a slot gives the initial values), with the saved copies
// taken.
AdjustChannel AdjustChannelFromModel(const GeneratorModel& model, int ch);

class AdjustSession {
public:
    // `channels` holds one entry per channel in use (1-4); it must not be
    // empty.
    AdjustSession(GeneratorLink& link, std::vector<AdjustChannel> channels);

    int ChannelCount() const { return static_cast<int>(m_channels.size()); }
    int Selected() const { return m_nSelected; }
    const AdjustChannel& Channel(int index) const { return m_channels.at(static_cast<std::size_t>(index)); }
    const AdjustChannel& Current() const { return Channel(m_nSelected); }
    // kTestOff, kTestLower or kTestUpper.
    int TestPoint() const { return m_nTestPoint; }
    // A side's edit and step buttons work only while the unit drives that
    // side's end, so that what the operator changes is what the meter shows.
    bool SideEnabled(AdjustSide side) const;
    std::int16_t Correction(AdjustSide side) const;

    // The output check boxes: ticking one drives its end of the range and
    // clears the other; clearing either switches the test output off.
    void SetTestOutput(AdjustSide side, bool on);
    // ▲ (+1) up to the ceiling, ▼ (-1) down to the side's floor; a value
    // already beyond the bound of its direction goes to that bound. False,
    // nothing sent, while the side is off.
    bool Step(AdjustSide side, int delta);

    enum class TypeResult {
        Stored,  // the value (held to the bounds) is stored and driven
        Undone,  // not a number: the edit goes back to the stored value
        Ignored, // the side is off
    };
    TypeResult Type(AdjustSide side, std::string_view text);

    // The radio buttons: 0 off, 1 maker, 2 user. Nothing is sent; the panel
    // transfers the selection after OK.
    void SetSelection(int select);
    // Every channel's test output off (each told to the unit), then `index`
    // is shown. False, nothing sent, when the index is the selected one or
    // out of range.
    bool SelectChannel(int index);
    // "CINIU". The session's own values stay, so OK transfers them again.
    AdjustOutcome InitialiseAll();
    // Every channel's test output off, each told to the unit.
    void SwitchAllOff();
    // The way out through Cancel: every test output off, then whether
    // anything differs from the copies.
    bool SwitchOffForCancel();
    bool Changed() const;

    // After OK: bits 0-1 of each channel's adjustSelect become the selection
    // (the other bits stay), the corrections go into the slot of its range.
    void ApplyTo(GeneratorModel& model) const;
    // After Cancel: bits 0-1 of the select words back to the saved copies.
    void RestoreSelection(GeneratorModel& model) const;

private:
    AdjustChannel& Mutable() { return m_channels[static_cast<std::size_t>(m_nSelected)]; }
    void SendTestOutput(int index);

    GeneratorLink& m_link;
    std::vector<AdjustChannel> m_channels;
    int m_nSelected = 0;
    int m_nTestPoint = kTestOff;
};

} // namespace velmora
