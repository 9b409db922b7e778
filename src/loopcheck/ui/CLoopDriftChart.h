#pragma once
// The drift of one loop, drawn by the widget itself: each as-found test's
// largest |error| (in % of span) at the time it ran, against the tolerance
// band (shaded) and, where the tag has one, the adjust limit (dashed). A
// loop that drifts shows as points climbing toward the band's edge long
// before one fails.
//
// Thread contract: UI thread only.

#include <QSizeF>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

#include "loopcheck/LoopResult.h"

class QPainter;

namespace velmora {

class CLoopDriftChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLeftMargin = 64;
    static constexpr int kRightMargin = 24;
    static constexpr int kTopMargin = 16;
    static constexpr int kBottomMargin = 36;

    struct Point {
        std::int64_t id = 0;
        std::int64_t timeUs = 0;
        double largest = 0.0; // |error| of the worst point, % of span
        TestVerdict verdict = TestVerdict::Pass;
    };

    explicit CLoopDriftChart(QWidget* parent = nullptr);

    void SetData(std::vector<Point> points, double tolerance, std::optional<double> adjustLimit);
    const std::vector<Point>& Points() const { return m_points; }
    double Tolerance() const { return m_tolerance; }
    // The error at the top of the plot: above the tolerance and every point.
    double TopError() const;
    // Where point `index` is drawn in a plot of `size`.
    QPointF Position(std::size_t index, const QSizeF& size) const;
    // The whole drawing at `size` (the screen, a picture).
    void Paint(QPainter& painter, const QSizeF& size) const;

    QSize sizeHint() const override { return {640, 240}; }
    QSize minimumSizeHint() const override { return {320, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double XOf(std::int64_t timeUs, double left, double width) const;
    double YOf(double error, double top, double height) const;

    std::vector<Point> m_points;
    double m_tolerance = 0.5;
    std::optional<double> m_adjustLimit;
};

} // namespace velmora
