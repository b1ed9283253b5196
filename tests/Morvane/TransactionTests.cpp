#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "MorvaneFixture.h"
#include "XWorker.h"

namespace {

using Blocks = std::set<std::pair<int, int>>;  // (column, row)

Blocks MarkedIn(const BYTE* map) {
  Blocks b;
  for (int r = 0; r < LYR_MARK_SIDE; ++r)
    for (int c = 0; c < LYR_MARK_SIDE; ++c)
      if (map[r * LYR_MARK_SIDE + c]) b.insert({c, r});
  return b;
}

Blocks Range(int c0, int c1, int r0, int r1) {
  Blocks b;
  for (int r = r0; r < r1; ++r)
    for (int c = c0; c < c1; ++c) b.insert({c, r});
  return b;
}

// Bytes of the whole primary surface (padded rows included).
size_t SurfaceBytes(OLayer* l) {
  return size_t(l->GetPitch()) * size_t((l->GetHeight() + 63) & ~63) * size_t(l->GetPixelSize());
}

void FillRandom(BYTE* p, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; i += 4) {
    uint32_t v = rng();
    std::memcpy(p + i, &v, std::min<size_t>(4, n - i));
  }
}

// The surfaces of a layer as the lock reports them.
struct Surfaces {
  BYTE* primary;
  BYTE* backup;
  BYTE* helper;
  size_t rowBytes;
};
Surfaces Peek(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return {lock.pPixels, lock.pBackup, lock.pHelper, lock.cbRow};
}

bool InBlocks(const Blocks& b, size_t offset, size_t rowBytes, int pixelSize) {
  int row = int(offset / rowBytes) / 64, column = int(offset % rowBytes) / pixelSize / 64;
  return b.count({column, row}) != 0;
}

TEST_F(LayerTest, MarkSetMarksTheTouchedBlocksAndReportsThem) {
  // 200 x 130 at a negative position: 4 block columns, 3 block rows.
  GCompRef<OLayer> l = NewLayer(200, 130, 4);
  l->SetPosition(-100, -70, FALSE);
  struct Case {
    const char* what;
    bool useNull;
    RECT rc;
    RECT out;
    Blocks marked;
  } cases[] = {
      {"null is the whole layer", true, {}, {-100, -70, 156, 122}, Range(0, 4, 0, 3)},
      {"huge rectangle", false, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {-100, -70, 156, 122}, Range(0, 4, 0, 3)},
      {"partial blocks near the origin", false, {-90, -60, -30, -5}, {-100, -70, 28, 58}, Range(0, 2, 0, 2)},
      {"last pixel only", false, {99, 59, 100, 60}, {92, 58, 156, 122}, Range(3, 4, 2, 3)},
      {"wholly right of the layer", false, {200, 0, 300, 50}, {156, -6, 220, 58}, {}},
      {"wholly above the layer", false, {-100, -200, 100, -70}, {-100, -70, 156, -70}, {}},
      {"empty rectangle inside", false, {0, 0, 0, 10}, {-36, -6, 28, 58}, {}},
  };
  for (const Case& c : cases) {
    l->PAT_MarkReset();
    RECT out{1, 2, 3, 4};
    l->PAT_MarkSet(c.useNull ? nullptr : &c.rc, &out);
    EXPECT_EQ(out.left, c.out.left) << c.what;
    EXPECT_EQ(out.top, c.out.top) << c.what;
    EXPECT_EQ(out.right, c.out.right) << c.what;
    EXPECT_EQ(out.bottom, c.out.bottom) << c.what;
    EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), c.marked) << c.what;
    // The accumulated map got the same blocks.
    l->PAT_MarkClear();
    EXPECT_EQ(l->PAT_MarkRecall(), c.marked.empty() ? FALSE : TRUE) << c.what;
    EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), c.marked) << c.what;
  }
  // Null out is allowed; a locked layer may still be marked, an empty one not.
  RECT one{-100, -70, -99, -69};
  l->PAT_MarkReset();
  LayerLock lock;
  lock.Lock(l, 0);
  l->PAT_MarkSet(&one, nullptr);
  EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), Range(0, 1, 0, 1));
  EXPECT_EQ(ThrownCondition([&] { NewEmpty()->PAT_MarkSet(nullptr, nullptr); }), u"!m_myState!=myNULL");
}

TEST_F(LayerTest, MarkMapsClearResetRecallAndCopy) {
  GCompRef<OLayer> l = NewLayer(300, 300, 2);
  RECT a{0, 0, 10, 10}, b{200, 200, 210, 210};
  l->PAT_MarkSet(&a, nullptr);
  l->PAT_MarkClear();
  l->PAT_MarkSet(&b, nullptr);
  EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), Range(3, 4, 3, 4));
  // Recall brings back everything since the reset.
  EXPECT_TRUE(l->PAT_MarkRecall());
  Blocks both = Range(0, 1, 0, 1);
  both.insert({3, 3});
  EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), both);

  // Copy ORs the current marks into another layer's current map only.
  GCompRef<OLayer> dest = NewLayer(300, 300, 4);
  RECT c{100, 0, 110, 10};
  dest->PAT_MarkSet(&c, nullptr);
  dest->PAT_MarkClear();
  dest->PAT_GetMarkMap()[1 * LYR_MARK_SIDE + 1] = 1;
  l->PAT_MarkCopyTo(dest);
  Blocks expect = both;
  expect.insert({1, 1});
  EXPECT_EQ(MarkedIn(dest->PAT_GetMarkMap()), expect);
  EXPECT_TRUE(dest->PAT_MarkRecall());
  EXPECT_EQ(MarkedIn(dest->PAT_GetMarkMap()), Range(1, 2, 0, 1));  // accumulated untouched

  EXPECT_EQ(ThrownCondition([&] { l->PAT_MarkCopyTo(NewLayer(301, 300, 4)); }), u"!m_nWidth==poLayerDest->GetWidth()");
  EXPECT_EQ(ThrownCondition([&] { l->PAT_MarkCopyTo(NewLayer(300, 299, 4)); }),
            u"!m_nHeight==poLayerDest->GetHeight()");

  // Reset clears both maps and the change word.
  l->AddChangeFlags(LYR_CHANGE_PIXELS | LYR_CHANGE_POSITION);
  EXPECT_EQ(l->PAT_MarkReset(), 0);
  EXPECT_EQ(l->GetChangeFlags(), 0u);
  EXPECT_TRUE(MarkedIn(l->PAT_GetMarkMap()).empty());
  EXPECT_FALSE(l->PAT_MarkRecall());
  EXPECT_TRUE(MarkedIn(l->PAT_GetMarkMap()).empty());
}

TEST_F(LayerTest, PrepareMakesAndCopiesTheSurfaces) {
  GCompRef<OLayer> l = NewLayer(150, 70, 4);
  const size_t bytes = SurfaceBytes(l);
  Surfaces s = Peek(l);
  FillRandom(s.primary, bytes, 1);
  EXPECT_EQ(l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr), 1);
  EXPECT_EQ(l->PAT_GetActiveFlags(), PAT_F_BACKUP | PAT_F_ACTIVE);
  s = Peek(l);
  ASSERT_NE(s.backup, nullptr);
  EXPECT_EQ(s.helper, nullptr);
  EXPECT_EQ(std::memcmp(s.backup, s.primary, bytes), 0);

  // A second prepare keeps the surface and copies the present pixels again.
  BYTE* first = s.backup;
  FillRandom(s.primary, bytes, 2);
  EXPECT_EQ(l->PAT_PrepareActivate(PAT_F_BACKUP | PAT_F_HELPER, nullptr), 1);
  s = Peek(l);
  EXPECT_EQ(s.backup, first);
  EXPECT_EQ(std::memcmp(s.backup, s.primary, bytes), 0);
  ASSERT_NE(s.helper, nullptr);
  std::memset(s.helper, 0xAB, bytes);
  EXPECT_EQ(l->PAT_PrepareActivate(PAT_F_HELPER, nullptr), 1);
  EXPECT_EQ(l->PAT_GetActiveFlags(), PAT_F_HELPER | PAT_F_ACTIVE);
  std::vector<BYTE> zero(bytes, 0);
  EXPECT_EQ(std::memcmp(Peek(l).helper, zero.data(), bytes), 0);

  l->PAT_Deactivate();
  s = Peek(l);
  EXPECT_EQ(l->PAT_GetActiveFlags(), 0u);
  EXPECT_EQ(s.backup, nullptr);
  EXPECT_EQ(s.helper, nullptr);

  LayerLock lock;
  lock.Lock(l, 0);
  EXPECT_EQ(ThrownCondition([&] { l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr); }), u"!m_myState==myREADY");
}

TEST_F(LayerTest, HelperForColourOnlyFollowsTheFormat) {
  struct Case {
    int format;
    uint32_t flags;
    bool helper;
    uint32_t session;
  } cases[] = {
      {2, PAT_F_HELPER_C32, false, PAT_F_HELPER_C32 | PAT_F_ACTIVE},
      {4, PAT_F_HELPER_C32, true, PAT_F_HELPER_C32 | PAT_F_HELPER | PAT_F_ACTIVE},
      {2, PAT_F_HELPER, true, PAT_F_HELPER | PAT_F_ACTIVE},
      {4, 0, false, PAT_F_ACTIVE},
  };
  for (const Case& c : cases) {
    GCompRef<OLayer> l = NewLayer(10, 10, c.format);
    EXPECT_EQ(l->PAT_PrepareActivate(c.flags, nullptr), 1);
    EXPECT_EQ(l->PAT_GetActiveFlags(), c.session) << c.format << " " << c.flags;
    EXPECT_EQ(Peek(l).helper != nullptr, c.helper) << c.format << " " << c.flags;
    EXPECT_EQ(Peek(l).backup, nullptr);
  }
}

TEST_F(LayerTest, PrepareAsAWorkerJob) {
  sys.Register(u"XWorker", GCreateComponent<XWorker>);
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  GCompRef<OLayer> l = NewLayer(1100, 1000, 4);  // 4.5 MiB: two copy steps
  const size_t bytes = SurfaceBytes(l);
  FillRandom(Peek(l).primary, bytes, 3);
  GCompRef<OData> args = GNewData(64);
  JobRecord job{args, nullptr, 0, -1, nullptr, nullptr};

  // An abort requested before the job runs: nothing copied, the session stays closed.
  l->PAT_PrepareActivate(PAT_F_ACTIVE, nullptr);
  ASSERT_NE(l->PAT_GetActiveFlags(), 0u);
  EXPECT_NE(l->PAT_PrepareActivate(PAT_F_BACKUP, &job), 0);
  EXPECT_EQ(l->PAT_GetActiveFlags(), 0u);
  EXPECT_EQ(job.object, static_cast<Morvane*>(l.get()));
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  JobControl aborted;
  aborted.flags = JOB_ABORT;
  ASSERT_EQ(worker->Launch(&job, &aborted), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 0);
  EXPECT_EQ(l->PAT_GetActiveFlags(), 0u);
  EXPECT_EQ(Peek(l).backup, nullptr);

  // The same job without abort copies the surface on the worker thread.
  job.result = -1;
  l->PAT_PrepareActivate(PAT_F_BACKUP | PAT_F_HELPER_C32, &job);
  JobControl control;
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(control.flags, 0u);
  EXPECT_EQ(control.total, 100);
  EXPECT_EQ(control.progress, 100);
  EXPECT_EQ(l->PAT_GetActiveFlags(), PAT_F_BACKUP | PAT_F_HELPER_C32 | PAT_F_HELPER | PAT_F_ACTIVE);
  Surfaces s = Peek(l);
  ASSERT_NE(s.backup, nullptr);
  EXPECT_EQ(std::memcmp(s.backup, s.primary, bytes), 0);
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(LayerTest, WorkerStoppedByAbortClosesTheSession) {
  GCompRef<OLayer> l = NewLayer(64, 64, 2);
  l->PAT_PrepareActivate(0, nullptr);
  ASSERT_EQ(l->PAT_GetActiveFlags(), PAT_F_ACTIVE);
  GCompRef<OData> args = GNewData(4);
  uint32_t flags = PAT_F_HELPER;
  args->Write(&flags, 4);
  JobRecord job{args, u"unknown", 6, -1, nullptr, nullptr};
  JobControl control;
  control.flags = JOB_ABORT;
  auto* layer = static_cast<Morvane*>(l.get());
  EXPECT_EQ(layer->PrepareWorker(&job, &control), 0);
  EXPECT_EQ(Peek(l).helper, nullptr);
  EXPECT_EQ(l->PAT_GetActiveFlags(), 0u);
  EXPECT_EQ(layer->PrepareWorker(&job, nullptr), 1);  // no control: a local one
  EXPECT_NE(Peek(l).helper, nullptr);
  EXPECT_EQ(l->PAT_GetActiveFlags(), PAT_F_HELPER | PAT_F_ACTIVE);
}

TEST_F(LayerTest, TurnCommitsOrRollsBackTheMarkedBlocksOnly) {
  for (int format : {2, 4}) {
    GCompRef<OLayer> l = NewLayer(200, 130, format);
    l->SetPosition(7, -3, FALSE);
    const size_t bytes = SurfaceBytes(l);
    FillRandom(Peek(l).primary, bytes, 4);
    std::vector<BYTE> original(Peek(l).primary, Peek(l).primary + bytes);
    l->PAT_PrepareActivate(PAT_F_BACKUP | PAT_F_HELPER, nullptr);
    RECT run{7 + 64, -3, 7 + 192, -3 + 10}, single{7, -3 + 128, 8, -3 + 129};
    l->PAT_MarkSet(&run, nullptr);
    l->PAT_MarkSet(&single, nullptr);
    const Blocks marked = {{1, 0}, {2, 0}, {0, 2}};
    ASSERT_EQ(MarkedIn(l->PAT_GetMarkMap()), marked);

    Surfaces s = Peek(l);
    FillRandom(s.primary, bytes, 5);  // the edit
    std::vector<BYTE> edited(s.primary, s.primary + bytes);
    std::memset(s.helper, 0xAB, bytes);
    l->PAT_Turn(FALSE);
    for (size_t i = 0; i < bytes; ++i) {
      bool in = InBlocks(marked, i, s.rowBytes, format);
      ASSERT_EQ(s.backup[i], in ? edited[i] : original[i]) << format << " commit at " << i;
      ASSERT_EQ(s.helper[i], in ? 0 : 0xAB) << format << " helper at " << i;
      ASSERT_EQ(s.primary[i], edited[i]);
    }

    FillRandom(s.primary, bytes, 6);  // a second edit, then rolled back
    std::vector<BYTE> second(s.primary, s.primary + bytes);
    l->PAT_Turn(TRUE);
    for (size_t i = 0; i < bytes; ++i) {
      bool in = InBlocks(marked, i, s.rowBytes, format);
      ASSERT_EQ(s.primary[i], in ? edited[i] : second[i]) << format << " roll back at " << i;
    }

    // Cancel rolls back the same way and keeps the marks.
    FillRandom(s.primary, bytes, 7);
    std::vector<BYTE> third(s.primary, s.primary + bytes);
    std::memset(s.helper, 0xCD, bytes);
    l->PAT_Cancel();
    for (size_t i = 0; i < bytes; ++i) {
      bool in = InBlocks(marked, i, s.rowBytes, format);
      ASSERT_EQ(s.primary[i], in ? edited[i] : third[i]) << format << " cancel at " << i;
      ASSERT_EQ(s.helper[i], in ? 0 : 0xCD);
    }
    EXPECT_EQ(MarkedIn(l->PAT_GetMarkMap()), marked);
  }
}

TEST_F(LayerTest, TurnAndCancelNeedABackup) {
  GCompRef<OLayer> l = NewLayer(64, 64, 4);
  l->PAT_PrepareActivate(PAT_F_HELPER, nullptr);
  l->PAT_MarkSet(nullptr, nullptr);
  EXPECT_EQ(ThrownCondition([&] { l->PAT_Turn(FALSE); }), u"!m_pBackupBuffer");
  EXPECT_EQ(ThrownCondition([&] { l->PAT_Turn(TRUE); }), u"!m_pBackupBuffer");
  EXPECT_EQ(ThrownCondition([&] { l->PAT_Cancel(); }), u"!m_pBackupBuffer");
  LayerLock lock;
  lock.Lock(l, 0);
  EXPECT_EQ(ThrownCondition([&] { l->PAT_Deactivate(); }), u"!m_myState==myREADY");
}

}  // namespace
