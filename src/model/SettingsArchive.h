#pragma once
// The binary archive of the settings files: little-endian int32, IEEE double,
// one-byte bool and length-prefixed 8-bit strings.
//
// String prefix: one byte for lengths 0-254; 0xFF and a 16-bit length for
// 255-0xFFFD; 0xFF, 0xFFFF and a 32-bit length beyond. On reading, 0xFF
// followed by 0xFFFE marks a string of 16-bit characters: another prefix of
// the same form follows, counting 16-bit units, and the text is brought down
// to CP932. Strings are always written 8-bit.
//
// The reader works on the file's bytes in memory. Running past the end is a
// result, not an exception: the failing read returns false, leaves its
// output untouched, and every later read fails too. A length that claims
// more than what remains is such a failure at once, so no length in a file
// can make the reader allocate more than the file holds.
//
// Thread contract: one object, one thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

class ArchiveWriter {
public:
    void WriteInt32(std::int32_t value);
    void WriteDouble(double value);
    void WriteBool(bool value);
    // `bytes` is written as it is (CP932 by convention).
    void WriteString(std::string_view bytes);

    const std::string& Bytes() const { return m_bytes; }

private:
    void Put(std::uint64_t value, int size);

    std::string m_bytes;
};

class ArchiveReader {
public:
    // The bytes are not copied and must outlive the reader.
    explicit ArchiveReader(std::string_view bytes) : m_bytes(bytes) { }
    explicit ArchiveReader(std::string&&) = delete;

    bool ReadInt32(std::int32_t& value);
    bool ReadDouble(double& value);
    bool ReadBool(bool& value);
    // CP932 bytes (16-bit strings converted).
    bool ReadString(std::string& bytes);

    // A read has run past the end of the data.
    bool PastEnd() const { return m_bPastEnd; }
    std::size_t Position() const { return m_pos; }
    std::size_t Remaining() const { return m_bytes.size() - m_pos; }

private:
    bool Take(std::uint64_t& value, int size);
    bool ReadLength(std::uint64_t& length, bool& wide);

    std::string_view m_bytes;
    std::size_t m_pos = 0;
    bool m_bPastEnd = false;
};

} // namespace velmora
