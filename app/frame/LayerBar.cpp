#include "LayerBar.h"

#include <algorithm>
#include <cstdlib>

#include "core/PaintSpace.h"
#include "core/ShellServices.h"
#include "core/TavrikDoc.h"
#include "frame/CmdStateRoute.h"
#include "frame/LayerThumbPopup.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "odata/OProperty.h"
#include "panels/MyListProperty.h"
#include "panels/VertBarMessages.h"
#include "platform/base/Sync.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Menu.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/OptionToolBar.h"
#include "platform/gui/Resources.h"

namespace {

constexpr UINT kListId = 1;
// A name typed into the rename edit keeps at most this many units.
constexpr size_t kRenameTypedMax = 32;
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT;

// Colours (COLORREF).
constexpr COLORREF kRowFace = 0xE8ECEC;  // every row, and the client below the last row
constexpr COLORREF kSelectedFace = 0x6C7070, kSelectedText = 0xFFFFFF;
constexpr COLORREF kHotFace = 0xFFFFFF, kHotText = 0x000000;
constexpr COLORREF kPlainFace = 0xF4F8F8, kPlainText = 0x444848;

// The icon strip: a column per flag, row 0 the mask ORed in, rows 1 and 2 the picture of a
// set and of a clear flag, ANDed.
constexpr int kStripColumns = 5, kStripRows = 3;
constexpr int kIconNest = 0, kIconHidden = 1, kIconProtect = 2, kIconSource = 3, kIconColorLayer = 4;
constexpr int kIconMask = 0, kIconOn = 1, kIconOff = 2;

// The flag and the tip of each column.
constexpr uint32_t kColumnFlag[CLayerBar::COL_COUNT] = {LYR_FLAG_NEST, 0, 0, LYR_FLAG_HIDDEN, LYR_FLAG_PROTECT,
                                                        LYR_FLAG_SOURCE};
constexpr UINT kColumnTip[CLayerBar::COL_COUNT] = {IDS_LAYER_NEST,   IDS_LAYER_COLOR,   IDS_LAYER_NAME,
                                                   IDS_LAYER_HIDDEN, IDS_LAYER_PROTECT, IDS_LAYER_SOURCE};

// A press moves into a drag beyond this many pixels on either axis.
constexpr int kDragSlop = 4;
// A drag this far above or below the rows scrolls instead of dropping.
constexpr int kScrollMargin = 10;
// The name column must be wider than this for a rename in place.
constexpr int kMinRenameWidth = 9;
constexpr int kCaptureLeft = 1, kCaptureRight = 2;

// COLORREF (0x00BBGGRR) and 0x00RRGGBB, either way.
constexpr uint32_t SwapRedBlue(uint32_t c) { return (c & 0xFF00FF00u) | ((c & 0xFF) << 16) | ((c >> 16) & 0xFF); }

}  // namespace

const CLayerBar::MenuItem CLayerBar::kLayerMenu[9] = {
    {ID_LAYER_CONVERT, u"格式转换(&C)"}, {ID_LAYER_CLEAR_FADE, u"清空/淡化"}, {0, nullptr},
    {ID_LAYER_FLIP_H, u"水平翻转(&H)"},  {ID_LAYER_FLIP_V, u"垂直翻转(&V)"}, {ID_LAYER_ROTATE, u"旋转(&R)"},
    {ID_LAYER_SCALE, u"缩放(&Z)"},       {0, nullptr},                       {ID_LAYER_SAVE_IMAGE, u"保存图像(&S)..."},
};

// The window the page bar holds: the layer strip at the top, the list below it.
class CLayerBar::XHost final : public gui::GWindow {
 public:
  explicit XHost(CLayerBar* list) : m_pList(list) {}
  ~XHost() override { DestroyWindow(); }
  gui::OptionToolBar* Strip() { return &m_strip; }
  BOOL CreateStrip() {
    if (!m_strip.Create(this) || !m_strip.LoadToolBar(IDR_LAYERSTRIP)) return FALSE;
    m_strip.SetCmdTarget(m_pList);
    return TRUE;
  }
  void Layout(int width, int height) {
    const int top = m_strip.GetSafeHwnd() ? int(m_strip.CalcSize().cy) : 0;
    if (m_strip.GetSafeHwnd()) m_strip.MoveWindow(RECT{0, 0, width, top});
    if (m_pList->GetSafeHwnd()) m_pList->MoveWindow(RECT{0, top, width, std::max(top, height)});
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    switch (msg) {
      case WM_SIZE: Layout(LOWORD(uintptr_t(lParam)), HIWORD(uintptr_t(lParam))); break;
      // The page bar asks its root page; the list answers.
      case WM_MYVB_PAGENOTIFY: return m_pList->SendMessage(msg, wParam, lParam);
      default: break;
    }
    return GWindow::WindowProc(msg, wParam, lParam);
  }

 private:
  CLayerBar* m_pList;
  gui::OptionToolBar m_strip;
};

CLayerBar::CLayerBar() : m_pHost(std::make_unique<XHost>(this)), m_pPopup(std::make_unique<CLayerThumbPopup>()) {}

CLayerBar::~CLayerBar() {
  Attach(nullptr);
  m_pPopup.reset();
  m_pPropertyPage.reset();
  DestroyWindow();
  m_pHost.reset();
  gui::DeleteObject(m_hFont);
}

BOOL CLayerBar::Create() {
  if (!m_pHost->Create(static_cast<QWidget*>(nullptr), RECT{0, 0, 208, 400}, 0)) return FALSE;
  m_pHost->SetBackgroundColor(kEmptyFace);
  m_hFont = gui::CreateFont(13, gui::FW_NORMAL, u"Tahoma");
  SetFont(m_hFont);
  // The list works without the strip.
  m_pHost->CreateStrip();
  RECT rc;
  m_pHost->GetClientRect(&rc);
  if (!CMyListBox::Create(kListStyle, rc, m_pHost.get(), kListId)) return FALSE;
  m_pHost->Layout(rc.right, rc.bottom);
  return TRUE;
}

QWidget* CLayerBar::GetHostWidget() const { return m_pHost->GetWidget(); }

HWND CLayerBar::GetHostWindow() const { return m_pHost->GetSafeHwnd(); }

gui::OptionToolBar* CLayerBar::GetStrip() const { return m_pHost->Strip()->GetSafeHwnd() ? m_pHost->Strip() : nullptr; }

void CLayerBar::SetCommandWindow(HWND window) {
  m_hCommandWindow = window;
  m_pHost->Strip()->SetOwner(window);
}

CMyListLayer* CLayerBar::List() const { return m_pList; }

void CLayerBar::Attach(CTavrikDoc* doc) { AttachList(doc ? doc->GetListLayer() : nullptr); }

void CLayerBar::AttachList(CMyListLayer* next) {
  if (m_nMode == myRENAME) {
    m_nMode = myNORMAL;
    m_edit.ShowWindow(SW_HIDE);
  }
  if (m_pPopup) m_pPopup->Hide();
  if (CMyListLayer* list = List()) list->SetObserver(nullptr);
  m_pList = next;
  if (CMyListLayer* list = List()) {
    list->SetObserver(this);
    if (m_pPropertyPage) m_pPropertyPage->SetModifyNotify(list->GetModifyNotify());
  }
  Rebuild();
  ShowPropertyPage();
}

OLayer* CLayerBar::LayerOf(int row) const {
  // Only rows the bar shows: between a change of the list and its announcement the two may
  // differ in count.
  if (!List() || row < 0 || row >= RowCount()) return nullptr;
  return List()->GetLayer(row);
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
  const int count = List() ? List()->GetCount() : 0;
  for (int i = 0; i < count; ++i) AddString(u"");
  ShowSelection();
}

void CLayerBar::ShowSelection() {
  if (!GetSafeHwnd()) return;
  // Selecting scrolls the row into view, also when it was selected already.
  SetCurSel(List() ? List()->GetCurSel() : -1);
}

// Rows come and go by commands and by undo: the page shown may be of a layer gone, and the
// current layer's name may be another.
void CLayerBar::OnRowsChanged() {
  Rebuild();
  ShowPropertyPage();
}

void CLayerBar::OnRowChanged(int index) {
  if (!List() || RowCount() != List()->GetCount()) {
    Rebuild();
    return;
  }
  RedrawRow(index);
}

void CLayerBar::OnSelChanged(int, int now) {
  CMyListLayer* list = List();
  // The current tool works on the current layer, which may be a new one under the same
  // index (a new document, a load).
  if (list && list->GetSpace())
    list->GetSpace()->NotifyOperator(CMyListLayer::GetClassName(), myNOTIFY_SELECT, list->GetCurLayer());
  ShowPropertyPage();
  // Rows may have come or gone with the selection (a document was loaded).
  if (list && RowCount() != list->GetCount()) {
    Rebuild();
    return;
  }
  ShowSelection();
  // The row may hold another layer than before under the same index.
  RedrawRow(now);
}

void CLayerBar::OnMessage(const char16_t* text) { gui::ShowMessage(u"失败", text); }

// ---- the property page -----------------------------------------------------------------------

CMyListProperty* CLayerBar::GetPropertyPage() {
  if (m_pPropertyPage || !m_pPageBar || !m_pPageBar->GetSafeHwnd()) return m_pPropertyPage.get();
  auto page = std::make_unique<CMyListProperty>();
  page->SetFont(GetFont());
  page->SetPageBar(m_pPageBar);
  if (List()) page->SetModifyNotify(List()->GetModifyNotify());
  if (!page->Create(m_pPageBar, RECT{0, 0, 8, 8}, kPropertyPageId, WS_CHILD)) return nullptr;
  m_pPropertyPage = std::move(page);
  return m_pPropertyPage.get();
}

// The page goes home, and the current layer's page waits behind the forward tab.
void CLayerBar::ShowPropertyPage() {
  if (!m_pPageBar || !m_pPageBar->GetSafeHwnd()) return;
  m_pPageBar->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_HOME, 0);
  OLayer* layer = List() ? List()->GetCurLayer() : nullptr;
  CMyListProperty* page = layer ? GetPropertyPage() : nullptr;
  if (!page) {
    m_pPageBar->SendMessage(WM_MYVB_SETROOT, 0, 0);
    return;
  }
  const std::u16string name = layer->GetName() ? layer->GetName() : u"";
  m_pPageBar->SendMessage(WM_MYVB_SETROOT, WPARAM(page->GetSafeHwnd()), LPARAM(name.c_str()));
}

// May the bar go forward to the page: only with a current layer, whose values fill it.
LRESULT CLayerBar::OnPageNotify(WPARAM code) {
  if (code != VB_PAGE_MAYFORWARD) return 1;
  OLayer* layer = List() ? List()->GetCurLayer() : nullptr;
  CMyListProperty* page = layer ? GetPropertyPage() : nullptr;
  if (!page) return 0;
  auto* set = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
  if (!set) return 0;
  page->NewProperty(0, set, List()->GetAppendixMenu(layer->GetFormat()));
  return 1;
}

// ---- what the clicks do -----------------------------------------------------------------------

void CLayerBar::ToggleVisibility(int row) {
  CMyListLayer* list = List();
  if (!list || !list->GetLayer(row) || !list->GetSpace()) return;
  list->GetSpace()->FinishWork();
  list->ToggleFlag(row, LYR_FLAG_HIDDEN);
}

void CLayerBar::SelectRow(int row) {
  CMyListLayer* list = List();
  if (!list || row < 0 || row >= list->GetCount() || row == list->GetCurSel()) return;
  CPaintSpace* space = list->GetSpace();
  if (space) space->FinishWork();
  list->SetCurSelect(row);  // the tool hears of it through OnSelChanged
  if (space) {
    space->InvalidateComposite();
    space->InvalidateView(FALSE);
  }
}

void CLayerBar::OpenColorWheel(OLayer* layer, POINT pt) {
  if (!m_pShell) return;
  ClientToScreen(&pt);
  const HSVCOLOR colour = RgbToHsv(SwapRedBlue(layer->GetColor(nullptr, nullptr) & 0xFFFFFF));
  m_pShell->PopupColorWheel(pt.x, pt.y, colour, GetSafeHwnd(), COLORWHEEL_DRAG);
}

void CLayerBar::OnColorPicked(HSVCOLOR colour) {
  if (CMyListLayer* list = List()) list->SetCurLayerColor(SwapRedBlue(HsvToRgb(colour)));
  Invalidate();
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
}

BOOL CLayerBar::OnToolHitTest(POINT pt, std::u16string* text, RECT* area) {
  if (m_nMode != myNORMAL || m_nPressState != 0 || GetCount() <= 0) return FALSE;
  BOOL outside = TRUE;
  const int row = int(ItemFromPoint(pt, outside));
  const int column = HitColumn(pt.x);
  RECT rc;
  if (outside || column < 0 || GetItemRect(row, &rc) == gui::LB_ERR) return FALSE;
  if (text) *text = gui::StringResourcePart(kColumnTip[column], 1);
  if (area) *area = RECT{m_anLeft[column], rc.top, m_anLeft[column] + m_anWidth[column], rc.bottom};
  return TRUE;
}

// ---- drawing ---------------------------------------------------------------------------------

BOOL CLayerBar::OnCreate() {
  GCompRef<gui::CIconStrip> icons = new gui::CIconStrip;
  if (!icons->LoadFromResource(IDB_LAYERLIST, kStripColumns, kStripRows)) return FALSE;
  m_cpIcons = icons;
  if (!m_pPopup->Create(this, GetFont())) return FALSE;
  if (!m_edit.Create(this, RECT{0, 0, 100, 10}, kRenameEditId, WS_CHILD, 13)) return FALSE;
  gui::DragAcceptFiles(GetSafeHwnd(), TRUE);
  SetBackgroundColor(kRowFace);
  RECT client;
  GetClientRect(&client);
  OnSize(client.right);
  return TRUE;
}

void CLayerBar::DrawItem(gui::DRAWITEMSTRUCT* dis) {
  OLayer* layer = LayerOf(int(dis->itemID));
  if (!layer) return;
  gui::DeviceContext& dc = RowDC();
  const int width = std::min(int(dis->rcItem.right - dis->rcItem.left), RowBitmapWidth());
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
  PresentRow(dis, width);
}

// ---- mouse -----------------------------------------------------------------------------------

void CLayerBar::OnLButtonDown(POINT pt) {
  CMyListLayer* list = List();
  if (!GetCount() || !list) return;
  FinishWork();
  m_bTracking = FALSE;
  m_ptPress = pt;
  m_bNameClick = FALSE;
  SetHotRow(-1);
  m_nPressState = 1;
  m_nPressRow = -1;
  m_nPressColumn = -1;
  if (!m_nCapture && gui::GetCapture() != GetSafeHwnd()) SetCapture();
  m_nCapture |= kCaptureLeft;
  m_dwPressTick = plat::GetTickCount();
  BOOL outside = FALSE;
  const int row = int(ItemFromPoint(pt, outside));
  if (outside || row < 0 || row >= list->GetCount()) return;
  if (CPaintSpace* space = list->GetSpace()) space->FinishWork();
  m_nPressRow = row;
  m_nPressColumn = HitColumn(pt.x);
  OLayer* layer = list->GetLayer(row);
  switch (m_nPressColumn) {
    case COL_COLOR:
      if (layer->GetFormat() == OLayer::myFORMAT_A16) {
        // The wheel answers the current layer: the row is selected first.
        SelectRow(row);
        OpenColorWheel(layer, pt);
      }
      [[fallthrough]];
    case COL_NAME:
      m_bNameClick = TRUE;
      SelectRow(row);
      break;
    case COL_NEST:
    case COL_HIDDEN:
    case COL_PROTECT:
    case COL_SOURCE: list->ToggleFlag(row, kColumnFlag[m_nPressColumn]); break;
    default: break;
  }
  m_dwPressTick = plat::GetTickCount();
}

void CLayerBar::OnMouseMove(POINT pt, WPARAM keys) {
  SetDragScroll(kScrollNone);
  const bool moved = std::abs(pt.x - m_ptPress.x) > kDragSlop || std::abs(pt.y - m_ptPress.y) > kDragSlop;
  if (moved && m_nPressState == 1) {
    m_nPressState = 2;
    if (m_nMode == myNORMAL && m_nPressColumn == COL_NAME && m_nPressRow >= 0) {
      m_pPopup->Hide();
      StartDragScroll();
      m_nMode = myDRAG;
    }
  }
  if (m_nMode == myDRAG) {
    UpdateDropMarker(pt);
    return;
  }
  if (m_nMode != myNORMAL) return;
  BOOL outside = TRUE;
  const int row = GetCount() ? int(ItemFromPoint(pt, outside)) : -1;
  if (row < 0 || outside) {
    SetHotRow(-1);
    m_pPopup->Hide();
    m_bTracking = FALSE;
    return;
  }
  SetHotRow(row);
  OLayer* layer = LayerOf(row);
  if (layer && HitColumn(pt.x) == COL_NAME && (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL)) == 0)
    m_pPopup->ShowLayer(layer, row + 1, List()->GetSpace() ? List()->GetSpace()->GetBackground() : 0xFFFFFF);
  else
    m_pPopup->Hide();
  if (!m_bTracking) m_bTracking = TrackMouseEvent(TME_LEAVE);
}

int CLayerBar::GetDropGap(POINT pt) const {
  if (!GetCount()) return -1;
  RECT area;
  if (!GetItemsRect(&area, TRUE)) return -1;
  if (pt.x < area.left || pt.x >= area.right || pt.y < area.top - kScrollMargin ||
      pt.y >= area.bottom + kScrollMargin)
    return -1;
  BOOL outside = TRUE;
  const int row = int(ItemFromPoint(pt, outside));
  RECT rc;
  if (outside || HitColumn(pt.x) < 0 || GetItemRect(row, &rc) == gui::LB_ERR) return -1;
  return (rc.top + rc.bottom) / 2 < pt.y ? row + 1 : row;
}

void CLayerBar::UpdateDropMarker(POINT pt) {
  const int gap = GetDropGap(pt);
  RECT area;
  GetItemsRect(&area, TRUE);
  if (gap < 0) {
    gui::SetCursor(gui::LoadCursor(gui::IDC_NO));
    if (pt.y < area.top - kScrollMargin) SetDragScroll(kScrollUp);
    else if (pt.y >= area.bottom + kScrollMargin) SetDragScroll(kScrollDown);
    ShowDropMarker(nullptr);
    return;
  }
  gui::SetCursor(gui::LoadCursorResource(IDC_MOVEITEM));
  // A band above the first visible row is not drawn.
  if (gap != m_nPressRow && gap != m_nPressRow + 1 && gap <= GetTopIndex()) {
    ShowDropMarker(nullptr);
    return;
  }
  const RECT rc = DropMarkerRect(m_nPressRow, gap, area);
  ShowDropMarker(&rc);
}

void CLayerBar::EndDrag() {
  ShowDropMarker(nullptr);
  StopDragScroll();
  gui::SetCursor(gui::LoadCursor(gui::IDC_ARROW));
  m_nMode = myNORMAL;
}

void CLayerBar::OnLButtonUp(POINT pt) {
  CMyListLayer* list = List();
  if (m_nMode == myNORMAL) {
    BOOL outside = TRUE;
    const int row = GetCount() ? int(ItemFromPoint(pt, outside)) : -1;
    const DWORD held = plat::GetTickCount() - m_dwPressTick;
    if (m_nPressState == 1 && m_nPressColumn == COL_NAME && m_nPressRow >= 0 && held > DWORD(m_nClickInterval) &&
        m_anWidth[COL_NAME] > kMinRenameWidth && !outside && row == m_nPressRow)
      StartRename();
  } else if (m_nMode == myDRAG) {
    const int gap = GetDropGap(pt);
    EndDrag();
    if (list && gap >= 0 && m_nPressRow >= 0) list->MoveRowToGap(m_nPressRow, gap);
  }
  m_nPressState = 0;
  ReleaseButton(kCaptureLeft);
  SetHotRow(-1);
  m_bTracking = FALSE;
  Invalidate();
}

void CLayerBar::ReleaseButton(int flag) {
  m_nCapture &= ~flag;
  if (!m_nCapture && gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
}

void CLayerBar::OnRButtonUp(POINT pt) {
  ReleaseButton(kCaptureRight);
  if (m_nMode == myDRAG) {
    EndDrag();
    Invalidate();
    return;
  }
  if (m_nMode == myRENAME) FinishWork();
  CMyListLayer* list = List();
  BOOL outside = TRUE;
  const int row = list && GetCount() ? int(ItemFromPoint(pt, outside)) : -1;
  if (outside || row < 0 || row >= list->GetCount()) return;
  if (CPaintSpace* space = list->GetSpace()) space->FinishWork();
  m_nPressRow = row;
  m_nPressColumn = COL_NAME;
  m_bNameClick = TRUE;
  SelectRow(row);
  PopupLayerMenu(pt);
}

void CLayerBar::PopupLayerMenu(POINT pt) {
  gui::Menu menu;
  for (const MenuItem& item : kLayerMenu) {
    if (!item.id) {
      menu.AppendMenu(MF_SEPARATOR);
      continue;
    }
    CmdUIState state;
    const BOOL handled = List() && List()->OnCmdMsg(item.id, &state);
    menu.AppendMenu(handled && state.bEnabled ? MF_STRING : MF_GRAYED, item.id,
                    state.pszText ? state.pszText : item.text);
  }
  ClientToScreen(&pt);
  const UINT id = menu.TrackPopupMenu(TPM_RIGHTBUTTON | TPM_RETURNCMD, pt.x, pt.y, GetSafeHwnd());
  if (!id) return;
  // The frame runs the choice along its route, as from the main menu.
  if (m_hCommandWindow) {
    gui::SendMessage(m_hCommandWindow, WM_COMMAND, MAKEWPARAM(WORD(id), 0), 0);
  } else if (List()) {
    FinishWork();
    List()->OnCmdMsg(id, nullptr);
  }
}

void CLayerBar::OnDoubleClick() {
  if (m_bNameClick && m_pPageBar && m_pPageBar->GetSafeHwnd())
    m_pPageBar->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_FORWARD, 1);
}

void CLayerBar::OnCaptureChanged(HWND holder) {
  if (holder == GetSafeHwnd()) return;
  if (m_nMode == myDRAG) EndDrag();
  m_nCapture = 0;
  m_nPressState = 0;
  Invalidate();
}

void CLayerBar::SetHotRow(int row) {
  if (row == m_nHotRow) return;
  const int old = m_nHotRow;
  m_nHotRow = row;
  RedrawRow(old);
  RedrawRow(row);
}

// ---- rename in place -------------------------------------------------------------------------

void CLayerBar::StartRename() {
  OLayer* layer = LayerOf(m_nPressRow);
  RECT rc;
  if (!layer || GetItemRect(m_nPressRow, &rc) == gui::LB_ERR) return;
  m_pPopup->Hide();
  m_uRenameID = layer->GetID();
  const std::u16string name = layer->GetName() ? layer->GetName() : u"";
  // A longer name (a document keeps up to LYR_NAME_MAX units, the new-layer dialog takes
  // more) opens whole: the edit would otherwise cut it before the user typed a key.
  m_edit.LimitText(int(std::max(kRenameTypedMax, name.size())));
  m_edit.SetWindowText(name.c_str());
  m_edit.MoveWindow(RECT{m_anLeft[COL_COLOR], rc.top, m_anLeft[COL_COLOR] + m_anWidth[COL_COLOR] + m_anWidth[COL_NAME],
                         rc.top + kRowHeight - 1});
  m_nMode = myRENAME;
  m_edit.ShowWindow(SW_SHOW);
  m_edit.SetSel(0, -1);
  m_edit.SetFocus();
}

void CLayerBar::FinishWork() {
  const int mode = m_nMode;
  m_nMode = myNORMAL;
  if (mode == myNORMAL) {
    if (m_pPropertyPage) m_pPropertyPage->FinishWork();
    return;
  }
  if (mode == myDRAG) {
    EndDrag();
    return;
  }
  if (mode != myRENAME) return;
  try {
    CMyListLayer* list = List();
    int row = m_nPressRow;
    // Rows may have moved meanwhile (an undo): the layer is found by its ID.
    if (list && (!list->GetLayer(row) || list->GetLayer(row)->GetID() != m_uRenameID)) {
      row = -1;
      for (int i = 0; i < list->GetCount() && row < 0; ++i)
        if (list->GetLayer(i)->GetID() == m_uRenameID) row = i;
    }
    const std::u16string text = m_edit.GetWindowText();
    m_edit.ShowWindow(SW_HIDE);
    GVERIFY(list && row >= 0, u"!-1!=(INT)poLayer");
    if (!list->RenameLayer(row, text)) return;
    const char16_t* name = list->GetLayer(row)->GetName();
    if (m_pPageBar && m_pPageBar->GetSafeHwnd() && m_pPropertyPage && row == list->GetCurSel())
      m_pPageBar->SendMessage(WM_MYVB_SETROOT, WPARAM(m_pPropertyPage->GetSafeHwnd()), LPARAM(name));
  }
  GCATCH(u"CMyListLayer", u"::FinishWork()")
}

void CLayerBar::OnEditDone(BOOL enter) {
  if (enter && m_nMode == myRENAME) FinishWork();
  m_nPressRow = -1;
  m_nMode = myNORMAL;
  m_edit.ShowWindow(SW_HIDE);
}

// ---- dropped files ---------------------------------------------------------------------------

void CLayerBar::OnDropFiles(HDROP drop) {
  const UINT count = gui::DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
  std::vector<std::u16string> paths;
  for (UINT i = 0; i < count; ++i) {
    std::u16string path(gui::DragQueryFile(drop, i, nullptr, 0) + 1, u'\0');
    path.resize(gui::DragQueryFile(drop, i, path.data(), UINT(path.size())));
    paths.push_back(path);
  }
  gui::DragFinish(drop);
  for (const std::u16string& path : paths) {
    try {
      OfferDroppedFile(path);
    } catch (GError* e) {
      // One file that fails does not keep the others out.
      gui::ReportError(e);
    }
  }
}

void CLayerBar::OfferDroppedFile(const std::u16string& path) {
  static const std::u16string kDocument = u".kelv";
  std::u16string tail = path.size() >= kDocument.size() ? path.substr(path.size() - kDocument.size()) : u"";
  for (char16_t& c : tail)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  if (tail == kDocument) {
    if (m_openDocument) m_openDocument(path);
    return;
  }
  // An image becomes a new top layer; a file no codec reads is refused without a word.
  if (CMyListLayer* list = List()) list->LoadImage(path.c_str());
}

// ---- commands and messages -------------------------------------------------------------------

BOOL CLayerBar::OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) {
  CMyListLayer* list = List();
  if (list && OfferToStateHandler(
                  [this, list](UINT cmd, CmdUIState* state) {
                    if (!state) {
                      FinishWork();
                      // A Layer menu operation may replace the layer the page shows: the bar
                      // goes back from the page first.
                      if (cmd >= ID_LAYER_CONVERT && cmd <= ID_LAYER_CLEAR_FADE && m_pPageBar)
                        m_pPageBar->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_BACK, 0);
                    }
                    return list->OnCmdMsg(cmd, state);
                  },
                  this, id, code, extra, info, false))
    return TRUE;
  return CmdTarget::OnCmdMsg(id, code, extra, info);
}

LRESULT CLayerBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (m_pPopup) m_pPopup->FilterMessage(msg);
    switch (msg) {
      case WM_CREATE:
        if (CMyListBox::WindowProc(msg, wParam, lParam) == -1) return -1;
        return OnCreate() ? 0 : -1;
      case WM_DESTROY:
        if (m_pPopup) m_pPopup->Hide();
        break;
      case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) OnSize(LOWORD(uintptr_t(lParam)));
        break;
      case WM_LBUTTONDOWN: OnLButtonDown(pt); return 0;
      case WM_LBUTTONUP: OnLButtonUp(pt); return 0;
      case WM_LBUTTONDBLCLK: OnDoubleClick(); return 0;
      case WM_RBUTTONDOWN:
        if (!m_nCapture && gui::GetCapture() != GetSafeHwnd()) SetCapture();
        m_nCapture |= kCaptureRight;
        return 0;
      case WM_RBUTTONUP: OnRButtonUp(pt); return 0;
      case WM_MOUSEMOVE: OnMouseMove(pt, wParam); return 0;
      case WM_MOUSELEAVE:
        SetHotRow(-1);
        m_bTracking = FALSE;
        m_pPopup->Hide();
        return 0;
      case WM_MOUSEWHEEL:
        if (m_nMode != myNORMAL) return 0;
        break;
      case WM_CAPTURECHANGED: OnCaptureChanged(reinterpret_cast<HWND>(lParam)); break;
      case WM_MYEDITDONE: OnEditDone(wParam == 1); return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kRenameEditId && HIWORD(wParam) == EN_KILLFOCUS) {
          FinishWork();
          return 0;
        }
        break;
      case WM_MYVB_PAGENOTIFY: return OnPageNotify(wParam);
      case WM_MYCOLORPICKED: OnColorPicked(HSVCOLOR(wParam)); return 0;
      case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
      default: break;
    }
    return CMyListBox::WindowProc(msg, wParam, lParam);
  }
  GCATCH(u"CMyListLayer", u"::WindowProc()", ->AppendArg(GArgUint(msg)))
}
