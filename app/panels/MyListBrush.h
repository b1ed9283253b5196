// The brush list: the owner-drawn list of brush entries in the brush bar. Each entry joins one
// brush component to a name, a description, the component's items and five value sets (0 the
// working values, 1-4 the presets). The list finds the components, loads and saves the
// presets file, clones, deletes, reorders and finds brushes, stores and recalls presets, marks
// brushes for quick switching, and hands the current brush to the paint tool.
#pragma once
#include "odata/OProperty.h"
#include "panels/MyListBox.h"

struct OBrush;
class CPaintSpace;

class CMyListBrush : public CMyListBox {
 public:
  CMyListBrush();
  ~CMyListBrush() override;

  static const char16_t* GetClassName() { return u"CMyListBrush"; }

  // What the paint tool asks of the list. Each answers 0 / null / -1 without a current row.
  // The current brush with its working values applied (no reference added).
  OBrush* GetCurBrush();
  // The next marked brush other than the current one becomes current (null: none).
  OBrush* SwitchBrush();
  void SelectBrush(int index);
  // Loads preset n (clamped to 1..4) into the working values.
  int RecallPreset(int n);
  // "RADIUS" in pixels (through the component's MapValue).
  float GetRadius();
  // Bit 0 of "OPERATEMODE".
  int GetOperateMode();
  // Where "RADIUS" lies in its range, 0..1.
  float GetRadiusRatio();
  // Sets "RADIUS" at the ratio of its range; returns the new radius in pixels.
  float SetRadiusRatio(float ratio);
};
