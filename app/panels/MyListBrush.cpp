#include "MyListBrush.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "panels/MyListProperty.h"
#include "panels/VertBarMessages.h"
#include "platform/base/Text.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Menu.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"

namespace {

constexpr COLORREF kSelectedFace = 0x404444;
constexpr COLORREF kSelectedText = 0xFFFFFF;
constexpr COLORREF kRowFace = 0xF4F8F8;
constexpr COLORREF kPlainText = 0x444848;
constexpr COLORREF kHotFace = 0xFFFFFF;  // the row under the mouse
constexpr COLORREF kHotText = 0x000000;
constexpr COLORREF kMark = 0x3C70C8;       // the preselection marks
constexpr COLORREF kPresetOn = 0x50A050;   // a preset that equals the current values
constexpr COLORREF kPresetOff = 0xC8CCCC;
constexpr UINT kPropertyPageId = 1;

}  // namespace

CMyListBrush::CMyListBrush() {
  OnCommand(ID_BRUSH_ADD, [this] { OnAddBrush(); });
  OnCommand(ID_BRUSH_DELETE, [this] { OnDeleteBrush(); });
  OnCommand(ID_BRUSH_FIND, [this] { OnFindBrush(); });
  OnUpdateCommandUI(ID_BRUSH_ADD, [this](gui::CmdUI* ui) { ui->Enable(GetCurSel() >= 0 && GetCount() < kMaxRows); });
  OnUpdateCommandUI(ID_BRUSH_DELETE, [this](gui::CmdUI* ui) { ui->Enable(GetCurSel() >= 0); });
  OnUpdateCommandUI(ID_BRUSH_FIND, [](gui::CmdUI* ui) { ui->Enable(TRUE); });
}

CMyListBrush::~CMyListBrush() {
  m_pPropertyPage.reset();
  for (int i = 0; i < GetCount(); ++i)
    if (XBrushProperty* e = GetEntry(i)) e->Release();
}

void CMyListBrush::SetPaintSpace(CPaintSpace* space) {
  m_pSpace = space;
  if (GetCurSel() >= 0) NotifySpace();
}

void CMyListBrush::SetMouseSettings(int clickIntervalMs, int tolerance) {
  m_nClickInterval = clickIntervalMs;
  m_nTolerance = tolerance;
  if (m_pPropertyPage) m_pPropertyPage->SetMouseSettings(clickIntervalMs, tolerance);
}

XBrushProperty* CMyListBrush::GetEntry(int row) const {
  if (row < 0 || row >= GetCount()) return nullptr;
  return static_cast<XBrushProperty*>(GetItemDataPtr(row));
}

XBrushProperty* CMyListBrush::CurEntry() const { return GetEntry(GetCurSel()); }

PropertyItem* CMyListBrush::CurItem(const char16_t* key) const {
  XBrushProperty* e = CurEntry();
  if (!e) return nullptr;
  UINT at = 0;
  return e->FindByName(&at, key);
}

void CMyListBrush::ReportError(const std::u16string& what) {
  if (!m_pSystem) return;
  // No internal error: the user is told in words of the panel's own.
  auto* e = new GErrRecord(u"!CMyListBrush", GERR_FILE_, __LINE__, ERR_KIND_NOTICE);
  e->AppendArg(GArgStr(what.c_str()));
  m_pSystem->ReportError(e);
}

// ---------------------------------------------------------------------------------------------
// What the paint tool asks

OBrush* CMyListBrush::GetCurBrush() {
  XBrushProperty* e = CurEntry();
  return e ? e->GetBrush(0) : nullptr;
}

OBrush* CMyListBrush::SwitchBrush() {
  const int cur = GetCurSel();
  for (int row = GetCount() - 1; row >= 0; --row) {
    XBrushProperty* e = GetEntry(row);
    if (row != cur && e && (e->m_dwFlags & BRUSH_FLAG_FLOATING)) {
      SetCurSelect(row);
      return e->GetBrush(0);
    }
  }
  return nullptr;
}

void CMyListBrush::SelectBrush(int index) {
  if (index >= 0 && index < GetCount()) SetCurSelect(index);
}

int CMyListBrush::RecallPreset(int n) {
  XBrushProperty* e = CurEntry();
  if (!e) return -1;
  n = std::clamp(n, 1, 4);
  e->LoadValues(n, TRUE);
  e->StoreValues(0);
  e->UpdatePresetFlags();
  SetCurSelect(GetCurSel());
  RedrawRow(GetCurSel());
  return n;
}

float CMyListBrush::GetRadius() {
  XBrushProperty* e = CurEntry();
  PropertyItem* item = CurItem(u"RADIUS");
  return e && item ? e->GetEngine()->brush->MapValue(item->value) : 0.0f;
}

int CMyListBrush::GetOperateMode() {
  PropertyItem* item = CurItem(u"OPERATEMODE");
  return item ? (item->value & BRUSH_OPERATE_ARC) : 0;
}

float CMyListBrush::GetRadiusRatio() {
  PropertyItem* item = CurItem(u"RADIUS");
  return item ? BrushValueRatio(*item) : 0.0f;
}

float CMyListBrush::SetRadiusRatio(float ratio) {
  XBrushProperty* e = CurEntry();
  PropertyItem* item = CurItem(u"RADIUS");
  if (!e || !item) return 0.0f;
  item->value = BrushValueAtRatio(*item, std::clamp(ratio, 0.0f, 1.0f));
  e->StoreValues(0);
  // The wheel and the size gesture come here: the preset marks follow the new size.
  e->UpdatePresetFlags();
  RedrawRow(GetCurSel());
  if (m_pPropertyPage && m_pPropertyPage->GetSafeHwnd()) m_pPropertyPage->Invalidate();
  return e->GetEngine()->brush->MapValue(item->value);
}

// ---------------------------------------------------------------------------------------------
// Finding, loading and saving

BrushEngineRecord* CMyListBrush::Engine(const std::u16string& name, BOOL create) {
  auto it = m_engines.find(name);
  if (it == m_engines.end()) return nullptr;
  BrushEngineRecord* r = it->second.get();
  if (!r->brush && create && m_pSystem) {
    // Held here, so that a component without the brush interface is freed again.
    const GCompRef<OComponent> c(m_pSystem->NewObj(name.c_str(), nullptr));
    if (c) r->brush = static_cast<OBrush*>(c->GetInterface(u"OBrush"));
  }
  return r->brush ? r : (create ? nullptr : r);
}

int CMyListBrush::InsertEntry(int index, XBrushProperty* entry) {
  const int row = InsertString(index, entry->GetName().c_str());
  if (row < 0) return -1;
  entry->AddRef();
  SetItemDataPtr(row, entry);
  return row;
}

void CMyListBrush::LoadBrushes() {
  try {
    if (!m_pSystem) return;
    int found = 0;
    m_pSystem->BeginEnum(u"OBrush");
    try {
      const char16_t* name = nullptr;
      const char16_t* description = nullptr;
      while (m_pSystem->Next(&name, &description)) {
        if (!name || m_engines.count(name)) continue;
        auto r = std::make_unique<BrushEngineRecord>();
        r->name = name;
        m_engines.emplace(r->name, std::move(r));
        ++found;
      }
    } catch (GError* e) {
      // A bad registry entry ends the search, nothing more. Owned by nobody yet.
      e->AddRef();
      e->Release();
    } catch (...) {
    }
    m_pSystem->EndEnum();
    if (found == 0) return;
    const std::u16string path = m_strProgramFolder.empty() ? FindPresetsFile()
                                                            : FindPresetsFile(m_strProgramFolder, m_strUserFolder);
    // The first start gets the stock brushes, and so does a file whose brushes all belong to
    // missing plug-ins (beside them). A file not read whole gives the rows it had, maybe
    // none: the user finds brushes again (32812).
    if (path.empty() || (Load(path) && GetCount() == 0 && !m_missing.empty())) AddNewBrushes();
  } catch (GError* e) {
    // The brushes are not worth a failed start: the error goes to the log.
    if (m_pSystem) {
      m_pSystem->ReportError(e);
    } else {
      e->AddRef();  // owned by nobody yet
      e->Release();
    }
  }
}

int CMyListBrush::AddNewBrushes(BOOL* full) {
  if (full) *full = FALSE;
  std::vector<BrushEngineRecord*> fresh;
  for (auto& [name, record] : m_engines) {
    bool used = false;
    for (int i = 0; i < GetCount() && !used; ++i) used = GetEntry(i)->GetEngine() == record.get();
    if (!used) fresh.push_back(record.get());
    if (fresh.size() == 10) break;
  }
  // Rows beyond what the presets file holds would take every edit of the run down with them
  // at exit.
  const size_t room = size_t(std::max(0, kMaxRows - GetCount()));
  if (fresh.size() > room) {
    fresh.resize(room);
    if (full) *full = TRUE;
  }
  int added = 0;
  for (BrushEngineRecord* r : fresh) {
    if (!Engine(r->name, TRUE)) continue;
    auto* e = new XBrushProperty(r, r->brush->GetName(), r->brush->GetDescription());
    if (InsertEntry(0, e) < 0) {
      e->AddRef();
      e->Release();  // frees the entry no row took
      continue;
    }
    ++added;
  }
  if (added) SetCurSelect(0);
  return added;
}

void CMyListBrush::ReleaseAll() {
  if (GetCount() == 0) return;
  for (int i = 0; i < GetCount(); ++i)
    if (XBrushProperty* e = GetEntry(i)) e->Release();
  ResetContent();
  ShowPropertyPage();  // the page bar lets go of the entry it showed
}

BOOL CMyListBrush::Load(const std::u16string& path) {
  ReleaseAll();
  m_missing.clear();
  m_strLoadNotice.clear();
  m_bKeepPresetsFile = FALSE;
  const BrushPresetsLoad load = LoadPresets(path, m_pSystem);
  if (load.status == PresetsStatus::Missing) return FALSE;
  for (const BrushPresetRecord& record : load.presets.brushes) {
    BrushEngineRecord* r = Engine(record.engine, TRUE);
    if (!r) {
      // A brush of a plug-in missing in this run is kept for the next save.
      m_missing.push_back(record);
      continue;
    }
    auto* e = new XBrushProperty(r, record.name, record.description);
    e->AddRef();
    if (e->TakeRecord(record) && GetCount() < kMaxRows) InsertEntry(GetCount(), e);
    e->Release();
  }
  if (load.status == PresetsStatus::Loaded) {
    // The stored row, none when it is not one of the rows; the marks stay as read, so the
    // selection is set without OnSelChanging.
    const int32_t stored = load.presets.selected;
    SetCurSel(stored >= 0 && stored < GetCount() ? stored : -1);
    OnSelChanged();
    return TRUE;
  }
  // Not read whole: the rows read stay, none current, and nobody hears of it yet. The file
  // goes out of the way before the save at exit can take its place; the user is told once
  // the window shows (ShowLoadNotice).
  const std::u16string kept = KeepPresetsAside(path);
  m_bKeepPresetsFile = kept.empty();
  m_strLoadNotice = u"画笔预设文件没能完整读入：\n" + path + u"\n\n原因：" + load.error + u"\n";
  if (!load.presets.brushes.empty())
    m_strLoadNotice += u"已读入其中的 " + plat::Widen(std::to_string(load.presets.brushes.size())) + u" 支画笔。\n";
  m_strLoadNotice += kept.empty() ? u"\n原文件无法另存，仍留在原处，本次退出时不会改写它。"
                                  : u"\n原文件已原样另存为：\n" + kept;
  return FALSE;
}

void CMyListBrush::ShowLoadNotice() {
  if (m_strLoadNotice.empty()) return;
  const std::u16string text = std::exchange(m_strLoadNotice, std::u16string());
  gui::MessageBox(nullptr, text.c_str(), u"画笔预设", gui::MB_OK | gui::MB_ICONWARNING);
}

BOOL CMyListBrush::Save(const std::u16string& path, std::u16string* error) {
  if (GetCount() == 0) return FALSE;  // nothing is written without rows
  BrushPresets presets;
  for (int i = 0; i < GetCount(); ++i) presets.brushes.push_back(GetEntry(i)->MakeRecord());
  for (const BrushPresetRecord& r : m_missing)
    if (presets.brushes.size() < BRUSH_MAX_BRUSHES) presets.brushes.push_back(r);
  presets.selected = GetCurSel();
  const BrushPresetsSave saved = SavePresets(path, presets, m_pSystem);
  if (saved.ok) return TRUE;
  ReportError(u"presets not saved: " + saved.error);
  if (error) *error = saved.error;
  return FALSE;
}

BOOL CMyListBrush::SaveBrushes() {
  std::u16string why;
  try {
    // The file stays as it is when nothing was loaded, when the list is empty, and when it
    // could not be read whole and could not be kept aside either.
    if (m_engines.empty() || GetCount() == 0 || m_bKeepPresetsFile) return TRUE;
    const std::u16string path = m_strProgramFolder.empty() ? PreparePresetsFile()
                                                            : PreparePresetsFile(m_strProgramFolder, m_strUserFolder);
    if (path.empty()) {
      ReportError(u"no folder for the brush presets");
      why = u"程序文件夹和用户数据文件夹都无法写入";
    } else if (Save(path, &why)) {
      return TRUE;
    } else {
      why = path + u"\n" + why;
    }
  } catch (GError* e) {
    if (m_pSystem) {
      m_pSystem->ReportError(e);
    } else {
      e->AddRef();  // owned by nobody yet
      e->Release();
    }
    why = u"详细情况已记录在 ERROR.TXT 文件中";
  }
  // The edits of this run are lost: said as every failed save is, not only in the log.
  const std::u16string text = u"无法保存画笔预设，本次对画笔的修改未能保留：\n" + why;
  gui::MessageBox(nullptr, text.c_str(), u"画笔预设", gui::MB_OK | gui::MB_ICONERROR);
  return FALSE;
}

void CMyListBrush::FinishWork() {
  const int mode = m_nMode;
  if (mode == myDRAG) EndDrag();
  m_nMode = myIDLE;
  if (mode == myIDLE && m_pPropertyPage) m_pPropertyPage->FinishWork();
}

// ---------------------------------------------------------------------------------------------
// Selection

BOOL CMyListBrush::ClearFloatingMarks() {
  BOOL fixed = FALSE;
  const int cur = GetCurSel();
  for (int i = 0; i < GetCount(); ++i) {
    XBrushProperty* e = GetEntry(i);
    if (e->m_dwFlags & BRUSH_FLAG_FIXED) {
      fixed = TRUE;
      continue;
    }
    if (i != cur && (e->m_dwFlags & BRUSH_FLAG_FLOATING)) {
      e->m_dwFlags &= ~BRUSH_FLAG_FLOATING;
      RedrawRow(i);
    }
  }
  return fixed;
}

void CMyListBrush::ClearFixedMarks() {
  for (int i = 0; i < GetCount(); ++i) {
    XBrushProperty* e = GetEntry(i);
    if (e->m_dwFlags & BRUSH_FLAG_FIXED) {
      e->m_dwFlags &= ~(BRUSH_FLAG_FIXED | BRUSH_FLAG_FLOATING);
      RedrawRow(i);
    }
  }
}

BOOL CMyListBrush::OnSelChanging(int newRow, int oldRow) {
  if (newRow == oldRow) return TRUE;
  const BOOL fixed = ClearFloatingMarks();
  XBrushProperty* next = GetEntry(newRow);
  if (fixed && next && !(next->m_dwFlags & BRUSH_FLAG_FIXED)) {
    if (XBrushProperty* old = GetEntry(oldRow)) {
      old->m_dwFlags &= ~(BRUSH_FLAG_FLOATING | BRUSH_FLAG_FIXED);
      RedrawRow(oldRow);
    }
  }
  if (next) next->m_dwFlags |= BRUSH_FLAG_FLOATING;
  return TRUE;
}

int CMyListBrush::OnSelChanged() {
  ShowPropertyPage();
  NotifySpace();
  return 1;
}

void CMyListBrush::ShowPropertyPage() {
  if (!m_pPageBar || !m_pPageBar->GetSafeHwnd()) return;
  m_pPageBar->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_HOME, 0);
  XBrushProperty* e = CurEntry();
  if (!e) {
    m_pPageBar->SendMessage(WM_MYVB_SETROOT, 0, 0);
    return;
  }
  if (!m_pPropertyPage) {
    auto page = std::make_unique<CMyListProperty>();
    page->SetFont(GetFont());
    page->SetPageBar(m_pPageBar);
    page->SetModifyNotify(&m_xModify);
    page->SetMouseSettings(m_nClickInterval, m_nTolerance);
    if (!page->Create(m_pPageBar, RECT{0, 0, 100, 100}, kPropertyPageId, WS_CHILD)) return;
    // Registered behind the forward tab: the bar shows it when the user goes there.
    page->ShowWindow(SW_HIDE);
    m_pPropertyPage = std::move(page);
  }
  m_pPropertyPage->NewProperty(0, e, nullptr);
  m_pPageBar->SendMessage(WM_MYVB_SETROOT, WPARAM(m_pPropertyPage->GetSafeHwnd()),
                          LPARAM(e->GetName().c_str()));
}

void CMyListBrush::NotifySpace() {
  if (m_pSpace) m_pSpace->NotifyOperator(GetClassName(), myNOTIFY_SELECT, GetCurBrush());
}

void CMyListBrush::XModify::EndModify(const PropertyItem*, BOOL cancelled) {
  if (cancelled) return;
  XBrushProperty* e = m_pList->CurEntry();
  if (!e) return;
  e->StoreValues(0);
  e->UpdatePresetFlags();
  m_pList->RedrawRow(m_pList->GetCurSel());
  m_pList->NotifySpace();
}

// ---------------------------------------------------------------------------------------------
// Commands

void CMyListBrush::OnAddBrush() {
  XBrushProperty* cur = CurEntry();
  if (!cur || GetCount() >= kMaxRows) return;
  std::u16string name = cur->GetName(), description = cur->GetDescription();
  if (m_askName && !m_askName(&name, &description)) return;
  auto* e = new XBrushProperty(cur->GetEngine(), name, description);
  e->AddRef();
  e->CopyValues(*cur);
  e->m_dwFlags &= ~BRUSH_FLAG_FIXED;
  const int row = InsertEntry(0, e);
  e->Release();
  if (row >= 0) SetCurSelect(row);
}

void CMyListBrush::OnDeleteBrush() {
  const int row = GetCurSel();
  XBrushProperty* e = CurEntry();
  if (!e) return;
  const std::u16string text = u"您确定要删除" + e->GetName() + u"吗？";
  if (!gui::ShowMessage(u"确认", text.c_str())) return;
  const int count = GetCount();
  DeleteString(UINT(row));
  e->Release();
  if (count > 1) SetCurSelect(std::min(count - 2, row));
  else OnSelChanged();
}

void CMyListBrush::OnFindBrush() {
  BOOL full = FALSE;
  const int added = AddNewBrushes(&full);
  std::u16string text =
      added == 0 ? std::u16string(u"没有找到新的画笔") : u"找到 " + plat::Widen(std::to_string(added)) + u" 支新画笔";
  if (full) {
    const std::u16string limit = u"画笔已达 " + plat::Widen(std::to_string(kMaxRows)) + u" 支上限";
    text = added == 0 ? limit + u"，无法再添加新画笔" : text + u"；" + limit + u"，其余的未添加";
  }
  gui::ShowMessage(u"结果", text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Rows and the mouse

void CMyListBrush::LayoutColumns(int width) {
  const int thresholds[6] = {32, 0, 44, 56, 68, 80};
  int others = 0;
  for (int c = 0; c < 6; ++c) {
    if (c == 1) continue;
    m_anWidth[c] = width >= thresholds[c] ? kMarkWidth : 0;
    others += m_anWidth[c];
  }
  m_anWidth[1] = std::max(0, width - others);
  int left = 0;
  for (int c = 0; c < 6; ++c) {
    m_anLeft[c] = left;
    left += m_anWidth[c];
  }
}

int CMyListBrush::RowAt(POINT pt) const {
  BOOL outside = TRUE;
  const int row = GetCount() > 0 ? int(ItemFromPoint(pt, outside)) : -1;
  return outside || row >= GetCount() ? -1 : row;
}

BOOL CMyListBrush::OnToolHitTest(POINT pt, std::u16string* text, RECT* area) {
  if (m_nMode != myIDLE) return FALSE;
  const int row = RowAt(pt), column = HitColumn(pt.x);
  RECT rc;
  if (row < 0 || column < 0 || GetItemRect(row, &rc) == gui::LB_ERR) return FALSE;
  const std::u16string tip = column == 1   ? GetEntry(row)->GetDescription()
                             : column == 0 ? gui::StringResourcePart(IDS_BRUSH_PRESELECT, 1)
                                           : gui::StringResourcePart(IDS_BRUSH_PRESET, 1);
  if (tip.empty()) return FALSE;
  if (text) *text = tip;
  if (area) *area = RECT{m_anLeft[column], rc.top, m_anLeft[column] + m_anWidth[column], rc.bottom};
  return TRUE;
}

int CMyListBrush::HitColumn(int x) const {
  for (int c = 0; c < 6; ++c)
    if (x >= m_anLeft[c] && x < m_anLeft[c] + m_anWidth[c]) return c;
  return -1;
}

void CMyListBrush::DrawItem(gui::DRAWITEMSTRUCT* dis) {
  XBrushProperty* e = GetEntry(int(dis->itemID));
  if (!e) return;
  gui::DeviceContext* dc = dis->pDC;
  const RECT& r = dis->rcItem;
  const bool selected = dis->itemState & ODS_SELECTED;
  const bool hot = int(dis->itemID) == GetHotRow();
  dc->FillSolidRect(r, selected ? kSelectedFace : hot ? kHotFace : kRowFace);
  const int cy = (r.top + r.bottom) / 2;
  // The preselection mark: hollow while floating, solid when fixed.
  if (m_anWidth[0] && (e->m_dwFlags & (BRUSH_FLAG_FLOATING | BRUSH_FLAG_FIXED))) {
    const int x = m_anLeft[0] + 2;
    dc->SetPen(gui::PS_SOLID, kMark);
    dc->SetBrush((e->m_dwFlags & BRUSH_FLAG_FIXED) ? gui::BS_SOLID : gui::BS_NULL, kMark);
    dc->Ellipse(x, cy - 4, x + 8, cy + 4);
  }
  if (m_anWidth[1]) {
    RECT text{r.left + m_anLeft[1] + 2, r.top + 4, r.left + m_anLeft[1] + m_anWidth[1] - 1, r.bottom - 2};
    const gui::HFONT oldFont = dc->SelectFont(GetFont());
    const int oldMode = dc->SetBkMode(gui::TRANSPARENT);
    const COLORREF oldColour = dc->SetTextColor(selected ? kSelectedText : hot ? kHotText : kPlainText);
    dc->DrawText(e->GetName().c_str(), int(e->GetName().size()), &text, gui::DT_SINGLELINE | gui::DT_NOPREFIX);
    dc->SetTextColor(oldColour);
    dc->SetBkMode(oldMode);
    dc->SelectFont(oldFont);
  }
  for (int k = 1; k <= 4; ++k) {
    const int c = k + 1;
    if (!m_anWidth[c]) continue;
    const COLORREF colour = (e->m_dwFlags & (1u << k)) ? kPresetOn : kPresetOff;
    const RECT cell{m_anLeft[c] + 3, cy - 3, m_anLeft[c] + 9, cy + 3};
    dc->FillSolidRect(cell, colour);
  }
}

void CMyListBrush::OnLButtonDown(POINT pt) {
  FinishWork();
  SetHotRow(-1);
  m_nPressRow = -1;
  m_nPressColumn = -1;
  m_ptPress = pt;
  m_bMoved = FALSE;
  m_bNamePressed = FALSE;
  const int row = RowAt(pt);
  if (row < 0) return;
  m_nPressRow = row;
  m_nPressColumn = HitColumn(pt.x);
  m_bNamePressed = m_nPressColumn == 1;
  SetCapture();
  XBrushProperty* e = GetEntry(m_nPressRow);
  switch (m_nPressColumn) {
    case 0:
      if (e->m_dwFlags & BRUSH_FLAG_FLOATING) {
        const bool wasFixed = e->m_dwFlags & BRUSH_FLAG_FIXED;
        ClearFixedMarks();
        e->m_dwFlags |= BRUSH_FLAG_FLOATING;
        if (!wasFixed) e->m_dwFlags |= BRUSH_FLAG_FIXED;
      } else if (!ClearFloatingMarks()) {
        e->m_dwFlags |= BRUSH_FLAG_FLOATING;
      }
      RedrawRow(m_nPressRow);
      break;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      if (m_nPressRow != GetCurSel()) SetCurSelect(m_nPressRow);
      break;
    default: break;
  }
}

void CMyListBrush::OnMouseMove(POINT pt) {
  if (m_nMode == myIDLE) SetHotRow(RowAt(pt));
  if (m_nPressRow < 0) return;
  if (std::abs(pt.x - m_ptPress.x) > 4 || std::abs(pt.y - m_ptPress.y) > 4) m_bMoved = TRUE;
  if (m_nMode == myIDLE && m_bMoved && m_nPressColumn > 0) {
    StartDragScroll();
    m_nMode = myDRAG;
  }
  if (m_nMode == myDRAG) UpdateDrop(pt);
}

void CMyListBrush::UpdateDrop(POINT pt) {
  RECT client;
  GetClientRect(&client);
  SetDragScroll(kScrollNone);
  int index = -1, column = -1;
  if (pt.y < client.top - 10) {
    SetDragScroll(kScrollUp);
  } else if (pt.y >= client.bottom + 10) {
    SetDragScroll(kScrollDown);
  } else if (pt.x >= client.left && pt.x < client.right) {
    BOOL outside = FALSE;
    const int row = int(ItemFromPoint(pt, outside));
    RECT rc{};
    if (!outside && row < GetCount() && GetItemRect(row, &rc) != gui::LB_ERR) {
      index = row + (pt.y > (rc.top + rc.bottom) / 2 ? 1 : 0);
      column = HitColumn(pt.x);
    } else if (outside && pt.y >= 0) {
      index = GetCount();  // below the last row
      column = HitColumn(pt.x);
    }
  }
  DrawDropMarker(FALSE);
  m_nDropIndex = index;
  m_nDropColumn = column;
  DrawDropMarker(TRUE);
  gui::SetCursor(index >= 0 ? gui::LoadCursorResource(IDC_MOVEITEM) : gui::LoadCursor(gui::IDC_NO));
}

void CMyListBrush::DrawDropMarker(BOOL show) {
  if (!show || m_nDropIndex < 0) {
    ShowDropMarker(nullptr);
    return;
  }
  RECT client;
  GetClientRect(&client);
  RECT rc = DropMarkerRect(m_nPressRow, m_nDropIndex, client);
  // Over the pressed row itself a preset cell marks where the drop stores.
  if ((m_nDropIndex == m_nPressRow || m_nDropIndex == m_nPressRow + 1) && m_nDropColumn >= 2) {
    rc.left = std::max<LONG>(client.left, m_anLeft[m_nDropColumn]);
    rc.right = std::min<LONG>(client.right, m_anLeft[m_nDropColumn] + m_anWidth[m_nDropColumn]);
  }
  ShowDropMarker(&rc);
}

void CMyListBrush::EndDrag() {
  ShowDropMarker(nullptr);
  StopDragScroll();
  gui::SetCursor(gui::LoadCursor(gui::IDC_ARROW));
  m_nMode = myIDLE;
}

void CMyListBrush::OnLButtonUp(POINT pt) {
  DropPress(pt);
  SetHotRow(-1);
  // A brush chosen, marked or edited here is one to paint with.
  if (m_pSpace) m_pSpace->SelectOperator(ID_OPER_PAINT);
  // Last: letting the mouse go tells this window, which then has nothing left to end.
  if (gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
}

void CMyListBrush::DropPress(POINT pt) {
  const int row = m_nPressRow, pressed = m_nPressColumn;
  m_nPressRow = -1;
  if (row < 0 || row >= GetCount()) {
    if (m_nMode == myDRAG) EndDrag();
    return;
  }
  XBrushProperty* e = GetEntry(row);
  if (m_nMode == myDRAG) {
    UpdateDrop(pt);
    const int index = m_nDropIndex, column = m_nDropColumn;
    EndDrag();
    if (index < 0) return;
    const int target = index - (row < index ? 1 : 0);
    if (target != row) {
      // The brush moves to where it was dropped.
      if (MoveItemDataPtr(target, row)) {
        SetCurSel(target);
        for (int i = std::min(row, target); i <= std::max(row, target); ++i) RedrawRow(i);
      }
      return;
    }
    RECT rc{};
    GetItemRect(row, &rc);
    if (column < 2 || column == pressed || pt.y < rc.top || pt.y >= rc.bottom) return;
    // The name dropped onto a mark stores the working values there; a mark onto another
    // moves that preset.
    if (pressed == 1) e->StoreValues(column - 1);
    else if (pressed >= 2) e->MovePreset(column - 1, pressed - 1);
  } else {
    const int column = HitColumn(pt.x);
    BOOL outside = FALSE;
    if (m_bMoved || pressed < 2 || column != pressed || int(ItemFromPoint(pt, outside)) != row || outside) return;
    // A click on a preset mark loads that preset into the working values.
    e->LoadValues(column - 1, TRUE);
    e->StoreValues(0);
    NotifySpace();
  }
  e->UpdatePresetFlags();
  RedrawRow(row);
  if (m_pPropertyPage && m_pPropertyPage->GetSafeHwnd()) m_pPropertyPage->Invalidate();
}

void CMyListBrush::OnContextMenu(POINT pt) {
  FinishWork();
  gui::Menu menu;
  const BOOL current = GetCurSel() >= 0;
  menu.AppendMenu(current && GetCount() < kMaxRows ? MF_STRING : MF_GRAYED, ID_BRUSH_ADD, u"添加画笔(&A)...");
  menu.AppendMenu(current ? MF_STRING : MF_GRAYED, ID_BRUSH_DELETE, u"删除画笔(&D)");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_STRING, ID_BRUSH_FIND, u"查找画笔(&F)");
  ClientToScreen(&pt);
  switch (menu.TrackPopupMenu(TPM_RETURNCMD, pt.x, pt.y, GetSafeHwnd())) {
    case ID_BRUSH_ADD: OnAddBrush(); break;
    case ID_BRUSH_DELETE: OnDeleteBrush(); break;
    case ID_BRUSH_FIND: OnFindBrush(); break;
    default: break;
  }
}

LRESULT CMyListBrush::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    switch (msg) {
      case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) LayoutColumns(LOWORD(uintptr_t(lParam)));
        break;
      case WM_LBUTTONDOWN:
        OnLButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
      case WM_LBUTTONUP:
        OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
      case WM_MOUSEMOVE: {
        const bool pressed = m_nPressRow >= 0;
        OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (!pressed) break;  // hovering: the list base's too
        return 0;
      }
      case WM_LBUTTONDBLCLK:
        // The second press of a double click on a name: on to that brush's property page.
        if (m_bNamePressed && m_pPageBar && m_pPageBar->GetSafeHwnd())
          m_pPageBar->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_FORWARD, 0);
        return 0;
      case WM_CAPTURECHANGED:
        // Another window took the mouse: the press and any drag end where they are.
        if (reinterpret_cast<HWND>(lParam) == GetSafeHwnd()) break;
        if (m_nMode == myDRAG) EndDrag();
        m_nPressRow = -1;
        break;
      case WM_RBUTTONUP:
        OnContextMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
      case WM_MYVB_PAGENOTIFY:
        // The bar may go on to the current brush's property page.
        return wParam == VB_PAGE_MAYFORWARD && GetCurSel() >= 0 ? 1 : 0;
      default: break;
    }
    return CMyListBox::WindowProc(msg, wParam, lParam);
  }
  GCATCH(GetClassName(), u"::WindowProc()", ->AppendArg(GArgUint(msg)))
}
