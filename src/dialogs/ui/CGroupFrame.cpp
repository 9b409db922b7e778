#include "dialogs/ui/CGroupFrame.h"

#include <QPainter>

namespace velmora {

namespace {

// The title starts this far from the outline's left edge, with this much
// gap on either side of its text.
constexpr int kTitleIndent = 8;
constexpr int kTitleGap = 2;

} // namespace

CGroupFrame::CGroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent)
{
}

QRect CGroupFrame::TitleRect() const
{
    const QFontMetrics metrics = fontMetrics();
    return QRect(kTitleIndent, 0, metrics.horizontalAdvance(title()) + 2 * kTitleGap, metrics.height());
}

QRect CGroupFrame::Outline() const
{
    return rect().adjusted(0, fontMetrics().height() / 2, 0, 0);
}

QRect CGroupFrame::InnerFrame() const
{
    // Two pixels of etched line on every side.
    return Outline().adjusted(2, 2, -2, -2);
}

void CGroupFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect outline = Outline();
    const QRect title = TitleRect();
    const QColor shadow = palette().color(QPalette::Mid);
    const QColor light = palette().color(QPalette::Light);
    // An etched edge: a dark rectangle with a light one a pixel inside it.
    auto edge = [&p](const QRect& r, const QColor& colour) {
        p.setPen(colour);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    edge(outline.adjusted(0, 0, -1, -1), shadow);
    edge(outline.adjusted(1, 1, 0, 0), light);
    if (title.width() > 2 * kTitleGap) {
        p.fillRect(title, palette().color(QPalette::Window));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(title, Qt::AlignCenter, this->title());
    }
}

} // namespace velmora
