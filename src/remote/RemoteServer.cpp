#include "remote/RemoteServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace velmora::remote {

namespace {

std::string SystemReason(int err)
{
    return std::strerror(err);
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text)
{
    if (text == "localhost")
        return 0x7F000001u;
    const std::string copy(text);
    in_addr addr{};
    if (inet_pton(AF_INET, copy.c_str(), &addr) != 1)
        return std::nullopt;
    return ntohl(addr.s_addr);
}

std::string Ipv4Text(std::uint32_t address)
{
    in_addr addr{};
    addr.s_addr = htonl(address);
    std::array<char, INET_ADDRSTRLEN> text{};
    inet_ntop(AF_INET, &addr, text.data(), text.size());
    return text.data();
}

// A folder of ours alone: a real folder (no link), owned by us, mode 0700.
bool FolderIsOurs(const std::string& path, std::string* reason)
{
    struct stat st { };
    if (lstat(path.c_str(), &st) != 0) {
        if (reason != nullptr)
            *reason = path + ": " + SystemReason(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 0077) != 0) {
        if (reason != nullptr)
            *reason = path + ": not a folder of this user's alone (owner, mode 0700)";
        return false;
    }
    return true;
}

std::optional<std::string> MakeOurFolder(const std::string& path, std::string* reason)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        if (reason != nullptr)
            *reason = path + ": " + SystemReason(errno);
        return std::nullopt;
    }
    if (!FolderIsOurs(path, reason))
        return std::nullopt;
    return path;
}

} // namespace

bool Cidr::Contains(std::uint32_t addr) const
{
    if (prefix <= 0)
        return true;
    const std::uint32_t mask = prefix >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - prefix)) - 1u);
    return (addr & mask) == (address & mask);
}

std::optional<Cidr> ParseCidr(std::string_view text)
{
    const std::size_t slash = text.find('/');
    const auto address = ParseIpv4(text.substr(0, slash));
    if (!address)
        return std::nullopt;
    Cidr cidr{*address, 32};
    if (slash != std::string_view::npos) {
        const std::string_view bits = text.substr(slash + 1);
        int prefix = -1;
        const auto [end, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
        if (ec != std::errc() || end != bits.data() + bits.size() || bits.empty() || prefix < 0 || prefix > 32)
            return std::nullopt;
        cidr.prefix = prefix;
    }
    return cidr;
}

std::optional<std::vector<Cidr>> ParseCidrList(std::string_view text)
{
    std::vector<Cidr> list;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const auto cidr = ParseCidr(text.substr(0, comma));
        if (!cidr)
            return std::nullopt;
        list.push_back(*cidr);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (text.empty())
            return std::nullopt;
    }
    if (list.empty())
        return std::nullopt;
    return list;
}

std::optional<TcpEndpoint> ParseTcpEndpoint(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    TcpEndpoint endpoint;
    std::string_view portText = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        endpoint.host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (endpoint.host.empty())
            return std::nullopt;
    } else if (text.find_first_not_of("0123456789") != std::string_view::npos) {
        endpoint.host = std::string(text);
        portText = {};
    }
    if (!portText.empty()) {
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port > 65535)
            return std::nullopt;
        endpoint.port = static_cast<std::uint16_t>(port);
    }
    if (endpoint.host == "localhost")
        endpoint.host = "127.0.0.1";
    if (!ParseIpv4(endpoint.host))
        return std::nullopt;
    return endpoint;
}

bool IsLoopbackHost(const std::string& host)
{
    const auto address = ParseIpv4(host);
    return address && (*address >> 24) == 127;
}

std::optional<std::string> LocalSocketFolder(std::string* reason)
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        if (FolderIsOurs(runtime, nullptr))
            return MakeOurFolder(std::string(runtime) + "/velmora", reason);
    }
    return MakeOurFolder("/tmp/velmora-" + std::to_string(geteuid()), reason);
}

std::optional<std::string> LocalSocketPath(const std::string& portName, std::string* reason)
{
    auto folder = LocalSocketFolder(reason);
    if (!folder)
        return std::nullopt;
    // One name per port, however it was written: "ttyUSB0" and
    // "/dev/ttyUSB0" are the same port.
    std::string name = portName;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    for (char& ch : name) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
            ch == '-' || ch == '_' || ch == '.';
        if (!plain)
            ch = '_';
    }
    if (name.empty() || name == "." || name == "..")
        name = "_";
    // sun_path holds 108 bytes; a longer port name keeps its tail.
    if (name.size() > 60)
        name.erase(0, name.size() - 60);
    return *folder + "/" + name + ".sock";
}

RemoteServer::RemoteServer(LineService& service) : m_service(service), m_epoll(epoll_create1(EPOLL_CLOEXEC))
{
}

RemoteServer::~RemoteServer()
{
    CloseAll();
    if (m_epoll >= 0)
        close(m_epoll);
}

void RemoteServer::Emit(const std::string& text) const
{
    if (onEvent)
        onEvent(text);
}

ListenResult RemoteServer::ListenLocal(const std::string& path)
{
    StopLocal();
    if (m_epoll < 0)
        return {ListenError::Failed, "epoll: " + SystemReason(errno)};
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path))
        return {ListenError::Failed, path + ": the path is too long for a socket"};
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const auto* sa = reinterpret_cast<const sockaddr*>(&addr);

    struct stat st { };
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != geteuid())
            return {ListenError::NotOurSocket, path + ": something else than our socket is there"};
        // Someone answering there holds the port already; a socket nobody
        // answers on was left by a program that was killed.
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0)
            return {ListenError::Failed, "socket: " + SystemReason(errno)};
        const bool answered = connect(probe, sa, sizeof(addr)) == 0;
        close(probe);
        if (answered)
            return {ListenError::InUse, path + ": another program serves this port"};
        if (unlink(path.c_str()) != 0)
            return {ListenError::Failed, path + ": " + SystemReason(errno)};
    }

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {ListenError::Failed, "socket: " + SystemReason(errno)};
    const mode_t old = umask(0177);
    const int bound = bind(fd, sa, sizeof(addr));
    const int bindErr = errno;
    umask(old);
    if (bound != 0 || listen(fd, 16) != 0) {
        const int err = bound != 0 ? bindErr : errno;
        close(fd);
        return {err == EADDRINUSE ? ListenError::InUse : ListenError::Failed, path + ": " + SystemReason(err)};
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev);
    m_local = Listener{fd, false};
    m_localPath = path;
    return {};
}

void RemoteServer::CloseListener(Listener& listener)
{
    if (listener.fd < 0)
        return;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, listener.fd, nullptr);
    close(listener.fd);
    listener.fd = -1;
}

void RemoteServer::StopLocal()
{
    if (m_local.fd < 0)
        return;
    CloseListener(m_local);
    // Only the socket this server made: a path replaced meanwhile by
    // another program's socket is that program's.
    unlink(m_localPath.c_str());
    m_localPath.clear();
}

ListenResult RemoteServer::ListenTcp(const TcpEndpoint& endpoint, const std::vector<Cidr>& allow)
{
    StopTcp();
    if (m_epoll < 0)
        return {ListenError::Failed, "epoll: " + SystemReason(errno)};
    const auto address = ParseIpv4(endpoint.host);
    if (!address)
        return {ListenError::BadAddress, endpoint.host};
    const bool loopback = (*address >> 24) == 127;
    if (!loopback && allow.empty())
        return {ListenError::NotLoopback, endpoint.host};

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {ListenError::Failed, "socket: " + SystemReason(errno)};
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(endpoint.port);
    addr.sin_addr.s_addr = htonl(*address);
    const std::string where = endpoint.host + ":" + std::to_string(endpoint.port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 16) != 0) {
        const int err = errno;
        close(fd);
        return {err == EADDRINUSE ? ListenError::InUse : ListenError::Failed, where + ": " + SystemReason(err)};
    }
    sockaddr_in bound{};
    socklen_t len = sizeof(bound);
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    m_tcpPort = ntohs(bound.sin_port);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev);
    m_tcp = Listener{fd, true};
    m_allow = allow;
    m_bTcpLoopbackOnly = loopback && allow.empty();
    return {};
}

void RemoteServer::StopTcp()
{
    CloseListener(m_tcp);
    m_tcpPort = 0;
    // Clients that came over TCP stay until they go: switching the
    // listener off does not cut a script off mid-run.
}

void RemoteServer::Accept(const Listener& listener)
{
    // Several may wait; take them all (the listener is edge-free: a
    // connection left unaccepted keeps it readable).
    for (;;) {
        sockaddr_storage from{};
        socklen_t len = sizeof(from);
        const int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        std::string peer = "local";
        if (listener.tcp && from.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&from);
            const std::uint32_t addr = ntohl(in->sin_addr.s_addr);
            peer = Ipv4Text(addr) + ":" + std::to_string(ntohs(in->sin_port));
            const bool loopback = (addr >> 24) == 127;
            const bool allowed = loopback ||
                std::any_of(m_allow.begin(), m_allow.end(), [addr](const Cidr& c) { return c.Contains(addr); });
            if (!allowed) {
                close(fd);
                m_service.ClientRefused(peer, "not in the allowed networks");
                Emit("refused " + peer + ": not in the allowed networks");
                continue;
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        }
        if (m_clients.size() >= kMaxClients) {
            close(fd);
            const std::string why = std::to_string(kMaxClients) + " clients are served already";
            m_service.ClientRefused(peer, why);
            std::string line = "refused " + peer;
            line += ": ";
            line += why;
            Emit(line);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->id = m_nextId++;
        client->peer = peer;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
            close(fd);
            continue;
        }
        const ClientId id = client->id;
        m_clients.emplace(fd, std::move(client));
        m_service.ClientCame(id, peer);
        if (onClientCount)
            onClientCount(m_clients.size());
    }
}

void RemoteServer::ReadFrom(Client& client)
{
    std::array<char, 16384> buffer{};
    // At most a few reads a turn: a fast sender must not keep the loop.
    for (int i = 0; i < 4; ++i) {
        const ssize_t n = read(client.fd, buffer.data(), buffer.size());
        if (n > 0) {
            client.input.append(buffer.data(), static_cast<std::size_t>(n));
            if (client.input.size() > 4 * kMaxLine)
                break; // the lines run first; the socket stays readable
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            client.closing = true;
        break;
    }
}

void RemoteServer::RunLines(Client& client)
{
    if (client.held) {
        std::string response;
        if (m_service.Resume(client.id, response) == LineService::Outcome::Held)
            return;
        client.held = false;
        client.output += response;
    }
    for (int n = 0; n < kLinesPerTurn && !client.held; ++n) {
        if (client.output.size() > kMaxUnsent)
            return;
        const std::size_t lf = client.input.find('\n');
        if (lf == std::string::npos) {
            if (client.input.size() > kMaxLine) {
                // Cut: the client hears of it once, and what follows up to
                // the next LF belongs to the same line.
                if (!client.discarding)
                    m_service.LineTooLong(client.id);
                client.discarding = true;
                client.input.clear();
            }
            return;
        }
        if (client.discarding) {
            client.discarding = false;
            client.input.erase(0, lf + 1);
            continue;
        }
        if (lf > kMaxLine) {
            m_service.LineTooLong(client.id);
            client.input.erase(0, lf + 1);
            continue;
        }
        std::string_view line(client.input.data(), lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string response;
        const auto outcome = m_service.Execute(client.id, line, response);
        client.input.erase(0, lf + 1);
        client.output += response;
        client.held = outcome == LineService::Outcome::Held;
    }
}

void RemoteServer::WriteTo(Client& client)
{
    while (!client.output.empty()) {
        const ssize_t n = send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.output.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0 && errno == EINTR)
            continue;
        client.closing = true;
        client.output.clear();
        break;
    }
    // A long answer keeps its memory once sent; give it back.
    if (client.output.empty() && client.output.capacity() > kMaxLine)
        std::string().swap(client.output);
}

void RemoteServer::UpdateInterest(Client& client)
{
    if (client.unwatched)
        return;
    const bool want = !client.output.empty();
    // Reading pauses while the answers pile up or a message is held: the
    // client then waits for itself, and its bytes stay in its socket.
    const bool read =
        !client.closing && !client.held && client.output.size() <= kMaxUnsent && client.input.size() <= 4 * kMaxLine;
    // Once the peer stopped sending, its end of file would wake the loop
    // again and again: only the answers still to write are watched.
    epoll_event ev{};
    ev.events =
        (client.closing ? 0u : static_cast<std::uint32_t>(EPOLLRDHUP)) | (read ? EPOLLIN : 0u) | (want ? EPOLLOUT : 0u);
    ev.data.fd = client.fd;
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, client.fd, &ev);
    client.wantWrite = want;
}

void RemoteServer::Drop(int fd)
{
    const auto it = m_clients.find(fd);
    if (it == m_clients.end())
        return;
    const ClientId id = it->second->id;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    m_clients.erase(it);
    m_service.ClientWent(id);
    if (onClientCount)
        onClientCount(m_clients.size());
}

void RemoteServer::Service()
{
    if (m_epoll < 0 || m_bServicing)
        return;
    m_bServicing = true;
    std::array<epoll_event, 32> events{};
    const int n = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 0);
    for (int i = 0; i < n; ++i) {
        const int fd = events[static_cast<std::size_t>(i)].data.fd;
        const std::uint32_t what = events[static_cast<std::size_t>(i)].events;
        if (fd == m_local.fd) {
            Accept(m_local);
            continue;
        }
        if (fd == m_tcp.fd) {
            Accept(m_tcp);
            continue;
        }
        const auto it = m_clients.find(fd);
        if (it == m_clients.end())
            continue;
        Client& client = *it->second;
        if ((what & EPOLLIN) != 0)
            ReadFrom(client);
        if ((what & (EPOLLHUP | EPOLLERR)) != 0) {
            // Reported whatever the interest: out of the set, or the loop
            // would wake for it until the client's last lines have run.
            client.closing = true;
            client.unwatched = true;
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        }
        if ((what & EPOLLRDHUP) != 0 && (what & EPOLLIN) == 0)
            client.closing = true;
    }
    m_bServicing = false;
    Pump();
}

void RemoteServer::Pump()
{
    if (m_bServicing)
        return;
    m_bServicing = true;
    std::vector<int> gone;
    const bool ready = m_service.Ready();
    for (auto& [fd, client] : m_clients) {
        // A client that went mid-line leaves nothing half done: its last,
        // unended line is never run.
        if (ready)
            RunLines(*client);
        WriteTo(*client);
        if (client->output.size() > kMaxUnsent) {
            Emit("dropped " + client->peer + ": it does not read its answers");
            gone.push_back(fd);
            continue;
        }
        // A client that stopped sending (a shut-down write side) still gets
        // the answers to the lines it sent before; one that went altogether
        // makes the write fail, which clears them.
        const bool linesLeft = client->held || client->input.find('\n') != std::string::npos;
        if (client->closing && !linesLeft && client->output.empty()) {
            gone.push_back(fd);
            continue;
        }
        UpdateInterest(*client);
    }
    for (int fd : gone)
        Drop(fd);
    m_bServicing = false;
}

void RemoteServer::CloseAll()
{
    std::vector<int> fds;
    for (const auto& [fd, client] : m_clients)
        fds.push_back(fd);
    for (int fd : fds)
        Drop(fd);
    StopTcp();
    StopLocal();
}

} // namespace velmora::remote
