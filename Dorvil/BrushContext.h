// The program-wide record the brushes and the paint engine share: the brush prepared by the
// last activation and the values the engine needs beside libmypaint's own settings.
#pragma once
#include <cstdint>

typedef struct MyPaintBrush MyPaintBrush;
struct OBrush;

struct BrushContext {
  // The prepared libmypaint brush; the context holds one reference. Replaced (the old one
  // unreferenced) by each activation, cleared by the owner's Deactivate.
  MyPaintBrush* brush;
  OBrush* owner;       // the component that prepared it (not referenced)
  uint32_t serial;     // bumped by each preparation, so the engine sees a new brush
  float radius;        // base radius in pixels ("RADIUS" through MapValue)
  float opacity;       // 0..1 ("OPACITY")
  int32_t rasterMode;  // 0..7, the glass merge's blend mode ("RASTER")
  int32_t operateMode; // "OPERATEMODE" bits
  int32_t eraser;      // nonzero: the brush lowers alpha / coverage straight in the layer
  int32_t buildUp;     // nonzero: dabs add up in the glass (up to the stroke's opacity); zero:
                       // the glass keeps the highest coverage
};

// Zero at start; defined by the program, handed by address to OBrush::Activate and the engine.
extern BrushContext g_BrushContext;
