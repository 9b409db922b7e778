// A SCPI client for the shell: each command is sent as one program message,
// the answer to a message with a query is printed, and at the end the error
// queue is read out; its errors go to standard error and make the exit
// status 1. Without commands they come from standard input, one a line,
// with a prompt on a terminal.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlJson.h"
#include "CtlLink.h"
#include "CtlScpi.h"
#include "platform/Clock.h"
#include "platform/Translate.h"
#include "remote/RemoteServer.h"
#include "remote/ScpiParser.h"

namespace velmora::ctl {

ScpiConnection::~ScpiConnection()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::optional<std::string> ScpiConnection::OpenLocal(const std::string& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path))
        return path + ": " + Tr(N_("the path is too long for a socket"));
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        const int err = errno;
        return path + ": " + std::strerror(err);
    }
    return std::nullopt;
}

std::optional<std::string> ScpiConnection::OpenTcp(const remote::TcpEndpoint& endpoint)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(endpoint.port);
    const std::string where = endpoint.host + ":" + std::to_string(endpoint.port);
    if (inet_pton(AF_INET, endpoint.host.c_str(), &addr.sin_addr) != 1)
        return where + ": " + Tr(N_("not an IPv4 address"));
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        const int err = errno;
        return where + ": " + std::strerror(err);
    }
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return std::nullopt;
}

bool ScpiConnection::Send(std::string_view message)
{
    std::string line(message);
    line += '\n';
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> ScpiConnection::ReadResponse(int timeoutMs)
{
    Clock& clock = SteadyClock();
    const Deadline deadline(clock, timeoutMs);
    std::optional<std::size_t> blockEnd; // the end of a definite-length block, once its header is in
    for (;;) {
        // The answer is a line, unless a definite-length block (#<n><len>)
        // holds line feeds of its own.
        if (!m_buffer.empty() && m_buffer[0] == '#' && m_buffer.size() >= 2 && !blockEnd) {
            const int digits = m_buffer[1] - '0';
            if (digits >= 1 && digits <= 9 && m_buffer.size() >= 2 + static_cast<std::size_t>(digits)) {
                const std::string length = m_buffer.substr(2, static_cast<std::size_t>(digits));
                if (length.find_first_not_of("0123456789") == std::string::npos)
                    blockEnd = 2 + static_cast<std::size_t>(digits) + std::stoull(length);
            }
        }
        const std::size_t from = blockEnd ? *blockEnd : 0;
        if (!blockEnd || m_buffer.size() > from) {
            const std::size_t lf = m_buffer.find('\n', from);
            if (lf != std::string::npos) {
                std::string line = m_buffer.substr(0, lf);
                m_buffer.erase(0, lf + 1);
                return line;
            }
        }
        // Past the deadline the socket is still looked at once, without
        // waiting: what has come is taken.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline.At() - clock.Now());
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = read(m_fd, chunk, sizeof(chunk));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            m_bEnded = true;
            return std::nullopt;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

bool HasQuery(std::string_view message)
{
    const scpi::ParsedMessage parsed = scpi::ParseProgramMessage(message);
    for (const scpi::MessageUnit& unit : parsed.units)
        if (unit.query)
            return true;
    return false;
}

std::optional<std::string> ScpiConnection::Query(std::string_view message, int timeoutMs)
{
    if (!Send(message))
        return std::nullopt;
    return ReadResponse(timeoutMs);
}

namespace {

constexpr int kAnswerTimeoutMs = 30000;

} // namespace

std::vector<std::string> DrainErrors(ScpiConnection& connection)
{
    std::vector<std::string> errors;
    // The queue holds at most 32; a few more reads find it empty.
    for (int i = 0; i < 64; ++i) {
        const auto entry = connection.Query("SYSTem:ERRor?", kAnswerTimeoutMs);
        if (!entry || entry->rfind("0,", 0) == 0 || entry->rfind("+0,", 0) == 0)
            break;
        errors.push_back(*entry);
    }
    return errors;
}

int RunScpi(const Invocation& inv)
{
    const Command& cmd = FindCommand("scpi");
    std::optional<remote::TcpEndpoint> host;
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        if (auto v = OptionValue(inv.args, i, "--host")) {
            host = *v ? remote::ParseTcpEndpoint(**v) : std::nullopt;
            if (!host)
                return UsageError(cmd, TrFormat(N_("--host takes HOST[:PORT], not '%1'"), {v->value_or("")}));
            continue;
        }
        commands.push_back(inv.args[i]);
    }
    if (host && !inv.port.empty())
        return UsageError(cmd, Tr(N_("give either --host or --port, not both")));
    if (!host && inv.port.empty())
        return UsageError(cmd, Tr(N_("this command needs --host HOST[:PORT] or --port PATH")));

    ScpiConnection connection;
    std::optional<std::string> failure;
    if (host) {
        failure = connection.OpenTcp(*host);
    } else {
        std::string reason;
        const auto path = remote::LocalSocketPath(inv.port, &reason);
        failure = path ? connection.OpenLocal(*path) : std::optional<std::string>(reason);
        if (failure)
            failure = TrFormat(N_("no running Velmora holds %1 (%2)"), {inv.port, *failure});
    }
    if (failure) {
        std::fprintf(stderr, "velmoractl: %s\n", failure->c_str());
        return kExitNoAnswer;
    }

    auto run = [&connection, &inv](const std::string& message) {
        if (!HasQuery(message))
            return connection.Send(message);
        const auto answer = connection.Query(message, kAnswerTimeoutMs);
        if (!answer)
            return false;
        if (inv.json) {
            PrintJsonLine(JsonObject().Add("command", message).Add("response", *answer));
            return true;
        }
        std::printf("%s\n", answer->c_str());
        std::fflush(stdout);
        return true;
    };
    bool lost = false;
    if (!commands.empty()) {
        for (const std::string& message : commands)
            if (!run(message)) {
                lost = true;
                break;
            }
    } else {
        const bool terminal = isatty(STDIN_FILENO) != 0;
        std::string line;
        for (;;) {
            // Among JSON lines the prompt would be a line that is none.
            if (terminal) {
                std::FILE* prompt = inv.json ? stderr : stdout;
                std::fputs("scpi> ", prompt);
                std::fflush(prompt);
            }
            if (!std::getline(std::cin, line))
                break;
            if (line.empty())
                continue;
            if (!run(line)) {
                lost = true;
                break;
            }
        }
    }
    if (lost) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the instrument did not answer")));
        return kExitNoAnswer;
    }
    const std::vector<std::string> errors = DrainErrors(connection);
    for (const std::string& e : errors)
        std::fprintf(stderr, "velmoractl: %s\n", e.c_str());
    return errors.empty() ? kExitOk : kExitNoAnswer;
}

} // namespace velmora::ctl
