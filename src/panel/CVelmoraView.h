#pragma once
// The main panel: the connect button and the port list, and one column of
// controls per channel. It owns the connection to the unit and the program's
// main loop, the 50 ms tick: each tick takes at most one reply line, runs the
// automatic outputs, polls one channel's status, watches for a unit that
// stopped answering, refreshes what is shown every fifth tick and drives the
// press-and-hold repeat of the step buttons.
//
// What needs no widget (the connection, the tick's work, the automatic
// outputs, the polling and tick-work switches) is the panel session's
// (panelcore/PanelSession.h); the panel keeps its controls, forwards the
// operator's actions to the session and the model, and shows what they
// report.
//
// Everything runs on the UI thread; the tick source's thread only posts the
// tick events (see PanelTick.h). Every message goes through the Prompter.

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/PortDiscovery.h"
#include "panelcore/HoldRepeat.h"
#include "panelcore/PanelSession.h"

class QComboBox;
class QLabel;
class QPainter;
class QPushButton;

namespace velmora {

class CBoxedLabel;
class CColorButton;
class CPlainRadio;
class CPresetButton;
class CStepButton;
class CValueField;
class CVelmoraDoc;
class GeneratorLink;
class PanelTickSource;
class Prompter;

class CVelmoraView : public QWidget, private PanelSessionObserver {
    Q_OBJECT
public:
    // Ticks come from a thread every 50 ms on the link's clock.
    CVelmoraView(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter, QWidget* parent = nullptr);
    // Ticks come from `ticks` (a test passes a source that posts nothing and
    // calls OnPanelTick itself).
    CVelmoraView(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter, std::unique_ptr<PanelTickSource> ticks,
                 QWidget* parent = nullptr);
    ~CVelmoraView() override;

    // --- What the application shell uses. ---

    // The initial update, at start-up and after every new or opened
    // document: disconnects, creates the controls the first time, fills the
    // port list and lays out the columns.
    void InitialisePanel();
    // Ports named on the command line, listed with the discovered ones.
    void SetExtraPorts(std::vector<std::string> paths);
    void ConnectUnit();
    bool IsConnected() const;
    // The main window goes while connected: polling off, all four outputs
    // written off, connect button neutral, disconnect.
    void ShutdownForClose();
    // Frames, channel numbers, etched blocks and fixed texts (screen and
    // printer).
    void PaintPanel(QPainter& painter);

    // Menu commands that hand the link to a dialog with the tick work paused:
    // the analog output adjustment, the generator information report and
    // (with later work) the firmware update.
    void OnOutputAdjust();
    void OnGeneratorInfo();
    void OnFirmwareUpdate();

    // --- The main loop and the connection. ---

    // The main loop body, for every tick event. `param` is
    // PanelTickEvent::kTimerParam for the periodic ticks.
    void OnPanelTick(int param);
    void DisconnectUnit();
    // Fills the port list; false when the remembered port is not in it.
    bool FillPortList();
    void RefreshPanel();
    // Shows the columns for the document's channel count and sizes the frame.
    void LayoutChannels();

    // --- The operator's output operations. ---

    void ToggleOutput(int c);
    // `id` a step button of any column; `dir` 0 up/"＋", 1 down/"－".
    void StepSetValue(int id, int dir);
    void ScanHeldButton();
    // Every step button lets go of its press and the hold count starts over.
    void ReleaseHeldButtons();
    void ApplyTypedValue(int c);
    void ApplyPreset(int c, int k);
    void SelectRange(int c);
    void SetConversionMode(int c, bool on);
    void EditConversion(int c);
    void EditPresets(int c);
    void RefreshValueFields();
    void RefreshScale(int c);
    void RefreshRangeButton(int c);
    void RefreshPresetButtons(int c);

    // --- Automatic output. ---

    // The mode, the five values and the button images of channel c's
    // automatic output; its settings button is enabled only while stopped.
    void RefreshAutoOutput(int c);
    void EditAutoOutput(int c);
    void StartAutoOutput(int c);
    void PauseAutoOutput(int c);
    void StopAutoOutput(int c);
    // Whether channel c's automatic output is stopped; the range, the
    // conversion mode and the formula may change only then.
    bool IsAutoOutputStopped(int c) const;

    // --- Seams and state, for the dialogs of later work and for tests. ---

    using PortLister = std::function<std::vector<PortEntry>(const std::vector<std::string>& extraPaths)>;
    void SetPortLister(PortLister lister) { m_portLister = std::move(lister); }
    // Runs a modal dialog and answers its result (QDialog::exec by default).
    using DialogRunner = std::function<int(QDialog&)>;
    void SetDialogRunner(DialogRunner runner) { m_dialogRunner = std::move(runner); }

    bool TimerWork() const { return m_pSession->TimerWork(); }
    void SetTimerWork(bool on) { m_pSession->SetTimerWork(on); }
    bool IsFirstUpdate() const { return m_bFirstUpdate; }
    PanelSession& Session() { return *m_pSession; }
    std::shared_ptr<PanelSession> SharedSession() const { return m_pSession; }
    // A remote client took the panel's output controls (SYSTem:RWLock):
    // they are disabled, and their tooltips say why, until it gives them
    // back or goes.
    void SetRemoteLock(bool locked);
    bool IsRemoteLocked() const { return m_bRemoteLocked; }
    StatusPoller& Poller() { return m_pSession->Poller(); }
    const StatusPoller& Poller() const { return m_pSession->Poller(); }
    int HoldCount() const { return m_hold.m_nHoldCount; }
    bool IsEditing(int c) const;
    // The width the last layout gave the frame.
    int FrameWidth() const { return m_nFrameWidth; }

    // The control with identifier `id` (`index` picks one of the five
    // automatic-output value labels that share theirs); null before the
    // controls exist.
    QWidget* Control(int id, int index = 0) const;

Q_SIGNALS:
    // The frame takes this width (height 530), keeping its position.
    void FrameWidthChanged(int width);
    // The connection came or went.
    void ConnectionChanged(bool connected);
    // A tick was handed to the session (whether or not it had work).
    void TickDone();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Column {
        CBoxedLabel* adjustMark = nullptr;
        CBoxedLabel* alarm = nullptr;
        QPushButton* range = nullptr;
        CColorButton* onOff = nullptr;
        CPlainRadio* normal = nullptr;
        CPlainRadio* converted = nullptr;
        QPushButton* formula = nullptr;
        std::array<CStepButton*, 14> steps{}; // by identifier - B - 2
        CValueField* value = nullptr;
        std::array<CPresetButton*, 8> presets{};
        QPushButton* presetSettings = nullptr;
        QLabel* autoMode = nullptr;
        std::array<QLabel*, 5> autoValues{};
        QPushButton* autoStart = nullptr;
        QPushButton* autoPause = nullptr;
        QPushButton* autoStop = nullptr;
        QPushButton* autoSettings = nullptr;
        // Every control, in the order of the layout table.
        std::vector<QWidget*> all;
    };

    // What the session reports.
    bool LetEventsRun() override;
    void ChannelCountChanged() override;
    void ConnectionShown(bool connected) override;
    void RefreshDue() override;
    void ChannelChanged(int c) override;
    void HoldScanDue() override;
    void AutoOutputStepped(const AutoStepEvent& event) override;

    void CreateControls();
    void CreateColumn(int c);
    void ConnectButtonClicked();
    void SetConnectFace(bool on);
    void SetRadios(int c);
    void PlaceColumn(int c, int originX, bool shown);
    void QueueValueRefresh();
    void RefreshChangedColumns();
    int RunDialog(QDialog& dialog);
    void Message(const char* text, const char* caption, bool warning);

    CVelmoraDoc& m_doc;
    GeneratorLink& m_link;
    Prompter& m_prompter;
    std::shared_ptr<PanelSession> m_pSession;
    HoldRepeat m_hold;
    std::unique_ptr<PanelTickSource> m_pTicks;

    bool m_bFirstUpdate = true;
    std::array<bool, 4> m_bEditing{};
    // Set while the connect sequence runs: a quit seen while it lets the
    // events run ends it.
    class QuitWatch;
    const QuitWatch* m_pQuitWatch = nullptr;
    bool m_bValueRefreshQueued = false;
    bool m_bRemoteLocked = false;
    unsigned m_uChangedColumns = 0; // bit c: column c to draw again
    bool m_bRefreshQueued = false;
    int m_nFrameWidth = 0;

    std::vector<std::string> m_extraPorts;
    std::vector<PortEntry> m_ports; // the entries behind the port list's items
    PortLister m_portLister;
    DialogRunner m_dialogRunner;

    QFont m_smallFont;
    QFont m_valueFont;
    std::array<QPixmap, 8> m_images;

    CColorButton* m_pConnect = nullptr;
    QComboBox* m_pPortList = nullptr;
    std::array<Column, 4> m_columns;
};

} // namespace velmora
