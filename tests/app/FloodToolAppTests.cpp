// The paint bucket in the running program, with the plug-in's components: the option bar
// shows its tool bar and three sliders, the auto-layer button marks the current mask layer as
// the source through the frame's command route, a click fills the layer as one step, and a
// click on a protected layer says why in the status bar.
#include <QApplication>

#include "AppHarness.h"
#include "frame/Bars.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Messages.h"
#include "tools/OperFlood.h"

namespace {

class FloodToolAppTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
    Space()->SelectOperator(ID_OPER_FLOOD);
    ASSERT_NE(dynamic_cast<COperFlood*>(Space()->GetCurOperator()), nullptr);
  }
  COptionBar* Options() { return dynamic_cast<COptionBar*>(Frame()->GetToolBar(ID_BAR_OPTION)); }
  uint32_t PixelAt(OLayer* layer, int x, int y) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    return lock.nPixelSize == 4 ? reinterpret_cast<const uint32_t*>(lock.Row(y))[x]
                                : reinterpret_cast<const uint16_t*>(lock.Row(y))[x];
  }
  // A press and release on the view over the space point.
  void ClickAt(float x, float y) {
    const float in[2] = {x + 0.5f, y + 0.5f};
    float out[2];
    app->GetShowDevice()->SpaceToClient(out, in, Space()->m_pTransform);
    LRESULT r = 0;
    const LPARAM at = MakePointLParam(int(out[0]), int(out[1]));
    Space()->OnWndMsg(WM_LBUTTONDOWN, MK_LBUTTON, at, &r);
    Space()->OnWndMsg(WM_LBUTTONUP, 0, at, &r);
  }
};

TEST_F(FloodToolAppTest, OptionBarHoldsTheToolBarAndThreeSliders) {
  EXPECT_EQ(Options()->Shown().size(), 4u);
}

TEST_F(FloodToolAppTest, ClickFillsTheLayerAndTheAutoLayerButtonMarksTheSource) {
  OLayer* layer = List()->GetCurLayer();
  ASSERT_NE(layer, nullptr);
  const uint32_t before = PixelAt(layer, 32, 24);
  const UINT steps = Space()->GetUndoStore()->GetStepCount();
  ClickAt(32, 24);
  EXPECT_NE(PixelAt(layer, 32, 24), before);
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), steps + 1);

  GCompRef<OLayer> mask = app->GetShowDevice()->CreateLayer(64, 48, OLayer::myFORMAT_A16, 90);
  List()->AddLayer(0, mask);
  List()->SetCurSelect(0);
  Frame()->SendMessage(WM_COMMAND, MAKEWPARAM(ID_FLOOD_AUTOLAYER, 0), 0);
  EXPECT_EQ(mask->GetFlags() & LYR_FLAG_SOURCE, LYR_FLAG_SOURCE);
}

TEST_F(FloodToolAppTest, ProtectedLayerIsRefusedInTheStatusBar) {
  OLayer* layer = List()->GetCurLayer();
  ASSERT_NE(layer, nullptr);
  layer->SetFlags(LYR_FLAG_PROTECT);
  const uint32_t before = PixelAt(layer, 32, 24);
  ClickAt(32, 24);
  EXPECT_EQ(PixelAt(layer, 32, 24), before);
  EXPECT_EQ(Frame()->GetPaneText(0), u"图层有写保护");
}

}  // namespace
