// What the tools and panels ask of the main frame beyond the view: its ring menu, its colour
// wheel and the option bar. The frame implements it; tests may implement it in memory.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

class CFunctionMenu;
namespace gui {
class GWindow;
}

// A packed colour: hue 0..1535 in bits 18..28, saturation 0..256 in bits 9..17, value
// 0..256 in bits 0..8.
using HSVCOLOR = uint32_t;

class IShellServices {
 public:
  virtual ~IShellServices() = default;
  // Shows the ring menu centred on the screen point with the tool's provider; it takes the
  // mouse and calls back the provider's Run for the chosen item.
  virtual void PopupRingMenu(int x, int y, CFunctionMenu* menu) = 0;
  // Shows the colour wheel centred on the screen point with the colour (flags 1: drag mode);
  // the choice comes to owner as WM_MYCOLORPICKED. FALSE when there is no wheel.
  virtual BOOL PopupColorWheel(int x, int y, HSVCOLOR colour, HWND owner, DWORD flags) = 0;
  // The window the current tool hands its option controls to (WM_MYSETOPTIONS); null when
  // there is none.
  virtual gui::GWindow* GetOptionBar() = 0;
};
