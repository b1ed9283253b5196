// The flood fill "XFlood": finds the region a paint-bucket press reaches and keeps it as
// 1-bit maps.
//
// A 1-bit map is a RECT in space pixels whose width (the span) is a multiple of 32, with
// rows top-down of span / 32 words and no gaps: pixel (x, y) is bit (x - left) & 31 of word
// ((y - top) * span + (x - left)) >> 5, bits counted from the least significant.
#pragma once
#include <cstdint>

#include "OComponent.h"

struct OLayer;

struct ODATA_EXPORT OFlood : OComponent {
  // Spreads from the seed through 4-connected neighbours of the layer that lie inside rcEnd,
  // are clear in the bit box and pass the colour test against the pixel they are reached
  // from; sets their bits. FALSE when the seed is outside rcEnd or already set; else rcOut
  // becomes rcEnd and the result is TRUE. rcEnd must lie inside the layer and the bit box.
  // Colour test: on a colour layer the four byte differences add up to less than the
  // tolerance; on a mask layer the neighbour is at most tolerance * 128 lower.
  virtual BOOL Flood(DWORD* bitbox, const RECT* rcBitbox, const RECT* rcEnd, const POINT* seed, unsigned tolerance,
                     OLayer* layer, RECT* rcOut) = 0;
  // With radius > 0 first clears every bit-box bit outside the disc around the centre, then
  // ORs the overlap of the two maps into the bitmap. FALSE when they do not overlap.
  virtual BOOL MergeBitboxToBitmap(DWORD* bitmap, const RECT* rcBitmap, DWORD* bitbox, const RECT* rcBitbox,
                                   const POINT* centre, int radius) = 0;
  // Starts a bit box from the bitmap: the overlap is copied, every other bit-box bit is
  // cleared. FALSE (nothing changed) when they do not overlap.
  virtual BOOL CopyBitmapToBitbox(DWORD* bitbox, const RECT* rcBitbox, const DWORD* bitmap, const RECT* rcBitmap) = 0;
};
