// Measures the window connected to a unit (normally velmora-sim), the same
// application the velmora program builds:
//   velmora-bench-panel PORT SECONDS
//   velmora-bench-panel --auto PORT SECONDS
// Prints start-to-first-paint, whole-process CPU over SECONDS of polling,
// the tick period (mean and 99th percentile of the deviation from 50 ms) as
// the panel receives its ticks, and resident memory. With --auto both
// channels' automatic outputs (AutoBench.h) are set in the document after
// start-up, the unit connected and the outputs started with the panel's own
// start, and the figures are those of SECONDS of stepping; when the steps
// reached the unit is read from the simulator's log (velmora-bench-auto).
#include <QApplication>
#include <QDir>
#include <QTimer>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <string>
#include <vector>

#include "AutoBench.h"
#include "BenchPrompter.h"
#include "BenchUtil.h"
#include "app/AppSetup.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

// Notes when the frame first paints and when each tick reaches the panel.
class Watcher final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (firstPaint < 0)
                firstPaint = WallSeconds();
            if (recording)
                ++paints;
        }
        if (event->type() == PanelTickEvent::EventType() && recording)
            ticks.push_back(WallSeconds());
        return QObject::eventFilter(watched, event);
    }
    double firstPaint = -1;
    bool recording = false;
    long paints = 0;
    std::vector<double> ticks;
};

// Seconds since the kernel started this process (to 10 ms), so that loading
// the program and its libraries counts towards the start-up time.
double SecondsSinceExec()
{
    std::ifstream stat("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && rest >> field; ++i) { }
    const double startTicks = std::atof(field.c_str());
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double now = static_cast<double>(boot.tv_sec) + boot.tv_nsec / 1e9;
    return now - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ResidentMegabytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const double start = WallSeconds() - SecondsSinceExec();
    const bool automatic = argc == 4 && std::strcmp(argv[1], "--auto") == 0;
    // --remote TCPPORT: the window answers SCPI on 127.0.0.1:TCPPORT while
    // a client (bench/remote_bench.py) does its work; the figures are the
    // window's own during it.
    const bool remoteMode = argc == 6 && std::strcmp(argv[1], "--remote") == 0;
    if (argc != 3 && !automatic && !remoteMode) {
        std::fprintf(stderr, "usage: velmora-bench-panel [--auto | --remote TCPPORT NAME] PORT SECONDS\n");
        return 2;
    }
    const int first = automatic ? 2 : remoteMode ? 4 : 1;
    const std::string port = argv[first];
    const double seconds = std::atof(argv[first + 1]);
    const std::string remotePrefix = remoteMode ? std::string("panel_remote_") + argv[3] : std::string();
    const char* const prefix = automatic ? "panel_auto" : remoteMode ? remotePrefix.c_str() : "panel";

    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // Measured as the program starts: with Qt's Japanese texts.
    InstallTranslations(app);
    QDir::setCurrent(QDir::tempPath());
    BenchPrompter prompter(true);
    Watcher watcher;
    app.installEventFilter(&watcher);

    CVelmoraApp velmora(prompter, SteadyClock(), [] { return std::optional<std::string>(); });
    AppOptions options;
    options.ports = {port};
    // The automatic outputs are set before the unit is connected, as an
    // operator would set them.
    options.connect = !automatic;
    // VELMORA_BENCH_RECORD=off: the same run without the run record, to
    // weigh what recording costs.
    if (const char* r = std::getenv("VELMORA_BENCH_RECORD"); r != nullptr && std::strcmp(r, "off") == 0)
        options.record = false;
    if (remoteMode)
        options.scpi = remote::TcpEndpoint{"127.0.0.1", static_cast<std::uint16_t>(std::atoi(argv[2]))};
    if (!velmora.InitInstance(options))
        return 1;
    CVelmoraView& view = *velmora.View();
    if (automatic) {
        ConfigureAutoBench(*velmora.Document());
        view.LayoutChannels();
        view.RefreshPanel();
        for (int c = 0; c < kAutoBenchChannels; ++c)
            view.RefreshAutoOutput(c);
    }

    double cpu0 = 0, wall0 = 0, writer0 = 0;
    auto measure = [&] {
        cpu0 = ProcessCpuSeconds();
        writer0 = velmora.Record() != nullptr ? velmora.Record()->ThreadCpuSeconds() : 0.0;
        wall0 = WallSeconds();
        watcher.recording = true;
        // Precise: a coarse timer may end a minute's run 3 s early.
        QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, [&] { app.exit(0); });
    };
    if (automatic) {
        QTimer::singleShot(0, [&] {
            view.ConnectUnit();
            if (!view.IsConnected()) {
                std::fprintf(stderr, "not connected\n");
                app.exit(1);
                return;
            }
            for (int c = 0; c < kAutoBenchChannels; ++c)
                view.StartAutoOutput(c);
            // VELMORA_BENCH_SETTLE=1: the figures from a second in, once
            // the run record has opened its file (once a run, not a cost of
            // recording); the steps are timed from the unit's log either way.
            if (const char* settle = std::getenv("VELMORA_BENCH_SETTLE"); settle != nullptr && *settle == '1')
                QTimer::singleShot(1000, [&] { measure(); });
            else
                measure();
        });
    } else {
        // Let the connection settle, then measure.
        QTimer::singleShot(1000, [&] {
            if (!view.IsConnected()) {
                std::fprintf(stderr, "not connected\n");
                app.exit(1);
                return;
            }
            measure();
        });
    }
    const int rc = app.exec();
    if (rc != 0)
        return rc;
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;

    std::vector<double> periods, deviations;
    for (size_t i = 1; i < watcher.ticks.size(); ++i) {
        const double ms = (watcher.ticks[i] - watcher.ticks[i - 1]) * 1000.0;
        periods.push_back(ms);
        deviations.push_back(std::fabs(ms - 50.0));
    }
    double mean = 0;
    for (double p : periods)
        mean += p;
    mean = periods.empty() ? 0 : mean / static_cast<double>(periods.size());

    const char* const p = prefix;
    std::printf("%s_exec_to_first_paint_s: %.3f\n", p, watcher.firstPaint - start);
    std::printf("%s_wall_s: %.2f\n%s_cpu_s: %.3f\n%s_cpu_percent_of_core: %.3f\n", p, wall, p, cpu, p,
                100.0 * cpu / wall);
    std::printf("%s_ticks: %zu\n%s_tick_mean_ms: %.3f\n%s_tick_p99_deviation_ms: %.3f\n", p, watcher.ticks.size(), p,
                mean, p, Percentile(deviations, 99));
    std::printf("%s_rss_mb: %.1f\n%s_peak_rss_mb: %.1f\n", p, ResidentMegabytes("VmRSS:"), p,
                ResidentMegabytes("VmHWM:"));
    std::printf("%s_paints_per_s: %.1f\n", p, static_cast<double>(watcher.paints) / wall);
    std::printf("%s_messages: %d\n", p, prompter.messages);
    if (const RecordWriter* record = velmora.Record()) {
        std::printf("%s_record_writer_cpu_s: %.4f\n%s_record_events_written: %llu\n%s_record_events_lost: %llu\n", p,
                    record->ThreadCpuSeconds() - writer0, p, static_cast<unsigned long long>(record->Written()), p,
                    static_cast<unsigned long long>(record->Lost()));
    }
    return 0;
}
