#include "Surface.h"

#include <cstdlib>
#include <cstring>

BYTE* AllocLayerSurface(uint64_t bytes) {
  size_t size = size_t(bytes) + LAYER_SURFACE_SPARE;
  // calloc hands large blocks out as fresh pages that are zero already, so a new layer costs
  // no clearing pass; the system allocator aligns to 16 bytes on this platform.
  void* p = std::calloc(1, size);
  if (p && reinterpret_cast<uintptr_t>(p) % 16 != 0) {
    std::free(p);
    p = std::aligned_alloc(16, (size + 15) & ~size_t(15));
    if (p) std::memset(p, 0, size);
  }
  return static_cast<BYTE*>(p);
}
