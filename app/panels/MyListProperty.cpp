#include "MyListProperty.h"

#include <algorithm>
#include <cstdlib>

#include "panels/VertBarMessages.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "platform/base/Sync.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Edit.h"
#include "platform/gui/ListPopup.h"

namespace {

constexpr COLORREF kBlack = 0x000000;
constexpr int kRow = CMyListBox::kRowHeight;
constexpr int kStripColumns = 10, kStripRows = 3;
constexpr int kIconOr = 0, kIconAnd = 1;
constexpr int kEditChars = 8;
constexpr int kPopupMaxHeight = 480;
constexpr UINT kTextFormat = gui::DT_SINGLELINE | gui::DT_VCENTER | gui::DT_NOPREFIX;

std::u16string Decimal(int32_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

// A typed number: optional spaces and sign, at least one digit; what follows the digits is
// ignored. FALSE for text without a number (the value then stays).
bool ParseNumber(const std::u16string& text, int32_t* out) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t v = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits)
    v = std::min<int64_t>(v * 10 + (text[i] - u'0'), int64_t(1) << 40);
  if (!digits) return false;
  v = negative ? -v : v;
  *out = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  return true;
}

}  // namespace

// ---- the edit tracker ---------------------------------------------------------------------

void CMyListProperty::XEditTracker::Begin(const PropertyItem* item, UINT index, OProperty* set) {
  m_bFinished = false;
  m_uIndex = index;
  m_pSet = set;
  if (m_pOwner->m_pObserver) m_pOwner->m_pObserver->BeginModify(item, index, set);
}

void CMyListProperty::XEditTracker::Change(const PropertyItem* item) {
  if (m_bFinished || !m_pSet) return;
  m_pSet->SetValue(m_uIndex, item->value);
  if (m_pOwner->m_pObserver) m_pOwner->m_pObserver->Modifying(item);
}

void CMyListProperty::XEditTracker::End(const PropertyItem* item, BOOL cancelled) {
  // Only an edit that began ends: every path back to idle may pass here.
  if (m_bFinished || !m_pSet) return;
  m_bFinished = true;
  OProperty* set = m_pSet;
  const UINT index = m_uIndex;
  m_pSet = nullptr;
  m_uIndex = 0;
  if (!cancelled) set->SetValue(index, item->value);
  if (m_pOwner->m_pObserver) m_pOwner->m_pObserver->EndModify(set->GetItem(index), cancelled);
}

void CMyListProperty::XEditTracker::FinishOperation() {
  if (m_pOwner->m_pObserver) m_pOwner->m_pObserver->FinishOperation();
}

void CMyListProperty::XEditTracker::InvalidateView() {
  if (m_pOwner->m_pObserver) m_pOwner->m_pObserver->InvalidateView();
}

// ---- making -------------------------------------------------------------------------------

CMyListProperty::CMyListProperty() = default;

CMyListProperty::~CMyListProperty() {
  if (m_myState == myDRAG && m_hDragCursor) gui::SetCursor(m_hDragCursor);
  m_pSubPage.reset();
  m_pPopup.reset();
  m_pEdit.reset();
  DestroyWindow();
}

void CMyListProperty::SetMouseSettings(int clickIntervalMs, int tolerance) {
  m_nClickInterval = std::max(0, clickIntervalMs);
  m_nTolerance = std::max(0, tolerance);
}

BOOL CMyListProperty::Create(gui::GWindow* parent, const RECT& rc, UINT id, DWORD style) {
  return CMyListBox::Create(style, rc, parent, id);
}

BOOL CMyListProperty::OnCreate() {
  GCompRef<gui::CIconStrip> icons = new gui::CIconStrip;
  if (!icons->LoadFromResource(IDB_PROPERTYLIST, kStripColumns, kStripRows)) return FALSE;
  m_cpIcons = icons;
  auto popup = std::make_unique<CListPopup>();
  if (!popup->Create(this, GetFont())) return FALSE;
  auto edit = std::make_unique<CMyEdit>();
  if (!edit->Create(this, RECT{0, 0, 8, 8}, kEditId, WS_CHILD, GetFont()->Height())) return FALSE;
  edit->LimitText(kEditChars);
  m_pPopup = std::move(popup);
  m_pEdit = std::move(edit);
  // Quick clicks on a check box or the cells each count.
  SetDoubleClicks(false);
  return TRUE;
}

// ---- filling ------------------------------------------------------------------------------

void CMyListProperty::NewProperty(UINT start, OProperty* set, OAppendixMenu* menu) {
  try {
    GVERIFY(myREADY >= m_myState, u"!myREADY>=m_myState");
    const UINT count = set ? set->GetCount() : 0;
    // An empty set shows no rows (its commands still show).
    GVERIFY(!set || start < count || (start == 0 && count == 0), u"!uItemStartPos<uItemCnt");
    ResetContent();
    m_pMenu = menu;
    m_cpProperty = set;
    m_nLabelWidth = 64;
    m_nPressRow = -1;
    SetHotRow(-1);
    m_nItemCount = 0;
    SendMessage(WM_SETREDRAW, FALSE);
    if (count) {
      const int32_t level = set->GetItem(start)->level;
      for (UINT i = start; i < count; ++i) {
        const PropertyItem* item = set->GetItem(i);
        if (item->level < level) break;
        if (item->level != level) continue;
        const int row = AddString(u"");
        SetItemData(row, uintptr_t(i));
        if (item->type != 0) m_nLabelWidth = std::max(m_nLabelWidth, TextWidth(item->label) + 12);
      }
    }
    m_nItemCount = GetCount();
    if (menu) {
      AddString(u"Separator");
      for (int k = 0; k < menu->GetCount(); ++k) AddString(u"");
    }
    SendMessage(WM_SETREDRAW, TRUE);
    Invalidate();
  }
  GCATCH(GetClassName(), u"::NewProperty()", ->AppendArg(GArgInt(int32_t(start))))
}

void CMyListProperty::ReleaseProperty() {
  ResetContent();
  m_cpProperty = nullptr;
  m_pMenu = nullptr;
  m_nItemCount = 0;
  m_nPressRow = -1;
  SetHotRow(-1);
}

PropertyItem* CMyListProperty::ItemOfRow(int row) {
  if (!m_cpProperty || row < 0 || row >= m_nItemCount) return nullptr;
  return m_cpProperty->GetItem(IndexOfRow(row));
}

BOOL CMyListProperty::HasSubPage(int row) {
  if (!ItemOfRow(row)) return FALSE;
  const UINT index = IndexOfRow(row);
  if (index + 1 >= m_cpProperty->GetCount()) return FALSE;
  return m_cpProperty->GetItem(index + 1)->level > m_cpProperty->GetItem(index)->level;
}

CMyListProperty* CMyListProperty::GetSubPage() {
  if (m_pSubPage) return m_pSubPage.get();
  if (!m_pPageBar || !m_pPageBar->GetSafeHwnd()) return nullptr;
  auto sub = std::make_unique<CMyListProperty>();
  sub->SetFont(GetFont());
  sub->SetPageBar(m_pPageBar);
  sub->SetModifyNotify(m_pObserver);
  sub->SetMouseSettings(m_nClickInterval, m_nTolerance);
  if (!sub->Create(m_pPageBar, RECT{0, 0, 8, 8}, kSubPageId, WS_CHILD)) return nullptr;
  m_pSubPage = std::move(sub);
  return m_pSubPage.get();
}

// ---- geometry and texts -------------------------------------------------------------------

bool CMyListProperty::HasCells(const PropertyItem& item, int right) const {
  if (item.type != PROP_TYPE_RANGE || item.maximum < item.minimum) return false;
  if (item.minimum < -9 || item.maximum > 99) return false;
  return right - m_nLabelWidth >= kCellWidth * (item.maximum - item.minimum) + 20;
}

int CMyListProperty::GetCellsLeft(int row) {
  RECT rc;
  PropertyItem* item = ItemOfRow(row);
  if (!item || GetItemRect(row, &rc) == gui::LB_ERR || !HasCells(*item, rc.right)) return -1;
  return rc.right - (item->maximum - item->minimum + 1) * kCellWidth;
}

std::vector<std::u16string> CMyListProperty::SplitChoices(const char16_t* choices) {
  std::vector<std::u16string> out;
  if (!choices) return out;
  std::u16string text(choices);
  size_t from = 0;
  for (;;) {
    const size_t bar = text.find(u'|', from);
    out.push_back(text.substr(from, bar == std::u16string::npos ? std::u16string::npos : bar - from));
    if (bar == std::u16string::npos) break;
    from = bar + 1;
  }
  return out;
}

// A boolean shows choice number (value & 1), a choice number value; a missing text is empty.
std::u16string CMyListProperty::ChoiceText(const PropertyItem& item) {
  const std::vector<std::u16string> texts = SplitChoices(item.choices);
  const int32_t n = item.type == PROP_TYPE_BOOL ? (item.value & 1) : item.value;
  return n >= 0 && size_t(n) < texts.size() ? texts[size_t(n)] : std::u16string();
}

int CMyListProperty::TextWidth(const char16_t* text) {
  return text ? int(RowDC().GetTextExtent(text).cx) : 0;
}

// ---- drawing ------------------------------------------------------------------------------

void CMyListProperty::DrawItem(gui::DRAWITEMSTRUCT* dis) {
  const int row = int(dis->itemID);
  const int width = std::min(int(dis->rcItem.right - dis->rcItem.left), RowBitmapWidth());
  if (width <= 0) return;
  gui::DeviceContext& dc = RowDC();
  dc.SetBkMode(gui::TRANSPARENT);
  dc.SetTextColor(kText);
  if (row < m_nItemCount) {
    PropertyItem* item = ItemOfRow(row);
    if (!item) return;
    DrawItemRow(dc, row, *item, width);
  } else if (row == m_nItemCount) {
    dc.FillSolidRect(RECT{0, 0, width, kRow}, kFace);  // "Separator"
  } else if (m_pMenu) {
    DrawCommandRow(dc, row, width);
  } else {
    return;
  }
  PresentRow(dis, width);
}

void CMyListProperty::DrawItemRow(gui::DeviceContext& dc, int row, PropertyItem& item, int width) {
  const int lw = std::min(m_nLabelWidth, width);
  const bool sub = HasSubPage(row);
  const bool hot = sub && row == GetHotRow();
  const COLORREF labelFace = hot ? kLight : kFace;
  const COLORREF labelText = hot ? kBlack : kText;
  auto bottomLines = [&] {
    dc.SetPen(gui::PS_SOLID, kFace);
    dc.MoveTo(0, kRow - 1);
    dc.LineTo(lw, kRow - 1);
    dc.SetPen(gui::PS_SOLID, kGridColor);
    dc.LineTo(width, kRow - 1);
  };

  if (item.type == 0) {
    dc.FillSolidRect(RECT{0, 0, width, kRow}, kFace);
    RECT rc{2, 0, width, kRow - 1};
    dc.SetTextColor(kText);
    if (item.label) dc.DrawText(item.label, -1, &rc, kTextFormat | gui::DT_LEFT);
    bottomLines();
    return;
  }

  dc.FillSolidRect(RECT{0, 0, lw, kRow}, labelFace);
  const bool cells = HasCells(item, width);
  if (item.type == PROP_TYPE_RANGE && item.minimum < item.maximum) {
    const int32_t v = std::clamp(item.value, item.minimum, item.maximum);
    int split;
    if (cells)
      split = width - (item.maximum - v) * kCellWidth;
    else
      split = lw + int(int64_t(width - lw) * (int64_t(v) - item.minimum) / (int64_t(item.maximum) - item.minimum));
    dc.FillSolidRect(RECT{lw, 0, split, kRow}, kLight);
    dc.FillSolidRect(RECT{split, 0, width, kRow}, kFace);
  } else {
    dc.FillSolidRect(RECT{lw, 0, width, kRow}, kFace);
  }
  dc.SetPen(gui::PS_SOLID, kGridColor);
  dc.MoveTo(lw, 0);
  dc.LineTo(lw, kRow);

  RECT labelRc{0, 0, lw - 8, kRow - 1};
  dc.SetTextColor(labelText);
  if (item.label) dc.DrawText(item.label, -1, &labelRc, kTextFormat | gui::DT_RIGHT);
  if (sub) {
    // A small triangle pointing right: strokes of 7, 5 and 3 pixels and a point.
    dc.SetPen(gui::PS_SOLID, labelText);
    const int x = lw - 7;
    for (int k = 0; k < 4; ++k) {
      dc.MoveTo(x + k, 6 + k);
      dc.LineTo(x + k, 13 - k);
    }
    dc.SetPixel(x + 3, 9);
  }

  dc.SetTextColor(kValueText);
  const int cellW = m_cpIcons->GetCellWidth(), cellH = m_cpIcons->GetCellHeight();
  const bool roomForIcon = lw + cellW + 2 < width;
  switch (item.type) {
    case PROP_TYPE_RANGE:
      if (cells) {
        const int left = width - (item.maximum - item.minimum + 1) * kCellWidth;
        for (int32_t v = item.minimum; v <= item.maximum; ++v) {
          const int x = left + (v - item.minimum) * kCellWidth;
          RECT rc{x + 1, 1, x + kCellWidth - 1, kRow - 2};
          const std::u16string text = Decimal(v);
          dc.DrawText(text.c_str(), int(text.size()), &rc, kTextFormat | gui::DT_CENTER);
          if (v == item.value) {
            dc.SetPen(gui::PS_SOLID, kCellFrame);
            dc.SetBrush(gui::BS_NULL, 0);
            dc.Rectangle(rc.left, rc.top, rc.right, rc.bottom);
          }
        }
      } else {
        RECT rc{lw + 5, 0, width, kRow - 1};
        const std::u16string text = Decimal(item.value);
        dc.DrawText(text.c_str(), int(text.size()), &rc, kTextFormat | gui::DT_LEFT);
      }
      break;
    case PROP_TYPE_BOOL:
    case PROP_TYPE_CHOICE: {
      RECT rc{lw + 5, 0, roomForIcon ? width - cellW : width, kRow - 1};
      const std::u16string text = ChoiceText(item);
      dc.DrawText(text.c_str(), int(text.size()), &rc, kTextFormat | gui::DT_LEFT);
      if (roomForIcon) {
        const int column = item.type == PROP_TYPE_CHOICE ? ICON_DROPDOWN : (item.value & 1) ? ICON_CHECKED : ICON_UNCHECKED;
        m_cpIcons->DrawIcon(dc, width - cellW, (kRow - 1 - cellH) / 2, column, kIconOr, kIconAnd);
      }
      break;
    }
    default: break;
  }
  bottomLines();
}

void CMyListProperty::DrawCommandRow(gui::DeviceContext& dc, int row, int width) {
  const int lw = std::min(m_nLabelWidth, width);
  const bool hot = row == GetHotRow();
  dc.FillSolidRect(RECT{0, 0, lw, kRow}, kFace);
  dc.FillSolidRect(RECT{lw, 0, width, kRow}, hot ? kLight : kFace);
  dc.SetPen(gui::PS_SOLID, kGridColor);
  dc.MoveTo(lw, 0);
  dc.LineTo(lw, kRow);
  const char16_t* label = m_pMenu->GetLabel(row - m_nItemCount - 1);
  if (!label) return;
  RECT rc{lw + 2, 0, width - 8, kRow - 1};
  dc.SetTextColor(hot ? kBlack : kText);
  dc.DrawText(label, -1, &rc, kTextFormat | gui::DT_RIGHT);
}

// ---- the mouse ----------------------------------------------------------------------------

void CMyListProperty::OnLButtonDown(POINT pt) {
  m_tracker.FinishOperation();
  m_dwPressTime = plat::GetTickCount();
  m_ptPress = pt;
  SetHotRow(-1);
  FinishWork();
  BOOL outside = TRUE;
  const int row = m_myState == myREADY && GetCount() > 0 ? int(ItemFromPoint(pt, outside)) : -1;
  if (!outside && row < m_nItemCount) {
    PropertyItem* item = ItemOfRow(row);
    RECT rc;
    if (!item || GetItemRect(row, &rc) == gui::LB_ERR) return;
    m_piPressed = *item;
    m_nPressRow = row;
    if (pt.x <= m_nLabelWidth - 4) {
      // The label opens the row's sub-page; nothing else happens on it.
      m_nPressRow = -1;
      if (!HasSubPage(row)) return;
      CMyListProperty* sub = GetSubPage();
      if (!sub) return;
      sub->NewProperty(IndexOfRow(row) + 1, m_cpProperty.get(), nullptr);
      gui::SendMessage(*m_pPageBar, WM_MYVB_PUSHPAGE, WPARAM(sub->GetSafeHwnd()), LPARAM(item->label));
      return;
    }
    const int cellsLeft = GetCellsLeft(row);
    const int32_t clicked = item->maximum - (rc.right - pt.x - 1) / kCellWidth;
    if (cellsLeft >= 0 && pt.x >= cellsLeft && pt.x < rc.right) {
      if (clicked != item->value) {
        Commit(clicked);
        m_nPressRow = -1;
      } else {
        m_myState = myPENDING;
      }
    } else {
      m_myState = myPENDING;
    }
  } else if (!outside && IsCommandRow(row) && m_pMenu && pt.x > m_nLabelWidth) {
    m_nPressRow = row;
    m_myState = myPENDING;
  }
  SetCapture();
}

void CMyListProperty::OnMouseMove(POINT pt) {
  switch (m_myState) {
    case myPENDING: {
      if (m_nPressRow >= m_nItemCount || m_piPressed.type != PROP_TYPE_RANGE) return;
      if (std::abs(pt.x - m_ptPress.x) <= m_nTolerance + 2) return;
      RECT client;
      GetClientRect(&client);
      if (m_ptPress.x <= m_nLabelWidth || m_ptPress.x >= client.right) {
        m_myState = myREADY;
        m_nPressRow = -1;
        return;
      }
      m_tracker.Begin(&m_piPressed, IndexOfRow(m_nPressRow), m_cpProperty.get());
      POINT screen = pt;
      ClientToScreen(&screen);
      m_nDragX = screen.x;
      m_ptPressScreen = m_ptPress;
      ClientToScreen(&m_ptPressScreen);
      m_hDragCursor = gui::SetCursor(nullptr);
      m_myState = myDRAG;
      return;
    }
    case myDRAG: {
      POINT screen = pt;
      ClientToScreen(&screen);
      const int32_t value = ClampPropertyValue(m_piPressed, int32_t(m_piPressed.value + (screen.x - m_nDragX)));
      m_nDragX = screen.x;
      if (value != m_piPressed.value) {
        m_piPressed.value = value;
        m_tracker.Change(&m_piPressed);
        RedrawRow(m_nPressRow);
      }
      // The pointer never stops at the screen's edges: it jumps to the other side and the
      // drag goes on from there.
      const RECT area = gui::GetWorkArea(screen);
      int jump = screen.x;
      if (screen.x <= area.left + 1) jump = area.right - 4;
      else if (screen.x > area.right - 4) jump = area.left + 2;
      if (jump != screen.x) {
        gui::SetCursorPos(jump, m_ptPressScreen.y);
        m_nDragX = jump;
      }
      return;
    }
    case myREADY: {
      BOOL outside = TRUE;
      const int row = GetCount() > 0 ? int(ItemFromPoint(pt, outside)) : -1;
      int hot = -1;
      if (!outside && row >= 0) {
        if (row < m_nItemCount && pt.x <= m_nLabelWidth - 4) hot = row;
        else if (IsCommandRow(row) && pt.x > m_nLabelWidth) hot = row;
      }
      SetHotRow(hot);
      return;
    }
    default: return;
  }
}

void CMyListProperty::EndDrag() {
  gui::SetCursorPos(m_ptPressScreen.x, m_ptPressScreen.y);
  gui::SetCursor(m_hDragCursor ? m_hDragCursor : gui::LoadCursor(gui::IDC_ARROW));
  m_hDragCursor = nullptr;
  m_myState = myREADY;
  m_tracker.End(&m_piPressed, FALSE);
  RedrawRow(m_nPressRow);
  m_nPressRow = -1;
}

void CMyListProperty::OnLButtonUp(POINT pt) {
  if (m_myState == myDRAG) {
    EndDrag();
  } else if (m_myState == myPENDING) {
    // Idle before the capture goes, so that losing it drops nothing.
    m_myState = myREADY;
    if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
    BOOL outside = TRUE;
    const int row = int(ItemFromPoint(pt, outside));
    RECT rc{};
    if (outside || row != m_nPressRow || row == m_nItemCount || GetItemRect(row, &rc) == gui::LB_ERR) {
      m_nPressRow = -1;
    } else if (IsCommandRow(row)) {
      // Back to the page below first: the command may change what it shows.
      // Going back may empty the page: the command's index is taken first.
      OAppendixMenu* menu = m_pMenu;
      const int index = row - m_nItemCount - 1;
      m_nPressRow = -1;
      if (m_pPageBar) gui::SendMessage(*m_pPageBar, WM_MYVB_NAVIGATE, 1, 0);
      if (menu) menu->OnHit(index);
    } else {
      switch (m_piPressed.type) {
        case PROP_TYPE_RANGE: IntegerClick(rc); break;
        case PROP_TYPE_BOOL: Commit((~m_piPressed.value) & 1); break;
        case PROP_TYPE_CHOICE:
          if (rc.right - m_nLabelWidth > m_cpIcons->GetCellWidth() + 2) {
            if (OpenChoice(RECT{m_nLabelWidth, rc.top, rc.right, rc.bottom - 1})) m_myState = myCHOICE;
          } else {
            // No room for the popup: each click steps to the next choice, round again.
            const std::vector<std::u16string> texts = SplitChoices(m_piPressed.choices);
            const int last = std::min<int>(int(texts.size()) - 1, m_piPressed.maximum);
            const int first = std::max(0, m_piPressed.minimum);
            for (int k = 1; k <= last - first + 1; ++k) {
              const int n = first + (m_piPressed.value - first + k) % (last - first + 1);
              if (n >= first && !texts[size_t(n)].empty()) {
                Commit(n);
                break;
              }
            }
          }
          break;
        default: break;
      }
      if (m_myState == myREADY) m_nPressRow = -1;
    }
  }
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
  m_tracker.InvalidateView();
}

void CMyListProperty::IntegerClick(const RECT& rc) {
  if (plat::GetTickCount() - m_dwPressTime > DWORD(m_nClickInterval)) {
    if (m_nLabelWidth + 2 < rc.right - 16) OpenNumberEntry(rc);
    return;
  }
  const PropertyItem& item = m_piPressed;
  if (item.maximum < item.minimum) return;
  int w = int(rc.right - rc.left) - m_nLabelWidth - 1;
  if (w <= 0) w = 1;
  const int64_t range = item.maximum == item.minimum ? 1 : int64_t(item.maximum) - item.minimum;
  const int64_t step = w / range;
  const int64_t value = item.minimum + (step / 2 + m_ptPress.x - m_nLabelWidth) * range / w;
  Commit(int32_t(std::clamp<int64_t>(value, item.minimum, item.maximum)));
}

void CMyListProperty::OpenNumberEntry(const RECT& rc) {
  m_myState = myEDIT;
  const std::u16string text = Decimal(m_piPressed.value);
  m_pEdit->SetWindowText(text.c_str());
  m_pEdit->MoveWindow(RECT{m_nLabelWidth + 2, rc.top, rc.right, rc.bottom});
  m_pEdit->SetSel(0, -1);
  m_pEdit->ShowWindow(SW_SHOW);
  m_pEdit->SetFocus();
}

void CMyListProperty::Commit(int32_t value) {
  if (!m_cpProperty || m_nPressRow < 0 || m_nPressRow >= m_nItemCount) return;
  value = ClampPropertyValue(m_piPressed, value);
  // A value that stays as it was is no edit: the owner hears nothing.
  if (value == m_cpProperty->GetItem(IndexOfRow(m_nPressRow))->value) return;
  m_tracker.Begin(&m_piPressed, IndexOfRow(m_nPressRow), m_cpProperty.get());
  m_piPressed.value = value;
  m_tracker.End(&m_piPressed, FALSE);
  RedrawRow(m_nPressRow);
}

void CMyListProperty::OnCaptureChanged(HWND now) {
  if (now == GetSafeHwnd()) return;
  if (m_myState == myDRAG) {
    EndDrag();
    Invalidate();
  } else if (m_myState == myPENDING) {
    m_myState = myREADY;
    m_nPressRow = -1;
    Invalidate();
  }
}

// ---- the number entry and the choice popup ------------------------------------------------

void CMyListProperty::FinishWork() {
  const int mode = m_myState;
  m_myState = myREADY;
  switch (mode) {
    case myREADY:
      if (m_pSubPage) m_pSubPage->FinishWork();
      break;
    case myCHOICE:
      m_pPopup->Hide();
      m_nPressRow = -1;
      break;
    case myEDIT: {
      int32_t value = 0;
      if (m_piPressed.type == PROP_TYPE_RANGE && ParseNumber(m_pEdit->GetWindowText(), &value)) Commit(value);
      m_nPressRow = -1;
      // Hiding takes the focus from the edit; the list takes it back.
      if (m_pEdit->IsWindowVisible()) {
        m_pEdit->ShowWindow(SW_HIDE);
        SetFocus();
      }
      break;
    }
    case myDRAG: EndDrag(); break;
    case myPENDING: m_nPressRow = -1; break;
    default: break;
  }
}

void CMyListProperty::OnEditDone(BOOL accepted) {
  if (accepted && m_myState == myEDIT) {
    FinishWork();
    return;
  }
  if (m_myState == myEDIT) m_myState = myREADY;
  m_nPressRow = -1;
  if (m_pEdit->IsWindowVisible()) {
    m_pEdit->ShowWindow(SW_HIDE);
    SetFocus();
  }
}

BOOL CMyListProperty::OpenChoice(const RECT& cell) {
  if (m_piPressed.type != PROP_TYPE_CHOICE) return FALSE;
  gui::ListBox* list = m_pPopup->GetListBox();
  list->ResetContent();
  m_choiceOfRow.clear();
  const std::vector<std::u16string> texts = SplitChoices(m_piPressed.choices);
  const int last = m_piPressed.maximum >= m_piPressed.minimum ? std::min<int>(m_piPressed.maximum, int(texts.size()) - 1)
                                                              : int(texts.size()) - 1;
  int selected = -1;
  for (int i = 0; i <= last; ++i) {
    if (texts[size_t(i)].empty()) continue;
    if (i == m_piPressed.value) selected = int(m_choiceOfRow.size());
    list->AddString(texts[size_t(i)].c_str());
    m_choiceOfRow.push_back(i);
  }
  if (m_choiceOfRow.empty()) return FALSE;
  const int height = std::clamp(int(m_choiceOfRow.size()) * CListPopup::kRowHeight + 4, 20, kPopupMaxHeight);
  POINT tl{cell.left, cell.top}, br{cell.right, cell.bottom};
  ClientToScreen(&tl);
  ClientToScreen(&br);
  const RECT anchor{tl.x + 3, tl.y, br.x, br.y + 2};
  const int rows = std::max(1, (height - 4) / CListPopup::kRowHeight);
  return m_pPopup->Popup(anchor, int(br.x - tl.x) - 3, rows, selected);
}

void CMyListProperty::AcceptChoice(int row) {
  if (row < 0 || size_t(row) >= m_choiceOfRow.size()) return;
  Commit(m_choiceOfRow[size_t(row)]);
}

void CMyListProperty::OnPopupClosed(BOOL chosen) {
  if (chosen && m_myState == myCHOICE) AcceptChoice(m_pPopup->GetListBox()->GetCurSel());
  m_nPressRow = -1;
  m_myState = myREADY;
  if (m_pPopup->IsOpen()) m_pPopup->Hide();
}

// ---- tooltips and messages ----------------------------------------------------------------

BOOL CMyListProperty::OnToolHitTest(POINT pt, std::u16string* text, RECT* area) {
  if (m_myState != myREADY || GetCount() <= 0) return FALSE;
  BOOL outside = TRUE;
  const int row = int(ItemFromPoint(pt, outside));
  RECT rc;
  if (outside || GetItemRect(row, &rc) == gui::LB_ERR) return FALSE;
  const char16_t* help = nullptr;
  if (row < m_nItemCount && pt.x < m_nLabelWidth) {
    help = ItemOfRow(row) ? ItemOfRow(row)->help : nullptr;
    rc.right = m_nLabelWidth;
  } else if (IsCommandRow(row) && m_pMenu && pt.x > m_nLabelWidth) {
    help = m_pMenu->GetHelp(row - m_nItemCount - 1);
    rc.left = m_nLabelWidth + 1;
  }
  if (!help || !*help) return FALSE;
  if (text) *text = help;
  if (area) *area = rc;
  return TRUE;
}

LRESULT CMyListProperty::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_CREATE:
      if (CMyListBox::WindowProc(msg, wParam, lParam) == -1) return -1;
      return OnCreate() ? 0 : -1;
    case WM_LBUTTONDOWN: OnLButtonDown(pt); return 0;
    case WM_LBUTTONDBLCLK: return 0;
    case WM_MOUSEMOVE: OnMouseMove(pt); return 0;
    case WM_LBUTTONUP: OnLButtonUp(pt); return 0;
    case WM_RBUTTONUP:
      if (m_myState == myREADY) {
        if (m_pPageBar) gui::SendMessage(*m_pPageBar, WM_MYVB_NAVIGATE, 1, 0);
      } else {
        FinishWork();
      }
      return 0;
    case WM_CAPTURECHANGED: OnCaptureChanged(reinterpret_cast<HWND>(lParam)); return 0;
    case WM_MYEDITDONE: OnEditDone(wParam != 0); return 0;
    case WM_MYPOPUPCLOSED: OnPopupClosed(wParam != 0); return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_KILLFOCUS) FinishWork();
      return 0;
    case WM_MYVB_PAGENOTIFY:
      if (wParam == 1) {
        FinishWork();
        ReleaseProperty();
        return 1;
      }
      return wParam == 2 ? 0 : 1;
    default: break;
  }
  return CMyListBox::WindowProc(msg, wParam, lParam);
}
