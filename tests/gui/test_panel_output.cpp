// The operator's output operations on the panel: ON/OFF, typing, step
// buttons with press-and-hold, presets and their lamps, the range, the
// conversion mode and the dialogs of formula and presets.
#include <QDialog>
#include <QLineEdit>

#include "dialogs/ui/CRangeSelectDlg.h"
#include "test_panel_support.h"

namespace velmora::test {
namespace {

constexpr int kB0 = 320; // channel 0's identifiers

void Type(CValueField* field, const QString& text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
}

void Enter(CValueField* field, const QString& text)
{
    Type(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

TEST(PanelToggle, NeedsTheConnection)
{
    PanelRig rig(1);
    rig.view->ToggleOutput(0);
    EXPECT_TRUE(rig.LastMessageIs("接続されていません", "確認", PromptIcon::Information));
    EXPECT_FALSE(rig.Model().IsOutputOn(0));
}

TEST(PanelToggle, SwitchesOneChannelAndTheRefreshShowsIt)
{
    PanelRig rig(2, 2);
    rig.Connect();
    const std::size_t before = rig.WriteCount();
    QTest::mouseClick(rig.Control<QPushButton>(ChannelBase(1) + kOnOffOffset), Qt::LeftButton);
    EXPECT_TRUE(rig.Model().IsOutputOn(1));
    rig.TickUntilSent();
    const auto frames = rig.Writes(before, "\x02W");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].substr(0, 3), SettingsPrefix(1));
    EXPECT_TRUE(rig.view->Poller().m_bPolling);
    rig.view->RefreshPanel();
    auto* button = rig.Control<CColorButton>(ChannelBase(1) + kOnOffOffset);
    EXPECT_EQ(button->text(), QStringLiteral("ＯＮ"));
    EXPECT_EQ(button->FaceColor(), kOnFace);
    rig.view->ToggleOutput(1);
    rig.view->RefreshPanel();
    EXPECT_EQ(button->text(), QStringLiteral("ＯＦＦ"));
    EXPECT_EQ(button->FaceColor(), kNeutralFace);
}

TEST(PanelTyping, TextWithoutEnterIsOnlyTyping)
{
    PanelRig rig(1);
    rig.Connect();
    rig.Model().SetRange(0, 5); // 4-20 mA
    rig.TickUntilSent();
    const std::size_t before = rig.WriteCount();
    CValueField* field = rig.Field(0);
    Type(field, QStringLiteral("12.345"));
    EXPECT_TRUE(rig.view->IsEditing(0));
    EXPECT_FALSE(field->IsCommitted());
    EXPECT_EQ(field->palette().color(QPalette::Base), kValueTyping);
    EXPECT_EQ(rig.Channel(0).setValue, 4.0);
    EXPECT_TRUE(rig.link->Wire().IsEmpty());
    EXPECT_TRUE(rig.Writes(before, "\x02W").empty());
    // The refresh leaves the operator's typing alone.
    rig.view->RefreshPanel();
    EXPECT_EQ(field->Text(), "12.345");

    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(rig.view->IsEditing(0));
    EXPECT_EQ(field->palette().color(QPalette::Base), kValueCommitted);
    EXPECT_EQ(rig.Channel(0).setValue, 12.345);
    rig.TickUntilSent();
    EXPECT_EQ(rig.Writes(before, "\x02W").size(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(field->Text(), " 12.345");
}

TEST(PanelTyping, EnterClampsCutsOrDropsTheText)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 5);
    CValueField* field = rig.Field(0);

    Enter(field, QStringLiteral("25"));
    EXPECT_EQ(rig.Channel(0).setValue, 20.0);

    Type(field, QStringLiteral("abc"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(rig.Channel(0).setValue, 20.0);
    EXPECT_FALSE(rig.view->IsEditing(0));
    QCoreApplication::processEvents();
    EXPECT_EQ(field->Text(), " 20.000"); // the text that did not parse is gone

    field->clear();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(rig.Channel(0).setValue, 4.0); // empty reads as 0, clamped

    rig.Channel(0).useConversion = true;
    rig.Channel(0).convMin = 100;
    rig.Channel(0).convMax = 0;
    rig.Channel(0).convDecimals = 1;
    Enter(field, QStringLiteral("150"));
    EXPECT_EQ(rig.Channel(0).setValue, 100.0);
    Enter(field, QStringLiteral("-5"));
    EXPECT_EQ(rig.Channel(0).setValue, 0.0);
    Enter(field, QStringLiteral("12.39"));
    EXPECT_EQ(rig.Channel(0).setValue, 12.3);
}

TEST(PanelSteps, ButtonsAcrossTheStepTable)
{
    PanelRig rig(1);
    rig.Connect();
    rig.Model().SetRange(0, 5); // 4-20 mA, 3 decimals
    rig.Model().SetSetValue(0, 12.0);
    auto click = [&](int offset) { QTest::mouseClick(rig.Control<QPushButton>(kB0 + offset), Qt::LeftButton); };
    click(2); // position 0 up
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 12.001);
    click(7); // position 2 down
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 11.901);
    click(10); // position 4 up
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 12.901);
    click(12); // position 5 up: 22.901 is held at 20
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 20.0);
    EXPECT_EQ(rig.Field(0)->Text(), " 20.000");
    // Every step wrote the channels in use; the unit follows as the line
    // carries them.
    rig.TickUntilSent();
    EXPECT_EQ(rig.unit.Channel(0).words.dacCode, rig.Channel(0).dacCode);
    EXPECT_TRUE(rig.view->Poller().m_bPolling);
}

TEST(PanelSteps, SignButtons)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 3); // -10..10 V
    rig.Model().SetSetValue(0, 5.0);
    auto* plus = rig.Control<QPushButton>(kB0 + kSignUpOffset);
    auto* minus = rig.Control<QPushButton>(kB0 + kSignDownOffset);
    QTest::mouseClick(minus, Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).setValue, -5.0);
    EXPECT_EQ(rig.Field(0)->Text(), "- 5.000");
    QTest::mouseClick(minus, Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).setValue, -5.0);
    QTest::mouseClick(plus, Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).setValue, 5.0);
    QTest::mouseClick(plus, Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).setValue, 5.0);
}

TEST(PanelSteps, SecondColumnStepsItsOwnChannel)
{
    PanelRig rig(2, 2);
    QTest::mouseClick(rig.Control<QPushButton>(ChannelBase(1) + kFirstStepOffset + 4), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(rig.Channel(1).setValue, 0.1);
    EXPECT_EQ(rig.Channel(0).setValue, 0.0);
}

TEST(PanelHold, OneSecondPressGivesFifteenRepeatsAndTheClick)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 5);
    auto* up = rig.Control<QPushButton>(kB0 + kFirstStepOffset); // 0.001
    SystemMouse::Press(up);
    rig.Tick(20);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.015, 1e-9);
    SystemMouse::Release(up);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.016, 1e-9);
    rig.Tick(3);
    EXPECT_EQ(rig.view->HoldCount(), 0);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.016, 1e-9);
}

TEST(PanelHold, ShortPressStepsOnceAndCursorOffPauses)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 5);
    auto* up = rig.Control<QPushButton>(kB0 + kFirstStepOffset + 4); // 0.1
    SystemMouse::Press(up);
    rig.Tick(5);
    SystemMouse::Release(up);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.1, 1e-9);
    rig.Tick(1); // the next tick sees the button released

    SystemMouse::Press(up);
    rig.Tick(7); // two repeats
    EXPECT_NEAR(rig.Channel(0).setValue, 4.3, 1e-9);
    SystemMouse::Move(up, QPoint(-40, -40));
    rig.Tick(10);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.3, 1e-9);
    EXPECT_EQ(rig.view->HoldCount(), 7);
    SystemMouse::Move(up, QPoint(5, 5));
    rig.Tick(1);
    EXPECT_NEAR(rig.Channel(0).setValue, 4.4, 1e-9);
    SystemMouse::Release(up, QPoint(5, 5));
    EXPECT_NEAR(rig.Channel(0).setValue, 4.5, 1e-9);
}

TEST(PanelHold, SpaceBarHoldsTheFocusedButton)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 5);
    auto* down = rig.Control<QPushButton>(kB0 + kFirstStepOffset + 9); // position 4 down
    rig.Model().SetSetValue(0, 19.0);
    down->setFocus();
    QTest::keyPress(down, Qt::Key_Space);
    rig.Tick(10);
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 14.0);
    QTest::keyRelease(down, Qt::Key_Space);
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 13.0);
    rig.Tick(1);
    EXPECT_EQ(rig.view->HoldCount(), 0);
}

// A press that ends without its release reaching the button must leave the
// panel idle: no step, no frame, however long the ticks run afterwards.
struct HeldRig : PanelRig {
    HeldRig() : PanelRig(1)
    {
        Connect();
        Model().SetRange(0, 5);
        up = Control<CStepButton>(kB0 + kFirstStepOffset + 4); // 0.1
        SystemMouse::Press(up);
        Tick(8); // repeating
        valueAtStart = Channel(0).setValue;
    }
    // The next ticks change nothing and send no settings frame.
    void ExpectIdle(int ticks = 40)
    {
        const double value = Channel(0).setValue;
        const std::size_t before = WriteCount();
        Tick(ticks);
        EXPECT_EQ(Channel(0).setValue, value);
        EXPECT_TRUE(Writes(before, "\x02W").empty());
        EXPECT_EQ(view->HoldCount(), 0);
        EXPECT_FALSE(up->isDown());
    }
    CStepButton* up = nullptr;
    double valueAtStart = 0;
};

TEST(PanelHold, AModalBoxUnderTheHeldMouseEndsThePress)
{
    HeldRig rig;
    EXPECT_GT(rig.valueAtStart, 4.2); // it was repeating
    {
        QDialog box(rig.view.get());
        box.setWindowModality(Qt::ApplicationModal);
        box.resize(120, 60);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        // Ticks keep coming while the box is up; the release lands on it.
        rig.ExpectIdle(10);
        SystemMouse::Release(&box);
    }
    rig.ExpectIdle();
    // Clicking the same button afterwards is one ordinary step.
    const double before = rig.Channel(0).setValue;
    QTest::mouseClick(rig.up, Qt::LeftButton);
    EXPECT_NEAR(rig.Channel(0).setValue, before + 0.1, 1e-9);
    rig.ExpectIdle();
}

TEST(PanelHold, AnotherWidgetTakingTheMouseEndsThePress)
{
    HeldRig rig;
    // Something else grabs the mouse, and the release goes to it: the held
    // button never sees it, only the real mouse state tells.
    QWidget other;
    other.resize(100, 100);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.grabMouse();
    const double before = rig.Channel(0).setValue;
    SystemMouse::Release(rig.up);
    other.releaseMouse();
    EXPECT_EQ(rig.Channel(0).setValue, before); // no click: the release went to the grabber
    rig.ExpectIdle();
}

TEST(PanelHold, LosingTheFocusEndsThePress)
{
    HeldRig rig;
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    // The mouse is still down, but the press belongs to a window that lost
    // the activation.
    rig.ExpectIdle();
    SystemMouse::Release(&other);
    rig.ExpectIdle();
}

TEST(PanelHold, ADisconnectDuringThePressEndsIt)
{
    HeldRig rig;
    rig.unit.Faults().silent = true;
    rig.Tick(110); // the unit is given up while the button is held
    ASSERT_FALSE(rig.view->IsConnected());
    EXPECT_TRUE(rig.LastMessageIs("接続が解除されました。", "警告", PromptIcon::Exclamation));
    rig.ExpectIdle();
    SystemMouse::Release(rig.up);
    rig.ExpectIdle();

    rig.unit.Faults().silent = false;
    rig.Connect();
    rig.ExpectIdle();
}

TEST(PanelPresets, PresetSetsTheValueAndLightsItsLamp)
{
    PanelRig rig(1);
    rig.Connect();
    rig.Model().SetRange(0, 1); // 0-10 V
    rig.Channel(0).presets[1] = {0.3, 2.5, 10, 0, 0, 0, 0, 0};
    rig.view->RefreshPanel();
    auto preset = [&](int k) { return rig.Control<CPresetButton>(kB0 + kFirstPresetOffset + k); };
    EXPECT_EQ(preset(1)->text(), QStringLiteral(" 2.500"));
    EXPECT_TRUE(preset(3)->LampLit()); // 0.0 is the set value
    EXPECT_FALSE(preset(1)->LampLit());

    const std::size_t before = rig.WriteCount();
    QTest::mouseClick(preset(1), Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).setValue, 2.5);
    rig.TickUntilSent();
    EXPECT_EQ(rig.Writes(before, "\x02W").size(), 1u);
    EXPECT_TRUE(preset(1)->LampLit());
    EXPECT_FALSE(preset(3)->LampLit());
    EXPECT_EQ(rig.Field(0)->Text(), "  2.500");

    // Three steps of 0.1 print as 0.300 but are not the preset's double.
    rig.Model().SetSetValue(0, 0.0);
    for (int i = 0; i < 3; ++i)
        rig.view->StepSetValue(kB0 + kFirstStepOffset + 4, 0);
    rig.view->RefreshPanel();
    EXPECT_EQ(rig.Field(0)->Text(), "  0.300");
    EXPECT_FALSE(preset(0)->LampLit());
    QTest::mouseClick(preset(0), Qt::LeftButton);
    EXPECT_TRUE(preset(0)->LampLit());
}

// The lamp and the caption, as drawn: the caption's first and last columns
// of black ink, and the lamp's last column.
struct PresetInk {
    int lampRight = -1;
    int inkLeft = -1;
    int inkRight = -1;
};

PresetInk MeasurePreset(const QImage& drawn)
{
    PresetInk m;
    // The lamp stands at the left; grey further right is the caption's
    // anti-aliasing.
    for (int x = 0; x < drawn.width() / 3; ++x)
        for (int y = 0; y < drawn.height(); ++y) {
            const QColor c = drawn.pixelColor(x, y);
            if (c == QColor(0x80, 0x80, 0x80) || c == QColor(0x00, 0xD0, 0x00))
                m.lampRight = std::max(m.lampRight, x);
        }
    for (int x = m.lampRight + 1; m.lampRight >= 0 && x < drawn.width(); ++x) {
        for (int y = 0; y < drawn.height(); ++y) {
            const QColor c = drawn.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < 3 * 0x50) {
                if (m.inkLeft < 0)
                    m.inkLeft = x;
                m.inkRight = std::max(m.inkRight, x);
            }
        }
    }
    return m;
}

TEST(PanelPresets, TheLampStandsApartFromTheWidestCaptions)
{
    PanelRig rig(1);
    auto* button = rig.Control<CPresetButton>(kB0 + kFirstPresetOffset);
    // Captions without a leading blank: -10.000 on the -10..10 V range, and
    // the widest a conversion formula can give.
    rig.Model().SetRange(0, 3);
    rig.Channel(0).presets[3][0] = -10.0;
    rig.view->RefreshPanel();
    ASSERT_EQ(button->text(), QStringLiteral("-10.000"));
    const PresetInk narrow = MeasurePreset(button->grab().toImage());

    rig.Channel(0).useConversion = true;
    rig.Channel(0).convMin = -99999.9;
    rig.Channel(0).convMax = 99999.9;
    rig.Channel(0).convDecimals = 1;
    rig.Channel(0).presets[15][0] = -99999.9;
    rig.view->RefreshPanel();
    ASSERT_EQ(button->text(), QStringLiteral("-99999.9"));
    const QImage wideImage = button->grab().toImage();
    const PresetInk wide = MeasurePreset(wideImage);

    for (const PresetInk& m : {narrow, wide}) {
        ASSERT_GE(m.lampRight, 0);
        ASSERT_GT(m.inkLeft, 0);
        EXPECT_GE(m.inkLeft - m.lampRight - 1, 3) << "lamp ends at " << m.lampRight << ", caption at " << m.inkLeft;
        EXPECT_LT(m.inkRight, wideImage.width() - 2) << "the caption runs into the bevel";
    }
    // The whole caption is drawn, not cut at the right: its ink spans nearly
    // its advance.
    EXPECT_GE(wide.inkRight - wide.inkLeft + 1, button->fontMetrics().horizontalAdvance(button->text()) - 3);
}

TEST(PanelPresets, EditingStoresIntoTheSlotInUse)
{
    PanelRig rig(1);
    rig.Model().SetRange(0, 5);
    int runs = 0;
    rig.view->SetDialogRunner([&](QDialog& dialog) {
        ++runs;
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1022"))->setText(QStringLiteral("12.5"));
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1032"))->setText(QStringLiteral("20"));
        dialog.findChild<QPushButton*>(QStringLiteral("button1"))->click();
        return dialog.result();
    });
    const std::size_t before = rig.WriteCount();
    QTest::mouseClick(rig.Control<QPushButton>(kB0 + kPresetSettingsOffset), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(rig.Channel(0).presets[5][0], 12.5);
    EXPECT_EQ(rig.Channel(0).presets[5][7], 20.0);
    EXPECT_EQ(rig.WriteCount(), before);
}

TEST(PanelRange, RefusedWhileTheOutputIsOn)
{
    PanelRig rig(1);
    rig.Connect();
    rig.view->ToggleOutput(0);
    int runs = 0;
    rig.view->SetDialogRunner([&](QDialog&) {
        ++runs;
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(rig.Control<QPushButton>(kB0 + kRangeButtonOffset), Qt::LeftButton);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(rig.LastMessageIs("ＯＮ状態では切替できません。", "確認", PromptIcon::Information));
    EXPECT_EQ(rig.Channel(0).rangeCode, 0);
}

TEST(PanelRange, ChosenRangeIsAppliedWithPollingPausedMeanwhile)
{
    PanelRig rig(1);
    rig.Connect();
    bool pollingWhileOpen = true;
    rig.view->SetDialogRunner([&](QDialog& dialog) {
        pollingWhileOpen = rig.view->Poller().m_bPolling;
        auto& ranges = static_cast<CRangeSelectDlg&>(dialog);
        EXPECT_EQ(ranges.RangeCode(), 0);
        ranges.RangeButton(1003)->click(); // external 4-20 mA
        return dialog.result();
    });
    rig.view->SelectRange(0);
    EXPECT_FALSE(pollingWhileOpen);
    EXPECT_TRUE(rig.view->Poller().m_bPolling);
    EXPECT_EQ(rig.Channel(0).rangeCode, 11);
    EXPECT_EQ(rig.Channel(0).setValue, 4.0);
    EXPECT_EQ(rig.unit.Channel(0).rangeCode, 11);
    EXPECT_EQ(rig.Control<QPushButton>(kB0 + kRangeButtonOffset)->text(), QStringLiteral("外 4～20 mA"));
    EXPECT_EQ(rig.Field(0)->Text(), "  4.000");
    EXPECT_FALSE(rig.view->Control(kB0 + kSignUpOffset)->isVisibleTo(rig.view.get()));
}

TEST(PanelRange, CancelLeavesTheChannel)
{
    PanelRig rig(1);
    rig.Model().SetSetValue(0, 2.5);
    rig.view->SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    rig.view->SelectRange(0);
    EXPECT_EQ(rig.Channel(0).rangeCode, 0);
    EXPECT_EQ(rig.Channel(0).setValue, 2.5);
}

TEST(PanelConversion, RadiosSwitchTheUnitsNotTheOutput)
{
    PanelRig rig(1);
    rig.Connect();
    rig.Model().SetSetValue(0, 2.5); // half of 0-5 V; the conversion is 0..100
    const std::uint16_t code = rig.Channel(0).dacCode;
    auto* normal = rig.Control<QRadioButton>(kB0 + kNormalRadioOffset);
    auto* converted = rig.Control<QRadioButton>(kB0 + kConvertedRadioOffset);

    std::size_t before = rig.WriteCount();
    QTest::mouseClick(converted, Qt::LeftButton);
    EXPECT_TRUE(rig.Channel(0).useConversion);
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 50.0);
    EXPECT_EQ(rig.Channel(0).dacCode, code);
    EXPECT_TRUE(converted->isChecked());
    EXPECT_FALSE(normal->isChecked());
    rig.TickUntilSent();
    EXPECT_EQ(rig.Writes(before, "\x02W").size(), 1u);
    EXPECT_FALSE(rig.view->Control(kB0 + kFirstStepOffset + 6)->isVisibleTo(rig.view.get()));

    // The same mode again changes and sends nothing; the radio stays set.
    before = rig.WriteCount();
    QTest::mouseClick(converted, Qt::LeftButton);
    EXPECT_TRUE(converted->isChecked());
    rig.TickUntilSent();
    EXPECT_TRUE(rig.Writes(before, "\x02W").empty());

    QTest::mouseClick(normal, Qt::LeftButton);
    EXPECT_FALSE(rig.Channel(0).useConversion);
    EXPECT_DOUBLE_EQ(rig.Channel(0).setValue, 2.5);
    EXPECT_TRUE(normal->isChecked());
    EXPECT_FALSE(converted->isChecked());
}

TEST(PanelConversion, FormulaDialogResultsAreStored)
{
    PanelRig rig(1);
    rig.Connect();
    rig.view->SetConversionMode(0, true);
    rig.view->SetDialogRunner([](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1018"))->setText(QStringLiteral("10"));
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1019"))->setText(QStringLiteral("20.5"));
        dialog.findChild<QPushButton*>(QStringLiteral("button1"))->click();
        return dialog.result();
    });
    const std::size_t before = rig.WriteCount();
    QTest::mouseClick(rig.Control<QPushButton>(kB0 + kFormulaOffset), Qt::LeftButton);
    EXPECT_EQ(rig.Channel(0).convMin, 10.0);
    EXPECT_EQ(rig.Channel(0).convMax, 20.5);
    EXPECT_EQ(rig.Channel(0).convDecimals, 1);
    EXPECT_EQ(rig.Channel(0).setValue, 10.0); // reset to the new minimum
    rig.TickUntilSent();
    EXPECT_FALSE(rig.Writes(before, "\x02W").empty());
    EXPECT_EQ(rig.Field(0)->Text(), "   10.0");
    // One decimal: the point sits at position 1.
    EXPECT_FALSE(rig.view->Control(kB0 + kFirstStepOffset + 2)->isVisibleTo(rig.view.get()));
    EXPECT_TRUE(rig.view->Control(kB0 + kFirstStepOffset + 4)->isVisibleTo(rig.view.get()));
}

} // namespace
} // namespace velmora::test
