// The generator information report: the unit's version, its circuit count and
// every range's corrections, read fresh from the unit.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/GeneratorModel.h"
#include "model/RangeTable.h"
#include "protocol/AdjustmentCommands.h"
#include "platform/Translate.h"

namespace velmora::ctl {

int RunReport(const Invocation& inv)
{
    if (int rc = CheckArgCount("report", inv, 0); rc != kExitOk)
        return rc;
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
