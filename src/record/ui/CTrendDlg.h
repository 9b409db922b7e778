#pragma once
// The trend window (表示 › トレンド): every channel's output from the run
// record over time, one strip a channel on one time axis, live over the
// last ten minutes by default and following the record as it is written,
// or any earlier period by zoom and scroll; the shown period exported as a
// PNG or SVG picture or as the record's CSV.
//
//     auto* trend = new CTrendDlg(recordPath, prompter, mainFrame);
//     trend->show(); // live over the last 10 minutes
//
// A non-modal window of its own. It never waits for the record: the reader
// thread (TrendLoader) reads each period, a newer request cancelling an
// older one, and polls once a second while live; a CSV export runs on a
// thread of its own.
//
// Thread contract: UI thread only.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "record/TrendSeries.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPainter;
class QPushButton;
class QScrollBar;
class QTimer;
class QToolButton;
class QVBoxLayout;

namespace velmora {

class CTrendChart;
class Prompter;
class TrendLoader;

class CTrendDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr std::int64_t kDefaultSpanUs = 600'000'000; // 10 minutes
    static constexpr std::int64_t kShortestSpanUs = 1'000'000;
    static constexpr std::int64_t kLongestSpanUs = 31LL * 86'400'000'000LL;
    static constexpr int kPollMs = 1000;

    CTrendDlg(const std::string& recordPath, Prompter& prompter, QWidget* parent = nullptr);
    ~CTrendDlg() override;

    // The unit shown, by its port: several units may record into one file
    // and each has its channel 1. Empty shows every unit's events.
    void SetPort(const std::string& port);
    // Live: the last `spanUs` up to now, following the record.
    void ShowLive(std::int64_t spanUs = kDefaultSpanUs);
    // A fixed period.
    void ShowPeriod(std::int64_t beginUs, std::int64_t endUs);
    bool IsLive() const { return m_bLive; }
    std::int64_t BeginUs() const { return m_beginUs; }
    std::int64_t EndUs() const { return m_endUs; }

    // The shown period as a picture: the strips under a heading that names
    // the period. False when the file cannot be written.
    bool ExportPng(const QString& path);
    bool ExportSvg(const QString& path);
    // The shown period's events as CSV, on the export thread; CsvExported
    // tells how it went. False while another export runs.
    bool ExportCsv(const QString& path);
    // The picture the exports draw, at `size`.
    void Render(QPainter& painter, const QSize& size);
    QSize RenderSize() const;

    // For tests and benchmarks.
    TrendLoader& Loader() { return *m_pLoader; }
    const TrendData* Data() const { return m_pData.get(); }
    std::vector<CTrendChart*> Charts() const { return m_charts; }
    QString StatusText() const;
    // The live poll, as the timer runs it.
    void PollNow();

Q_SIGNALS:
    // A load's or a poll's data is on the strips.
    void DataShown();
    void CsvExported(const QString& path, qint64 events, const QString& error);

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void Retranslate();
    void Request();
    void OnResized();
    void OnLoaded(quint64 request, const std::shared_ptr<const TrendData>& data, double seconds);
    void OnExtent(qint64 firstUs, qint64 lastUs);
    void OnFailed(const QString& reason);
    void OnExported(const QString& path, qint64 events, const QString& error);
    void OnZoom(qint64 beginUs, qint64 endUs);
    void OnScroll(qint64 deltaUs, bool finished);
    void OnSpanChosen(int index);
    void OnStartEdited();
    void OnScrollBar(int value);
    void OnLiveToggled(bool on);
    void ZoomBy(double factor);
    void SetPeriod(std::int64_t beginUs, std::int64_t endUs, bool live);
    void ShowPeriodOnStrips();
    void SyncStrips(const TrendData& data);
    void ShowStatus();
    void SyncControls();
    void ChooseAndExport(int kind);
    int Columns() const;
    QString PeriodText() const;

    Prompter& m_prompter;
    std::unique_ptr<TrendLoader> m_pLoader;
    std::shared_ptr<const TrendData> m_pData;
    quint64 m_nRequest = 0;
    bool m_bLive = true;
    std::int64_t m_beginUs = 0;
    std::int64_t m_endUs = 0;
    std::int64_t m_spanUs = kDefaultSpanUs;
    std::optional<std::pair<std::int64_t, std::int64_t>> m_extent;
    std::optional<std::pair<std::int64_t, std::int64_t>> m_scrollBase;
    QString m_failure;
    QString m_exportNote;
    std::string m_strPort;
    double m_loadSeconds = 0.0;
    bool m_bLoading = false;

    QPushButton* m_pLive = nullptr;
    QLabel* m_pSpanLabel = nullptr;
    QComboBox* m_pSpan = nullptr;
    QLabel* m_pStartLabel = nullptr;
    QDateTimeEdit* m_pStart = nullptr;
    QToolButton* m_pZoomOut = nullptr;
    QToolButton* m_pZoomIn = nullptr;
    QPushButton* m_pExport = nullptr;
    QWidget* m_pStrips = nullptr;
    QVBoxLayout* m_pStripLayout = nullptr;
    QLabel* m_pEmpty = nullptr;
    QScrollBar* m_pScroll = nullptr;
    QLabel* m_pStatus = nullptr;
    QLabel* m_pHint = nullptr;
    QTimer* m_pPoll = nullptr;
    QTimer* m_pResized = nullptr;
    int m_nColumns = 0;
    std::vector<CTrendChart*> m_charts;
    bool m_bSyncing = false;
};

} // namespace velmora
