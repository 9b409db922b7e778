#pragma once
// How the configuration dialogs refuse an input: one box with the "確認"
// caption and the information icon; the dialog stays open as it was.

#include <string>

#include "platform/Prompter.h"
#include "platform/Translate.h"

namespace velmora {

inline constexpr const char* kCheckCaption = N_("確認");

inline void ShowCheckMessage(Prompter& prompter, const std::string& text)
{
    prompter.Message(text, kCheckCaption, PromptIcon::Information, PromptButtons::Ok);
}

} // namespace velmora
