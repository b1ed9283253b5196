// The outline and shape tools on a headless paint space with the polygon filler, and an
// independent coverage reference: a pixel's count of 8 x 8 sub-sample centres that lie inside
// a closed outline by the non-zero winding rule.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Corbish.h"
#include "ToolFixture.h"
#include "tools/Geometry.h"

// The reference coverage of every pixel of a w x h layer at the space origin: how many of
// its 8 x 8 sub-samples lie inside the closed polygon (non-zero winding), and the same with
// the outline moved in (lo) and out (hi) by one sub-sample in x and y. A sub-sample is taken
// where the filler places it on average: it floors the outline's points to the grid and
// truncates its edge crossings, so a sub-sample stands for the point one sub-sample right
// of its cell's left edge, half one down from its top.
struct Coverage {
  std::vector<int> lo, mid, hi;
};

inline Coverage ReferenceCoverage(const std::vector<POINTF>& poly, int w, int h) {
  // Sample (i, j) lies at ((i - 1 + 1) / 8, (j - 1 + 0.5) / 8): one sample of margin.
  const int sw = 8 * w + 2, sh = 8 * h + 2;
  std::vector<uint8_t> in(size_t(sw) * size_t(sh), 0);
  std::vector<std::pair<double, int>> cross;
  for (int j = 0; j < sh; ++j) {
    const double y = (j - 0.5) / 8;
    cross.clear();
    for (size_t e = 0; e < poly.size(); ++e) {
      const POINTF& a = poly[e];
      const POINTF& b = poly[(e + 1) % poly.size()];
      if ((a.y <= y) == (b.y <= y)) continue;
      cross.emplace_back(a.x + (y - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y), b.y > a.y ? 1 : -1);
    }
    std::sort(cross.begin(), cross.end());
    size_t next = 0;
    int winding = 0;
    for (int i = 0; i < sw; ++i) {
      const double x = i / 8.0;
      while (next < cross.size() && cross[next].first < x) winding += cross[next++].second;
      in[size_t(j) * size_t(sw) + size_t(i)] = winding != 0;
    }
  }
  Coverage c;
  for (auto* v : {&c.lo, &c.mid, &c.hi}) v->assign(size_t(w) * size_t(h), 0);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      int lo = 0, mid = 0, hi = 0;
      for (int j = 1 + 8 * py; j < 9 + 8 * py; ++j)
        for (int i = 1 + 8 * px; i < 9 + 8 * px; ++i) {
          int any = 0, all = 1;
          for (int dj = -1; dj <= 1; ++dj)
            for (int di = -1; di <= 1; ++di) {
              const int v = in[size_t(j + dj) * size_t(sw) + size_t(i + di)];
              any |= v;
              all &= v;
            }
          lo += all;
          mid += in[size_t(j) * size_t(sw) + size_t(i)];
          hi += any;
        }
      const size_t at = size_t(py) * size_t(w) + size_t(px);
      c.lo[at] = lo;
      c.mid[at] = mid;
      c.hi[at] = hi;
    }
  return c;
}

// The coverage a fill of an opaque colour with red byte 0 left as alpha on an empty colour
// pixel: alpha = (65280 k) >> 14 rises by more than one per step of k, so k is recovered.
inline int CoverageFromAlpha(uint32_t alpha) {
  for (int k = 0; k <= 64; ++k)
    if ((65280u * uint32_t(k)) >> 14 == alpha) return k;
  return -1;
}

// Every pixel's coverage lies between the outline's moved in and moved out by one
// sub-sample (one step of the coverage grid), and the sum is the reference's within half a
// percent.
inline void ExpectCoverageNear(const std::vector<int>& got, const Coverage& want) {
  ASSERT_EQ(got.size(), want.mid.size());
  long sumGot = 0, sumWant = 0;
  int outside = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_GE(got[i], 0) << "pixel " << i << " holds no coverage value";
    sumGot += got[i];
    sumWant += want.mid[i];
    if (got[i] < want.lo[i] || got[i] > want.hi[i]) {
      if (++outside <= 5) ADD_FAILURE() << "pixel " << i << ": " << got[i] << " not in " << want.lo[i] << ".." << want.hi[i];
    }
  }
  EXPECT_EQ(outside, 0);
  EXPECT_GT(sumWant, 64 * 100) << "the outline covers a real area";
  EXPECT_NEAR(double(sumGot), double(sumWant), double(sumWant) * 0.005);
}

class FillToolFixture : public ToolFixture {
 protected:
  FillToolFixture() { sys.Register(u"Corbish", GCreateComponent<Corbish>); }

  static std::vector<uint32_t> Pixels(OLayer* layer) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(layer, 0));
    std::vector<uint32_t> out;
    for (int y = 0; y < lock.nHeight; ++y)
      for (int x = 0; x < lock.nWidth; ++x)
        out.push_back(lock.nPixelSize == 4 ? reinterpret_cast<const uint32_t*>(lock.Row(y))[x]
                                           : reinterpret_cast<const uint16_t*>(lock.Row(y))[x]);
    return out;
  }
  static std::vector<int> CoverageOf(OLayer* layer) {
    std::vector<int> cov;
    for (uint32_t p : Pixels(layer)) cov.push_back(CoverageFromAlpha(p >> 24));
    return cov;
  }
  UINT UndoSteps() { return space->GetUndoStore()->GetStepCount(); }
  std::u16string LastLabel() {
    const char16_t* newest = nullptr;
    return space->GetUndoStore()->CopyStepList(&newest, 1) && newest ? std::u16string(newest) : u"";
  }
  // The step undone and redone gives back the pixels before and after it, bit for bit.
  void ExpectUndoRedoExact(OLayer* layer, const std::vector<uint32_t>& before) {
    const std::vector<uint32_t> after = Pixels(layer);
    ASSERT_NE(after, before);
    space->Undo(1);
    EXPECT_EQ(Pixels(layer), before);
    space->Redo(1);
    EXPECT_EQ(Pixels(layer), after);
    space->Undo(1);
    EXPECT_EQ(Pixels(layer), before);
  }
};
