#pragma once
// The analog output adjustment dialog: one channel at a time, its range and
// limits, which correction set is in effect, and the user's ZERO (minimum)
// and GAIN (maximum) corrections, tuned while the unit drives the range's
// lower or upper end. The behaviour is the AdjustSession's; the dialog shows
// it and forwards the operator's actions.
//
// There is no default button: Enter in a correction edit commits the typed
// value, Enter on a push button presses it, Enter anywhere else closes the
// dialog as OK. Cancel, Escape and the close box switch the test output off
// and ask whether changed values are to be kept.
//
//     CCalDlg dlg(session, prompter, this);
//     const bool ok = dlg.exec() == QDialog::Accepted;

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace velmora {

class AdjustSession;
class CCorrectionEdit;
class Prompter;
enum class AdjustSide;

class CCalDlg : public QDialog {
    Q_OBJECT
public:
    CCalDlg(AdjustSession& session, Prompter& prompter, QWidget* parent = nullptr);
    ~CCalDlg() override;

public Q_SLOTS:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Side {
        QCheckBox* output = nullptr;
        QLabel* limit = nullptr;
        CCorrectionEdit* edit = nullptr;
        QPushButton* up = nullptr;
        QPushButton* down = nullptr;
    };

    Side& SideOf(AdjustSide side);
    void BuildSide(AdjustSide side, int originX);
    void ShowChannel();
    void ShowCorrections();
    void ShowEnabled();
    void OutputToggled(AdjustSide side, bool on);
    void Step(AdjustSide side, int delta);
    void Typed(AdjustSide side);
    void ChannelChosen(int index);
    void InitialiseAll();

    AdjustSession& m_session;
    Prompter& m_prompter;
    QComboBox* m_pChannels = nullptr;
    QLabel* m_pRange = nullptr;
    QButtonGroup* m_pSelection = nullptr;
    std::array<Side, 2> m_sides;
};

} // namespace velmora
