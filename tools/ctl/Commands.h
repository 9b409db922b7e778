#pragma once
// velmoractl's command table. A command is one function taking the parsed
// global options and its own arguments; add a row to CommandTable.cpp to add
// one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::ctl {

// Exit statuses every command keeps to.
enum ExitCode : int {
    kExitOk = 0,
    kExitNoAnswer = 1, // the unit did not answer, or was lost
    kExitUsage = 2,
    kExitFileRefused = 3,
    kExitTestFailed = 4, // loopcheck: a point failed, or verify found a result changed
    kExitAborted = 5,    // loopcheck: the test was stopped before its end
};

struct Invocation {
    std::string port;                        // --port, empty when not given
    std::vector<std::string> args;           // the command's own arguments, --json taken out
    bool json = false;                       // --json: JSON lines on standard output (CtlJson.h)
    bool record = true;                      // --no-record: keep no run record
    std::optional<std::int64_t> recordLimit; // --record-limit SIZE
};

struct Command {
    const char* name = nullptr;
    const char* usage = nullptr; // shown by --help, after "velmoractl "
    bool needsPort = false;
    int (*run)(const Invocation&) = nullptr;
    bool json = false; // takes --json
};

const std::vector<Command>& CommandTable();

// Prints "velmoractl: <text>" and the command's usage to standard error;
// returns kExitUsage.
int UsageError(const Command& cmd, const std::string& text);

} // namespace velmora::ctl
