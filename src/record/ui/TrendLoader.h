#pragma once
// The trend window's reader thread: it reads the run record (TrendReader)
// for the period the window asks for, follows the record while the window
// is live, and writes CSV exports on a thread of their own, so that no query
// of a long period and no export of a day ever holds up the window.
//
// Thread contract: the requests and the signals belong to the UI thread.
// The reader thread owns the TrendReader and the builder of the period;
// what it built reaches the UI thread as a copy. A newer request cancels
// the load still running; a poll asked while one is waiting is dropped.

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <thread>

#include "record/TrendSeries.h"

namespace velmora {

class TrendBuilder;
class TrendReader;

class TrendLoader : public QObject {
    Q_OBJECT
public:
    explicit TrendLoader(std::string recordPath, QObject* parent = nullptr);
    ~TrendLoader() override;
    TrendLoader(const TrendLoader&) = delete;
    TrendLoader& operator=(const TrendLoader&) = delete;

    const std::string& RecordPath() const { return m_path; }
    // The unit whose events are read, by its port; every unit's with
    // nothing. For the requests after it.
    void SetPort(std::optional<std::string> port);

    // Reads [beginUs, endUs) thinned to `columns`; live: from beginUs on,
    // and then follows the record (Poll). Returns the request's number,
    // which its Loaded signal carries.
    quint64 Load(std::int64_t beginUs, std::int64_t endUs, int columns, bool live);
    // Live: takes in what was committed since, and moves the period on to
    // end at `nowUs`, `spanUs` long.
    void Poll(std::int64_t nowUs, std::int64_t spanUs);
    // The events of [beginUs, endUs) as CSV into `path`. False while an
    // export runs.
    bool ExportCsv(std::int64_t beginUs, std::int64_t endUs, const std::string& path);
    bool IsExporting() const { return m_bExporting; }
    // Blocks until the reader thread has nothing left to do (tests and
    // benchmarks; the window never waits).
    void WaitIdle();

Q_SIGNALS:
    // The period built for request `request`, or read on by a poll of it.
    void Loaded(quint64 request, std::shared_ptr<const TrendData> data, double seconds);
    // The record's first and last event, read when the file was opened.
    void ExtentRead(qint64 firstUs, qint64 lastUs);
    // The record could not be read; the reason.
    void Failed(const QString& reason);
    void Exported(const QString& path, qint64 events, const QString& error);

private:
    void Run();
    void Post(std::function<void()> job);

    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_bBusy = false;
    bool m_bStop = false;
    std::atomic<bool> m_cancel{false};
    quint64 m_nRequests = 0;

    // Reader thread only.
    std::unique_ptr<TrendReader> m_pReader;
    std::optional<std::string> m_port; // the reader thread's
    std::unique_ptr<TrendBuilder> m_pBuilder;
    quint64 m_nBuilderRequest = 0;
    bool m_bOpenTried = false;

    std::thread m_thread;
    std::thread m_exportThread;
    std::atomic<bool> m_bExporting{false};
    std::atomic<bool> m_cancelExport{false};
};

} // namespace velmora
