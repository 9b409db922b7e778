#pragma once
// Small helpers shared by the benchmark programs: process CPU time and
// percentiles.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace velmora::bench {

// User + system CPU time of the whole process, in seconds.
inline double ProcessCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto secs = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return secs(ru.ru_utime) + secs(ru.ru_stime);
}

inline double WallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The p-th percentile (0-100) by nearest rank; sorts `v`.
inline double Percentile(std::vector<double>& v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, v.size());
    return v[rank - 1];
}

} // namespace velmora::bench
