#pragma once
// The eight presets of one channel's slot in use. OK checks them in order and
// refuses the first bad one with a message, leaving the dialog open; accepted
// values are cut to the decimals. The dialog sends nothing to the unit.
//
//     CPresetDlg dlg(prompter, this);
//     dlg.SetChannel(ch);
//     dlg.SetLimitTexts(model.FormatMin(ch), model.FormatMax(ch));
//     RangeInfo limits = model.ChannelLimits(ch);
//     dlg.SetLimits(limits.lower, limits.upper, limits.decimals);
//     dlg.SetPresets(s.presets[slot]);
//     if (dlg.exec() == QDialog::Accepted)
//         s.presets[slot] = dlg.Presets();

#include <QDialog>

#include <array>
#include <string>

#include "model/PresetRules.h"

class QLabel;
class QLineEdit;

namespace velmora {

class Prompter;

class CPresetDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPresetDlg(Prompter& prompter, QWidget* parent = nullptr);

    // Inputs; each updates what the dialog shows.
    void SetChannel(int channel);
    void SetLimitTexts(const std::string& lowerText, const std::string& upperText);
    void SetLimits(double lower, double upper, int decimals);
    void SetPresets(const PresetValues& presets);

    // The presets as set, or the accepted values after OK.
    const PresetValues& Presets() const { return m_presets; }

    // Edit of preset k (0-7), for the caller's tests.
    QLineEdit* PresetEdit(int k) const;

public Q_SLOTS:
    void accept() override;

private:
    void ShowPresets();

    Prompter& m_prompter;
    PresetLimits m_limits;
    PresetValues m_presets{};
    QLabel* m_pChannelLabel = nullptr;
    QLabel* m_pLowerLabel = nullptr;
    QLabel* m_pUpperLabel = nullptr;
    std::array<QLineEdit*, kPresetCount> m_pEdits{};
};

} // namespace velmora
