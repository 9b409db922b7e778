#include "dialogs/ui/CScaleDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/ConversionRules.h"
#include "model/NumberText.h"
#include "dialogs/ui/DialogMetrics.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

constexpr int kChannelId = 1016;
constexpr int kUpperEndId = 1017;
constexpr int kMinEditId = 1018;
constexpr int kMaxEditId = 1019;
constexpr int kLowerEndId = 1021;

const char* const kLowerEndTemplate = QT_TRANSLATE_NOOP("velmora::CScaleDlg", "最小値");
const char* const kUpperEndTemplate = QT_TRANSLATE_NOOP("velmora::CScaleDlg", "最大値");

QLineEdit* AddEdit(QWidget& parent, int id, const QRect& rect)
{
    auto* edit = new QLineEdit(&parent);
    edit->setObjectName(ControlName("edit", id));
    edit->setGeometry(rect);
    return edit;
}

} // namespace

CScaleDlg::CScaleDlg(Prompter& prompter, QWidget* parent) : QDialog(parent), m_prompter(prompter)
{
    PrepareDialog(*this, tr("換算式"), 199, 102);
    const Qt::Alignment centred = Qt::AlignCenter;

    AddLabel(*this, tr("チャンネル"), DluRect(4, 7, 40, 8), centred);
    AddLabel(*this, tr("最小値"), DluRect(88, 7, 48, 8), centred);
    AddLabel(*this, tr("最大値"), DluRect(142, 7, 48, 8), centred);

    m_pChannelLabel = AddLabel(*this, QString(), DluRect(4, 22, 40, 8), centred, kChannelId);
    AddLabel(*this, tr("アナログ値"), DluRect(46, 22, 40, 8));
    m_pLowerEndLabel = AddLabel(*this, tr(kLowerEndTemplate), DluRect(88, 22, 48, 8), centred, kLowerEndId);
    m_pUpperEndLabel = AddLabel(*this, tr(kUpperEndTemplate), DluRect(142, 22, 48, 8), centred, kUpperEndId);

    AddLabel(*this, QStringLiteral("▽"), DluRect(88, 33, 48, 8), centred);
    AddLabel(*this, QStringLiteral("▽"), DluRect(142, 33, 48, 8), centred);

    AddLabel(*this, tr("換算値"), DluRect(46, 46, 40, 8));
    m_pMinEdit = AddEdit(*this, kMinEditId, DluRect(88, 44, 48, 12));
    m_pMaxEdit = AddEdit(*this, kMaxEditId, DluRect(142, 44, 48, 12));
    AddLabel(*this, tr("(有効桁数5桁）"), DluRect(88, 60, 102, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName("button", 1));
    ok->setGeometry(DluRect(87, 81, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName(ControlName("button", 2));
    cancel->setGeometry(DluRect(142, 81, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    SetConversion(m_dConvMin, m_dConvMax, m_nDecimals);
    m_pMinEdit->setFocus();
}

void CScaleDlg::SetChannel(int channel)
{
    if (std::optional<std::string> label = ChannelNumberLabel(channel))
        m_pChannelLabel->setText(Shown(*label));
}

void CScaleDlg::SetRangeCode(int code)
{
    std::optional<AnalogEndLabels> labels = AnalogEndLabelsFor(code);
    m_pLowerEndLabel->setText(labels ? QString::fromStdString(labels->lower) : tr(kLowerEndTemplate));
    m_pUpperEndLabel->setText(labels ? QString::fromStdString(labels->upper) : tr(kUpperEndTemplate));
}

void CScaleDlg::SetConversion(double convMin, double convMax, int decimals)
{
    m_dConvMin = convMin;
    m_dConvMax = convMax;
    m_nDecimals = decimals;
    m_pMinEdit->setText(QString::fromStdString(FormatEditValue(convMin, decimals)));
    m_pMaxEdit->setText(QString::fromStdString(FormatEditValue(convMax, decimals)));
}

void CScaleDlg::accept()
{
    std::optional<ConversionCheck> check =
        AcceptConversion(m_pMinEdit->text().toStdString(), m_pMaxEdit->text().toStdString(), m_prompter);
    if (!check)
        return;
    m_dConvMin = check->convMin;
    m_dConvMax = check->convMax;
    m_nDecimals = check->decimals;
    QDialog::accept();
}

} // namespace velmora
