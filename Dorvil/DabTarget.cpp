#include "DabTarget.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dorvil {

BOOL DabTarget::Open(OLayer* layer, DabMode mode, uint32_t colour, float strokeOpacity) {
  Close();
  // Each dab marks its blocks before it writes them.
  if (!layer || !m_lock.Lock(layer, LYR_LOCK_MARKED)) return FALSE;
  m_pLayer = layer;
  m_mode = mode;
  m_colour = colour;
  m_strokeOpacity = uint32_t(std::clamp(strokeOpacity, 0.0f, 1.0f) * 65535.0f + 0.5f);
  return TRUE;
}

void DabTarget::Close() {
  if (m_lock.pLayer) m_lock.Unlock();
  m_pLayer = nullptr;
}

BOOL DabTarget::Paint(float x, float y, const dab::Shape& shape) {
  if (!m_lock.pLayer) return FALSE;
  // The dab in layer pixels; pixel (i, j) has its centre at (i + 0.5, j + 0.5).
  const float cx = x - float(m_lock.x), cy = y - float(m_lock.y);
  const float reach = shape.radius + 1.0f;
  const int x0 = std::max(0, int(std::floor(cx - reach)));
  const int y0 = std::max(0, int(std::floor(cy - reach)));
  const int x1 = std::min(m_lock.nWidth, int(std::ceil(cx + reach)));
  const int y1 = std::min(m_lock.nHeight, int(std::ceil(cy + reach)));
  if (x0 >= x1 || y0 >= y1 || !std::isfinite(cx) || !std::isfinite(cy)) return FALSE;
  const RECT marked{m_lock.x + x0, m_lock.y + y0, m_lock.x + x1, m_lock.y + y1};
  m_pLayer->PAT_MarkSet(&marked, nullptr);
  const int n = x1 - x0;
  if (m_cover.size() < size_t(n)) m_cover.resize(size_t(n));
  const float dx = float(x0) + 0.5f - cx;
  for (int j = y0; j < y1; ++j) {
    dab::CoverageRowSse2(m_cover.data(), n, dx, float(j) + 0.5f - cy, shape);
    ApplyRow(m_lock.Row(j) + size_t(x0) * size_t(m_lock.nPixelSize), m_cover.data(), n);
  }
  return TRUE;
}

namespace {

inline uint32_t Scale16(uint32_t v, uint32_t c) { return (v * c + 32767u) / 65535u; }

uint32_t OverC32(uint32_t dest, uint32_t colour, uint32_t c) {
  // Non-premultiplied "over": the dab's colour at coverage c over the pixel, one reciprocal
  // per pixel (an opaque pixel needs none).
  const float a = float(c) * (1.0f / 65535.0f);
  const uint32_t da = dest >> 24;
  if (da == 255) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const float s = float((colour >> shift) & 255u), d = float((dest >> shift) & 255u);
      out |= uint32_t(d + (s - d) * a + 0.5f) << shift;
    }
    return out;
  }
  const float db = float(da) * (1.0f / 255.0f) * (1.0f - a);
  const float outA = a + db;
  if (outA <= 0.0f) return dest;
  const float inv = 1.0f / outA;
  uint32_t out = uint32_t(std::min(outA * 255.0f + 0.5f, 255.0f)) << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    const float s = float((colour >> shift) & 255u), d = float((dest >> shift) & 255u);
    out |= uint32_t(std::min((s * a + d * db) * inv + 0.5f, 255.0f)) << shift;
  }
  return out;
}

}  // namespace

void DabTarget::ApplyRow(BYTE* row, const uint16_t* cover, int n) {
  if (m_lock.nPixelSize == 2) {
    auto* v = reinterpret_cast<uint16_t*>(row);
    for (int i = 0; i < n; ++i) {
      const uint32_t c = cover[i];
      switch (m_mode) {
        case DabMode::GLASS: v[i] = std::max<uint16_t>(v[i], uint16_t(c)); break;
        case DabMode::BUILD: {
          // Shown: O x v. Over it a dab of O x c gives O x v + (1 - O x v) x O x c, which is
          // O x (v + (1 - O x v) x c); full coverage is the stroke's opacity.
          const uint32_t room = 65535u - Scale16(v[i], m_strokeOpacity);
          v[i] = uint16_t(std::min<uint32_t>(65535u, v[i] + Scale16(room, c)));
          break;
        }
        case DabMode::OVER: v[i] = uint16_t(v[i] + Scale16(65535u - v[i], c)); break;
        case DabMode::ERASE: v[i] = uint16_t(v[i] - Scale16(v[i], c)); break;
      }
    }
    return;
  }
  auto* p = reinterpret_cast<uint32_t*>(row);
  // 0x00RRGGBB is already the pixel order (blue low).
  const uint32_t colour = m_colour & 0xFFFFFFu;
  for (int i = 0; i < n; ++i) {
    const uint32_t c = cover[i];
    if (c == 0) continue;
    if (m_mode == DabMode::ERASE) {
      const uint32_t a = p[i] >> 24;
      p[i] = (p[i] & 0xFFFFFFu) | ((a - Scale16(a, c)) << 24);
    } else {
      p[i] = OverC32(p[i], colour, c);
    }
  }
}

}  // namespace dorvil
