// The free-mapping tool in the running program: its option tool bar shows all three of its
// buttons on the option bar, and they follow the source mark.
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

}  // namespace
