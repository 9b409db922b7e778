#include "dialogs/ui/CColorButton.h"

#include <QPainter>

namespace velmora {

CColorButton::CColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
}

void CColorButton::SetFaceColor(std::optional<QColor> color)
{
    if (m_faceColor == color)
        return;
    m_faceColor = color;
    repaint();
}

void CColorButton::paintEvent(QPaintEvent* event)
{
    if (!m_faceColor) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QRect face = rect();
    bool sunken = isDown() || isChecked();

    painter.fillRect(face, *m_faceColor);

    // A two-pixel bevel: light above and left, dark below and right; the
    // other way round while pressed.
    QColor light = m_faceColor->lighter(130);
    QColor dark = m_faceColor->darker(160);
    QColor outer = QColor(0x40, 0x40, 0x40);
    QColor topLeft = sunken ? dark : light;
    QColor bottomRight = sunken ? light : dark;
    QRect inner = face.adjusted(1, 1, -2, -2);
    painter.setPen(outer);
    painter.drawRect(face.adjusted(0, 0, -1, -1));
    painter.setPen(topLeft);
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.drawLine(inner.topLeft(), inner.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(inner.bottomLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomRight());

    QRect textRect = face.adjusted(4, 3, -4, -3);
    if (sunken)
        textRect.translate(1, 1);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap, text());

    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
        painter.drawRect(face.adjusted(4, 4, -5, -5));
    }
}

} // namespace velmora
