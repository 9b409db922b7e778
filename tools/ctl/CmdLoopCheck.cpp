// The documenting loop check from the command line: the tags (add, set,
// remove, list, import and export as CSV), a test of one tag run on the
// unit with the technician's readings typed at the terminal or read from a
// file, a tag's history, the check of the results' hash chain, and the
// record of a result or a tag's latest check as PDF, HTML or CSV. The
// tags and results are the loop-check database's (VELMORA_LOOPCHECK_DB
// names another file); the test itself is the core's LoopCheckProcedure on
// a panel session, as in the window.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "CtlNumbers.h"
#include "CtlRecord.h"
#include "CtlStatus.h"
#include "CtlTicks.h"
#include "link/PortDiscovery.h"
#include "loopcheck/LoopCheckDatabase.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "loopcheck/LoopReport.h"
#include "loopcheck/LoopTagCsv.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "platform/AtomicFile.h"
#include "platform/Translate.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"
#ifdef VELMORA_PDF
#include "report/LoopReportPdf.h"
#endif

namespace velmora::ctl {

namespace {

// A tag list or a readings file larger than this is no such file.
constexpr std::size_t kMaxInputBytes = 16U << 20U;

const Command& Row(const std::string& head)
{
    for (const Command& c : CommandTable())
        if (std::string(c.usage).starts_with("loopcheck " + head))
            return c;
    return FindCommand("loopcheck");
}

int Say(const std::string& text, int rc)
{
    std::fprintf(stderr, "velmoractl: %s\n", text.c_str());
    return rc;
}

// The database, opened; the reason printed when it cannot be.
std::optional<int> OpenDatabase(LoopCheckDatabase& db, bool forWriting)
{
    const std::string path = DefaultLoopCheckPath();
    if (path.empty())
        return Say(Tr(N_("there is no place for the loop-check database (HOME is not set)")), kExitFileRefused);
    if (!forWriting && access(path.c_str(), F_OK) != 0)
        return Say(TrFormat(N_("%1: no loop-check database has been written yet"), {path}), kExitFileRefused);
    const LoopDbOpenResult opened = db.Open(path, forWriting);
    if (opened != LoopDbOpenResult::Ok)
        return Say(db.OpenFailureText(opened, path), kExitFileRefused);
    return std::nullopt;
}

// --- Tags ---

// The tag options over `tag`; the error's text when one is wrong. `given`
// collects the fields named.
std::optional<std::string> ParseTagOptions(const std::vector<std::string>& args, std::size_t from, LoopTag& tag,
                                           std::vector<std::string>& given)
{
    bool down = false;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--sqrt" || a == "--linear") {
            tag.transfer = a == "--sqrt" ? LoopTransfer::SquareRoot : LoopTransfer::Linear;
            given.emplace_back("transfer");
            continue;
        }
        if (a == "--down") {
            down = true;
            continue;
        }
        const struct {
            const char* option;
            const char* field;
        } options[] = {{"--channel", "channel"},
                       {"--range", "range"},
                       {"--lrv", "lrv"},
                       {"--urv", "urv"},
                       {"--unit", "unit"},
                       {"--points", "points"},
                       {"--tolerance", "tolerance"},
                       {"--adjust-limit", "adjust_limit"},
                       {"--settle", "settle"},
                       {"--decimals", "decimals"},
                       {"--description", "description"},
                       {"--location", "location"}};
        bool taken = false;
        for (const auto& o : options) {
            auto v = OptionValue(args, i, o.option);
            if (!v)
                continue;
            taken = true;
            if (!*v)
                return TrFormat(N_("%1 needs a value"), {o.option});
            const std::string& text = **v;
            const std::string field = o.field;
            const auto number = [&](double& out) -> std::optional<std::string> {
                const auto n = ParseValue(text);
                if (!n)
                    return TrFormat(N_("%1 takes a number, not '%2'"), {o.option, text});
                out = *n;
                return std::nullopt;
            };
            std::optional<std::string> error;
            if (field == "channel") {
                const auto ch = ParseChannel(text);
                if (!ch)
                    return TrFormat(N_("the channel is 1 to 4, not '%1'"), {text});
                tag.channel = *ch + 1;
            } else if (field == "range") {
                tag.range = text;
            } else if (field == "lrv") {
                error = number(tag.lrv);
            } else if (field == "urv") {
                error = number(tag.urv);
            } else if (field == "unit") {
                tag.unit = text;
            } else if (field == "points") {
                const auto points = ParsePointList(text);
                if (!points)
                    return TrFormat(N_("--points takes numbers separated by commas, not '%1'"), {text});
                tag.points = *points;
            } else if (field == "tolerance") {
                error = number(tag.tolerance);
            } else if (field == "adjust_limit") {
                if (text == "none") {
                    tag.adjustLimit.reset();
                } else {
                    double limit = 0.0;
                    error = number(limit);
                    tag.adjustLimit = limit;
                }
            } else if (field == "settle") {
                error = number(tag.settleSeconds);
            } else if (field == "decimals") {
                const auto n = ParseValue(text);
                if (!n || *n != std::trunc(*n) || std::fabs(*n) > 1000)
                    return TrFormat(N_("--decimals takes a whole number, not '%1'"), {text});
                tag.decimals = static_cast<int>(*n);
            } else if (field == "description") {
                tag.description = text;
            } else if (field == "location") {
                tag.location = text;
            }
            if (error)
                return error;
            given.push_back(field);
            break;
        }
        if (!taken)
            return TrFormat(N_("unexpected argument '%1'"), {a});
    }
    if (down) {
        // The way up once: a tag that goes down again already (a second
        // `tag set --down`) gets no second way down.
        std::vector<double> up = tag.points;
        const auto top = std::max_element(up.begin(), up.end());
        if (top != up.end())
            up.erase(top + 1, up.end());
        tag.points = WithWayDown(up);
    }
    return std::nullopt;
}

void PrintTag(const LoopTag& t, bool json)
{
    if (json) {
        JsonObject o;
        o.Add("tag", t.name)
            .Add("channel", t.channel)
            .Add("range", t.range)
            .Add("lrv", t.lrv)
            .Add("urv", t.urv)
            .Add("unit", t.unit)
            .Add("transfer", LoopTransferKey(t.transfer));
        std::vector<std::string> points;
        for (double p : t.points)
            points.push_back(JsonNumber(p));
        o.AddRaw("points", JsonArray(points)).Add("tolerance", t.tolerance);
        if (t.adjustLimit)
            o.Add("adjust_limit", *t.adjustLimit);
        else
            o.AddNull("adjust_limit");
        o.Add("settle", t.settleSeconds)
            .Add("decimals", t.decimals)
            .Add("description", t.description)
            .Add("location", t.location);
        PrintJsonLine(o);
        return;
    }
    std::printf("%s channel=%d range=%s lrv=%s urv=%s unit=%s transfer=%s points=%s tolerance=%s adjust_limit=%s "
                "settle=%s decimals=%d\n",
                t.name.c_str(), t.channel, t.range.c_str(), ShortNumber(t.lrv).c_str(), ShortNumber(t.urv).c_str(),
                t.unit.c_str(), LoopTransferKey(t.transfer), PointListText(t.points).c_str(),
                ShortNumber(t.tolerance).c_str(), t.adjustLimit ? ShortNumber(*t.adjustLimit).c_str() : "none",
                ShortNumber(t.settleSeconds).c_str(), t.decimals);
}

int TagWriteFailed(const Command& row, TagWrite w, const LoopTag& tag, const LoopCheckDatabase& db)
{
    switch (w) {
    case TagWrite::Done:
        return kExitOk;
    case TagWrite::Exists:
        return UsageError(row, TrFormat(N_("the tag '%1' exists already (tag set changes it)"), {tag.name}));
    case TagWrite::Missing:
        return UsageError(row, TrFormat(N_("there is no tag '%1'"), {tag.name}));
    case TagWrite::Invalid:
        return UsageError(row, db.LastError());
    case TagWrite::Failed:
        return Say(db.LastError(), kExitFileRefused);
    }
    return kExitFileRefused;
}

int RunTag(const Invocation& inv)
{
    const auto& args = inv.args;
    const std::string sub = args.size() > 1 ? args[1] : "";
    const Command& row = Row("tag " + sub);
    if (sub != "add" && sub != "set" && sub != "remove" && sub != "list" && sub != "import" && sub != "export")
        return UsageError(FindCommand("loopcheck"), Tr(N_("tag takes add, set, remove, list, import or export")));
    if (sub == "list") {
        if (args.size() > 2)
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {args[2]}));
        LoopCheckDatabase db;
        if (const auto rc = OpenDatabase(db, true))
            return *rc;
        for (const LoopTag& t : db.Tags())
            PrintTag(t, inv.json);
        return kExitOk;
    }
    if (args.size() < 3 || args[2].starts_with("--"))
        return UsageError(row, sub == "import" || sub == "export" ? Tr(N_("which CSV file?")) : Tr(N_("which tag?")));
    const std::string& name = args[2];
    LoopCheckDatabase db;
    if (const auto rc = OpenDatabase(db, true))
        return *rc;

    if (sub == "export") {
        if (args.size() > 3)
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {args[3]}));
        const std::string csv = LoopTagsToCsv(db.Tags());
        if (name == "-") {
            std::fwrite(csv.data(), 1, csv.size(), stdout);
            return kExitOk;
        }
        if (const AtomicWriteResult written = WriteFileAtomically(name, csv); !written)
            return Say(name + ": " + written.Describe(), kExitFileRefused);
        return kExitOk;
    }
    if (sub == "import") {
        if (args.size() > 3)
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {args[3]}));
        std::string bytes;
        if (name == "-") {
            bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        } else {
            if (!ReadRegularFile(name, bytes, kMaxInputBytes) || bytes.size() > kMaxInputBytes)
                return Say(TrFormat(N_("%1 cannot be read, or is not a file of at most 16 MiB"), {name}),
                           kExitFileRefused);
        }
        const auto read = LoopTagsFromCsv(bytes);
        if (const auto* error = std::get_if<LoopTagCsvError>(&read))
            return Say(TrFormat(N_("%1: %2; nothing was imported"), {name, error->message}), kExitFileRefused);
        const auto& tags = std::get<std::vector<LoopTag>>(read);
        if (!db.ImportTags(tags))
            return Say(db.LastError(), kExitFileRefused);
        std::fprintf(stderr, "%s\n", TrFormat(N_("%1 tag(s) imported"), {std::to_string(tags.size())}).c_str());
        return kExitOk;
    }
    if (sub == "remove") {
        if (args.size() > 3)
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {args[3]}));
        LoopTag t;
        t.name = name;
        return TagWriteFailed(row, db.RemoveTag(name), t, db);
    }
    LoopTag tag;
    if (sub == "set") {
        const auto found = db.FindTag(name);
        if (!found)
            return UsageError(row, TrFormat(N_("there is no tag '%1'"), {name}));
        tag = *found;
    }
    tag.name = name;
    std::vector<std::string> given;
    if (const auto error = ParseTagOptions(args, 3, tag, given))
        return UsageError(row, *error);
    if (sub == "add") {
        for (const char* required : {"channel", "range", "lrv", "urv", "unit"})
            if (std::find(given.begin(), given.end(), required) == given.end())
                return UsageError(row, TrFormat(N_("--%1 is required"), {required}));
    }
    if (const auto problem = ValidateTag(tag))
        return UsageError(row, problem->message);
    return TagWriteFailed(row, sub == "add" ? db.AddTag(tag) : db.UpdateTag(tag), tag, db);
}

// --- History and verify ---

double LargestError(const LoopResult& r)
{
    double worst = 0.0;
    for (const LoopPointResult& p : r.points)
        if (std::fabs(p.errorPercent) > std::fabs(worst))
            worst = p.errorPercent;
    return worst;
}

JsonObject PointJson(const LoopPointResult& p, const LoopTag& tag)
{
    JsonObject o;
    o.Add("point", p.index)
        .Add("percent", p.percent)
        .Add("output", p.output)
        .Add("unit", p.signalUnit)
        .Add("code", static_cast<int>(p.code))
        .Add("expected", p.expected)
        .Add("reading", p.reading)
        .Add("error_percent_of_span", p.errorPercent)
        .Add("verdict", PointVerdictKey(p.verdict))
        .Add("reading_unit", tag.unit);
    return o;
}

int RunHistory(const Invocation& inv)
{
    const Command& row = Row("history");
    if (inv.args.size() != 2)
        return UsageError(
            row, inv.args.size() < 2 ? Tr(N_("which tag?")) : TrFormat(N_("unexpected argument '%1'"), {inv.args[2]}));
    LoopCheckDatabase db;
    if (const auto rc = OpenDatabase(db, false))
        return *rc;
    const std::vector<LoopResult> history = db.History(inv.args[1]);
    // A tag removed keeps its results; one never known is a typing error.
    if (history.empty() && !db.FindTag(inv.args[1]))
        return UsageError(row, TrFormat(N_("there is no tag '%1'"), {inv.args[1]}));
    for (const LoopResult& r : history) {
        if (inv.json) {
            std::vector<std::string> points;
            for (const LoopPointResult& p : r.points)
                points.push_back(PointJson(p, r.tag).Text());
            JsonObject o;
            o.Add("result", r.id)
                .Add("tag", r.tag.name)
                .Add("kind", LoopTestKindKey(r.kind))
                .Add("verdict", TestVerdictKey(r.verdict))
                .Add("ending", LoopTestEndingKey(r.ending))
                .Add("technician", r.technician)
                .Add("start", IsoUtcSeconds(r.startUs))
                .Add("end", IsoUtcSeconds(r.endUs))
                .Add("tolerance", r.tag.tolerance)
                .Add("largest_error_percent_of_span", LargestError(r))
                .Add("unit_version", r.unitVersion)
                .Add("unit_serial", r.unitSerial)
                .Add("velmora_version", r.velmoraVersion)
                .Add("remark", r.remark);
            if (r.supersedes)
                o.Add("supersedes", *r.supersedes);
            else
                o.AddNull("supersedes");
            o.Add("hash", r.hash).AddRaw("points", JsonArray(points));
            PrintJsonLine(o);
            continue;
        }
        std::printf("%lld %s %s %s %s technician=%s largest_error=%s%% points=%zu", static_cast<long long>(r.id),
                    IsoUtcSeconds(r.startUs).c_str(), r.tag.name.c_str(), LoopTestKindKey(r.kind),
                    TestVerdictKey(r.verdict), r.technician.c_str(), FormatErrorPercent(LargestError(r)).c_str(),
                    r.points.size());
        if (r.ending != LoopTestEnding::Completed)
            std::printf(" ending=%s", LoopTestEndingKey(r.ending));
        if (r.supersedes)
            std::printf(" supersedes=%lld", static_cast<long long>(*r.supersedes));
        std::printf(" hash=%s\n", r.hash.c_str());
    }
    return kExitOk;
}

int RunVerify(const Invocation& inv)
{
    if (inv.args.size() > 1)
        return UsageError(Row("verify"), TrFormat(N_("unexpected argument '%1'"), {inv.args[1]}));
    LoopCheckDatabase db;
    if (const auto rc = OpenDatabase(db, false))
        return *rc;
    const ChainCheck check = db.Verify();
    if (!check.ok)
        return Say(check.reason, kExitTestFailed);
    std::printf("%s\n", TrFormat(N_("%1 result(s), the chain is whole"), {std::to_string(check.checked)}).c_str());
    return kExitOk;
}

// --- The record ---

int RunReport(const Invocation& inv)
{
    const Command& row = Row("report");
    std::vector<std::string> named;
    bool asTag = false;
    for (std::size_t i = 1; i < inv.args.size(); ++i) {
        const std::string& a = inv.args[i];
        if (a == "--tag")
            asTag = true;
        else if (a.starts_with("--") || named.size() == 2)
            return UsageError(row, TrFormat(N_("unexpected argument '%1'"), {a}));
        else
            named.push_back(a);
    }
    if (named.size() < 2)
        return UsageError(
            row, named.empty() ? Tr(N_("which result or tag?")) : Tr(N_("which file? OUT.pdf, OUT.html or OUT.csv")));
    const std::string& out = named[1];
    const auto format = LoopReportFormatOfPath(out);
    if (!format)
        return UsageError(row, TrFormat(N_("%1: the record is written as .pdf, .html or .csv"), {out}));

    LoopCheckDatabase db;
    if (const auto rc = OpenDatabase(db, false))
        return *rc;
    const LoopReportMade made = MakeLoopReport(db, ParseLoopReportSubject(named[0], asTag, db), WallClockNowUs());
    if (made.problem == LoopReportProblem::ReadFailed)
        return Say(made.message, kExitFileRefused);
    if (made.problem != LoopReportProblem::None)
        return UsageError(row, made.message);
#ifdef VELMORA_PDF
    const LoopReportWrite written = WriteLoopReport(made.report, out);
#else
    const LoopReportWrite written = WriteLoopReportText(made.report, out, *format);
#endif
    if (!written.ok)
        return Say(written.message, kExitFileRefused);
    // Written all the same, the fault on it: the record is the evidence.
    if (!made.report.chain.ok)
        return Say(TrFormat(N_("%1 is written, but the chain of results does not verify: %2"),
                            {out, made.report.chain.reason}),
                   kExitTestFailed);
    return kExitOk;
}

// --- A test ---

struct RunArgs {
    std::string tag;
    std::string technician;
    bool asLeft = false;
    std::optional<std::string> readings;
    std::string remark;
    std::optional<std::int64_t> supersedes;
    std::string reason;
};

std::optional<std::string> ParseRunArgs(const std::vector<std::string>& args, RunArgs& out)
{
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (auto v = OptionValue(args, i, "--technician")) {
            if (!*v)
                return Tr(N_("--technician needs a name"));
            out.technician = **v;
        } else if (auto r = OptionValue(args, i, "--readings")) {
            if (!*r || (*r)->empty())
                return Tr(N_("--readings needs a file, or - for standard input"));
            out.readings = **r;
        } else if (auto m = OptionValue(args, i, "--remark")) {
            if (!*m)
                return Tr(N_("--remark needs a text"));
            out.remark = **m;
        } else if (auto s = OptionValue(args, i, "--supersedes")) {
            const auto n = *s ? ParseSeconds(**s) : std::nullopt;
            if (!n)
                return Tr(N_("--supersedes needs the number of the result it corrects"));
            out.supersedes = *n;
        } else if (auto w = OptionValue(args, i, "--reason")) {
            if (!*w)
                return Tr(N_("--reason needs a text"));
            out.reason = **w;
        } else if (args[i] == "--as-left") {
            out.asLeft = true;
        } else if (args[i] == "--as-found") {
            out.asLeft = false;
        } else if (out.tag.empty() && !args[i].starts_with("--")) {
            out.tag = args[i];
        } else {
            return TrFormat(N_("unexpected argument '%1'"), {args[i]});
        }
    }
    if (out.tag.empty())
        return Tr(N_("which tag?"));
    if (out.technician.empty())
        return Tr(N_("--technician NAME is required"));
    if (out.supersedes.has_value() != !out.reason.empty())
        return Tr(N_("--supersedes ID and --reason TEXT go together"));
    return std::nullopt;
}

// One reading a line; blank lines and lines starting with # are skipped.
// The line number of the first line that is not a number otherwise.
std::variant<std::vector<double>, int> ParseReadings(const std::string& text)
{
    std::vector<double> readings;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const auto end = line.find_last_not_of(" \t");
        const auto v = ParseValue(line.substr(start, end - start + 1));
        if (!v)
            return number;
        readings.push_back(*v);
    }
    return readings;
}

// Each channel's output words from its status reply, so that the frames
// the test sends (a value change sends every channel in use) leave the
// other channels as the unit has them. False when a channel did not answer.
bool TakeUnitsWords(GeneratorLink& link, GeneratorModel& model)
{
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        bool taken = false;
        AskOnce(link, BuildStatusRequest(ch), [&](std::string_view line) {
            const auto origin = StatusReplyOrigin(line);
            if (!origin || origin->channel != ch || !IsValidRangeCode(origin->rangeCode))
                return false;
            ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
            s.rangeCode = origin->rangeCode;
            s.useConversion = false;
            s.dacCode = static_cast<std::uint16_t>(HexField(line, 5, 4));
            s.controlWord = static_cast<std::uint16_t>(HexField(line, 9, 4));
            s.auxControlWord = static_cast<std::uint16_t>(HexField(line, 13, 4));
            s.reservedWord = static_cast<std::uint16_t>(HexField(line, 17, 4));
            s.extOutputWord = static_cast<std::uint16_t>(HexField(line, 21, 4));
            model.CodeToValue(ch);
            taken = true;
            return true;
        });
        if (!taken)
            return false;
    }
    return true;
}

class TestLines {
public:
    TestLines(const LoopTag& tag, bool json) : m_tag(tag), m_bJson(json) { }
    void Point(const LoopPointResult& p) const
    {
        if (m_bJson) {
            PrintJsonLine(PointJson(p, m_tag));
            return;
        }
        std::string output = FormatFixed(p.output, 3);
        output.erase(0, output.find_first_not_of(' '));
        std::printf("point %d/%zu %s%% %s %s expected=%s reading=%s error=%s%% %s\n", p.index, m_tag.points.size(),
                    ShortNumber(p.percent).c_str(), output.c_str(), p.signalUnit.c_str(),
                    FormatReading(m_tag, p.expected).c_str(), FormatReading(m_tag, p.reading).c_str(),
                    FormatErrorPercent(p.errorPercent).c_str(), PointVerdictKey(p.verdict));
        std::fflush(stdout);
    }
    void Result(const LoopResult& r) const
    {
        if (m_bJson) {
            JsonObject o;
            o.Add("result", r.id)
                .Add("tag", r.tag.name)
                .Add("kind", LoopTestKindKey(r.kind))
                .Add("verdict", TestVerdictKey(r.verdict))
                .Add("ending", LoopTestEndingKey(r.ending))
                .Add("hash", r.hash);
            PrintJsonLine(o);
            return;
        }
        std::printf("result %lld %s %s %s", static_cast<long long>(r.id), r.tag.name.c_str(), LoopTestKindKey(r.kind),
                    TestVerdictKey(r.verdict));
        if (r.ending != LoopTestEnding::Completed)
            std::printf(" (%s: %s)", LoopTestEndingKey(r.ending), r.endingDetail.c_str());
        std::printf(" hash=%s\n", r.hash.c_str());
        std::fflush(stdout);
    }

private:
    const LoopTag& m_tag;
    bool m_bJson;
};

// A test as the command drives it: run here over the port, or by the
// program that holds the port, through its SCPI commands (LCHeck).
class TestDriver {
public:
    using State = LoopCheckProcedure::State;
    virtual ~TestDriver() = default;
    // After each tick: the state brought up to date.
    virtual void Tick() = 0;
    virtual ReadingRefusal TakeReading(double reading) = 0;
    virtual void Abort(const std::string& why) = 0;
    virtual State GetState() const = 0;
    bool Running() const { return GetState() == State::Settling || GetState() == State::AwaitingReading; }
    virtual std::size_t PointIndex() const = 0;
    virtual std::size_t PointCount() const = 0;
    virtual double PointPercent() const = 0;
    virtual double PointSignal() const = 0;
    virtual double PointExpected() const = 0;
    virtual std::string SignalUnit() const = 0;
    virtual int SettleSecondsLeft() const = 0;
    virtual const std::vector<LoopPointResult>& Points() const = 0;
    virtual const LoopResult& Result() = 0;
    virtual bool Stored() = 0;
    virtual std::string StoreError() const = 0;
};

class LocalTest final : public TestDriver {
public:
    LocalTest(LoopCheckProcedure& test, PanelSession& session) : m_test(test), m_session(session) { }
    void Tick() override
    {
        m_session.OnTick();
        m_test.Tick();
    }
    ReadingRefusal TakeReading(double reading) override { return m_test.TakeReading(reading); }
    void Abort(const std::string& why) override { m_test.Abort(why); }
    State GetState() const override { return m_test.GetState(); }
    std::size_t PointIndex() const override { return m_test.PointIndex(); }
    std::size_t PointCount() const override { return m_test.PointCount(); }
    double PointPercent() const override { return m_test.PointPercent(); }
    double PointSignal() const override { return m_test.PointSignal(); }
    double PointExpected() const override { return m_test.PointExpected(); }
    std::string SignalUnit() const override { return m_test.SignalUnit(); }
    int SettleSecondsLeft() const override { return m_test.SettleSecondsLeft(); }
    const std::vector<LoopPointResult>& Points() const override { return m_test.Points(); }
    const LoopResult& Result() override { return m_test.Result(); }
    bool Stored() override { return m_test.Stored(); }
    std::string StoreError() const override { return m_test.StoreError(); }

private:
    LoopCheckProcedure& m_test;
    PanelSession& m_session;
};

// The test the program holding the port runs for this command: its state
// asked on every tick (LCHeck:STATe?), the points as they are read
// (LCHeck:POINt?), the result at the end (LCHeck:RESult?). A program that
// goes ends the test here as aborted; it puts the channel back itself.
class RemoteTest final : public TestDriver {
public:
    RemoteTest(ScpiConnection& connection, const LoopTag& tag) : m_connection(connection), m_tag(tag)
    {
        m_result.tag = tag;
    }
    // Nothing when the program started the test, else why not and the exit
    // status.
    std::optional<std::pair<std::string, int>> Start(const RunArgs& args)
    {
        std::string message = "LCH:STAR " + Quote(m_tag.name) + "," + Quote(args.technician) + "," +
            (args.asLeft ? "LEFT" : "FOUN") + "," + Quote(args.remark);
        if (args.supersedes)
            message += "," + std::to_string(*args.supersedes) + "," + Quote(args.reason);
        const auto reply = velmora::ctl::Ask(m_connection, message);
        if (!reply)
            return std::make_pair(Tr(N_("the program that holds the port did not answer")), kExitNoAnswer);
        if (!reply->Ok()) {
            // "-221,"Settings conflict;why"": the why.
            std::string why = reply->error;
            if (const auto text = StringText(why.substr(why.find(',') + 1)))
                why = text->substr(text->find(';') == std::string::npos ? 0 : text->find(';') + 1);
            return std::make_pair(why, reply->ErrorCode() == -241 ? kExitNoAnswer : kExitUsage);
        }
        m_state = State::Settling;
        Tick();
        return std::nullopt;
    }
    void Tick() override
    {
        if (!Running())
            return;
        const auto answer = Query("LCH:STAT?");
        const std::vector<std::string> e = answer ? Elements(*answer) : std::vector<std::string>{};
        if (e.size() != 8) {
            Gone();
            return;
        }
        const std::string& state = e[0];
        m_state = state == "SETT" ? State::Settling
            : state == "READ"     ? State::AwaitingReading
            : state == "DONE"     ? State::Done
                                  : State::Aborted;
        m_point = static_cast<std::size_t>(std::max(1LL, IntegerAnswer(e[1]).value_or(1)) - 1);
        m_percent = ParseValue(e[3]).value_or(0.0);
        m_signal = ParseValue(e[4]).value_or(0.0);
        m_unit = StringText(e[5]).value_or("");
        m_expected = ParseValue(e[6]).value_or(0.0);
        m_left = static_cast<int>(IntegerAnswer(e[7]).value_or(0));
        // The points read since the last tick.
        const std::size_t read = Running() ? m_point : static_cast<std::size_t>(IntegerAnswer(e[1]).value_or(0));
        while (m_points.size() < read) {
            const auto point = Query("LCH:POIN? " + std::to_string(m_points.size() + 1));
            const std::vector<std::string> p = point ? Elements(*point) : std::vector<std::string>{};
            if (p.size() != 8) {
                Gone();
                return;
            }
            LoopPointResult r;
            r.index = static_cast<int>(m_points.size() + 1);
            r.percent = ParseValue(p[0]).value_or(0.0);
            r.output = ParseValue(p[1]).value_or(0.0);
            r.signalUnit = StringText(p[2]).value_or("");
            r.code = static_cast<std::uint16_t>(IntegerAnswer(p[3]).value_or(0));
            r.expected = ParseValue(p[4]).value_or(0.0);
            r.reading = ParseValue(p[5]).value_or(0.0);
            r.errorPercent = ParseValue(p[6]).value_or(0.0);
            std::string verdict = p[7];
            for (char& ch : verdict)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            r.verdict = PointVerdictFromKey(verdict).value_or(PointVerdict::Fail);
            m_points.push_back(std::move(r));
        }
    }
    ReadingRefusal TakeReading(double reading) override
    {
        const auto reply = velmora::ctl::Ask(m_connection, "LCH:READ " + NumberText(reading));
        if (!reply) {
            Gone();
            return ReadingRefusal::NotAwaiting;
        }
        if (!reply->Ok())
            return ReadingRefusal::NotAwaiting;
        Tick();
        return ReadingRefusal::None;
    }
    void Abort(const std::string& why) override
    {
        if (!Running())
            return;
        m_abortWhy = why;
        if (velmora::ctl::Ask(m_connection, "LCH:ABOR"))
            Tick();
        else
            Gone();
    }
    State GetState() const override { return m_state; }
    std::size_t PointIndex() const override { return m_point; }
    std::size_t PointCount() const override { return m_tag.points.size(); }
    double PointPercent() const override { return m_percent; }
    double PointSignal() const override { return m_signal; }
    double PointExpected() const override { return m_expected; }
    std::string SignalUnit() const override { return m_unit; }
    int SettleSecondsLeft() const override { return m_left; }
    const std::vector<LoopPointResult>& Points() const override { return m_points; }
    const LoopResult& Result() override
    {
        if (m_bResultRead)
            return m_result;
        m_bResultRead = true;
        m_result.points = m_points;
        const auto answer = m_bGone ? std::nullopt : Query("LCH:RES?");
        const std::vector<std::string> e = answer ? Elements(*answer) : std::vector<std::string>{};
        if (e.size() != 7) {
            m_storeError = Tr(N_("the program that holds the port went before the end of the test"));
            m_result.verdict = TestVerdict::Aborted;
            m_result.ending = LoopTestEnding::Aborted;
            return m_result;
        }
        const auto key = [](std::string text) {
            for (char& ch : text)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return text;
        };
        m_result.id = IntegerAnswer(e[0]).value_or(0);
        m_result.kind = LoopTestKindFromKey(key(e[2])).value_or(LoopTestKind::AsFound);
        m_result.verdict = TestVerdictFromKey(key(e[3])).value_or(TestVerdict::Aborted);
        m_result.ending = LoopTestEndingFromKey(key(e[4])).value_or(LoopTestEnding::Aborted);
        m_result.hash = StringText(e[5]).value_or("");
        m_result.endingDetail = StringText(e[6]).value_or("");
        // The program says who stopped it; this command knows why.
        if (!m_abortWhy.empty() && m_result.ending == LoopTestEnding::Aborted)
            m_result.endingDetail = m_abortWhy;
        if (m_result.id == 0)
            m_storeError = Tr(N_("the program that holds the port could not keep it"));
        return m_result;
    }
    bool Stored() override { return Result().id != 0; }
    std::string StoreError() const override { return m_storeError; }

private:
    static std::string Quote(const std::string& text)
    {
        std::string out = "\"";
        for (const char ch : text) {
            out += ch;
            if (ch == '"')
                out += '"';
        }
        return out + "\"";
    }
    std::optional<std::string> Query(const std::string& query)
    {
        const auto reply = velmora::ctl::Ask(m_connection, query);
        if (!reply || !reply->Ok() || reply->answers.size() != 1)
            return std::nullopt;
        return reply->answers[0];
    }
    void Gone()
    {
        m_bGone = true;
        m_state = State::Aborted;
    }

    ScpiConnection& m_connection;
    const LoopTag& m_tag;
    State m_state = State::Idle;
    std::size_t m_point = 0;
    double m_percent = 0.0;
    double m_signal = 0.0;
    double m_expected = 0.0;
    std::string m_unit;
    int m_left = 0;
    std::vector<LoopPointResult> m_points;
    LoopResult m_result;
    bool m_bResultRead = false;
    bool m_bGone = false;
    std::string m_abortWhy;
    std::string m_storeError;
};

// Runs a started test to its end, with the readings from `readings` or
// typed at the terminal, printing each point and the result: the same lines
// whichever program puts the signal out.
int DriveTest(TestDriver& test, const LoopTag& tagRef, const Invocation& inv,
              const std::optional<std::vector<double>>& readings, Clock& clock)
{
    const LoopTag* tag = &tagRef;
    const TestLines lines(*tag, inv.json);
    const bool interactive = !readings;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    TickLoop ticks(clock);
    if (interactive)
        ticks.WatchInput(STDIN_FILENO);
    if (!ticks.Start())
        return Say(Tr(N_("the tick cannot be started")), kExitNoAnswer);

    std::size_t next = 0;
    std::size_t shownPoints = 0;
    int shownLeft = -1;
    bool prompted = false;
    std::string typed;
    const auto prompt = [&] {
        std::fprintf(stderr, "%s",
                     TrFormat(N_("point %1/%2: %3 % = %4 %5; expected %6 %7; reading? "),
                              {std::to_string(test.PointIndex() + 1), std::to_string(test.PointCount()),
                               ShortNumber(test.PointPercent()), FormatFixed(test.PointSignal(), 3), test.SignalUnit(),
                               FormatReading(*tag, test.PointExpected()), tag->unit})
                         .c_str());
        std::fflush(stderr);
        prompted = true;
    };
    while (test.Running()) {
        const TickLoop::Wake wake = ticks.Wait();
        if (wake == TickLoop::Wake::Stop) {
            if (prompted)
                std::fprintf(stderr, "\n");
            test.Abort(Tr(N_("stopped by a signal")));
            break;
        }
        if (wake == TickLoop::Wake::Input) {
            char buf[256];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN))) {
                if (prompted)
                    std::fprintf(stderr, "\n");
                test.Abort(Tr(N_("the terminal's input ended")));
                break;
            }
            if (n > 0)
                typed.append(buf, static_cast<std::size_t>(n));
            std::size_t eol = 0;
            while (test.Running() && (eol = typed.find('\n')) != std::string::npos) {
                std::string line = typed.substr(0, eol);
                typed.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (test.GetState() != LoopCheckProcedure::State::AwaitingReading)
                    continue; // typed before the point had settled
                const auto v = ParseValue(line);
                if (!v || test.TakeReading(*v) != ReadingRefusal::None) {
                    std::fprintf(stderr, "%s\n", TrFormat(N_("'%1' is not a number; again."), {line}).c_str());
                    prompt();
                    continue;
                }
                prompted = false;
                shownLeft = -1;
            }
        } else {
            test.Tick();
            if (OutputGone()) {
                test.Abort(Tr(N_("standard output went")));
                break;
            }
        }
        while (shownPoints < test.Points().size())
            lines.Point(test.Points()[shownPoints++]);
        if (!test.Running())
            break;
        if (test.GetState() == LoopCheckProcedure::State::Settling && interactive) {
            const int left = test.SettleSecondsLeft();
            if (left != shownLeft && terminal) {
                std::fprintf(stderr, "\r%s ", TrFormat(N_("settling: %1 s"), {std::to_string(left)}).c_str());
                std::fflush(stderr);
            }
            shownLeft = left;
        }
        if (test.GetState() == LoopCheckProcedure::State::AwaitingReading) {
            if (readings) {
                test.TakeReading((*readings)[next++]);
                while (shownPoints < test.Points().size())
                    lines.Point(test.Points()[shownPoints++]);
            } else if (!prompted) {
                if (terminal)
                    std::fprintf(stderr, "\r");
                prompt();
            }
        }
    }
    const LoopResult& result = test.Result();
    if (!test.Stored())
        return Say(TrFormat(N_("the result could not be kept: %1"), {test.StoreError()}), kExitFileRefused);
    lines.Result(result);
    if (result.ending == LoopTestEnding::UnitLost) {
        // Nothing reaches a lost unit: its channel holds what the test put
        // out last until it is set again.
        Say(TrFormat(N_("the unit was lost: channel %1 may still put out %2 %3, and is not back as it was "
                        "before the test; set it again once the unit answers"),
                     {std::to_string(tag->channel), ShortNumber(test.PointSignal()), test.SignalUnit()}),
            kExitNoAnswer);
        return kExitNoAnswer;
    }
    if (result.verdict == TestVerdict::Aborted)
        return kExitAborted;
    return result.verdict == TestVerdict::Fail ? kExitTestFailed : kExitOk;
}

int RunTest(const Invocation& inv)
{
    const Command& row = Row("run");
    RunArgs args;
    if (const auto error = ParseRunArgs(inv.args, args))
        return UsageError(row, *error);
    if (inv.port.empty())
        return UsageError(row, Tr(N_("this command needs --port PATH")));

    // The readings are read and checked before anything moves.
    std::optional<std::vector<double>> readings;
    if (args.readings) {
        std::string text;
        if (*args.readings == "-") {
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        } else {
            if (!ReadRegularFile(*args.readings, text, kMaxInputBytes) || text.size() > kMaxInputBytes)
                return Say(TrFormat(N_("%1 cannot be read, or is not a file of at most 16 MiB"), {*args.readings}),
                           kExitFileRefused);
        }
        auto parsed = ParseReadings(text);
        if (const int* line = std::get_if<int>(&parsed))
            return Say(
                TrFormat(N_("%1, line %2: not a number; nothing was put out"), {*args.readings, std::to_string(*line)}),
                kExitUsage);
        readings = std::get<std::vector<double>>(std::move(parsed));
    }

    LoopCheckDatabase db;
    if (const auto rc = OpenDatabase(db, true))
        return *rc;
    const auto tag = db.FindTag(args.tag);
    if (!tag)
        return UsageError(row, TrFormat(N_("there is no tag '%1'"), {args.tag}));
    if (args.supersedes) {
        // Before anything moves: a correction of nothing would run the
        // whole test and then be refused.
        const auto corrected = db.Result(*args.supersedes);
        if (!corrected || corrected->tag.name != tag->name)
            return Say(TrFormat(N_("there is no result %1 of %2 to correct; nothing was put out"),
                                {std::to_string(*args.supersedes), tag->name}),
                       kExitUsage);
    }
    if (readings && readings->size() != tag->points.size())
        return Say(
            TrFormat(N_("%1 holds %2 reading(s), the tag %3 has %4 point(s); nothing was put out"),
                     {*args.readings, std::to_string(readings->size()), tag->name, std::to_string(tag->points.size())}),
            kExitUsage);

    // Before the link starts its reader thread, which inherits the mask.
    BlockStopSignals();
    // A program that holds the port runs the test itself: this command
    // gives it the readings and prints what it does.
    if (const auto connection = ConnectThroughRunningVelmora(inv)) {
        RemoteTest remote(*connection, *tag);
        if (const auto refused = remote.Start(args))
            return Say(TrFormat(N_("%1: %2"), {tag->name, refused->first}), refused->second);
        return DriveTest(remote, *tag, inv, readings, SteadyClock());
    }

    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    std::string version;
    if (!link->QueryVersion(LinkSerial, version))
        return NoAnswer(inv);
    const int count = link->QueryChannelCount();
    if (count < 1)
        return NoAnswer(inv);
    doc.m_model.channelCount = count;
    doc.m_model.versionText = version;
    if (!TakeUnitsWords(*link, doc.m_model))
        return NoAnswer(inv);

    const auto session = PanelSession::Create(doc, *link, prompter);
    RecordThrough(*session, inv);
    if (RunRecorder* recorder = CtlRecorder(inv))
        recorder->Connected(inv.port, version, count, UsbSerialOfPort(inv.port));
    // The session polls and watches for a lost unit, and writes no output
    // of its own: the test puts the channel back, and the other channels
    // are not the test's.
    session->WatchOpenPort();

    LoopTestRequest request;
    request.tag = *tag;
    request.technician = args.technician;
    request.asLeft = args.asLeft;
    request.remark = args.remark;
    request.supersedes = args.supersedes;
    request.supersedeReason = args.reason;
    Clock& clock = link->GetClock();
    // Declared before the test: on every way out the test puts the channel
    // back first, then the frames that do so leave before the port closes.
    struct FlushAtEnd {
        GeneratorLink& link;
        ~FlushAtEnd() { link.FlushWire(); }
    } const flushAtEnd{*link};
    LoopCheckProcedure test(session, clock, db);
    const LoopStart started = test.Start(request);
    if (!started.Started())
        return Say(TrFormat(N_("%1: %2"), {tag->name, started.message}),
                   started.refusal == LoopStartRefusal::NotConnected ? kExitNoAnswer : kExitUsage);

    LocalTest local(test, *session);
    return DriveTest(local, *tag, inv, readings, clock);
}

} // namespace

int RunLoopCheck(const Invocation& inv)
{
    const std::string sub = inv.args.empty() ? "" : inv.args[0];
    if (sub == "tag")
        return RunTag(inv);
    if (sub == "run")
        return RunTest(inv);
    if (sub == "history")
        return RunHistory(inv);
    if (sub == "verify")
        return RunVerify(inv);
    if (sub == "report")
        return RunReport(inv);
    return UsageError(FindCommand("loopcheck"), Tr(N_("loopcheck takes tag, run, history, verify or report")));
}

} // namespace velmora::ctl
