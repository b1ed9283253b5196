// Context menus: a menu of commands, separators and submenus built in plain C++, shown at a
// screen point with TrackPopupMenu. Before a menu or submenu shows, its owner window gets
// WM_INITMENUPOPUP (wParam: the Menu*, lParam: the submenu's position in its parent, 0 for
// the menu itself) to enable, check or add items; the chosen command is posted to the owner
// as WM_COMMAND (wParam: the id), or returned with TPM_RETURNCMD. No Qt in here.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "Messages.h"

// Item flags (AppendMenu, EnableMenuItem, CheckMenuItem, GetMenuState).
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

// TrackPopupMenu flags. The point is the menu's top left unless aligned otherwise.
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;  // either button chooses (always so here)
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;   // no WM_INITMENUPOPUP, no WM_COMMAND
constexpr UINT TPM_RETURNCMD = 0x0100;  // the chosen id is returned, not posted

namespace gui {

class Menu {
 public:
  Menu();
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // Appends a command (MF_STRING with its id and text, MF_GRAYED, MF_CHECKED), a separator
  // (MF_SEPARATOR) or a submenu (MF_POPUP: idOrSubmenu is a Menu* made with new, which this
  // menu then owns). Text: '&' marks the mnemonic, a tab the shortcut shown at the right.
  BOOL AppendMenu(UINT flags, UINT_PTR idOrSubmenu = 0, const char16_t* text = nullptr);
  // The same as AppendMenu(MF_POPUP, submenu, text): this menu owns submenu.
  BOOL AppendSubMenu(Menu* submenu, const char16_t* text);

  // The item is a command id (MF_BYCOMMAND, found in submenus too) or a position
  // (MF_BYPOSITION). Both answer the item's previous state (MF_GRAYED / MF_CHECKED), or
  // 0xFFFFFFFF when there is no such item.
  UINT EnableMenuItem(UINT item, UINT flags);  // MF_ENABLED, MF_GRAYED or MF_DISABLED
  UINT CheckMenuItem(UINT item, UINT flags);   // MF_CHECKED or MF_UNCHECKED
  // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_POPUP, MF_SEPARATOR of the item, or 0xFFFFFFFF.
  UINT GetMenuState(UINT item, UINT flags) const;

  int GetItemCount() const { return int(m_items.size()); }
  // The command id at pos; 0 for a separator, 0xFFFFFFFF for a submenu or a bad position.
  UINT GetMenuItemID(int pos) const;
  // The submenu at pos, else null.
  Menu* GetSubMenu(int pos) const;
  std::u16string GetMenuString(UINT item, UINT flags) const;

  // Shows the menu at the screen point (device pixels) until a command is chosen or the menu
  // is dismissed; the capture ends first. owner gets the messages (see the top). Answers the
  // chosen id (0: dismissed) with TPM_RETURNCMD, else TRUE when the menu was shown.
  UINT TrackPopupMenu(UINT flags, int x, int y, HWND owner);

 private:
  struct Item {
    UINT flags;
    UINT id;
    std::u16string text;
    std::unique_ptr<Menu> sub;
  };
  friend struct MenuBuilder;

  Item* Find(UINT item, UINT flags);
  const Item* Find(UINT item, UINT flags) const;

  std::vector<Item> m_items;
};

}  // namespace gui
