#include "panelcore/PanelTexts.h"
#include "platform/Translate.h"

namespace velmora {

std::optional<std::string> AdjustMarkText(unsigned adjustSelect)
{
    switch (adjustSelect & 3u) {
    case 0:
        return std::string();
    case 1:
        return std::string(" M ");
    case 2:
        return std::string(" U ");
    default:
        return std::nullopt;
    }
}

} // namespace velmora
