#include "CtlTicks.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <charconv>
#include <system_error>

namespace velmora::ctl {

namespace {

constexpr char kTickByte = 't';
constexpr char kStopByte = 's';

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal or Ctrl-\ would otherwise end the command on the
    // spot, with the unit still driving what the command set.
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGQUIT);
    return set;
}

void WriteByte(int fd, char byte)
{
    // A full pipe already holds a wake-up the reader has not taken.
    while (write(fd, &byte, 1) < 0 && errno == EINTR) { }
}

} // namespace

void BlockStopSignals()
{
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A reader of the output that goes (`| head`) must not end the command
    // before it has switched off what it drives; the writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
}

bool OutputGone()
{
    return std::ferror(stdout) != 0;
}

TickLoop::TickLoop(Clock& clock) : m_ticker(clock)
{
}

TickLoop::~TickLoop()
{
    m_ticker.Stop();
    if (m_signals.joinable()) {
        m_bDone.store(true, std::memory_order_release);
        // The signal thread sleeps in sigwait; a signal meant for it alone
        // ends the wait, and it sees that it is done.
        // It is blocked everywhere and taken by sigwait, so it ends no thread.
        pthread_kill(m_signals.native_handle(), SIGTERM); // NOLINT(bugprone-bad-signal-to-kill-thread)
        m_signals.join();
    }
    for (int fd : m_pipe)
        if (fd >= 0)
            close(fd);
}

bool TickLoop::Start()
{
    if (pipe2(m_pipe, O_CLOEXEC) != 0)
        return false;
    // The tick thread must never block on a reader that is busy: a tick
    // that finds the pipe full is one the reader will see anyway.
    fcntl(m_pipe[1], F_SETFL, O_NONBLOCK);
    const int writeEnd = m_pipe[1];
    try {
        m_signals = std::thread([this, writeEnd] {
            const sigset_t set = StopSignals();
            for (;;) {
                int sig = 0;
                if (sigwait(&set, &sig) != 0)
                    continue;
                if (m_bDone.load(std::memory_order_acquire))
                    return;
                WriteByte(writeEnd, kStopByte);
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return m_ticker.Start([writeEnd] { WriteByte(writeEnd, kTickByte); });
}

TickLoop::Wake TickLoop::Wait()
{
    for (;;) {
        pollfd fds[2] = {{m_pipe[0], POLLIN, 0}, {m_input, POLLIN, 0}};
        const nfds_t count = m_input >= 0 ? 2 : 1;
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            return Wake::Stop;
        }
        if (fds[0].revents != 0) {
            char byte = 0;
            const ssize_t n = read(m_pipe[0], &byte, 1);
            if (n == 1)
                return byte == kStopByte ? Wake::Stop : Wake::Tick;
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            // The pipe is gone: nothing more will come.
            return Wake::Stop;
        }
        // Readable, ended or closed alike: the caller's read tells which.
        if (count == 2 && fds[1].revents != 0)
            return Wake::Input;
    }
}

} // namespace velmora::ctl
