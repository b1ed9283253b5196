// The glass merge: an A16 overlay ("glass") painted in one colour, merged into a layer at
// the end of a stroke. The scalar functions are the definition; the SSE2 ones are what the
// layer runs and give the same bits.
#pragma once
#include <cstddef>
#include <cstdint>

namespace glass {

// One merge: the glass colour in pixel order (blue low, top byte ignored), the glass
// opacity ALPHA * 256 / 100 (0..256) and the blend mode 0..7 (only for a C32 destination).
struct Params {
  uint32_t color;
  uint32_t opacity;
  int mode;
};

// One C32 destination pixel under the glass value v (its high byte is the coverage).
uint32_t MergePixelC32(uint32_t dest, uint16_t v, const Params& p);
// One A16 destination value under the glass value v.
uint16_t MergeValueA16(uint16_t dest, uint16_t v, uint32_t opacity);

// n pixels of a row; any n.
void MergeRowC32Scalar(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p);
void MergeRowA16Scalar(uint16_t* dest, const uint16_t* glass, size_t n, uint32_t opacity);
void MergeRowC32Sse2(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p);
// Only where HasAvx2(); the normal mode in AVX2, the others as MergeRowC32Sse2.
void MergeRowC32Avx2(uint32_t* dest, const uint16_t* glass, size_t n, const Params& p);
bool HasAvx2();
void MergeRowA16Sse2(uint16_t* dest, const uint16_t* glass, size_t n, uint32_t opacity);

}  // namespace glass
