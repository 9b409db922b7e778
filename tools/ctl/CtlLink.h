#pragma once
// What every velmoractl command that talks to the unit shares: refusing
// stray arguments, opening the link on --port, and saying that the unit did
// not answer.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"

namespace velmora::ctl {

// The command-table row of `name`; the name must be in the table.
const Command& FindCommand(const std::string& name);

// kExitOk when the command got at most `maxArgs` arguments, otherwise the
// usage error has been printed and its exit status is returned.
int CheckArgCount(const std::string& name, const Invocation& inv, std::size_t maxArgs);

// The link on inv.port, its serial channel connected; null when the port
// cannot be used (the channel has told `prompter`, which names the port).
std::unique_ptr<GeneratorLink> ConnectUnit(const Invocation& inv, Prompter& prompter);

// "--name VALUE" or "--name=VALUE" at args[i]; advances i past the value.
// Nothing when args[i] is not this option; an empty optional inside when the
// value is missing.
std::optional<std::optional<std::string>> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                                      const std::string& name);

// Prints that the unit on inv.port did not answer; returns kExitNoAnswer.
int NoAnswer(const Invocation& inv);

} // namespace velmora::ctl
