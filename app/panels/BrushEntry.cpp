#include "BrushEntry.h"

#include <algorithm>
#include <cstring>

#include "odata/GError.h"
#include "odata/OData.h"

XBrushProperty::XBrushProperty(BrushEngineRecord* engine, std::u16string name, std::u16string description)
    : m_strName(std::move(name)), m_strDescription(std::move(description)), m_pEngine(engine) {
  GCHECK(engine && engine->brush);
  m_pProperty = static_cast<OBrushProperty*>(engine->brush->GetInterface(u"OBrushProperty"));
  GCHECK(m_pProperty);
  const UINT n = std::min<UINT>(m_pProperty->GetCount(), BRUSH_MAX_ITEMS);
  for (UINT i = 0; i < n; ++i) m_items.push_back(*m_pProperty->GetItem(i));
  for (int k = 0; k < myMAXPRESET; ++k) StoreValues(k);
  UpdatePresetFlags();
}

int32_t XBrushProperty::Release() {
  const int32_t n = --m_nRef;
  if (n <= 0) delete this;
  return n;
}

PropertyItem* XBrushProperty::FindByName(UINT* index, const char16_t* key) {
  return FindPropertyItem(m_items.data(), UINT(m_items.size()), index, key);
}

PropertyItem* XBrushProperty::GetItem(UINT index) {
  GVERIFY(index < m_items.size(), u"!uPos<(UINT)m_nPropertyItemCount");
  return &m_items[index];
}

PropertyItem* XBrushProperty::SetValue(UINT index, int32_t value) {
  PropertyItem* item = GetItem(index);
  item->value = ClampPropertyValue(*item, value);
  return item;
}

void XBrushProperty::CheckSet(int k) { GVERIFY(k >= 0 && k < myMAXPRESET, u"!uIndex<(UINT)myMAXPRESET"); }

OBrush* XBrushProperty::GetBrush(int k) {
  CheckSet(k);
  const std::vector<int32_t>& set = m_sets[size_t(k)];
  GCompRef<OData> block = GNewData(set.size() * 4);
  GCHECK(block);
  if (!set.empty()) std::memcpy(block->GetBuffer(), set.data(), set.size() * 4);
  m_pProperty->ApplyValues(block);
  return m_pEngine->brush.get();
}

void XBrushProperty::StoreValues(int k) {
  CheckSet(k);
  std::vector<int32_t>& set = m_sets[size_t(k)];
  set.resize(m_items.size());
  for (size_t i = 0; i < m_items.size(); ++i) set[i] = m_items[i].value;
}

void XBrushProperty::LoadValues(int k, BOOL skipExcluded) {
  CheckSet(k);
  const std::vector<int32_t>& set = m_sets[size_t(k)];
  for (size_t i = 0; i < m_items.size() && i < set.size(); ++i) {
    if (skipExcluded && (m_items[i].flags & BRUSH_ITEM_NOPRESET)) continue;
    m_items[i].value = ClampPropertyValue(m_items[i], set[i]);
  }
}

void XBrushProperty::UpdatePresetFlags() {
  uint32_t bits = BRUSH_FLAG_PRESETS;
  for (int k = 1; k < myMAXPRESET; ++k) {
    const std::vector<int32_t>& set = m_sets[size_t(k)];
    for (size_t i = 0; i < m_items.size(); ++i) {
      if (m_items[i].flags & BRUSH_ITEM_NOPRESET) continue;
      if (i >= set.size() || set[i] != m_items[i].value) {
        bits &= ~(1u << k);
        break;
      }
    }
  }
  m_dwFlags = (m_dwFlags & ~0xFFu) | bits;
}

BOOL XBrushProperty::MovePreset(int to, int from) {
  if (to < 0 || to >= myMAXPRESET || from < 0 || from >= myMAXPRESET || to == from) return FALSE;
  std::vector<int32_t> moved = std::move(m_sets[size_t(from)]);
  if (from < to) {
    for (int k = from; k < to; ++k) m_sets[size_t(k)] = std::move(m_sets[size_t(k + 1)]);
  } else {
    for (int k = from; k > to; --k) m_sets[size_t(k)] = std::move(m_sets[size_t(k - 1)]);
  }
  m_sets[size_t(to)] = std::move(moved);
  return TRUE;
}

void XBrushProperty::CopyValues(const XBrushProperty& source) {
  if (source.m_pEngine != m_pEngine) return;
  m_items = source.m_items;
  m_sets = source.m_sets;
  m_dwFlags = source.m_dwFlags;
}

namespace {
// A stored text ends at its first 0, as a 0-terminated text does: the list's row, its drawing,
// the property page and the delete question all show the same name, and it is saved so.
std::u16string UpToFirstZero(const std::u16string& text) { return text.substr(0, text.find(u'\0')); }
}  // namespace

BOOL XBrushProperty::TakeRecord(const BrushPresetRecord& record) {
  if (record.ItemCount() != m_items.size()) return FALSE;
  m_strName = UpToFirstZero(record.name);
  m_strDescription = UpToFirstZero(record.description);
  for (int k = 0; k < myMAXPRESET; ++k) m_sets[size_t(k)] = record.sets[size_t(k)];
  LoadValues(0, FALSE);
  m_dwFlags = record.flags;  // as stored: the match bits are not worked out again
  return TRUE;
}

BrushPresetRecord XBrushProperty::MakeRecord() const {
  BrushPresetRecord r;
  r.engine = m_pEngine->name;
  r.name = m_strName;
  r.description = m_strDescription;
  r.flags = m_dwFlags;
  for (int k = 0; k < myMAXPRESET; ++k) r.sets[size_t(k)] = m_sets[size_t(k)];
  return r;
}
