#include "frame/FlowerFace.h"

#include <algorithm>
#include <cmath>

#include "frame/ResourceIds.h"
#include "tools/FunctionMenu.h"

namespace flower {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStep = kPi / 6;  // one ring cell
constexpr double kMid = kSize / 2.0;
// Where the centre gives way to the ring and the ring to the corners.
constexpr double kCentreEdge = (kCentreRadius + kRingInner) / 2;
constexpr double kRingEdge = (kRingOuter + kSectorInner) / 2;
// A corner caption's offset from the centre along both axes (on the diagonal).
constexpr double kSectorLabel = 86;
// The corner sectors: half the gap between neighbours, the margin to the window's edge,
// their corner radius.
constexpr double kSectorGap = 4;
constexpr double kSectorMargin = 3;
constexpr double kSectorRound = 14;

// Colours (0xRRGGBB). The cells keep RING_FACE under the icons, whose soft edges the
// artwork blended for it.
constexpr uint32_t kCentreFace = 0xFFFFFF;
constexpr uint32_t kGroove = 0xE4E8EB;
constexpr uint32_t kSectorFace = 0xEFF0EC;
constexpr uint32_t kSectorDead = 0xE2E6E9;
constexpr uint32_t kHotFace = 0xD6E6F7;
constexpr uint32_t kAccent = 0x1E7CD8;
constexpr uint32_t kEdge = 0xA9B2BB;
constexpr uint32_t kTick = 0xE2E5E6;
constexpr uint32_t kEmptyDot = 0xC3CAD1;
constexpr uint32_t kCross = 0xA3ABB3;
constexpr uint32_t kBackdrop = 0xC9D0D6;
constexpr uint32_t kBackdropEdge = 0x8D97A1;
// Opacity of the faces when the menu is translucent, of their shadow and of the plate below.
constexpr double kFaceAlpha = 0.88;
constexpr double kShadowAlpha = 0.25;
constexpr double kPlateAlpha = 0.45;

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// The angle of a point about the centre, clockwise from the top, in -pi..pi.
double AngleOf(double x, double y) { return std::atan2(x, -y); }

double AngleApart(double a, double b) {
  double d = std::fmod(std::abs(a - b), 2 * kPi);
  return d > kPi ? 2 * kPi - d : d;
}

// Signed distances (negative inside) of the shapes, in pixels from the centre, y down.
double Disc(double x, double y, double r) { return std::hypot(x, y) - r; }

double Band(double x, double y, double r0, double r1) {
  return std::abs(std::hypot(x, y) - (r0 + r1) / 2) - (r1 - r0) / 2;
}

// The part of a band within half an angle of a direction (the angular edges measured as arc
// lengths, close enough for soft edges).
double Wedge(double x, double y, double r0, double r1, double angle, double half) {
  const double r = std::hypot(x, y);
  return std::max(Band(x, y, r0, r1), r * (AngleApart(AngleOf(x, y), angle) - half));
}

double RoundRect(double x, double y, double cx, double cy, double hw, double hh, double round) {
  const double qx = std::abs(x - cx) - hw + round, qy = std::abs(y - cy) - hh + round;
  return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - round;
}

double Segment(double x, double y, double ax, double ay, double bx, double by, double w) {
  const double px = x - ax, py = y - ay, ex = bx - ax, ey = by - ay;
  const double t = Clamp01((px * ex + py * ey) / (ex * ex + ey * ey));
  return std::hypot(px - ex * t, py - ey * t) - w / 2;
}

// Corner sector i (0 top-left, then clockwise): the window's quarter less the gaps along the
// axes, rounded, less the disc the ring needs.
double Sector(double x, double y, int i) {
  const double sx = (i == 0 || i == 3) ? -1 : 1, sy = i < 2 ? -1 : 1;
  const double lo = kSectorGap, hi = kMid - kSectorMargin;
  const double half = (hi - lo) / 2, mid = (hi + lo) / 2;
  return std::max(RoundRect(x, y, sx * mid, sy * mid, half, half, kSectorRound), kSectorInner - std::hypot(x, y));
}

double SlotAngle(int slot) { return slot < kRingSlots ? slot * kStep : (2 * (slot - kRingSlots) - 1) * kPi / 4; }

// Where a shape may paint, relative to the centre (whole pixels are looked at).
struct Box {
  double left = -kMid, top = -kMid, right = kMid, bottom = kMid;
};

Box Around(double x, double y, double reach) { return Box{x - reach, y - reach, x + reach, y + reach}; }

// Straight-alpha pixels painted by shapes, each blended by the share of a pixel it covers.
class Canvas {
 public:
  explicit Canvas(std::vector<uint32_t>& pixels) : m_px(pixels) {}

  template <class Shape>
  void Fill(const Shape& shape, uint32_t rgb, double alpha, Box box = {}) {
    Each([&](double x, double y) { return alpha * Clamp01(0.5 - shape(x, y)); }, rgb, box);
  }
  // A line of the given width along the shape's edge, inside it.
  template <class Shape>
  void Stroke(const Shape& shape, double width, uint32_t rgb, double alpha) {
    Fill([&](double x, double y) { return std::abs(shape(x, y) + width / 2) - width / 2; }, rgb, alpha);
  }
  // A soft shadow falling outside the shape, a little below it.
  template <class Shape>
  void Shadow(const Shape& shape, double spread, double alpha) {
    Each([&](double x, double y) {
      const double d = shape(x, y - 1.5);
      const double fall = 1 - Clamp01(d / spread);
      return alpha * Clamp01(0.5 + d) * fall * fall;
    }, 0, Box{});
  }

 private:
  template <class Cover>
  void Each(const Cover& cover, uint32_t rgb, const Box& box) {
    const int x0 = std::max(0, int(std::floor(box.left + kMid))), x1 = std::min(kSize, int(std::ceil(box.right + kMid)));
    const int y0 = std::max(0, int(std::floor(box.top + kMid))), y1 = std::min(kSize, int(std::ceil(box.bottom + kMid)));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const double a = cover(x + 0.5 - kMid, y + 0.5 - kMid);
        if (a > 0) Blend(m_px[size_t(y) * kSize + size_t(x)], rgb, std::min(a, 1.0));
      }
  }
  static void Blend(uint32_t& px, uint32_t rgb, double a) {
    const double da = (px >> 24) / 255.0;
    const double oa = a + da * (1 - a);
    uint32_t out = uint32_t(std::lround(oa * 255)) << 24;
    for (int shift : {0, 8, 16}) {
      const double s = (rgb >> shift) & 0xFF, d = (px >> shift) & 0xFF;
      out |= uint32_t(std::lround((s * a + d * da * (1 - a)) / oa)) << shift;
    }
    px = out;
  }

  std::vector<uint32_t>& m_px;
};

}  // namespace

UINT ItemOfSlot(int slot) {
  if (slot < 0 || slot >= kSlots) return UINT(-1);
  return slot < kRingSlots ? UINT(slot) : FLOWER_SECTOR_TOPLEFT + 2 * UINT(slot - kRingSlots);
}

int SlotOfItem(UINT item) {
  if (item < UINT(kRingSlots)) return int(item);
  if (item >= FLOWER_SECTOR_TOPLEFT && item <= FLOWER_SECTOR_BOTTOMLEFT && item % 2 == 0)
    return kRingSlots + int(item - FLOWER_SECTOR_TOPLEFT) / 2;
  return -1;
}

POINT SlotPoint(int slot) {
  if (slot >= kRingSlots) {
    const int i = slot - kRingSlots;
    const double sx = (i == 0 || i == 3) ? -1 : 1, sy = i < 2 ? -1 : 1;
    return POINT{LONG(std::lround(kMid + sx * kSectorLabel)), LONG(std::lround(kMid + sy * kSectorLabel))};
  }
  const double a = SlotAngle(slot);
  return POINT{LONG(std::lround(kMid + kCellRadius * std::sin(a))), LONG(std::lround(kMid - kCellRadius * std::cos(a)))};
}

int HitTest(int x, int y) {
  if (x < 0 || y < 0 || x >= kSize || y >= kSize) return -1;
  const double dx = x + 0.5 - kMid, dy = y + 0.5 - kMid;
  const double r = std::hypot(dx, dy);
  if (r < kCentreEdge) return -1;
  if (r < kRingEdge) {
    const int slot = int(std::floor(AngleOf(dx, dy) / kStep + 0.5));
    return (slot + kRingSlots) % kRingSlots;
  }
  if (dy < 0) return dx < 0 ? kRingSlots : kRingSlots + 1;
  return dx < 0 ? kRingSlots + 3 : kRingSlots + 2;
}

void PaintFace(std::vector<uint32_t>& pixels, const FaceState& state) {
  pixels.assign(size_t(kSize) * kSize, state.translucent ? 0u : 0xFF000000u | kBackdrop);
  Canvas canvas(pixels);
  const double alpha = state.translucent ? kFaceAlpha : 1.0;
  auto sectors = [](double x, double y) {
    double d = Sector(x, y, 0);
    for (int i = 1; i < 4; ++i) d = std::min(d, Sector(x, y, i));
    return d;
  };
  auto ring = [](double x, double y) { return Disc(x, y, kRingOuter); };
  if (state.translucent) {
    // A frosted plate under everything, so that the gaps read as one piece with the faces.
    canvas.Fill([](double x, double y) { return RoundRect(x, y, 0, 0, kMid - 1, kMid - 1, kSectorRound + 2); },
                kBackdrop, kPlateAlpha);
    canvas.Shadow([&](double x, double y) { return std::min(ring(x, y), sectors(x, y)); }, 6, kShadowAlpha);
  } else {
    canvas.Stroke([](double x, double y) { return RoundRect(x, y, 0, 0, kMid, kMid, 0); }, 1, kBackdropEdge, 1);
  }

  // The corner sectors: lit when hovered, faint when the tool has nothing there.
  for (int i = 0; i < 4; ++i) {
    const int slot = kRingSlots + i;
    auto shape = [i](double x, double y) { return Sector(x, y, i); };
    const bool hot = state.hot == slot, live = state.live[size_t(slot)];
    canvas.Fill(shape, hot ? kHotFace : live ? kSectorFace : kSectorDead, live ? alpha : alpha * 0.7);
    if (hot) canvas.Stroke(shape, 1.5, kAccent, 1);
    else canvas.Stroke(shape, 1, kEdge, live ? alpha : alpha * 0.6);
  }

  // The ring: the band of cells, a groove, the caption disc.
  canvas.Fill(ring, RING_FACE, alpha);
  canvas.Fill([](double x, double y) { return Band(x, y, kCentreRadius, kRingInner); }, kGroove, alpha,
              Around(0, 0, kRingInner + 1));
  canvas.Fill([](double x, double y) { return Disc(x, y, kCentreRadius); }, kCentreFace, alpha,
              Around(0, 0, kCentreRadius + 1));
  canvas.Stroke(ring, 1, kEdge, 1);
  canvas.Stroke([](double x, double y) { return Disc(x, y, kRingInner); }, 1, kTick, 1);
  canvas.Stroke([](double x, double y) { return Disc(x, y, kCentreRadius); }, 1, kEdge, 1);
  // Short ticks between the cells; a dot in each cell the tool leaves empty.
  for (int i = 0; i < kRingSlots; ++i) {
    const double a = (i + 0.5) * kStep, s = std::sin(a), c = -std::cos(a);
    const double r0 = kRingInner + 7, r1 = kRingOuter - 9;
    canvas.Fill([&](double x, double y) { return Segment(x, y, s * r1, c * r1, s * r0, c * r0, 1); }, kTick, 1,
                Box{std::min(s * r0, s * r1) - 2, std::min(c * r0, c * r1) - 2, std::max(s * r0, s * r1) + 2,
                    std::max(c * r0, c * r1) + 2});
    if (!state.live[size_t(i)]) {
      const double px = SlotPoint(i).x - kMid, py = SlotPoint(i).y - kMid;
      canvas.Fill([&](double x, double y) { return Disc(x - px, y - py, 2.5); }, kEmptyDot, 1, Around(px, py, 4));
    }
  }

  // The hovered item: an arc on the ring's rim and one on the caption disc's, pointing at it.
  if (state.hot >= 0) {
    const double a = SlotAngle(state.hot);
    if (state.hot < kRingSlots) {
      canvas.Fill([&](double x, double y) { return Wedge(x, y, kRingOuter - 4, kRingOuter - 0.5, a, kStep / 2 - 0.06); },
                  kAccent, 1);
    }
    canvas.Fill([&](double x, double y) { return Wedge(x, y, kCentreRadius - 3.5, kCentreRadius, a, 0.45); }, kAccent,
                1);
  } else {
    // Nothing chosen: a release here closes the menu.
    for (double s : {-1.0, 1.0})
      canvas.Fill([&](double x, double y) { return Segment(x, y, -5, -5 * s, 5, 5 * s, 1.6); }, kCross, 1,
                  Around(0, 0, 8));
  }
}

}  // namespace flower
