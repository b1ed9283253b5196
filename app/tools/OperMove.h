// The move tool: a press picks the layer under the pointer and makes it current; a left drag
// moves the current layer in whole space pixels, its edges snapping to the edges of the space
// and of the shown layers unless the magnet is off; the release records the step "移动". A
// right click or SPACE during the drag, or a loss of the capture, puts the layer back.
#pragma once
#include <cstdint>

#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "tools/LayoutMenu.h"
#include "tools/LeftDragTool.h"
#include "tools/SnapLines.h"
#include "tools/ToolUndo.h"

class COperMove final : public COperLeftDrag {
 public:
  enum State : int32_t { myMOVING = 2 };
  static constexpr uint32_t kTagMove = 1;

  COperMove();

  const char16_t* GetClassName() const override { return u"COperMove"; }
  UINT GetID() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  // A move in progress ends where the layer is, with its step.
  void FinishWork() override;
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  int32_t m_myState = myREADY;
  // A press inside the current layer keeps it current.
  BOOL m_bKeepLayer = FALSE;
  BOOL m_bNoMagnet = FALSE;
  CSnapLines m_snap;

 protected:
  ~COperMove() override;
  // Left beyond 1 pixel; middle and right at any movement.
  DragThresholds GetDragThresholds() const override;
  void OnLButtonDown(POINT pt) override;
  void OnLButtonUp() override;
  void OnMouseMove(WPARAM wParam, POINT pt) override;
  // Ready: the ring menu; moving: the layer goes back.
  void OnRButtonUp_Function(POINT pt) override;
  // The layer goes back.
  void OnCaptureLost() override;

 private:
  // The space pixel under a client point: the one mapping of grab, drag and pick.
  POINT SpacePixel(POINT pt) const;
  void PickLayer(POINT pt);
  void BeginMove();
  // Where the layer goes with the pointer at pt (snapped unless the magnet is off).
  POINT SnapPosition(POINT pt);
  void SetLayerPosition(OLayer* layer, POINT at);
  // Ends the move: committed with its step, or put back.
  void EndMove(BOOL commit);
  // The row that holds the layer, or -1.
  int RowOf(OLayer* layer) const;

  CLayoutMenu m_menu;
  CToolUndoParts m_parts{this};
  // The layer being moved, held for the whole drag.
  GCompRef<OLayer> m_cpLayer;
  POINT m_ptGrab{0, 0};
};
