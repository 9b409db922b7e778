#include "record/ui/CTrendChart.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTimeZone>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "model/RangeTable.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

// The value axis reaches beyond the channel's range by these parts of it,
// above for the alarm band and below for the automatic-output band, so
// that no band covers a level within the range.
constexpr double kAlarmRoom = 0.11;
constexpr double kAutoRoom = 0.08;
// Readable labels are about this far apart.
constexpr int kPixelsPerTimeTick = 96;
constexpr int kPixelsPerValueTick = 28;

QString TimeLabel(std::int64_t timeUs, TrendTimeTicks::Label label, bool withDate)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(timeUs / 1000);
    switch (label) {
    case TrendTimeTicks::Label::Millis:
        return t.toString(QStringLiteral("HH:mm:ss.zzz")).left(10);
    case TrendTimeTicks::Label::Seconds:
        return t.toString(QStringLiteral("HH:mm:ss"));
    case TrendTimeTicks::Label::Minutes:
        return t.toString(withDate ? QStringLiteral("MM-dd HH:mm") : QStringLiteral("HH:mm"));
    case TrendTimeTicks::Label::Days:
        return t.toString(QStringLiteral("yyyy-MM-dd"));
    }
    return {};
}

// Decimals that show a value-axis step: 0.2 needs one, 0.05 two.
int DecimalsOf(double step)
{
    int decimals = 0;
    while (decimals < 6 &&
           std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) >
               1e-6 * std::pow(10.0, decimals))
        ++decimals;
    return decimals;
}

} // namespace

QColor CTrendChart::ChannelColour(int channel)
{
    // Told apart also by the colour-blind: blue, orange, green, purple.
    static const QColor kColours[] = {QColor(0x1f, 0x4e, 0x9c), QColor(0xc2, 0x41, 0x0c), QColor(0x15, 0x80, 0x3d),
                                      QColor(0x7e, 0x22, 0xce)};
    return kColours[std::clamp(channel, 1, 4) - 1];
}

QString CTrendChart::ModeText(const std::string& mode)
{
    if (mode == "sawtooth")
        return QString::fromUtf8(Tr(N_("のこぎり波")));
    if (mode == "triangle")
        return QString::fromUtf8(Tr(N_("三角波")));
    if (mode == "arbitrary")
        return QString::fromUtf8(Tr(N_("任意波")));
    return QString::fromStdString(mode);
}

QString CTrendChart::AlarmText(const std::string& text)
{
    // The record keeps the text in the language it was written in; a
    // Japanese one reads in English where the catalogue has it.
    if (text.empty())
        return tr("アラーム");
    return QString::fromStdString(Tr(text));
}

CTrendChart::CTrendChart(int channel, QWidget* parent)
    : QChartView(new QChart, parent), // a chart of its own: one set later would leave the first behind
      m_nChannel(channel)
{
    QChart* chart = this->chart();
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    setMinimumHeight(150);

    m_pTimeAxis = new QCategoryAxis;
    m_pTimeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_pTimeAxis->setTruncateLabels(false);
    m_pTimeAxis->setGridLineColor(QColor(0xd8, 0xd8, 0xd8));
    chart->addAxis(m_pTimeAxis, Qt::AlignBottom);
    m_pValueAxis = new QValueAxis;
    m_pValueAxis->setTickType(QValueAxis::TicksDynamic);
    m_pValueAxis->setTickAnchor(0.0);
    m_pValueAxis->setGridLineColor(QColor(0xd8, 0xd8, 0xd8));
    m_pValueAxis->setMinorTickCount(0);
    chart->addAxis(m_pValueAxis, Qt::AlignLeft);

    // Drawn in this order: the level over every band.
    m_pDisconnected = AddBand(QColor(0, 0, 0, 30), {});
    m_pOff = AddBand(QBrush(QColor(0x70, 0x70, 0x70), Qt::BDiagPattern), {});
    m_pAuto = AddBand(QColor(0x25, 0x63, 0xeb, 110), {});
    m_pPaused = AddBand(QBrush(QColor(0x25, 0x63, 0xeb), Qt::Dense5Pattern), {});
    m_pAlarm = AddBand(QColor(0xdc, 0x26, 0x26, 190), {});
    auto* level = new QLineSeries;
    QPen pen(ChannelColour(channel), 1);
    pen.setJoinStyle(Qt::MiterJoin);
    level->setPen(pen);
    chart->addSeries(level);
    level->attachAxis(m_pTimeAxis);
    level->attachAxis(m_pValueAxis);
    m_levels.push_back(level);

    // The legend is drawn by the strip (PlaceLegend): the level first, then
    // only the bands it shows, which Qt's legend cannot order.
    chart->legend()->hide();

    Retranslate();
    UpdateTimeAxis();
    RebuildBands();
}

CTrendChart::~CTrendChart() = default;

QAreaSeries* CTrendChart::AddBand(const QBrush& brush, const QString& name)
{
    auto* band = new QAreaSeries;
    band->setUpperSeries(new QLineSeries(band));
    band->setLowerSeries(new QLineSeries(band));
    band->setPen(Qt::NoPen);
    band->setBrush(brush);
    band->setName(name);
    chart()->addSeries(band);
    band->attachAxis(m_pTimeAxis);
    band->attachAxis(m_pValueAxis);
    return band;
}

void CTrendChart::Retranslate()
{
    m_levels.front()->setName(QStringLiteral("CH%1").arg(m_nChannel));
    m_pDisconnected->setName(tr("未接続"));
    m_pOff->setName(tr("出力ＯＦＦ"));
    m_pAuto->setName(tr("自動出力"));
    m_pPaused->setName(tr("一時停止"));
    m_pAlarm->setName(tr("アラーム"));
    QString unit;
    if (m_data.mixedUnits)
        unit = tr("CH%1 出力").arg(m_nChannel);
    else if (m_data.unit.empty() && !m_data.steps.empty())
        unit = tr("CH%1 換算値").arg(m_nChannel);
    else
        unit =
            tr("CH%1 出力 [%2]").arg(m_nChannel).arg(QString::fromStdString(m_data.unit.empty() ? "mA" : m_data.unit));
    m_pValueAxis->setTitleText(unit);
    m_pTimeAxis->setTitleText(m_bTimesShown
                                  ? tr("時刻 (UTC%1)")
                                        .arg(QDateTime::currentDateTime()
                                                 .timeZone()
                                                 .displayName(QDateTime::currentDateTime(), QTimeZone::OffsetName)
                                                 .mid(3))
                                  : QString());
    PlaceLegend();
}

void CTrendChart::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QChartView::changeEvent(event);
}

void CTrendChart::SetTimesShown(bool shown)
{
    if (shown == m_bTimesShown)
        return;
    m_bTimesShown = shown;
    m_pTimeAxis->setLabelsVisible(shown);
    Retranslate();
    LayOut();
}

int CTrendChart::PlotWidth() const
{
    return std::max(1, width() - kLeftMargin - kRightMargin);
}

void CTrendChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    LayOut();
}

void CTrendChart::LayOut()
{
    const int bottom = m_bTimesShown ? kBottomMarginWithTimes : kBottomMargin;
    const QRectF plot(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                      std::max(1, height() - kTopMargin - bottom));
    chart()->setPlotArea(plot);
    // Another width holds another number of time labels.
    m_ticks.clear();
    UpdateTimeAxis();
    UpdateValueTicks();
    PlaceLabels();
}

void CTrendChart::UpdateValueTicks()
{
    const int ticks = std::max(2, static_cast<int>(chart()->plotArea().height()) / kPixelsPerValueTick);
    const double step = NiceStep(m_range.high - m_range.low, ticks);
    if (step == m_pValueAxis->tickInterval())
        return;
    m_pValueAxis->setTickInterval(step);
    m_pValueAxis->setLabelFormat(QStringLiteral("%.%1f").arg(DecimalsOf(step)));
}

double CTrendChart::XOf(std::int64_t timeUs) const
{
    return static_cast<double>(timeUs) / 1000.0;
}

std::int64_t CTrendChart::TimeAt(double x) const
{
    return std::llround(x * 1000.0);
}

void CTrendChart::SetPeriod(std::int64_t beginUs, std::int64_t endUs)
{
    endUs = std::max(endUs, beginUs + 1);
    if (beginUs == m_beginUs && endUs == m_endUs)
        return;
    m_beginUs = beginUs;
    m_endUs = endUs;
    UpdateTimeAxis();
    PlaceLabels();
}

void CTrendChart::UpdateTimeAxis()
{
    const QDateTime middle = QDateTime::fromMSecsSinceEpoch((m_beginUs + (m_endUs - m_beginUs) / 2) / 1000);
    const TrendTimeTicks ticks =
        TimeTicksFor(m_beginUs, m_endUs, std::max(2, PlotWidth() / kPixelsPerTimeTick), middle.offsetFromUtc());
    // Beyond a day a time needs its date.
    const bool withDate = QDateTime::fromMSecsSinceEpoch(m_beginUs / 1000).date() !=
        QDateTime::fromMSecsSinceEpoch((m_endUs - 1) / 1000).date();
    // Each change of a category lays the axis out again: while the period
    // moves on by a second the ticks mostly stay.
    std::vector<std::pair<std::int64_t, QString>> wanted;
    wanted.reserve(ticks.ticksUs.size());
    for (const std::int64_t t : ticks.ticksUs)
        wanted.emplace_back(t, TimeLabel(t, ticks.label, withDate));
    if (wanted != m_ticks) {
        for (const QString& label : m_pTimeAxis->categoriesLabels())
            m_pTimeAxis->remove(label);
        for (const auto& [t, label] : wanted)
            m_pTimeAxis->append(label, XOf(t));
        m_ticks = std::move(wanted);
    }
    m_pTimeAxis->setStartValue(XOf(m_beginUs));
    m_pTimeAxis->setRange(XOf(m_beginUs), XOf(m_endUs));
}

void CTrendChart::SetData(const TrendChannel& data, const std::vector<TrendSpan>& disconnected, std::int64_t endUs)
{
    // Only what changed is handed to the chart: each series handed over is
    // laid out again.
    const bool levelChanged = data.steps != m_data.steps || endUs != m_dataEndUs || m_bFirstData;
    const bool unitChanged =
        data.unit != m_data.unit || data.mixedUnits != m_data.mixedUnits || data.steps.empty() != m_data.steps.empty();
    const TrendAxisRange range = AxisRangeFor(data);
    const bool rangeChanged = range.low != m_range.low || range.high != m_range.high || m_bFirstData;
    const bool bandsChanged = rangeChanged || disconnected != m_disconnected || data.off != m_data.off ||
        data.alarms != m_data.alarms || data.autoRuns != m_data.autoRuns || data.autoPaused != m_data.autoPaused;
    m_data = data;
    m_disconnected = disconnected;
    m_dataEndUs = endUs;
    m_range = range;
    m_bFirstData = false;
    if (rangeChanged) {
        const double span = m_range.high - m_range.low;
        m_pValueAxis->setRange(m_range.low - span * kAutoRoom, m_range.high + span * kAlarmRoom);
        UpdateValueTicks();
    }
    if (unitChanged)
        Retranslate();
    if (levelChanged)
        RebuildLevel();
    if (bandsChanged) {
        RebuildBands();
        PlaceLegend();
        PlaceLabels();
    }
}

void CTrendChart::RebuildLevel()
{
    // One line per stretch with a known level; a level holds until the next
    // point, the last until the end of what was read.
    std::vector<QList<QPointF>> stretches;
    const std::vector<TrendPoint>& steps = m_data.steps;
    const std::int64_t end = std::max(m_dataEndUs, steps.empty() ? m_dataEndUs : steps.back().timeUs);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TrendPoint& p = steps[i];
        if (std::isnan(p.value))
            continue;
        const bool continues = i > 0 && !std::isnan(steps[i - 1].value);
        if (!continues)
            stretches.emplace_back();
        QList<QPointF>& line = stretches.back();
        if (continues)
            line.append(QPointF(XOf(p.timeUs), steps[i - 1].value));
        line.append(QPointF(XOf(p.timeUs), p.value));
        const bool last = i + 1 == steps.size();
        if (last)
            line.append(QPointF(XOf(end), p.value));
        else if (std::isnan(steps[i + 1].value))
            line.append(QPointF(XOf(steps[i + 1].timeUs), p.value));
    }
    while (m_levels.size() < std::max<std::size_t>(1, stretches.size())) {
        auto* more = new QLineSeries;
        more->setPen(m_levels.front()->pen());
        chart()->addSeries(more);
        more->attachAxis(m_pTimeAxis);
        more->attachAxis(m_pValueAxis);
        m_levels.push_back(more);
    }
    while (m_levels.size() > std::max<std::size_t>(1, stretches.size())) {
        chart()->removeSeries(m_levels.back());
        delete m_levels.back();
        m_levels.pop_back();
    }
    for (std::size_t i = 0; i < m_levels.size(); ++i)
        m_levels[i]->replace(i < stretches.size() ? stretches[i] : QList<QPointF>());
}

std::vector<QPointF> CTrendChart::LevelPoints() const
{
    std::vector<QPointF> out;
    for (const QLineSeries* level : m_levels) {
        const QList<QPointF> points = level->points();
        out.insert(out.end(), points.begin(), points.end());
    }
    return out;
}

void CTrendChart::FillBand(QAreaSeries* band, const std::vector<TrendSpan>& spans, double low, double high)
{
    // One outline for every span: up at each begin, down at each end.
    QList<QPointF> upper;
    upper.reserve(static_cast<qsizetype>(spans.size()) * 4);
    for (const TrendSpan& s : spans) {
        upper << QPointF(XOf(s.beginUs), low) << QPointF(XOf(s.beginUs), high) << QPointF(XOf(s.endUs), high)
              << QPointF(XOf(s.endUs), low);
    }
    QList<QPointF> lower;
    if (!spans.empty())
        lower << QPointF(XOf(spans.front().beginUs), low) << QPointF(XOf(spans.back().endUs), low);
    band->upperSeries()->replace(upper);
    band->lowerSeries()->replace(lower);
}

void CTrendChart::RebuildBands()
{
    const double h = m_range.high - m_range.low;
    const double bottom = m_range.low - h * kAutoRoom;
    const double top = m_range.high + h * kAlarmRoom;
    // A hair's gap keeps the bands off the range's own limits.
    const double gap = h * 0.01;
    FillBand(m_pDisconnected, m_disconnected, bottom, top);
    FillBand(m_pOff, m_data.off, bottom, top);
    FillBand(m_pAuto, m_data.autoRuns, bottom, m_range.low - gap);
    FillBand(m_pPaused, m_data.autoPaused, bottom, m_range.low - gap);
    FillBand(m_pAlarm, m_data.alarms, m_range.high + gap, top);
}

void CTrendChart::PlaceLegend()
{
    for (QGraphicsItem* item : m_legendItems)
        delete item;
    m_legendItems.clear();
    struct Entry {
        QAreaSeries* band; // null: the level
        bool shown;
    };
    const Entry entries[] = {{nullptr, true},
                             {m_pAlarm, !m_data.alarms.empty()},
                             {m_pAuto, !m_data.autoRuns.empty()},
                             {m_pPaused, !m_data.autoPaused.empty()},
                             {m_pOff, !m_data.off.empty()},
                             {m_pDisconnected, !m_disconnected.empty()}};
    const QFontMetrics metrics(font());
    double x = kLeftMargin;
    const double y = (kTopMargin - metrics.height()) / 2.0;
    for (const Entry& e : entries) {
        if (!e.shown)
            continue;
        const QRectF swatch(x, y + (metrics.height() - 10) / 2.0, 18, 10);
        if (e.band == nullptr) {
            auto* line = new QGraphicsLineItem(
                QLineF(swatch.left(), swatch.center().y(), swatch.right(), swatch.center().y()), chart());
            line->setPen(m_levels.front()->pen());
            m_legendItems.push_back(line);
        } else {
            auto* box = new QGraphicsRectItem(swatch, chart());
            box->setBrush(e.band->brush());
            box->setPen(QPen(QColor(0x90, 0x90, 0x90), 0.8));
            m_legendItems.push_back(box);
        }
        const QString name = e.band == nullptr ? m_levels.front()->name() : e.band->name();
        auto* text = new QGraphicsSimpleTextItem(name, chart());
        text->setFont(font());
        text->setPos(swatch.right() + 5, y);
        m_legendItems.push_back(text);
        x = swatch.right() + 5 + metrics.horizontalAdvance(name) + 16;
    }
}

QStringList CTrendChart::LegendTexts() const
{
    QStringList out;
    for (const QGraphicsItem* item : m_legendItems) {
        if (const auto* text = dynamic_cast<const QGraphicsSimpleTextItem*>(item))
            out << text->text();
    }
    return out;
}

void CTrendChart::PlaceLabels()
{
    for (QGraphicsSimpleTextItem* item : m_alarmLabels)
        delete item;
    m_alarmLabels.clear();
    const QRectF plot = chart()->plotArea();
    const double y = m_range.high + (m_range.high - m_range.low) * kAlarmRoom;
    QFont font = this->font();
    font.setBold(true);
    for (const TrendSpan& s : m_data.alarms) {
        const double x0 = std::max(XOf(s.beginUs), XOf(m_beginUs));
        const double x1 = std::min(XOf(s.endUs), XOf(m_endUs));
        const QPointF left = chart()->mapToPosition(QPointF(x0, y));
        const QPointF right = chart()->mapToPosition(QPointF(x1, y));
        // Too narrow for a word: the hover tells.
        if (right.x() - left.x() < 24 || left.x() >= plot.right())
            continue;
        // In the band, white on its red, cut to its length.
        const QString text = QFontMetrics(font).elidedText(AlarmText(s.text), Qt::ElideRight,
                                                           static_cast<int>(right.x() - left.x()) - 6);
        if (text.isEmpty() || text == QStringLiteral("…"))
            continue;
        auto* item = new QGraphicsSimpleTextItem(text, chart());
        item->setFont(font);
        item->setBrush(Qt::white);
        item->setPos(left + QPointF(4, 1));
        item->setZValue(10);
        m_alarmLabels.push_back(item);
    }
}

QStringList CTrendChart::AlarmLabels() const
{
    QStringList out;
    for (const QGraphicsSimpleTextItem* item : m_alarmLabels)
        out << item->text();
    return out;
}

QString CTrendChart::Readout(std::int64_t timeUs) const
{
    const auto within = [timeUs](const std::vector<TrendSpan>& spans) -> const TrendSpan* {
        for (const TrendSpan& s : spans) {
            if (timeUs >= s.beginUs && timeUs < s.endUs)
                return &s;
        }
        return nullptr;
    };
    QStringList lines;
    lines << QDateTime::fromMSecsSinceEpoch(timeUs / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const auto after = std::upper_bound(m_data.steps.begin(), m_data.steps.end(), timeUs,
                                        [](std::int64_t t, const TrendPoint& p) { return t < p.timeUs; });
    QString level = QStringLiteral("—");
    if (after != m_data.steps.begin() && !std::isnan(std::prev(after)->value)) {
        const double v = std::prev(after)->value;
        const auto code = RangeCodeFromKey(m_data.range);
        const int decimals = code ? GetRangeInfo(*code).decimals : 3;
        level = QString::number(v, 'f', std::clamp(decimals, 0, 6));
        if (!m_data.unit.empty() && !m_data.mixedUnits)
            level += QLatin1Char(' ') + QString::fromStdString(m_data.unit);
    }
    lines << QStringLiteral("CH%1: %2").arg(m_nChannel).arg(level);
    if (within(m_disconnected) != nullptr)
        lines << tr("未接続");
    if (within(m_data.off) != nullptr)
        lines << tr("出力ＯＦＦ");
    if (const TrendSpan* alarm = within(m_data.alarms))
        lines << tr("アラーム: %1").arg(AlarmText(alarm->text));
    if (const TrendSpan* run = within(m_data.autoRuns)) {
        QString text = tr("自動出力: %1").arg(run->text.empty() ? tr("実行中") : ModeText(run->text));
        if (within(m_data.autoPaused) != nullptr)
            text += QStringLiteral(" (%1)").arg(tr("一時停止"));
        lines << text;
    }
    return lines.join(QLatin1Char('\n'));
}

void CTrendChart::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0.0 || !chart()->plotArea().contains(event->position())) {
        event->ignore();
        return;
    }
    const std::int64_t at = TimeAt(chart()->mapToValue(event->position()).x());
    const double factor = std::pow(0.8, notches);
    const auto begin = at - static_cast<std::int64_t>(static_cast<double>(at - m_beginUs) * factor);
    const auto end = at + static_cast<std::int64_t>(static_cast<double>(m_endUs - at) * factor);
    event->accept();
    Q_EMIT ZoomRequested(begin, end);
}

void CTrendChart::mousePressEvent(QMouseEvent* event)
{
    const QRectF plot = chart()->plotArea();
    if (!plot.contains(event->position()) || m_dragButton != Qt::NoButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    m_dragButton = event->button();
    m_nDragStartX = static_cast<int>(event->position().x());
    QToolTip::hideText();
    if (m_dragButton == Qt::LeftButton) {
        if (!m_pBand)
            m_pBand = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_pBand->setGeometry(QRect(m_nDragStartX, static_cast<int>(plot.top()), 1, static_cast<int>(plot.height())));
        m_pBand->show();
    } else {
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void CTrendChart::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF plot = chart()->plotArea();
    const int x = static_cast<int>(std::clamp(event->position().x(), plot.left(), plot.right()));
    if (m_dragButton == Qt::LeftButton && m_pBand) {
        m_pBand->setGeometry(QRect(std::min(x, m_nDragStartX), static_cast<int>(plot.top()),
                                   std::abs(x - m_nDragStartX) + 1, static_cast<int>(plot.height())));
    } else if (m_dragButton != Qt::NoButton) {
        const double perPixel = static_cast<double>(m_endUs - m_beginUs) / plot.width();
        Q_EMIT ScrollRequested(static_cast<qint64>(-(event->position().x() - m_nDragStartX) * perPixel), false);
    } else if (plot.contains(event->position())) {
        QToolTip::showText(event->globalPosition().toPoint(),
                           Readout(TimeAt(chart()->mapToValue(event->position()).x())), this);
    } else {
        QToolTip::hideText();
    }
    event->accept();
}

void CTrendChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != m_dragButton) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const Qt::MouseButton button = m_dragButton;
    m_dragButton = Qt::NoButton;
    const QRectF plot = chart()->plotArea();
    const double x = std::clamp(event->position().x(), plot.left(), plot.right());
    if (button == Qt::LeftButton) {
        if (m_pBand)
            m_pBand->hide();
        // A click is no range.
        if (std::abs(x - m_nDragStartX) >= 4) {
            const std::int64_t a = TimeAt(chart()->mapToValue(QPointF(m_nDragStartX, plot.top())).x());
            const std::int64_t b = TimeAt(chart()->mapToValue(QPointF(x, plot.top())).x());
            Q_EMIT ZoomRequested(std::min(a, b), std::max(a, b));
        }
    } else {
        unsetCursor();
        const double perPixel = static_cast<double>(m_endUs - m_beginUs) / plot.width();
        Q_EMIT ScrollRequested(static_cast<qint64>(-(event->position().x() - m_nDragStartX) * perPixel), true);
    }
    event->accept();
}

} // namespace velmora
