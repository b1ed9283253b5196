// The frame's dock bar of one side: the side bars docked there are stacked one above the
// other, and their edges split the side's height between them. A bar asks its dock bar
// whether an edge may move and how far (WM_MYVB_QUERYSPLIT), moves it (WM_MYVB_SPLIT), and
// opens a collapsed bar (WM_MYVB_EXPAND, WM_MYVB_EXPANDNEXT); the dock bar tells the bars the
// sizes they get (WM_MYVB_SETSIZE, WM_MYVB_SETEXTENT, WM_MYVB_RESTOREEXTENT), DockMessages.h.
//
// The frame lays its bars out; the dock bar reaches them only through IDockSite, which the
// frame implements over its docks. The dock bar's window is a hidden child of the frame: a
// handle for the messages and the origin of dock-bar coordinates. No Qt in here.
#pragma once
#include <vector>

#include "frame/DockMessages.h"
#include "platform/base/Types.h"
#include "platform/gui/Window.h"

// The frame's side bars as dock bars and drag contexts see them: where each one is and the
// moves the frame makes for them. Bars are known by their windows; rectangles are screen
// coordinates. A site registers itself while it lives, so that a bar finds its site.
class IDockSite {
 public:
  struct DockedBar {
    HWND hwnd;
    RECT rc;
  };

  IDockSite();
  virtual ~IDockSite();
  IDockSite(const IDockSite&) = delete;
  IDockSite& operator=(const IDockSite&) = delete;

  // The site that has this bar (docked, floating or hidden); null when none has.
  static IDockSite* ForBar(HWND bar);

  virtual BOOL HasBar(HWND bar) = 0;
  // The bars docked on a side, shown and not floating, from the top down.
  virtual std::vector<DockedBar> GetDockedBars(int side) = 0;
  // Gives the bars docked on a side these heights (bars as GetDockedBars lists them).
  virtual void SetBarHeights(int side, const std::vector<HWND>& bars, const std::vector<int>& heights) = 0;
  // The bar's window rectangle; FALSE when the bar is not shown.
  virtual BOOL GetBarRect(HWND bar, RECT* rc) = 0;
  // The side a bar let go at pt would dock on, with the rectangle it would take there;
  // DOCK_NONE when pt lies in no side's docking zone (the bar would float).
  virtual int DockSideAt(HWND bar, POINT pt, RECT* rc) = 0;
  // Floats the bar with its window at rc.
  virtual void FloatBar(HWND bar, const RECT& rc) = 0;
  // Docks the bar at the foot of the side.
  virtual void DockBar(HWND bar, int side) = 0;
};

class CMyDockBar : public gui::GWindow {
 public:
  // The dock bar of side (DOCK_LEFT, DOCK_RIGHT) of the site's frame; Create makes its window.
  CMyDockBar(IDockSite* site, int side);
  ~CMyDockBar() override;
  CMyDockBar(const CMyDockBar&) = delete;
  CMyDockBar& operator=(const CMyDockBar&) = delete;

  // The dock bar whose side the bar is docked on now; null when it floats, is hidden or
  // belongs to no dock bar.
  static CMyDockBar* FromBar(HWND bar);

  IDockSite* GetSite() const { return m_pSite; }
  int GetSide() const { return m_nSide; }

  // The frame calls this after its docks moved or changed size: a bar that joined the side
  // gets WM_MYVB_SETSIZE, WM_MYVB_SETEXTENT (layout) and WM_MYVB_RESTOREEXTENT; a bar whose
  // width or height changed since it was last told gets WM_MYVB_SETSIZE or WM_MYVB_SETEXTENT
  // (layout).
  void OnLayoutChanged();

  // The requests of WM_MYVB_QUERYSPLIT .. WM_MYVB_EXPANDNEXT (DockMessages.h); edge y in
  // dock-bar coordinates.
  LRESULT QuerySplit(HWND bar, BOOL topEdge);
  BOOL Split(HWND bar, int y, BOOL topEdge);
  BOOL Expand(HWND bar);
  BOOL ExpandNext(HWND bar);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  struct Bar {
    HWND hwnd;
    int top;  // dock-bar coordinates
    int bottom;
  };
  // What a bar was told last.
  struct Told {
    HWND hwnd;
    int cx;
    int cy;
  };
  // The bars of the side from the top down, in dock-bar coordinates; empty when they do
  // not lie one below the other (the frame nested some side by side).
  std::vector<Bar> Stack();
  static int IndexOf(const std::vector<Bar>& bars, HWND bar);
  // The index of the first bar below the edge; -1 when the edge has no bar on one side.
  static int EdgeIndex(const std::vector<Bar>& bars, int index, BOOL topEdge);
  // Gives the bars new heights and tells each bar in tell its height (WM_MYVB_SETEXTENT 0).
  void Resize(const std::vector<Bar>& bars, const std::vector<int>& heights, const std::vector<bool>& tell);
  Told* FindTold(HWND bar);

  IDockSite* m_pSite;
  int m_nSide;
  std::vector<Told> m_told;
  bool m_bSyncing = false;
  bool m_bSyncAgain = false;
};
