// The toolbar layouts with their button images, the main toolbar's three image lists and the
// splash picture. A toolbar's bitmap has one 20 x 18 cell per button and keeps alpha
// (transparent around the icon). The shell's commands take their icons from the shell's
// icon set (Icons.cpp); the panels' and tools' own commands are drawn here in its style.
#include <QIcon>
#include <QLinearGradient>
#include <cmath>
#include <map>
#include <vector>

#include "frame/ArtKit.h"
#include "frame/Icons.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "frame/ResourceParts.h"

namespace art {

namespace {

constexpr int kW = TOOLBAR_BUTTON_WIDTH, kH = TOOLBAR_BUTTON_HEIGHT;

void Picture(QPainter& p) {
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(QColor::fromRgba(kPale));
  p.drawRoundedRect(QRectF(2.5, 4.5, 16, 13), 1.5, 1.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(kOrange));
  p.drawEllipse(QPointF(14, 8.5), 2, 2);
  p.setBrush(QColor::fromRgba(kGreen));
  p.drawPolygon(QPolygonF({QPointF(3.2, 16.8), QPointF(8.5, 9.5), QPointF(12.5, 14.5), QPointF(14.5, 12.5),
                           QPointF(17.8, 16.8)}));
}

void Stack(QPainter& p) {
  Sheet(p, 10.5, 15, 8.5, kPale);
  Sheet(p, 10.5, 10, 8.5, kPaper);
}

void Magnet(QPainter& p) {
  // A horseshoe magnet, poles up, struck through: snapping is off.
  QPainterPath u;
  u.moveTo(4.5, 3);
  u.lineTo(4.5, 12);
  u.arcTo(QRectF(4.5, 4.5, 15, 15), 180, 180);
  u.lineTo(19.5, 3);
  p.setPen(QPen(QColor::fromRgba(kInk), 7, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(u);
  p.setPen(QPen(QColor::fromRgba(kRed), 4.6, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.drawPath(u);
  p.setPen(QPen(QColor(0xd8, 0xe0, 0xe6), 4.6, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(4.5, 4.2), QPointF(4.5, 8));
  p.drawLine(QPointF(19.5, 4.2), QPointF(19.5, 8));
  p.setPen(QPen(QColor::fromRgba(kPaper), 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(2.5, 2.5), QPointF(21.5, 21.5));
  p.setPen(Pen(kInk, 2.2));
  p.drawLine(QPointF(2.5, 2.5), QPointF(21.5, 21.5));
}

void Cross(QPainter& p, QPointF c, double r, QRgb fill) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(fill));
  p.drawEllipse(c, r, r);
  p.setPen(QPen(Qt::white, r * 0.4, Qt::SolidLine, Qt::RoundCap));
  const double a = r * 0.4;
  p.drawLine(c + QPointF(-a, -a), c + QPointF(a, a));
  p.drawLine(c + QPointF(-a, a), c + QPointF(a, -a));
}

void DownArrow(QPainter& p, double x, double top, double tip, QRgb colour) {
  p.setPen(Pen(colour, 2.4));
  p.drawLine(QPointF(x, top), QPointF(x, tip - 3));
  Arrowhead(p, QPointF(x, tip), QPointF(x, top), 5.5, colour);
}

// Icons of the panels' and tools' own commands, on the shell icons' 24-unit grid.
const std::map<UINT, Paint>& OwnIcons() {
  static const Paint noMagnet = Magnet;
  static const std::map<UINT, Paint> icons = {
      {ID_LAYER_ADD, [](QPainter& p) { Stack(p); Badge(p, QPointF(18, 18), 5, kGreen, true); }},
      {ID_LAYER_DELETE, [](QPainter& p) { Stack(p); Badge(p, QPointF(18, 18), 5, kRed, false); }},
      {ID_LAYER_MERGE,
       [](QPainter& p) {
         Sheet(p, 12, 17, 9, kPale);
         Sheet(p, 12, 6, 7, kPaper);
         DownArrow(p, 12, 8.5, 16, kBlue);
       }},
      {ID_LAYER_OPEN_IMAGE, [](QPainter& p) { Picture(p); DownArrow(p, 19, 0.5, 9, kBlue); }},
      {ID_LAYER_SAVE_IMAGE,
       [](QPainter& p) {
         Picture(p);
         p.setPen(Pen(kBlue, 2.4));
         p.drawLine(QPointF(19, 10), QPointF(19, 4));
         Arrowhead(p, QPointF(19, 0.5), QPointF(19, 8), 5.5, kBlue);
       }},
      {ID_BRUSH_ADD, [](QPainter& p) { ShellIcon(p, ID_OPER_PAINT); Badge(p, QPointF(18, 18), 5, kGreen, true); }},
      {ID_BRUSH_DELETE, [](QPainter& p) { ShellIcon(p, ID_OPER_PAINT); Badge(p, QPointF(18, 18), 5, kRed, false); }},
      {ID_BRUSH_FIND,
       [](QPainter& p) {
         ShellIcon(p, ID_OPER_PAINT);
         p.setPen(QPen(QColor::fromRgba(kInk), 2.6, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(19.5, 19.5), QPointF(22.5, 22.5));
         p.setPen(Pen(kInk, 1.5));
         p.setBrush(QColor(0xff, 0xff, 0xff, 200));
         p.drawEllipse(QPointF(16, 16), 4.5, 4.5);
       }},
      {ID_DISTORT_DOWN,
       [](QPainter& p) {
         Sheet(p, 12, 18, 10, kPale);
         p.setPen(Pen(kOrange, 1.2));
         p.setBrush(Qt::NoBrush);
         p.drawRect(QRectF(6, 2, 12, 7));
         p.drawLine(QPointF(12, 2), QPointF(12, 9));
         DownArrow(p, 12, 6, 17, kGreen);
       }},
      {ID_DISTORT_INVERT,
       [](QPainter& p) {
         QPainterPath page;
         page.moveTo(3.5, 3.5);
         page.lineTo(20.5, 3.5);
         page.lineTo(20.5, 12);
         page.lineTo(12, 20.5);
         page.lineTo(3.5, 20.5);
         page.closeSubpath();
         p.setPen(Pen(kInk, 1.2));
         p.setBrush(QColor::fromRgba(kPaper));
         p.drawPath(page);
         p.setBrush(QColor::fromRgba(kBlue));
         p.drawPolygon(QPolygonF({QPointF(20.5, 12), QPointF(12, 12), QPointF(12, 20.5)}));
       }},
      {ID_DISTORT_RESET,
       [](QPainter& p) {
         p.setPen(Pen(kInk, 1.1));
         p.setBrush(Qt::NoBrush);
         p.drawRect(QRectF(4, 4, 16, 16));
         p.drawLine(QPointF(12, 4), QPointF(12, 20));
         p.drawLine(QPointF(4, 12), QPointF(20, 12));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor::fromRgba(kOrange));
         for (double y : {4.0, 12.0, 20.0})
           for (double x : {4.0, 12.0, 20.0}) p.drawEllipse(QPointF(x, y), 2.1, 2.1);
       }},
      {ID_LASSO_DOWN,
       [](QPainter& p) {
         ShellIcon(p, ID_OPER_LASSO);
         QPainterPath tick;
         tick.moveTo(10, 17);
         tick.lineTo(14, 21);
         tick.lineTo(22, 12);
         p.setPen(QPen(QColor::fromRgba(kPaper), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         p.setBrush(Qt::NoBrush);
         p.drawPath(tick);
         p.setPen(Pen(kGreen, 2.6));
         p.drawPath(tick);
       }},
      {ID_LASSO_CUTMODE, [](QPainter& p) { ShellIcon(p, ID_OPER_LASSO); Badge(p, QPointF(17.5, 17.5), 5.5, kRed, false); }},
      {ID_MOVE_NOMAGNET, noMagnet},
      {ID_NEW_NOMAGNET, noMagnet},
      {ID_CROP_NOMAGNET, noMagnet},
      {ID_MOVE_KEEPLAYER,
       [](QPainter& p) {
         Sheet(p, 10.5, 15, 8.5, kPale);
         Sheet(p, 10.5, 10, 8.5, kBlue);
         p.setPen(QPen(QColor::fromRgba(kRed), 2));
         p.setBrush(QColor::fromRgba(kPaper));
         p.drawEllipse(QPointF(18, 18), 4.6, 4.6);
         p.drawLine(QPointF(14.8, 21.2), QPointF(21.2, 14.8));
       }},
      {ID_PAINT_CLEAR,
       [](QPainter& p) {
         p.setPen(QPen(QColor::fromRgba(kInk), 1.2, Qt::DashLine));
         p.setBrush(QColor::fromRgba(kPaper));
         p.drawRect(QRectF(3.5, 3.5, 15, 15));
         Cross(p, QPointF(17.5, 17.5), 5.5, kRed);
       }},
      {ID_PAINT_FADE,
       [](QPainter& p) {
         QLinearGradient g(3.5, 0, 20.5, 0);
         g.setColorAt(0, QColor::fromRgba(kBlue));
         g.setColorAt(1, QColor(30, 124, 216, 0));
         p.setPen(Pen(kInk, 1.2));
         p.setBrush(QColor::fromRgba(kPaper));
         p.drawRect(QRectF(3.5, 3.5, 17, 17));
         p.setPen(Qt::NoPen);
         p.setBrush(g);
         p.drawRect(QRectF(4.2, 4.2, 15.6, 15.6));
       }},
      {ID_SHAPE_FILL,
       [](QPainter& p) {
         QPolygonF star;
         for (int i = 0; i < 10; ++i) {
           const double a = (i * 36 - 90) * M_PI / 180, r = i % 2 ? 4 : 9;
           star << QPointF(11 + r * std::cos(a), 11 + r * std::sin(a));
         }
         p.setPen(Pen(kInk, 1.2));
         p.setBrush(QColor::fromRgba(kOrange));
         p.drawPolygon(star);
         DownArrow(p, 19.5, 13, 23, kGreen);
       }},
      {ID_FLOOD_AUTOLAYER,
       [](QPainter& p) {
         Stack(p);
         QPolygonF spark;
         for (int i = 0; i < 8; ++i) {
           const double a = i * M_PI / 4, r = i % 2 ? 1.8 : 5.5;
           spark << QPointF(18 + r * std::cos(a), 17.5 + r * std::sin(a));
         }
         p.setPen(Pen(kInk, 0.9));
         p.setBrush(QColor(0xf4, 0xc8, 0x20));
         p.drawPolygon(spark);
       }},
  };
  return icons;
}

// The button picture of a command, premultiplied, kW x kH.
QImage ButtonImage(UINT id) {
  auto own = OwnIcons().find(id);
  if (own != OwnIcons().end()) return Render(kW, kH, own->second);
  const QIcon icon = CommandIcon(id);
  return Render(kW, kH, [&](QPainter& p) { p.drawPixmap(QRect((kW - kH) / 2, 0, kH, kH), icon.pixmap(kH, kH)); }, 0);
}

std::vector<UINT> Buttons(const std::vector<UINT>& commands) {
  std::vector<UINT> buttons;
  for (UINT id : commands)
    if (id) buttons.push_back(id);
  return buttons;
}

// One strip of the buttons' pictures, each pixel through `pixel` (premultiplied in, out as
// the strip stores it).
QImage Strip(const std::vector<UINT>& buttons, const std::function<QRgb(QRgb)>& pixel) {
  QImage strip(kW * int(buttons.size()), kH, QImage::Format_ARGB32);
  for (size_t i = 0; i < buttons.size(); ++i) {
    const QImage cell = ButtonImage(buttons[i]);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) strip.setPixel(int(i) * kW + x, y, pixel(cell.pixel(x, y)));
  }
  return strip;
}

QRgb Straight(QRgb c) { return QColor::fromRgba(qUnpremultiply(c)).rgba(); }

// The main toolbar's lists: opaque cells on the colour key, edges blended for a light button
// face; the hot images a little brighter, the disabled ones grey and pale.
constexpr uint32_t kButtonFace = 0xEFEFEF;
QRgb Keyed(QRgb c, int lighten, bool grey) {
  if (qAlpha(c) < 96) return 0xff000000 | MAINBAR_KEY;
  uint32_t rgb = Over(c, kButtonFace);
  int r = int(rgb >> 16) & 0xFF, g = int(rgb >> 8) & 0xFF, b = int(rgb) & 0xFF;
  if (grey) r = g = b = qGray(r, g, b);
  auto up = [&](int v) { return v + (255 - v) * lighten / 100; };
  return qRgb(up(r), up(g), up(b));
}

std::unique_ptr<gui::ScreenImage> Splash() {
  constexpr int w = 400, h = 250;
  QImage image = Render(w, h, [](QPainter& p) {
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(0x2f, 0x8f, 0xe8));
    g.setColorAt(1, QColor(0x7a, 0x4c, 0xd8));
    p.fillRect(QRect(0, 0, w, h), g);
    QPainterPath stroke;
    stroke.moveTo(40, 200);
    stroke.cubicTo(110, 40, 190, 250, 360, 60);
    p.setPen(QPen(QColor(0xff, 0xd0, 0x60), 16, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(stroke);
    p.drawPixmap(QRect(32, 32, 72, 72), ProgramIcon().pixmap(72, 72));
    QFont font = p.font();
    font.setPixelSize(44);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(120, 36, 260, 64), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavrik"));
  }, 0);
  return ToScreen(image);
}

struct Bar {
  UINT id;
  std::vector<UINT> commands;
};

const std::vector<Bar>& Bars() {
  static const std::vector<Bar> bars = {
      {IDR_MAINFRAME, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_UNDO, ID_EDIT_REDO}},
      {IDR_OPERATION,
       {ID_OPER_MOVE, ID_OPER_NEW, ID_OPER_CROP, ID_OPER_LASSO, ID_OPER_PAINT, ID_OPER_SUCKER, ID_OPER_POLYGON,
        ID_OPER_SHAPE, ID_OPER_FLOOD, ID_OPER_DISTORT}},
      {IDR_VIEW,
       {ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT, ID_VIEW_ZOOM_ONE, ID_VIEW_RESET, 0, ID_VIEW_ROTATE_LEFT,
        ID_VIEW_ANGLE_ZERO, ID_VIEW_ROTATE_RIGHT, ID_VIEW_FLIP}},
      {IDR_LAYERSTRIP, {ID_LAYER_ADD, ID_LAYER_DELETE, ID_LAYER_MERGE, 0, ID_LAYER_OPEN_IMAGE, ID_LAYER_SAVE_IMAGE}},
      {IDR_BRUSHSTRIP, {ID_BRUSH_ADD, ID_BRUSH_DELETE, 0, ID_BRUSH_FIND}},
      {IDR_OPT_DISTORT, {ID_DISTORT_DOWN, ID_DISTORT_INVERT, ID_DISTORT_RESET}},
      {IDR_OPT_LASSO, {ID_LASSO_DOWN, ID_LASSO_CUTMODE}},
      {IDR_OPT_MOVE, {ID_MOVE_NOMAGNET, ID_MOVE_KEEPLAYER}},
      {IDR_OPT_NEW, {ID_NEW_NOMAGNET}},
      {IDR_OPT_CROP, {ID_CROP_NOMAGNET}},
      {IDR_OPT_PAINT, {ID_PAINT_CLEAR, ID_PAINT_FADE}},
      {IDR_OPT_SHAPE, {ID_SHAPE_FILL}},
      {IDR_OPT_FLOOD, {ID_FLOOD_AUTOLAYER}},
  };
  return bars;
}

}  // namespace

void RegisterToolBars() {
  for (const Bar& bar : Bars()) {
    gui::RegisterToolBarResource(bar.id, gui::ToolBarResource{bar.id, kW, kH, bar.commands});
    const std::vector<UINT> buttons = Buttons(bar.commands);
    gui::RegisterBitmapResource(bar.id, [buttons] { return ToScreenWithAlpha(Strip(buttons, Straight)); });
  }
  const std::vector<UINT> main = Buttons(gui::FindToolBarResource(IDR_MAINFRAME)->commands);
  const struct {
    UINT id;
    int lighten;
    bool grey;
  } lists[] = {{IDB_MAINBAR, 0, false}, {IDB_MAINBAR_HOT, 18, false}, {IDB_MAINBAR_DISABLED, 45, true}};
  for (const auto& list : lists) {
    gui::RegisterBitmapResource(list.id, [main, list] {
      return ToScreen(Strip(main, [&](QRgb c) { return Keyed(c, list.lighten, list.grey); }));
    });
  }
  gui::RegisterBitmapResource(IDB_SPLASH, Splash);
}

}  // namespace art
