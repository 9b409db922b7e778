#include "firmware/ui/CProgramUp.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "dialogs/ui/DialogMetrics.h"
#include "firmware/UpdateSequence.h"
#include "link/FtdiChannel.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

constexpr int kPathId = 1011;
constexpr int kChooseId = 1013;
constexpr int kProgressId = 1012;
constexpr int kStatusId = 1014;
constexpr int kUpdateId = 1010;
constexpr int kCancelId = 2;

QPushButton* AddButton(QWidget& parent, const QString& text, int id, const QRect& rect)
{
    auto* b = new QPushButton(text, &parent);
    b->setObjectName(ControlName("button", id));
    b->setGeometry(rect);
    b->setAutoDefault(false);
    return b;
}

} // namespace

CProgramUp::CProgramUp(GeneratorLink& link, FtdiChannel& ftdi, GeneratorModel& model, std::string folder,
                       Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_link(link),
      m_ftdi(ftdi),
      m_model(model),
      m_strFolder(std::move(folder)),
      m_prompter(prompter)
{
    PrepareDialog(*this, tr("ファームウェア更新"), 309, 122);
    // No close box: the update is left through its own button only.
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) & ~Qt::WindowCloseButtonHint);

    AddLabel(*this, tr("更新ファームウェア"), DluRect(7, 9, 70, 8));
    m_pPath = AddLabel(*this, Shown(kNotSelected), DluRect(7, 22, 240, 12), Qt::AlignLeft | Qt::AlignVCenter, kPathId);
    m_pPath->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pChoose = AddButton(*this, tr("ファイル選択"), kChooseId, DluRect(252, 21, 50, 14));
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(ControlName("progress", kProgressId));
    m_pProgress->setGeometry(DluRect(7, 44, 295, 12));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pStatus = AddLabel(*this, tr("更新ファームウェアを選択してください"), DluRect(7, 64, 295, 10),
                         Qt::AlignLeft | Qt::AlignVCenter, kStatusId);
    m_pUpdate = AddButton(*this, tr("更新"), kUpdateId, DluRect(143, 98, 75, 16));
    m_pUpdate->setEnabled(false);
    m_pCancel = AddButton(*this, tr("キャンセル"), kCancelId, DluRect(227, 98, 75, 16));

    connect(m_pChoose, &QPushButton::clicked, this, &CProgramUp::ChooseFile);
    connect(m_pUpdate, &QPushButton::clicked, this, &CProgramUp::StartUpdate);
    connect(m_pCancel, &QPushButton::clicked, this, &CProgramUp::reject);
}

void CProgramUp::ChooseFile()
{
    const std::optional<std::string> path =
        m_prompter.ChooseOpenFile("", {{"Program Files (*.zpg)", "*.zpg"}, {"All Files (*.*)", "*.*"}});
    if (!path)
        return;
    m_pPath->setText(QString::fromStdString(*path));
    SetStatus(tr("更新してください").toStdString());
    m_pUpdate->setEnabled(true);
}

void CProgramUp::StartUpdate()
{
    m_bBusy = true;
    m_pUpdate->setEnabled(false);
    m_pChoose->setEnabled(false);
    const UpdateRun run = RunFirmwareUpdate(m_link, m_ftdi, m_model, m_pPath->text().toStdString(), m_strFolder, *this,
                                            m_prompter, m_link.GetClock());
    m_bBusy = false;
    // Either way the unit is to be connected again from the panel: only
    // leaving is left here.
    m_pCancel->setEnabled(true);
    if (run.ending == UpdateEnding::Finished)
        m_pCancel->setText(tr("戻る"));
}

void CProgramUp::SetProgress(int percent)
{
    m_pProgress->setValue(percent);
}

void CProgramUp::SetStatus(const std::string& text)
{
    m_pStatus->setText(Shown(text));
}

void CProgramUp::EnableCancel(bool enabled)
{
    m_pCancel->setEnabled(enabled);
}

void CProgramUp::LetEventsRun()
{
    QCoreApplication::processEvents();
}

void CProgramUp::reject()
{
    if (m_bBusy) {
        // The programming acts on it between its steps.
        m_bCancelRequest = true;
        return;
    }
    if (m_ftdi.IsOpen())
        m_ftdi.CloseUnit();
    QDialog::reject();
}

void CProgramUp::closeEvent(QCloseEvent* event)
{
    // The window manager's close, where there is one, is the Cancel button.
    event->ignore();
    reject();
}

} // namespace velmora
