// What the colour wheel and the colour picker share: a popup window made once and shown for
// each choice, the colour it edits and whom it answers; and the square of saturation and
// value that both show.
#pragma once
#include "core/ShellServices.h"
#include "platform/gui/Font.h"
#include "platform/gui/Window.h"

class CColorCanvas;

// Saturation from 0 at the left column to 256 at the right one, value from 0 at the bottom
// row to 256 at the top one, for one hue.
struct SatValSquare {
  RECT rc;
  int SatAt(int x) const;
  int ValAt(int y) const;
  // The pixel of a saturation and value.
  POINT PointOf(int sat, int val) const;
  // The square's colours for the hue, in a thin frame, and the mark of the colour.
  void Draw(CColorCanvas& canvas, HSVCOLOR colour) const;
};

// The popup turns its window's messages into the calls below: any mouse button presses and
// lets go, keys come by their virtual code, and losing activation cancels.
class CColorPopup : public gui::GWindow {
 public:
  // A subclass destroys the window in its own destructor, while its calls still work.
  ~CColorPopup() override;
  // The colour as it stands.
  HSVCOLOR GetColor() const { return m_color; }
  // Hides the popup as the user's cancelling does.
  virtual void Cancel() = 0;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  CColorPopup() = default;
  // Makes the hidden popup of that size, kept above owner and gone with it.
  BOOL CreatePopup(gui::GWindow* owner, DWORD exStyle, int width, int height);
  // Starts a choice: the colour (normalised) and whom the answer goes to.
  void Begin(HSVCOLOR colour, HWND notify);
  // Shows the popup, activated, with its top left at (left, top), moved inside the work
  // area where it would leave it.
  void ShowAt(int left, int top);
  // Changes the colour and repaints.
  void SetColor(HSVCOLOR colour);
  // Hides the popup and lets go of the mouse.
  void Hide();

  virtual void OnPaint() = 0;
  // twice: the second press of a double click.
  virtual void OnButtonDown(int x, int y, bool twice) = 0;
  virtual void OnMouseMove(int x, int y) = 0;
  virtual void OnButtonUp(int x, int y) = 0;
  virtual void OnKey(UINT vk) = 0;
  virtual void OnMouseLeave() {}
  // Another window took the mouse, or it was let go elsewhere.
  virtual void OnCaptureLost() {}

  HSVCOLOR m_color = 0;
  HWND m_hNotify = nullptr;
  gui::HFONT m_hFont = nullptr;

 private:
  int m_nWidth = 0;
  int m_nHeight = 0;
};
