#pragma once
// The firmware update dialog: the image file chosen, then the whole update
// run from its "更新" button, with the progress bar and the status line the
// sequence drives. It has no close box; its Cancel button stays enabled
// while the update runs and, as Escape, asks it to stop: between two
// exchanges while the corrections are read or written back, between two
// steps while the unit is programmed.
//
//     CProgramUp dlg(link, ftdi, doc.m_model, folder, prompter, this);
//     dlg.exec();

#include <QDialog>

#include <string>

#include "firmware/BootProgrammer.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

class FtdiChannel;
class GeneratorLink;
class GeneratorModel;

class CProgramUp : public QDialog, public ProgramObserver {
    Q_OBJECT
public:
    CProgramUp(GeneratorLink& link, FtdiChannel& ftdi, GeneratorModel& model, std::string folder, Prompter& prompter,
               QWidget* parent = nullptr);

    // The buttons' work, for the menu and for tests.
    void ChooseFile();
    void StartUpdate();
    bool IsBusy() const { return m_bBusy; }

    // ProgramObserver
    void SetProgress(int percent) override;
    void SetStatus(const std::string& text) override;
    void EnableCancel(bool enabled) override;
    void LetEventsRun() override;
    bool CancelRequested() const override { return m_bCancelRequest; }
    void ClearCancel() override { m_bCancelRequest = false; }

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    GeneratorLink& m_link;
    FtdiChannel& m_ftdi;
    GeneratorModel& m_model;
    std::string m_strFolder;
    Prompter& m_prompter;
    bool m_bBusy = false;
    bool m_bCancelRequest = false;
    QLabel* m_pPath = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pChoose = nullptr;
    QPushButton* m_pUpdate = nullptr;
    QPushButton* m_pCancel = nullptr;
};

} // namespace velmora
