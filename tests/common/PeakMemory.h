// How far the process's resident memory rose at its highest while a piece of code ran. The
// kernel's high-water mark is first brought down to the present resident size, so what the
// process touched before does not count; where that reset is refused, the old mark stays and
// the figure can only come out too high.
#pragma once
#include <cstdint>
#include <cstdio>

namespace test_memory {

struct Resident {
  int64_t now = 0;   // VmRSS, bytes
  int64_t peak = 0;  // VmHWM, bytes
};

inline Resident ReadResident() {
  Resident r;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      long long kb = 0;
      if (std::sscanf(line, "VmRSS: %lld kB", &kb) == 1) r.now = kb * 1024;
      else if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1) r.peak = kb * 1024;
    }
    std::fclose(f);
  }
  return r;
}

// Bytes the resident size rose above where it stood when fn began, at its highest.
template <class Fn>
int64_t PeakGrowth(Fn&& fn) {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);  // 5: reset the high-water mark
    std::fclose(f);
  }
  const Resident before = ReadResident();
  fn();
  return ReadResident().peak - before.now;
}

}  // namespace test_memory
