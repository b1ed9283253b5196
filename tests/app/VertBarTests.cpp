// The vertical page bar: its page stack and title row on a bar of the test's own, its splitter
// edges and collapse over a dock bar with a site of the test's own, then the frame's two bars.
#include <QCoreApplication>
#include <QDockWidget>
#include <QImage>
#include <QMainWindow>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "AppHarness.h"
#include "frame/DockBar.h"
#include "frame/DockContext.h"
#include "frame/LayerBar.h"
#include "platform/gui/OptionToolBar.h"
#include "frame/Resource.h"
#include "gui/Recorder.h"
#include "panels/MyVertBar.h"

namespace {

using guitest::Recorder;

constexpr int kBarCx = 200, kBarCy = 400;

POINT At(int x, int y) { return POINT{x, y}; }
LPARAM Pt(POINT pt) { return MakePointLParam(pt.x, pt.y); }

// A bar of 200 x 400 with pages that log what the bar tells them; each page answers
// "may the bar go forward" as its flag says.
class VertBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bar.Create(static_cast<gui::GWindow*>(nullptr), 21, u"L"));
    bar.MoveWindow(RECT{100, 100, 100 + kBarCx, 100 + kBarCy});
    bar.ShowWindow(SW_SHOWNOACTIVATE);
    for (size_t i = 0; i < pages.size(); ++i) {
      ASSERT_TRUE(pages[i].Create(&bar, RECT{0, 0, 10, 10}, WS_CHILD));
      pages[i].onMessage = [this, i](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg == WM_MYVB_PAGENOTIFY && wParam == VB_PAGE_CLOSING) closed += char('0' + i);
        return msg == WM_MYVB_PAGENOTIFY && wParam == VB_PAGE_MAYFORWARD ? LRESULT(allowForward[i]) : 0;
      };
    }
  }
  void TearDown() override { gui::ReleaseCapture(); }
  HWND Page(size_t i) { return pages[i].GetSafeHwnd(); }
  LRESULT Send(UINT msg, WPARAM wParam, const char16_t* title = nullptr) {
    return bar.SendMessage(msg, wParam, reinterpret_cast<LPARAM>(title));
  }
  // Which pages are shown, as a string of their indices.
  std::string Shown() {
    std::string s;
    for (size_t i = 0; i < pages.size(); ++i)
      if (pages[i].IsWindowVisible()) s += char('0' + i);
    return s;
  }
  // The pages that were told they close, in order.
  std::string Closed() const { return closed; }
  void ClearLogs() { closed.clear(); }
  void Click(POINT pt, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP) {
    bar.SendMessage(down, MK_LBUTTON, Pt(pt));
    bar.SendMessage(up, 0, Pt(pt));
  }
  // The pixel of the bar as shown, as COLORREF.
  COLORREF Shot(int x, int y) {
    const QRgb p = bar.GetWidget()->grab().toImage().pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
  }

  CMyVertBar bar;
  std::array<Recorder, 9> pages;
  std::string closed;
  std::array<bool, 9> allowForward{true, true, true, true, true, true, true, true, true};
};

TEST_F(VertBarTest, PagesStackUpToEightAndGoBackHomeAndForward) {
  EXPECT_EQ(bar.GetState(), CMyVertBar::myIDLE);
  ASSERT_EQ(Send(WM_MYVB_SETROOT, WPARAM(Page(0)), u"L"), 1);
  EXPECT_EQ(Shown(), "0");
  RECT rc;
  pages[0].GetClientRect(&rc);
  EXPECT_EQ(rc.right, kBarCx - 14);
  EXPECT_EQ(rc.bottom, kBarCy - 30) << "the page lies in (7, 23) .. (right - 7, bottom - 7)";

  for (size_t i = 1; i <= 7; ++i) {
    const std::u16string title(1, char16_t(u'0' + i));
    EXPECT_EQ(Send(WM_MYVB_PUSHPAGE, WPARAM(Page(i)), title.c_str()), 1) << i;
    EXPECT_EQ(Shown(), std::string(1, char('0' + i)));
    EXPECT_EQ(bar.GetPagePos(), i);
  }
  EXPECT_EQ(Send(WM_MYVB_PUSHPAGE, WPARAM(Page(8)), u"8"), 0) << "a ninth page has no slot";
  EXPECT_EQ(Send(WM_MYVB_SETROOT, WPARAM(Page(8)), u"8"), 0);
  EXPECT_EQ(bar.GetPagePos(), 7u);
  EXPECT_EQ(Shown(), "7");
  EXPECT_EQ(bar.GetPage(7), Page(7));

  // Back from 7 forgets it; home closes the rest from the top down.
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_BACK), 1);
  EXPECT_EQ(Closed(), "7");
  EXPECT_EQ(bar.GetPage(7), nullptr);
  EXPECT_EQ(Shown(), "6");
  ClearLogs();
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_HOME), 1);
  EXPECT_EQ(Closed(), "654321");
  EXPECT_EQ(Shown(), "0");
  EXPECT_EQ(bar.GetPage(1), nullptr);
  EXPECT_FALSE(bar.HasTitleTab()) << "nothing to go forward to";
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_HOME), 0);
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_BACK), 0);

  // Back from page 1 keeps it as the forward target; forward needs the page's consent.
  ASSERT_EQ(Send(WM_MYVB_PUSHPAGE, WPARAM(Page(1)), u"1"), 1);
  ClearLogs();
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_BACK), 1);
  EXPECT_EQ(Closed(), "1");
  EXPECT_EQ(bar.GetPage(1), Page(1));
  EXPECT_TRUE(bar.HasTitleTab());
  allowForward[0] = false;
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_FORWARD), 0);
  EXPECT_EQ(Shown(), "0");
  allowForward[0] = true;
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_FORWARD), 1);
  EXPECT_EQ(Shown(), "1");
  EXPECT_EQ(Send(WM_MYVB_NAVIGATE, VB_NAV_FORWARD), 0) << "nothing registered after page 1";

  // A root page set over a root page registers the forward target after the current page.
  ASSERT_EQ(Send(WM_MYVB_SETROOT, WPARAM(Page(2)), u"2"), 1);
  EXPECT_EQ(Shown(), "1");
  EXPECT_EQ(bar.GetPage(2), Page(2));
  EXPECT_EQ(bar.GetTitle(2), u"2");
}

TEST_F(VertBarTest, TheTitleTabLeadsForwardOrBackAndTheCloseButtonHides) {
  ASSERT_EQ(Send(WM_MYVB_SETROOT, WPARAM(Page(0)), u"Layers"), 1);
  RECT close;
  ASSERT_TRUE(bar.GetCloseRect(&close));
  EXPECT_EQ(close.left, kBarCx - 21);
  EXPECT_EQ(close.top, 4);
  EXPECT_EQ(close.right, kBarCx - 7);
  EXPECT_EQ(close.bottom, 18);

  // The forward tab after the root title; the back tab on a stacked page.
  ASSERT_EQ(Send(WM_MYVB_SETROOT, WPARAM(Page(1)), u"Props"), 1);
  gui::DeviceContext measure;
  const int cx = measure.GetTextExtent(u"Layers").cx;
  ASSERT_GT(cx, 0);
  ASSERT_TRUE(bar.HasTitleTab());
  const POINT* p = bar.GetTitlePath();
  const std::vector<POINT> forward{{cx + 10, 0}, {cx + 28, 18}, {std::max(cx + 28, kBarCx - 42), 18},
                                   {std::max(cx + 28, kBarCx - 42) + 18, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(p[i].x, forward[size_t(i)].x) << i;
    EXPECT_EQ(p[i].y, forward[size_t(i)].y) << i;
  }
  // The tab's face is drawn inside it, and the close button is left out when the tab
  // reaches it.
  EXPECT_EQ(Shot(p[1].x + 2, 16), COLORREF(0x989C9C));
  EXPECT_EQ(bar.GetCloseRect(&close), p[3].x < kBarCx - 21);

  const struct {
    POINT pt;
    bool inside;
  } quad[] = {
      {At(p[1].x + 2, 10), true},  {At(p[0].x + 1, 10), false},  // left of the slant
      {At(p[3].x - 2, 2), true},   {At(p[3].x - 2, 16), false},  // right of the slant
      {At(p[2].x, 17), true},      {At(p[2].x, 19), false},
  };
  for (const auto& t : quad)
    EXPECT_EQ(CMyVertBar::PointInQuad(p, t.pt), t.inside) << t.pt.x << "," << t.pt.y;

  // A click on the tab goes forward, and on the back tab back.
  Click(At(p[1].x + 2, 10));
  EXPECT_EQ(Shown(), "1");
  EXPECT_EQ(bar.GetPagePos(), 1u);
  p = bar.GetTitlePath();
  EXPECT_EQ(p[0].x, 7);
  EXPECT_EQ(p[2].x, cx + 10);
  EXPECT_EQ(p[3].x, cx + 28);
  // Pressed, then let go outside the tab: nothing.
  Click(At(p[0].x + 3, 10), WM_LBUTTONDOWN, WM_MOUSEMOVE);
  EXPECT_EQ(bar.GetState(), CMyVertBar::myTABPRESSED);
  bar.SendMessage(WM_LBUTTONUP, 0, Pt(At(150, 200)));
  EXPECT_EQ(bar.GetState(), CMyVertBar::myIDLE);
  EXPECT_EQ(bar.GetPagePos(), 1u);
  // A right click on the title row goes back too.
  Click(At(100, 10), WM_RBUTTONDOWN, WM_RBUTTONUP);
  EXPECT_EQ(bar.GetPagePos(), 0u);

  // The close button: pressed and let go elsewhere does nothing, on it closes.
  int closes = 0;
  bar.SetCloseHandler([&] { ++closes; });
  Send(WM_MYVB_NAVIGATE, VB_NAV_HOME);
  ASSERT_TRUE(bar.GetCloseRect(&close));
  const POINT onClose = At((close.left + close.right) / 2, (close.top + close.bottom) / 2);
  bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Pt(onClose));
  EXPECT_EQ(bar.GetState(), CMyVertBar::myCLOSEPRESSED);
  EXPECT_EQ(gui::GetCapture(), bar.GetSafeHwnd());
  bar.SendMessage(WM_LBUTTONUP, 0, Pt(At(10, 100)));
  EXPECT_EQ(closes, 0);
  Click(onClose);
  EXPECT_EQ(closes, 1);
  bar.SetCloseHandler(nullptr);
  Click(onClose);
  EXPECT_FALSE(bar.IsWindowVisible()) << "without a handler the bar hides itself";
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(VertBarTest, TheDockBarsSizesAreKeptAndTheLayoutAnswersFromThem) {
  bar.SendMessage(WM_MYVB_SETSIZE, 0, 180);
  bar.SendMessage(WM_MYVB_SETEXTENT, 0, 300);
  EXPECT_EQ(bar.GetWorkingHeight(), 300);
  bar.SendMessage(WM_MYVB_SETEXTENT, VB_EXTENT_LAYOUT, 340);
  EXPECT_EQ(bar.GetWorkingHeight(), 300) << "a height the layout gave is not the user's choice";
  bar.SendMessage(WM_MYVB_SETEXTENT, 0, 22);
  EXPECT_EQ(bar.GetWorkingHeight(), 1) << "collapsed";
  bar.SendMessage(WM_MYVB_SETEXTENT, VB_EXTENT_LAYOUT, 340);
  bar.SendMessage(WM_MYVB_RESTOREEXTENT, 0, 0);
  EXPECT_EQ(bar.GetWorkingHeight(), 340);

  using B = CMyVertBar;
  const struct {
    int length;
    DWORD mode;
    LONG cx, cy;
  } cases[] = {
      {10, B::LM_COMMIT, 64, 64},                          // the floating width, clamped
      {1000, B::LM_COMMIT, 400, 64},
      {30, B::LM_LENGTHY, 400, 64},                        // the floating height, clamped
      {300, B::LM_LENGTHY, 400, 300},
      {0, B::LM_MRUWIDTH, 400, 300},
      {0, B::LM_VERTDOCK, 180, 340},                       // docked
      {0, B::LM_VERTDOCK | B::LM_WORKINGSIZE, 180, 340},
      {500, 0, 400, 300},                                  // a proposal, not stored
      {100, B::LM_MRUWIDTH, 400, 300},
  };
  for (const auto& t : cases) {
    const SIZE size = bar.CalcDynamicLayout(t.length, t.mode);
    EXPECT_EQ(size.cx, t.cx) << t.length << " " << t.mode;
    EXPECT_EQ(size.cy, t.cy) << t.length << " " << t.mode;
  }
  bar.SendMessage(WM_MYVB_SETEXTENT, 0, 250);
  EXPECT_EQ(bar.CalcDynamicLayout(0, B::LM_VERTDOCK | B::LM_WORKINGSIZE).cy, 250);
  bar.SendMessage(WM_MYVB_SETEXTENT, VB_EXTENT_LAYOUT, 200);
  EXPECT_EQ(bar.CalcDynamicLayout(0, B::LM_VERTDOCK).cy, 200);
  EXPECT_EQ(bar.CalcDynamicLayout(0, B::LM_VERTDOCK | B::LM_WORKINGSIZE).cy, 250);
}

// ---- the splitter and the collapse, over a dock bar -----------------------------------------

constexpr int kLeft = 1000, kTop = 100, kGap = 4, kOriginY = 50;

// Two page bars docked right, stacked from kTop down with kGap between them; the site moves
// their windows as a frame would.
class Site : public IDockSite {
 public:
  std::vector<CMyVertBar*> bars;
  std::vector<int> heights;
  void Place() {
    int top = kTop;
    for (size_t i = 0; i < bars.size(); ++i) {
      bars[i]->MoveWindow(RECT{kLeft, top, kLeft + kBarCx, top + heights[i]});
      top += heights[i] + kGap;
    }
  }
  int Index(HWND h) const {
    for (size_t i = 0; i < bars.size(); ++i)
      if (bars[i]->GetSafeHwnd() == h) return int(i);
    return -1;
  }
  BOOL HasBar(HWND h) override { return Index(h) >= 0; }
  std::vector<DockedBar> GetDockedBars(int side) override {
    std::vector<DockedBar> out;
    if (side != DOCK_RIGHT) return out;
    for (CMyVertBar* b : bars) {
      RECT rc;
      b->GetWindowRect(&rc);
      out.push_back(DockedBar{b->GetSafeHwnd(), rc});
    }
    return out;
  }
  void SetBarHeights(int, const std::vector<HWND>& windows, const std::vector<int>& h) override {
    for (size_t i = 0; i < windows.size(); ++i) heights[size_t(Index(windows[i]))] = h[i];
    Place();
  }
  BOOL GetBarRect(HWND h, RECT* rc) override {
    if (Index(h) < 0) return FALSE;
    bars[size_t(Index(h))]->GetWindowRect(rc);
    return TRUE;
  }
  int DockSideAt(HWND, POINT, RECT*) override { return DOCK_NONE; }
  void FloatBar(HWND, const RECT&) override {}
  void DockBar(HWND, int) override {}
};

class VertBarDockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (CMyVertBar* b : {&a, &b}) {
      ASSERT_TRUE(b->Create(static_cast<gui::GWindow*>(nullptr), 21, u"Bar"));
      site.bars.push_back(b);
    }
    site.heights = {300, 200};
    site.Place();
    ASSERT_TRUE(dock.Create(static_cast<gui::GWindow*>(nullptr), RECT{0, kOriginY, 10, kOriginY + 10}, 0));
    dock.OnLayoutChanged();
  }
  void TearDown() override { gui::ReleaseCapture(); }
  static int Height(const CMyVertBar& bar) {
    RECT rc;
    bar.GetClientRect(&rc);
    return int(rc.bottom);
  }

  CMyVertBar a, b;
  Site site;
  CMyDockBar dock{&site, DOCK_RIGHT};
};

TEST_F(VertBarDockTest, DraggingAnEdgeSplitsThroughTheDockBarWithinItsRange) {
  ASSERT_EQ(CMyDockBar::FromBar(a.GetSafeHwnd()), &dock);
  EXPECT_EQ(a.CalcFixedLayout().cx, kBarCx) << "the dock bar told the bar its size";
  EXPECT_EQ(a.CalcFixedLayout().cy, 300);
  // The splitter cursor shows on an edge that may move, the arrow elsewhere.
  const HCURSOR arrow = gui::LoadCursor(gui::IDC_ARROW);
  a.SendMessage(WM_MOUSEMOVE, 0, MakePointLParam(50, 298));
  EXPECT_NE(gui::GetCursor(), arrow);
  EXPECT_NE(gui::GetCursor(), nullptr);
  a.SendMessage(WM_MOUSEMOVE, 0, MakePointLParam(50, 150));
  EXPECT_EQ(gui::GetCursor(), arrow);
  a.SendMessage(WM_MOUSEMOVE, 0, MakePointLParam(50, 0));
  EXPECT_EQ(gui::GetCursor(), arrow) << "the top of the stack does not move";

  // a spans 50..350 of the dock bar, b 354..554: a's bottom edge goes from 72 to 528.
  a.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(50, 299));
  ASSERT_EQ(a.GetState(), CMyVertBar::mySPLITTING);
  EXPECT_EQ(gui::GetCapture(), a.GetSafeHwnd());
  EXPECT_EQ(a.GetTrackerY(), 350);
  const struct {
    int y;
    int tracker;
  } moves[] = {{1000, 528}, {-200, 72}, {10, 72}, {100, 150}, {249, 299}};
  for (const auto& m : moves) {
    a.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MakePointLParam(50, m.y));
    EXPECT_EQ(a.GetTrackerY(), m.tracker) << m.y;
  }
  EXPECT_EQ(site.heights, (std::vector<int>{300, 200})) << "nothing moves before the button is up";
  a.SendMessage(WM_LBUTTONUP, 0, MakePointLParam(50, 249));
  EXPECT_EQ(a.GetState(), CMyVertBar::myIDLE);
  EXPECT_EQ(gui::GetCapture(), nullptr);
  EXPECT_EQ(site.heights, (std::vector<int>{249, 251}));
  EXPECT_EQ(a.GetWorkingHeight(), 249);
  EXPECT_EQ(b.GetWorkingHeight(), 251);

  // b's top edge, dragged and then lost to another window: nothing changes.
  b.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(50, 0));
  ASSERT_EQ(b.GetState(), CMyVertBar::mySPLITTING);
  b.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MakePointLParam(50, -100));
  a.SetCapture();
  EXPECT_EQ(b.GetState(), CMyVertBar::myIDLE);
  gui::ReleaseCapture();
  EXPECT_EQ(site.heights, (std::vector<int>{249, 251}));

  // The stack's outer edges do not split.
  b.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(50, Height(b) - 1));
  EXPECT_NE(b.GetState(), CMyVertBar::mySPLITTING);
  b.SendMessage(WM_LBUTTONUP, 0, MakePointLParam(50, Height(b) - 1));
  if (CMyDockContext* context = b.GetDockContext()) context->Cancel();
  EXPECT_EQ(site.heights, (std::vector<int>{249, 251}));
}

TEST_F(VertBarDockTest, ACollapsedBarShowsItsTitleRowAndOpensOnAClick) {
  // b opens: a collapses to its title row and asks for no more.
  ASSERT_EQ(dock.SendMessage(WM_MYVB_EXPAND, WPARAM(b.GetSafeHwnd()), 0), 1);
  EXPECT_EQ(site.heights, (std::vector<int>{22, 478}));
  EXPECT_EQ(Height(a), VB_COLLAPSED_CY);
  EXPECT_EQ(a.GetWorkingHeight(), 1);
  EXPECT_EQ(a.GetPageRect().bottom, a.GetPageRect().top) << "no room for a page";

  // A click on the collapsed bar opens it.
  a.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(60, 10));
  a.SendMessage(WM_LBUTTONUP, 0, MakePointLParam(60, 10));
  EXPECT_EQ(site.heights, (std::vector<int>{478, 22}));
  EXPECT_EQ(a.GetWorkingHeight(), 478);
  EXPECT_EQ(b.GetWorkingHeight(), 1);

  // A right click on the title row with no page to go back to opens the next bar.
  a.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MakePointLParam(60, 10));
  a.SendMessage(WM_RBUTTONUP, 0, MakePointLParam(60, 10));
  EXPECT_EQ(site.heights, (std::vector<int>{22, 478}));
  // Below the title row it does nothing.
  b.SendMessage(WM_RBUTTONUP, 0, MakePointLParam(60, 100));
  EXPECT_EQ(site.heights, (std::vector<int>{22, 478}));
}

// ---- in the program ---------------------------------------------------------------------------

class VertBarFrameTest : public AppTest {
 protected:
  VertBarFrameTest() { show = true; }
};

TEST_F(VertBarFrameTest, TheLayerBarIsTheLayerPageBarsRootPageAndTheBarsCollapseAndClose) {
  ASSERT_TRUE(Start());
  Frame()->GetMainWindow()->setGeometry(QRect(0, 0, 1200, 900));
  NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
  CMyVertBar* layers = Frame()->GetVertBar(ID_BAR_LAYER);
  CMyVertBar* brushes = Frame()->GetVertBar(ID_BAR_BRUSH);
  ASSERT_TRUE(layers && brushes);
  EXPECT_EQ(layers->GetTitle(0), u"图层");
  EXPECT_EQ(brushes->GetTitle(0), u"画笔");
  EXPECT_EQ(layers->GetDlgCtrlID(), 21u);
  EXPECT_EQ(brushes->GetDlgCtrlID(), 22u);
  EXPECT_EQ(Frame()->GetSideBarWindow(ID_BAR_LAYER), layers->GetSafeHwnd());
  ASSERT_TRUE(WaitFor([&] { return CMyDockBar::FromBar(layers->GetSafeHwnd()) == Frame()->GetDockBar(DOCK_RIGHT); }));

  // The layer strip and the list below it fill the page rectangle; the list shows the
  // layer's row.
  CLayerBar* list = Frame()->GetLayerBar();
  EXPECT_EQ(layers->GetPage(0), list->GetHostWindow());
  EXPECT_NE(brushes->GetPage(0), nullptr);
  ASSERT_TRUE(list->GetStrip());
  ASSERT_TRUE(WaitFor([&] {
    RECT rc, strip;
    list->GetClientRect(&rc);
    list->GetStrip()->GetClientRect(&strip);
    const RECT page = layers->GetPageRect();
    return rc.right == page.right - page.left && strip.bottom > 0 &&
           rc.bottom + strip.bottom == page.bottom - page.top && rc.bottom > 100;
  }));
  EXPECT_TRUE(list->IsWindowVisible());
  EXPECT_EQ(list->RowCount(), List()->GetCount());
  ASSERT_EQ(list->RowCount(), 1);
  EXPECT_EQ(list->RowName(0), u"彩色图层");
  POINT origin{0, 0}, barOrigin{0, 0};
  list->ClientToScreen(&origin);
  layers->ClientToScreen(&barOrigin);
  EXPECT_EQ(origin.x - barOrigin.x, CMyVertBar::kBand);
  RECT strip;
  list->GetStrip()->GetClientRect(&strip);
  EXPECT_EQ(origin.y - barOrigin.y, CMyVertBar::kTitleCy + strip.bottom);

  // A page pushed over the layer list hides it until the bar goes back.
  gui::GWindow props;
  ASSERT_TRUE(props.Create(layers, RECT{0, 0, 1, 1}, WS_CHILD));
  ASSERT_EQ(layers->SendMessage(WM_MYVB_PUSHPAGE, WPARAM(props.GetSafeHwnd()), LPARAM(u"彩色图层")), 1);
  EXPECT_FALSE(list->IsWindowVisible());
  EXPECT_TRUE(props.IsWindowVisible());
  EXPECT_EQ(layers->SendMessage(WM_MYVB_NAVIGATE, VB_NAV_HOME), 1);
  EXPECT_TRUE(list->IsWindowVisible());
  EXPECT_FALSE(props.IsWindowVisible());

  // Opening the brush bar collapses the layer bar; a click on it opens it again.
  QDockWidget* layerDock = Frame()->GetDock(ID_BAR_LAYER);
  CMyDockBar* dock = Frame()->GetDockBar(DOCK_RIGHT);
  const int tall = layerDock->height();
  ASSERT_EQ(dock->SendMessage(WM_MYVB_EXPAND, WPARAM(brushes->GetSafeHwnd()), 0), 1);
  ASSERT_TRUE(WaitFor([&] { return layerDock->height() <= VB_COLLAPSED_CY; }));
  layers->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(60, 10));
  layers->SendMessage(WM_LBUTTONUP, 0, MakePointLParam(60, 10));
  ASSERT_TRUE(WaitFor([&] { return layerDock->height() > tall / 2; }));

  // The close button hides the dock.
  RECT close;
  ASSERT_TRUE(layers->GetCloseRect(&close));
  const LPARAM on = MakePointLParam((close.left + close.right) / 2, (close.top + close.bottom) / 2);
  layers->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, on);
  layers->SendMessage(WM_LBUTTONUP, 0, on);
  EXPECT_FALSE(layerDock->isVisible());
}

}  // namespace
