#include "dialogs/ui/ConverterVersionDlg.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "dialogs/GeneratorInfoReport.h"
#include "dialogs/ui/DialogMetrics.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"

namespace velmora {

namespace {

constexpr int kReportEditId = 1065;

// The report's columns are laid out for tab stops ten half-width characters
// apart: a range name fits below the second, and the column heads stand at
// the same stops as the values.
constexpr int kTabColumns = 10;

} // namespace

ConverterVersionDlg::ConverterVersionDlg(GeneratorLink& link, GeneratorModel& model, Prompter& prompter,
                                         QWidget* parent)
    : QDialog(parent),
      m_link(link),
      m_model(model),
      m_prompter(prompter)
{
    PrepareDialog(*this, tr("発生器　情報"), 309, 176);

    m_pReport = new QPlainTextEdit(this);
    m_pReport->setObjectName(ControlName("edit", kReportEditId));
    m_pReport->setGeometry(DluRect(7, 7, 295, 140));
    m_pReport->setReadOnly(true);
    m_pReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pReport->setFont(DialogFont());
    m_pReport->setTabStopDistance(kTabColumns * m_pReport->fontMetrics().horizontalAdvance(QLatin1Char(' ')));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName("button", 1));
    ok->setGeometry(DluRect(198, 155, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName(ControlName("button", 2));
    cancel->setGeometry(DluRect(252, 155, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ConverterVersionDlg::~ConverterVersionDlg() = default;

QString ConverterVersionDlg::ReportText() const
{
    return m_pReport->toPlainText();
}

void ConverterVersionDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_pReader)
        return;
    m_pReader = std::make_unique<GeneratorReportReader>(m_link, m_model);
    // Once the window is up, so that it is on the screen while the unit is
    // asked; then one step per turn of the dialog's event loop, so that it
    // paints and answers between the reads, and the reads end with the loop
    // (a close, the program told to stop).
    QTimer::singleShot(0, this, &ConverterVersionDlg::NextStep);
}

void ConverterVersionDlg::NextStep()
{
    if (!isVisible())
        return;
    if (m_pReader->Step()) {
        QTimer::singleShot(0, this, &ConverterVersionDlg::NextStep);
        return;
    }
    m_bBuilt = true;
    const GeneratorReportRun& run = m_pReader->Run();
    if (run.Ok()) {
        // The edit ends lines with LF; the report, made for files, with CR LF.
        QString text = QString::fromStdString(run.text);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        m_pReport->setPlainText(text);
    } else if (run.failure) {
        m_prompter.Message(kReportCommErrorText, kCaptionConfirm, PromptIcon::Exclamation);
    }
}

} // namespace velmora
