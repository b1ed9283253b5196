// Where the display device and previews present 32-bit pixels: the view's screen image in
// the program, memory in tests.
#pragma once
#include <cstdint>
#include <vector>

#include "Types.h"

namespace plat {

class PresentTarget {
 public:
  virtual ~PresentTarget() = default;
  // Copies the rectangle rc of a 32-bit image (width x height pixels, rows of pitch pixels;
  // with bottomUp, row 0 of pixels is the image's bottom row) to the same place of the
  // target. rc is in the image's top-down coordinates and already clipped to it.
  virtual void Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp,
                       const RECT& rc) = 0;
};

// A target in memory: a top-down image that grows to what is presented into it.
class MemoryPresentTarget final : public PresentTarget {
 public:
  void Present(const uint32_t* pixels, int width, int height, int pitch, bool bottomUp,
               const RECT& rc) override {
    if (width != m_width || height != m_height) {
      m_width = width;
      m_height = height;
      m_pixels.assign(size_t(width) * size_t(height), 0);
    }
    for (LONG y = rc.top; y < rc.bottom; ++y) {
      const uint32_t* src = pixels + size_t(bottomUp ? height - 1 - y : y) * size_t(pitch);
      for (LONG x = rc.left; x < rc.right; ++x) m_pixels[size_t(y) * size_t(width) + size_t(x)] = src[x];
    }
    ++m_presents;
    m_last = rc;
  }
  uint32_t At(int x, int y) const { return m_pixels[size_t(y) * size_t(m_width) + size_t(x)]; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  int Presents() const { return m_presents; }
  RECT LastRect() const { return m_last; }
  const std::vector<uint32_t>& Pixels() const { return m_pixels; }

 private:
  int m_width = 0;
  int m_height = 0;
  int m_presents = 0;
  RECT m_last{};
  std::vector<uint32_t> m_pixels;
};

}  // namespace plat

// The system's name for a presenting target.
using HDC = plat::PresentTarget*;
