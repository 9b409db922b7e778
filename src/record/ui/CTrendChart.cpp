#include "record/ui/CTrendChart.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRubberBand>
#include <QToolTip>
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

const QColor kGrid(0xdd, 0xdd, 0xdd);
const QColor kAxis(0x80, 0x80, 0x80);
const QColor kText(0x20, 0x20, 0x20);
const QColor kAlarmRed(0xdc, 0x26, 0x26, 190);
const QColor kAutoBlue(0x25, 0x63, 0xeb, 110);
const QColor kAutoBlueSolid(0x25, 0x63, 0xeb);
const QColor kHatch(0x70, 0x70, 0x70);
const QColor kAbsent(0, 0, 0, 30);

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
    double scaled = step;
    while (decimals < 6 && std::fabs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, scaled)) {
        scaled *= 10.0;
        ++decimals;
    }
    return decimals;
}

QString UtcOffsetText(int offsetSeconds)
{
    const int minutes = std::abs(offsetSeconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QBrush BandBrush(CTrendChart::Band band)
{
    switch (band) {
    case CTrendChart::Band::Disconnected:
        return kAbsent;
    case CTrendChart::Band::Off:
        return QBrush(kHatch, Qt::BDiagPattern);
    case CTrendChart::Band::Auto:
        return kAutoBlue;
    case CTrendChart::Band::Paused:
        return QBrush(kAutoBlueSolid, Qt::Dense5Pattern);
    case CTrendChart::Band::Alarm:
        return kAlarmRed;
    }
    return {};
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

CTrendChart::CTrendChart(int channel, QWidget* parent) : QWidget(parent), m_nChannel(channel)
{
    setMouseTracking(true);
    setMinimumHeight(150);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CTrendChart::~CTrendChart() = default;

void CTrendChart::SetTimesShown(bool shown)
{
    if (shown == m_bTimesShown)
        return;
    m_bTimesShown = shown;
    update();
}

QRectF CTrendChart::PlotAreaFor(const QSizeF& size) const
{
    const double bottom = m_bTimesShown ? kBottomMarginWithTimes : kBottomMargin;
    return QRectF(kLeftMargin, kTopMargin, std::max(1.0, size.width() - kLeftMargin - kRightMargin),
                  std::max(1.0, size.height() - kTopMargin - bottom));
}

int CTrendChart::PlotWidth() const
{
    return std::max(1, width() - kLeftMargin - kRightMargin);
}

std::int64_t CTrendChart::TimeAtX(double x) const
{
    const QRectF plot = PlotArea();
    return m_beginUs + std::llround((x - plot.left()) / plot.width() * static_cast<double>(m_endUs - m_beginUs));
}

double CTrendChart::ValueLow() const
{
    return m_range.low - (m_range.high - m_range.low) * kAutoRoom;
}

double CTrendChart::ValueHigh() const
{
    return m_range.high + (m_range.high - m_range.low) * kAlarmRoom;
}

void CTrendChart::SetPeriod(std::int64_t beginUs, std::int64_t endUs)
{
    endUs = std::max(endUs, beginUs + 1);
    if (beginUs == m_beginUs && endUs == m_endUs)
        return;
    m_beginUs = beginUs;
    m_endUs = endUs;
    update();
}

void CTrendChart::SetData(const TrendChannel& data, const std::vector<TrendSpan>& disconnected, std::int64_t endUs)
{
    const bool levelChanged = data.steps != m_data.steps || endUs != m_dataEndUs;
    m_data = data;
    m_disconnected = disconnected;
    m_dataEndUs = endUs;
    m_range = AxisRangeFor(m_data);
    if (levelChanged)
        RebuildLevel();
    update();
}

void CTrendChart::RebuildLevel()
{
    // One line per stretch with a known level: a level holds until the next
    // point, the last one until the end of what was read.
    m_stretches.clear();
    const std::vector<TrendPoint>& steps = m_data.steps;
    const auto ms = [](std::int64_t t) { return static_cast<double>(t) / 1000.0; };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TrendPoint& p = steps[i];
        if (std::isnan(p.value))
            continue;
        const bool continues = i > 0 && !std::isnan(steps[i - 1].value);
        if (!continues)
            m_stretches.emplace_back();
        std::vector<QPointF>& line = m_stretches.back();
        if (continues)
            line.emplace_back(ms(p.timeUs), steps[i - 1].value);
        line.emplace_back(ms(p.timeUs), p.value);
        if (i + 1 == steps.size())
            line.emplace_back(ms(std::max(m_dataEndUs, p.timeUs)), p.value);
        else if (std::isnan(steps[i + 1].value))
            line.emplace_back(ms(steps[i + 1].timeUs), p.value);
    }
}

std::vector<QPointF> CTrendChart::LevelPoints() const
{
    std::vector<QPointF> out;
    for (const auto& stretch : m_stretches)
        out.insert(out.end(), stretch.begin(), stretch.end());
    return out;
}

const std::vector<TrendSpan>& CTrendChart::SpansOf(Band band) const
{
    switch (band) {
    case Band::Disconnected:
        return m_disconnected;
    case Band::Off:
        return m_data.off;
    case Band::Auto:
        return m_data.autoRuns;
    case Band::Paused:
        return m_data.autoPaused;
    case Band::Alarm:
        return m_data.alarms;
    }
    return m_disconnected;
}

std::vector<std::pair<double, double>> CTrendChart::Spans(Band band) const
{
    std::vector<std::pair<double, double>> out;
    for (const TrendSpan& s : SpansOf(band))
        out.emplace_back(static_cast<double>(s.beginUs) / 1000.0, static_cast<double>(s.endUs) / 1000.0);
    return out;
}

QString CTrendChart::BandName(Band band) const
{
    switch (band) {
    case Band::Disconnected:
        return tr("未接続");
    case Band::Off:
        return tr("出力ＯＦＦ");
    case Band::Auto:
        return tr("自動出力");
    case Band::Paused:
        return tr("一時停止");
    case Band::Alarm:
        return tr("アラーム");
    }
    return {};
}

std::vector<CTrendChart::LegendEntry> CTrendChart::Legend() const
{
    // The level first, then only the bands the strip shows, from the top.
    std::vector<LegendEntry> out{{Band::Alarm, true}};
    for (const Band band : {Band::Alarm, Band::Auto, Band::Paused, Band::Off, Band::Disconnected}) {
        if (!SpansOf(band).empty())
            out.push_back({band, false});
    }
    return out;
}

QStringList CTrendChart::LegendTexts() const
{
    QStringList out;
    for (const LegendEntry& e : Legend())
        out << (e.level ? QStringLiteral("CH%1").arg(m_nChannel) : BandName(e.band));
    return out;
}

QString CTrendChart::ValueAxisTitle() const
{
    if (m_data.mixedUnits)
        return tr("CH%1 出力").arg(m_nChannel);
    if (m_data.unit.empty() && !m_data.steps.empty())
        return tr("CH%1 換算値").arg(m_nChannel);
    return tr("CH%1 出力 [%2]").arg(m_nChannel).arg(QString::fromStdString(m_data.unit.empty() ? "mA" : m_data.unit));
}

QString CTrendChart::TimeAxisTitle() const
{
    const QDateTime middle = QDateTime::fromMSecsSinceEpoch((m_beginUs + (m_endUs - m_beginUs) / 2) / 1000);
    return tr("時刻 (UTC%1)").arg(UtcOffsetText(middle.offsetFromUtc()));
}

CTrendChart::Ticks CTrendChart::TicksFor(const QRectF& plot) const
{
    Ticks out;
    const QDateTime middle = QDateTime::fromMSecsSinceEpoch((m_beginUs + (m_endUs - m_beginUs) / 2) / 1000);
    const TrendTimeTicks times = TimeTicksFor(
        m_beginUs, m_endUs, std::max(2, static_cast<int>(plot.width()) / kPixelsPerTimeTick), middle.offsetFromUtc());
    // Beyond a day a time needs its date.
    const bool withDate = QDateTime::fromMSecsSinceEpoch(m_beginUs / 1000).date() !=
        QDateTime::fromMSecsSinceEpoch((m_endUs - 1) / 1000).date();
    for (const std::int64_t t : times.ticksUs)
        out.times.emplace_back(t, TimeLabel(t, times.label, withDate));
    out.valueStep =
        NiceStep(m_range.high - m_range.low, std::max(2, static_cast<int>(plot.height()) / kPixelsPerValueTick));
    out.valueDecimals = DecimalsOf(out.valueStep);
    // Whole steps within the range, counted so that no sum of steps drifts.
    const auto first = static_cast<long long>(std::ceil(m_range.low / out.valueStep - 1e-9));
    const auto last = static_cast<long long>(std::floor(m_range.high / out.valueStep + 1e-9));
    for (long long k = first; k <= last && k - first < 1000; ++k)
        out.values.push_back(static_cast<double>(k) * out.valueStep);
    return out;
}

void CTrendChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Paint(painter, QSizeF(size()));
}

void CTrendChart::Paint(QPainter& p, const QSizeF& size) const
{
    const QRectF plot = PlotAreaFor(size);
    const Ticks ticks = TicksFor(plot);
    p.save();
    p.setFont(font());
    p.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    p.save();
    p.setClipRect(plot);
    PaintGrid(p, plot, ticks);
    PaintBands(p, plot);
    PaintLevel(p, plot);
    p.restore();
    PaintAxes(p, plot, ticks);
    PaintLegend(p);
    p.restore();
}

void CTrendChart::PaintBands(QPainter& p, const QRectF& plot) const
{
    const double span = static_cast<double>(m_endUs - m_beginUs);
    const double low = ValueLow();
    const double high = ValueHigh();
    const auto yOf = [&](double v) { return plot.bottom() - (v - low) / (high - low) * plot.height(); };
    const auto fill = [&](Band band, double top, double bottom) {
        const QBrush brush = BandBrush(band);
        for (const TrendSpan& s : SpansOf(band)) {
            const double x0 = plot.left() + static_cast<double>(s.beginUs - m_beginUs) / span * plot.width();
            const double x1 = plot.left() + static_cast<double>(s.endUs - m_beginUs) / span * plot.width();
            if (x1 < plot.left() || x0 > plot.right())
                continue;
            // However short, a span stays a pixel wide.
            p.fillRect(QRectF(x0, top, std::max(1.0, x1 - x0), bottom - top), brush);
        }
    };
    const double h = m_range.high - m_range.low;
    // A hair's gap keeps the bands off the range's own limits.
    const double gap = h * 0.01;
    fill(Band::Disconnected, plot.top(), plot.bottom());
    fill(Band::Off, plot.top(), plot.bottom());
    fill(Band::Auto, yOf(m_range.low - gap), plot.bottom());
    fill(Band::Paused, yOf(m_range.low - gap), plot.bottom());
    fill(Band::Alarm, plot.top(), yOf(m_range.high + gap));
    QFont bold = p.font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::white);
    for (const auto& [rect, text] : AlarmLabelsAt(plot))
        p.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, text);
    p.setFont(font());
}

std::vector<std::pair<QRectF, QString>> CTrendChart::AlarmLabelsAt(const QRectF& plot) const
{
    std::vector<std::pair<QRectF, QString>> out;
    const double span = static_cast<double>(m_endUs - m_beginUs);
    const double low = ValueLow();
    const double high = ValueHigh();
    const double bottom = plot.bottom() - (m_range.high - low) / (high - low) * plot.height();
    QFont bold = font();
    bold.setBold(true);
    const QFontMetricsF metrics(bold);
    for (const TrendSpan& s : m_data.alarms) {
        const double x0 =
            std::max(plot.left(), plot.left() + static_cast<double>(s.beginUs - m_beginUs) / span * plot.width());
        const double x1 =
            std::min(plot.right(), plot.left() + static_cast<double>(s.endUs - m_beginUs) / span * plot.width());
        // In the band, cut to its length; too narrow for a word, the hover tells.
        const double room = x1 - x0 - 8;
        if (room < 16)
            continue;
        const QString text = metrics.elidedText(AlarmText(s.text), Qt::ElideRight, room);
        if (text.isEmpty() || text == QStringLiteral("…"))
            continue;
        out.emplace_back(QRectF(x0 + 4, plot.top(), room, bottom - plot.top()), text);
    }
    return out;
}

QStringList CTrendChart::AlarmLabels() const
{
    QStringList out;
    for (const auto& label : AlarmLabelsAt(PlotArea()))
        out << label.second;
    return out;
}

void CTrendChart::PaintGrid(QPainter& p, const QRectF& plot, const Ticks& ticks) const
{
    const double span = static_cast<double>(m_endUs - m_beginUs);
    p.setPen(QPen(kGrid, 0));
    for (const auto& tick : ticks.times) {
        const double x = std::round(plot.left() + static_cast<double>(tick.first - m_beginUs) / span * plot.width());
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    const double low = ValueLow();
    const double high = ValueHigh();
    for (const double v : ticks.values) {
        const double y = std::round(plot.bottom() - (v - low) / (high - low) * plot.height());
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
}

void CTrendChart::PaintLevel(QPainter& p, const QRectF& plot) const
{
    const double beginMs = static_cast<double>(m_beginUs) / 1000.0;
    const double spanMs = static_cast<double>(m_endUs - m_beginUs) / 1000.0;
    const double low = ValueLow();
    const double high = ValueHigh();
    const double sx = plot.width() / spanMs;
    const double sy = plot.height() / (high - low);
    // On a picture of pixels a line two pixels wide is drawn as two one
    // pixel wide (the stroker's joins of a wide pen cost many times more);
    // on SVG it is one path with a wide pen.
    const bool pixels = p.paintEngine() != nullptr && p.paintEngine()->type() == QPaintEngine::Raster;
    QPen pen(ChannelColour(m_nChannel), pixels ? 0 : 2);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPolygonF line;
    for (const auto& stretch : m_stretches) {
        line.clear();
        line.reserve(static_cast<qsizetype>(stretch.size()));
        for (const QPointF& q : stretch)
            line << QPointF(std::round(plot.left() + (q.x() - beginMs) * sx),
                            std::round(plot.bottom() - (q.y() - low) * sy));
        if (!pixels) {
            QPainterPath path;
            path.addPolygon(line);
            p.drawPath(path);
            continue;
        }
        p.drawPolyline(line);
        line.translate(1, 1);
        p.drawPolyline(line);
    }
}

void CTrendChart::PaintAxes(QPainter& p, const QRectF& plot, const Ticks& ticks) const
{
    const QFontMetricsF metrics(p.font());
    p.setPen(QPen(kAxis, 0));
    p.drawRect(plot.adjusted(0, 0, -1, -1));
    // Values to the left, with their ticks.
    const double low = ValueLow();
    const double high = ValueHigh();
    p.setPen(kText);
    for (const double v : ticks.values) {
        const double y = std::round(plot.bottom() - (v - low) / (high - low) * plot.height());
        p.setPen(QPen(kAxis, 0));
        p.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
        p.setPen(kText);
        const QString text = QString::number(v, 'f', ticks.valueDecimals);
        p.drawText(QRectF(0, y - metrics.height() / 2, plot.left() - 7, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, text);
    }
    QFont title = p.font();
    title.setBold(true);
    p.save();
    p.setFont(title);
    p.translate(4, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), metrics.height() + 2), Qt::AlignCenter, ValueAxisTitle());
    p.restore();
    // Times below, on the bottom strip.
    const double span = static_cast<double>(m_endUs - m_beginUs);
    for (const auto& [t, label] : ticks.times) {
        const double x = std::round(plot.left() + static_cast<double>(t - m_beginUs) / span * plot.width());
        p.setPen(QPen(kAxis, 0));
        p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + (m_bTimesShown ? 4 : 0)));
        if (!m_bTimesShown)
            continue;
        p.setPen(kText);
        const double w = metrics.horizontalAdvance(label) + 4;
        p.drawText(QRectF(x - w / 2, plot.bottom() + 5, w, metrics.height()), Qt::AlignCenter, label);
    }
    if (m_bTimesShown) {
        p.save();
        p.setFont(title);
        p.drawText(QRectF(plot.left(), plot.bottom() + 7 + metrics.height(), plot.width(), metrics.height() + 4),
                   Qt::AlignCenter, TimeAxisTitle());
        p.restore();
    }
}

void CTrendChart::PaintLegend(QPainter& p) const
{
    const QFontMetricsF metrics(p.font());
    double x = kLeftMargin;
    const double y = (kTopMargin - metrics.height()) / 2.0;
    const QStringList texts = LegendTexts();
    const std::vector<LegendEntry> entries = Legend();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QRectF swatch(x, y + (metrics.height() - 10) / 2.0, 18, 10);
        if (entries[i].level) {
            p.fillRect(QRectF(swatch.left(), swatch.center().y() - 1, swatch.width(), 2), ChannelColour(m_nChannel));
        } else {
            p.fillRect(swatch, BandBrush(entries[i].band));
            p.setPen(QPen(QColor(0x90, 0x90, 0x90), 0));
            p.drawRect(swatch);
        }
        p.setPen(kText);
        const QString& text = texts[static_cast<qsizetype>(i)];
        const double w = metrics.horizontalAdvance(text) + 2;
        p.drawText(QRectF(swatch.right() + 5, y, w, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x = swatch.right() + 5 + w + 14;
    }
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
    if (notches == 0.0 || !PlotArea().contains(event->position())) {
        event->ignore();
        return;
    }
    const std::int64_t at = TimeAtX(event->position().x());
    const double factor = std::pow(0.8, notches);
    const auto begin = at - static_cast<std::int64_t>(static_cast<double>(at - m_beginUs) * factor);
    const auto end = at + static_cast<std::int64_t>(static_cast<double>(m_endUs - at) * factor);
    event->accept();
    Q_EMIT ZoomRequested(begin, end);
}

void CTrendChart::mousePressEvent(QMouseEvent* event)
{
    const QRectF plot = PlotArea();
    if (!plot.contains(event->position()) || m_dragButton != Qt::NoButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragButton = event->button();
    m_nDragStartX = static_cast<int>(event->position().x());
    QToolTip::hideText();
    if (m_dragButton == Qt::LeftButton) {
        if (!m_pBand)
            m_pBand = new QRubberBand(QRubberBand::Rectangle, this);
        m_pBand->setGeometry(QRect(m_nDragStartX, static_cast<int>(plot.top()), 1, static_cast<int>(plot.height())));
        m_pBand->show();
    } else {
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void CTrendChart::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF plot = PlotArea();
    const int x = static_cast<int>(std::clamp(event->position().x(), plot.left(), plot.right()));
    if (m_dragButton == Qt::LeftButton && m_pBand) {
        m_pBand->setGeometry(QRect(std::min(x, m_nDragStartX), static_cast<int>(plot.top()),
                                   std::abs(x - m_nDragStartX) + 1, static_cast<int>(plot.height())));
    } else if (m_dragButton != Qt::NoButton) {
        const double perPixel = static_cast<double>(m_endUs - m_beginUs) / plot.width();
        Q_EMIT ScrollRequested(static_cast<qint64>(-(event->position().x() - m_nDragStartX) * perPixel), false);
    } else if (plot.contains(event->position())) {
        QToolTip::showText(event->globalPosition().toPoint(), Readout(TimeAtX(event->position().x())), this);
    } else {
        QToolTip::hideText();
    }
    event->accept();
}

void CTrendChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != m_dragButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Qt::MouseButton button = m_dragButton;
    m_dragButton = Qt::NoButton;
    const QRectF plot = PlotArea();
    const double x = std::clamp(event->position().x(), plot.left(), plot.right());
    if (button == Qt::LeftButton) {
        if (m_pBand)
            m_pBand->hide();
        // A click is no range.
        if (std::abs(x - m_nDragStartX) >= 4) {
            const std::int64_t a = TimeAtX(m_nDragStartX);
            const std::int64_t b = TimeAtX(x);
            Q_EMIT ZoomRequested(std::min(a, b), std::max(a, b));
        }
    } else {
        unsetCursor();
        const double perPixel = static_cast<double>(m_endUs - m_beginUs) / plot.width();
        Q_EMIT ScrollRequested(static_cast<qint64>(-(event->position().x() - m_nDragStartX) * perPixel), true);
    }
    event->accept();
}

void CTrendChart::leaveEvent(QEvent* event)
{
    QToolTip::hideText();
    QWidget::leaveEvent(event);
}

} // namespace velmora
