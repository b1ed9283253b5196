// The format conversion: a new layer of the other format made from this one's pixels.
//
// From a colour layer (modes 0-4) a mask whose coverage is, per pixel, the brightness
// (R x 299 + G x 587 + B x 114) / 1000, the alpha, or the red, green or blue byte, widened to
// 16 bits by x 257. Brightness and the channels are weighted by the pixel's alpha, so a
// transparent pixel gives no coverage; the alpha needs no weighting. From a mask (mode 5) a
// colour layer in the mask's colour whose alpha is the coverage's high byte, so that
// Convert(5) followed by Convert(1) gives every high byte back: the layer list's undo relies
// on that round trip.
//
// A one-off per command, bound by memory: plain code.
#include <algorithm>

#include "Morvane.h"
#include "SharedPool.h"

namespace {

uint16_t CoverageOf(uint32_t pixel, int mode) {
  const uint32_t alpha = pixel >> 24;
  if (mode == 1) return uint16_t(alpha * 257);
  const uint32_t b = pixel & 0xFF, g = (pixel >> 8) & 0xFF, r = (pixel >> 16) & 0xFF;
  uint32_t c;
  switch (mode) {
    case 0:
      c = (r * 299 + g * 587 + b * 114) / 1000;
      break;
    case 2:
      c = r;
      break;
    case 3:
      c = g;
      break;
    default:
      c = b;
      break;
  }
  return uint16_t((c * alpha + 127) / 255 * 257);
}

// The rows of one conversion, which the shared pool converts in bands side by side.
struct ConvertRows {
  const LayerLock* from;
  const LayerLock* to;
  int mode;
  uint32_t colour;  // a mask's colour as a colour layer's pixel, alpha 0
};

constexpr int kBandRows = 64;

void ConvertBand(void* context, int index, int) {
  const ConvertRows& c = *static_cast<const ConvertRows*>(context);
  const int end = std::min(c.from->nHeight, (index + 1) * kBandRows);
  for (int j = index * kBandRows; j < end; ++j) {
    if (c.mode == 5) {
      const auto* v = reinterpret_cast<const uint16_t*>(c.from->Row(j));
      auto* p = reinterpret_cast<uint32_t*>(c.to->Row(j));
      for (int k = 0; k < c.from->nWidth; ++k) p[k] = (v[k] >> 8) ? c.colour | uint32_t(v[k] >> 8) << 24 : 0;
    } else {
      const auto* p = reinterpret_cast<const uint32_t*>(c.from->Row(j));
      auto* v = reinterpret_cast<uint16_t*>(c.to->Row(j));
      for (int k = 0; k < c.from->nWidth; ++k) v[k] = CoverageOf(p[k], c.mode);
    }
  }
}

}  // namespace

OLayer* Morvane::Convert(int mode) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(UINT(mode) <= 5, u"!(UINT)nMode<=5");
    if (mode == 5) {
      GVERIFY(m_nFormat == myFORMAT_A16, u"!m_nFormat==myFORMAT_A16");
    } else {
      GVERIFY(m_nFormat == myFORMAT_C32, u"!m_nFormat==myFORMAT_C32");
    }
    OLayer* out = NewSibling(m_nWidth, m_nHeight, mode == 5 ? myFORMAT_C32 : myFORMAT_A16, m_nID);
    try {
      out->CopyInfoFrom(this);  // name, colour, ALPHA, MODE, and MASK where both formats have it
      out->SetFlags(m_dwFlags);
      out->SetPosition(m_x, m_y, FALSE);
      out->SetPosition(m_xSaved, m_ySaved, TRUE);
      LayerLock lk, lkOut;
      lk.Lock(this, LYR_LOCK_READ);
      lkOut.Lock(out, 0);
      const uint32_t c = m_dwColor;
      ConvertRows rows{&lk, &lkOut, mode, ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF)};
      shared_pool::Run((lk.nHeight + kBandRows - 1) / kBandRows, ConvertBand, &rows);
    } catch (...) {
      Discard(out);
      throw;
    }
    return out;
  }
  GCATCH(GetClassName(),
         u"::Convert()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(m_nFormat))->AppendArg(GArgInt(mode)))
}
