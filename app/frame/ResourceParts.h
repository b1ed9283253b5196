// The makers of the program's resource artwork, by family; RegisterProgramResources registers
// them under their numbers (ResourceIds.h). Each maker returns a new image.
#pragma once
#include <memory>
#include <vector>

#include "platform/base/Types.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Resources.h"

namespace art {

// Panel icon strips (ResourcePanels.cpp).
std::unique_ptr<gui::ScreenImage> MakeLayerListStrip();
std::unique_ptr<gui::ScreenImage> MakeBrushListStrip();
std::unique_ptr<gui::ScreenImage> MakePropertyListStrip();

// The ring-menu strip of a tool (ResourceRing.cpp); null for a number that is none.
std::unique_ptr<gui::ScreenImage> MakeRingStrip(UINT id);
// The strips' numbers.
const std::vector<UINT>& RingStripIds();

// Toolbars (ResourceToolBars.cpp): registers every toolbar layout and its bitmap, the main
// toolbar's image lists and the splash picture.
void RegisterToolBars();

// Cursors (ResourceCursors.cpp): registers every cursor.
void RegisterCursors();

}  // namespace art
