// Whole-layer pixel processes: flips, half turn, invert, the alpha backups, the alpha fade
// and the split of a colour layer into colour and mask. They touch the width x height
// pixels only: padding columns and rows keep what they hold. None refreshes the mip levels.
//
// These loops move, mask or scale bytes and are bound by memory; they stay plain code that the
// compiler vectorises rather than hand-written kernels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Morvane.h"

namespace {

// Alpha data block: one byte a pixel of every row at the level-0 pitch, the high byte of an
// A16 value or the alpha of a C32 pixel; padding columns give 0.
size_t AlphaBlockSize(const LayerLock& lk) { return size_t(lk.nHeight) * size_t(lk.nPitch); }

OData* NewAlphaBlock(const LayerLock& lk) {
  const size_t nDataSize = AlphaBlockSize(lk);
  GVERIFY(0 == (nDataSize & 63), u"!0==(nDataSize&63)");
  OData* block = GNewData(nDataSize);
  BYTE* out = block->GetBuffer();
  for (int j = 0; j < lk.nHeight; ++j, out += lk.nPitch) {
    if (lk.nPixelSize == 2) {
      const auto* v = reinterpret_cast<const uint16_t*>(lk.Row(j));
      for (int k = 0; k < lk.nWidth; ++k) out[k] = BYTE(v[k] >> 8);
    } else {
      const auto* p = reinterpret_cast<const uint32_t*>(lk.Row(j));
      for (int k = 0; k < lk.nWidth; ++k) out[k] = BYTE(p[k] >> 24);
    }
    std::memset(out + lk.nWidth, 0, size_t(lk.nPitch - lk.nWidth));
  }
  return block;
}

// Puts an alpha data block back: A16 value = byte << 8, C32 alpha = byte with the colour kept.
// The block may be contiguous or fragmented.
void RestoreAlpha(const LayerLock& lk, OData* data) {
  GVERIFY(data, u"!poData");
  const size_t nDataSize = AlphaBlockSize(lk);
  GVERIFY(data->GetSize() == nDataSize, u"!poData->GetSize()==(UINT)nDataSize");
  std::vector<BYTE> row(size_t(lk.nPitch));
  data->Rewind();
  for (int j = 0; j < lk.nHeight; ++j) {
    data->Read(row.data(), row.size());
    if (lk.nPixelSize == 2) {
      auto* v = reinterpret_cast<uint16_t*>(lk.Row(j));
      for (int k = 0; k < lk.nWidth; ++k) v[k] = uint16_t(row[size_t(k)] << 8);
    } else {
      auto* p = reinterpret_cast<uint32_t*>(lk.Row(j));
      for (int k = 0; k < lk.nWidth; ++k) p[k] = (p[k] & 0x00FFFFFFu) | uint32_t(row[size_t(k)]) << 24;
    }
  }
  data->Rewind();
}

// Indexed from both ends with a fixed count, so the compiler vectorises it with shuffles.
template <class T>
void ReverseRow(T* p, int n) {
  T* q = p + n - 1;
  for (int i = 0; i < n / 2; ++i) {
    const T a = p[i];
    p[i] = q[-i];
    q[-i] = a;
  }
}

template <class T>
void SwapRows(T* a, T* b, int n) {
  for (int i = 0; i < n; ++i) std::swap(a[i], b[i]);
}

template <class T>
void FlipRows(const LayerLock& lk) {
  for (int r = 0, s = lk.nHeight - 1; r < s; ++r, --s) {
    SwapRows(reinterpret_cast<T*>(lk.Row(r)), reinterpret_cast<T*>(lk.Row(s)), lk.nWidth);
  }
}

template <class T>
void FlipColumns(const LayerLock& lk) {
  for (int r = 0; r < lk.nHeight; ++r) ReverseRow(reinterpret_cast<T*>(lk.Row(r)), lk.nWidth);
}

// Pixel (r, c) with pixel (height - 1 - r, width - 1 - c): row pairs swap reversed in one
// pass, and an odd height's middle row turns in place.
template <class T>
void TurnHalf(const LayerLock& lk) {
  const int n = lk.nWidth;
  int r = 0, s = lk.nHeight - 1;
  for (; r < s; ++r, --s) {
    T* a = reinterpret_cast<T*>(lk.Row(r));
    T* q = reinterpret_cast<T*>(lk.Row(s)) + n - 1;
    for (int i = 0; i < n; ++i) {
      const T t = a[i];
      a[i] = q[-i];
      q[-i] = t;
    }
  }
  if (r == s) ReverseRow(reinterpret_cast<T*>(lk.Row(r)), n);
}

// Calls f with a uint16_t or a uint32_t by the pixel size; another size does nothing.
template <class F>
void ByPixelSize(const LayerLock& lk, F&& f) {
  if (lk.nPixelSize == 2) {
    f(uint16_t{});
  } else if (lk.nPixelSize == 4) {
    f(uint32_t{});
  }
}

}  // namespace

OData* Morvane::AlphaBackup() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    LayerLock lk;
    lk.Lock(this, LYR_LOCK_READ);
    OData* block = NewAlphaBlock(lk);
    lk.Unlock();
    return block;
  }
  GCATCH(GetClassName(), u"::AlphaBackup()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::AlphaRestore(OData* data) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    LayerLock lk;
    lk.Lock(this, 0);
    RestoreAlpha(lk, data);
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::AlphaRestore()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::FlipVertical() {
  try {
    LayerLock lk;
    lk.Lock(this, 0);
    ByPixelSize(lk, [&](auto px) { FlipRows<decltype(px)>(lk); });
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::FlipVertical()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::FlipHorizontal() {
  try {
    LayerLock lk;
    lk.Lock(this, 0);
    ByPixelSize(lk, [&](auto px) { FlipColumns<decltype(px)>(lk); });
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::FlipHorizontal()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::Rotate180() {
  try {
    LayerLock lk;
    lk.Lock(this, 0);
    ByPixelSize(lk, [&](auto px) { TurnHalf<decltype(px)>(lk); });
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::Rotate180()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::ProcessInvert() {
  try {
    LayerLock lk;
    lk.Lock(this, 0);
    for (int j = 0; j < lk.nHeight; ++j) {
      if (lk.nPixelSize == 2) {
        // The coverage's high byte inverted, its low byte cleared.
        auto* v = reinterpret_cast<uint16_t*>(lk.Row(j));
        for (int k = 0; k < lk.nWidth; ++k) v[k] = uint16_t((v[k] & 0xFF00) ^ 0xFF00);
      } else if (lk.nPixelSize == 4) {
        auto* p = reinterpret_cast<uint32_t*>(lk.Row(j));
        for (int k = 0; k < lk.nWidth; ++k) p[k] ^= 0x00FFFFFFu;
      }
    }
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::ProcessInvert()", ->AppendArg(GArgInt(m_myState)))
}

OData* Morvane::ProcessImpair(int percent) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    // Above 100 the products would overflow the alpha.
    const uint32_t keep = uint32_t(std::clamp(percent, 0, 100));
    LayerLock lk;
    lk.Lock(this, 0);
    OData* block = NewAlphaBlock(lk);
    for (int j = 0; j < lk.nHeight; ++j) {
      if (lk.nPixelSize == 2) {
        auto* v = reinterpret_cast<uint16_t*>(lk.Row(j));
        for (int k = 0; k < lk.nWidth; ++k) v[k] = uint16_t(keep * v[k] / 100);
      } else {
        auto* p = reinterpret_cast<uint32_t*>(lk.Row(j));
        for (int k = 0; k < lk.nWidth; ++k) p[k] = (p[k] & 0x00FFFFFFu) | (keep * (p[k] >> 24) / 100) << 24;
      }
    }
    lk.Unlock();
    return block;
  }
  GCATCH(GetClassName(), u"::ProcessImpair()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(percent)))
}

void Morvane::ProcessImpairRestore(OData* data) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    LayerLock lk;
    lk.Lock(this, 0);
    RestoreAlpha(lk, data);
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::ProcessImpairRestore()", ->AppendArg(GArgInt(m_myState)))
}

OLayer* Morvane::ProcessSplitMask() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(GetFormat() == OLayer::myFORMAT_C32, u"!GetFormat()==OLayer::myFORMAT_C32");
    OLayer* mask = NewSibling(m_nWidth, m_nHeight, myFORMAT_A16, 0);
    try {
      mask->SetPosition(m_x, m_y, FALSE);
      auto* props = static_cast<OProperty*>(mask->GetInterface(u"OProperty"));
      UINT at = 0;
      GVERIFY(props && props->FindByName(&at, u"MASK"), u"!poProperty");
      props->SetValue(at, 1);
      LayerLock lk, lkMask;
      lk.Lock(this, 0);
      lkMask.Lock(mask, 0);
      for (int j = 0; j < lk.nHeight; ++j) {
        auto* p = reinterpret_cast<uint32_t*>(lk.Row(j));
        auto* m = reinterpret_cast<uint16_t*>(lkMask.Row(j));
        for (int k = 0; k < lk.nWidth; ++k) {
          const uint32_t alpha = p[k] >> 24;
          m[k] = uint16_t(alpha << 8);
          if (alpha) p[k] |= 0xFF000000u;
        }
      }
    } catch (...) {
      Discard(mask);
      throw;
    }
    return mask;
  }
  GCATCH(GetClassName(), u"::ProcessSplitMask()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(m_nFormat)))
}

void Morvane::ProcessSplitMaskRestore(OLayer* mask) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(GetFormat() == OLayer::myFORMAT_C32, u"!GetFormat()==OLayer::myFORMAT_C32");
    GVERIFY(mask, u"!poLayerMask");
    LayerLock lk, lkMask;
    lk.Lock(this, 0);
    lkMask.Lock(mask, LYR_LOCK_READ);
    GVERIFY(lkMask.nPixelSize == OLayer::myFORMAT_A16, u"!lkMask.nPixelSize==OLayer::myFORMAT_A16");
    GVERIFY(lkMask.nWidth == m_nWidth && lkMask.nHeight == m_nHeight,
            u"!lkMask.nWidth==m_nWidth && lkMask.nHeight==m_nHeight");
    for (int j = 0; j < lk.nHeight; ++j) {
      auto* p = reinterpret_cast<uint32_t*>(lk.Row(j));
      const auto* m = reinterpret_cast<const uint16_t*>(lkMask.Row(j));
      for (int k = 0; k < lk.nWidth; ++k) p[k] = (p[k] & 0x00FFFFFFu) | uint32_t(m[k] >> 8) << 24;
    }
    lkMask.Unlock();
    lk.Unlock();
  }
  GCATCH(GetClassName(), u"::ProcessSplitMaskRestore()", ->AppendArg(GArgInt(m_myState)))
}
