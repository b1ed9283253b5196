// The private messages between the side bars, the dock bars they stack in and the drag
// contexts that move them, with the sizes they share. No Qt in here.
//
// Dock-bar coordinates are the client coordinates of the dock bar's window; a bar maps its
// own points there through the screen (ClientToScreen, then the dock bar's ScreenToClient).
// A bar's top edge lies at its top, its bottom edge at its top + height.
#pragma once
#include "platform/base/Types.h"

// ---- A bar to its dock bar (wParam: the bar's window) ----------------------------------------
// May the edge move? lParam VB_EDGE_TOP or VB_EDGE_BOTTOM. Answer: 0 (no), or the range of
// the edge's y, MAKELONG(minimum, maximum): every bar on either side keeps at least
// VB_COLLAPSED_CY, so the ends lie in steps of that height from the ends of the stack.
constexpr UINT WM_MYVB_QUERYSPLIT = 0x8046;
// Move the edge: lParam = (new edge y << 16) | edge bit. The bars beside the edge change
// height; when one reaches VB_COLLAPSED_CY the next one further on gives way. 1 when done.
constexpr UINT WM_MYVB_SPLIT = 0x8047;
// Open this bar (a click on it collapsed): the other bars collapse to VB_COLLAPSED_CY, this
// one takes the rest of the stack. lParam 0.
constexpr UINT WM_MYVB_EXPAND = 0x8048;
// Open the bar after this one (wrapping round to the first) when it is collapsed (less than
// VB_EXPANDED_MIN high): as WM_MYVB_EXPAND of that bar. lParam 0; 1 when done.
constexpr UINT WM_MYVB_EXPANDNEXT = 0x8049;

// ---- The dock bar to its bars ----------------------------------------------------------------
// The bar's docked width is now lParam (the column of the side changed width, or the bar
// joined it). wParam 0.
constexpr UINT WM_MYVB_SETSIZE = 0x804A;
// The bar's docked height is now lParam. wParam 0: the user chose it (a split, an expand or
// a collapse), so it is also the height the bar asks for from now on (1, collapsed, when it
// is VB_COLLAPSED_CY or less). wParam VB_EXTENT_LAYOUT: the frame's layout gave it (the
// window changed size); the height the bar asks for stays.
constexpr UINT WM_MYVB_SETEXTENT = 0x804B;
// The bar asks for the docked height it has now from now on (sent when it joins a side).
constexpr UINT WM_MYVB_RESTOREEXTENT = 0x804C;

// ---- A drag context to its bar ---------------------------------------------------------------
// wParam 0, lParam a RECT* (screen): where the dragged bar would go now; the bar may adjust
// it (its floating size, its docked width).
constexpr UINT WM_MYDOCKQUERY = 0x800A;

// Edge bits of WM_MYVB_QUERYSPLIT and WM_MYVB_SPLIT.
constexpr LPARAM VB_EDGE_BOTTOM = 0;
constexpr LPARAM VB_EDGE_TOP = 1;
// wParam of WM_MYVB_SETEXTENT for a height the layout gave.
constexpr WPARAM VB_EXTENT_LAYOUT = 1;

// A collapsed bar shows its title row only.
constexpr int VB_COLLAPSED_CY = 22;
// A bar less high than this counts as collapsed.
constexpr int VB_EXPANDED_MIN = 26;

// The sides a side bar docks on.
constexpr int DOCK_NONE = -1;
constexpr int DOCK_LEFT = 0;
constexpr int DOCK_RIGHT = 1;
