#pragma once
// The panel's side of the output adjustment: the refusals, the user
// corrections read from the unit before the dialog, and what goes back to
// the unit after it: the new values transferred and stored after OK, the
// values from before transferred after Cancel. Polling and the tick work
// stay paused from the first read to the last transfer.
//
// Thread contract: UI thread only.

#include <functional>
#include "platform/Translate.h"

namespace velmora {

class AdjustSession;
class PanelSession;
class Prompter;

inline constexpr const char* kMsgCannotSetWhileOn = N_("ＯＮ状態では設定できません。");

enum class AdjustRunResult {
    OutputOn,     // an output was on: refused
    NotConnected, // refused
    ReadFailed,   // a read went unanswered: the dialog did not open
    Saved,        // OK: transferred and stored
    Restored,     // Cancel: the values from before transferred
};

struct AdjustRun {
    AdjustRunResult result = AdjustRunResult::NotConnected;
    // After the dialog: whether every transfer (and the store) was answered.
    // When not, the operator has been told.
    bool unitAnswered = true;
};

// Runs the dialog on the session it is given; true for OK.
using AdjustDialogRunner = std::function<bool(AdjustSession&)>;

AdjustRun RunOutputAdjustment(PanelSession& panel, Prompter& prompter, const AdjustDialogRunner& runDialog);

} // namespace velmora
