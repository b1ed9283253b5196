// The look of the ring menu: where its twelve ring cells and four corner sectors lie, which
// one a point is over, and its face painted with soft edges into a straight-alpha pixel
// buffer (the window draws the tools' icons and the captions over it). No Qt in here.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "platform/base/Types.h"

namespace flower {

// The window is a square of this side; the ring is centred in it.
constexpr int kSize = 256;
// Slots: 0..11 the ring cells clockwise from the top (as on a clock face), 12..15 the corner
// sectors top-left, top-right, bottom-right, bottom-left.
constexpr int kRingSlots = 12;
constexpr int kSlots = 16;

// Radii from the centre: the caption disc, the band that holds the cells, the circle through
// the cells' centres, and where the corner sectors begin.
constexpr double kCentreRadius = 36;
constexpr double kRingInner = 44;
constexpr double kRingOuter = 86;
constexpr double kCellRadius = 65;
constexpr double kSectorInner = 92;

// The item a slot passes to the provider (0..11, 200, 202, 204, 206) and back (-1: none).
UINT ItemOfSlot(int slot);
int SlotOfItem(UINT item);
// Where a slot's icon (ring) or caption (corner) is centred, client coordinates.
POINT SlotPoint(int slot);
// The slot under a client point; -1 over the centre and outside the window.
int HitTest(int x, int y);

struct FaceState {
  bool translucent = false;
  int hot = -1;                        // the hovered slot
  std::array<bool, kSlots> live{};     // the provider answers the slot's item
};

// Paints the face, kSize x kSize straight 0xAARRGGBB pixels in top-down rows: opaque
// everywhere when not translucent, else transparent around the shapes and the shapes
// partly see-through.
void PaintFace(std::vector<uint32_t>& pixels, const FaceState& state);

}  // namespace flower
