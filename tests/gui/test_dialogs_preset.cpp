#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "dialogs/ui/CPresetDlg.h"
#include "support/ScriptedPrompter.h"
#include "test_dialogs_driver.h"

namespace velmora {
namespace {

class PresetDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A 4-20 mA channel, as the panel fills the dialog.
        dlg.SetChannel(0);
        dlg.SetLimitTexts(" 4.000", "20.000");
        dlg.SetLimits(4.0, 20.0, 3);
        dlg.SetPresets(kStart);
    }
    QString Label(int id) { return dlg.findChild<QLabel*>(QStringLiteral("static%1").arg(id))->text(); }
    QPushButton* Button(int id) { return dlg.findChild<QPushButton*>(QStringLiteral("button%1").arg(id)); }
    void Type(int k, const QString& text)
    {
        dlg.PresetEdit(k)->clear();
        QTest::keyClicks(dlg.PresetEdit(k), text);
    }

    static constexpr PresetValues kStart = {4.0, 20.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0};
    test::ScriptedPrompter prompter;
    CPresetDlg dlg{prompter};
};

TEST_F(PresetDialog, OpensWithTheChannelTheLimitsAndTheEightPresets)
{
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("設定値"));
    EXPECT_EQ(Label(1030), QStringLiteral("１"));
    EXPECT_EQ(Label(1029), QStringLiteral(" 4.000"));
    EXPECT_EQ(Label(1031), QStringLiteral("20.000"));
    const int ids[kPresetCount] = {1022, 1023, 1024, 1025, 1026, 1027, 1028, 1032};
    for (int k = 0; k < kPresetCount; ++k) {
        auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(ids[k]));
        ASSERT_EQ(edit, dlg.PresetEdit(k)) << k;
        EXPECT_EQ(edit->text(), k == 1 ? QStringLiteral("20.000") : QStringLiteral("4.000")) << k;
    }
    // Three to a row, in reading order.
    EXPECT_EQ(dlg.PresetEdit(0)->y(), dlg.PresetEdit(2)->y());
    EXPECT_LT(dlg.PresetEdit(0)->x(), dlg.PresetEdit(1)->x());
    EXPECT_LT(dlg.PresetEdit(2)->y(), dlg.PresetEdit(3)->y());
    EXPECT_EQ(dlg.PresetEdit(6)->x(), dlg.PresetEdit(0)->x());
    EXPECT_EQ(dlg.PresetEdit(7)->x(), dlg.PresetEdit(1)->x());
    EXPECT_EQ(Button(2)->text(), QStringLiteral("戻る"));
}

TEST_F(PresetDialog, OkStoresTheTypedValuesCutToTheDecimals)
{
    dlg.SetLimits(-20.0, 20.0, 1);
    int result = test::ExecDialog(dlg, [&] {
        Type(0, QStringLiteral("12.39"));
        Type(1, QStringLiteral("-12.39"));
        Type(2, QStringLiteral("20"));
        Type(3, QStringLiteral("-20"));
        Type(4, QString());
        Type(5, QStringLiteral(" 0.29 "));
        Type(6, QStringLiteral("1e1"));
        Type(7, QStringLiteral("19.99"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    const PresetValues expected = {12.3, -12.3, 20.0, -20.0, 0.0, 0.2, 10.0, 19.9};
    EXPECT_EQ(dlg.Presets(), expected);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(PresetDialog, ARefusedOkNamesTheFirstFaultAndKeepsTheDialog)
{
    int result = test::ExecDialog(dlg, [&] {
        Type(2, QStringLiteral("1,5"));
        Type(4, QStringLiteral("25"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "入力データに誤りがあります");
        EXPECT_EQ(prompter.shown[0].caption, "確認");
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);

        Type(2, QStringLiteral("5"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_EQ(prompter.shown.size(), 2u);
        EXPECT_EQ(prompter.shown[1].text, "範囲外データがあります");
        EXPECT_EQ(dlg.Presets(), kStart);
        EXPECT_EQ(dlg.PresetEdit(4)->text(), QStringLiteral("25"));

        // An emptied field reads as 0, which a 4-20 mA range refuses too.
        Type(4, QString());
        QTest::mouseClick(Button(1), Qt::LeftButton);
        ASSERT_EQ(prompter.shown.size(), 3u);
        EXPECT_EQ(prompter.shown[2].text, "範囲外データがあります");

        Type(4, QStringLiteral("20"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    const PresetValues expected = {4.0, 20.0, 5.0, 4.0, 20.0, 4.0, 4.0, 4.0};
    EXPECT_EQ(dlg.Presets(), expected);
}

TEST_F(PresetDialog, BackAndEscapeChangeNothing)
{
    int result = test::ExecDialog(dlg, [&] {
        Type(0, QStringLiteral("10"));
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dlg.Presets(), kStart);

    result = test::ExecDialog(dlg, [&] {
        Type(0, QStringLiteral("11"));
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dlg.Presets(), kStart);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(PresetDialog, AReversedConversionSpanAcceptsValuesBetweenItsEnds)
{
    dlg.SetLimitTexts("   100", "     0");
    dlg.SetLimits(100.0, 0.0, 0);
    dlg.SetPresets({100.0, 0.0, 100.0, 100.0, 100.0, 100.0, 100.0, 100.0});
    EXPECT_EQ(dlg.PresetEdit(0)->text(), QStringLiteral("  100"));
    EXPECT_EQ(dlg.PresetEdit(1)->text(), QStringLiteral("    0"));
    int result = test::ExecDialog(dlg, [&] {
        Type(3, QStringLiteral("150"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
        EXPECT_EQ(prompter.shown.size(), 1u);
        Type(3, QStringLiteral("50.9"));
        QTest::mouseClick(Button(1), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.Presets()[3], 50.0);
}

TEST_F(PresetDialog, AnUnofferedDecimalsCountStillShowsThePresets)
{
    // Empty edits here would turn into eight zeros on OK.
    dlg.SetLimits(4.0, 20.0, 9);
    EXPECT_EQ(dlg.PresetEdit(1)->text(), QStringLiteral("20.000000"));
    int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(Button(1), Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.Presets(), kStart);
}

} // namespace
} // namespace velmora
