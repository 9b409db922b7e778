#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"

namespace velmora {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("バージョン情報 Velmora"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_pVersion = new QLabel(QStringLiteral("Velmora, Version 1.0"), this);
    m_pCopyright = new QLabel(this);
    const QString version = VersionText(QString::fromUtf8(kProductVersion), QString());
    if (!version.isEmpty())
        m_pVersion->setText(version);
    m_pCopyright->setText(QString::fromUtf8(kLegalCopyright));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(m_pVersion, 0, 1);
    grid->addWidget(m_pCopyright, 1, 1);
    grid->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    setLayout(grid);
    setFixedSize(sizeHint());
}

QString CAboutDlg::VersionText(const QString& productVersion, const QString& specialBuild)
{
    QString text;
    if (!productVersion.isEmpty())
        text = QStringLiteral("Version %1").arg(productVersion);
    if (!specialBuild.isEmpty()) {
        if (text.isEmpty())
            text = QStringLiteral("Version %1").arg(specialBuild);
        else
            text += QStringLiteral("-%1").arg(specialBuild);
    }
    return text;
}

QString CAboutDlg::ShownVersion() const
{
    return m_pVersion->text();
}

QString CAboutDlg::ShownCopyright() const
{
    return m_pCopyright->text();
}

} // namespace velmora
