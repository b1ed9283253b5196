// The outline tool: the user clicks an outline point by point; each segment between two
// clicks is a quadratic curve whose control point follows the drag while the button is down.
// Clicking the first point again closes the outline, which is filled into the current layer
// in one of the nine fill modes and recorded as one step ("描边>填充" / "描边>掏空"). A right
// click (or a SPACE tap) takes back the last segment, a quick second one drops the outline.
#pragma once
#include <cstdint>
#include <deque>

#include "frame/ResourceIds.h"
#include "odata/OLayer.h"
#include "tools/FillToolMenu.h"
#include "tools/FillTool.h"

namespace gui {
class DeviceContext;
}

class COperPolygon final : public CFillTool {
 public:
  // The drawing stage.
  enum Stage : int { mySTAGE_NONE = 0, mySTAGE_OPEN = 1, mySTAGE_SHAPING = 3 };
  // Samples per segment of the filled outline and of a drawn curve.
  static constexpr int kSegmentSamples = 50;
  // A press this close to the first point (client pixels) closes the outline on it.
  static constexpr float kSnapPixels = 8.0f;

  COperPolygon();

  const char16_t* GetClassName() const override { return u"COperPolygon"; }
  UINT GetID() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  void FinishWork() override;
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }

  // "填充切换": between erasing and the last fill mode, each with its own opacity.
  void SwitchFill();

  // Fills the closed outline (P0, then end and control of each segment) into the layer as
  // one step. FALSE when nothing was filled.
  BOOL Fill(OLayer* layer, const std::deque<POINTF>& arcs, uint32_t colour, int mode);

  // The "Configure" click interval: two right clicks closer than this drop the outline.
  static int s_nClickInterval;

  int32_t m_myState = myREADY;
  int m_nStage = mySTAGE_NONE;
  BOOL m_bSnap = FALSE;
  BOOL m_bPreviewShown = FALSE;
  POINTF m_ptA{0, 0}, m_ptB{0, 0}, m_ptQ{0, 0};
  // P0, then the end point and the control point of every finished segment (space points).
  std::deque<POINTF> m_dequeArcPoints;
  int m_nEraseOpacity = 100;
  int m_nFillOpacity = 100;
  int m_nSavedMode = 1;

 protected:
  ~COperPolygon() override;
  DragThresholds GetDragThresholds() const override;
  BOOL CreateOptionWindows(gui::GWindow* optionBar) override;

 private:
  // The shared items and "填充切换".
  class XMenu final : public CFillToolMenu {
   public:
    explicit XMenu(COperPolygon* tool);
    const char16_t* GetLabel(UINT item, int state) override;
    void Run(int x, int y, UINT item, DWORD popupTick) override;

   private:
    COperPolygon* m_pPolygon;
  };

  // The space point under a client point, moved onto the first point when it lies within
  // kSnapPixels of it on an open outline (TRUE then).
  BOOL SnapPoint(POINT pt, POINTF* out) const;
  POINTF ClientToSpace(float x, float y) const;
  void OnLButtonDown(POINT pt);
  void OnLButtonUp();
  void OnMouseMove(WPARAM wParam, POINT pt);
  void OnRButtonUp_Function(POINT pt) override;
  BOOL OnSetCursor(LPARAM lParam, LRESULT* result);
  void CloseOutline();
  void DropOutline();
  void TakeBackSegment();
  void OnDraw();
  // XOR overlays; dc null: a view context of its own.
  void DrawPreview(gui::DeviceContext* dc, BOOL show);
  void DrawOutline(gui::DeviceContext* dc);

  XMenu m_menu{this};
  // The curve last drawn as the preview (A, B, Q), to erase it exactly.
  POINTF m_aShown[3] = {};
  DWORD m_dwLastRight = 0;
};
