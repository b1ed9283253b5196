// The display device: pass states and their errors, the entry limit, glass checks, layer
// creation, the coordinate maps, picking, sampling and screen passes (with recovery from a
// failed pass).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "MorvaneFixture.h"
#include "SharedPool.h"
#include "XShowDevice.h"

namespace {

constexpr int A16 = OLayer::myFORMAT_A16, C32 = OLayer::myFORMAT_C32;

ViewTransform SpaceView(int w, int h, uint32_t background = 0xFFFFFF) {
  ViewTransform v{};
  v.spaceWidth = uint32_t(w);
  v.spaceHeight = uint32_t(h);
  v.background = background;
  v.clientWidth = w;
  v.clientHeight = h;
  v.centreX = float(w / 2);
  v.centreY = float(h / 2);
  v.angle = 0;
  v.scale = 1;
  return v;
}

class ShowDeviceTest : public LayerTest {
 protected:
  ShowDeviceTest() {
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    dev = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  }

  GCompRef<OLayer> Make(int w, int h, int format, int x = 0, int y = 0) {
    GCompRef<OLayer> l = dev->CreateLayer(w, h, format, ++m_id);
    l->SetPosition(x, y, FALSE);
    return l;
  }
  static void SetC32(OLayer* l, int x, int y, uint32_t px) {
    LayerLock k;
    k.Lock(l, 0);
    reinterpret_cast<uint32_t*>(k.Row(y))[x] = px;
  }
  static void SetA16(OLayer* l, int x, int y, uint16_t v) {
    LayerLock k;
    k.Lock(l, 0);
    reinterpret_cast<uint16_t*>(k.Row(y))[x] = v;
  }
  static void Fill(OLayer* l, uint32_t value) {
    LayerLock k;
    k.Lock(l, 0);
    for (int y = 0; y < k.nHeight; ++y)
      for (int x = 0; x < k.nWidth; ++x) {
        if (k.nPixelSize == 4) {
          reinterpret_cast<uint32_t*>(k.Row(y))[x] = value;
        } else {
          reinterpret_cast<uint16_t*>(k.Row(y))[x] = uint16_t(value);
        }
      }
  }
  static void SetProps(OLayer* l, int alpha, int mode) {
    Props(l)->SetValue(0, alpha);
    Props(l)->SetValue(1, mode);
  }

  struct Add {
    OLayer* layer;
    uint32_t tidy = 0;
    OLayer* glass = nullptr;
  };
  // One picking pass over a space of w x h.
  int Pick(const std::vector<Add>& adds, POINT pt, int w = 20, int h = 10) {
    ViewTransform v = SpaceView(w, h);
    EXPECT_TRUE(dev->DrawBegin(&v, FALSE));
    for (const Add& a : adds) dev->DrawLayer(a.layer, a.tidy, a.glass);
    return dev->DrawEnd(&pt);
  }
  int State() { return static_cast<XShowDevice*>(dev.get())->GetState(); }

  GCompRef<OShowDevice> dev;
  UINT m_id = 0;
};

TEST_F(ShowDeviceTest, ComponentAndPassStates) {
  EXPECT_EQ(dev->GetInterface(u"OShowDevice"), static_cast<void*>(dev.get()));
  EXPECT_NE(dev->GetInterface(u"GSystem"), nullptr);
  EXPECT_EQ(dev->GetInterface(u"OLayer"), nullptr);
  EXPECT_EQ(State(), XShowDevice::myREADY);

  ViewTransform v = SpaceView(20, 10);
  EXPECT_EQ(ThrownCondition([&] { dev->DrawLayer(nullptr, 0, nullptr); }), u"!m_myState==myDRAWING");
  POINT pt{1, 1};
  EXPECT_EQ(ThrownCondition([&] { dev->DrawEnd(&pt); }), u"!m_myState==myDRAWING");
  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  // A second begin fails and leaves the open pass as it was.
  EXPECT_EQ(ThrownCondition([&] { dev->DrawBegin(&v, FALSE); }), u"!m_myState!=myDRAWING");
  EXPECT_EQ(State(), XShowDevice::myDRAWING);
  EXPECT_EQ(ThrownCondition([&] { dev->Preset(nullptr, nullptr); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { dev->DrawSingleLayer(&v, nullptr, nullptr, nullptr); }), u"!m_myState==myREADY");
  EXPECT_EQ(State(), XShowDevice::myDRAWING);
  // The screen end of a pass that was not opened for the screen fails and ends the pass.
  EXPECT_EQ(ThrownCondition([&] { dev->DrawEnd(nullptr, nullptr); }), u"!m_bDrawForShow==TRUE");
  EXPECT_EQ(State(), XShowDevice::myREADY);
  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  EXPECT_EQ(dev->DrawEnd(&pt), -1);

  // Before any screen pass: nothing to present and an all-zero back buffer.
  plat::MemoryPresentTarget target;
  EXPECT_EQ(dev->Preset(&target, nullptr), 0);
  EXPECT_EQ(target.Presents(), 0);
  LayerLock bb;
  bb.nWidth = 5;
  bb.pPixels = reinterpret_cast<BYTE*>(&bb);
  dev->GetBackBuffer(&bb);
  EXPECT_EQ(bb.nWidth, 0);
  EXPECT_EQ(bb.nPixelSize, 0);
  EXPECT_EQ(bb.pPixels, nullptr);

  // A view the renderer refuses: FALSE and -1, no pass opened.
  EXPECT_FALSE(dev->DrawBegin(nullptr, TRUE));
  EXPECT_EQ(State(), XShowDevice::myREADY);
  EXPECT_EQ(dev->DrawSingleLayer(nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_TRUE(dev->DrawBegin(&v, TRUE));
}

TEST_F(ShowDeviceTest, CreateLayerChecksAndMakesLayers) {
  struct Case {
    int w, h, format;
    const char16_t* error;
  } cases[] = {
      {0, 10, 4, u"ERR_SIZE"},     {10, 0, 2, u"ERR_SIZE"},   {10001, 1, 4, u"ERR_SIZE"},
      {1, 10001, 2, u"ERR_SIZE"},  {-1, 5, 4, u"ERR_SIZE"},   {10, 10, 3, u"ERR_FORMAT"},
      {10, 10, 0, u"ERR_FORMAT"},  {10000, 1, 2, u""},         {1, 1, 4, u""},
  };
  for (const Case& c : cases) {
    OLayer* made = nullptr;
    EXPECT_EQ(ThrownCondition([&] { made = dev->CreateLayer(c.w, c.h, c.format, 77); }), c.error) << c.w << "x" << c.h;
    if (!made) continue;
    EXPECT_EQ(made->AddRef(), 1);  // a new layer comes with count 0
    made->Release();
  }
  GCompRef<OLayer> l = dev->CreateLayer(3, 4, A16, 9);
  EXPECT_EQ(l->GetShowDevice(), dev.get());
  EXPECT_EQ(l->GetID(), 9u);
  EXPECT_EQ(l->GetWidth(), 3);
  EXPECT_EQ(l->GetFormat(), A16);

  // A system whose "Morvane" is not a layer: refused, and the object made is not leaked.
  FakeSystem other;
  other.Register(u"Morvane", GCreateComponent<XShowDevice>);
  other.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
  GCompRef<OShowDevice> dev2 =
      static_cast<OShowDevice*>(other.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  EXPECT_EQ(ThrownCondition([&] { dev2->CreateLayer(4, 4, C32, 1); }), u"!pLyr_");
  EXPECT_EQ(other.Entry(u"Morvane")->Refs(), 0);
}

TEST_F(ShowDeviceTest, LayerMemorySizeMatchesTheLayers) {
  EXPECT_EQ(dev->GetLayerMemorySize(1, 1, 4), 22516u);
  EXPECT_EQ(dev->GetLayerMemorySize(10000, 10000, 4), 403849216ull + 134697540ull);
  const int sizes[][3] = {{1, 1, 2}, {64, 64, 4}, {65, 3, 2}, {100, 700, 4}, {10000, 1, 2}};
  for (const auto& s : sizes) {
    GCompRef<OLayer> l = dev->CreateLayer(s[0], s[1], s[2], 1);
    EXPECT_EQ(dev->GetLayerMemorySize(s[0], s[1], s[2]), l->GetMemorySize()) << s[0] << "x" << s[1];
  }
}

TEST_F(ShowDeviceTest, CreateLayerWhileAnotherThreadDraws) {
  GCompRef<OLayer> bottom = Make(20, 10, C32);
  Fill(bottom, 0xFF102030);
  std::atomic<bool> drawing{true};
  std::atomic<int> made{0};
  std::thread maker([&] {
    while (drawing.load() || made.load() < 8) {
      GCompRef<OLayer> l = dev->CreateLayer(16, 16, (made.load() & 1) ? A16 : C32, 3);
      EXPECT_EQ(l->GetShowDevice(), dev.get());
      EXPECT_EQ(dev->GetLayerMemorySize(1, 1, 4), 22516u);
      made.fetch_add(1);
    }
  });
  for (int pass = 0; pass < 40; ++pass) EXPECT_EQ(Pick({{bottom}}, POINT{3, 3}), 0);
  // Inside an open pass on this thread too.
  ViewTransform v = SpaceView(20, 10);
  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  GCompRef<OLayer> inPass = dev->CreateLayer(20, 10, C32, 4);
  Fill(inPass, 0xFF000000);
  dev->DrawLayer(inPass, 0, nullptr);
  dev->DrawLayer(bottom, 0, nullptr);
  POINT pt{5, 5};
  EXPECT_EQ(dev->DrawEnd(&pt), 0);
  drawing = false;
  maker.join();
  EXPECT_GE(made.load(), 8);
}

TEST_F(ShowDeviceTest, EntryLimitAndGlassPairAtTheLimit) {
  GCompRef<OLayer> empty = Make(20, 10, C32);
  GCompRef<OLayer> shows = Make(20, 10, C32);
  Fill(shows, 0xFF808080);
  // Layer and glass: the layer is opaque only at (1, 1), the glass covers only (2, 2).
  GCompRef<OLayer> painted = Make(20, 10, C32);
  SetC32(painted, 1, 1, 0xFF00FF00);
  GCompRef<OLayer> glass = Make(20, 10, A16);
  SetA16(glass, 2, 2, 0xFF00);

  std::vector<Add> adds(63, Add{empty});
  adds.push_back({shows});  // the 64th is taken
  EXPECT_EQ(Pick(adds, POINT{5, 5}), 63);
  adds.back() = Add{empty};
  adds.push_back({shows});  // the 65th is not
  EXPECT_EQ(Pick(adds, POINT{5, 5}), -1);

  // A glass pair at count 63 adds both entries, and nothing after it is taken.
  adds.assign(63, Add{empty});
  adds.push_back({painted, 0, glass});
  adds.push_back({shows});
  EXPECT_EQ(Pick(adds, POINT{1, 1}), 63);  // the layer entry is there
  EXPECT_EQ(Pick(adds, POINT{2, 2}), 63);  // the glass entry is there
  EXPECT_EQ(Pick(adds, POINT{5, 5}), -1);  // the layer after the pair is not
}

TEST_F(ShowDeviceTest, GlassChecksInOrderAndAFailedPassRecovers) {
  GCompRef<OLayer> layer = Make(10, 8, C32, 2, 3);
  Fill(layer, 0xFF0000FF);
  struct Case {
    int w, h, x, y, format;
    const char16_t* error;
  } cases[] = {
      {10, 8, 3, 4, A16, u"!rcGlass.left==rcLayer.left"},     // every side differs: left first
      {11, 9, 2, 4, A16, u"!rcGlass.top==rcLayer.top"},       // top, right, bottom differ
      {11, 9, 2, 3, A16, u"!rcGlass.right==rcLayer.right"},   // right and bottom differ
      {10, 9, 2, 3, A16, u"!rcGlass.bottom==rcLayer.bottom"},
      {10, 8, 2, 3, C32, u"!poGlass->GetFormat()==OLayer::myFORMAT_A16"},
  };
  ViewTransform v = SpaceView(20, 20);
  for (const Case& c : cases) {
    GCompRef<OLayer> glass = Make(c.w, c.h, c.format, c.x, c.y);
    ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
    EXPECT_EQ(ThrownCondition([&] { dev->DrawLayer(layer, 0, glass); }), c.error);
    // The failed pass is over; the next one starts and works.
    EXPECT_EQ(State(), XShowDevice::myREADY);
    EXPECT_EQ(Pick({{layer}}, POINT{4, 4}, 20, 20), 0);
  }
}

TEST_F(ShowDeviceTest, FailedPickingPassThenAGoodOne) {
  GCompRef<OLayer> layer = Make(20, 10, C32);
  Fill(layer, 0xFF00FF00);
  GCompRef<OLayer> locked = Make(20, 10, C32);
  {
    LayerLock lock;
    lock.Lock(locked, 0);
    ViewTransform v = SpaceView(20, 10);
    ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
    dev->DrawLayer(locked, 0, nullptr);
    dev->DrawLayer(layer, 0, nullptr);
    POINT pt{3, 3};
    EXPECT_EQ(ThrownCondition([&] { dev->DrawEnd(&pt); }), u"!m_myState==myREADY");
  }
  EXPECT_EQ(Pick({{locked}, {layer}}, POINT{3, 3}), 1);
}

// The index of the topmost layer that shows: coverage and opacity count, the mode does not;
// masks, nests, glasses and visibility as the pass draws them.
TEST_F(ShowDeviceTest, PickingTable) {
  GCompRef<OLayer> bottom = Make(20, 10, C32);
  Fill(bottom, 0xFFFFFFFF);
  GCompRef<OLayer> clear = Make(20, 10, C32);  // alpha 0 everywhere
  GCompRef<OLayer> lighten = Make(20, 10, C32);
  Fill(lighten, 0xFFFFFFFF);
  SetProps(lighten, 100, 5);  // lighten, white over white: changes nothing, still paint
  GCompRef<OLayer> invisible = Make(20, 10, C32);
  Fill(invisible, 0x6400FF00);
  SetProps(invisible, 1, 0);  // alpha 100 at the lowest opacity (1): weight 0
  GCompRef<OLayer> faint = Make(20, 10, A16);
  Fill(faint, 0x0100);  // coverage 1 at 50 %: weight 0
  SetProps(faint, 50, 0);
  GCompRef<OLayer> hidden = Make(20, 10, C32);
  Fill(hidden, 0xFF0000FF);
  hidden->SetFlags(LYR_FLAG_HIDDEN);
  // A colour layer masked by a mask that covers only (1, 1).
  GCompRef<OLayer> masked = Make(20, 10, C32);
  Fill(masked, 0xFF123456);
  GCompRef<OLayer> mask = Make(20, 10, A16);
  Props(mask)->SetValue(2, 1);  // MASK
  ASSERT_TRUE(mask->IsMask());
  SetA16(mask, 1, 1, 0xFF00);
  // A base opaque only at (1, 1) with a nested layer opaque everywhere.
  GCompRef<OLayer> base = Make(20, 10, C32);
  SetC32(base, 1, 1, 0xFF000000);
  GCompRef<OLayer> nested = Make(20, 10, C32);
  Fill(nested, 0xFFABCDEF);
  nested->SetFlags(LYR_FLAG_NEST);
  // A transparent layer under a glass that covers (2, 2).
  GCompRef<OLayer> painted = Make(20, 10, C32);
  GCompRef<OLayer> glass = Make(20, 10, A16);
  SetA16(glass, 2, 2, 0x8000);
  // A layer reaching outside the space.
  GCompRef<OLayer> wide = Make(40, 20, C32, -10, -5);
  Fill(wide, 0xFF0000FF);

  struct Case {
    const char* name;
    std::vector<Add> adds;
    POINT pt;
    int want;
  } cases[] = {
      {"transparent layer is passed over", {{clear}, {bottom}}, {4, 4}, 1},
      {"a mode that changes nothing still shows", {{lighten}, {bottom}}, {4, 4}, 0},
      {"alpha times opacity that weighs nothing does not show", {{invisible}, {bottom}}, {4, 4}, 1},
      {"coverage that weighs nothing does not show", {{faint}, {bottom}}, {4, 4}, 1},
      {"hidden layer does not show", {{hidden}, {bottom}}, {4, 4}, 1},
      {"hidden current layer shows", {{hidden, LYR_TIDY_CURRENT}, {bottom}}, {4, 4}, 0},
      {"hidden layer with a glass shows where the glass covers", {{hidden, 0, glass}, {bottom}}, {2, 2}, 0},
      {"masked layer shows inside its mask", {{mask}, {masked}, {bottom}}, {1, 1}, 1},
      {"masked layer does not show outside it, nor does the mask", {{mask}, {masked}, {bottom}}, {5, 5}, 2},
      {"nested layer shows where its base does", {{nested}, {base}, {bottom}}, {1, 1}, 0},
      {"nested layer does not show past its base", {{nested}, {base}, {bottom}}, {5, 5}, 2},
      {"glass shows for its layer", {{painted, 0, glass}, {bottom}}, {2, 2}, 0},
      {"no glass coverage, transparent layer", {{painted, 0, glass}, {bottom}}, {3, 2}, 1},
      {"ignored calls still count in the order", {{nullptr}, {clear}, {bottom}}, {4, 4}, 2},
      {"outside the space nothing shows", {{wide}, {bottom}}, {-3, 2}, -1},
      {"a layer reaching past the space shows inside it", {{wide}, {bottom}}, {0, 0}, 0},
      {"nothing at all", {{clear}}, {4, 4}, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(Pick(c.adds, c.pt), c.want) << c.name;
}

// Client pixel (x, y) of the device's back buffer (rows bottom-up), colour only.
uint32_t BackRgb(OShowDevice* dev, int x, int y) {
  LayerLock bb;
  dev->GetBackBuffer(&bb);
  uint32_t v;
  std::memcpy(&v, bb.pPixels + size_t(bb.nHeight - 1 - y) * bb.cbRow + size_t(x) * 4, 4);
  return v & 0xFFFFFF;
}

TEST_F(ShowDeviceTest, ScreenPassesRecoverFromFailures) {
  constexpr uint32_t bg = 0x336699;
  ViewTransform v = SpaceView(32, 24, bg);
  GCompRef<OLayer> layer = Make(8, 8, C32, 4, 4);
  Fill(layer, 0xFFCC2211);
  auto goodPass = [&](uint32_t want) {
    ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
    dev->DrawLayer(layer, 0, nullptr);
    EXPECT_EQ(dev->DrawEnd(nullptr, nullptr), 1);
    EXPECT_EQ(BackRgb(dev, 5, 5), want);
    EXPECT_EQ(BackRgb(dev, 0, 0), bg);
    EXPECT_EQ(BackRgb(dev, 12, 11), bg);
  };
  goodPass(0xCC2211);

  LayerLock bb;
  dev->GetBackBuffer(&bb);
  EXPECT_EQ(bb.nWidth, 32);
  EXPECT_EQ(bb.nHeight, 24);
  EXPECT_EQ(bb.nPixelSize, 4);
  EXPECT_NE(bb.pPixels, nullptr);

  // A second begin, a picking end in a screen pass: each fails; the next pass still draws.
  ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
  EXPECT_EQ(ThrownCondition([&] { dev->DrawBegin(&v, TRUE); }), u"!m_myState!=myDRAWING");
  POINT pt{5, 5};
  EXPECT_EQ(ThrownCondition([&] { dev->DrawEnd(&pt); }), u"!m_bDrawForShow==FALSE");
  Fill(layer, 0xFF00AA00);
  goodPass(0x00AA00);

  // A glass that does not fit, thrown from DrawLayer.
  GCompRef<OLayer> badGlass = Make(8, 8, A16, 5, 4);
  ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
  EXPECT_EQ(ThrownCondition([&] { dev->DrawLayer(layer, 0, badGlass); }), u"!rcGlass.left==rcLayer.left");
  Fill(layer, 0xFF0000BB);
  goodPass(0x0000BB);

  // A layer that throws in GetShowParam (it is locked) during DrawEnd.
  {
    LayerLock lock;
    lock.Lock(layer, 0);
    ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
    dev->DrawLayer(layer, 0, nullptr);
    EXPECT_EQ(ThrownCondition([&] { dev->DrawEnd(nullptr, nullptr); }), u"!m_myState==myREADY");
    EXPECT_EQ(ThrownCondition([&] { dev->DrawSingleLayer(&v, layer, nullptr, nullptr); }), u"!m_myState==myREADY");
  }
  Fill(layer, 0xFF777777);
  goodPass(0x777777);

  // Presenting a rectangle copies that rectangle.
  plat::MemoryPresentTarget target;
  RECT rc{2, 3, 10, 9};
  EXPECT_EQ(dev->Preset(&target, &rc), 1);
  EXPECT_EQ(target.LastRect().left, 2);
  EXPECT_EQ(target.LastRect().bottom, 9);
  EXPECT_EQ(target.At(5, 5) & 0xFFFFFF, 0x777777u);
  EXPECT_EQ(target.At(20, 20), 0u);  // outside the rectangle: not copied
}

TEST_F(ShowDeviceTest, DrawSingleLayerShowsTheLayerPlainly) {
  constexpr uint32_t bg = 0x102030;
  ViewTransform v = SpaceView(16, 16, bg);
  GCompRef<OLayer> layer = Make(4, 4, C32, 8, 8);
  Fill(layer, 0xFF4080C0);
  SetProps(layer, 50, myMODE_DIFFERENCE);  // neither is used
  EXPECT_EQ(dev->DrawSingleLayer(&v, layer, nullptr, nullptr), 1);
  EXPECT_EQ(BackRgb(dev, 9, 9), 0x4080C0u);
  EXPECT_EQ(BackRgb(dev, 7, 9), bg);
  GCompRef<OLayer> mask = Make(4, 4, A16, 0, 0);
  Fill(mask, 0xFF00);
  mask->SetColor(RGB(1, 2, 3));
  SetProps(mask, 10, myMODE_HARDSHADOW);
  EXPECT_EQ(dev->DrawSingleLayer(&v, mask, nullptr, nullptr), 1);
  EXPECT_EQ(BackRgb(dev, 1, 1), 0x010203u);
  EXPECT_EQ(dev->DrawSingleLayer(&v, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(BackRgb(dev, 1, 1), bg);
}

// The records a pass hands on, lowest first, for every kind of entry.
TEST_F(ShowDeviceTest, PassRecordOrder) {
  GCompRef<OLayer> top = Make(20, 10, A16);
  SetProps(top, 100, 2);
  GCompRef<OLayer> l1 = Make(20, 10, C32), g1 = Make(20, 10, A16);
  SetProps(l1, 100, 1);
  GCompRef<OLayer> n2 = Make(20, 10, A16);
  SetProps(n2, 100, 6);
  n2->SetFlags(LYR_FLAG_NEST);
  GCompRef<OLayer> n1 = Make(20, 10, C32), g2 = Make(20, 10, A16);
  SetProps(n1, 100, 4);
  n1->SetFlags(LYR_FLAG_NEST);
  GCompRef<OLayer> mask = Make(6, 5, A16, 3, 2);
  Props(mask)->SetValue(2, 1);
  GCompRef<OLayer> base = Make(6, 5, C32, 3, 2);
  SetProps(base, 50, 7);
  GCompRef<OLayer> bottom = Make(20, 10, C32);

  ViewTransform v = SpaceView(20, 10);
  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  for (const Add& a : std::vector<Add>{{top}, {l1, 0, g1}, {n2}, {n1, 0, g2}, {mask}, {base}, {bottom}})
    dev->DrawLayer(a.layer, a.tidy, a.glass);
  LayerLock lock;
  GCompRef<OLayer> sample = dev->DrawEndForSample(&lock);
  lock.Unlock();

  const XShowDevice::PassRecord* recs = nullptr;
  const int n = static_cast<XShowDevice*>(dev.get())->GetPassRecords(&recs);
  // bottom; the base's group: COPY, the nested colour layer and its glass as a mask-format
  // entry, the nested mask-format layer, the masked NEST; the glassed layer's group: COPY,
  // GLASS, NEST; the top.
  const uint32_t codes[] = {8, 48, 12, 0, 6, 47, 48, 16, 33, 2};
  ASSERT_EQ(n, int(std::size(codes)));
  for (int i = 0; i < n; ++i) EXPECT_EQ(recs[i].show.nKernel, codes[i]) << i;
  ShowParam sb, sm, sg2;
  base->GetShowParam(&sb, 0);
  mask->GetShowParam(&sm, 0);
  g2->GetShowParam(&sg2, 0);
  EXPECT_EQ(recs[1].show.pPixels, sb.pPixels);
  EXPECT_EQ(recs[3].show.pPixels, sg2.pPixels);
  EXPECT_TRUE(recs[5].masked);
  EXPECT_EQ(recs[5].mask.pPixels, sm.pPixels);
  EXPECT_EQ(recs[5].show.rc.left, 3);
  EXPECT_EQ(recs[5].show.rc.bottom, 7);
  EXPECT_EQ(recs[5].show.dwColor >> 24, 64u);
  for (int i : {0, 1, 2, 3, 4, 6, 7, 8, 9}) EXPECT_FALSE(recs[i].masked) << i;
}

TEST_F(ShowDeviceTest, SampleSpansAccumulatorTiles) {
  constexpr uint32_t bg = 0x102030;
  ViewTransform v = SpaceView(450, 410, bg);
  GCompRef<OLayer> bar = Make(70, 10, C32, 390, 395);  // reaches past the right edge
  Fill(bar, 0xFFA0B0C0);
  GCompRef<OLayer> spot = Make(3, 3, A16, 398, 398);
  Fill(spot, 0xFF00);
  spot->SetColor(RGB(0x11, 0x22, 0x33));

  ViewTransform noView{};
  ASSERT_TRUE(dev->DrawBegin(nullptr, FALSE));
  LayerLock lock;
  EXPECT_EQ(ThrownCondition([&] { dev->DrawEndForSample(&lock); }), u"!pView");
  (void)noView;

  ASSERT_TRUE(dev->DrawBegin(&v, FALSE));
  dev->DrawLayer(spot, 0, nullptr);
  dev->DrawLayer(bar, 0, nullptr);
  GCompRef<OLayer> sample = dev->DrawEndForSample(&lock);
  ASSERT_EQ(lock.pLayer, sample.get());
  EXPECT_EQ(sample->GetWidth(), 450);
  EXPECT_EQ(sample->GetHeight(), 410);
  auto at = [&](int x, int y) { return reinterpret_cast<const uint32_t*>(lock.Row(y))[x]; };
  struct Case {
    int x, y;
    uint32_t want;
  } cases[] = {
      {0, 0, 0xFF102030},     {389, 396, 0xFF102030}, {390, 395, 0xFFA0B0C0}, {399, 404, 0xFFA0B0C0},
      {400, 404, 0xFFA0B0C0}, {449, 400, 0xFFA0B0C0}, {420, 405, 0xFF102030}, {398, 399, 0xFF112233},
      {400, 400, 0xFF112233}, {401, 400, 0xFFA0B0C0}, {449, 409, 0xFF102030},
  };
  for (const Case& c : cases) EXPECT_EQ(at(c.x, c.y), c.want) << c.x << "," << c.y;
  lock.Unlock();
}

// The sample composes its rows of tiles on the shared pool: the picture is the one a single
// thread composes, tile for tile, over several rows and columns of tiles.
TEST_F(ShowDeviceTest, SampleOnThePoolEqualsOneThread) {
  GCompRef<OLayer> colour = Make(700, 1000, C32, -20, 30);
  GCompRef<OLayer> mask = Make(500, 900, A16, 310, 250);
  mask->SetColor(RGB(40, 200, 90));
  {
    LayerLock k;
    k.Lock(colour, 0);
    for (int y = 0; y < k.nHeight; ++y)
      for (int x = 0; x < k.nWidth; ++x)
        reinterpret_cast<uint32_t*>(k.Row(y))[x] = uint32_t((x * 7 + y) & 0xFF) << 24 | uint32_t(x * 131 + y * 17);
    k.Unlock();
    k.Lock(mask, 0);
    for (int y = 0; y < k.nHeight; ++y)
      for (int x = 0; x < k.nWidth; ++x) reinterpret_cast<uint16_t*>(k.Row(y))[x] = uint16_t(x * 97 + y * 311);
  }
  const ViewTransform v = SpaceView(900, 1250, 0x102030);
  auto sample = [&] {
    EXPECT_TRUE(dev->DrawBegin(&v, FALSE));
    dev->DrawLayer(mask, 0, nullptr);
    dev->DrawLayer(colour, 0, nullptr);
    LayerLock lock;
    GCompRef<OLayer> picture = dev->DrawEndForSample(&lock);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < lock.nHeight; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(lock.Row(y));
      pixels.insert(pixels.end(), row, row + lock.nWidth);
    }
    lock.Unlock();  // before the picture goes
    return pixels;
  };
  std::vector<uint32_t> alone;
  {
    shared_pool::Occupied occupied;  // every part on this thread
    alone = sample();
  }
  const std::vector<uint32_t> pooled = sample();
  ASSERT_EQ(alone.size(), size_t(900) * 1250);
  EXPECT_TRUE(pooled == alone);
  // Both layers show: the picture is no flat background.
  EXPECT_NE(alone[size_t(600) * 900 + 400], alone[size_t(1240) * 900 + 890]);
  EXPECT_NE(alone[size_t(600) * 900 + 400], alone[size_t(600) * 900 + 100]);
}

// Nested layers draw only inside their base, also on rows the base does not reach and after a
// nested layer that carries a glass.
TEST_F(ShowDeviceTest, NestedLayersStayInsideTheirBase) {
  constexpr uint32_t bg = 0x102030;
  ViewTransform v = SpaceView(16, 10, bg);
  GCompRef<OLayer> red = Make(16, 10, A16);
  Fill(red, 0xFF00);
  red->SetColor(RGB(255, 0, 0));
  red->SetFlags(LYR_FLAG_NEST);
  GCompRef<OLayer> painted = Make(16, 10, C32);
  painted->SetFlags(LYR_FLAG_NEST);
  GCompRef<OLayer> glass = Make(16, 10, A16);
  SetA16(glass, 5, 7, 0xFF00);
  SetA16(glass, 5, 3, 0xFF00);
  glass->SetColor(RGB(0, 255, 0));
  GCompRef<OLayer> base = Make(7, 3, C32, 2, 2);
  Fill(base, 0xFF000000);
  for (BOOL screen : {FALSE, TRUE}) {
    ASSERT_TRUE(dev->DrawBegin(&v, screen));
    dev->DrawLayer(red, 0, nullptr);
    dev->DrawLayer(painted, 0, glass);
    dev->DrawLayer(base, 0, nullptr);
    std::function<uint32_t(int, int)> at;
    GCompRef<OLayer> sample;  // outlives the lock that holds it
    LayerLock lock;
    if (screen) {
      dev->DrawEnd(nullptr, nullptr);
      at = [&](int x, int y) { return BackRgb(dev, x, y); };
    } else {
      sample = dev->DrawEndForSample(&lock);
      at = [&](int x, int y) { return reinterpret_cast<const uint32_t*>(lock.Row(y))[x] & 0xFFFFFF; };
    }
    EXPECT_EQ(at(5, 3), 0xFE0000u) << screen;  // red over the glass, inside the base (nest weight 255)
    EXPECT_EQ(at(5, 7), bg) << screen;         // below the base: neither the glass nor the red
    EXPECT_EQ(at(12, 3), bg) << screen;        // beside it
    EXPECT_EQ(at(5, 0), bg) << screen;         // above it
  }
}

TEST_F(ShowDeviceTest, CoordinateMapsRoundTrip) {
  const float angles[] = {0.0f, 0.2617994f, 1.5707964f, 3.5f, 6.0f};
  const float scales[] = {1.0f, 2.5f, 0.25f, 3.0f};
  const float points[][2] = {{0, 0}, {37.5f, 12.25f}, {-20, 300}, {640, 480}};
  for (uint32_t flip : {0u, 1u})
    for (float a : angles)
      for (float s : scales) {
        ViewTransform v = SpaceView(300, 200);
        v.clientWidth = 641;
        v.clientHeight = 480;
        v.centreX = 123.5f;
        v.centreY = 77.0f;
        v.flags = flip;
        v.angle = a;
        v.scale = s;
        for (const auto& p : points) {
          float space[2], back[2];
          dev->ClientToSpace(space, p, &v);
          dev->SpaceToClient(back, space, &v);
          EXPECT_NEAR(back[0], p[0], 5e-3f) << flip << " " << a << " " << s;
          EXPECT_NEAR(back[1], p[1], 5e-3f) << flip << " " << a << " " << s;
          // In place gives the same.
          float inPlace[2] = {p[0], p[1]};
          EXPECT_EQ(dev->ClientToSpace(inPlace, inPlace, &v), inPlace);
          EXPECT_FLOAT_EQ(inPlace[0], space[0]);
          EXPECT_FLOAT_EQ(inPlace[1], space[1]);
        }
        // A scroll moves the view so that the old centre appears displaced by the delta.
        ViewTransform moved = v;
        dev->ScrollView(&moved, 17, -9);
        const float at[2] = {float(v.clientWidth / 2 + 17), float(v.clientHeight / 2 - 9)};
        float there[2];
        dev->ClientToSpace(there, at, &moved);
        EXPECT_NEAR(there[0], v.centreX, 1e-3f);
        EXPECT_NEAR(there[1], v.centreY, 1e-3f);
      }
  // Known directions: zoom 2, a client step right is half a space step; mirrored, left;
  // turned by 90 degrees, up.
  ViewTransform v = SpaceView(100, 100);
  v.scale = 2;
  const float right[2] = {50 + 10, 50};
  float out[2];
  dev->ClientToSpace(out, right, &v);
  EXPECT_FLOAT_EQ(out[0], 55);
  EXPECT_FLOAT_EQ(out[1], 50);
  v.flags = VIEW_FLAG_FLIP;
  dev->ClientToSpace(out, right, &v);
  EXPECT_FLOAT_EQ(out[0], 45);
  v.flags = 0;
  v.angle = 1.5707964f;
  dev->ClientToSpace(out, right, &v);
  EXPECT_NEAR(out[0], 50, 1e-4f);
  EXPECT_NEAR(out[1], 45, 1e-4f);
}

TEST_F(ShowDeviceTest, ZoomClamp) {
  struct Case {
    float zoom;
    float clamped;
    float spacePerClient2048;  // space pixels a 2048-pixel client step covers
  } cases[] = {
      {20.0f, 16.0f, 128.0f},
      {0.001f, 0.0039f, 2048.0f / 0.0039f},
      {3.0f, 3.0f, 682.0f},  // trunc(2048 / 3) / 2048 per client pixel
      {1.0f, 1.0f, 2048.0f},
  };
  for (const Case& c : cases) {
    ViewTransform v = SpaceView(100, 100);
    v.scale = c.zoom;
    ViewTransform scrolled = v;
    dev->ScrollView(&scrolled, 0, 0);
    EXPECT_FLOAT_EQ(scrolled.scale, c.clamped) << c.zoom;
    const float in[2] = {50 + 2048, 50};
    float out[2];
    dev->ClientToSpace(out, in, &v);
    EXPECT_NEAR(out[0] - 50, c.spacePerClient2048, 1e-2f * c.spacePerClient2048 / 2048) << c.zoom;
  }
}

}  // namespace
