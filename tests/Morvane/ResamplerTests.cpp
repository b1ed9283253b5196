// The resampler and the output copy: the mapping's fixed points (1:1, the 2 x 2 average,
// quarter turns, the flip), the bounds of every sample under the renderer's tile map, and
// the SSE2 versions against the scalar reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Resampler.h"
#include "ViewMath.h"
#include "ViewRenderer.h"

namespace {

class ResamplerTest : public ::testing::Test {
 protected:
  ResamplerTest() { Fill(255); }

  // Accumulator lanes random in 0..maxLane.
  void Fill(int maxLane) {
    std::uniform_int_distribution<int> lane(0, maxLane);
    for (auto& row : work->acc)
      for (auto& px : row)
        for (uint16_t& l : px) l = uint16_t(lane(rng));
  }
  const uint16_t* Acc(int c, int r) const { return work->acc[r][c]; }

  // Runs every version; the SSE2 one (and the AVX2 one for rotated views, where the
  // processor has it) must match the reference on the tile.
  void Resample(const ResampleParams& p) {
    ResampleTileScalar(p, work.get(), scalar.get());
    ResampleTileSse2(p, work.get(), simd.get());
    ExpectSame(p, "SSE2");
    if (p.sinQ14 != 0 && ResamplerHasAvx2()) {
      ResampleRotatedAvx2(p, work.get(), simd.get());
      ExpectSame(p, "AVX2");
    }
  }
  void ExpectSame(const ResampleParams& p, const char* version) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        for (int l = 0; l < 4; ++l)
          ASSERT_EQ(scalar->px[y][x][l], simd->px[y][x][l])
              << version << " pixel " << x << "," << y << " cos " << p.cosQ14 << " sin " << p.sinQ14 << " step "
              << p.step << " flip " << p.flip << " anchor " << p.ax << "," << p.ay;
  }
  void ExpectPixel(int x, int y, const uint16_t* want) const {
    for (int l = 0; l < 4; ++l) ASSERT_EQ(scalar->px[y][x][l], want[l]) << "pixel " << x << "," << y;
  }

  static ResampleParams Params(int cosQ14, int sinQ14, int step, bool flip, int ax, int ay, int w = 128,
                               int h = 128) {
    return ResampleParams{int16_t(cosQ14), int16_t(sinQ14), int16_t(step), flip, ax, ay, w, h};
  }

  std::mt19937 rng{12345};
  std::unique_ptr<ComposeWork> work{new ComposeWork()};
  std::unique_ptr<TileRows> scalar{new TileRows()};
  std::unique_ptr<TileRows> simd{new TileRows()};
};

// Zoom 1, angle 0, the anchor on the corner of pixel (64, 64): each pixel is its accumulator
// pixel, unflipped and flipped (where pixel x reads column 263 - x).
TEST_F(ResamplerTest, ZoomOneCopiesExactly) {
  Resample(Params(16384, 0, 2048, false, 64 * 32, 64 * 32));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) ExpectPixel(x, y, Acc(136 + x, 136 + y));
  Resample(Params(16384, 0, 2048, true, 64 * 32, 64 * 32));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) ExpectPixel(x, y, Acc(263 - x, 136 + y));
}

// The anchor on the centre of pixel (64, 64) (a view centre on a half pixel): the pixel there
// averages accumulator pixels 199 and 200 in each direction, two sub-samples each, since the
// offsets -14..-2 fall on -1 and 2..14 on 0; every other pixel likewise its 2 x 2 block.
TEST_F(ResamplerTest, AnchorOnPixelCentreAveragesTwoByTwo) {
  Resample(Params(16384, 0, 2048, false, 64 * 32 + 16, 64 * 32 + 16));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const int c = 136 + x, r = 136 + y;
      uint16_t want[4];
      for (int l = 0; l < 4; ++l)
        want[l] = uint16_t((Acc(c - 1, r - 1)[l] + Acc(c, r - 1)[l] + Acc(c - 1, r)[l] + Acc(c, r)[l]) >> 2);
      ExpectPixel(x, y, want);
    }
}

// Quarter and half turns with the Q14 values of 90 and 180 degrees are exact permutations.
TEST_F(ResamplerTest, QuarterAndHalfTurns) {
  const int c90 = int16_t(std::trunc(std::cos(1.5707964f) * 16384.5));
  const int s90 = int16_t(std::trunc(std::sin(1.5707964f) * 16384.5));
  ASSERT_EQ(c90, 0);
  ASSERT_EQ(s90, 16384);
  Resample(Params(c90, s90, 2048, false, 64 * 32, 64 * 32));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) ExpectPixel(x, y, Acc(136 + y, 263 - x));

  const int c180 = int16_t(std::trunc(std::cos(3.1415927f) * 16384.5));
  const int s180 = int16_t(std::trunc(std::sin(3.1415927f) * 16384.5));
  ASSERT_EQ(c180, -16384);
  ASSERT_EQ(s180, 0);
  Resample(Params(c180, s180, 2048, false, 64 * 32, 64 * 32));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) ExpectPixel(x, y, Acc(263 - x, 263 - y));
}

// The flip mirrors the tile: flipped with anchor ax equals unflipped with anchor 32 w - ax,
// read right to left, at any angle and zoom.
TEST_F(ResamplerTest, FlipMirrorsTheTile) {
  struct Case {
    int cosQ14, sinQ14, step, ax, ay, w;
  };
  const Case cases[] = {{16384, 0, 2048, 2048, 2048, 128},  {15825, 4240, 2048, 2051, 2040, 128},
                        {-8192, 14189, 3000, 1000, 2100, 60}, {11585, -11585, 700, 900, 2200, 68},
                        {16384, 0, 1024, 1040, 2064, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "cos " << c.cosQ14 << " step " << c.step);
    Resample(Params(c.cosQ14, c.sinQ14, c.step, false, 32 * c.w - c.ax, c.ay, c.w));
    std::unique_ptr<TileRows> plain(new TileRows(*scalar));
    Resample(Params(c.cosQ14, c.sinQ14, c.step, true, c.ax, c.ay, c.w));
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < c.w; ++x) ExpectPixel(x, y, plain->px[y][c.w - 1 - x]);
  }
}

// Random views of random tiles, accumulator lanes of 0..255 and of any 16-bit value (the
// sums then wrap, in both versions alike).
TEST_F(ResamplerTest, Sse2MatchesScalar) {
  std::uniform_real_distribution<double> angle(0, 6.2832);
  std::uniform_int_distribution<int> side(1, 32), stepDist(100, 3891), coin(0, 1), jitter(-200, 200);
  for (int maxLane : {255, 65535}) {
    Fill(maxLane);
    for (int i = 0; i < 40; ++i) {
      const double a = (i % 4 == 0) ? (i % 8) * 1.5707963 : angle(rng);  // some axis-aligned
      const int w = 4 * side(rng), h = 4 * side(rng);
      const int step = (i % 5 == 0) ? 2048 : stepDist(rng);
      // An anchor near the tile centre, as the tile map makes it.
      const int ax = 16 * w + jitter(rng) * 2048 / step / 4, ay = 16 * h + jitter(rng) * 2048 / step / 4;
      ResampleParams p = Params(int16_t(std::trunc(std::cos(a) * 16384.5)), int16_t(std::trunc(std::sin(a) * 16384.5)),
                                step, coin(rng) != 0, (i % 3 == 0) ? ax & ~31 : ax, ay, w, h);
      Resample(p);
    }
  }
}

// Every sample of every tile the renderer maps reads the accumulator inside 0..399 and inside
// the span the tile map gave the compositor for that row, for the whole zoom range (at the
// edges of each mip level too), any angle, either flip and tiles anywhere in the view.
TEST(ResamplerBounds, EverySampleInsideTheComposedFootprint) {
  std::unique_ptr<ComposeWork> work(new ComposeWork());
  std::vector<float> zooms = {16.0f, 5.3f, 2.0f, 1.0f, 0.7f, 0.0039f, 0.01f};
  for (int mip = 0; mip < 8; ++mip) {  // just above and below each level's threshold
    const float t = 1.0f / (0.95f * float(2 << mip));
    zooms.push_back(t * 1.0005f);
    zooms.push_back(t * 0.9995f);
  }
  const struct {
    int left, top, w, h;
  } tiles[] = {{0, 0, 128, 128}, {1152, 896, 128, 128}, {1916, 1076, 4, 4}, {640, 384, 68, 60}};
  int checked = 0;
  for (float zoom : zooms)
    for (int ai = 0; ai < 13; ++ai)
      for (int flip = 0; flip < 2; ++flip) {
        ViewTransform v{};
        v.flags = uint32_t(flip);
        v.clientWidth = 1920;
        v.clientHeight = 1080;
        v.centreX = 1234.5f + float(ai) * 0.37f;
        v.centreY = 777.25f;
        v.angle = float(ai) * 6.2832f / 12.0f + (ai % 3) * 0.001f;
        const float s = InverseScale(zoom);
        const int mip = MipLevelFor(s);
        ViewPass pass;
        pass.cosQ14 = int16_t(std::trunc(std::cos(double(v.angle)) * 16384.5));
        pass.sinQ14 = int16_t(std::trunc(std::sin(double(v.angle)) * 16384.5));
        pass.step = int16_t(std::trunc(double(s) * double(0x10000 >> mip) / 32.0));
        pass.flip = flip != 0;
        pass.centreX = std::ldexp(double(v.centreX), -mip);
        pass.centreY = std::ldexp(double(v.centreY), -mip);
        pass.clientWidth = v.clientWidth;
        pass.clientHeight = v.clientHeight;
        ASSERT_LT(pass.step, 3892) << "zoom " << zoom;
        for (const auto& t : tiles) {
          ResampleParams p{};
          MapTile(pass, t.left, t.top, t.w, t.h, &p, work.get());
          // The map is affine up to floors, so the extremes lie on the tile's border; check
          // the border fully and the inside on a lattice.
          for (int y = 0; y < t.h; ++y)
            for (int x = 0; x < t.w; ++x) {
              const bool lattice = y == 0 || y == t.h - 1 || (y % 9 == 0 && x % 3 == 0);
              if (!lattice && x != 0 && x != t.w - 1) continue;
              for (int k = 0; k < 8; ++k) {
                int c = 0, r = 0;
                ResampleSample(p, x, y, k, &c, &r);
                ASSERT_TRUE(c >= 0 && c < ACC_SIDE && r >= 0 && r < ACC_SIDE)
                    << "zoom " << zoom << " angle " << v.angle << " flip " << flip << " sample " << c << "," << r;
                ASSERT_TRUE(r >= work->firstRow && r < work->endRow && c >= work->spans[r].start &&
                            c < work->spans[r].end)
                    << "zoom " << zoom << " angle " << v.angle << " flip " << flip << " sample " << c << "," << r
                    << " span " << work->spans[r].start << ".." << work->spans[r].end;
                ++checked;
              }
            }
        }
      }
  EXPECT_GT(checked, 1000000);
}

// The spans are no wider than the samples reach: at zoom 1 and 2 without rotation, with the
// view centre on a pixel corner or on a pixel centre, either flip, the first and end row
// and every row's first and end column are exactly those some sample reads, so nothing is
// composed that the resampler never reads.
TEST(ResamplerBounds, SpansAreExactlyTheSamplesReachWhenAxisAligned) {
  std::unique_ptr<ComposeWork> work(new ComposeWork());
  for (int step : {2048, 1024})
    for (double centre : {1024.0, 1024.5})
      for (bool flip : {false, true})
        for (int left : {0, 896}) {
          ViewPass pass;
          pass.step = int16_t(step);
          pass.flip = flip;
          pass.centreX = centre;
          pass.centreY = centre + 3;
          pass.clientWidth = 1920;
          pass.clientHeight = 1080;
          ResampleParams p{};
          MapTile(pass, left, 256, 128, 128, &p, work.get());
          int rowLo = ACC_SIDE, rowHi = -1;
          std::vector<int> colLo(ACC_SIDE, ACC_SIDE), colHi(ACC_SIDE, -1);
          for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
              for (int k = 0; k < 8; ++k) {
                int c = 0, r = 0;
                ResampleSample(p, x, y, k, &c, &r);
                rowLo = std::min(rowLo, r);
                rowHi = std::max(rowHi, r);
                colLo[size_t(r)] = std::min(colLo[size_t(r)], c);
                colHi[size_t(r)] = std::max(colHi[size_t(r)], c);
              }
          const std::string what = "step " + std::to_string(step) + " centre " + std::to_string(centre) +
                                   " flip " + std::to_string(flip) + " left " + std::to_string(left);
          ASSERT_EQ(work->firstRow, rowLo) << what;
          ASSERT_EQ(work->endRow, rowHi + 1) << what;
          for (int r = rowLo; r <= rowHi; ++r) {
            ASSERT_EQ(work->spans[r].start, colLo[size_t(r)]) << what << " row " << r;
            ASSERT_EQ(work->spans[r].end, colHi[size_t(r)] + 1) << what << " row " << r;
          }
          if (step == 2048 && centre == 1024.0) {  // the tile itself, one pixel for one
            EXPECT_EQ(rowHi + 1 - rowLo, 128) << what;
            EXPECT_EQ(colHi[size_t(rowLo)] + 1 - colLo[size_t(rowLo)], 128) << what;
          }
        }
}

// CopyTile: rows land bottom-up at their column, packed with saturation, nothing else of the
// buffer changes; SSE2 and scalar alike.
TEST(CopyTile, WidthsSaturationAndBottomUpRows) {
  constexpr int kW = 256, kH = 200, kPitch = kW * 4;
  std::unique_ptr<TileRows> rows(new TileRows());
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> lane(0, 255);
  const uint16_t extremes[] = {0, 255, 256, 1000, 0x7FFF, 0x8000, 0xFFFF};
  for (int j = 0; j < 128; ++j)
    for (int x = 0; x < 128; ++x)
      for (int l = 0; l < 4; ++l)
        rows->px[j][x][l] = (j % 3 == 0) ? extremes[(x + l) % 7] : uint16_t(lane(rng));
  auto pack = [](uint16_t v) -> uint8_t { return v >= 0x8000 ? 0 : v > 255 ? 255 : uint8_t(v); };
  ASSERT_EQ(pack(256), 255);
  ASSERT_EQ(pack(0xFFFF), 0);

  const struct {
    int width, height, left, top;
  } cases[] = {{4, 4, 0, 0}, {60, 128, 8, 72}, {64, 17 * 4, 192, 0}, {68, 36, 100, 164}, {128, 128, 128, 72}};
  for (const auto& c : cases)
    for (int useSimd = 0; useSimd < 2; ++useSimd) {
      SCOPED_TRACE(::testing::Message() << "width " << c.width << " simd " << useSimd);
      alignas(16) static uint8_t buf[kH * kPitch];
      std::memset(buf, 0xA5, sizeof buf);
      const int rowBase = kH - c.top - 128;
      if (useSimd)
        CopyTileSse2(rows.get(), c.width, c.height, c.left, rowBase, kPitch, buf);
      else
        CopyTileScalar(rows.get(), c.width, c.height, c.left, rowBase, kPitch, buf);
      for (int by = 0; by < kH; ++by)
        for (int bx = 0; bx < kW; ++bx) {
          const int j = kH - 1 - by - c.top, x = bx - c.left;  // the tile pixel stored here
          const bool inside = j >= 0 && j < c.height && x >= 0 && x < c.width;
          for (int l = 0; l < 4; ++l) {
            const uint8_t want = inside ? pack(rows->px[j][x][l]) : 0xA5;
            ASSERT_EQ(buf[by * kPitch + bx * 4 + l], want) << "buffer pixel " << bx << "," << by;
          }
        }
    }
}

}  // namespace
