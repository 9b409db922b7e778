#include "autoout/CsvFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Cp932.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The quote rule works on characters, not bytes: a field such as "ア ends in
// a two-byte character, and cutting one byte of it would leave half a
// character behind. The text is UTF-8 (the codec's output) here, where
// characters are easy to find.
std::string WithoutQuotes(std::string text)
{
    if (text.empty() || (text.front() != '"' && text.back() != '"'))
        return text;
    std::size_t firstEnd = 1;
    while (firstEnd < text.size() && IsContinuationByte(text[firstEnd]))
        ++firstEnd;
    std::size_t lastBegin = text.size() - 1;
    while (lastBegin > 0 && IsContinuationByte(text[lastBegin]))
        --lastBegin;
    if (lastBegin < firstEnd)
        return {}; // a single character
    return text.substr(firstEnd, lastBegin - firstEnd);
}

} // namespace

bool CsvReader::ReadRow()
{
    m_line = {};
    m_fieldCount = 0;
    m_cursorField = 0;
    m_cursorOffset = 0;
    if (m_pos >= m_bytes.size())
        return false;
    const std::size_t newline = m_bytes.find('\n', m_pos);
    std::string_view line =
        newline == std::string_view::npos ? m_bytes.substr(m_pos) : m_bytes.substr(m_pos, newline - m_pos);
    m_pos = newline == std::string_view::npos ? m_bytes.size() : newline + 1;
    // Only the CR of a CR LF belongs to the line end; a CR elsewhere is text.
    if (newline != std::string_view::npos && line.ends_with('\r'))
        line.remove_suffix(1);
    if (line.empty())
        return false;
    m_line = line;
    m_fieldCount = 1;
    for (char c : line) {
        if (c == ',' && m_fieldCount < INT_MAX)
            ++m_fieldCount;
    }
    return true;
}

bool CsvReader::GetField(int index, std::string& text) const
{
    if (index < 0 || index >= m_fieldCount)
        return false;
    if (index < m_cursorField) {
        m_cursorField = 0;
        m_cursorOffset = 0;
    }
    while (m_cursorField < index) {
        // The field exists, so there is a comma after the cursor.
        m_cursorOffset = m_line.find(',', m_cursorOffset) + 1;
        ++m_cursorField;
    }
    const std::size_t end = m_line.find(',', m_cursorOffset);
    const std::string_view field = end == std::string_view::npos ? m_line.substr(m_cursorOffset)
                                                                 : m_line.substr(m_cursorOffset, end - m_cursorOffset);
    text = WithoutQuotes(Cp932ToUtf8(field));
    return true;
}

bool CCsvFile::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK so that a FIFO given as the path cannot hang the open.
    m_nSystemError = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_error = CsvOpenError::CannotOpen;
        m_nSystemError = errno;
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_error = CsvOpenError::NotRegular;
        return false;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxCsvFileBytes) {
        ::close(fd);
        m_error = CsvOpenError::TooLarge;
        return false;
    }
    std::string bytes;
    char buf[16384];
    // The size is checked while reading as well: the file may grow after
    // the fstat.
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_nSystemError = errno;
            ::close(fd);
            m_error = CsvOpenError::CannotOpen;
            return false;
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxCsvFileBytes) {
            ::close(fd);
            m_error = CsvOpenError::TooLarge;
            return false;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    m_bytes = std::move(bytes);
    m_reader.emplace(m_bytes);
    m_error = CsvOpenError::None;
    return true;
}

std::string CsvOpenErrorText(CsvOpenError error, int systemError)
{
    switch (error) {
    case CsvOpenError::None:
        return {};
    case CsvOpenError::CannotOpen:
        return systemError != 0 ? std::strerror(systemError) : Tr(N_("cannot be read"));
    case CsvOpenError::NotRegular:
        return Tr(N_("not a regular file"));
    case CsvOpenError::TooLarge:
        return TrFormat(N_("larger than %1 MiB"), {std::to_string(kMaxCsvFileBytes >> 20)});
    }
    return {};
}

bool CCsvFile::ReadRow()
{
    return m_reader && m_reader->ReadRow();
}

bool CCsvFile::GetField(int index, std::string& text) const
{
    return m_reader && m_reader->GetField(index, text);
}

void CCsvFile::Close()
{
    m_reader.reset();
    m_bytes.clear();
}

} // namespace velmora
