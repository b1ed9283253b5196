// The pixel kernels of the mesh warp renderer: splatting a source pixel cell into the
// accumulation tile, adding coverage runs, and composing a tile row into the destination.
// The scalar functions are the definition; the SSE2 ones are what the renderer runs and give
// the same bits.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

namespace distort {

constexpr int kTile = 512;            // tile side in pixels
constexpr int64_t kTileFix = 65536;   // tile side in 1/128 pixel
constexpr int kCoverRows = 8192;      // tile side in 1/16 pixel

// One pixel of the accumulation tile: the weighted colour sums, the weight sums and the splat
// count. 64-bit, since a source shrunk far enough piles millions of splats onto one pixel.
struct alignas(16) AccEntry {
  uint64_t b, g, r;  // sum of channel x w
  uint64_t t;        // sum of t
  uint64_t w;        // sum of w
  uint64_t n;        // splats
};
static_assert(sizeof(AccEntry) == 48);

// A fetched source sample: channels and alpha, 0..255.
struct Texel {
  int32_t b, g, r, a;
};

// One source pixel cell of a mesh cell: between the sample points P (upper start), Q (upper
// end), P2 (lower start) and Q2 (lower end). Positions in 1/128 pixel relative to the tile.
struct Strip {
  int64_t ux0, uy0, ux1, uy1;  // upper side
  int64_t lx0, ly0, lx1, ly1;  // lower side
  Texel P, Q, P2, Q2;
  int64_t count;  // steps along the sides (>= 1)
  int64_t hPer;   // colour recompute period along the sides (>= 1)
  int64_t end;    // steps from the upper to the lower side (>= 1)
  int64_t vPer;   // colour recompute period from side to side (>= 2)
  int64_t rowsFix = kTileFix;  // the tile rows below this (1/128 pixel) take splats
};

// Splats the strip: for i < count, the points U and L at i / count of the upper and lower
// side; for j = (i & 1), (i & 1) + 2, ... < end, the point U + (L - U) j / end gets the
// colour mixed from the four samples, if it lies inside the tile (x below kTileFix, y below
// rowsFix).
using SplatFn = void (*)(const Strip& s, AccEntry* tile);
void SplatStripScalar(const Strip& s, AccEntry* tile);
void SplatStripSse2(const Strip& s, AccEntry* tile);
// Counts the splats per colour group and entry instead of adding them one by one: at once
// where a strip's splat columns and rows are independent or it lands on one entry, line by
// line between pixel edges where it spans a few pixels; steps larger ones with SplatStripSse2.
void SplatStripCounted(const Strip& s, AccEntry* tile);

// Adds 1 to row[x / 16] for every sub-sample x in [x0, x1) (0 <= x0 <= x1 <= 8192).
using CoverFn = void (*)(uint32_t* row, int32_t x0, int32_t x1);
void CoverRunScalar(uint32_t* row, int32_t x0, int32_t x1);
void CoverRunSse2(uint32_t* row, int32_t x0, int32_t x1);

// Widens n source pixels into texels: 4-byte pixels (blue, green, red, alpha) channel by
// channel, 2-byte mask pixels to their high byte as alpha over black.
using FetchFn = void (*)(const BYTE* px, int pixelSize, int n, Texel* out);
void FetchRowScalar(const BYTE* px, int pixelSize, int n, Texel* out);
void FetchRowSse2(const BYTE* px, int pixelSize, int n, Texel* out);

struct ComposeParams {
  int32_t destPixelSize;  // 4 colour (0xAARRGGBB), 2 mask (coverage in the high byte)
  int32_t mode;           // 0..7
  bool colourSource;      // colour from the sums; else the layer colour
  uint32_t colourPx;      // the layer colour in pixel order (blue low)
  uint32_t opacity;       // 0..128
};
// Composes n pixels of a tile row into dest (pixels with no splat or no weight stay).
using ComposeFn = void (*)(BYTE* dest, const AccEntry* acc, const uint32_t* cover, int n, const ComposeParams& p);
void ComposeRowScalar(BYTE* dest, const AccEntry* acc, const uint32_t* cover, int n, const ComposeParams& p);
void ComposeRowSse2(BYTE* dest, const AccEntry* acc, const uint32_t* cover, int n, const ComposeParams& p);

struct Kernels {
  SplatFn splat;
  CoverFn cover;
  ComposeFn compose;
  FetchFn fetch;
};
inline constexpr Kernels kReferenceKernels{SplatStripScalar, CoverRunScalar, ComposeRowScalar, FetchRowScalar};
inline constexpr Kernels kFastKernels{SplatStripCounted, CoverRunSse2, ComposeRowSse2, FetchRowSse2};

}  // namespace distort
