// The vertical page bar: the side bar that hosts a panel (the layer list, the brush list) and
// shows one page at a time, the panel's root page or one of up to seven pages stacked on it
// (the property page of the current layer, say). Its title row says where the user is: the
// root page's title with a tab forward to a registered page, or on a stacked page a tab back
// to the previous one and the current title; a close button at the right hides the bar.
// Docked, its top and bottom edges split the side's height with the bars above and below:
// the bar asks its dock bar how far an edge may go (WM_MYVB_QUERYSPLIT) and has it move the
// edge (WM_MYVB_SPLIT); a collapsed bar (its title row only) opens on a click. The panels
// drive the pages through the messages of VertBarMessages.h. No Qt in here.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "frame/DockMessages.h"
#include "panels/VertBarMessages.h"
#include "platform/gui/Window.h"

class CMyDockContext;
class QWidget;

class CMyVertBar : public gui::GWindow {
 public:
  static constexpr UINT myPAGECOUNTMAX = 8;
  enum State { myNOTCREATED, myIDLE, myCLOSEPRESSED, myTABPRESSED, mySPLITTING };

  // Geometry of the client area: the frame band around the pages and the title row above.
  static constexpr int kBand = 7;
  static constexpr int kTitleCy = 23;  // the top band: kBand + 16
  static constexpr int kTabCy = 18;
  static constexpr int kSlant = 18;
  // A bar this high or less is collapsed: a click opens it.
  static constexpr int kCollapsedMax = 25;
  // The splitter edges: the top rows and the bottom rows of the client area.
  static constexpr int kTopEdge = 2;
  static constexpr int kBottomEdge = 3;
  static constexpr int kMinCx = 64, kMaxCx = 400, kMinCy = 64;

  // Layout request bits of CalcDynamicLayout.
  static constexpr DWORD LM_STRETCH = 0x01, LM_HORZ = 0x02, LM_MRUWIDTH = 0x04, LM_HORZDOCK = 0x08,
                         LM_VERTDOCK = 0x10, LM_LENGTHY = 0x20, LM_COMMIT = 0x40;
  static constexpr DWORD LM_WORKINGSIZE = 0x80000000;

  CMyVertBar();
  ~CMyVertBar() override;

  // Makes the bar's window, shown, as a child of parent with control id and the root page's
  // title; it starts empty (as large as its parent lays it out).
  BOOL Create(gui::GWindow* parent, UINT id, const char16_t* title);
  BOOL Create(QWidget* parent, UINT id, const char16_t* title);

  // The panel the bar hosts becomes the root page (title: null keeps the bar's title). A
  // page must be a child window of the bar.
  void SetToolStrip(HWND window, const char16_t* title);
  // WM_MYVB_SETROOT, WM_MYVB_PUSHPAGE and WM_MYVB_NAVIGATE (VertBarMessages.h).
  BOOL SetRootPage(HWND page, const char16_t* title);
  BOOL PushPage(HWND page, const char16_t* title);
  BOOL Navigate(WPARAM kind);
  // Computes the title tab for the current page and client width; FALSE when there is none.
  BOOL RefreshTitlePath();
  // What hides the bar when its close button is clicked (default: its own window hides).
  void SetCloseHandler(std::function<void()> onClose) { m_onClose = std::move(onClose); }
  // The font of the titles (null: the stock font); the caller keeps it alive.
  void SetFont(gui::HFONT font) { m_hFont = font; }

  int GetState() const { return m_nState; }
  UINT GetPagePos() const { return m_uPagePos; }
  HWND GetPage(UINT index) const { return index < myPAGECOUNTMAX ? m_ahPage[index] : nullptr; }
  std::u16string GetTitle(UINT index) const { return index < myPAGECOUNTMAX ? m_astrTitle[index] : u""; }
  // The title tab's corners P0..P3, valid while HasTitleTab.
  const POINT* GetTitlePath() const { return m_aptTab.data(); }
  bool HasTitleTab() const { return m_bTab; }
  RECT GetPageRect() const;
  // FALSE when the bar is too narrow for the close button.
  BOOL GetCloseRect(RECT* rc) const;
  // Inside the quadrilateral by its winding angle (corners in order P0..P3).
  static bool PointInQuad(const POINT* quad, POINT pt);

  // Sizes: docked as the dock bar told (WM_MYVB_SETSIZE .. WM_MYVB_RESTOREEXTENT), floating
  // as the user made it.
  SIZE CalcFixedLayout() const { return SIZE{m_cxDocked, m_cyDocked}; }
  SIZE CalcDynamicLayout(int length, DWORD mode);
  int GetWorkingHeight() const { return m_cyWorking; }
  // While a splitter drag runs: the tracker's centre line in dock-bar coordinates; else -1.
  int GetTrackerY() const { return m_nState == mySPLITTING ? m_nTrackY : -1; }
  CMyDockContext* GetDockContext() const { return m_pDockContext.get(); }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  class Tracker;

  BOOL OnCreate(const char16_t* title);
  HWND DockBar() const;
  int ClientHeight() const;
  // The edge (VB_EDGE_TOP / VB_EDGE_BOTTOM) at a client point, -1 for none; with a dock bar
  // that lets it move, its range in *range.
  int SplitEdgeAt(POINT pt, LRESULT* range) const;
  void ShowPage(HWND page, bool show);
  void PlacePage(HWND page);
  void Redraw();
  void Paint(bool tabPressed);
  void DrawCloseButton(gui::DeviceContext& dc, bool pushed);
  int TextWidth(const std::u16string& text) const;
  // The dock bar's coordinates of a client y.
  int ToDockY(int y) const;
  void PlaceTracker();
  void EndSplit(bool apply);
  void OnLButtonDown(POINT pt);
  void OnMouseMove(POINT pt);
  void OnLButtonUp(POINT pt);
  void OnRButtonUp(POINT pt);
  void OnCaptureLost();

  int m_nState = myNOTCREATED;
  UINT m_uPagePos = 0;
  std::array<HWND, myPAGECOUNTMAX> m_ahPage{};
  std::array<std::u16string, myPAGECOUNTMAX> m_astrTitle;
  std::array<POINT, 4> m_aptTab{};
  bool m_bTab = false;
  gui::HFONT m_hFont = nullptr;
  std::unique_ptr<CMyDockContext> m_pDockContext;
  std::function<void()> m_onClose;
  // Sizes.
  SIZE m_szFloat{kMinCx, kMinCy};
  int m_cxDocked = kMinCx, m_cyDocked = kMinCy, m_cxDocked2 = kMinCx, m_cyWorking = kMinCy;
  // The splitter drag: the edge, the range its y may take and the tracker line's centre, in
  // dock-bar coordinates.
  LPARAM m_nEdge = VB_EDGE_BOTTOM;
  int m_nTrackLow = 0, m_nTrackHigh = 0, m_nTrackY = 0;
  HWND m_hDockBar = nullptr;
  std::unique_ptr<Tracker> m_pTracker;
};
