// What the paint space needs of the program's frame and view: the view's client size, its
// screen image to present into and to draw tool feedback over, repaints, the scroll bars and
// the palette's colours. The frame and the view implement it; tests implement it in memory.
#pragma once
#include "platform/base/Present.h"
#include "platform/base/Types.h"

class IShellServices;
namespace gui {
class DeviceContext;
}

// One scroll bar, over the range 0..0x4000.
struct ScrollBarState {
  int nPos;
  int nPage;
};

constexpr int SPACE_SCROLL_RANGE = 0x4000;

class IPaintSpaceHost {
 public:
  virtual ~IPaintSpaceHost() = default;

  // The view's client area in pixels.
  virtual SIZE GetClientSize() = 0;
  // The view's screen image, to present into and draw XOR lines over; null when the view has
  // none. Any thread may take it, holding the paint space's drawing lock until ReleaseDC.
  virtual HDC GetDC() = 0;
  // Done with the image: the view shows it (by posting, never waiting for the UI thread).
  virtual void ReleaseDC(HDC dc) = 0;
  // A device context over the view's screen image for tool feedback (XOR figures, text,
  // blits), null when the view has none. Any thread; the paint space's drawing lock is held
  // until ReleaseViewDC, and the view shows what was drawn by posting, never by waiting.
  virtual gui::DeviceContext* GetViewDC() = 0;
  virtual void ReleaseViewDC(gui::DeviceContext* dc) = 0;
  // Asks the view to repaint (its paint calls CPaintSpace::OnDraw).
  virtual void InvalidateView(BOOL erase) = 0;
  // Asks the main frame to repaint itself and its bars.
  virtual void InvalidateFrame() = 0;
  // Shows both scroll bars' positions and pages.
  virtual void SyncScrollBars(const ScrollBarState& horz, const ScrollBarState& vert) = 0;
  // The palette's colour of a slot (0: the current colour), 0x00RRGGBB.
  virtual COLORREF GetColor(int index) = 0;
  // Ends pending work of the side bars (a rename in progress) before the space acts.
  virtual void FinishListWork() {}
  // The view takes the mouse capture while a tool drags with any button, and lets it go.
  virtual void SetCapture() {}
  virtual void ReleaseCapture() {}
  // The view's client point in screen coordinates.
  virtual POINT ClientToScreen(POINT pt) { return pt; }
  // The main frame's services (ring menu, colour wheel, option bar); null without a frame.
  virtual IShellServices* GetShell() { return nullptr; }
  // The view asks for a notice when the pointer leaves it (WM_MOUSELEAVE), and takes the
  // keyboard focus unless it has it; a tool that follows the pointer asks for both.
  virtual void TrackMouseLeave() {}
  virtual void TakeFocus() {}
};
