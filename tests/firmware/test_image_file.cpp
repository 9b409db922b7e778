// Firmware image files: the stored record form with its three exchange
// tables and its length rule, the S-records it carries, and the memory image
// they fill.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firmware/ImageFile.h"

using namespace velmora;

namespace {

// An S3 line for `address` with `data`, its count and checksum computed.
std::string S3(std::uint32_t address, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(4 + data.size() + 1),
                                       static_cast<std::uint8_t>(address >> 24),
                                       static_cast<std::uint8_t>(address >> 16),
                                       static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = "S3";
    char buf[4];
    for (std::uint8_t b : bytes) {
        sum += b;
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X", (sum & 0xFFu) ^ 0xFFu);
    return line + buf;
}

FirmwareImage Decode(const std::vector<std::string>& records)
{
    FirmwareImage image;
    EXPECT_EQ(DecodeImage(EncodeImageFile({0x01, 0x02, 0xAB}, records), image), ImageFileResult::Ok);
    return image;
}

std::string WriteTemp(const std::string& name, const std::string& bytes)
{
    std::string path = ::testing::TempDir() + "/velmora-image-" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

} // namespace

TEST(ImageFile, TheStoredFormOfARecordByTheDefaultTable)
{
    // S3, address FFFE0000, one data byte 12: 7 pairs after the type. The
    // default table exchanges 3/6, 2/8 and B/E; 55 is the first length byte
    // that gives 7 payload bytes.
    const std::string line = S3(0xFFFE0000, {0x12});
    ASSERT_EQ(line, "S306FFFE000012EA");
    EXPECT_EQ(EncodeImageRecord(line), std::string("\x37 G6\x03\xFF\xFB\x00\x00\x18\xBA", 11));
    EXPECT_EQ(Decode({EncodeImageRecord(line)})[0], 0x12);

    // k = trunc((L - 9) / 2) - 7, then m by k's parity.
    EXPECT_EQ(PayloadLength(55), 7); // k = 16, even
    EXPECT_EQ(PayloadLength(57), 7); // k = 17, odd
    EXPECT_EQ(PayloadLength(54), 6);
    EXPECT_EQ(PayloadLength(0), -7); // k = -11
    EXPECT_EQ(PayloadLength(127), 25);
    EXPECT_LE(PayloadLength(-128), 0);
}

TEST(ImageFile, EachTableDecodesAndLaterRecordsWin)
{
    const std::vector<std::uint8_t> data = {0x00, 0x11, 0x23, 0x5A, 0x7C, 0x8E, 0xB6, 0xDF, 0xF9};
    for (char table : {'D', 'Y', 'Z'}) {
        const std::string stored = EncodeImageRecord(S3(0xFFFE0100, data), table);
        ASSERT_FALSE(stored.empty()) << table;
        const FirmwareImage image = Decode({stored});
        ASSERT_EQ(image.size(), kImageBytes);
        for (std::size_t i = 0; i < data.size(); ++i)
            EXPECT_EQ(image[0x100 + i], data[i]) << table << " " << i;
        EXPECT_EQ(image[0xFF], 0xFF);
        EXPECT_EQ(image[0x100 + data.size()], 0xFF);
    }
    // The same address twice: the later record's byte stays.
    const FirmwareImage twice =
        Decode({EncodeImageRecord(S3(0xFFFE0000, {0x01, 0x02}), 'Y'), EncodeImageRecord(S3(0xFFFE0001, {0x7F}), 'Z')});
    EXPECT_EQ(twice[0], 0x01);
    EXPECT_EQ(twice[1], 0x7F);
}

TEST(ImageFile, BadAndIgnoredRecordsLeaveTheImageAlone)
{
    std::string badSum = S3(0xFFFE0000, {0x55});
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    std::string s1 = S3(0xFFFE0000, {0x55});
    s1[1] = '1'; // same pairs, type 1: ignored
    std::string s7 = S3(0xFFFE0000, {0x55});
    s7[1] = '7'; // an end record stores nothing
    // A record of length byte 0: four bytes, no line; what follows still loads.
    const std::string zero("\x00"
                           "abc",
                           4);
    const FirmwareImage image = Decode({EncodeImageRecord(badSum), EncodeImageRecord(s1), EncodeImageRecord(s7), zero,
                                        EncodeImageRecord(S3(0xFFFE0010, {0x42}))});
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[0x10], 0x42);

    // The type digit passes through a table that does not list it: 7 is in
    // Z's pairs but not in the default table's, so a stored "7" stays S7.
    std::string stored = EncodeImageRecord(S3(0xFFFE0020, {0x99}));
    stored[3] = '7';
    EXPECT_EQ(Decode({stored})[0x20], 0xFF);

    // A record cut short by the end of the file: the file was cut short.
    const std::string whole = EncodeImageRecord(S3(0xFFFE0030, {0x66, 0x67}));
    FirmwareImage cut;
    EXPECT_EQ(
        DecodeImage(
            EncodeImageFile({1, 2, 3}, {EncodeImageRecord(S3(0xFFFE0040, {0x11})), whole.substr(0, whole.size() - 1)}),
            cut),
        ImageFileResult::Bad);
}

TEST(ImageFile, AddressesMapIntoTheImageAndNeverBeyondIt)
{
    std::vector<std::uint8_t> sixteen(16);
    for (std::size_t i = 0; i < sixteen.size(); ++i)
        sixteen[i] = static_cast<std::uint8_t>(0xA0 + i);
    const FirmwareImage top = Decode({EncodeImageRecord(S3(0xFFFFFFF0, sixteen))});
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(top[0x1FFF0 + i], 0xA0 + i);

    // Low addresses land above the programmed part; past 0x7FF they would
    // fall outside the image and are dropped.
    const FirmwareImage low =
        Decode({EncodeImageRecord(S3(0x00000000, {0x01})), EncodeImageRecord(S3(0x000007FF, {0x02, 0x03})),
                EncodeImageRecord(S3(0x12345678, {0x04}))});
    EXPECT_EQ(low.size(), kImageBytes);
    EXPECT_EQ(low[0x20000], 0x01);
    EXPECT_EQ(low[0x207FF], 0x02);
    std::size_t written = 0;
    for (std::uint8_t b : low)
        written += b != 0xFF;
    EXPECT_EQ(written, 2u);

    // Only the header: every byte 0xFF.
    const FirmwareImage empty = Decode({});
    EXPECT_EQ(empty, FirmwareImage(kImageBytes, 0xFF));
}

TEST(ImageFile, VersionAndFilesThatAreNoImage)
{
    const std::string good = WriteTemp("good.zpg", EncodeImageFile({0x01, 0x0C, 0xF0}, {}));
    std::string version;
    ASSERT_EQ(ReadImageVersion(good, version), ImageFileResult::Ok);
    EXPECT_EQ(version, "010CF0");
    FirmwareImage image;
    EXPECT_EQ(LoadImage(good, image), ImageFileResult::Ok);
    EXPECT_EQ(image.size(), kImageBytes);

    const std::string empty = WriteTemp("empty.zpg", "");
    const std::string shortFile = WriteTemp("short.zpg", std::string("\0\1", 2));
    EXPECT_EQ(ReadImageVersion(empty, version), ImageFileResult::Bad);
    EXPECT_EQ(ReadImageVersion(shortFile, version), ImageFileResult::Bad);
    EXPECT_EQ(LoadImage(empty, image), ImageFileResult::Bad);
    EXPECT_STREQ(ImageFileMessage(ImageFileResult::Bad), "転送ファイルに誤りがあります ");

    const std::string fifo = ::testing::TempDir() + "/velmora-image-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadImageVersion(fifo, version), ImageFileResult::CannotOpen);
    EXPECT_EQ(ReadImageVersion(good + ".missing", version), ImageFileResult::CannotOpen);
    EXPECT_STREQ(ImageFileMessage(ImageFileResult::CannotOpen), "ファイルが開けません");
    for (const std::string& p : {good, empty, shortFile, fifo})
        ::unlink(p.c_str());
}
