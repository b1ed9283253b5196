// What the program loads by number, and who loads it.
//
// Bitmaps
//   number  size        content                                              used by
//   144     170 x 51    property list: 10 x 3 cells of 17 x 17; column 0     property list
//                       empty check box, 1 checked box, 2 drop-down arrow;
//                       row 0 OR shape, row 1 AND picture, row 2 greyed
//   145     80 x 60     layer list: 5 x 3 cells of 16 x 20; columns nest,    layer list
//                       hidden, protect, source, colour layer; row 0 OR
//                       shape, row 1 AND flag-set picture, row 2 AND clear
//   149     64 x 54     brush list: 4 x 3 cells of 16 x 18; column 0 preset  brush list
//                       match, 2 preselection (row 1 fixed, row 2 floating)
//   164     400 x 250   splash picture                                       splash window
//   179 189 216 226     ring-menu strips, 312 x 78: 12 cells of 26 x 26,     the tools' ring
//   227 228 229 230     rows colour image (OR), highlighted mask (AND),      menus: paint,
//   231                 normal mask (AND)                                    outline, bucket,
//                                                                            shape, trim, free
//                                                                            mapping, surgery,
//                                                                            move, create layer
//   219 220 221         main toolbar image lists, 20 x 18 cells on the       main toolbar
//                       colour key 0xFF00FF: hot, disabled, normal
//   128 134 136 140     toolbar bitmaps (one 20 x 18 cell per button, with   the toolbar of
//   142 150 167 197     alpha): main, tools, view, layer bar, brush bar,     the same number
//   199 201 203 213     option bars of free mapping, surgery, move, create
//   217                 layer, trim, paint, shape fill, paint bucket
//
// Toolbars (commands; 0 a separator)
//   128  main: new, open, save | undo, redo
//   134  tools: move, create layer, trim, surgery, paint, eyedropper, outline, shape fill,
//        paint bucket, free mapping
//   136  view: zoom in, zoom out, 1:1, reset | rotate left, angle 0, rotate right, flip
//   140  layer bar: add, delete, merge down | open image, save image
//   142  brush bar: add, delete | find
//   150  free mapping: put down, reverse side, reset lattice      167  surgery: put down, cut-out
//   197  move: no magnet, keep layer      199  create layer: no magnet      201  trim: no magnet
//   203  paint: clear, fade      213  shape fill: fill      217  paint bucket: auto layers
//
// Cursors (32 x 32)
//   139  splitter edge of the side bars          152  eyedropper (hot spot at the tip)
//   153  list row being dragged                  158  surgery, cut-out mode
//   169  surgery, drawing the outline            182  move (layer, piece, lattice, handle)
//   185  trim and create layer: drag a frame     187  outline: the point closes it
//   222 224  outline open, erase / fill mode     223 225  no outline yet, fill / erase mode
//   215  paint bucket
//   154 178 156 177  paint: brush, pen, airbrush, eraser (the brush's cursor kind 0-3)
//   175 173 174 176  the same in arc mode before the start point
//   193 191 192 194  the same in arc mode after the start point
//
// Strings: app/core/StringTable.cpp.
#include "frame/ResourceArt.h"

#include "frame/ResourceIds.h"
#include "frame/ResourceParts.h"

void RegisterProgramResources() {
  gui::RegisterBitmapResource(IDB_LAYERLIST, art::MakeLayerListStrip);
  gui::RegisterBitmapResource(IDB_BRUSHLIST, art::MakeBrushListStrip);
  gui::RegisterBitmapResource(IDB_PROPERTYLIST, art::MakePropertyListStrip);
  for (UINT id : art::RingStripIds()) gui::RegisterBitmapResource(id, [id] { return art::MakeRingStrip(id); });
  art::RegisterToolBars();
  art::RegisterCursors();
}
