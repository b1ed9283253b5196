// The quadrilateral mapping "XLasso": draws a locked source image into a locked destination
// image so that the source rectangle lands on a quadrilateral. Colour pixels are composited
// over the destination, mask values combined by maximum.
#pragma once
#include <cstdint>

#include "OComponent.h"
#include "OLayer.h"
#include "OWorker.h"

struct ODATA_EXPORT OLasso : OComponent {
  // The images are lock records (their LayerInfo head and pPixels) of the same pixel size;
  // quad holds P0..P3 as (x, y) in space coordinates, where the source's top-left,
  // top-right, bottom-left and bottom-right corners (grown by one pixel) land. The outline
  // runs P0, P1, P3, P2.
  // Without a job it draws at once with nearest sampling and returns the number of
  // destination rows the quadrilateral covers. With a job it only prepares it (4 x 4
  // supersampled bilinear, progress and abort through the control block) and returns the
  // bytes written into the job's argument block; until the job has ended the caller keeps
  // both images locked and makes no other Impress on this object.
  virtual int Impress(const LayerLock* imgDest, const LayerLock* imgSrc, const float quad[8], JobRecord* job) = 0;
};
