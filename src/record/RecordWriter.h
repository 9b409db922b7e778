#pragma once
// The run record's writer: events handed in by any thread are written to the
// database by one writer thread, in batches, at least once a second. The
// thread that hands an event in never waits for the disk.
//
// Thread contract: Append, Flush and State may be called from any thread.
// The queue is guarded by the writer's mutex; the database, the loss
// counters and the pruning belong to the writer thread alone. The report
// callback runs on the writer thread.
//
// Faults cost events, never the program: a full disk, a read-only or broken
// file or a lock held too long drops the batch, counts it, and reports one
// line; once writing works again a `gap` event says how many were lost and
// why. A file written by a newer program is left alone, and nothing is
// recorded while the program runs.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "record/RecordDatabase.h"
#include "record/RecordEvent.h"

namespace velmora {

// Where events go. The writer is one; tests and programs without a record
// use others (or none).
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // Stamps the wall-clock time when the event has none; never blocks on
    // the disk.
    virtual void Append(RecordEvent event) = 0;
};

enum class RecordState {
    Recording,
    Failing, // events are being lost; the last report says why
    Off,     // the file is a newer program's or not a record: nothing is written
};

class RecordWriter final : public RecordSink {
public:
    // Events waiting for the disk beyond this are dropped and counted: a
    // database locked for minutes must not eat the memory.
    static constexpr std::size_t kMaxQueued = 200'000;
    // How long events gather after the first before they are written: at
    // most four commits a second (a commit costs far more than the events
    // in it), and room to spare inside the second a kill may cost, for a
    // checkpoint's fsync or a busy machine. (Half a second kept the cost
    // lower but let one kill in twenty lose more than a second.)
    static constexpr Nanos kBatchWindow = std::chrono::milliseconds(250);
    // The oldest events go in steps of this many while the file is past its
    // size, one step per batch so that no commit takes long.
    static constexpr int kPruneRows = 5000;
    // The size past which the oldest events go, unless told otherwise.
    static constexpr std::int64_t kDefaultLimitBytes = 1LL << 30;
    // Between two tries to open a file that could not be opened, and
    // between two tries to write the gap of an idle program.
    static constexpr Nanos kReopenEvery = std::chrono::seconds(5);

    struct Options {
        std::string path;
        // The source of the writer's own events (gap).
        std::string source = "record";
        std::int64_t limitBytes = kDefaultLimitBytes;
        // A line for the user (stderr, the window's status): the record
        // failed, or works again. Runs on the writer thread.
        std::function<void(const std::string&)> report;
        Clock* clock = nullptr; // the steady clock when null
        Nanos reopenEvery = kReopenEvery;
        int busyTimeoutMs = RecordDatabase::kDefaultBusyTimeoutMs;
    };

    explicit RecordWriter(Options options);
    // Writes what is queued, then stops the thread.
    ~RecordWriter() override;
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Append(RecordEvent event) override;
    // Returns once every event appended before the call is written or
    // counted lost.
    void Flush();

    RecordState State() const;
    // The last report's text (empty while all is well).
    std::string LastReport() const;
    // Events written and lost since the writer started.
    std::uint64_t Written() const;
    std::uint64_t Lost() const;
    const std::string& Path() const { return m_options.path; }
    // The CPU time the writer thread has used, for the benchmarks' figures.
    double ThreadCpuSeconds() const;

private:
    void Run();
    void WriteBatch(std::vector<RecordEvent>& batch);
    bool EnsureOpen();
    void Report(const std::string& line);

    Options m_options;
    Clock& m_clock;

    mutable std::mutex m_mutex;
    std::condition_variable m_flushed;
    std::vector<RecordEvent> m_queue;
    std::uint64_t m_appended = 0; // events handed in (queued or dropped)
    std::uint64_t m_done = 0;     // of those, written or counted lost
    std::uint64_t m_dropped = 0;  // dropped at the queue, not yet in a gap event
    std::uint64_t m_written = 0;
    std::uint64_t m_lost = 0;
    bool m_bStop = false;
    bool m_bFlushAsked = false;
    RecordState m_state = RecordState::Recording;
    std::string m_lastReport;
    WakeEvent m_wake;

    // Writer thread only.
    RecordDatabase m_db;
    std::uint64_t m_unreportedLoss = 0;
    std::int64_t m_firstLossUs = 0; // when the events not yet in a gap began to be lost
    std::string m_lossReason;
    Nanos m_nextOpenTry{0};
    bool m_bOff = false;

    std::thread m_thread;
};

} // namespace velmora
