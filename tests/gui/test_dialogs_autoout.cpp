#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "autoout/ui/CAutoOutDlg.h"
#include "autoout/ui/CEditListCtrl.h"
#include "autoout/ui/CWavePicture.h"
#include "support/ScriptedPrompter.h"
#include "test_dialogs_driver.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kMilliampRange = 5; // 内 4～20 mA, three decimals

const AutoOutputSlot kStoredSlot{kAutoTriangle, 3, 4.0, 20.0, 1.5, 25};

class AutoOutDialog : public ::testing::Test {
protected:
    AutoOutDialog()
    {
        model.channelCount = 2;
        model.channels[1].rangeCode = kMilliampRange;
        autoOutput[1].slots[kMilliampRange] = kStoredSlot;
        autoOutput[1].points[0] = {true, 4.5, 15};
        autoOutput[1].points[1] = {true, 12.0, 5};
        // Not in use: its numbers are not shown.
        autoOutput[1].points[2] = {false, 7.0, 30};
        stored = autoOutput;
    }

public:
    ~AutoOutDialog() override
    {
        std::error_code ec;
        if (!scratch.empty())
            fs::remove_all(scratch, ec);
    }

protected:
    void Open() { dlg.SetInputs(1, model, autoOutput, kMilliampRange); }
    QLineEdit* Edit(AutoOutField f) { return dlg.Field(f); }
    QString Text(AutoOutField f) { return dlg.Field(f)->text(); }
    QLabel* Label(int id) { return dlg.findChild<QLabel*>(QStringLiteral("static%1").arg(id)); }
    QPushButton* Button(int id) { return dlg.findChild<QPushButton*>(QStringLiteral("button%1").arg(id)); }
    QComboBox* ModeList() { return dlg.findChild<QComboBox*>(QStringLiteral("combo1015")); }
    CEditListCtrl& List() { return *dlg.List(); }
    QString Cell(int row, int column) { return List().CellText(row, column); }

    // The dialog is shown by now; focus changes need it to be the active
    // window.
    void Activate()
    {
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
    void Type(AutoOutField f, const QString& text)
    {
        QLineEdit* edit = Edit(f);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void ClickOk() { QTest::mouseClick(Button(1), Qt::LeftButton); }
    void DoubleClickCell(int row, int column)
    {
        // As the platform delivers it: a click, then a press that is a
        // double-click. QTest's double-click alone has no press before it.
        const QPoint at = List().visualRect(List().model()->index(row, column)).center();
        QWidget* viewport = List().viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    }
    void TypeIntoCell(int row, int column, const QString& text, Qt::Key end)
    {
        DoubleClickCell(row, column);
        ASSERT_NE(List().CellEditor(), nullptr) << row << "," << column;
        List().CellEditor()->selectAll();
        QTest::keyClicks(List().CellEditor(), text);
        QTest::keyClick(List().CellEditor(), end);
    }
    std::string WriteScratch(const std::string& bytes)
    {
        if (scratch.empty()) {
            std::string tmpl = (fs::temp_directory_path() / "velmora-autoout-XXXXXX").string();
            if (mkdtemp(tmpl.data()) != nullptr)
                scratch = tmpl;
        }
        const fs::path p = scratch / "table.csv";
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    void ExpectOneMessage(const char* text)
    {
        ASSERT_EQ(prompter.shown.size(), 1u) << text;
        EXPECT_EQ(prompter.shown[0].text, text);
        EXPECT_EQ(prompter.shown[0].caption, "確認");
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
        prompter.shown.clear();
    }
    void ExpectNothingWritten()
    {
        const AutoOutputState& now = autoOutput[1];
        const AutoOutputState& was = stored[1];
        for (std::size_t s = 0; s < now.slots.size(); ++s) {
            EXPECT_EQ(now.slots[s].mode, was.slots[s].mode) << s;
            EXPECT_EQ(now.slots[s].start, was.slots[s].start) << s;
            EXPECT_EQ(now.slots[s].end, was.slots[s].end) << s;
            EXPECT_EQ(now.slots[s].step, was.slots[s].step) << s;
            EXPECT_EQ(now.slots[s].interval, was.slots[s].interval) << s;
            EXPECT_EQ(now.slots[s].repeat, was.slots[s].repeat) << s;
        }
        for (std::size_t r = 0; r < now.points.size(); ++r) {
            EXPECT_EQ(now.points[r].used, was.points[r].used) << r;
            EXPECT_EQ(now.points[r].value, was.points[r].value) << r;
            EXPECT_EQ(now.points[r].interval, was.points[r].interval) << r;
        }
    }

    GeneratorModel model;
    std::array<AutoOutputState, kMaxChannels> autoOutput{};
    std::array<AutoOutputState, kMaxChannels> stored{};
    test::ScriptedPrompter prompter;
    CAutoOutDlg dlg{prompter};
    fs::path scratch;
};

TEST_F(AutoOutDialog, OpensOnTheStoredSlotAndTableAndShowsEachMode)
{
    Open();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("自動出力設定"));
    EXPECT_EQ(dlg.size(), QSize(440, 258));
    EXPECT_EQ(Label(1050)->text(), QStringLiteral("2"));
    EXPECT_EQ(Label(1043)->text(), QStringLiteral("内 4～20 mA"));
    EXPECT_EQ(Label(1044)->text(), QStringLiteral(" 4.000"));
    EXPECT_EQ(Label(1045)->text(), QStringLiteral("20.000"));

    ASSERT_EQ(ModeList()->count(), 3);
    EXPECT_EQ(ModeList()->itemText(0), QStringLiteral("のこぎり波"));
    EXPECT_EQ(ModeList()->itemText(1), QStringLiteral("三角波"));
    EXPECT_EQ(ModeList()->itemText(2), QStringLiteral("任意波"));
    EXPECT_EQ(ModeList()->currentIndex(), kAutoTriangle);

    EXPECT_EQ(Text(AutoOutField::Start), QStringLiteral(" 4.000"));
    EXPECT_EQ(Text(AutoOutField::End), QStringLiteral("20.000"));
    EXPECT_EQ(Text(AutoOutField::Step), QStringLiteral(" 1.500"));
    EXPECT_EQ(Text(AutoOutField::Interval), QStringLiteral("   2.5"));
    EXPECT_EQ(Text(AutoOutField::Repeat), QStringLiteral("3"));
    for (AutoOutField f :
         {AutoOutField::Start, AutoOutField::End, AutoOutField::Step, AutoOutField::Interval, AutoOutField::Repeat})
        EXPECT_TRUE(Edit(f)->alignment() & Qt::AlignRight);

    // The rows in use, formatted; the rest empty.
    EXPECT_EQ(List().rowCount(), 100);
    EXPECT_EQ(Cell(0, 1), QStringLiteral("1"));
    EXPECT_EQ(Cell(99, 1), QStringLiteral("100"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral(" 4.500"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("   1.5"));
    EXPECT_EQ(Cell(1, 2), QStringLiteral("12.000"));
    EXPECT_EQ(Cell(1, 3), QStringLiteral("   0.5"));
    EXPECT_TRUE(Cell(2, 2).isEmpty());
    EXPECT_TRUE(Cell(2, 3).isEmpty());
    EXPECT_EQ(List().geometry(), QRect(170, 62, 250, 148));
    EXPECT_TRUE(List().isColumnHidden(0));
    EXPECT_EQ(List().columnWidth(1), 40);
    EXPECT_EQ(List().columnWidth(2), 80);
    EXPECT_EQ(List().columnWidth(3), 100);
    EXPECT_EQ(List().horizontalHeaderItem(1)->text(), QStringLiteral("順番"));
    EXPECT_EQ(List().horizontalHeaderItem(2)->text(), QStringLiteral("値"));
    EXPECT_EQ(List().horizontalHeaderItem(3)->text(), QStringLiteral("更新間隔"));
    EXPECT_EQ(List().selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(List().showGrid());

    // Shown as a person would see it: the triangle's labels, the picture, no
    // table.
    int result = test::ExecDialog(dlg, [&] {
        EXPECT_EQ(Label(1046)->text(), QStringLiteral("開始値"));
        EXPECT_EQ(Label(1047)->text(), QStringLiteral("折返値"));
        EXPECT_EQ(Label(1048)->text(), QStringLiteral("変化量"));
        EXPECT_EQ(Label(1049)->text(), QStringLiteral("更新間隔"));
        EXPECT_EQ(Label(1062)->text(), QStringLiteral("変化量は絶対値にて入力、繰返しは「0」にて連続動作"));
        EXPECT_TRUE(Label(1061)->isVisible());
        EXPECT_TRUE(dlg.Picture()->isVisible());
        EXPECT_FALSE(List().isVisible());
        EXPECT_FALSE(Button(1032)->isEnabled());

        ModeList()->setCurrentIndex(kAutoSawtooth);
        EXPECT_EQ(Label(1047)->text(), QStringLiteral("終了値"));

        // Typed but not taken: the mode change shows the slot again.
        Edit(AutoOutField::Start)->setText(QStringLiteral("9"));
        ModeList()->setCurrentIndex(kAutoArbitrary);
        for (AutoOutField f : {AutoOutField::Start, AutoOutField::End, AutoOutField::Step, AutoOutField::Interval})
            EXPECT_FALSE(Edit(f)->isVisible());
        EXPECT_FALSE(Label(1046)->isVisible());
        EXPECT_FALSE(Label(1061)->isVisible());
        EXPECT_TRUE(Edit(AutoOutField::Repeat)->isVisible());
        EXPECT_EQ(Label(1062)->text(), QStringLiteral("繰返しは「0」にて連続動作"));
        EXPECT_FALSE(dlg.Picture()->isVisible());
        EXPECT_TRUE(List().isVisible());
        EXPECT_TRUE(Button(1032)->isEnabled());
        EXPECT_EQ(Text(AutoOutField::Start), QStringLiteral(" 4.000"));
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectNothingWritten();
}

TEST_F(AutoOutDialog, TheConversionSlotShowsItsNameAndDecimals)
{
    model.channels[0].useConversion = true;
    model.channels[0].convMin = 100.0;
    model.channels[0].convMax = 0.0;
    model.channels[0].convDecimals = 1;
    autoOutput[0].slots[kConversionSlot] = {kAutoSawtooth, 0, 50.0, 0.0, 0.0, 10};
    dlg.SetInputs(0, model, autoOutput, kConversionSlot);
    EXPECT_EQ(Label(1050)->text(), QStringLiteral("1"));
    EXPECT_EQ(Label(1043)->text(), QStringLiteral("換算式"));
    EXPECT_EQ(Label(1044)->text(), QString::fromStdString(model.FormatMin(0)));
    EXPECT_EQ(Label(1045)->text(), QString::fromStdString(model.FormatMax(0)));
    EXPECT_EQ(Text(AutoOutField::Start), QStringLiteral("  50.0"));
    EXPECT_EQ(Text(AutoOutField::Interval), QStringLiteral("   1.0"));
}

TEST_F(AutoOutDialog, EnterAndLeavingAFieldRewriteANumberAndUndoAnythingElse)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        Type(AutoOutField::Start, QStringLiteral("3"));
        QTest::keyClick(Edit(AutoOutField::Start), Qt::Key_Return);
        EXPECT_EQ(Text(AutoOutField::Start), QStringLiteral(" 3.000"));
        // Enter stayed in the field: no OK, no message.
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(Edit(AutoOutField::Start)->hasFocus());

        Type(AutoOutField::Start, QStringLiteral("12abc"));
        Edit(AutoOutField::End)->setFocus();
        EXPECT_EQ(Text(AutoOutField::Start), QStringLiteral(" 3.000"));

        Type(AutoOutField::End, QStringLiteral(" 7.25"));
        QTest::keyClick(Edit(AutoOutField::End), Qt::Key_Enter);
        EXPECT_EQ(Text(AutoOutField::End), QStringLiteral(" 7.250"));

        // Leaving a field rewrites it too.
        Type(AutoOutField::Interval, QStringLiteral("2"));
        Edit(AutoOutField::Repeat)->setFocus();
        EXPECT_EQ(Text(AutoOutField::Interval), QStringLiteral("   2.0"));

        // The repeat keeps its whole part, and a negative count is undone.
        Type(AutoOutField::Repeat, QStringLiteral("7.9"));
        QTest::keyClick(Edit(AutoOutField::Repeat), Qt::Key_Return);
        EXPECT_EQ(Text(AutoOutField::Repeat), QStringLiteral("7"));
        Type(AutoOutField::Repeat, QStringLiteral("-1"));
        QTest::keyClick(Edit(AutoOutField::Repeat), Qt::Key_Return);
        EXPECT_EQ(Text(AutoOutField::Repeat), QStringLiteral("7"));

        // A pasted line break counts as Enter once the edit is over.
        Edit(AutoOutField::Step)->setFocus();
        Edit(AutoOutField::Step)->selectAll();
        Edit(AutoOutField::Step)->insert(QStringLiteral("2\n"));
        QApplication::processEvents();
        EXPECT_EQ(Text(AutoOutField::Step), QStringLiteral(" 2.000"));

        EXPECT_TRUE(prompter.shown.empty());
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectNothingWritten();
}

TEST_F(AutoOutDialog, ARefusedOkNamesTheFaultAndWritesNothing)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        ModeList()->setCurrentIndex(kAutoSawtooth);
        Type(AutoOutField::Start, QStringLiteral("3"));
        ClickOk();
        ExpectOneMessage("範囲外データがあります");
        EXPECT_TRUE(dlg.isVisible());
        ExpectNothingWritten();

        Type(AutoOutField::Start, QStringLiteral("4"));
        Type(AutoOutField::Step, QStringLiteral("25"));
        ClickOk();
        ExpectOneMessage("変化量が範囲外です");

        Type(AutoOutField::Step, QStringLiteral("-2"));
        Type(AutoOutField::Interval, QStringLiteral("9999.5"));
        ClickOk();
        ExpectOneMessage("更新間隔は9999秒以下です");

        Type(AutoOutField::Interval, QStringLiteral("0.5"));
        // Far beyond the count OK takes, refused without a word.
        Type(AutoOutField::Repeat, QStringLiteral("1000001"));
        ClickOk();
        EXPECT_TRUE(prompter.shown.empty());
        EXPECT_TRUE(dlg.isVisible());
        ExpectNothingWritten();

        Type(AutoOutField::Repeat, QStringLiteral("0x10"));
        ClickOk();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(prompter.shown.empty());
    const AutoOutputSlot& s = autoOutput[1].slots[kMilliampRange];
    EXPECT_EQ(s.mode, kAutoSawtooth);
    EXPECT_EQ(s.start, 4.0);
    EXPECT_EQ(s.end, 20.0);
    EXPECT_EQ(s.step, 2.0); // typed as -2: stored as the magnitude the output steps by
    EXPECT_EQ(s.interval, 5);
    EXPECT_EQ(s.repeat, 16);
    EXPECT_EQ(autoOutput[1].runState, kAutoStopped);
    // The table goes with a sawtooth: a new dialog shows it empty.
    for (const ArbitraryPoint& p : autoOutput[1].points) {
        EXPECT_FALSE(p.used);
        EXPECT_EQ(p.value, 0.0);
        EXPECT_EQ(p.interval, 0);
    }
    test::ScriptedPrompter again;
    CAutoOutDlg reopened(again);
    reopened.SetInputs(1, model, autoOutput, kMilliampRange);
    for (int r = 0; r < 100; ++r)
        EXPECT_TRUE(reopened.List()->CellText(r, 2).isEmpty() && reopened.List()->CellText(r, 3).isEmpty()) << r;
}

TEST_F(AutoOutDialog, BackAndEscapeWriteNothing)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Type(AutoOutField::Start, QStringLiteral("10"));
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    result = test::ExecDialog(dlg, [&] {
        Activate();
        ModeList()->setCurrentIndex(kAutoArbitrary);
        List().SetCellText(5, 2, QStringLiteral("6"));
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectNothingWritten();
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(AutoOutDialog, ArbitraryOkChecksTheTableAndStoresIt)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        ModeList()->setCurrentIndex(kAutoArbitrary);
        Type(AutoOutField::Repeat, QStringLiteral("2"));
        // A value without its time.
        TypeIntoCell(2, 2, QStringLiteral("8"), Qt::Key_Return);
        ClickOk();
        ExpectOneMessage("未入力データがあります");
        EXPECT_TRUE(dlg.isVisible());
        // Nothing is written, so that 戻る would find the settings as they
        // were; the list keeps what was typed.
        EXPECT_NE(autoOutput[1].slots[kMilliampRange].mode, kAutoArbitrary);
        EXPECT_TRUE(autoOutput[1].points[0].used);
        EXPECT_EQ(Cell(0, 2), QStringLiteral(" 4.500"));

        // Escape keeps the typed time as well; OK takes the box's text.
        TypeIntoCell(2, 3, QStringLiteral("2"), Qt::Key_Escape);
        EXPECT_EQ(Cell(2, 3), QStringLiteral("2"));
        ClickOk();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(prompter.shown.empty());
    const AutoOutputSlot& s = autoOutput[1].slots[kMilliampRange];
    EXPECT_EQ(s.mode, kAutoArbitrary);
    EXPECT_EQ(s.repeat, 2);
    EXPECT_EQ(s.interval, 10);
    const auto& p = autoOutput[1].points;
    EXPECT_TRUE(p[0].used && p[0].value == 4.5 && p[0].interval == 15);
    EXPECT_TRUE(p[1].used && p[1].value == 12.0 && p[1].interval == 5);
    EXPECT_TRUE(p[2].used && p[2].value == 8.0 && p[2].interval == 20);
    EXPECT_FALSE(p[3].used);
}

TEST_F(AutoOutDialog, CellsAreEditedInPlaceAndDeleteEmptiesTheSelectedRows)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        ModeList()->setCurrentIndex(kAutoArbitrary);

        DoubleClickCell(1, 3);
        CEditInListCtrl* box = List().CellEditor();
        ASSERT_NE(box, nullptr);
        const QRect cell = List().visualRect(List().model()->index(1, 3));
        EXPECT_EQ(box->geometry(), cell.adjusted(1, 1, -1, -1));
        EXPECT_EQ(box->font(), List().font());
        EXPECT_EQ(box->text(), QStringLiteral("   0.5"));
        EXPECT_TRUE(box->hasFocus());
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("abc"));
        // Escape neither cancels the dialog nor the typing.
        QTest::keyClick(box, Qt::Key_Escape);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(List().CellEditor(), nullptr);
        EXPECT_TRUE(List().hasFocus());
        EXPECT_EQ(Cell(1, 3), QStringLiteral("abc"));

        // Enter does not press OK.
        TypeIntoCell(4, 2, QStringLiteral("x y"), Qt::Key_Return);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Cell(4, 2), QStringLiteral("x y"));

        // Tab ends the edit too: what is typed next does not run on in the
        // cell.
        TypeIntoCell(3, 2, QStringLiteral("3"), Qt::Key_Tab);
        EXPECT_EQ(List().CellEditor(), nullptr);
        EXPECT_EQ(Cell(3, 2), QStringLiteral("3"));

        // Clicking elsewhere writes the text too.
        DoubleClickCell(5, 2);
        ASSERT_NE(List().CellEditor(), nullptr);
        QTest::keyClicks(List().CellEditor(), QStringLiteral("5"));
        Edit(AutoOutField::Repeat)->setFocus();
        EXPECT_EQ(List().CellEditor(), nullptr);
        EXPECT_EQ(Cell(5, 2), QStringLiteral("5"));

        // The row numbers are not the operator's to edit.
        DoubleClickCell(0, 1);
        EXPECT_EQ(List().CellEditor(), nullptr);
        List().BeginCellEdit(0, 0);
        List().BeginCellEdit(100, 2);
        EXPECT_EQ(List().CellEditor(), nullptr);

        List().setFocus();
        List().selectRow(1);
        List().selectionModel()->select(List().model()->index(4, 1),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(&List(), Qt::Key_Delete);
        for (int row : {1, 4})
            EXPECT_TRUE(Cell(row, 2).isEmpty() && Cell(row, 3).isEmpty()) << row;
        EXPECT_EQ(Cell(1, 1), QStringLiteral("2"));
        EXPECT_EQ(Cell(0, 2), QStringLiteral(" 4.500"));
        EXPECT_EQ(Cell(5, 2), QStringLiteral("5"));
        EXPECT_TRUE(dlg.isVisible());
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectNothingWritten();
}

TEST_F(AutoOutDialog, ReadingACsvFileFillsRowsAndTheCheckRunsEvenWhenCancelled)
{
    Open();
    const std::string path = WriteScratch("4,1.5\n 12 ,0.5\n\"20\",\"2\"\n");
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        ModeList()->setCurrentIndex(kAutoArbitrary);
        // A row the file does not reach keeps its text, and is now a filled
        // row after an empty one.
        List().SetCellText(4, 2, QStringLiteral("9"));
        List().SetCellText(4, 3, QStringLiteral("1"));
        prompter.files = {path};
        QTest::mouseClick(Button(1032), Qt::LeftButton);
        ASSERT_EQ(prompter.openFilters.size(), 1u);
        const std::vector<FileFilter>& filters = prompter.openFilters[0];
        ASSERT_EQ(filters.size(), 2u);
        EXPECT_EQ(filters[0].label, "CSVﾌｧｲﾙ(*.csv)");
        EXPECT_EQ(filters[0].pattern, "*.csv");
        EXPECT_EQ(filters[1].pattern, "*.*");
        EXPECT_EQ(Cell(0, 2), QStringLiteral("4"));
        EXPECT_EQ(Cell(0, 3), QStringLiteral("1.5"));
        EXPECT_EQ(Cell(1, 2), QStringLiteral("12"));
        EXPECT_EQ(Cell(2, 2), QStringLiteral("20"));
        EXPECT_EQ(Cell(2, 3), QStringLiteral("2"));
        EXPECT_EQ(Cell(4, 2), QStringLiteral("9"));
        ExpectOneMessage("未入力データがあります");
        EXPECT_TRUE(dlg.isVisible());

        // Cancelled: the present list is checked, and passes quietly.
        List().SetCellText(4, 2, QString());
        List().SetCellText(4, 3, QString());
        QTest::mouseClick(Button(1032), Qt::LeftButton);
        EXPECT_EQ(prompter.openFilters.size(), 2u);
        EXPECT_TRUE(prompter.shown.empty());

        // Cancelled over a bad list: its message.
        List().SetCellText(1, 3, QStringLiteral("0"));
        QTest::mouseClick(Button(1032), Qt::LeftButton);
        ExpectOneMessage("値範囲を超えています");

        // A file that is not there.
        prompter.files = {(scratch / "missing.csv").string()};
        QTest::mouseClick(Button(1032), Qt::LeftButton);
        ASSERT_EQ(prompter.shown.size(), 2u);
        EXPECT_EQ(prompter.shown[0].text, std::string("ファイルが開けません\nmissing.csv: ") + std::strerror(ENOENT));
        EXPECT_EQ(prompter.shown[1].text, "値範囲を超えています");
        prompter.shown.clear();
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectNothingWritten();
}

TEST_F(AutoOutDialog, ThePictureDrawsTheFieldsToScale)
{
    Open();
    int result = test::ExecDialog(dlg, [&] {
        Activate();
        CWavePicture& picture = *dlg.Picture();
        ModeList()->setCurrentIndex(kAutoSawtooth);
        Type(AutoOutField::Step, QStringLiteral("4"));
        Type(AutoOutField::Repeat, QStringLiteral("1"));
        EXPECT_EQ(picture.Preview().shape, WavePicture::Sawtooth);
        EXPECT_EQ(picture.Preview().values, (std::vector<double>{4, 8, 12, 16, 20, 4}));
        const QImage fourSteps = picture.grab().toImage();

        // Each keystroke redraws: a larger step is a coarser staircase.
        Type(AutoOutField::Step, QStringLiteral("8"));
        EXPECT_EQ(picture.Preview().values, (std::vector<double>{4, 12, 20, 4}));
        const QImage twoSteps = picture.grab().toImage();
        EXPECT_NE(twoSteps, fourSteps);

        // Fields OK would refuse draw the plain picture, whatever they hold.
        Type(AutoOutField::Step, QStringLiteral("8x"));
        EXPECT_TRUE(picture.Preview().values.empty());
        const QImage plain = picture.grab().toImage();
        EXPECT_NE(plain, twoSteps);
        Type(AutoOutField::Step, QStringLiteral("8"));
        Type(AutoOutField::Start, QStringLiteral("3"));
        EXPECT_TRUE(picture.Preview().values.empty());
        EXPECT_EQ(picture.grab().toImage(), plain);

        ModeList()->setCurrentIndex(kAutoTriangle);
        EXPECT_EQ(picture.Preview().shape, WavePicture::Triangle);
        // The stored 4 .. 19 .. 4 by 1.5: the start and 20 steps a cycle, twice.
        EXPECT_EQ(picture.Preview().values.size(), 41u);
        EXPECT_NE(picture.grab().toImage(), plain);
        QTest::mouseClick(Button(2), Qt::LeftButton);
    });
    EXPECT_EQ(result, QDialog::Rejected);
}

TEST_F(AutoOutDialog, WithoutAChannelToWriteOkIsRefusedQuietly)
{
    // Never given its inputs, and given a channel that has no slot in use.
    int result = test::ExecDialog(dlg, [&] {
        ClickOk();
        EXPECT_TRUE(dlg.isVisible());
        dlg.SetInputs(7, model, autoOutput, kMilliampRange);
        ClickOk();
        EXPECT_TRUE(dlg.isVisible());
        dlg.reject();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(prompter.shown.empty());
    ExpectNothingWritten();
}

} // namespace
} // namespace velmora
