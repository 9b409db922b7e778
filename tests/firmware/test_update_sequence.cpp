// The firmware update over the link's FTDI channel and the simulated bridge
// on a fake clock: the unit found by its serial number, its correction data
// kept in its file and written back after programming, and the ways it ends
// early.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimBridge.h"
#include "SimFtdiDevice.h"
#include "firmware/CorrectionFile.h"
#include "firmware/ImageFile.h"
#include "firmware/UpdateSequence.h"
#include "link/FtdiChannel.h"
#include "model/GeneratorModel.h"
#include "protocol/GeneratorLink.h"

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

class Recorder final : public ProgramObserver {
public:
    explicit Recorder(const Clock& clock) : m_clock(clock) { }
    void SetProgress(int p) override { progress = p; }
    void SetStatus(const std::string& s) override
    {
        statuses.push_back(s);
        if (onStatus)
            onStatus(s);
    }
    void EnableCancel(bool) override { }
    void LetEventsRun() override { }
    // The operator's cancel arrives at `cancelAt` on the clock, wherever the
    // update is then (in the middle of an exchange, as a signal would).
    bool CancelRequested() const override { return cancelAt && m_clock.Now() >= *cancelAt; }
    void ClearCancel() override { cancelAt.reset(); }

    int progress = 0;
    std::vector<std::string> statuses;
    std::function<void(const std::string&)> onStatus;
    std::optional<Nanos> cancelAt;

private:
    const Clock& m_clock;
};

struct UpdateRig {
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimBridge bridge{clock};
    FtdiChannel* ftdi = nullptr;
    std::unique_ptr<GeneratorLink> link;
    GeneratorModel model;
    Recorder observer{clock};
    fs::path dir;
    std::string image;
    FirmwareImage expected;

    UpdateRig()
    {
        auto channel =
            std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, clock), clock, prompter);
        ftdi = channel.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, nullptr, std::move(channel));
        std::string tmpl = (fs::temp_directory_path() / "velmora-update-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            dir = tmpl;
        const std::string line = "S306FFFE000012EA";
        const std::string bytes = EncodeImageFile({0x02, 0x00, 0x01}, {EncodeImageRecord(line)});
        EXPECT_EQ(DecodeImage(bytes, expected), ImageFileResult::Ok);
        image = (dir / "unit.zpg").string();
        std::ofstream(image, std::ios::binary) << bytes;
        bridge.Unit().Channel(0).maker[5] = {0x0003, 0x8005};
        bridge.Unit().Channel(1).user[10] = {0x0002, 0xFFF0, 0x8010};
    }
    ~UpdateRig()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    UpdateRun Run(const std::string& path)
    {
        return RunFirmwareUpdate(*link, *ftdi, model, path, dir.string(), observer, prompter, clock);
    }
    UpdateRun Run() { return Run(image); }
    // Whether the pins ever restarted the unit into boot mode.
    bool Booted() const
    {
        const auto& pins = bridge.PinLog();
        return std::find(pins.begin(), pins.end(), 0x33) != pins.end();
    }
    std::string Last() const { return prompter.shown.empty() ? "" : prompter.shown.back().text; }
    // What a failure past the erase adds about the unit's calibration.
    std::string KeptNote() const
    {
        return "発生器の補正データは補正ファイル " + (dir / "VK2A0001_R.txt").string() +
            " に保存されています\n更新をやり直すと書き戻されます";
    }
    std::string CorrectionFile() const
    {
        std::ifstream in(dir / "VK2A0001_R.txt", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

} // namespace

TEST(FirmwareUpdate, ProgramsTheUnitAndGivesItsCorrectionsBack)
{
    UpdateRig rig;
    // Programming loses the unit's tables; only the file can bring them back.
    rig.observer.onStatus = [&](const std::string& s) {
        if (s == "更新後リセット中")
            rig.bridge.Unit().ResetState();
    };
    const UpdateRun run = rig.Run();
    ASSERT_EQ(run.ending, UpdateEnding::Finished) << rig.Last();
    EXPECT_EQ(rig.Last(), "更新が終了しました");
    EXPECT_EQ(rig.observer.statuses.back(), "更新正常終了");
    EXPECT_EQ(rig.model.channelCount, 2);
    EXPECT_EQ(run.serial, "VK2A0001");
    EXPECT_TRUE(std::equal(rig.bridge.Mcu().Flash().begin(), rig.bridge.Mcu().Flash().end(), rig.expected.begin()));
    EXPECT_TRUE(rig.bridge.Mcu().Running());
    EXPECT_FALSE(rig.ftdi->IsOpen());

    const std::string file = rig.CorrectionFile();
    EXPECT_NE(file.find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\n2,10,1_5V,0,0,-16,16,2,\r\n"), std::string::npos) << file;
    EXPECT_EQ(rig.bridge.Unit().Stored('U').user[1][10].minCorrection, 0xFFF0);
    EXPECT_EQ(rig.bridge.Unit().Stored('M').maker[0][5].maxCorrection, 0x8005);
    const std::vector<std::string> tail = {"補正データ転送中", "補正データ書込中", "補正データ書込後リセット中",
                                           "更新正常終了"};
    EXPECT_TRUE(std::equal(tail.rbegin(), tail.rend(), rig.observer.statuses.rbegin()));
}

// With bytes taking their wire time and replies handed over by the latency
// timer, programming and verifying cost next to nothing beyond the floor (the
// bytes, one latency turnaround per reply): a read that sat out its time-out
// for every reply would add 5 ms to each of 1,024. The whole update stays
// near it too; what it has above it is the unit's exchanges, whose reads
// before each request wait out their 5 ms time-out on a quiet line, and
// with those counted nothing is left.
TEST(FirmwareUpdate, ATimedBridgeCostsLittleMoreThanTheProtocolsFloor)
{
    UpdateRig rig;
    rig.bridge.SetTiming(true);
    struct Mark {
        Nanos at{0};
        Nanos floor{0};
    };
    Mark programming, programmed;
    rig.observer.onStatus = [&](const std::string& s) {
        const Mark now{rig.clock.Now(), rig.bridge.Floor().Total()};
        if (s == "プログラム転送中")
            programming = now;
        else if (s == "更新後リセット中")
            programmed = now;
    };
    const Nanos start = rig.clock.Now();
    const UpdateRun run = rig.Run();
    const Nanos took = rig.clock.Now() - start;
    ASSERT_EQ(run.ending, UpdateEnding::Finished) << rig.Last();
    EXPECT_TRUE(std::equal(rig.bridge.Mcu().Flash().begin(), rig.bridge.Mcu().Flash().end(), rig.expected.begin()));

    const sim::SimFloor& floor = rig.bridge.Floor();
    // Both sets of 2 circuits' ranges read, every block programmed and read.
    EXPECT_EQ(floor.quietRequests, 2 * 2 * kSlotCount);
    EXPECT_GT(floor.replies, 2 * 512);
    EXPECT_EQ(floor.latency, std::chrono::milliseconds(5));
    const auto ratio = [](Nanos a, Nanos b) { return static_cast<double>(a.count()) / static_cast<double>(b.count()); };
    const double blocks = ratio(programmed.at - programming.at, programmed.floor - programming.floor);
    EXPECT_GE(blocks, 0.98);
    EXPECT_LE(blocks, 1.02);
    const double whole = ratio(took, floor.Total());
    EXPECT_GE(whole, 1.0) << took.count() << " ns against " << floor.Total().count();
    EXPECT_LE(whole, 1.12) << took.count() << " ns against " << floor.Total().count();
    // Counted with the time the reads before each request spend on the quiet
    // line (the bridge library's 5 ms read time-out), it is all there is.
    const double withReads = ratio(took, floor.TotalWithQuietReads());
    EXPECT_GE(withReads, 0.98);
    EXPECT_LE(withReads, 1.03);
}

TEST(FirmwareUpdate, CorrectionsThatDoNotGoBackAreSaidAndTheirFileStays)
{
    UpdateRig rig;
    rig.observer.onStatus = [&](const std::string& s) {
        if (s == "補正データ転送中")
            rig.bridge.Unit().Faults().silent = true;
    };
    const UpdateRun run = rig.Run();
    EXPECT_EQ(run.ending, UpdateEnding::Cancelled);
    EXPECT_EQ(rig.Last(), "補正データを書き込めませんでした\n" + rig.KeptNote() + "\nシリアル番号:VK2A0001");
    EXPECT_NE(rig.CorrectionFile().find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);

    // The retries that follow read the unit's lost tables, plausible but
    // not its own, twice different; the good file the first one kept is
    // still there beside theirs.
    rig.bridge.Unit().Faults().silent = false;
    rig.observer.onStatus = nullptr;
    rig.bridge.Unit().ResetState();
    EXPECT_EQ(rig.Run().ending, UpdateEnding::Finished);
    rig.bridge.Unit().Channel(0).user[0] = {0x0001, 0x0004, 0x8004};
    EXPECT_EQ(rig.Run().ending, UpdateEnding::Finished);
    const std::vector<std::string> copies = CorrectionFileCopies((rig.dir / "VK2A0001_R.txt").string());
    ASSERT_EQ(copies.size(), 2u);
    std::ifstream bak(copies.front(), std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(bak)), std::istreambuf_iterator<char>());
    EXPECT_NE(kept.find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);
    EXPECT_NE(rig.CorrectionFile().find("\r\n1,0,0_5V,0,0,4,4,1,\r\n"), std::string::npos) << rig.CorrectionFile();
}

TEST(FirmwareUpdate, TheSerialNumberGivesTheCircuitsOrAReason)
{
    const struct {
        std::vector<std::string> serials;
        std::string message;
    } cases[] = {
        {{}, "アナログユニットが接続されていません"},
        {{"VK2A0001", "VK1A0002"}, "アナログユニットが２台以上接続されています\n１台のみ接続してください"},
        {{"VK3A0001"}, "FTDIシリアル番号が異常です(2)\nVK3A0001"},
        {{"VKxA0001"}, "FTDIシリアル番号が異常です(1)\nVKxA0001"},
        {{"VK"}, "FTDIシリアル番号が異常です(2)\nVK"},
    };
    for (const auto& c : cases) {
        UpdateRig rig;
        rig.bridge.Devices().clear();
        for (const std::string& s : c.serials)
            rig.bridge.Devices().push_back({s});
        EXPECT_EQ(rig.Run().ending, UpdateEnding::Cancelled);
        EXPECT_EQ(rig.Last(), c.message);
        EXPECT_EQ(rig.observer.statuses.back(), "キャンセルしました");
        EXPECT_FALSE(rig.Booted());
    }
    UpdateRig one;
    one.bridge.Devices() = {{"VK1B0003"}};
    one.bridge.Unit().SetChannelCount(1);
    EXPECT_EQ(one.Run().ending, UpdateEnding::Finished) << one.Last();
    EXPECT_EQ(one.model.channelCount, 1);

    UpdateRig none;
    EXPECT_EQ(none.Run("未選択").ending, UpdateEnding::Cancelled);
    EXPECT_EQ(none.Last(), "ファイルが選択されていません");
}

TEST(FirmwareUpdate, AUnitThatCannotGiveItsDataFallsBackOnTheEarlierFile)
{
    {
        UpdateRig rig;
        // An earlier update left this unit's file.
        GeneratorModel earlier;
        earlier.channelCount = 2;
        earlier.channels[0].userAdjustment[0] = {0x0001, 0x0007, 0x8007};
        ASSERT_TRUE(SaveCorrectionFile((rig.dir / "VK2A0001_R.txt").string(), earlier, "VK2A0001"));
        // Silent while its data is asked for; it takes the file's after.
        rig.bridge.Unit().Faults().silent = true;
        rig.observer.onStatus = [&](const std::string& s) {
            if (s == "補正ファイル読込み中")
                rig.bridge.Unit().Faults().silent = false;
        };
        const UpdateRun run = rig.Run();
        ASSERT_EQ(rig.prompter.shown.front().text, "接続できません\nパソコン内ファイルを検索しますか。");
        EXPECT_EQ(run.ending, UpdateEnding::Finished) << rig.Last();
        EXPECT_EQ(rig.model.channels[0].userAdjustment[0].minCorrection, 7);
        // The file of the earlier update stays as it was.
        EXPECT_NE(rig.CorrectionFile().find("\r\n1,0,0_5V,0,0,7,7,1,\r\n"), std::string::npos);
    }
    {
        UpdateRig rig;
        rig.bridge.Unit().Faults().silent = true;
        EXPECT_EQ(rig.Run().ending, UpdateEnding::Cancelled);
        EXPECT_EQ(rig.Last(),
                  "パソコン内補正ファイルの読込みが行えません\n更新できません\nメーカーに連絡してください\n"
                  "シリアル番号:VK2A0001");
        EXPECT_FALSE(rig.Booted());
    }
}

TEST(FirmwareUpdate, ASelectWordOfThreeAsksAndAMissingFolderCannotKeepTheData)
{
    {
        UpdateRig rig;
        rig.bridge.Unit().Channel(1).user[3].adjustSelect = 3;
        rig.prompter.answers = {PromptAnswer::Cancel};
        EXPECT_EQ(rig.Run().ending, UpdateEnding::Cancelled);
        EXPECT_EQ(rig.prompter.shown.front().text, "本体補正データが異常です\nパソコン内ファイルを検索しますか。");
        EXPECT_FALSE(fs::exists(rig.dir / "VK2A0001_R.txt"));
    }
    {
        UpdateRig rig;
        const UpdateRun run =
            RunFirmwareUpdate(*rig.link, *rig.ftdi, rig.model, rig.image, (rig.dir / "Hovelt" / "Velmora").string(),
                              rig.observer, rig.prompter, rig.clock);
        EXPECT_EQ(run.ending, UpdateEnding::Cancelled);
        // The short text, then which file and why.
        const std::string file = (rig.dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt").string();
        EXPECT_EQ(rig.Last().rfind("補正データを保存できません\n" + file + ": ", 0), 0u) << rig.Last();
        EXPECT_NE(rig.Last().find("No such file or directory"), std::string::npos) << rig.Last();
        EXPECT_FALSE(rig.Booted());
    }
    {
        // A read-back difference: the calibration stays in its file and the
        // unit is not written to.
        UpdateRig rig;
        rig.bridge.Mcu().Faults().corruptBlock = 0;
        const UpdateRun run = rig.Run();
        EXPECT_EQ(run.ending, UpdateEnding::Cancelled);
        // The short text first, then where the read-back differed and where
        // the calibration waits for the next try.
        EXPECT_EQ(rig.Last().find("Memory read Error\n照合相違 FFFE00C8: "), 0u) << rig.Last();
        EXPECT_TRUE(rig.Last().ends_with("\n" + rig.KeptNote())) << rig.Last();
        ASSERT_TRUE(run.programFailure.has_value());
        EXPECT_EQ(*run.programFailure->address, 0xFFFE0000u + 200);
        EXPECT_NE(rig.CorrectionFile().find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);
        EXPECT_EQ(rig.bridge.Unit().Stored('U').stores, 0);
    }
}

// Another bridge carries the unit's description, listed first with another
// serial number and nothing behind it. The update counts one unit and must
// open that one: opened by description, the unit would not answer, and with
// an earlier correction file at hand the update would go on to program a
// bridge with nothing behind it.
TEST(FirmwareUpdate, TheBridgeWhoseSerialNumberMatchedIsTheOneUpdated)
{
    UpdateRig rig;
    rig.bridge.Devices() = {{"FT5XK2QA", "Hovelt VKX FT230X", true}, {"VK2A0001"}};
    GeneratorModel earlier;
    earlier.channelCount = 2;
    ASSERT_TRUE(SaveCorrectionFile((rig.dir / "VK2A0001_R.txt").string(), earlier, "VK2A0001"));

    const UpdateRun run = rig.Run();
    ASSERT_EQ(run.ending, UpdateEnding::Finished) << rig.Last();
    EXPECT_NE(std::find(rig.observer.statuses.begin(), rig.observer.statuses.end(),
                        "シリアル番号 VK2A0001 のアナログユニットを開きました"),
              rig.observer.statuses.end());
    // Its own corrections were read (no question about an earlier file) and
    // kept, and its flash holds the image.
    ASSERT_EQ(rig.prompter.shown.size(), 2u) << rig.Last();
    EXPECT_EQ(rig.prompter.shown.front().text, "更新しますか？");
    EXPECT_NE(rig.CorrectionFile().find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);
    EXPECT_TRUE(std::equal(rig.bridge.Mcu().Flash().begin(), rig.bridge.Mcu().Flash().end(), rig.expected.begin()));
    EXPECT_EQ(rig.bridge.Unit().Stored('M').maker[0][5].maxCorrection, 0x8005);
}

// A cancel (SIGINT in velmoractl) while the corrections go back to a silent
// unit: its forty-two exchanges would take over a minute; it ends after the
// one under way, as a write-back that failed, naming the file.
TEST(FirmwareUpdate, ACancelDuringTheWriteBackStopsWithinOneExchange)
{
    UpdateRig rig;
    Nanos writeBack{0};
    rig.observer.onStatus = [&](const std::string& s) {
        if (s == "補正データ転送中") {
            rig.bridge.Unit().Faults().silent = true;
            writeBack = rig.clock.Now();
            // Half-way through the second exchange.
            rig.observer.cancelAt = writeBack + std::chrono::milliseconds(3000);
        }
    };
    const UpdateRun run = rig.Run();
    EXPECT_EQ(run.ending, UpdateEnding::Cancelled);
    EXPECT_LE(rig.clock.Now() - *rig.observer.cancelAt, std::chrono::milliseconds(2500));
    EXPECT_EQ(rig.Last(), "補正データを書き込めませんでした\n" + rig.KeptNote() + "\nシリアル番号:VK2A0001");
    EXPECT_EQ(rig.observer.statuses.back(), "キャンセルしました");
    EXPECT_EQ(std::count(rig.observer.statuses.begin(), rig.observer.statuses.end(), "補正データ書込後リセット中"), 0);
    EXPECT_NE(rig.CorrectionFile().find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);
}

// Cancelled while the unit's corrections are read: nothing has changed in
// the unit, nothing is asked and no file is written.
TEST(FirmwareUpdate, ACancelWhileTheCorrectionsAreReadLeavesTheUnitAsItWas)
{
    UpdateRig rig;
    rig.observer.onStatus = [&](const std::string& s) {
        if (s == "本体補正データ受信中")
            rig.observer.cancelAt = rig.clock.Now();
    };
    EXPECT_EQ(rig.Run().ending, UpdateEnding::Cancelled);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.Last();
    EXPECT_EQ(rig.observer.statuses.back(), "キャンセルしました");
    EXPECT_FALSE(rig.Booted());
    EXPECT_FALSE(fs::exists(rig.dir / "VK2A0001_R.txt"));
    EXPECT_FALSE(rig.ftdi->IsOpen());
}

// The bridge pulled while the corrections go back: the write-back ends at
// once instead of sitting out every exchange's time-outs, and says that the
// bridge went away and where the calibration waits.
TEST(FirmwareUpdate, ABridgeUnpluggedDuringTheWriteBackEndsItAndSaysSo)
{
    UpdateRig rig;
    Nanos pulled{0};
    rig.observer.onStatus = [&](const std::string& s) {
        if (s == "補正データ転送中") {
            rig.bridge.Unplug();
            pulled = rig.clock.Now();
        }
    };
    EXPECT_EQ(rig.Run().ending, UpdateEnding::Cancelled);
    EXPECT_LE(rig.clock.Now() - pulled, std::chrono::milliseconds(2500));
    EXPECT_EQ(rig.Last(),
              "補正データを書き込めませんでした\nUSBブリッジが外れました\n" + rig.KeptNote() +
                  "\nシリアル番号:VK2A0001");
    EXPECT_NE(rig.CorrectionFile().find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos);
}
