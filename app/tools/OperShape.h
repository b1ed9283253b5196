// The shape-fill tool: a rectangle, ellipse or star template sits at the centre of the view,
// sized from its client area, with one red handle that changes its proportions. A click
// inside the template (or the option bar's fill button) maps it through the view transform
// into the space and fills it into the current layer in one of the fill modes, as one step
// ("形状>填充" / "形状>掏空"). The template is made of view pixels, so a zoomed, turned or
// flipped view puts the same template differently onto the layer.
#pragma once
#include <cstdint>

#include "frame/ResourceIds.h"
#include "odata/OLayer.h"
#include "tools/FillToolMenu.h"
#include "tools/FillTool.h"

class CMyComboBox;
namespace gui {
class DeviceContext;
}

// Template outlines in client pixels relative to the view centre, y downwards. Each writes
// at most capacity points (x, y pairs into xy) and returns how many it wrote (0 when the
// capacity is too small for the shape).
namespace shape_template {
// 256 points of an ellipse of half width r and half height aspect x r (aspect 0.01..1).
int MakeEllipse(float* xy, int capacity, float aspect, float r);
// A rectangle of half width r, of height h when h > 0, else of half height aspect x r.
int MakeRectangle(float* xy, int capacity, float aspect, float r, float h);
// A star of n points (2 pi / a rounded, even, 6..64) alternating radius r and q x r, the
// first pointing up.
int MakeStar(float* xy, int capacity, float a, float q, float r);
// The star's angle step a and inner ratio q from its handle (clamped to x 0..R, y -R..0 in
// place).
void HandleToStar(POINT* handle, int R, float* a, float* q);
}  // namespace shape_template

class COperShape final : public CFillTool {
 public:
  enum Shape : int { myRECTANGLE = 0, myELLIPSE = 1, mySTAR = 2 };
  enum State : int32_t { myHANDLE = 2 };
  static constexpr int kMaxPoints = 1000;

  COperShape();

  const char16_t* GetClassName() const override { return u"COperShape"; }
  UINT GetID() override;
  int Activate() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  void FinishWork() override { m_myState = myREADY; }
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }

  // Builds the template of a shape at the view's size.
  void SetShape(int type);
  // Moves the handle by an offset from where it was at the last left press.
  void DragHandle(int dx, int dy);
  // The client point lies on the handle.
  BOOL HitHandle(int x, int y) const;
  // The template into the current layer (command 32840 and a click inside it).
  void OnFillShape();
  // FALSE when nothing was filled.
  BOOL Fill(OLayer* layer, uint32_t colour, int mode);

  int m_nShapeType = myELLIPSE;
  int32_t m_myState = myNULL;
  float m_afPoints[2 * kMaxPoints] = {};
  int m_nPoints = 0;
  // Client pixels from the view centre: for the rectangle and the ellipse only y (the handle
  // is at (0, -y)), for the star both.
  POINT m_ptHandle{0, 0};
  POINT m_ptHandleAtPress{0, 0};
  // The template box's half size.
  int m_nHalfW = 100;
  int m_nHalfH = 100;
  CMyComboBox* m_pShapeList = nullptr;

 protected:
  ~COperShape() override;
  BOOL CreateOptionWindows(gui::GWindow* optionBar) override;
  // Every button drags at any movement: a right click opens the ring menu only where it was
  // pressed.
  DragThresholds GetDragThresholds() const override;

 private:
  void OnLButtonDown(POINT pt);
  void OnMouseMove(WPARAM wParam, POINT pt);
  void OnRButtonUp_Function(POINT pt) override;
  void OnDraw();
  void DrawShape(gui::DeviceContext* dc);
  // The handle's centre in client pixels.
  POINT HandleCentre() const;
  int HalfClientWidth() const;
  int HalfClientHeight() const;
  // The rectangle or ellipse at half height hy; the star from m_ptHandle.
  void MakeTemplate(int hy);

  CFillToolMenu m_menu{IDB_RING_SHAPE, this};
};
