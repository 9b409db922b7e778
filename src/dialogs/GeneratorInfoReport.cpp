#include "dialogs/GeneratorInfoReport.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "platform/Cp932.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/GeneratorLink.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr const char* kCrLf = "\r\n";
// Names shorter than this many bytes need a second tab to reach the column.
constexpr std::size_t kNameColumnBytes = 8;

std::string Decimal(int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d\t", value);
    return buf;
}

// Lines 1-3: version, circuit count, an empty line.
std::string HeadLines(const GeneratorModel& model)
{
    // The version text holds the bytes the unit sent.
    std::string s = "Version\t" + Cp932ToUtf8(model.versionText) + kCrLf;
    s += Tr(N_("回路数"));
    s += "\t" + std::to_string(model.channelCount) + kCrLf;
    s += kCrLf;
    return s;
}

// Lines 4-6: the title and the two column heads. The heads stand at the
// same tab stops as the values below them (the range name takes the first
// stop), so they line up in any font and either language; runs of
// full-width spaces would only line up where a full-width space happened to
// be a whole fraction of a stop.
std::string TableHead()
{
    std::string s = std::string(Tr(N_("アナログ出力調整値"))) + kCrLf;
    s += std::string("\t\t") + Tr(N_("メーカー")) + "\t\t" + Tr(N_("ユーザー")) + kCrLf;
    s += std::string("\t\tZERO\tGAIN\tZERO\tGAIN\tMODE") + kCrLf;
    return s;
}

std::string ChannelLine(int ch)
{
    return TrFormat(N_("チャネル %1"), {std::to_string(ch + 1)}) + kCrLf;
}

std::string RangeLead(int code)
{
    const std::string name = Tr(RangeDisplayName(code));
    std::string s = "  " + name + "\t";
    if (Cp932Length(name) < kNameColumnBytes)
        s += "\t";
    return s;
}

// Minimum corrections are two's complement, maximum corrections offset
// binary around 0x8000.
int MinValue(std::uint16_t word)
{
    return static_cast<std::int16_t>(word);
}

int MaxValue(std::uint16_t word)
{
    return static_cast<int>(word) - 0x8000;
}

std::string MakerPart(const ChannelSettings& s, int code)
{
    const MakerCorrection& m = s.makerCorrection[static_cast<std::size_t>(code)];
    return Decimal(MinValue(m.minCorrection)) + Decimal(MaxValue(m.maxCorrection));
}

std::string UserPart(const ChannelSettings& s, int code)
{
    const UserAdjustment& u = s.userAdjustment[static_cast<std::size_t>(code)];
    return Decimal(MinValue(u.minCorrection)) + Decimal(MaxValue(u.maxCorrection)) +
        Tr(AdjustSelectText(u.adjustSelect));
}

} // namespace

std::string AdjustSelectText(std::uint16_t adjustSelect)
{
    switch (adjustSelect & 0x3u) {
    case 0:
        return N_("無効");
    case 1:
        return N_("メーカー");
    case 2:
        return N_("ユーザー");
    default:
        return N_("不明");
    }
}

std::string BuildGeneratorReport(const GeneratorModel& model)
{
    std::string s = HeadLines(model) + TableHead();
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const ChannelSettings& c = model.channels[static_cast<std::size_t>(ch)];
        s += ChannelLine(ch);
        for (int code = 0; code < kSlotCount; ++code)
            if (IsReportedRange(code))
                s += RangeLead(code) + MakerPart(c, code) + UserPart(c, code) + kCrLf;
    }
    return s;
}

namespace {

std::optional<int> WholeNumber(std::string_view text)
{
    int v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v);
    if (text.empty() || r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return v;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t next = text.find(separator, at);
        parts.push_back(text.substr(at, next - at));
        if (next == std::string_view::npos)
            return parts;
        at = next + separator.size();
    }
}

// The select bits a MODE column names, in the source's words or English.
std::optional<std::uint16_t> SelectFromText(std::string_view text)
{
    for (std::uint16_t bits = 0; bits < 4; ++bits) {
        const std::string source = AdjustSelectText(bits);
        if (text == source || CatalogueInto(true).Find(source) == text)
            return bits;
    }
    return std::nullopt;
}

} // namespace

bool ReadGeneratorReportText(std::string_view text, GeneratorModel& model)
{
    const std::vector<std::string_view> lines = Split(text, kCrLf);
    if (lines.size() < 3 || !lines[0].starts_with("Version\t"))
        return false;
    model.versionText = Utf8ToCp932(lines[0].substr(8));
    const std::size_t tab = lines[1].rfind('\t');
    const auto count = tab == std::string_view::npos ? std::nullopt : WholeNumber(lines[1].substr(tab + 1));
    if (!count || *count < 1 || *count > kMaxChannels)
        return false;
    model.channelCount = *count;
    // The range rows, and only they, are indented; they come channel by
    // channel in the order the report lists the ranges.
    int ch = 0;
    int code = -1;
    const auto nextRange = [&] {
        do {
            if (++code == kSlotCount) {
                code = 0;
                ++ch;
            }
        } while (!IsReportedRange(code));
    };
    nextRange();
    for (std::string_view line : lines) {
        if (!line.starts_with("  "))
            continue;
        if (ch >= model.ChannelsInUse())
            return false;
        const std::vector<std::string_view> fields = Split(line, "\t");
        if (fields.size() < 6)
            return false;
        std::array<int, 4> v{};
        for (std::size_t k = 0; k < v.size(); ++k) {
            const auto n = WholeNumber(fields[fields.size() - 5 + k]);
            // Minimums are 16-bit two's complement, maximums offset from 0x8000.
            if (!n || *n < -0x8000 || *n > 0x7FFF)
                return false;
            v[k] = *n;
        }
        const auto select = SelectFromText(fields.back());
        if (!select)
            return false;
        ChannelSettings& c = model.channels[static_cast<std::size_t>(ch)];
        const auto r = static_cast<std::size_t>(code);
        c.makerCorrection[r].minCorrection = static_cast<std::uint16_t>(v[0]);
        c.makerCorrection[r].maxCorrection = static_cast<std::uint16_t>(v[1] + 0x8000);
        c.userAdjustment[r].minCorrection = static_cast<std::uint16_t>(v[2]);
        c.userAdjustment[r].maxCorrection = static_cast<std::uint16_t>(v[3] + 0x8000);
        c.userAdjustment[r].adjustSelect = *select;
        nextRange();
    }
    return ch == model.ChannelsInUse();
}

GeneratorReportReader::GeneratorReportReader(GeneratorLink& link, GeneratorModel& model) : m_link(link), m_model(model)
{
}

bool GeneratorReportReader::Step()
{
    std::string& s = m_run.partial;
    switch (m_stage) {
    case Stage::Head:
        s += HeadLines(m_model);
        m_stage = Stage::TableHead;
        return true;
    case Stage::TableHead:
        s += TableHead();
        m_stage = Stage::Ranges;
        m_nChannel = 0;
        m_nCode = -1;
        NextRange();
        return true;
    case Stage::Ranges:
        ReadRange();
        return !Done();
    case Stage::Finish:
        m_run.text = s;
        m_stage = Stage::Done;
        return false;
    case Stage::Done:
        break;
    }
    return false;
}

void GeneratorReportReader::NextRange()
{
    for (;;) {
        ++m_nCode;
        if (m_nCode >= kSlotCount) {
            ++m_nChannel;
            m_nCode = 0;
        }
        if (m_nChannel >= m_model.ChannelsInUse()) {
            m_stage = Stage::Finish;
            return;
        }
        if (IsReportedRange(m_nCode))
            return;
    }
}

void GeneratorReportReader::ReadRange()
{
    std::string& s = m_run.partial;
    const int ch = m_nChannel;
    const int code = m_nCode;
    const ChannelSettings& c = m_model.channels[static_cast<std::size_t>(ch)];
    if (code == FirstReportedRange())
        s += ChannelLine(ch);
    s += RangeLead(code);
    // A unit that did not answer the maker read will not answer the user
    // read either; asking would only add two seconds.
    if (const AdjustOutcome maker = ReadAdjustment(m_link, m_model, LinkSerial, ch, kAdjustMaker, code);
        !Answered(maker)) {
        Fail(ReportReadFailure{ch, code, kAdjustMaker, maker});
        return;
    }
    s += MakerPart(c, code);
    if (const AdjustOutcome user = ReadAdjustment(m_link, m_model, LinkSerial, ch, kAdjustUser, code);
        !Answered(user)) {
        Fail(ReportReadFailure{ch, code, kAdjustUser, user});
        return;
    }
    s += UserPart(c, code) + kCrLf;
    NextRange();
}

void GeneratorReportReader::Fail(const ReportReadFailure& failure)
{
    m_run.failure = failure;
    m_run.partial += kCrLf;
    m_stage = Stage::Done;
}

int GeneratorReportReader::FirstReportedRange()
{
    int code = 0;
    while (code < kSlotCount && !IsReportedRange(code))
        ++code;
    return code;
}

GeneratorReportRun ReadGeneratorReport(GeneratorLink& link, GeneratorModel& model,
                                       const std::function<bool()>& letEventsRun)
{
    GeneratorReportReader reader(link, model);
    do {
        if (letEventsRun && !letEventsRun()) {
            GeneratorReportRun run = reader.Run();
            run.abandoned = true;
            return run;
        }
    } while (reader.Step());
    return reader.Run();
}

bool IsReportedRange(int code)
{
    const std::string name = RangeDisplayName(code);
    return !name.empty() && name != RangeDisplayName(kConversionSlot);
}

} // namespace velmora
