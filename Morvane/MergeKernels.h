// Painting one layer over a colour layer, and multiplying a mask into a colour layer's alpha.
//
// One pixel: D the destination (alpha Da, colour bytes d), c the painted colour byte, a its
// coverage 0..255:
//   t = ((256 - a) * Da) >> 8        what shows of the destination
//   A = a + t                        the new alpha (never above 255)
//   w = (t * 256) / (A + 1)          the destination's weight, 0..255
//   colour = (d * w + c * (256 - w)) >> 8
// With a = 0 the destination stays exactly as it is: the formula would still take one level
// off every opaque colour, so merging an empty layer down would darken what lies below it.
//
// A C32 source pixel S paints its own colour with a = (Sa * (O + 1)) >> 8; an A16 value V
// paints the layer colour with a = (O * ((V >> 8) + 1)) >> 8; O is the source's opacity.
// The mask: alpha = (alpha * ((M >> 8) + 1)) >> 8, colour bytes unchanged.
//
// The scalar functions are the definition; the SSE2 ones give the same bits and are what the
// layer runs. Every row function takes any n and reads no pixel past it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace merge {

// One destination pixel under the colour (pixel order, top byte ignored) at coverage a.
uint32_t MergePixel(uint32_t dest, uint32_t colour, uint32_t a);

// A C32 source row at opacity 0..255.
void MergeRowC32Scalar(uint32_t* dest, const uint32_t* src, size_t n, uint32_t opacity);
void MergeRowC32Sse2(uint32_t* dest, const uint32_t* src, size_t n, uint32_t opacity);
// An A16 source row in colour (pixel order, the opacity 0..255 in the top byte).
void MergeRowA16Scalar(uint32_t* dest, const uint16_t* src, size_t n, uint32_t colour);
void MergeRowA16Sse2(uint32_t* dest, const uint16_t* src, size_t n, uint32_t colour);
// A mask row into the alpha of a colour row.
void MaskRowScalar(uint32_t* dest, const uint16_t* mask, size_t n);
void MaskRowSse2(uint32_t* dest, const uint16_t* mask, size_t n);

}  // namespace merge
