// The program's own cursors as pictures: 32 x 32 straight 0xAARRGGBB pixels, top-down, with
// their hot spots. RegisterProgramResources makes a colour cursor of each. No Qt in here.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/base/Types.h"

namespace art {

struct CursorArt {
  int hotX = 0;
  int hotY = 0;
  std::vector<uint32_t> pixels;  // 32 x 32; empty when the number is no cursor of ours
};

constexpr int CURSOR_SIZE = 32;

CursorArt MakeCursorArt(UINT id);
// Every cursor number of the program.
const std::vector<UINT>& CursorIds();

}  // namespace art
