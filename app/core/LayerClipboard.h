// The program's internal layer clipboard: one layer's backup block and its description.
// The application owns it; the layer list's cut, copy and paste and the surgery tool's pieces
// go through it. No Qt in here.
#pragma once
#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"

struct LayerClipboard {
  GCompRef<OData> cpData;
  LayerInfo info{};

  BOOL HasLayer() const { return cpData.IsValid() ? TRUE : FALSE; }
  void Clear() {
    cpData.Release();
    info = LayerInfo{};
  }
};
