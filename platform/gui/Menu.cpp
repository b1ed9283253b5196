#include "Menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <cmath>

#include "ErrorHook.h"
#include "Internal.h"
#include "Window.h"

namespace gui {

// Builds the Qt menus of a Menu while it is tracked.
struct MenuBuilder {
  HWND owner;
  bool notify;

  void Init(Menu* menu, int pos) const {
    if (notify) SendMessage(owner, WM_INITMENUPOPUP, WPARAM(menu), LPARAM(pos));
  }

  // Fills qmenu with the items of menu. A submenu asks its owner again just before it shows
  // and is filled anew from what the owner made of it.
  void Fill(QMenu* qmenu, Menu* menu) const {
    for (QAction* action : qmenu->actions())
      if (QMenu* sub = action->menu()) sub->deleteLater();
    qmenu->clear();
    for (size_t pos = 0; pos < menu->m_items.size(); ++pos) {
      const Menu::Item& item = menu->m_items[pos];
      if (item.flags & MF_SEPARATOR) {
        qmenu->addSeparator();
        continue;
      }
      const bool enabled = !(item.flags & (MF_GRAYED | MF_DISABLED));
      if (Menu* model = item.sub.get()) {
        QMenu* sub = qmenu->addMenu(detail::ToQString(item.text));
        sub->menuAction()->setEnabled(enabled);
        Fill(sub, model);
        const MenuBuilder self = *this;
        QObject::connect(sub, &QMenu::aboutToShow, sub, [self, sub, model, pos] {
          GuardedCall([&] {
            self.Init(model, int(pos));
            self.Fill(sub, model);
          });
        });
        continue;
      }
      QAction* action = qmenu->addAction(detail::ToQString(item.text));
      action->setData(item.id);
      action->setEnabled(enabled);
      action->setCheckable(item.flags & MF_CHECKED);
      action->setChecked(item.flags & MF_CHECKED);
    }
  }
};

Menu::Menu() = default;
Menu::~Menu() = default;

BOOL Menu::AppendMenu(UINT flags, UINT_PTR idOrSubmenu, const char16_t* text) {
  Item item{flags, 0, text ? text : u"", nullptr};
  if (flags & MF_SEPARATOR) {
    item.text.clear();
  } else if (flags & MF_POPUP) {
    auto* sub = reinterpret_cast<Menu*>(idOrSubmenu);
    if (!sub || sub == this) return FALSE;
    item.sub.reset(sub);
  } else {
    item.id = UINT(idOrSubmenu);
  }
  m_items.push_back(std::move(item));
  return TRUE;
}

BOOL Menu::AppendSubMenu(Menu* submenu, const char16_t* text) {
  return AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), text);
}

Menu::Item* Menu::Find(UINT item, UINT flags) {
  if (flags & MF_BYPOSITION) return item < m_items.size() ? &m_items[item] : nullptr;
  for (Item& it : m_items) {
    if (it.sub) {
      if (Item* found = it.sub->Find(item, flags)) return found;
    } else if (!(it.flags & MF_SEPARATOR) && it.id == item) {
      return &it;
    }
  }
  return nullptr;
}

const Menu::Item* Menu::Find(UINT item, UINT flags) const { return const_cast<Menu*>(this)->Find(item, flags); }

UINT Menu::EnableMenuItem(UINT item, UINT flags) {
  Item* it = Find(item, flags);
  if (!it) return 0xFFFFFFFFu;
  const UINT mask = MF_GRAYED | MF_DISABLED;
  const UINT old = it->flags & mask;
  it->flags = (it->flags & ~mask) | (flags & mask);
  return old;
}

UINT Menu::CheckMenuItem(UINT item, UINT flags) {
  Item* it = Find(item, flags);
  if (!it) return 0xFFFFFFFFu;
  const UINT old = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
  return old;
}

UINT Menu::GetMenuState(UINT item, UINT flags) const {
  const Item* it = Find(item, flags);
  return it ? it->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR) : 0xFFFFFFFFu;
}

UINT Menu::GetMenuItemID(int pos) const {
  if (pos < 0 || pos >= GetItemCount() || m_items[size_t(pos)].sub) return 0xFFFFFFFFu;
  return m_items[size_t(pos)].id;
}

Menu* Menu::GetSubMenu(int pos) const {
  return pos >= 0 && pos < GetItemCount() ? m_items[size_t(pos)].sub.get() : nullptr;
}

std::u16string Menu::GetMenuString(UINT item, UINT flags) const {
  const Item* it = Find(item, flags);
  return it ? it->text : std::u16string();
}

UINT Menu::TrackPopupMenu(UINT flags, int x, int y, HWND owner) {
  const MenuBuilder builder{owner, !(flags & TPM_NONOTIFY)};
  builder.Init(this, 0);
  QMenu menu;
  builder.Fill(&menu, this);
  if (menu.isEmpty()) return 0;
  // The menu takes the mouse: whoever held it is told.
  detail::CancelCapture();
  const double dpr = qApp->devicePixelRatio();
  QPoint at(int(std::lround(x / dpr)), int(std::lround(y / dpr)));
  const QSize size = menu.sizeHint();
  if (flags & TPM_RIGHTALIGN) at.rx() -= size.width();
  else if (flags & TPM_CENTERALIGN) at.rx() -= size.width() / 2;
  if (flags & TPM_BOTTOMALIGN) at.ry() -= size.height();
  else if (flags & TPM_VCENTERALIGN) at.ry() -= size.height() / 2;
  QAction* chosen = menu.exec(at);
  const UINT id = chosen ? chosen->data().toUInt() : 0;
  if (flags & TPM_RETURNCMD) return id;
  if (id && builder.notify) PostMessage(owner, WM_COMMAND, MAKEWPARAM(WORD(id), 0), 0);
  return TRUE;
}

}  // namespace gui
