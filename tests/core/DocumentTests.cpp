// The document: new documents, a whole file written and read back through the container,
// damaged files refused with the open document kept, and saves that fail part-way.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>

#include "SpaceTestHost.h"
#include "core/TavrikDoc.h"
#include "odata/LittleEndian.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct LayerDesc {
  int w, h, format;
  UINT id;
  uint32_t flags;
  const char16_t* name;
  COLORREF colour;
  int x, y;
};

// Offsets in a document file: the header, the space's section, the layer section's header.
constexpr size_t kVersion = 4, kUnitCount = 12, kHeaderCheck = 16;
constexpr size_t kSpace = 32, kLayers = 64, kLayerSize = 68, kLayerCount = 72, kLayerSel = 76, kFirstRecord = 96;

class DocumentTest : public SpaceFixture {
 protected:
  void TearDown() override {
    docs.clear();
    ExpectNothingLive();
  }
  CTavrikDoc* NewDoc() {
    docs.push_back(std::make_unique<CTavrikDoc>(&sys, device.get(), &host, &runner, &setting));
    return docs.back().get();
  }
  // A layer with pixels from the seed, put at the end of the document's list.
  static OLayer* Add(CTavrikDoc* doc, const LayerDesc& s, uint32_t seed) {
    GCompRef<OLayer> l = doc->GetPaintSpace()->GetShowDevice()->CreateLayer(s.w, s.h, s.format, s.id);
    l->SetFlags(s.flags);
    l->SetName(s.name);
    l->SetColor(s.colour);
    l->SetPosition(s.x, s.y, FALSE);
    {
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      uint32_t v = seed * 2654435761u;
      for (int y = 0; y < s.h; ++y)
        for (int i = 0; i < s.w * s.format; ++i) {
          v = v * 1664525u + 1013904223u;
          // Half the bytes zero, so that both the coder's runs and its literals are used.
          lock.Row(y)[i] = (i / 64) % 2 ? 0 : BYTE(v >> 24);
        }
    }
    l->MipRefresh(nullptr);
    doc->GetListLayer()->AddLayer(-1, l);
    return l;
  }
  static Bytes Rows(OLayer* l) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    Bytes b;
    for (int y = 0; y < lock.nHeight; ++y) b.insert(b.end(), lock.Row(y), lock.Row(y) + lock.nWidth * lock.nPixelSize);
    return b;
  }
  // What a document shows of itself, for comparing two documents.
  static std::string Describe(CTavrikDoc* doc) {
    CPaintSpace* s = doc->GetPaintSpace();
    CMyListLayer* list = doc->GetListLayer();
    std::ostringstream d;
    d << s->GetWidth() << "x" << s->GetHeight() << " bg " << s->GetBackground() << " sel " << list->GetCurSel()
      << " colours";
    for (int i = 0; i <= COLORBAR_RECENT; ++i) d << " " << doc->GetColorBar()->GetColor(i);
    for (int i = 0; i < list->GetCount(); ++i) {
      OLayer* l = list->GetLayer(i);
      POINT p;
      l->GetPosition(&p, FALSE);
      const Bytes px = Rows(l);
      d << "\n"
        << l->GetID() << " " << l->GetFormat() << " " << l->GetWidth() << "x" << l->GetHeight() << " at " << p.x
        << "," << p.y << " flags " << l->GetFlags() << " colour " << (l->GetColor(nullptr, nullptr) & 0xFFFFFF) << " "
        << U8(l->GetName()) << " pixels " << std::hash<std::string>()(std::string(px.begin(), px.end()));
    }
    return d.str();
  }
  // A document of four layers of both formats with their attributes, a space and colours
  // of its own.
  CTavrikDoc* Sample() {
    CTavrikDoc* doc = NewDoc();
    const LayerDesc descs[] = {
        {40, 30, OLayer::myFORMAT_C32, 5, LYR_FLAG_HIDDEN, u"甲 colour", 0x123456, 3, -4},
        {70, 20, OLayer::myFORMAT_A16, 6, LYR_FLAG_NEST | LYR_FLAG_PROTECT, u"乙 mask", 0x00FF00, 10, 10},
        {1, 1, OLayer::myFORMAT_A16, 7, LYR_FLAG_SOURCE, u"", 0xFF, 0, 0},
        {130, 70, OLayer::myFORMAT_C32, 8, 0, u"背景", 0xFFFFFF, -20, 5},
    };
    uint32_t seed = 1;
    for (const LayerDesc& s : descs) Add(doc, s, seed++);
    doc->GetListLayer()->SetCurSelect(2);
    doc->GetPaintSpace()->SetSpaceSize(150, 100);
    doc->GetPaintSpace()->SetBackground(0xABCDEF);
    doc->GetColorBar()->SetColor(0x112233);
    doc->GetColorBar()->PushRgb(0x445566);
    return doc;
  }
  std::u16string Path(const char* name) const { return folder + u"/" + plat::Widen(name); }
  static Bytes Read(const std::u16string& path) {
    std::ifstream in(plat::ToUtf8(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::u16string& path, const Bytes& b) {
    std::ofstream out(plat::ToUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(plat::ToUtf8(folder))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  CHeadlessJobRunner runner;
  NewSpaceSize setting{120, 90};
  std::vector<std::unique_ptr<CTavrikDoc>> docs;
};

TEST_F(DocumentTest, NewDocumentsOfEachKind) {
  struct Case {
    int kind;
    int format;  // 0: no layer
    const char16_t* name;
  };
  CTavrikDoc* doc = NewDoc();
  for (const Case& c : {Case{2, OLayer::myFORMAT_C32, u"彩色图层"}, Case{1, OLayer::myFORMAT_A16, u"单色图层"},
                        Case{0, 0, nullptr}}) {
    host.current = 0x224466;
    doc->GetPaintSpace()->SetBackgroundUndoable();
    setting = NewSpaceSize{150 + c.kind, 60};
    EXPECT_TRUE(doc->NewDocument(c.kind));
    CPaintSpace* s = doc->GetPaintSpace();
    EXPECT_EQ(s->GetWidth(), UINT(150 + c.kind));
    EXPECT_EQ(s->GetHeight(), 60u);
    EXPECT_EQ(s->GetBackground(), 0xFFFFFFu);
    EXPECT_EQ(s->m_pTransform->centreX, float((150 + c.kind) / 2));
    EXPECT_EQ(s->GetUndoStore()->GetStepCount(), 0u);
    EXPECT_FALSE(doc->IsModified());
    CMyListLayer* list = doc->GetListLayer();
    if (!c.format) {
      EXPECT_EQ(list->GetCount(), 0);
      EXPECT_EQ(list->GetCurSel(), -1);
      continue;
    }
    ASSERT_EQ(list->GetCount(), 1) << c.kind;
    OLayer* l = list->GetLayer(0);
    EXPECT_EQ(l->GetFormat(), c.format);
    EXPECT_EQ(l->GetWidth(), 150 + c.kind);
    EXPECT_EQ(l->GetHeight(), 60);
    EXPECT_EQ(std::u16string(l->GetName()), c.name);
    EXPECT_EQ(list->GetCurSel(), 0);
  }
  EXPECT_EQ(LiveLayers(), 0) << "the layers of the earlier documents are gone";
}

TEST_F(DocumentTest, ADocumentRoundTripsAndSavesAgainByteForByte) {
  CTavrikDoc* doc = Sample();
  const std::u16string first = Path("first.kelv"), second = Path("second.kelv");
  host.current = 0x010203;
  doc->GetPaintSpace()->SetBackgroundUndoable();
  doc->GetPaintSpace()->SetBackground(0xABCDEF);
  EXPECT_TRUE(doc->IsModified());
  ASSERT_TRUE(doc->SaveFile(first));
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->GetPathName(), first);

  CTavrikDoc* loaded = NewDoc();
  ASSERT_TRUE(loaded->LoadFile(first));
  EXPECT_EQ(Describe(loaded), Describe(doc));
  EXPECT_EQ(loaded->GetListLayer()->GetCurSel(), 2);
  EXPECT_EQ(loaded->GetPathName(), first);
  EXPECT_FALSE(loaded->IsModified());
  EXPECT_EQ(loaded->GetPaintSpace()->m_pTransform->centreX, 75.0f);

  ASSERT_TRUE(loaded->SaveFile(second));
  const Bytes a = Read(first), b = Read(second);
  EXPECT_EQ(a.size(), GetLE32(a.data() + 8));
  EXPECT_TRUE(a == b) << "the second save differs";
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"first.kelv", "second.kelv"})) << "a temporary file was left";
}

// A mask's unused low bytes are cleared before the document is written: the file holds zero
// there, whatever the pixels held.
TEST_F(DocumentTest, MasksAreSavedWithTheirLowBytesClear) {
  CTavrikDoc* doc = Sample();
  const std::u16string path = Path("masks.kelv");
  ASSERT_TRUE(doc->SaveFile(path));
  CTavrikDoc* back = NewDoc();
  ASSERT_TRUE(back->LoadFile(path));
  int masks = 0;
  for (int i = 0; i < back->GetListLayer()->GetCount(); ++i) {
    OLayer* l = back->GetListLayer()->GetLayer(i);
    if (l->GetFormat() != OLayer::myFORMAT_A16) continue;
    ++masks;
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(l, 0));
    for (int y = 0; y < l->GetHeight(); ++y)
      for (int x = 0; x < l->GetWidth(); ++x) ASSERT_EQ(lock.Row(y)[2 * x], 0) << i << ": " << x << ", " << y;
  }
  EXPECT_EQ(masks, 2);
}

TEST_F(DocumentTest, DamagedDocumentsAreRefusedAndTheOpenDocumentStays) {
  CTavrikDoc* doc = Sample();
  const std::u16string good = Path("good.kelv"), bad = Path("bad.kelv");
  ASSERT_TRUE(doc->SaveFile(good));
  const Bytes original = Read(good);
  const uint32_t count = GetLE32(original.data() + kLayerCount);
  ASSERT_EQ(count, 4u);

  auto fixHeader = [](Bytes& b) {
    PutLE32(b.data() + 8, uint32_t(b.size()));
    PutLE32(b.data() + kHeaderCheck, GetLE32(b.data() + kUnitCount) + uint32_t(b.size()));
  };
  auto fixLayerCheck = [](Bytes& b) {
    PutLE32(b.data() + kLayers,
            GetLE32(b.data() + kLayerSize) + GetLE32(b.data() + kLayerCount) + GetLE32(b.data() + kLayerSel));
  };
  // The colour bar's section ends the file: its check, version and size words lead it.
  const size_t colours = original.size() - 96;
  auto colourWord = [colours](size_t at, uint32_t v, bool keepCheck) {
    return [=](Bytes& b) {
      const uint32_t old = GetLE32(b.data() + colours + at);
      PutLE32(b.data() + colours + at, v);
      if (keepCheck) PutLE32(b.data() + colours, GetLE32(b.data() + colours) + v - old);
    };
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    bool loads;
    int selection;            // when it loads
    const char16_t* reason;   // when it does not
  };
  const char16_t* const notOurs = u"不是本程序的文档";
  const char16_t* const header = u"文档已损坏：文件头";
  const char16_t* const colourBar = u"文档已损坏：颜色区";
  const Case cases[] = {
      {"version 0x0000FFFF", [](Bytes& b) { PutLE32(b.data() + kVersion, 0x0000FFFF); }, false, 0, notOurs},
      {"version 0x0001FFFF", [](Bytes& b) { PutLE32(b.data() + kVersion, 0x0001FFFF); }, true, 2, u""},
      {"version 0x00020000", [](Bytes& b) { PutLE32(b.data() + kVersion, 0x00020000); }, false, 0, notOurs},
      {"one byte more", [](Bytes& b) { b.push_back(0); }, false, 0, header},
      {"one byte less", [](Bytes& b) { b.pop_back(); }, false, 0, header},
      {"fewer than 32 bytes", [](Bytes& b) { b.resize(31); }, false, 0, notOurs},
      {"two units", [&](Bytes& b) { PutLE32(b.data() + kUnitCount, 2), fixHeader(b); }, false, 0, header},
      {"wrong check word", [](Bytes& b) { PutLE32(b.data() + kHeaderCheck, GetLE32(b.data() + kHeaderCheck) + 1); },
       false, 0, header},
      {"space section check off by one", [](Bytes& b) { PutLE32(b.data() + kSpace, GetLE32(b.data() + kSpace) + 1); },
       false, 0, u"文档已损坏：画布区"},
      {"a truncated layer record", [&](Bytes& b) { b.resize(kFirstRecord + 150), fixHeader(b); }, false, 0,
       u"文档已损坏：图层区，第 2 个图层"},  // the second record's head lies past the end
      {"layer section's dwSize one more than its records",
       [&](Bytes& b) { PutLE32(b.data() + kLayerSize, GetLE32(b.data() + kLayerSize) + 1), fixLayerCheck(b); }, true,
       2, u""},
      {"65 layers with a valid sum", [&](Bytes& b) { PutLE32(b.data() + kLayerCount, 65), fixLayerCheck(b); }, false,
       0, u"图层数 65 超过上限 64"},
      {"4096 layers with a valid sum", [&](Bytes& b) { PutLE32(b.data() + kLayerCount, 4096), fixLayerCheck(b); },
       false, 0, u"图层数 4096 超过上限 64"},
      {"damaged colour bar", [](Bytes& b) { b[b.size() - 40] ^= 1; }, false, 0, colourBar},
      {"colour bar check", colourWord(0, 7, false), false, 0, colourBar},
      {"colour bar version 2", colourWord(4, 0x00020000, true), false, 0, colourBar},
      {"colour bar size", colourWord(8, 95, true), false, 0, colourBar},
      {"colour bar missing", [&](Bytes& b) { b.resize(colours), fixHeader(b); }, false, 0, colourBar},
      {"dwCurSel 0xFFFFFFFF", [&](Bytes& b) { PutLE32(b.data() + kLayerSel, 0xFFFFFFFF), fixLayerCheck(b); }, true, -1,
       u""},
      {"dwCurSel past the rows", [&](Bytes& b) { PutLE32(b.data() + kLayerSel, 4), fixLayerCheck(b); }, true, -1, u""},
  };
  const std::string before = Describe(doc);
  const int32_t liveBefore = LiveLayers();
  for (const Case& c : cases) {
    Bytes b = original;
    c.damage(b);
    Write(bad, b);
    CTavrikDoc* into = doc;
    if (c.loads) into = NewDoc();
    const BOOL ok = into->LoadFile(bad);
    EXPECT_EQ(ok, c.loads ? TRUE : FALSE) << c.what;
    if (c.loads) {
      EXPECT_EQ(into->GetListLayer()->GetCount(), 4) << c.what;
      EXPECT_EQ(into->GetListLayer()->GetCurSel(), c.selection) << c.what;
      docs.pop_back();
    } else {
      EXPECT_EQ(U8(into->GetLastReason()), U8(c.reason)) << c.what;
      EXPECT_EQ(Describe(doc), before) << c.what;
      EXPECT_EQ(doc->GetPathName(), good) << c.what;
    }
    EXPECT_EQ(LiveLayers(), liveBefore) << c.what << ": a loaded layer was left behind";
  }
}

TEST_F(DocumentTest, ASaveThatFailsKeepsTheOldFile) {
  CTavrikDoc* doc = Sample();
  const std::u16string path = Path("doc.kelv"), scratch = Path("scratch.kelv");
  ASSERT_TRUE(doc->SaveFile(path));
  const Bytes old = Read(path);

  EXPECT_FALSE(doc->SaveFile(Path("missing/doc.kelv"))) << "a folder that is not there";
  EXPECT_EQ(doc->GetPathName(), path);

  // The document changes; the new file would be larger.
  Add(doc, {200, 100, OLayer::myFORMAT_C32, 9, 0, u"新", 0, 0, 0}, 99);
  ASSERT_TRUE(doc->SaveFile(scratch));
  const size_t newSize = Read(scratch).size();
  ASSERT_GT(newSize, old.size());
  host.current = 0x0F0F0F;
  doc->GetPaintSpace()->SetBackgroundUndoable();

  // Writes fail past a file size limit that lies in the space's section, in the layers'
  // section and in the colour bar's.
  struct sigaction ignore {}, previous{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  for (rlim_t limit : {rlim_t(kSpace + 8), rlim_t(kFirstRecord + 5000), rlim_t(newSize - 40)}) {
    rlimit cut = saved;
    cut.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
    const BOOL ok = doc->SaveFile(path);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_FALSE(ok) << "limit " << limit;
    // Most writes fail on the worker's threads: the reason still comes back.
    EXPECT_EQ(U8(doc->GetLastReason()), "文件过大") << "limit " << limit;
    EXPECT_TRUE(Read(path) == old) << "limit " << limit;
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"doc.kelv", "scratch.kelv"})) << "limit " << limit;
    EXPECT_TRUE(doc->IsModified()) << "a failed save is no save";
  }
  sigaction(SIGXFSZ, &previous, nullptr);
  ASSERT_TRUE(doc->SaveFile(path));
  EXPECT_TRUE(Read(path) != old);
  EXPECT_FALSE(doc->IsModified());
}

}  // namespace
