#pragma once
// One channel's strip of the trend window: its level as a step line in its
// display unit over the time axis the window sets, with the spans its
// output was off (hatched), no unit was connected (grey), its alarms were
// raised (a red band above the range, each alarm's text in it) and its
// automatic output ran (a blue band below the range, hatched while paused).
// The value axis spans the channel's range with room above and below for
// those bands, so that no band covers a level. Every strip of the window
// has the same margins, so that one time is one x on all of them.
//
// The strip draws itself: following a live record it repaints once a
// second, and Qt Charts spent four to five times the CPU on the same
// picture (laying every series out again whenever the time axis moved on).
//
// The mouse: the wheel zooms about the time under it, a drag with the left
// button zooms to the times it spans, a drag with the right (or middle)
// button scrolls, and resting on the plot shows what held at that time.
// The strip only asks; the window decides the period (ZoomRequested,
// ScrollRequested).
//
// Thread contract: UI thread only.

#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

#include "record/TrendSeries.h"

class QPainter;
class QRubberBand;

namespace velmora {

class CTrendChart : public QWidget {
    Q_OBJECT
public:
    // The plot's distance from the strip's edges, the same on every strip.
    static constexpr int kLeftMargin = 84;
    static constexpr int kRightMargin = 18;
    static constexpr int kTopMargin = 30;
    static constexpr int kBottomMarginWithTimes = 52;
    static constexpr int kBottomMargin = 10;

    enum class Band { Disconnected, Off, Auto, Paused, Alarm };

    explicit CTrendChart(int channel, QWidget* parent = nullptr);
    ~CTrendChart() override;

    int Channel() const { return m_nChannel; }
    // The channel's series and the spans without a unit, read up to `endUs`
    // (where the last level's line ends).
    void SetData(const TrendChannel& data, const std::vector<TrendSpan>& disconnected, std::int64_t endUs);
    // The time axis: [beginUs, endUs) in local time.
    void SetPeriod(std::int64_t beginUs, std::int64_t endUs);
    // The bottom strip shows the times and the axis' title; the others only
    // their grid.
    void SetTimesShown(bool shown);
    // The plot's width in pixels: the columns a load is thinned to.
    int PlotWidth() const;
    QRectF PlotArea() const { return PlotAreaFor(QSizeF(size())); }
    // The time at x (pixels from the strip's left edge).
    std::int64_t TimeAtX(double x) const;

    // Draws the strip at `size` (the widget's own, or a picture's).
    void Paint(QPainter& painter, const QSizeF& size) const;

    // What is drawn, for tests: the level's line (x in ms since the epoch,
    // one stretch after another), each band's spans (ms), the texts in the
    // alarm band, the legend's and the axes' titles.
    std::vector<QPointF> LevelPoints() const;
    std::vector<std::pair<double, double>> Spans(Band band) const;
    QStringList AlarmLabels() const;
    QStringList LegendTexts() const;
    QString ValueAxisTitle() const;
    QString TimeAxisTitle() const;
    // The readout of what held at `timeUs` (the hover text).
    QString Readout(std::int64_t timeUs) const;

    // The texts of a mode and an alarm as the operator reads them.
    static QString ModeText(const std::string& mode);
    static QString AlarmText(const std::string& text);
    static QColor ChannelColour(int channel);

Q_SIGNALS:
    void ZoomRequested(qint64 beginUs, qint64 endUs);
    // A drag moves the period by `deltaUs`; `finished` once it is let go.
    void ScrollRequested(qint64 deltaUs, bool finished);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Ticks {
        std::vector<std::pair<std::int64_t, QString>> times;
        double valueStep = 1.0;
        int valueDecimals = 0;
        std::vector<double> values;
    };
    struct LegendEntry {
        Band band;
        bool level; // the level's line rather than a band
    };

    QRectF PlotAreaFor(const QSizeF& size) const;
    double ValueLow() const;
    double ValueHigh() const;
    Ticks TicksFor(const QRectF& plot) const;
    const std::vector<TrendSpan>& SpansOf(Band band) const;
    std::vector<LegendEntry> Legend() const;
    QString BandName(Band band) const;
    void RebuildLevel();
    void PaintBands(QPainter& p, const QRectF& plot) const;
    void PaintGrid(QPainter& p, const QRectF& plot, const Ticks& ticks) const;
    void PaintLevel(QPainter& p, const QRectF& plot) const;
    void PaintAxes(QPainter& p, const QRectF& plot, const Ticks& ticks) const;
    void PaintLegend(QPainter& p) const;
    // The alarm texts that fit their spans at `plot`, with where they go.
    std::vector<std::pair<QRectF, QString>> AlarmLabelsAt(const QRectF& plot) const;

    int m_nChannel;
    TrendChannel m_data;
    std::vector<TrendSpan> m_disconnected;
    // The level's stretches with a known level, in (ms, value).
    std::vector<std::vector<QPointF>> m_stretches;
    std::int64_t m_beginUs = 0;
    std::int64_t m_endUs = 1;
    std::int64_t m_dataEndUs = 1;
    TrendAxisRange m_range;
    bool m_bTimesShown = true;

    // A drag: where it began and with which button.
    QPointer<QRubberBand> m_pBand;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    int m_nDragStartX = 0;
};

} // namespace velmora
