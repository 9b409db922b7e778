#pragma once
// One channel's strip of the trend window: its level as a step line in its
// display unit over the time axis the window sets, with the spans its
// output was off, no unit was connected, its alarms were raised (a red
// band along the top with each alarm's text) and its automatic output ran
// (a blue band along the bottom, hatched while paused). Every strip of the
// window has the same plot margins, so that one time is one x on all.
//
// The mouse: the wheel zooms about the time under it, a drag with the left
// button zooms to the times it spans, a drag with the right (or middle)
// button scrolls, and resting on the plot shows what held at that time.
// The strip only asks; the window decides the period (ZoomRequested,
// ScrollRequested).

#include <QChartView>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "record/TrendSeries.h"

class QAreaSeries;
class QCategoryAxis;
class QGraphicsItem;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QRubberBand;
class QValueAxis;

namespace velmora {

class CTrendChart : public QChartView {
    Q_OBJECT
public:
    // The plot's distance from the strip's edges, the same on every strip.
    static constexpr int kLeftMargin = 84;
    static constexpr int kRightMargin = 18;
    static constexpr int kTopMargin = 30;
    static constexpr int kBottomMarginWithTimes = 52;
    static constexpr int kBottomMargin = 10;

    CTrendChart(int channel, QWidget* parent = nullptr);
    ~CTrendChart() override;

    int Channel() const { return m_nChannel; }
    // The channel's series and the spans without a unit, read up to `endUs`
    // (where the last level's line ends).
    void SetData(const TrendChannel& data, const std::vector<TrendSpan>& disconnected, std::int64_t endUs);
    // The time axis: [beginUs, endUs) in local time.
    void SetPeriod(std::int64_t beginUs, std::int64_t endUs);
    // The bottom strip shows the times and the axis' title; the others only
    // its grid.
    void SetTimesShown(bool shown);
    // The plot's width in pixels: the columns a load is thinned to.
    int PlotWidth() const;

    // What is drawn, for tests: the level's line (x in ms since the epoch)
    // and each band.
    std::vector<QPointF> LevelPoints() const;
    QAreaSeries* OffBand() const { return m_pOff; }
    QAreaSeries* AlarmBand() const { return m_pAlarm; }
    QAreaSeries* AutoBand() const { return m_pAuto; }
    QAreaSeries* DisconnectedBand() const { return m_pDisconnected; }
    // The texts shown in the alarm band, and the legend's.
    QStringList AlarmLabels() const;
    QStringList LegendTexts() const;
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
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void LayOut();
    void UpdateTimeAxis();
    void UpdateValueTicks();
    void Retranslate();
    void RebuildLevel();
    void RebuildBands();
    void PlaceLabels();
    void PlaceLegend();
    QAreaSeries* AddBand(const QBrush& brush, const QString& name);
    void FillBand(QAreaSeries* band, const std::vector<TrendSpan>& spans, double low, double high);
    std::int64_t TimeAt(double x) const;
    double XOf(std::int64_t timeUs) const;

    int m_nChannel;
    TrendChannel m_data;
    std::vector<TrendSpan> m_disconnected;
    std::int64_t m_beginUs = 0;
    std::int64_t m_endUs = 1;
    std::int64_t m_dataEndUs = 1;
    TrendAxisRange m_range;
    bool m_bTimesShown = true;
    bool m_bFirstData = true;
    std::vector<std::pair<std::int64_t, QString>> m_ticks;

    QCategoryAxis* m_pTimeAxis = nullptr;
    QValueAxis* m_pValueAxis = nullptr;
    std::vector<QLineSeries*> m_levels;
    QAreaSeries* m_pDisconnected = nullptr;
    QAreaSeries* m_pOff = nullptr;
    QAreaSeries* m_pAuto = nullptr;
    QAreaSeries* m_pPaused = nullptr;
    QAreaSeries* m_pAlarm = nullptr;
    std::vector<QGraphicsSimpleTextItem*> m_alarmLabels;
    std::vector<QGraphicsItem*> m_legendItems;

    // A drag: where it began and with which button.
    QPointer<QRubberBand> m_pBand;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    int m_nDragStartX = 0;
};

} // namespace velmora
