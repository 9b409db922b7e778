// Reading and writing the settings file: the exact format, the refusals, a
// file that ends early, and the frames the unit sees while a file is read.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SettingsTestSupport.h"
#include "model/RangeTable.h"
#include "platform/Cp932.h"
#include "support/ScriptedPrompter.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// Every stored field different from its neighbours and from the defaults.
void Populate(CVelmoraDoc& doc)
{
    doc.m_model.channelCount = 2;
    doc.m_strLastPort = "COM3";
    const int ranges[4] = {5, 3, 12, 15};
    for (int ch = 0; ch < 4; ++ch) {
        ChannelSettings& s = doc.m_model.channels[ch];
        s.useConversion = ch % 2 == 1;
        s.rangeCode = ranges[ch];
        s.convMin = -12.5 - ch;
        s.convMax = 1e6 / 3 + ch;
        s.convDecimals = ch + 1;
        for (int k = 0; k < 16; ++k)
            for (int i = 0; i < 8; ++i)
                s.presets[k][i] = ch * 1000 + k * 10 + i + 0.1;
        AutoOutputState& a = doc.m_autoOutput[ch];
        for (int k = 0; k < 16; ++k) {
            a.slots[k] = {k % 3, k * 7, 0.1 * k, 20.0 - k, -0.25 * k, 5 + k};
        }
        for (int r = 0; r < 100; ++r)
            a.points[r] = {r % 2 == 0, r * 0.3 - ch, r + 1};
    }
}

class SettingsFileTest : public SettingsTest {
protected:
    ScriptedPrompter m_prompter;
};

} // namespace

TEST_F(SettingsFileTest, WriterMatchesTheFieldOrderByteForByte)
{
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.m_model.channelCount = 4;
    doc.m_strLastPort = "COM3";
    BlockFields b;
    b.useConversion = true;
    b.rangeCode = 7;
    b.convMin = -3.5;
    b.convMax = 250.0;
    b.convDecimals = 2;
    b.presetBase = 0.5;
    b.slot = {1, 3, 0.5, 7.25, 0.125, 42};
    b.point = {true, 17.5, 9};
    for (int ch = 0; ch < 4; ++ch) {
        ChannelSettings& s = doc.m_model.channels[ch];
        s.useConversion = b.useConversion;
        s.rangeCode = b.rangeCode;
        s.convMin = b.convMin;
        s.convMax = b.convMax;
        s.convDecimals = b.convDecimals;
        for (int i = 0; i < 128; ++i)
            s.presets[i / 8][i % 8] = b.presetBase + i;
        doc.m_autoOutput[ch].slots.fill(b.slot);
        doc.m_autoOutput[ch].points.fill(b.point);
    }
    const std::string expected = File(4, {b, b, b, b}, "COM3");
    EXPECT_EQ(Written(doc), expected);
    EXPECT_EQ(Block(b).size(), 2925u);
}

TEST_F(SettingsFileTest, SizesFollowThePortName)
{
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    const std::string empty = Written(doc);
    EXPECT_EQ(empty.size(), 11748u);
    // The empty name is the single byte 0 right after the channel count.
    EXPECT_EQ(empty.substr(20, 5), Str("0100"));
    EXPECT_EQ(empty.substr(25, 4), I32(1));
    EXPECT_EQ(empty[29], '\0');
    EXPECT_EQ(empty.substr(empty.size() - 18), Str("<<## VKX End ##>>"));

    doc.m_strLastPort = "COM3";
    EXPECT_EQ(Written(doc).size(), 11752u);
    // Text inside the program is UTF-8; the file holds CP932.
    doc.SetLastPort("ポート");
    const std::string cp932 = Written(doc);
    EXPECT_EQ(cp932.substr(29, 7), Str("\x83\x7C\x81\x5B\x83\x67"));
}

// A name whose bytes do not come back from UTF-8 the same (an NEC row-13
// duplicate, a lone lead byte) still rewrites byte for byte, and setting it
// to the name it already shows keeps those bytes.
TEST_F(SettingsFileTest, RememberedPortNameKeepsTheBytesItWasReadAs)
{
    CVelmoraDoc source(m_prompter, CVelmoraDoc::NoStateFile{});
    source.m_strLastPort = std::string("COM\xED\x40\x81", 6);
    const std::string bytes = Written(source);

    CVelmoraDoc target(m_prompter, CVelmoraDoc::NoStateFile{});
    ArchiveReader ar(bytes);
    ASSERT_EQ(target.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(Written(target), bytes);
    ASSERT_NE(Utf8ToCp932(target.LastPortName()), target.m_strLastPort);

    target.SetLastPort(target.LastPortName());
    EXPECT_EQ(Written(target), bytes);
    target.SetLastPort("ttyUSB0");
    EXPECT_EQ(target.m_strLastPort, "ttyUSB0");
    // A name CP932 cannot hold is still the one shown (and matched) in this
    // run, though the file can only keep it with a replacement.
    target.SetLastPort("/dev/café");
    EXPECT_EQ(target.LastPortName(), "/dev/café");
    EXPECT_EQ(target.m_strLastPort, "/dev/caf?");
}

TEST_F(SettingsFileTest, PopulatedDocumentSurvivesARoundTripUnchanged)
{
    CVelmoraDoc source(m_prompter, CVelmoraDoc::NoStateFile{});
    Populate(source);
    source.SetLastPort("ポートCOM3");
    const std::string bytes = Written(source);

    CVelmoraDoc target(m_prompter, CVelmoraDoc::NoStateFile{});
    ArchiveReader ar(bytes);
    ASSERT_EQ(target.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(Written(target), bytes);
    EXPECT_EQ(target.LastPortName(), "ポートCOM3");
    EXPECT_EQ(target.m_nFrameWidth, 432);
    EXPECT_TRUE(m_prompter.shown.empty());

    // Spot checks on the decoded values, against the source.
    EXPECT_EQ(target.m_model.channels[1].convMax, source.m_model.channels[1].convMax);
    EXPECT_EQ(target.m_model.channels[3].presets[15][7], 3157.1);
    EXPECT_EQ(target.m_autoOutput[2].slots[14].interval, 19);
    EXPECT_EQ(target.m_autoOutput[3].points[99].value, 99 * 0.3 - 3);
    // A channel under its conversion formula starts at its convMin.
    EXPECT_EQ(target.m_model.channels[1].setValue, -13.5);
    // A range channel starts at the range's starting value.
    EXPECT_EQ(target.m_model.channels[0].setValue, 4.0);
}

TEST_F(SettingsFileTest, EndMarkerAndTrailingBytesAreNotRead)
{
    std::string withoutEnd = File(1, {});
    withoutEnd.resize(withoutEnd.size() - 18);
    std::string withTrailer = File(2, {}) + "anything at all";
    for (const std::string* bytes : {&withoutEnd, &withTrailer}) {
        CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
        ArchiveReader ar(*bytes);
        EXPECT_EQ(doc.ReadSettings(ar), ReadResult::Ok);
    }
}

TEST_F(SettingsFileTest, VersionTextIsReadLikeAtoi)
{
    EXPECT_EQ(ParseVersionNumber("100"), 100);
    EXPECT_EQ(ParseVersionNumber("0100abc"), 100);
    EXPECT_EQ(ParseVersionNumber(" \t 100"), 100);
    EXPECT_EQ(ParseVersionNumber("+100"), 100);
    EXPECT_EQ(ParseVersionNumber("0101"), 101);
    EXPECT_EQ(ParseVersionNumber(""), 0);
    EXPECT_EQ(ParseVersionNumber("-100"), -100);
    EXPECT_EQ(ParseVersionNumber("abc100"), 0);
    // Far too many digits must not wrap round to 100.
    EXPECT_NE(ParseVersionNumber("4294967396"), 100);
    EXPECT_NE(ParseVersionNumber("18446744073709551716"), 100);

    for (const char* v : {"100", "0100abc", "  100"}) {
        SCOPED_TRACE(v);
        CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
        const std::string bytes = Header(2, "", v) + Block({}) + Block({}) + Block({}) + Block({});
        ArchiveReader ar(bytes);
        EXPECT_EQ(doc.ReadSettings(ar), ReadResult::Ok);
        EXPECT_EQ(doc.m_model.channelCount, 2);
    }
}

TEST_F(SettingsFileTest, RefusedFilesChangeNothingAndSayWhy)
{
    ScratchDir dir;
    struct Case {
        std::string bytes;
        const char* message;
    };
    const std::string blocks = Block({}) + Block({}) + Block({}) + Block({});
    const Case cases[] = {
        {Header(2, "COM9", "0101") + blocks, kMsgWrongVersion},
        {Header(2, "COM9", "") + blocks, kMsgWrongVersion},
        {Str("<<## VKX Start ##>") + Str("0100") + I32(2) + Str("COM9") + blocks, kMsgWrongFormat},
        {Str("[section]") + "key=value\n", kMsgWrongFormat},
        // Counts the program never writes: refused before anything changes.
        {Header(7, "COM9") + blocks, kMsgWrongFormat},
        {Header(0, "COM9") + blocks, kMsgWrongFormat},
        {Header(3, "COM9") + blocks, kMsgWrongFormat},
        {Header(-1, "COM9") + blocks, kMsgWrongFormat},
    };
    for (const Case& c : cases) {
        m_prompter.shown.clear();
        CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
        Populate(doc);
        doc.m_nFrameWidth = 300;
        const std::string before = Written(doc);
        const fs::path path = dir.path / "refused.ini";
        Put(path, c.bytes);

        EXPECT_EQ(doc.OpenDocument(path.string()), OpenResult::Refused);
        EXPECT_TRUE(CountsAsOpened(OpenResult::Refused));
        EXPECT_EQ(Written(doc), before);
        EXPECT_EQ(doc.m_nFrameWidth, 300);
        ASSERT_EQ(m_prompter.shown.size(), 1u);
        EXPECT_EQ(m_prompter.shown[0].text, c.message);
        EXPECT_EQ(m_prompter.shown[0].caption, kAppTitle);
        EXPECT_EQ(m_prompter.shown[0].icon, PromptIcon::Exclamation);
    }
}

TEST_F(SettingsFileTest, TruncatedFileKeepsWhatWasReadAndNamesThePath)
{
    ScratchDir dir;
    BlockFields b0;
    b0.rangeCode = 6;
    b0.convMin = 2.0;
    b0.convMax = 8.0;
    b0.presetBase = 100.0;
    BlockFields b1;
    b1.useConversion = true;
    b1.rangeCode = 10;
    b1.convMin = 50.0;
    b1.convMax = 60.0;
    std::string bytes = File(2, {b0, b1}, "COM7");
    // Cut inside channel 1's block, right after its convMin.
    const std::size_t headerSize = Header(2, "COM7").size();
    bytes.resize(headerSize + 2925 + 1 + 4 + 8 + 3);
    const fs::path path = dir.path / "cut short.ini";
    Put(path, bytes);

    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    EXPECT_EQ(doc.OpenDocument(path.string()), OpenResult::Truncated);
    EXPECT_TRUE(CountsAsOpened(OpenResult::Truncated));
    ASSERT_EQ(m_prompter.shown.size(), 1u);
    EXPECT_EQ(m_prompter.shown[0].text, path.string() + " の末尾以降にアクセスしようとしました。");
    EXPECT_EQ(m_prompter.shown[0].caption, kAppTitle);
    EXPECT_EQ(m_prompter.shown[0].icon, PromptIcon::Exclamation);

    EXPECT_EQ(doc.m_model.channelCount, 2);
    EXPECT_EQ(doc.m_strLastPort, "COM7");
    EXPECT_EQ(doc.m_model.channels[0].rangeCode, 6);
    EXPECT_EQ(doc.m_model.channels[0].presets[15][7], 227.0);
    EXPECT_TRUE(doc.m_model.channels[1].useConversion);
    EXPECT_EQ(doc.m_model.channels[1].rangeCode, 10);
    EXPECT_EQ(doc.m_model.channels[1].convMin, 50.0);
    // Not reached: still the construction value.
    EXPECT_EQ(doc.m_model.channels[1].convMax, 1.0);
}

TEST_F(SettingsFileTest, EmptyDocumentIsNotReadButAnEmptyArchiveIsAnError)
{
    ScratchDir dir;
    const fs::path path = dir.path / "empty.ini";
    Put(path, "");
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    Populate(doc);
    const std::string before = Written(doc);
    EXPECT_EQ(doc.OpenDocument(path.string()), OpenResult::EmptySkipped);
    EXPECT_TRUE(m_prompter.shown.empty());
    EXPECT_EQ(Written(doc), before);

    ArchiveReader ar(std::string_view{});
    EXPECT_EQ(doc.ReadSettings(ar), ReadResult::PastEnd);

    EXPECT_EQ(doc.OpenDocument((dir.path / "missing.ini").string()), OpenResult::CannotOpen);
    EXPECT_FALSE(CountsAsOpened(OpenResult::CannotOpen));
    EXPECT_EQ(doc.OpenDocument(dir.path.string()), OpenResult::CannotOpen);
    EXPECT_TRUE(m_prompter.shown.empty());
}

TEST_F(SettingsFileTest, SixteenBitStringsInAFileAreAccepted)
{
    auto wide = [](const std::string& ascii) {
        std::string s = std::string("\xFF\xFE\xFF", 3) + static_cast<char>(ascii.size());
        for (char c : ascii)
            s += std::string(1, c) + '\0';
        return s;
    };
    const std::string bytes = wide("<<## VKX Start ##>>") + wide("0100") + I32(1) + wide("COM12") + Block({}) +
        Block({}) + Block({}) + Block({});
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    ArchiveReader ar(bytes);
    ASSERT_EQ(doc.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(doc.m_strLastPort, "COM12");
    // Written back in the 8-bit form.
    EXPECT_EQ(Written(doc).substr(0, 20), Str("<<## VKX Start ##>>"));
}

TEST_F(SettingsFileTest, StringLengthClaimingGigabytesIsAReadError)
{
    ScratchDir dir;
    const std::string bytes =
        Str("<<## VKX Start ##>>") + Str("0100") + I32(2) + std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7) + Block({});
    const fs::path path = dir.path / "huge.ini";
    Put(path, bytes);
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.m_strLastPort = "COM1";
    EXPECT_EQ(doc.OpenDocument(path.string()), OpenResult::Truncated);
    EXPECT_EQ(doc.m_strLastPort, "COM1");
    EXPECT_EQ(doc.m_model.channelCount, 2);
    ASSERT_EQ(m_prompter.shown.size(), 1u);
    EXPECT_NE(m_prompter.shown[0].text.find("huge.ini"), std::string::npos);
}

TEST_F(SettingsFileTest, RangeCodesOutsideTheTableAreKeptAsNamingNoRange)
{
    BlockFields odd;
    odd.rangeCode = 99;
    BlockFields negative;
    negative.rangeCode = -1;
    BlockFields big;
    big.rangeCode = std::numeric_limits<std::int32_t>::min();
    const std::string bytes = File(4, {odd, negative, big, BlockFields{}});

    RecordingLink link;
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.m_model.SetLink(&link);
    ArchiveReader ar(bytes);
    ASSERT_EQ(doc.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(doc.m_model.channels[0].rangeCode, 99);
    EXPECT_FALSE(IsValidRangeCode(doc.m_model.channels[0].rangeCode));
    EXPECT_EQ(doc.m_model.ActiveSlot(0), kNoSlot);
    EXPECT_EQ(doc.m_model.ActiveSlot(1), kNoSlot);
    // Re-written exactly as read.
    EXPECT_EQ(Written(doc), bytes);

    // The new-document repair puts such channels back on 0-5 V; every
    // slot's limits stay those of the slot itself.
    doc.m_bStateLoaded = true;
    ASSERT_TRUE(doc.NewSettings());
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(doc.m_model.channels[ch].rangeCode, 0);
    EXPECT_EQ(doc.m_model.ActiveSlot(0), 0);
}

TEST_F(SettingsFileTest, ReadingWhileConnectedSendsThreeRoundsPerBlock)
{
    BlockFields plain;
    plain.rangeCode = 1;
    BlockFields converted;
    converted.useConversion = true;
    converted.rangeCode = 5;
    converted.convMin = 4.0;
    converted.convMax = 20.0;
    const std::string bytes = File(2, {converted, plain, plain, converted});

    RecordingLink link;
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    // Before: a conversion span that would put the set value elsewhere.
    doc.m_model.channels[0].convMin = 100.0;
    doc.m_model.channels[0].convMax = 200.0;
    doc.m_model.SetLink(&link);
    ArchiveReader ar(bytes);
    ASSERT_EQ(doc.ReadSettings(ar), ReadResult::Ok);

    // Per block: the channels in use (2) three times; a changed conversion
    // flag adds that channel's own frame first.
    const std::size_t perBlock = 3 * 2;
    ASSERT_EQ(link.frames.size(), 4 * perBlock + 2);
    // Block 0: own frame, then 0,1 0,1 0,1.
    const int expectedChannels[] = {0, 0, 1, 0, 1, 0, 1};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(link.frames[i].ch, expectedChannels[i]) << i;
    // Channel 3 is not in use, yet its flag change sends its frame.
    EXPECT_EQ(link.frames[1 + perBlock * 3].ch, 3);
    // The last frame of block 0 for channel 0 carries the convMin just read.
    const ChannelSettings& sent = link.frames[5].settings;
    EXPECT_EQ(sent.convMin, 4.0);
    EXPECT_EQ(sent.setValue, 4.0);
    EXPECT_EQ(sent.dacCode, 0);
    EXPECT_EQ(doc.m_model.channels[0].setValue, 4.0);

    // Not connected: nothing at all.
    link.frames.clear();
    link.connected = false;
    ArchiveReader again(bytes);
    ASSERT_EQ(doc.ReadSettings(again), ReadResult::Ok);
    EXPECT_TRUE(link.frames.empty());
}

TEST_F(SettingsFileTest, NonFiniteValuesInAFileAreStoredAndWrittenBack)
{
    BlockFields b;
    b.useConversion = true;
    b.convMin = std::numeric_limits<double>::quiet_NaN();
    b.convMax = std::numeric_limits<double>::infinity();
    b.convDecimals = 400;
    b.slot.start = -std::numeric_limits<double>::infinity();
    const std::string bytes = File(1, {b});
    RecordingLink link;
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.m_model.SetLink(&link);
    ArchiveReader ar(bytes);
    ASSERT_EQ(doc.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(Written(doc), bytes);
    EXPECT_TRUE(std::isnan(doc.m_model.channels[0].convMin));
}

TEST_F(SettingsFileTest, FailedSaveKeepsThePreviousDocument)
{
    ScratchDir dir;
    const fs::path path = dir.path / "settings.ini";
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    ASSERT_TRUE(doc.SaveDocument(path.string()));
    const std::string previous = Slurp(path);
    ASSERT_EQ(previous.size(), 11748u);

    Populate(doc);
    AtomicWriteResult r;
    {
        FileSizeLimit limit(4096);
        r = doc.SaveDocument(path.string());
    }
    EXPECT_FALSE(r);
    EXPECT_EQ(Slurp(path), previous);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path))
        ++entries;
    EXPECT_EQ(entries, 1);

    ASSERT_TRUE(doc.SaveDocument(path.string()));
    EXPECT_EQ(Slurp(path), Written(doc));
}

TEST_F(SettingsFileTest, FourChannelsWidenTheFrameSoEveryColumnFits)
{
    CVelmoraDoc source(m_prompter, CVelmoraDoc::NoStateFile{});
    source.m_nFrameWidth = 432;
    source.SetChannelCount(4);
    EXPECT_EQ(source.m_nFrameWidth, kFrameWidthFour);
    const std::string bytes = Written(source);

    CVelmoraDoc target(m_prompter, CVelmoraDoc::NoStateFile{});
    ArchiveReader ar(bytes);
    ASSERT_EQ(target.ReadSettings(ar), ReadResult::Ok);
    EXPECT_EQ(target.m_model.channelCount, 4);
    EXPECT_EQ(target.m_nFrameWidth, kFrameWidthFour);

    // One and two channels keep their widths.
    target.SetChannelCount(2);
    EXPECT_EQ(target.m_nFrameWidth, 432);
    target.SetChannelCount(1);
    EXPECT_EQ(target.m_nFrameWidth, 300);
}
