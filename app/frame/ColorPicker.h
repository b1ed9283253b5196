// The colour picker: a panel that pops up from the colour bar's current colour. A square of
// saturation (left to right) and value (bottom to top) for the hue of the strip beside it
// (red at the top, then yellow, green, cyan, blue, magenta), the new colour over the old
// one, the new colour's "#RRGGBB" and its hue, saturation and value, and the buttons "确定"
// and "取消".
//
// Pressing in the square or the strip takes the colour under the mouse and follows it; the
// old colour's half of the swatch brings it back. The arrow keys step saturation (left,
// right) and value (up, down), Page Up and Page Down step the hue, by one or, with Shift,
// by sixteen. "确定", Enter or a double click in the square choose; "取消", Escape, or the
// picker's losing activation cancel. Either way the owner gets WM_MYCOLORRESULT: wParam the
// HSVCOLOR, lParam 1 when chosen, 0 when cancelled (with the colour the picker opened with).
#pragma once
#include "ColorPopup.h"

class CColorPicker : public CColorPopup {
 public:
  static constexpr int kWidth = 284;
  static constexpr int kHeight = 184;

  CColorPicker();
  ~CColorPicker() override;
  static const char16_t* GetClassName() { return u"CColorPicker"; }

  // Makes the hidden popup; owner is the window it stays above and goes with.
  BOOL Create(gui::GWindow* owner);
  // Shows the picker with the colour just above the anchor (a screen rectangle), or below it
  // when there is no room above; the answer goes to notify. A picker that shows already is
  // cancelled first. FALSE when the picker has no window.
  BOOL Popup(const RECT& anchor, HSVCOLOR colour, HWND notify);
  void Choose();
  void Cancel() override;
  using CColorPopup::SetColor;

  // Client points and places, for the owner and tests.
  static POINT AreaPoint(int sat, int val);
  static POINT StripPoint(int hue);
  static RECT OkRect();
  static RECT CancelRect();
  static RECT OldSwatchRect();

 private:
  enum class Part { kNone, kArea, kStrip, kOld, kOk, kCancel };

  static Part HitTest(int x, int y);
  void TrackTo(Part part, int x, int y);
  void OnPaint() override;
  void OnButtonDown(int x, int y, bool twice) override;
  void OnMouseMove(int x, int y) override;
  void OnButtonUp(int x, int y) override;
  void OnKey(UINT vk) override;
  void OnMouseLeave() override;
  void OnCaptureLost() override;
  // Hides the picker and tells the owner.
  void End(bool chosen);
  void SetHot(Part part);

  HSVCOLOR m_original = 0;
  Part m_track = Part::kNone;
  Part m_hot = Part::kNone;
  bool m_bEnding = false;
};
