// The blend kernels of the fill modes: hand-worked pixels of every mode on both formats, the
// edges the modes promise (erasing to nothing, a full fill giving the colour itself, raster
// modes keeping alpha, coverage 0 touching nothing), and the SSE2 kernels bit for bit
// against the scalar definition on random rows of every length up to past a step.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tools/FillKernels.h"

namespace {

using namespace fill;

// Colour a = 200, R 0x40, G 0x80, B 0xC0 over the pixel alpha 128, R 0x20, G 0x60, B 0xA0 at
// coverage 40 of 64. E = ((200 * 256 + 0x40) * 40) >> 14 = 125.
constexpr uint32_t kColour = 0xC84080C0;
constexpr uint32_t kPixel = 0x802060A0;
constexpr uint16_t kCov = 40;

struct ColourCase {
  int mode;
  uint32_t want;
};
// Worked by hand from each mode's formula, e.g. "光栅>暗" blue: X = (160 * 193) >> 8 = 120,
// (160 * 131 + 125 * 120) >> 8 = 140 = 0x8C; "填充": q = (131 * 128) >> 8 = 65, A' = 190,
// wd = 16640 / 191 + 1 = 88, blue (160 * 88 + 192 * 168) >> 8 = 0xB5.
constexpr ColourCase kColourCases[] = {
    {myERASE, 0x422060A0},    {myFILL, 0xBE3575B5}, {myLIGHTEN, 0x803B87C3}, {myDARKEN, 0x8014488C},
    {myADD, 0x803F9ECE},      {mySUBTRACT, 0x80103181}, {myMAX, 0x802F6FAF}, {myMIN, 0x802060A0},
    {myXOR, 0x803F9E80},
};

using ColourKernel = void (*)(uint32_t*, const uint16_t*, int, uint32_t, int);
using MaskKernel = void (*)(uint16_t*, const uint16_t*, int, uint32_t, int);
const ColourKernel kColourKernels[] = {BlendRowC32Scalar, BlendRowC32Sse2};
const MaskKernel kMaskKernels[] = {BlendRowA16Scalar, BlendRowA16Sse2};

TEST(FillKernels, ColourModesGiveTheHandWorkedPixels) {
  for (ColourKernel kernel : kColourKernels)
    for (const ColourCase& c : kColourCases) {
      // Three pixels: uncovered, covered, uncovered; the neighbours stay.
      uint32_t row[3] = {kPixel, kPixel, kPixel};
      const uint16_t cov[3] = {0, kCov, 0};
      kernel(row, cov, 3, kColour, c.mode);
      EXPECT_EQ(row[1], c.want) << "mode " << c.mode;
      EXPECT_EQ(row[0], kPixel);
      EXPECT_EQ(row[2], kPixel);
    }
}

TEST(FillKernels, MaskOpsGiveTheHandWorkedPixels) {
  // v = 0x60 = 96, a = 200, k = 40. Erase: (40 * 201) >> 6 = 125, 96 - (125 * 96 >> 8) = 50.
  // Fill: e = 8000 >> 6 = 125, (96 * 131 >> 8) + 125 = 174. Max: 125. The low byte goes.
  const struct {
    int op;
    uint16_t want;
  } cases[] = {{myMASK_ERASE, 0x3200}, {myMASK_FILL, 0xAE00}, {myMASK_MAX, 0x7D00}};
  for (MaskKernel kernel : kMaskKernels)
    for (const auto& c : cases) {
      std::vector<uint16_t> row(11, 0x6012);
      std::vector<uint16_t> cov(11, 0);
      cov[9] = kCov;  // in the tail of the SSE2 kernel
      cov[2] = kCov;  // in its first step
      kernel(row.data(), cov.data(), 11, 200, c.op);
      for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(row[i], cov[i] ? c.want : 0x6012) << "op " << c.op << " at " << i;
    }
}

TEST(FillKernels, FullCoverageEdges) {
  const uint16_t full[1] = {64};
  for (ColourKernel kernel : kColourKernels) {
    // Erasing at full opacity leaves no alpha and the colour bytes as they were.
    uint32_t p = 0xFF123456;
    kernel(&p, full, 1, 0xFFFFFFFF, myERASE);
    EXPECT_EQ(p, 0x00123456u);
    // Filling an empty pixel at opacity 50 (alpha 127) gives alpha 127 and the colour itself,
    // white included.
    for (uint32_t rgb : {0xFFFFFFu, 0x336699u, 0x000000u}) {
      p = 0;
      kernel(&p, full, 1, 0x7F000000u | rgb, myFILL);
      EXPECT_EQ(p, 0x7F000000u | rgb);
    }
    // Filling an opaque pixel at full opacity gives the colour.
    p = 0xFF0000FF;
    kernel(&p, full, 1, 0xFFFFFFFF, myFILL);
    EXPECT_EQ(p, 0xFFFFFFFFu);
    // Raster modes never touch the alpha.
    for (int mode = myLIGHTEN; mode < myMODE_COUNT; ++mode) {
      p = 0x5A808080;
      kernel(&p, full, 1, 0xFF4080C0, mode);
      EXPECT_EQ(p >> 24, 0x5Au) << mode;
    }
  }
  for (MaskKernel kernel : kMaskKernels) {
    uint16_t v = 0xFFFF;
    kernel(&v, full, 1, 255, myMASK_ERASE);
    EXPECT_EQ(v, 0);
    v = 0;
    kernel(&v, full, 1, 255, myMASK_FILL);
    EXPECT_EQ(v, 0xFF00);
  }
}

TEST(FillKernels, Sse2MatchesTheScalarDefinitionBitForBit) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    const int n = round % 37;
    const int mode = round % myMODE_COUNT;
    const uint32_t colour = rng();
    std::vector<uint32_t> c32(size_t(n) + 1);
    std::vector<uint16_t> a16(size_t(n) + 1), cov(size_t(n) + 1);
    for (int i = 0; i < n; ++i) {
      c32[size_t(i)] = rng();
      a16[size_t(i)] = uint16_t(rng());
      // Many zeros and many full pixels, as along real edges.
      const uint32_t r = rng() % 4;
      cov[size_t(i)] = uint16_t(r == 0 ? 0 : r == 1 ? 64 : rng() % 65);
    }
    std::vector<uint32_t> c32b = c32;
    std::vector<uint16_t> a16b = a16;
    BlendRowC32Scalar(c32.data(), cov.data(), n, colour, mode);
    BlendRowC32Sse2(c32b.data(), cov.data(), n, colour, mode);
    ASSERT_EQ(c32, c32b) << "mode " << mode << " n " << n;
    const int op = mode % 3;
    BlendRowA16Scalar(a16.data(), cov.data(), n, colour >> 24, op);
    BlendRowA16Sse2(a16b.data(), cov.data(), n, colour >> 24, op);
    ASSERT_EQ(a16, a16b) << "op " << op << " n " << n;
  }
  // Every alpha, coverage and pixel alpha of "填充", where the division is.
  for (uint32_t a = 0; a < 256; a += 5)
    for (uint32_t pa = 0; pa < 256; pa += 3) {
      std::vector<uint32_t> row(65), rowb;
      std::vector<uint16_t> cov(65);
      for (uint32_t k = 0; k <= 64; ++k) {
        row[k] = (pa << 24) | (k * 0x030507u);
        cov[k] = uint16_t(k);
      }
      rowb = row;
      BlendRowC32Scalar(row.data(), cov.data(), 65, (a << 24) | 0xFF8040u, myFILL);
      BlendRowC32Sse2(rowb.data(), cov.data(), 65, (a << 24) | 0xFF8040u, myFILL);
      ASSERT_EQ(row, rowb) << "a " << a << " pa " << pa;
    }
}

}  // namespace
