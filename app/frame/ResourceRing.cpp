// The ring-menu strips of the tools: 12 cells of RING_CELL x RING_CELL in three rows. The ring
// draws a cell by OR-ing the row 0 image and then AND-ing the row 1 (highlighted) or row 2
// (normal) mask. Where the icon paints, image and masks carry the same colour c, and
// (screen | c) & c = c on any screen; elsewhere the image is black (OR leaves the screen) and
// a mask white (AND leaves it) or, around a highlighted icon, a light tint that AND shades
// the screen with. Soft edges are blended for RING_FACE. A tool's strip shows an icon at the
// cell of each ring item it answers; its other cells are empty.
#include <cmath>
#include <map>
#include <vector>

#include "frame/ArtKit.h"
#include "core/PaintSpace.h"
#include "frame/ResourceIds.h"
#include "frame/ResourceParts.h"

namespace art {

namespace {

// Ring items with an icon cell.
enum : int {
  kPalette = 3,
  kSelectLayer = 4,
  kPreset2 = 7,
  kPreset1 = 8,
  kSwitchTool = 9,
  kBrush2 = 10,
  kBrush1 = 11,
};

const std::map<UINT, std::vector<int>>& ToolItems() {
  static const std::map<UINT, std::vector<int>> items = {
      {IDB_RING_PAINT, {kPalette, kSelectLayer, kPreset2, kPreset1, kSwitchTool, kBrush2, kBrush1}},
      {IDB_RING_POLYGON, {kPalette, kSelectLayer, kSwitchTool}},
      {IDB_RING_FLOOD, {kPalette, kSelectLayer, kSwitchTool}},
      {IDB_RING_SHAPE, {kPalette, kSelectLayer, kSwitchTool}},
      {IDB_RING_CROP, {kSelectLayer, kSwitchTool}},
      {IDB_RING_LASSO, {kSelectLayer, kSwitchTool}},
      {IDB_RING_DISTORT, {kSwitchTool}},
      {IDB_RING_MOVE, {kSwitchTool}},
      {IDB_RING_NEW, {kSwitchTool}},
  };
  return items;
}

void NumberBadge(QPainter& p, int digit) {
  p.setPen(QPen(Qt::white, 1.2));
  p.setBrush(QColor::fromRgba(kBlue));
  p.drawEllipse(QPointF(18, 18), 5.6, 5.6);
  Digit(p, digit, QRectF(15.6, 14.6, 4.8, 7), kPaper, 1.7);
}

void PaletteIcon(QPainter& p) {
  QPainterPath board;
  board.moveTo(12, 2.5);
  board.cubicTo(19.5, 2.5, 22.5, 7.5, 21.5, 12);
  board.cubicTo(20.8, 15, 17, 14, 16, 16);
  board.cubicTo(15, 18.5, 18, 20.5, 14.5, 21.3);
  board.cubicTo(7, 22.5, 2.5, 18, 2.5, 12);
  board.cubicTo(2.5, 6.5, 6.5, 2.5, 12, 2.5);
  p.setPen(Pen(kInk, 1.3));
  p.setBrush(QColor(0xf3, 0xd9, 0xa4));
  p.drawPath(board);
  const struct {
    QPointF at;
    QRgb colour;
  } blobs[] = {{{7.5, 8}, kRed}, {{12.5, 6.5}, kOrange}, {{17, 8.5}, kGreen}, {{7, 14}, kBlue}};
  p.setPen(Qt::NoPen);
  for (const auto& b : blobs) {
    p.setBrush(QColor::fromRgba(b.colour));
    p.drawEllipse(b.at, 2.2, 2.2);
  }
  p.setBrush(QColor::fromRgba(kPaper));
  p.setPen(Pen(kInk, 1));
  p.drawEllipse(QPointF(11.5, 16.5), 1.8, 1.8);
}

void SelectLayerIcon(QPainter& p) {
  Sheet(p, 10, 15, 8.5, kBlue);
  Sheet(p, 10, 10, 8.5, kPaper);
  // A pointer resting on the upper sheet.
  QPainterPath arrow;
  arrow.moveTo(13, 8);
  arrow.lineTo(13, 21);
  arrow.lineTo(16.2, 18);
  arrow.lineTo(18.6, 22.5);
  arrow.lineTo(20.6, 21.5);
  arrow.lineTo(18.4, 17.2);
  arrow.lineTo(22.5, 16.8);
  arrow.closeSubpath();
  p.setPen(Pen(kPaper, 1));
  p.setBrush(QColor::fromRgba(kInk));
  p.drawPath(arrow);
}

void PresetIcon(QPainter& p, int digit) {
  // Two sliders of a brush's settings.
  p.setPen(Pen(kInk, 1.6));
  p.drawLine(QPointF(3, 7), QPointF(17, 7));
  p.drawLine(QPointF(3, 13), QPointF(13, 13));
  p.setPen(Pen(kInk, 1.1));
  p.setBrush(QColor::fromRgba(kOrange));
  p.drawRoundedRect(QRectF(10.5, 4, 3.4, 6), 1, 1);
  p.drawRoundedRect(QRectF(4.5, 10, 3.4, 6), 1, 1);
  NumberBadge(p, digit);
}

void SwitchToolIcon(QPainter& p) {
  // Two arrows chasing each other round: back to the tool used before.
  p.setPen(Pen(kBlue, 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 120 * 16);
  p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 120 * 16);
  const double r = 8;
  auto at = [&](double deg) { return QPointF(12 + r * std::cos(deg * M_PI / 180), 12 - r * std::sin(deg * M_PI / 180)); };
  Arrowhead(p, at(160), at(140), 5, kBlue);
  Arrowhead(p, at(340), at(320), 5, kBlue);
}

void BrushIcon(QPainter& p, int digit) {
  ShellIcon(p, ID_OPER_PAINT);
  NumberBadge(p, digit);
}

Paint ItemIcon(int item) {
  switch (item) {
    case kPalette: return PaletteIcon;
    case kSelectLayer: return SelectLayerIcon;
    case kPreset2: return [](QPainter& p) { PresetIcon(p, 2); };
    case kPreset1: return [](QPainter& p) { PresetIcon(p, 1); };
    case kSwitchTool: return SwitchToolIcon;
    case kBrush2: return [](QPainter& p) { BrushIcon(p, 2); };
    case kBrush1: return [](QPainter& p) { BrushIcon(p, 1); };
    default: return nullptr;
  }
}

// Pixels of less cover than this stay off (they would fringe on another face).
constexpr int kMinCover = 64;
constexpr QRgb kTint = kPale, kTintEdge = kBlue;

void DrawCell(QImage& strip, int cell, const Paint& icon) {
  constexpr int n = RING_CELL, inset = 3;
  const QImage image = Render(n, n, [&](QPainter& p) {
    p.translate(inset, inset);
    p.scale((n - 2 * inset) / 24.0, (n - 2 * inset) / 24.0);
    icon(p);
  }, 0);
  // The highlight: a tinted disc with a darker rim behind the icon.
  const QImage halo = Render(n, n, [](QPainter& p) {
    p.setPen(Pen(kTintEdge, 1.4));
    p.setBrush(QColor::fromRgba(kTint));
    p.drawEllipse(QPointF(n / 2.0, n / 2.0), n / 2.0 - 1, n / 2.0 - 1);
  }, 0);
  const int x0 = cell * n;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const QRgb c = image.pixel(x, y);
      if (qAlpha(c) >= kMinCover) {
        const QRgb solid = 0xff000000 | Over(c, RING_FACE);
        for (int row = 0; row < 3; ++row) strip.setPixel(x0 + x, y + row * n, solid);
      } else {
        const QRgb h = halo.pixel(x, y);
        strip.setPixel(x0 + x, y + n, qAlpha(h) > 0 ? 0xff000000 | Over(h, 0xFFFFFF) : 0xffffffff);
      }
    }
  }
}

}  // namespace

std::unique_ptr<gui::ScreenImage> MakeRingStrip(UINT id) {
  auto it = ToolItems().find(id);
  if (it == ToolItems().end()) return nullptr;
  QImage strip(RING_CELL * RING_CELLS, RING_CELL * 3, QImage::Format_RGB32);
  // Empty cells: a black image, white masks.
  strip.fill(Qt::white);
  QPainter(&strip).fillRect(0, 0, strip.width(), RING_CELL, Qt::black);
  for (int item : it->second) DrawCell(strip, item, ItemIcon(item));
  return ToScreen(strip);
}

const std::vector<UINT>& RingStripIds() {
  static const std::vector<UINT> ids = [] {
    std::vector<UINT> v;
    for (const auto& entry : ToolItems()) v.push_back(entry.first);
    return v;
  }();
  return ids;
}

}  // namespace art
