// The free-mapping tool in the running program: its option tool bar shows all three of its
// buttons on the option bar, they follow the source mark, and the reverse-side button shows
// its state both ways.
#include <QApplication>
#include <QToolBar>
#include <QWidget>

#include "AppHarness.h"
#include "frame/Bars.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "panels/MyListLayer.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/OptionToolBar.h"
#include "platform/gui/Messages.h"
#include "tools/OperDistort.h"

namespace {

class DistortToolAppTest : public AppTest {
 protected:
  void SetUp() override {
    show = true;
    ASSERT_TRUE(Start());
    NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
  }
  COptionBar* Options() { return dynamic_cast<COptionBar*>(Frame()->GetToolBar(ID_BAR_OPTION)); }
};

TEST_F(DistortToolAppTest, TheOptionBarShowsEveryButtonOfTheTool) {
  Space()->SelectOperator(ID_OPER_DISTORT);
  ASSERT_NE(dynamic_cast<COperDistort*>(Space()->GetCurOperator()), nullptr);
  ASSERT_EQ(Options()->Shown().size(), 1u);
  auto* options = dynamic_cast<gui::OptionToolBar*>(gui::GWindow::FromHandle(Options()->Shown()[0]));
  ASSERT_NE(options, nullptr);
  ASSERT_EQ(options->GetButtonCount(), 3);
  Frame()->UpdateAll();
  QApplication::processEvents();
  const QWidget* widget = options->GetWidget();
  for (int i = 0; i < options->GetButtonCount(); ++i) {
    RECT rc;
    options->GetItemRect(i, &rc);
    const double dpr = widget->devicePixelRatioF();
    EXPECT_LE(rc.right / dpr, widget->width() + 0.5) << "button " << i << " fits the bar";
    EXPECT_GT(rc.right, rc.left) << "button " << i << " is shown";
  }
}

TEST_F(DistortToolAppTest, TheButtonsFollowTheSourceAndShowTheReverseSide) {
  GCompRef<OLayer> source = app->GetShowDevice()->CreateLayer(32, 32, OLayer::myFORMAT_C32, 77);
  List()->AddLayer(-1, source);
  List()->SetCurSelect(0);
  Space()->SelectOperator(ID_OPER_DISTORT);
  auto* options = dynamic_cast<gui::OptionToolBar*>(gui::GWindow::FromHandle(Options()->Shown()[0]));
  ASSERT_NE(options, nullptr);
  const int down = options->CommandToIndex(ID_DISTORT_DOWN), invert = options->CommandToIndex(ID_DISTORT_INVERT);
  options->UpdateButtons();
  EXPECT_TRUE(options->GetButtonStyle(down) & TBBS_DISABLED) << "no source yet";
  EXPECT_TRUE(options->GetButtonStyle(invert) & TBBS_DISABLED);

  source->SetFlags(LYR_FLAG_SOURCE);
  Space()->NotifyOperator(u"CMyListLayer", myNOTIFY_FLAGS | LYR_FLAG_SOURCE, source.get());
  options->UpdateButtons();
  EXPECT_FALSE(options->GetButtonStyle(down) & TBBS_DISABLED);
  EXPECT_FALSE(options->GetButtonStyle(invert) & TBBS_CHECKED);
  for (const bool checked : {true, false}) {
    Frame()->SendMessage(WM_COMMAND, MAKEWPARAM(ID_DISTORT_INVERT, 0), 0);
    options->UpdateButtons();
    EXPECT_EQ((options->GetButtonStyle(invert) & TBBS_CHECKED) != 0, checked);
  }
}

}  // namespace
