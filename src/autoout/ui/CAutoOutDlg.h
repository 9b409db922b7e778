#pragma once
// The automatic-output settings of one channel's slot in use: the mode, the
// start, end (or turn-back) value, step, interval and repeat count, and for
// the arbitrary mode the channel's table of up to 100 values with their hold
// times, typed in place or read from a CSV file. The dialog sends nothing to
// the unit; an accepted OK has written the slot and the channel's table rows
// (and marked the output stopped), "戻る" and Escape write nothing.
//
//     CAutoOutDlg dlg(prompter, this);
//     dlg.SetInputs(c, doc.m_model, doc.m_autoOutput, doc.m_model.ActiveSlot(c));
//     dlg.exec();
//     // either way: refresh the channel's automatic-output display
//
// Each of the five fields is normalised when Enter is pressed in it and when
// it loses the focus: a number is rewritten in the channel's format, any
// other text undoes the field's last change.

#include <QDialog>

#include <array>

#include "autoout/AutoOutSettingsRules.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class CEditListCtrl;
class CWavePicture;
class Prompter;

class CAutoOutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAutoOutDlg(Prompter& prompter, QWidget* parent = nullptr);

    // The channel (0-3), the document's model and automatic-output records,
    // and the slot in use (0-15). Call before exec. Without a channel and a
    // slot to write, OK is refused silently.
    void SetInputs(int channel, GeneratorModel& model, std::array<AutoOutputState, kMaxChannels>& autoOutput, int slot);

    // For tests.
    QLineEdit* Field(AutoOutField field) const;
    CEditListCtrl* List() const { return m_pList; }
    CWavePicture* Picture() const { return m_pPicture; }

public Q_SLOTS:
    void accept() override;

private:
    static constexpr int kFieldCount = 5;

    void ShowMode(int mode);
    void RefillFields();
    void NormaliseField(AutoOutField field);
    void RefreshPicture();
    void ReadCsv();
    int Mode() const;
    AutoOutFieldTexts FieldTexts() const;
    ArbitraryTable Table() const;
    void SetTable(const ArbitraryTable& table);
    AutoOutputState* State() const;
    const AutoOutputSlot& StoredSlot() const;

    Prompter& m_prompter;
    int m_nChannel = -1;
    int m_nSlot = -1;
    std::array<AutoOutputState, kMaxChannels>* m_pStates = nullptr;
    RangeInfo m_limits;

    QLabel* m_pChannelText = nullptr;
    QLabel* m_pRangeText = nullptr;
    QLabel* m_pLowerText = nullptr;
    QLabel* m_pUpperText = nullptr;
    QComboBox* m_pMode = nullptr;
    std::array<QLabel*, 4> m_pWaveLabels{};
    std::array<QLineEdit*, kFieldCount> m_pFields{};
    QLabel* m_pSecondsUnit = nullptr;
    QLabel* m_pHint = nullptr;
    CWavePicture* m_pPicture = nullptr;
    CEditListCtrl* m_pList = nullptr;
    QPushButton* m_pReadButton = nullptr;
};

} // namespace velmora
