// A window's screen image and the device context that draws tool feedback into it.
//
// The image is 32-bit RGB (0xFFRRGGBB, blue in the low byte), top-down rows, in device
// pixels; its window shows it 1:1. It is guarded by a lock (the paint space's drawing lock
// for the view), so the worker thread may present or draw into it while the UI thread blits
// it. Drawing marks a dirty rectangle and asks the window, by a posted message, to show it:
// nobody ever waits for the UI thread. No Qt in here.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "odata/GLock.h"
#include "platform/base/Present.h"
#include "platform/base/Types.h"

namespace gui {

class ScreenImage final : public plat::PresentTarget {
 public:
  // lock: the lock that guards the pixels (null: one of its own).
  explicit ScreenImage(GLock* lock = nullptr);
  ~ScreenImage() override;
  ScreenImage(const ScreenImage&) = delete;
  ScreenImage& operator=(const ScreenImage&) = delete;

  // Switches the guarding lock (null: its own); only while nobody draws.
  void SetLock(GLock* lock);
  GLock* GetLock() const { return m_pLock; }
  // The window that shows the image; repaint requests are posted to it (null: none).
  void SetOwner(HWND hwnd) { m_owner.store(hwnd); }
  HWND GetOwner() const { return m_owner.load(); }

  // Resizes under the lock, keeping the overlapping pixels; new pixels get the fill colour
  // (0xRRGGBB, alpha forced).
  void Resize(int width, int height, uint32_t fill = 0xFFFFFF);
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Pixel access for whoever holds the lock: rows of Pitch() pixels.
  uint32_t* Bits() { return m_pixels.data(); }
  const uint32_t* Bits() const { return m_pixels.data(); }
  int Pitch() const { return m_width; }
  uint32_t Pixel(int x, int y) const { return m_pixels[size_t(y) * size_t(m_width) + size_t(x)]; }
  // Fills the whole image (0xRRGGBB, alpha forced) and marks it dirty.
  void Fill(uint32_t rgb);

  // An image that keeps alpha carries per-pixel opacity (a translucent popup window shows
  // it over what lies behind; straight, not premultiplied, 0xAARRGGBB). Ordinary images force
  // alpha to 0xFF on every write.
  void SetKeepAlpha(bool keep) { m_bKeepAlpha = keep; }
  bool KeepsAlpha() const { return m_bKeepAlpha; }

  // Copies rc of a 32-bit image (bottom-up rows when bottomUp) to the same place, alpha
  // forced to 0xFF, clipped to this image; marks it dirty.
  void Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp,
               const RECT& rc) override;

  // Adds a rectangle (image coordinates) to what the window has yet to show and asks the
  // window to show it, once until it has.
  void MarkDirty(const RECT& rc);
  // The window side: takes the dirty rectangle (empty: left == right) and clears it.
  RECT TakeDirty();
  // Drops the dirty rectangle when within (the window has just shown that area).
  void DropDirtyWithin(const RECT& shown);
  RECT PeekDirty() const;

 private:
  GLock m_ownLock;
  GLock* m_pLock;
  std::atomic<HWND> m_owner{nullptr};
  bool m_bKeepAlpha = false;
  int m_width = 0;
  int m_height = 0;
  std::vector<uint32_t> m_pixels;
  mutable std::mutex m_dirtyMutex;
  RECT m_dirty{0, 0, 0, 0};
  bool m_flushPending = false;
};

// Raster operations (the pen's mix with the screen).
constexpr int R2_BLACK = 1;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_COPYPEN = 13;
constexpr int R2_WHITE = 16;

// Pen styles: one pixel wide; a dotted pen sets every other pixel along a line.
constexpr int PS_SOLID = 0;
constexpr int PS_DOT = 2;
constexpr int PS_NULL = 5;

// Draws into a screen image with our own deterministic rasteriser: every figure touches the
// same pixels whenever it is drawn with the same arguments and clip, so with an XOR mix a
// figure drawn twice restores every byte. Only the RGB bytes change; alpha stays.
// Lines leave out their last pixel; rectangles and ellipses leave out their right and bottom
// edge coordinates (the figure lies within left..right-1, top..bottom-1) and set each pixel
// of their outline once. Each call draws under the image's lock and then asks the window to
// show the change; usable from any thread.
class DeviceContext {
 public:
  explicit DeviceContext(ScreenImage* image);
  ScreenImage* GetImage() const { return m_pImage; }
  // The presenting target the display device's Preset takes.
  HDC GetSafeHdc() const { return m_pImage; }
  operator HDC() const { return m_pImage; }

  int SetROP2(int rop);
  int GetROP2() const { return m_rop; }
  // Selects a one-pixel pen (colour as COLORREF 0x00BBGGRR); returns nothing of the old one.
  void SetPen(int style, COLORREF color);
  // Clip rectangle in image coordinates (intersected with the image); null: the whole image.
  void SetClipRect(const RECT* rc);

  void MoveTo(int x, int y);
  POINT GetCurrentPosition() const { return m_pos; }
  // Line from the current position to (x, y), last pixel left out; (x, y) becomes current.
  void LineTo(int x, int y);
  void Polyline(const POINT* pts, int count);
  // Closed outline through the points (each edge leaves out its end, so every vertex is
  // set once).
  void Polygon(const POINT* pts, int count);
  // Outline of left..right-1 x top..bottom-1.
  void Rectangle(int left, int top, int right, int bottom);
  // Outline of the ellipse inscribed in left..right-1 x top..bottom-1.
  void Ellipse(int left, int top, int right, int bottom);
  // Part of that ellipse's outline, counter-clockwise (as seen on the screen) from the ray
  // through (xs, ys) to the ray through (xe, ye); the same rays give the whole ellipse.
  void Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
  // A line from the current position to the start of a circular arc of radius r around
  // (x, y), then the arc from startDeg sweeping sweepDeg (counter-clockwise when positive);
  // the arc's end becomes current.
  void AngleArc(int x, int y, int r, float startDeg, float sweepDeg);
  void SetPixel(int x, int y);
  // Inverts the RGB of every pixel of rc.
  void InvertRect(const RECT& rc);
  // Fills rc with a colour (COLORREF), whatever the raster operation.
  void FillSolidRect(const RECT& rc, COLORREF color);
  // Copies w x h pixels from (sx, sy) of src to (x, y) (src may be this image).
  void BitBlt(int x, int y, int w, int h, const ScreenImage& src, int sx, int sy);

 private:
  RECT ClipRect() const;
  // Mixes the pen into each listed pixel inside the clip (points already unique where the
  // figure needs it) and marks their bounds dirty.
  void Plot(const std::vector<POINT>& pts);
  void AddLine(std::vector<POINT>& out, int x0, int y0, int x1, int y1, const RECT& clip) const;
  void EllipsePoints(std::vector<POINT>& out, int left, int top, int right, int bottom,
                     const RECT& clip) const;
  uint32_t Mix(uint32_t dst) const;

  ScreenImage* m_pImage;
  int m_rop = R2_COPYPEN;
  int m_penStyle = PS_SOLID;
  uint32_t m_penRgb = 0;  // 0xRRGGBB
  bool m_hasClip = false;
  RECT m_clip{0, 0, 0, 0};
  POINT m_pos{0, 0};
};

}  // namespace gui
