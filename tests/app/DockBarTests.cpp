// The dock bar that splits a side between its stacked bars, the drag context that floats and
// docks a bar, and the splash window: first over a site of the test's own (bars that log what
// they are told), then in the running program over the frame's docks.
#include <QCoreApplication>
#include <QDockWidget>
#include <QGuiApplication>
#include <QMainWindow>
#include <algorithm>
#include <string>

#include "AppHarness.h"
#include "core/TavrikView.h"
#include "frame/DockBar.h"
#include "frame/DockContext.h"
#include "frame/DockMessages.h"
#include "frame/Resource.h"
#include "frame/ResourceArt.h"
#include "frame/ResourceIds.h"
#include "frame/Splash.h"
#include "gui/Recorder.h"
#include "platform/gui/Resources.h"

namespace {

using guitest::Msg;
using guitest::Recorder;

constexpr int kGap = 4;         // between two docked bars, as the frame's splitter handles leave
constexpr int kOriginY = 50;    // of the dock bar's window on the screen
constexpr int kStackTop = 100;  // of the first docked bar on the screen

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Side bars of the test's own: docked ones are stacked from kStackTop down with kGap between
// them, the way the frame lays its docks out; the moves the frame would make are logged.
class FakeSite : public IDockSite {
 public:
  struct Bar {
    Recorder* window;
    int side;  // DOCK_NONE: floating
    int height;
    RECT floating;
  };

  void Add(Recorder* window, int side, int height) {
    bars.push_back(Bar{window, side, height, RECT{400, 300, 600, 700}});
  }
  Bar* Find(HWND hwnd) {
    for (Bar& b : bars)
      if (b.window->GetSafeHwnd() == hwnd) return &b;
    return nullptr;
  }
  // Right bars from x 1000 to 1000 + width, left ones from 0.
  RECT Rect(const Bar& bar) const {
    if (bar.side == DOCK_NONE) return bar.floating;
    int top = kStackTop;
    for (const Bar& b : bars) {
      if (b.side != bar.side) continue;
      if (&b == &bar) break;
      top += b.height + kGap;
    }
    const int left = bar.side == DOCK_RIGHT ? 1000 : 0;
    return RECT{left, top, left + width, top + bar.height};
  }

  BOOL HasBar(HWND hwnd) override { return Find(hwnd) != nullptr; }
  std::vector<DockedBar> GetDockedBars(int side) override {
    std::vector<DockedBar> out;
    for (const Bar& b : bars)
      if (b.side == side) out.push_back(DockedBar{b.window->GetSafeHwnd(), Rect(b)});
    return out;
  }
  void SetBarHeights(int side, const std::vector<HWND>& windows, const std::vector<int>& heights) override {
    ++resizes;
    EXPECT_EQ(windows.size(), heights.size());
    for (size_t i = 0; i < windows.size(); ++i) {
      Bar* b = Find(windows[i]);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->side, side);
      b->height = heights[i];
    }
    if (onResize) onResize();
  }
  BOOL GetBarRect(HWND hwnd, RECT* rc) override {
    const Bar* b = Find(hwnd);
    if (!b) return FALSE;
    *rc = Rect(*b);
    return TRUE;
  }
  // The zones: x 1000 and beyond docks right, x below 100 left.
  int DockSideAt(HWND, POINT pt, RECT* rc) override {
    if (pt.x >= 1000) {
      *rc = RECT{1000, kStackTop, 1000 + width, 900};
      return DOCK_RIGHT;
    }
    if (pt.x < 100) {
      *rc = RECT{0, kStackTop, width, 900};
      return DOCK_LEFT;
    }
    return DOCK_NONE;
  }
  void FloatBar(HWND hwnd, const RECT& rc) override {
    moves.push_back("float");
    Find(hwnd)->side = DOCK_NONE;
    Find(hwnd)->floating = rc;
  }
  void DockBar(HWND hwnd, int side) override {
    moves.push_back(side == DOCK_RIGHT ? "dock right" : "dock left");
    Find(hwnd)->side = side;
  }

  std::vector<Bar> bars;
  int width = 200;
  int resizes = 0;
  std::vector<std::string> moves;
  std::function<void()> onResize;
};

// Three bars docked right (300, 200 and 100 high) and one docked left.
class DockBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Recorder* r : {&a, &b, &c, &left, &floater})
      ASSERT_TRUE(r->Create(static_cast<gui::GWindow*>(nullptr), RECT{0, 0, 10, 10}, 0));
    site.Add(&a, DOCK_RIGHT, 300);
    site.Add(&b, DOCK_RIGHT, 200);
    site.Add(&c, DOCK_RIGHT, 100);
    site.Add(&left, DOCK_LEFT, 400);
    site.Add(&floater, DOCK_NONE, 0);
    ASSERT_TRUE(dock.Create(static_cast<gui::GWindow*>(nullptr), RECT{0, kOriginY, 10, kOriginY + 10}, 0));
    POINT origin{0, 0};
    dock.ClientToScreen(&origin);
    ASSERT_EQ(origin.y, kOriginY);
  }
  std::vector<int> Heights() {
    std::vector<int> h;
    for (const FakeSite::Bar& bar : site.bars)
      if (bar.side == DOCK_RIGHT) h.push_back(bar.height);
    return h;
  }
  void SetHeights(const std::vector<int>& heights) {
    auto it = heights.begin();
    for (FakeSite::Bar& bar : site.bars)
      if (bar.side == DOCK_RIGHT && it != heights.end()) bar.height = *it++;
  }
  void ClearLogs() {
    for (Recorder* r : {&a, &b, &c, &left, &floater}) r->log.clear();
  }
  // What the dock bar told a bar: its WM_MYVB_SETSIZE .. WM_MYVB_RESTOREEXTENT in order.
  static std::vector<std::string> Told(const Recorder& bar) {
    std::vector<std::string> out;
    for (const Msg& m : bar.Of({WM_MYVB_SETSIZE, WM_MYVB_SETEXTENT, WM_MYVB_RESTOREEXTENT})) {
      if (m.msg == WM_MYVB_SETSIZE) out.push_back("size " + std::to_string(m.lParam));
      else if (m.msg == WM_MYVB_SETEXTENT)
        out.push_back("extent " + std::to_string(m.wParam) + " " + std::to_string(m.lParam));
      else out.push_back("restore");
    }
    return out;
  }
  LRESULT Send(UINT msg, const Recorder& bar, LPARAM lParam) {
    return dock.SendMessage(msg, WPARAM(bar.GetSafeHwnd()), lParam);
  }

  Recorder a, b, c, left, floater;
  FakeSite site;
  CMyDockBar dock{&site, DOCK_RIGHT};
};

using Strings = std::vector<std::string>;

TEST_F(DockBarTest, QuerySplitAnswersTheEdgesRangeWhereEveryBarKeepsItsTitleRow) {
  // Dock-bar coordinates: a spans 50..350, b 354..554, c 558..658.
  const struct {
    Recorder* bar;
    LPARAM edge;
    std::vector<int> heights;
    int low, high;  // 0, 0: no split
  } cases[] = {
      {&a, VB_EDGE_BOTTOM, {300, 200, 100}, 50 + 22, 350 + 178 + 78},
      {&b, VB_EDGE_TOP, {300, 200, 100}, 354 - 278, 354 + 178 + 78},
      {&c, VB_EDGE_TOP, {300, 200, 100}, 558 - 278 - 178, 558 + 78},
      {&b, VB_EDGE_BOTTOM, {300, 200, 100}, 554 - 278 - 178, 554 + 78},
      {&a, VB_EDGE_TOP, {300, 200, 100}, 0, 0},     // nothing above the first bar
      {&c, VB_EDGE_BOTTOM, {300, 200, 100}, 0, 0},  // nor below the last
      {&a, VB_EDGE_BOTTOM, {22, 22, 22}, 0, 0},     // every bar collapsed: nothing can give
      {&b, VB_EDGE_TOP, {22, 22, 60}, 50 + 22 + kGap, 50 + 22 + kGap + 38},
      {&left, VB_EDGE_BOTTOM, {300, 200, 100}, 0, 0},     // docked on the other side
      {&floater, VB_EDGE_TOP, {300, 200, 100}, 0, 0},  // floating
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.bar->GetSafeHwnd() << " edge " << t.edge << " " << *t.heights.begin());
    SetHeights(t.heights);
    const LRESULT range = Send(WM_MYVB_QUERYSPLIT, *t.bar, t.edge);
    EXPECT_EQ(LOWORD(uintptr_t(range)), t.low);
    EXPECT_EQ(HIWORD(uintptr_t(range)), t.high);
    EXPECT_EQ(range == 0, t.low == 0 && t.high == 0);
  }
  EXPECT_EQ(site.resizes, 0) << "asking moves nothing";
  EXPECT_EQ(dock.SendMessage(WM_MYVB_QUERYSPLIT, 0, VB_EDGE_TOP), 0);
}

TEST_F(DockBarTest, SplitResizesTheBarsBesideTheEdgeAndThenTheOnesFurtherOn) {
  const struct {
    Recorder* bar;
    LPARAM edge;
    int y;
    std::vector<int> heights;
    Strings toldA, toldB, toldC;
  } cases[] = {
      // b's top edge up by 100: a gives, b takes.
      {&b, VB_EDGE_TOP, 254, {200, 300, 100}, {"extent 0 200"}, {"extent 0 300"}, {}},
      // a's bottom edge down 250: b collapses, then c gives the rest.
      {&a, VB_EDGE_BOTTOM, 600, {550, 22, 28}, {"extent 0 550"}, {"extent 0 22"}, {"extent 0 28"}},
      // Beyond the range: as far as it goes.
      {&a, VB_EDGE_BOTTOM, 2000, {556, 22, 22}, {"extent 0 556"}, {"extent 0 22"}, {"extent 0 22"}},
      // c's top edge up to the top: a and b collapse, c takes it all.
      {&c, VB_EDGE_TOP, 0, {22, 22, 556}, {"extent 0 22"}, {"extent 0 22"}, {"extent 0 556"}},
      // b's bottom edge down 30: c gives, a stays.
      {&b, VB_EDGE_BOTTOM, 584, {300, 230, 70}, {}, {"extent 0 230"}, {"extent 0 70"}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.y);
    SetHeights({300, 200, 100});
    ClearLogs();
    EXPECT_EQ(Send(WM_MYVB_SPLIT, *t.bar, LPARAM(MAKELPARAM(WORD(t.edge), WORD(int16_t(t.y))))), 1);
    EXPECT_EQ(Heights(), t.heights);
    EXPECT_EQ(Told(a), t.toldA);
    EXPECT_EQ(Told(b), t.toldB);
    EXPECT_EQ(Told(c), t.toldC);
  }
  // To where the edge is, from the first or last bar's outer edge, from another side: nothing.
  SetHeights({300, 200, 100});
  ClearLogs();
  const int before = site.resizes;
  EXPECT_EQ(Send(WM_MYVB_SPLIT, b, LPARAM(MAKELPARAM(WORD(VB_EDGE_TOP), 354))), 0);
  EXPECT_EQ(Send(WM_MYVB_SPLIT, a, LPARAM(MAKELPARAM(WORD(VB_EDGE_TOP), 80))), 0);
  EXPECT_EQ(Send(WM_MYVB_SPLIT, c, LPARAM(MAKELPARAM(WORD(VB_EDGE_BOTTOM), 500))), 0);
  EXPECT_EQ(Send(WM_MYVB_SPLIT, left, LPARAM(MAKELPARAM(WORD(VB_EDGE_BOTTOM), 200))), 0);
  EXPECT_EQ(site.resizes, before);
  EXPECT_EQ(Heights(), (std::vector<int>{300, 200, 100}));
  EXPECT_TRUE(Told(a).empty() && Told(b).empty() && Told(c).empty());
}

TEST_F(DockBarTest, ExpandCollapsesTheOtherBarsAndExpandNextOpensOnlyACollapsedNextBar) {
  SetHeights({300, 200, 22});
  EXPECT_EQ(Send(WM_MYVB_EXPAND, c, 0), 1);
  EXPECT_EQ(Heights(), (std::vector<int>{22, 22, 478}));
  EXPECT_EQ(Told(a), Strings{"extent 0 22"});
  EXPECT_EQ(Told(b), Strings{"extent 0 22"});
  EXPECT_EQ(Told(c), Strings{"extent 0 478"});
  EXPECT_EQ(Send(WM_MYVB_EXPAND, left, 0), 0) << "not a bar of this side";
  EXPECT_EQ(Send(WM_MYVB_EXPAND, floater, 0), 0);

  const struct {
    Recorder* from;
    std::vector<int> heights;
    LRESULT done;
    std::vector<int> after;
  } cases[] = {
      {&a, {534, 22, 22}, 1, {22, 534, 22}},    // b is collapsed: it opens, a collapses
      {&a, {531, 25, 22}, 1, {22, 534, 22}},    // 25 high still counts as collapsed
      {&a, {530, 26, 22}, 0, {530, 26, 22}},    // 26 does not
      {&b, {22, 534, 22}, 1, {22, 22, 534}},
      {&c, {22, 22, 534}, 1, {534, 22, 22}},    // the last bar's next one is the first
      {&c, {300, 200, 100}, 0, {300, 200, 100}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << *t.heights.begin() << " " << t.done);
    SetHeights(t.heights);
    EXPECT_EQ(Send(WM_MYVB_EXPANDNEXT, *t.from, 0), t.done);
    EXPECT_EQ(Heights(), t.after);
  }
  // A side with one bar has no next one.
  CMyDockBar leftDock(&site, DOCK_LEFT);
  ASSERT_TRUE(leftDock.Create(static_cast<gui::GWindow*>(nullptr), RECT{0, 0, 1, 1}, 0));
  EXPECT_EQ(leftDock.SendMessage(WM_MYVB_EXPANDNEXT, WPARAM(left.GetSafeHwnd()), 0), 0);
  EXPECT_EQ(leftDock.SendMessage(WM_MYVB_EXPAND, WPARAM(left.GetSafeHwnd()), 0), 1);
  EXPECT_EQ(site.bars[3].height, 400);
}

TEST_F(DockBarTest, TheBarsHearOfTheLayoutOnlyWhenTheirSizesChanged) {
  dock.OnLayoutChanged();
  EXPECT_EQ(Told(a), (Strings{"size 200", "extent 1 300", "restore"})) << "a bar joining the side";
  EXPECT_EQ(Told(c), (Strings{"size 200", "extent 1 100", "restore"}));
  EXPECT_TRUE(Told(left).empty() && Told(floater).empty()) << "bars of other sides";

  ClearLogs();
  dock.OnLayoutChanged();
  EXPECT_TRUE(Told(a).empty() && Told(b).empty() && Told(c).empty());

  // The window grew: wider bars, and a taller first one; the bars keep their chosen heights.
  site.width = 240;
  site.bars[0].height = 340;
  dock.OnLayoutChanged();
  EXPECT_EQ(Told(a), (Strings{"size 240", "extent 1 340"}));
  EXPECT_EQ(Told(b), Strings{"size 240"});

  // A split is told once, as the user's choice, however the frame lays it out meanwhile.
  ClearLogs();
  site.onResize = [&] { dock.OnLayoutChanged(); };
  EXPECT_EQ(Send(WM_MYVB_SPLIT, b, LPARAM(MAKELPARAM(WORD(VB_EDGE_TOP), 394 - 40))), 1);
  EXPECT_EQ(Told(a), Strings{"extent 0 300"});
  EXPECT_EQ(Told(b), Strings{"extent 0 240"});
  site.onResize = nullptr;

  // A bar that floated and came back joins afresh.
  site.bars[1].side = DOCK_NONE;
  dock.OnLayoutChanged();
  site.bars[1].side = DOCK_RIGHT;
  ClearLogs();
  dock.OnLayoutChanged();
  EXPECT_EQ(Told(b), (Strings{"size 240", "extent 1 240", "restore"}));
  EXPECT_TRUE(Told(a).empty());
}

TEST_F(DockBarTest, ABarFindsItsDockBarAndItsSite) {
  EXPECT_EQ(CMyDockBar::FromBar(b.GetSafeHwnd()), &dock);
  EXPECT_EQ(CMyDockBar::FromBar(left.GetSafeHwnd()), nullptr) << "no dock bar on the left here";
  EXPECT_EQ(CMyDockBar::FromBar(floater.GetSafeHwnd()), nullptr);
  EXPECT_EQ(IDockSite::ForBar(floater.GetSafeHwnd()), &site);
  Recorder stranger;
  ASSERT_TRUE(stranger.Create(static_cast<gui::GWindow*>(nullptr), RECT{0, 0, 1, 1}, 0));
  EXPECT_EQ(IDockSite::ForBar(stranger.GetSafeHwnd()), nullptr);
  EXPECT_EQ(CMyDockBar::FromBar(stranger.GetSafeHwnd()), nullptr);
}

// ---- the drag context -------------------------------------------------------------------------

class DockContextTest : public DockBarTest {
 protected:
  void SetUp() override {
    DockBarTest::SetUp();
    // Bar a floats at 256 x 512.
    a.onMessage = [](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
      if (msg == WM_MYDOCKQUERY) {
        RECT* rc = reinterpret_cast<RECT*>(lParam);
        rc->right = rc->left + 256;
        rc->bottom = rc->top + 512;
      }
      return 0;
    };
  }
  void TearDown() override { gui::ReleaseCapture(); }
  // The mouse as the tracker gets it while it holds the capture.
  static void Mouse(CMyDockContext& context, UINT msg, POINT screen) {
    gui::GWindow* tracker = gui::GWindow::FromHandle(context.GetTrackerWindow());
    ASSERT_NE(tracker, nullptr);
    tracker->ScreenToClient(&screen);
    tracker->SendMessage(msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MakePointLParam(screen.x, screen.y));
  }
  static RECT TrackerRect(const CMyDockContext& context) {
    RECT rc{};
    if (gui::GWindow* t = gui::GWindow::FromHandle(context.GetTrackerWindow())) t->GetWindowRect(&rc);
    return rc;
  }
};

TEST_F(DockContextTest, DraggingABarAwayFloatsItWhereTheBarAgreed) {
  CMyDockContext context(a.GetSafeHwnd());
  ASSERT_TRUE(context.StartDrag(POINT{1010, 110}));
  EXPECT_TRUE(context.IsDragging());
  EXPECT_EQ(gui::GetCapture(), context.GetTrackerWindow());
  EXPECT_TRUE(SameRect(TrackerRect(context), RECT{1000, 100, 1200, 400})) << "the frame shows where the bar is";

  // A few pixels are no drag yet.
  Mouse(context, WM_MOUSEMOVE, POINT{1012, 112});
  EXPECT_TRUE(a.Of({WM_MYDOCKQUERY}).empty());

  // Away from the docking zones: the bar's rectangle moves with the mouse, at the size the
  // bar gives it.
  Mouse(context, WM_MOUSEMOVE, POINT{510, 160});
  ASSERT_EQ(a.Of({WM_MYDOCKQUERY}).size(), 1u);
  EXPECT_EQ(context.GetProposedSide(), DOCK_NONE);
  EXPECT_TRUE(SameRect(context.GetProposedRect(), RECT{500, 150, 756, 662}));
  EXPECT_TRUE(SameRect(TrackerRect(context), RECT{500, 150, 756, 662}));

  Mouse(context, WM_LBUTTONUP, POINT{520, 170});
  EXPECT_FALSE(context.IsDragging());
  EXPECT_EQ(gui::GetCapture(), nullptr);
  EXPECT_EQ(site.moves, Strings{"float"});
  EXPECT_TRUE(SameRect(site.bars[0].floating, RECT{510, 160, 766, 672}));
}

TEST_F(DockContextTest, DroppingOnASidesZoneDocksThereUnlessTheBarIsDockedThereAlready) {
  CMyDockContext floating(floater.GetSafeHwnd());
  ASSERT_TRUE(floating.StartDrag(POINT{410, 310}));
  floating.Move(POINT{1050, 400});
  EXPECT_EQ(floating.GetProposedSide(), DOCK_RIGHT);
  EXPECT_TRUE(SameRect(floating.GetProposedRect(), RECT{1000, kStackTop, 1200, 900}));
  floating.Move(POINT{50, 400});
  EXPECT_EQ(floating.GetProposedSide(), DOCK_LEFT);
  floating.Drop(POINT{1100, 400});
  EXPECT_EQ(site.moves, Strings{"dock right"});
  EXPECT_EQ(site.bars[4].side, DOCK_RIGHT);

  CMyDockContext docked(b.GetSafeHwnd());
  ASSERT_TRUE(docked.StartDrag(POINT{1010, 410}));
  docked.Move(POINT{1100, 600});
  EXPECT_EQ(docked.GetProposedSide(), DOCK_RIGHT);
  docked.Drop(POINT{1100, 600});
  EXPECT_EQ(site.moves, Strings{"dock right"}) << "b stays where it is";
}

TEST_F(DockContextTest, ClicksRightClicksAndALostMouseLeaveTheBarAlone) {
  CMyDockContext context(a.GetSafeHwnd());
  // A click without a move.
  ASSERT_TRUE(context.StartDrag(POINT{1010, 110}));
  Mouse(context, WM_MOUSEMOVE, POINT{1013, 107});
  Mouse(context, WM_LBUTTONUP, POINT{1013, 107});
  // The right button during the drag.
  ASSERT_TRUE(context.StartDrag(POINT{1010, 110}));
  Mouse(context, WM_MOUSEMOVE, POINT{500, 500});
  const HWND tracker = context.GetTrackerWindow();
  gui::SendMessage(tracker, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 0);
  EXPECT_FALSE(context.IsDragging());
  EXPECT_EQ(gui::GetCapture(), nullptr);
  EXPECT_FALSE(gui::GWindow::FromHandle(tracker)->IsWindowVisible());
  // Another window takes the mouse.
  ASSERT_TRUE(context.StartDrag(POINT{1010, 110}));
  Mouse(context, WM_MOUSEMOVE, POINT{500, 500});
  b.SetCapture();
  EXPECT_FALSE(context.IsDragging());
  context.Drop(POINT{500, 500});
  EXPECT_TRUE(site.moves.empty());
  EXPECT_EQ(site.bars[0].side, DOCK_RIGHT);

  // A bar that no frame docks cannot be dragged.
  Recorder stranger;
  ASSERT_TRUE(stranger.Create(static_cast<gui::GWindow*>(nullptr), RECT{0, 0, 1, 1}, 0));
  CMyDockContext none(stranger.GetSafeHwnd());
  EXPECT_FALSE(none.StartDrag(POINT{0, 0}));
  EXPECT_FALSE(none.IsDragging());
}

// ---- the splash window --------------------------------------------------------------------------

class SplashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterProgramResources(); }
};

TEST_F(SplashTest, ShowsThePictureInTheMiddleOfTheScreenAndGoes) {
  auto picture = gui::LoadBitmapResource(IDB_SPLASH);
  ASSERT_TRUE(picture);
  const int cx = picture->Width(), cy = picture->Height();
  CSplashWnd splash;
  ASSERT_TRUE(splash.Show(IDB_SPLASH, 0));
  ASSERT_TRUE(splash.IsShowing());
  const RECT area = gui::GetWorkArea(POINT{0, 0});
  RECT rc;
  splash.GetWindowRect(&rc);
  EXPECT_EQ(rc.right - rc.left, cx);
  EXPECT_EQ(rc.bottom - rc.top, cy);
  EXPECT_LE(std::abs((rc.left + rc.right) - (area.left + area.right)), 1);
  EXPECT_LE(std::abs((rc.top + rc.bottom) - (area.top + area.bottom)), 1);
  EXPECT_TRUE(splash.GetExStyle() & WS_EX_TOPMOST);
  EXPECT_TRUE(splash.GetExStyle() & WS_EX_NOACTIVATE);
  const gui::ScreenImage* shown = splash.GetScreenImage();
  int differ = 0;
  for (int y = 0; y < cy; y += 7)
    for (int x = 0; x < cx; x += 7) differ += (shown->Pixel(x, y) & 0xFFFFFF) != (picture->Pixel(x, y) & 0xFFFFFF);
  EXPECT_EQ(differ, 0) << "the picture is on the window before the frame builds";
  const HWND hwnd = splash.GetSafeHwnd();
  splash.Close();
  EXPECT_FALSE(splash.IsShowing());
  EXPECT_FALSE(gui::IsWindow(hwnd));

  // Its time runs out; a click ends it too.
  ASSERT_TRUE(splash.Show(IDB_SPLASH, 30));
  EXPECT_TRUE(guitest::WaitFor([&] { return !splash.IsShowing(); }, 3000));
  ASSERT_TRUE(splash.Show(IDB_SPLASH, 0));
  splash.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(5, 5));
  EXPECT_FALSE(splash.IsShowing());

  EXPECT_FALSE(splash.Show(1, 0)) << "no such picture";
  EXPECT_FALSE(splash.GetSafeHwnd());
}

// ---- in the program ---------------------------------------------------------------------------

class DockFrameTest : public AppTest {
 protected:
  DockFrameTest() { show = true; }
  ~DockFrameTest() override { CMainFrame::SetSplashMode(CMainFrame::mySPLASH_AUTO); }
  QDockWidget* Dock(UINT id) { return Frame()->GetDock(id); }
};

TEST_F(DockFrameTest, TheSplashShowsWhileTheFrameBuildsOnlyWhenAskedHereAndGoesWhenItShows) {
  show = false;
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Frame()->IsSplashShowing()) << "never offscreen unless asked";
  }
  CMainFrame::SetSplashMode(CMainFrame::mySPLASH_NEVER);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(Frame()->IsSplashShowing());
  CMainFrame::SetSplashMode(CMainFrame::mySPLASH_ALWAYS);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(Frame()->IsSplashShowing());
  Frame()->ShowFrame(FALSE);
  EXPECT_FALSE(Frame()->IsSplashShowing());
}

TEST_F(DockFrameTest, TheRightDockBarSplitsAndExpandsTheFramesSideBars) {
  ASSERT_TRUE(Start());
  Frame()->GetMainWindow()->setGeometry(QRect(0, 0, 1200, 900));
  QCoreApplication::processEvents();
  CMyDockBar* dock = Frame()->GetDockBar(DOCK_RIGHT);
  ASSERT_NE(dock, nullptr);
  const HWND layer = Frame()->GetSideBarWindow(ID_BAR_LAYER), brush = Frame()->GetSideBarWindow(ID_BAR_BRUSH);
  ASSERT_TRUE(layer && brush);
  EXPECT_EQ(CMyDockBar::FromBar(layer), dock);
  EXPECT_EQ(CMyDockBar::FromBar(brush), dock);
  EXPECT_EQ(CMyDockBar::FromBar(Frame()->GetSafeHwnd()), nullptr);

  QDockWidget* layers = Dock(ID_BAR_LAYER);
  QDockWidget* brushes = Dock(ID_BAR_BRUSH);
  // Dock-bar coordinates are the frame window's.
  const int layerTop = layers->geometry().top(), layerBottom = layers->geometry().bottom() + 1;
  const LRESULT range = gui::SendMessage(dock->GetSafeHwnd(), WM_MYVB_QUERYSPLIT, WPARAM(layer), VB_EDGE_BOTTOM);
  ASSERT_NE(range, 0);
  EXPECT_EQ(LOWORD(uintptr_t(range)), layerTop + VB_COLLAPSED_CY);
  const int gap = brushes->y() - layerBottom;
  EXPECT_EQ(HIWORD(uintptr_t(range)), brushes->geometry().bottom() + 1 - gap - VB_COLLAPSED_CY);
  EXPECT_EQ(gui::SendMessage(dock->GetSafeHwnd(), WM_MYVB_QUERYSPLIT, WPARAM(layer), VB_EDGE_TOP), 0);

  // The layer bar's bottom edge 60 pixels up: the brush bar takes them.
  const int layerHeight = layers->height(), brushHeight = brushes->height();
  ASSERT_GT(layerHeight, 200);
  EXPECT_EQ(gui::SendMessage(dock->GetSafeHwnd(), WM_MYVB_SPLIT, WPARAM(layer),
                             LPARAM(MAKELPARAM(WORD(VB_EDGE_BOTTOM), WORD(layerBottom - 60)))),
            1);
  ASSERT_TRUE(WaitFor([&] { return layers->height() != layerHeight; }));
  EXPECT_EQ(layers->height(), layerHeight - 60);
  EXPECT_EQ(brushes->height(), brushHeight + 60);

  // Expanding the brush bar leaves the layer bar as small as the frame lets it be.
  EXPECT_EQ(gui::SendMessage(dock->GetSafeHwnd(), WM_MYVB_EXPAND, WPARAM(brush), 0), 1);
  ASSERT_TRUE(WaitFor([&] { return brushes->height() > brushHeight + 60; }));
  EXPECT_LE(layers->height(), std::max(VB_COLLAPSED_CY, layers->minimumSizeHint().height()));
}

TEST_F(DockFrameTest, ADragContextFloatsAFrameSideBarAndDocksItAgain) {
  ASSERT_TRUE(Start());
  QCoreApplication::processEvents();
  QDockWidget* layers = Dock(ID_BAR_LAYER);
  const HWND layer = Frame()->GetSideBarWindow(ID_BAR_LAYER);
  CMyDockContext context(layer);
  const QPoint title = layers->mapToGlobal(QPoint(20, 5));
  ASSERT_TRUE(context.StartDrag(POINT{title.x(), title.y()}));
  const QPoint view = Frame()->GetView()->GetWidget()->mapToGlobal(QPoint(40, 40));
  context.Move(POINT{view.x(), view.y()});
  EXPECT_EQ(context.GetProposedSide(), DOCK_NONE);
  context.Drop(POINT{view.x(), view.y()});
  ASSERT_TRUE(WaitFor([&] { return layers->isFloating(); }));
  EXPECT_EQ(CMyDockBar::FromBar(layer), nullptr);

  // Back onto the right side, beside the view.
  const QRect frame(Frame()->GetMainWindow()->mapToGlobal(QPoint(0, 0)), Frame()->GetMainWindow()->size());
  const QPoint edge(frame.right() - 5, view.y() + 20);
  ASSERT_TRUE(context.StartDrag(POINT{layers->mapToGlobal(QPoint(20, 5)).x(), layers->mapToGlobal(QPoint(20, 5)).y()}));
  context.Move(POINT{edge.x(), edge.y()});
  EXPECT_EQ(context.GetProposedSide(), DOCK_RIGHT);
  context.Drop(POINT{edge.x(), edge.y()});
  ASSERT_TRUE(WaitFor([&] { return !layers->isFloating(); }));
  EXPECT_EQ(Frame()->GetMainWindow()->dockWidgetArea(layers), Qt::RightDockWidgetArea);
  ASSERT_TRUE(WaitFor([&] { return CMyDockBar::FromBar(layer) == Frame()->GetDockBar(DOCK_RIGHT); }));
}

}  // namespace
