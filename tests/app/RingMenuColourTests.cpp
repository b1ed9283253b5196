// The colour items of the tools' ring menus in the running program: "调色板" opens the colour
// wheel whose choice becomes the colour bar's current colour, for every tool that offers it;
// "取色" of the bucket, outline and shape tools takes the topmost layer's own colour, not its
// blend with what shows through it.
#include "AppHarness.h"
#include "core/ColorBar.h"
#include "frame/ColorWheel.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Messages.h"
#include "tools/FunctionMenu.h"
#include "tools/Operation.h"

namespace {

constexpr UINT kPalette = 3;

struct ToolCase {
  const char* name;
  UINT id;
};
constexpr ToolCase kPaletteTools[] = {
    {"paint", ID_OPER_PAINT}, {"bucket", ID_OPER_FLOOD}, {"outline", ID_OPER_POLYGON}, {"shape", ID_OPER_SHAPE}};
constexpr ToolCase kFillTools[] = {{"bucket", ID_OPER_FLOOD}, {"outline", ID_OPER_POLYGON}, {"shape", ID_OPER_SHAPE}};

int HueDistance(int a, int b) {
  const int d = std::abs(a - b) % HSV_HUES;
  return std::min(d, HSV_HUES - d);
}

class RingMenuColourTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
    colours = Doc()->GetColorBar();
    ASSERT_NE(colours, nullptr);
  }
  void TearDown() override { gui::ReleaseCapture(); }
  // The tool of the id made current; its ring menu.
  CFunctionMenu* Menu(UINT id) {
    Space()->SelectOperator(id);
    COperation* tool = Space()->GetCurOperator();
    EXPECT_EQ(tool->GetID(), id);
    return tool->GetFunctionMenu();
  }
  POINT ClientOf(float sx, float sy) {
    const float in[2] = {sx + 0.5f, sy + 0.5f};
    float out[2];
    app->GetShowDevice()->SpaceToClient(out, in, Space()->m_pTransform);
    return POINT{LONG(out[0]), LONG(out[1])};
  }

  CColorBar* colours = nullptr;
};

TEST_F(RingMenuColourTest, ThePaletteItemMakesTheWheelsChoiceTheCurrentColour) {
  CColorWheel* wheel = Frame()->GetColorWheel();
  ASSERT_NE(wheel, nullptr);
  for (const ToolCase& c : kPaletteTools) {
    SCOPED_TRACE(c.name);
    colours->PushColor(MakeHsv(100, 200, 180));
    CFunctionMenu* menu = Menu(c.id);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(std::u16string(menu->GetLabel(kPalette, 1)), u"调色板");
    menu->Run(400, 300, kPalette, 0);
    ASSERT_TRUE(wheel->IsWindowVisible());
    EXPECT_EQ(wheel->GetColor(), MakeHsv(100, 200, 180)) << "it opens on the current colour";
    const POINT ring = CColorWheel::HuePoint(1000);
    wheel->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(ring.x, ring.y));
    wheel->SendMessage(WM_LBUTTONUP, 0, MakePointLParam(ring.x, ring.y));
    EXPECT_FALSE(wheel->IsWindowVisible());
    const HSVCOLOR now = colours->GetCurrentHsv();
    EXPECT_LE(HueDistance(HsvHue(now), 1000), 4);
    EXPECT_EQ(HsvSat(now), 200);
    EXPECT_EQ(HsvVal(now), 180);
    EXPECT_EQ(colours->GetColor(1), HsvToRgb(now)) << "pushed among the recent colours";
  }
}

// A red mask layer half covering a white colour layer: the view shows pink there, and the
// fill tools' pick gives the mask layer's red, exactly.
TEST_F(RingMenuColourTest, TheFillToolsPickTheTopmostLayersOwnColour) {
  GCompRef<OLayer> mask = app->GetShowDevice()->CreateLayer(64, 48, OLayer::myFORMAT_A16, List()->GetNewLayerID());
  ASSERT_TRUE(mask);
  mask->SetColor(0x0000FF);  // a layer's colour keeps red in the low byte
  {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(mask, 0));
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x) reinterpret_cast<uint16_t*>(lock.Row(y))[x] = 0x8000;
  }
  ASSERT_EQ(List()->AddLayer(0, mask), 0);
  List()->InvalidateSpace();
  for (const ToolCase& c : kFillTools) {
    SCOPED_TRACE(c.name);
    colours->PushRgb(0x123456);
    CFunctionMenu* menu = Menu(c.id);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(std::u16string(menu->GetLabel(FLOWER_SECTOR_TOPRIGHT, 1)), u"取色");
    Space()->GetCurOperator()->m_ptRButton = ClientOf(20, 20);
    menu->Run(400, 300, FLOWER_SECTOR_TOPRIGHT, 0);
    EXPECT_EQ(colours->GetColor(0), 0xFF0000u);
  }
  // Where no layer shows, the space's background.
  Space()->GetCurOperator()->m_ptRButton = ClientOf(-30, -30);
  Space()->GetCurOperator()->GetFunctionMenu()->Run(400, 300, FLOWER_SECTOR_TOPRIGHT, 0);
  EXPECT_EQ(colours->GetColor(0), Space()->GetBackground() & 0xFFFFFFu);
}

}  // namespace
