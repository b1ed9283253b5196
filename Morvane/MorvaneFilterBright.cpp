#include "MorvaneFilterBright.h"

namespace {
const PropertyItem kBright = {0, PROP_TYPE_RANGE, 0, 0, -100, 100, u"BRIGHT", u"亮度", nullptr, u"亮度调节"};
const PropertyItem kContrast = {0, PROP_TYPE_RANGE, 0, 0, -100, 100, u"CONTRAST", u"对比度", nullptr, u"对比度调节"};
}  // namespace

MorvaneFilterBright::MorvaneFilterBright() : LayerFilterBase(kBright, kContrast) {}

// The table is (j - 128) x factor + offset + 128.5 truncated and clamped, with factor
// (contrast + 100) x 0.01 and offset bright x 255 x 0.01, in double precision as written:
// where the sum should be a whole number and the binary fractions land just below it, the
// entry is the one below, as it always was.
void MorvaneFilterBright::BuildTable(int bright, int contrast, BYTE table[256]) {
  const double offset = bright * 255 * 0.01;
  const double factor = (contrast + 100) * 0.01;
  for (int j = 0; j < 256; ++j) {
    const double v = (j - 128) * factor + offset + 128.5;
    table[j] = BYTE(v < 0 ? 0 : v >= 255 ? 255 : int(v));
  }
}

void MorvaneFilterBright::CheckLayer(OLayer* layer) {
  GVERIFY(layer->GetFormat() == OLayer::myFORMAT_C32, u"!poLayer->GetFormat()==OLayer::myFORMAT_C32");
}

// A table lookup per byte, as plain code: SSE2 has no byte gather or shuffle, so a vector
// form would have to redo the arithmetic per channel.
int32_t MorvaneFilterBright::Run(const FilterImage& dest, const FilterImage& source, JobControl* control) {
  BuildTable(Properties().Value(BRIGHT), Properties().Value(CONTRAST), m_table);
  CheckPass(dest, source, 4, u"!imgDest.nPixelSize==4", kImgTexts);
  const BYTE* t = m_table;
  for (int y = 0; y < source.nHeight; ++y) {
    if (!BeginRow(control, y)) return 0;
    const uint32_t* in = source.Row<uint32_t>(y);
    uint32_t* out = dest.Row<uint32_t>(y);
    for (int x = 0; x < source.nWidth; ++x) {
      const uint32_t p = in[x];
      out[x] = (p & 0xFF000000u) | uint32_t(t[(p >> 16) & 255]) << 16 | uint32_t(t[(p >> 8) & 255]) << 8 | t[p & 255];
    }
  }
  return 1;
}
