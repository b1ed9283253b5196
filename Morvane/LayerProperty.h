// The layer's property set: the mask list (ALPHA, MODE, MASK) and the colour list
// (ALPHA, MODE), each with its own values; the live one follows the layer's format.
#pragma once
#include "odata/OProperty.h"

class LayerProperty final : public OProperty {
 public:
  enum Item : UINT { ALPHA = 0, MODE = 1, MASK = 2 };

  // owner answers counting and GetInterface; format is the layer's format field.
  LayerProperty(OComponent* owner, const int* format);

  int32_t AddRef() override { return m_owner->AddRef(); }
  int32_t Release() override { return m_owner->Release(); }
  void* GetInterface(const char16_t* name) override { return m_owner->GetInterface(name); }

  UINT GetCount() override;
  PropertyItem* FindByName(UINT* index, const char16_t* key) override;
  PropertyItem* GetItem(UINT index) override;
  PropertyItem* SetValue(UINT index, int32_t value) override;

  // The live list's value of an item (ALPHA, MODE, MASK); 0 for an item it lacks.
  int32_t Value(Item item) const;
  // The item of the given list regardless of the live format.
  PropertyItem& MaskItem(Item item) { return m_mask[item]; }
  PropertyItem& ColourItem(Item item) { return m_colour[item]; }
  // All five items in saved-record order: the mask list, then the colour list.
  static constexpr UINT kAllItems = 5;
  PropertyItem& Saved(UINT i);

 private:
  bool IsColour() const;
  PropertyItem* Live() { return IsColour() ? m_colour : m_mask; }
  const PropertyItem* Live() const { return IsColour() ? m_colour : m_mask; }

  OComponent* m_owner;
  const int* m_format;
  PropertyItem m_mask[3];
  PropertyItem m_colour[2];
};
