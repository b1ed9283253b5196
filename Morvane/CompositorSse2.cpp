// The compositor's kernels with SSE2: eight pixels a step (two per register, four 16-bit
// lanes each), bit-exact to the scalar kernels. Every unsigned product stays under 65,536 and
// every signed one within 16 bits before its high half is taken, so 16-bit lanes never need
// widening; min/max may be signed since values stay below 512. The weights are formed once
// for eight pixels and spread over their lanes.
#include <emmintrin.h>

#include <cstring>
#include <utility>

#include "CompositorKernels.h"

namespace compose {
namespace {

inline __m128i K16(int v) { return _mm_set1_epi16(short(v)); }
// Lanes 0..2 of each pixel (the colour), and lane 3 (alpha).
inline __m128i ColourLanes() { return _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1); }
inline __m128i AlphaLanes() { return _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0); }

inline __m128i Mul(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
inline __m128i MulHi(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
inline __m128i Weight(__m128i a) { return _mm_add_epi16(a, _mm_srli_epi16(a, 7)); }

// Eight weights from coverage bytes held in the high byte of their lanes (vh = v << 8), twice
// the opacity (o2) and mask bytes held likewise (mh): (v * o) >> 7 is the high half of
// vh * o2, and (x * m) >> 8 the high half of x * mh, one multiply each.
template <int Family>
inline __m128i Weights(__m128i vh, __m128i o2, __m128i mh) {
  if constexpr (Family == FAM_NEST) {
    return MulHi(vh, o2);
  } else if constexpr (Family == FAM_NEST_MASKED) {
    return _mm_srli_epi16(Mul(_mm_srli_epi16(MulHi(vh, mh), 8), o2), 8);
  } else if constexpr (Family == FAM_C32_MASKED) {
    return Weight(MulHi(Weight(MulHi(vh, o2)), mh));
  } else {
    return Weight(MulHi(vh, o2));
  }
}

// The kernels carry the weight as w64 = w << 6 (0..16384), so that one signed high-half
// multiply gives floor(x * w / 256) for any x in -255..255: 4x * 64w = 256 x w exactly.
//
// (b * w + d * (256 - w)) >> 8 = d + floor((b - d) * w / 256).
inline __m128i Mix(__m128i b, __m128i d, __m128i w64) {
  return _mm_add_epi16(d, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(b, d), 2), w64));
}

template <int Mode>
inline __m128i ModeVec(__m128i s, __m128i d) {
  if constexpr (Mode == myMODE_NORMAL) return s;
  if constexpr (Mode == myMODE_SOFTLIGHT)
    return _mm_add_epi16(d, _mm_srli_epi16(Mul(s, _mm_sub_epi16(K16(256), d)), 8));
  if constexpr (Mode == myMODE_SOFTSHADOW) return _mm_srli_epi16(Mul(_mm_add_epi16(s, K16(1)), d), 8);
  if constexpr (Mode == myMODE_HARDLIGHT) return _mm_min_epi16(_mm_add_epi16(s, d), K16(255));
  if constexpr (Mode == myMODE_HARDSHADOW) return _mm_subs_epu16(_mm_add_epi16(s, d), K16(255));
  if constexpr (Mode == myMODE_LIGHTEN) return _mm_max_epi16(s, d);
  if constexpr (Mode == myMODE_DARKEN) return _mm_min_epi16(s, d);
  if constexpr (Mode == myMODE_DIFFERENCE) return _mm_xor_si128(s, d);
  return s;
}

// The weight as w64. Hard light without mix: d + ((s * w) >> 8), at most 255. Hard shadow
// without mix: (s * w + 255 * (256 - w)) >> 8 = 255 + floor((s - 255) * w / 256), so the
// result is d + floor((s - 255) * w / 256), at least 0.
template <int Family, int Mode>
inline __m128i Blend(__m128i s, __m128i d, __m128i w64) {
  if constexpr (NoMix(Family, Mode) && Mode == myMODE_HARDLIGHT) {
    return _mm_min_epi16(_mm_add_epi16(d, _mm_mulhi_epi16(_mm_slli_epi16(s, 2), w64)), K16(255));
  } else if constexpr (NoMix(Family, Mode)) {
    const __m128i t = _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(s, K16(255)), 2), w64);
    return _mm_max_epi16(_mm_add_epi16(d, t), _mm_setzero_si128());
  } else {
    return Mix(ModeVec<Mode>(s, d), d, w64);
  }
}

// Glass mode 0: result alpha A and colour weight w from coverage a and destination alpha da.
// The quotient of two integers below 2^16 and 257, rounded to a float, truncates to the
// exact integer quotient (its error is below 2^-8, the least distance to the next integer).
inline void GlassVec(__m128i a, __m128i da, __m128i& A, __m128i& w) {
  const __m128i zero = _mm_setzero_si128();
  A = _mm_add_epi16(_mm_srli_epi16(Mul(_mm_sub_epi16(K16(255), a), _mm_add_epi16(da, K16(1))), 8), a);
  const __m128i num = _mm_slli_epi16(a, 8);
  const __m128i den = _mm_add_epi16(A, K16(1));
  const __m128 qlo = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(num, zero)),
                                _mm_cvtepi32_ps(_mm_unpacklo_epi16(den, zero)));
  const __m128 qhi = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(num, zero)),
                                _mm_cvtepi32_ps(_mm_unpackhi_epi16(den, zero)));
  w = _mm_packs_epi32(_mm_cvttps_epi32(qlo), _mm_cvttps_epi32(qhi));
}

// Eight per-pixel values spread over the four lanes of their pixel, kept in the given lanes:
// pixels 0-1 in v0, 2-3 in v1, 4-5 in v2, 6-7 in v3.
struct Quad {
  __m128i v0, v1, v2, v3;
};
inline Quad Spread(__m128i v, __m128i lanes) {
  const __m128i lo = _mm_unpacklo_epi16(v, v), hi = _mm_unpackhi_epi16(v, v);
  return {_mm_and_si128(_mm_unpacklo_epi32(lo, lo), lanes), _mm_and_si128(_mm_unpackhi_epi32(lo, lo), lanes),
          _mm_and_si128(_mm_unpacklo_epi32(hi, hi), lanes), _mm_and_si128(_mm_unpackhi_epi32(hi, hi), lanes)};
}

// The alpha lanes of eight widened pixels as eight 16-bit values.
inline __m128i Alphas(const Quad& p) {
  const __m128i a01 = _mm_packs_epi32(_mm_srli_epi64(p.v0, 48), _mm_srli_epi64(p.v1, 48));
  const __m128i a23 = _mm_packs_epi32(_mm_srli_epi64(p.v2, 48), _mm_srli_epi64(p.v3, 48));
  return _mm_packs_epi32(a01, a23);
}

inline bool AllZero(__m128i v) {
  return _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) == 0xFFFF;
}

inline __m128i LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void StoreU(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

template <int Family>
constexpr size_t kSourceBytes = Family == FAM_A16 || Family == FAM_GLASS ? 2
                                : Family == FAM_NEST || Family == FAM_NEST_MASKED ? 8
                                                                                  : 4;

// Eight pixels: dst the current row, src the source at the same pixel, mask likewise.
template <int Family, int Mode>
inline void Step8(uint16_t* dst, const uint8_t* src, const uint16_t* mask, __m128i o2, __m128i colour) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = K16(0xFF00);
  Quad s;
  __m128i vh;  // the coverage bytes, each in the high byte of its lane
  if constexpr (Family == FAM_A16 || Family == FAM_GLASS) {
    vh = _mm_and_si128(LoadU(src), high);
    s = {colour, colour, colour, colour};
  } else if constexpr (Family == FAM_C32 || Family == FAM_C32_MASKED) {
    const __m128i p0 = LoadU(src), p1 = LoadU(src + 16);
    vh = _mm_slli_epi16(_mm_packs_epi32(_mm_srli_epi32(p0, 24), _mm_srli_epi32(p1, 24)), 8);
    s = {_mm_unpacklo_epi8(p0, zero), _mm_unpackhi_epi8(p0, zero), _mm_unpacklo_epi8(p1, zero),
         _mm_unpackhi_epi8(p1, zero)};
  } else {
    s = {LoadU(src), LoadU(src + 16), LoadU(src + 32), LoadU(src + 48)};
    vh = _mm_slli_epi16(Alphas(s), 8);
  }
  __m128i mh = zero;
  if constexpr (Family == FAM_C32_MASKED || Family == FAM_NEST_MASKED) mh = _mm_and_si128(LoadU(mask), high);

  if constexpr (Family == FAM_GLASS && Mode == myMODE_NORMAL) {
    const __m128i a = MulHi(vh, o2);
    if (AllZero(a)) return;  // A = D.alpha and w = 0: nothing changes
    const Quad d = {LoadU(dst), LoadU(dst + 8), LoadU(dst + 16), LoadU(dst + 24)};
    __m128i A, w;
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, K16(255))) == 0xFFFF) {
      A = w = K16(255);  // full coverage: A = 255 and w = 255 * 256 / 256
    } else {
      GlassVec(a, Alphas(d), A, w);
    }
    const Quad ws = Spread(_mm_slli_epi16(w, 6), ColourLanes()), as = Spread(A, AlphaLanes());
    const __m128i keep = ColourLanes();
    StoreU(dst, _mm_or_si128(_mm_and_si128(Mix(s.v0, d.v0, ws.v0), keep), as.v0));
    StoreU(dst + 8, _mm_or_si128(_mm_and_si128(Mix(s.v1, d.v1, ws.v1), keep), as.v1));
    StoreU(dst + 16, _mm_or_si128(_mm_and_si128(Mix(s.v2, d.v2, ws.v2), keep), as.v2));
    StoreU(dst + 24, _mm_or_si128(_mm_and_si128(Mix(s.v3, d.v3, ws.v3), keep), as.v3));
  } else {
    const __m128i w = Weights<Family>(vh, o2, mh);
    if (AllZero(w)) return;  // every mode gives D back at weight 0
    if constexpr (!NoMix(Family, Mode)) {
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(w, K16(256))) == 0xFFFF) {
        // Weight 256 throughout: the mix gives the mode result itself, alpha kept.
        auto full = [](uint16_t* p, __m128i sv) {
          const __m128i d = LoadU(p);
          StoreU(p, _mm_or_si128(_mm_and_si128(ModeVec<Mode>(sv, d), ColourLanes()), _mm_and_si128(d, AlphaLanes())));
        };
        full(dst, s.v0);
        full(dst + 8, s.v1);
        full(dst + 16, s.v2);
        full(dst + 24, s.v3);
        return;
      }
    }
    const Quad ws = Spread(_mm_slli_epi16(w, 6), ColourLanes());
    StoreU(dst, Blend<Family, Mode>(s.v0, LoadU(dst), ws.v0));
    StoreU(dst + 8, Blend<Family, Mode>(s.v1, LoadU(dst + 8), ws.v1));
    StoreU(dst + 16, Blend<Family, Mode>(s.v2, LoadU(dst + 16), ws.v2));
    StoreU(dst + 24, Blend<Family, Mode>(s.v3, LoadU(dst + 24), ws.v3));
  }
}

template <int Family, int Mode>
void RowSse2(const RowArgs& a) {
  constexpr size_t sb = kSourceBytes<Family>;
  const __m128i o2 = K16(int(2 * a.o));
  const __m128i colour = _mm_unpacklo_epi8(_mm_set1_epi32(int(a.colour)), _mm_setzero_si128());
  const uint8_t* src = static_cast<const uint8_t*>(a.src);
  uint16_t* dst = a.dst;  // locals: the stores may alias the arguments
  const uint16_t* mask = a.mask;
  const uint32_t n = a.n;
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) Step8<Family, Mode>(dst + 4 * i, src + sb * i, mask ? mask + i : nullptr, o2, colour);
  if (i < n) {
    // The last 1..7 pixels through a local block, so nothing past the span is read.
    const uint32_t k = n - i;
    alignas(16) uint16_t d[32] = {};
    alignas(16) uint8_t s[8 * sb] = {};
    alignas(16) uint16_t m[8] = {};
    std::memcpy(d, dst + 4 * i, 8 * k);
    std::memcpy(s, src + sb * i, sb * k);
    if (mask) std::memcpy(m, mask + i, 2 * k);
    Step8<Family, Mode>(d, s, m, o2, colour);
    std::memcpy(dst + 4 * i, d, 8 * k);
  }
}

void CopySse2(const RowArgs& a) {
  const __m128i zero = _mm_setzero_si128();
  const uint32_t* s = static_cast<const uint32_t*>(a.src);
  __m128i* d = reinterpret_cast<__m128i*>(a.dst);
  uint32_t i = 0;
  for (; i + 4 <= a.n; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(d + i / 2, _mm_unpacklo_epi8(p, zero));
    _mm_storeu_si128(d + i / 2 + 1, _mm_unpackhi_epi8(p, zero));
  }
  for (; i < a.n; ++i) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(a.dst + 4 * i),
                     _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(s[i])), zero));
  }
}

void FillSse2(uint16_t* dst, uint32_t n, uint32_t colour) {
  const __m128i c = _mm_unpacklo_epi8(_mm_set1_epi32(int(colour)), _mm_setzero_si128());
  uint32_t i = 0;
  for (; i + 2 <= n; i += 2) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), c);
  if (i < n) _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 4 * i), c);
}

void FirstSse2(const RowArgs& a) {
  FillSse2(a.dst, a.n, a.colour);
  RowSse2<FAM_C32, myMODE_NORMAL>(a);
}

template <size_t... I>
constexpr KernelSet MakeSse2Set(std::index_sequence<I...>) {
  return {{RowSse2<int(I / 8), int(I % 8)>..., CopySse2}, FillSse2, FirstSse2};
}
constexpr KernelSet kSse2 = MakeSse2Set(std::make_index_sequence<COMPOSE_COPY>());

// ---- Lane entry points for the tests -------------------------------------------------------

inline __m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <int Family, int Mode>
void BlendLanes(const uint16_t* s, const uint16_t* d, const uint16_t* w, uint16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 8) {
    Store(out + i, Blend<Family, Mode>(Load(s + i), Load(d + i), _mm_slli_epi16(Load(w + i), 6)));
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
  const __m128i o2 = K16(int(2 * o));
  for (size_t i = 0; i < n; i += 8) {
    const __m128i mh = m ? _mm_slli_epi16(Load(m + i), 8) : _mm_setzero_si128();
    Store(w + i, Weights<Family>(_mm_slli_epi16(Load(v + i), 8), o2, mh));
  }
}

}  // namespace

void BlendLanesSse2(int family, int mode, const uint16_t* s, const uint16_t* d, const uint16_t* w,
                    uint16_t* out, size_t n) {
  BlendLanesAt(size_t(family * 8 + mode), s, d, w, out, n, std::make_index_sequence<COMPOSE_COPY>());
}

void WeightLanesSse2(int family, const uint16_t* v, uint32_t o, const uint16_t* m, uint16_t* w, size_t n) {
  switch (family) {
    case FAM_C32_MASKED: return WeightLanes<FAM_C32_MASKED>(v, o, m, w, n);
    case FAM_NEST: return WeightLanes<FAM_NEST>(v, o, m, w, n);
    case FAM_NEST_MASKED: return WeightLanes<FAM_NEST_MASKED>(v, o, m, w, n);
    default: return WeightLanes<FAM_A16>(v, o, m, w, n);
  }
}

void GlassLanesSse2(const uint16_t* a, const uint16_t* da, uint16_t* alpha, uint16_t* weight, size_t n) {
  for (size_t i = 0; i < n; i += 8) {
    __m128i A, w;
    GlassVec(Load(a + i), Load(da + i), A, w);
    Store(alpha + i, A);
    Store(weight + i, w);
  }
}

}  // namespace compose

void LayerCompositorSse2(ComposeWork* work, const ComposeEntry* entries, int count) {
  compose::ComposeTile(work, entries, count, compose::kSse2);
}
