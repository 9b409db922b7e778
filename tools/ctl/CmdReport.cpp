// The generator information report: the unit's version, its circuit count and
// every range's corrections, read fresh from the unit, by this command or by
// the running Velmora that holds its port.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "platform/Cp932.h"
#include "protocol/AdjustmentCommands.h"
#include "platform/Translate.h"
#include "remote/ScpiErrors.h"

namespace velmora::ctl {

namespace {

// What the report shows, as one object: the head lines' version and circuit
// count, and one row of the table per channel in use and listed range.
void PrintReportJson(const GeneratorModel& model)
{
    std::vector<std::string> rows;
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
        for (int code = 0; code < kSlotCount; ++code) {
            if (!IsReportedRange(code))
                continue;
            const auto r = static_cast<std::size_t>(code);
            rows.push_back(AdjustmentJson(ch, code, s.makerCorrection[r], s.userAdjustment[r]).Text());
        }
    }
    PrintJsonLine(JsonObject()
                      .Add("version", Cp932ToUtf8(model.versionText))
                      .Add("channels", model.channelCount)
                      .AddRaw("adjustments", JsonArray(rows)));
}

// The report the program holding the port reads from the unit. It comes in
// the program's language: read back and built again, it is the text this
// command prints in its own. A failed read names no channel and range, as
// the program's error does not.
int ReportThrough(const Invocation& inv, ScpiConnection& program)
{
    const auto reply = Ask(program, "SYSTem:REPort?");
    if (!reply)
        return ProgramGone(inv);
    const auto text = reply->answers.size() == 1 ? BlockText(reply->answers[0]) : std::nullopt;
    if (reply->Ok() && text && inv.json) {
        // The same object as from the unit, or none: a text that does not
        // read back has nothing to carry it.
        GeneratorModel model;
        if (!ReadGeneratorReportText(*text, model)) {
            std::fprintf(
                stderr, "velmoractl: %s\n",
                TrFormat(N_("%1: the report of the Velmora that holds the port cannot be read"), {inv.port}).c_str());
            return kExitNoAnswer;
        }
        PrintReportJson(model);
        return kExitOk;
    }
    if (reply->Ok() && text) {
        GeneratorModel model;
        const std::string shown = ReadGeneratorReportText(*text, model) ? BuildGeneratorReport(model) : *text;
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        return kExitOk;
    }
    if (reply->Ok())
        return ProgramGone(inv);
    if (reply->ErrorCode() != scpi::error::kHardware)
        return ProgramRefused(program, reply->error);
    std::fprintf(stderr, "velmoractl: %s: %s\n", inv.port.c_str(), Tr(kReportCommErrorText));
    for (const std::string& e : DrainErrors(program))
        std::fprintf(stderr, "velmoractl: %s\n", e.c_str());
    return kExitNoAnswer;
}

} // namespace

int RunReport(const Invocation& inv)
{
    if (int rc = CheckArgCount("report", inv, 0); rc != kExitOk)
        return rc;
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return ReportThrough(inv, *program);
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;

    // What the panel learns when it connects.
    GeneratorModel model;
    if (!link->QueryVersion(LinkSerial, model.versionText))
        return NoAnswer(inv);
    const int count = link->QueryChannelCount();
    if (count < 0)
        return NoAnswer(inv);
    model.channelCount = count;

    const GeneratorReportRun run = ReadGeneratorReport(*link, model);
    if (run.Ok() && inv.json) {
        PrintReportJson(model);
        return kExitOk;
    }
    if (run.Ok()) {
        std::fwrite(run.text.data(), 1, run.text.size(), stdout);
        return kExitOk;
    }
    std::fwrite(run.partial.data(), 1, run.partial.size(), stderr);
    const ReportReadFailure& f = *run.failure;
    std::fprintf(stderr, "velmoractl: %s\n",
                 TrFormat(f.kind == kAdjustMaker ? N_("%1: %2 (channel %3, %4, maker read %5)")
                                                 : N_("%1: %2 (channel %3, %4, user read %5)"),
                          {inv.port, Tr(kReportCommErrorText), std::to_string(f.channel + 1),
                           Tr(RangeDisplayName(f.rangeCode)), Tr(AdjustOutcomeText(f.outcome))})
                     .c_str());
    return kExitNoAnswer;
}

} // namespace velmora::ctl
