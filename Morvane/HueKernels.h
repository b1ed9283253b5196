// Hue and saturation of colour pixels (blue low, alpha high), one row at a time.
//
// A pixel with max and min of its red, green and blue has the lightness L = max + min, the
// saturation S = 510 (max - min) / L below L = 255, else 510 (max - min) / (510 - L), and the
// hue h in 0..1535: the sector of the hue ring its channel order falls in, times 256, plus
// 255 x (the middle channel's distance from the sector's start) / (max - min). The new
// saturation S' = ((s + 256) S) >> 8 for s < 0, else S + (((510 - S) s) >> 8); a grey pixel
// keeps S' = 0: it has no hue, and saturating it would paint it in whatever colour index 0
// of the ring happens to be. Each channel takes the ring entry k = (shift + 1536 + h) mod 1536:
// X = S' v / 510 + 128, then L X / 254 for L <= 254, else X + (255 - X)(L - 255) / 255.
// Alpha is kept.
//
// Every division truncates toward zero, also for negative operands (C++ '/', never floor
// or an arithmetic shift): a ring component below zero then moves X exactly as far from
// 128 as its mirror above zero, so a weak saturation leaves the three channels level
// instead of tinting them toward the opposite hue, and BRIGHT -n turns the hue by exactly
// as much as BRIGHT n.
//
// The scalar function is the definition; the SSE2 one gives the same bits and is what the
// filter runs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hue {

constexpr int kRingSize = 1536;

// One ring entry: red, green and blue in -128..127, padded to 8 bytes so that one load
// fetches an entry.
struct RingEntry {
  int16_t r, g, b, pad;
};

// Fills the ring: six runs of 256 entries from blue through magenta, red, yellow, green
// and cyan back toward blue.
void BuildRing(RingEntry ring[kRingSize]);

struct Params {
  const RingEntry* ring;
  int32_t shift;  // BRIGHT x 766 / 100
  int32_t s;      // SATURATE x 256 / 100
};

uint32_t Pixel(uint32_t p, const Params& params);
void RowScalar(uint32_t* dest, const uint32_t* src, size_t n, const Params& params);
void RowSse2(uint32_t* dest, const uint32_t* src, size_t n, const Params& params);

}  // namespace hue
