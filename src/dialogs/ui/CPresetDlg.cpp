#include "dialogs/ui/CPresetDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "model/NumberText.h"
#include "dialogs/ui/DialogMetrics.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

constexpr int kLowerTextId = 1029;
constexpr int kChannelId = 1030;
constexpr int kUpperTextId = 1031;
// Presets 1-8, row by row in three columns; the ninth cell stays empty.
constexpr std::array<int, kPresetCount> kEditIds = {1022, 1023, 1024, 1025, 1026, 1027, 1028, 1032};
constexpr std::array<int, 3> kColumnX = {48, 94, 140};
constexpr std::array<int, 3> kRowY = {36, 54, 72};

} // namespace

CPresetDlg::CPresetDlg(Prompter& prompter, QWidget* parent) : QDialog(parent), m_prompter(prompter)
{
    PrepareDialog(*this, tr("設定値"), 189, 120);
    const Qt::Alignment centred = Qt::AlignCenter;

    AddLabel(*this, tr("チャンネル"), DluRect(7, 7, 36, 8), centred);
    m_pChannelLabel = AddLabel(*this, QString(), DluRect(7, 20, 36, 8), centred, kChannelId);
    AddLabel(*this, tr("最小値"), DluRect(kColumnX[0], 7, 40, 8), centred);
    m_pLowerLabel = AddLabel(*this, QString(), DluRect(kColumnX[0], 20, 40, 8), centred, kLowerTextId);
    AddLabel(*this, tr("最大値"), DluRect(kColumnX[2], 7, 40, 8), centred);
    m_pUpperLabel = AddLabel(*this, QString(), DluRect(kColumnX[2], 20, 40, 8), centred, kUpperTextId);

    for (int k = 0; k < kPresetCount; ++k) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(ControlName("edit", kEditIds[static_cast<std::size_t>(k)]));
        edit->setGeometry(
            DluRect(kColumnX[static_cast<std::size_t>(k % 3)], kRowY[static_cast<std::size_t>(k / 3)], 40, 12));
        m_pEdits[static_cast<std::size_t>(k)] = edit;
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName("button", 1));
    ok->setGeometry(DluRect(78, 99, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* back = new QPushButton(tr("戻る"), this);
    back->setObjectName(ControlName("button", 2));
    back->setGeometry(DluRect(132, 99, 50, 14));
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    ShowPresets();
    m_pEdits[0]->setFocus();
}

void CPresetDlg::SetChannel(int channel)
{
    if (std::optional<std::string> label = ChannelNumberLabel(channel))
        m_pChannelLabel->setText(Shown(*label));
}

void CPresetDlg::SetLimitTexts(const std::string& lowerText, const std::string& upperText)
{
    m_pLowerLabel->setText(QString::fromStdString(lowerText));
    m_pUpperLabel->setText(QString::fromStdString(upperText));
}

void CPresetDlg::SetLimits(double lower, double upper, int decimals)
{
    m_limits = PresetLimits{lower, upper, decimals};
    ShowPresets();
}

void CPresetDlg::SetPresets(const PresetValues& presets)
{
    m_presets = presets;
    ShowPresets();
}

QLineEdit* CPresetDlg::PresetEdit(int k) const
{
    if (k < 0 || k >= kPresetCount)
        return nullptr;
    return m_pEdits[static_cast<std::size_t>(k)];
}

void CPresetDlg::ShowPresets()
{
    for (std::size_t k = 0; k < m_pEdits.size(); ++k)
        m_pEdits[k]->setText(QString::fromStdString(PresetEditText(m_presets[k], m_limits.decimals)));
}

void CPresetDlg::accept()
{
    PresetTexts texts;
    for (std::size_t k = 0; k < m_pEdits.size(); ++k)
        texts[k] = m_pEdits[k]->text().toStdString();
    std::optional<PresetValues> values = AcceptPresets(texts, m_limits, m_prompter);
    if (!values)
        return;
    m_presets = *values;
    QDialog::accept();
}

} // namespace velmora
