// The paint bucket's outline work between tracing the mask and filling it: points filled in
// so that neighbours lie about one pixel apart (the smoothing window then has a length in
// pixels), a circular moving average, and a push outwards along each point's normal that
// refuses a small contour it would turn inside out.
#pragma once
#include <deque>

#include "tools/Geometry.h"

namespace flood_outline {

// Appends p; when it lies 2 or more from the last point, first the points that divide the gap
// into steps of about one. Throws "!nCnt<65536" for a gap of 65535.5 or more.
void AddPoint(std::deque<POINTF>* outline, POINTF p);
// out = the average of every point of the closed outline with the 2a points after it, as
// many points as in; empty when the outline has fewer than 2 (2a + 1) points.
void Smooth(const std::deque<POINTF>& outline, int a, std::deque<POINTF>* out);
// Moves every point d to the right of the direction from the point before it (outwards for
// the tracer's contours). FALSE for a contour of fewer than 8 points (unless d is 0), and
// for one of fewer than 100 that turns negatively and grows: it was a hole turned inside out.
BOOL Expand(std::deque<POINTF>* contour, float d);
// The total turning of the closed contour: about +2 pi or -2 pi, 0 when empty.
double Turning(const std::deque<POINTF>& contour);

}  // namespace flood_outline
