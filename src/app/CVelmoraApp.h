#pragma once
// The application: one settings document, one link to the unit, one main
// frame with the panel, created and torn down in a fixed order, and the
// document commands of the file menu (new, open, save, save as, the recent
// list) with the document's path and title.
//
// Start-up: the document reads the state file, the frame and the panel are
// created, then either the file named on the command line is opened or a new
// document is made (which may ask for the circuit count); the panel is
// initialised and the window shown. Tear-down: the panel switches every
// output off and disconnects if connected, the frame goes, the recent list
// is stored, the document writes the state file.
//
// Thread contract: UI thread only.

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QString>

#include "app/CommandLine.h"
#include "app/RecentFileList.h"
#include "loopcheck/ui/CLoopCheckDlg.h"
#include "panel/PanelTick.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"
#include "record/ui/CTrendDlg.h"

#include "model/CVelmoraDoc.h"

namespace velmora {

class CMainFrame;
class CRemoteControl;
class CVelmoraView;

inline constexpr const char* kUntitled = QT_TRANSLATE_NOOP("velmora::CVelmoraApp", "無題");

class CVelmoraApp : public QObject {
    Q_OBJECT
public:
    // `workingDirectory` locates the state file; `link` replaces the link
    // over the real channels (tests).
    CVelmoraApp(Prompter& prompter, Clock& clock, WorkingDirectoryFn workingDirectory = ProcessWorkingDirectory,
                std::unique_ptr<GeneratorLink> link = nullptr);
    ~CVelmoraApp() override;
    CVelmoraApp(const CVelmoraApp&) = delete;
    CVelmoraApp& operator=(const CVelmoraApp&) = delete;

    // Where the panel's ticks come from; by default a thread on the clock.
    // A test whose clock is a fake one, which no second thread may wait on,
    // supplies a source that posts nothing. Before InitInstance.
    using TickSourceFactory = std::function<std::unique_ptr<PanelTickSource>()>;
    void SetTickSourceFactory(TickSourceFactory factory) { m_tickSources = std::move(factory); }

    // Start-up. False when the program is to end (the circuit count was
    // cancelled, or the named file cannot be opened); the state file is
    // written all the same when the application goes.
    bool InitInstance(const AppOptions& options);
    // Tear-down, also run by the destructor. Idempotent.
    void ExitInstance();

    CMainFrame* MainFrame() const;
    CVelmoraView* View() const;
    CVelmoraDoc* Document() const { return m_pDoc.get(); }
    GeneratorLink* Link() const { return m_pLink.get(); }

    // Empty for a new document.
    const QString& PathName() const { return m_strPathName; }
    const QString& Title() const { return m_strTitle; }
    const RecentFileList& RecentFiles() const { return m_recentFiles; }

    static std::vector<FileFilter> DocumentFilters();

    CRemoteControl* RemoteControl() const { return m_pRemote.get(); }
    // The run record's file, empty when this run keeps none (--no-record).
    const std::string& RecordPath() const { return m_strRecordPath; }
    RecordWriter* Record() const { return m_pRecordWriter.get(); }
    // 設定 › リモート制御 (SCPI) (remembered for the next run), and --scpi
    // or the remembered switch at start-up (not remembered again).
    void OnRemoteToggled(bool on, bool remember);

    void OnFileNew();
    void OnFileOpen();
    // Opening from the menu, the recent list, the command line or a drop.
    bool OpenDocumentFile(const QString& path);
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(int index);
    void OnAppAbout();
    // 表示 › トレンド: opens the trend window on the run record, or brings
    // the open one to the front.
    void OnViewTrend();
    CTrendDlg* Trend() const { return m_pTrend; }
    // ループチェック › タグ一覧: opens the loop-check window on the
    // loop-check database, or brings the open one to the front.
    void OnLoopCheck();
    // ループチェック › 記録の検証: the window, and the check of the results'
    // chain shown in it.
    void OnLoopVerify();
    CLoopCheckDlg* LoopCheck() const { return m_pLoopCheck; }

private:
    void SetPathName(const QString& path);
    void ClearPathName();
    void AddRecentFile(const QString& path);
    bool SaveDocumentTo(const QString& path);
    void InitialUpdate();
    void PreselectExplicitPort();

    Prompter& m_prompter;
    Clock& m_clock;
    TickSourceFactory m_tickSources;
    WorkingDirectoryFn m_workingDirectory;
    AppOptions m_options;
    RecentFileList m_recentFiles;
    QString m_strPathName;
    QString m_strTitle = QCoreApplication::translate("velmora::CVelmoraApp", kUntitled);

    // Declared in the order of construction; ExitInstance releases them in
    // the reverse order, the frame (and the panel in it) first.
    std::unique_ptr<GeneratorLink> m_pLink;
    std::string m_strRecordPath;
    std::unique_ptr<RecordWriter> m_pRecordWriter;
    std::unique_ptr<RunRecorder> m_pRecorder;
    void StartRecord();
    void ShowRecordTrouble(const QString& line);
    std::unique_ptr<CVelmoraDoc> m_pDoc;
    std::unique_ptr<CRemoteControl> m_pRemote;
    void ShowRemoteState();
    static bool RemoteSwitchRemembered();
    QPointer<CMainFrame> m_pFrame;
    QPointer<CVelmoraView> m_pView;
    QPointer<CTrendDlg> m_pTrend;
    QPointer<CLoopCheckDlg> m_pLoopCheck;
    bool m_bStarted = false;
};

} // namespace velmora
