#pragma once
// The sockets of remote control: a local socket only this user can reach,
// and optionally a TCP listener (the raw-socket convention of LXI
// instruments and pyvisa-py's TCPIP::host::port::SOCKET). Each client sends
// program messages ended by LF and gets its answers back on the same
// connection; the server cuts what it receives into lines and hands each to
// a LineService, which executes it.
//
// No threads: every socket is non-blocking and registered in one epoll set,
// whose descriptor (WaitFd) a front end watches with its own loop (a
// QSocketNotifier in the window, poll() in velmoractl serve) before calling
// Service. Lines therefore run on the thread that owns the session, never
// beside the panel's own work.
//
// A client can cost a bounded amount and nothing else: a line is cut at
// 64 KiB, unread answers beyond 1 MiB drop the client, a client that sends
// slowly or never reads only waits for itself, and at most 16 are served at
// once.
//
// Thread contract: one thread (the session's) does everything here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::remote {

using ClientId = std::uint64_t;

// What the server asks of whoever executes the lines.
class LineService {
public:
    virtual ~LineService() = default;
    virtual void ClientCame(ClientId /*id*/, const std::string& /*peer*/) { }
    virtual void ClientWent(ClientId /*id*/) { }
    // A connection closed on arrival: outside the allowed networks, or too
    // many clients.
    virtual void ClientRefused(const std::string& /*peer*/, const std::string& /*why*/) { }
    // False while the owner's own work holds the instrument (a dialog, the
    // connect sequence): lines wait until it is over.
    virtual bool Ready() const { return true; }
    enum class Outcome {
        Done, // `response` holds the answer, possibly empty
        Held, // the message waits (for the line to the unit); Resume later
    };
    // One program message, without its LF.
    virtual Outcome Execute(ClientId id, std::string_view line, std::string& response) = 0;
    // Goes on with a held message.
    virtual Outcome Resume(ClientId id, std::string& response) = 0;
    // The client sent more than the longest line before an LF.
    virtual void LineTooLong(ClientId /*id*/) { }
};

// An IPv4 network, for --scpi-allow.
struct Cidr {
    std::uint32_t address = 0; // host byte order
    int prefix = 32;
    bool Contains(std::uint32_t addr) const;
};
// "10.0.0.0/8", "192.168.1.7" (a single host); nothing for anything else.
std::optional<Cidr> ParseCidr(std::string_view text);
// A comma-separated list; nothing when any entry is bad.
std::optional<std::vector<Cidr>> ParseCidrList(std::string_view text);

struct TcpEndpoint {
    std::string host = "127.0.0.1";
    std::uint16_t port = 5025;
};
// "[HOST:]PORT", "HOST" with the default port, "localhost" for 127.0.0.1;
// nothing for a bad port or an empty text.
std::optional<TcpEndpoint> ParseTcpEndpoint(std::string_view text);
bool IsLoopbackHost(const std::string& host);

enum class ListenError {
    None,
    FolderUnsafe, // the socket folder is not ours alone (owner, mode, a link)
    InUse,        // another running program answers on that socket or port
    NotOurSocket, // something else than a socket is in the way
    NotLoopback,  // a TCP host beyond this machine without an allow list
    BadAddress,   // a host that is no IPv4 address
    Failed,       // the system refused (see the text)
};
struct ListenResult {
    ListenError error = ListenError::None;
    std::string text; // the path or address, and the system's reason
    bool Ok() const { return error == ListenError::None; }
};

// The folder for local sockets: $XDG_RUNTIME_DIR/velmora, else
// /tmp/velmora-<uid>; created 0700 when missing. Nothing (with the reason)
// when it exists but is not a folder of this user's alone.
std::optional<std::string> LocalSocketFolder(std::string* reason = nullptr);
// The socket of the program holding `portName` ("ttyUSB0", "/dev/pts/3").
std::optional<std::string> LocalSocketPath(const std::string& portName, std::string* reason = nullptr);

class RemoteServer {
public:
    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr std::size_t kMaxUnsent = 1024 * 1024;
    static constexpr std::size_t kMaxClients = 16;
    // Lines of one client run per Service before the others get theirs.
    static constexpr int kLinesPerTurn = 64;

    explicit RemoteServer(LineService& service);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // The epoll set's descriptor: readable whenever Service has work. -1
    // when the set could not be made (then nothing listens).
    int WaitFd() const { return m_epoll; }

    // A stale socket of a killed program is replaced; a path where another
    // program answers, or that is not a socket, is refused.
    ListenResult ListenLocal(const std::string& path);
    void StopLocal();
    // Refused for a host beyond loopback unless `allow` lists who may come;
    // connections from elsewhere are closed before a byte is read.
    ListenResult ListenTcp(const TcpEndpoint& endpoint, const std::vector<Cidr>& allow);
    void StopTcp();
    bool IsListeningTcp() const { return m_tcp.fd >= 0; }
    // The TCP port actually bound (the asked one, or the system's for 0).
    std::uint16_t TcpPort() const { return m_tcpPort; }

    // Takes what the sockets have, runs waiting lines, resumes held
    // messages and writes answers; never blocks.
    void Service();
    // Only the held messages and the waiting lines (the line to the unit
    // moved on, or the owner's work ended): from the front end's tick.
    void Pump();

    std::size_t ClientCount() const { return m_clients.size(); }
    // A refused or dropped connection, for the log (stderr in serve).
    std::function<void(const std::string&)> onEvent;
    // The number of clients changed.
    std::function<void(std::size_t)> onClientCount;

    void CloseAll();

private:
    struct Listener {
        int fd = -1;
        bool tcp = false;
    };
    struct Client {
        int fd = -1;
        ClientId id = 0;
        std::string peer;
        std::string input;       // received, not yet a whole line
        std::string output;      // answers not yet written
        bool discarding = false; // past the longest line: dropped to the next LF
        bool held = false;       // a message waits in the service
        bool closing = false;    // the peer went: answers left are dropped
        bool wantWrite = false;
        bool unwatched = false; // hung up: out of the epoll set
    };

    void Accept(const Listener& listener);
    void ReadFrom(Client& client);
    void RunLines(Client& client);
    void WriteTo(Client& client);
    void UpdateInterest(Client& client);
    void Drop(int fd);
    void Emit(const std::string& text) const;
    void CloseListener(Listener& listener);

    LineService& m_service;
    int m_epoll = -1;
    Listener m_local;
    Listener m_tcp;
    std::string m_localPath;
    std::uint16_t m_tcpPort = 0;
    std::vector<Cidr> m_allow;
    bool m_bTcpLoopbackOnly = true;
    std::map<int, std::unique_ptr<Client>> m_clients; // by descriptor
    ClientId m_nextId = 1;
    bool m_bServicing = false;
};

} // namespace velmora::remote
