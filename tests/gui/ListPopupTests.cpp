// The drop-down list popup: where it opens against the work area, choosing with the mouse and
// the keys, every way of cancelling (each letting go of the mouse), and scrolling a long list
// with the wheel, the strip and the keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "Recorder.h"
#include "platform/gui/Application.h"
#include "platform/gui/ListPopup.h"
#include "platform/gui/Messages.h"

namespace {

using guitest::Msg;
using guitest::Recorder;
using guitest::WaitFor;

constexpr int kRows = 40;

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton,
           Qt::MouseButtons held = Qt::NoButton) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                 held, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

void Press(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
  Mouse(w, QEvent::MouseButtonPress, at, button, button);
}

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

void Wheel(QWidget* w, QPoint at, int delta) {
  QWheelEvent ev(QPointF(at), w->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &ev);
}

class ListPopupTest : public ::testing::Test {
 public:  // the case tables act through the fixture
  void SetUp() override {
    top.setGeometry(20, 30, 300, 200);
    top.show();
    ASSERT_TRUE(owner.Create(&top, RECT{0, 0, 300, 200}));
    top.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &top; }));
    ASSERT_TRUE(popup.Create(&owner, nullptr));
    for (int i = 0; i < kRows; ++i) {
      const std::u16string text = u"choice " + std::u16string(1, char16_t(u'A' + i % 26));
      ASSERT_EQ(List().SendMessage(gui::LB_ADDSTRING, 0, LPARAM(text.c_str())), i);
    }
    owner.log.clear();
  }
  void TearDown() override { gui::ReleaseCapture(); }

  gui::ListBox& List() { return *popup.GetListBox(); }
  QWidget* ListWidget() { return List().GetWidget(); }
  // The middle of a row as the list shows it now.
  QPoint RowPoint(int row) {
    RECT rc;
    List().GetItemRect(row, &rc);
    return QPoint((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  }
  // Opens below a 100 x 21 anchor near the top left of the work area.
  void Open(int visibleRows, int selected) {
    const RECT area = gui::GetWorkArea(POINT{0, 0});
    ASSERT_TRUE(popup.Popup(RECT{area.left + 40, area.top + 30, area.left + 140, area.top + 51}, 100, visibleRows,
                            selected));
    ASSERT_TRUE(popup.IsWindowVisible());
    ASSERT_EQ(gui::GetCapture(), popup.GetSafeHwnd());
  }
  // What the owner was told, once the queue ran.
  std::vector<Msg> Told() {
    gui::RunPostedMessages();
    return owner.Of({WM_MYPOPUPCLOSED});
  }
  // Closed by the user: hidden, the mouse let go (to whoever took it), the owner told once.
  void ExpectClosed(WPARAM chosen, HWND capture = nullptr) {
    EXPECT_FALSE(popup.IsWindowVisible());
    EXPECT_FALSE(popup.IsOpen());
    EXPECT_EQ(gui::GetCapture(), capture);
    const std::vector<Msg> told = Told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].wParam, chosen);
    EXPECT_EQ(told[0].lParam, LPARAM(popup.GetSafeHwnd()));
  }

  QWidget top;
  Recorder owner;
  CListPopup popup;
};

TEST_F(ListPopupTest, OpensBelowTheAnchorOrAboveItWhereTheWorkAreaEnds) {
  const RECT a = gui::GetWorkArea(POINT{0, 0});
  const int h5 = 5 * CListPopup::kRowHeight + 2;
  const struct {
    const char* what;
    RECT anchor;
    int width, rows;
    RECT want;
  } cases[] = {
      {"below", {a.left + 50, a.top + 40, a.left + 130, a.top + 61}, 80, 5,
       {a.left + 50, a.top + 61, a.left + 130, a.top + 61 + h5}},
      {"above at the bottom edge", {a.left + 50, a.bottom - 40, a.left + 130, a.bottom - 19}, 80, 5,
       {a.left + 50, a.bottom - 40 - h5, a.left + 130, a.bottom - 40}},
      {"moved in from the right edge", {a.right - 30, a.top + 40, a.right - 10, a.top + 61}, 80, 5,
       {a.right - 80, a.top + 61, a.right, a.top + 61 + h5}},
      // Room for neither: the roomier side, with the rows that fit there.
      {"cut to the room below", {a.left, a.top + 100, a.left + 80, a.top + 121}, 80, kRows,
       {a.left, a.top + 121, a.left + 80, a.top + 121 + (a.bottom - a.top - 121 - 2) / 20 * 20 + 2}},
      {"cut to the room above", {a.left, a.bottom - 100, a.left + 80, a.bottom - 79}, 80, kRows,
       {a.left, a.bottom - 100 - ((a.bottom - a.top - 100 - 2) / 20 * 20 + 2), a.left + 80, a.bottom - 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(popup.Popup(c.anchor, c.width, c.rows, 0));
    RECT rc;
    popup.GetWindowRect(&rc);
    EXPECT_EQ(rc.left, c.want.left);
    EXPECT_EQ(rc.top, c.want.top);
    EXPECT_EQ(rc.right, c.want.right);
    EXPECT_EQ(rc.bottom, c.want.bottom);
    // The rows fill the frame but for the scroll strip (all these lists are longer).
    RECT client, list;
    popup.GetClientRect(&client);
    List().GetClientRect(&list);
    EXPECT_EQ(list.bottom, client.bottom);
    EXPECT_EQ(list.bottom % CListPopup::kRowHeight, 0);
    EXPECT_LT(list.right, client.right);
    QWidget* window = popup.GetWidget()->window();
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    popup.Hide();
    EXPECT_FALSE(popup.IsWindowVisible());
    EXPECT_EQ(gui::GetCapture(), nullptr);
  }
  EXPECT_TRUE(Told().empty());  // hidden by its owner: nobody is told

  // A list that all shows has no strip.
  List().SendMessage(gui::LB_RESETCONTENT);
  List().SendMessage(gui::LB_ADDSTRING, 0, LPARAM(u"one"));
  Open(5, 0);
  RECT client, list;
  popup.GetClientRect(&client);
  List().GetClientRect(&list);
  EXPECT_EQ(list.right, client.right);
  EXPECT_EQ(client.bottom, CListPopup::kRowHeight);
}

TEST_F(ListPopupTest, HoverHighlightsAndAClickOrEnterChooses) {
  for (bool byKey : {false, true}) {
    SCOPED_TRACE(byKey);
    owner.log.clear();
    // The window manager gives the owner's window the activation back after a popup; the
    // offscreen platform does not.
    top.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &top; }));
    Open(8, 2);
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == popup.GetSafeHwnd(); }));
    EXPECT_EQ(gui::GetFocus(), List().GetSafeHwnd());
    EXPECT_EQ(List().GetCurSel(), 2);
    EXPECT_EQ(List().GetTopIndex(), 2);
    // The release of the click that opened it lands outside: nothing.
    Mouse(owner.GetWidget(), QEvent::MouseButtonRelease, QPoint(60, 10));
    EXPECT_TRUE(popup.IsOpen());
    Mouse(ListWidget(), QEvent::MouseMove, RowPoint(5));
    EXPECT_EQ(List().GetCurSel(), 5);
    if (byKey) {
      Key(ListWidget(), Qt::Key_Down);
      EXPECT_EQ(List().GetCurSel(), 6);
      EXPECT_TRUE(popup.IsOpen());
      Key(ListWidget(), Qt::Key_Return);
    } else {
      Press(ListWidget(), RowPoint(6));
      EXPECT_TRUE(popup.IsOpen());  // the release chooses
      Mouse(ListWidget(), QEvent::MouseButtonRelease, RowPoint(6));
    }
    ExpectClosed(1);
    EXPECT_EQ(List().GetCurSel(), 6);
  }
}

TEST_F(ListPopupTest, EscapeAPressOutsideOrALostMouseCancelAndLetGo) {
  const struct {
    const char* what;
    bool taken;  // the owner holds the mouse after
    std::function<void(ListPopupTest&)> act;
  } cases[] = {
      {"escape", false, [](ListPopupTest& t) { Key(t.ListWidget(), Qt::Key_Escape); }},
      {"left press outside", false, [](ListPopupTest& t) { Press(t.owner.GetWidget(), QPoint(150, 150)); }},
      {"right press outside", false,
       [](ListPopupTest& t) { Press(t.owner.GetWidget(), QPoint(5, 5), Qt::RightButton); }},
      {"the mouse taken", true,
       [](ListPopupTest& t) {
         gui::RunPostedMessages();
         t.owner.SetCapture();
       }},
      {"enter without a row", false,
       [](ListPopupTest& t) {
         t.List().SetCurSel(-1);
         Key(t.ListWidget(), Qt::Key_Enter);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    owner.log.clear();
    Open(6, 3);
    Mouse(ListWidget(), QEvent::MouseMove, RowPoint(7));
    ASSERT_EQ(List().GetCurSel(), 7);
    c.act(*this);
    ExpectClosed(0, c.taken ? owner.GetSafeHwnd() : nullptr);
    EXPECT_EQ(List().GetCurSel(), 3);  // the row it opened with
    gui::ReleaseCapture();
  }
}

TEST_F(ListPopupTest, TheOpenerLettingGoOfItsCaptureDoesNotCancel) {
  // A list opens the popup while it holds the mouse for its press, and lets go after.
  owner.SetCapture();
  Open(6, 0);
  gui::ReleaseCapture();
  EXPECT_TRUE(popup.IsOpen());
  gui::RunPostedMessages();
  EXPECT_EQ(gui::GetCapture(), popup.GetSafeHwnd());  // taken back
  EXPECT_TRUE(Told().empty());
  Press(owner.GetWidget(), QPoint(150, 150));
  ExpectClosed(0);
}

TEST_F(ListPopupTest, LosingTheActivationCancels) {
  Recorder other;
  ASSERT_TRUE(other.Create(static_cast<gui::GWindow*>(nullptr), RECT{500, 300, 600, 380}, WS_VISIBLE));
  Open(6, 1);
  ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == popup.GetSafeHwnd(); }));
  other.GetWidget()->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return !popup.IsWindowVisible(); }));
  ExpectClosed(0);
}

TEST_F(ListPopupTest, DestroyedWhileOpenItLetsGoOfTheMouse) {
  auto other = std::make_unique<CListPopup>();
  ASSERT_TRUE(other->Create(&owner, nullptr));
  other->GetListBox()->SendMessage(gui::LB_ADDSTRING, 0, LPARAM(u"x"));
  ASSERT_TRUE(other->Popup(RECT{100, 100, 200, 120}, 100, 4, 0));
  ASSERT_EQ(gui::GetCapture(), other->GetSafeHwnd());
  other.reset();
  EXPECT_EQ(gui::GetCapture(), nullptr);
  Press(owner.GetWidget(), QPoint(150, 150));
  EXPECT_EQ(owner.Of({WM_LBUTTONDOWN}).size(), 1u);
  EXPECT_TRUE(Told().empty());
}

TEST_F(ListPopupTest, ALongListScrollsByWheelStripAndKeys) {
  Open(5, 0);
  const int maxTop = kRows - 5;
  Wheel(ListWidget(), RowPoint(1), -120);  // a notch down: three rows
  EXPECT_EQ(List().GetTopIndex(), 3);
  Wheel(owner.GetWidget(), QPoint(5, 5), 120);  // outside too: the popup has the mouse
  EXPECT_EQ(List().GetTopIndex(), 0);

  // The strip: a press below the thumb pages down; dragging the thumb to the end scrolls there.
  RECT client, list;
  popup.GetClientRect(&client);
  List().GetClientRect(&list);
  QWidget* face = popup.GetWidget();
  const int stripX = (list.right + client.right) / 2;
  auto thumbTop = [&] {
    const QImage shot = face->grab().toImage();
    for (int y = 0; y < shot.height(); ++y)
      if ((shot.pixel(stripX, y) & 0xFFFFFFu) == 0xA8ACACu) return y;
    return -1;
  };
  EXPECT_EQ(thumbTop(), 0);
  Press(face, QPoint(stripX, client.bottom - 2));
  Mouse(face, QEvent::MouseButtonRelease, QPoint(stripX, client.bottom - 2));
  EXPECT_EQ(List().GetTopIndex(), 5);
  EXPECT_TRUE(popup.IsOpen());  // a release after a press on the strip chooses nothing
  const int grabbed = thumbTop();
  EXPECT_GT(grabbed, 0);
  Press(face, QPoint(stripX, grabbed + 2));
  Mouse(face, QEvent::MouseMove, QPoint(stripX, client.bottom + 50), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(List().GetTopIndex(), maxTop);
  Mouse(face, QEvent::MouseMove, QPoint(stripX, -50), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(List().GetTopIndex(), 0);
  Mouse(face, QEvent::MouseButtonRelease, QPoint(stripX, -50));
  EXPECT_TRUE(popup.IsOpen());
  EXPECT_EQ(thumbTop(), 0);

  // Keys move the highlight and scroll it into view.
  Key(ListWidget(), Qt::Key_End);
  EXPECT_EQ(List().GetCurSel(), kRows - 1);
  EXPECT_EQ(List().GetTopIndex(), maxTop);
  EXPECT_GT(thumbTop(), grabbed);
  EXPECT_TRUE(Told().empty());
}

}  // namespace
