#include "app/CMainFrame.h"

#include <algorithm>

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "app/AppIcon.h"
#include "app/RecentFileList.h"
#include "model/CVelmoraDoc.h"
#include "panel/CVelmoraView.h"
#include "panelcore/PanelLayout.h"
#include "platform/Prompter.h"

namespace velmora {

namespace {

QString FirstLocalFile(const QMimeData* mime)
{
    if (mime == nullptr || !mime->hasUrls())
        return {};
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

} // namespace

int CMainFrame::AcceptedFrameWidth(int width)
{
    if (width == kWidthOneChannel || width == kWidthTwoChannels || width == kWidthFourChannels)
        return width;
    return kWidthOneChannel;
}

QPoint CMainFrame::FramePosition(const QRect& workArea)
{
    // The edges are exclusive coordinates (a 1920-pixel area starting at 0
    // ends at 1920); the divisions truncate toward zero. The offsets are the
    // halves of the one-channel frame whatever the width, so wider frames
    // grow to the right of the same corner.
    const int right = workArea.x() + workArea.width();
    const int bottom = workArea.y() + workArea.height();
    return QPoint(right / 2 - kWidthOneChannel / 2, bottom / 2 - kFrameHeight / 2);
}

QPoint CMainFrame::KeptInside(QPoint pos, int width, const QRect& workArea)
{
    const int right = workArea.x() + workArea.width();
    if (pos.x() + width > right)
        pos.setX(std::max(workArea.x(), right - width));
    return pos;
}

CMainFrame::CMainFrame(int frameWidth, QWidget* parent)
    : QMainWindow(parent),
      m_nFrameWidth(AcceptedFrameWidth(frameWidth))
{
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    CreateMenus();
    setFixedSize(FixedSize(m_nFrameWidth));

    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr)
        move(KeptInside(FramePosition(screen->availableGeometry()), m_nFrameWidth, screen->availableGeometry()));
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus()
{
    m_pFileMenu = menuBar()->addMenu(tr("ファイル(&F)"));
    auto addFileAction = [this](const QString& text, const QKeySequence& keys, void (CMainFrame::*signal)()) {
        QAction* action = m_pFileMenu->addAction(text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, signal);
        return action;
    };
    addFileAction(tr("新規設定(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N), &CMainFrame::NewRequested);
    addFileAction(tr("開く(&O)..."), QKeySequence(Qt::CTRL | Qt::Key_O), &CMainFrame::OpenRequested);
    addFileAction(tr("上書き保存(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S), &CMainFrame::SaveRequested);
    addFileAction(tr("名前を付けて保存(&A)..."), QKeySequence(), &CMainFrame::SaveAsRequested);
    m_pFileMenu->addSeparator();
    m_pRecentPlaceholder = m_pFileMenu->addAction(tr("最近使った設定"));
    m_pRecentPlaceholder->setEnabled(false);
    for (int i = 0; i < RecentFileList::kMaxEntries; ++i) {
        QAction* entry = m_pFileMenu->addAction(QString());
        entry->setVisible(false);
        connect(entry, &QAction::triggered, this, [this, i] { Q_EMIT RecentRequested(i); });
        m_recentActions << entry;
    }
    m_pFileMenu->addSeparator();
    QAction* exit = m_pFileMenu->addAction(tr("アプリケーションの終了(&X)"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* settings = menuBar()->addMenu(tr("設定"));
    m_pAdjust = settings->addAction(tr("アナログ出力調整"));
    connect(m_pAdjust, &QAction::triggered, this, &CMainFrame::OnOutputAdjust);
    connect(settings, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    settings->addSeparator();
    m_pRemote = settings->addAction(tr("リモート制御 (SCPI)"));
    m_pRemote->setCheckable(true);
    auto* corner = new QWidget(this);
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    cornerLayout->setSpacing(0);
    m_pRecordState = new QLabel(corner);
    m_pRecordState->setObjectName(QStringLiteral("recordState"));
    m_pRecordState->setContentsMargins(4, 0, 6, 0);
    m_pRecordState->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_pRecordState->hide();
    m_pRemoteState = new QLabel(corner);
    m_pRemoteState->setObjectName(QStringLiteral("remoteState"));
    m_pRemoteState->setContentsMargins(4, 0, 6, 0);
    m_pRemoteState->hide();
    cornerLayout->addWidget(m_pRecordState);
    cornerLayout->addWidget(m_pRemoteState);
    menuBar()->setCornerWidget(corner, Qt::TopRightCorner);

    QMenu* view = menuBar()->addMenu(tr("表示(&V)"));
    // A disabled item says why in its tooltip.
    view->setToolTipsVisible(true);
    m_pTrend = view->addAction(tr("トレンド(&T)"));
    connect(m_pTrend, &QAction::triggered, this, &CMainFrame::TrendRequested);
    SetTrendAvailable(false, QString());

    QMenu* help = menuBar()->addMenu(tr("ヘルプ(&H)"));
    connect(help->addAction(tr("発生器　情報")), &QAction::triggered, this, &CMainFrame::OnGeneratorInfo);
    connect(help->addAction(tr("発生器　ファームウェア更新")), &QAction::triggered, this,
            &CMainFrame::OnFirmwareUpdate);
    help->addSeparator();
    connect(help->addAction(tr("バージョン情報 Velmora(&A)...")), &QAction::triggered, this,
            &CMainFrame::AboutRequested);

    // The documenting loop check, in a window of its own over the panel's
    // session. Last, after Help: the one-channel frame is too narrow for
    // another menu, and the one it puts behind the menu bar's extension
    // button must not be Help, whose generator information and firmware
    // update every unit needs.
    QMenu* loop = menuBar()->addMenu(tr("ループチェック(&L)"));
    m_pLoopCheck = loop->addAction(tr("タグ一覧(&T)..."));
    connect(m_pLoopCheck, &QAction::triggered, this, &CMainFrame::LoopCheckRequested);
    m_pLoopVerify = loop->addAction(tr("記録の検証(&V)"));
    connect(m_pLoopVerify, &QAction::triggered, this, &CMainFrame::LoopVerifyRequested);

    // Printing has a key but no menu item.
    auto* print = new QAction(this);
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(print, &QAction::triggered, this, &CMainFrame::OnFilePrint);
    addAction(print);

    UpdateCommandStates();
}

void CMainFrame::SetTrendAvailable(bool available, const QString& whyNot)
{
    m_pTrend->setEnabled(available);
    m_pTrend->setToolTip(available ? tr("各チャンネルの出力の推移を実行記録から表示します") : whyNot);
}

void CMainFrame::ShowRecordState(const QString& text, const QString& tooltip)
{
    m_pRecordState->setText(text);
    m_pRecordState->setToolTip(tooltip);
    m_pRecordState->setVisible(!text.isEmpty());
    menuBar()->adjustSize();
}

void CMainFrame::ShowRemoteState(const QString& text, const QString& tooltip)
{
    m_pRemoteState->setText(text);
    m_pRemoteState->setToolTip(tooltip);
    m_pRemoteState->setVisible(!text.isEmpty());
    // The corner widget only takes its place when the bar lays out again.
    menuBar()->adjustSize();
}

QSize CMainFrame::FixedSize(int width) const
{
    return QSize(width, menuBar()->sizeHint().height() + kPanelHeight);
}

void CMainFrame::SetPanel(CVelmoraView* panel)
{
    m_pPanel = panel;
    setCentralWidget(panel);
    if (panel != nullptr)
        connect(panel, &CVelmoraView::FrameWidthChanged, this, &CMainFrame::ApplyFrameWidth);
    UpdateCommandStates();
}

void CMainFrame::ApplyFrameWidth(int width)
{
    m_nFrameWidth = AcceptedFrameWidth(width);
    setFixedSize(FixedSize(m_nFrameWidth));
    if (QScreen* s = screen())
        move(KeptInside(pos(), m_nFrameWidth, s->availableGeometry()));
}

void CMainFrame::SetDocumentTitle(const QString& title)
{
    setWindowTitle(title + QStringLiteral(" - ") + QString::fromUtf8(kAppTitle));
}

void CMainFrame::SetRecentFiles(const QStringList& paths)
{
    RecentFileList texts;
    for (auto it = paths.crbegin(); it != paths.crend(); ++it)
        texts.Add(*it);
    const int shown = static_cast<int>(texts.Entries().size());
    m_pRecentPlaceholder->setVisible(shown == 0);
    for (int i = 0; i < m_recentActions.size(); ++i) {
        m_recentActions[i]->setVisible(i < shown);
        m_recentActions[i]->setText(texts.MenuText(i));
    }
}

void CMainFrame::UpdateCommandStates()
{
    m_pAdjust->setEnabled(m_pPanel != nullptr && m_pPanel->IsConnected());
}

void CMainFrame::OnOutputAdjust()
{
    // The key path does not pass through the menu's update.
    if (m_pPanel != nullptr && m_pPanel->IsConnected())
        m_pPanel->OnOutputAdjust();
}

void CMainFrame::OnGeneratorInfo()
{
    if (m_pPanel != nullptr)
        m_pPanel->OnGeneratorInfo();
}

void CMainFrame::OnFirmwareUpdate()
{
    if (m_pPanel != nullptr)
        m_pPanel->OnFirmwareUpdate();
}

void CMainFrame::PrintPanel(QPaintDevice& device)
{
    if (m_pPanel == nullptr)
        return;
    QPainter painter(&device);
    if (!painter.isActive())
        return;
    // A printer has many more dots per inch than the screen; keep the
    // drawing at the size the operator sees.
    const qreal screenDpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const qreal scale = device.logicalDpiX() / screenDpi;
    painter.scale(scale, scale);
    m_pPanel->PaintPanel(painter);
}

void CMainFrame::OnFilePrint()
{
    if (m_pPanel == nullptr)
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintPanel(printer);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!FirstLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QString path = FirstLocalFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opening may show a message box; let the drag finish first.
    QTimer::singleShot(0, this, [this, path] { Q_EMIT FileDropped(path); });
}

} // namespace velmora
