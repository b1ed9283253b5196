#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <cmath>
#include <functional>
#include <map>

#include "frame/Resource.h"

namespace {

// Every icon is drawn on a 24-unit grid, at 1x and 2x, in one small palette.
const QColor kInk(0x37, 0x41, 0x4a);
const QColor kBlue(0x1e, 0x7c, 0xd8);
const QColor kOrange(0xf2, 0x8c, 0x1e);
const QColor kGreen(0x3a, 0xa0, 0x4a);
const QColor kRed(0xe0, 0x3c, 0x38);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPale(0xd6, 0xe6, 0xf7);

using Painter = std::function<void(QPainter&)>;

QPen Ink(double width = 1.6) { return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

QIcon Make(const Painter& paint) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pm(24 * scale, 24 * scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

void Arrowhead(QPainter& p, QPointF tip, QPointF from, double size, const QColor& c) {
  const double dx = tip.x() - from.x(), dy = tip.y() - from.y();
  const double len = std::hypot(dx, dy);
  if (len <= 0) return;
  const double ux = dx / len, uy = dy / len;
  QPolygonF head;
  head << tip << QPointF(tip.x() - ux * size - uy * size * 0.6, tip.y() - uy * size + ux * size * 0.6)
       << QPointF(tip.x() - ux * size + uy * size * 0.6, tip.y() - uy * size - ux * size * 0.6);
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPolygon(head);
}

void Page(QPainter& p) {
  QPainterPath page;
  page.moveTo(5, 2.5);
  page.lineTo(14, 2.5);
  page.lineTo(19, 7.5);
  page.lineTo(19, 21.5);
  page.lineTo(5, 21.5);
  page.closeSubpath();
  p.setPen(Ink(1.3));
  p.setBrush(kPaper);
  p.drawPath(page);
  p.setBrush(kPale);
  QPainterPath fold;
  fold.moveTo(14, 2.5);
  fold.lineTo(14, 7.5);
  fold.lineTo(19, 7.5);
  p.drawPath(fold);
}

void Plus(QPainter& p, QPointF c, double r, const QColor& colour) {
  p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
}

void Floppy(QPainter& p) {
  p.setPen(Ink(1.2));
  p.setBrush(kBlue);
  p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
  p.setBrush(kPaper);
  p.drawRect(QRectF(7, 3.5, 10, 6));
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawRect(QRectF(13.5, 4.8, 2, 3.4));
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(6.5, 13, 11, 7.5), 1, 1);
  p.setPen(QPen(kPale, 1));
  p.drawLine(QPointF(8.5, 15.5), QPointF(15.5, 15.5));
  p.drawLine(QPointF(8.5, 18), QPointF(15.5, 18));
}

void TurnArrow(QPainter& p, bool mirrored) {
  if (mirrored) {
    p.translate(24, 0);
    p.scale(-1, 1);
  }
  QPainterPath path;
  path.moveTo(8, 8.5);
  path.lineTo(14.5, 8.5);
  path.cubicTo(21, 8.5, 21, 19.5, 14.5, 19.5);
  path.lineTo(8, 19.5);
  p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  Arrowhead(p, QPointF(2.5, 8.5), QPointF(9, 8.5), 6.5, kInk);
}

void Magnifier(QPainter& p, bool plus) {
  p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(15, 15), QPointF(21, 21));
  p.setPen(Ink(1.8));
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(10, 10), 7, 7);
  p.setPen(QPen(kBlue, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(6.5, 10), QPointF(13.5, 10));
  if (plus) p.drawLine(QPointF(10, 6.5), QPointF(10, 13.5));
}

void RoundArrow(QPainter& p, bool clockwise) {
  if (!clockwise) {
    p.translate(24, 0);
    p.scale(-1, 1);
  }
  // Most of a circle, travelled clockwise from three o'clock to just past twelve, with the
  // head on its end pointing onwards.
  const double r = 7.5, end = 70 * M_PI / 180;
  p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(12 - r, 13 - r, 2 * r, 2 * r), 0, -290 * 16);
  const QPointF tail(12 + r * std::cos(end), 13 - r * std::sin(end));
  const QPointF along(std::sin(end), std::cos(end));
  Arrowhead(p, tail + along * 4.5, tail - along, 5.5, kInk);
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawEllipse(QPointF(12, 13), 2.2, 2.2);
}

void Gear(QPainter& p) {
  p.setPen(Ink(1.3));
  p.setBrush(kPale);
  QPainterPath gear;
  for (int i = 0; i < 8; ++i) {
    const double a0 = (i * 45 - 12) * M_PI / 180, a1 = (i * 45 + 12) * M_PI / 180;
    const double b0 = (i * 45 + 22.5 - 12) * M_PI / 180, b1 = (i * 45 + 22.5 + 12) * M_PI / 180;
    auto pt = [](double a, double r) { return QPointF(12 + r * std::cos(a), 12 + r * std::sin(a)); };
    if (i == 0) gear.moveTo(pt(a0, 10));
    else gear.lineTo(pt(a0, 10));
    gear.lineTo(pt(a1, 10));
    gear.lineTo(pt(b0, 7.2));
    gear.lineTo(pt(b1, 7.2));
  }
  gear.closeSubpath();
  p.drawPath(gear);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(12, 12), 3, 3);
}

const std::map<UINT, Painter>& Painters() {
  static const std::map<UINT, Painter> painters = {
      {ID_FILE_NEW,
       [](QPainter& p) {
         Page(p);
         p.setPen(Qt::NoPen);
         p.setBrush(kGreen);
         p.drawEllipse(QPointF(17.5, 17.5), 5.5, 5.5);
         Plus(p, QPointF(17.5, 17.5), 2.8, kPaper);
       }},
      {ID_FILE_OPEN,
       [](QPainter& p) {
         p.setPen(Ink(1.2));
         p.setBrush(QColor(0xf0, 0xb4, 0x3c));
         QPainterPath back;
         back.moveTo(2.5, 5.5);
         back.lineTo(9, 5.5);
         back.lineTo(11, 7.5);
         back.lineTo(20.5, 7.5);
         back.lineTo(20.5, 19.5);
         back.lineTo(2.5, 19.5);
         back.closeSubpath();
         p.drawPath(back);
         p.setBrush(QColor(0xfc, 0xd8, 0x78));
         QPainterPath front;
         front.moveTo(2.5, 19.5);
         front.lineTo(5.5, 11);
         front.lineTo(23, 11);
         front.lineTo(20.5, 19.5);
         front.closeSubpath();
         p.drawPath(front);
       }},
      {ID_FILE_SAVE, [](QPainter& p) { Floppy(p); }},
      {ID_FILE_SAVE_AS,
       [](QPainter& p) {
         Floppy(p);
         p.setPen(QPen(kOrange, 3, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(13, 21), QPointF(21.5, 12.5));
       }},
      {ID_EDIT_UNDO, [](QPainter& p) { TurnArrow(p, false); }},
      {ID_EDIT_REDO, [](QPainter& p) { TurnArrow(p, true); }},
      {ID_SPACE_BACKGROUND,
       [](QPainter& p) {
         p.setPen(Ink(1.2));
         p.setBrush(kPaper);
         p.drawRect(QRectF(3.5, 3.5, 17, 17));
         p.setPen(Qt::NoPen);
         p.setBrush(kOrange);
         p.drawRect(QRectF(5, 5, 14, 14));
         p.setBrush(kPaper);
         p.setPen(Ink(1.2));
         p.drawRect(QRectF(8.5, 8.5, 7, 7));
       }},
      {ID_SPACE_RESIZE,
       [](QPainter& p) {
         p.setPen(QPen(kInk, 1.2, Qt::DashLine));
         p.setBrush(Qt::NoBrush);
         p.drawRect(QRectF(3.5, 3.5, 17, 17));
         p.setPen(Ink(1.2));
         p.setBrush(kPale);
         p.drawRect(QRectF(3.5, 3.5, 10, 10));
         p.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(12, 12), QPointF(18, 18));
         Arrowhead(p, QPointF(20.5, 20.5), QPointF(15, 15), 5, kBlue);
       }},
      {ID_APP_CONFIGURE, [](QPainter& p) { Gear(p); }},
      {ID_APP_HELP,
       [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
         QFont f = p.font();
         f.setPixelSize(15);
         f.setBold(true);
         p.setFont(f);
         p.setPen(kPaper);
         p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
       }},
      {ID_APP_ABOUT,
       [](QPainter& p) {
         p.setPen(Qt::NoPen);
         p.setBrush(kGreen);
         p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
         p.setBrush(kPaper);
         p.drawEllipse(QPointF(12, 7.5), 1.6, 1.6);
         p.drawRoundedRect(QRectF(10.6, 10.5, 2.8, 8), 1, 1);
       }},
      // Tools.
      {ID_OPER_MOVE,
       [](QPainter& p) {
         p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(12, 5), QPointF(12, 19));
         p.drawLine(QPointF(5, 12), QPointF(19, 12));
         Arrowhead(p, QPointF(12, 1.5), QPointF(12, 8), 4.5, kInk);
         Arrowhead(p, QPointF(12, 22.5), QPointF(12, 16), 4.5, kInk);
         Arrowhead(p, QPointF(1.5, 12), QPointF(8, 12), 4.5, kInk);
         Arrowhead(p, QPointF(22.5, 12), QPointF(16, 12), 4.5, kInk);
       }},
      {ID_OPER_NEW,
       [](QPainter& p) {
         auto sheet = [&](double y, const QColor& fill) {
           QPolygonF r;
           r << QPointF(2, y) << QPointF(11, y - 4.5) << QPointF(20, y) << QPointF(11, y + 4.5);
           p.setPen(Ink(1.2));
           p.setBrush(fill);
           p.drawPolygon(r);
         };
         sheet(14.5, kPale);
         sheet(9.5, kPaper);
         p.setPen(Qt::NoPen);
         p.setBrush(kGreen);
         p.drawEllipse(QPointF(18, 18), 5, 5);
         Plus(p, QPointF(18, 18), 2.6, kPaper);
       }},
      {ID_OPER_CROP,
       [](QPainter& p) {
         p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
         p.setBrush(Qt::NoBrush);
         QPainterPath a;
         a.moveTo(6.5, 2);
         a.lineTo(6.5, 17.5);
         a.lineTo(22, 17.5);
         p.drawPath(a);
         QPainterPath b;
         b.moveTo(2, 6.5);
         b.lineTo(17.5, 6.5);
         b.lineTo(17.5, 22);
         p.drawPath(b);
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(30, 124, 216, 70));
         p.drawRect(QRectF(7.5, 7.5, 9, 9));
       }},
      {ID_OPER_LASSO,
       [](QPainter& p) {
         p.setPen(QPen(kInk, 1.8, Qt::DashLine, Qt::RoundCap));
         p.setBrush(QColor(30, 124, 216, 50));
         p.drawEllipse(QPointF(13, 9.5), 9, 6.5);
         p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap));
         p.setBrush(Qt::NoBrush);
         QPainterPath tail;
         tail.moveTo(7, 14.5);
         tail.cubicTo(4, 17, 8, 19.5, 5, 22.5);
         p.drawPath(tail);
         p.setPen(Qt::NoPen);
         p.setBrush(kOrange);
         p.drawEllipse(QPointF(7, 14.5), 2, 2);
       }},
      {ID_OPER_DISTORT,
       [](QPainter& p) {
         QPainterPath outline;
         outline.moveTo(3, 4);
         outline.quadTo(12, 1, 21, 5);
         outline.quadTo(19, 12, 21, 20);
         outline.quadTo(12, 23, 4, 20);
         outline.quadTo(6, 12, 3, 4);
         p.setPen(Ink(1.4));
         p.setBrush(kPale);
         p.drawPath(outline);
         p.setBrush(Qt::NoBrush);
         p.setPen(QPen(kBlue, 1.1));
         QPainterPath grid;
         grid.moveTo(9, 3.2);
         grid.quadTo(11, 12, 9.5, 21.5);
         grid.moveTo(15, 3.4);
         grid.quadTo(14, 12, 15.5, 21.5);
         grid.moveTo(4.6, 9.5);
         grid.quadTo(12, 7.5, 19.8, 10);
         grid.moveTo(4.6, 15);
         grid.quadTo(12, 16.5, 19.8, 15);
         p.drawPath(grid);
         p.setPen(Qt::NoPen);
         p.setBrush(kOrange);
         for (QPointF c : {QPointF(3, 4), QPointF(21, 5), QPointF(21, 20), QPointF(4, 20)}) p.drawEllipse(c, 2, 2);
       }},
      {ID_OPER_SHAPE,
       [](QPainter& p) {
         p.setPen(Ink(1.2));
         p.setBrush(kBlue);
         p.drawRect(QRectF(2.5, 10.5, 10, 10));
         p.setBrush(kOrange);
         p.drawEllipse(QPointF(15.5, 9), 6.5, 6.5);
         QPolygonF star;
         for (int i = 0; i < 10; ++i) {
           const double a = (i * 36 - 90) * M_PI / 180, r = i % 2 ? 2.3 : 5.2;
           star << QPointF(17 + r * std::cos(a), 18.5 + r * std::sin(a));
         }
         p.setBrush(kGreen);
         p.drawPolygon(star);
       }},
      {ID_OPER_FLOOD,
       [](QPainter& p) {
         p.save();
         p.translate(10, 12);
         p.rotate(-35);
         p.setPen(Ink(1.4));
         p.setBrush(kPale);
         p.drawRoundedRect(QRectF(-6, -5, 12, 12), 1.5, 1.5);
         p.setBrush(kBlue);
         p.drawRect(QRectF(-6, -5, 12, 3));
         p.setBrush(Qt::NoBrush);
         p.drawArc(QRectF(-5, -10.5, 10, 10), 0, 180 * 16);
         p.restore();
         QPainterPath drop;
         drop.moveTo(19.5, 11);
         drop.cubicTo(19.5, 11, 23, 16, 23, 18);
         drop.arcTo(QRectF(16, 14.5, 7, 7), 0, -180);
         drop.cubicTo(16, 16, 19.5, 11, 19.5, 11);
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawPath(drop);
       }},
      {ID_OPER_PAINT,
       [](QPainter& p) {
         p.save();
         p.translate(12, 12);
         p.rotate(45);
         p.setPen(Ink(1.1));
         p.setBrush(QColor(0xb0, 0x7a, 0x4a));
         p.drawRoundedRect(QRectF(-1.8, -12, 3.6, 12), 1.5, 1.5);
         p.setBrush(QColor(0xb8, 0xc4, 0xcc));
         p.drawRect(QRectF(-2.4, -0.5, 4.8, 4));
         QPainterPath tip;
         tip.moveTo(-2.4, 3.5);
         tip.lineTo(2.4, 3.5);
         tip.quadTo(2.6, 8.5, 0, 11.5);
         tip.quadTo(-2.6, 8.5, -2.4, 3.5);
         p.setBrush(kRed);
         p.drawPath(tip);
         p.restore();
         p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
         p.setBrush(Qt::NoBrush);
         QPainterPath stroke;
         stroke.moveTo(2.5, 21.5);
         stroke.quadTo(5, 17.5, 8.5, 20);
         p.drawPath(stroke);
       }},
      {ID_OPER_POLYGON,
       [](QPainter& p) {
         QPainterPath shape;
         shape.moveTo(3, 18);
         shape.quadTo(5, 5, 11, 4);
         shape.lineTo(20, 9);
         shape.quadTo(17, 17, 21, 20.5);
         shape.closeSubpath();
         p.setPen(Ink(1.4));
         p.setBrush(QColor(242, 140, 30, 90));
         p.drawPath(shape);
         p.setPen(Ink(1.1));
         p.setBrush(kPaper);
         for (QPointF c : {QPointF(3, 18), QPointF(11, 4), QPointF(20, 9), QPointF(21, 20.5)})
           p.drawRect(QRectF(c.x() - 1.7, c.y() - 1.7, 3.4, 3.4));
       }},
      {ID_OPER_SUCKER,
       [](QPainter& p) {
         p.save();
         p.translate(12, 12);
         p.rotate(45);
         p.setPen(Ink(1.1));
         p.setBrush(kInk);
         p.drawRoundedRect(QRectF(-3.2, -11.5, 6.4, 6), 2, 2);
         p.drawRect(QRectF(-4.2, -6, 8.4, 2));
         p.setBrush(kPaper);
         QPainterPath tube;
         tube.moveTo(-2, -4);
         tube.lineTo(2, -4);
         tube.lineTo(1.4, 7);
         tube.lineTo(0, 10.5);
         tube.lineTo(-1.4, 7);
         tube.closeSubpath();
         p.drawPath(tube);
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         p.drawRect(QRectF(-1.5, 2, 3, 5));
         p.restore();
       }},
      // The view.
      {ID_VIEW_ZOOM_IN, [](QPainter& p) { Magnifier(p, true); }},
      {ID_VIEW_ZOOM_OUT, [](QPainter& p) { Magnifier(p, false); }},
      {ID_VIEW_ZOOM_ONE,
       [](QPainter& p) {
         p.setPen(Ink(1.2));
         p.setBrush(kPaper);
         p.drawRoundedRect(QRectF(2.5, 5.5, 19, 13), 2, 2);
         QFont f = p.font();
         f.setPixelSize(10);
         f.setBold(true);
         p.setFont(f);
         p.setPen(kBlue);
         p.drawText(QRectF(2.5, 5.5, 19, 13), Qt::AlignCenter, QStringLiteral("1:1"));
       }},
      {ID_VIEW_RESET,
       [](QPainter& p) {
         QPainterPath house;
         house.moveTo(3, 12);
         house.lineTo(12, 3.5);
         house.lineTo(21, 12);
         p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         p.setBrush(Qt::NoBrush);
         p.drawPath(house);
         p.setPen(Ink(1.3));
         p.setBrush(kPale);
         p.drawRect(QRectF(6, 11, 12, 9.5));
         p.setBrush(kBlue);
         p.drawRect(QRectF(10, 14.5, 4, 6));
       }},
      {ID_VIEW_ANGLE_ZERO,
       [](QPainter& p) {
         p.setPen(Ink(1.4));
         p.setBrush(kPaper);
         p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
         QPolygonF north;
         north << QPointF(12, 3.5) << QPointF(15, 12) << QPointF(9, 12);
         QPolygonF south;
         south << QPointF(12, 20.5) << QPointF(15, 12) << QPointF(9, 12);
         p.setPen(Qt::NoPen);
         p.setBrush(kRed);
         p.drawPolygon(north);
         p.setBrush(QColor(0xa8, 0xb4, 0xbc));
         p.drawPolygon(south);
       }},
      {ID_VIEW_ROTATE_LEFT, [](QPainter& p) { RoundArrow(p, false); }},
      {ID_VIEW_ROTATE_RIGHT, [](QPainter& p) { RoundArrow(p, true); }},
      {ID_VIEW_FLIP,
       [](QPainter& p) {
         QPolygonF left;
         left << QPointF(10, 4) << QPointF(10, 20) << QPointF(2, 20);
         QPolygonF right;
         right << QPointF(14, 4) << QPointF(14, 20) << QPointF(22, 20);
         p.setPen(Ink(1.3));
         p.setBrush(kBlue);
         p.drawPolygon(left);
         p.setBrush(kPaper);
         p.drawPolygon(right);
         p.setPen(QPen(kInk, 1.2, Qt::DashLine));
         p.drawLine(QPointF(12, 1.5), QPointF(12, 22.5));
       }},
      // Filters.
      {ID_LAYER_BLUR,
       [](QPainter& p) {
         for (int i = 3; i >= 0; --i) {
           p.setPen(Qt::NoPen);
           p.setBrush(QColor(30, 124, 216, 60 + 50 * (3 - i)));
           p.drawEllipse(QPointF(12, 12), 4.5 + 2 * i, 4.5 + 2 * i);
         }
       }},
      {ID_LAYER_BRIGHT,
       [](QPainter& p) {
         p.setPen(QPen(kOrange, 1.8, Qt::SolidLine, Qt::RoundCap));
         for (int i = 0; i < 8; ++i) {
           const double a = i * M_PI / 4;
           p.drawLine(QPointF(12 + 7.5 * std::cos(a), 12 + 7.5 * std::sin(a)),
                      QPointF(12 + 10.5 * std::cos(a), 12 + 10.5 * std::sin(a)));
         }
         p.setPen(Ink(1.2));
         p.setBrush(kPaper);
         p.drawEllipse(QPointF(12, 12), 5.5, 5.5);
         QPainterPath half;
         half.moveTo(12, 6.5);
         half.arcTo(QRectF(6.5, 6.5, 11, 11), 90, 180);
         half.closeSubpath();
         p.setBrush(kInk);
         p.drawPath(half);
       }},
      {ID_LAYER_HUE,
       [](QPainter& p) {
         p.setPen(Qt::NoPen);
         for (int i = 0; i < 12; ++i) {
           p.setBrush(QColor::fromHsv(i * 30, 220, 235));
           p.drawPie(QRectF(2.5, 2.5, 19, 19), (90 - i * 30) * 16, -30 * 16);
         }
         p.setBrush(kPaper);
         p.drawEllipse(QPointF(12, 12), 4, 4);
       }},
  };
  return painters;
}

}  // namespace

QIcon CommandIcon(UINT id) {
  static std::map<UINT, QIcon> cache;
  auto it = cache.find(id);
  if (it != cache.end()) return it->second;
  const auto& painters = Painters();
  auto p = painters.find(id);
  QIcon icon = p == painters.end() ? QIcon() : Make(p->second);
  cache.emplace(id, icon);
  return icon;
}

QIcon VisibilityIcon(bool visible) {
  static const QIcon open = Make([](QPainter& p) {
    QPainterPath eye;
    eye.moveTo(2, 12);
    eye.quadTo(12, 2.5, 22, 12);
    eye.quadTo(12, 21.5, 2, 12);
    p.setPen(Ink(1.5));
    p.setBrush(kPaper);
    p.drawPath(eye);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(12, 12), 4, 4);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(12, 12), 1.8, 1.8);
  });
  static const QIcon shut = Make([](QPainter& p) {
    QPainterPath lid;
    lid.moveTo(3, 11);
    lid.quadTo(12, 18.5, 21, 11);
    p.setPen(QPen(QColor(0xa0, 0xa8, 0xb0), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(lid);
    for (double x : {7.0, 12.0, 17.0}) p.drawLine(QPointF(x, 14.8 - (x == 12.0 ? 0.6 : 0)), QPointF(x + (x - 12) * 0.25, 18));
  });
  return visible ? open : shut;
}

QIcon ProgramIcon() {
  static const QIcon icon = Make([](QPainter& p) {
    QLinearGradient g(0, 0, 24, 24);
    g.setColorAt(0, QColor(0x2f, 0x8f, 0xe8));
    g.setColorAt(1, QColor(0x7a, 0x4c, 0xd8));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, 22, 22), 5, 5);
    p.setPen(QPen(QColor(0xff, 0xd0, 0x60), 3.2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath stroke;
    stroke.moveTo(5, 17);
    stroke.cubicTo(8, 8, 12, 20, 19, 6);
    p.setBrush(Qt::NoBrush);
    p.drawPath(stroke);
  });
  return icon;
}
