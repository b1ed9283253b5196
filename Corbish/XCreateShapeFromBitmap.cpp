#include "XCreateShapeFromBitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/base/Text.h"

void* XCreateShapeFromBitmap::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OCreateShapeFromBitmap") == 0 ? static_cast<OCreateShapeFromBitmap*>(this)
                                                            : nullptr;
}

int XCreateShapeFromBitmap::Begin(DWORD* pBitmap, const RECT* rcBitmap, const RECT* rcLimitIn) {
  try {
    const RECT& rcLimit = *rcLimitIn;
    const RECT& bm = *rcBitmap;
    GVERIFY(rcLimit.left < rcLimit.right && rcLimit.top < rcLimit.bottom, u"!RectIsValid(rcLimit)");
    GVERIFY(rcLimit.left > bm.left, u"!rcLimit.left>rcBitmap.left");
    GVERIFY(rcLimit.top > bm.top, u"!rcLimit.top>rcBitmap.top");
    GVERIFY(rcLimit.right < bm.right, u"!rcLimit.right<rcBitmap.right");
    GVERIFY(rcLimit.bottom < bm.bottom, u"!rcLimit.bottom<rcBitmap.bottom");
    const int64_t width = int64_t(bm.right) - bm.left;
    GVERIFY(0 == (31 & width), u"!0==(31&(rcBitmap.right-rcBitmap.left))");
    // No page probing here: a null map is the one unwritable map that can be told.
    GVERIFY(pBitmap != nullptr,
            u"!!IsBadWritePtr(pBitmap,(rcBitmap.right-rcBitmap.left)/8*(rcBitmap.bottom-rcBitmap.top))");

    const size_t wpr = size_t(width >> 5);  // words per row
    // Bitmap rows and columns of the frame around rcLimit.
    const int64_t rTop = int64_t(rcLimit.top) - 1 - bm.top, rBot = int64_t(rcLimit.bottom) - bm.top;
    const int64_t cl = int64_t(rcLimit.left) - 1 - bm.left, cr = int64_t(rcLimit.right) - bm.left;

    // Clear the frame, so that every outline inside it closes: its top and bottom rows whole,
    // its left and right columns in every row between.
    std::memset(pBitmap + size_t(rTop) * wpr, 0, wpr * sizeof(DWORD));
    std::memset(pBitmap + size_t(rBot) * wpr, 0, wpr * sizeof(DWORD));
    for (int64_t r = rTop; r <= rBot; ++r) {
      DWORD* row = pBitmap + size_t(r) * wpr;
      row[cl >> 5] &= ~(DWORD(1) << (cl & 31));
      row[cr >> 5] &= ~(DWORD(1) << (cr & 31));
    }

    const size_t frameWidth = size_t(cr - cl + 1);
    if (m_links.size() < frameWidth) {
      m_links.clear();
      m_links.shrink_to_fit();
      m_links.resize(frameWidth);
    }
    std::fill(m_links.begin(), m_links.end(), -1);
    m_nPoints = 0;
    m_nRead = -1;
    m_nContour = -1;

    int32_t* const links = m_links.data();
    int32_t pendingLeft = -1;
    int64_t nCount = 0;
    // The block being filled: room left and where the next vertex goes.
    size_t room = 0;
    TraceVertex* slot = nullptr;
    auto add = [&](int64_t x, int64_t y) {
      if (room == 0) {
        const size_t block = m_nPoints >> kBlockShift;
        if (block == m_qPoint.size()) m_qPoint.emplace_back(new TraceVertex[kBlock]);
        slot = m_qPoint[block].get();
        room = kBlock;
      }
      *slot++ = TraceVertex{int32_t(x), int32_t(y), 0, -1};
      --room;
      return int32_t(m_nPoints++);
    };
    auto link = [this](int32_t from, int32_t to) {
      if (from >= 0) Vertex(size_t(from)).next = to;
    };

    const size_t w0 = size_t(cl >> 5), w1 = size_t((cr - 1) >> 5);
    for (int64_t ry = rTop; ry < rBot; ++ry) {
      const DWORD* top = pBitmap + size_t(ry) * wpr;
      const DWORD* bot = top + wpr;
      const int64_t vy = ry + bm.top + 1;
      for (size_t w = w0; w <= w1; ++w) {
        const uint32_t t = top[w], b = bot[w];
        const uint32_t tn = w + 1 < wpr ? top[w + 1] : 0, bn = w + 1 < wpr ? bot[w + 1] : 0;
        // Bit i of each word is the cell whose top-left pixel is bit i of t: TL = t, TR = ts,
        // BL = b, BR = bs. A cell turns the outline when a row pair and a column pair both differ.
        const uint32_t ts = (t >> 1) | (tn << 31), bs = (b >> 1) | (bn << 31);
        uint32_t turns = ((t ^ ts) | (b ^ bs)) & ((t ^ b) | (ts ^ bs));
        const int64_t base = int64_t(w) << 5;
        if (base < cl) turns &= ~uint32_t(0) << (cl - base);
        if (base + 31 > cr - 1) turns &= ~uint32_t(0) >> (base + 31 - (cr - 1));
        while (turns) {
          const int i = __builtin_ctz(turns);
          turns &= turns - 1;
          const int code =
              int((t >> i) & 1) | int((ts >> i) & 1) << 1 | int((b >> i) & 1) << 2 | int((bs >> i) & 1) << 3;
          const int64_t bx = base + i;
          const int64_t vx = bx + bm.left + 1;
          int32_t& up = links[bx - cl];
          switch (code) {
            case 1: {  // TL
              const int32_t n = add(vx, vy);
              link(up, n);
              link(n, pendingLeft);
              nCount += 1;
              break;
            }
            case 2: {  // TR
              const int32_t n = add(vx, vy);
              link(n, up);
              pendingLeft = n;
              nCount += 1;
              break;
            }
            case 4: {  // BL
              const int32_t n = add(vx, vy);
              link(pendingLeft, n);
              up = n;
              nCount += 1;
              break;
            }
            case 8:    // BR
            case 7: {  // TL, TR, BL
              const int32_t n = add(vx, vy);
              pendingLeft = n;
              up = n;
              nCount += 1;
              break;
            }
            case 11: {  // TL, TR, BR
              const int32_t n = add(vx, vy);
              link(n, pendingLeft);
              up = n;
              nCount += 1;
              break;
            }
            case 13: {  // TL, BL, BR
              const int32_t n = add(vx, vy);
              link(up, n);
              pendingLeft = n;
              nCount += 1;
              break;
            }
            case 14: {  // TR, BL, BR
              const int32_t n = add(vx, vy);
              link(pendingLeft, n);
              link(n, up);
              nCount += 1;
              break;
            }
            case 6: {  // TR, BL: the left side turns down, the top side turns right
              const int32_t a = add(vx, vy);
              const int32_t bb = add(vx, vy);
              link(pendingLeft, a);
              link(bb, up);
              pendingLeft = bb;
              up = a;
              nCount += 2;
              break;
            }
            case 9: {  // TL, BR: the top side turns left, the right side turns down
              const int32_t a = add(vx, vy);
              const int32_t bb = add(vx, vy);
              link(up, a);
              link(a, pendingLeft);
              pendingLeft = bb;
              up = bb;
              nCount += 2;
              break;
            }
            default:
              break;
          }
        }
      }
    }
    GVERIFY(size_t(nCount) == m_nPoints, u"!nCount==m_qPoint.size()");
    if (nCount > 0) {
      m_nRead = int64_t(m_nPoints) - 1;
      m_nContour = -1;
      m_myState = myREADY;
    }
    return int(nCount);
  }
  GCATCH(u"XCreateShapeFromBitmap", u"::Begin()")
}

BOOL XCreateShapeFromBitmap::GetPoint(POINT* point, int* newContour) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    if (m_nContour >= 0) {
      TraceVertex& v = Vertex(size_t(m_nContour));
      if (v.nEmitted == 0) {
        *newContour = 0;
        *point = POINT{v.X, v.Y};
        ++v.nEmitted;
        m_nContour = v.next;
        // The walk jumps across the raster order; start the next load while the caller works.
        if (m_nContour >= 0) __builtin_prefetch(&Vertex(size_t(m_nContour)));
        return TRUE;
      }
    }
    *newContour = 1;
    while (m_nRead >= 0 && Vertex(size_t(m_nRead)).nEmitted) --m_nRead;
    if (m_nRead < 0) return FALSE;
    TraceVertex& v = Vertex(size_t(m_nRead));
    *point = POINT{v.X, v.Y};
    ++v.nEmitted;
    m_nContour = v.next;
    --m_nRead;
    return TRUE;
  }
  GCATCH(u"XCreateShapeFromBitmap", u"::GetPoint()")
}

void XCreateShapeFromBitmap::End() {
  m_myState = myNOTHING;
  m_nPoints = 0;
  if (m_qPoint.size() > kKeptBlocks) m_qPoint.resize(kKeptBlocks);
  m_nRead = -1;
  m_nContour = -1;
}
