#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "protocol/FrameCodec.h"

using namespace velmora;

namespace {

std::string Checksummed(const std::string& body)
{
    std::string frame = std::string(1, kStx) + body + kEtx;
    AppendChecksum(frame);
    return frame;
}

// A status reply of channel `channel` with the given fields; the
// uninterpreted stretches are filled with "0".
std::string StatusReply(char channel, const std::string& range, const std::string& status, const std::string& extStatus,
                        const std::string& select)
{
    std::string body = "R";
    body += channel;
    body += range;
    body += std::string(20, '0');
    body += status;
    body += std::string(16, '0');
    body += extStatus;
    body += select;
    return Checksummed(body);
}

} // namespace

TEST(FrameCodec, SettingsFrameMatchesTheUnitsLayoutByteForByte)
{
    SettingsWords w;
    w.dacCode = 0x8000;
    w.controlWord = 0x1005;
    w.auxControlWord = 0x0008;
    const std::string frame = BuildSettingsWrite(0, 5, w);

    const std::string expected = std::string("\x02") + "W105800010050008000000000000000000000000" + "\x03" + "C6\r\n";
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.size(), 46u);
    EXPECT_EQ(kSettingsFrameLength, 46);
}

TEST(FrameCodec, SettingsFrameSendsTheReservedWordTwiceAndEveryWordInOrder)
{
    SettingsWords w;
    w.dacCode = 0x1111;
    w.controlWord = 0x2222;
    w.auxControlWord = 0x3333;
    w.reservedWord = 0x4444;
    w.extOutputWord = 0x5555;
    w.spareWords = {0x6666, 0x7777, 0xABCD};
    const std::string frame = BuildSettingsWrite(3, 15, w);
    EXPECT_EQ(frame.substr(1, 40),
              "W40F"
              "1111"
              "2222"
              "3333"
              "4444"
              "4444"
              "5555"
              "6666"
              "7777"
              "ABCD");
    EXPECT_EQ(frame.size(), 46u);
    EXPECT_TRUE(VerifyFrame(frame, 46).has_value());
}

TEST(FrameCodec, ChecksumCountsTheEtxButNotTheStx)
{
    // 0x43 + 0x57 + 0x4D + 0x03 = 0xEA
    EXPECT_EQ(Checksummed("CWM"),
              std::string("\x02"
                          "CWM\x03"
                          "EA\r\n"));
    EXPECT_EQ(BuildAdjustmentStore(1),
              std::string("\x02"
                          "CWM\x03"
                          "EA\r\n"));
    // The STX does not count: a different first byte gives the same sum.
    std::string other = "XCWM\x03";
    AppendChecksum(other);
    EXPECT_EQ(other.substr(5), "EA\r\n");
    // Only up to the first ETX.
    std::string twoEtx = "\x02"
                         "A\x03"
                         "B\x03";
    AppendChecksum(twoEtx);
    EXPECT_EQ(twoEtx.substr(5), "44\r\n"); // 0x41 + 0x03
}

TEST(FrameCodec, ChecksumWithoutEtxIsAProgrammingError)
{
    std::string noEtx = "\x02"
                        "CWM";
    EXPECT_DEBUG_DEATH(AppendChecksum(noEtx), "ETX");
}

TEST(FrameCodec, CommandsHaveTheirFixedLayouts)
{
    EXPECT_EQ(BuildVersionQuery(), "VER\r\n");
    EXPECT_EQ(BuildChannelCountQuery(), "CH\r\n");
    EXPECT_EQ(BuildStatusRequest(0),
              std::string("\x02"
                          "R1\r\n"));
    EXPECT_EQ(BuildStatusRequest(3),
              std::string("\x02"
                          "R4\r\n"));
    // The initialisation goes out without a checksum.
    EXPECT_EQ(BuildInitUserAdjustment(),
              std::string("\x02"
                          "CINIU\x03\r\n"));
    EXPECT_EQ(BuildInitUserAdjustment().size(), 9u);

    EXPECT_EQ(BuildAdjustmentRead(2, 0, 5), Checksummed("CRU105"));
    EXPECT_EQ(BuildAdjustmentRead(1, 3, 0x0F), Checksummed("CRM40F"));
    EXPECT_EQ(BuildAdjustmentRead(2, 0, 5).size(), 12u);

    EXPECT_EQ(BuildAdjustmentTest(0, 1, 2, 0xFFFB, 0x8003), Checksummed("CTU20200000000FFFB8003"));
    EXPECT_EQ(BuildAdjustmentTest(1, 1, 2, 0, 0x8000), Checksummed("CTU2020000000200008000"));
    EXPECT_EQ(BuildAdjustmentTest(2, 1, 2, 0, 0x8000), Checksummed("CTU202FFFF000200008000"));
    EXPECT_EQ(BuildAdjustmentTest(2, 1, 2, 0, 0x8000).size(), 28u);

    EXPECT_EQ(BuildAdjustmentTransfer(1, 0, 5, 0x0002, 0x0001, 0x7FFF),
              Checksummed("CMM1050002"
                          "0001"
                          "7FFF"));
    EXPECT_EQ(BuildAdjustmentTransfer(2, 1, 11, 0x0001, 0xFFFF, 0x8000),
              Checksummed("CMU20B0001"
                          "FFFF"
                          "8000"));
    EXPECT_EQ(BuildAdjustmentTransfer(2, 1, 11, 0, 0, 0).size(), 24u);

    EXPECT_EQ(BuildAdjustmentStore(2), Checksummed("CWU"));
    EXPECT_EQ(BuildAdjustmentStore(2).size(), 9u);
}

TEST(FrameCodec, StatusReplyIsAcceptedOnlyWithExactLengthChecksumAndChannel)
{
    const std::string good = StatusReply('2', "01", "0003", "0000", "0002");
    ASSERT_EQ(good.size(), 58u);
    ASSERT_EQ(VerifyFrame(good, kStatusReplyLength), 53);

    // One byte short or long, checksum still right for the content.
    std::string shorter = "R2" + good.substr(3, 49);
    shorter = Checksummed(shorter);
    ASSERT_EQ(shorter.size(), 57u);
    EXPECT_FALSE(VerifyFrame(shorter, kStatusReplyLength));
    std::string longer = Checksummed("R2" + good.substr(3, 50) + "0");
    ASSERT_EQ(longer.size(), 59u);
    EXPECT_FALSE(VerifyFrame(longer, kStatusReplyLength));

    // A wrong checksum digit.
    std::string badSum = good;
    badSum[55] = badSum[55] == '0' ? '1' : '0';
    EXPECT_FALSE(VerifyFrame(badSum, kStatusReplyLength));

    // Channel "5" with a checksum that matches it.
    EXPECT_FALSE(VerifyFrame(StatusReply('5', "01", "0003", "0000", "0002"), kStatusReplyLength));
    EXPECT_FALSE(VerifyFrame(StatusReply('0', "01", "0003", "0000", "0002"), kStatusReplyLength));
    EXPECT_TRUE(VerifyFrame(StatusReply('4', "01", "0003", "0000", "0002"), kStatusReplyLength));
}

TEST(FrameCodec, LowerCaseChecksumDigitsAreRejected)
{
    // Find content whose checksum has letters in both digits.
    std::string frame;
    for (char fill = '0'; fill <= 'F'; ++fill) {
        frame = StatusReply('1', "05", std::string(4, fill), "0000", "0000");
        if (std::isalpha(static_cast<unsigned char>(frame[54])) && std::isalpha(static_cast<unsigned char>(frame[55])))
            break;
    }
    ASSERT_TRUE(std::isupper(static_cast<unsigned char>(frame[54])));
    ASSERT_TRUE(VerifyFrame(frame, kStatusReplyLength));
    frame[54] = static_cast<char>(std::tolower(static_cast<unsigned char>(frame[54])));
    frame[55] = static_cast<char>(std::tolower(static_cast<unsigned char>(frame[55])));
    EXPECT_FALSE(VerifyFrame(frame, kStatusReplyLength));
}

TEST(FrameCodec, MalformedLinesAreRejectedWithoutReadingPastThem)
{
    // No ETX at all, of the right length.
    std::string noEtx = "\x02R1" + std::string(53, '0') + "\r\n";
    ASSERT_EQ(noEtx.size(), 58u);
    EXPECT_FALSE(VerifyFrame(noEtx, 58));
    // ETX as the very last byte, or just before it: no room for the checksum.
    std::string etxLast = "\x02R1" + std::string(54, '0') + "\x03";
    EXPECT_FALSE(VerifyFrame(etxLast, 58));
    std::string etxNearEnd = "\x02R1" + std::string(53, '0') +
        "\x03"
        "4";
    EXPECT_FALSE(VerifyFrame(etxNearEnd, 58));
    EXPECT_FALSE(VerifyFrame("", 58));
    EXPECT_FALSE(VerifyFrame("\x02", 58));
    EXPECT_FALSE(VerifyFrame("\x02\x03", 2));
    // Views into a larger buffer: nothing beyond the view counts.
    const std::string good = StatusReply('1', "05", "0000", "0000", "0000");
    const std::string padded = good.substr(0, 55) + "XX";
    EXPECT_FALSE(VerifyFrame(std::string_view(padded).substr(0, 55), 55));
}

TEST(FrameCodec, AdjustmentReplyCarriesItsChannelAtOffsetFour)
{
    const std::string reply = Checksummed("CRU105"
                                          "0002"
                                          "FFFB"
                                          "8003");
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_EQ(VerifyFrame(reply, kAdjustReplyLength, 4), 19);
    // At offset 2 it holds "R", which is no channel.
    EXPECT_FALSE(VerifyFrame(reply, kAdjustReplyLength));
    EXPECT_FALSE(VerifyFrame(Checksummed("CRU505"
                                         "0002"
                                         "FFFB"
                                         "8003"),
                             kAdjustReplyLength, 4));
    // 23 bytes.
    EXPECT_FALSE(VerifyFrame(Checksummed("CRU105"
                                         "0002"
                                         "FFFB"
                                         "800"),
                             kAdjustReplyLength, 4));
}

TEST(FrameCodec, ParseHexSkipsWhatIsNotADigit)
{
    EXPECT_EQ(ParseHex("1g2"), 0x12u);
    EXPECT_EQ(ParseHex(""), 0u);
    EXPECT_EQ(ParseHex("0F"), 0x0Fu);
    EXPECT_EQ(ParseHex("aB"), 0xABu);
    EXPECT_EQ(ParseHex(" 1-F "), 0x1Fu);
}

TEST(FrameCodec, HexFieldStopsAtTheFirstNonHexCharacter)
{
    const std::string line = "xx1G23ab0003FFFF\r\n";
    EXPECT_EQ(HexField(line, 2, 4), 0x1u);  // "1G23"
    EXPECT_EQ(HexField(line, 3, 4), 0x0u);  // "G23a"
    EXPECT_EQ(HexField(line, 6, 2), 0xABu); // lower case digits read
    EXPECT_EQ(HexField(line, 8, 4), 0x0003u);
    EXPECT_EQ(HexField(line, 12, 4), 0xFFFFu);
    EXPECT_EQ(HexField(line, 14, 4), 0xFFu); // "FF\r\n"
    // Only the field's own characters count, never the next ones.
    EXPECT_EQ(HexField("123456", 0, 2), 0x12u);
    // A field that would run past the line ends with it.
    EXPECT_EQ(HexField("AB", 1, 4), 0xBu);
    EXPECT_EQ(HexField("AB", 5, 4), 0x0u);
}
