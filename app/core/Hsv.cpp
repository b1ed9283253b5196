#include "Hsv.h"

#include <algorithm>
#include <array>

namespace {

// Each sector holds one channel at 255, one at 0 and one moving: rising sectors count it up
// from 0, falling ones down from 255. RgbToHsv floors the hue's fraction, and the value and
// saturation are floored too, so the rising level leans one step up (ceil rather than floor
// of the fraction): that keeps every colour within one step after a round trip. Step 0
// stays 0 so the six pure hues come out pure.
constexpr std::array<HueLevels, HSV_HUES> MakeHueRing() {
  std::array<HueLevels, HSV_HUES> ring{};
  for (int i = 0; i < 256; ++i) {
    const uint16_t up = uint16_t(i == 0 ? 0 : std::min(i + 1, 255));
    const uint16_t down = uint16_t(255 - i);
    ring[size_t(i)] = {up, 0, 255};           // blue to magenta
    ring[size_t(256 + i)] = {255, 0, down};   // magenta to red
    ring[size_t(512 + i)] = {255, up, 0};     // red to yellow
    ring[size_t(768 + i)] = {down, 255, 0};   // yellow to green
    ring[size_t(1024 + i)] = {0, 255, up};    // green to cyan
    ring[size_t(1280 + i)] = {0, down, 255};  // cyan to blue
  }
  return ring;
}

constexpr std::array<HueLevels, HSV_HUES> kHueRing = MakeHueRing();

}  // namespace

const HueLevels* HueRing() { return kHueRing.data(); }

HSVCOLOR NormalizeHsv(HSVCOLOR c) {
  return MakeHsv(HsvHue(c) % HSV_HUES, std::min(HsvSat(c), HSV_MAX), std::min(HsvVal(c), HSV_MAX));
}

void RgbToHsv(COLORREF rgb, int* hue, int* sat, int* val) {
  const int r = int((rgb >> 16) & 0xFF), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
  const int max = std::max({r, g, b});
  int h = 0, s = 0;
  if (g < r) {
    if (g >= b) {
      h = 512 + 255 * (g - b) / (r - b);
      s = (r - b) * 256 / r;
    } else if (r < b) {
      h = 255 * (r - g) / (b - g);
      s = (b - g) * 256 / b;
    } else {
      h = 256 + 255 * (r - b) / (r - g);
      s = (r - g) * 256 / r;
    }
  } else if (b < g) {
    if (b < r) {
      h = 768 + 255 * (g - r) / (g - b);
      s = (g - b) * 256 / g;
    } else {
      h = 1024 + 255 * (b - r) / (g - r);
      s = (g - r) * 256 / g;
    }
  } else if (r < b) {
    h = 1280 + 255 * (b - g) / (b - r);
    s = (b - r) * 256 / b;
  }
  if (hue) *hue = h;
  if (sat) *sat = s;
  if (val) *val = max * 256 / 255;
}

HSVCOLOR RgbToHsv(COLORREF rgb) {
  int h, s, v;
  RgbToHsv(rgb, &h, &s, &v);
  return MakeHsv(h, s, v);
}

COLORREF HsvToRgb(int hue, int sat, int val) {
  hue %= HSV_HUES;
  if (hue < 0) hue += HSV_HUES;
  sat = std::clamp(sat, 0, HSV_MAX);
  val = std::clamp(val, 0, HSV_MAX);
  const HueLevels& c = kHueRing[size_t(hue)];
  // The grey floor every channel starts from; a channel at 255 reaches 65280 for any sat.
  const int k = 65280 - 255 * sat;
  auto level = [&](int ci) { return COLORREF(((sat * ci + k) * val) >> 16); };
  return level(c.c0) << 16 | level(c.c1) << 8 | level(c.c2);
}

COLORREF HsvToRgb(HSVCOLOR hsv) { return HsvToRgb(HsvHue(hsv), HsvSat(hsv), HsvVal(hsv)); }
