// The snap lines of the tools that place rectangles (move, create layer, trim): the left and
// right edges of the current and of every shown layer, then 0 and the space's width, as x
// lines; the same for y. A coordinate snaps to the first line, in that order, within four
// view pixels.
#pragma once
#include <vector>

#include "platform/base/Types.h"

class CPaintSpace;

class CSnapLines {
 public:
  // Snapping reaches this far in view pixels.
  static constexpr float kViewPixels = 4.0f;

  // Refills both lists from the layer list and the space.
  void Fill(CPaintSpace* space);
  void Clear();
  // The first line within tolerance of v, or v itself.
  static float Snap(const std::vector<float>& lines, float v, float tolerance);
  // The leading edge of a span [lead, lead + length): the first line within tolerance of the
  // leading edge, else the first within tolerance of the trailing edge (less the length),
  // else lead itself.
  static float SnapSpan(const std::vector<float>& lines, float lead, float length, float tolerance);
  // Four view pixels in space pixels at the space's zoom.
  static float Tolerance(CPaintSpace* space);

  std::vector<float> m_aSnapX;
  std::vector<float> m_aSnapY;
};
