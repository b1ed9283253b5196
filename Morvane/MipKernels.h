// The 2 x 2 reduction that builds one mip level row from two rows of the level above.
//
// Output pixel i averages src0[2i], src0[2i+1], src1[2i], src1[2i+1]. The kernels read
// exactly those 2n pixels of each row and nothing past them; a caller stands in for a row
// outside the layer with a row of zeros, and for a single pixel outside it with a zero pixel.
//
// C32 (blue low, alpha high, straight colour): with S the sum of the four alphas,
//   alpha   = (S + 2) >> 2                      (round half up)
//   channel = (sum(a_i * c_i) + S / 2) / S      (alpha-weighted, rounded to nearest)
// and 0 when S is 0, so a transparent neighbour neither darkens nor tints an edge.
// A16: (v0 + v1 + v2 + v3 + 2) >> 2 on the 16-bit coverage values.
//
// The scalar functions are the definition; the SSE2 ones give the same bits and are what
// the layer uses.
#pragma once
#include <cstddef>
#include <cstdint>

namespace mip {

uint32_t ReducePixelC32(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11);
uint16_t ReducePixelA16(uint16_t p00, uint16_t p01, uint16_t p10, uint16_t p11);

void ReduceRowC32Scalar(uint32_t* dst, const uint32_t* src0, const uint32_t* src1, size_t n);
void ReduceRowA16Scalar(uint16_t* dst, const uint16_t* src0, const uint16_t* src1, size_t n);

void ReduceRowC32Sse2(uint32_t* dst, const uint32_t* src0, const uint32_t* src1, size_t n);
void ReduceRowA16Sse2(uint16_t* dst, const uint16_t* src0, const uint16_t* src1, size_t n);

}  // namespace mip
