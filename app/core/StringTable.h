// The program's string table: the texts of its commands ("status-bar prompt\ntooltip") and
// the other texts the panels load by number (tooltips, the image file filter). Plain data,
// registered with the resource registry of platform/gui/Resources.h; no Qt.
#pragma once

// Registers every string of the table (again: replaces them). Call once at start-up.
void RegisterProgramStrings();
