// The bridge libraries as the program loads them: the simulated D2XX and
// libftdi1 libraries through their C functions, a library that lacks entry
// points, the fall-back from one to the other, and none at all.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/D2xxDevice.h"
#include "link/FtdiChannel.h"
#include "link/LibftdiDevice.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"

namespace velmora::test {
namespace {

std::string Texts(const ScriptedPrompter& p)
{
    std::string s;
    for (const auto& m : p.shown)
        s += m.text + "|";
    return s;
}

// Drives one unit through `device` as the update does: found, opened, asked
// its version, restarted into boot mode and closed. Another bridge with the
// unit's description and nothing behind it is listed first: only the unit's
// own answers.
void DriveUnit(std::unique_ptr<FtdiDevice> device, const std::string& log)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    FtdiChannel channel(std::move(device), clock, prompter);
    ASSERT_EQ(channel.CountUnits(), 1);
    EXPECT_EQ(channel.LastMatchSerial(), "VK2A0001");
    ASSERT_TRUE(channel.OpenUnit());
    const std::string ver = "VER\r\n";
    channel.Write(std::span(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size()));
    LineBuffer line;
    LineResult r = LineResult::LineNone;
    for (int i = 0; i < 50 && r != LineResult::LineComplete; ++i)
        r = channel.ReadLine(line);
    ASSERT_EQ(r, LineResult::LineComplete);
    EXPECT_EQ(line.Line(), "VER01.00A\r\n");
    channel.ResetIntoBootMode();
    channel.SetUnitBaudRate(1'000'000);
    channel.CloseUnit();
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(prompter.shown.empty()) << Texts(prompter);
    std::ifstream in(log);
    const std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(calls.find("open serial VK2A0001 ok\nbits 00 00\nbaud 19200\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("bits 33 20\nbits 32 20\nbits 00 00\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("close"), std::string::npos) << calls;
}

class LogFile {
public:
    LogFile() : m_path(std::filesystem::temp_directory_path() / ("velmora-ftdi-" + std::to_string(::getpid()) + ".log"))
    {
        std::filesystem::remove(m_path);
        ::setenv("VELMORA_SIM_FTDI_LOG", m_path.c_str(), 1);
        ::setenv("VELMORA_SIM_FTDI_TIMING", "0", 1);
        ::setenv("VELMORA_SIM_FTDI_SERIALS", "FT5XK2QA:empty,VK2A0001", 1);
    }
    ~LogFile()
    {
        ::unsetenv("VELMORA_SIM_FTDI_SERIALS");
        ::unsetenv("VELMORA_SIM_FTDI_LOG");
        ::unsetenv("VELMORA_SIM_FTDI_TIMING");
        std::filesystem::remove(m_path);
    }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

} // namespace

TEST(D2xxBinding, TheSimulatedLibraryFindsOpensAndAnswers)
{
    const LogFile log;
    ScriptedPrompter prompter;
    auto device = LoadD2xxDevice(VELMORA_FTD2XX_SIM, prompter);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->Loaded());
    EXPECT_TRUE(prompter.shown.empty()) << Texts(prompter);
    DriveUnit(std::move(device), log.Path());
}

TEST(D2xxBinding, AMissingEntryPointIsNamedOnceAndItsCallsSayTheyAreNotValid)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    auto device = LoadD2xxDevice(VELMORA_FTD2XX_PARTIAL, prompter);
    ASSERT_NE(device, nullptr);
    // The lookup stops at the first missing one the program calls.
    EXPECT_EQ(Texts(prompter), "Error: Can't Find FT_ListDevices|");
    FtdiChannel channel(std::move(device), clock, prompter);
    prompter.shown.clear();
    EXPECT_EQ(channel.CountUnits(), 0);
    channel.ResetIntoBootMode();
    EXPECT_EQ(Texts(prompter),
              "FT_ListDevices is not valid!|FT_SetSetBitMode is not valid!|"
              "FT_SetSetBitMode is not valid!|FT_SetSetBitMode is not valid!|");
}

TEST(LibftdiBinding, TheSimulatedLibraryDrivesTheUnitAsD2xxDoes)
{
    // The simulated library reads its settings when first called.
    const LogFile log;
    FakeClock clock;
    auto device = LoadLibftdiDevice(VELMORA_LIBFTDI_SIM, clock);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->Loaded());
    EXPECT_EQ(device->LibraryName(), VELMORA_LIBFTDI_SIM);
    DriveUnit(std::move(device), log.Path());
    // A library that is not libftdi1 is passed over without a word.
    EXPECT_EQ(LoadLibftdiDevice(VELMORA_FTD2XX_SIM, clock), nullptr);
}

TEST(FtdiLibraries, D2xxFirstThenLibftdiThenNoneNamingBoth)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    EXPECT_EQ(LoadD2xxDevice("/nonexistent/libftd2xx.so", prompter), nullptr);
    EXPECT_EQ(D2xxLibraryPath(), "libftd2xx.so");
    EXPECT_EQ(LibftdiLibraryPath(), "libftdi1.so.2");

    ::setenv("VELMORA_FTD2XX", "/nonexistent/libftd2xx.so", 1);
    ::setenv("VELMORA_LIBFTDI", VELMORA_LIBFTDI_SIM, 1);
    const auto libftdi = MakeFtdiDevice(prompter, clock);
    ::setenv("VELMORA_LIBFTDI", "/nonexistent/libftdi1.so.2", 1);
    const auto none = MakeFtdiDevice(prompter, clock);
    ::setenv("VELMORA_FTD2XX", VELMORA_FTD2XX_SIM, 1);
    const auto d2xx = MakeFtdiDevice(prompter, clock);
    ::unsetenv("VELMORA_FTD2XX");
    ::unsetenv("VELMORA_LIBFTDI");

    EXPECT_EQ(libftdi->LibraryName(), VELMORA_LIBFTDI_SIM);
    EXPECT_EQ(d2xx->LibraryName(), VELMORA_FTD2XX_SIM);
    EXPECT_FALSE(none->Loaded());
    // The update names both when neither loads; start-up says nothing.
    EXPECT_EQ(none->LibraryName(), "/nonexistent/libftd2xx.so / /nonexistent/libftdi1.so.2");
    EXPECT_TRUE(prompter.shown.empty()) << Texts(prompter);
}

} // namespace velmora::test
