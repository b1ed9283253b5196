#include "frame/DockBar.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// The UI thread's living sites and dock bars, so that a bar finds its own.
std::vector<IDockSite*>& Sites() {
  static std::vector<IDockSite*> sites;
  return sites;
}
std::vector<CMyDockBar*>& DockBars() {
  static std::vector<CMyDockBar*> bars;
  return bars;
}

template <typename T>
void Forget(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// How much a bar of that height can give before it is collapsed.
int Spare(int height) { return std::max(0, height - VB_COLLAPSED_CY); }

}  // namespace

// ---- IDockSite ----------------------------------------------------------------------------------

IDockSite::IDockSite() { Sites().push_back(this); }

IDockSite::~IDockSite() { Forget(Sites(), this); }

IDockSite* IDockSite::ForBar(HWND bar) {
  if (!bar) return nullptr;
  for (IDockSite* site : Sites())
    if (site->HasBar(bar)) return site;
  return nullptr;
}

// ---- CMyDockBar ---------------------------------------------------------------------------------

CMyDockBar::CMyDockBar(IDockSite* site, int side) : m_pSite(site), m_nSide(side) { DockBars().push_back(this); }

CMyDockBar::~CMyDockBar() {
  Forget(DockBars(), this);
  DestroyWindow();
}

CMyDockBar* CMyDockBar::FromBar(HWND bar) {
  if (!bar) return nullptr;
  for (CMyDockBar* dock : DockBars()) {
    if (!dock->m_pSite) continue;
    for (const IDockSite::DockedBar& d : dock->m_pSite->GetDockedBars(dock->m_nSide))
      if (d.hwnd == bar) return dock;
  }
  return nullptr;
}

std::vector<CMyDockBar::Bar> CMyDockBar::Stack() {
  std::vector<Bar> bars;
  if (!m_pSite) return bars;
  POINT origin{0, 0};
  ClientToScreen(&origin);
  for (const IDockSite::DockedBar& d : m_pSite->GetDockedBars(m_nSide))
    bars.push_back(Bar{d.hwnd, int(d.rc.top - origin.y), int(d.rc.bottom - origin.y)});
  std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.top < b.top; });
  for (size_t i = 1; i < bars.size(); ++i)
    if (bars[i].top < bars[i - 1].bottom) return {};
  return bars;
}

int CMyDockBar::IndexOf(const std::vector<Bar>& bars, HWND bar) {
  for (size_t i = 0; i < bars.size(); ++i)
    if (bars[i].hwnd == bar) return int(i);
  return -1;
}

int CMyDockBar::EdgeIndex(const std::vector<Bar>& bars, int index, BOOL topEdge) {
  if (index < 0) return -1;
  const int below = topEdge ? index : index + 1;
  return below > 0 && below < int(bars.size()) ? below : -1;
}

LRESULT CMyDockBar::QuerySplit(HWND bar, BOOL topEdge) {
  const std::vector<Bar> bars = Stack();
  const int k = EdgeIndex(bars, IndexOf(bars, bar), topEdge);
  if (k < 0) return 0;
  const int edge = topEdge ? bars[size_t(k)].top : bars[size_t(k) - 1].bottom;
  int above = 0, below = 0;
  for (size_t j = 0; j < bars.size(); ++j)
    (int(j) < k ? above : below) += Spare(bars[j].bottom - bars[j].top);
  if (above + below == 0) return 0;
  const int low = std::clamp(edge - above, 0, 0xFFFF), high = std::clamp(edge + below, 0, 0xFFFF);
  return LRESULT(MAKELPARAM(WORD(low), WORD(high)));
}

BOOL CMyDockBar::Split(HWND bar, int y, BOOL topEdge) {
  const std::vector<Bar> bars = Stack();
  const int k = EdgeIndex(bars, IndexOf(bars, bar), topEdge);
  if (k < 0) return FALSE;
  const size_t n = bars.size(), edgeBelow = size_t(k);
  std::vector<int> heights(n);
  int above = 0, below = 0;
  for (size_t j = 0; j < n; ++j) {
    heights[j] = bars[j].bottom - bars[j].top;
    (j < edgeBelow ? above : below) += Spare(heights[j]);
  }
  const int edge = topEdge ? bars[edgeBelow].top : bars[edgeBelow - 1].bottom;
  const int delta = std::clamp(y - edge, -above, below);
  if (delta == 0) return FALSE;
  // The bar beside the edge on the side it moves to gives way first; once it is collapsed,
  // the next one further on.
  int rest = std::abs(delta);
  if (delta < 0) {
    for (size_t j = edgeBelow; j-- > 0 && rest > 0;) {
      const int take = std::min(rest, Spare(heights[j]));
      heights[j] -= take;
      rest -= take;
    }
    heights[edgeBelow] -= delta;
  } else {
    for (size_t j = edgeBelow; j < n && rest > 0; ++j) {
      const int take = std::min(rest, Spare(heights[j]));
      heights[j] -= take;
      rest -= take;
    }
    heights[edgeBelow - 1] += delta;
  }
  std::vector<bool> tell(n);
  for (size_t j = 0; j < n; ++j) tell[j] = heights[j] != bars[j].bottom - bars[j].top;
  Resize(bars, heights, tell);
  return TRUE;
}

BOOL CMyDockBar::Expand(HWND bar) {
  const std::vector<Bar> bars = Stack();
  const int i = IndexOf(bars, bar);
  if (i < 0) return FALSE;
  const int n = int(bars.size());
  int total = 0;
  for (const Bar& b : bars) total += b.bottom - b.top;
  std::vector<int> heights(size_t(n), VB_COLLAPSED_CY);
  heights[size_t(i)] = std::max(VB_COLLAPSED_CY, total - VB_COLLAPSED_CY * (n - 1));
  // Every bar is told, the collapsed ones too: they ask for no more than their title row now.
  Resize(bars, heights, std::vector<bool>(size_t(n), true));
  return TRUE;
}

BOOL CMyDockBar::ExpandNext(HWND bar) {
  const std::vector<Bar> bars = Stack();
  const int i = IndexOf(bars, bar);
  if (i < 0 || bars.size() < 2) return FALSE;
  const Bar& next = bars[(size_t(i) + 1) % bars.size()];
  if (next.bottom - next.top >= VB_EXPANDED_MIN) return FALSE;
  return Expand(next.hwnd);
}

void CMyDockBar::Resize(const std::vector<Bar>& bars, const std::vector<int>& heights, const std::vector<bool>& tell) {
  std::vector<HWND> windows;
  for (const Bar& b : bars) windows.push_back(b.hwnd);
  // Recorded first, so that the layout the frame makes of it does not tell the bars again.
  for (size_t j = 0; j < bars.size(); ++j)
    if (Told* told = FindTold(bars[j].hwnd)) told->cy = heights[j];
  m_pSite->SetBarHeights(m_nSide, windows, heights);
  for (size_t j = 0; j < bars.size(); ++j)
    if (tell[j]) gui::SendMessage(bars[j].hwnd, WM_MYVB_SETEXTENT, 0, LPARAM(heights[j]));
}

CMyDockBar::Told* CMyDockBar::FindTold(HWND bar) {
  for (Told& t : m_told)
    if (t.hwnd == bar) return &t;
  return nullptr;
}

void CMyDockBar::OnLayoutChanged() {
  if (!m_pSite) return;
  // A bar that answers by changing the layout again is told in the next round, not inside
  // this one.
  if (m_bSyncing) {
    m_bSyncAgain = true;
    return;
  }
  m_bSyncing = true;
  struct Done {
    bool& syncing;
    ~Done() { syncing = false; }
  } done{m_bSyncing};
  do {
    m_bSyncAgain = false;
    const std::vector<IDockSite::DockedBar> docked = m_pSite->GetDockedBars(m_nSide);
    std::erase_if(m_told, [&](const Told& t) {
      return std::none_of(docked.begin(), docked.end(),
                          [&](const IDockSite::DockedBar& d) { return d.hwnd == t.hwnd; });
    });
    for (const IDockSite::DockedBar& d : docked) {
      const int cx = int(d.rc.right - d.rc.left), cy = int(d.rc.bottom - d.rc.top);
      Told* told = FindTold(d.hwnd);
      if (!told) {
        m_told.push_back(Told{d.hwnd, cx, cy});
        gui::SendMessage(d.hwnd, WM_MYVB_SETSIZE, 0, LPARAM(cx));
        gui::SendMessage(d.hwnd, WM_MYVB_SETEXTENT, VB_EXTENT_LAYOUT, LPARAM(cy));
        gui::SendMessage(d.hwnd, WM_MYVB_RESTOREEXTENT, 0, 0);
        continue;
      }
      const bool wider = told->cx != cx, higher = told->cy != cy;
      told->cx = cx;
      told->cy = cy;
      if (wider) gui::SendMessage(d.hwnd, WM_MYVB_SETSIZE, 0, LPARAM(cx));
      if (higher) gui::SendMessage(d.hwnd, WM_MYVB_SETEXTENT, VB_EXTENT_LAYOUT, LPARAM(cy));
    }
  } while (m_bSyncAgain);
}

LRESULT CMyDockBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const HWND bar = reinterpret_cast<HWND>(wParam);
  switch (msg) {
    case WM_MYVB_QUERYSPLIT: return QuerySplit(bar, (lParam & VB_EDGE_TOP) != 0);
    case WM_MYVB_SPLIT:
      return Split(bar, int(int16_t(HIWORD(uintptr_t(lParam)))), (lParam & VB_EDGE_TOP) != 0);
    case WM_MYVB_EXPAND: return Expand(bar);
    case WM_MYVB_EXPANDNEXT: return ExpandNext(bar);
    default: return GWindow::WindowProc(msg, wParam, lParam);
  }
}
