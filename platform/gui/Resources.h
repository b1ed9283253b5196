// The program's resources by number: bitmaps (icon strips, toolbar images), cursors, toolbar
// layouts and the string table. The program registers its own artwork and texts at start-up
// (each bitmap and cursor is made on first use by a maker function); panels and tools load
// them by number as they would from a resource file. No Qt in here.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Cursor.h"
#include "Dc.h"
#include "platform/base/Types.h"

namespace gui {

// Makes the pixels of a bitmap resource: a new image of its own size (opaque, or keeping
// alpha where the artwork is transparent around its pictures, as toolbar images are).
using BitmapMaker = std::function<std::unique_ptr<ScreenImage>()>;
// Makes a cursor (CreateCursor / CreateColorCursor); called once, on the first load.
using CursorMaker = std::function<HCURSOR()>;

// A toolbar resource: its button images are cells of bitmap resource nBitmapId, each
// nButtonWidth x nButtonHeight, side by side in the order of the commands that are not 0;
// a command of 0 is a separator.
struct ToolBarResource {
  UINT nBitmapId = 0;
  int nButtonWidth = 16;
  int nButtonHeight = 15;
  std::vector<UINT> commands;
};

// Registration (UI thread, at start-up; registering an id again replaces it).
void RegisterBitmapResource(UINT id, BitmapMaker maker);
void RegisterCursorResource(UINT id, CursorMaker maker);
void RegisterToolBarResource(UINT id, ToolBarResource toolbar);
// Texts: a command's text is its status-bar prompt, then a line feed and its tooltip.
void RegisterStringResource(UINT id, std::u16string text);

// A new image of the bitmap resource; null when no bitmap has that number.
std::unique_ptr<ScreenImage> LoadBitmapResource(UINT id);
// The cursor of that number (made once and kept); null when none.
HCURSOR LoadCursorResource(UINT id);
// The toolbar of that number; null when none. Valid until it is registered again.
const ToolBarResource* FindToolBarResource(UINT id);
// The text of that number; empty when none.
std::u16string LoadStringResource(UINT id);
// The part of a string resource before the line feed (the prompt, part 0) or after it (the
// tooltip, part 1); a text without a line feed is both.
std::u16string StringResourcePart(UINT id, int part);

}  // namespace gui
