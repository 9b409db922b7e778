#include "record/RecordWriter.h"

#include <pthread.h>
#include <time.h>

#include "platform/Translate.h"

namespace velmora {

namespace {

// The writer's longest idle wait; it wakes for events long before.
constexpr Nanos kIdleWait = std::chrono::hours(1);

} // namespace

RecordWriter::RecordWriter(Options options)
    : m_options(std::move(options)),
      m_clock(m_options.clock != nullptr ? *m_options.clock : SteadyClock())
{
    m_db.SetBusyTimeout(m_options.busyTimeoutMs);
    m_thread = std::thread([this] { Run(); });
}

RecordWriter::~RecordWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.Signal();
    m_thread.join();
}

void RecordWriter::Append(RecordEvent event)
{
    if (event.timeUs == 0)
        event.timeUs = WallClockMicros();
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_appended;
        if (m_state == RecordState::Off) {
            ++m_done;
            return;
        }
        if (m_queue.size() >= kMaxQueued) {
            ++m_dropped;
            ++m_lost;
            ++m_done;
            return;
        }
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(event));
    }
    if (wasEmpty)
        m_wake.Signal();
}

void RecordWriter::Flush()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_appended;
    if (m_done >= target)
        return;
    m_bFlushAsked = true;
    lock.unlock();
    m_wake.Signal();
    lock.lock();
    m_flushed.wait(lock, [&] { return m_done >= target; });
}

RecordState RecordWriter::State() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

std::string RecordWriter::LastReport() const
{
    std::lock_guard lock(m_mutex);
    return m_lastReport;
}

std::uint64_t RecordWriter::Written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::uint64_t RecordWriter::Lost() const
{
    std::lock_guard lock(m_mutex);
    return m_lost;
}

double RecordWriter::ThreadCpuSeconds() const
{
    clockid_t id{};
    timespec ts{};
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the handle is only read
    if (pthread_getcpuclockid(const_cast<std::thread&>(m_thread).native_handle(), &id) != 0 ||
        clock_gettime(id, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void RecordWriter::Report(const std::string& line)
{
    {
        std::lock_guard lock(m_mutex);
        m_lastReport = line;
    }
    if (m_options.report)
        m_options.report(line);
}

void RecordWriter::Run()
{
    std::vector<RecordEvent> batch;
    for (;;) {
        std::unique_lock lock(m_mutex);
        while (m_queue.empty() && !m_bStop) {
            // Events were lost and nothing new came: the gap is written as
            // soon as the file takes it, not only with the next event.
            const bool gapWaits = m_unreportedLoss != 0 && !m_bOff;
            lock.unlock();
            const bool woken = m_clock.WaitUntil(m_wake, m_clock.Now() + (gapWaits ? kReopenEvery : kIdleWait));
            lock.lock();
            if (!woken && gapWaits && m_queue.empty())
                break;
        }
        if (m_queue.empty() && m_bStop)
            break;
        // Let the batch gather, unless someone waits for it.
        if (!m_queue.empty() && !m_bStop && !m_bFlushAsked) {
            lock.unlock();
            m_clock.WaitUntil(m_wake, m_clock.Now() + kBatchWindow);
            lock.lock();
        }
        batch.clear();
        batch.swap(m_queue);
        const std::uint64_t dropped = m_dropped;
        m_dropped = 0;
        m_bFlushAsked = false;
        lock.unlock();

        if (dropped != 0) {
            if (m_unreportedLoss == 0)
                m_firstLossUs = WallClockMicros();
            m_unreportedLoss += dropped;
            m_lossReason = Tr(N_("too many events waited for the disk"));
        }
        WriteBatch(batch);

        lock.lock();
        m_done += batch.size();
        lock.unlock();
        m_flushed.notify_all();
    }
    m_db.Close();
}

bool RecordWriter::EnsureOpen()
{
    if (m_db.IsOpen())
        return true;
    if (m_clock.Now() < m_nextOpenTry)
        return false;
    const auto result = m_db.OpenForWriting(m_options.path);
    if (result == RecordOpenResult::Ok)
        return true;
    m_nextOpenTry = m_clock.Now() + m_options.reopenEvery;
    if (result == RecordOpenResult::NewerSchema || result == RecordOpenResult::NotARecord) {
        // Never write into a file this program does not understand.
        m_bOff = true;
        {
            std::lock_guard lock(m_mutex);
            m_state = RecordState::Off;
        }
        if (result == RecordOpenResult::NewerSchema)
            Report(TrFormat(N_("the run record %1 has schema version %2, newer than this program knows (%3): "
                               "running without a record"),
                            {m_options.path, std::to_string(m_db.FoundSchemaVersion()),
                             std::to_string(RecordDatabase::kSchemaVersion)}));
        else
            Report(TrFormat(N_("%1 is not a run record (%2): running without a record"),
                            {m_options.path, m_db.LastError()}));
        return false;
    }
    m_lossReason = m_db.LastError();
    return false;
}

void RecordWriter::WriteBatch(std::vector<RecordEvent>& batch)
{
    const auto lose = [&](const std::string& why) {
        if (m_unreportedLoss == 0 && !batch.empty())
            m_firstLossUs = batch.front().timeUs;
        m_unreportedLoss += batch.size();
        m_lossReason = why;
        bool first = false;
        {
            std::lock_guard lock(m_mutex);
            m_lost += batch.size();
            first = m_state == RecordState::Recording;
            if (first)
                m_state = RecordState::Failing;
        }
        // One line when the trouble starts, not one a batch.
        if (first)
            Report(
                TrFormat(N_("the run record %1 cannot be written (%2): events are being lost"), {m_options.path, why}));
    };

    if (m_bOff) {
        std::lock_guard lock(m_mutex);
        m_lost += batch.size();
        return;
    }
    if (!EnsureOpen()) {
        if (m_bOff) {
            std::lock_guard lock(m_mutex);
            m_lost += batch.size();
            return;
        }
        lose(m_lossReason.empty() ? m_db.LastError() : m_lossReason);
        return;
    }

    const std::uint64_t lossBefore = m_unreportedLoss;
    if (lossBefore == 0 && batch.empty())
        return;
    if (lossBefore != 0) {
        // Stamped when the loss began: the record's reader sees where its
        // hole is, not when the writing came back.
        RecordEvent gap;
        gap.timeUs = m_firstLossUs != 0 ? m_firstLossUs : WallClockMicros();
        gap.source = m_options.source;
        gap.kind = std::string(record_kind::kGap);
        gap.Set(RecordField::Count, RecordValue(static_cast<std::int64_t>(lossBefore)));
        gap.Set(RecordField::Text, RecordValue(m_lossReason));
        batch.insert(batch.begin(), std::move(gap));
    }
    if (!m_db.Append(batch)) {
        if (lossBefore != 0)
            batch.erase(batch.begin());
        const std::string why = m_db.LastError();
        // The file may have gone or been replaced: open it afresh later.
        m_db.Close();
        m_nextOpenTry = m_clock.Now() + m_options.reopenEvery;
        lose(why);
        return;
    }
    bool recovered = false;
    {
        std::lock_guard lock(m_mutex);
        m_written += batch.size() - (lossBefore != 0 ? 1 : 0);
        recovered = m_state == RecordState::Failing;
        m_state = RecordState::Recording;
    }
    if (lossBefore != 0) {
        batch.erase(batch.begin());
        m_unreportedLoss = 0;
    }
    if (recovered)
        Report(TrFormat(N_("the run record %1 is written again; %2 events were lost"),
                        {m_options.path, std::to_string(lossBefore)}));

    // Pruning: a step a batch while the file is past its size. Looking
    // costs three page counts, nothing beside a commit.
    m_db.PruneStep(m_options.limitBytes, kPruneRows);
}

} // namespace velmora
