// The paint bucket. A left press floods the region of similar colour around the pressed pixel
// of the source layer (or of the layer it paints), limited to a disc of the tool's radius;
// dragging floods again at every position and gathers every region in one 1-bit mask. The
// release traces the mask's outline, smooths it, pushes it outwards, rasterises it with 16 x 16
// sub-samples and blends the current colour through that coverage, as one step "油漆桶填充".
// In the auto-layer mode (the current mask layer is also the source) every fill goes into the
// mask layer of the current colour that the layer list finds or makes for it.
#pragma once
#include <cstdint>
#include <deque>

#include "frame/ResourceIds.h"
#include "odata/GCompRef.h"
#include "odata/OCreateShapeFromBitmap.h"
#include "odata/OFlood.h"
#include "odata/OLayer.h"
#include "odata/OShape.h"
#include "tools/FillToolMenu.h"
#include "tools/FloodMask.h"
#include "tools/Geometry.h"
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

class CMySlider;
namespace gui {
class DeviceContext;
}

class COperFlood final : public COperation {
 public:
  enum State : int32_t { myFLOODING = 2, myFLOODED = 3 };
  // The option sliders, in the order of the option bar.
  enum Option : int { myTOLERANCE = 0, mySMOOTH = 1, myEXPAND = 2, myOPTION_COUNT = 3 };

  COperFlood();

  const char16_t* GetClassName() const override { return u"COperFlood"; }
  UINT GetID() override;
  int Activate() override;
  void Deactivate() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  // A flooding under way is filled as its release would fill it.
  void FinishWork() override { FloodEnd(); }
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  // "容差" 0..100, "平滑" 1..10, "扩张" 0..10: the slider's value, or the tool's own before
  // the option bar exists.
  int GetOption(int option) const;
  void SetOption(int option, int value);
  // "容差切换": tolerance 100, or back to the value before the last switch.
  void SwitchTolerance();

  // The flood radius in space pixels and the cursor's in client pixels, at the view's scale.
  int FloodRadius() const;
  int CursorRadius() const;

  // A flooding begins: the layers, the mask. FALSE (with the reason in the status bar when the
  // user should know it) when there is nothing to fill.
  BOOL FloodBegin();
  // One flood at a client point into the mask; FALSE when it found nothing new.
  BOOL Flood(POINT client);
  // The flooding ends: the mask traced and filled into the layer as one step. The tool is
  // ready afterwards, also when the fill fails.
  void FloodEnd();

  int32_t m_myState = myREADY;
  float m_fRadius = 200.0f;
  float m_fMaxRadius = 0.0f;
  CFloodMask m_mask;

 protected:
  ~COperFlood() override;
  DragThresholds GetDragThresholds() const override;
  BOOL CreateOptionWindows(gui::GWindow* optionBar) override;

 private:
  class XMenu final : public CFillToolMenu {
   public:
    explicit XMenu(COperFlood* tool) : CFillToolMenu(IDB_RING_FLOOD, tool), m_pFlood(tool) {}
    const char16_t* GetLabel(UINT item, int state) override;
    void Run(int x, int y, UINT item, DWORD popupTick) override;

   private:
    COperFlood* m_pFlood;
  };

  void CreateComponents();
  // The traced, smoothed and expanded outline into the layer; FALSE when nothing was filled.
  BOOL Fill(uint32_t colour, int smooth, float expand);
  // One contour of m_qOutline closed, smoothed, expanded and handed to the filler.
  BOOL CompleteContour(int smooth, float expand);
  void Status(const char16_t* text);
  // Back to ready without a fill: the layers go.
  void DropFlooding();

  void OnLButtonDown(POINT pt);
  void OnMouseMove(WPARAM wParam, POINT pt);
  void OnRButtonUp_Function(POINT pt) override;
  BOOL OnMouseWheel(WPARAM wParam);
  void OnDraw();

  // XOR overlays; dc null: a view context of its own.
  void DrawCursorCircle(gui::DeviceContext* dc, const POINT* pt, BOOL show);
  void BeginGesture(POINT pt);
  void EndGesture();
  void TrackGesture(POINT pt);

  XMenu m_menu{this};
  CToolUndoParts m_parts{this};
  int m_nTarget = -1;
  int m_nFloods = 0;
  BOOL m_bAutoLayer = FALSE;
  RECT m_rcLimit{};
  // The layer filled and the one compared, held for the length of a flooding.
  GCompRef<OLayer> m_cpLayer;
  GCompRef<OLayer> m_cpSource;
  GCompRef<OShape> m_cpShape;
  GCompRef<OFlood> m_cpFlood;
  GCompRef<OCreateShapeFromBitmap> m_cpTracer;
  std::deque<POINTF> m_qOutline;
  std::deque<POINTF> m_qSmooth;

  CMySlider* m_apSlider[myOPTION_COUNT] = {};
  int m_anOption[myOPTION_COUNT] = {10, 2, 0};
  int m_nSavedTolerance = 1;

  BOOL m_bCursorShown = FALSE;
  POINT m_ptCursor{0, 0};
  int m_nCursorShown = 0;  // the radius drawn
  BOOL m_bGesture = FALSE;
  POINT m_ptGesture{0, 0};
  float m_fGestureRatio = 0.0f;
  float m_fGestureMax = -1.0f;
};
