#include "protocol/AlarmText.h"

#include "model/GeneratorModel.h"

namespace velmora {

std::string AlarmText(int alarmCode)
{
    switch (alarmCode) {
    case kAlarmOverTemperature:
        return "出力部高温";
    case kAlarmSlewing:
        return "Slewing";
    case kAlarmOutputShort:
        return "出力不足";
    case kAlarmWatchdog:
        return "WDOG";
    case kAlarmCrc1:
        return "CRC1";
    case kAlarmExtInsufficient:
        return "出力不足";
    case kAlarmExtAbnormal:
        return "出力異常";
    case kAlarmSpi2:
        return "SPI2";
    case kAlarmCrc2:
        return "CRC2";
    default:
        return {};
    }
}

std::optional<std::string> AdjustmentMark(std::uint16_t adjustSelect)
{
    switch (adjustSelect & 0x3u) {
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
