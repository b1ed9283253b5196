// Checks of a layer's map of non-empty blocks, for the layer's own tests and the tools'.
#pragma once
#include <gtest/gtest.h>

#include "odata/OLayer.h"

// At every level whose map is known, every level pixel that is not zero lies in a marked cell.
inline void ExpectCovered(OLayer* l, const char* path) {
  for (int level = 0; level < LYR_MIP_DEPTH; ++level) {
    ShowParam sp;
    l->GetShowParam(&sp, level);
    if (!sp.pBlocks) continue;
    const int ps = l->GetPixelSize();
    for (int r = 0; r < sp.rc.bottom - sp.rc.top; ++r)
      for (int c = 0; c < sp.rc.right - sp.rc.left; ++c) {
        const BYTE* p = sp.pPixels + (size_t(r) * sp.nPitch + size_t(c)) * size_t(ps);
        bool zero = true;
        for (int b = 0; b < ps; ++b) zero = zero && p[b] == 0;
        if (!zero && !sp.pBlocks[size_t(r / int(sp.nBlockSide)) * sp.nBlockPitch + size_t(c / int(sp.nBlockSide))]) {
          ADD_FAILURE() << path << ": level " << level << " pixel " << c << "," << r << " not in a marked cell";
          return;
        }
      }
  }
}

// The map is known: the view leaves out the blocks it does not mark.
inline bool Known(OLayer* l) {
  ShowParam sp;
  l->GetShowParam(&sp, 0);
  return sp.pBlocks != nullptr;
}
