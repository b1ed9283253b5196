#include "XLasso.h"

#include <algorithm>
#include <cmath>

#include "platform/base/Text.h"

namespace {

// Sample positions handled per kernel call.
constexpr int kChunk = 256;

int64_t Fix(double v) { return int64_t(std::floor(256.0 * v)); }

void WriteImage(OData* args, const LayerLock& img) {
  const LayerInfo& head = img;
  args->Write(&head, sizeof(LayerInfo));
  BYTE* pixels = img.pPixels;
  args->Write(&pixels, sizeof pixels);
}

}  // namespace

void* XLasso::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OLasso") == 0 ? static_cast<OLasso*>(this) : nullptr;
}

void XLasso::ImpressReady(const LayerLock* imgDest, const LayerLock* imgSrc, const float quad[8]) {
  try {
    GCHECK(imgDest && imgSrc && quad);
    GVERIFY(imgDest->nPixelSize == imgSrc->nPixelSize, u"!imgDest.nPixelSize==imgSrc.nPixelSize");
    GVERIFY(imgSrc->nPixelSize == 2 || imgSrc->nPixelSize == 4, u"!imgSrc.nPixelSize==2||imgSrc.nPixelSize==4");
    // What cannot be mapped at all is the user's shape, not a fault: a plain error.
    auto refuse = [](const char16_t* text) { throw new GErrRecord(text, GERR_FILE_, __LINE__, ERR_KIND_WARNING); };
    // A map through NaN, or through corners so far out that 24.8 positions overflow,
    // would draw garbage: such quadrilaterals are refused before anything is computed.
    for (int k = 0; k < 8; ++k)
      if (!std::isfinite(quad[k])) refuse(u"!QuadIsFinite(quad)");
    for (int k = 0; k < 8; ++k) GVERIFY(std::fabs(quad[k]) <= kMaxCoord, u"!QuadInRange(quad)");
    GVERIFY(std::abs(double(imgSrc->x)) <= kMaxCoord && std::abs(double(imgSrc->y)) <= kMaxCoord &&
                imgSrc->nWidth >= 0 && imgSrc->nHeight >= 0 && imgSrc->nWidth <= 0x10000 && imgSrc->nHeight <= 0x10000,
            u"!SourceInRange(imgSrc)");
    // The map takes P0, P1, P2 to C0, C1, C2. A corner dragged onto another, or onto the
    // line of two others, still leaves a triangle: when P0, P1, P2 lie on one line the map is
    // taken from the three corners that span the most, with their own source corners. Only
    // corners all on one line cannot be mapped.
    auto area = [quad](int a, int b, int c) {
      return (double(quad[2 * b]) - quad[2 * a]) * (double(quad[2 * c + 1]) - quad[2 * a + 1]) -
             (double(quad[2 * c]) - quad[2 * a]) * (double(quad[2 * b + 1]) - quad[2 * a + 1]);
    };
    static constexpr int kTriples[4][3] = {{0, 1, 2}, {3, 2, 1}, {1, 3, 0}, {2, 0, 3}};
    int pick = 0;
    for (int t = 1; t < 4 && area(0, 1, 2) == 0; ++t)
      if (std::fabs(area(kTriples[t][0], kTriples[t][1], kTriples[t][2])) >
          std::fabs(area(kTriples[pick][0], kTriples[pick][1], kTriples[pick][2])))
        pick = t;
    const int o = kTriples[pick][0], i = kTriples[pick][1], j = kTriples[pick][2];
    const double det = area(o, i, j);
    if (det == 0) refuse(u"!QuadNotDegenerate(quad)");
    const double d1x = double(quad[2 * i]) - quad[2 * o], d1y = double(quad[2 * i + 1]) - quad[2 * o + 1];
    const double d2x = double(quad[2 * j]) - quad[2 * o], d2y = double(quad[2 * j + 1]) - quad[2 * o + 1];

    int64_t minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
    for (int k = 0; k < 4; ++k) {
      const int64_t fx = int64_t(std::floor(quad[2 * k])), fy = int64_t(std::floor(quad[2 * k + 1]));
      minX = std::min(minX, fx), maxX = std::max(maxX, fx + 1);
      minY = std::min(minY, fy), maxY = std::max(maxY, fy + 1);
    }
    auto overlap = [](int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
      Overlap o;
      if (a1 < a0 || b1 < b0) return o;
      const int64_t start = std::max(a0, b0), len = std::min(a1, b1) - start;
      if (len <= 0) return o;
      o.l = int32_t(len);
      o.l1 = int32_t(start - a0);
      o.l2 = int32_t(start - b0);
      o.first = int32_t(start);
      return o;
    };
    m_cx = overlap(imgDest->x, int64_t(imgDest->x) + imgDest->nWidth, minX, maxX);
    m_cy = overlap(imgDest->y, int64_t(imgDest->y) + imgDest->nHeight, minY, maxY);
    GVERIFY(m_cx.l && m_cy.l, u"!m_cx.l && m_cy.l");

    // The corners C0 (sx0, sy0), C1 (sx1, sy0) and C2 (sx0, sy1): the source rectangle grown
    // by one pixel on every side.
    const float sx0 = float(imgSrc->x - 1), sy0 = float(imgSrc->y - 1);
    const float sx1 = float(int64_t(imgSrc->x) + imgSrc->nWidth + 1);
    const float sy1 = float(int64_t(imgSrc->y) + imgSrc->nHeight + 1);

    // L = E adj(D) / det with D = (Pi - Po, Pj - Po) and E = (Ci - Co, Cj - Co): the same
    // map as intersecting the parallels through X, written so that equal frames give
    // exactly the identity. Corner k of the source is (k & 1 ? sx1 : sx0, k & 2 ? sy1 : sy0).
    auto cx = [&](int k) { return double(k & 1 ? sx1 : sx0); };
    auto cy = [&](int k) { return double(k & 2 ? sy1 : sy0); };
    const double e1x = cx(i) - cx(o), e1y = cy(i) - cy(o), e2x = cx(j) - cx(o), e2y = cy(j) - cy(o);
    m_map = Map{quad[2 * o],
                quad[2 * o + 1],
                cx(o),
                cy(o),
                (e1x * d2y - e2x * d1y) / det,
                (e2x * d1x - e1x * d2x) / det,
                (e1y * d2y - e2y * d1y) / det,
                (e2y * d1x - e1y * d2x) / det};
    // One destination pixel step may span at most kMaxStep source pixels along each axis,
    // and no drawn pixel may map farther than kMaxReach from the source.
    const double stepX = std::hypot(m_map.a, m_map.c), stepY = std::hypot(m_map.b, m_map.d);
    if (!(std::isfinite(stepX) && std::isfinite(stepY) && stepX <= kMaxStep && stepY <= kMaxStep))
      refuse(u"!QuadNotDegenerate(quad)");
    for (int k = 0; k < 4; ++k) {
      double mx, my;
      m_map.Apply(double(m_cx.first) + (k & 1 ? m_cx.l : 0), double(m_cy.first) + (k & 2 ? m_cy.l : 0), mx, my);
      GVERIFY(std::fabs(mx - imgSrc->x) <= kMaxReach && std::fabs(my - imgSrc->y) <= kMaxReach, u"!QuadInRange(quad)");
    }

    const int32_t rows = std::min(m_cy.l, kMaxRows);
    std::fill(m_aSpan, m_aSpan + rows, Span{INT32_MAX, INT32_MIN});
    const int order[5] = {0, 1, 3, 2, 0};
    for (int k = 0; k < 4; ++k) {
      const int a = order[k], b = order[k + 1];
      EnterEdge(std::floor(quad[2 * a]), std::floor(quad[2 * a + 1]), std::floor(quad[2 * b]),
                std::floor(quad[2 * b + 1]));
    }

    MakeFootprint();

    m_src = lasso::Source{imgSrc->pPixels, size_t(imgSrc->nPitch) * size_t(imgSrc->nPixelSize), imgSrc->nWidth,
                          imgSrc->nHeight};
    m_srcX256 = imgSrc->x * 256;
    m_srcY256 = imgSrc->y * 256;
  }
  GCATCH(GetClassName(), u"::ImpressReady()")
}

void XLasso::EnterEdge(double fax, double fay, double fbx, double fby) {
  int64_t ax = int64_t(fax), ay = int64_t(fay), bx = int64_t(fbx), by = int64_t(fby);
  if (ay == by) return;
  if (ay > by) std::swap(ax, bx), std::swap(ay, by);
  const int64_t rows = std::min(m_cy.l, kMaxRows);
  const int64_t y0 = std::max<int64_t>(ay, m_cy.first), y1 = std::min<int64_t>(by, int64_t(m_cy.first) + rows);
  for (int64_t y = y0; y < y1; ++y) {
    // 64-bit product: long edges far from the destination would overflow 32 bits.
    const int32_t x = int32_t(ax + (bx - ax) * (y - ay) / (by - ay));
    Span& e = m_aSpan[y - m_cy.first];
    if (x < e.left) {
      e.right = e.left;
      e.left = x;
    } else {
      e.right = x;
    }
  }
}

void XLasso::MakeFootprint() {
  // The footprint is one source pixel shorter than a destination step along each axis, and
  // collapses to a point along an axis where a step spans at most one source pixel.
  const double v1x = m_map.a, v1y = m_map.c, v2x = m_map.b, v2y = m_map.d;
  const double s1 = std::hypot(v1x, v1y), s2 = std::hypot(v2x, v2y);
  // A step longer than one source pixel by less than 1/4096 (the rounding of float corners
  // under a pure rotation) counts as one pixel: such a footprint would be far below one 24.8
  // unit and only scatter the entries over 0 and -1.
  constexpr double kPoint = 1.0 + 1.0 / 4096;
  const double f1 = s1 > kPoint ? (s1 - 1) / s1 : 0, f2 = s2 > kPoint ? (s2 - 1) / s2 : 0;
  const double ax = f1 * v1x, ay = f1 * v1y, bx = f2 * v2x, by = f2 * v2y;
  // Corners Q0, Q1', Q2', Q3' moved by minus their centre.
  const double q0x = -(ax + bx) / 2, q0y = -(ay + by) / 2;
  const double q1x = q0x + ax, q1y = q0y + ay, q2x = q0x + bx, q2y = q0y + by;
  const double q3x = q1x + bx, q3y = q1y + by;
  for (int j = 0; j < 4; ++j) {
    const double tj = j / 4.0 + 0.125;
    const double lx = q0x + tj * (q2x - q0x), ly = q0y + tj * (q2y - q0y);
    const double rx = q1x + tj * (q3x - q1x), ry = q1y + tj * (q3y - q1y);
    for (int k = 0; k < 4; ++k) {
      const double tk = k / 4.0 + 0.125;
      m_foot.dx[4 * j + k] = int32_t(Fix(lx + tk * (rx - lx)));
      m_foot.dy[4 * j + k] = int32_t(Fix(ly + tk * (ry - ly)));
    }
  }
  lasso::GroupFootprint(m_foot);
}

void XLasso::DrawRow(int32_t i, const LayerInfo& dest, BYTE* destPixels, bool super) {
  const Span e = m_aSpan[i];
  if (e.right < e.left) return;
  const int64_t start = std::max<int64_t>(e.left, dest.x);
  const int64_t n = std::min<int64_t>(e.right, int64_t(dest.x) + dest.nWidth) - start;
  if (n <= 0) return;
  const int64_t offset = start - dest.x;
  const double yc = double(m_cy.first) + i + 0.5;
  double x0, y0, x1, y1;
  m_map.Apply(double(start) + 0.5, yc, x0, y0);
  m_map.Apply(double(start + n) - 0.5, yc, x1, y1);
  const int64_t s0x = Fix(x0), s0y = Fix(y0), s1x = Fix(x1), s1y = Fix(y1);
  const int64_t m = std::max<int64_t>(n - 1, 1);
  lasso::Stepper stepX(s0x - m_srcX256, s1x - s0x, m), stepY(s0y - m_srcY256, s1y - s0y, m);

  const size_t ps = size_t(dest.nPixelSize);
  BYTE* row = destPixels + ps * (size_t(i + m_cy.l1) * size_t(dest.nPitch) + size_t(offset));
  int32_t X[kChunk], Y[kChunk];
  uint32_t sample[kChunk];
  uint16_t values[kChunk];
  for (int64_t k0 = 0; k0 < n; k0 += kChunk) {
    const int c = int(std::min<int64_t>(kChunk, n - k0));
    for (int k = 0; k < c; ++k) X[k] = int32_t(stepX.Next()), Y[k] = int32_t(stepY.Next());
    if (ps == 4) {
      if (super)
        lasso::SampleSuperC32Sse2(m_src, m_foot, X, Y, c, sample);
      else
        lasso::SampleNearestC32(m_src, X, Y, c, sample);
      lasso::CompositeRowSse2(reinterpret_cast<uint32_t*>(row) + k0, sample, c);
    } else {
      if (super)
        lasso::SampleSuperA16Sse2(m_src, m_foot, X, Y, c, values);
      else
        lasso::SampleNearestA16(m_src, X, Y, c, values);
      lasso::MaxRowSse2(reinterpret_cast<uint16_t*>(row) + k0, values, c);
    }
  }
}

int32_t XLasso::RenderRows(JobRecord* job, JobControl* control) {
  try {
    GCHECK(job && job->pArgs);
    OData* args = job->pArgs;
    args->Rewind();
    LayerInfo dest;
    BYTE* destPixels = nullptr;
    args->Read(&dest, sizeof dest);
    args->Read(&destPixels, sizeof destPixels);
    args->Read(nullptr, sizeof(LayerInfo) + sizeof(BYTE*));  // the source: the tables hold it

    JobControl local;
    JobControl* ctl = control ? control : &local;
    ctl->progress = 0;
    ctl->total = m_cy.l;
    const int32_t rows = std::min(m_cy.l, kMaxRows);
    for (int32_t i = 0; i < rows; ++i) {
      DrawRow(i, dest, destPixels, true);
      ctl->progress = i;
      if (ctl->flags & JOB_ABORT) return 0;
    }
    return 1;
  }
  GCATCH(GetClassName(), u"::RenderRows()")
}

int XLasso::Impress(const LayerLock* imgDest, const LayerLock* imgSrc, const float quad[8], JobRecord* job) {
  try {
    ImpressReady(imgDest, imgSrc, quad);
    if (job) {
      GCHECK(job->pArgs);
      job->object = this;
      job->proc = JobThunk<XLasso, &XLasso::RenderRows>;
      job->kind = 6;
      job->name = u"unknown";
      job->result = 0;
      job->pArgs->Rewind();
      WriteImage(job->pArgs, *imgDest);
      WriteImage(job->pArgs, *imgSrc);
      return int(job->pArgs->GetPosition());
    }
    const int32_t rows = std::min(m_cy.l, kMaxRows);
    for (int32_t i = 0; i < rows; ++i) DrawRow(i, *imgDest, imgDest->pPixels, false);
    return m_cy.l;
  }
  GCATCH(GetClassName(), u"::Impress()")
}
