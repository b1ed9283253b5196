#include "BrushItems.h"

#include <mypaint-brush.h>

#include <algorithm>
#include <cmath>

namespace dorvil {
namespace {

constexpr float kRadiusLow = 0.5f;
constexpr float kRadiusHigh = 250.0f;
// A full pressure-to-size setting still leaves this share of the radius at zero pressure.
constexpr float kSmallestPressureSize = 0.05f;

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }
int32_t Percent(float v, int32_t lo, int32_t hi) { return Clamp(int32_t(std::lround(v * 100.0f)), lo, hi); }

const PropertyItem kItems[ITEM_COUNT] = {
    {0, PROP_TYPE_RANGE, 0, 0, kRadiusMin, kRadiusMax, u"RADIUS", u"半径", nullptr, u"笔刷的大小"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"OPACITY", u"不透明度", nullptr, u"笔迹的不透明度，值越大越不透明"},
    {0, PROP_TYPE_CHOICE, 0, 0, 0, 7, u"RASTER", u"光栅", u"正常|明|暗|光|影|透明|透暗|反", u"笔迹与图层的合成方法"},
    {0, PROP_TYPE_BOOL, 0, 0, 0, 1, u"OPERATEMODE", u"弧线", nullptr, u"以三点弧线作画"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"HARDNESS", u"硬度", nullptr, u"笔尖边缘的硬度"},
    {0, PROP_TYPE_RANGE, 0, 0, 5, 200, u"SPACING", u"间距", nullptr, u"笔点之间的距离（半径的百分比）"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"PRESSURESIZE", u"压感>大小", nullptr, u"轻压时笔迹变细的程度"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"PRESSUREOPACITY", u"压感>不透明度", nullptr, u"轻压时笔迹变淡的程度"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"SMOOTHING", u"平滑", nullptr, u"笔迹跟随光标的迟缓程度，越大越平滑"},
    {0, PROP_TYPE_RANGE, 0, 0, 0, 100, u"JITTER", u"抖动", nullptr, u"笔点的随机偏移（直径的百分比）"},
};

float Base(MyPaintBrush* b, MyPaintBrushSetting s) { return mypaint_brush_get_base_value(b, s); }

// A setting's pressure curve: the offset it adds to the base value, as libmypaint evaluates it
// (linear between points, extended beyond the ends, a vertical step taking its lower side).
class PressureCurve {
 public:
  PressureCurve(MyPaintBrush* b, MyPaintBrushSetting s) : m_brush(b), m_setting(s) {
    m_n = mypaint_brush_get_mapping_n(b, s, MYPAINT_BRUSH_INPUT_PRESSURE);
  }
  bool Present() const { return m_n >= 2; }
  float At(float x) const {
    float x0, y0, x1, y1;
    Point(0, &x0, &y0);
    Point(1, &x1, &y1);
    for (int i = 2; i < m_n && x > x1; ++i) {
      x0 = x1;
      y0 = y1;
      Point(i, &x1, &y1);
    }
    if (x0 == x1 || y0 == y1) return y0;
    return (y1 * (x - x0) + y0 * (x1 - x)) / (x1 - x0);
  }
  // How far the curve lies below its full-pressure value on average over 0..1.
  float MeanDrop() const {
    if (!Present()) return 0.0f;
    constexpr int kSteps = 256;
    double sum = 0.0;
    for (int i = 0; i < kSteps; ++i) sum += At((float(i) + 0.5f) / float(kSteps));
    return At(1.0f) - float(sum / kSteps);
  }
  // Every point's offset from the full-pressure value times k.
  void ScaleAboutFull(float k) {
    const float full = At(1.0f);
    for (int i = 0; i < m_n; ++i) {
      float x, y;
      Point(i, &x, &y);
      mypaint_brush_set_mapping_point(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, i, x, full + (y - full) * k);
    }
  }
  // A straight line from (0, low) to (1, high), or no curve.
  void SetLine(float low, float high) {
    m_n = 2;
    mypaint_brush_set_mapping_n(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, 2);
    mypaint_brush_set_mapping_point(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, 0, 0.0f, low);
    mypaint_brush_set_mapping_point(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, 1, 1.0f, high);
  }
  void Remove() {
    m_n = 0;
    mypaint_brush_set_mapping_n(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, 0);
  }

 private:
  void Point(int i, float* x, float* y) const {
    mypaint_brush_get_mapping_point(m_brush, m_setting, MYPAINT_BRUSH_INPUT_PRESSURE, i, x, y);
  }
  MyPaintBrush* m_brush;
  MyPaintBrushSetting m_setting;
  int m_n;
};

// Pressure to size as a share 0..1: how much zero pressure shrinks the radius, for the
// straight line (in the logarithmic radius) with the curve's mean drop.
float SizeShare(MyPaintBrush* b) {
  return 1.0f - std::exp(-2.0f * PressureCurve(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC).MeanDrop());
}
// Pressure to opacity as a share 0..1 of the full-pressure opacity factor, likewise.
float FadeShare(MyPaintBrush* b) {
  PressureCurve curve(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY);
  const float full = Base(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY) + (curve.Present() ? curve.At(1.0f) : 0.0f);
  return full > 0.0f ? 2.0f * curve.MeanDrop() / full : 0.0f;
}

void ApplyPressureSize(MyPaintBrush* b, float share) {
  PressureCurve curve(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC);
  const float drop = -std::log(std::max(1.0f - share, kSmallestPressureSize));
  const float own = curve.MeanDrop() * 2.0f;
  if (own > 0.0f) curve.ScaleAboutFull(drop / own);
  else if (share > 0.0f) curve.SetLine(-drop, 0.0f);
  else curve.Remove();
}

void ApplyPressureOpacity(MyPaintBrush* b, float share) {
  PressureCurve curve(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY);
  const float own = FadeShare(b);
  if (own > 0.0f) {
    curve.ScaleAboutFull(share / own);
  } else if (share > 0.0f) {
    // The factor runs from 1 - share up to 1.
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, 0.0f);
    curve.SetLine(1.0f - share, 1.0f);
  } else {
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, 1.0f);
    curve.Remove();
  }
}

}  // namespace

std::array<PropertyItem, ITEM_COUNT> MakeBrushItems(const BrushValues& values) {
  std::array<PropertyItem, ITEM_COUNT> items{};
  for (uint32_t i = 0; i < ITEM_COUNT; ++i) {
    items[i] = kItems[i];
    items[i].value = ClampPropertyValue(items[i], values[i]);
  }
  return items;
}

float RadiusFromValue(int32_t value) {
  float t = float(Clamp(value, kRadiusMin, kRadiusMax) - kRadiusMin) / float(kRadiusMax - kRadiusMin);
  return kRadiusLow + (kRadiusHigh - kRadiusLow) * t * t;
}

int32_t ValueFromRadius(float radius) {
  if (!(radius > kRadiusLow)) return kRadiusMin;
  float t = std::sqrt((radius - kRadiusLow) / (kRadiusHigh - kRadiusLow));
  return Clamp(kRadiusMin + int32_t(std::lround(t * float(kRadiusMax - kRadiusMin))), kRadiusMin, kRadiusMax);
}

BrushValues ValuesFromBrush(MyPaintBrush* b, const BrushValues& defaults) {
  BrushValues v = defaults;
  v[ITEM_RADIUS] = ValueFromRadius(std::exp(Base(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC)));
  v[ITEM_OPACITY] = Percent(Base(b, MYPAINT_BRUSH_SETTING_OPAQUE), 0, 100);
  v[ITEM_HARDNESS] = Percent(Base(b, MYPAINT_BRUSH_SETTING_HARDNESS), 0, 100);
  float dabs = Base(b, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS);
  v[ITEM_SPACING] = dabs > 0.0f ? Clamp(int32_t(std::lround(100.0f / dabs)), 5, 200) : 200;
  v[ITEM_PRESSURE_SIZE] = Percent(SizeShare(b), 0, 100);
  v[ITEM_PRESSURE_OPACITY] = Percent(FadeShare(b), 0, 100);
  v[ITEM_SMOOTHING] = Clamp(int32_t(std::lround(Base(b, MYPAINT_BRUSH_SETTING_SLOW_TRACKING) * 10.0f)), 0, 100);
  v[ITEM_JITTER] = Percent(Base(b, MYPAINT_BRUSH_SETTING_OFFSET_BY_RANDOM) / 2.0f, 0, 100);
  return v;
}

void ApplyToBrush(MyPaintBrush* b, const BrushValues& in, bool eraser) {
  // Values come from stored sets too: clamp them as the items would.
  std::array<PropertyItem, ITEM_COUNT> items = MakeBrushItems(in);
  const BrushValues own = ValuesFromBrush(b, in);
  auto changed = [&](BrushItem i) { return items[i].value != own[i]; };
  auto value = [&](BrushItem i) { return float(items[i].value); };

  if (changed(ITEM_RADIUS))
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, std::log(RadiusFromValue(items[ITEM_RADIUS].value)));
  if (changed(ITEM_OPACITY)) mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE, value(ITEM_OPACITY) / 100.0f);
  if (changed(ITEM_HARDNESS)) mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_HARDNESS, value(ITEM_HARDNESS) / 100.0f);
  if (changed(ITEM_SPACING))
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS, 100.0f / value(ITEM_SPACING));
  if (changed(ITEM_SMOOTHING))
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_SLOW_TRACKING, value(ITEM_SMOOTHING) / 10.0f);
  if (changed(ITEM_JITTER)) mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OFFSET_BY_RANDOM, value(ITEM_JITTER) / 50.0f);
  if (changed(ITEM_PRESSURE_SIZE)) ApplyPressureSize(b, value(ITEM_PRESSURE_SIZE) / 100.0f);
  if (changed(ITEM_PRESSURE_OPACITY)) ApplyPressureOpacity(b, value(ITEM_PRESSURE_OPACITY) / 100.0f);
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_ERASER, eraser ? 1.0f : 0.0f);
}

bool BuildsUp(MyPaintBrush* b) {
  const float dabs = std::max(
      1.0f, 2.0f * (Base(b, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS) + Base(b, MYPAINT_BRUSH_SETTING_DABS_PER_BASIC_RADIUS)));
  const float corrected = 1.0f + Base(b, MYPAINT_BRUSH_SETTING_OPAQUE_LINEARIZE) * (dabs - 1.0f);
  // One pass gives 1 - (1 - opacity)^passes: about the opacity itself near 1.
  const float passes = dabs / std::max(corrected, 1e-3f);
  return passes < 0.8f || passes > 1.25f;
}

}  // namespace dorvil
