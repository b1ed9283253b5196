// Drawing kit of the program's resource artwork: the palette (the shell's icon palette), a
// painter set up on a cell, the turn from painted (antialiased, transparent) images into the
// pixel forms the raster operations need, and a few shapes several icons share.
#pragma once
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>
#include <memory>

#include "platform/base/Types.h"
#include "platform/gui/Dc.h"

namespace art {

// The shell's icon palette (app/frame/Icons.cpp): ink, blue, orange, green, red, paper, pale.
constexpr QRgb kInk = 0xff37414a, kBlue = 0xff1e7cd8, kOrange = 0xfff28c1e, kGreen = 0xff3aa04a,
               kRed = 0xffe03c38, kPaper = 0xffffffff, kPale = 0xffd6e6f7, kGrey = 0xffa0a8b0;

using Paint = std::function<void(QPainter&)>;

// A round-capped pen of the palette.
QPen Pen(QRgb colour, double width);
// Paints on a transparent w x h image (premultiplied ARGB), antialiased. With unit > 0 the
// painter is scaled so that a square of unit x unit fills the smaller side, centred; with 0 the
// painter works in pixels.
QImage Render(int w, int h, const Paint& paint, double unit = 24, bool antialias = true);

// The colour of a painted (premultiplied) pixel laid over an opaque face (0xRRGGBB).
uint32_t Over(QRgb premultiplied, uint32_t face);
// A new opaque screen image of the QImage (any format; alpha dropped).
std::unique_ptr<gui::ScreenImage> ToScreen(const QImage& image);
// A new screen image that keeps the image's alpha (straight, not premultiplied).
std::unique_ptr<gui::ScreenImage> ToScreenWithAlpha(const QImage& image);

// Shared shapes, on a 24-unit grid unless said otherwise.
// A filled head at tip pointing away from `from`.
void Arrowhead(QPainter& p, QPointF tip, QPointF from, double size, QRgb colour);
// A flat layer sheet (a rhombus seen at a slant) centred at (cx, cy), half width w.
void Sheet(QPainter& p, double cx, double cy, double w, QRgb fill);
// The digit 1 or 2 drawn as strokes in the box (x, y, w, h).
void Digit(QPainter& p, int digit, QRectF box, QRgb colour, double width);
// The shell's icon of a command (Icons.cpp) on the grid's 24 x 24 square.
void ShellIcon(QPainter& p, UINT command);
// A round badge with a white plus (create) or minus (delete) in it.
void Badge(QPainter& p, QPointF centre, double r, QRgb fill, bool plus);

}  // namespace art
