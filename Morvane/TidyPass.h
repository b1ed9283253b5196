// The tidy pass of a drawing pass: before the entries are composed it settles which are
// nested in which colour layer, which colour layers are masked by the mask above them and
// which entries are drawn at all. A pure function over the entry table, so it can be
// checked as one table.
#pragma once
#include <cstdint>

#include "odata/OShowDevice.h"

// What the pass reads of one entry. Entry 0 is the topmost layer; the last entry the lowest.
struct TidyEntry {
  int format = 0;           // OLayer::myFORMAT_A16 or myFORMAT_C32
  uint32_t layerFlags = 0;  // the layer's own flags (LYR_FLAG_NEST is read here)
  bool isMask = false;      // the layer is a mask layer
  RECT rc{};                // the layer's rectangle in the space
  bool glass = false;       // this entry is the glass drawn over the entry below it
};

// What the pass adds beside the tidy words.
struct TidyLink {
  int mask = -1;  // a masked colour entry: the index of its mask entry
  // An entry inside a nest group (a nested entry, its glass, its mask): the index of the
  // group's base. The base's own glass and mask keep -1.
  int base = -1;
};

// Rewrites the tidy words of count entries in place: LYR_TIDY_NESTBASE, LYR_TIDY_NESTED and
// LYR_TIDY_MASKED are derived here (whatever the caller passed), LYR_TIDY_VISIBLE is settled,
// every other bit passes through.
//
// Nesting: going up from the lowest entry, layers flagged LYR_FLAG_NEST nest into the colour
// layer directly below their run. A run with no colour layer under it (an A16 layer, or the
// bottom of the list) is drawn as not nested. A glass entry belongs to its layer: it is nested
// when its layer is, and never breaks or starts a run.
// Masks: a colour entry whose next layer above (past its own glass) is a mask layer that is
// not flagged to nest and has exactly the same rectangle is masked by it; that mask entry is
// consumed (it does not break a run either: the base of a nest run may be masked).
// Visibility: a consumed mask is not drawn; an entry with LYR_TIDY_CURRENT is drawn; the
// nested entries of a base that is not drawn are not drawn either and lose their nesting. A
// colour entry becomes a nest base only when at least one of its nested entries is drawn; the
// glass of a base's mask is then nested with it.
void TidyPass(const TidyEntry* entries, uint32_t* tidy, TidyLink* links, int count);
