// The page messages of a vertical page bar (MyVertBar.h): a panel hands the bar its pages and
// moves between them; the bar tells a page when it is closed or asked to let the bar go on.
// The bar's messages with its dock bar are in frame/DockMessages.h. No Qt in here.
#pragma once
#include "platform/base/Types.h"

// wParam: the page window (null: nothing), lParam: its title (const char16_t*). With a root
// page the bar has, the page becomes the one the forward tab leads to; else the root page.
// 1 when taken, 0 when the stack is full.
constexpr UINT WM_MYVB_SETROOT = 0x804D;
// wParam: the page window, lParam: its title. Shows the page on top of the current one.
// 1 when taken, 0 when the stack is full.
constexpr UINT WM_MYVB_PUSHPAGE = 0x804E;
// wParam: VB_NAV_HOME, VB_NAV_BACK or VB_NAV_FORWARD; lParam 0. 1 when the page changed.
constexpr UINT WM_MYVB_NAVIGATE = 0x804F;
// The bar to a page: wParam VB_PAGE_CLOSING (the page leaves the stack or is left by a step
// back) or VB_PAGE_MAYFORWARD (non-zero lets the bar go on to the page registered after it).
constexpr UINT WM_MYVB_PAGENOTIFY = 0x8050;

constexpr WPARAM VB_NAV_HOME = 0;
constexpr WPARAM VB_NAV_BACK = 1;
constexpr WPARAM VB_NAV_FORWARD = 2;

constexpr WPARAM VB_PAGE_CLOSING = 1;
constexpr WPARAM VB_PAGE_MAYFORWARD = 2;
