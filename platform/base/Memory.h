// Process and physical memory figures (the About box, memory checks before large edits).
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

struct MemoryStatus {
  uint64_t totalPhysical;      // bytes of RAM in the machine
  uint64_t availablePhysical;  // bytes of RAM available for new allocations
};
struct ProcessMemory {
  uint64_t workingSet;      // resident bytes of this process
  uint64_t peakWorkingSet;  // peak resident bytes
  uint64_t virtualSize;     // bytes of address space in use
};

bool GetMemoryStatus(MemoryStatus* out);
// Caps what GetMemoryStatus reports as available: a process that runs under a limit of its
// own (a fuzzer's memory limit) sets it, so that what is checked against memory is checked
// against that limit.
void SetMemoryBudget(uint64_t bytes);
bool GetProcessMemory(ProcessMemory* out);
// True when bytes at p can be read without a fault (error traces dump memory).
bool IsReadableMemory(const void* p, size_t bytes);

}  // namespace plat
