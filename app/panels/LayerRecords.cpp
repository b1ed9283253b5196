// The layer list's undo steps: how they are written, the two executors' common frame, the
// helpers every record type shares, and the attribute records (flags, property, name,
// colour). The row records live in LayerRecordsRows.cpp, the per-format ones in
// LayerRecordsFormat.cpp.
#include <algorithm>
#include <cstring>
#include <vector>

#include "HeldLayerBlock.h"
#include "LayerRecords.h"
#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GText.h"
#include "platform/base/Text.h"

namespace {
constexpr const char16_t* kClass = u"CMyListLayer";
}  // namespace

GCompRef<OData> CMyListLayer::StepRun::Next() {
  GCompRef<OData> block = Adopt(restore->GetData());
  GVERIFY(block, u"!poData");
  // A block is read from its start whichever side fetched it last.
  block->Rewind();
  return block;
}

void CMyListLayer::StepRun::Inverse(std::initializer_list<OData*> blocks) { Inverse(std::vector<OData*>(blocks)); }

void CMyListLayer::StepRun::Inverse(const std::vector<OData*>& blocks) {
  opposite->Begin(other, type, restore->GetStepObject());
  for (OData* b : blocks) opposite->SetData(b);
  opposite->End(FALSE);
}

void CMyListLayer::WriteStep(uint32_t type, const char16_t* label, std::initializer_list<OData*> blocks) {
  WriteStep(type, label, std::vector<OData*>(blocks));
}

void CMyListLayer::WriteStep(uint32_t type, const char16_t* label, const std::vector<OData*>& blocks) {
  try {
    GVERIFY(m_pSpace && m_pSpace->GetUndoStore() && m_pSpace->GetRedoStore(), u"!m_pPaintSpace");
    m_pSpace->GetRedoStore()->Clear();
    GCompRef<GText> text = GNewText(label ? label : u"");
    OUndoRecorder* undo = m_pSpace->GetUndoStore();
    undo->Begin(&m_xUndoInner, type, text);
    for (OData* b : blocks) undo->SetData(b);
    undo->End(TRUE);
  }
  GCATCH(kClass, u"::WriteStep()", ->AppendArg(GArgUint(type)))
}

OLayer* CMyListLayer::CheckedLayer(int index, UINT id, const char16_t* condition) const {
  OLayer* layer = GetLayer(index);
  GVERIFY(layer && layer->GetID() == id, condition);
  return layer;
}

GCompRef<OLayer> CMyListLayer::Rebuild(OData* backup) {
  GVERIFY(backup, u"!poData");
  GCompRef<OLayer> layer = CHeldLayerBlock::HeldLayer(backup);
  if (layer) {
    // The layer itself comes back, as it left its row; what happened to it since is forgotten.
    layer->PAT_MarkReset();
  } else {
    layer = NewInterface<OLayer>(m_pSystem, u"Morvane", u"OLayer__");
    GVERIFY(layer.IsValid(), u"!cpLayer.IsValid()");
    backup->Rewind();
    GVERIFY(layer->Restore(backup, m_pDevice), u"!cpLayer->Restore(poData,m_pShowDevice)");
  }
  layer->AddChangeFlags(LYR_CHANGE_NEW);
  layer->PAT_MarkSet(nullptr, nullptr);
  return layer;
}

GCompRef<OLayer> CMyListLayer::NewLayer(int width, int height, int format, UINT id) {
  GVERIFY(m_pDevice, u"!m_pShowDevice");
  GCompRef<OLayer> layer(m_pDevice->CreateLayer(width, height, format, id));
  GVERIFY(layer.IsValid(), u"!cpLayer.IsValid()");
  return layer;
}

int32_t CMyListLayer::XUndoInner::Execute(OUndoRestore* restore, OUndoStore* opposite) {
  try {
    StepRun run{restore, opposite, m_pList->GetUndoHandler(!m_bRedo), restore->Begin(), m_bRedo};
    switch (run.type) {
      case LYR_UNDO_CREATE2:
        break;
      case LYR_UNDO_PASTE:
      case LYR_UNDO_CREATE:
      case LYR_UNDO_DELETE:
      case LYR_UNDO_MERGE:
      case LYR_UNDO_MERGEMASK:
      case LYR_UNDO_MERGENEST:
      case LYR_UNDO_ORDER:
      case LYR_UNDO_PARTITION:
        if (m_pList->ExecuteRowStep(run) == 1) return 1;
        break;
      case LYR_UNDO_MASK:
      case LYR_UNDO_TOC32:
      case LYR_UNDO_TOA16:
      case LYR_UNDO_CLEAR:
      case LYR_UNDO_INVERT:
      case LYR_UNDO_ROTATE:
      case LYR_UNDO_ROTATE90:
      case LYR_UNDO_ROTATE180:
      case LYR_UNDO_ROTATE270:
      case LYR_UNDO_FLIPH:
      case LYR_UNDO_FLIPV:
      case LYR_UNDO_SCALE:
        if (m_pList->ExecuteFormatStep(run) == 1) return 1;
        break;
      case LYR_UNDO_FLAGS:
      case LYR_UNDO_PROPERTY:
      case LYR_UNDO_NAME:
      case LYR_UNDO_COLOR:
        m_pList->ExecuteAttributeStep(run);
        break;
      default:
        GTHROW(u"Should not get here!");
    }
    restore->End();
    return 0;
  }
  GCATCH(m_bRedo ? u"CMyListLayer::XRedoInner" : u"CMyListLayer::XUndoInner", u"::Execute()")
}

void CMyListLayer::XUndoInner::AfterUndo() { m_pList->RowsChanged(); }

// Flags, a property value, the name and the display colour: the layer stays in its row and
// the selection stays where BeginSpaceUndo found it.
int32_t CMyListLayer::ExecuteAttributeStep(StepRun& run) {
  GCompRef<OData> block = run.Next();
  // A block read back from a swap file must hold every field before any is used.
  const size_t need = run.type == LYR_UNDO_NAME    ? 8 + 2 * LYR_RECORD_NAME_BYTES
                      : run.type == LYR_UNDO_COLOR ? 16
                                                   : 20;
  GVERIFY(block->GetSize() >= need, u"!poData->GetSize()>=nSize");
  uint32_t f[2];
  ReadFields(block, f, 2);
  const int index = int32_t(f[0]);
  OLayer* layer = CheckedLayer(index, f[1], u"!(UINT)nID==poLayer->GetID()");
  switch (run.type) {
    case LYR_UNDO_FLAGS: {
      uint32_t g[3];
      ReadFields(block, g, 3);
      layer->SetFlags(run.redo ? g[1] : g[0]);
      // The row that lost the source mark gets it back on undo and loses it again on redo.
      if (OLayer* other = int32_t(g[2]) == -1 ? nullptr : GetLayer(int32_t(g[2]))) {
        const uint32_t flags = other->GetFlags();
        other->SetFlags(run.redo ? flags & ~LYR_FLAG_SOURCE : flags | LYR_FLAG_SOURCE);
        RedrawItem(int32_t(g[2]));
      }
      break;
    }
    case LYR_UNDO_PROPERTY: {
      uint32_t g[3];
      ReadFields(block, g, 3);
      auto* set = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
      GVERIFY(set, u"!poProperty");
      set->SetValue(g[0], int32_t(run.redo ? g[2] : g[1]));
      break;
    }
    case LYR_UNDO_NAME: {
      char16_t names[2][LYR_RECORD_NAME_UNITS + 1] = {};
      for (auto& name : names) block->Read(name, LYR_RECORD_NAME_BYTES);
      layer->SetName(names[run.redo ? 1 : 0]);
      break;
    }
    case LYR_UNDO_COLOR: {
      uint32_t g[2];
      ReadFields(block, g, 2);
      // The old colour was read with GetColor; the new one is what the step stored.
      layer->SetColor(run.redo ? g[1] : StoredColour(g[0]));
      break;
    }
    default:
      GTHROW(u"Should not get here!");
  }
  MarkChanged(index);
  run.Inverse({block});
  return 0;
}

void WriteNameField(OData* block, const char16_t* name, size_t maxUnits, size_t fieldBytes) {
  std::vector<char16_t> field(fieldBytes / 2, u'\0');
  const std::u16string_view kept = plat::CutText(name ? name : u"", std::min(maxUnits, field.size()));
  std::copy(kept.begin(), kept.end(), field.begin());
  block->Write(field.data(), fieldBytes);
}

void WriteLayerInfo(OData* block, const LayerInfo& info) {
  LayerInfo stored = info;
  stored.dwReserved = 0;
  BYTE b[LAYER_INFO_BYTES];
  StoreLayerInfo(stored, b);
  block->Write(b, sizeof b);
}

LayerInfo ReadLayerInfo(OData* block) {
  BYTE b[LAYER_INFO_BYTES] = {};
  block->Read(b, sizeof b);
  return LoadLayerInfo(b);
}
