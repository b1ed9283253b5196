// Internal to the compositor: the per-lane arithmetic every path must reproduce bit for bit,
// and the shared row driver that walks rows and entries and calls a set of row kernels.
//
// All values are 16-bit lanes holding 0..255; every intermediate below stays under 65,536,
// so a SIMD path can compute it in unsigned 16-bit lanes without widening.
#pragma once
#include <cstddef>
#include <cstdint>

#include "Compositor.h"

namespace compose {

// Families: code >> 3.
enum Family : int {
  FAM_A16 = 0,
  FAM_C32 = 1,
  FAM_GLASS = 2,
  FAM_C32_MASKED = 3,
  FAM_NEST = 4,
  FAM_NEST_MASKED = 5,
};
constexpr int kFamilies = 6;
constexpr int kModes = 8;

// ---- Coverage and weight -------------------------------------------------------------------

// Coverage of a byte (A16 high byte, C32 alpha or nest alpha) at opacity o (0..128).
constexpr uint32_t Coverage(uint32_t v, uint32_t o) { return (v * o) >> 7; }
// Families 0-3: coverage 255 weighs 256, so a full pixel replaces the colour.
constexpr uint32_t Weight(uint32_t a) { return a + (a >> 7); }
// The weight of a C32 pixel of alpha al through a mask byte m.
constexpr uint32_t MaskedWeight(uint32_t al, uint32_t o, uint32_t m) {
  return Weight((Weight(Coverage(al, o)) * m) >> 8);
}
// The nest families weigh the coverage itself: a full nest at opacity 128 keeps 1/256 of
// what lies under it.
constexpr uint32_t NestWeight(uint32_t al, uint32_t o) { return Coverage(al, o); }
constexpr uint32_t NestMaskedWeight(uint32_t al, uint32_t o, uint32_t m) {
  return Coverage((al * m) >> 8, o);
}

// The weight of one pixel of a family from its coverage byte v (A16 high byte, C32 or nest
// alpha), opacity o and mask byte m (masked families only).
constexpr uint32_t FamilyWeight(int family, uint32_t v, uint32_t o, uint32_t m) {
  switch (family) {
    case FAM_C32_MASKED: return MaskedWeight(v, o, m);
    case FAM_NEST: return NestWeight(v, o);
    case FAM_NEST_MASKED: return NestMaskedWeight(v, o, m);
    default: return Weight(Coverage(v, o));
  }
}

// ---- Modes ---------------------------------------------------------------------------------

// The mode result B of one lane.
template <int Mode>
constexpr uint32_t ModeLane(uint32_t s, uint32_t d) {
  if constexpr (Mode == myMODE_NORMAL) return s;
  if constexpr (Mode == myMODE_SOFTLIGHT) return d + ((s * (256 - d)) >> 8);
  if constexpr (Mode == myMODE_SOFTSHADOW) return ((s + 1) * d) >> 8;
  if constexpr (Mode == myMODE_HARDLIGHT) return s + d > 255 ? 255 : s + d;
  if constexpr (Mode == myMODE_HARDSHADOW) return s + d > 255 ? s + d - 255 : 0;
  if constexpr (Mode == myMODE_LIGHTEN) return s > d ? s : d;
  if constexpr (Mode == myMODE_DARKEN) return s < d ? s : d;
  if constexpr (Mode == myMODE_DIFFERENCE) return s ^ d;
  return 0;
}

constexpr uint32_t Mix(uint32_t b, uint32_t d, uint32_t w) { return (b * w + d * (256 - w)) >> 8; }

// Families 0 and 2 add (or take away) the weighted colour in the two saturating modes
// instead of mixing the mode result.
constexpr bool NoMix(int family, int mode) {
  return (family == FAM_A16 || family == FAM_GLASS) &&
         (mode == myMODE_HARDLIGHT || mode == myMODE_HARDSHADOW);
}

// One lane of family x mode: source s, destination d, weight w (0..256). With w = 0 every
// combination gives d back, which is how the alpha lane keeps its value.
template <int Family, int Mode>
constexpr uint32_t BlendLane(uint32_t s, uint32_t d, uint32_t w) {
  if constexpr (NoMix(Family, Mode) && Mode == myMODE_HARDLIGHT) {
    uint32_t v = d + ((s * w) >> 8);
    return v > 255 ? 255 : v;
  } else if constexpr (NoMix(Family, Mode)) {
    uint32_t v = d + ((s * w + 255 * (256 - w)) >> 8);
    return v > 255 ? v - 255 : 0;
  } else {
    return Mix(ModeLane<Mode>(s, d), d, w);
  }
}

// The same with the family and mode given at run time (tests).
uint32_t BlendLaneAt(int family, int mode, uint32_t s, uint32_t d, uint32_t w);

// Glass mode 0: coverage a over a destination of alpha da gives the result alpha and the
// colour weight.
struct GlassResult {
  uint32_t alpha;
  uint32_t weight;
};
constexpr GlassResult GlassAlpha(uint32_t a, uint32_t da) {
  uint32_t A = (((255 - a) * (da + 1)) >> 8) + a;
  return {A, (a * 256) / (A + 1)};
}

// ---- Pixels --------------------------------------------------------------------------------

// An 8-bit BGRA word widened to four 16-bit lanes (lane 0 blue ... lane 3 alpha).
inline void Widen(uint32_t c, uint16_t* px) {
  px[0] = uint16_t(c & 255);
  px[1] = uint16_t((c >> 8) & 255);
  px[2] = uint16_t((c >> 16) & 255);
  px[3] = uint16_t(c >> 24);
}

// ---- Row kernels and the driver ------------------------------------------------------------

// One kernel call: n (> 0) pixels from the first column of the entry's cut span.
struct RowArgs {
  uint16_t* dst;          // current row (accumulator or nest row) at the first column
  const void* src;        // A16 or C32 source, or the closed nest row, at the first column
  const uint16_t* mask;   // A16 mask at the first column (masked families)
  uint32_t n;             // pixels
  uint32_t o;             // opacity 0..128
  uint32_t colour;        // entry colour BGRA (A16 and glass families)
};
using RowKernel = void (*)(const RowArgs&);
// Fill n pixels with a colour widened.
using RowFill = void (*)(uint16_t* dst, uint32_t n, uint32_t colour);
// The bottom entry of a row where it covers the row's whole span: fill with the background
// colour, then the C32 normal kernel at opacity 128 (a.colour is the background). Fused, a
// covered pixel is written once instead of filled, read and blended.
using RowFirst = void (*)(const RowArgs& a);

// A complete set of kernels: index = code (0..47 family x mode, 48 the copy, whose dst is
// the nest row and src the C32 source).
struct KernelSet {
  RowKernel kernels[COMPOSE_COPY + 1];
  RowFill fill;
  RowFirst first;
};

// The routine itself; every path runs it with its own kernels, so the row and entry logic
// is shared.
void ComposeTile(ComposeWork* work, const ComposeEntry* entries, int count, const KernelSet& set);

// The scalar kernels (the definition).
const KernelSet& ScalarKernels();

// ---- SIMD lane entry points for the exhaustive tests ---------------------------------------
// Each runs the vector arithmetic the SSE2 kernels use on n lanes (a multiple of 8), every
// lane independent.

// out = BlendLane<family, mode>(s, d, w) lane by lane.
void BlendLanesSse2(int family, int mode, const uint16_t* s, const uint16_t* d, const uint16_t* w,
                    uint16_t* out, size_t n);
// w = FamilyWeight(family, v, o, m).
void WeightLanesSse2(int family, const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w,
                     size_t n);
// (alpha, weight) = GlassAlpha(a, da).
void GlassLanesSse2(const uint16_t* a, const uint16_t* da, uint16_t* alpha, uint16_t* weight,
                    size_t n);

// The same with AVX2 (n a multiple of 16; the glass one a multiple of 8); only where
// HasAvx2() holds.
bool HasAvx2();
void BlendLanesAvx2(int family, int mode, const uint16_t* s, const uint16_t* d, const uint16_t* w,
                    uint16_t* out, size_t n);
void WeightLanesAvx2(int family, const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w,
                     size_t n);
void GlassLanesAvx2(const uint16_t* a, const uint16_t* da, uint16_t* alpha, uint16_t* weight,
                    size_t n);

}  // namespace compose
