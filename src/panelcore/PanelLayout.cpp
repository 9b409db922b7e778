#include "panelcore/PanelLayout.h"

#include <algorithm>
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr int kStepTop = 144;
constexpr int kStepBottom = 168;
constexpr int kStepDownTop = 234;
constexpr int kStepDownBottom = 258;
constexpr int kStepWidth = 22;

ControlSpec MakeControl(int id, ControlKind kind, const char* text, PanelRect rect, int index = 0)
{
    ControlSpec s;
    s.id = id;
    s.index = index;
    s.kind = kind;
    s.text = text;
    s.rect = rect;
    return s;
}

} // namespace

std::vector<ControlSpec> TopRowControls()
{
    std::vector<ControlSpec> top;
    top.push_back(MakeControl(kConnectButtonId, ControlKind::ConnectButton, N_("接続"), {6, 8, 56, 31}));
    top.push_back(MakeControl(kPortListId, ControlKind::PortList, "", {58, 8, 278, 308}));
    for (ControlSpec& s : top)
        s.visible = true;
    return top;
}

PanelRect StepButtonRect(int position, bool up, int originX)
{
    // The right edge of position k's buttons; the sign pair (k = 6) follows
    // the same rule, over the value's sign character.
    const int w = originX + 73 - kDigitPitch * position;
    return up ? PanelRect{w - kStepWidth, kStepTop, w, kStepBottom}
              : PanelRect{w - kStepWidth, kStepDownTop, w, kStepDownBottom};
}

PanelRect PresetButtonRect(int k, int originX)
{
    const int row = k / 3;
    const int column = k % 3;
    const int p = originX - 41 + 62 * column;
    return {p - 60, 277 + 26 * row, p, 301 + 26 * row};
}

PanelRect ValueFieldRect(int originX)
{
    return {originX - 98, 170, originX + 78, 230};
}

std::vector<ControlSpec> ColumnControls(int c, int x)
{
    const int b = ChannelBase(c);
    std::vector<ControlSpec> out;
    out.push_back(MakeControl(b + kAdjustMarkOffset, ControlKind::AdjustMark, "---", {x - 100, 46, x - 82, 58}));
    out.push_back(MakeControl(b + kAlarmLabelOffset, ControlKind::AlarmLabel, N_("温度異常"), {x, 46, x + 74, 58}));
    out.push_back(MakeControl(b + kRangeButtonOffset, ControlKind::RangeButton, "xxx", {x - 100, 64, x - 20, 90}));
    out.push_back(MakeControl(b + kOnOffOffset, ControlKind::OnOffButton, " ", {x + 1, 64, x + 81, 90}));
    out.push_back(
        MakeControl(b + kNormalRadioOffset, ControlKind::NormalRadio, N_("ノーマル"), {x - 95, 108, x - 27, 132}));
    out.push_back(
        MakeControl(b + kConvertedRadioOffset, ControlKind::ConvertedRadio, N_("換算"), {x - 21, 108, x + 29, 132}));
    out.push_back(MakeControl(b + kFormulaOffset, ControlKind::FormulaButton, N_("式"), {x + 29, 108, x + 69, 128}));
    for (int k = 0; k < kDigitPositions; ++k)
        out.push_back(
            MakeControl(b + kFirstStepOffset + 2 * k, ControlKind::StepButton, "△", StepButtonRect(k, true, x)));
    for (int k = 0; k < kDigitPositions; ++k)
        out.push_back(
            MakeControl(b + kFirstStepOffset + 2 * k + 1, ControlKind::StepButton, "▽", StepButtonRect(k, false, x)));
    out.push_back(
        MakeControl(b + kSignUpOffset, ControlKind::StepButton, N_("＋"), StepButtonRect(kSignPosition, true, x)));
    out.push_back(
        MakeControl(b + kSignDownOffset, ControlKind::StepButton, N_("－"), StepButtonRect(kSignPosition, false, x)));
    out.push_back(MakeControl(b + kValueFieldOffset, ControlKind::ValueField, "", ValueFieldRect(x)));
    for (int k = 0; k < 8; ++k)
        out.push_back(MakeControl(b + kFirstPresetOffset + k, ControlKind::PresetButton, "", PresetButtonRect(k, x)));
    out.push_back(
        MakeControl(b + kPresetSettingsOffset, ControlKind::PresetSettings, N_("設定"), {x + 33, 331, x + 73, 351}));
    out.push_back(MakeControl(b + kAutoModeOffset, ControlKind::AutoModeLabel, "---", {x - 99, 365, x + 81, 383}));
    const int v = b + kAutoValueOffset;
    out.push_back(MakeControl(v, ControlKind::AutoValueLabel, "---", {x - 99, 387, x - 47, 405}, 0)); // start
    out.push_back(MakeControl(v, ControlKind::AutoValueLabel, "---", {x - 31, 387, x + 21, 405}, 1)); // end
    out.push_back(MakeControl(v, ControlKind::AutoValueLabel, "---", {x + 29, 387, x + 81, 405}, 2)); // step
    out.push_back(MakeControl(v, ControlKind::AutoValueLabel, "---", {x - 99, 407, x - 47, 425}, 3)); // interval
    out.push_back(MakeControl(v, ControlKind::AutoValueLabel, "---", {x - 31, 407, x + 21, 425}, 4)); // repeat
    out.push_back(MakeControl(b + kAutoStartOffset, ControlKind::AutoStart, "", {x - 99, 431, x - 69, 451}));
    out.push_back(MakeControl(b + kAutoPauseOffset, ControlKind::AutoPause, "", {x - 59, 431, x - 29, 451}));
    out.push_back(MakeControl(b + kAutoStopOffset, ControlKind::AutoStop, "", {x - 19, 431, x + 11, 451}));
    out.push_back(
        MakeControl(b + kAutoSettingsOffset, ControlKind::AutoSettings, N_("設定"), {x + 33, 431, x + 73, 451}));
    return out;
}

ColumnArrangement ArrangeColumns(int channelCount, int frameWidth)
{
    const bool keptWidth = frameWidth == kFrameWidthOneColumn || frameWidth == kFrameWidthTwoColumns;
    ColumnArrangement a;
    if (channelCount <= 1) {
        a.offsetA = 40;
        a.columnsShown = 1;
        a.frameWidth = keptWidth ? frameWidth : kFrameWidthOneColumn;
    } else if (channelCount == 2) {
        a.offsetA = 0;
        a.columnsShown = 2;
        a.frameWidth = keptWidth ? frameWidth : kFrameWidthTwoColumns;
    } else {
        a.offsetA = 0;
        a.columnsShown = std::min(channelCount, kColumnCount);
        a.frameWidth = kFrameWidthFourColumns;
    }
    return a;
}

std::string FullWidthChannelNumber(int i)
{
    static const char* const kNumbers[] = {N_("１"), N_("２"), N_("３"), N_("４")};
    return i >= 0 && i < kColumnCount ? kNumbers[i] : "";
}

ChannelDrawing DrawChannel(int i, int channelCount)
{
    const int d = DrawingLeft(i, channelCount);
    ChannelDrawing out;
    out.frame = {d - 5, 40, d + 195, 464};
    out.number = {d + 87, 45, FullWidthChannelNumber(i)};
    out.blocks = {PanelRect{d, 100, d + 191, 270}, PanelRect{d, 273, d + 191, 358}, PanelRect{d, 361, d + 191, 456}};
    out.texts = {PanelText{d + 60, 390, "→"}, PanelText{d + 60, 410, N_("秒")}, PanelText{d + 128, 410, N_("回")}};
    return out;
}

} // namespace velmora
