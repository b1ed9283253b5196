#include "SnapLines.h"

#include <cmath>

#include "core/PaintSpace.h"
#include "panels/MyListLayer.h"

namespace {
// The capacity the lists start with: a space's rows and edges fit without a reallocation.
constexpr size_t kFirstCapacity = 512;
}  // namespace

void CSnapLines::Clear() {
  m_aSnapX.clear();
  m_aSnapY.clear();
}

void CSnapLines::Fill(CPaintSpace* space) {
  Clear();
  m_aSnapX.reserve(kFirstCapacity);
  m_aSnapY.reserve(kFirstCapacity);
  if (CMyListLayer* list = space->m_pwndListLayer) {
    std::vector<int> xs, ys;
    list->GetLayerEdges(&xs, &ys);
    m_aSnapX.assign(xs.begin(), xs.end());
    m_aSnapY.assign(ys.begin(), ys.end());
  }
  float x[2], y[2];
  FloatList xList{x, 0, 2}, yList{y, 0, 2};
  space->AddSpaceEdges(&xList, &yList);
  m_aSnapX.insert(m_aSnapX.end(), x, x + xList.nCount);
  m_aSnapY.insert(m_aSnapY.end(), y, y + yList.nCount);
}

float CSnapLines::Snap(const std::vector<float>& lines, float v, float tolerance) {
  for (float line : lines)
    if (std::fabs(v - line) <= tolerance) return line;
  return v;
}

float CSnapLines::SnapSpan(const std::vector<float>& lines, float lead, float length, float tolerance) {
  for (float line : lines)
    if (std::fabs(lead - line) <= tolerance) return line;
  for (float line : lines)
    if (std::fabs(lead + length - line) <= tolerance) return line - length;
  return lead;
}

float CSnapLines::Tolerance(CPaintSpace* space) { return kViewPixels / space->m_pTransform->scale; }
