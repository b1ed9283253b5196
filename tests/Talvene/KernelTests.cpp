// The SSE2 kernels against their scalar definitions, bit for bit: the render's splat,
// coverage and compose, the preview's sampling and composition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "DistortKernels.h"
#include "PreviewKernels.h"
#include "SplatMix.h"

namespace {

using distort::AccEntry;
using distort::kTile;

distort::Texel RandomTexel(std::mt19937& rng) {
  const int alphas[4] = {0, 255, int(rng() % 256), 255};
  return distort::Texel{int(rng() % 256), int(rng() % 256), int(rng() % 256), alphas[rng() % 4]};
}

// A strip with corners around the tile (1/128 pixel): some wholly inside, some across its
// edges, some outside.
distort::Strip RandomStrip(std::mt19937& rng, int64_t spread, int64_t maxSteps) {
  auto coord = [&] { return int64_t(rng() % uint32_t(2 * spread)) - spread / 2 + (distort::kTileFix - spread) / 2; };
  distort::Strip s;
  s.ux0 = coord(), s.uy0 = coord();
  s.ux1 = s.ux0 + int64_t(rng() % 4000) - 2000, s.uy1 = s.uy0 + int64_t(rng() % 4000) - 2000;
  s.lx0 = s.ux0 + int64_t(rng() % 4000) - 2000, s.ly0 = s.uy0 + int64_t(rng() % 4000) - 2000;
  s.lx1 = s.lx0 + int64_t(rng() % 4000) - 2000, s.ly1 = s.ly0 + int64_t(rng() % 4000) - 2000;
  s.P = RandomTexel(rng), s.Q = RandomTexel(rng), s.P2 = RandomTexel(rng), s.Q2 = RandomTexel(rng);
  s.count = 1 + int64_t(rng() % uint32_t(maxSteps));
  s.end = 1 + int64_t(rng() % uint32_t(maxSteps));
  s.hPer = 1 + int64_t(rng() % 16);
  s.vPer = 2 + int64_t(rng() % 16);
  return s;
}

bool SameTiles(const std::vector<AccEntry>& a, const std::vector<AccEntry>& b) {
  return std::memcmp(a.data(), b.data(), a.size() * sizeof(AccEntry)) == 0;
}

TEST(DistortKernel, SplatSse2AndCountedMatchScalar) {
  std::vector<AccEntry> ref(size_t(kTile) * kTile), fast(size_t(kTile) * kTile), counted(size_t(kTile) * kTile);
  std::mt19937 rng(11);
  struct Mix {
    int64_t spread, maxSteps;
    int strips;
  };
  // Strips inside the tile, across its edges, far around it, and long ones whose clipped
  // ranges start deep into their steps.
  for (const Mix& m : {Mix{20000, 40, 3000}, Mix{90000, 40, 3000}, Mix{400000, 64, 1000}, Mix{300000, 2000, 24}}) {
    std::fill(ref.begin(), ref.end(), AccEntry{});
    std::fill(fast.begin(), fast.end(), AccEntry{});
    std::fill(counted.begin(), counted.end(), AccEntry{});
    for (int k = 0; k < m.strips; ++k) {
      distort::Strip s = RandomStrip(rng, m.spread, m.maxSteps);
      if (m.maxSteps > 1000) {
        // Sides many tiles long.
        s.ux1 = s.ux0 + int64_t(rng() % 600000) - 300000, s.lx1 = s.lx0 + int64_t(rng() % 600000) - 300000;
        s.ly0 = s.uy0 + int64_t(rng() % 600000) - 300000, s.ly1 = s.uy1 + int64_t(rng() % 600000) - 300000;
      }
      switch (m.maxSteps > 1000 ? 0 : k % 5) {
        case 1:  // unturned: the sides level, the lower side under the upper one
          s.lx0 = s.ux0, s.lx1 = s.ux1, s.uy1 = s.uy0, s.ly1 = s.ly0;
          break;
        case 2:  // within one pixel
          s.ux1 = s.ux0 + int64_t(rng() % 60) - 30, s.lx0 = s.ux0 + int64_t(rng() % 60) - 30;
          s.lx1 = s.ux0 + int64_t(rng() % 60) - 30, s.uy1 = s.uy0 + int64_t(rng() % 60) - 30;
          s.ly0 = s.uy0 + int64_t(rng() % 60) - 30, s.ly1 = s.uy0 + int64_t(rng() % 60) - 30;
          break;
        case 3:  // turned, a few pixels across
          s.ux1 = s.ux0 + int64_t(rng() % 800) - 400, s.lx0 = s.ux0 + int64_t(rng() % 800) - 400;
          s.lx1 = s.ux0 + int64_t(rng() % 800) - 400, s.uy1 = s.uy0 + int64_t(rng() % 800) - 400;
          s.ly0 = s.uy0 + int64_t(rng() % 800) - 400, s.ly1 = s.uy0 + int64_t(rng() % 800) - 400;
          break;
        case 4: {  // unturned, about a pixel: an unwarped source's, often on pixel edges
          const int64_t dx = int64_t(rng() % 160) - 16, dy = int64_t(rng() % 160) - 16;
          if (rng() % 2) s.ux0 &= ~int64_t(127), s.uy0 &= ~int64_t(127);
          s.lx0 = s.ux0, s.ux1 = s.lx1 = s.ux0 + (rng() % 4 ? dx : -dx);
          s.uy1 = s.uy0, s.ly0 = s.ly1 = s.uy0 + (rng() % 4 ? dy : -dy);
          break;
        }
        default: break;
      }
      // Some strips splat into a band of the tile's first rows only.
      if (k % 3 == 0 && m.maxSteps <= 1000) s.rowsFix = 128 * int64_t(1 + rng() % kTile);
      distort::SplatStripScalar(s, ref.data());
      distort::SplatStripSse2(s, fast.data());
      distort::SplatStripCounted(s, counted.data());
    }
    EXPECT_TRUE(SameTiles(ref, fast)) << "spread " << m.spread << " steps " << m.maxSteps;
    EXPECT_TRUE(SameTiles(ref, counted)) << "spread " << m.spread << " steps " << m.maxSteps;
    // The strips did land in the tile.
    EXPECT_TRUE(std::any_of(ref.begin(), ref.end(), [](const AccEntry& e) { return e.n > 0; }));
  }
}

TEST(DistortKernel, SplatOfUniformColourKeepsTheColour) {
  // Equal samples mix to themselves at every step, so every entry's mean is the colour.
  std::vector<AccEntry> tile(size_t(kTile) * kTile);
  distort::Strip s{};
  s.ux0 = 1000, s.uy0 = 1000, s.ux1 = 3000, s.uy1 = 1100, s.lx0 = 900, s.ly0 = 2500, s.lx1 = 3100, s.ly1 = 2600;
  s.P = s.Q = s.P2 = s.Q2 = distort::Texel{10, 200, 77, 255};
  s.count = 24, s.end = 20, s.hPer = 4, s.vPer = 6;
  distort::SplatStripSse2(s, tile.data());
  int hit = 0;
  for (const AccEntry& e : tile) {
    if (!e.n) continue;
    ++hit;
    EXPECT_EQ(e.b, 10 * e.w);
    EXPECT_EQ(e.g, 200 * e.w);
    EXPECT_EQ(e.r, 77 * e.w);
  }
  // 24 x 10 splats over a quad of about 16 x 12 pixels.
  EXPECT_GT(hit, 100);
}

TEST(DistortKernel, CoverRunSse2MatchesScalar) {
  std::vector<uint32_t> ref(kTile, 7), fast(kTile, 7);
  // Every run within the first 20 pixels, and runs reaching the tile's right edge.
  for (int32_t x0 = 0; x0 <= 320; ++x0)
    for (int32_t x1 = x0; x1 <= 320; ++x1) {
      distort::CoverRunScalar(ref.data(), x0, x1);
      distort::CoverRunSse2(fast.data(), x0, x1);
    }
  for (int32_t x0 = 8192 - 200; x0 <= 8192; ++x0) {
    distort::CoverRunScalar(ref.data(), x0, 8192);
    distort::CoverRunSse2(fast.data(), x0, 8192);
    distort::CoverRunScalar(ref.data(), x0 - 5000, x0);
    distort::CoverRunSse2(fast.data(), x0 - 5000, x0);
  }
  EXPECT_EQ(ref, fast);
  // Pixel 1 holds sub-samples 16..31; sub-sample s lies in (s + 1) (320 - s) of the runs.
  EXPECT_EQ(ref[1], 115895u);
}

TEST(DistortKernel, WalksAndReciprocalQuotientsMatchDivision) {
  // base + trunc(d k / m) stepped from any k0 (or from 0 through a reciprocal), and trunc(a / b)
  // through one, against the integer division, for growing and falling lines, short and long.
  std::mt19937 rng(3);
  for (int c = 0; c < 4000; ++c) {
    const int64_t range = int64_t(1) << (4 + c % 22);
    const int64_t base = int64_t(rng() % 100000) - 50000, d = int64_t(rng() % uint32_t(2 * range)) - range;
    const int64_t m = 1 + int64_t(rng() % uint32_t(c % 2 ? 16 : 5000)), k0 = int64_t(rng() % 300);
    distort::Walk from, zero;
    from.Init(base, d, m, k0, 1);
    zero.InitBy(base, d, m, 1.0 / double(m));
    for (int64_t k = 0; k < 40; ++k, from.Next(), zero.Next()) {
      ASSERT_EQ(from.Value(), base + d * (k0 + k) / m) << d << " " << m << " " << k0 + k;
      ASSERT_EQ(zero.Value(), base + d * k / m) << d << " " << m << " " << k;
    }
    const int64_t a = d * int64_t(rng() % 4096);
    ASSERT_EQ(distort::TruncBy(a, m, 1.0 / double(m)), a / m) << a << " " << m;
  }
}

TEST(DistortKernel, FetchRowSse2MatchesScalar) {
  std::mt19937 rng(5);
  std::vector<BYTE> px(4 * 40);
  for (BYTE& b : px) b = BYTE(rng());
  for (int size : {4, 2})
    for (int n = 0; n <= 37; ++n) {
      // Past the run the texels keep their marker.
      std::vector<distort::Texel> ref(40, distort::Texel{-1, -1, -1, -1}), fast = ref;
      distort::FetchRowScalar(px.data() + 3 * size, size, n, ref.data());
      distort::FetchRowSse2(px.data() + 3 * size, size, n, fast.data());
      EXPECT_EQ(std::memcmp(ref.data(), fast.data(), sizeof(distort::Texel) * ref.size()), 0) << size << " " << n;
      if (n < 1) continue;
      // Pixel 3 of the bytes, as blue, green, red, alpha; a mask pixel's high byte as alpha.
      const distort::Texel& t = fast[0];
      if (size == 4) {
        const distort::Texel want{px[12], px[13], px[14], px[15]};
        EXPECT_EQ(std::memcmp(&t, &want, sizeof t), 0);
      } else {
        const distort::Texel want{0, 0, 0, px[7]};
        EXPECT_EQ(std::memcmp(&t, &want, sizeof t), 0);
      }
    }
}

// Entries that give each weight a: mean t of 256 over cover a with opacity 128.
AccEntry EntryFor(uint32_t colourPx, uint64_t n, uint64_t w) {
  return AccEntry{(colourPx & 0xFF) * w, ((colourPx >> 8) & 0xFF) * w, ((colourPx >> 16) & 0xFF) * w, 256 * n, w, n};
}

TEST(DistortKernel, ComposeSse2MatchesScalarForEveryWeightAndLevel) {
  // For every mode and kind of source: every destination level against every weight, with
  // the other channels and the destination alpha varied alongside; and full weight beside
  // itself and beside others.
  std::mt19937 rng(5);
  std::vector<AccEntry> acc(256);
  std::vector<uint32_t> cover(256);
  for (int ps : {4, 2})
    for (int mode = 0; mode < 8; ++mode)
      for (bool colourSource : {true, false}) {
        distort::ComposeParams p{ps, mode, colourSource, uint32_t(rng()) & 0xFFFFFF, 128};
        for (uint32_t level = 0; level < 512; ++level) {
          for (uint32_t a = 0; a < 256; ++a) {
            acc[a] = EntryFor(uint32_t(rng()) & 0xFFFFFF, 1 + rng() % 100, 1 + rng() % 5000);
            cover[a] = level < 256 || a % 3 == 0 ? a : 256;
          }
          std::vector<BYTE> ref(256 * size_t(ps)), fast;
          for (uint32_t a = 0; a < 256; ++a) {
            const uint32_t l = level & 255;
            const uint32_t d = l | ((l ^ 0x5A) << 8) | ((255 - l) << 16) | (uint32_t(rng()) << 24);
            std::memcpy(ref.data() + a * size_t(ps), &d, size_t(ps));
          }
          fast = ref;
          distort::ComposeRowScalar(ref.data(), acc.data(), cover.data(), 256, p);
          distort::ComposeRowSse2(fast.data(), acc.data(), cover.data(), 256, p);
          ASSERT_EQ(ref, fast) << "mode " << mode << " colour " << colourSource << " ps " << ps << " level " << level;
        }
      }
}

TEST(DistortKernel, ComposeSse2MatchesScalarOnRandomSums) {
  std::mt19937_64 rng(9);
  std::vector<AccEntry> acc(301);
  std::vector<uint32_t> cover(301);
  for (int round = 0; round < 400; ++round) {
    for (size_t k = 0; k < acc.size(); ++k) {
      const uint64_t n = rng() % 4 == 0 ? 0 : 1 + rng() % 1000000;
      const uint64_t w = rng() % 5 == 0 ? 0 : 1 + rng() % (144 * (n + 1));
      acc[k] = AccEntry{(rng() % 256) * w, (rng() % 256) * w, (rng() % 256) * w, n * (rng() % 2300), w, n};
      cover[k] = uint32_t(rng() % 1000);
    }
    const int ps = round % 2 ? 4 : 2;
    distort::ComposeParams p{ps, round % 8, (round / 8) % 2 == 0, uint32_t(rng()) & 0xFFFFFF,
                             uint32_t(rng() % 129)};
    std::vector<BYTE> ref(acc.size() * size_t(ps));
    for (BYTE& b : ref) b = BYTE(rng());
    std::vector<BYTE> fast = ref;
    const int n = int(1 + rng() % acc.size());
    distort::ComposeRowScalar(ref.data(), acc.data(), cover.data(), n, p);
    distort::ComposeRowSse2(fast.data(), acc.data(), cover.data(), n, p);
    ASSERT_EQ(ref, fast) << "round " << round;
  }
}

TEST(PreviewKernel, SampleSse2MatchesScalar) {
  std::mt19937 rng(3);
  for (int ps : {4, 2}) {
    const int w = 37, h = 23;
    std::vector<BYTE> pixels(size_t(w + 5) * h * size_t(ps));
    for (BYTE& b : pixels) b = BYTE(rng());
    const preview::Source src{pixels.data(), size_t(w + 5) * size_t(ps), w, h, ps, 0x123456};
    std::vector<uint32_t> ref(700), fast(700);
    for (int round = 0; round < 3000; ++round) {
      // Spans reaching past the row on either side, source points past the source, both
      // directions, steep and flat.
      const int32_t x0 = int32_t(rng() % 900) - 200, x1 = x0 + 1 + int32_t(rng() % (round % 3 ? 300 : 40000));
      const preview::Span sp{x0,
                             x1,
                             int32_t(rng() % 60) - 10,
                             int32_t(rng() % 40) - 8,
                             int32_t(rng() % 60) - 10,
                             int32_t(rng() % 40) - 8};
      const int32_t xa = std::max(x0, 0), xb = std::min(x1, 700);
      if (xa >= xb) continue;
      std::fill(ref.begin(), ref.end(), 0xDEADBEEF);
      std::fill(fast.begin(), fast.end(), 0xDEADBEEF);
      preview::SampleRowScalar(ref.data(), xa, xb, sp, src);
      preview::SampleRowSse2(fast.data(), xa, xb, sp, src);
      ASSERT_EQ(ref, fast) << "round " << round;
    }
  }
}

TEST(PreviewKernel, CompositeSse2MatchesScalarForEveryWeightAndLevel) {
  std::mt19937 rng(8);
  std::vector<uint32_t> back(256), prev(256), ref(256), fast(256);
  for (int mode = 0; mode < 16; ++mode)
    for (uint32_t opacity : {128u, 77u, 0u}) {
      const uint32_t word = (uint32_t(rng()) & 0xFFFFFF) | opacity << 24;
      for (uint32_t level = 0; level < 256; ++level) {
        for (uint32_t a = 0; a < 256; ++a) {
          back[a] = level | ((level ^ 0xA5) << 8) | ((255 - level) << 16) | (uint32_t(rng()) << 24);
          prev[a] = (uint32_t(rng()) & 0xFFFFFF) | a << 24;
        }
        // Uneven counts exercise the tail.
        const int n = 256 - int(level % 4);
        preview::CompositeRowScalar(ref.data(), back.data(), prev.data(), n, mode, word);
        preview::CompositeRowSse2(fast.data(), back.data(), prev.data(), n, mode, word);
        ASSERT_TRUE(std::equal(ref.begin(), ref.begin() + n, fast.begin())) << "mode " << mode << " level " << level;
      }
    }
}

TEST(PreviewKernel, CompositeFollowsTheModes) {
  // One pixel: back buffer B, preview P with alpha 255 at full opacity (a = 255).
  struct Case {
    int mode;
    uint32_t b, s, want;
  };
  const uint32_t B = 0x80402010, S = 0x00C08040;  // blue 0x10 / 0x40, green 0x20 / 0x80, red 0x40 / 0xC0
  auto mix = [](uint32_t x, uint32_t b) { return (x * 255 + b * 1) / 256; };
  auto expect = [&](auto f) {
    uint32_t o = B & 0xFF000000u;
    for (int sh = 0; sh < 24; sh += 8) o |= mix(f((S >> sh) & 255, (B >> sh) & 255), (B >> sh) & 255) << sh;
    return o;
  };
  const Case cases[] = {
      {8, B, S, expect([](uint32_t s, uint32_t) { return s; })},
      {9, B, S, expect([](uint32_t s, uint32_t b) { return b + s * (256 - b) / 256; })},
      {10, B, S, expect([](uint32_t s, uint32_t b) { return (s + 1) * b / 256; })},
      {11, B, S, expect([](uint32_t s, uint32_t b) { return std::min(255u, s + b); })},
      {13, B, S, expect([](uint32_t s, uint32_t b) { return std::max(s, b); })},
      {14, B, S, expect([](uint32_t s, uint32_t b) { return std::min(s, b); })},
      {15, B, S, expect([](uint32_t s, uint32_t b) { return s ^ b; })},
  };
  for (const Case& c : cases) {
    const uint32_t back = c.b, prev = c.s | 0xFF000000u;
    uint32_t out = 0;
    preview::CompositeRowSse2(&out, &back, &prev, 1, c.mode, 0x80000000u);
    EXPECT_EQ(out, c.want) << "mode " << c.mode;
  }
  // A mask source's add and subtract weigh the layer colour themselves, unmixed.
  const uint32_t back = 0xFF808080, prev = 0xFF000000;
  uint32_t out = 0;
  preview::CompositeRowSse2(&out, &back, &prev, 1, 3, 0x80000040u);
  EXPECT_EQ(out, 0xFF8080BFu);  // blue 0x80 + 0x40 * 255 / 256
  preview::CompositeRowSse2(&out, &back, &prev, 1, 4, 0x80000040u);
  EXPECT_EQ(out, 0xFF000000u);  // blue 0x80 + (0x40 * 255 + 255) / 256 - 255 < 0, the others too
}

}  // namespace
