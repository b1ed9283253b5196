// The colour test of the flood fill on up to 32 neighbour pairs at once. The scalar
// functions are the definition; the SSE2 ones (FloodKernelSse2.h) are what the fill runs and
// give the same bits.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

namespace flood {

// Pair i (0 <= i < n <= 32) is the pixel at from + i * size, already in the region, and its
// neighbour at to + i * size. Bit i of the result is set when the neighbour passes:
// - colour pixels (4 bytes): the sum of the absolute differences of the four bytes is below
//   the tolerance (unsigned);
// - mask values (16 bits): from - to <= tolerance * 128, so a higher neighbour always passes.
using PassFn = uint32_t (*)(const BYTE* from, const BYTE* to, int n, uint32_t tolerance);

uint32_t PassC32Scalar(const BYTE* from, const BYTE* to, int n, uint32_t tolerance);
uint32_t PassA16Scalar(const BYTE* from, const BYTE* to, int n, uint32_t tolerance);

// One pair, the rule itself.
inline bool PassC32(uint32_t from, uint32_t to, uint32_t tolerance) {
  uint32_t d = 0;
  for (int s = 0; s < 32; s += 8) {
    int a = int((from >> s) & 0xFF), b = int((to >> s) & 0xFF);
    d += uint32_t(a > b ? a - b : b - a);
  }
  return d < tolerance;
}
// 64-bit, so that no tolerance overflows the comparison.
inline bool PassA16(uint16_t from, uint16_t to, uint32_t tolerance) {
  return int64_t(from) - int64_t(to) <= int64_t(tolerance) * 128;
}

}  // namespace flood
