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
  v[ITEM_SMOOTHING] = Clamp(int32_t(std::lround(Base(b, MYPAINT_BRUSH_SETTING_SLOW_TRACKING) * 10.0f)), 0, 100);
  v[ITEM_JITTER] = Percent(Base(b, MYPAINT_BRUSH_SETTING_OFFSET_BY_RANDOM) / 2.0f, 0, 100);
  return v;
}

void ApplyToBrush(MyPaintBrush* b, const BrushValues& in, bool eraser) {
  // Values come from stored sets too: clamp them as the items would.
  std::array<PropertyItem, ITEM_COUNT> items = MakeBrushItems(in);
  auto value = [&](BrushItem i) { return float(items[i].value); };

  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, std::log(RadiusFromValue(items[ITEM_RADIUS].value)));
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE, value(ITEM_OPACITY) / 100.0f);
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_HARDNESS, value(ITEM_HARDNESS) / 100.0f);
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS, 100.0f / value(ITEM_SPACING));
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_SLOW_TRACKING, value(ITEM_SMOOTHING) / 10.0f);
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OFFSET_BY_RANDOM, value(ITEM_JITTER) / 50.0f);
  mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_ERASER, eraser ? 1.0f : 0.0f);

  // Pressure to size: the radius (logarithmic) drops at zero pressure, full at full pressure.
  float size = value(ITEM_PRESSURE_SIZE) / 100.0f;
  if (size > 0.0f) {
    float low = std::log(std::max(1.0f - size, kSmallestPressureSize));
    mypaint_brush_set_mapping_n(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, MYPAINT_BRUSH_INPUT_PRESSURE, 2);
    mypaint_brush_set_mapping_point(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, MYPAINT_BRUSH_INPUT_PRESSURE, 0, 0.0f, low);
    mypaint_brush_set_mapping_point(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, MYPAINT_BRUSH_INPUT_PRESSURE, 1, 1.0f, 0.0f);
  } else {
    mypaint_brush_set_mapping_n(b, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, MYPAINT_BRUSH_INPUT_PRESSURE, 0);
  }
  // Pressure to opacity: the opacity factor runs from 1 - strength up to 1.
  float fade = value(ITEM_PRESSURE_OPACITY) / 100.0f;
  if (fade > 0.0f) {
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, 0.0f);
    mypaint_brush_set_mapping_n(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, MYPAINT_BRUSH_INPUT_PRESSURE, 2);
    mypaint_brush_set_mapping_point(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, MYPAINT_BRUSH_INPUT_PRESSURE, 0, 0.0f, 1.0f - fade);
    mypaint_brush_set_mapping_point(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, MYPAINT_BRUSH_INPUT_PRESSURE, 1, 1.0f, 1.0f);
  } else {
    mypaint_brush_set_base_value(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, 1.0f);
    mypaint_brush_set_mapping_n(b, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY, MYPAINT_BRUSH_INPUT_PRESSURE, 0);
  }
}

}  // namespace dorvil
