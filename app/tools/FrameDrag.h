// The base of the tools that drag out a rectangle in space coordinates (create layer, trim):
// a left press starts a corner, a drag beyond 1 pixel shows the rectangle as an XOR outline
// that follows the pointer, the corners snapping to the edges of the space and of the shown
// layers unless the magnet is off; the release hands the rectangle to the tool (only when no
// other button is still held). A right click or SPACE while dragging drops the rectangle, as
// does a loss of the capture.
#pragma once
#include <cstdint>

#include "tools/Geometry.h"
#include "tools/LayoutMenu.h"
#include "tools/LeftDragTool.h"
#include "tools/SnapLines.h"

namespace gui {
class DeviceContext;
}

// The pixels a rectangle of two float corners covers: floor of the smaller, ceiling of the
// larger coordinate.
RECT RectFromCorners(POINTF a, POINTF b);
// A rectangle of the size kept at the corner where a drag began, reaching towards its end.
RECT RectFromCorner(POINTF start, POINTF end, int width, int height);

class COperFrameDrag : public COperLeftDrag {
 public:
  enum State : int32_t { myFRAME = 2 };

  BOOL IsReady() override { return m_myState == myREADY; }
  // A rectangle still being dragged is dropped with the tool, and by a command that comes
  // in the middle of the drag (the release would ask about it).
  void Deactivate() override;
  void FinishWork() override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }

  int32_t m_myState = myREADY;
  POINTF m_ptStart{0, 0};
  POINTF m_ptEnd{0, 0};
  BOOL m_bNoMagnet = FALSE;
  CSnapLines m_snap;

 protected:
  // ringBitmap: the ring's icons; selectLayer: the ring offers "选择图层"; noMagnetId: the
  // option button that turns snapping off.
  COperFrameDrag(UINT ringBitmap, BOOL selectLayer, UINT optionToolBar, UINT noMagnetId);
  ~COperFrameDrag() override;
  // Left beyond 1 pixel, right and middle beyond 8, in x or in y.
  DragThresholds GetDragThresholds() const override;
  // While a rectangle shows, the tool redraws the view after panning and turning, so that
  // the outline follows.
  BOOL DrawsViewItself() const override { return m_myState == myFRAME; }
  void RedrawView(const POINT* scroll) override;
  // The rectangle of m_ptStart and m_ptEnd was released.
  virtual void OnFrameDone() = 0;
  // The space draws; the outline is drawn afresh over it.
  void OnPaint() override;
  void OnLButtonDown(POINT pt) override;
  void OnLButtonUp() override;
  void OnMouseMove(WPARAM wParam, POINT pt) override;
  void OnRButtonUp_Function(POINT pt) override;
  void OnCaptureLost() override;

 private:
  // The space point of a client point: snapped, or the plain mapping with the magnet off.
  POINTF PointAt(POINT pt) const;
  // Back to ready; the view is redrawn without the outline.
  void DropFrame();
  // Erases the outline drawn before and draws the current one (dc null: the view's own).
  void UpdateFrame(gui::DeviceContext* dc);
  void DrawOutline(gui::DeviceContext* dc, POINTF a, POINTF b);

  CLayoutMenu m_menu;
  UINT m_nNoMagnetId;
  BOOL m_bFrameShown = FALSE;
  // The corners of the outline on the screen, to erase it exactly.
  POINTF m_aShown[2] = {};
};
