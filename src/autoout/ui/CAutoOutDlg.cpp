#include "autoout/ui/CAutoOutDlg.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <functional>
#include <utility>

#include "autoout/AutoOutput.h"
#include "autoout/WavePreview.h"
#include "autoout/ui/CEditListCtrl.h"
#include "autoout/ui/CWavePicture.h"
#include "dialogs/ui/DialogMetrics.h"
#include "model/RangeTable.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

constexpr int kReadId = 1032;
constexpr int kModeId = 1015;
constexpr int kRangeId = 1043;
constexpr int kLowerId = 1044;
constexpr int kUpperId = 1045;
constexpr int kChannelId = 1050;
constexpr int kPictureId = 1056;
constexpr int kListId = 1059;
constexpr int kSecondsId = 1061;
constexpr int kHintId = 1062;
// Start, end, step, interval; the repeat edit has no label of its own.
constexpr std::array<int, 4> kWaveLabelIds = {1046, 1047, 1048, 1049};
constexpr std::array<int, 5> kFieldIds = {1051, 1052, 1053, 1054, 1055};
constexpr std::array<AutoOutField, 5> kFields = {AutoOutField::Start, AutoOutField::End, AutoOutField::Step,
                                                 AutoOutField::Interval, AutoOutField::Repeat};

// The list's rectangle is given in pixels; the picture takes the same place,
// as the two are never shown together.
const QRect kTableRect(170, 62, 250, 148);

// Rows of the fields in dialog units: start, end, step, interval, repeat.
constexpr std::array<int, 5> kFieldY = {62, 78, 94, 110, 126};
constexpr int kFieldLabelX = 7;
constexpr int kFieldX = 46;
constexpr int kFieldWidth = 50;
constexpr int kUnitX = 98;

std::size_t Index(AutoOutField field)
{
    return static_cast<std::size_t>(field);
}

std::string ToUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// One of the five value fields. Enter takes the typed value in place: it is
// normalised and the dialog does not see the key, so it neither closes nor
// presses OK. Losing the focus normalises as well.
class CAutoOutField final : public QLineEdit {
public:
    CAutoOutField(QWidget& parent, std::function<void()> normalise)
        : QLineEdit(&parent),
          m_normalise(std::move(normalise))
    {
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            m_normalise();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        // The field's context menu takes the focus only while it is open; a
        // paste from it is still to come.
        if (event->reason() != Qt::PopupFocusReason)
            m_normalise();
    }

private:
    std::function<void()> m_normalise;
};

QLabel* AddBox(QWidget& parent, const QRect& rect, int id)
{
    QLabel* box = AddLabel(parent, QString(), rect, Qt::AlignCenter, id);
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return box;
}

} // namespace

CAutoOutDlg::CAutoOutDlg(Prompter& prompter, QWidget* parent) : QDialog(parent), m_prompter(prompter)
{
    PrepareDialog(*this, Shown(kAutoOutDialogCaption), 293, 172);

    AddLabel(*this, tr("チャンネル"), DluRect(7, 6, 40, 8), Qt::AlignCenter);
    AddLabel(*this, tr("レンジ"), DluRect(52, 6, 58, 8), Qt::AlignCenter);
    AddLabel(*this, tr("最小値"), DluRect(116, 6, 50, 8), Qt::AlignCenter);
    AddLabel(*this, tr("最大値"), DluRect(172, 6, 50, 8), Qt::AlignCenter);
    m_pChannelText = AddBox(*this, DluRect(7, 17, 40, 12), kChannelId);
    m_pRangeText = AddBox(*this, DluRect(52, 17, 58, 12), kRangeId);
    m_pLowerText = AddBox(*this, DluRect(116, 17, 50, 12), kLowerId);
    m_pUpperText = AddBox(*this, DluRect(172, 17, 50, 12), kUpperId);

    m_pMode = new QComboBox(this);
    m_pMode->setObjectName(ControlName("combo", kModeId));
    m_pMode->setGeometry(DluRect(7, 41, 89, 14));
    for (std::int32_t mode : {kAutoSawtooth, kAutoTriangle, kAutoArbitrary})
        m_pMode->addItem(Shown(AutoModeName(mode)));
    connect(m_pMode, &QComboBox::currentIndexChanged, this, [this](int mode) { ShowMode(mode); });

    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const AutoOutField which = kFields[i];
        if (i < m_pWaveLabels.size())
            m_pWaveLabels[i] = AddLabel(*this, QString(), DluRect(kFieldLabelX, kFieldY[i] + 2, 38, 8),
                                        Qt::AlignLeft | Qt::AlignVCenter, kWaveLabelIds[i]);
        else
            AddLabel(*this, tr("繰返し"), DluRect(kFieldLabelX, kFieldY[i] + 2, 38, 8));
        auto* field = new CAutoOutField(*this, [this, which] { NormaliseField(which); });
        field->setObjectName(ControlName("edit", kFieldIds[i]));
        field->setGeometry(DluRect(kFieldX, kFieldY[i], kFieldWidth, 12));
        connect(field, &QLineEdit::textEdited, this, [this, which](const QString& text) {
            // A line break can come only with pasted text; it counts as Enter.
            // Rewriting the text is left until the edit's own signal is over.
            if (NormalisesOnChange(ToUtf8(text)))
                QMetaObject::invokeMethod(
                    this, [this, which] { NormaliseField(which); }, Qt::QueuedConnection);
        });
        connect(field, &QLineEdit::textChanged, this, [this] { RefreshPicture(); });
        m_pFields[i] = field;
    }
    m_pSecondsUnit =
        AddLabel(*this, tr("秒"), DluRect(kUnitX, kFieldY[3] + 2, 12, 8), Qt::AlignLeft | Qt::AlignVCenter, kSecondsId);
    AddLabel(*this, tr("回"), DluRect(kUnitX, kFieldY[4] + 2, 12, 8));

    m_pPicture = new CWavePicture(this);
    m_pPicture->setObjectName(ControlName("picture", kPictureId));
    m_pPicture->setGeometry(kTableRect);

    m_pList = new CEditListCtrl(this);
    m_pList->setObjectName(ControlName("list", kListId));
    m_pList->setGeometry(kTableRect);

    m_pHint = AddLabel(*this, QString(), DluRect(7, 144, 273, 10), Qt::AlignLeft | Qt::AlignVCenter, kHintId);

    m_pReadButton = new QPushButton(tr("任意読込"), this);
    m_pReadButton->setObjectName(ControlName("button", kReadId));
    m_pReadButton->setGeometry(DluRect(7, 156, 50, 14));
    connect(m_pReadButton, &QPushButton::clicked, this, [this] { ReadCsv(); });
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName("button", 1));
    ok->setGeometry(DluRect(176, 156, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* back = new QPushButton(tr("戻る"), this);
    back->setObjectName(ControlName("button", 2));
    back->setGeometry(DluRect(230, 156, 50, 14));
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    ShowMode(kAutoSawtooth);
    m_pMode->setFocus();
}

void CAutoOutDlg::SetInputs(int channel, GeneratorModel& model, std::array<AutoOutputState, kMaxChannels>& autoOutput,
                            int slot)
{
    m_nChannel = channel;
    m_nSlot = slot;
    m_pStates = &autoOutput;
    const std::optional<AutoOutDialogInputs> inputs = AutoOutDialogInputsFor(model, channel);
    if (inputs) {
        m_limits = inputs->limits;
        m_pChannelText->setText(Shown(inputs->channelText));
        m_pLowerText->setText(QString::fromStdString(inputs->lowerText));
        m_pUpperText->setText(QString::fromStdString(inputs->upperText));
    } else {
        // No slot in use: nothing to show and nothing OK may write.
        m_pStates = nullptr;
        m_pChannelText->clear();
        m_pLowerText->clear();
        m_pUpperText->clear();
    }
    // The name of the slot written, which is the caller's.
    m_pRangeText->setText(Shown(RangeDisplayName(slot)));

    ArbitraryTable table{};
    if (const AutoOutputState* state = State())
        FillTableFromPoints(table, state->points, m_limits.decimals);
    SetTable(table);

    const int mode = DialogModeFor(StoredSlot());
    {
        const QSignalBlocker quiet(m_pMode);
        m_pMode->setCurrentIndex(mode);
    }
    ShowMode(mode);
}

QLineEdit* CAutoOutDlg::Field(AutoOutField field) const
{
    return m_pFields[Index(field)];
}

void CAutoOutDlg::ShowMode(int mode)
{
    const AutoOutModeView view = AutoOutModeViewFor(mode);
    const std::array<const std::string*, 4> labels = {&view.startLabel, &view.endLabel, &view.stepLabel,
                                                      &view.intervalLabel};
    for (std::size_t i = 0; i < m_pWaveLabels.size(); ++i) {
        m_pWaveLabels[i]->setText(Shown(*labels[i]));
        m_pWaveLabels[i]->setVisible(view.waveFields);
        m_pFields[i]->setVisible(view.waveFields);
    }
    m_pSecondsUnit->setVisible(view.waveFields);
    m_pHint->setText(Shown(view.hint));
    m_pPicture->setVisible(view.picture != WavePicture::None);
    m_pList->setVisible(view.tableShown);
    m_pReadButton->setEnabled(view.readEnabled);
    // Values typed but not yet taken are dropped with the mode change.
    RefillFields();
}

void CAutoOutDlg::RefillFields()
{
    const AutoOutFieldTexts texts = AutoOutFieldTextsFor(StoredSlot(), m_limits.decimals);
    const std::array<const std::string*, kFieldCount> values = {&texts.start, &texts.end, &texts.step, &texts.interval,
                                                                &texts.repeat};
    for (std::size_t i = 0; i < m_pFields.size(); ++i) {
        const QSignalBlocker quiet(m_pFields[i]);
        m_pFields[i]->setText(QString::fromStdString(*values[i]));
    }
    RefreshPicture();
}

void CAutoOutDlg::NormaliseField(AutoOutField which)
{
    QLineEdit* field = m_pFields[Index(which)];
    const FieldNormalisation n = NormaliseAutoOutField(which, ToUtf8(field->text()), m_limits.decimals);
    if (!n.rewrite) {
        field->undo();
        return;
    }
    {
        const QSignalBlocker quiet(field);
        field->setText(QString::fromStdString(n.text));
    }
    RefreshPicture();
}

void CAutoOutDlg::RefreshPicture()
{
    m_pPicture->SetPreview(WavePreviewFor(Mode(), FieldTexts(), m_limits));
}

void CAutoOutDlg::ReadCsv()
{
    m_pList->EndCellEdit();
    ArbitraryTable table = Table();
    ReadCsvIntoTable(table, m_limits.lower, m_limits.upper, m_prompter);
    SetTable(table);
}

int CAutoOutDlg::Mode() const
{
    return m_pMode->currentIndex();
}

AutoOutFieldTexts CAutoOutDlg::FieldTexts() const
{
    auto text = [this](AutoOutField f) { return ToUtf8(m_pFields[Index(f)]->text()); };
    return {text(AutoOutField::Start), text(AutoOutField::End), text(AutoOutField::Step), text(AutoOutField::Interval),
            text(AutoOutField::Repeat)};
}

ArbitraryTable CAutoOutDlg::Table() const
{
    ArbitraryTable table{};
    for (int r = 0; r < kArbitraryPointCount; ++r) {
        ArbitraryRowText& row = table[static_cast<std::size_t>(r)];
        row.value = ToUtf8(m_pList->CellText(r, CEditListCtrl::kValueColumn));
        row.interval = ToUtf8(m_pList->CellText(r, CEditListCtrl::kIntervalColumn));
    }
    return table;
}

void CAutoOutDlg::SetTable(const ArbitraryTable& table)
{
    for (int r = 0; r < kArbitraryPointCount; ++r) {
        const ArbitraryRowText& row = table[static_cast<std::size_t>(r)];
        m_pList->SetCellText(r, CEditListCtrl::kValueColumn, QString::fromStdString(row.value));
        m_pList->SetCellText(r, CEditListCtrl::kIntervalColumn, QString::fromStdString(row.interval));
    }
}

AutoOutputState* CAutoOutDlg::State() const
{
    if (m_pStates == nullptr || m_nChannel < 0 || m_nChannel >= kMaxChannels || m_nSlot < 0 || m_nSlot >= kSlotCount)
        return nullptr;
    return &(*m_pStates)[static_cast<std::size_t>(m_nChannel)];
}

const AutoOutputSlot& CAutoOutDlg::StoredSlot() const
{
    // Before the inputs are set the fields show a new slot's defaults.
    static const AutoOutputSlot kNoInputs{};
    const AutoOutputState* state = State();
    return state != nullptr ? state->slots[static_cast<std::size_t>(m_nSlot)] : kNoInputs;
}

void CAutoOutDlg::accept()
{
    // A cell still being edited belongs to the table OK checks.
    m_pList->EndCellEdit();
    AutoOutputState* state = State();
    if (state == nullptr)
        return;
    if (AcceptAutoOutSettings(*state, m_nSlot, m_limits, Mode(), FieldTexts(), Table(), m_prompter))
        QDialog::accept();
}

} // namespace velmora
