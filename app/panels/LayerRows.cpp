// What the layer bar's clicks and edits do to the rows: the flag columns, a dragged row
// dropped into a gap, a rename, a mask layer's colour and the property page's value edits,
// each written as one undo step of the list's.
#include <string>

#include "LayerRecords.h"
#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GLock.h"
#include "platform/base/Text.h"
#include "tools/Operation.h"

namespace {

constexpr const char16_t* kClass = u"CMyListLayer";
// The name record: row and ID, then the old and the new name field.
constexpr size_t kNameRecordBytes = 1024;

// The observer the property page reports a layer's value edits to: one step "属性" per edit
// that changed the value.
class XLayerModify final : public XModifyNotify {
 public:
  enum State { myMODIFING = 0, myMODIFYEND = 1 };
  explicit XLayerModify(CMyListLayer* list) : m_pList(list) {}

  void BeginModify(const PropertyItem* item, UINT index, OProperty* set) override {
    try {
      GVERIFY(m_myState == myMODIFYEND, u"!m_myState==myMODIFYEND");
      m_myState = myMODIFING;
      m_nIndex = int(index);
      m_nOld = item ? item->value : 0;
      m_poProperty = set;
    }
    GCATCH(u"CMyListLayer::XModifyNotify", u"::BeginModify()")
  }
  void Modifying(const PropertyItem*) override {
    try {
      GVERIFY(m_myState == myMODIFING, u"!m_myState==myMODIFING");
      if (CPaintSpace* space = m_pList->GetSpace()) space->RefreshInWorker(nullptr);
    }
    GCATCH(u"CMyListLayer::XModifyNotify", u"::Modifying()")
  }
  void EndModify(const PropertyItem* item, BOOL cancelled) override {
    try {
      GVERIFY(m_myState == myMODIFING, u"!m_myState==myMODIFING");
      m_myState = myMODIFYEND;
      const int index = m_nIndex;
      OProperty* set = m_poProperty;
      m_nIndex = -1;
      m_poProperty = nullptr;
      m_pList->InvalidateSpace();
      if (cancelled || !item || item->value == m_nOld) return;
      OLayer* layer = m_pList->GetCurLayer();
      GVERIFY(layer && layer->GetInterface(u"OProperty") == set, u"!poProperty==m_poProperty");
      m_pList->WriteStep(LYR_UNDO_PROPERTY, u"属性",
                         {NewBlock(LYR_RECORD_BLOCK, {uint32_t(m_pList->GetCurSel()), layer->GetID(), uint32_t(index),
                                                      uint32_t(m_nOld), uint32_t(item->value)})});
    }
    GCATCH(u"CMyListLayer::XModifyNotify", u"::EndModify()")
  }
  void FinishOperation() override {
    CPaintSpace* space = m_pList->GetSpace();
    if (space && space->GetCurOperator()) space->GetCurOperator()->FinishWork();
  }
  void InvalidateView() override {
    if (CPaintSpace* space = m_pList->GetSpace()) space->InvalidateView(FALSE);
  }

 private:
  CMyListLayer* m_pList;
  int m_myState = myMODIFYEND;
  int m_nIndex = -1;
  int32_t m_nOld = 0;
  OProperty* m_poProperty = nullptr;
};

}  // namespace

void CMyListLayer::ToggleFlag(int row, uint32_t flag) {
  try {
    OLayer* layer = GetLayer(row);
    if (!layer || !m_pSpace) return;
    if (flag != LYR_FLAG_HIDDEN && flag != LYR_FLAG_NEST && flag != LYR_FLAG_PROTECT && flag != LYR_FLAG_SOURCE) return;
    const uint32_t before = layer->GetFlags();
    // A nest needs a colour layer to clip into: without one the display would draw the layer
    // as if it were not nested, and the flag would only mislead. One already set may always go.
    if (flag == LYR_FLAG_NEST && !(before & LYR_FLAG_NEST) && GetNestBaseRow(row) < 0) return;
    int previous = -1;
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      if (flag == LYR_FLAG_SOURCE) {
        // The mark leaves the row that has it; it comes here unless it was here.
        previous = ClearSourceMark(FALSE);
        if (!(before & LYR_FLAG_SOURCE)) layer->SetFlags(layer->GetFlags() | LYR_FLAG_SOURCE);
      } else {
        layer->SetFlags(before ^ flag);
      }
    }
    if (previous >= 0 && previous != row) RedrawItem(previous);
    RedrawItem(row);
    NotifySpace(myNOTIFY_FLAGS | flag, layer);
    if (flag == LYR_FLAG_HIDDEN || flag == LYR_FLAG_NEST) InvalidateSpace();
    WriteStep(LYR_UNDO_FLAGS, u"标记",
              {NewBlock(LYR_RECORD_BLOCK,
                        {uint32_t(row), layer->GetID(), before, layer->GetFlags(), uint32_t(previous)})});
  }
  GCATCH(kClass, u"::ToggleFlag()", ->AppendArg(GArgInt(row)))
}

void CMyListLayer::SetCurLayerAsSource() {
  OLayer* layer = GetCurLayer();
  if (layer && layer->GetFormat() == OLayer::myFORMAT_A16) ToggleFlag(GetCurSel(), LYR_FLAG_SOURCE);
}

BOOL CMyListLayer::MoveRowToGap(int from, int gap) {
  try {
    const int n = GetCount();
    if (!m_pSpace || from < 0 || from >= n || gap < 0 || gap > n) return FALSE;
    const int to = from < gap ? gap - 1 : gap;
    if (to == from) return FALSE;
    OLayer* layer = GetLayer(from);
    const UINT id = layer->GetID();
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      if (!MoveLayer(from, to)) return FALSE;
    }
    WriteStep(LYR_UNDO_ORDER, u"排序", {NewBlock(LYR_RECORD_BLOCK, {uint32_t(to), uint32_t(from), id})});
    InvalidateSpace();
    return TRUE;
  }
  GCATCH(kClass, u"::MoveRowToGap()", ->AppendArg(GArgInt(from))->AppendArg(GArgInt(gap)))
}

BOOL CMyListLayer::RenameLayer(int row, const std::u16string& name) {
  try {
    OLayer* layer = GetLayer(row);
    if (!layer || !m_pSpace) return FALSE;
    const std::u16string kept(plat::CutText(name, LYR_NAME_MAX));
    const std::u16string old = layer->GetName() ? layer->GetName() : u"";
    if (kept.empty() || kept == old) return FALSE;
    GCompRef<OData> block = NewBlock(kNameRecordBytes, {uint32_t(row), layer->GetID()});
    WriteNameField(block, old.c_str(), LYR_RECORD_NAME_CHARS, LYR_RECORD_NAME_BYTES);
    WriteNameField(block, kept.c_str(), LYR_RECORD_NAME_CHARS, LYR_RECORD_NAME_BYTES);
    WriteStep(LYR_UNDO_NAME, u"名称", {block});
    layer->SetName(kept.c_str());
    RedrawItem(row);
    return TRUE;
  }
  GCATCH(kClass, u"::RenameLayer()", ->AppendArg(GArgInt(row)))
}

void CMyListLayer::SetCurLayerColor(COLORREF colour) {
  try {
    OLayer* layer = GetCurLayer();
    if (!layer || !m_pSpace || layer->GetFormat() != OLayer::myFORMAT_A16) return;
    const uint32_t old = layer->GetColor(nullptr, nullptr);
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      layer->SetColor(colour);
    }
    WriteStep(LYR_UNDO_COLOR, u"颜色",
              {NewBlock(LYR_RECORD_BLOCK, {uint32_t(GetCurSel()), layer->GetID(), old, uint32_t(colour)})});
    InvalidateSpace();
    RedrawItem(GetCurSel());
  }
  GCATCH(kClass, u"::SetCurLayerColor()")
}

XModifyNotify* CMyListLayer::GetModifyNotify() {
  if (!m_pModifyNotify) m_pModifyNotify = std::make_unique<XLayerModify>(this);
  return m_pModifyNotify.get();
}
