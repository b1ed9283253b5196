#include "Memory.h"

#include <algorithm>
#include <atomic>

#include <sys/sysinfo.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace plat {

namespace {
std::atomic<uint64_t> g_budget{UINT64_MAX};
}  // namespace

void SetMemoryBudget(uint64_t bytes) { g_budget.store(bytes); }

bool GetMemoryStatus(MemoryStatus* out) {
  long pages = sysconf(_SC_PHYS_PAGES);
  long avail = sysconf(_SC_AVPHYS_PAGES);
  long page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return false;
  out->totalPhysical = uint64_t(pages) * uint64_t(page);
  out->availablePhysical = avail > 0 ? uint64_t(avail) * uint64_t(page) : 0;
  // MemAvailable counts reclaimable caches too, which is what an allocation can get.
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned long long kb = 0;
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
        out->availablePhysical = uint64_t(kb) * 1024;
        break;
      }
    }
    std::fclose(f);
  }
  out->availablePhysical = std::min(out->availablePhysical, g_budget.load());
  return true;
}

bool GetProcessMemory(ProcessMemory* out) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return false;
  std::memset(out, 0, sizeof *out);
  char line[256];
  int found = 0;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long kb = 0;
    if (std::sscanf(line, "VmRSS: %llu kB", &kb) == 1) out->workingSet = kb * 1024, ++found;
    else if (std::sscanf(line, "VmHWM: %llu kB", &kb) == 1) out->peakWorkingSet = kb * 1024, ++found;
    else if (std::sscanf(line, "VmSize: %llu kB", &kb) == 1) out->virtualSize = kb * 1024, ++found;
  }
  std::fclose(f);
  return found == 3;
}

bool IsReadableMemory(const void* p, size_t bytes) {
  if (!p) return false;
  if (bytes == 0) return true;
  // Reading our own memory through the kernel reports a bad address instead of faulting.
  char probe[256];
  const char* src = static_cast<const char*>(p);
  while (bytes) {
    size_t n = bytes < sizeof probe ? bytes : sizeof probe;
    iovec local{probe, n};
    iovec remote{const_cast<char*>(src), n};
    if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != ssize_t(n)) return false;
    src += n;
    bytes -= n;
  }
  return true;
}

}  // namespace plat
