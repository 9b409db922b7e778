#pragma once
// What the technician says before a test: the name (remembered between
// tests, like the window's other settings), an optional remark, and for a
// correction of an earlier result why it is corrected. OK needs a name (and
// the reason of a correction); whether the test can run is the
// procedure's to say.
//
// Thread contract: UI thread only.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace velmora {

class CLoopStartDlg : public QDialog {
    Q_OBJECT
public:
    // `heading`: the tag and the kind of test, as the window names them.
    explicit CLoopStartDlg(const QString& heading, QWidget* parent = nullptr);

    // The name last used (empty the first time), or the one given.
    void SetTechnician(const QString& name);
    QString Technician() const;
    QString Remark() const;
    // A correction of an earlier result: a field for why, which OK needs.
    void AskReason();
    QString Reason() const;
    // The name as remembered for the next test, and read back.
    static QString RememberedTechnician();
    static void RememberTechnician(const QString& name);

public Q_SLOTS:
    void accept() override;

private:
    QLineEdit* m_pTechnician = nullptr;
    QPlainTextEdit* m_pRemark = nullptr;
    QLabel* m_pReasonLabel = nullptr;
    QLineEdit* m_pReason = nullptr;
    QLabel* m_pProblem = nullptr;
};

} // namespace velmora
