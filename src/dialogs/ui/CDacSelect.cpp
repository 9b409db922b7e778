#include "dialogs/ui/CDacSelect.h"

#include <QPushButton>

#include "dialogs/ui/DialogMetrics.h"

namespace velmora {

CDacSelect::CDacSelect(QWidget* parent) : QDialog(parent)
{
    PrepareDialog(*this, tr("選択"), 169, 108);
    // A caption bar without a close box: the answer comes from the buttons
    // (or Escape, which cancels).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    AddLabel(*this, tr("接続ユニットの回路数を選択してください"), DluRect(10, 14, 149, 10), Qt::AlignCenter);

    auto* one = new QPushButton(tr("１ 回路用"), this);
    one->setObjectName(ControlName("button", 1024));
    one->setGeometry(DluRect(20, 38, 58, 24));
    connect(one, &QPushButton::clicked, this, [this] { Choose(1); });

    auto* two = new QPushButton(tr("２ 回路用"), this);
    two->setObjectName(ControlName("button", 1023));
    two->setGeometry(DluRect(91, 38, 58, 24));
    connect(two, &QPushButton::clicked, this, [this] { Choose(2); });

    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName(ControlName("button", 3));
    cancel->setGeometry(DluRect(59, 80, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    one->setFocus();
}

void CDacSelect::Choose(int count)
{
    m_nCircuitCount = count;
    accept();
}

} // namespace velmora
