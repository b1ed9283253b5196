// The kernels of the distortion preview: nearest sampling of one row of a quad, and the
// composition of one preview row over the back buffer with the source layer's blend mode and
// opacity. The scalar functions are the definition; the SSE2 ones are what the preview runs
// and give the same bits.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/base/Types.h"

namespace preview {

struct Source {
  const BYTE* pixels;  // first row, rows top-down
  size_t rowBytes;
  int32_t width;
  int32_t height;
  int32_t pixelSize;    // 4 colour, 2 mask
  uint32_t maskColour;  // a mask source's colour in pixel order (blue low), alpha 0
};

// A row of a quad from destination x0 (source point s0) to x1 (source point s1), x0 < x1.
struct Span {
  int32_t x0, x1;
  int32_t s0x, s0y;
  int32_t s1x, s1y;
};

// Writes row[x] for x0 <= xa <= x < xb <= x1: the source pixel at
// s0 + ((x - x0) (s1 - s0)) / (x1 - x0), each coordinate truncated, or 0 outside the source.
// A mask source gives the mask colour with the high byte of its value as alpha.
using SampleFn = void (*)(uint32_t* row, int32_t xa, int32_t xb, const Span& sp, const Source& src);
void SampleRowScalar(uint32_t* row, int32_t xa, int32_t xb, const Span& sp, const Source& src);
void SampleRowSse2(uint32_t* row, int32_t xa, int32_t xb, const Span& sp, const Source& src);

// out[k] = the preview pixel prev[k] composed over the back-buffer pixel back[k]. mode: the
// blend mode 0..7, plus 8 for a colour source (which blends its own channels; a mask source
// blends the colour word's). colourWord: the layer colour in pixel order with the opacity
// 0..128 in the top byte. The output keeps the back buffer's alpha.
using CompositeFn = void (*)(uint32_t* out, const uint32_t* back, const uint32_t* prev, int n, int mode,
                             uint32_t colourWord);
void CompositeRowScalar(uint32_t* out, const uint32_t* back, const uint32_t* prev, int n, int mode,
                        uint32_t colourWord);
void CompositeRowSse2(uint32_t* out, const uint32_t* back, const uint32_t* prev, int n, int mode,
                      uint32_t colourWord);

struct Kernels {
  SampleFn sample;
  CompositeFn composite;
};
inline constexpr Kernels kReferenceKernels{SampleRowScalar, CompositeRowScalar};
inline constexpr Kernels kFastKernels{SampleRowSse2, CompositeRowSse2};

}  // namespace preview
