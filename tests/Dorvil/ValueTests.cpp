// The value side: the radius mapping, the size ratio of the brush list, setting items and
// the value sets the list stores and applies.
#include <cstring>

#include "BrushItems.h"
#include "DorvilFixture.h"

namespace {

using namespace dorvil_test;

TEST_F(DorvilTest, MapValueRunsFromHalfAPixelTo250AndClampsOutside) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_PEN);
  EXPECT_FLOAT_EQ(b->MapValue(1), 0.5f);
  EXPECT_FLOAT_EQ(b->MapValue(500), 250.0f);
  EXPECT_FLOAT_EQ(b->MapValue(0), 0.5f);
  EXPECT_FLOAT_EQ(b->MapValue(-40), 0.5f);
  EXPECT_FLOAT_EQ(b->MapValue(501), 250.0f);
  EXPECT_FLOAT_EQ(b->MapValue(INT32_MAX), 250.0f);
  float last = 0.0f;
  for (int32_t v = 1; v <= 500; ++v) {
    float r = b->MapValue(v);
    ASSERT_GT(r, last) << v;
    last = r;
    // The inverse finds the value back, so presets' radii survive the items.
    ASSERT_EQ(dorvil::ValueFromRadius(r), v);
  }
  EXPECT_EQ(dorvil::ValueFromRadius(0.0f), 1);
  EXPECT_EQ(dorvil::ValueFromRadius(1e6f), 500);
  EXPECT_EQ(dorvil::ValueFromRadius(std::nanf("")), 1);
}

TEST(BrushValueRatio, EmptyRangeGivesZeroAndTheRatioIsClamped) {
  struct Case {
    int32_t value, minimum, maximum;
    float ratio;
  } cases[] = {
      {1, 1, 500, 0.0f},   {500, 1, 500, 1.0f},  {250, 0, 500, 0.5f},
      {7, 7, 7, 0.0f},     {3, 9, 2, 0.0f},      // maximum not above minimum
      {900, 1, 500, 1.0f}, {-5, 1, 500, 0.0f},   // values outside the range
  };
  for (const Case& c : cases) {
    PropertyItem item{0, PROP_TYPE_RANGE, 0, c.value, c.minimum, c.maximum, u"RADIUS", nullptr, nullptr, nullptr};
    EXPECT_FLOAT_EQ(BrushValueRatio(item), c.ratio) << c.value << " in " << c.minimum << ".." << c.maximum;
  }
}

TEST(BrushValueRatio, ValueAtRatioTruncatesAndClamps) {
  PropertyItem item{0, PROP_TYPE_RANGE, 0, 42, 1, 500, u"RADIUS", nullptr, nullptr, nullptr};
  EXPECT_EQ(BrushValueAtRatio(item, 0.0f), 1);
  EXPECT_EQ(BrushValueAtRatio(item, 1.0f), 500);
  EXPECT_EQ(BrushValueAtRatio(item, 1.5f), 500);
  EXPECT_EQ(BrushValueAtRatio(item, -0.5f), 1);
  EXPECT_EQ(BrushValueAtRatio(item, 0.5f), 1 + 249);  // 499 x 0.5 truncated
  EXPECT_EQ(BrushValueAtRatio(item, 0.999f), 1 + 498);
  for (int32_t v : {1, 2, 100, 499, 500}) {
    item.value = v;
    PropertyItem back = item;
    back.value = BrushValueAtRatio(item, BrushValueRatio(item));
    EXPECT_NEAR(back.value, v, 1) << v;
  }
  PropertyItem reversed{0, PROP_TYPE_RANGE, 0, 42, 9, 2, u"RADIUS", nullptr, nullptr, nullptr};
  EXPECT_EQ(BrushValueAtRatio(reversed, 0.7f), 42);
}

TEST_F(DorvilTest, SetValueClampsToTheItemsBounds) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_PENCIL);
  OBrushProperty* items = Items(b);
  UINT radius = 0, raster = 0;
  items->FindByName(&radius, u"RADIUS");
  items->FindByName(&raster, u"RASTER");
  EXPECT_EQ(items->SetValue(radius, 9000)->value, 500);
  EXPECT_EQ(items->SetValue(radius, 0)->value, 1);
  EXPECT_EQ(items->SetValue(raster, 8)->value, 7);
  EXPECT_EQ(items->SetValue(raster, -1)->value, 0);
  EXPECT_EQ(items->SetValue(items->GetCount(), 1), nullptr);
}

std::vector<int32_t> Read(OData* set) {
  std::vector<int32_t> v(set->GetSize() / 4);
  std::memcpy(v.data(), set->GetBuffer(), v.size() * 4);
  return v;
}

TEST_F(DorvilTest, ValueSetsCarryOneIntPerItemAndApplyClamped) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_AIRBRUSH);
  OBrushProperty* items = Items(b);
  GCompRef<OData> set = items->NewValueSet();
  ASSERT_EQ(set->GetSize(), items->GetCount() * 4);
  std::vector<int32_t> values = Read(set);
  for (UINT i = 0; i < items->GetCount(); ++i) EXPECT_EQ(values[i], items->GetItem(i)->value) << i;

  // Another brush of the family takes the set; out-of-range values are clamped.
  std::vector<int32_t> wanted = {700, 33, 12, 1, 250, 2, 40, 41, 42, -3};
  std::memcpy(set->GetBuffer(), wanted.data(), wanted.size() * 4);
  GCompRef<OBrush> other = Make(dorvil::FAMILY_AIRBRUSH);
  Items(other)->ApplyValues(set);
  std::vector<int32_t> got;
  for (UINT i = 0; i < items->GetCount(); ++i) got.push_back(Items(other)->GetItem(i)->value);
  EXPECT_EQ(got, (std::vector<int32_t>{500, 33, 7, 1, 100, 5, 40, 41, 42, 0}));
  EXPECT_EQ(Read(GCompRef<OData>(Items(other)->NewValueSet())), got);

  // A short set changes only the items it holds.
  GCompRef<OData> shortSet = GNewData(8);
  int32_t two[2] = {10, 20};
  std::memcpy(shortSet->GetBuffer(), two, 8);
  Items(other)->ApplyValues(shortSet);
  EXPECT_EQ(Item(other, u"RADIUS")->value, 10);
  EXPECT_EQ(Item(other, u"OPACITY")->value, 20);
  EXPECT_EQ(Item(other, u"HARDNESS")->value, 100);
  Items(other)->ApplyValues(nullptr);
  EXPECT_EQ(Item(other, u"RADIUS")->value, 10);
}

}  // namespace
