// The list box window: scrolling with its bar, painting through DrawItem, selection by mouse
// and keys with notifications, the LB_ answers, and what subclasses build on it (a long press
// and a drag that reorders rows with auto-scroll, on their own timers and capture).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <vector>

#include "Recorder.h"
#include "platform/gui/Application.h"
#include "platform/gui/ListBox.h"
#include "platform/gui/Messages.h"

namespace {

using guitest::Recorder;
using guitest::WaitFor;

constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT;
constexpr UINT kId = 7;
constexpr COLORREF kBackground = RGB(0xF4, 0xF8, 0xF8);
constexpr COLORREF kSelected = RGB(0, 0, 0);

// Each row shows a colour of its item data, so the pixels tell which row is where.
COLORREF RowColor(uintptr_t data) { return RGB(BYTE(40 + data * 3), BYTE(250 - data * 2), BYTE(data * 37)); }
QRgb Rgb(COLORREF c) { return (QRgb(GetRValue(c)) << 16) | (QRgb(GetGValue(c)) << 8) | GetBValue(c); }

class TestList : public gui::ListBox {
 public:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_ERASEBKGND) ++erases;
    if (msg == WM_ERASEBKGND && ownErase) {
      reinterpret_cast<gui::DeviceContext*>(wParam)->FillSolidRect(RECT{0, 0, 1000, 1000}, *ownErase);
      return 1;
    }
    return ListBox::WindowProc(msg, wParam, lParam);
  }
  std::vector<gui::MEASUREITEMSTRUCT> measured;
  std::vector<int> drawn;
  int erases = 0;
  const COLORREF* ownErase = nullptr;

 protected:
  void MeasureItem(gui::MEASUREITEMSTRUCT* mis) override {
    measured.push_back(*mis);
    mis->itemHeight = 20;
  }
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override {
    drawn.push_back(int(dis->itemID));
    EXPECT_EQ(dis->itemData, GetItemData(int(dis->itemID)));
    RECT rc;
    GetItemRect(int(dis->itemID), &rc);
    EXPECT_EQ(dis->rcItem.top, rc.top);
    dis->pDC->FillSolidRect(dis->rcItem, (dis->itemState & ODS_SELECTED) ? kSelected : RowColor(dis->itemData));
  }
};

// The WM_COMMAND notifications a parent got, as (wParam, lParam).
std::vector<std::pair<WPARAM, LPARAM>> Commands(const Recorder& parent) {
  std::vector<std::pair<WPARAM, LPARAM>> out;
  for (const guitest::Msg& m : parent.Of({WM_COMMAND})) out.emplace_back(m.wParam, m.lParam);
  return out;
}

void Mouse(gui::GWindow& w, QEvent::Type type, QPointF local, Qt::MouseButtons buttons = Qt::LeftButton) {
  QWidget* widget = w.GetWidget();
  Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent ev(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &ev);
}

// What the widget shows, after whatever repaint was pending.
QImage Shot(gui::GWindow& w) {
  gui::RunPostedMessages();
  return w.GetWidget()->grab().toImage();
}

class ListBoxWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    top.resize(300, 300);
    top.show();
    ASSERT_TRUE(parent.Create(&top, RECT{0, 0, 300, 300}));
  }
  void TearDown() override { gui::ReleaseCapture(); }

  // n rows (data i, text "row i") in a client area 205 pixels high: ten whole rows and the
  // top of the eleventh.
  void Make(TestList& list, int n) {
    list.SetBackgroundColor(kBackground);
    ASSERT_TRUE(list.Create(kStyle, RECT{10, 10, 160, 215}, &parent, kId));
    for (int i = 0; i < n; ++i) {
      std::u16string text = u"row " + std::u16string(1, char16_t(u'0' + i % 10));
      ASSERT_EQ(list.AddString(text.c_str()), i);
      list.SetItemData(i, uintptr_t(i));
    }
    Shot(list);
    list.drawn.clear();
    list.erases = 0;
  }

  // Checks the first and last pixel line of every row place on the screen: the row that
  // belongs there (black when selected), or the background below the last row.
  static void ExpectRowsShown(TestList& list, const char* where) {
    QImage shot = Shot(list);
    const int top = list.GetTopIndex();
    RECT client;
    list.GetClientRect(&client);
    for (int k = 0; k * 20 < client.bottom; ++k) {
      int row = top + k;
      QRgb want = row >= list.GetCount()       ? Rgb(kBackground)
                  : row == list.GetCurSel() ? Rgb(kSelected)
                                            : Rgb(RowColor(list.GetItemData(row)));
      for (int y : {k * 20, std::min(k * 20 + 19, int(client.bottom) - 1)})
        ASSERT_EQ(shot.pixel(5, y) & 0xFFFFFFu, want) << where << ": place " << k << " y " << y;
    }
  }

  QWidget top;
  Recorder parent;
};

TEST_F(ListBoxWindow, ScrollingMovesRowsBarAndRepaintsOnlyTheUncoveredRows) {
  TestList list;
  Make(list, 64);
  ASSERT_EQ(list.measured.size(), 1u);
  EXPECT_EQ(list.measured[0].CtlType, ODT_LISTBOX);
  EXPECT_EQ(list.measured[0].CtlID, kId);
  RECT client;
  list.GetClientRect(&client);
  EXPECT_LT(client.right, 150);  // the bar shows
  EXPECT_EQ(client.bottom, 205);
  ExpectRowsShown(list, "start");

  const WPARAM wheelDown = MAKEWPARAM(0, WORD(int16_t(-WHEEL_DELTA)));
  const WPARAM wheelUp2 = MAKEWPARAM(0, WORD(int16_t(2 * WHEEL_DELTA)));
  const struct {
    UINT msg;
    WPARAM wParam;
    int top;
    int firstDrawn, lastDrawn;  // none when first > last
  } steps[] = {
      {WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 1, 10, 11},     // the pixels move up a row
      {WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0, 0, 0},
      {WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 10, 10, 20},
      {WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 40), 40, 40, 50},
      {WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 60), 54, 54, 63},  // the last page
      {WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 54, 1, 0},
      {WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), 44, 44, 53},
      {WM_MOUSEWHEEL, wheelDown, 47, 54, 57},
      {WM_MOUSEWHEEL, wheelUp2, 41, 41, 46},
      {WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0, 0, 10},
      {WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 54, 54, 63},
      {gui::LB_SETTOPINDEX, 20, 20, 20, 30},
      {gui::LB_SETTOPINDEX, 63, 54, 54, 63},
  };
  for (const auto& s : steps) {
    const std::string where = "step to " + std::to_string(s.top);
    list.drawn.clear();
    list.SendMessage(s.msg, s.wParam, 0);
    ExpectRowsShown(list, where.c_str());
    EXPECT_EQ(list.GetTopIndex(), s.top) << where;
    SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    list.GetScrollInfo(SB_VERT, &si);
    EXPECT_EQ(si.nPos, s.top) << where;
    EXPECT_EQ(si.nMax, 63) << where;
    EXPECT_EQ(si.nPage, 10u) << where;
    std::vector<int> want;
    for (int r = s.firstDrawn; r <= s.lastDrawn; ++r) want.push_back(r);
    EXPECT_EQ(list.drawn, want) << where;
  }

  // A taller list shows more rows: those of the last page come down to fill it.
  list.MoveWindow(RECT{10, 10, 160, 295});
  QCoreApplication::processEvents();
  EXPECT_EQ(list.GetTopIndex(), 50);
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
  list.GetScrollInfo(SB_VERT, &si);
  EXPECT_EQ(si.nPage, 14u);
  EXPECT_EQ(si.nPos, 50);
  ExpectRowsShown(list, "taller");
  list.MoveWindow(RECT{10, 10, 160, 215});
  QCoreApplication::processEvents();

  // Scrolling while a row waits for its repaint: the row is drawn at its new place.
  list.SetItemData(list.GetTopIndex() + 3, 99);
  list.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
  ExpectRowsShown(list, "scrolled before a repaint");
  list.SetItemData(list.GetTopIndex() + 4, 57);

  // Rows inserted or deleted move the rows under them.
  list.SetTopIndex(20);
  ExpectRowsShown(list, "top 20");
  ASSERT_EQ(list.DeleteString(23), 63);
  ExpectRowsShown(list, "deleted row 23");
  ASSERT_EQ(list.InsertString(21, u"again"), 21);
  ExpectRowsShown(list, "inserted at 21");
  list.SetItemData(21, 23);

  // Deleting rows brings the rows down to fill the client; the bar goes once all fit.
  while (list.GetCount() > 11) {
    const int left = list.DeleteString(0);
    ASSERT_EQ(left, list.GetCount());
  }
  EXPECT_EQ(list.GetTopIndex(), 1);
  ExpectRowsShown(list, "eleven rows");
  list.GetClientRect(&client);
  EXPECT_LT(client.right, 150);
  ASSERT_EQ(list.DeleteString(3), 10);
  EXPECT_EQ(list.GetTopIndex(), 0);
  list.GetClientRect(&client);
  EXPECT_EQ(client.right, 150);
  ExpectRowsShown(list, "ten rows");
  EXPECT_EQ(list.GetItemData(3), 57u);  // 53 went from the front, then row 3 (data 56)
}

TEST_F(ListBoxWindow, ClicksAndDragsSelectAndNotifyTheParent) {
  TestList list;
  Make(list, 64);
  const LPARAM self = LPARAM(list.GetSafeHwnd());
  const std::pair<WPARAM, LPARAM> selChange{MAKEWPARAM(kId, LBN_SELCHANGE), self};

  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 3 * 20 + 10));
  EXPECT_EQ(list.GetCurSel(), 3);
  EXPECT_EQ(gui::GetCapture(), list.GetSafeHwnd());
  ExpectRowsShown(list, "pressed");
  EXPECT_EQ(list.drawn, std::vector<int>{3});  // only the row that changed
  Mouse(list, QEvent::MouseMove, QPointF(200, 5 * 20 + 3));  // beside the list: the row's height counts
  EXPECT_EQ(list.GetCurSel(), 5);
  Mouse(list, QEvent::MouseButtonRelease, QPointF(200, 5 * 20 + 3), Qt::NoButton);
  EXPECT_EQ(gui::GetCapture(), nullptr);
  Mouse(list, QEvent::MouseMove, QPointF(20, 7 * 20 + 3), Qt::NoButton);  // not pressed: nothing
  EXPECT_EQ(list.GetCurSel(), 5);
  EXPECT_EQ(Commands(parent), (std::vector<std::pair<WPARAM, LPARAM>>{selChange, selChange}));

  // The same row again changes nothing; a double click is told.
  parent.log.clear();
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 5 * 20 + 10));
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 5 * 20 + 10), Qt::NoButton);
  Mouse(list, QEvent::MouseButtonDblClick, QPointF(20, 5 * 20 + 10));
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 5 * 20 + 10), Qt::NoButton);
  EXPECT_EQ(Commands(parent), (std::vector<std::pair<WPARAM, LPARAM>>{{MAKEWPARAM(kId, LBN_DBLCLK), self}}));

  // Held below the rows, the list scrolls and the selection follows the last whole row;
  // releasing stops it.
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 8 * 20 + 10));
  // (The pointer keeps moving out there, faster than the list scrolls.)
  ASSERT_TRUE(WaitFor([&] {
    Mouse(list, QEvent::MouseMove, QPointF(20, 260));
    return list.GetTopIndex() >= 6;
  }));
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 260), Qt::NoButton);
  const int stopped = list.GetTopIndex();
  EXPECT_EQ(list.GetCurSel(), stopped + 9);
  WaitFor([] { return false; }, 120);
  EXPECT_EQ(list.GetTopIndex(), stopped);
  ExpectRowsShown(list, "after the drag");
}

TEST_F(ListBoxWindow, KeysMoveTheSelectionIntoView) {
  TestList list;
  Make(list, 64);
  const struct {
    UINT vk;
    int sel, top;
  } keys[] = {
      {VK_DOWN, 0, 0},  {VK_DOWN, 1, 0},  {VK_END, 63, 54}, {VK_HOME, 0, 0}, {VK_NEXT, 9, 0},
      {VK_NEXT, 18, 9}, {VK_PRIOR, 9, 9}, {VK_UP, 8, 8},    {'A', 8, 8},     {VK_UP, 7, 7},
  };
  for (const auto& k : keys) {
    list.SendMessage(WM_KEYDOWN, k.vk, 1);
    EXPECT_EQ(list.GetCurSel(), k.sel) << k.vk;
    EXPECT_EQ(list.GetTopIndex(), k.top) << k.vk;
  }
  EXPECT_EQ(Commands(parent).size(), 9u);  // one per change
  ExpectRowsShown(list, "keys");
}

TEST_F(ListBoxWindow, AnEmptyListOnlyErases) {
  TestList list;
  Make(list, 0);
  list.Invalidate();
  QImage shot = Shot(list);
  EXPECT_EQ(list.erases, 1);
  EXPECT_TRUE(list.drawn.empty());
  RECT client;
  list.GetClientRect(&client);
  EXPECT_EQ(client.right, 150);  // no bar
  for (int y = 0; y < 205; y += 17)
    for (int x = 0; x < 150; x += 13) ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFFu, Rgb(kBackground)) << x << "," << y;

  // A subclass that erases itself keeps the default from painting over it.
  const COLORREF own = RGB(9, 99, 199);
  list.ownErase = &own;
  list.Invalidate();
  EXPECT_EQ(Shot(list).pixel(70, 100) & 0xFFFFFFu, Rgb(own));

  // The default rows: selected dark, the others and the rest left to the erase.
  gui::ListBox plain;
  plain.SetBackgroundColor(kBackground);
  ASSERT_TRUE(plain.Create(kStyle, RECT{170, 10, 290, 110}, &parent, 8));
  EXPECT_EQ(plain.GetItemHeight(), 16);  // nobody measured
  for (const char16_t* t : {u"a", u"b", u"c"}) plain.AddString(t);
  plain.SetCurSel(1);
  QImage rows = Shot(plain);
  EXPECT_EQ(rows.pixel(5, 5) & 0xFFFFFFu, Rgb(kBackground));
  EXPECT_EQ(rows.pixel(5, 16 + 5) & 0xFFFFFFu, 0x444440u);
  EXPECT_EQ(rows.pixel(5, 80) & 0xFFFFFFu, Rgb(kBackground));
  // Each row's text in it: dark ink on a plain row, light ink on the selected one.
  auto inkIn = [&](int row, auto isInk) {
    int ink = 0;
    for (int y = row * 16; y < row * 16 + 16; ++y)
      for (int x = 0; x < 120; ++x) ink += isInk(rows.pixel(x, y) & 0xFFFFFFu);
    return ink;
  };
  EXPECT_GT(inkIn(0, [](QRgb p) { return qGray(p) < 0x80; }), 0) << "\"a\" on a plain row";
  EXPECT_GT(inkIn(1, [](QRgb p) { return qGray(p) > 0x80; }), 0) << "\"b\" on the selected row";
  EXPECT_EQ(inkIn(3, [&](QRgb p) { return p != Rgb(kBackground); }), 0) << "below the rows";
}

TEST_F(ListBoxWindow, ListMessagesAnswerAsTheSystemDoes) {
  TestList list;
  Make(list, 3);
  const struct {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } bad[] = {
      {gui::LB_GETITEMDATA, 3, 0},        {gui::LB_SETITEMDATA, WPARAM(-2), 5},  {gui::LB_GETTEXTLEN, 3, 0},
      {gui::LB_DELETESTRING, 3, 0},       {gui::LB_SETCURSEL, 3, 0},             {gui::LB_SETCURSEL, WPARAM(-1), 0},
      {gui::LB_SETTOPINDEX, 3, 0},        {gui::LB_INSERTSTRING, 5, 0},          {gui::LB_SETITEMHEIGHT, 0, 0},
      {gui::LB_SETITEMHEIGHT, 0, 256},
  };
  for (const auto& b : bad) EXPECT_EQ(list.SendMessage(b.msg, b.wParam, b.lParam), gui::LB_ERR) << b.msg;
  char16_t buffer[16] = u"untouched";
  EXPECT_EQ(list.GetText(3, buffer), gui::LB_ERR);
  EXPECT_EQ(std::u16string(buffer), u"untouched");
  RECT rc{};
  EXPECT_EQ(list.GetItemRect(-1, &rc), gui::LB_ERR);
  EXPECT_EQ(list.GetItemDataPtr(9), reinterpret_cast<void*>(intptr_t(-1)));
  EXPECT_EQ(list.GetCount(), 3);

  // Texts stay with their rows; data starts at 0.
  EXPECT_EQ(list.InsertString(1, u"inserted"), 1);
  EXPECT_EQ(list.InsertString(-1, nullptr), 4);
  std::u16string text;
  EXPECT_EQ(list.GetText(1, text), 8);
  EXPECT_EQ(text, u"inserted");
  EXPECT_EQ(list.GetText(2, buffer), 5);
  EXPECT_EQ(std::u16string(buffer), u"row 1");
  EXPECT_EQ(list.GetTextLen(4), 0);
  EXPECT_EQ(list.GetItemData(1), 0u);
  int value = 0;
  EXPECT_EQ(list.SetItemDataPtr(1, &value), gui::LB_OKAY);
  EXPECT_EQ(list.GetItemDataPtr(1), &value);

  BOOL outside = FALSE;
  EXPECT_EQ(list.ItemFromPoint(POINT{5, 45}, outside), 2u);
  EXPECT_FALSE(outside);
  EXPECT_EQ(list.ItemFromPoint(POINT{5, 150}, outside), 4u);  // below the last row
  EXPECT_TRUE(outside);

  // A new row height moves the rows and the bar's page.
  EXPECT_EQ(list.SendMessage(gui::LB_SETITEMHEIGHT, 0, MAKELPARAM(25, 0)), gui::LB_OKAY);
  EXPECT_EQ(list.GetItemHeight(), 25);
  ASSERT_EQ(list.GetItemRect(2, &rc), gui::LB_OKAY);
  EXPECT_EQ(rc.top, 50);
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, 0, 0, 0};
  list.GetScrollInfo(SB_VERT, &si);
  EXPECT_EQ(si.nPage, 8u);
}

// What the program's lists do on the list box: a long press on a row, and dragging a row to
// another place with the list scrolling on a timer while the pointer is below it. The list's
// own selection tracking is left out: these messages never reach the base.
class GestureList : public TestList {
 public:
  static constexpr UINT_PTR kScrollTimer = 1, kLongPressTimer = 2;
  static constexpr UINT kLongPressMs = 80;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
      case WM_LBUTTONDOWN: {
        BOOL outside;
        pressed = int(ItemFromPoint(pt, outside));
        if (outside) pressed = -1;
        press = last = pt;
        SetCapture();
        SetTimer(kLongPressTimer, kLongPressMs);
        return 0;
      }
      case WM_MOUSEMOVE:
        last = pt;
        if (pressed >= 0 && !dragging && (std::abs(pt.x - press.x) > 4 || std::abs(pt.y - press.y) > 4)) {
          dragging = true;
          KillTimer(kLongPressTimer);
          SetTimer(kScrollTimer, 20);
        }
        return 0;
      case WM_TIMER: {
        RECT client;
        GetClientRect(&client);
        if (wParam == kLongPressTimer) {
          KillTimer(kLongPressTimer);
          longPressed = pressed;
        } else if (wParam == kScrollTimer && last.y >= client.bottom + 10) {
          SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
        } else if (wParam == kScrollTimer && last.y < -10) {
          SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
        }
        return 0;
      }
      case WM_LBUTTONUP: {
        BOOL outside;
        int to = int(ItemFromPoint(pt, outside));
        if (dragging && !outside) MoveRow(to, pressed);
        Stop();
        gui::ReleaseCapture();
        Invalidate();
        return 0;
      }
      case WM_CAPTURECHANGED:
        ++captureChanges;
        Stop();
        return 0;
      case WM_MOUSELEAVE: ++leaves; return 0;
      default: return TestList::WindowProc(msg, wParam, lParam);
    }
  }
  int longPressed = -1, captureChanges = 0, leaves = 0;

 private:
  void Stop() {
    KillTimer(kLongPressTimer);
    KillTimer(kScrollTimer);
    pressed = -1;
    dragging = false;
  }
  void MoveRow(int to, int from) {
    uintptr_t moving = GetItemData(from);
    for (int i = from; i != to; i += to > from ? 1 : -1) SetItemData(i, GetItemData(to > from ? i + 1 : i - 1));
    SetItemData(to, moving);
    SetCurSel(to);
  }
  int pressed = -1;
  bool dragging = false;
  POINT press{0, 0}, last{0, 0};
};

TEST_F(ListBoxWindow, SubclassesBuildLongPressAndDragReorderOnTimersAndCapture) {
  GestureList list;
  Make(list, 64);

  // A short click fires no long press; a held one does, once its time is up.
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 2 * 20 + 10));
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 2 * 20 + 10), Qt::NoButton);
  WaitFor([] { return false; }, 2 * GestureList::kLongPressMs);
  EXPECT_EQ(list.longPressed, -1);
  QElapsedTimer held;
  held.start();
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 4 * 20 + 10));
  ASSERT_TRUE(WaitFor([&] { return list.longPressed == 4; }));
  EXPECT_GE(held.elapsed(), qint64(GestureList::kLongPressMs) * 9 / 10);  // Qt's timers may be 5% early
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 4 * 20 + 10), Qt::NoButton);
  EXPECT_EQ(list.GetCurSel(), -1);  // the base never saw the clicks

  // Drag row 2 below the list: it scrolls on the drag's timer, repainting as it goes; the
  // drop moves the row to the place under the pointer.
  list.longPressed = -1;
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 2 * 20 + 10));
  Mouse(list, QEvent::MouseMove, QPointF(20, 2 * 20 + 16));
  Mouse(list, QEvent::MouseMove, QPointF(20, 205 + 40));
  ASSERT_TRUE(WaitFor([&] { return list.GetTopIndex() >= 12; }));
  ExpectRowsShown(list, "auto-scrolled");
  Mouse(list, QEvent::MouseMove, QPointF(20, 5 * 20 + 10));
  const int top = list.GetTopIndex(), to = top + 5;
  Mouse(list, QEvent::MouseButtonRelease, QPointF(20, 5 * 20 + 10), Qt::NoButton);
  EXPECT_EQ(list.longPressed, -1);  // the drag ended the long press
  EXPECT_EQ(list.GetTopIndex(), top);
  EXPECT_EQ(list.GetItemData(to), 2u);
  EXPECT_EQ(list.GetItemData(2), 3u);
  EXPECT_EQ(list.GetItemData(to - 1), uintptr_t(to));
  EXPECT_EQ(list.GetItemData(to + 1), uintptr_t(to + 1));
  ExpectRowsShown(list, "dropped");

  // Losing the capture mid-drag stops the scrolling.
  Mouse(list, QEvent::MouseButtonPress, QPointF(20, 10));
  Mouse(list, QEvent::MouseMove, QPointF(20, 20));
  Mouse(list, QEvent::MouseMove, QPointF(20, 205 + 40));
  ASSERT_TRUE(WaitFor([&] { return list.GetTopIndex() > top; }));
  const int changes = list.captureChanges;
  parent.SetCapture();
  EXPECT_EQ(list.captureChanges, changes + 1);
  const int stopped = list.GetTopIndex();
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(list.GetTopIndex(), stopped);

  // The mouse leaving a tracked list is told once.
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), list.GetWidget()->mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(list.GetWidget(), &enter);
  list.TrackMouseEvent(TME_LEAVE);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(list.GetWidget(), &leave);
  gui::RunPostedMessages();
  EXPECT_EQ(list.leaves, 1);
}

}  // namespace
