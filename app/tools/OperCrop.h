// The trim tool: a rectangle dragged in the view (its corners snapping unless the magnet is
// off) goes to the trim dialog, which may change its size (kept at the corner where the drag
// began) and chooses the action: trim the space to it ("修剪>空间", the space's own step), or
// replace the current layer by a layer of the rectangle made from it by trimming, tiling or
// mirroring ("修剪>图层"). The new layer keeps the old one's ID, name, flags and properties;
// its step keeps the whole old layer, and a redo trims again from the mode and rectangle.
#pragma once
#include <cstdint>

#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "tools/FrameDrag.h"
#include "tools/ToolUndo.h"

class COperCrop final : public COperFrameDrag {
 public:
  static constexpr uint32_t kTagLayer = 1;

  COperCrop();

  const char16_t* GetClassName() const override { return u"COperCrop"; }
  UINT GetID() override;
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

 protected:
  ~COperCrop() override;
  void OnFrameDone() override;

 private:
  void TrimSpace(const RECT& rc);
  // mode 0 trim, 1 tile, 2 mirror.
  void TrimLayer(const RECT& rc, int mode);
  // The layer of the rectangle made from layer, in its place: the same ID and flags.
  static GCompRef<OLayer> ClipInPlace(OLayer* layer, const RECT& rc, int mode);
  // Puts a layer into the row while no pass reads the rows.
  void ReplaceRow(int row, OLayer* layer);

  CToolUndoParts m_parts{this};
};
