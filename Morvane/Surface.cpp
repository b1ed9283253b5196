#include "Surface.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

BYTE* AllocLayerSurface(uint64_t bytes, bool cleared) {
  size_t size = size_t(bytes) + LAYER_SURFACE_SPARE;
  // calloc hands large blocks out as fresh pages that are zero already, so a new layer costs
  // no clearing pass; the system allocator aligns to 16 bytes on this platform.
  void* p = cleared ? std::calloc(1, size) : std::malloc(size);
  if (p && reinterpret_cast<uintptr_t>(p) % 16 != 0) {
    std::free(p);
    p = std::aligned_alloc(16, (size + 15) & ~size_t(15));
    if (p && cleared) std::memset(p, 0, size);
  }
  if (p && !cleared) std::memset(static_cast<BYTE*>(p) + bytes, 0, LAYER_SURFACE_SPARE);
  // Huge pages for large surfaces: the compositor walks many layers row by row, and 4 KiB
  // pages would cost a TLB miss on nearly every short row it reads.
  constexpr size_t kHuge = size_t(2) << 20;
  if (p && size >= 2 * kHuge) {
    uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~uintptr_t(kHuge - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(p) + size) & ~uintptr_t(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  }
  return static_cast<BYTE*>(p);
}
