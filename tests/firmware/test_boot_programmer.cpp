// Boot-mode programming against the simulated microcontroller on a fake
// clock: the whole sequence, the protection states, the restarts of a
// device that does not synchronise, a read-back that differs, and the
// command bytes themselves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimBootMcu.h"
#include "SimBridge.h"
#include "SimFtdiDevice.h"
#include "firmware/BootCommands.h"
#include "firmware/BootProgrammer.h"
#include "firmware/FtdiBootTransport.h"
#include "firmware/ImageFile.h"
#include "link/FtdiChannel.h"
#include "protocol/GeneratorLink.h"

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

// The bridge as the binding drives it, with the microcontroller behind it.
class McuTransport final : public BootTransport {
public:
    McuTransport(FakeClock& clock, sim::SimBootMcu& mcu) : m_clock(clock), m_mcu(mcu) { }

    bool IsOpen() const override { return open; }
    bool OpenUnit() override
    {
        if (!present)
            return false;
        m_clock.SleepFor(200ms);
        m_mcu.SetHostRate(kBootStartRate);
        open = true;
        return true;
    }
    void CloseUnit() override { open = false; }
    void SetUnitBaudRate(std::uint32_t rate) override { m_mcu.SetHostRate(rate); }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        ++writes;
        m_mcu.Receive(bytes);
    }
    BootByte ReadByte(std::uint8_t& byte) override
    {
        if (!open)
            return BootByte::IoError;
        if (m_mcu.HasReply()) {
            byte = m_mcu.TakeReply();
            return BootByte::Byte;
        }
        m_clock.SleepFor(5ms); // the bridge's read time-out
        return BootByte::None;
    }
    void Drain() override
    {
        while (m_mcu.HasReply())
            m_mcu.TakeReply();
    }
    void ResetIntoBootMode() override
    {
        m_clock.SleepFor(600ms);
        ++bootResets;
        m_mcu.EnterBootMode();
    }
    void ResetIntoRunMode() override
    {
        m_clock.SleepFor(600ms);
        ++runResets;
        m_mcu.Restart();
    }
    std::optional<std::string> QueryVersion() override { return version; }

    bool present = true;
    bool open = false;
    std::optional<std::string> version;
    int writes = 0;
    int bootResets = 0;
    int runResets = 0;

private:
    FakeClock& m_clock;
    sim::SimBootMcu& m_mcu;
};

class Recorder final : public ProgramObserver {
public:
    void SetProgress(int p) override { progress.push_back(p); }
    void SetStatus(const std::string& s) override { statuses.push_back(s); }
    void EnableCancel(bool on) override { cancelEnabled = on; }
    void LetEventsRun() override
    {
        ++events;
        if (onEvents)
            onEvents();
    }
    bool CancelRequested() const override { return cancel; }
    void ClearCancel() override { cancel = false; }

    std::vector<int> progress;
    std::vector<std::string> statuses;
    bool cancelEnabled = true;
    bool cancel = false;
    int events = 0;
    std::function<void()> onEvents;
};

// An image file with data in the first blocks and in block 511.
std::string ImageFile(const std::string& name, FirmwareImage& image, std::array<std::uint8_t, 3> version = {1, 2, 3})
{
    std::vector<std::string> records;
    const auto record = [&records](std::uint32_t address, std::uint8_t seed) {
        std::string line = "S3";
        std::vector<std::uint8_t> bytes = {21, static_cast<std::uint8_t>(address >> 24),
                                           static_cast<std::uint8_t>(address >> 16),
                                           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
        for (int k = 0; k < 16; ++k)
            bytes.push_back(static_cast<std::uint8_t>(seed * 7 + k * 13));
        unsigned sum = 0;
        char buf[4];
        for (std::uint8_t b : bytes) {
            sum += b;
            std::snprintf(buf, sizeof buf, "%02X", b);
            line += buf;
        }
        std::snprintf(buf, sizeof buf, "%02X", (sum & 0xFFu) ^ 0xFFu);
        records.push_back(EncodeImageRecord(line + buf, "DYZ"[seed % 3]));
    };
    for (std::uint32_t a = 0; a < 4 * 256; a += 16)
        record(0xFFFE0000 + a, static_cast<std::uint8_t>(a / 16));
    for (std::uint32_t a = 0; a < 256; a += 16)
        record(0xFFFFFF00 + a, static_cast<std::uint8_t>(a / 16 + 100));
    const std::string bytes = EncodeImageFile(version, records);
    EXPECT_EQ(DecodeImage(bytes, image), ImageFileResult::Ok);
    std::string path = ::testing::TempDir() + "/velmora-boot-" + name + ".zpg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

struct Rig {
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimBootMcu mcu;
    McuTransport transport{clock, mcu};
    Recorder observer;
    FirmwareImage image;
    std::string path;

    explicit Rig(const std::string& name) : path(ImageFile(name, image)) { }
    ~Rig() { ::unlink(path.c_str()); }
    ProgramResult Run(const IdCode& id = {}) { return ProgramUnit(path, transport, observer, prompter, clock, id); }
    bool FlashIsImage() const { return std::equal(mcu.Flash().begin(), mcu.Flash().end(), image.begin()); }
};

} // namespace

TEST(BootProgrammer, ProgramsEveryBlockReadsItBackAndRestartsTheUnit)
{
    Rig rig("whole");
    const ProgramResult r = rig.Run();
    ASSERT_TRUE(r.ok) << (r.failure ? r.failure->message : "");
    EXPECT_TRUE(rig.FlashIsImage());
    EXPECT_NE(rig.image[511 * 256], 0xFF); // block 511 carries data
    EXPECT_TRUE(rig.mcu.Running());
    EXPECT_EQ(rig.transport.bootResets, 1);
    EXPECT_EQ(rig.transport.runResets, 1);
    EXPECT_FALSE(rig.transport.open);
    EXPECT_EQ(rig.mcu.BlocksErased(), 16);
    EXPECT_FALSE(rig.mcu.DataAreaErased());
    EXPECT_FALSE(rig.mcu.IdChecked());
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, "更新しますか？");
    EXPECT_EQ(rig.observer.progress.back(), 100);
    // Cancel stays as Escape: nothing in programming takes it away.
    EXPECT_TRUE(rig.observer.cancelEnabled);
    const std::vector<std::string> order = {
        "更新準備中",          "発生器を再起動しています",  "ビットレート自動調整中",
        "ターゲットMCU確定中", "ID コードプロテクト判定中", "メモリ消去中",
        "プログラム転送中",    "プログラム書込中",          "プログラム照合中"};
    EXPECT_EQ(rig.observer.statuses, order);
    // Progress climbs to 56 while programming and 96 while verifying.
    EXPECT_NE(std::find(rig.observer.progress.begin(), rig.observer.progress.end(), 56), rig.observer.progress.end());
    EXPECT_NE(std::find(rig.observer.progress.begin(), rig.observer.progress.end(), 96), rig.observer.progress.end());

    // A second update over the programmed flash erases first, or the cleared
    // bits would stay cleared.
    FirmwareImage other;
    const std::string second = ImageFile("second", other, {9, 9, 9});
    const ProgramResult r2 = ProgramUnit(second, rig.transport, rig.observer, rig.prompter, rig.clock, {});
    EXPECT_TRUE(r2.ok);
    EXPECT_TRUE(std::equal(rig.mcu.Flash().begin(), rig.mcu.Flash().end(), other.begin()));
    ::unlink(second.c_str());
}

TEST(BootProgrammer, ProtectionStatesChooseTheEraseAndTheIdCheck)
{
    {
        Rig rig("p56");
        rig.mcu.Faults().transition = 0x56;
        ASSERT_TRUE(rig.Run().ok);
        EXPECT_EQ(rig.mcu.BlocksErased(), 17);
        EXPECT_TRUE(rig.mcu.DataAreaErased());
        EXPECT_FALSE(rig.mcu.IdChecked());
    }
    {
        Rig rig("p16");
        rig.mcu.Faults().transition = 0x16;
        ASSERT_TRUE(rig.Run({0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10}).ok);
        EXPECT_TRUE(rig.mcu.IdChecked());
        for (std::size_t k = 0; k < 16; ++k)
            EXPECT_EQ(rig.mcu.IdReceived()[k], k + 1);
        EXPECT_EQ(rig.mcu.BlocksErased(), 16);
    }
    {
        Rig rig("refused");
        rig.mcu.Faults().transition = 0x16;
        rig.mcu.Faults().refuseId = true;
        const ProgramResult r = rig.Run();
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(r.failure->message, "ID code check Error");
        EXPECT_EQ(rig.observer.statuses.back(), "キャンセルしました");
        EXPECT_FALSE(rig.transport.open);
        EXPECT_EQ(rig.mcu.BlocksErased(), 0);
    }
    {
        Rig rig("badstate");
        rig.mcu.Faults().transition = 0x33;
        EXPECT_EQ(rig.Run().failure->message, "Program/Erase status transition Error");
    }
}

TEST(BootProgrammer, ADeviceThatDoesNotSynchroniseIsRestartedUntilCancelled)
{
    Rig rig("nosync");
    rig.mcu.Faults().noSync = true;
    rig.observer.onEvents = [&] {
        if (rig.transport.bootResets >= 3)
            rig.observer.cancel = true;
    };
    const ProgramResult r = rig.Run();
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.failure->message, "キャンセルしました\n発生器を再起動してください");
    EXPECT_EQ(rig.transport.bootResets, 3);
    EXPECT_EQ(rig.prompter.shown.back().text, "キャンセルしました\n発生器を再起動してください");
    EXPECT_EQ(rig.prompter.shown.back().icon, PromptIcon::Exclamation);
    EXPECT_EQ(rig.mcu.BlocksErased(), 0);
    EXPECT_FALSE(rig.transport.open);
}

TEST(BootProgrammer, AReadBackThatDiffersEndsWithWhereAndWhat)
{
    Rig rig("corrupt");
    rig.mcu.Faults().corruptBlock = 7;
    const ProgramResult r = rig.Run();
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.failure->message, "Memory read Error");
    ASSERT_TRUE(r.failure->address.has_value());
    EXPECT_EQ(*r.failure->address, 0xFFFE0000u + 7 * 256 + 200);
    EXPECT_EQ(r.failure->expected, rig.image[7 * 256 + 200]);
    EXPECT_EQ(r.failure->found, rig.image[7 * 256 + 200] ^ 0x01);
    // The operator is told where and what, as velmoractl prints it.
    char expected[96];
    std::snprintf(expected, sizeof expected, "Memory read Error\n照合相違 FFFE07C8: 読出し %02X、ファイル %02X",
                  rig.image[7 * 256 + 200] ^ 0x01, rig.image[7 * 256 + 200]);
    EXPECT_EQ(rig.prompter.shown.back().text, expected);
    EXPECT_FALSE(rig.mcu.Running()); // left in boot mode
    EXPECT_EQ(rig.transport.runResets, 0);
}

// Past the start of the erase the unit has no whole program: the ending
// says where its calibration waits; before it, the unit is as it was and
// nothing more is said.
TEST(BootProgrammer, AnEndingPastTheEraseAddsTheBridgeAndTheCalibrationsPlace)
{
    const std::string note = "NOTE\nAGAIN";
    {
        Rig rig("unplugnote");
        rig.observer.onEvents = [&] {
            if (!rig.observer.statuses.empty() && rig.observer.statuses.back() == "プログラム転送中")
                rig.transport.open = false;
        };
        const ProgramResult r = ProgramUnit(rig.path, rig.transport, rig.observer, rig.prompter, rig.clock, {}, note);
        EXPECT_EQ(r.failure->message, "BootModeRelease(UP_NG)");
        EXPECT_EQ(rig.prompter.shown.back().text, "BootModeRelease(UP_NG)\nUSBブリッジが外れました\n" + note);
    }
    {
        Rig rig("refusednote");
        rig.mcu.Faults().transition = 0x16;
        rig.mcu.Faults().refuseId = true;
        ProgramUnit(rig.path, rig.transport, rig.observer, rig.prompter, rig.clock, {}, note);
        EXPECT_EQ(rig.prompter.shown.back().text, "ID code check Error");
    }
    {
        Rig rig("cancelnote");
        rig.observer.onEvents = [&] {
            if (!rig.observer.statuses.empty() && rig.observer.statuses.back() == "プログラム転送中")
                rig.observer.cancel = true;
        };
        const ProgramResult r = ProgramUnit(rig.path, rig.transport, rig.observer, rig.prompter, rig.clock, {}, note);
        EXPECT_EQ(r.failure->message, "キャンセルしました\n発生器を再起動してください");
        EXPECT_EQ(rig.prompter.shown.back().text, "キャンセルしました\n発生器を再起動してください\n" + note);
    }
}

TEST(BootProgrammer, TheSameVersionAsksAndAFileThatIsNoImageEnds)
{
    {
        Rig rig("same");
        rig.transport.version = "010203";
        rig.prompter.answers = {PromptAnswer::Ok, PromptAnswer::Cancel};
        const ProgramResult r = rig.Run();
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(rig.prompter.shown.size(), 2u);
        EXPECT_EQ(rig.prompter.shown[1].text, "発生器とプログラムバージョンが同じです\n再更新しますか？");
        EXPECT_EQ(rig.observer.statuses.back(), "キャンセルしました");
        EXPECT_EQ(rig.transport.bootResets, 0);
    }
    {
        Rig rig("other");
        rig.transport.version = "010204";
        EXPECT_TRUE(rig.Run().ok);
        EXPECT_EQ(rig.prompter.shown.size(), 1u);
    }
    {
        Rig rig("absent");
        rig.transport.present = false;
        const ProgramResult r = rig.Run();
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.failure.has_value());
    }
    {
        // Records that give the program memory nothing: no blank unit.
        Rig rig("blank");
        std::FILE* f = std::fopen(rig.path.c_str(), "wb");
        const std::string low = EncodeImageFile({1, 2, 3}, {EncodeImageRecord("S30600000000AA4F")});
        std::fwrite(low.data(), 1, low.size(), f);
        std::fclose(f);
        EXPECT_EQ(rig.Run().failure->message, "転送ファイルに誤りがあります ");
        EXPECT_EQ(rig.transport.bootResets, 0);
    }
    {
        // The bridge unplugged while programming: one message, not one per
        // block.
        Rig rig("unplug");
        rig.observer.onEvents = [&] {
            if (!rig.observer.statuses.empty() && rig.observer.statuses.back() == "プログラム転送中")
                rig.transport.open = false;
        };
        const ProgramResult r = rig.Run();
        EXPECT_EQ(r.failure->message, "BootModeRelease(UP_NG)");
        EXPECT_EQ(rig.prompter.shown.size(), 2u);
    }
    {
        Rig rig("empty");
        std::FILE* f = std::fopen(rig.path.c_str(), "wb");
        std::fclose(f);
        const ProgramResult r = rig.Run();
        EXPECT_EQ(r.failure->message, "転送ファイルに誤りがあります ");
        EXPECT_TRUE(rig.prompter.shown.size() == 1u && rig.prompter.shown[0].caption == "確認");
    }
}

TEST(BootCommands, EveryCommandAddsUpToZero)
{
    std::vector<std::uint8_t> data(256);
    for (std::size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<std::uint8_t>(k * 3);
    const std::vector<BootCommand> commands = {DeviceSelection({0x52, 0x35, 0x46, 0x31}),
                                               NewBitRate(),
                                               IdCodeCheck({1, 2, 3}),
                                               BlockErase(0xFFFE2000),
                                               EndOfErase(),
                                               ProgramBlock(0xFFFFFF00, data),
                                               EndOfProgramming(),
                                               ReadBlock(0xFFFFFF00)};
    for (const BootCommand& c : commands) {
        unsigned sum = 0;
        for (std::uint8_t b : c.bytes)
            sum += b;
        EXPECT_EQ(sum & 0xFFu, 0u) << int(c.bytes[0]);
    }
    EXPECT_EQ(NewBitRate().bytes.back(), 0x39);
    EXPECT_EQ(NewBitRate().bytes.size(), 10u);
    EXPECT_EQ(EndOfProgramming().bytes.back(), 0xB4);
    EXPECT_EQ(ProgramBlock(0xFFFFFF00, data).bytes.size(), 262u);
    EXPECT_EQ(ReadBlock(0xFFFFFF00).bytes,
              (std::vector<std::uint8_t>{0x52, 0x09, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00,
                                         BootSum(std::vector<std::uint8_t>{0x52, 0x09, 0x01, 0xFF, 0xFF, 0xFF, 0x00,
                                                                           0x00, 0x00, 0x01, 0x00})}));
    EXPECT_EQ(ReadBlock(0).replyLength, 262);
}

// The real path without a library: the link's FTDI channel over the
// simulated bridge, the unit's protocol before and after, boot mode between.
TEST(BootProgrammer, OverTheFtdiChannelAndTheSimulatedBridge)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimBridge bridge(clock);
    auto channel = std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, clock), clock, prompter);
    FtdiChannel& ftdi = *channel;
    GeneratorLink link(clock, prompter, nullptr, std::move(channel));

    ASSERT_EQ(ftdi.CountUnits(), 1);
    EXPECT_EQ(ftdi.LastMatchSerial(), "VK2A0001");
    std::string version;
    ASSERT_TRUE(link.QueryVersion(LinkFtdi, version));
    EXPECT_EQ(version, "01000A");

    FirmwareImage image;
    const std::string path = ImageFile("bridge", image);
    FtdiBootTransport transport(link, ftdi);
    Recorder observer;
    const Nanos start = clock.Now();
    const ProgramResult r = ProgramUnit(path, transport, observer, prompter, clock, {});
    ::unlink(path.c_str());
    ASSERT_TRUE(r.ok) << (r.failure ? r.failure->message : "");
    EXPECT_TRUE(std::equal(bridge.Mcu().Flash().begin(), bridge.Mcu().Flash().end(), image.begin()));
    // Boot restart then normal restart, each three steps.
    EXPECT_EQ(bridge.PinLog(), (std::vector<std::uint8_t>{0x00, 0x33, 0x32, 0x00, 0x31, 0x30, 0x00}));
    EXPECT_EQ(bridge.Rate(), 1'000'000u);
    EXPECT_FALSE(ftdi.IsOpen());
    // The channel was open already (the version query opened it): both
    // restarts' 600 ms and the waits after the first and before the second.
    EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(600 + 51 + 101 + 600));

    // The unit runs its program again and answers in its own protocol.
    ASSERT_TRUE(link.QueryVersion(LinkFtdi, version));
}
