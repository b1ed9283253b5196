// The paint space: its life, size and view helpers, its file section, redraw through the
// worker and the host, and the undo and redo of its own records.
#include <gtest/gtest.h>

#include "core/FileRefusal.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "SpaceTestHost.h"
#include "tools/OperDefault.h"
#include "odata/LittleEndian.h"

namespace {

static_assert(offsetof(ViewTransform, flags) == 0 && offsetof(ViewTransform, spaceWidth) == 4 &&
              offsetof(ViewTransform, spaceHeight) == 8 && offsetof(ViewTransform, background) == 12 &&
              offsetof(ViewTransform, clientWidth) == 16 && offsetof(ViewTransform, clientHeight) == 20 &&
              offsetof(ViewTransform, centreX) == 24 && offsetof(ViewTransform, centreY) == 28 &&
              offsetof(ViewTransform, angle) == 32 && offsetof(ViewTransform, scale) == 36 &&
              sizeof(ViewTransform) == 40);
static_assert(offsetof(SpaceSection, dwCheck) == 0 && offsetof(SpaceSection, dwWidth) == 4 &&
              offsetof(SpaceSection, dwHeight) == 8 && offsetof(SpaceSection, dwBackground) == 12 &&
              offsetof(SpaceSection, dwReserved) == 16 && sizeof(SpaceSection) == 32);

using Bytes = std::vector<uint8_t>;

// A tool that records what the space tells it.
class TestOperation final : public COperation {
 public:
  explicit TestOperation(int* destroyed = nullptr) : m_destroyed(destroyed) {}
  ~TestOperation() override {
    if (m_destroyed) ++*m_destroyed;
  }
  UINT GetID() override { return 32780; }
  int Activate() override { return ++activated; }
  BOOL RefreshSpace() override { return drawsItself; }
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void*) override {
    notices.push_back({sender, code});
  }
  void FinishWork() override { ++finished; }

  int activated = 0, finished = 0;
  BOOL drawsItself = 0;
  std::vector<std::pair<std::u16string, DWORD>> notices;

 private:
  int* m_destroyed;
};

// A worker that can keep a finished job in its tail, not yet ready again, until told.
class TailWorker final : public GComponent<OWorker> {
 public:
  void InitInstance() override {
    m_inner = static_cast<OWorker*>(GCreateComponent<XWorker>(GetSystem(), nullptr, nullptr)->GetInterface(u"OWorker"));
  }
  void Wait(BOOL abort) override { m_inner->Wait(abort); }
  BOOL Launch(JobRecord* job, JobControl* control) override {
    m_object = job->object;
    m_proc = job->proc;
    job->object = this;
    job->proc = &Thunk;
    return m_inner->Launch(job, control);
  }
  BOOL IsReady() override { return m_inner->IsReady(); }
  void Abort() override { m_inner->Abort(); }

  void HoldTail() { m_hold = true; }
  bool WaitInTail() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_inTail; });
  }
  void ReleaseTail() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hold = false;
    m_cv.notify_all();
  }

 protected:
  void* FindInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OWorker") == 0 ? static_cast<OWorker*>(this) : nullptr;
  }

 private:
  static int32_t Thunk(void* self, JobRecord* job, JobControl* control) {
    auto* w = static_cast<TailWorker*>(self);
    const int32_t result = w->m_proc(w->m_object, job, control);
    std::unique_lock<std::mutex> lock(w->m_mutex);
    if (w->m_hold) {
      w->m_inTail = true;
      w->m_cv.notify_all();
      w->m_cv.wait(lock, [w] { return !w->m_hold; });
    }
    return result;
  }

  GCompRef<OWorker> m_inner;
  void* m_object = nullptr;
  JobProc m_proc = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_hold = false;
  bool m_inTail = false;
};

class PaintSpaceTest : public SpaceFixture {
 protected:
  void TearDown() override {
    space.reset();
    list.reset();
    ExpectNothingLive();
  }
  void Init(UINT w = 100, UINT h = 80) {
    space = std::make_unique<CPaintSpace>(&sys, device.get());
    op = new TestOperation();
    op->AddRef();
    EXPECT_EQ(space->Initialize(w, h, &host, list.get(), op), 1);
    op->Release();
  }
  // A layer put at the end of the list, placed at (x, y).
  OLayer* Add(int w, int h, int format, UINT id, int x = 0, int y = 0) {
    GCompRef<OLayer> l = NewLayer(w, h, format, id);
    l->SetPosition(x, y, FALSE);
    list->AddLayer(-1, l);
    return l;
  }
  static POINT Pos(OLayer* l) {
    POINT p;
    l->GetPosition(&p, FALSE);
    return p;
  }
  static uint32_t Pixel(OLayer* l, int x, int y) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    return reinterpret_cast<const uint32_t*>(lock.Row(y))[x];
  }
  // Paints a square into a layer inside a transaction and returns the blocks as they were.
  static GCompRef<OData> PaintSquare(OLayer* l, int side, uint32_t colour) {
    EXPECT_EQ(l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr), 1);
    {
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = colour + uint32_t(x ^ y);
    }
    RECT rc{0, 0, side, side};
    l->PAT_MarkSet(&rc, nullptr);
    GCompRef<OData> before = l->PAT_Backup(TRUE);
    l->PAT_Deactivate();
    return before;
  }
  Bytes SaveSection() {
    const std::u16string path = folder + u"/space.bin";
    GCompRef<CFileOut> out = new CFileOut();
    EXPECT_TRUE(out->Open(path.c_str()));
    uint64_t bytes = 0;
    UINT total = 1;
    OFileSave* unit = space->GetFileSave();
    EXPECT_TRUE(unit->Begin(&total));
    EXPECT_TRUE(unit->Save(out, &bytes, nullptr));
    EXPECT_TRUE(unit->End());
    EXPECT_TRUE(out->Close());
    EXPECT_EQ(bytes, 32u);
    std::ifstream in(plat::ToUtf8(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // Load and End as the container calls them; returns {Load, End}.
  std::pair<BOOL, BOOL> LoadSection(CPaintSpace* into, const Bytes& b) {
    const std::u16string path = folder + u"/load.bin";
    {
      std::ofstream f(plat::ToUtf8(path), std::ios::binary | std::ios::trunc);
      f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    GCompRef<CFileIn> in = new CFileIn();
    EXPECT_TRUE(in->Open(path.c_str()));
    OFileLoad* unit = into->GetFileLoad();
    EXPECT_TRUE(unit->Begin());
    uint64_t bytes = 0;
    const BOOL loaded = unit->Load(in, &bytes, nullptr);
    EXPECT_EQ(bytes, loaded ? 32u : 0u);
    return {loaded, unit->End(!loaded)};
  }
  static Bytes Section(uint32_t check, uint32_t w, uint32_t h, uint32_t bg) {
    Bytes b(32, 0);
    PutLE32(b.data(), check);
    PutLE32(b.data() + 4, w);
    PutLE32(b.data() + 8, h);
    PutLE32(b.data() + 12, bg);
    return b;
  }
  // Waits for the worker and the running redraw to finish.
  void Settle() { space->GetWorker()->Wait(FALSE); }

  std::unique_ptr<CMyListLayer> list = std::make_unique<CMyListLayer>(&sys, device.get());
  std::unique_ptr<CPaintSpace> space;
  TestOperation* op = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Life

TEST_F(PaintSpaceTest, InitializeFillsTheViewAndMakesTheStores) {
  host.client = SIZE{640, 480};
  Init(7, 5);
  EXPECT_EQ(space->GetState(), CPaintSpace::myREADY);
  EXPECT_EQ(space->GetHost(), &host);
  const ViewTransform& t = *space->m_pTransform;
  EXPECT_EQ(t.flags, 0u);
  EXPECT_EQ(t.spaceWidth, 7u);
  EXPECT_EQ(t.spaceHeight, 5u);
  EXPECT_EQ(t.background, 0xFFFFFFu);
  EXPECT_EQ(t.clientWidth, 640);
  EXPECT_EQ(t.clientHeight, 480);
  EXPECT_EQ(t.centreX, 3.0f);
  EXPECT_EQ(t.centreY, 2.0f);
  EXPECT_EQ(t.angle, 0.0f);
  EXPECT_EQ(t.scale, 1.0f);
  EXPECT_EQ(space->GetCurOperator(), op);
  EXPECT_EQ(op->m_pPaintSpace, space.get());
  EXPECT_EQ(list->GetSpace(), space.get());
  EXPECT_EQ(sys.Entry(u"XUndoRecorder")->Refs(), 2);
  EXPECT_EQ(sys.Entry(u"XWorker")->Refs(), 1);
  EXPECT_TRUE(space->GetWorker()->IsReady());
  space.reset();
  EXPECT_EQ(list->GetSpace(), nullptr);
}

TEST_F(PaintSpaceTest, TheLargestSpaceIsTaken) {
  Init(10000, 10000);
  EXPECT_EQ(space->GetWidth(), 10000u);
}

TEST_F(PaintSpaceTest, SizesOutsideTheLimitsAreRefusedAndTheSpaceStaysNull) {
  struct Case {
    UINT w, h;
    const char16_t* error;
  };
  for (const Case& c : {Case{10001, 1, u"!nSpaceWidth <=LYR_MAX_WIDTH"}, Case{1, 10001, u"!nSpaceHeight<=LYR_MAX_HEIGHT"},
                        Case{0, 5, u"!nSpaceWidth>=1"}, Case{5, 0, u"!nSpaceHeight>=1"}}) {
    int destroyed = 0;
    auto s = std::make_unique<CPaintSpace>(&sys, device.get());
    TestOperation* first = new TestOperation(&destroyed);
    first->AddRef();
    EXPECT_EQ(ThrownCondition([&] { s->Initialize(c.w, c.h, &host, list.get(), first); }), c.error);
    first->Release();
    EXPECT_EQ(destroyed, 1) << "the space did not take the tool";
    EXPECT_EQ(s->GetState(), CPaintSpace::myNULL);
    EXPECT_EQ(s->GetHost(), nullptr);
    EXPECT_EQ(ThrownCondition([&] { s->SetSpaceSize(10, 10); }), u"!m_myState==myREADY");
    s.reset();
    EXPECT_EQ(list->GetSpace(), nullptr);
  }
}

// Initialize fails at each later step in turn; the half-made space goes away cleanly.
TEST_F(PaintSpaceTest, DestroyingASpaceWhoseInitializeFailedIsSafe) {
  // The list is not empty: AttachSpace refuses, and the rows must stay.
  {
    GCompRef<OLayer> row = NewLayer(4, 4, OLayer::myFORMAT_A16, 1);
    list->AddLayer(-1, row);
    auto s = std::make_unique<CPaintSpace>(&sys, device.get());
    int destroyed = 0;
    TestOperation* first = new TestOperation(&destroyed);
    first->AddRef();
    EXPECT_EQ(ThrownCondition([&] { s->Initialize(10, 10, &host, list.get(), first); }), u"!GetCount()==0");
    first->Release();
    s.reset();
    EXPECT_EQ(list->GetCount(), 1) << "a list the space never attached was emptied";
    list->DetachSpace();
  }
  // No undo recorder, then no worker.
  for (const char16_t* missing : {u"XUndoRecorder", u"XWorker"}) {
    FakeSystem partial;
    if (plat::StrCmp(missing, u"XUndoRecorder") != 0) partial.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
    if (plat::StrCmp(missing, u"XWorker") != 0) partial.Register(u"XWorker", GCreateComponent<XWorker>);
    auto s = std::make_unique<CPaintSpace>(&partial, device.get());
    int destroyed = 0;
    TestOperation* first = new TestOperation(&destroyed);
    EXPECT_EQ(ThrownCondition([&] { s->Initialize(10, 10, &host, list.get(), first); }), u"NO_NEW_OBJECT") << U8(missing);
    EXPECT_EQ(s->GetState(), CPaintSpace::myNULL);
    EXPECT_EQ(list->GetSpace(), s.get());
    s.reset();
    EXPECT_EQ(destroyed, 1) << "the tool the space held was not released";
    EXPECT_EQ(list->GetSpace(), nullptr);
    if (plat::StrCmp(missing, u"XWorker") == 0) {
      EXPECT_EQ(partial.Entry(u"XUndoRecorder")->Refs(), 0);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Size, view and helpers

TEST_F(PaintSpaceTest, SetSpaceSizeMovesTheCentreAndKeepsTheRestOfTheView) {
  Init(100, 80);
  ViewTransform& t = *space->m_pTransform;
  t.angle = 1.5f;
  t.scale = 2.0f;
  t.flags = 1;
  space->SetSpaceSize(7, 5);
  EXPECT_EQ(t.spaceWidth, 7u);
  EXPECT_EQ(t.centreX, 3.0f);
  EXPECT_EQ(t.centreY, 2.0f);
  EXPECT_EQ(t.angle, 1.5f);
  EXPECT_EQ(t.scale, 2.0f);
  EXPECT_EQ(t.flags, 1u);
  EXPECT_EQ(space->GetSpareTransform().spaceHeight, 5u);
  EXPECT_EQ(space->GetSpareTransform().centreX, 3.0f);
  EXPECT_EQ(ThrownCondition([&] { space->SetSpaceSize(10001, 5); }), u"!uWidth<=LYR_MAX_WIDTH");
  EXPECT_EQ(ThrownCondition([&] { space->SetSpaceSize(5, 10001); }), u"!uHeight<=LYR_MAX_HEIGHT");
  EXPECT_EQ(ThrownCondition([&] { space->SetSpaceSize(0, 5); }), u"!uWidth>=1");
  EXPECT_EQ(space->GetWidth(), 7u);
  space->SetBackground(0x123456);
  EXPECT_EQ(t.background, 0x123456u);
  EXPECT_EQ(space->GetSpareTransform().background, 0x123456u);
}

TEST_F(PaintSpaceTest, CenterOnView) {
  Init(100, 80);
  struct Case {
    float cx, cy;
    int w, h;         // layer or rectangle size
    POINT layerPos;   // where the layer goes
    RECT rect;        // where a rectangle at (5, 6) goes
  };
  const Case cases[] = {
      {50, 40, 20, 10, {40, 35}, {40, 35, 60, 45}},
      {50, 40, 21, 11, {40, 35}, {40, 35, 61, 46}},     // odd sides: the extra pixel goes right and down
      {50, 40, 100, 10, {0, 35}, {5, 35, 105, 45}},    // as wide as the space: x stays
      {50, 40, 20, 80, {40, 0}, {40, 6, 60, 86}},      // as tall as the space: y stays
      {-30, 300, 20, 10, {-10, 74}, {-10, 74, 10, 84}},  // the centre is clamped into the space
      {99.9f, 79.9f, 2, 2, {98, 78}, {98, 78, 100, 80}},
  };
  for (const Case& c : cases) {
    space->m_pTransform->centreX = c.cx;
    space->m_pTransform->centreY = c.cy;
    GCompRef<OLayer> l = NewLayer(c.w, c.h, OLayer::myFORMAT_A16, 1);
    l->SetPosition(7, 7, FALSE);
    RECT r{5, 6, 5 + c.w, 6 + c.h};
    space->CenterOnView(l, &r);
    EXPECT_EQ(Pos(l).x, c.layerPos.x) << c.cx << " " << c.w;
    EXPECT_EQ(Pos(l).y, c.layerPos.y) << c.cy << " " << c.h;
    EXPECT_EQ(r.left, c.rect.left);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.right, c.rect.right);
    EXPECT_EQ(r.bottom, c.rect.bottom);
  }
}

TEST_F(PaintSpaceTest, SpaceClientRectIsTheViewedSpaceGrownByHalfAClient) {
  struct Case {
    float angle, scale;
    uint32_t flags;
    RECT expect;
    int tolerance;  // rotated views go through sines that are not exact
  };
  // Space 100 x 50 centred at (50, 25) in a client of 200 x 100.
  const Case cases[] = {
      {0, 1, 0, {-50, -25, 250, 125}, 0},
      {0, 2, 0, {-100, -50, 300, 150}, 0},
      {0, 0.5f, 0, {-25, -13, 225, 112}, 0},  // 37.5 - 50 truncated first
      {0, 1, 1, {-50, -25, 250, 125}, 0},           // mirrored: the same extent
      {1.5707964f, 1, 0, {-25, -50, 225, 150}, 1},  // a quarter turn swaps the sides
  };
  for (const Case& c : cases) {
    ViewTransform t{c.flags, 100, 50, 0, 200, 100, 50, 25, c.angle, c.scale};
    RECT r;
    GetSpaceClientRect(&r, realDevice, &t);
    EXPECT_NEAR(r.left, c.expect.left, c.tolerance) << c.angle << " " << c.scale;
    EXPECT_NEAR(r.top, c.expect.top, c.tolerance) << c.angle << " " << c.scale;
    EXPECT_NEAR(r.right, c.expect.right, c.tolerance) << c.angle << " " << c.scale;
    EXPECT_NEAR(r.bottom, c.expect.bottom, c.tolerance) << c.angle << " " << c.scale;
  }
}

TEST_F(PaintSpaceTest, ScrollBarsMeasureTheClientAgainstTheExtent) {
  host.client = SIZE{200, 100};
  Init(100, 50);
  space->SyncScrollBars(nullptr);
  // Extent -50..250 by -25..125: the client is two thirds of it, a sixth in from the start.
  EXPECT_EQ(host.horz.nPos, 50 * 0x4000 / 300);
  EXPECT_EQ(host.horz.nPage, 200 * 0x4000 / 300);
  EXPECT_EQ(host.vert.nPos, 25 * 0x4000 / 150);
  EXPECT_EQ(host.vert.nPage, 100 * 0x4000 / 150);
  // Zoomed far in the page is small but at least 1; the positions follow the centre.
  space->m_pTransform->scale = 16;
  space->m_pTransform->centreX = 0;
  space->SyncScrollBars(nullptr);
  EXPECT_GE(host.vert.nPage, 1);
  EXPECT_LT(host.horz.nPage, 0x4000 / 8);
  EXPECT_LT(host.horz.nPos, host.vert.nPos);
}

TEST_F(PaintSpaceTest, IsModifiedWantsAnEditAndALayer) {
  Init();
  EXPECT_FALSE(space->IsModified());
  host.current = 0x102030;
  space->SetBackgroundUndoable();
  EXPECT_FALSE(space->IsModified()) << "an empty list is never modified";
  Add(8, 8, OLayer::myFORMAT_A16, 1);
  EXPECT_TRUE(space->IsModified());
  space->Undo(1);
  EXPECT_FALSE(space->IsModified());
}

// ---------------------------------------------------------------------------------------------
// The size section

TEST_F(PaintSpaceTest, SizeSectionRoundTrip) {
  Init(7, 5);
  space->SetBackground(0x123456);
  const Bytes saved = SaveSection();
  EXPECT_EQ(saved, Section(7 + 5 + 0x123456, 7, 5, 0x123456));

  CMyListLayer otherList(&sys, device.get());
  CPaintSpace into(&sys, device.get());
  into.Initialize(300, 200, &host, &otherList, new COperDefault());
  const int frames = host.frameInvalidated;
  EXPECT_EQ(LoadSection(&into, saved), std::make_pair(TRUE, TRUE));
  EXPECT_EQ(into.GetWidth(), 7u);
  EXPECT_EQ(into.GetHeight(), 5u);
  EXPECT_EQ(into.GetBackground(), 0x123456u);
  EXPECT_EQ(into.m_pTransform->background, 0x123456u);
  EXPECT_EQ(into.m_pTransform->centreX, 3.0f);
  EXPECT_EQ(host.frameInvalidated, frames + 1);
}

// The background's top byte means nothing: a section with one set loads, the colour without it.
TEST_F(PaintSpaceTest, ABackgroundWithATopByteLoadsWithoutIt) {
  Init(300, 200);
  EXPECT_EQ(LoadSection(space.get(), Section(7 + 5 + 0xFF123456u, 7, 5, 0xFF123456u)), std::make_pair(TRUE, TRUE));
  EXPECT_EQ(space->GetBackground(), 0x123456u);
  EXPECT_EQ(LoadSection(space.get(), Section(7 + 5 + 0xFFFFFFFFu, 7, 5, 0xFFFFFFFFu)), std::make_pair(TRUE, TRUE));
  EXPECT_EQ(space->GetBackground(), 0xFFFFFFu);
  EXPECT_EQ(space->GetWidth(), 7u);
}

TEST_F(PaintSpaceTest, DamagedSizeSectionsAreRefusedAndTheSpaceKeepsItsSize) {
  Init(300, 200);
  struct Case {
    const char* what;
    Bytes bytes;
    const char16_t* reason;
  };
  const Case cases[] = {
      {"check word off by one", Section(7 + 5 + 0x123456 + 1, 7, 5, 0x123456), u"文档已损坏：画布区"},
      {"width 0", Section(0 + 5 + 0x123456, 0, 5, 0x123456), u"画布尺寸 0 x 5 超出范围（1～10000）"},
      {"width 10001 with a matching check", Section(10001 + 5 + 0x123456, 10001, 5, 0x123456),
       u"画布尺寸 10001 x 5 超出范围（1～10000）"},
      {"height 10001 with a matching check", Section(7 + 10001, 7, 10001, 0), u"画布尺寸 7 x 10001 超出范围（1～10000）"},
      {"a short read", [] {
         Bytes b = Section(7 + 5, 7, 5, 0);
         b.pop_back();
         return b;
       }(), u""},
  };
  for (const Case& c : cases) {
    const int frames = host.frameInvalidated;
    file_refusal::Take();
    EXPECT_EQ(LoadSection(space.get(), c.bytes), std::make_pair(FALSE, FALSE)) << c.what;
    EXPECT_EQ(U8(file_refusal::Take()), U8(c.reason)) << c.what;
    EXPECT_EQ(space->GetWidth(), 300u) << c.what;
    EXPECT_EQ(space->GetHeight(), 200u) << c.what;
    EXPECT_EQ(space->GetBackground(), 0xFFFFFFu) << c.what;
    EXPECT_EQ(host.frameInvalidated, frames + 1) << c.what;
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Redraw

struct Segment {
  POINT from, to;
};

// The host's feedback image shows exactly these lines XORed in grey over white.
void ExpectFeedback(TestHost& host, const std::vector<Segment>& lines) {
  gui::ScreenImage expect;
  expect.Resize(host.feedback.Width(), host.feedback.Height(), 0xFFFFFF);
  gui::DeviceContext dc(&expect);
  dc.SetROP2(gui::R2_XORPEN);
  dc.SetPen(gui::PS_SOLID, 0x808080);
  for (const Segment& s : lines) {
    dc.MoveTo(s.from.x, s.from.y);
    dc.LineTo(s.to.x, s.to.y);
  }
  int differ = 0;
  for (int y = 0; y < expect.Height(); ++y)
    for (int x = 0; x < expect.Width(); ++x) differ += expect.Pixel(x, y) != host.feedback.Pixel(x, y);
  EXPECT_EQ(differ, 0) << "pixels unlike the expected frame";
  int drawn = 0;
  for (int y = 0; y < expect.Height(); ++y)
    for (int x = 0; x < expect.Width(); ++x) drawn += expect.Pixel(x, y) != 0xFFFFFFFFu;
  EXPECT_EQ(drawn > 0, !lines.empty()) << "the expected lines show";
}

TEST_F(PaintSpaceTest, RefreshDrawComposesEveryLayerAndPresentsWithTheFrame) {
  host.client = SIZE{200, 200};
  Init(100, 100);
  space->m_pTransform->centreX = 50;
  space->m_pTransform->centreY = 50;
  space->SetBackground(0x336699);
  Add(50, 50, OLayer::myFORMAT_C32, 1, 10, 20);
  Add(10, 10, OLayer::myFORMAT_A16, 2);
  list->SetCurSelect(0);
  space->RefreshDraw(nullptr, nullptr);
  EXPECT_TRUE(space->IsCompositeValid());
  EXPECT_EQ(device->begins, 1);
  EXPECT_EQ(device->Tidy(), (std::vector<uint32_t>{LYR_TIDY_CURRENT, 0}));
  EXPECT_EQ(host.screen.Presents(), 1);
  EXPECT_EQ(host.dcTaken, host.dcReleased);
  EXPECT_EQ(host.screen.At(140, 140), 0x336699u) << "the background where no layer lies";

  // The frame of the selected layer: (10, 20)-(60, 70) grown by 3 client pixels, shown 50
  // pixels in; ticks of a tenth of a side from each corner toward its neighbours.
  const POINT TL{57, 67}, TR{113, 67}, BL{57, 123}, BR{113, 123};
  const std::vector<Segment> ticks = {{{62, 67}, TL}, {{57, 72}, TL}, {{108, 67}, TR}, {{113, 72}, TR},
                                      {{57, 118}, BL}, {{62, 123}, BL}, {{113, 118}, BR}, {{108, 123}, BR}};
  ExpectFeedback(host, ticks);
  EXPECT_EQ(host.viewDcTaken, host.viewDcReleased);

  // With the composite valid the view's paint only presents it again, with the frame: the
  // second XOR pass takes it off the feedback image.
  space->OnDraw(&host.screen);
  EXPECT_EQ(device->begins, 1);
  EXPECT_EQ(device->presets, 2);
  ExpectFeedback(host, {});
  space->InvalidateComposite();
  space->OnDraw(&host.screen);
  EXPECT_EQ(device->begins, 2);
}

TEST_F(PaintSpaceTest, TheFrameIsClippedToTheClient) {
  host.client = SIZE{100, 100};
  Init(1000, 1000);
  space->m_pTransform->centreX = 50;
  space->m_pTransform->centreY = 50;
  // Corners TL (17, 27), TR (103, 27), BL (17, 633), BR (103, 633) in a client of 100 x 100.
  OLayer* l = Add(80, 600, OLayer::myFORMAT_A16, 1, 20, 30);
  space->DrawLayerFrame(nullptr, l);
  EXPECT_EQ(host.viewDcTaken, 1);
  EXPECT_EQ(host.viewDcReleased, 1);
  ExpectFeedback(host, {
                           {{25, 27}, {17, 27}},   // TL toward TR, whole
                           {{17, 87}, {17, 27}},   // TL toward BL, whole
                           {{95, 27}, {100, 27}},  // TR toward TL, cut at the client's right edge
                       });                         // TR toward BR and the bottom corners' ticks lie outside
}

TEST_F(PaintSpaceTest, RequestsDuringAPassGiveOneMorePassWithTheLastState) {
  host.client = SIZE{64, 64};
  Init(64, 64);
  Add(16, 16, OLayer::myFORMAT_C32, 1);
  host.screen.HoldNext();
  ViewTransform t = *space->m_pTransform;
  t.background = 0x010101;
  EXPECT_EQ(space->RefreshInWorker(&t), 1);
  ASSERT_TRUE(host.screen.WaitHeld());
  for (uint32_t bg : {0x111111u, 0x222222u, 0x333333u}) {
    t.background = bg;
    EXPECT_EQ(space->RefreshInWorker(&t), 0) << "merged into the running job";
  }
  host.screen.Release();
  Settle();
  EXPECT_EQ(device->begins, 2);
  EXPECT_EQ(host.screen.Presents(), 2);
  EXPECT_EQ(device->View().background, 0x333333u);
  EXPECT_EQ(host.screen.At(40, 40), 0x333333u);
  EXPECT_TRUE(space->IsCompositeValid());
  EXPECT_FALSE(space->HasPendingRefresh());
  EXPECT_EQ(host.dcTaken, host.dcReleased);
}

// A request that comes just as a job ends still gets its pass.
TEST_F(PaintSpaceTest, NoRequestIsLostWhileTheJobEnds) {
  host.client = SIZE{16, 16};
  Init(16, 16);
  ViewTransform t = *space->m_pTransform;
  for (uint32_t i = 1; i <= 200; ++i) {
    t.background = i;
    space->RefreshInWorker(&t);
    if (i % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50 * (i % 7)));
  }
  Settle();
  EXPECT_EQ(device->View().background, 200u);
  EXPECT_FALSE(space->HasPendingRefresh());
}

// The job has looked at the flag for the last time but the worker is not free yet: the
// request waits for it and launches a new job instead of being left behind.
TEST_F(PaintSpaceTest, ARequestInTheJobsTailLaunchesANewJob) {
  FakeSystem own;
  own.Register(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
  own.Register(u"XWorker", GCreateComponent<TailWorker>);
  host.client = SIZE{16, 16};
  {
    CPaintSpace s(&own, device.get());
    s.Initialize(16, 16, &host, list.get(), new COperDefault());
    auto* worker = static_cast<TailWorker*>(s.GetWorker());
    worker->HoldTail();
    ViewTransform t = *s.m_pTransform;
    t.background = 1;
    EXPECT_EQ(s.RefreshInWorker(&t), 1);
    ASSERT_TRUE(worker->WaitInTail());
    EXPECT_FALSE(worker->IsReady());
    std::thread releaser([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      worker->ReleaseTail();
    });
    t.background = 2;
    EXPECT_EQ(s.RefreshInWorker(&t), 1) << "the request was left waiting";
    releaser.join();
    s.GetWorker()->Wait(FALSE);
    EXPECT_EQ(device->begins, 2);
    EXPECT_EQ(device->View().background, 2u);
    EXPECT_FALSE(s.HasPendingRefresh());
  }
  EXPECT_EQ(own.Entry(u"XWorker")->Refs(), 0);
}

TEST_F(PaintSpaceTest, TheJobHoldsItsLayersAndTakesTheSelection) {
  host.client = SIZE{64, 64};
  Init(64, 64);
  for (UINT i = 0; i < LYR_MAX_SUM; ++i) Add(8, 8, i % 2 ? OLayer::myFORMAT_C32 : OLayer::myFORMAT_A16, i + 1);
  list->SetCurSelect(5);
  host.screen.HoldNext();
  EXPECT_EQ(space->RefreshInWorker(nullptr), 1);
  ASSERT_TRUE(host.screen.WaitHeld());
  EXPECT_EQ(space->RefreshInWorker(nullptr), 0);
  // The list lets go of a row while the job still has it to draw.
  const int32_t before = LiveLayers();
  { GCompRef<OLayer> gone; gone.m_ptr = list->DetachLayer(63); }
  EXPECT_EQ(LiveLayers(), before) << "the job's reference keeps the layer";
  host.screen.Release();
  Settle();
  EXPECT_EQ(LiveLayers(), before - 1) << "the job let go of it when it ended";
  EXPECT_EQ(device->begins, 2);
  const std::vector<uint32_t> tidy = device->Tidy();
  ASSERT_EQ(tidy.size(), size_t(LYR_MAX_SUM));
  for (int i = 0; i < LYR_MAX_SUM; ++i) EXPECT_EQ(tidy[size_t(i)], i == 5 ? LYR_TIDY_CURRENT : 0u) << i;
}

TEST_F(PaintSpaceTest, AbortStopsAfterThePassAndTheRequestWaits) {
  host.client = SIZE{32, 32};
  Init(32, 32);
  host.screen.HoldNext();
  EXPECT_EQ(space->RefreshInWorker(nullptr), 1);
  ASSERT_TRUE(host.screen.WaitHeld());
  space->RefreshInWorker(nullptr);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    host.screen.Release();
  });
  space->GetWorker()->Wait(TRUE);
  releaser.join();
  EXPECT_EQ(device->begins, 1);
  EXPECT_TRUE(space->HasPendingRefresh());
  EXPECT_EQ(space->RefreshInWorker(nullptr), 1);
  Settle();
  EXPECT_EQ(device->begins, 2);
  EXPECT_FALSE(space->HasPendingRefresh());
}

TEST_F(PaintSpaceTest, AToolThatDrawsTheViewItselfSkipsTheRefresh) {
  Init();
  op->drawsItself = 7;
  EXPECT_EQ(space->RefreshInWorker(nullptr), 7);
  Settle();
  EXPECT_EQ(device->begins, 0);
  EXPECT_FALSE(space->HasPendingRefresh());
}

// ---------------------------------------------------------------------------------------------
// Undo and redo

TEST_F(PaintSpaceTest, UndoAndRedoOfTheBackground) {
  Init();
  host.current = 0x112233;
  space->SetBackgroundUndoable();
  EXPECT_EQ(space->GetBackground(), 0x112233u);
  EXPECT_EQ(space->m_pTransform->background, 0x112233u);
  // The current colour is the background already: white.
  space->SetBackgroundUndoable();
  EXPECT_EQ(space->GetBackground(), 0xFFFFFFu);
  const char16_t* labels[2] = {};
  ASSERT_EQ(space->GetUndoStore()->CopyStepList(labels, 2), 2u);
  EXPECT_EQ(std::u16string(labels[0]), u"空间>颜色");

  CmdUIState ui;
  EXPECT_TRUE(space->OnCmdMsg(ID_EDIT_REDO, &ui));
  EXPECT_FALSE(ui.bEnabled);
  EXPECT_TRUE(space->OnCmdMsg(ID_EDIT_UNDO, &ui));
  EXPECT_TRUE(ui.bEnabled);
  const int invalidated = host.viewInvalidated;
  EXPECT_TRUE(space->OnCmdMsg(ID_EDIT_UNDO, nullptr));
  EXPECT_EQ(space->GetBackground(), 0x112233u);
  EXPECT_FALSE(space->IsCompositeValid());
  EXPECT_GT(host.viewInvalidated, invalidated);
  space->Undo(1);
  EXPECT_EQ(space->GetBackground(), 0xFFFFFFu);
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 2u);
  space->Redo(2);
  EXPECT_EQ(space->GetBackground(), 0xFFFFFFu);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 2u);
  space->Undo(1);
  EXPECT_EQ(space->GetBackground(), 0x112233u);
  space->Redo(1);
  EXPECT_EQ(space->GetBackground(), 0xFFFFFFu);
  ASSERT_EQ(op->notices.size(), 5u);
  EXPECT_EQ(op->notices[0], std::make_pair(std::u16string(u"CPaintSpace"), DWORD(0x1000000)));
  EXPECT_EQ(op->notices[2], std::make_pair(std::u16string(u"CPaintSpace"), DWORD(0x2000000)));
  EXPECT_EQ(op->finished, 5);
  EXPECT_TRUE(list->IsRedraw());
}

TEST_F(PaintSpaceTest, UndoWithAnEmptyStoreDoesNothing) {
  Init();
  const int invalidated = host.viewInvalidated;
  space->Undo(1);
  space->Redo(3);
  EXPECT_TRUE(op->notices.empty());
  EXPECT_EQ(host.viewInvalidated, invalidated);
}

TEST_F(PaintSpaceTest, UndoAndRedoOfATrimOfTheSpace) {
  NewSpaceSize remembered;
  Init(100, 80);
  space->SetNewSpaceSize(&remembered);
  OLayer* a = Add(30, 30, OLayer::myFORMAT_C32, 1, 0, 0);
  OLayer* b = Add(10, 10, OLayer::myFORMAT_A16, 2, 5, 7);
  space->m_pTransform->centreX = 33.5f;
  space->m_pTransform->centreY = 12.25f;
  const int syncs = host.scrollSyncs;
  space->Reposition(RECT{10, 20, 60, 50}, u"空间>尺寸");
  EXPECT_EQ(space->GetWidth(), 60u);
  EXPECT_EQ(space->GetHeight(), 50u);
  EXPECT_EQ(space->m_pTransform->centreX, 23.5f);
  EXPECT_EQ(space->m_pTransform->centreY, -7.75f);
  EXPECT_EQ(Pos(a).x, -10);
  EXPECT_EQ(Pos(a).y, -20);
  EXPECT_EQ(Pos(b).x, -5);
  EXPECT_EQ(Pos(b).y, -13);
  EXPECT_EQ(remembered.nSpaceWidth, 60);
  EXPECT_EQ(remembered.nSpaceHeight, 50);
  EXPECT_GT(host.scrollSyncs, syncs);

  const int beforeUndo = host.scrollSyncs;
  space->Undo(1);
  EXPECT_EQ(space->GetWidth(), 100u);
  EXPECT_EQ(space->GetHeight(), 80u);
  EXPECT_EQ(space->m_pTransform->centreX, 33.5f) << "the centre comes back exactly";
  EXPECT_EQ(space->m_pTransform->centreY, 12.25f);
  EXPECT_EQ(Pos(a).x, 0);
  EXPECT_EQ(Pos(b).y, 7);
  EXPECT_GT(host.scrollSyncs, beforeUndo) << "after a resize the bars are synced";

  space->Redo(1);
  EXPECT_EQ(space->GetWidth(), 60u);
  EXPECT_EQ(space->m_pTransform->centreX, 23.5f);
  EXPECT_EQ(Pos(b).x, -5);
  const char16_t* label = nullptr;
  ASSERT_EQ(space->GetUndoStore()->CopyStepList(&label, 1), 1u);
  EXPECT_EQ(std::u16string(label), u"空间>尺寸");
  // Sizes are clamped into the limits.
  space->Reposition(RECT{0, 0, 0, 20000}, u"");
  EXPECT_EQ(space->GetWidth(), 1u);
  EXPECT_EQ(space->GetHeight(), 10000u);
}

TEST_F(PaintSpaceTest, UndoAndRedoOfALayerPatch) {
  Init();
  Add(8, 8, OLayer::myFORMAT_A16, 1);
  OLayer* l = Add(128, 128, OLayer::myFORMAT_C32, 2);
  GCompRef<OData> before = PaintSquare(l, 64, 0xFF102030);
  EXPECT_EQ(ThrownCondition([&] { space->RecordLayerPatch(0, l, before, u"模糊"); }),
            u"!poLayer==m_pwndListLayer->GetLayer(nIndex)");
  space->RecordLayerPatch(1, l, before, u"模糊");
  before.Release();
  EXPECT_EQ(Pixel(l, 3, 5), 0xFF102030u + (3 ^ 5));
  space->Undo(1);
  EXPECT_EQ(Pixel(l, 3, 5), 0u);
  EXPECT_EQ(Pixel(l, 63, 63), 0u);
  space->Redo(1);
  EXPECT_EQ(Pixel(l, 3, 5), 0xFF102030u + (3 ^ 5));
  EXPECT_EQ(Pixel(l, 63, 62), 0xFF102030u + (63 ^ 62));
  space->Undo(1);
  EXPECT_EQ(Pixel(l, 63, 62), 0u);
}

TEST_F(PaintSpaceTest, ALayerPatchWhoseLayerIsGoneThrowsAndTheUndoStillCloses) {
  Init();
  OLayer* l = Add(64, 64, OLayer::myFORMAT_A16, 9);
  space->RecordLayerPatch(0, l, PaintSquare(l, 16, 0xFF00), u"模糊");
  // Another layer in the row: the ID check.
  { GCompRef<OLayer> gone; gone.m_ptr = list->DetachLayer(0); }
  OLayer* other = Add(64, 64, OLayer::myFORMAT_A16, 10);
  list->SetCurSelect(0);
  space->RefreshDraw(nullptr, nullptr);
  EXPECT_TRUE(space->IsCompositeValid());
  const int invalidated = host.viewInvalidated;
  EXPECT_EQ(ThrownCondition([&] { space->Undo(1); }), u"!(UINT)nID==poLayer->GetID()");
  EXPECT_TRUE(list->IsRedraw());
  EXPECT_FALSE(space->IsCompositeValid());
  EXPECT_GT(host.viewInvalidated, invalidated);
  EXPECT_EQ(list->GetCurSel(), 0) << "EndSpaceUndo ran";

  // No row at the index any more: the same check, not a null layer.
  space->GetUndoStore()->Clear();
  space->RecordLayerPatch(0, other, PaintSquare(other, 16, 0xFF00), u"模糊");
  { GCompRef<OLayer> gone; gone.m_ptr = list->DetachLayer(0); }
  EXPECT_EQ(ThrownCondition([&] { space->Undo(1); }), u"!(UINT)nID==poLayer->GetID()");
  EXPECT_TRUE(list->IsRedraw());
}

TEST_F(PaintSpaceTest, TwentyFiveStepsKeepTwentyFour) {
  Init();
  for (uint32_t i = 1; i <= 25; ++i) {
    host.current = i;
    space->SetBackgroundUndoable();
  }
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 24u);
  space->Undo(30);
  EXPECT_EQ(space->GetBackground(), 1u) << "the first step was dropped";
  EXPECT_EQ(space->GetRedoStore()->GetStepCount(), 24u);
  space->Redo(1);
  EXPECT_EQ(space->GetBackground(), 2u);
}

TEST_F(PaintSpaceTest, TheFlushThreadSwapsALargeStepAndUndoBringsItBack) {
  Init();
  static_cast<XUndoRecorder*>(space->GetUndoStore())->SetSwapFolder(folder + u"/");
  OLayer* l = Add(1024, 1024, OLayer::myFORMAT_C32, 1);
  GCompRef<OData> before = PaintSquare(l, 1024, 0xFF000000);
  ASSERT_GT(before->GetSize(), size_t(UNDO_SWAP_MIN_BYTES));
  space->RecordLayerPatch(0, l, before, u"模糊");
  before.Release();
  for (COLORREF c : {0x10u, 0x20u}) {
    host.current = c;
    space->SetBackgroundUndoable();
  }
  auto swapFiles = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(plat::ToUtf8(folder)))
      n += e.path().filename().string().rfind("qvundo", 0) == 0;
    return n;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (swapFiles() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(swapFiles(), 1) << "the flush thread did not swap the step out";
  space->Undo(3);
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 0u);
  EXPECT_EQ(Pixel(l, 1000, 7), 0u);
  EXPECT_EQ(Pixel(l, 0, 1023), 0u);
  EXPECT_EQ(swapFiles(), 0);
  space->Redo(1);
  EXPECT_EQ(Pixel(l, 1000, 7), 0xFF000000u + (1000 ^ 7));
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

}  // namespace

// An undo owner that looks, while its step runs, at what the space promises every step of
// every owner: the worker is idle and the drawing lock is held, so that another thread cannot
// take it.
class ProbeHandler final : public OUndoHandler {
 public:
  explicit ProbeHandler(CPaintSpace* space) : m_pSpace(space) {}
  ~ProbeHandler() override { JoinOthers(); }
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  void* GetInterface(const char16_t*) override { return nullptr; }
  void AfterUndo() override {}
  int32_t Execute(OUndoRestore* step, OUndoStore* opposite) override {
    step->Begin();
    workerIdle.push_back(m_pSpace->GetWorker()->IsReady() != FALSE);
    const int before = m_nEntered;
    m_others.emplace_back([this] {
      GAutoLock lock(m_pSpace->GetDrawLock());
      ++m_nEntered;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lockHeld.push_back(m_nEntered == before);
    opposite->Begin(this, step->GetTag(), step->GetStepObject());
    opposite->End(FALSE);
    step->End();
    return 0;
  }
  void JoinOthers() {
    for (std::thread& t : m_others) t.join();
    m_others.clear();
  }

  std::vector<bool> workerIdle, lockHeld;

 private:
  CPaintSpace* m_pSpace;
  std::atomic<int> m_nEntered{0};
  std::vector<std::thread> m_others;
};

TEST_F(PaintSpaceTest, EveryStepRunsWithTheWorkerIdleAndTheDrawingLockHeld) {
  host.client = SIZE{32, 32};
  Init(32, 32);
  Add(16, 16, OLayer::myFORMAT_C32, 1);
  ProbeHandler probe(space.get());
  for (int i = 0; i < 2; ++i) {
    GCompRef<GText> label = GNewText(u"probe");
    space->GetUndoStore()->Begin(&probe, 7, label);
    space->GetUndoStore()->End(TRUE);
  }
  ViewTransform t = *space->m_pTransform;
  for (bool redo : {false, true}) {
    // A pass is under way when the command comes; it ends a moment later.
    host.screen.HoldNext();
    ASSERT_EQ(space->RefreshInWorker(&t), 1);
    ASSERT_TRUE(host.screen.WaitHeld());
    std::thread releaser([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      host.screen.Release();
    });
    try {
      if (redo) space->Redo(2);
      else space->Undo(2);
    } catch (GErrRecord* e) {
      ADD_FAILURE() << plat::ToUtf8(e->GetText());
    }
    releaser.join();
  }
  probe.JoinOthers();
  EXPECT_EQ(space->GetUndoStore()->GetStepCount(), 2u);
  EXPECT_EQ(probe.workerIdle, std::vector<bool>(4, true));
  EXPECT_EQ(probe.lockHeld, std::vector<bool>(4, true));
  // The steps go before their owner.
  space->GetUndoStore()->Clear();
  space->GetRedoStore()->Clear();
}
