#include "record/ui/CTrendDlg.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

#include "model/CVelmoraDoc.h"
#include "platform/Prompter.h"
#include "record/RecordEvent.h"
#include "record/ui/CTrendChart.h"
#include "record/ui/TrendLoader.h"

namespace velmora {

namespace {

constexpr std::int64_t kMinuteUs = 60'000'000;
constexpr std::int64_t kHourUs = 60 * kMinuteUs;
constexpr std::int64_t kDayUs = 24 * kHourUs;
// The spans on offer, shortest first.
constexpr std::array<std::int64_t, 7> kSpans = {kMinuteUs, 10 * kMinuteUs, kHourUs,    8 * kHourUs,
                                                kDayUs,    7 * kDayUs,     31 * kDayUs};
// The picture's heading above the strips.
constexpr int kHeadingHeight = 30;

QDateTime LocalTime(std::int64_t timeUs)
{
    return QDateTime::fromMSecsSinceEpoch(timeUs / 1000);
}

QString UtcOffsetText(const QDateTime& t)
{
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::string ToStd(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace

CTrendDlg::CTrendDlg(const std::string& recordPath, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_prompter(prompter),
      m_pLoader(std::make_unique<TrendLoader>(recordPath))
{
    setObjectName(QStringLiteral("trend"));
    BuildControls();
    Retranslate();
    resize(1000, 640);

    connect(m_pLoader.get(), &TrendLoader::Loaded, this, &CTrendDlg::OnLoaded);
    connect(m_pLoader.get(), &TrendLoader::ExtentRead, this, &CTrendDlg::OnExtent);
    connect(m_pLoader.get(), &TrendLoader::Failed, this, &CTrendDlg::OnFailed);
    connect(m_pLoader.get(), &TrendLoader::Exported, this, &CTrendDlg::OnExported);

    m_pResized = new QTimer(this);
    m_pResized->setSingleShot(true);
    m_pResized->setInterval(300);
    connect(m_pResized, &QTimer::timeout, this, &CTrendDlg::OnResized);
    m_pPoll = new QTimer(this);
    m_pPoll->setInterval(kPollMs);
    connect(m_pPoll, &QTimer::timeout, this, &CTrendDlg::PollNow);
    ShowLive(kDefaultSpanUs);
}

CTrendDlg::~CTrendDlg() = default;

void CTrendDlg::BuildControls()
{
    auto* top = new QHBoxLayout;
    m_pLive = new QPushButton(this);
    m_pLive->setCheckable(true);
    // Lit while the window follows the record.
    m_pLive->setStyleSheet(QStringLiteral("QPushButton:checked { background: #2e7d32; color: white; "
                                          "border: 1px solid #1b5e20; border-radius: 3px; padding: 3px 10px; }"));
    connect(m_pLive, &QPushButton::toggled, this, &CTrendDlg::OnLiveToggled);
    top->addWidget(m_pLive);
    top->addSpacing(12);

    m_pSpanLabel = new QLabel(this);
    top->addWidget(m_pSpanLabel);
    m_pSpan = new QComboBox(this);
    for (std::size_t i = 0; i < kSpans.size(); ++i)
        m_pSpan->addItem(QString());
    connect(m_pSpan, &QComboBox::activated, this, &CTrendDlg::OnSpanChosen);
    top->addWidget(m_pSpan);
    m_pZoomOut = new QToolButton(this);
    m_pZoomOut->setText(QStringLiteral("\u2212"));
    connect(m_pZoomOut, &QToolButton::clicked, this, [this] { ZoomBy(2.0); });
    top->addWidget(m_pZoomOut);
    m_pZoomIn = new QToolButton(this);
    m_pZoomIn->setText(QStringLiteral("+"));
    connect(m_pZoomIn, &QToolButton::clicked, this, [this] { ZoomBy(0.5); });
    top->addWidget(m_pZoomIn);
    top->addSpacing(12);

    m_pStartLabel = new QLabel(this);
    top->addWidget(m_pStartLabel);
    m_pStart = new QDateTimeEdit(this);
    m_pStart->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_pStart->setCalendarPopup(true);
    connect(m_pStart, &QDateTimeEdit::editingFinished, this, &CTrendDlg::OnStartEdited);
    top->addWidget(m_pStart);
    top->addStretch(1);

    m_pExport = new QPushButton(this);
    auto* menu = new QMenu(m_pExport);
    for (int kind = 0; kind < 3; ++kind)
        connect(menu->addAction(QString()), &QAction::triggered, this, [this, kind] { ChooseAndExport(kind); });
    m_pExport->setMenu(menu);
    top->addWidget(m_pExport);

    m_pStrips = new QWidget(this);
    m_pStrips->setAutoFillBackground(true);
    QPalette white = m_pStrips->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_pStrips->setPalette(white);
    m_pStripLayout = new QVBoxLayout(m_pStrips);
    m_pStripLayout->setContentsMargins(0, 0, 0, 0);
    m_pStripLayout->setSpacing(0);
    m_pEmpty = new QLabel(m_pStrips);
    m_pEmpty->setAlignment(Qt::AlignCenter);
    m_pStripLayout->addWidget(m_pEmpty);

    m_pScroll = new QScrollBar(Qt::Horizontal, this);
    connect(m_pScroll, &QScrollBar::valueChanged, this, &CTrendDlg::OnScrollBar);
    m_pStatus = new QLabel(this);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // How the mouse works on the strips, where it is used.
    m_pHint = new QLabel(this);
    m_pHint->setStyleSheet(QStringLiteral("color: #606060;"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_pStatus, 1);
    bottom->addWidget(m_pHint);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pStrips, 1);
    layout->addWidget(m_pScroll);
    layout->addLayout(bottom);
}

void CTrendDlg::Retranslate()
{
    setWindowTitle(tr("トレンド") + QStringLiteral(" - Velmora"));
    m_pLive->setText(tr("ライブ"));
    m_pLive->setToolTip(tr("最新の記録を表示し続けます"));
    m_pSpanLabel->setText(tr("表示幅"));
    const std::array<QString, kSpans.size()> spans = {tr("1 分"), tr("10 分"), tr("1 時間"), tr("8 時間"),
                                                      tr("1 日"), tr("7 日"),  tr("31 日")};
    for (std::size_t i = 0; i < spans.size(); ++i)
        m_pSpan->setItemText(static_cast<int>(i), spans[i]);
    m_pZoomOut->setToolTip(tr("縮小"));
    m_pZoomIn->setToolTip(tr("拡大"));
    m_pStartLabel->setText(tr("開始"));
    m_pExport->setText(tr("書き出し"));
    const QList<QAction*> actions = m_pExport->menu()->actions();
    actions[0]->setText(tr("PNG 画像(&P)..."));
    actions[1]->setText(tr("SVG 画像(&S)..."));
    actions[2]->setText(tr("CSV ファイル(&C)..."));
    m_pHint->setText(tr("ホイール: 拡大・縮小　ドラッグ: その範囲を拡大　右ドラッグ: 移動"));
    ShowStatus();
}

void CTrendDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QWidget::changeEvent(event);
}

int CTrendDlg::Columns() const
{
    // Before the window is shown its strips have no width yet.
    const int width = m_pStrips->isVisible() ? m_pStrips->width() : 1000;
    return std::max(200, width - CTrendChart::kLeftMargin - CTrendChart::kRightMargin);
}

void CTrendDlg::ShowLive(std::int64_t spanUs)
{
    const std::int64_t span = std::clamp(spanUs, kShortestSpanUs, kLongestSpanUs);
    const std::int64_t now = WallClockMicros();
    SetPeriod(now - span, now, true);
}

void CTrendDlg::ShowPeriod(std::int64_t beginUs, std::int64_t endUs)
{
    SetPeriod(beginUs, endUs, false);
}

void CTrendDlg::SetPeriod(std::int64_t beginUs, std::int64_t endUs, bool live)
{
    std::int64_t span = std::clamp(endUs - beginUs, kShortestSpanUs, kLongestSpanUs);
    const std::int64_t middle = beginUs + (endUs - beginUs) / 2;
    m_bLive = live;
    m_spanUs = span;
    m_beginUs = live ? endUs - span : middle - span / 2;
    m_endUs = m_beginUs + span;
    m_scrollBase.reset();
    if (live)
        m_pPoll->start();
    else
        m_pPoll->stop();
    m_exportNote.clear();
    SyncControls();
    ShowPeriodOnStrips();
    Request();
}

void CTrendDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The period was thinned to the strips' width: much wider or narrower
    // strips read it again, once the resizing has come to rest.
    if (m_pResized != nullptr)
        m_pResized->start();
}

void CTrendDlg::OnResized()
{
    const int columns = Columns();
    if (columns > m_nColumns * 5 / 4 || columns < m_nColumns * 3 / 4)
        Request();
}

void CTrendDlg::SetPort(const std::string& port)
{
    if (port == m_strPort)
        return;
    m_strPort = port;
    m_pLoader->SetPort(port.empty() ? std::nullopt : std::optional<std::string>(port));
    Request();
}

void CTrendDlg::Request()
{
    m_nColumns = Columns();
    m_nRequest = m_pLoader->Load(m_beginUs, m_endUs, m_nColumns, m_bLive);
    m_bLoading = true;
    ShowStatus();
}

void CTrendDlg::PollNow()
{
    // A load still running brings the newest events itself.
    if (!m_bLive || m_bLoading)
        return;
    m_pLoader->Poll(WallClockMicros(), m_spanUs);
}

void CTrendDlg::OnLoaded(quint64 request, const std::shared_ptr<const TrendData>& data, double seconds)
{
    if (request != m_nRequest || !data)
        return;
    m_pData = data;
    if (m_bLoading)
        m_loadSeconds = seconds;
    m_bLoading = false;
    m_failure.clear();
    if (m_bLive) {
        m_endUs = data->endUs;
        m_beginUs = m_endUs - m_spanUs;
        if (m_extent)
            m_extent->second = std::max(m_extent->second, m_endUs);
    }
    SyncStrips(*data);
    ShowPeriodOnStrips();
    SyncControls();
    ShowStatus();
    Q_EMIT DataShown();
}

void CTrendDlg::OnExtent(qint64 firstUs, qint64 lastUs)
{
    m_extent = std::pair<std::int64_t, std::int64_t>(firstUs, lastUs);
    SyncControls();
}

void CTrendDlg::OnFailed(const QString& reason)
{
    m_bLoading = false;
    m_failure = reason;
    ShowStatus();
}

void CTrendDlg::SyncStrips(const TrendData& data)
{
    std::vector<int> shown;
    for (int c = 1; c <= kTrendChannels; ++c) {
        if (data.channels[static_cast<std::size_t>(c - 1)].HasData())
            shown.push_back(c);
    }
    // The strips follow the channels the period holds, in their order.
    std::vector<CTrendChart*> kept;
    for (CTrendChart* chart : m_charts) {
        if (std::find(shown.begin(), shown.end(), chart->Channel()) != shown.end()) {
            kept.push_back(chart);
        } else {
            m_pStripLayout->removeWidget(chart);
            delete chart;
        }
    }
    m_charts.clear();
    for (const int c : shown) {
        auto it = std::find_if(kept.begin(), kept.end(), [c](CTrendChart* chart) { return chart->Channel() == c; });
        CTrendChart* chart = it != kept.end() ? *it : nullptr;
        if (chart == nullptr) {
            chart = new CTrendChart(c, m_pStrips);
            connect(chart, &CTrendChart::ZoomRequested, this, &CTrendDlg::OnZoom);
            connect(chart, &CTrendChart::ScrollRequested, this, &CTrendDlg::OnScroll);
        }
        m_pStripLayout->removeWidget(chart);
        m_pStripLayout->insertWidget(static_cast<int>(m_charts.size()), chart, 1);
        m_charts.push_back(chart);
    }
    for (std::size_t i = 0; i < m_charts.size(); ++i) {
        CTrendChart* chart = m_charts[i];
        chart->SetTimesShown(i + 1 == m_charts.size());
        chart->SetPeriod(m_beginUs, m_endUs);
        chart->SetData(data.channels[static_cast<std::size_t>(chart->Channel() - 1)], data.disconnected, data.endUs);
        chart->show();
    }
    m_pEmpty->setVisible(m_charts.empty());
}

void CTrendDlg::ShowPeriodOnStrips()
{
    for (CTrendChart* chart : m_charts)
        chart->SetPeriod(m_beginUs, m_endUs);
}

void CTrendDlg::SyncControls()
{
    m_bSyncing = true;
    m_pLive->setChecked(m_bLive);
    const auto it = std::find(kSpans.begin(), kSpans.end(), m_spanUs);
    m_pSpan->setCurrentIndex(it != kSpans.end() ? static_cast<int>(it - kSpans.begin()) : -1);
    m_pStart->setDateTime(LocalTime(m_beginUs));
    // The scroll bar spans the record, in seconds from its first event.
    if (m_extent) {
        const std::int64_t first = std::min(m_extent->first, m_beginUs);
        const std::int64_t last = std::max({m_extent->second, m_endUs, WallClockMicros()});
        const int pageSeconds = static_cast<int>(std::max<std::int64_t>(1, m_spanUs / 1'000'000));
        m_pScroll->setRange(0, static_cast<int>(std::max<std::int64_t>(0, (last - first - m_spanUs) / 1'000'000)));
        m_pScroll->setPageStep(pageSeconds);
        m_pScroll->setSingleStep(std::max(1, pageSeconds / 10));
        m_pScroll->setValue(static_cast<int>((m_beginUs - first) / 1'000'000));
        m_pScroll->setProperty("firstUs", static_cast<qlonglong>(first));
    }
    m_bSyncing = false;
}

void CTrendDlg::OnLiveToggled(bool on)
{
    if (m_bSyncing)
        return;
    if (on)
        ShowLive(m_spanUs);
    else
        SetPeriod(m_beginUs, m_endUs, false);
}

void CTrendDlg::OnSpanChosen(int index)
{
    if (index < 0 || index >= static_cast<int>(kSpans.size()))
        return;
    const std::int64_t span = kSpans[static_cast<std::size_t>(index)];
    if (m_bLive)
        ShowLive(span);
    else
        SetPeriod(m_endUs - span, m_endUs, false);
}

void CTrendDlg::ZoomBy(double factor)
{
    const auto span = static_cast<std::int64_t>(static_cast<double>(m_spanUs) * factor);
    if (m_bLive) {
        ShowLive(span);
        return;
    }
    const std::int64_t middle = m_beginUs + m_spanUs / 2;
    SetPeriod(middle - span / 2, middle + span / 2, false);
}

void CTrendDlg::OnZoom(qint64 beginUs, qint64 endUs)
{
    SetPeriod(beginUs, endUs, false);
}

void CTrendDlg::OnScroll(qint64 deltaUs, bool finished)
{
    if (!m_scrollBase) {
        m_scrollBase = std::pair<std::int64_t, std::int64_t>(m_beginUs, m_endUs);
        m_bLive = false;
        m_pPoll->stop();
    }
    const auto base = *m_scrollBase;
    if (!finished) {
        // The axes follow the drag at once; the data comes once let go.
        m_beginUs = base.first + deltaUs;
        m_endUs = base.second + deltaUs;
        ShowPeriodOnStrips();
        SyncControls();
        return;
    }
    SetPeriod(base.first + deltaUs, base.second + deltaUs, false);
}

void CTrendDlg::OnStartEdited()
{
    if (m_bSyncing)
        return;
    const std::int64_t begin = m_pStart->dateTime().toMSecsSinceEpoch() * 1000;
    if (begin == m_beginUs - m_beginUs % 1'000'000)
        return;
    SetPeriod(begin, begin + m_spanUs, false);
}

void CTrendDlg::OnScrollBar(int value)
{
    if (m_bSyncing || !m_extent)
        return;
    const std::int64_t first = m_pScroll->property("firstUs").toLongLong();
    const std::int64_t begin = first + static_cast<std::int64_t>(value) * 1'000'000;
    SetPeriod(begin, begin + m_spanUs, false);
}

QString CTrendDlg::PeriodText() const
{
    const QDateTime begin = LocalTime(m_beginUs);
    const QDateTime end = LocalTime(m_endUs);
    const QString endFormat =
        begin.date() == end.date() ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QStringLiteral("%1 – %2 (UTC%3)")
        .arg(begin.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), end.toString(endFormat), UtcOffsetText(begin));
}

QString CTrendDlg::StatusText() const
{
    return m_pStatus->text();
}

void CTrendDlg::ShowStatus()
{
    QStringList parts{PeriodText()};
    if (m_bLoading)
        parts << tr("読込中…");
    else if (m_pData)
        parts << tr("イベント %1 件").arg(QLocale(QLocale::English).toString(static_cast<qlonglong>(m_pData->events)));
    if (!m_failure.isEmpty())
        parts << tr("記録を読めません: %1").arg(m_failure);
    if (!m_exportNote.isEmpty())
        parts << m_exportNote;
    m_pStatus->setText(parts.join(QStringLiteral("　")));
    m_pExport->menu()->actions()[2]->setEnabled(!m_pLoader->IsExporting());
    m_pEmpty->setText(m_bLoading ? tr("読込中…") : tr("この期間の記録はありません"));
}

QSize CTrendDlg::RenderSize() const
{
    int height = kHeadingHeight;
    for (const CTrendChart* chart : m_charts)
        height += chart->height();
    if (m_charts.empty())
        height += m_pStrips->height();
    return QSize(std::max(1, m_pStrips->width()), height);
}

void CTrendDlg::Render(QPainter& painter, const QSize& size)
{
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    QFont heading = font();
    heading.setPointSizeF(heading.pointSizeF() * 1.15);
    heading.setBold(true);
    painter.setFont(heading);
    painter.setPen(Qt::black);
    painter.drawText(QRect(CTrendChart::kLeftMargin - 8, 0, size.width(), kHeadingHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("トレンド") + QStringLiteral("　") + PeriodText());
    const QSize natural = RenderSize();
    const double scaleY = natural.height() > kHeadingHeight
        ? static_cast<double>(size.height() - kHeadingHeight) / (natural.height() - kHeadingHeight)
        : 1.0;
    double y = kHeadingHeight;
    for (CTrendChart* chart : m_charts) {
        const double h = chart->height() * scaleY;
        painter.save();
        painter.translate(0, y);
        chart->Paint(painter, QSizeF(size.width(), h));
        painter.restore();
        y += h;
    }
}

bool CTrendDlg::ExportPng(const QString& path)
{
    const QSize size = RenderSize();
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        Render(painter, size);
    }
    return image.save(path, "PNG");
}

bool CTrendDlg::ExportSvg(const QString& path)
{
    const QSize size = RenderSize();
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(tr("トレンド"));
    svg.setDescription(PeriodText());
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    Render(painter, size);
    return painter.end() && QFileInfo(path).size() > 0;
}

bool CTrendDlg::ExportCsv(const QString& path)
{
    const bool started = m_pLoader->ExportCsv(m_beginUs, m_endUs, ToStd(path));
    ShowStatus();
    return started;
}

void CTrendDlg::OnExported(const QString& path, qint64 events, const QString& error)
{
    if (!error.isEmpty() || events < 0) {
        m_prompter.Message(TrFormat(kMsgCannotSave, {ToStd(path)}) + "\n" + ToStd(error), kAppTitle,
                           PromptIcon::Exclamation);
    } else {
        m_exportNote = tr("%1 件を %2 に書き出しました")
                           .arg(QLocale(QLocale::English).toString(events), QFileInfo(path).fileName());
    }
    ShowStatus();
    Q_EMIT CsvExported(path, events, error);
}

void CTrendDlg::ChooseAndExport(int kind)
{
    static const char* const kExtensions[] = {".png", ".svg", ".csv"};
    const QString stamp = LocalTime(m_beginUs).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::string extension = kExtensions[kind];
    const std::vector<FileFilter> filters = {kind == 0       ? FileFilter{ToStd(tr("PNG 画像 (*.png)")), "*.png"}
                                                 : kind == 1 ? FileFilter{ToStd(tr("SVG 画像 (*.svg)")), "*.svg"}
                                                             : FileFilter{ToStd(tr("CSV ファイル (*.csv)")), "*.csv"}};
    const auto path =
        m_prompter.ChooseSaveFile(ToStd(tr("書き出し")), filters, extension, "trend-" + ToStd(stamp) + extension);
    if (!path)
        return;
    const QString file = QString::fromStdString(*path);
    bool done = true;
    if (kind == 0)
        done = ExportPng(file);
    else if (kind == 1)
        done = ExportSvg(file);
    else
        done = ExportCsv(file);
    if (!done) {
        m_prompter.Message(TrFormat(kMsgCannotSave, {*path}), kAppTitle, PromptIcon::Exclamation);
    }
}

} // namespace velmora
