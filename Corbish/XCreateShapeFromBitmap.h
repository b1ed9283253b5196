// "XCreateShapeFromBitmap": traces the set pixels of a 1-bit map into closed outlines in one
// raster pass of a 2 x 2 window, with a vertex only where an outline turns, and hands the
// contours out point by point.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "odata/GError.h"
#include "odata/OCreateShapeFromBitmap.h"

// A vertex at a pixel corner; next is the index of the following vertex of its contour
// (-1 while the contour is still open during the pass).
struct TraceVertex {
  int32_t X;
  int32_t Y;
  int32_t nEmitted;
  int32_t next;
};
static_assert(sizeof(TraceVertex) == 16);

class XCreateShapeFromBitmap final : public GComponent<OCreateShapeFromBitmap> {
 public:
  enum State : int32_t { myNOTHING = 0, myREADY = 1 };
  static constexpr int kBlockShift = 12;  // blocks of 4096 vertices
  static constexpr size_t kBlock = size_t(1) << kBlockShift;
  // Blocks End keeps for the next trace; a larger trace gives the rest back.
  static constexpr size_t kKeptBlocks = 64;

  XCreateShapeFromBitmap() = default;
  ~XCreateShapeFromBitmap() override = default;

  int Begin(DWORD* pBitmap, const RECT* rcBitmap, const RECT* rcLimit) override;
  BOOL GetPoint(POINT* point, int* newContour) override;
  void End() override;

  State GetState() const { return m_myState; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  State m_myState = myNOTHING;
  TraceVertex& Vertex(size_t i) { return m_qPoint[i >> kBlockShift][i & (kBlock - 1)]; }

  // The vertices in the order the pass made them, in blocks that never move; they are read
  // from the newest.
  std::vector<std::unique_ptr<TraceVertex[]>> m_qPoint;
  size_t m_nPoints = 0;
  // The next vertex to look at when a contour starts, counting down; -1 at the end.
  int64_t m_nRead = -1;
  // One pending link per column of the traced frame; grown only.
  std::vector<int32_t> m_links;
  // The vertex handed out next within the current contour, -1 between contours.
  int32_t m_nContour = -1;
};
