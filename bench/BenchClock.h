#pragma once
// Time and medians for every benchmark, with or without a window.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double Ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Processor time on a CPU-time clock, in ms.
inline double CpuMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Processor time of the calling thread, in ms.
inline double ThreadCpuMs()
{
    return CpuMs(CLOCK_THREAD_CPUTIME_ID);
}

// Processor time of the whole process, every thread, in ms.
inline double ProcessCpuMs()
{
    return CpuMs(CLOCK_PROCESS_CPUTIME_ID);
}
