// Tooltips by area: the window names the tip at the resting point and the area it covers;
// the tip goes once the mouse leaves that area, and a point without a tip shows none.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>
#include <string>
#include <vector>

#include "Recorder.h"
#include "platform/gui/Application.h"

namespace {

using guitest::Recorder;
using guitest::WaitFor;

// A tip over the left 50 x 40 pixels, none elsewhere.
class TipWindow : public Recorder {
 public:
  BOOL OnToolHitTest(POINT pt, std::u16string* text, RECT* area) override {
    asked.push_back(pt);
    if (pt.x >= 50 || pt.y >= 40) return FALSE;
    *text = u"左边的提示";
    *area = RECT{0, 0, 50, 40};
    return TRUE;
  }
  std::vector<POINT> asked;
};

bool AskForTip(QWidget* widget, QPoint at) {
  QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
  QCoreApplication::sendEvent(widget, &help);
  return help.isAccepted();
}

TEST(ToolTips, ShowPerAreaAndHideOnceTheMouseLeavesIt) {
  QWidget top;
  top.resize(300, 200);
  top.show();
  TipWindow own, attached;
  ASSERT_TRUE(own.Create(&top, RECT{10, 10, 110, 90}));
  auto* plain = new QWidget(&top);
  plain->setGeometry(150, 10, 100, 80);
  attached.Attach(plain);
  for (TipWindow* w : {&own, &attached}) {
    QWidget* widget = w->GetWidget();
    EXPECT_TRUE(AskForTip(widget, QPoint(10, 12)));
    ASSERT_EQ(w->asked.size(), 1u);
    EXPECT_EQ(w->asked[0].x, 10);
    EXPECT_EQ(w->asked[0].y, 12);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("左边的提示"));
    // Moving inside the area keeps it; leaving the area takes it away.
    for (QPointF at : {QPointF(40, 30), QPointF(70, 12)}) {
      QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(widget, &move);
    }
    EXPECT_TRUE(QToolTip::isVisible());  // it fades out
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
    // Where the window has no tip nothing shows, and the question goes on to the parent.
    EXPECT_FALSE(AskForTip(widget, QPoint(70, 12)));
    EXPECT_EQ(w->asked.size(), 2u);
    QCoreApplication::processEvents();
    EXPECT_FALSE(QToolTip::isVisible());
  }
}

}  // namespace
