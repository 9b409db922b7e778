#pragma once
// Replacing a file so that it is never left half written: the new content
// goes to a temporary file in the same folder (unnamed where the file system
// allows), is flushed to the disk, and only then takes the old file's name
// in one rename. A crash, a full disk or a failed write at any point leaves
// the previous file as it was. A save through a symbolic link replaces the
// file the link names and leaves the link; a replaced file keeps its mode
// and, where permitted, its owner. A temporary that a killed save left
// behind is removed by the next save of the same file. In a folder the user
// may not write, a file he may write is written in place and synced.
//
// Thread contract: reentrant; two writers of the same path race only in
// which of the two complete files wins.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

enum class AtomicWriteError {
    None,
    CreateTemp, // the folder is missing or not writable
    Write,      // short write: disk full, file size limit, I/O error
    Sync,       // the data did not reach the disk
    Rename,     // the old file could not be replaced
};

struct AtomicWriteResult {
    AtomicWriteError error = AtomicWriteError::None;
    int sysError = 0; // errno of the failing call

    explicit operator bool() const { return error == AtomicWriteError::None; }
    // "write: No space left on device" and the like, for messages.
    std::string Describe() const;
};

// Reads a regular file whole, or its first maxBytes + 1 bytes when it is
// larger (so that the caller sees that it is). False when the path cannot be
// opened or is no regular file: a FIFO or a device named as a file neither
// hangs the open nor feeds the reader without end.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes);

// Writes `data` as the whole content of `path`. A new file gets the usual
// permissions (0666 less the umask); a replaced file keeps its mode.
// Failures say which step failed and why (Describe).
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view data);

// The same for content written a piece at a time (an export of millions of
// rows): Begin, Write as often as needed, then Commit. A writer destroyed or
// abandoned before its Commit leaves the old file as it was and, where the
// file system has unnamed temporaries, nothing else; a killed process
// leaves at most a named temporary that the next save of the file removes.
// (The in-place fall-back of WriteFileAtomically is not taken: a stream
// that fails half way would spoil the file.)
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    AtomicWriteResult Begin(const std::string& path);
    // False once a write failed; Commit then says why.
    bool Write(std::string_view data);
    AtomicWriteResult Commit();
    void Abandon();
    // The temporary's name while it has one (a file system without unnamed
    // temporaries), for removing it from a signal handler; else empty.
    const std::string& TempPath() const { return m_tempPath; }

private:
    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    int m_writeError = 0;
    bool m_bUnnamed = false;
    bool m_bReplacing = false;
};

// A save clears the temporaries that killed saves of the same file left.
// A family of files each saved once (copies named by their time) has no
// later save of the same name: this clears the temporaries of every file
// in `folder` whose name begins with `prefix`, when their writer is gone.
void RemoveStaleTemporariesOf(const std::string& folder, std::string_view prefix);

} // namespace velmora
