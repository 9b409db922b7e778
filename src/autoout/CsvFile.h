#pragma once
// The CSV file of an arbitrary table, read line by line. The format is the
// plainest there is: lines end in CR LF or LF, a comma always separates
// fields (there is no quoting, also not between double quotes), and a field
// that begins or ends with a double quote loses its first and its last
// character. Reading stops at the end of the bytes and at the first empty
// line.
//
// CsvReader works over bytes in memory so that it can be fed anything (it
// is a fuzz target); CCsvFile reads a file into memory and hands it to one.
// The bytes are CP932; the fields come out in UTF-8.
//
// Thread contract: none needed; an object is used by one thread at a time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class CsvReader {
public:
    // The reader looks at `bytes` and does not copy them: they must stay
    // alive and unchanged while it is used.
    explicit CsvReader(std::string_view bytes) : m_bytes(bytes) { }

    // Takes the next line and splits it into fields. False at the end of the
    // bytes and at an empty line (which is taken all the same: a further call
    // reads the line after it); the fields are then none.
    bool ReadRow();
    // The number of fields of the present line (commas + 1), 0 after a false
    // ReadRow.
    int FieldCount() const { return m_fieldCount; }
    // Field `index` of the present line in UTF-8, quotes removed; false when
    // the line has no such field. Fields asked for in rising order cost one
    // pass over the line together.
    bool GetField(int index, std::string& text) const;

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
    std::string_view m_line;
    int m_fieldCount = 0;
    // Where the last field asked for began, so that asking for the next one
    // does not search the line from its start. A line of a million commas
    // would otherwise cost a million searches of a million bytes.
    mutable int m_cursorField = 0;
    mutable std::size_t m_cursorOffset = 0;
};

enum class CsvOpenError {
    None,
    CannotOpen, // missing, unreadable, or a read error
    NotRegular, // a folder, a device, a pipe
    TooLarge,   // above kMaxCsvFileBytes
};

// A table has 100 rows of two numbers; 16 MiB leaves room for exports with
// many more lines and columns (which are ignored) and keeps a wrong file, a
// disk image say, from taking the memory.
inline constexpr std::size_t kMaxCsvFileBytes = 16u << 20;

class CCsvFile {
public:
    CCsvFile() = default;
    CCsvFile(const CCsvFile&) = delete;
    CCsvFile& operator=(const CCsvFile&) = delete;

    // Reads the whole file. False (and nothing to read) for a file that is
    // not a regular file, cannot be read, or is larger than the limit.
    bool Open(const std::string& path);
    CsvOpenError LastError() const { return m_error; }
    // The system's error number behind the last CannotOpen (ENOENT, EACCES,
    // EIO, ...); 0 after a successful open and for the other errors.
    int LastSystemError() const { return m_nSystemError; }
    bool ReadRow();
    bool GetField(int index, std::string& text) const;
    void Close();

private:
    std::string m_bytes;
    std::optional<CsvReader> m_reader; // over m_bytes, while open
    CsvOpenError m_error = CsvOpenError::None;
    int m_nSystemError = 0;
};

// Why a file was refused, in plain English for a terminal or a log (the
// operator's box says only "ファイルが開けません"): the system's text for
// CannotOpen ("No such file or directory"), "not a regular file", "larger
// than 16 MiB"; empty for None.
std::string CsvOpenErrorText(CsvOpenError error, int systemError);

} // namespace velmora
