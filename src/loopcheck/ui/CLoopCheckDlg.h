#pragma once
// The loop-check window (ループチェック › タグ一覧): the tags of the
// loop-check database with each one's last result; add, edit, remove,
// import and export them as CSV; start an as-found or as-left test on the
// selected tag; its history with the drift plot; and the check of the
// results' hash chain.
//
//     auto* loop = new CLoopCheckDlg(view, prompter, DefaultLoopCheckPath(), mainFrame);
//     loop->show();
//
// The window owns the database and the one test procedure, which runs over
// the panel's session. It ticks the procedure after each of the panel's
// ticks (CVelmoraView::TickDone), so that the settle time, a lost unit and
// a channel changed meanwhile are seen on the panel's clock. Every way the
// window goes (closed by the technician, taken down with the program)
// destroys the procedure first, which puts the channel back as it was
// before the test; the owner must destroy the window before the panel's
// session, document and link.
//
// Thread contract: UI thread only.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopTag.h"

class QDialog;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velmora {

class CLoopHistoryDlg;
class CLoopTestView;
class CVelmoraView;
class LoopCheckProcedure;
class Prompter;

class CLoopCheckDlg : public QWidget {
    Q_OBJECT
public:
    // The tag list's columns.
    enum Column {
        kTag,
        kDescription,
        kLocation,
        kChannel,
        kRange,
        kSpan,
        kTolerance,
        kLastTest,
        kLastVerdict,
        kColumns
    };

    CLoopCheckDlg(CVelmoraView& view, Prompter& prompter, const std::string& databasePath, QWidget* parent = nullptr);
    ~CLoopCheckDlg() override;

    // Whether the database could be opened; why not, when not.
    bool IsDatabaseOpen() const { return m_database.IsOpen(); }
    QString DatabaseProblem() const { return m_strProblem; }

    // Runs a modal dialog (the tag's, the technician's) and answers its
    // result; QDialog::exec by default.
    using DialogRunner = std::function<int(QDialog&)>;
    void SetDialogRunner(DialogRunner runner) { m_dialogRunner = std::move(runner); }

    // The tags read again, the selection kept.
    void Reload();
    void SelectTag(const std::string& name);
    std::optional<LoopTag> SelectedTag() const;

    // The window's commands.
    void AddTag();
    void EditTag();
    void RemoveTag();
    void ImportCsv();
    void ExportCsv();
    void StartTest(bool asLeft);
    // A test that corrects result `supersedes` of the tag: the technician
    // says why, and the new result names the one it corrects.
    void StartCorrection(std::int64_t supersedes, bool asLeft);
    void ShowHistory();
    // The record of result `id`, or of the tag's latest check (id 0), to a
    // PDF, HTML or CSV file the technician names.
    void WriteReport(std::int64_t id, const std::string& tagName);
    // Walks the chain, shows what it found (in the status line and a box)
    // and answers it.
    ChainCheck VerifyResults();

    // For tests.
    QTableWidget* TagTable() const { return m_pTags; }
    CLoopTestView* TestView() const;
    CLoopHistoryDlg* History() const;
    const LoopCheckProcedure& Procedure() const { return *m_pProcedure; }
    LoopCheckDatabase& Database() { return m_database; }
    QString StatusText() const;

Q_SIGNALS:
    // A test ended, however it ended; its result is kept (or the test view
    // says why not).
    void TestEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void UpdateButtons();
    void StartTestOf(const LoopTag& tag, bool asLeft, std::optional<std::int64_t> supersedes);
    void OnTick();
    void AfterStep();
    int RunDialog(QDialog& dialog);
    void ShowStatus(const QString& text);
    QString TestHeading(const LoopTag& tag, bool asLeft, const QString& technician,
                        std::optional<std::int64_t> supersedes) const;

    QPointer<CVelmoraView> m_pView;
    Prompter& m_prompter;
    std::string m_strPath;
    QString m_strProblem;
    // Declared before the procedure, which keeps its results in it.
    LoopCheckDatabase m_database;
    std::unique_ptr<LoopCheckProcedure> m_pProcedure;
    bool m_bWasRunning = false;
    std::vector<LoopTag> m_tags;
    DialogRunner m_dialogRunner;

    QTableWidget* m_pTags = nullptr;
    QPushButton* m_pAdd = nullptr;
    QPushButton* m_pEdit = nullptr;
    QPushButton* m_pRemove = nullptr;
    QPushButton* m_pImport = nullptr;
    QPushButton* m_pExport = nullptr;
    QPushButton* m_pStartFound = nullptr;
    QPushButton* m_pStartLeft = nullptr;
    QPushButton* m_pHistoryButton = nullptr;
    QPushButton* m_pVerify = nullptr;
    QLabel* m_pStatus = nullptr;
    QPointer<CLoopTestView> m_pTestView;
    QPointer<CLoopHistoryDlg> m_pHistory;
};

} // namespace velmora
