#include "panelcore/PanelTexts.h"
#include "platform/Translate.h"

namespace velmora {

std::string AlarmText(int alarmCode)
{
    switch (alarmCode) {
    case 0x001:
        return N_("出力部高温");
    case 0x002:
        return "Slewing";
    case 0x004:
        return N_("出力不足");
    case 0x008:
        return "WDOG";
    case 0x010:
        return "CRC1";
    case 0x100:
        return N_("出力不足");
    case 0x200:
        return N_("出力異常");
    case 0x400:
        return "SPI2";
    case 0x800:
        return "CRC2";
    default:
        return {};
    }
}

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
