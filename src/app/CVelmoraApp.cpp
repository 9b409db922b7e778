#include "app/CVelmoraApp.h"

#include <cstdio>

#include <QApplication>
#include <QFileInfo>
#include <QAction>
#include <QSettings>
#include <QTimer>

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CRemoteControl.h"
#include "link/PortDiscovery.h"
#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/ui/CLoopCheckDlg.h"
#include "panel/CVelmoraView.h"
#include "panelcore/PanelTexts.h"
#include "protocol/GeneratorLink.h"
#include "protocol/LinkFactory.h"
#include "record/RecordPlace.h"
#include "record/ui/CTrendDlg.h"

namespace velmora {

namespace {

std::string ToStd(const QString& text)
{
    return text.toUtf8().toStdString();
}

void ShowFileError(Prompter& prompter, const char* text, const QString& path)
{
    prompter.Message(TrFormat(text, {ToStd(path)}), kAppTitle, PromptIcon::Exclamation);
}

} // namespace

CVelmoraApp::CVelmoraApp(Prompter& prompter, Clock& clock, WorkingDirectoryFn workingDirectory,
                         std::unique_ptr<GeneratorLink> link)
    : m_prompter(prompter),
      m_clock(clock),
      m_workingDirectory(std::move(workingDirectory)),
      m_pLink(std::move(link))
{
}

CVelmoraApp::~CVelmoraApp()
{
    ExitInstance();
}

CMainFrame* CVelmoraApp::MainFrame() const
{
    return m_pFrame;
}

CVelmoraView* CVelmoraApp::View() const
{
    return m_pView;
}

std::vector<FileFilter> CVelmoraApp::DocumentFilters()
{
    return {{"Velmora Files (*.ini)", "*.ini"},
            {QCoreApplication::translate("velmora::CVelmoraApp", "すべてのファイル (*.*)").toStdString(), "*.*"}};
}

bool CVelmoraApp::InitInstance(const AppOptions& options)
{
    if (m_bStarted)
        return false;
    m_bStarted = true;
    m_options = options;
    m_recentFiles.Load();

    // The document reads the state file before the frame exists: the frame
    // takes its width from it.
    m_pDoc = std::make_unique<CVelmoraDoc>(m_prompter, m_workingDirectory);
    if (!m_pLink)
        m_pLink = MakeGeneratorLink(m_clock, m_prompter);

    m_pFrame = new CMainFrame(m_pDoc->m_nFrameWidth);
    m_pDoc->m_nFrameWidth = m_pFrame->FrameWidth();
    m_pView = new CVelmoraView(*m_pDoc, *m_pLink, m_prompter,
                               m_tickSources ? m_tickSources() : std::make_unique<ThreadTickSource>(m_clock));
    m_pFrame->SetPanel(m_pView);
    StartRecord();
    m_pView->SetExtraPorts(m_options.ports);
    m_pFrame->SetRecentFiles(m_recentFiles.Entries());
    m_pFrame->SetDocumentTitle(m_strTitle);

    connect(m_pFrame, &CMainFrame::NewRequested, this, &CVelmoraApp::OnFileNew);
    connect(m_pFrame, &CMainFrame::OpenRequested, this, &CVelmoraApp::OnFileOpen);
    connect(m_pFrame, &CMainFrame::SaveRequested, this, &CVelmoraApp::OnFileSave);
    connect(m_pFrame, &CMainFrame::SaveAsRequested, this, &CVelmoraApp::OnFileSaveAs);
    connect(m_pFrame, &CMainFrame::RecentRequested, this, &CVelmoraApp::OnOpenRecentFile);
    connect(m_pFrame, &CMainFrame::AboutRequested, this, &CVelmoraApp::OnAppAbout);
    connect(m_pFrame, &CMainFrame::FileDropped, this, &CVelmoraApp::OpenDocumentFile);
    connect(m_pFrame, &CMainFrame::TrendRequested, this, &CVelmoraApp::OnViewTrend);
    connect(m_pFrame, &CMainFrame::LoopCheckRequested, this, &CVelmoraApp::OnLoopCheck);
    connect(m_pFrame, &CMainFrame::LoopVerifyRequested, this, &CVelmoraApp::OnLoopVerify);
    if (!m_strRecordPath.empty())
        m_pFrame->SetTrendAvailable(true, {});
    else if (!m_options.record)
        m_pFrame->SetTrendAvailable(false, tr("--no-record で起動したため、実行記録がありません"));
    else
        m_pFrame->SetTrendAvailable(false, tr("実行記録の置き場所がありません（HOME が設定されていません）"));

    m_pRemote = std::make_unique<CRemoteControl>(*m_pView);
    connect(m_pRemote.get(), &CRemoteControl::StateChanged, this, &CVelmoraApp::ShowRemoteState);
    connect(m_pFrame->RemoteAction(), &QAction::triggered, this, [this](bool on) { OnRemoteToggled(on, true); });

    if (m_options.file) {
        // A file named on the command line replaces the new document; the
        // state file's settings stay marked as loaded.
        if (!OpenDocumentFile(QString::fromUtf8(m_options.file->c_str())))
            return false;
    } else {
        ClearPathName();
        if (!m_pDoc->NewSettings())
            return false;
        InitialUpdate();
    }

    m_pFrame->show();
    m_pFrame->repaint();

    // --scpi listens for this run; otherwise the switch as it was left.
    if (m_options.scpi || RemoteSwitchRemembered())
        QTimer::singleShot(0, this, [this] { OnRemoteToggled(true, false); });

    if (m_options.connect) {
        QPointer<CVelmoraView> view = m_pView;
        QTimer::singleShot(0, this, [view] {
            if (view && !view->IsConnected())
                view->ConnectUnit();
        });
    }
    return true;
}

void CVelmoraApp::ExitInstance()
{
    // The clients go first: nothing they sent may run on a panel that is
    // being taken down.
    m_pRemote.reset();
    // A loop check still running puts its channel back, and keeps its
    // result, before the panel writes every output off and lets the port go.
    delete m_pLoopCheck.data();
    if (m_pView && m_pView->IsConnected())
        m_pView->ShutdownForClose();
    // The outputs written off at the close are the record's last events.
    if (m_pView)
        m_pView->Session().SetRecorder(nullptr);
    m_pRecorder.reset();
    m_pRecordWriter.reset();
    delete m_pTrend.data();
    delete m_pFrame.data();
    m_pFrame = nullptr;
    m_pView = nullptr;
    if (m_bStarted)
        m_recentFiles.Save();
    // The document writes the state file as it goes.
    m_pDoc.reset();
    m_pLink.reset();
}

void CVelmoraApp::InitialUpdate()
{
    PreselectExplicitPort();
    m_pView->InitialisePanel();
    m_pFrame->ApplyFrameWidth(m_pDoc->m_nFrameWidth);
    m_pFrame->UpdateCommandStates();
}

// A bench names the unit's port on the command line; when the remembered
// port is not there (a simulated unit gets a new pseudo-terminal each run)
// the first named port is chosen instead, so that no question about a
// missing port stops an unattended start.
void CVelmoraApp::PreselectExplicitPort()
{
    if (m_options.ports.empty())
        return;
    const std::vector<PortEntry> ports = DiscoverPorts(m_options.ports);
    for (const PortEntry& entry : ports) {
        if (entry.portName == m_pDoc->LastPortName())
            return;
    }
    for (const std::string& wanted : m_options.ports) {
        for (const PortEntry& entry : ports) {
            if (IsSamePort(entry.portName, wanted)) {
                m_pDoc->SetLastPort(entry.portName);
                return;
            }
        }
    }
}

void CVelmoraApp::SetPathName(const QString& path)
{
    m_strPathName = path;
    m_strTitle = QFileInfo(path).fileName();
    if (m_pFrame)
        m_pFrame->SetDocumentTitle(m_strTitle);
    AddRecentFile(path);
}

void CVelmoraApp::ClearPathName()
{
    m_strPathName.clear();
    m_strTitle = tr(kUntitled);
    if (m_pFrame)
        m_pFrame->SetDocumentTitle(m_strTitle);
}

void CVelmoraApp::AddRecentFile(const QString& path)
{
    m_recentFiles.Add(path);
    m_recentFiles.Save();
    if (m_pFrame)
        m_pFrame->SetRecentFiles(m_recentFiles.Entries());
}

void CVelmoraApp::OnFileNew()
{
    if (!m_pDoc)
        return;
    // The path and title go before the question, as the settings may still
    // be those of the file: a save must not silently overwrite it.
    ClearPathName();
    if (!m_pDoc->NewSettings())
        return;
    InitialUpdate();
}

void CVelmoraApp::OnFileOpen()
{
    const std::optional<std::string> path = m_prompter.ChooseOpenFile(tr("開く").toStdString(), DocumentFilters());
    if (path)
        OpenDocumentFile(QString::fromUtf8(path->c_str()));
}

bool CVelmoraApp::OpenDocumentFile(const QString& path)
{
    if (!m_pDoc || path.isEmpty())
        return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    const OpenResult result = m_pDoc->OpenDocument(ToStd(full));
    if (!CountsAsOpened(result)) {
        ShowFileError(m_prompter, kMsgCannotOpen, full);
        return false;
    }
    SetPathName(full);
    InitialUpdate();
    return true;
}

void CVelmoraApp::OnOpenRecentFile(int index)
{
    if (index < 0 || index >= m_recentFiles.Entries().size())
        return;
    const QString path = m_recentFiles.Entries()[index];
    if (!OpenDocumentFile(path)) {
        // A file that has gone does not stay on offer.
        m_recentFiles.Remove(m_recentFiles.Entries().indexOf(path));
        m_recentFiles.Save();
        if (m_pFrame)
            m_pFrame->SetRecentFiles(m_recentFiles.Entries());
    }
}

bool CVelmoraApp::OnFileSave()
{
    if (m_strPathName.isEmpty())
        return OnFileSaveAs();
    return SaveDocumentTo(m_strPathName);
}

bool CVelmoraApp::OnFileSaveAs()
{
    if (!m_pDoc)
        return false;
    QString suggested = m_strPathName;
    if (suggested.isEmpty()) {
        suggested = m_strTitle;
        if (QFileInfo(suggested).suffix().isEmpty())
            suggested += QStringLiteral(".ini");
    }
    const std::optional<std::string> path =
        m_prompter.ChooseSaveFile(tr("名前を付けて保存").toStdString(), DocumentFilters(), ".ini", ToStd(suggested));
    if (!path)
        return false;
    return SaveDocumentTo(QFileInfo(QString::fromUtf8(path->c_str())).absoluteFilePath());
}

bool CVelmoraApp::SaveDocumentTo(const QString& path)
{
    const AtomicWriteResult result = m_pDoc->SaveDocument(ToStd(path));
    if (!result) {
        m_prompter.Message(TrFormat(kMsgCannotSave, {ToStd(path)}) + "\n" + result.Describe(), kAppTitle,
                           PromptIcon::Exclamation);
        return false;
    }
    SetPathName(path);
    return true;
}

void CVelmoraApp::OnAppAbout()
{
    CAboutDlg dialog(m_pFrame);
    dialog.exec();
}

void CVelmoraApp::OnViewTrend()
{
    if (m_strRecordPath.empty() || m_pFrame == nullptr)
        return;
    if (m_pTrend == nullptr) {
        // A window of its own beside the panel, gone when it is closed.
        m_pTrend = new CTrendDlg(m_strRecordPath, m_prompter, m_pFrame);
        m_pTrend->setAttribute(Qt::WA_DeleteOnClose);
    }
    // The unit this window drives, the last one it connected to.
    m_pTrend->SetPort(m_pLink->PortName());
    m_pTrend->show();
    m_pTrend->raise();
    m_pTrend->activateWindow();
}

void CVelmoraApp::OnLoopCheck()
{
    if (m_pFrame == nullptr || m_pView == nullptr)
        return;
    if (m_pLoopCheck == nullptr) {
        // A window of its own beside the panel, gone when it is closed (a
        // test running in it is aborted and its channel put back first).
        m_pLoopCheck = new CLoopCheckDlg(*m_pView, m_prompter, DefaultLoopCheckPath(), m_pFrame);
        m_pLoopCheck->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pLoopCheck->show();
    m_pLoopCheck->raise();
    m_pLoopCheck->activateWindow();
}

void CVelmoraApp::OnLoopVerify()
{
    OnLoopCheck();
    if (m_pLoopCheck != nullptr)
        m_pLoopCheck->VerifyResults();
}

void CVelmoraApp::OnRemoteToggled(bool on, bool remember)
{
    if (!m_pRemote)
        return;
    QSettings settings = RecentFileList::OpenSettings();
    if (!on) {
        m_pRemote->StopTcp();
        if (remember)
            settings.setValue(QStringLiteral("Remote/Listen"), false);
        return;
    }
    remote::TcpEndpoint endpoint;
    std::vector<remote::Cidr> allow = m_options.scpiAllow;
    if (m_options.scpi) {
        endpoint = *m_options.scpi;
    } else if (const auto stored = remote::ParseTcpEndpoint(
                   settings.value(QStringLiteral("Remote/Address")).toString().toStdString())) {
        endpoint = *stored;
    }
    if (const auto failure = m_pRemote->ListenTcp(endpoint, allow)) {
        m_prompter.Message(tr("SCPI の待ち受けを開始できません。\n%1").arg(*failure).toStdString(), kCaptionConfirm,
                           PromptIcon::Exclamation);
        ShowRemoteState();
        return;
    }
    // The operator's switch is remembered; --scpi holds for its run only.
    if (remember) {
        settings.setValue(QStringLiteral("Remote/Listen"), true);
        settings.setValue(QStringLiteral("Remote/Address"), m_pRemote->TcpAddress());
    }
}

void CVelmoraApp::StartRecord()
{
    if (!m_options.record)
        return;
    m_strRecordPath = DefaultRecordPath();
    if (m_strRecordPath.empty()) {
        std::fputs("velmora: no place for the run record (HOME is not set): running without one\n", stderr);
        return;
    }
    RecordWriter::Options options;
    options.path = m_strRecordPath;
    options.source = record_source::kPanel;
    options.limitBytes = m_options.recordLimit.value_or(RecordWriter::kDefaultLimitBytes);
    // The writer's thread reports; the window shows it on its own thread.
    QPointer<CVelmoraApp> self(this);
    options.report = [self](const std::string& line) {
        std::fprintf(stderr, "velmora: %s\n", line.c_str());
        const QString text = QString::fromStdString(line);
        QMetaObject::invokeMethod(
            qApp,
            [self, text] {
                if (self)
                    self->ShowRecordTrouble(text);
            },
            Qt::QueuedConnection);
    };
    m_pRecordWriter = std::make_unique<RecordWriter>(std::move(options));
    m_pRecorder = std::make_unique<RunRecorder>(*m_pRecordWriter, record_source::kPanel);
    m_pView->Session().SetRecorder(m_pRecorder.get());
}

void CVelmoraApp::ShowRecordTrouble(const QString& line)
{
    if (!m_pFrame || !m_pRecordWriter)
        return;
    // The state now, not the line's: a report of recovery clears the mark.
    const RecordState state = m_pRecordWriter->State();
    const QString text = state == RecordState::Recording ? QString()
        : state == RecordState::Off                      ? tr("記録なし")
                                                         : tr("記録できません");
    m_pFrame->ShowRecordState(text, line);
}

bool CVelmoraApp::RemoteSwitchRemembered()
{
    return RecentFileList::OpenSettings().value(QStringLiteral("Remote/Listen"), false).toBool();
}

void CVelmoraApp::ShowRemoteState()
{
    if (!m_pRemote || m_pFrame == nullptr)
        return;
    const bool listening = m_pRemote->IsListeningTcp();
    m_pFrame->RemoteAction()->setChecked(listening);
    const auto clients = static_cast<int>(m_pRemote->ClientCount());
    const bool locked = m_pView != nullptr && m_pView->IsRemoteLocked();
    QString text;
    if (locked)
        text = tr("リモート操作中");
    else if (clients > 0)
        text = tr("リモート %1").arg(clients);
    else if (listening)
        text = QStringLiteral("SCPI");
    QStringList tips;
    if (listening)
        tips << tr("SCPI: %1 で待ち受け中").arg(m_pRemote->TcpAddress());
    if (clients > 0)
        tips << tr("接続中のクライアント: %1").arg(clients);
    if (locked)
        tips << tr("リモートのクライアントがパネルの出力操作を占有しています（SYSTem:LOCal で解除）");
    m_pFrame->ShowRemoteState(text, tips.join(QLatin1Char('\n')));
    if (listening)
        m_pFrame->RemoteAction()->setText(tr("リモート制御 (SCPI %1)").arg(m_pRemote->TcpAddress()));
    else
        m_pFrame->RemoteAction()->setText(tr("リモート制御 (SCPI)"));
}

} // namespace velmora
