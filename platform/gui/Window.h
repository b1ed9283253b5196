// The window base: a C++ window object with a handle, a WindowProc that subclasses override,
// and the services the program's windows expect of the system: sent and posted messages,
// painting through a screen image, capture, mouse-leave tracking, timers, cursors and scroll
// bars. Qt stays inside: a window owns (or adopts) a QWidget, and the widget's events come in
// as window messages:
// - mouse: WM_SETCURSOR (HTCLIENT, while nobody holds the capture) then WM_MOUSEMOVE,
//   WM_xBUTTONDOWN/UP/DBLCLK with MK_ bits in wParam and the client point as two signed
//   16-bit values in lParam (negative and beyond the client under capture). While a window
//   holds the capture every mouse message goes to it.
// - WM_MOUSEWHEEL/WM_MOUSEHWHEEL: delta in multiples of 120 in the high word of wParam
//   (smaller steps accumulate), MK_ bits low, the screen point in lParam.
// - WM_KEYDOWN/WM_KEYUP with a virtual key code; lParam bit 30 set on a key already down
//   (auto-repeat), bits 30 and 31 on key-up; auto-repeat releases are dropped. WM_CHAR after a
//   key-down that types text.
// - WM_SETFOCUS, WM_KILLFOCUS, WM_SIZE (client size in device pixels), WM_PAINT,
//   WM_CAPTURECHANGED (lParam: the new holder or null), WM_MOUSELEAVE, WM_TIMER,
//   WM_HSCROLL/WM_VSCROLL from the window's scroll bars, WM_CLOSE.
// - WM_ACTIVATE to top-level windows (popups, the frame): WA_ACTIVE / WA_INACTIVE in wParam,
//   lParam the other window when it is one of ours. Qt tells the newly active window before
//   the one that lost activation.
// - WM_DROPFILES on windows that DragAcceptFiles (DragDrop.h), after the drop has ended.
// Client coordinates are device pixels, the same pixels as the screen image; screen
// coordinates too.
// Windows are UI-thread objects: only PostMessage (and drawing into a screen image through a
// device context) may be used from other threads.
#pragma once
#include <memory>
#include <string>

#include "Cursor.h"
#include "Dc.h"
#include "Messages.h"
#include "platform/base/Types.h"

class QObject;
class QWidget;
class QScrollBar;
class QEvent;

namespace gui {

namespace detail {
class GWidget;
class TimerHost;
struct WindowAccess;
}  // namespace detail

class GWindow {
 public:
  GWindow();
  virtual ~GWindow();
  GWindow(const GWindow&) = delete;
  GWindow& operator=(const GWindow&) = delete;

  // Makes the window's own widget: a child of parent at rc (parent client coordinates) or a
  // top-level window when parent is null. Sends WM_CREATE; -1 from it undoes the creation
  // and gives FALSE. Styles: WS_VISIBLE, WS_DISABLED, WS_HSCROLL, WS_VSCROLL, WS_BORDER (the
  // client area lies inside a 1-pixel frame), WS_POPUP (below).
  BOOL Create(GWindow* parent, const RECT& rc, DWORD style = WS_CHILD | WS_VISIBLE);
  BOOL Create(QWidget* parent, const RECT& rc, DWORD style = WS_CHILD | WS_VISIBLE);
  // With WS_POPUP, parent is the owner and rc is in screen coordinates: a frameless top-level
  // window, not in the task bar, kept above its owner and destroyed with the owner's widget.
  // Extended styles: WS_EX_TOPMOST, WS_EX_NOACTIVATE (never active: it takes no keys and
  // leaves the active window alone), WS_EX_LAYERED (translucent: the screen image keeps
  // straight alpha and the window shows it over what lies behind), WS_EX_TOOLWINDOW (what
  // every popup is), WS_EX_GUI_CLOSEONDEACTIVATE.
  BOOL CreateEx(DWORD exStyle, GWindow* parent, const RECT& rc, DWORD style);
  // Gives a widget made elsewhere (the frame, a bar) a handle, message dispatch, timers and
  // the window services that need no input translation. The widget stays its maker's.
  void Attach(QWidget* widget);
  // Sends WM_DESTROY, deletes an own widget (an attached one is left alone) and drops the
  // handle. The base destructor does this without WM_DESTROY reaching a subclass: a subclass
  // that handles WM_DESTROY calls DestroyWindow in its own destructor.
  void DestroyWindow();

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  QWidget* GetWidget() const { return m_pWidget; }
  // The window of a handle; null when it is gone. UI thread.
  static GWindow* FromHandle(HWND hwnd);
  UINT GetDlgCtrlID() const { return m_nID; }
  void SetDlgCtrlID(UINT id) { m_nID = id; }
  DWORD GetStyle() const { return m_dwStyle; }
  DWORD GetExStyle() const { return m_dwExStyle; }
  // A popup's owner (null for other windows).
  HWND GetOwner() const { return m_hOwner; }

  // Every message of the window comes here; the default is DefWindowProc.
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // WM_SETCURSOR sets the class cursor, WM_SETREDRAW switches repainting, WM_CLOSE destroys
  // the window, WM_ACTIVATE (active) gives an own top-level window the keyboard focus unless
  // something inside it has it; everything else answers 0.
  LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // A direct call of WindowProc on the calling thread (which must be the UI thread).
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Queues the message for the UI thread; any thread. Needs the gui::Application (which
  // installs the queue behind plat::PostMessage); messages to a window destroyed meanwhile
  // are dropped.
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

  // Painting. The window shows its screen image; an invalidated area asks the program to
  // draw (WM_PAINT) before the image is shown, while drawing through a device context (or
  // presenting) outside WM_PAINT shows the image without WM_PAINT.
  void Invalidate(BOOL erase = TRUE);
  void InvalidateRect(const RECT* rc, BOOL erase = TRUE);
  // Paints at once when part of the window is invalid.
  void UpdateWindow();
  // During WM_PAINT: the invalid rectangle being painted.
  BOOL GetUpdateRect(RECT* rc) const;
  // The window's screen image, made on first use and kept at the client size.
  ScreenImage* GetScreenImage();
  // The lock that guards the screen image (the view passes the paint space's drawing lock).
  void SetDrawingLock(GLock* lock);
  // Colour of the image where nothing was drawn yet (COLORREF).
  void SetBackgroundColor(COLORREF color);

  // Geometry, in device pixels.
  void GetClientRect(RECT* rc) const;
  void GetWindowRect(RECT* rc) const;  // screen coordinates
  // Moves and sizes the window (parent client coordinates; screen coordinates for a
  // top-level window).
  void MoveWindow(const RECT& rc, BOOL repaint = TRUE);
  // Moves (unless SWP_NOMOVE) and sizes (unless SWP_NOSIZE) the window as MoveWindow does,
  // restacks it (unless SWP_NOZORDER: HWND_TOP, HWND_BOTTOM, or below the sibling after),
  // shows (SWP_SHOWWINDOW) or hides it (SWP_HIDEWINDOW), and activates a top-level window
  // unless SWP_NOACTIVATE. The other SWP_ flags change nothing here.
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags);
  void ClientToScreen(POINT* pt) const;
  void ScreenToClient(POINT* pt) const;

  // Mouse.
  HWND SetCapture();
  // TME_LEAVE: one WM_MOUSELEAVE (posted) when the mouse next leaves the window, at once
  // when it is not inside now.
  BOOL TrackMouseEvent(DWORD flags);
  // The cursor WM_SETCURSOR's default handling sets (the arrow unless changed).
  void SetClassCursor(HCURSOR cursor) { m_hClassCursor = cursor; }
  // With double clicks on (the default), a second press in time comes as WM_xBUTTONDBLCLK;
  // off, as another WM_xBUTTONDOWN.
  void SetDoubleClicks(bool on) { m_bDblClks = on; }
  // Pen samples of a tablet: called before the mouse message of the sample.
  virtual void OnTabletSample(float pressure, float xTiltDeg, float yTiltDeg, float rotationDeg);
  // Tooltips by area: when the mouse rests at client point pt, a window that has a tip there
  // fills the text and the client area it covers and answers TRUE; the tip shows until the
  // mouse leaves that area. The default has none.
  virtual BOOL OnToolHitTest(POINT pt, std::u16string* text, RECT* area);

  // Timers: WM_TIMER with wParam id every elapse ms; setting an id again restarts it.
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
  BOOL KillTimer(UINT_PTR id);

  // State. Showing a top-level window (SW_SHOW, SW_SHOWNORMAL, SW_RESTORE, SW_SHOWMAXIMIZED)
  // activates it; SW_SHOWNA and SW_SHOWNOACTIVATE do not.
  BOOL ShowWindow(int cmd);
  BOOL IsWindowVisible() const;
  BOOL EnableWindow(BOOL enable);
  BOOL IsWindowEnabled() const;
  void SetWindowText(const char16_t* text);
  std::u16string GetWindowText() const;
  HWND SetFocus();

  // The window's own scroll bars (styles WS_HSCROLL, WS_VSCROLL). The bars never move by
  // themselves: they send WM_HSCROLL/WM_VSCROLL (MAKEWPARAM(code, thumb position), lParam 0)
  // and show what SetScrollInfo sets.
  int SetScrollInfo(int bar, const SCROLLINFO* info, BOOL redraw = TRUE);
  BOOL GetScrollInfo(int bar, SCROLLINFO* info) const;
  int SetScrollPos(int bar, int pos, BOOL redraw = TRUE);
  int GetScrollPos(int bar) const;

 protected:
  HWND m_hWnd = nullptr;

 private:
  friend class detail::GWidget;
  friend struct detail::WindowAccess;
  struct Bar {
    SCROLLINFO info{sizeof(SCROLLINFO), 0, 0, 100, 0, 0, 0};
    QScrollBar* widget = nullptr;
  };

  BOOL CreateIn(QWidget* parent, const RECT& rc, DWORD style, DWORD exStyle);
  void Register();
  void Unregister();
  void ReleaseWidget();
  // The outermost widget of the window: the border frame of a WS_BORDER window, else the
  // client widget. Placement, showing and stacking act on it.
  QWidget* Frame() const;
  void SetFrameRect(const RECT& rc);
  void Activate();
  void Show(bool activate);
  // Hides the popup for its loss of activation and tells the owner.
  void ClosePopup();
  void LayoutBars();
  void SyncBar(int bar);
  void OnBarAction(int bar, int action);
  // Called by the widget.
  void PaintWidget(QEvent* event);
  void ResizeClient();
  void FlushImage();
  void LoseWidget();

  QWidget* m_pWidget = nullptr;
  QWidget* m_pBorder = nullptr;  // the frame of a WS_BORDER window; owns m_pWidget
  bool m_bOwnWidget = false;
  // Watches an attached widget: its end, activation, drops and tooltips.
  std::unique_ptr<QObject> m_pAttachGuard;
  DWORD m_dwStyle = 0;
  DWORD m_dwExStyle = 0;
  HWND m_hOwner = nullptr;
  bool m_bAcceptFiles = false;
  UINT m_nID = 0;
  std::unique_ptr<ScreenImage> m_pImage;
  GLock* m_pDrawLock = nullptr;
  uint32_t m_background = 0xFFFFFF;
  RECT m_invalid{0, 0, 0, 0};
  RECT m_paintRect{0, 0, 0, 0};
  bool m_bInPaint = false;
  bool m_bDblClks = true;
  bool m_bTrackLeave = false;
  bool m_bMouseInside = false;
  HCURSOR m_hClassCursor = nullptr;
  detail::TimerHost* m_pTimers = nullptr;  // made on the first SetTimer
  Bar m_bars[2];
};

// Places of SetWindowPos.
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(1);

// The same services by handle, with the system's names.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
// Any thread; FALSE when the window does not exist.
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
BOOL IsWindow(HWND hwnd);
HWND GetCapture();
// Takes the capture from whoever holds it; that window gets WM_CAPTURECHANGED with the new
// holder in lParam. Returns the previous holder.
HWND SetCapture(HWND hwnd);
// Ends the capture; the holder gets WM_CAPTURECHANGED with lParam 0.
BOOL ReleaseCapture();
HWND GetFocus();
HWND SetFocus(HWND hwnd);
// The top-level window of ours that is active, else null.
HWND GetActiveWindow();
// Whether hwnd lies inside the top-level window that is active now; also when that window is
// not one of ours, as a floating bar's holder is not.
BOOL IsInActiveWindow(HWND hwnd);
// The available area (without panels and docks) of the screen that holds pt, else of the
// primary screen; screen coordinates. Keeps popups on the screen.
RECT GetWorkArea(POINT pt);
// The window under a screen point (one of ours), else null.
HWND WindowFromPoint(POINT pt);
// High bit set while the key (or mouse button) is down.
int16_t GetKeyState(int vk);
BOOL InvalidateRect(HWND hwnd, const RECT* rc, BOOL erase = TRUE);

}  // namespace gui
