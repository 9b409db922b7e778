// The correction file kept across a firmware update: its lines and their
// order, the round trip through a file, and every result of loading one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/CorrectionFile.h"
#include "model/GeneratorModel.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

class CorrectionFileTest : public ::testing::Test {
protected:
    CorrectionFileTest()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-corr-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            m_dir = tmpl;
        path = CorrectionFilePath(m_dir.string(), kSerial);
    }

public:
    ~CorrectionFileTest() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

protected:
    void Write(const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }
    std::string Read() const
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    CorrectionLoad Load() { return LoadCorrectionFile(path, kSerial, loaded); }

    static constexpr const char* kSerial = "VK2A0001";
    fs::path m_dir;
    std::string path;
    GeneratorModel loaded;
};

} // namespace

TEST_F(CorrectionFileTest, LinesInTheirOrderAndBackAgain)
{
    GeneratorModel model;
    model.channelCount = 2;
    model.channels[0].makerCorrection[5] = {0x0003, 0x8005};
    model.channels[0].userAdjustment[5] = {0x0002, 0xFFFE, 0x7FFE};
    // Every slot of both channels different, the extremes included.
    for (int ch = 0; ch < 2; ++ch)
        for (int r : {0, 1, 2, 3, 6, 7, 10, 11, 12}) {
            auto& c = model.channels[static_cast<std::size_t>(ch)];
            c.makerCorrection[r] = {static_cast<std::uint16_t>(0x8000 + r), static_cast<std::uint16_t>(ch * 100 + r)};
            c.userAdjustment[r] = {static_cast<std::uint16_t>(r % 3), static_cast<std::uint16_t>(0x7FFF - r),
                                   static_cast<std::uint16_t>(0xFFFF - ch)};
        }
    ASSERT_TRUE(SaveCorrectionFile(path, model, kSerial));
    EXPECT_EQ(path, (m_dir / "VK2A0001_R.txt").string());

    const std::string text = Read();
    EXPECT_EQ(text.find("VK2A0001,\r\n1,0,0_5V,"), 0u) << text;
    EXPECT_NE(text.find("\r\n1,5,4_20mA,3,5,-2,-2,2,\r\n"), std::string::npos) << text;
    std::size_t lines = 0;
    std::string order;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        ++lines;
        EXPECT_TRUE(line.ends_with(",\r")) << line;
        if (lines > 1)
            order += line.substr(0, line.find(',', 2)) + " ";
    }
    EXPECT_EQ(lines, 21u);
    EXPECT_EQ(order.substr(0, 40), "1,0 1,10 1,1 1,2 1,3 1,5 1,6 1,7 1,11 1,");
    EXPECT_NE(order.find("1,12 2,0 2,10"), std::string::npos) << order;

    loaded.channelCount = 2;
    ASSERT_EQ(Load(), CorrectionLoad::Ok);
    for (int ch = 0; ch < 2; ++ch)
        for (int r : {0, 1, 2, 3, 5, 6, 7, 10, 11, 12}) {
            const auto& want = model.channels[static_cast<std::size_t>(ch)];
            const auto& got = loaded.channels[static_cast<std::size_t>(ch)];
            EXPECT_EQ(got.makerCorrection[r].minCorrection, want.makerCorrection[r].minCorrection) << ch << r;
            EXPECT_EQ(got.makerCorrection[r].maxCorrection, want.makerCorrection[r].maxCorrection) << ch << r;
            EXPECT_EQ(got.userAdjustment[r].minCorrection, want.userAdjustment[r].minCorrection) << ch << r;
            EXPECT_EQ(got.userAdjustment[r].maxCorrection, want.userAdjustment[r].maxCorrection) << ch << r;
            EXPECT_EQ(got.userAdjustment[r].adjustSelect, want.userAdjustment[r].adjustSelect) << ch << r;
        }

    // A second save replaces the file whole; a folder that is not there
    // cannot take one.
    ResetCorrections(model);
    model.channelCount = 1;
    ASSERT_TRUE(SaveCorrectionFile(path, model, kSerial));
    const std::string again = Read();
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 11);
    EXPECT_FALSE(SaveCorrectionFile(CorrectionFilePath((m_dir / "none").string(), kSerial), model, kSerial));
}

// Each save keeps the file it replaces as a copy named by its time; five
// are kept, the oldest goes. A copy that would hold what the newest copy or
// the new file already holds is not made, and a clock that went back still
// names the new copy after the others.
TEST_F(CorrectionFileTest, EarlierFilesAreKeptAsTheLastFiveCopiesNamedByTheirTime)
{
    using namespace std::chrono;
    GeneratorModel model;
    model.channelCount = 1;
    const auto save = [&](int k, sys_time<milliseconds> when) {
        model.channels[0].userAdjustment[0].minCorrection = static_cast<std::uint16_t>(k);
        return static_cast<bool>(SaveCorrectionFile(path, model, kSerial, when));
    };
    const sys_time<milliseconds> start = sys_days{2026y / December / 10} + 1h + 2min + 3s + 4ms;
    ASSERT_TRUE(save(0, start));
    EXPECT_TRUE(CorrectionFileCopies(path).empty());
    for (int k = 1; k <= 7; ++k)
        ASSERT_TRUE(save(k, start + hours(k)));
    std::vector<std::string> copies = CorrectionFileCopies(path);
    ASSERT_EQ(copies.size(), 5u);
    EXPECT_EQ(copies.front(), (m_dir / "VK2A0001_R-20261210-040203-004.bak").string());
    EXPECT_EQ(copies.back(), (m_dir / "VK2A0001_R-20261210-080203-004.bak").string());
    // The newest copy holds the file before the last save.
    const auto held = [](const std::string& file) {
        GeneratorModel m;
        m.channelCount = 1;
        EXPECT_EQ(LoadCorrectionFile(file, kSerial, m), CorrectionLoad::Ok) << file;
        return static_cast<int>(m.channels[0].userAdjustment[0].minCorrection);
    };
    EXPECT_EQ(held(copies.front()), 2);
    EXPECT_EQ(held(copies.back()), 6);
    EXPECT_EQ(held(path), 7);

    // The same tables again: nothing new to keep.
    ASSERT_TRUE(save(7, start + hours(8)));
    EXPECT_EQ(CorrectionFileCopies(path), copies);

    // A clock set back, or two saves in one millisecond: still after the rest.
    ASSERT_TRUE(save(8, start));
    ASSERT_TRUE(save(9, start));
    copies = CorrectionFileCopies(path);
    ASSERT_EQ(copies.size(), 5u);
    EXPECT_EQ(copies[3], (m_dir / "VK2A0001_R-20261210-080203-005.bak").string());
    EXPECT_EQ(copies[4], (m_dir / "VK2A0001_R-20261210-080203-006.bak").string());
    EXPECT_EQ(held(copies[3]), 7);
    EXPECT_EQ(held(copies[4]), 8);

    // Files that only look alike are not copies, and are left alone.
    for (const char* other :
         {"VK2A0001_R.bak", "VK2A0001_R-20261310-000000-000.bak", "VK2A0001_R-2026121-0000000-000.bak",
          "VK2A0002_R-20261210-000000-000.bak", "VK2A0001_R-20261210-000000-000.txt"})
        std::ofstream(m_dir / other) << "x";
    ASSERT_TRUE(save(10, start + hours(9)));
    EXPECT_EQ(CorrectionFileCopies(path).size(), 5u);
    for (const char* other :
         {"VK2A0001_R.bak", "VK2A0001_R-20261310-000000-000.bak", "VK2A0002_R-20261210-000000-000.bak"})
        EXPECT_TRUE(fs::exists(m_dir / other)) << other;
}

// A copy that cannot be written (its name is taken by a folder) fails the
// save, and the file stays as it was.
TEST_F(CorrectionFileTest, ACopyThatCannotBeWrittenLeavesTheFileAsItWas)
{
    GeneratorModel model;
    model.channelCount = 1;
    ASSERT_TRUE(SaveCorrectionFile(path, model, kSerial));
    const std::string before = Read();
    fs::create_directory(m_dir / "VK2A0001_R-20261210-000000-000.bak");
    model.channels[0].userAdjustment[0].minCorrection = 9;
    EXPECT_FALSE(SaveCorrectionFile(path, model, kSerial, std::chrono::sys_days{std::chrono::year{2026} / 12 / 10}));
    EXPECT_EQ(Read(), before);
    EXPECT_TRUE(CorrectionFileCopies(path).empty());
}

TEST_F(CorrectionFileTest, EveryLoadResult)
{
    const std::string head = "VK2A0001,\r\n";
    const struct {
        const char* what;
        std::string text;
        CorrectionLoad want;
    } cases[] = {
        {"empty", "", CorrectionLoad::BadContent},
        {"another unit", "VK2A0002,\r\n1,0,0_5V,0,0,0,0,0,\r\n", CorrectionLoad::OtherSerial},
        {"serial with blanks", " VK2A0001 ,\r\n", CorrectionLoad::Ok},
        {"channel 3", head + "3,0,0_5V,0,0,0,0,0,\r\n", CorrectionLoad::BadChannel},
        {"channel x", head + "x,0,0_5V,0,0,0,0,0,\r\n", CorrectionLoad::BadChannel},
        {"seven fields", head + "1,0,0_5V,0,0,0,0\r\n", CorrectionLoad::BadContent},
        {"range 16", head + "1,16,,0,0,0,0,0,\r\n", CorrectionLoad::BadRange},
        {"range -1", head + "1,-1,,0,0,0,0,0,\r\n", CorrectionLoad::BadRange},
        {"a word", head + "1,0,0_5V,zero,0,0,0,0,\r\n", CorrectionLoad::BadContent},
        {"blank after", head + "1,0,0_5V,1 ,0,0,0,0,\r\n", CorrectionLoad::BadContent},
        {"empty field", head + "1,0,0_5V,,0,0,0,0,\r\n", CorrectionLoad::BadContent},
        {"strtol forms", head + "1,0x0A,x, 7,-0x10,010,0,2,\r\n", CorrectionLoad::Ok},
        {"a range left out of a channel in use", "", CorrectionLoad::BadContent},
    };
    // A file with the channel's ten ranges, for the cases that need one.
    GeneratorModel one;
    const std::string complete = BuildCorrectionFile(one, kSerial);
    for (const auto& c : cases) {
        std::string text = c.text;
        const std::string what = c.what;
        const std::string lines = complete.substr(complete.find("\r\n") + 2);
        if (what == "serial with blanks")
            text += lines;
        if (what == "strtol forms")
            text.insert(head.size(), lines);
        if (what == "a range left out of a channel in use") {
            // Line 0_10V taken out: the loading needs every range back.
            text = complete;
            const std::size_t at = text.find("1,1,0_10V");
            text.erase(at, text.find("\r\n", at) + 2 - at);
        }
        Write(text);
        ResetCorrections(loaded);
        EXPECT_EQ(Load(), c.want) << c.what;
    }
    // Base 0 as strtol reads it.
    Write(complete + "1,0x0A,x, 7,-0x10,010,0,2,\r\n");
    ASSERT_EQ(Load(), CorrectionLoad::Ok);
    EXPECT_EQ(loaded.channels[0].makerCorrection[10].minCorrection, 7);
    EXPECT_EQ(loaded.channels[0].makerCorrection[10].maxCorrection, 0x8000 - 16);
    EXPECT_EQ(loaded.channels[0].userAdjustment[10].minCorrection, 8);
    EXPECT_EQ(loaded.channels[0].userAdjustment[10].adjustSelect, 2);

    fs::remove(path);
    EXPECT_EQ(Load(), CorrectionLoad::CannotOpen);
}

TEST(CorrectionData, ASelectWordBeyondTwoInAChannelInUseIsNoDataToKeep)
{
    GeneratorModel model;
    model.channelCount = 1;
    EXPECT_TRUE(CorrectionsPlausible(model));
    model.channels[1].userAdjustment[4].adjustSelect = 3; // not in use
    EXPECT_TRUE(CorrectionsPlausible(model));
    model.channels[0].userAdjustment[15].adjustSelect = 0x0102;
    EXPECT_FALSE(CorrectionsPlausible(model));
    ResetCorrections(model);
    EXPECT_TRUE(CorrectionsPlausible(model));
    EXPECT_EQ(model.channels[1].userAdjustment[4].adjustSelect, 0);
    EXPECT_EQ(model.channels[0].makerCorrection[0].maxCorrection, 0x8000);
}
