// The state file across starts and exits, the new-document step, the
// defaults of a new document and the repair of implausible values.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SettingsTestSupport.h"
#include "model/RangeTable.h"
#include "support/ScriptedPrompter.h"

using namespace velmora;
using namespace velmora::test;

namespace {

class SettingsLifecycleTest : public SettingsTest {
protected:
    ScriptedPrompter m_prompter;
    ScratchDir m_dir;
};

} // namespace

TEST_F(SettingsLifecycleTest, FirstStartCreatesTheFoldersAndAsksTheCircuitCount)
{
    ASSERT_FALSE(fs::exists(m_dir.path / "Hovelt"));
    {
        CVelmoraDoc doc(m_prompter, m_dir.Cwd());
        EXPECT_TRUE(fs::is_directory(m_dir.path / "Hovelt" / "Velmora"));
        EXPECT_FALSE(doc.m_bStateLoaded);
        EXPECT_FALSE(fs::exists(m_dir.StateFile()));

        m_prompter.circuitAnswers.push_back(2);
        ASSERT_TRUE(doc.NewSettings());
        EXPECT_EQ(m_prompter.circuitQuestions, 1);
        EXPECT_EQ(doc.m_model.channelCount, 2);
        EXPECT_EQ(doc.m_nFrameWidth, 432);
        for (int ch = 0; ch < 4; ++ch) {
            SCOPED_TRACE(ch);
            const ChannelSettings& s = doc.m_model.channels[ch];
            EXPECT_EQ(s.rangeCode, 0);
            EXPECT_FALSE(s.useConversion);
            EXPECT_EQ(s.convMin, 0.0);
            EXPECT_EQ(s.convMax, 100.0);
            EXPECT_EQ(s.convDecimals, 0);
            EXPECT_EQ(s.setValue, 0.0);
            const std::array<double, 8> slot0{0, 5, 0, 0, 0, 0, 0, 0};
            EXPECT_EQ(s.presets[0], slot0);
            EXPECT_EQ(s.presets[5][0], 4.0);
            EXPECT_EQ(s.presets[5][1], 20.0);
            EXPECT_EQ(s.presets[15][1], 100.0);

            const AutoOutputState& a = doc.m_autoOutput[ch];
            for (int k = 0; k < 16; ++k) {
                SCOPED_TRACE(k);
                const RangeInfo lim = IsValidRangeCode(k) && k != 15 ? GetRangeInfo(k) : RangeInfo{0.0, 100.0, 0};
                EXPECT_EQ(a.slots[k].mode, kAutoSawtooth);
                EXPECT_EQ(a.slots[k].repeat, 0);
                EXPECT_EQ(a.slots[k].start, lim.lower);
                EXPECT_EQ(a.slots[k].end, lim.upper);
                EXPECT_EQ(a.slots[k].step, 1.0);
                EXPECT_EQ(a.slots[k].interval, 10);
            }
            for (const ArbitraryPoint& p : a.points) {
                EXPECT_FALSE(p.used);
                EXPECT_EQ(p.value, 0.0);
                EXPECT_EQ(p.interval, 10);
            }
        }
        EXPECT_EQ(doc.m_autoOutput[0].slots[5].start, 4.0);
        EXPECT_EQ(doc.m_autoOutput[0].slots[3].start, -10.0);
    }
    // The exit keeps what was chosen, and the next start asks nothing.
    ASSERT_TRUE(fs::exists(m_dir.StateFile()));
    EXPECT_EQ(fs::file_size(m_dir.StateFile()), 11748u);
    CVelmoraDoc next(m_prompter, m_dir.Cwd());
    EXPECT_TRUE(next.m_bStateLoaded);
    EXPECT_EQ(next.m_model.channelCount, 2);
    EXPECT_EQ(next.m_nFrameWidth, 432);
    ASSERT_TRUE(next.NewSettings());
    EXPECT_EQ(m_prompter.circuitQuestions, 1);
    EXPECT_FALSE(next.m_bStateLoaded);
    EXPECT_EQ(next.m_model.channels[0].convMax, 100.0);
    EXPECT_TRUE(m_prompter.shown.empty());
}

TEST_F(SettingsLifecycleTest, CancelledStartStillWritesTheConstructionValues)
{
    {
        CVelmoraDoc doc(m_prompter, m_dir.Cwd());
        EXPECT_FALSE(doc.NewSettings());
        EXPECT_EQ(m_prompter.circuitQuestions, 1);
        EXPECT_EQ(doc.m_model.channelCount, 1);
    }
    ASSERT_TRUE(fs::exists(m_dir.StateFile()));
    {
        CVelmoraDoc reference(m_prompter, CVelmoraDoc::NoStateFile{});
        EXPECT_EQ(Slurp(m_dir.StateFile()), Written(reference));
    }

    CVelmoraDoc next(m_prompter, m_dir.Cwd());
    EXPECT_TRUE(next.m_bStateLoaded);
    ASSERT_TRUE(next.NewSettings());
    EXPECT_EQ(m_prompter.circuitQuestions, 1);
    // Construction values after the repair: one channel on 0-5 V,
    // conversion 0.0 to 1.0 not in use.
    EXPECT_EQ(next.m_model.channelCount, 1);
    EXPECT_EQ(next.m_model.channels[0].rangeCode, 0);
    EXPECT_EQ(next.m_model.channels[0].convMax, 1.0);
}

TEST_F(SettingsLifecycleTest, CancelledNewSettingsLeavesTheDocumentAlone)
{
    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    m_prompter.circuitAnswers.push_back(2);
    ASSERT_TRUE(doc.NewSettings());
    doc.m_model.channels[1].rangeCode = 7;
    const std::string before = Written(doc);
    m_prompter.circuitAnswers.push_back(std::nullopt);
    EXPECT_FALSE(doc.NewSettings());
    // A prompter that answers something other than 1 or 2 is taken as a
    // cancel as well.
    m_prompter.circuitAnswers.push_back(7);
    EXPECT_FALSE(doc.NewSettings());
    EXPECT_EQ(Written(doc), before);
}

TEST_F(SettingsLifecycleTest, RejectedStateFileIsShownAndTheStartRepairsWithoutAsking)
{
    Put(m_dir.StateFile(), Header(2, "", "0200") + Block({}));
    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    EXPECT_TRUE(doc.m_bStateLoaded);
    ASSERT_EQ(m_prompter.shown.size(), 1u);
    EXPECT_EQ(m_prompter.shown[0].text, kMsgWrongVersion);
    EXPECT_EQ(doc.m_model.channelCount, 1);
    ASSERT_TRUE(doc.NewSettings());
    EXPECT_EQ(m_prompter.circuitQuestions, 0);
    EXPECT_EQ(doc.m_nFrameWidth, 300);
}

TEST_F(SettingsLifecycleTest, EmptyStateFileGivesTheReadErrorAtStart)
{
    Put(m_dir.StateFile(), "");
    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    EXPECT_TRUE(doc.m_bStateLoaded);
    ASSERT_EQ(m_prompter.shown.size(), 1u);
    EXPECT_EQ(m_prompter.shown[0].text, m_dir.StateFile().string() + " の末尾以降にアクセスしようとしました。");
}

TEST_F(SettingsLifecycleTest, UnreadableStateFileCountsAsAbsent)
{
    // A folder where the file should be cannot be opened as a file.
    fs::create_directories(m_dir.StateFile());
    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    EXPECT_FALSE(doc.m_bStateLoaded);
    EXPECT_TRUE(m_prompter.shown.empty());
    EXPECT_FALSE(doc.SaveStateFile());
}

TEST_F(SettingsLifecycleTest, StateFileFollowsTheWorkingDirectoryOfTheMoment)
{
    ScratchDir other;
    std::string cwd = m_dir.path.string();
    {
        CVelmoraDoc doc(m_prompter, [&cwd] { return std::optional<std::string>(cwd); });
        m_prompter.circuitAnswers.push_back(1);
        ASSERT_TRUE(doc.NewSettings());
        cwd = other.path.string();
    }
    EXPECT_FALSE(fs::exists(m_dir.StateFile()));
    EXPECT_TRUE(fs::exists(other.StateFile()));
}

TEST_F(SettingsLifecycleTest, FailedStateWriteKeepsTheOldStateFile)
{
    {
        CVelmoraDoc doc(m_prompter, m_dir.Cwd());
        m_prompter.circuitAnswers.push_back(2);
        ASSERT_TRUE(doc.NewSettings());
    }
    const std::string previous = Slurp(m_dir.StateFile());
    ASSERT_EQ(previous.size(), 11748u);

    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    doc.m_model.channels[0].rangeCode = 5;
    {
        FileSizeLimit limit(1000);
        EXPECT_FALSE(doc.SaveStateFile());
    }
    EXPECT_EQ(Slurp(m_dir.StateFile()), previous);
}

TEST_F(SettingsLifecycleTest, RepairOnTheNewDocumentPath)
{
    BlockFields b;
    b.rangeCode = 5; // 4-20 mA
    b.convMin = 0.0;
    b.convMax = 0.0;
    b.convDecimals = 6;
    b.presetBase = 30.0;
    std::string bytes = File(1, {b});
    // Slot 5 of channel 0: mode 7, repeat -1, start 30, end -1, step -25,
    // interval 0.
    const std::size_t slot5 = Header(1).size() + 1 + 4 + 8 + 8 + 4 + 128 * 8 + 5 * 36;
    bytes.replace(slot5, 36, I32(7) + I32(-1) + F64(30) + F64(-1) + F64(-25) + I32(0));
    // Slot 4 (no range) ends at 5, outside the repaired conversion span.
    bytes.replace(slot5 - 36 + 16, 8, F64(5.0));
    Put(m_dir.StateFile(), bytes);

    CVelmoraDoc doc(m_prompter, m_dir.Cwd());
    ASSERT_TRUE(doc.m_bStateLoaded);
    // Opening repairs nothing.
    EXPECT_EQ(doc.m_autoOutput[0].slots[5].mode, 7);
    EXPECT_EQ(doc.m_model.channels[0].convDecimals, 6);

    ASSERT_TRUE(doc.NewSettings());
    const AutoOutputSlot& s = doc.m_autoOutput[0].slots[5];
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.repeat, 0);
    EXPECT_EQ(s.start, 4.0);
    EXPECT_EQ(s.end, 20.0);
    EXPECT_EQ(s.step, 0.0);
    EXPECT_EQ(s.interval, 10);
    const ChannelSettings& c = doc.m_model.channels[0];
    EXPECT_EQ(c.convDecimals, 0);
    EXPECT_EQ(c.convMin, 0.0);
    EXPECT_EQ(c.convMax, 1.0);
    // Presets clamped into 4-20 mA; the set value back at the range start.
    EXPECT_EQ(c.presets[5][0], 20.0);
    EXPECT_EQ(c.setValue, 4.0);
    // The slots that belong to no range take the repaired conversion span.
    EXPECT_EQ(doc.m_autoOutput[0].slots[4].end, 1.0);
}

TEST_F(SettingsLifecycleTest, RepairBoundsOfSlotsAndRows)
{
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.SetChannelCount(1);
    AutoOutputState& a = doc.m_autoOutput[0];
    const double nan = std::numeric_limits<double>::quiet_NaN();

    a.slots[0] = {2, 1000000, 5.0, 0.0, -5.0, 99990}; // all at their limits: kept
    a.slots[1] = {-1, 1000001, nan, nan, nan, 99991};
    a.slots[2] = {0, 0, -6.0, 6.0, 5.5, -3}; // -5..5 V
    a.points[0] = {true, 123.0, 99999};      // kept: the dialog can store these
    a.points[1] = {true, nan, 100000};
    a.points[2] = {false, -std::numeric_limits<double>::infinity(), 0};
    // Conversion span reversed: every start becomes lo, every end hi.
    doc.m_model.channels[0].convMin = 50.0;
    doc.m_model.channels[0].convMax = -50.0;
    a.slots[15] = {0, 0, 0.0, 0.0, 1.0, 10};

    doc.RepairAutoOutputSettings();
    EXPECT_EQ(a.slots[0].mode, 2);
    EXPECT_EQ(a.slots[0].repeat, 1000000);
    EXPECT_EQ(a.slots[0].start, 5.0);
    EXPECT_EQ(a.slots[0].step, -5.0);
    EXPECT_EQ(a.slots[0].interval, 99990);

    EXPECT_EQ(a.slots[1].mode, 0);
    EXPECT_EQ(a.slots[1].repeat, 0);
    EXPECT_EQ(a.slots[1].start, 0.0);
    EXPECT_EQ(a.slots[1].end, 10.0);
    EXPECT_EQ(a.slots[1].step, 0.0);
    EXPECT_EQ(a.slots[1].interval, 10);

    EXPECT_EQ(a.slots[2].start, -5.0);
    EXPECT_EQ(a.slots[2].end, 5.0);
    EXPECT_EQ(a.slots[2].step, 0.0);
    EXPECT_EQ(a.slots[2].interval, 10);

    EXPECT_EQ(a.slots[15].start, 50.0);
    EXPECT_EQ(a.slots[15].end, -50.0);
    EXPECT_EQ(a.slots[15].step, 0.0);

    EXPECT_EQ(a.points[0].value, 123.0);
    EXPECT_EQ(a.points[0].interval, 99999);
    EXPECT_EQ(a.points[1].value, 0.0);
    EXPECT_TRUE(a.points[1].used);
    EXPECT_EQ(a.points[1].interval, 10);
    EXPECT_EQ(a.points[2].value, 0.0);
    EXPECT_EQ(a.points[2].interval, 10);
}

TEST_F(SettingsLifecycleTest, ChannelRepairFixesSpansAndDecimals)
{
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    ChannelSettings& c = doc.m_model.channels[0];
    c.convDecimals = -2;
    c.convMin = std::numeric_limits<double>::quiet_NaN();
    c.convMax = 0.0;
    doc.m_model.channels[1].rangeCode = 13;
    doc.m_model.channels[2].rangeCode = 15;
    doc.m_model.channels[3].rangeCode = 12;
    doc.m_model.channels[3].convDecimals = 5;
    doc.RepairChannelSettings();
    EXPECT_EQ(c.convDecimals, 0);
    EXPECT_EQ(c.convMin, 0.0);
    EXPECT_EQ(c.convMax, 1.0);
    EXPECT_EQ(doc.m_model.channels[1].rangeCode, 0);
    EXPECT_EQ(doc.m_model.channels[2].rangeCode, 0);
    EXPECT_EQ(doc.m_model.channels[3].rangeCode, 12);
    EXPECT_EQ(doc.m_model.channels[3].convDecimals, 5);
}

TEST_F(SettingsLifecycleTest, ChannelCountChangesAndOddCounts)
{
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.SetChannelCount(2);
    EXPECT_EQ(doc.m_nFrameWidth, 432);
    doc.SetChannelCount(4);
    EXPECT_EQ(doc.m_model.channelCount, 4);
    EXPECT_EQ(doc.m_nFrameWidth, kFrameWidthFour); // widened so all four columns fit
    doc.SetChannelCount(1);
    EXPECT_EQ(doc.m_nFrameWidth, 300);

    // 3 is stored and nothing else changes.
    doc.m_model.channels[0].convMax = 55.0;
    doc.m_autoOutput[0].slots[0].step = 2.0;
    doc.SetChannelCount(3);
    EXPECT_EQ(doc.m_model.channelCount, 3);
    EXPECT_EQ(doc.m_nFrameWidth, 300);
    EXPECT_EQ(doc.m_model.channels[0].convMax, 55.0);
    EXPECT_EQ(doc.m_autoOutput[0].slots[0].step, 2.0);

    // Counts past the four channels are ignored altogether.
    for (int n : {0, 5, 7, -1}) {
        doc.SetChannelCount(n);
        EXPECT_EQ(doc.m_model.channelCount, 3);
    }
}

TEST_F(SettingsLifecycleTest, NewDocumentWhileConnectedSendsOnlyChannelsInUse)
{
    RecordingLink link;
    CVelmoraDoc doc(m_prompter, CVelmoraDoc::NoStateFile{});
    doc.m_model.SetLink(&link);
    m_prompter.circuitAnswers.push_back(1);
    ASSERT_TRUE(doc.NewSettings());
    ASSERT_FALSE(link.frames.empty());
    for (const auto& f : link.frames)
        EXPECT_EQ(f.ch, 0);
}
