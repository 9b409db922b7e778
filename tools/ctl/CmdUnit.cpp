// Identification of the unit: its firmware version and its channel count,
// from the unit, or from the running Velmora that holds its port.
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlForward.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "platform/Cp932.h"

namespace velmora::ctl {

namespace {

void PrintVersion(const Invocation& inv, const std::string& version)
{
    if (inv.json)
        PrintJsonLine(JsonObject().Add("version", version));
    else
        std::printf("%s\n", version.c_str());
}

void PrintChannels(const Invocation& inv, long long count)
{
    if (inv.json)
        PrintJsonLine(JsonObject().Add("channels", static_cast<std::int64_t>(count)));
    else
        std::printf("%lld\n", count);
}

// The version as the program read it from the unit when it connected.
int VersionThrough(const Invocation& inv, ScpiConnection& program)
{
    int rc = kExitOk;
    const auto answer = AskAnswer(inv, program, "SYSTem:UNIT:VERSion?", rc);
    if (!answer)
        return rc;
    const auto version = StringText(*answer);
    if (!version)
        return ProgramGone(inv);
    PrintVersion(inv, *version);
    return kExitOk;
}

int ChannelsThrough(const Invocation& inv, ScpiConnection& program)
{
    int rc = kExitOk;
    const auto answer = AskAnswer(inv, program, "SYSTem:CHANnel?", rc);
    if (!answer)
        return rc;
    const auto count = IntegerAnswer(*answer);
    if (!count)
        return ProgramGone(inv);
    PrintChannels(inv, *count);
    return kExitOk;
}

} // namespace

int RunVersion(const Invocation& inv)
{
    if (int rc = CheckArgCount("version", inv, 0); rc != kExitOk)
        return rc;
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return VersionThrough(inv, *program);
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    std::string version;
    if (!link->QueryVersion(LinkSerial, version))
        return NoAnswer(inv);
    PrintVersion(inv, Cp932ToUtf8(version));
    return kExitOk;
}

int RunChannels(const Invocation& inv)
{
    if (int rc = CheckArgCount("channels", inv, 0); rc != kExitOk)
        return rc;
    if (const auto program = ConnectThroughRunningVelmora(inv))
        return ChannelsThrough(inv, *program);
    StderrPrompter prompter;
    auto link = ConnectUnit(inv, prompter);
    if (!link)
        return kExitNoAnswer;
    const int count = link->QueryChannelCount();
    if (count < 0)
        return NoAnswer(inv);
    PrintChannels(inv, count);
    return kExitOk;
}

} // namespace velmora::ctl
