// Small helpers the benchmark programs share: a monotonic clock, medians, and the process's
// memory as the kernel reports it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Median of the values (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);

// Resident memory now, and its peak so far, in KiB (VmRSS and VmHWM of /proc/self/status).
std::int64_t ResidentKiB();
std::int64_t PeakResidentKiB();

// An environment variable, or the fallback when it is unset or empty.
std::string EnvOr(const char* name, const std::string& fallback);

// Removes a file, ignoring a missing one; throws on any other failure.
void RemoveIfPresent(const std::string& path);

}  // namespace bench
