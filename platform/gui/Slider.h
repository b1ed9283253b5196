// The numeric slider of the option bars: a compact box that shows its label and value over a
// bar filled in proportion to the value. Dragging across it changes the value; a click opens
// a number edit over it (Enter or leaving it takes the number, clamped into the range;
// Escape keeps the old value); the wheel steps by one. No Qt in here.
//
// The tools read the fields directly. A user change writes m_nValue at once and tells the
// parent with WM_HSCROLL: MAKEWPARAM(SB_THUMBTRACK, value) for each step of a drag,
// MAKEWPARAM(SB_ENDSCROLL, value) when a change is complete (the end of a drag, a number
// taken, a wheel step); the value is the low 16 bits of a signed value, lParam the slider.
// The program may write the fields too: the slider draws them as they are whenever it
// paints (the value shown clamped into the range); UpdateData() clamps m_nValue into the
// range and repaints at once. SetValue, SetRange and SetLabel do both for one field.
#pragma once
#include <string>

#include "Control.h"

class CMySlider : public gui::Control {
 public:
  CMySlider();
  ~CMySlider() override;

  // Makes the slider, width x height pixels at the top left of parent's client area (the
  // option bar places it), visible; fontHeight in pixels (0: the default font).
  BOOL Create(gui::GWindow* parent, int width, int height, int fontHeight = 0, UINT id = 0);

  void SetValue(int value);
  int GetValue() const { return m_nValue; }
  // The range min..max (swapped when given the other way round); the value is clamped.
  void SetRange(int min, int max);
  void SetLabel(const char16_t* label);
  // Shows the fields now, m_nValue clamped into the range first. TRUE.
  BOOL UpdateData();

  int m_nValue = 0;
  int m_nMin = 0;
  int m_nMax = 100;
  std::u16string m_strLabel;

 private:
  int Clamped(int value) const;
  void Repaint();
  // The user chose value: stored, shown and reported with the scroll code.
  void OnUserValue(int value, WORD code);

  QWidget* m_pFace = nullptr;
};
