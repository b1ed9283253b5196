// The undo recorder: store and restore states, the history's order and depth, the
// modification counter, swapping to files and the undo run.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "XUndoRecorder.h"
#include "common/FakeSystem.h"
#include "odata/GError.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 0x100000;

// The count of an object the caller holds.
int32_t Refs(OBeing* o) {
  int32_t n = o->AddRef();
  o->Release();
  return n - 1;
}

struct Caught {
  bool thrown = false;
  std::u16string condition;
  std::u16string text;
};

template <class F>
Caught CatchErr(F&& f) {
  Caught c;
  try {
    f();
  } catch (GErrRecord* e) {
    c.thrown = true;
    c.condition = e->GetCondition();
    std::u16string buf(0x8000, u'\0');
    buf.resize(e->CopyText(buf.data(), 0x8000));
    c.text = buf;
    e->AddRef();
    e->Release();
  }
  return c;
}

bool Contains(const std::u16string& text, const char16_t* piece) { return text.find(piece) != std::u16string::npos; }

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 131 + seed * 7 + (i >> 20) * 13);
  return v;
}

GCompRef<OData> MakeBlock(size_t n, uint32_t seed) {
  GCompRef<OData> d = GNewData(n);
  std::vector<uint8_t> p = Pattern(n, seed);
  if (n) d->Write(p.data(), n);
  return d;
}

// Filled in pieces that straddle the 1 MiB borders.
GCompRef<OData> MakeFragmented(size_t n, uint32_t seed) {
  GCompRef<OData> d = (new NuvrelFragmented())->Init(n);
  std::vector<uint8_t> p = Pattern(n, seed);
  for (size_t at = 0; at < n; at += 700001) d->Write(p.data() + at, std::min<size_t>(700001, n - at));
  return d;
}

std::vector<uint8_t> ReadAll(OData* d) {
  std::vector<uint8_t> v(d->GetSize());
  d->Rewind();
  if (!v.empty()) d->Read(v.data(), v.size());
  return v;
}

// A block that only claims a size, for the history-clearing limit.
class HugeData final : public OData {
 public:
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override {
    int32_t n = --m_refs;
    if (n == 0) delete this;
    return n;
  }
  size_t GetSize() override { return UNDO_CLEAR_BYTES + 1; }
  BYTE* GetBuffer() override { return nullptr; }
  void Rewind() override {}
  OData* Write(const void*, size_t) override { return this; }
  BYTE* Read(void*, size_t) override { return nullptr; }
  BYTE* GetFragment(UINT) override { return nullptr; }
  UINT GetFragmentCount() override { return 0; }
  size_t GetPosition() override { return 0; }

 private:
  std::atomic<int32_t> m_refs{0};
};

// An owner that counts its calls. By default it opens and closes the step and consumes it.
class TestHandler final : public OUndoHandler {
 public:
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  void* GetInterface(const char16_t*) override { return nullptr; }
  int32_t Execute(OUndoRestore* restore, OUndoStore* opposite) override {
    ++executed;
    if (onExecute) return onExecute(restore, opposite);
    restore->Begin();
    restore->End();
    return 0;
  }
  void AfterUndo() override { ++afterUndo; }

  std::function<int32_t(OUndoRestore*, OUndoStore*)> onExecute;
  std::atomic<int32_t> refs{0};
  int executed = 0;
  int afterUndo = 0;
};

class UndoRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sys.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
    std::random_device rd;
    m_folder = fs::temp_directory_path() / ("undo_test_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(m_folder);
    m_rec = NewRecorder();
    m_opp = NewRecorder();
  }
  void TearDown() override {
    if (m_rec) m_rec->Release();
    if (m_opp) m_opp->Release();
    EXPECT_EQ(m_sys.Entry(u"XUndoRecorder")->Refs(), 0);
    EXPECT_EQ(m_handler.refs, 0);
    EXPECT_EQ(m_other.refs, 0);
    std::error_code ec;
    fs::remove_all(m_folder, ec);
  }

  XUndoRecorder* NewRecorder(bool ownFolder = true) {
    OComponent* c = m_sys.NewObj(u"XUndoRecorder", nullptr);
    auto* r = static_cast<OUndoRecorder*>(c->GetInterface(u"OUndoRecorder"));
    r->AddRef();
    auto* x = static_cast<XUndoRecorder*>(r);
    if (ownFolder) x->SetSwapFolder(OwnFolder());
    return x;
  }

  std::u16string OwnFolder() const { return plat::FromUtf8(m_folder.string() + "/"); }

  static void Store(OUndoStore* s, TestHandler& h, const std::vector<OData*>& blocks,
                    const char16_t* label = u"step", uint32_t tag = 1, BOOL newBranch = TRUE) {
    s->Begin(&h, tag, GNewText(label));
    for (OData* d : blocks) s->SetData(d);
    s->End(newBranch);
  }
  void StoreSmall(int n = 1) {
    for (int i = 0; i < n; ++i) Store(m_rec, m_handler, {MakeBlock(16, 0).get()});
  }

  std::vector<fs::path> SwapFiles() const {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(m_folder)) files.push_back(e.path());
    return files;
  }

  FakeSystem m_sys;
  TestHandler m_handler;
  TestHandler m_other;
  fs::path m_folder;
  XUndoRecorder* m_rec = nullptr;
  XUndoRecorder* m_opp = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Interfaces and states

TEST_F(UndoRecorderTest, InnerInterfacesForwardToTheRecorder) {
  auto* store = static_cast<OUndoStore*>(m_rec->GetInterface(u"OUndoStore"));
  auto* restore = static_cast<OUndoRestore*>(m_rec->GetInterface(u"OUndoRestore"));
  ASSERT_NE(store, nullptr);
  ASSERT_NE(restore, nullptr);
  EXPECT_NE(static_cast<void*>(store), static_cast<void*>(static_cast<OUndoStore*>(m_rec)));
  EXPECT_EQ(m_rec->GetInterface(u"OUndoRecorder"), static_cast<OUndoRecorder*>(m_rec));
  EXPECT_EQ(store->GetInterface(u"OUndoRestore"), restore);
  EXPECT_EQ(m_rec->GetInterface(u"OUndoHandler"), nullptr);
  EXPECT_EQ(store->AddRef(), 2);
  EXPECT_EQ(restore->Release(), 1);
}

enum class Phase { Ready, Storing, Restoring };

struct StateCase {
  const char* name;
  Phase phase;
  std::function<void(OUndoStore*, OUndoRestore*)> action;
  const char16_t* condition;
  const char16_t* where;
};

TEST_F(UndoRecorderTest, WrongStateThrowsWithTheConditionAndCatchSite) {
  const char16_t* kReady = u"!m_pOuter->m_myState==XUndoRecorder::myREADY";
  const char16_t* kStoring = u"!m_pOuter->m_myState==XUndoRecorder::mySTORING";
  const char16_t* kRestoring = u"!m_pOuter->m_myState==XUndoRecorder::myRESTORING";
  const StateCase cases[] = {
      {"SetData when ready", Phase::Ready, [](OUndoStore* s, OUndoRestore*) { s->SetData(nullptr); }, kStoring,
       u"XUndoRecorder::XUndoStore ::SetData()"},
      {"SetObj when ready", Phase::Ready, [](OUndoStore* s, OUndoRestore*) { s->SetObj(nullptr); }, kStoring,
       u"XUndoRecorder::XUndoStore ::SetObj()"},
      {"store End when ready", Phase::Ready, [](OUndoStore* s, OUndoRestore*) { s->End(TRUE); }, kStoring,
       u"XUndoRecorder::XUndoStore ::End()"},
      {"store Begin when storing", Phase::Storing,
       [this](OUndoStore* s, OUndoRestore*) { s->Begin(&m_other, 2, nullptr); }, kReady,
       u"XUndoRecorder::XUndoStore ::Begin()"},
      {"store Begin when restoring", Phase::Restoring,
       [this](OUndoStore* s, OUndoRestore*) { s->Begin(&m_other, 2, nullptr); }, kReady,
       u"XUndoRecorder::XUndoStore ::Begin()"},
      {"store End when restoring", Phase::Restoring, [](OUndoStore* s, OUndoRestore*) { s->End(FALSE); },
       kStoring, u"XUndoRecorder::XUndoStore ::End()"},
      {"GetData when ready", Phase::Ready, [](OUndoStore*, OUndoRestore* r) { r->GetData(); }, kRestoring,
       u"XUndoRecorder::XUndoRestore ::GetData()"},
      {"GetObj when storing", Phase::Storing, [](OUndoStore*, OUndoRestore* r) { r->GetObj(); }, kRestoring,
       u"XUndoRecorder::XUndoRestore ::GetObj()"},
      {"restore End when ready", Phase::Ready, [](OUndoStore*, OUndoRestore* r) { r->End(); }, kRestoring,
       u"XUndoRecorder::XUndoRestore ::End()"},
      {"restore Begin when storing", Phase::Storing, [](OUndoStore*, OUndoRestore* r) { r->Begin(); }, kReady,
       u"XUndoRecorder::XUndoRestore ::Begin()"},
      {"restore Begin when restoring", Phase::Restoring, [](OUndoStore*, OUndoRestore* r) { r->Begin(); },
       kReady, u"XUndoRecorder::XUndoRestore ::Begin()"},
  };
  auto* store = static_cast<OUndoStore*>(m_rec->GetInterface(u"OUndoStore"));
  auto* restore = static_cast<OUndoRestore*>(m_rec->GetInterface(u"OUndoRestore"));
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.name);
    Caught err;
    if (c.phase == Phase::Restoring) {
      Store(store, m_handler, {});
      m_handler.onExecute = [&](OUndoRestore* r, OUndoStore*) {
        r->Begin();
        err = CatchErr([&] { c.action(store, r); });
        r->End();
        return 0;
      };
      EXPECT_EQ(m_rec->Undo(1, m_opp), 1u);
      m_handler.onExecute = nullptr;
    } else {
      if (c.phase == Phase::Storing) store->Begin(&m_handler, 1, nullptr);
      err = CatchErr([&] { c.action(store, restore); });
      // The failed call left the state alone: the open step can still be closed.
      if (c.phase == Phase::Storing) store->End(TRUE);
    }
    ASSERT_TRUE(err.thrown);
    EXPECT_EQ(U8(err.condition), U8(c.condition));
    EXPECT_TRUE(Contains(err.text, c.where)) << U8(err.text);
  }
  // Each case ended ready, with every step it made stored or undone.
  EXPECT_EQ(m_rec->GetStepCount(), 3u);
  EXPECT_EQ(m_opp->GetStepCount(), 0u);
}

TEST_F(UndoRecorderTest, RestoreGivesBlocksAndObjectsInOrderThenThrows) {
  GCompRef<OData> a = MakeBlock(40, 1);
  GCompRef<OData> b = MakeBlock(8, 2);
  GCompRef<OData> obj = MakeBlock(1, 3);
  a->Rewind();
  a->Read(nullptr, 10);  // the restore side hands it out rewound
  m_rec->Begin(&m_handler, 77, GNewText(u"label"));
  EXPECT_EQ(m_rec->SetData(a), 40u);
  EXPECT_EQ(m_rec->SetData(nullptr), 0u);
  EXPECT_EQ(m_rec->SetData(b), 8u);
  m_rec->SetObj(nullptr);
  m_rec->SetObj(obj);
  m_rec->End(TRUE);

  Caught noData, noObj;
  m_handler.onExecute = [&](OUndoRestore* r, OUndoStore*) {
    EXPECT_EQ(r->Begin(), 77u);
    EXPECT_EQ(r->GetTag(), 77u);
    EXPECT_EQ(U8(r->GetLabel()->GetText()), "label");
    OData* first = r->GetData();
    EXPECT_EQ(first, a.get());
    EXPECT_EQ(first->GetPosition(), 0u);
    EXPECT_EQ(Refs(a), 3);  // ours, the step's and the caller's
    first->Release();
    EXPECT_EQ(r->GetData(), nullptr);  // the empty entry keeps its place
    OData* third = r->GetData();
    EXPECT_EQ(third, b.get());
    third->Release();
    noData = CatchErr([&] { r->GetData(); });
    EXPECT_EQ(r->GetObj(), obj.get());
    noObj = CatchErr([&] { r->GetObj(); });
    r->End();
    return 0;
  };
  EXPECT_EQ(m_rec->Undo(1, m_opp), 1u);
  EXPECT_EQ(U8(noData.condition), "!poData");
  EXPECT_TRUE(Contains(noData.text, u"XUndoRecorder::XUndoRestore ::GetData()"));
  EXPECT_EQ(U8(noObj.condition), "!poObj");
  EXPECT_EQ(Refs(a), 1);
  EXPECT_EQ(Refs(obj), 1);
}

// ---------------------------------------------------------------------------------------------
// History and counter

TEST_F(UndoRecorderTest, HistoryKeepsTheNewest24NewestFirst) {
  std::vector<std::u16string> labels;
  for (int i = 1; i <= 25; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "s%d", i);
    labels.push_back(plat::Widen(name));
    Store(m_rec, m_handler, {}, labels.back().c_str());
  }
  EXPECT_EQ(m_rec->GetStepCount(), 24u);
  EXPECT_EQ(m_handler.refs, 24);  // the dropped step let its owner go

  const char16_t* out[30] = {};
  ASSERT_EQ(m_rec->CopyStepList(out, 30), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(U8(out[i]), U8(labels[24 - i])) << i;
  const char16_t* few[3] = {};
  EXPECT_EQ(m_rec->CopyStepList(few, 3), 3u);
  EXPECT_EQ(U8(few[2]), "s23");

  m_rec->SetLimits(5, 1);
  EXPECT_EQ(m_rec->GetStepCount(), 5u);
}

TEST_F(UndoRecorderTest, CounterMarksTheSavedStateAndLosesItForGood) {
  StoreSmall();
  EXPECT_EQ(m_rec->GetCounter(), 1);
  m_rec->ResetCounter();
  EXPECT_EQ(m_rec->GetCounter(), 0);
  m_rec->Undo(1, m_opp);
  EXPECT_EQ(m_rec->GetCounter(), -1);
  // A new edit after undoing past the saved state: the saved state is gone.
  StoreSmall();
  EXPECT_EQ(m_rec->GetCounter(), INT32_MIN);

  m_rec->ResetCounter();
  StoreSmall();
  m_rec->Clear();
  EXPECT_EQ(m_rec->GetCounter(), INT32_MIN);
  EXPECT_EQ(m_rec->GetStepCount(), 0u);
  Store(m_rec, m_handler, {}, u"x", 1, FALSE);
  EXPECT_EQ(m_rec->GetCounter(), INT32_MIN + 1);
  StoreSmall();
  EXPECT_EQ(m_rec->GetCounter(), INT32_MIN);
  // Undoing below the lost mark wraps far away from 0.
  ASSERT_EQ(m_rec->Undo(2, m_opp), 2u);
  EXPECT_EQ(m_rec->GetCounter(), INT32_MAX - 1);
}

TEST_F(UndoRecorderTest, StepAboveTheClearLimitClearsTheHistoryFirst) {
  StoreSmall(3);
  m_rec->ResetCounter();
  Store(m_rec, m_handler, {new HugeData()});
  EXPECT_EQ(m_rec->GetStepCount(), 1u);
  EXPECT_EQ(m_rec->GetCounter(), INT32_MIN);
}

// ---------------------------------------------------------------------------------------------
// Swapping

struct ThresholdCase {
  const char* name;
  std::vector<size_t> sizes;
  bool fragmented;
  bool swapped;
};

TEST_F(UndoRecorderTest, OnlyStepsAboveTwoMiBAreSwapped) {
  const ThresholdCase cases[] = {
      {"exactly 2 MiB", {0x200000}, false, false},
      {"one byte more", {0x200001}, false, true},
      {"two blocks over", {0x100000, 0x100001}, false, true},
      {"two blocks at the limit", {0x100000, 0x100000}, false, false},
      {"fragmented over", {0x200001}, true, true},
  };
  m_rec->SetLimits(24, 1);
  for (const ThresholdCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_rec->Clear();
    std::vector<GCompRef<OData>> blocks;
    std::vector<OData*> raw;
    for (size_t n : c.sizes) {
      blocks.push_back(c.fragmented ? MakeFragmented(n, 5) : MakeBlock(n, 5));
      raw.push_back(blocks.back().get());
    }
    Store(m_rec, m_handler, raw);
    StoreSmall(2);  // the step is now third
    m_rec->ManageMemoryFile(u"qvundo");
    EXPECT_EQ(SwapFiles().size(), c.swapped ? 1u : 0u);
    for (auto& b : blocks) EXPECT_EQ(Refs(b), c.swapped ? 1 : 2);
  }
}

TEST_F(UndoRecorderTest, NewestStaysSecondIsLeftAloneOlderAreSwapped) {
  m_rec->SetLimits(24, 1);
  std::vector<GCompRef<OData>> blocks;  // oldest first
  for (int i = 0; i < 4; ++i) {
    blocks.push_back(MakeBlock(0x200001, i));
    Store(m_rec, m_handler, {blocks.back().get()});
  }
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_EQ(SwapFiles().size(), 2u);
  EXPECT_EQ(Refs(blocks[3]), 2);  // index 0
  EXPECT_EQ(Refs(blocks[2]), 2);  // index 1
  EXPECT_EQ(Refs(blocks[1]), 1);
  EXPECT_EQ(Refs(blocks[0]), 1);
  for (const fs::path& p : SwapFiles()) {
    EXPECT_EQ(p.filename().string().rfind("qvundo", 0), 0u) << p;
    EXPECT_EQ(p.extension(), ".tmp");
  }

  // Swap the second out, then show it is not read back at index 1 either.
  m_rec->SetLimits(24, 0);
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_EQ(SwapFiles().size(), 3u);
  EXPECT_EQ(Refs(blocks[3]), 2);
  m_rec->SetLimits(24, 1);
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_EQ(SwapFiles().size(), 3u);

  m_rec->SetLimits(24, 4);
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_TRUE(SwapFiles().empty());
}

TEST_F(UndoRecorderTest, SwappedBlocksComeBackByteForByte) {
  struct Block {
    size_t size;
    bool fragmented;
    bool empty;
  };
  const Block layout[] = {
      {3 * kMiB + 12345, true, false}, {0, false, true},  {0x180001, false, false},
      {2 * kMiB, true, false},         {0, false, false}, {kMiB - 1, true, false},
  };
  std::vector<std::vector<uint8_t>> expected;
  {
    std::vector<GCompRef<OData>> blocks;
    std::vector<OData*> raw;
    uint32_t seed = 10;
    for (const Block& b : layout) {
      if (b.empty) {
        raw.push_back(nullptr);
        expected.emplace_back();
        continue;
      }
      blocks.push_back(b.fragmented ? MakeFragmented(b.size, seed) : MakeBlock(b.size, seed));
      expected.push_back(Pattern(b.size, seed++));
      raw.push_back(blocks.back().get());
    }
    m_rec->SetLimits(24, 1);
    Store(m_rec, m_other, raw, u"big", 9);
  }
  StoreSmall(2);
  m_rec->ManageMemoryFile(u"qvundo");
  auto files = SwapFiles();
  ASSERT_EQ(files.size(), 1u);
  // Fragments go out whole.
  EXPECT_EQ(fs::file_size(files[0]), 4 * kMiB + 0x180001 + 2 * kMiB + kMiB);

  m_rec->SetLimits(24, 3);
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_TRUE(SwapFiles().empty());

  std::vector<std::vector<uint8_t>> got;
  std::vector<UINT> fragments;
  m_other.onExecute = [&](OUndoRestore* r, OUndoStore*) {
    EXPECT_EQ(r->Begin(), 9u);
    for (size_t i = 0; i < std::size(layout); ++i) {
      OData* d = r->GetData();
      if (layout[i].empty) {
        EXPECT_EQ(d, nullptr);
        got.emplace_back();
        fragments.push_back(0);
        continue;
      }
      EXPECT_NE(d, nullptr);
      if (!d) return 0;
      fragments.push_back(d->GetFragmentCount());
      got.push_back(ReadAll(d));
      d->Release();
    }
    r->End();
    return 0;
  };
  ASSERT_EQ(m_rec->Undo(3, m_opp), 3u);
  ASSERT_EQ(got.size(), std::size(layout));
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_TRUE(got[i] == expected[i]) << "block " << i;
    UINT frags = layout[i].fragmented ? UINT((layout[i].size + kMiB - 1) / kMiB) : 0;
    EXPECT_EQ(fragments[i], frags) << "block " << i;
  }
}

TEST_F(UndoRecorderTest, ExistingFileWithTheSameNameIsNeverTouched) {
  fs::path theirs = m_folder / "qvundo0000000000000001.tmp";
  { std::ofstream(theirs) << "another program's step"; }
  m_rec->SetLimits(24, 1);
  Store(m_rec, m_handler, {MakeBlock(0x200001, 1).get()});
  StoreSmall(2);
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_EQ(SwapFiles().size(), 2u);
  EXPECT_EQ(fs::file_size(theirs), 22u);
  m_rec->Clear();
  ASSERT_EQ(SwapFiles().size(), 1u);
  EXPECT_EQ(SwapFiles()[0], theirs);
}

TEST_F(UndoRecorderTest, DroppingASwappedStepRemovesItsFile) {
  const std::pair<const char*, std::function<void()>> actions[] = {
      {"cut at the maximum", [this] { StoreSmall(); }},
      {"Clear", [this] { m_rec->Clear(); }},
      {"a step above the clear limit", [this] { Store(m_rec, m_handler, {new HugeData()}); }},
      {"destruction", [this] {
         m_rec->Release();
         m_rec = nullptr;
       }},
  };
  for (const auto& [name, action] : actions) {
    SCOPED_TRACE(name);
    if (!m_rec) m_rec = NewRecorder();
    m_rec->Clear();
    m_rec->SetLimits(3, 1);
    Store(m_rec, m_handler, {MakeBlock(0x200001, 1).get()});
    StoreSmall(2);
    m_rec->ManageMemoryFile(u"qvundo");
    ASSERT_EQ(SwapFiles().size(), 1u);
    action();
    EXPECT_TRUE(SwapFiles().empty());
  }
}

// A step whose file cannot be made stays in memory and undoes; the recorder does not try
// it again.
TEST_F(UndoRecorderTest, AStepThatCannotBeSwappedStaysInMemory) {
  m_rec->SetSwapFolder(plat::FromUtf8((m_folder / "missing").string() + "/"));
  m_rec->SetLimits(24, 1);
  Store(m_rec, m_handler, {MakeBlock(0x200001, 1).get()});
  StoreSmall(2);
  m_rec->ManageMemoryFile(u"qvundo");
  m_rec->SetSwapFolder(OwnFolder());
  m_rec->ManageMemoryFile(u"qvundo");
  EXPECT_TRUE(SwapFiles().empty());
  m_handler.executed = 0;
  EXPECT_EQ(m_rec->Undo(3, m_opp), 3u);
  EXPECT_EQ(m_handler.executed, 3);
}

// Swap files have names nobody can foresee, in a folder of the process's own that only its
// user may enter; the folders of dead processes go when the next one starts.
TEST_F(UndoRecorderTest, SwapFilesLiveUnderUnforeseeableNamesInAPrivateFolder) {
  const std::string own = U8(XUndoRecorder::ProcessSwapFolder());
  ASSERT_FALSE(own.empty());
  const fs::path folder = fs::path(own).parent_path();
  EXPECT_EQ(folder.parent_path().string() + "/", U8(plat::GetTempFolder()));
  EXPECT_EQ(folder.filename().string().rfind("tavrik-undo-" + std::to_string(getpid()) + "-", 0), 0u);
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);

  // The names the counter once gave are taken in advance: swapping goes on regardless.
  for (int i = 1; i <= 8; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "qvundo%016X.tmp", i);
    std::ofstream(m_folder / name) << "taken";
  }
  m_rec->SetLimits(24, 0);
  Store(m_rec, m_handler, {MakeBlock(0x200001, 1).get()});
  Store(m_rec, m_handler, {MakeBlock(0x200001, 2).get()});
  StoreSmall();  // the newest step is never swapped
  m_rec->ManageMemoryFile(u"qvundo");
  std::vector<std::string> made;
  for (const fs::path& p : SwapFiles())
    if (fs::file_size(p) != 5) made.push_back(p.filename().string());
  ASSERT_EQ(made.size(), 2u);
  for (const std::string& n : made) {
    EXPECT_EQ(n.size(), std::string("qvundoXXXXXX.tmp").size()) << n;
    EXPECT_EQ(n.rfind("qvundo", 0), 0u) << n;
  }
  EXPECT_NE(made[0], made[1]);

  // A dead process's folder and its files go; a live one's stays.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const fs::path dead = m_folder / ("tavrik-undo-" + std::to_string(child) + "-abcdef");
  const fs::path alive = m_folder / ("tavrik-undo-" + std::to_string(getppid()) + "-abcdef");
  for (const fs::path& d : {dead, alive}) {
    fs::create_directory(d);
    std::ofstream(d / "qvundo123456.tmp") << "step";
  }
  EXPECT_EQ(plat::RemoveStalePrivateFolders(OwnFolder(), u"tavrik-undo-"), 1);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(alive / "qvundo123456.tmp"));
}

// A swapped step's file cut short by someone else: the steps in front of it undo, the undo
// stops there, and that step goes with every older one; the loss is told once. Either the
// flush walk finds the damage before the undo, or while the undo waits for the step.
TEST_F(UndoRecorderTest, AStepWhoseFileCannotBeReadEndsTheHistoryThere) {
  const std::pair<const char*, bool> cases[] = {{"found by the walk first", false}, {"found while undo waits", true}};
  for (const auto& [name, flushDuringUndo] : cases) {
    SCOPED_TRACE(name);
    m_rec->Clear();
    m_opp->Clear();
    m_rec->SetLimits(24, 1);
    std::vector<uint32_t> tags;
    m_handler.onExecute = [&](OUndoRestore* r, OUndoStore* opposite) {
      const uint32_t tag = r->Begin();
      tags.push_back(tag);
      opposite->Begin(&m_other, tag, r->GetStepObject());
      opposite->End(FALSE);
      r->End();
      return 0;
    };
    Store(m_rec, m_handler, {MakeBlock(16, 0).get()}, u"oldest", 1);
    Store(m_rec, m_handler, {MakeBlock(0x200001, 1).get()}, u"cut", 2);
    Store(m_rec, m_handler, {MakeBlock(16, 0).get()}, u"newer", 3);
    Store(m_rec, m_handler, {MakeBlock(16, 0).get()}, u"newest", 4);
    m_rec->ManageMemoryFile(u"qvundo");
    ASSERT_EQ(SwapFiles().size(), 1u);
    fs::resize_file(SwapFiles()[0], 100);

    std::atomic<bool> run{flushDuringUndo};
    std::thread flush([&] {
      while (run) {
        m_rec->ManageMemoryFile(u"qvundo");
        plat::Sleep(2);
      }
    });
    if (!flushDuringUndo) {
      m_rec->SetLimits(24, 4);
      m_rec->ManageMemoryFile(u"qvundo");  // tries to read it back, and fails
      EXPECT_EQ(m_rec->GetStepCount(), 4u) << "nothing goes before an undo reaches it";
    }
    const UINT undone = m_rec->Undo(10, m_opp);
    run = false;
    flush.join();
    EXPECT_EQ(undone, 2u);
    EXPECT_EQ(tags, (std::vector<uint32_t>{4, 3}));
    EXPECT_EQ(m_rec->GetLostSteps(), 2u);
    EXPECT_EQ(m_rec->GetStepCount(), 0u);
    EXPECT_TRUE(SwapFiles().empty());
    EXPECT_EQ(m_opp->GetStepCount(), 2u) << "the undone steps can be redone";

    // Told once: the next run finds nothing and drops nothing.
    EXPECT_EQ(m_rec->Undo(1, m_opp), 0u);
    EXPECT_EQ(m_rec->GetLostSteps(), 0u);
    // The history goes on as usual.
    m_handler.onExecute = nullptr;
    StoreSmall();
    EXPECT_EQ(m_rec->Undo(1, m_opp), 1u);
    EXPECT_EQ(m_rec->GetLostSteps(), 0u);
  }
}

// The flush thread keeps swapping while steps are stored and undone: every step comes back
// whole and in order.
TEST_F(UndoRecorderTest, UndoWaitsForTheFlushThreadToBringStepsBack) {
  m_rec->SetLimits(6, 0);
  std::atomic<bool> run{true};
  std::thread flush([&] {
    while (run) {
      m_rec->ManageMemoryFile(u"qvundo");
      plat::Sleep(2);
    }
  });
  for (uint32_t i = 0; i < 9; ++i) Store(m_rec, m_handler, {MakeBlock(0x200001, i).get()}, u"s", i);
  std::vector<uint32_t> tags;
  m_handler.onExecute = [&](OUndoRestore* r, OUndoStore*) {
    uint32_t tag = r->Begin();
    tags.push_back(tag);
    OData* d = r->GetData();
    EXPECT_TRUE(ReadAll(d) == Pattern(0x200001, tag)) << tag;
    d->Release();
    r->End();
    return 0;
  };
  UINT undone = m_rec->Undo(6, m_opp);
  run = false;
  flush.join();
  EXPECT_EQ(undone, 6u);
  EXPECT_EQ(tags, (std::vector<uint32_t>{8, 7, 6, 5, 4, 3}));
  m_rec->Clear();
  EXPECT_TRUE(SwapFiles().empty());
}

// ---------------------------------------------------------------------------------------------
// Undo

TEST_F(UndoRecorderTest, UndoOfAHundredStepsThrows) {
  StoreSmall();
  Caught err = CatchErr([&] { m_rec->Undo(100, m_opp); });
  EXPECT_EQ(U8(err.condition), "!uStep<100");
  EXPECT_TRUE(Contains(err.text, u"XUndoRecorder ::Undo()")) << U8(err.text);
  EXPECT_EQ(m_rec->GetStepCount(), 1u);
  EXPECT_EQ(m_handler.executed, 0);
}

TEST_F(UndoRecorderTest, ExecuteResultDecidesWhatHappensToTheStep) {
  struct ResultCase {
    int32_t result;
    UINT undone;
    UINT left;
    int executed;
    bool throws;
  };
  const ResultCase cases[] = {
      {0, 2, 0, 2, false},
      {1, 0, 2, 1, false},
      {2, 0, 2, 1, true},
  };
  for (const ResultCase& c : cases) {
    SCOPED_TRACE(c.result);
    m_rec->Clear();
    m_handler.executed = m_handler.afterUndo = 0;
    StoreSmall(2);
    m_handler.onExecute = [&](OUndoRestore* r, OUndoStore*) {
      r->Begin();  // a kept or failed step leaves the restore open
      if (c.result == 0) r->End();
      return c.result;
    };
    UINT undone = 0;
    Caught err = CatchErr([&] { undone = m_rec->Undo(2, m_opp); });
    EXPECT_EQ(err.thrown, c.throws);
    if (c.throws) {
      EXPECT_EQ(U8(err.condition), "UNKNOWN");
    }
    EXPECT_EQ(undone, c.undone);
    EXPECT_EQ(m_rec->GetStepCount(), c.left);
    EXPECT_EQ(m_handler.executed, c.executed);
    EXPECT_EQ(m_handler.afterUndo, c.undone ? 1 : 0);
    // Ready again either way.
    StoreSmall();
  }
  m_handler.onExecute = nullptr;
}

TEST_F(UndoRecorderTest, AfterUndoRunsOncePerOwner) {
  Store(m_rec, m_handler, {});
  Store(m_rec, m_other, {});
  Store(m_rec, m_handler, {});
  EXPECT_EQ(m_rec->Undo(0, m_opp), 0u);
  EXPECT_EQ(m_handler.afterUndo, 0);
  EXPECT_EQ(m_rec->Undo(5, m_opp), 3u);
  EXPECT_EQ(m_handler.executed, 2);
  EXPECT_EQ(m_other.executed, 1);
  EXPECT_EQ(m_handler.afterUndo, 1);
  EXPECT_EQ(m_other.afterUndo, 1);
}

// A document value edited twice; each Execute writes the inverse into the opposite store.
TEST_F(UndoRecorderTest, UndoThenRedoRoundTrip) {
  int32_t doc = 1;
  auto execute = [&](OUndoRestore* r, OUndoStore* opposite) {
    uint32_t tag = r->Begin();
    OData* d = r->GetData();
    int32_t old = 0;
    d->Read(&old, sizeof old);
    d->Release();
    opposite->Begin(&m_handler, tag, r->GetStepObject());
    opposite->SetData(GNewData(sizeof doc)->Write(&doc, sizeof doc));
    opposite->End(FALSE);
    doc = old;
    r->End();
    return 0;
  };
  m_handler.onExecute = execute;
  for (int32_t next : {2, 3}) {
    Store(m_rec, m_handler, {GNewData(sizeof doc)->Write(&doc, sizeof doc)},
          next == 2 ? u"to two" : u"to three", 4);
    doc = next;
  }
  const char16_t* undoLabels[2] = {};
  m_rec->CopyStepList(undoLabels, 2);

  ASSERT_EQ(m_rec->Undo(2, m_opp), 2u);
  EXPECT_EQ(doc, 1);
  EXPECT_EQ(m_rec->GetStepCount(), 0u);
  ASSERT_EQ(m_opp->GetStepCount(), 2u);
  const char16_t* redoLabels[2] = {};
  m_opp->CopyStepList(redoLabels, 2);
  // The oldest undone step is the newest redo step; the label objects are the same.
  EXPECT_EQ(redoLabels[0], undoLabels[1]);
  EXPECT_EQ(redoLabels[1], undoLabels[0]);

  ASSERT_EQ(m_opp->Undo(1, m_rec), 1u);
  EXPECT_EQ(doc, 2);
  EXPECT_EQ(m_opp->GetStepCount(), 1u);
  ASSERT_EQ(m_rec->Undo(1, m_opp), 1u);
  EXPECT_EQ(doc, 1);
  ASSERT_EQ(m_opp->Undo(2, m_rec), 2u);
  EXPECT_EQ(doc, 3);
  EXPECT_EQ(m_rec->GetCounter(), 2);
  m_handler.onExecute = nullptr;
}

}  // namespace
