#include "CodecCore.h"

#include <cstdarg>
#include <cstring>

#include "odata/OWorker.h"

namespace codec {

void CodecError::Set(const char* format, ...) {
  if (!m_text.empty()) return;
  char buf[512];  // room for a library's message of 200 bytes after our own words
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  m_text = buf;
}

bool CheckSize(int64_t width, int64_t height, CodecError* err) {
  if (width < 1 || height < 1) {
    err->Set("图像没有像素（%lld x %lld）", (long long)width, (long long)height);
    return false;
  }
  if (width > IMAGE_SIDE_MAX || height > IMAGE_SIDE_MAX) {
    err->Set("图像大于 %u x %u（%lld x %lld）", IMAGE_SIDE_MAX, IMAGE_SIDE_MAX, (long long)width,
             (long long)height);
    return false;
  }
  return true;
}

bool CheckTarget(const LayerLock& lock, const ImageHead& head, CodecError* err) {
  if (!lock.pPixels || lock.nWidth != head.width || lock.nHeight != head.height || lock.nPixelSize != head.format ||
      lock.nPitch < lock.nWidth || lock.cbRow < uint32_t(lock.nPitch) * uint32_t(lock.nPixelSize)) {
    err->Set("图层（%d x %d，每像素 %d 字节）与图像（%d x %d，每像素 %d 字节）不符", lock.nWidth,
             lock.nHeight, lock.nPixelSize, head.width, head.height, head.format);
    return false;
  }
  return true;
}

bool WriterGoesOn(const EncodeParams& params, int row, int rows, CodecError* err) {
  if (!params.control) return true;
  if (params.control->flags.load() & JOB_ABORT) {
    err->Set("已在第 %d 行取消（共 %d 行）", row, rows);
    return false;
  }
  params.control->total = rows;
  params.control->progress = row;
  return true;
}

uint8_t MaskGrey(uint32_t layerColour) {
  const uint32_t r = layerColour & 0xFF, g = (layerColour >> 8) & 0xFF, b = (layerColour >> 16) & 0xFF;
  return uint8_t((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

void RowToBgra(const LayerLock& lock, int y, uint8_t* out) {
  const BYTE* row = lock.Row(y);
  if (lock.nPixelSize == 4) {
    std::memcpy(out, row, size_t(lock.nWidth) * 4);
    return;
  }
  const uint8_t grey = MaskGrey(lock.dwColor);
  const auto* p = reinterpret_cast<const uint16_t*>(row);
  for (int x = 0; x < lock.nWidth; ++x, out += 4) {
    out[0] = out[1] = out[2] = grey;
    out[3] = uint8_t(p[x] >> 8);
  }
}

void MaskRowToGreyAlpha(const LayerLock& lock, int y, uint8_t* out) {
  const uint8_t grey = MaskGrey(lock.dwColor);
  const auto* p = reinterpret_cast<const uint16_t*>(lock.Row(y));
  for (int x = 0; x < lock.nWidth; ++x) {
    out[2 * x] = grey;
    out[2 * x + 1] = uint8_t(p[x] >> 8);
  }
}

bool LayerHasAlpha(const LayerLock& lock) {
  for (int y = 0; y < lock.nHeight; ++y) {
    const BYTE* row = lock.Row(y);
    if (lock.nPixelSize == 4) {
      for (int x = 0; x < lock.nWidth; ++x)
        if (row[4 * x + 3] != 0xFF) return true;
    } else {
      for (int x = 0; x < lock.nWidth; ++x)
        if (row[2 * x + 1] != 0xFF) return true;
    }
  }
  return false;
}

int64_t BytesLeft(FILE* f) {
  const long at = ftell(f);
  if (at < 0 || fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = ftell(f);
  if (fseek(f, at, SEEK_SET) != 0 || end < at) return -1;
  return int64_t(end) - at;
}

}  // namespace codec
