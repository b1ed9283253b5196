// Context menus: the owner prepares each menu and submenu before it shows, the menu really
// runs (driven by keys) and the chosen command is posted or returned as the flags ask.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "Recorder.h"
#include "platform/gui/Application.h"
#include "platform/gui/Menu.h"
#include "platform/gui/Messages.h"

namespace {

using guitest::Recorder;

// Waits for the next menu to show, lets look see it, then presses the keys, each in the menu
// open at the time (a key that opens a submenu hands the next keys to it).
class MenuDriver {
 public:
  MenuDriver(std::vector<int> keys, std::function<void(QMenu*)> look = nullptr) {
    m_timer.setInterval(2);
    QObject::connect(&m_timer, &QTimer::timeout, [this, keys, look] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      m_timer.stop();
      if (look) look(menu);
      for (int key : keys) {
        QWidget* target = QApplication::activePopupWidget();
        if (!target) break;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
      }
    });
    m_timer.start();
  }

 private:
  QTimer m_timer;
};

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    top.resize(200, 150);
    top.show();
    ASSERT_TRUE(owner.Create(&top, RECT{10, 10, 110, 90}));
    // The owner grays 102 in the menu and 104 in the submenu, and checks 103.
    owner.onMessage = [this](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg == WM_INITMENUPOPUP) {
        auto* menu = reinterpret_cast<gui::Menu*>(wParam);
        inits.emplace_back(menu, lParam);
        menu->EnableMenuItem(lParam == 0 ? 102 : 104, MF_GRAYED);
        if (lParam == 0) menu->CheckMenuItem(103, MF_CHECKED);
      }
      return owner.DefWindowProc(msg, wParam, lParam);
    };
    more = new gui::Menu;
    more->AppendMenu(MF_STRING, 104, u"四(&F)");
    more->AppendMenu(MF_STRING, 105, u"五\tCtrl+5");
    menu.AppendMenu(MF_STRING, 101, u"一");
    menu.AppendMenu(MF_SEPARATOR);
    menu.AppendMenu(MF_STRING, 102, u"二");
    menu.AppendMenu(MF_STRING, 103, u"三");
    menu.AppendSubMenu(more, u"更多");
  }

  QWidget top;
  Recorder owner;
  gui::Menu menu;
  gui::Menu* more = nullptr;  // owned by menu
  std::vector<std::pair<gui::Menu*, LPARAM>> inits;
};

TEST_F(Menus, TheOwnerPreparesEachMenuAndGetsTheChosenCommand) {
  owner.SetCapture();
  QStringList shown;
  // Down: 一, then 三 (past the separator and the grayed 二), then the submenu; Right opens
  // it on its first enabled item, 五.
  MenuDriver drive({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Return}, [&](QMenu* m) {
    for (QAction* a : m->actions())
      shown << a->text() + (a->isEnabled() ? "" : "-") + (a->isChecked() ? "+" : "");
  });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, 300, 200, owner), UINT(TRUE));
  EXPECT_EQ(shown, QStringList({"一", "", "二-", "三+", "更多"}));
  ASSERT_EQ(inits.size(), 2u);
  EXPECT_EQ(inits[0], std::make_pair(&menu, LPARAM(0)));
  EXPECT_EQ(inits[1], std::make_pair(more, LPARAM(4)));
  // The menu took the mouse.
  ASSERT_EQ(owner.Of({WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(owner.Of({WM_CAPTURECHANGED})[0].lParam, 0);
  // The command is posted: it comes after the menu has gone.
  EXPECT_TRUE(owner.Of({WM_COMMAND}).empty());
  gui::RunPostedMessages();
  ASSERT_EQ(owner.Of({WM_COMMAND}).size(), 1u);
  EXPECT_EQ(owner.Of({WM_COMMAND})[0].wParam, WPARAM(105));
}

TEST_F(Menus, FlagsSayWhetherTheOwnerIsToldAndWhereTheMenuSits) {
  const int down = Qt::Key_Down, enter = Qt::Key_Return, escape = Qt::Key_Escape;
  const struct {
    UINT flags;
    std::vector<int> keys;
    UINT result;
    WPARAM posted;  // the WM_COMMAND id, 0 for none
    size_t inits;
    QPoint corner;  // the menu's top left, or with right/bottom alignment its far corner
  } cases[] = {
      {TPM_RETURNCMD, {down, enter}, 101, 0, 1, {300, 200}},
      {TPM_RETURNCMD, {escape}, 0, 0, 1, {300, 200}},
      {0, {down, down, enter}, TRUE, 103, 1, {300, 200}},
      {0, {escape}, TRUE, 0, 1, {300, 200}},
      // Without notifications 二 stays enabled.
      {TPM_RETURNCMD | TPM_NONOTIFY, {down, down, enter}, 102, 0, 0, {300, 200}},
      {TPM_NONOTIFY, {down, enter}, TRUE, 0, 0, {300, 200}},
      {TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD, {escape}, 0, 0, 1, {300, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    gui::Menu m;
    m.AppendMenu(MF_STRING, 101, u"一");
    m.AppendMenu(MF_STRING, 102, u"二");
    m.AppendMenu(MF_STRING, 103, u"三");
    inits.clear();
    owner.log.clear();
    QRect where;
    MenuDriver drive(c.keys, [&](QMenu* shown) { where = shown->geometry(); });
    EXPECT_EQ(m.TrackPopupMenu(c.flags, 300, 200, owner), c.result);
    gui::RunPostedMessages();
    EXPECT_EQ(inits.size(), c.inits);
    std::vector<guitest::Msg> commands = owner.Of({WM_COMMAND});
    ASSERT_EQ(commands.size(), c.posted ? 1u : 0u);
    for (const guitest::Msg& command : commands) EXPECT_EQ(command.wParam, c.posted);
    const QPoint corner = c.flags & TPM_RIGHTALIGN ? where.bottomRight() + QPoint(1, 1) : where.topLeft();
    EXPECT_EQ(corner, c.corner);
  }
}

TEST_F(Menus, ItemsAreFoundByCommandOrPositionAndKeepTheirState) {
  EXPECT_EQ(menu.GetItemCount(), 5);
  EXPECT_EQ(menu.GetMenuItemID(0), 101u);
  EXPECT_EQ(menu.GetMenuItemID(1), 0u);            // the separator
  EXPECT_EQ(menu.GetMenuItemID(4), 0xFFFFFFFFu);   // the submenu
  EXPECT_EQ(menu.GetSubMenu(4), more);
  EXPECT_EQ(menu.GetSubMenu(0), nullptr);
  EXPECT_EQ(menu.GetMenuString(105, MF_BYCOMMAND), u"五\tCtrl+5");
  // The previous state comes back; a command is found in a submenu too.
  EXPECT_EQ(menu.EnableMenuItem(105, MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(menu.EnableMenuItem(105, MF_ENABLED), MF_GRAYED);
  EXPECT_EQ(menu.CheckMenuItem(2, MF_BYPOSITION | MF_CHECKED), MF_UNCHECKED);
  EXPECT_EQ(menu.GetMenuState(102, MF_BYCOMMAND), MF_CHECKED);
  EXPECT_EQ(menu.GetMenuState(4, MF_BYPOSITION), MF_POPUP);
  EXPECT_EQ(menu.GetMenuState(1, MF_BYPOSITION), MF_SEPARATOR);
  EXPECT_EQ(menu.EnableMenuItem(999, MF_GRAYED), 0xFFFFFFFFu);
  EXPECT_EQ(menu.CheckMenuItem(9, MF_BYPOSITION | MF_CHECKED), 0xFFFFFFFFu);
  EXPECT_FALSE(menu.AppendMenu(MF_POPUP, 0, u"无"));
  EXPECT_EQ(menu.GetItemCount(), 5);
}

}  // namespace
