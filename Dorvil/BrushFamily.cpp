#include "BrushFamily.h"

#include "OBrush.h"

namespace dorvil {

// Built-in values follow the presets' own settings, so that a machine without the package
// paints much alike. Order: radius, opacity, raster, operate mode, hardness, spacing,
// pressure to size, pressure to opacity, smoothing, jitter.
const BrushFamily kBrushFamilies[FAMILY_COUNT] = {
    {u"DorvilPen", u"钢笔", u"硬边圆头笔，线条均匀", "classic/pen.myb", BRUSH_CURSOR_PEN, true, false,
     {47, 100, 0, 0, 90, 45, 50, 0, 7, 0}},
    {u"DorvilPencil", u"铅笔", u"细而淡的铅笔线", "classic/pencil.myb", BRUSH_CURSOR_PEN, true, false,
     {28, 70, 0, 0, 10, 25, 20, 60, 10, 25}},
    {u"DorvilInk", u"墨水笔", u"带平滑的墨水笔，笔迹随压力变化", "classic/slow_ink.myb", BRUSH_CURSOR_PEN, true, false,
     {60, 100, 0, 0, 80, 50, 70, 0, 86, 0}},
    {u"DorvilAirbrush", u"喷枪", u"柔和的大喷枪，轻压时更淡", "deevad/airbrush.myb", BRUSH_CURSOR_AIRBRUSH, true, false,
     {332, 52, 0, 0, 48, 17, 0, 80, 0, 0}},
    {u"DorvilCharcoal", u"炭笔", u"颗粒粗糙的炭笔", "classic/charcoal.myb", BRUSH_CURSOR_BRUSH, true, false,
     {40, 40, 0, 0, 20, 20, 30, 50, 20, 80}},
    {u"DorvilEraser", u"橡皮擦", u"直接降低图层的不透明度", "deevad/large_hard_eraser.myb", BRUSH_CURSOR_ERASER, false, true,
     {165, 100, 0, 0, 80, 50, 0, 0, 7, 0}},
};

}  // namespace dorvil
