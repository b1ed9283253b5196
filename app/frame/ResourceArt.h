// The program's own artwork, registered by number (ResourceIds.h) with the resource registry
// of platform/gui/Resources.h: the icon strips of the panels and the tools' ring menus, the
// toolbar layouts and their bitmaps, the splash picture and the cursors. Images and cursors are
// made on first use, on the UI thread. Call once at start-up, before the main frame is made.
#pragma once

void RegisterProgramResources();
