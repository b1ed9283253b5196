// The toolbar and menu icons of the shell, drawn at run time so that the program needs no icon
// theme and looks the same everywhere.
#pragma once
#include <QIcon>

#include "platform/base/Types.h"

// The icon of a command id; a null icon for a command without one.
QIcon CommandIcon(UINT id);
// The eye of the layer bar's visibility column, open or shut.
QIcon VisibilityIcon(bool visible);
// The program's own icon (window title, About).
QIcon ProgramIcon();
