#pragma once
// What the benchmarks measure a case by: wall and CPU seconds, and the resident set's peak,
// read from /proc so each case can be run in a fresh process and reset first.

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace kve::bench {

// A VmXXX line of /proc/self/status, in KiB.
inline long StatusKib(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

// Starts a new high-water mark of the resident set at the current size (Linux 4.0+).
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace kve::bench
