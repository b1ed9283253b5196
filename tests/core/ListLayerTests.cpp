#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/Thrown.h"
#include "Morvane.h"
#include "XCoderZlib.h"
#include "XShowDevice.h"
#include "common/FakeSystem.h"
#include "common/MemFiles.h"
#include "odata/GCompRef.h"
#include "odata/LayerRecordHeader.h"
#include "odata/LittleEndian.h"
#include "panels/LayerRecordPipeline.h"
#include "panels/MyListLayer.h"
#include "core/FileRefusal.h"
#include "platform/base/Files.h"
#include "platform/base/Memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the list announced, in order.
struct Recorder final : ILayerListObserver {
  std::vector<std::string> events;
  void OnRowsChanged() override { events.push_back("rows"); }
  void OnRowChanged(int i) override { events.push_back("row" + std::to_string(i)); }
  void OnSelChanged(int o, int n) override { events.push_back("sel" + std::to_string(o) + ">" + std::to_string(n)); }
  void OnMessage(const char16_t* t) override { events.push_back("msg:" + plat::ToUtf8(t)); }
  bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events) n += e.rfind(prefix, 0) == 0;
    return n;
  }
};

struct LayerSpec {
  int w, h, format;
  UINT id;
  uint32_t flags;
  const char16_t* name;
  COLORREF color;
  int x, y;
};

class ListLayerTest : public ::testing::Test {
 protected:
  ListLayerTest() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    sys.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    sys.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    device = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    list = std::make_unique<CMyListLayer>(&sys, device);
    list->SetObserver(&obs);
    dir = plat::GetTempFolder() + u"tavrik_listlayer_" + plat::Widen(std::to_string(::getpid()));
    std::system(("mkdir -p '" + plat::ToUtf8(dir) + "'").c_str());
    path = dir + u"/section.bin";
  }
  void TearDown() override {
    list.reset();
    other.reset();
    std::system(("rm -rf '" + plat::ToUtf8(dir) + "'").c_str());
    // Every layer and coder a test made has gone again.
    for (const char16_t* name : {u"Morvane", u"XEncoderZlib", u"XDecoderZlib"}) EXPECT_EQ(sys.Entry(name)->Refs(), 0) << U8(name);
  }
  int LiveLayers() { return sys.Entry(u"Morvane")->Refs(); }

  // A layer with its pixels filled from the seed (count 0 until someone takes it).
  OLayer* Make(const LayerSpec& s, uint32_t seed = 1) {
    OLayer* l = device->CreateLayer(s.w, s.h, s.format, s.id);
    l->SetFlags(s.flags);
    l->SetName(s.name);
    l->SetColor(s.color);
    l->SetPosition(s.x, s.y, FALSE);
    LayerLock lock;
    lock.Lock(l, 0);
    for (int y = 0; y < s.h; ++y)
      for (uint32_t i = 0; i < uint32_t(s.w * s.format); ++i) lock.Row(y)[i] = BYTE((seed * 2654435761u + i * 31 + uint32_t(y) * 17) >> 7);
    lock.Unlock();
    l->MipRefresh(nullptr);
    return l;
  }
  OLayer* Tiny(UINT id) { return Make({1, 1, OLayer::myFORMAT_A16, id, 0, u"", 0, 0, 0}); }
  void Fill(CMyListLayer& l, std::initializer_list<UINT> ids) {
    for (UINT id : ids) l.AddLayer(-1, Tiny(id));
  }
  std::vector<UINT> Ids(CMyListLayer& l) {
    std::vector<UINT> ids;
    for (int i = 0; i < l.GetCount(); ++i) ids.push_back(l.GetLayer(i)->GetID());
    return ids;
  }

  // The section as written behind a 7-byte prefix; *counted gets what Save reported.
  Bytes WriteSection(CMyListLayer& from, uint64_t* counted = nullptr) {
    GCompRef<CFileOut> out = new CFileOut();
    EXPECT_TRUE(out->Open(path.c_str()));
    EXPECT_EQ(out->Write("prefix!", 7, 1), 1u);
    uint64_t bytes = 0;
    UINT progress = 1;
    OFileSave* unit = from.GetFileSave();
    EXPECT_TRUE(unit->Begin(&progress));
    EXPECT_TRUE(unit->Save(out, &bytes, nullptr));
    EXPECT_TRUE(unit->End());
    EXPECT_TRUE(out->Close());
    Bytes all = ReadAll();
    if (counted) *counted = bytes;
    EXPECT_EQ(bytes + 7, all.size());
    return Bytes(all.begin() + 7, all.end());
  }
  // Reads a section (behind the prefix, a trailer after it) into the list through Begin,
  // Load and End(failed), as the container does. Returns Load's answer.
  BOOL ReadSection(CMyListLayer& into, const Bytes& section, uint64_t* counted = nullptr) {
    Bytes file = {'p', 'r', 'e', 'f', 'i', 'x', '!'};
    file.insert(file.end(), section.begin(), section.end());
    file.insert(file.end(), {'T', 'A', 'I', 'L'});
    WriteAll(file);
    GCompRef<CFileIn> in = new CFileIn();
    EXPECT_TRUE(in->Open(path.c_str()));
    EXPECT_TRUE(in->Seek(7, 0));
    OFileLoad* unit = into.GetFileLoad();
    EXPECT_TRUE(unit->Begin());
    uint64_t bytes = 0;
    const BOOL ok = unit->Load(in, &bytes, nullptr);
    if (ok) {
      EXPECT_EQ(in->Tell(), int64_t(7 + section.size())) << "the section read past its end";
    }
    EXPECT_TRUE(unit->End(!ok));
    if (counted) *counted = bytes;
    return ok;
  }
  Bytes ReadAll() {
    std::ifstream in(plat::ToUtf8(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void WriteAll(const Bytes& b) {
    std::ofstream out(plat::ToUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }
  static void SetHeader(Bytes& s, uint32_t size, uint32_t count, uint32_t sel) {
    PutLE32(s.data() + 4, size);
    PutLE32(s.data() + 8, count);
    PutLE32(s.data() + 12, sel);
    PutLE32(s.data(), size + count + sel);
  }
  // A layer record around the given stream: unnamed, every property value 0, spare bytes
  // after the stream inside the record's size.
  static Bytes Record(uint32_t w, uint32_t h, uint32_t format, int32_t x, int32_t y, const Bytes& stream,
                      uint32_t spare = 0) {
    LayerRecordHeader fh;
    fh.dwFileSize = uint32_t(LAYER_RECORD_PIXELS + stream.size() + spare);
    fh.dwID = 1;
    fh.dwFormat = format;
    fh.dwWidth = w;
    fh.dwHeight = h;
    fh.x = x;
    fh.y = y;
    fh.dwTest = fh.Sum();
    Bytes r(LAYER_RECORD_PIXELS + stream.size() + spare, 0xEE);
    std::fill(r.begin(), r.begin() + LAYER_RECORD_PIXELS, 0);
    fh.Store(r.data());
    std::copy(stream.begin(), stream.end(), r.begin() + LAYER_RECORD_PIXELS);
    return r;
  }
  // A section of the records, the first one selected, its dwSize true.
  static Bytes Section(const std::vector<Bytes>& records) {
    Bytes s(32, 0);
    for (const Bytes& r : records) s.insert(s.end(), r.begin(), r.end());
    SetHeader(s, uint32_t(s.size()), uint32_t(records.size()), 0);
    return s;
  }
  // A zlib stream of the bytes, and of n zero bytes.
  static Bytes Deflate(const Bytes& data) {
    uLongf n = compressBound(uLong(data.size()));
    Bytes out(n);
    EXPECT_EQ(compress2(out.data(), &n, data.data(), uLong(data.size()), 9), Z_OK);
    out.resize(n);
    return out;
  }
  // A zlib stream of n zero bytes. Each MiB is coded once and its block repeated: a full
  // flush makes every block stand alone, so the stream of hundreds of megabytes costs no
  // more to make than one.
  static Bytes ZeroStream(uint64_t n) {
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    const Bytes zeros(1 << 20, 0);
    auto code = [&](uInt bytes) {
      Bytes out(deflateBound(&z, bytes) + 64);
      z.next_in = const_cast<Bytef*>(zeros.data());
      z.avail_in = bytes;
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
      out.resize(out.size() - z.avail_out);
      return out;
    };
    Bytes out = code(0);  // the zlib header
    const uint64_t whole = n / zeros.size();
    if (whole) {
      const Bytes block = code(uInt(zeros.size()));
      for (uint64_t i = 0; i < whole; ++i) out.insert(out.end(), block.begin(), block.end());
    }
    if (n % zeros.size()) {
      const Bytes rest = code(uInt(n % zeros.size()));
      out.insert(out.end(), rest.begin(), rest.end());
    }
    deflateEnd(&z);
    // An empty last block, then the check of all n bytes.
    uLong check = adler32(0, nullptr, 0);
    for (uint64_t left = n; left;) {
      const uInt take = uInt(std::min<uint64_t>(left, zeros.size()));
      check = adler32(check, zeros.data(), take);
      left -= take;
    }
    out.insert(out.end(), {0x03, 0x00, BYTE(check >> 24), BYTE(check >> 16), BYTE(check >> 8), BYTE(check)});
    return out;
  }

  FakeSystem sys;
  GCompRef<OShowDevice> device;
  std::unique_ptr<CMyListLayer> list, other;
  Recorder obs;
  std::u16string dir, path;
};

// ---- the model ----

TEST_F(ListLayerTest, RowsKeepTheirLayersAndTheSelectionFollowsItsLayer) {
  OLayer* a = Tiny(1);
  OLayer* b = Tiny(2);
  OLayer* c = Tiny(3);
  EXPECT_EQ(list->AddLayer(-1, a), 0);
  EXPECT_EQ(list->AddLayer(99, b), 1);  // past the end appends
  EXPECT_EQ(list->AddLayer(0, c), 0);   // c a b
  EXPECT_EQ(list->AddLayer(0, nullptr), -1);
  EXPECT_EQ(LiveLayers(), 3);
  EXPECT_EQ(list->GetLayer(-1), nullptr);
  EXPECT_EQ(list->GetLayer(3), nullptr);
  EXPECT_EQ(list->GetCurLayer(), nullptr);

  list->SetCurSelect(1);
  EXPECT_EQ(list->GetCurLayer(), a);
  EXPECT_TRUE(obs.Has("sel-1>1"));
  obs.events.clear();
  list->AddLayer(0, Tiny(4));  // above the selected row: the selection moves with a
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_EQ(list->GetCurLayer(), a);
  EXPECT_EQ(obs.Count("sel"), 0);
  EXPECT_EQ(obs.Count("rows"), 1);

  // The detached row's reference goes to the caller.
  OLayer* top = list->DetachLayer(0);
  EXPECT_EQ(list->GetCurLayer(), a);
  EXPECT_EQ(LiveLayers(), 4);
  top->Release();
  EXPECT_EQ(LiveLayers(), 3);
  EXPECT_EQ(list->DetachLayer(3), nullptr);

  // Taking the selected row leaves no selection, announced.
  obs.events.clear();
  GCompRef<OLayer> held;
  held.m_ptr = list->DetachLayer(1);
  EXPECT_EQ(held.get(), a);
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_TRUE(obs.Has("sel1>-1"));

  // Out of range selects nothing; the same index is announced again (the row may hold a
  // new layer).
  list->SetCurSelect(7);
  EXPECT_EQ(list->GetCurSel(), -1);
  list->SetCurSelect(0);
  obs.events.clear();
  list->SetCurSelect(0);
  EXPECT_TRUE(obs.Has("sel0>0"));
}

TEST_F(ListLayerTest, MoveLayerShiftsTheRowsBetween) {
  struct Case {
    int from, to;
    BOOL moved;
    std::vector<UINT> ids;
    int sel;  // row 1 (ID 2) selected before
  } cases[] = {
      {0, 3, TRUE, {2, 3, 4, 1}, 0},  {3, 0, TRUE, {4, 1, 2, 3}, 2},  {1, 2, TRUE, {1, 3, 2, 4}, 2},
      {2, 2, FALSE, {1, 2, 3, 4}, 1}, {-1, 2, FALSE, {1, 2, 3, 4}, 1}, {0, 4, FALSE, {1, 2, 3, 4}, 1},
  };
  for (const Case& c : cases) {
    list->DetachSpace();
    Fill(*list, {1, 2, 3, 4});
    list->SetCurSelect(1);
    obs.events.clear();
    EXPECT_EQ(list->MoveLayer(c.from, c.to), c.moved) << c.from << "->" << c.to;
    EXPECT_EQ(Ids(*list), c.ids) << c.from << "->" << c.to;
    EXPECT_EQ(list->GetCurSel(), c.sel) << c.from << "->" << c.to;
    EXPECT_EQ(list->GetCurLayer()->GetID(), 2u);
    EXPECT_EQ(obs.Count("sel"), 0);
  }
}

TEST_F(ListLayerTest, SixtyFourRowsAtMost) {
  for (UINT i = 1; i <= LYR_MAX_SUM; ++i) ASSERT_EQ(list->AddLayer(0, Tiny(i)), 0);
  GCompRef<OLayer> extra = Tiny(99);
  EXPECT_EQ(list->AddLayer(-1, extra), -1);
  EXPECT_EQ(list->GetCount(), LYR_MAX_SUM);
}

TEST_F(ListLayerTest, RedrawOffGathersRowChangesIntoOne) {
  Fill(*list, {1, 2});
  obs.events.clear();
  list->SetRedraw(FALSE);
  list->AddLayer(-1, Tiny(3));
  list->RedrawItem(0);
  list->SetCurSelect(1);  // the selection is still told at once
  EXPECT_EQ(obs.events, std::vector<std::string>{"sel-1>1"});
  list->SetRedraw(TRUE);
  EXPECT_EQ(obs.events, (std::vector<std::string>{"sel-1>1", "rows"}));
  list->SetRedraw(FALSE);
  list->SetRedraw(TRUE);  // nothing happened in between
  EXPECT_EQ(obs.Count("rows"), 1);
  list->RedrawItem(5);  // not a row
  list->RedrawItem(1);
  EXPECT_EQ(obs.events.back(), "row1");
}

TEST_F(ListLayerTest, AttachSpaceWantsAnEmptyListAndDetachReleasesEveryRow) {
  int spaceStandIn = 0;
  auto* space = reinterpret_cast<CPaintSpace*>(&spaceStandIn);
  list->AttachSpace(space);
  EXPECT_EQ(list->GetSpace(), space);
  Fill(*list, {1, 2, 3});
  list->SetCurSelect(2);
  EXPECT_EQ(ThrownCondition([&] { list->AttachSpace(space); }), u"!GetCount()==0");
  obs.events.clear();
  list->DetachSpace();
  EXPECT_EQ(list->GetSpace(), nullptr);
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_EQ(LiveLayers(), 0);
  EXPECT_EQ(obs.Count("sel"), 0);  // the space is going: no tool is told
  list->AttachSpace(space);
}

TEST_F(ListLayerTest, LayerIDs) {
  EXPECT_EQ(list->NewLayerID(), 1u);
  EXPECT_TRUE(list->VerifyUniqueID());
  Fill(*list, {4, 1, 2});
  EXPECT_EQ(list->NewLayerID(), 3u);
  EXPECT_TRUE(list->VerifyUniqueID());
  list->AddLayer(-1, Tiny(2));
  EXPECT_FALSE(list->VerifyUniqueID());
}

TEST_F(ListLayerTest, EndSpaceUndoPutsTheSelectionBackClamped) {
  struct Case {
    const char* what;
    int selBefore;
    int detachTop, detachBottom;  // rows taken off during the "undo"
    bool replaceSelected;         // the selected row gets another layer
    int selAfter;
    bool announced;
  } cases[] = {
      {"unchanged", 2, 0, 0, false, 2, false},
      {"clamped to the count", 3, 0, 2, false, 1, true},
      {"clamped onto the same layer", 3, 2, 0, false, 1, false},
      {"back to the index, another layer", 0, 1, 0, false, 0, true},
      {"no selection stays none", -1, 1, 0, false, -1, false},
      {"all rows gone", 1, 4, 0, false, -1, true},
      {"same row, new layer", 1, 0, 0, true, 1, true},
  };
  for (const Case& c : cases) {
    list->DetachSpace();
    Fill(*list, {1, 2, 3, 4});
    list->SetCurSelect(c.selBefore);
    list->BeginSpaceUndo();
    // What an undo of the list's own records may do meanwhile.
    list->SetRedraw(FALSE);
    for (int i = 0; i < c.detachTop; ++i) list->DetachLayer(0)->Release();
    for (int i = 0; i < c.detachBottom; ++i) list->DetachLayer(list->GetCount() - 1)->Release();
    if (c.replaceSelected) {
      list->DetachLayer(c.selBefore)->Release();
      list->AddLayer(c.selBefore, Tiny(9));
    }
    obs.events.clear();
    list->EndSpaceUndo();
    list->SetRedraw(TRUE);
    EXPECT_EQ(list->GetCurSel(), c.selAfter) << c.what;
    EXPECT_EQ(obs.Count("sel"), c.announced ? 1 : 0) << c.what;
  }
}

TEST_F(ListLayerTest, EndSpaceUndoRefreshesChangedLayersAndChecksIDs) {
  const LayerSpec s{64, 64, OLayer::myFORMAT_C32, 1, 0, u"", 0, 0, 0};
  OLayer* moved = Make(s);
  OLayer* still = Make({64, 64, OLayer::myFORMAT_C32, 2, 0, u"", 0, 0, 0});
  OLayer* marked = Make({64, 64, OLayer::myFORMAT_C32, 3, 0, u"", 0, 0, 0});
  list->AddLayer(-1, moved);
  list->AddLayer(-1, still);
  list->AddLayer(-1, marked);
  list->BeginSpaceUndo();
  // New pixels in all three without a mip refresh; only the first says its position changed.
  for (OLayer* l : {moved, still, marked}) {
    LayerLock lock;
    lock.Lock(l, 0);
    for (int y = 0; y < 64; ++y) std::fill(lock.Row(y), lock.Row(y) + 256, BYTE(0xFF));
  }
  moved->AddChangeFlags(LYR_CHANGE_POSITION);
  list->MarkChanged(2);
  obs.events.clear();
  list->EndSpaceUndo();
  auto level1 = [](OLayer* l) {
    ShowParam p;
    l->GetShowParam(&p, 1);
    return GetLE32(p.pPixels);
  };
  EXPECT_EQ(level1(moved), 0xFFFFFFFFu);
  EXPECT_NE(level1(still), 0xFFFFFFFFu);
  EXPECT_TRUE(obs.Has("row0"));
  EXPECT_FALSE(obs.Has("row1"));
  EXPECT_TRUE(obs.Has("row2"));

  list->AddLayer(-1, Tiny(2));
  list->BeginSpaceUndo();
  EXPECT_EQ(ThrownCondition([&] { list->EndSpaceUndo(); }), u"!VerifyUniqueID()");
}

TEST_F(ListLayerTest, CheckMemoryRule) {
  constexpr uint64_t MB = 1 << 20, GB = uint64_t(1) << 30;
  struct Case {
    uint64_t one, all, total;
    BOOL allowed;
  } cases[] = {
      {MB, MB, 8 * GB, TRUE},                     // 8 GB cut to 32 bits would be 0
      {MB, MB, 4 * GB, TRUE},
      {256 * MB - 1, 256 * MB - 1, 64 * GB, TRUE},
      {256 * MB, 256 * MB, 64 * GB, FALSE},       // one layer at 256 MB
      {MB, GB - 1, 64 * GB, TRUE},
      {MB, GB, 64 * GB, FALSE},                   // all layers at 1 GB
      {MB, 4 * GB + MB, 64 * GB, FALSE},          // past 32 bits: no wrap to 1 MB
      {100 * MB, 100 * MB, 400 * MB, FALSE},      // a quarter of the machine
      {99 * MB, 199 * MB, 400 * MB, TRUE},
      {MB, 200 * MB, 400 * MB, FALSE},            // half of the machine
      {MB, MB, 0, FALSE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CMyListLayer::MemoryAllows(c.one, c.all, c.total), c.allowed) << c.one << " " << c.all << " " << c.total;
}

TEST_F(ListLayerTest, CheckMemoryRefusesLargeLayersAndTheFiftiethRow) {
  EXPECT_TRUE(list->CheckMemory(100, 100, OLayer::myFORMAT_C32, -1));
  EXPECT_FALSE(list->CheckMemory(10000, 10000, OLayer::myFORMAT_C32, -1));
  EXPECT_EQ(obs.events, std::vector<std::string>{"msg:内存不足"});
  obs.events.clear();
  for (UINT i = 1; i < LYR_CREATE_MAX_ROWS; ++i) list->AddLayer(-1, Tiny(i));
  EXPECT_TRUE(list->CheckMemory(1, 1, OLayer::myFORMAT_A16, -1));
  list->AddLayer(-1, Tiny(99));
  EXPECT_FALSE(list->CheckMemory(1, 1, OLayer::myFORMAT_A16, -1));
  EXPECT_EQ(obs.events.back(), "msg:容量不足");
  // Memory is judged first.
  EXPECT_FALSE(list->CheckMemory(10000, 10000, OLayer::myFORMAT_C32, 3));
  EXPECT_EQ(obs.events.back(), "msg:内存不足");
}

// ---- the document section ----

TEST_F(ListLayerTest, EmptyListWritesABareHeader) {
  uint64_t counted = 0;
  const Bytes s = WriteSection(*list, &counted);
  ASSERT_EQ(s.size(), 32u);
  EXPECT_EQ(counted, 32u);
  EXPECT_EQ(GetLE32(&s[4]), 32u);
  EXPECT_EQ(GetLE32(&s[8]), 0u);
  EXPECT_EQ(GetLE32(&s[12]), 0xFFFFFFFFu);
  EXPECT_EQ(GetLE32(&s[0]), uint32_t(32 + 0xFFFFFFFFu));
  EXPECT_EQ(Bytes(s.begin() + 16, s.end()), Bytes(16, 0));
  other = std::make_unique<CMyListLayer>(&sys, device);
  EXPECT_TRUE(ReadSection(*other, s, &counted));
  EXPECT_EQ(counted, 32u);
  EXPECT_EQ(other->GetCount(), 0);
  EXPECT_EQ(other->GetCurSel(), -1);
}

TEST_F(ListLayerTest, LayersRoundTripWithTheirAttributesAndTheSelection) {
  const LayerSpec specs[] = {
      {70, 33, OLayer::myFORMAT_C32, 7, LYR_FLAG_HIDDEN | LYR_FLAG_NEST, u"彩色图层", 0x7F112233, -5, 12},
      {1, 1, OLayer::myFORMAT_A16, 3, LYR_FLAG_PROTECT, u"", 0x00FF00, 0, 0},
      {130, 65, OLayer::myFORMAT_A16, 12, LYR_FLAG_SOURCE, u"单色图层 mask", 0x0000F0, 300, -40},
  };
  for (int sel : {-1, 0, 2}) {
    list->DetachSpace();
    uint32_t seed = 1;
    for (const LayerSpec& s : specs) list->AddLayer(-1, Make(s, seed++));
    list->SetCurSelect(sel);
    uint64_t counted = 0;
    const Bytes first = WriteSection(*list, &counted);
    EXPECT_EQ(GetLE32(&first[4]), first.size());
    EXPECT_EQ(GetLE32(&first[8]), 3u);
    EXPECT_EQ(GetLE32(&first[12]), uint32_t(sel));
    EXPECT_EQ(GetLE32(&first[0]), uint32_t(first.size() + 3 + uint32_t(sel)));

    other = std::make_unique<CMyListLayer>(&sys, device);
    Recorder seen;
    other->SetObserver(&seen);
    ASSERT_TRUE(ReadSection(*other, first, &counted)) << sel;
    EXPECT_EQ(counted, first.size());
    ASSERT_EQ(other->GetCount(), 3);
    EXPECT_EQ(other->GetCurSel(), sel);
    EXPECT_TRUE(seen.Has("sel-1>" + std::to_string(sel)));
    EXPECT_EQ(seen.Count("rows"), 1);  // one redraw for the whole document
    for (int i = 0; i < 3; ++i) {
      OLayer* a = list->GetLayer(i);
      OLayer* b = other->GetLayer(i);
      EXPECT_EQ(b->GetID(), a->GetID());
      EXPECT_EQ(b->GetFormat(), a->GetFormat());
      EXPECT_EQ(b->GetWidth(), a->GetWidth());
      EXPECT_EQ(b->GetHeight(), a->GetHeight());
      EXPECT_EQ(b->GetFlags(), a->GetFlags());
      EXPECT_EQ(std::u16string(b->GetName()), std::u16string(a->GetName()));
      EXPECT_EQ(b->GetColor(nullptr, nullptr), a->GetColor(nullptr, nullptr));
      POINT pa, pb;
      a->GetPosition(&pa, FALSE);
      b->GetPosition(&pb, FALSE);
      EXPECT_EQ(pb.x, pa.x);
      EXPECT_EQ(pb.y, pa.y);
    }
    // The pixels too: the loaded list writes the same bytes.
    EXPECT_TRUE(WriteSection(*other) == first) << sel;
    other.reset();
  }
}

TEST_F(ListLayerTest, DamagedSectionsAreRefusedWithNothingLeft) {
  Fill(*list, {1, 2});
  list->AddLayer(-1, Make({40, 20, OLayer::myFORMAT_C32, 3, 0, u"c", 0, 0, 0}));
  list->SetCurSelect(1);
  const Bytes good = WriteSection(*list);
  const uint32_t size = GetLE32(&good[4]);
  const size_t third = size_t(size) - 100;  // inside the last record
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"one byte of dwCurSel", [](Bytes& s) { s[12] ^= 0x01; }},
      {"check word off by one", [](Bytes& s) { PutLE32(&s[0], GetLE32(&s[0]) + 1); }},
      {"one layer more announced", [&](Bytes& s) { SetHeader(s, size, 4, 1); }},
      {"a truncated layer record", [&](Bytes& s) { s.resize(third); }},
      {"a damaged layer record", [&](Bytes& s) { s[32 + GetLE32(&s[36]) + 8] ^= 0x40; }},
      {"a header cut short", [](Bytes& s) { s.resize(20); }},
  };
  for (const Case& c : cases) {
    Bytes s = good;
    c.damage(s);
    other = std::make_unique<CMyListLayer>(&sys, device);
    Recorder seen;
    other->SetObserver(&seen);
    EXPECT_FALSE(ReadSection(*other, s)) << c.what;
    EXPECT_EQ(other->GetCount(), 0) << c.what;
    EXPECT_EQ(other->GetCurSel(), -1) << c.what;
    EXPECT_EQ(seen.Count("msg"), 0) << c.what;
    EXPECT_EQ(LiveLayers(), 3) << c.what << ": a loaded layer outlived the failure";
    other.reset();
  }
  // Short of the damage the section still loads.
  other = std::make_unique<CMyListLayer>(&sys, device);
  EXPECT_TRUE(ReadSection(*other, good));
  EXPECT_EQ(other->GetCount(), 3);
}

// dwSize is written true but not relied on when reading: the records say where they end.
TEST_F(ListLayerTest, ASectionWhoseSizeIsWrongStillLoads) {
  Fill(*list, {1, 2});
  list->AddLayer(-1, Make({40, 20, OLayer::myFORMAT_C32, 3, 0, u"c", 0, 0, 0}));
  const Bytes good = WriteSection(*list);
  const uint32_t size = GetLE32(&good[4]);
  for (uint32_t wrong : {size + 1, size - 1, 0u, 32u + 3 * 220 - 1, 0xFFFFFFFFu}) {
    Bytes s = good;
    SetHeader(s, wrong, 3, 1);
    other = std::make_unique<CMyListLayer>(&sys, device);
    uint64_t counted = 0;
    EXPECT_TRUE(ReadSection(*other, s, &counted)) << wrong;
    EXPECT_EQ(counted, good.size()) << wrong;
    EXPECT_EQ(Ids(*other), (std::vector<UINT>{1, 2, 3})) << wrong;
    other.reset();
  }
}

TEST_F(ListLayerTest, SelectionBeyondTheRowsLoadsAsNone) {
  Fill(*list, {1, 2});
  for (uint32_t sel : {2u, 0x7FFFFFFFu}) {
    Bytes s = WriteSection(*list);
    SetHeader(s, GetLE32(&s[4]), 2, sel);
    other = std::make_unique<CMyListLayer>(&sys, device);
    EXPECT_TRUE(ReadSection(*other, s));
    EXPECT_EQ(other->GetCount(), 2);
    EXPECT_EQ(other->GetCurSel(), -1) << sel;
    other.reset();
  }
}

TEST_F(ListLayerTest, SixtyFiveLayersAnnouncedAreRefused) {
  Bytes s(32, 0);
  SetHeader(s, 32 + 65 * 220, 65, 0xFFFFFFFF);
  other = std::make_unique<CMyListLayer>(&sys, device);
  file_refusal::Take();
  EXPECT_FALSE(ReadSection(*other, s));
  EXPECT_EQ(U8(file_refusal::Take()), "图层数 65 超过上限 64");
  EXPECT_EQ(LiveLayers(), 0);
  EXPECT_EQ(other->GetCount(), 0);
}

TEST_F(ListLayerTest, LoadingWantsAnEmptyListAndOneLoadAtATime) {
  Fill(*list, {1, 2});
  const Bytes s = WriteSection(*list);
  EXPECT_FALSE(list->GetFileLoad()->Begin());

  other = std::make_unique<CMyListLayer>(&sys, device);
  WriteAll(s);
  GCompRef<CFileIn> in = new CFileIn();
  ASSERT_TRUE(in->Open(path.c_str()));
  OFileLoad* unit = other->GetFileLoad();
  ASSERT_TRUE(unit->Begin());
  ASSERT_TRUE(unit->Load(in, nullptr, nullptr));
  EXPECT_EQ(LiveLayers(), 4);
  EXPECT_EQ(ThrownCondition([&] { unit->Load(in, nullptr, nullptr); }), u"!0==m_nLayerCount");
  // Rows that appeared meanwhile win: what was read goes.
  other->AddLayer(-1, Tiny(5));
  EXPECT_TRUE(unit->End(FALSE));
  EXPECT_EQ(Ids(*other), std::vector<UINT>{5});
  EXPECT_EQ(LiveLayers(), 3);
}

TEST_F(ListLayerTest, DuplicateIDsAreRenumberedOnLoad) {
  Fill(*list, {5, 5, 1, 1, 2});
  const Bytes s = WriteSection(*list);
  other = std::make_unique<CMyListLayer>(&sys, device);
  ASSERT_TRUE(ReadSection(*other, s));
  EXPECT_EQ(Ids(*other), (std::vector<UINT>{5, 3, 1, 4, 2}));
  EXPECT_TRUE(other->VerifyUniqueID());
}

// The mark that stays is the one the tools take as the source: the lowest row's.
TEST_F(ListLayerTest, OnlyTheLowestSourceMarkSurvivesALoad) {
  Fill(*list, {1, 2, 3, 4});
  const uint32_t flags[] = {LYR_FLAG_HIDDEN, LYR_FLAG_SOURCE | LYR_FLAG_PROTECT, 0, LYR_FLAG_SOURCE | LYR_FLAG_NEST};
  for (int i = 0; i < 4; ++i) list->GetLayer(i)->SetFlags(flags[i]);
  const Bytes s = WriteSection(*list);
  other = std::make_unique<CMyListLayer>(&sys, device);
  ASSERT_TRUE(ReadSection(*other, s));
  std::vector<uint32_t> loaded;
  for (int i = 0; i < other->GetCount(); ++i) loaded.push_back(other->GetLayer(i)->GetFlags());
  EXPECT_EQ(list->GetSourceLayer(), list->GetLayer(3));
  EXPECT_EQ(loaded, (std::vector<uint32_t>{LYR_FLAG_HIDDEN, LYR_FLAG_PROTECT, 0, LYR_FLAG_SOURCE | LYR_FLAG_NEST}));
  EXPECT_EQ(other->GetSourceLayer(), other->GetLayer(3));
}

// Documents a few megabytes long (their streams of zeros) whose layers need more memory than the program allows
// itself, or than the machine has once the paint tool copies the selected layer, are refused
// from their records' heads before the first layer is made, the need in the reason.
TEST_F(ListLayerTest, DocumentsBeyondTheMemoryLimitsAreRefusedBeforeAnyLayerIsMade) {
  const uint32_t C32 = OLayer::myFORMAT_C32, A16 = OLayer::myFORMAT_A16;
  auto zeros = [&](uint32_t w, uint32_t h, uint32_t format) {
    return Record(w, h, format, 0, 0, ZeroStream(uint64_t((w + 63) & ~63u) * ((h + 63) & ~63u) * format));
  };
  auto need = [&](uint32_t w, uint32_t h, uint32_t format) { return device->GetLayerMemorySize(int(w), int(h), int(format)); };
  plat::MemoryStatus memory{};
  ASSERT_TRUE(plat::GetMemoryStatus(&memory));
  const uint64_t layerLimit = CMyListLayer::LayerLimit(memory.totalPhysical);
  const uint64_t allLimit = CMyListLayer::AllLayersLimit(memory.totalPhysical);
  const Bytes huge = zeros(10000, 10000, C32), middle = zeros(3000, 3000, C32), small = zeros(1000, 1000, C32);
  const Bytes mask = zeros(10000, 10000, A16);
  // Two colour layers of 1000 x 1000 and the paint tool's two copies of the first.
  const uint64_t twoSmall = 2 * need(1000, 1000, C32), copies = 2 * uint64_t(1024) * 1024 * 4;
  struct Case {
    const char* what;
    std::vector<Bytes> records;
    std::u16string reason;
    uint64_t available;  // what the machine is said to have free
  };
  const Case cases[] = {
      {"one colour layer of 10000 x 10000", {huge}, file_refusal::LayerOverLimit(1, need(10000, 10000, C32), layerLimit), UINT64_MAX},
      {"30 of them, an 11.8 MB file", std::vector<Bytes>(30, huge),
       file_refusal::LayerOverLimit(1, need(10000, 10000, C32), layerLimit), UINT64_MAX},
      {"64 of them", std::vector<Bytes>(LYR_MAX_SUM, huge), file_refusal::LayerOverLimit(1, need(10000, 10000, C32), layerLimit),
       UINT64_MAX},
      {"a small layer, then a mask of 10000 x 10000", {small, mask},
       file_refusal::LayerOverLimit(2, need(10000, 10000, A16), layerLimit), UINT64_MAX},
      {"64 colour layers of 3000 x 3000, a 1.5 MB file", std::vector<Bytes>(LYR_MAX_SUM, middle),
       file_refusal::LayersOverLimit(LYR_MAX_SUM * need(3000, 3000, C32), allLimit), UINT64_MAX},
      {"two small layers and the paint tool's copies, one byte short", {small, small},
       file_refusal::NotEnoughMemory(twoSmall + copies, twoSmall + copies - 1), twoSmall + copies - 1},
  };
  for (const Case& c : cases) {
    const Bytes s = Section(c.records);
    const int32_t made = sys.Entry(u"Morvane")->Created();
    other = std::make_unique<CMyListLayer>(&sys, device);
    plat::SetMemoryBudget(c.available);
    file_refusal::Take();
    // The peak of resident memory is measured from here.
    plat::ProcessMemory before{}, after{};
    std::ofstream("/proc/self/clear_refs") << "5";
    ASSERT_TRUE(plat::GetProcessMemory(&before));
    EXPECT_FALSE(ReadSection(*other, s)) << c.what;
    ASSERT_TRUE(plat::GetProcessMemory(&after));
    plat::SetMemoryBudget(UINT64_MAX);
    EXPECT_EQ(U8(file_refusal::Take()), U8(c.reason)) << c.what;
    EXPECT_EQ(sys.Entry(u"Morvane")->Created(), made) << c.what << ": a layer was made before the refusal";
    EXPECT_LT(after.peakWorkingSet, before.workingSet + (100u << 20)) << c.what;
    EXPECT_EQ(other->GetCount(), 0) << c.what;
  }
  // With the one byte more it loads; and without a layer selected the copies are not needed.
  Bytes unselected = Section({small, small});
  SetHeader(unselected, uint32_t(unselected.size()), 2, 0xFFFFFFFF);
  for (const auto& [s, available] : {std::pair{Section({small, small}), twoSmall + copies}, std::pair{unselected, twoSmall}}) {
    other = std::make_unique<CMyListLayer>(&sys, device);
    plat::SetMemoryBudget(available);
    EXPECT_TRUE(ReadSection(*other, s)) << U8(file_refusal::Take());
    plat::SetMemoryBudget(UINT64_MAX);
    EXPECT_EQ(other->GetCount(), 2);
  }
  other.reset();
}

// ---- records coded on every core ----

// A document of both formats whose records take several coder pieces and leave padding:
// the list's layers, and the records one thread writes for them, one after another.
class RecordPipelineTest : public ListLayerTest {
 protected:
  RecordPipelineTest() {
    const LayerSpec specs[] = {
        {700, 500, OLayer::myFORMAT_C32, 1, 0, u"noise", 0, 0, 0},
        {257, 129, OLayer::myFORMAT_A16, 2, LYR_FLAG_HIDDEN, u"mask", 0xFF, -3, 4},
        {1, 1, OLayer::myFORMAT_C32, 3, 0, u"", 0, 0, 0},
        {600, 900, OLayer::myFORMAT_A16, 4, 0, u"noisy mask", 0x00FF00, 0, 0},
        {130, 65, OLayer::myFORMAT_C32, 5, LYR_FLAG_PROTECT, u"彩色", 0x112233, 9, 9},
        {64, 64, OLayer::myFORMAT_A16, 6, 0, u"", 0, 0, 0},
        {333, 77, OLayer::myFORMAT_C32, 7, 0, u"last", 0, 0, 0},
    };
    uint32_t seed = 1;
    for (const LayerSpec& s : specs) {
      OLayer* l = Make(s, seed++);
      if (s.w >= 600) Noise(l, seed);  // streams of more than one 1 MiB piece
      list->AddLayer(-1, l);
    }
    count = UINT(list->GetCount());
    for (UINT i = 0; i < count; ++i) {
      layers[i] = list->GetLayer(int(i));
      progressTotal += int32_t(layers[i]->GetProgressTotal());
    }
    MemOut out(serial);
    for (UINT i = 0; i < count; ++i) {
      recordAt.push_back(out.Tell());
      EXPECT_GT(layers[i]->Save(&out, nullptr), 0);
    }
  }
  static void Noise(OLayer* l, uint32_t seed) {
    LayerLock lock;
    lock.Lock(l, 0);
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    for (int y = 0; y < lock.nHeight; ++y)
      for (uint32_t i = 0; i < lock.cbRow; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        lock.Row(y)[i] = BYTE(x);
      }
    lock.Unlock();
    l->MipRefresh(nullptr);
  }
  static Bytes Pixels(OLayer* l) {
    LayerLock lock;
    lock.Lock(l, 0);
    return Bytes(lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t(lock.nHeight));
  }
  std::vector<GCompRef<OLayer>> EmptyLayers() {
    std::vector<GCompRef<OLayer>> made;
    for (UINT i = 0; i < count; ++i) made.emplace_back(static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer")));
    return made;
  }

  UINT count = 0;
  OLayer* layers[LYR_MAX_SUM] = {};
  int32_t progressTotal = 0;
  Bytes serial;
  std::vector<int64_t> recordAt;
};

TEST_F(RecordPipelineTest, WritesWhatOneThreadWritesAndLoadsItBackBitExact) {
  Bytes coded;
  MemOut out(coded);
  JobControl saving;
  uint64_t bytes = 0;
  ASSERT_TRUE(layer_records::Save(layers, count, &out, &saving, &bytes));
  EXPECT_EQ(bytes, serial.size());
  EXPECT_TRUE(coded == serial) << "the records differ from one thread's";
  EXPECT_EQ(saving.progress, progressTotal);

  std::vector<GCompRef<OLayer>> back = EmptyLayers();
  OLayer* into[LYR_MAX_SUM];
  for (UINT i = 0; i < count; ++i) into[i] = back[i];
  MemIn in(coded);
  JobControl loading;
  EXPECT_EQ(layer_records::Load(into, recordAt.data(), count, &in, &loading, device), -1);
  EXPECT_EQ(loading.progress, progressTotal);
  for (UINT i = 0; i < count; ++i) {
    EXPECT_TRUE(Pixels(into[i]) == Pixels(layers[i])) << "layer " << i;
    EXPECT_EQ(std::u16string(into[i]->GetName()), std::u16string(layers[i]->GetName())) << i;
    EXPECT_EQ(into[i]->GetFlags(), layers[i]->GetFlags()) << i;
  }
}

// The file a stopped save leaves holds whole records and, after them, no header over a cut
// stream; the save says it failed.
TEST_F(RecordPipelineTest, AnAbortOrAFailedWriteMidwayLeavesNoHeaderOverACutStream) {
  const size_t second = size_t(recordAt[1]);
  for (bool abort : {true, false}) {
    SCOPED_TRACE(abort ? "abort" : "failed write");
    Bytes coded;
    MemOut out(coded);
    JobControl job;
    // Stops inside the second record's stream.
    if (abort) {
      out.abortJob = &job;
      out.abortAfter = second + LAYER_RECORD_PIXELS + 1000;
    } else {
      out.failAfter = second + LAYER_RECORD_PIXELS + 1000;
    }
    uint64_t bytes = 0;
    EXPECT_FALSE(layer_records::Save(layers, count, &out, &job, &bytes));
    EXPECT_EQ(bytes, 0u);
    ASSERT_GE(coded.size(), second);
    EXPECT_TRUE(Bytes(coded.begin(), coded.begin() + ptrdiff_t(second)) == Bytes(serial.begin(), serial.begin() + ptrdiff_t(second)));
    // The second record's header place was never written.
    for (size_t i = second; i < std::min(coded.size(), second + LayerRecordHeader::kBytes); ++i)
      ASSERT_EQ(coded[i], 0) << "a header byte at " << i;
  }
}

// A record that throws in a worker throws on the caller, as the first failing record does on
// one thread; the workers all finish.
TEST_F(RecordPipelineTest, AnErrorInAWorkerIsThrownToTheCaller) {
  LayerLock lock;
  ASSERT_TRUE(layers[3]->Lock(&lock, 0));  // a locked layer refuses to be coded
  Bytes coded;
  MemOut out(coded);
  uint64_t bytes = 0;
  const Thrown t = CatchError([&] { layer_records::Save(layers, count, &out, nullptr, &bytes); });
  layers[3]->Unlock();
  EXPECT_TRUE(t.thrown);
  EXPECT_NE(t.piece.find(u"EncodeRecord"), std::u16string::npos) << plat::ToUtf8(t.piece);
  // The records before it were written.
  EXPECT_TRUE(Bytes(coded.begin(), coded.begin() + recordAt[3]) == Bytes(serial.begin(), serial.begin() + recordAt[3]));
}

// A damaged record in the middle: the section is refused naming that record, and no layer
// read so far, before or after it, outlives the load.
TEST_F(RecordPipelineTest, ADamagedMiddleRecordIsRefusedWithNothingLeft) {
  const Bytes good = WriteSection(*list);
  Bytes damaged = good;
  const size_t stream = 32 + size_t(recordAt[3]) + LAYER_RECORD_PIXELS;
  std::fill(damaged.begin() + ptrdiff_t(stream) + 100, damaged.begin() + ptrdiff_t(stream) + 400, 0x55);
  const int live = LiveLayers();
  other = std::make_unique<CMyListLayer>(&sys, device);
  file_refusal::Take();
  EXPECT_FALSE(ReadSection(*other, damaged));
  EXPECT_EQ(file_refusal::Take(), file_refusal::Damaged(u"图层区", 4));
  EXPECT_EQ(other->GetCount(), 0);
  EXPECT_EQ(LiveLayers(), live) << "a loaded layer outlived the failure";
  other = std::make_unique<CMyListLayer>(&sys, device);
  ASSERT_TRUE(ReadSection(*other, good));
  ASSERT_EQ(other->GetCount(), int(count));
  for (UINT i = 0; i < count; ++i) EXPECT_TRUE(Pixels(other->GetLayer(int(i))) == Pixels(layers[i])) << i;
}

}  // namespace
