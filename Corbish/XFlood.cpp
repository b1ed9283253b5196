#include "XFlood.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "FloodKernelSse2.h"
#include "platform/base/Text.h"

namespace {

// The overlap of [a0, a1) (first) and [b0, b1) (second): its length and its offsets in each.
struct Overlap {
  int32_t l = 0;
  int32_t l1 = 0;
  int32_t l2 = 0;
};
Overlap OverlapOf(int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
  Overlap o;
  if (a1 < a0 || b1 < b0) return o;
  int64_t len = int64_t(std::min(a1, b1)) - std::max(a0, b0);
  o.l = len > 0 ? int32_t(len) : 0;
  o.l1 = a0 < b0 ? int32_t(int64_t(b0) - a0) : 0;
  o.l2 = a0 >= b0 ? int32_t(int64_t(a0) - b0) : 0;
  return o;
}

bool RectInRectangle(const RECT& in, const RECT& outer) {
  return in.left >= outer.left && in.top >= outer.top && in.right <= outer.right && in.bottom <= outer.bottom;
}

inline uint32_t LowMask(int n) { return n >= 32 ? ~0u : (1u << n) - 1; }
inline int TrailingOnes(uint32_t v) { return v == ~0u ? 32 : __builtin_ctz(~v); }
inline int LeadingOnes(uint32_t v) { return v == ~0u ? 32 : __builtin_clz(~v); }

// n <= 32 bits of a bit row from bit position b, as the low bits; reads no word past them.
inline uint32_t Extract(const DWORD* row, int32_t b, int n) {
  const DWORD* w = row + (b >> 5);
  int sh = b & 31;
  uint32_t v = w[0] >> sh;
  if (sh && sh + n > 32) v |= w[1] << (32 - sh);
  return v & LowMask(n);
}

// The 8 bits of a bit row from bit position b, as the low bits, without a branch on where
// they lie; bits past the row's last word read as 0.
inline uint32_t Extract8(const DWORD* row, int32_t b, size_t words) {
  const size_t w = size_t(b) >> 5;
  const uint64_t next = w + 1 < words ? row[w + 1] : 0;
  return uint32_t(((next << 32 | row[w]) >> (b & 31)) & 0xFF);
}

// Sets the bits v (8 bits) of a bit row from bit position b; v has no bit past the row.
inline void Set8(DWORD* row, int32_t b, uint32_t v, size_t words) {
  const size_t w = size_t(b) >> 5;
  const uint64_t bits = uint64_t(v) << (b & 31);
  row[w] |= uint32_t(bits);
  row[std::min(w + 1, words - 1)] |= uint32_t(bits >> 32);  // nothing to set there when w + 1 is past the row
}

// The runs of set bits of every 8-bit value: how many and where each starts and ends.
struct ByteRuns {
  uint8_t count;
  uint8_t first[4];
  uint8_t last[4];
};
struct ByteRunTable {
  ByteRuns at[256];
  constexpr ByteRunTable() : at() {
    for (int v = 0; v < 256; ++v) {
      ByteRuns r{};
      for (int b = 0; b < 8; ++b) {
        if (!((v >> b) & 1)) continue;
        if (b == 0 || !((v >> (b - 1)) & 1)) r.first[r.count++] = uint8_t(b);
        r.last[r.count - 1] = uint8_t(b);
      }
      at[v] = r;
    }
  }
};
constexpr ByteRunTable kByteRuns;

// Sets bits b0..b1 (inclusive) of a bit row.
inline void SetRange(DWORD* row, int32_t b0, int32_t b1) {
  int32_t w0 = b0 >> 5, w1 = b1 >> 5;
  uint32_t first = ~0u << (b0 & 31), last = LowMask((b1 & 31) + 1);
  if (w0 == w1) {
    row[w0] |= first & last;
    return;
  }
  row[w0] |= first;
  for (int32_t w = w0 + 1; w < w1; ++w) row[w] = ~0u;
  row[w1] |= last;
}

// Clears bits [b0, b1) of a bit row.
inline void ClearRange(DWORD* row, int64_t b0, int64_t b1) {
  for (int64_t b = b0; b < b1;) {
    if ((b & 31) == 0 && b + 32 <= b1) {
      row[b >> 5] = 0;
      b += 32;
    } else {
      row[b >> 5] &= ~(1u << (b & 31));
      ++b;
    }
  }
}

// One fill over rcEnd, in coordinates relative to its top-left. Every region pixel is set
// exactly once and belongs to exactly one run that the queue hands out; processing a run
// widens it along its row while the next pixel passes against the previous one, then tests
// the pixel above and below each of its pixels against that pixel. So every region pixel
// tests each of its four neighbours against itself, and the region is the set of pixels
// reachable from the seed through passing steps: the same set a pixel-by-pixel
// breadth-first fill gives, in whatever order it is found.
//
// Wide places go through the SSE2 tests 32 pixels at a time. Narrow ones, which a maze of
// thin corridors is made of, avoid a branch per pixel, as each would be a guess there: a
// lone pixel tests its four neighbours at once, a short run its eight next pixels along the
// row and the eight above and below it, and what they find is queued from a table.
template <int PS>
class FillPass {
 public:
  FillPass(FloodRunQueue& queue, DWORD* bits, size_t wordsPerRow, int32_t ox, int32_t oy, const BYTE* pixels,
           size_t rowBytes, int32_t width, int32_t height, uint32_t tolerance)
      : m_queue(queue),
        m_bits(bits),
        m_wordsPerRow(wordsPerRow),
        m_ox(ox),
        m_oy(oy),
        m_pixels(pixels),
        m_rowBytes(rowBytes),
        m_w(width),
        m_h(height),
        m_tol(tolerance) {}

  void Run(int32_t sx, int32_t sy) {
    m_queue.Push({sy, sx, sx});
    while (!m_queue.Empty()) {
      FloodRunQueue::Run r = m_queue.Pop();
      if (r.x0 == r.x1 && Lone(r.y, r.x0)) continue;
      int32_t x0 = ExtendLeft(r.y, r.x0);
      int32_t x1 = ExtendRight(r.y, r.x1);
      if (r.y > 0) ScanRow(r.y, r.y - 1, x0, x1);
      if (r.y + 1 < m_h) ScanRow(r.y, r.y + 1, x0, x1);
    }
  }

 private:
  // Clear bits spread over at most this many pixels of a word are tested one by one.
  static constexpr int kSingleBits = 4;

  DWORD* BitRow(int32_t y) const { return m_bits + size_t(y + m_oy) * m_wordsPerRow; }
  static const BYTE* Pixel(const BYTE* row, int32_t x) { return row + size_t(x) * PS; }
  const BYTE* PixRow(int32_t y) const { return m_pixels + size_t(y) * m_rowBytes; }
  bool Clear(const DWORD* row, int32_t x) const { return !((row[(x + m_ox) >> 5] >> ((x + m_ox) & 31)) & 1); }
  void Set(DWORD* row, int32_t x) const { row[(x + m_ox) >> 5] |= 1u << ((x + m_ox) & 31); }

  bool PassOne(const BYTE* from, const BYTE* to) const {
    if constexpr (PS == 4) {
      uint32_t a, b;
      std::memcpy(&a, from, 4);
      std::memcpy(&b, to, 4);
      return flood::PassC32(a, b, m_tol);
    } else {
      uint16_t a, b;
      std::memcpy(&a, from, 2);
      std::memcpy(&b, to, 2);
      return flood::PassA16(a, b, m_tol);
    }
  }
  // One pixel against four others: bit k set when the k-th passes.
  uint32_t PassFour(const BYTE* from, const BYTE* t0, const BYTE* t1, const BYTE* t2, const BYTE* t3) const {
    if constexpr (PS == 4) {
      uint32_t a, b[4];
      std::memcpy(&a, from, 4);
      std::memcpy(&b[0], t0, 4);
      std::memcpy(&b[1], t1, 4);
      std::memcpy(&b[2], t2, 4);
      std::memcpy(&b[3], t3, 4);
      return flood::PassC32FourSse2(a, b[0], b[1], b[2], b[3], m_tol);
    } else {
      return uint32_t(PassOne(from, t0)) | uint32_t(PassOne(from, t1)) << 1 | uint32_t(PassOne(from, t2)) << 2 |
             uint32_t(PassOne(from, t3)) << 3;
    }
  }
  uint32_t PassMany(const BYTE* from, const BYTE* to, int n) const {
    return PS == 4 ? flood::PassC32Sse2(from, to, n, m_tol) : flood::PassA16Sse2(from, to, n, m_tol);
  }

  // A run of one pixel whose row does not go on, as in a vertical passage: its four
  // neighbours in one test, and the pixels above and below it set and queued without a
  // branch. False, with nothing done, when the left or right neighbour joins the run: then
  // the run is widened the general way.
  bool Lone(int32_t y, int32_t x) {
    const int32_t xl = x > 0 ? x - 1 : x, xr = x + 1 < m_w ? x + 1 : x;
    const int32_t yu = y > 0 ? y - 1 : y, yd = y + 1 < m_h ? y + 1 : y;
    const BYTE* pr = PixRow(y);
    const uint32_t pass = PassFour(Pixel(pr, x), Pixel(pr, xl), Pixel(pr, xr), Pixel(PixRow(yu), x), Pixel(PixRow(yd), x));
    const DWORD* br = BitRow(y);
    DWORD* bu = BitRow(yu);
    DWORD* bd = BitRow(yd);
    // An edge clamps to the pixel itself, which is set, so it never counts as fresh.
    const uint32_t set = uint32_t(!Clear(br, xl)) | uint32_t(!Clear(br, xr)) << 1 | uint32_t(!Clear(bu, x)) << 2 |
                         uint32_t(!Clear(bd, x)) << 3;
    const uint32_t fresh = pass & ~set;
    if (fresh & 3) return false;
    if (m_queue.Room() < 2) {
      if (fresh & 4) Set(bu, x), Found(yu, x, x, -1);
      if (fresh & 8) Set(bd, x), Found(yd, x, x, 1);
      return true;
    }
    const int32_t bit = (x + m_ox) & 31, w = (x + m_ox) >> 5;
    bu[w] |= ((fresh >> 2) & 1) << bit;
    bd[w] |= ((fresh >> 3) & 1) << bit;
    Prefetch(yu > 0 ? yu - 1 : yu, x);
    Prefetch(yd + 1 < m_h ? yd + 1 : yd, x);
    FloodRunQueue::Run* at = m_queue.WriteAt();
    at[0] = {yu, x, x};
    const uint32_t n = (fresh >> 2) & 1;
    at[n] = {yd, x, x};
    m_queue.Commit(n + ((fresh >> 3) & 1));
    return true;
  }

  // The next eight pixels of a narrow place are tested at once, without a branch per pixel:
  // a maze of thin corridors makes each such branch a guess.
  int32_t ExtendRight(int32_t y, int32_t x1) {
    DWORD* br = BitRow(y);
    const BYTE* pr = PixRow(y);
    if (x1 + 8 < m_w) {
      const uint32_t open = PassMany(Pixel(pr, x1), Pixel(pr, x1 + 1), 8) & ~Extract8(br, x1 + 1 + m_ox, m_wordsPerRow);
      const int t = TrailingOnes(open);  // at most 8
      Set8(br, x1 + 1 + m_ox, LowMask(t), m_wordsPerRow);
      x1 += t;
      if (t < 8) return x1;
    }
    while (x1 < m_w - 1) {
      int n = int(std::min<int32_t>(32, m_w - 1 - x1));
      uint32_t clear = ~Extract(br, x1 + 1 + m_ox, n) & LowMask(n);
      int m = TrailingOnes(clear);  // test only the clear pixels next to the run
      if (!m) break;
      // The test covers m pixels, so its higher bits are 0 and t <= m.
      int t = TrailingOnes(PassMany(Pixel(pr, x1), Pixel(pr, x1 + 1), m));
      if (t) SetRange(br, x1 + 1 + m_ox, x1 + t + m_ox);
      x1 += t;
      if (t < n) break;
    }
    return x1;
  }

  int32_t ExtendLeft(int32_t y, int32_t x0) {
    DWORD* br = BitRow(y);
    const BYTE* pr = PixRow(y);
    if (x0 >= 8) {
      // Bit i is pixel x0 - 8 + i: the pixels next to the run are the high bits.
      const uint32_t open = PassMany(Pixel(pr, x0 - 7), Pixel(pr, x0 - 8), 8) &
                            ~Extract8(br, x0 - 8 + m_ox, m_wordsPerRow);
      const int t = std::min(8, LeadingOnes(open << 24));
      Set8(br, x0 - 8 + m_ox, 0xFFu & ~LowMask(8 - t), m_wordsPerRow);
      x0 -= t;
      if (t < 8) return x0;
    }
    while (x0 > 0) {
      int n = int(std::min<int32_t>(32, x0));
      // Bit i is pixel x0 - n + i: the pixels next to the run are the high bits.
      uint32_t clear = Extract(br, x0 - n + m_ox, n) ^ LowMask(n);
      int m = LeadingOnes(clear << (32 - n));
      if (!m) break;
      uint32_t pass = PassMany(Pixel(pr, x0 - m + 1), Pixel(pr, x0 - m), m);
      int t = LeadingOnes(pass << (32 - m));
      if (t) SetRange(br, x0 - t + m_ox, x0 - 1 + m_ox);
      x0 -= t;
      if (t < n) break;
    }
    return x0;
  }

  // Tests row y2 under or over the run [x0, x1] of row y, sets the pixels that pass and
  // queues them as runs.
  void ScanRow(int32_t y, int32_t y2, int32_t x0, int32_t x1) {
    DWORD* b2 = BitRow(y2);
    const BYTE* p1 = PixRow(y);
    const BYTE* p2 = PixRow(y2);
    if (x1 - x0 < 8 && x0 + 8 <= m_w) {
      // A narrow run: eight pixels tested at once, their runs queued from a table.
      const uint32_t fresh = PassMany(Pixel(p1, x0), Pixel(p2, x0), 8) &
                             ~Extract8(b2, x0 + m_ox, m_wordsPerRow) & LowMask(x1 - x0 + 1);
      Set8(b2, x0 + m_ox, fresh, m_wordsPerRow);
      const ByteRuns& runs = kByteRuns.at[fresh];
      if (m_queue.Room() >= 4) {
        FloodRunQueue::Run* at = m_queue.WriteAt();
        for (int k = 0; k < 4; ++k) at[k] = {y2, x0 + runs.first[k], x0 + runs.last[k]};
        m_queue.Commit(runs.count);
      } else {
        for (int k = 0; k < runs.count; ++k) Found(y2, x0 + runs.first[k], x0 + runs.last[k], y2 - y);
      }
      return;
    }
    int32_t bx0 = x0 + m_ox, bx1 = x1 + m_ox;
    int32_t open = -1;  // the first pixel of a run still growing, else -1
    for (int32_t w = bx0 >> 5; w <= bx1 >> 5; ++w) {
      int32_t base = w << 5;
      int lo = int(std::max(bx0, base) - base), hi = int(std::min(bx1, base + 31) - base);
      uint32_t clear = ~b2[w] & (LowMask(hi - lo + 1) << lo);
      uint32_t fresh = 0;
      if (clear) {
        const int c0 = __builtin_ctz(clear), c1 = 31 - __builtin_clz(clear);
        if (c1 - c0 < kSingleBits) {
          for (uint32_t c = clear; c; c &= c - 1) {
            const int b = __builtin_ctz(c);
            const int32_t x = base + b - m_ox;
            if (PassOne(Pixel(p1, x), Pixel(p2, x))) fresh |= 1u << b;
          }
        } else {
          const int32_t xs = base + c0 - m_ox;
          fresh = clear & (PassMany(Pixel(p1, xs), Pixel(p2, xs), c1 - c0 + 1) << c0);
        }
      }
      b2[w] |= fresh;
      EmitRuns(fresh, base - m_ox, y2, y2 - y, open);
    }
    if (open >= 0) Found(y2, open, x1, y2 - y);
  }

  // Queues a run found in the row next to a run of the region. That run will test the row
  // beyond it, a row nothing has read yet in a vertical passage: its memory is asked for
  // now, while the queue works through the runs before it.
  void Found(int32_t y, int32_t x0, int32_t x1, int32_t dir) {
    m_queue.Push({y, x0, x1});
    const int32_t beyond = y + dir;
    if (beyond >= 0 && beyond < m_h) Prefetch(beyond, x0);
  }
  void Prefetch(int32_t y, int32_t x) const { __builtin_prefetch(Pixel(PixRow(y), x)); }

  // Queues the runs of set bits of one word whose bit 0 is pixel x; a run reaching bit 31
  // stays open for the next word.
  void EmitRuns(uint32_t v, int32_t x, int32_t y, int32_t dir, int32_t& open) {
    if (open >= 0) {
      int t = TrailingOnes(v);
      if (t == 32) return;
      Found(y, open, x + t - 1, dir);
      open = -1;
      v &= ~LowMask(t);
    }
    while (v) {
      int s = __builtin_ctz(v);
      int len = TrailingOnes(v >> s);
      if (s + len >= 32) {
        open = x + s;
        return;
      }
      Found(y, x + s, x + s + len - 1, dir);
      v &= ~(LowMask(len) << s);
    }
  }

  FloodRunQueue& m_queue;
  DWORD* m_bits;
  size_t m_wordsPerRow;
  int32_t m_ox, m_oy;
  const BYTE* m_pixels;
  size_t m_rowBytes;
  int32_t m_w, m_h;
  uint32_t m_tol;
};

}  // namespace

void FloodRunQueue::Grow() {
  Block* b = m_pSpare;
  if (b) {
    m_pSpare = nullptr;
  } else {
    b = static_cast<Block*>(std::malloc(sizeof(Block)));
    GVERIFY(b, u"!pBlock");
    m_nPeak = std::max(m_nPeak, ++m_nBlocks);
  }
  b->next = nullptr;
  if (m_pTail) {
    m_pTail->next = b;
  } else {
    m_pHead = b;
    m_nRead = 0;
  }
  m_pTail = b;
  m_nWrite = 0;
}

void FloodRunQueue::Drop() {
  Block* b = m_pHead;
  m_pHead = b->next;
  if (!m_pHead) m_pTail = nullptr;
  m_nRead = 0;
  if (m_pSpare) {
    std::free(b);
    --m_nBlocks;
  } else {
    m_pSpare = b;
  }
}

void FloodRunQueue::Clear() {
  while (m_pHead) {
    Block* b = m_pHead;
    m_pHead = b->next;
    std::free(b);
  }
  std::free(m_pSpare);
  m_pHead = m_pTail = m_pSpare = nullptr;
  m_nRead = m_nWrite = 0;
  m_nBlocks = 0;
  m_nPeak = 0;
}

void* XFlood::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OFlood") == 0 ? static_cast<OFlood*>(this) : nullptr;
}

BOOL XFlood::Flood(DWORD* bitbox, const RECT* rcBitbox, const RECT* rcEnd, const POINT* seed, unsigned tolerance,
                   OLayer* layer, RECT* rcOut) {
  try {
    GCHECK(bitbox && rcBitbox && rcEnd && seed && layer && rcOut);
    GVERIFY(rcEnd->left < rcEnd->right && rcEnd->top < rcEnd->bottom, u"!RectIsValid(rcEnd)");
    if (seed->x < rcEnd->left || seed->x >= rcEnd->right || seed->y < rcEnd->top || seed->y >= rcEnd->bottom)
      return FALSE;
    const int64_t nBitSpan = int64_t(rcBitbox->right) - rcBitbox->left;
    GVERIFY((nBitSpan & 31) == 0, u"!0==(nBitSpan&31)");
    RECT rcLayer;
    layer->GetRect(&rcLayer);
    GVERIFY(RectInRectangle(*rcEnd, rcLayer), u"!RectInRectangle(rcEnd,rcLayer)");
    GVERIFY(RectInRectangle(*rcEnd, *rcBitbox), u"!RectInRectangle(rcEnd,rcBitbox)");

    const size_t wordsPerRow = size_t(nBitSpan >> 5);
    DWORD* seedRow = bitbox + size_t(int64_t(seed->y) - rcBitbox->top) * wordsPerRow;
    const int64_t seedBit = int64_t(seed->x) - rcBitbox->left;
    if (seedRow[seedBit >> 5] & (1u << (seedBit & 31))) return FALSE;
    seedRow[seedBit >> 5] |= 1u << (seedBit & 31);

    LayerLock lock;
    GCHECK(lock.Lock(layer, LYR_LOCK_READ));
    const size_t rowBytes = size_t(lock.nPitch) * size_t(lock.nPixelSize);
    const BYTE* origin = lock.pPixels + size_t(int64_t(rcEnd->top) - rcLayer.top) * rowBytes +
                         size_t(int64_t(rcEnd->left) - rcLayer.left) * size_t(lock.nPixelSize);
    const int32_t ox = int32_t(int64_t(rcEnd->left) - rcBitbox->left),
                  oy = int32_t(int64_t(rcEnd->top) - rcBitbox->top);
    const int32_t w = int32_t(int64_t(rcEnd->right) - rcEnd->left), h = int32_t(int64_t(rcEnd->bottom) - rcEnd->top);
    const int32_t sx = int32_t(int64_t(seed->x) - rcEnd->left), sy = int32_t(int64_t(seed->y) - rcEnd->top);
    {
      // The queue gives its blocks back however the fill ends.
      struct Drain {
        XFlood* self;
        ~Drain() {
          self->m_nLastPeak = self->m_queue.PeakBlockCount();
          self->m_queue.Clear();
        }
      } drain{this};
      if (lock.nPixelSize == 4)
        FillPass<4>(m_queue, bitbox, wordsPerRow, ox, oy, origin, rowBytes, w, h, tolerance).Run(sx, sy);
      else
        FillPass<2>(m_queue, bitbox, wordsPerRow, ox, oy, origin, rowBytes, w, h, tolerance).Run(sx, sy);
    }
    *rcOut = *rcEnd;
    lock.Unlock();
    return TRUE;
  }
  GCATCH(GetClassName(), u"::Flood()")
}

BOOL XFlood::MergeBitboxToBitmap(DWORD* bitmap, const RECT* rcBitmap, DWORD* bitbox, const RECT* rcBitbox,
                                 const POINT* centre, int radius) {
  try {
    GCHECK(bitmap && rcBitmap && bitbox && rcBitbox && centre);
    const Overlap cx = OverlapOf(rcBitmap->left, rcBitmap->right, rcBitbox->left, rcBitbox->right);
    const Overlap cy = OverlapOf(rcBitmap->top, rcBitmap->bottom, rcBitbox->top, rcBitbox->bottom);
    if (!cx.l || !cy.l) return FALSE;
    const int64_t nMapSpan = int64_t(rcBitmap->right) - rcBitmap->left;
    const int64_t nBoxSpan = int64_t(rcBitbox->right) - rcBitbox->left;
    GVERIFY((cx.l1 & 31) == 0, u"!(cx.l1&31)==0");
    GVERIFY((cx.l2 & 31) == 0, u"!(cx.l2&31)==0");
    GVERIFY((cx.l & 31) == 0, u"!(cx.l &31)==0");
    GVERIFY((nMapSpan & 31) == 0, u"!(nMapSpan&31)==0");
    GVERIFY((nBoxSpan & 31) == 0, u"!(nBoxSpan&31)==0");
    const size_t mapWords = size_t(nMapSpan >> 5), boxWords = size_t(nBoxSpan >> 5);

    if (radius > 0) {
      for (int64_t y = rcBitbox->top; y < rcBitbox->bottom; ++y) {
        double b = (double(std::llabs(y - centre->y)) + 0.5) / radius;
        if (b > 1) b = 1;
        const double h = radius * std::sqrt(1 - b * b);
        const int64_t x0 = int64_t(std::floor(centre->x - h + 0.5));
        const int64_t x1 = int64_t(std::floor(centre->x + h + 0.5));
        const int64_t p0 = std::clamp<int64_t>(x0 - rcBitbox->left, 0, nBoxSpan);
        const int64_t p1 = std::clamp<int64_t>(x1 - rcBitbox->left, 0, nBoxSpan);
        DWORD* row = bitbox + size_t(y - rcBitbox->top) * boxWords;
        ClearRange(row, 0, p0);
        ClearRange(row, p1, nBoxSpan);
      }
    }

    for (int32_t r = 0; r < cy.l; ++r) {
      DWORD* dst = bitmap + size_t(cy.l1 + r) * mapWords + size_t(cx.l1 >> 5);
      const DWORD* src = bitbox + size_t(cy.l2 + r) * boxWords + size_t(cx.l2 >> 5);
      for (int32_t k = 0; k < cx.l >> 5; ++k) dst[k] |= src[k];
    }
    return TRUE;
  }
  GCATCH(GetClassName(), u"::MergeBitboxToBitmap()")
}

BOOL XFlood::CopyBitmapToBitbox(DWORD* bitbox, const RECT* rcBitbox, const DWORD* bitmap, const RECT* rcBitmap) {
  try {
    GCHECK(bitbox && rcBitbox && bitmap && rcBitmap);
    const Overlap cx = OverlapOf(rcBitmap->left, rcBitmap->right, rcBitbox->left, rcBitbox->right);
    const Overlap cy = OverlapOf(rcBitmap->top, rcBitmap->bottom, rcBitbox->top, rcBitbox->bottom);
    if (!cx.l || !cy.l) return FALSE;
    const int64_t nMapSpan = int64_t(rcBitmap->right) - rcBitmap->left;
    const int64_t nBoxSpan = int64_t(rcBitbox->right) - rcBitbox->left;
    GVERIFY((cx.l1 & 31) == 0, u"!(cx.l1&31)==0");
    GVERIFY((cx.l2 & 31) == 0, u"!(cx.l2&31)==0");
    GVERIFY((cx.l & 31) == 0, u"!(cx.l &31)==0");
    GVERIFY((nMapSpan & 31) == 0, u"!(nMapSpan&31)==0");
    GVERIFY((nBoxSpan & 31) == 0, u"!(nBoxSpan&31)==0");
    const size_t mapWords = size_t(nMapSpan >> 5), boxWords = size_t(nBoxSpan >> 5);
    const size_t boxRows = size_t(int64_t(rcBitbox->bottom) - rcBitbox->top);

    // The bit box is reused from flood to flood: every bit outside the copied overlap is
    // cleared, so nothing of an earlier flood (or of fresh memory) reads as visited.
    const size_t w0 = size_t(cx.l2 >> 5), w1 = w0 + size_t(cx.l >> 5);
    for (size_t y = 0; y < boxRows; ++y) {
      DWORD* row = bitbox + y * boxWords;
      if (y < size_t(cy.l2) || y >= size_t(cy.l2) + size_t(cy.l)) {
        std::fill(row, row + boxWords, 0u);
        continue;
      }
      std::fill(row, row + w0, 0u);
      std::fill(row + w1, row + boxWords, 0u);
      const DWORD* src = bitmap + size_t(cy.l1) * mapWords + (y - size_t(cy.l2)) * mapWords + size_t(cx.l1 >> 5);
      std::copy(src, src + (w1 - w0), row + w0);
    }
    return TRUE;
  }
  GCATCH(GetClassName(), u"::CopyBitmapToBitbox()")
}
