#include "firmware/ImageFile.h"

#include <cstdio>

#include "platform/AtomicFile.h"

namespace velmora {

namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kHeadChars = 3;
// A line's type and count byte, address and checksum: anything this short
// carries no data.
constexpr std::size_t kShortestDataLine = 15;

// One exchange table: what each character becomes; the others stay.
struct Table {
    std::array<char, 256> to{};

    Table(std::initializer_list<std::pair<char, char>> pairs)
    {
        for (std::size_t c = 0; c < to.size(); ++c)
            to[c] = static_cast<char>(c);
        for (const auto& [from, into] : pairs)
            to[static_cast<unsigned char>(from)] = into;
    }
    char operator()(char c) const { return to[static_cast<unsigned char>(c)]; }
};

const Table& TableY()
{
    static const Table t{{'0', '3'}, {'3', '0'}, {'1', '6'}, {'6', '5'}, {'5', '1'}, {'A', 'D'},
                         {'D', 'E'}, {'E', 'A'}, {'B', 'F'}, {'F', 'B'}, {'Y', 'S'}};
    return t;
}

const Table& TableZ()
{
    static const Table t{{'0', '5'}, {'5', '0'}, {'2', '7'}, {'7', '2'}, {'8', 'C'}, {'C', '8'}, {'Z', 'S'}};
    return t;
}

const Table& TableDefault()
{
    static const Table t{{'2', '8'}, {'8', '2'}, {'3', '6'}, {'6', '3'}, {'B', 'E'}, {'E', 'B'},
                         {'G', 'S'}, {'J', 'S'}, {'K', 'S'}, {'N', 'S'}, {'P', 'S'}, {'W', 'S'}};
    return t;
}

// The table a line's first character chooses.
const Table& TableFor(char first)
{
    return first == 'Y' ? TableY() : first == 'Z' ? TableZ() : TableDefault();
}

// Upper-case hexadecimal only, as the unit's tools write it.
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int HexPair(std::string_view line, std::size_t at)
{
    const int hi = HexDigit(line[at]);
    const int lo = HexDigit(line[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// One decoded S-record line into the image; anything not a valid S3 record
// leaves it as it is.
void ApplyRecord(std::string_view line, FirmwareImage& image)
{
    if (line.size() < 2)
        return;
    const char type = line[1];
    if (type != '3' && type != '7')
        return;
    // The pairs from position 2: count, address, data, and the checksum last.
    if (line.size() < 4 || line.size() % 2 != 0)
        return;
    unsigned sum = 0;
    for (std::size_t at = 2; at + 2 < line.size(); at += 2) {
        const int b = HexPair(line, at);
        if (b < 0)
            return;
        sum += static_cast<unsigned>(b);
    }
    const int checksum = HexPair(line, line.size() - 2);
    if (checksum < 0 || ((sum & 0xFFu) ^ static_cast<unsigned>(checksum)) != 0xFFu)
        return;
    if (type == '7' || line.size() < kShortestDataLine)
        return;
    std::uint32_t address = 0;
    for (std::size_t at = 4; at < 12; at += 2)
        address = (address << 8) | static_cast<std::uint32_t>(HexPair(line, at));
    std::uint32_t offset = address + kImageAddressOffset; // modulo 2^32
    for (std::size_t at = 12; at + 2 < line.size(); at += 2, ++offset) {
        // A record for an address beyond what the image holds would write
        // outside it; such bytes are dropped.
        if (offset < image.size())
            image[offset] = static_cast<std::uint8_t>(HexPair(line, at));
    }
}

char Hex(unsigned v)
{
    return "0123456789ABCDEF"[v & 0xFu];
}

} // namespace

const char* ImageFileMessage(ImageFileResult result)
{
    switch (result) {
    case ImageFileResult::Ok:
        return "";
    case ImageFileResult::CannotOpen:
        return kMsgImageCannotOpen;
    case ImageFileResult::Bad:
        break;
    }
    return kMsgImageBad;
}

int PayloadLength(std::int8_t lengthByte)
{
    // Both divisions truncate toward zero, as C's do, and k is kept to 8 bits.
    const auto k = static_cast<std::int8_t>((lengthByte - 9) / 2 - 7);
    const int m = (k - 3) / 2;
    return k % 2 != 0 ? m : m + 1;
}

namespace {

ImageFileResult ReadFile(const std::string& path, std::string& bytes)
{
    if (!ReadRegularFile(path, bytes, kMaxImageFileBytes))
        return ImageFileResult::CannotOpen;
    if (bytes.size() > kMaxImageFileBytes)
        return ImageFileResult::Bad;
    return ImageFileResult::Ok;
}

} // namespace

ImageFileResult ReadImageVersion(const std::string& path, std::string& version)
{
    std::string bytes;
    if (const ImageFileResult r = ReadFile(path, bytes); r != ImageFileResult::Ok)
        return r;
    // Shorter than its header, the file has no version to show.
    if (bytes.size() < kHeaderBytes)
        return ImageFileResult::Bad;
    version.clear();
    for (std::size_t i = 1; i < kHeaderBytes; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        version += Hex(b >> 4);
        version += Hex(b);
    }
    return ImageFileResult::Ok;
}

ImageFileResult LoadImage(const std::string& path, FirmwareImage& image)
{
    std::string bytes;
    if (const ImageFileResult r = ReadFile(path, bytes); r != ImageFileResult::Ok)
        return r;
    return DecodeImage(bytes, image);
}

ImageFileResult DecodeImage(std::string_view file, FirmwareImage& image)
{
    image.assign(kImageBytes, 0xFF);
    if (file.size() < kHeaderBytes)
        return ImageFileResult::Bad;
    std::size_t at = kHeaderBytes;
    std::string line;
    while (at < file.size()) {
        const int m = PayloadLength(static_cast<std::int8_t>(file[at]));
        const std::size_t payload = m > 0 ? static_cast<std::size_t>(m) : 0;
        ++at;
        // A record cut short by the end of the file: the file itself was cut
        // short (a download that stopped), and what it holds is not the
        // program.
        if (file.size() - at < kHeadChars + payload)
            return ImageFileResult::Bad;
        const std::string_view head = file.substr(at, kHeadChars);
        at += kHeadChars;
        line.clear();
        if (m >= 0) {
            line += head[1];
            line += head[2];
            for (std::size_t i = 0; i < payload; ++i) {
                const auto b = static_cast<unsigned char>(file[at + i]);
                line += Hex(b >> 4);
                line += Hex(b);
            }
        }
        at += payload;
        if (!line.empty()) {
            const Table& table = TableFor(line[0]);
            for (char& c : line)
                c = table(c);
        }
        ApplyRecord(line, image);
    }
    return ImageFileResult::Ok;
}

std::string EncodeImageRecord(std::string_view srecord, char table)
{
    const Table& t = table == 'Y' ? TableY() : table == 'Z' ? TableZ() : TableDefault();
    const char first = table == 'Y' ? 'Y' : table == 'Z' ? 'Z' : 'G';
    if (srecord.size() < 2 || srecord.size() % 2 != 0 || srecord[0] != 'S')
        return {};
    // What raw character the table turns into `want`.
    const auto raw = [&t](char want) -> int {
        for (const char c : std::string_view("0123456789ABCDEF"))
            if (t(c) == want)
                return c;
        return -1;
    };
    const int type = raw(srecord[1]);
    if (type < 0)
        return {};
    const std::size_t pairs = (srecord.size() - 2) / 2;
    int lengthByte = -129;
    for (int l = -128; l <= 127; ++l)
        if (PayloadLength(static_cast<std::int8_t>(l)) == static_cast<int>(pairs)) {
            lengthByte = l;
            break;
        }
    if (lengthByte < -128)
        return {};
    std::string out;
    out += static_cast<char>(static_cast<std::int8_t>(lengthByte));
    out += ' ';
    out += first;
    out += static_cast<char>(type);
    for (std::size_t i = 0; i < pairs; ++i) {
        const int hi = raw(srecord[2 + 2 * i]);
        const int lo = raw(srecord[3 + 2 * i]);
        if (hi < 0 || lo < 0 || HexDigit(static_cast<char>(hi)) < 0 || HexDigit(static_cast<char>(lo)) < 0)
            return {};
        out += static_cast<char>(HexDigit(static_cast<char>(hi)) * 16 + HexDigit(static_cast<char>(lo)));
    }
    return out;
}

std::string EncodeImageFile(const std::array<std::uint8_t, 3>& version, const std::vector<std::string>& records)
{
    std::string out(1, '\0');
    for (std::uint8_t b : version)
        out += static_cast<char>(b);
    for (const std::string& r : records)
        out += r;
    return out;
}

} // namespace velmora
