#include <cstring>

#include "MorvaneFixture.h"

namespace {

TEST_F(LayerTest, SurfaceGeometry) {
  struct Case {
    int side;
    int format;
    int pitch;
    uint64_t primary;
    uint64_t mips;  // 0: not checked
  } cases[] = {
      {1, 4, 64, 16384, 0},     {63, 2, 64, 8192, 0},   {64, 4, 64, 16384, 0},
      {65, 2, 128, 32768, 0},   {10000, 4, 10048, 403849216ull, 134697540ull},
      {10000, 2, 10048, 201924608ull, 134697540ull / 2},
  };
  for (const Case& c : cases) {
    GCompRef<OLayer> l = NewLayer(c.side, c.side, c.format);
    EXPECT_EQ(l->GetPitch(), c.pitch) << c.side;
    EXPECT_EQ(l->GetPixelSize(), c.format);
    if (c.mips) {
      EXPECT_EQ(l->GetMemorySize(), c.primary + c.mips) << c.side;
    } else {
      EXPECT_GT(l->GetMemorySize(), c.primary);
    }
    // Level pitches halve plus one, never below 2, and the show records agree.
    uint32_t expect = uint32_t(c.pitch);
    for (int level = 0; level < LYR_MIP_DEPTH; ++level) {
      ShowParam sp;
      l->GetShowParam(&sp, level);
      EXPECT_EQ(sp.nPitch, expect) << c.side << " level " << level;
      expect = expect / 2 + 1;
    }
  }
  // The 1 x 1 colour layer's chain, as a painter's smallest layer.
  GCompRef<OLayer> tiny = NewLayer(1, 1, 4);
  const uint32_t chain[] = {64, 33, 17, 9, 5, 3, 2, 2, 2};
  for (int level = 0; level < 9; ++level) {
    ShowParam sp;
    tiny->GetShowParam(&sp, level);
    EXPECT_EQ(sp.nPitch, chain[level]);
  }
  EXPECT_EQ(ThrownCondition([&] {
              ShowParam sp;
              tiny->GetShowParam(&sp, 16);
            }),
            u"!(UINT)nMipLevel<LYR_MIP_DEPTH");
}

TEST_F(LayerTest, ShowParamRectanglesAtNegativePositions) {
  GCompRef<OLayer> l = NewLayer(10, 7, 4);
  l->SetPosition(-5, -3, FALSE);
  struct Case {
    int level;
    RECT rc;
  } cases[] = {{0, {-5, -3, 5, 4}}, {1, {-3, -2, 3, 2}}, {2, {-2, -1, 2, 1}}, {4, {-1, -1, 1, 1}}};
  for (const Case& c : cases) {
    ShowParam sp;
    l->GetShowParam(&sp, c.level);
    EXPECT_EQ(sp.rc.left, c.rc.left) << c.level;
    EXPECT_EQ(sp.rc.top, c.rc.top) << c.level;
    EXPECT_EQ(sp.rc.right, c.rc.right) << c.level;
    EXPECT_EQ(sp.rc.bottom, c.rc.bottom) << c.level;
  }
}

TEST_F(LayerTest, ShowParamKernelAndColour) {
  GCompRef<OLayer> mask = NewLayer(4, 4, 2);
  GCompRef<OLayer> colour = NewLayer(4, 4, 4);
  for (OLayer* l : {mask.get(), colour.get()}) {
    l->SetColor(RGB(0x11, 0x22, 0x33));
    Props(l)->SetValue(0, 50);  // ALPHA
    Props(l)->SetValue(1, 3);   // MODE
  }
  ShowParam sp;
  mask->GetShowParam(&sp, 0);
  EXPECT_EQ(sp.nKernel, 3u);
  EXPECT_EQ(sp.dwColor, 0x40112233u);  // pixel order, 50 * 128 / 100 opacity
  colour->GetShowParam(&sp, 0);
  EXPECT_EQ(sp.nKernel, 11u);
}

TEST_F(LayerTest, StatesAndTheirChecks) {
  GCompRef<OLayer> empty = NewEmpty();
  RECT rc;
  EXPECT_EQ(ThrownCondition([&] { empty->GetRect(&rc); }), u"!m_myState!=myNULL");
  GCompRef<OLayer> l = NewLayer(8, 8, 4);
  EXPECT_EQ(ThrownCondition([&] { l->Initialize(nullptr, 8, 8, 4, 2); }), u"!m_myState==myNULL");
  EXPECT_EQ(ThrownCondition([&] { l->Unlock(); }), u"!m_myState==myLOCK");
  {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(l, 0));
    EXPECT_EQ(lock.cbRow, 64u * 4);
    EXPECT_EQ(lock.nPitch, 64);
    EXPECT_EQ(ThrownCondition([&] { l->Lock(&lock, 0); }), u"!m_myState==myREADY");
    EXPECT_EQ(ThrownCondition([&] { l->Cleanup(); }), u"!m_myState==myREADY");
  }  // the holder unlocks
  l->Cleanup();
  EXPECT_EQ(ThrownCondition([&] { empty->Initialize(nullptr, 0, 8, 4, 1); }),
            u"!nWidth>0&&nHeight>0&&nWidth<=10000&&nHeight<=10000");
  EXPECT_EQ(ThrownCondition([&] { empty->Initialize(nullptr, 8, 8, 3, 1); }),
            u"!nFormat==myFORMAT_A16||nFormat==myFORMAT_C32");
}

TEST_F(LayerTest, ColourAtTheEdges) {
  for (int format : {2, 4}) {
    GCompRef<OLayer> l = NewLayer(3, 2, format);
    l->SetPosition(10, 20, FALSE);
    l->SetColor(RGB(0xFF, 0, 0));  // red, so a red/blue swap shows
    Props(l)->SetValue(0, 40);
    {
      LayerLock lock;
      lock.Lock(l, 0);
      for (int x = 0; x < 3; ++x) {
        if (format == 4) reinterpret_cast<uint32_t*>(lock.Row(1))[x] = 0x80102030u + uint32_t(x);
        else reinterpret_cast<uint16_t*>(lock.Row(1))[x] = uint16_t(0x7F00 + x);
      }
    }
    struct Case {
      int x, y;
      BOOL inside;
    } cases[] = {{9, 21, FALSE}, {10, 21, TRUE}, {12, 21, TRUE}, {13, 21, FALSE}, {10, 22, FALSE}, {10, 19, FALSE}};
    for (const Case& c : cases) {
      POINT pt{c.x, c.y};
      BOOL inside = -1;
      uint32_t v = l->GetColor(&pt, &inside);
      EXPECT_EQ(inside, c.inside) << format << " at " << c.x;
      uint32_t expect = c.inside ? (format == 4 ? 0x80102030u + uint32_t(c.x - 10) : 0x7FFF0000u)
                                 : (0xFFu | (40u * 255 / 100) << 24);
      EXPECT_EQ(v, expect) << format << " at " << c.x;
    }
  }
}

TEST_F(LayerTest, NamesKeepSixtyThreeCharacters) {
  GCompRef<OLayer> l = NewLayer(1, 1, 4);
  std::u16string seventy(70, u'x');
  l->SetName(seventy.c_str());
  EXPECT_EQ(std::u16string(l->GetName()), std::u16string(63, u'x'));
  l->SetName(u"图层");
  EXPECT_EQ(std::u16string(l->GetName()), u"图层");
  l->SetName(nullptr);
  EXPECT_EQ(std::u16string(l->GetName()), u"");
}

TEST_F(LayerTest, PropertyListsFollowTheFormat) {
  GCompRef<OLayer> colour = NewLayer(1, 1, 4);
  GCompRef<OLayer> mask = NewLayer(1, 1, 2);
  OProperty* cp = Props(colour);
  OProperty* mp = Props(mask);
  EXPECT_EQ(cp->GetCount(), 2u);
  EXPECT_EQ(mp->GetCount(), 3u);
  EXPECT_EQ(cp->GetItem(2), nullptr);
  ASSERT_NE(mp->GetItem(2), nullptr);
  EXPECT_EQ(std::u16string(mp->GetItem(2)->key), u"MASK");
  UINT at = 0;
  EXPECT_EQ(cp->FindByName(&at, u"MASK"), nullptr);
  EXPECT_EQ(at, 2u);
  at = 1;
  EXPECT_EQ(mp->FindByName(&at, u"ALPHA"), nullptr);  // the search starts at *index
  at = 0;
  EXPECT_NE(mp->FindByName(&at, u"MODE"), nullptr);
  EXPECT_EQ(at, 1u);
  struct Case {
    UINT index;
    int32_t value, stored;
  } cases[] = {{0, 0, 1}, {0, 250, 100}, {1, -3, 0}, {1, 9, 7}, {2, 5, 1}};
  for (const Case& c : cases) {
    ASSERT_NE(mp->SetValue(c.index, c.value), nullptr);
    EXPECT_EQ(mp->GetItem(c.index)->value, c.stored) << c.index << " " << c.value;
  }
  EXPECT_EQ(cp->SetValue(2, 1), nullptr);
  EXPECT_TRUE(mask->IsMask());
  EXPECT_FALSE(colour->IsMask());
  // The property set counts on the layer.
  EXPECT_EQ(cp->GetInterface(u"OLayer"), static_cast<void*>(colour.get()));
}

TEST_F(LayerTest, CleanupLowByteKeepsTheHighBytes) {
  GCompRef<OLayer> mask = NewLayer(5, 5, 2);
  GCompRef<OLayer> colour = NewLayer(5, 5, 4);
  {
    LayerLock a, b;
    a.Lock(mask, 0);
    b.Lock(colour, 0);
    reinterpret_cast<uint16_t*>(a.Row(4))[4] = 0x12FF;
    reinterpret_cast<uint32_t*>(b.Row(4))[4] = 0x12345678;
  }
  mask->CleanupLowByte();
  colour->CleanupLowByte();
  LayerLock a, b;
  a.Lock(mask, 0);
  b.Lock(colour, 0);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(a.Row(4))[4], 0x1200);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(b.Row(4))[4], 0x12345678u);
}

TEST_F(LayerTest, CopyInfoFromTakesNameColourAndValuesOnly) {
  GCompRef<OLayer> from = NewLayer(2, 2, 2, 7);
  from->SetName(u"source");
  from->SetColor(RGB(1, 2, 3));
  from->SetFlags(0x4);
  from->SetPosition(5, 6, FALSE);
  Props(from)->SetValue(0, 30);
  Props(from)->SetValue(1, 5);
  Props(from)->SetValue(2, 1);
  GCompRef<OLayer> to = NewLayer(3, 3, 2, 9);
  to->CopyInfoFrom(from);
  EXPECT_EQ(std::u16string(to->GetName()), u"source");
  EXPECT_EQ(to->GetColor(nullptr, nullptr) & 0xFFFFFF, RGB(1, 2, 3));
  EXPECT_EQ(Props(to)->GetItem(0)->value, 30);
  EXPECT_EQ(Props(to)->GetItem(1)->value, 5);
  EXPECT_EQ(Props(to)->GetItem(2)->value, 1);
  EXPECT_EQ(to->GetID(), 9u);
  EXPECT_EQ(to->GetFlags(), 0u);
  POINT pt;
  to->GetPosition(&pt, FALSE);
  EXPECT_EQ(pt.x, 0);
}

}  // namespace
