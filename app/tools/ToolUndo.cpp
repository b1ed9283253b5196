#include "ToolUndo.h"

#include <cstring>

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GText.h"
#include "odata/LittleEndian.h"
#include "panels/MyListLayer.h"
#include "tools/Operation.h"

namespace {

constexpr const char16_t* kWriter = u"CToolUndoWriter";
constexpr const char16_t* kReplay = u"CToolUndoReplay";

// A block handed over with a reference for the caller.
GCompRef<OData> Adopt(OData* block) {
  GCompRef<OData> r;
  r.m_ptr = block;
  return r;
}

uint32_t FloatBits(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writing

CToolUndoWriter::CToolUndoWriter(CPaintSpace* space, OLayer* layer, const char16_t* assertion, size_t capacity)
    : CToolUndoWriter(space, space->m_pwndListLayer ? space->m_pwndListLayer->GetCurSel() : -1, layer, assertion,
                      capacity) {}

CToolUndoWriter::CToolUndoWriter(CPaintSpace* space, int row, OLayer* layer, const char16_t* assertion,
                                 size_t capacity)
    : m_pSpace(space), m_nSel(row) {
  try {
    CMyListLayer* list = space->m_pwndListLayer;
    GVERIFY(list, u"!m_pPaintSpace->m_pwndListLayer");
    GVERIFY(layer && layer == list->GetLayer(m_nSel), assertion);
    m_cpFields = GNewData(capacity);
    WriteInt(m_nSel);
    WriteUInt(layer->GetID());
  }
  GCATCH(kWriter, u"::CToolUndoWriter()", ->AppendArg(GArgInt(m_nSel)))
}

CToolUndoWriter& CToolUndoWriter::WriteUInt(uint32_t v) {
  BYTE b[4];
  PutLE32(b, v);
  m_cpFields->Write(b, sizeof b);
  return *this;
}

CToolUndoWriter& CToolUndoWriter::WriteFloat(float v) { return WriteUInt(FloatBits(v)); }

CToolUndoWriter& CToolUndoWriter::AddData(OData* block) {
  m_data.emplace_back(block);
  return *this;
}

void CToolUndoWriter::Commit(OUndoHandler* owner, uint32_t tag, const char16_t* label) {
  try {
    m_pSpace->GetRedoStore()->Clear();
    GCompRef<GText> text = GNewText(label ? label : u"");
    OUndoRecorder* store = m_pSpace->GetUndoStore();
    store->Begin(owner, tag, text);
    store->SetData(m_cpFields);
    for (const GCompRef<OData>& block : m_data) store->SetData(block);
    store->End(TRUE);
  }
  GCATCH(kWriter, u"::Commit()", ->AppendArg(GArgUint(tag)))
}

// ---------------------------------------------------------------------------------------------
// Executing

CToolUndoReplay::CToolUndoReplay(CPaintSpace* space, OUndoRestore* step, BOOL redo)
    : m_pSpace(space), m_pStep(step), m_bRedo(redo) {
  try {
    m_uTag = step->Begin();
    m_cpFields = Adopt(step->GetData());
    GVERIFY(m_cpFields, u"!poData");
    m_nSel = ReadInt();
    const UINT nID = ReadUInt();
    OLayer* poLayer = space->m_pwndListLayer ? space->m_pwndListLayer->GetLayer(m_nSel) : nullptr;
    GVERIFY(poLayer && nID == poLayer->GetID(), u"!(UINT)nID==poLayer->GetID()");
    m_pLayer = poLayer;
  }
  GCATCH(kReplay, u"::CToolUndoReplay()", ->AppendArg(GArgUint(m_uTag))->AppendArg(GArgInt(m_nSel)))
}

uint32_t CToolUndoReplay::ReadUInt() {
  BYTE b[4];
  m_cpFields->Read(b, sizeof b);
  return GetLE32(b);
}

float CToolUndoReplay::ReadFloat() {
  const uint32_t bits = ReadUInt();
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

OData* CToolUndoReplay::NextData() {
  m_data.push_back(Adopt(m_pStep->GetData()));
  return m_data.back().get();
}

void CToolUndoReplay::AddInverse(OData* block) { m_inverse.emplace_back(block); }

void CToolUndoReplay::ReplayBlocks() {
  m_pLayer->AddChangeFlags(LYR_CHANGE_PIXELS);
  OData* data = NextData();
  // The paint space runs every step under its drawing lock.
  GCompRef<OData> inverse = m_bRedo ? m_pLayer->PAT_Redo(data) : m_pLayer->PAT_Undo(data);
  AddInverse(inverse);
}

void CToolUndoReplay::Finish(OUndoStore* opposite, OUndoHandler* sibling) {
  opposite->Begin(sibling, m_uTag, m_pStep->GetStepObject());
  opposite->SetData(m_cpFields);
  for (const GCompRef<OData>& block : m_inverse) opposite->SetData(block);
  opposite->End(FALSE);
  m_pSpace->m_pwndListLayer->MarkChanged(m_nSel);
  m_pStep->End();
}

// ---------------------------------------------------------------------------------------------
// The handler parts

int32_t XToolUndoPart::AddRef() { return m_pTool->AddRef(); }

int32_t XToolUndoPart::Release() { return m_pTool->Release(); }

void* XToolUndoPart::GetInterface(const char16_t* name) { return m_pTool->GetInterface(name); }

int32_t XToolUndoPart::Execute(OUndoRestore* step, OUndoStore* opposite) {
  try {
    return m_pTool->ExecuteUndoStep(step, opposite, m_pSibling, m_bRedo);
  }
  GCATCH(m_pTool->GetClassName(), m_bRedo ? u"::XRedoInner::Execute()" : u"::XUndoInner::Execute()")
}

int32_t COperation::ExecuteUndoStep(OUndoRestore* step, OUndoStore* opposite, OUndoHandler* sibling, BOOL redo) {
  CToolUndoReplay replay(m_pPaintSpace, step, redo);
  if (!ApplyUndoStep(replay)) GTHROW(u"Should not get here!");
  if (replay.GetResult() == 0) replay.Finish(opposite, sibling);
  return replay.GetResult();
}
