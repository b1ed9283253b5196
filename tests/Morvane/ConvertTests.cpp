#include <cstring>
#include <vector>

#include "MorvaneFixture.h"

namespace {

template <class T>
T& At(OLayer* l, int x, int y) {
  LayerLock lock;
  lock.Lock(l, 0);
  return reinterpret_cast<T*>(lock.Row(y))[x];
}

std::vector<BYTE> Snapshot(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return {lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t((lock.nHeight + 63) & ~63)};
}

TEST_F(LayerTest, ConvertColourToMaskByEachSource) {
  // R 200, G 100, B 50: brightness (59800 + 58700 + 5700) / 1000 = 124. At alpha 128 a value
  // c gives (c * 128 + 127) / 255; a transparent pixel gives nothing.
  struct Case {
    uint32_t pixel;
    uint8_t expect[5];  // brightness, transparency, red, green, blue (high bytes)
  } cases[] = {
      {0xFFC86432, {124, 255, 200, 100, 50}},  {0x80C86432, {62, 128, 100, 50, 25}}, {0x00FFFFFF, {0, 0, 0, 0, 0}},
      {0xFFFFFFFF, {255, 255, 255, 255, 255}}, {0x01FF0000, {0, 1, 1, 0, 0}},
  };
  GCompRef<OLayer> l = NewLayer(70, 2, 4);
  for (int x = 0; x < 70; ++x) At<uint32_t>(l, x, 1) = cases[x % 5].pixel;
  for (int mode = 0; mode < 5; ++mode) {
    GCompRef<OLayer> m = l->Convert(mode);
    ASSERT_EQ(m->GetFormat(), OLayer::myFORMAT_A16);
    for (int x = 0; x < 70; ++x) {
      const uint16_t v = uint16_t(cases[x % 5].expect[mode] * 257);
      ASSERT_EQ(At<uint16_t>(m, x, 1), v) << "mode " << mode << std::hex << " pixel " << cases[x % 5].pixel;
      ASSERT_EQ(At<uint16_t>(m, x, 0), 0);
    }
  }
}

TEST_F(LayerTest, ConvertMaskToColourAndBackKeepsEveryHighByte) {
  // Every coverage value once; the mask's colour RGB(0x10, 0x20, 0x30) is 0x102030 in pixels.
  GCompRef<OLayer> mask = NewLayer(256, 256, 2);
  mask->SetColor(RGB(0x10, 0x20, 0x30));
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) At<uint16_t>(mask, x, y) = uint16_t(y << 8 | x);
  GCompRef<OLayer> colour = mask->Convert(5);
  ASSERT_EQ(colour->GetFormat(), OLayer::myFORMAT_C32);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(At<uint32_t>(colour, x, y), y ? uint32_t(y) << 24 | 0x102030u : 0u) << x << "," << y;
  GCompRef<OLayer> back = colour->Convert(1);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) ASSERT_EQ(At<uint16_t>(back, x, y) >> 8, y) << x << "," << y;
}

TEST_F(LayerTest, ConvertKeepsTheLayersIdentity) {
  for (int from : {2, 4}) {
    GCompRef<OLayer> l = NewLayer(100, 70, from, 42);
    l->SetName(u"层七");
    l->SetColor(RGB(1, 2, 3));
    l->SetFlags(LYR_FLAG_HIDDEN | LYR_FLAG_SOURCE);
    l->SetPosition(-9, 14, FALSE);
    l->SetPosition(5, 6, TRUE);
    Props(l)->SetValue(0, 33);
    Props(l)->SetValue(1, 6);
    if (from == 2) Props(l)->SetValue(2, 1);
    std::vector<BYTE> before = Snapshot(l);
    GCompRef<OLayer> out = l->Convert(from == 2 ? 5 : 0);
    EXPECT_EQ(Snapshot(l), before);  // the source stays as it was
    EXPECT_EQ(out->GetFormat(), 6 - from);
    EXPECT_EQ(out->GetID(), 42u);
    EXPECT_EQ(std::u16string(out->GetName()), u"层七");
    EXPECT_EQ(out->GetColor(nullptr, nullptr) & 0xFFFFFF, RGB(1, 2, 3));
    EXPECT_EQ(out->GetFlags(), LYR_FLAG_HIDDEN | LYR_FLAG_SOURCE);
    POINT now, saved;
    out->GetPosition(&now, FALSE);
    out->GetPosition(&saved, TRUE);
    EXPECT_EQ(now.x, -9);
    EXPECT_EQ(now.y, 14);
    EXPECT_EQ(saved.x, 5);
    EXPECT_EQ(saved.y, 6);
    EXPECT_EQ(Props(out)->GetItem(0)->value, 33);
    EXPECT_EQ(Props(out)->GetItem(1)->value, 6);
    EXPECT_FALSE(out->IsMask());  // a colour layer has no MASK; a converted colour layer starts at 0
    // Padding of the new layer stays zero.
    const std::vector<BYTE> bytes = Snapshot(out);
    const size_t rowBytes = size_t(out->GetPitch()) * size_t(out->GetPixelSize());
    for (size_t y = 0; y < 128; ++y)
      for (size_t b = 0; b < rowBytes; ++b)
        if (y >= 70 || b >= 100 * size_t(out->GetPixelSize())) {
          ASSERT_EQ(bytes[y * rowBytes + b], 0) << y << " " << b;
        }
  }
}

TEST_F(LayerTest, ConvertRefusals) {
  GCompRef<OLayer> colour = NewLayer(8, 8, 4);
  GCompRef<OLayer> mask = NewLayer(8, 8, 2);
  EXPECT_EQ(ThrownCondition([&] { colour->Convert(5); }), u"!m_nFormat==myFORMAT_A16");
  for (int mode : {0, 1, 4}) EXPECT_EQ(ThrownCondition([&] { mask->Convert(mode); }), u"!m_nFormat==myFORMAT_C32");
  for (int mode : {-1, 6}) EXPECT_EQ(ThrownCondition([&] { colour->Convert(mode); }), u"!(UINT)nMode<=5");
  LayerLock lock;
  lock.Lock(colour, 0);
  EXPECT_EQ(ThrownCondition([&] { colour->Convert(0); }), u"!m_myState==myREADY");
}

}  // namespace
