#include "Dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Messages.h"
#include "platform/base/Messages.h"

namespace gui {

namespace {

constexpr uint32_t kAlpha = 0xFF000000u;
constexpr double kTwoPi = 6.283185307179586;

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (IsEmpty(r)) r = RECT{0, 0, 0, 0};
  return r;
}

RECT Union(const RECT& a, const RECT& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT Normalised(int left, int top, int right, int bottom) {
  return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
              std::max(top, bottom)};
}

uint32_t RgbFromColorref(COLORREF c) {
  return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

int RoundHalfUp(double v) { return int(std::floor(v + 0.5)); }

// Counter-clockwise distance from angle a to angle b, in [0, 2pi).
double CcwDistance(double a, double b) {
  double d = std::fmod(b - a, kTwoPi);
  if (d < 0) d += kTwoPi;
  return d;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ScreenImage

ScreenImage::ScreenImage(GLock* lock) : m_pLock(lock ? lock : &m_ownLock) {}

ScreenImage::~ScreenImage() = default;

void ScreenImage::SetLock(GLock* lock) { m_pLock = lock ? lock : &m_ownLock; }

void ScreenImage::Resize(int width, int height, uint32_t fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  GAutoLock lock(m_pLock);
  if (width == m_width && height == m_height) return;
  std::vector<uint32_t> pixels(size_t(width) * size_t(height), (fill & 0xFFFFFF) | kAlpha);
  int w = std::min(width, m_width);
  int h = std::min(height, m_height);
  for (int y = 0; y < h; ++y) {
    std::memcpy(&pixels[size_t(y) * size_t(width)], &m_pixels[size_t(y) * size_t(m_width)],
                size_t(w) * 4);
  }
  m_pixels.swap(pixels);
  m_width = width;
  m_height = height;
  std::lock_guard<std::mutex> dirty(m_dirtyMutex);
  m_dirty = Intersect(m_dirty, RECT{0, 0, width, height});
}

void ScreenImage::Fill(uint32_t rgb) {
  GAutoLock lock(m_pLock);
  std::fill(m_pixels.begin(), m_pixels.end(), (rgb & 0xFFFFFF) | kAlpha);
  MarkDirty(RECT{0, 0, m_width, m_height});
}

void ScreenImage::Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp,
                          const RECT& rc) {
  if (!pixels || width <= 0 || height <= 0) return;
  RECT r;
  {
    GAutoLock lock(m_pLock);
    r = Intersect(Intersect(rc, RECT{0, 0, width, height}), RECT{0, 0, m_width, m_height});
    if (IsEmpty(r)) return;
    for (LONG y = r.top; y < r.bottom; ++y) {
      const uint32_t* src =
          pixels + ptrdiff_t(bottomUp ? height - 1 - y : y) * ptrdiff_t(pitch) + r.left;
      uint32_t* dst = &m_pixels[size_t(y) * size_t(m_width) + size_t(r.left)];
      for (LONG x = r.left; x < r.right; ++x) *dst++ = *src++ | kAlpha;
    }
  }
  MarkDirty(r);
}

void ScreenImage::MarkDirty(const RECT& rc) {
  if (IsEmpty(rc)) return;
  HWND owner = m_owner.load();
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(m_dirtyMutex);
    m_dirty = Union(m_dirty, rc);
    if (owner && !m_flushPending) post = m_flushPending = true;
  }
  if (post && !plat::PostMessage(owner, WM_GUI_FLUSHIMAGE, 0, 0)) {
    std::lock_guard<std::mutex> lock(m_dirtyMutex);
    m_flushPending = false;
  }
}

RECT ScreenImage::TakeDirty() {
  std::lock_guard<std::mutex> lock(m_dirtyMutex);
  RECT r = m_dirty;
  m_dirty = RECT{0, 0, 0, 0};
  m_flushPending = false;
  return r;
}

void ScreenImage::DropDirtyWithin(const RECT& shown) {
  std::lock_guard<std::mutex> lock(m_dirtyMutex);
  if (Contains(shown, m_dirty)) m_dirty = RECT{0, 0, 0, 0};
}

RECT ScreenImage::PeekDirty() const {
  std::lock_guard<std::mutex> lock(m_dirtyMutex);
  return m_dirty;
}

// ---------------------------------------------------------------------------------------------
// DeviceContext

DeviceContext::DeviceContext(ScreenImage* image) : m_pImage(image) {}

int DeviceContext::SetROP2(int rop) {
  int old = m_rop;
  m_rop = rop;
  return old;
}

void DeviceContext::SetPen(int style, COLORREF color) {
  m_penStyle = style;
  m_penRgb = RgbFromColorref(color);
}

void DeviceContext::SetClipRect(const RECT* rc) {
  m_hasClip = rc != nullptr;
  if (rc) m_clip = *rc;
}

RECT DeviceContext::ClipRect() const {
  RECT all{0, 0, m_pImage->Width(), m_pImage->Height()};
  return m_hasClip ? Intersect(all, m_clip) : all;
}

uint32_t DeviceContext::Mix(uint32_t dst) const {
  uint32_t a = dst & kAlpha;
  uint32_t rgb = dst & 0xFFFFFF;
  switch (m_rop) {
    case R2_XORPEN: rgb ^= m_penRgb; break;
    case R2_NOTXORPEN: rgb = ~(rgb ^ m_penRgb) & 0xFFFFFF; break;
    case R2_NOT: rgb = ~rgb & 0xFFFFFF; break;
    case R2_BLACK: rgb = 0; break;
    case R2_WHITE: rgb = 0xFFFFFF; break;
    case R2_NOP: break;
    default: rgb = m_penRgb; break;
  }
  return a | rgb;
}

void DeviceContext::Plot(const std::vector<POINT>& pts) {
  if (pts.empty()) return;
  RECT bounds{pts[0].x, pts[0].y, pts[0].x + 1, pts[0].y + 1};
  uint32_t* bits = m_pImage->Bits();
  size_t pitch = size_t(m_pImage->Pitch());
  for (const POINT& p : pts) {
    uint32_t& px = bits[size_t(p.y) * pitch + size_t(p.x)];
    px = Mix(px);
    bounds.left = std::min(bounds.left, p.x);
    bounds.top = std::min(bounds.top, p.y);
    bounds.right = std::max(bounds.right, p.x + 1);
    bounds.bottom = std::max(bounds.bottom, p.y + 1);
  }
  m_pImage->MarkDirty(bounds);
}

// The pixels of a line, last pixel left out: step i along the major axis puts the minor
// coordinate at the ideal line rounded half up. Being a closed form of i, the clip only
// narrows the range of i, so a clipped line sets exactly the visible pixels of the whole one.
void DeviceContext::AddLine(std::vector<POINT>& out, int x0, int y0, int x1, int y1,
                            const RECT& clip) const {
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
  bool dotted = m_penStyle == PS_DOT;
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
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) continue;
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
    if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom)
      out.push_back(POINT{LONG(x), LONG(y)});
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

namespace {

void Unique(std::vector<POINT>& pts) {
  std::sort(pts.begin(), pts.end(),
            [](const POINT& p, const POINT& q) { return p.y != q.y ? p.y < q.y : p.x < q.x; });
  pts.erase(std::unique(pts.begin(), pts.end(),
                        [](const POINT& p, const POINT& q) { return p.x == q.x && p.y == q.y; }),
            pts.end());
}

// A dotted pen on a closed figure keeps the pixels of one checkerboard colour.
void Dot(std::vector<POINT>& pts) {
  pts.erase(std::remove_if(pts.begin(), pts.end(), [](const POINT& p) { return ((p.x + p.y) & 1) != 0; }),
            pts.end());
}

}  // namespace

void DeviceContext::MoveTo(int x, int y) { m_pos = POINT{x, y}; }

void DeviceContext::LineTo(int x, int y) {
  if (m_pImage && m_penStyle != PS_NULL) {
    GAutoLock lock(m_pImage->GetLock());
    std::vector<POINT> pts;
    AddLine(pts, m_pos.x, m_pos.y, x, y, ClipRect());
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
  if (!m_pImage || !pts || count < 2 || m_penStyle == PS_NULL) return;
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  std::vector<POINT> line;
  for (int i = 0; i < count; ++i) {
    const POINT& p = pts[i];
    const POINT& q = pts[(i + 1) % count];
    line.clear();
    AddLine(line, p.x, p.y, q.x, q.y, clip);
    Plot(line);
  }
}

void DeviceContext::Rectangle(int left, int top, int right, int bottom) {
  if (!m_pImage || m_penStyle == PS_NULL) return;
  RECT r = Normalised(left, top, right, bottom);
  if (IsEmpty(r)) return;
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  std::vector<POINT> pts;
  auto add = [&](int64_t x, int64_t y) {
    if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom)
      pts.push_back(POINT{LONG(x), LONG(y)});
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
  if (m_penStyle == PS_DOT) Dot(pts);
  Plot(pts);
}

void DeviceContext::Ellipse(int left, int top, int right, int bottom) {
  if (!m_pImage || m_penStyle == PS_NULL) return;
  RECT r = Normalised(left, top, right, bottom);
  GAutoLock lock(m_pImage->GetLock());
  std::vector<POINT> pts;
  EllipsePoints(pts, r.left, r.top, r.right, r.bottom, ClipRect());
  Unique(pts);
  if (m_penStyle == PS_DOT) Dot(pts);
  Plot(pts);
}

void DeviceContext::Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
  if (!m_pImage || m_penStyle == PS_NULL) return;
  RECT r = Normalised(left, top, right, bottom);
  GAutoLock lock(m_pImage->GetLock());
  std::vector<POINT> pts;
  EllipsePoints(pts, r.left, r.top, r.right, r.bottom, ClipRect());
  Unique(pts);
  double cx = (double(r.left) + r.right - 1) / 2, cy = (double(r.top) + r.bottom - 1) / 2;
  // Angles as on the screen: y grows downwards, so it is negated.
  double as = std::atan2(-(ys - cy), xs - cx), ae = std::atan2(-(ye - cy), xe - cx);
  double span = CcwDistance(as, ae);
  if (span > 0) {
    pts.erase(std::remove_if(pts.begin(), pts.end(),
                             [&](const POINT& p) {
                               return CcwDistance(as, std::atan2(-(p.y - cy), p.x - cx)) > span;
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
    std::vector<POINT> pts;
    EllipsePoints(pts, x - r, y - r, x + r + 1, y + r + 1, ClipRect());
    Unique(pts);
    if (std::fabs(sweep) < kTwoPi) {
      double from = sweep >= 0 ? a0 : a0 + sweep;
      double span = std::fabs(sweep);
      pts.erase(std::remove_if(pts.begin(), pts.end(),
                               [&](const POINT& p) {
                                 if (p.x == x && p.y == y) return false;
                                 return CcwDistance(from, std::atan2(-double(p.y - y), double(p.x - x))) > span;
                               }),
                pts.end());
    }
    if (m_penStyle == PS_DOT) Dot(pts);
    Plot(pts);
  }
  m_pos = end;
}

void DeviceContext::SetPixel(int x, int y) {
  if (!m_pImage) return;
  GAutoLock lock(m_pImage->GetLock());
  RECT clip = ClipRect();
  if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
  Plot(std::vector<POINT>{POINT{x, y}});
}

void DeviceContext::InvertRect(const RECT& rc) {
  if (!m_pImage) return;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(Normalised(rc.left, rc.top, rc.right, rc.bottom), ClipRect());
    if (IsEmpty(r)) return;
    uint32_t* bits = m_pImage->Bits();
    for (LONG y = r.top; y < r.bottom; ++y) {
      uint32_t* row = bits + size_t(y) * size_t(m_pImage->Pitch());
      for (LONG x = r.left; x < r.right; ++x) row[x] ^= 0xFFFFFF;
    }
  }
  m_pImage->MarkDirty(r);
}

void DeviceContext::FillSolidRect(const RECT& rc, COLORREF color) {
  if (!m_pImage) return;
  uint32_t rgb = RgbFromColorref(color);
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(Normalised(rc.left, rc.top, rc.right, rc.bottom), ClipRect());
    if (IsEmpty(r)) return;
    uint32_t* bits = m_pImage->Bits();
    for (LONG y = r.top; y < r.bottom; ++y) {
      uint32_t* row = bits + size_t(y) * size_t(m_pImage->Pitch());
      for (LONG x = r.left; x < r.right; ++x) row[x] = (row[x] & kAlpha) | rgb;
    }
  }
  m_pImage->MarkDirty(r);
}

void DeviceContext::BitBlt(int x, int y, int w, int h, const ScreenImage& src, int sx, int sy) {
  if (!m_pImage || w <= 0 || h <= 0) return;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    GAutoLock lockSrc(src.GetLock());
    // Clip the destination, then the source, moving both together.
    RECT dst = Intersect(RECT{x, y, x + w, y + h}, ClipRect());
    RECT srcAll{0, 0, src.Width(), src.Height()};
    RECT s = Intersect(RECT{dst.left - x + sx, dst.top - y + sy, dst.right - x + sx, dst.bottom - y + sy},
                       srcAll);
    if (IsEmpty(dst) || IsEmpty(s)) return;
    r = RECT{s.left - sx + x, s.top - sy + y, s.right - sx + x, s.bottom - sy + y};
    int rows = r.bottom - r.top, cols = r.right - r.left;
    bool upwards = &src == m_pImage && s.top < r.top;  // overlapping copy downwards: last row first
    for (int i = 0; i < rows; ++i) {
      int row = upwards ? rows - 1 - i : i;
      const uint32_t* from = src.Bits() + size_t(s.top + row) * size_t(src.Pitch()) + size_t(s.left);
      uint32_t* to = m_pImage->Bits() + size_t(r.top + row) * size_t(m_pImage->Pitch()) + size_t(r.left);
      std::memmove(to, from, size_t(cols) * 4);
    }
  }
  m_pImage->MarkDirty(r);
}

}  // namespace gui
