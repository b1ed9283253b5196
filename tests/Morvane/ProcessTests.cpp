#include <cstring>
#include <functional>
#include <vector>

#include "MorvaneFixture.h"

namespace {

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  return x ^ (x >> 16);
}

// The primary surface as values (16 or 32 bits each), padding included, row by row at the pitch.
struct Surface {
  int width = 0, height = 0, pitch = 0, rows = 0, size = 0;
  std::vector<uint32_t> v;
  uint32_t at(int x, int y) const { return v[size_t(y) * size_t(pitch) + size_t(x)]; }
  bool padding(int x, int y) const { return x >= width || y >= height; }
};

Surface Read(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  Surface s{lock.nWidth, lock.nHeight, lock.nPitch, (lock.nHeight + 63) & ~63, lock.nPixelSize, {}};
  for (int y = 0; y < s.rows; ++y)
    for (int x = 0; x < s.pitch; ++x) {
      const BYTE* p = lock.Row(y) + size_t(x) * size_t(s.size);
      uint32_t value = 0;
      std::memcpy(&value, p, size_t(s.size));
      s.v.push_back(value);
    }
  return s;
}

// Distinct values in every pixel, some with alpha (high byte) 0, and a marked pattern in
// every padding place, so that a process reaching into the padding shows.
void Fill(OLayer* l, uint32_t seed) {
  LayerLock lock;
  lock.Lock(l, 0);
  const int rows = (lock.nHeight + 63) & ~63;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < lock.nPitch; ++x) {
      uint32_t v = Hash(seed * 7919u + uint32_t(y) * 65599u + uint32_t(x));
      if (v % 5 == 0) v &= lock.nPixelSize == 4 ? 0x00FFFFFFu : 0x00FFu;
      if (x >= lock.nWidth || y >= lock.nHeight) v = 0xA5000000u | uint32_t(y) << 12 | uint32_t(x);
      std::memcpy(lock.Row(y) + size_t(x) * size_t(lock.nPixelSize), &v, size_t(lock.nPixelSize));
    }
}

// Every pixel against expect(x, y) on the layer, every padding place as it was.
void ExpectPixels(const Surface& before, const Surface& after, const std::function<uint32_t(int, int)>& expect,
                  const char* what) {
  for (int y = 0; y < after.rows; ++y)
    for (int x = 0; x < after.pitch; ++x) {
      const uint32_t want = after.padding(x, y) ? before.at(x, y) : expect(x, y);
      ASSERT_EQ(after.at(x, y), want) << what << " " << after.width << "x" << after.height << " format " << after.size
                                      << " at " << x << "," << y;
    }
}

uint32_t AlphaOf(uint32_t v, int size) { return size == 4 ? v >> 24 : (v >> 8) & 0xFF; }

struct Size {
  int w, h;
};
constexpr Size kSizes[] = {{1, 1}, {1, 6}, {6, 1}, {4, 6}, {7, 3}, {65, 5}, {3, 66}, {64, 64}};

TEST_F(LayerTest, FlipsAndHalfTurnMoveEveryPixelAndNoPadding) {
  for (Size sz : kSizes)
    for (int format : {2, 4}) {
      GCompRef<OLayer> l = NewLayer(sz.w, sz.h, format);
      Fill(l, uint32_t(sz.w * 100 + sz.h));
      const Surface s0 = Read(l);
      const int W = sz.w, H = sz.h;
      l->FlipVertical();
      Surface s1 = Read(l);
      ExpectPixels(
          s0, s1, [&](int x, int y) { return s0.at(x, H - 1 - y); }, "FlipVertical");
      l->FlipVertical();
      l->FlipHorizontal();
      s1 = Read(l);
      ExpectPixels(
          s0, s1, [&](int x, int y) { return s0.at(W - 1 - x, y); }, "FlipHorizontal");
      l->FlipHorizontal();
      l->Rotate180();
      s1 = Read(l);
      ExpectPixels(
          s0, s1, [&](int x, int y) { return s0.at(W - 1 - x, H - 1 - y); }, "Rotate180");
      l->Rotate180();
      ASSERT_EQ(Read(l).v, s0.v) << "twice is the identity " << W << "x" << H;
    }
}

TEST_F(LayerTest, InvertTurnsColourOrCoverage) {
  for (Size sz : kSizes)
    for (int format : {2, 4}) {
      GCompRef<OLayer> l = NewLayer(sz.w, sz.h, format);
      Fill(l, 3);
      const Surface s0 = Read(l);
      l->ProcessInvert();
      ExpectPixels(
          s0, Read(l),
          [&](int x, int y) {
            uint32_t v = s0.at(x, y);
            return format == 4 ? v ^ 0x00FFFFFFu : (v & 0xFF00u) ^ 0xFF00u;
          },
          "ProcessInvert");
    }
}

TEST_F(LayerTest, ImpairKeepsAPercentOfTheAlphaAndReturnsTheOld) {
  struct Case {
    int percent, kept;
  } cases[] = {{0, 0}, {100, 100}, {37, 37}, {-5, 0}, {150, 100}, {INT32_MIN, 0}, {INT32_MAX, 100}};
  for (const Case& c : cases)
    for (int format : {2, 4}) {
      GCompRef<OLayer> l = NewLayer(70, 65, format);
      Fill(l, uint32_t(c.kept + 11));
      const Surface s0 = Read(l);
      GCompRef<OData> old = l->ProcessImpair(c.percent);
      const uint32_t kept = uint32_t(c.kept);
      const Surface s1 = Read(l);
      ExpectPixels(
          s0, s1,
          [&](int x, int y) {
            uint32_t v = s0.at(x, y);
            return format == 4 ? (v & 0xFFFFFFu) | kept * (v >> 24) / 100 << 24 : kept * v / 100;
          },
          "ProcessImpair");
      // The block: one byte a pixel at the pitch, rows of the layer only, padding columns 0.
      ASSERT_EQ(old->GetSize(), size_t(s0.pitch) * 65);
      const BYTE* bytes = old->GetBuffer();
      for (int y = 0; y < 65; ++y)
        for (int x = 0; x < s0.pitch; ++x)
          ASSERT_EQ(bytes[size_t(y) * size_t(s0.pitch) + size_t(x)], x < 70 ? AlphaOf(s0.at(x, y), format) : 0u)
              << x << "," << y;
      l->ProcessImpairRestore(old);
      ExpectPixels(
          s1, Read(l),
          [&](int x, int y) {
            uint32_t a = AlphaOf(s0.at(x, y), format);
            return format == 4 ? (s0.at(x, y) & 0xFFFFFFu) | a << 24 : a << 8;
          },
          "ProcessImpairRestore");
    }
}

TEST_F(LayerTest, AlphaBackupAndRestoreFromEitherKindOfBlock) {
  for (int format : {2, 4}) {
    // Pitch 1152 x 1000 rows: more than one fragment of a fragmented block.
    GCompRef<OLayer> l = NewLayer(1100, 1000, format);
    Fill(l, 21);
    const Surface s0 = Read(l);
    GCompRef<OData> backup = l->AlphaBackup();
    ASSERT_EQ(Read(l).v, s0.v);
    ASSERT_NE(backup->GetBuffer(), nullptr);
    GCompRef<OData> fragmented = (new NuvrelFragmented())->Init(backup->GetSize());
    fragmented->Write(backup->GetBuffer(), backup->GetSize());
    ASSERT_GT(fragmented->GetFragmentCount(), 1u);
    auto expect = [&](int x, int y) {
      uint32_t a = AlphaOf(s0.at(x, y), format);
      return format == 4 ? s0.at(x, y) : a << 8;  // a mask keeps the high byte only
    };
    for (OData* block : {backup.get(), static_cast<OData*>(fragmented.get())}) {
      l->ProcessInvert();
      GCompRef<OData> cleared = l->ProcessImpair(0);
      l->ProcessInvert();  // back to the colours (a mask: a full coverage to be replaced)
      l->AlphaRestore(block);
      ASSERT_NO_FATAL_FAILURE(ExpectPixels(s0, Read(l), expect, "AlphaRestore"));
    }
  }
}

TEST_F(LayerTest, AlphaRestoreRefusesABlockOfAnotherSize) {
  GCompRef<OLayer> l = NewLayer(70, 65, 4);
  Fill(l, 5);
  const Surface s0 = Read(l);
  GCompRef<OData> small = GNewData(128 * 64);
  EXPECT_EQ(ThrownCondition([&] { l->AlphaRestore(small); }), u"!poData->GetSize()==(UINT)nDataSize");
  EXPECT_EQ(ThrownCondition([&] { l->ProcessImpairRestore(small); }), u"!poData->GetSize()==(UINT)nDataSize");
  EXPECT_EQ(Read(l).v, s0.v);  // unchanged and unlocked
}

TEST_F(LayerTest, SplitMaskAndRestoreGiveEveryPixelBack) {
  for (Size sz : kSizes) {
    GCompRef<OLayer> l = NewLayer(sz.w, sz.h, 4);
    l->SetPosition(-7, 12, FALSE);
    Fill(l, 8);
    const Surface s0 = Read(l);
    GCompRef<OLayer> mask = l->ProcessSplitMask();
    ASSERT_EQ(mask->GetFormat(), OLayer::myFORMAT_A16);
    EXPECT_TRUE(mask->IsMask());
    POINT at;
    mask->GetPosition(&at, FALSE);
    EXPECT_EQ(at.x, -7);
    EXPECT_EQ(at.y, 12);
    const Surface m = Read(mask);
    ASSERT_EQ(m.width, sz.w);
    ASSERT_EQ(m.height, sz.h);
    for (int y = 0; y < m.rows; ++y)
      for (int x = 0; x < m.pitch; ++x)
        ASSERT_EQ(m.at(x, y), m.padding(x, y) ? 0u : (s0.at(x, y) >> 24) << 8) << x << "," << y;
    ExpectPixels(
        s0, Read(l), [&](int x, int y) { return s0.at(x, y) >> 24 ? s0.at(x, y) | 0xFF000000u : s0.at(x, y); },
        "ProcessSplitMask");
    l->ProcessSplitMaskRestore(mask);
    ASSERT_EQ(Read(l).v, s0.v) << sz.w << "x" << sz.h;
  }
}

TEST_F(LayerTest, SplitMaskRefusals) {
  GCompRef<OLayer> colour = NewLayer(20, 10, 4);
  GCompRef<OLayer> mask = NewLayer(20, 10, 2);
  EXPECT_EQ(ThrownCondition([&] { mask->ProcessSplitMask(); }), u"!GetFormat()==OLayer::myFORMAT_C32");
  EXPECT_EQ(ThrownCondition([&] { mask->ProcessSplitMaskRestore(mask); }), u"!GetFormat()==OLayer::myFORMAT_C32");
  EXPECT_EQ(ThrownCondition([&] { colour->ProcessSplitMaskRestore(NewLayer(20, 10, 4)); }),
            u"!lkMask.nPixelSize==OLayer::myFORMAT_A16");
  for (Size other : {Size{21, 10}, Size{20, 9}})
    EXPECT_EQ(ThrownCondition([&] { colour->ProcessSplitMaskRestore(NewLayer(other.w, other.h, 2)); }),
              u"!lkMask.nWidth==m_nWidth && lkMask.nHeight==m_nHeight");
  colour->ProcessSplitMaskRestore(mask);  // both were unlocked
  LayerLock lock;
  lock.Lock(colour, 0);
  EXPECT_EQ(ThrownCondition([&] { colour->ProcessSplitMask(); }), u"!m_myState==myREADY");
  EXPECT_EQ(ThrownCondition([&] { colour->FlipVertical(); }), u"!m_myState==myREADY");
}

}  // namespace
