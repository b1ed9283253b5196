#include <gtest/gtest.h>

#include <cstdlib>

#include "core/Hsv.h"

namespace {

int Channel(COLORREF c, int shift) { return int((c >> shift) & 0xFF); }

TEST(Hsv, EveryColourComesBackWithinOneStep) {
  int worst = 0;
  COLORREF worstAt = 0;
  for (COLORREF c = 0; c < 0x1000000; ++c) {
    int h, s, v;
    RgbToHsv(c, &h, &s, &v);
    ASSERT_TRUE(h >= 0 && h < HSV_HUES && s >= 0 && s <= HSV_MAX && v >= 0 && v <= HSV_MAX) << std::hex << c;
    const COLORREF back = HsvToRgb(h, s, v);
    ASSERT_EQ(back & ~0xFFFFFFu, 0u) << std::hex << c;
    for (int shift : {0, 8, 16}) {
      const int d = std::abs(Channel(c, shift) - Channel(back, shift));
      if (d > worst) worst = d, worstAt = c;
    }
  }
  EXPECT_LE(worst, 1) << "at 0x" << std::hex << worstAt;
}

TEST(Hsv, ColoursOfEachOrderOfTheChannels) {
  const struct {
    COLORREF rgb;
    int h, s, v;
  } cases[] = {
      {0xFF0000, 512, 256, 256},  // red
      {0x808080, 0, 0, 128},      // greys have neither hue nor saturation
      {0x000000, 0, 0, 0},
      {0xFFFFFF, 0, 0, 256},
      {0xFFFF00, 768, 256, 256},  // yellow
      {0x00FF00, 1024, 256, 256},
      {0x00FFFF, 1280, 256, 256},
      {0x0000FF, 1535, 256, 256},  // blue ends the circle
      {0xFF00FF, 256, 256, 256},
      {0x802020, 512, 192, 128},   // B = G < R
      {0x804020, 597, 192, 128},   // B < G < R
      {0x6020A0, 127, 204, 160},   // G < R < B
      {0xA02060, 383, 204, 160},   // G < B < R
      {0x60A020, 895, 204, 160},   // B < R < G
      {0x20A060, 1151, 204, 160},  // R < B < G
      {0x2060A0, 1407, 204, 160},  // R < G < B
  };
  for (const auto& c : cases) {
    int h = -1, s = -1, v = -1;
    RgbToHsv(c.rgb, &h, &s, &v);
    EXPECT_EQ(h, c.h) << std::hex << c.rgb;
    EXPECT_EQ(s, c.s) << std::hex << c.rgb;
    EXPECT_EQ(v, c.v) << std::hex << c.rgb;
    EXPECT_EQ(RgbToHsv(c.rgb), MakeHsv(c.h, c.s, c.v)) << std::hex << c.rgb;
  }
}

TEST(Hsv, HsvToRgbThroughTheRing) {
  EXPECT_EQ(HsvToRgb(512, 256, 256), 0xFF0000u);
  EXPECT_EQ(HsvToRgb(0, 256, 256), 0x0000FFu);
  EXPECT_EQ(HsvToRgb(1024, 256, 128), 0x007F00u);  // 255 x 128 / 256
  for (int hue : {0, 300, 777, 1535}) {
    EXPECT_EQ(HsvToRgb(hue, 0, 256), 0xFFFFFFu) << hue;  // no saturation: white whatever the hue
    EXPECT_EQ(HsvToRgb(hue, 256, 0), 0x000000u) << hue;
    // The packed form says the same; hues go round the circle; levels above full are full.
    EXPECT_EQ(HsvToRgb(MakeHsv(hue, 100, 200)), HsvToRgb(hue, 100, 200)) << hue;
    EXPECT_EQ(HsvToRgb(hue + HSV_HUES, 100, 200), HsvToRgb(hue, 100, 200)) << hue;
    EXPECT_EQ(HsvToRgb(hue - 2 * HSV_HUES, 100, 200), HsvToRgb(hue, 100, 200)) << hue;
    EXPECT_EQ(HsvToRgb(hue, 400, 511), HsvToRgb(hue, 256, 256)) << hue;
    EXPECT_EQ(HsvToRgb(hue, -5, 100), HsvToRgb(hue, 0, 100)) << hue;
  }
  // The packed fields.
  const HSVCOLOR c = MakeHsv(1535, 256, 255);
  EXPECT_EQ(c, (1535u << 18) | (256u << 9) | 255u);
  EXPECT_EQ(HsvHue(c), 1535);
  EXPECT_EQ(HsvSat(c), 256);
  EXPECT_EQ(HsvVal(c), 255);
  EXPECT_EQ(NormalizeHsv(c), c);
  EXPECT_EQ(NormalizeHsv(MakeHsv(1600, 300, 511)), MakeHsv(64, 256, 256));
}

TEST(Hsv, TheRingRunsThroughSixSectors) {
  const HueLevels* ring = HueRing();
  auto rgb = [&](int i) {
    const HueLevels& e = ring[i];
    return COLORREF(e.c0) << 16 | COLORREF(e.c1) << 8 | e.c2;
  };
  // Each sector starts at a pure hue; one channel moves through it, up or down, while the
  // others stay at 0 and 255.
  const struct {
    COLORREF start;
    int channel;  // shift of the moving one
    bool rising;
  } sectors[] = {
      {0x0000FF, 16, true},   // blue, red rises to magenta
      {0xFF00FF, 0, false},   // magenta, blue falls to red
      {0xFF0000, 8, true},    // red, green rises to yellow
      {0xFFFF00, 16, false},  // yellow, red falls to green
      {0x00FF00, 0, true},    // green, blue rises to cyan
      {0x00FFFF, 8, false},   // cyan, green falls to blue
  };
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(rgb(256 * k), sectors[k].start);
    const COLORREF next = sectors[(k + 1) % 6].start;
    EXPECT_EQ(rgb(256 * k + 255), next) << "the sector reaches the next pure hue";
    for (int i = 1; i < 256; ++i) {
      const COLORREF a = rgb(256 * k + i - 1), b = rgb(256 * k + i);
      const int moved = sectors[k].channel;
      for (int shift : {0, 8, 16}) {
        if (shift != moved) {
          EXPECT_EQ(Channel(b, shift), Channel(sectors[k].start, shift)) << i;
          continue;
        }
        const int step = Channel(b, shift) - Channel(a, shift);
        EXPECT_TRUE(sectors[k].rising ? step >= 0 && step <= 2 : step == -1) << i << " step " << step;
      }
    }
  }
  // Every hue the conversion gives for a fully saturated colour names the ring entry of that
  // colour, within the one step.
  for (int i = 0; i < 256; ++i) {
    for (COLORREF c : {COLORREF(0xFF0000 | i << 8), COLORREF(0x00FF00 | i << 16), COLORREF(0x0000FF | i << 8)}) {
      const int h = HsvHue(RgbToHsv(c));
      for (int shift : {0, 8, 16}) EXPECT_LE(std::abs(Channel(rgb(h), shift) - Channel(c, shift)), 1) << std::hex << c;
    }
  }
}

}  // namespace
