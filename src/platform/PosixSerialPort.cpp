#include "platform/PosixSerialPort.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace velmora {

std::string DevicePathForPort(const std::string& portName)
{
    if (portName.empty() || portName.front() == '/')
        return portName;
    return "/dev/" + portName;
}

namespace {

SerialError ErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return SerialError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return SerialError::NoPermission;
    case EBUSY:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return SerialError::InUse;
    case ENOTTY:
        return SerialError::NotSerial;
    case EIO:
        return SerialError::Gone;
    default:
        return SerialError::Other;
    }
}

std::string ErrnoText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Raw 8N1 at 19200 bit/s. Software flow control is off because the unit's
// binary frames may hold XON and XOFF bytes; hardware flow control is off
// because the bridge's handshake lines are not wired to anything that drives
// them. Parity and framing errors and breaks are kept in band, marked, so
// that a reply damaged on the wire can be dropped.
void MakeUnitLineSettings(termios& t)
{
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | IMAXBEL);
    t.c_iflag |= INPCK | PARMRK;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
}

// tcsetattr succeeds when any part of the request was applied, so the
// settings are read back to see whether the ones that matter took.
bool UnitLineSettingsHeld(const termios& t)
{
    return cfgetospeed(&t) == B19200 && cfgetispeed(&t) == B19200 && (t.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8 &&
        (t.c_iflag & (PARMRK | INPCK)) == (PARMRK | INPCK) && (t.c_iflag & (IXON | IXOFF | ISTRIP | IGNPAR)) == 0 &&
        (t.c_lflag & ICANON) == 0;
}

bool ReadFaultCounts(int fd, LineFaultCounts& counts)
{
#if defined(TIOCGICOUNT)
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    counts.frame = static_cast<std::uint32_t>(ic.frame);
    counts.parity = static_cast<std::uint32_t>(ic.parity);
    counts.brk = static_cast<std::uint32_t>(ic.brk);
    return true;
#else
    (void)fd;
    (void)counts;
    return false;
#endif
}

} // namespace

PosixSerialPort::~PosixSerialPort()
{
    Close();
}

void PosixSerialPort::SetError(SerialError error, std::string text)
{
    std::lock_guard lock(m_errorMutex);
    m_error = error;
    m_strError = std::move(text);
}

void PosixSerialPort::SetErrno(int err, const std::string& what)
{
    SetError(ErrorFromErrno(err), what + ": " + ErrnoText(err));
}

SerialError PosixSerialPort::LastError() const
{
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

std::string PosixSerialPort::LastErrorText() const
{
    std::lock_guard lock(m_errorMutex);
    return m_strError;
}

bool PosixSerialPort::Open(const std::string& devicePath)
{
    Close();
    if (devicePath.empty()) {
        SetError(SerialError::NotFound, "no device named");
        return false;
    }
    // Non-blocking: an open must not wait for carrier, and neither reads
    // nor writes may ever stall the thread that makes them.
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetErrno(errno, devicePath);
        return false;
    }
    // Two programs on one port would take each other's replies. TIOCEXCL
    // makes the driver refuse later openers, but root passes it by, so an
    // advisory lock that every opener of ours asks for decides first.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            SetError(SerialError::InUse, devicePath + ": in use by another program");
        else
            SetErrno(err, devicePath);
        return false;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        const int err = errno;
        ::close(fd);
        SetErrno(err, devicePath);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    bool settingsHeld = false;
    MakeUnitLineSettings(t);
    if (::tcsetattr(fd, TCSANOW, &t) == 0) {
        termios back{};
        settingsHeld = ::tcgetattr(fd, &back) == 0 && UnitLineSettingsHeld(back);
    }

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(fd);
        SetErrno(err, "wake-up pipe");
        return false;
    }
    m_fd = fd;
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_strPath = devicePath;
    m_bInterrupt.store(false);
    m_decoder.Reset();
    m_rawPos = m_rawLen = 0;
    m_bHaveCounts = ReadFaultCounts(m_fd, m_counts);
    {
        std::lock_guard lock(m_writeMutex);
        m_pending.clear();
    }
    if (settingsHeld)
        SetError(SerialError::None, {});
    else
        SetError(SerialError::SettingsRejected, devicePath + ": the driver refused the line settings");
    return true;
}

void PosixSerialPort::Close()
{
    if (m_fd < 0)
        return;
    {
        // One last try for bytes still waiting; what the driver took, it
        // sends before the device is released.
        std::lock_guard lock(m_writeMutex);
        FlushPendingLocked();
        m_pending.clear();
    }
    ::ioctl(m_fd, TIOCNXCL);
    CloseFd(m_fd);
    CloseFd(m_wakeRead);
    CloseFd(m_wakeWrite);
}

void PosixSerialPort::Interrupt()
{
    m_bInterrupt.store(true, std::memory_order_release);
    if (m_wakeWrite >= 0) {
        const char b = 'i';
        // A full pipe already wakes the reader.
        [[maybe_unused]] ssize_t n = ::write(m_wakeWrite, &b, 1);
    }
}

void PosixSerialPort::DrainWakePipe()
{
    char sink[64];
    while (::read(m_wakeRead, sink, sizeof sink) > 0) { }
}

std::uint8_t PosixSerialPort::NameFaults(std::uint8_t decoded)
{
    LineFaultCounts now;
    if (!m_bHaveCounts || !ReadFaultCounts(m_fd, now))
        return decoded;
    const std::uint8_t bits = ClassifyLineFault(decoded, m_counts, now);
    m_counts = now;
    return bits;
}

SerialRead PosixSerialPort::Read(std::span<std::uint8_t> buffer)
{
    using Status = SerialRead::Status;
    if (m_fd < 0) {
        SetError(SerialError::NotOpen, "the port is not open");
        return {Status::Gone};
    }
    if (buffer.empty())
        return {Status::Data};
    for (;;) {
        if (m_rawPos < m_rawLen) {
            const auto d = m_decoder.Decode(std::span(m_raw).subspan(m_rawPos, m_rawLen - m_rawPos), buffer);
            m_rawPos += d.consumed;
            const std::uint8_t faults = d.lineErrors != 0 ? NameFaults(d.lineErrors) : 0;
            if (d.produced > 0 || faults != 0)
                return {Status::Data, d.produced, faults};
            continue; // only part of a marker so far
        }
        if (m_bInterrupt.exchange(false, std::memory_order_acq_rel))
            return {Status::Interrupted};

        pollfd fds[2] = {};
        fds[0].fd = m_fd;
        fds[0].events = POLLIN;
        {
            std::lock_guard lock(m_writeMutex);
            if (!m_pending.empty())
                fds[0].events |= POLLOUT;
        }
        fds[1].fd = m_wakeRead;
        fds[1].events = POLLIN;
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            SetErrno(errno, m_strPath);
            return {Status::Gone};
        }
        if (fds[1].revents & POLLIN)
            DrainWakePipe();
        if (fds[0].revents & POLLOUT) {
            std::lock_guard lock(m_writeMutex);
            FlushPendingLocked();
        }
        const short ends = POLLHUP | POLLERR | POLLNVAL;
        if ((fds[0].revents & (POLLIN | ends)) == 0)
            continue;
        // Read even on a hang-up: bytes that arrived before it still count.
        const ssize_t n = ::read(m_fd, m_raw.data(), m_raw.size());
        if (n > 0) {
            m_rawPos = 0;
            m_rawLen = static_cast<std::size_t>(n);
            continue;
        }
        const int err = n < 0 ? errno : 0;
        if ((err == EAGAIN || err == EINTR) && (fds[0].revents & ends) == 0)
            continue;
        // End of file on a terminal means it was hung up.
        if (err != 0 && err != EAGAIN && err != EINTR)
            SetError(SerialError::Gone, m_strPath + ": " + ErrnoText(err));
        else
            SetError(SerialError::Gone, m_strPath + ": the device went away");
        return {Status::Gone};
    }
}

bool PosixSerialPort::Write(std::span<const std::uint8_t> bytes)
{
    if (m_fd < 0) {
        SetError(SerialError::NotOpen, "the port is not open");
        return false;
    }
    bool wakeReader = false;
    {
        std::lock_guard lock(m_writeMutex);
        if (m_pending.size() + bytes.size() > kMaxPendingWrite) {
            SetError(SerialError::Other, m_strPath + ": the device does not take the bytes written");
            return false;
        }
        const bool wasIdle = m_pending.empty();
        m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
        // Bytes already waiting go first, so new ones join the queue.
        if (wasIdle && !FlushPendingLocked())
            return false;
        wakeReader = wasIdle && !m_pending.empty();
    }
    // The reader's poll must learn that it now has to watch for room.
    if (wakeReader && m_wakeWrite >= 0) {
        const char b = 'w';
        [[maybe_unused]] ssize_t n = ::write(m_wakeWrite, &b, 1);
    }
    return true;
}

bool PosixSerialPort::FlushPendingLocked()
{
    std::size_t done = 0;
    while (done < m_pending.size()) {
        const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int err = n < 0 ? errno : EAGAIN;
        if (err == EINTR)
            continue;
        if (err == EAGAIN)
            break;
        // The device is gone or refuses: the waiting bytes cannot go anywhere.
        SetError(err == EIO ? SerialError::Gone : ErrorFromErrno(err), m_strPath + ": " + ErrnoText(err));
        m_pending.clear();
        return false;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(done));
    return true;
}

std::size_t PosixSerialPort::PendingWriteBytes() const
{
    std::lock_guard lock(m_writeMutex);
    return m_pending.size();
}

} // namespace velmora
