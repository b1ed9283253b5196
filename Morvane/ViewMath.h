// The view's arithmetic shared by the display device and its renderer: the zoom clamp, the
// inverse scale, the mip level and the maps between client pixels and space coordinates.
#pragma once
#include "odata/OShowDevice.h"

constexpr float VIEW_ZOOM_MIN = 0.0039f;
constexpr float VIEW_ZOOM_MAX = 16.0f;
constexpr int VIEW_MIP_MAX = 15;  // the deepest mip level a layer has

float ClampZoom(float zoom);
// Space pixels per client pixel for a (clamped) zoom; below 1 cut to a multiple of 1/2048.
float InverseScale(float zoom);
// The smallest level i with 0.95 x 2^(i+1) > s, at most VIEW_MIP_MAX.
int MipLevelFor(float inverseScale);

void ViewClientToSpace(float out[2], const float in[2], const ViewTransform& view);
void ViewSpaceToClient(float out[2], const float in[2], const ViewTransform& view);
// Pans by client pixels: clamps the zoom in place and moves the centre.
void ViewScroll(ViewTransform& view, int dx, int dy);
