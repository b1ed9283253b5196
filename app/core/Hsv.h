// Packed HSV colours and their conversions to and from 0x00RRGGBB.
//
// Hue runs 0..1535 around the circle in six sectors of 256 steps: 0 blue, 256 magenta,
// 512 red, 768 yellow, 1024 green, 1280 cyan. Saturation and value run 0..256. A packed
// HSVCOLOR holds the hue in bits 18..28, the saturation in bits 9..17 and the value in bits
// 0..8. The colour wheel, the colour picker, the colour bar and the tools speak it.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

using HSVCOLOR = uint32_t;

constexpr int HSV_HUES = 1536;
constexpr int HSV_MAX = 256;  // full saturation, full value

constexpr HSVCOLOR MakeHsv(int hue, int sat, int val) {
  return HSVCOLOR((uint32_t(hue) & 0x7FF) << 18 | (uint32_t(sat) & 0x1FF) << 9 | (uint32_t(val) & 0x1FF));
}
constexpr int HsvHue(HSVCOLOR c) { return int((c >> 18) & 0x7FF); }
constexpr int HsvSat(HSVCOLOR c) { return int((c >> 9) & 0x1FF); }
constexpr int HsvVal(HSVCOLOR c) { return int(c & 0x1FF); }
// The colour with its hue taken round the circle and its saturation and value cut to 256.
HSVCOLOR NormalizeHsv(HSVCOLOR c);

// One entry of the hue ring: the levels (0..255) of red, green and blue of a fully saturated
// hue.
struct HueLevels {
  uint16_t c0, c1, c2;
};

// The ring of the 1536 fully saturated hues, made once before first use.
const HueLevels* HueRing();

// Hue, saturation and value of a 0x00RRGGBB colour (integer arithmetic throughout; a grey
// has hue 0 and saturation 0).
void RgbToHsv(COLORREF rgb, int* hue, int* sat, int* val);
HSVCOLOR RgbToHsv(COLORREF rgb);
// The 0x00RRGGBB colour of hue, saturation and value through the hue ring. A hue outside
// 0..1535 is taken round the circle, saturation and value outside 0..256 are clamped.
// Taken there and back, every colour comes back within one step in each channel.
COLORREF HsvToRgb(int hue, int sat, int val);
COLORREF HsvToRgb(HSVCOLOR hsv);
