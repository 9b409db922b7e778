#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "dialogs/ui/CScaleDlg.h"
#include "support/ScriptedPrompter.h"
#include "test_dialogs_driver.h"

namespace velmora {
namespace {

class ScaleDialog : public ::testing::Test {
protected:
    QLineEdit* Edit(int id) { return dlg.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(id)); }
    QString Label(int id) { return dlg.findChild<QLabel*>(QStringLiteral("static%1").arg(id))->text(); }
    QPushButton* Button(int id) { return dlg.findChild<QPushButton*>(QStringLiteral("button%1").arg(id)); }
    void Type(int id, const QString& text)
    {
        Edit(id)->clear();
        QTest::keyClicks(Edit(id), text);
    }

    test::ScriptedPrompter prompter;
    CScaleDlg dlg{prompter};
};

TEST_F(ScaleDialog, OpensWithTheChannelTheAnalogEndsAndTheValues)
{
    dlg.SetChannel(1);
    dlg.SetRangeCode(5);
    dlg.SetConversion(0.0, 100.5, 1);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("換算式"));
    EXPECT_EQ(Label(1016), QStringLiteral("２"));
    EXPECT_EQ(Label(1021), QStringLiteral("4 mA"));
    EXPECT_EQ(Label(1017), QStringLiteral("20 mA"));
    EXPECT_EQ(Edit(1018)->text(), QStringLiteral("  0.0"));
    EXPECT_EQ(Edit(1019)->text(), QStringLiteral("100.5"));
    EXPECT_EQ(dlg.ConvMin(), 0.0);
    EXPECT_EQ(dlg.ConvMax(), 100.5);
    EXPECT_EQ(dlg.ConvDecimals(), 1);

    dlg.SetChannel(3);
    dlg.SetRangeCode(3);
    EXPECT_EQ(Label(1016), QStringLiteral("４"));
    EXPECT_EQ(Label(1021), QStringLiteral("-10 V"));
    EXPECT_EQ(Label(1017), QStringLiteral("10 V"));

    // No range of its own: the template's texts; no channel of its own: the
    // label is left as it was.
    dlg.SetChannel(7);
    dlg.SetRangeCode(15);
    EXPECT_EQ(Label(1016), QStringLiteral("４"));
    EXPECT_EQ(Label(1021), QStringLiteral("最小値"));
    EXPECT_EQ(Label(1017), QStringLiteral("最大値"));
}

TEST_F(ScaleDialog, DecimalsOutsideZeroToSixLeaveTheEditsEmpty)
{
    dlg.SetConversion(1.0, 2.0, 7);
    EXPECT_TRUE(Edit(1018)->text().isEmpty());
    EXPECT_TRUE(Edit(1019)->text().isEmpty());
    // OK on the empty edits is refused, so nothing is lost.
    dlg.show();
    QTest::mouseClick(Button(1), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.ConvMin(), 1.0);
    dlg.reject();
}

TEST_F(ScaleDialog, OkTakesTheTypedValuesAndTheirDecimals)
{
    dlg.SetConversion(0.0, 1.0, 0);
    int result = test::ExecDialog(dlg, [&] {
        Type(1018, QStringLiteral("1.2345"));
        Type(1019, QStringLiteral("1"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.ConvMin(), 1.2345);
    EXPECT_EQ(dlg.ConvMax(), 1.0);
    EXPECT_EQ(dlg.ConvDecimals(), 4);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(ScaleDialog, EnterInAnEditIsOk)
{
    dlg.SetConversion(-50.0, 50.0, 0);
    int result = test::ExecDialog(dlg, [&] {
        Type(1019, QStringLiteral("50.25"));
        QTest::keyClick(Edit(1019), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.ConvMin(), -50.0);
    EXPECT_EQ(dlg.ConvMax(), 50.25);
    EXPECT_EQ(dlg.ConvDecimals(), 2);
}

TEST_F(ScaleDialog, ARefusedOkKeepsTheDialogAndTheTextsAsTheyWere)
{
    dlg.SetConversion(0.0, 100.0, 0);
    int result = test::ExecDialog(dlg, [&] {
        Type(1018, QStringLiteral("0.001"));
        Type(1019, QStringLiteral("9999"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "有効桁数を超えています");
        EXPECT_EQ(prompter.shown[0].caption, "確認");
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
        EXPECT_EQ(Edit(1018)->text(), QStringLiteral("0.001"));
        EXPECT_EQ(Edit(1019)->text(), QStringLiteral("9999"));
        EXPECT_EQ(dlg.ConvMax(), 100.0);

        Type(1019, QStringLiteral("12abc"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
        ASSERT_EQ(prompter.shown.size(), 2u);
        EXPECT_EQ(prompter.shown[1].text, "最大値に誤りがあります");

        Type(1018, QString());
        QTest::mouseClick(Button(1), Qt::LeftButton);
        ASSERT_EQ(prompter.shown.size(), 3u);
        EXPECT_EQ(prompter.shown[2].text, "最小値に誤りがあります");

        Type(1018, QStringLiteral("1.5"));
        Type(1019, QStringLiteral("10000"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(dlg.ConvMin(), 1.5);
    EXPECT_EQ(dlg.ConvMax(), 10000.0);
    EXPECT_EQ(dlg.ConvDecimals(), 1);
}

TEST_F(ScaleDialog, CancelKeepsTheInputsAsResults)
{
    dlg.SetConversion(-5.0, 5.0, 2);
    int result = test::ExecDialog(dlg, [&] {
        Type(1018, QStringLiteral("100"));
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dlg.ConvMin(), -5.0);
    EXPECT_EQ(dlg.ConvMax(), 5.0);
    EXPECT_EQ(dlg.ConvDecimals(), 2);
}

TEST_F(ScaleDialog, TheShownValuesAreAcceptedAgainUnchanged)
{
    dlg.SetConversion(0.0, 100.5, 1);
    int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(Button(1), Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.ConvMin(), 0.0);
    EXPECT_EQ(dlg.ConvMax(), 100.5);
    EXPECT_EQ(dlg.ConvDecimals(), 1);
}

} // namespace
} // namespace velmora
