// The reference rows of the layer utility (the rules are in UtilityKernels.h).
#include <algorithm>

#include "UtilityKernels.h"

namespace xform {
namespace {

template <class T>
inline T Corner(const SampleLine& line, int64_t x, int64_t y) {
  // Unsigned compares put -1 outside as well.
  if (uint64_t(x) >= uint64_t(line.width) || uint64_t(y) >= uint64_t(line.height)) return 0;
  return static_cast<const T*>(line.src)[size_t(y) * line.pitch + size_t(x)];
}

struct Weights {
  uint32_t w[4];  // (ix, iy), (ix+1, iy), (ix, iy+1), (ix+1, iy+1)
};
inline Weights Weigh(uint32_t fx, uint32_t fy) {
  const uint32_t w11 = (fx * fy + 128) >> 8;
  return {{256 - fx - fy + w11, fx - w11, fy - w11, w11}};
}

}  // namespace

void SampleRowC32Scalar(uint32_t* dst, size_t n, const SampleLine& line) {
  for (size_t i = 0; i < n; ++i) {
    const SamplePoint p = Locate(line, i);
    const Weights wt = Weigh(p.fx, p.fy);
    const uint32_t px[4] = {Corner<uint32_t>(line, p.ix, p.iy), Corner<uint32_t>(line, p.ix + 1, p.iy),
                            Corner<uint32_t>(line, p.ix, p.iy + 1), Corner<uint32_t>(line, p.ix + 1, p.iy + 1)};
    uint32_t A = 0, C[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const uint32_t wa = wt.w[k] * (px[k] >> 24);
      A += wa;
      for (int c = 0; c < 3; ++c) C[c] += wa * ((px[k] >> (8 * c)) & 0xFF);
    }
    const uint32_t alpha = (A + 128) >> 8;
    if (alpha == 0) {
      dst[i] = 0;
      continue;
    }
    uint32_t out = alpha << 24;
    for (int c = 0; c < 3; ++c) out |= ((C[c] + A / 2) / A) << (8 * c);
    dst[i] = out;
  }
}

void SampleRowA16Scalar(uint16_t* dst, size_t n, const SampleLine& line) {
  for (size_t i = 0; i < n; ++i) {
    const SamplePoint p = Locate(line, i);
    const Weights wt = Weigh(p.fx, p.fy);
    const uint32_t s = wt.w[0] * Corner<uint16_t>(line, p.ix, p.iy) + wt.w[1] * Corner<uint16_t>(line, p.ix + 1, p.iy) +
                       wt.w[2] * Corner<uint16_t>(line, p.ix, p.iy + 1) +
                       wt.w[3] * Corner<uint16_t>(line, p.ix + 1, p.iy + 1);
    dst[i] = uint16_t((s + 128) >> 8);
  }
}

void ScaleColumnC32Scalar(float* acc, size_t n, const uint32_t* const* rows, const float* weight, int taps) {
  std::fill(acc, acc + 4 * n, 0.0f);
  for (int t = 0; t < taps; ++t) {
    const float w = weight[t];
    const uint32_t* row = rows[t];
    for (size_t i = 0; i < n; ++i) {
      const uint32_t p = row[i];
      const float a = float(p >> 24);
      for (int c = 0; c < 3; ++c) acc[4 * i + c] += w * (float((p >> (8 * c)) & 0xFF) * a);
      acc[4 * i + 3] += w * a;
    }
  }
}

void ScaleColumnA16Scalar(float* acc, size_t n, const uint16_t* const* rows, const float* weight, int taps) {
  std::fill(acc, acc + n, 0.0f);
  for (int t = 0; t < taps; ++t) {
    const float w = weight[t];
    const uint16_t* row = rows[t];
    for (size_t i = 0; i < n; ++i) acc[i] += w * float(row[i]);
  }
}

void ScaleRowC32Scalar(uint32_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps) {
  for (size_t j = 0; j < n; ++j) {
    float S[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float* at = acc + 4 * size_t(start[j]);
    const float* wt = weight + j * size_t(taps);
    for (int t = 0; t < taps; ++t)
      for (int c = 0; c < 4; ++c) S[c] += wt[t] * at[4 * t + c];
    const uint32_t alpha = std::min<uint32_t>(255, uint32_t(int32_t(S[3] + 0.5f)));
    if (alpha == 0) {
      dst[j] = 0;
      continue;
    }
    uint32_t out = alpha << 24;
    const float inv = 1.0f / S[3];
    for (int c = 0; c < 3; ++c) out |= std::min<uint32_t>(255, uint32_t(int32_t(S[c] * inv + 0.5f))) << (8 * c);
    dst[j] = out;
  }
}

void ScaleRowA16Scalar(uint16_t* dst, size_t n, const float* acc, const int32_t* start, const float* weight, int taps) {
  for (size_t j = 0; j < n; ++j) {
    float S = 0.0f;
    const float* at = acc + size_t(start[j]);
    const float* wt = weight + j * size_t(taps);
    for (int t = 0; t < taps; ++t) S += wt[t] * at[t];
    dst[j] = uint16_t(std::min<uint32_t>(65535, uint32_t(int32_t(S + 0.5f))));
  }
}

}  // namespace xform
