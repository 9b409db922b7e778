// velmora-sim: the simulated unit on a pseudo-terminal, so that the program,
// velmoractl and the tests can open a real serial device and talk to it.
//
// One thread, blocked in poll on the pseudo-terminal's master side, standard
// input, a signal descriptor and an inotify watch on the device; answers that
// are due later set the poll's time-out. Nothing spins.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "SimConsole.h"
#include "SimUnit.h"

using namespace velmora;
using namespace velmora::sim;

namespace {

FILE* g_log = nullptr;

void LogLine(const char* tag, std::string_view text)
{
    if (!g_log)
        return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    // Microseconds: the benchmarks time the automatic outputs' steps by when
    // their frames arrive here, and a step's lateness is a matter of a few
    // milliseconds.
    std::fprintf(g_log, "%s.%06ld %s %s\n", stamp, ts.tv_nsec / 1'000, tag, ReadableBytes(text).c_str());
    std::fflush(g_log);
}

// The device as a plain serial port would be: raw bytes, 19200 bit/s, 8N1.
bool MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Removes `link` only while it is still our symlink to `target`.
void RemoveLink(const std::string& link, const std::string& target)
{
    if (link.empty())
        return;
    char buf[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return;
    buf[n] = '\0';
    if (target == buf)
        unlink(link.c_str());
}

bool MakeLink(const std::string& link, const std::string& target)
{
    struct stat st { };
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "velmora-sim: --link: %s exists and is not a symlink\n", link.c_str());
            return false;
        }
        if (unlink(link.c_str()) != 0) {
            std::fprintf(stderr, "velmora-sim: --link: cannot replace %s: %s\n", link.c_str(), std::strerror(errno));
            return false;
        }
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "velmora-sim: --link: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Hands output to the pseudo-terminal without ever blocking: whatever the
// terminal cannot take now is lost, as it would be on a wire nobody reads.
void WriteOut(int master, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        LogLine("!", "output dropped: " + std::to_string(bytes.size() - done) + " bytes nobody took");
        return;
    }
}

int PollTimeout(const SimUnit& unit, Nanos now)
{
    const auto due = unit.NextDue();
    if (!due)
        return -1;
    if (*due <= now)
        return 0;
    // Rounded up, so that the wake-up finds the output due.
    const long long ms = (std::chrono::duration_cast<Nanos>(*due - now).count() + 999'999) / 1'000'000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace

int main(int argc, char** argv)
{
    Clock& clock = SteadyClock();
    SimUnit unit;
    SimLaunch launch;
    const std::string err =
        ApplySimArguments(std::vector<std::string>(argv + 1, argv + argc), unit, launch, clock.Now());
    if (!err.empty()) {
        std::fprintf(stderr, "velmora-sim: %s\n", err.c_str());
        return 2;
    }
    if (launch.help) {
        std::fputs(SimHelpText().c_str(), stdout);
        return 0;
    }

    // Signals arrive through a descriptor, so the poll loop sees them and
    // the cleanup below always runs.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int sigFd = signalfd(-1, &mask, SFD_CLOEXEC);
    signal(SIGPIPE, SIG_IGN);
    if (sigFd < 0) {
        std::fprintf(stderr, "velmora-sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    if (!launch.logPath.empty()) {
        g_log = std::fopen(launch.logPath.c_str(), "a");
        if (!g_log) {
            std::fprintf(stderr, "velmora-sim: --log: cannot open %s: %s\n", launch.logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "velmora-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    char nameBuf[128];
    if (ptsname_r(master, nameBuf, sizeof nameBuf) != 0) {
        std::fprintf(stderr, "velmora-sim: ptsname: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string device = nameBuf;
    // Our own open slave keeps the terminal alive between clients (no
    // hang-up on the master side) and keeps the raw settings, so nothing is
    // echoed before a client has set up the line itself.
    const int slave = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !MakeRaw(slave)) {
        std::fprintf(stderr, "velmora-sim: cannot set up %s: %s\n", device.c_str(), std::strerror(errno));
        return 1;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    if (!launch.linkPath.empty() && !MakeLink(launch.linkPath, device))
        return 1;

    // A real port forgets its exclusive mode and unread input when its last
    // user closes it. Ours is never closed (we hold the slave), so the
    // opens and closes of clients are watched and the last close is played
    // out by hand; otherwise a client that set TIOCEXCL would lock every
    // later non-root client out. (inotify merges two opens that follow each
    // other unread, so two clients opening at once may end the count early;
    // our clients never share the port.)
    const int watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd >= 0 && inotify_add_watch(watchFd, device.c_str(), IN_OPEN | IN_CLOSE) < 0)
        LogLine("!", "cannot watch " + device + " for clients: " + std::strerror(errno));
    int clients = 0;

    std::printf("%s\n", device.c_str());
    std::fflush(stdout);

    unit.SetObserver([](bool sent, std::string_view line) { LogLine(sent ? ">" : "<", line); });
    LogLine("#", "serving " + device);

    bool stdinOpen = true;
    std::string stdinBuf;
    int status = 0;
    bool running = true;
    while (running) {
        if (std::string out = unit.TakeDue(clock.Now()); !out.empty())
            WriteOut(master, out);

        pollfd fds[4] = {
            {master, POLLIN, 0},
            {sigFd, POLLIN, 0},
            {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
            {watchFd, POLLIN, 0},
        };
        const int n = poll(fds, 4, PollTimeout(unit, clock.Now()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "velmora-sim: poll: %s\n", std::strerror(errno));
            status = 1;
            break;
        }

        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            [[maybe_unused]] const ssize_t r = read(sigFd, &info, sizeof info);
            LogLine("#", "stopped by signal " + std::to_string(info.ssi_signo));
            break;
        }

        if (fds[3].revents & POLLIN) {
            alignas(inotify_event) char buf[4096];
            const ssize_t r = read(watchFd, buf, sizeof buf);
            for (ssize_t at = 0; r > 0 && at < r;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_OPEN) {
                    ++clients;
                    LogLine("#", "client opened the device");
                } else if ((ev->mask & IN_CLOSE) && clients > 0 && --clients == 0) {
                    ioctl(slave, TIOCNXCL);
                    tcflush(slave, TCIFLUSH);
                    LogLine("#", "last client closed the device");
                }
            }
        }

        if (fds[0].revents & POLLIN) {
            char buf[4096];
            const ssize_t r = read(master, buf, sizeof buf);
            if (r > 0)
                unit.Receive(clock.Now(), std::string_view(buf, static_cast<std::size_t>(r)));
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while our slave is open; stop rather than spin.
            std::fprintf(stderr, "velmora-sim: the pseudo-terminal failed\n");
            status = 1;
            break;
        }

        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            char buf[1024];
            const ssize_t r = read(STDIN_FILENO, buf, sizeof buf);
            if (r <= 0) {
                // End of input (or a descriptor that cannot be read): keep
                // serving, just stop listening to it.
                if (r == 0 || (errno != EINTR && errno != EAGAIN))
                    stdinOpen = false;
                continue;
            }
            stdinBuf.append(buf, static_cast<std::size_t>(r));
            std::size_t nl;
            while (running && (nl = stdinBuf.find('\n')) != std::string::npos) {
                const std::string line = stdinBuf.substr(0, nl);
                stdinBuf.erase(0, nl + 1);
                LogLine("#", "command: " + line);
                const SimCommandResult res = RunSimCommand(unit, line, clock.Now());
                if (!res.text.empty()) {
                    std::printf("%s\n", res.text.c_str());
                    std::fflush(stdout);
                }
                if (res.quit)
                    running = false;
            }
            if (stdinBuf.size() > 4096)
                stdinBuf.clear(); // no command is that long
        }
    }

    RemoveLink(launch.linkPath, device);
    if (watchFd >= 0)
        close(watchFd);
    close(slave);
    close(master);
    if (g_log)
        std::fclose(g_log);
    return status;
}
