// The icon strips of the layer, brush and property lists. Each list composes a row on its
// row colour (LIST_ROW_FACE) and draws an icon by OR-ing the cell of strip row 0 and then
// AND-ing a picture cell. So row 0 is white where any picture of the column paints and black
// elsewhere (OR white clears the spot, OR black leaves the row); a picture is white outside
// that shape (AND white leaves the row) and carries its colours inside it, the face colour
// where only the column's other picture paints. Soft edges are blended for the face.
#include <QIcon>
#include <QPainterPath>
#include <vector>

#include "frame/ArtKit.h"
#include "frame/Icons.h"
#include "frame/ResourceIds.h"
#include "frame/ResourceParts.h"

namespace art {

namespace {

struct PanelColumn {
  Paint pictures[2];   // rows 1 and 2, in the cell's pixels; null paints nothing
  bool crisp = false;  // no soft edges: the column is drawn on more than one background
};

// 0xFFRRGGBB of the face.
constexpr QRgb kFace = 0xff000000 | LIST_ROW_FACE;

std::unique_ptr<gui::ScreenImage> PanelStrip(int cw, int ch, const std::vector<PanelColumn>& columns) {
  QImage strip(cw * int(columns.size()), ch * 3, QImage::Format_RGB32);
  strip.fill(Qt::white);
  for (size_t c = 0; c < columns.size(); ++c) {
    QImage pictures[2];
    for (int r = 0; r < 2; ++r) {
      const Paint& paint = columns[c].pictures[r];
      pictures[r] = Render(cw, ch, paint ? paint : Paint([](QPainter&) {}), 0, !columns[c].crisp);
    }
    const int x0 = int(c) * cw;
    for (int y = 0; y < ch; ++y) {
      for (int x = 0; x < cw; ++x) {
        const QRgb a = pictures[0].pixel(x, y), b = pictures[1].pixel(x, y);
        const bool shape = qAlpha(a) > 0 || qAlpha(b) > 0;
        strip.setPixel(x0 + x, y, shape ? 0xffffffff : 0xff000000);
        for (int r = 0; r < 2; ++r) {
          const QRgb own = r == 0 ? a : b;
          const QRgb out = qAlpha(own) > 0 ? 0xff000000 | Over(own, LIST_ROW_FACE) : shape ? kFace : 0xffffffff;
          strip.setPixel(x0 + x, y + ch * (r + 1), out);
        }
      }
    }
  }
  return ToScreen(strip);
}

QRgb Greyed(QRgb c) {
  const int g = qGray(c);
  const int v = 150 + g * 90 / 255;
  return qRgba(v, v, v, qAlpha(c));
}

// A picture painted once more with its colours greyed (a disabled look).
Paint GreyedOf(const Paint& paint, int w, int h) {
  return [paint, w, h](QPainter& p) {
    QImage image = Render(w, h, paint, 0).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, Greyed(image.pixel(x, y)));
    p.drawImage(0, 0, image);
  };
}

// Layer list, cells of 16 x 20 drawn at the top of a 20-pixel row. Columns: 0 nest, 1 hidden,
// 2 protect, 3 source, 4 colour layer; row 1 the flag set (or the colour layer), row 2 clear.
// Columns 0 and 4 sit in 12-pixel columns, so they keep to the cell's left 11 pixels.
void NestMark(QPainter& p) {
  QPainterPath hook;
  hook.moveTo(8.5, 5);
  hook.lineTo(5.5, 5);
  hook.quadTo(3.5, 5, 3.5, 7);
  hook.lineTo(3.5, 11.5);
  p.setPen(Pen(kBlue, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawPath(hook);
  Arrowhead(p, QPointF(3.5, 15.5), QPointF(3.5, 10), 4, kBlue);
}

void OpenEye(QPainter& p) { p.drawPixmap(QRect(0, 2, 16, 16), VisibilityIcon(true).pixmap(16, 16)); }

// A shut eye, darker than the shell's greyed one so that it still reads at this size.
void ShutEye(QPainter& p) {
  QPainterPath lid;
  lid.moveTo(2, 8.5);
  lid.quadTo(8, 14.5, 14, 8.5);
  p.setPen(Pen(0xff7a848c, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(lid);
  for (double x : {4.5, 8.0, 11.5}) p.drawLine(QPointF(x, 11.8 - (x == 8.0 ? 0.3 : 0)), QPointF(x + (x - 8) * 0.3, 14.5));
}

void Padlock(QPainter& p) {
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(4.8, 3.5, 6.4, 7.5), 0, 180 * 16);
  p.drawLine(QPointF(4.8, 7.2), QPointF(4.8, 9));
  p.drawLine(QPointF(11.2, 7.2), QPointF(11.2, 9));
  p.setPen(Pen(kInk, 1.1));
  p.setBrush(QColor::fromRgba(kOrange));
  p.drawRoundedRect(QRectF(3, 8.5, 10, 7.5), 1.2, 1.2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kInk));
  p.drawEllipse(QPointF(8, 11.6), 1.2, 1.2);
  p.drawRect(QRectF(7.5, 11.6, 1, 2.6));
}

void SourceMark(QPainter& p) {
  p.setPen(Pen(kRed, 1.5));
  p.setBrush(QColor::fromRgba(kPaper));
  p.drawEllipse(QPointF(8, 10), 5.4, 5.4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kRed));
  p.drawEllipse(QPointF(8, 10), 2.4, 2.4);
}

// A colour layer: a framed chip of four colours, pixel-aligned where the mask layers show
// their colour dot (8 x 8 from (2, 5)).
void ColourChip(QPainter& p) {
  p.fillRect(QRect(2, 5, 8, 8), QColor::fromRgba(kInk));
  p.fillRect(QRect(3, 6, 3, 3), QColor::fromRgba(kRed));
  p.fillRect(QRect(6, 6, 3, 3), QColor::fromRgba(kGreen));
  p.fillRect(QRect(3, 9, 3, 3), QColor::fromRgba(kBlue));
  p.fillRect(QRect(6, 9, 3, 3), QColor(0xf4, 0xc8, 0x20));
}

// Brush list, cells of 16 x 18 in 12-pixel columns. Column 0: the match mark of a preset
// (row 1; row 2 a hollow one); column 2: the preselection mark, solid (fixed, row 1) or
// hollow (floating, row 2). Columns 1 and 3 are spare.
void PresetMark(QPainter& p, bool solid) {
  p.setPen(Pen(solid ? kBlue : kGrey, 1.2));
  p.setBrush(solid ? QColor::fromRgba(kBlue) : QColor::fromRgba(kFace));
  p.drawRoundedRect(QRectF(2.5, 6.5, 6, 6), 1.5, 1.5);
}

void PreselectMark(QPainter& p, bool solid) {
  p.setPen(Pen(kOrange, 1.4));
  p.setBrush(solid ? QColor::fromRgba(kOrange) : QColor::fromRgba(kFace));
  p.drawEllipse(QPointF(5.5, 9.5), 3.4, 3.4);
}

// Property list, cells of 17 x 17. Column 0 an empty check box, 1 a checked one, 2 the
// drop-down arrow; row 2 is row 1 greyed; columns 3-9 are spare.
void CheckBox(QPainter& p, bool checked) {
  p.setPen(Pen(0xff8a949c, 1));
  p.setBrush(QColor::fromRgba(kPaper));
  p.drawRoundedRect(QRectF(2.5, 2.5, 12, 12), 2, 2);
  if (!checked) return;
  QPainterPath tick;
  tick.moveTo(5, 8.8);
  tick.lineTo(7.6, 11.4);
  tick.lineTo(12.2, 5.6);
  p.setPen(Pen(kBlue, 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(tick);
}

void DropArrow(QPainter& p) {
  p.setPen(Pen(0xff8a949c, 1));
  p.setBrush(QColor::fromRgba(kPale));
  p.drawRoundedRect(QRectF(1.5, 2.5, 14, 12), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kInk));
  p.drawPolygon(QPolygonF({QPointF(4.5, 6.5), QPointF(12.5, 6.5), QPointF(8.5, 11)}));
}

}  // namespace

std::unique_ptr<gui::ScreenImage> MakeLayerListStrip() {
  return PanelStrip(16, 20, {
                                {{NestMark, nullptr}},
                                {{ShutEye, OpenEye}},
                                {{Padlock, nullptr}},
                                {{SourceMark, nullptr}},
                                {{ColourChip, ColourChip}, true},
                            });
}

std::unique_ptr<gui::ScreenImage> MakeBrushListStrip() {
  return PanelStrip(16, 18, {
                                {{[](QPainter& p) { PresetMark(p, true); }, [](QPainter& p) { PresetMark(p, false); }}},
                                {},
                                {{[](QPainter& p) { PreselectMark(p, true); },
                                  [](QPainter& p) { PreselectMark(p, false); }}},
                                {},
                            });
}

std::unique_ptr<gui::ScreenImage> MakePropertyListStrip() {
  const Paint unchecked = [](QPainter& p) { CheckBox(p, false); };
  const Paint checked = [](QPainter& p) { CheckBox(p, true); };
  std::vector<PanelColumn> columns(10);
  columns[0] = {{unchecked, GreyedOf(unchecked, 17, 17)}};
  columns[1] = {{checked, GreyedOf(checked, 17, 17)}};
  columns[2] = {{DropArrow, GreyedOf(DropArrow, 17, 17)}};
  return PanelStrip(17, 17, columns);
}

}  // namespace art
