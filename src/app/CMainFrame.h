#pragma once
// The main window: the menu, the panel as its only content, a size the
// operator cannot change (the panel changes the width when the channel count
// changes), and files dropped on it. No toolbar, no status bar.
//
// The document commands are only requested here (signals); the application
// carries them out.

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QPaintDevice;

namespace velmora {

class CVelmoraView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The nominal height of the whole window, caption and borders included,
    // which places it on the screen. The window itself is sized to its menu
    // bar and the panel (FixedSize).
    static constexpr int kFrameHeight = 530;
    static constexpr int kWidthOneChannel = 300;
    static constexpr int kWidthTwoChannels = 432;
    // Two channel columns more than the two-channel width, 205 pixels apart,
    // so that channels 3 and 4 can be reached.
    static constexpr int kWidthFourChannels = 842;

    // One of the three widths, or the one-channel width for anything else.
    static int AcceptedFrameWidth(int width);
    // Where the frame opens on a screen whose free area (without panels and
    // taskbars) is `workArea`: half its right and bottom edges, less half the
    // frame's nominal size.
    static QPoint FramePosition(const QRect& workArea);
    // `pos` moved left, no further than the area's left edge, so that a frame
    // of `width` does not reach past the area's right edge (the four-channel
    // frame on a small screen).
    static QPoint KeptInside(QPoint pos, int width, const QRect& workArea);

    // Takes the document's frame width (corrected to an accepted width,
    // FrameWidth) and places itself on the screen's free area.
    explicit CMainFrame(int frameWidth = kWidthOneChannel, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The panel becomes the window's content; the frame takes ownership.
    void SetPanel(CVelmoraView* panel);
    CVelmoraView* Panel() const { return m_pPanel; }

    // The panel's width change, keeping the position.
    void ApplyFrameWidth(int width);
    // The accepted width the frame has now.
    int FrameWidth() const { return m_nFrameWidth; }
    // The window's fixed size for a frame width: that width, and the menu
    // bar with the whole panel below it. (A window of 300/432 x 530 with
    // caption, menu and borders had a client area of about this size.)
    QSize FixedSize(int width) const;

    // Caption "<title> - Velmora".
    void SetDocumentTitle(const QString& title);
    // The entries of the recent list (full paths, most recent first).
    void SetRecentFiles(const QStringList& paths);

    // Draws the panel's frames, numbers and fixed texts on `device` at the
    // size they have on the screen.
    void PrintPanel(QPaintDevice& device);

    // Enables the commands that depend on the connection.
    void UpdateCommandStates();

    QAction* AdjustAction() const { return m_pAdjust; }
    // 表示 › トレンド: enabled while the run keeps a record; otherwise its
    // tooltip says why not.
    QAction* TrendAction() const { return m_pTrend; }
    void SetTrendAvailable(bool available, const QString& whyNot);
    // 設定 › リモート制御 (SCPI): the TCP listener's switch.
    QAction* RemoteAction() const { return m_pRemote; }
    // The corner of the menu bar: remote clients and the listener, empty
    // when there is nothing to tell.
    void ShowRemoteState(const QString& text, const QString& tooltip);
    // Beside it: the run record's trouble, empty while it records.
    void ShowRecordState(const QString& text, const QString& tooltip);
    QMenu* FileMenu() const { return m_pFileMenu; }
    // ループチェック › タグ一覧 and › 記録の検証.
    QAction* LoopCheckAction() const { return m_pLoopCheck; }
    QAction* LoopVerifyAction() const { return m_pLoopVerify; }

Q_SIGNALS:
    void NewRequested();
    void OpenRequested();
    void SaveRequested();
    void SaveAsRequested();
    void RecentRequested(int index);
    void AboutRequested();
    void TrendRequested();
    void LoopCheckRequested();
    void LoopVerifyRequested();
    void FileDropped(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenus();
    void OnFilePrint();
    void OnOutputAdjust();
    void OnGeneratorInfo();
    void OnFirmwareUpdate();

    int m_nFrameWidth = kWidthOneChannel;
    CVelmoraView* m_pPanel = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentPlaceholder = nullptr;
    QList<QAction*> m_recentActions;
    QAction* m_pAdjust = nullptr;
    QAction* m_pRemote = nullptr;
    QAction* m_pTrend = nullptr;
    QAction* m_pLoopCheck = nullptr;
    QAction* m_pLoopVerify = nullptr;
    QLabel* m_pRemoteState = nullptr;
    QLabel* m_pRecordState = nullptr;
};

} // namespace velmora
