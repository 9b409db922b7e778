// The window against velmora-sim for a long run under faults, the way a unit
// on a bad cable and an operator who keeps reconnecting would treat it:
//   velmora-soak SIM SECONDS WORKDIR
// SIM is velmora-sim; it is started with WORKDIR/unit as its link path and
// restarted on the same path after it is killed. Both channels step an
// automatic output every 0.1 s. A schedule of faults repeats every minute:
// junk lines, wrong checksums, wrong lengths, 600-byte floods and
// announcements, silence long enough for the lost-unit watch, and the unit
// killed (SIGKILL) and started again. After each loss the soak connects
// again through the panel's own connect, switches the outputs back on and
// starts the automatic outputs, as an operator would.
//
// Prints lost-unit events, reconnects, frames the unit received, failed
// connects, and resident memory at start, after the first minute and at the
// end. Exits 1 when the window hung (no event loop for 15 s), when it stayed
// disconnected for longer than any fault lasts, or when resident memory grew
// by more than 1 MB from 5 s after the start to the end.
//
// Threads: the UI thread runs the window and the schedule; a watchdog thread
// only reads the heartbeat the UI thread stores.
#include <QApplication>
#include <QDir>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AutoBench.h"
#include "BenchPrompter.h"
#include "BenchUtil.h"
#include "app/AppSetup.h"
#include "app/CVelmoraApp.h"
#include "panel/CVelmoraView.h"
#include "panelcore/PanelTexts.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

// AddressSanitizer keeps freed memory in quarantine (256 MB by default), so
// resident memory under it grows whatever the program does: there the run
// checks for reports and leaks, and the release build for growth.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryJudged = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryJudged = false;
#else
constexpr bool kMemoryJudged = true;
#endif
#else
constexpr bool kMemoryJudged = true;
#endif

// velmora-sim as a child: commands on its standard input, its output to a
// file nobody needs to read, its log appended across restarts.
class Simulator {
public:
    Simulator(std::string program, std::string dir)
        : m_strProgram(std::move(program)),
          m_strLink(dir + "/unit"),
          m_strLog(dir + "/sim.log"),
          m_strOut(dir + "/sim.out")
    {
    }
    ~Simulator() { Kill(); }

    bool Start()
    {
        int in[2];
        if (::pipe2(in, O_CLOEXEC) != 0)
            return false;
        const pid_t pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            const int out = ::open(m_strOut.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(in[0], 0);
            if (out >= 0)
                ::dup2(out, 1);
            const char* argv[] = {m_strProgram.c_str(), "--channels", "2", "--link", m_strLink.c_str(), "--log",
                                  m_strLog.c_str(),     nullptr};
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(in[0]);
        m_nPid = pid;
        m_nStdin = in[1];
        // Serving once the link names a device that exists.
        for (int i = 0; i < 500; ++i) {
            struct stat st { };
            if (::stat(m_strLink.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void Command(const std::string& line)
    {
        if (m_nStdin < 0)
            return;
        const std::string text = line + "\n";
        if (::write(m_nStdin, text.data(), text.size()) < 0)
            std::fprintf(stderr, "soak: the simulator took no command: %s\n", std::strerror(errno));
    }

    void Kill()
    {
        if (m_nPid > 0) {
            ::kill(m_nPid, SIGKILL);
            ::waitpid(m_nPid, nullptr, 0);
        }
        if (m_nStdin >= 0)
            ::close(m_nStdin);
        m_nPid = -1;
        m_nStdin = -1;
    }

    bool Alive() const { return m_nPid > 0; }
    const std::string& Link() const { return m_strLink; }

    // Lines the unit received, over every run.
    long ReceivedLines() const
    {
        std::ifstream log(m_strLog);
        long n = 0;
        for (std::string line; std::getline(log, line);)
            if (line.find(" < ") != std::string::npos)
                ++n;
        return n;
    }

private:
    std::string m_strProgram, m_strLink, m_strLog, m_strOut;
    pid_t m_nPid = -1;
    int m_nStdin = -1;
};

double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// One minute of faults; each step at its second within the minute.
struct Step {
    int second;
    enum Kind { Command, Quiet, Loud, KillUnit, RestartUnit } kind;
    const char* command = "";
};

const std::vector<Step>& Schedule()
{
    static const std::vector<Step> steps = {
        {8, Step::Command, "garbage on"},
        {10, Step::Command, "garbage off"},
        {13, Step::Command, "bad-checksum on"},
        {15, Step::Command, "bad-checksum off"},
        {18, Step::Command, "length short"},
        {20, Step::Command, "length long"},
        {22, Step::Command, "length off"},
        {25, Step::Command, "flood 600"},
        {26, Step::Command, "flood 600"},
        {27, Step::Command, "announce"},
        {28, Step::Command, "flood 600"},
        {30, Step::Command, "announce"},
        // 100 unanswered polls at one a tick: lost after 5 s.
        {32, Step::Quiet, "silent on"},
        {39, Step::Loud, "silent off"},
        {46, Step::KillUnit},
        {47, Step::RestartUnit},
    };
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora-soak SIM SECONDS WORKDIR\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    if (!(seconds >= 1)) {
        std::fprintf(stderr, "soak: SECONDS is a number of at least 1\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    Simulator sim(argv[1], argv[3]);
    if (!sim.Start()) {
        std::fprintf(stderr, "soak: %s did not start\n", argv[1]);
        return 1;
    }

    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    InstallTranslations(app);
    QDir::setCurrent(QString::fromLocal8Bit(argv[3]));
    BenchPrompter prompter(false);
    CVelmoraApp velmora(prompter, SteadyClock(), [] { return std::optional<std::string>(); });
    AppOptions options;
    options.ports = {sim.Link()};
    if (!velmora.InitInstance(options))
        return 1;
    CVelmoraView& view = *velmora.View();
    CVelmoraDoc& doc = *velmora.Document();
    ConfigureAutoBench(doc);
    view.LayoutChannels();
    view.RefreshPanel();
    for (int c = 0; c < kAutoBenchChannels; ++c)
        view.RefreshAutoOutput(c);

    // The watchdog: the UI thread's heartbeat, read from a thread that
    // sleeps between looks.
    std::atomic<double> heartbeat{WallSeconds()};
    std::mutex stopMutex;
    std::condition_variable stopCv;
    bool stop = false;
    std::thread watchdog([&] {
        std::unique_lock lock(stopMutex);
        while (!stopCv.wait_for(lock, std::chrono::seconds(1), [&] { return stop; })) {
            if (WallSeconds() - heartbeat.load() > 15.0) {
                std::fprintf(stderr, "soak: the window has not run its events for 15 s\n");
                std::abort();
            }
        }
    });

    const double t0 = WallSeconds();
    bool faulted = false; // the unit is silent or gone: connecting would fail
    int reconnects = 0, connects = 0;
    double rssStart = 0, rssMinute = 0;
    std::size_t next = 0;
    int minute = 0;
    bool wasConnected = false;
    // The longest time the window stayed disconnected while no fault was on
    // (an operator could have connected all along).
    double disconnectedSince = -1;
    double longestOutage = 0;

    // What an operator does on finding the unit disconnected: connect, the
    // outputs on, the automatic outputs started.
    auto operatorConnects = [&] {
        view.ConnectUnit();
        if (!view.IsConnected())
            return;
        ++connects;
        if (wasConnected)
            ++reconnects;
        for (int c = 0; c < kAutoBenchChannels; ++c) {
            if (!doc.m_model.IsOutputOn(c))
                view.ToggleOutput(c);
            if (view.IsAutoOutputStopped(c))
                view.StartAutoOutput(c);
        }
        wasConnected = true;
    };

    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { heartbeat.store(WallSeconds()); });
    beat.start(200);

    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        const double t = WallSeconds() - t0;
        if (t >= seconds) {
            app.exit(0);
            return;
        }
        if (rssStart == 0 && t >= 5)
            rssStart = ResidentMegabytes();
        if (rssMinute == 0 && t >= 60)
            rssMinute = ResidentMegabytes();
        const std::vector<Step>& steps = Schedule();
        const double inMinute = t - 60.0 * minute;
        while (next < steps.size() && inMinute >= steps[next].second) {
            const Step& s = steps[next++];
            switch (s.kind) {
            case Step::Command:
                sim.Command(s.command);
                break;
            case Step::Quiet:
                sim.Command(s.command);
                faulted = true;
                break;
            case Step::Loud:
                sim.Command(s.command);
                faulted = false;
                break;
            case Step::KillUnit:
                sim.Kill();
                faulted = true;
                break;
            case Step::RestartUnit:
                if (!sim.Start()) {
                    std::fprintf(stderr, "soak: the simulator did not start again\n");
                    app.exit(1);
                    return;
                }
                faulted = false;
                break;
            }
        }
        if (inMinute >= 60) {
            ++minute;
            next = 0;
        }
        if (!faulted && !view.IsConnected())
            operatorConnects();
        if (view.IsConnected() || faulted)
            disconnectedSince = -1;
        else if (disconnectedSince < 0)
            disconnectedSince = t;
        else
            longestOutage = std::max(longestOutage, t - disconnectedSince);
    });
    driver.start(100);

    const int rc = app.exec();
    driver.stop();
    const double rssEnd = ResidentMegabytes();
    velmora.ExitInstance();
    {
        std::lock_guard lock(stopMutex);
        stop = true;
    }
    stopCv.notify_all();
    watchdog.join();
    const long frames = sim.ReceivedLines();
    sim.Kill();

    const int lost = prompter.counts[kMsgConnectionReleased];
    std::printf("soak_seconds: %.0f\n", WallSeconds() - t0);
    std::printf("soak_lost_unit_events: %d\n", lost);
    std::printf("soak_connects: %d\nsoak_reconnects: %d\n", connects, reconnects);
    std::printf("soak_failed_connects: %d\n", prompter.counts[kMsgCannotConnect]);
    std::printf("soak_longest_outage_outside_faults_s: %.1f\n", longestOutage);
    std::printf("soak_frames_received_by_unit: %ld\n", frames);
    std::printf("soak_rss_start_mb: %.2f\nsoak_rss_after_first_minute_mb: %.2f\nsoak_rss_end_mb: %.2f\n", rssStart,
                rssMinute, rssEnd);
    for (const auto& [text, n] : prompter.counts)
        if (text != kMsgConnectionReleased && text != kMsgCannotConnect)
            std::printf("soak_other_message: %s (%d)\n", text.c_str(), n);
    if (rc != 0)
        return rc;
    bool ok = true;
    if (connects == 0 || longestOutage > 20) {
        std::fprintf(stderr, "soak: the window stayed disconnected with nothing in the way\n");
        ok = false;
    }
    // Every full minute of the schedule silences the unit and kills it: the
    // window must have lost it, and found it again, each time.
    const int minutes = static_cast<int>(seconds / 60);
    if (lost < 2 * minutes || reconnects < 2 * minutes - 1) {
        std::fprintf(stderr, "soak: %d lost-unit events and %d reconnects in %d minutes\n", lost, reconnects, minutes);
        ok = false;
    }
    if (!kMemoryJudged)
        std::printf("soak_rss_growth: not judged under AddressSanitizer\n");
    else if (rssStart > 0 && rssEnd - rssStart > 1.0) {
        std::fprintf(stderr, "soak: resident memory grew by %.2f MB\n", rssEnd - rssStart);
        ok = false;
    }
    return ok ? 0 : 1;
}
