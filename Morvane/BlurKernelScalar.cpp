// The box blur's running sums, one pixel at a time: the reference the SSE2 kernels match.
#include "BlurKernels.h"

namespace blur {
namespace {

template <int Sign>
inline void Accumulate(int32_t* s, uint32_t p) {
  const int32_t a = int32_t(p >> 24);
  s[0] += Sign * int32_t(p & 255) * a;
  s[1] += Sign * int32_t((p >> 8) & 255) * a;
  s[2] += Sign * int32_t((p >> 16) & 255) * a;
  s[3] += Sign * a;
}

}  // namespace

uint32_t PixelOf(const int32_t* s, uint32_t window) {
  const int32_t a = s[3];
  if (a == 0) return 0;
  const uint32_t b = uint32_t((a + s[0] - 1) / a);
  const uint32_t g = uint32_t((a + s[1] - 1) / a);
  const uint32_t r = uint32_t((a + s[2] - 1) / a);
  const uint32_t alpha = uint32_t(a) / window;
  return b | (g << 8) | (r << 16) | (alpha << 24);
}

void VerticalC32Scalar(int32_t* sums, const uint32_t* add, const uint32_t* sub, int32_t* weighted, size_t n,
                       uint32_t window) {
  for (size_t x = 0; x < n; ++x) {
    int32_t* s = sums + 4 * x;
    if (add) Accumulate<1>(s, add[x]);
    if (weighted) {
      int32_t* w = weighted + 4 * x;
      w[0] = w[1] = w[2] = w[3] = 0;
      Accumulate<1>(w, PixelOf(s, window));
    }
    if (sub) Accumulate<-1>(s, sub[x]);
  }
}

void HorizontalC32Scalar(uint32_t* dest, const int32_t* weighted, size_t n, size_t radius) {
  const uint32_t window = uint32_t(2 * radius - 1);
  int32_t t[4] = {0, 0, 0, 0};
  for (size_t j = 0; j + 1 < radius && j < n; ++j)
    for (int c = 0; c < 4; ++c) t[c] += weighted[4 * j + c];
  for (size_t x = 0; x < n; ++x) {
    if (x + radius - 1 < n)
      for (int c = 0; c < 4; ++c) t[c] += weighted[4 * (x + radius - 1) + c];
    dest[x] = PixelOf(t, window);
    if (x + 1 >= radius)
      for (int c = 0; c < 4; ++c) t[c] -= weighted[4 * (x + 1 - radius) + c];
  }
}

void VerticalA16Scalar(int32_t* sums, const uint16_t* add, const uint16_t* sub, int32_t* values, size_t n,
                       uint32_t window) {
  for (size_t x = 0; x < n; ++x) {
    if (add) sums[x] += add[x] >> 8;
    if (values) values[x] = int32_t(uint32_t(sums[x]) / window);
    if (sub) sums[x] -= sub[x] >> 8;
  }
}

void HorizontalA16Scalar(uint16_t* dest, const int32_t* values, size_t n, size_t radius) {
  const uint32_t window = uint32_t(2 * radius - 1);
  int32_t t = 0;
  for (size_t j = 0; j + 1 < radius && j < n; ++j) t += values[j];
  for (size_t x = 0; x < n; ++x) {
    if (x + radius - 1 < n) t += values[x + radius - 1];
    dest[x] = uint16_t((uint32_t(t) / window) << 8);
    if (x + 1 >= radius) t -= values[x + 1 - radius];
  }
}

}  // namespace blur
