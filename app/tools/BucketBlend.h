// The paint bucket's blend of one coverage row into a layer row. Coverage k counts the
// covered sub-samples of a 16 x 16 grid (0..256); a pixel of coverage 0 is left as it is.
#pragma once
#include <cstdint>

namespace bucket {

// Colour layer pixels 0xAARRGGBB; colour 0xAARRGGBB. With q = (k a) >> 8 the new alpha is
// (((pa + 1)(255 - q)) >> 8) + q and the colour's weight w = q 256 / (alpha + 1), plus w >> 7,
// so that full coverage of an opaque colour gives the colour itself.
void BlendRowC32(uint32_t* px, const uint16_t* cov, int n, uint32_t colour);
// Mask layer pixels: the high byte h becomes (((h + 1)(255 - q)) >> 8) + q with
// q = (k 255) >> 8; the low byte becomes 0.
void BlendRowA16(uint16_t* px, const uint16_t* cov, int n);

}  // namespace bucket
