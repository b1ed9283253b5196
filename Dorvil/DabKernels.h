// The dab coverage of one pixel row: an elliptical dab with a hardness fall-off and an
// anti-aliased edge, as 16-bit coverage (0..65535). The scalar function is the definition;
// the SSE2 one is what the engine runs and gives the same bits.
#pragma once
#include <cstdint>

namespace dab {

struct Shape {
  float radius;    // pixels, at least kMinRadius
  float invR2;     // 1 / radius^2
  float cosA;      // the ellipse's angle
  float sinA;
  float aspect;    // 1: round; larger squeezes the dab across its angle
  float k1;        // inner fall-off slope: 1 - 1 / hardness (0 for a hard dab)
  float k2;        // outer fall-off: hardness / (1 - hardness)
  float hardness;  // inner part's extent in squared radius (2 for a hard dab: all inner)
  float opacity;   // 0..1
};

constexpr float kMinRadius = 0.5f;

// The shape of a dab of the given radius, hardness (0..1), aspect (>= 1), angle (degrees) and
// opacity (0..1). The fall-off fades with the hardness: at 0 nothing of the dab is left.
Shape MakeShape(float radius, float hardness, float aspect, float angleDegrees, float opacity);

// Coverage of n pixels of a row: dx is the first pixel centre's x offset from the dab centre
// (the next pixels follow at dx + 1, dx + 2 ...), dy the row's y offset.
void CoverageRowScalar(uint16_t* out, int n, float dx, float dy, const Shape& s);
// Pixels begin..end-1 of such a row (the SSE2 kernel's tail).
void CoverageSpanScalar(uint16_t* out, int begin, int end, float dx, float dy, const Shape& s);
void CoverageRowSse2(uint16_t* out, int n, float dx, float dy, const Shape& s);

}  // namespace dab
