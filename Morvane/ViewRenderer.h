// The view renderer: owns the back buffer and turns the layers of a drawing pass into
// screen pixels under the view's zoom, rotation and flip, tile by tile (compose, resample,
// copy).
#pragma once
#include <cstdint>

#include "Compositor.h"
#include "Resampler.h"
#include "odata/OShowDevice.h"

class TilePool;

// The pass's view as the tile loop uses it: the Q14 rotation, the step (accumulator pixels per
// screen pixel x 2048) and the centre in units of the pass's mip level.
struct ViewPass {
  int16_t cosQ14 = 16384;
  int16_t sinQ14 = 0;
  int16_t step = 2048;
  bool flip = false;
  double centreX = 0, centreY = 0;
  int clientWidth = 0, clientHeight = 0;
};

// Maps a tile of the client area (left, top, width and height in client pixels; sides
// multiples of 4, at most 128) back into the space at the pass's level: the resampler's
// parameters with the anchor, and the accumulator's origin, rows and per-row spans in work.
void MapTile(const ViewPass& pass, int left, int top, int width, int height, ResampleParams* rp,
             ComposeWork* work);
// Its two halves: the resampler's parameters and the accumulator's origin, then the rows and
// spans the resampler will read (from those parameters).
void MapTileAnchor(const ViewPass& pass, int left, int top, int width, int height, ResampleParams* rp,
                   ComposeWork* work);
void MapTileFootprint(const ViewPass& pass, const ResampleParams& rp, ComposeWork* work);

class ViewRenderer {
 public:
  ViewRenderer();
  ~ViewRenderer();
  ViewRenderer(const ViewRenderer&) = delete;
  ViewRenderer& operator=(const ViewRenderer&) = delete;

  // The threads that share out the tiles (null: the calling thread alone). The pool must
  // outlive every Render that uses it; the picture is the same with or without one.
  void SetPool(TilePool* pool);

  // Takes the pass's view; the mip level, or -1 when a view is set and not yet rendered.
  int SetView(const ViewTransform* view);
  // Appends an entry from a layer's show record; the record's nKernel is the compose code
  // (the device forms it). mask: the show record of the entry's mask, or null.
  void AddLayer(const ShowParam* show, const ShowParam* mask);
  // Whether the entries' empty blocks are left out (they are unless told otherwise); the
  // picture is the same either way.
  void SetBlockSkipping(bool on);
  // Renders the rectangle, the strips a scroll exposes, or the whole client area; ends the
  // pass. Returns 1 when something was rendered, 0 otherwise.
  int Render(const RECT* rc, const POINT* scroll);
  // Forgets a pass that failed half-way, so the next SetView is accepted.
  void Abandon();
  // Presents the back buffer's rectangle (clipped to the client area), or all of it.
  int Output(HDC target, const RECT* rc);
  void GetBackBuffer(LayerLock* out) const;
  int GetMipLevel() const { return m_mip; }
  // The view of the last SetView, as given.
  const ViewTransform& GetView() const { return m_view; }

 private:
  struct Impl;
  void RenderArea(RECT area);
  static void RenderTileJob(void* context, int index, int worker);
  void Scroll(int dx, int dy);
  Impl* m_impl;
  int m_state = 1;  // 1 ready, 2 view set
  int m_mip = 0;
  ViewTransform m_view{};
};
