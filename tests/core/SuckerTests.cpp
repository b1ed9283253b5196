// The eyedropper through synthesised view messages: it picks the colour of the composed
// picture (a layer's, a blend of layers, the background where no layer shows), makes it the
// colour bar's current colour and hands back to the previous tool; its right click, SPACE and
// capture loss; its thresholds' edges.
#include <gtest/gtest.h>

#include <cstring>

#include "ToolFixture.h"
#include "core/ColorBar.h"
#include "tools/OperSucker.h"

namespace {

constexpr COLORREF kBackground = 0x123456;
constexpr uint32_t kBottom = 0xFF2040A0;  // opaque, under everything
constexpr uint32_t kHalfRed = 0x80FF0000;  // half transparent, over part of it

// The tool the eyedropper hands back to.
class PaintStandIn final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  int Activate() override { return 0; }
};

class Sucker : public ToolFixture {
 protected:
  // Space 200 x 100 in the 400 x 300 view at scale 1: space (sx, sy) shows at client
  // (100 + sx, 100 + sy). The bottom layer covers space x 0..99, the translucent one
  // x 80..119 and y 0..39; the rest of the space is background.
  void SetUp() override {
    win.shell = &shell;
    paint = new PaintStandIn();
    sucker = new COperSucker();
    Init(200, 100, paint, {sucker});
    space->SetColorBar(&bar);
    space->SetBackground(kBackground);
    AddLayer(40, 40, OLayer::myFORMAT_C32, 2, 80, 0, kHalfRed);
    bottom = AddLayer(100, 100, OLayer::myFORMAT_C32, 1, 0, 0, kBottom);
    list->SetCurSelect(1);
    SelectSucker();
  }
  void SelectSucker() {
    space->SelectOperator(ID_OPER_SUCKER);
    ASSERT_EQ(space->GetCurOperator(), sucker);
  }
  static POINT Client(int sx, int sy) { return POINT{100 + sx, 100 + sy}; }
  // A click of the left button, whichever tool takes it.
  void Click(POINT at) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, at.x, at.y);
    Send(WM_LBUTTONUP, 0, at.x, at.y);
  }
  // The composed space pixel, sampled by the display device over the whole space.
  uint32_t Sampled(int sx, int sy) {
    GAutoLock lock(space->GetDrawLock());
    EXPECT_TRUE(realDevice->DrawBegin(space->m_pTransform, FALSE));
    for (int i = 0; i < list->GetCount(); ++i) realDevice->DrawLayer(list->GetLayer(i), 0, nullptr);
    LayerLock sample;
    GCompRef<OLayer> image = realDevice->DrawEndForSample(&sample);
    uint32_t v;
    std::memcpy(&v, sample.Row(sy) + size_t(sx) * 4, 4);
    sample.Unlock();
    return v & 0xFFFFFF;
  }

  CColorBar bar;
  RecordingShell shell;
  PaintStandIn* paint = nullptr;
  COperSucker* sucker = nullptr;
  OLayer* bottom = nullptr;
};

// ---- the pick ------------------------------------------------------------------------------------

TEST_F(Sucker, PicksTheComposedPicture) {
  // A layer's own colour where it alone shows.
  EXPECT_EQ(sucker->SuckColor(Client(10, 60).x, Client(10, 60).y) & 0xFFFFFF, kBottom & 0xFFFFFF);
  // Where the translucent layer lies over it: the blend the composition makes, which is
  // neither layer's colour.
  const POINT over = Client(85, 20);
  const uint32_t blend = sucker->SuckColor(over.x, over.y) & 0xFFFFFF;
  EXPECT_EQ(blend, Sampled(85, 20));
  for (int shift : {0, 8, 16}) {
    const int got = int(blend >> shift & 0xFF), a = int(kBottom >> shift & 0xFF), b = int(kHalfRed >> shift & 0xFF);
    EXPECT_GE(got, std::min(a, b)) << shift;
    EXPECT_LE(got, std::max(a, b)) << shift;
  }
  EXPECT_NE(blend, kBottom & 0xFFFFFF);
  EXPECT_NE(blend, kHalfRed & 0xFFFFFF);
  // The translucent layer over the background, where the bottom one ends.
  const uint32_t overBackground = sucker->SuckColor(Client(110, 30).x, Client(110, 30).y) & 0xFFFFFF;
  EXPECT_EQ(overBackground, Sampled(110, 30));
  EXPECT_NE(overBackground, blend);
  EXPECT_NE(overBackground, kBackground);
}

TEST_F(Sucker, WhereNoLayerShowsItPicksTheBackground) {
  // Inside the space beside the layers, outside the space, and on a transparent pixel.
  for (POINT at : {Client(150, 50), Client(-20, 10), POINT{5, 5}, Client(150, 150)})
    EXPECT_EQ(sucker->SuckColor(at.x, at.y) & 0xFFFFFF, kBackground) << at.x << "," << at.y;
  AddLayer(10, 10, OLayer::myFORMAT_C32, 3, 160, 10, 0x00FFFFFF);
  EXPECT_EQ(sucker->SuckColor(Client(165, 15).x, Client(165, 15).y) & 0xFFFFFF, kBackground);
  // An empty list.
  while (list->GetCount()) {
    GCompRef<OLayer> gone;
    gone.m_ptr = list->DetachLayer(0);
  }
  EXPECT_EQ(sucker->SuckColor(Client(10, 10).x, Client(10, 10).y) & 0xFFFFFF, kBackground);
}

TEST_F(Sucker, APickSeesTheLayersAsTheyAreNow) {
  const POINT at = Client(10, 60);
  EXPECT_EQ(sucker->SuckColor(at.x, at.y) & 0xFFFFFF, kBottom & 0xFFFFFF);
  EXPECT_TRUE(space->IsCompositeValid());
  {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(bottom, 0));
    reinterpret_cast<uint32_t*>(lock.Row(60))[10] = 0xFF00C000;
  }
  bottom->MipRefresh(nullptr);
  space->InvalidateComposite();
  EXPECT_EQ(sucker->SuckColor(at.x, at.y) & 0xFFFFFF, 0x00C000u);
}

// ---- the click and the switch back -------------------------------------------------------------

TEST_F(Sucker, AClickMakesTheColourCurrentAndHandsBack) {
  ASSERT_NE(bar.GetColor(0), kBackground);
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, MK_LBUTTON, Client(10, 60).x, Client(10, 60).y));
  EXPECT_EQ(bar.GetColor(0), kBottom & 0xFFFFFF);
  EXPECT_EQ(bar.GetColor(1), kBottom & 0xFFFFFF);
  EXPECT_TRUE(win.captured);
  EXPECT_EQ(space->GetCurOperator(), sucker) << "until the button goes up";
  EXPECT_TRUE(Send(WM_LBUTTONUP, 0, Client(10, 60).x, Client(10, 60).y));
  EXPECT_EQ(space->GetCurOperator(), paint);
  EXPECT_FALSE(win.captured);
  EXPECT_EQ(sucker->m_nLButton, int(COperation::myUP));
  // A second pick needs the eyedropper again: the next click is the other tool's.
  Click(Client(150, 50));
  EXPECT_EQ(bar.GetColor(0), kBottom & 0xFFFFFF);
  SelectSucker();
  Click(Client(150, 50));
  EXPECT_EQ(bar.GetColor(0), kBackground);
  EXPECT_EQ(bar.GetColor(2), kBottom & 0xFFFFFF);
  EXPECT_EQ(space->GetCurOperator(), paint);
}

struct RightCase {
  int dx, dy;
  bool wantSwitch;
};

TEST_F(Sucker, ARightClickWithinTwelvePixelsHandsBackFurtherPans) {
  const RightCase cases[] = {{12, 12, true}, {-12, 12, true}, {13, 0, false}, {0, -13, false}};
  for (const RightCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    SelectSucker();
    const float centreX = View().centreX, centreY = View().centreY;
    EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 200, 150));
    EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_RBUTTON, 200 + c.dx, 150 + c.dy));
    EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 200 + c.dx, 150 + c.dy));
    EXPECT_EQ(space->GetCurOperator(), c.wantSwitch ? static_cast<COperation*>(paint) : sucker);
    const bool panned = View().centreX != centreX || View().centreY != centreY;
    EXPECT_EQ(panned, !c.wantSwitch);
    EXPECT_EQ(space->GetCaptureMask(), 0u);
  }
  EXPECT_TRUE(shell.rings.empty()) << "the eyedropper has no ring menu";
}

TEST_F(Sucker, SpaceOverTheViewHandsBack) {
  EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, -3, 50));
  EXPECT_TRUE(Send(WM_KEYUP, VK_SPACE, 0, 0));
  EXPECT_EQ(space->GetCurOperator(), sucker) << "not with the cursor outside the view";
  EXPECT_FALSE(Send(WM_KEYUP, 'A', 0, 0));
  EXPECT_TRUE(Send(WM_MOUSEMOVE, 0, 30, 50));
  // Not while a button holds the capture.
  EXPECT_TRUE(Send(WM_MBUTTONDOWN, MK_MBUTTON, 30, 50));
  EXPECT_TRUE(Send(WM_KEYUP, VK_SPACE, 0, 0));
  EXPECT_EQ(space->GetCurOperator(), sucker);
  EXPECT_TRUE(Send(WM_MBUTTONUP, 0, 30, 50));
  EXPECT_TRUE(Send(WM_KEYUP, VK_SPACE, 0, 0));
  EXPECT_EQ(space->GetCurOperator(), paint);
}

TEST_F(Sucker, LosingTheCaptureDropsTheButtonsWithoutASwitch) {
  EXPECT_TRUE(Send(WM_RBUTTONDOWN, MK_RBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_LBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, 50, 50));
  EXPECT_TRUE(Send(WM_CAPTURECHANGED, 0, 0, 0));
  EXPECT_EQ(space->GetCaptureMask(), 0u);
  EXPECT_FALSE(win.captured);
  EXPECT_EQ(sucker->m_nLButton + sucker->m_nRButton + sucker->m_nMButton, 0);
  EXPECT_TRUE(sucker->IsReady());
  // The releases that follow are no clicks.
  EXPECT_TRUE(Send(WM_RBUTTONUP, 0, 50, 50));
  EXPECT_TRUE(Send(WM_LBUTTONUP, 0, 50, 50));
  EXPECT_EQ(space->GetCurOperator(), sucker);
}

TEST_F(Sucker, SetsItsCursorOverTheClientAreaOnly) {
  LRESULT result = 0;
  EXPECT_TRUE(space->OnWndMsg(WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));
  EXPECT_EQ(result, TRUE);
  result = 0;
  EXPECT_FALSE(space->OnWndMsg(WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT + 1, WM_MOUSEMOVE), &result));
  EXPECT_EQ(result, 0);
  // Its own button shows checked.
  CmdUIState ui;
  EXPECT_TRUE(space->OnCmdMsg(ID_OPER_SUCKER, &ui));
  EXPECT_TRUE(ui.bEnabled && ui.bChecked);
}

}  // namespace
