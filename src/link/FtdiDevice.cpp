#include "link/FtdiDevice.h"

#include <algorithm>
#include <chrono>

#include "link/D2xxDevice.h"
#include "link/LibftdiDevice.h"

namespace velmora {

bool NoFtdiDevice::WaitForData(Clock& clock, Nanos deadline)
{
    clock.WaitUntil(m_never, deadline);
    return false;
}

bool ShortLook(const FtdiDevice& device, Clock& clock, Nanos deadline)
{
    const Nanos next = std::min(deadline, clock.Now() + std::chrono::milliseconds(2));
    if (next > clock.Now())
        clock.SleepFor(next - clock.Now());
    return device.IsOpen();
}

std::unique_ptr<FtdiDevice> MakeFtdiDevice(Prompter& prompter, Clock& clock)
{
    const std::string d2xx = D2xxLibraryPath();
    if (auto device = LoadD2xxDevice(d2xx, prompter))
        return device;
    const std::string libftdi = LibftdiLibraryPath();
    if (auto device = LoadLibftdiDevice(libftdi, clock))
        return device;
    return std::make_unique<NoFtdiDevice>(d2xx + " / " + libftdi);
}

} // namespace velmora
