// The run record read back: `record show` prints the events a filter lets
// through, `record follow` goes on printing them as they come (as tail -f),
// `record export` writes them as CSV or JSON Lines. The record is the one
// every Velmora of this user writes (VELMORA_RECORD names another); it is
// only read here.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlLink.h"
#include "CtlTicks.h"
#include "platform/Translate.h"
#include "platform/AtomicFile.h"
#include "record/RecordDatabase.h"
#include "record/RecordFormat.h"
#include "record/RecordPlace.h"

namespace velmora::ctl {

namespace {

struct RecordArgs {
    std::string sub;
    std::string out; // export
    RecordFilter filter;
    bool json = false;
};

const Command& Row(const std::string& sub)
{
    for (const auto& c : CommandTable()) {
        if (std::string(c.name) == "record" && std::string(c.usage).rfind("record " + sub, 0) == 0)
            return c;
    }
    return FindCommand("record");
}

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

int ParseArgs(const Invocation& inv, RecordArgs& a)
{
    const auto& args = inv.args;
    if (args.empty() || (args[0] != "show" && args[0] != "follow" && args[0] != "export"))
        return UsageError(FindCommand("record"), Tr(N_("record takes show, follow or export")));
    a.sub = args[0];
    a.json = inv.json;
    const Command& row = Row(a.sub);
    std::size_t i = 1;
    if (a.sub == "export") {
        if (args.size() < 2 || args[1].rfind("--", 0) == 0)
            return UsageError(row, Tr(N_("export needs the file to write, OUT.csv or OUT.jsonl")));
        a.out = args[1];
        const auto ext = std::filesystem::path(a.out).extension().string();
        if (ext != ".csv" && ext != ".jsonl")
            return UsageError(row,
                              TrFormat(N_("the export is chosen by its extension, .csv or .jsonl, not '%1'"), {a.out}));
        i = 2;
    }
    const std::int64_t now = WallClockMicros();
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto since = OptionValue(args, i, "--since")) {
            const auto t = *since ? ParseTimeArgument(**since, now) : std::nullopt;
            if (!t)
                return UsageError(row,
                                  TrFormat(N_("--since takes a time such as 2026-12-10T14:00 or -10m, not '%1'"),
                                           {since->value_or("")}));
            a.filter.sinceUs = t;
        } else if (auto until = a.sub != "follow" ? OptionValue(args, i, "--until") : std::nullopt) {
            const auto t = *until ? ParseTimeArgument(**until, now) : std::nullopt;
            if (!t)
                return UsageError(row,
                                  TrFormat(N_("--until takes a time such as 2026-12-10T15:00 or -5m, not '%1'"),
                                           {until->value_or("")}));
            a.filter.untilUs = t;
        } else if (auto channel = OptionValue(args, i, "--channel")) {
            const std::string text = channel->value_or("");
            if (text.size() != 1 || text[0] < '1' || text[0] > '4')
                return UsageError(row, TrFormat(N_("the channel is 1 to 4, not '%1'"), {text}));
            a.filter.channel = text[0] - '0';
        } else if (auto kinds = OptionValue(args, i, "--kind")) {
            for (const std::string& k : SplitCommas(kinds->value_or(""))) {
                if (!IsRecordKind(k))
                    return UsageError(row,
                                      TrFormat(N_("there is no event kind '%1' (connect, disconnect, lost, "
                                                  "settings, alarm, auto, remote, adjust, firmware, gap)"),
                                               {k}));
                a.filter.kinds.push_back(k);
            }
        } else {
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {arg}));
        }
    }
    if (a.filter.sinceUs && a.filter.untilUs && *a.filter.untilUs <= *a.filter.sinceUs)
        return UsageError(row, Tr(N_("--until must come after --since")));
    return kExitOk;
}

// The record, opened for reading; the reason printed when it cannot be.
std::optional<int> OpenRecord(RecordDatabase& db, const std::string& path, bool quietIfMissing)
{
    if (path.empty()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("there is no place for the run record (HOME is not set)")));
        return kExitFileRefused;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (quietIfMissing)
            return std::nullopt;
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1: no run record has been written yet"), {path}).c_str());
        return kExitFileRefused;
    }
    switch (db.OpenForReading(path)) {
    case RecordOpenResult::Ok:
        return std::nullopt;
    case RecordOpenResult::NewerSchema:
        std::fprintf(
            stderr, "velmoractl: %s\n",
            TrFormat(N_("%1: the record was written by a newer Velmora (schema %2); this one knows %3"),
                     {path, std::to_string(db.FoundSchemaVersion()), std::to_string(RecordDatabase::kSchemaVersion)})
                .c_str());
        return kExitFileRefused;
    default:
        std::fprintf(stderr, "velmoractl: %s\n",
                     TrFormat(N_("%1: not a run record (%2)"), {path, db.LastError()}).c_str());
        return kExitFileRefused;
    }
}

int QueryFailed(const RecordDatabase& db, const std::string& path)
{
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(N_("%1: the record cannot be read (%2)"), {path, db.LastError()}).c_str());
    return kExitFileRefused;
}

void Print(const RecordEvent& e, bool json)
{
    const std::string line = json ? RecordJson(e) : RecordLine(e);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

int Show(const RecordArgs& a, const std::string& path)
{
    RecordDatabase db;
    if (const auto rc = OpenRecord(db, path, false))
        return *rc;
    bool gone = false;
    const bool ok = db.Query(a.filter, [&](const RecordEvent& e) {
        Print(e, a.json);
        gone = OutputGone();
        return !gone;
    });
    if (!ok && !gone)
        return QueryFailed(db, path);
    return kExitOk;
}

int Follow(const RecordArgs& a, const std::string& path)
{
    BlockStopSignals();
    RecordDatabase db;
    RecordFilter filter = a.filter;
    // As tail -f: what the filter gives, or without --since the last ten,
    // then whatever comes.
    bool opened = false;
    const auto open = [&]() -> std::optional<int> {
        if (opened)
            return std::nullopt;
        if (const auto rc = OpenRecord(db, path, true))
            return rc;
        if (!db.IsOpen())
            return std::nullopt; // not written yet: wait for it
        opened = true;
        std::int64_t last = 0;
        if (!filter.sinceUs) {
            RecordFilter tail = filter;
            tail.order = RecordFilter::Order::TimeDescending;
            tail.limit = 10;
            std::vector<RecordEvent> recent;
            if (!db.Query(tail, [&](const RecordEvent& e) {
                    recent.push_back(e);
                    return true;
                }))
                return QueryFailed(db, path);
            for (auto it = recent.rbegin(); it != recent.rend(); ++it)
                Print(*it, a.json);
            last = db.LastSeq();
        } else {
            if (!db.Query(filter, [&](const RecordEvent& e) {
                    Print(e, a.json);
                    last = e.seq;
                    return true;
                }))
                return QueryFailed(db, path);
        }
        filter.afterSeq = last;
        std::fflush(stdout);
        return std::nullopt;
    };
    if (const auto rc = open())
        return *rc;

    TickLoop ticks(SteadyClock());
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return kExitNoAnswer;
    }
    // A look four times a second: what the writers commit comes at most
    // that much later, and an idle record costs nothing to look at.
    int tick = 0;
    while (ticks.Wait() == TickLoop::Wake::Tick) {
        if (++tick % 5 != 0)
            continue;
        if (const auto rc = open())
            return *rc;
        if (!opened)
            continue;
        if (!db.Query(filter, [&](const RecordEvent& e) {
                Print(e, a.json);
                filter.afterSeq = e.seq;
                return true;
            }))
            return QueryFailed(db, path);
        std::fflush(stdout);
        if (OutputGone())
            break;
    }
    return kExitOk;
}

// The half-written export a stop signal removes on its way out. A plain
// buffer: the handler may only unlink it.
char g_partPath[4096];

extern "C" void RemovePartAndStop(int sig)
{
    if (g_partPath[0] != '\0')
        ::unlink(g_partPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void RemoveOnStop(const std::string& path)
{
    const bool arm = !path.empty() && path.size() < sizeof g_partPath;
    // The name first, then the handlers, so that a signal finds it whole.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        std::signal(sig, SIG_DFL);
    std::memcpy(g_partPath, arm ? path.c_str() : "", arm ? path.size() + 1 : 1);
    if (arm) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(sig, RemovePartAndStop);
    }
}

int Export(const RecordArgs& a, const std::string& path)
{
    RecordDatabase db;
    if (const auto rc = OpenRecord(db, path, false))
        return *rc;
    // Saved as a file is: a failed export never leaves half a file under
    // the name asked for, nor spoils an older one; a link stays a link and
    // a replaced file keeps its mode. A stop removes the temporary where
    // it has a name.
    AtomicFileWriter out;
    if (const AtomicWriteResult begun = out.Begin(a.out); !begun) {
        std::fprintf(stderr, "velmoractl: %s: %s\n", a.out.c_str(), begun.Describe().c_str());
        return kExitFileRefused;
    }
    RemoveOnStop(out.TempPath());
    const bool csv = std::filesystem::path(a.out).extension() == ".csv";
    // Rows gather in memory and go out a mebibyte at a time.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::string buffer = csv ? RecordCsvHeader() : std::string();
    buffer.reserve(kChunk + 4096);
    bool written = true;
    std::uint64_t count = 0;
    const bool ok = db.Query(a.filter, [&](const RecordEvent& e) {
        if (csv) {
            buffer += RecordCsvRow(e);
        } else {
            buffer += RecordJson(e);
            buffer += '\n';
        }
        ++count;
        if (buffer.size() >= kChunk) {
            written = out.Write(buffer);
            buffer.clear();
        }
        return written;
    });
    written = written && out.Write(buffer);
    if (!ok) {
        out.Abandon();
        RemoveOnStop({});
        return QueryFailed(db, path);
    }
    const AtomicWriteResult done = out.Commit();
    RemoveOnStop({});
    if (!done) {
        std::fprintf(stderr, "velmoractl: %s\n", TrFormat(N_("%1: the export could not be written"), {a.out}).c_str());
        std::fprintf(stderr, "velmoractl: %s: %s\n", a.out.c_str(), done.Describe().c_str());
        return kExitFileRefused;
    }
    std::fprintf(stderr, "%s\n", TrFormat(N_("%1 events written to %2"), {std::to_string(count), a.out}).c_str());
    return kExitOk;
}

} // namespace

int RunRecord(const Invocation& inv)
{
    RecordArgs a;
    if (const int rc = ParseArgs(inv, a); rc != kExitOk)
        return rc;
    const std::string path = DefaultRecordPath();
    if (a.sub == "show")
        return Show(a, path);
    if (a.sub == "follow")
        return Follow(a, path);
    return Export(a, path);
}

} // namespace velmora::ctl
