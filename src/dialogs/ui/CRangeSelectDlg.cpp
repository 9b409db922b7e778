#include "dialogs/ui/CRangeSelectDlg.h"

#include <QPushButton>

#include "dialogs/ui/CColorButton.h"
#include "dialogs/ui/CGroupFrame.h"
#include "dialogs/ui/DialogMetrics.h"
#include "dialogs/ui/ShownText.h"

namespace velmora {

namespace {

QColor ToQColor(FaceColor rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

} // namespace

CRangeSelectDlg::CRangeSelectDlg(Prompter&, QWidget* parent) : CRangeSelectDlg(parent)
{
}

CRangeSelectDlg::CRangeSelectDlg(QWidget* parent) : QDialog(parent)
{
    PrepareDialog(*this, tr("出力レンジ選択"), 209, 147);

    // Cancel comes first so that it holds the focus and Enter cancels, as no
    // range is chosen without a click on it.
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName(ControlName("button", 2));
    cancel->setGeometry(DluRect(143, 126, 50, 14));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* current = new CGroupFrame(tr("電流"), this);
    current->setGeometry(DluRect(7, 7, 119, 112));
    auto* voltage = new CGroupFrame(tr("電圧"), this);
    voltage->setGeometry(DluRect(137, 7, 65, 112));
    // The group boxes only frame; the labels and buttons are the dialog's own
    // children, placed in its client coordinates.
    current->lower();
    voltage->lower();
    AddLabel(*this, tr("内部電源"), DluRect(24, 27, 33, 8));
    AddLabel(*this, tr("外部電源"), DluRect(76, 27, 33, 8));

    QFont buttonFont(QStringLiteral("IPAGothic"));
    buttonFont.setPixelSize(12);
    buttonFont.setWeight(QFont::Normal);
    for (std::size_t i = 0; i < kRangeButtons.size(); ++i) {
        const RangeButtonInfo& entry = kRangeButtons[i];
        auto* button = new CColorButton(Shown(entry.caption), this);
        button->setObjectName(ControlName("button", entry.id));
        button->setGeometry(QRect(entry.left, entry.top, entry.right - entry.left, entry.bottom - entry.top));
        button->setFont(buttonFont);
        button->setAutoDefault(false);
        int code = entry.rangeCode;
        connect(button, &QPushButton::clicked, this, [this, code] { Choose(code); });
        m_pButtons[i] = button;
    }
    cancel->setFocus();
    Highlight();
}

void CRangeSelectDlg::SetRangeCode(int code)
{
    m_nRangeCode = code;
    Highlight();
}

CColorButton* CRangeSelectDlg::RangeButton(int id) const
{
    for (std::size_t i = 0; i < kRangeButtons.size(); ++i) {
        if (kRangeButtons[i].id == id)
            return m_pButtons[i];
    }
    return nullptr;
}

void CRangeSelectDlg::Highlight()
{
    for (std::size_t i = 0; i < kRangeButtons.size(); ++i) {
        std::optional<FaceColor> face = RangeButtonFace(kRangeButtons[i].rangeCode, m_nRangeCode);
        m_pButtons[i]->SetFaceColor(face ? std::optional<QColor>(ToQColor(*face)) : std::nullopt);
    }
}

void CRangeSelectDlg::Choose(int code)
{
    m_nRangeCode = code;
    accept();
}

} // namespace velmora
