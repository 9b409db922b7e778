#include "Commands.h"

namespace velmora::ctl {

// Implemented in the Cmd*.cpp files beside this one.
int RunVersion(const Invocation&);
int RunChannels(const Invocation&);

const std::vector<Command>& CommandTable()
{
    static const std::vector<Command> table = {
        {"version", "version", true, RunVersion},
        {"channels", "channels", true, RunChannels},
    };
    return table;
}

} // namespace velmora::ctl
