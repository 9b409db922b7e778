#pragma once
// The range choice of one channel: one button per output range, the present
// range in light green. A range button closes the dialog with OK at once; the
// caller applies the chosen code.
//
//     CRangeSelectDlg dlg(this);
//     dlg.SetRangeCode(channel.rangeCode);
//     if (dlg.exec() == QDialog::Accepted)
//         model.SetRange(ch, dlg.RangeCode());

#include <QDialog>

#include <array>

#include "dialogs/RangeChoice.h"

namespace velmora {

class CColorButton;
class Prompter;

class CRangeSelectDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRangeSelectDlg(QWidget* parent = nullptr);
    // The range choice asks nothing; this form is for callers that hand every
    // dialog their prompter.
    explicit CRangeSelectDlg(Prompter& prompter, QWidget* parent = nullptr);

    // The present code before the dialog opens; re-highlights.
    void SetRangeCode(int code);
    // After OK, the chosen code; after Cancel, the code that was set.
    int RangeCode() const { return m_nRangeCode; }

    // The button of a control id 1000-1009, for the caller's tests.
    CColorButton* RangeButton(int id) const;

private:
    void Highlight();
    void Choose(int code);

    int m_nRangeCode = -1;
    std::array<CColorButton*, kRangeButtonCount> m_pButtons{};
};

} // namespace velmora
