#include "LayerProperty.h"

#include "odata/OLayer.h"
#include "platform/base/Text.h"

namespace {
const PropertyItem kAlpha = {0, PROP_TYPE_RANGE, 0, 100, 1, 100, u"ALPHA", u"能见度", nullptr,
                             u"能见度：不透明度，值越大越不透明"};
const PropertyItem kMode = {0, PROP_TYPE_CHOICE, 0, 0, 0, 7, u"MODE", u"光栅", u"正常|明|暗|光|影|透明|透暗|反",
                            u"像素合成方法"};
const PropertyItem kMask = {0, PROP_TYPE_BOOL, 0, 0, 0, 1, u"MASK", u"蒙板", nullptr,
                            u"将自身作为蒙板源，施加于彩色图层"};
}  // namespace

LayerProperty::LayerProperty(OComponent* owner, const int* format)
    : m_owner(owner), m_format(format), m_mask{kAlpha, kMode, kMask}, m_colour{kAlpha, kMode} {}

bool LayerProperty::IsColour() const { return *m_format == OLayer::myFORMAT_C32; }

UINT LayerProperty::GetCount() { return IsColour() ? 2 : 3; }

PropertyItem* LayerProperty::FindByName(UINT* index, const char16_t* key) {
  return FindPropertyItem(Live(), GetCount(), index, key);
}

PropertyItem* LayerProperty::GetItem(UINT index) { return index < GetCount() ? &Live()[index] : nullptr; }

PropertyItem* LayerProperty::SetValue(UINT index, int32_t value) {
  PropertyItem* item = GetItem(index);
  if (item) item->value = ClampPropertyValue(*item, value);
  return item;
}

int32_t LayerProperty::Value(Item item) const { return UINT(item) < (IsColour() ? 2u : 3u) ? Live()[item].value : 0; }

PropertyItem& LayerProperty::Saved(UINT i) { return i < 3 ? m_mask[i] : m_colour[i - 3]; }
