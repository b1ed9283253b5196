#include "LassoLift.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "odata/GError.h"

RECT CornerBox(const POINTF corners[4]) {
  RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int k = 0; k < 4; ++k) {
    const LONG x = LONG(std::floor(corners[k].x)), y = LONG(std::floor(corners[k].y));
    box.left = std::min(box.left, x);
    box.top = std::min(box.top, y);
    box.right = std::max(box.right, x + 1);
    box.bottom = std::max(box.bottom, y + 1);
  }
  return box;
}

namespace {

// One row of the piece and its mask under the coverage row cov (null: nothing covered).
void CutRow(const uint16_t* cov, int width, BYTE* piece, int pixelSize, uint16_t* mask) {
  for (int i = 0; i < width; ++i) {
    const uint32_t c = cov ? std::min<uint32_t>(cov[i], 64) : 0;
    mask[i] = uint16_t((c * 1020) & 0xFF00);
    if (pixelSize == 4) {
      uint32_t* p = reinterpret_cast<uint32_t*>(piece) + i;
      const uint32_t alpha = (*p >> 24) * c / 64;
      *p = (*p & 0xFFFFFFu) | alpha << 24;
    } else {
      uint16_t* p = reinterpret_cast<uint16_t*>(piece) + i;
      *p = uint16_t(((uint32_t(*p) >> 8) * c / 64) << 8);
    }
  }
}

}  // namespace

void CutPieceByCoverage(OShape* filler, const RECT& rc, const LayerLock& piece, const LayerLock& mask) {
  const int width = int(rc.right - rc.left), height = int(rc.bottom - rc.top);
  GCHECK(piece.nWidth == width && piece.nHeight == height && mask.nWidth == width && mask.nHeight == height);
  const WORD* cov = filler->ScanBegin(&rc);
  // The filler skips rows without crossings: every row before the one it reports is bare.
  int next = 0;
  RECT row;
  while (next < height && filler->Scan(&row)) {
    const int y = int(row.top - rc.top);
    if (y < next || y >= height) continue;
    for (; next < y; ++next)
      CutRow(nullptr, width, piece.Row(next), piece.nPixelSize, reinterpret_cast<uint16_t*>(mask.Row(next)));
    CutRow(cov, width, piece.Row(y), piece.nPixelSize, reinterpret_cast<uint16_t*>(mask.Row(y)));
    next = y + 1;
  }
  for (; next < height; ++next)
    CutRow(nullptr, width, piece.Row(next), piece.nPixelSize, reinterpret_cast<uint16_t*>(mask.Row(next)));
}

void EraseUnderMask(const LayerLock& dest, const LayerLock& mask, const RECT& clip) {
  GVERIFY(mask.nPixelSize == OLayer::myFORMAT_A16, u"!imgAlpha.nPixelSize==OLayer::myFORMAT_A16");
  const int64_t left = std::max({int64_t(dest.x), int64_t(mask.x), int64_t(clip.left)});
  const int64_t top = std::max({int64_t(dest.y), int64_t(mask.y), int64_t(clip.top)});
  const int64_t right =
      std::min({int64_t(dest.x) + dest.nWidth, int64_t(mask.x) + mask.nWidth, int64_t(clip.right)});
  const int64_t bottom =
      std::min({int64_t(dest.y) + dest.nHeight, int64_t(mask.y) + mask.nHeight, int64_t(clip.bottom)});
  if (left >= right || top >= bottom) return;
  if (dest.nPixelSize != 4 && dest.nPixelSize != 2) return;
  for (int64_t y = top; y < bottom; ++y) {
    const uint16_t* m = reinterpret_cast<const uint16_t*>(mask.Row(int(y - mask.y))) + (left - mask.x);
    BYTE* row = dest.Row(int(y - dest.y));
    for (int64_t x = left; x < right; ++x, ++m) {
      const uint32_t k = 256 - (uint32_t(*m) >> 8);
      // Nothing to erase: the pixel stays as it is, low bits included.
      if (k == 256) continue;
      if (dest.nPixelSize == 4) {
        uint32_t* p = reinterpret_cast<uint32_t*>(row) + (x - dest.x);
        *p = (*p & 0xFFFFFFu) | ((k * (*p >> 24)) >> 8) << 24;
      } else {
        uint16_t* p = reinterpret_cast<uint16_t*>(row) + (x - dest.x);
        *p = uint16_t((k * (uint32_t(*p) >> 8)) & 0xFF00);
      }
    }
  }
}

bool IsSoundFrame(const RotatedRect& rr) {
  return std::isfinite(rr.x) && std::isfinite(rr.y) && std::isfinite(rr.angle) && std::isfinite(rr.width) &&
         std::isfinite(rr.height) && std::fabs(rr.width) >= 1.0f && std::fabs(rr.height) >= 1.0f;
}

BYTE* ClipboardPixels(const LayerClipboard* clip) {
  if (!clip || !clip->HasLayer()) return nullptr;
  BYTE* buffer = clip->cpData->GetBuffer();
  const LayerInfo& info = clip->info;
  if (!buffer || info.nWidth < 1 || info.nHeight < 1 || info.nPitch < info.nWidth ||
      (info.nPixelSize != 2 && info.nPixelSize != 4))
    return nullptr;
  const uint64_t need =
      LAYER_RECORD_PIXELS + uint64_t(info.nPitch) * uint64_t(info.nHeight) * uint64_t(info.nPixelSize);
  return clip->cpData->GetSize() >= need ? buffer + LAYER_RECORD_PIXELS : nullptr;
}
