// The remote server on real sockets: lines in, answers out, and what a
// misbehaving client or a stale socket can and cannot do to it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "remote/RemoteServer.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using remote::ClientId;
using remote::LineService;

// Answers "ECHO <line>" to a line that ends in "?", the line itself
// repeated to `bigAnswer` bytes to "BIG?", nothing to anything else.
struct EchoService final : LineService {
    std::vector<std::string> lines;
    int tooLong = 0;
    int came = 0;
    int went = 0;
    std::size_t bigAnswer = 0;
    void ClientCame(ClientId, const std::string&) override { ++came; }
    void ClientWent(ClientId) override { ++went; }
    Outcome Execute(ClientId, std::string_view line, std::string& response) override
    {
        lines.emplace_back(line);
        if (line == "BIG?")
            response = std::string(bigAnswer, 'x') + "\n";
        else if (!line.empty() && line.back() == '?')
            response = "ECHO " + std::string(line) + "\n";
        return Outcome::Done;
    }
    Outcome Resume(ClientId, std::string&) override { return Outcome::Done; }
    void LineTooLong(ClientId) override { ++tooLong; }
};

class RemoteServerTest : public ::testing::Test {
protected:
    RemoteServerTest()
    {
        char pattern[] = "/tmp/velmora-server-XXXXXX";
        folder = mkdtemp(pattern);
        path = folder + "/unit.sock";
    }
    ~RemoteServerTest() override
    {
        server.CloseAll();
        fs::remove_all(folder);
    }

    int ConnectLocal() const
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
        return fd;
    }
    // Serves until `done` holds or nothing happens for a while.
    template <typename Done> void ServeUntil(Done done, int rounds = 200)
    {
        for (int i = 0; i < rounds && !done(); ++i) {
            pollfd pfd{server.WaitFd(), POLLIN, 0};
            poll(&pfd, 1, 20);
            server.Service();
        }
    }
    static void SendAll(int fd, const std::string& bytes)
    {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            ASSERT_GT(n, 0);
            sent += static_cast<std::size_t>(n);
        }
    }
    // What the client can read now, without waiting.
    static std::string ReadAvailable(int fd)
    {
        std::string out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n <= 0)
                return out;
            out.append(buffer, static_cast<std::size_t>(n));
        }
    }

    std::string folder;
    std::string path;
    EchoService service;
    remote::RemoteServer server{service};
};

TEST_F(RemoteServerTest, LinesComeInWholeAndAnswersGoBackInOrder)
{
    ASSERT_TRUE(server.ListenLocal(path).Ok());
    // Only this user may reach the socket.
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::group_all, fs::perms::none);
    const int fd = ConnectLocal();
    ServeUntil([&] { return server.ClientCount() == 1; });
    // A line in pieces, a CR before the LF, two lines in one write.
    SendAll(fd, "*ID");
    ServeUntil([&] { return false; }, 3);
    EXPECT_TRUE(service.lines.empty());
    SendAll(fd, "N?\r\nOUTP1 ON\nOUTP1?\n");
    std::string got;
    ServeUntil([&] { return (got += ReadAvailable(fd)).size() >= 23; });
    EXPECT_EQ(got, "ECHO *IDN?\nECHO OUTP1?\n");
    EXPECT_EQ(service.lines, (std::vector<std::string>{"*IDN?", "OUTP1 ON", "OUTP1?"}));

    // A client that goes mid-line leaves that line unrun.
    SendAll(fd, "OUTP1 OF");
    close(fd);
    ServeUntil([&] { return server.ClientCount() == 0; });
    EXPECT_EQ(service.lines.size(), 3u);
    EXPECT_EQ(service.went, 1);
}

TEST_F(RemoteServerTest, AStaleSocketIsReplacedAndAnythingElseIsRefused)
{
    // A socket a killed program left behind: bound, nobody listening.
    {
        const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
        close(stale);
    }
    ASSERT_TRUE(server.ListenLocal(path).Ok());

    // Another program's live socket is not taken over.
    EchoService other;
    remote::RemoteServer second(other);
    EXPECT_EQ(second.ListenLocal(path).error, remote::ListenError::InUse);
    // A file that is not a socket is never removed.
    const std::string file = folder + "/notes.txt";
    std::ofstream(file) << "keep me";
    EXPECT_EQ(second.ListenLocal(file).error, remote::ListenError::NotOurSocket);
    EXPECT_TRUE(fs::exists(file));

    // Going away removes its own socket.
    server.StopLocal();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(RemoteServerTest, AMisbehavingClientCostsOnlyItself)
{
    ASSERT_TRUE(server.ListenLocal(path).Ok());
    const int flood = ConnectLocal();
    const int polite = ConnectLocal();
    ServeUntil([&] { return server.ClientCount() == 2; });

    // A line without end is cut at 64 KiB; the client hears of it once and
    // what follows up to the next LF belongs to it.
    for (int i = 0; i < 25; ++i) {
        SendAll(flood, std::string(8 * 1024, 'A'));
        server.Service(); // a socket's buffer may hold less than the whole line
    }
    ServeUntil([&] { return service.tooLong > 0; });
    SendAll(flood, "AAAA\nNEXT?\n");
    SendAll(polite, "HELLO?\n");
    std::string got;
    ServeUntil([&] { return (got += ReadAvailable(flood)).find('\n') != std::string::npos; });
    EXPECT_EQ(got, "ECHO NEXT?\n");
    EXPECT_EQ(service.tooLong, 1);
    std::string politeGot;
    ServeUntil([&] { return (politeGot += ReadAvailable(polite)).find('\n') != std::string::npos; });
    EXPECT_EQ(politeGot, "ECHO HELLO?\n");

    // A client that never reads its answers is dropped once more than 1 MiB
    // waits for it; the other stays.
    service.bigAnswer = 256 * 1024;
    std::vector<std::string> dropped;
    server.onEvent = [&dropped](const std::string& text) { dropped.push_back(text); };
    std::string many;
    for (int i = 0; i < 64; ++i)
        many += "BIG?\n";
    SendAll(flood, many);
    ServeUntil([&] { return server.ClientCount() == 1; }, 400);
    EXPECT_EQ(server.ClientCount(), 1u);
    ASSERT_FALSE(dropped.empty());
    EXPECT_NE(dropped.back().find("does not read"), std::string::npos);
    close(flood);

    // No more than sixteen at once; the seventeenth is closed at once.
    std::vector<int> crowd;
    for (int i = 0; i < 16; ++i)
        crowd.push_back(ConnectLocal());
    ServeUntil([&] { return server.ClientCount() == 16; });
    EXPECT_EQ(server.ClientCount(), 16u);
    for (int fd : crowd)
        close(fd);
    close(polite);
    ServeUntil([&] { return server.ClientCount() == 0; });
    EXPECT_EQ(server.ClientCount(), 0u);

    // A thousand connections opened and dropped leave nothing behind.
    const int cameBefore = service.came;
    for (int i = 0; i < 1000; ++i) {
        const int fd = ConnectLocal();
        SendAll(fd, "HALF A LI");
        close(fd);
        // Taken off the listen queue as they come, or connect would wait
        // for room in it.
        server.Service();
    }
    ServeUntil([&] { return server.ClientCount() == 0 && service.came == service.went; });
    EXPECT_EQ(server.ClientCount(), 0u);
    EXPECT_EQ(service.came - cameBefore, 1000);
    EXPECT_EQ(service.came, service.went);
}

TEST_F(RemoteServerTest, AClientThatStopsSendingStillGetsItsAnswers)
{
    ASSERT_TRUE(server.ListenLocal(path).Ok());
    const int fd = ConnectLocal();
    SendAll(fd, "A?\nB?\n");
    shutdown(fd, SHUT_WR); // as `nc -N` does after its input ends
    std::string got;
    ServeUntil([&] { return (got += ReadAvailable(fd)).size() >= 14; });
    EXPECT_EQ(got, "ECHO A?\nECHO B?\n");
    ServeUntil([&] { return server.ClientCount() == 0; });
    EXPECT_EQ(server.ClientCount(), 0u);
    close(fd);
}

TEST_F(RemoteServerTest, TcpStaysOnThisMachineUnlessTheNetworksAreNamed)
{
    EXPECT_EQ(server.ListenTcp({"0.0.0.0", 0}, {}).error, remote::ListenError::NotLoopback);
    EXPECT_EQ(server.ListenTcp({"not-an-address", 0}, {}).error, remote::ListenError::BadAddress);
    ASSERT_TRUE(server.ListenTcp({"127.0.0.1", 0}, {}).Ok());
    ASSERT_NE(server.TcpPort(), 0);

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(server.TcpPort());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
    SendAll(fd, "*IDN?\n");
    std::string got;
    ServeUntil([&] { return (got += ReadAvailable(fd)).find('\n') != std::string::npos; });
    EXPECT_EQ(got, "ECHO *IDN?\n");
    close(fd);

    // The address forms of the command line.
    EXPECT_EQ(remote::ParseTcpEndpoint("5025")->host, "127.0.0.1");
    EXPECT_EQ(remote::ParseTcpEndpoint("localhost:5026")->port, 5026);
    EXPECT_EQ(remote::ParseTcpEndpoint("192.168.1.5")->port, 5025);
    EXPECT_FALSE(remote::ParseTcpEndpoint("host:99999"));
    EXPECT_FALSE(remote::ParseTcpEndpoint(":5025"));
    const auto nets = remote::ParseCidrList("10.0.0.0/8,192.168.1.7");
    ASSERT_TRUE(nets);
    EXPECT_TRUE((*nets)[0].Contains(0x0A010203u));
    EXPECT_FALSE((*nets)[0].Contains(0x0B000001u));
    EXPECT_TRUE((*nets)[1].Contains(0xC0A80107u));
    EXPECT_FALSE((*nets)[1].Contains(0xC0A80108u));
    EXPECT_FALSE(remote::ParseCidrList("10.0.0.0/33"));
    EXPECT_FALSE(remote::ParseCidrList("10.0.0.0/8,"));
}

} // namespace
} // namespace velmora::test
