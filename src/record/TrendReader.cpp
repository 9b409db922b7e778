#include "record/TrendReader.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "platform/AtomicFile.h"
#include "record/RecordFormat.h"

namespace velmora {

namespace {

constexpr const char* kColumns =
    R"(seq, time_us, source, kind, "channel", "range", "value", "unit", "eng", "on", "raised", "text", "action", "mode")";
constexpr const char* kTrendKinds = "kind IN ('settings','alarm','auto','connect','disconnect','lost')";
constexpr const char* kConnectionKinds = "kind IN ('connect','disconnect','lost')";
// Only the events of the unit the reader is set to (?20), and those that
// name no port; every unit's while it is set to none.
// The port is parameter 20 of every statement, after the numbered ones
// whatever the order of the text.
constexpr int kPortParam = 20;
constexpr const char* kPortFilter = R"(("port" IS NULL OR ?20 IS NULL OR "port" = ?20))";
constexpr const char* kMinutePortFilter = R"(("port" = '' OR ?20 IS NULL OR "port" = ?20))";
// Mapped, a long query reads the file's pages without a read() each.
constexpr std::int64_t kMapBytes = std::int64_t{1} << 32;
// A long query looks at its cancel flag this often (rows).
constexpr int kCancelEvery = 4096;

std::string_view TextColumn(sqlite3_stmt* st, int col)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return p != nullptr ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st, col)))
                        : std::string_view();
}

// The row's fields; the texts point into the statement's row.
TrendInput InputOf(sqlite3_stmt* st)
{
    TrendInput in;
    in.seq = sqlite3_column_int64(st, 0);
    in.timeUs = sqlite3_column_int64(st, 1);
    in.fromAuto = TextColumn(st, 2) == "auto";
    in.kind = TrendInput::KindOf(TextColumn(st, 3));
    if (sqlite3_column_type(st, 4) != SQLITE_NULL)
        in.channel = sqlite3_column_int(st, 4);
    if (in.kind == TrendInput::Kind::Settings) {
        in.range = TextColumn(st, 5);
        if (sqlite3_column_type(st, 6) != SQLITE_NULL) {
            in.hasValue = true;
            in.value = sqlite3_column_double(st, 6);
        }
        in.unit = TextColumn(st, 7);
        if (sqlite3_column_type(st, 8) != SQLITE_NULL) {
            in.hasEng = true;
            in.eng = sqlite3_column_double(st, 8);
        }
        if (sqlite3_column_type(st, 9) != SQLITE_NULL)
            in.on = sqlite3_column_int(st, 9) != 0;
    } else {
        in.raised = sqlite3_column_int(st, 10) != 0;
        in.text = TextColumn(st, 11);
        in.action = TextColumn(st, 12);
        in.mode = TextColumn(st, 13);
    }
    return in;
}

// An event kept until its turn comes: its texts owned.
struct HeldEvent {
    TrendInput input;
    std::string unit, range, text, action, mode;

    explicit HeldEvent(const TrendInput& in)
        : input(in),
          unit(in.unit),
          range(in.range),
          text(in.text),
          action(in.action),
          mode(in.mode)
    {
    }
    TrendInput Input() const
    {
        TrendInput in = input;
        in.unit = unit;
        in.range = range;
        in.text = text;
        in.action = action;
        in.mode = mode;
        return in;
    }
    bool Before(std::int64_t timeUs, std::int64_t seq) const
    {
        return input.timeUs < timeUs || (input.timeUs == timeUs && input.seq < seq);
    }
};

void BindPort(sqlite3_stmt* st, const std::optional<std::string>& port)
{
    if (sqlite3_bind_parameter_count(st) < kPortParam)
        return;
    if (port)
        sqlite3_bind_text(st, kPortParam, port->data(), static_cast<int>(port->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(st, kPortParam);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b)
{
    return -FloorDiv(-a, b);
}

// A statement of the reader's, with the unit it reads (?20) bound.
class Statement {
public:
    Statement(sqlite3* db, const std::optional<std::string>& port, const std::string& sql)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_st, nullptr) != SQLITE_OK) {
            m_st = nullptr;
            return;
        }
        BindPort(m_st, port);
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_st; }
    explicit operator bool() const { return m_st != nullptr; }

private:
    sqlite3_stmt* m_st = nullptr;
};

} // namespace

TrendReader::~TrendReader()
{
    Close();
}

void TrendReader::Close()
{
    sqlite3_finalize(m_newer);
    m_newer = nullptr;
    if (m_db != nullptr) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool TrendReader::Fail(const char* what)
{
    m_error = std::string(what) + ": " + (m_db != nullptr ? sqlite3_errmsg(m_db) : "no database");
    return false;
}

RecordOpenResult TrendReader::Open(const std::string& path)
{
    Close();
    // The record's own checks: a file that is no record, or a newer
    // program's, is refused the same way everywhere.
    {
        RecordDatabase check;
        const RecordOpenResult r = check.OpenForReading(path);
        if (r != RecordOpenResult::Ok) {
            m_error = check.LastError();
            return r;
        }
    }
    if (RecordDatabase::OpenReadOnly(path, &m_db) != SQLITE_OK) {
        Fail(path.c_str());
        Close();
        return RecordOpenResult::CannotOpen;
    }
    sqlite3_busy_timeout(m_db, 2000);
    {
        Statement version(m_db, m_port, "PRAGMA user_version");
        m_bSummary = version && sqlite3_step(version.get()) == SQLITE_ROW && sqlite3_column_int(version.get(), 0) >= 2;
    }
    const std::string map = "PRAGMA mmap_size=" + std::to_string(kMapBytes);
    sqlite3_exec(m_db, map.c_str(), nullptr, nullptr, nullptr);
    return RecordOpenResult::Ok;
}

bool TrendReader::Load(TrendBuilder& builder, std::optional<int> channel, bool live, const std::atomic<bool>* cancel,
                       bool exactState)
{
    if (m_db == nullptr)
        return Fail("load");
    m_bStateComplete = true;
    m_unseen = {};
    m_stateBeginUs = builder.BeginUs();
    const std::int64_t begin = builder.BeginUs();
    // One snapshot for every query, so that the newest seq noted is that of
    // what was read.
    if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Fail("begin");
    struct Commit {
        sqlite3* db;
        ~Commit() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } commit{m_db};

    std::vector<HeldEvent> before;
    const auto readAll = [&](Statement& st, std::vector<HeldEvent>& into, int max) {
        int rc = SQLITE_ROW;
        int n = 0;
        while (n < max && (rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            into.emplace_back(InputOf(st.get()));
            ++n;
        }
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    };

    // The state the period starts in.
    {
        Statement last(m_db, m_port,
                       std::string("SELECT ") + kColumns +
                           R"( FROM event WHERE "channel" = ?1 AND time_us < ?2 AND kind = 'settings' AND )" +
                           kPortFilter + " ORDER BY time_us DESC, seq DESC LIMIT 1");
        // The horizon's rows are looked at by their kind alone; the few that
        // matter are read whole.
        Statement lookBack(m_db, m_port,
                           std::string("SELECT ") + kColumns +
                               " FROM event WHERE seq IN (SELECT seq FROM (SELECT seq, kind FROM event"
                               R"( WHERE "channel" = ?1 AND time_us < ?2 ORDER BY time_us DESC, seq DESC LIMIT ?3))"
                               " WHERE kind IN ('alarm','auto')) AND " +
                               kPortFilter + " ORDER BY time_us DESC, seq DESC");
        Statement lastOf(m_db, m_port,
                         std::string("SELECT ") + kColumns +
                             R"( FROM event WHERE "channel" = ?1 AND time_us < ?2 AND kind <> 'settings')"
                             " AND kind = ?3 AND " +
                             kPortFilter + " ORDER BY time_us DESC, seq DESC LIMIT 1");
        Statement beyond(m_db, m_port,
                         R"(SELECT 1 FROM event WHERE "channel" = ?1 AND time_us < ?2)"
                         " ORDER BY time_us DESC, seq DESC LIMIT 1 OFFSET ?3");
        Statement connection(m_db, m_port,
                             std::string("SELECT ") + kColumns +
                                 R"( FROM event WHERE "channel" IS NULL AND time_us < ?1 AND )" + kConnectionKinds +
                                 " AND " + kPortFilter + " ORDER BY time_us DESC, seq DESC LIMIT 1");
        if (!last || !lookBack || !lastOf || !beyond || !connection)
            return Fail("prepare");
        for (int c = 1; c <= kTrendChannels; ++c) {
            if (channel && *channel != c)
                continue;
            sqlite3_bind_int(last.get(), 1, c);
            sqlite3_bind_int64(last.get(), 2, begin);
            if (!readAll(last, before, 1))
                return Fail("state");
            sqlite3_reset(last.get());
            if (exactState || m_bSummary) {
                // Back as far as it takes: through the index, a row's kind
                // at a time, until the last of each kind.
                for (const char* kind : {"alarm", "auto"}) {
                    sqlite3_bind_int(lastOf.get(), 1, c);
                    sqlite3_bind_int64(lastOf.get(), 2, begin);
                    sqlite3_bind_text(lastOf.get(), 3, kind, -1, SQLITE_STATIC);
                    if (!readAll(lastOf, before, 1))
                        return Fail("state");
                    sqlite3_reset(lastOf.get());
                }
                continue;
            }
            sqlite3_bind_int(lookBack.get(), 1, c);
            sqlite3_bind_int64(lookBack.get(), 2, begin);
            sqlite3_bind_int64(lookBack.get(), 3, m_lookBackRows);
            bool alarm = false;
            bool automatic = false;
            int rc = SQLITE_ROW;
            while ((!alarm || !automatic) && (rc = sqlite3_step(lookBack.get())) == SQLITE_ROW) {
                const TrendInput in = InputOf(lookBack.get());
                bool& found = in.kind == TrendInput::Kind::Alarm ? alarm : automatic;
                if (!found)
                    before.emplace_back(in);
                found = true;
            }
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return Fail("state");
            sqlite3_reset(lookBack.get());
            if (alarm && automatic)
                continue;
            // Not found within the horizon: is there more record behind it?
            sqlite3_bind_int(beyond.get(), 1, c);
            sqlite3_bind_int64(beyond.get(), 2, begin);
            sqlite3_bind_int64(beyond.get(), 3, m_lookBackRows);
            rc = sqlite3_step(beyond.get());
            if (rc == SQLITE_ROW) {
                m_bStateComplete = false;
                m_unseen[static_cast<std::size_t>(c - 1)] = {!alarm, !automatic};
            } else if (rc != SQLITE_DONE) {
                return Fail("state");
            }
            sqlite3_reset(beyond.get());
        }
        sqlite3_bind_int64(connection.get(), 1, begin);
        if (!readAll(connection, before, 1))
            return Fail("state");
    }
    std::sort(before.begin(), before.end(),
              [](const HeldEvent& a, const HeldEvent& b) { return a.Before(b.input.timeUs, b.input.seq); });
    for (const HeldEvent& e : before)
        builder.Add(e.Input());

    if (m_bSummary && builder.BucketUs() >= kSummaryMinuteUs) {
        if (!ReadSummarized(builder, channel, live, cancel))
            return false;
    } else if (!ReadEvery(builder, channel, live, cancel)) {
        return false;
    }
    if (live) {
        Statement newest(m_db, m_port, "SELECT max(seq) FROM event");
        if (!newest || sqlite3_step(newest.get()) != SQLITE_ROW)
            return Fail("query");
        builder.NoteSeq(sqlite3_column_int64(newest.get(), 0));
    }
    return true;
}

bool TrendReader::ReadEvery(TrendBuilder& builder, std::optional<int> channel, bool live,
                            const std::atomic<bool>* cancel)
{
    const std::int64_t begin = builder.BeginUs();
    const std::int64_t end = builder.EndUs();
    const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
    const auto readAll = [&](Statement& st, std::vector<HeldEvent>& into) {
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            into.emplace_back(InputOf(st.get()));
        return rc == SQLITE_DONE;
    };
    // With one channel its rows come through its index; the connection
    // events, which have no channel, are read first and merged in by time.
    std::vector<HeldEvent> connections;
    std::string where = std::string(" WHERE ") + kPortFilter + " AND time_us >= ?1";
    if (!live)
        where += " AND time_us < ?2";
    if (channel) {
        Statement st(m_db, m_port,
                     std::string("SELECT ") + kColumns + R"( FROM event)" + where + R"( AND "channel" IS NULL AND )" +
                         kConnectionKinds + " ORDER BY time_us, seq");
        if (!st)
            return Fail("prepare");
        sqlite3_bind_int64(st.get(), 1, begin);
        if (!live)
            sqlite3_bind_int64(st.get(), 2, end);
        if (!readAll(st, connections))
            return Fail("query");
        where += R"( AND "channel" = ?3)";
    }
    Statement st(m_db, m_port,
                 std::string("SELECT ") + kColumns + " FROM event" + where + " AND " + kTrendKinds +
                     " ORDER BY time_us, seq");
    if (!st)
        return Fail("prepare");
    sqlite3_bind_int64(st.get(), 1, begin);
    if (!live)
        sqlite3_bind_int64(st.get(), 2, end);
    if (channel)
        sqlite3_bind_int(st.get(), 3, *channel);
    std::size_t nextConnection = 0;
    int rc = SQLITE_ROW;
    int untilCheck = kCancelEvery;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const TrendInput in = InputOf(st.get());
        while (nextConnection < connections.size() && connections[nextConnection].Before(in.timeUs, in.seq))
            builder.Add(connections[nextConnection++].Input());
        builder.Add(in);
        if (--untilCheck == 0) {
            untilCheck = kCancelEvery;
            if (cancelled()) {
                m_error = "cancelled";
                return false;
            }
        }
    }
    if (rc != SQLITE_DONE)
        return Fail("query");
    while (nextConnection < connections.size())
        builder.Add(connections[nextConnection++].Input());
    return true;
}

bool TrendReader::ReadSummarized(TrendBuilder& builder, std::optional<int> channel, bool live,
                                 const std::atomic<bool>* cancel)
{
    const std::int64_t begin = builder.BeginUs();
    const std::int64_t end = builder.EndUs();
    // The minutes wholly inside the period come from the summary; the parts
    // of a minute at either end are read event by event.
    const std::int64_t firstMinute = CeilDiv(begin, kSummaryMinuteUs);
    const std::int64_t endMinute =
        live ? std::numeric_limits<std::int64_t>::max() : std::max(firstMinute, FloorDiv(end, kSummaryMinuteUs));
    const std::int64_t headEnd = live ? firstMinute * kSummaryMinuteUs : std::min(end, firstMinute * kSummaryMinuteUs);

    Statement connections(m_db, m_port,
                          std::string("SELECT ") + kColumns +
                              R"( FROM event WHERE "channel" IS NULL AND time_us >= ?1 AND time_us < ?2 AND )" +
                              kConnectionKinds + " AND " + kPortFilter);
    Statement notable(m_db, m_port,
                      std::string("SELECT ") + kColumns +
                          R"( FROM event WHERE "channel" = ?1 AND time_us >= ?2 AND time_us < ?3)"
                          " AND kind <> 'settings' AND kind IN ('alarm','auto') AND " +
                          kPortFilter);
    Statement settings(m_db, m_port,
                       std::string("SELECT ") + kColumns +
                           R"( FROM event WHERE "channel" = ?1 AND time_us >= ?2 AND time_us < ?3)"
                           " AND kind = 'settings' AND " +
                           kPortFilter);
    Statement minutes(m_db, m_port,
                      std::string(R"(SELECT minute, events, first_seq, low_seq, high_seq, last_seq, mixed)") +
                          R"( FROM settings_minute WHERE "channel" = ?1 AND minute >= ?2 AND minute < ?3 AND )" +
                          kMinutePortFilter);
    Statement bySeq(m_db, m_port, std::string("SELECT ") + kColumns + " FROM event WHERE seq = ?1");
    if (!connections || !notable || !settings || !minutes || !bySeq)
        return Fail("prepare");

    std::vector<HeldEvent> held;
    const auto readAll = [&](Statement& st) {
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            held.emplace_back(InputOf(st.get()));
        sqlite3_reset(st.get());
        return rc == SQLITE_DONE;
    };
    const auto readSpan = [&](Statement& st, int c, std::int64_t from, std::int64_t to) {
        if (from >= to)
            return true;
        sqlite3_bind_int(st.get(), 1, c);
        sqlite3_bind_int64(st.get(), 2, from);
        sqlite3_bind_int64(st.get(), 3, to);
        return readAll(st);
    };
    const std::int64_t endUs = live ? std::numeric_limits<std::int64_t>::max() : end;
    sqlite3_bind_int64(connections.get(), 1, begin);
    sqlite3_bind_int64(connections.get(), 2, endUs);
    if (!readAll(connections))
        return Fail("query");
    // A minute in which the unit went or came back is read whole: the level
    // before the gap and after it both count.
    std::vector<std::int64_t> connectionMinutes;
    connectionMinutes.reserve(held.size());
    for (const HeldEvent& e : held)
        connectionMinutes.push_back(FloorDiv(e.input.timeUs, kSummaryMinuteUs));
    std::sort(connectionMinutes.begin(), connectionMinutes.end());

    std::int64_t unread = 0;
    for (int c = 1; c <= kTrendChannels; ++c) {
        if (channel && *channel != c)
            continue;
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            m_error = "cancelled";
            return false;
        }
        if (!readSpan(notable, c, begin, endUs) || !readSpan(settings, c, begin, headEnd))
            return Fail("query");
        if (firstMinute < endMinute) {
            sqlite3_bind_int(minutes.get(), 1, c);
            sqlite3_bind_int64(minutes.get(), 2, firstMinute);
            sqlite3_bind_int64(minutes.get(), 3, endMinute);
            int rc = SQLITE_ROW;
            while ((rc = sqlite3_step(minutes.get())) == SQLITE_ROW) {
                const std::int64_t minute = sqlite3_column_int64(minutes.get(), 0);
                if (sqlite3_column_int(minutes.get(), 6) != 0 ||
                    std::binary_search(connectionMinutes.begin(), connectionMinutes.end(), minute)) {
                    if (!readSpan(settings, c, minute * kSummaryMinuteUs, (minute + 1) * kSummaryMinuteUs))
                        return Fail("query");
                    continue;
                }
                std::array<std::int64_t, 4> seqs{};
                for (int i = 0; i < 4; ++i)
                    seqs[static_cast<std::size_t>(i)] = sqlite3_column_int64(minutes.get(), 2 + i);
                std::sort(seqs.begin(), seqs.end());
                std::int64_t taken = 0;
                for (std::size_t i = 0; i < seqs.size(); ++i) {
                    if (i > 0 && seqs[i] == seqs[i - 1])
                        continue;
                    // A seq the pruning took is simply not found.
                    sqlite3_bind_int64(bySeq.get(), 1, seqs[i]);
                    const std::size_t before = held.size();
                    if (!readAll(bySeq))
                        return Fail("query");
                    taken += static_cast<std::int64_t>(held.size() - before);
                }
                unread += std::max<std::int64_t>(0, sqlite3_column_int64(minutes.get(), 1) - taken);
            }
            sqlite3_reset(minutes.get());
            if (rc != SQLITE_DONE)
                return Fail("query");
        }
        if (!live && !readSpan(settings, c, std::max(headEnd, endMinute * kSummaryMinuteUs), end))
            return Fail("query");
    }
    std::sort(held.begin(), held.end(),
              [](const HeldEvent& a, const HeldEvent& b) { return a.Before(b.input.timeUs, b.input.seq); });
    for (const HeldEvent& e : held)
        builder.Add(e.Input());
    builder.CountUnread(unread);
    return true;
}

bool TrendReader::StateBeforeMatters()
{
    if (m_bStateComplete || m_db == nullptr)
        return false;
    Statement lastOf(m_db, m_port,
                     std::string("SELECT ") + kColumns +
                         R"( FROM event WHERE "channel" = ?1 AND time_us < ?2 AND kind = ?3 AND )" + kPortFilter +
                         " ORDER BY time_us DESC, seq DESC LIMIT 1");
    if (!lastOf)
        return Fail("prepare");
    for (int c = 1; c <= kTrendChannels; ++c) {
        const auto& unseen = m_unseen[static_cast<std::size_t>(c - 1)];
        for (int k = 0; k < 2; ++k) {
            if (!unseen[static_cast<std::size_t>(k)])
                continue;
            sqlite3_bind_int(lastOf.get(), 1, c);
            sqlite3_bind_int64(lastOf.get(), 2, m_stateBeginUs);
            sqlite3_bind_text(lastOf.get(), 3, k == 0 ? "alarm" : "auto", -1, SQLITE_STATIC);
            if (sqlite3_step(lastOf.get()) == SQLITE_ROW) {
                const TrendInput in = InputOf(lastOf.get());
                // A raised alarm, a run going on or paused: the period began
                // within it.
                const bool active = in.kind == TrendInput::Kind::Alarm
                    ? in.raised
                    : in.action == "start" || in.action == "pause" || in.action == "resume";
                if (active)
                    return true;
            }
            sqlite3_reset(lastOf.get());
        }
    }
    return false;
}

bool TrendReader::ReadNewer(TrendBuilder& builder)
{
    if (m_db == nullptr)
        return Fail("read");
    // Asked once a second while live: prepared once.
    if (m_newer == nullptr &&
        sqlite3_prepare_v3(
            m_db,
            (std::string("SELECT ") + kColumns + " FROM event WHERE seq > ?1 AND " + kPortFilter + " ORDER BY seq")
                .c_str(),
            -1, SQLITE_PREPARE_PERSISTENT, &m_newer, nullptr) != SQLITE_OK)
        return Fail("prepare");
    sqlite3_bind_int64(m_newer, 1, builder.LastSeq());
    BindPort(m_newer, m_port);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(m_newer)) == SQLITE_ROW)
        builder.Add(InputOf(m_newer));
    sqlite3_reset(m_newer);
    return rc == SQLITE_DONE || Fail("query");
}

std::optional<TrendReader::Extent> TrendReader::ReadExtent()
{
    if (m_db == nullptr)
        return std::nullopt;
    // Two statements: min and max together would not use the index.
    const auto one = [this](const char* sql) -> std::optional<std::int64_t> {
        Statement st(m_db, m_port, sql);
        if (!st || sqlite3_step(st.get()) != SQLITE_ROW || sqlite3_column_type(st.get(), 0) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_int64(st.get(), 0);
    };
    const auto first = one("SELECT min(time_us) FROM event");
    const auto last = one("SELECT max(time_us) FROM event");
    if (!first || !last)
        return std::nullopt;
    return Extent{*first, *last};
}

std::optional<std::int64_t> ExportRecordCsv(RecordDatabase& db, std::int64_t beginUs, std::int64_t endUs,
                                            const std::string& path, std::string& error,
                                            const std::atomic<bool>* cancel)
{
    AtomicFileWriter out;
    if (const AtomicWriteResult begun = out.Begin(path); !begun) {
        error = path + ": " + begun.Describe();
        return std::nullopt;
    }
    // Rows gather in memory and go out a mebibyte at a time.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::string buffer = RecordCsvHeader();
    buffer.reserve(kChunk + 4096);
    bool writeFailed = false;
    const auto drain = [&] {
        if (!buffer.empty() && !out.Write(buffer))
            writeFailed = true;
        buffer.clear();
    };
    std::int64_t rows = 0;
    bool stopped = false;
    RecordFilter filter;
    filter.sinceUs = beginUs;
    filter.untilUs = endUs;
    filter.order = RecordFilter::Order::Time;
    const bool queried = db.Query(filter, [&](const RecordEvent& e) {
        buffer += RecordCsvRow(e);
        ++rows;
        if (buffer.size() >= kChunk) {
            drain();
            if (writeFailed)
                return false;
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                stopped = true;
                return false;
            }
        }
        return true;
    });
    drain();
    if (!queried || stopped) {
        error = stopped ? "cancelled" : db.LastError();
        return std::nullopt;
    }
    if (const AtomicWriteResult done = out.Commit(); !done) {
        error = path + ": " + done.Describe();
        return std::nullopt;
    }
    return rows;
}

} // namespace velmora
