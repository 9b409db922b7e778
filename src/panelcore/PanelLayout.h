#pragma once
// Where the main panel's controls stand and what its drawing contains, in
// pixels of the panel's client area (x to the right, y down). The widgets are
// built from these tables; nothing here knows a widget.
//
// Controls carry numeric identifiers: 805 (connect button), 808 (port list),
// and for channel column c (0-3) the base B = 320 + 50 x c plus a fixed
// offset per control (see ColumnOffset).
//
// Thread contract: none needed; plain functions over values.

#include <array>
#include <string>
#include <vector>

namespace velmora {

struct PanelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    // Twice the x-centre, so that odd widths stay exact.
    int CentreX2() const { return left + right; }
    bool operator==(const PanelRect&) const = default;
};

inline constexpr int kConnectButtonId = 805;
inline constexpr int kPortListId = 808;
inline constexpr int kColumnCount = 4;
// The panel's own height: the channel frames end at 464, and the margin
// above the connect button (8) is kept below them. The window is this plus
// its menu bar, with no band below the frames.
inline constexpr int kPanelHeight = 472;

// Frame widths: a single column, two columns, and four columns (two more
// columns 205 pixels apart, so that channels 3 and 4 can be reached).
inline constexpr int kFrameWidthOneColumn = 300;
inline constexpr int kFrameWidthTwoColumns = 432;
inline constexpr int kFrameWidthFourColumns = 842;

// Distance between two channel columns.
inline constexpr int kColumnPitch = 205;
// Distance between two step-button columns: one half-width character of the
// value field's font.
inline constexpr int kDigitPitch = 24;
// Step-button positions: 0-5 the digits from the right, 6 the sign.
inline constexpr int kDigitPositions = 6;
inline constexpr int kSignPosition = 6;

enum ColumnOffset : int {
    kAdjustMarkOffset = -5,
    kAlarmLabelOffset = -4,
    kOnOffOffset = 0,
    kFirstStepOffset = 2, // up of position 0; B + 2 + 2k up, B + 3 + 2k down
    kSignUpOffset = 14,
    kSignDownOffset = 15,
    kValueFieldOffset = 16,
    kRangeButtonOffset = 17,
    kFormulaOffset = 18,
    kNormalRadioOffset = 19,
    kConvertedRadioOffset = 20,
    kFirstPresetOffset = 23, // preset k at B + 23 + k
    kPresetSettingsOffset = 32,
    kAutoSettingsOffset = 33,
    kAutoStartOffset = 34,
    kAutoPauseOffset = 35,
    kAutoStopOffset = 36,
    kAutoModeOffset = 37,
    kAutoValueOffset = 38, // shared by the five value labels
};

inline constexpr int kAutoValueLabelCount = 5; // start, end, step, interval, repeat

inline constexpr int ChannelBase(int c)
{
    return 320 + 50 * c;
}

enum class ControlKind {
    ConnectButton, // colour-capable push button
    PortList,      // drop-down list
    AdjustMark,    // static, centred, green text background
    AlarmLabel,    // static, centred, red text background, white text
    RangeButton,   // push button
    OnOffButton,   // colour-capable push button
    NormalRadio,   // radio, not automatic
    ConvertedRadio,
    FormulaButton, // push button, multi-line
    StepButton,    // "△" / "▽" / "＋" / "－"
    ValueField,    // multi-line edit in the large font
    PresetButton,  // push button with a lamp image
    PresetSettings,
    AutoModeLabel, // static, centred, vertically centred, sunken
    AutoValueLabel,
    AutoStart, // push buttons showing an image
    AutoPause,
    AutoStop,
    AutoSettings,
};

struct ControlSpec {
    int id = 0;
    int index = 0; // which of the controls sharing `id` (the automatic-output value labels)
    ControlKind kind = ControlKind::ConnectButton;
    std::string text; // initial text, UTF-8
    PanelRect rect;
    bool visible = false; // at creation
};

// The connect button and the port list (the list's rectangle includes its
// drop-down part; the closed list is as tall as the connect button).
std::vector<ControlSpec> TopRowControls();
// The closed port list's height: the connect button's.
inline constexpr int kPortListClosedHeight = 23;

// The x origin of channel column c when the columns are shifted by `offsetA`.
inline constexpr int ColumnOriginX(int c, int offsetA)
{
    return 114 + offsetA + kColumnPitch * c;
}

// Every control of column c whose origin is x, in the order the controls are
// created: marks, range and ON/OFF buttons, radios and formula button, the
// step buttons (up and down of positions 0-5, then the sign pair), the value
// field, the eight presets and their settings button, the automatic-output
// block.
std::vector<ControlSpec> ColumnControls(int c, int originX);

// The up or down button of digit position k (0-5, rightmost digit 0) and the
// sign pair (position 6), for a column at origin x.
PanelRect StepButtonRect(int position, bool up, int originX);
// Preset k (0-7): a 3 x 3 grid without its bottom-right cell.
PanelRect PresetButtonRect(int k, int originX);
PanelRect ValueFieldRect(int originX);

// How LayoutChannels arranges the columns for a channel count.
struct ColumnArrangement {
    int offsetA = 0;      // shift of the columns (a single channel sits centred)
    int columnsShown = 1; // columns 0 .. columnsShown-1 are shown
    int frameWidth = kFrameWidthOneColumn;
};
// `frameWidth` is the process-wide width kept with the settings; it is used
// for one and two channels. Four channels (and the three a test document may
// hold) always get the four-column width, since the two-column width leaves
// channels 3 and 4 out of reach.
ColumnArrangement ArrangeColumns(int channelCount, int frameWidth);

// The drawing of the panel, per channel column i.
inline constexpr int DrawingLeft(int i, int channelCount)
{
    return (channelCount == 1 ? 49 : 9) + kColumnPitch * i;
}
struct PanelText {
    int x = 0; // top-left of the text
    int y = 0;
    std::string text;
};
struct ChannelDrawing {
    PanelRect frame;                 // sunken edge
    PanelText number;                // "１" ... "４"
    std::array<PanelRect, 3> blocks; // etched: value, presets, automatic output
    std::array<PanelText, 3> texts;  // "→", "秒", "回"
};
ChannelDrawing DrawChannel(int i, int channelCount);

// "１" … "４" for channel index 0-3, empty otherwise.
std::string FullWidthChannelNumber(int i);

} // namespace velmora
