#include "LayerBar.h"

#include <algorithm>

#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "frame/ResourceIds.h"
#include "platform/gui/Application.h"
#include "tools/Operation.h"

namespace {

constexpr UINT kListId = 1;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT;

// Colours (COLORREF).
constexpr COLORREF kRowFace = 0xE8ECEC;    // every row, and the client below the last row
constexpr COLORREF kEmptyFace = 0xF4F8F8;  // the client of an empty list
constexpr COLORREF kGrid = 0xDCE0E0;
constexpr COLORREF kSelectedFace = 0x6C7070, kSelectedText = 0xFFFFFF;
constexpr COLORREF kHotFace = 0xFFFFFF, kHotText = 0x000000;
constexpr COLORREF kPlainFace = 0xF4F8F8, kPlainText = 0x444848;

// The row bitmap is at least this wide; a wider client widens it, so that the flag columns
// at the right end still show.
constexpr int kRowBitmapWidth = 480;

// The icon strip: a column per flag, row 0 the mask ORed in, rows 1 and 2 the picture of a
// set and of a clear flag, ANDed.
constexpr int kStripColumns = 5, kStripRows = 3;
constexpr int kIconNest = 0, kIconHidden = 1, kIconProtect = 2, kIconSource = 3, kIconColorLayer = 4;
constexpr int kIconMask = 0, kIconOn = 1, kIconOff = 2;

}  // namespace

// The window the dock holds; the list fills its client.
class CLayerBar::XHost final : public gui::GWindow {
 public:
  explicit XHost(CLayerBar* list) : m_pList(list) {}
  ~XHost() override { DestroyWindow(); }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_SIZE && m_pList->GetSafeHwnd())
      m_pList->MoveWindow(RECT{0, 0, LOWORD(uintptr_t(lParam)), HIWORD(uintptr_t(lParam))});
    return GWindow::WindowProc(msg, wParam, lParam);
  }

 private:
  CLayerBar* m_pList;
};

CLayerBar::CLayerBar() : m_pHost(std::make_unique<XHost>(this)) {}

CLayerBar::~CLayerBar() {
  Attach(nullptr);
  DestroyWindow();
  m_pHost.reset();
  m_rowDC.SelectFont(gui::GetStockFont());
  m_rowDC.SelectBitmap(nullptr);
  gui::DeleteObject(m_hFont);
}

BOOL CLayerBar::Create() {
  if (!m_pHost->Create(static_cast<QWidget*>(nullptr), RECT{0, 0, 208, 400}, 0)) return FALSE;
  m_pHost->SetBackgroundColor(kEmptyFace);
  RECT rc;
  m_pHost->GetClientRect(&rc);
  return ListBox::Create(kListStyle, rc, m_pHost.get(), kListId);
}

QWidget* CLayerBar::GetHostWidget() const { return m_pHost->GetWidget(); }

HWND CLayerBar::GetHostWindow() const { return m_pHost->GetSafeHwnd(); }

void CLayerBar::Attach(CTavrikDoc* doc) {
  if (m_pDoc && m_pDoc->GetListLayer()) m_pDoc->GetListLayer()->SetObserver(nullptr);
  m_pDoc = doc;
  if (m_pDoc) m_pDoc->GetListLayer()->SetObserver(this);
  Rebuild();
}

OLayer* CLayerBar::LayerOf(int row) const {
  // Only rows the bar shows: between a change of the list and its announcement the two may
  // differ in count.
  if (!m_pDoc || row < 0 || row >= RowCount()) return nullptr;
  return m_pDoc->GetListLayer()->GetLayer(row);
}

std::u16string CLayerBar::RowName(int row) const {
  OLayer* layer = LayerOf(row);
  return layer && layer->GetName() ? std::u16string(layer->GetName()) : std::u16string();
}

bool CLayerBar::RowVisible(int row) const {
  OLayer* layer = LayerOf(row);
  return layer && !(layer->GetFlags() & LYR_FLAG_HIDDEN);
}

// ---- the list's rows follow the layer list ----------------------------------------------------

void CLayerBar::Rebuild() {
  if (!GetSafeHwnd()) return;
  m_nHotRow = -1;
  ResetContent();
  const int count = m_pDoc ? m_pDoc->GetListLayer()->GetCount() : 0;
  for (int i = 0; i < count; ++i) AddString(u"");
  ShowSelection();
}

void CLayerBar::ShowSelection() {
  if (!GetSafeHwnd()) return;
  // Selecting scrolls the row into view, also when it was selected already.
  SetCurSel(m_pDoc ? m_pDoc->GetListLayer()->GetCurSel() : -1);
}

void CLayerBar::OnRowsChanged() { Rebuild(); }

void CLayerBar::OnRowChanged(int index) {
  if (!m_pDoc || RowCount() != m_pDoc->GetListLayer()->GetCount()) {
    Rebuild();
    return;
  }
  RedrawRow(index);
}

void CLayerBar::OnSelChanged(int, int now) {
  // The current tool works on the current layer, which may be a new one under the same
  // index (a new document, a load).
  if (m_pDoc && m_pDoc->GetPaintSpace())
    m_pDoc->GetPaintSpace()->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_SELECT,
                                            m_pDoc->GetListLayer()->GetCurLayer());
  // Rows may have come or gone with the selection (a document was loaded).
  if (m_pDoc && RowCount() != m_pDoc->GetListLayer()->GetCount()) {
    Rebuild();
    return;
  }
  ShowSelection();
  // The row may hold another layer than before under the same index.
  RedrawRow(now);
}

void CLayerBar::OnMessage(const char16_t* text) {
  gui::MessageBox(nullptr, text, u"Tavrik", gui::MB_OK | gui::MB_ICONWARNING);
}

// ---- what the clicks do -----------------------------------------------------------------------

void CLayerBar::ToggleVisibility(int row) {
  if (!m_pDoc) return;
  CPaintSpace* space = m_pDoc->GetPaintSpace();
  CMyListLayer* list = m_pDoc->GetListLayer();
  OLayer* layer = list->GetLayer(row);
  if (!layer) return;
  space->FinishWork();
  {
    GAutoLock lock(space->GetDrawLock());
    layer->SetFlags(layer->GetFlags() ^ LYR_FLAG_HIDDEN);
  }
  list->RedrawItem(row);
  space->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_FLAGS | LYR_FLAG_HIDDEN, layer);
  space->InvalidateComposite();
  space->InvalidateView(FALSE);
}

void CLayerBar::SelectRow(int row) {
  if (!m_pDoc) return;
  CMyListLayer* list = m_pDoc->GetListLayer();
  if (row < 0 || row >= list->GetCount() || row == list->GetCurSel()) return;
  CPaintSpace* space = m_pDoc->GetPaintSpace();
  space->FinishWork();
  list->SetCurSelect(row);  // the tool hears of it through OnSelChanged
  space->InvalidateComposite();
  space->InvalidateView(FALSE);
}

// ---- columns ---------------------------------------------------------------------------------

int CLayerBar::GetColumnLeft(int column) const { return column >= 0 && column < COL_COUNT ? m_anLeft[column] : 0; }

int CLayerBar::GetColumnWidth(int column) const { return column >= 0 && column < COL_COUNT ? m_anWidth[column] : 0; }

int CLayerBar::HitColumn(int x) const {
  for (int k = 0; k < COL_COUNT; ++k)
    if (unsigned(x - m_anLeft[k]) < unsigned(m_anWidth[k])) return k;
  return -1;
}

// The flag columns drop out one by one as the client narrows; the name takes what is left.
void CLayerBar::OnSize(int width) {
  m_anWidth[COL_NEST] = width >= 48 ? 12 : 0;
  m_anWidth[COL_COLOR] = width >= 32 ? 12 : 0;
  m_anWidth[COL_HIDDEN] = width >= 64 ? 16 : 0;
  m_anWidth[COL_PROTECT] = width >= 80 ? 16 : 0;
  m_anWidth[COL_SOURCE] = width >= 96 ? 16 : 0;
  int others = 0;
  for (int k = 0; k < COL_COUNT; ++k)
    if (k != COL_NAME) others += m_anWidth[k];
  m_anWidth[COL_NAME] = std::max(0, width - others);
  int left = 0;
  for (int k = 0; k < COL_COUNT; ++k) {
    m_anLeft[k] = left;
    left += m_anWidth[k];
  }
  if (m_pRowBitmap && width > m_pRowBitmap->Width()) m_pRowBitmap->Resize(width, kRowHeight, kRowFace);
}

// ---- messages --------------------------------------------------------------------------------

LRESULT CLayerBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_CREATE: return OnCreate() ? 0 : -1;
    case WM_ERASEBKGND:
      if (auto* dc = reinterpret_cast<gui::DeviceContext*>(wParam)) EraseBackground(*dc);
      return 1;
    case WM_SIZE:
      OnSize(LOWORD(uintptr_t(lParam)));
      FinishWork();
      break;
    case WM_LBUTTONDOWN: OnLButtonDown(pt); return 0;
    case WM_LBUTTONUP:
      if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
      SetHotRow(-1);
      return 0;
    case WM_MOUSEMOVE: OnMouseMove(pt); return 0;
    case WM_MOUSELEAVE: SetHotRow(-1); return 0;
    // Neither the keys nor a double click change the selection behind the layer list's back.
    case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN: return 0;
    default: break;
  }
  return ListBox::WindowProc(msg, wParam, lParam);
}

BOOL CLayerBar::OnCreate() {
  GCompRef<gui::CIconStrip> icons = new gui::CIconStrip;
  if (!icons->LoadFromResource(IDB_LAYERLIST, kStripColumns, kStripRows)) return FALSE;
  m_cpIcons = icons;
  m_hFont = gui::CreateFont(13, gui::FW_NORMAL, u"Tahoma");
  RECT client;
  GetClientRect(&client);
  m_pRowBitmap = gui::CreateCompatibleBitmap(std::max<int>(kRowBitmapWidth, client.right), kRowHeight);
  m_rowDC.SelectBitmap(m_pRowBitmap.get());
  m_rowDC.SelectFont(m_hFont);
  m_rowDC.SetPen(gui::PS_SOLID, kGrid);
  SetBackgroundColor(kRowFace);
  OnSize(client.right);
  return TRUE;
}

void CLayerBar::MeasureItem(gui::MEASUREITEMSTRUCT* mis) { mis->itemHeight = kRowHeight; }

void CLayerBar::EraseBackground(gui::DeviceContext& dc) {
  RECT client;
  GetClientRect(&client);
  const int count = GetCount();
  if (!count) {
    dc.FillSolidRect(client, kEmptyFace);
    return;
  }
  const LONG rowsEnd = LONG((count - GetTopIndex()) * kRowHeight);
  if (rowsEnd < client.bottom) dc.FillSolidRect(RECT{0, rowsEnd, client.right, client.bottom}, kRowFace);
}

void CLayerBar::DrawItem(gui::DRAWITEMSTRUCT* dis) {
  OLayer* layer = LayerOf(int(dis->itemID));
  if (!layer || !m_pRowBitmap) return;
  gui::DeviceContext& dc = m_rowDC;
  const int width = std::min(int(dis->rcItem.right - dis->rcItem.left), m_pRowBitmap->Width());
  const uint32_t flags = layer->GetFlags();
  const bool selected = dis->itemState & ODS_SELECTED;
  const bool hot = int(dis->itemID) == m_nHotRow;
  const COLORREF face = selected ? kSelectedFace : hot ? kHotFace : kPlainFace;
  const COLORREF text = selected ? kSelectedText : hot ? kHotText : kPlainText;
  auto icon = [&](int column, int stripColumn, bool on) {
    if (m_anWidth[column])
      m_cpIcons->DrawIcon(dc, m_anLeft[column], 0, stripColumn, kIconMask, on ? kIconOn : kIconOff);
  };
  auto columnRect = [&](int column) {
    return RECT{m_anLeft[column], 0, m_anLeft[column] + m_anWidth[column], kRowHeight - 1};
  };

  dc.FillSolidRect(RECT{0, 0, width, kRowHeight - 1}, kRowFace);
  if (m_anWidth[COL_NEST]) {
    icon(COL_NEST, kIconNest, flags & LYR_FLAG_NEST);
    dc.MoveTo(m_anWidth[COL_NEST] - 1, 0);
    dc.LineTo(m_anWidth[COL_NEST] - 1, kRowHeight);
  }
  if (m_anWidth[COL_COLOR]) {
    dc.FillSolidRect(columnRect(COL_COLOR), face);
    const int x = m_anLeft[COL_COLOR];
    if (layer->GetFormat() == OLayer::myFORMAT_C32) {
      icon(COL_COLOR, kIconColorLayer, true);
    } else {
      // A mask layer's colour as a round dot.
      const COLORREF colour = layer->GetColor(nullptr, nullptr) & 0xFFFFFF;
      dc.FillSolidRect(RECT{x + 3, 6, x + 9, 12}, colour);
      dc.FillSolidRect(RECT{x + 5, 5, x + 7, 13}, colour);
      dc.FillSolidRect(RECT{x + 2, 8, x + 10, 10}, colour);
    }
  }
  if (m_anWidth[COL_NAME]) {
    RECT rc = columnRect(COL_NAME);
    dc.FillSolidRect(rc, face);
    rc.left += 1;
    rc.top = 2;
    dc.SetBkMode(gui::TRANSPARENT);
    dc.SetTextColor(text);
    const char16_t* name = layer->GetName();
    if (name) dc.DrawText(name, -1, &rc, gui::DT_SINGLELINE | gui::DT_NOPREFIX);
  }
  icon(COL_SOURCE, kIconSource, flags & LYR_FLAG_SOURCE);
  icon(COL_PROTECT, kIconProtect, flags & LYR_FLAG_PROTECT);
  if (m_anWidth[COL_HIDDEN]) {
    icon(COL_HIDDEN, kIconHidden, flags & LYR_FLAG_HIDDEN);
    dc.MoveTo(m_anLeft[COL_HIDDEN], 0);
    dc.LineTo(m_anLeft[COL_HIDDEN], kRowHeight);
  }
  dc.MoveTo(0, kRowHeight - 1);
  dc.LineTo(width, kRowHeight - 1);
  dis->pDC->BitBlt(dis->rcItem.left, dis->rcItem.top, width, kRowHeight, dc, 0, 0, gui::SRCCOPY);
}

// ---- mouse -----------------------------------------------------------------------------------

void CLayerBar::OnLButtonDown(POINT pt) {
  if (!GetCount()) return;
  FinishWork();
  SetHotRow(-1);
  if (gui::GetCapture() != GetSafeHwnd()) SetCapture();
  BOOL outside = FALSE;
  const int row = int(ItemFromPoint(pt, outside));
  if (outside) return;
  switch (HitColumn(pt.x)) {
    case COL_HIDDEN: ToggleVisibility(row); break;
    case -1: break;
    // The other flag columns only show their flags for now: a click on them selects.
    default: SelectRow(row); break;
  }
}

void CLayerBar::OnMouseMove(POINT pt) {
  BOOL outside = FALSE;
  const int row = GetCount() ? int(ItemFromPoint(pt, outside)) : -1;
  if (row < 0 || outside) {
    SetHotRow(-1);
    return;
  }
  SetHotRow(row);
  TrackMouseEvent(TME_LEAVE);
}

void CLayerBar::SetHotRow(int row) {
  if (row == m_nHotRow) return;
  const int old = m_nHotRow;
  m_nHotRow = row;
  RedrawRow(old);
  RedrawRow(row);
}
