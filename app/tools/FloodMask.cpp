#include "FloodMask.h"

#include <algorithm>
#include <cstring>

#include "odata/GError.h"

namespace {

int64_t FloorTo32(int64_t v) { return v & ~int64_t(31); }

}  // namespace

BOOL CFloodMask::Prepare(const RECT& fillable) {
  if (fillable.right - fillable.left <= 3 || fillable.bottom - fillable.top <= 3) return FALSE;
  // One pixel of frame on every side, so that the outline of a region touching the edge
  // closes inside the mask.
  const int64_t left = int64_t(fillable.left) - 1, top = int64_t(fillable.top) - 1;
  const int64_t span = FloorTo32(int64_t(fillable.right) + 1 - left + 31);
  int64_t rows = int64_t(fillable.bottom) + 1 - top;
  m_rcFillable = fillable;
  if (uint64_t(span) * uint64_t(rows) > kMaxMaskBits) {
    // Too large for the mask: what may be filled ends one frame row above its bottom.
    rows = int64_t(kMaxMaskBits / uint64_t(span));
    m_rcFillable.bottom = LONG(top + rows - 1);
    if (m_rcFillable.bottom - m_rcFillable.top <= 3) return FALSE;
  }
  m_rcMask = RECT{LONG(left), LONG(top), LONG(left + span), LONG(top + rows)};
  const size_t words = size_t(span / 32) * size_t(rows);
  if (words > m_nMaskWords) {
    m_pMask.reset();
    m_pMask.reset(new DWORD[words]);
    m_nMaskWords = words;
  }
  std::memset(m_pMask.get(), 0, words * sizeof(DWORD));
  if (!m_pBox) m_pBox.reset(new DWORD[kBoxBytes / sizeof(DWORD)]);
  return TRUE;
}

BOOL CFloodMask::PrepareBox(POINT seed, int reach) {
  const int64_t R = std::min(reach, kMaxReach);
  const int64_t sx = seed.x, sy = seed.y;
  const int64_t d0 = FloorTo32(sx - R - m_rcMask.left);
  const int64_t d1 = FloorTo32(sx + R - m_rcMask.left + 31);
  m_rcBox = RECT{LONG(m_rcMask.left + d0), LONG(sy - R), LONG(m_rcMask.left + d1), LONG(sy + R)};
  GVERIFY(size_t(d1 - d0) / 8 * size_t(2 * R) <= kBoxBytes, u"!nBoxBytes<=0x200000");
  m_rcEnd = RECT{LONG(std::max<int64_t>(sx - R, m_rcFillable.left)), LONG(std::max<int64_t>(sy - R, m_rcFillable.top)),
                 LONG(std::min<int64_t>(sx + R, m_rcFillable.right)),
                 LONG(std::min<int64_t>(sy + R, m_rcFillable.bottom))};
  if (m_rcEnd.right - m_rcEnd.left < 4 || m_rcEnd.bottom - m_rcEnd.top < 4) return FALSE;
  return seed.x >= m_rcEnd.left && seed.x < m_rcEnd.right && seed.y >= m_rcEnd.top && seed.y < m_rcEnd.bottom;
}

void CFloodMask::Free() {
  m_pMask.reset();
  m_nMaskWords = 0;
  m_pBox.reset();
}

bool CFloodMask::Test(LONG x, LONG y) const {
  if (!m_pMask || x < m_rcMask.left || x >= m_rcMask.right || y < m_rcMask.top || y >= m_rcMask.bottom) return false;
  const size_t span = size_t(m_rcMask.right - m_rcMask.left);
  const size_t bit = size_t(y - m_rcMask.top) * span + size_t(x - m_rcMask.left);
  return (m_pMask[bit >> 5] >> (bit & 31)) & 1u;
}
