#include "ArtKit.h"

#include "frame/Icons.h"

#include <QPixmap>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace art {

QPen Pen(QRgb colour, double width) {
  return QPen(QColor::fromRgba(colour), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QImage Render(int w, int h, const Paint& paint, double unit, bool antialias) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, antialias);
  if (unit > 0) {
    const double side = std::min(w, h);
    p.translate((w - side) / 2, (h - side) / 2);
    p.scale(side / unit, side / unit);
  }
  paint(p);
  p.end();
  return image;
}

uint32_t Over(QRgb c, uint32_t face) {
  const int a = qAlpha(c);
  auto mix = [&](int premul, int back) { return uint32_t(premul + (back * (255 - a) + 127) / 255); };
  return mix(qRed(c), int(face >> 16) & 0xFF) << 16 | mix(qGreen(c), int(face >> 8) & 0xFF) << 8 |
         mix(qBlue(c), int(face) & 0xFF);
}

namespace {

std::unique_ptr<gui::ScreenImage> Copy(const QImage& image, bool keepAlpha) {
  auto out = std::make_unique<gui::ScreenImage>();
  out->SetKeepAlpha(keepAlpha);
  out->Resize(image.width(), image.height(), 0);
  const QImage src = image.convertToFormat(keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < src.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(src.constScanLine(y));
    std::copy(row, row + src.width(), out->Bits() + size_t(y) * size_t(out->Pitch()));
  }
  return out;
}

}  // namespace

std::unique_ptr<gui::ScreenImage> ToScreen(const QImage& image) { return Copy(image, false); }
std::unique_ptr<gui::ScreenImage> ToScreenWithAlpha(const QImage& image) { return Copy(image, true); }

void Arrowhead(QPainter& p, QPointF tip, QPointF from, double size, QRgb colour) {
  const double angle = std::atan2(tip.y() - from.y(), tip.x() - from.x()) * 180 / M_PI;
  QTransform t;
  t.translate(tip.x(), tip.y());
  t.rotate(angle);
  const QPolygonF head({QPointF(0, 0), QPointF(-size, size * 0.6), QPointF(-size, -size * 0.6)});
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(colour));
  p.drawPolygon(t.map(head));
}

void Sheet(QPainter& p, double cx, double cy, double w, QRgb fill) {
  const double h = w / 2;
  p.setPen(Pen(kInk, 1.5));
  p.setBrush(QColor::fromRgba(fill));
  p.drawPolygon(QPolygonF({QPointF(cx - w, cy), QPointF(cx, cy - h), QPointF(cx + w, cy), QPointF(cx, cy + h)}));
}

void Digit(QPainter& p, int digit, QRectF box, QRgb colour, double width) {
  QPainterPath path;
  const double l = box.left(), t = box.top(), w = box.width(), h = box.height();
  if (digit == 1) {
    path.moveTo(l + w * 0.2, t + h * 0.25);
    path.lineTo(l + w * 0.55, t);
    path.lineTo(l + w * 0.55, t + h);
  } else {
    path.moveTo(l + w * 0.1, t + h * 0.28);
    path.cubicTo(l + w * 0.15, t - h * 0.08, l + w * 0.95, t - h * 0.05, l + w * 0.85, t + h * 0.35);
    path.cubicTo(l + w * 0.78, t + h * 0.55, l + w * 0.3, t + h * 0.75, l + w * 0.08, t + h);
    path.lineTo(l + w * 0.95, t + h);
  }
  p.setPen(Pen(colour, width));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

void ShellIcon(QPainter& p, UINT command) {
  // The icon's largest picture, scaled down smoothly to the grid.
  const QPixmap picture = CommandIcon(command).pixmap(48, 48);
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawPixmap(QRectF(0, 0, 24, 24), picture, QRectF(picture.rect()));
  p.restore();
}

void Badge(QPainter& p, QPointF c, double r, QRgb fill, bool plus) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(fill));
  p.drawEllipse(c, r, r);
  p.setPen(QPen(Qt::white, r * 0.42, Qt::SolidLine, Qt::RoundCap));
  const double arm = r * 0.52;
  p.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
  if (plus) p.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
}

}  // namespace art
