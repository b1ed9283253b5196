// Blending one coverage row of the outline and shape tools into a layer row, in the nine
// fill modes. Coverage k counts the covered sub-samples of an 8 x 8 grid (0..64); a pixel of
// coverage 0 is left as it is in every mode. The scalar functions are the definition; the
// SSE2 ones are what the tools run and give the same bits.
#pragma once
#include <cstdint>

namespace fill {

// The fill modes, in the order of the option list.
enum FillMode : int {
  myERASE = 0,     // "掏空": the alpha goes
  myFILL = 1,      // "填充": the colour over the pixel
  myLIGHTEN = 2,   // "光栅>明": screen
  myDARKEN = 3,    // "光栅>暗": multiply
  myADD = 4,       // "光栅>光": add
  mySUBTRACT = 5,  // "光栅>影": add minus 255
  myMAX = 6,       // "光栅>透明": the larger channel
  myMIN = 7,       // "光栅>透暗": the smaller channel
  myXOR = 8,       // "光栅>反": exclusive or
  myMODE_COUNT = 9
};
extern const char16_t* const kFillModeLabels[myMODE_COUNT];

// What a fill does to a mask layer (16-bit coverage, alpha in the high byte).
enum MaskOp : int { myMASK_ERASE = 0, myMASK_FILL = 1, myMASK_MAX = 2 };

// Colour layer pixels 0xAARRGGBB. colour is 0xAARRGGBB with the fill's alpha (the opacity)
// in the top byte. The weight of a pixel in modes 1..8 is E = ((a * 256 + r) * k) >> 14, r
// the colour's red byte. Raster modes (2..8) keep the pixel's alpha.
void BlendRowC32Scalar(uint32_t* px, const uint16_t* cov, int n, uint32_t colour, int mode);
void BlendRowC32Sse2(uint32_t* px, const uint16_t* cov, int n, uint32_t colour, int mode);
// Mask layer pixels; alpha is the fill's alpha byte. The low byte of a changed pixel is 0.
void BlendRowA16Scalar(uint16_t* px, const uint16_t* cov, int n, uint32_t alpha, int op);
void BlendRowA16Sse2(uint16_t* px, const uint16_t* cov, int n, uint32_t alpha, int op);

}  // namespace fill
