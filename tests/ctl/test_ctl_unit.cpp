// velmoractl's unit commands (set, status, report, monitor, auto) run as the
// real program against velmora-sim on a pseudo-terminal, opening the port
// themselves or through `velmoractl serve` holding it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/CVelmoraDoc.h"
#include "remote/RemoteServer.h"
#include "support/PseudoTerminal.h"
#include "support/ScriptedPrompter.h"
#include "support/SimProcess.h"

using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

// A velmoractl run in progress: its standard output can be read line by
// line while it runs; Finish collects the rest and the exit status.
class CtlProcess : public ChildProcess {
public:
    bool Start(const std::vector<std::string>& args)
    {
        return ChildProcess::Start(VELMORA_CTL_BINARY, args, {false, false, {}});
    }
    // With a pipe on standard input, which the test writes or closes.
    bool StartWithInput(const std::vector<std::string>& args)
    {
        return ChildProcess::Start(VELMORA_CTL_BINARY, args, {true, false, {}});
    }
    // With the terminal device `tty` as standard input.
    bool StartOnTerminal(const std::vector<std::string>& args, const std::string& tty)
    {
        return ChildProcess::Start(VELMORA_CTL_BINARY, args, {false, false, tty});
    }
    // In `folder`, where a server keeps its state file.
    bool StartIn(const std::vector<std::string>& args, const std::string& folder)
    {
        return ChildProcess::Start(VELMORA_CTL_BINARY, args, {false, false, {}, folder});
    }
};

struct CtlResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CtlResult RunCtl(const std::vector<std::string>& args)
{
    CtlProcess p;
    CtlResult r;
    if (!p.Start(args))
        return r;
    r.exitCode = p.Finish(r.out, r.err);
    return r;
}

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CtlUnitTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        m_sim.Stop(SIGTERM);
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Starts the simulator with `args` and a log; false if it did not come up.
    bool StartSim(std::vector<std::string> args)
    {
        m_dir = fs::temp_directory_path() /
            ("velmoractl-unit-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        m_log = m_dir / "sim.log";
        args.insert(args.begin(), {"--log", m_log.string()});
        if (!m_sim.Start(args))
            return false;
        const auto device = m_sim.ReadLine();
        if (!device)
            return false;
        m_device = *device;
        return true;
    }

    // Runs a simulator command and waits for its answer.
    std::string Sim(const std::string& command)
    {
        EXPECT_TRUE(m_sim.Command(command));
        const auto reply = m_sim.ReadLine();
        EXPECT_TRUE(reply && reply->starts_with("ok")) << command << ": " << reply.value_or("(none)");
        return reply.value_or("");
    }

    // The `lines` lines a simulator command prints (its tables, its test
    // output), joined with LF.
    std::string SimLines(const std::string& command, int lines)
    {
        EXPECT_TRUE(m_sim.Command(command));
        std::string out;
        for (int k = 0; k < lines; ++k)
            out += m_sim.ReadLine().value_or("(none)") + "\n";
        return out;
    }

    // What the simulator last received for channel `ch`.
    std::string SimOutput(int ch)
    {
        EXPECT_TRUE(m_sim.Command("outputs " + std::to_string(ch)));
        return m_sim.ReadLine().value_or("(none)");
    }

    std::vector<std::string> Ctl(std::vector<std::string> args) const
    {
        // In English, the language of the messages checked.
        args.insert(args.begin(), {"--lang", "en", "--port", m_device});
        return args;
    }

    // The simulator's log once it holds `text`; what it holds when the guard
    // runs out otherwise.
    std::string LogWith(const std::string& text) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
        std::string log;
        while ((log = Slurp(m_log)).find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return log;
    }

    // How often `text` is in the log once it is there at least `count` times.
    std::size_t LogCountReaching(const std::string& text, std::size_t count) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
        for (;;) {
            const std::string log = Slurp(m_log);
            std::size_t n = 0;
            for (std::size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at)
                ++n;
            if (n >= count || std::chrono::steady_clock::now() >= end)
                return n;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // A two-channel settings document with channel 1 on 0-10 V and the
    // automatic output of that range as given; channel 2 the same when its
    // slot is given.
    std::string WriteSettings(const velmora::AutoOutputSlot& slot,
                              const std::optional<velmora::AutoOutputSlot>& second = std::nullopt)
    {
        ScriptedPrompter quiet;
        velmora::CVelmoraDoc doc(quiet, velmora::CVelmoraDoc::NoStateFile{});
        doc.SetChannelCount(2);
        doc.m_model.channels[0].rangeCode = 1;
        doc.m_autoOutput[0].slots[1] = slot;
        if (second) {
            doc.m_model.channels[1].rangeCode = 1;
            doc.m_autoOutput[1].slots[1] = *second;
        }
        const fs::path path = m_dir / "auto.ini";
        EXPECT_TRUE(static_cast<bool>(doc.SaveDocument(path.string())));
        return path.string();
    }
    std::string WriteFile(const char* name, const std::string& text)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    SimProcess m_sim;
    fs::path m_dir;
    fs::path m_log;
    std::string m_device;
};

} // namespace

TEST_F(CtlUnitTest, SetSendsTheChannelsSettingsFrameOnce)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    CtlResult r = RunCtl(Ctl({"set", "1", "--range", "5", "--value", "12", "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 4-20 mA at 12 mA is code 0x8000; the control word keeps its bit 3 and
    // gains the range bits 101 and the output bit 12.
    const std::string frame = "< <STX>W1058000100D0008000000000000000000000000<ETX>D5<CR><LF>";
    std::string log = LogWith(frame);
    EXPECT_NE(log.find(frame), std::string::npos) << log;

    // A value beyond the range is held to its limit; by key name, output off.
    r = RunCtl(Ctl({"set", "2", "--range=0_10V", "--value", "12.5", "--off"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    log = LogWith("<STX>W2");
    EXPECT_NE(log.find("< <STX>W201FFFF00090008"), std::string::npos) << log;

    // Decimals beyond the range's three are cut, not rounded: 3.1419 V -> 3.141 V.
    r = RunCtl(Ctl({"set", "1", "--range", "1", "--value", "3.1419"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    log = LogWith("<STX>W101");
    EXPECT_NE(log.find("< <STX>W10150690009"), std::string::npos) << log;

    // Each run sent exactly one frame and asked nothing.
    std::size_t writes = 0;
    for (std::size_t at = 0; (at = log.find("< <STX>W", at)) != std::string::npos; ++at)
        ++writes;
    EXPECT_EQ(writes, 3u);
    EXPECT_EQ(log.find("< VER"), std::string::npos);
}

TEST_F(CtlUnitTest, StatusPrintsOneLinePerChannelOfTheUnit)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    Sim("alarm 1 0005");
    Sim("select 1 0 2");
    CtlResult r = RunCtl(Ctl({"status"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "1 range=0 status=0005 ext=0000 adjust=2 alarm=出力部高温\n"
              "2 range=0 status=0000 ext=0000 adjust=0 alarm=\n");

    // On an external-supply range the alarm comes from the external word.
    ASSERT_EQ(RunCtl(Ctl({"set", "2", "--range", "E4_20mA", "--on"})).exitCode, 0);
    LogWith("<STX>W20B");
    Sim("alarm 2 0001 0002");
    Sim("select 2 11 1");
    r = RunCtl(Ctl({"status", "2"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 range=11 status=0001 ext=0002 adjust=1 alarm=出力異常\n");

    // A channel that does not answer within the reply time-out.
    Sim("silent on");
    r = RunCtl(Ctl({"status", "1"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("channel 1"), std::string::npos) << r.err;
}

TEST_F(CtlUnitTest, ReportPrintsTheTextOrStopsAtTheFailedRead)
{
    ASSERT_TRUE(StartSim({"--maker", "1:5:0003:8005", "--user", "1:5:FFFE:7FFE", "--select", "1:5:2"}));
    CtlResult r = RunCtl(Ctl({"report"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("Version\t01000A\r\nCircuits\t1\r\n\r\nAnalog output adjustment values\r\n"), 0u) << r.out;
    EXPECT_NE(r.out.find("Channel 1\r\n  0-5 V\t\t0\t0\t0\t0\tNone\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\n  int. 4-20 mA\t3\t5\t-2\t-2\tUser\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Channel 2"), std::string::npos);

    // Every adjustment reply damaged: the first read gives up after four
    // of them instead of asking forever.
    Sim("bad-checksum on");
    r = RunCtl(Ctl({"report"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Version\t01000A\r\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("A communication error occurred (channel 1, 0-5 V, maker read damaged replies)"),
              std::string::npos)
        << r.err;
    const std::string log = LogWith("bad");
    std::size_t reads = 0;
    for (std::size_t at = 0; (at = log.find("< <STX>CRM100", at)) != std::string::npos; ++at)
        ++reads;
    EXPECT_EQ(reads, 1u + 4u); // one from the good report, four from this one
}

TEST_F(CtlUnitTest, AdjustShowsSetsTestsAndInitialisesTheUnitsCorrections)
{
    const fs::path cal = fs::temp_directory_path() / ("velmoractl-cal-" + std::to_string(getpid()) + ".txt");
    {
        std::ofstream out(cal);
        out << "# as adjust show prints them\n1 4_20mA maker=3,5 user=-2,-2 select=2\n2 0_10V user=7,-8 select=1\n";
    }
    ASSERT_TRUE(StartSim({"--channels", "2", "--cal", cal.string()}));
    fs::remove(cal);

    CtlResult r = RunCtl(Ctl({"adjust", "show"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 20);
    EXPECT_EQ(r.out.find("1 0_5V maker=0,0 user=0,0 select=0\n"), 0u) << r.out;
    EXPECT_NE(r.out.find("\n1 4_20mA maker=3,5 user=-2,-2 select=2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n2 0_10V maker=0,0 user=7,-8 select=1\n"), std::string::npos) << r.out;
    r = RunCtl(Ctl({"adjust", "show", "2"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10);
    EXPECT_EQ(r.out.find("1 "), std::string::npos);

    // Only what is given changes; values beyond the dialog's bounds are held.
    r = RunCtl(Ctl({"adjust", "set", "2", "0_10V", "--min", "-5", "--max", "250", "--store"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2 0_10V user=0,200 select=1 stored\n");
    EXPECT_NE(r.err.find("--min -5 held at 0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--max 250 held at 200"), std::string::npos) << r.err;
    EXPECT_NE(SimLines("stored 2", 10).find("2 0_10V maker=0,0 user=0,200 select=1"), std::string::npos);
    r = RunCtl(Ctl({"adjust", "set", "1", "5", "--select", "0"}));
    EXPECT_EQ(r.out, "1 4_20mA user=-2,-2 select=0\n");
    EXPECT_NE(SimLines("cal 1", 10).find("1 4_20mA maker=3,5 user=-2,-2 select=0"), std::string::npos);
    EXPECT_NE(SimLines("stored 1", 10).find("1 4_20mA maker=3,5 user=-2,-2 select=2"), std::string::npos);

    // A test output with the unit's own corrections where none are given,
    // left on as asked.
    r = RunCtl(Ctl({"adjust", "test", "1", "4_20mA", "--point", "2", "--max", "-7.9", "--leave-on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 upper 4_20mA min=-2 max=-7\n");
    EXPECT_EQ(SimLines("test 1", 1), "1 upper 4_20mA min=-2 max=-7\n");
    EXPECT_EQ(RunCtl(Ctl({"adjust", "test", "1", "4_20mA", "--point", "0"})).out, "1 off\n");

    r = RunCtl(Ctl({"adjust", "init", "--yes"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(SimLines("cal 1", 10).find("1 4_20mA maker=3,5 user=0,0 select=0"), std::string::npos);
    EXPECT_EQ(RunCtl(Ctl({"adjust", "show", "3"})).exitCode, 2);

    // Damaged replies are told apart from a unit that does not answer.
    Sim("length short");
    r = RunCtl(Ctl({"adjust", "set", "1", "4_20mA", "--select", "2"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("A communication error occurred (channel 1, int. 4-20 mA, user read damaged replies)"),
              std::string::npos)
        << r.err;
}

// A test output drives the end of a range while the operator reads the
// meter; whatever ends the hold, the unit is left with no test output and
// the command says so.
TEST_F(CtlUnitTest, AdjustTestHoldsTheOutputUntilItIsEndedThenSwitchesItOff)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    const std::vector<std::string> test = {"adjust", "test", "1", "4_20mA", "--point", "2", "--max", "5"};
    const auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = test;
        args.insert(args.end(), more.begin(), more.end());
        return Ctl(args);
    };
    std::string out, err;

    // From a script: held until its standard input ends.
    {
        CtlProcess run;
        ASSERT_TRUE(run.StartWithInput(Ctl(test)));
        EXPECT_EQ(run.ReadLine().value_or("(none)"), "1 upper 4_20mA min=0 max=5");
        EXPECT_EQ(SimLines("test 1", 1), "1 upper 4_20mA min=0 max=5\n");
        run.CloseInput();
        EXPECT_EQ(run.Finish(out, err), 0) << err;
        EXPECT_EQ(out, "1 off\n");
        EXPECT_NE(err.find("holding the test output until standard input ends, SIGINT or SIGTERM"), std::string::npos)
            << err;
        EXPECT_EQ(SimLines("test 1", 1), "1 off\n");
    }
    // SIGINT and SIGTERM end it the same way, and so do a closed terminal
    // (SIGHUP) and Ctrl-\ (SIGQUIT), which would otherwise end the command
    // with the unit still driving.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        CtlProcess run;
        ASSERT_TRUE(run.StartWithInput(Ctl(test)));
        EXPECT_EQ(run.ReadLine().value_or("(none)"), "1 upper 4_20mA min=0 max=5");
        EXPECT_EQ(SimLines("test 1", 1), "1 upper 4_20mA min=0 max=5\n");
        run.Signal(sig);
        EXPECT_EQ(run.Finish(out, err), 0) << sig << err;
        EXPECT_EQ(out, "1 off\n") << sig;
        EXPECT_EQ(SimLines("test 1", 1), "1 off\n") << sig;
    }
    // On a terminal, Enter ends it.
    {
        PseudoTerminal tty;
        ASSERT_TRUE(tty.Ok());
        CtlProcess run;
        ASSERT_TRUE(run.StartOnTerminal(Ctl(test), tty.SlavePath()));
        EXPECT_EQ(run.ReadLine().value_or("(none)"), "1 upper 4_20mA min=0 max=5");
        EXPECT_EQ(SimLines("test 1", 1), "1 upper 4_20mA min=0 max=5\n");
        ASSERT_TRUE(tty.Send("\n"));
        EXPECT_EQ(run.Finish(out, err), 0) << err;
        EXPECT_EQ(out, "1 off\n");
        EXPECT_NE(err.find("Enter, SIGINT or SIGTERM switches it off"), std::string::npos) << err;
        EXPECT_EQ(SimLines("test 1", 1), "1 off\n");
    }
    // --seconds holds for that long even with nothing on standard input.
    {
        CtlProcess run;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(run.Start(with({"--seconds", "1"})));
        EXPECT_EQ(run.ReadLine().value_or("(none)"), "1 upper 4_20mA min=0 max=5");
        EXPECT_EQ(run.Finish(out, err), 0) << err;
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
        EXPECT_EQ(out, "1 off\n");
        EXPECT_NE(err.find("for 1 s; SIGINT or SIGTERM"), std::string::npos) << err;
        EXPECT_EQ(SimLines("test 1", 1), "1 off\n");
    }
    // Without --seconds, an input that has already ended ends it at once.
    CtlResult r = RunCtl(Ctl(test));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 upper 4_20mA min=0 max=5\n1 off\n");
    EXPECT_EQ(SimLines("test 1", 1), "1 off\n");

    // --leave-on leaves it driving and says how to end it.
    r = RunCtl(with({"--leave-on"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 upper 4_20mA min=0 max=5\n");
    EXPECT_NE(r.err.find("end it with: velmoractl --port " + m_device + " adjust test 1 4_20mA --point 0"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(SimLines("test 1", 1), "1 upper 4_20mA min=0 max=5\n");
}

TEST_F(CtlUnitTest, CalibrationExportAndImportKeepTheCorrectionsInTheirFile)
{
    ASSERT_TRUE(
        StartSim({"--channels", "2", "--maker", "1:5:0003:8005", "--user", "2:10:FFF0:8010", "--select", "2:10:2"}));
    const std::string file = (m_dir / "VK2A0001_R.txt").string();
    CtlResult r = RunCtl(Ctl({"calibration", "export", file, "--serial", "VK2A0001"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = Slurp(file);
    EXPECT_EQ(text.find("VK2A0001,\r\n1,0,0_5V,"), 0u) << text;
    EXPECT_NE(text.find("\r\n1,5,4_20mA,3,5,0,0,0,\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n2,10,1_5V,0,0,-16,16,2,\r\n"), std::string::npos) << text;

    // Another unit's file is refused before anything is sent; this unit's
    // file goes back and is stored.
    Sim("reset");
    r = RunCtl(Ctl({"calibration", "import", file, "--serial", "VK2A0002"}));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("result 2"), std::string::npos) << r.err;
    r = RunCtl(Ctl({"calibration", "import", file, "--serial", "VK2A0001"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(SimLines("stored 2", 10).find("2 1_5V maker=0,0 user=-16,16 select=2"), std::string::npos);
    EXPECT_NE(SimLines("cal 1", 10).find("1 4_20mA maker=3,5 user=0,0 select=0"), std::string::npos);
    EXPECT_EQ(RunCtl(Ctl({"calibration", "export", file})).exitCode, 2);
}

TEST_F(CtlUnitTest, MonitorPrintsAlarmAndMarkChanges)
{
    ASSERT_TRUE(StartSim({"--channels", "2", "--select", "2:0:1"}));
    CtlProcess monitor;
    ASSERT_TRUE(monitor.Start(Ctl({"monitor", "--seconds", "1"})));
    // The first reply of channel 2 shows its maker adjustment; channel 1
    // has nothing to show.
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "2 alarm= mark=M");
    Sim("alarm 2 0004");
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "2 alarm=出力不足 mark=M");
    std::string out, err;
    EXPECT_EQ(monitor.Finish(out, err), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(CtlUnitTest, MonitorStopsOnSigtermAndGivesUpASilentUnit)
{
    ASSERT_TRUE(StartSim({"--silent"}));
    CtlProcess monitor;
    ASSERT_TRUE(monitor.Start(Ctl({"monitor"})));
    // 100 unanswered requests at one every 50 ms.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "The connection was released.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4900));
    std::string out, err;
    EXPECT_EQ(monitor.Finish(out, err), 1);
    EXPECT_EQ(LogCountReaching("< <STX>R1", 100), 100u);

    // A monitor of a unit that answers runs until it is told to stop.
    Sim("silent off");
    CtlProcess endless;
    ASSERT_TRUE(endless.Start(Ctl({"monitor"})));
    // Its first poll shows it is running with the stop signals in its hands.
    ASSERT_EQ(LogCountReaching("< <STX>R1", 101), 101u);
    endless.Signal(SIGTERM);
    EXPECT_EQ(endless.Finish(out, err), 0) << err;
}

TEST_F(CtlUnitTest, AutoStepsASawtoothUntilItsRepeatsThenWritesEveryOutputOff)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    // 0 to 1 V in steps of 0.5 every 0.1 s, twice.
    const std::string settings = WriteSettings({velmora::kAutoSawtooth, 2, 0.0, 1.0, 0.5, 1});
    const CtlResult r = RunCtl(Ctl({"auto", "1", "--settings", settings, "--on"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "t=0.0 value=0.000 cycle=0\n"
              "t=0.1 value=0.500 cycle=0\n"
              "t=0.2 value=1.000 cycle=0\n"
              "t=0.3 value=0.000 cycle=1\n"
              "t=0.4 value=0.500 cycle=1\n"
              "t=0.5 value=1.000 cycle=1\n"
              "t=0.6 value=0.000 cycle=2\n");
    EXPECT_EQ(r.err, "");
    // The unit followed on 0-10 V with its output on, and the end switched
    // every output off.
    const std::string log = Slurp(m_log);
    EXPECT_TRUE(std::regex_search(log, std::regex("<STX>W101[0-9A-F]{4}1[0-9A-F]{3}"))) << log;
    EXPECT_EQ(SimOutput(1), "1 range=1 code=0000 value=0.000 off");
}

TEST_F(CtlUnitTest, AutoReadsAnArbitraryTableFromACsvFile)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    const std::string settings = WriteSettings({velmora::kAutoArbitrary, 1, 0.0, 0.0, 0.0, 10});
    const std::string csv = WriteFile("rows.csv", "2,0.2\r\n\"5\", 0.1\r\n");
    const CtlResult r = RunCtl(Ctl({"auto", "1", "--settings", settings, "--csv", csv}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "t=0.0 value=2.000 cycle=0 row=1\n"
              "t=0.2 value=5.000 cycle=0 row=2\n"
              "t=0.3 value=2.000 cycle=1 row=1\n");

    // A table the check refuses: its message, and the unit not even asked.
    const std::string half = WriteFile("half.csv", "1,0.5\n2\n");
    const std::size_t before = Slurp(m_log).size();
    const CtlResult refused = RunCtl(Ctl({"auto", "1", "--settings", settings, "--csv", half}));
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("Some data is missing"), std::string::npos) << refused.err;
    EXPECT_EQ(Slurp(m_log).size(), before);
    // A settings file that is not there is refused before the unit is touched.
    EXPECT_EQ(RunCtl(Ctl({"auto", "1", "--settings", (m_dir / "none.ini").string()})).exitCode, 3);

    // A table named for a ramp's slot is a usage error that names the mode,
    // before the unit is asked anything.
    const std::size_t asked = Slurp(m_log).size();
    const std::string ramp = WriteSettings({velmora::kAutoTriangle, 1, 0.0, 1.0, 0.5, 1});
    const CtlResult wrong = RunCtl(Ctl({"auto", "1", "--settings", ramp, "--csv", csv}));
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("--csv reads an arbitrary table, but channel 1 is set to Triangle"), std::string::npos)
        << wrong.err;
    EXPECT_EQ(Slurp(m_log).size(), asked);

    // An empty table does not start, and says which row is missing.
    const std::string empty = WriteSettings({velmora::kAutoArbitrary, 1, 0.0, 0.0, 0.0, 10});
    const CtlResult none = RunCtl(Ctl({"auto", "1", "--settings", empty}));
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_NE(none.err.find("channel 1: Row 1 of the arbitrary table is not in use"), std::string::npos) << none.err;
}

TEST_F(CtlUnitTest, AutoRunsSeveralChannelsUntilTheLastOneStops)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    // Channel 1 rises 0 to 1 V once; channel 2 falls 1 to 0 V twice, so the
    // run must go on after channel 1 has stopped.
    const std::string settings = WriteSettings({velmora::kAutoSawtooth, 1, 0.0, 1.0, 0.5, 1},
                                               velmora::AutoOutputSlot{velmora::kAutoSawtooth, 2, 1.0, 0.0, 0.5, 1});
    // A channel the unit does not have is refused before any output moves.
    const CtlResult missing = RunCtl(Ctl({"auto", "1,3", "--settings", settings, "--on"}));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("channel 3 is not one of them"), std::string::npos) << missing.err;

    const CtlResult r = RunCtl(Ctl({"auto", "1,2", "--settings", settings, "--on"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Started in the order named, and in each tick stepped in channel order.
    EXPECT_EQ(r.out,
              "1 t=0.0 value=0.000 cycle=0\n"
              "2 t=0.0 value=1.000 cycle=0\n"
              "1 t=0.1 value=0.500 cycle=0\n"
              "2 t=0.1 value=0.500 cycle=0\n"
              "1 t=0.2 value=1.000 cycle=0\n"
              "2 t=0.2 value=0.000 cycle=0\n"
              "1 t=0.3 value=0.000 cycle=1\n"
              "2 t=0.3 value=1.000 cycle=1\n"
              "2 t=0.4 value=0.500 cycle=1\n"
              "2 t=0.5 value=0.000 cycle=1\n"
              "2 t=0.6 value=1.000 cycle=2\n");
    EXPECT_EQ(r.err, "");
    // Both channels were switched on at 0-10 V, and both are off at the end.
    const std::string log = Slurp(m_log);
    EXPECT_TRUE(std::regex_search(log, std::regex("<STX>W101[0-9A-F]{4}1[0-9A-F]{3}"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("<STX>W201[0-9A-F]{4}1[0-9A-F]{3}"))) << log;
    EXPECT_EQ(SimOutput(1), "1 range=1 code=0000 value=0.000 off");
    EXPECT_EQ(SimOutput(2), "2 range=1 code=199A value=1.000 off");
}

TEST_F(CtlUnitTest, AutoEndsCleanlyOnSigterm)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    const std::string settings = WriteSettings({velmora::kAutoTriangle, 0, 0.0, 10.0, 1.0, 1});
    CtlProcess run;
    ASSERT_TRUE(run.Start(Ctl({"auto", "1", "--settings", settings, "--on"})));
    EXPECT_EQ(run.ReadLine().value_or("(none)"), "t=0.0 value=0.000 cycle=0");
    EXPECT_EQ(run.ReadLine().value_or("(none)"), "t=0.1 value=1.000 cycle=0");
    run.Signal(SIGTERM);
    std::string out, err;
    EXPECT_EQ(run.Finish(out, err), 0) << err;
    const std::string shown = SimOutput(1);
    EXPECT_TRUE(shown.starts_with("1 range=1 ") && shown.ends_with(" off")) << shown;

    // A closed terminal ends it as cleanly.
    CtlProcess hungUp;
    ASSERT_TRUE(hungUp.Start(Ctl({"auto", "1", "--settings", settings, "--on"})));
    EXPECT_EQ(hungUp.ReadLine().value_or("(none)"), "t=0.0 value=0.000 cycle=0");
    hungUp.Signal(SIGHUP);
    EXPECT_EQ(hungUp.Finish(out, err), 0) << err;
    const std::string after = SimOutput(1);
    EXPECT_TRUE(after.ends_with(" off")) << after;
}

namespace {

// `velmoractl serve` holding the simulator's port, as the window would: the
// commands then go through it. Sockets go to a folder of this test alone,
// so that a Velmora the developer runs is never found.
class CtlThroughServeTest : public CtlUnitTest {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/vctl-XXXXXX"; // short: a socket's path holds 108 bytes
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_runtime = folder;
        if (const char* before = std::getenv("XDG_RUNTIME_DIR"))
            m_runtimeBefore = before;
        setenv("XDG_RUNTIME_DIR", folder, 1);
    }
    void TearDown() override
    {
        m_serve.Stop(SIGTERM);
        if (m_runtimeBefore)
            setenv("XDG_RUNTIME_DIR", m_runtimeBefore->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        fs::remove_all(m_runtime, ec);
        CtlUnitTest::TearDown();
    }

    // Starts the server on the simulator's port; true once its socket is
    // there and it has polled every channel: what it answers of a channel
    // is the unit's last status reply.
    bool StartServe(int channels)
    {
        const auto socket = velmora::remote::LocalSocketPath(m_device);
        const std::string last = "< <STX>R" + std::to_string(channels);
        const std::size_t polled = LogCountReaching(last, 0);
        if (!socket || !m_serve.StartIn(Ctl({"serve"}), m_dir.string()))
            return false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
        while (!fs::exists(*socket) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // The last channel's second request follows the first one's reply.
        return fs::exists(*socket) && LogCountReaching(last, polled + 2) >= polled + 2;
    }

    // What the simulator last received for channel `ch`, once `done` takes
    // it (the line may still be carrying the frame).
    template <typename Done> std::string SimOutputOnce(int ch, Done done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
        std::string shown;
        while (!done(shown = SimOutput(ch)) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return shown;
    }
    std::string SimOutputBecomes(int ch, const std::string& expected)
    {
        return SimOutputOnce(ch, [&expected](const std::string& shown) { return shown == expected; });
    }

    fs::path m_runtime;
    std::optional<std::string> m_runtimeBefore;
    CtlProcess m_serve;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Whether every line of `got` is one of `all`, in their order.
bool IsSubsequence(const std::vector<std::string>& got, const std::vector<std::string>& all)
{
    auto at = all.begin();
    for (const std::string& line : got) {
        at = std::find(at, all.end(), line);
        if (at == all.end())
            return false;
        ++at;
    }
    return true;
}

} // namespace

TEST_F(CtlThroughServeTest, TheUnitsAnswersAreTheSameAsWhenTheCommandOpensThePort)
{
    ASSERT_TRUE(
        StartSim({"--channels", "2", "--maker", "1:5:0003:8005", "--user", "1:5:FFFE:7FFE", "--select", "2:0:1"}));
    Sim("alarm 1 0005");
    // The server runs in English; the last report is asked in Japanese, and
    // is built again in it rather than taken in the server's language.
    const std::vector<std::vector<std::string>> commands = {
        Ctl({"version"}),     Ctl({"channels"}), Ctl({"status"}),
        Ctl({"status", "2"}), Ctl({"report"}),   {"--lang", "ja", "--port", m_device, "report"}};
    std::vector<CtlResult> direct;
    for (const auto& c : commands) {
        direct.push_back(RunCtl(c));
        ASSERT_EQ(direct.back().exitCode, 0) << c[4] << direct.back().err;
    }
    ASSERT_NE(direct[2].out.find("1 range=0 status=0005 ext=0000 adjust=0 alarm=出力部高温\n"), std::string::npos);
    ASSERT_NE(direct[5].out.find("回路数\t2\r\n"), std::string::npos);

    ASSERT_TRUE(StartServe(2));
    for (std::size_t k = 0; k < commands.size(); ++k) {
        const CtlResult through = RunCtl(commands[k]);
        EXPECT_EQ(through.exitCode, 0) << commands[k][4] << through.err;
        EXPECT_EQ(through.out, direct[k].out) << commands[k][4];
        EXPECT_EQ(through.err, "") << commands[k][4];
    }

    // A channel the unit does not have, as when the unit does not answer it.
    const CtlResult missing = RunCtl(Ctl({"status", "3"}));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find(m_device + ": channel 3 did not answer"), std::string::npos) << missing.err;

    // What needs the port to itself is refused at once.
    for (const std::vector<std::string>& held :
         {std::vector<std::string>{"adjust", "show"},
          {"calibration", "export", (m_dir / "c.txt").string(), "--serial", "VK1"}}) {
        const CtlResult r = RunCtl(Ctl(held));
        EXPECT_EQ(r.exitCode, 1) << held[0];
        EXPECT_EQ(r.out, "") << held[0];
        EXPECT_NE(r.err.find(m_device + " is held by a running Velmora: use its window, or stop velmoractl serve"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(CtlThroughServeTest, SetChangesWhatTheUnitHoldsAndSaysWhatTheServerRefused)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    ASSERT_TRUE(StartServe(2));
    CtlResult r = RunCtl(Ctl({"set", "1", "--range", "5", "--value", "12", "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(SimOutputBecomes(1, "1 range=5 code=8000 value=12.000 on"), "1 range=5 code=8000 value=12.000 on");
    // Another range while the output is on: off first, then the range; the
    // value held to its limit.
    r = RunCtl(Ctl({"set", "1", "--range", "0_10V", "--value", "12.5"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(SimOutputBecomes(1, "1 range=1 code=FFFF value=10.000 off"), "1 range=1 code=FFFF value=10.000 off");
    // Decimals cut, not rounded, on the client as directly: 3.1419 V -> 3.141 V.
    r = RunCtl(Ctl({"set", "2", "--range", "1", "--value", "3.1419", "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(SimOutputBecomes(2, "2 range=1 code=5069 value=3.141 on"), "2 range=1 code=5069 value=3.141 on");
    EXPECT_EQ(r.out, "");

    r = RunCtl(Ctl({"set", "3", "--range", "1"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("-114,\"Header suffix out of range;the unit has 2 channels\""), std::string::npos) << r.err;
}

TEST_F(CtlThroughServeTest, MonitorFollowsTheServerAndEndsWhenItGoes)
{
    ASSERT_TRUE(StartSim({"--channels", "2", "--select", "2:0:1"}));
    ASSERT_TRUE(StartServe(2));
    CtlProcess monitor;
    ASSERT_TRUE(monitor.Start(Ctl({"monitor"})));
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "2 alarm= mark=M");
    Sim("alarm 2 0004");
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "2 alarm=出力不足 mark=M");
    // The server goes: the monitor ends as with a lost unit.
    m_serve.Stop(SIGTERM);
    EXPECT_EQ(monitor.ReadLine().value_or("(none)"), "The connection was released.");
    std::string out, err;
    EXPECT_EQ(monitor.Finish(out, err), 1);
}

TEST_F(CtlThroughServeTest, AutoStepsOnTheServerAndEndsWithTheOutputsOff)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    // The same run directly first: its lines are what the server's steps show.
    const std::string list = WriteSettings({velmora::kAutoArbitrary, 1, 0.0, 0.0, 0.0, 10});
    const std::string csv = WriteFile("rows.csv", "2,0.2\r\n5,0.1\r\n");
    const CtlResult directList = RunCtl(Ctl({"auto", "1", "--settings", list, "--csv", csv, "--on"}));
    ASSERT_EQ(directList.exitCode, 0) << directList.err;
    ASSERT_EQ(directList.out,
              "t=0.0 value=2.000 cycle=0 row=1\nt=0.2 value=5.000 cycle=0 row=2\n"
              "t=0.3 value=2.000 cycle=1 row=1\n");

    ASSERT_TRUE(StartServe(2));
    CtlResult r = RunCtl(Ctl({"auto", "1", "--settings", list, "--csv", csv, "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // A step shorter than the time between two answers may go unprinted
    // on a busy machine; the start and the end never do.
    const std::vector<std::string> expected = Lines(directList.out);
    const std::vector<std::string> got = Lines(r.out);
    EXPECT_TRUE(IsSubsequence(got, expected)) << r.out;
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), expected.front());
    EXPECT_EQ(got.back(), expected.back());
    EXPECT_EQ(SimOutputBecomes(1, "1 range=1 code=3333 value=2.000 off"), "1 range=1 code=3333 value=2.000 off");

    // The slot that was a list becomes a ramp again; it runs until the
    // time is up, on both channels, and both end off.
    const std::string ramp = WriteSettings({velmora::kAutoTriangle, 0, 0.0, 10.0, 1.0, 1},
                                           velmora::AutoOutputSlot{velmora::kAutoSawtooth, 0, 1.0, 0.0, 0.5, 2});
    r = RunCtl(Ctl({"auto", "1,2", "--settings", ramp, "--on", "--seconds", "1"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "1 t=0.0 value=0.000 cycle=0");
    EXPECT_EQ(lines[1], "2 t=0.0 value=1.000 cycle=0");
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "1 t=0.1 value=1.000 cycle=0") != lines.end() ||
                std::find(lines.begin(), lines.end(), "1 t=0.2 value=2.000 cycle=0") != lines.end())
        << r.out;
    const auto off = [](const std::string& shown) { return shown.ends_with(" off"); };
    EXPECT_TRUE(SimOutputOnce(1, off).starts_with("1 range=1 "));
    EXPECT_TRUE(SimOutputOnce(2, off).starts_with("2 range=1 "));
    const CtlResult states = RunCtl(Ctl({"scpi", "SOUR1:AUTO:STAT?;:SOUR2:AUTO:STAT?;:OUTP1?;:OUTP2?"}));
    EXPECT_EQ(states.out, "STOP;STOP;0;0\n") << states.err;

    // The direct command's refusals, in its words and with its statuses.
    r = RunCtl(Ctl({"auto", "1,3", "--settings", ramp}));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("the unit has 2 channel(s); channel 3 is not one of them"), std::string::npos) << r.err;
    const std::string empty = WriteSettings({velmora::kAutoArbitrary, 1, 0.0, 0.0, 0.0, 10});
    r = RunCtl(Ctl({"auto", "1", "--settings", empty}));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("channel 1: Row 1 of the arbitrary table is not in use"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(CtlUnitArguments, BadArgumentsAreRefusedBeforeThePortIsOpened)
{
    const std::vector<std::vector<std::string>> bad = {
        {"set"},
        {"set", "5", "--range", "5"},
        {"set", "1"},
        {"set", "1", "--range", "4_20"},
        {"set", "1", "--range", "16"},
        {"set", "1", "--range", "5", "--value", "nan"},
        {"set", "1", "--range", "5", "--on", "--off"},
        {"status", "0"},
        {"report", "now"},
        {"monitor", "--seconds", "0"},
        {"monitor", "--seconds"},
        {"auto", "--settings", "s.ini"},
        {"auto", "5", "--settings", "s.ini"},
        {"auto", "1"},
        {"auto", "1", "--settings", "s.ini", "--seconds", "-3"},
        {"auto", "1", "--settings", "s.ini", "--csv"},
        {"auto", "1", "2", "--settings", "s.ini"},
        {"auto", "1,1", "--settings", "s.ini"},
        {"auto", "1,", "--settings", "s.ini"},
        {"auto", "2,5", "--settings", "s.ini"},
        {"adjust"},
        {"adjust", "show", "5"},
        {"adjust", "set", "1"},
        {"adjust", "set", "1", "4"},
        {"adjust", "set", "1", "USER"},
        {"adjust", "set", "1", "0_5V"},
        {"adjust", "set", "1", "0_5V", "--select", "3"},
        {"adjust", "set", "1", "0_5V", "--min", "nan"},
        {"adjust", "set", "1", "0_5V", "--max", "12x"},
        {"adjust", "test", "1", "0_5V"},
        {"adjust", "test", "1", "0_5V", "--point", "3"},
        {"adjust", "test", "1", "0_5V", "--point", "1", "--seconds", "0"},
        {"adjust", "test", "1", "0_5V", "--point", "1", "--seconds", "2", "--leave-on"},
        {"adjust", "set", "1", "0_5V", "--leave-on"},
        {"adjust", "init"},
    };
    // All at once: each run only parses its arguments.
    std::vector<CtlProcess> runs(bad.size());
    for (std::size_t k = 0; k < bad.size(); ++k) {
        auto args = bad[k];
        args.insert(args.begin(), {"--port", "/nonexistent/velmora-port"});
        ASSERT_TRUE(runs[k].Start(args));
    }
    for (std::size_t k = 0; k < bad.size(); ++k) {
        std::string shown;
        for (const auto& a : bad[k])
            shown += a + " ";
        std::string out, err;
        EXPECT_EQ(runs[k].Finish(out, err), 2) << shown << err;
        EXPECT_NE(err.find("usage: velmoractl --port PATH " + bad[k][0]), std::string::npos) << shown << err;
        EXPECT_EQ(out, "") << shown;
    }
    // Without --port the unit commands are refused too.
    EXPECT_EQ(RunCtl({"status"}).exitCode, 2);
}

// What velmoractl sends is in the run record, and `record` reads it back:
// show, a filter, the CSV export, follow while another command writes, and
// the refusals.
TEST_F(CtlUnitTest, TheRunRecordKeepsWhatWasSentAndGivesItBack)
{
    ASSERT_TRUE(StartSim({"--channels", "2"}));
    const std::string record = (m_dir / "state" / "record.sqlite3").string();
    const char* before = std::getenv("VELMORA_RECORD");
    const std::string saved = before != nullptr ? before : "";
    setenv("VELMORA_RECORD", record.c_str(), 1);

    CtlResult r = RunCtl(Ctl({"set", "1", "--range", "4_20mA", "--value", "12", "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Not recorded when asked not to, wherever the option stands.
    r = RunCtl(Ctl({"set", "2", "--range", "0_10V", "--value", "3", "--no-record"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string settings = WriteSettings({velmora::kAutoSawtooth, 1, 0.0, 1.0, 0.5, 1});
    r = RunCtl(Ctl({"auto", "1", "--settings", settings, "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;

    r = RunCtl({"--lang", "en", "record", "show", "--kind", "settings", "--channel", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);)
        shown.push_back(line);
    ASSERT_GE(shown.size(), 4u) << r.out;
    EXPECT_NE(shown[0].find(" ctl settings channel=1 range=4_20mA value=12 unit=mA on=true code=32768"),
              std::string::npos)
        << shown[0];
    // The automatic output's steps are its own; the last frame wrote it off.
    EXPECT_NE(r.out.find(" auto settings channel=1 range=0_10V value=0.5 unit=V on=true"), std::string::npos) << r.out;
    EXPECT_NE(shown.back().find("on=false"), std::string::npos) << shown.back();
    EXPECT_EQ(r.out.find("channel=2"), std::string::npos);
    EXPECT_EQ(r.out.find("value=3 "), std::string::npos) << "--no-record kept out of the record";

    const fs::path csv = m_dir / "runs.csv";
    r = RunCtl({"--lang", "en", "record", "export", csv.string(), "--kind", "auto,connect"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = Slurp(csv);
    EXPECT_EQ(text.rfind("seq,time,source,kind,channel,range,value,unit,eng,on,code,raised,text,peer,action,", 0), 0u);
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\r\n\d+,20\d\d-\d\d-\d\dT[0-9:.]{15}Z,ctl,connect,)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(,ctl,auto,1,.*,start,)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(,auto,auto,1,.*,end,)"))) << text;

    // follow prints what another command records while it runs.
    CtlProcess follow;
    ASSERT_TRUE(follow.Start({"record", "follow", "--json", "--kind", "settings"}));
    const auto recent = follow.ReadLine(); // the last ten first, as tail -f
    ASSERT_TRUE(recent.has_value());
    r = RunCtl(Ctl({"set", "1", "--range", "4_20mA", "--value", "7.5", "--on"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::optional<std::string> line;
    while ((line = follow.ReadLine()) && line->find("\"value\": 7.5") == std::string::npos) { }
    ASSERT_TRUE(line.has_value()) << "follow did not print the new event";
    EXPECT_NE(line->find("\"source\": \"ctl\", \"kind\": \"settings\", \"channel\": 1"), std::string::npos) << *line;
    EXPECT_EQ(follow.Stop(SIGTERM), 0);

    // Refusals: usage is 2, a record that is missing or someone else's is 3.
    EXPECT_EQ(RunCtl({"record", "show", "--channel", "5"}).exitCode, 2);
    EXPECT_EQ(RunCtl({"record", "show", "--kind", "settings,coffee"}).exitCode, 2);
    EXPECT_EQ(RunCtl({"record", "show", "--since", "-1h", "--until", "-2h"}).exitCode, 2);
    EXPECT_EQ(RunCtl({"record", "export", (m_dir / "x.txt").string()}).exitCode, 2);
    EXPECT_EQ(RunCtl(Ctl({"--record-limit", "10", "set", "1", "--range", "4_20mA"})).exitCode, 2);
    setenv("VELMORA_RECORD", (m_dir / "none.sqlite3").c_str(), 1);
    r = RunCtl({"--lang", "en", "record", "show"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("no run record has been written yet"), std::string::npos) << r.err;
    const std::string notes = WriteFile("notes.sqlite3", "not a database at all, and it must stay so");
    setenv("VELMORA_RECORD", notes.c_str(), 1);
    EXPECT_EQ(RunCtl({"record", "show"}).exitCode, 3);
    r = RunCtl(Ctl({"set", "1", "--range", "4_20mA", "--value", "4"}));
    EXPECT_EQ(r.exitCode, 0) << "a bad record costs the record, not the command: " << r.err;
    EXPECT_NE(r.err.find("not a run record"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(notes), "not a database at all, and it must stay so");

    setenv("VELMORA_RECORD", saved.c_str(), 1);
}
