#include "FloodOutline.h"

#include <cmath>

#include "odata/GError.h"

namespace flood_outline {

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kTwoPi = 6.28318530717958;

// The direction from q to p in 0..2 pi.
double Direction(const POINTF& q, const POINTF& p) {
  double t = std::atan2(double(p.y) - q.y, double(p.x) - q.x);
  if (t < 0) t += kTwoPi;
  return t;
}

double Perimeter(const std::deque<POINTF>& c) {
  double sum = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const POINTF& q = c[i ? i - 1 : c.size() - 1];
    sum += std::hypot(double(c[i].x) - q.x, double(c[i].y) - q.y);
  }
  return sum;
}

}  // namespace

void AddPoint(std::deque<POINTF>* outline, POINTF p) {
  if (outline->empty()) {
    outline->push_back(p);
    return;
  }
  const POINTF q = outline->back();
  const double dist = std::hypot(double(p.x) - q.x, double(p.y) - q.y);
  if (dist < 2) {
    outline->push_back(p);
    return;
  }
  const double n = std::floor(dist + 0.5);
  GVERIFY(n < 65536, u"!nCnt<65536");
  const int count = int(n);
  for (int i = 1; i < count; ++i) {
    const double t = double(i) / count;
    outline->push_back(POINTF{float(q.x + t * (double(p.x) - q.x)), float(q.y + t * (double(p.y) - q.y))});
  }
  outline->push_back(p);
}

void Smooth(const std::deque<POINTF>& outline, int a, std::deque<POINTF>* out) {
  out->clear();
  const size_t w = size_t(2 * a + 1);
  const size_t n = outline.size();
  if (n < 2 * w) return;
  const double inv = 1.0 / double(w);
  double sx = 0, sy = 0;
  for (size_t i = 0; i < n + w - 1; ++i) {
    const POINTF& p = outline[i % n];
    sx += p.x;
    sy += p.y;
    if (i + 1 < w) continue;
    out->push_back(POINTF{float(inv * sx), float(inv * sy)});
    const POINTF& old = outline[(i + 1 - w) % n];
    sx -= old.x;
    sy -= old.y;
  }
}

BOOL Expand(std::deque<POINTF>* contour, float d) {
  if (d == 0) return TRUE;
  const size_t n = contour->size();
  if (n < 8) return FALSE;
  const bool small = n < 100;
  const double turning = small ? Turning(*contour) : 0;
  const double before = small ? Perimeter(*contour) : 0;
  // Each direction from the point's old predecessor; the last point's old position serves
  // the first.
  POINTF prev = contour->back();
  for (POINTF& p : *contour) {
    const POINTF old = p;
    const double t = Direction(prev, p);
    p.x = float(p.x + d * std::cos(t - 1.5708));
    p.y = float(p.y + d * std::sin(t - 1.5708));
    prev = old;
  }
  if (small && Perimeter(*contour) > before && turning < 0) return FALSE;
  return TRUE;
}

double Turning(const std::deque<POINTF>& contour) {
  if (contour.empty()) return 0;
  const size_t n = contour.size();
  // Starting from the direction into the last point, every point's turn is counted, the
  // last point's too.
  double last = n > 1 ? Direction(contour[n - 2], contour[n - 1]) : 0;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = Direction(contour[i ? i - 1 : n - 1], contour[i]);
    double change = t - last;
    if (change > kPi) change -= kTwoPi;
    if (change < -kPi) change += kTwoPi;
    sum += change;
    last = t;
  }
  return sum;
}

}  // namespace flood_outline
