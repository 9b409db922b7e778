#pragma once
// The test view of a running loop check: the point being put out (n of N,
// its nominal %), the signal put out, the reading expected, the settle
// time counting down, a field for the technician's reading (Enter takes
// it; a text that is not a number is refused beside the field), the table
// of the points with expected, read, error in % of span and verdict, and
// Abort. At the end the overall verdict and the result's hash.
//
// The view only shows the procedure and forwards the technician's input:
// the procedure belongs to the tag list window (CLoopCheckDlg), which ticks
// it after each of the panel's ticks and calls Refresh. Closing the view
// while a test runs aborts the test, once the technician has agreed; the
// procedure puts the channel back.
//
// Thread contract: UI thread only.

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velmora {

class LoopCheckProcedure;
class Prompter;

class CLoopTestView : public QWidget {
    Q_OBJECT
public:
    // The table's columns.
    enum Column { kPoint, kPercent, kOutput, kExpected, kReading, kError, kVerdict, kColumns };

    CLoopTestView(LoopCheckProcedure& procedure, Prompter& prompter, QWidget* parent = nullptr);

    // A test was started: the table is laid out for its points.
    void Begin(const QString& heading);
    // Shows the procedure as it is now.
    void Refresh();
    // What Enter in the reading field does. False when the text is refused
    // (the reason beside the field, the text left to be corrected).
    bool EnterReading();
    // The Abort button.
    void AbortTest();

    QLineEdit* ReadingField() const { return m_pReading; }
    QString RefusalText() const;
    QTableWidget* PointTable() const { return m_pTable; }
    QString PointText() const;
    QString CountdownText() const;
    QString OutcomeText() const;

Q_SIGNALS:
    // A reading was taken or the test aborted: the owner looks for the end.
    void Stepped();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Refuse(const QString& why);
    void ShowOutcome();

    LoopCheckProcedure& m_procedure;
    Prompter& m_prompter;
    std::size_t m_nShownPoints = 0;
    bool m_bWasDue = false;
    QLabel* m_pHeading = nullptr;
    QLabel* m_pPoint = nullptr;
    QLabel* m_pSignal = nullptr;
    QLabel* m_pExpected = nullptr;
    QLabel* m_pCountdown = nullptr;
    QLineEdit* m_pReading = nullptr;
    QLabel* m_pReadingUnit = nullptr;
    QPushButton* m_pTake = nullptr;
    QLabel* m_pRefusal = nullptr;
    QTableWidget* m_pTable = nullptr;
    QLabel* m_pOutcome = nullptr;
    QPushButton* m_pAbort = nullptr;
    QPushButton* m_pClose = nullptr;
};

} // namespace velmora
