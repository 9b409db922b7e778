#include "panel/CVelmoraView.h"

#include <QApplication>
#include <QComboBox>
#include <QPaintEvent>
#include <QPainter>

#include <cstdio>
#include <utility>

#include "adjust/AdjustSession.h"
#include "adjust/OutputAdjustment.h"
#include "adjust/ui/CCalDlg.h"
#include "autoout/ui/CAutoOutDlg.h"
#include "dialogs/ui/CColorButton.h"
#include "dialogs/ui/CPresetDlg.h"
#include "dialogs/ui/CRangeSelectDlg.h"
#include "dialogs/ui/CScaleDlg.h"
#include "dialogs/ui/ConverterVersionDlg.h"
#include "firmware/CorrectionFile.h"
#include "firmware/ui/CProgramUp.h"
#include "link/FtdiChannel.h"
#include "model/RangeTable.h"
#include "panel/PanelTick.h"
#include "panel/PanelWidgets.h"
#include "panelcore/OutputRules.h"
#include "panelcore/PanelLayout.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"

#include "model/CVelmoraDoc.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

void SetTextIfDifferent(QAbstractButton* button, const QString& text)
{
    if (button->text() != text)
        button->setText(text);
}

void SetTextIfDifferent(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

void Place(QWidget* widget, const PanelRect& r)
{
    widget->setGeometry(r.left, r.top, r.Width(), r.Height());
}

// The panel's images, in the order of m_images.
int ImageIndex(AutoButtonImage image)
{
    switch (image) {
    case AutoButtonImage::PlayGrey:
        return 0;
    case AutoButtonImage::PlayGreen:
        return 1;
    case AutoButtonImage::PauseGrey:
        return 2;
    case AutoButtonImage::PauseBlue:
        return 3;
    case AutoButtonImage::StopGrey:
        return 4;
    case AutoButtonImage::StopRed:
        return 5;
    }
    return 0;
}

} // namespace

// Notes a request to quit while the connect sequence lets the event loop
// run: the sequence then stops instead of talking to the unit.
class CVelmoraView::QuitWatch : public QObject {
public:
    QuitWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~QuitWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool Quitting() const { return m_bQuit; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            m_bQuit = true;
        return false;
    }

private:
    bool m_bQuit = false;
};

CVelmoraView::CVelmoraView(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter, QWidget* parent)
    : CVelmoraView(doc, link, prompter, std::make_unique<ThreadTickSource>(link.GetClock()), parent)
{
}

CVelmoraView::CVelmoraView(CVelmoraDoc& doc, GeneratorLink& link, Prompter& prompter,
                           std::unique_ptr<PanelTickSource> ticks, QWidget* parent)
    : QWidget(parent),
      m_doc(doc),
      m_link(link),
      m_prompter(prompter),
      m_pSession(PanelSession::Create(doc, link, prompter)),
      m_pTicks(std::move(ticks)),
      m_portLister([](const std::vector<std::string>& extra) { return DiscoverPorts(extra); }),
      m_dialogRunner([](QDialog& dialog) { return dialog.exec(); }),
      m_smallFont(PanelSmallFont()),
      m_valueFont(PanelValueFont())
{
    m_pSession->SetObserver(this);
    setFont(m_smallFont);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kPanelBackground);
    setPalette(pal);
    setAutoFillBackground(true);

    const PanelImage order[] = {PanelImage::StartUnavailable, PanelImage::StartAvailable,  PanelImage::PauseUnavailable,
                                PanelImage::PauseAvailable,   PanelImage::StopUnavailable, PanelImage::StopAvailable,
                                PanelImage::LampLit,          PanelImage::LampUnlit};
    for (std::size_t i = 0; i < m_images.size(); ++i)
        m_images[i] = MakePanelImage(order[i]);

    // Without ticks the panel still works, but nothing polls or refreshes.
    if (m_pTicks && !m_pTicks->Start(this)) {
        std::fputs(kMsgTimerFailed, stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }
}

CVelmoraView::~CVelmoraView()
{
    // No tick may be posted to a panel that is going.
    if (m_pTicks)
        m_pTicks->Stop();
    // The session may outlive the panel for a moment (a connect sequence
    // that let the events run in which the panel went): it must neither show
    // anything on it nor go on connecting.
    m_pSession->SetObserver(nullptr);
    m_pSession->ShutdownForClose();
}

// ---------------------------------------------------------------------------
// Controls

QWidget* CVelmoraView::Control(int id, int index) const
{
    if (id == kConnectButtonId)
        return m_pConnect;
    if (id == kPortListId)
        return m_pPortList;
    for (int c = 0; c < kColumnCount; ++c) {
        const Column& col = m_columns[static_cast<std::size_t>(c)];
        const int off = id - ChannelBase(c);
        if (off < kAdjustMarkOffset || off > kAutoValueOffset)
            continue;
        switch (off) {
        case kAdjustMarkOffset:
            return col.adjustMark;
        case kAlarmLabelOffset:
            return col.alarm;
        case kOnOffOffset:
            return col.onOff;
        case kValueFieldOffset:
            return col.value;
        case kRangeButtonOffset:
            return col.range;
        case kFormulaOffset:
            return col.formula;
        case kNormalRadioOffset:
            return col.normal;
        case kConvertedRadioOffset:
            return col.converted;
        case kPresetSettingsOffset:
            return col.presetSettings;
        case kAutoSettingsOffset:
            return col.autoSettings;
        case kAutoStartOffset:
            return col.autoStart;
        case kAutoPauseOffset:
            return col.autoPause;
        case kAutoStopOffset:
            return col.autoStop;
        case kAutoModeOffset:
            return col.autoMode;
        case kAutoValueOffset:
            return index >= 0 && index < kAutoValueLabelCount ? col.autoValues[static_cast<std::size_t>(index)]
                                                              : nullptr;
        default:
            break;
        }
        if (off >= kFirstStepOffset && off <= kSignDownOffset)
            return col.steps[static_cast<std::size_t>(off - kFirstStepOffset)];
        if (off >= kFirstPresetOffset && off < kFirstPresetOffset + kPresetCount)
            return col.presets[static_cast<std::size_t>(off - kFirstPresetOffset)];
        return nullptr;
    }
    return nullptr;
}

void CVelmoraView::CreateControls()
{
    for (const ControlSpec& control : TopRowControls()) {
        if (control.kind == ControlKind::ConnectButton) {
            m_pConnect = new CColorButton(Shown(control.text), this);
            m_pConnect->SetFaceColor(kNeutralFace);
            connect(m_pConnect, &QPushButton::clicked, this, &CVelmoraView::ConnectButtonClicked);
            Place(m_pConnect, control.rect);
            m_pConnect->setObjectName(QStringLiteral("ctl_%1").arg(control.id));
        } else {
            m_pPortList = new QComboBox(this);
            QPalette pal = m_pPortList->palette();
            pal.setColor(QPalette::Base, kPanelBackground);
            pal.setColor(QPalette::Button, kPanelBackground);
            m_pPortList->setPalette(pal);
            // The rectangle includes the drop-down part; the closed list is
            // as tall as the connect button.
            m_pPortList->setGeometry(control.rect.left, control.rect.top, control.rect.Width(), kPortListClosedHeight);
            m_pPortList->setMaxVisibleItems((control.rect.Height() - kPortListClosedHeight) / 16);
            m_pPortList->setObjectName(QStringLiteral("ctl_%1").arg(control.id));
        }
    }
    for (int c = 0; c < kColumnCount; ++c)
        CreateColumn(c);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<CValueField*>(w))
            w->setFont(m_smallFont);
}

void CVelmoraView::CreateColumn(int c)
{
    Column& col = m_columns[static_cast<std::size_t>(c)];
    const int b = ChannelBase(c);
    for (const ControlSpec& control : ColumnControls(c, ColumnOriginX(c, 0))) {
        const QString text = Shown(control.text);
        QWidget* w = nullptr;
        switch (control.kind) {
        case ControlKind::AdjustMark:
            w = col.adjustMark = new CBoxedLabel(text, kMarkBox, Qt::black, this);
            break;
        case ControlKind::AlarmLabel:
            w = col.alarm = new CBoxedLabel(text, kAlarmBox, Qt::white, this);
            break;
        case ControlKind::RangeButton:
            w = col.range = new QPushButton(text, this);
            connect(col.range, &QPushButton::clicked, this, [this, c] { SelectRange(c); });
            break;
        case ControlKind::OnOffButton:
            col.onOff = new CColorButton(text, this);
            col.onOff->SetFaceColor(kNeutralFace);
            connect(col.onOff, &QPushButton::clicked, this, [this, c] { ToggleOutput(c); });
            w = col.onOff;
            break;
        case ControlKind::NormalRadio:
            w = col.normal = new CPlainRadio(text, this);
            col.normal->setAutoExclusive(false);
            connect(col.normal, &QRadioButton::clicked, this, [this, c] { SetConversionMode(c, false); });
            break;
        case ControlKind::ConvertedRadio:
            w = col.converted = new CPlainRadio(text, this);
            col.converted->setAutoExclusive(false);
            connect(col.converted, &QRadioButton::clicked, this, [this, c] { SetConversionMode(c, true); });
            break;
        case ControlKind::FormulaButton:
            w = col.formula = new QPushButton(text, this);
            connect(col.formula, &QPushButton::clicked, this, [this, c] { EditConversion(c); });
            break;
        case ControlKind::StepButton: {
            auto* step = new CStepButton(text, control.id, this);
            col.steps[static_cast<std::size_t>(control.id - b - kFirstStepOffset)] = step;
            const int id = control.id;
            connect(step, &QPushButton::clicked, this, [this, id] { StepSetValue(id, id % 2); });
            w = step;
            break;
        }
        case ControlKind::ValueField:
            w = col.value = new CValueField(this);
            col.value->setFont(m_valueFont);
            connect(col.value, &QTextEdit::textChanged, this, [this, c] { ApplyTypedValue(c); });
            break;
        case ControlKind::PresetButton: {
            const int k = control.id - b - kFirstPresetOffset;
            auto* preset = new CPresetButton(m_images[6], m_images[7], this);
            col.presets[static_cast<std::size_t>(k)] = preset;
            connect(preset, &QPushButton::clicked, this, [this, c, k] { ApplyPreset(c, k); });
            w = preset;
            break;
        }
        case ControlKind::PresetSettings:
            w = col.presetSettings = new QPushButton(text, this);
            connect(col.presetSettings, &QPushButton::clicked, this, [this, c] { EditPresets(c); });
            break;
        case ControlKind::AutoModeLabel:
        case ControlKind::AutoValueLabel: {
            auto* label = new QLabel(text, this);
            label->setAlignment(Qt::AlignCenter);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            if (control.kind == ControlKind::AutoModeLabel)
                col.autoMode = label;
            else
                col.autoValues[static_cast<std::size_t>(control.index)] = label;
            w = label;
            break;
        }
        case ControlKind::AutoStart:
        case ControlKind::AutoPause:
        case ControlKind::AutoStop: {
            auto* button = new QPushButton(this);
            // A stopped output: start and pause change the state, stop does not.
            const std::size_t image = control.kind == ControlKind::AutoStart ? 1
                : control.kind == ControlKind::AutoPause                     ? 3
                                                                             : 4;
            button->setIcon(m_images[image]);
            button->setIconSize(m_images[image].size());
            button->setProperty("velmoraImage", static_cast<int>(image));
            if (control.kind == ControlKind::AutoStart) {
                col.autoStart = button;
                connect(button, &QPushButton::clicked, this, [this, c] { StartAutoOutput(c); });
            } else if (control.kind == ControlKind::AutoPause) {
                col.autoPause = button;
                connect(button, &QPushButton::clicked, this, [this, c] { PauseAutoOutput(c); });
            } else {
                col.autoStop = button;
                connect(button, &QPushButton::clicked, this, [this, c] { StopAutoOutput(c); });
            }
            w = button;
            break;
        }
        case ControlKind::AutoSettings:
            w = col.autoSettings = new QPushButton(text, this);
            connect(col.autoSettings, &QPushButton::clicked, this, [this, c] { EditAutoOutput(c); });
            break;
        case ControlKind::ConnectButton:
        case ControlKind::PortList:
            break;
        }
        if (w == nullptr)
            continue;
        if (w->objectName().isEmpty()) {
            w->setObjectName(control.kind == ControlKind::AutoValueLabel
                                 ? QStringLiteral("ctl_%1_%2").arg(control.id).arg(control.index)
                                 : QStringLiteral("ctl_%1").arg(control.id));
        }
        Place(w, control.rect);
        w->setVisible(control.visible);
        col.all.push_back(w);
    }
}

void CVelmoraView::PlaceColumn(int c, int originX, bool shown)
{
    Column& col = m_columns[static_cast<std::size_t>(c)];
    const auto controls = ColumnControls(c, originX);
    for (std::size_t i = 0; i < controls.size() && i < col.all.size(); ++i) {
        Place(col.all[i], controls[i].rect);
        // The alarm label is shown by the refresh, and only with an alarm to
        // show: a column shown here would otherwise flash its last text.
        if (col.all[i] == col.alarm && shown)
            continue;
        col.all[i]->setVisible(shown);
    }
}

void CVelmoraView::LayoutChannels()
{
    if (m_pConnect == nullptr)
        return;
    const int count = m_doc.m_model.ChannelsInUse();
    const ColumnArrangement a = ArrangeColumns(count, m_doc.m_nFrameWidth);
    m_nFrameWidth = a.frameWidth;
    // Stored with the settings, and the frame's width at the next start.
    m_doc.m_nFrameWidth = a.frameWidth;
    Q_EMIT FrameWidthChanged(a.frameWidth);
    for (int c = 0; c < kColumnCount; ++c)
        PlaceColumn(c, ColumnOriginX(c, a.offsetA), c < a.columnsShown);
    for (int c = 0; c < count; ++c) {
        RefreshRangeButton(c);
        RefreshScale(c);
        RefreshAutoOutput(c);
    }
    update();
}

// ---------------------------------------------------------------------------
// Initialisation, ports and the connection

void CVelmoraView::InitialisePanel()
{
    DisconnectUnit();
    if (m_bFirstUpdate)
        CreateControls();
    if (!FillPortList())
        Message(kMsgPortMissing, kCaptionConfirm, false);
    LayoutChannels();
    if (m_bFirstUpdate) {
        RefreshPanel();
        m_bFirstUpdate = false;
    }
}

void CVelmoraView::SetExtraPorts(std::vector<std::string> paths)
{
    m_extraPorts = std::move(paths);
}

bool CVelmoraView::FillPortList()
{
    if (m_pPortList == nullptr)
        return false;
    m_pPortList->clear();
    m_ports = m_portLister ? m_portLister(m_extraPorts) : std::vector<PortEntry>{};
    int remembered = -1;
    for (std::size_t i = 0; i < m_ports.size(); ++i) {
        m_pPortList->addItem(Shown(PortListText(m_ports[i])));
        if (remembered < 0 && m_ports[i].portName == m_doc.LastPortName())
            remembered = static_cast<int>(i);
    }
    if (remembered >= 0) {
        m_pPortList->setCurrentIndex(remembered);
        return true;
    }
    if (!m_ports.empty())
        m_pPortList->setCurrentIndex(0);
    return false;
}

bool CVelmoraView::IsConnected() const
{
    return m_pSession->IsConnected();
}

void CVelmoraView::ConnectButtonClicked()
{
    // The connect sequence lets the event loop run; a second click then
    // must not start another sequence or pull the port from under it.
    if (m_pSession->IsConnecting())
        return;
    if (IsConnected())
        DisconnectUnit();
    else
        ConnectUnit();
}

void CVelmoraView::ConnectUnit()
{
    if (m_pSession->IsConnecting() || m_pPortList == nullptr)
        return;
    // The entry behind the item, rather than the item's text: a device path
    // may itself contain parentheses.
    const int index = m_pPortList->currentIndex();
    std::string port;
    if (index >= 0 && static_cast<std::size_t>(index) < m_ports.size() && !m_pPortList->currentText().isEmpty())
        port = m_ports[static_cast<std::size_t>(index)].portName;
    const QPointer<CVelmoraView> alive(this);
    const QuitWatch quit;
    m_pQuitWatch = &quit;
    // Held here as well: the panel may go while the sequence runs.
    const std::shared_ptr<PanelSession> session = m_pSession;
    session->Connect(port);
    if (alive)
        m_pQuitWatch = nullptr;
}

bool CVelmoraView::LetEventsRun()
{
    const QPointer<CVelmoraView> alive(this);
    QCoreApplication::processEvents();
    // Nothing of a panel that went may be touched.
    return alive && !(m_pQuitWatch != nullptr && m_pQuitWatch->Quitting());
}

void CVelmoraView::ChannelCountChanged()
{
    LayoutChannels();
}

void CVelmoraView::ConnectionShown(bool connected)
{
    SetConnectFace(connected);
    Q_EMIT ConnectionChanged(connected);
    // A press held while the connection goes (the lost-unit box is on its
    // way) must not go on ramping the set value for the next connection.
    if (!connected)
        ReleaseHeldButtons();
}

void CVelmoraView::ReleaseHeldButtons()
{
    for (Column& col : m_columns)
        for (CStepButton* b : col.steps)
            if (b != nullptr)
                b->ForgetPress();
    m_hold.m_nHoldCount = 0;
}

void CVelmoraView::DisconnectUnit()
{
    m_pSession->Disconnect();
}

void CVelmoraView::ShutdownForClose()
{
    m_pSession->ShutdownForClose();
}

void CVelmoraView::SetConnectFace(bool on)
{
    if (m_pConnect != nullptr)
        m_pConnect->SetFaceColor(on ? kOnFace : kNeutralFace);
}

void CVelmoraView::Message(const char* text, const char* caption, bool warning)
{
    m_prompter.Message(text, caption, warning ? PromptIcon::Exclamation : PromptIcon::Information);
}

// ---------------------------------------------------------------------------
// The tick

bool CVelmoraView::event(QEvent* e)
{
    MarkTakenOver(e);
    if (e->type() == PanelTickEvent::EventType()) {
        OnPanelTick(static_cast<PanelTickEvent*>(e)->Param());
        return true;
    }
    return QWidget::event(e);
}

void CVelmoraView::OnPanelTick(int param)
{
    if (m_bFirstUpdate)
        return;
    // Held here as well: a box the tick shows runs an event loop in which
    // the panel may go.
    const std::shared_ptr<PanelSession> session = m_pSession;
    session->OnTick(param == PanelTickEvent::kTimerParam ? PanelSession::kTimerParam : param);
    if (param == PanelTickEvent::kTimerParam)
        Q_EMIT TickDone();
}

void CVelmoraView::SetRemoteLock(bool locked)
{
    if (m_bRemoteLocked == locked)
        return;
    m_bRemoteLocked = locked;
    const QString why = locked ? tr("リモートのクライアントが操作中です（SYSTem:LOCal で解除）") : QString();
    for (Column& col : m_columns) {
        for (QWidget* w : col.all) {
            if (w == nullptr)
                continue;
            w->setEnabled(!locked);
            w->setToolTip(why);
        }
    }
    // The settings button follows its output's state again once unlocked.
    for (int c = 0; c < m_doc.m_model.ChannelsInUse(); ++c)
        RefreshAutoOutput(c);
}

void CVelmoraView::RefreshDue()
{
    if (m_uChangedColumns != 0)
        RefreshChangedColumns();
    else
        RefreshPanel();
}

void CVelmoraView::HoldScanDue()
{
    ScanHeldButton();
}

void CVelmoraView::AutoOutputStepped(const AutoStepEvent& event)
{
    if (event.stopped)
        RefreshAutoOutput(event.channel);
}

void CVelmoraView::RefreshPanel()
{
    if (m_pConnect == nullptr)
        return;
    GeneratorModel& model = m_doc.m_model;
    const int count = model.ChannelsInUse();
    for (int c = 0; c < count; ++c) {
        Column& col = m_columns[static_cast<std::size_t>(c)];
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];

        const bool on = model.IsOutputOn(c);
        SetTextIfDifferent(col.onOff, Shown(on ? kOnText : kOffText));
        col.onOff->SetFaceColor(on ? kOnFace : kNeutralFace);

        if (s.rangeCode >= 0 && s.rangeCode < kSlotCount) {
            const auto mark = AdjustMarkText(s.userAdjustment[static_cast<std::size_t>(s.rangeCode)].adjustSelect);
            if (mark) {
                SetTextIfDifferent(col.adjustMark, Shown(*mark));
                col.adjustMark->show();
            }
        }

        const std::string alarm = AlarmText(model.AlarmCode(c));
        if (alarm.empty()) {
            col.alarm->hide();
        } else {
            SetTextIfDifferent(col.alarm, Shown(alarm));
            col.alarm->show();
        }

        SetRadios(c);
        RefreshPresetButtons(c);
    }
    SetConnectFace(IsConnected());
    RefreshValueFields();
}

// ---------------------------------------------------------------------------
// Output operations

bool CVelmoraView::IsEditing(int c) const
{
    return c >= 0 && c < kMaxChannels && m_bEditing[static_cast<std::size_t>(c)];
}

void CVelmoraView::ToggleOutput(int c)
{
    if (c < 0 || c >= kMaxChannels)
        return;
    if (m_pSession->Operations().ToggleOutput(c).refusal == OpRefusal::NotConnected)
        Message(kMsgNotConnected, kCaptionConfirm, false);
}

void CVelmoraView::StepSetValue(int id, int dir)
{
    const auto target = DecodeStepId(id);
    if (!target)
        return;
    m_pSession->Operations().StepSetValue(target->channel, target->position, dir);
    if (IsConnected())
        RefreshPanel();
    RefreshValueFields();
}

void CVelmoraView::ScanHeldButton()
{
    if (m_pConnect == nullptr)
        return;
    HoldScanInput in;
    // The mouse as it really is, not as the buttons last saw it: a release
    // that went to a modal box or to another window never reaches them.
    in.leftDown = (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
    in.anyCapture = QWidget::mouseGrabber() != nullptr;
    // A modal window other than the panel's own holds the input; whatever a
    // button thinks it holds, nothing of the panel is pressed meanwhile.
    const QWidget* modal = QApplication::activeModalWidget();
    const bool blocked = modal != nullptr && modal != window();
    const int scanned = ScannedChannels(m_doc.m_model.ChannelsInUse());
    for (int c = 0; c < scanned; ++c) {
        std::vector<HeldButton> group;
        for (CStepButton* b : m_columns[static_cast<std::size_t>(c)].steps) {
            if ((b->MouseHeld() && (!in.leftDown || blocked)) || (b->KeyHeld() && blocked))
                b->ForgetPress();
            const bool captured = b->MouseHeld() || b->KeyHeld();
            in.anyCapture = in.anyCapture || captured;
            in.spaceDown = in.spaceDown || b->KeyHeld();
            group.push_back({b->Id(), captured, b->CursorInside()});
        }
        in.groups.push_back(std::move(group));
    }
    for (int id : m_hold.Scan(in))
        StepSetValue(id, id % 2);
}

void CVelmoraView::ApplyTypedValue(int c)
{
    if (c < 0 || c >= kMaxChannels || m_pConnect == nullptr)
        return;
    CValueField* field = m_columns[static_cast<std::size_t>(c)].value;
    const TypedText typed = StripLineBreaks(field->Text());
    if (!typed.enter) {
        field->SetCommitted(false);
        m_bEditing[static_cast<std::size_t>(c)] = true;
        return;
    }
    field->SetCommitted(true);
    if (const auto value = ParseTypedValue(typed.text))
        m_pSession->Operations().SetSetValue(c, *value, LimitPolicy::Clamp);
    m_bEditing[static_cast<std::size_t>(c)] = false;
    // The field still holds the typed text and its line break; rewrite it
    // with the stored value once its own change notification is over.
    QueueValueRefresh();
}

void CVelmoraView::ChannelChanged(int c)
{
    if (c < 0 || c >= kMaxChannels)
        return;
    // Drawn at the next refresh, once for however many changes: a remote
    // client may change a channel a thousand times a second, and the
    // panel's own operations draw what they changed themselves.
    m_uChangedColumns |= 1u << c;
}

void CVelmoraView::RefreshChangedColumns()
{
    const unsigned changed = std::exchange(m_uChangedColumns, 0u);
    if (m_pConnect == nullptr)
        return;
    const int count = m_doc.m_model.ChannelsInUse();
    for (int c = 0; c < count; ++c) {
        if ((changed & (1u << c)) == 0)
            continue;
        RefreshScale(c);
        RefreshRangeButton(c);
        SetRadios(c);
        RefreshAutoOutput(c);
    }
    RefreshPanel();
    RefreshValueFields();
}

void CVelmoraView::QueueValueRefresh()
{
    if (m_bValueRefreshQueued)
        return;
    m_bValueRefreshQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bValueRefreshQueued = false;
            RefreshValueFields();
        },
        Qt::QueuedConnection);
}

void CVelmoraView::ApplyPreset(int c, int k)
{
    if (!m_pSession->Operations().ApplyPreset(c, k).Done())
        return;
    if (IsConnected())
        RefreshPanel();
    RefreshValueFields();
}

int CVelmoraView::RunDialog(QDialog& dialog)
{
    return m_dialogRunner ? m_dialogRunner(dialog) : dialog.exec();
}

void CVelmoraView::SelectRange(int c)
{
    if (c < 0 || c >= kMaxChannels || !IsAutoOutputStopped(c))
        return;
    GeneratorModel& model = m_doc.m_model;
    if (model.IsOutputOn(c)) {
        Message(kMsgCannotSwitchWhileOn, kCaptionConfirm, false);
        return;
    }
    CRangeSelectDlg dialog(m_prompter, this);
    dialog.SetRangeCode(model.channels[static_cast<std::size_t>(c)].rangeCode);
    bool accepted = false;
    {
        const ScopedFlag paused = m_pSession->PausePolling();
        accepted = RunDialog(dialog) == QDialog::Accepted;
    }
    if (accepted && m_pSession->Operations().SelectRange(c, dialog.RangeCode()).Done()) {
        RefreshScale(c);
        RefreshRangeButton(c);
        RefreshValueFields();
    }
    RefreshAutoOutput(c);
}

void CVelmoraView::SetRadios(int c)
{
    Column& col = m_columns[static_cast<std::size_t>(c)];
    const bool conv = m_doc.m_model.channels[static_cast<std::size_t>(c)].useConversion;
    col.normal->setChecked(!conv);
    col.converted->setChecked(conv);
}

void CVelmoraView::SetConversionMode(int c, bool on)
{
    if (c < 0 || c >= kMaxChannels || !IsAutoOutputStopped(c))
        return;
    m_pSession->Operations().SetConversionMode(c, on);
    if (m_pConnect != nullptr) {
        SetRadios(c);
        RefreshScale(c);
    }
    RefreshAutoOutput(c);
}

void CVelmoraView::EditConversion(int c)
{
    if (c < 0 || c >= kMaxChannels || !IsAutoOutputStopped(c))
        return;
    GeneratorModel& model = m_doc.m_model;
    ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    CScaleDlg dialog(m_prompter, this);
    dialog.SetChannel(c);
    dialog.SetRangeCode(s.rangeCode);
    dialog.SetConversion(s.convMin, s.convMax, s.convDecimals);
    if (RunDialog(dialog) != QDialog::Accepted)
        return;
    m_pSession->Operations().SetConversion(c, dialog.ConvMin(), dialog.ConvMax(), dialog.ConvDecimals());
    RefreshScale(c);
    RefreshValueFields();
}

void CVelmoraView::EditPresets(int c)
{
    GeneratorModel& model = m_doc.m_model;
    const int slot = model.ActiveSlot(c);
    if (slot == kNoSlot)
        return;
    auto& presets = model.channels[static_cast<std::size_t>(c)].presets[static_cast<std::size_t>(slot)];
    const RangeInfo limits = model.ChannelLimits(c);
    CPresetDlg dialog(m_prompter, this);
    dialog.SetChannel(c);
    dialog.SetLimitTexts(model.FormatMin(c), model.FormatMax(c));
    dialog.SetLimits(limits.lower, limits.upper, limits.decimals);
    dialog.SetPresets(presets);
    if (RunDialog(dialog) == QDialog::Accepted)
        m_pSession->Operations().SetPresets(c, dialog.Presets());
}

void CVelmoraView::RefreshValueFields()
{
    if (m_pConnect == nullptr)
        return;
    const int count = m_doc.m_model.ChannelsInUse();
    for (int c = 0; c < count; ++c) {
        if (m_bEditing[static_cast<std::size_t>(c)])
            continue;
        CValueField* field = m_columns[static_cast<std::size_t>(c)].value;
        const std::string text = m_doc.m_model.FormatSetValue(c);
        if (field->Text() != text)
            field->SetTextQuietly(text);
    }
}

void CVelmoraView::RefreshScale(int c)
{
    if (c < 0 || c >= kMaxChannels || m_pConnect == nullptr)
        return;
    Column& col = m_columns[static_cast<std::size_t>(c)];
    const StepVisibility vis = VisibleSteps(m_doc.m_model.ChannelLimits(c));
    for (int p = 0; p < kDigitPositions; ++p) {
        const bool shown = vis.digit[static_cast<std::size_t>(p)];
        col.steps[2 * static_cast<std::size_t>(p)]->setVisible(shown);
        col.steps[2 * static_cast<std::size_t>(p) + 1]->setVisible(shown);
    }
    col.steps[12]->setVisible(vis.sign);
    col.steps[13]->setVisible(vis.sign);
}

void CVelmoraView::RefreshRangeButton(int c)
{
    if (c < 0 || c >= kMaxChannels || m_pConnect == nullptr)
        return;
    SetTextIfDifferent(m_columns[static_cast<std::size_t>(c)].range,
                       Shown(RangeDisplayName(m_doc.m_model.channels[static_cast<std::size_t>(c)].rangeCode)));
}

void CVelmoraView::RefreshPresetButtons(int c)
{
    if (c < 0 || c >= kMaxChannels || m_pConnect == nullptr)
        return;
    const GeneratorModel& model = m_doc.m_model;
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(c)];
    const int slot = model.ActiveSlot(c);
    for (int k = 0; k < kPresetCount; ++k) {
        CPresetButton* button = m_columns[static_cast<std::size_t>(c)].presets[static_cast<std::size_t>(k)];
        SetTextIfDifferent(button, Shown(model.FormatPreset(c, k)));
        // The same double exactly: a value reached by steps of 0.1 may
        // differ in its last bit from a preset that prints the same.
        const bool lit =
            slot != kNoSlot && s.presets[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)] == s.setValue;
        // Repaint only what changed: a button's repaint shows through to the
        // panel's own drawing, whose paint queues a refresh, and an
        // unconditional repaint here would keep that cycle running.
        button->SetLamp(lit);
    }
}

// ---------------------------------------------------------------------------
// Automatic output and the unit's menu commands: their work arrives with the
// automatic-output runtime, the adjustment dialog, the information report
// and the firmware update.

void CVelmoraView::RefreshAutoOutput(int c)
{
    if (c < 0 || c >= kMaxChannels || m_pConnect == nullptr)
        return;
    Column& col = m_columns[static_cast<std::size_t>(c)];
    const AutoOutputView view = m_pSession->AutoOutputDisplay(c);
    SetTextIfDifferent(col.autoMode, Shown(view.modeText));
    const std::string* texts[kAutoValueLabelCount] = {&view.startText, &view.endText, &view.stepText,
                                                      &view.intervalText, &view.repeatText};
    for (int i = 0; i < kAutoValueLabelCount; ++i)
        SetTextIfDifferent(col.autoValues[static_cast<std::size_t>(i)], Shown(*texts[i]));
    if (view.images) {
        auto show = [this](QPushButton* button, AutoButtonImage image) {
            const QPixmap& pixmap = m_images[static_cast<std::size_t>(ImageIndex(image))];
            if (button->property("velmoraImage").toInt() != ImageIndex(image)) {
                button->setIcon(pixmap);
                button->setProperty("velmoraImage", ImageIndex(image));
            }
        };
        show(col.autoStart, view.images->start);
        show(col.autoPause, view.images->pause);
        show(col.autoStop, view.images->stop);
    }
    const bool settingsActive = view.controlsActive && !m_bRemoteLocked;
    if (col.autoSettings->isEnabled() != settingsActive)
        col.autoSettings->setEnabled(settingsActive);
}

void CVelmoraView::EditAutoOutput(int c)
{
    if (c < 0 || c >= kMaxChannels || !IsAutoOutputStopped(c))
        return;
    const int slot = m_doc.m_model.ActiveSlot(c);
    if (slot == kNoSlot)
        return;
    CAutoOutDlg dialog(m_prompter, this);
    dialog.SetInputs(c, m_doc.m_model, m_doc.m_autoOutput, slot);
    if (RunDialog(dialog) == QDialog::Accepted)
        m_doc.m_autoOutput[static_cast<std::size_t>(c)].runState = kAutoStopped;
    RefreshAutoOutput(c);
}

void CVelmoraView::StartAutoOutput(int c)
{
    const AutoControlResult result = m_pSession->StartAutoOutput(c);
    // A start that does nothing without a word looks like a dead button.
    if (result.refused != AutoStartRefusal::None)
        m_prompter.Message(AutoStartRefusalText(result), kCaptionConfirm, PromptIcon::Information);
    RefreshAutoOutput(c);
    RefreshValueFields();
}

void CVelmoraView::PauseAutoOutput(int c)
{
    m_pSession->PauseAutoOutput(c);
    RefreshAutoOutput(c);
}

void CVelmoraView::StopAutoOutput(int c)
{
    m_pSession->StopAutoOutput(c);
    RefreshAutoOutput(c);
}

bool CVelmoraView::IsAutoOutputStopped(int c) const
{
    return m_pSession->IsAutoOutputStopped(c);
}

void CVelmoraView::OnOutputAdjust()
{
    // The dialog's exchanges let no tick through, but a session that outlives
    // this panel while they run must still be there when they end.
    const std::shared_ptr<PanelSession> keep = m_pSession;
    const AdjustRun run = RunOutputAdjustment(*keep, m_prompter, [this](AdjustSession& session) {
        CCalDlg dialog(session, m_prompter, this);
        return RunDialog(dialog) == QDialog::Accepted;
    });
    // The adjustment marks show the select words the dialog may have changed.
    if (run.result == AdjustRunResult::Saved)
        RefreshPanel();
}

void CVelmoraView::OnGeneratorInfo()
{
    const ScopedFlag paused = m_pSession->PauseTimerWork();
    // A connect sequence still running does not know the unit's channels yet.
    if (!IsConnected() || m_pSession->IsConnecting()) {
        Message(kMsgNotConnected, kCaptionConfirm, false);
        return;
    }
    ConverterVersionDlg dialog(m_link, m_doc.m_model, m_prompter, this);
    RunDialog(dialog);
}

void CVelmoraView::OnFirmwareUpdate()
{
    const std::shared_ptr<PanelSession> keep = m_pSession;
    auto* ftdi = dynamic_cast<FtdiChannel*>(m_link.Channel(LinkFtdi));
    if (ftdi == nullptr)
        return;
    // The update takes the unit over: every output off, the serial port
    // closed, and polling left off until the operator connects again.
    if (IsConnected())
        keep->Disconnect();
    keep->Poller().m_bPolling = false;
    const ScopedFlag paused = keep->PauseTimerWork();
    CProgramUp dialog(m_link, *ftdi, m_doc.m_model, CorrectionFolder(), m_prompter, this);
    RunDialog(dialog);
    LayoutChannels();
}

// ---------------------------------------------------------------------------
// Drawing

namespace {

enum class Edge { Sunken, Etched };

// A two-line edge around the rectangle (right and bottom exclusive): a sunken
// one is dark outside above and left, an etched one a groove.
void DrawEdge(QPainter& p, const PanelRect& r, Edge edge)
{
    const QColor shadow(0xA0, 0xA0, 0xA0);
    const QColor highlight(0xFF, 0xFF, 0xFF);
    const QColor darkShadow(0x69, 0x69, 0x69);
    const QColor light(0xE3, 0xE3, 0xE3);
    auto frame = [&p](int l, int t, int rr, int b, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(l, t, rr - 1, t);
        p.drawLine(l, t, l, b - 1);
        p.setPen(bottomRight);
        p.drawLine(l, b - 1, rr - 1, b - 1);
        p.drawLine(rr - 1, t, rr - 1, b - 1);
    };
    frame(r.left, r.top, r.right, r.bottom, shadow, highlight);
    if (edge == Edge::Sunken)
        frame(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, darkShadow, light);
    else
        frame(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, highlight, shadow);
}

void DrawPanelText(QPainter& p, const PanelText& t)
{
    const QString text = Shown(t.text);
    // The text's cell, not its ink: a narrow glyph's ink box would clip it.
    const QFontMetrics metrics = p.fontMetrics();
    p.drawText(QRect(t.x, t.y, metrics.horizontalAdvance(text), metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

void CVelmoraView::PaintPanel(QPainter& p)
{
    p.save();
    p.setFont(m_smallFont);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(kPanelBackground);
    const int count = m_doc.m_model.ChannelsInUse();
    for (int i = 0; i < count; ++i) {
        const ChannelDrawing d = DrawChannel(i, count);
        DrawEdge(p, d.frame, Edge::Sunken);
        p.setPen(Qt::black);
        DrawPanelText(p, d.number);
        for (const PanelRect& block : d.blocks)
            DrawEdge(p, block, Edge::Etched);
        p.setPen(Qt::black);
        for (const PanelText& t : d.texts)
            DrawPanelText(p, t);
    }
    p.restore();
}

void CVelmoraView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintPanel(painter);
    // What is shown follows the model once the drawing is done; the refresh
    // changes child controls, which is not for the middle of a paint.
    if (!m_bFirstUpdate && !m_bRefreshQueued) {
        m_bRefreshQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bRefreshQueued = false;
                RefreshPanel();
            },
            Qt::QueuedConnection);
    }
}

} // namespace velmora
