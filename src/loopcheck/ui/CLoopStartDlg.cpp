#include "loopcheck/ui/CLoopStartDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "app/RecentFileList.h"

namespace velmora {

namespace {

constexpr const char* kTechnicianKey = "LoopCheck/Technician";

} // namespace

CLoopStartDlg::CLoopStartDlg(const QString& heading, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("loopstart"));
    setWindowTitle(tr("点検開始"));
    auto* title = new QLabel(heading, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    m_pTechnician = new QLineEdit(this);
    m_pTechnician->setObjectName(QStringLiteral("technician"));
    m_pRemark = new QPlainTextEdit(this);
    m_pRemark->setObjectName(QStringLiteral("remark"));
    m_pRemark->setTabChangesFocus(true);
    m_pRemark->setFixedHeight(m_pRemark->fontMetrics().lineSpacing() * 4 + 12);
    m_pProblem = new QLabel(this);
    m_pProblem->setObjectName(QStringLiteral("problem"));
    m_pProblem->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_pProblem->hide();

    m_pReason = new QLineEdit(this);
    m_pReason->setObjectName(QStringLiteral("reason"));
    m_pReasonLabel = new QLabel(tr("訂正の理由(&W)"), this);
    m_pReasonLabel->setBuddy(m_pReason);
    m_pReason->hide();
    m_pReasonLabel->hide();

    auto* form = new QFormLayout;
    form->addRow(tr("技術者(&N)"), m_pTechnician);
    form->addRow(QString(), m_pProblem);
    form->addRow(m_pReasonLabel, m_pReason);
    form->addRow(tr("備考(&R)"), m_pRemark);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("開始"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CLoopStartDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoopStartDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
    SetTechnician(RememberedTechnician());
}

void CLoopStartDlg::SetTechnician(const QString& name)
{
    m_pTechnician->setText(name);
}

QString CLoopStartDlg::Technician() const
{
    return m_pTechnician->text().trimmed();
}

QString CLoopStartDlg::Remark() const
{
    return m_pRemark->toPlainText().trimmed();
}

void CLoopStartDlg::AskReason()
{
    m_pReason->show();
    m_pReasonLabel->show();
}

QString CLoopStartDlg::Reason() const
{
    return m_pReason->isHidden() ? QString() : m_pReason->text().trimmed();
}

QString CLoopStartDlg::RememberedTechnician()
{
    return RecentFileList::OpenSettings().value(QLatin1String(kTechnicianKey)).toString();
}

void CLoopStartDlg::RememberTechnician(const QString& name)
{
    QSettings settings = RecentFileList::OpenSettings();
    settings.setValue(QLatin1String(kTechnicianKey), name);
}

void CLoopStartDlg::accept()
{
    if (Technician().isEmpty()) {
        m_pProblem->setText(tr("技術者の名前を入力してください"));
        m_pProblem->show();
        m_pTechnician->setFocus();
        return;
    }
    if (!m_pReason->isHidden() && Reason().isEmpty()) {
        m_pProblem->setText(tr("訂正の理由を入力してください"));
        m_pProblem->show();
        m_pReason->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace velmora
