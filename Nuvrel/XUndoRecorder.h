// The undo recorder "XUndoRecorder": a newest-first history of undo steps, the store and
// restore sides that write and read them, swapping of old large steps to files, and the
// undo run that hands each step to its owner.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "odata/GCompRef.h"
#include "odata/GList.h"
#include "odata/GLock.h"
#include "odata/GText.h"
#include "odata/OComponent.h"
#include "odata/OData.h"
#include "odata/OUndo.h"

// Steps of more than this many bytes may be swapped out to a file.
constexpr uint64_t UNDO_SWAP_MIN_BYTES = 0x200000;
// A step of more than this many bytes clears the history before it is stored.
constexpr uint64_t UNDO_CLEAR_BYTES = 0x10000000;
// The counter after Clear: far from 0 both ways, so the saved state never comes back.
constexpr uint32_t UNDO_COUNTER_LOST = 0x80000000u;

// One swapped-out data entry: its bytes, its fragment count (0: contiguous) and whether it
// was an empty entry.
struct UndoSeed {
  uint64_t cbData;
  uint32_t uDataFragmentCount;
  uint32_t bEmpty;
};

// One step: the owner and its tag, the label, the objects and the data blocks (in the order
// written). While swapped out the blocks live in the file and m_qDataSizes says how to
// rebuild them.
class UndoBank final : public OBeing {
 public:
  UndoBank(OUndoHandler* owner, uint32_t tag, GText* label);
  ~UndoBank() override;
  UndoBank(const UndoBank&) = delete;
  UndoBank& operator=(const UndoBank&) = delete;

  int32_t AddRef() override { return ++m_count; }
  int32_t Release() override {
    int32_t n = --m_count;
    if (n == 0) delete this;
    return n;
  }

  bool IsSwapped() const { return m_bSwapped.load(std::memory_order_acquire); }
  bool IsBusy() const { return m_bBusy.load(std::memory_order_acquire); }

  // Writes every block to a new file of an unforeseeable name in folder; false when the
  // file cannot be made or written, and the step is then left as it was.
  bool SwapOut(const std::u16string& folder, const char16_t* prefix);
  // Reads the blocks back and removes the file; false when a read fails (the step stays
  // swapped). Throws on a mismatching record or when memory runs out.
  bool SwapIn();

  std::atomic<int32_t> m_count{0};
  uint64_t m_cbTotal = 0;
  uint32_t m_uTag;
  FILE* m_hFile = nullptr;
  std::u16string m_strFile;
  GCompRef<OUndoHandler> m_cpOwner;
  GCompRef<GText> m_cpLabel;
  GList<OBeing> m_listObj;
  GList<OData> m_listData;
  std::deque<UndoSeed> m_qDataSizes;
  // Set while ManageMemoryFile moves the blocks; the mover alone touches them then.
  std::atomic<bool> m_bBusy{false};
  std::atomic<bool> m_bSwapped{false};
  // Set while Undo works on the step: it is never swapped out then.
  std::atomic<bool> m_bPinned{false};
  // Set once its file could not be made: the step stays in memory for good.
  std::atomic<bool> m_bKeepInMemory{false};
  // Set once its file could not be read back (cut short or damaged by someone else): the
  // step is lost, and the Undo that reaches it ends the history there.
  std::atomic<bool> m_bUnreadable{false};

 private:
  void CloseFile(bool remove);
};

class XUndoRecorder final : public GComponent<OUndoRecorder> {
 public:
  enum State : int32_t { myREADY = 1, mySTORING = 2, myRESTORING = 3 };

  XUndoRecorder();
  ~XUndoRecorder() override;

  // The recorder's own store slots go to the inner store.
  void Begin(OUndoHandler* owner, uint32_t tag, GText* label) override { m_xStore.Begin(owner, tag, label); }
  size_t SetData(OData* data) override { return m_xStore.SetData(data); }
  void SetObj(OBeing* obj) override { m_xStore.SetObj(obj); }
  void End(BOOL newBranch) override { m_xStore.End(newBranch); }

  UINT GetStepCount() override;
  UINT CopyStepList(const char16_t** out, UINT n) override;
  void SetLimits(UINT maxSteps, UINT inMemory) override;
  void ManageMemoryFile(const char16_t* prefix) override;
  void Clear() override;
  void ResetCounter() override { m_uCounter.store(0); }
  int32_t GetCounter() override { return int32_t(m_uCounter.load()); }
  UINT Undo(UINT steps, OUndoStore* opposite) override;
  UINT GetLostSteps() override { return m_uLostSteps.load(); }

  // The folder swap files go to, with a trailing separator (the temporary folder at first).
  void SetSwapFolder(const std::u16string& folder);
  // The process's private swap folder (empty when it could not be made: steps then stay in
  // memory); made by the first recorder, after the stale folders of dead processes went.
  static std::u16string ProcessSwapFolder();
  std::u16string GetSwapFolder();
  // True while some step is being written to its swap file or read back from it.
  bool IsMovingAStep();

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  class XUndoStore final : public OUndoStore {
   public:
    explicit XUndoStore(XUndoRecorder* outer) : m_pOuter(outer) {}
    int32_t AddRef() override { return m_pOuter->AddRef(); }
    int32_t Release() override { return m_pOuter->Release(); }
    void* GetInterface(const char16_t* name) override { return m_pOuter->GetInterface(name); }
    void Begin(OUndoHandler* owner, uint32_t tag, GText* label) override;
    size_t SetData(OData* data) override;
    void SetObj(OBeing* obj) override;
    void End(BOOL newBranch) override;

    XUndoRecorder* m_pOuter;
    // The step being written; it joins the history at End.
    GCompRef<UndoBank> m_cpBank;
  };

  class XUndoRestore final : public OUndoRestore {
   public:
    explicit XUndoRestore(XUndoRecorder* outer) : m_pOuter(outer) {}
    int32_t AddRef() override { return m_pOuter->AddRef(); }
    int32_t Release() override { return m_pOuter->Release(); }
    void* GetInterface(const char16_t* name) override { return m_pOuter->GetInterface(name); }
    uint32_t Begin() override;
    uint32_t GetTag() override;
    GText* GetLabel() override;
    OData* GetData() override;
    OBeing* GetObj() override;
    void End() override;

    XUndoRecorder* m_pOuter;
    // The step Undo hands to its owner, and the read positions in its lists.
    GCompRef<UndoBank> m_cpBank;
    uint32_t m_uNextData = 0;
    uint32_t m_uNextObj = 0;
  };

  // Cuts the history to the maximum under the lock; the dropped steps go to dropped so
  // their files are closed outside the lock.
  void CutLocked(GList<UndoBank>& dropped, uint32_t keep);
  // Under the lock: the step and every older one go to dropped; returns how many went.
  UINT DropFromLocked(GList<UndoBank>& dropped, UndoBank* bank);
  // Under the lock: the next step the walk must move, marked busy, or null.
  UndoBank* PickForSwapLocked(bool& swapIn);

  std::atomic<int32_t> m_myState{myREADY};
  GList<UndoBank> m_listSteps;  // newest first, guarded by m_lock
  std::atomic<bool> m_bFailed{false};
  std::atomic<UINT> m_uInMemory{4};
  std::atomic<UINT> m_uMaxSteps{24};
  std::atomic<uint32_t> m_uCounter{0};
  std::atomic<UINT> m_uLostSteps{0};  // what the last Undo dropped unread
  GLock m_lock;
  std::u16string m_strTempFolder;  // guarded by m_lock
  XUndoRestore m_xRestore{this};
  XUndoStore m_xStore{this};
};
