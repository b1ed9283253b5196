#include "BlockOccupancy.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace {
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

void BlockOccupancy::Reset(int columns, int rows, bool unsure) {
  for (auto& m : m_maps) m.clear();
  m_columns[0] = columns;
  m_rows[0] = rows;
  m_maps[0].assign(size_t(columns) * size_t(rows), 0);
  m_unsure = unsure;
  m_levelsRefreshedWhileUnsure = false;
  m_levelsBuilt = false;
  // Unknown content leaves the levels' grid unknown too.
  m_grid = unsure ? Grid::kMixed : Grid::kNone;
}

void BlockOccupancy::Clear() { Reset(m_columns[0], m_rows[0], false); }

void BlockOccupancy::MarkUnsure() {
  if (!m_unsure) m_levelsRefreshedWhileUnsure = false;
  m_unsure = true;
  m_levelsBuilt = false;
}

void BlockOccupancy::MarkBlocks(int c0, int r0, int c1, int r1) {
  c0 = std::max(c0, 0), r0 = std::max(r0, 0);
  c1 = std::min(c1, m_columns[0]), r1 = std::min(r1, m_rows[0]);
  // Dab after dab marks blocks already marked: the levels' maps are rebuilt only when one
  // was not.
  for (int r = r0; r < r1 && c0 < c1; ++r) {
    BYTE* row = m_maps[0].data() + size_t(r) * size_t(m_columns[0]);
    if (std::find(row + c0, row + c1, BYTE(0)) == row + c1) continue;
    std::memset(row + c0, 1, size_t(c1 - c0));
    m_levelsBuilt = false;
  }
}

void BlockOccupancy::MarkMap(const BYTE* map) {
  for (int r = 0; r < m_rows[0]; ++r) {
    const BYTE* from = map + size_t(r) * LYR_MARK_SIDE;
    BYTE* to = m_maps[0].data() + size_t(r) * size_t(m_columns[0]);
    for (int c = 0; c < m_columns[0]; ++c) to[c] |= from[c];
  }
  m_levelsBuilt = false;
}

bool BlockOccupancy::BlockEmpty(const Surface& s, int column, int row) {
  // The whole 64 x 64 block, padding included: a stray byte there only costs time.
  const size_t bytes = size_t(LYR_BLOCK) * size_t(s.pixelSize);
  const BYTE* at = s.pixels + size_t(row) * LYR_BLOCK * s.rowBytes + size_t(column) * bytes;
  for (int line = 0; line < LYR_BLOCK; ++line, at += s.rowBytes) {
    __m128i any = _mm_setzero_si128();
    for (size_t i = 0; i < bytes; i += 16)
      any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF) return false;
  }
  return true;
}

void BlockOccupancy::Refreshed(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  // In layer pixels, clipped to the layer.
  left = std::max<int64_t>(left - s.x, 0);
  top = std::max<int64_t>(top - s.y, 0);
  right = std::min<int64_t>(right - s.x, s.width);
  bottom = std::min<int64_t>(bottom - s.y, s.height);
  if (left >= right || top >= bottom) return;
  const bool whole = left == 0 && top == 0 && right == s.width && bottom == s.height;
  LevelsRebuiltAt(s, whole);
  if (m_unsure && !whole) {
    // What this refresh read of blocks written meanwhile is not known: only a whole scan
    // with a whole refresh settles the map now.
    m_levelsRefreshedWhileUnsure = true;
    return;
  }
  const int c0 = int(left / LYR_BLOCK), c1 = int((right + LYR_BLOCK - 1) / LYR_BLOCK);
  const int r0 = int(top / LYR_BLOCK), r1 = int((bottom + LYR_BLOCK - 1) / LYR_BLOCK);
  // A block is covered whole when the rectangle holds all of its pixels inside the layer.
  auto covered = [](int64_t b, int64_t lo, int64_t hi, int64_t side) {
    return b * LYR_BLOCK >= lo && std::min<int64_t>((b + 1) * LYR_BLOCK, side) <= hi;
  };
  for (int r = r0; r < r1; ++r) {
    BYTE* row = m_maps[0].data() + size_t(r) * size_t(m_columns[0]);
    const bool rowCovered = covered(r, top, bottom, s.height);
    for (int c = c0; c < c1; ++c) {
      const bool empty = BlockEmpty(s, c, r);
      if (!empty)
        row[c] = 1;
      else if (rowCovered && covered(c, left, right, s.width))
        row[c] = 0;
    }
  }
  m_unsure = false;
  m_levelsBuilt = false;
}

void BlockOccupancy::LevelsRebuiltAt(const Surface& s, bool whole) {
  const bool here = m_grid == Grid::kAt && m_gridX == s.x && m_gridY == s.y;
  if (whole || m_grid == Grid::kNone || here) {
    // A whole refresh rewrites every level pixel; a part of levels otherwise all zero, or on
    // this very grid, leaves them on one grid.
    m_grid = Grid::kAt;
    m_gridX = s.x;
    m_gridY = s.y;
  } else {
    m_grid = Grid::kMixed;
  }
  m_levelsBuilt = false;
}

bool BlockOccupancy::Resolve(const Surface& s) {
  if (!m_unsure) return true;
  if (m_levelsRefreshedWhileUnsure) return false;
  // The levels are as they were when the map was last known: blocks unmarked then were empty
  // with every level pixel over them computed from zeros, so marking what is not empty now
  // makes the map exact again.
  for (int r = 0; r < m_rows[0]; ++r) {
    BYTE* row = m_maps[0].data() + size_t(r) * size_t(m_columns[0]);
    for (int c = 0; c < m_columns[0]; ++c)
      if (!row[c] && !BlockEmpty(s, c, r)) row[c] = 1;
  }
  m_unsure = false;
  m_levelsBuilt = false;
  return true;
}

bool BlockOccupancy::Empty() const {
  return !m_unsure && std::find(m_maps[0].begin(), m_maps[0].end(), BYTE(1)) == m_maps[0].end();
}

void BlockOccupancy::BuildLevels(const Surface& s) {
  // On one grid at the layer's present position (or none: every level pixel zero) K is
  // known; a level pixel past the extent a whole refresh covered may stand on any grid, so
  // a grid elsewhere counts as mixed.
  const bool known = m_grid == Grid::kNone || (m_grid == Grid::kAt && m_gridX == s.x && m_gridY == s.y);
  // Level-0 blocks [first, last] that cells of one axis read, cell by cell.
  struct Reach {
    int first, last;
  };
  std::vector<Reach> reachX, reachY;
  auto reaches = [](std::vector<Reach>& out, int cells, int64_t span, int64_t kLo, int64_t kHi, int blocks) {
    out.resize(size_t(cells));
    for (int c = 0; c < cells; ++c) {
      const int64_t lo = span * c - kHi, hi = span * (c + 1) - kLo - 1;  // level-0 pixels
      out[size_t(c)] = Reach{int(std::max<int64_t>(0, FloorDiv(lo, LYR_BLOCK))),
                             int(std::min<int64_t>(blocks - 1, FloorDiv(hi, LYR_BLOCK)))};
    }
  };
  const std::vector<BYTE>& base = m_maps[0];
  for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
    const int64_t step = int64_t(1) << level, side = CellSide(level);
    const int64_t w = ((int64_t(s.x) + s.width + step - 1) >> level) - (int64_t(s.x) >> level);
    const int64_t h = ((int64_t(s.y) + s.height + step - 1) >> level) - (int64_t(s.y) >> level);
    const int columns = int((w + side - 1) / side), rows = int((h + side - 1) / side);
    const int64_t kx = int64_t(s.x) & (step - 1), ky = int64_t(s.y) & (step - 1);
    reaches(reachX, columns, step * side, known ? kx : 0, known ? kx : step - 1, m_columns[0]);
    reaches(reachY, rows, step * side, known ? ky : 0, known ? ky : step - 1, m_rows[0]);
    std::vector<BYTE>& map = m_maps[level];
    map.assign(size_t(columns) * size_t(rows), 0);
    for (int r = 0; r < rows; ++r) {
      const Reach ry = reachY[size_t(r)];
      for (int c = 0; c < columns; ++c) {
        const Reach rx = reachX[size_t(c)];
        BYTE any = 0;
        for (int br = ry.first; br <= ry.last && !any; ++br)
          for (int bc = rx.first; bc <= rx.last && !any; ++bc) any = base[size_t(br) * size_t(m_columns[0]) + size_t(bc)];
        map[size_t(r) * size_t(columns) + size_t(c)] = any;
      }
    }
    m_columns[level] = columns;
    m_rows[level] = rows;
  }
  m_levelsBuilt = true;
}

const BYTE* BlockOccupancy::Level(int level, const Surface& s, uint32_t* pitch) {
  if (m_unsure || level < 0 || level >= LYR_MIP_DEPTH) return nullptr;
  if (level > 0 && !m_levelsBuilt) BuildLevels(s);
  *pitch = uint32_t(m_columns[level]);
  return m_maps[level].data();
}
