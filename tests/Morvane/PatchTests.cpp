#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "MorvaneFixture.h"

namespace {

constexpr size_t kHead = 32 + 65536;

std::vector<BYTE> Contents(OData* d) {
  d->Rewind();
  std::vector<BYTE> v(d->GetSize());
  d->Read(v.data(), v.size());
  d->Rewind();
  return v;
}

GCompRef<OData> Contiguous(const std::vector<BYTE>& v) {
  GCompRef<OData> d = GNewData(v.size());
  d->Write(v.data(), v.size());
  return d;
}

BYTE* Pixels(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return lock.pPixels;
}

size_t SurfaceBytes(OLayer* l) {
  return size_t(l->GetPitch()) * size_t((l->GetHeight() + 63) & ~63) * size_t(l->GetPixelSize());
}

std::vector<BYTE> Snapshot(OLayer* l) { return {Pixels(l), Pixels(l) + SurfaceBytes(l)}; }

void FillRandom(OLayer* l, uint32_t seed) {
  std::mt19937 rng(seed);
  BYTE* p = Pixels(l);
  for (size_t i = 0, n = SurfaceBytes(l); i < n; i += 4) {
    uint32_t v = rng();
    std::memcpy(p + i, &v, 4);
  }
}

// Marks the blocks of the layer's own columns and rows that the pattern selects.
void MarkWhere(OLayer* l, const std::function<bool(int, int)>& pick) {
  l->PAT_MarkClear();
  BYTE* map = l->PAT_GetMarkMap();
  for (int r = 0; r < (l->GetHeight() + 63) / 64; ++r)
    for (int c = 0; c < l->GetPitch() / 64; ++c) map[r * 256 + c] = pick(c, r) ? 1 : 0;
}

bool Marked(const BYTE* map, size_t offset, size_t rowBytes, int pixelSize) {
  int row = int(offset / rowBytes) / 64, column = int(offset % rowBytes) / pixelSize / 64;
  return map[row * 256 + column] != 0;
}

TEST_F(LayerTest, NoMarkedBlockGivesTheBareRecord) {
  GCompRef<OLayer> l = NewLayer(100, 50, 4);
  l->SetPosition(3, -4, FALSE);
  l->SetColor(RGB(1, 2, 3));
  FillRandom(l, 1);
  std::vector<BYTE> before = Snapshot(l);
  EXPECT_EQ(l->PAT_GetBackupSize(), kHead);
  GCompRef<OData> b = l->PAT_Backup(FALSE);
  ASSERT_EQ(b->GetSize(), kHead);
  EXPECT_EQ(b->GetFragmentCount(), 1u);
  EXPECT_EQ(b->GetBuffer(), nullptr);  // the fragmented kind
  std::vector<BYTE> v = Contents(b);
  LayerInfo info = LoadLayerInfo(v.data());
  EXPECT_EQ(info.nWidth, 100);
  EXPECT_EQ(info.nHeight, 50);
  EXPECT_EQ(info.nPitch, 128);
  EXPECT_EQ(info.nPixelSize, 4);
  EXPECT_EQ(info.x, 3);
  EXPECT_EQ(info.y, -4);
  EXPECT_EQ(info.dwColor, 0xFF030201u);
  EXPECT_EQ(info.dwReserved, 0u);
  EXPECT_TRUE(std::all_of(v.begin() + 32, v.end(), [](BYTE x) { return x == 0; }));
  EXPECT_EQ(l->PAT_Restore(b), 1);
  EXPECT_EQ(Snapshot(l), before);
}

TEST_F(LayerTest, RecordHoldsTheRunsRowByRow) {
  GCompRef<OLayer> l = NewLayer(130, 70, 2);
  l->SetPosition(5, -7, FALSE);
  FillRandom(l, 2);
  l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
  std::vector<BYTE> backup = Snapshot(l);
  FillRandom(l, 3);
  std::vector<BYTE> live = Snapshot(l);
  MarkWhere(l, [](int c, int r) { return (r == 0 && c >= 1) || (r == 1 && c == 0); });
  ASSERT_EQ(l->PAT_GetBackupSize(), kHead + 3 * 2 * 4096);
  const size_t rowBytes = 192 * 2;
  for (BOOL fromBackup : {TRUE, FALSE}) {
    const std::vector<BYTE>& src = fromBackup ? backup : live;
    GCompRef<OData> b = l->PAT_Backup(fromBackup);
    std::vector<BYTE> v = Contents(b);
    ASSERT_EQ(v.size(), kHead + 3 * 2 * 4096);
    EXPECT_EQ(std::memcmp(v.data() + 32, l->PAT_GetMarkMap(), 65536), 0);
    // Run of blocks 1..2 in block row 0: 64 rows of 256 bytes; then block 0 of row 1.
    std::vector<BYTE> expect;
    for (int y = 0; y < 64; ++y) expect.insert(expect.end(), &src[y * rowBytes + 128], &src[y * rowBytes + 384]);
    for (int y = 64; y < 128; ++y) expect.insert(expect.end(), &src[y * rowBytes], &src[y * rowBytes + 128]);
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), v.begin() + kHead)) << fromBackup;
  }
}

TEST_F(LayerTest, UndoThenRedoIsBitExact) {
  struct Case {
    int format, width, height;
    std::function<bool(int, int)> pick;
    UINT fragments;
  } cases[] = {
      {2, 450, 300, [](int c, int r) { return (c + 3 * r) % 7 == 0; }, 1},  // sparse
      {4, 640, 448, [](int c, int r) { return (c + 2 * r) % 7 != 0; }, 2},  // spans two pages
  };
  for (const Case& k : cases) {
    GCompRef<OLayer> l = NewLayer(k.width, k.height, k.format);
    l->SetPosition(-30, 40, FALSE);
    FillRandom(l, 4);
    std::vector<BYTE> original = Snapshot(l);
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    MarkWhere(l, k.pick);
    std::vector<BYTE> marks(l->PAT_GetMarkMap(), l->PAT_GetMarkMap() + 65536);
    FillRandom(l, 5);  // the edit
    std::vector<BYTE> edited = Snapshot(l);
    GCompRef<OData> undo = l->PAT_Backup(TRUE);
    EXPECT_EQ(undo->GetFragmentCount(), k.fragments);
    l->PAT_MarkReset();  // the record brings its own marks

    GCompRef<OData> redo = l->PAT_Undo(undo);
    ASSERT_EQ(redo->GetSize(), undo->GetSize());
    std::vector<BYTE> now = Snapshot(l);
    const size_t rowBytes = size_t(l->GetPitch()) * size_t(k.format);
    for (size_t i = 0; i < now.size(); ++i) {
      ASSERT_EQ(now[i], Marked(marks.data(), i, rowBytes, k.format) ? original[i] : edited[i])
          << k.format << " at " << i;
    }
    EXPECT_EQ(std::memcmp(l->PAT_GetMarkMap(), marks.data(), 65536), 0);

    GCompRef<OData> again = l->PAT_Redo(redo);
    EXPECT_EQ(Snapshot(l), edited);
    EXPECT_EQ(Contents(again), Contents(undo));
    // Both restores went into the accumulated marks.
    l->PAT_MarkClear();
    EXPECT_TRUE(l->PAT_MarkRecall());
    EXPECT_EQ(std::memcmp(l->PAT_GetMarkMap(), marks.data(), 65536), 0);
  }
}

// Ending the transaction with its backup gives the record PAT_Backup(TRUE) gives, whether
// every block is marked (the backup's surface is kept) or some are (they are copied): the
// record undoes the edit, and reads alike in pieces that straddle the head and the rows,
// also when the swap asks for its fragments half way through a read. The backup is gone.
TEST_F(LayerTest, TheBackupTakenAtTheEndIsTheRecordOfItsCopy) {
  struct Case {
    int format, width, height;
    std::function<bool(int, int)> pick;
  } cases[] = {
      {4, 300, 200, [](int, int) { return true; }},
      {2, 450, 300, [](int c, int r) { return (c + 3 * r) % 7 == 0; }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.format);
    GCompRef<OLayer> l = NewLayer(k.width, k.height, k.format);
    FillRandom(l, 6);
    const std::vector<BYTE> original = Snapshot(l);
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    MarkWhere(l, k.pick);
    const std::vector<BYTE> marks(l->PAT_GetMarkMap(), l->PAT_GetMarkMap() + 65536);
    FillRandom(l, 7);
    const std::vector<BYTE> edited = Snapshot(l);
    GCompRef<OData> copy = l->PAT_Backup(TRUE);
    GCompRef<OData> taken = l->PAT_DeactivateToBackup();
    EXPECT_EQ(l->PAT_GetActiveFlags(), 0u);
    EXPECT_EQ(ThrownCondition([&] { GCompRef<OData> b = l->PAT_Backup(TRUE); }), u"!m_pBackupBuffer");

    l->PAT_MarkReset();
    GCompRef<OData> redo = l->PAT_Undo(taken);
    const std::vector<BYTE> now = Snapshot(l);
    const size_t rowBytes = size_t(l->GetPitch()) * size_t(k.format);
    for (size_t i = 0; i < now.size(); ++i)
      ASSERT_EQ(now[i], Marked(marks.data(), i, rowBytes, k.format) ? original[i] : edited[i]) << "at " << i;
    GCompRef<OData> again = l->PAT_Redo(redo);
    EXPECT_EQ(Snapshot(l), edited);

    const std::vector<BYTE> want = Contents(copy);
    ASSERT_EQ(taken->GetSize(), want.size());
    std::vector<BYTE> got(want.size());
    taken->Rewind();
    for (size_t at = 0, n; at < got.size(); at += n) {
      if (at > got.size() / 2 && at <= got.size() / 2 + 7777) {
        EXPECT_EQ(taken->GetFragmentCount(), copy->GetFragmentCount());
      }
      n = std::min<size_t>(7777, got.size() - at);
      taken->Read(got.data() + at, n);
    }
    EXPECT_EQ(got, want);
    for (UINT i = 0; i < copy->GetFragmentCount(); ++i)
      EXPECT_EQ(std::memcmp(taken->GetFragment(i), copy->GetFragment(i),
                            std::min<size_t>(NUVREL_FRAGMENT, want.size() - i * NUVREL_FRAGMENT)),
                0);
  }
}

TEST_F(LayerTest, ForeignOrMisSizedRecordsChangeNothing) {
  auto makeLayer = [&](int w, int h, int format, int x, int y) {
    GCompRef<OLayer> l = NewLayer(w, h, format);
    l->SetPosition(x, y, FALSE);
    FillRandom(l, uint32_t(w + h + x));
    MarkWhere(l, [](int c, int r) { return (c + r) % 2 == 0; });
    return l;
  };
  GCompRef<OLayer> l = makeLayer(200, 130, 4, 10, 20);
  std::vector<BYTE> valid = Contents(GCompRef<OData>(l->PAT_Backup(FALSE)));
  auto recordOf = [&](GCompRef<OLayer> other) { return Contents(GCompRef<OData>(other->PAT_Backup(FALSE))); };
  std::vector<BYTE> longer = valid, shorter = valid, extraMark = valid;
  longer.push_back(0);
  shorter.pop_back();
  extraMark[32 + 1] = 1;  // block (1, 0) claimed without its pixels
  struct Case {
    const char* what;
    std::vector<BYTE> record;
    const char16_t* condition;
  } cases[] = {
      {"one byte more", longer, u"!poData->GetSize()==cbDataSize"},
      {"one byte less", shorter, u"!poData->GetSize()==cbDataSize"},
      {"too short for info and map", std::vector<BYTE>(valid.begin(), valid.begin() + 100),
       u"!poData->GetSize()==cbDataSize"},
      {"map claims a block more", extraMark, u"!poData->GetSize()==cbDataSize"},
      {"layer moved right", recordOf(makeLayer(200, 130, 4, 11, 20)), u"INFO_NO_MATCH"},
      {"layer moved down", recordOf(makeLayer(200, 130, 4, 10, 19)), u"INFO_NO_MATCH"},
      {"other width, same pitch", recordOf(makeLayer(199, 130, 4, 10, 20)), u"INFO_NO_MATCH"},
      {"other height", recordOf(makeLayer(200, 131, 4, 10, 20)), u"INFO_NO_MATCH"},
      {"other format", recordOf(makeLayer(200, 130, 2, 10, 20)), u"INFO_NO_MATCH"},
  };
  // Marks that differ from every record's, in both maps.
  l->PAT_MarkClear();
  RECT block{10 + 192, 20 + 128, 10 + 193, 20 + 129};
  l->PAT_MarkSet(&block, nullptr);
  ASSERT_EQ(l->PAT_GetMarkMap()[2 * 256 + 3], 1);
  std::vector<BYTE> marks(l->PAT_GetMarkMap(), l->PAT_GetMarkMap() + 65536);
  std::vector<BYTE> pixels = Snapshot(l);
  for (const Case& c : cases) {
    for (int op = 0; op < 3; ++op) {
      GCompRef<OData> d = Contiguous(c.record);
      std::u16string got = ThrownCondition([&] {
        if (op == 0) l->PAT_Restore(d);
        GCompRef<OData> back = op == 1 ? l->PAT_Undo(d) : op == 2 ? l->PAT_Redo(d) : nullptr;
      });
      EXPECT_EQ(got, c.condition) << c.what << " op " << op;
      EXPECT_EQ(std::memcmp(l->PAT_GetMarkMap(), marks.data(), 65536), 0) << c.what << " op " << op;
      EXPECT_EQ(Snapshot(l), pixels) << c.what << " op " << op;
    }
  }
  // Nothing reached the accumulated map either.
  l->PAT_MarkClear();
  l->PAT_MarkRecall();
  EXPECT_EQ(std::memcmp(l->PAT_GetMarkMap(), marks.data(), 65536), 0);
  // The valid record still goes in.
  EXPECT_EQ(l->PAT_Restore(Contiguous(valid)), 1);
}

TEST_F(LayerTest, UndoDataErrorsCarryTheTrail) {
  GCompRef<OLayer> l = NewLayer(64, 64, 4);
  GCompRef<OLayer> other = NewLayer(65, 64, 4);
  GCompRef<OData> foreign = other->PAT_Backup(FALSE);
  try {
    GCompRef<OData> r = l->PAT_Redo(foreign);
    FAIL() << "no error";
  } catch (GErrRecord* e) {
    e->AddRef();
    std::u16string text(0x2000, u'\0');
    text.resize(e->CopyText(text.data(), 0x2000));
    e->Release();
    EXPECT_NE(text.find(u"INFO_NO_MATCH"), std::u16string::npos) << U8(text);
    EXPECT_NE(text.find(u"Morvane"), std::u16string::npos) << U8(text);
    EXPECT_NE(text.find(u"::PAT_Redo()"), std::u16string::npos) << U8(text);
  }
  EXPECT_EQ(ThrownCondition([&] { GCompRef<OData> b = l->PAT_Backup(TRUE); }), u"!m_pBackupBuffer");
  LayerLock lock;
  lock.Lock(l, 0);
  EXPECT_EQ(ThrownCondition([&] { GCompRef<OData> b = l->PAT_Backup(FALSE); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { l->PAT_Restore(foreign); }), u"!m_myState==myREADY");
}

}  // namespace
