// The two merges that the merge command and its redo share: the layer a plain merge leaves,
// and the nested merge of a run of rows into the colour layer below them as a worker job.
#pragma once
#include <cstdint>

#include "odata/GCompRef.h"
#include "odata/OLayer.h"

class CMyListLayer;

// The undo data of a merge above this many bytes makes the user choose between merging
// without undo and not merging.
constexpr uint64_t LYR_MERGE_UNDO_LIMIT = 0x14000000;

// A new colour layer of the rectangle with the lower layer's ID, name and flags, the lower and
// then the upper layer painted into it. The caller refreshes its mip levels.
GCompRef<OLayer> NewMergedLayer(CMyListLayer* list, OLayer* upper, OLayer* lower, const RECT& rect);

// The rows [row, row + count) that nest into base: base's blocks under them are marked (the
// old marks cleared) and the bytes the nested layers take are returned.
uint64_t MarkNestBlocks(CMyListLayer* list, int row, int count, OLayer* base);

// Paints the nested rows into base within base's own coverage, on the space's worker behind
// the progress display. FALSE when the job was cancelled or failed: base may then be partly
// written and the caller puts its marked blocks back.
BOOL RunNestMerge(CMyListLayer* list, int row, int count, OLayer* base);
