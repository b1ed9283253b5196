#include "ViewMath.h"

#include <cmath>

float ClampZoom(float zoom) {
  if (!(zoom >= VIEW_ZOOM_MIN)) return VIEW_ZOOM_MIN;  // also catches NaN
  return zoom > VIEW_ZOOM_MAX ? VIEW_ZOOM_MAX : zoom;
}

float InverseScale(float zoom) {
  float s = 1.0f / ClampZoom(zoom);
  if (s < 1.0f) s = std::trunc(s * 2048.0f) / 2048.0f;
  return s;
}

int MipLevelFor(float inverseScale) {
  int i = 0;
  while (i < VIEW_MIP_MAX && !(0.95f * float(2 << i) > inverseScale)) ++i;
  return i;
}

void ViewClientToSpace(float out[2], const float in[2], const ViewTransform& view) {
  float s = InverseScale(view.scale);
  float dx = in[0] - float(view.clientWidth / 2);
  float dy = in[1] - float(view.clientHeight / 2);
  if (view.flags & VIEW_FLAG_FLIP) dx = -dx;
  float c = std::cos(view.angle), n = std::sin(view.angle);
  float x = s * (dx * c + dy * n) + view.centreX;
  float y = s * (dy * c - dx * n) + view.centreY;
  out[0] = x;
  out[1] = y;
}

void ViewSpaceToClient(float out[2], const float in[2], const ViewTransform& view) {
  float s = InverseScale(view.scale);
  float dx = in[0] - view.centreX;
  float dy = in[1] - view.centreY;
  float c = std::cos(-view.angle), n = std::sin(-view.angle);
  float u = (dx * c + dy * n) / s;
  float v = (dy * c - dx * n) / s;
  if (view.flags & VIEW_FLAG_FLIP) u = -u;
  out[0] = u + float(view.clientWidth / 2);
  out[1] = v + float(view.clientHeight / 2);
}

void ViewScroll(ViewTransform& view, int dx, int dy) {
  view.scale = ClampZoom(view.scale);
  float s = InverseScale(view.scale);
  float f = (view.flags & VIEW_FLAG_FLIP) ? -float(dx) : float(dx);
  float c = std::cos(view.angle), n = std::sin(view.angle);
  view.centreX -= s * (f * c + float(dy) * n);
  view.centreY -= s * (float(dy) * c - f * n);
}
