// Mouse cursors: the standard shapes and the program's own from 32 x 32 masks or images.
// Cursor handles live until the program ends. UI thread only.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

using HCURSOR = struct HCURSOR__*;

namespace gui {

// Standard cursors, numbered as the system numbers them.
constexpr int IDC_ARROW = 32512;
constexpr int IDC_IBEAM = 32513;
constexpr int IDC_WAIT = 32514;
constexpr int IDC_CROSS = 32515;
constexpr int IDC_SIZENWSE = 32642;
constexpr int IDC_SIZENESW = 32643;
constexpr int IDC_SIZEWE = 32644;
constexpr int IDC_SIZENS = 32645;
constexpr int IDC_SIZEALL = 32646;
constexpr int IDC_NO = 32648;
constexpr int IDC_HAND = 32649;

// A standard cursor; null for an unknown id.
HCURSOR LoadCursor(int id);
// A monochrome 32 x 32 cursor from two masks of 32 rows of 4 bytes, most significant bit
// leftmost, combined as the system does: AND 0 XOR 0 black, AND 0 XOR 1 white, AND 1 XOR 0
// transparent, AND 1 XOR 1 inverted screen.
HCURSOR CreateCursor(int hotX, int hotY, const uint8_t* andMask, const uint8_t* xorMask);
// A colour cursor from 0xAARRGGBB pixels (top-down rows of width pixels).
HCURSOR CreateColorCursor(int hotX, int hotY, const uint32_t* pixels, int width, int height);
// Sets the cursor of the window under the mouse (or holding the capture); returns the one
// set before. Null hides the cursor.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// The mouse position in screen coordinates (device pixels).
BOOL GetCursorPos(POINT* pt);
// Moves the mouse pointer to a screen point (device pixels); an endless slider drag keeps the
// pointer away from the screen's edges this way.
BOOL SetCursorPos(int x, int y);

}  // namespace gui
