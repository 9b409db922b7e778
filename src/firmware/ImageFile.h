#pragma once
// Firmware image files (.zpg): a 4-byte header with the firmware version,
// then the microcontroller program as Motorola S-records stored packed and
// with their characters exchanged by one of three tables. The reader turns
// them into the memory image that boot-mode programming writes and reads
// back.
//
// Thread contract: none needed; plain functions over a file and a buffer.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "platform/Translate.h"

namespace velmora {

// The memory image: offsets 0x00000-0x1FFFF hold microcontroller addresses
// 0xFFFE0000-0xFFFFFFFF (what is programmed); 0x20000-0x207FF catch
// addresses 0x00000000-0x000007FF and are never programmed.
inline constexpr std::size_t kImageBytes = 0x20800;
inline constexpr std::size_t kProgrammedBytes = 0x20000;
inline constexpr std::uint32_t kImageAddressOffset = 0x20000;
using FirmwareImage = std::vector<std::uint8_t>;

// No real image comes near this; a larger file is not an image.
inline constexpr std::size_t kMaxImageFileBytes = 16u << 20;

enum class ImageFileResult {
    Ok,
    CannotOpen, // missing, unreadable or no regular file
    Bad,        // empty, shorter than its header, or beyond any image's size
};

inline constexpr const char* kMsgImageCannotOpen = N_("ファイルが開けません");
// The trailing space belongs to the text.
inline constexpr const char* kMsgImageBad = N_("転送ファイルに誤りがあります ");
// The message for a result other than Ok; empty for Ok.
const char* ImageFileMessage(ImageFileResult result);

// The version: bytes 1-3 as six upper-case hexadecimal digits.
ImageFileResult ReadImageVersion(const std::string& path, std::string& version);

// The image from every record of the file, 0xFF where no record wrote.
// Records with a bad checksum, a type other than S3/S7 or characters that
// are no upper-case hexadecimal digits are skipped; bytes that would fall
// outside the image are dropped. A record cut short by the end of the file
// makes the file Bad: it was cut short.
ImageFileResult LoadImage(const std::string& path, FirmwareImage& image);

// The same from the file's bytes.
ImageFileResult DecodeImage(std::string_view file, FirmwareImage& image);

// --- the stored form, for whoever makes image files (tests, the simulator) ---

// The payload bytes a record with this length byte carries; 0 or less for
// none.
int PayloadLength(std::int8_t lengthByte);

// One S-record line ("S3...") in its stored form, exchanged by the default
// table (`table` 'D'), table Y ('Y') or table Z ('Z'). Empty when the line
// cannot be stored: odd length, more than 25 pairs after the type, or a
// character the table cannot give.
std::string EncodeImageRecord(std::string_view srecord, char table = 'D');

// A whole file: header with the version bytes, then the records.
std::string EncodeImageFile(const std::array<std::uint8_t, 3>& version, const std::vector<std::string>& records);

} // namespace velmora
