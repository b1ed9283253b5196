// What the tools, the commands and the undo records ask of the rows: deleting and replacing a
// row, the source mark, new layers with their undo steps, the partition masks of the paint
// bucket, the snapping edges, and the space's redraw and notices.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "LayerRecords.h"
#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/base/Text.h"
#include "tools/Operation.h"

namespace {
constexpr const char16_t* kClass = u"CMyListLayer";
// A partition layer is found again when its display colour lies this close to the colour.
constexpr int kPartitionTolerance = 16;
// The name field of the create and partition records: at most this many units.
constexpr size_t kRecordNameUnits = 128;

// |dR| + |dG| + |dB| of two colours (low three bytes).
int ColourDistance(COLORREF a, COLORREF b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8) d += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
  return d;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The undo record's name field: the units, then the closing zero (cut to maxUnits in all).
void WriteRecordName(OData* block, const char16_t* name, bool terminator) {
  const size_t keep =
      plat::CutText(name ? name : u"", terminator ? kRecordNameUnits - 1 : kRecordNameUnits).size();
  block->Write(name, keep * 2);
  const char16_t zero = 0;
  if (terminator) block->Write(&zero, 2);
  block->Write(&zero, 2);
}
}  // namespace

BOOL CMyListLayer::DelLayer(int index) {
  OLayer* layer = DetachLayer(index);
  if (!layer) return FALSE;
  layer->Release();
  return TRUE;
}

void CMyListLayer::SetLayer(int index, OLayer* layer) {
  if (!layer || index < 0 || index >= GetCount()) return;
  m_rows[size_t(index)] = layer;  // the reference moves from the old layer to the new
  RedrawItem(index);
  if (index == m_nCurSel) Announce(index, index);
}

int CMyListLayer::ClearSourceMark(BOOL redraw) {
  for (int i = GetCount() - 1; i >= 0; --i) {
    OLayer* layer = GetLayer(i);
    const uint32_t flags = layer->GetFlags();
    if (!(flags & LYR_FLAG_SOURCE)) continue;
    layer->SetFlags(flags & ~LYR_FLAG_SOURCE);
    if (redraw) RedrawItem(i);
    return i;
  }
  return -1;
}

int CMyListLayer::GetNestBaseRow(int row) const {
  int below = row + 1;
  while (GetLayer(below) && (GetLayer(below)->GetFlags() & LYR_FLAG_NEST)) ++below;
  OLayer* base = GetLayer(below);
  return base && base->GetFormat() == OLayer::myFORMAT_C32 ? below : -1;
}

int CMyListLayer::GetRowAfterDelete() const {
  const int row = std::min(GetCurSel(), GetCount() - 2);
  return row < 0 ? -1 : row;
}

OLayer* CMyListLayer::CreateLayer(const char16_t* name, const RECT* rect, int format, UINT id, BOOL record) {
  try {
    if (!m_pSpace || !rect || GetCount() >= LYR_MAX_SUM) return nullptr;
    const int64_t width = int64_t(rect->right) - rect->left, height = int64_t(rect->bottom) - rect->top;
    if (width < 1 || width > LYR_MAX_WIDTH || height < 1 || height > LYR_MAX_HEIGHT) return nullptr;
    GCompRef<OLayer> layer = NewLayer(int(width), int(height), format, id ? id : GetNewLayerID());
    layer->SetName(name ? name : u"");
    layer->SetPosition(rect->left, rect->top, FALSE);
    if (AddLayer(0, layer) == -1) return nullptr;  // the reference drops the layer
    SetCurSelect(0);
    if (record) {
      LayerInfo info;
      layer->GetInfo(&info);
      GCompRef<OData> block = NewBlock(4 + LAYER_INFO_BYTES + kRecordNameUnits * 2 + 4, {layer->GetID()});
      WriteLayerInfo(block, info);
      WriteRecordName(block, layer->GetName(), true);
      WriteStep(LYR_UNDO_CREATE, u"创建", {block});
    }
    return layer;  // the row holds it
  }
  GCATCH(kClass, u"::CreateLayer()", ->AppendArg(GArgInt(format))->AppendArg(GArgUint(id)))
}

OLayer* CMyListLayer::GetDestLayerByColor(COLORREF colour, int* outRow) {
  try {
    const int n = GetCount();
    int source = -1;
    for (int i = 0; i < n && source < 0; ++i)
      if (GetLayer(i)->GetFlags() & LYR_FLAG_SOURCE) source = i;
    if (source < 0) return nullptr;
    OLayer* src = GetLayer(source);
    GVERIFY(src->GetFormat() == OLayer::myFORMAT_A16, u"!pSrcLayer->GetFormat()==OLayer::myFORMAT_A16");
    const std::u16string name = std::u16string(plat::CutText(src->GetName(), 4)) + u"_分区_";
    RECT rc;
    src->GetRect(&rc);

    // The partitions of the source sit right below it, one per colour.
    for (int i = source + 1; i < n; ++i) {
      OLayer* layer = GetLayer(i);
      RECT r;
      layer->GetRect(&r);
      if (!SameRect(r, rc) || layer->GetFormat() != OLayer::myFORMAT_A16 || name != layer->GetName() ||
          (layer->GetFlags() & LYR_FLAG_PROTECT))
        break;
      if (ColourDistance(layer->GetColor(nullptr, nullptr), colour) < kPartitionTolerance) {
        if (outRow) *outRow = i;
        return layer;
      }
    }

    if (!CheckMemory(rc.right - rc.left, rc.bottom - rc.top, OLayer::myFORMAT_A16, -1)) return nullptr;
    GCompRef<OLayer> layer = NewLayer(rc.right - rc.left, rc.bottom - rc.top, OLayer::myFORMAT_A16, GetNewLayerID());
    layer->SetName(name.c_str());
    layer->SetColor(colour);
    layer->SetPosition(rc.left, rc.top, FALSE);
    const int selected = GetCurSel();
    const int row = AddLayer(source + 1, layer);
    if (row == -1) return nullptr;
    if (outRow) *outRow = row;
    LayerInfo info;
    layer->GetInfo(&info);
    GCompRef<OData> block =
        NewBlock(12 + LAYER_INFO_BYTES + kRecordNameUnits * 2 + 2, {uint32_t(selected), layer->GetID(), uint32_t(row)});
    WriteLayerInfo(block, info);
    WriteRecordName(block, layer->GetName(), false);
    WriteStep(LYR_UNDO_PARTITION, u"分区", {block});
    return layer;
  }
  GCATCH(kClass, u"::GetDestLayerByColor()", ->AppendArg(GArgUint(colour)))
}

int CMyListLayer::GetLayerEdges(std::vector<int>* xs, std::vector<int>* ys) const {
  OLayer* current = GetCurLayer();
  for (int i = 0; i < GetCount(); ++i) {
    OLayer* layer = GetLayer(i);
    if (layer != current && (layer->GetFlags() & LYR_FLAG_HIDDEN)) continue;
    RECT r;
    layer->GetRect(&r);
    if (xs) xs->insert(xs->end(), {int(r.left), int(r.right)});
    if (ys) ys->insert(ys->end(), {int(r.top), int(r.bottom)});
  }
  return GetCount();
}

void CMyListLayer::CleanupMaskLowBytes() {
  for (int i = GetCount() - 1; i >= 0; --i)
    if (GetLayer(i)->GetFormat() == OLayer::myFORMAT_A16) GetLayer(i)->CleanupLowByte();
}

void CMyListLayer::InvalidateSpace() {
  if (!m_pSpace) return;
  m_pSpace->InvalidateComposite();
  m_pSpace->InvalidateView();
}

void CMyListLayer::NotifySpace(DWORD code, OLayer* layer) {
  if (m_pSpace) m_pSpace->NotifyOperator(GetClassName(), code, layer);
}
