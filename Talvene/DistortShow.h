// The preview's quad rasteriser: one mesh cell drawn with nearest sampling into the preview
// source buffer.
#pragma once
#include <cstdint>

#include "PreviewKernels.h"
#include "odata/OLayer.h"

// An image the preview reads or writes: its description and its first row (rows top-down,
// nPitch pixels apart).
struct GridImage {
  LayerInfo info;
  BYTE* pixels;
};

// The quad being drawn: where it goes and what it shows.
struct Grid {
  GridImage imgDest;  // the preview source buffer, 4 bytes per pixel
  GridImage imgSrc;   // the source image
  POINT dst[4];       // destination corners 00, 01, 10, 11 (client pixels)
  POINT src[4];       // source corners in the same order
};

// The two crossings of one row of the preview: destination x and source point.
struct PreviewCrossing {
  int32_t x, sx, sy;
};
struct PreviewRowSpan {
  PreviewCrossing c[2];
  int32_t filled;
};

// Draws the quad of g into g.imgDest: spans holds one entry per row of imgDest (at least
// nSpans of them), indexed by the row itself, so a quad of any height keeps every visible
// row. colour: the source layer's colour (red low) that a mask source shows in. Throws
// "!Grid.imgDest.nPixelSize==4" and "nPixelSize?" (a source other than 2 or 4 bytes).
void DrawPreviewQuad(const Grid& g, uint32_t colour, PreviewRowSpan* spans, int nSpans, const preview::Kernels& k);
