#pragma once
// The conversion formula of one channel: the converted values at the lower
// and upper end of the analog range, and the decimals they are shown with,
// taken from how the operator typed them. OK checks the two texts and refuses
// with a message, leaving the dialog open, until they are acceptable.
//
//     CScaleDlg dlg(prompter, this);
//     dlg.SetChannel(ch);
//     dlg.SetRangeCode(s.rangeCode);
//     dlg.SetConversion(s.convMin, s.convMax, s.convDecimals);
//     if (dlg.exec() == QDialog::Accepted) { s.convMin = dlg.ConvMin(); ... }

#include <QDialog>

class QLabel;
class QLineEdit;

namespace velmora {

class Prompter;

class CScaleDlg : public QDialog {
    Q_OBJECT
public:
    explicit CScaleDlg(Prompter& prompter, QWidget* parent = nullptr);

    // Inputs; each updates what the dialog shows. The results start equal to
    // the inputs.
    void SetChannel(int channel);
    void SetRangeCode(int code);
    void SetConversion(double convMin, double convMax, int decimals);

    // Results, overwritten by an accepted OK.
    double ConvMin() const { return m_dConvMin; }
    double ConvMax() const { return m_dConvMax; }
    int ConvDecimals() const { return m_nDecimals; }

public Q_SLOTS:
    void accept() override;

private:
    Prompter& m_prompter;
    double m_dConvMin = 0.0;
    double m_dConvMax = 1.0;
    int m_nDecimals = 0;
    QLabel* m_pChannelLabel = nullptr;
    QLabel* m_pLowerEndLabel = nullptr;
    QLabel* m_pUpperEndLabel = nullptr;
    QLineEdit* m_pMinEdit = nullptr;
    QLineEdit* m_pMaxEdit = nullptr;
};

} // namespace velmora
