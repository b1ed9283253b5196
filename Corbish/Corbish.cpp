#include "Corbish.h"

#include <algorithm>
#include <cstring>

#include "platform/base/Text.h"

void* Corbish::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"OShape") == 0 ? static_cast<OShape*>(this) : nullptr;
}

void Corbish::CollectBegin(int factor) {
  try {
    GVERIFY(m_myState == staREADY, u"!m_myState==staREADY");
    int j = 0;
    while ((1 << j) < 32 && (1 << j) != factor) ++j;
    GVERIFY(j < 5, u"!j<5");
    m_zip.InputBegin(factor);
    m_myState = staFILLING;
    m_j = j;
    m_nPoints = 0;
  }
  GCATCH(u"Corbish", u"::CollectBegin()", ->AppendArg(GArgInt(factor)))
}

void Corbish::Collect(const float point[2], BOOL newContour) {
  try {
    GVERIFY(m_myState == staFILLING, u"!m_myState==staFILLING");
    if (newContour) {
      if (m_nPoints > 2) m_zip.InputLine(m_ptLast, m_ptFirst);
      m_nPoints = 0;
    }
    // The first edge is held back until a third point arrives: a contour of 1 or 2 points
    // is dropped whole, since its unclosed edge would unbalance the winding of its sub-rows.
    switch (m_nPoints) {
      case 0:
        std::memcpy(m_ptFirst, point, sizeof m_ptFirst);
        break;
      case 1:
        std::memcpy(m_ptSecond, point, sizeof m_ptSecond);
        break;
      case 2:
        m_zip.InputLine(m_ptFirst, m_ptSecond);
        m_zip.InputLine(m_ptSecond, point);
        break;
      default:
        m_zip.InputLine(m_ptLast, point);
        break;
    }
    ++m_nPoints;
    std::memcpy(m_ptLast, point, sizeof m_ptLast);
  }
  GCATCH(u"Corbish", u"::Collect()")
}

BOOL Corbish::CollectEnd() {
  try {
    GVERIFY(m_myState == staFILLING, u"!m_myState==staFILLING");
    if (m_nPoints < 3) {
      // The collector stays in its input state until Reset.
      m_myState = staREADY;
      return FALSE;
    }
    m_zip.InputLine(m_ptLast, m_ptFirst);
    m_zip.InputEnd();
    m_myState = staFILLED;
    return TRUE;
  }
  GCATCH(u"Corbish", u"::CollectEnd()")
}

WORD* Corbish::ScanBegin(const RECT* scan) {
  try {
    GVERIFY(m_myState == staFILLED, u"!m_myState==staFILLED");
    const int64_t nSpaceWidth = int64_t(scan->right) - scan->left;
    GVERIFY(nSpaceWidth > 0, u"!nSpaceWidth>0");
    const size_t need = size_t((nSpaceWidth + 3) & ~int64_t(3));
    if (need > m_nCapacity) {
      m_pBuffer.reset();
      m_pStep.reset();
      m_pPart.reset();
      m_pBuffer.reset(new WORD[need]());
      m_pStep.reset(new int32_t[need + 1]());
      m_pPart.reset(new int32_t[need + 1]());
      m_nCapacity = need;
      m_runs.clear();
    }
    m_zip.OutputBegin(int64_t(scan->top) << m_j);
    m_rcScan = *scan;
    m_myState = staSCANNING;
    return m_pBuffer.get();
  }
  GCATCH(u"Corbish", u"::ScanBegin()", ->AppendArg(GArgInt(scan->left))->AppendArg(GArgInt(scan->right)))
}

// Counts sub-columns [s, e) (0 <= s < e <= width << j) into the row being built. The counts
// equal those of adding 1 per sub-column: whole pixels get f each, the pixels at the ends
// what the span covers of them.
void Corbish::AddSpan(int64_t s, int64_t e) {
  const int j = m_j;
  const int32_t f = 1 << j;
  const int64_t mask = f - 1;
  const int64_t ps = s >> j, pe = e >> j;
  m_nMarkLo = std::min(m_nMarkLo, ps);
  m_nMarkHi = std::max(m_nMarkHi, (e & mask) ? pe + 1 : pe);
  if (ps == pe) {
    m_partLeft.push_back(Mark{ps, int32_t(e - s)});
  } else {
    int64_t first = ps;
    if (s & mask) {
      m_partLeft.push_back(Mark{ps, int32_t(f - (s & mask))});
      ++first;
    }
    if (e & mask) m_partRight.push_back(Mark{pe, int32_t(e & mask)});
    if (pe > first) {
      m_starts.push_back(Mark{first, f});
      m_ends.push_back(Mark{pe, -f});
    }
  }
}

namespace {

void SortMarks(std::vector<Corbish::Mark>& v) {
  auto less = [](const Corbish::Mark& a, const Corbish::Mark& b) { return a.x < b.x; };
  auto more = [](const Corbish::Mark& a, const Corbish::Mark& b) { return a.x > b.x; };
  if (std::is_sorted(v.begin(), v.end(), less)) return;
  if (std::is_sorted(v.begin(), v.end(), more)) {
    std::reverse(v.begin(), v.end());
    return;
  }
  if (v.size() <= 16) {
    for (size_t i = 1; i < v.size(); ++i) {
      const Corbish::Mark m = v[i];
      size_t k = i;
      for (; k > 0 && m.x < v[k - 1].x; --k) v[k] = v[k - 1];
      v[k] = m;
    }
    return;
  }
  std::sort(v.begin(), v.end(), less);
}

// Walks a sorted list of marks.
struct MarkCursor {
  const Corbish::Mark* p;
  const Corbish::Mark* end;
  explicit MarkCursor(const std::vector<Corbish::Mark>& v) : p(v.data()), end(v.data() + v.size()) {}
  int64_t Next() const { return p != end ? p->x : INT64_MAX; }
  // The sum of the marks at x, passed over.
  int32_t Take(int64_t x) {
    int32_t n = 0;
    for (; p != end && p->x == x; ++p) n += p->n;
    return n;
  }
};

}  // namespace

void Corbish::BuildRow() {
  const size_t marks = m_starts.size() + m_ends.size() + m_partLeft.size() + m_partRight.size();
  const int64_t lo = m_nMarkLo, hi = m_nMarkHi;
  m_nMarkLo = INT64_MAX;
  m_nMarkHi = INT64_MIN;
  if (marks != 0 && m_nDenseRatio > 0 && int64_t(marks) > (hi - lo) / m_nDenseRatio) {
    BuildDense(lo, hi);
  } else {
    SortMarks(m_starts);
    SortMarks(m_ends);
    SortMarks(m_partLeft);
    SortMarks(m_partRight);
    std::vector<Run>& runs = m_newRuns;
    runs.clear();
    auto emit = [&runs](int64_t x0, int64_t x1, int32_t v) {
      if (v == 0) return;
      if (!runs.empty() && runs.back().x1 == x0 && runs.back().v == v) {
        runs.back().x1 = x1;
      } else {
        runs.push_back(Run{x0, x1, v});
      }
    };
    MarkCursor starts(m_starts), ends(m_ends), left(m_partLeft), right(m_partRight);
    int64_t at = 0;
    int32_t level = 0;
    for (;;) {
      const int64_t x = std::min(std::min(starts.Next(), ends.Next()), std::min(left.Next(), right.Next()));
      if (x == INT64_MAX) break;
      if (x > at) emit(at, x, level);
      at = x;
      // The level of pixel x counts the runs that start there and not those that end before it.
      level += starts.Take(x) + ends.Take(x);
      const int32_t part = left.Take(x) + right.Take(x);
      if (part) {
        emit(x, x + 1, level + part);
        at = x + 1;
      }
    }
    WriteRuns();
  }
  m_starts.clear();
  m_ends.clear();
  m_partLeft.clear();
  m_partRight.clear();
}

// Many spans for the width (a noisy outline): no sorting, one pass over [lo, hi).
void Corbish::BuildDense(int64_t lo, int64_t hi) {
  int32_t* const step = m_pStep.get();
  int32_t* const part = m_pPart.get();
  for (const Mark& m : m_starts) step[m.x] += m.n;
  for (const Mark& m : m_ends) step[m.x] += m.n;
  for (const Mark& m : m_partLeft) part[m.x] += m.n;
  for (const Mark& m : m_partRight) part[m.x] += m.n;
  // Old entries outside [lo, hi) go back to 0; the ones inside are all written below.
  m_newRuns.assign(1, Run{lo, hi, kDense});
  WriteRuns();
  WORD* const buf = m_pBuffer.get();
  int32_t level = 0;
  for (int64_t i = lo; i < hi; ++i) {
    level += step[i];
    buf[i] = WORD(level + part[i]);
    step[i] = 0;
    part[i] = 0;
  }
  step[hi] = 0;
}

void Corbish::WriteRuns() {
  constexpr int64_t kEnd = INT64_MAX;
  WORD* const buf = m_pBuffer.get();
  const Run* o = m_runs.data();
  const Run* const oEnd = o + m_runs.size();
  const Run* n = m_newRuns.data();
  const Run* const nEnd = n + m_newRuns.size();
  int64_t pos = INT64_MIN;
  for (;;) {
    while (o != oEnd && o->x1 <= pos) ++o;
    while (n != nEnd && n->x1 <= pos) ++n;
    const int64_t oNext = o == oEnd ? kEnd : o->x0 > pos ? o->x0 : o->x1;
    const int64_t nNext = n == nEnd ? kEnd : n->x0 > pos ? n->x0 : n->x1;
    const int64_t end = std::min(oNext, nNext);
    if (end == kEnd) break;
    const int32_t ov = o != oEnd && o->x0 <= pos ? o->v : 0;
    const int32_t nv = n != nEnd && n->x0 <= pos ? n->v : 0;
    // A dense run is written by its builder; old dense entries always differ.
    if (nv != kDense && ov != nv) std::fill(buf + pos, buf + end, WORD(nv));
    pos = end;
  }
  std::swap(m_runs, m_newRuns);
}

BOOL Corbish::Scan(RECT* rowOut) {
  try {
    GVERIFY(m_myState == staSCANNING, u"!m_myState==staSCANNING");
    const int j = m_j;
    const int64_t f = int64_t(1) << j;
    const int64_t xl = int64_t(m_rcScan.left) << j;
    const int64_t xr = int64_t(m_rcScan.right) << j;
    for (;;) {
      ShapeCrossing next;
      bool more = m_zip.Peek(&next);
      const int32_t row = more ? next.y >> j : 0;
      if (!more || row >= m_rcScan.bottom) {
        BuildRow();  // an empty row: leaves the buffer all zero
        return FALSE;
      }
      int64_t left = INT64_MAX, right = INT64_MIN;
      RECT span;
      while (m_zip.OutputRow(&span)) {
        const int64_t end = std::min<int64_t>(span.right, xr);
        const int64_t start = span.left > xl ? int64_t(span.left) : xl;
        const int64_t n = std::max<int64_t>(end - start, 0);
        left = std::min(left, start >> j);
        right = std::max(right, (start + n + f - 1) >> j);
        if (n > 0) AddSpan(start - xl, start - xl + n);
        if (!m_zip.Peek(&next) || (next.y >> j) != row) break;
      }
      if (left >= right) continue;  // nothing counted
      BuildRow();
      *rowOut = RECT{LONG(std::max<int64_t>(left, m_rcScan.left)), row,
                     LONG(std::min<int64_t>(right, m_rcScan.right)), row + 1};
      return TRUE;
    }
  }
  GCATCH(u"Corbish", u"::Scan()")
}

void Corbish::Reset() {
  m_myState = staREADY;
  m_zip.Reset();
}
