#include "RowBands.h"

#include <algorithm>

#ifdef __linux__
#include <sched.h>
#endif

namespace talvene {

int UsableProcessors() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace talvene
