#include <algorithm>

#include "FillKernels.h"

namespace fill {

const char16_t* const kFillModeLabels[myMODE_COUNT] = {u"掏空",     u"填充",     u"光栅>明",   u"光栅>暗", u"光栅>光",
                                                       u"光栅>影", u"光栅>透明", u"光栅>透暗", u"光栅>反"};

namespace {

uint32_t RasterChannel(int mode, uint32_t d, uint32_t s) {
  switch (mode) {
    case myLIGHTEN: return d + ((s * (256 - d)) >> 8);
    case myDARKEN: return (d * (s + 1)) >> 8;
    case myADD: return std::min<uint32_t>(d + s, 255);
    case mySUBTRACT: return d + s > 255 ? d + s - 255 : 0;
    case myMAX: return std::max(d, s);
    case myMIN: return std::min(d, s);
    default: return d ^ s;
  }
}

uint32_t Channel(uint32_t v, int shift) { return (v >> shift) & 255u; }

}  // namespace

void BlendRowC32Scalar(uint32_t* px, const uint16_t* cov, int n, uint32_t colour, int mode) {
  const uint32_t a = colour >> 24;
  const uint32_t c = colour >> 16;  // a * 256 + the red byte
  for (int i = 0; i < n; ++i) {
    const uint32_t k = cov[i];
    if (k == 0) continue;
    const uint32_t p = px[i];
    const uint32_t pa = p >> 24;
    if (mode == myERASE) {
      px[i] = ((pa - ((pa * k * (a + 1)) >> 14)) << 24) | (p & 0xFFFFFFu);
      continue;
    }
    const uint32_t e = (c * k) >> 14;
    uint32_t out = 0;
    if (mode == myFILL) {
      const uint32_t q = ((256 - e) * pa) >> 8;
      const uint32_t na = e + q;
      // The old colour's share of the new alpha; none when nothing of the old pixel is left,
      // so that a fill at full strength gives the colour itself.
      const uint32_t wd = q ? (q * 256) / (na + 1) + 1 : 0;
      for (int shift = 0; shift < 24; shift += 8)
        out |= std::min<uint32_t>((Channel(p, shift) * wd + Channel(colour, shift) * (256 - wd)) >> 8, 255) << shift;
      px[i] = out | (na << 24);
      continue;
    }
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t d = Channel(p, shift);
      const uint32_t x = RasterChannel(mode, d, Channel(colour, shift));
      out |= std::min<uint32_t>((d * (256 - e) + e * x) >> 8, 255) << shift;
    }
    px[i] = out | (p & 0xFF000000u);
  }
}

void BlendRowA16Scalar(uint16_t* px, const uint16_t* cov, int n, uint32_t alpha, int op) {
  const uint32_t a = alpha & 255u;
  for (int i = 0; i < n; ++i) {
    const uint32_t k = cov[i];
    if (k == 0) continue;
    const uint32_t v = px[i] >> 8;
    uint32_t nv;
    if (op == myMASK_ERASE) {
      nv = v - ((((k * (a + 1)) >> 6) * v) >> 8);
    } else {
      const uint32_t e = (k * a) >> 6;
      nv = op == myMASK_FILL ? ((v * (256 - e)) >> 8) + e : std::max(v, e);
    }
    px[i] = uint16_t(nv << 8);
  }
}

}  // namespace fill
