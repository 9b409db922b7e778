#pragma once
// velmoractl's end of a SCPI connection: to the local socket of the program
// that holds a port, or to a TCP listener. Used by `scpi` and by the
// commands that go through a running Velmora instead of opening the port.
//
// Thread contract: the command's thread only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/RemoteServer.h"

namespace velmora::ctl {

class ScpiConnection {
public:
    ScpiConnection() = default;
    ~ScpiConnection();
    ScpiConnection(const ScpiConnection&) = delete;
    ScpiConnection& operator=(const ScpiConnection&) = delete;

    // Nothing on success, else why not.
    std::optional<std::string> OpenLocal(const std::string& path);
    std::optional<std::string> OpenTcp(const remote::TcpEndpoint& endpoint);

    bool Send(std::string_view message);
    // One answer line without its LF (a definite-length block whole);
    // nothing when the connection ended or nothing came in time. With a
    // time-out of 0 it takes what the socket has and does not wait.
    std::optional<std::string> ReadResponse(int timeoutMs);
    std::optional<std::string> Query(std::string_view message, int timeoutMs);

    // The socket, for a loop that waits for it among other things.
    int Fd() const { return m_fd; }
    // The other end closed the connection: no answer will come any more.
    bool Ended() const { return m_bEnded; }

private:
    int m_fd = -1;
    bool m_bEnded = false;
    std::string m_buffer;
};

// Whether the message holds a query, and so gets an answer.
bool HasQuery(std::string_view message);

// Every error the instrument queued for this client, oldest first.
std::vector<std::string> DrainErrors(ScpiConnection& connection);

} // namespace velmora::ctl
