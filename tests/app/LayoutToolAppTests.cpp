// The move, create-layer and trim tools in the running frame: chosen by their commands, driven
// by messages to the view, with the frame's own new-layer and trim dialogs answered by the
// test; and the trim dialog's offers.
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

#include "AppHarness.h"
#include "frame/ResourceIds.h"
#include "core/TavrikView.h"
#include "frame/DlgCrop.h"
#include "frame/DlgLayerNew.h"
#include "frame/FrameLayerAsk.h"
#include "panels/MyListLayer.h"
#include "tools/OperCrop.h"
#include "tools/OperMove.h"
#include "tools/OperNew.h"

namespace {

TEST(CropDialog, OffersWhatTheRectangleAllowsAndEverythingOnceResized) {
  struct Case {
    CropQuestion q;
    bool space, layer;
  };
  const Case cases[] = {{{30, 20, TRUE, FALSE, FALSE}, true, true},
                        {{30, 20, FALSE, FALSE, FALSE}, true, false},
                        {{30, 20, TRUE, TRUE, FALSE}, true, false},
                        {{30, 20, TRUE, FALSE, TRUE}, false, true}};
  for (const Case& c : cases) {
    CDlgCrop dialog(nullptr, c.q);
    EXPECT_EQ(dialog.GetWidth(), 30);
    EXPECT_EQ(dialog.GetButton(myCROP_SPACE)->isEnabled(), c.space);
    for (int action : {myCROP_LAYER, myCROP_TILE, myCROP_MIRROR})
      EXPECT_EQ(dialog.GetButton(action)->isEnabled(), c.layer) << action;
    dialog.SetSize(31, 20);
    for (int action : {myCROP_SPACE, myCROP_LAYER, myCROP_TILE, myCROP_MIRROR})
      EXPECT_TRUE(dialog.GetButton(action)->isEnabled()) << action;
  }
  // Sizes stay within 1..10000.
  CDlgCrop dialog(nullptr, CropQuestion{30, 20, TRUE, FALSE, FALSE});
  dialog.SetSize(0, 20000);
  EXPECT_EQ(dialog.GetWidth(), 1);
  EXPECT_EQ(dialog.GetHeight(), 10000);
}

class LayoutToolApp : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 120, 90);
    layer = List()->GetLayer(0);
  }
  POINT Client(float sx, float sy) {
    const float in[2] = {sx, sy};
    float out[2];
    app->GetShowDevice()->SpaceToClient(out, in, Space()->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  void Send(UINT msg, WPARAM wParam, POINT pt) { Frame()->GetView()->SendMessage(msg, wParam, MakePointLParam(pt.x, pt.y)); }
  void Drag(POINT a, POINT b) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, a);
    for (int i = 1; i <= 4; ++i)
      Send(WM_MOUSEMOVE, MK_LBUTTON, POINT{a.x + (b.x - a.x) * i / 4, a.y + (b.y - a.y) * i / 4});
    Send(WM_LBUTTONUP, 0, b);
  }
  template <class T>
  T* Choose(UINT id) {
    EXPECT_TRUE(Run(id));
    auto* tool = dynamic_cast<T*>(Space()->GetCurOperator());
    EXPECT_NE(tool, nullptr);
    EXPECT_EQ(Update(id).m_nCheck, 1);
    return tool;
  }
  static RECT Rect(OLayer* l) {
    RECT r;
    l->GetRect(&r);
    return r;
  }
  OLayer* layer = nullptr;
};

TEST_F(LayoutToolApp, TheTrimDialogTilesTheLayerToTheTypedSize) {
  Choose<COperCrop>(ID_OPER_CROP)->m_bNoMagnet = TRUE;
  const UINT id = layer->GetID();
  onDialog = [](QDialog* d) {
    auto* dialog = dynamic_cast<CDlgCrop*>(d);
    if (!dialog) return int(QDialog::Rejected);
    dialog->SetSize(150, 20);
    dialog->GetButton(myCROP_TILE)->click();
    return int(QDialog::Accepted);
  };
  Drag(Client(10.5f, 10.5f), Client(50.5f, 40.5f));
  std::cerr << "scale " << Space()->m_pTransform->scale << " client " << Client(10.5f, 10.5f).x << "\n"; for (auto& l : log) std::cerr << std::string(l.begin(), l.end()) << "\n";
  EXPECT_TRUE(Logged(u"dialog:修剪"));
  OLayer* tiled = List()->GetLayer(0);
  const RECT r = Rect(tiled);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.right, 160);
  EXPECT_EQ(r.bottom, 30);
  EXPECT_EQ(tiled->GetID(), id);
  Space()->Undo(1);
  EXPECT_EQ(Rect(List()->GetLayer(0)).right, 120);
}

TEST_F(LayoutToolApp, TheNewLayerDialogMakesALayerOfItsSize) {
  // The frame's answers to the list's questions, as the frame hands them to a document's list.
  CFrameLayerAsk frameAsk(Frame());
  List()->SetAsk(&frameAsk);
  Choose<COperNew>(ID_OPER_NEW)->m_bNoMagnet = TRUE;
  onDialog = [](QDialog* d) {
    auto* dialog = dynamic_cast<CDlgNewLayer*>(d);
    if (!dialog) return int(QDialog::Rejected);
    dialog->SetSize(25, 15);
    dialog->SetKind(2);
    return int(QDialog::Accepted);
  };
  // From space (60, 50) up and to the left: the typed size reaches back from there.
  Drag(Client(60, 50), Client(20, 30));
  ASSERT_EQ(List()->GetCount(), 2);
  OLayer* made = List()->GetLayer(0);
  EXPECT_EQ(made->GetFormat(), OLayer::myFORMAT_A16);
  const RECT r = Rect(made);
  EXPECT_EQ(r.left, 60 - 25);
  EXPECT_EQ(r.top, 50 - 15);
  EXPECT_EQ(r.right, 60);
  EXPECT_EQ(r.bottom, 50);
  EXPECT_TRUE(Logged(u"dialog:创建图层"));
  List()->SetAsk(nullptr);
}

TEST_F(LayoutToolApp, TheMoveToolMovesTheLayerAndItsOptionsShowInTheBar) {
  COperMove* move = Choose<COperMove>(ID_OPER_MOVE);
  EXPECT_TRUE(Run(ID_MOVE_NOMAGNET));
  EXPECT_TRUE(move->m_bNoMagnet);
  EXPECT_EQ(Update(ID_MOVE_NOMAGNET).m_nCheck, 1);
  const POINT a = Client(30.5f, 30.5f);
  const float scale = Space()->m_pTransform->scale;
  Drag(a, POINT{a.x + LONG(7 * scale), a.y + LONG(5 * scale)});
  POINT p;
  layer->GetPosition(&p, FALSE);
  EXPECT_EQ(p.x, 7);
  EXPECT_EQ(p.y, 5);
  Space()->Undo(1);
  layer->GetPosition(&p, FALSE);
  EXPECT_EQ(p.x, 0);
}

}  // namespace
