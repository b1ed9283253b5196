// Filling a closed outline in space coordinates into a layer, as the outline and shape tools
// do: the outline is clipped to the layer, rasterised with 8 x 8 sub-samples by the polygon
// filler and blended row by row in one of the fill modes, after one undo step holding the
// touched blocks as they were.
#pragma once
#include <cstdint>
#include <deque>

#include "odata/OLayer.h"
#include "odata/OShape.h"
#include "odata/OUndo.h"
#include "tools/Geometry.h"

class CPaintSpace;

struct OutlineFillArgs {
  uint32_t colour;  // 0xAARRGGBB, the opacity in the top byte
  int mode;         // fill::FillMode, for colour layers
  int maskOp;       // fill::MaskOp, for mask layers
  const char16_t* label;
  OUndoHandler* owner;           // the tool's undo part
  const char16_t* notCurrent;    // thrown when the layer is not the list's current row
};

// The undo step's tag.
constexpr uint32_t OUTLINE_FILL_TAG = 1;

// FALSE, with no step and no change, when the outline has fewer than 3 points or nothing of
// it lies on the layer. outline is clipped in place. filler is reset when done.
BOOL FillOutline(CPaintSpace* space, OLayer* layer, OShape* filler, std::deque<POINTF>* outline,
                 const OutlineFillArgs& args);

// Undo (PAT_Undo) or redo (PAT_Redo) of such a step; FALSE for a step of another tag.
class CToolUndoReplay;
BOOL ReplayOutlineFill(CToolUndoReplay& step);

// Hands every coverage row the filler gives within rc (space pixels, inside the layer locked
// in lock, whose rectangle is layerRc) to blend(first pixel, its coverage, pixel count).
template <class Blend>
void ScanIntoLayer(OShape* filler, const RECT& rc, const RECT& layerRc, const LayerLock& lock, Blend blend) {
  const WORD* cov = filler->ScanBegin(&rc);
  RECT row;
  // The filler skips rows without crossings: the row it reports is the one it holds.
  while (filler->Scan(&row)) {
    if (row.top < rc.top || row.top >= rc.bottom) continue;
    const LONG x0 = row.left > rc.left ? row.left : rc.left;
    const LONG x1 = row.right < rc.right ? row.right : rc.right;
    if (x0 >= x1) continue;
    BYTE* line = lock.Row(int(row.top - layerRc.top)) + size_t(x0 - layerRc.left) * size_t(lock.nPixelSize);
    blend(line, cov + (x0 - rc.left), int(x1 - x0));
  }
}

// A component of a tool, made by its implementation name, as the interface asked for; throws
// assertion when there is none.
void* NewToolComponent(CPaintSpace* space, const char16_t* name, const char16_t* iface, const char16_t* assertion);
// The polygon filler of a tool, created by name on first use; throws "!m_cpShape.IsValid()"
// when there is none.
OShape* NewShapeFiller(CPaintSpace* space);
