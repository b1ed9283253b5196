// What the outline and shape tools share: the fill-mode and opacity options, the polygon
// filler, the fill steps and their undo, and the view messages both answer alike (a right
// click and SPACE go to the tool's right-click handler, the wheel is taken without effect).
#pragma once
#include <deque>

#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "odata/OShape.h"
#include "tools/FillOptions.h"
#include "tools/Geometry.h"
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

class CFillTool : public COperation {
 public:
  void Deactivate() override {}
  // Any change ends the work in progress and repaints.
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  CFillOptions m_options;

 protected:
  // The right button's release without a drag, or SPACE released over the view at pt.
  void OnRButtonUp_Function(POINT pt) override = 0;
  // WM_RBUTTONUP, the wheel, SPACE and the timer; FALSE for other messages.
  BOOL CommonMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The closed outline (space points) into the layer as one step with label; maskOp is what
  // the mode does to a mask layer. FALSE when nothing was filled.
  BOOL FillSpaceOutline(OLayer* layer, std::deque<POINTF>* outline, uint32_t colour, int mode, int maskOp,
                        const char16_t* label);

  CToolUndoParts m_parts{this};
  GCompRef<OShape> m_cpShape;
};
