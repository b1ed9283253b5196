// The polygon filler "Corbish": closed outlines in floating-point pixel coordinates in,
// rows of anti-aliased coverage (non-zero winding, f x f sub-samples per pixel) out.
#pragma once
#include <cstdint>

#include "OComponent.h"

struct ODATA_EXPORT OShape : OComponent {
  // Starts a new outline; factor is 1, 2, 4, 8 or 16.
  virtual void CollectBegin(int factor) = 0;
  // Adds point (x, y); newContour starts a further contour (closing the current one).
  virtual void Collect(const float point[2], BOOL newContour) = 0;
  // Closes the last contour; FALSE (and back to the ready state) when it has fewer than
  // 3 points.
  virtual BOOL CollectEnd() = 0;
  // The coverage row buffer, indexed from scan->left. Callers only read it: the filler
  // rewrites just the entries that change from one row to the next.
  virtual WORD* ScanBegin(const RECT* scan) = 0;
  // The next row that has crossings; *rowOut tells which row and which columns the
  // buffer holds. Rows without crossings are skipped.
  virtual BOOL Scan(RECT* rowOut) = 0;
  virtual void Reset() = 0;
};
