#include "autoout/ui/CWavePicture.h"

#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace velmora {

namespace {

const QColor kBackground(Qt::white);
const QColor kLimitLine(160, 160, 160);
const QColor kWaveInk(0, 0, 160);
const QColor kPlainInk(96, 96, 96);

} // namespace

CWavePicture::CWavePicture(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void CWavePicture::SetPreview(WavePreview preview)
{
    m_preview = std::move(preview);
    update();
}

void CWavePicture::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.fillRect(contentsRect(), kBackground);
        // Room above and below so that a wave along a limit is not drawn on
        // the frame.
        const QRectF area = QRectF(contentsRect()).adjusted(8, 10, -8, -10);
        if (area.width() > 0 && area.height() > 0) {
            if (m_preview.values.empty())
                DrawPlain(p, area);
            else
                DrawToScale(p, area);
        }
    }
    QFrame::paintEvent(event);
}

void CWavePicture::DrawToScale(QPainter& p, const QRectF& area) const
{
    const std::vector<double>& values = m_preview.values;
    const double span = m_preview.high - m_preview.low;
    auto y = [&](double v) {
        // A channel whose limits are one value draws its wave in the middle.
        if (!(span > 0.0))
            return area.center().y();
        return area.bottom() - (v - m_preview.low) / span * area.height();
    };

    p.setPen(QPen(kLimitLine, 1, Qt::DotLine));
    p.drawLine(QPointF(area.left(), y(m_preview.high)), QPointF(area.right(), y(m_preview.high)));
    p.drawLine(QPointF(area.left(), y(m_preview.low)), QPointF(area.right(), y(m_preview.low)));

    QPainterPath path;
    const double n = static_cast<double>(values.size());
    // A line needs two values to run between.
    if (m_preview.stairs || values.size() < 2) {
        // Each value is held for one interval, the last one too.
        auto x = [&](std::size_t i) { return area.left() + static_cast<double>(i) / n * area.width(); };
        path.moveTo(x(0), y(values[0]));
        for (std::size_t i = 0; i < values.size(); ++i) {
            path.lineTo(x(i), y(values[i]));
            path.lineTo(x(i + 1), y(values[i]));
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    } else {
        auto x = [&](std::size_t i) { return area.left() + static_cast<double>(i) / (n - 1.0) * area.width(); };
        path.moveTo(x(0), y(values[0]));
        for (std::size_t i = 1; i < values.size(); ++i)
            path.lineTo(x(i), y(values[i]));
        p.setRenderHint(QPainter::Antialiasing, true);
    }
    p.setPen(QPen(kWaveInk, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void CWavePicture::DrawPlain(QPainter& p, const QRectF& area) const
{
    // Two cycles in the middle of the picture, as an icon of the mode.
    const QRectF icon = area.adjusted(area.width() / 5, area.height() / 5, -area.width() / 5, -area.height() / 5);
    auto at = [&icon](double fx, double fy) {
        return QPointF(icon.left() + fx * icon.width(), icon.bottom() - fy * icon.height());
    };
    QPainterPath path;
    if (m_preview.shape == WavePicture::Sawtooth) {
        path.moveTo(at(0, 0));
        path.lineTo(at(0.5, 1));
        path.lineTo(at(0.5, 0));
        path.lineTo(at(1, 1));
        path.lineTo(at(1, 0));
    } else if (m_preview.shape == WavePicture::Triangle) {
        path.moveTo(at(0, 0));
        path.lineTo(at(0.25, 1));
        path.lineTo(at(0.5, 0));
        path.lineTo(at(0.75, 1));
        path.lineTo(at(1, 0));
    } else {
        return;
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kPlainInk, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

} // namespace velmora
