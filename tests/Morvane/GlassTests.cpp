#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "GlassKernels.h"
#include "MorvaneFixture.h"

namespace {

// The glass colour RGB(0x30, 0x90, 0xF0) in pixel order.
constexpr COLORREF kGlassColour = RGB(0x30, 0x90, 0xF0);
constexpr uint32_t kPixelColour = 0x003090F0;

template <class T>
T* At(OLayer* l, int x, int y) {
  LayerLock lock;
  lock.Lock(l, 0);
  return reinterpret_cast<T*>(lock.Row(y)) + x;
}

std::vector<BYTE> Snapshot(OLayer* l) {
  LayerLock lock;
  lock.Lock(l, 0);
  return {lock.pPixels, lock.pPixels + size_t(lock.cbRow) * size_t((lock.nHeight + 63) & ~63)};
}

void FillRandom(OLayer* l, uint32_t seed, uint16_t glassMask = 0xFFFF) {
  std::mt19937 rng(seed);
  LayerLock lock;
  lock.Lock(l, 0);
  size_t n = size_t(lock.cbRow) * size_t((lock.nHeight + 63) & ~63);
  for (size_t i = 0; i < n; i += 2) {
    uint16_t v = uint16_t(rng()) & glassMask;
    std::memcpy(lock.pPixels + i, &v, 2);
  }
}

class GlassTest : public LayerTest {
 protected:
  // A glass layer of the test colour with ALPHA and MODE set.
  GCompRef<OLayer> NewGlass(int w, int h, int alpha, int mode) {
    GCompRef<OLayer> g = NewLayer(w, h, OLayer::myFORMAT_A16);
    g->SetColor(kGlassColour);
    Props(g)->SetValue(0, alpha);
    Props(g)->SetValue(1, mode);
    return g;
  }
};

TEST_F(GlassTest, FullGlassOverTransparentGivesTheGlassColour) {
  GCompRef<OLayer> g = NewGlass(70, 70, 100, 0);
  GCompRef<OLayer> dest = NewLayer(70, 70, OLayer::myFORMAT_C32);
  *At<uint16_t>(g, 3, 3) = 0xFF00;
  g->PAT_MarkSet(nullptr, nullptr);
  EXPECT_EQ(g->PAT_GlassMergeTo(dest), 4);
  EXPECT_EQ(*At<uint32_t>(dest, 3, 3), 0xFF000000u | kPixelColour);
  EXPECT_EQ(*At<uint32_t>(dest, 4, 3), 0u);
}

TEST_F(GlassTest, EachModeOnKnownPixels) {
  // Expected values worked from the rules; e.g. normal mode, ALPHA 50 (o = 128), v 0x8000
  // over 0x80C04020: a = 64, alpha = 64 + (129 * 191 >> 8) = 160, w = 16384 / 161 = 101,
  // blue = (32 * 155 + 240 * 101) >> 8 = 114.
  struct Case {
    int alpha;
    uint32_t dest;
    uint16_t v;
    uint32_t expect[8];
  } cases[] = {
      {50,
       0x80C04020,
       0x8000,
       {0xA0875F72, 0x80C35B54, 0x8099391F, 0x80CC645C, 0x808C241C, 0x80C05454, 0x809C4020, 0x80CC644C}},
      {100, 0x00000000, 0xFF00, {0xFF3090F0, 0x2F8FEF, 0x0, 0x2F8FEF, 0x0, 0x2F8FEF, 0x0, 0x2F8FEF}},
      {100,
       0xFF10E0FF,
       0x40FF,
       {0xFF18CCFB, 0xFF1BE4FF, 0xFF0CC7FB, 0xFF1CFFFF, 0xFF00C4FB, 0xFF18E0FF, 0xFF10CCFB, 0xFF14C4C3}},
  };
  for (const Case& c : cases) {
    for (int mode = 0; mode < 8; ++mode) {
      GCompRef<OLayer> g = NewGlass(64, 64, c.alpha, mode);
      GCompRef<OLayer> dest = NewLayer(64, 64, OLayer::myFORMAT_C32);
      for (int x = 0; x < 5; ++x) {  // a full SSE2 step plus one
        *At<uint16_t>(g, x, 9) = c.v;
        *At<uint32_t>(dest, x, 9) = c.dest;
      }
      g->PAT_MarkSet(nullptr, nullptr);
      g->PAT_GlassMergeTo(dest);
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(*At<uint32_t>(dest, x, 9), c.expect[mode]) << std::hex << c.dest << " mode " << mode << " x " << x;
    }
  }
  // The mask rule: the mode plays no part; the low byte goes once there is coverage.
  struct Mask {
    int alpha;
    uint16_t dest, v, expect;
  } masks[] = {
      {50, 0x8055, 0x8000, 0xA000}, {100, 0x0000, 0xFF00, 0xFF00}, {100, 0x3412, 0x01AB, 0x3400},
      {1, 0x20FF, 0x80FF, 0x2000},  {50, 0xFFFF, 0x0100, 0xFFFF},  // o * 1 >> 8 = 0: no coverage
  };
  for (const Mask& m : masks) {
    for (int mode : {0, 5}) {
      GCompRef<OLayer> g = NewGlass(64, 64, m.alpha, mode);
      GCompRef<OLayer> dest = NewLayer(64, 64, OLayer::myFORMAT_A16);
      for (int x = 0; x < 9; ++x) {
        *At<uint16_t>(g, x, 63) = m.v;
        *At<uint16_t>(dest, x, 63) = m.dest;
      }
      g->PAT_MarkSet(nullptr, nullptr);
      g->PAT_GlassMergeTo(dest);
      for (int x = 0; x < 9; ++x) EXPECT_EQ(*At<uint16_t>(dest, x, 63), m.expect) << std::hex << m.dest << " " << m.v;
    }
  }
}

TEST_F(GlassTest, NoCoverageLeavesTheDestinationInEveryMode) {
  for (int format : {2, 4}) {
    for (int mode = 0; mode < 8; ++mode) {
      for (int alpha : {1, 37, 100}) {
        GCompRef<OLayer> g = NewGlass(100, 80, alpha, mode);
        GCompRef<OLayer> dest = NewLayer(100, 80, format);
        FillRandom(g, 1, 0x00FF);  // low bytes only
        FillRandom(dest, uint32_t(mode * 7 + alpha));
        std::vector<BYTE> before = Snapshot(dest);
        g->PAT_MarkSet(nullptr, nullptr);
        EXPECT_EQ(g->PAT_GlassMergeTo(dest), 4);
        EXPECT_EQ(Snapshot(dest), before) << "format " << format << " mode " << mode << " alpha " << alpha;
      }
    }
  }
}

TEST_F(GlassTest, OnlyMarkedBlocksMergeAndMarksStay) {
  GCompRef<OLayer> g = NewGlass(130, 70, 100, 0);
  GCompRef<OLayer> dest = NewLayer(130, 70, OLayer::myFORMAT_C32);
  {
    LayerLock lock;
    lock.Lock(g, 0);
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 192; ++x) reinterpret_cast<uint16_t*>(lock.Row(y))[x] = 0xFF00;
  }
  std::vector<BYTE> glassBefore = Snapshot(g);
  RECT block{64, 0, 65, 1};
  g->PAT_MarkSet(&block, nullptr);
  EXPECT_EQ(g->PAT_GlassMergeTo(dest), 1);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 192; ++x) {
      bool in = x >= 64 && x < 128 && y < 64;
      ASSERT_EQ(*At<uint32_t>(dest, x, y), in ? 0xFF000000u | kPixelColour : 0u) << x << "," << y;
    }
  EXPECT_EQ(Snapshot(g), glassBefore);
  EXPECT_EQ(g->PAT_GetMarkMap()[1], 1);
  for (size_t i = 0; i < LYR_MARK_BYTES; ++i) ASSERT_EQ(dest->PAT_GetMarkMap()[i], 0) << i;
}

// Painted, empty and fully covered blocks, some marked and some not: the layer merge gives
// exactly the scalar rule on every line of every marked block and leaves the rest alone.
TEST_F(GlassTest, MarkedBlocksOfEveryKindMergeAsTheScalarRule) {
  const int w = 200, h = 150;  // 4 x 3 blocks, the last column and row partly outside
  for (int format : {2, 4}) {
    for (int mode : {0, 3}) {
      GCompRef<OLayer> g = NewGlass(w, h, 100, mode);
      GCompRef<OLayer> dest = NewLayer(w, h, format);
      FillRandom(dest, uint32_t(format + mode));
      std::mt19937 rng(uint32_t(17 + mode));
      {
        LayerLock lock;
        lock.Lock(g, 0);
        // Block kind by (column + row) % 3: no coverage (low bytes only), full coverage,
        // painted with runs of every kind.
        for (int y = 0; y < 192; ++y)
          for (int x = 0; x < 256; ++x) {
            const int kind = (x / 64 + y / 64) % 3;
            const uint16_t painted = rng() % 3 == 0 ? uint16_t(rng() & 0xFF) : uint16_t(rng());
            reinterpret_cast<uint16_t*>(lock.Row(y))[x] =
                kind == 0 ? uint16_t(rng() & 0xFF) : kind == 1 ? uint16_t(0xFF00 | (rng() & 0xFF)) : painted;
          }
      }
      const std::vector<BYTE> before = Snapshot(dest);
      const size_t rowBytes = before.size() / 192;
      const bool marked[3][4] = {{true, true, false, true}, {false, true, true, true}, {true, false, true, false}};
      int count = 0;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
          if (marked[r][c]) {
            const RECT rc{c * 64, r * 64, c * 64 + 1, r * 64 + 1};
            g->PAT_MarkSet(&rc, nullptr);
            ++count;
          }
      std::vector<BYTE> want = before;
      const std::vector<BYTE> glassBytes = Snapshot(g);
      const size_t glassRowBytes = glassBytes.size() / 192;
      const glass::Params p{kPixelColour, 256, mode};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
          for (int y = r * 64; marked[r][c] && y < r * 64 + 64; ++y) {
            const auto* gl = reinterpret_cast<const uint16_t*>(glassBytes.data() + size_t(y) * glassRowBytes) + c * 64;
            BYTE* row = want.data() + size_t(y) * rowBytes;
            if (format == 4) {
              glass::MergeRowC32Scalar(reinterpret_cast<uint32_t*>(row) + c * 64, gl, 64, p);
            } else {
              glass::MergeRowA16Scalar(reinterpret_cast<uint16_t*>(row) + c * 64, gl, 64, 256);
            }
          }
      EXPECT_EQ(g->PAT_GlassMergeTo(dest), count);
      const std::vector<BYTE> got = Snapshot(dest);
      ASSERT_EQ(got.size(), want.size());
      for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "format " << format << " mode " << mode << " byte " << i;
    }
  }
}

TEST_F(GlassTest, Refusals) {
  GCompRef<OLayer> g = NewGlass(64, 64, 100, 0);
  GCompRef<OLayer> colour = NewLayer(64, 64, OLayer::myFORMAT_C32);
  EXPECT_EQ(ThrownCondition([&] { colour->PAT_GlassMergeTo(NewLayer(64, 64, 4)); }),
            u"!m_nFormat==OLayer::myFORMAT_A16");
  EXPECT_EQ(ThrownCondition([&] { g->PAT_GlassMergeTo(NewLayer(65, 64, 4)); }), u"!m_nWidth==poLayerDest->GetWidth()");
  EXPECT_EQ(ThrownCondition([&] { g->PAT_GlassMergeTo(NewLayer(64, 63, 4)); }),
            u"!m_nHeight==poLayerDest->GetHeight()");
  LayerLock lock;
  lock.Lock(colour, 0);
  EXPECT_EQ(ThrownCondition([&] { g->PAT_GlassMergeTo(colour); }), u"!m_myState==myREADY");
  lock.Unlock();
  EXPECT_EQ(g->PAT_GlassMergeTo(colour), 0);  // nothing marked; both layers usable again
}

// --- the SSE2 kernels against the scalar reference

// The SSE2 kernel, and the AVX2 one where the processor has it, against the scalar rule.
void ExpectSameC32(const std::vector<uint32_t>& dest, const std::vector<uint16_t>& glass, const glass::Params& p) {
  std::vector<uint32_t> a = dest;
  glass::MergeRowC32Scalar(a.data(), glass.data(), a.size(), p);
  for (auto kernel : {glass::MergeRowC32Sse2, glass::MergeRowC32Avx2}) {
    if (kernel == glass::MergeRowC32Avx2 && !glass::HasAvx2()) continue;
    std::vector<uint32_t> b = dest;
    kernel(b.data(), glass.data(), b.size(), p);
    for (size_t i = 0; i < a.size(); ++i)
      ASSERT_EQ(b[i], a[i]) << std::hex << "dest " << dest[i] << " glass " << glass[i] << " colour " << p.color
                            << std::dec << " opacity " << p.opacity << " mode " << p.mode << " at " << i
                            << (kernel == glass::MergeRowC32Avx2 ? " (AVX2)" : " (SSE2)");
  }
}

TEST(GlassKernel, C32EveryDestAndColourChannelAtChosenCoverages) {
  const uint16_t coverage[] = {0, 1, 2, 64, 127, 128, 200, 255};
  std::vector<uint32_t> dest(256 * 8);
  std::vector<uint16_t> glass(dest.size());
  for (int d = 0; d < 256; ++d)
    for (int k = 0; k < 8; ++k) {
      size_t i = size_t(d) * 8 + size_t(k);
      uint32_t alpha = uint32_t(d * 7 + k * 31) & 255;
      dest[i] = uint32_t(d) | uint32_t(255 - d) << 8 | uint32_t(d ^ 0xA5) << 16 | alpha << 24;
      glass[i] = uint16_t(coverage[k] << 8 | (d & 0xFF));
    }
  for (int mode = 0; mode < 8; ++mode)
    for (uint32_t opacity : {256u, 128u, 2u})
      for (uint32_t s = 0; s < 256; ++s) {
        glass::Params p{s | (s ^ 0x3C) << 8 | (255 - s) << 16 | 0xAB000000u, opacity, mode};
        ExpectSameC32(dest, glass, p);
      }
}

TEST(GlassKernel, C32NormalModeEveryCoverageAndDestAlpha) {
  // Opacity 256 makes a = coverage, so every (a, dest alpha) pair of the division occurs.
  std::vector<uint32_t> dest(65536);
  std::vector<uint16_t> glass(65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    dest[i] = (i & 255) << 24 | (i * 0x9E3779B1u >> 8 & 0xFFFFFF);
    glass[i] = uint16_t(i & 0xFF00);
  }
  for (uint32_t colour : {0x000000u, 0xFFFFFFu, 0x3090F0u, 0x7F0180u})
    for (uint32_t opacity : {256u, 255u, 130u}) ExpectSameC32(dest, glass, glass::Params{colour, opacity, 0});
}

TEST(GlassKernel, C32RandomRowsOfOddLengths) {
  std::mt19937 rng(11);
  for (int row = 0; row < 2000; ++row) {
    size_t n = rng() % 67;
    std::vector<uint32_t> dest(n);
    std::vector<uint16_t> glass(n);
    for (size_t i = 0; i < n; ++i) {
      dest[i] = rng();
      glass[i] = uint16_t(rng());
    }
    ExpectSameC32(dest, glass, glass::Params{uint32_t(rng()), uint32_t(rng() % 257), int(rng() % 8)});
  }
}

// Rows of runs without coverage, at full coverage and painted, of every length, so that
// whole steps of each kind and steps mixing them occur at every offset.
TEST(GlassKernel, RunsOfEmptyFullAndPaintedMatchTheScalarRule) {
  std::mt19937 rng(13);
  for (int row = 0; row < 600; ++row) {
    const size_t n = 1 + rng() % 150;
    std::vector<uint32_t> dest(n);
    std::vector<uint16_t> glass(n);
    for (size_t i = 0; i < n;) {
      const int kind = int(rng() % 3);
      for (size_t end = std::min(n, i + 1 + rng() % 20); i < end; ++i) {
        dest[i] = rng();
        glass[i] = kind == 0 ? uint16_t(rng() & 0xFF) : kind == 1 ? uint16_t(0xFF00 | (rng() & 0xFF)) : uint16_t(rng());
      }
    }
    const uint32_t opacities[] = {256, 255, 128, 1, 0};
    const uint32_t opacity = opacities[row % 5];
    ExpectSameC32(dest, glass, glass::Params{uint32_t(rng()), opacity, int(row / 5 % 8)});
    std::vector<uint16_t> a(n), b(n);
    for (size_t i = 0; i < n; ++i) a[i] = b[i] = uint16_t(dest[i]);
    glass::MergeRowA16Scalar(a.data(), glass.data(), n, opacity);
    glass::MergeRowA16Sse2(b.data(), glass.data(), n, opacity);
    ASSERT_EQ(a, b) << "row " << row;
  }
}

TEST(GlassKernel, C32NoCoverageIsTheIdentity) {
  std::mt19937 rng(12);
  std::vector<uint32_t> dest(4099);
  std::vector<uint16_t> glass(dest.size());
  for (size_t i = 0; i < dest.size(); ++i) {
    dest[i] = rng();
    glass[i] = uint16_t(rng() & 0xFF);
  }
  for (int mode = 0; mode < 8; ++mode)
    for (uint32_t opacity = 0; opacity <= 256; opacity += 8) {
      glass::Params p{uint32_t(rng()), opacity, mode};
      std::vector<uint32_t> a = dest, b = dest;
      glass::MergeRowC32Scalar(a.data(), glass.data(), a.size(), p);
      glass::MergeRowC32Sse2(b.data(), glass.data(), b.size(), p);
      ASSERT_EQ(a, dest) << "mode " << mode << " opacity " << opacity;
      ASSERT_EQ(b, dest) << "mode " << mode << " opacity " << opacity;
      ExpectSameC32(dest, glass, p);
    }
}

TEST(GlassKernel, A16EveryDestAndCoverageAtEveryOpacity) {
  std::vector<uint16_t> dest(65536 + 3), glass(dest.size());
  for (uint32_t i = 0; i < dest.size(); ++i) {
    uint32_t k = i & 0xFFFF;
    dest[i] = uint16_t((k & 0xFF) << 8 | (k * 37 & 0xFF));
    glass[i] = uint16_t((k & 0xFF00) | (k * 11 & 0xFF));
  }
  for (uint32_t opacity = 0; opacity <= 256; ++opacity) {
    std::vector<uint16_t> a = dest, b = dest;
    glass::MergeRowA16Scalar(a.data(), glass.data(), a.size(), opacity);
    glass::MergeRowA16Sse2(b.data(), glass.data(), b.size(), opacity);
    ASSERT_EQ(a, b) << "opacity " << opacity;
    for (size_t i = 0; i < a.size(); ++i) {
      if ((opacity * (glass[i] >> 8)) >> 8 == 0) {
        ASSERT_EQ(a[i], dest[i]) << "opacity " << opacity << " at " << i;
      }
    }
  }
}

}  // namespace
