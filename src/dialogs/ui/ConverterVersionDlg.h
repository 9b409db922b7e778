#pragma once
// The generator information dialog: the connected unit's version, circuit
// count and every range's maker and user corrections, read fresh from the
// unit once the dialog is up. The window keeps painting while the reads run;
// closing it stops them. A read that goes unanswered leaves the report empty
// and says so once.
//
//     ConverterVersionDlg dlg(link, doc.m_model, prompter, this);
//     dlg.exec();

#include <QDialog>

#include <memory>

class QPlainTextEdit;

namespace velmora {

class GeneratorLink;
class GeneratorModel;
class GeneratorReportReader;
class Prompter;

class ConverterVersionDlg : public QDialog {
    Q_OBJECT
public:
    ConverterVersionDlg(GeneratorLink& link, GeneratorModel& model, Prompter& prompter, QWidget* parent = nullptr);

    // The report shown; empty until the reads are done, and after a failure.
    QString ReportText() const;
    // Whether the reads have ended with a report or a failure.
    bool IsBuilt() const { return m_bBuilt; }
    ~ConverterVersionDlg() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void NextStep();

    GeneratorLink& m_link;
    GeneratorModel& m_model;
    Prompter& m_prompter;
    QPlainTextEdit* m_pReport = nullptr;
    std::unique_ptr<GeneratorReportReader> m_pReader;
    bool m_bBuilt = false;
};

} // namespace velmora
