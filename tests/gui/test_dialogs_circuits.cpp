#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "dialogs/ui/CDacSelect.h"
#include "test_dialogs_driver.h"

namespace velmora {
namespace {

QPushButton* Button(CDacSelect& dlg, int id)
{
    return dlg.findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
}

TEST(CircuitCountDialog, AsksWithTwoAnswersAndNoCloseBox)
{
    CDacSelect dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("選択"));
    EXPECT_EQ(dlg.CircuitCount(), -1);
    EXPECT_EQ(Button(dlg, 1024)->text(), QStringLiteral("１ 回路用"));
    EXPECT_EQ(Button(dlg, 1023)->text(), QStringLiteral("２ 回路用"));
    EXPECT_EQ(Button(dlg, 3)->text(), QStringLiteral("キャンセル"));
    QStringList texts;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("接続ユニットの回路数を選択してください")));
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::WindowTitleHint));
}

TEST(CircuitCountDialog, EachAnswerButtonClosesWithItsCount)
{
    const std::pair<int, int> answers[] = {{1024, 1}, {1023, 2}};
    for (const auto& [answerId, count] : answers) {
        // Copied: clang 14 (the analyser) cannot capture a structured binding.
        const int id = answerId;
        CDacSelect dlg;
        int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(Button(dlg, id), Qt::LeftButton); });
        EXPECT_EQ(result, QDialog::Accepted) << id;
        EXPECT_EQ(dlg.CircuitCount(), count) << id;
    }
}

TEST(CircuitCountDialog, CancelAndEscapeAnswerMinusOne)
{
    {
        CDacSelect dlg;
        int result = test::ExecDialog(dlg, [&] { QTest::mouseClick(Button(dlg, 3), Qt::LeftButton); });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.CircuitCount(), -1);
    }
    {
        CDacSelect dlg;
        int result = test::ExecDialog(dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.CircuitCount(), -1);
    }
}

} // namespace
} // namespace velmora
