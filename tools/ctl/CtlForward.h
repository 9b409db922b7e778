#pragma once
// velmoractl through a running Velmora. A program that holds a port (the
// window, or `velmoractl serve`) answers SCPI on the port's local socket;
// while it does, the port is its alone, and the commands that would open it
// (version, channels, set, status, report, monitor, auto) ask the program
// instead, printing what they print when they open the port themselves and
// ending with the same exit statuses. The commands that need the port to
// themselves (adjust, calibration, firmware update) are refused.
//
// Each command decides the route once, before it touches anything: a
// connection to the socket means the program is there.
//
// Thread contract: the command's thread only.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "CtlScpi.h"

namespace velmora::ctl {

// The connection to the program that holds inv.port; null when none answers
// on the port's local socket, and the command opens the port itself.
std::unique_ptr<ScpiConnection> ConnectThroughRunningVelmora(const Invocation& inv);

// For the commands that need the port to themselves: kExitOk when no
// program holds inv.port (or no port is named); otherwise the refusal is
// printed and its exit status returned.
int RefuseWhileHeld(const Invocation& inv);

// How long one answer may take: a report reads every range of the unit, and
// the window holds its clients while a dialog of its own is open.
inline constexpr int kForwardAnswerMs = 30000;

// The answer to a program message that ends with :SYSTem:ERRor?.
struct ForwardReply {
    // One per query that answered, in order: a query that failed answers
    // nothing, and its error is the one below.
    std::vector<std::string> answers;
    std::string error; // the oldest queued error; "0,..." when there is none
    int ErrorCode() const;
    bool Ok() const { return ErrorCode() == 0; }
};

// The response line of such a message split at the semicolons outside
// strings and blocks; nothing when it does not end with an error entry.
std::optional<ForwardReply> SplitReply(std::string_view line);

// `message` with :SYSTem:ERRor? after it, sent, and its answer waited for;
// nothing when the program did not answer (it went, or stayed busy past
// kForwardAnswerMs).
std::optional<ForwardReply> Ask(ScpiConnection& connection, const std::string& message);
// The same message, only sent: for a loop that takes the answer with
// ScpiConnection::ReadResponse when the socket has it.
bool SendAsking(ScpiConnection& connection, const std::string& message);
// The one answer of a single query; nothing when it failed, and `rc` then
// holds the exit status of the failure, which has been printed.
std::optional<std::string> AskAnswer(const Invocation& inv, ScpiConnection& connection, const std::string& query,
                                     int& rc);

// One program message asked again and again from a tick loop that watches
// the connection's socket, the next only once the last one's answer is in:
// a program that is busy (the window with a dialog of its own open) is
// waited for, not queued up, and a stop signal still ends the loop.
class ProgramPoll {
public:
    // `message` gets :SYSTem:ERRor? after it, as with Ask.
    ProgramPoll(ScpiConnection& connection, std::string message)
        : m_connection(connection),
          m_message(std::move(message))
    {
    }
    // On a tick: asks, unless an answer is still awaited. False when the
    // connection has ended.
    bool Ask();
    // When the socket can be read: the answer once it is whole.
    std::optional<ForwardReply> Answer();
    // The program went: no answer will come.
    bool Ended() const { return m_connection.Ended(); }

private:
    ScpiConnection& m_connection;
    std::string m_message;
    bool m_bAsked = false;
};

// Prints that the program holding inv.port did not answer; kExitNoAnswer.
int ProgramGone(const Invocation& inv);
// Prints the program's errors, `first` and the rest of its queue, one a
// line; kExitNoAnswer.
int ProgramRefused(ScpiConnection& connection, const std::string& first);

// An answer's data elements, split at the commas outside strings.
std::vector<std::string> Elements(std::string_view answer);
// A string answer's text, its doubled quotes single again; nothing for any
// other answer.
std::optional<std::string> StringText(std::string_view answer);
// A definite-length block's bytes; nothing for any other answer.
std::optional<std::string> BlockText(std::string_view answer);
// A decimal integer answer, whole; nothing for anything else.
std::optional<long long> IntegerAnswer(std::string_view answer);

// A number for a SCPI parameter, with more digits than any value the
// program keeps.
std::string NumberText(double value);
// A value as the model keeps it (mA for a current range) in the base unit
// the SCPI levels take (amperes), and back.
double ToBaseUnit(int rangeCode, double value);
double FromBaseUnit(int rangeCode, double value);

} // namespace velmora::ctl
