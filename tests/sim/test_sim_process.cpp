// velmora-sim as a process: a client opens its pseudo-terminal like a serial
// port, talks to the unit, reconnects, and the simulator takes commands on
// standard input and cleans up when it is killed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/FrameCodec.h"

extern char** environ;

namespace {

// Only a guard against a broken simulator; nothing waits this long when it works.
constexpr int kGuardMs = 10000;

// Reads from `fd` until `done` says the text is complete; false when the
// guard runs out or the descriptor ends first.
template <typename Done>
bool ReadUntil(int fd, std::string& buf, Done done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
    while (!done(buf)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char tmp[512];
        const ssize_t n = read(fd, tmp, sizeof tmp);
        if (n == 0)
            return false;
        if (n > 0)
            buf.append(tmp, static_cast<std::size_t>(n));
    }
    return true;
}

// Reads `fd` to its end; false when the guard runs out first.
bool ReadToEnd(int fd, std::string& buf)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char tmp[512];
        const ssize_t n = read(fd, tmp, sizeof tmp);
        if (n == 0)
            return true;
        if (n > 0)
            buf.append(tmp, static_cast<std::size_t>(n));
    }
}

class SimProcess {
public:
    // With `mergeErrors` the simulator's standard error comes through the
    // same pipe as its standard output.
    bool Start(const std::vector<std::string>& args, bool mergeErrors = false)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        if (mergeErrors)
            posix_spawn_file_actions_adddup2(&fa, out[1], STDERR_FILENO);
        std::vector<std::string> all = {VELMORA_SIM_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, VELMORA_SIM_BINARY, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
        return rc == 0;
    }

    // One line of the simulator's standard output, without its newline.
    std::optional<std::string> ReadLine()
    {
        if (!ReadUntil(m_out, m_buf, [](const std::string& b) { return b.find('\n') != std::string::npos; }))
            return std::nullopt;
        const auto nl = m_buf.find('\n');
        std::string line = m_buf.substr(0, nl);
        m_buf.erase(0, nl + 1);
        return line;
    }

    bool Command(const std::string& line)
    {
        const std::string text = line + "\n";
        return write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    void CloseInput()
    {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
    }

    // Sends `sig` and collects the exit status; -1 when the process did not end.
    int Stop(int sig)
    {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, sig);
        // The end of its standard output marks the end of the process.
        std::string rest;
        const bool ended = ReadToEnd(m_out, rest);
        if (!ended)
            kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return ended ? status : -1;
    }

    // Runs the simulator to its end with `args`; the exit status. Standard
    // output and error are gathered in `output`.
    static int RunToEnd(const std::vector<std::string>& args, std::string& output)
    {
        SimProcess p;
        if (!p.Start(args, true))
            return -1;
        p.CloseInput();
        if (!ReadToEnd(p.m_out, output))
            kill(p.m_pid, SIGKILL);
        int status = 0;
        waitpid(p.m_pid, &status, 0);
        p.m_pid = -1;
        return status;
    }

    ~SimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        CloseInput();
        if (m_out >= 0)
            close(m_out);
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buf;
};

// Opens the device as the program's serial port does, exclusive mode included.
int OpenRaw(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ioctl(fd, TIOCEXCL);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes `request` and reads one reply line ending in CR LF.
std::string Exchange(int fd, const std::string& request)
{
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string reply;
    EXPECT_TRUE(ReadUntil(fd, reply, [](const std::string& b) { return b.ends_with("\r\n"); })) << reply;
    return reply;
}

struct TempDir {
    std::string path;
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/velmora-sim-XXXXXX";
        if (mkdtemp(tmpl.data()))
            path = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
};

TEST(SimProcess, ServesAClientTakesCommandsAndCleansUp)
{
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string link = dir.path + "/unit";
    const std::string log = dir.path + "/sim.log";

    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--link", link, "--log", log, "--channels", "2"}));
    const auto device = sim.ReadLine();
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->starts_with("/dev/")) << *device;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(*device, target);

    // First session, through the link.
    int fd = OpenRaw(link);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "VER\r\n"), "VER01.00A\r\n");
    EXPECT_EQ(Exchange(fd, "CH\r\n"), "CH2\r\n");

    ASSERT_TRUE(sim.Command("alarm 1 0003"));
    EXPECT_EQ(sim.ReadLine(), "ok: ch1 status 0003 ext-status 0000");
    ASSERT_TRUE(sim.Command("bogus"));
    const auto err = sim.ReadLine();
    ASSERT_TRUE(err);
    EXPECT_TRUE(err->starts_with("error: ")) << *err;

    const std::string status = Exchange(fd, "\x02R1\r\n");
    ASSERT_EQ(velmora::VerifyFrame(status, velmora::kStatusReplyLength), 53);
    EXPECT_EQ(velmora::HexField(status, 25, 4), 0x0003u);
    close(fd);

    // The simulator has seen the client leave once a command sent after the
    // close is answered; by then the device must have forgotten the
    // client's exclusive mode, or a non-root client could never reconnect.
    ASSERT_TRUE(sim.Command("delay 0"));
    EXPECT_EQ(sim.ReadLine(), "ok: delay 0 ms");
    fd = open(device->c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(fd);

    // A second session on the device itself; the end of standard input does
    // not stop the simulator either.
    sim.CloseInput();
    fd = OpenRaw(*device);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "VER\r\n"), "VER01.00A\r\n");
    close(fd);

    const int st = sim.Stop(SIGTERM);
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(WEXITSTATUS(st), 0);
    struct stat sb{};
    EXPECT_NE(lstat(link.c_str(), &sb), 0) << "the link is removed on exit";

    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("< <STX>R1<CR><LF>"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("< VER<CR><LF>"), std::string::npos);
}

TEST(SimProcess, RefusesBadStartsWithoutHarm)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::string out;
    int st = SimProcess::RunToEnd({"--channels", "3"}, out);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
    EXPECT_EQ(out, "velmora-sim: --channels: the channel count is 1, 2 or 4\n");

    // A file in the way of the link is left alone.
    const std::string file = dir.path + "/keep";
    { std::ofstream(file) << "data"; }
    out.clear();
    st = SimProcess::RunToEnd({"--link", file}, out);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_NE(WEXITSTATUS(st), 0);
    EXPECT_NE(out.find("exists and is not a symlink"), std::string::npos) << out;
    EXPECT_EQ(out.find("/dev/"), std::string::npos) << "no device is offered";
    std::ifstream in(file);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "data");

    out.clear();
    st = SimProcess::RunToEnd({"--help"}, out);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_NE(out.find("--silent-after"), std::string::npos);
}

} // namespace
