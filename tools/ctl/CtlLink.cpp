#include "CtlLink.h"

#include <cstdio>
#include <cstdlib>

#include "model/NumberText.h"
#include "model/ChannelSettings.h"
#include "model/RangeTable.h"
#include "panelcore/PanelTexts.h"

#include "platform/Clock.h"
#include "platform/Translate.h"
#include "protocol/LinkFactory.h"

namespace velmora::ctl {

const Command& FindCommand(const std::string& name)
{
    for (const auto& c : CommandTable())
        if (name == c.name)
            return c;
    std::fprintf(stderr, "velmoractl: internal error: no command '%s'\n", name.c_str());
    std::abort();
}

int CheckArgCount(const std::string& name, const Invocation& inv, std::size_t maxArgs)
{
    if (inv.args.size() <= maxArgs)
        return kExitOk;
    return UsageError(FindCommand(name), TrFormat(N_("unexpected argument '%1'"), {inv.args[maxArgs]}));
}

std::unique_ptr<GeneratorLink> ConnectUnit(const Invocation& inv, Prompter& prompter)
{
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    link->SetPortName(inv.port);
    // Without a port there is nothing to wait for: skip the exchange's
    // two seconds of time-outs.
    if (!link->Connect())
        return nullptr;
    return link;
}

std::optional<std::optional<std::string>> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                                      const std::string& name)
{
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size())
            return std::optional<std::string>();
        return std::optional<std::string>(args[++i]);
    }
    if (a.starts_with(name + "="))
        return std::optional<std::string>(a.substr(name.size() + 1));
    return std::nullopt;
}

int NoAnswer(const Invocation& inv)
{
    std::fprintf(stderr, "velmoractl: %s: %s\n", inv.port.c_str(), Tr(kMsgCannotConnect));
    return kExitNoAnswer;
}

} // namespace velmora::ctl
