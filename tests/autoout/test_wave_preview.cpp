#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "autoout/WavePreview.h"

namespace velmora {
namespace {

const RangeInfo kZeroToTen{0.0, 10.0, 1};
const RangeInfo kMilliamps4to20{4.0, 20.0, 3};

AutoOutFieldTexts Fields(const std::string& start, const std::string& end, const std::string& step,
                         const std::string& repeat = "0")
{
    return {start, end, step, "1", repeat};
}

using Values = std::vector<double>;

TEST(WavePreview, ShowsTheStepsTheOutputTakesForOneOrTwoCycles)
{
    // The shapes of the runtime's own examples: start 0, end 10, step 3.
    WavePreview saw = WavePreviewFor(kAutoSawtooth, Fields("0", "10", "3"), kZeroToTen);
    EXPECT_EQ(saw.shape, WavePicture::Sawtooth);
    EXPECT_EQ(saw.values, (Values{0, 3, 6, 9, 0, 3, 6, 9}));
    EXPECT_TRUE(saw.stairs);
    EXPECT_EQ(saw.low, 0.0);
    EXPECT_EQ(saw.high, 10.0);

    // Repeat 2: the run ends back at the start, where the output stays.
    saw = WavePreviewFor(kAutoSawtooth, Fields("0", "10", "3", "2"), kZeroToTen);
    EXPECT_EQ(saw.values, (Values{0, 3, 6, 9, 0, 3, 6, 9, 0}));

    WavePreview tri = WavePreviewFor(kAutoTriangle, Fields("0", "10", "3"), kZeroToTen);
    EXPECT_EQ(tri.shape, WavePicture::Triangle);
    EXPECT_EQ(tri.values, (Values{0, 3, 6, 9, 6, 3, 0, 3, 6, 9, 6, 3, 0}));
    // Repeat 1: one cycle, its last step held at the start.
    tri = WavePreviewFor(kAutoTriangle, Fields("0", "10", "3", "1"), kZeroToTen);
    EXPECT_EQ(tri.values, (Values{0, 3, 6, 9, 6, 3, 0, 0}));

    // Falling from the start, with the step typed negative: its magnitude.
    // A step past the end goes back to the start without touching the end.
    saw = WavePreviewFor(kAutoSawtooth, Fields("10", "4", "-2.5"), kZeroToTen);
    EXPECT_EQ(saw.values, (Values{10, 7.5, 5, 10, 7.5, 5}));
}

TEST(WavePreview, FieldsOkWouldRefuseGetThePlainPicture)
{
    for (const AutoOutFieldTexts& texts : {Fields("3", "20", "1"), Fields("4", "20x", "1"), Fields("4", "20", "0"),
                                           Fields("4", "20", "25"), Fields("4", "20", "1", "-1")}) {
        const WavePreview p = WavePreviewFor(kAutoSawtooth, texts, kMilliamps4to20);
        EXPECT_EQ(p.shape, WavePicture::Sawtooth) << texts.start << " " << texts.end << " " << texts.step;
        EXPECT_TRUE(p.values.empty()) << texts.start << " " << texts.end << " " << texts.step;
    }
    AutoOutFieldTexts badInterval = Fields("4", "20", "1");
    badInterval.interval = "0";
    EXPECT_TRUE(WavePreviewFor(kAutoTriangle, badInterval, kMilliamps4to20).values.empty());

    // The table has no picture, nor has a mode the list does not offer.
    EXPECT_EQ(WavePreviewFor(kAutoArbitrary, Fields("4", "20", "1"), kMilliamps4to20).shape, WavePicture::None);
    EXPECT_EQ(WavePreviewFor(7, Fields("4", "20", "1"), kMilliamps4to20).shape, WavePicture::None);
}

TEST(WavePreview, AStepTooFineToDrawBecomesALineOverTheSameSpan)
{
    // 16000 steps a cycle; and a step that leaves 4 unchanged when added.
    for (const char* step : {"0.001", "1e-300"}) {
        const WavePreview p = WavePreviewFor(kAutoTriangle, Fields("4", "20", step), kMilliamps4to20);
        ASSERT_FALSE(p.values.empty()) << step;
        EXPECT_FALSE(p.stairs) << step;
        EXPECT_LE(static_cast<int>(p.values.size()), kPreviewMaxSteps) << step;
        EXPECT_EQ(p.values.front(), 4.0) << step;
        EXPECT_EQ(p.values.back(), 4.0) << step;
        EXPECT_NEAR(*std::max_element(p.values.begin(), p.values.end()), 20.0, 16.0 / 60.0) << step;
        // Two cycles: up, down, up, down.
        int turns = 0;
        for (std::size_t i = 2; i < p.values.size(); ++i)
            turns += (p.values[i] - p.values[i - 1]) * (p.values[i - 1] - p.values[i - 2]) < 0;
        EXPECT_EQ(turns, 3) << step;
    }
    // Just within the stairs, and just beyond.
    EXPECT_TRUE(WavePreviewFor(kAutoSawtooth, Fields("0", "10", "0.2"), kZeroToTen).stairs);
    EXPECT_FALSE(WavePreviewFor(kAutoSawtooth, Fields("0", "10", "0.1"), kZeroToTen).stairs);
}

TEST(WavePreview, StartEqualToEndIsAFlatLine)
{
    const WavePreview p = WavePreviewFor(kAutoTriangle, Fields("5", "5", "1"), kZeroToTen);
    ASSERT_FALSE(p.values.empty());
    for (double v : p.values)
        EXPECT_EQ(v, 5.0);
}

} // namespace
} // namespace velmora
