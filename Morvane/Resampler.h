// The last two steps of a view tile: ResampleTile turns the composed accumulator into the
// tile's screen pixels under the view's rotation, zoom and flip (eight sub-samples a
// pixel), CopyTile packs them to 8 bits a channel into the bottom-up back buffer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "Compositor.h"

constexpr int TILE_SIDE = 128;  // screen pixels per tile side
constexpr int ACC_ANCHOR = 200; // the accumulator pixel whose top-left corner is the anchor

// The resampler's output rows: TILE_SIDE x TILE_SIDE pixels of four 16-bit lanes in the
// accumulator's lane order (rows of 1024 bytes).
struct alignas(16) TileRows {
  uint16_t px[TILE_SIDE][TILE_SIDE][4];
};

// The sub-sample offsets in 1/32 screen pixel, added after the rotation: each of u and v
// takes every value of -14..14 in steps of 4 exactly once.
constexpr int8_t RESAMPLE_DU[8] = {-14, -10, -6, -2, 2, 6, 10, 14};
constexpr int8_t RESAMPLE_DV[8] = {-10, 14, 2, -6, 6, -2, -14, 10};

struct ResampleParams {
  int16_t cosQ14;  // the angle's cosine x 16384.5, truncated
  int16_t sinQ14;
  int16_t step;    // accumulator pixels per screen pixel x 2048 (the inverse zoom at the level)
  bool flip;       // mirrored left to right
  // The screen point that maps onto the top-left corner of accumulator pixel (200, 200),
  // relative to the tile's top-left corner, in 1/32 screen pixel.
  int32_t ax, ay;
  int32_t width, height;  // the tile in screen pixels, multiples of 4 in 4..128
};

// Where sub-sample k of tile pixel (x, y) reads the accumulator: the definition of the
// mapping, shared by the scalar reference and the checks. All arithmetic is 16-bit as the
// SIMD version does it: X and Y wrap to 16 bits, the rotation keeps 32-bit products and
// shifts arithmetically, the scale keeps the high half of a signed 16 x 16 product.
inline void ResampleSample(const ResampleParams& p, int x, int y, int k, int* col, int* row) {
  int32_t X = int16_t(32 * x + 16 - p.ax);
  if (p.flip) X = int16_t(-X);
  int32_t Y = int16_t(32 * y + 16 - p.ay);
  int32_t U = (X * p.cosQ14 + Y * p.sinQ14) >> 14;
  int32_t V = (Y * p.cosQ14 - X * p.sinQ14) >> 14;
  int32_t u = int16_t(U + RESAMPLE_DU[k]);
  int32_t v = int16_t(V + RESAMPLE_DV[k]);
  *col = int16_t(ACC_ANCHOR + ((u * p.step) >> 16));
  *row = int16_t(ACC_ANCHOR + ((v * p.step) >> 16));
}

// Fills width x height pixels of out: each the lane-wise 16-bit sum of its eight samples,
// shifted right by 3. The accumulator lanes are 0..255 in a pass; the result is defined
// (the sums wrap at 16 bits) for any lanes.
void ResampleTileScalar(const ResampleParams& p, const ComposeWork* work, TileRows* out);
void ResampleTileSse2(const ResampleParams& p, const ComposeWork* work, TileRows* out);
// The rotated views (sine not 0) with AVX2; only on a processor that has it.
void ResampleRotatedAvx2(const ResampleParams& p, const ComposeWork* work, TileRows* out);
bool ResamplerHasAvx2();
// What the renderer runs: the SSE2 version, its rotated views through AVX2 where the
// processor has it. All three are bit-exact to the reference.
void ResampleTile(const ResampleParams& p, const ComposeWork* work, TileRows* out);

// Copies width x height pixels of rows into the back buffer: tile row j goes to buffer row
// rowBase + 127 - j (rowBase = buffer height - tile top - 128; the buffer runs bottom-up),
// columns left.. ; each 16-bit lane packed to a byte with signed saturation (below 0 gives 0,
// above 255 gives 255). bits and pitchBytes 16-byte aligned, left and width multiples of 4.
// The SSE2 version stores with non-temporal stores: the caller fences before another thread
// reads the buffer.
void CopyTileScalar(const TileRows* rows, int width, int height, int left, int rowBase, int pitchBytes,
                    uint8_t* bits);
void CopyTileSse2(const TileRows* rows, int width, int height, int left, int rowBase, int pitchBytes,
                  uint8_t* bits);
