// Option toolbars from toolbar resources (buttons, separators, images, tooltips), clicks sent
// to the owner, update-UI from the command route, and the controls of a tool lined up on an
// option bar by WM_MYSETOPTIONS.
#include <QAction>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QIcon>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

#include "ControlKit.h"
#include "platform/gui/Commands.h"
#include "platform/gui/OptionToolBar.h"
#include "platform/gui/Slider.h"

namespace {

using controls_test::ControlTest;
using controls_test::LogWindow;

constexpr UINT kToolBar = 9201;
constexpr UINT kNoBitmapToolBar = 9202;
constexpr UINT kBitmap = 9203;
constexpr UINT kPlain = 32900;    // handled, no update handler
constexpr UINT kMagnet = 32901;   // toggles a flag that its update handler shows as the check
constexpr UINT kNobody = 32902;   // nobody handles it
constexpr uint32_t kColors[] = {0xFF0000, 0x00FF00, 0x0000FF};

// The main frame's part: runs WM_COMMAND along its own route and answers update-UI.
class Frame : public LogWindow, public gui::CmdTarget {
 public:
  Frame() {
    OnCommand(kPlain, [] {});
    OnCommand(kMagnet, [this] { magnet = !magnet; });
    OnUpdateCommandUI(kMagnet, [this](gui::CmdUI* ui) { ui->SetCheck(magnet ? 1 : 0); });
    onMessage = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
      if (msg == WM_COMMAND && HIWORD(wParam) == 0) gui::ExecuteCommand(this, LOWORD(wParam));
      return 0;
    };
  }
  bool magnet = false;
};

void RegisterResources() {
  gui::RegisterBitmapResource(kBitmap, controls_test::Strip(16, 15, {kColors[0], kColors[1], kColors[2]}));
  gui::RegisterToolBarResource(kToolBar, gui::ToolBarResource{kBitmap, 16, 15, {kPlain, 0, kMagnet, kNobody}});
  gui::RegisterToolBarResource(kNoBitmapToolBar, gui::ToolBarResource{9299, 16, 15, {kPlain}});
  gui::RegisterStringResource(kPlain, u"吸附到其它图层的边缘\n吸附");
  gui::RegisterStringResource(kMagnet, u"无磁力");
}

QToolBar* QtBarOf(gui::OptionToolBar& bar) { return bar.GetWidget()->findChild<QToolBar*>(); }

// The bar's button at index, found where the bar says it is.
QToolButton* ButtonAt(gui::OptionToolBar& bar, int index) {
  RECT rc;
  bar.GetItemRect(index, &rc);
  const QPoint centre((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  return qobject_cast<QToolButton*>(bar.GetWidget()->childAt(centre));
}

void ClickButton(gui::OptionToolBar& bar, int index) {
  QToolButton* button = ButtonAt(bar, index);
  ASSERT_TRUE(button) << index;
  controls_test::Click(button, QPoint(button->width() / 2, button->height() / 2));
}

using guitest::WaitFor;

class OptionToolBarTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    RegisterResources();
    ASSERT_TRUE(frame.Create(&top, RECT{0, 0, 10, 10}, WS_CHILD));
  }
  Frame frame;
};

TEST_F(OptionToolBarTest, LoadToolBarBuildsButtonsSeparatorsImagesAndTooltips) {
  gui::OptionToolBar bar;
  ASSERT_TRUE(bar.Create(&parent));
  ASSERT_TRUE(bar.LoadToolBar(kToolBar));
  ASSERT_EQ(bar.GetButtonCount(), 4);
  const struct {
    UINT id;
    UINT style;
    const char16_t* tip;
    int cell;
  } expected[] = {
      {kPlain, TBBS_BUTTON, u"吸附", 0},
      {0, TBBS_SEPARATOR, u"", -1},
      {kMagnet, TBBS_BUTTON, u"无磁力", 1},  // no line feed: the whole text
      {kNobody, TBBS_BUTTON, u"", 2},
  };
  const QList<QAction*> actions = QtBarOf(bar)->actions();
  ASSERT_EQ(actions.size(), 4);
  LONG lastRight = 0;
  for (int i = 0; i < 4; ++i) {
    const auto& e = expected[i];
    EXPECT_EQ(bar.GetItemID(i), e.id);
    EXPECT_EQ(bar.GetButtonStyle(i), e.style) << i;  // enabled: the parent answers no update-UI
    EXPECT_EQ(actions[i]->isSeparator(), e.id == 0);
    RECT rc;
    bar.GetItemRect(i, &rc);
    EXPECT_GE(rc.left, lastRight) << i;  // in a row, in order
    EXPECT_GT(rc.right, rc.left);
    lastRight = rc.right;
    if (e.cell < 0) continue;
    EXPECT_EQ(bar.CommandToIndex(e.id), i);
    EXPECT_EQ(actions[i]->toolTip(), QString::fromUtf16(e.tip));
    const QImage icon = actions[i]->icon().pixmap(QSize(16, 15)).toImage();
    EXPECT_EQ(icon.pixel(8, 7), 0xFF000000u | kColors[e.cell]) << i;
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << i;
  }
  EXPECT_EQ(bar.CommandToIndex(0), -1);
  EXPECT_EQ(bar.CommandToIndex(12345), -1);
  EXPECT_EQ(actions[0]->statusTip(), QStringLiteral("吸附到其它图层的边缘"));
  const SIZE size = bar.CalcSize();
  EXPECT_GE(size.cx, lastRight);
  RECT client;
  bar.GetClientRect(&client);
  EXPECT_EQ(client.right, size.cx);
  EXPECT_EQ(client.bottom, size.cy);
}

TEST_F(OptionToolBarTest, MissingResourcesGiveFalseAndKeepTheButtons) {
  gui::OptionToolBar bar;
  EXPECT_FALSE(bar.LoadToolBar(kToolBar));  // not made yet
  ASSERT_TRUE(bar.Create(&parent));
  EXPECT_FALSE(bar.LoadToolBar(9299));
  EXPECT_FALSE(bar.LoadToolBar(kNoBitmapToolBar));
  EXPECT_EQ(bar.GetButtonCount(), 0);
  ASSERT_TRUE(bar.LoadToolBar(kToolBar));
  EXPECT_FALSE(bar.LoadToolBar(kNoBitmapToolBar));
  EXPECT_EQ(bar.GetButtonCount(), 4);
}

TEST_F(OptionToolBarTest, ClicksReachTheOwnerAndUpdateUiFollowsTheRoute) {
  gui::OptionToolBar bar;
  ASSERT_TRUE(bar.Create(&parent));
  ASSERT_TRUE(bar.LoadToolBar(kToolBar));
  bar.SetOwner(frame);
  bar.UpdateButtons();
  EXPECT_EQ(bar.GetButtonStyle(0), TBBS_BUTTON);
  EXPECT_EQ(bar.GetButtonStyle(2), TBBS_BUTTON);
  EXPECT_EQ(bar.GetButtonStyle(3), TBBS_DISABLED);  // nobody handles it

  // Each click: the command to the owner, then the states again.
  const struct {
    int index;
    bool sent;
    UINT magnetStyle;
  } clicks[] = {{2, true, TBBS_CHECKED}, {0, true, TBBS_CHECKED}, {2, true, TBBS_BUTTON}, {3, false, TBBS_BUTTON}};
  size_t sent = 0;
  for (const auto& c : clicks) {
    ClickButton(bar, c.index);
    sent += c.sent;
    const auto commands = frame.Of(WM_COMMAND);
    ASSERT_EQ(commands.size(), sent) << c.index;
    if (c.sent) {
      EXPECT_EQ(commands.back().wParam, MAKEWPARAM(WORD(bar.GetItemID(c.index)), 0));
    }
    EXPECT_EQ(commands.back().lParam, 0);
    EXPECT_EQ(bar.GetButtonStyle(2), c.magnetStyle) << c.index;
  }
  EXPECT_TRUE(parent.Of(WM_COMMAND).empty());  // the owner, not the parent

  // A check box toggles itself; any other button shows only the check it is given.
  bar.SetButtonStyle(0, TBBS_CHECKBOX);
  ClickButton(bar, 0);
  EXPECT_EQ(bar.GetButtonStyle(0), TBBS_CHECKBOX | TBBS_CHECKED);
  bar.SetButtonStyle(0, TBBS_CHECKED);
  ClickButton(bar, 0);
  EXPECT_EQ(bar.GetButtonStyle(0), TBBS_CHECKED);

  // Changes of the route show on the timer while the bar is shown.
  bar.SetUpdateInterval(10);
  frame.magnet = true;
  EXPECT_TRUE(WaitFor([&] { return bar.GetButtonStyle(2) == TBBS_CHECKED; }));
}

TEST_F(OptionToolBarTest, AnOwnerThatIsNoTargetLeavesTheStatesToTheTargetGiven) {
  gui::OptionToolBar bar;
  ASSERT_TRUE(bar.Create(&parent));
  ASSERT_TRUE(bar.LoadToolBar(kToolBar));
  bar.UpdateButtons();
  EXPECT_EQ(bar.GetButtonStyle(3), TBBS_BUTTON);
  ClickButton(bar, 3);
  ASSERT_EQ(parent.Of(WM_COMMAND).size(), 1u);  // the parent owns the bar unless told
  bar.SetCmdTarget(&frame);
  frame.magnet = true;
  bar.UpdateButtons();
  EXPECT_EQ(bar.GetButtonStyle(3), TBBS_DISABLED);
  EXPECT_EQ(bar.GetButtonStyle(2), TBBS_CHECKED);
}

// Stands in for the frame's option bar: a widget with a row layout, given a handle, that
// lines up the windows a tool sends it and hides those it showed before.
class OptionBar : public LogWindow {
 public:
  static constexpr UINT WM_MYSETOPTIONS = 0x8064;
  explicit OptionBar(QWidget* parent) : m_host(new QWidget(parent)), m_layout(new QHBoxLayout(m_host)) {
    m_layout->setContentsMargins(2, 0, 2, 0);
    m_layout->setSpacing(4);
    m_host->setGeometry(0, 150, 420, 40);
    m_host->show();
    Attach(m_host);
  }
  ~OptionBar() override { DestroyWindow(); }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    LogWindow::WindowProc(msg, wParam, lParam);
    if (msg != WM_MYSETOPTIONS) return 0;
    for (HWND h : shown) {
      if (GWindow* w = GWindow::FromHandle(h); w && w->GetWidget()) {
        m_layout->removeWidget(w->GetWidget());
        w->GetWidget()->hide();
      }
    }
    shown.clear();
    const auto* windows = reinterpret_cast<const HWND*>(wParam);
    for (int i = 0; i < int(lParam) && i < 8 && windows[i]; ++i) {
      QWidget* widget = GWindow::FromHandle(windows[i])->GetWidget();
      if (widget->parentWidget() != m_host) widget->setParent(m_host);
      m_layout->addWidget(widget);
      widget->show();
      shown.push_back(windows[i]);
    }
    m_host->adjustSize();
    m_layout->activate();
    return 0;
  }
  std::vector<HWND> shown;

 private:
  QWidget* m_host;
  QHBoxLayout* m_layout;
};

TEST_F(OptionToolBarTest, ToolControlsLineUpOnTheOptionBarAndStillReport) {
  OptionBar optionBar(&top);
  // The flood tool's set: its toolbar and three sliders of 64 x 21.
  gui::OptionToolBar toolbar;
  ASSERT_TRUE(toolbar.Create(&optionBar));
  ASSERT_TRUE(toolbar.LoadToolBar(kToolBar));
  toolbar.SetOwner(frame);
  const SIZE barSize = toolbar.CalcSize();
  toolbar.MoveWindow(RECT{0, 0, barSize.cx, barSize.cy});
  CMySlider sliders[3];
  const char16_t* labels[] = {u"容差", u"平滑", u"扩张"};
  for (int i = 0; i < 3; ++i) {
    sliders[i].m_strLabel = labels[i];
    ASSERT_TRUE(sliders[i].Create(&optionBar, 64, 21));
  }
  HWND first[8] = {toolbar, sliders[0], sliders[1], sliders[2]};
  gui::SendMessage(optionBar, OptionBar::WM_MYSETOPTIONS, WPARAM(first), 4);
  QApplication::processEvents();
  ASSERT_EQ(optionBar.shown.size(), 4u);
  gui::Control* controls[] = {&toolbar, &sliders[0], &sliders[1], &sliders[2]};
  const SIZE sizes[] = {barSize, {64, 21}, {64, 21}, {64, 21}};
  int lastRight = 0;
  for (int i = 0; i < 4; ++i) {
    QWidget* w = controls[i]->GetWidget();
    EXPECT_TRUE(w->isVisible()) << i;
    EXPECT_EQ(w->size(), QSize(sizes[i].cx, sizes[i].cy)) << i;  // the size the tool gave
    EXPECT_GE(w->x(), lastRight) << i;
    lastRight = w->x() + w->width();
  }

  // In the bar the controls still talk to their parent and owner.
  optionBar.log.clear();
  controls_test::MouseAt(sliders[1].GetWidget()->findChild<QLineEdit*>()->parentWidget(), QEvent::MouseButtonPress,
                         QPoint(30, 10), Qt::LeftButton);
  controls_test::MouseAt(sliders[1].GetWidget()->findChild<QLineEdit*>()->parentWidget(), QEvent::MouseMove,
                         QPoint(50, 10), Qt::LeftButton);
  ASSERT_EQ(optionBar.Of(WM_HSCROLL).size(), 1u);
  EXPECT_EQ(optionBar.Of(WM_HSCROLL)[0].lParam, LPARAM(sliders[1].GetSafeHwnd()));
  EXPECT_GT(sliders[1].m_nValue, 0);
  ClickButton(toolbar, 2);
  EXPECT_TRUE(frame.magnet);

  // The next tool's control takes their place.
  CMySlider opacity;
  ASSERT_TRUE(opacity.Create(&optionBar, 32, 21));
  HWND second[8] = {opacity};
  gui::SendMessage(optionBar, OptionBar::WM_MYSETOPTIONS, WPARAM(second), 1);
  QApplication::processEvents();
  for (gui::Control* c : controls) EXPECT_FALSE(c->IsWindowVisible());
  EXPECT_TRUE(opacity.IsWindowVisible());
  EXPECT_EQ(opacity.GetWidget()->size(), QSize(32, 21));
}

}  // namespace
