// CShapeZip: the polygon filler's edge-crossing collector and sorter. Every edge is cut into
// one crossing per sub-row it spans; the sorted crossings are read back sub-row by sub-row
// as spans paired under the non-zero winding rule.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/Types.h"

// One edge crossing a sub-row. key = 2 * X + direction (1: the edge runs downwards);
// crossings order by y, then key, so equal records are identical and stability is moot.
struct ShapeCrossing {
  int32_t key;
  int32_t y;
};
static_assert(sizeof(ShapeCrossing) == 8);

inline bool operator<(const ShapeCrossing& a, const ShapeCrossing& b) {
  return a.y != b.y ? a.y < b.y : a.key < b.key;
}

class CShapeZip {
 public:
  enum State : int32_t { staREADY = 0, staINPUT = 1, staOUTPUT = 2 };
  static constexpr size_t kBlock = 8192;
  // Pixel coordinates are clamped to this magnitude (a hundred times the largest space), so
  // keys (2 X + 1) and the edge arithmetic stay inside their integer types whatever the
  // floats are; NaN counts as 0.
  static constexpr double kPixelLimit = double(1 << 20);

  CShapeZip() = default;
  CShapeZip(const CShapeZip&) = delete;
  CShapeZip& operator=(const CShapeZip&) = delete;

  void InputBegin(int factor);
  void InputLine(const float from[2], const float to[2]);
  void InputEnd();
  // Places the cursor on the first crossing at or below sub-row firstSubRow.
  void OutputBegin(int64_t firstSubRow);
  // The next span [left, right) of one sub-row; FALSE at the end of the list. Inline: the
  // filler calls it once per span.
  BOOL OutputRow(RECT* span) {
    if (m_myState != staOUTPUT) OutputFail(u"!m_myState==staOUTPUT");
    const ShapeCrossing* p = m_pCursor;
    const ShapeCrossing* const end = m_pEnd;
    if (p == end) return FALSE;
    const ShapeCrossing l = *p++;
    int32_t depth = 0;
    for (; p != end; ++p) {
      const ShapeCrossing r = *p;
      if (r.y != l.y) OutputFail(u"!L.y==R.y");
      if ((r.key ^ l.key) & 1) {
        if (depth == 0) {
          *span = RECT{l.key >> 1, l.y, r.key >> 1, l.y + 1};
          m_pCursor = p + 1;
          return TRUE;
        }
        --depth;
      } else {
        ++depth;
      }
    }
    m_pCursor = end;  // an open winding at the end of the list: nothing more to read
    return FALSE;
  }
  // The crossing under the cursor, without moving it.
  BOOL Peek(ShapeCrossing* out) const {
    if (m_pCursor == m_pEnd) return FALSE;
    *out = *m_pCursor;
    return TRUE;
  }
  void Reset() { m_myState = staREADY; }

  State GetState() const { return m_myState; }
  double GetScale() const { return m_scale; }
  size_t GetCount() const { return m_nCount; }
  // The sub-sample coordinate of a pixel coordinate: floor(v * scale).
  int32_t ToSub(float v) const;

 private:
  // Throws a failed check of OutputRow with its context; the cursor stays where it was.
  [[noreturn]] static void OutputFail(const char16_t* condition);
  void Append(int32_t x0, int32_t dir, int32_t y0, int64_t dy, int64_t dx);
  void Sort();

  State m_myState = staREADY;
  // The crossings in the order they were made, in blocks that never move.
  std::vector<std::unique_ptr<ShapeCrossing[]>> m_blocks;
  size_t m_nCount = 0;
  int32_t m_yMin = 0;
  int32_t m_yMax = 0;
  int32_t m_keyMin = 0;
  int32_t m_keyMax = 0;
  // The sorted list that the cursor reads; allocated once and grown only.
  std::unique_ptr<ShapeCrossing[]> m_pSorted;
  size_t m_nSortedCapacity = 0;
  std::vector<uint32_t> m_rowStart;
  // Crowded sub-rows are sorted by key first through this buffer; grown only.
  std::unique_ptr<ShapeCrossing[]> m_pTemp;
  size_t m_nTempCapacity = 0;
  std::vector<uint32_t> m_keyStart;
  const ShapeCrossing* m_pCursor = nullptr;
  const ShapeCrossing* m_pEnd = nullptr;
  double m_scale = 1.0;
};
