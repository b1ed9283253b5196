// A window's screen image, bitmaps, and the device context that draws into them.
//
// The image is 32-bit (0xAARRGGBB, blue in the low byte), top-down rows, in device pixels;
// its window shows it 1:1. It is guarded by a lock (the paint space's drawing lock for the
// view), so the worker thread may present or draw into it while the UI thread blits it.
// Drawing marks a dirty rectangle and asks the window, by a posted message, to show it:
// nobody ever waits for the UI thread. A bitmap of a memory device context is the same kind
// of image without a window. No Qt in here.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Font.h"
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
  // The same with new pixels of 0xAARRGGBB (alpha kept only by an image that keeps alpha).
  void ResizeArgb(int width, int height, uint32_t argb);
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Pixel access for whoever holds the lock: rows of Pitch() pixels.
  uint32_t* Bits() { return m_pixels.data(); }
  const uint32_t* Bits() const { return m_pixels.data(); }
  int Pitch() const { return m_width; }
  uint32_t Pixel(int x, int y) const { return m_pixels[size_t(y) * size_t(m_width) + size_t(x)]; }
  // Fills the whole image (0xRRGGBB, alpha forced) and marks it dirty.
  void Fill(uint32_t rgb);
  // Fills the whole image with 0xAARRGGBB (alpha per the rule below) and marks it dirty.
  void FillArgb(uint32_t argb);

  // An image that keeps alpha carries per-pixel opacity (a translucent popup window shows
  // it over what lies behind; straight, not premultiplied, 0xAARRGGBB). It stores the alpha
  // its writes give: ResizeArgb/FillArgb/FillArgbRect their alpha, copies (Present, SRCCOPY,
  // SetDIBitsToDevice, StretchDIBits) the source's, blends (text, AlphaBlendPixels) the
  // source-over result, solid fills (FillSolidRect, BLACKNESS, WHITENESS, an opaque text
  // background) 0xFF. Ordinary images force alpha to 0xFF on all of these writes. On every
  // image pens, brushes, InvertRect and the mixing raster operations (SRCPAINT, SRCAND,
  // SRCINVERT, DSTINVERT) leave alpha alone.
  void SetKeepAlpha(bool keep) { m_bKeepAlpha = keep; }
  bool KeepsAlpha() const { return m_bKeepAlpha; }

  // Copies rc of a 32-bit image (bottom-up rows when bottomUp) to the same place, alpha per
  // the rule above, clipped to this image; marks it dirty.
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

// A bitmap for a memory device context: w x h, black (alpha 0xFF).
std::unique_ptr<ScreenImage> CreateCompatibleBitmap(int width, int height);

// Raster operations (the pen's and the brush's mix with the image).
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

// Brush styles.
constexpr int BS_SOLID = 0;
constexpr int BS_NULL = 1;
constexpr int BS_HOLLOW = BS_NULL;

// Block transfers: the mix of source S and destination D (RGB; alpha per the image's rule).
constexpr DWORD SRCCOPY = 0x00CC0020;    // S
constexpr DWORD SRCPAINT = 0x00EE0086;   // S | D
constexpr DWORD SRCAND = 0x008800C6;     // S & D
constexpr DWORD SRCINVERT = 0x00660046;  // S ^ D
constexpr DWORD DSTINVERT = 0x00550009;  // ~D
constexpr DWORD BLACKNESS = 0x00000042;  // 0
constexpr DWORD WHITENESS = 0x00FF0062;  // 0xFFFFFF

// Text background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawText formats.
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_NOCLIP = 0x100;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Draws into an image with our own deterministic rasteriser: every figure touches the same
// pixels whenever it is drawn with the same arguments and clip, and each pixel once, so with
// an XOR mix a figure drawn twice restores every byte. Pens and brushes change only the RGB
// bytes. Lines leave out their last pixel; rectangles and ellipses leave out their right and
// bottom edge coordinates (the figure lies within left..right-1, top..bottom-1).
//
// Coordinates are logical: the viewport origin is added to every one of them (the current
// position stays logical). The clip rectangle is in device (image) coordinates.
//
// Each call draws under the image's lock and then asks the window to show the change; usable
// from any thread. A context made without an image is a memory DC: it draws nothing until a
// bitmap is selected, but measures text.
class DeviceContext {
 public:
  explicit DeviceContext(ScreenImage* image = nullptr);
  ScreenImage* GetImage() const { return m_pImage; }
  // The presenting target the display device's Preset takes.
  HDC GetSafeHdc() const { return m_pImage; }
  operator HDC() const { return m_pImage; }
  // Draws into bitmap from now on (null: nothing); returns the one selected before.
  ScreenImage* SelectBitmap(ScreenImage* bitmap);

  // The offset added to every logical coordinate; both return the old origin.
  POINT SetViewportOrg(int x, int y);
  POINT OffsetViewportOrg(int dx, int dy);
  POINT GetViewportOrg() const { return m_org; }

  int SetROP2(int rop);
  int GetROP2() const { return m_rop; }
  // Selects a one-pixel pen (colour as COLORREF 0x00BBGGRR); returns nothing of the old one.
  void SetPen(int style, COLORREF color);
  // Selects the brush that fills rectangles, ellipses and polygons (BS_NULL, the default:
  // outlines only). It mixes with the same raster operation as the pen.
  void SetBrush(int style, COLORREF color);
  // Clip rectangle in image coordinates (intersected with the image); null: the whole image.
  void SetClipRect(const RECT* rc);

  void MoveTo(int x, int y);
  POINT GetCurrentPosition() const { return m_pos; }
  // Line from the current position to (x, y), last pixel left out; (x, y) becomes current.
  void LineTo(int x, int y);
  void Polyline(const POINT* pts, int count);
  // Filled figures: the region is the interior and the outline. With a solid brush the brush
  // fills the region less the outline's pixels, then the pen draws the outline; with a null
  // pen the brush fills the whole region. Each pixel is touched once.
  // Closed outline through the points, each pixel once; the interior holds the pixels whose
  // centres lie inside by the even-odd rule.
  void Polygon(const POINT* pts, int count);
  // Outline (and interior) of left..right-1 x top..bottom-1.
  void Rectangle(int left, int top, int right, int bottom);
  // The ellipse inscribed in left..right-1 x top..bottom-1.
  void Ellipse(int left, int top, int right, int bottom);
  // Part of that ellipse's outline, counter-clockwise (as seen on the screen) from the ray
  // through (xs, ys) to the ray through (xe, ye); the same rays give the whole ellipse.
  void Arc(int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
  // A line from the current position to the start of a circular arc of radius r around
  // (x, y), then the arc from startDeg sweeping sweepDeg (counter-clockwise when positive);
  // the arc's end becomes current.
  void AngleArc(int x, int y, int r, float startDeg, float sweepDeg);
  // Bezier curves, flattened by one fixed rule: a segment becomes n = clamp(ceil(L / 4), 1,
  // 256) chords, L being the length of its control polygon; the chord ends B(i / n) are
  // rounded half up. The chords are drawn as one polyline: its last pixel left out, each
  // pixel set once. PolyBezier takes 1 + 3k points (cubic segments) and leaves the current
  // position alone; PolyBezierTo takes 3k points starting at the current position and moves
  // it to the last one; PolyQuadBezier takes 1 + 2k points (quadratic segments).
  void PolyBezier(const POINT* pts, int count);
  void PolyBezierTo(const POINT* pts, int count);
  void PolyQuadBezier(const POINT* pts, int count);
  void SetPixel(int x, int y);
  // Inverts the RGB of every pixel of rc.
  void InvertRect(const RECT& rc);
  // Fills rc with a colour (COLORREF), whatever the raster operation; alpha 0xFF.
  void FillSolidRect(const RECT& rc, COLORREF color);
  // Fills rc with 0xAARRGGBB (alpha kept only by an image that keeps alpha).
  void FillArgbRect(const RECT& rc, uint32_t argb);

  // Text in the selected font (the stock font at first). x, y is the top-left of the text
  // cell; the text is blended by its coverage in the text colour, over a cell filled with
  // the background colour in OPAQUE mode (the default). Without a font engine text measures
  // 0 and draws nothing.
  HFONT SelectFont(HFONT font);  // returns the old font; null selects nothing
  HFONT GetFont() const { return m_font; }
  COLORREF SetTextColor(COLORREF color);  // default black; returns the old colour
  COLORREF SetBkColor(COLORREF color);    // default white
  int SetBkMode(int mode);                // TRANSPARENT or OPAQUE; returns the old mode
  // len -1: up to the NUL.
  BOOL TextOut(int x, int y, const char16_t* text, int len = -1);
  // Lines of text placed in rc by format (lines split at line feeds unless DT_SINGLELINE;
  // DT_VCENTER and DT_BOTTOM only with DT_SINGLELINE), clipped to rc unless DT_NOCLIP.
  // Without DT_NOPREFIX "&x" shows x underlined and "&&" one '&'. DT_END_ELLIPSIS cuts a
  // line too wide for rc to its longest start that fits with "..." after it. DT_CALCRECT
  // draws nothing and sets rc's right and bottom to the text's extent. Returns the height of
  // the text.
  int DrawText(const char16_t* text, int len, RECT* rc, UINT format);
  // Width of the text and the font's cell height.
  SIZE GetTextExtent(const char16_t* text, int len = -1) const;
  BOOL GetTextMetrics(TEXTMETRIC* tm) const;

  // Copies w x h pixels from (sx, sy) of src to (x, y) (src may be this image; neither
  // viewport origin nor alpha rule applies to src).
  void BitBlt(int x, int y, int w, int h, const ScreenImage& src, int sx, int sy);
  // Mixes w x h pixels from (sx, sy) of src's bitmap into (x, y) by rop, each position
  // through its own context's viewport origin; clipped to both images and to this clip. src
  // may be this context, overlapping. DSTINVERT, BLACKNESS and WHITENESS read no source.
  void BitBlt(int x, int y, int w, int h, const DeviceContext& src, int sx, int sy, DWORD rop);
  // Copies w x h pixels from (sx, sy) of a 32-bit buffer (width x height, rows of pitch
  // pixels; with bottomUp, row 0 in memory is the bottom row; sx, sy count from the top as
  // shown) to (x, y); clipped to the buffer, the image and the clip.
  void SetDIBitsToDevice(int x, int y, int w, int h, const uint32_t* pixels, int width,
                         int height, int pitch, bool bottomUp, int sx, int sy);
  // Scales src of the buffer (top-down coordinates as above) onto dst, nearest neighbour:
  // destination pixel i of a row takes source src.left + (2i + 1) * srcW / (2 * dstW), and
  // likewise for rows. Empty or inverted rectangles draw nothing.
  void StretchDIBits(const RECT& dst, const uint32_t* pixels, int width, int height, int pitch,
                     bool bottomUp, const RECT& src);
  // Composites straight 0xAARRGGBB pixels, taken as SetDIBitsToDevice takes them, over the
  // image (source over), their alpha scaled by opacity (0..255).
  void AlphaBlendPixels(int x, int y, int w, int h, const uint32_t* pixels, int width,
                        int height, int pitch, bool bottomUp, int sx, int sy, int opacity = 255);

 private:
  struct Span {
    LONG y, x0, x1;  // x1 exclusive
  };
  RECT ClipRect() const;
  POINT Dev(int x, int y) const { return POINT{x + m_org.x, y + m_org.y}; }
  // Mixes the pen into each listed pixel inside the clip (points already unique where the
  // figure needs it) and marks their bounds dirty.
  void Plot(const std::vector<POINT>& pts);
  // Fills the region (spans and outline, clipped), less the outline when the pen draws it.
  void FillRegion(std::vector<Span> spans, const std::vector<POINT>& outline);
  void AddLine(std::vector<POINT>& out, int x0, int y0, int x1, int y1, const RECT& clip,
               bool dotted) const;
  void EllipsePoints(std::vector<POINT>& out, int left, int top, int right, int bottom,
                     const RECT& clip) const;
  // Draws the flattened Bezier segments of degree 2 or 3 through pts (logical).
  void DrawBezier(const POINT* pts, int count, int degree);
  uint32_t Mix(uint32_t dst, uint32_t rgb) const;
  void MixRow(uint32_t* row, int count, uint32_t rgb) const;
  // BitBlt in device coordinates; src null for the raster operations that read no source.
  void Blit(int x, int y, int w, int h, const ScreenImage* src, int sx, int sy, DWORD rop);
  // Puts buffer pixels; kind 0 copies, 1 blends over with opacity.
  void PutPixels(int x, int y, int w, int h, const uint32_t* pixels, int width, int height,
                 int pitch, bool bottomUp, int sx, int sy, int kind, int opacity);
  // Draws one line of text at device (x, y); underline [ulFrom, ulTo) in pixels from x.
  void DrawTextRun(int x, int y, const std::u16string& text, const RECT* clip, int ulFrom,
                   int ulTo);

  ScreenImage* m_pImage;
  int m_rop = R2_COPYPEN;
  int m_penStyle = PS_SOLID;
  uint32_t m_penRgb = 0;  // 0xRRGGBB
  int m_brushStyle = BS_NULL;
  uint32_t m_brushRgb = 0xFFFFFF;
  bool m_hasClip = false;
  RECT m_clip{0, 0, 0, 0};
  POINT m_pos{0, 0};
  POINT m_org{0, 0};
  HFONT m_font;
  COLORREF m_textColor = 0;
  COLORREF m_bkColor = 0xFFFFFF;
  int m_bkMode = OPAQUE;
};

}  // namespace gui
