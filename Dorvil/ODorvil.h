// The paint engine ("Dorvil" component, interface "ODorvil"): renders strokes and arcs of a
// brush into a layer or its glass. The paint tool feeds it samples and gets back, through a
// dirty-rectangle sink, where the pixels changed. Slot orders are fixed here; the tool and the
// engine are both built from this header.
#pragma once
#include <cstdint>

#include "OBrush.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"
#include "odata/OWorker.h"

struct BrushContext;

// One input sample (passed by pointer). Coordinates are space units. The first 32 bytes are
// the tool's classic record; the pen's tilt follows.
struct PaintSample {
  float x;
  float y;
  float weight;    // stroke: 1.0, 0.94, 0.8836 ... along the stroke; arc: the brush radius
  float speed;     // 0..1 (1: slow); 0 in a stroke's first sample
  float slope;     // |dy| / d of the motion in client space; 0 in the first sample
  float pressure;  // 0..1; 0 in a stroke's first sample (the engine takes the next one's)
  float angle;     // the view angle in radians
  uint32_t color;  // 0xAARRGGBB, alpha 0xff
  float xtilt;     // the pen's lean towards +x and +y of the view, -1..1 (1: about 60 degrees
  float ytilt;     // from upright); 0 and 0 for a mouse or an upright pen
};
static_assert(sizeof(PaintSample) == 40);

// Where a stroke goes: the edited layer, the source layer (null: none), the glass (null: the
// stroke goes straight into the edited layer), and a reserved word (0).
struct PaintTarget {
  OLayer* pLayer;
  OLayer* pSource;
  OLayer* pGlass;
  uint32_t dwReserved;
};

// The engine's report of changed pixels, implemented by the paint tool. Called on the thread
// that renders: every Reset is followed by exactly one Flush, and the pair brackets the
// batch's pixel writes (Reset takes the paint space's drawing lock, Flush presents and
// releases it), so the caller that waits for a stroke must not hold that lock.
struct PaintDirtySink {
  // The view transform of the batch goes to out; the batch begins.
  virtual void Reset(ViewTransform* out) = 0;
  // One dab painted: centre in space coordinates, radius in space units.
  virtual void AddDab(const float point[2], float radius) = 0;
  // The batch's pixels are in the target: present them and end the batch.
  virtual void Flush() = 0;

 protected:
  ~PaintDirtySink() = default;
};

struct ODorvil : OComponent {
  // The program-wide brush context the brushes prepare into; reserved 0.
  virtual void Bind(BrushContext* context, UINT reserved) = 0;
  // Nonzero when bound and no stroke or arc is open.
  virtual BOOL IsReady() = 0;
  // Opens a stroke of the brush into the target and fills the job so that the worker's
  // Launch(job, 0) renders it; FALSE (nothing opened) when the brush is not prepared.
  virtual BOOL BeginStroke(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, JobRecord* job) = 0;
  // Queues one sample; any thread, also while the job renders. Never takes the drawing lock.
  virtual void AddSample(const PaintSample* sample) = 0;
  // Ends the stroke: returns when every queued sample is painted into the target and the job
  // is done (when the job never started, the caller's thread renders the queue itself).
  virtual void EndStroke() = 0;
  // Opens an arc segment; continued is nonzero from the second segment of one arc on.
  virtual BOOL BeginArc(OBrush* brush, PaintTarget* target, PaintDirtySink* sink, BOOL continued) = 0;
  // Paints the quadratic curve from start to end bent towards control, synchronously.
  virtual void Arc(const PaintSample* start, const PaintSample* end, const PaintSample* control) = 0;
  virtual void EndArc() = 0;
};
