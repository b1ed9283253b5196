// Popup windows: frameless top-level windows at a screen place, moved and shown with
// SetWindowPos, holding the mouse, told of activation, closing when they lose it, and
// translucent from the alpha of their screen image.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include "Recorder.h"
#include "platform/gui/Application.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Window.h"

namespace {

using guitest::Msg;
using guitest::Recorder;
using guitest::WaitFor;

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Popups : public ::testing::Test {
 protected:
  void SetUp() override {
    top.setGeometry(20, 30, 200, 150);
    top.show();
    ASSERT_TRUE(owner.Create(&top, RECT{10, 10, 110, 90}));
    top.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &top; }));
    owner.log.clear();
  }
  void TearDown() override { gui::ReleaseCapture(); }

  // A top-level window of ours, made active.
  void MakeOther(Recorder& other) {
    ASSERT_TRUE(other.Create(static_cast<gui::GWindow*>(nullptr), RECT{500, 300, 600, 380}, WS_VISIBLE));
    other.GetWidget()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == other.GetSafeHwnd(); }));
    other.log.clear();
  }

  QWidget top;
  Recorder owner;
};

TEST_F(Popups, SitFramelessAtTheirScreenPlace) {
  const struct {
    DWORD style;
    DWORD exStyle;
    Qt::WindowType type;
    RECT client;
    POINT origin;  // of the client area, on the screen
  } cases[] = {
      {WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, Qt::Tool, {0, 0, 100, 60}, {300, 200}},
      {WS_POPUP | WS_VISIBLE | WS_BORDER, 0, Qt::Tool, {0, 0, 98, 58}, {301, 201}},
      {WS_POPUP | WS_VISIBLE, WS_EX_NOACTIVATE | WS_EX_TOPMOST, Qt::ToolTip, {0, 0, 100, 60}, {300, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style | c.exStyle);
    Recorder p;
    p.SetBackgroundColor(RGB(0, 255, 0));
    ASSERT_TRUE(p.CreateEx(c.exStyle, &owner, RECT{300, 200, 400, 260}, c.style));
    QWidget* window = p.GetWidget()->window();
    EXPECT_EQ(window->windowType(), c.type);
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(bool(window->windowFlags() & Qt::WindowStaysOnTopHint), bool(c.exStyle & WS_EX_TOPMOST));
    EXPECT_EQ(window->parentWidget(), owner.GetWidget());  // goes with its owner
    EXPECT_EQ(p.GetOwner(), owner.GetSafeHwnd());
    EXPECT_TRUE(p.IsWindowVisible());
    RECT rc;
    p.GetWindowRect(&rc);
    EXPECT_TRUE(SameRect(rc, RECT{300, 200, 400, 260}));
    p.GetClientRect(&rc);
    EXPECT_TRUE(SameRect(rc, c.client));
    POINT origin{0, 0};
    p.ClientToScreen(&origin);
    EXPECT_EQ(origin.x, c.origin.x);
    EXPECT_EQ(origin.y, c.origin.y);
    EXPECT_EQ(gui::WindowFromPoint(POINT{350, 230}), p.GetSafeHwnd());
    // The frame around the client area, the screen image inside it.
    QImage shot = window->grab().toImage();
    const bool border = c.style & WS_BORDER;
    EXPECT_EQ(shot.pixel(0, 0) == window->palette().color(QPalette::Shadow).rgb(), border);
    EXPECT_EQ(shot.pixel(1, 1) & 0xFFFFFFu, 0x00FF00u);
  }
}

TEST_F(Popups, SetWindowPosMovesSizesShowsAndHides) {
  Recorder p;
  ASSERT_TRUE(p.CreateEx(WS_EX_NOACTIVATE, &owner, RECT{300, 200, 400, 260}, WS_POPUP | WS_BORDER));
  EXPECT_FALSE(p.IsWindowVisible());
  const UINT keep = SWP_NOZORDER | SWP_NOACTIVATE;
  const struct {
    int x, y, cx, cy;
    UINT flags;
    RECT window;
    bool visible;
  } steps[] = {
      {50, 40, 0, 0, keep | SWP_NOSIZE | SWP_SHOWWINDOW, {50, 40, 150, 100}, true},
      {0, 0, 136, 148, keep | SWP_NOMOVE, {50, 40, 186, 188}, true},
      {9, 9, 9, 9, keep | SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW, {50, 40, 186, 188}, false},
      {10, 20, 30, 40, keep | SWP_SHOWWINDOW | SWP_NOCOPYBITS | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING,
       {10, 20, 40, 60}, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.flags);
    p.log.clear();
    EXPECT_TRUE(p.SetWindowPos(nullptr, s.x, s.y, s.cx, s.cy, s.flags));
    QCoreApplication::processEvents();
    RECT rc;
    p.GetWindowRect(&rc);
    EXPECT_TRUE(SameRect(rc, s.window)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
    EXPECT_EQ(bool(p.IsWindowVisible()), s.visible);
    p.GetClientRect(&rc);
    EXPECT_EQ(rc.right, s.window.right - s.window.left - 2);
    EXPECT_EQ(rc.bottom, s.window.bottom - s.window.top - 2);
  }
  EXPECT_EQ(QApplication::activeWindow(), &top);
  // The work area holds the point asked about.
  const RECT area = gui::GetWorkArea(POINT{50, 40});
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(SameRect(area, RECT{avail.left(), avail.top(), avail.right() + 1, avail.bottom() + 1}));
  // It goes with its owner's window.
  const HWND hwnd = p.GetSafeHwnd();
  owner.DestroyWindow();
  EXPECT_FALSE(gui::IsWindow(hwnd));
  EXPECT_EQ(p.GetWidget(), nullptr);
}

TEST_F(Popups, HoldTheMouseOverOtherWindows) {
  Recorder p;
  ASSERT_TRUE(p.CreateEx(WS_EX_NOACTIVATE, &owner, RECT{300, 200, 400, 260}, WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(p.SetCapture(), nullptr);
  const QPointF at(5, 6);
  const QPoint global = owner.GetWidget()->mapToGlobal(at.toPoint());
  QMouseEvent press(QEvent::MouseButtonPress, at, owner.GetWidget()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(owner.GetWidget(), &press);
  EXPECT_TRUE(owner.Of({WM_LBUTTONDOWN, WM_SETCURSOR}).empty());
  std::vector<Msg> got = p.Of({WM_LBUTTONDOWN});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(GET_X_LPARAM(got[0].lParam), global.x() - 300);  // the popup's client point
  EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), global.y() - 200);

  owner.SetCapture();
  ASSERT_EQ(p.Of({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(p.Of({WM_CAPTURECHANGED})[0].lParam, LPARAM(owner.GetSafeHwnd()));
  p.SetCapture();
  EXPECT_TRUE(gui::ReleaseCapture());
  ASSERT_EQ(p.Of({WM_CAPTURECHANGED}).size(), 2u);
  EXPECT_EQ(p.Of({WM_CAPTURECHANGED})[1].lParam, 0);
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(Popups, ActivationComesAsWmActivateAndClosesAPopupThatAsksForIt) {
  Recorder other;
  MakeOther(other);
  for (bool closes : {false, true}) {
    SCOPED_TRACE(closes);
    Recorder p;
    owner.log.clear();
    other.log.clear();
    ASSERT_TRUE(p.CreateEx(closes ? WS_EX_GUI_CLOSEONDEACTIVATE : 0, &owner, RECT{300, 200, 400, 260},
                           WS_POPUP | WS_VISIBLE));
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == p.GetSafeHwnd(); }));
    EXPECT_EQ(gui::GetFocus(), p.GetSafeHwnd());  // an active popup takes the keys
    std::vector<Msg> got = p.Of({WM_ACTIVATE, WM_SETFOCUS});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, WM_ACTIVATE);
    EXPECT_EQ(got[0].wParam, WA_ACTIVE);
    EXPECT_EQ(got[0].lParam, LPARAM(other.GetSafeHwnd()));
    EXPECT_EQ(got[1].msg, WM_SETFOCUS);
    got = other.Of({WM_ACTIVATE});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, WA_INACTIVE);
    EXPECT_EQ(got[0].lParam, LPARAM(p.GetSafeHwnd()));

    p.log.clear();
    other.GetWidget()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == other.GetSafeHwnd(); }));
    got = p.Of({WM_ACTIVATE, WM_KILLFOCUS});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].wParam, WA_INACTIVE);
    EXPECT_EQ(got[0].lParam, LPARAM(other.GetSafeHwnd()));
    EXPECT_EQ(got[1].msg, WM_KILLFOCUS);
    EXPECT_EQ(bool(p.IsWindowVisible()), !closes);
    got = owner.Of({WM_GUI_POPUPCLOSED});
    ASSERT_EQ(got.size(), closes ? 1u : 0u);
    if (closes) {
      EXPECT_EQ(got[0].wParam, WPARAM(p.GetSafeHwnd()));
    }
  }
}

TEST_F(Popups, APopupThatNeverActivatesClosesWhenItsOwnersWindowLosesActivation) {
  Recorder other;
  MakeOther(other);
  top.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &top; }));
  Recorder p;
  ASSERT_TRUE(p.CreateEx(WS_EX_NOACTIVATE | WS_EX_GUI_CLOSEONDEACTIVATE, &owner, RECT{300, 200, 400, 260},
                         WS_POPUP | WS_VISIBLE));
  WaitFor([] { return false; }, 30);
  EXPECT_EQ(QApplication::activeWindow(), &top);
  EXPECT_TRUE(p.Of({WM_ACTIVATE}).empty());
  EXPECT_TRUE(p.IsWindowVisible());
  p.SetCapture();

  other.GetWidget()->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return !p.IsWindowVisible(); }));
  EXPECT_EQ(owner.Of({WM_GUI_POPUPCLOSED}).size(), 1u);
  // Closing let go of the mouse.
  ASSERT_EQ(p.Of({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(Popups, ATranslucentPopupShowsTheAlphaOfItsImage) {
  for (bool layered : {false, true}) {
    SCOPED_TRACE(layered);
    Recorder p;
    p.onMessage = [&p](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg != WM_PAINT) return p.DefWindowProc(msg, wParam, lParam);
      gui::ScreenImage* image = p.GetScreenImage();
      GAutoLock lock(image->GetLock());
      for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < image->Width(); ++x) image->Bits()[y * image->Pitch() + x] = 0x80406080u;
      image->MarkDirty(RECT{0, 0, image->Width(), image->Height()});
      return 0;
    };
    ASSERT_TRUE(p.CreateEx(WS_EX_NOACTIVATE | (layered ? WS_EX_LAYERED : 0), &owner, RECT{300, 200, 340, 230},
                           WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(p.GetScreenImage()->KeepsAlpha(), layered);
    p.Invalidate();
    // Straight alpha: the colour comes back as drawn, only its opacity differs.
    const QRgb px = p.GetWidget()->grab().toImage().convertToFormat(QImage::Format_ARGB32).pixel(5, 5);
    EXPECT_NEAR(qAlpha(px), layered ? 0x80 : 0xFF, 1);
    EXPECT_NEAR(qRed(px), 0x40, 2);
    EXPECT_NEAR(qGreen(px), 0x60, 2);
    EXPECT_NEAR(qBlue(px), 0x80, 2);
  }
}

}  // namespace
