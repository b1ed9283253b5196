// The brush families made through a fake system object, the preset folder put back after
// each test, and reading a prepared libmypaint brush.
#pragma once
#include <gtest/gtest.h>
#include <mypaint-brush.h>

#include <cmath>
#include <string>

#include "BrushPreset.h"
#include "DorvilBrush.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace dorvil_test {

using dorvil::FAMILY_COUNT;
using dorvil::kBrushFamilies;

template <size_t... F>
void RegisterAll(FakeSystem& sys, std::index_sequence<F...>) {
  (sys.Register(kBrushFamilies[F].implementation, GCreateComponent<DorvilBrushOf<F>>), ...);
}

class DorvilTest : public ::testing::Test {
 protected:
  DorvilTest() : m_folder(dorvil::PresetFolder()) { RegisterAll(sys, std::make_index_sequence<FAMILY_COUNT>()); }
  ~DorvilTest() override { dorvil::SetPresetFolder(m_folder); }

  GCompRef<OBrush> Make(size_t family) {
    return static_cast<OBrush*>(sys.NewObj(kBrushFamilies[family].implementation, nullptr)->GetInterface(u"OBrush"));
  }
  static OBrushProperty* Items(OBrush* b) { return static_cast<OBrushProperty*>(b->GetInterface(u"OBrushProperty")); }
  static PropertyItem* Item(OBrush* b, const char16_t* key) {
    UINT at = 0;
    return Items(b)->FindByName(&at, key);
  }
  static float Base(const BrushContext& c, MyPaintBrushSetting s) { return mypaint_brush_get_base_value(c.brush, s); }
  static float Radius(const BrushContext& c) { return std::exp(Base(c, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC)); }

  FakeSystem sys;

 private:
  std::string m_folder;
};

}  // namespace dorvil_test
