// Windows and their messages: Qt input turned into the classic messages, capture, mouse
// leave, timers, posting from threads, painting, scroll bars, tablet samples, errors.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QTabletEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Recorder.h"
#include "platform/base/Messages.h"
#include "platform/gui/Application.h"
#include "platform/gui/Messages.h"
#include "platform/gui/ViewWidget.h"
#include "platform/gui/Window.h"

namespace {

using guitest::Msg;
using guitest::Recorder;
using guitest::WaitFor;

void Mouse(gui::GWindow& w, QEvent::Type type, QPointF local, Qt::MouseButton button = Qt::NoButton,
           Qt::MouseButtons buttons = Qt::NoButton, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* widget = w.GetWidget();
  QMouseEvent ev(type, local, widget->mapToGlobal(local), button, buttons, mods);
  QCoreApplication::sendEvent(widget, &ev);
}

void Key(gui::GWindow& w, QEvent::Type type, int key, const QString& text, bool autoRepeat) {
  QKeyEvent ev(type, key, Qt::NoModifier, text, autoRepeat);
  QCoreApplication::sendEvent(w.GetWidget(), &ev);
}

class Messages : public ::testing::Test {
 protected:
  void SetUp() override {
    top.resize(200, 150);
    top.show();
    ASSERT_TRUE(a.Create(&top, RECT{10, 10, 110, 90}));
    ASSERT_TRUE(b.Create(&top, RECT{120, 10, 190, 90}));
    QCoreApplication::processEvents();
    gui::RunPostedMessages();
    a.log.clear();
    b.log.clear();
  }
  void TearDown() override {
    a.onMessage = b.onMessage = nullptr;
    gui::ReleaseCapture();
  }
  QWidget top;
  Recorder a, b;
};

TEST_F(Messages, MouseMessagesCarryKeyBitsAndTheClientPoint) {
  Mouse(a, QEvent::MouseButtonPress, QPointF(5.7, 7.2), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  Mouse(a, QEvent::MouseMove, QPointF(9, 8), Qt::NoButton, Qt::LeftButton | Qt::RightButton, Qt::ControlModifier);
  Mouse(a, QEvent::MouseButtonRelease, QPointF(9, 8), Qt::LeftButton, Qt::NoButton);
  Mouse(a, QEvent::MouseButtonDblClick, QPointF(9, 8), Qt::LeftButton, Qt::LeftButton);
  Mouse(a, QEvent::MouseButtonPress, QPointF(1, 2), Qt::MiddleButton, Qt::MiddleButton);
  std::vector<Msg> got = a.log;
  const Msg expected[] = {
      {WM_SETCURSOR, WPARAM(a.GetSafeHwnd()), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)},
      {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(5, 7)},
      {WM_SETCURSOR, WPARAM(a.GetSafeHwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)},
      {WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON | MK_CONTROL, MAKELPARAM(9, 8)},
      {WM_LBUTTONUP, 0, MAKELPARAM(9, 8)},
      {WM_SETCURSOR, WPARAM(a.GetSafeHwnd()), MAKELPARAM(HTCLIENT, WM_LBUTTONDBLCLK)},
      {WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(9, 8)},
      {WM_SETCURSOR, WPARAM(a.GetSafeHwnd()), MAKELPARAM(HTCLIENT, WM_MBUTTONDOWN)},
      {WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(1, 2)},
  };
  ASSERT_EQ(got.size(), std::size(expected));
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].msg, expected[i].msg) << i;
    EXPECT_EQ(got[i].wParam, expected[i].wParam) << i;
    EXPECT_EQ(got[i].lParam, expected[i].lParam) << i;
  }
  // Without double clicks the second press is a press.
  a.SetDoubleClicks(false);
  a.log.clear();
  Mouse(a, QEvent::MouseButtonDblClick, QPointF(9, 8), Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(a.Of({WM_RBUTTONDOWN}).size(), 1u);
}

TEST_F(Messages, CaptureTakesEveryMouseMessageWithSignedCoordinates) {
  EXPECT_EQ(a.SetCapture(), nullptr);
  EXPECT_EQ(gui::GetCapture(), a.GetSafeHwnd());
  Mouse(a, QEvent::MouseMove, QPointF(-5, -7), Qt::NoButton, Qt::LeftButton);
  Mouse(b, QEvent::MouseMove, QPointF(3, 4), Qt::NoButton, Qt::LeftButton);   // over the other window
  Mouse(b, QEvent::MouseButtonRelease, QPointF(3, 4), Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(b.log.empty());
  EXPECT_TRUE(a.Of({WM_SETCURSOR}).empty());  // the holder keeps its cursor
  std::vector<Msg> got = a.Of({WM_MOUSEMOVE, WM_LBUTTONUP});
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(GET_X_LPARAM(got[0].lParam), -5);
  EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), -7);
  EXPECT_EQ(GET_X_LPARAM(got[1].lParam), 120 - 10 + 3);  // b's point in a's client coordinates
  EXPECT_EQ(GET_Y_LPARAM(got[1].lParam), 4);
  EXPECT_EQ(got[2].msg, WM_LBUTTONUP);
  EXPECT_EQ(GET_X_LPARAM(got[2].lParam), 113);
  // Far off points keep their side: packed as clamped 16-bit values.
  Mouse(a, QEvent::MouseMove, QPointF(-40000, 50000));
  EXPECT_EQ(GET_X_LPARAM(a.log.back().lParam), -32768);
  EXPECT_EQ(GET_Y_LPARAM(a.log.back().lParam), 32767);
}

TEST_F(Messages, TheLoserOfTheCaptureIsTold) {
  a.SetCapture();
  EXPECT_EQ(b.SetCapture(), a.GetSafeHwnd());
  std::vector<Msg> lost = a.Of({WM_CAPTURECHANGED});
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].lParam, LPARAM(b.GetSafeHwnd()));
  EXPECT_TRUE(b.Of({WM_CAPTURECHANGED}).empty());

  EXPECT_TRUE(gui::ReleaseCapture());
  ASSERT_EQ(b.Of({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(b.Of({WM_CAPTURECHANGED})[0].lParam, 0);
  EXPECT_EQ(gui::GetCapture(), nullptr);

  // The application going inactive takes the capture away.
  a.SetCapture();
  QEvent deactivate(QEvent::ApplicationDeactivate);
  QCoreApplication::sendEvent(qApp, &deactivate);
  EXPECT_EQ(gui::GetCapture(), nullptr);
  EXPECT_EQ(a.Of({WM_CAPTURECHANGED}).size(), 2u);
  EXPECT_EQ(a.Of({WM_CAPTURECHANGED}).back().lParam, 0);

  // A window that goes away drops its capture without a message to anyone.
  {
    Recorder c;
    ASSERT_TRUE(c.Create(&top, RECT{0, 100, 50, 140}));
    c.SetCapture();
  }
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(Messages, KeyRepeatBitAndDroppedAutoRepeatReleases) {
  Key(a, QEvent::KeyPress, Qt::Key_Space, " ", false);
  EXPECT_LT(gui::GetKeyState(VK_SPACE), 0);
  Key(a, QEvent::KeyRelease, Qt::Key_Space, " ", true);  // X11's repeat: release then press
  Key(a, QEvent::KeyPress, Qt::Key_Space, " ", true);
  Key(a, QEvent::KeyRelease, Qt::Key_Space, " ", false);
  EXPECT_EQ(gui::GetKeyState(VK_SPACE), 0);
  Key(a, QEvent::KeyPress, Qt::Key_Escape, "\x1b", false);
  Key(a, QEvent::KeyPress, Qt::Key_Left, "", false);
  std::vector<Msg> got = a.Of({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
  const LPARAM repeat = KF_REPEAT_BIT, up = KF_UP_BIT;
  const struct {
    UINT msg;
    WPARAM key;
    LPARAM bits;
  } expected[] = {
      {WM_KEYDOWN, VK_SPACE, 0},         {WM_CHAR, ' ', 0},         {WM_KEYDOWN, VK_SPACE, repeat},
      {WM_CHAR, ' ', repeat},            {WM_KEYUP, VK_SPACE, repeat | up},
      {WM_KEYDOWN, VK_ESCAPE, 0},        {WM_CHAR, 0x1b, 0},        {WM_KEYDOWN, VK_LEFT, 0},
  };
  ASSERT_EQ(got.size(), std::size(expected));
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].msg, expected[i].msg) << i;
    EXPECT_EQ(got[i].wParam, expected[i].key) << i;
    EXPECT_EQ(got[i].lParam & (repeat | up), expected[i].bits) << i;
    EXPECT_EQ(got[i].lParam & 0xFFFF, 1) << i;  // repeat count
  }
  // Losing the focus forgets held keys: the next press is a fresh one.
  QFocusEvent out(QEvent::FocusOut);
  QCoreApplication::sendEvent(a.GetWidget(), &out);
  EXPECT_EQ(a.Of({WM_KILLFOCUS}).size(), 1u);
  a.log.clear();
  Key(a, QEvent::KeyPress, Qt::Key_Left, "", false);
  ASSERT_EQ(a.Of({WM_KEYDOWN}).size(), 1u);
  EXPECT_EQ(a.Of({WM_KEYDOWN})[0].lParam & repeat, 0);
}

TEST_F(Messages, WheelStepsAddUpToWholeNotches) {
  const struct {
    std::vector<int> deltas;
    std::vector<int> sent;
  } cases[] = {
      {{120}, {120}},           {{40, 40, 40}, {120}},  {{240}, {240}},       {{80, -40}, {}},
      {{-200, -40}, {-120, -120}}, {{60, 60, -120}, {120, -120}}, {{15, 15}, {}},
  };
  for (const auto& c : cases) {
    Recorder w;
    ASSERT_TRUE(w.Create(&top, RECT{0, 100, 60, 140}));
    QPointF local(4, 5);
    for (int d : c.deltas) {
      QWheelEvent ev(local, w.GetWidget()->mapToGlobal(local), QPoint(), QPoint(0, d), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(w.GetWidget(), &ev);
    }
    std::vector<Msg> got = w.Of({WM_MOUSEWHEEL});
    ASSERT_EQ(got.size(), c.sent.size());
    QPoint screen = w.GetWidget()->mapToGlobal(QPoint(4, 5));
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[i].wParam), c.sent[i]);
      EXPECT_EQ(GET_KEYSTATE_WPARAM(got[i].wParam), MK_CONTROL);
      EXPECT_EQ(GET_X_LPARAM(got[i].lParam), screen.x());  // screen coordinates
      EXPECT_EQ(GET_Y_LPARAM(got[i].lParam), screen.y());
    }
  }
}

TEST_F(Messages, MouseLeaveIsPostedOnceWhenTracked) {
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), a.GetWidget()->mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(a.GetWidget(), &enter);
  EXPECT_TRUE(a.TrackMouseEvent(TME_LEAVE));
  gui::RunPostedMessages();
  EXPECT_TRUE(a.Of({WM_MOUSELEAVE}).empty());
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(a.GetWidget(), &leave);
  QCoreApplication::sendEvent(a.GetWidget(), &leave);  // tracking ended with the first
  gui::RunPostedMessages();
  EXPECT_EQ(a.Of({WM_MOUSELEAVE}).size(), 1u);
  // Tracking while the mouse is elsewhere reports the leave at once.
  b.TrackMouseEvent(TME_LEAVE);
  gui::RunPostedMessages();
  EXPECT_EQ(b.Of({WM_MOUSELEAVE}).size(), 1u);
}

TEST_F(Messages, TimersSendWmTimerUntilKilled) {
  EXPECT_EQ(a.SetTimer(7, 5), 7u);
  ASSERT_TRUE(WaitFor([&] { return a.Of({WM_TIMER}).size() >= 2; }));
  EXPECT_EQ(a.Of({WM_TIMER})[0].wParam, 7u);
  EXPECT_TRUE(a.KillTimer(7));
  EXPECT_FALSE(a.KillTimer(7));
  a.log.clear();
  WaitFor([] { return false; }, 40);
  EXPECT_TRUE(a.Of({WM_TIMER}).empty());
}

TEST_F(Messages, PostsFromThreadsArriveOnTheUiThreadInOrder) {
  const std::thread::id ui = std::this_thread::get_id();
  std::vector<std::pair<WPARAM, LPARAM>> got;
  bool offThread = false;
  a.onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_APP + 5) {
      got.emplace_back(wParam, lParam);
      offThread |= std::this_thread::get_id() != ui;
    }
    return 0;
  };
  const HWND target = a.GetSafeHwnd();
  constexpr int kThreads = 4, kEach = 300;
  std::vector<std::thread> threads;
  std::atomic<int> failed{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([=, &failed] {
      for (int i = 0; i < kEach; ++i) failed += !plat::PostMessage(target, WM_APP + 5, WPARAM(t), LPARAM(i));
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failed, 0);
  ASSERT_TRUE(WaitFor([&] { return got.size() == size_t(kThreads * kEach); }));
  EXPECT_FALSE(offThread);
  std::vector<LPARAM> next(kThreads, 0);
  for (const auto& [t, i] : got) {
    ASSERT_LT(t, WPARAM(kThreads));
    EXPECT_EQ(i, next[t]++) << "thread " << t;
  }
  // A window that is gone takes no posts.
  HWND gone;
  {
    Recorder c;
    ASSERT_TRUE(c.Create(&top, RECT{0, 100, 50, 140}));
    gone = c.GetSafeHwnd();
    EXPECT_TRUE(gui::IsWindow(gone));
  }
  EXPECT_FALSE(gui::IsWindow(gone));
  EXPECT_FALSE(plat::PostMessage(gone, WM_APP + 5, 0, 0));
}

TEST_F(Messages, ErrorsEscapingHandlersAreReportedOnceAndDispatchGoesOn) {
  std::vector<std::u16string> reported;
  gui::SetErrorHandler([&](GError* e) { reported.emplace_back(e->GetCondition()); });
  a.onMessage = [&](UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_LBUTTONDOWN) GTHROW(u"!boom");
    if (msg == WM_RBUTTONDOWN) throw std::runtime_error("bad thing");
    if (msg == WM_APP + 1) GTHROW(u"!posted");
    return 0;
  };
  Mouse(a, QEvent::MouseButtonPress, QPointF(3, 3), Qt::LeftButton, Qt::LeftButton);
  Mouse(a, QEvent::MouseButtonPress, QPointF(3, 3), Qt::RightButton, Qt::RightButton);
  a.PostMessage(WM_APP + 1);
  a.PostMessage(WM_APP + 2);
  gui::RunPostedMessages();
  EXPECT_EQ(a.Of({WM_APP + 2}).size(), 1u);  // the queue went on after the failing message
  // An error out of any Qt object's event handler stops in the application object.
  struct Thrower : QObject {
    bool event(QEvent*) override { GTHROW(u"!qt"); }
  } thrower;
  QEvent ev(QEvent::User);
  QCoreApplication::sendEvent(&thrower, &ev);
  gui::SetErrorHandler(nullptr);
  const std::u16string expected[] = {u"!boom", u"bad thing", u"!posted", u"!qt"};
  ASSERT_EQ(reported.size(), std::size(expected));
  for (size_t i = 0; i < reported.size(); ++i) EXPECT_EQ(reported[i], expected[i]);
}

TEST_F(Messages, InvalidateAsksForWmPaintWhileDrawingOnlyShowsTheImage) {
  int paints = 0;
  a.onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg != WM_PAINT) return a.DefWindowProc(msg, wParam, lParam);
    ++paints;
    gui::DeviceContext dc(a.GetScreenImage());
    dc.FillSolidRect(RECT{0, 0, 100, 80}, RGB(0, 0, 255));
    return 0;
  };
  a.Invalidate();
  QImage shot = a.GetWidget()->grab().toImage();
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(shot.pixel(5, 5) & 0xFFFFFFu, 0x0000FFu);

  gui::DeviceContext dc(a.GetScreenImage());
  dc.SetROP2(gui::R2_XORPEN);
  dc.SetPen(gui::PS_SOLID, RGB(255, 0, 0));
  dc.MoveTo(0, 3);
  dc.LineTo(20, 3);
  gui::RunPostedMessages();
  shot = a.GetWidget()->grab().toImage();
  EXPECT_EQ(paints, 1);  // shown as drawn, not drawn again
  EXPECT_EQ(shot.pixel(5, 3) & 0xFFFFFFu, 0xFF00FFu);
  EXPECT_EQ(shot.pixel(20, 3) & 0xFFFFFFu, 0x0000FFu);

  // Resizing keeps the image at the client size and tells the window.
  a.log.clear();
  a.MoveWindow(RECT{10, 10, 70, 50});
  QCoreApplication::processEvents();
  ASSERT_FALSE(a.Of({WM_SIZE}).empty());
  EXPECT_EQ(a.Of({WM_SIZE}).back().lParam, MAKELPARAM(60, 40));
  EXPECT_EQ(a.GetScreenImage()->Width(), 60);
  EXPECT_EQ(a.GetScreenImage()->Height(), 40);
}

TEST_F(Messages, ScrollBarsReportRequestsAndShowWhatIsSet) {
  Recorder v;
  ASSERT_TRUE(v.Create(&top, RECT{0, 0, 150, 120}, WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL));
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, 0x4000, 0x1000, 100, 0};
  EXPECT_EQ(v.SetScrollInfo(SB_HORZ, &si), 100);
  si.nPage = 0x8000;  // covers the range: disabled, still shown
  v.SetScrollInfo(SB_VERT, &si);
  SCROLLINFO got{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(v.GetScrollInfo(SB_HORZ, &got));
  EXPECT_EQ(got.nMax, 0x4000);
  EXPECT_EQ(got.nPage, 0x1000u);
  EXPECT_EQ(got.nPos, 100);
  EXPECT_EQ(v.SetScrollPos(SB_HORZ, 0x7000), 100);
  EXPECT_EQ(v.GetScrollPos(SB_HORZ), 0x4000 - 0x1000 + 1);  // clamped to the last page
  RECT client;
  v.GetClientRect(&client);
  EXPECT_LT(client.right, 150);
  EXPECT_LT(client.bottom, 120);
  QScrollBar* horz = nullptr;
  for (QScrollBar* sb : v.GetWidget()->findChildren<QScrollBar*>())
    if (sb->orientation() == Qt::Horizontal) horz = sb;
  ASSERT_NE(horz, nullptr);
  v.SetScrollPos(SB_HORZ, 100);
  v.log.clear();
  horz->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  horz->triggerAction(QAbstractSlider::SliderPageStepSub);
  std::vector<Msg> got2 = v.Of({WM_HSCROLL});
  ASSERT_EQ(got2.size(), 2u);
  EXPECT_EQ(LOWORD(got2[0].wParam), SB_LINERIGHT);
  EXPECT_EQ(LOWORD(got2[1].wParam), SB_PAGELEFT);
  EXPECT_EQ(horz->value(), 100);  // the program moves it, not the bar
}

TEST_F(Messages, TabletSamplesFillTheContextBeforeTheirMouseMessage) {
  static const QPointingDevice stylus(QStringLiteral("stylus"), 4242, QInputDevice::DeviceType::Stylus,
                                      QPointingDevice::PointerType::Pen,
                                      QInputDevice::Capability::Position | QInputDevice::Capability::Pressure |
                                          QInputDevice::Capability::XTilt | QInputDevice::Capability::YTilt,
                                      1, 2);
  struct View : gui::ViewWidget {
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
      if (msg == WM_LBUTTONDOWN || msg == WM_MOUSEMOVE) {
        seen.push_back(Msg{msg, wParam, lParam});
        samples.push_back(GetTabletContext()->m_sample);
      }
      return DefWindowProc(msg, wParam, lParam);
    }
    std::vector<Msg> seen;
    std::vector<PenSample> samples;
  } view;
  GLock drawing;
  ASSERT_TRUE(view.Create(&top, RECT{0, 0, 120, 100}, &drawing));
  ASSERT_EQ(g_pTabletContext, view.GetTabletContext());
  EXPECT_EQ(view.GetScreenImage()->GetLock(), &drawing);
  g_pTabletContext->m_fPressureFactor = 0.5f;
  g_pTabletContext->m_nMovesSincePacket = 3;
  auto pen = [&](QEvent::Type type, QPointF p, double pressure, float xTilt, float yTilt, Qt::MouseButton button,
                 Qt::MouseButtons buttons) {
    QTabletEvent ev(type, &stylus, p, view.GetWidget()->mapToGlobal(p), pressure, xTilt, yTilt, 0, 0, 0,
                    Qt::NoModifier, button, buttons);
    QCoreApplication::sendEvent(view.GetWidget(), &ev);
  };
  pen(QEvent::TabletPress, QPointF(10, 20), 0.8, 0, 0, Qt::LeftButton, Qt::LeftButton);
  pen(QEvent::TabletMove, QPointF(12, 21), 0.6, 45, 0, Qt::NoButton, Qt::LeftButton);
  pen(QEvent::TabletMove, QPointF(13, 21), 1.0, 0, -45, Qt::NoButton, Qt::LeftButton);
  ASSERT_EQ(view.seen.size(), 3u);
  EXPECT_EQ(view.seen[0].msg, UINT(WM_LBUTTONDOWN));
  EXPECT_EQ(view.seen[0].lParam, MAKELPARAM(10, 20));
  EXPECT_EQ(view.seen[1].wParam, MK_LBUTTON);
  EXPECT_FLOAT_EQ(view.samples[0].fPressure, 0.4f);
  EXPECT_NEAR(view.samples[0].fAltitude, M_PI / 2, 1e-6);
  EXPECT_FLOAT_EQ(view.samples[1].fPressure, 0.3f);
  EXPECT_NEAR(view.samples[1].fAzimuth, M_PI / 2, 1e-5);   // leaning right
  EXPECT_NEAR(view.samples[1].fAltitude, M_PI / 4, 1e-5);
  EXPECT_NEAR(view.samples[2].fAzimuth, 0, 1e-5);          // leaning to the top of the screen
  EXPECT_FLOAT_EQ(view.samples[2].fPressure, 0.5f);
  EXPECT_EQ(g_pTabletContext->m_nMovesSincePacket, 0);
  EXPECT_TRUE(g_pTabletContext->m_bAvailable);
  view.Destroy();
  EXPECT_EQ(g_pTabletContext, nullptr);
}

}  // namespace

namespace {

TEST(MessageBoxes, AnswersComeBackAsTheSystemNumbersThem) {
  std::vector<std::u16string> asked;
  int answer = gui::IDOK;
  gui::SetMessageBoxAnswer([&](const char16_t* text, const char16_t* caption, UINT type) {
    asked.push_back(std::u16string(caption) + u"|" + text + u"|" + char16_t(u'0' + type));
    return answer;
  });
  EXPECT_TRUE(gui::ShowMessage(u"故障", u"抱歉！"));
  answer = gui::IDCANCEL;
  EXPECT_FALSE(gui::ShowMessage(u"合并", u"继续？"));
  EXPECT_EQ(gui::MessageBox(nullptr, u"t", u"c", gui::MB_YESNO), gui::IDCANCEL);
  gui::SetMessageBoxAnswer(nullptr);
  const std::u16string expected[] = {u"故障|抱歉！|1", u"合并|继续？|1", u"c|t|4"};
  ASSERT_EQ(asked.size(), std::size(expected));
  for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], expected[i]);
}

}  // namespace
