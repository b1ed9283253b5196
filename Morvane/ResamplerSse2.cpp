// The SSE2 resampler and output copy, bit-exact to ResamplerScalar.cpp.
//
// Two roads for ResampleTile:
// - Axis-aligned views (sine 0: 0 or 180 degrees, any zoom, either flip): the column of a
//   sample depends only on x and its row only on y, so both come from small per-tile tables.
//   A row whose eight samples all hit one accumulator pixel per output pixel is a gather (a
//   plain copy when the columns run on one by one); the sum of eight equal lanes shifted
//   right by 3 is the lane modulo 8192, hence the mask.
// - Any other view: four output pixels of a row at a time; the rotation by a 16-bit
//   multiply-add of (X, Y) pairs, the scale by a signed high multiply, the sample offsets by
//   a multiply-add of (column, row) pairs with (8, 3200), two sub-samples per register.
#include <emmintrin.h>

#include <cstring>

#include "Resampler.h"
#include "TargetAvx2.h"

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

// Sine 0: per-tile tables of the eight sample columns (as byte offsets) per x and the eight
// sample rows per y.
void ResampleAxisAligned(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  const int width = p.width, height = p.height;
  alignas(16) int32_t colOff[TILE_SIDE][8];
  alignas(16) int32_t rowOff[TILE_SIDE][8];
  int32_t colOne[TILE_SIDE];  // the common column offset, or -1 when the samples differ
  bool colsOne = true, colsRun = true;
  for (int x = 0; x < width; ++x) {
    for (int k = 0; k < 8; ++k) {
      int c = 0, r = 0;
      ResampleSample(p, x, 0, k, &c, &r);
      colOff[x][k] = c * 8;
    }
    bool one = true;
    for (int k = 1; k < 8; ++k) one = one && colOff[x][k] == colOff[x][0];
    colOne[x] = one ? colOff[x][0] : -1;
    colsOne = colsOne && one;
    colsRun = colsRun && one && (x == 0 || colOne[x] == colOne[x - 1] + 8);
  }
  for (int y = 0; y < height; ++y)
    for (int k = 0; k < 8; ++k) {
      int c = 0, r = 0;
      ResampleSample(p, 0, y, k, &c, &r);
      rowOff[y][k] = r * kRowBytes;
    }

  const uint8_t* acc = reinterpret_cast<const uint8_t*>(work->acc);
  const __m128i mask = _mm_set1_epi16(0x1FFF);
  for (int y = 0; y < height; ++y) {
    const int32_t* ro = rowOff[y];
    bool rowOne = true;
    for (int k = 1; k < 8; ++k) rowOne = rowOne && ro[k] == ro[0];
    uint16_t* dst = out->px[y][0];
    if (rowOne && colsRun) {
      const uint8_t* src = acc + ro[0] + colOne[0];
      for (int x = 0; x < width; x += 4) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * x));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * x + 16));
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 4 * x), _mm_and_si128(v0, mask));
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 4 * x + 8), _mm_and_si128(v1, mask));
      }
    } else if (rowOne && colsOne) {
      const uint8_t* src = acc + ro[0];
      for (int x = 0; x < width; x += 2) {
        const __m128i v = Load2(src, colOne[x], colOne[x + 1]);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 4 * x), _mm_and_si128(v, mask));
      }
    } else {
      for (int x = 0; x < width; x += 2) {
        const int32_t* c0 = colOff[x];
        const int32_t* c1 = colOff[x + 1];
        __m128i s = _mm_setzero_si128();
        for (int k = 0; k < 8; ++k) s = _mm_add_epi16(s, Load2(acc + ro[k], c0[k], c1[k]));
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 4 * x), _mm_srli_epi16(s, 3));
      }
    }
  }
}

void ResampleRotated(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  // Offsets are taken from accumulator pixel (200, 200): the anchor's 200 need not be added.
  const uint8_t* acc = reinterpret_cast<const uint8_t*>(work->acc[ACC_ANCHOR][ACC_ANCHOR]);
  const __m128i cs = _mm_set1_epi32(int32_t(uint16_t(p.cosQ14)) | (int32_t(p.sinQ14) << 16));
  const __m128i nsc = _mm_set1_epi32(int32_t(uint16_t(int16_t(-p.sinQ14))) | (int32_t(p.cosQ14) << 16));
  const __m128i step = _mm_set1_epi16(p.step);
  const __m128i addr = _mm_set1_epi32(8 | (kRowBytes << 16));
  __m128i du[4], dv[4];
  for (int q = 0; q < 4; ++q) {
    du[q] = _mm_set_epi16(RESAMPLE_DU[2 * q + 1], RESAMPLE_DU[2 * q + 1], RESAMPLE_DU[2 * q + 1],
                          RESAMPLE_DU[2 * q + 1], RESAMPLE_DU[2 * q], RESAMPLE_DU[2 * q], RESAMPLE_DU[2 * q],
                          RESAMPLE_DU[2 * q]);
    dv[q] = _mm_set_epi16(RESAMPLE_DV[2 * q + 1], RESAMPLE_DV[2 * q + 1], RESAMPLE_DV[2 * q + 1],
                          RESAMPLE_DV[2 * q + 1], RESAMPLE_DV[2 * q], RESAMPLE_DV[2 * q], RESAMPLE_DV[2 * q],
                          RESAMPLE_DV[2 * q]);
  }
  // X of four neighbours: the first, then 32 further each (32 back under the flip).
  const int16_t dx = p.flip ? -32 : 32;
  const __m128i xStep = _mm_set1_epi16(int16_t(4 * dx));
  const int16_t x0 = int16_t(p.flip ? p.ax - 16 : 16 - p.ax);
  const __m128i xFirst = _mm_set_epi16(0, 0, 0, 0, int16_t(x0 + 3 * dx), int16_t(x0 + 2 * dx),
                                       int16_t(x0 + dx), x0);
  // The offsets of a whole row first, then the loads: kept apart, the offsets go through
  // memory (a load for two) instead of being extracted from the registers one by one. A word
  // holds the offsets of two pixels for one sample.
  alignas(16) uint64_t off[TILE_SIDE / 4][8][2];
  for (int y = 0; y < p.height; ++y) {
    const __m128i Y = _mm_set1_epi16(int16_t(32 * y + 16 - p.ay));
    __m128i X = xFirst;
    for (int g = 0; g < p.width / 4; ++g, X = _mm_add_epi16(X, xStep)) {
      const __m128i xy = _mm_unpacklo_epi16(X, Y);
      __m128i U = _mm_srai_epi32(_mm_madd_epi16(xy, cs), 14);
      __m128i V = _mm_srai_epi32(_mm_madd_epi16(xy, nsc), 14);
      // Keep the low 16 bits of each (the pack saturates, the reference wraps).
      U = _mm_srai_epi32(_mm_slli_epi32(U, 16), 16);
      V = _mm_srai_epi32(_mm_slli_epi32(V, 16), 16);
      const __m128i uu = _mm_packs_epi32(U, U);
      const __m128i vv = _mm_packs_epi32(V, V);
      for (int q = 0; q < 4; ++q) {
        __m128i c = _mm_mulhi_epi16(_mm_add_epi16(uu, du[q]), step);
        __m128i r = _mm_mulhi_epi16(_mm_add_epi16(vv, dv[q]), step);
        _mm_store_si128(reinterpret_cast<__m128i*>(off[g][2 * q]), _mm_madd_epi16(_mm_unpacklo_epi16(c, r), addr));
        _mm_store_si128(reinterpret_cast<__m128i*>(off[g][2 * q + 1]),
                        _mm_madd_epi16(_mm_unpackhi_epi16(c, r), addr));
      }
    }
    uint16_t* dst = out->px[y][0];
    for (int g = 0; g < p.width / 4; ++g) {
      const uint64_t(*o)[2] = off[g];
      __m128i a = Load2(acc, o[0][0]);
      __m128i b = Load2(acc, o[0][1]);
      for (int k = 1; k < 8; ++k) {
        a = _mm_add_epi16(a, Load2(acc, o[k][0]));
        b = _mm_add_epi16(b, Load2(acc, o[k][1]));
      }
      _mm_store_si128(reinterpret_cast<__m128i*>(dst + 16 * g), _mm_srli_epi16(a, 3));
      _mm_store_si128(reinterpret_cast<__m128i*>(dst + 16 * g + 8), _mm_srli_epi16(b, 3));
    }
  }
}

}  // namespace

void ResampleTileSse2(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  if (p.sinQ14 == 0)
    ResampleAxisAligned(p, work, out);
  else
    ResampleRotated(p, work, out);
}

bool ResamplerHasAvx2() { return CpuHasAvx2(); }

void ResampleTile(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  if (p.sinQ14 != 0 && ResamplerHasAvx2())
    ResampleRotatedAvx2(p, work, out);
  else
    ResampleTileSse2(p, work, out);
}

void CopyTileSse2(const TileRows* rows, int width, int height, int left, int rowBase, int pitchBytes,
                  uint8_t* bits) {
  for (int j = 0; j < height; ++j) {
    uint8_t* dst = bits + std::ptrdiff_t(rowBase + TILE_SIDE - 1 - j) * pitchBytes + std::ptrdiff_t(left) * 4;
    const __m128i* src = reinterpret_cast<const __m128i*>(rows->px[j][0]);
    for (int x = 0; x < width; x += 4, src += 2)
      _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 4 * x),
                       _mm_packus_epi16(_mm_load_si128(src), _mm_load_si128(src + 1)));
  }
}
