#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

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

std::string BaseOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary's name: the file's own, this process and a count, so that a
// later save can tell a temporary whose writer is gone.
std::string TempName(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(getpid()), counter.fetch_add(1));
    return path + suffix;
}

// O_EXCL with a name unique to this process and call: the temporary file is
// created with the ordinary permission rules (mkstemp would force 0600).
int CreateTemp(const std::string& path, std::string& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = TempName(path);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Where a save of `path` writes: through its symbolic links to the file they
// name, so that the link stays a link and its target gets the new bytes.
// Nothing for a loop of links.
std::optional<std::string> ResolveLinks(const std::string& path)
{
    std::string p = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st { };
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf)
            return p;
        std::string target(buf, static_cast<std::size_t>(n));
        p = target.front() == '/' ? target : FolderOf(p).append("/").append(target);
    }
    errno = ELOOP;
    return std::nullopt;
}

// The writer's process of a temporary named as TempName names them, read
// from the end of the name ("<file>.<pid>.<count>.tmp"); nothing for any
// other name.
std::optional<long> TempWriter(std::string_view name)
{
    if (!name.ends_with(".tmp"))
        return std::nullopt;
    name.remove_suffix(4);
    const auto countDot = name.rfind('.');
    if (countDot == std::string_view::npos || countDot + 1 == name.size())
        return std::nullopt;
    for (char ch : name.substr(countDot + 1))
        if (ch < '0' || ch > '9')
            return std::nullopt;
    name = name.substr(0, countDot);
    const auto pidDot = name.rfind('.');
    if (pidDot == std::string_view::npos)
        return std::nullopt;
    const std::string_view digits = name.substr(pidDot + 1);
    long pid = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

// Temporaries of the files in `folder` whose names begin with `prefix`, left
// by writers that were killed before they could rename them.
void RemoveStaleTemporaries(const std::string& folder, std::string_view prefix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (!name.starts_with(prefix))
            continue;
        const std::optional<long> pid = TempWriter(name);
        if (!pid || *pid == getpid())
            continue;
        if (::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
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
    struct stat st { };
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

namespace {

// The fall-back for a folder the user may not write but a file he may: the
// bytes are written over the file itself and synced. Not atomic, but the
// only way such a file can be saved at all.
AtomicWriteResult WriteInPlace(const std::string& path, std::string_view data, int folderError)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return {AtomicWriteError::CreateTemp, folderError};
    if (!WriteAll(fd, data) || ::ftruncate(fd, static_cast<off_t>(data.size())) != 0)
        return Fail(AtomicWriteError::Write, errno, fd, {});
    if (::fsync(fd) != 0)
        return Fail(AtomicWriteError::Sync, errno, fd, {});
    if (::close(fd) != 0)
        return {AtomicWriteError::Write, errno};
    return {};
}

} // namespace

void RemoveStaleTemporariesOf(const std::string& folder, std::string_view prefix)
{
    RemoveStaleTemporaries(folder.empty() ? std::string(".") : folder, prefix);
}

AtomicFileWriter::~AtomicFileWriter()
{
    Abandon();
}

void AtomicFileWriter::Abandon()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    m_target.clear();
    m_writeError = 0;
}

AtomicWriteResult AtomicFileWriter::Begin(const std::string& path)
{
    Abandon();
    const std::optional<std::string> resolved = ResolveLinks(path);
    if (!resolved)
        return {AtomicWriteError::CreateTemp, errno};
    m_target = *resolved;
    RemoveStaleTemporaries(FolderOf(m_target), BaseOf(m_target) + ".");

    struct stat old { };
    m_bReplacing = ::stat(m_target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    // An unnamed temporary where the file system has them: a save killed
    // before its end leaves nothing behind. It gets a name only at the end,
    // for the rename.
    m_fd = ::open(FolderOf(m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    m_bUnnamed = m_fd >= 0;
    if (!m_bUnnamed)
        m_fd = CreateTemp(m_target, m_tempPath);
    if (m_fd < 0) {
        const int err = errno;
        m_tempPath.clear();
        return {AtomicWriteError::CreateTemp, err};
    }
    if (m_bReplacing) {
        // Only root may give a file away; for anyone else the owner is
        // already the saver, or stays what the new file gets. The mode
        // comes after, as a change of owner clears the set-id bits.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(m_fd, old.st_uid, old.st_gid);
        ::fchmod(m_fd, old.st_mode & 07777);
    }
    return {};
}

bool AtomicFileWriter::Write(std::string_view data)
{
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (WriteAll(m_fd, data))
        return true;
    m_writeError = errno;
    return false;
}

AtomicWriteResult AtomicFileWriter::Commit()
{
    if (m_fd < 0)
        return {AtomicWriteError::Write, m_writeError != 0 ? m_writeError : EBADF};
    const auto fail = [this](AtomicWriteError error, int err) {
        Abandon();
        return AtomicWriteResult{error, err};
    };
    if (m_writeError != 0)
        return fail(AtomicWriteError::Write, m_writeError);
    if (::fsync(m_fd) != 0)
        return fail(AtomicWriteError::Sync, errno);
    if (m_bUnnamed) {
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
        const std::string named = TempName(m_target);
        if (::linkat(AT_FDCWD, self, AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return fail(AtomicWriteError::Rename, errno);
        m_tempPath = named;
    }
    // close() can report a deferred write error (network file systems).
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0)
        return fail(AtomicWriteError::Write, errno);
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return fail(AtomicWriteError::Rename, errno);
    m_tempPath.clear();

    // Make the new name itself durable; the content already is, so a failure
    // here costs at most the rename after a power loss, never the old file.
    const int dir = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    m_target.clear();
    return {};
}

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view data)
{
    AtomicFileWriter writer;
    const AtomicWriteResult begun = writer.Begin(path);
    if (!begun) {
        // A folder the user may not write, holding a file he may.
        const int err = begun.sysError;
        const std::optional<std::string> target = ResolveLinks(path);
        if (target && (err == EACCES || err == EPERM) && ::access(target->c_str(), W_OK) == 0) {
            struct stat old { };
            if (::stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode))
                return WriteInPlace(*target, data, err);
        }
        return begun;
    }
    writer.Write(data);
    return writer.Commit();
}

} // namespace velmora
