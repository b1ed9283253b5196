// TEMPORARY, for this branch alone: the few row services the per-format operations call,
// until the rows' own LayerServices.cpp is merged. Same behaviour; drop this file then.
#include "MyListLayer.h"
#include "core/PaintSpace.h"

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

void CMyListLayer::InvalidateSpace() {
  if (!m_pSpace) return;
  m_pSpace->InvalidateComposite();
  m_pSpace->InvalidateView();
}

void CMyListLayer::NotifySpace(DWORD code, OLayer* layer) {
  if (m_pSpace) m_pSpace->NotifyOperator(GetClassName(), code, layer);
}
