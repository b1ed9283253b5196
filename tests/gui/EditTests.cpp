// The in-place edit: Enter and Escape reported to the parent with the typed text kept, keys
// kept from the parent, selection and limit, focus, and destruction from its own report.
#include <QInputMethodEvent>
#include <QLineEdit>

#include "ControlKit.h"
#include "platform/gui/Edit.h"

namespace {

using controls_test::ControlTest;
using controls_test::Type;
using controls_test::TypeText;

QLineEdit* LineOf(CMyEdit& edit) { return edit.GetWidget()->findChild<QLineEdit*>(); }

TEST_F(ControlTest, EditReportsEnterAndEscapeAndKeepsEveryKeyFromItsParent) {
  const struct {
    int key;
    WPARAM done;
  } cases[] = {{Qt::Key_Return, 1}, {Qt::Key_Enter, 1}, {Qt::Key_Escape, 0}};
  for (const auto& c : cases) {
    parent.log.clear();
    CMyEdit edit;
    ASSERT_TRUE(edit.Create(&parent, RECT{10, 10, 160, 32}, 1));
    QLineEdit* line = LineOf(edit);
    TypeText(line, QStringLiteral("a图层"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("名称"));
    QApplication::sendEvent(line, &composed);
    // Keys the line edit has no use of would travel on to the parent.
    Type(line, Qt::Key_F5);
    Type(line, Qt::Key_Up);
    Type(line, c.key);
    EXPECT_EQ(edit.GetWindowText(), u"a图层名称");
    const auto done = parent.Of(WM_MYEDITDONE);
    ASSERT_EQ(done.size(), 1u) << c.key;
    EXPECT_EQ(done[0].wParam, c.done);
    EXPECT_EQ(done[0].lParam, LPARAM(edit.GetSafeHwnd()));
    EXPECT_TRUE(parent.Of(WM_KEYDOWN).empty());
    EXPECT_TRUE(parent.Of(WM_KEYUP).empty());
    EXPECT_TRUE(parent.Of(WM_CHAR).empty());
  }
}

TEST_F(ControlTest, EditSelectionAndLimitDecideWhatTypingDoes) {
  const struct {
    int start, end;
    const char16_t* after;
  } cases[] = {
      {0, -1, u"X"},      // all
      {2, -1, u"图层X"},  // to the end
      {1, 2, u"图X1"},    // a part
      {0, 0, u"X图层1"},  // a caret at the start
      {-1, 0, u"图层1X"},  // no selection: the caret stays at the end
  };
  CMyEdit edit;
  ASSERT_TRUE(edit.Create(&parent, RECT{10, 10, 160, 32}, 1));
  for (const auto& c : cases) {
    edit.SetWindowText(u"图层1");
    gui::SendMessage(edit, EM_SETSEL, WPARAM(intptr_t(c.start)), LPARAM(c.end));
    TypeText(LineOf(edit), QStringLiteral("X"));
    EXPECT_EQ(edit.GetWindowText(), c.after) << c.start << ".." << c.end;
  }
  gui::SendMessage(edit, EM_LIMITTEXT, 4, 0);
  edit.SetWindowText(u"");
  TypeText(LineOf(edit), QStringLiteral("名称abc"));
  EXPECT_EQ(edit.GetWindowText(), u"名称ab");
  edit.LimitText(0);
  TypeText(LineOf(edit), QStringLiteral("cd"));
  EXPECT_EQ(edit.GetWindowText(), u"名称abcd");
}

TEST_F(ControlTest, EditTakesTheFocusWhenShownAndReportsLosingIt) {
  CMyEdit edit;
  ASSERT_TRUE(edit.Create(&parent, RECT{10, 10, 160, 32}, 7, WS_CHILD));
  EXPECT_FALSE(edit.IsWindowVisible());
  EXPECT_NE(gui::GetFocus(), edit.GetSafeHwnd());
  edit.ShowWindow(SW_SHOW);
  EXPECT_EQ(gui::GetFocus(), edit.GetSafeHwnd());
  parent.log.clear();
  parent.SetFocus();
  const auto commands = parent.Of(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(7, EN_KILLFOCUS));
  EXPECT_EQ(commands[0].lParam, LPARAM(edit.GetSafeHwnd()));
  EXPECT_TRUE(parent.Of(WM_MYEDITDONE).empty());  // leaving is the parent's to judge
}

TEST_F(ControlTest, EditMayBeDestroyedByItsParentOnItsReport) {
  auto edit = std::make_unique<CMyEdit>();
  ASSERT_TRUE(edit->Create(&parent, RECT{10, 10, 160, 32}, 1));
  const HWND hwnd = edit->GetSafeHwnd();
  QLineEdit* line = LineOf(*edit);
  parent.onMessage = [&](UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_MYEDITDONE) edit.reset();
    return 0;
  };
  Type(line, Qt::Key_Return);
  EXPECT_FALSE(edit);
  EXPECT_FALSE(gui::IsWindow(hwnd));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(parent.Of(WM_COMMAND).size(), 0u);  // going away is no focus report
}

TEST_F(ControlTest, EditWhoseParentWentIsGoneToo) {
  controls_test::LogWindow owner;
  ASSERT_TRUE(owner.Create(&top, RECT{0, 0, 200, 100}));
  CMyEdit edit;
  ASSERT_TRUE(edit.Create(&owner, RECT{10, 10, 160, 32}, 1));
  const HWND hwnd = edit.GetSafeHwnd();
  owner.DestroyWindow();
  EXPECT_FALSE(gui::IsWindow(hwnd));
  EXPECT_EQ(edit.GetWidget(), nullptr);
  EXPECT_FALSE(edit.Create(&owner, RECT{10, 10, 160, 32}, 1));  // no parent to live in
}

}  // namespace
