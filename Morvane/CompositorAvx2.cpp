// The compositor's kernels with AVX2: four pixels a register, the weights formed in place by
// byte shuffles instead of packing and spreading, bit-exact to the scalar kernels. Only this
// file's own functions are built for AVX2 (by the pragma below, after every include), so no
// shared inline code is ever emitted with AVX2 instructions; LayerCompositor runs them only
// on a processor that has AVX2.
#include <immintrin.h>

#include <cstring>
#include <utility>

#include "CompositorKernels.h"
#include "TargetAvx2.h"

AVX2_BEGIN

namespace compose {
namespace {

using V = __m256i;

inline V K16(int v) { return _mm256_set1_epi16(short(v)); }
inline V ColourLanes() { return _mm256_set1_epi64x(0x0000FFFFFFFFFFFFll); }
// Byte shuffles (within each 128-bit half, two pixels). Coverage and mask bytes go to the
// high byte of their words (v << 8), where one high-half multiply scales them:
// the alpha of each widened pixel into its three colour words, alpha word zero;
inline V AlphaToColour() {
  return _mm256_setr_epi8(-1, 6, -1, 6, -1, 6, -1, -1, -1, 14, -1, 14, -1, 14, -1, -1,  //
                          -1, 6, -1, 6, -1, 6, -1, -1, -1, 14, -1, 14, -1, 14, -1, -1);
}
// the high byte of an A16 value (zero-extended to 64 bits) into the three colour words;
inline V HighToColour() {
  return _mm256_setr_epi8(-1, 1, -1, 1, -1, 1, -1, -1, -1, 9, -1, 9, -1, 9, -1, -1,  //
                          -1, 1, -1, 1, -1, 1, -1, -1, -1, 9, -1, 9, -1, 9, -1, -1);
}
// and into all four words (glass);
inline V HighToAll() {
  return _mm256_setr_epi8(-1, 1, -1, 1, -1, 1, -1, 1, -1, 9, -1, 9, -1, 9, -1, 9,  //
                          -1, 1, -1, 1, -1, 1, -1, 1, -1, 9, -1, 9, -1, 9, -1, 9);
}
// the plain alpha word of each widened pixel into all four words (glass).
inline V AlphaToAll() {
  return _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15,  //
                          6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15);
}

inline V Mul(V a, V b) { return _mm256_mullo_epi16(a, b); }
inline V MulHi(V a, V b) { return _mm256_mulhi_epu16(a, b); }
inline V Weight(V a) { return _mm256_add_epi16(a, _mm256_srli_epi16(a, 7)); }

// Weights from coverage bytes vh = v << 8, twice the opacity o2 and mask bytes mh = m << 8:
// (v * o) >> 7 is the high half of vh * o2, (x * m) >> 8 the high half of x * mh.
template <int Family>
inline V Weights(V vh, V o2, V mh) {
  if constexpr (Family == FAM_NEST) {
    return MulHi(vh, o2);
  } else if constexpr (Family == FAM_NEST_MASKED) {
    return _mm256_srli_epi16(Mul(_mm256_srli_epi16(MulHi(vh, mh), 8), o2), 8);
  } else if constexpr (Family == FAM_C32_MASKED) {
    return Weight(MulHi(Weight(MulHi(vh, o2)), mh));
  } else {
    return Weight(MulHi(vh, o2));
  }
}

// The weight travels as w64 = w << 6 (0..16384): then one signed high-half multiply gives
// floor(x * w / 256) for any x in -255..255, since 4x * 64w = 256 x w exactly.
//
// (b * w + d * (256 - w)) >> 8 = d + floor((b - d) * w / 256).
inline V Mix(V b, V d, V w64) {
  return _mm256_add_epi16(d, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(b, d), 2), w64));
}

template <int Mode>
inline V ModeVec(V s, V d) {
  if constexpr (Mode == myMODE_NORMAL) return s;
  if constexpr (Mode == myMODE_SOFTLIGHT)
    return _mm256_add_epi16(d, _mm256_srli_epi16(Mul(s, _mm256_sub_epi16(K16(256), d)), 8));
  if constexpr (Mode == myMODE_SOFTSHADOW) return _mm256_srli_epi16(Mul(_mm256_add_epi16(s, K16(1)), d), 8);
  if constexpr (Mode == myMODE_HARDLIGHT) return _mm256_min_epi16(_mm256_add_epi16(s, d), K16(255));
  if constexpr (Mode == myMODE_HARDSHADOW) return _mm256_subs_epu16(_mm256_add_epi16(s, d), K16(255));
  if constexpr (Mode == myMODE_LIGHTEN) return _mm256_max_epi16(s, d);
  if constexpr (Mode == myMODE_DARKEN) return _mm256_min_epi16(s, d);
  if constexpr (Mode == myMODE_DIFFERENCE) return _mm256_xor_si256(s, d);
  return s;
}

// The weight as w64. Hard light without mix: d + ((s * w) >> 8), at most 255. Hard shadow
// without mix: (s * w + 255 * (256 - w)) >> 8 = 255 + floor((s - 255) * w / 256), so the
// result is d + floor((s - 255) * w / 256), at least 0.
template <int Family, int Mode>
inline V Blend(V s, V d, V w64) {
  if constexpr (NoMix(Family, Mode) && Mode == myMODE_HARDLIGHT) {
    return _mm256_min_epi16(_mm256_add_epi16(d, _mm256_mulhi_epi16(_mm256_slli_epi16(s, 2), w64)), K16(255));
  } else if constexpr (NoMix(Family, Mode)) {
    const V t = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(s, K16(255)), 2), w64);
    return _mm256_max_epi16(_mm256_add_epi16(d, t), _mm256_setzero_si256());
  } else {
    return Mix(ModeVec<Mode>(s, d), d, w64);
  }
}

// Glass mode 0 on eight pixels in two registers, a and da each in all four words of its
// pixel: the result alpha A and the colour weight w, each in all words. One division serves
// the eight pixels: one dword of each pixel of both registers, interleaved. A float quotient
// of integers below 2^16 and 257 truncates to the exact integer quotient (its error stays
// below 2^-8, the least distance to the next integer).
inline V GlassAlphaVec(V a, V da) {
  return _mm256_add_epi16(_mm256_srli_epi16(Mul(_mm256_sub_epi16(K16(255), a), _mm256_add_epi16(da, K16(1))), 8), a);
}
inline void GlassVec(V a0, V a1, V da0, V da1, V& A0, V& A1, V& w0, V& w1) {
  A0 = GlassAlphaVec(a0, da0);
  A1 = GlassAlphaVec(a1, da1);
  // Dwords [p0 p4 p1 p5 | p2 p6 p3 p7].
  const V num = _mm256_slli_epi32(_mm256_blend_epi32(_mm256_srli_epi32(a0, 16), _mm256_srli_epi32(a1, 16), 0xAA), 8);
  const V den = _mm256_add_epi32(_mm256_blend_epi32(_mm256_srli_epi32(A0, 16), _mm256_srli_epi32(A1, 16), 0xAA),
                                 _mm256_set1_epi32(1));
  const V q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(num), _mm256_cvtepi32_ps(den)));
  const V q0 = _mm256_shuffle_epi32(q, 0xA0), q1 = _mm256_shuffle_epi32(q, 0xF5);
  w0 = _mm256_or_si256(q0, _mm256_slli_epi32(q0, 16));
  w1 = _mm256_or_si256(q1, _mm256_slli_epi32(q1, 16));
}

template <int Family>
constexpr size_t kSourceBytes = Family == FAM_A16 || Family == FAM_GLASS ? 2
                                : Family == FAM_NEST || Family == FAM_NEST_MASKED ? 8
                                                                                  : 4;

inline V LoadU(const void* p) { return _mm256_loadu_si256(static_cast<const V*>(p)); }
inline void StoreU(void* p, V v) { _mm256_storeu_si256(static_cast<V*>(p), v); }
// Four A16 values, each zero-extended to a pixel's 64 bits.
inline V LoadA16(const void* p) { return _mm256_cvtepu16_epi64(_mm_loadl_epi64(static_cast<const __m128i*>(p))); }
// Four C32 pixels widened.
inline V LoadC32(const void* p) { return _mm256_cvtepu8_epi16(_mm_loadu_si128(static_cast<const __m128i*>(p))); }

// Four pixels.
template <int Family, int Mode>
inline void Step4(uint16_t* dst, const uint8_t* src, const uint16_t* mask, V o2, V colour) {
  V s, vh;
  if constexpr (Family == FAM_A16 || Family == FAM_GLASS) {
    s = colour;
    vh = _mm256_shuffle_epi8(LoadA16(src), HighToColour());
  } else {
    s = Family == FAM_C32 || Family == FAM_C32_MASKED ? LoadC32(src) : LoadU(src);
    vh = _mm256_shuffle_epi8(s, AlphaToColour());
  }
  V mh = _mm256_setzero_si256();
  if constexpr (Family == FAM_C32_MASKED || Family == FAM_NEST_MASKED) {
    mh = _mm256_shuffle_epi8(LoadA16(mask), HighToColour());
  }
  const V w = Weights<Family>(vh, o2, mh);
  if (_mm256_testz_si256(w, w)) return;  // every mode gives D back at weight 0
  const V d = LoadU(dst);
  if constexpr (!NoMix(Family, Mode)) {
    // Weight 256 in every colour word (bit 8 set: no weight exceeds 256): the mix gives the
    // mode result itself.
    if (_mm256_testc_si256(w, _mm256_set1_epi64x(0x0000010001000100ll))) {
      StoreU(dst, _mm256_blend_epi16(ModeVec<Mode>(s, d), d, 0x88));
      return;
    }
  }
  StoreU(dst, Blend<Family, Mode>(s, d, _mm256_slli_epi16(w, 6)));
}

// Eight pixels.
template <int Family, int Mode>
inline void Step8(uint16_t* dst, const uint8_t* src, const uint16_t* mask, V o2, V colour) {
  constexpr size_t sb = kSourceBytes<Family>;
  if constexpr (Family == FAM_GLASS && Mode == myMODE_NORMAL) {
    const V a0 = MulHi(_mm256_shuffle_epi8(LoadA16(src), HighToAll()), o2);
    const V a1 = MulHi(_mm256_shuffle_epi8(LoadA16(src + 4 * sb), HighToAll()), o2);
    const V any = _mm256_or_si256(a0, a1);
    if (_mm256_testz_si256(any, any)) return;  // A = D.alpha and w = 0: nothing changes
    const V d0 = LoadU(dst), d1 = LoadU(dst + 16);
    V A0, A1, w0, w1;
    if (_mm256_testc_si256(_mm256_and_si256(a0, a1), K16(255))) {
      A0 = A1 = w0 = w1 = K16(255);  // full coverage: A = 255 and w = 255 * 256 / 256
    } else {
      GlassVec(a0, a1, _mm256_shuffle_epi8(d0, AlphaToAll()), _mm256_shuffle_epi8(d1, AlphaToAll()), A0, A1, w0, w1);
    }
    StoreU(dst, _mm256_blend_epi16(Mix(colour, d0, _mm256_slli_epi16(_mm256_and_si256(w0, ColourLanes()), 6)), A0, 0x88));
    StoreU(dst + 16, _mm256_blend_epi16(Mix(colour, d1, _mm256_slli_epi16(_mm256_and_si256(w1, ColourLanes()), 6)), A1, 0x88));
  } else {
    Step4<Family, Mode>(dst, src, mask, o2, colour);
    Step4<Family, Mode>(dst + 16, src + 4 * sb, mask ? mask + 4 : nullptr, o2, colour);
  }
}

template <int Family, int Mode>
void RowAvx2(const RowArgs& a) {
  constexpr size_t sb = kSourceBytes<Family>;
  const V o2 = K16(int(2 * a.o));
  const V colour = _mm256_cvtepu8_epi16(_mm_set1_epi32(int(a.colour)));
  const uint8_t* src = static_cast<const uint8_t*>(a.src);
  uint16_t* dst = a.dst;
  const uint16_t* mask = a.mask;
  const uint32_t n = a.n;
  uint32_t i = 0;
  if constexpr (Family == FAM_C32 && !NoMix(Family, Mode)) {
    // Painted layers are mostly clear or covered in runs: test the alpha bytes of eight
    // packed pixels before widening anything. Clear weighs 0 (D stays); covered at opacity
    // 128 weighs 256 (the mode result with D's alpha).
    const V alpha = _mm256_set1_epi32(int(0xFF000000u));
    const bool full = a.o == 128;
    for (; i + 8 <= n; i += 8) {
      const V p = LoadU(src + sb * i);
      if (_mm256_testz_si256(p, alpha)) continue;
      uint16_t* d8 = dst + 4 * i;
      if (full && _mm256_testc_si256(p, alpha)) {
        const V d0 = LoadU(d8), d1 = LoadU(d8 + 16);
        const V s0 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(p));
        const V s1 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(p, 1));
        StoreU(d8, _mm256_blend_epi16(ModeVec<Mode>(s0, d0), d0, 0x88));
        StoreU(d8 + 16, _mm256_blend_epi16(ModeVec<Mode>(s1, d1), d1, 0x88));
        continue;
      }
      Step8<Family, Mode>(d8, src + sb * i, nullptr, o2, colour);
    }
  }
  if constexpr (Family == FAM_A16 || Family == FAM_GLASS || Family == FAM_C32_MASKED) {
    // Clear groups weigh 0 and leave D: eight coverage bytes (A16 high bytes, or C32 alphas
    // or mask bytes) tested before anything is widened.
    const __m128i high = _mm_set1_epi16(short(0xFF00));
    const V alpha = _mm256_set1_epi32(int(0xFF000000u));
    for (; i + 8 <= n; i += 8) {
      if constexpr (Family == FAM_C32_MASKED) {
        if (_mm256_testz_si256(LoadU(src + sb * i), alpha) ||
            _mm_testz_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i)), high))
          continue;
      } else if (_mm_testz_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + sb * i)), high)) {
        continue;
      }
      Step8<Family, Mode>(dst + 4 * i, src + sb * i, mask ? mask + i : nullptr, o2, colour);
    }
  }
  for (; i + 8 <= n; i += 8) Step8<Family, Mode>(dst + 4 * i, src + sb * i, mask ? mask + i : nullptr, o2, colour);
  if (i < n) {
    // The last 1..7 pixels through a local block, so nothing past the span is read.
    const uint32_t k = n - i;
    alignas(32) uint16_t d[32] = {};
    alignas(32) uint8_t s[8 * sb] = {};
    alignas(32) uint16_t m[8] = {};
    std::memcpy(d, dst + 4 * i, 8 * k);
    std::memcpy(s, src + sb * i, sb * k);
    if (mask) std::memcpy(m, mask + i, 2 * k);
    Step8<Family, Mode>(d, s, m, o2, colour);
    std::memcpy(dst + 4 * i, d, 8 * k);
  }
}

void CopyAvx2(const RowArgs& a) {
  const uint8_t* s = static_cast<const uint8_t*>(a.src);
  uint32_t i = 0;
  for (; i + 4 <= a.n; i += 4) StoreU(a.dst + 4 * i, LoadC32(s + 4 * i));
  for (; i < a.n; ++i) {
    uint32_t p;
    std::memcpy(&p, s + 4 * i, 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(a.dst + 4 * i), _mm_cvtepu8_epi16(_mm_cvtsi32_si128(int(p))));
  }
}

void FillAvx2(uint16_t* dst, uint32_t n, uint32_t colour) {
  const V c = _mm256_cvtepu8_epi16(_mm_set1_epi32(int(colour)));
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) StoreU(dst + 4 * i, c);
  for (; i < n; ++i) _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 4 * i), _mm256_castsi256_si128(c));
}

// The background and the bottom colour layer in one go: a covered group of eight is the
// source's colour over the background's alpha, a clear one the background, any other is
// blended onto the background as the kernel would.
void FirstAvx2(const RowArgs& a) {
  const V background = _mm256_cvtepu8_epi16(_mm_set1_epi32(int(a.colour)));
  const V alpha = _mm256_set1_epi32(int(0xFF000000u));
  const V o2 = K16(256);
  const uint8_t* src = static_cast<const uint8_t*>(a.src);
  uint16_t* dst = a.dst;
  uint32_t i = 0;
  for (; i + 8 <= a.n; i += 8) {
    const V p = LoadU(src + 4 * i);
    uint16_t* d8 = dst + 4 * i;
    if (_mm256_testc_si256(p, alpha)) {
      StoreU(d8, _mm256_blend_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(p)), background, 0x88));
      StoreU(d8 + 16, _mm256_blend_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(p, 1)), background, 0x88));
      continue;
    }
    StoreU(d8, background);
    StoreU(d8 + 16, background);
    if (!_mm256_testz_si256(p, alpha)) Step8<FAM_C32, myMODE_NORMAL>(d8, src + 4 * i, nullptr, o2, background);
  }
  if (i < a.n) {
    RowArgs tail = a;
    tail.dst = dst + 4 * i;
    tail.src = src + 4 * i;
    tail.n = a.n - i;
    FillAvx2(tail.dst, tail.n, a.colour);
    RowAvx2<FAM_C32, myMODE_NORMAL>(tail);
  }
}

template <size_t... I>
constexpr KernelSet MakeAvx2Set(std::index_sequence<I...>) {
  return {{RowAvx2<int(I / 8), int(I % 8)>..., CopyAvx2}, FillAvx2, FirstAvx2};
}
constexpr KernelSet kAvx2 = MakeAvx2Set(std::make_index_sequence<COMPOSE_COPY>());

// ---- Lane entry points for the tests -------------------------------------------------------

template <int Family, int Mode>
void BlendLanes(const uint16_t* s, const uint16_t* d, const uint16_t* w, uint16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 16) {
    StoreU(out + i, Blend<Family, Mode>(LoadU(s + i), LoadU(d + i), _mm256_slli_epi16(LoadU(w + i), 6)));
  }
}

template <size_t... I>
void BlendLanesAt(size_t index, const uint16_t* s, const uint16_t* d, const uint16_t* w, uint16_t* out,
                  size_t n, std::index_sequence<I...>) {
  using Fn = void (*)(const uint16_t*, const uint16_t*, const uint16_t*, uint16_t*, size_t);
  static constexpr Fn table[] = {BlendLanes<int(I / 8), int(I % 8)>...};
  table[index](s, d, w, out, n);
}

template <int Family>
void WeightLanes(const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w, size_t n) {
  const V o2 = K16(int(2 * o));
  for (size_t i = 0; i < n; i += 16) {
    const V mh = m ? _mm256_slli_epi16(LoadU(m + i), 8) : _mm256_setzero_si256();
    StoreU(w + i, Weights<Family>(_mm256_slli_epi16(LoadU(v + i), 8), o2, mh));
  }
}

void BlendLanesImpl(int family, int mode, const uint16_t* s, const uint16_t* d, const uint16_t* w,
                    uint16_t* out, size_t n) {
  BlendLanesAt(size_t(family * 8 + mode), s, d, w, out, n, std::make_index_sequence<COMPOSE_COPY>());
}

void WeightLanesImpl(int family, const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w, size_t n) {
  switch (family) {
    case FAM_C32_MASKED: return WeightLanes<FAM_C32_MASKED>(v, o, m, w, n);
    case FAM_NEST: return WeightLanes<FAM_NEST>(v, o, m, w, n);
    case FAM_NEST_MASKED: return WeightLanes<FAM_NEST_MASKED>(v, o, m, w, n);
    default: return WeightLanes<FAM_A16>(v, o, m, w, n);
  }
}

// Eight (a, da) pairs a step, each spread over its pixel as the kernel has them.
void GlassLanesImpl(const uint16_t* a, const uint16_t* da, uint16_t* alpha, uint16_t* weight, size_t n) {
  for (size_t i = 0; i < n; i += 8) {
    alignas(32) uint16_t va[32], vd[32], vA[32], vw[32];
    for (int k = 0; k < 32; ++k) {
      va[k] = a[i + size_t(k / 4)];
      vd[k] = da[i + size_t(k / 4)];
    }
    V A0, A1, w0, w1;
    GlassVec(LoadU(va), LoadU(va + 16), LoadU(vd), LoadU(vd + 16), A0, A1, w0, w1);
    StoreU(vA, A0);
    StoreU(vA + 16, A1);
    StoreU(vw, w0);
    StoreU(vw + 16, w1);
    for (int k = 0; k < 8; ++k) {
      for (int c = 0; c < 4; ++c) {  // the same in every word of the pixel, or the kernel breaks
        if (vA[4 * k + c] != vA[4 * k] || vw[4 * k + c] != vw[4 * k]) vw[4 * k] = 0xFFFF;
      }
      alpha[i + size_t(k)] = vA[4 * k];
      weight[i + size_t(k)] = vw[4 * k];
    }
  }
}

void ComposeAvx2(ComposeWork* work, const ComposeEntry* entries, int count) {
  ComposeTile(work, entries, count, kAvx2);
}

}  // namespace
}  // namespace compose

AVX2_END

namespace compose {

bool HasAvx2() { return CpuHasAvx2(); }

void BlendLanesAvx2(int family, int mode, const uint16_t* s, const uint16_t* d, const uint16_t* w,
                    uint16_t* out, size_t n) {
  BlendLanesImpl(family, mode, s, d, w, out, n);
}
void WeightLanesAvx2(int family, const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w, size_t n) {
  WeightLanesImpl(family, v, o, m, w, n);
}
void GlassLanesAvx2(const uint16_t* a, const uint16_t* da, uint16_t* alpha, uint16_t* weight, size_t n) {
  GlassLanesImpl(a, da, alpha, weight, n);
}

}  // namespace compose

void LayerCompositorAvx2(ComposeWork* work, const ComposeEntry* entries, int count) {
  compose::ComposeAvx2(work, entries, count);
}

void LayerCompositor(ComposeWork* work, const ComposeEntry* entries, int count) {
  static const auto run = compose::HasAvx2() ? compose::ComposeAvx2 : LayerCompositorSse2;
  run(work, entries, count);
}
