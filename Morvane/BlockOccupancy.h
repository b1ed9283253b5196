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
  // The blocks of a mip level (level-L pixel (c, r) of the layer's level lies in block
  // (c / 64, r / 64)), *pitch bytes a row; null while unsure (read as all marked).
  const BYTE* Level(int level, const Surface& s, uint32_t* pitch);

  int Columns() const { return m_columns[0]; }
  int Rows() const { return m_rows[0]; }
  bool IsMarked(int column, int row) const {
    return m_unsure || m_maps[0][size_t(row) * size_t(m_columns[0]) + size_t(column)];
  }

 private:
  static bool BlockEmpty(const Surface& s, int column, int row);
  void BuildLevels(const Surface& s);

  std::vector<BYTE> m_maps[LYR_MIP_DEPTH];
  int m_columns[LYR_MIP_DEPTH] = {};
  int m_rows[LYR_MIP_DEPTH] = {};
  bool m_unsure = false;
  bool m_levelsRefreshedWhileUnsure = false;
  bool m_levelsBuilt = false;  // maps 1.. follow map 0
};
