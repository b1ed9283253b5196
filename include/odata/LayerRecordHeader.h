// The 72-byte head of a saved layer record. The layer reads it to load itself; the layer
// section reads the heads of all its records ahead, to know what the document will cost
// before the first layer is allocated.
#pragma once
#include <cstdint>
#include <cstring>

#include "LittleEndian.h"
#include "OLayer.h"

struct LayerRecordHeader {
  static constexpr size_t kBytes = 72;
  // A position further out than this could not be drawn: x + width and the space's
  // coordinates must stay inside 32-bit signed numbers.
  static constexpr int64_t kMaxOffset = int64_t(1) << 30;

  uint32_t dwTest = 0;
  uint32_t dwFileSize = 0;
  uint32_t dwID = 0;
  uint32_t dwFlags = 0;
  uint32_t dwFormat = 0;
  uint32_t dwColor = 0;
  uint32_t dwWidth = 0;
  uint32_t dwHeight = 0;
  int32_t x = 0;
  int32_t y = 0;

  uint32_t Sum() const {
    return dwID + dwFlags + dwFormat + dwColor + dwFileSize + dwWidth + dwHeight + uint32_t(x) + uint32_t(y);
  }
  // The reserved 32 bytes are written as 0.
  void Store(BYTE* out) const {
    const uint32_t fields[10] = {dwTest, dwFileSize, dwID,     dwFlags,     dwFormat,
                                 dwColor, dwWidth,   dwHeight, uint32_t(x), uint32_t(y)};
    std::memset(out, 0, kBytes);
    for (int i = 0; i < 10; ++i) PutLE32(out + 4 * i, fields[i]);
  }
  static LayerRecordHeader Parse(const BYTE* in) {
    LayerRecordHeader h;
    h.dwTest = GetLE32(in);
    h.dwFileSize = GetLE32(in + 4);
    h.dwID = GetLE32(in + 8);
    h.dwFlags = GetLE32(in + 12);
    h.dwFormat = GetLE32(in + 16);
    h.dwColor = GetLE32(in + 20);
    h.dwWidth = GetLE32(in + 24);
    h.dwHeight = GetLE32(in + 28);
    h.x = int32_t(GetLE32(in + 32));
    h.y = int32_t(GetLE32(in + 36));
    return h;
  }
  // Bytes of the primary surface the header asks for (valid once Check passed).
  uint64_t SurfaceBytes() const {
    return uint64_t((dwWidth + 63) & ~63u) * uint64_t((dwHeight + 63) & ~63u) * dwFormat;
  }
  // Null when the header may be used; else the condition text that refuses it. All of it
  // is checked before anything is allocated, so a forged header cannot ask for memory.
  const char16_t* Check() const {
    if (dwTest != Sum())
      return u"!fh.dwTest== fh.dwID + fh.dwFlags + fh.dwFormat + fh.dwColor + fh.dwFileSize + fh.dwWidth + "
             u"fh.dwHeight + fh.x + fh.y";
    if (dwFormat != uint32_t(OLayer::myFORMAT_A16) && dwFormat != uint32_t(OLayer::myFORMAT_C32))
      return u"!fh.dwFormat==myFORMAT_A16 || fh.dwFormat==myFORMAT_C32";
    if (dwWidth < 1 || dwWidth > uint32_t(LYR_MAX_SIDE) || dwHeight < 1 || dwHeight > uint32_t(LYR_MAX_SIDE))
      return u"!fh.dwWidth>=1 && fh.dwWidth<=10000 && fh.dwHeight>=1 && fh.dwHeight<=10000";
    if (dwFileSize < LAYER_RECORD_PIXELS) return u"!fh.dwFileSize>=200+4*nItems";
    if (x < -kMaxOffset || x > kMaxOffset || y < -kMaxOffset || y > kMaxOffset)
      return u"!abs(fh.x)<=0x40000000 && abs(fh.y)<=0x40000000";
    return nullptr;
  }
};
