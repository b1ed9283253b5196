// Which 64 x 64 blocks of a layer may hold a non-zero pixel, so that readers (the view, the
// thumbnail) pass over the empty ones.
//
// The rule that keeps it exact: a block with a non-zero pixel is always marked, at level 0
// and, through the levels' maps, at every mip level. A marked block may be empty (that only
// costs time). Marks are set where pixels are written; a block is unmarked again only by a mip
// refresh that finds it empty and rebuilds every level pixel that depends on it, so an
// unmarked block's level pixels were all computed from zeros.
//
// A holder of the layer's lock may write anywhere, unless it locked with LYR_LOCK_MARKED (it
// marks blocks before it writes them): while it may have, the map is "unsure" and reads as
// all marked. A scan resolves it: at a whole-layer mip refresh (which also unmarks
// empty blocks), or, when no refresh touched the levels meanwhile, by marking what it finds.
//
// The levels' maps are finer (cells of half a block), derived from level 0 through the level
// pixels' own grid: level-L pixel c of the layer averages level-0 pixels 2^L c - K ..
// 2^L c - K + 2^L - 1, K the layer's x (or y) modulo 2^L where its levels were refreshed.
// While every level pixel stands on the layer's present grid K is known and a level-1 cell
// reads one block; after a move and a partial refresh some stand on another, and every K is
// taken until a whole refresh.
#pragma once
#include <cstdint>
#include <vector>

#include "odata/OLayer.h"

class BlockOccupancy {
 public:
  // The level-0 pixels a scan reads: rows top-down, pixelSize bytes a pixel, x and y the
  // layer's position (the levels sit on the canvas grid).
  struct Surface {
    const BYTE* pixels;
    size_t rowBytes;
    int pixelSize;
    int32_t x, y, width, height;
  };

  // A layer of columns x rows blocks, every pixel zero (levels too), or of unknown content.
  void Reset(int columns, int rows, bool unsure);
  // Every pixel of every level is zero again.
  void Clear();
  // Pixels may now be written anywhere.
  void MarkUnsure();
  // The layer moved: the levels' maps follow its new grid.
  void Moved() { m_levelsBuilt = false; }
  // Blocks [c0, c1) x [r0, r1) may be written.
  void MarkBlocks(int c0, int r0, int c1, int r1);
  // The blocks marked in a block-mark map (LYR_MARK_SIDE bytes a row) may be written.
  void MarkMap(const BYTE* map);

  // After the levels were rebuilt over the space rectangle (clipped to the layer): blocks it
  // touches are marked where non-zero; those it covers whole are unmarked where empty.
  void Refreshed(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom);
  // Resolves an unsure map by a scan where that is exact (see above); true when the map is
  // known afterwards.
  bool Resolve(const Surface& s);

  bool Unsure() const { return m_unsure; }
  // True when no block of level 0 is marked (the map known).
  bool Empty() const;
  // The cells of a mip level (level-L pixel (c, r) of the layer's level lies in cell
  // (c / CellSide(L), r / CellSide(L))), *pitch bytes a row; null while unsure (read as all
  // marked).
  const BYTE* Level(int level, const Surface& s, uint32_t* pitch);
  static constexpr int CellSide(int level) { return level == 0 ? LYR_BLOCK : LYR_BLOCK / 2; }

  int Columns() const { return m_columns[0]; }
  int Rows() const { return m_rows[0]; }
  bool IsMarked(int column, int row) const {
    return m_unsure || m_maps[0][size_t(row) * size_t(m_columns[0]) + size_t(column)];
  }

 private:
  static bool BlockEmpty(const Surface& s, int column, int row);
  void BuildLevels(const Surface& s);
  // The levels were rebuilt over part (or the whole) of the layer at its position in s.
  void LevelsRebuiltAt(const Surface& s, bool whole);

  std::vector<BYTE> m_maps[LYR_MIP_DEPTH];
  int m_columns[LYR_MIP_DEPTH] = {};
  int m_rows[LYR_MIP_DEPTH] = {};
  bool m_unsure = false;
  bool m_levelsRefreshedWhileUnsure = false;
  bool m_levelsBuilt = false;  // maps 1.. follow map 0
  // The grid of the level pixels: none computed yet (all zero), all at one position, or mixed.
  enum class Grid { kNone, kAt, kMixed } m_grid = Grid::kNone;
  int32_t m_gridX = 0, m_gridY = 0;  // the position while kAt
};
