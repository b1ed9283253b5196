#include "XUndoRecorder.h"

#include <cerrno>
#include <cinttypes>
#include <utility>
#include <vector>

#include "odata/GError.h"
#include "platform/base/Files.h"
#include "platform/base/Sync.h"
#include "platform/base/Text.h"

namespace {

constexpr const char16_t* kClass = u"XUndoRecorder";
constexpr const char16_t* kStoreClass = u"XUndoRecorder::XUndoStore";
constexpr const char16_t* kRestoreClass = u"XUndoRecorder::XUndoRestore";
// The process's own swap folder in the temporary folder: tavrik-undo-<pid>-<random>.
constexpr const char16_t* kSwapFolderPrefix = u"tavrik-undo-";
// Undo waits up to 10 s for a step that is being moved or still in its file, looking every
// 5 ms: the flush thread brings a step back within its 25 ms rhythm, and a painter's undo
// should not wait out a coarser poll on top of that.
constexpr int kSwapWaitMs = 5;
constexpr int kMaxSwapWaits = 10000 / kSwapWaitMs;

// The entry SetData(null) leaves, so that later blocks keep their indices. It lives as long
// as the program; the restore side hands it out as null.
class UndoGap final : public OData {
 public:
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  size_t GetSize() override { return 0; }
  BYTE* GetBuffer() override { return nullptr; }
  void Rewind() override {}
  OData* Write(const void*, size_t cb) override {
    GVERIFY(cb == 0, u"!cbSize<=m_cbSize-m_cbSite");
    return this;
  }
  BYTE* Read(void*, size_t cb) override {
    GVERIFY(cb == 0, u"!cbSize<=m_cbSize-m_cbSite");
    return nullptr;
  }
  BYTE* GetFragment(UINT) override { return nullptr; }
  UINT GetFragmentCount() override { return 0; }
  size_t GetPosition() override { return 0; }
};
UndoGap g_gap;

// Clears the busy mark of a step when the swap thread is done with it, however it ends.
class BusyScope {
 public:
  BusyScope(GLock& lock, UndoBank* bank) : m_lock(lock), m_bank(bank) {}
  ~BusyScope() {
    GAutoLock hold(m_lock);
    m_bank->m_bBusy.store(false, std::memory_order_release);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  GLock& m_lock;
  GCompRef<UndoBank> m_bank;
};

class PinScope {
 public:
  explicit PinScope(UndoBank* bank) : m_bank(bank) { m_bank->m_bPinned.store(true); }
  ~PinScope() { m_bank->m_bPinned.store(false); }
  PinScope(const PinScope&) = delete;
  PinScope& operator=(const PinScope&) = delete;

 private:
  UndoBank* m_bank;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// UndoBank

UndoBank::UndoBank(OUndoHandler* owner, uint32_t tag, GText* label)
    : m_uTag(tag), m_cpOwner(owner), m_cpLabel(label) {}

UndoBank::~UndoBank() { CloseFile(true); }

void UndoBank::CloseFile(bool remove) {
  if (!m_hFile) return;
  std::fclose(m_hFile);
  m_hFile = nullptr;
  if (remove) plat::DeleteFile(m_strFile);
  m_strFile.clear();
}

bool UndoBank::SwapOut(const std::u16string& folder, const char16_t* prefix) {
  GVERIFY(0 == m_qDataSizes.size(), u"!0== pBank->m_qDataSizes.size()");
  // Only contiguous and fragmented blocks can be rebuilt; refuse anything else before a
  // file exists.
  m_listData.ForEach([](OData* pData) {
    if (pData != &g_gap && pData->GetFragmentCount() == 0 && pData->GetSize() != 0) {
      GCHECK(pData->GetBuffer());
    }
  });

  // A name nobody can foresee, never an existing file.
  std::u16string name;
  FILE* f = folder.empty() ? nullptr : plat::CreateUniqueFile(folder, prefix, &name);
  if (!f) return false;

  std::deque<UndoSeed> seeds;
  bool ok = true;
  m_listData.ForEach([&](OData* pData) {
    if (!ok) return;
    UndoSeed seed{0, 0, 0};
    if (pData == &g_gap) {
      seed.bEmpty = 1;
    } else {
      seed.cbData = pData->GetSize();
      seed.uDataFragmentCount = pData->GetFragmentCount();
      if (seed.uDataFragmentCount) {
        for (UINT i = 0; ok && i < seed.uDataFragmentCount; ++i) {
          ok = std::fwrite(pData->GetFragment(i), 1, NUVREL_FRAGMENT, f) == NUVREL_FRAGMENT;
        }
      } else if (seed.cbData) {
        ok = std::fwrite(pData->GetBuffer(), 1, size_t(seed.cbData), f) == seed.cbData;
      }
    }
    seeds.push_back(seed);
  });
  // A full disk may only show when the buffer goes out.
  if (ok) ok = std::fflush(f) == 0;
  if (!ok) {
    std::fclose(f);
    plat::DeleteFile(name);
    return false;
  }
  m_hFile = f;
  m_strFile = std::move(name);
  m_qDataSizes.swap(seeds);
  m_listData.RemoveAll();
  m_bSwapped.store(true, std::memory_order_release);
  return true;
}

bool UndoBank::SwapIn() {
  GVERIFY(0 == m_listData.GetCount(), u"!0== pBank->m_listData.GetCount()");
  if (!m_hFile || !plat::SeekFile(m_hFile, 0, SEEK_SET)) return false;
  // The step takes the blocks only when all of them were read.
  std::vector<GCompRef<OData>> blocks;
  blocks.reserve(m_qDataSizes.size());
  for (const UndoSeed& seed : m_qDataSizes) {
    if (seed.bEmpty) {
      blocks.emplace_back(&g_gap);
      continue;
    }
    GCompRef<OData> pData;
    if (seed.uDataFragmentCount) {
      pData = GNewFragmented(size_t(seed.cbData));
      GCHECK(pData->GetFragmentCount()==seed.uDataFragmentCount);
      for (UINT i = 0; i < seed.uDataFragmentCount; ++i) {
        if (std::fread(pData->GetFragment(i), 1, NUVREL_FRAGMENT, m_hFile) != NUVREL_FRAGMENT) return false;
      }
    } else {
      pData = GNewData(size_t(seed.cbData));
      if (seed.cbData && std::fread(pData->GetBuffer(), 1, size_t(seed.cbData), m_hFile) != seed.cbData) {
        return false;
      }
    }
    blocks.push_back(std::move(pData));
  }
  for (GCompRef<OData>& b : blocks) m_listData.Append(b.get());
  CloseFile(true);
  m_qDataSizes.clear();
  m_bSwapped.store(false, std::memory_order_release);
  return true;
}

// ---------------------------------------------------------------------------------------------
// XUndoRecorder

std::u16string XUndoRecorder::ProcessSwapFolder() {
  // Made once per process, readable by the user alone; the folders of processes that died
  // go first. The folder goes when the plug-in is unloaded or the process ends, whichever
  // comes first (its last file went with the last recorder).
  struct SwapFolder {
    std::u16string path;
    ~SwapFolder() {
      if (!path.empty()) plat::RemoveFolder(path);
    }
  };
  static const SwapFolder folder = [] {
    const std::u16string parent = plat::GetTempFolder();
    plat::RemoveStalePrivateFolders(parent, kSwapFolderPrefix);
    return SwapFolder{plat::CreatePrivateFolder(parent, kSwapFolderPrefix)};
  }();
  return folder.path;
}

XUndoRecorder::XUndoRecorder() : m_strTempFolder(ProcessSwapFolder()) {}

XUndoRecorder::~XUndoRecorder() = default;

void* XUndoRecorder::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OUndoRecorder") == 0) return static_cast<OUndoRecorder*>(this);
  if (plat::StrCmp(name, u"OUndoStore") == 0) return static_cast<OUndoStore*>(&m_xStore);
  if (plat::StrCmp(name, u"OUndoRestore") == 0) return static_cast<OUndoRestore*>(&m_xRestore);
  return nullptr;
}

void XUndoRecorder::SetSwapFolder(const std::u16string& folder) {
  GAutoLock lock(m_lock);
  m_strTempFolder = folder;
}

std::u16string XUndoRecorder::GetSwapFolder() {
  GAutoLock lock(m_lock);
  return m_strTempFolder;
}

void XUndoRecorder::CutLocked(GList<UndoBank>& dropped, uint32_t keep) {
  uint32_t i = 0;
  m_listSteps.ForEach([&](UndoBank* bank) {
    if (i++ >= keep) dropped.Append(bank);
  });
  m_listSteps.Truncate(keep);
}

UINT XUndoRecorder::DropFromLocked(GList<UndoBank>& dropped, UndoBank* bank) {
  uint32_t index = 0, at = UINT32_MAX;
  m_listSteps.ForEach([&](UndoBank* b) {
    if (b == bank) at = index;
    ++index;
  });
  if (at == UINT32_MAX) return 0;  // cleared meanwhile
  CutLocked(dropped, at);
  return index - at;
}

UINT XUndoRecorder::GetStepCount() {
  GAutoLock lock(m_lock);
  return m_listSteps.GetCount();
}

bool XUndoRecorder::IsMovingAStep() {
  GAutoLock lock(m_lock);
  bool moving = false;
  m_listSteps.ForEach([&](UndoBank* bank) { moving = moving || bank->IsBusy(); });
  return moving;
}

UINT XUndoRecorder::CopyStepList(const char16_t** out, UINT n) {
  if (!out) return 0;
  GAutoLock lock(m_lock);
  UINT written = 0;
  m_listSteps.ForEach([&](UndoBank* bank) {
    if (written >= n) return;
    out[written++] = bank->m_cpLabel ? bank->m_cpLabel->GetText() : u"";
  });
  return written;
}

void XUndoRecorder::SetLimits(UINT maxSteps, UINT inMemory) {
  GList<UndoBank> dropped;  // released after the lock
  GAutoLock lock(m_lock);
  m_uMaxSteps.store(maxSteps);
  m_uInMemory.store(inMemory);
  CutLocked(dropped, maxSteps);
}

void XUndoRecorder::Clear() {
  GList<UndoBank> dropped;  // released after the lock: closing swap files takes time
  GAutoLock lock(m_lock);
  CutLocked(dropped, 0);
  m_uCounter.store(UNDO_COUNTER_LOST);
  m_bFailed.store(false);
}

UndoBank* XUndoRecorder::PickForSwapLocked(bool& swapIn) {
  const UINT inMemory = m_uInMemory.load();
  UndoBank* pick = nullptr;
  UINT index = 0;
  m_listSteps.ForEach([&](UndoBank* bank) {
    UINT i = index++;
    if (pick || bank->IsBusy() || bank->m_bKeepInMemory.load() || bank->m_bUnreadable.load()) return;
    if (bank->IsSwapped()) {
      // A step Undo waits for comes back whatever its place.
      if (i < inMemory || bank->m_bPinned.load()) {
        pick = bank;
        swapIn = true;
      }
    } else if (i > inMemory && !bank->m_bPinned.load() && bank->m_cbTotal > UNDO_SWAP_MIN_BYTES) {
      pick = bank;
      swapIn = false;
    }
  });
  if (pick) pick->m_bBusy.store(true, std::memory_order_release);
  return pick;
}

void XUndoRecorder::ManageMemoryFile(const char16_t* prefix) {
  if (!prefix) prefix = u"";
  try {
    // One step at a time: the lock is held only to choose it, never during the file work,
    // so stores and undos go on meanwhile.
    for (;;) {
      GCompRef<UndoBank> bank;
      bool swapIn = false;
      std::u16string folder;
      {
        GAutoLock lock(m_lock);
        if (m_bFailed.load()) return;
        bank = PickForSwapLocked(swapIn);
        if (!bank) return;
        folder = m_strTempFolder;
      }
      // A step that could not go to a file stays in memory: history is never dropped for
      // want of a file. One whose file could not be read back is marked before it stops
      // being busy, so an Undo waiting for it sees why it never comes back.
      BusyScope busy(m_lock, bank.get());
      if (swapIn && !bank->SwapIn()) bank->m_bUnreadable.store(true);
      if (!swapIn && !bank->SwapOut(folder, prefix)) bank->m_bKeepInMemory.store(true);
    }
  } catch (GErrRecord* e) {
    m_bFailed.store(true);
    GTrace(e, kClass, u"::ManageMemoryFile()")->AppendArg(GArgStr(prefix));
    throw;
  }
}

UINT XUndoRecorder::Undo(UINT uStep, OUndoStore* opposite) {
  try {
    GVERIFY(uStep < 100, u"!uStep<100");
    if (m_bFailed.load()) Clear();
    m_uLostSteps.store(0);
    std::vector<GCompRef<OUndoHandler>> owners;
    GPtrTree seen;
    GList<UndoBank> dropped;  // released after the lock: closing swap files takes time
    UINT done = 0;
    for (UINT n = 0; n < uStep; ++n) {
      if (n) plat::Sleep(25);
      GCompRef<UndoBank> bank;
      {
        GAutoLock lock(m_lock);
        bank = m_listSteps.GetHead();
        if (!bank) break;
      }
      PinScope pin(bank.get());
      // The flush thread brings a swapped step back once it is pinned.
      auto waiting = [&] { return !bank->m_bUnreadable.load() && (bank->IsBusy() || bank->IsSwapped()); };
      for (int i = 0; i < kMaxSwapWaits && waiting(); ++i) plat::Sleep(kSwapWaitMs);
      if (bank->m_bUnreadable.load()) {
        // Nothing older can be undone past a step that is gone: the history ends here.
        GAutoLock lock(m_lock);
        m_uLostSteps.store(DropFromLocked(dropped, bank.get()));
        break;
      }
      if (bank->IsBusy() || bank->IsSwapped()) break;

      GCompRef<OUndoHandler> owner = bank->m_cpOwner;
      m_xRestore.m_cpBank = bank.get();
      m_xRestore.m_uNextData = m_xRestore.m_uNextObj = 0;
      int32_t result;
      try {
        result = owner->Execute(&m_xRestore, opposite);
      } catch (...) {
        m_xRestore.m_cpBank.Release();
        throw;
      }
      m_xRestore.m_cpBank.Release();
      if (result == 0) {
        {
          GAutoLock lock(m_lock);
          m_listSteps.Remove(bank.get());
        }
        if (seen.Insert(owner.get())) owners.push_back(owner);
        ++done;
      } else if (result == 1) {
        m_myState.store(myREADY);
        break;
      } else {
        GTHROW(u"UNKNOWN");
      }
    }
    for (GCompRef<OUndoHandler>& owner : owners) owner->AfterUndo();
    return done;
  } catch (GErrRecord* e) {
    m_bFailed.store(true);
    m_myState.store(myREADY);
    GTrace(e, kClass, u"::Undo()")->AppendArg(GArgUint(uStep));
    throw;
  } catch (...) {
    m_bFailed.store(true);
    m_myState.store(myREADY);
    throw;
  }
}

// ---------------------------------------------------------------------------------------------
// The store side

void XUndoRecorder::XUndoStore::Begin(OUndoHandler* owner, uint32_t tag, GText* label) {
  try {
    int32_t ready = XUndoRecorder::myREADY;
    if (!m_pOuter->m_myState.compare_exchange_strong(ready, XUndoRecorder::mySTORING)) {
      GTHROW(u"!m_pOuter->m_myState==XUndoRecorder::myREADY");
    }
    try {
      GCHECK(owner);
      m_cpBank = new UndoBank(owner, tag, label);
    } catch (...) {
      m_pOuter->m_myState.store(XUndoRecorder::myREADY);
      throw;
    }
  }
  GCATCH(kStoreClass, u"::Begin()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

size_t XUndoRecorder::XUndoStore::SetData(OData* data) {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::mySTORING, u"!m_pOuter->m_myState==XUndoRecorder::mySTORING");
    if (!data) {
      m_cpBank->m_listData.Append(&g_gap);
      return 0;
    }
    size_t cb = data->GetSize();
    m_cpBank->m_listData.Append(data);
    m_cpBank->m_cbTotal += cb;
    return cb;
  }
  GCATCH(kStoreClass, u"::SetData()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

void XUndoRecorder::XUndoStore::SetObj(OBeing* obj) {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::mySTORING, u"!m_pOuter->m_myState==XUndoRecorder::mySTORING");
    m_cpBank->m_listObj.Append(obj);
  }
  GCATCH(kStoreClass, u"::SetObj()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

void XUndoRecorder::XUndoStore::End(BOOL newBranch) {
  GList<UndoBank> dropped;  // released after the lock
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::mySTORING, u"!m_pOuter->m_myState==XUndoRecorder::mySTORING");
    GCompRef<UndoBank> bank = std::move(m_cpBank);
    m_pOuter->m_myState.store(XUndoRecorder::myREADY);
    // Wrap-around arithmetic, read as signed: a new edit after undoing past the saved state
    // can never lead back to 0.
    uint32_t counter = m_pOuter->m_uCounter.fetch_add(1) + 1;
    if (newBranch && int32_t(counter) < 1) m_pOuter->m_uCounter.store(UNDO_COUNTER_LOST);
    if (bank->m_cbTotal > UNDO_CLEAR_BYTES) m_pOuter->Clear();
    GAutoLock lock(m_pOuter->m_lock);
    m_pOuter->m_listSteps.PushFront(bank.get());
    m_pOuter->CutLocked(dropped, m_pOuter->m_uMaxSteps.load());
  }
  GCATCH(kStoreClass, u"::End()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

// ---------------------------------------------------------------------------------------------
// The restore side

uint32_t XUndoRecorder::XUndoRestore::Begin() {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::myREADY, u"!m_pOuter->m_myState==XUndoRecorder::myREADY");
    GCHECK(m_cpBank.IsValid());
    m_uNextData = 0;
    m_uNextObj = 0;
    m_pOuter->m_myState.store(XUndoRecorder::myRESTORING);
    return m_cpBank->m_uTag;
  }
  GCATCH(kRestoreClass, u"::Begin()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

uint32_t XUndoRecorder::XUndoRestore::GetTag() { return m_cpBank ? m_cpBank->m_uTag : 0; }

GText* XUndoRecorder::XUndoRestore::GetLabel() { return m_cpBank ? m_cpBank->m_cpLabel.get() : nullptr; }

OData* XUndoRecorder::XUndoRestore::GetData() {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::myRESTORING,
            u"!m_pOuter->m_myState==XUndoRecorder::myRESTORING");
    OData* poData = m_cpBank ? m_cpBank->m_listData.GetIndex(m_uNextData) : nullptr;
    GCHECK(poData);
    ++m_uNextData;
    if (poData == &g_gap) return nullptr;
    poData->Rewind();
    poData->AddRef();
    return poData;
  }
  GCATCH(kRestoreClass, u"::GetData()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

OBeing* XUndoRecorder::XUndoRestore::GetObj() {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::myRESTORING,
            u"!m_pOuter->m_myState==XUndoRecorder::myRESTORING");
    OBeing* poObj = m_cpBank ? m_cpBank->m_listObj.GetIndex(m_uNextObj) : nullptr;
    GCHECK(poObj);
    ++m_uNextObj;
    return poObj;
  }
  GCATCH(kRestoreClass, u"::GetObj()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}

void XUndoRecorder::XUndoRestore::End() {
  try {
    GVERIFY(m_pOuter->m_myState == XUndoRecorder::myRESTORING,
            u"!m_pOuter->m_myState==XUndoRecorder::myRESTORING");
    m_pOuter->m_myState.store(XUndoRecorder::myREADY);
    m_pOuter->m_uCounter.fetch_sub(1);
    m_cpBank.Release();
  }
  GCATCH(kRestoreClass, u"::End()", ->AppendArg(GArgInt(m_pOuter->m_myState.load())))
}
