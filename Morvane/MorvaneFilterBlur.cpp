#include "MorvaneFilterBlur.h"

#include <algorithm>
#include <vector>

#include "BlurKernels.h"

namespace {
const PropertyItem kWidth = {0, PROP_TYPE_RANGE, 0, 4, 1, 100, u"WIDTH", u"横向", nullptr, u"横向：水平模糊力度"};
const PropertyItem kHeight = {0, PROP_TYPE_RANGE, 0, 4, 1, 100, u"HEIGHT", u"纵向", nullptr, u"纵向：垂直模糊力度"};

// The checks of the blur passes beyond the common ones.
void CheckRadii(const FilterImage& source, int cx, int cy) {
  GVERIFY(cy <= source.nHeight / 4, u"!sizeBlur.cy<=imageSrc.nHeight/4");
  GVERIFY(cx <= source.nWidth / 4, u"!sizeBlur.cx<=imageSrc.nWidth/4");
}
}  // namespace

MorvaneFilterBlur::MorvaneFilterBlur() : LayerFilterBase(kWidth, kHeight) {}

int MorvaneFilterBlur::Radius(int value, int side) {
  const int64_t quarter = side / 4;
  int64_t r = int64_t(value) * quarter * value / 10000;
  r = std::max<int64_t>(r, value);
  return int(std::min<int64_t>(r, quarter));
}

int32_t MorvaneFilterBlur::Run(const FilterImage& dest, const FilterImage& source, JobControl* control) {
  const int cx = Radius(Properties().Value(WIDTH), source.nWidth);
  const int cy = Radius(Properties().Value(HEIGHT), source.nHeight);
  GVERIFY(cx > 0 && cy > 0, u"!x>0 && y>0");
  if (dest.nPixelSize == 2) return RunMask(dest, source, cx, cy, control);
  return RunColour(dest, source, cx, cy, control);
}

// Both passes run row by row: per row the column sums take in the row entering the
// vertical window, give the intermediate row and let go of the row leaving it; a running
// sum along that row gives the destination row. The work per pixel does not grow with the
// window.
int32_t MorvaneFilterBlur::RunMask(const FilterImage& dest, const FilterImage& source, int cx, int cy,
                                   JobControl* control) {
  CheckPass(dest, source, 2, u"!imageDest.nPixelSize==2", kImageTexts);
  CheckRadii(source, cx, cy);
  const int w = source.nWidth, h = source.nHeight;
  const uint32_t window = uint32_t(2 * cy - 1);
  std::vector<int32_t> sums(size_t(w), 0), values(size_t(w), 0);
  for (int r = 0; r < cy - 1 && r < h; ++r)
    blur::VerticalA16Sse2(sums.data(), source.Row<uint16_t>(r), nullptr, nullptr, size_t(w), window);
  for (int y = 0; y < h; ++y) {
    if (!BeginRow(control, y)) return 0;
    const uint16_t* add = y + cy - 1 < h ? source.Row<uint16_t>(y + cy - 1) : nullptr;
    const uint16_t* sub = y - cy + 1 >= 0 ? source.Row<uint16_t>(y - cy + 1) : nullptr;
    blur::VerticalA16Sse2(sums.data(), add, sub, values.data(), size_t(w), window);
    blur::HorizontalA16Sse2(dest.Row<uint16_t>(y), values.data(), size_t(w), size_t(cx));
  }
  return 1;
}

int32_t MorvaneFilterBlur::RunColour(const FilterImage& dest, const FilterImage& source, int cx, int cy,
                                     JobControl* control) {
  CheckPass(dest, source, 4, u"!imageDest.nPixelSize==4", kImageTexts);
  CheckRadii(source, cx, cy);
  const int w = source.nWidth, h = source.nHeight;
  const uint32_t window = uint32_t(2 * cy - 1);
  std::vector<int32_t> sums(size_t(w) * 4, 0), weighted(size_t(w) * 4, 0);
  for (int r = 0; r < cy - 1 && r < h; ++r)
    blur::VerticalC32Sse2(sums.data(), source.Row<uint32_t>(r), nullptr, nullptr, size_t(w), window);
  for (int y = 0; y < h; ++y) {
    if (!BeginRow(control, y)) return 0;
    const uint32_t* add = y + cy - 1 < h ? source.Row<uint32_t>(y + cy - 1) : nullptr;
    const uint32_t* sub = y - cy + 1 >= 0 ? source.Row<uint32_t>(y - cy + 1) : nullptr;
    blur::VerticalC32Sse2(sums.data(), add, sub, weighted.data(), size_t(w), window);
    blur::HorizontalC32Sse2(dest.Row<uint32_t>(y), weighted.data(), size_t(w), size_t(cx));
  }
  return 1;
}
