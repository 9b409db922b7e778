#pragma once
// Asks whether the unit in use has one or two circuits, for a new document
// that has no earlier settings to go on from.
//
//     CDacSelect dlg(parent);
//     dlg.exec();
//     int count = dlg.CircuitCount(); // 1 or 2 after OK, -1 after Cancel

#include <QDialog>

namespace velmora {

class CDacSelect : public QDialog {
    Q_OBJECT
public:
    static constexpr int kNoAnswer = -1;

    explicit CDacSelect(QWidget* parent = nullptr);

    int CircuitCount() const { return m_nCircuitCount; }

private:
    void Choose(int count);

    int m_nCircuitCount = kNoAnswer;
};

} // namespace velmora
