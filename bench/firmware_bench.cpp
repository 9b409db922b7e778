// Helps scripts/bench.d time a whole firmware update through the simulated
// bridge library:
//   image FILE         writes an image that fills the whole program memory
//                      (pseudo-random bytes, 16 to a record)
//   same IMAGE FLASH   exits 0 when the flash the library wrote holds the
//                      image's program memory, byte for byte
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/ImageFile.h"
#include "platform/AtomicFile.h"

using namespace velmora;

namespace {

constexpr std::uint32_t kFirstAddress = 0xFFFE0000;
constexpr std::size_t kRecordBytes = 16;

void Hex(std::string& out, unsigned value, int digits)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; --d)
        out += kDigits[(value >> (4 * d)) & 0xF];
}

// An S3 (or S7) line with its count and checksum.
std::string SRecord(char type, std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    const unsigned count = 4 + static_cast<unsigned>(data.size()) + 1;
    unsigned sum = count;
    std::string line = "S";
    line += type;
    Hex(line, count, 2);
    Hex(line, address, 8);
    for (int s = 0; s < 4; ++s)
        sum += (address >> (8 * s)) & 0xFF;
    for (std::uint8_t b : data) {
        Hex(line, b, 2);
        sum += b;
    }
    Hex(line, ~sum & 0xFF, 2);
    return line;
}

int WriteImage(const std::string& path)
{
    std::vector<std::string> records;
    std::uint32_t state = 0x12345678;
    for (std::size_t at = 0; at < kProgrammedBytes; at += kRecordBytes) {
        std::vector<std::uint8_t> data(kRecordBytes);
        for (std::uint8_t& b : data) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(state >> 24);
        }
        records.push_back(EncodeImageRecord(SRecord('3', kFirstAddress + static_cast<std::uint32_t>(at), data)));
    }
    records.push_back(EncodeImageRecord(SRecord('7', kFirstAddress, {})));
    if (!WriteFileAtomically(path, EncodeImageFile({0x09, 0x09, 0x09}, records))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

int Same(const std::string& imagePath, const std::string& flashPath)
{
    FirmwareImage image;
    std::string flash;
    if (LoadImage(imagePath, image) != ImageFileResult::Ok || !ReadRegularFile(flashPath, flash, 1 << 20)) {
        std::fprintf(stderr, "cannot read %s or %s\n", imagePath.c_str(), flashPath.c_str());
        return 1;
    }
    if (flash.size() != kProgrammedBytes)
        return 1;
    for (std::size_t i = 0; i < kProgrammedBytes; ++i)
        if (static_cast<std::uint8_t>(flash[i]) != image[i]) {
            std::fprintf(stderr, "flash differs at FFFE%04zX\n", i);
            return 1;
        }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "image" && argc == 3)
        return WriteImage(argv[2]);
    if (what == "same" && argc == 4)
        return Same(argv[2], argv[3]);
    std::fprintf(stderr, "usage: velmora-bench-firmware image FILE | same IMAGE FLASH\n");
    return 2;
}
