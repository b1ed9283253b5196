// Small plane-geometry routines the tools and the paint space's frame drawing share: point
// interpolation, clipping of a segment and of a polygon to a rectangle, a winding-angle
// inside test, the rotated rectangle of the surgery tool's transform frame, and the overlap
// of two pixel spans. They work in whatever plane the caller uses (client or space) and keep
// no state of their own.
#pragma once
#include <cstdint>
#include <deque>

#include "platform/base/Types.h"

struct POINTF {
  float x;
  float y;
};

// out = a + (b - a) * t, per coordinate.
void PointLerp(POINTF* out, const POINTF* a, const POINTF* b, float t);

// Clips the segment p0-p1 in place to the inside of rc, edges left, top, right, bottom in turn.
// A point on an edge line counts as outside, so a segment lying on an edge is rejected.
// FALSE when nothing of it is inside (the points may then be partly clipped already).
BOOL ClipSegmentToRect(POINTF* p0, POINTF* p1, const RECT* rc);

// Clips the closed polygon in place to rc (a point on an edge counts as inside) and shrinks
// rc to the floor/ceiling bounds of what is left. FALSE, with rc unchanged, when nothing is.
BOOL ClipPolygonToRect(std::deque<POINTF>* poly, RECT* rc);

// The point lies inside the closed polygon of n points (xy holds x0, y0, x1, y1 ...) when the
// angle it sees the outline turn through sums to a full turn either way.
BOOL IsInsideByWinding(double px, double py, const float* xy, int n);

// A rectangle turned by an angle and pinned at one of its corners. Corners in its own frame
// (u along the width, v along the height): 0 = (0, 0), 1 = (width, 0), 2 = (0, height),
// 3 = (width, height). A frame vector (u, v) lies in the caller's plane at
// (u cos a + v sin a, -u sin a + v cos a).
struct RotatedRect {
  float x = 0;      // where the anchor corner sits
  float y = 0;
  int anchor = 0;   // 0..3
  float width = 1;  // signed
  float height = 1;
  float angle = 0;  // radians, kept in 0..2pi by Drag

  // Axis-aligned at rc, anchored at its top-left corner.
  void SetRect(const RECT* rc);
  // The four corners in the caller's plane; returns out.
  POINTF* GetCorners(POINTF out[4]) const;
  // Pins corner at anchorPoint and makes the opposite corner follow dragPoint: mode 0 sets
  // width and height along the frame's axes, mode 1 rotates and scales keeping the aspect.
  // Width and height end at least 1 in size. A corner outside 0..3 changes nothing.
  void Drag(int corner, const POINTF* anchorPoint, const POINTF* dragPoint, int mode);
};

// The overlap of the half-open spans [a0, a1) (first) and [b0, b1) (second): its length, its
// offset in each span and its first position. All zero when either span ends before it
// starts; the length is zero when they do not meet.
struct SpanOverlap {
  int32_t l = 0;      // length
  int32_t l1 = 0;     // offset in the first span
  int32_t l2 = 0;     // offset in the second span
  int32_t start = 0;  // first position of the overlap

  SpanOverlap() = default;
  SpanOverlap(int32_t a0, int32_t a1, int32_t b0, int32_t b1);
};
