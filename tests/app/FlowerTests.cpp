// The ring menu: where it pops up, the provider's icons on the twelve ring cells with the
// hovered one highlighted, the centre caption that follows the mouse, the item a release
// runs (with its screen point and the popup's tick), the ways it closes without a choice,
// translucent or opaque by the setting, and the frame's ring menus. A picture of it goes to
// the build folder (ring_menu.png) for a human to look at.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <map>

#include "AppHarness.h"
#include "core/StringTable.h"
#include "frame/FlowerWnd.h"
#include "frame/ResourceArt.h"
#include "frame/ResourceIds.h"
#include "platform/base/Sync.h"
#include "platform/gui/Resources.h"
#include "tools/FunctionMenu.h"

namespace {

using flower::kSize;

// A strip whose cells tell which one was drawn where: cell i has a 10 x 10 square of its own
// colour in the middle; the highlighted mask tints the rest of the cell, the normal one keeps it.
constexpr UINT kTestStrip = 60001;
constexpr uint32_t kTint = 0xB0C0FF;
uint32_t CellColour(int i) { return 0x203040 + uint32_t(i) * 0x0A0000; }

void RegisterTestStrip() {
  gui::RegisterBitmapResource(kTestStrip, [] {
    auto image = gui::CreateCompatibleBitmap(12 * RING_CELL, 3 * RING_CELL);
    for (int y = 0; y < 3 * RING_CELL; ++y)
      for (int x = 0; x < 12 * RING_CELL; ++x) {
        const int cell = x / RING_CELL, row = y / RING_CELL, cx = x % RING_CELL, cy = y % RING_CELL;
        const bool square = cx >= 8 && cx < 18 && cy >= 8 && cy < 18;
        const uint32_t rest = row == 0 ? 0x000000 : row == 1 ? kTint : 0xFFFFFF;
        image->Bits()[y * image->Pitch() + x] = 0xFF000000 | (square ? CellColour(cell) : rest);
      }
    return image;
  });
}

struct RunCall {
  int x, y;
  UINT item;
  DWORD tick;
};

// A provider that names the items it is given and records what the ring asks of it.
class FakeMenu : public CFunctionMenu {
 public:
  explicit FakeMenu(std::map<UINT, std::u16string> labels, UINT strip = kTestStrip)
      : CFunctionMenu(strip), m_labels(std::move(labels)) {}
  const char16_t* GetLabel(UINT item, int state) override {
    asked.push_back({item, state});
    auto it = m_labels.find(item);
    return state > 0 && it != m_labels.end() ? it->second.c_str() : u"";
  }
  void Run(int x, int y, UINT item, DWORD popupTick) override {
    runs.push_back({x, y, item, popupTick});
    if (onRun) onRun();
  }
  std::vector<std::pair<UINT, int>> asked;
  std::vector<RunCall> runs;
  std::function<void()> onRun;

 private:
  std::map<UINT, std::u16string> m_labels;
};

// Every ring item but 6 and every corner but 206.
std::map<UINT, std::u16string> SomeLabels() {
  std::map<UINT, std::u16string> labels;
  for (UINT i = 0; i < 12; ++i)
    if (i != 6) labels[i] = u"item" + plat::Widen(std::to_string(i));
  labels[200] = u"撤消";
  labels[202] = u"取色";
  labels[204] = u"视觉翻转";
  return labels;
}

uint32_t Rgb(gui::GWindow& w, POINT pt) {
  gui::ScreenImage* image = w.GetScreenImage();
  GAutoLock lock(image->GetLock());
  return image->Pixel(pt.x, pt.y) & 0xFFFFFF;
}

uint32_t Alpha(gui::GWindow& w, POINT pt) {
  gui::ScreenImage* image = w.GetScreenImage();
  GAutoLock lock(image->GetLock());
  return image->Pixel(pt.x, pt.y) >> 24;
}

// A point of a ring cell's highlight (inside the cell, outside its icon square): 9 pixels from
// the cell's centre towards the ring's.
POINT HaloPoint(int item) {
  const POINT c = flower::SlotPoint(item);
  const double dx = kSize / 2.0 - c.x, dy = kSize / 2.0 - c.y, len = std::hypot(dx, dy);
  return POINT{LONG(std::lround(c.x + 9 * dx / len)), LONG(std::lround(c.y + 9 * dy / len))};
}

// The harness's wait on the event loop and the posted messages.
struct Harness : AppTest {
  using AppTest::WaitFor;
};
bool WaitFor(const std::function<bool()>& done) { return Harness::WaitFor(done, 3000); }

class FlowerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterProgramStrings();
    RegisterProgramResources();
    RegisterTestStrip();
  }
  void SetUp() override {
    ASSERT_TRUE(owner.Create(static_cast<gui::GWindow*>(nullptr), RECT{40, 40, 240, 200}, WS_VISIBLE));
    owner.GetWidget()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == owner.GetSafeHwnd(); }));
    ASSERT_TRUE(ring.Create(&owner, false));
    EXPECT_FALSE(ring.IsWindowVisible());
  }
  void TearDown() override { gui::ReleaseCapture(); }

  RECT Area() const { return gui::GetWorkArea(POINT{0, 0}); }
  POINT Middle() const {
    const RECT a = Area();
    return POINT{(a.left + a.right) / 2, (a.top + a.bottom) / 2};
  }
  // Pops a ring up in the middle of the screen over the active owner, shown and painted.
  void PopupInTheMiddle(CFunctionMenu* provider, CFlowerWnd* w = nullptr) {
    if (!w) w = &ring;
    ASSERT_EQ(gui::GetActiveWindow(), owner.GetSafeHwnd());
    const POINT m = Middle();
    w->Popup(m.x, m.y, provider);
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == w->GetSafeHwnd(); }));
    w->UpdateWindow();
  }
  bool OwnerActiveAgain() {
    return WaitFor([&] { return gui::GetActiveWindow() == owner.GetSafeHwnd(); });
  }
  // A mouse event as the platform delivers it: to the widget under the pointer (here the
  // owner), routed to whoever holds the capture.
  void Mouse(QEvent::Type type, POINT client, Qt::MouseButton button = Qt::NoButton) {
    POINT screen = client;
    ring.ClientToScreen(&screen);
    QWidget* target = owner.GetWidget();
    const QPointF global(screen.x, screen.y);
    const QPointF local = target->mapFromGlobal(global);
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent e(type, local, global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
  }
  void Move(POINT client) {
    Mouse(QEvent::MouseMove, client);
    ring.UpdateWindow();
  }
  void Click(POINT client, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonPress, client, button);
    Mouse(QEvent::MouseButtonRelease, client, button);
  }
  void ExpectClosed() {
    EXPECT_FALSE(ring.IsShown());
    EXPECT_FALSE(ring.IsWindowVisible());
    EXPECT_NE(gui::GetCapture(), ring.GetSafeHwnd());
  }

  gui::GWindow owner;
  CFlowerWnd ring;
};

TEST_F(FlowerTest, PopsUpCentredOnThePointAndStaysOnTheScreen) {
  FakeMenu menu(SomeLabels());
  const RECT a = Area();
  const POINT m = Middle();
  const struct {
    POINT at;
    POINT topLeft;
  } cases[] = {
      {m, {m.x - kSize / 2, m.y - kSize / 2}},
      {{a.left + 10, a.top + 20}, {a.left, a.top}},
      {{a.right - 5, a.bottom - 1}, {a.right - kSize, a.bottom - kSize}},
      {{a.left + 50, a.bottom + 400}, {a.left, a.bottom - kSize}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y));
    ring.Popup(c.at.x, c.at.y, &menu);
    RECT rc;
    ring.GetWindowRect(&rc);
    EXPECT_EQ(rc.left, c.topLeft.x);
    EXPECT_EQ(rc.top, c.topLeft.y);
    EXPECT_EQ(rc.right - rc.left, kSize);
    EXPECT_EQ(rc.bottom - rc.top, kSize);
    EXPECT_TRUE(ring.IsWindowVisible());
    EXPECT_EQ(gui::GetCapture(), ring.GetSafeHwnd()) << "it takes the mouse";
    ASSERT_TRUE(WaitFor([&] { return gui::GetActiveWindow() == ring.GetSafeHwnd(); })) << "and the keys";
    ring.Cancel();
    ExpectClosed();
    EXPECT_TRUE(OwnerActiveAgain());
  }
}

TEST_F(FlowerTest, DrawsTheTwelveCellsClockwiseFromTheTopWithTheHoveredOneHighlighted) {
  FakeMenu menu(SomeLabels());
  PopupInTheMiddle(&menu);
  const int c = kSize / 2;
  // A clock face: 0 at the top, 3 on the right, 6 at the bottom, 9 on the left.
  EXPECT_EQ(flower::SlotPoint(0).x, c);
  EXPECT_LT(flower::SlotPoint(0).y, c - 50);
  EXPECT_GT(flower::SlotPoint(3).x, c + 50);
  EXPECT_EQ(flower::SlotPoint(3).y, c);
  EXPECT_EQ(flower::SlotPoint(6).x, c);
  EXPECT_GT(flower::SlotPoint(6).y, c + 50);
  EXPECT_LT(flower::SlotPoint(9).x, c - 50);
  EXPECT_GT(flower::SlotPoint(1).x, flower::SlotPoint(0).x);
  EXPECT_LT(flower::SlotPoint(1).y, flower::SlotPoint(2).y);

  for (int hovered : {-1, 4, 11}) {
    SCOPED_TRACE(hovered);
    Move(hovered < 0 ? POINT{c, c} : flower::SlotPoint(hovered));
    EXPECT_EQ(ring.GetHotItem(), hovered);
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(Rgb(ring, flower::SlotPoint(i)), CellColour(i)) << "cell " << i;
      const uint32_t halo = Rgb(ring, HaloPoint(i));
      EXPECT_EQ(halo, i == hovered ? (RING_FACE & kTint) : RING_FACE) << "cell " << i;
    }
  }
}

TEST_F(FlowerTest, TheCentreShowsTheCaptionOfTheHoveredItem) {
  FakeMenu menu(SomeLabels());
  PopupInTheMiddle(&menu);
  const int c = kSize / 2;
  // Dark pixels in the caption's place.
  auto ink = [&] {
    int n = 0;
    for (int y = c - 8; y < c + 8; ++y)
      for (int x = c - 30; x < c + 30; ++x) {
        const uint32_t p = Rgb(ring, POINT{x, y});
        n += ((p >> 16) & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80;
      }
    return n;
  };
  const struct {
    POINT at;
    int hot;
    const char16_t* caption;
  } cases[] = {
      {flower::SlotPoint(3), 3, u"item3"},
      {{c + 3, c - 2}, -1, u""},                // the centre
      {flower::SlotPoint(10), 10, u"item10"},
      {flower::SlotPoint(6), -1, u""},          // a cell the tool leaves empty
      {{8, 8}, 200, u"撤消"},                   // the corners
      {{kSize - 10, 12}, 202, u"取色"},
      {{kSize - 3, kSize - 40}, 204, u"视觉翻转"},
      {{12, kSize - 12}, -1, u""},              // the tool has no 206
      {{-20, c}, -1, u""},                      // outside
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.at.x) + "," + std::to_string(k.at.y));
    Move(k.at);
    EXPECT_EQ(ring.GetHotItem(), k.hot);
    EXPECT_EQ(ring.GetCentreText(), std::u16string(k.caption));
    if (*k.caption) EXPECT_GT(ink(), 10);
    else EXPECT_EQ(ink(), 0);
  }
  // The provider was asked for the captions with a positive state.
  for (UINT item : {0u, 3u, 11u, 200u, 206u})
    EXPECT_NE(std::find(menu.asked.begin(), menu.asked.end(), std::make_pair(item, 1)), menu.asked.end()) << item;
}

TEST_F(FlowerTest, AReleaseRunsTheItemUnderItWithItsScreenPointAndThePopupTick) {
  for (UINT item : {0u, 3u, 7u, 11u, 200u, 202u, 204u}) {
    SCOPED_TRACE(item);
    FakeMenu menu(SomeLabels());
    const DWORD before = plat::GetTickCount();
    PopupInTheMiddle(&menu);
    const DWORD after = plat::GetTickCount();
    POINT at = flower::SlotPoint(flower::SlotOfItem(item));
    Move(POINT{at.x + 2, at.y - 1});
    EXPECT_EQ(ring.GetHotItem(), int(item));
    // The menu has closed by the time the item runs.
    bool closedFirst = false;
    menu.onRun = [&] { closedFirst = !ring.IsShown() && gui::GetCapture() != ring.GetSafeHwnd(); };
    Click(POINT{at.x + 2, at.y - 1}, item == 3 ? Qt::RightButton : Qt::LeftButton);
    ASSERT_EQ(menu.runs.size(), 1u);
    const RunCall& run = menu.runs[0];
    EXPECT_EQ(run.item, item);
    ring.ClientToScreen(&at);
    EXPECT_EQ(run.x, at.x);
    EXPECT_EQ(run.y, at.y);
    EXPECT_TRUE(run.tick >= before && run.tick <= after) << run.tick;
    EXPECT_TRUE(closedFirst);
    ExpectClosed();
    EXPECT_TRUE(OwnerActiveAgain());
  }
}

TEST_F(FlowerTest, ClosesWithoutAChoiceOnTheCentreOutsideEscapeFocusLossAndCaptureLoss) {
  gui::GWindow other;
  ASSERT_TRUE(other.Create(static_cast<gui::GWindow*>(nullptr), RECT{600, 400, 700, 480}, 0));
  const int c = kSize / 2;
  const struct {
    const char* name;
    std::function<void()> act;
  } cases[] = {
      {"release in the centre", [&] { Click(POINT{c - 4, c + 5}); }},
      {"release outside", [&] { Click(POINT{kSize + 30, c}); }},
      {"release on an empty cell", [&] { Click(flower::SlotPoint(6)); }},
      {"release on an empty corner", [&] { Click(POINT{10, kSize - 10}); }},
      {"escape", [&] { ring.SendMessage(WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"focus loss",
       [&] {
         other.ShowWindow(SW_SHOW);
         ASSERT_TRUE(WaitFor([&] { return !ring.IsWindowVisible(); }));
         other.ShowWindow(SW_HIDE);
       }},
      {"capture loss", [&] { other.SetCapture(); }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeMenu menu(SomeLabels());
    PopupInTheMiddle(&menu);
    Move(flower::SlotPoint(2));  // something was hovered on the way
    ASSERT_EQ(ring.GetHotItem(), 2);
    k.act();
    EXPECT_TRUE(menu.runs.empty());
    ExpectClosed();
    EXPECT_EQ(ring.GetHotItem(), -1);
    // A mouse that comes back finds nothing to choose.
    ring.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(WORD(flower::SlotPoint(2).x), WORD(flower::SlotPoint(2).y)));
    EXPECT_TRUE(menu.runs.empty());
    gui::ReleaseCapture();
    if (std::string(k.name) == "focus loss") {
      EXPECT_NE(gui::GetActiveWindow(), owner.GetSafeHwnd()) << "the other window keeps the keys";
      owner.GetWidget()->activateWindow();
    }
    ASSERT_TRUE(OwnerActiveAgain());
  }
}

TEST_F(FlowerTest, PoppingUpAgainTakesTheNewPointAndProvider) {
  FakeMenu first(SomeLabels());
  FakeMenu second({{5, u"five"}});
  PopupInTheMiddle(&first);
  const POINT m = Middle();
  ring.Popup(m.x + 7, m.y - 3, &second);
  RECT rc;
  ring.GetWindowRect(&rc);
  EXPECT_EQ(rc.left, m.x + 7 - kSize / 2);
  Move(flower::SlotPoint(3));
  EXPECT_EQ(ring.GetHotItem(), -1) << "the second tool has no item 3";
  Move(flower::SlotPoint(5));
  EXPECT_EQ(ring.GetCentreText(), u"five");
  Click(flower::SlotPoint(5));
  EXPECT_TRUE(first.runs.empty());
  ASSERT_EQ(second.runs.size(), 1u);
  EXPECT_EQ(second.runs[0].item, 5u);
}

// Translucent: transparent around the shapes, the faces partly see-through, soft edges
// between; the window shows that alpha. Opaque: every pixel solid.
TEST_F(FlowerTest, TranslucentWithSoftEdgesOrOpaque) {
  std::map<UINT, std::u16string> labels = SomeLabels();
  labels[206] = u"画笔切换";
  FakeMenu menu(labels);
  const int c = kSize / 2;
  for (bool translucent : {false, true}) {
    SCOPED_TRACE(translucent);
    CFlowerWnd w;
    ASSERT_TRUE(w.Create(&owner, translucent));
    EXPECT_EQ(w.IsTranslucent(), translucent);
    PopupInTheMiddle(&menu, &w);
    EXPECT_EQ(w.GetScreenImage()->KeepsAlpha(), translucent);
    int solid = 0, edge = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const uint32_t a = Alpha(w, POINT{x, y});
        solid += a == 0xFF;
        edge += a > 0x60 && a < 0xD0;  // neither a face, nor the shadow, nor clear
      }
    if (!translucent) {
      EXPECT_EQ(solid, kSize * kSize);
    } else {
      EXPECT_EQ(Alpha(w, POINT{0, 0}), 0u) << "clear at the window's corner";
      for (POINT face : {POINT{20, 80}, POINT{c + 75, c + 12}}) {
        EXPECT_GT(Alpha(w, face), 0xC0u) << face.x << "," << face.y;
        EXPECT_LT(Alpha(w, face), 0xF0u) << face.x << "," << face.y;
      }
      EXPECT_GT(edge, 400) << "soft edges around the ring and the sectors";
      const QImage shown = w.GetWidget()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
      EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0) << "the window shows the image's alpha";
      EXPECT_NEAR(qAlpha(shown.pixel(20, 80)), int(Alpha(w, POINT{20, 80})), 1);
    }
    w.Cancel();
    ASSERT_TRUE(OwnerActiveAgain());
  }
}

class FlowerFrameTest : public AppTest {};

TEST_F(FlowerFrameTest, TheFrameOpensTheRingMenuTheSettingAsksFor) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = Frame();
  ASSERT_NE(frame->GetRingMenu(false), nullptr);
  ASSERT_NE(frame->GetRingMenu(true), nullptr);
  EXPECT_FALSE(frame->GetRingMenu(false)->IsTranslucent());
  EXPECT_TRUE(frame->GetRingMenu(true)->IsTranslucent());
  FakeMenu menu({{3, u"调色板"}, {204, u"视觉翻转"}}, IDB_RING_PAINT);
  const POINT m{300, 260};
  for (int alpha : {0, 1, 0}) {
    SCOPED_TRACE(alpha);
    app->nFlowerAlphaEnable = alpha;
    frame->PopupRingMenu(m.x, m.y, &menu);
    CFlowerWnd* shown = frame->GetRingMenu(alpha != 0);
    EXPECT_TRUE(shown->IsShown());
    EXPECT_FALSE(frame->GetRingMenu(alpha == 0)->IsShown()) << "one ring at a time";
    EXPECT_EQ(gui::GetCapture(), shown->GetSafeHwnd());
    RECT rc;
    shown->GetWindowRect(&rc);
    EXPECT_EQ(rc.left + kSize / 2, m.x);
    EXPECT_EQ(rc.top + kSize / 2, m.y);
  }
  CFlowerWnd* ring = frame->GetRingMenu(false);
  ring->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(WORD(flower::SlotPoint(3).x), WORD(flower::SlotPoint(3).y)));
  ring->SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(WORD(flower::SlotPoint(3).x), WORD(flower::SlotPoint(3).y)));
  ASSERT_EQ(menu.runs.size(), 1u);
  EXPECT_EQ(menu.runs[0].item, 3u);
  EXPECT_FALSE(ring->IsShown());
}

// The paint tool's ring over a piece of canvas, opaque and translucent, each hovered at one
// item, into ring_menu.png.
TEST_F(FlowerTest, APictureOfTheRingMenu) {
  const std::map<UINT, std::u16string> paint = {
      {3, u"调色板"}, {4, u"选择图层"}, {7, u"笔设2"},   {8, u"笔设1"},     {9, u"操作切换"}, {10, u"画笔2"},
      {11, u"画笔1"}, {200, u"辙消"},   {202, u"取色"}, {204, u"视觉翻转"}, {206, u"画笔切换"}};
  FakeMenu menu(paint, IDB_RING_PAINT);
  ASSERT_TRUE(menu.HasIcons());
  const int margin = 24;
  QImage sheet(3 * (kSize + margin) + margin, kSize + 2 * margin, QImage::Format_ARGB32);
  {
    // A canvas with some paint on it, to see the translucency against.
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, sheet.width(), sheet.height());
    sky.setColorAt(0, QColor(0xf4, 0xe9, 0xd2));
    sky.setColorAt(1, QColor(0xc9, 0xdd, 0xe8));
    p.fillRect(sheet.rect(), sky);
    const QColor paints[] = {QColor(0xd0, 0x45, 0x3a), QColor(0x2f, 0x6f, 0xb5), QColor(0x3a, 0x9a, 0x55),
                             QColor(0x20, 0x24, 0x2a)};
    for (int i = 0; i < 14; ++i) {
      QPainterPath stroke;
      const double y0 = 20 + i * 22;
      stroke.moveTo(-20, y0);
      stroke.cubicTo(sheet.width() * 0.3, y0 - 60 + (i % 3) * 40, sheet.width() * 0.6, y0 + 70, sheet.width() + 20,
                     y0 + 10);
      p.setPen(QPen(paints[i % 4], 3 + (i % 5) * 3, Qt::SolidLine, Qt::RoundCap));
      p.drawPath(stroke);
    }
  }
  const struct {
    bool translucent;
    POINT hover;
  } shots[] = {{false, flower::SlotPoint(3)}, {true, flower::SlotPoint(9)}, {true, POINT{14, 16}}};
  for (int i = 0; i < 3; ++i) {
    CFlowerWnd w;
    ASSERT_TRUE(w.Create(&owner, shots[i].translucent));
    PopupInTheMiddle(&menu, &w);
    w.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(WORD(shots[i].hover.x), WORD(shots[i].hover.y)));
    ASSERT_NE(w.GetHotItem(), -1);
    w.UpdateWindow();
    gui::ScreenImage* image = w.GetScreenImage();
    QImage face(kSize, kSize, QImage::Format_ARGB32);
    {
      GAutoLock lock(image->GetLock());
      for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) face.setPixel(x, y, image->Pixel(x, y));
    }
    QPainter(&sheet).drawImage(margin + i * (kSize + margin), margin, face);
    w.Cancel();
    ASSERT_TRUE(OwnerActiveAgain());
  }
  const QString path = QString::fromUtf8(TEST_OUTPUT_DIR "/ring_menu.png");
  ASSERT_TRUE(sheet.save(path));
}

}  // namespace
