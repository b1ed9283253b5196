// The ring menu a tool opens with a right click: twelve cells on a ring around a caption
// disc, clockwise from the top like a clock face, and four corner sectors outside it. The
// tool's provider (CFunctionMenu) draws the cells' icons, names the items and runs the chosen
// one. While it shows the menu holds the mouse; a button's release chooses the item under
// it (nothing over the centre or outside), and Escape, the loss of the keyboard focus or of
// the mouse close it without a choice. Translucent (WS_EX_LAYERED, soft edges) or opaque,
// fixed when it is made. No Qt in here.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "frame/FlowerFace.h"
#include "platform/gui/Window.h"

class CFunctionMenu;

class CFlowerWnd : public gui::GWindow {
 public:
  CFlowerWnd();
  ~CFlowerWnd() override;

  // Makes the hidden popup, owned by owner. FALSE when the window cannot be made.
  BOOL Create(gui::GWindow* owner, bool translucent);
  // Shows the ring centred on the screen point (moved as little as needed to stay inside
  // the work area) with the provider's icons and captions, and takes the mouse. Popping up
  // again while it shows starts afresh with the new point and provider.
  void Popup(int x, int y, CFunctionMenu* menu);
  // Closes without choosing (nothing when hidden).
  void Cancel();

  bool IsTranslucent() const { return m_bTranslucent; }
  bool IsShown() const { return m_pMenu != nullptr; }
  // The item under the mouse that a release would choose (0..11, 200..206), else -1.
  int GetHotItem() const;
  // The caption in the centre: the hot item's, else empty.
  std::u16string GetCentreText() const;
  // The screen point of an item, as Run gets it; (0, 0) for an item that is none.
  POINT GetItemPoint(UINT item) const;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Track(POINT client);
  void Choose(POINT client);
  void Close();
  void Paint();
  // The slot a client point chooses: one whose item the provider answers, else -1.
  int LiveSlotAt(POINT client) const;

  bool m_bTranslucent = false;
  CFunctionMenu* m_pMenu = nullptr;  // while shown
  DWORD m_dwPopupTick = 0;
  int m_nHot = -1;  // slot
  std::array<std::u16string, flower::kSlots> m_aLabel;
  gui::HFONT m_hCentreFont = nullptr;
  gui::HFONT m_hSectorFont = nullptr;
  std::vector<uint32_t> m_face;
};
