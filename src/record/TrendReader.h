#pragma once
// Reads the run record for the trend: the state a period starts in and the
// period's events into a TrendBuilder, the events committed since (live),
// the record's extent, and the period's events as CSV.
//
// A period's query reads only the columns the trend needs, straight from
// the rows into the builder, so that a day of one channel (1.75 million
// settings events) is read in one pass without an event object per row.
// The file is mapped into memory: a long query reads its pages without a
// system call each. A period whose columns are a minute or wider reads a
// channel's settings through the record's summary of each minute (the
// minute's first, lowest, highest and last events: what the thinning would
// keep of it), and every event of a minute in which the output went off or
// on or its range or unit changed.
//
// The state before the period: each channel's last settings event (its
// level and whether its output was on) and the last connection event are
// found through the indexes at once. The last alarm and automatic-output
// event of a channel have no index of their own: a first load looks for
// them among the channel's last kLookBackRows events before the period (a
// quarter of an hour of both channels stepping every 0.1 s, days of a
// calmer unit) and says when it did not find them there (StateComplete).
// (A record written by this program has an index of the events other than
// settings, through which the last of each kind is found at once; the
// look-back is for an older record not yet opened for writing.)
// StateBeforeMatters then goes back as far as it takes (a second or more on
// a long record of busy channels) and says whether an alarm was still
// raised or a run still going at the period's begin, which a load with
// `exactState` shows. Meanwhile the
// period's own events tell much: an alarm cleared in it was raised before
// it, a run paused or stopped in it ran before it, a level the automatic
// output changed shows it running.
//
// Thread contract: one thread at a time (the trend's reader thread), with a
// read-only connection of its own; a writer in this or another program
// goes on meanwhile (WAL).

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "record/RecordDatabase.h"
#include "record/TrendSeries.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

class TrendReader {
public:
    static constexpr std::int64_t kLookBackRows = 20'000;

    // `lookBackRows`: how far back before a period the last alarm and
    // automatic-output event of a channel are looked for.
    explicit TrendReader(std::int64_t lookBackRows = kLookBackRows) : m_lookBackRows(lookBackRows) { }
    ~TrendReader();
    TrendReader(const TrendReader&) = delete;
    TrendReader& operator=(const TrendReader&) = delete;

    RecordOpenResult Open(const std::string& path);
    // The unit whose events are read, by its port (several may record into
    // one file), with the events that name no port; every unit's with
    // nothing.
    void SetPort(std::optional<std::string> port) { m_port = std::move(port); }
    const std::optional<std::string>& Port() const { return m_port; }
    bool IsOpen() const { return m_db != nullptr; }
    void Close();
    const std::string& LastError() const { return m_error; }

    // Reads the state before the builder's period and the period's events
    // (with `channel`, only that channel's and the connection events). With
    // `live` the period has no end: every event from its begin on is read,
    // and the builder's last seq is the file's newest, so that ReadNewer
    // misses nothing committed after. False when the query failed or
    // `cancel` became true (the builder is then incomplete).
    bool Load(TrendBuilder& builder, std::optional<int> channel = std::nullopt, bool live = false,
              const std::atomic<bool>* cancel = nullptr, bool exactState = false);
    // Whether the last Load knows every channel's alarm and automatic
    // output before its period: found, or no record behind the horizon.
    bool StateComplete() const { return m_bStateComplete; }
    // When it does not: whether going back further finds an alarm still
    // raised or an automatic output still running at the period's begin,
    // which a load with `exactState` would show.
    bool StateBeforeMatters();
    // Takes in the events committed after the builder's last seq.
    bool ReadNewer(TrendBuilder& builder);

    // The times of the record's first and last events; nothing when empty.
    struct Extent {
        std::int64_t firstUs = 0;
        std::int64_t lastUs = 0;
    };
    std::optional<Extent> ReadExtent();

private:
    bool Fail(const char* what);
    // The period's events of a long period, each channel's settings taken
    // from settings_minute where a minute is no wider than a column.
    // Every event of the period.
    bool ReadEvery(TrendBuilder& builder, std::optional<int> channel, bool live, const std::atomic<bool>* cancel);
    bool ReadSummarized(TrendBuilder& builder, std::optional<int> channel, bool live, const std::atomic<bool>* cancel);

    std::int64_t m_lookBackRows;
    // The file has the summary and the index of the events that are not
    // settings (a record a newer program has opened for writing).
    bool m_bSummary = false;
    bool m_bStateComplete = true;
    // Per channel: the alarm, the automatic output not found before the
    // last Load's period.
    std::array<std::array<bool, 2>, kTrendChannels> m_unseen{};
    std::int64_t m_stateBeginUs = 0;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_newer = nullptr;
    std::optional<std::string> m_port;
    std::string m_error;
};

// Writes every event of [beginUs, endUs) in time order, in the record's CSV
// format (RecordCsvHeader, RecordCsvRow), to `path` as a file is saved
// (AtomicFileWriter): a failed or cancelled export leaves no half file, a
// link stays a link and a replaced file keeps its mode. The number of events written, or nothing (the
// reason in `error`).
std::optional<std::int64_t> ExportRecordCsv(RecordDatabase& db, std::int64_t beginUs, std::int64_t endUs,
                                            const std::string& path, std::string& error,
                                            const std::atomic<bool>* cancel = nullptr);

} // namespace velmora
