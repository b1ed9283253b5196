// Numbers of the program's resources (bitmaps, cursors, toolbars, strings) and of the commands
// the panels and tools offer besides the shell's. Panels and tools load the resources by these
// numbers through platform/gui/Resources.h; the shell registers them at start-up
// (RegisterProgramStrings, RegisterProgramResources). No Qt in here.
#pragma once
#include "platform/base/Types.h"

// ---- Commands of the panels and tools -------------------------------------------------------
// Layer bar and Edit menu.
constexpr UINT ID_LAYER_MERGE = 32792;  // merge down
constexpr UINT ID_LAYER_ADD = 32795;
constexpr UINT ID_LAYER_DELETE = 32796;
constexpr UINT ID_LAYER_OPEN_IMAGE = 32797;
constexpr UINT ID_LAYER_SAVE_IMAGE = 32798;
constexpr UINT ID_EDIT_COPY = 57634;
constexpr UINT ID_EDIT_CUT = 57635;
constexpr UINT ID_EDIT_PASTE = 57637;
// Layer menu.
constexpr UINT ID_LAYER_CONVERT = 32847;
constexpr UINT ID_LAYER_FLIP_H = 32848;
constexpr UINT ID_LAYER_FLIP_V = 32849;
constexpr UINT ID_LAYER_ROTATE = 32850;
constexpr UINT ID_LAYER_SCALE = 32851;
constexpr UINT ID_LAYER_CLEAR_FADE = 32852;
// Brush bar.
constexpr UINT ID_BRUSH_ADD = 32799;
constexpr UINT ID_BRUSH_DELETE = 32800;
constexpr UINT ID_BRUSH_FIND = 32812;
// Option toolbars of the tools.
constexpr UINT ID_DISTORT_DOWN = 32813;    // free mapping: put the image down
constexpr UINT ID_DISTORT_INVERT = 32814;  // free mapping: show the reverse side
constexpr UINT ID_DISTORT_RESET = 32815;   // free mapping: reset the lattice
constexpr UINT ID_LASSO_DOWN = 32819;      // surgery: put the piece down
constexpr UINT ID_LASSO_CUTMODE = 32855;   // surgery: cut-out mode
constexpr UINT ID_MOVE_NOMAGNET = 32823;
constexpr UINT ID_MOVE_KEEPLAYER = 32824;
constexpr UINT ID_NEW_NOMAGNET = 32825;
constexpr UINT ID_CROP_NOMAGNET = 32826;
constexpr UINT ID_PAINT_CLEAR = 32827;   // clear the current layer
constexpr UINT ID_PAINT_FADE = 32853;    // fade it to half
constexpr UINT ID_PAINT_FADE75 = 32854;  // fade it by three quarters
constexpr UINT ID_SHAPE_FILL = 32840;
constexpr UINT ID_FLOOD_AUTOLAYER = 32844;

// ---- Bitmaps ----------------------------------------------------------------------------------
// Panel icon strips. Cells are drawn by OR-ing one cell and then AND-ing another; their soft
// edges are blended for the panels' row colour LIST_ROW_FACE.
constexpr UINT IDB_PROPERTYLIST = 144;  // 10 x 3 cells of 17 x 17
constexpr UINT IDB_LAYERLIST = 145;     // 5 x 3 cells of 16 x 20
constexpr UINT IDB_BRUSHLIST = 149;     // 4 x 3 cells of 16 x 18
constexpr UINT IDB_SPLASH = 164;
// The main toolbar's image lists (cells of 20 x 18 on the colour key MAINBAR_KEY).
constexpr UINT IDB_MAINBAR_HOT = 219;
constexpr UINT IDB_MAINBAR_DISABLED = 220;
constexpr UINT IDB_MAINBAR = 221;
// Ring-menu strips of the tools: 12 cells of RING_CELL x RING_CELL in three rows (colour image,
// mask of a highlighted cell, mask of a normal cell), drawn by OR-ing the image and AND-ing a
// mask; soft edges are blended for RING_FACE.
constexpr UINT IDB_RING_PAINT = 179;
constexpr UINT IDB_RING_POLYGON = 189;
constexpr UINT IDB_RING_FLOOD = 216;
constexpr UINT IDB_RING_SHAPE = 226;
constexpr UINT IDB_RING_CROP = 227;
constexpr UINT IDB_RING_DISTORT = 228;
constexpr UINT IDB_RING_LASSO = 229;
constexpr UINT IDB_RING_MOVE = 230;
constexpr UINT IDB_RING_NEW = 231;
constexpr int RING_CELLS = 12;
constexpr int RING_CELL = 26;

// Colours the artwork is blended for (0xRRGGBB).
constexpr uint32_t LIST_ROW_FACE = 0xECECE8;  // the lists' row background (COLORREF 0xE8ECEC)
constexpr uint32_t RING_FACE = 0xF8F8F4;      // the ring menu's cell face (COLORREF 0xF4F8F8)
constexpr uint32_t MAINBAR_KEY = 0xFF00FF;    // transparent colour of the main toolbar's lists

// ---- Toolbars (each one's button images are the bitmap of the same number) --------------------
// Toolbar bitmaps keep alpha: transparent around the icons, soft edges.
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDR_OPERATION = 134;
constexpr UINT IDR_VIEW = 136;
constexpr UINT IDR_LAYERSTRIP = 140;
constexpr UINT IDR_BRUSHSTRIP = 142;
constexpr UINT IDR_OPT_DISTORT = 150;
constexpr UINT IDR_OPT_LASSO = 167;
constexpr UINT IDR_OPT_MOVE = 197;
constexpr UINT IDR_OPT_NEW = 199;
constexpr UINT IDR_OPT_CROP = 201;
constexpr UINT IDR_OPT_PAINT = 203;
constexpr UINT IDR_OPT_SHAPE = 213;
constexpr UINT IDR_OPT_FLOOD = 217;
constexpr int TOOLBAR_BUTTON_WIDTH = 20;
constexpr int TOOLBAR_BUTTON_HEIGHT = 18;

// ---- Cursors (32 x 32) ------------------------------------------------------------------------
constexpr UINT IDC_SPLITBAR = 139;   // the side bars' splitter edge: drag up or down
constexpr UINT IDC_SUCKER = 152;     // eyedropper, hot spot at the tip
constexpr UINT IDC_MOVEITEM = 153;   // a list row being dragged to a new place
constexpr UINT IDC_LASSO_CUT = 158;  // surgery in cut-out mode
constexpr UINT IDC_LASSO = 169;      // surgery: draw the outline
constexpr UINT IDC_MOVE = 182;       // move a layer, a piece, a lattice or a handle
constexpr UINT IDC_FRAME = 185;      // drag a rectangle (trim, create layer)
constexpr UINT IDC_POLY_CLOSE = 187;        // outline: the point closes the outline
constexpr UINT IDC_POLY_OPEN_ERASE = 222;   // outline open, erase mode
constexpr UINT IDC_POLY_START_FILL = 223;   // no outline yet, fill mode
constexpr UINT IDC_POLY_OPEN_FILL = 224;    // outline open, fill mode
constexpr UINT IDC_POLY_START_ERASE = 225;  // no outline yet, erase mode
constexpr UINT IDC_FLOOD = 215;             // paint bucket
// The paint tool: [state][cursor kind of the brush]; state 0 normal strokes, 1 arc mode
// before the start point, 2 arc mode after it. Kinds: 0 brush, 1 pen, 2 airbrush, 3 eraser.
constexpr UINT IDC_PAINT[3][4] = {{154, 178, 156, 177}, {175, 173, 174, 176}, {193, 191, 192, 194}};

// ---- Strings ----------------------------------------------------------------------------------
constexpr UINT IDS_IMAGE_FILTER = 131;  // filter list of the save-image dialog
constexpr UINT IDS_BRUSH_PRESELECT = 137;
constexpr UINT IDS_BRUSH_PRESET = 138;
// Tooltips of the layer list's columns, nest to source.
constexpr UINT IDS_LAYER_NEST = 139;
constexpr UINT IDS_LAYER_COLOR = 140;
constexpr UINT IDS_LAYER_NAME = 141;
constexpr UINT IDS_LAYER_HIDDEN = 142;
constexpr UINT IDS_LAYER_PROTECT = 143;
constexpr UINT IDS_LAYER_SOURCE = 144;
constexpr UINT IDS_IDLEMESSAGE = 0xE001;  // the status bar's text while nothing is pointed at
