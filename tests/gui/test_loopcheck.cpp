// The loop-check window against the in-process simulated unit on a fake
// clock: a five-point test as found and as left with the readings typed
// into the test view, the results kept, the history and its drift, and the
// channel back as the operator left it; the ways a test ends early (abort,
// a lost unit, the window closed, the program taken down); the tag dialog
// and the CSV import refusing bad input with their messages; the check of
// the results' chain finding a row changed behind the program's back.
#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QComboBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "app/CMainFrame.h"
#include "app/CRemoteControl.h"
#include "app/CVelmoraApp.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/ui/CLoopCheckDlg.h"
#include "loopcheck/ui/CLoopDriftChart.h"
#include "loopcheck/ui/CLoopHistoryDlg.h"
#include "loopcheck/ui/CLoopStartDlg.h"
#include "loopcheck/ui/CLoopTagDlg.h"
#include "loopcheck/ui/CLoopTestView.h"
#include "model/RangeTable.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "remote/ScpiInstrument.h"

namespace velmora {
namespace {

using State = LoopCheckProcedure::State;

// What the operator left on channel 1 before the technician came.
constexpr double kValueBefore = 7.5;

class LoopCheckWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
        m_dbPath = m_dir.filePath(QStringLiteral("loopcheck.sqlite3")).toStdString();
        setenv("VELMORA_LOOPCHECK_DB", m_dbPath.c_str(), 1);
        m_runtime.reset(new QTemporaryDir);
        setenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override
    {
        app.reset();
        unsetenv("VELMORA_LOOPCHECK_DB");
        unsetenv("XDG_RUNTIME_DIR");
    }

    // The program connected to a two-channel unit, channel 1 on 4-20 mA at
    // 7.5 mA with its output as `on`, and the loop-check window open from
    // the menu.
    CLoopCheckDlg& Start(bool on = false)
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        auto link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        const std::string wd = m_dir.path().toStdString();
        app = std::make_unique<CVelmoraApp>(
            prompter, clock, [wd] { return std::optional<std::string>(wd); }, std::move(link));
        app->SetTickSourceFactory([] { return std::make_unique<ManualTickSource>(); });
        prompter.circuitAnswers = {2};
        AppOptions options;
        options.ports = {"/dev/velmora-test-unit"};
        options.connect = true;
        options.record = false;
        EXPECT_TRUE(app->InitInstance(options));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_TRUE(app->View()->IsConnected());
        ChannelOperations& ops = app->View()->Session().Operations();
        EXPECT_TRUE(ops.SelectRange(0, *RangeCodeFromKey("4_20mA")).Done());
        EXPECT_TRUE(ops.SetSetValue(0, kValueBefore, LimitPolicy::Refuse).Done());
        if (on) {
            EXPECT_TRUE(ops.SetOutput(0, true).Done());
        }
        Tick(6);
        m_codeBefore = Channel().dacCode;

        return OpenWindow();
    }

    // The loop-check window from the menu, its dialogs answered from `dialogs`.
    CLoopCheckDlg& OpenWindow()
    {
        QAction* open = app->MainFrame()->LoopCheckAction();
        EXPECT_TRUE(open->isEnabled());
        open->trigger();
        CLoopCheckDlg* loop = app->LoopCheck();
        EXPECT_NE(loop, nullptr);
        EXPECT_TRUE(loop->IsDatabaseOpen()) << loop->DatabaseProblem().toStdString();
        loop->SetDialogRunner([this](QDialog& dialog) {
            if (dialogs.empty()) {
                ADD_FAILURE() << "an unexpected dialog: " << dialog.metaObject()->className();
                return static_cast<int>(QDialog::Rejected);
            }
            auto act = dialogs.front();
            dialogs.pop_front();
            return act(dialog);
        });
        return *loop;
    }

    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            app->View()->OnPanelTick(PanelTickEvent::kTimerParam);
        }
    }

    ChannelSettings& Channel() { return app->Document()->m_model.channels[0]; }

    // The tag dialog filled in and its OK pressed; the dialog's answer.
    static int FillTag(QDialog& dialog, const std::map<QString, QString>& fields)
    {
        for (const auto& [name, text] : fields) {
            if (auto* line = dialog.findChild<QLineEdit*>(name))
                line->setText(text);
            else if (auto* spin = dialog.findChild<QSpinBox*>(name))
                spin->setValue(text.toInt());
            else if (auto* combo = dialog.findChild<QComboBox*>(name))
                combo->setCurrentIndex(combo->findData(text));
            else
                ADD_FAILURE() << "no field " << name.toStdString();
        }
        dialog.accept();
        return dialog.result();
    }
    static std::map<QString, QString> Ft101()
    {
        return {{"name", "FT-101"},     {"description", "Feed flow"},
                {"location", "Rack 3"}, {"channel", "1"},
                {"range", "4_20mA"},    {"lrv", "0"},
                {"urv", "150"},         {"unit", "m³/h"},
                {"tolerance", "0.5"},   {"adjust_limit", "0.25"},
                {"settle", "2"},        {"decimals", "1"}};
    }
    void AddFt101(CLoopCheckDlg& loop)
    {
        dialogs.push_back([](QDialog& d) { return FillTag(d, Ft101()); });
        loop.AddTag();
        loop.SelectTag("FT-101");
        ASSERT_TRUE(loop.SelectedTag().has_value());
    }
    // The technician's dialog answered with `name`.
    void Technician(const QString& name, const QString& remark = {})
    {
        dialogs.push_back([name, remark](QDialog& dialog) {
            auto* start = qobject_cast<CLoopStartDlg*>(&dialog);
            EXPECT_NE(start, nullptr);
            if (start == nullptr)
                return static_cast<int>(QDialog::Rejected);
            dialog.findChild<QLineEdit*>(QStringLiteral("technician"))->setText(name);
            start->findChild<QWidget*>(QStringLiteral("remark"))->setProperty("plainText", remark);
            dialog.accept();
            return dialog.result();
        });
    }
    // Ticks until the reading of the current point is due.
    void SettleOut(const CLoopCheckDlg& loop)
    {
        for (int i = 0; i < 400 && loop.Procedure().GetState() == State::Settling; ++i)
            Tick();
        ASSERT_EQ(loop.Procedure().GetState(), State::AwaitingReading);
    }
    // A reading typed into the test view's field and Enter pressed.
    static void Type(CLoopTestView& view, const QString& text)
    {
        QLineEdit* field = view.ReadingField();
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // The channel as the operator left it, on the host and on the unit.
    void ExpectChannelAsBefore(bool on)
    {
        Tick(6); // the frames on their way out
        EXPECT_EQ(Channel().rangeCode, *RangeCodeFromKey("4_20mA"));
        EXPECT_DOUBLE_EQ(Channel().setValue, kValueBefore);
        EXPECT_EQ(app->Document()->m_model.IsOutputOn(0), on);
        EXPECT_EQ(unit.Channel(0).words.dacCode, m_codeBefore);
        EXPECT_EQ(unit.Channel(0).words.controlWord, Channel().controlWord);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::string m_dbPath;
    std::uint16_t m_codeBefore = 0;
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    sim::SimUnit unit;
    std::deque<std::function<int(QDialog&)>> dialogs;
    std::unique_ptr<CVelmoraApp> app;
};

TEST_F(LoopCheckWindow, FivePointsAsFoundAndAsLeftTypedIntoTheWindow)
{
    CLoopCheckDlg& loop = Start();
    AddFt101(loop);
    QTableWidget* tags = loop.TagTable();
    ASSERT_EQ(tags->rowCount(), 1);
    EXPECT_EQ(tags->item(0, CLoopCheckDlg::kSpan)->text(), QStringLiteral("0 – 150 m³/h"));
    EXPECT_EQ(tags->item(0, CLoopCheckDlg::kLastTest)->text(), QStringLiteral("未点検"));

    Technician(QStringLiteral("Aoki"), QStringLiteral("before the turnaround"));
    loop.StartTest(false);
    CLoopTestView* view = loop.TestView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(loop.Procedure().Running());
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->PointText(), QStringLiteral("1 / 5 (0 %)"));
    EXPECT_EQ(view->CountdownText(), QStringLiteral("安定待ち 2 秒"));
    // A reading typed before the point has settled is refused in place.
    Type(*view, QStringLiteral("0.1"));
    EXPECT_TRUE(view->RefusalText().startsWith(QStringLiteral("安定待ち"))) << view->RefusalText().toStdString();
    EXPECT_TRUE(loop.Procedure().Points().empty());

    // The technician's readings: 75 % is out by 0.6 % of span, 50 % needs
    // adjusting. The second reading comes as an input method types it.
    const QString readings[] = {QStringLiteral("0.2"), QStringLiteral("３７．９"), QStringLiteral("75.3"),
                                QStringLiteral("113.4"), QStringLiteral("149.9")};
    const double signals[] = {4, 8, 12, 16, 20};
    for (int k = 0; k < 5; ++k) {
        SettleOut(loop);
        EXPECT_DOUBLE_EQ(Channel().setValue, signals[k]);
        EXPECT_TRUE(app->Document()->m_model.IsOutputOn(0));
        EXPECT_EQ(unit.Channel(0).words.dacCode, Channel().dacCode);
        EXPECT_EQ(view->CountdownText(), QStringLiteral("読み値を入力"));
        if (k == 1) {
            // Not a number: refused beside the field, the text kept, nothing read.
            Type(*view, QStringLiteral("37,9x"));
            EXPECT_EQ(view->RefusalText(), QStringLiteral("数値ではありません"));
            EXPECT_EQ(view->ReadingField()->text(), QStringLiteral("37,9x"));
            EXPECT_EQ(loop.Procedure().Points().size(), 1u);
            view->ReadingField()->setText(readings[k]);
            QTest::keyClick(view->ReadingField(), Qt::Key_Return);
        } else {
            Type(*view, readings[k]);
        }
        EXPECT_EQ(view->RefusalText(), QString());
        ASSERT_EQ(loop.Procedure().Points().size(), static_cast<std::size_t>(k + 1));
    }
    ASSERT_EQ(loop.Procedure().GetState(), State::Done);

    // The table as the technician saw it fill.
    QTableWidget* table = view->PointTable();
    ASSERT_EQ(table->rowCount(), 5);
    EXPECT_EQ(table->item(1, CLoopTestView::kReading)->text(), QStringLiteral("37.9 m³/h"));
    EXPECT_EQ(table->item(3, CLoopTestView::kExpected)->text(), QStringLiteral("112.5 m³/h"));
    EXPECT_EQ(table->item(3, CLoopTestView::kError)->text(), QStringLiteral("+0.60"));
    EXPECT_EQ(table->item(3, CLoopTestView::kVerdict)->text(), QStringLiteral("不合格"));
    EXPECT_EQ(table->item(2, CLoopTestView::kVerdict)->text(), QStringLiteral("合格"));
    EXPECT_EQ(table->item(1, CLoopTestView::kVerdict)->text(), QStringLiteral("要調整"));
    EXPECT_NE(table->item(3, CLoopTestView::kVerdict)->background().color(),
              table->item(2, CLoopTestView::kVerdict)->background().color());

    // The result is kept as typed, and the window says so with its hash.
    const std::vector<LoopResult> history = loop.Database().History("FT-101");
    ASSERT_EQ(history.size(), 1u);
    const LoopResult& found = history.front();
    EXPECT_EQ(found.kind, LoopTestKind::AsFound);
    EXPECT_EQ(found.verdict, TestVerdict::Fail);
    EXPECT_EQ(found.technician, "Aoki");
    EXPECT_EQ(found.remark, "before the turnaround");
    ASSERT_EQ(found.points.size(), 5u);
    EXPECT_DOUBLE_EQ(found.points[1].reading, 37.9);
    EXPECT_DOUBLE_EQ(found.points[3].reading, 113.4);
    EXPECT_TRUE(view->OutcomeText().contains(QString::fromStdString(found.hash))) << view->OutcomeText().toStdString();
    EXPECT_TRUE(view->OutcomeText().contains(QStringLiteral("不合格")));
    EXPECT_EQ(tags->item(0, CLoopCheckDlg::kLastVerdict)->text(), QStringLiteral("不合格"));
    ExpectChannelAsBefore(false);

    // As left after the adjustment; the technician's name is remembered.
    dialogs.push_back([](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("technician"))->text(), QStringLiteral("Aoki"));
        dialog.accept();
        return dialog.result();
    });
    loop.StartTest(true);
    ASSERT_TRUE(loop.Procedure().Running());
    for (const char* reading : {"0.0", "37.5", "75.1", "112.6", "150.0"}) {
        SettleOut(loop);
        Type(*view, QString::fromLatin1(reading));
    }
    ASSERT_EQ(loop.Procedure().GetState(), State::Done);
    EXPECT_EQ(loop.Procedure().Result().kind, LoopTestKind::AsLeft);
    EXPECT_EQ(loop.Procedure().Result().verdict, TestVerdict::Pass);
    ExpectChannelAsBefore(false);

    // The history holds both; the drift plots the as-found test alone.
    loop.ShowHistory();
    CLoopHistoryDlg* historyView = loop.History();
    ASSERT_NE(historyView, nullptr);
    ASSERT_EQ(historyView->Table()->rowCount(), 2);
    EXPECT_EQ(historyView->Table()->item(0, CLoopHistoryDlg::kKind)->text(), QStringLiteral("調整前"));
    EXPECT_EQ(historyView->Table()->item(1, CLoopHistoryDlg::kKind)->text(), QStringLiteral("調整後"));
    EXPECT_EQ(historyView->Table()->item(1, CLoopHistoryDlg::kTechnician)->text(), QStringLiteral("Aoki"));
    const auto& drift = historyView->Chart()->Points();
    ASSERT_EQ(drift.size(), 1u);
    EXPECT_NEAR(drift[0].largest, 0.6, 1e-9);
    EXPECT_EQ(drift[0].verdict, TestVerdict::Fail);
    // Above the tolerance band's edge on the plot.
    // The mark is drawn where the plot puts it, in the failed test's red.
    historyView->Chart()->resize(600, 240);
    const QImage drawn = historyView->Chart()->grab().toImage();
    const QPoint mark = historyView->Chart()->Position(0, historyView->Chart()->size()).toPoint();
    EXPECT_EQ(drawn.pixelColor(mark), QColor(0xc6, 0x28, 0x28));
    const QSizeF size(600, 240);
    const double edge = CLoopDriftChart::kTopMargin +
        (size.height() - CLoopDriftChart::kTopMargin - CLoopDriftChart::kBottomMargin) *
            (1.0 - 0.5 / historyView->Chart()->TopError());
    EXPECT_LT(historyView->Chart()->Position(0, size).y(), edge);

    // The record of the tag's latest check (no row chosen): the as-found
    // and the as-left test, as HTML here (the PDF's text is compared in the
    // report's own tests); a file that cannot be written is said so.
    const QString record = m_dir.filePath(QStringLiteral("FT-101.html"));
    prompter.files = {record.toStdString()};
    QTest::mouseClick(historyView->findChild<QPushButton*>(QStringLiteral("report")), Qt::LeftButton);
    QFile written(record);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(written.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("FT-101")));
    EXPECT_TRUE(html.contains(QString::fromStdString(found.hash)));
    EXPECT_TRUE(html.contains(QString::fromStdString(loop.Procedure().Result().hash)));
    const std::size_t boxes = prompter.shown.size();
    prompter.files = {m_dir.filePath(QStringLiteral("no/such/folder/r.pdf")).toStdString()};
    QTest::mouseClick(historyView->findChild<QPushButton*>(QStringLiteral("report")), Qt::LeftButton);
    ASSERT_EQ(prompter.shown.size(), boxes + 1);
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Exclamation);

    // The 75 % reading was mistyped: a correction is a new as-found test
    // that names result 1 and why; result 1 stays, marked corrected, and
    // the drift takes the correction instead.
    EXPECT_FALSE(historyView->findChild<QPushButton*>(QStringLiteral("correct"))->isEnabled());
    ASSERT_TRUE(historyView->SelectResult(found.id));
    dialogs.push_back([](QDialog& dialog) {
        auto* reason = dialog.findChild<QLineEdit*>(QStringLiteral("reason"));
        EXPECT_TRUE(reason != nullptr && !reason->isHidden());
        // Not without a reason.
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        reason->setText(QStringLiteral("75 % mistyped"));
        dialog.accept();
        return dialog.result();
    });
    QTest::mouseClick(historyView->findChild<QPushButton*>(QStringLiteral("correct")), Qt::LeftButton);
    ASSERT_TRUE(loop.Procedure().Running());
    for (const char* reading : {"0.2", "37.9", "75.3", "112.6", "149.9"}) {
        SettleOut(loop);
        Type(*view, QString::fromLatin1(reading));
    }
    ASSERT_EQ(loop.Procedure().GetState(), State::Done);
    const LoopResult& correction = loop.Procedure().Result();
    EXPECT_EQ(correction.kind, LoopTestKind::AsFound);
    ASSERT_TRUE(correction.supersedes.has_value());
    EXPECT_EQ(*correction.supersedes, found.id);
    EXPECT_EQ(correction.supersedeReason, "75 % mistyped");
    ASSERT_EQ(historyView->Table()->rowCount(), 3);
    EXPECT_FALSE(historyView->Table()->item(0, CLoopHistoryDlg::kCorrection)->text().isEmpty());
    EXPECT_TRUE(historyView->Table()->item(2, CLoopHistoryDlg::kCorrection)->text().contains("75 % mistyped"));
    ASSERT_EQ(historyView->Chart()->Points().size(), 1u);
    EXPECT_EQ(historyView->Chart()->Points()[0].id, correction.id);
    ExpectChannelAsBefore(false);

    EXPECT_TRUE(loop.VerifyResults().ok);
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Information);
}

TEST_F(LoopCheckWindow, AbortALostUnitAndClosingTheWindowPutTheOutputBack)
{
    CLoopCheckDlg& loop = Start(true);
    AddFt101(loop);

    // Abort after one point.
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    CLoopTestView* view = loop.TestView();
    ASSERT_NE(view, nullptr);
    SettleOut(loop);
    Type(*view, QStringLiteral("0.1"));
    SettleOut(loop);
    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("abort")), Qt::LeftButton);
    ASSERT_EQ(loop.Procedure().GetState(), State::Aborted);
    EXPECT_TRUE(view->OutcomeText().contains(QStringLiteral("中止"))) << view->OutcomeText().toStdString();
    ExpectChannelAsBefore(true);

    // The test view closed during a test: asked first; "no" keeps the test.
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    ASSERT_TRUE(loop.Procedure().Running());
    // While a dialog holds the link the test waits with the panel's work:
    // the settle time does not run out, nothing is sent.
    app->View()->SetTimerWork(false);
    Tick(100);
    EXPECT_EQ(loop.Procedure().GetState(), State::Settling);
    app->View()->SetTimerWork(true);
    SettleOut(loop);
    prompter.answers = {PromptAnswer::No};
    view->close();
    EXPECT_TRUE(loop.Procedure().Running());
    EXPECT_EQ(prompter.shown.back().buttons, PromptButtons::YesNo);
    prompter.answers = {PromptAnswer::Yes};
    view->close();
    EXPECT_EQ(loop.Procedure().GetState(), State::Aborted);
    ExpectChannelAsBefore(true);

    // The window itself closed during a test: asked, the test aborted, the
    // channel back, the window gone.
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    SettleOut(loop);
    const QPointer<CLoopCheckDlg> window(&loop);
    loop.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(window.isNull());
    ExpectChannelAsBefore(true);

    // A unit that stops answering ends the test, marked so.
    CLoopCheckDlg& again = OpenWindow();
    again.SelectTag("FT-101");
    Technician(QStringLiteral("Aoki"));
    again.StartTest(false);
    SettleOut(again);
    unit.Faults().silent = true;
    for (int i = 0; i < 400 && again.Procedure().Running(); ++i)
        Tick();
    ASSERT_EQ(again.Procedure().GetState(), State::Aborted);
    EXPECT_EQ(again.Procedure().Result().ending, LoopTestEnding::UnitLost);
    EXPECT_TRUE(again.Procedure().Stored());
    EXPECT_TRUE(again.TestView()->OutcomeText().contains(QStringLiteral("中止")));
    // The value goes back; the output of a lost unit stays off.
    EXPECT_DOUBLE_EQ(Channel().setValue, kValueBefore);
    EXPECT_FALSE(app->Document()->m_model.IsOutputOn(0));

    const std::vector<LoopResult> history = again.Database().History("FT-101");
    ASSERT_EQ(history.size(), 4u);
    for (const LoopResult& r : history)
        EXPECT_EQ(r.verdict, TestVerdict::Aborted);
    EXPECT_EQ(history[0].points.size(), 1u);
    EXPECT_EQ(history[2].endingDetail, Tr("the loop check was closed"));
    EXPECT_EQ(history[3].ending, LoopTestEnding::UnitLost);
}

TEST_F(LoopCheckWindow, TheProgramTakenDownDuringATestPutsTheChannelBackFirst)
{
    CLoopCheckDlg& loop = Start(true);
    AddFt101(loop);
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    SettleOut(loop);
    Type(*loop.TestView(), QStringLiteral("0.1"));
    SettleOut(loop);
    ASSERT_DOUBLE_EQ(Channel().setValue, 8.0);

    // The window closed by the technician asks first.
    prompter.answers = {PromptAnswer::No};
    loop.close();
    EXPECT_TRUE(loop.Procedure().Running());
    EXPECT_TRUE(loop.isVisible());

    // The program goes with the test running: the channel is put back
    // before the panel switches every output off and lets the port go.
    const QPointer<CLoopCheckDlg> gone(&loop);
    app.reset();
    EXPECT_TRUE(gone.isNull());
    EXPECT_EQ(unit.Channel(0).words.dacCode, m_codeBefore);
    LoopCheckDatabase db;
    ASSERT_EQ(db.Open(m_dbPath), LoopDbOpenResult::Ok);
    const std::vector<LoopResult> history = db.History("FT-101");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].verdict, TestVerdict::Aborted);
    EXPECT_EQ(history[0].points.size(), 1u);
}

TEST_F(LoopCheckWindow, BadTagsBadFilesAndRefusedStartsSayWhyAndChangeNothing)
{
    CLoopCheckDlg& loop = Start();

    // The tag dialog keeps a bad tag out, its message beside the field.
    CLoopTagDlg* seen = nullptr;
    dialogs.push_back([&](QDialog& dialog) {
        seen = qobject_cast<CLoopTagDlg*>(&dialog);
        EXPECT_NE(seen, nullptr);
        auto fields = Ft101();
        fields["urv"] = "0";
        EXPECT_EQ(FillTag(dialog, fields), QDialog::Rejected);
        EXPECT_EQ(seen->ProblemText("urv").toStdString(), TrFormat("LRV and URV are both %1: the span is zero", {"0"}));
        fields = Ft101();
        fields["tolerance"] = "half";
        EXPECT_EQ(FillTag(dialog, fields), QDialog::Rejected);
        EXPECT_EQ(seen->ProblemText("tolerance"), QStringLiteral("数値を入力してください"));
        EXPECT_EQ(seen->ProblemText("urv"), QString());
        fields = Ft101();
        fields["adjust_limit"] = "0.5";
        EXPECT_EQ(FillTag(dialog, fields), QDialog::Rejected);
        EXPECT_FALSE(seen->ProblemText("adjust_limit").isEmpty());
        fields["points"] = "0,50,120";
        fields["adjust_limit"] = "";
        EXPECT_EQ(FillTag(dialog, fields), QDialog::Rejected);
        EXPECT_EQ(seen->ProblemText("points").toStdString(), TrFormat("the point %1 is outside 0-100 %", {"120"}));
        return static_cast<int>(QDialog::Rejected);
    });
    loop.AddTag();
    EXPECT_EQ(loop.TagTable()->rowCount(), 0);
    EXPECT_TRUE(loop.Database().Tags().empty());

    // A name given twice is the store's refusal, shown the same way.
    AddFt101(loop);
    dialogs.push_back([](QDialog& dialog) {
        EXPECT_EQ(FillTag(dialog, Ft101()), QDialog::Rejected);
        EXPECT_EQ(static_cast<CLoopTagDlg&>(dialog).ProblemText("name"), QStringLiteral("このタグはすでにあります"));
        return static_cast<int>(QDialog::Rejected);
    });
    loop.AddTag();

    // A CSV with a broken third row: the row named, nothing imported.
    const std::string csv = m_dir.filePath(QStringLiteral("tags.csv")).toStdString();
    std::ofstream(csv) << "name,channel,range,lrv,urv,unit\r\nPT-7,2,4_20mA,0,10,bar\r\nTT-9,1,4_20mA,5,5,degC\r\n";
    prompter.files = {csv};
    loop.ImportCsv();
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Exclamation);
    const std::string rowThree = TrFormat("row %1: %2", {"3", ""});
    EXPECT_NE(prompter.shown.back().text.find(rowThree), std::string::npos) << prompter.shown.back().text;
    EXPECT_NE(prompter.shown.back().text.find("何も読み込んでいません"), std::string::npos);
    EXPECT_EQ(loop.Database().Tags().size(), 1u);

    // Exported and read back whole.
    const std::string out = m_dir.filePath(QStringLiteral("out.csv")).toStdString();
    prompter.files = {out};
    loop.ExportCsv();
    std::ofstream(csv) << "name,channel,range,lrv,urv,unit\r\nPT-7,2,0_10V,0,10,bar\r\n";
    prompter.files = {csv};
    loop.ImportCsv();
    ASSERT_EQ(loop.TagTable()->rowCount(), 2);

    // A test of a tag whose range the channel is not on is refused with
    // the reason; nothing is sent and no test view opens.
    loop.SelectTag("PT-7");
    app->View()->Session().Operations().SelectRange(1, *RangeCodeFromKey("4_20mA"));
    Tick(6);
    const auto writes = unit.Channel(1).words;
    const std::size_t shown = prompter.shown.size();
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    EXPECT_FALSE(loop.Procedure().Running());
    EXPECT_EQ(loop.TestView(), nullptr);
    ASSERT_EQ(prompter.shown.size(), shown + 1);
    EXPECT_NE(prompter.shown.back().text.find(Tr(LoopStartRefusalText(LoopStartRefusal::WrongRange))),
              std::string::npos)
        << prompter.shown.back().text;
    Tick(6);
    EXPECT_EQ(unit.Channel(1).words.dacCode, writes.dacCode);
    EXPECT_EQ(unit.Channel(1).words.controlWord, writes.controlWord);

    // Removing is asked first; "no" keeps the tag.
    prompter.answers = {PromptAnswer::No};
    loop.RemoveTag();
    EXPECT_EQ(loop.Database().Tags().size(), 2u);
    loop.RemoveTag();
    EXPECT_EQ(loop.Database().Tags().size(), 1u);
}

TEST_F(LoopCheckWindow, VerifyNamesTheFirstResultChangedBehindTheProgramsBack)
{
    CLoopCheckDlg& loop = Start();
    AddFt101(loop);
    for (int run = 0; run < 2; ++run) {
        Technician(QStringLiteral("Aoki"));
        loop.StartTest(false);
        for (const char* reading : {"0.0", "37.5", "75.0", "112.5", "150.0"}) {
            SettleOut(loop);
            Type(*loop.TestView(), QString::fromLatin1(reading));
        }
        ASSERT_EQ(loop.Procedure().GetState(), State::Done);
    }
    EXPECT_TRUE(loop.VerifyResults().ok);

    // A reading changed with sqlite3, the triggers out of the way.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(m_dbPath.c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw,
                           "DROP TRIGGER point_no_update; UPDATE point SET reading = 75.2 WHERE result = 2 AND "
                           "\"index\" = 3",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);

    const ChainCheck check = loop.VerifyResults();
    EXPECT_FALSE(check.ok);
    ASSERT_TRUE(check.badId.has_value());
    EXPECT_EQ(*check.badId, 2);
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Stop);
    EXPECT_NE(prompter.shown.back().text.find(check.reason), std::string::npos);
    EXPECT_TRUE(loop.StatusText().contains(QString::fromStdString(check.reason)));

    // The same check from the main window's menu, the window closed.
    const QPointer<CLoopCheckDlg> first(&loop);
    loop.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(first.isNull());
    const std::size_t shown = prompter.shown.size();
    app->MainFrame()->LoopVerifyAction()->trigger();
    ASSERT_NE(app->LoopCheck(), nullptr);
    EXPECT_TRUE(app->LoopCheck()->isVisible());
    ASSERT_EQ(prompter.shown.size(), shown + 1);
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Stop);
    EXPECT_NE(prompter.shown.back().text.find(check.reason), std::string::npos);
}

// A SCPI client's loop check and the window's run on the same session: a
// channel under one test is refused to the other with the reason, and
// whichever ends puts the channel back as the operator left it.
TEST_F(LoopCheckWindow, AClientsTestAndTheWindowsNeverShareAChannel)
{
    CLoopCheckDlg& loop = Start();
    AddFt101(loop);
    remote::ScpiInstrument& scpi = app->RemoteControl()->Instrument();
    constexpr remote::ClientId kClient = 7;
    scpi.ClientCame(kClient, "127.0.0.1:50000");
    const auto send = [&](const std::string& line) {
        std::string response;
        EXPECT_EQ(scpi.Execute(kClient, line, response), remote::LineService::Outcome::Done) << line;
        return response;
    };
    EXPECT_EQ(send("LCH:STAR \"FT-101\",\"Sato\""), "");
    EXPECT_EQ(send("SYST:ERR?").substr(0, 2), "0,");
    Tick(4);
    const double point = Channel().setValue;

    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    EXPECT_FALSE(loop.Procedure().Running());
    EXPECT_EQ(loop.TestView(), nullptr);
    EXPECT_NE(prompter.shown.back().text.find(Tr(LoopStartRefusalText(LoopStartRefusal::Busy))), std::string::npos)
        << prompter.shown.back().text;
    Tick(4);
    EXPECT_DOUBLE_EQ(Channel().setValue, point);
    EXPECT_EQ(send("LCH:STAT?").substr(0, 4), "SETT");

    // The client's test aborted: the window's runs, and the client's next
    // start is refused meanwhile.
    EXPECT_EQ(send("LCH:ABOR"), "");
    ExpectChannelAsBefore(false);
    Technician(QStringLiteral("Aoki"));
    loop.StartTest(false);
    ASSERT_TRUE(loop.Procedure().Running());
    EXPECT_EQ(send("LCH:STAR \"FT-101\",\"Sato\""), "");
    EXPECT_NE(send("SYST:ERR?").substr(0, 2), "0,");
    SettleOut(loop);
    EXPECT_EQ(loop.Procedure().GetState(), State::AwaitingReading);
    loop.TestView()->AbortTest();
    ExpectChannelAsBefore(false);
    scpi.ClientWent(kClient);
}

} // namespace
} // namespace velmora
