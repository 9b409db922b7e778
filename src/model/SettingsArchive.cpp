#include "model/SettingsArchive.h"

#include <bit>
#include <cstring>

#include "platform/Cp932.h"

namespace velmora {

void ArchiveWriter::Put(std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        m_bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void ArchiveWriter::WriteInt32(std::int32_t value)
{
    Put(static_cast<std::uint32_t>(value), 4);
}

void ArchiveWriter::WriteDouble(double value)
{
    Put(std::bit_cast<std::uint64_t>(value), 8);
}

void ArchiveWriter::WriteBool(bool value)
{
    Put(value ? 1 : 0, 1);
}

void ArchiveWriter::WriteString(std::string_view bytes)
{
    const std::uint64_t n = bytes.size();
    if (n < 0xFF) {
        Put(n, 1);
    } else if (n < 0xFFFE) {
        Put(0xFF, 1);
        Put(n, 2);
    } else {
        Put(0xFF, 1);
        Put(0xFFFF, 2);
        Put(n, 4);
    }
    m_bytes.append(bytes);
}

bool ArchiveReader::Take(std::uint64_t& value, int size)
{
    if (m_bPastEnd || Remaining() < static_cast<std::size_t>(size)) {
        m_bPastEnd = true;
        return false;
    }
    value = 0;
    for (int i = 0; i < size; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(m_bytes[m_pos + i])) << (8 * i);
    m_pos += size;
    return true;
}

bool ArchiveReader::ReadInt32(std::int32_t& value)
{
    std::uint64_t v;
    if (!Take(v, 4))
        return false;
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
}

bool ArchiveReader::ReadDouble(double& value)
{
    std::uint64_t v;
    if (!Take(v, 8))
        return false;
    value = std::bit_cast<double>(v);
    return true;
}

bool ArchiveReader::ReadBool(bool& value)
{
    std::uint64_t v;
    if (!Take(v, 1))
        return false;
    value = v != 0;
    return true;
}

bool ArchiveReader::ReadLength(std::uint64_t& length, bool& wide)
{
    std::uint64_t v;
    if (!Take(v, 1))
        return false;
    if (v < 0xFF) {
        length = v;
        return true;
    }
    if (!Take(v, 2))
        return false;
    if (v == 0xFFFE && !wide) {
        // The 16-bit marker; the real length prefix follows.
        wide = true;
        return ReadLength(length, wide);
    }
    if (v < 0xFFFF) {
        length = v;
        return true;
    }
    if (!Take(v, 4))
        return false;
    length = v;
    return true;
}

bool ArchiveReader::ReadString(std::string& bytes)
{
    std::uint64_t length = 0;
    bool wide = false;
    if (!ReadLength(length, wide))
        return false;
    const std::uint64_t size = wide ? length * 2 : length;
    if (size > Remaining()) {
        m_bPastEnd = true;
        return false;
    }
    const std::string_view raw = m_bytes.substr(m_pos, static_cast<std::size_t>(size));
    m_pos += static_cast<std::size_t>(size);
    bytes = wide ? Utf16LeToCp932(raw) : std::string(raw);
    return true;
}

} // namespace velmora
