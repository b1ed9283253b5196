// The outline tool through synthesised view messages: a closed outline of three curved
// segments fills the coverage an independent point-in-curve test gives; taking back segments
// by the right button and SPACE (the outline then goes on from the end of the last segment
// left), dropping it by a quick second right click; the nine modes on both formats against
// hand-worked pixels; undo and redo bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <deque>

#include "FillToolFixture.h"
#include "tools/FillKernels.h"
#include "tools/OperPolygon.h"

namespace {

DWORD g_now = 0;
DWORD Now() { return g_now; }

// A point of the quadratic segment a-b bent by q.
POINTF Quad(POINTF a, POINTF b, POINTF q, double t) {
  const double u = 1 - t;
  return POINTF{float(u * u * a.x + 2 * t * u * q.x + t * t * b.x), float(u * u * a.y + 2 * t * u * q.y + t * t * b.y)};
}

class PolygonTool : public FillToolFixture {
 protected:
  // A 200 x 200 space in the 400 x 300 view at scale 1, one empty colour layer over it.
  void SetUp() override {
    COperation::SetTickSource(Now);
    g_now = 100000;
    win.shell = &shell;
    shell.withBar = false;
    tool = new COperPolygon();
    Init(200, 200, tool);
    layer = AddLayer(200, 200, OLayer::myFORMAT_C32, 1, 0, 0, 0);
    list->SetCurSelect(0);
  }
  void TearDown() override {
    COperation::SetTickSource(nullptr);
    FillToolFixture::TearDown();
  }
  // Where a press at a client point lands in the space.
  POINTF Pressed(POINT pt) {
    const auto [x, y] = SpaceAt(float(pt.x) + 0.5f, float(pt.y) + 0.5f);
    return POINTF{x, y};
  }
  // One segment: a press at end, dragged to bend (a click when drag is end).
  void Segment(POINT end, POINT drag) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, end.x, end.y);
    if (drag.x != end.x || drag.y != end.y) Send(WM_MOUSEMOVE, MK_LBUTTON, drag.x, drag.y);
    Send(WM_LBUTTONUP, 0, drag.x, drag.y);
  }
  void Click(POINT at) { Segment(at, at); }
  void RightClick(POINT at, DWORD when) {
    g_now = when;
    Send(WM_RBUTTONDOWN, MK_RBUTTON, at.x, at.y);
    Send(WM_RBUTTONUP, 0, at.x, at.y);
  }
  // The control point a drag to drag gives the segment from a to b.
  POINTF Control(POINTF a, POINTF b, POINT drag) {
    const auto [mx, my] = SpaceAt(float(drag.x), float(drag.y));
    return POINTF{(a.x + b.x) * 0.5f + mx - b.x, (a.y + b.y) * 0.5f + my - b.y};
  }
  // The closed curve of segments {start, end, control}, finely sampled.
  static std::vector<POINTF> Curve(const std::vector<std::array<POINTF, 3>>& segments) {
    std::vector<POINTF> out;
    for (const auto& s : segments)
      for (int i = 0; i < 400; ++i) out.push_back(Quad(s[0], s[1], s[2], i / 400.0));
    return out;
  }

  RecordingShell shell;
  COperPolygon* tool = nullptr;
  OLayer* layer = nullptr;
};

TEST_F(PolygonTool, ThreeCurvedSegmentsClosedFillTheCurveCoverage) {
  const POINT c0{150, 100}, c1{270, 110}, d1{250, 60}, c2{210, 230}, d2{280, 200}, d3{140, 180};
  const std::vector<uint32_t> before = Pixels(layer);
  Click(c0);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_OPEN);
  Segment(c1, d1);
  Segment(c2, d2);
  ASSERT_EQ(tool->m_dequeArcPoints.size(), 5u);
  // A press within 8 client pixels of the first point closes the outline exactly there.
  Segment(POINT{c0.x + 5, c0.y - 4}, d3);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_NONE);
  EXPECT_TRUE(tool->m_dequeArcPoints.empty());
  ASSERT_EQ(UndoSteps(), 1u);
  EXPECT_EQ(LastLabel(), u"描边>填充");

  const POINTF p0 = Pressed(c0), p1 = Pressed(c1), p2 = Pressed(c2);
  const std::vector<POINTF> curve = Curve({{p0, p1, Control(p0, p1, d1)},
                                           {p1, p2, Control(p1, p2, d2)},
                                           {p2, p0, Control(p2, p0, d3)}});
  ExpectCoverageNear(CoverageOf(layer), ReferenceCoverage(curve, 200, 200));
  ExpectUndoRedoExact(layer, before);
}

TEST_F(PolygonTool, TakeBackGoesOnFromTheLastSegmentLeftAndAQuickSecondClickDrops) {
  const POINT c0{120, 80}, c1{260, 80}, c2{240, 220}, c3{130, 230};
  Click(c0);
  Click(c1);
  Click(c2);
  ASSERT_EQ(tool->m_dequeArcPoints.size(), 5u);
  // The right button takes back c1-c2; the next segment starts at c1, not at a control point.
  RightClick(c2, 1000);
  ASSERT_EQ(tool->m_dequeArcPoints.size(), 3u);
  EXPECT_EQ(tool->m_ptA.x, Pressed(c1).x);
  EXPECT_EQ(tool->m_ptA.y, Pressed(c1).y);
  g_now = 5000;
  Click(c3);
  Click(c0);
  ASSERT_EQ(UndoSteps(), 1u);
  const POINTF p0 = Pressed(c0), p1 = Pressed(c1), p3 = Pressed(c3);
  const auto mid = [](POINTF a, POINTF b) { return POINTF{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
  ExpectCoverageNear(CoverageOf(layer),
                     ReferenceCoverage(Curve({{p0, p1, mid(p0, p1)}, {p1, p3, mid(p1, p3)}, {p3, p0, mid(p3, p0)}}), 200, 200));

  // Slow clicks take back one segment each, down to no outline; then the ring menu opens.
  Click(c0);
  Click(c1);
  Click(c2);
  RightClick(c2, 10000);
  RightClick(c2, 11000);
  EXPECT_EQ(tool->m_dequeArcPoints.size(), 1u);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_OPEN);
  RightClick(c2, 12000);
  EXPECT_TRUE(tool->m_dequeArcPoints.empty());
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_NONE);
  EXPECT_TRUE(shell.rings.empty());
  RightClick(c2, 13000);
  EXPECT_EQ(shell.rings.size(), 1u);

  // Two right clicks within the click interval drop the whole outline.
  Click(c0);
  Click(c1);
  Click(c2);
  RightClick(c2, 20000);
  RightClick(c2, 20000 + DWORD(COperPolygon::s_nClickInterval) - 1);
  EXPECT_TRUE(tool->m_dequeArcPoints.empty());
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_NONE);
  EXPECT_EQ(UndoSteps(), 1u);
}

TEST_F(PolygonTool, SpaceAndARightClickWhileShapingTakeBack) {
  const POINT c0{120, 80}, c1{260, 80}, c2{240, 220};
  Click(c0);
  Click(c1);
  // A right click while a segment is being shaped drops only that segment.
  Send(WM_LBUTTONDOWN, MK_LBUTTON, c2.x, c2.y);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_SHAPING);
  g_now = 1000;
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, c2.x, c2.y);
  Send(WM_RBUTTONUP, MK_LBUTTON, c2.x, c2.y);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_OPEN);
  Send(WM_LBUTTONUP, 0, c2.x, c2.y);
  EXPECT_EQ(tool->m_dequeArcPoints.size(), 3u);
  // SPACE released over the view acts as a right click at the cursor.
  Send(WM_MOUSEMOVE, 0, c2.x, c2.y);
  g_now = 5000;
  LRESULT r = 0;
  space->OnWndMsg(WM_KEYUP, VK_SPACE, LPARAM(0xC0000001u), &r);
  EXPECT_EQ(tool->m_dequeArcPoints.size(), 1u);
  EXPECT_EQ(tool->m_ptRButton.x, c2.x);
  EXPECT_EQ(tool->m_ptRButton.y, c2.y);
}

TEST_F(PolygonTool, APressWithinEightClientPixelsOfTheStartClosesAtAnyZoom) {
  View().scale = 2;
  const POINT c0{150, 100}, c1{250, 100}, c2{200, 200};
  Click(c0);
  Click(c1);
  Click(c2);
  // 9 pixels off: a further point, not the closing one.
  Click(POINT{c0.x + 9, c0.y});
  EXPECT_EQ(tool->m_dequeArcPoints.size(), 7u);
  EXPECT_EQ(UndoSteps(), 0u);
  // 7 pixels off (under 8 / scale in the space): the outline closes on its first point.
  Click(POINT{c0.x + 5, c0.y + 5});
  EXPECT_TRUE(tool->m_dequeArcPoints.empty());
  EXPECT_EQ(UndoSteps(), 1u);
}

TEST_F(PolygonTool, ClosingWithoutAreaFillsNothing) {
  const POINT c0{120, 80}, c1{260, 80};
  // One segment back to its start.
  Click(c0);
  Click(c1);
  Click(c0);
  EXPECT_EQ(UndoSteps(), 0u);
  // Two segments between the same ends with the same bend.
  Click(c0);
  Click(c1);
  Click(c0);
  EXPECT_EQ(UndoSteps(), 0u);
  // A read-only or missing layer: the first press does nothing.
  list->SetCurSelect(-1);
  Click(c0);
  EXPECT_EQ(tool->m_nStage, COperPolygon::mySTAGE_NONE);
  EXPECT_FALSE(win.captured);
}

// The rectangle 10..30 x 10..30 as straight segments: pixels 10..29 are wholly covered.
std::deque<POINTF> Square() {
  return {{10, 10}, {30, 10}, {20, 10}, {30, 30}, {30, 20}, {10, 30}, {20, 30}, {10, 10}, {10, 20}};
}

TEST_F(PolygonTool, EveryModeOnBothFormatsGivesTheHandWorkedPixels) {
  // Colour alpha 204 (opacity 80), R 0x40, G 0x80, B 0xC0 at full coverage: E = 204.
  constexpr uint32_t kColour = 0xCC4080C0;
  // Colour pixel alpha 128, R 0x20, G 0x60, B 0xA0; e.g. "光栅>反" blue: X = 0xA0 ^ 0xC0 = 96,
  // (160 * 52 + 204 * 96) >> 8 = 0x6D; "掏空": 128 - ((128 * 64 * 205) >> 14) = 26.
  constexpr uint32_t kPixel = 0x802060A0;
  const uint32_t colourWant[9] = {0x1A2060A0, 0xE63C7CBC, 0x804C9FD9, 0x800C3980, 0x8053C6EB,
                                  0x8006136D, 0x803979B9, 0x802060A0, 0x8053C66D};
  // Mask v = 0x60, a = 204: erase 96 - ((205 * 96) >> 8) = 20, fill (96 * 52 >> 8) + 204 =
  // 223, the raster modes the larger of v and e = 204.
  const uint32_t maskWant[9] = {0x1400, 0xDF00, 0xCC00, 0xCC00, 0xCC00, 0xCC00, 0xCC00, 0xCC00, 0xCC00};
  for (int format : {OLayer::myFORMAT_C32, OLayer::myFORMAT_A16})
    for (int mode = 0; mode < fill::myMODE_COUNT; ++mode) {
      const uint32_t start = format == OLayer::myFORMAT_C32 ? kPixel : 0x6012;
      OLayer* l = AddLayer(40, 40, format, UINT(100 * format + mode + 10), 0, 0, start);
      list->SetCurSelect(list->GetCount() - 1);
      ASSERT_TRUE(tool->Fill(l, Square(), kColour, mode));
      const std::vector<uint32_t> px = Pixels(l);
      const uint32_t want = format == OLayer::myFORMAT_C32 ? colourWant[mode] : maskWant[mode];
      EXPECT_EQ(px[20 * 40 + 20], want) << "format " << format << " mode " << mode;
      EXPECT_EQ(px[10 * 40 + 10], want) << "the corner pixel is wholly inside";
      EXPECT_EQ(px[5 * 40 + 5], start) << "outside stays";
      EXPECT_EQ(px[20 * 40 + 30], start) << "the pixel right of the edge stays";
      EXPECT_EQ(LastLabel(), mode == 0 ? u"描边>掏空" : u"描边>填充");
    }
}

TEST_F(PolygonTool, AnOutlineBesideTheLayerFillsNothingAndWritesNoStep) {
  std::deque<POINTF> away = Square();
  for (POINTF& p : away) p.x += 500;
  EXPECT_FALSE(tool->Fill(layer, away, 0xFF000000, fill::myFILL));
  EXPECT_EQ(UndoSteps(), 0u);
}

TEST_F(PolygonTool, SwitchFillKeepsEachSideItsOwnOpacity) {
  tool->m_options.SetFillMode(fill::myDARKEN);
  tool->m_options.SetOpacity(40);
  tool->SwitchFill();
  EXPECT_EQ(tool->m_options.GetFillMode(), fill::myERASE);
  EXPECT_EQ(tool->m_options.GetOpacity(), 100);
  tool->m_options.SetOpacity(70);
  tool->SwitchFill();
  EXPECT_EQ(tool->m_options.GetFillMode(), fill::myDARKEN);
  EXPECT_EQ(tool->m_options.GetOpacity(), 40);
  tool->SwitchFill();
  EXPECT_EQ(tool->m_options.GetOpacity(), 70);
}

}  // namespace
