// The paint tool: paints with the brush list's current brush. A press starts a stroke in the
// paint engine, every move feeds it one sample from the UI thread while the engine renders on
// the paint space's worker and reports dirty rectangles to the tool's sink, which recomposes
// them on the screen; the release ends the stroke, merges the glass into the layer and records
// the step "绘画". A brush whose operate mode asks for arcs paints one quadratic arc per segment
// from three clicks and a drag ("绘画>弧线"). The tool also clears and fades the layer, sizes
// the brush by the wheel and the SPACE gesture, and has its ring menu.
#pragma once
#include <cstdint>

#include "Dorvil/ODorvil.h"
#include "frame/ResourceIds.h"
#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "tools/FunctionMenu.h"
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

class CMyListBrush;
namespace gui {
class DeviceContext;
}

class COperPaint final : public COperation {
 public:
  enum State : int32_t { mySTROKE = 2 };
  enum ArcStep : int { myARC_NONE = 0, myARC_START = 1, myARC_END = 3 };
  // Undo tags.
  static constexpr uint32_t kTagPaint = 1;
  static constexpr uint32_t kTagClear = 2;

  COperPaint();

  const char16_t* GetClassName() const override { return u"COperPaint"; }
  UINT GetID() override;
  int Activate() override;
  void Deactivate() override;
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL OnCmdMsg(UINT id, CmdUIState* ui) override;
  void OnEnvironmentVaryNotify(const char16_t* sender, DWORD code, void* param) override;
  void FinishWork() override;
  CFunctionMenu* GetFunctionMenu() override { return &m_menu; }
  BOOL ApplyUndoStep(CToolUndoReplay& step) override;

  // Clear (0) or fade (keeping 50 or 25 percent) the current layer, undoably.
  void Clear(int percent);
  // 0 without a brush or a layer: prepares the glass and the layer's transaction.
  int UpdatePaintStatus();
  // 0 without a glass: places it on the layer and gives it the colour, opacity and mode.
  int UpdateGlassStatus();
  void RefreshDraw(gui::DeviceContext* dc, const POINT* scroll);

  // The "Configure" pressure setting (0..100), which scales the pen's pressure.
  static int s_nTabletPressure;
  // The brush list (null: the shell's).
  CMyListBrush* m_pwndListBrush = nullptr;
  int32_t m_myState = myREADY;
  int m_bArcMode = 0;
  int m_nArcStep = myARC_NONE;
  int m_nArcCount = 0;
  float m_fRadiusRatio = 1.0f;
  float m_fWeight = 1.0f;
  PaintSample m_sampleStart{}, m_sampleEnd{}, m_sampleControl{}, m_samplePrev{};
  GCompRef<ODorvil> m_cpPaint;
  GCompRef<OBrush> m_cpBrush;
  GCompRef<OLayer> m_cpLayer;
  GCompRef<OLayer> m_cpGlass;
  // The layers shown while a stroke or an arc is drawn, held until it ends (ReleaseLayers).
  GCompRef<OLayer> m_apLayer[LYR_MAX_SUM];
  int m_nLayerCount = 0;
  int m_nSelLayer = -1;

  // The sink the engine reports to; runs on the worker inside a stroke.
  class XDirtySink final : public PaintDirtySink {
   public:
    explicit XDirtySink(COperPaint* tool) : m_pTool(tool) {}
    void Reset(ViewTransform* out) override;
    void AddDab(const float point[2], float radius) override;
    void Flush() override;
    RECT m_rcDirty{100000, 100000, -100000, -100000};
    int m_nDabs = 0;

   private:
    COperPaint* m_pTool;
    ViewTransform m_view{};
  };
  XDirtySink m_sink{this};

 protected:
  ~COperPaint() override;
  DragThresholds GetDragThresholds() const override;
  void RedrawView(const POINT* scroll) override;

 private:
  class XMenu final : public CFunctionMenu {
   public:
    explicit XMenu(COperPaint* tool);
    const char16_t* GetLabel(UINT item, int state) override;
    void Run(int x, int y, UINT item, DWORD popupTick) override;

   private:
    COperPaint* m_pTool;
  };

  CMyListBrush* ListBrush() const;
  void ActivateBrush();
  // The brush, the layer and the engine can paint now (the worker too when askWorker).
  BOOL ReadyToPaint(BOOL askWorker);
  void CaptureLayers();
  void ReleaseLayers();
  PaintTarget MakeTarget(BOOL* glassUsed);
  PaintSample SampleAt(POINT pt, float weight);
  // The step of a stroke or an arc segment: the glass merged, the layer's blocks recorded.
  void CommitPaint(BOOL glassUsed, const char16_t* label);
  void OnLButtonDown(POINT pt);
  void OnLButtonUp();
  void OnMouseMove(WPARAM wParam, POINT pt);
  void OnRButtonUp_Function(POINT pt) override;
  BOOL OnMouseWheel(WPARAM wParam);
  BOOL OnSetCursor(LPARAM lParam, LRESULT* result);
  void OnDraw();
  void ArcDrag(POINT pt);
  void PaintArcSegment();

  // XOR overlays; dc null: a view context of its own.
  void DrawBrushCursor(gui::DeviceContext* dc, const POINT* pt, BOOL show);
  void DrawArcMark(gui::DeviceContext* dc, BOOL erase);
  void DrawArcPreview(gui::DeviceContext* dc, BOOL show);
  void ShowSizeGesture(BOOL show);
  void UpdateSizeGesture(POINT pt);
  void OverlaysErased();

  XMenu m_menu{this};
  CToolUndoParts m_parts{this};
  BOOL m_bCursorShown = FALSE;
  BOOL m_bArcPreviewShown = FALSE;
  BOOL m_bArcMarkShown = FALSE;
  POINT m_ptCursor{0, 0};
  // The SPACE gesture: shown, its anchor and the ratio when it began.
  BOOL m_bGestureShown = FALSE;
  POINT m_ptGesture{0, 0};
  float m_fGestureStart = 0.0f;
  BOOL m_bGlassInStroke = FALSE;
  // The arc preview as drawn, to erase it exactly.
  PaintSample m_aShownArc[3] = {};
};
