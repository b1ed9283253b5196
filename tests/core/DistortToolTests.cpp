// The free-mapping tool through synthesised view messages on a headless paint space: the
// identity lattice puts the source down unchanged, a dragged corner takes the source's corner
// with it, a whole-lattice drag is a move, a cancelled render leaves everything as it was,
// undo and redo give the layer back bit for bit, and without a source the tool refuses and
// says why. Also the first lattice's layout, the hit test, the cancelling right click, the
// reach of far drags and the facing of a mirrored view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ScriptedLayerAsk.h"
#include "Talvene.h"
#include "ToolFixture.h"
#include "odata/GError.h"
#include "tools/OperDistort.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr int kSrc = 256;       // the source's side
constexpr POINT kCorner{72, 22};  // where the first lattice's top-left point shows

// The tool the space starts with, so that the free-mapping tool is selected like any other.
class StandIn final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  int Activate() override { return 0; }
};

int ChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 32; s += 8) d = std::max(d, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return d;
}

// A source pixel: an opaque gradient, so that a pixel one place off shows, and smooth, as the
// splatting keeps a smooth image within one step. Its top-left corner is nearly black.
uint32_t SourcePixel(int x, int y) {
  return 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | uint32_t((x + y) >> 1);
}
// Near the source's top-left corner, far from the white destination.
bool IsCornerColour(uint32_t v) { return ChannelDiff(v, SourcePixel(0, 0)) < 24; }

// Runs the job on the calling thread's worker and asks it to stop after the first tile.
class CancelAfterFirstTile final : public CJobRunner {
 public:
  explicit CancelAfterFirstTile(Talvene* component) : m_pComponent(component) {
    m_pComponent->Renderer().SetTileHook([this](int) {
      ++tiles;
      if (m_pControl) m_pControl->flags |= JOB_ABORT;
    });
  }
  ~CancelAfterFirstTile() override { m_pComponent->Renderer().SetTileHook(nullptr); }
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t*, int, uint32_t* flags) override {
    JobControl control;
    m_pControl = &control;
    int32_t result = 0;
    if (worker->Launch(job, &control)) {
      worker->Wait(FALSE);
      result = job->result;
    }
    m_pControl = nullptr;
    if (control.pObj) control.pObj->Release();
    if (flags) *flags = control.flags;
    return result;
  }
  int tiles = 0;

 private:
  Talvene* m_pComponent;
  JobControl* m_pControl = nullptr;
};

class DistortTool : public ToolFixture {
 protected:
  // Space 400 x 300 in the 400 x 300 view at scale 1: client points are space points. The
  // destination covers the space in white; the source (256 x 256) lies above it, marked.
  void SetUp() override {
    sys.Register(u"Talvene", GCreateComponent<Talvene>);
    win.shell = &shell;
    list->SetAsk(&ask);
    tool = new COperDistort();
    Init(400, 300, new StandIn(), {tool});
    dest = AddLayer(400, 300, OLayer::myFORMAT_C32, 1, 0, 0, kWhite);
    source = AddLayer(kSrc, kSrc, OLayer::myFORMAT_C32, 2, 0, 0, 0);
    {
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(source, 0));
      for (int y = 0; y < kSrc; ++y)
        for (int x = 0; x < kSrc; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = SourcePixel(x, y);
    }
    source->MipRefresh(nullptr);
    source->SetFlags(LYR_FLAG_SOURCE);
    list->SetCurSelect(0);
    space->SelectOperator(ID_OPER_DISTORT);
    ASSERT_EQ(space->GetCurOperator(), tool);
  }
  void TearDown() override {
    space->GetWorker()->Wait(FALSE);
    ToolFixture::TearDown();
  }

  std::vector<uint32_t> Pixels(OLayer* layer) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    std::vector<uint32_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint32_t*>(lock.Row(y)), reinterpret_cast<uint32_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  }
  static uint32_t At(const std::vector<uint32_t>& image, int x, int y) { return image[size_t(y) * 400 + size_t(x)]; }
  // A left drag from one client point to another through a point past the threshold.
  void Drag(POINT from, POINT to) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, from.x, from.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, from.x + 2, from.y);
    Send(WM_MOUSEMOVE, MK_LBUTTON, to.x, to.y);
    Send(WM_LBUTTONUP, 0, to.x, to.y);
  }
  BOOL Down() { return tool->OnDistortDown(); }
  CmdUIState Update(UINT id) {
    CmdUIState ui;
    EXPECT_TRUE(space->OnCmdMsg(id, &ui));
    return ui;
  }
  UINT UndoSteps() { return space->GetUndoStore()->GetStepCount(); }
  UINT RedoSteps() { return space->GetRedoStore()->GetStepCount(); }
  std::u16string LastLabel() {
    const char16_t* newest = nullptr;
    return space->GetUndoStore()->CopyStepList(&newest, 1) && newest ? std::u16string(newest) : u"";
  }
  // The renderer's lattice corners stand for the samples one pixel outside the source, so
  // the identity of a 256-pixel source spans 258: each outer point of the first lattice
  // (256 wide, centred) is dragged one pixel outwards. The source's pixel (x, y) then lands
  // at kCorner + (x, y).
  void DragToIdentity() {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        const POINT at{200 + (j - 1) * 128, 150 + (i - 1) * 128};
        Drag(at, POINT{at.x + (j - 1), at.y + (i - 1)});
      }
    ASSERT_FLOAT_EQ(tool->m_args.Point(0, 0).x, -129.0f);
    ASSERT_FLOAT_EQ(tool->m_args.Point(2, 2).y, 129.0f);
    ASSERT_FLOAT_EQ(tool->m_args.Point(1, 2).x, 129.0f);
  }
  void ExpectSourceAt(const std::vector<uint32_t>& image, int ox, int oy) {
    int worst = 0;
    for (int y = 0; y < kSrc; ++y)
      for (int x = 0; x < kSrc; ++x) {
        const int d = ChannelDiff(At(image, ox + x, oy + y), SourcePixel(x, y));
        worst = std::max(worst, d);
      }
    EXPECT_LE(worst, 1) << "the source put down unchanged";
  }

  RecordingShell shell;
  ScriptedLayerAsk ask;
  COperDistort* tool = nullptr;
  OLayer* dest = nullptr;
  OLayer* source = nullptr;
};

TEST_F(DistortTool, TheIdentityLatticeRendersTheSourceUnchangedWithOneUndoableStep) {
  // 400 x 300 client, square source: 256 x 256 centred.
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).x, -128.0f);
  EXPECT_FLOAT_EQ(tool->m_args.Point(2, 2).y, 128.0f);
  DragToIdentity();
  const std::vector<uint32_t> before = Pixels(dest);
  ASSERT_TRUE(Update(ID_DISTORT_DOWN).bEnabled);
  // Through the command route, as the option bar's button sends it.
  ASSERT_TRUE(space->OnCmdMsg(ID_DISTORT_DOWN, nullptr));
  const std::vector<uint32_t> after = Pixels(dest);
  ExpectSourceAt(after, kCorner.x, kCorner.y);
  // Nothing beyond the source's place changed (the samples one pixel outside its edge may
  // splat into the ring of pixels around it).
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) {
      if (x >= kCorner.x - 1 && y >= kCorner.y - 1 && x <= kCorner.x + kSrc && y <= kCorner.y + kSrc) continue;
      ASSERT_EQ(At(after, x, y), kWhite) << x << "," << y;
    }
  EXPECT_EQ(UndoSteps(), 1u);
  EXPECT_EQ(LastLabel(), u"自由帖图");

  space->Undo(1);
  EXPECT_EQ(Pixels(dest), before);
  space->Redo(1);
  EXPECT_EQ(Pixels(dest), after);
  space->Undo(1);
  EXPECT_EQ(Pixels(dest), before);
  // The lattice stays: the same warp drops again.
  ASSERT_TRUE(Down());
  EXPECT_EQ(Pixels(dest), after);
}

TEST_F(DistortTool, ADraggedCornerTakesTheSourcesCornerPixelThere) {
  DragToIdentity();
  Drag(POINT{71, 21}, POINT{41, 1});
  EXPECT_EQ(tool->m_nCtrlPt, 0);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).x, -159.0f);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).y, -149.0f);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 1).y, -129.0f) << "the other points stay";
  ASSERT_TRUE(Down());
  const std::vector<uint32_t> after = Pixels(dest);
  // The corner sample, one pixel outside the source, is at (41, 1): the source's corner
  // starts just inside it, and is stretched over where it was.
  EXPECT_TRUE(IsCornerColour(At(after, 43, 3))) << std::hex << At(after, 43, 3);
  EXPECT_TRUE(IsCornerColour(At(after, kCorner.x - 2, kCorner.y - 2))) << std::hex << At(after, 70, 20);
  EXPECT_EQ(At(after, 40, 0), kWhite) << "nothing before the corner";
}

TEST_F(DistortTool, DraggingTheWholeLatticeIsAMove) {
  ASSERT_TRUE(Down());
  const std::vector<uint32_t> identity = Pixels(dest);
  space->Undo(1);
  // Pressed 12 pixels or more from every point: the lattice moves as a whole.
  Drag(POINT{100, 60}, POINT{130, 77});
  EXPECT_EQ(tool->m_nCtrlPt, -1);
  EXPECT_FLOAT_EQ(tool->m_args.Point(1, 1).x, 30.0f);
  EXPECT_FLOAT_EQ(tool->m_args.Point(1, 1).y, 17.0f);
  ASSERT_TRUE(Down());
  const std::vector<uint32_t> moved = Pixels(dest);
  for (int y = 0; y + 17 < 300; ++y)
    for (int x = 0; x + 30 < 400; ++x) ASSERT_EQ(At(moved, x + 30, y + 17), At(identity, x, y)) << x << "," << y;
}

TEST_F(DistortTool, ACancelledRenderLeavesTheLayerAndBothStoresAsTheyWere) {
  // A redo step to keep: render, undo.
  ASSERT_TRUE(Down());
  space->Undo(1);
  ASSERT_EQ(RedoSteps(), 1u);
  // Stretched over two tiles, so that one is composed before the cancel.
  Drag(POINT{328, 22}, POINT{395, 22});
  Drag(POINT{328, 150}, POINT{395, 150});
  Drag(POINT{328, 278}, POINT{395, 278});
  Drag(kCorner, POINT{2, 22});
  Drag(POINT{72, 150}, POINT{2, 150});
  Drag(POINT{72, 278}, POINT{2, 278});
  const std::vector<uint32_t> before = Pixels(dest);
  CancelAfterFirstTile runner(static_cast<Talvene*>(tool->m_cpDistort.get()));
  ask.runner = &runner;
  EXPECT_FALSE(tool->OnDistortDown());
  EXPECT_EQ(runner.tiles, 1) << "stopped after its first tile";
  EXPECT_EQ(Pixels(dest), before);
  EXPECT_EQ(UndoSteps(), 0u);
  EXPECT_EQ(RedoSteps(), 1u);
  // Without the cancel the same warp goes down.
  ask.runner = nullptr;
  runner.tiles = 0;
  ASSERT_TRUE(Down());
  EXPECT_NE(Pixels(dest), before);
  EXPECT_EQ(RedoSteps(), 0u);
}

TEST_F(DistortTool, WithoutASourceTheToolRefusesAndSaysWhy) {
  source->SetFlags(0);
  space->NotifyOperator(u"CMyListLayer", myNOTIFY_FLAGS | LYR_FLAG_SOURCE, source);
  ASSERT_NE(tool->GetNotice(), nullptr);
  EXPECT_EQ(std::u16string(tool->GetNotice()), u"自由贴图，该功能需要在图层栏指定一个源");
  for (UINT id : {ID_DISTORT_DOWN, ID_DISTORT_INVERT, ID_DISTORT_RESET}) EXPECT_FALSE(Update(id).bEnabled) << id;
  const DistortArgs lattice = tool->m_args;
  Drag(kCorner, POINT{42, 2});
  EXPECT_EQ(std::memcmp(&lattice, &tool->m_args, sizeof lattice), 0) << "no drag without a source";
  const std::vector<uint32_t> before = Pixels(dest);
  EXPECT_FALSE(tool->OnDistortDown());
  EXPECT_EQ(Pixels(dest), before);
  EXPECT_EQ(UndoSteps(), 0u);
  // The view still shows the destination.
  EXPECT_TRUE(tool->RefreshSpace());
  EXPECT_TRUE(space->IsCompositeValid());

  // The mark comes back: the tool works again with the lattice it had.
  source->SetFlags(LYR_FLAG_SOURCE);
  space->NotifyOperator(u"CMyListLayer", myNOTIFY_FLAGS | LYR_FLAG_SOURCE, source);
  EXPECT_EQ(tool->GetNotice(), nullptr);
  EXPECT_TRUE(Update(ID_DISTORT_DOWN).bEnabled);
  // The source as the current layer is no destination.
  list->SetCurSelect(1);
  space->NotifyOperator(u"CMyListLayer", myNOTIFY_SELECT, source);
  EXPECT_FALSE(Update(ID_DISTORT_DOWN).bEnabled);
  EXPECT_TRUE(Update(ID_DISTORT_RESET).bEnabled);
  EXPECT_FALSE(tool->OnDistortDown());
}

TEST_F(DistortTool, TheFirstLatticeIsCentredAndFittedToTheSource) {
  struct Case {
    int cw, ch, sw, sh;
    float x0, y0;  // the top-left point; the bottom-right is its negation
  };
  const Case cases[] = {
      {1000, 600, 400, 400, -150, -150},  // 500 x 300 fitted to a square: 300 x 300
      {300, 200, 100, 50, -128, -64},     // a small client still gets 256 before fitting
      {1000, 600, 800, 200, -250, -62},   // wider than the client's halves: b follows a
  };
  for (const Case& c : cases) {
    DistortArgs args{};
    COperDistort::GetCtrlPoint(&args, myCTRLPT_3X3, c.cw, c.ch, c.sw, c.sh);
    EXPECT_EQ(args.Density.x, 3);
    EXPECT_EQ(args.Density.y, 3);
    EXPECT_FLOAT_EQ(args.Point(0, 0).x, c.x0) << c.cw << "x" << c.ch;
    EXPECT_FLOAT_EQ(args.Point(0, 0).y, c.y0) << c.cw << "x" << c.ch;
    EXPECT_FLOAT_EQ(args.Point(2, 2).x, -c.x0);
    EXPECT_FLOAT_EQ(args.Point(1, 1).x, 0.0f);
  }
  DistortArgs args{};
  try {
    COperDistort::GetCtrlPoint(&args, myCTRLPTCNT, 400, 300, 10, 10);
    ADD_FAILURE() << "kind 9 is refused";
  } catch (GErrRecord* e) {
    EXPECT_NE(std::u16string(e->GetText()).find(u"!(UINT)myCTRLPT<myCTRLPTCNT"), std::u16string::npos);
    e->AddRef();
    e->Release();
  }
}

TEST_F(DistortTool, APressNearTwoPointsTakesTheLowerRowsAndARightClickCancelsTheDrag) {
  // Points (0, 1) and (1, 1) both within reach of the press.
  tool->m_args.Point(0, 1) = DistortPoint{0.0f, -5.0f};
  tool->m_args.Point(1, 1) = DistortPoint{0.0f, 5.0f};
  const DistortArgs pressed = tool->m_args;
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 200, 150);
  EXPECT_EQ(tool->m_nCtrlPt, 4 + 1);
  Send(WM_MOUSEMOVE, MK_LBUTTON, 220, 170);
  EXPECT_FLOAT_EQ(tool->m_args.Point(1, 1).x, 20.0f);
  EXPECT_EQ(tool->m_myState, COperDistort::myDRAG);
  // A right click while the left button holds the lattice puts it back, with no ring menu.
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 220, 170);
  Send(WM_RBUTTONUP, MK_LBUTTON, 220, 170);
  EXPECT_EQ(std::memcmp(&pressed, &tool->m_args, sizeof pressed), 0);
  EXPECT_TRUE(shell.rings.empty());
  Send(WM_MOUSEMOVE, MK_LBUTTON, 240, 190);
  EXPECT_EQ(std::memcmp(&pressed, &tool->m_args, sizeof pressed), 0) << "the cancelled drag moves nothing more";
  Send(WM_LBUTTONUP, 0, 240, 190);
  EXPECT_TRUE(tool->IsReady());

  // A drag that ends with the release keeps its lattice; a right click then opens the ring.
  Drag(POINT{200, 145}, POINT{200, 100});
  EXPECT_FLOAT_EQ(tool->m_args.Point(1, 1).y, -40.0f) << "the lower row's point";
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 1).y, -5.0f);
  Send(WM_RBUTTONDOWN, MK_RBUTTON, 50, 50);
  Send(WM_RBUTTONUP, 0, 50, 50);
  ASSERT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(shell.rings[0].menu, tool->GetFunctionMenu());
  EXPECT_EQ(std::u16string(tool->GetFunctionMenu()->GetLabel(9, 1)), u"操作切换");
}

TEST_F(DistortTool, PointsDraggedFarOutsideStayWithinReach) {
  // Whole-lattice drags of 32,000 pixels each, far past the renderer's reach.
  for (int i = 0; i < 40; ++i) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 100, 60);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 103, 60);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 32100, 60);
    Send(WM_LBUTTONUP, 0, 32100, 60);
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const DistortPoint p = tool->m_args.Point(i, j);
      EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
      EXPECT_LE(std::fabs(p.x), DISTORT_LATTICE_REACH);
    }
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).x, DISTORT_LATTICE_REACH);
  // Far away the warp draws nothing, and says so by no change.
  const std::vector<uint32_t> before = Pixels(dest);
  space->OnCmdMsg(ID_DISTORT_DOWN, nullptr);
  EXPECT_EQ(Pixels(dest), before);
  // Reset brings the lattice back.
  space->OnCmdMsg(ID_DISTORT_RESET, nullptr);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).x, -128.0f);
}

TEST_F(DistortTool, AMirroredViewPutsDownWhatItShows) {
  space->FlipViewAt(200, 150);
  ASSERT_TRUE(View().flags & VIEW_FLAG_FLIP);
  ASSERT_TRUE(Down());
  const std::vector<uint32_t> after = Pixels(dest);
  // The lattice's top-left shows the source's corner; on the layer it is the space point
  // under that client point, mirrored.
  const auto [sx, sy] = SpaceAt(float(kCorner.x), float(kCorner.y));
  const int x = int(std::lround(sx)), y = int(std::lround(sy));
  EXPECT_TRUE(IsCornerColour(At(after, x - 3, y + 3))) << x << "," << y;
  EXPECT_EQ(At(after, x + 2, y + 3), kWhite) << "nothing beyond the mirrored corner";
}

TEST_F(DistortTool, TheToolDrawsTheViewItselfAndOnlyThePreviewFollowsADrag) {
  EXPECT_TRUE(space->RefreshInWorker(nullptr)) << "the tool answers the redraw";
  EXPECT_TRUE(space->IsCompositeValid());
  const int singles = device->singles, begins = device->begins, presents = device->presets;
  Send(WM_LBUTTONDOWN, MK_LBUTTON, kCorner.x, kCorner.y);
  for (int i = 1; i <= 10; ++i) Send(WM_MOUSEMOVE, MK_LBUTTON, kCorner.x - 3 * i, kCorner.y);
  Send(WM_LBUTTONUP, 0, kCorner.x - 30, kCorner.y);
  EXPECT_EQ(device->singles, singles) << "no recomposition while a point moves";
  EXPECT_EQ(device->begins, begins);
  EXPECT_EQ(device->presets, presents);
  // The preview shows the source's corner where the point went, over the destination.
  EXPECT_TRUE(IsCornerColour(0xFF000000u | win.screen.At(kCorner.x - 28, kCorner.y + 2)));
  EXPECT_EQ(win.screen.At(kCorner.x - 34, kCorner.y + 2) & 0xFFFFFF, 0xFFFFFFu);
}

// The wheel is taken and does nothing: scrolled by the paint space, the view would show every
// layer composed instead of the destination under the preview.
TEST_F(DistortTool, TheWheelIsTakenWithoutMovingOrRecomposingTheView) {
  ASSERT_TRUE(space->RefreshInWorker(nullptr));
  const ViewTransform before = View();
  const int begins = device->begins, singles = device->singles;
  const struct {
    UINT msg;
    WPARAM keys;
  } wheels[] = {{WM_MOUSEWHEEL, 0}, {WM_MOUSEWHEEL, MK_SHIFT}, {WM_MOUSEWHEEL, MK_CONTROL}, {WM_MOUSEHWHEEL, 0}};
  for (const auto& w : wheels)
    for (int notches : {1, -2}) {
      SCOPED_TRACE(testing::Message() << w.msg << " keys " << w.keys << " notches " << notches);
      Send(WM_MOUSEMOVE, 0, 200, 150);
      EXPECT_TRUE(Send(w.msg, MAKEWPARAM(w.keys, WORD(int16_t(notches * WHEEL_DELTA))), 200, 150));
      EXPECT_EQ(std::memcmp(&View(), &before, sizeof before), 0);
    }
  EXPECT_EQ(device->begins, begins);
  EXPECT_EQ(device->singles, singles);
  EXPECT_TRUE(space->IsCompositeValid());
}

}  // namespace

namespace {

TEST_F(DistortTool, TheLatticeOutlivesToolChangesAndNewDestinationsButNotANewSource) {
  Drag(kCorner, POINT{52, 12});
  const DistortArgs dragged = tool->m_args;
  space->SelectOperator(ID_OPER_PAINT);
  EXPECT_EQ(tool->m_cpDistort.get(), nullptr) << "the component goes with the tool";
  space->SelectOperator(ID_OPER_DISTORT);
  EXPECT_EQ(std::memcmp(&dragged.lattice, &tool->m_args.lattice, sizeof dragged.lattice), 0);
  list->SetCurSelect(1);
  space->NotifyOperator(u"CMyListLayer", myNOTIFY_SELECT, source);
  EXPECT_EQ(std::memcmp(&dragged.lattice, &tool->m_args.lattice, sizeof dragged.lattice), 0);
  // The destination becomes the source: a 400 x 300 source gets a lattice of its own shape.
  source->SetFlags(0);
  dest->SetFlags(LYR_FLAG_SOURCE);
  space->NotifyOperator(u"CMyListLayer", myNOTIFY_FLAGS | LYR_FLAG_SOURCE, dest);
  EXPECT_EQ(tool->m_cpLayerSrc.get(), dest);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).x, -128.0f);
  EXPECT_FLOAT_EQ(tool->m_args.Point(0, 0).y, -96.0f);
}

}  // namespace
