// The display device "XShowDevice": composes the visible layers of a paint space for the
// view under zoom, rotation and flip, and creates every layer.
#pragma once
#include <cstdint>

#include "OComponent.h"
#include "OLayer.h"
#include "platform/base/Present.h"

// The view: how the view's client area shows the space. Stored as these ten little-endian
// 32-bit fields.
struct ViewTransform {
  uint32_t flags;        // bit 0: mirrored left to right
  uint32_t spaceWidth;   // pixels
  uint32_t spaceHeight;  // pixels
  uint32_t background;   // 0x00RRGGBB shown where no layer covers the space
  int32_t clientWidth;
  int32_t clientHeight;
  float centreX;  // space point shown at the client centre
  float centreY;
  float angle;  // radians, 0..6.2832
  float scale;  // client pixels per space pixel
};
static_assert(sizeof(ViewTransform) == 40);

constexpr uint32_t VIEW_FLAG_FLIP = 0x1;

// Tidy words of the entries of a drawing pass.
constexpr uint32_t LYR_TIDY_C32 = 0x1;
constexpr uint32_t LYR_TIDY_NESTBASE = 0x2;
constexpr uint32_t LYR_TIDY_NESTED = 0x4;
constexpr uint32_t LYR_TIDY_MASKED = 0x8;
constexpr uint32_t LYR_TIDY_GLASSED = 0x20;
constexpr uint32_t LYR_TIDY_GLASS = 0x40;
constexpr uint32_t LYR_TIDY_VISIBLE = 0x100;
constexpr uint32_t LYR_TIDY_CURRENT = 0x1000;

constexpr int LYR_MAX_SUM = 64;  // layers one pass takes

struct ODATA_EXPORT OShowDevice : OComponent {
  // Composes one layer alone (normal mode, full opacity) for the view; -1 when the view
  // cannot be set.
  virtual int DrawSingleLayer(const ViewTransform* view, OLayer* layer, const RECT* rc, const POINT* scroll) = 0;
  // Opens a drawing pass; FALSE when the view is refused. forShow FALSE opens a pass for
  // picking or sampling instead of the screen.
  virtual BOOL DrawBegin(const ViewTransform* view, BOOL forShow) = 0;
  // Adds a layer (from the top of the list down) with its tidy word, and its glass or null.
  virtual void DrawLayer(OLayer* layer, uint32_t tidy, OLayer* glass) = 0;
  // Composes the pass for the screen: the rectangle, the strips a scroll exposes, or all.
  virtual int DrawEnd(const RECT* rc, const POINT* scroll) = 0;
  // Picking: the index (in DrawLayer order) of the topmost added layer that shows at the
  // space point, or -1.
  virtual int DrawEnd(const POINT* spacePoint) = 0;
  // Sampling: composes the added layers into a new colour layer of the space's size (count
  // 0), locked into the record; returns it.
  virtual OLayer* DrawEndForSample(LayerLock* out) = 0;
  // Presents the back buffer's rectangle (or all of it) into the target.
  virtual int Preset(HDC target, const RECT* rc) = 0;
  // The back buffer: client width and height, pitch, pixel size 4, its 32-bit pixels in
  // pPixels, rows bottom-up; zeros before the first drawing.
  virtual void GetBackBuffer(LayerLock* out) = 0;
  // Pans the view by client pixels (writes the clamped zoom and the new centre back).
  virtual void ScrollView(ViewTransform* view, int dx, int dy) = 0;
  virtual float* ClientToSpace(float out[2], const float in[2], const ViewTransform* view) = 0;
  virtual float* SpaceToClient(float out[2], const float in[2], const ViewTransform* view) = 0;
  // A new empty layer (count 0); throws "ERR_SIZE" outside 1..10000, "ERR_FORMAT" for a
  // format other than 2 and 4.
  virtual OLayer* CreateLayer(int width, int height, int format, UINT id) = 0;
  // Bytes a layer would need: the primary surface and 15 mip levels.
  virtual uint64_t GetLayerMemorySize(int width, int height, int pixelSize) = 0;
};
