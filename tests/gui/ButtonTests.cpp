// Buttons: clicks reported as BN_CLICKED, check boxes that toggle themselves, BM_GETCHECK and
// BM_SETCHECK, the text and an image from a bitmap resource.
#include <QAbstractButton>
#include <QIcon>
#include <QImage>

#include "ControlKit.h"
#include "platform/gui/Button.h"

namespace {

using controls_test::ControlTest;

constexpr UINT kId = 32825;

QAbstractButton* ButtonOf(gui::Button& b) { return b.GetWidget()->findChild<QAbstractButton*>(); }

TEST_F(ControlTest, ButtonClicksAreReportedAndCheckBoxesToggle) {
  const struct {
    DWORD style;
    bool checks;
  } cases[] = {{BS_PUSHBUTTON, false}, {BS_AUTOCHECKBOX, true}, {BS_AUTOCHECKBOX | BS_PUSHLIKE, true}};
  for (const auto& c : cases) {
    parent.log.clear();
    gui::Button button;
    ASSERT_TRUE(button.Create(u"无磁力", WS_CHILD | WS_VISIBLE | c.style, RECT{10, 10, 110, 34}, &parent, kId));
    QAbstractButton* qt = ButtonOf(button);
    EXPECT_EQ(qt->text(), QStringLiteral("无磁力"));
    EXPECT_EQ(qt->size(), QSize(100, 24));
    const int expected[] = {c.checks ? BST_CHECKED : BST_UNCHECKED, BST_UNCHECKED};
    for (size_t i = 0; i < std::size(expected); ++i) {
      controls_test::Click(qt, QPoint(8, 12));
      const auto commands = parent.Of(WM_COMMAND);
      ASSERT_EQ(commands.size(), i + 1) << c.style;
      EXPECT_EQ(commands[i].wParam, MAKEWPARAM(kId, BN_CLICKED));
      EXPECT_EQ(commands[i].lParam, LPARAM(button.GetSafeHwnd()));
      EXPECT_EQ(gui::SendMessage(button, BM_GETCHECK), expected[i]) << c.style;
    }
    gui::SendMessage(button, BM_SETCHECK, BST_CHECKED);
    EXPECT_EQ(button.GetCheck(), c.checks ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(parent.Of(WM_COMMAND).size(), 2u);  // the program's own change is not reported
    button.SetWindowText(u"不选图层");
    EXPECT_EQ(qt->text(), QStringLiteral("不选图层"));
  }
}

TEST_F(ControlTest, ButtonImageIsACellOfABitmapResource) {
  gui::RegisterBitmapResource(9101, controls_test::Strip(20, 18, {0xFF0000, 0x0000FF}));
  gui::Button button;
  ASSERT_TRUE(button.Create(u"", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_PUSHLIKE, RECT{0, 0, 28, 26}, &parent, kId));
  EXPECT_FALSE(button.SetImage(9199, 0, 20, 18));  // no such bitmap
  EXPECT_FALSE(button.SetImage(9101, 2, 20, 18));  // no such cell
  ASSERT_TRUE(button.SetImage(9101, 1, 20, 18));
  const QImage icon = ButtonOf(button)->icon().pixmap(QSize(20, 18)).toImage();
  EXPECT_EQ(icon.pixel(10, 9), 0xFF0000FFu);
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);  // the face grey is clear
}

TEST_F(ControlTest, ButtonMayBeDestroyedByItsParentOnItsClick) {
  auto button = std::make_unique<gui::Button>();
  ASSERT_TRUE(button->Create(u"确定", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 34}, &parent, kId));
  QAbstractButton* qt = ButtonOf(*button);
  parent.onMessage = [&](UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_COMMAND) button.reset();
    return 0;
  };
  controls_test::Click(qt, QPoint(8, 12));
  EXPECT_FALSE(button);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
