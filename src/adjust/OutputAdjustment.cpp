#include "adjust/OutputAdjustment.h"

#include <vector>

#include "adjust/AdjustSession.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "panelcore/PanelTexts.h"
#include "platform/Prompter.h"
#include "protocol/AdjustmentCommands.h"

namespace velmora {

AdjustRun RunOutputAdjustment(PanelSession& panel, Prompter& prompter, const AdjustDialogRunner& runDialog)
{
    GeneratorModel& model = panel.Document().m_model;
    GeneratorLink& link = panel.Link();
    AdjustRun run;

    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        if (model.IsOutputOn(ch)) {
            prompter.Message(kMsgCannotSetWhileOn, kCaptionConfirm, PromptIcon::Information);
            run.result = AdjustRunResult::OutputOn;
            return run;
        }
    }
    // A connect sequence still running has the port open but does not know
    // the unit yet.
    if (!panel.IsConnected() || panel.IsConnecting()) {
        prompter.Message(kMsgNotConnected, kCaptionConfirm, PromptIcon::Information);
        run.result = AdjustRunResult::NotConnected;
        return run;
    }
    if (model.ChannelsInUse() == 0) {
        run.result = AdjustRunResult::NotConnected;
        return run;
    }

    const ScopedFlag polling = panel.PausePolling();
    const ScopedFlag timerWork = panel.PauseTimerWork();

    std::vector<AdjustChannel> channels;
    for (int ch = 0; ch < model.ChannelsInUse(); ++ch) {
        const int code = model.channels[static_cast<std::size_t>(ch)].rangeCode;
        if (!Answered(ReadAdjustment(link, model, LinkSerial, ch, kAdjustUser, code))) {
            prompter.Message(kReportCommErrorText, kCaptionConfirm, PromptIcon::Information);
            run.result = AdjustRunResult::ReadFailed;
            return run;
        }
        channels.push_back(AdjustChannelFromModel(model, ch));
    }

    AdjustSession session(link, std::move(channels));
    const bool ok = runDialog && runDialog(session);
    // Cancel has switched the test output off already; OK, Enter and a
    // dialog ended from outside have not, and the unit must not be left
    // driving a range end.
    if (session.TestPoint() != kTestOff)
        session.SwitchAllOff();
    if (ok)
        session.ApplyTo(model);
    else
        session.RestoreSelection(model);

    // Every channel goes back whatever one of them met: a unit that missed
    // one transfer may still take the others.
    for (int ch = 0; ch < session.ChannelCount(); ++ch) {
        const AdjustOutcome sent =
            TransferAdjustment(link, model, LinkSerial, ch, session.Channel(ch).rangeCode, kAdjustUser);
        run.unitAnswered = run.unitAnswered && sent != AdjustOutcome::TimedOut && sent != AdjustOutcome::BadReplies;
    }
    if (ok)
        run.unitAnswered = Answered(StoreAdjustment(link, LinkSerial, kAdjustUser)) && run.unitAnswered;
    run.result = ok ? AdjustRunResult::Saved : AdjustRunResult::Restored;

    // The calibration the operator confirmed may not be in the unit; saying
    // nothing would let the dialog's closing read as done.
    if (!run.unitAnswered)
        prompter.Message(kReportCommErrorText, kCaptionConfirm, PromptIcon::Information);
    return run;
}

} // namespace velmora
