// The device context's rasteriser: lines, outlines, filled figures and curves. Every figure
// is a closed form of its arguments, so the clip only narrows what is visited and a clipped
// figure sets exactly the visible pixels of the whole one.
#include <algorithm>
#include <cmath>

#include "Dc.h"
#include "DcPixels.h"

namespace gui {

using namespace dc;

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Bezier flattening: one chord per this many pixels of control polygon, at most kMaxChords.
constexpr double kChordLength = 4;
constexpr int kMaxChords = 256;

int RoundHalfUp(double v) { return int(std::floor(v + 0.5)); }

// Counter-clockwise distance from angle a to angle b, in [0, 2pi).
double CcwDistance(double a, double b) {
  double d = std::fmod(b - a, kTwoPi);
  if (d < 0) d += kTwoPi;
  return d;
}

bool RowMajor(const POINT& p, const POINT& q) { return p.y != q.y ? p.y < q.y : p.x < q.x; }

void Unique(std::vector<POINT>& pts) {
  std::sort(pts.begin(), pts.end(), RowMajor);
  pts.erase(std::unique(pts.begin(), pts.end(),
                        [](const POINT& p, const POINT& q) { return p.x == q.x && p.y == q.y; }),
            pts.end());
}

// A dotted pen on a closed figure keeps the pixels of one checkerboard colour.
void Dot(std::vector<POINT>& pts) {
  pts.erase(std::remove_if(pts.begin(), pts.end(), [](const POINT& p) { return ((p.x + p.y) & 1) != 0; }),
            pts.end());
}

bool Inside(int64_t x, int64_t y, const RECT& clip) {
  return x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
}

}  // namespace

// The pixels of a line, last pixel left out: step i along the major axis puts the minor
// coordinate at the ideal line rounded half up. Being a closed form of i, the clip only
// narrows the range of i, so a clipped line sets exactly the visible pixels of the whole one.
void DeviceContext::AddLine(std::vector<POINT>& out, int x0, int y0, int x1, int y1,
                            const RECT& clip, bool dotted) const {
  int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
  int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  if (adx == 0 && ady == 0) return;
  bool xMajor = adx >= ady;
  int64_t n = xMajor ? adx : ady;
  int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  int64_t m0 = xMajor ? x0 : y0;
  int ms = xMajor ? sx : sy;
  int64_t lo = xMajor ? clip.left : clip.top, hi = xMajor ? clip.right : clip.bottom;
  int64_t first, last;  // i range [first, last)
  if (ms > 0) {
    first = std::max<int64_t>(0, lo - m0);
    last = std::min<int64_t>(n, hi - m0);
  } else {
    first = std::max<int64_t>(0, m0 - hi + 1);
    last = std::min<int64_t>(n, m0 - lo + 1);
  }
  for (int64_t i = first; i < last; ++i) {
    if (dotted && (i & 1)) continue;
    int64_t step = (2 * i * minor + major) / (2 * major);
    int64_t x, y;
    if (xMajor) {
      x = x0 + sx * i;
      y = y0 + sy * step;
    } else {
      y = y0 + sy * i;
      x = x0 + sx * step;
    }
    if (!Inside(x, y, clip)) continue;
    out.push_back(POINT{LONG(x), LONG(y)});
  }
}

// The outline of the ellipse inscribed in left..right-1 x top..bottom-1: for every column the
// rows where the ellipse crosses it, and for every row the columns, each rounded half up;
// together they join up without gaps. Only columns and rows inside the clip are visited.
void DeviceContext::EllipsePoints(std::vector<POINT>& out, int left, int top, int right,
                                  int bottom, const RECT& clip) const {
  if (right <= left || bottom <= top) return;
  double a = (double(right) - left - 1) / 2, b = (double(bottom) - top - 1) / 2;
  double cx = left + a, cy = top + b;
  auto add = [&](int64_t x, int64_t y) {
    if (Inside(x, y, clip)) out.push_back(POINT{LONG(x), LONG(y)});
  };
  int x0 = std::max(left, int(clip.left)), x1 = std::min(right, int(clip.right));
  int y0 = std::max(top, int(clip.top)), y1 = std::min(bottom, int(clip.bottom));
  if (a == 0 || b == 0) {  // a one-pixel-wide box: every pixel of it
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) add(x, y);
    return;
  }
  for (int x = x0; x < x1; ++x) {
    double u = (x - cx) / a;
    double d = b * std::sqrt(std::max(0.0, 1 - u * u));
    add(x, RoundHalfUp(cy - d));
    add(x, RoundHalfUp(cy + d));
  }
  for (int y = y0; y < y1; ++y) {
    double v = (y - cy) / b;
    double d = a * std::sqrt(std::max(0.0, 1 - v * v));
    add(RoundHalfUp(cx - d), y);
    add(RoundHalfUp(cx + d), y);
  }
}

// spans: the interior, clipped; outline: the outline's pixels, clipped, unique and in row
// order. The brush fills the interior and the outline, less the outline when the pen draws.
void DeviceContext::FillRegion(std::vector<Span> spans, const std::vector<POINT>& outline) {
  bool penDraws = m_penStyle != PS_NULL;
  if (!penDraws)
    for (const POINT& p : outline) spans.push_back(Span{p.y, p.x, p.x + 1});
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; });
  uint32_t* bits = m_pImage->Bits();
  size_t pitch = size_t(m_pImage->Pitch());
  RECT bounds{0, 0, 0, 0};
  auto fill = [&](LONG y, LONG x0, LONG x1) {
    if (x0 >= x1) return;
    MixRow(bits + size_t(y) * pitch + size_t(x0), x1 - x0, m_brushRgb);
    bounds = Union(bounds, RECT{x0, y, x1, y + 1});
  };
  for (size_t i = 0; i < spans.size();) {
    // Merge the spans of a row that touch or overlap, so that no pixel is filled twice.
    Span s = spans[i++];
    while (i < spans.size() && spans[i].y == s.y && spans[i].x0 <= s.x1) s.x1 = std::max(s.x1, spans[i++].x1);
    if (!penDraws) {
      fill(s.y, s.x0, s.x1);
      continue;
    }
    // Cut the outline's pixels out of the span.
    auto it = std::lower_bound(outline.begin(), outline.end(), POINT{s.x0, s.y}, RowMajor);
    LONG x = s.x0;
    for (; it != outline.end() && it->y == s.y && it->x < s.x1; ++it) {
      fill(s.y, x, it->x);
      x = it->x + 1;
    }
    fill(s.y, x, s.x1);
  }
  m_pImage->MarkDirty(bounds);
}

void DeviceContext::MoveTo(int x, int y) { m_pos = POINT{x, y}; }

void DeviceContext::LineTo(int x, int y) {
  if (m_pImage && m_penStyle != PS_NULL) {
    GAutoLock lock(m_pImage->GetLock());
    std::vector<POINT> pts;
    POINT from = Dev(m_pos.x, m_pos.y), to = Dev(x, y);
    AddLine(pts, from.x, from.y, to.x, to.y, ClipRect(), m_penStyle == PS_DOT);
    Plot(pts);
  }
  m_pos = POINT{x, y};
}

void DeviceContext::Polyline(const POINT* pts, int count) {
  if (!pts || count < 1) return;
  MoveTo(pts[0].x, pts[0].y);
  for (int i = 1; i < count; ++i) LineTo(pts[i].x, pts[i].y);
}

void DeviceContext::Polygon(const POINT* pts, int count) {
  bool brush = m_brushStyle == BS_SOLID && count >= 3;
  if (!m_pImage || !pts || count < 2 || (m_penStyle == PS_NULL && !brush)) return;
  std::vector<POINT> dev(size_t(count), POINT{0, 0});
  for (int i = 0; i < count; ++i) dev[size_t(i)] = Dev(pts[i].x, pts[i].y);
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  auto outline = [&](bool dotted) {
    std::vector<POINT> ring;
    for (size_t i = 0; i < dev.size(); ++i) {
      const POINT& p = dev[i];
      const POINT& q = dev[(i + 1) % dev.size()];
      AddLine(ring, p.x, p.y, q.x, q.y, clip, dotted);
    }
    Unique(ring);
    return ring;
  };
  std::vector<POINT> ring = outline(false);
  if (brush) {
    // Even-odd rule on pixel centres: row y crosses the edges at y + 0.5, and a pixel is in
    // when its centre lies between an odd crossing and the next.
    LONG top = dev[0].y, bottom = dev[0].y;
    for (const POINT& p : dev) {
      top = std::min(top, p.y);
      bottom = std::max(bottom, p.y);
    }
    std::vector<Span> spans;
    std::vector<double> xs;
    for (LONG y = std::max(top, clip.top); y < std::min(bottom, clip.bottom); ++y) {
      double yc = y + 0.5;
      xs.clear();
      for (size_t i = 0; i < dev.size(); ++i) {
        const POINT& p = dev[i];
        const POINT& q = dev[(i + 1) % dev.size()];
        if ((p.y <= yc) == (q.y <= yc)) continue;
        xs.push_back(p.x + (yc - p.y) * (double(q.x) - p.x) / (double(q.y) - p.y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        double x0 = std::max(std::ceil(xs[i] - 0.5), double(clip.left));
        double x1 = std::min(std::ceil(xs[i + 1] - 0.5), double(clip.right));
        if (x0 < x1) spans.push_back(Span{y, LONG(x0), LONG(x1)});
      }
    }
    FillRegion(std::move(spans), ring);
  }
  if (m_penStyle == PS_DOT) Plot(outline(true));
  else if (m_penStyle != PS_NULL) Plot(ring);
}

void DeviceContext::Rectangle(int left, int top, int right, int bottom) {
  bool brush = m_brushStyle == BS_SOLID;
  if (!m_pImage || (m_penStyle == PS_NULL && !brush)) return;
  RECT r = Offset(Normalised(left, top, right, bottom), m_org);
  if (IsEmpty(r)) return;
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  std::vector<POINT> ring;
  auto add = [&](int64_t x, int64_t y) {
    if (Inside(x, y, clip)) ring.push_back(POINT{LONG(x), LONG(y)});
  };
  int x0 = std::max(r.left, clip.left), x1 = std::min(r.right, clip.right);
  int y0 = std::max(r.top + 1, clip.top), y1 = std::min(r.bottom - 1, clip.bottom);
  for (int x = x0; x < x1; ++x) {
    add(x, r.top);
    if (r.bottom - 1 != r.top) add(x, r.bottom - 1);
  }
  for (int y = y0; y < y1; ++y) {
    add(r.left, y);
    if (r.right - 1 != r.left) add(r.right - 1, y);
  }
  if (brush) {
    Unique(ring);
    std::vector<Span> spans;
    for (int y = y0; y < y1; ++y) spans.push_back(Span{y, x0, x1});
    FillRegion(std::move(spans), ring);
  }
  if (m_penStyle == PS_NULL) return;
  if (m_penStyle == PS_DOT) Dot(ring);
  Plot(ring);
}

void DeviceContext::Ellipse(int left, int top, int right, int bottom) {
  bool brush = m_brushStyle == BS_SOLID;
  if (!m_pImage || (m_penStyle == PS_NULL && !brush)) return;
  RECT r = Offset(Normalised(left, top, right, bottom), m_org);
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  std::vector<POINT> ring;
  EllipsePoints(ring, r.left, r.top, r.right, r.bottom, clip);
  Unique(ring);
  if (brush && r.right - r.left > 1 && r.bottom - r.top > 1) {
    // Each row between the columns where the outline's row pass crosses it.
    double a = (double(r.right) - r.left - 1) / 2, b = (double(r.bottom) - r.top - 1) / 2;
    double cx = r.left + a, cy = r.top + b;
    std::vector<Span> spans;
    for (LONG y = std::max(r.top, clip.top); y < std::min(r.bottom, clip.bottom); ++y) {
      double v = (y - cy) / b;
      double d = a * std::sqrt(std::max(0.0, 1 - v * v));
      LONG x0 = std::max(LONG(RoundHalfUp(cx - d)), clip.left);
      LONG x1 = std::min(LONG(RoundHalfUp(cx + d)) + 1, clip.right);
      if (x0 < x1) spans.push_back(Span{y, x0, x1});
    }
    FillRegion(std::move(spans), ring);
  } else if (brush && m_penStyle == PS_NULL) {
    FillRegion({}, ring);
  }
  if (m_penStyle == PS_NULL) return;
  if (m_penStyle == PS_DOT) Dot(ring);
  Plot(ring);
}

void DeviceContext::Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
  if (!m_pImage || m_penStyle == PS_NULL) return;
  RECT r = Normalised(left, top, right, bottom);
  GAutoLock lock(m_pImage->GetLock());
  std::vector<POINT> pts;
  EllipsePoints(pts, r.left + m_org.x, r.top + m_org.y, r.right + m_org.x, r.bottom + m_org.y,
                ClipRect());
  Unique(pts);
  // Angles in logical coordinates, as on the screen: y grows downwards, so it is negated.
  double cx = (double(r.left) + r.right - 1) / 2, cy = (double(r.top) + r.bottom - 1) / 2;
  double as = std::atan2(-(ys - cy), xs - cx), ae = std::atan2(-(ye - cy), xe - cx);
  double span = CcwDistance(as, ae);
  if (span > 0) {
    pts.erase(std::remove_if(pts.begin(), pts.end(),
                             [&](const POINT& p) {
                               double px = p.x - m_org.x, py = p.y - m_org.y;
                               return CcwDistance(as, std::atan2(-(py - cy), px - cx)) > span;
                             }),
              pts.end());
  }
  if (m_penStyle == PS_DOT) Dot(pts);
  Plot(pts);
}

void DeviceContext::AngleArc(int x, int y, int r, float startDeg, float sweepDeg) {
  if (!m_pImage || r < 0) return;
  double a0 = double(startDeg) * kTwoPi / 360, sweep = double(sweepDeg) * kTwoPi / 360;
  POINT start{RoundHalfUp(x + r * std::cos(a0)), RoundHalfUp(y - r * std::sin(a0))};
  POINT end{RoundHalfUp(x + r * std::cos(a0 + sweep)), RoundHalfUp(y - r * std::sin(a0 + sweep))};
  LineTo(start.x, start.y);
  if (m_penStyle != PS_NULL) {
    GAutoLock lock(m_pImage->GetLock());
    POINT c = Dev(x, y);
    std::vector<POINT> pts;
    EllipsePoints(pts, c.x - r, c.y - r, c.x + r + 1, c.y + r + 1, ClipRect());
    Unique(pts);
    if (std::fabs(sweep) < kTwoPi) {
      double from = sweep >= 0 ? a0 : a0 + sweep;
      double span = std::fabs(sweep);
      pts.erase(std::remove_if(pts.begin(), pts.end(),
                               [&](const POINT& p) {
                                 if (p.x == c.x && p.y == c.y) return false;
                                 return CcwDistance(from, std::atan2(-double(p.y - c.y), double(p.x - c.x))) > span;
                               }),
                pts.end());
    }
    if (m_penStyle == PS_DOT) Dot(pts);
    Plot(pts);
  }
  m_pos = end;
}

void DeviceContext::DrawBezier(const POINT* pts, int count, int degree) {
  if (!m_pImage || m_penStyle == PS_NULL || !pts || count < degree + 1) return;
  // The chord ends, in logical coordinates (rounding commutes with the whole-pixel origin).
  std::vector<POINT> path{pts[0]};
  for (int s = 0; s + degree < count; s += degree) {
    const POINT* c = pts + s;
    double length = 0;
    for (int i = 0; i < degree; ++i)
      length += std::hypot(double(c[i + 1].x) - c[i].x, double(c[i + 1].y) - c[i].y);
    int n = std::clamp(int(std::ceil(length / kChordLength)), 1, kMaxChords);
    for (int i = 1; i <= n; ++i) {
      double t = double(i) / n, u = 1 - t;
      double x, y;
      if (degree == 2) {
        x = u * u * c[0].x + 2 * u * t * c[1].x + t * t * c[2].x;
        y = u * u * c[0].y + 2 * u * t * c[1].y + t * t * c[2].y;
      } else {
        x = u * u * u * c[0].x + 3 * u * u * t * c[1].x + 3 * u * t * t * c[2].x + t * t * t * c[3].x;
        y = u * u * u * c[0].y + 3 * u * u * t * c[1].y + 3 * u * t * t * c[2].y + t * t * t * c[3].y;
      }
      POINT p{RoundHalfUp(x), RoundHalfUp(y)};
      if (p.x != path.back().x || p.y != path.back().y) path.push_back(p);
    }
  }
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  std::vector<POINT> line;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    POINT a = Dev(path[i].x, path[i].y), b = Dev(path[i + 1].x, path[i + 1].y);
    AddLine(line, a.x, a.y, b.x, b.y, clip, m_penStyle == PS_DOT);
  }
  Unique(line);
  Plot(line);
}

void DeviceContext::PolyBezier(const POINT* pts, int count) { DrawBezier(pts, count, 3); }

void DeviceContext::PolyQuadBezier(const POINT* pts, int count) { DrawBezier(pts, count, 2); }

void DeviceContext::PolyBezierTo(const POINT* pts, int count) {
  if (!pts || count < 3) return;
  int used = count - count % 3;
  std::vector<POINT> all{m_pos};
  all.insert(all.end(), pts, pts + used);
  DrawBezier(all.data(), int(all.size()), 3);
  m_pos = pts[used - 1];
}

void DeviceContext::SetPixel(int x, int y) {
  if (!m_pImage) return;
  GAutoLock lock(m_pImage->GetLock());
  POINT p = Dev(x, y);
  if (!Inside(p.x, p.y, ClipRect())) return;
  Plot(std::vector<POINT>{p});
}

}  // namespace gui
