#include "dialogs/GeneratorInfoReport.h"

#include <cstdio>

#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "platform/Cp932.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

namespace {

constexpr const char* kCrLf = "\r\n";
// The ideographic space the column heads are padded with.
constexpr const char* kWideSpace = "\u3000";
// Names shorter than this many bytes need a second tab to reach the column.
constexpr std::size_t kNameColumnBytes = 8;

std::string WideSpaces(int n)
{
    std::string s;
    for (int k = 0; k < n; ++k)
        s += kWideSpace;
    return s;
}

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
    char buf[32];
    std::snprintf(buf, sizeof buf, "回路数\t%d\r\n", static_cast<int>(model.channelCount));
    s += buf;
    s += kCrLf;
    return s;
}

// Lines 4-6: the title and the two column heads.
std::string TableHead()
{
    std::string s = std::string("アナログ出力調整値") + kCrLf;
    s += WideSpaces(14) + "メーカー" + WideSpaces(7) + "ユーザー" + kCrLf;
    s += WideSpaces(11) + "ZERO" + WideSpaces(3) + "GAIN" + WideSpaces(3) + "ZERO" + WideSpaces(2) + "GAIN" +
         WideSpaces(4) + "MODE" + kCrLf;
    return s;
}

std::string ChannelLine(int ch)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "チャネル %d\r\n", ch + 1);
    return buf;
}

std::string RangeLead(int code)
{
    const std::string name = RangeDisplayName(code);
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
           AdjustSelectText(u.adjustSelect);
}

} // namespace

std::string AdjustSelectText(std::uint16_t adjustSelect)
{
    switch (adjustSelect & 0x3u) {
    case 0:
        return "無効";
    case 1:
        return "メーカー";
    case 2:
        return "ユーザー";
    default:
        return "不明";
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

GeneratorReportRun ReadGeneratorReport(GeneratorLink& link, GeneratorModel& model,
                                       const std::function<bool()>& letEventsRun)
{
    GeneratorReportRun run;
    const auto eventsRan = [&] {
        if (!letEventsRun || letEventsRun())
            return true;
        run.abandoned = true;
        return false;
    };
    std::string& s = run.partial;

    if (!eventsRan())
        return run;
    s += HeadLines(model);

    if (!eventsRan())
        return run;
    s += TableHead();
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const ChannelSettings& c = model.channels[static_cast<std::size_t>(ch)];
        s += ChannelLine(ch);
        for (int code = 0; code < kSlotCount; ++code) {
            if (!IsReportedRange(code))
                continue;
            // The reads block the thread for up to two seconds each; the
            // window paints and its buttons answer between them.
            if (!eventsRan())
                return run;
            s += RangeLead(code);
            // A unit that did not answer the maker read will not answer the
            // user read either; asking would only add two seconds.
            if (const AdjustOutcome maker = ReadAdjustment(link, model, LinkSerial, ch, kAdjustMaker, code);
                !Answered(maker)) {
                run.failure = ReportReadFailure{ch, code, kAdjustMaker, maker};
                s += kCrLf;
                return run;
            }
            s += MakerPart(c, code);
            if (const AdjustOutcome user = ReadAdjustment(link, model, LinkSerial, ch, kAdjustUser, code);
                !Answered(user)) {
                run.failure = ReportReadFailure{ch, code, kAdjustUser, user};
                s += kCrLf;
                return run;
            }
            s += UserPart(c, code) + kCrLf;
        }
    }

    if (!eventsRan())
        return run;
    run.text = s;
    return run;
}

bool IsReportedRange(int code)
{
    const std::string name = RangeDisplayName(code);
    return !name.empty() && name != RangeDisplayName(kConversionSlot);
}

} // namespace velmora
