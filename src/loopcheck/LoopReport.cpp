#include "loopcheck/LoopReport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <cstdio>

#include "loopcheck/LoopTagCsv.h"
#include "model/RangeTable.h"
#include "platform/AtomicFile.h"
#include "platform/JsonText.h"
#include "platform/Language.h"
#include "platform/Translate.h"

namespace velmora {

std::vector<LoopResult> LatestCheck(const std::vector<LoopResult>& history)
{
    if (history.empty())
        return {};
    const LoopResult& newest = history.back();
    if (newest.kind != LoopTestKind::AsLeft)
        return {newest};
    // The as-found test of the same check: the newest completed test
    // before it that was not an as-left one (earlier attempts at the same
    // as-left, after a further adjustment, and tests broken off are passed
    // over). An as-found-and-left one closed the check before.
    for (auto it = history.rbegin() + 1; it != history.rend(); ++it) {
        if (it->ending != LoopTestEnding::Completed || it->kind == LoopTestKind::AsLeft)
            continue;
        if (it->kind == LoopTestKind::AsFound)
            return {*it, newest};
        break;
    }
    return {newest};
}

namespace {

std::string Ids(const std::vector<std::int64_t>& ids)
{
    std::string text;
    for (std::int64_t id : ids)
        text += (text.empty() ? "" : ", ") + std::to_string(id);
    return text;
}

std::string KindText(LoopTestKind kind)
{
    switch (kind) {
    case LoopTestKind::AsFound:
        return Tr(N_("As found"));
    case LoopTestKind::AsLeft:
        return Tr(N_("As left"));
    case LoopTestKind::AsFoundAndLeft:
        return Tr(N_("As found and as left"));
    }
    return {};
}

std::string TestVerdictText(TestVerdict verdict)
{
    switch (verdict) {
    case TestVerdict::Pass:
        return Tr(N_("PASS"));
    case TestVerdict::Adjust:
        return Tr(N_("PASS, ADJUST"));
    case TestVerdict::Fail:
        return Tr(N_("FAIL"));
    case TestVerdict::Aborted:
        return Tr(N_("ABORTED"));
    }
    return {};
}

std::string PointVerdictText(PointVerdict verdict)
{
    switch (verdict) {
    case PointVerdict::Pass:
        return Tr(N_("pass"));
    case PointVerdict::Adjust:
        return Tr(N_("adjust"));
    case PointVerdict::Fail:
        return Tr(N_("fail"));
    }
    return {};
}

std::string EndingText(const LoopResult& r)
{
    std::string what;
    switch (r.ending) {
    case LoopTestEnding::Completed:
        return Tr(N_("completed: every point was read"));
    case LoopTestEnding::Aborted:
        what = Tr(N_("aborted"));
        break;
    case LoopTestEnding::UnitLost:
        what = Tr(N_("the unit stopped answering"));
        break;
    case LoopTestEnding::Disturbed:
        what = Tr(N_("the channel was changed by someone else"));
        break;
    }
    return r.endingDetail.empty() ? what : TrFormat(N_("%1 (%2)"), {what, r.endingDetail});
}

std::string RangeText(const std::string& key)
{
    const auto code = RangeCodeFromKey(key);
    const std::string shown = code ? RangeDisplayName(*code) : std::string();
    return shown.empty() ? key : TrFormat(N_("%1 (%2)"), {Tr(shown), key});
}

// A tolerance in % of span, and what it is in the receiver's unit.
std::string LimitText(const LoopTag& t, double percent)
{
    const double inUnit = std::fabs(t.urv - t.lrv) * percent / 100.0;
    std::string unitValue = FormatFixed(inUnit, std::min(t.decimals + 1, kMaxDecimals));
    unitValue.erase(0, unitValue.find_first_not_of(' '));
    return TrFormat(N_("%1 % of span (%2 %3)"), {"±" + ShortNumber(percent), "±" + unitValue, t.unit});
}

std::vector<LoopReportField> LoopFields(const LoopTag& t)
{
    std::vector<LoopReportField> f;
    f.push_back({Tr(N_("Tag")), t.name});
    f.push_back({Tr(N_("Description")), t.description});
    f.push_back({Tr(N_("Location")), t.location});
    f.push_back({Tr(N_("Channel")), std::to_string(t.channel)});
    f.push_back({Tr(N_("Output range")), RangeText(t.range)});
    f.push_back({Tr(N_("Input span")),
                 TrFormat(N_("%1 to %2 %3 (LRV to URV)"), {ShortNumber(t.lrv), ShortNumber(t.urv), t.unit})});
    f.push_back({Tr(N_("Transfer function")),
                 t.transfer == LoopTransfer::SquareRoot ? Tr(N_("square root: LRV + sqrt(p / 100) x span"))
                                                        : Tr(N_("linear: LRV + p / 100 x span"))});
    return f;
}

std::vector<LoopReportField> ProcedureFields(const LoopTag& t)
{
    std::string points;
    for (double p : t.points)
        points += (points.empty() ? "" : ", ") + ShortNumber(p);
    std::vector<LoopReportField> f;
    f.push_back({Tr(N_("Test points")), TrFormat(N_("%1 (% of the signal)"), {points})});
    f.push_back({Tr(N_("Tolerance")), LimitText(t, t.tolerance)});
    f.push_back({Tr(N_("Adjust limit")), t.adjustLimit ? LimitText(t, *t.adjustLimit) : Tr(N_("none"))});
    f.push_back({Tr(N_("Settle time")), TrFormat(N_("%1 s"), {ShortNumber(t.settleSeconds)})});
    f.push_back({Tr(N_("Reading resolution")), TrFormat(N_("%1 decimal(s)"), {std::to_string(t.decimals)})});
    return f;
}

// Two tags set alike, as far as a test is concerned.
bool SameSettings(const LoopTag& a, const LoopTag& b)
{
    return a.name == b.name && a.description == b.description && a.location == b.location && a.channel == b.channel &&
        a.range == b.range && a.lrv == b.lrv && a.urv == b.urv && a.unit == b.unit && a.transfer == b.transfer &&
        a.points == b.points && a.tolerance == b.tolerance && a.adjustLimit == b.adjustLimit &&
        a.settleSeconds == b.settleSeconds && a.decimals == b.decimals;
}

std::string TimeText(std::int64_t us)
{
    return TrFormat(N_("%1 (local %2)"), {ReportUtcTime(us), ReportLocalTime(us)});
}

LoopReportTest BuildTest(const LoopResult& r, const LoopReportContext& context)
{
    LoopReportTest t;
    t.result = r;
    t.hashMatches = ResultHash(r) == r.hash;
    if (const auto it = context.supersededBy.find(r.id); it != context.supersededBy.end())
        t.supersededBy = it->second;
    t.heading = TrFormat(N_("%1: result %2"), {KindText(r.kind), std::to_string(r.id)});
    t.verdictText = TestVerdictText(r.verdict);

    auto& f = t.fields;
    f.push_back({Tr(N_("Technician")), r.technician});
    f.push_back({Tr(N_("Started")), TimeText(r.startUs)});
    f.push_back({Tr(N_("Ended")), TimeText(r.endUs)});
    f.push_back({Tr(N_("Ending")), EndingText(r), r.ending != LoopTestEnding::Completed});
    f.push_back({Tr(N_("Source")),
                 TrFormat(N_("output unit version %1, USB serial %2, on %3"),
                          {r.unitVersion, r.unitSerial.empty() ? Tr(N_("unknown")) : r.unitSerial, r.port})});
    f.push_back({Tr(N_("Software")), TrFormat(N_("Velmora %1"), {r.velmoraVersion})});
    f.push_back({Tr(N_("Remark")), r.remark});
    if (r.supersedes)
        f.push_back({Tr(N_("Corrects")),
                     TrFormat(N_("result %1, because: %2"), {std::to_string(*r.supersedes), r.supersedeReason})});
    if (!t.supersededBy.empty())
        f.push_back({Tr(N_("Corrected by")), TrFormat(N_("result %1"), {Ids(t.supersededBy)}), true});
    f.push_back({Tr(N_("Previous result's hash")),
                 r.previousHash.empty() ? Tr(N_("none (the first result kept)")) : r.previousHash});
    f.push_back({Tr(N_("Hash (SHA-256)")), r.hash});
    f.push_back({Tr(N_("Integrity")),
                 t.hashMatches ? Tr(N_("the result's rows match its hash"))
                               : Tr(N_("THE RESULT'S ROWS DO NOT MATCH ITS HASH: changed after it was kept")),
                 !t.hashMatches});

    for (const LoopPointResult& p : r.points) {
        LoopReportRow row;
        row.verdict = p.verdict;
        row.index = std::to_string(p.index);
        row.percent = ShortNumber(p.percent);
        std::string output = FormatFixed(p.output, 3);
        output.erase(0, output.find_first_not_of(' '));
        row.output = output + " " + p.signalUnit;
        row.expected = FormatReading(r.tag, p.expected);
        row.reading = FormatReading(r.tag, p.reading);
        row.error = FormatErrorPercent(p.errorPercent);
        row.verdictText = PointVerdictText(p.verdict);
        t.rows.push_back(std::move(row));
    }
    return t;
}

std::string NumberCell(double v)
{
    return v == 0.0 ? "0" : JsonNumber(v);
}

} // namespace

LoopReport BuildLoopReport(const std::vector<LoopResult>& tests, const LoopReportContext& context)
{
    LoopReport report;
    report.languageCode = CurrentLanguage() == Language::English ? "en" : "ja";
    report.madeUs = context.madeUs;
    report.chain = context.chain;
    report.title = Tr(N_("Loop check record"));
    const LoopTag tag = tests.empty() ? LoopTag{} : tests.back().tag;
    report.tagLine = tag.description.empty() ? tag.name : TrFormat(N_("%1: %2"), {tag.name, tag.description});

    report.loopHeading = Tr(N_("Loop"));
    report.loop = LoopFields(tag);
    report.procedureHeading = Tr(N_("Procedure"));
    report.procedure = ProcedureFields(tag);

    std::vector<std::int64_t> ids;
    for (const LoopResult& r : tests) {
        LoopReportTest t = BuildTest(r, context);
        if (!SameSettings(r.tag, tag)) {
            t.tagFields = LoopFields(r.tag);
            const auto more = ProcedureFields(r.tag);
            t.tagFields.insert(t.tagFields.end(), more.begin(), more.end());
        }
        ids.push_back(r.id);
        report.tests.push_back(std::move(t));
    }

    if (!context.chain.ok)
        report.alerts.push_back(
            TrFormat(N_("THE CHAIN OF RESULTS DOES NOT VERIFY: %1. Results may have been changed, removed or inserted "
                        "behind the program's back; this record cannot be relied on until the cause is found."),
                     {context.chain.reason}));
    for (const LoopReportTest& t : report.tests) {
        if (!t.hashMatches)
            report.alerts.push_back(
                TrFormat(N_("Result %1 was changed after it was kept: its rows do not match its hash."),
                         {std::to_string(t.result.id)}));
        if (!t.supersededBy.empty())
            report.alerts.push_back(TrFormat(N_("Result %1 was corrected later by result %2."),
                                             {std::to_string(t.result.id), Ids(t.supersededBy)}));
        if (!t.tagFields.empty())
            report.alerts.push_back(
                TrFormat(N_("The tag was set otherwise for result %1: its settings are shown with it."),
                         {std::to_string(t.result.id)}));
    }

    report.columns = {Tr(N_("No.")),
                      Tr(N_("Nominal (% of signal)")),
                      Tr(N_("Output sent")),
                      TrFormat(N_("Expected (%1)"), {tag.unit}),
                      TrFormat(N_("Read (%1)"), {tag.unit}),
                      Tr(N_("Error (% of span)")),
                      Tr(N_("Verdict"))};

    report.chainHeading = Tr(N_("Chain of results"));
    report.chainText = context.chain.ok
        ? TrFormat(N_("Verified when this record was made: the %1 result(s) kept form an unbroken chain, each "
                      "matching its hash."),
                   {std::to_string(context.chain.checked)})
        : TrFormat(N_("NOT VERIFIED when this record was made: %1."), {context.chain.reason});

    report.signatureHeading = Tr(N_("Signatures"));
    report.signatureColumns = {Tr(N_("Role")), Tr(N_("Name")), Tr(N_("Date")), Tr(N_("Signature"))};
    std::string technicians;
    for (const LoopResult& r : tests)
        if (technicians.find(r.technician) == std::string::npos)
            technicians += (technicians.empty() ? "" : ", ") + r.technician;
    report.signatures = {{Tr(N_("Performed by")), technicians}, {Tr(N_("Reviewed by")), {}}};

    report.madeText =
        TrFormat(N_("Record made %1 (local %2) by Velmora %3."),
                 {ReportUtcTime(context.madeUs), ReportLocalTime(context.madeUs), context.velmoraVersion});
    report.footerText = TrFormat(ids.size() == 1 ? N_("%1, result %2") : N_("%1, results %2"), {tag.name, Ids(ids)});
    report.pagePattern = Tr(N_("page %1 of %2"));
    return report;
}

LoopReportMade MakeLoopReport(LoopCheckDatabase& db, const LoopReportSubject& subject, std::int64_t nowUs)
{
    LoopReportMade made;
    std::vector<LoopResult> tests;
    if (subject.resultId) {
        auto r = db.Result(*subject.resultId);
        if (!r) {
            made.problem = LoopReportProblem::NoSuchResult;
            made.message = TrFormat(N_("there is no result %1"), {std::to_string(*subject.resultId)});
            return made;
        }
        tests.push_back(std::move(*r));
    } else {
        tests = LatestCheck(db.History(subject.tagName));
        if (tests.empty()) {
            const bool known = db.FindTag(subject.tagName).has_value();
            made.problem = known ? LoopReportProblem::NoResults : LoopReportProblem::NoSuchTag;
            made.message = known ? TrFormat(N_("the tag '%1' has not been tested yet"), {subject.tagName})
                                 : TrFormat(N_("there is no tag or result '%1'"), {subject.tagName});
            return made;
        }
    }
    LoopReportContext context;
    context.chain = db.Verify();
    context.madeUs = nowUs;
    context.velmoraVersion = VELMORA_VERSION;
    for (const LoopResult& r : tests)
        context.supersededBy[r.id] = db.SupersededBy(r.id);
    made.report = BuildLoopReport(tests, context);
    return made;
}

LoopReportSubject ParseLoopReportSubject(const std::string& text, bool asTag, LoopCheckDatabase& db)
{
    LoopReportSubject subject;
    subject.tagName = text;
    if (asTag || text.empty())
        return subject;
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size() || id <= 0)
        return subject;
    // A tag named like a number stays reachable while no result has it.
    if (db.Result(id) || !db.FindTag(text))
        subject.resultId = id;
    return subject;
}

std::optional<LoopReportFormat> LoopReportFormatOfPath(std::string_view path)
{
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    std::string ext(path.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "pdf")
        return LoopReportFormat::Pdf;
    if (ext == "html" || ext == "htm")
        return LoopReportFormat::Html;
    if (ext == "csv")
        return LoopReportFormat::Csv;
    return std::nullopt;
}

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
                break;
            out += c;
        }
    }
    return out;
}

namespace {

// Remarks may hold line ends: kept as line breaks.
std::string HtmlText(std::string_view text)
{
    std::string out = HtmlEscape(text);
    for (std::size_t at = 0; (at = out.find('\n', at)) != std::string::npos; at += 5)
        out.replace(at, 1, "<br>");
    return out;
}

// Aborted is drawn as a failure.
const char* VerdictClass(TestVerdict v)
{
    return v == TestVerdict::Pass ? "pass" : v == TestVerdict::Adjust ? "adjust" : "fail";
}

void Fields(std::string& h, const std::vector<LoopReportField>& fields, const char* labelWidth = "24%")
{
    h += "<table class=\"fields\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\">\n";
    for (const LoopReportField& f : fields) {
        h += "<tr><th class=\"label\" width=\"" + std::string(labelWidth) + "\" align=\"left\" valign=\"top\">" +
            HtmlEscape(f.label) + "</th>";
        h += f.alert ? "<td class=\"alert-text\">" : "<td>";
        h += HtmlText(f.value) + "</td></tr>\n";
    }
    h += "</table>\n";
}

// Lengths in px, fonts in pt: Qt's rich text reads no other unit for a
// length (a padding in pt is none), and a browser reads both.
constexpr const char* kStyle = R"(
@page { size: A4; margin: 15mm 15mm 18mm 15mm; }
body { font-family: "DejaVu Sans", "IPAPGothic", "IPAGothic", "Noto Sans CJK JP", sans-serif; font-size: 8.5pt;
  color: #000; }
h1 { font-size: 15pt; margin: 0 0 2px 0; }
h2 { font-size: 11pt; margin: 10px 0 3px 0; border-bottom: 1px solid #444; }
table.columns td { padding: 0 8px 0 0; }
p { margin: 2px 0; }
table { border-collapse: collapse; }
table.fields th, table.fields td { padding: 0 6px 0 0; vertical-align: top; }
table.fields th { font-weight: normal; color: #333; }
table.points { margin-top: 4px; }
table.points th, table.points td { border: 1px solid #666; padding: 2px 6px; }
table.points th { background-color: #e8e8e8; }
td.num { text-align: right; }
.pass { color: #006400; }
.adjust { color: #8a5a00; font-weight: bold; }
.fail { color: #b00000; font-weight: bold; }
.verdict { font-weight: bold; }
table.alert { margin: 6px 0; }
table.alert td { border: 2px solid #b00000; background-color: #fde8e8; color: #b00000; font-weight: bold;
  padding: 6px 8px; }
.alert-text { color: #b00000; font-weight: bold; }
table.signatures { margin-top: 4px; }
table.signatures th, table.signatures td { border: 1px solid #666; padding: 4px 6px; }
table.signatures td { padding-top: 14px; padding-bottom: 14px; }
.made { color: #444; font-size: 8pt; margin-top: 10px; }
@media print { .test { page-break-inside: avoid; } thead { display: table-header-group; } }
)";

} // namespace

std::string LoopReportHtml(const LoopReport& report)
{
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"" + report.languageCode + "\">\n<head>\n<meta charset=\"utf-8\">\n";
    h += "<title>" + HtmlEscape(report.title + " " + report.footerText) + "</title>\n";
    h += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    h += "<h1>" + HtmlEscape(report.title) + "</h1>\n";
    h += "<p class=\"tagline\"><b>" + HtmlEscape(report.tagLine) + "</b></p>\n";
    for (const std::string& a : report.alerts)
        h += "<table class=\"alert\" width=\"100%\" cellspacing=\"0\" cellpadding=\"5\" border=\"2\" "
             "bgcolor=\"#fde8e8\"><tr><td role=\"alert\">" +
            HtmlText(a) + "</td></tr></table>\n";

    // The loop and the procedure side by side: the tests' tables below
    // fit on the page the record begins on.
    h += "<table class=\"columns\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\"><tr>"
         "<td width=\"50%\" valign=\"top\">\n<h2>" +
        HtmlEscape(report.loopHeading) + "</h2>\n";
    Fields(h, report.loop, "38%");
    h += "</td>\n<td width=\"50%\" valign=\"top\">\n<h2>" + HtmlEscape(report.procedureHeading) + "</h2>\n";
    Fields(h, report.procedure, "34%");
    h += "</td></tr></table>\n";

    for (const LoopReportTest& t : report.tests) {
        h += "<div class=\"test\">\n<h2>" + HtmlEscape(t.heading) + " <span class=\"verdict " +
            VerdictClass(t.result.verdict) + "\">" + HtmlEscape(t.verdictText) + "</span></h2>\n";
        Fields(h, t.fields);
        if (!t.tagFields.empty())
            Fields(h, t.tagFields);
        h += "<table class=\"points\" width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\">\n<thead><tr>";
        for (const std::string& c : report.columns)
            h += "<th>" + HtmlEscape(c) + "</th>";
        h += "</tr></thead>\n<tbody>\n";
        for (const LoopReportRow& r : t.rows) {
            h += "<tr><td class=\"num\" align=\"right\">" + HtmlEscape(r.index) + "</td>";
            for (const std::string* cell : {&r.percent, &r.output, &r.expected, &r.reading, &r.error})
                h += "<td class=\"num\" align=\"right\">" + HtmlEscape(*cell) + "</td>";
            h += "<td class=\"" + std::string(PointVerdictKey(r.verdict)) + "\">" + HtmlEscape(r.verdictText) +
                "</td></tr>\n";
        }
        h += "</tbody>\n</table>\n</div>\n";
    }

    h += "<h2>" + HtmlEscape(report.chainHeading) + "</h2>\n";
    h += std::string("<p class=\"") + (report.chain.ok ? "chain" : "alert-text") + "\">" + HtmlText(report.chainText) +
        "</p>\n";

    h += "<h2>" + HtmlEscape(report.signatureHeading) + "</h2>\n";
    h += "<table class=\"signatures\" width=\"100%\" cellspacing=\"0\" cellpadding=\"4\" border=\"1\">\n<tr>";
    for (std::size_t i = 0; i < report.signatureColumns.size(); ++i)
        h += std::string("<th align=\"left\" width=\"") + (i == 3 ? "34%" : "22%") + "\">" +
            HtmlEscape(report.signatureColumns[i]) + "</th>";
    h += "</tr>\n";
    for (const LoopReport::Signature& s : report.signatures)
        h += "<tr><td>" + HtmlEscape(s.role) + "</td><td>" + HtmlEscape(s.name) + "</td><td></td><td></td></tr>\n";
    h += "</table>\n";
    h += "<p class=\"made\">" + HtmlEscape(report.madeText) + "</p>\n";
    h += "</body>\n</html>\n";
    return h;
}

std::string LoopReportCsv(const LoopReport& report)
{
    static const char* const kColumns[] = {"result",
                                           "tag",
                                           "description",
                                           "location",
                                           "channel",
                                           "range",
                                           "lrv",
                                           "urv",
                                           "unit",
                                           "transfer",
                                           "tolerance",
                                           "adjust_limit",
                                           "kind",
                                           "verdict",
                                           "ending",
                                           "technician",
                                           "start_utc",
                                           "end_utc",
                                           "unit_version",
                                           "unit_serial",
                                           "velmora_version",
                                           "remark",
                                           "supersedes",
                                           "point",
                                           "percent",
                                           "output",
                                           "output_unit",
                                           "code",
                                           "expected",
                                           "reading",
                                           "error_percent_of_span",
                                           "point_verdict",
                                           "hash",
                                           "hash_matches",
                                           "chain_verified"};
    std::string csv;
    for (const char* c : kColumns)
        csv += std::string(csv.empty() ? "" : ",") + c;
    csv += "\r\n";
    for (const LoopReportTest& t : report.tests) {
        const LoopResult& r = t.result;
        const LoopTag& g = r.tag;
        const auto row = [&](const LoopPointResult* p) {
            const std::vector<std::string> cells = {std::to_string(r.id),
                                                    g.name,
                                                    g.description,
                                                    g.location,
                                                    std::to_string(g.channel),
                                                    g.range,
                                                    NumberCell(g.lrv),
                                                    NumberCell(g.urv),
                                                    g.unit,
                                                    LoopTransferKey(g.transfer),
                                                    NumberCell(g.tolerance),
                                                    g.adjustLimit ? NumberCell(*g.adjustLimit) : std::string(),
                                                    LoopTestKindKey(r.kind),
                                                    TestVerdictKey(r.verdict),
                                                    LoopTestEndingKey(r.ending),
                                                    r.technician,
                                                    IsoUtcSeconds(r.startUs),
                                                    IsoUtcSeconds(r.endUs),
                                                    r.unitVersion,
                                                    r.unitSerial,
                                                    r.velmoraVersion,
                                                    r.remark,
                                                    r.supersedes ? std::to_string(*r.supersedes) : std::string(),
                                                    p ? std::to_string(p->index) : std::string(),
                                                    p ? NumberCell(p->percent) : std::string(),
                                                    p ? NumberCell(p->output) : std::string(),
                                                    p ? p->signalUnit : std::string(),
                                                    p ? std::to_string(p->code) : std::string(),
                                                    p ? NumberCell(p->expected) : std::string(),
                                                    p ? NumberCell(p->reading) : std::string(),
                                                    p ? NumberCell(p->errorPercent) : std::string(),
                                                    p ? PointVerdictKey(p->verdict) : std::string(),
                                                    r.hash,
                                                    t.hashMatches ? "true" : "false",
                                                    report.chain.ok ? "true" : "false"};
            std::string line;
            for (const std::string& c : cells)
                line += (line.empty() ? "" : ",") + CsvField(c);
            csv += line + "\r\n";
        };
        if (r.points.empty())
            row(nullptr);
        for (const LoopPointResult& p : r.points)
            row(&p);
    }
    return csv;
}

LoopReportWrite WriteLoopReportText(const LoopReport& report, const std::string& path, LoopReportFormat format)
{
    LoopReportWrite w;
    if (format == LoopReportFormat::Pdf) {
        w.message = TrFormat(N_("%1: this build of Velmora writes no PDF (it was built without Qt); write .html "
                                "and print it, or .csv"),
                             {path});
        return w;
    }
    const std::string text = format == LoopReportFormat::Html ? LoopReportHtml(report) : LoopReportCsv(report);
    const AtomicWriteResult written = WriteFileAtomically(path, text);
    w.ok = static_cast<bool>(written);
    if (!w.ok)
        w.message = TrFormat(N_("%1: %2"), {path, written.Describe()});
    return w;
}

std::string ReportUtcTime(std::int64_t us)
{
    const std::time_t seconds = static_cast<std::time_t>(us / 1000000 - (us % 1000000 < 0 ? 1 : 0));
    std::tm tm{};
    char buf[48];
    if (gmtime_r(&seconds, &tm) == nullptr || std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm) == 0)
        return {};
    return buf;
}

std::string ReportLocalTime(std::int64_t us)
{
    const std::time_t seconds = static_cast<std::time_t>(us / 1000000 - (us % 1000000 < 0 ? 1 : 0));
    std::tm tm{};
    char buf[48];
    if (localtime_r(&seconds, &tm) == nullptr || std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm) == 0)
        return {};
    // Offsets are within a day; held there, the text has its width.
    const long offset = std::clamp(tm.tm_gmtoff, -86'399L, 86'399L);
    const long magnitude = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, " UTC%c%02d:%02d", offset < 0 ? '-' : '+', static_cast<int>(magnitude / 3600),
                  static_cast<int>(magnitude % 3600 / 60));
    return std::string(buf) + zone;
}

} // namespace velmora
