// The eyedropper: a left click makes the colour under the cursor the colour bar's current
// colour, and the release hands back to the tool that was current before. It edits no layer,
// records no step and has neither a ring menu nor option windows; the right and middle
// buttons navigate as with every tool.
#pragma once
#include "tools/Operation.h"

class COperSucker final : public COperation {
 public:
  COperSucker() = default;

  const char16_t* GetClassName() const override { return u"COperSucker"; }
  UINT GetID() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  // The colour 0xAARRGGBB of the composed picture at the view's client point, as the view
  // shows it (opaque); where no layer shows, or outside the space, the space's background.
  uint32_t SuckColor(int x, int y);
  // The same for any tool of the space (the paint tool's ring menu picks colours too).
  static uint32_t ColorAt(CPaintSpace* space, int x, int y);
  // The own colour 0xAARRGGBB of the topmost layer that shows at the client point, whatever
  // lies below it (a mask layer's colour with its cover as alpha); else the background.
  static uint32_t LayerColorAt(CPaintSpace* space, int x, int y);

  int32_t m_myState = myREADY;

 protected:
  // A left drag starts beyond 1 pixel, a middle drag at any movement, a right drag beyond 12.
  DragThresholds GetDragThresholds() const override;

 private:
  void OnLButtonDown(POINT pt);
  void OnLButtonUp();
  // A right click, or SPACE released over the view: back to the previous tool.
  void OnRButtonUp_Function(POINT pt) override;
  // The pixel of the view's composed picture at the client point; FALSE outside it.
  static BOOL ComposedAt(CPaintSpace* space, int x, int y, uint32_t* colour);
  // The colour of the list's layer index at the space point; the background outside it.
  static uint32_t OwnColorAt(CPaintSpace* space, int index, POINT at);
};
