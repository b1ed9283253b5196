#include "DorvilBrush.h"

#include <mypaint-brush.h>

#include <algorithm>

#include "BrushPreset.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "odata/OLayer.h"
#include "platform/base/Text.h"

using namespace dorvil;

DorvilBrush::DorvilBrush(const BrushFamily& family) : m_family(family) {
  m_property.m_items = MakeBrushItems(family.builtIn);
}

DorvilBrush::~DorvilBrush() { Deactivate(); }

void DorvilBrush::InitInstance() {
  std::string text;
  switch (ReadPreset(m_family.preset, &text, &m_presetPath)) {
    case PresetStatus::OK: break;
    case PresetStatus::MISSING: ReportMissingPreset(u"BRUSH PRESET NOT FOUND, BUILT-IN SETTINGS USED"); return;
    case PresetStatus::UNREADABLE: ReportMissingPreset(u"BRUSH PRESET UNREADABLE, BUILT-IN SETTINGS USED"); return;
  }
  MyPaintBrush* brush = mypaint_brush_new();
  GCHECK(brush);
  mypaint_brush_from_string(brush, text.c_str());
  m_property.m_items = MakeBrushItems(ValuesFromBrush(brush, m_family.builtIn));
  mypaint_brush_unref(brush);
  m_presetText = std::move(text);
}

void DorvilBrush::ReportMissingPreset(const char16_t* what) {
  GSystem* system = GetSystem();
  if (!system) return;
  // The built-in settings paint on: worth the log, not the internal-error notice.
  GErrRecord* e = new GErrRecord(what, GERR_FILE_, __LINE__, ERR_KIND_NOTICE);
  e->AddContext()->AppendString(m_family.implementation)->AppendString(u": ");
  e->AppendString(plat::FromUtf8(m_presetPath).c_str());
  e->AddRef();
  system->ReportError(e);
  e->Release();
}

void* DorvilBrush::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OBrush") == 0) return static_cast<OBrush*>(this);
  if (plat::StrCmp(name, u"OBrushProperty") == 0 || plat::StrCmp(name, u"OProperty") == 0)
    return static_cast<OBrushProperty*>(&m_property);
  return nullptr;
}

BOOL DorvilBrush::AcceptsFormat(int32_t format) {
  return format == OLayer::myFORMAT_A16 || format == OLayer::myFORMAT_C32;
}

void DorvilBrush::Activate(BrushContext* context, JobRecord* job) {
  GCHECK(context);
  // The values are taken now: the panels may edit the items while the worker prepares.
  m_context = context;
  m_pending = m_property.Values();
  m_state = PENDING;
  if (!job) {
    Prepare(m_pending);
    return;
  }
  job->name = u"ActivateBrush";
  job->kind = 1;
  job->result = -1;
  job->object = this;
  job->proc = JobThunk<DorvilBrush, &DorvilBrush::____Activate>;
}

int32_t DorvilBrush::____Activate(JobRecord*, JobControl*) {
  try {
    Prepare(m_pending);
  }
  GCATCH(u"DorvilBrush", u"____Activate")
  return 1;
}

void DorvilBrush::Prepare(const BrushValues& values) {
  MyPaintBrush* brush = mypaint_brush_new();
  GCHECK(brush);
  if (m_presetText.empty() || !mypaint_brush_from_string(brush, m_presetText.c_str()))
    mypaint_brush_from_defaults(brush);
  ApplyToBrush(brush, values, m_family.eraser);
  const bool buildUp = m_family.glass && BuildsUp(brush);
  // A glass that keeps the highest coverage wants each dab at the brush's full opacity, not
  // the share libmypaint spreads over the dabs that overlap.
  if (m_family.glass && !buildUp) mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_OPAQUE_LINEARIZE, 0.0f);

  BrushContext* c = m_context;
  if (c->brush) mypaint_brush_unref(c->brush);
  c->brush = brush;
  c->owner = this;
  ++c->serial;
  c->radius = RadiusFromValue(values[ITEM_RADIUS]);
  c->opacity = float(std::clamp(values[ITEM_OPACITY], 0, 100)) / 100.0f;
  c->rasterMode = std::clamp(values[ITEM_RASTER], 0, 7);
  c->operateMode = values[ITEM_OPERATEMODE];
  c->eraser = m_family.eraser ? 1 : 0;
  c->buildUp = buildUp ? 1 : 0;
  m_state = READY;
}

void DorvilBrush::Deactivate() {
  m_state = IDLE;
  BrushContext* c = m_context;
  m_context = nullptr;
  if (!c || c->owner != this) return;
  if (c->brush) mypaint_brush_unref(c->brush);
  c->brush = nullptr;
  c->owner = nullptr;
}

BOOL DorvilBrush::IsReady() {
  return m_state == READY && m_context && m_context->owner == this;
}

// ---- items -------------------------------------------------------------------------------

PropertyItem* DorvilBrush::Property::FindByName(UINT* index, const char16_t* key) {
  return FindPropertyItem(m_items.data(), ITEM_COUNT, index, key);
}

PropertyItem* DorvilBrush::Property::GetItem(UINT index) { return index < ITEM_COUNT ? &m_items[index] : nullptr; }

PropertyItem* DorvilBrush::Property::SetValue(UINT index, int32_t value) {
  PropertyItem* item = GetItem(index);
  if (item) item->value = ClampPropertyValue(*item, value);
  return item;
}

void DorvilBrush::Property::ApplyValues(OData* valueSet) {
  if (!valueSet) return;
  // A short block (from an older brush with fewer items) sets the items it has.
  size_t n = std::min<size_t>(ITEM_COUNT, valueSet->GetSize() / sizeof(int32_t));
  valueSet->Rewind();
  for (size_t i = 0; i < n; ++i) {
    int32_t v = 0;
    valueSet->Read(&v, sizeof v);
    m_items[i].value = ClampPropertyValue(m_items[i], v);
  }
  valueSet->Rewind();
}

OData* DorvilBrush::Property::NewValueSet() {
  OData* set = GNewData(ITEM_COUNT * sizeof(int32_t));
  for (const PropertyItem& item : m_items) set->Write(&item.value, sizeof item.value);
  set->Rewind();
  return set;
}

BrushValues DorvilBrush::Property::Values() const {
  BrushValues v{};
  for (size_t i = 0; i < ITEM_COUNT; ++i) v[i] = m_items[i].value;
  return v;
}
