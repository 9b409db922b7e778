#include "loopcheck/LoopResult.h"

#include <chrono>
#include <ctime>

#include "platform/JsonText.h"
#include "platform/Sha256.h"

namespace velmora {

const char* LoopTestKindKey(LoopTestKind kind)
{
    switch (kind) {
    case LoopTestKind::AsFound:
        return "as_found";
    case LoopTestKind::AsLeft:
        return "as_left";
    case LoopTestKind::AsFoundAndLeft:
        return "as_found_and_left";
    }
    return "as_found";
}

std::optional<LoopTestKind> LoopTestKindFromKey(std::string_view key)
{
    for (LoopTestKind k : {LoopTestKind::AsFound, LoopTestKind::AsLeft, LoopTestKind::AsFoundAndLeft})
        if (key == LoopTestKindKey(k))
            return k;
    return std::nullopt;
}

const char* TestVerdictKey(TestVerdict verdict)
{
    switch (verdict) {
    case TestVerdict::Pass:
        return "pass";
    case TestVerdict::Adjust:
        return "adjust";
    case TestVerdict::Fail:
        return "fail";
    case TestVerdict::Aborted:
        return "aborted";
    }
    return "aborted";
}

std::optional<TestVerdict> TestVerdictFromKey(std::string_view key)
{
    for (TestVerdict v : {TestVerdict::Pass, TestVerdict::Adjust, TestVerdict::Fail, TestVerdict::Aborted})
        if (key == TestVerdictKey(v))
            return v;
    return std::nullopt;
}

TestVerdict OverallVerdict(const std::vector<PointVerdict>& points)
{
    TestVerdict worst = TestVerdict::Pass;
    for (PointVerdict p : points) {
        if (p == PointVerdict::Fail)
            return TestVerdict::Fail;
        if (p == PointVerdict::Adjust)
            worst = TestVerdict::Adjust;
    }
    return worst;
}

const char* LoopTestEndingKey(LoopTestEnding ending)
{
    switch (ending) {
    case LoopTestEnding::Completed:
        return "completed";
    case LoopTestEnding::Aborted:
        return "aborted";
    case LoopTestEnding::UnitLost:
        return "unit_lost";
    case LoopTestEnding::Disturbed:
        return "disturbed";
    }
    return "aborted";
}

std::optional<LoopTestEnding> LoopTestEndingFromKey(std::string_view key)
{
    for (LoopTestEnding e :
         {LoopTestEnding::Completed, LoopTestEnding::Aborted, LoopTestEnding::UnitLost, LoopTestEnding::Disturbed})
        if (key == LoopTestEndingKey(e))
            return e;
    return std::nullopt;
}

namespace {

// Numbers as the shortest text that reads back as the same double: the
// database keeps REAL as the same eight bytes, so the text is the same when
// the row is read again.
std::string Num(double v)
{
    // -0 is kept by SQLite as 0: both are written "0".
    return JsonNumber(v == 0.0 ? 0.0 : v);
}

void Line(std::string& out, const char* key, const std::string& value)
{
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

} // namespace

std::string CanonicalResultText(const LoopResult& r)
{
    const LoopTag& t = r.tag;
    std::string s = "velmora-loopcheck-result 1\n";
    Line(s, "id", std::to_string(r.id));
    Line(s, "tag", JsonString(t.name));
    Line(s, "description", JsonString(t.description));
    Line(s, "location", JsonString(t.location));
    Line(s, "channel", std::to_string(t.channel));
    Line(s, "range", JsonString(t.range));
    Line(s, "lrv", Num(t.lrv));
    Line(s, "urv", Num(t.urv));
    Line(s, "unit", JsonString(t.unit));
    Line(s, "transfer", LoopTransferKey(t.transfer));
    std::string points;
    for (double p : t.points)
        points += (points.empty() ? "" : ",") + Num(p);
    Line(s, "points", points);
    Line(s, "tolerance", Num(t.tolerance));
    Line(s, "adjust_limit", t.adjustLimit ? Num(*t.adjustLimit) : "none");
    Line(s, "settle", Num(t.settleSeconds));
    Line(s, "decimals", std::to_string(t.decimals));
    Line(s, "technician", JsonString(r.technician));
    Line(s, "kind", LoopTestKindKey(r.kind));
    Line(s, "start_us", std::to_string(r.startUs));
    Line(s, "end_us", std::to_string(r.endUs));
    Line(s, "unit_version", JsonString(r.unitVersion));
    Line(s, "unit_serial", JsonString(r.unitSerial));
    Line(s, "port", JsonString(r.port));
    Line(s, "velmora_version", JsonString(r.velmoraVersion));
    Line(s, "verdict", TestVerdictKey(r.verdict));
    Line(s, "ending", LoopTestEndingKey(r.ending));
    Line(s, "ending_detail", JsonString(r.endingDetail));
    Line(s, "remark", JsonString(r.remark));
    Line(s, "supersedes", r.supersedes ? std::to_string(*r.supersedes) : "none");
    Line(s, "supersede_reason", JsonString(r.supersedeReason));
    Line(s, "point_count", std::to_string(r.points.size()));
    for (const LoopPointResult& p : r.points) {
        Line(s, "point",
             std::to_string(p.index) + " " + Num(p.percent) + " " + Num(p.output) + " " + JsonString(p.signalUnit) +
                 " " + std::to_string(p.code) + " " + Num(p.expected) + " " + Num(p.reading) + " " +
                 Num(p.errorPercent) + " " + PointVerdictKey(p.verdict));
    }
    Line(s, "previous", r.previousHash);
    return s;
}

std::string ResultHash(const LoopResult& result)
{
    const std::string text = CanonicalResultText(result);
    return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string IsoUtcSeconds(std::int64_t us)
{
    const std::time_t seconds = static_cast<std::time_t>(us / 1000000 - (us % 1000000 < 0 ? 1 : 0));
    std::tm tm{};
    if (gmtime_r(&seconds, &tm) == nullptr)
        return {};
    char buf[32];
    if (std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
        return {};
    return buf;
}

std::int64_t WallClockNowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace velmora
