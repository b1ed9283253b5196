// One entry of the brush list: a brush component joined to a name, a description, a copy of
// the component's items (their values are the entry's current values) and five value sets
// (0 the working values, 1-4 the user's presets). The property page edits the entry through
// its OProperty face; the paint tool gets the component with set 0 applied.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "Dorvil/OBrush.h"
#include "odata/GCompRef.h"
#include "odata/OProperty.h"
#include "panels/BrushPresets.h"

// A brush component found at start-up: created on first use.
struct BrushEngineRecord {
  std::u16string name;  // implementation name
  GCompRef<OBrush> brush;
};

constexpr int myMAXPRESET = BRUSH_VALUE_SETS;
// Flags word.
constexpr uint32_t BRUSH_FLAG_PRESETS = 0x1E;  // bit k: preset k equals the current values
constexpr uint32_t BRUSH_FLAG_FLOATING = 0x100;
constexpr uint32_t BRUSH_FLAG_FIXED = 0x200;
// An item flag: the item takes no part in presets.
constexpr int32_t BRUSH_ITEM_NOPRESET = 0x1;

class XBrushProperty final : public OProperty {
 public:
  // The items and the five sets come from the component's current values.
  XBrushProperty(BrushEngineRecord* engine, std::u16string name, std::u16string description);

  int32_t AddRef() override { return ++m_nRef; }
  int32_t Release() override;
  void* GetInterface(const char16_t*) override { return nullptr; }
  UINT GetCount() override { return UINT(m_items.size()); }
  PropertyItem* FindByName(UINT* index, const char16_t* key) override;
  PropertyItem* GetItem(UINT index) override;
  PropertyItem* SetValue(UINT index, int32_t value) override;

  // The component with set k applied (no reference added).
  OBrush* GetBrush(int k);
  void StoreValues(int k);
  void LoadValues(int k, BOOL skipExcluded);
  void UpdatePresetFlags();
  // Set from moves to to, the sets between shifting by one; FALSE when nothing moved.
  BOOL MovePreset(int to, int from);
  // Items, sets and flags of an entry of the same component.
  void CopyValues(const XBrushProperty& source);
  // Sets and flags from a presets record (a record of another item count is ignored), the
  // name and description up to their first 0; and back.
  BOOL TakeRecord(const BrushPresetRecord& record);
  BrushPresetRecord MakeRecord() const;

  BrushEngineRecord* GetEngine() const { return m_pEngine; }
  const std::u16string& GetName() const { return m_strName; }
  const std::u16string& GetDescription() const { return m_strDescription; }
  uint32_t m_dwFlags = 0;

 private:
  ~XBrushProperty() = default;
  static void CheckSet(int k);

  std::u16string m_strName;
  std::u16string m_strDescription;
  BrushEngineRecord* m_pEngine;
  OBrushProperty* m_pProperty;
  std::vector<PropertyItem> m_items;
  std::array<std::vector<int32_t>, myMAXPRESET> m_sets;
  int32_t m_nRef = 0;
};
