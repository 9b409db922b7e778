#include <gtest/gtest.h>

#include <map>
#include <set>

#include "panelcore/PanelLayout.h"

namespace velmora {
namespace {

// The value field's first character starts 4 pixels inside its left edge
// (border and margin); characters are 24 pixels wide and the text is seven
// characters: the sign and "%6.Nf".
int CharacterCentreX2(int originX, int position)
{
    const int firstLeft = ValueFieldRect(originX).left + 4;
    const int column = 6 - position;
    return 2 * (firstLeft + kDigitPitch * column) + kDigitPitch;
}

TEST(PanelLayout, StepButtonsStandOverTheirCharacters)
{
    for (int x : {114, 154, 319, 729}) {
        for (int p = 0; p <= kSignPosition; ++p) {
            EXPECT_EQ(StepButtonRect(p, true, x).CentreX2(), CharacterCentreX2(x, p)) << x << " " << p;
            EXPECT_EQ(StepButtonRect(p, false, x).CentreX2(), CharacterCentreX2(x, p)) << x << " " << p;
        }
        // The pairs sit just above and below the field.
        EXPECT_LE(StepButtonRect(0, true, x).bottom, ValueFieldRect(x).top);
        EXPECT_GE(StepButtonRect(0, false, x).top, ValueFieldRect(x).bottom);
    }
}

TEST(PanelLayout, ColumnTableMatchesTheIdentifiers)
{
    for (int c = 0; c < kColumnCount; ++c) {
        const int b = ChannelBase(c);
        const auto controls = ColumnControls(c, ColumnOriginX(c, 0));
        std::map<int, int> uses;
        for (const ControlSpec& s : controls) {
            ++uses[s.id];
            EXPECT_GE(s.id, b - 5);
            EXPECT_LE(s.id, b + 38);
            EXPECT_FALSE(s.visible);
            EXPECT_GT(s.rect.Width(), 0);
            EXPECT_GT(s.rect.Height(), 0);
        }
        EXPECT_EQ(uses[b + kAutoValueOffset], kAutoValueLabelCount);
        for (const auto& [id, n] : uses) {
            if (id != b + kAutoValueOffset) {
                EXPECT_EQ(n, 1) << id;
            }
        }
        // Every step button, preset and the fixed controls are there.
        for (int off = kFirstStepOffset; off <= kSignDownOffset; ++off)
            EXPECT_EQ(uses.count(b + off), 1u) << off;
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(uses.count(b + kFirstPresetOffset + k), 1u);
        EXPECT_EQ(uses.count(b + 21), 0u);
        EXPECT_EQ(uses.count(b + 22), 0u);
        EXPECT_EQ(uses.count(b + 31), 0u);
    }
}

TEST(PanelLayout, FixedRectangles)
{
    const auto top = TopRowControls();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].id, kConnectButtonId);
    EXPECT_EQ(top[0].rect, (PanelRect{6, 8, 56, 31}));
    EXPECT_EQ(top[0].text, "接続");
    EXPECT_EQ(top[1].id, kPortListId);
    EXPECT_EQ(top[0].rect.Height(), kPortListClosedHeight);

    std::map<int, PanelRect> byId;
    for (const ControlSpec& s : ColumnControls(1, ColumnOriginX(1, 0)))
        if (s.index == 0)
            byId[s.id] = s.rect;
    // Column 1 of a two-channel panel: X = 319, B = 370.
    EXPECT_EQ(byId[370], (PanelRect{320, 64, 400, 90}));   // ON/OFF
    EXPECT_EQ(byId[387], (PanelRect{219, 64, 299, 90}));   // range
    EXPECT_EQ(byId[386], (PanelRect{221, 170, 397, 230})); // value field
    EXPECT_EQ(byId[372], (PanelRect{370, 144, 392, 168})); // up, position 0
    EXPECT_EQ(byId[384], (PanelRect{226, 144, 248, 168})); // "＋"
    EXPECT_EQ(byId[402], (PanelRect{352, 331, 392, 351})); // preset settings
    EXPECT_EQ(byId[403], (PanelRect{352, 431, 392, 451})); // automatic-output settings
}

TEST(PanelLayout, PresetGridLeavesTheLastCellEmpty)
{
    const int x = 114;
    std::set<std::pair<int, int>> cells;
    for (int k = 0; k < 8; ++k) {
        const PanelRect r = PresetButtonRect(k, x);
        EXPECT_EQ(r.Width(), 60);
        EXPECT_EQ(r.Height(), 24);
        cells.insert({r.left, r.top});
    }
    EXPECT_EQ(cells.size(), 8u);
    EXPECT_EQ(PresetButtonRect(0, x), (PanelRect{13, 277, 73, 301}));
    EXPECT_EQ(PresetButtonRect(7, x), (PanelRect{75, 329, 135, 353}));
    // The empty cell is where the presets' settings button stands.
    EXPECT_GE(x + 33, PresetButtonRect(7, x).right);
}

TEST(PanelLayout, ArrangementForOneTwoAndFourChannels)
{
    const ColumnArrangement one = ArrangeColumns(1, 300);
    EXPECT_EQ(one.offsetA, 40);
    EXPECT_EQ(one.columnsShown, 1);
    EXPECT_EQ(one.frameWidth, 300);

    const ColumnArrangement two = ArrangeColumns(2, 432);
    EXPECT_EQ(two.offsetA, 0);
    EXPECT_EQ(two.columnsShown, 2);
    EXPECT_EQ(two.frameWidth, 432);

    // Four channels reach columns 3 and 4 whatever width the settings kept.
    for (int kept : {300, 432, 842, 0}) {
        const ColumnArrangement four = ArrangeColumns(4, kept);
        EXPECT_EQ(four.offsetA, 0);
        EXPECT_EQ(four.columnsShown, 4);
        EXPECT_EQ(four.frameWidth, 842);
    }
    // A width no frame takes falls back to the channel count's own.
    EXPECT_EQ(ArrangeColumns(1, 842).frameWidth, 300);
    EXPECT_EQ(ArrangeColumns(2, 5000).frameWidth, 432);
}

TEST(PanelLayout, EveryShownControlFitsInTheFrame)
{
    for (int count : {1, 2, 4}) {
        const ColumnArrangement a = ArrangeColumns(count, count == 1 ? 300 : 432);
        for (int c = 0; c < a.columnsShown; ++c) {
            const int x = ColumnOriginX(c, a.offsetA);
            const ChannelDrawing drawing = DrawChannel(c, count);
            for (const ControlSpec& s : ColumnControls(c, x)) {
                EXPECT_GE(s.rect.left, 0);
                // The frame's borders take a few pixels of its width.
                EXPECT_LT(s.rect.right, a.frameWidth - 8) << count << " " << c << " " << s.id;
                // Inside the drawn channel frame.
                EXPECT_GT(s.rect.left, drawing.frame.left) << s.id;
                EXPECT_LT(s.rect.right, drawing.frame.right) << s.id;
                EXPECT_GT(s.rect.top, drawing.frame.top) << s.id;
                EXPECT_LT(s.rect.bottom, drawing.frame.bottom) << s.id;
            }
        }
    }
}

TEST(PanelLayout, OneChannelSitsFortyPixelsFurtherRight)
{
    EXPECT_EQ(ColumnOriginX(0, ArrangeColumns(1, 300).offsetA), 154);
    EXPECT_EQ(ColumnOriginX(0, ArrangeColumns(2, 432).offsetA), 114);
    EXPECT_EQ(ColumnOriginX(3, ArrangeColumns(4, 432).offsetA), 729);
    EXPECT_EQ(DrawChannel(0, 1).frame, (PanelRect{44, 40, 244, 464}));
    EXPECT_EQ(DrawChannel(3, 4).frame, (PanelRect{619, 40, 819, 464}));
}

TEST(PanelLayout, DrawingTextsAndBlocks)
{
    const ChannelDrawing d = DrawChannel(1, 2); // d = 214
    EXPECT_EQ(d.number.text, "２");
    EXPECT_EQ(d.number.x, 301);
    EXPECT_EQ(d.number.y, 45);
    EXPECT_EQ(d.blocks[0], (PanelRect{214, 100, 405, 270}));
    EXPECT_EQ(d.blocks[1], (PanelRect{214, 273, 405, 358}));
    EXPECT_EQ(d.blocks[2], (PanelRect{214, 361, 405, 456}));
    EXPECT_EQ(d.texts[0].text, "→");
    EXPECT_EQ(d.texts[1].text, "秒");
    EXPECT_EQ(d.texts[2].text, "回");
    EXPECT_EQ(d.texts[2].x, 342);
    EXPECT_EQ(FullWidthChannelNumber(3), "４");
    EXPECT_EQ(FullWidthChannelNumber(4), "");
}

} // namespace
} // namespace velmora
