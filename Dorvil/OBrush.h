// The brush components' interfaces, shared by the brushes (this folder), the brush list and
// the paint tool. Slot order is fixed here; both sides are built from this header.
#pragma once
#include <cstdint>

#include "odata/OData.h"
#include "odata/OProperty.h"
#include "odata/OWorker.h"

struct BrushContext;

// One brush engine ("OBrush" components). After AddRef, Release, GetInterface:
struct OBrush : OComponent {
  // Prepares the brush into the context: with a job, fills the job so that the worker does
  // it (name "ActivateBrush", kind 1); without one, at once on the calling thread.
  virtual void Activate(BrushContext* context, JobRecord* job) = 0;
  // Releases the brush from painting (drops what it put into the context).
  virtual void Deactivate() = 0;
  // Nonzero once the last activation is done and the brush is in its context.
  virtual BOOL IsReady() = 0;
  // Nonzero: the stroke is drawn into a glass layer and merged at its end.
  virtual BOOL NeedsGlass() = 0;
  // An item value in the engine's unit; used for "RADIUS" (pixels).
  virtual float MapValue(int32_t value) = 0;
  // Nonzero when the brush can paint on layers of that format.
  virtual BOOL AcceptsFormat(int32_t format) = 0;
  virtual const char16_t* GetName() = 0;
  virtual const char16_t* GetDescription() = 0;
  // Low 2 bits: 0 brush, 1 pen, 2 airbrush, 3 eraser cursor.
  virtual int32_t GetCursorKind() = 0;
};

// The value side of a brush ("OBrushProperty"; "OProperty" answers the same object).
struct OBrushProperty : OProperty {
  // Takes one value per item, in item order (4 bytes each), clamped to the items' bounds.
  virtual void ApplyValues(OData* valueSet) = 0;
  // A new block of the items' current values (count 0; the caller takes a reference).
  virtual OData* NewValueSet() = 0;
};

// Cursor kinds of GetCursorKind.
enum BrushCursorKind : int32_t { BRUSH_CURSOR_BRUSH = 0, BRUSH_CURSOR_PEN = 1, BRUSH_CURSOR_AIRBRUSH = 2, BRUSH_CURSOR_ERASER = 3 };
// Bit 0 of "OPERATEMODE": strokes are drawn as arcs.
constexpr int32_t BRUSH_OPERATE_ARC = 0x1;

// Where an integer item's value lies in its range, 0..1; 0 when the range is empty (maximum
// not above minimum). The brush list's size ratio for "RADIUS".
inline float BrushValueRatio(const PropertyItem& item) {
  if (item.maximum <= item.minimum) return 0.0f;
  float r = float(item.value - item.minimum) / float(item.maximum - item.minimum);
  return r < 0.0f ? 0.0f : (r > 1.0f ? 1.0f : r);
}
// The value at a ratio of the range: minimum + truncate((max - min) x ratio), clamped.
inline int32_t BrushValueAtRatio(const PropertyItem& item, float ratio) {
  if (item.maximum < item.minimum) return item.value;
  float span = float(item.maximum - item.minimum) * ratio;
  if (span <= 0.0f) return item.minimum;
  if (span >= float(item.maximum - item.minimum)) return item.maximum;
  return ClampPropertyValue(item, item.minimum + int32_t(span));
}
