// The undo steps of the tools, in the one shape every tool writes and replays:
//   owner   the tool's undo part in the undo store, its redo part in the redo store
//   tag     the tool's own small number (1 for its main edit)
//   label   the text the history shows
//   data 1  the field block: int32 nSel (the layer's row), uint32 layer ID, the tool's fields
//   data 2… the pixel data the layer's transaction gave (PAT_Backup, PAT_Undo ...)
// Fields are fixed-width little-endian. The layer is found again by its row and checked by its
// ID, so that a step never lands on another layer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"
#include "odata/OUndo.h"
#include "platform/base/Types.h"

class CPaintSpace;
class COperation;

// A finished edit of one layer, written into the undo store.
class CToolUndoWriter {
 public:
  // The edited layer must be the layer list's current row; otherwise the tool's own
  // assertion text is thrown. capacity: the field block's fixed size in bytes.
  CToolUndoWriter(CPaintSpace* space, OLayer* layer, const char16_t* assertion, size_t capacity = 128);
  // The same for the layer at a given row (a tool that holds its layer while the selection
  // may move on).
  CToolUndoWriter(CPaintSpace* space, int row, OLayer* layer, const char16_t* assertion, size_t capacity = 128);
  CToolUndoWriter(const CToolUndoWriter&) = delete;
  CToolUndoWriter& operator=(const CToolUndoWriter&) = delete;

  int GetSel() const { return m_nSel; }
  // The tool's fields, after nSel and the ID.
  CToolUndoWriter& WriteInt(int32_t v) { return WriteUInt(uint32_t(v)); }
  CToolUndoWriter& WriteUInt(uint32_t v);
  CToolUndoWriter& WriteFloat(float v);
  // Pixel data in the order it is stored (null keeps an empty entry); a reference is held.
  CToolUndoWriter& AddData(OData* block);
  // Clears the redo store and records the step: Begin(owner, tag, label), the field block,
  // the pixel data, End(TRUE).
  void Commit(OUndoHandler* owner, uint32_t tag, const char16_t* label);

 private:
  CPaintSpace* m_pSpace;
  int m_nSel;
  GCompRef<OData> m_cpFields;
  std::vector<GCompRef<OData>> m_data;
};

// One step being executed by a tool's undo or redo part: its tag, its layer (found and
// checked), the tool's fields and data in the order written, and the inverse data the tool
// adds for the opposite step.
class CToolUndoReplay {
 public:
  // Begins the step, reads nSel and the ID and finds the layer; throws
  // "!(UINT)nID==poLayer->GetID()" when that row holds another layer (or none).
  CToolUndoReplay(CPaintSpace* space, OUndoRestore* step, BOOL redo);
  CToolUndoReplay(const CToolUndoReplay&) = delete;
  CToolUndoReplay& operator=(const CToolUndoReplay&) = delete;

  uint32_t GetTag() const { return m_uTag; }
  BOOL IsRedo() const { return m_bRedo; }
  int GetSel() const { return m_nSel; }
  OLayer* GetLayer() const { return m_pLayer; }
  CPaintSpace* GetSpace() const { return m_pSpace; }

  int32_t ReadInt() { return int32_t(ReadUInt()); }
  uint32_t ReadUInt();
  float ReadFloat();
  // The next stored data block (the replay holds the reference); null for an empty entry.
  OData* NextData();
  // Inverse data for the opposite step, in order (a reference is held).
  void AddInverse(OData* block);
  // The next stored blocks of a paint transaction put back into the layer (PAT_Undo, or
  // PAT_Redo for a redo, under the drawing lock); the blocks they replaced become the inverse.
  void ReplayBlocks();
  // 1: a worker job the step ran was cancelled; the step stays and nothing is written.
  void SetCancelled() { m_nResult = 1; }
  int32_t GetResult() const { return m_nResult; }
  // Writes the opposite step (the same tag, label and field block, then the inverse data),
  // tells the list the row changed and ends the step.
  void Finish(OUndoStore* opposite, OUndoHandler* sibling);

 private:
  CPaintSpace* m_pSpace;
  OUndoRestore* m_pStep;
  BOOL m_bRedo;
  uint32_t m_uTag = 0;
  int m_nSel = -1;
  OLayer* m_pLayer = nullptr;
  int32_t m_nResult = 0;
  GCompRef<OData> m_cpFields;
  std::vector<GCompRef<OData>> m_data;
  std::vector<GCompRef<OData>> m_inverse;
};

// A handler part of a tool (XUndoInner owns the steps of the undo store, XRedoInner those of
// the redo store); counting and GetInterface are the tool's.
class XToolUndoPart final : public OUndoHandler {
 public:
  XToolUndoPart(COperation* tool, BOOL redo) : m_pTool(tool), m_bRedo(redo) {}
  XToolUndoPart(const XToolUndoPart&) = delete;
  XToolUndoPart& operator=(const XToolUndoPart&) = delete;

  int32_t AddRef() override;
  int32_t Release() override;
  void* GetInterface(const char16_t* name) override;
  // The tool's ExecuteUndoStep with the sibling part as the opposite step's owner.
  int32_t Execute(OUndoRestore* step, OUndoStore* opposite) override;
  void AfterUndo() override {}

  void SetSibling(XToolUndoPart* sibling) { m_pSibling = sibling; }

 private:
  COperation* m_pTool;
  XToolUndoPart* m_pSibling = nullptr;
  BOOL m_bRedo;
};

// The two parts every tool that records steps declares.
struct CToolUndoParts {
  explicit CToolUndoParts(COperation* tool) : m_xUndoInner(tool, FALSE), m_xRedoInner(tool, TRUE) {
    m_xUndoInner.SetSibling(&m_xRedoInner);
    m_xRedoInner.SetSibling(&m_xUndoInner);
  }
  XToolUndoPart m_xUndoInner;
  XToolUndoPart m_xRedoInner;
};
