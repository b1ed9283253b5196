// The owner-drawn list's model: rows, selection, top row, geometry and hit testing.
#include <gtest/gtest.h>

#include "platform/gui/ListBoxModel.h"
#include "platform/gui/Messages.h"

namespace {

using gui::ListBoxModel;

std::vector<uintptr_t> Items(const ListBoxModel& m) {
  std::vector<uintptr_t> out;
  for (int i = 0; i < m.GetCount(); ++i) out.push_back(m.GetItemData(i));
  return out;
}

TEST(ListBoxModel, InsertAndDeleteKeepTheSelectionOnItsRow) {
  ListBoxModel m;
  EXPECT_EQ(m.GetCurSel(), gui::LB_ERR);
  EXPECT_EQ(m.AddItem(10), 0);
  EXPECT_EQ(m.AddItem(30), 1);
  EXPECT_EQ(m.InsertItem(1, 20), 1);
  EXPECT_EQ(m.InsertItem(0, 5), 0);
  EXPECT_EQ(m.InsertItem(9, 99), gui::LB_ERR);
  EXPECT_EQ(Items(m), (std::vector<uintptr_t>{5, 10, 20, 30}));

  EXPECT_EQ(m.SetCurSel(2), 2);  // row 20
  m.InsertItem(0, 1);
  EXPECT_EQ(m.GetCurSel(), 3);
  EXPECT_EQ(m.GetItemData(m.GetCurSel()), 20u);
  EXPECT_EQ(m.DeleteItem(0), 4);
  EXPECT_EQ(m.GetCurSel(), 2);
  EXPECT_EQ(m.DeleteItem(3), 3);  // a row after the selection
  EXPECT_EQ(m.GetCurSel(), 2);
  EXPECT_EQ(m.DeleteItem(2), 2);  // the selected row
  EXPECT_EQ(m.GetCurSel(), gui::LB_ERR);
  EXPECT_EQ(m.DeleteItem(2), gui::LB_ERR);
  EXPECT_EQ(m.SetCurSel(5), gui::LB_ERR);
  EXPECT_EQ(m.SetCurSel(-1), gui::LB_ERR);

  int value = 0;
  EXPECT_EQ(m.SetItemData(1, reinterpret_cast<uintptr_t>(&value)), gui::LB_OKAY);
  EXPECT_EQ(m.GetItemPtr<int>(1), &value);
  EXPECT_EQ(m.GetItemPtr<int>(7), nullptr);
  EXPECT_EQ(m.GetItemData(7), uintptr_t(gui::LB_ERR));
}

TEST(ListBoxModel, RowsGeometryAndHitTesting) {
  ListBoxModel m(20);
  for (int i = 0; i < 10; ++i) m.AddItem(uintptr_t(i));
  EXPECT_EQ(m.SetTopIndex(3), gui::LB_OKAY);
  EXPECT_EQ(m.SetTopIndex(10), gui::LB_ERR);
  RECT rc;
  ASSERT_EQ(m.GetItemRect(4, 150, &rc), gui::LB_OKAY);
  EXPECT_EQ(rc.top, 20);
  EXPECT_EQ(rc.bottom, 40);
  EXPECT_EQ(rc.right, 150);
  ASSERT_EQ(m.GetItemRect(1, 150, &rc), gui::LB_OKAY);  // above the top: outside the area
  EXPECT_EQ(rc.top, -40);

  const int w = 150, h = 100;  // five rows shown
  const struct {
    POINT pt;
    DWORD answer;
    int hit;
  } cases[] = {
      {{5, 0}, 3, 3},          {{5, 19}, 3, 3},           {{5, 20}, 4, 4},
      {{149, 99}, 7, 7},       {{150, 50}, 0x10000 | 5, -1},  // right of the area
      {{5, -1}, 0x10000 | 2, -1},                          // above: the row above the top
  };
  for (const auto& c : cases) {
    EXPECT_EQ(m.ItemFromPoint(c.pt, w, h), c.answer) << c.pt.x << "," << c.pt.y;
    EXPECT_EQ(m.HitTest(c.pt, w, h), c.hit) << c.pt.x << "," << c.pt.y;
  }
  // Below the last row inside the area: the last row, marked outside.
  m.SetTopIndex(8);
  EXPECT_EQ(m.ItemFromPoint(POINT{5, 60}, w, h), DWORD(0x10000 | 9));
  EXPECT_EQ(m.HitTest(POINT{5, 30}, w, h), 9);

  // Scrolling a row into view moves the top as little as needed.
  m.SetTopIndex(0);
  EXPECT_FALSE(m.EnsureVisible(4, h));
  EXPECT_TRUE(m.EnsureVisible(7, h));
  EXPECT_EQ(m.GetTopIndex(), 3);
  EXPECT_TRUE(m.EnsureVisible(1, h));
  EXPECT_EQ(m.GetTopIndex(), 1);
  // Deleting rows keeps the top within them.
  m.SetTopIndex(9);
  m.DeleteItem(9);
  EXPECT_EQ(m.GetTopIndex(), 8);
}

TEST(ListBoxModel, AnswersListBoxMessages) {
  ListBoxModel m;
  EXPECT_EQ(m.HandleMessage(gui::LB_INSERTSTRING, WPARAM(-1), 0, 100, 100), 0);
  EXPECT_EQ(m.HandleMessage(gui::LB_INSERTSTRING, 0, 0, 100, 100), 0);
  EXPECT_EQ(m.HandleMessage(gui::LB_SETITEMDATA, 1, 77, 100, 100), gui::LB_OKAY);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETITEMDATA, 1, 0, 100, 100), 77);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETCOUNT, 0, 0, 100, 100), 2);
  EXPECT_EQ(m.HandleMessage(gui::LB_SETCURSEL, 1, 0, 100, 100), 1);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETCURSEL, 0, 0, 100, 100), 1);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETTOPINDEX, 0, 0, 100, 100), 0);
  EXPECT_EQ(m.HandleMessage(gui::LB_ITEMFROMPOINT, 0, MakePointLParam(3, 25), 100, 100), 1);
  RECT rc{};
  EXPECT_EQ(m.HandleMessage(gui::LB_GETITEMRECT, 1, LPARAM(&rc), 100, 100), gui::LB_OKAY);
  EXPECT_EQ(rc.top, 20);
  EXPECT_EQ(m.HandleMessage(gui::LB_DELETESTRING, 0, 0, 100, 100), 1);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETCURSEL, 0, 0, 100, 100), 0);
  EXPECT_EQ(m.HandleMessage(gui::LB_GETITEMDATA, 0, 0, 100, 100), 77);
}

}  // namespace
