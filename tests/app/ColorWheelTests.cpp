// The colour wheel and the colour picker on the offscreen platform: where the wheel shows,
// what a click, a drag or a key on it answers its owner, and how the colour bar's current
// colour opens the picker and the wheel and takes their colour. Pictures of both go to the
// test output folder.
#include <QImage>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "AppHarness.h"
#include "core/ColorBar.h"
#include "frame/Bars.h"
#include "frame/ColorPicker.h"
#include "frame/ColorWheel.h"

namespace {

// A window of the test's own that logs the colour answers it gets.
class Listener : public gui::GWindow {
 public:
  struct Answer {
    UINT msg;
    HSVCOLOR colour;
    LPARAM lParam;
  };
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_MYCOLORPICKED || msg == WM_MYCOLORRESULT) answers.push_back({msg, HSVCOLOR(wParam), lParam});
    return DefWindowProc(msg, wParam, lParam);
  }
  std::vector<Answer> answers;
};

int HueDistance(int a, int b) {
  const int d = std::abs(a - b) % HSV_HUES;
  return std::min(d, HSV_HUES - d);
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A mouse event as Qt would deliver it to the widget at a screen point.
void SendMouse(QWidget* widget, QEvent::Type type, POINT screen, Qt::MouseButton button, Qt::MouseButtons buttons) {
  const QPointF global(screen.x, screen.y);
  QMouseEvent e(type, widget->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &e);
}

void SendKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

class ColorWheelTest : public AppTest {
 protected:
  ColorWheelTest() { show = true; }
  void SetUp() override {
    ASSERT_TRUE(Start());
    wheel = Frame()->GetColorWheel();
    ASSERT_NE(wheel, nullptr);
    ASSERT_TRUE(owner.Create(static_cast<gui::GWindow*>(nullptr), RECT{40, 40, 140, 120}, WS_VISIBLE));
  }
  void TearDown() override { gui::ReleaseCapture(); }

  // The screen point of a client point of the wheel.
  POINT OnWheel(POINT client) {
    wheel->ClientToScreen(&client);
    return client;
  }
  LPARAM At(POINT client) { return MakePointLParam(client.x, client.y); }
  void Click(POINT client) {
    wheel->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(client));
    wheel->SendMessage(WM_LBUTTONUP, 0, At(client));
  }
  // The only answer the owner got.
  HSVCOLOR Picked() {
    EXPECT_EQ(owner.answers.size(), 1u);
    if (owner.answers.empty()) return 0xFFFFFFFF;
    EXPECT_EQ(owner.answers[0].msg, WM_MYCOLORPICKED);
    return owner.answers[0].colour;
  }
  void ExpectClosedQuietly() {
    EXPECT_FALSE(wheel->IsWindowVisible());
    EXPECT_TRUE(owner.answers.empty());
    EXPECT_NE(gui::GetCapture(), wheel->GetSafeHwnd());
  }

  CColorWheel* wheel = nullptr;
  Listener owner;
};

TEST_F(ColorWheelTest, ShowsCentredOnThePointAndHoldsTheMouse) {
  EXPECT_EQ(Frame()->GetColorWheel(), wheel) << "made once";
  EXPECT_FALSE(wheel->IsWindowVisible());
  ASSERT_TRUE(Frame()->PopupColorWheel(400, 300, MakeHsv(700, 200, 180), owner.GetSafeHwnd(), 0));
  EXPECT_TRUE(wheel->IsWindowVisible());
  EXPECT_FALSE(wheel->IsDragMode());
  EXPECT_EQ(wheel->GetColor(), MakeHsv(700, 200, 180));
  RECT rc;
  wheel->GetWindowRect(&rc);
  const int half = CColorWheel::kSize / 2;
  EXPECT_TRUE(SameRect(rc, RECT{400 - half, 300 - half, 400 + half, 300 + half}));
  EXPECT_EQ(gui::GetCapture(), wheel->GetSafeHwnd());
  EXPECT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == wheel->GetSafeHwnd(); })) << "it takes the keys";

  // Near the screen's corner it moves inside the work area rather than leave it.
  const RECT work = gui::GetWorkArea(POINT{2, 2});
  ASSERT_TRUE(wheel->Popup(work.left + 2, work.top + 2, 0, owner.GetSafeHwnd(), 0));
  wheel->GetWindowRect(&rc);
  EXPECT_EQ(rc.left, work.left);
  EXPECT_EQ(rc.top, work.top);
  EXPECT_TRUE(owner.answers.empty()) << "a second popup cancels the first quietly";
}

TEST_F(ColorWheelTest, AClickOnTheRingOrTheSquareAnswersTheColourUnderIt) {
  const HSVCOLOR start = MakeHsv(700, 200, 180);
  const struct {
    const char* what;
    POINT at;
    int hue, sat, val;
    int hueTolerance, levelTolerance;
  } cases[] = {
      {"ring at red", CColorWheel::HuePoint(512), 512, 200, 180, 4, 0},
      {"ring at yellow", CColorWheel::HuePoint(768), 768, 200, 180, 4, 0},
      {"ring at blue's end", CColorWheel::HuePoint(1535), 1535, 200, 180, 4, 0},
      {"ring at 0", CColorWheel::HuePoint(0), 0, 200, 180, 4, 0},
      {"ring at 1100", CColorWheel::HuePoint(1100), 1100, 200, 180, 4, 0},
      {"square's black corner", CColorWheel::AreaPoint(0, 0), 700, 0, 0, 0, 0},
      {"square's full corner", CColorWheel::AreaPoint(256, 256), 700, 256, 256, 0, 0},
      {"square inside", CColorWheel::AreaPoint(128, 64), 700, 128, 64, 0, 2},
      {"square near the top", CColorWheel::AreaPoint(30, 240), 700, 30, 240, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    owner.answers.clear();
    ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), 0));
    Click(c.at);
    const HSVCOLOR got = Picked();
    EXPECT_LE(HueDistance(HsvHue(got), c.hue), c.hueTolerance) << HsvHue(got);
    EXPECT_NEAR(HsvSat(got), c.sat, c.levelTolerance);
    EXPECT_NEAR(HsvVal(got), c.val, c.levelTolerance);
    EXPECT_FALSE(wheel->IsWindowVisible());
    EXPECT_EQ(gui::GetCapture(), nullptr);
  }
  // A hue means nothing on a grey or on black: the ring gives them their full strength.
  for (HSVCOLOR grey : {MakeHsv(0, 0, 128), MakeHsv(300, 0, 0)}) {
    owner.answers.clear();
    ASSERT_TRUE(wheel->Popup(400, 300, grey, owner.GetSafeHwnd(), 0));
    Click(CColorWheel::HuePoint(1024));
    const HSVCOLOR got = Picked();
    EXPECT_EQ(HsvSat(got), 256);
    EXPECT_EQ(HsvVal(got), HsvVal(grey) ? HsvVal(grey) : 256);
  }
}

TEST_F(ColorWheelTest, APressFollowsTheMouseAndChoosesOnRelease) {
  // Real mouse events on the owner's window come to the wheel while it holds the mouse.
  QWidget* from = owner.GetWidget();
  ASSERT_TRUE(wheel->Popup(400, 300, MakeHsv(100, 256, 256), owner.GetSafeHwnd(), 0));
  SendMouse(from, QEvent::MouseButtonPress, OnWheel(CColorWheel::AreaPoint(100, 100)), Qt::LeftButton, Qt::LeftButton);
  // Dragged out of the square the colour stays on its edge.
  SendMouse(from, QEvent::MouseMove, OnWheel(POINT{-30, -30}), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(wheel->GetColor(), MakeHsv(100, 0, 256));
  SendMouse(from, QEvent::MouseMove, OnWheel(CColorWheel::AreaPoint(200, 50)), Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(owner.answers.empty()) << "nothing before the release";
  SendMouse(from, QEvent::MouseButtonRelease, OnWheel(CColorWheel::AreaPoint(200, 50)), Qt::LeftButton, Qt::NoButton);
  const HSVCOLOR got = Picked();
  EXPECT_EQ(HsvHue(got), 100);
  EXPECT_NEAR(HsvSat(got), 200, 2);
  EXPECT_NEAR(HsvVal(got), 50, 2);
}

TEST_F(ColorWheelTest, InDragModeReachingTheRingTakesTheHueAndTheReleaseChooses) {
  const HSVCOLOR start = MakeHsv(600, 150, 220);
  const POINT centre{CColorWheel::kSize / 2, CColorWheel::kSize / 2};
  auto move = [&](POINT p) { wheel->SendMessage(WM_MOUSEMOVE, MK_RBUTTON, At(p)); };
  auto release = [&](POINT p) { wheel->SendMessage(WM_RBUTTONUP, 0, At(p)); };

  ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), COLORWHEEL_DRAG));
  EXPECT_TRUE(wheel->IsDragMode());
  // Crossing the square on the way out leaves saturation and value alone.
  move(centre);
  move(CColorWheel::AreaPoint(250, 10));
  EXPECT_EQ(wheel->GetColor(), start);
  move(CColorWheel::HuePoint(1024));
  EXPECT_LE(HueDistance(HsvHue(wheel->GetColor()), 1024), 4);
  // Once on the ring the hue follows the angle, even past the wheel's edge.
  const POINT beyond{centre.x - 200, centre.y};  // straight left: a quarter turn before red
  move(beyond);
  EXPECT_LE(HueDistance(HsvHue(wheel->GetColor()), 512 - 384), 4);
  release(beyond);
  const HSVCOLOR got = Picked();
  EXPECT_LE(HueDistance(HsvHue(got), 128), 4);
  EXPECT_EQ(HsvSat(got), 150);
  EXPECT_EQ(HsvVal(got), 220);

  // Let go before reaching the ring: over the wheel it stays for a click, outside it cancels.
  owner.answers.clear();
  ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), COLORWHEEL_DRAG));
  move(CColorWheel::AreaPoint(40, 40));
  release(CColorWheel::AreaPoint(40, 40));
  EXPECT_TRUE(wheel->IsWindowVisible());
  EXPECT_FALSE(wheel->IsDragMode());
  EXPECT_TRUE(owner.answers.empty());
  Click(CColorWheel::AreaPoint(40, 40));
  EXPECT_NEAR(HsvSat(Picked()), 40, 2);

  owner.answers.clear();
  ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), COLORWHEEL_DRAG));
  move(POINT{-50, 10});
  release(POINT{-50, 10});
  ExpectClosedQuietly();
}

TEST_F(ColorWheelTest, EscapeAClickOutsideOrLosingActivationCancel) {
  const HSVCOLOR start = MakeHsv(900, 100, 100);
  const struct {
    const char* what;
    std::function<void()> act;
  } ways[] = {
      {"Escape", [&] { SendKey(wheel->GetWidget(), Qt::Key_Escape); }},
      {"a click beside the wheel", [&] { Click(POINT{-10, 50}); }},
      {"a click in the popup's corner, off the disc", [&] { Click(POINT{3, 3}); }},
      {"another window made active",
       [&] {
         Frame()->GetMainWindow()->activateWindow();
         WaitFor([&] { return !wheel->IsWindowVisible(); });
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    // The frame is active again, as a window manager makes it once the wheel has gone (the
    // offscreen platform keeps a hidden window as the focus window, so that showing it again
    // would not activate it).
    Frame()->GetMainWindow()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == Frame()->GetSafeHwnd(); }));
    owner.answers.clear();
    ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), 0));
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == wheel->GetSafeHwnd(); }));
    wheel->SendMessage(WM_MOUSEMOVE, 0, At(CColorWheel::AreaPoint(10, 10)));
    way.act();
    ExpectClosedQuietly();
  }
  // Enter takes the colour as it stands.
  owner.answers.clear();
  ASSERT_TRUE(wheel->Popup(400, 300, start, owner.GetSafeHwnd(), 0));
  SendKey(wheel->GetWidget(), Qt::Key_Return);
  EXPECT_EQ(Picked(), start);
  EXPECT_FALSE(wheel->IsWindowVisible());
}

// The picture: the ring's colour at each hue, the square's at each saturation and value,
// and nothing drawn in the popup's corners.
TEST_F(ColorWheelTest, DrawsTheRingAndTheSquareOfItsColour) {
  const HSVCOLOR colour = MakeHsv(1180, 190, 200);
  ASSERT_TRUE(wheel->Popup(400, 300, colour, owner.GetSafeHwnd(), 0, 0xD04020));
  const QImage shot = wheel->GetWidget()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(shot.width(), CColorWheel::kSize);
  EXPECT_TRUE(shot.save(QString::fromUtf8(TEST_OUTPUT_DIR "/color_wheel.png")));
  auto near = [&](POINT p, COLORREF want) {
    const QRgb px = shot.pixel(int(p.x), int(p.y));
    return std::abs(qRed(px) - int(want >> 16 & 0xFF)) <= 6 && std::abs(qGreen(px) - int(want >> 8 & 0xFF)) <= 6 &&
           std::abs(qBlue(px) - int(want & 0xFF)) <= 6 && qAlpha(px) == 0xFF;
  };
  for (int hue : {0, 256, 512, 768, 1024, 1400}) EXPECT_TRUE(near(CColorWheel::HuePoint(hue), HsvToRgb(hue, 256, 256))) << hue;
  for (auto [s, v] : {std::pair{0, 256}, {256, 256}, {128, 40}, {40, 128}})
    EXPECT_TRUE(near(CColorWheel::AreaPoint(s, v), HsvToRgb(1180, s, v))) << s << "," << v;
  EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(shot.pixel(CColorWheel::kSize - 1, CColorWheel::kSize - 1)), 0);
  wheel->Cancel();
}

// ---- the colour bar: its picker and its wheel ------------------------------------------------

class ColorBarPickTest : public ColorWheelTest {
 protected:
  void SetUp() override {
    ColorWheelTest::SetUp();
    view = Frame()->GetColorBarView();
    colours = Doc()->GetColorBar();
    ASSERT_TRUE(view && colours);
    colours->PushColor(MakeHsv(300, 120, 200));
  }
  POINT ScreenOf(QPoint local) {
    const QPoint g = view->mapToGlobal(local);
    return POINT{g.x(), g.y()};
  }
  void ClickPicker(POINT client) {
    CColorPicker* picker = view->GetPicker();
    picker->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(client.x, client.y));
    picker->SendMessage(WM_LBUTTONUP, 0, MakePointLParam(client.x, client.y));
  }
  static POINT Middle(const RECT& rc) { return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

  CColorBarView* view = nullptr;
  CColorBar* colours = nullptr;
};

TEST_F(ColorBarPickTest, AClickOnTheCurrentColourOpensThePickerThatSetsIt) {
  const QPoint current = view->SlotRect(0).center();
  SendMouse(view, QEvent::MouseButtonPress, ScreenOf(current), Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, ScreenOf(current), Qt::LeftButton, Qt::NoButton);
  CColorPicker* picker = view->GetPicker();
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(picker->IsWindowVisible());
  EXPECT_EQ(picker->GetColor(), MakeHsv(300, 120, 200)) << "it shows the current colour";
  RECT rc;
  picker->GetWindowRect(&rc);
  const POINT swatch = ScreenOf(view->SlotRect(0).topLeft());
  EXPECT_LT(rc.bottom, swatch.y) << "above the colour bar";

  // The strip gives the hue, the square saturation and value; "确定" makes it current.
  ClickPicker(CColorPicker::StripPoint(1000));
  ClickPicker(CColorPicker::AreaPoint(220, 90));
  const HSVCOLOR chosen = picker->GetColor();
  EXPECT_LE(HueDistance(HsvHue(chosen), 1000), 5);
  EXPECT_NEAR(HsvSat(chosen), 220, 2);
  EXPECT_NEAR(HsvVal(chosen), 90, 2);
  EXPECT_EQ(colours->GetColor(0), HsvToRgb(MakeHsv(300, 120, 200))) << "nothing changes before the choice";
  ClickPicker(Middle(CColorPicker::OkRect()));
  EXPECT_FALSE(picker->IsWindowVisible());
  EXPECT_EQ(colours->GetCurrentHsv(), chosen);
  EXPECT_EQ(colours->GetColor(0), HsvToRgb(chosen));
  EXPECT_EQ(colours->GetColor(1), HsvToRgb(chosen));
  EXPECT_EQ(Space()->GetColor(0), HsvToRgb(chosen)) << "the space paints with it";

  // Keys step the colour; "取消", Escape or the old colour's swatch leave the bar alone.
  view->Choose(0);
  ASSERT_TRUE(picker->IsWindowVisible());
  picker->SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
  picker->SendMessage(WM_KEYDOWN, VK_DOWN, 0);
  picker->SendMessage(WM_KEYDOWN, VK_NEXT, 0);
  EXPECT_EQ(picker->GetColor(), MakeHsv(HsvHue(chosen) + 1, HsvSat(chosen) + 1, HsvVal(chosen) - 1));
  ClickPicker(Middle(CColorPicker::OldSwatchRect()));
  EXPECT_EQ(picker->GetColor(), chosen);
  ClickPicker(CColorPicker::AreaPoint(10, 10));
  ClickPicker(Middle(CColorPicker::CancelRect()));
  EXPECT_FALSE(picker->IsWindowVisible());
  EXPECT_EQ(colours->GetCurrentHsv(), chosen);
  view->Choose(0);
  ClickPicker(CColorPicker::AreaPoint(10, 10));
  SendKey(picker->GetWidget(), Qt::Key_Escape);
  EXPECT_FALSE(picker->IsWindowVisible());
  EXPECT_EQ(colours->GetCurrentHsv(), chosen);
  // A click elsewhere makes another window active, which cancels too.
  Frame()->GetMainWindow()->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == Frame()->GetSafeHwnd(); }));
  view->Choose(0);
  ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == picker->GetSafeHwnd(); }));
  ClickPicker(CColorPicker::AreaPoint(10, 10));
  Frame()->GetMainWindow()->activateWindow();
  EXPECT_TRUE(WaitFor([&] { return !picker->IsWindowVisible(); }));
  EXPECT_EQ(colours->GetCurrentHsv(), chosen);
}

TEST_F(ColorBarPickTest, PressingOnTheCurrentColourAndDraggingOpensTheWheel) {
  const QPoint current = view->SlotRect(0).center();
  for (Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
    SCOPED_TRACE(button);
    SendMouse(view, QEvent::MouseButtonPress, ScreenOf(current), button, button);
    if (button == Qt::LeftButton) {
      EXPECT_FALSE(wheel->IsWindowVisible()) << "a left press waits to see whether it drags";
      SendMouse(view, QEvent::MouseMove, ScreenOf(current + QPoint(0, -12)), Qt::NoButton, button);
    }
    ASSERT_TRUE(wheel->IsWindowVisible());
    EXPECT_TRUE(wheel->IsDragMode());
    RECT rc;
    wheel->GetWindowRect(&rc);
    const POINT centre = ScreenOf(current);
    EXPECT_EQ((rc.left + rc.right) / 2, centre.x);
    EXPECT_EQ((rc.top + rc.bottom) / 2, centre.y);
    // The rest of the press reaches the wheel; letting go on the ring pushes the colour.
    const HSVCOLOR before = colours->GetCurrentHsv();
    const POINT ring = OnWheel(CColorWheel::HuePoint(1300));
    SendMouse(view, QEvent::MouseMove, ring, Qt::NoButton, button);
    SendMouse(view, QEvent::MouseButtonRelease, ring, button, Qt::NoButton);
    EXPECT_FALSE(wheel->IsWindowVisible());
    const HSVCOLOR now = colours->GetCurrentHsv();
    EXPECT_LE(HueDistance(HsvHue(now), 1300), 4);
    EXPECT_EQ(HsvSat(now), HsvSat(before));
    EXPECT_EQ(HsvVal(now), HsvVal(before));
    EXPECT_EQ(colours->GetColor(1), HsvToRgb(now));
  }
}

TEST_F(ColorBarPickTest, DrawsThePicker) {
  view->Choose(0);
  CColorPicker* picker = view->GetPicker();
  ASSERT_TRUE(picker && picker->IsWindowVisible());
  ClickPicker(CColorPicker::StripPoint(760));
  ClickPicker(CColorPicker::AreaPoint(180, 210));
  picker->SendMessage(WM_MOUSEMOVE, 0, MakePointLParam(Middle(CColorPicker::OkRect()).x, Middle(CColorPicker::OkRect()).y));
  const QImage shot = picker->GetWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(shot.save(QString::fromUtf8(TEST_OUTPUT_DIR "/color_picker.png")));
  const HSVCOLOR c = picker->GetColor();
  auto near = [&](POINT p, COLORREF want) {
    const QRgb px = shot.pixel(int(p.x), int(p.y));
    return std::abs(qRed(px) - int(want >> 16 & 0xFF)) <= 6 && std::abs(qGreen(px) - int(want >> 8 & 0xFF)) <= 6 &&
           std::abs(qBlue(px) - int(want & 0xFF)) <= 6;
  };
  for (int hue : {0, 512, 1100}) {
    POINT p = CColorPicker::StripPoint(hue);
    p.x -= 6;  // beside the mark
    if (HueDistance(hue, HsvHue(c)) > 40) {
      EXPECT_TRUE(near(p, HsvToRgb(hue, 256, 256))) << hue;
    }
  }
  for (auto [s, v] : {std::pair{0, 256}, {256, 0}, {60, 60}})
    EXPECT_TRUE(near(CColorPicker::AreaPoint(s, v), HsvToRgb(HsvHue(c), s, v))) << s << "," << v;
  picker->Cancel();
}

}  // namespace
