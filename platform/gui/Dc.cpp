// The screen image, and the device context's state, fills and raster mixes. The figures
// are in DcFigures.cpp, block transfers in DcBlit.cpp, text in DcText.cpp.
#include "Dc.h"

#include <algorithm>
#include <cstring>

#include "DcPixels.h"
#include "Messages.h"
#include "platform/base/Messages.h"

namespace gui {

using namespace dc;

namespace {

bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ScreenImage

ScreenImage::ScreenImage(GLock* lock) : m_pLock(lock ? lock : &m_ownLock) {}

ScreenImage::~ScreenImage() = default;

void ScreenImage::SetLock(GLock* lock) { m_pLock = lock ? lock : &m_ownLock; }

void ScreenImage::Resize(int width, int height, uint32_t fill) {
  ResizeArgb(width, height, fill | kAlpha);
}

void ScreenImage::ResizeArgb(int width, int height, uint32_t argb) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  GAutoLock lock(m_pLock);
  if (width == m_width && height == m_height) return;
  std::vector<uint32_t> pixels(size_t(width) * size_t(height), Stored(argb, m_bKeepAlpha));
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

void ScreenImage::Fill(uint32_t rgb) { FillArgb(rgb | kAlpha); }

void ScreenImage::FillArgb(uint32_t argb) {
  GAutoLock lock(m_pLock);
  std::fill(m_pixels.begin(), m_pixels.end(), Stored(argb, m_bKeepAlpha));
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
      if (m_bKeepAlpha) {
        std::memcpy(dst, src, size_t(r.right - r.left) * 4);
      } else {
        for (LONG x = r.left; x < r.right; ++x) *dst++ = *src++ | kAlpha;
      }
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

std::unique_ptr<ScreenImage> CreateCompatibleBitmap(int width, int height) {
  auto bitmap = std::make_unique<ScreenImage>();
  bitmap->Resize(width, height, 0);
  return bitmap;
}

// ---------------------------------------------------------------------------------------------
// DeviceContext: state

DeviceContext::DeviceContext(ScreenImage* image) : m_pImage(image), m_font(GetStockFont()) {}

ScreenImage* DeviceContext::SelectBitmap(ScreenImage* bitmap) {
  ScreenImage* old = m_pImage;
  m_pImage = bitmap;
  return old;
}

POINT DeviceContext::SetViewportOrg(int x, int y) {
  POINT old = m_org;
  m_org = POINT{x, y};
  return old;
}

POINT DeviceContext::OffsetViewportOrg(int dx, int dy) {
  return SetViewportOrg(m_org.x + dx, m_org.y + dy);
}

int DeviceContext::SetROP2(int rop) {
  int old = m_rop;
  m_rop = rop;
  return old;
}

void DeviceContext::SetPen(int style, COLORREF color) {
  m_penStyle = style;
  m_penRgb = RgbFromColorref(color);
}

void DeviceContext::SetBrush(int style, COLORREF color) {
  m_brushStyle = style;
  m_brushRgb = RgbFromColorref(color);
}

void DeviceContext::SetClipRect(const RECT* rc) {
  m_hasClip = rc != nullptr;
  if (rc) m_clip = *rc;
}

RECT DeviceContext::ClipRect() const {
  RECT all{0, 0, m_pImage->Width(), m_pImage->Height()};
  return m_hasClip ? Intersect(all, m_clip) : all;
}

uint32_t DeviceContext::Mix(uint32_t dst, uint32_t rgb) const {
  uint32_t a = dst & kAlpha;
  uint32_t d = dst & 0xFFFFFF;
  switch (m_rop) {
    case R2_XORPEN: d ^= rgb; break;
    case R2_NOTXORPEN: d = ~(d ^ rgb) & 0xFFFFFF; break;
    case R2_NOT: d = ~d & 0xFFFFFF; break;
    case R2_BLACK: d = 0; break;
    case R2_WHITE: d = 0xFFFFFF; break;
    case R2_NOP: break;
    default: d = rgb; break;
  }
  return a | d;
}

void DeviceContext::MixRow(uint32_t* row, int count, uint32_t rgb) const {
  switch (m_rop) {
    case R2_XORPEN:
      for (int i = 0; i < count; ++i) row[i] ^= rgb;
      break;
    case R2_NOP: break;
    default:
      for (int i = 0; i < count; ++i) row[i] = Mix(row[i], rgb);
      break;
  }
}

void DeviceContext::Plot(const std::vector<POINT>& pts) {
  if (pts.empty()) return;
  RECT bounds{pts[0].x, pts[0].y, pts[0].x + 1, pts[0].y + 1};
  uint32_t* bits = m_pImage->Bits();
  size_t pitch = size_t(m_pImage->Pitch());
  for (const POINT& p : pts) {
    uint32_t& px = bits[size_t(p.y) * pitch + size_t(p.x)];
    px = Mix(px, m_penRgb);
    bounds.left = std::min(bounds.left, p.x);
    bounds.top = std::min(bounds.top, p.y);
    bounds.right = std::max(bounds.right, p.x + 1);
    bounds.bottom = std::max(bounds.bottom, p.y + 1);
  }
  m_pImage->MarkDirty(bounds);
}

// ---------------------------------------------------------------------------------------------
// DeviceContext: rectangles

void DeviceContext::InvertRect(const RECT& rc) {
  if (!m_pImage) return;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(Offset(Normalised(rc.left, rc.top, rc.right, rc.bottom), m_org), ClipRect());
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
  FillArgbRect(rc, RgbFromColorref(color) | kAlpha);
}

void DeviceContext::FillArgbRect(const RECT& rc, uint32_t argb) {
  if (!m_pImage) return;
  RECT r;
  {
    GAutoLock lock(m_pImage->GetLock());
    r = Intersect(Offset(Normalised(rc.left, rc.top, rc.right, rc.bottom), m_org), ClipRect());
    if (IsEmpty(r)) return;
    uint32_t value = Stored(argb, m_pImage->KeepsAlpha());
    uint32_t* bits = m_pImage->Bits();
    for (LONG y = r.top; y < r.bottom; ++y) {
      uint32_t* row = bits + size_t(y) * size_t(m_pImage->Pitch());
      std::fill(row + r.left, row + r.right, value);
    }
  }
  m_pImage->MarkDirty(r);
}

}  // namespace gui
