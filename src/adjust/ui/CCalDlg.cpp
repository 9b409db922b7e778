#include "adjust/ui/CCalDlg.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>

#include "adjust/AdjustSession.h"
#include "dialogs/GeneratorInfoReport.h"
#include "dialogs/ui/CGroupFrame.h"
#include "dialogs/ui/DialogMetrics.h"
#include "model/RangeTable.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

constexpr int kChannelListId = 1015;
constexpr int kRangeLabelId = 1026;
constexpr int kSelectOffId = 1066;
constexpr int kSelectMakerId = 1067;
constexpr int kSelectUserId = 1069;
constexpr int kMinOutputId = 1033;
constexpr int kMinLimitId = 1028;
constexpr int kMinEditId = 1038;
constexpr int kMinUpId = 1041;
constexpr int kMinDownId = 1042;
constexpr int kMaxOutputId = 1035;
constexpr int kMaxLimitId = 1034;
constexpr int kMaxEditId = 1039;
constexpr int kMaxUpId = 1043;
constexpr int kMaxDownId = 1044;
constexpr int kInitialiseId = 1037;
constexpr int kOkId = 1036;
constexpr int kCancelId = 2;

const char* const kAskInitialise = QT_TRANSLATE_NOOP("velmora::CCalDlg", "全ユーザー調整値を初期化しますか？");
const char* const kAskSave = QT_TRANSLATE_NOOP("velmora::CCalDlg", "調整値が変更されています。保存しますか？");

const QColor kCommitted(0xE0, 0xFF, 0xFF); // pale turquoise: the value the unit has
const QColor kTyping(0xFF, 0xFF, 0x00);    // yellow: typed, not yet taken

std::size_t Index(AdjustSide side)
{
    return side == AdjustSide::Min ? 0 : 1;
}

QPushButton* AddButton(QWidget& parent, const QString& text, int id, const QRect& rect)
{
    auto* button = new QPushButton(text, &parent);
    button->setObjectName(ControlName("button", id));
    button->setGeometry(rect);
    // No default button: Enter is the dialog's to interpret.
    button->setAutoDefault(false);
    return button;
}

CGroupFrame* AddGroup(QWidget& parent, const QString& title, const QRect& rect)
{
    auto* group = new CGroupFrame(title, &parent);
    group->setGeometry(rect);
    // The groups only frame; the controls are the dialog's own children.
    group->lower();
    return group;
}

} // namespace

// A correction edit: yellow while the operator types, and Enter commits the
// text instead of reaching the dialog (where it would close it as OK).
class CCorrectionEdit : public QLineEdit {
public:
    explicit CCorrectionEdit(QWidget* parent) : QLineEdit(parent)
    {
        connect(this, &QLineEdit::textEdited, this, [this] { SetColour(kTyping); });
    }

    std::function<void()> onEnter;

    // The value the session holds, in the committed colour.
    void ShowValue(int value)
    {
        const QSignalBlocker quiet(this);
        setText(QString::number(value));
        SetColour(kCommitted);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            if (onEnter)
                onEnter();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    void SetColour(const QColor& colour)
    {
        QPalette p = palette();
        p.setColor(QPalette::Base, colour);
        setPalette(p);
    }
};

CCalDlg::CCalDlg(AdjustSession& session, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_prompter(prompter)
{
    PrepareDialog(*this, tr("アナログ出力調整"), 249, 167);

    m_pChannels = new QComboBox(this);
    m_pChannels->setObjectName(ControlName("combo", kChannelListId));
    m_pChannels->setGeometry(DluRect(7, 7, 36, 12));
    for (int i = 0; i < m_session.ChannelCount(); ++i)
        m_pChannels->addItem(QString::number(i + 1));
    m_pRange = AddLabel(*this, tr("レンジ"), DluRect(52, 9, 150, 8), Qt::AlignLeft | Qt::AlignVCenter, kRangeLabelId);

    AddGroup(*this, tr("調整値選択"), DluRect(7, 24, 235, 26));
    m_pSelection = new QButtonGroup(this);
    const struct {
        int id;
        const char* text;
        int x;
        int width;
        int select;
    } radios[] = {
        {kSelectOffId, QT_TRANSLATE_NOOP("velmora::CCalDlg", "調整無効"), 14, 52, 0},
        {kSelectMakerId, QT_TRANSLATE_NOOP("velmora::CCalDlg", "メーカー調整有効"), 70, 82, 1},
        {kSelectUserId, QT_TRANSLATE_NOOP("velmora::CCalDlg", "ユーザー調整有効"), 156, 82, 2},
    };
    for (const auto& r : radios) {
        auto* radio = new QRadioButton(tr(r.text), this);
        radio->setObjectName(ControlName("radio", r.id));
        radio->setGeometry(DluRect(r.x, 35, r.width, 10));
        m_pSelection->addButton(radio, r.select);
    }

    AddGroup(*this, tr("ユーザー出力調整"), DluRect(7, 54, 235, 86));
    AddGroup(*this, tr("最小"), DluRect(13, 64, 109, 70));
    AddGroup(*this, tr("最大"), DluRect(127, 64, 109, 70));
    BuildSide(AdjustSide::Min, 13);
    BuildSide(AdjustSide::Max, 127);

    QPushButton* reset = AddButton(*this, tr("全ユーザー調整初期化"), kInitialiseId, DluRect(7, 147, 96, 14));
    // A caption longer than the button (the English one) widens it into the
    // free space before OK rather than being cut.
    const int widest = DluRect(7, 147, 123, 14).width();
    if (reset->sizeHint().width() > reset->width())
        reset->resize(std::min(reset->sizeHint().width(), widest), reset->height());
    auto* ok = AddButton(*this, QStringLiteral("OK"), kOkId, DluRect(136, 147, 50, 14));
    auto* cancel = AddButton(*this, tr("キャンセル"), kCancelId, DluRect(192, 147, 50, 14));

    connect(findChild<QPushButton*>(ControlName("button", kInitialiseId)), &QPushButton::clicked, this,
            &CCalDlg::InitialiseAll);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CCalDlg::reject);
    connect(m_pSelection, &QButtonGroup::idClicked, this, [this](int select) { m_session.SetSelection(select); });
    connect(m_pChannels, &QComboBox::currentIndexChanged, this, &CCalDlg::ChannelChosen);

    ShowEnabled();
    ShowChannel();
    m_pChannels->setFocus();
}

CCalDlg::~CCalDlg() = default;

CCalDlg::Side& CCalDlg::SideOf(AdjustSide side)
{
    return m_sides[Index(side)];
}

void CCalDlg::BuildSide(AdjustSide side, int x)
{
    const bool min = side == AdjustSide::Min;
    Side& s = SideOf(side);
    s.output = new QCheckBox(min ? tr("最小値　出力") : tr("最大値　出力"), this);
    s.output->setObjectName(ControlName("check", min ? kMinOutputId : kMaxOutputId));
    s.output->setGeometry(DluRect(x + 6, 75, 80, 10));
    s.limit = AddLabel(*this, tr("レンジ"), DluRect(x + 6, 89, 97, 8), Qt::AlignLeft | Qt::AlignVCenter,
                       min ? kMinLimitId : kMaxLimitId);
    AddLabel(*this, tr("補正値"), DluRect(x + 6, 108, 28, 8));

    s.edit = new CCorrectionEdit(this);
    s.edit->setObjectName(ControlName("edit", min ? kMinEditId : kMaxEditId));
    s.edit->setGeometry(DluRect(x + 35, 103, 44, 18));
    QFont editFont(QStringLiteral("IPAGothic"));
    editFont.setPixelSize(20);
    editFont.setWeight(QFont::Normal);
    s.edit->setFont(editFont);
    s.edit->onEnter = [this, side] { Typed(side); };

    s.up = AddButton(*this, QStringLiteral("▲"), min ? kMinUpId : kMaxUpId, DluRect(x + 83, 101, 20, 11));
    s.down = AddButton(*this, QStringLiteral("▼"), min ? kMinDownId : kMaxDownId, DluRect(x + 83, 113, 20, 11));

    connect(s.output, &QCheckBox::clicked, this, [this, side](bool on) { OutputToggled(side, on); });
    connect(s.up, &QPushButton::clicked, this, [this, side] { Step(side, +1); });
    connect(s.down, &QPushButton::clicked, this, [this, side] { Step(side, -1); });
}

void CCalDlg::ShowChannel()
{
    const AdjustChannel& c = m_session.Current();
    m_pRange->setText(Shown(RangeDisplayName(c.rangeCode)));
    SideOf(AdjustSide::Min).limit->setText(QString::fromStdString(c.lowerText));
    SideOf(AdjustSide::Max).limit->setText(QString::fromStdString(c.upperText));
    ShowCorrections();
    // A selection the radios have no button for (both bits set) shows none
    // of them rather than the last channel's.
    if (QAbstractButton* radio = m_pSelection->button(c.select)) {
        radio->setChecked(true);
    } else {
        m_pSelection->setExclusive(false);
        for (QAbstractButton* b : m_pSelection->buttons())
            b->setChecked(false);
        m_pSelection->setExclusive(true);
    }
}

void CCalDlg::ShowCorrections()
{
    SideOf(AdjustSide::Min).edit->ShowValue(m_session.Correction(AdjustSide::Min));
    SideOf(AdjustSide::Max).edit->ShowValue(m_session.Correction(AdjustSide::Max));
}

void CCalDlg::ShowEnabled()
{
    for (AdjustSide side : {AdjustSide::Min, AdjustSide::Max}) {
        Side& s = SideOf(side);
        const bool on = m_session.SideEnabled(side);
        s.output->setChecked(on);
        s.edit->setEnabled(on);
        s.up->setEnabled(on);
        s.down->setEnabled(on);
    }
}

void CCalDlg::OutputToggled(AdjustSide side, bool on)
{
    m_session.SetTestOutput(side, on);
    ShowEnabled();
    ShowCorrections();
    if (on)
        SideOf(side).edit->setFocus();
}

void CCalDlg::Step(AdjustSide side, int delta)
{
    m_session.Step(side, delta);
    SideOf(side).edit->ShowValue(m_session.Correction(side));
}

void CCalDlg::Typed(AdjustSide side)
{
    CCorrectionEdit* edit = SideOf(side).edit;
    // Stored or not, the edit shows what the session holds: a text that is
    // no number goes back to the value before it.
    m_session.Type(side, edit->text().toStdString());
    edit->ShowValue(m_session.Correction(side));
}

void CCalDlg::ChannelChosen(int index)
{
    if (!m_session.SelectChannel(index))
        return;
    ShowEnabled();
    ShowChannel();
}

void CCalDlg::InitialiseAll()
{
    if (m_prompter.Message(tr(kAskInitialise).toStdString(), kCaptionConfirm, PromptIcon::Information,
                           PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    // The operator asked for it and waits for it: an initialisation the unit
    // did not confirm is said, unlike the test outputs, whose effect shows
    // on the meter.
    if (!Answered(m_session.InitialiseAll()))
        m_prompter.Message(kReportCommErrorText, kCaptionConfirm, PromptIcon::Information);
}

void CCalDlg::reject()
{
    const bool changed = m_session.SwitchOffForCancel();
    ShowEnabled();
    ShowCorrections();
    if (changed &&
        m_prompter.Message(tr(kAskSave).toStdString(), kCaptionConfirm, PromptIcon::Information,
                           PromptButtons::YesNo) == PromptAnswer::Yes) {
        QDialog::accept();
        return;
    }
    QDialog::reject();
}

void CCalDlg::keyPressEvent(QKeyEvent* event)
{
    // The keypad's Enter comes with the keypad modifier.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Without a default button Enter is OK, unless a push button has the
        // focus: then it is that button's press.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled())
                button->click();
        } else {
            accept();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace velmora
