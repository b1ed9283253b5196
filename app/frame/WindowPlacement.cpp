#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace placement {

namespace {

// Sides in 64 bits: the stored values span the whole 32-bit range.
int64_t Width(const RECT& r) { return int64_t(r.right) - r.left; }
int64_t Height(const RECT& r) { return int64_t(r.bottom) - r.top; }

int64_t OverlapArea(const RECT& a, const RECT& b) {
  const int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
  const int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// One side's start and length brought within [lo, hi) (a screen of no extent counts as one
// pixel), the length no less than least where there is room.
void FitSpan(int64_t lo, int64_t hi, int64_t least, int64_t* start, int64_t* length) {
  const int64_t room = std::max<int64_t>(hi - lo, 1);
  *length = std::clamp<int64_t>(*length, std::min(std::max<int64_t>(least, kMinSide), room), room);
  *start = std::clamp<int64_t>(*start, lo, lo + room - *length);
}

}  // namespace

RECT FitWindowRect(const RECT& stored, const RECT& firstRun, const std::vector<RECT>& screens, SIZE least) {
  const std::vector<RECT> areas = screens.empty() ? std::vector<RECT>{firstRun} : screens;
  const RECT& want = Width(stored) > 0 && Height(stored) > 0 ? stored : firstRun;
  const RECT* screen = &areas[0];
  int64_t most = 0;
  for (const RECT& area : areas) {
    const int64_t overlap = OverlapArea(want, area);
    if (overlap > most) most = overlap, screen = &area;
  }
  int64_t left = want.left, top = want.top, width = Width(want), height = Height(want);
  FitSpan(screen->left, screen->right, least.cx, &left, &width);
  FitSpan(screen->top, screen->bottom, least.cy, &top, &height);
  return RECT{LONG(left), LONG(top), LONG(left + width), LONG(top + height)};
}

}  // namespace placement
