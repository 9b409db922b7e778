#include "platform/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// O_EXCL with a name unique to this process and call: the temporary file is
// created with the ordinary permission rules (mkstemp would force 0600).
int CreateTemp(const std::string& path, std::string& tempPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(getpid()), counter.fetch_add(1));
        tempPath = path + suffix;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::string_view data)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

AtomicWriteResult Fail(AtomicWriteError error, int err, int fd, const std::string& tempPath)
{
    if (fd >= 0)
        ::close(fd);
    if (!tempPath.empty())
        ::unlink(tempPath.c_str());
    return {error, err};
}

} // namespace

std::string AtomicWriteResult::Describe() const
{
    const char* step = "";
    switch (error) {
    case AtomicWriteError::None:
        return "";
    case AtomicWriteError::CreateTemp:
        step = "create";
        break;
    case AtomicWriteError::Write:
        step = "write";
        break;
    case AtomicWriteError::Sync:
        step = "sync";
        break;
    case AtomicWriteError::Rename:
        step = "rename";
        break;
    }
    return std::string(step) + ": " + std::strerror(sysError);
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes)
{
    // O_NONBLOCK so that a FIFO given as a path cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes.clear();
    char buf[16384];
    while (bytes.size() <= maxBytes) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes + 1 - bytes.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view data)
{
    std::string tempPath;
    const int fd = CreateTemp(path, tempPath);
    if (fd < 0)
        return {AtomicWriteError::CreateTemp, errno};

    struct stat old{};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);

    if (!WriteAll(fd, data))
        return Fail(AtomicWriteError::Write, errno, fd, tempPath);
    if (::fsync(fd) != 0)
        return Fail(AtomicWriteError::Sync, errno, fd, tempPath);
    // close() can report a deferred write error (network file systems).
    if (::close(fd) != 0)
        return Fail(AtomicWriteError::Write, errno, -1, tempPath);
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        return Fail(AtomicWriteError::Rename, errno, -1, tempPath);

    // Make the new name itself durable; the content already is, so a failure
    // here costs at most the rename after a power loss, never the old file.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

} // namespace velmora
