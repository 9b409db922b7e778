// The automatic-output benchmark's two helpers:
//   velmora-bench-auto settings OUT       writes the settings document that
//                                         velmoractl auto runs (AutoBench.h)
//   velmora-bench-auto steps LOG PREFIX   reads velmora-sim's log of such a
//                                         run and prints the step figures
// A step is timed by when its frame reached the unit: the first frame of a
// channel whose output code differs from the one before. The due times run
// from the first value put out (the start's frame): step k is due k whole
// intervals after it, and its lateness is its arrival minus that due time.
// The drift is the last step's arrival minus the first step's minus the whole
// intervals between them, so that it shows the cadence and not where the
// ticks happen to lie against the start.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "AutoBench.h"
#include "platform/Prompter.h"

using namespace velmora;
using namespace velmora::bench;

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: velmora-bench-auto settings OUT | steps LOG PREFIX\n");
    return 2;
}

int WriteSettings(const std::string& path)
{
    StderrPrompter prompter;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    doc.SetChannelCount(kAutoBenchChannels);
    ConfigureAutoBench(doc);
    if (!doc.SaveDocument(path)) {
        std::fprintf(stderr, "velmora-bench-auto: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Frame {
    double t = 0;    // seconds
    int channel = 0; // 1-4
    unsigned code = 0;
};

// The settings frames the unit received, in order. A log line is
// "YYYY-MM-DD HH:MM:SS.ffffff < <STX>W1RRCCCC...".
bool ReadFrames(const std::string& path, std::vector<Frame>& frames)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0;
        double s = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%lf%n", &y, &mo, &d, &h, &mi, &s, &used) != 6)
            continue;
        const std::string rest = line.substr(static_cast<std::size_t>(used));
        static const std::string kMark = " < <STX>W";
        if (rest.rfind(kMark, 0) != 0 || rest.size() < kMark.size() + 7)
            continue;
        const std::string body = rest.substr(kMark.size());
        Frame f;
        f.channel = body[0] - '0';
        f.code = static_cast<unsigned>(std::strtoul(body.substr(3, 4).c_str(), nullptr, 16));
        f.t = static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) * 86400.0 +
            h * 3600.0 + mi * 60.0 + s;
        frames.push_back(f);
    }
    return true;
}

struct Change {
    double t = 0;
    unsigned code = 0;
};

// 0.1 V on 0-10 V is 655.35 codes; the ramp falls by that, and from its
// end (0 V) comes back to its start (10 V).
bool FollowsTheRamp(unsigned before, unsigned after)
{
    const long long fall = static_cast<long long>(before) - static_cast<long long>(after);
    if (fall >= 650 && fall <= 661)
        return true;
    return before <= 661 && after == 0xFFFF;
}

int Steps(const std::string& path, const std::string& prefix)
{
    std::vector<Frame> frames;
    if (!ReadFrames(path, frames)) {
        std::fprintf(stderr, "velmora-bench-auto: cannot read %s\n", path.c_str());
        return 1;
    }
    const double interval = kAutoBenchIntervalTenths / 10.0;
    std::printf("%s_lateness_reference: arrival at the unit of the first value + k x %.0f ms\n", prefix.c_str(),
                interval * 1000);
    // Negative lateness is a step ahead of that reference: a tick makes the
    // steps due up to half a tick after it.
    std::printf("%s_due_times: whole intervals from the start, made by the first tick no more than half a tick "
                "before them (negative lateness down to -25 ms)\n",
                prefix.c_str());
    // The settings frames per second while stepping: those from the first
    // step's to the last step's, each step counted with one interval.
    double runStart = 1e300, runEnd = -1e300;
    bool ok = true;
    for (int ch = 1; ch <= kAutoBenchChannels; ++ch) {
        std::vector<Change> changes;
        bool seen = false;
        unsigned last = 0;
        for (const Frame& f : frames) {
            if (f.channel != ch)
                continue;
            if (seen && f.code != last)
                changes.push_back({f.t, f.code});
            seen = true;
            last = f.code;
        }
        if (changes.size() < 3) {
            std::fprintf(stderr, "velmora-bench-auto: channel %d made %zu steps\n", ch, changes.size());
            ok = false;
            continue;
        }
        const double t0 = changes[0].t;
        const std::size_t n = changes.size() - 1;
        double worst = -1e300, earliest = 1e300, shortest = 1e300, longest = -1e300;
        int unexpected = 0;
        for (std::size_t k = 1; k <= n; ++k) {
            const double late = changes[k].t - t0 - static_cast<double>(k) * interval;
            worst = std::max(worst, late);
            earliest = std::min(earliest, late);
            if (k >= 2) {
                const double gap = changes[k].t - changes[k - 1].t;
                shortest = std::min(shortest, gap);
                longest = std::max(longest, gap);
            }
            if (!FollowsTheRamp(changes[k - 1].code, changes[k].code))
                ++unexpected;
        }
        const double drift = changes[n].t - changes[1].t - static_cast<double>(n - 1) * interval;
        runStart = std::min(runStart, changes[1].t);
        runEnd = std::max(runEnd, changes[n].t);
        const char* p = prefix.c_str();
        std::printf("%s_ch%d_steps: %zu\n", p, ch, n);
        std::printf("%s_ch%d_first_interval_ms: %.1f\n", p, ch, (changes[1].t - t0) * 1000);
        std::printf("%s_ch%d_worst_lateness_ms: %.1f\n", p, ch, worst * 1000);
        std::printf("%s_ch%d_earliest_ms: %.1f\n", p, ch, earliest * 1000);
        std::printf("%s_ch%d_step_interval_min_ms: %.1f\n%s_ch%d_step_interval_max_ms: %.1f\n", p, ch, shortest * 1000,
                    p, ch, longest * 1000);
        std::printf("%s_ch%d_drift_ms: %.2f\n", p, ch, drift * 1000);
        std::printf("%s_ch%d_values_off_the_ramp: %d\n", p, ch, unexpected);
    }
    if (!ok)
        return 1;
    std::size_t count = 0;
    for (const Frame& f : frames)
        if (f.t >= runStart && f.t <= runEnd)
            ++count;
    std::printf("%s_settings_frames_per_s: %.1f\n", prefix.c_str(),
                static_cast<double>(count) / (runEnd - runStart + interval));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string what = argv[1];
    if (what == "settings" && argc == 3)
        return WriteSettings(argv[2]);
    if (what == "steps" && argc == 4)
        return Steps(argv[2], argv[3]);
    return Usage();
}
