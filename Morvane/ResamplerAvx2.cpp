// The rotated road of the resampler with AVX2, bit-exact to ResamplerScalar.cpp: the sample
// offsets of eight output pixels a register (the SSE2 version forms four), the loads and sums
// as in SSE2. Only this file's own functions are built for AVX2 (the pragma follows every
// include), and ResampleTile runs them only on a processor that has AVX2.
#include <immintrin.h>

#include "Resampler.h"
#include "TargetAvx2.h"

AVX2_BEGIN

namespace {

constexpr int kRowBytes = ACC_SIDE * 8;

inline __m128i Load2(const uint8_t* base, int32_t o0, int32_t o1) {
  __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + o0));
  return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), reinterpret_cast<const double*>(base + o1)));
}
// The samples of two pixels whose offsets share one 64-bit word: one load for both offsets
// (the loads bound the sums, the split is cheap).
inline __m128i Load2(const uint8_t* base, uint64_t offsets) {
  return Load2(base, int32_t(uint32_t(offsets)), int32_t(offsets >> 32));
}

void RotatedAvx2(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  // Offsets are taken from accumulator pixel (200, 200).
  const uint8_t* acc = reinterpret_cast<const uint8_t*>(work->acc[ACC_ANCHOR][ACC_ANCHOR]);
  const __m256i cs = _mm256_set1_epi32(int32_t(uint16_t(p.cosQ14)) | (int32_t(p.sinQ14) << 16));
  const __m256i nsc = _mm256_set1_epi32(int32_t(uint16_t(int16_t(-p.sinQ14))) | (int32_t(p.cosQ14) << 16));
  const __m256i step = _mm256_set1_epi16(p.step);
  const __m256i addr = _mm256_set1_epi32(8 | (kRowBytes << 16));
  // Within each 128-bit half: four columns then four rows, interleaved into (column, row).
  const __m256i pairs = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,  //
                                         0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  __m256i duv[8];
  for (int k = 0; k < 8; ++k) {
    const int16_t u = RESAMPLE_DU[k], v = RESAMPLE_DV[k];
    duv[k] = _mm256_setr_epi16(u, u, u, u, v, v, v, v, u, u, u, u, v, v, v, v);
  }
  // (X, Y) pairs of eight neighbours: X the first, then 32 further each (32 back under the
  // flip); 16-bit additions step X alone.
  const int16_t dx = p.flip ? -32 : 32;
  const int16_t x0 = int16_t(p.flip ? p.ax - 16 : 16 - p.ax);
  const __m256i xStep = _mm256_set1_epi32(uint16_t(int16_t(8 * dx)));
  alignas(32) int16_t xs[16] = {};
  for (int i = 0; i < 8; ++i) xs[2 * i] = int16_t(x0 + i * dx);
  const __m256i xFirst = _mm256_load_si256(reinterpret_cast<const __m256i*>(xs));

  // A word holds the offsets of two pixels for one sample.
  alignas(32) uint64_t off[TILE_SIDE / 8][8][4];
  const int groups = p.width / 8, rest = p.width % 8;  // a last group of four when width is 4 mod 8
  const int all = groups + (rest ? 1 : 0);
  for (int y = 0; y < p.height; ++y) {
    const __m256i Y = _mm256_set1_epi32(int32_t(uint32_t(uint16_t(32 * y + 16 - p.ay)) << 16));
    __m256i xy = _mm256_or_si256(xFirst, Y);
    for (int g = 0; g < all; ++g, xy = _mm256_add_epi16(xy, xStep)) {
      __m256i U = _mm256_srai_epi32(_mm256_madd_epi16(xy, cs), 14);
      __m256i V = _mm256_srai_epi32(_mm256_madd_epi16(xy, nsc), 14);
      // Keep the low 16 bits of each (the pack saturates, the reference wraps).
      U = _mm256_srai_epi32(_mm256_slli_epi32(U, 16), 16);
      V = _mm256_srai_epi32(_mm256_slli_epi32(V, 16), 16);
      const __m256i uv = _mm256_packs_epi32(U, V);  // per half: four U, four V
      for (int k = 0; k < 8; ++k) {
        const __m256i cr = _mm256_mulhi_epi16(_mm256_add_epi16(uv, duv[k]), step);
        _mm256_store_si256(reinterpret_cast<__m256i*>(off[g][k]),
                           _mm256_madd_epi16(_mm256_shuffle_epi8(cr, pairs), addr));
      }
    }
    uint16_t* dst = out->px[y][0];
    for (int g = 0; g < all; ++g) {
      const uint64_t(*o)[4] = off[g];
      const int quads = (g < groups) ? 2 : 1;
      for (int q = 0; q < quads; ++q) {
        __m128i a = Load2(acc, o[0][2 * q]);
        __m128i b = Load2(acc, o[0][2 * q + 1]);
        for (int k = 1; k < 8; ++k) {
          a = _mm_add_epi16(a, Load2(acc, o[k][2 * q]));
          b = _mm_add_epi16(b, Load2(acc, o[k][2 * q + 1]));
        }
        uint16_t* at = dst + 32 * g + 16 * q;
        _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_srli_epi16(a, 3));
        _mm_store_si128(reinterpret_cast<__m128i*>(at + 8), _mm_srli_epi16(b, 3));
      }
    }
  }
}

}  // namespace

void ResampleRotatedAvx2(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  RotatedAvx2(p, work, out);
}

AVX2_END
