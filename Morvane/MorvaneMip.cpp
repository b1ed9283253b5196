// Mip levels and the thumbnail.
//
// Levels sit on the canvas grid: level-L pixel (c, r) is the canvas level-L pixel
// ((x >> L) + c, (y >> L) + r), the average of the 2 x 2 level-(L-1) canvas pixels below it
// (MipKernels.h gives the rule). A source pixel outside the layer's extent at its level is
// transparent: level 0's extent is width x height (its padding is never read), level L's
// is the GetShowParam rectangle of L, which fits the level's pitch and padded height
// (extent(L) <= extent(L-1) / 2 + 1, as the pitches and heights are).
//
// MakeThumbnail reads the mip levels as they stand, so callers refresh them first.
#include <algorithm>
#include <cstring>
#include <vector>

#include "BlockRuns.h"
#include "MipKernels.h"
#include "Morvane.h"
#include "SharedPool.h"

namespace {

constexpr int kThumbSide = 128;

// One level's pixels and its used extent in canvas level coordinates.
struct Level {
  BYTE* pixels;
  size_t rowBytes;
  int64_t left, top;  // canvas position of pixel (0, 0)
  int64_t width, height;
};

Level LevelOf(BYTE* pixels, uint32_t pitch, int pixelSize, int32_t x, int32_t y, int32_t w, int32_t h, int level) {
  const int64_t step = int64_t(1) << level;
  Level lv;
  lv.pixels = pixels;
  lv.rowBytes = size_t(pitch) * size_t(pixelSize);
  lv.left = int64_t(x) >> level;
  lv.top = int64_t(y) >> level;
  lv.width = ((int64_t(x) + w + step - 1) >> level) - lv.left;
  lv.height = ((int64_t(y) + h + step - 1) >> level) - lv.top;
  return lv;
}

template <class Pixel>
struct Kernel;
template <>
struct Kernel<uint32_t> {
  static uint32_t Pixel(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return mip::ReducePixelC32(a, b, c, d); }
  static void Row(uint32_t* dst, const uint32_t* s0, const uint32_t* s1, size_t n) {
    mip::ReduceRowC32Sse2(dst, s0, s1, n);
  }
};
template <>
struct Kernel<uint16_t> {
  static uint16_t Pixel(uint16_t a, uint16_t b, uint16_t c, uint16_t d) { return mip::ReducePixelA16(a, b, c, d); }
  static void Row(uint16_t* dst, const uint16_t* s0, const uint16_t* s1, size_t n) {
    mip::ReduceRowA16Sse2(dst, s0, s1, n);
  }
};

// Writes dst pixels [c0, c1) x [r0, r1) (dst coordinates) from the level above it.
template <class Pixel>
void ReduceRect(const Level& src, const Level& dst, int64_t c0, int64_t c1, int64_t r0, int64_t r1,
                const BYTE* zeroRow) {
  // Source column of dst column c is 2c - sx (and the next one); likewise rows.
  const int64_t sx = src.left - 2 * dst.left, sy = src.top - 2 * dst.top;
  // Dst columns whose two source columns both lie inside the source extent.
  const int64_t inBeg = std::max(c0, sx), inEnd = std::min(c1, (src.width + sx) / 2);
  auto rowAt = [&](int64_t y) {
    const BYTE* row = y >= 0 && y < src.height ? src.pixels + size_t(y) * src.rowBytes : zeroRow;
    return reinterpret_cast<const Pixel*>(row);
  };
  for (int64_t r = r0; r < r1; ++r) {
    const int64_t y0 = 2 * r - sy;
    const Pixel* s0 = rowAt(y0);
    const Pixel* s1 = rowAt(y0 + 1);
    Pixel* out = reinterpret_cast<Pixel*>(dst.pixels + size_t(r) * dst.rowBytes);
    if (inBeg < inEnd)
      Kernel<Pixel>::Row(out + inBeg, s0 + (2 * inBeg - sx), s1 + (2 * inBeg - sx), size_t(inEnd - inBeg));
    // The at most one column at each end that reaches outside the source.
    auto edge = [&](int64_t c) {
      const int64_t x0 = 2 * c - sx;
      auto at = [&](const Pixel* row, int64_t col) { return col >= 0 && col < src.width ? row[col] : Pixel(0); };
      out[c] = Kernel<Pixel>::Pixel(at(s0, x0), at(s0, x0 + 1), at(s1, x0), at(s1, x0 + 1));
    };
    for (int64_t c = c0; c < c1 && c < inBeg; ++c) edge(c);
    for (int64_t c = std::max(c0, std::max(inBeg, inEnd)); c < c1; ++c) edge(c);
  }
}

// One level's rectangle [c0, c1) x [r0, r1) from the level above it, cut into bands of rows
// that the shared pool reduces side by side: each band writes only its own rows of dst.
struct LevelPass {
  const Level* src;
  const Level* dst;
  int64_t c0, c1, r0, r1;
  int64_t bandRows;
  const BYTE* zeroRow;
  bool c32;
};

void ReduceBand(void* context, int index, int) {
  const LevelPass& p = *static_cast<const LevelPass*>(context);
  const int64_t r0 = p.r0 + int64_t(index) * p.bandRows, r1 = std::min(p.r1, r0 + p.bandRows);
  if (p.c32)
    ReduceRect<uint32_t>(*p.src, *p.dst, p.c0, p.c1, r0, r1, p.zeroRow);
  else
    ReduceRect<uint16_t>(*p.src, *p.dst, p.c0, p.c1, r0, r1, p.zeroRow);
}

// Below this many pixels a level is reduced on the calling thread: waking the pool would
// cost more than it saves (a stroke's blocks stay below; a whole row of blocks does not).
constexpr int64_t kPoolPixels = 1 << 15;

void ReduceLevel(LevelPass& pass) {
  const int64_t rows = pass.r1 - pass.r0, pixels = rows * (pass.c1 - pass.c0);
  if (rows <= 0 || pass.c1 <= pass.c0) return;
  if (pixels < kPoolPixels) {
    pass.bandRows = rows;
    ReduceBand(&pass, 0, 0);
    return;
  }
  // A few bands per worker, so that one slow band holds up little.
  const int64_t bands = std::min<int64_t>(rows, int64_t(shared_pool::Workers()) * 4);
  pass.bandRows = (rows + bands - 1) / bands;
  shared_pool::Run(int((rows + pass.bandRows - 1) / pass.bandRows), ReduceBand, &pass);
}

}  // namespace

void Morvane::MipRefreshSpace(int64_t left, int64_t top, int64_t right, int64_t bottom, const BYTE* zeroRow) {
  left = std::max<int64_t>(left, m_x);
  top = std::max<int64_t>(top, m_y);
  right = std::min<int64_t>(right, int64_t(m_x) + m_nWidth);
  bottom = std::min<int64_t>(bottom, int64_t(m_y) + m_nHeight);
  if (left >= right || top >= bottom) return;
  const int64_t spaceLeft = left, spaceTop = top, spaceRight = right, spaceBottom = bottom;
  Level src = LevelOf(m_apPixels[0], m_anPitch[0], m_nPixelSize, m_x, m_y, m_nWidth, m_nHeight, 0);
  for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
    // The level's rectangle covering the changed one above it, rounded outward.
    left >>= 1;
    top >>= 1;
    right = (right + 1) >> 1;
    bottom = (bottom + 1) >> 1;
    Level dst = LevelOf(m_apPixels[level], m_anPitch[level], m_nPixelSize, m_x, m_y, m_nWidth, m_nHeight, level);
    const int64_t c0 = std::max<int64_t>(left - dst.left, 0), c1 = std::min(right - dst.left, dst.width);
    const int64_t r0 = std::max<int64_t>(top - dst.top, 0), r1 = std::min(bottom - dst.top, dst.height);
    LevelPass pass{&src, &dst, c0, c1, r0, r1, 0, zeroRow, m_nFormat == myFORMAT_C32};
    ReduceLevel(pass);
    src = dst;
  }
  m_occupancy.Refreshed(OccupancySurface(), spaceLeft, spaceTop, spaceRight, spaceBottom);
}

void Morvane::MipRefresh(const RECT* rc) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    const std::vector<BYTE> zeroRow(RowBytes(), 0);
    if (rc)
      MipRefreshSpace(rc->left, rc->top, rc->right, rc->bottom, zeroRow.data());
    else
      MipRefreshSpace(m_x, m_y, int64_t(m_x) + m_nWidth, int64_t(m_y) + m_nHeight, zeroRow.data());
  }
  GCATCH(GetClassName(), u"::MipRefresh()",
         ->AppendArg(GArgInt(m_myState))
             ->AppendArg(GArgInt(m_nWidth))
             ->AppendArg(GArgInt(m_nHeight))
             ->AppendArg(GArgInt(m_x))
             ->AppendArg(GArgInt(m_y)))
}

int Morvane::MipRefreshBlocks(const BYTE* map, const RECT& box) {
  if (box.left >= box.right || box.top >= box.bottom) return 0;
  // Run by run, each through all levels: a later run rewrites every coarse pixel that
  // depends on what it changed, so the end result is that of one refresh over the union.
  const std::vector<BYTE> zeroRow(RowBytes(), 0);
  int blocks = 0;
  const BYTE* corner = map + size_t(box.top) * LYR_MARK_SIDE + size_t(box.left);
  ForEachRun(corner, box.right - box.left, box.bottom - box.top, [&](const BlockRun& run) {
    const int64_t left = int64_t(m_x) + int64_t(box.left + run.column) * LYR_BLOCK;
    const int64_t top = int64_t(m_y) + int64_t(box.top + run.row) * LYR_BLOCK;
    MipRefreshSpace(left, top, left + int64_t(run.count) * LYR_BLOCK, top + LYR_BLOCK, zeroRow.data());
    blocks += run.count;
  });
  return blocks;
}

void Morvane::PAT_MarkMipRefresh() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    MipRefreshBlocks(m_abMarkCurrent, RECT{0, 0, BlockColumns(), BlockRows()});
  }
  GCATCH(GetClassName(), u"::PAT_MarkMipRefresh()",
         ->AppendArg(GArgInt(m_myState))
             ->AppendArg(GArgInt(m_nWidth))
             ->AppendArg(GArgInt(m_nHeight))
             ->AppendArg(GArgInt(m_x))
             ->AppendArg(GArgInt(m_y)))
}

int Morvane::PAT_MarkMipRefreshPending() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    const int blocks = MipRefreshBlocks(m_abMarkMipPending, m_rcMipPending);
    ForgetMipPending();
    return blocks;
  }
  GCATCH(GetClassName(), u"::PAT_MarkMipRefreshPending()",
         ->AppendArg(GArgInt(m_myState))
             ->AppendArg(GArgInt(m_nWidth))
             ->AppendArg(GArgInt(m_nHeight)))
}

namespace {

// Any pixel of level 0's used area with coverage (alpha, or a mask's value, non-zero), read
// in the blocks that may hold one.
bool HasCoverage(const BYTE* pixels, size_t rowBytes, int width, int height, int format,
                 const BlockOccupancy& occupancy) {
  for (int br = 0; br < occupancy.Rows(); ++br) {
    for (int bc = 0; bc < occupancy.Columns(); ++bc) {
      if (!occupancy.IsMarked(bc, br)) continue;
      const int c0 = bc * LYR_BLOCK, c1 = std::min(width, c0 + LYR_BLOCK);
      const int r1 = std::min(height, (br + 1) * LYR_BLOCK);
      for (int r = br * LYR_BLOCK; r < r1; ++r) {
        const BYTE* row = pixels + size_t(r) * rowBytes;
        if (format == OLayer::myFORMAT_C32) {
          for (int c = c0; c < c1; ++c)
            if (row[size_t(c) * 4 + 3]) return true;
        } else {
          for (int c = c0 * 2; c < c1 * 2; ++c)
            if (row[c]) return true;
        }
      }
    }
  }
  return false;
}

inline uint32_t Over(uint32_t fg, uint32_t bg, uint32_t a) { return (fg * a + bg * (255 - a) + 127) / 255; }

}  // namespace

// The image of the chosen level fills the thumbnail along its longer side (smaller layers are
// enlarged), keeps its aspect and sits centred; each thumbnail pixel takes the level pixel
// under its centre (nearest). The level is the smallest one still at least 128 on its longer
// side, so no source pixel is skipped by more than one. Pixels are composed over the
// background by their own alpha (a mask by its coverage's high byte, in the layer colour);
// the layer's ALPHA is not applied: the thumbnail shows pixels, not the layer's opacity.
const uint32_t* Morvane::MakeThumbnail(COLORREF background) {
  try {
    GVERIFY(m_myState != myNULL, u"!m_myState!=myNULL");
    // An unsure map is settled by a scan where it can be; the coverage is then sought in the
    // blocks that may hold some.
    m_occupancy.Resolve(OccupancySurface());
    if (!HasCoverage(m_apPixels[0], RowBytes(), m_nWidth, m_nHeight, m_nFormat, m_occupancy)) return nullptr;
    auto levelOf = [&](int level) {
      return LevelOf(m_apPixels[level], m_anPitch[level], m_nPixelSize, m_x, m_y, m_nWidth, m_nHeight, level);
    };
    int level = 0;
    while (level + 1 < LYR_MIP_DEPTH) {
      Level next = levelOf(level + 1);
      if (std::max(next.width, next.height) < kThumbSide) break;
      ++level;
    }
    const Level lv = levelOf(level);
    const int64_t longer = std::max(lv.width, lv.height);
    const int64_t tw = std::max<int64_t>(1, (lv.width * kThumbSide + longer / 2) / longer);
    const int64_t th = std::max<int64_t>(1, (lv.height * kThumbSide + longer / 2) / longer);
    const int64_t ox = (kThumbSide - tw) / 2, oy = (kThumbSide - th) / 2;

    if (!m_pThumbnail) m_pThumbnail = new uint32_t[kThumbSide * kThumbSide];
    const uint32_t bgR = background & 0xFF, bgG = (background >> 8) & 0xFF, bgB = (background >> 16) & 0xFF;
    const uint32_t bgPixel = 0xFF000000u | (bgR << 16) | (bgG << 8) | bgB;
    std::fill(m_pThumbnail, m_pThumbnail + kThumbSide * kThumbSide, bgPixel);
    const uint32_t maskR = m_dwColor & 0xFF, maskG = (m_dwColor >> 8) & 0xFF, maskB = (m_dwColor >> 16) & 0xFF;
    for (int64_t ty = 0; ty < th; ++ty) {
      const int64_t sr = ((2 * ty + 1) * lv.height) / (2 * th);
      const BYTE* row = lv.pixels + size_t(sr) * lv.rowBytes;
      uint32_t* out = m_pThumbnail + size_t(kThumbSide - 1 - (oy + ty)) * kThumbSide + size_t(ox);  // bottom-up
      for (int64_t tx = 0; tx < tw; ++tx) {
        const int64_t sc = ((2 * tx + 1) * lv.width) / (2 * tw);
        uint32_t r, g, b, a;
        if (m_nFormat == myFORMAT_C32) {
          uint32_t p;
          std::memcpy(&p, row + size_t(sc) * 4, 4);
          b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF, a = p >> 24;
        } else {
          uint16_t v;
          std::memcpy(&v, row + size_t(sc) * 2, 2);
          r = maskR, g = maskG, b = maskB, a = uint32_t(v >> 8);
        }
        out[tx] = 0xFF000000u | (Over(r, bgR, a) << 16) | (Over(g, bgG, a) << 8) | Over(b, bgB, a);
      }
    }
    return m_pThumbnail;
  }
  GCATCH(GetClassName(), u"::MakeThumbnail()", ->AppendArg(GArgInt(m_myState)))
}
