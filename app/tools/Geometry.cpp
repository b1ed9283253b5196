#include "tools/Geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
// The turn Drag wraps its angle by (a float's worth of 2pi).
constexpr double kTurn = 6.283185;

// The rectangle's four edges in clipping order. For each: which coordinate it tests, its line
// value, and whether inside lies above (left, top) or below (right, bottom) that value.
struct Edge {
  bool testsY;
  float line;
  bool insideAbove;
};

void EdgesOf(const RECT& rc, Edge out[4]) {
  out[0] = {false, float(rc.left), true};
  out[1] = {true, float(rc.top), true};
  out[2] = {false, float(rc.right), false};
  out[3] = {true, float(rc.bottom), false};
}

float Coord(const POINTF& p, bool y) { return y ? p.y : p.x; }

// The point of p-q where the tested coordinate reaches the edge line; that coordinate is set
// to the line exactly, so rounding never puts it back across.
POINTF CrossEdge(const POINTF& p, const POINTF& q, const Edge& e) {
  const double k0 = Coord(p, e.testsY), k1 = Coord(q, e.testsY);
  const double t = (double(e.line) - k0) / (k1 - k0);
  POINTF r{float(p.x + t * (double(q.x) - p.x)), float(p.y + t * (double(q.y) - p.y))};
  (e.testsY ? r.y : r.x) = e.line;
  return r;
}

double Wrap0To2Pi(double a) { return a < 0 ? a + kTwoPi : a; }

}  // namespace

void PointLerp(POINTF* out, const POINTF* a, const POINTF* b, float t) {
  const POINTF pa = *a, pb = *b;  // out may be a or b
  out->x = pa.x + (pb.x - pa.x) * t;
  out->y = pa.y + t * (pb.y - pa.y);
}

BOOL ClipSegmentToRect(POINTF* p0, POINTF* p1, const RECT* rc) {
  Edge edges[4];
  EdgesOf(*rc, edges);
  for (const Edge& e : edges) {
    // Strict: a point on the line is outside.
    auto inside = [&](const POINTF& p) {
      const float k = Coord(p, e.testsY);
      return e.insideAbove ? k > e.line : k < e.line;
    };
    const bool in0 = inside(*p0), in1 = inside(*p1);
    if (in0 && in1) continue;
    if (!in0 && !in1) return FALSE;
    if (in0) *p1 = CrossEdge(*p0, *p1, e);
    else *p0 = CrossEdge(*p0, *p1, e);
  }
  return TRUE;
}

BOOL ClipPolygonToRect(std::deque<POINTF>* poly, RECT* rc) {
  if (poly->empty()) return FALSE;
  Edge edges[4];
  EdgesOf(*rc, edges);
  std::deque<POINTF> out;
  for (const Edge& e : edges) {
    // Inclusive: a point on the line is inside.
    auto inside = [&](const POINTF& p) {
      const float k = Coord(p, e.testsY);
      return e.insideAbove ? k >= e.line : k <= e.line;
    };
    out.clear();
    POINTF prev = poly->back();
    bool prevIn = inside(prev);
    for (const POINTF& cur : *poly) {
      const bool curIn = inside(cur);
      if (curIn != prevIn) out.push_back(CrossEdge(prev, cur, e));
      if (curIn) out.push_back(cur);
      prev = cur;
      prevIn = curIn;
    }
    poly->swap(out);
    if (poly->empty()) return FALSE;
  }
  float minX = poly->front().x, maxX = minX, minY = poly->front().y, maxY = minY;
  for (const POINTF& p : *poly) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  // Every point now lies within rc, so the rounded bounds fit a LONG.
  rc->left = std::max(rc->left, LONG(std::floor(minX)));
  rc->top = std::max(rc->top, LONG(std::floor(minY)));
  rc->right = std::min(rc->right, LONG(std::ceil(maxX)));
  rc->bottom = std::min(rc->bottom, LONG(std::ceil(maxY)));
  return TRUE;
}

BOOL IsInsideByWinding(double px, double py, const float* xy, int n) {
  if (n <= 0 || !xy) return FALSE;
  // Directions are taken x difference first; the sum only changes sign with that.
  auto direction = [&](int i) { return Wrap0To2Pi(std::atan2(xy[2 * i] - px, xy[2 * i + 1] - py)); };
  double g = direction(n - 1), sum = 0;
  for (int i = 0; i < n; ++i) {
    const double h = direction(i);
    double step = h - g;
    if (step > kPi) step -= kTwoPi;
    if (step < -kPi) step += kTwoPi;
    sum += step;
    g = h;
  }
  return sum > 6.28 || sum < -6.28;
}

void RotatedRect::SetRect(const RECT* rc) {
  x = float(rc->left);
  y = float(rc->top);
  width = float(rc->right - rc->left);
  height = float(rc->bottom - rc->top);
  anchor = 0;
  angle = 0;
}

POINTF* RotatedRect::GetCorners(POINTF out[4]) const {
  const double sn = std::sin(double(angle)), cs = std::cos(double(angle));
  const double w = width, h = height;
  const double cx[4] = {0, cs * w, sn * h, sn * h + cs * w};
  const double cy[4] = {0, -sn * w, cs * h, cs * h - sn * w};
  // The anchor's own offset is read once, before any corner moves.
  const int a = anchor >= 0 && anchor < 4 ? anchor : 0;
  const double dx = x - cx[a], dy = y - cy[a];
  for (int i = 0; i < 4; ++i) out[i] = {float(cx[i] + dx), float(cy[i] + dy)};
  return out;
}

void RotatedRect::Drag(int corner, const POINTF* anchorPoint, const POINTF* dragPoint, int mode) {
  // An anchor outside 0..3 would leave the rectangle without a corner to pin.
  if (corner < 0 || corner > 3) return;
  double dx = double(dragPoint->x) - anchorPoint->x, dy = double(dragPoint->y) - anchorPoint->y;
  double dist = std::sqrt(dx * dx + dy * dy);
  // Signs that turn the dragged-to corner's frame vector into (width, height).
  const double su = corner & 1 ? -1 : 1, sv = corner & 2 ? -1 : 1;
  if (mode == 0) {
    if (dist < 0.001) {
      dx = dy = 2;
    } else if (dist < 4) {
      dx *= 2 / dist;
      dy *= 2 / dist;
    }
    const double a = angle, cs = std::cos(a), sn = std::sin(a);
    const double u = dx * cs - dy * sn, v = dx * sn + dy * cs;
    width = float(su * u);
    height = float(sv * v);
  } else if (mode == 1) {
    dist = std::max(dist, 2.0);
    const double diagonal = std::hypot(double(width), double(height));
    if (diagonal > 0) {
      width = float(width * dist / diagonal);
      height = float(height * dist / diagonal);
    } else {
      // A rectangle with no size has no aspect to keep: it becomes a square.
      width = height = float(dist / std::sqrt(2.0));
    }
    const double fu = su * width, fv = sv * height;
    double a = Wrap0To2Pi(std::atan2(fv, fu)) - Wrap0To2Pi(std::atan2(dy, dx));
    if (a > kTurn) a -= kTurn;
    if (a < 0) a += kTurn;
    // The wrap is a hair short of 2pi: a difference just above -2pi would stay negative.
    angle = float(std::clamp(a, 0.0, kTurn));
  }
  if (std::fabs(width) < 1) width = width < 0 ? -1.0f : 1.0f;
  if (std::fabs(height) < 1) height = height < 0 ? -1.0f : 1.0f;
  anchor = corner;
  x = anchorPoint->x;
  y = anchorPoint->y;
}

SpanOverlap::SpanOverlap(int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
  if (a1 < a0 || b1 < b0) return;
  // Differences in 64 bits, held to the largest int32: spans far apart would overflow them.
  auto fit = [](int64_t v) { return int32_t(std::min<int64_t>(v, INT32_MAX)); };
  const int64_t s = std::max(a0, b0);
  l = fit(std::max<int64_t>(int64_t(std::min(a1, b1)) - s, 0));
  l1 = fit(s - a0);
  l2 = fit(s - b0);
  start = int32_t(s);
}
