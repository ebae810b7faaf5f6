#pragma once

// What the window's benchmarks share: CPU time, medians and verdicts.
#include <QtGlobal>

#include <algorithm>
#include <ctime>
#include <vector>

namespace dorvane::bench {

// The calling thread's CPU time.
inline qint64 threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

inline double ms(qint64 nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e6;
}

inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

} // namespace dorvane::bench
