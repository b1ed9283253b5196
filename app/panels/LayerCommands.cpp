// The layer bar's add, delete and merge-down commands and the Edit menu's cut, copy and paste
// through the program's layer clipboard. Each ends the pending work first, changes the rows
// through the list's services and leaves one undo step.
#include <algorithm>
#include <string>
#include <vector>

#include "HeldLayerBlock.h"
#include "LayerMerge.h"
#include "LayerRecords.h"
#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/base/Text.h"

namespace {
constexpr const char16_t* kClass = u"CMyListLayer";
// Above this a layer goes to the clipboard as a fragmented block.
constexpr uint64_t kContiguousClipboardMax = 0x3FFFFFF;
// A pasted layer's name keeps this many units before its "_".
constexpr size_t kPasteNameUnits = 16;

// The list's rows are not redrawn until the command is over, however it ends.
class RedrawOff {
 public:
  explicit RedrawOff(CMyListLayer* list) : m_pList(list) { m_pList->SetRedraw(FALSE); }
  ~RedrawOff() { m_pList->SetRedraw(TRUE); }
  RedrawOff(const RedrawOff&) = delete;
  RedrawOff& operator=(const RedrawOff&) = delete;

 private:
  CMyListLayer* m_pList;
};

// "sky" and "sky_" both paste as "sky_"; "base_2_x" as "base_2_".
std::u16string PastedName(const char16_t* name) {
  std::u16string s = name ? name : u"";
  const size_t cut = s.rfind(u'_');
  if (cut != std::u16string::npos && cut > 0) s.resize(cut);
  return std::u16string(plat::CutText(s, kPasteNameUnits)) + u"_";
}

RECT UnionOf(OLayer* a, OLayer* b) {
  RECT ra, rb;
  a->GetRect(&ra);
  b->GetRect(&rb);
  return RECT{std::min(ra.left, rb.left), std::min(ra.top, rb.top), std::max(ra.right, rb.right),
              std::max(ra.bottom, rb.bottom)};
}
}  // namespace

int CMyListLayer::GetMergeOptions() const {
  const int s = GetCurSel();
  OLayer* layer = GetLayer(s);
  if (!layer) return 0;
  int options = 0;
  if (OLayer* below = GetLayer(s + 1)) {
    options |= LYR_MERGE_PLAIN;
    LayerInfo a, b;
    layer->GetInfo(&a);
    below->GetInfo(&b);
    if (a.nPixelSize == 4 && b.nPixelSize == 2 && below->IsMask() && a.x == b.x && a.y == b.y && a.nWidth == b.nWidth &&
        a.nHeight == b.nHeight)
      options |= LYR_MERGE_MASK;
  }
  if ((layer->GetFlags() & LYR_FLAG_NEST) && GetNestBaseRow(s) >= 0) options |= LYR_MERGE_NEST;
  return options;
}

void CMyListLayer::OnTbvcLyrAdd() {
  try {
    if (!m_pSpace || !m_pAsk) return;
    m_pSpace->FinishWork();
    std::u16string name = u"新图层";
    int width = int(m_pSpace->GetWidth()), height = int(m_pSpace->GetHeight());
    const int answer = m_pAsk->AskNewLayer(&name, &width, &height);
    if (answer == 1 || answer == 2) {
      width = std::clamp(width, 1, int(LYR_MAX_WIDTH));
      height = std::clamp(height, 1, int(LYR_MAX_HEIGHT));
      RECT rect{0, 0, width, height};
      m_pSpace->CenterOnView(nullptr, &rect);
      const int format = answer == 1 ? OLayer::myFORMAT_C32 : OLayer::myFORMAT_A16;
      if (CheckMemory(width, height, format, -1)) CreateLayer(name.c_str(), &rect, format, 0, TRUE);
    }
    InvalidateSpace();
  }
  GCATCH(kClass, u"::OnTbvcLyrAdd()")
}

// Takes the selected row out with the step "删除" or "剪切"; backup is the row's layer.
static void DeleteSelectedRow(CMyListLayer* list, OData* backup, const char16_t* label) {
  const int row = list->GetCurSel();
  // The undo writes the row and the rebuilt layer's ID back into this block.
  GCompRef<OData> place = NewBlock(LYR_RECORD_BLOCK, {uint32_t(row)});
  list->WriteStep(LYR_UNDO_DELETE, label, {place, backup});
  const int next = list->GetRowAfterDelete();
  list->DelLayer(row);
  list->SetCurSelect(next);
  list->InvalidateSpace();
}

void CMyListLayer::OnTbvcLyrDel() {
  try {
    if (!m_pSpace) return;
    m_pSpace->FinishWork();
    OLayer* layer = GetCurLayer();
    if (!layer) return;
    // The layer leaves its row unchanged: the step keeps the layer itself.
    GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
    DeleteSelectedRow(this, backup, u"删除");
  }
  GCATCH(kClass, u"::OnTbvcLyrDel()")
}

// The current layer onto the clipboard; FALSE when there is none or no clipboard.
static BOOL CopyCurrentLayer(CMyListLayer* list) {
  OLayer* layer = list->GetCurLayer();
  LayerClipboard* clipboard = list->GetClipboard();
  if (!layer || !clipboard) return FALSE;
  LayerInfo info{};
  GCompRef<OData> data;
  if (layer->GetMemorySize() > kContiguousClipboardMax) {
    data = layer->Backup(nullptr);
    layer->GetInfo(&info);
  } else {
    data = layer->Backup(&info);
  }
  GVERIFY(data.IsValid(), u"!poData");
  clipboard->cpData = data;
  clipboard->info = info;
  return TRUE;
}

void CMyListLayer::OnEditCopy() {
  try {
    if (!m_pSpace) return;
    m_pSpace->FinishWork();
    CopyCurrentLayer(this);
  }
  GCATCH(kClass, u"::OnEditCopy()")
}

void CMyListLayer::OnEditCut() {
  try {
    if (!m_pSpace) return;
    m_pSpace->FinishWork();
    if (!CopyCurrentLayer(this)) return;
    // The clipboard's block is the whole layer already: the undo step shares it (both only
    // read it) rather than holding a second copy of the pixels.
    DeleteSelectedRow(this, m_pClipboard->cpData, u"剪切");
  }
  GCATCH(kClass, u"::OnEditCut()")
}

void CMyListLayer::OnEditPaste() {
  try {
    if (!m_pSpace) return;
    m_pSpace->FinishWork();
    // The clipboard is emptied however the paste ends: a layer is pasted once.
    struct Emptied {
      LayerClipboard* clipboard;
      ~Emptied() {
        if (clipboard) clipboard->Clear();
      }
    } emptied{m_pClipboard};
    if (!m_pClipboard || !m_pClipboard->HasLayer()) return;
    const LayerInfo& info = m_pClipboard->info;
    if (!CheckMemory(info.nWidth, info.nHeight, info.nPixelSize, -1)) return;
    const UINT id = GetNewLayerID();
    GCompRef<OLayer> layer = Rebuild(m_pClipboard->cpData);
    m_pSpace->CenterOnView(layer, nullptr);
    layer->SetName(PastedName(layer->GetName()).c_str());
    layer->SetFlags(0);
    layer->SetID(id);
    layer->MipRefresh(nullptr);
    m_pClipboard->Clear();
    if (AddLayer(0, layer) == -1) return;
    SetCurSelect(0);
    WriteStep(LYR_UNDO_PASTE, u"粘贴", {NewBlock(LYR_RECORD_BLOCK, {id})});
    InvalidateSpace();
  }
  GCATCH(kClass, u"::OnEditPaste()")
}

// ---- Merge down ----

namespace {

// The user's word when the merge's undo data would be too large: FALSE stops the merge;
// TRUE empties both stores, and the merge goes on without a step.
BOOL AcceptMergeWithoutUndo(CMyListLayer* list, CPaintSpace* space) {
  ILayerAsk* ask = list->GetAsk();
  if (!ask || !ask->Confirm(u"注意", u"由于内存不足，本次操作无法撤消")) return FALSE;
  space->GetRedoStore()->Clear();
  space->GetUndoStore()->Clear();
  return TRUE;
}

}  // namespace

void CMyListLayer::OnTbvcLyrMerge() {
  try {
    if (!m_pSpace) return;
    if (m_pClipboard) m_pClipboard->Clear();  // its memory may be needed
    COperatorSuspend suspend(m_pSpace);
    RedrawOff redraw(this);
    const int options = GetMergeOptions();
    if (options & LYR_MERGE_MASK) {
      MergeMaskDown();
    } else if (options && m_pAsk) {
      const int answer = m_pAsk->AskMerge(options);
      if (answer == LYR_MERGE_PLAIN)
        MergePlainDown();
      else if (answer == LYR_MERGE_NEST)
        MergeNestDown();
    }
  }
  GCATCH(kClass, u"::OnTbvcLyrMerge()")
}

// The colour layer at the selected row takes the mask below it into its alpha.
void CMyListLayer::MergeMaskDown() {
  const int s = GetCurSel();
  OLayer* colour = GetLayer(s);
  OLayer* mask = GetLayer(s + 1);
  GCompRef<OData> alpha(colour->AlphaBackup());
  GCompRef<OData> maskBackup = CHeldLayerBlock::Hold(mask);
  GCompRef<OData> head = NewBlock(LYR_RECORD_BLOCK, {uint32_t(s), colour->GetID(), mask->GetID()});
  colour->MergeMask(mask);
  colour->MipRefresh(nullptr);
  GVERIFY(DelLayer(s + 1), u"!DelLayer(nSel+1)");
  WriteStep(LYR_UNDO_MERGEMASK, u"合并>蒙板", {head, alpha, maskBackup});
  SetCurSelect(s);
  InvalidateSpace();
}

// The selected layer and the one below become one colour layer of both their rectangles.
// Everything is made before the rows change, so that a failure leaves the list as it was.
void CMyListLayer::MergePlainDown() {
  const int s = GetCurSel();
  OLayer* upper = GetLayer(s);
  OLayer* lower = GetLayer(s + 1);
  const RECT rect = UnionOf(upper, lower);
  if (!CheckMemory(rect.right - rect.left, rect.bottom - rect.top, OLayer::myFORMAT_C32, -1)) return;
  BOOL undoable = TRUE;
  if (upper->GetMemorySize() + lower->GetMemorySize() > LYR_MERGE_UNDO_LIMIT) {
    if (!AcceptMergeWithoutUndo(this, m_pSpace)) return;
    undoable = FALSE;
  }
  GCompRef<OLayer> merged = NewMergedLayer(this, upper, lower, rect);
  merged->MipRefresh(nullptr);
  if (undoable) {
    GCompRef<OData> upperBackup = CHeldLayerBlock::Hold(upper);
    GCompRef<OData> lowerBackup = CHeldLayerBlock::Hold(lower);
    GCompRef<OData> head =
        NewBlock(LYR_RECORD_BLOCK, {uint32_t(s), upper->GetID(), lower->GetID(), uint32_t(rect.left),
                                    uint32_t(rect.top), uint32_t(rect.right), uint32_t(rect.bottom)});
    WriteStep(LYR_UNDO_MERGE, u"合并", {head, upperBackup, lowerBackup});
  }
  GVERIFY(DelLayer(s + 1), u"!DelLayer(nSel+1)");
  GVERIFY(DelLayer(s), u"!DelLayer(nSel)");
  GVERIFY(AddLayer(s, merged) == s, u"!AddLayer(nSel,cpLayerNew)!=-1");
  SetCurSelect(s);
  InvalidateSpace();
}

// The selected row and the nested rows below it are painted into the colour layer under them.
void CMyListLayer::MergeNestDown() {
  const int s = GetCurSel();
  const int baseRow = GetNestBaseRow(s);
  if (!GetLayer(s) || !(GetLayer(s)->GetFlags() & LYR_FLAG_NEST) || baseRow < 0) return;
  const int n = baseRow - s;
  OLayer* base = GetLayer(baseRow);
  const uint64_t nested = MarkNestBlocks(this, s, n, base);
  BOOL undoable = TRUE;
  if (base->PAT_GetBackupSize() + nested > LYR_MERGE_UNDO_LIMIT) {
    if (!AcceptMergeWithoutUndo(this, m_pSpace)) return;
    undoable = FALSE;
  }
  GCompRef<OData> patch(base->PAT_Backup(FALSE));
  if (!RunNestMerge(this, s, n, base)) {
    base->PAT_Restore(patch);
    InvalidateSpace();
    return;
  }
  if (undoable) {
    GCompRef<OData> head =
        NewBlock(std::max<size_t>(LYR_RECORD_BLOCK, 12 + 4 * size_t(n)), {uint32_t(s), base->GetID(), uint32_t(n)});
    std::vector<GCompRef<OData>> backups;
    std::vector<OData*> blocks{head, patch};
    for (int i = s; i < s + n; ++i) {
      BYTE id[4];
      PutLE32(id, GetLayer(i)->GetID());
      head->Write(id, 4);
      backups.emplace_back(CHeldLayerBlock::Hold(GetLayer(i)));
      blocks.push_back(backups.back());
    }
    WriteStep(LYR_UNDO_MERGENEST, u"合并>嵌套", blocks);
  }
  for (int i = 0; i < n; ++i) GVERIFY(DelLayer(s), u"!DelLayer(nSel)");
  base->PAT_MarkMipRefresh();
  SetCurSelect(s);
  InvalidateSpace();
}
