// The integer items every brush publishes and how they map onto libmypaint's settings.
#pragma once
#include <array>
#include <cstdint>

#include "odata/OProperty.h"

typedef struct MyPaintBrush MyPaintBrush;

namespace dorvil {

enum BrushItem : uint32_t {
  ITEM_RADIUS = 0,         // 1..500, pixels through RadiusFromValue
  ITEM_OPACITY,            // 0..100 %
  ITEM_RASTER,             // 0..7, the glass merge's blend mode
  ITEM_OPERATEMODE,        // bit 0: arc mode
  ITEM_HARDNESS,           // 0..100 % of the dab's edge that is solid
  ITEM_SPACING,            // 5..200, distance between dabs in % of the radius
  ITEM_PRESSURE_SIZE,      // 0..100: how much a light touch shrinks the dab
  ITEM_PRESSURE_OPACITY,   // 0..100: how much a light touch fades the dab
  ITEM_SMOOTHING,          // 0..100: slow tracking of the pointer
  ITEM_JITTER,             // 0..100: random offset of each dab, in % of the diameter
  ITEM_COUNT
};

using BrushValues = std::array<int32_t, ITEM_COUNT>;

constexpr int32_t kRadiusMin = 1;
constexpr int32_t kRadiusMax = 500;

// The item table with the given values.
std::array<PropertyItem, ITEM_COUNT> MakeBrushItems(const BrushValues& values);

// "RADIUS" value -> pixels: 0.5 at 1 up to 250 at 500, quadratic so that small sizes get
// fine steps; values outside the range are clamped.
float RadiusFromValue(int32_t value);
// The nearest "RADIUS" value of a radius in pixels.
int32_t ValueFromRadius(float radius);

// The item values a libmypaint brush's settings stand for; items without a setting (blend
// mode, arcs) keep those of defaults. The pressure items measure the brush's pressure curves:
// the drop at zero pressure of the straight line with the same mean.
BrushValues ValuesFromBrush(MyPaintBrush* brush, const BrushValues& defaults);
// Writes the items into the brush's settings; eraser makes its dabs remove paint. An item at
// the value the brush's own settings stand for leaves them as they are; a changed pressure
// item scales the brush's pressure curve about full pressure (a straight line where it has
// none), so the curve keeps its shape.
void ApplyToBrush(MyPaintBrush* brush, const BrushValues& values, bool eraser);

// Whether the brush's dabs are meant to add up: true unless its opacity linearisation makes
// one pass over a pixel give about the brush's opacity (libmypaint's estimate of the dabs
// that overlap a pixel, as it makes it).
bool BuildsUp(MyPaintBrush* brush);

}  // namespace dorvil
