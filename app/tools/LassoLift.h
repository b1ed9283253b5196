// The surgery tool's pixel work that needs no tool state: cutting the lifted piece out by the
// lasso's coverage, the hole the lift mask makes in a layer, the pixel box of a frame, whether
// a frame can be mapped at all, and the pixels of a clipboard piece.
#pragma once
#include "core/LayerClipboard.h"
#include "odata/OLayer.h"
#include "odata/OShape.h"
#include "tools/Geometry.h"

// The pixels four corners touch: left and top the smallest floors, right and bottom one past
// the largest floors.
RECT CornerBox(const POINTF corners[4]);

// The lasso's coverage (0..64, the filler's rows over rc) cuts the piece out: the mask takes
// the coverage, the piece's alpha (a mask piece's value) is scaled by it, and what the outline
// misses becomes transparent. The filler holds the collected outline; piece and mask are
// locked, both of rc's size at rc's position.
void CutPieceByCoverage(OShape* filler, const RECT& rc, const LayerLock& piece, const LayerLock& mask);

// Lowers the destination's coverage under the mask (at its own position) inside clip:
// alpha (or a mask value's high byte) times (256 - m) / 256 for the mask's high byte m.
// Throws when the mask is not a mask image.
void EraseUnderMask(const LayerLock& dest, const LayerLock& mask, const RECT& clip);

// A frame whose sides are both at least a pixel long (and finite): anything less is refused
// before a mapping or a drag divides by it.
bool IsSoundFrame(const RotatedRect& rr);

// The pixels of the piece the clipboard holds, in its contiguous block; null for an empty
// clipboard, a layer kept in fragments or a block too short for its description.
BYTE* ClipboardPixels(const LayerClipboard* clip);
