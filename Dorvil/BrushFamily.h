// The brush families: one "OBrush" component each, made from a stock preset of the
// mypaint-brushes package, with built-in settings for when the preset is not installed.
#pragma once
#include <cstddef>

#include "BrushItems.h"

namespace dorvil {

struct BrushFamily {
  const char16_t* implementation;  // component name
  const char16_t* name;            // shown in the brush list
  const char16_t* description;
  const char* preset;      // path below the package's brush folder
  int32_t cursorKind;      // BrushCursorKind
  bool glass;              // strokes go into a glass layer
  bool eraser;             // dabs lower the layer's alpha / coverage
  BrushValues builtIn;     // the item values without the preset (and those it has no setting for)
};

enum FamilyIndex : size_t { FAMILY_PEN, FAMILY_PENCIL, FAMILY_INK, FAMILY_AIRBRUSH, FAMILY_CHARCOAL, FAMILY_ERASER, FAMILY_COUNT };

extern const BrushFamily kBrushFamilies[FAMILY_COUNT];

}  // namespace dorvil
