// The automatic outputs on the panel: the start, pause and stop buttons with
// their images, the controls that rest while an output runs, the labels, and
// the settings dialog opened from the column.
#include <QComboBox>
#include <QLineEdit>

#include "autoout/ui/CAutoOutDlg.h"
#include "test_panel_support.h"

namespace velmora::test {
namespace {

constexpr int kB0 = 320; // channel 0's identifiers

struct AutoRig : PanelRig {
    AutoRig() : PanelRig(1)
    {
        Model().SetRange(0, 1); // 0-10 V
        doc->m_autoOutput[0].slots[1] = AutoOutputSlot{kAutoSawtooth, 0, 2.0, 8.0, 2.0, 1};
        view->RefreshAutoOutput(0);
    }
    QPushButton* Button(int offset) { return Control<QPushButton>(kB0 + offset); }
    // Which of the panel's images a button shows, by its pixels.
    QImage Icon(int offset) { return Button(offset)->icon().pixmap(14, 14).toImage(); }
    QString Label(int index) { return Control<QLabel>(kB0 + kAutoValueOffset, index)->text(); }
};

QImage Image(PanelImage image)
{
    return MakePanelImage(image).toImage();
}

TEST(PanelAuto, StartPauseAndStopShowTheirStateAndRestTheColumnsSettings)
{
    AutoRig rig;
    EXPECT_EQ(rig.Control<QLabel>(kB0 + kAutoModeOffset)->text(), QStringLiteral("のこぎり波"));
    EXPECT_EQ(rig.Label(0), QStringLiteral(" 2.000"));
    EXPECT_EQ(rig.Label(3), QStringLiteral("   0.1"));
    EXPECT_EQ(rig.Label(4), QStringLiteral("0"));

    // Not connected: the message, and nothing changes.
    rig.Button(kAutoStartOffset)->click();
    EXPECT_TRUE(rig.LastMessageIs("接続されていません", "確認", PromptIcon::Information));
    EXPECT_EQ(rig.Icon(kAutoStartOffset), Image(PanelImage::StartAvailable));
    EXPECT_EQ(rig.Icon(kAutoStopOffset), Image(PanelImage::StopUnavailable));

    rig.Connect();
    rig.Button(kAutoStartOffset)->click();
    EXPECT_EQ(rig.Channel(0).setValue, 2.0);
    EXPECT_EQ(rig.Icon(kAutoStartOffset), Image(PanelImage::StartUnavailable));
    EXPECT_EQ(rig.Icon(kAutoPauseOffset), Image(PanelImage::PauseAvailable));
    EXPECT_EQ(rig.Icon(kAutoStopOffset), Image(PanelImage::StopAvailable));
    EXPECT_FALSE(rig.Button(kAutoSettingsOffset)->isEnabled());

    // While it runs, range, conversion and formula do nothing.
    int dialogs = 0;
    rig.view->SetDialogRunner([&](QDialog&) {
        ++dialogs;
        return int(QDialog::Rejected);
    });
    rig.Button(kRangeButtonOffset)->click();
    rig.Button(kFormulaOffset)->click();
    rig.Control<QRadioButton>(kB0 + kConvertedRadioOffset)->click();
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(rig.Channel(0).useConversion);

    // It steps on the ticks, one step every 0.1 s (4, 6, 8, back to 2, 4),
    // and the field follows.
    rig.Tick(10);
    EXPECT_EQ(rig.Channel(0).setValue, 4.0);
    EXPECT_EQ(rig.Field(0)->Text(), "  4.000");

    rig.Button(kAutoPauseOffset)->click();
    EXPECT_EQ(rig.Icon(kAutoStartOffset), Image(PanelImage::StartAvailable));
    EXPECT_EQ(rig.Icon(kAutoPauseOffset), Image(PanelImage::PauseUnavailable));
    rig.Tick(10);
    EXPECT_EQ(rig.Channel(0).setValue, 4.0);

    rig.Button(kAutoStopOffset)->click();
    EXPECT_EQ(rig.Icon(kAutoStopOffset), Image(PanelImage::StopUnavailable));
    EXPECT_TRUE(rig.Button(kAutoSettingsOffset)->isEnabled());
    rig.Button(kRangeButtonOffset)->click();
    EXPECT_EQ(dialogs, 1);
}

TEST(PanelAuto, AStartThatCannotStartSaysWhy)
{
    AutoRig rig;
    rig.Connect();
    AutoOutputState& a = rig.doc->m_autoOutput[0];
    a.slots[1].mode = kAutoArbitrary;
    a.points[0] = ArbitraryPoint{false, 3.0, 10};
    a.points[1] = ArbitraryPoint{true, 4.0, 10};
    const std::size_t frames = rig.Writes(0, SettingsPrefix(0)).size();
    rig.Button(kAutoStartOffset)->click();
    EXPECT_TRUE(
        rig.LastMessageIs("任意波の1行目が使われていないため、開始できません。", "確認", PromptIcon::Information));
    EXPECT_EQ(a.runState, kAutoStopped);
    EXPECT_TRUE(rig.Button(kAutoSettingsOffset)->isEnabled());
    EXPECT_EQ(rig.Writes(0, SettingsPrefix(0)).size(), frames);

    // A table whose first row is in use starts without a word.
    a.points[0].used = true;
    const std::size_t shown = rig.prompter.shown.size();
    rig.Button(kAutoStartOffset)->click();
    EXPECT_EQ(a.runState, kAutoRunning);
    EXPECT_EQ(rig.prompter.shown.size(), shown);
}

TEST(PanelAuto, TheSettingsButtonOpensTheDialogOnTheSlotInUse)
{
    AutoRig rig;
    bool opened = false;
    rig.view->SetDialogRunner([&](QDialog& dialog) {
        auto* settings = qobject_cast<CAutoOutDlg*>(&dialog);
        EXPECT_NE(settings, nullptr);
        if (settings == nullptr)
            return int(QDialog::Rejected);
        opened = true;
        EXPECT_EQ(settings->Field(AutoOutField::Start)->text(), QStringLiteral(" 2.000"));
        settings->findChild<QComboBox*>(QStringLiteral("combo1015"))->setCurrentIndex(kAutoTriangle);
        settings->accept();
        return dialog.result();
    });
    rig.Button(kAutoSettingsOffset)->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(rig.doc->m_autoOutput[0].slots[1].mode, kAutoTriangle);
    EXPECT_EQ(rig.Control<QLabel>(kB0 + kAutoModeOffset)->text(), QStringLiteral("三角波"));
}

} // namespace
} // namespace velmora::test
