// A component's published property set: a short fixed list of items with bounds.
#pragma once
#include <cstdint>

#include "OComponent.h"

struct PropertyItem {
  int32_t level;
  int32_t type;  // 0 heading, 1 integer range, 2 boolean, 3 choice, 4 shown without value
  int32_t flags;
  int32_t value;
  int32_t minimum;
  int32_t maximum;
  const char16_t* key;
  const char16_t* label;
  const char16_t* choices;  // '|'-separated, for choices
  const char16_t* help;
};

constexpr int32_t PROP_TYPE_RANGE = 1;
constexpr int32_t PROP_TYPE_BOOL = 2;
constexpr int32_t PROP_TYPE_CHOICE = 3;

struct ODATA_EXPORT OProperty : OComponent {
  virtual UINT GetCount() = 0;
  // The first item from *index on whose key matches; *index is set to its position (or
  // to the count when none matches).
  virtual PropertyItem* FindByName(UINT* index, const char16_t* key) = 0;
  virtual PropertyItem* GetItem(UINT index) = 0;
  // Stores the value clamped to the item's bounds; returns the item (null past the end).
  virtual PropertyItem* SetValue(UINT index, int32_t value) = 0;
};

// Clamps a value to an item's bounds; bounds with maximum below minimum do not clamp.
inline int32_t ClampPropertyValue(const PropertyItem& item, int32_t value) {
  if (item.maximum < item.minimum) return value;
  if (value < item.minimum) return item.minimum;
  if (value > item.maximum) return item.maximum;
  return value;
}

// FindByName over a plain item array: the first item from *index on whose key matches;
// *index is set to its position, or to count when none matches.
inline PropertyItem* FindPropertyItem(PropertyItem* items, UINT count, UINT* index, const char16_t* key) {
  UINT i = index ? *index : 0;
  for (; key && i < count; ++i) {
    if (plat::StrCmp(items[i].key, key) == 0) {
      if (index) *index = i;
      return &items[i];
    }
  }
  if (index) *index = count;
  return nullptr;
}
