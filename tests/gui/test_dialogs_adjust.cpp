// The output adjustment and generator information dialogs, opened from the
// panel's menu commands against the in-process simulated unit, driven with
// QTest and the scripted prompter.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <functional>

#include <gtest/gtest.h>

#include "adjust/ui/CCalDlg.h"
#include "dialogs/ui/ConverterVersionDlg.h"
#include "platform/Language.h"
#include "test_dialogs_driver.h"
#include "test_panel_support.h"

namespace velmora::test {
namespace {

template <typename T> T* Find(QDialog& dialog, const char* name)
{
    auto* w = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QColor Background(QLineEdit* edit)
{
    return edit->palette().color(QPalette::Base);
}

const QColor kTurquoise(0xE0, 0xFF, 0xFF);
const QColor kYellow(0xFF, 0xFF, 0x00);

// A connected two-channel panel whose menu command runs the adjustment
// dialog modally with `actions`, and what the dialog ended with.
struct AdjustRig : PanelRig {
    AdjustRig() : PanelRig(2, 2)
    {
        Channel(0).rangeCode = 5; // 4-20 mA: the minimum may go below 0
        Channel(1).rangeCode = 1; // 0-10 V: it may not
        unit.Channel(0).user[5] = {0x0002, 0x0003, 0x8002};
        unit.Channel(1).user[1] = {0x0001, 0x0004, 0x7FFF};
        Connect();
    }

    int Run(const std::function<void(QDialog&)>& actions)
    {
        int result = -1;
        int runs = 0;
        view->SetDialogRunner([&](QDialog& dialog) {
            ++runs;
            EXPECT_NE(qobject_cast<CCalDlg*>(&dialog), nullptr);
            result = ExecDialog(dialog, [&] { actions(dialog); });
            return result;
        });
        view->OnOutputAdjust();
        EXPECT_EQ(runs, 1);
        return result;
    }
    int Stores() const { return unit.Stored('U').stores; }
};

TEST(AdjustDialog, TunesWithLiveTestOutputsAndOkStoresTheValues)
{
    AdjustRig rig;
    const int result = rig.Run([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("アナログ出力調整"));
        EXPECT_EQ(ExpectControlsInsideTheirGroups(d), 4);
        EXPECT_EQ(Find<QLabel>(d, "static1026")->text(), QStringLiteral("内 4～20 mA"));
        EXPECT_TRUE(Find<QRadioButton>(d, "radio1069")->isChecked());
        auto* minEdit = Find<QLineEdit>(d, "edit1038");
        auto* maxEdit = Find<QLineEdit>(d, "edit1039");
        EXPECT_EQ(minEdit->text(), QStringLiteral("3"));
        EXPECT_EQ(maxEdit->text(), QStringLiteral("2"));
        EXPECT_FALSE(minEdit->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(d, "button1042")->isEnabled());
        for (QPushButton* b : d.findChildren<QPushButton*>())
            EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->objectName().toStdString();

        Find<QCheckBox>(d, "check1033")->click();
        EXPECT_EQ(rig.unit.TestOutputText(0), "1 lower 4_20mA min=3 max=2");
        ASSERT_TRUE(minEdit->isEnabled());
        EXPECT_FALSE(maxEdit->isEnabled());

        // Typing is yellow until Enter takes the value.
        minEdit->setFocus();
        minEdit->selectAll();
        QTest::keyClicks(minEdit, QStringLiteral("-12.7"));
        EXPECT_EQ(Background(minEdit), kYellow);
        QTest::keyClick(minEdit, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible()); // Enter in the edit does not close
        EXPECT_EQ(minEdit->text(), QStringLiteral("-12"));
        EXPECT_EQ(Background(minEdit), kTurquoise);
        Find<QPushButton>(d, "button1042")->click();
        EXPECT_EQ(rig.unit.TestOutputText(0), "1 lower 4_20mA min=-13 max=2");

        // The other side: ticking it clears the first.
        Find<QCheckBox>(d, "check1035")->click();
        EXPECT_FALSE(Find<QCheckBox>(d, "check1033")->isChecked());
        maxEdit->selectAll();
        QTest::keyClicks(maxEdit, QStringLiteral("12x"));
        QTest::keyClick(maxEdit, Qt::Key_Enter);
        EXPECT_EQ(maxEdit->text(), QStringLiteral("2"));
        maxEdit->selectAll();
        QTest::keyClicks(maxEdit, QStringLiteral("250"));
        QTest::keyClick(maxEdit, Qt::Key_Return);
        EXPECT_EQ(maxEdit->text(), QStringLiteral("200"));
        EXPECT_EQ(rig.unit.TestOutputText(0), "1 upper 4_20mA min=-13 max=200");

        Find<QRadioButton>(d, "radio1067")->click();
        Find<QPushButton>(d, "button1036")->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(rig.Stores(), 1);
    EXPECT_NE(rig.unit.TablesText(0, true).find("1 4_20mA maker=0,0 user=-13,200 select=1"), std::string::npos);
    EXPECT_EQ(rig.unit.TestOutputText(0), "1 off");
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_TRUE(rig.view->TimerWork());
    EXPECT_TRUE(rig.view->Poller().m_bPolling);
    // The panel's mark follows the new selection.
    EXPECT_EQ(rig.Control<QLabel>(ChannelBase(0) + kAdjustMarkOffset)->text(), QStringLiteral(" M "));
}

TEST(AdjustDialog, CancelAsksAboutChangesAndNoLeavesTheUnitAsBefore)
{
    AdjustRig rig;
    const std::string before = rig.unit.TablesText(0, false) + rig.unit.TablesText(1, false);
    rig.prompter.answers.push_back(PromptAnswer::No);
    const int result = rig.Run([&](QDialog& d) {
        Find<QRadioButton>(d, "radio1066")->click();
        Find<QCheckBox>(d, "check1035")->click();
        Find<QPushButton>(d, "button1043")->click();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, "調整値が変更されています。保存しますか？");
    EXPECT_EQ(rig.prompter.shown[0].caption, "確認");
    EXPECT_EQ(rig.prompter.shown[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(rig.unit.TablesText(0, false) + rig.unit.TablesText(1, false), before);
    EXPECT_EQ(rig.unit.TestOutputText(0), "1 off");
    EXPECT_EQ(rig.Stores(), 0);

    // Nothing changed: the close box closes without the question.
    const int closed = rig.Run([&](QDialog& d) {
        Find<QCheckBox>(d, "check1033")->click();
        d.close();
    });
    EXPECT_EQ(closed, QDialog::Rejected);
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.unit.TestOutputText(0), "1 off");
}

TEST(AdjustDialog, EnterOutsideTheEditsIsOkWithoutTheQuestion)
{
    AdjustRig rig;
    const int result = rig.Run([&](QDialog& d) {
        Find<QRadioButton>(d, "radio1066")->click();
        auto* channels = Find<QComboBox>(d, "combo1015");
        channels->setFocus();
        QTest::keyClick(channels, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.Stores(), 1);
    EXPECT_EQ(rig.unit.Stored('U').user[0][5].adjustSelect, 0x0000);

    // On a push button, Enter is that button's press: here Cancel, with the
    // question the change brings (answered Yes: kept after all).
    rig.prompter.answers.push_back(PromptAnswer::Yes);
    const int kept = rig.Run([&](QDialog& d) {
        Find<QRadioButton>(d, "radio1069")->click();
        auto* cancel = Find<QPushButton>(d, "button2");
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Return);
    });
    EXPECT_EQ(kept, QDialog::Accepted);
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.Stores(), 2);
    EXPECT_EQ(rig.unit.Stored('U').user[0][5].adjustSelect, 0x0002);

    // The keypad's Enter is Enter too.
    const int keypad = rig.Run([&](QDialog& d) {
        auto* ok = Find<QPushButton>(d, "button1036");
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_Enter, Qt::KeypadModifier);
    });
    EXPECT_EQ(keypad, QDialog::Accepted);
    EXPECT_EQ(rig.Stores(), 3);
}

TEST(AdjustDialog, ChangingTheChannelSwitchesEveryTestOutputOff)
{
    AdjustRig rig;
    rig.unit.Channel(1).user[1].adjustSelect = 0x0003; // names no set
    rig.Run([&](QDialog& d) {
        Find<QCheckBox>(d, "check1035")->click();
        EXPECT_EQ(rig.unit.TestOutputText(0), "1 upper 4_20mA min=3 max=2");
        Find<QComboBox>(d, "combo1015")->setCurrentIndex(1);
        EXPECT_EQ(rig.unit.TestOutputText(0), "1 off");
        EXPECT_EQ(rig.unit.TestOutputText(1), "2 off");
        EXPECT_FALSE(Find<QCheckBox>(d, "check1035")->isChecked());
        EXPECT_FALSE(Find<QLineEdit>(d, "edit1039")->isEnabled());
        EXPECT_EQ(Find<QLabel>(d, "static1026")->text(), QStringLiteral("0～10 V"));
        EXPECT_EQ(Find<QLineEdit>(d, "edit1039")->text(), QStringLiteral("-1"));
        // No radio for both bits: none shows, not channel 1's choice.
        for (const char* radio : {"radio1066", "radio1067", "radio1069"})
            EXPECT_FALSE(Find<QRadioButton>(d, radio)->isChecked()) << radio;

        // The 0-10 V minimum stops at 0.
        Find<QCheckBox>(d, "check1033")->click();
        for (int i = 0; i < 6; ++i)
            Find<QPushButton>(d, "button1042")->click();
        EXPECT_EQ(Find<QLineEdit>(d, "edit1038")->text(), QStringLiteral("0"));

        // The initialisation asks first; Cancel sends nothing.
        rig.prompter.answers.push_back(PromptAnswer::Cancel);
        Find<QPushButton>(d, "button1037")->click();
        EXPECT_EQ(rig.prompter.shown.back().text, "全ユーザー調整値を初期化しますか？");
        EXPECT_EQ(rig.prompter.shown.back().buttons, PromptButtons::OkCancel);
        EXPECT_TRUE(rig.Writes(0,
                               "\x02"
                               "CINIU")
                        .empty());
        Find<QPushButton>(d, "button1037")->click();
        EXPECT_EQ(rig.Writes(0,
                             "\x02"
                             "CINIU")
                      .size(),
                  1u);
        const std::size_t shown = rig.prompter.shown.size();
        // One the unit does not confirm is said.
        rig.unit.Faults().silent = true;
        Find<QPushButton>(d, "button1037")->click();
        rig.unit.Faults().silent = false;
        ASSERT_EQ(rig.prompter.shown.size(), shown + 2);
        EXPECT_EQ(rig.prompter.shown.back().text, "通信エラーが発生しました");
        Find<QPushButton>(d, "button1036")->click();
    });
    // The dialog's own values went back after the initialisation.
    EXPECT_NE(rig.unit.TablesText(0, true).find("1 4_20mA maker=0,0 user=3,2 select=2"), std::string::npos);
    EXPECT_NE(rig.unit.TablesText(1, true).find("2 0_10V maker=0,0 user=0,-1 select=3"), std::string::npos);
}

TEST(AdjustDialog, RefusedWhileAnOutputIsOn)
{
    AdjustRig rig;
    rig.view->ToggleOutput(1);
    ASSERT_TRUE(rig.Model().IsOutputOn(1));
    int runs = 0;
    rig.view->SetDialogRunner([&](QDialog&) { return ++runs; });
    rig.view->OnOutputAdjust();
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(rig.LastMessageIs("ＯＮ状態では設定できません。", "確認", PromptIcon::Information));
}

// --- the generator information -------------------------------------------------

struct ReportRig : PanelRig {
    ReportRig() : PanelRig(2, 2) { }

    // Runs the menu command; `check` sees the dialog once its reads ended.
    int Run(const std::function<void(ConverterVersionDlg&)>& check)
    {
        int runs = 0;
        view->SetDialogRunner([&](QDialog& dialog) {
            ++runs;
            auto* report = qobject_cast<ConverterVersionDlg*>(&dialog);
            EXPECT_NE(report, nullptr);
            if (report == nullptr)
                return int(QDialog::Rejected);
            return ExecDialog(dialog, [&, report] {
                EXPECT_FALSE(view->TimerWork());
                EXPECT_TRUE(QTest::qWaitFor([&] { return report->IsBuilt(); }, 5000));
                check(*report);
                report->accept();
            });
        });
        view->OnGeneratorInfo();
        return runs;
    }
};

TEST(GeneratorInfoDialog, ShowsTheReportReadFromTheUnit)
{
    ReportRig rig;
    rig.unit.Channel(0).maker[5] = {0x0003, 0x8005};
    rig.unit.Channel(0).user[5] = {0x0002, 0xFFFE, 0x7FFE};
    rig.Connect();
    const int runs = rig.Run([&](ConverterVersionDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("発生器　情報"));
        const QString text = d.ReportText();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Version\t01000A\n回路数\t2\n\nアナログ出力調整値\n")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\n  内 4～20 mA\t3\t5\t-2\t-2\tユーザー\n"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("チャネル 2\n")));
        EXPECT_TRUE(d.findChild<QPlainTextEdit*>(QStringLiteral("edit1065"))->isReadOnly());
    });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_TRUE(rig.view->TimerWork());
    EXPECT_EQ(rig.Writes(0,
                         "\x02"
                         "CR")
                  .size(),
              40u);
}

// Where each column of a report line begins in the dialog: the x of every
// text that follows a tab.
std::vector<int> ColumnStarts(QPlainTextEdit& edit, const QTextBlock& block)
{
    edit.document()->documentLayout()->blockBoundingRect(block); // lays the block out
    const QString text = block.text();
    std::vector<int> xs;
    for (int i = 1; i < text.size(); ++i)
        if (text[i - 1] == QLatin1Char('\t') && text[i] != QLatin1Char('\t'))
            xs.push_back(qRound(block.layout()->lineAt(0).cursorToX(i)));
    return xs;
}

TEST(GeneratorInfoDialog, TheColumnHeadsStandOverTheirColumnsInBothLanguages)
{
    for (const Language language : {Language::Japanese, Language::English}) {
        SetLanguage(language);
        ReportRig rig;
        rig.Connect();
        rig.Run([&](ConverterVersionDlg& d) {
            auto& edit = *d.findChild<QPlainTextEdit*>(QStringLiteral("edit1065"));
            const QTextBlock title = edit.document()->findBlockByNumber(3);
            const std::vector<int> heads = ColumnStarts(edit, title.next());
            const std::vector<int> columns = ColumnStarts(edit, title.next().next());
            ASSERT_EQ(heads.size(), 2u);
            ASSERT_EQ(columns.size(), 5u);   // ZERO GAIN ZERO GAIN MODE
            EXPECT_EQ(heads[0], columns[0]); // maker
            EXPECT_EQ(heads[1], columns[2]); // user
            int lines = 0;
            for (QTextBlock b = title.next().next().next(); b.isValid(); b = b.next()) {
                if (!b.text().startsWith(QStringLiteral("  ")))
                    continue; // a channel's line
                ++lines;
                EXPECT_EQ(ColumnStarts(edit, b), columns) << b.text().toStdString();
            }
            EXPECT_EQ(lines, 20);
        });
    }
    SetLanguage(Language::Japanese);
}

TEST(GeneratorInfoDialog, ClosedWhileReadingAsksNoMore)
{
    ReportRig rig;
    rig.Connect();
    int runs = 0;
    rig.view->SetDialogRunner([&](QDialog& dialog) {
        ++runs;
        return ExecDialog(dialog, [&] {
            // A few reads in, the operator closes the window.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return rig.Writes(0,
                                      "\x02"
                                      "CR")
                               .size() >= 4;
                },
                5000));
            dialog.reject();
        });
    });
    rig.view->OnGeneratorInfo();
    EXPECT_EQ(runs, 1);
    const std::size_t reads = rig.Writes(0,
                                         "\x02"
                                         "CR")
                                  .size();
    EXPECT_LT(reads, 8u);
    rig.Tick(4);
    EXPECT_EQ(rig.Writes(0,
                         "\x02"
                         "CR")
                  .size(),
              reads);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_TRUE(rig.view->TimerWork());
}

TEST(GeneratorInfoDialog, AUnitThatStopsAnsweringLeavesTheReportEmptyAndSaysSoOnce)
{
    ReportRig rig;
    rig.Connect();
    rig.unit.SetSilentAfter(7);
    rig.Run([&](ConverterVersionDlg& d) { EXPECT_TRUE(d.ReportText().isEmpty()); });
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_TRUE(rig.LastMessageIs("通信エラーが発生しました", "確認", PromptIcon::Exclamation));
    EXPECT_TRUE(rig.view->TimerWork());

    // Not connected: no dialog, the message instead.
    rig.view->DisconnectUnit();
    EXPECT_EQ(rig.Run([](ConverterVersionDlg&) {}), 0);
    EXPECT_TRUE(rig.LastMessageIs("接続されていません", "確認", PromptIcon::Information));
    EXPECT_TRUE(rig.view->TimerWork());
}

} // namespace
} // namespace velmora::test
