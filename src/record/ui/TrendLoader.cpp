#include "record/ui/TrendLoader.h"

#include <QMetaObject>

#include <chrono>

#include "record/RecordDatabase.h"
#include "record/TrendReader.h"

namespace velmora {

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TrendLoader::TrendLoader(std::string recordPath, QObject* parent)
    : QObject(parent),
      m_path(std::move(recordPath)),
      m_thread([this] { Run(); })
{
}

TrendLoader::~TrendLoader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_jobs.clear();
    }
    m_cancel = true;
    m_cancelExport = true;
    m_wake.notify_all();
    m_thread.join();
    if (m_exportThread.joinable())
        m_exportThread.join();
}

void TrendLoader::Post(std::function<void()> job)
{
    {
        // Whatever waits or runs was for a period no longer wanted.
        const std::lock_guard lock(m_mutex);
        m_jobs.clear();
        if (m_bBusy)
            m_cancel = true;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void TrendLoader::Run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_bBusy = false;
            m_idle.notify_all();
            m_wake.wait(lock, [this] { return m_bStop || !m_jobs.empty(); });
            if (m_bStop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_bBusy = true;
        }
        if (!m_pReader) {
            auto reader = std::make_unique<TrendReader>();
            reader->SetPort(m_port);
            if (reader->Open(m_path) == RecordOpenResult::Ok) {
                m_pReader = std::move(reader);
            } else if (!m_bOpenTried) {
                // Said once: a record not written yet appears with the
                // first event, and the next request opens it.
                const QString why = QString::fromStdString(reader->LastError());
                QMetaObject::invokeMethod(
                    this, [this, why] { Q_EMIT Failed(why); }, Qt::QueuedConnection);
            }
            m_bOpenTried = true;
        }
        if (m_pReader)
            job();
    }
}

void TrendLoader::SetPort(std::optional<std::string> port)
{
    Post([this, port = std::move(port)] {
        m_port = port;
        if (m_pReader)
            m_pReader->SetPort(m_port);
    });
}

quint64 TrendLoader::Load(std::int64_t beginUs, std::int64_t endUs, int columns, bool live)
{
    const quint64 request = ++m_nRequests;
    Post([this, request, beginUs, endUs, columns, live] {
        m_cancel = false;
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t bucket = TrendBuilder::BucketFor(endUs - beginUs, columns);
        // First with the state before the period looked for nearby; when
        // that did not find it, once more going back as far as it takes.
        for (const bool exactState : {false, true}) {
            auto builder = std::make_unique<TrendBuilder>(beginUs, endUs, bucket);
            if (!m_pReader->Load(*builder, std::nullopt, live, &m_cancel, exactState)) {
                if (m_cancel)
                    return;
                const QString why = QString::fromStdString(m_pReader->LastError());
                QMetaObject::invokeMethod(
                    this, [this, why] { Q_EMIT Failed(why); }, Qt::QueuedConnection);
                return;
            }
            if (live)
                builder->ExtendTo(endUs);
            auto data = std::make_shared<const TrendData>(builder->Result());
            m_pBuilder = live ? std::move(builder) : nullptr;
            m_nBuilderRequest = request;
            const double seconds = SecondsSince(start);
            const auto extent = m_pReader->ReadExtent();
            QMetaObject::invokeMethod(
                this,
                [this, request, data, seconds, extent] {
                    if (extent)
                        Q_EMIT ExtentRead(extent->firstUs, extent->lastUs);
                    Q_EMIT Loaded(request, data, seconds);
                },
                Qt::QueuedConnection);
            if (exactState || m_pReader->StateComplete() || m_cancel || !m_pReader->StateBeforeMatters())
                return;
        }
    });
    return request;
}

void TrendLoader::Poll(std::int64_t nowUs, std::int64_t spanUs)
{
    {
        // A poll behind another request adds nothing that request does not.
        const std::lock_guard lock(m_mutex);
        if (!m_jobs.empty())
            return;
        m_jobs.emplace_back([this, nowUs, spanUs] {
            if (!m_pBuilder)
                return;
            const auto start = std::chrono::steady_clock::now();
            if (!m_pReader->ReadNewer(*m_pBuilder)) {
                const QString why = QString::fromStdString(m_pReader->LastError());
                QMetaObject::invokeMethod(
                    this, [this, why] { Q_EMIT Failed(why); }, Qt::QueuedConnection);
                return;
            }
            m_pBuilder->ExtendTo(nowUs);
            m_pBuilder->MoveBeginTo(nowUs - spanUs);
            auto data = std::make_shared<const TrendData>(m_pBuilder->Result());
            const quint64 request = m_nBuilderRequest;
            const double seconds = SecondsSince(start);
            QMetaObject::invokeMethod(
                this, [this, request, data, seconds] { Q_EMIT Loaded(request, data, seconds); }, Qt::QueuedConnection);
        });
    }
    m_wake.notify_one();
}

bool TrendLoader::ExportCsv(std::int64_t beginUs, std::int64_t endUs, const std::string& path)
{
    if (m_bExporting)
        return false;
    if (m_exportThread.joinable())
        m_exportThread.join();
    m_bExporting = true;
    m_cancelExport = false;
    m_exportThread = std::thread([this, beginUs, endUs, path] {
        RecordDatabase db;
        std::string error;
        std::optional<std::int64_t> rows;
        if (db.OpenForReading(m_path) != RecordOpenResult::Ok)
            error = db.LastError();
        else
            rows = ExportRecordCsv(db, beginUs, endUs, path, error, &m_cancelExport);
        const QString file = QString::fromStdString(path);
        const QString why = QString::fromStdString(error);
        const qint64 count = rows.value_or(-1);
        m_bExporting = false;
        QMetaObject::invokeMethod(
            this, [this, file, count, why] { Q_EMIT Exported(file, count, why); }, Qt::QueuedConnection);
    });
    return true;
}

void TrendLoader::WaitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_bBusy && m_jobs.empty(); });
}

} // namespace velmora
