// The simulator's commands and options, without a process.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "SimChannel.h"
#include "SimConsole.h"
#include "ScriptedPrompter.h"
#include "model/GeneratorModel.h"
#include "protocol/GeneratorLink.h"
#include "protocol/OutputCommands.h"
#include "support/FakeClock.h"

using namespace velmora;
using namespace velmora::sim;

namespace {

const Nanos kT0 = std::chrono::seconds(5);

SimCommandResult Cmd(SimUnit& unit, std::string_view line)
{
    return RunSimCommand(unit, line, kT0);
}

TEST(SimConsole, CommandsChangeStateAndFaults)
{
    SimUnit unit;
    EXPECT_TRUE(Cmd(unit, "channels 2").ok);
    EXPECT_EQ(unit.ChannelCount(), 2);
    EXPECT_TRUE(Cmd(unit, "version 02.00B").ok);
    EXPECT_EQ(unit.Version(), "02.00B");
    EXPECT_TRUE(Cmd(unit, "  version 01 00A  ").ok) << "the text is taken whole, inner spaces kept";
    EXPECT_EQ(unit.Version(), "01 00A");

    const auto r = Cmd(unit, "alarm 2 0x0003 0002");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, "ok: ch2 status 0003 ext-status 0002");
    EXPECT_EQ(unit.Channel(1).statusWord, 0x0003);
    EXPECT_EQ(unit.Channel(1).extStatusWord, 0x0002);
    EXPECT_TRUE(Cmd(unit, "alarm 2 10").ok) << "the external word stays when not given";
    EXPECT_EQ(unit.Channel(1).statusWord, 0x0010);
    EXPECT_EQ(unit.Channel(1).extStatusWord, 0x0002);

    EXPECT_TRUE(Cmd(unit, "silent on").ok);
    EXPECT_TRUE(unit.Faults().silent);
    EXPECT_TRUE(Cmd(unit, "silent off").ok);
    EXPECT_FALSE(unit.Faults().silent);
    EXPECT_TRUE(Cmd(unit, "garbage on").ok);
    EXPECT_TRUE(Cmd(unit, "bad-checksum on").ok);
    EXPECT_TRUE(Cmd(unit, "lowercase on").ok);
    EXPECT_TRUE(Cmd(unit, "stray-crlf on").ok);
    EXPECT_TRUE(Cmd(unit, "pace on").ok);
    EXPECT_TRUE(Cmd(unit, "length short").ok);
    EXPECT_TRUE(Cmd(unit, "delay 250").ok);
    EXPECT_TRUE(Cmd(unit, "silent-after 3").ok);
    const SimFaults& f = unit.Faults();
    EXPECT_TRUE(f.garbage && f.badChecksum && f.lowercaseChecksum && f.strayCrLf && f.pace);
    EXPECT_EQ(f.length, LengthFault::Short);
    EXPECT_EQ(f.delayMs, 250);
    EXPECT_EQ(unit.SilentAfter(), 3);
    EXPECT_NE(Cmd(unit, "show").text.find("delay 250 ms"), std::string::npos);

    EXPECT_TRUE(Cmd(unit, "length long").ok);
    EXPECT_EQ(f.length, LengthFault::Long);
    EXPECT_TRUE(Cmd(unit, "silent-after off").ok);
    EXPECT_FALSE(unit.SilentAfter());
    EXPECT_TRUE(Cmd(unit, "faults-off").ok);
    EXPECT_FALSE(f.garbage || f.badChecksum || f.lowercaseChecksum || f.strayCrLf || f.pace);
    EXPECT_EQ(f.length, LengthFault::None);
    EXPECT_EQ(f.delayMs, 0);
    EXPECT_NE(Cmd(unit, "show").text.find("faults: none"), std::string::npos);
}

TEST(SimConsole, TableCommandsShowInTheUnitsReplies)
{
    SimUnit unit;
    EXPECT_TRUE(Cmd(unit, "maker 1 5 0010 801F").ok);
    EXPECT_TRUE(Cmd(unit, "user 1 5 FFFB 8003").ok);
    EXPECT_TRUE(Cmd(unit, "select 1 5 2").ok);
    unit.Receive(kT0,
                 "\x02"
                 "CRU105\x03"
                 "83\r\n"
                 "\x02"
                 "CRM105\x03"
                 "7B\r\n");
    const std::string out = unit.TakeDue(kT0);
    ASSERT_EQ(out.size(), 48u);
    EXPECT_EQ(out.substr(7, 12), "0002FFFB8003");
    EXPECT_EQ(out.substr(24 + 7, 12), "00020010801F");

    EXPECT_TRUE(Cmd(unit, "reset").ok);
    EXPECT_EQ(unit.Channel(0).maker[5].minCorrection, 0x0000);
    EXPECT_EQ(unit.Channel(0).user[5].adjustSelect, 0x0000);
}

// The host's model wired to the unit through the real settings write, so
// that what "outputs" shows is what the panel's operations sent.
struct HostRig {
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    SimUnit unit;
    GeneratorLink link{clock, prompter, std::make_unique<SimChannel>(unit, clock), nullptr};
    LinkModelAdapter adapter{link};
    GeneratorModel model;

    explicit HostRig(int channels)
    {
        EXPECT_TRUE(unit.SetChannelCount(channels));
        model.channelCount = channels;
        EXPECT_TRUE(link.Connect());
        model.SetLink(&adapter);
    }

    // The line's time for what the model queued, pumped as the panel's
    // ticks would.
    void Carry()
    {
        while (!link.Wire().IsDrained()) {
            clock.AdvanceMs(50);
            link.PumpWire();
        }
    }
};

std::string Frame(int ch, int range, std::uint16_t code, std::uint16_t control, std::uint16_t extOutput)
{
    SettingsWords w;
    w.dacCode = code;
    w.controlWord = control;
    w.auxControlWord = 0x0008;
    w.extOutputWord = extOutput;
    return BuildSettingsWrite(ch, range, w);
}

TEST(SimConsole, OutputsShowEachChannelsLastFrameAsAValueInItsRange)
{
    HostRig rig(2);
    EXPECT_EQ(Cmd(rig.unit, "outputs").text, "1 none\n2 none");

    rig.model.SetRange(0, 5);
    rig.model.SetSetValue(0, 12.0);
    rig.model.SwitchOutputOn(0);
    rig.model.SetRange(1, 2);
    rig.model.SetSetValue(1, -5.0);
    rig.Carry();
    EXPECT_EQ(Cmd(rig.unit, "outputs").text,
              "1 range=5 code=8000 value=12.000 on\n"
              "2 range=2 code=0000 value=-5.000 off");

    // A ramp: every step replaces what was shown.
    for (double v : {4.0, 4.5, 19.999}) {
        rig.model.SetSetValue(0, v);
        rig.Carry();
    }
    EXPECT_EQ(Cmd(rig.unit, "outputs 1").text, "1 range=5 code=FFFB value=19.999 on")
        << "19.999 mA is code 65531, which reads back as 19.999 mA";
    rig.model.SwitchOutputOff(0);
    rig.Carry();
    EXPECT_EQ(Cmd(rig.unit, "outputs 1").text, "1 range=5 code=FFFB value=19.999 off");
}

TEST(SimConsole, OutputsFollowTheRangesOwnOutputSwitchAndNameRangesWithoutAValue)
{
    SimUnit unit;
    EXPECT_TRUE(unit.SetChannelCount(4));
    // The external-supply ranges switch by their own word; bit 12 of the
    // control word means nothing for them.
    unit.Receive(kT0, Frame(0, 12, 0xFFFF, 0x0008, 0x0001));
    unit.Receive(kT0, Frame(1, 11, 0x0000, 0x1008, 0x0000));
    unit.Receive(kT0, Frame(2, 4, 0x1234, 0x1008, 0x0000));
    unit.Receive(kT0, Frame(3, 15, 0x8000, 0x0008, 0x0000));
    EXPECT_EQ(Cmd(unit, "outputs").text,
              "1 range=12 code=FFFF value=24.000 on\n"
              "2 range=11 code=0000 value=4.000 off\n"
              "3 range=4 code=1234 value=n/a on\n"
              "4 range=15 code=8000 value=n/a off");
    unit.Receive(kT0, Frame(2, 0xA0, 0x0001, 0x0008, 0x0000));
    EXPECT_EQ(Cmd(unit, "outputs 3").text, "3 range=160 code=0001 value=n/a off");
    unit.Receive(kT0, Frame(2, 10, 0xFFFF, 0x1008, 0x0000));
    EXPECT_EQ(Cmd(unit, "outputs 3").text, "3 range=10 code=FFFF value=5.000 on");

    // Back to power-on: nothing received.
    EXPECT_TRUE(Cmd(unit, "reset").ok);
    EXPECT_EQ(Cmd(unit, "outputs 3").text, "3 none");

    // A channel beyond the unit's count is refused by the unit, so it shows
    // nothing received; the listing covers the channels in use.
    EXPECT_TRUE(unit.SetChannelCount(1));
    unit.Receive(kT0, Frame(1, 0, 0x1000, 0x0008, 0x0000));
    EXPECT_EQ(Cmd(unit, "outputs 2").text, "2 none");
    unit.Receive(kT0, Frame(0, 0, 0x0000, 0x0008, 0x0000));
    EXPECT_EQ(Cmd(unit, "outputs").text, "1 range=0 code=0000 value=0.000 off");

    for (const char* bad : {"outputs 0", "outputs 5", "outputs one", "outputs 1 2"}) {
        const auto r = Cmd(unit, bad);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_TRUE(r.text.starts_with("error: ")) << bad << " -> " << r.text;
    }
}

TEST(SimConsole, AnnounceFloodAndQuit)
{
    SimUnit unit;
    EXPECT_TRUE(Cmd(unit, "announce").ok);
    EXPECT_EQ(unit.TakeDue(kT0),
              "\x02"
              "A\x03"
              "44\r\n");
    // A flood is one line longer than any the host keeps.
    EXPECT_TRUE(Cmd(unit, "flood 600").ok);
    const std::string flood = unit.TakeDue(kT0);
    ASSERT_EQ(flood.size(), 602u);
    EXPECT_EQ(flood.find_first_of("\r\n"), 600u);
    EXPECT_FALSE(Cmd(unit, "flood 0").ok);
    const auto q = Cmd(unit, "quit");
    EXPECT_TRUE(q.ok);
    EXPECT_TRUE(q.quit);
    EXPECT_FALSE(Cmd(unit, "show").quit);
}

TEST(SimConsole, BadCommandsAreAnsweredWithAnErrorAndChangeNothing)
{
    SimUnit unit;
    const char* bad[] = {
        "frobnicate",    "channels 3",   "channels two",      "channels",          "alarm 5 0003",     "alarm 1 12345",
        "alarm 1 xyz",   "alarm 1",      "silent maybe",      "silent on off",     "length medium",    "delay -5",
        "delay 1e3",     "delay 600001", "silent-after many", "maker 1 16 0 8000", "maker 0 5 0 8000", "user 1 5 0",
        "select 1 5 0x", "version",      "help me",
    };
    for (const char* line : bad) {
        const auto r = Cmd(unit, line);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_TRUE(r.text.starts_with("error: ")) << line << " -> " << r.text;
        EXPECT_FALSE(r.quit);
    }
    EXPECT_EQ(unit.ChannelCount(), 1);
    EXPECT_EQ(unit.Version(), "01.00A");
    EXPECT_EQ(unit.Channel(0).statusWord, 0);
    EXPECT_FALSE(unit.Faults().silent);
    EXPECT_EQ(unit.Faults().delayMs, 0);
    EXPECT_EQ(unit.Channel(0).maker[5].maxCorrection, 0x8000);

    // Blank lines and comments are no commands at all.
    EXPECT_TRUE(Cmd(unit, "").ok);
    EXPECT_TRUE(Cmd(unit, "   # a note").ok);
    EXPECT_EQ(Cmd(unit, "").text, "");
}

TEST(SimConsole, OptionsSetTheStartState)
{
    SimUnit unit;
    SimLaunch launch;
    const std::vector<std::string> args = {"--channels",
                                           "4",
                                           "--version=02.00B",
                                           "--pace",
                                           "--delay",
                                           "50",
                                           "--alarm",
                                           "2:0010:0001",
                                           "--link",
                                           "/tmp/x",
                                           "--log=/tmp/y.log",
                                           "--silent-after",
                                           "3",
                                           "--length=short",
                                           "--stray-crlf",
                                           "--garbage=off",
                                           "--maker",
                                           "1:5:0010:801F"};
    EXPECT_EQ(ApplySimArguments(args, unit, launch, kT0), "");
    EXPECT_EQ(unit.ChannelCount(), 4);
    EXPECT_EQ(unit.Version(), "02.00B");
    EXPECT_TRUE(unit.Faults().pace);
    EXPECT_TRUE(unit.Faults().strayCrLf);
    EXPECT_FALSE(unit.Faults().garbage);
    EXPECT_EQ(unit.Faults().delayMs, 50);
    EXPECT_EQ(unit.Faults().length, LengthFault::Short);
    EXPECT_EQ(unit.SilentAfter(), 3);
    EXPECT_EQ(unit.Channel(1).statusWord, 0x0010);
    EXPECT_EQ(unit.Channel(1).extStatusWord, 0x0001);
    EXPECT_EQ(unit.Channel(0).maker[5].maxCorrection, 0x801F);
    EXPECT_EQ(launch.linkPath, "/tmp/x");
    EXPECT_EQ(launch.logPath, "/tmp/y.log");
    EXPECT_FALSE(launch.help);

    SimLaunch help;
    EXPECT_EQ(ApplySimArguments({"--help"}, unit, help, kT0), "");
    EXPECT_TRUE(help.help);
}

TEST(SimConsole, BadOptionsAreRefusedWithAReason)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--channels", "3"}, {"--nope"},        {"--delay"},         {"stray"},  {"--link"},
        {"--log="},          {"--alarm", "1"},  {"--announce"},      {"--quit"}, {"-x"},
        {"--silent=maybe"},  {"--version", ""}, {"--length", "odd"}, {"--"},
    };
    for (const auto& args : bad) {
        SimUnit unit;
        SimLaunch launch;
        const std::string err = ApplySimArguments(args, unit, launch, kT0);
        EXPECT_FALSE(err.empty()) << args[0];
        EXPECT_EQ(err.find("error: "), std::string::npos) << err;
    }
    SimUnit unit;
    SimLaunch launch;
    EXPECT_NE(ApplySimArguments({"--channels", "3"}, unit, launch, kT0).find("1, 2 or 4"), std::string::npos);
}

TEST(SimConsole, CalibrationFilesAreReadOnlyWhenTheyAreTablesInAFile)
{
    const std::string dir = ::testing::TempDir();
    const std::string good = dir + "/velmora-sim-cal-good.txt";
    const std::string bad = dir + "/velmora-sim-cal-bad.txt";
    const std::string fifo = dir + "/velmora-sim-cal-fifo";
    std::FILE* f = std::fopen(good.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("# kept\n\n1 4_20mA maker=3,5 user=-2,-2 select=2\n2 11 user=1,2\n", f);
    std::fclose(f);
    f = std::fopen(bad.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("1 0_5V select=1\n1 0_5V maker=1\n", f);
    std::fclose(f);
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    SimUnit unit;
    SimLaunch launch;
    ASSERT_EQ(ApplySimArguments({"--channels", "2", "--cal", good}, unit, launch, kT0), "");
    EXPECT_EQ(unit.Channel(0).maker[5].maxCorrection, 0x8005);
    EXPECT_EQ(unit.Stored('U').user[0][5].minCorrection, 0xFFFE);
    EXPECT_EQ(unit.Channel(1).user[11].maxCorrection, 0x8002);
    EXPECT_NE(Cmd(unit, "stored 2").text.find("\n2 E4_20mA maker=0,0 user=1,2 select=0"), std::string::npos);

    // The line that is wrong is named; a FIFO neither hangs nor is read.
    SimUnit other;
    EXPECT_NE(ApplySimArguments({"--cal", bad}, other, launch, kT0).find("line 2"), std::string::npos);
    EXPECT_NE(ApplySimArguments({"--cal", fifo}, other, launch, kT0).find("regular file"), std::string::npos);
    EXPECT_NE(ApplySimArguments({"--cal", dir + "/velmora-sim-none"}, other, launch, kT0), "");
    ::unlink(good.c_str());
    ::unlink(bad.c_str());
    ::unlink(fifo.c_str());
}

TEST(SimConsole, HelpListsEveryCommandAndOption)
{
    const std::string help = SimHelpText();
    for (const char* word : {"--link PATH",    "--log FILE",
                             "--channels N",   "--version TEXT",
                             "--pace",         "--silent",
                             "--garbage",      "--bad-checksum",
                             "--length",       "--lowercase",
                             "--stray-crlf",   "--delay MS",
                             "--silent-after", "--alarm CH:STATUS[:EXT]",
                             "announce",       "alarm CH STATUS [EXT]",
                             "faults-off",     "show",
                             "outputs [CH]",   "quit"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    SimUnit unit;
    const std::string commands = Cmd(unit, "help").text;
    EXPECT_NE(commands.find("silent-after N|off"), std::string::npos);
}

TEST(SimConsole, ReadableBytesNamesControlCharacters)
{
    EXPECT_EQ(ReadableBytes("\x02R1\r\n"), "<STX>R1<CR><LF>");
    EXPECT_EQ(ReadableBytes(std::string("\x03\0\x1B\x7F\xFFok", 7)), "<ETX><NUL><ESC><x7F><xFF>ok");
    EXPECT_EQ(ReadableBytes(""), "");
}

} // namespace
