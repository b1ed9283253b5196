// The owner-drawn list base and the property list on it, without the program: a small
// property set of our own (a heading, ranges, booleans, a choice, an item with a deeper one),
// a command menu, an observer and a page bar that log what they hear. Rows are read from the
// list's screen image; the mouse is sent as window messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <string>
#include <thread>
#include <vector>

#include "panels/VertBarMessages.h"
#include "frame/ResourceArt.h"
#include "frame/ResourceIds.h"
#include "gui/Recorder.h"
#include "odata/GError.h"
#include "panels/MyListBox.h"
#include "panels/MyListProperty.h"
#include "platform/base/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/Edit.h"
#include "platform/gui/ListPopup.h"

namespace {

constexpr int kRow = CMyListBox::kRowHeight;
constexpr int kWidth = 300, kHeight = 300;

// Rows of the page from item 0: the heading, Size, Steps, Arc, Mode, Lock, Depth (Inner is
// deeper, so it lives on Depth's sub-page).
enum Row { R_HEAD, R_SIZE, R_STEPS, R_ARC, R_MODE, R_LOCK, R_DEPTH, R_ITEMS };
enum Index { I_HEAD, I_SIZE, I_STEPS, I_ARC, I_MODE, I_LOCK, I_DEPTH, I_INNER };

class FakeProperty : public OProperty {
 public:
  FakeProperty() {
    items = {
        {0, 0, 0, 0, 0, 0, u"HEAD", u"Brush", nullptr, nullptr},
        {0, 1, 0, 2500, 0, 10000, u"SIZE", u"Size", nullptr, u"How big"},
        {0, 1, 0, 3, 1, 5, u"STEPS", u"Steps", nullptr, nullptr},
        {0, 2, 0, 0, 0, 1, u"ARC", u"Arc", u"Off|On", nullptr},
        {0, 3, 0, 0, 0, 3, u"MODE", u"Mode", u"Normal||Multiply|Screen", nullptr},
        {0, 2, 0, 1, 0, 1, u"LOCK", u"Lock", nullptr, nullptr},
        {0, 1, 0, 5, 0, 10, u"DEPTH", u"Depth", nullptr, nullptr},
        {1, 1, 0, 4, 0, 10, u"INNER", u"Inner", nullptr, nullptr},
    };
  }
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  void* GetInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OProperty") == 0 ? static_cast<OProperty*>(this) : nullptr;
  }
  UINT GetCount() override { return UINT(items.size()); }
  PropertyItem* FindByName(UINT* index, const char16_t* key) override {
    for (UINT i = *index; i < items.size(); ++i)
      if (plat::StrCmp(items[i].key, key) == 0) return &items[*index = i];
    *index = UINT(items.size());
    return nullptr;
  }
  PropertyItem* GetItem(UINT index) override { return index < items.size() ? &items[index] : nullptr; }
  PropertyItem* SetValue(UINT index, int32_t value) override {
    if (index >= items.size()) return nullptr;
    items[index].value = ClampPropertyValue(items[index], value);
    return &items[index];
  }
  int32_t Value(int index) const { return items[size_t(index)].value; }

  std::vector<PropertyItem> items;
  int refs = 0;
};

// What the owner, the menu and the page bar hear, in one order.
using Log = std::vector<std::string>;

class Observer : public XModifyNotify {
 public:
  explicit Observer(Log& log) : m_log(log) {}
  void BeginModify(const PropertyItem* item, UINT index, OProperty*) override {
    m_log.push_back("begin " + std::to_string(index) + " " + std::to_string(item->value));
  }
  void Modifying(const PropertyItem* item) override { m_log.push_back("modifying " + std::to_string(item->value)); }
  void EndModify(const PropertyItem* item, BOOL cancelled) override {
    m_log.push_back("end " + std::to_string(item->value) + (cancelled ? " cancelled" : ""));
  }
  void FinishOperation() override { ++finishes; }
  void InvalidateView() override { ++invalidates; }
  int finishes = 0;
  int invalidates = 0;

 private:
  Log& m_log;
};

class Menu : public OAppendixMenu {
 public:
  explicit Menu(Log& log) : m_log(log) {}
  const char16_t* GetLabel(int index) override { return labels[index]; }
  const char16_t* GetHelp(int index) override { return helps[index]; }
  void OnHit(int index) override { m_log.push_back("hit " + std::to_string(index)); }
  int GetCount() override { return 3; }
  const char16_t* labels[3] = {u"Invert", u"Flip", u"Clear"};
  const char16_t* helps[3] = {u"Inverts", u"Flips", u"Clears"};

 private:
  Log& m_log;
};

COLORREF At(const gui::ScreenImage& image, int x, int y) {
  const uint32_t p = image.Pixel(x, y);
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

class PropertyListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterProgramResources(); }

  void SetUp() override {
    top.resize(kWidth + 40, kHeight + 40);
    top.show();
    ASSERT_TRUE(bar.Create(&top, RECT{0, 0, kWidth + 40, kHeight + 40}));
    bar.onMessage = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
      if (msg == WM_MYVB_NAVIGATE) log.push_back("navigate " + std::to_string(wParam));
      if (msg == WM_MYVB_PUSHPAGE) pushed = reinterpret_cast<HWND>(wParam);
      return 1;
    };
    list.SetFont(font.handle);
    list.SetPageBar(&bar);
    list.SetModifyNotify(&observer);
    ASSERT_TRUE(list.Create(&bar, RECT{0, 0, kWidth, kHeight}, 5));
  }
  void TearDown() override {
    gui::ReleaseCapture();
    bar.onMessage = nullptr;
  }

  void Fill(OAppendixMenu* menu = nullptr) {
    list.NewProperty(0, &set, menu);
    log.clear();
  }
  int Lw() const { return list.GetLabelWidth(); }
  static int Y(int row) { return row * kRow + kRow / 2; }
  LRESULT Send(UINT msg, int x, int y, WPARAM keys = 0) { return list.SendMessage(msg, keys, MakePointLParam(x, y)); }
  void Down(int x, int y) { Send(WM_LBUTTONDOWN, x, y, MK_LBUTTON); }
  void Move(int x, int y) { Send(WM_MOUSEMOVE, x, y, MK_LBUTTON); }
  void Up(int x, int y) { Send(WM_LBUTTONUP, x, y); }
  void Click(int x, int y) {
    Down(x, y);
    Up(x, y);
  }
  // The list's pixels, all painted now.
  const gui::ScreenImage& Shot() {
    list.SendMessage(WM_PAINT);
    return *list.GetScreenImage();
  }
  COLORREF Pixel(int x, int y) { return At(Shot(), x, y); }
  QLineEdit* Line() { return list.GetEdit()->GetWidget()->findChild<QLineEdit*>(); }
  void Key(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
  }
  void LongPress(int x, int y) {
    list.SetMouseSettings(30, 1);
    Down(x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Up(x, y);
    list.SetMouseSettings(300, 1);
  }

  // Deleted after the list that draws with it.
  struct Font {
    gui::HFONT handle = gui::CreateFont(14, gui::FW_NORMAL, u"Tahoma");
    ~Font() { gui::DeleteObject(handle); }
  };

  QWidget top;
  guitest::Recorder bar;
  Font font;
  Log log;
  Observer observer{log};
  FakeProperty set;
  CMyListProperty list;
  HWND pushed = nullptr;
};

// ---- filling and pages --------------------------------------------------------------------

TEST_F(PropertyListTest, FillsOneLevelAndPushesDeeperItemsOnASubPage) {
  Menu menu(log);
  Fill(&menu);
  ASSERT_EQ(list.GetItemRowCount(), int(R_ITEMS));
  ASSERT_EQ(list.GetCount(), R_ITEMS + 1 + 3);
  EXPECT_EQ(list.GetItemData(R_DEPTH), uintptr_t(I_DEPTH));
  std::u16string text;
  list.GetText(R_ITEMS, text);
  EXPECT_EQ(text, u"Separator");
  EXPECT_EQ(set.refs, 1);
  EXPECT_GE(Lw(), 64);
  EXPECT_TRUE(list.HasSubPage(R_DEPTH));
  EXPECT_FALSE(list.HasSubPage(R_SIZE));

  // A press on Depth's label pushes the sub-page that shows only the deeper item.
  Click(4, Y(R_DEPTH));
  CMyListProperty* sub = list.GetSubPage();
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(pushed, sub->GetSafeHwnd());
  EXPECT_EQ(sub->GetItemRowCount(), 1);
  EXPECT_EQ(sub->GetItemData(0), uintptr_t(I_INNER));
  EXPECT_EQ(set.refs, 2);

  // Closing the page lets go of the set.
  EXPECT_EQ(sub->SendMessage(WM_MYVB_PAGENOTIFY, 1), 1);
  EXPECT_EQ(set.refs, 1);
  EXPECT_EQ(list.SendMessage(WM_MYVB_PAGENOTIFY, 2), 0);

  // Filling from a deeper item: a lower level ends the page.
  set.items.push_back({0, 1, 0, 1, 0, 9, u"LATE", u"Late", nullptr, nullptr});
  set.items.push_back({1, 1, 0, 1, 0, 9, u"AFTER", u"After", nullptr, nullptr});
  list.NewProperty(I_INNER, &set, nullptr);
  EXPECT_EQ(list.GetItemRowCount(), 1);
}

TEST_F(PropertyListTest, RefusesToRefillDuringAnEditOrFromBeyondTheSet) {
  Fill();
  auto condition = [&](UINT start) -> std::u16string {
    try {
      list.NewProperty(start, &set, nullptr);
    } catch (GErrRecord* e) {
      std::u16string c = e->GetCondition();
      e->AddRef();
      e->Release();
      return c;
    }
    return u"";
  };
  EXPECT_EQ(condition(UINT(set.items.size())), u"!uItemStartPos<uItemCnt");
  LongPress(Lw() + 40, Y(R_SIZE));
  ASSERT_EQ(list.GetMode(), CMyListProperty::myEDIT);
  EXPECT_EQ(condition(0), u"!myREADY>=m_myState");
  Key(Line(), Qt::Key_Escape);
  EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);
  EXPECT_EQ(condition(0), u"");
}

// ---- drawing ------------------------------------------------------------------------------

TEST_F(PropertyListTest, RowsShowBarsCellsAndBoxes) {
  Fill();
  const int lw = Lw();
  // Size 2500 of 0..10000: light up to a quarter of the value column, then the row face.
  const int split = lw + (kWidth - lw) / 4;
  EXPECT_EQ(Pixel(split - 2, kRow * R_SIZE + 1), CMyListProperty::kLight);
  EXPECT_EQ(Pixel(split + 2, kRow * R_SIZE + 1), CMyListProperty::kFace);
  EXPECT_EQ(Pixel(lw, 1 + kRow * R_SIZE), CMyListBox::kGridColor);  // the column line
  EXPECT_EQ(Pixel(lw + 1, kRow * R_SIZE + kRow - 1), CMyListBox::kGridColor);  // the bottom line

  // Steps 1..5 as five cells at the right end, the current one (3) framed.
  const int cells = list.GetCellsLeft(R_STEPS);
  ASSERT_EQ(cells, kWidth - 5 * CMyListProperty::kCellWidth);
  const int top = R_STEPS * kRow;
  EXPECT_EQ(Pixel(cells + 2 * 19 + 1, top + 1), CMyListProperty::kCellFrame);
  EXPECT_EQ(Pixel(cells + 1 * 19 + 1, top + 1), CMyListProperty::kLight);
  EXPECT_EQ(Pixel(cells + 3 * 19 + 1, top + 1), CMyListProperty::kFace);

  // The boxes and the arrow are the strip's cells at the right end.
  GCompRef<gui::CIconStrip> strip = new gui::CIconStrip;
  ASSERT_TRUE(strip->LoadFromResource(IDB_PROPERTYLIST, 10, 3));
  auto expectIcon = [&](int row, int column) {
    auto image = gui::CreateCompatibleBitmap(17, 17);
    gui::DeviceContext dc(image.get());
    dc.FillSolidRect(RECT{0, 0, 17, 17}, CMyListProperty::kFace);
    strip->DrawIcon(dc, 0, 0, column, 0, 1);
    const gui::ScreenImage& shot = Shot();
    int differing = 0;
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 17; ++x)
        differing += (shot.Pixel(kWidth - 17 + x, row * kRow + 1 + y) & 0xFFFFFF) != (image->Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differing, 0) << "row " << row;
  };
  expectIcon(R_ARC, CMyListProperty::ICON_UNCHECKED);
  expectIcon(R_LOCK, CMyListProperty::ICON_CHECKED);
  expectIcon(R_MODE, CMyListProperty::ICON_DROPDOWN);

  // A boolean without choice texts shows no text: its value column is the bare face.
  const gui::ScreenImage& shot = Shot();
  int inked = 0;
  for (int y = R_LOCK * kRow; y < R_LOCK * kRow + kRow - 1; ++y)
    for (int x = lw + 1; x < kWidth - 18; ++x) inked += At(shot, x, y) != CMyListProperty::kFace;
  EXPECT_EQ(inked, 0);
  // Arc shows "Off": some ink in its value column.
  inked = 0;
  for (int y = R_ARC * kRow; y < R_ARC * kRow + kRow - 1; ++y)
    for (int x = lw + 1; x < kWidth - 18; ++x) inked += At(shot, x, y) != CMyListProperty::kFace;
  EXPECT_GT(inked, 0);

  QImage png(reinterpret_cast<const uchar*>(shot.Bits()), shot.Width(), shot.Height(), shot.Pitch() * 4,
             QImage::Format_RGB32);
  EXPECT_TRUE(png.save(QString::fromUtf8(TEST_OUTPUT_DIR "/property_page.png")));
}

TEST_F(PropertyListTest, EmptyListAndTheAreaBelowTheRowsHaveTheirColours) {
  list.MoveWindow(RECT{0, 0, 120, 100});
  EXPECT_EQ(Pixel(5, 5), CMyListBox::kEmptyFace);
  EXPECT_EQ(Pixel(100, 95), CMyListBox::kEmptyFace);
  set.items.resize(3);
  Fill();
  EXPECT_EQ(Pixel(5, 3 * kRow + 2), CMyListBox::kBelowFace);
  EXPECT_EQ(Pixel(110, 99), CMyListBox::kBelowFace);
  EXPECT_NE(Pixel(110, 3 * kRow - 5), CMyListBox::kEmptyFace);
}

// ---- editing ------------------------------------------------------------------------------

TEST_F(PropertyListTest, SliderDragStartsBeyondTheToleranceAndNeverStopsAtTheScreenEdge) {
  Fill();
  list.SetMouseSettings(300, 1);
  const int x0 = Lw() + 40, y = Y(R_SIZE);
  Down(x0, y);
  Move(x0 + 3, y);  // within tolerance + 2
  EXPECT_EQ(list.GetMode(), CMyListProperty::myPENDING);
  EXPECT_TRUE(log.empty());
  Move(x0 + 4, y);
  ASSERT_EQ(list.GetMode(), CMyListProperty::myDRAG);
  ASSERT_EQ(log, Log({"begin 1 2500"}));
  Move(x0 + 14, y);
  EXPECT_EQ(set.Value(I_SIZE), 2510);

  // Past the right edge of the screen the pointer comes back at its left side; the value
  // goes on from there without a jump.
  POINT origin{0, 0};
  list.ClientToScreen(&origin);
  const RECT area = gui::GetWorkArea(origin);
  const int edgeX = area.right - 2 - origin.x;
  Move(edgeX, y);
  const int32_t atEdge = 2510 + (edgeX - (x0 + 14));
  EXPECT_EQ(set.Value(I_SIZE), atEdge);
  POINT cursor;
  gui::GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, area.left + 2);
  Move(area.left + 2 + 7 - origin.x, y);
  EXPECT_EQ(set.Value(I_SIZE), atEdge + 7);
  Up(0, y);
  EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);
  EXPECT_EQ(log.front(), "begin 1 2500");
  EXPECT_EQ(log.back(), "end " + std::to_string(atEdge + 7));
  EXPECT_EQ(std::count(log.begin(), log.end(), "modifying " + std::to_string(atEdge)), 1);
  EXPECT_EQ(gui::GetCapture(), nullptr);
}

TEST_F(PropertyListTest, ALongPressOpensTheNumberEntry) {
  Fill();
  const struct {
    int key;
    const char16_t* typed;
    int32_t stored;
    Log heard;
  } cases[] = {
      {Qt::Key_Return, u"99999", 10000, {"begin 1 2500", "end 10000"}},  // clamped
      {Qt::Key_Return, u"-7", 0, {"begin 1 2500", "end 0"}},
      {Qt::Key_Escape, u"42", 2500, {}},
      {Qt::Key_Return, u"abc", 2500, {}},  // no number: nothing changes
  };
  for (const auto& c : cases) {
    set.items[I_SIZE].value = 2500;
    log.clear();
    LongPress(Lw() + 40, Y(R_SIZE));
    ASSERT_EQ(list.GetMode(), CMyListProperty::myEDIT);
    ASSERT_TRUE(list.GetEdit()->IsWindowVisible());
    EXPECT_EQ(list.GetEdit()->GetWindowText(), u"2500");
    list.GetEdit()->SetWindowText(c.typed);
    Key(Line(), c.key);
    EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);
    EXPECT_FALSE(list.GetEdit()->IsWindowVisible());
    EXPECT_EQ(set.Value(I_SIZE), c.stored) << plat::ToUtf8(c.typed);
    EXPECT_EQ(log, c.heard) << plat::ToUtf8(c.typed);
  }
}

TEST_F(PropertyListTest, ShortClicksSetCellsBarsAndBooleans) {
  Fill();
  const int cells = list.GetCellsLeft(R_STEPS);
  Click(cells + 4 * 19 + 5, Y(R_STEPS));
  EXPECT_EQ(set.Value(I_STEPS), 5);
  EXPECT_EQ(log, Log({"begin 2 3", "end 5"}));
  log.clear();
  Click(cells + 4 * 19 + 5, Y(R_STEPS));  // the current cell again
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);

  // A click on the bar at the middle of the value column sets the middle of the range.
  const int lw = Lw();
  Click(lw + (kWidth - lw) / 2, Y(R_SIZE));
  EXPECT_NEAR(set.Value(I_SIZE), 5000, 10000 / (kWidth - lw) + 1);

  log.clear();
  Click(kWidth - 8, Y(R_ARC));
  Click(kWidth - 8, Y(R_LOCK));
  EXPECT_EQ(set.Value(I_ARC), 1);
  EXPECT_EQ(set.Value(I_LOCK), 0);
  EXPECT_EQ(log, Log({"begin 3 0", "end 1", "begin 5 1", "end 0"}));
  // Released on another row: nothing.
  log.clear();
  Down(kWidth - 8, Y(R_ARC));
  Up(kWidth - 8, Y(R_LOCK));
  EXPECT_TRUE(log.empty());
}

TEST_F(PropertyListTest, ChoicesComeFromThePopupOrStepRoundWhenItHasNoRoom) {
  Fill();
  Click(kWidth - 8, Y(R_MODE));
  ASSERT_EQ(list.GetMode(), CMyListProperty::myCHOICE);
  CListPopup* popup = list.GetPopup();
  ASSERT_TRUE(popup->IsOpen());
  gui::ListBox* rows = popup->GetListBox();
  ASSERT_EQ(rows->GetCount(), 3);  // the empty text is left out
  EXPECT_EQ(rows->GetCurSel(), 0);
  rows->SetCurSel(2);
  popup->SendMessage(WM_KEYDOWN, VK_RETURN);
  gui::RunPostedMessages();
  EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);
  EXPECT_EQ(set.Value(I_MODE), 3);  // "Screen", not the popup's row number
  EXPECT_EQ(log, Log({"begin 4 0", "end 3"}));

  // Cancelled: nothing.
  log.clear();
  Click(kWidth - 8, Y(R_MODE));
  ASSERT_TRUE(popup->IsOpen());
  EXPECT_EQ(rows->GetCurSel(), 2);
  popup->SendMessage(WM_KEYDOWN, VK_ESCAPE);
  gui::RunPostedMessages();
  EXPECT_EQ(set.Value(I_MODE), 3);
  EXPECT_TRUE(log.empty());

  // Too narrow for the popup: each click steps to the next choice that has a text.
  list.MoveWindow(RECT{0, 0, Lw() + 15, kHeight});
  std::vector<int32_t> seen;
  for (int k = 0; k < 3; ++k) {
    Click(Lw() + 8, Y(R_MODE));
    EXPECT_FALSE(popup->IsOpen());
    seen.push_back(set.Value(I_MODE));
  }
  EXPECT_EQ(seen, std::vector<int32_t>({0, 2, 3}));
}

TEST_F(PropertyListTest, ACommandRowGoesBackAPageThenRunsItsCommand) {
  Menu menu(log);
  Fill(&menu);
  const int second = R_ITEMS + 2;
  Click(Lw() - 10, Y(second));  // on the label column: nothing
  Click(kWidth / 2, Y(R_ITEMS));  // the separator: nothing
  EXPECT_TRUE(log.empty());
  Click(kWidth - 10, Y(second));
  EXPECT_EQ(log, Log({"navigate 1", "hit 1"}));

  // The bar may empty the page as it goes back: the command keeps the row it was picked on.
  log.clear();
  bar.onMessage = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
    if (msg != WM_MYVB_NAVIGATE) return 1;
    log.push_back("navigate " + std::to_string(wParam));
    list.NewProperty(0, nullptr, nullptr);
    return 1;
  };
  Click(kWidth - 10, Y(second));
  EXPECT_EQ(log, Log({"navigate 1", "hit 1"}));
  Fill(&menu);

  std::u16string tip;
  RECT area;
  EXPECT_TRUE(list.OnToolHitTest(POINT{kWidth - 10, Y(R_ITEMS + 3)}, &tip, &area));
  EXPECT_EQ(tip, u"Clears");
  EXPECT_TRUE(list.OnToolHitTest(POINT{5, Y(R_SIZE)}, &tip, &area));
  EXPECT_EQ(tip, u"How big");
  EXPECT_FALSE(list.OnToolHitTest(POINT{kWidth - 10, Y(R_SIZE)}, &tip, &area));
}

TEST_F(PropertyListTest, LosingTheMouseEndsADragAndTheRightButtonGoesBack) {
  Fill();
  const HCURSOR before = gui::GetCursor();
  const int x0 = Lw() + 40, y = Y(R_SIZE);
  Down(x0, y);
  EXPECT_EQ(observer.finishes, 1);
  Move(x0 + 10, y);
  Move(x0 + 30, y);
  ASSERT_EQ(list.GetMode(), CMyListProperty::myDRAG);
  EXPECT_EQ(gui::GetCursor(), nullptr);  // hidden while dragging
  guitest::Recorder other;
  ASSERT_TRUE(other.Create(&top, RECT{0, 0, 10, 10}));
  gui::SetCapture(other.GetSafeHwnd());
  EXPECT_EQ(list.GetMode(), CMyListProperty::myREADY);
  EXPECT_EQ(log, Log({"begin 1 2500", "modifying 2520", "end 2520"}));
  EXPECT_NE(gui::GetCursor(), nullptr);
  POINT cursor, press{x0, y};
  gui::GetCursorPos(&cursor);
  list.ClientToScreen(&press);
  EXPECT_EQ(cursor.x, press.x);
  EXPECT_EQ(cursor.y, press.y);
  gui::ReleaseCapture();
  gui::SetCursor(before);

  // A pending press that loses the mouse is dropped.
  log.clear();
  Down(kWidth - 8, Y(R_ARC));
  gui::SetCapture(other.GetSafeHwnd());
  gui::ReleaseCapture();
  Up(kWidth - 8, Y(R_ARC));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(set.Value(I_ARC), 0);

  const int invalidates = observer.invalidates;
  Click(kWidth - 8, Y(R_ARC));
  EXPECT_EQ(observer.invalidates, invalidates + 1);

  log.clear();
  Send(WM_RBUTTONUP, 20, Y(R_SIZE));
  EXPECT_EQ(log, Log({"navigate 1"}));
}

TEST_F(PropertyListTest, HoverLightsASubPageLabelAndACommandRow) {
  Menu menu(log);
  Fill(&menu);
  const int command = R_ITEMS + 1;
  Send(WM_MOUSEMOVE, 5, Y(R_DEPTH));
  EXPECT_EQ(list.GetHotRow(), int(R_DEPTH));
  EXPECT_EQ(Pixel(1, R_DEPTH * kRow + 1), CMyListProperty::kLight);
  Send(WM_MOUSEMOVE, 5, Y(R_SIZE));  // hot, but without a sub-page it keeps its face
  EXPECT_EQ(Pixel(1, R_SIZE * kRow + 1), CMyListProperty::kFace);
  EXPECT_EQ(Pixel(1, R_DEPTH * kRow + 1), CMyListProperty::kFace);
  Send(WM_MOUSEMOVE, kWidth - 3, Y(command));
  EXPECT_EQ(list.GetHotRow(), command);
  EXPECT_EQ(Pixel(kWidth - 3, command * kRow + 1), CMyListProperty::kLight);
  list.SendMessage(WM_MOUSELEAVE);
  EXPECT_EQ(list.GetHotRow(), -1);
  EXPECT_EQ(Pixel(kWidth - 3, command * kRow + 1), CMyListProperty::kFace);
}

// ---- the list base ------------------------------------------------------------------------

class RefusingList : public CMyListBox {
 public:
  BOOL OnSelChanging(int newRow, int oldRow) override {
    asked.push_back({newRow, oldRow});
    return allow;
  }
  int OnSelChanged() override { return 7; }
  bool allow = false;
  std::vector<std::pair<int, int>> asked;
};

TEST_F(PropertyListTest, ListBaseMovesItemDataAndLetsTheDescendantRefuseASelection) {
  RefusingList base;
  ASSERT_TRUE(base.Create(WS_VISIBLE, RECT{0, 0, 100, 100}, &bar, 9));
  const char names[] = "PQRS";
  const struct {
    int to, from;
    BOOL moved;
    const char* after;
  } cases[] = {{2, 2, FALSE, "PQRS"}, {0, 3, TRUE, "SPQR"}, {3, 0, TRUE, "QRSP"}, {1, 2, TRUE, "PRQS"}, {4, 0, FALSE, "PQRS"}};
  for (const auto& c : cases) {
    base.ResetContent();
    for (int i = 0; i < 4; ++i) base.SetItemDataPtr(base.AddString(u""), const_cast<char*>(names + i));
    EXPECT_EQ(base.MoveItemDataPtr(c.to, c.from), c.moved) << c.to << " " << c.from;
    std::string after;
    for (int i = 0; i < 4; ++i) after += *static_cast<char*>(base.GetItemDataPtr(i));
    EXPECT_EQ(after, c.after) << c.to << " " << c.from;
  }
  base.SetCurSel(1);
  EXPECT_EQ(base.SetCurSelect(2), 0);
  EXPECT_EQ(base.GetCurSel(), 1);
  base.allow = true;
  EXPECT_EQ(base.SetCurSelect(3), 7);
  EXPECT_EQ(base.GetCurSel(), 3);
  EXPECT_EQ(base.asked, (std::vector<std::pair<int, int>>{{2, 1}, {3, 1}}));
  // Keys and double clicks change nothing.
  base.SendMessage(WM_KEYDOWN, VK_UP);
  base.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MakePointLParam(5, 5));
  EXPECT_EQ(base.GetCurSel(), 3);
  RECT rc;
  EXPECT_TRUE(base.GetItemsRect(&rc, TRUE));
  EXPECT_EQ(rc.bottom, 4 * kRow);
}

}  // namespace
