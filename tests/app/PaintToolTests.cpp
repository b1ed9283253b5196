// The paint tool in the running program, with the brushes and the engine of the plug-in
// folder: a click leaves a dot and one "绘画" step, a stroke paints along its path, undo and
// redo give back the layer bit for bit (also through the glass onto a mask layer), clear and
// fade, the eraser, a stroke shown live on a zoomed-out view, arc mode's steps, the wheel's
// ratio edges, the SPACE gesture and the sink's lock.
#include <QElapsedTimer>
#include <thread>

#include "AppHarness.h"
#include "Morvane/OccupancyChecks.h"
#include "core/ColorBar.h"
#include "core/TavrikView.h"
#include "frame/ResourceIds.h"
#include "odata/OUndo.h"
#include "panels/MyListBrush.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Tablet.h"
#include "tools/OperDistort.h"
#include "tools/OperLasso.h"
#include "tools/OperPaint.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// An engine that keeps the samples it is given and paints nothing.
class RecordingEngine final : public ODorvil {
 public:
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  void* GetInterface(const char16_t*) override { return nullptr; }
  void Bind(BrushContext*, UINT) override {}
  BOOL IsReady() override { return TRUE; }
  BOOL BeginStroke(OBrush*, PaintTarget*, PaintDirtySink*, JobRecord* job) override {
    samples.clear();
    job->proc = [](void*, JobRecord*, JobControl*) { return int32_t(0); };
    job->object = this;
    return TRUE;
  }
  void AddSample(const PaintSample* s) override { samples.push_back(*s); }
  void EndStroke() override {}
  BOOL BeginArc(OBrush*, PaintTarget*, PaintDirtySink*, BOOL) override { return TRUE; }
  void Arc(const PaintSample*, const PaintSample*, const PaintSample*) override {}
  void EndArc() override {}
  std::vector<PaintSample> samples;
};

class PaintToolTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 120, 90);
    layer = List()->GetLayer(0);
    Fill(kWhite);
    Doc()->GetColorBar()->PushRgb(0x000000);
    tool = dynamic_cast<COperPaint*>(Space()->GetCurOperator());
    ASSERT_NE(tool, nullptr);
    brushes = Frame()->GetBrushList();
    ASSERT_NE(brushes, nullptr);
    ASSERT_GT(brushes->GetCount(), 0);
    Use(u"钢笔");
  }
  // The whole layer set to one value, as a recorded edit leaves it.
  void Fill(uint32_t v) {
    {
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(layer, 0));
      for (int y = 0; y < lock.nHeight; ++y)
        for (int x = 0; x < lock.nWidth; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = v;
    }
    ASSERT_TRUE(layer->PAT_GetActiveFlags() & PAT_F_BACKUP) << "the tool opened the layer's transaction";
    layer->PAT_MarkSet(nullptr, nullptr);
    layer->PAT_Turn(FALSE);
  }
  // The brush of that name becomes current, with the worker's preparation done.
  void Use(const std::u16string& name) {
    for (int i = 0; i < brushes->GetCount(); ++i)
      if (brushes->GetEntry(i)->GetName() == name) brushes->SelectBrush(i);
    ASSERT_EQ(brushes->GetEntry(brushes->GetCurSel())->GetName(), name);
    Space()->GetWorker()->Wait(FALSE);
    ASSERT_TRUE(tool->m_cpBrush && tool->m_cpBrush->IsReady());
  }
  std::vector<uint32_t> Pixels() {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, LYR_LOCK_READ));
    std::vector<uint32_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint32_t*>(lock.Row(y)), reinterpret_cast<uint32_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  }
  uint32_t At(int sx, int sy) { return Pixels()[size_t(sy) * 120 + size_t(sx)]; }
  // The client point over a space point.
  POINT Client(float sx, float sy) {
    const float in[2] = {sx, sy};
    float out[2];
    app->GetShowDevice()->SpaceToClient(out, in, Space()->m_pTransform);
    return POINT{LONG(out[0]), LONG(out[1])};
  }
  void Send(UINT msg, WPARAM wParam, POINT pt) { Frame()->GetView()->SendMessage(msg, wParam, MakePointLParam(pt.x, pt.y)); }
  // A drag from one space point to another in steps of two pixels.
  void Stroke(float x0, float y0, float x1, float y1) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Client(x0, y0));
    const int steps = std::max(1, int(std::hypot(x1 - x0, y1 - y0) / 2));
    for (int i = 1; i <= steps; ++i) {
      const float t = float(i) / float(steps);
      Send(WM_MOUSEMOVE, MK_LBUTTON, Client(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t));
    }
    Send(WM_LBUTTONUP, 0, Client(x1, y1));
  }
  UINT Steps() { return Space()->GetUndoStore()->GetStepCount(); }
  std::u16string LastLabel() {
    const char16_t* newest = nullptr;
    return Space()->GetUndoStore()->CopyStepList(&newest, 1) && newest ? std::u16string(newest) : u"";
  }

  OLayer* layer = nullptr;
  COperPaint* tool = nullptr;
  CMyListBrush* brushes = nullptr;
};

TEST_F(PaintToolTest, AClickLeavesADotAndOneStepThatUndoesAndRedoesExactly) {
  const std::vector<uint32_t> before = Pixels();
  const POINT p = Client(60.5f, 45.5f);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, p);
  Send(WM_LBUTTONUP, 0, p);
  EXPECT_EQ(Steps(), 1u);
  EXPECT_EQ(LastLabel(), u"绘画");
  EXPECT_LT(At(60, 45) & 0xFF, 0x40u) << "black where the pen went down";
  EXPECT_EQ(At(60, 5), kWhite);
  const std::vector<uint32_t> painted = Pixels();
  Space()->Undo(1);
  EXPECT_EQ(Pixels(), before);
  Space()->Redo(1);
  EXPECT_EQ(Pixels(), painted);
}

// Black on white, a click of every glass brush at OPACITY 25, 50 and 100: the dot's centre is
// covered by the opacity once (191, 128, 0), not by its square.
TEST_F(PaintToolTest, OpacityIsTheStrokesStrengthForEveryGlassBrush) {
  struct Case {
    int32_t opacity;
    uint32_t centre;
  };
  const Case cases[] = {{25, 191}, {50, 128}, {100, 0}};
  for (const char16_t* name : {u"钢笔", u"铅笔", u"墨水笔", u"喷枪", u"炭笔"}) {
    Use(name);
    ASSERT_TRUE(tool->m_cpBrush->NeedsGlass());
    // The list's entry keeps the values the brush paints with.
    auto* entry = brushes->GetEntry(brushes->GetCurSel());
    UINT at = 0;
    ASSERT_NE(entry->FindByName(&at, u"OPACITY"), nullptr);
    for (const Case& c : cases) {
      entry->SetValue(at, c.opacity);
      entry->StoreValues(0);
      const POINT p = Client(60.5f, 45.5f);
      Send(WM_LBUTTONDOWN, MK_LBUTTON, p);
      Send(WM_LBUTTONUP, 0, p);
      EXPECT_NEAR(int(At(60, 45) & 0xFF), int(c.centre), 1) << U8(name) << " OPACITY " << c.opacity;
      Space()->Undo(1);
      Space()->GetWorker()->Wait(FALSE);
    }
  }
}

TEST_F(PaintToolTest, AStrokeAfterAnUndoneOneUndoesToTheLayerAsItWas) {
  const std::vector<uint32_t> before = Pixels();
  Stroke(20.0f, 30.0f, 100.0f, 30.0f);
  Space()->Undo(1);
  ASSERT_EQ(Pixels(), before);
  // The undo's redraw runs on the worker; a stroke begun meanwhile is refused.
  Space()->GetWorker()->Wait(FALSE);
  Stroke(20.0f, 60.0f, 100.0f, 60.0f);
  const std::vector<uint32_t> second = Pixels();
  EXPECT_EQ(At(60, 30), kWhite) << "the undone stroke stays undone";
  Space()->Undo(1);
  EXPECT_EQ(Pixels(), before);
  Space()->Redo(1);
  EXPECT_EQ(Pixels(), second);
}

TEST_F(PaintToolTest, AStrokePaintsAlongItsPathOnly) {
  Stroke(20.0f, 45.0f, 100.0f, 45.0f);
  EXPECT_EQ(Steps(), 1u);
  for (int x = 24; x <= 96; x += 4) EXPECT_LT(At(x, 45) & 0xFF, 0x80u) << x;
  for (int x = 0; x < 120; x += 7) {
    EXPECT_EQ(At(x, 10), kWhite) << x;
    EXPECT_EQ(At(x, 80), kWhite) << x;
  }
  EXPECT_EQ(At(2, 45), kWhite) << "nothing runs in from elsewhere";
}

// The pen paints through the glass; on a mask layer the merge raises coverage along the
// path only, and the step gives back the 16-bit values bit for bit.
TEST_F(PaintToolTest, TheGlassMergesOntoAMaskLayerAndItsStepReplaysExactly) {
  NewDocument(CTavrikDoc::myNEW_MASK, 120, 90);
  layer = List()->GetLayer(0);
  ASSERT_EQ(layer->GetFormat(), OLayer::myFORMAT_A16);
  ASSERT_EQ(tool->m_cpLayer.get(), layer) << "the tool follows the new document's layer";
  ASSERT_TRUE(tool->m_cpGlass) << "the pen paints through a glass";
  auto coverage = [&] {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    std::vector<uint16_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      out.insert(out.end(), reinterpret_cast<uint16_t*>(lock.Row(y)), reinterpret_cast<uint16_t*>(lock.Row(y)) + lock.nWidth);
    return out;
  };
  const std::vector<uint16_t> before = coverage();
  const uint16_t empty = before[size_t(45) * 120 + 60];
  Stroke(20.0f, 45.0f, 100.0f, 45.0f);
  ASSERT_EQ(Steps(), 1u);
  EXPECT_EQ(LastLabel(), u"绘画");
  const std::vector<uint16_t> painted = coverage();
  for (int x = 24; x <= 96; x += 8) EXPECT_NE(painted[size_t(45) * 120 + size_t(x)], empty) << x;
  for (int x = 0; x < 120; x += 7) EXPECT_EQ(painted[size_t(10) * 120 + size_t(x)], before[size_t(10) * 120 + size_t(x)]) << x;
  Space()->Undo(1);
  EXPECT_EQ(coverage(), before);
  Space()->Redo(1);
  EXPECT_EQ(coverage(), painted);
}

TEST_F(PaintToolTest, TheEraserLowersAlphaWhereItPassedOnly) {
  Use(u"橡皮擦");
  // The preset's size curve makes its eraser some 90 px across at full pressure: a base radius
  // of 8 px (item 88) for this layer.
  auto* entry = brushes->GetEntry(brushes->GetCurSel());
  UINT at = 0;
  ASSERT_NE(entry->FindByName(&at, u"RADIUS"), nullptr);
  entry->SetValue(at, 88);
  entry->StoreValues(0);
  Stroke(20.0f, 45.0f, 100.0f, 45.0f);
  EXPECT_LT(At(60, 45) >> 24, 0x80u);
  EXPECT_EQ(At(60, 45) & 0xFFFFFFu, 0xFFFFFFu) << "only alpha goes";
  EXPECT_EQ(At(60, 10), kWhite);
}

TEST_F(PaintToolTest, ClearAndFadeUndoAndRedoExactly) {
  struct Case {
    UINT id;
    uint32_t alpha;
  };
  for (const Case c : {Case{ID_PAINT_FADE, 0x80}, Case{ID_PAINT_FADE75, 0x40}, Case{ID_PAINT_CLEAR, 0}}) {
    SCOPED_TRACE(c.id);
    const std::vector<uint32_t> before = Pixels();
    ASSERT_TRUE(Run(c.id));
    EXPECT_EQ(LastLabel(), u"清空/淡化");
    EXPECT_NEAR(double(At(5, 5) >> 24), double(c.alpha), 1.0);
    const std::vector<uint32_t> after = Pixels();
    Space()->Undo(1);
    EXPECT_EQ(Pixels(), before);
    Space()->Redo(1);
    EXPECT_EQ(Pixels(), after);
    Space()->Undo(1);
  }
}

TEST_F(PaintToolTest, ArcModeStepsBackOnRightClicksAndPaintsOneSegmentPerDrag) {
  XBrushProperty* entry = brushes->GetEntry(brushes->GetCurSel());
  UINT at = 0;
  ASSERT_NE(entry->FindByName(&at, u"OPERATEMODE"), nullptr);
  entry->SetValue(at, BRUSH_OPERATE_ARC);
  entry->StoreValues(0);
  Space()->NotifyOperator(u"CMyListBrush", myNOTIFY_SELECT, brushes->GetCurBrush());
  ASSERT_TRUE(tool->m_bArcMode);

  const POINT a = Client(20.0f, 60.0f), b = Client(100.0f, 60.0f);
  // A right click after the first point drops it.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, a);
  Send(WM_LBUTTONUP, 0, a);
  EXPECT_EQ(tool->m_nArcStep, COperPaint::myARC_START);
  Send(WM_RBUTTONDOWN, MK_RBUTTON, a);
  Send(WM_RBUTTONUP, 0, a);
  EXPECT_EQ(tool->m_nArcStep, COperPaint::myARC_NONE);

  // A right click while the end point is held drops it; the release paints nothing.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, a);
  Send(WM_LBUTTONUP, 0, a);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, b);
  EXPECT_EQ(tool->m_nArcStep, COperPaint::myARC_END);
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, b);
  Send(WM_RBUTTONUP, MK_LBUTTON, b);
  EXPECT_EQ(tool->m_nArcStep, COperPaint::myARC_START);
  Send(WM_LBUTTONUP, 0, b);
  EXPECT_EQ(Steps(), 0u);

  // The end point again, dragged up: the curve bends away from the chord.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, b);
  const POINT up = Client(100.0f, 30.0f);
  Send(WM_MOUSEMOVE, MK_LBUTTON, Client(100.0f, 45.0f));
  Send(WM_MOUSEMOVE, MK_LBUTTON, up);
  Send(WM_LBUTTONUP, 0, up);
  EXPECT_EQ(Steps(), 1u);
  EXPECT_EQ(LastLabel(), u"绘画>弧线");
  EXPECT_EQ(tool->m_nArcStep, COperPaint::myARC_START) << "the end is the next segment's start";
  // The control point went 30 up, so the curve's middle is 15 above the chord.
  EXPECT_LT(At(60, 45) & 0xFF, 0x80u);
  EXPECT_EQ(At(60, 60), kWhite);
}

TEST_F(PaintToolTest, SamplesCarryWeightSpeedSlopeAndTheTabletsPressure) {
  RecordingEngine recorder;
  GCompRef<ODorvil> real = tool->m_cpPaint;
  tool->m_cpPaint = &recorder;
  ASSERT_NE(g_pTabletContext, nullptr);
  // Leaning 30 degrees towards +x: half of libmypaint's full tilt.
  g_pTabletContext->OnPacket(0.3f, 30.0f, 0, 0);
  const float factor = g_pTabletContext->m_fPressureFactor;
  const POINT p0 = Client(30.0f, 30.0f);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, p0);
  // One pixel right, then 30 right and 40 down, then four more small steps.
  const POINT moves[] = {{p0.x + 1, p0.y}, {p0.x + 31, p0.y + 40}, {p0.x + 32, p0.y + 40},
                         {p0.x + 33, p0.y + 40}, {p0.x + 34, p0.y + 40}, {p0.x + 35, p0.y + 40}};
  for (const POINT& m : moves) Send(WM_MOUSEMOVE, MK_LBUTTON, m);
  Send(WM_LBUTTONUP, 0, moves[5]);
  tool->m_cpPaint = real;

  ASSERT_EQ(recorder.samples.size(), 7u);
  const PaintSample& first = recorder.samples[0];
  EXPECT_EQ(first.weight, 1.0f);
  EXPECT_EQ(first.speed, 0.0f);
  EXPECT_EQ(first.slope, 0.0f);
  EXPECT_EQ(first.pressure, 0.0f) << "the first sample has no pressure yet";
  EXPECT_EQ(first.color, 0xFF000000u) << "the current colour, opaque";
  EXPECT_NEAR(first.x, 30.0f, 1.0f);
  const float w = float(Space()->m_pTransform->clientWidth);
  const float weights[] = {1.0f, 0.94f, 0.8836f};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(recorder.samples[size_t(i) + 1].weight, weights[i], 1e-5);
  EXPECT_NEAR(recorder.samples[1].speed, std::min(w / 200.0f, 1.0f), 1e-5);
  EXPECT_NEAR(recorder.samples[1].slope, 0.0f, 1e-5);
  EXPECT_NEAR(recorder.samples[2].speed, std::min(w / (50.0f * 200.0f), 1.0f), 1e-3);
  EXPECT_NEAR(recorder.samples[2].slope, 40.0f / 50.0f, 1e-3);
  // Four moves take the last packet's pressure; from the fifth on the pen counts as gone.
  const float packet = std::clamp(0.3f * factor, 0.0f, 1.0f);
  for (int i = 1; i <= 4; ++i) EXPECT_NEAR(recorder.samples[size_t(i)].pressure, packet, 1e-6) << i;
  for (int i = 5; i <= 6; ++i) EXPECT_EQ(recorder.samples[size_t(i)].pressure, 1.0f) << i;
  // The pen's tilt likewise; a mouse has none.
  for (int i = 1; i <= 4; ++i) {
    EXPECT_NEAR(recorder.samples[size_t(i)].xtilt, 0.5f, 1e-3) << i;
    EXPECT_NEAR(recorder.samples[size_t(i)].ytilt, 0.0f, 1e-3) << i;
  }
  for (int i : {0, 5, 6}) {
    EXPECT_EQ(recorder.samples[size_t(i)].xtilt, 0.0f) << i;
    EXPECT_EQ(recorder.samples[size_t(i)].ytilt, 0.0f) << i;
  }
}

TEST_F(PaintToolTest, TheWheelSizesTheBrushWithinItsRange) {
  const POINT centre = Client(60.0f, 45.0f);
  Send(WM_MOUSEMOVE, 0, centre);
  struct Case {
    float from;
    int delta;
    float to;
  };
  for (const Case c : {Case{0.0f, 120, 0.0f}, Case{0.0f, -120, 0.01f}, Case{1.0f, -120, 1.0f}, Case{0.5f, 120, 0.44f}}) {
    tool->m_fRadiusRatio = c.from;
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(int16_t(c.delta))), centre);
    EXPECT_NEAR(tool->m_fRadiusRatio, c.to, 1e-5) << c.from << " " << c.delta;
    EXPECT_NEAR(brushes->GetRadiusRatio(), c.to, 0.01);
  }
}

// A preset that equals the working values shows its mark; a size changed by the wheel or by
// the SPACE gesture's flick no longer equals it, and the mark goes.
TEST_F(PaintToolTest, TheWheelAndTheSizeGestureRefreshThePresetMarks) {
  static DWORD now = 0;
  COperation::SetTickSource([] { return now; });
  const POINT centre = Client(60.0f, 45.0f);
  Send(WM_MOUSEMOVE, 0, centre);
  const auto resize = [&](bool wheel) {
    if (wheel) {
      Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(int16_t(-120))), centre);
      return;
    }
    Frame()->GetView()->SendMessage(WM_KEYDOWN, VK_SPACE, 1);
    Send(WM_MOUSEMOVE, 0, POINT{centre.x + 69, centre.y});
    now += SPACE_TAP_MS + 1;
    Frame()->GetView()->SendMessage(WM_KEYUP, VK_SPACE, 0xC0000001);
    Send(WM_MOUSEMOVE, 0, centre);
  };
  for (bool wheel : {true, false}) {
    SCOPED_TRACE(wheel ? "wheel" : "gesture");
    brushes->SetRadiusRatio(0.3f);
    tool->m_fRadiusRatio = brushes->GetRadiusRatio();
    XBrushProperty* e = brushes->GetEntry(brushes->GetCurSel());
    e->StoreValues(1);
    e->UpdatePresetFlags();
    ASSERT_TRUE(e->m_dwFlags & (1u << 1));
    resize(wheel);
    EXPECT_GT(brushes->GetRadiusRatio(), 0.3f);
    EXPECT_FALSE(e->m_dwFlags & (1u << 1)) << "the mark of preset 1 is gone";
  }
  COperation::SetTickSource(nullptr);
}

// SPACE held over the view: the pointer's offset sizes the brush. Inside the dead zone
// nothing changes; a flick right grows the size by a fifth plus 0.02 and ends the gesture,
// so later moves leave the size alone and the late release is no tap.
TEST_F(PaintToolTest, TheSpaceGestureKeepsItsDeadZoneAndEndsOnAFlick) {
  static DWORD now = 0;
  COperation::SetTickSource([] { return now; });
  const POINT anchor = Client(60.0f, 45.0f);
  Send(WM_MOUSEMOVE, 0, anchor);
  brushes->SetRadiusRatio(0.5f);
  tool->m_fRadiusRatio = brushes->GetRadiusRatio();
  const float h = tool->m_fRadiusRatio;
  Frame()->GetView()->SendMessage(WM_KEYDOWN, VK_SPACE, 1);
  Send(WM_MOUSEMOVE, 0, POINT{anchor.x + 9, anchor.y});
  EXPECT_EQ(tool->m_fRadiusRatio, h) << "the dead zone";
  Send(WM_MOUSEMOVE, 0, POINT{anchor.x + 69, anchor.y});
  const float grown = std::clamp(h + h * 0.2f + 0.02f, 0.0f, 1.0f);
  EXPECT_NEAR(tool->m_fRadiusRatio, grown, 1e-5);
  EXPECT_NEAR(brushes->GetRadiusRatio(), grown, 0.01);
  Send(WM_MOUSEMOVE, 0, POINT{anchor.x + 30, anchor.y});
  EXPECT_NEAR(tool->m_fRadiusRatio, grown, 1e-5) << "the flick ended the gesture";
  now += SPACE_TAP_MS + 1;
  Frame()->GetView()->SendMessage(WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_NEAR(tool->m_fRadiusRatio, grown, 1e-5) << "a held SPACE is no tap";
  COperation::SetTickSource(nullptr);
}

// Zoomed out the view shows the mip levels: each batch of dabs must reach them as it is
// drawn, through the glass (pen) and straight into the layer (eraser), and the view after
// the release is the one a redraw from scratch gives.
TEST_F(PaintToolTest, ZoomedOutTheStrokeShowsAsItIsDrawnAndEndsAsARedrawFromScratch) {
  struct Case {
    float zoom;
    const char16_t* brush;
    uint32_t fill;
  };
  const Case cases[] = {{0.5f, u"钢笔", kWhite},
                        {VIEW_SCALE_MIN, u"钢笔", kWhite},
                        {0.5f, u"橡皮擦", 0xFF000000u},
                        {VIEW_SCALE_MIN, u"橡皮擦", 0xFF000000u}};
  auto screen = [&] {
    GAutoLock lock(Space()->GetDrawLock());
    const gui::ScreenImage* image = Frame()->GetView()->GetImage();
    return std::vector<uint32_t>(image->Bits(), image->Bits() + size_t(image->Pitch()) * size_t(image->Height()));
  };
  auto pixel = [&](POINT p) {
    GAutoLock lock(Space()->GetDrawLock());
    return Frame()->GetView()->GetImage()->Pixel(p.x, p.y) & 0xFFFFFFu;
  };
  // The view composed anew and on the screen.
  auto redrawn = [&] {
    Space()->InvalidateComposite();
    Space()->InvalidateView();
    return WaitFor([&] { return Space()->IsCompositeValid(); });
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << ", " << U8(c.brush));
    NewDocument(CTavrikDoc::myNEW_COLOR, 400, 300);
    layer = List()->GetLayer(0);
    Fill(c.fill);
    layer->MipRefresh(nullptr);
    Use(c.brush);
    const POINT centre{Space()->m_pTransform->clientWidth / 2, Space()->m_pTransform->clientHeight / 2};
    Space()->ZoomAt(centre.x, centre.y, c.zoom / Space()->m_pTransform->scale);
    ASSERT_EQ(Space()->m_pTransform->scale, c.zoom);
    ASSERT_TRUE(redrawn());

    const POINT from = Client(100.0f, 150.0f), to = Client(300.0f, 150.0f), mid = Client(200.0f, 150.0f);
    const uint32_t untouched = pixel(mid);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, from);
    for (LONG x = from.x + 1; x <= to.x; ++x) Send(WM_MOUSEMOVE, MK_LBUTTON, POINT{x, from.y});
    EXPECT_TRUE(WaitFor([&] { return pixel(mid) != untouched; }, 3000)) << "the stroke shows before the release";
    Send(WM_LBUTTONUP, 0, to);
    ASSERT_EQ(Steps(), 1u);
    ASSERT_TRUE(WaitFor([&] { return Space()->IsCompositeValid(); }));
    const std::vector<uint32_t> released = screen();

    for (int i = 0; i < List()->GetCount(); ++i) List()->GetLayer(i)->MipRefresh(nullptr);
    ASSERT_TRUE(redrawn());
    EXPECT_EQ(released, screen()) << "the view after the release is a redraw from scratch";
  }
}

// The painter's own work (strokes straight in and through the glass, undo and redo, the
// bucket, the outline fill, a lasso edit, a distort) with the refresh the program does after
// it: the layer's map of non-empty blocks stays known, so the view goes on leaving out empty
// blocks, and it covers every non-zero pixel at every level.
TEST_F(PaintToolTest, ThePaintersWorkKeepsTheLayersBlockMapKnown) {
  NewDocument(CTavrikDoc::myNEW_COLOR, 320, 256);
  auto click = [&](float x, float y) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Client(x, y));
    Send(WM_LBUTTONUP, 0, Client(x, y));
  };
  // The pen paints through the glass; the eraser, straight into the layer, across the square.
  auto paint = [&](const std::u16string& brush) {
    Space()->SelectOperator(ID_OPER_PAINT);
    Use(brush);
    if (brush == u"钢笔") Stroke(100.0f, 150.0f, 250.0f, 170.0f);
    else Stroke(10.0f, 40.0f, 80.0f, 40.0f);
  };
  const struct {
    const char* name;
    std::function<void(OLayer*)> work;
    bool changes;  // else the layer is back as it was
  } cases[] = {
      {"eraser stroke straight in", [&](OLayer*) { paint(u"橡皮擦"); }, true},
      {"stroke through the glass", [&](OLayer*) { paint(u"钢笔"); }, true},
      {"stroke undone",
       [&](OLayer*) {
         paint(u"钢笔");
         Space()->Undo(1);
       },
       false},
      {"stroke undone and redone",
       [&](OLayer*) {
         paint(u"钢笔");
         Space()->Undo(1);
         Space()->Redo(1);
       },
       true},
      {"bucket",
       [&](OLayer*) {
         Space()->SelectOperator(ID_OPER_FLOOD);
         click(200.0f, 180.0f);
       },
       true},
      {"outline fill",
       [&](OLayer*) {
         Space()->SelectOperator(ID_OPER_POLYGON);
         for (const POINTF p : {POINTF{150, 100}, POINTF{300, 120}, POINTF{200, 240}, POINTF{150, 100}}) click(p.x, p.y);
       },
       true},
      {"lasso edit",
       [&](OLayer*) {
         Space()->SelectOperator(ID_OPER_LASSO);
         auto* lasso = dynamic_cast<COperLasso*>(Space()->GetCurOperator());
         ASSERT_NE(lasso, nullptr);
         lasso->m_qLasso = {POINTF{10, 10}, POINTF{70, 10}, POINTF{70, 70}, POINTF{10, 70}};
         lasso->LiftUp();
         ASSERT_EQ(lasso->m_myState, COperLasso::myLIFT);
         lasso->m_rrFrame.x += 170.0f;
         lasso->m_rrFrame.y += 120.0f;
         lasso->Impress(FALSE);
         lasso->PutDown();
       },
       true},
      {"distort",
       [&](OLayer* l) {
         GCompRef<OLayer> source = app->GetShowDevice()->CreateLayer(64, 64, OLayer::myFORMAT_C32, 99);
         {
           LayerLock lock;
           ASSERT_TRUE(lock.Lock(source, 0));
           for (int y = 0; y < 64; ++y)
             for (int x = 0; x < 64; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = 0xFF3080C0u;
         }
         source->MipRefresh(nullptr);
         source->SetFlags(LYR_FLAG_SOURCE);
         List()->AddLayer(-1, source);
         for (int i = 0; i < List()->GetCount(); ++i)
           if (List()->GetLayer(i) == l) List()->SetCurSelect(i);
         Space()->SelectOperator(ID_OPER_DISTORT);
         Space()->NotifyOperator(u"CMyListLayer", myNOTIFY_FLAGS | LYR_FLAG_SOURCE, source.get());
         auto* distort = dynamic_cast<COperDistort*>(Space()->GetCurOperator());
         ASSERT_NE(distort, nullptr);
         ASSERT_TRUE(distort->OnDistortDown());
       },
       true},
  };
  UINT id = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A clear layer over the document's with a square of paint in one corner, its levels
    // refreshed as a loaded layer's are.
    GCompRef<OLayer> l = app->GetShowDevice()->CreateLayer(320, 256, OLayer::myFORMAT_C32, ++id);
    {
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(l, 0));
      for (int y = 20; y < 60; ++y)
        for (int x = 20; x < 60; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = 0xFF804020u;
    }
    l->MipRefresh(nullptr);
    List()->SetCurSelect(List()->AddLayer(0, l));
    ASSERT_TRUE(Known(l));
    layer = l;
    const std::vector<uint32_t> before = Pixels();
    c.work(l);
    EXPECT_EQ(Pixels() != before, c.changes);
    EXPECT_TRUE(Known(l));
    ExpectCovered(l, c.name);
  }
}

TEST_F(PaintToolTest, AFlushWithoutDabsStillReleasesTheDrawingLock) {
  ViewTransform view{};
  tool->m_sink.Reset(&view);
  tool->m_sink.Flush();
  bool taken = false;
  std::thread other([&] {
    GAutoLock lock(Space()->GetDrawLock());
    taken = true;
  });
  other.join();
  EXPECT_TRUE(taken);
}

}  // namespace
