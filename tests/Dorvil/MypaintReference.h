// libmypaint painting on its own fixed tiled surface with its own dab renderer: the reference
// our strokes are held against (the brush comparison tests and the stroke benchmark). The
// surface starts transparent (libmypaint fills a new one with 0xFFFF, beyond its full scale).
#pragma once
#include <mypaint-brush.h>
#include <mypaint-fixed-tiled-surface.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BrushStroke.h"

namespace dorvil_test {

// One stroke event as the pen gives it; dtime: seconds since the previous event.
struct StrokeEvent {
  float x, y, pressure, xtilt, ytilt;
  double dtime;
};

// The engine ends a stroke with the smoothing catching up: the pen held at its last point for
// this many steps of this many seconds. The reference is given the same held pen.
constexpr int kHeldSteps = 24;
constexpr double kHeldDtime = 0.01;

// A libmypaint brush read from a preset file; null when the file is missing or not accepted.
inline MyPaintBrush* LoadMypaintBrush(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::ostringstream text;
  text << in.rdbuf();
  MyPaintBrush* b = mypaint_brush_new();
  if (!mypaint_brush_from_string(b, text.str().c_str())) {
    mypaint_brush_unref(b);
    return nullptr;
  }
  return b;
}

class MypaintReference {
 public:
  static constexpr int kTile = MYPAINT_TILE_SIZE;
  static constexpr float kOne = 32768.0f;  // libmypaint's fixed-point 1.0

  MypaintReference(int w, int h) : m_fixed(mypaint_fixed_tiled_surface_new(w, h)), m_width(w), m_height(h) {
    Fill(0, 0.0f);
  }
  ~MypaintReference() { mypaint_surface_unref(Surface()); }
  MypaintReference(const MypaintReference&) = delete;
  MypaintReference& operator=(const MypaintReference&) = delete;

  MyPaintSurface* Surface() { return mypaint_fixed_tiled_surface_interface(m_fixed); }

  // Every pixel the colour 0x00RRGGBB at the alpha (0..1), premultiplied as libmypaint keeps it.
  void Fill(uint32_t rgb, float alpha) {
    const uint16_t a = uint16_t(std::lround(alpha * kOne));
    const uint16_t px[4] = {Premultiplied(rgb >> 16, a), Premultiplied(rgb >> 8, a), Premultiplied(rgb, a), a};
    for (int ty = 0; ty * kTile < m_height; ++ty)
      for (int tx = 0; tx * kTile < m_width; ++tx) {
        uint16_t* t = Tile(tx, ty);
        for (int i = 0; i < kTile * kTile; ++i)
          for (int c = 0; c < 4; ++c) t[i * 4 + c] = px[c];
      }
  }

  // Pixel (x, y): premultiplied red, green, blue and alpha, kOne full.
  const uint16_t* Pixel(int x, int y) {
    return Tile(x / kTile, y / kTile) + (size_t(y % kTile) * kTile + size_t(x % kTile)) * 4;
  }
  // How many pixels have at least the alpha (0..1).
  size_t Covered(float minAlpha) {
    const uint16_t least = uint16_t(std::lround(minAlpha * kOne));
    size_t n = 0;
    for (int ty = 0; ty * kTile < m_height; ++ty)
      for (int tx = 0; tx * kTile < m_width; ++tx) {
        const uint16_t* t = Tile(tx, ty);
        for (int i = 0; i < kTile * kTile; ++i) n += t[i * 4 + 3] >= least;
      }
    return n;
  }
  // The pixel composed over white, 0x00RRGGBB.
  uint32_t OverWhite(int x, int y) {
    const uint16_t* p = Pixel(x, y);
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
      const float v = (float(p[c]) + (kOne - float(p[3])) ) * 255.0f / kOne;
      out |= uint32_t(std::lround(std::fmin(v, 255.0f))) << (16 - 8 * c);
    }
    return out;
  }

  // The events through libmypaint as the engine gives them to it: the stroke started as the
  // engine starts it, the first event places the pen (with the second's pressure, as the
  // engine takes it), the held pen after the last.
  void Stroke(MyPaintBrush* b, const std::vector<StrokeEvent>& events) {
    if (events.empty()) return;
    MyPaintSurface* s = Surface();
    dorvil::StartBrushStroke(b);
    mypaint_surface_begin_atomic(s);
    const StrokeEvent& first = events.front();
    const float placed = events.size() > 1 ? events[1].pressure : first.pressure;
    mypaint_brush_stroke_to(b, s, first.x, first.y, placed, first.xtilt, first.ytilt, 10.0);
    for (size_t i = 1; i < events.size(); ++i) {
      const StrokeEvent& e = events[i];
      mypaint_brush_stroke_to(b, s, e.x, e.y, e.pressure, e.xtilt, e.ytilt, e.dtime);
    }
    if (mypaint_brush_get_base_value(b, MYPAINT_BRUSH_SETTING_SLOW_TRACKING) > 0.0f) {
      const StrokeEvent& last = events.back();
      for (int i = 0; i < kHeldSteps; ++i)
        mypaint_brush_stroke_to(b, s, last.x, last.y, last.pressure, last.xtilt, last.ytilt, kHeldDtime);
    }
    MyPaintRectangle roi{};
    mypaint_surface_end_atomic(s, &roi);
  }

 private:
  static uint16_t Premultiplied(uint32_t channel, uint16_t a) {
    return uint16_t(std::lround(float(channel & 255u) / 255.0f * float(a)));
  }
  uint16_t* Tile(int tx, int ty) {
    // The fixed surface hands out pointers into its own buffer; ending the request keeps them.
    auto* tiled = reinterpret_cast<MyPaintTiledSurface*>(m_fixed);
    MyPaintTileRequest r;
    mypaint_tile_request_init(&r, 0, tx, ty, FALSE);
    mypaint_tiled_surface_tile_request_start(tiled, &r);
    uint16_t* buffer = r.buffer;
    mypaint_tiled_surface_tile_request_end(tiled, &r);
    return buffer;
  }

  MyPaintFixedTiledSurface* m_fixed;
  int m_width, m_height;
};

}  // namespace dorvil_test
