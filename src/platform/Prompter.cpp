#include "platform/Prompter.h"

#include <cstdio>

namespace velmora {

PromptAnswer StderrPrompter::Message(const std::string& text, const std::string&, PromptIcon,
                                     PromptButtons buttons)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    switch (buttons) {
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel:
        return PromptAnswer::Yes;
    case PromptButtons::Ok:
    case PromptButtons::OkCancel:
        break;
    }
    return PromptAnswer::Ok;
}

} // namespace velmora
