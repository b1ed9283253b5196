// "Corbish": the polygon filler. Outlines go into the crossing collector point by point;
// rows of coverage (covered sub-samples of an f x f grid per pixel) come back out.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "ShapeZip.h"
#include "odata/GError.h"
#include "odata/OShape.h"

class Corbish final : public GComponent<OShape> {
 public:
  enum State : int32_t { staREADY = 0, staFILLING = 1, staFILLED = 2, staSCANNING = 3 };
  // A pixel of the row being built and what it adds there.
  struct Mark {
    int64_t x;
    int32_t n;
  };
  // Entries [x0, x1) of the buffer hold v (not 0), or, with v = kDense, values of any kind.
  static constexpr int32_t kDense = -1;
  struct Run {
    int64_t x0;
    int64_t x1;
    int32_t v;
  };

  Corbish() = default;
  ~Corbish() override = default;

  void CollectBegin(int factor) override;
  void Collect(const float point[2], BOOL newContour) override;
  BOOL CollectEnd() override;
  WORD* ScanBegin(const RECT* scan) override;
  BOOL Scan(RECT* rowOut) override;
  void Reset() override;

  State GetState() const { return m_myState; }
  const CShapeZip& GetZip() const { return m_zip; }
  // A row is summed densely when its marks times this exceed its width in pixels; 0 never
  // does, a huge value always does. Both ways give the same counts.
  void SetDenseRatio(int64_t ratio) { m_nDenseRatio = ratio; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  // Adds a clipped span [s, e) of sub-columns, relative to the scan rectangle's left edge.
  void AddSpan(int64_t s, int64_t e);
  // Turns the marks of AddSpan into runs and writes the entries where they differ from the
  // runs of the last row.
  void BuildRow();
  void BuildDense(int64_t lo, int64_t hi);
  // Writes the entries where m_newRuns differ from m_runs, then keeps m_newRuns.
  void WriteRuns();

  State m_myState = staREADY;
  CShapeZip m_zip;
  // The coverage row; m_runs says what it holds (0 outside them). Callers only read it, so a
  // new row writes only the entries that differ from the last, and a large fill costs its
  // outline rather than its area.
  std::unique_ptr<WORD[]> m_pBuffer;
  std::vector<Run> m_runs;
  std::vector<Run> m_newRuns;
  // The row being built: the first pixels of whole-pixel runs (+f), the pixels past their
  // ends (-f), and the partly covered pixels at the left and right ends of spans. Each list is
  // in order within a sub-row; across the sub-rows of a row the ends of a smooth outline
  // move steadily, so each list is nearly sorted one way or the other.
  std::vector<Mark> m_starts;
  std::vector<Mark> m_ends;
  std::vector<Mark> m_partLeft;
  std::vector<Mark> m_partRight;
  // The pixels the marks touch: [m_nMarkLo, m_nMarkHi).
  int64_t m_nMarkLo = INT64_MAX;
  int64_t m_nMarkHi = INT64_MIN;
  // A row with many marks for its width is summed densely instead: per-pixel steps and
  // partial counts, capacity + 1 entries each, 0 between rows.
  std::unique_ptr<int32_t[]> m_pStep;
  std::unique_ptr<int32_t[]> m_pPart;
  RECT m_rcScan{};
  float m_ptLast[2]{};
  float m_ptFirst[2]{};
  // The second point of the contour: its first edge waits for the third point, so that a
  // contour of fewer than 3 points leaves no crossing behind.
  float m_ptSecond[2]{};
  int32_t m_nPoints = 0;
  size_t m_nCapacity = 0;  // entries of the row buffer
  int32_t m_j = 0;
  int64_t m_nDenseRatio = 8;
};
