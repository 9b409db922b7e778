// The panel's columns for one, two and four channels, the step buttons over
// the value field's characters, the colours and the drawing.
#include <QFontMetricsF>
#include <QPixmap>

#include <cmath>
#include <optional>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include "test_panel_support.h"

namespace velmora::test {
namespace {

QRect Geometry(PanelRig& rig, int id)
{
    return rig.view->Control(id)->geometry();
}

bool ColumnShown(PanelRig& rig, int c)
{
    return rig.view->Control(ChannelBase(c) + kOnOffOffset)->isVisibleTo(rig.view.get());
}

TEST(PanelLayout, OneChannelSitsCentredInTheNarrowFrame)
{
    PanelRig rig(1);
    EXPECT_EQ(rig.view->FrameWidth(), 300);
    EXPECT_EQ(rig.doc->m_nFrameWidth, 300);
    EXPECT_TRUE(ColumnShown(rig, 0));
    for (int c = 1; c < 4; ++c)
        EXPECT_FALSE(ColumnShown(rig, c)) << c;
    // X = 154: the ON/OFF button at X + 1.
    EXPECT_EQ(Geometry(rig, 320), QRect(155, 64, 80, 26));
    EXPECT_EQ(Geometry(rig, 336), QRect(56, 170, 176, 60));
    EXPECT_EQ(Geometry(rig, 805), QRect(6, 8, 50, 23));
    EXPECT_EQ(Geometry(rig, 808).height(), 23);
}

TEST(PanelLayout, SwitchingToTwoChannelsMovesColumnZeroAndShowsColumnOne)
{
    PanelRig rig(1);
    std::vector<int> widths;
    QObject::connect(rig.view.get(), &CVelmoraView::FrameWidthChanged, [&](int w) { widths.push_back(w); });
    rig.doc->SetChannelCount(2);
    rig.view->LayoutChannels();
    EXPECT_EQ(widths, std::vector<int>{432});
    EXPECT_TRUE(ColumnShown(rig, 0));
    EXPECT_TRUE(ColumnShown(rig, 1));
    EXPECT_FALSE(ColumnShown(rig, 2));
    EXPECT_EQ(Geometry(rig, 320).left(), 115);
    EXPECT_EQ(Geometry(rig, 370).left(), 320);

    rig.doc->SetChannelCount(1);
    rig.view->LayoutChannels();
    EXPECT_FALSE(ColumnShown(rig, 1));
    EXPECT_EQ(Geometry(rig, 320).left(), 155);
}

TEST(PanelLayout, FourChannelsGetAFrameThatReachesThem)
{
    PanelRig rig(2);
    rig.doc->m_nFrameWidth = 432; // what a two-channel settings file leaves
    rig.doc->m_model.channelCount = 4;
    rig.view->LayoutChannels();
    EXPECT_EQ(rig.view->FrameWidth(), 842);
    EXPECT_EQ(rig.doc->m_nFrameWidth, 842);
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(ColumnShown(rig, c)) << c;
        const QRect onOff = Geometry(rig, ChannelBase(c) + kOnOffOffset);
        EXPECT_EQ(onOff.left(), 115 + 205 * c);
        // Every shown control of the last column lies inside the frame.
        const QRect autoMode = Geometry(rig, ChannelBase(c) + kAutoModeOffset);
        EXPECT_LT(autoMode.right(), 842 - 8);
    }
}

TEST(PanelLayout, ValueFontHasTwentyFourPixelHalfWidthCharacters)
{
    const QFont font = PanelValueFont();
    const QFontMetricsF metrics(font);
    for (QChar ch : QStringLiteral(" -.0123456789"))
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(ch), 24.0) << int(ch.unicode());
    EXPECT_EQ(font.pixelSize(), 48);
    EXPECT_EQ(PanelSmallFont().pixelSize(), 12);
    EXPECT_EQ(PanelSmallFont().family(), font.family());
}

// The x-centre, in panel coordinates, of character `index` of the field's
// text as the field lays it out.
double CharacterCentre(CValueField* field, QWidget* panel, int index)
{
    field->document()->size(); // completes the layout
    const QTextBlock block = field->document()->firstBlock();
    const QTextLayout* layout = block.layout();
    EXPECT_GT(layout->lineCount(), 0);
    const QTextLine line = layout->lineAt(0);
    const double left = layout->position().x() + line.cursorToX(index);
    const double right = layout->position().x() + line.cursorToX(index + 1);
    const QPoint origin = field->viewport()->mapTo(panel, QPoint(0, 0));
    return origin.x() - field->horizontalScrollBar()->value() + (left + right) / 2.0;
}

TEST(PanelLayout, StepButtonsStandOverTheirCharacters)
{
    PanelRig rig(4, 4);
    rig.Model().channelCount = 4;
    rig.view->LayoutChannels();
    for (int c : {0, 3}) {
        // -10..10 V shows every pair but the point's, and the sign pair.
        rig.Model().SetRange(c, 3);
        rig.Channel(c).setValue = -9.876;
        rig.view->RefreshScale(c);
        rig.view->RefreshValueFields();
        CValueField* field = rig.Field(c);
        const std::string text = field->Text();
        ASSERT_EQ(text, "- 9.876"); // the sign keeps a column of its own
        for (int p = 0; p <= kSignPosition; ++p) {
            const int index = 6 - p;
            const double centre = CharacterCentre(field, rig.view.get(), index);
            for (int dir : {0, 1}) {
                const QRect button = Geometry(rig, ChannelBase(c) + kFirstStepOffset + 2 * p + dir);
                const double buttonCentre = button.left() + button.width() / 2.0;
                EXPECT_NEAR(buttonCentre, centre, 0.5) << "channel " << c << " position " << p;
            }
        }
    }
}

// The centre of the ink drawn between x = from and x = to (panel pixels) in
// the field's rendering, or nothing when that stretch is blank.
std::optional<double> InkCentre(const QImage& image, double dpr, int fieldLeft, double from, double to)
{
    double sum = 0, weight = 0;
    const int x0 = std::max(0, int(std::floor((from - fieldLeft) * dpr)));
    const int x1 = std::min(image.width(), int(std::ceil((to - fieldLeft) * dpr)));
    for (int x = x0; x < x1; ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            const double dark = 1.0 - (c.redF() + c.greenF() + c.blueF()) / 3.0;
            if (dark > 0.5) {
                sum += (x + 0.5) * dark;
                weight += dark;
            }
        }
    }
    if (weight == 0)
        return std::nullopt;
    return fieldLeft + sum / weight / dpr;
}

// What the operator sees: the ink of every character of the value field
// centred under its step buttons, as drawn at the screen's scale factor (the
// test runs at 1, 1.25, 1.5 and 2), in the panel's face and in a face of
// another width.
TEST(PanelLayout, DrawnDigitsStandUnderTheirButtons)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 3); // -10..10 V: the sign pair and every digit pair but the point's
    rig.Channel(0).setValue = -8.888;
    rig.view->RefreshScale(0);
    rig.view->RefreshValueFields();
    CValueField* field = rig.Field(0);
    for (const QString& face : {QStringLiteral("IPAGothic"), QStringLiteral("DejaVu Sans Mono")}) {
        field->setFont(PanelValueFont(face));
        const QPixmap pixmap = field->grab();
        const double dpr = pixmap.devicePixelRatio();
        const QImage image = pixmap.toImage();
        const int left = field->geometry().left();
        for (int p : {0, 1, 2, 4, 6}) {
            const QRect button = Geometry(rig, ChannelBase(0) + kFirstStepOffset + 2 * p);
            const double centre = button.left() + button.width() / 2.0;
            const auto ink = InkCentre(image, dpr, left, centre - kDigitPitch / 2.0, centre + kDigitPitch / 2.0);
            ASSERT_TRUE(ink.has_value()) << face.toStdString() << " position " << p;
            EXPECT_NEAR(*ink, centre, 1.0) << face.toStdString() << " position " << p << " at " << dpr;
        }
        // The space between sign and digits draws nothing: no character ran
        // into the next column.
        const double blank = Geometry(rig, ChannelBase(0) + kFirstStepOffset + 10).center().x() + 0.5;
        EXPECT_FALSE(InkCentre(image, dpr, left, blank - 8, blank + 8).has_value()) << face.toStdString();
    }
}

TEST(PanelLayout, ScaleShowsThePairsTheLimitsNeed)
{
    PanelRig rig(1);
    auto shown = [&](int offset) { return rig.view->Control(320 + offset)->isVisibleTo(rig.view.get()); };
    rig.Model().SetRange(0, 5); // 4-20 mA
    rig.view->RefreshScale(0);
    for (int p : {0, 1, 2, 4, 5})
        EXPECT_TRUE(shown(2 + 2 * p) && shown(3 + 2 * p)) << p;
    EXPECT_FALSE(shown(2 + 6) || shown(3 + 6)); // the point
    EXPECT_FALSE(shown(kSignUpOffset) || shown(kSignDownOffset));

    rig.Model().SetRange(0, 2); // -5..5 V
    rig.view->RefreshScale(0);
    EXPECT_FALSE(shown(2 + 10));
    EXPECT_TRUE(shown(kSignUpOffset) && shown(kSignDownOffset));

    rig.Model().SetConversionEnabled(0, true); // 0..100, no decimals
    rig.view->RefreshScale(0);
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(shown(2 + 2 * p), p < 3) << p;
    EXPECT_FALSE(shown(kSignUpOffset));
}

TEST(PanelLayout, ControlsStartWithTheirTextsAndColours)
{
    PanelRig rig(1);
    auto text = [&](int id, int index = 0) {
        QWidget* w = rig.view->Control(id, index);
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        return qobject_cast<QLabel*>(w)->text();
    };
    EXPECT_EQ(text(805), QStringLiteral("接続"));
    EXPECT_EQ(text(339), QStringLiteral("ノーマル"));
    EXPECT_EQ(text(340), QStringLiteral("換算"));
    EXPECT_EQ(text(338), QStringLiteral("式"));
    EXPECT_EQ(text(322), QStringLiteral("△"));
    EXPECT_EQ(text(323), QStringLiteral("▽"));
    EXPECT_EQ(text(334), QStringLiteral("＋"));
    EXPECT_EQ(text(335), QStringLiteral("－"));
    EXPECT_EQ(text(352), QStringLiteral("設定"));
    EXPECT_EQ(text(353), QStringLiteral("設定"));
    // After the first refresh: the automatic output's mode and values,
    // range name, OFF, neutral faces, no alarm.
    EXPECT_EQ(text(357), QStringLiteral("のこぎり波"));
    for (int i = 0; i < kAutoValueLabelCount; ++i)
        EXPECT_NE(text(358, i), QStringLiteral("---")) << i;
    EXPECT_EQ(text(337), QStringLiteral("0～5 V"));
    EXPECT_EQ(text(320), QStringLiteral("ＯＦＦ"));
    EXPECT_EQ(rig.Control<CColorButton>(320)->FaceColor(), kNeutralFace);
    EXPECT_EQ(rig.Control<CColorButton>(805)->FaceColor(), kNeutralFace);
    EXPECT_FALSE(rig.view->Control(316)->isVisibleTo(rig.view.get()));
    EXPECT_TRUE(rig.Control<QRadioButton>(339)->isChecked());
    EXPECT_FALSE(rig.Control<QRadioButton>(340)->isChecked());
    EXPECT_EQ(rig.Field(0)->Text(), "  0.000");
    EXPECT_EQ(rig.Field(0)->palette().color(QPalette::Base), kValueCommitted);
    EXPECT_EQ(rig.Field(0)->font().pixelSize(), 48);
    EXPECT_EQ(rig.view->Control(322)->font().pixelSize(), 12);
    // Start and pause can change a stopped output's state, stop cannot.
    EXPECT_FALSE(rig.Control<QPushButton>(354)->icon().isNull());
}

TEST(PanelLayout, DrawingHasFramesNumbersAndBlocks)
{
    PanelRig rig(2);
    QImage image(432, 530, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        rig.view->PaintPanel(painter);
    }
    // Channel 1's sunken frame from (4, 40): the outer edge is grey above
    // and left, white below and right.
    EXPECT_EQ(QColor(image.pixel(100, 40)), QColor(0xA0, 0xA0, 0xA0));
    EXPECT_EQ(QColor(image.pixel(4, 200)), QColor(0xA0, 0xA0, 0xA0));
    EXPECT_EQ(QColor(image.pixel(100, 41)), QColor(0x69, 0x69, 0x69));
    // The etched value block of channel 2 from (214, 100).
    EXPECT_EQ(QColor(image.pixel(300, 100)), QColor(0xA0, 0xA0, 0xA0));
    EXPECT_EQ(QColor(image.pixel(300, 101)), QColor(0xFF, 0xFF, 0xFF));
    // Some ink where the channel numbers and the fixed texts stand.
    auto inked = [&](int x, int y, int w, int h) {
        for (int yy = y; yy < y + h; ++yy)
            for (int xx = x; xx < x + w; ++xx)
                if (qGray(image.pixel(xx, yy)) < 0x90)
                    return true;
        return false;
    };
    // "１": its upright stroke, not only the top of it.
    EXPECT_TRUE(inked(96, 45, 12, 4));
    EXPECT_TRUE(inked(96, 52, 12, 5));
    EXPECT_TRUE(inked(301, 45, 12, 13));  // "２"
    EXPECT_TRUE(inked(69, 390, 12, 13));  // "→"
    EXPECT_TRUE(inked(137, 410, 12, 13)); // "回"
    EXPECT_FALSE(inked(420, 45, 10, 13)); // no third channel
}

} // namespace
} // namespace velmora::test
