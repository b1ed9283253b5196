// What the tools and panels ask of the main frame beyond the view: its ring menu, its colour
// wheel and the option bar. The frame implements it; tests may implement it in memory.
#pragma once
#include <cstdint>

#include "Hsv.h"
#include "platform/base/Types.h"

class CFunctionMenu;
namespace gui {
class GWindow;
}

// The colour wheel tells its owner the chosen colour: wParam the HSVCOLOR. Nothing comes
// when it was cancelled.
constexpr UINT WM_MYCOLORPICKED = 0x800D;
// The colour picker tells its owner how it ended: wParam the HSVCOLOR, lParam 1 chosen, 0
// cancelled (wParam then the colour it was opened with).
constexpr UINT WM_MYCOLORRESULT = 0x800E;

// CColorWheel::Popup flags: the mouse button that opened the wheel is still down, and
// letting it go over the wheel chooses.
constexpr DWORD COLORWHEEL_DRAG = 1;

class CMyListBrush;

// The trim dialog ("修剪"): the size of the rectangle (1..10000 each way, edited by the user)
// and which actions it offers: the space's unless the rectangle is the whole space, the
// layer's three when the current layer is writable and the rectangle is not the layer's.
// Editing a size offers them all again.
struct CropQuestion {
  int nWidth;
  int nHeight;
  BOOL bWritable;
  BOOL bEqualsLayer;
  BOOL bEqualsSpace;
};
// Its answers.
enum CropAction : int { myCROP_CANCEL = 0, myCROP_SPACE = 1, myCROP_LAYER = 2, myCROP_TILE = 3, myCROP_MIRROR = 4 };

class IShellServices {
 public:
  virtual ~IShellServices() = default;
  // Shows the ring menu centred on the screen point with the tool's provider; it takes the
  // mouse and calls back the provider's Run for the chosen item.
  virtual void PopupRingMenu(int x, int y, CFunctionMenu* menu) = 0;
  // Shows the colour wheel centred on the screen point with the colour (flags 1: drag mode);
  // the choice comes to owner as WM_MYCOLORPICKED. FALSE when there is no wheel.
  virtual BOOL PopupColorWheel(int x, int y, HSVCOLOR colour, HWND owner, DWORD flags) = 0;
  // The ring menus' palette: the colour wheel centred on the screen point with the colour
  // bar's current colour, the colour chosen there made current. FALSE when there is no wheel.
  virtual BOOL PopupPalette(int /*x*/, int /*y*/) { return FALSE; }
  // The window the current tool hands its option controls to (WM_MYSETOPTIONS); null when
  // there is none.
  virtual gui::GWindow* GetOptionBar() = 0;
  // The brush list of the brush bar; null when there is none.
  virtual CMyListBrush* GetBrushList() { return nullptr; }
  // Asks the trim dialog; the chosen CropAction, with the edited size in the question.
  // Without a dialog nothing is trimmed.
  virtual int AskCrop(CropQuestion* /*question*/) { return myCROP_CANCEL; }
  // A short notice in the status bar (why a tool did nothing).
  virtual void ShowStatus(const char16_t* /*text*/) {}
};
