// Walking the marked 64 x 64 blocks of a block-mark map: block rows from the top, and in
// each row every run of consecutive marked blocks from the left. Runs are bounded by the
// surface's own block columns.
#pragma once
#include <cstdint>

#include "odata/OLayer.h"

struct BlockRun {
  int row;     // block row
  int column;  // first block column
  int count;   // blocks in the run
};

// Calls f(BlockRun) for each run within the first rows x columns blocks of the map.
template <class F>
void ForEachRun(const BYTE* map, int columns, int rows, F&& f) {
  for (int r = 0; r < rows; ++r) {
    const BYTE* line = map + size_t(r) * LYR_MARK_SIDE;
    for (int c = 0; c < columns;) {
      if (!line[c]) {
        ++c;
        continue;
      }
      int n = 1;
      while (c + n < columns && line[c + n]) ++n;
      f(BlockRun{r, c, n});
      c += n;
    }
  }
}

// The number of marked blocks within the first rows x columns blocks.
inline uint32_t CountMarked(const BYTE* map, int columns, int rows) {
  uint32_t n = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) n += map[size_t(r) * LYR_MARK_SIDE + c] ? 1 : 0;
  return n;
}
