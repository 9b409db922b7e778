#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SettingsTestSupport.h"
#include "model/SettingsArchive.h"

using namespace velmora;
using namespace velmora::test;

TEST(SettingsArchive, NumbersAreLittleEndianAndReadBack)
{
    ArchiveWriter w;
    w.WriteInt32(-2);
    w.WriteInt32(0x01020304);
    w.WriteDouble(1.0);
    w.WriteDouble(-0.1);
    w.WriteBool(true);
    w.WriteBool(false);
    EXPECT_EQ(w.Bytes(),
              I32(-2) + std::string("\x04\x03\x02\x01", 4) + std::string("\0\0\0\0\0\0\xF0\x3F", 8) + F64(-0.1) +
                  std::string("\x01\x00", 2));

    ArchiveReader r(w.Bytes());
    std::int32_t a = 0, b = 0;
    double c = 0, d = 0;
    bool e = false, f = true;
    ASSERT_TRUE(r.ReadInt32(a) && r.ReadInt32(b) && r.ReadDouble(c) && r.ReadDouble(d) && r.ReadBool(e) &&
                r.ReadBool(f));
    EXPECT_EQ(a, -2);
    EXPECT_EQ(b, 0x01020304);
    EXPECT_EQ(c, 1.0);
    EXPECT_EQ(d, -0.1);
    EXPECT_TRUE(e);
    EXPECT_FALSE(f);
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(SettingsArchive, AnyNonZeroByteReadsAsTrue)
{
    const std::string bytes("\x02\x80", 2);
    ArchiveReader r(bytes);
    bool a = false, b = false;
    ASSERT_TRUE(r.ReadBool(a) && r.ReadBool(b));
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
}

TEST(SettingsArchive, StringPrefixChangesFormAtItsLimits)
{
    struct Case {
        std::size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string("\x00", 1)},
        {254, "\xFE"},
        {255, std::string("\xFF\xFF\x00", 3)},
        {0xFFFD, "\xFF\xFD\xFF"},
        {0xFFFE, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {0x10000, std::string("\xFF\xFF\xFF\x00\x00\x01\x00", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'a');
        ArchiveWriter w;
        w.WriteString(text);
        ASSERT_EQ(w.Bytes().size(), c.prefix.size() + c.length);
        EXPECT_EQ(w.Bytes().substr(0, c.prefix.size()), c.prefix);

        ArchiveReader r(w.Bytes());
        std::string back;
        ASSERT_TRUE(r.ReadString(back));
        EXPECT_EQ(back, text);
        EXPECT_EQ(r.Remaining(), 0u);
    }
}

TEST(SettingsArchive, SixteenBitMarkerGivesCodePageText)
{
    // 0xFF 0xFFFE, then a one-byte count of 16-bit units: "COM" and "内".
    const std::string bytes = std::string("\xFF\xFE\xFF\x04", 4) + std::string("C\0O\0M\0\x85\x51", 8) + "tail";
    ArchiveReader r(bytes);
    std::string s;
    ASSERT_TRUE(r.ReadString(s));
    EXPECT_EQ(s, "COM\x93\xE0");
    EXPECT_EQ(r.Remaining(), 4u);

    // The count after the marker may take the long forms as well.
    std::string longForm = std::string("\xFF\xFE\xFF\xFF\x00\x01", 6);
    for (int i = 0; i < 256; ++i)
        longForm += std::string("x\0", 2);
    ArchiveReader r2(longForm);
    ASSERT_TRUE(r2.ReadString(s));
    EXPECT_EQ(s, std::string(256, 'x'));
}

TEST(SettingsArchive, RunningPastTheEndIsStickyAndLeavesOutputsAlone)
{
    const std::string bytes("\x01\x02\x03", 3);
    ArchiveReader r(bytes);
    std::int32_t v = 77;
    EXPECT_FALSE(r.ReadInt32(v));
    EXPECT_EQ(v, 77);
    EXPECT_TRUE(r.PastEnd());
    // Even a read that would fit now fails: the file is over.
    bool b = false;
    EXPECT_FALSE(r.ReadBool(b));

    ArchiveReader empty(std::string_view{});
    std::string s = "kept";
    EXPECT_FALSE(empty.ReadString(s));
    EXPECT_EQ(s, "kept");
}

TEST(SettingsArchive, LengthsBeyondTheDataFailAtOnce)
{
    // A 32-bit length of 4 GB - 1 in front of a few bytes: refused before any
    // allocation (ASan would report an allocation of that size).
    const std::string huge = std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7) + "abc";
    ArchiveReader r(huge);
    std::string s;
    EXPECT_FALSE(r.ReadString(s));
    EXPECT_TRUE(r.PastEnd());

    // One byte short, in each prefix form and in 16-bit units.
    for (const std::string& bytes : {std::string("\x05"
                                                 "abcd"),
                                     std::string("\xFF\x00\x01", 3) + std::string(255, 'a'),
                                     std::string("\xFF\xFE\xFF\x03"
                                                 "a\0b\0c",
                                                 9),
                                     std::string("\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\x7F"
                                                 "ab",
                                                 11)}) {
        ArchiveReader rr(bytes);
        EXPECT_FALSE(rr.ReadString(s));
    }
}

TEST(SettingsArchive, NonFiniteDoublesKeepTheirBits)
{
    const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -0.0,
                             std::numeric_limits<double>::denorm_min()};
    ArchiveWriter w;
    for (double v : values)
        w.WriteDouble(v);
    ArchiveReader r(w.Bytes());
    for (double v : values) {
        double back = 0;
        ASSERT_TRUE(r.ReadDouble(back));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v));
    }
}
