#pragma once
// The simulator's control language: the commands typed on velmora-sim's
// standard input while it serves, and the command-line options that set the
// start state. Both speak the same vocabulary — every option is the command
// of the same name — so what can be set at start can be changed later.

#include <string>
#include <string_view>
#include <vector>

#include "SimUnit.h"

namespace velmora::sim {

struct SimCommandResult {
    bool ok = true;
    std::string text;  // the reply to show; "error: ..." when !ok
    bool quit = false; // the command asks the simulator to stop
};

// Runs one command line (without its newline) against `unit` at time `now`.
// Blank lines and lines starting with '#' do nothing.
SimCommandResult RunSimCommand(SimUnit& unit, std::string_view line, Nanos now);

// What the command line says beyond the unit's state.
struct SimLaunch {
    std::string linkPath; // --link PATH
    std::string logPath;  // --log FILE
    bool help = false;    // --help
};

// Applies the options (argv without the program name) to `unit` and
// `launch`. Returns an empty text on success, else the reason the options
// were refused.
std::string ApplySimArguments(const std::vector<std::string>& args, SimUnit& unit, SimLaunch& launch, Nanos now);

// The --help text: options and standard-input commands.
std::string SimHelpText();

// The bytes of a line with control characters and bytes above 0x7E shown
// readably: <STX>, <ETX>, <CR>, <LF>, <NUL>, otherwise <xNN>.
std::string ReadableBytes(std::string_view bytes);

} // namespace velmora::sim
