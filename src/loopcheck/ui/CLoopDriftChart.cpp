#include "loopcheck/ui/CLoopDriftChart.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

#include "loopcheck/ui/LoopCheckShown.h"

namespace velmora {

namespace {

// The marks' own colours, stronger than the table's cell backgrounds.
QColor MarkColour(TestVerdict verdict)
{
    switch (verdict) {
    case TestVerdict::Pass:
        return QColor(0x2e, 0x7d, 0x32);
    case TestVerdict::Adjust:
        return QColor(0xef, 0x8f, 0x00);
    case TestVerdict::Fail:
        return QColor(0xc6, 0x28, 0x28);
    case TestVerdict::Aborted:
        break;
    }
    return Qt::gray;
}

} // namespace

CLoopDriftChart::CLoopDriftChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("drift"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void CLoopDriftChart::SetData(std::vector<Point> points, double tolerance, std::optional<double> adjustLimit)
{
    std::stable_sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.timeUs < b.timeUs; });
    m_points = std::move(points);
    m_tolerance = tolerance;
    m_adjustLimit = adjustLimit;
    update();
}

double CLoopDriftChart::TopError() const
{
    double top = m_tolerance * 1.5;
    for (const Point& p : m_points)
        top = std::max(top, p.largest * 1.1);
    return top > 0.0 ? top : 1.0;
}

double CLoopDriftChart::XOf(std::int64_t timeUs, double left, double width) const
{
    if (m_points.size() < 2 || m_points.back().timeUs == m_points.front().timeUs)
        return left + width / 2;
    // A little air at both ends, so that the first and last marks stand
    // clear of the axes.
    const double span = static_cast<double>(m_points.back().timeUs - m_points.front().timeUs);
    const double at = static_cast<double>(timeUs - m_points.front().timeUs) / span;
    return left + width * (0.04 + 0.92 * at);
}

double CLoopDriftChart::YOf(double error, double top, double height) const
{
    return top + height * (1.0 - error / TopError());
}

QPointF CLoopDriftChart::Position(std::size_t index, const QSizeF& size) const
{
    const double width = size.width() - kLeftMargin - kRightMargin;
    const double height = size.height() - kTopMargin - kBottomMargin;
    const Point& p = m_points.at(index);
    return {XOf(p.timeUs, kLeftMargin, width), YOf(p.largest, kTopMargin, height)};
}

void CLoopDriftChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Paint(painter, size());
}

void CLoopDriftChart::Paint(QPainter& painter, const QSizeF& size) const
{
    const double left = kLeftMargin;
    const double top = kTopMargin;
    const double width = size.width() - kLeftMargin - kRightMargin;
    const double height = size.height() - kTopMargin - kBottomMargin;
    if (width <= 0 || height <= 0)
        return;
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const QRectF plot(left, top, width, height);

    // The tolerance band: everything from 0 to the tolerance passes.
    const double toleranceY = YOf(m_tolerance, top, height);
    painter.fillRect(QRectF(left, toleranceY, width, top + height - toleranceY), QColor(0xe8, 0xf5, 0xe9));
    painter.setPen(QPen(QColor(0xc6, 0x28, 0x28), 1.5));
    painter.drawLine(QPointF(left, toleranceY), QPointF(left + width, toleranceY));
    const QFontMetricsF metrics(painter.font());
    painter.drawText(QPointF(left + 4, toleranceY - 3), tr("許容差 %1 %").arg(LoopText(ShortNumber(m_tolerance))));
    if (m_adjustLimit) {
        const double y = YOf(*m_adjustLimit, top, height);
        painter.setPen(QPen(QColor(0xef, 0x8f, 0x00), 1.2, Qt::DashLine));
        painter.drawLine(QPointF(left, y), QPointF(left + width, y));
        painter.drawText(QPointF(left + 4, y - 3), tr("調整限界 %1 %").arg(LoopText(ShortNumber(*m_adjustLimit))));
    }

    // The axes and the error scale at 0, the tolerance and the top.
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    std::vector<double> ticks = {0.0, m_tolerance, TopError()};
    if (m_adjustLimit)
        ticks.push_back(*m_adjustLimit);
    for (const double e : ticks) {
        const double y = YOf(e, top, height);
        painter.drawLine(QPointF(left - 4, y), QPointF(left, y));
        const QString text = QString::number(e, 'f', 2);
        painter.drawText(QRectF(0, y - metrics.height() / 2, left - 8, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }
    painter.save();
    painter.translate(12, top + height / 2);
    painter.rotate(-90);
    painter.drawText(QRectF(-height / 2, -10, height, 20), Qt::AlignCenter, tr("最大誤差 (スパンの %)"));
    painter.restore();

    if (m_points.empty()) {
        painter.setPen(Qt::gray);
        painter.drawText(plot, Qt::AlignCenter, tr("調整前の点検結果はまだありません"));
        return;
    }

    // The dates of the first and the last test under the axis.
    painter.setPen(Qt::black);
    const auto date = [](std::int64_t us) {
        return QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("yyyy-MM-dd"));
    };
    const double firstX = XOf(m_points.front().timeUs, left, width);
    painter.drawText(QRectF(firstX - 60, top + height + 6, 120, metrics.height()), Qt::AlignCenter,
                     date(m_points.front().timeUs));
    if (m_points.size() > 1) {
        const double lastX = XOf(m_points.back().timeUs, left, width);
        painter.drawText(QRectF(lastX - 60, top + height + 6, 120, metrics.height()), Qt::AlignCenter,
                         date(m_points.back().timeUs));
    }

    // The tests joined in time order, each mark in its verdict's colour.
    QPainterPath path;
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        const QPointF at = Position(i, size);
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    painter.setPen(QPen(QColor(0x45, 0x5a, 0x64), 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        const QPointF at = Position(i, size);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(MarkColour(m_points[i].verdict));
        painter.drawEllipse(at, 5, 5);
    }
}

} // namespace velmora
