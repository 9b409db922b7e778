#pragma once
// The texts the main panel shows: alarm labels, the adjustment mark, the
// ON/OFF captions and the operator messages of the connection and the
// output operations (UTF-8).
//
// Thread contract: none needed.

#include <optional>
#include <string>
#include <string_view>

#include "model/GeneratorModel.h" // AlarmText
#include "platform/Prompter.h"
#include "platform/Translate.h"

namespace velmora {

inline constexpr const char* kCaptionConfirm = N_("確認");
inline constexpr const char* kCaptionWarning = kWarningCaption;

inline constexpr const char* kMsgPortMissing = N_("指定接続ポートが存在しません");
inline constexpr const char* kMsgNothingSelected = N_("選択されていません。");
inline constexpr const char* kMsgCannotConnect = N_("接続できません。");
inline constexpr const char* kMsgChannelCountSwitched = N_("表示回路数を切替ます。");
inline constexpr const char* kMsgConnectionReleased = N_("接続が解除されました。");
inline constexpr const char* kMsgNotConnected = N_("接続されていません");
inline constexpr const char* kMsgCannotSwitchWhileOn = N_("ＯＮ状態では切替できません。");
// Standard output, when the tick cannot be started.
inline constexpr const char* kMsgTimerFailed = N_("タイマーの作成失敗");

inline constexpr const char* kOnText = N_("ＯＮ");
inline constexpr const char* kOffText = N_("ＯＦＦ");

// The adjustment mark for bits 0-1 of a range's adjustSelect word: "" for
// none, " M " for the maker's, " U " for the user's correction. Nothing for
// 3, which leaves the mark as it is.
std::optional<std::string> AdjustMarkText(unsigned adjustSelect);

} // namespace velmora
