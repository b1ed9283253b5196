#include "ShapeZip.h"

#include <algorithm>
#include <cmath>

#include "odata/GError.h"

int32_t CShapeZip::ToSub(float v) const {
  if (!(v == v)) return 0;  // NaN
  return int32_t(std::floor(std::clamp(double(v), -kPixelLimit, kPixelLimit) * m_scale));
}

void CShapeZip::InputBegin(int factor) {
  try {
    GVERIFY(m_myState == staREADY, u"!m_myState==staREADY");
    m_myState = staINPUT;
    m_scale = double(factor);
    m_nCount = 0;
    m_yMin = INT32_MAX;
    m_yMax = INT32_MIN;
    m_keyMin = INT32_MAX;
    m_keyMax = INT32_MIN;
    m_pCursor = m_pEnd = nullptr;
  }
  GCATCH(u"CShapeZip", u"::InputBegin()", ->AppendArg(GArgInt(factor)))
}

// Appends the crossings of one edge, from its upper end (x0, y0) over dy sub-rows with the
// horizontal run dx. X = x0 + trunc(k * dx / dy) is stepped with a quotient and a
// remainder, exactly as the 64-bit division would give it, without dividing per sub-row.
void CShapeZip::Append(int32_t x0, int32_t dir, int32_t y0, int64_t dy, int64_t dx) {
  const bool neg = dx < 0;
  const int64_t adx = neg ? -dx : dx;
  const int64_t q = adx / dy, r = adx % dy;
  int64_t acc = 0, rem = 0;
  int64_t k = 0;
  while (k < dy) {
    const size_t block = m_nCount / kBlock, used = m_nCount % kBlock;
    if (block == m_blocks.size()) m_blocks.emplace_back(new ShapeCrossing[kBlock]);
    ShapeCrossing* out = m_blocks[block].get() + used;
    const size_t n = size_t(std::min<int64_t>(int64_t(kBlock - used), dy - k));
    const int32_t y = int32_t(y0 + k);
    for (size_t i = 0; i < n; ++i) {
      const int32_t x = int32_t(neg ? x0 - acc : x0 + acc);
      out[i].key = 2 * x + dir;
      out[i].y = y + int32_t(i);
      acc += q;
      rem += r;
      if (rem >= dy) {
        ++acc;
        rem -= dy;
      }
    }
    m_nCount += n;
    k += int64_t(n);
  }
}

void CShapeZip::InputLine(const float from[2], const float to[2]) {
  try {
    GVERIFY(m_myState == staINPUT, u"!m_myState==staINPUT");
    const int32_t xa = ToSub(from[0]), ya = ToSub(from[1]);
    const int32_t xb = ToSub(to[0]), yb = ToSub(to[1]);
    if (ya == yb) return;  // horizontal: no sub-row is crossed
    // The interpolation always starts at the upper end; the edge covers the half-open
    // range of sub-rows from its upper end to its lower end.
    const bool down = ya < yb;
    const int32_t xu = down ? xa : xb, yu = down ? ya : yb;
    const int32_t xl = down ? xb : xa, yl = down ? yb : ya;
    Append(xu, down ? 1 : 0, yu, int64_t(yl) - yu, int64_t(xl) - xu);
    m_yMin = std::min(m_yMin, yu);
    m_yMax = std::max(m_yMax, yl - 1);
    m_keyMin = std::min(m_keyMin, 2 * std::min(xa, xb));
    m_keyMax = std::max(m_keyMax, 2 * std::max(xa, xb) + 1);
  }
  GCATCH(u"CShapeZip", u"::InputLine()")
}

namespace {

void SortRow(ShapeCrossing* p, size_t n) {
  if (n < 2) return;
  if (n == 2) {
    if (p[1].key < p[0].key) std::swap(p[0], p[1]);
    return;
  }
  if (n <= 24) {
    for (size_t i = 1; i < n; ++i) {
      const ShapeCrossing c = p[i];
      size_t k = i;
      for (; k > 0 && c.key < p[k - 1].key; --k) p[k] = p[k - 1];
      p[k] = c;
    }
    return;
  }
  std::sort(p, p + n, [](const ShapeCrossing& a, const ShapeCrossing& b) { return a.key < b.key; });
}

}  // namespace

// A counting sort by sub-row, then each sub-row by key: sub-rows are dense (every edge
// covers a run of consecutive ones) and mostly short. Crowded sub-rows are sorted by two
// counting passes instead; a sparse spread of sub-rows falls back to one comparison sort.
void CShapeZip::Sort() {
  const size_t n = m_nCount;
  if (n > m_nSortedCapacity) {
    const size_t cap = std::max(n, m_nSortedCapacity + m_nSortedCapacity / 2);
    m_pSorted.reset();
    m_pSorted.reset(new ShapeCrossing[cap]);
    m_nSortedCapacity = cap;
  }
  ShapeCrossing* out = m_pSorted.get();
  if (n == 0) return;
  const int64_t range = int64_t(m_yMax) - m_yMin + 1;
  if (range > int64_t(2 * n + 65536) || n >= UINT32_MAX) {
    for (size_t b = 0, done = 0; done < n; ++b) {
      const size_t m = std::min(kBlock, n - done);
      std::copy_n(m_blocks[b].get(), m, out + done);
      done += m;
    }
    std::sort(out, out + n);
    return;
  }
  m_rowStart.assign(size_t(range) + 1, 0);
  uint32_t* start = m_rowStart.data();
  const int32_t y0 = m_yMin;
  const int64_t keys = int64_t(m_keyMax) - m_keyMin + 1;
  // Many crossings per sub-row (a noisy outline): two stable counting passes, by key and
  // then by sub-row, instead of sorting each crowded sub-row by comparisons.
  if (int64_t(n) > 8 * range && keys <= int64_t(2 * n + 65536)) {
    if (n > m_nTempCapacity) {
      m_pTemp.reset();
      m_pTemp.reset(new ShapeCrossing[m_nSortedCapacity]);
      m_nTempCapacity = m_nSortedCapacity;
    }
    ShapeCrossing* const temp = m_pTemp.get();
    m_keyStart.assign(size_t(keys) + 1, 0);
    uint32_t* const kstart = m_keyStart.data();
    const int32_t k0 = m_keyMin;
    for (size_t b = 0, done = 0; done < n; ++b) {
      const size_t m = std::min(kBlock, n - done);
      const ShapeCrossing* in = m_blocks[b].get();
      for (size_t i = 0; i < m; ++i) {
        ++start[in[i].y - y0 + 1];
        ++kstart[in[i].key - k0 + 1];
      }
      done += m;
    }
    for (int64_t r = 1; r <= range; ++r) start[r] += start[r - 1];
    for (int64_t k = 1; k <= keys; ++k) kstart[k] += kstart[k - 1];
    for (size_t b = 0, done = 0; done < n; ++b) {
      const size_t m = std::min(kBlock, n - done);
      const ShapeCrossing* in = m_blocks[b].get();
      for (size_t i = 0; i < m; ++i) temp[kstart[in[i].key - k0]++] = in[i];
      done += m;
    }
    for (size_t i = 0; i < n; ++i) out[start[temp[i].y - y0]++] = temp[i];
    return;
  }
  for (size_t b = 0, done = 0; done < n; ++b) {
    const size_t m = std::min(kBlock, n - done);
    const ShapeCrossing* in = m_blocks[b].get();
    for (size_t i = 0; i < m; ++i) ++start[in[i].y - y0 + 1];
    done += m;
  }
  for (int64_t r = 1; r <= range; ++r) start[r] += start[r - 1];
  for (size_t b = 0, done = 0; done < n; ++b) {
    const size_t m = std::min(kBlock, n - done);
    const ShapeCrossing* in = m_blocks[b].get();
    for (size_t i = 0; i < m; ++i) out[start[in[i].y - y0]++] = in[i];
    done += m;
  }
  // start[r] now holds the end of sub-row r.
  uint32_t begin = 0;
  for (int64_t r = 0; r < range; ++r) {
    const uint32_t end = start[r];
    SortRow(out + begin, end - begin);
    begin = end;
  }
}

void CShapeZip::InputEnd() {
  try {
    GVERIFY(m_myState == staINPUT, u"!m_myState==staINPUT");
    Sort();
    m_myState = staREADY;
  }
  GCATCH(u"CShapeZip", u"::InputEnd()")
}

void CShapeZip::OutputBegin(int64_t firstSubRow) {
  try {
    GVERIFY(m_myState == staREADY, u"!m_myState==staREADY");
    const ShapeCrossing* begin = m_pSorted.get();
    const ShapeCrossing* end = begin + m_nCount;
    m_pCursor = std::partition_point(
        begin, end, [firstSubRow](const ShapeCrossing& c) { return int64_t(c.y) < firstSubRow; });
    m_pEnd = end;
    m_myState = staOUTPUT;
  }
  GCATCH(u"CShapeZip", u"::OutputBegin()")
}

void CShapeZip::OutputFail(const char16_t* condition) {
  try {
    GTHROW(condition);
  }
  GCATCH(u"CShapeZip", u"::OutputRow()")
}
