#include <QApplication>
// The operation tool bar in the running program: the ten tool buttons in the order of its
// toolbar resource, each with its string resource's tooltip and its one-letter shortcut,
// enabled only for the tools that exist; the eyedropper's button makes it current and a click
// on the view then picks the colour there and hands back; a tool's option tool bar is built
// once and shown on the option bar while the tool is current.
#include <QAction>
#include <QToolBar>
#include <set>

#include "AppHarness.h"
#include "core/TavrikView.h"
#include "frame/Bars.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/MyListLayer.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/Messages.h"
#include "platform/gui/OptionToolBar.h"
#include "platform/gui/Resources.h"
#include "tools/OperPaint.h"
#include "tools/OperSucker.h"

namespace {

class ToolBarTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
  }
  QToolBar* Bar() { return Frame()->GetToolBar(ID_BAR_OPERATION); }
  static UINT IdOf(QAction* action) { return action->data().toUInt(); }
  QAction* Button(UINT id) {
    for (QAction* a : Bar()->actions())
      if (IdOf(a) == id) return a;
    return nullptr;
  }
  COptionBar* Options() { return dynamic_cast<COptionBar*>(Frame()->GetToolBar(ID_BAR_OPTION)); }
};

TEST_F(ToolBarTest, TheOperationBarHoldsTheTenToolsOnlyTheMadeOnesEnabled) {
  const std::vector<UINT> order{32771, 32772, 32773, 32774, 32780, 32843, 32821, 32776, 32778, 32775};
  std::vector<UINT> ids;
  for (QAction* a : Bar()->actions()) ids.push_back(IdOf(a));
  EXPECT_EQ(ids, order);

  // The program starts with the paint tool; the move, create-layer, trim, surgery, eyedropper,
  // outline, shape, paint-bucket and free-mapping tools are the others made so far.
  ASSERT_NE(dynamic_cast<COperPaint*>(Space()->GetCurOperator()), nullptr);
  Frame()->UpdateAll();
  std::set<QString> keys;
  for (QAction* a : Bar()->actions()) {
    const UINT id = IdOf(a);
    SCOPED_TRACE(id);
    EXPECT_EQ(a->isEnabled(), id == ID_OPER_SUCKER || id == ID_OPER_PAINT || id == ID_OPER_MOVE ||
                                  id == ID_OPER_NEW || id == ID_OPER_CROP || id == ID_OPER_POLYGON ||
                                  id == ID_OPER_SHAPE || id == ID_OPER_FLOOD || id == ID_OPER_DISTORT ||
                                  id == ID_OPER_LASSO);
    EXPECT_EQ(a->isChecked(), id == ID_OPER_PAINT);
    // One letter, no modifier, shown in the tooltip after the string resource's tip.
    const QString key = a->shortcut().toString(QKeySequence::PortableText);
    ASSERT_EQ(key.size(), 1);
    EXPECT_TRUE(key[0].isUpper());
    keys.insert(key);
    const std::u16string tip = gui::StringResourcePart(id, 1);
    ASSERT_FALSE(tip.empty());
    EXPECT_EQ(a->toolTip(), QString::fromUtf16(tip.data(), qsizetype(tip.size())) + QStringLiteral(" (") + key + ")");
  }
  EXPECT_EQ(keys.size(), order.size()) << "every tool has a key of its own";
  EXPECT_EQ(Button(ID_OPER_SUCKER)->toolTip(), QStringLiteral("吸管 (E)"));
  // Undo and redo keep their keys.
  EXPECT_EQ(Frame()->GetActions()->Get(ID_EDIT_UNDO)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  const QList<QKeySequence> redo = Frame()->GetActions()->Get(ID_EDIT_REDO)->shortcuts();
  EXPECT_TRUE(redo.contains(QKeySequence(QStringLiteral("Ctrl+Y"))));
  EXPECT_TRUE(redo.contains(QKeySequence(QStringLiteral("Ctrl+Shift+Z"))));
}

TEST_F(ToolBarTest, TheEyedropperButtonSelectsItAndAClickPicksAndHandsBack) {
  COperation* tool = Space()->GetCurOperator();
  ASSERT_EQ(tool->GetID(), ID_OPER_PAINT);
  Frame()->UpdateAll();
  EXPECT_TRUE(Button(ID_OPER_PAINT)->isChecked());
  EXPECT_TRUE(Button(ID_OPER_SUCKER)->isEnabled());
  EXPECT_FALSE(Button(ID_OPER_SUCKER)->isChecked());

  Button(ID_OPER_SUCKER)->trigger();
  ASSERT_NE(dynamic_cast<COperSucker*>(Space()->GetCurOperator()), nullptr);
  EXPECT_EQ(Space()->GetPrevOperatorID(), ID_OPER_PAINT);
  Frame()->UpdateAll();
  EXPECT_TRUE(Button(ID_OPER_SUCKER)->isChecked());
  EXPECT_FALSE(Button(ID_OPER_PAINT)->isChecked());

  // The layer covers the space, which sits in the middle of the view.
  OLayer* layer = List()->GetLayer(0);
  {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(layer, 0));
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = 0xFF3366CC;
  }
  layer->MipRefresh(nullptr);
  Space()->InvalidateComposite();
  CTavrikView* view = Frame()->GetView();
  const LPARAM centre = MakePointLParam(Space()->m_pTransform->clientWidth / 2, Space()->m_pTransform->clientHeight / 2);
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, centre);
  view->SendMessage(WM_LBUTTONUP, 0, centre);
  EXPECT_EQ(Doc()->GetColorBar()->GetColor(0), 0x3366CCu);
  EXPECT_EQ(Space()->GetCurOperator(), tool);
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(ToolBarTest, AToolsOptionBarIsBuiltOnceAndShownWhileItIsCurrent) {
  ASSERT_NE(Options(), nullptr);
  // The paint tool, current from the start, shows its clear and fade buttons.
  ASSERT_EQ(Options()->Shown().size(), 1u);
  const HWND shown = Options()->Shown()[0];
  auto* options = dynamic_cast<gui::OptionToolBar*>(gui::GWindow::FromHandle(shown));
  ASSERT_NE(options, nullptr);
  EXPECT_GE(options->CommandToIndex(ID_PAINT_CLEAR), 0);
  EXPECT_EQ(options->GetOwner(), Frame()->GetSafeHwnd()) << "its commands take the frame's route";

  Space()->SelectOperator(ID_OPER_SUCKER);
  EXPECT_TRUE(Options()->Shown().empty()) << "the eyedropper shows nothing";
  Space()->SelectOperator(ID_OPER_PAINT);
  EXPECT_EQ(Options()->Shown(), std::vector<HWND>{shown});
}

// The shape tool's lists and slider keep the sizes the tool made them with, also when the tool
// comes back: the bar's layout never squeezes a control below that.
TEST_F(ToolBarTest, OptionControlsKeepTheirSizeOnTheBar) {
  for (int round = 0; round < 2; ++round) {
    Space()->SelectOperator(ID_OPER_SHAPE);
    QApplication::processEvents();
    const std::vector<HWND> shown = Options()->Shown();
    ASSERT_EQ(shown.size(), 4u);
    const int widths[] = {80, 80, 32};  // the shape list, the mode list, the slider
    for (size_t i = 1; i < shown.size(); ++i) {
      const QWidget* widget = gui::GWindow::FromHandle(shown[i])->GetWidget();
      EXPECT_GE(widget->width() * widget->devicePixelRatioF(), widths[i - 1] - 0.5) << "control " << i;
    }
    Space()->SelectOperator(ID_OPER_PAINT);
  }
}

}  // namespace
