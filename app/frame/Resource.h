// Command ids of the shell's menus and toolbars, and the private window messages the frame
// takes. The paint space's own (undo, redo, background, view and tool commands) come with it.
#pragma once
#include "core/PaintSpace.h"
#include "platform/base/Types.h"

// Files and the application.
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_FILE_SAVE = 57603;
constexpr UINT ID_FILE_SAVE_AS = 57604;
constexpr UINT ID_FILE_EXPORT_PICTURE = 32856;  // the composed space as an image file
constexpr UINT ID_FILE_MRU_FILE1 = 57616;  // ... the fourth recent file is 57619
constexpr UINT RECENT_FILE_COUNT = 4;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_APP_HELP = 32836;

// The frame.
constexpr UINT ID_APP_CONFIGURE = 32818;
constexpr UINT ID_BAR_MAIN = 32829;
constexpr UINT ID_BAR_OPERATION = 32830;
constexpr UINT ID_BAR_OPTION = 32831;
constexpr UINT ID_BAR_VIEW = 32832;
constexpr UINT ID_BAR_COLOR = 32833;
constexpr UINT ID_BAR_LAYER = 32834;
constexpr UINT ID_BAR_BRUSH = 32835;

// The document's space: its size and the layer filters.
constexpr UINT ID_SPACE_RESIZE = 32828;
constexpr UINT ID_LAYER_BLUR = 32838;
constexpr UINT ID_LAYER_BRIGHT = 32845;
constexpr UINT ID_LAYER_HUE = 32846;

// A tool hands the option bar its controls: wParam an array of at most 8 window handles ended
// by the first null, lParam the count.
constexpr UINT WM_MYSETOPTIONS = 0x8064;
constexpr int OPTIONBAR_MAX_WINDOWS = 8;
