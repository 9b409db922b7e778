// The D2XX binding as the program loads it: the simulated library through
// its C functions, a library that lacks entry points, and none at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/D2xxDevice.h"
#include "link/FtdiChannel.h"
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

} // namespace

TEST(D2xxBinding, TheSimulatedLibraryFindsOpensAndAnswers)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    auto device = LoadD2xxDevice(VELMORA_FTD2XX_SIM, prompter);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->Loaded());
    EXPECT_TRUE(prompter.shown.empty()) << Texts(prompter);
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
    channel.CloseUnit();
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(prompter.shown.empty()) << Texts(prompter);
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
    EXPECT_EQ(Texts(prompter), "FT_ListDevices is not valid!|FT_SetSetBitMode is not valid!|"
                               "FT_SetSetBitMode is not valid!|FT_SetSetBitMode is not valid!|");
}

TEST(D2xxBinding, NoLibraryIsSilentAndNamedForTheUpdate)
{
    ScriptedPrompter prompter;
    EXPECT_EQ(LoadD2xxDevice("/nonexistent/libftd2xx.so", prompter), nullptr);
    ::setenv("VELMORA_FTD2XX", "/nonexistent/libftd2xx.so", 1);
    const auto device = MakeFtdiDevice(prompter);
    ::unsetenv("VELMORA_FTD2XX");
    EXPECT_FALSE(device->Loaded());
    EXPECT_EQ(device->LibraryName(), "/nonexistent/libftd2xx.so");
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(D2xxLibraryPath(), "libftd2xx.so");
}

} // namespace velmora::test
