// The undo recorder: a history of steps, each written by its owner and executed by it.
#pragma once
#include <cstdint>

#include "GText.h"
#include "OComponent.h"
#include "OData.h"

struct OUndoStore;
struct OUndoRestore;

// The owner of a step: restores the state and writes the inverse step into the opposite store.
struct ODATA_EXPORT OUndoHandler : OComponent {
  // 0: the step is done, go on; 1: stop and keep the step.
  virtual int32_t Execute(OUndoRestore* restore, OUndoStore* opposite) = 0;
  virtual void AfterUndo() = 0;
};

// The writing side.
struct ODATA_EXPORT OUndoStore : OComponent {
  virtual void Begin(OUndoHandler* owner, uint32_t tag, GText* label) = 0;
  // Appends a block (null keeps an empty entry); returns its size.
  virtual size_t SetData(OData* data) = 0;
  virtual void SetObj(OBeing* obj) = 0;
  // newBranch: TRUE for a new edit, FALSE for the inverse step written by Execute.
  virtual void End(BOOL newBranch) = 0;
};

// The reading side, handed to Execute.
struct ODATA_EXPORT OUndoRestore : OComponent {
  virtual uint32_t Begin() = 0;
  virtual uint32_t GetTag() = 0;
  virtual GText* GetLabel() = 0;
  // The label object, passed on unchanged into the inverse step.
  GText* GetStepObject() { return GetLabel(); }
  // The next block, rewound, with a reference for the caller (null for an empty entry);
  // throws "!poData" when none is left.
  virtual OData* GetData() = 0;
  virtual OBeing* GetObj() = 0;
  virtual void End() = 0;
};

// The recorder is also a store (its store slots forward to the inner store).
struct ODATA_EXPORT OUndoRecorder : OUndoStore {
  virtual UINT GetStepCount() = 0;
  // Writes the label texts, newest first, at most n; returns the number written.
  virtual UINT CopyStepList(const char16_t** out, UINT n) = 0;
  virtual void SetLimits(UINT maxSteps, UINT inMemory) = 0;
  // Swaps old large steps out to files and steps near the top back in.
  virtual void ManageMemoryFile(const char16_t* prefix) = 0;
  virtual void Clear() = 0;
  virtual void ResetCounter() = 0;
  // 0 means the saved state.
  virtual int32_t GetCounter() = 0;
  // Runs up to steps steps through their owners; returns the steps undone.
  virtual UINT Undo(UINT steps, OUndoStore* opposite) = 0;
  // The steps the last Undo dropped unread: it stopped at a step whose swap file could not
  // be read back, and that step went with every older one. 0 when it dropped none.
  virtual UINT GetLostSteps() = 0;
};
