// The distortion component "Talvene": warps a locked source image through a Bezier control
// lattice of up to 4 x 4 points, into a locked layer (as a worker job) or as a live preview
// composed over the display device's back buffer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "OComponent.h"
#include "OLayer.h"
#include "OShowDevice.h"
#include "OWorker.h"

struct DistortPoint {
  float x;
  float y;
};
struct DistortDensity {
  int32_t x;  // control points per row: 2 linear, 3 quadratic, 4 cubic
  int32_t y;  // control points per column
};

// Flag bits of DistortArgs::dwFlags.
constexpr uint32_t DISTORT_F_FACING = 0x2;   // the mirrored winding of a cell counts as its front
constexpr uint32_t DISTORT_F_HALF = 0x10000;  // half as many mesh samples per axis

// The arguments every operation takes. The fixed fields are the record the tool keeps and the
// job's argument block carries byte for byte (little-endian, 192 bytes); the source's pixel
// address, which a 32-bit field cannot hold here, is the native pointer after them.
struct DistortArgs {
  // The source image: the LayerInfo head of its lock record.
  int32_t nWidth;
  int32_t nHeight;
  int32_t nPitch;      // pixels per row
  int32_t nPixelSize;  // 4 colour, 2 mask
  int32_t x;           // the source's place in the space; not read
  int32_t y;
  uint32_t dwColor;     // red low, opacity 0..255 in the top byte (ShowRefreshLayerColorMode)
  uint32_t dwReserved;  // 0
  DistortPoint lattice[16];  // 4 rows of 4 points in destination pixels; the row stride is 4
  DistortDensity Density;
  int32_t nBiasColFirst;  // easing of the vertical curves at the first lattice column, 1/100
  int32_t nBiasRowFirst;  // easing of the horizontal curves at the first sample row
  int32_t nBiasColLast;
  int32_t nBiasRowLast;  // ... at the row after the last sample row
  uint32_t dwFlags;      // DISTORT_F_*
  int32_t nMode;         // blend mode 0..7 (the source layer's "MODE")
  BYTE* pPixels;         // the source's first row, rows top-down

  // Takes the head of a lock record: the description and the pixels.
  void SetImage(const LayerLock& lock) {
    nWidth = lock.nWidth;
    nHeight = lock.nHeight;
    nPitch = lock.nPitch;
    nPixelSize = lock.nPixelSize;
    x = lock.x;
    y = lock.y;
    dwColor = lock.dwColor;
    dwReserved = 0;
    pPixels = lock.pPixels;
  }
  DistortPoint& Point(int row, int col) { return lattice[row * 4 + col]; }
};
constexpr size_t DISTORT_ARGS_FIXED = 192;
static_assert(offsetof(DistortArgs, dwColor) == 24 && offsetof(DistortArgs, lattice) == 32);
static_assert(offsetof(DistortArgs, Density) == 160 && offsetof(DistortArgs, nBiasColFirst) == 168);
static_assert(offsetof(DistortArgs, dwFlags) == 184 && offsetof(DistortArgs, nMode) == 188);
static_assert(offsetof(DistortArgs, pPixels) == DISTORT_ARGS_FIXED && sizeof(DistortArgs) == 200);

struct ODATA_EXPORT ODistort : OComponent {
  // Renders the warped source into the destination (a lock record: its head and pPixels; x
  // and y place it in the space, whose coordinates the lattice uses). Without a job it draws
  // at once and returns 1, or 0 when cancelled. With a job it only prepares it (the worker
  // runs it; its result is 1 done, 0 cancelled) and returns 1; the caller keeps both images
  // locked until the job has ended.
  virtual int Impress(const LayerLock* imgDest, DistortArgs* args, JobRecord* job) = 0;
  // The rectangle (space pixels) the render may write: the caller backs it up first. Must
  // not run while a render job of this object runs.
  virtual void GetBound(RECT* out, DistortArgs* args) = 0;
  // Rasterises the preview (lattice in view client pixels) for the device's back buffer.
  virtual void ShowRefresh(OShowDevice* device, DistortArgs* args) = 0;
  // Takes the source layer's colour and blend mode into args and into the preview.
  virtual void ShowRefreshLayerColorMode(DistortArgs* args, OLayer* source) = 0;
  // Composes the preview over the back buffer in the client rectangle and presents it; falls
  // back to the device's Preset when the preview does not fit the back buffer.
  virtual int Show(OShowDevice* device, HDC hdc, const RECT* rc, BOOL recompose) = 0;
  // Moves every used lattice point by (dx, dy).
  virtual void Offset(DistortArgs* args, float dx, float dy) = 0;
};
