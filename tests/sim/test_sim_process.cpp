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

#include "SimProcess.h"
#include "protocol/FrameCodec.h"

using namespace velmora::test;

namespace {

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
    struct stat sb { };
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
    {
        std::ofstream(file) << "data";
    }
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
