// The program's cursors. Tools that aim at a pixel show a crosshair (black over a white
// rim, open in the middle so the aimed pixel stays visible; the hot spot is its centre) with a
// small badge in a free quadrant saying what a press will do; the brush size itself is the
// paint tool's own XOR circle. Pointer-like cursors keep their hot spot at their tip.
#include "frame/ResourceCursors.h"

#include <functional>
#include <map>

#include "core/PaintSpace.h"
#include "frame/ArtKit.h"
#include "frame/ResourceIds.h"
#include "frame/ResourceParts.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Resources.h"

namespace art {

namespace {

constexpr int kN = CURSOR_SIZE;
constexpr int kCentre = 15;  // the crosshair's hot spot

// A badge picture gets a one-pixel white rim so that it reads on dark and light paint.
QImage WithRim(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < kN; ++y) {
    for (int x = 0; x < kN; ++x) {
      if (qAlpha(image.pixel(x, y)) >= 128) continue;
      int cover = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (x + dx >= 0 && y + dy >= 0 && x + dx < kN && y + dy < kN)
            cover = std::max(cover, qAlpha(image.pixel(x + dx, y + dy)));
      if (cover < 96) continue;
      // The rim goes under what the pixel already shows (premultiplied: add white's share).
      const QRgb c = out.pixel(x, y);
      const int under = 255 - qAlpha(c);
      out.setPixel(x, y, qRgba(qRed(c) + under, qGreen(c) + under, qBlue(c) + under, 255));
    }
  }
  return out;
}

void Crosshair(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, false);
  const QLine arms[] = {{kCentre, kCentre - 10, kCentre, kCentre - 4}, {kCentre, kCentre + 4, kCentre, kCentre + 10},
                        {kCentre - 10, kCentre, kCentre - 4, kCentre}, {kCentre + 4, kCentre, kCentre + 10, kCentre}};
  for (const QLine& arm : arms) {
    const bool vertical = arm.x1() == arm.x2();
    p.fillRect(vertical ? QRect(arm.x1() - 1, arm.y1() - 1, 3, arm.y2() - arm.y1() + 3)
                        : QRect(arm.x1() - 1, arm.y1() - 1, arm.x2() - arm.x1() + 3, 3),
               Qt::white);
  }
  for (const QLine& arm : arms) {
    p.setPen(Qt::black);
    p.drawLine(arm);
  }
  p.fillRect(QRect(kCentre, kCentre, 1, 1), Qt::black);
  p.setRenderHint(QPainter::Antialiasing, true);
}

// Badge areas: the lower right quadrant and the upper right one, each 14 x 14.
const QRectF kLow(18, 18, 14, 14), kHigh(18, 0, 14, 14);

// Paints `paint` (on the shell icons' 24-unit grid) into one badge area.
void InArea(QPainter& p, const QRectF& area, const Paint& paint) {
  p.save();
  p.translate(area.topLeft());
  p.scale(area.width() / 24, area.height() / 24);
  paint(p);
  p.restore();
}

// Badge pictures (24-unit grid).
// The shell's tool icons.
void BrushBadge(QPainter& p) { ShellIcon(p, ID_OPER_PAINT); }
void LassoBadge(QPainter& p) { ShellIcon(p, ID_OPER_LASSO); }
void BucketBadge(QPainter& p) { ShellIcon(p, ID_OPER_FLOOD); }

void PenBadge(QPainter& p) {
  p.translate(12, 12);
  p.rotate(45);
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(QColor::fromRgba(kOrange));
  p.drawRect(QRectF(-3.5, -13, 7, 15));
  QPainterPath tip;
  tip.moveTo(-3.5, 2);
  tip.lineTo(3.5, 2);
  tip.lineTo(0, 11);
  tip.closeSubpath();
  p.setBrush(QColor(0xf3, 0xd9, 0xa4));
  p.drawPath(tip);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kInk));
  p.drawPolygon(QPolygonF({QPointF(-1.3, 7.6), QPointF(1.3, 7.6), QPointF(0, 11)}));
}

void AirbrushBadge(QPainter& p) {
  // A spray can puffing a cloud of dots up and to the right.
  p.save();
  p.translate(7, 16);
  p.rotate(40);
  p.setPen(Pen(kInk, 1.5));
  p.setBrush(QColor::fromRgba(kBlue));
  p.drawRoundedRect(QRectF(-4, -3, 8, 11), 1.5, 1.5);
  p.setBrush(QColor::fromRgba(kInk));
  p.drawRect(QRectF(-1.5, -6, 3, 3));
  p.restore();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kInk));
  const QPointF dots[] = {{14, 5}, {19, 3}, {20, 9}, {15, 11}, {23, 5}};
  for (const QPointF& d : dots) p.drawEllipse(d, 1.9, 1.9);
}

void EraserBadge(QPainter& p) {
  p.translate(12, 12);
  p.rotate(-40);
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(QColor(0xf4, 0xa6, 0xb4));
  p.drawRoundedRect(QRectF(-10, -6, 12, 12), 2, 2);
  p.setBrush(QColor::fromRgba(kPaper));
  p.drawRoundedRect(QRectF(2, -6, 8, 12), 2, 2);
}

// The arc of arc mode: before its start point a hollow start mark, after it a filled one.
void ArcBadge(QPainter& p, bool started) {
  QPainterPath arc;
  arc.moveTo(4, 20);
  arc.quadTo(10, 0, 21, 10);
  p.setPen(started ? Pen(kBlue, 2.4) : QPen(QColor::fromRgba(kBlue), 2.4, Qt::DashLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(started ? QColor::fromRgba(kOrange) : QColor::fromRgba(kPaper));
  p.drawEllipse(QPointF(4, 20), 3.6, 3.6);
}

void FrameBadge(QPainter& p) {
  p.setPen(QPen(QColor::fromRgba(kInk), 2, Qt::DashLine));
  p.setBrush(QColor(30, 124, 216, 70));
  p.drawRect(QRectF(3, 5, 18, 14));
}

void MinusBadge(QPainter& p) { Badge(p, QPointF(12, 12), 9, kRed, false); }

// The outline tool: its nodes so far (none, an open outline, or a closed one) in the upper
// area, its fill mode (fill: a solid swatch; erase: a white one struck through) in the lower.
void OutlineBadge(QPainter& p, int nodes) {
  const QPointF at[] = {{4, 20}, {11, 5}, {21, 16}};
  p.setPen(Pen(kInk, 2));
  p.setBrush(Qt::NoBrush);
  if (nodes == 3) p.drawPolygon(at, 3);
  else if (nodes == 2) p.drawPolyline(at, 3);
  p.setPen(Pen(kInk, 1.4));
  p.setBrush(QColor::fromRgba(kPaper));
  for (int i = 0; i < (nodes ? 3 : 1); ++i) p.drawRect(QRectF(at[i].x() - 2.8, at[i].y() - 2.8, 5.6, 5.6));
}

void SwatchBadge(QPainter& p, bool fill) {
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(fill ? QColor::fromRgba(kBlue) : QColor::fromRgba(kPaper));
  p.drawRect(QRectF(5, 5, 15, 15));
  if (fill) return;
  p.setPen(Pen(kRed, 2.2));
  p.drawLine(QPointF(6, 19), QPointF(19, 6));
}

struct Aim {
  Paint low, high;
  bool ring = false;  // a ring round the hot spot: the point snaps there
};

CursorArt AimCursor(const Aim& aim) {
  QImage badges = Render(kN, kN, [&](QPainter& p) {
    if (aim.low) InArea(p, kLow, aim.low);
    if (aim.high) InArea(p, kHigh, aim.high);
  }, 0);
  QImage image = WithRim(badges);
  QPainter p(&image);
  Crosshair(p);
  if (aim.ring) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3.2));
    p.drawEllipse(QPointF(kCentre + 0.5, kCentre + 0.5), 4.5, 4.5);
    p.setPen(QPen(QColor::fromRgba(kRed), 1.6));
    p.drawEllipse(QPointF(kCentre + 0.5, kCentre + 0.5), 4.5, 4.5);
  }
  p.end();
  CursorArt art{kCentre, kCentre, {}};
  const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < kN; ++y)
    for (int x = 0; x < kN; ++x) art.pixels.push_back(straight.pixel(x, y));
  return art;
}

// A black shape with a white rim, its hot spot given.
CursorArt Pointer(int hotX, int hotY, const Paint& paint) {
  QImage image = Render(kN, kN, paint, 0);
  CursorArt art{hotX, hotY, {}};
  const QImage straight = WithRim(image).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < kN; ++y)
    for (int x = 0; x < kN; ++x) art.pixels.push_back(straight.pixel(x, y));
  return art;
}

// Black; the rim comes from WithRim.
void Solid(QPainter& p, const QPainterPath& path) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPath(path);
}

QPainterPath FourWay(double c, double reach, double head, double stem) {
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (int i = 0; i < 4; ++i) {
    QTransform t;
    t.translate(c, c);
    t.rotate(90 * i);
    QPolygonF arm({QPointF(-stem, 0), QPointF(-stem, -reach + head), QPointF(-head, -reach + head),
                   QPointF(0, -reach), QPointF(head, -reach + head), QPointF(stem, -reach + head),
                   QPointF(stem, 0)});
    path.addPolygon(t.map(arm));
    path.closeSubpath();
  }
  return path.simplified();
}

CursorArt Eyedropper() {
  // The tip at (2, 29), the bulb up to the right.
  return Pointer(2, 29, [](QPainter& p) {
    p.translate(14.7, 16.3);
    p.rotate(45);
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(-4, -15, 8, 7), 2.5, 2.5);
    p.drawRect(QRectF(-5.5, -8, 11, 2.6));
    QPainterPath tube;
    tube.moveTo(-2.4, -5.4);
    tube.lineTo(2.4, -5.4);
    tube.lineTo(1.6, 14);
    tube.lineTo(0, 18);
    tube.lineTo(-1.6, 14);
    tube.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(tube);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgba(kBlue));
    p.drawRect(QRectF(-1.4, 5, 2.8, 9));
  });
}

CursorArt MoveItem() {
  return Pointer(1, 1, [](QPainter& p) {
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 17);
    arrow.lineTo(5, 13.2);
    arrow.lineTo(8, 20);
    arrow.lineTo(10.5, 19);
    arrow.lineTo(7.6, 12.2);
    arrow.lineTo(12.6, 12.2);
    arrow.closeSubpath();
    Solid(p, arrow);
    // The row being carried.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor::fromRgba(kPale));
    p.drawRect(QRectF(12.5, 19.5, 16, 7));
    p.setPen(QPen(QColor::fromRgba(kBlue), 1.4));
    p.drawLine(QPointF(15, 23), QPointF(26, 23));
  });
}

CursorArt SplitBar() {
  return Pointer(15, 15, [](QPainter& p) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRect(QRectF(4, 12, 23, 2));
    path.addRect(QRectF(4, 17, 23, 2));
    path.addPolygon(QPolygonF({QPointF(15.5, 2), QPointF(21, 8), QPointF(17, 8), QPointF(17, 10.5),
                               QPointF(14, 10.5), QPointF(14, 8), QPointF(10, 8)}));
    path.addPolygon(QPolygonF({QPointF(15.5, 29), QPointF(21, 23), QPointF(17, 23), QPointF(17, 20.5),
                               QPointF(14, 20.5), QPointF(14, 23), QPointF(10, 23)}));
    Solid(p, path.simplified());
  });
}

const std::map<UINT, std::function<CursorArt()>>& Makers() {
  using Maker = std::function<CursorArt()>;
  static const std::map<UINT, Maker> makers = [] {
    std::map<UINT, Maker> m;
    m[IDC_SPLITBAR] = SplitBar;
    m[IDC_SUCKER] = Eyedropper;
    m[IDC_MOVEITEM] = MoveItem;
    m[IDC_MOVE] = [] { return Pointer(15, 15, [](QPainter& p) { Solid(p, FourWay(15.5, 14, 5, 1.6)); }); };
    m[IDC_FRAME] = [] { return AimCursor({FrameBadge, nullptr}); };
    m[IDC_LASSO] = [] { return AimCursor({LassoBadge, nullptr}); };
    m[IDC_LASSO_CUT] = [] { return AimCursor({LassoBadge, MinusBadge}); };
    m[IDC_FLOOD] = [] { return AimCursor({BucketBadge, nullptr}); };
    m[IDC_POLY_CLOSE] = [] { return AimCursor({nullptr, [](QPainter& p) { OutlineBadge(p, 3); }, true}); };
    const struct {
      UINT id;
      int nodes;
      bool fill;
    } outline[] = {{IDC_POLY_START_FILL, 0, true},
                   {IDC_POLY_START_ERASE, 0, false},
                   {IDC_POLY_OPEN_FILL, 2, true},
                   {IDC_POLY_OPEN_ERASE, 2, false}};
    for (const auto& o : outline) {
      m[o.id] = [o] {
        return AimCursor({[o](QPainter& p) { SwatchBadge(p, o.fill); }, [o](QPainter& p) { OutlineBadge(p, o.nodes); }});
      };
    }
    const Paint kinds[4] = {BrushBadge, PenBadge, AirbrushBadge, EraserBadge};
    for (int state = 0; state < 3; ++state) {
      for (int kind = 0; kind < 4; ++kind) {
        Paint arc;
        if (state > 0) arc = [started = state == 2](QPainter& p) { ArcBadge(p, started); };
        m[IDC_PAINT[state][kind]] = [low = kinds[kind], arc] { return AimCursor({low, arc}); };
      }
    }
    return m;
  }();
  return makers;
}

}  // namespace

CursorArt MakeCursorArt(UINT id) {
  auto it = Makers().find(id);
  return it == Makers().end() ? CursorArt{} : it->second();
}

const std::vector<UINT>& CursorIds() {
  static const std::vector<UINT> ids = [] {
    std::vector<UINT> v;
    for (const auto& entry : Makers()) v.push_back(entry.first);
    return v;
  }();
  return ids;
}

void RegisterCursors() {
  for (UINT id : CursorIds()) {
    gui::RegisterCursorResource(id, [id] {
      const CursorArt art = MakeCursorArt(id);
      return gui::CreateColorCursor(art.hotX, art.hotY, art.pixels.data(), kN, kN);
    });
  }
}

}  // namespace art
