#include <cstring>

#include "FloodKernels.h"

namespace flood {

uint32_t PassC32Scalar(const BYTE* from, const BYTE* to, int n, uint32_t tolerance) {
  uint32_t bits = 0;
  for (int i = 0; i < n; ++i) {
    uint32_t a, b;
    std::memcpy(&a, from + 4 * i, 4);
    std::memcpy(&b, to + 4 * i, 4);
    bits |= uint32_t(PassC32(a, b, tolerance)) << i;
  }
  return bits;
}

uint32_t PassA16Scalar(const BYTE* from, const BYTE* to, int n, uint32_t tolerance) {
  uint32_t bits = 0;
  for (int i = 0; i < n; ++i) {
    uint16_t a, b;
    std::memcpy(&a, from + 2 * i, 2);
    std::memcpy(&b, to + 2 * i, 2);
    bits |= uint32_t(PassA16(a, b, tolerance)) << i;
  }
  return bits;
}

}  // namespace flood
