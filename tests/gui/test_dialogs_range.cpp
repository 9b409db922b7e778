#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "dialogs/RangeChoice.h"
#include "dialogs/ui/CColorButton.h"
#include "dialogs/ui/CRangeSelectDlg.h"
#include "support/ScriptedPrompter.h"
#include "test_dialogs_driver.h"

namespace velmora {
namespace {

const QColor kLightGreen(0x80, 0xFF, 0x80);
const QColor kLightGrey(0xF0, 0xF0, 0xF0);

QColor PaintedFace(CColorButton* button)
{
    // Inside the bevel, away from the caption and the focus frame.
    return button->grab().toImage().pixelColor(3, 3);
}

TEST(RangeSelectDialog, ShowsTenRangeButtonsInTheirPlaces)
{
    CRangeSelectDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("出力レンジ選択"));
    for (const RangeButtonInfo& entry : kRangeButtons) {
        CColorButton* button = dlg.RangeButton(entry.id);
        ASSERT_NE(button, nullptr) << entry.id;
        EXPECT_EQ(button->text(), QString::fromUtf8(entry.caption));
        EXPECT_EQ(button->geometry(), QRect(entry.left, entry.top, entry.right - entry.left, entry.bottom - entry.top));
        EXPECT_TRUE(dlg.rect().contains(button->geometry())) << entry.id;
        EXPECT_EQ(QFontInfo(button->font()).family(), QStringLiteral("IPAGothic"));
        EXPECT_EQ(button->font().pixelSize(), 12);
    }
    EXPECT_EQ(dlg.findChildren<CColorButton*>().size(), kRangeButtonCount);
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("button2"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    // Each button sits inside its group's frame.
    QGroupBox* current = nullptr;
    QGroupBox* voltage = nullptr;
    for (QGroupBox* box : dlg.findChildren<QGroupBox*>()) {
        if (box->title() == QStringLiteral("電流"))
            current = box;
        else if (box->title() == QStringLiteral("電圧"))
            voltage = box;
    }
    ASSERT_NE(current, nullptr);
    ASSERT_NE(voltage, nullptr);
    for (const RangeButtonInfo& entry : kRangeButtons) {
        QGroupBox* group = entry.column == RangeColumn::Voltage ? voltage : current;
        EXPECT_TRUE(group->geometry().contains(dlg.RangeButton(entry.id)->geometry())) << entry.id;
    }
    dlg.show();
    EXPECT_EQ(test::ExpectControlsInsideTheirGroups(dlg), 2);
}

TEST(RangeSelectDialog, ThePresentRangeIsLightGreenAndTheOthersGrey)
{
    CRangeSelectDlg dlg;
    dlg.SetRangeCode(11);
    dlg.show();
    for (const RangeButtonInfo& entry : kRangeButtons) {
        CColorButton* button = dlg.RangeButton(entry.id);
        QColor expected = entry.rangeCode == 11 ? kLightGreen : kLightGrey;
        EXPECT_EQ(button->FaceColor(), expected) << entry.id;
        EXPECT_EQ(PaintedFace(button), expected) << entry.id;
    }

    dlg.SetRangeCode(0);
    EXPECT_EQ(dlg.RangeButton(1005)->FaceColor(), kLightGreen);
    EXPECT_EQ(dlg.RangeButton(1003)->FaceColor(), kLightGrey);
}

TEST(RangeSelectDialog, ACodeWithoutButtonHighlightsNothing)
{
    CRangeSelectDlg dlg;
    dlg.SetRangeCode(5);
    dlg.SetRangeCode(15);
    for (const RangeButtonInfo& entry : kRangeButtons)
        EXPECT_FALSE(dlg.RangeButton(entry.id)->FaceColor()) << entry.id;

    // Any button then still sets one of the offered codes.
    int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(dlg.RangeButton(1008), Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.RangeCode(), 2);
}

TEST(RangeSelectDialog, ARangeButtonClosesWithItsCodeAtOnce)
{
    for (const RangeButtonInfo& entry : kRangeButtons) {
        CRangeSelectDlg dlg;
        dlg.SetRangeCode(7);
        int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(dlg.RangeButton(entry.id), Qt::LeftButton); });
        EXPECT_EQ(result, QDialog::Accepted) << entry.id;
        EXPECT_EQ(dlg.RangeCode(), entry.rangeCode) << entry.id;
    }
}

TEST(RangeSelectDialog, CancelEscapeAndEnterLeaveTheCodeAlone)
{
    {
        CRangeSelectDlg dlg;
        dlg.SetRangeCode(6);
        int result = test::ExecDialog(
            dlg, [&] { QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("button2")), Qt::LeftButton); });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.RangeCode(), 6);
    }
    {
        CRangeSelectDlg dlg;
        dlg.SetRangeCode(6);
        int result = test::ExecDialog(dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.RangeCode(), 6);
    }
    {
        // Enter presses the focused Cancel; no range is chosen by the keyboard
        // without the operator moving to it.
        CRangeSelectDlg dlg;
        dlg.SetRangeCode(6);
        int result = test::ExecDialog(dlg, [&] { QTest::keyClick(dlg.focusWidget(), Qt::Key_Return); });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.RangeCode(), 6);
    }
}

TEST(RangeSelectDialog, ThePresentRangeCanBeChosenAgain)
{
    test::ScriptedPrompter prompter;
    CRangeSelectDlg withPrompter(prompter);
    withPrompter.SetRangeCode(3);
    int result =
        test::ExecDialog(withPrompter, [&] { QTest::mouseClick(withPrompter.RangeButton(1009), Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(withPrompter.RangeCode(), 3);
    EXPECT_TRUE(prompter.shown.empty());
}

} // namespace
} // namespace velmora
