// The paint bucket's two 1-bit maps: the mask that gathers every flood of one press and drag,
// sized for the rectangle the fill may cover, and the bit box of one flood around its seed.
// Both are plain buffers kept between presses; only the part in use is cleared.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/base/Types.h"

class CFloodMask {
 public:
  // The farthest one flood reaches from its seed, in space pixels.
  static constexpr int kMaxReach = 2000;
  // The largest mask: a 10000 x 10000 layer with a frame of one pixel (about 12.5 MB). A
  // larger rectangle is cut to what the mask holds, so no flood can land outside it.
  static constexpr uint64_t kMaxMaskBits = uint64_t(10016) * 10002;
  // The bit box of the farthest reach: (2R + 62 rounded to 32) x 2R bits.
  static constexpr size_t kBoxBytes = 0x200000;

  // Sizes and clears the mask for the rectangle that may be filled (the layer's, cut to the
  // source's). FALSE when it is 3 pixels or less wide or high.
  BOOL Prepare(const RECT& fillable);
  // The bit box of a flood at seed reaching reach pixels, and the rectangle it may not leave
  // (the reach square cut to the fillable rectangle). FALSE when that is under 4 pixels wide
  // or high or misses the seed. The caller starts the box from the mask.
  BOOL PrepareBox(POINT seed, int reach);
  // Gives the buffers back.
  void Free();

  DWORD* Mask() const { return m_pMask.get(); }
  DWORD* Box() const { return m_pBox.get(); }
  const RECT& MaskRect() const { return m_rcMask; }
  const RECT& BoxRect() const { return m_rcBox; }
  const RECT& Fillable() const { return m_rcFillable; }
  const RECT& End() const { return m_rcEnd; }
  // Bytes the two buffers hold now.
  size_t HeldBytes() const { return m_nMaskWords * 4 + (m_pBox ? kBoxBytes : 0); }
  // Whether the pixel is in the mask (false outside it).
  bool Test(LONG x, LONG y) const;

 private:
  std::unique_ptr<DWORD[]> m_pMask;
  size_t m_nMaskWords = 0;
  std::unique_ptr<DWORD[]> m_pBox;
  RECT m_rcMask{};
  RECT m_rcBox{};
  RECT m_rcFillable{};
  RECT m_rcEnd{};
};
