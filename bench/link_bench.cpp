// Measures the serial link against a unit (normally velmora-sim):
//   idle PORT SECONDS      CPU of a process that only holds the port open
//   roundtrip PORT COUNT   latency of the version exchange
//   silent PORT            CPU spent by a version exchange that times out
// Prints one "name: value" line per figure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "protocol/GeneratorLink.h"
#include "protocol/LinkFactory.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: velmora-bench-link idle PORT SECONDS | roundtrip PORT COUNT | silent PORT\n");
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
    std::printf("idle_wall_s: %.2f\nidle_cpu_s: %.4f\nidle_cpu_percent_of_core: %.3f\n", wall, cpu,
                100.0 * cpu / wall);
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
    return Usage();
}
