// The view renderer. Per tile of 128 x 128 client pixels: MapTile maps the tile back into
// the space at the pass's mip level, the compositor composes the layers over the footprint
// into the accumulator, the resampler turns it into screen pixels and CopyTile stores them
// into the bottom-up back buffer. Tiles are independent (each has its own accumulator and
// writes its own part of the buffer), so a pool's threads take them in any order.
//
// Where the view maps screen pixels 1:1 onto the level's pixels, the tile's own pixels are
// composed and packed without the resampler; where the top entry is besides an opaque colour
// layer over the whole tile, the passes give that layer's colour with the background's
// alpha: the tile is packed straight from the layer.
//
// The anchor: the top-left corner of accumulator pixel (200, 200) is the integer space point
// A = floor of the tile centre's image (at the level). The resampler measures every pixel
// centre from the screen point that maps onto A, in 1/32 pixel; at zoom 1 without rotation
// and with an integer view centre that point is a pixel corner, so all eight sub-samples of a
// pixel fall into one accumulator pixel and the tile is copied exactly. (With the view
// centre on a half pixel the anchor lies on a pixel centre and each pixel averages the 2 x 2
// accumulator pixels around it: sub-sample offsets -14..-2 give -1, 2..14 give 0.)
#include "ViewRenderer.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/base/TilePool.h"
#include "ViewMath.h"

namespace {

constexpr int kMaxEntries = COMPOSE_MAX_ENTRIES;  // the record block
constexpr uint32_t kOutsideColour = 0x909090;
constexpr double kCentreLimit = 1 << 20;  // far beyond any space; keeps the maps in range

struct AlignedFree {
  void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(64)); }
};

int RoundUp4(int v) { return (v + 3) & ~3; }

// A convex quadrilateral, asked for the smallest and largest x inside bands of y.
class Quad {
 public:
  Quad(const double (&x)[4], const double (&y)[4]) {
    for (int i = 0; i < 4; ++i) {
      const int j = (i + 1) & 3;
      Edge& e = m_edges[i];
      e.x = x[i];
      e.y = y[i];
      e.y0 = std::min(y[i], y[j]);
      e.y1 = std::max(y[i], y[j]);
      e.slope = y[i] == y[j] ? 0 : (x[j] - x[i]) / (y[j] - y[i]);
      e.xEnd = x[j];
    }
  }
  // False when the band y0 <= y <= y1 misses the quadrilateral.
  bool BandExtent(double y0, double y1, double* lo, double* hi) const {
    double mn = HUGE_VAL, mx = -HUGE_VAL;
    for (const Edge& e : m_edges) {
      if (e.y1 < y0 || e.y0 > y1) continue;
      if (e.y0 == e.y1) {  // level: both ends count
        mn = std::min({mn, e.x, e.xEnd});
        mx = std::max({mx, e.x, e.xEnd});
        continue;
      }
      // The part of the edge inside the band; x is linear along it.
      for (double yc : {std::max(e.y0, y0), std::min(e.y1, y1)}) {
        const double x = e.x + e.slope * (yc - e.y);
        mn = std::min(mn, x);
        mx = std::max(mx, x);
      }
    }
    if (mn > mx) return false;
    *lo = mn;
    *hi = mx;
    return true;
  }

 private:
  struct Edge {
    double x, y, y0, y1, slope, xEnd;
  };
  Edge m_edges[4];
};

}  // namespace

void MapTile(const ViewPass& v, int left, int top, int width, int height, ResampleParams* rp, ComposeWork* work) {
  MapTileAnchor(v, left, top, width, height, rp, work);
  MapTileFootprint(v, *rp, work);
}

void MapTileAnchor(const ViewPass& v, int left, int top, int width, int height, ResampleParams* rp,
                   ComposeWork* work) {
  const double k = v.step / 2048.0;  // accumulator pixels per screen pixel, as the resampler scales
  const double C = v.cosQ14 / 16384.0, S = v.sinQ14 / 16384.0;
  const double f = v.flip ? -1.0 : 1.0;
  const int cx = v.clientWidth / 2, cy = v.clientHeight / 2;

  // The tile centre's image, floored: the anchor point A at the level.
  const double a = f * (left + width * 0.5 - cx), b = top + height * 0.5 - cy;
  const double Ax = std::floor(v.centreX + k * (a * C + b * S));
  const double Ay = std::floor(v.centreY + k * (b * C - a * S));
  // The client point that maps onto A, through the inverse of the same (Q14) rotation.
  const double det = C * C + S * S;
  const double du = (Ax - v.centreX) / k, dv = (Ay - v.centreY) / k;
  const double px = cx + f * (C * du - S * dv) / det;
  const double py = cy + (S * du + C * dv) / det;

  rp->cosQ14 = v.cosQ14;
  rp->sinQ14 = v.sinQ14;
  rp->step = v.step;
  rp->flip = v.flip;
  rp->ax = int32_t(std::lround(32.0 * (px - left)));
  rp->ay = int32_t(std::lround(32.0 * (py - top)));
  rp->width = width;
  rp->height = height;

  work->originX = int32_t(Ax) - ACC_ANCHOR;
  work->originY = int32_t(Ay) - ACC_ANCHOR;
}

void MapTileFootprint(const ViewPass& v, const ResampleParams& p, ComposeWork* work) {
  const ResampleParams* rp = &p;
  const int width = p.width, height = p.height;
  const double k = v.step / 2048.0;
  const double C = v.cosQ14 / 16384.0, S = v.sinQ14 / 16384.0;

  // The footprint: the parallelogram of the pixel centres' images in accumulator pixels (the
  // resampler's own X and Y, so the anchor's rounding is included).
  double X0 = 16 - rp->ax, X1 = 32.0 * (width - 1) + 16 - rp->ax;
  if (v.flip) {
    std::swap(X0, X1);
    X0 = -X0;
    X1 = -X1;
  }
  const double Y0 = 16 - rp->ay, Y1 = 32.0 * (height - 1) + 16 - rp->ay;
  const double m = k / 32.0;
  double qx[4], qy[4];
  const double cornerX[4] = {X0, X1, X1, X0}, cornerY[4] = {Y0, Y0, Y1, Y1};
  for (int i = 0; i < 4; ++i) {
    qx[i] = ACC_ANCHOR + m * (cornerX[i] * C + cornerY[i] * S);
    qy[i] = ACC_ANCHOR + m * (cornerY[i] * C - cornerX[i] * S);
  }
  const double yMin = *std::min_element(qy, qy + 4), yMax = *std::max_element(qy, qy + 4);

  // Each span reaches exactly as far as the sub-samples can: sample k of a pixel reads
  // floor(m * (U + du)) with U the floored rotation of the centre, so it lies in
  // (centre + m * du - m, centre + m * du] along each axis, du and dv in -14..14. A row r is
  // read by centres with y in (r - 14m, r + 1 + 15m), and those reach from their least x
  // less 15m to their greatest x plus 14m. (A little slack covers the doubles' rounding.)
  constexpr double kSlack = 1e-6;
  const double reachLo = 15 * m + kSlack, reachHi = 14 * m + kSlack;
  const int first = std::max(0, int(std::floor(yMin - reachLo)));
  const int end = std::min(ACC_SIDE, int(std::floor(yMax + reachHi)) + 1);
  work->firstRow = first;
  work->endRow = std::max(first, end);
  const Quad quad(qx, qy);
  for (int r = first; r < end; ++r) {
    ComposeSpan& s = work->spans[r];
    s.start = s.end = 0;
    double lo = 0, hi = 0;
    if (!quad.BandExtent(r - reachHi, r + 1 + reachLo, &lo, &hi)) continue;
    s.start = std::max(0, int(std::floor(lo - reachLo)));
    s.end = std::min(ACC_SIDE, int(std::floor(hi + reachHi)) + 1);
    if (s.end < s.start) s.end = s.start;
  }
}

namespace {

// The layers of a pass may be packed straight into the buffer on tiles where the top entry
// covers opaquely: every entry is plain (no nest, no glass, which alone change the alpha
// lane, no end code) and the top one is a colour layer in normal mode at full opacity.
bool TopPacksStraight(const ComposeEntry* entries, int count) {
  if (count <= 0) return false;
  for (int i = 0; i < count; ++i) {
    const uint32_t code = entries[i].code & 63;
    if (!(code < COMPOSE_GLASS || (code >= COMPOSE_C32_MASKED && code < COMPOSE_NEST))) return false;
  }
  const ComposeEntry& top = entries[count - 1];
  return (top.code & 63) == uint32_t(COMPOSE_C32) + uint32_t(myMODE_NORMAL) && top.opacity[0] >= 128;
}

// Packs the tile straight from the top entry: its colour with the background's alpha. False
// (the tile maybe half written; the caller renders it whole) where a pixel is not opaque.
bool PackStraight(const ComposeEntry& top, int x0, int y0, int width, int height, uint32_t alpha,
                  uint8_t* const* dstRows) {
  const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000u));
  const __m128i alphaBits = _mm_set1_epi32(int(alpha << 24));
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  constexpr int kAhead = 4;  // rows of a tile are short bursts in pages of their own: fetch ahead
  auto rowOf = [&](int j) {
    return static_cast<const uint32_t*>(top.source) + size_t(y0 + j - top.top) * top.pitch + size_t(x0 - top.left);
  };
  auto fetch = [&](int j) {  // every line of the row, the partial last one too
    for (int x = 0; x < width + 15; x += 16) _mm_prefetch(reinterpret_cast<const char*>(rowOf(j) + x), _MM_HINT_T0);
  };
  for (int j = 0; j < std::min(kAhead, height); ++j) fetch(j);
  for (int j = 0; j < height; ++j) {
    const uint32_t* src = rowOf(j);
    if (j + kAhead < height) fetch(j + kAhead);
    __m128i* dst = reinterpret_cast<__m128i*>(dstRows[j]);
    for (int x = 0; x < width; x += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(p, alphaMask), alphaMask)) != 0xFFFF) return false;
      _mm_stream_si128(dst + x / 4, _mm_or_si128(_mm_and_si128(p, colourMask), alphaBits));
    }
  }
  return true;
}

// Packs width x height accumulator pixels from (col0, row0) into the buffer rows, as the
// resampler and CopyTile would at 1:1 (the resampler keeps a lane modulo 8192).
void PackAccumulator(const ComposeWork& w, int col0, int row0, int width, int height, uint8_t* const* dstRows) {
  const __m128i mask = _mm_set1_epi16(0x1FFF);
  for (int j = 0; j < height; ++j) {
    const __m128i* src = reinterpret_cast<const __m128i*>(w.acc[row0 + j][col0]);
    __m128i* dst = reinterpret_cast<__m128i*>(dstRows[j]);
    for (int x = 0; x < width / 4; ++x)
      _mm_stream_si128(dst + x, _mm_packus_epi16(_mm_and_si128(_mm_loadu_si128(src + 2 * x), mask),
                                                 _mm_and_si128(_mm_loadu_si128(src + 2 * x + 1), mask)));
  }
}

// One thread's scratch: its accumulator, resampled rows and the tile's own entries.
struct TileScratch {
  std::unique_ptr<ComposeWork> work{new ComposeWork()};
  std::unique_ptr<TileRows> rows{new TileRows()};
  std::unique_ptr<ComposeEntry[]> entries{new ComposeEntry[kMaxEntries]()};
};

// Where a layer's blocks hold nothing: its block map at the pass's level (null: unknown).
struct EntryBlocks {
  const BYTE* map = nullptr;
  uint32_t pitch = 0;
  int64_t side = LYR_BLOCK;  // of a cell, in pixels
};

// The entries that draw anything inside the box [x0, x1) x [y0, y1) (space at the level), into
// out; returns their number. A plain entry (no nest, no copy, no end) mixes with weight 0 where
// its pixel is zero and leaves the pixel as it is, so it is left out where every block of it in
// the box is empty, and cut to the blocks that are not (its pixels moved along) elsewhere.
int TileEntries(const ComposeEntry* entries, const EntryBlocks* blocks, int count, int64_t x0, int64_t y0,
                int64_t x1, int64_t y1, ComposeEntry* out) {
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const ComposeEntry& e = entries[i];
    const uint32_t code = e.code & 63;
    ComposeEntry& o = out[n];
    o = e;
    if (!blocks[i].map || code >= COMPOSE_NEST) {
      ++n;
      continue;
    }
    // The box in the entry's own pixels, then in its blocks.
    const int64_t px0 = std::max<int64_t>(x0, e.left) - e.left, px1 = std::min<int64_t>(x1, e.right) - e.left;
    const int64_t py0 = std::max<int64_t>(y0, e.top) - e.top, py1 = std::min<int64_t>(y1, e.bottom) - e.top;
    if (px0 >= px1 || py0 >= py1) continue;
    const int64_t side = blocks[i].side;
    const int64_t c0 = px0 / side, c1 = (px1 - 1) / side, r0 = py0 / side, r1 = (py1 - 1) / side;
    int64_t cMin = INT64_MAX, cMax = -1, rMin = INT64_MAX, rMax = -1;
    for (int64_t r = r0; r <= r1; ++r) {
      const BYTE* row = blocks[i].map + size_t(r) * blocks[i].pitch;
      for (int64_t c = c0; c <= c1; ++c) {
        if (!row[c]) continue;
        cMin = std::min(cMin, c), cMax = std::max(cMax, c);
        rMin = std::min(rMin, r), rMax = std::max(rMax, r);
      }
    }
    if (cMax < 0) continue;
    const int64_t dx = cMin * side, dy = rMin * side;
    o.left = int32_t(e.left + dx);
    o.top = int32_t(e.top + dy);
    o.right = int32_t(std::min<int64_t>(e.right, e.left + (cMax + 1) * side));
    o.bottom = int32_t(std::min<int64_t>(e.bottom, e.top + (rMax + 1) * side));
    const size_t shift = size_t(dy) * e.pitch + size_t(dx);
    const size_t pixelSize = (code < COMPOSE_C32 || (code >= COMPOSE_GLASS && code < COMPOSE_C32_MASKED)) ? 2 : 4;
    o.source = static_cast<const BYTE*>(e.source) + shift * pixelSize;
    if (e.mask) o.mask = e.mask + shift;
    ++n;
  }
  return n;
}

}  // namespace

struct ViewRenderer::Impl {
  std::vector<TileScratch> scratch = std::vector<TileScratch>(1);
  TilePool* pool = nullptr;
  std::unique_ptr<ComposeEntry[]> entries{new ComposeEntry[kMaxEntries]()};
  std::unique_ptr<EntryBlocks[]> blocks{new EntryBlocks[kMaxEntries]()};
  int count = 0;
  bool skipEmpty = true;  // leave out the entries' empty blocks
  // The pass's part of every tile's work: the space at the level and its colours.
  int32_t spaceWidth = 0, spaceHeight = 0;
  uint32_t insideColour = 0, outsideColour = kOutsideColour;

  // The area being rendered, in tiles from its top-left corner.
  int areaLeft = 0, areaTop = 0, areaRight = 0, areaBottom = 0, areaColumns = 0;

  // The back buffer: bufWidth x bufHeight (the client size rounded up to multiples of 4),
  // rows bottom-up, pitch bufWidth pixels.
  std::unique_ptr<uint8_t[], AlignedFree> bits;
  int bufWidth = 0, bufHeight = 0;
  int clientWidth = 0, clientHeight = 0;
  bool painted = false;  // the whole client rendered since the buffer was made

  ViewTransform view{};  // the pass's view (level 0), moved by a scroll
  ViewPass pass;

  // Rows of the client image, bottom-up: row 0 is the client's bottom row.
  uint32_t* ClientBits() const {
    return reinterpret_cast<uint32_t*>(bits.get()) + size_t(bufHeight - clientHeight) * size_t(bufWidth);
  }
  uint32_t* ClientRow(int y) const { return ClientBits() + size_t(clientHeight - 1 - y) * size_t(bufWidth); }

  int64_t bandSide = LYR_BLOCK;  // the entries' smallest cell side

  void RenderTile(int tx, int ty, int tw, int th, TileScratch& s);
  void ComposeInBands(ComposeWork* w, TileScratch& s);
};

// Composes the work's rows in bands that end where the entries' cells do (space rows at
// multiples of the cell side), each with the entries cut to its own box: an entry then
// reaches in each band only as far as its cells in those rows are marked, not as far as in
// the whole tile.
void ViewRenderer::Impl::ComposeInBands(ComposeWork* w, TileScratch& s) {
  if (!skipEmpty) {
    LayerCompositor(w, entries.get(), count);
    return;
  }
  const int32_t firstRow = w->firstRow, endRow = w->endRow;
  for (int32_t r = firstRow; r < endRow;) {
    const int64_t y = int64_t(w->originY) + r;
    const int64_t next = (y >= 0 ? y / bandSide + 1 : -((-y - 1) / bandSide)) * bandSide;
    const int32_t bandEnd = int32_t(std::min<int64_t>(endRow, r + (next - y)));
    int32_t start = ACC_SIDE, end = 0;
    for (int32_t j = r; j < bandEnd; ++j) {
      if (w->spans[j].start >= w->spans[j].end) continue;
      start = std::min(start, w->spans[j].start);
      end = std::max(end, w->spans[j].end);
    }
    const int n = TileEntries(entries.get(), blocks.get(), count, int64_t(w->originX) + start, y,
                              int64_t(w->originX) + std::max(start, end), int64_t(w->originY) + bandEnd, s.entries.get());
    w->firstRow = r;
    w->endRow = bandEnd;
    LayerCompositor(w, s.entries.get(), n);
    r = bandEnd;
  }
  w->firstRow = firstRow;
  w->endRow = endRow;
}

void ViewRenderer::Impl::RenderTile(int tx, int ty, int tw, int th, TileScratch& s) {
  ComposeWork* w = s.work.get();
  w->spaceWidth = spaceWidth;
  w->spaceHeight = spaceHeight;
  w->insideColour = insideColour;
  w->outsideColour = outsideColour;
  ResampleParams rp{};
  MapTileAnchor(pass, tx, ty, tw, th, &rp, w);
  const int pitchBytes = bufWidth * 4;
  const int rowBase = bufHeight - ty - TILE_SIDE;
  // At 1:1 with the anchor on a pixel corner every sub-sample of screen pixel (x, y) reads
  // accumulator pixel (col0 + x, row0 + y): the resampler would copy, so it is left out.
  const int col0 = ACC_ANCHOR - rp.ax / 32, row0 = ACC_ANCHOR - rp.ay / 32;
  if (pass.step == 2048 && pass.sinQ14 == 0 && pass.cosQ14 == 16384 && !pass.flip && (rp.ax & 31) == 0 &&
      (rp.ay & 31) == 0 && col0 >= 0 && row0 >= 0 && col0 + tw <= ACC_SIDE && row0 + th <= ACC_SIDE) {
    uint8_t* dstRows[TILE_SIDE];
    for (int j = 0; j < th; ++j)
      dstRows[j] = bits.get() + std::ptrdiff_t(rowBase + TILE_SIDE - 1 - j) * pitchBytes + std::ptrdiff_t(tx) * 4;
    const int64_t x0 = int64_t(w->originX) + col0, y0 = int64_t(w->originY) + row0;  // at the level
    // The tile's own entries.
    const ComposeEntry* tileEntries = entries.get();
    int tileCount = count;
    if (skipEmpty) {
      tileCount = TileEntries(entries.get(), blocks.get(), count, x0, y0, x0 + tw, y0 + th, s.entries.get());
      tileEntries = s.entries.get();
    }
    const ComposeEntry& top = tileEntries[tileCount > 0 ? tileCount - 1 : 0];
    if (TopPacksStraight(tileEntries, tileCount) && x0 >= 0 && y0 >= 0 && x0 + tw <= spaceWidth && y0 + th <= spaceHeight &&
        x0 >= top.left && y0 >= top.top && x0 + tw <= top.right && y0 + th <= top.bottom &&
        PackStraight(top, int(x0), int(y0), tw, th, insideColour >> 24, dstRows))
      return;
    // Compose the tile's own pixels and pack them.
    w->firstRow = row0;
    w->endRow = row0 + th;
    for (int j = 0; j < th; ++j) w->spans[row0 + j] = ComposeSpan{col0, col0 + tw};
    ComposeInBands(w, s);
    PackAccumulator(*w, col0, row0, tw, th, dstRows);
    return;
  }
  MapTileFootprint(pass, rp, w);
  ComposeInBands(w, s);
  ResampleTile(rp, w, s.rows.get());
  CopyTileSse2(s.rows.get(), tw, th, tx, rowBase, pitchBytes, bits.get());
}

ViewRenderer::ViewRenderer() : m_impl(new Impl) {}

void ViewRenderer::SetPool(TilePool* pool) {
  Impl& d = *m_impl;
  d.pool = pool;
  const size_t workers = pool ? size_t(pool->Workers()) : 1;
  if (d.scratch.size() < workers) d.scratch.resize(workers);
}

ViewRenderer::~ViewRenderer() { delete m_impl; }

int ViewRenderer::SetView(const ViewTransform* view) {
  if (m_state == 2 || !view) return -1;
  Impl& d = *m_impl;
  const int cw = std::max(0, view->clientWidth), ch = std::max(0, view->clientHeight);
  if (cw != d.clientWidth || ch != d.clientHeight) {
    const int bw = RoundUp4(cw), bh = RoundUp4(ch);
    d.bits.reset();
    d.clientWidth = d.clientHeight = d.bufWidth = d.bufHeight = 0;
    if (bw > 0 && bh > 0) {
      const size_t bytes = size_t(bw) * size_t(bh) * 4;
      d.bits.reset(static_cast<uint8_t*>(::operator new[](bytes, std::align_val_t(64))));
      std::memset(d.bits.get(), 0, bytes);
      d.bufWidth = bw;
      d.bufHeight = bh;
      d.clientWidth = cw;
      d.clientHeight = ch;
    }
    d.painted = false;
  }

  m_view = *view;
  d.view = *view;
  // Nonsense centres and angles would leave the 16-bit and 32-bit ranges of the tile maps.
  for (float* c : {&d.view.centreX, &d.view.centreY})
    if (!(std::fabs(*c) <= float(kCentreLimit))) *c = std::isnan(*c) ? 0.0f : std::copysign(float(kCentreLimit), *c);
  if (!std::isfinite(d.view.angle)) d.view.angle = 0;

  const float s = InverseScale(view->scale);
  m_mip = MipLevelFor(s);
  ViewPass& p = d.pass;
  p.cosQ14 = int16_t(std::trunc(std::cos(double(d.view.angle)) * 16384.5));
  p.sinQ14 = int16_t(std::trunc(std::sin(double(d.view.angle)) * 16384.5));
  p.step = int16_t(std::trunc(double(s) * double(0x10000 >> m_mip) / 32.0));
  p.flip = (view->flags & VIEW_FLAG_FLIP) != 0;
  p.clientWidth = cw;
  p.clientHeight = ch;
  p.centreX = std::ldexp(double(d.view.centreX), -m_mip);
  p.centreY = std::ldexp(double(d.view.centreY), -m_mip);
  d.count = 0;

  d.spaceWidth = int32_t((uint64_t(view->spaceWidth) + (uint64_t(1) << m_mip) - 1) >> m_mip);
  d.spaceHeight = int32_t((uint64_t(view->spaceHeight) + (uint64_t(1) << m_mip) - 1) >> m_mip);
  d.insideColour = view->background & 0xFFFFFF;
  m_state = 2;
  return m_mip;
}

void ViewRenderer::AddLayer(const ShowParam* show, const ShowParam* mask) {
  Impl& d = *m_impl;
  if (m_state != 2 || !show || d.count >= kMaxEntries) return;
  ComposeEntry& e = d.entries[d.count++];
  e.code = show->nKernel;
  const uint16_t opacity = uint16_t(show->dwColor >> 24);
  for (uint16_t& o : e.opacity) o = opacity;
  e.pitch = show->nPitch;
  e.source = show->pPixels;
  e.mask = mask ? reinterpret_cast<const uint16_t*>(mask->pPixels) : nullptr;
  e.left = show->rc.left;
  e.top = show->rc.top;
  e.right = show->rc.right;
  e.bottom = show->rc.bottom;
  for (uint32_t& c : e.colour) c = show->dwColor;
  const int64_t side = std::max<int64_t>(1, show->nBlockSide);
  d.blocks[d.count - 1] = EntryBlocks{show->pBlocks, show->nBlockPitch, side};
  d.bandSide = d.count == 1 ? side : std::min(d.bandSide, side);
}

void ViewRenderer::SetBlockSkipping(bool on) { m_impl->skipEmpty = on; }

void ViewRenderer::RenderArea(RECT area) {
  Impl& d = *m_impl;
  // Clip to the client area, then round out to multiples of 4 (inside the back buffer, whose
  // sides are the client's rounded up).
  const int l = std::max<int>(0, area.left) & ~3;
  const int t = std::max<int>(0, area.top) & ~3;
  const int r = RoundUp4(std::min<int>(d.clientWidth, area.right));
  const int b = RoundUp4(std::min<int>(d.clientHeight, area.bottom));
  if (l >= r || t >= b) return;
  d.areaLeft = l;
  d.areaTop = t;
  d.areaRight = r;
  d.areaBottom = b;
  d.areaColumns = (r - l + TILE_SIDE - 1) / TILE_SIDE;
  const int tiles = d.areaColumns * ((b - t + TILE_SIDE - 1) / TILE_SIDE);
  if (d.pool) {
    d.pool->Run(tiles, &ViewRenderer::RenderTileJob, m_impl);
  } else {
    for (int i = 0; i < tiles; ++i) RenderTileJob(m_impl, i, 0);
  }
}

void ViewRenderer::RenderTileJob(void* context, int index, int worker) {
  Impl& d = *static_cast<Impl*>(context);
  const int tx = d.areaLeft + (index % d.areaColumns) * TILE_SIDE;
  const int ty = d.areaTop + (index / d.areaColumns) * TILE_SIDE;
  d.RenderTile(tx, ty, std::min(TILE_SIDE, d.areaRight - tx), std::min(TILE_SIDE, d.areaBottom - ty),
               d.scratch[size_t(worker)]);
  // The copies store around the cache: order them before the pool reports the tile done.
  _mm_sfence();
}

void ViewRenderer::Scroll(int dx, int dy) {
  Impl& d = *m_impl;
  const int cw = d.clientWidth, ch = d.clientHeight;
  ViewScroll(d.view, dx, dy);
  d.pass.centreX = std::ldexp(double(d.view.centreX), -m_mip);
  d.pass.centreY = std::ldexp(double(d.view.centreY), -m_mip);
  // Nothing worth moving: a delta as large as the client, or a buffer never rendered whole.
  if (std::abs(int64_t(dx)) >= cw || std::abs(int64_t(dy)) >= ch || !d.painted) {
    RenderArea(RECT{0, 0, cw, ch});
    d.painted = true;
    return;
  }
  // Client pixel (x, y) takes the old pixel (x - dx, y - dy); rows in the order that reads
  // every row before it is overwritten.
  const int x0 = std::max(0, dx), x1 = std::min(cw, cw + dx);
  const size_t bytes = size_t(x1 - x0) * 4;
  if (dy > 0) {
    for (int y = ch - 1; y >= dy; --y) std::memmove(d.ClientRow(y) + x0, d.ClientRow(y - dy) + x0 - dx, bytes);
  } else {
    for (int y = 0; y < ch + dy; ++y) std::memmove(d.ClientRow(y) + x0, d.ClientRow(y - dy) + x0 - dx, bytes);
  }
  // The exposed rows, then the exposed columns beside them.
  const int ry0 = dy > 0 ? 0 : ch + dy, ry1 = dy > 0 ? dy : ch;
  if (dy != 0) RenderArea(RECT{0, ry0, cw, ry1});
  if (dx != 0) {
    const int cy0 = dy > 0 ? dy : 0, cy1 = dy > 0 ? ch : ch + dy;
    RenderArea(RECT{dx > 0 ? 0 : cw + dx, cy0, dx > 0 ? dx : cw, cy1});
  }
}

int ViewRenderer::Render(const RECT* rc, const POINT* scroll) {
  if (m_state != 2) return 0;
  Impl& d = *m_impl;
  // The pass ends however the rendering ends.
  struct EndPass {
    ViewRenderer* r;
    ~EndPass() {
      r->m_state = 1;
      r->m_impl->count = 0;
    }
  } endPass{this};
  if (!d.bits) return 0;
  int rendered = 1;
  if (scroll) {
    if (scroll->x == 0 && scroll->y == 0)
      rendered = 0;
    else
      Scroll(scroll->x, scroll->y);
  } else {
    const RECT all{0, 0, d.clientWidth, d.clientHeight};
    RenderArea(rc ? *rc : all);
    d.painted = d.painted || !rc || (rc->left <= 0 && rc->top <= 0 && rc->right >= all.right && rc->bottom >= all.bottom);
  }
  // The copies store around the cache; order them before another thread reads the buffer.
  _mm_sfence();
  return rendered;
}

void ViewRenderer::Abandon() {
  m_state = 1;
  m_impl->count = 0;
}

int ViewRenderer::Output(HDC target, const RECT* rc) {
  if (m_state != 1) return m_state;
  const Impl& d = *m_impl;
  if (!target || !d.bits) return 0;
  RECT r{0, 0, d.clientWidth, d.clientHeight};
  if (rc) {
    r.left = std::max(r.left, rc->left);
    r.top = std::max(r.top, rc->top);
    r.right = std::min(r.right, rc->right);
    r.bottom = std::min(r.bottom, rc->bottom);
  }
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  target->Present(d.ClientBits(), d.clientWidth, d.clientHeight, d.bufWidth, true, r);
  return 1;
}

void ViewRenderer::GetBackBuffer(LayerLock* out) const {
  const Impl& d = *m_impl;
  static_cast<LayerInfo&>(*out) = LayerInfo{};
  out->pPixels = nullptr;
  out->cbRow = 0;
  if (!d.bits) return;
  out->nWidth = d.clientWidth;
  out->nHeight = d.clientHeight;
  out->nPitch = d.bufWidth;
  out->nPixelSize = 4;
  out->pPixels = reinterpret_cast<BYTE*>(d.ClientBits());
  out->cbRow = uint32_t(d.bufWidth) * 4;
}
