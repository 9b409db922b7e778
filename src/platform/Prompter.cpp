#include "platform/Prompter.h"

#include <cstdio>

#include "platform/Translate.h"

namespace velmora {

PromptAnswer StreamPrompter::Message(const std::string& text, const std::string&, PromptIcon, PromptButtons buttons)
{
    std::fprintf(m_pStream, "%s\n", Tr(text).c_str());
    std::fflush(m_pStream);
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
