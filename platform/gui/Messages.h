// Window message codes and their wParam/lParam packing, as the program's windows, tools and
// lists expect them. Plain C++: no Qt here.
#pragma once
#include "platform/base/Types.h"

using UINT_PTR = uintptr_t;

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSEHWHEEL = 0x020E;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_USER = 0x0400;
// Private messages of the program live in WM_APP .. 0x8FFF (WM_MY...).
constexpr UINT WM_APP = 0x8000;
constexpr UINT WM_APP_LAST = 0x8FFF;
// The window layer's own: a screen image asks its window to show the pixels drawn into it.
// Handled before WindowProc; never seen by the program.
constexpr UINT WM_GUI_FLUSHIMAGE = 0x7E01;
// The window layer's own: a drop of files waits in the queue for its WM_DROPFILES (wParam:
// the HDROP), so that the program's handler runs after the drag has ended. Never seen by
// the program.
constexpr UINT WM_GUI_DROPFILES = 0x7E02;
// Sent to the owner of a WS_EX_GUI_CLOSEONDEACTIVATE popup after the popup hid itself on
// losing activation; wParam: the popup's handle.
constexpr UINT WM_GUI_POPUPCLOSED = 0x7E03;

// WM_ACTIVATE wParam (low word).
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;

// WM_SIZE wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_SETCURSOR hit test (LOWORD of lParam).
constexpr WORD HTCLIENT = 1;

// Mouse message key bits (wParam).
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr WPARAM MK_XBUTTON1 = 0x0020;
constexpr WPARAM MK_XBUTTON2 = 0x0040;

constexpr int WHEEL_DELTA = 120;

// TrackMouseEvent flags.
constexpr DWORD TME_LEAVE = 0x00000002;

// Key message lParam bits.
constexpr LPARAM KF_EXTENDED_BIT = LPARAM(1) << 24;
constexpr LPARAM KF_REPEAT_BIT = LPARAM(1) << 30;  // the key was down before this message
constexpr LPARAM KF_UP_BIT = LPARAM(1) << 31;      // transition: the key is being released

// Virtual key codes.
constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_MBUTTON = 0x04;
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;  // Alt
constexpr UINT VK_PAUSE = 0x13;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;  // Page Up
constexpr UINT VK_NEXT = 0x22;   // Page Down
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
// '0'..'9' are 0x30..0x39 and 'A'..'Z' 0x41..0x5A, as their characters.
constexpr UINT VK_NUMPAD0 = 0x60;
constexpr UINT VK_MULTIPLY = 0x6A;
constexpr UINT VK_ADD = 0x6B;
constexpr UINT VK_SUBTRACT = 0x6D;
constexpr UINT VK_DECIMAL = 0x6E;
constexpr UINT VK_DIVIDE = 0x6F;
constexpr UINT VK_F1 = 0x70;  // F1..F24 follow in order
constexpr UINT VK_OEM_1 = 0xBA;  // ;:
constexpr UINT VK_OEM_PLUS = 0xBB;
constexpr UINT VK_OEM_COMMA = 0xBC;
constexpr UINT VK_OEM_MINUS = 0xBD;
constexpr UINT VK_OEM_PERIOD = 0xBE;
constexpr UINT VK_OEM_2 = 0xBF;  // /?
constexpr UINT VK_OEM_3 = 0xC0;  // `~
constexpr UINT VK_OEM_4 = 0xDB;  // [{
constexpr UINT VK_OEM_5 = 0xDC;  // \|
constexpr UINT VK_OEM_6 = 0xDD;  // ]}
constexpr UINT VK_OEM_7 = 0xDE;  // '"

// Scroll bars: which bar, the request codes of WM_HSCROLL/WM_VSCROLL (LOWORD of wParam) and
// the fields of SCROLLINFO.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_BOTH = 3;
constexpr WORD SB_LINEUP = 0;
constexpr WORD SB_LINELEFT = 0;
constexpr WORD SB_LINEDOWN = 1;
constexpr WORD SB_LINERIGHT = 1;
constexpr WORD SB_PAGEUP = 2;
constexpr WORD SB_PAGELEFT = 2;
constexpr WORD SB_PAGEDOWN = 3;
constexpr WORD SB_PAGERIGHT = 3;
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_THUMBTRACK = 5;
constexpr WORD SB_TOP = 6;
constexpr WORD SB_LEFT = 6;
constexpr WORD SB_BOTTOM = 7;
constexpr WORD SB_RIGHT = 7;
constexpr WORD SB_ENDSCROLL = 8;
constexpr UINT SIF_RANGE = 0x1;
constexpr UINT SIF_PAGE = 0x2;
constexpr UINT SIF_POS = 0x4;
constexpr UINT SIF_DISABLENOSCROLL = 0x8;
constexpr UINT SIF_TRACKPOS = 0x10;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

struct SCROLLINFO {
  UINT cbSize;
  UINT fMask;
  int nMin;
  int nMax;
  UINT nPage;
  int nPos;
  int nTrackPos;
};

// Window styles the window base understands.
constexpr DWORD WS_POPUP = 0x80000000;  // frameless top-level window at a screen position
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_BORDER = 0x00800000;  // a 1-pixel frame around the client area
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;

// Extended styles (of popups).
constexpr DWORD WS_EX_TOPMOST = 0x00000008;     // above every other window
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;  // not in the task bar (every popup is not)
constexpr DWORD WS_EX_LAYERED = 0x00080000;     // per-pixel alpha from the screen image
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;  // never becomes the active window
// The window layer's own: the popup hides itself when it (or, never active itself, its
// owner's window) loses activation, and tells its owner (WM_GUI_POPUPCLOSED).
constexpr DWORD WS_EX_GUI_CLOSEONDEACTIVATE = 0x40000000;

// SetWindowPos flags.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// Packing helpers.
constexpr int GET_X_LPARAM(LPARAM lp) { return int(int16_t(LOWORD(uintptr_t(lp)))); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return int(int16_t(HIWORD(uintptr_t(lp)))); }
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) { return WPARAM(DWORD(lo) | (DWORD(hi) << 16)); }
constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM wp) { return int(int16_t(HIWORD(wp))); }
constexpr WORD GET_KEYSTATE_WPARAM(WPARAM wp) { return LOWORD(wp); }
// A client or screen point as a mouse message carries it: each coordinate as a signed
// 16-bit value (clamped, so far-off points keep their side).
constexpr LPARAM MakePointLParam(int x, int y) {
  auto clamp16 = [](int v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; };
  return MAKELPARAM(WORD(int16_t(clamp16(x))), WORD(int16_t(clamp16(y))));
}

// ---- Controls (edit, buttons, sliders, option toolbars) ----------------------------------
// What the child controls send their parents and the messages they answer, numbered as the
// system numbers them.

// The in-place edit is done: wParam 1 accepted (Enter), 0 cancelled (Escape); lParam the edit.
constexpr UINT WM_MYEDITDONE = 0x800B;

// WM_COMMAND notification codes (HIWORD of wParam; LOWORD is the control id, lParam the
// control's window).
constexpr WORD BN_CLICKED = 0;
constexpr WORD EN_KILLFOCUS = 0x0200;

// Edit messages: select wParam..lParam (-1 as the end: to the end of the text; a start of -1
// drops the selection); limit the text to wParam characters (0: no limit).
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_LIMITTEXT = 0x00C5;

// Button messages and check states.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

// Button styles (the low four bits are the kind).
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_TYPEMASK = 0x000F;
constexpr DWORD BS_PUSHLIKE = 0x1000;  // a check box that looks like a tool button

// ---- List box: styles, notifications (WM_COMMAND, high word of wParam) and owner drawing ----
constexpr DWORD LBS_NOTIFY = 0x0001;            // tell the parent of clicks and selection changes
constexpr DWORD LBS_OWNERDRAWFIXED = 0x0010;    // the program draws rows of one fixed height
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;  // the last row may show in part
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD LBN_DBLCLK = 2;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODA_DRAWENTIRE = 0x1;
constexpr UINT ODA_SELECT = 0x2;
constexpr UINT ODA_FOCUS = 0x4;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_FOCUS = 0x0010;

// ---- Drop-down list popup and drop-down control -----------------------------------------------
// The list popup closed by the user: wParam 1 a row was chosen (the owner reads it from the
// popup's list box, LB_GETCURSEL), 0 cancelled; lParam the popup. Sent to the popup's owner.
constexpr UINT WM_MYPOPUPCLOSED = 0x800C;
// The user chose a row of a drop-down control: wParam the row, lParam the control. Sent to
// the control's notify window.
constexpr UINT WM_MYCOMBOCHANGED = 0x8015;
