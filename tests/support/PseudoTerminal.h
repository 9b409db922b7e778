#pragma once
// A pseudo-terminal pair for tests of real serial-port code: the code under
// test opens SlavePath() as its device, the test plays the unit on the
// master side.

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace velmora::test {

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0) {
            CloseMaster();
            return;
        }
        m_strSlave = name;
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal() { CloseMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Ok() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_strSlave; }
    int Master() const { return m_master; }

    // Hangs up the device as a pulled cable would.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // The line settings the slave side was given.
    bool SlaveSettings(termios& t) const { return ::tcgetattr(m_master, &t) == 0; }

    // Sends everything to the slave's reader. False if it could not within
    // `limit`.
    bool Send(const std::string& bytes, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (!WaitFor(POLLOUT, end))
                return false;
        }
        return true;
    }

    // Takes `count` bytes the slave side wrote, or what came before `limit`
    // ran out.
    std::string Receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + limit;
        char chunk[4096];
        while (got.size() < count) {
            const std::size_t want = std::min(sizeof chunk, count - got.size());
            const ssize_t n = ::read(m_master, chunk, want);
            if (n > 0) {
                got.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (!WaitFor(POLLIN, end))
                break;
        }
        return got;
    }

private:
    bool WaitFor(short events, std::chrono::steady_clock::time_point end)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{m_master, events, 0};
        return ::poll(&p, 1, static_cast<int>(left.count())) > 0;
    }

    int m_master = -1;
    std::string m_strSlave;
};

} // namespace velmora::test
