// Identification of the unit: its firmware version and its channel count.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "platform/Cp932.h"

namespace velmora::ctl {

int RunVersion(const Invocation& inv)
{
    if (int rc = CheckArgCount("version", inv, 0); rc != kExitOk)
        return rc;
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    std::string version;
    if (!link->QueryVersion(LinkSerial, version))
        return NoAnswer(inv);
    std::printf("%s\n", Cp932ToUtf8(version).c_str());
    return kExitOk;
}

int RunChannels(const Invocation& inv)
{
    if (int rc = CheckArgCount("channels", inv, 0); rc != kExitOk)
        return rc;
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    const int count = link->QueryChannelCount();
    if (count < 0)
        return NoAnswer(inv);
    std::printf("%d\n", count);
    return kExitOk;
}

} // namespace velmora::ctl
