#include "Distort.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cmath>
#include <cstring>
#include <exception>
#include <latch>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

#include "SplatMix.h"

using distort::AccEntry;
using distort::kCoverRows;
using distort::kTile;
using distort::kTileFix;
using distort::Quot;
using distort::Walk;
using distort::Texel;

void DistortMesh::Clear() { std::memset(static_cast<void*>(this), 0, sizeof *this); }

namespace {

float SamplesPerAxis(int32_t density, float r, const char16_t* text) {
  switch (density) {
    case 2: return 64 * r;
    case 3: return 80 * r;
    case 4: return 96 * r;
    default: GTHROW(text);
  }
}

// Sample positions from one pixel before the source to one after it, and their curve
// parameters; the last step may be shorter. Returns the count.
int SampleAxis(int32_t size, int64_t step, int32_t* pos, float* par) {
  const int64_t span = int64_t(size) + 2;
  int n = 0;
  for (int64_t k = 0; k * step < span && n < kMeshMax - 1; ++k, ++n) {
    pos[n] = int32_t(k * step - 1);
    par[n] = float(k * step) / float(span);
  }
  pos[n] = size + 1;
  par[n] = 1.0f;
  return n + 1;
}

// The Bezier curve of degree n - 1 through p[0], p[stride], ... at parameter u (Bernstein).
DistortPoint Bezier(const DistortPoint* p, int stride, int n, float u) {
  const float v = 1 - u;
  const DistortPoint& p0 = p[0];
  const DistortPoint& p1 = p[stride];
  if (n == 2) return {v * p0.x + u * p1.x, v * p0.y + u * p1.y};
  const DistortPoint& p2 = p[2 * stride];
  if (n == 3) {
    const float a = v * v, b = 2 * u * v, c = u * u;
    return {a * p0.x + b * p1.x + c * p2.x, a * p0.y + b * p1.y + c * p2.y};
  }
  const DistortPoint& p3 = p[3 * stride];
  const float a = v * v * v, b = 3 * u * v * v, c = 3 * u * u * v, d = u * u * u;
  return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

float Reach(float v) { return std::fmin(std::fmax(v, -kMeshReach), kMeshReach); }

// Whether (px, py) lies inside the quadrilateral c[0] c[1] c[2] c[3] (crossing count).
bool InsideQuad(const DistortPoint* const c[4], double px, double py) {
  bool in = false;
  for (int k = 0, j = 3; k < 4; j = k++) {
    const double ky = c[k]->y, jy = c[j]->y;
    if ((ky > py) != (jy > py)) {
      const double xc = c[j]->x + (py - jy) * (double(c[k]->x) - c[j]->x) / (ky - jy);
      if (px < xc) in = !in;
    }
  }
  return in;
}

uint64_t ISqrt(uint64_t v) {
  uint64_t r = uint64_t(std::sqrt(double(v)));
  while (r > 0 && r * r > v) --r;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

// Splat steps and colour period along a line of len (1/128 pixel) over n source pixels.
void StepsFor(int64_t len, int64_t n, int64_t& steps, int64_t& period) {
  period = 12;
  if (len > 128 * n) period = std::max<int64_t>(4, ((12 * n) / (len / 128) + 1) & ~int64_t(1));
  steps = std::max<int64_t>(4, ((period * len) / (128 * n) + 1) & ~int64_t(1));
}

// The processors this thread may run on.
int UsableProcessors() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
  return int(std::max(1u, std::thread::hardware_concurrency()));
}


uint32_t SwapRedBlue(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

}  // namespace

float Ease(float t, float a) {
  if (t <= 0 || t >= 1 || a == 0) return t;
  if (a < 0) return (1 + a) * t - a * t * t * t;
  const float s = 1 - t;
  return 1 - (1 - a) * s - a * s * s * s;
}

void BuildMesh(DistortMesh& mesh, const DistortArgs& args, uint32_t flags) {
  const float r = (flags & DISTORT_F_HALF) ? 0.5f : 1.0f;
  const float samplesX = SamplesPerAxis(args.Density.x, r, u"Density.x?");
  const float samplesY = SamplesPerAxis(args.Density.y, r, u"Density.y?");
  const int64_t stepX = int64_t(std::ceil(float(int64_t(args.nWidth) + 2) / samplesX));
  const int64_t stepY = int64_t(std::ceil(float(int64_t(args.nHeight) + 2) / samplesY));
  GVERIFY(stepX > 0 && stepY > 0, u"SIZE_TOO_SMALL");
  // No layer is larger; the renderer's fetch block is sized for the cells of such a source.
  GVERIFY(args.nWidth <= LYR_MAX_SIDE && args.nHeight <= LYR_MAX_SIDE, u"SIZE_TOO_LARGE");
  mesh.nCols = SampleAxis(args.nWidth, stepX, mesh.xs, mesh.tx);
  mesh.nRows = SampleAxis(args.nHeight, stepY, mesh.ys, mesh.ty);

  const float colFirst = float(args.nBiasColFirst) * 0.01f, rowFirst = float(args.nBiasRowFirst) * 0.01f;
  const float colLast = float(args.nBiasColLast) * 0.01f, rowLast = float(args.nBiasRowLast) * 0.01f;
  const int dx = args.Density.x, dy = args.Density.y;
  for (int m = 0; m < dx; ++m) {
    const float b = colFirst + float(m) * (colLast - colFirst) / float(dx - 1);
    for (int row = 0; row < mesh.nRows; ++row)
      mesh.curves[m][row] = Bezier(&args.lattice[m], 4, dy, Ease(mesh.ty[row], b));
  }
  DistortPoint pts[4];
  for (int row = 0; row < mesh.nRows; ++row) {
    const float b = rowFirst + float(row) * (rowLast - rowFirst) / float(mesh.nRows);
    for (int m = 0; m < dx; ++m) pts[m] = mesh.curves[m][row];
    for (int q = 0; q < mesh.nCols; ++q) {
      const DistortPoint p = Bezier(pts, 1, dx, Ease(mesh.tx[q], b));
      mesh.grid[row][q] = {Reach(p.x), Reach(p.y)};
    }
  }
}

bool IsFrontFacing(DistortPoint c00, DistortPoint c01, DistortPoint c10, DistortPoint c11, bool facing) {
  // The diagonals 00-11 and 01-10 must cross within both (a convex cell).
  const double ax = c00.x, ay = c00.y, bx = c11.x, by = c11.y;
  const double cx = c01.x, cy = c01.y, ex = c10.x, ey = c10.y;
  const double r1x = bx - ax, r1y = by - ay, r2x = ex - cx, r2y = ey - cy;
  const double den = r1x * r2y - r1y * r2x;
  if (den == 0) return false;
  const double s = ((cx - ax) * r2y - (cy - ay) * r2x) / den;
  const double px = ax + s * r1x, py = ay + s * r1y;
  auto within = [](double v, double a, double b) { return v >= std::min(a, b) && v <= std::max(a, b); };
  if (!within(px, ax, bx) || !within(py, ay, by) || !within(px, cx, ex) || !within(py, cy, ey)) return false;
  const double th = std::atan2(r1y, r1x), cs = std::cos(th), sn = std::sin(th);
  const double d10 = cs * (ey - ay) - sn * (ex - ax);
  const double d01 = cs * (cy - ay) - sn * (cx - ax);
  return facing ? d01 - d10 > 0.001 : d10 - d01 > 0.001;
}

bool SegmentHitsTile(DistortPoint a, DistortPoint b, const RECT& tile) {
  const double l = tile.left, t = tile.top, r = tile.right, bt = tile.bottom;
  const double ax = a.x, ay = a.y, bx = b.x, by = b.y;
  auto inside = [&](double x, double y) { return x >= l && x < r && y >= t && y < bt; };
  if (inside(ax, ay) || inside(bx, by)) return true;
  if ((ax < l && bx < l) || (ax >= r && bx >= r) || (ay < t && by < t) || (ay >= bt && by >= bt)) return false;
  // Where the line meets two opposite sides' lines, either within the tile's other extent or
  // on both sides of it.
  auto crosses = [](double v1, double v2, double lo, double hi) {
    return (v1 >= lo && v1 < hi) || (v2 >= lo && v2 < hi) || (v1 < lo && v2 >= hi) || (v2 < lo && v1 >= hi);
  };
  const double dx = bx - ax, dy = by - ay;
  if (std::fabs(dx) > std::fabs(dy)) return crosses(ay + (l - ax) * dy / dx, ay + (r - ax) * dy / dx, t, bt);
  if (std::fabs(dy) > 0.00001) return crosses(ax + (t - ay) * dx / dy, ax + (bt - ay) * dx / dy, l, r);
  return false;
}

RECT MeshBound(const DistortMesh& mesh) {
  double l = 100000, t = 100000, r = -100000, b = -100000;
  for (int row = 0; row < mesh.nRows; ++row)
    for (int q = 0; q < mesh.nCols; ++q) {
      const DistortPoint& p = mesh.grid[row][q];
      l = std::min(l, std::floor(double(p.x)));
      t = std::min(t, std::floor(double(p.y)));
      r = std::max(r, std::ceil(double(p.x)));
      b = std::max(b, std::ceil(double(p.y)));
    }
  return RECT{LONG(l) - 1, LONG(t) - 1, LONG(r) + 1, LONG(b) + 1};
}

CDistort::CDistort() : m_threads(std::min(UsableProcessors(), kMaxThreads)) {}

void CDistort::GetBound(RECT* out, const DistortArgs& args) {
  m_mesh.Clear();
  BuildMesh(m_mesh, args, args.dwFlags);
  *out = MeshBound(m_mesh);
}

void CDistort::Prepare(const LayerInfo& dest, BYTE* destPixels, const DistortArgs& args) {
  m_mesh.Clear();
  BuildMesh(m_mesh, args, args.dwFlags);
  GVERIFY(args.nPixelSize == 2 || args.nPixelSize == 4, u"nPixelSize?");
  GVERIFY(dest.nPixelSize == 2 || dest.nPixelSize == 4, u"nPixelSize?");
  GCHECK(destPixels && args.pPixels);
  m_dest = dest;
  m_pDest = destPixels;
  m_pArgs = &args;

  const bool facing = (args.dwFlags & DISTORT_F_FACING) != 0;
  for (int r = 0; r + 1 < m_mesh.nRows; ++r)
    for (int q = 0; q + 1 < m_mesh.nCols; ++q)
      m_front[r][q] = IsFrontFacing(m_mesh.grid[r][q], m_mesh.grid[r][q + 1], m_mesh.grid[r + 1][q],
                                    m_mesh.grid[r + 1][q + 1], facing);

  // The bound cut into squares from its top-left corner; only squares meeting the
  // destination make tiles.
  m_bound = MeshBound(m_mesh);
  auto squares = [](int64_t b0, int64_t b1, int64_t d0, int64_t d1, int64_t& first, int& n) {
    const int64_t lo = std::max(b0, d0), hi = std::min(b1, d1);
    n = 0;
    if (lo >= hi) return;
    const int64_t k0 = (lo - b0) / kTile, k1 = (hi - 1 - b0) / kTile;
    first = b0 + kTile * k0;
    n = int(k1 - k0 + 1);
  };
  squares(m_bound.left, m_bound.right, dest.x, int64_t(dest.x) + std::max(dest.nWidth, 0), m_tileX0, m_nTilesX);
  squares(m_bound.top, m_bound.bottom, dest.y, int64_t(dest.y) + std::max(dest.nHeight, 0), m_tileY0, m_nTilesY);
  if (m_nTilesX == 0 || m_nTilesY == 0) m_nTilesX = m_nTilesY = 0;
}

RECT CDistort::TileAt(int index) const {
  const int64_t sx = m_tileX0 + int64_t(kTile) * (index % m_nTilesX);
  const int64_t sy = m_tileY0 + int64_t(kTile) * (index / m_nTilesX);
  return RECT{LONG(std::max<int64_t>(sx, m_dest.x)), LONG(std::max<int64_t>(sy, m_dest.y)),
              LONG(std::min<int64_t>(sx + kTile, int64_t(m_dest.x) + m_dest.nWidth)),
              LONG(std::min<int64_t>(sy + kTile, int64_t(m_dest.y) + m_dest.nHeight))};
}

bool CDistort::CellDrawn(int r, int q, const RECT& tile) const {
  const int nx = m_mesh.xs[q + 1] - m_mesh.xs[q], ny = m_mesh.ys[r + 1] - m_mesh.ys[r];
  if (nx < 1 || ny < 1 || !m_front[r][q]) return false;
  const DistortPoint &c00 = m_mesh.grid[r][q], &c01 = m_mesh.grid[r][q + 1];
  const DistortPoint &c10 = m_mesh.grid[r + 1][q], &c11 = m_mesh.grid[r + 1][q + 1];
  // A cell whose box misses the tile has no edge that touches it and holds no tile corner.
  const float minX = std::min({c00.x, c01.x, c10.x, c11.x}), maxX = std::max({c00.x, c01.x, c10.x, c11.x});
  const float minY = std::min({c00.y, c01.y, c10.y, c11.y}), maxY = std::max({c00.y, c01.y, c10.y, c11.y});
  if (maxX < float(tile.left) || minX >= float(tile.right) || maxY < float(tile.top) || minY >= float(tile.bottom))
    return false;
  if (SegmentHitsTile(c00, c01, tile) || SegmentHitsTile(c00, c10, tile) || SegmentHitsTile(c11, c01, tile) ||
      SegmentHitsTile(c11, c10, tile))
    return true;
  // No edge touches: the tile lies wholly inside the cell or wholly outside it.
  const DistortPoint* ring[4] = {&c00, &c01, &c11, &c10};
  return InsideQuad(ring, tile.left, tile.top);
}

int64_t CDistort::CountCells() const {
  int64_t sum = 0;
  for (int k = 0; k < GetTileCount(); ++k) {
    const RECT tile = TileAt(k);
    for (int r = m_mesh.nRows - 2; r >= 0; --r)
      for (int q = m_mesh.nCols - 2; q >= 0; --q) sum += CellDrawn(r, q, tile);
  }
  return sum;
}

void CDistort::ListCells() {
  m_cells.clear();
  m_tileCells.assign(1, 0);
  for (int k = 0; k < GetTileCount(); ++k) {
    const RECT tile = TileAt(k);
    for (int r = m_mesh.nRows - 2; r >= 0; --r)
      for (int q = m_mesh.nCols - 2; q >= 0; --q)
        if (CellDrawn(r, q, tile)) m_cells.push_back(uint32_t(r) << 16 | uint32_t(q));
    m_tileCells.push_back(m_cells.size());
  }
}

void CDistort::FetchRow(CellScratch& w, int r, int q, int nx, int j) const {
  const DistortArgs& a = *m_pArgs;
  Texel* out = w.block + size_t(j) * kBlockSide;
  const int64_t sy = int64_t(m_mesh.ys[r]) + j;
  if (sy < 0 || sy >= a.nHeight) {
    std::memset(static_cast<void*>(out), 0, sizeof(Texel) * size_t(nx + 1));
    return;
  }
  const BYTE* row = a.pPixels + size_t(sy) * size_t(a.nPitch) * size_t(a.nPixelSize);
  // The pixels inside the source are [k0, k1); the samples beyond it are clear.
  const int64_t x0 = m_mesh.xs[q];
  const int k0 = int(std::clamp<int64_t>(-x0, 0, nx + 1)), k1 = int(std::clamp<int64_t>(a.nWidth - x0, k0, nx + 1));
  for (int k = 0; k < k0; ++k) out[k] = Texel{0, 0, 0, 0};
  if (k1 > k0 && sy + 1 < a.nHeight) {
    // The cell's next row is fetched next: its lines are asked for ahead.
    const BYTE* next = row + size_t(a.nPitch) * size_t(a.nPixelSize) + size_t(x0 + k0) * size_t(a.nPixelSize);
    const size_t bytes = size_t(k1 - k0) * size_t(a.nPixelSize);
    for (size_t off = 0; off < bytes + 63; off += 64) __builtin_prefetch(next + std::min(off, bytes - 1));
  }
  if (k1 > k0) m_kernels.fetch(row + size_t(x0 + k0) * size_t(a.nPixelSize), a.nPixelSize, k1 - k0, out + k0);
  for (int k = k1; k <= nx; ++k) out[k] = Texel{0, 0, 0, 0};
}

void CDistort::SplatCell(CellScratch& w, const int64_t c[4][2], int r, int q, AccEntry* acc, int64_t rowsFix) const {
  const int nx = m_mesh.xs[q + 1] - m_mesh.xs[q], ny = m_mesh.ys[r + 1] - m_mesh.ys[r];
  GCHECK(nx <= kMaxStep && ny <= kMaxStep);
  if (nx < 1 || ny < 1) return;  // not drawn (CellDrawn)
  // Corners: c[0] 00, c[1] 01, c[2] 10, c[3] 11. The products stay far inside the doubles'
  // exact range (corners within 2^28, steps at most 2^9), so Quot truncates exactly.
  auto along = [](const int64_t* a, const int64_t* b, int64_t i, int64_t n, int64_t out[2]) {
    out[0] = a[0] + Quot((b[0] - a[0]) * i, n);
    out[1] = a[1] + Quot((b[1] - a[1]) * i, n);
  };
  auto length = [](const int64_t* a, const int64_t* b) {
    const int64_t dx = b[0] - a[0], dy = b[1] - a[1];
    return int64_t(ISqrt(uint64_t(dx * dx) + uint64_t(dy * dy)));
  };
  int64_t s[2], e[2];
  for (int i = 0; i <= nx; ++i) {
    along(c[0], c[1], i, nx, s);
    along(c[2], c[3], i, nx, e);
    w.lv[i] = length(s, e);
  }
  for (int j = 0; j <= ny; ++j) {
    along(c[0], c[2], j, ny, s);
    along(c[1], c[3], j, ny, e);
    w.lh[j] = length(s, e);
  }
  const bool vNext = w.lv[0] < w.lv[nx], hNext = w.lh[0] < w.lh[ny];
  for (int k = 0; k < nx; ++k) StepsFor(vNext ? w.lv[k + 1] : w.lv[k], ny, w.vSteps[k], w.vPeriod[k]);
  for (int j = 0; j < ny; ++j) StepsFor(hNext ? w.lh[j + 1] : w.lh[j], nx, w.hSteps[j], w.hPeriod[j]);

  // The ends of sample row j, and its points (k, j) from the left end to the right one,
  // stepped without a division. A row's points lie on a straight line between its ends, so
  // the ends bound its y, and a row of strips lies within its two rows' bounds.
  auto rowEnds = [&](int j, int64_t& minY, int64_t& maxY) {
    along(c[0], c[2], j, ny, s);
    along(c[1], c[3], j, ny, e);
    minY = std::min(s[1], e[1]), maxY = std::max(s[1], e[1]);
  };
  int held[2] = {-1, -1};  // the sample row each point buffer holds
  const double invNx = 1.0 / double(nx);
  auto rowPoints = [&](int j) {
    int64_t (*out)[2] = w.rowPts[j & 1];
    if (held[j & 1] == j) return out;
    held[j & 1] = j;
    along(c[0], c[2], j, ny, s);
    along(c[1], c[3], j, ny, e);
    Walk px, py;
    px.InitBy(s[0], e[0] - s[0], nx, invNx);
    py.InitBy(s[1], e[1] - s[1], nx, invNx);
    for (int k = 0; k <= nx; ++k, px.Next(), py.Next()) out[k][0] = px.Value(), out[k][1] = py.Value();
    return out;
  };
  std::memset(w.fetched, 0, size_t(ny + 1));
  auto fetch = [&](int j) {
    if (!w.fetched[j]) FetchRow(w, r, q, nx, j), w.fetched[j] = 1;
  };
  int64_t upMin, upMax, loMin, loMax;
  rowEnds(0, upMin, upMax);
  for (int j = 0; j < ny; ++j, upMin = loMin, upMax = loMax) {
    rowEnds(j + 1, loMin, loMax);
    if (std::max(upMax, loMax) < 0 || std::min(upMin, loMin) >= rowsFix) continue;
    const int64_t (*upper)[2] = rowPoints(j);
    const int64_t (*lower)[2] = rowPoints(j + 1);
    fetch(j), fetch(j + 1);
    const Texel* top = w.block + size_t(j) * kBlockSide;
    const Texel* bottom = top + kBlockSide;
    for (int k = 1; k <= nx; ++k) {
      const int64_t minX = std::min({upper[k - 1][0], upper[k][0], lower[k - 1][0], lower[k][0]});
      const int64_t maxX = std::max({upper[k - 1][0], upper[k][0], lower[k - 1][0], lower[k][0]});
      const int64_t minY = std::min({upper[k - 1][1], upper[k][1], lower[k - 1][1], lower[k][1]});
      const int64_t maxY = std::max({upper[k - 1][1], upper[k][1], lower[k - 1][1], lower[k][1]});
      // Every splat of the strip lies within its corners' box.
      if (maxX < 0 || maxY < 0 || minX >= kTileFix || minY >= rowsFix) continue;
      distort::Strip st;
      st.ux0 = upper[k - 1][0], st.uy0 = upper[k - 1][1], st.ux1 = upper[k][0], st.uy1 = upper[k][1];
      st.lx0 = lower[k - 1][0], st.ly0 = lower[k - 1][1], st.lx1 = lower[k][0], st.ly1 = lower[k][1];
      st.P = top[k - 1], st.Q = top[k], st.P2 = bottom[k - 1], st.Q2 = bottom[k];
      st.count = w.hSteps[j], st.hPer = w.hPeriod[j];
      st.end = w.vSteps[k - 1], st.vPer = w.vPeriod[k - 1];
      st.rowsFix = rowsFix;
      m_kernels.splat(st, acc);
    }
  }
}

void CDistort::RasteriseCoverage(CellScratch& w, const int64_t c[4][2], uint32_t* cover, int64_t subRows) const {
  int64_t p[4][2];
  for (int k = 0; k < 4; ++k) p[k][0] = c[k][0] >> 3, p[k][1] = c[k][1] >> 3;
  const int64_t minY = std::min({p[0][1], p[1][1], p[2][1], p[3][1]});
  const int64_t maxY = std::max({p[0][1], p[1][1], p[2][1], p[3][1]});
  // The table holds the band's own sub-rows, so a cell reaching far above keeps its rows here.
  const int64_t y0 = std::max<int64_t>(minY, 0), y1 = std::min<int64_t>(maxY, subRows);
  if (y0 >= y1) return;
  Crossings* span = w.span;
  for (int64_t y = y0; y < y1; ++y) span[y].filled = 0;
  static constexpr int kEdges[4][2] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}};
  for (const auto& edge : kEdges) {
    const int64_t* a = p[edge[0]];
    const int64_t* b = p[edge[1]];
    if (a[1] == b[1]) continue;
    if (a[1] < b[1]) std::swap(a, b);  // b: the end with the smaller y
    const int64_t from = std::max(b[1], y0), to = std::min(a[1], y1);
    if (from >= to) continue;
    // x = b.x + trunc((a.x - b.x) (y - b.y) / (a.y - b.y)), stepped down the rows.
    Walk x;
    x.Init(b[0], a[0] - b[0], a[1] - b[1], from - b[1], 1);
    for (int64_t y = from; y < to; ++y, x.Next()) {
      Crossings& sp = span[y];
      sp.x[sp.filled ? 1 : 0] = int32_t(std::clamp<int64_t>(x.Value(), -1, kCoverRows + 1));
      sp.filled = std::min(sp.filled + 1, 2);
    }
  }
  for (int64_t y = y0; y < y1; ++y) {
    const Crossings& sp = span[y];
    if (sp.filled < 2) continue;
    const int32_t x0 = std::clamp(std::min(sp.x[0], sp.x[1]), 0, kCoverRows);
    const int32_t x1 = std::clamp(std::max(sp.x[0], sp.x[1]), 0, kCoverRows);
    if (x0 < x1) m_kernels.cover(cover + size_t(y >> 4) * kTile, x0, x1);
  }
}

void CDistort::ComposeRows(const RECT& tile, int y0, int y1, const AccEntry* acc, const uint32_t* cover) {
  const DistortArgs& a = *m_pArgs;
  distort::ComposeParams p;
  p.destPixelSize = m_dest.nPixelSize;
  p.mode = a.nMode & 7;
  p.colourSource = a.nPixelSize == 4;
  p.colourPx = SwapRedBlue(a.dwColor) & 0xFFFFFF;
  p.opacity = (a.dwColor >> 24) * 128 / 255;
  const int w = tile.right - tile.left;
  const size_t ps = size_t(m_dest.nPixelSize);
  for (int y = y0; y < y1; ++y) {
    BYTE* row = m_pDest + (size_t(int64_t(tile.top) - m_dest.y + y) * size_t(m_dest.nPitch) +
                           size_t(int64_t(tile.left) - m_dest.x)) *
                              ps;
    m_kernels.compose(row, acc + size_t(y - y0) * kTile, cover + size_t(y - y0) * kTile, w, p);
  }
}

bool CDistort::DrawRows(int tileIndex, const RECT& tile, int top, int bottom, CellScratch& w, bool counts,
                        JobControl* ctl) {
  const size_t width = size_t(tile.right - tile.left);
  for (int y = 0; y < bottom - top; ++y) {
    std::memset(static_cast<void*>(w.acc + size_t(y) * kTile), 0, sizeof(AccEntry) * width);
    std::memset(w.cover + size_t(y) * kTile, 0, sizeof(uint32_t) * width);
  }
  // The rows in space; a cell's splats and outline stay within its corners' rows.
  const double spaceTop = double(tile.top) + top, spaceBottom = double(tile.top) + bottom;
  const int64_t originX = 128 * int64_t(tile.left), originY = 128 * (int64_t(tile.top) + top);
  const int64_t rowsFix = 128 * int64_t(bottom - top);
  // The progress is added once at the end: the abort bit beside it is read for every cell.
  int32_t drawn = 0;
  for (size_t k = m_tileCells[size_t(tileIndex)]; k < m_tileCells[size_t(tileIndex) + 1]; ++k) {
    if (ctl->flags & JOB_ABORT) {
      ctl->progress += drawn;
      return false;
    }
    drawn += counts;
    const int r = m_cells[k] >> 16, q = m_cells[k] & 0xFFFF;
    const DistortPoint* g[4] = {&m_mesh.grid[r][q], &m_mesh.grid[r][q + 1], &m_mesh.grid[r + 1][q],
                                &m_mesh.grid[r + 1][q + 1]};
    const double minY = std::min({g[0]->y, g[1]->y, g[2]->y, g[3]->y});
    const double maxY = std::max({g[0]->y, g[1]->y, g[2]->y, g[3]->y});
    if (maxY < spaceTop - 1 || minY >= spaceBottom + 1) continue;
    int64_t c[4][2];
    for (int k = 0; k < 4; ++k) {
      c[k][0] = int64_t(double(g[k]->x) * 128 + 0.5) - originX;
      c[k][1] = int64_t(double(g[k]->y) * 128 + 0.5) - originY;
    }
    SplatCell(w, c, r, q, w.acc, rowsFix);
    RasteriseCoverage(w, c, w.cover, 16 * int64_t(bottom - top));
  }
  ctl->progress += drawn;
  ComposeRows(tile, top, bottom, w.acc, w.cover);
  return true;
}

int CDistort::DrawTiles(JobControl* ctl) {
  const int tiles = GetTileCount();
  if (tiles == 0) return 1;
  int threads = m_threads;
  for (int b = 1; b < threads; ++b)
    if (!m_moreScratch[b - 1]) m_moreScratch[b - 1] = std::make_unique<CellScratch>();
  auto scratchOf = [&](int b) -> CellScratch& { return b == 0 ? m_scratch : *m_moreScratch[b - 1]; };

  // The threads take a tile's rows kSubRows at a time, each the next not taken, so that one
  // slowed by other work on its processor takes fewer. After each tile one thread decides
  // for all whether to stop (the abort bit, rows stopped or failed) and calls the tile's hook.
  std::atomic<int> nextRows{0};
  std::vector<std::exception_ptr> errors(static_cast<size_t>(threads));
  std::vector<uint8_t> stopped(static_cast<size_t>(threads), 0);
  bool stop = false, cancelled = false;
  int tile = 0;
  auto decide = [&]() noexcept {
    for (int b = 0; b < threads; ++b) stop = stop || stopped[size_t(b)] || errors[size_t(b)];
    cancelled = stop || (ctl->flags & JOB_ABORT);
    stop = cancelled;
    if (stop) return;
    if (m_afterTile) {
      try {
        m_afterTile(tile);
      } catch (...) {
        errors[0] = std::current_exception();
        stop = true;
      }
    }
    ++tile;
    nextRows.store(0, std::memory_order_relaxed);
    stop = stop || tile >= tiles;
  };
  // The barrier is made once the threads that could be started are known.
  std::optional<std::barrier<decltype(decide)>> sync;
  auto work = [&](int b) {
    while (true) {
      const RECT rc = TileAt(tile);
      const int h = rc.bottom - rc.top;
      try {
        for (int k; !stopped[size_t(b)] && (k = nextRows.fetch_add(1, std::memory_order_relaxed)) * kSubRows < h;) {
          const int top = k * kSubRows;
          stopped[size_t(b)] = !DrawRows(tile, rc, top, std::min(h, top + kSubRows), scratchOf(b), k == 0, ctl);
        }
      } catch (...) {
        errors[size_t(b)] = std::current_exception();
      }
      sync->arrive_and_wait();
      if (stop) return;
    }
  };
  std::latch ready(1);
  std::vector<std::thread> started;
  for (int b = 1; b < threads; ++b) {
    try {
      started.emplace_back([&, b] {
        ready.wait();
        work(b);
      });
    } catch (const std::system_error&) {
      break;  // fewer threads share the rows
    }
  }
  threads = 1 + int(started.size());
  sync.emplace(threads, decide);
  ready.count_down();
  work(0);
  for (std::thread& t : started) t.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
  return cancelled ? 0 : 1;
}

int CDistort::Distort(const LayerInfo& dest, BYTE* destPixels, const DistortArgs& args, JobControl* control) {
  try {
    Prepare(dest, destPixels, args);
    JobControl local;
    JobControl* ctl = control ? control : &local;
    ctl->progress = 0;
    ctl->total = 100;
    ListCells();
    ctl->total = int32_t(std::min<int64_t>(INT32_MAX, 1 + int64_t(m_cells.size())));
    ctl->progress = 0;
    return DrawTiles(ctl);
  } catch (GErrRecord* e) {
    GTrace(e, u"CDistort", u"::Distort()")->AppendMemory(GMemory{DISTORT_ARGS_FIXED, &args});
    throw;
  }
}
