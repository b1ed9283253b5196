// Pixel rows of the layer utility: bilinear sampling along a turned line (Rotate), and the
// two passes of a scale (a column pass that folds source rows together, then a row pass).
//
// C32 pixels are blue low, alpha high, straight colour. Colour is weighted by alpha while
// sampling (premultiplied) and divided back with rounding, so a transparent neighbour
// neither darkens nor tints an edge. A pixel whose alpha comes out 0 is written as 0.
//
// The scalar functions are the definition; the SSE2 ones give the same bits and are what
// the utility uses.
#pragma once
#include <cstddef>
#include <cstdint>

namespace xform {

// --- bilinear sampling along a line
//
// Destination pixel i samples the source at
//   X = x + i * dx,  Y = y + i * dy
// in 32.32 fixed point, in units where 0 is the centre of source pixel 0. The point is
// rounded to 1/256 of a pixel: x8 = (X + 2^23) >> 24, ix = x8 >> 8, fx = x8 & 255 (so for
// Y). The four corners (ix, iy), (ix+1, iy), (ix, iy+1), (ix+1, iy+1) are read where they
// lie inside the source and are transparent (0) elsewhere. Weights, summing to 256:
//   w11 = (fx fy + 128) >> 8,  w01 = fx - w11,  w10 = fy - w11,  w00 = 256 - fx - fy + w11.
// C32: A = sum w a, C = sum w a c for each colour channel; alpha = (A + 128) >> 8; the pixel
//      is 0 when alpha is 0, else channel = (C + A / 2) / A (integer division).
// A16: (sum w v + 128) >> 8.
// With fx = fy = 0 a pixel comes out as it was (C32: transparent pixels as 0).
struct SampleLine {
  const void* src;  // level-0 pixels, rows top-down
  size_t pitch;     // pixels per source row
  int32_t width, height;
  int64_t x, y, dx, dy;
};

// Where destination pixel i samples (both versions locate points this way).
struct SamplePoint {
  int64_t ix, iy;
  uint32_t fx, fy;
};
inline SamplePoint Locate(const SampleLine& line, size_t i) {
  const int64_t half = int64_t(1) << 23;
  const int64_t x8 = (line.x + int64_t(i) * line.dx + half) >> 24;
  const int64_t y8 = (line.y + int64_t(i) * line.dy + half) >> 24;
  return {x8 >> 8, y8 >> 8, uint32_t(x8 & 255), uint32_t(y8 & 255)};
}

void SampleRowC32Scalar(uint32_t* dst, size_t n, const SampleLine& line);
void SampleRowA16Scalar(uint16_t* dst, size_t n, const SampleLine& line);
void SampleRowC32Sse2(uint32_t* dst, size_t n, const SampleLine& line);
void SampleRowA16Sse2(uint16_t* dst, size_t n, const SampleLine& line);

// --- scale
//
// Column pass over n pixels: acc[i] = sum for t = 0 .. taps-1 of weight[t] * P(rows[t][i]),
// added in that order in float starting from 0. C32: P is (b a, g a, r a, a), four floats a
// pixel in acc; A16: P is the coverage, one float a pixel.
// Row pass over n output pixels: S = sum for t = 0 .. taps-1 of weight[j * taps + t] *
// acc[start[j] + t], in that order in float (padding taps carry weight 0).
// C32: alpha = min(255, trunc(S_a + 0.5)); the pixel is 0 when alpha is 0, else channel =
//      min(255, trunc(S_c * (1 / S_a) + 0.5)) (one division serves four SSE2 pixels).
// A16: min(65535, trunc(S + 0.5)).
// Weights are never negative.
void ScaleColumnC32Scalar(float* acc, size_t n, const uint32_t* const* rows, const float* weight, int taps);
void ScaleColumnA16Scalar(float* acc, size_t n, const uint16_t* const* rows, const float* weight, int taps);
void ScaleRowC32Scalar(uint32_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps);
void ScaleRowA16Scalar(uint16_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps);

void ScaleColumnC32Sse2(float* acc, size_t n, const uint32_t* const* rows, const float* weight, int taps);
void ScaleColumnA16Sse2(float* acc, size_t n, const uint16_t* const* rows, const float* weight, int taps);
void ScaleRowC32Sse2(uint32_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps);
void ScaleRowA16Sse2(uint16_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps);

}  // namespace xform
