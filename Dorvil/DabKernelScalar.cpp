#include <algorithm>
#include <cmath>

#include "DabKernels.h"

namespace dab {

Shape MakeShape(float radius, float hardness, float aspect, float angleDegrees, float opacity) {
  Shape s{};
  s.radius = std::max(radius, kMinRadius);
  s.invR2 = 1.0f / (s.radius * s.radius);
  const float a = angleDegrees * 0.017453292f;
  s.cosA = std::cos(a);
  s.sinA = std::sin(a);
  s.aspect = std::max(aspect, 1.0f);
  hardness = std::clamp(hardness, 0.0f, 1.0f);
  if (hardness >= 0.999f) {
    // Hard: full coverage up to the anti-aliased edge.
    s.k1 = 0.0f;
    s.k2 = 0.0f;
    s.hardness = 2.0f;
  } else if (hardness <= 0.0f) {
    // The fall-off's limit: the inner part shrinks to the centre and the outer one flattens to
    // zero, so the softest dab leaves nothing (as libmypaint draws it).
    s.k1 = 0.0f;
    s.k2 = 0.0f;
    s.hardness = -1.0f;
  } else {
    s.k1 = 1.0f - 1.0f / hardness;
    s.k2 = hardness / (1.0f - hardness);
    s.hardness = hardness;
  }
  s.opacity = std::clamp(opacity, 0.0f, 1.0f);
  return s;
}

// Each step is one IEEE single operation in the order the SSE2 kernel takes them.
static inline uint16_t CoverageAt(float xx, float yy, const Shape& s) {
  const float xr = yy * s.sinA + xx * s.cosA;
  const float yr = (yy * s.cosA - xx * s.sinA) * s.aspect;
  const float rr = (xr * xr + yr * yr) * s.invR2;
  const float inner = 1.0f + rr * s.k1;
  const float outer = (1.0f - rr) * s.k2;
  float profile = rr <= s.hardness ? inner : outer;
  profile = std::max(profile, 0.0f);
  float edge = (1.0f - std::sqrt(rr)) * s.radius + 0.5f;
  edge = std::min(std::max(edge, 0.0f), 1.0f);
  const float c = profile * edge * s.opacity;
  return uint16_t(int(c * 65535.0f + 0.5f));
}

void CoverageSpanScalar(uint16_t* out, int begin, int end, float dx, float dy, const Shape& s) {
  for (int i = begin; i < end; ++i) out[i] = CoverageAt(dx + float(i), dy, s);
}

void CoverageRowScalar(uint16_t* out, int n, float dx, float dy, const Shape& s) {
  CoverageSpanScalar(out, 0, n, dx, dy, s);
}

}  // namespace dab
