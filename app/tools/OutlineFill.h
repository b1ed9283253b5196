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

// Undo (PAT_Undo) or redo (PAT_Redo) of such a step.
class CToolUndoReplay;
void ReplayOutlineFill(CToolUndoReplay& step);

// The polygon filler of a tool, created by name on first use; throws "!m_cpShape.IsValid()"
// when there is none.
OShape* NewShapeFiller(CPaintSpace* space);
