// Each family as the brush list finds it: interfaces, names, items and their ranges, the
// values its preset gives, what the paint tool asks of it, and the fallback without presets.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "DorvilFixture.h"
#include "odata/OLayer.h"

namespace {

using namespace dorvil_test;

struct ItemShape {
  const char16_t* key;
  int32_t type, minimum, maximum;
};
const ItemShape kShapes[] = {
    {u"RADIUS", PROP_TYPE_RANGE, 1, 500},        {u"OPACITY", PROP_TYPE_RANGE, 0, 100},
    {u"RASTER", PROP_TYPE_CHOICE, 0, 7},         {u"OPERATEMODE", PROP_TYPE_BOOL, 0, 1},
    {u"HARDNESS", PROP_TYPE_RANGE, 0, 100},      {u"SPACING", PROP_TYPE_RANGE, 5, 200},
    {u"PRESSURESIZE", PROP_TYPE_RANGE, 0, 100},  {u"PRESSUREOPACITY", PROP_TYPE_RANGE, 0, 100},
    {u"SMOOTHING", PROP_TYPE_RANGE, 0, 100},     {u"JITTER", PROP_TYPE_RANGE, 0, 100},
};

TEST_F(DorvilTest, EveryFamilyLoadsItsPresetAndPublishesTheItems) {
  std::set<std::u16string> names;
  for (size_t f = 0; f < FAMILY_COUNT; ++f) {
    SCOPED_TRACE(U8(kBrushFamilies[f].implementation));
    GCompRef<OBrush> b = Make(f);
    ASSERT_TRUE(b.IsValid());
    EXPECT_TRUE(static_cast<DorvilBrush*>(b.get())->HasPreset()) << static_cast<DorvilBrush*>(b.get())->PresetPath();
    EXPECT_EQ(b->GetInterface(u"OProperty"), b->GetInterface(u"OBrushProperty"));
    EXPECT_EQ(b->GetInterface(u"ODistort"), nullptr);
    EXPECT_TRUE(names.insert(b->GetName()).second);
    EXPECT_GT(plat::StrLen(b->GetDescription()), 0u);

    OBrushProperty* items = Items(b);
    ASSERT_EQ(items->GetCount(), std::size(kShapes));
    for (UINT i = 0; i < items->GetCount(); ++i) {
      const PropertyItem* item = items->GetItem(i);
      EXPECT_EQ(U8(item->key), U8(kShapes[i].key));
      EXPECT_EQ(item->type, kShapes[i].type);
      EXPECT_EQ(item->minimum, kShapes[i].minimum);
      EXPECT_EQ(item->maximum, kShapes[i].maximum);
      EXPECT_GE(item->value, item->minimum);
      EXPECT_LE(item->value, item->maximum);
      UINT at = 0;
      EXPECT_EQ(items->FindByName(&at, kShapes[i].key), item);
      EXPECT_EQ(at, i);
    }
    EXPECT_EQ(items->GetItem(items->GetCount()), nullptr);
    UINT at = 0;
    EXPECT_EQ(items->FindByName(&at, u"NOSUCH"), nullptr);
    EXPECT_EQ(at, items->GetCount());
  }
  EXPECT_EQ(sys.ErrorCount(), 0u);
}

TEST_F(DorvilTest, RasterOffersTheEightBlendModesOfTheGlassMerge) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_PEN);
  EXPECT_EQ(U8(Item(b, u"RASTER")->choices), U8(u"正常|明|暗|光|影|透明|透暗|反"));
}

// Values the stock presets stand for (their radius, opacity, hardness and slow tracking).
TEST_F(DorvilTest, PresetSettingsBecomeTheItemValues) {
  struct Case {
    size_t family;
    float radius;
    int32_t opacity, hardness, smoothing;
  } cases[] = {
      {dorvil::FAMILY_PEN, 2.61f, 100, 90, 7},     {dorvil::FAMILY_PENCIL, 1.22f, 70, 10, 10},
      {dorvil::FAMILY_INK, 3.94f, 100, 80, 86},    {dorvil::FAMILY_AIRBRUSH, 109.9f, 52, 48, 0},
      {dorvil::FAMILY_CHARCOAL, 2.01f, 40, 20, 20}, {dorvil::FAMILY_ERASER, 27.4f, 100, 80, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(kBrushFamilies[c.family].implementation));
    GCompRef<OBrush> b = Make(c.family);
    EXPECT_NEAR(b->MapValue(Item(b, u"RADIUS")->value), c.radius, c.radius * 0.05f);
    EXPECT_EQ(Item(b, u"OPACITY")->value, c.opacity);
    EXPECT_EQ(Item(b, u"HARDNESS")->value, c.hardness);
    EXPECT_EQ(Item(b, u"SMOOTHING")->value, c.smoothing);
  }
  // The ink pen is the smoothing one; the charcoal the rough one.
  EXPECT_GT(Item(Make(dorvil::FAMILY_INK), u"SMOOTHING")->value, 50);
  EXPECT_GT(Item(Make(dorvil::FAMILY_CHARCOAL), u"JITTER")->value, 50);
}

TEST_F(DorvilTest, GlassFormatsAndCursorPerFamily) {
  struct Case {
    size_t family;
    BOOL glass;
    int32_t cursor;
  } cases[] = {
      {dorvil::FAMILY_PEN, TRUE, BRUSH_CURSOR_PEN},           {dorvil::FAMILY_PENCIL, TRUE, BRUSH_CURSOR_PEN},
      {dorvil::FAMILY_INK, TRUE, BRUSH_CURSOR_PEN},           {dorvil::FAMILY_AIRBRUSH, TRUE, BRUSH_CURSOR_AIRBRUSH},
      {dorvil::FAMILY_CHARCOAL, TRUE, BRUSH_CURSOR_BRUSH},    {dorvil::FAMILY_ERASER, FALSE, BRUSH_CURSOR_ERASER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(kBrushFamilies[c.family].implementation));
    GCompRef<OBrush> b = Make(c.family);
    EXPECT_EQ(b->NeedsGlass(), c.glass);
    EXPECT_EQ(b->GetCursorKind(), c.cursor);
    EXPECT_EQ(b->GetCursorKind() & ~3, 0);
    for (int32_t format : {0, 1, 2, 3, 4, 5, 8, -1})
      EXPECT_EQ(b->AcceptsFormat(format) != 0, format == OLayer::myFORMAT_A16 || format == OLayer::myFORMAT_C32) << format;
  }
}

TEST_F(DorvilTest, MissingPresetsFallBackToBuiltInSettingsAndSaySo) {
  dorvil::SetPresetFolder("/nonexistent/brushes");
  for (size_t f = 0; f < FAMILY_COUNT; ++f) {
    SCOPED_TRACE(U8(kBrushFamilies[f].implementation));
    size_t before = sys.ErrorCount();
    BrushContext ctx{};  // outlives the brush, which lets go of it when it goes
    GCompRef<OBrush> b = Make(f);
    ASSERT_TRUE(b.IsValid());
    EXPECT_FALSE(static_cast<DorvilBrush*>(b.get())->HasPreset());
    ASSERT_EQ(sys.ErrorCount(), before + 1);
    std::string text = U8(sys.ErrorText(before));
    EXPECT_NE(text.find("BRUSH PRESET NOT FOUND"), std::string::npos) << text;
    // Logged, but not as the internal error that asks the user to quit (kinds above 1).
    EXPECT_EQ(sys.ErrorKind(before), ERR_KIND_NOTICE);
    EXPECT_NE(text.find(std::string("/nonexistent/brushes/") + kBrushFamilies[f].preset), std::string::npos) << text;
    EXPECT_NE(text.find(U8(kBrushFamilies[f].implementation)), std::string::npos) << text;
    for (UINT i = 0; i < dorvil::ITEM_COUNT; ++i) EXPECT_EQ(Items(b)->GetItem(i)->value, kBrushFamilies[f].builtIn[i]) << i;

    // It still paints: the built-in brush follows the items.
    b->Activate(&ctx, nullptr);
    ASSERT_TRUE(b->IsReady());
    EXPECT_NEAR(Radius(ctx), b->MapValue(kBrushFamilies[f].builtIn[dorvil::ITEM_RADIUS]), 1e-3f);
    EXPECT_EQ(Base(ctx, MYPAINT_BRUSH_SETTING_ERASER), kBrushFamilies[f].eraser ? 1.0f : 0.0f);
  }
}

TEST_F(DorvilTest, APresetLibmypaintRefusesFallsBackToo) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("dorvil_bad_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "classic");
  std::ofstream(dir / "classic" / "pen.myb") << "{ this is not a brush";
  dorvil::SetPresetFolder(dir.string());
  GCompRef<OBrush> b = Make(dorvil::FAMILY_PEN);
  EXPECT_FALSE(static_cast<DorvilBrush*>(b.get())->HasPreset());
  ASSERT_EQ(sys.ErrorCount(), 1u);
  EXPECT_NE(U8(sys.ErrorText(0)).find("BRUSH PRESET UNREADABLE"), std::string::npos);
  EXPECT_EQ(Item(b, u"RADIUS")->value, kBrushFamilies[dorvil::FAMILY_PEN].builtIn[dorvil::ITEM_RADIUS]);
  std::filesystem::remove_all(dir);
}

TEST_F(DorvilTest, ReleasingTheLastReferenceFreesTheBrush) {
  GCompRef<OBrush> b = Make(dorvil::FAMILY_INK);
  EXPECT_EQ(sys.Entry(kBrushFamilies[dorvil::FAMILY_INK].implementation)->Refs(), 1);
  // The item side counts on the brush.
  OBrushProperty* items = Items(b);
  EXPECT_EQ(items->AddRef(), 2);
  EXPECT_EQ(items->Release(), 1);
  b.Release();
  EXPECT_EQ(sys.Entry(kBrushFamilies[dorvil::FAMILY_INK].implementation)->Refs(), 0);
}

}  // namespace
