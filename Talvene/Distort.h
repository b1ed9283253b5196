// The mesh warp: the Bezier mesh built from a DistortArgs record, and the renderer CDistort
// that splats the warped source into a locked destination tile by tile.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "DistortKernels.h"
#include "odata/GError.h"
#include "odata/ODistort.h"

constexpr int kMeshMax = 256;
// Grid points are held within this many pixels of the origin, so that fixed-point positions
// and their products stay inside 64 bits and every float converts to an integer.
constexpr float kMeshReach = 1048576.0f;

// Sample points of the source and where they land. Point (r, q) of the grid is where the
// source point (xs[q], ys[r]) lands.
struct DistortMesh {
  int32_t xs[kMeshMax];
  int32_t ys[kMeshMax];
  float tx[kMeshMax];  // curve parameter of each sample column
  float ty[kMeshMax];
  int32_t nCols;
  int32_t nRows;
  DistortPoint curves[4][kMeshMax];  // per lattice column, its curve at the sample rows
  DistortPoint grid[kMeshMax][kMeshMax];

  void Clear();
};

// Builds the mesh from the record's source size, lattice, density and bias with the given
// flags (DISTORT_F_HALF halves the samples). Throws "Density.x?", "Density.y?",
// "SIZE_TOO_SMALL" (width + 2 or height + 2 not positive) and "SIZE_TOO_LARGE" (a side
// above LYR_MAX_SIDE).
void BuildMesh(DistortMesh& mesh, const DistortArgs& args, uint32_t flags);
// The easing of a curve parameter by a bias (-1..1); 0 and 1 stay fixed.
float Ease(float t, float a);
// A convex cell whose corners run clockwise on screen (y down) without facing, the other way
// with it.
bool IsFrontFacing(DistortPoint c00, DistortPoint c01, DistortPoint c10, DistortPoint c11, bool facing);
// Whether the segment may touch the tile [left, right) x [top, bottom) (never a false no).
bool SegmentHitsTile(DistortPoint a, DistortPoint b, const RECT& tile);
// The grid's bounding rectangle grown by one pixel.
RECT MeshBound(const DistortMesh& mesh);

class CDistort {
 public:
  // The largest source extent of a cell: a side of LYR_MAX_SIDE over 32 half samples.
  static constexpr int kMaxStep = (LYR_MAX_SIDE + 2 + 31) / 32;
  static constexpr int kBlockSide = kMaxStep + 1;

  CDistort();
  CDistort(const CDistort&) = delete;
  CDistort& operator=(const CDistort&) = delete;

  // Renders into the destination (its description and first row): 1 done, 0 cancelled by
  // the control block's abort bit (the tiles finished so far stay composed, and so may some
  // rows of the tile in progress).
  int Distort(const LayerInfo& dest, BYTE* destPixels, const DistortArgs& args, JobControl* control);
  // The mesh bound of the record with its own flags.
  void GetBound(RECT* out, const DistortArgs& args);

  // The two first steps of Distort, apart so that they can be measured apart: the mesh, the
  // facing of each cell and the tiles; then the cells the tiles will draw.
  void Prepare(const LayerInfo& dest, BYTE* destPixels, const DistortArgs& args);
  int64_t CountCells() const;
  int GetTileCount() const { return m_nTilesX * m_nTilesY; }

  const DistortMesh& GetMesh() const { return m_mesh; }
  void SetKernels(const distort::Kernels& k) { m_kernels = k; }
  // Called with the tile's number after each composed tile (tests cancel at a known point).
  void SetTileHook(std::function<void(int)> hook) { m_afterTile = std::move(hook); }
  // The threads that share each tile, each drawing and composing the next kSubRows rows of
  // it not taken yet (1: the calling thread alone). The bits do not depend on it.
  void SetThreads(int n) { m_threads = std::clamp(n, 1, kMaxThreads); }
  int GetThreads() const { return m_threads; }

  static constexpr int kMaxThreads = 8;

 private:
  struct Crossings {
    int32_t x[2];
    int32_t filled;
  };
  // The rows a thread splats and composes at a time: their sums stay in its own cache.
  static constexpr int kSubRows = 16;
  // One thread's working memory for the cells it draws and the sums of its rows.
  struct CellScratch {
    distort::AccEntry acc[kSubRows * distort::kTile];
    uint32_t cover[kSubRows * distort::kTile];
    distort::Texel block[kBlockSide * kBlockSide];
    int64_t lv[kBlockSide], lh[kBlockSide];
    int64_t vSteps[kBlockSide], vPeriod[kBlockSide], hSteps[kBlockSide], hPeriod[kBlockSide];
    int64_t rowPts[2][kBlockSide][2];
    uint8_t fetched[kBlockSide];
    Crossings span[kSubRows * 16];  // the sub-rows of the rows being drawn
  };
  RECT TileAt(int index) const;
  bool CellDrawn(int r, int q, const RECT& tile) const;
  // Rows [top, bottom) of a tile: the tile's cells that reach them splatted into the
  // scratch's sums, then composed; false when the abort bit stopped it (the rows stay as they
  // were). counts: adds the tile's drawn cells to the progress.
  bool DrawRows(int tileIndex, const RECT& tile, int top, int bottom, CellScratch& w, bool counts, JobControl* ctl);
  // The cells each tile draws, in drawing order.
  void ListCells();
  // Row j of cell (r, q)'s source pixels, nx + 1 of them, into the scratch's block.
  void FetchRow(CellScratch& w, int r, int q, int nx, int j) const;
  // Corners relative to the band's top-left; the band has rowsFix / 128 rows from acc on.
  // Fetches only the source rows whose strips reach the band.
  void SplatCell(CellScratch& w, const int64_t c[4][2], int r, int q, distort::AccEntry* acc, int64_t rowsFix) const;
  void RasteriseCoverage(CellScratch& w, const int64_t c[4][2], uint32_t* cover, int64_t subRows) const;
  // Composes tile rows [y0, y1) from sums whose first row is y0's.
  void ComposeRows(const RECT& tile, int y0, int y1, const distort::AccEntry* acc, const uint32_t* cover);
  // The tiles from the first on, each tile's rows shared among the threads; 0 when cancelled.
  int DrawTiles(JobControl* ctl);

  DistortMesh m_mesh;
  distort::Kernels m_kernels = distort::kFastKernels;
  std::function<void(int)> m_afterTile;
  int m_threads = 1;

  // The render in progress.
  LayerInfo m_dest{};
  BYTE* m_pDest = nullptr;
  const DistortArgs* m_pArgs = nullptr;
  RECT m_bound{};
  int64_t m_tileX0 = 0, m_tileY0 = 0;  // the first tile square's top-left
  int m_nTilesX = 0, m_nTilesY = 0;
  uint8_t m_front[kMeshMax][kMeshMax];  // the cell is front-facing
  std::vector<uint32_t> m_cells;        // row << 16 | column of the cells drawn, tile by tile
  std::vector<size_t> m_tileCells;      // where each tile's cells start, and the end

  // The threads' working memory: the calling thread's, and the other threads' made at the
  // first render that uses them.
  CellScratch m_scratch;
  std::unique_ptr<CellScratch> m_moreScratch[kMaxThreads - 1];
};
