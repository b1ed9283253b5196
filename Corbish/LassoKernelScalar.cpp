#include <cstring>

#include "LassoKernels.h"

namespace lasso {
namespace {

inline uint32_t Load32(const Source& s, int32_t col, int32_t row) {
  if (uint32_t(col) >= uint32_t(s.width) || uint32_t(row) >= uint32_t(s.height)) return 0;
  uint32_t v;
  std::memcpy(&v, s.pixels + size_t(row) * s.rowBytes + size_t(col) * 4, 4);
  return v;
}

inline uint16_t Load16(const Source& s, int32_t col, int32_t row) {
  if (uint32_t(col) >= uint32_t(s.width) || uint32_t(row) >= uint32_t(s.height)) return 0;
  uint16_t v;
  std::memcpy(&v, s.pixels + size_t(row) * s.rowBytes + size_t(col) * 2, 2);
  return v;
}

// The four taps of one bilinear sub-sample at (x, y), with their weights.
struct Taps {
  int32_t col[4], row[4];
  uint32_t w[4];
};
inline Taps TapsAt(int32_t x, int32_t y) {
  const int32_t vx = x - 128, vy = y - 128;
  const int32_t c = vx >> 8, r = vy >> 8;
  const uint32_t fx = uint32_t(vx & 255), fy = uint32_t(vy & 255);
  return Taps{
      {c, c + 1, c, c + 1}, {r, r, r + 1, r + 1}, {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy}};
}

}  // namespace

void GroupFootprint(Footprint& fp) {
  fp.groups = 0;
  for (int i = 0; i < 16; ++i) {
    int g = 0;
    while (g < fp.groups && (fp.gdx[g] != fp.dx[i] || fp.gdy[g] != fp.dy[i])) ++g;
    if (g == fp.groups) {
      fp.gdx[g] = fp.dx[i];
      fp.gdy[g] = fp.dy[i];
      fp.count[g] = 0;
      ++fp.groups;
    }
    ++fp.count[g];
  }
}

void SampleNearestC32(const Source& src, const int32_t* X, const int32_t* Y, int n, uint32_t* out) {
  for (int i = 0; i < n; ++i) out[i] = Load32(src, X[i] >> 8, Y[i] >> 8);
}

void SampleNearestA16(const Source& src, const int32_t* X, const int32_t* Y, int n, uint16_t* out) {
  for (int i = 0; i < n; ++i) out[i] = Load16(src, X[i] >> 8, Y[i] >> 8);
}

void SampleSuperC32Scalar(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                          uint32_t* out) {
  for (int i = 0; i < n; ++i) {
    uint64_t sb = 0, sg = 0, sr = 0, sa = 0;
    for (int e = 0; e < 16; ++e) {
      const Taps t = TapsAt(X[i] + fp.dx[e], Y[i] + fp.dy[e]);
      for (int k = 0; k < 4; ++k) {
        const uint32_t p = Load32(src, t.col[k], t.row[k]);
        const uint64_t wa = uint64_t(t.w[k]) * (p >> 24);
        sb += wa * (p & 0xFF);
        sg += wa * ((p >> 8) & 0xFF);
        sr += wa * ((p >> 16) & 0xFF);
        sa += wa;
      }
    }
    if (sa == 0) {
      out[i] = 0;
      continue;
    }
    out[i] = uint32_t(sa >> 20) << 24 | uint32_t(sr / sa) << 16 | uint32_t(sg / sa) << 8 | uint32_t(sb / sa);
  }
}

void SampleSuperA16Scalar(const Source& src, const Footprint& fp, const int32_t* X, const int32_t* Y, int n,
                          uint16_t* out) {
  for (int i = 0; i < n; ++i) {
    uint64_t sum = 0;
    for (int e = 0; e < 16; ++e) {
      const Taps t = TapsAt(X[i] + fp.dx[e], Y[i] + fp.dy[e]);
      for (int k = 0; k < 4; ++k) sum += uint64_t(t.w[k]) * (Load16(src, t.col[k], t.row[k]) >> 8);
    }
    out[i] = uint16_t((sum >> 20) << 8);
  }
}

void CompositeRowScalar(uint32_t* dst, const uint32_t* src, int n) {
  for (int i = 0; i < n; ++i) dst[i] = CompositeOver(src[i], dst[i]);
}

void MaxRowScalar(uint16_t* dst, const uint16_t* src, int n) {
  for (int i = 0; i < n; ++i)
    if (src[i] > dst[i]) dst[i] = src[i];
}

}  // namespace lasso
