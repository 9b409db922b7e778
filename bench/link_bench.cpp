// Measures the serial link against a unit (normally velmora-sim):
//   idle PORT SECONDS      CPU of a process that only holds the port open
//   roundtrip PORT COUNT   latency of the version exchange
//   silent PORT            CPU spent by a version exchange that times out
//   report PORT            the generator information report's reads against
//                          their floor at the wire speed (run the unit paced)
// Prints one "name: value" line per figure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/GeneratorModel.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"
#include "protocol/LinkFactory.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: velmora-bench-link idle PORT SECONDS | roundtrip PORT COUNT | silent PORT | report PORT\n");
    return 2;
}

std::unique_ptr<GeneratorLink> Open(StderrPrompter& prompter, const std::string& port)
{
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    link->SetPortName(port);
    if (!link->Connect())
        return nullptr;
    return link;
}

int Idle(const std::string& port, double seconds)
{
    StderrPrompter prompter;
    auto link = Open(prompter, port);
    if (!link)
        return 1;
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    std::printf("idle_wall_s: %.2f\nidle_cpu_s: %.4f\nidle_cpu_percent_of_core: %.3f\n", wall, cpu, 100.0 * cpu / wall);
    return 0;
}

int RoundTrip(const std::string& port, int count)
{
    StderrPrompter prompter;
    auto link = Open(prompter, port);
    if (!link)
        return 1;
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(count));
    std::string version;
    for (int i = 0; i < count; ++i) {
        const double t0 = WallSeconds();
        if (!link->QueryVersion(LinkSerial, version)) {
            std::fprintf(stderr, "exchange %d failed\n", i);
            return 1;
        }
        ms.push_back((WallSeconds() - t0) * 1000.0);
    }
    std::printf("roundtrip_count: %d\nroundtrip_median_ms: %.3f\nroundtrip_p99_ms: %.3f\nroundtrip_max_ms: %.3f\n",
                count, Percentile(ms, 50), Percentile(ms, 99), Percentile(ms, 100));
    return 0;
}

int Silent(const std::string& port)
{
    StderrPrompter prompter;
    auto link = Open(prompter, port);
    if (!link)
        return 1;
    std::string version;
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    const bool ok = link->QueryVersion(LinkSerial, version);
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    std::printf("silent_answered: %s\nsilent_wall_s: %.3f\nsilent_cpu_s: %.4f\nsilent_cpu_percent: %.3f\n",
                ok ? "yes" : "no", wall, cpu, 100.0 * cpu / wall);
    return ok ? 1 : 0;
}

// Each read of the report costs at least the quiet wait before its request,
// the 12-byte request and the 24-byte reply at 19200 bit/s.
int Report(const std::string& port)
{
    StderrPrompter prompter;
    auto link = Open(prompter, port);
    if (!link)
        return 1;
    GeneratorModel model;
    model.channelCount = link->QueryChannelCount();
    if (model.channelCount < 0 || !link->QueryVersion(LinkSerial, model.versionText)) {
        std::fprintf(stderr, "the unit did not answer\n");
        return 1;
    }
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    const GeneratorReportRun run = ReadGeneratorReport(*link, model);
    const double wall = WallSeconds() - wall0;
    const double cpu = ProcessCpuSeconds() - cpu0;
    if (!run.Ok()) {
        std::fprintf(stderr, "the report failed\n");
        return 1;
    }
    int reads = 0;
    for (int code = 0; code < kSlotCount; ++code)
        reads += IsReportedRange(code) ? 2 : 0;
    reads *= model.ChannelsInUse();
    constexpr double kByteSeconds = 10.0 / 19200.0;
    const double floor = reads * (GeneratorLink::kQuietMs / 1000.0 + (12 + 24) * kByteSeconds);
    std::printf("report_channels: %d\nreport_reads: %d\nreport_s: %.3f\nreport_floor_s: %.3f\n"
                "report_ratio_to_floor: %.3f\nreport_cpu_percent_of_core: %.2f\n",
                model.ChannelsInUse(), reads, wall, floor, wall / floor, 100.0 * cpu / wall);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string what = argv[1];
    const std::string port = argv[2];
    if (what == "idle" && argc == 4)
        return Idle(port, std::atof(argv[3]));
    if (what == "roundtrip" && argc == 4)
        return RoundTrip(port, std::atoi(argv[3]));
    if (what == "silent" && argc == 3)
        return Silent(port);
    if (what == "report" && argc == 3)
        return Report(port);
    return Usage();
}
