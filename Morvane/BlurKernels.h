// The box blur's running sums, one row at a time.
//
// The blur is separable. Per column a running sum over a window of rows gives one
// intermediate row; a running sum over a window of columns of that row gives the
// destination row. Window parts outside the image add nothing while the divisor stays the
// full window size, so the borders fade.
//
// C32 (blue low, alpha high): a window keeps [blue x alpha, green x alpha, red x alpha,
// alpha], four int32 per pixel (the "weighted" form). Its pixel is 0 when the alpha sum a
// is 0; else each colour is ceil(sum / a) = (a + sum - 1) / a and the alpha a / window.
// A16: a window keeps the sum of the coverage's high bytes; its value is sum / window.
//
// The sums stay below 2^31 for every side up to 16384: a window spans at most half the
// side, and 8191 x 255 x 255 < 2^30.
//
// The scalar functions are the definition; the SSE2 ones give the same bits and are what
// the filter runs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace blur {

// The pixel of a window's weighted sums s[4]; window is the divisor of the alpha.
uint32_t PixelOf(const int32_t* s, uint32_t window);

// One step of the vertical pass over n columns of colour pixels:
//   sums += weighted(add) (when add is given),
//   weighted = the weighted form of the pixel the sums give (when weighted is given),
//   sums -= weighted(sub) (when sub is given).
// sums and weighted hold 4 x n int32.
void VerticalC32Scalar(int32_t* sums, const uint32_t* add, const uint32_t* sub, int32_t* weighted, size_t n,
                       uint32_t window);
void VerticalC32Sse2(int32_t* sums, const uint32_t* add, const uint32_t* sub, int32_t* weighted, size_t n,
                     uint32_t window);

// The horizontal pass: dest[x] is the pixel of the sum of weighted[x - radius + 1 ..
// x + radius - 1] (clipped to 0..n-1) with the window 2 x radius - 1.
void HorizontalC32Scalar(uint32_t* dest, const int32_t* weighted, size_t n, size_t radius);
void HorizontalC32Sse2(uint32_t* dest, const int32_t* weighted, size_t n, size_t radius);

// The mask passes: the same steps on the high bytes of 16-bit values; the vertical step
// writes sum / window (0..255) per column, the horizontal one (sum / window) << 8.
void VerticalA16Scalar(int32_t* sums, const uint16_t* add, const uint16_t* sub, int32_t* values, size_t n,
                       uint32_t window);
void VerticalA16Sse2(int32_t* sums, const uint16_t* add, const uint16_t* sub, int32_t* values, size_t n,
                     uint32_t window);
void HorizontalA16Scalar(uint16_t* dest, const int32_t* values, size_t n, size_t radius);
void HorizontalA16Sse2(uint16_t* dest, const int32_t* values, size_t n, size_t radius);

}  // namespace blur
