// The shape-fill tool through synthesised view messages: its three templates filled by a
// click at zoom 1 and on a view zoomed 2x, turned by 15 degrees and flipped, against the same
// shapes placed straight into space coordinates; the handle (a press on it never fills, drags
// reshape, a right click cancels); the fill command; mask layers; undo and redo bit for bit.
#include <gtest/gtest.h>

#include <cmath>

#include "FillToolFixture.h"
#include "frame/ResourceIds.h"
#include "tools/FillKernels.h"
#include "tools/OperShape.h"

namespace {

constexpr double kPi = 3.141592653589793;

class ShapeTool : public FillToolFixture {
 protected:
  // A 200 x 200 space in the 400 x 300 view: the template box's half size is 150.
  void SetUp() override {
    tool = new COperShape();
    Init(200, 200, tool);
    layer = AddLayer(200, 200, OLayer::myFORMAT_C32, 1, 0, 0, 0);
    list->SetCurSelect(0);
  }
  void Click(int x, int y) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, x, y);
    Send(WM_LBUTTONUP, 0, x, y);
  }
  // The template of a shape as the view shows it, in client pixels from the view centre.
  static std::vector<POINTF> Template(int type) {
    std::vector<POINTF> out;
    const double r = 75;
    if (type == COperShape::myRECTANGLE) return {{-75, -75}, {75, -75}, {75, 75}, {-75, 75}};
    if (type == COperShape::myELLIPSE) {
      for (int i = 0; i < 256; ++i) out.push_back({float(r * std::cos(i * kPi / 128)), float(r * std::sin(i * kPi / 128))});
      return out;
    }
    // The handle at (18, -18): four tips (a quarter turn apart), inner radius |handle| / 75.
    const double inner = std::hypot(18.0, 18.0) / 75;
    for (int i = 0; i < 8; ++i) {
      const double t = i * kPi / 4 - kPi / 2, f = (i & 1) ? inner : 1.0;
      out.push_back({float(std::cos(t) * f * r), float(std::sin(t) * f * r)});
    }
    return out;
  }
  // A client offset from the view centre placed in the space by the view's scale, turn and
  // flip: x' = (dx cos a + dy sin a) / scale + centre, y' = (dy cos a - dx sin a) / scale.
  std::vector<POINTF> InSpace(const std::vector<POINTF>& client) {
    const ViewTransform& v = View();
    const double ox = std::floor(v.clientWidth * 0.5) + 0.5 - v.clientWidth / 2;
    const double oy = std::floor(v.clientHeight * 0.5) + 0.5 - v.clientHeight / 2;
    std::vector<POINTF> out;
    for (const POINTF& p : client) {
      double dx = p.x + ox;
      const double dy = p.y + oy;
      if (v.flags & VIEW_FLAG_FLIP) dx = -dx;
      const double c = std::cos(double(v.angle)), s = std::sin(double(v.angle));
      out.push_back({float((dx * c + dy * s) / v.scale + v.centreX), float((dy * c - dx * s) / v.scale + v.centreY)});
    }
    return out;
  }
  void Clear() {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(layer, 0));
    for (int y = 0; y < lock.nHeight; ++y) std::fill_n(reinterpret_cast<uint32_t*>(lock.Row(y)), lock.nWidth, 0u);
  }

  COperShape* tool = nullptr;
  OLayer* layer = nullptr;
};

TEST_F(ShapeTool, TemplatesFillAsPlacedInSpaceAtZoomOneAndOnATurnedZoomedFlippedView) {
  ASSERT_EQ(tool->m_nHalfW, 150);
  struct ViewCase {
    float scale;
    float degrees;
    bool flip;
  };
  for (const ViewCase& vc : {ViewCase{1, 0, false}, ViewCase{2, 15, true}})
    for (int type : {COperShape::myRECTANGLE, COperShape::myELLIPSE, COperShape::mySTAR}) {
      SCOPED_TRACE(testing::Message() << "scale " << vc.scale << " shape " << type);
      Clear();
      View().scale = vc.scale;
      View().angle = float(vc.degrees * kPi / 180);
      View().flags = vc.flip ? VIEW_FLAG_FLIP : 0;
      tool->SetShape(type);
      const UINT steps = UndoSteps();
      // A click inside the template fills it at once.
      Click(200, 150);
      ASSERT_EQ(UndoSteps(), steps + 1);
      EXPECT_EQ(LastLabel(), u"形状>填充");
      ExpectCoverageNear(CoverageOf(layer), ReferenceCoverage(InSpace(Template(type)), 200, 200));
    }
}

TEST_F(ShapeTool, TheHandleReshapesAndNeverFills) {
  // The star's handle at (18, -18) from the centre: 8 points.
  ASSERT_EQ(tool->m_nPoints, 8);
  const POINT h{200 + 18, 150 - 18};
  Send(WM_LBUTTONDOWN, MK_LBUTTON, h.x, h.y);
  EXPECT_EQ(tool->m_myState, COperShape::myHANDLE);
  // Towards the vertical axis: more and more points, up to 64. At (9, -18) the step is
  // atan2(9, 18) = 0.4636: 2 pi / 0.4636 + 0.5 = 14.05 gives 14.
  Send(WM_MOUSEMOVE, MK_LBUTTON, h.x - 9, h.y);
  EXPECT_EQ(tool->m_nPoints, 14);
  Send(WM_MOUSEMOVE, MK_LBUTTON, h.x - 18, h.y);
  EXPECT_EQ(tool->m_nPoints, 64);
  // A right click cancels the drag: the handle goes back.
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, h.x - 18, h.y);
  Send(WM_RBUTTONUP, MK_LBUTTON, h.x - 18, h.y);
  EXPECT_EQ(tool->m_myState, COperation::myREADY);
  EXPECT_EQ(tool->m_nPoints, 8);
  Send(WM_LBUTTONUP, 0, h.x - 18, h.y);
  EXPECT_EQ(UndoSteps(), 0u);

  // The rectangle's handle dragged down past the centre leaves a template one space pixel
  // high (two client pixels at zoom 2).
  View().scale = 2;
  tool->SetShape(COperShape::myRECTANGLE);
  ASSERT_TRUE(tool->HitHandle(200, 150 - 75));
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 200, 150 - 75);
  Send(WM_MOUSEMOVE, MK_LBUTTON, 200, 150 + 200);
  Send(WM_LBUTTONUP, 0, 200, 150 + 200);
  EXPECT_EQ(tool->m_ptHandle.y, 1);
  EXPECT_FLOAT_EQ(tool->m_afPoints[1], -1.0f);
  EXPECT_FLOAT_EQ(tool->m_afPoints[5], 1.0f);
  EXPECT_EQ(UndoSteps(), 0u);
}

// Every button drags at any movement: a right press moved by one pixel pans, and only a
// release where it went down opens the ring menu.
TEST_F(ShapeTool, ARightPressPansAtAnyMovementAndOnlyAStillClickOpensTheRing) {
  RecordingShell shell;
  win.shell = &shell;
  const float centreX = View().centreX, centreY = View().centreY;
  const POINT moves[] = {{1, 0}, {0, -1}, {1, 1}};
  for (const POINT d : moves) {
    SCOPED_TRACE(testing::Message() << d.x << "," << d.y);
    Send(WM_RBUTTONDOWN, MK_RBUTTON, 30, 30);
    Send(WM_MOUSEMOVE, MK_RBUTTON, 30 + d.x, 30 + d.y);
    EXPECT_EQ(tool->m_nRButton, int(COperation::myDRAGGING));
    Send(WM_RBUTTONUP, 0, 30 + d.x, 30 + d.y);
    EXPECT_TRUE(shell.rings.empty());
  }
  EXPECT_FLOAT_EQ(View().centreX, centreX - 2);
  EXPECT_FLOAT_EQ(View().centreY, centreY);
  Send(WM_RBUTTONDOWN, MK_RBUTTON, 30, 30);
  Send(WM_MOUSEMOVE, MK_RBUTTON, 30, 30);
  Send(WM_RBUTTONUP, 0, 30, 30);
  ASSERT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(shell.rings[0].menu, tool->GetFunctionMenu());
  win.shell = nullptr;
}

TEST_F(ShapeTool, ASmallViewKeepsTheTemplateBoxAtLeastHundred) {
  View().clientWidth = 150;
  View().clientHeight = 120;
  tool->SetShape(COperShape::myELLIPSE);
  EXPECT_EQ(tool->m_nHalfW, 100);
  EXPECT_EQ(tool->m_nHalfH, 100);
}

TEST_F(ShapeTool, TheFillCommandFillsAndUndoRedoAreExact) {
  const std::vector<uint32_t> before = Pixels(layer);
  EXPECT_TRUE(tool->OnCmdMsg(ID_SHAPE_FILL, nullptr));
  ASSERT_EQ(UndoSteps(), 1u);
  ExpectUndoRedoExact(layer, before);
  // Erasing is its own label.
  tool->m_options.SetFillMode(fill::myERASE);
  tool->OnCmdMsg(ID_SHAPE_FILL, nullptr);
  EXPECT_EQ(LastLabel(), u"形状>掏空");
}

TEST_F(ShapeTool, MaskLayersOnlyEraseOrFill) {
  // "光栅>暗" fills a mask layer as "填充" does.
  OLayer* a = AddLayer(200, 200, OLayer::myFORMAT_A16, 2, 0, 0, 0x6000);
  OLayer* b = AddLayer(200, 200, OLayer::myFORMAT_A16, 3, 0, 0, 0x6000);
  list->SetCurSelect(1);
  ASSERT_TRUE(tool->Fill(a, 0x80000000, fill::myDARKEN));
  list->SetCurSelect(2);
  ASSERT_TRUE(tool->Fill(b, 0x80000000, fill::myFILL));
  const std::vector<uint32_t> pa = Pixels(a);
  EXPECT_EQ(pa, Pixels(b));
  // Inside: v = 0x60, e = (64 * 128) >> 6 = 128: (96 * 128 >> 8) + 128 = 176; outside it stays.
  EXPECT_EQ(pa[100 * 200 + 100], 0xB000u);
  EXPECT_EQ(pa[2 * 200 + 2], 0x6000u);
}

TEST_F(ShapeTool, ATemplateBesideTheLayerFillsNothing) {
  layer->SetPosition(1000, 1000, FALSE);
  EXPECT_FALSE(tool->Fill(layer, 0xFF000000, fill::myFILL));
  EXPECT_EQ(UndoSteps(), 0u);
}

}  // namespace
