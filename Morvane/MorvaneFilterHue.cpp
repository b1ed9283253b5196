#include "MorvaneFilterHue.h"

namespace {
// The first item turns the hue; it keeps its key "BRIGHT".
const PropertyItem kHue = {0, PROP_TYPE_RANGE, 0, 0, -100, 100, u"BRIGHT", u"色调", nullptr, u"色调"};
const PropertyItem kSaturate = {0,   PROP_TYPE_RANGE, 0,         0,       -100,
                                100, u"SATURATE",     u"饱和度", nullptr, u"饱和度，鲜艳度"};
}  // namespace

MorvaneFilterHue::MorvaneFilterHue() : LayerFilterBase(kHue, kSaturate) {}

void MorvaneFilterHue::InitInstance() { hue::BuildRing(m_ring); }

hue::Params MorvaneFilterHue::ParamsFor(int bright, int saturate) const {
  // The kernels rely on the items' bounds (one turn at most, s within -256..256); a value
  // written past them straight into an item is held to them.
  bright = bright < -100 ? -100 : bright > 100 ? 100 : bright;
  saturate = saturate < -100 ? -100 : saturate > 100 ? 100 : saturate;
  return hue::Params{m_ring, bright * 766 / 100, saturate * 256 / 100};
}

void MorvaneFilterHue::CheckLayer(OLayer* layer) {
  GVERIFY(layer->GetFormat() == OLayer::myFORMAT_C32, u"!poLayer->GetFormat()==OLayer::myFORMAT_C32");
}

int32_t MorvaneFilterHue::Run(const FilterImage& dest, const FilterImage& source, JobControl* control) {
  CheckPass(dest, source, 4, u"!imgDest.nPixelSize==4", kImgTexts);
  const hue::Params params = ParamsFor(Properties().Value(BRIGHT), Properties().Value(SATURATE));
  for (int y = 0; y < source.nHeight; ++y) {
    if (!BeginRow(control, y)) return 0;
    hue::RowSse2(dest.Row<uint32_t>(y), source.Row<uint32_t>(y), size_t(source.nWidth), params);
  }
  return 1;
}
