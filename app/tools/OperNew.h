// The create-layer tool: a rectangle dragged in the view (its corners snapping unless the
// magnet is off) proposes the size of a new layer; the new-layer dialog settles its name,
// size and kind, and the layer list creates it at the rectangle's corner where the drag began,
// on top of the list, with its own step "创建".
#pragma once
#include "tools/FrameDrag.h"

class COperNew final : public COperFrameDrag {
 public:
  COperNew();

  const char16_t* GetClassName() const override { return u"COperNew"; }
  UINT GetID() override;

 protected:
  ~COperNew() override;
  void OnFrameDone() override;
};
