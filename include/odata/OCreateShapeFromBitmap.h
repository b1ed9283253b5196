// The outline tracer "XCreateShapeFromBitmap": the set pixels of a 1-bit map become closed
// outlines along pixel edges, clockwise around regions and the other way around holes.
#pragma once
#include <cstdint>

#include "OComponent.h"

struct ODATA_EXPORT OCreateShapeFromBitmap : OComponent {
  // Traces rcLimit of the map (which must lie strictly inside rcBitmap; the one-pixel
  // frame around rcLimit is cleared in the caller's map). Returns the vertex count.
  virtual int Begin(DWORD* pBitmap, const RECT* rcBitmap, const RECT* rcLimit) = 0;
  // The next vertex; *newContour is 1 at the first vertex of each contour. FALSE at the end.
  virtual BOOL GetPoint(POINT* point, int* newContour) = 0;
  virtual void End() = 0;
};
