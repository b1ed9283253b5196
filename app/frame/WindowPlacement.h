// Where the main window reopens: the rectangle the settings kept, fitted to the screens that
// are there now. The settings may hold anything (another monitor's layout, a damaged file,
// values of the full integer range), so nothing of them reaches the window unfitted. No Qt in
// here, so the fitting is tested without a screen.
#pragma once
#include <vector>

#include "platform/base/Types.h"

namespace placement {

// A window never reopens smaller than this (or its screen, when that is smaller still).
constexpr LONG kMinSide = 160;

// The stored rectangle (right and bottom exclusive) fitted to the screens' available areas
// (the first is the primary): a stored size of nothing or less takes the first run's
// rectangle instead; the size is then brought within the screen that holds most of the
// window (the primary when none holds any of it), no smaller than least (the window's own
// minimum) nor kMinSide where the screen has room, and the window moved wholly onto that
// screen. Without screens, firstRun's rectangle stands for one.
RECT FitWindowRect(const RECT& stored, const RECT& firstRun, const std::vector<RECT>& screens, SIZE least);

}  // namespace placement
