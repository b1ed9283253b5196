// The colour wheel: a round popup with a ring of hues around a square of saturation (left to
// right) and value (bottom to top) of the ring's hue, the old and new colour below the
// square and the new colour's "#RRGGBB" above it. The ring runs clockwise from red at the
// top through yellow, green, cyan, blue and magenta.
//
// It holds the mouse while it shows. A press on the ring or the square takes the hue or the
// saturation and value under it and follows the mouse; letting go chooses: the owner gets
// WM_MYCOLORPICKED with the HSVCOLOR and the wheel hides. Enter chooses the colour as it
// stands. A press outside the wheel, Escape, or the wheel's losing activation cancel, and
// the owner hears nothing.
//
// In drag mode the button that opened the wheel is still down: reaching the ring takes the
// hue and follows it, and letting go then chooses; letting go before that keeps the wheel
// open for clicks when the pointer is over it, and cancels when it is outside.
//
// A hue means nothing on a grey or on black, so a hue taken from the ring brings a colour
// without saturation to full saturation, and one without value to full value.
#pragma once
#include <memory>

#include "ColorPopup.h"

class CColorWheel : public CColorPopup {
 public:
  static constexpr int kSize = 240;  // the popup is a kSize x kSize square
  static constexpr COLORREF kNoColor = 0xFFFFFFFF;

  CColorWheel();
  ~CColorWheel() override;
  static const char16_t* GetClassName() { return u"CColorWheel"; }

  // Makes the hidden popup; owner is the window it stays above and goes with.
  BOOL Create(gui::GWindow* owner);
  // Shows the wheel centred on the screen point (moved inside the work area where it would
  // leave it) with the colour; the choice goes to notify. flags: COLORWHEEL_DRAG. rgb: the
  // colour shown as the old one beside the new (kNoColor: the colour itself). A wheel that
  // shows already is cancelled first. FALSE when the wheel has no window.
  BOOL Popup(int x, int y, HSVCOLOR colour, HWND notify, DWORD flags, COLORREF rgb = kNoColor);
  // Hides the wheel without an answer.
  void Cancel() override;
  BOOL IsDragMode() const { return m_bDragMode; }

  // Client points: on the middle of the ring for a hue; in the square for a saturation and
  // value.
  static POINT HuePoint(int hue);
  static POINT AreaPoint(int sat, int val);

 private:
  enum class Part { kNone, kRing, kArea, kOutside };

  static Part HitTest(int x, int y);
  // Takes the hue or the saturation and value from a client point.
  void TrackTo(Part part, int x, int y);
  void OnPaint() override;
  void OnButtonDown(int x, int y, bool twice) override;
  void OnMouseMove(int x, int y) override;
  void OnButtonUp(int x, int y) override;
  void OnKey(UINT vk) override;
  void OnCaptureLost() override;
  void Choose();
  void Close();
  // The fixed parts: the backing disc and the ring.
  const CColorCanvas& Base();

  COLORREF m_oldRgb = 0;
  Part m_track = Part::kNone;
  bool m_bDragMode = false;
  bool m_bHiding = false;
  std::unique_ptr<CColorCanvas> m_pBase;
};
